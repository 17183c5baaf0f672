// Reader of VBox text logs (.vbo, .cir): a "File created on" line, a "[header]" section naming
// one column per line and a "[data]" section of space-separated rows. Each row with a time and
// a position is handed to the observer exactly like a live NMEA epoch.
//
// TLogAnchor is shared with the Perf.Box reader, whose header carries the same creation line.
#pragma once

#include <cstdint>

#include "acquisition/data_parser.h"
#include "foundation/line_assembler.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_time.h"

// The date and time that every position of an imported log is reported with. Foreign logs
// carry only times of day, so the session's calendar time comes from the file header (plus the
// first fix time) or, failing that, from the clock at the first fix.
class TLogAnchor {
 public:
  // Unset, not from the header.
  void Reset() {
    iDateTime.Reset();
    iFromHeader = false;
  }
  // A header line that starts with "File created on ": the first space-delimited word after
  // the prefix is the date; on success the anchor is that date at time 0. Returns whether the
  // line had the prefix (a bad date then changes nothing).
  bool TakeHeaderLine(CPwByteArrayC aLine);
  // Called before each position that passes the gate, with the position's time of day.
  void FixForPosition(int32_t aTime);

  const PwDateTime& DateTime() const { return iDateTime; }
  bool IsFromHeader() const { return iFromHeader; }

 private:
  PwDateTime iDateTime;
  bool iFromHeader = false;
};

// One lap-timing gate of a "[laptiming]" section: a line between two points and its name.
struct TVboGate {
  enum TKind : int32_t { EStart = 0, EFinish = 1, ESplit = 2 };
  static constexpr int32_t KMaxName = 64;
  int32_t iKind = EStart;
  TGeoPoint iEnd1;
  TGeoPoint iEnd2;
  char iName[KMaxName] = {};  // UTF-8 as in the file, cut to fit
};

class CVBoxParser : public CDataParser {
 public:
  // Longest line kept; a longer one is discarded up to its line end.
  static constexpr int32_t KLineBufferSize = 20000;
  // Gates kept from a "[laptiming]" section; more are ignored.
  static constexpr int32_t KMaxGates = 32;

  static CVBoxParser* NewL();
  ~CVBoxParser() override;

  int32_t Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing* aSlowBearing,
                CObdChannelList* aObdChannels, CChannelState* aChannelState, TGpsClock* aClock) override;
  void Reset() override;

  // The gates of the file's "[laptiming]" section ("Start", "Finish" or "Split", the two ends
  // as longitude (west positive) and latitude in minutes of arc, an optional name after a
  // not sign), in file order.
  int32_t GateCount() const { return iGateCount; }
  const TVboGate& Gate(int32_t aIndex) const { return iGates[aIndex]; }

 private:
  enum TSection : int32_t { EOutside = 0, EHeader = 1, EData = 2, ELapTiming = 3 };
  // Columns the parser reads; every other column is skipped.
  enum TColumn : int32_t {
    ESatellites,
    ETime,
    ELatitude,
    ELongitude,
    EVelocityKmh,
    EVelocityKnots,
    EVelocityMph,
    EHeight,
    EHeading,
    EColumnCount
  };

  CVBoxParser() = default;
  template <class T, class... A>
  friend T* PwNewL(A&&...);
  void ConstructL();

  void HandleLine(CPwByteArrayC aLine, MParsedDataObserver* aObserver);
  void HandleOutside(CPwByteArrayC aLine);
  void HandleHeader(CPwByteArrayC aLine);
  void HandleData(CPwByteArrayC aLine, MParsedDataObserver* aObserver);
  void HandleGate(CPwByteArrayC aLine);
  void ResetColumns();

  // A line longer than the buffer cannot be a log line: it is dropped up to its end.
  CLineAssembler iLines{KLineBufferSize, 0, CLineAssembler::ELineFeed, CLineAssembler::ESkipToLineEnd};
  // Nothing read yet: a UTF-8 byte order mark may lead the file.
  bool iAtStart = true;

  TSection iSection = EOutside;
  int32_t iColumnCount = 0;
  int32_t iColumns[EColumnCount] = {};

  TVboGate iGates[KMaxGates];
  int32_t iGateCount = 0;

  TLogAnchor iAnchor;
  bool iDiscontinuity = true;
  bool iAccepted = false;
  bool iProcessed = false;
};
