// An on-screen button of the maps: an icon centred in its rectangle that sends its command
// when pressed and keeps sending it while held, faster the longer it is held. After 30
// repeats a button with a second command (a larger step) sends that one instead.
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"

class CBitmapButtonControl : public CCustomControl {
 public:
  // Repeat timing, milliseconds.
  static constexpr int32_t KFirstDelay = 500;
  static constexpr int32_t KSlowDelay = 150;
  static constexpr int32_t KSlowRepeats = 5;
  static constexpr int32_t KFastDelay = 50;
  static constexpr int32_t KRepeatsBeforeSecond = 30;
  static constexpr int32_t KSecondDelay = 250;

  // aIcon names an icon of the layout (a literal, may be null); aSecond is 0 or the empty
  // command for a button without a second command.
  CBitmapButtonControl(CCustomControl* aParent, int32_t aCommand, int32_t aSecond, const char* aIcon);
  ~CBitmapButtonControl() override;

  int32_t Command() const { return iCommand; }
  int32_t SecondCommand() const { return iSecond; }
  bool IsPressed() const { return iPressed; }
  bool IsHeld() const { return iHeld; }
  // Repeats sent since the pointer went down.
  int32_t RepeatCount() const { return iRepeats; }

  // The icon size of the screen plus a small border.
  TPwSize PreferredSize() override;
  void TimerExpired() override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  void Send(int32_t aCommand);
  void SetPressed(bool aPressed);

  int32_t iCommand;
  int32_t iSecond;
  const char* iIcon;
  bool iHeld = false;     // the pointer went down here and is not yet up
  bool iPressed = false;  // held and inside: drawn pressed
  int32_t iRepeats = 0;
};
