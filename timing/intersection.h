// The trap crossings found in a session's position samples, in order of detection: built for
// the whole list at once (after loading, or when the traps change) or extended sample by
// sample while recording. Laps are made from these.
#pragma once

#include <cstdint>

#include "acquisition/position_plot.h"
#include "foundation/pw_base.h"
#include "foundation/pw_vector.h"

class CPositionPlotList;
class CTrapLineList;

// One crossing.
struct TIntersection {
  int32_t iTrapIndex = 0;    // position of the trap in the track's CTrapLineList
  int32_t iSampleIndex = 0;  // position sample at which the crossing was detected
  int32_t iInterval = 0;     // ms between the two samples bracketing the crossing
  TPositionPlot iSample;     // interpolated at the crossing; its time is the crossing time
};

class CIntersectionList : public CPwBase {
 public:
  CIntersectionList() = default;
  ~CIntersectionList() override = default;

  void Clear() { iIntersections.Reset(); }
  // Clears, then tests every sample index from 0 to Count - 1 in order.
  void Rebuild(const CPositionPlotList& aPlots, const CTrapLineList& aTraps);
  // Tests the newest sample (Count - 1): 1 when at least one crossing was appended; 0 without
  // a trap list.
  int32_t TestNewest(const CPositionPlotList& aPlots, const CTrapLineList* aTraps);
  // Tests one sample index against every trap in list order and appends what it finds; 1 when
  // anything was appended. The same trap reported again at the very next sample index is
  // ignored.
  int32_t TestSample(int32_t aIndex, const CPositionPlotList& aPlots, const CTrapLineList& aTraps);

  int32_t Count() const { return iIntersections.Count(); }
  // Panic 3 unless 0 <= aIndex < Count.
  const TIntersection& At(int32_t aIndex) const { return iIntersections.At(aIndex); }
  const TIntersection& operator[](int32_t aIndex) const { return iIntersections.At(aIndex); }

  static constexpr int32_t KGranularity = 8;

 private:
  // Appends unless it repeats the last crossing's trap at the next sample; true if appended.
  bool Append(const TIntersection& aIntersection);

  CPwVector<TIntersection> iIntersections{KGranularity};
};
