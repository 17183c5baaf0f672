// The building blocks of the live timer: the big-text line (a coloured band with large type and
// small labels), and the two timers made of such lines: the normal timer (one main line with
// the label and difference lines beneath, laid over the map) and the simple timer (the whole
// screen in lines: best or comparison, previous, current, difference).
//
// Both timers paint the session's readout, which they ask to recompute on every paint.
#pragma once

#include <cstdint>
#include <memory>

#include "app/gui/custom_control.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"

class CDeltaBarControl;
class CModel;
class CPwFont;
class CTimerHelper;

// One band of the timer: a background colour (0xRRGGBB; a non-zero top byte draws it translucent
// over what lies beneath), three texts in a large font sized to the band's height (left, centre,
// right-aligned) and three labels in a small font (top left, top right, bottom left). The pressed
// look scales the colour by 192/255.
class CBigTextControl : public CCustomControl {
 public:
  enum TText : int32_t { ELeft = 0, ECentre = 1, ERight = 2 };
  enum TLabel : int32_t { ETopLeft = 0, ETopRight = 1, EBottomLeft = 2 };

  CBigTextControl(CCustomControl* aParent, TPwColour aBackground);
  ~CBigTextControl() override;

  static TPwColour PressedColour(TPwColour aColour);

  void SetBackground(TPwColour aColour);
  TPwColour Background() const { return iBackground; }
  void SetPressed(bool aPressed);
  bool IsPressed() const { return iPressed; }
  // Each repaints only when the text changes.
  void SetText(int32_t aSlot, CPwStringC aText);
  void SetLabel(int32_t aSlot, CPwStringC aText);
  CPwStringC Text(int32_t aSlot) const { return iTexts[aSlot]; }
  CPwStringC Label(int32_t aSlot) const { return iLabels[aSlot]; }
  void ClearTexts();
  // Line height of the large font; 0 (the default) follows the band's height.
  void SetFontHeight(int32_t aHeight);
  // The large font as it is drawn (made on first use); null before the band has a height.
  CPwFont* LargeFont();
  // White unless set otherwise.
  void SetTextColour(TPwColour aColour);
  TPwColour TextColour() const { return iTextColour; }

  void Draw() override;

 protected:
  // Drawn over the background and beneath the texts.
  virtual void DrawBackdrop(CPwBitmap& aBitmap) { (void)aBitmap; }

 private:
  int32_t WantedLineHeight() const;
  // A font whose line is at most aLineHeight high; kept until another height is asked for.
  CPwFont* FontFor(int32_t aLineHeight, std::unique_ptr<CPwFont>& aFont, int32_t& aHeight);

  TPwColour iBackground;
  TPwColour iTextColour = 0xFFFFFF;
  bool iPressed = false;
  CPwString iTexts[3];
  CPwString iLabels[3];
  int32_t iFontHeight = 0;
  std::unique_ptr<CPwFont> iFont;
  int32_t iFontLine = 0;
  // A smaller face for texts too wide for the band.
  std::unique_ptr<CPwFont> iFitFont;
  int32_t iFitLine = 0;
};

// What both timers show, refreshed from the open session's readout. Without a session the
// timer waits and reports the recording as paused.
struct TTimerReadout {
  int32_t iStatus = 8;
  bool iShowLast = false;
  bool iEmphasis = false;
  int32_t iLastNumber = 0;
  PwTime iLastTime = PwTime::Unset();
  PwTime iDifference = PwTime::Unset();
  int32_t iRunningNumber = 0;
  PwTime iRunningTime = PwTime::Unset();
  int32_t iComparisonNumber = 0;
  PwTime iComparisonTime = PwTime::Unset();
  int32_t iShownNumber = 0;
  PwTime iShownTime = PwTime::Unset();
  int32_t iPreviousNumber = 0;
  PwTime iPreviousTime = PwTime::Unset();
  CPwString iText;
  CPwString iStatusText;  // the status message filled in
};

// Recomputes the open session's readout and copies it; keeps the backlight on while the readout
// asks for emphasis.
void RefreshTimerReadout(CModel& aModel, TTimerReadout& aReadout);

// Texts of the timers: durations rounded for results and truncated for running times, and the
// number labels ("Lap 3", or "Run 3" in performance sessions; empty for 0).
void FormatTimerResult(PwTime aTime, int32_t aDecimals, bool aSigned, CPwString& aText);
void FormatTimerRunning(PwTime aTime, int32_t aDecimals, CPwString& aText);
void FormatTimerNumber(const CModel& aModel, int32_t aNumber, CPwString& aText);

// The normal timer: from the top the main line (hidden in data-logging sessions), the label line
// where the trap-name and status lines overlap, and the difference line. It draws no background
// of its own: the label and difference lines lie translucently over the map.
class CNormalTimerControl : public CContainerControl {
 public:
  static constexpr TPwColour KMainColour = 0x0000C0;
  static constexpr TPwColour KTrapColour = 0x3F808080;
  static constexpr TPwColour KStatusColour = 0x3FFF0000;
  static constexpr TPwColour KBetterColour = 0x3F00FF00;
  static constexpr TPwColour KWorseColour = 0x3FFF0000;

  CNormalTimerControl(CCustomControl* aParent, CModel& aModel);
  ~CNormalTimerControl() override;

  // Height of the main line for the current rectangle (0 in data-logging sessions).
  int32_t MainLineHeight() const { return iMainHeight; }
  CBigTextControl& MainLine() const { return *iMain; }
  CBigTextControl& TrapNameLine() const { return *iTrapName; }
  CBigTextControl& StatusLine() const { return *iStatus; }
  CBigTextControl& DifferenceLine() const { return *iDifference; }
  // The live delta, in the label line while a lap is under way and nothing else is shown there.
  CDeltaBarControl& DeltaBar() const { return *iDeltaBar; }

  void SetRect(const TPwRect& aRect) override;
  // Refreshes the readout and puts it into the lines; only the lines that change repaint.
  void Refresh();
  void Draw() override;

 private:
  CModel* iModel;
  bool iDataLogging = false;
  int32_t iMainHeight = 0;
  int32_t iShownStatus = -1;
  CPwString iShownStatusText;
  CBigTextControl* iMain = nullptr;        // owned children
  CBigTextControl* iTrapName = nullptr;
  CBigTextControl* iStatus = nullptr;
  CDeltaBarControl* iDeltaBar = nullptr;
  CBigTextControl* iDifference = nullptr;
};

// The simple timer: the status or satellite line at the top, then the comparison ("Best" or
// "Comparison"), "Previous" and "Current" lines and the difference line. Portrait shows all four
// lines; landscape shows the comparison or the previous line in its top third (commands 4140 and
// 4141, or a tap on that line, swap them).
class CSimpleTimerControl : public CContainerControl {
 public:
  static constexpr TPwColour KStatusColour = 0xC00000;
  static constexpr TPwColour KNeutralColour = 0x606060;
  static constexpr TPwColour KRunningColour = 0x0000C0;
  static constexpr TPwColour KBetterColour = 0x00C000;
  static constexpr TPwColour KWorseColour = 0xC00000;
  static constexpr int32_t KSwapNext = 4140;
  static constexpr int32_t KSwapPrevious = 4141;
  // How the lines are laid out: by the rectangle's shape, or as set in the settings.
  enum TOrientation : int32_t { EByShape = 0, EPortrait = 1, ELandscape = 2 };

  CSimpleTimerControl(CCustomControl* aParent, CModel& aModel, int32_t aOrientation);
  ~CSimpleTimerControl() override;

  bool IsLandscape() const { return iLandscape; }
  // Landscape only: the top third shows the previous line instead of the comparison.
  bool ShowsPreviousOnTop() const { return iPreviousOnTop; }
  CBigTextControl& StatusLine() const { return *iStatus; }
  CBigTextControl& SatelliteLine() const { return *iSatellites; }
  CBigTextControl& ComparisonLine() const { return *iComparison; }
  CBigTextControl& PreviousLine() const { return *iPrevious; }
  CBigTextControl& CurrentLine() const { return *iCurrent; }
  CBigTextControl& DifferenceLine() const { return *iDifference; }
  // The live delta, in place of the difference line while a lap is under way.
  CDeltaBarControl& DeltaBar() const { return *iDeltaBar; }

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  // Refreshes the readout and puts it into the lines; only the lines that change repaint.
  void Refresh();
  void Draw() override;

 private:
  void SwapTopLine();
  CBigTextControl& TopLine() const { return iPreviousOnTop ? *iPrevious : *iComparison; }

  CModel* iModel;
  int32_t iOrientation;
  bool iLandscape = false;
  bool iPreviousOnTop = false;
  bool iTopPressed = false;
  int32_t iShownStatus = -1;
  CPwString iShownStatusText;
  int32_t iShownSatellites = -1;
  CBigTextControl* iStatus = nullptr;       // owned children
  CBigTextControl* iSatellites = nullptr;
  CBigTextControl* iComparison = nullptr;
  CBigTextControl* iPrevious = nullptr;
  CBigTextControl* iCurrent = nullptr;
  CBigTextControl* iDifference = nullptr;
  CDeltaBarControl* iDeltaBar = nullptr;
};
