#include "timing/intersection.h"

#include "storage/position_plot_list.h"
#include "timing/trap_line.h"

bool CIntersectionList::Append(const TIntersection& aIntersection) {
  const int32_t n = iIntersections.Count();
  if (n > 0) {
    // A trace that touches a trap exactly at a sample is reported by both segments that meet
    // there; the second report is the same crossing.
    const TIntersection& last = iIntersections.At(n - 1);
    if (last.iTrapIndex == aIntersection.iTrapIndex && last.iSampleIndex == aIntersection.iSampleIndex - 1)
      return false;
  }
  iIntersections.Append(aIntersection);
  return true;
}

int32_t CIntersectionList::TestSample(int32_t aIndex, const CPositionPlotList& aPlots,
                                      const CTrapLineList& aTraps) {
  if (aIndex < 1 || aIndex >= aPlots.Count()) return 0;
  const TPositionPlot* beforePrevious = aIndex >= 2 ? &aPlots.At(aIndex - 2) : nullptr;
  const TPositionPlot& previous = aPlots.At(aIndex - 1);
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
    if (Append(crossing)) appended = 1;
  }
  return appended;
}

void CIntersectionList::Rebuild(const CPositionPlotList& aPlots, const CTrapLineList& aTraps) {
  Clear();
  const int32_t n = aPlots.Count();
  if (n < 2 || aTraps.Count() == 0) return;
  // One walk over the samples for all traps: each sample is fetched once and handed on.
  const TPositionPlot* beforePrevious = nullptr;
  const TPositionPlot* previous = &aPlots.At(0);
  const int32_t traps = aTraps.Count();
  TIntersection crossing;
  for (int32_t i = 1; i < n; ++i) {
    const TPositionPlot& current = aPlots.At(i);
    for (int32_t t = 0; t < traps; ++t) {
      if (!aTraps.At(t)->CrossingTest(i, aPlots, beforePrevious, *previous, current, crossing.iSample,
                                      crossing.iInterval))
        continue;
      crossing.iTrapIndex = t;
      crossing.iSampleIndex = i;
      Append(crossing);
    }
    beforePrevious = previous;
    previous = &current;
  }
}

int32_t CIntersectionList::TestNewest(const CPositionPlotList& aPlots, const CTrapLineList* aTraps) {
  if (!aTraps) return 0;
  return TestSample(aPlots.Count() - 1, aPlots, *aTraps);
}
