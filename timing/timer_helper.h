// The live timer's readout: condenses the session's laps (or runs) into the few numbers the
// timer view paints, recomputed from scratch on every refresh, plus the status code of the
// one thing most worth telling the driver.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"

class CLap;
class CPerformance;
class CTrackSession;
class MSessionModel;

class CTimerHelper : public CPwBase {
 public:
  // Status codes, in the order they are tested after "paused" and "memory full".
  enum TStatus : int32_t {
    EStatusNone = 0,
    EStatusNoGps = 1,
    EStatusNoObd = 2,
    EStatusNoLogger = 3,
    EStatusNoFix = 4,
    EStatusNoStart = 5,
    EStatusNoFinish = 6,
    EStatusLowStorage = 7,
    EStatusPaused = 8,
    EStatusMemoryFull = 9,
    // The receiver's health, tested after everything above.
    EStatusLowRate = 10,   // the fix rate has dropped below half its usual rate
    EStatusWeakGps = 11,   // the HDOP has stayed above 3
  };
  // A result is recent for this long after it was made (laps and runs / splits).
  static constexpr int32_t KRecentResult = 20000;
  static constexpr int32_t KRecentSplit = 10000;

  // Neither is owned; aSession owns this readout.
  CTimerHelper(MSessionModel& aModel, const CTrackSession& aSession)
      : iModel(&aModel), iSession(&aSession) {}
  ~CTimerHelper() override = default;

  // Recomputes every field for the owning session.
  void Update();

  // The string-table entry of a status code's message (0 for none).
  static uint16_t StatusMessage(int32_t aStatus);
  // The message of the current status filled in (the measured rate, the HDOP); empty for none.
  void StatusText(CPwString& aText) const;

  bool Emphasis() const { return iEmphasis; }
  bool Recent() const { return iRecent; }
  bool Idle() const { return iIdle; }
  bool ShowLast() const { return iShowLast; }
  // Numbers are 1-based, 0 for none; times are durations, unset when absent.
  int32_t LastNumber() const { return iLastNumber; }
  PwTime LastTime() const { return iLastTime; }
  PwTime Difference() const { return iDifference; }
  PwTime RunningTime() const { return iRunningTime; }
  int32_t RunningNumber() const { return iRunningNumber; }
  PwTime ComparisonTime() const { return iComparisonTime; }
  int32_t ComparisonNumber() const { return iComparisonNumber; }
  PwTime ShownTime() const { return iShownTime; }
  int32_t ShownNumber() const { return iShownNumber; }
  PwTime PreviousTime() const { return iPreviousTime; }
  int32_t PreviousNumber() const { return iPreviousNumber; }
  // The trap of the last crossing, or the test name for runs.
  CPwStringC Text() const { return iText; }
  int32_t Status() const { return iStatus; }

 private:
  void Clear();
  void LapPart();
  void RunPart();
  int32_t ComputeStatus() const;
  // The lap a lap of this session is compared with under the lap list's comparison selection.
  const CLap* ComparisonLapFor(int32_t aIndex) const;
  // Fills the fields from a finished lap; aPrevious may be null.
  void ShowFinishedLap(const CLap& aLap, const CLap* aPrevious, PwTime aNow);
  void ShowFinishedRun(const CPerformance& aResult, int32_t aRun, const CPerformance* aPrevious,
                       int32_t aPreviousRun, PwTime aNow);
  void SetTrapName(int32_t aTrapIndex);

  MSessionModel* iModel = nullptr;
  const CTrackSession* iSession = nullptr;
  bool iEmphasis = false;
  bool iRecent = false;
  bool iIdle = false;
  bool iShowLast = false;
  int32_t iLastNumber = 0;
  PwTime iLastTime = PwTime::Unset();
  PwTime iDifference = PwTime::Unset();
  PwTime iRunningTime = PwTime::Unset();
  PwTime iComparisonTime = PwTime::Unset();
  int32_t iComparisonNumber = 0;
  PwTime iShownTime = PwTime::Unset();
  int32_t iShownNumber = 0;
  int32_t iRunningNumber = 0;
  PwTime iPreviousTime = PwTime::Unset();
  int32_t iPreviousNumber = 0;
  CPwString iText;
  int32_t iStatus = EStatusNone;
  int32_t iGnssRate = 0;
  double iGnssHdop = 0.0;
};
