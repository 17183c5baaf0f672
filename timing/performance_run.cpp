#include "timing/performance_run.h"

#include <cmath>
#include <memory>

#include "acquisition/channel_id.h"
#include "acquisition/position_plot.h"
#include "storage/plot_list.h"
#include "timing/performance_test.h"

// --- CPerformanceRun ---

CPerformanceRun::~CPerformanceRun() {
  for (CPerformance* p : iPerformances) delete p;
}

CPerformance* CPerformanceRun::Performance(int32_t aTestIndex, bool aFinishedOnly) const {
  for (int32_t i = iPerformances.Count() - 1; i >= 0; --i) {
    CPerformance* p = iPerformances.At(i);
    if (p->TestIndex() == aTestIndex && (!aFinishedOnly || p->IsFinished())) return p;
  }
  return nullptr;
}

CPerformance* CPerformanceRun::Unfinished(int32_t aTestIndex) const {
  for (CPerformance* p : iPerformances)
    if (p->TestIndex() == aTestIndex && !p->IsFinished()) return p;
  return nullptr;
}

CPerformance* CPerformanceRun::AddL(int32_t aTestIndex, PwTime aStartTime) {
  std::unique_ptr<CPerformance> p(new CPerformance(iPlots, aTestIndex, aStartTime));
  iPerformances.Append(p.get());
  return p.release();
}

void CPerformanceRun::ResetAll() {
  for (CPerformance* p : iPerformances) p->Reset();
}

void CPerformanceRun::RemoveUnfinished() {
  for (int32_t i = iPerformances.Count() - 1; i >= 0; --i) {
    CPerformance* p = iPerformances.At(i);
    if (p->IsFinished()) continue;
    delete p;
    iPerformances.Remove(i);
  }
}

// --- CRunList ---

CRunList::CRunList(const CPlotList& aPlots) : iPlots(aPlots) {}

CRunList* CRunList::NewL(const CPlotList& aPlots) { return new CRunList(aPlots); }

CRunList::~CRunList() {
  for (CPerformanceRun* run : iRuns) delete run;
}

void CRunList::Clear() {
  for (CPerformanceRun* run : iRuns) delete run;
  iRuns.Reset();
  iCursor = 0;
  iStartPosition = TPosition::Invalid();
  iPendingStart = PwTime(0);
  iStartPending = false;
  iHighestSpeed = 0.0;
  iPreviousDistance = 0.0;
  iStage = EStageIdle;
  iComparisonSelection = -1;
  iWindowCount = 0;
  iProcessed = 0;
}

void CRunList::Rebuild(bool aUseObdSpeed, const CPerformanceTestList& aTests,
                       int32_t aSelectedTest) {
  Clear();
  Process(aUseObdSpeed, aTests, nullptr, aSelectedTest);
}

const CPlotListBase* CRunList::Source(bool aUseObdSpeed) const {
  if (!aUseObdSpeed) return &iPlots.PositionList();
  return iPlots.ObdList().FindListById(KChannelObdSpeed);
}

int32_t CRunList::Process(bool aUseObdSpeed, const CPerformanceTestList& aTests,
                          CSpeechHelper* aAnnouncer, int32_t aSelectedTest) {
  (void)aAnnouncer;
  iFinished = false;
  const CPlotListBase* source = Source(aUseObdSpeed);
  // A count that no longer fits the source (another source, or the samples were replaced)
  // would pair old state with new samples: start over.
  const bool shrunk = iProcessed > 0 && (!source || source->Count() < iProcessed);
  if (aUseObdSpeed != iUseObdSpeed || shrunk) {
    if (iProcessed > 0 || iRuns.Count() > 0) Clear();
    iUseObdSpeed = aUseObdSpeed;
  }
  // The window left waiting for positions goes first.
  if (iStage != EStageIdle && !FinishWindow(aTests)) return iFinished;
  if (!source) return iFinished;
  const CPositionPlotList& positions = iPlots.PositionList();
  if (aUseObdSpeed && positions.Count() < KObdMinPositions) return iFinished;

  while (iProcessed < source->Count()) {
    const int32_t index = iProcessed++;
    TWindowSample sample;
    if (aUseObdSpeed) {
      sample.iTime = source->TimeAt(index).Milliseconds();
      sample.iSpeed = source->SpeedAt(index);
    } else {
      const TPositionPlot& plot = positions.At(index);
      sample.iTime = plot.iTime;
      sample.iSpeed = plot.Speed().MetresPerSecond();
      sample.iPosition = plot.Position();
    }
    // A sample without a speed tells nothing; one that does not move forward in time would
    // divide by a zero or negative interval.
    if (std::isnan(sample.iSpeed)) continue;
    if (iWindowCount > 0 && sample.iTime <= iWindow[2].iTime) continue;
    iWindow[0] = iWindow[1];
    iWindow[1] = iWindow[2];
    iWindow[2] = sample;
    if (iWindowCount < 3) ++iWindowCount;
    if (iWindowCount < 3) continue;
    ScanWindow(aTests, aSelectedTest);
    if (!FinishWindow(aTests)) break;
  }
  return iFinished;
}

void CRunList::ScanWindow(const CPerformanceTestList& aTests, int32_t aSelectedTest) {
  const TWindowSample& s0 = iWindow[0];
  const TWindowSample& s1 = iWindow[1];
  const TWindowSample& s2 = iWindow[2];
  const double u = s0.iSpeed, s = s1.iSpeed, v = s2.iSpeed;

  // Run splitting: a clear slowdown ends the run.
  if (iRuns.Count() == 0) OpenRun(aSelectedTest);
  if (v > iHighestSpeed) {
    iHighestSpeed = v;
  } else if (iHighestSpeed - v > KRunSplitDrop) {
    iHighestSpeed = v;
    OpenRun(aSelectedTest);
  }

  // Standing start: extrapolate back from S1 with the acceleration seen after it, as the
  // standing-start trap does.
  if ((u > KStandstillSpeed && s <= KMovingSpeed && v > KMovingSpeed) ||
      (u <= KStandstillSpeed && s > KStandstillSpeed)) {
    OpenRun(aSelectedTest);
    const int32_t wMs = s1.iTime - s0.iTime;
    const double w = wMs / 1000.0;
    const double i = (s2.iTime - s1.iTime) / 1000.0;
    const double a = s / w;
    const double b = (v - s) / i;
    const double g = (0.0 < a && a < b) ? a / b : 1.0;
    const PwTime start(s0.iTime + static_cast<int32_t>(std::trunc(wMs * (1.0 - g) + 0.5)));
    iPendingStart = start;
    iStartPending = true;
    for (int32_t t = 0; t < aTests.Count(); ++t)
      if (aTests.At(t)->StartSpeed() == 0.0) StartPerformance(t, start);
  }

  // Flying starts: the speed passed a test's start speed upwards.
  for (int32_t t = 0; t < aTests.Count(); ++t) {
    const CPerformanceTest& test = *aTests.At(t);
    if (!test.IsSpeedTest()) continue;
    const double start = test.StartSpeed();
    if (s < start && start <= v) StartPerformance(t, WindowTime((start - s) / (v - s)));
  }
  iStage = EStageStartPosition;
}

bool CRunList::FinishWindow(const CPerformanceTestList& aTests) {
  if (iStage == EStageStartPosition) {
    if (iStartPending && !LocateStart()) return false;
    // Speed finishes: the speed passed a test's finish speed upwards.
    const double s = iWindow[1].iSpeed, v = iWindow[2].iSpeed;
    for (int32_t t = 0; t < aTests.Count(); ++t) {
      const CPerformanceTest& test = *aTests.At(t);
      if (!test.IsSpeedTest()) continue;
      const double finish = test.FinishSpeed();
      if (!(s < finish && finish <= v)) continue;
      CPerformance* p = NewestRun() ? NewestRun()->Unfinished(t) : nullptr;
      if (!p || !p->IsStarted()) continue;
      p->Finish(WindowTime((finish - s) / (v - s)), KInvalidInt);
      iFinished = true;
    }
    iStage = EStageDistance;
  }
  if (iStage == EStageDistance) {
    if (!DistanceStep(aTests)) return false;
    iStage = EStageIdle;
  }
  return true;
}

bool CRunList::LocateStart() {
  TWindowSample& s0 = iWindow[0];
  TWindowSample& s1 = iWindow[1];
  const TLookup found0 = s0.iPosition.IsValid() ? EFound : PositionAt(s0.iTime, s0.iPosition);
  const TLookup found1 = s1.iPosition.IsValid() ? EFound : PositionAt(s1.iTime, s1.iPosition);
  if (found0 == ELater || found1 == ELater) return false;
  const PwTime start = iPendingStart;
  iStartPending = false;
  iPendingStart = PwTime(0);
  // A start before the first position can never be placed: no distance is measured from it.
  if (found0 == ENever || found1 == ENever) {
    iStartPosition = TPosition::Invalid();
    return true;
  }
  const double f = static_cast<double>(start.Milliseconds() - s0.iTime) / (s1.iTime - s0.iTime);
  iStartPosition = TPosition((1.0 - f) * s0.iPosition.iLatitude + f * s1.iPosition.iLatitude,
                             (1.0 - f) * s0.iPosition.iLongitude + f * s1.iPosition.iLongitude);
  iPreviousDistance = 0.0;
  return true;
}

bool CRunList::DistanceStep(const CPerformanceTestList& aTests) {
  if (!iStartPosition.IsValid()) return true;
  TWindowSample& s2 = iWindow[2];
  if (!s2.iPosition.IsValid()) {
    const TLookup found = PositionAt(s2.iTime, s2.iPosition);
    if (found == ELater) return false;
    if (found == ENever) return true;
  }
  const double d = iStartPosition.Distance(s2.iPosition).Metres();
  const double previous = iPreviousDistance;
  const double s = iWindow[1].iSpeed, v = s2.iSpeed;
  bool allBelow = true;
  for (int32_t t = 0; t < aTests.Count(); ++t) {
    const CPerformanceTest& test = *aTests.At(t);
    if (!test.IsDistanceTest()) continue;
    const double distance = test.Distance();
    if (!(distance < d)) allBelow = false;
    if (!(previous < distance && distance <= d)) continue;
    CPerformance* p = NewestRun() ? NewestRun()->Unfinished(t) : nullptr;
    if (!p || !p->IsStarted()) continue;
    const double f = (distance - previous) / (d - previous);
    const double speed = (1.0 - f) * s + f * v;
    p->Finish(WindowTime(f), TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(speed)));
    iFinished = true;
  }
  if (allBelow) iStartPosition = TPosition::Invalid();
  iPreviousDistance = d;
  return true;
}

CRunList::TLookup CRunList::PositionAt(int32_t aTime, TPosition& aPosition) const {
  const CPositionPlotList& positions = iPlots.PositionList();
  const int32_t n = positions.Count();
  if (n == 0) return ELater;
  if (n == 1) {
    const TPositionPlot& only = positions.At(0);
    if (aTime > only.iTime) return ELater;
    if (aTime < only.iTime) return ENever;
    aPosition = only.Position();
    return aPosition.IsValid() ? EFound : ENever;
  }
  int32_t lower = -1, upper = -1;
  positions.FindByTime(PwTime(aTime), lower, upper);
  if (upper < 0) {
    // After the last position: it may still come. Exactly on it counts as found.
    if (positions.Last().iTime != aTime) return ELater;
    lower = upper = n - 1;
  }
  if (lower < 0) return ENever;  // before the first position
  const TPositionPlot& a = positions.At(lower);
  const TPositionPlot& b = positions.At(upper);
  const TPosition pa = a.Position(), pb = b.Position();
  if (!pa.IsValid() || !pb.IsValid()) return ENever;
  if (lower == upper || b.iTime <= a.iTime) {
    aPosition = pa;
    return EFound;
  }
  const double f = static_cast<double>(aTime - a.iTime) / (b.iTime - a.iTime);
  aPosition = TPosition((1.0 - f) * pa.iLatitude + f * pb.iLatitude,
                        (1.0 - f) * pa.iLongitude + f * pb.iLongitude);
  return EFound;
}

PwTime CRunList::WindowTime(double aFraction) const {
  const int32_t t1 = iWindow[1].iTime, t2 = iWindow[2].iTime;
  return PwTime(t1 + static_cast<int32_t>(std::trunc((t2 - t1) * aFraction + 0.5)));
}

void CRunList::OpenRun(int32_t aSelectedTest) {
  CPerformanceRun* newest = NewestRun();
  if (newest && !newest->HasFinished(aSelectedTest)) {
    newest->ResetAll();
    return;
  }
  if (newest) newest->RemoveUnfinished();
  std::unique_ptr<CPerformanceRun> run(new CPerformanceRun(&iPlots));
  iRuns.Append(run.get());
  run.release();
}

void CRunList::StartPerformance(int32_t aTestIndex, PwTime aTime) {
  CPerformanceRun* newest = NewestRun();
  if (!newest) return;
  // A running (or reset) result of the test restarts; only a finished one makes room for
  // another.
  if (CPerformance* p = newest->Unfinished(aTestIndex)) {
    p->Start(aTime);
    return;
  }
  if (iRuns.Count() > KMaxRuns) DeleteOldestRun();
  newest->AddL(aTestIndex, aTime);
}

void CRunList::DeleteOldestRun() {
  delete iRuns.At(0);
  iRuns.Remove(0);
  // Indices into the list move down with it; a selected run that is gone means the best.
  if (iCursor > 0) --iCursor;
  if (iComparisonSelection == 0)
    iComparisonSelection = -1;
  else if (iComparisonSelection > 0)
    --iComparisonSelection;
}

// --- Queries ---

CPerformanceRun* CRunList::Run(int32_t aIndex) const {
  if (aIndex < 0 || aIndex >= iRuns.Count()) return nullptr;
  return iRuns.At(aIndex);
}

int32_t CRunList::IndexOf(const CPerformanceRun* aRun) const {
  for (int32_t i = 0; i < iRuns.Count(); ++i)
    if (iRuns.At(i) == aRun) return i;
  return -1;
}

void CRunList::SetCursor(int32_t aIndex) {
  if (aIndex >= 0 && aIndex < iRuns.Count()) iCursor = aIndex;
}

CPerformance* CRunList::Performance(const CPerformanceRun* aRun, int32_t aTestIndex,
                                    bool aFinishedOnly) {
  return aRun ? aRun->Performance(aTestIndex, aFinishedOnly) : nullptr;
}

int32_t CRunList::CompletedRunCount(int32_t aTestIndex) const {
  const int32_t n = iRuns.Count();
  if (n > 0 && !NewestRun()->HasFinished(aTestIndex)) return n - 1;
  return n;
}

int32_t CRunList::BestRunIndex(int32_t aTestIndex, int32_t aExclude) const {
  int32_t best = -1;
  PwTime bestTime(0);
  for (int32_t i = 0; i < iRuns.Count(); ++i) {
    if (i == aExclude) continue;
    const CPerformance* p = iRuns.At(i)->Performance(aTestIndex, true);
    if (!p) continue;
    if (best < 0 || p->ResultTime() < bestTime) {
      best = i;
      bestTime = p->ResultTime();
    }
  }
  return best;
}

void CRunList::SelectComparison(int32_t aSelection) {
  if (aSelection == -1 || (aSelection >= 0 && aSelection < iRuns.Count()))
    iComparisonSelection = aSelection;
}

CPerformanceRun* CRunList::ComparisonRun(int32_t aTestIndex) const {
  if (iComparisonList) {
    const int32_t selection = iComparisonList->ComparisonSelection();
    if (selection >= 0) return iComparisonList->Run(selection);
    return iComparisonList->BestRun(aTestIndex);
  }
  if (iComparisonSelection >= 0) return Run(iComparisonSelection);
  return BestRun(aTestIndex, iCursor);
}
