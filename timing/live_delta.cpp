#include "timing/live_delta.h"

#include "timing/lap.h"
#include "timing/lap_list.h"

void CLiveDelta::Reset() {
  iEngine.ClearReference();
  iLapIndex = -1;
  iStartSample = -1;
  iReferenceLap = nullptr;
  iReferenceTime = 0;
}

void CLiveDelta::Begin(const CLap& aLap, int32_t aIndex, const CLap* aReference) {
  iLapIndex = aIndex;
  iStartSample = aLap.Start()->iSampleIndex;
  iReferenceLap = aReference;
  iReferenceTime = aReference && aReference->LapTime().IsSet() ? aReference->LapTime().Milliseconds() : 0;
  if (!aReference || !iEngine.SetReference(*aReference)) iEngine.ClearReference();
  iEngine.BeginLap(aLap);
}

void CLiveDelta::Update(CLapList& aLaps) {
  const int32_t index = aLaps.LapCount() - 1;
  CLap* lap = aLaps.NewestLap();
  if (!lap || !lap->Start()) {
    if (iLapIndex >= 0) Reset();
    return;
  }
  if (index != iLapIndex || lap->Start()->iSampleIndex != iStartSample) {
    // The lap followed so far may have been finished by the very sample that started this one.
    if (iLapIndex >= 0 && iLapIndex < index) {
      CLap* previous = aLaps.Lap(iLapIndex);
      if (previous && previous->Start() && previous->Start()->iSampleIndex == iStartSample) {
        iEngine.Follow(*previous, nullptr);
        if (iEngine.LapDone() && iEngine.HasReference()) iLastFinished = iEngine.Current();
      }
    }
    Begin(*lap, index, aLaps.ComparisonLapFor(index));
  } else {
    const CLap* reference = aLaps.ComparisonLapFor(index);
    const int32_t time = reference && reference->LapTime().IsSet() ? reference->LapTime().Milliseconds() : 0;
    if (reference != iReferenceLap || time != iReferenceTime) Begin(*lap, index, reference);
  }
  iEngine.Follow(*lap, nullptr);
  if (iEngine.LapDone() && iEngine.HasReference()) iLastFinished = iEngine.Current();
}
