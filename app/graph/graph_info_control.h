// The value line under the graph: the cursor position on the x axis in grey, then the value
// of every shown channel at the cursor in the channel's colour (dimmed for the comparison).
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "foundation/pw_string.h"
#include "foundation/pw_string_list.h"

class CModel;

class CGraphInfoControl : public CCustomControl {
 public:
  static constexpr TPwColour KOpaque = 0x000000;
  static constexpr TPwColour KTranslucent = 0x5B404040;
  static constexpr TPwColour KCursorColour = 0x808080;
  static constexpr int32_t KGap = 8;

  // aBackground 0: opaque black, 1: translucent.
  CGraphInfoControl(CCustomControl* aParent, CModel& aModel, int32_t aBackground = 0);
  ~CGraphInfoControl() override = default;

  // One line of the info font.
  int32_t LineHeight();
  // The texts of the last painting, segment by segment (an invalid value is an empty one).
  const CPwStringList& Segments() const { return iSegments; }

  void Draw() override;

 private:
  CModel* iModel;
  int32_t iBackground;
  CPwString iText;
  int32_t iUsedWidth = 0;
  CPwStringList iSegments;
};
