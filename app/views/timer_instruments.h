// The two instruments the live timer embeds beside its readout: the live map (the route driven
// so far with the current position kept in view) and the live channel gauge. The timer only
// places them, shows or hides them, tells the gauge whether it draws over the map, and lets
// them take their own commands (zoom 4120/4121, channel 4138/4139).
#pragma once

#include <cstdint>

class CCustomControl;
class CModel;

CCustomControl* NewLiveMapL(CCustomControl* aParent, CModel& aModel);
CCustomControl* NewLiveGaugeL(CCustomControl* aParent, CModel& aModel);
// Over the map the gauge leaves its background alone; on its own it fills it.
void SetGaugeDrawsOver(CCustomControl& aGauge, bool aDrawOver);
