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

  void Clear() {
    iIntersections.Reset();
    iTested = -1;
  }
  // Clears, then tests every usable sample in order. Only usable samples (CPositionPlotList::
  // IsUsable) are tested, each against the usable samples before it, so a glitch is stepped
  // over as if it had never been received.
  void Rebuild(const CPositionPlotList& aPlots, const CTrapLineList& aTraps);
  // Tests the samples decided since the last test (normally just the newest; one more when
  // the newest had to wait for its successor): 1 when at least one crossing was appended; 0
  // without a trap list. After Clear the newest decided sample is tested first.
  int32_t TestNewest(const CPositionPlotList& aPlots, const CTrapLineList* aTraps);
  // Tests one sample index against every trap in list order and appends what it finds; 1 when
  // anything was appended. The same trap reported again at the very next sample index is
  // ignored. An unusable sample gives 0.
  int32_t TestSample(int32_t aIndex, const CPositionPlotList& aPlots, const CTrapLineList& aTraps);

  int32_t Count() const { return iIntersections.Count(); }
  // Panic 3 unless 0 <= aIndex < Count.
  const TIntersection& At(int32_t aIndex) const { return iIntersections.At(aIndex); }
  const TIntersection& operator[](int32_t aIndex) const { return iIntersections.At(aIndex); }

  static constexpr int32_t KGranularity = 8;

 private:
  // Appends unless it repeats the last crossing's trap at the next usable sample (the last
  // crossing was found at aPrevious); true if appended.
  bool Append(const TIntersection& aIntersection, int32_t aPrevious);
  // Tests usable sample aIndex against the usable samples aPrevious and aBeforePrevious
  // (-1: none) and every trap; 1 when anything was appended.
  int32_t TestBetween(int32_t aBeforePrevious, int32_t aPrevious, int32_t aIndex, const CPositionPlotList& aPlots,
                      const CTrapLineList& aTraps);

  CPwVector<TIntersection> iIntersections{KGranularity};
  // Live testing: samples below iTested are done (-1: none since Clear), and the newest two
  // usable samples among them.
  int32_t iTested = -1;
  int32_t iPrevious = -1;
  int32_t iBeforePrevious = -1;
};
