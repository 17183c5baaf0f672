// NMEA 0183 input: assembles lines from a byte stream, checks checksums, decodes the GPS
// sentences into epochs and the companion devices' proprietary sentences into OBD-II and
// logger values, and builds the MTK configuration commands written back to the receiver.
//
// Parsing is incremental and allocation-free: a partial line waits in a fixed 2048-byte buffer,
// complete lines are handled straight from the caller's bytes, and fields are cut in place.
#pragma once

#include <cstdint>

#include "acquisition/channel_state.h"
#include "acquisition/data_parser.h"
#include "acquisition/geodesy.h"
#include "foundation/line_assembler.h"

class CNmeaParser : public CDataParser {
 public:
  // Sentences the parser recognises (the identifier is compared exactly).
  enum TSentence : int32_t {
    ESentenceNone = 0,
    ESentenceRmc = 1,
    ESentenceGga = 2,
    ESentenceGsa = 3,
    ESentenceGsv = 4,
    ESentenceVtg = 5,
    ESentenceZda = 6,
    ESentenceObd = 7,
    ESentenceAcc = 8,
    ESentenceMtk500 = 9,
    ESentencePw1 = 10,
    ESentencePw2 = 11,
  };

  static constexpr int32_t KLineBufferSize = 2048;
  static constexpr int32_t KMaxObdBytes = 16;
  static constexpr int32_t KMaxSatellites = 12;

  // The decoded content of the last "$PWOBD" sentence.
  struct TObdSentence {
    int32_t iTime = KInvalidInt;
    uint32_t iPid = 0;
    bool iPidValid = false;
    uint8_t iBytes[KMaxObdBytes] = {};
    int32_t iByteCount = 0;
  };
  // The last "$PWACC" sentence.
  struct TAccSentence {
    int32_t iTime = KInvalidInt;
    int32_t iX = 0, iY = 0, iZ = 0;
    bool iValid = false;
  };
  // The last "$PW1"/"$PW2" sentence: x, y, z, digital 1, digital 2, analog 1..8, with bit i of
  // iValidMask set when value i was present and parsed.
  struct TLoggerSentence {
    enum { EX = 0, EY, EZ, EDigital1, EDigital2, EAnalog1, EValueCount = EAnalog1 + 8 };
    int32_t iTime = KInvalidInt;
    int32_t iValues[EValueCount] = {};
    uint32_t iValidMask = 0;
  };

  // aMonitorOnly: decode only GGA (to keep the GPS clock) and the MTK reply, as the device
  // reader thread needs; every other sentence only drives the epoch flushing.
  static CNmeaParser* NewL(int32_t aMonitorOnly);
  ~CNmeaParser() override;

  int32_t Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing* aSlowBearing,
                CObdChannelList* aObdChannels, CChannelState* aChannelState, TGpsClock* aClock) override;
  // Forgets the stream and the epoch state. The MTK configuration is never repeated within the
  // life of one parser: only the fix-interval query is sent again.
  void Reset() override;
  // Appends the MTK commands that are due.
  void WriteCommands(CPwByteArray& aOutput) override;

  // Appends "$", aCommand, "*", the XOR of the command's bytes as two upper-case hex digits,
  // and CR LF.
  static void FrameCommand(CPwByteArrayC aCommand, CPwByteArray& aOutput);

  int32_t IsMonitorOnly() const { return iMonitorOnly; }
  int32_t LineCount() const { return iLineCount; }
  // Whether RMC, GGA, GSA, GSV, VTG or ZDA has been seen since the last reset.
  bool SentenceSeen(TSentence aSentence) const { return (iSeenMask >> aSentence) & 1u; }
  bool MtkReplyReceived() const { return iMtkReplyReceived; }
  int32_t MtkFixInterval() const { return iMtkFixInterval; }
  const TObdSentence& LastObdSentence() const { return iObd; }
  const TAccSentence& LastAccSentence() const { return iAcc; }
  const TLoggerSentence& LastLoggerSentence() const { return iLogger; }
  int32_t SatellitesInViewCount() const { return iInViewCount; }
  const TSatelliteInView& SatelliteInView(int32_t aIndex) const;
  int32_t UsedSatelliteCount() const { return iUsedCount; }

 private:
  // One field of the sentence being decoded: a view into the line.
  struct TField {
    const uint8_t* iPtr;
    int32_t iLength;
  };
  // Walks the comma-separated fields; past the last one it yields empty fields.
  struct TFieldCursor {
    const uint8_t* iPos;
    const uint8_t* iEnd;
    bool iDone;
    TField Next();
    void Skip(int32_t aCount) {
      for (int32_t i = 0; i < aCount; ++i) Next();
    }
  };

  explicit CNmeaParser(int32_t aMonitorOnly);
  void ConstructL();
  void ResetState();

  void HandleLine(const uint8_t* aLine, int32_t aLength, bool aInBuffer);
  void ProcessSentence(const uint8_t* aSentence, int32_t aLength);

  void HandleRmc(TFieldCursor& aFields);
  void HandleGga(TFieldCursor& aFields);
  void HandleGsa(TFieldCursor& aFields);
  void HandleGsv(TFieldCursor& aFields);
  void HandleVtg(TFieldCursor& aFields);
  void HandleZda(TFieldCursor& aFields);
  void HandleObd(TFieldCursor& aFields);
  void HandleAcc(TFieldCursor& aFields);
  void HandleLogger(TFieldCursor& aFields, bool aExtended);
  void HandleMtk500(TFieldCursor& aFields);

  // Reads a ddmm.mmmm field and its hemisphere field; the value is negated for aNegative. A
  // value beyond aMaxDdmm or with 60 minutes or more is refused as impossible.
  bool ReadCoordinate(TFieldCursor& aFields, uint8_t aPositive, uint8_t aNegative, double aMaxDdmm, double& aValue);
  // A speed in knots into iSpeedKnots; outside 0..150 m/s it is refused as impossible.
  bool ReadSpeed(const TField& aField);
  // A time-of-day field; false when it holds something that is no time (an empty field is
  // merely unknown). aTime is KInvalidInt unless a time was read.
  static bool ReadTime(const TField& aField, int32_t& aTime);
  static constexpr double KMaxLatitudeDdmm = 9000.0;
  static constexpr double KMaxLongitudeDdmm = 18000.0;
  // Emits the pending epoch when enough of it has been seen (always with aForce when a GGA or
  // RMC is pending).
  void Flush(bool aForce);

  // --- construction flags and buffers
  int32_t iMonitorOnly = 0;
  // A full buffer without a line end is dropped; the partial line never outgrows it. Two
  // spare bytes take the CR LF appended for LineReceived.
  CLineAssembler iLines{KLineBufferSize, 2, CLineAssembler::ELineFeed, CLineAssembler::EDropPartial};
  uint8_t* iEcho = nullptr;  // a lone-LF line copied with CR LF for LineReceived

  // --- the call in progress
  MParsedDataObserver* iObserver = nullptr;
  CSlowBearing* iSlowBearing = nullptr;
  CObdChannelList* iObdChannels = nullptr;
  CChannelState* iChannelState = nullptr;
  TGpsClock* iClock = nullptr;
  bool iEpochEmitted = false;
  bool iTimingEvent = false;

  // --- the epoch being assembled
  bool iRmcSeen = false;
  bool iGgaSeen = false;
  bool iVtgSeen = false;
  int32_t iEpochTime = KInvalidInt;
  int32_t iEpochDate = KInvalidInt;

  // --- last parsed values
  double iLatitude = 0.0;  // ddmm.mmmm, negative south
  bool iLatitudeValid = false;
  double iLongitude = 0.0;  // dddmm.mmmm, negative west
  bool iLongitudeValid = false;
  double iSpeedKnots = 0.0;
  bool iSpeedValid = false;
  double iCourse = 0.0;  // degrees
  bool iCourseValid = false;
  bool iRmcVoid = false;  // the last RMC had status V (navigation warning)
  bool iImpossible = false;  // the pending epoch had a field refused as impossible
  int32_t iFixQuality = 0;
  bool iFixQualityValid = false;
  int32_t iSatellites = 0;
  bool iSatellitesValid = false;
  double iAltitude = 0.0;  // m
  bool iAltitudeValid = false;
  double iGeoidSeparation = 0.0;
  bool iGeoidSeparationValid = false;
  double iHdop = 0.0;  // NaN when not parsed
  double iVdop = 0.0;
  double iPdop = 0.0;
  int32_t iFixType = 0;
  bool iFixTypeValid = false;
  int32_t iUsedSatellites[KMaxSatellites] = {};
  int32_t iUsedCount = 0;
  int32_t iGsvTotal = 0;
  int32_t iGsvLast = 0;
  int32_t iSatellitesInView = 0;
  TSatelliteInView iInView[KMaxSatellites];
  int32_t iInViewCount = 0;

  // --- the previous epoch
  TGeoPoint iPreviousPoint;
  int32_t iPreviousTime = KInvalidInt;
  double iPreviousCourse = 0.0;
  bool iPreviousCourseValid = false;
  double iPreviousSpeed = 0.0;  // knots
  bool iPreviousSpeedValid = false;
  bool iPreviousNoFix = false;
  bool iFirstEpoch = true;

  // --- MTK configuration
  bool iPmtk400Sent = false;
  bool iMtkConfigSent = false;
  bool iMtkReplyReceived = false;
  int32_t iMtkFixInterval = 0;

  // --- bookkeeping and proprietary sentences
  uint32_t iSeenMask = 0;
  int32_t iLineCount = 0;
  TObdSentence iObd;
  TAccSentence iAcc;
  TLoggerSentence iLogger;
};
