// The running difference of a session's lap in progress against the lap it is compared with,
// kept up to date sample by sample while recording. A new lap takes the comparison lap the lap
// list gives it (so with "best" a new best lap becomes the reference when the next lap starts);
// a change of the comparison within a lap replays the lap so far against the new reference.
#pragma once

#include <cstdint>

#include "timing/lap_delta.h"

class CLap;
class CLapList;

class CLiveDelta {
 public:
  CLiveDelta() = default;

  // Feeds what the newest lap of aLaps gained since the last call.
  void Update(CLapList& aLaps);
  // Forgets the lap and reference followed (the laps are about to be rebuilt or the comparison
  // laps deleted); the next update starts again at the newest lap's start.
  void Reset();

  // The newest reading of the lap in progress; invalid before a difference is known.
  const TDeltaReading& Current() const { return iEngine.Current(); }
  // Index of the lap followed, or -1.
  int32_t LapIndex() const { return iLapIndex; }
  bool HasReference() const { return iEngine.HasReference(); }
  int32_t ReferenceTime() const { return iEngine.ReferenceTime(); }
  // The final reading of the lap finished last (its crossing difference), invalid before one.
  const TDeltaReading& LastFinished() const { return iLastFinished; }

 private:
  void Begin(const CLap& aLap, int32_t aIndex, const CLap* aReference);

  CLapDelta iEngine;
  int32_t iLapIndex = -1;
  int32_t iStartSample = -1;
  // Who the reference was taken from; compared, never followed (the lap may be gone).
  const CLap* iReferenceLap = nullptr;
  int32_t iReferenceTime = 0;
  TDeltaReading iLastFinished;
};
