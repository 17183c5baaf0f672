// One lap of a session: its start crossing, the split crossings in the order they were crossed
// and its finish, with the times, distances and speeds derived from them, and the high/low
// speed points found along it. A composite lap (the optimal lap) is made of copies of crossings
// taken from different laps; each copy still points at the crossing before it in its own lap,
// so every sector of it keeps the duration it had where it was driven.
#pragma once

#include <cstdint>

#include "acquisition/geodesy.h"
#include "acquisition/position_plot.h"
#include "foundation/pw_base.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"

class CPositionPlotList;

// A difference of times or distances computed wide; a time beyond the 32-bit range (only
// damaged files hold such times) is no time at all.
inline PwTime TimeFromWide(int64_t aMs) {
  return aMs >= INT32_MIN && aMs < PwTime::KUnset ? PwTime(static_cast<int32_t>(aMs)) : PwTime::Unset();
}
inline PwTime TimeBetween(int32_t aFrom, int32_t aTo) {
  return TimeFromWide(static_cast<int64_t>(aTo) - aFrom);
}

// One crossing that belongs to a lap.
struct TLapSector {
  const TLapSector* iPrevious = nullptr;  // crossed before this one (none for the start)
  int32_t iKey = -1;                      // index of the trap in the track's trap list
  int32_t iSampleIndex = -1;              // sample at which the crossing was detected
  TPositionPlot iSample;                  // interpolated at the crossing moment
};

// One high or low speed point.
struct TLapSpeed {
  int32_t iSampleIndex = -1;
  int32_t iHigh = 0;  // 1 = local maximum, 0 = local minimum
};

class CLap : public CPwBase {
 public:
  // aPlots is the sample list the crossings' sample indices refer to (not owned).
  CLap(const CPositionPlotList* aPlots, int32_t aComposite);
  static CLap* NewL(const CPositionPlotList* aPlots, int32_t aComposite);
  // Deletes the crossings the lap owns (a composite lap does not own its start).
  ~CLap() override;

  // --- Building.
  // Creates the start crossing or overwrites it; the start has no previous crossing. Leaves.
  void SetStart(int32_t aKey, int32_t aSampleIndex, const TPositionPlot& aSample);
  // 1 on success; 0 when the lap already has a finish or has no start yet. Leaves.
  int32_t SetFinish(int32_t aKey, int32_t aSampleIndex, const TPositionPlot& aSample);
  // 1 on success; 0 when the lap is finished, has no start yet, or already has a crossing
  // with this key. Leaves.
  int32_t AddSplit(int32_t aKey, int32_t aSampleIndex, const TPositionPlot& aSample);
  // Composite laps: a copy of a crossing (its previous-crossing pointer kept). The first copy
  // also makes its previous crossing the lap's start. Leaves.
  void AddCopiedCrossing(const TLapSector& aSector);
  // The same for the finish; 0 when the lap is finished already. Leaves.
  int32_t SetCopiedFinish(const TLapSector& aSector);

  // --- Structure.
  const CPositionPlotList* Plots() const { return iPlots; }
  bool IsComposite() const { return iComposite != 0; }
  bool IsFinished() const { return iFinish != nullptr; }
  const TLapSector* Start() const { return iStart; }
  const TLapSector* Finish() const { return iFinish; }
  int32_t SplitCount() const { return iSplits.Count(); }
  const TLapSector* Split(int32_t aIndex) const;
  // Crossings after the start: split i for i below the split count, the finish at the split
  // count. Count is the split count plus one when finished.
  int32_t CrossingCount() const { return iSplits.Count() + (iFinish ? 1 : 0); }
  const TLapSector* Crossing(int32_t aIndex) const;
  int32_t LastCrossingIndex() const { return CrossingCount() - 1; }
  // The finish, then the splits; null when the lap has no such crossing (the start is not
  // looked at).
  const TLapSector* FindCrossing(int32_t aKey) const;
  // Crossing index of the key, or -1.
  int32_t CrossingIndexOf(int32_t aKey) const;
  // The last crossing of the lap: the finish, else the last split, else the start.
  const TLapSector* LastCrossing() const;

  // Keys in crossing order, cycling through -1 (nothing selected): the key after / before
  // aKey; -1 after the last and before the first; -1 for a key the lap lacks.
  int32_t NextKey(int32_t aKey) const;
  int32_t PreviousKey(int32_t aKey) const;
  // The key of the crossing before the one with aKey, and aKey itself; for aKey -1 the start
  // key and the key of the last crossing. (-1, -1) when the lap lacks the key.
  void KeyPair(int32_t aKey, int32_t& aFromKey, int32_t& aToKey) const;

  // --- Results. Missing data gives the unset time, the invalid distance or speed.
  PwTime LapTime() const;
  TDistance LapDistance() const;
  PwTime SplitTime(int32_t aKey) const;
  // 0 for key -1.
  TDistance SplitDistance(int32_t aKey) const;
  // Speed at the crossing; key -1 means the start.
  TSpeed TrapSpeed(int32_t aKey) const;
  PwTime SectorTime(int32_t aFromKey, int32_t aToKey) const;
  // Time into the lap of a session time, and distance into the lap of a distance in stored
  // units (TPositionPlot::iDistance).
  PwTime RelativeTime(PwTime aTime) const;
  TDistance RelativeDistance(int32_t aDistance) const;
  // Lap distance over lap time.
  TSpeed AverageSpeed() const;
  // Session times the lap's note is looked up between: the sample before the start and the
  // sample of the last crossing. False when the lap has no start or its samples are missing.
  bool NoteRange(PwTime& aStart, PwTime& aEnd) const;

  // --- High/low speed points, in stored speed units.
  void HighLowScan(int32_t aThreshold);
  int32_t HighLowCount() const { return iHighLow.Count(); }
  TLapSpeed HighLowPoint(int32_t aIndex) const { return iHighLow.At(aIndex); }
  TSpeed HighLowSpeed(int32_t aIndex) const;
  TGeoPoint HighLowPosition(int32_t aIndex) const;
  PwTime HighLowTime(int32_t aIndex) const;
  TDistance HighLowDistance(int32_t aIndex) const;
  // Smallest and largest valid sample speed of the last scan; KInvalidInt before one.
  int32_t MinimumSpeed() const { return iMinimumSpeed; }
  int32_t MaximumSpeed() const { return iMaximumSpeed; }

  // --- Invalid marker from the session notes; nonzero means invalid. A lap in a lap list is
  // marked through CLapList so that its best and optimal laps follow.
  int32_t InvalidMarker() const { return iInvalidMarker; }
  bool IsInvalid() const { return iInvalidMarker != 0; }
  void SetInvalidMarker(int32_t aMarker) { iInvalidMarker = aMarker; }

 private:
  TLapSector* NewSectorL(int32_t aKey, int32_t aSampleIndex, const TPositionPlot& aSample,
                        const TLapSector* aPrevious);
  // Runs the scan over samples aFirst..aLast inclusive with fresh extreme state.
  void ScanRange(int32_t aFirst, int32_t aLast, int32_t aThreshold);
  const TPositionPlot* PlotAt(int32_t aIndex) const;

  const CPositionPlotList* iPlots = nullptr;
  CPwVector<TLapSector*> iSplits{8};
  TLapSector* iStart = nullptr;  // owned unless composite
  TLapSector* iFinish = nullptr;
  CPwVector<TLapSpeed> iHighLow{8};
  int32_t iMinimumSpeed = KInvalidInt;
  int32_t iMaximumSpeed = KInvalidInt;
  int32_t iComposite = 0;
  int32_t iInvalidMarker = 0;
};
