// The line of facts about the route's cursor sample, drawn over the bottom of the route map:
// the sample number, its time, its speed and its altitude, in the units of the settings.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "app/gui/custom_control.h"
#include "foundation/pw_string.h"
#include "foundation/pw_string_list.h"

class CModel;

class CPlotInfoControl : public CCustomControl {
 public:
  static constexpr TPwColour KBackground = 0x5B404040;  // translucent over the map
  static constexpr TPwColour KText = 0xC0C0C0;
  static constexpr int32_t KSegmentGap = 8;

  CPlotInfoControl(CCustomControl* aParent, CModel& aModel) : CCustomControl(aParent), iModel(&aModel) {}
  ~CPlotInfoControl() override;

  // The segments for the cursor sample, left to right; none when the cursor lies outside the
  // position list (or no session is open).
  void Segments(CPwStringList& aSegments) const;
  // One line of the info font.
  int32_t LineHeight();

  void Draw() override;

 private:
  CModel* iModel;
};
