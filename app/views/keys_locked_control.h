// The keys-locked screen: covers the whole screen, swallows every key, and goes away only when
// the circle is dragged along the slider past its middle to the left.
#pragma once

#include <cstdint>

#include "app/gui/dialog_manager.h"

class CKeysLockedControl : public CDialogControl {
 public:
  static constexpr TPwColour KBackground = 0x303030;
  static constexpr TPwColour KSlider = 0xC0C0C0;
  static constexpr TPwColour KKnob = 0xFFFFFF;
  static constexpr TPwColour KKnobDragged = 0xC0C0C0;
  static constexpr int32_t KTimerMs = 3000;
  static constexpr int32_t KMargin = 8;

  CKeysLockedControl();
  ~CKeysLockedControl() override;

  const TPwRect& TextRect() const { return iTextRect; }
  const TPwRect& Slider() const { return iSlider; }
  // The knob's square: its offset from the slider's left end is KnobPosition().
  TPwRect Knob() const;
  int32_t KnobPosition() const { return iKnob; }
  int32_t KnobMaximum() const { return iSlider.Width() - KnobSize(); }
  int32_t KnobSize() const { return iSlider.Height(); }
  bool IsDragging() const { return iDragging; }

  void TimerExpired() override;
  void Draw() override;

 protected:
  void LayoutBox(const TPwRect& aArea) override;
  int32_t HandleDialogCommand(int32_t aCommand) override;
  int32_t HandleDialogKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandleDialogPointer(int32_t aKind, int32_t aX, int32_t aY) override;

 private:
  void SetKnob(int32_t aPosition);

  TPwRect iTextRect;
  TPwRect iSlider;
  int32_t iKnob = 0;
  bool iDragging = false;
  bool iPointerDown = false;
  int32_t iDragStartX = 0;
  int32_t iDragStartKnob = 0;
};
