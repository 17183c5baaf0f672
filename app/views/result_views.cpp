#include "app/views/result_views.h"

#include <algorithm>

#include "app/model.h"
#include "storage/settings.h"

bool StepFontScale(CModel& aModel, int32_t aDelta) {
  CSettings& settings = aModel.Settings();
  const int32_t now = settings.FontScale();
  const int32_t next = std::clamp(now + aDelta, 70, 160);
  if (next == now) return false;
  settings.SetFontScale(next);
  return true;
}
