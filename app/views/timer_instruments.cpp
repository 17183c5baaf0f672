#include "app/views/timer_instruments.h"

#include "app/controls/azimuth_control.h"
#include "app/map/map_control.h"

CCustomControl* NewLiveMapL(CCustomControl* aParent, CModel& aModel) {
  return CMapControl::NewL(aParent, aModel, CMapControl::ELiveMode);
}

CCustomControl* NewLiveGaugeL(CCustomControl* aParent, CModel& aModel) { return CAzimuthControl::NewL(aParent, aModel); }

void SetGaugeDrawsOver(CCustomControl& aGauge, bool aDrawOver) {
  if (auto* gauge = dynamic_cast<CAzimuthControl*>(&aGauge)) gauge->SetDrawOver(aDrawOver);
  aGauge.Invalidate();
}
