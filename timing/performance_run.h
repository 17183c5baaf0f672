// Runs of a performance-testing session: CRunList scans the session's speed samples (GPS
// positions or the OBD speed channel), splits them into runs (CPerformanceRun) and records in
// each run the result of every test achieved (CPerformance). The same scan serves live
// recording, one sample at a time, and the rebuild from stored samples, so both give the
// same runs.
#pragma once

#include <cstdint>

#include "acquisition/geodesy.h"
#include "foundation/pw_base.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"

class CPerformanceTest;
class CPerformanceTestList;
class CPlotList;
class CPlotListBase;
class CSpeechHelper;

// One test result inside a run.
class CPerformance : public CPwBase {
 public:
  CPerformance(const CPlotList* aPlots, int32_t aTestIndex, PwTime aStartTime)
      : iPlots(aPlots), iStartTime(aStartTime), iTestIndex(aTestIndex) {}
  ~CPerformance() override = default;

  const CPlotList* PlotList() const { return iPlots; }
  int32_t TestIndex() const { return iTestIndex; }
  // Session times; unset before the start and while running.
  PwTime StartTime() const { return iStartTime; }
  PwTime FinishTime() const { return iFinishTime; }
  bool IsStarted() const { return iStartTime.IsSet(); }
  bool IsFinished() const { return iStartTime.IsSet() && iFinishTime.IsSet(); }
  // finish - start, or -1 while unfinished.
  PwTime ResultTime() const { return IsFinished() ? iFinishTime - iStartTime : PwTime(-1); }
  // Speed at the finish in TPositionPlot units, for distance tests; KInvalidInt otherwise.
  int32_t FinishSpeed() const { return iFinishSpeed; }

  // (Re)starts: a running result restarts from the new moment.
  void Start(PwTime aTime) {
    iStartTime = aTime;
    iFinishTime = PwTime::Unset();
    iFinishSpeed = KInvalidInt;
  }
  void Finish(PwTime aTime, int32_t aFinishSpeed) {
    iFinishTime = aTime;
    iFinishSpeed = aFinishSpeed;
  }
  // Back to unstarted.
  void Reset() { Start(PwTime::Unset()); }

 private:
  const CPlotList* iPlots = nullptr;
  PwTime iStartTime = PwTime::Unset();
  PwTime iFinishTime = PwTime::Unset();
  int32_t iTestIndex = -1;
  int32_t iFinishSpeed = KInvalidInt;
};

// The results of one run, at most one unfinished result per test.
class CPerformanceRun : public CPwBase {
 public:
  static constexpr int32_t KGranularity = 8;

  explicit CPerformanceRun(const CPlotList* aPlots) : iPlots(aPlots) {}
  ~CPerformanceRun() override;

  const CPlotList* PlotList() const { return iPlots; }
  int32_t Count() const { return iPerformances.Count(); }
  // Panic 3 out of range.
  CPerformance& At(int32_t aIndex) const { return *iPerformances.At(aIndex); }

  // The newest result for the test (any state), or with aFinishedOnly the newest finished
  // one; null when there is none.
  CPerformance* Performance(int32_t aTestIndex, bool aFinishedOnly = false) const;
  // The result of the test that has not finished yet (running or reset), or null.
  CPerformance* Unfinished(int32_t aTestIndex) const;
  bool HasFinished(int32_t aTestIndex) const { return Performance(aTestIndex, true) != nullptr; }

  // Appends a new result. Leaves KErrNoMemory.
  CPerformance* AddL(int32_t aTestIndex, PwTime aStartTime);
  // Every result back to unstarted (the run is used for the next attempt).
  void ResetAll();
  // Deletes every result that did not finish.
  void RemoveUnfinished();

 private:
  const CPlotList* iPlots = nullptr;
  CPwVector<CPerformance*> iPerformances{KGranularity};
};

class CRunList : public CPwBase {
 public:
  static constexpr int32_t KGranularity = 8;
  // Runs kept; the oldest goes when a result starts in a newer one beyond this.
  static constexpr int32_t KMaxRuns = 200;
  // Speeds (m/s) that tell standing from moving, and the drop below the run's highest speed
  // that ends a run.
  static constexpr double KStandstillSpeed = 0.04;
  static constexpr double KMovingSpeed = 0.25;
  static constexpr double KRunSplitDrop = 5.0;
  // With OBD speed, positions must exist before a start can be located.
  static constexpr int32_t KObdMinPositions = 5;

  // aPlots (not owned) are the session's samples and must outlive the list.
  explicit CRunList(const CPlotList& aPlots);
  ~CRunList() override;
  static CRunList* NewL(const CPlotList& aPlots);

  // Consumes every new source sample; nonzero when a result finished. aTests is the
  // program's test list, aSelectedTest the session's test (decides when a run is reused).
  // No spoken announcement is defined for runs; aAnnouncer is accepted for the session's
  // sake and may be null.
  int32_t Process(bool aUseObdSpeed, const CPerformanceTestList& aTests,
                  CSpeechHelper* aAnnouncer, int32_t aSelectedTest);
  // Clear, then process every stored sample.
  void Rebuild(bool aUseObdSpeed, const CPerformanceTestList& aTests, int32_t aSelectedTest);
  // Forgets every run and the scan state (the comparison list stays linked).
  void Clear();

  // --- Runs ---
  int32_t Count() const { return iRuns.Count(); }
  // Null out of range.
  CPerformanceRun* Run(int32_t aIndex) const;
  // Index of a run of this list, -1 if it is not one.
  int32_t IndexOf(const CPerformanceRun* aRun) const;
  CPerformanceRun* NewestRun() const { return Run(iRuns.Count() - 1); }
  CPerformanceRun* SecondNewestRun() const { return Run(iRuns.Count() - 2); }
  CPerformanceRun* ThirdNewestRun() const { return Run(iRuns.Count() - 3); }

  // The viewed run.
  int32_t Cursor() const { return iCursor; }
  // Ignored out of range.
  void SetCursor(int32_t aIndex);
  CPerformanceRun* CursorRun() const { return Run(iCursor); }

  // The result of test aTestIndex in a run (null run gives null).
  static CPerformance* Performance(const CPerformanceRun* aRun, int32_t aTestIndex,
                                   bool aFinishedOnly = false);
  // The number of runs, less one when the newest has not finished the test.
  int32_t CompletedRunCount(int32_t aTestIndex) const;
  // The run with the shortest finished result for the test, skipping run aExclude; ties keep
  // the earlier run. -1 / null when none.
  int32_t BestRunIndex(int32_t aTestIndex, int32_t aExclude = -1) const;
  CPerformanceRun* BestRun(int32_t aTestIndex, int32_t aExclude = -1) const {
    return Run(BestRunIndex(aTestIndex, aExclude));
  }

  // --- Comparison ---
  // Another session's run list (not owned), or null.
  void SetComparisonList(const CRunList* aList) { iComparisonList = aList; }
  const CRunList* ComparisonList() const { return iComparisonList; }
  // -1 = best run, or a run index.
  int32_t ComparisonSelection() const { return iComparisonSelection; }
  // Ignored unless -1 or a valid run index.
  void SelectComparison(int32_t aSelection);
  // With a linked list: its selected run, or its best run for the test. Otherwise the
  // selected run, or the best run other than the viewed one.
  CPerformanceRun* ComparisonRun(int32_t aTestIndex) const;

  // Source samples consumed so far.
  int32_t ProcessedCount() const { return iProcessed; }

 private:
  struct TWindowSample {
    int32_t iTime = 0;
    double iSpeed = 0.0;
    TPosition iPosition = TPosition::Invalid();
  };
  // Where the scan of the newest window stands: between samples, or waiting before the start
  // position or the distance step because the positions they need have not arrived yet.
  enum TStage : int32_t { EStageIdle = 0, EStageStartPosition, EStageDistance };
  // Result of looking up a position by time.
  enum TLookup : int32_t { EFound, ELater, ENever };

  const CPlotListBase* Source(bool aUseObdSpeed) const;
  // Steps 4 to 9 for the window that just filled; false when it must wait for positions.
  void ScanWindow(const CPerformanceTestList& aTests, int32_t aSelectedTest);
  bool FinishWindow(const CPerformanceTestList& aTests);
  bool LocateStart();
  bool DistanceStep(const CPerformanceTestList& aTests);
  TLookup PositionAt(int32_t aTime, TPosition& aPosition) const;

  void OpenRun(int32_t aSelectedTest);
  void StartPerformance(int32_t aTestIndex, PwTime aTime);
  void DeleteOldestRun();
  // t(S1) + trunc((t(S2) - t(S1)) * f + 0.5).
  PwTime WindowTime(double aFraction) const;

  const CPlotList& iPlots;
  const CRunList* iComparisonList = nullptr;
  CPwVector<CPerformanceRun*> iRuns{KGranularity};
  int32_t iCursor = 0;
  TPosition iStartPosition = TPosition::Invalid();
  PwTime iPendingStart{0};
  bool iStartPending = false;
  double iHighestSpeed = 0.0;
  double iPreviousDistance = 0.0;
  TStage iStage = EStageIdle;
  int32_t iComparisonSelection = -1;
  TWindowSample iWindow[3];
  int32_t iWindowCount = 0;
  int32_t iProcessed = 0;
  bool iUseObdSpeed = false;
  bool iFinished = false;  // a result finished during the current Process call
};
