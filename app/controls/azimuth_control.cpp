#include "app/controls/azimuth_control.h"

#include "acquisition/channel_state.h"
#include "acquisition/obd_channels.h"
#include "app/gui/commands.h"
#include "app/gui/layout.h"
#include "app/model.h"

namespace {

// The GPS channels first, then (after the OBD-II ones) the data logger's.
constexpr TChannelId KGpsCycle[] = {KChannelSatellites, KChannelGpsTime, KChannelCoordinatePrecision,
                                    KChannelBearing,    KChannelGpsSpeed, KChannelAltitude, KChannelObdTime};
constexpr TChannelId KLoggerCycle[] = {
    KChannelLoggerTime,        KChannelLoggerDistance,    KChannelLoggerDigital1,    KChannelLoggerDigital2,
    KChannelLoggerAnalog1,     KChannelLoggerAnalog1 + 1, KChannelLoggerAnalog1 + 2, KChannelLoggerAnalog1 + 3,
    KChannelLoggerAnalog1 + 4, KChannelLoggerAnalog6,     KChannelLoggerAnalog6 + 1, KChannelLoggerAnalog6 + 2, 0};

}  // namespace

CAzimuthControl* CAzimuthControl::NewL(CCustomControl* aParent, CModel& aModel) {
  return PwNewL<CAzimuthControl>(aParent, aModel);
}

void CAzimuthControl::ConstructL(CCustomControl* aParent, CModel& aModel) {
  SetParent(aParent);
  iModel = &aModel;
  iDrawer.reset(new CAzimuthDrawer(aModel));
  for (TChannelId id : KGpsCycle) iCycle.Append(id);
  const CObdChannelList& obd = aModel.ObdChannels();
  for (int32_t i = 0; i < obd.Count(); ++i) iCycle.Append(obd.At(i).Id());
  for (TChannelId id : KLoggerCycle) iCycle.Append(id);
}

CAzimuthControl::~CAzimuthControl() = default;

bool CAzimuthControl::IsSelectable(TChannelId aChannel) const {
  return aChannel == 0 || aChannel == KChannelSatellites || iModel->ChannelState().Has(aChannel);
}

bool CAzimuthControl::Next() {
  const int32_t n = iCycle.Count();
  for (int32_t step = 1; step < n; ++step) {
    const int32_t index = (iCurrent + step) % n;
    if (IsSelectable(iCycle.At(index))) {
      iCurrent = index;
      return true;
    }
  }
  return false;
}

bool CAzimuthControl::Previous() {
  const int32_t n = iCycle.Count();
  for (int32_t step = 1; step < n; ++step) {
    const int32_t index = (iCurrent - step + n) % n;
    if (IsSelectable(iCycle.At(index))) {
      iCurrent = index;
      return true;
    }
  }
  return false;
}

void CAzimuthControl::SetDrawOver(bool aDrawOver) {
  if (aDrawOver == iDrawOver) return;
  iDrawOver = aDrawOver;
  Invalidate();
}

void CAzimuthControl::Repaint() {
  Invalidate();
  RequestRedraw();
}

void CAzimuthControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  iDrawer->SetRect(aRect);
  Invalidate();
}

int32_t CAzimuthControl::HandleCommand(int32_t aCommand) {
  if (aCommand != pwcmd::KNextChannel && aCommand != pwcmd::KPreviousChannel) return 1;
  if (!(aCommand == pwcmd::KNextChannel ? Next() : Previous())) return 1;
  Repaint();
  return 0;
}

int32_t CAzimuthControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  switch (aKind) {
    case 0:
      if (!iRect.Contains(aX, aY)) return 1;
      iPressed = true;
      iPressPending = true;
      return 0;
    case 1:
      return iPressPending ? 0 : 1;
    default: {
      if (!iPressPending) return 1;
      iPressed = false;
      iPressPending = false;
      (void)HandleCommand(pwcmd::KNextChannel);
      Repaint();
      return 0;
    }
  }
}

void CAzimuthControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout || iRect.IsEmpty()) return;
  iDrawer->SetRect(iRect);
  iDrawer->Draw(*bitmap, *layout, CurrentChannel(), iDrawOver);
}
