#include "app/views/timer_instruments.h"

#include "app/gui/custom_control.h"

namespace {

// Stands in for an instrument this build does not draw: takes the instrument's commands so
// that they do nothing else, and fills its area when it is not drawn over anything.
class CQuietInstrument final : public CCustomControl {
 public:
  CQuietInstrument(CCustomControl* aParent, int32_t aFirst, int32_t aLast)
      : CCustomControl(aParent), iFirst(aFirst), iLast(aLast) {}
  int32_t HandleCommand(int32_t aCommand) override { return aCommand >= iFirst && aCommand <= iLast ? 0 : 1; }
  void Draw() override {
    if (!iDrawOver && Bitmap()) Bitmap()->FillRect(iRect, 0x000000);
  }
  bool iDrawOver = true;

 private:
  int32_t iFirst;
  int32_t iLast;
};

}  // namespace

CCustomControl* NewLiveMapL(CCustomControl* aParent, CModel&) { return new CQuietInstrument(aParent, 4120, 4121); }

CCustomControl* NewLiveGaugeL(CCustomControl* aParent, CModel&) { return new CQuietInstrument(aParent, 4138, 4139); }

void SetGaugeDrawsOver(CCustomControl& aGauge, bool aDrawOver) {
  if (auto* quiet = dynamic_cast<CQuietInstrument*>(&aGauge)) quiet->iDrawOver = aDrawOver;
  aGauge.Invalidate();
}
