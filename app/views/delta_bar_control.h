// The live delta on the timer: how much time the lap under way has gained (a bar growing left
// from the middle, green) or lost (growing right, red) against the comparison lap at the same
// place, full scale two seconds either way, with the difference in hundredths ("-0.42") and the
// lap time it leads to ("Predicted 1:24.1", or the time alone on the right of a low band). A difference held over samples that could not be matched is greyed.
//
// The bar repaints only when what it shows changes, so a new sample costs no more than the bar.
#pragma once

#include <cstdint>

#include "app/views/timer_controls.h"

class CModel;
struct TDeltaReading;

class CDeltaBarControl : public CBigTextControl {
 public:
  static constexpr int32_t KFullScale = 2000;  // ms to either side
  static constexpr TPwColour KGainColour = 0x00C000;
  static constexpr TPwColour KLossColour = 0xE00000;
  static constexpr TPwColour KStaleColour = 0x707070;
  static constexpr TPwColour KStaleTextColour = 0xA0A0A0;
  // Bands lower than this (the normal timer's label line) show the predicted time large.
  static constexpr int32_t KCompactHeight = 48;

  CDeltaBarControl(CCustomControl* aParent, TPwColour aBackground);

  // A difference in ms (negative: faster), the predicted lap time in ms, and whether the
  // difference is held from an earlier sample. aDecimals: the "Timer decimals" of the lap time.
  void SetReading(int32_t aDelta, int32_t aPredicted, bool aStale, int32_t aDecimals);
  int32_t Delta() const { return iDelta; }
  bool IsStale() const { return iStale; }
  // Pixels the bar reaches from the middle (negative: to the left) in the current rectangle.
  int32_t BarLength() const { return BarLengthFor(iDelta); }

 protected:
  void DrawBackdrop(CPwBitmap& aBitmap) override;

 private:
  int32_t BarLengthFor(int32_t aDelta) const;
  TPwRect BarArea() const;

  int32_t iDelta = 0;
  bool iStale = false;
};

// The reading the live timer shows while a lap is under way: null when the setting is off, the
// session is not timing laps, or the lap has no comparison to be measured against yet.
const TDeltaReading* ShownLiveDelta(const CModel& aModel);
