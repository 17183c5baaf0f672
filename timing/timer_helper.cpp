#include "timing/timer_helper.h"

#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/session_model.h"
#include "timing/track_session.h"

namespace {

// Timer backlight settings.
constexpr int32_t KBacklightForEvents = 1;
constexpr int32_t KBacklightAlwaysOn = 2;

}  // namespace

uint16_t CTimerHelper::StatusMessage(int32_t aStatus) {
  switch (aStatus) {
    case EStatusNoGps: return R_TIMER_NO_GPS;
    case EStatusNoObd: return R_TIMER_NO_OBD;
    case EStatusNoLogger: return R_TIMER_NO_LOGGER;
    case EStatusNoFix: return R_TIMER_NO_FIX;
    case EStatusNoStart: return R_TIMER_NO_START;
    case EStatusNoFinish: return R_TIMER_NO_FINISH;
    case EStatusLowStorage: return R_TIMER_LOW_STORAGE;
    case EStatusPaused: return R_TIMER_PAUSED;
    case EStatusMemoryFull: return R_TIMER_MEMORY_FULL;
    case EStatusLowRate: return R_TIMER_LOW_RATE;
    case EStatusWeakGps: return R_TIMER_WEAK_GPS;
    default: return 0;
  }
}

void CTimerHelper::StatusText(CPwString& aText) const {
  aText.Reset();
  if (iStatus == EStatusLowRate) {
    aText.FormatN(R_TIMER_LOW_RATE, iGnssRate);
  } else if (iStatus == EStatusWeakGps) {
    CPwString hdop;
    hdop.AppendReal(iGnssHdop, 1);
    aText.FormatU(R_TIMER_WEAK_GPS, hdop);
  } else if (const uint16_t id = StatusMessage(iStatus)) {
    aText.LoadFromResource(id);
  }
}

void CTimerHelper::Clear() {
  iEmphasis = iRecent = iIdle = iShowLast = false;
  iLastNumber = iComparisonNumber = iShownNumber = iRunningNumber = iPreviousNumber = 0;
  iLastTime = iDifference = iRunningTime = iComparisonTime = iShownTime = iPreviousTime = PwTime::Unset();
  iText.SetLength(0);
  iStatus = EStatusNone;
}

void CTimerHelper::Update() {
  Clear();
  if (iSession->IsLapTiming())
    LapPart();
  else if (iSession->IsPerformanceTesting())
    RunPart();
  const int32_t backlight = iModel->Settings().TimerBacklight();
  iEmphasis = (backlight == KBacklightForEvents && iRecent) || backlight == KBacklightAlwaysOn;
  iStatus = ComputeStatus();
  const CGnssMeter& gnss = iSession->PlotList().PositionList().Gnss();
  iGnssRate = gnss.RecentRateHz();
  iGnssHdop = gnss.LatestHdop();
}

int32_t CTimerHelper::ComputeStatus() const {
  if (!iSession->IsRecording()) return EStatusPaused;
  if (iModel->MemoryFull()) return EStatusMemoryFull;
  if (iModel->GpsConnectionMissing()) return EStatusNoGps;
  if (iModel->ObdConnectionMissing()) return EStatusNoObd;
  if (iModel->LoggerConnectionMissing()) return EStatusNoLogger;
  if (iModel->FixMissing()) return EStatusNoFix;
  if (iModel->StorageLow()) return EStatusLowStorage;
  const CTrapLineList* traps = iSession->Track().Traps();
  if (traps && traps->Count() > 0) {
    if (!traps->HasStart()) return EStatusNoStart;
    if (!traps->HasFinish()) return EStatusNoFinish;
  }
  const CGnssMeter& gnss = iSession->PlotList().PositionList().Gnss();
  if (gnss.RateLow()) return EStatusLowRate;
  if (gnss.PrecisionWeak()) return EStatusWeakGps;
  return EStatusNone;
}

// --- Laps ----------------------------------------------------------------------------------

const CLap* CTimerHelper::ComparisonLapFor(int32_t aIndex) const {
  const CLapList& laps = iSession->Laps();
  if (const CLapList* other = laps.ComparisonList()) {
    // A lap of another session is never this session's best, so "best" is simply its best.
    if (other->ComparisonSelection() == CLapList::KCompareBest) return other->BestLap();
    return other->Lap(other->ComparisonSelection());
  }
  if (laps.ComparisonSelection() == CLapList::KCompareBest) return laps.CompareLapFor(aIndex);
  return laps.Lap(laps.ComparisonSelection());
}

void CTimerHelper::SetTrapName(int32_t aTrapIndex) {
  const CTrapLineList* traps = iSession->Track().Traps();
  const CTrapLine* trap = traps ? traps->At(aTrapIndex) : nullptr;
  if (trap)
    iText.Copy(trap->Name());
  else
    iText.SetLength(0);
}

void CTimerHelper::ShowFinishedLap(const CLap& aLap, const CLap* aPrevious, PwTime aNow) {
  const CLapList& laps = iSession->Laps();
  const int32_t index = laps.IndexOf(&aLap);
  iLastNumber = index + 1;
  iLastTime = aLap.LapTime();
  SetTrapName(aLap.Finish()->iKey);
  iShownNumber = iLastNumber;
  iShownTime = iLastTime;
  if (aPrevious) {
    iPreviousNumber = laps.IndexOf(aPrevious) + 1;
    iPreviousTime = aPrevious->LapTime();
  }
  const CLap* comparison = ComparisonLapFor(index);
  const PwTime compared = comparison ? comparison->LapTime() : PwTime::Unset();
  if (compared.IsSet() && iLastTime.IsSet()) iDifference = iLastTime - compared;
  iShowLast = true;
  iRecent = aNow - PwTime(aLap.Finish()->iSample.iTime) < PwTime(KRecentResult);
}

void CTimerHelper::LapPart() {
  const CLapList& laps = iSession->Laps();
  const CPositionPlotList& positions = iSession->PlotList().PositionList();
  const int32_t count = laps.LapCount();
  if (count == 0 || positions.Count() == 0) {
    iIdle = true;
    return;
  }
  const PwTime now(positions.Last().iTime);
  const CLap* l1 = laps.Lap(count - 1);
  const CLap* l2 = laps.Lap(count - 2);
  const CLap* l3 = laps.Lap(count - 3);

  if (l1->IsFinished()) {
    iIdle = true;
    ShowFinishedLap(*l1, l2, now);
  } else if (l1->SplitCount() == 0) {
    if (l2 && l2->IsFinished()) {
      ShowFinishedLap(*l2, l3, now);
      // The new lap has begun: the old result stays on screen only while it is fresh.
      iShowLast = iRecent;
    } else if (l2) {
      iShownNumber = count - 1;
    }
  } else {
    const TLapSector* split = l1->Split(l1->SplitCount() - 1);
    iLastNumber = count;
    iLastTime = l1->SplitTime(split->iKey);
    SetTrapName(split->iKey);
    if (l2) {
      iShownNumber = iPreviousNumber = count - 1;
      iShownTime = iPreviousTime = l2->LapTime();
    }
    const CLap* comparison = ComparisonLapFor(count - 1);
    const PwTime compared = comparison ? comparison->SplitTime(split->iKey) : PwTime::Unset();
    if (compared.IsSet() && iLastTime.IsSet()) iDifference = iLastTime - compared;
    if (now - PwTime(split->iSample.iTime) < PwTime(KRecentSplit)) iShowLast = iRecent = true;
  }

  if (!l1->IsFinished()) {
    iRunningNumber = count;
    iRunningTime = l1->RelativeTime(now);
    if (iRunningTime.IsSet() && iRunningTime < PwTime(KRecentSplit)) iRecent = true;
  }

  // The comparison line: the best lap (not the one before it), the chosen lap, or the other
  // session's choice.
  const CLapList* owner = laps.ComparisonList() ? laps.ComparisonList() : &laps;
  const int32_t selection = owner->ComparisonSelection();
  if (const CLap* comparison = selection == CLapList::KCompareBest ? owner->BestLap() : owner->Lap(selection)) {
    iComparisonTime = comparison->LapTime();
    iComparisonNumber = owner->IndexOf(comparison) + 1;
    if (iComparisonNumber < 0) iComparisonNumber = 0;  // the optimal lap has no number
  }
}

// --- Runs ----------------------------------------------------------------------------------

namespace {

// The comparison run of run aRun for a test: the linked list's choice, the selected run, or
// the best run other than aRun.
const CPerformanceRun* ComparisonRunFor(const CRunList& aRuns, int32_t aTest, int32_t aRun) {
  if (aRuns.ComparisonList() || aRuns.ComparisonSelection() >= 0) return aRuns.ComparisonRun(aTest);
  return aRuns.BestRun(aTest, aRun);
}

}  // namespace

void CTimerHelper::ShowFinishedRun(const CPerformance& aResult, int32_t aRun, const CPerformance* aPrevious,
                                   int32_t aPreviousRun, PwTime aNow) {
  const CRunList& runs = iSession->Runs();
  const int32_t test = iSession->CurrentTest();
  iLastNumber = aRun + 1;
  iLastTime = aResult.ResultTime();
  iShownNumber = iLastNumber;
  iShownTime = iLastTime;
  if (aPrevious) {
    iPreviousNumber = aPreviousRun + 1;
    iPreviousTime = aPrevious->IsFinished() ? aPrevious->ResultTime() : PwTime::Unset();
  }
  const CPerformance* compared = CRunList::Performance(ComparisonRunFor(runs, test, aRun), test, true);
  if (compared) iDifference = iLastTime - compared->ResultTime();
  if (const CPerformanceTest* definition = iModel->PerformanceTests().At(test)) iText.Copy(definition->Name());
  iShowLast = true;
  iRecent = aNow - aResult.FinishTime() < PwTime(KRecentResult);
}

void CTimerHelper::RunPart() {
  const CRunList& runs = iSession->Runs();
  const CPositionPlotList& positions = iSession->PlotList().PositionList();
  const int32_t test = iSession->CurrentTest();
  if (runs.Count() == 0 || positions.Count() == 0) {
    iIdle = true;
    return;
  }
  const PwTime now(positions.Last().iTime);
  int32_t index[3] = {runs.Count() - 1, runs.Count() - 2, runs.Count() - 3};
  const CPerformance* p[3];
  for (int32_t i = 0; i < 3; ++i) p[i] = CRunList::Performance(runs.Run(index[i]), test);
  if (!p[0]) {
    p[0] = p[1];
    p[1] = p[2];
    p[2] = nullptr;
    index[0] = index[1];
    index[1] = index[2];
  }
  if (!p[0]) {
    iIdle = true;
    return;
  }

  if (p[0]->IsFinished()) {
    iIdle = true;
    ShowFinishedRun(*p[0], index[0], p[1], index[1], now);
  } else if (p[1]) {
    if (p[1]->IsFinished()) {
      ShowFinishedRun(*p[1], index[1], p[2], index[2], now);
      iShowLast = iRecent;
    } else {
      iShownNumber = index[1] + 1;
    }
  }

  if (p[0]->IsStarted() && !p[0]->IsFinished()) {
    iRunningNumber = index[0] + 1;
    iRunningTime = now - p[0]->StartTime();
    if (iRunningTime < PwTime(KRecentSplit)) iRecent = true;
  }

  const CPerformanceRun* comparison = runs.ComparisonList() || runs.ComparisonSelection() >= 0
                                           ? runs.ComparisonRun(test)
                                           : runs.BestRun(test);
  if (const CPerformance* result = CRunList::Performance(comparison, test, true)) {
    iComparisonTime = result->ResultTime();
    const CRunList* owner = runs.ComparisonList() ? runs.ComparisonList() : &runs;
    iComparisonNumber = owner->IndexOf(comparison) + 1;
  }
}
