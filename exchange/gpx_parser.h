// Reader of GPX tracks (GPX 1.0 and 1.1) as phones, watches, other loggers and gpsbabel write
// them. Every track point with a position and a time is handed to the observer like a live
// NMEA epoch: time with its milliseconds, elevation, speed and course from the point's own
// "speed"/"course" elements or from an extension that names them (Garmin's TrackPointExtension
// among others), else derived from the neighbouring points of its segment; satellites, fix and
// dilutions when present. Each "trkseg" starts a new trace segment. Route and waypoint points
// are counted and ignored; track points without a time are counted and skipped.
//
// The XML is read by expat, fed block by block. A file that is hostile or broken is refused
// for good (the parser then reads nothing more until Reset): one that declares entities (no
// entity is ever expanded, so a billion-laughs file costs nothing), a line longer than
// KMaxLineBytes, a single tag, comment or other token longer than KMaxTokenBytes, elements
// nested deeper than KMaxDepth, XML that is not well-formed (undeclared bytes that are not
// UTF-8 among it), and a root element other than "gpx". Memory stays within a few token sizes
// whatever the input.
#pragma once

#include <cstdint>

#include "acquisition/data_parser.h"
#include "foundation/pw_string.h"

struct XML_ParserStruct;

class CGpxParser : public CDataParser {
 public:
  static constexpr int64_t KMaxLineBytes = 32 * 1024 * 1024;
  static constexpr int64_t KMaxTokenBytes = 1024 * 1024;
  static constexpr int32_t KMaxDepth = 64;

  enum TRefusal : int32_t {
    ENotRefused = 0,
    EEntities,      // the document declares entities
    ELineTooLong,
    ETokenTooLong,
    ETooDeep,
    ENotWellFormed,
    ENotGpx,        // well-formed XML whose root is not "gpx"
  };

  static CGpxParser* NewL();
  ~CGpxParser() override;

  int32_t Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing* aSlowBearing,
                CObdChannelList* aObdChannels, CChannelState* aChannelState, TGpsClock* aClock) override;
  // Ready for a new file; the counts below carry on.
  void Reset() override;
  bool Refusal(CPwString& aReason) const override;

  TRefusal RefusalKind() const { return iRefusal; }
  // The line the refusal was found on (1 is the first).
  int64_t RefusalLine() const { return iRefusalLine; }
  // Since construction, over every file.
  int32_t UntimedPoints() const { return iUntimedPoints; }
  int32_t IgnoredRoutePoints() const { return iRoutePoints; }
  int32_t IgnoredWaypoints() const { return iWaypoints; }

 private:
  // The elements of a track point whose text is read.
  enum TField : int32_t { ENoField, ETime, EElevation, ESpeed, ECourse, ESatellites, EFix, EHdop, EVdop };

  struct TPoint {
    int32_t iLatitude = 0;   // TCoordinate units
    int32_t iLongitude = 0;
    bool iHasPosition = false;
    bool iHasTime = false;
    int32_t iDate = 0;       // date code
    int32_t iTimeOfDay = 0;  // ms, UTC
    int64_t iInstant = 0;    // ms since 1970, for the derived speeds
    double iElevation = InvalidReal();
    double iSpeed = InvalidReal();           // m/s
    double iCourse = InvalidReal();          // degrees
    double iHdop = InvalidReal();
    double iVdop = InvalidReal();
    int32_t iSatellites = 0;
    bool iDifferential = false;
    bool iFirstOfSegment = false;
    void Clear();
  };

  CGpxParser() = default;
  template <class T, class... A>
  friend T* PwNewL(A&&...);
  void ConstructL();
  void StartDocument();
  // Hands bytes to expat under the line and token limits.
  int32_t Feed(CPwByteArrayC aBytes, MParsedDataObserver* aObserver);

  static void OnStart(void* aSelf, const char* aName, const char** aAttributes);
  static void OnEnd(void* aSelf, const char* aName);
  static void OnText(void* aSelf, const char* aText, int aLength);
  static void OnEntity(void* aSelf, const char* aName, int aParameter, const char* aValue, int aValueLength,
                       const char* aBase, const char* aSystemId, const char* aPublicId, const char* aNotation);
  void Start(const char* aLocalName, const char** aAttributes);
  void End(const char* aLocalName);
  void TakeField();
  // Marks the place of the newest event: what expat holds beyond it is one unfinished token.
  void NoteEvent();
  void Refuse(TRefusal aKind, int64_t aLine);

  // A finished point waits for the next one of its segment, which may be needed to derive its
  // speed and course.
  void PointDone();
  void FlushSegment();
  void Emit(TPoint& aPoint, const TPoint* aBefore, const TPoint* aAfter);

  XML_ParserStruct* iXml = nullptr;
  MParsedDataObserver* iObserver = nullptr;
  int32_t iResult = ENothing;

  TRefusal iRefusal = ENotRefused;
  int64_t iRefusalLine = 0;
  char iExpatError[96] = {};
  int64_t iLine = 1;
  int64_t iLineBytes = 0;   // bytes of the current line so far
  int64_t iFedBytes = 0;    // bytes given to expat
  int64_t iEventByte = 0;   // byte index of the newest event
  static constexpr int32_t KStartBytes = 4;
  uint8_t iStart[KStartBytes] = {};  // the first bytes, held until there are enough
  int32_t iStartLength = 0;

  int32_t iDepth = 0;
  bool iRootSeen = false;
  int32_t iPointDepth = 0;  // depth of the open "trkpt", 0 outside one
  bool iNewSegment = true;
  TField iField = ENoField;
  int32_t iFieldDepth = 0;
  char iText[64] = {};
  int32_t iTextLength = 0;
  bool iTextOverflow = false;

  TPoint iPoint;
  TPoint iHeld;
  bool iHasHeld = false;
  TPoint iBefore;  // the point emitted before the held one, same segment
  bool iHasBefore = false;

  int32_t iUntimedPoints = 0;
  int32_t iRoutePoints = 0;
  int32_t iWaypoints = 0;
};
