// The data logger's sentences on the logger reader thread. The logger streams "$PW1" and
// "$PW2" lines with a 16-bit sample counter and no usable time; this handler checks each line,
// extends the counter, keeps a running estimate of the counter's rate against the GPS clock and
// passes the sentence on with the logger's own field replaced by the GPS time of the sample.
//
// Synchronisation: the rate is measured over 50, 100, ... and then every 300 counts, each time
// from a reference half way between the logger's own time line and the GPS clock, which
// smooths the jitter of both. Until the clock has a time no sentence carries one.
#pragma once

#include <cstdint>

#include "acquisition/channel_state.h"
#include "acquisition/data_engine.h"
#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_time.h"

class CDatavaneParser : public CProtocolHandler {
 public:
  // Sentence types.
  enum : int32_t { ETypeNone = 0, ETypePw1 = 10, ETypePw2 = 11 };

  static constexpr int32_t KInputLimit = 102400;
  static constexpr int32_t KFirstInterval = 50;
  static constexpr int32_t KIntervalStep = 50;
  static constexpr int32_t KMaxInterval = 300;

  // aClock (not owned) must outlive the parser. Leaves -2.
  static CDatavaneParser* NewL(TGpsClock& aClock);
  ~CDatavaneParser() override;

  // --- CProtocolHandler
  void AddInput(CPwByteArrayC aBytes) override;
  // Handles every line ended by CR LF; aCommands is not used (the logger takes no commands).
  void Process(CPwByteArray& aCommands, CPwByteArray& aReceived) override;
  void Reset() override;

  // The type of a line: 10 "$PW1", 11 "$PW2", 0 anything else (shorter than 5 bytes, no "$",
  // a "*hh" checksum that does not parse or match). On success aRest is what follows the
  // sentence name and its comma, without the checksum.
  static int32_t Classify(CPwByteArrayC aLine, CPwByteArrayC& aRest);

  // The GPS time of extended counter aCounter on the current time line; unset until the first
  // rate has been measured. Not reduced to one day.
  PwTime SampleTime(int32_t aCounter) const;

  int32_t Type() const { return iType; }
  int32_t Counter() const { return iCounter; }
  int32_t Interval() const { return iInterval; }
  PwTime ReferenceTime() const { return iReferenceTime; }
  int32_t ReferenceCounter() const { return iReferenceCounter; }
  PwTime BaseTime() const { return iBaseTime; }
  int32_t BaseCounter() const { return iBaseCounter; }
  PwTime SpanTime() const { return iSpanTime; }
  int32_t SpanCount() const { return iSpanCount; }
  PwTime LastSampleTime() const { return iLastSampleTime; }
  int32_t BufferedInput() const { return iInput.Length(); }

 private:
  explicit CDatavaneParser(TGpsClock& aClock);

  void HandleLine();
  void Synchronise();
  void EmitSentence(CPwByteArray& aReceived);

  TGpsClock* iClock = nullptr;
  CPwByteArray iInput;
  CPwByteArray iLine;
  CPwByteArray iBody;

  int32_t iType = ETypeNone;
  int32_t iCounter = 0;  // the logger's counter made monotonic

  PwTime iReferenceTime = PwTime::Unset();
  int32_t iReferenceCounter = 0;
  int32_t iInterval = KFirstInterval;
  PwTime iBaseTime = PwTime::Unset();
  int32_t iBaseCounter = 0;
  PwTime iSpanTime = PwTime::Unset();  // ms per iSpanCount counts
  int32_t iSpanCount = 0;
  PwTime iLastSampleTime = PwTime::Unset();
};
