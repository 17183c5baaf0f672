#include "timing/intersection.h"

#include "storage/position_plot_list.h"
#include "timing/trap_line.h"

bool CIntersectionList::Append(const TIntersection& aIntersection, int32_t aPrevious) {
  const int32_t n = iIntersections.Count();
  if (n > 0) {
    // A trace that touches a trap exactly at a sample is reported by both segments that meet
    // there; the second report is the same crossing.
    const TIntersection& last = iIntersections.At(n - 1);
    if (last.iTrapIndex == aIntersection.iTrapIndex && last.iSampleIndex == aPrevious)
      return false;
  }
  iIntersections.Append(aIntersection);
  return true;
}

namespace {

// The newest usable sample before aIndex, or -1.
int32_t UsableBefore(const CPositionPlotList& aPlots, int32_t aIndex) {
  for (int32_t k = aIndex - 1; k >= 0; --k)
    if (aPlots.IsUsable(k)) return k;
  return -1;
}

}  // namespace

int32_t CIntersectionList::TestBetween(int32_t aBeforePrevious, int32_t aPrevious, int32_t aIndex,
                                       const CPositionPlotList& aPlots, const CTrapLineList& aTraps) {
  if (aPrevious < 0) return 0;
  const TPositionPlot* beforePrevious = aBeforePrevious >= 0 ? &aPlots.At(aBeforePrevious) : nullptr;
  const TPositionPlot& previous = aPlots.At(aPrevious);
  const TPositionPlot& current = aPlots.At(aIndex);
  int32_t appended = 0;
  const int32_t traps = aTraps.Count();
  TIntersection crossing;
  for (int32_t t = 0; t < traps; ++t) {
    if (!aTraps.At(t)->CrossingTest(aIndex, aPlots, beforePrevious, previous, current, crossing.iSample,
                                    crossing.iInterval))
      continue;
    crossing.iTrapIndex = t;
    crossing.iSampleIndex = aIndex;
    if (Append(crossing, aPrevious)) appended = 1;
  }
  return appended;
}

int32_t CIntersectionList::TestSample(int32_t aIndex, const CPositionPlotList& aPlots,
                                      const CTrapLineList& aTraps) {
  if (aIndex < 1 || aIndex >= aPlots.Count() || !aPlots.IsUsable(aIndex)) return 0;
  const int32_t previous = UsableBefore(aPlots, aIndex);
  return TestBetween(previous >= 0 ? UsableBefore(aPlots, previous) : -1, previous, aIndex, aPlots, aTraps);
}

void CIntersectionList::Rebuild(const CPositionPlotList& aPlots, const CTrapLineList& aTraps) {
  Clear();
  iTested = 0;
  iPrevious = iBeforePrevious = -1;
  const int32_t n = aPlots.DecidedCount();
  // One walk over the samples for all traps: each sample is fetched once and handed on.
  for (int32_t i = 0; i < n; ++i) {
    if (!aPlots.IsUsable(i)) continue;
    if (aTraps.Count() > 0) TestBetween(iBeforePrevious, iPrevious, i, aPlots, aTraps);
    iBeforePrevious = iPrevious;
    iPrevious = i;
  }
  iTested = n;
}

int32_t CIntersectionList::TestNewest(const CPositionPlotList& aPlots, const CTrapLineList* aTraps) {
  if (!aTraps) return 0;
  const int32_t n = aPlots.DecidedCount();
  if (iTested < 0 || iTested > n) {
    // Nothing tested since the crossings were cleared: go on from the newest decided sample.
    iTested = n > 0 ? n - 1 : 0;
    iPrevious = UsableBefore(aPlots, iTested);
    iBeforePrevious = iPrevious >= 0 ? UsableBefore(aPlots, iPrevious) : -1;
  }
  int32_t appended = 0;
  for (int32_t i = iTested; i < n; ++i) {
    if (!aPlots.IsUsable(i)) continue;
    if (TestBetween(iBeforePrevious, iPrevious, i, aPlots, *aTraps)) appended = 1;
    iBeforePrevious = iPrevious;
    iPrevious = i;
  }
  iTested = n;
  return appended;
}
