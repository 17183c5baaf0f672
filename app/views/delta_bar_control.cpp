#include "app/views/delta_bar_control.h"

#include <algorithm>
#include <cstdlib>

#include "app/model.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/lap_delta.h"
#include "timing/live_delta.h"
#include "timing/track_session.h"

CDeltaBarControl::CDeltaBarControl(CCustomControl* aParent, TPwColour aBackground)
    : CBigTextControl(aParent, aBackground) {}

TPwRect CDeltaBarControl::BarArea() const {
  const int32_t margin = std::max(2, iRect.Height() / 12);
  return TPwRect{iRect.iLeft + margin, iRect.iTop + margin, iRect.iRight - margin, iRect.iBottom - margin};
}

int32_t CDeltaBarControl::BarLengthFor(int32_t aDelta) const {
  const TPwRect area = BarArea();
  if (area.IsEmpty()) return 0;
  const int64_t half = area.Width() / 2;
  const int64_t clamped = std::clamp<int64_t>(aDelta, -KFullScale, KFullScale);
  return static_cast<int32_t>(clamped * half / KFullScale);
}

void CDeltaBarControl::SetReading(int32_t aDelta, int32_t aPredicted, bool aStale, int32_t aDecimals) {
  CPwString number, predicted, label;
  PwTime(aDelta).FormatDuration(number, 2, true, true);
  FormatTimerResult(PwTime(aPredicted), aDecimals, false, predicted);
  // A band too low for a label beside the large type shows the predicted time large, on the
  // right, with the difference on the left; a high one centres the difference over the bar.
  const bool compact = iRect.Height() < KCompactHeight;
  SetText(ELeft, compact ? CPwStringC(number) : CPwStringC());
  SetText(ECentre, compact ? CPwStringC() : CPwStringC(number));
  SetText(ERight, compact ? CPwStringC(predicted) : CPwStringC());
  if (!compact && !predicted.IsEmpty()) label.FormatU(R_TIMER_PREDICTED, predicted);
  SetLabel(ETopRight, label);
  SetTextColour(aStale ? KStaleTextColour : 0xFFFFFF);
  const bool moved = BarLengthFor(aDelta) != BarLengthFor(iDelta);
  iDelta = aDelta;
  if (aStale != iStale || moved) {
    iStale = aStale;
    Invalidate();
  }
}

void CDeltaBarControl::DrawBackdrop(CPwBitmap& aBitmap) {
  const TPwRect area = BarArea();
  if (area.IsEmpty()) return;
  const int32_t middle = area.iLeft + area.Width() / 2;
  const int32_t length = BarLengthFor(iDelta);
  const TPwColour colour = iStale ? KStaleColour : length < 0 ? KGainColour : KLossColour;
  if (length < 0) aBitmap.FillRect(TPwRect{middle + length, area.iTop, middle, area.iBottom}, colour);
  else if (length > 0) aBitmap.FillRect(TPwRect{middle, area.iTop, middle + length, area.iBottom}, colour);
  // The zero mark, so that a bar of a few pixels still reads as a side.
  aBitmap.FillRect(TPwRect{middle - 1, area.iTop, middle + 1, area.iBottom}, 0xFFFFFF);
}

const TDeltaReading* ShownLiveDelta(const CModel& aModel) {
  if (!aModel.Settings().LiveDelta()) return nullptr;
  const CTrackSession* session = aModel.TrackSession();
  if (!session || !session->IsLapTiming()) return nullptr;
  const CLiveDelta& delta = session->Delta();
  if (!delta.HasReference() || !delta.Current().iValid) return nullptr;
  return &delta.Current();
}
