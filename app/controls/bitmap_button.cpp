#include "app/controls/bitmap_button.h"

#include "app/gui/commands.h"
#include "app/gui/layout.h"

namespace {

// Behind the icon, so a button stays visible over a map of any colour.
constexpr TPwColour KBackground = 0x9F202020;
constexpr TPwColour KBackgroundPressed = 0x5F000000;
constexpr TPwColour KOutline = 0x7FA0A0A0;

}  // namespace

CBitmapButtonControl::CBitmapButtonControl(CCustomControl* aParent, int32_t aCommand, int32_t aSecond,
                                           const char* aIcon)
    : CCustomControl(aParent), iCommand(aCommand), iSecond(IsBlankCommand(aSecond) ? 0 : aSecond), iIcon(aIcon) {}

CBitmapButtonControl::~CBitmapButtonControl() = default;

TPwSize CBitmapButtonControl::PreferredSize() {
  CLayout* layout = Layout();
  const int32_t icon = layout ? layout->Resolution().iIconWidth : 16;
  return TPwSize{icon + 8, icon + 8};
}

void CBitmapButtonControl::Send(int32_t aCommand) {
  if (IsBlankCommand(aCommand)) return;
  if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(aCommand);
  else if (iParent) (void)iParent->DispatchCommand(aCommand);
}

void CBitmapButtonControl::SetPressed(bool aPressed) {
  // The empty command never looks pressed.
  const bool pressed = aPressed && !IsBlankCommand(iCommand);
  if (pressed == iPressed) return;
  iPressed = pressed;
  Invalidate();
  RequestRedraw();
}

void CBitmapButtonControl::TimerExpired() {
  if (!iHeld) return;
  int32_t delay;
  if (iSecond != 0 && iRepeats >= KRepeatsBeforeSecond) {
    Send(iSecond);
    delay = KSecondDelay;
  } else {
    Send(iCommand);
    delay = iRepeats < KSlowRepeats ? KSlowDelay : KFastDelay;
    if (iSecond != 0 && iRepeats + 1 >= KRepeatsBeforeSecond) delay = KSecondDelay;
  }
  ++iRepeats;
  // The command may have hidden or replaced the button's view; a released button stays quiet.
  if (iHeld) StartTimer(delay);
}

int32_t CBitmapButtonControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  switch (aKind) {
    case 0:
      if (!iRect.Contains(aX, aY)) return 1;
      iHeld = true;
      iRepeats = 0;
      SetPressed(true);
      StartTimer(KFirstDelay);
      Send(iCommand);
      return 0;
    case 1:
      if (!iHeld) return 1;
      SetPressed(iRect.Contains(aX, aY));
      return 0;
    default:
      if (!iHeld) return 1;
      iHeld = false;
      CancelTimer();
      SetPressed(false);
      return 0;
  }
}

void CBitmapButtonControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->SetPen(KOutline, 1, EPenSolid);
  bitmap->SetFillColour(iPressed ? KBackgroundPressed : KBackground);
  bitmap->DrawRect(iRect);
  bitmap->SetFillColour(KPwNoColour);
  bitmap->DrawIcon(iIcon ? layout->Icon(iIcon) : nullptr, iRect, iPressed);
}
