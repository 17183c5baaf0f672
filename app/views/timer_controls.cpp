#include "app/views/timer_controls.h"

#include <algorithm>

#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "app/views/delta_bar_control.h"
#include "acquisition/channel_state.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/lap_delta.h"
#include "timing/lap_list.h"
#include "timing/performance_run.h"
#include "timing/timer_helper.h"
#include "timing/track_session.h"

namespace {

// DejaVu's line is about 1.17 em: the em size that gives a line of a wanted height.
constexpr int32_t KLinePerEm = 117;

int32_t Margin(const TPwRect& aRect) { return std::max(2, aRect.Height() / 12); }

// A window too small for the panes leaves a view rectangle turned inside out: lay out in none.
TPwRect NonNegative(const TPwRect& aRect) {
  return TPwRect{aRect.iLeft, aRect.iTop, std::max(aRect.iLeft, aRect.iRight), std::max(aRect.iTop, aRect.iBottom)};
}

}  // namespace

// --- CBigTextControl ------------------------------------------------------------------------------

CBigTextControl::CBigTextControl(CCustomControl* aParent, TPwColour aBackground)
    : CCustomControl(aParent), iBackground(aBackground) {}

CBigTextControl::~CBigTextControl() = default;

TPwColour CBigTextControl::PressedColour(TPwColour aColour) {
  const uint32_t r = ((aColour >> 16) & 0xFF) * 192 / 255;
  const uint32_t g = ((aColour >> 8) & 0xFF) * 192 / 255;
  const uint32_t b = (aColour & 0xFF) * 192 / 255;
  return (aColour & 0xFF000000u) | (r << 16) | (g << 8) | b;
}

void CBigTextControl::SetBackground(TPwColour aColour) {
  if (aColour == iBackground) return;
  iBackground = aColour;
  Invalidate();
}

void CBigTextControl::SetTextColour(TPwColour aColour) {
  if (aColour == iTextColour) return;
  iTextColour = aColour;
  Invalidate();
}

void CBigTextControl::SetPressed(bool aPressed) {
  if (aPressed == iPressed) return;
  iPressed = aPressed;
  Invalidate();
}

void CBigTextControl::SetText(int32_t aSlot, CPwStringC aText) {
  if (aSlot < 0 || aSlot > 2 || iTexts[aSlot] == aText) return;
  iTexts[aSlot].Copy(aText);
  Invalidate();
}

void CBigTextControl::SetLabel(int32_t aSlot, CPwStringC aText) {
  if (aSlot < 0 || aSlot > 2 || iLabels[aSlot] == aText) return;
  iLabels[aSlot].Copy(aText);
  Invalidate();
}

void CBigTextControl::ClearTexts() {
  for (int32_t i = 0; i < 3; ++i) {
    SetText(i, CPwStringC());
    SetLabel(i, CPwStringC());
  }
}

void CBigTextControl::SetFontHeight(int32_t aHeight) {
  if (aHeight == iFontHeight) return;
  iFontHeight = aHeight;
  Invalidate();
}


int32_t CBigTextControl::WantedLineHeight() const {
  const int32_t height = iFontHeight > 0 ? std::min(iFontHeight, iRect.Height()) : iRect.Height();
  return std::max(0, height);
}

CPwFont* CBigTextControl::FontFor(int32_t aLineHeight, std::unique_ptr<CPwFont>& aFont, int32_t& aHeight) {
  if (aLineHeight < 4) return nullptr;
  if (!aFont || aHeight != aLineHeight) {
    aFont.reset();
    aFont.reset(CPwFont::NewL(EPwFontBold, std::max(1, aLineHeight * 100 / KLinePerEm)));
    aHeight = aLineHeight;
  }
  return aFont.get();
}

CPwFont* CBigTextControl::LargeFont() { return FontFor(WantedLineHeight(), iFont, iFontLine); }

void CBigTextControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout || iRect.IsEmpty()) return;
  bitmap->FillRect(iRect, iPressed ? PressedColour(iBackground) : iBackground);
  DrawBackdrop(*bitmap);

  const int32_t margin = Margin(iRect);
  const TPwRect inner{iRect.iLeft + margin, iRect.iTop, iRect.iRight - margin, iRect.iBottom};
  CPwFont* font = LargeFont();
  if (font) {
    // Texts wider than the band (a narrow window, long hours) get a smaller face, never clipping.
    int32_t width = 0;
    for (const CPwString& text : iTexts)
      if (!text.IsEmpty()) width += font->TextWidth(text) + font->Height() / 3;
    if (width > inner.Width() && inner.Width() > 0) {
      const int32_t line = static_cast<int32_t>(static_cast<int64_t>(iFontLine) * inner.Width() / width);
      CPwFont* smaller = FontFor(line, iFitFont, iFitLine);
      font = smaller;
    }
  }
  if (font) {
    bitmap->DrawText(iTexts[ELeft], *font, inner, EAlignLeft, iTextColour);
    bitmap->DrawText(iTexts[ECentre], *font, inner, EAlignCentre, iTextColour);
    bitmap->DrawText(iTexts[ERight], *font, inner, EAlignRight, iTextColour);
  }
  CPwFont& small = layout->Font(CLayout::EFontTiny);
  const int32_t line = small.Height();
  if (line > iRect.Height()) return;
  const TPwRect top{inner.iLeft, iRect.iTop + 1, inner.iRight, iRect.iTop + 1 + line};
  const TPwRect bottom{inner.iLeft, iRect.iBottom - line - 1, inner.iRight, iRect.iBottom - 1};
  bitmap->DrawText(iLabels[ETopLeft], small, top, EAlignLeft, iTextColour);
  bitmap->DrawText(iLabels[ETopRight], small, top, EAlignRight, iTextColour);
  bitmap->DrawText(iLabels[EBottomLeft], small, bottom, EAlignLeft, iTextColour);
}

// --- The readout -----------------------------------------------------------------------------------

void RefreshTimerReadout(CModel& aModel, TTimerReadout& aReadout) {
  aReadout = TTimerReadout();
  CTrackSession* session = aModel.TrackSession();
  if (!session) {
    aReadout.iStatusText.LoadFromResource(CTimerHelper::StatusMessage(aReadout.iStatus));
    return;
  }
  CTimerHelper& timer = session->Timer();
  timer.Update();
  aReadout.iStatus = timer.Status();
  aReadout.iShowLast = timer.ShowLast();
  aReadout.iEmphasis = timer.Emphasis();
  aReadout.iLastNumber = timer.LastNumber();
  aReadout.iLastTime = timer.LastTime();
  aReadout.iDifference = timer.Difference();
  aReadout.iRunningNumber = timer.RunningNumber();
  aReadout.iRunningTime = timer.RunningTime();
  aReadout.iComparisonNumber = timer.ComparisonNumber();
  aReadout.iComparisonTime = timer.ComparisonTime();
  aReadout.iShownNumber = timer.ShownNumber();
  aReadout.iShownTime = timer.ShownTime();
  aReadout.iPreviousNumber = timer.PreviousNumber();
  aReadout.iPreviousTime = timer.PreviousTime();
  aReadout.iText.Copy(timer.Text());
  timer.StatusText(aReadout.iStatusText);
  aModel.KeepBacklightOn(aReadout.iEmphasis);
}

void FormatTimerResult(PwTime aTime, int32_t aDecimals, bool aSigned, CPwString& aText) {
  aText.Reset();
  if (aTime.IsSet()) aTime.FormatDuration(aText, aDecimals, aSigned, true);
}

void FormatTimerRunning(PwTime aTime, int32_t aDecimals, CPwString& aText) {
  aText.Reset();
  if (aTime.IsSet()) aTime.FormatDuration(aText, aDecimals, false, false);
}

void FormatTimerNumber(const CModel& aModel, int32_t aNumber, CPwString& aText) {
  aText.Reset();
  if (aNumber <= 0) return;
  const CTrackSession* session = aModel.TrackSession();
  const bool runs = session && session->IsPerformanceTesting();
  aText.FormatN(runs ? R_TIMER_RUN_NUMBER : R_TIMER_LAP_NUMBER, aNumber);
}

// --- CNormalTimerControl -----------------------------------------------------------------------------

CNormalTimerControl::CNormalTimerControl(CCustomControl* aParent, CModel& aModel)
    : CContainerControl(aParent), iModel(&aModel) {
  const CTrackSession* session = aModel.TrackSession();
  iDataLogging = session && session->IsDataLogging();
  // Child order is drawing order: the status line lies over the trap-name line.
  iMain = new CBigTextControl(this, KMainColour);
  iTrapName = new CBigTextControl(this, KTrapColour);
  iStatus = new CBigTextControl(this, KStatusColour);
  iDeltaBar = new CDeltaBarControl(this, KTrapColour);
  iDifference = new CBigTextControl(this, KWorseColour);
  for (CBigTextControl* line : {iMain, iTrapName, iStatus, static_cast<CBigTextControl*>(iDeltaBar), iDifference})
    AddChildL(line);
  iTrapName->SetVisible(false);
  iStatus->SetVisible(false);
  iDeltaBar->SetVisible(false);
  iDifference->SetVisible(false);
  if (iDataLogging) iMain->SetVisible(false);
}

CNormalTimerControl::~CNormalTimerControl() {
  for (CBigTextControl* line : {iMain, iTrapName, iStatus, static_cast<CBigTextControl*>(iDeltaBar), iDifference})
    DeleteChild(line);
}

void CNormalTimerControl::SetRect(const TPwRect& aGiven) {
  CCustomControl::SetRect(aGiven);
  const TPwRect aRect = NonNegative(aGiven);
  const int32_t block = std::min(aRect.Width() * 54 / 100, aRect.Height() * 63 / 100);
  int32_t main = block * 333 / 1000;
  const int32_t difference = block / 2;
  const int32_t label = block - difference - main;
  if (iDataLogging) main = 0;
  iMainHeight = main;
  int32_t y = aRect.iTop;
  iMain->SetRect(TPwRect{aRect.iLeft, y, aRect.iRight, y + main});
  y += main;
  const TPwRect labelRect{aRect.iLeft, y, aRect.iRight, y + label};
  iTrapName->SetRect(labelRect);
  iStatus->SetRect(labelRect);
  iDeltaBar->SetRect(labelRect);
  y += label;
  iDifference->SetRect(TPwRect{aRect.iLeft, y, aRect.iRight, y + difference});
}

void CNormalTimerControl::Draw() { Refresh(); }

void CNormalTimerControl::Refresh() {
  TTimerReadout readout;
  RefreshTimerReadout(*iModel, readout);
  const int32_t decimals = iModel->Settings().TimerDecimals();

  // The rate and HDOP messages change their figure under one code.
  if (readout.iStatus != iShownStatus || !readout.iStatusText.Equals(iShownStatusText)) {
    iShownStatus = readout.iStatus;
    iShownStatusText.Copy(readout.iStatusText);
    iStatus->SetText(CBigTextControl::ECentre, readout.iStatusText);
  }
  iStatus->SetVisible(readout.iStatus != 0);

  CPwString text, label;
  if (!readout.iRunningTime.IsSet() && !readout.iLastTime.IsSet()) {
    text.LoadFromResource(R_TIMER_WAITING);
    iMain->ClearTexts();
    iMain->SetText(CBigTextControl::ECentre, text);
    iTrapName->SetVisible(false);
    iDeltaBar->SetVisible(false);
    iDifference->SetVisible(false);
    return;
  }
  iMain->SetText(CBigTextControl::ECentre, CPwStringC());
  if ((readout.iShowLast && readout.iLastTime.IsSet()) || !readout.iRunningTime.IsSet()) {
    FormatTimerResult(readout.iLastTime, decimals, false, text);
    FormatTimerNumber(*iModel, readout.iLastNumber, label);
  } else {
    FormatTimerRunning(readout.iRunningTime, 0, text);
    FormatTimerNumber(*iModel, readout.iRunningNumber, label);
  }
  iMain->SetText(CBigTextControl::ERight, text);
  iMain->SetLabel(CBigTextControl::ETopLeft, label);

  iTrapName->SetText(CBigTextControl::ECentre, readout.iText);
  iTrapName->SetVisible(!iStatus->IsVisible() && readout.iShowLast && !readout.iText.IsEmpty());

  const TDeltaReading* delta = ShownLiveDelta(*iModel);
  const bool bar = delta && !iStatus->IsVisible() && !readout.iShowLast && readout.iRunningTime.IsSet();
  if (bar) iDeltaBar->SetReading(delta->iDelta, delta->iPredicted, delta->iStale, decimals);
  iDeltaBar->SetVisible(bar);

  const bool difference = readout.iShowLast && readout.iDifference.IsSet();
  if (difference) {
    FormatTimerResult(readout.iDifference, decimals, true, text);
    iDifference->SetText(CBigTextControl::ERight, text);
    iDifference->SetBackground(readout.iDifference.Milliseconds() < 0 ? KBetterColour : KWorseColour);
  }
  iDifference->SetVisible(difference);
}

// --- CSimpleTimerControl -----------------------------------------------------------------------------

CSimpleTimerControl::CSimpleTimerControl(CCustomControl* aParent, CModel& aModel, int32_t aOrientation)
    : CContainerControl(aParent), iModel(&aModel), iOrientation(aOrientation) {
  iStatus = new CBigTextControl(this, KStatusColour);
  iSatellites = new CBigTextControl(this, KNeutralColour);
  iComparison = new CBigTextControl(this, KRunningColour);
  iPrevious = new CBigTextControl(this, KRunningColour);
  iCurrent = new CBigTextControl(this, KRunningColour);
  iDifference = new CBigTextControl(this, KRunningColour);
  iDeltaBar = new CDeltaBarControl(this, KRunningColour);
  for (CBigTextControl* line : {iStatus, iSatellites, iComparison, iPrevious, iCurrent, iDifference,
                                static_cast<CBigTextControl*>(iDeltaBar)})
    AddChildL(line);
  iStatus->SetVisible(false);
  iDeltaBar->SetVisible(false);

  // "Best" when the comparison is this session's own best lap or run.
  bool best = true;
  if (const CTrackSession* session = aModel.TrackSession()) {
    if (session->IsPerformanceTesting())
      best = !session->Runs().ComparisonList() && session->Runs().ComparisonSelection() < 0;
    else
      best = !session->Laps().ComparisonList() && session->Laps().ComparisonSelection() == CLapList::KCompareBest;
  }
  CPwString text;
  text.LoadFromResource(best ? R_TIMER_BEST : R_TIMER_COMPARISON);
  iComparison->SetLabel(CBigTextControl::ETopLeft, text);
  text.LoadFromResource(R_TIMER_PREVIOUS);
  iPrevious->SetLabel(CBigTextControl::ETopLeft, text);
  text.LoadFromResource(R_TIMER_CURRENT);
  iCurrent->SetLabel(CBigTextControl::ETopLeft, text);
}

CSimpleTimerControl::~CSimpleTimerControl() {
  for (CBigTextControl* line : {iStatus, iSatellites, iComparison, iPrevious, iCurrent, iDifference,
                                static_cast<CBigTextControl*>(iDeltaBar)})
    DeleteChild(line);
}

void CSimpleTimerControl::SetRect(const TPwRect& aGiven) {
  CCustomControl::SetRect(aGiven);
  const TPwRect aRect = NonNegative(aGiven);
  const int32_t w = aRect.Width(), h = aRect.Height();
  iLandscape = iOrientation == ELandscape || (iOrientation == EByShape && h < w);
  const int32_t top = std::max(0, std::min(std::min(w * 9 / 100 + 1, h * 105 / 1000 + 1), h));
  const TPwRect topRect{aRect.iLeft, aRect.iTop, aRect.iRight, aRect.iTop + top};
  iStatus->SetRect(topRect);
  iSatellites->SetRect(topRect);
  const int32_t rest = h - top;
  int32_t y = topRect.iBottom;
  auto place = [&](CBigTextControl& aLine, int32_t aHeight) {
    aLine.SetRect(TPwRect{aRect.iLeft, y, aRect.iRight, y + aHeight});
    y += aHeight;
  };
  if (iLandscape) {
    const int32_t third = rest / 3;
    const int32_t topY = y;
    place(*iComparison, third);
    y = topY;
    place(*iPrevious, third);
    place(*iCurrent, third);
    place(*iDifference, aRect.iBottom - y);
    for (CBigTextControl* line : {iComparison, iPrevious, iCurrent, iDifference}) line->SetFontHeight(0);
    iDeltaBar->SetFontHeight(0);
    iComparison->SetVisible(!iPreviousOnTop);
    iPrevious->SetVisible(iPreviousOnTop);
  } else {
    const int32_t line = rest * 25 / 100;
    place(*iComparison, line);
    place(*iPrevious, line);
    place(*iCurrent, line);
    place(*iDifference, aRect.iBottom - y);
    for (CBigTextControl* l : {iComparison, iPrevious, iCurrent, iDifference}) l->SetFontHeight(rest * 22 / 100);
    iDeltaBar->SetFontHeight(rest * 22 / 100);
    iComparison->SetVisible(true);
    iPrevious->SetVisible(true);
  }
  iDeltaBar->SetRect(iDifference->Rect());
}

void CSimpleTimerControl::SwapTopLine() {
  if (!iLandscape) return;
  iPreviousOnTop = !iPreviousOnTop;
  iComparison->SetVisible(!iPreviousOnTop);
  iPrevious->SetVisible(iPreviousOnTop);
  RequestRedraw();
}

int32_t CSimpleTimerControl::HandleCommand(int32_t aCommand) {
  if (aCommand != KSwapNext && aCommand != KSwapPrevious) return 1;
  SwapTopLine();
  return 0;
}

int32_t CSimpleTimerControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (!iLandscape) return 1;
  const bool inside = TopLine().Rect().Contains(aX, aY);
  switch (aKind) {
    case 0:
      if (!inside) return 1;
      iTopPressed = true;
      TopLine().SetPressed(true);
      return 0;
    case 1:
      if (!iTopPressed) return 1;
      TopLine().SetPressed(inside);
      return 0;
    default:
      if (!iTopPressed) return 1;
      iTopPressed = false;
      TopLine().SetPressed(false);
      if (inside) SwapTopLine();
      return 0;
  }
}

void CSimpleTimerControl::Draw() { Refresh(); }

void CSimpleTimerControl::Refresh() {
  TTimerReadout readout;
  RefreshTimerReadout(*iModel, readout);
  const int32_t decimals = iModel->Settings().TimerDecimals();
  CPwString text, label;

  if (readout.iStatus != iShownStatus || !readout.iStatusText.Equals(iShownStatusText)) {
    iShownStatus = readout.iStatus;
    iShownStatusText.Copy(readout.iStatusText);
    iStatus->SetText(CBigTextControl::ECentre, readout.iStatusText);
  }
  iStatus->SetVisible(readout.iStatus != 0);
  iSatellites->SetVisible(readout.iStatus == 0);
  const int32_t satellites = iModel->ChannelState().SatellitesUsed();
  if (satellites != iShownSatellites) {
    iShownSatellites = satellites;
    text.FormatN(R_TIMER_SATELLITES, satellites);
    iSatellites->SetText(CBigTextControl::ECentre, text);
  }

  FormatTimerResult(readout.iComparisonTime.IsSet() ? readout.iComparisonTime : PwTime(0), decimals, false, text);
  FormatTimerNumber(*iModel, readout.iComparisonNumber, label);
  iComparison->SetText(CBigTextControl::ERight, text);
  iComparison->SetLabel(CBigTextControl::ETopRight, label);

  if (readout.iShowLast) {
    FormatTimerResult(readout.iPreviousTime, decimals, false, text);
    FormatTimerNumber(*iModel, readout.iPreviousNumber, label);
    iPrevious->SetText(CBigTextControl::ERight, text);
    iPrevious->SetLabel(CBigTextControl::ETopRight, label);
    FormatTimerResult(readout.iLastTime, decimals, false, text);
    FormatTimerNumber(*iModel, readout.iLastNumber, label);
    iCurrent->SetText(CBigTextControl::ECentre, CPwStringC());
    iCurrent->SetText(CBigTextControl::ERight, text);
    iCurrent->SetLabel(CBigTextControl::ETopRight, label);
    TPwColour colour = KNeutralColour;
    if (readout.iDifference.IsSet()) {
      FormatTimerResult(readout.iDifference, decimals, readout.iDifference.Milliseconds() != 0, text);
      if (readout.iDifference.Milliseconds() < 0) colour = KBetterColour;
      else if (readout.iDifference.Milliseconds() > 0) colour = KWorseColour;
    } else {
      FormatTimerResult(PwTime(0), decimals, false, text);
    }
    iDifference->SetText(CBigTextControl::ERight, text);
    iDifference->SetLabel(CBigTextControl::ETopLeft, readout.iText);
    iCurrent->SetBackground(colour);
    iDifference->SetBackground(colour);
  } else {
    FormatTimerResult(readout.iShownTime, decimals, false, text);
    FormatTimerNumber(*iModel, readout.iShownNumber, label);
    iPrevious->SetText(CBigTextControl::ERight, text);
    iPrevious->SetLabel(CBigTextControl::ETopRight, label);
    FormatTimerRunning(readout.iRunningTime, decimals, text);
    FormatTimerNumber(*iModel, readout.iRunningNumber, label);
    iCurrent->SetText(CBigTextControl::ERight, text);
    iCurrent->SetLabel(CBigTextControl::ETopRight, label);
    // Nothing running and nothing to show yet.
    if (!readout.iRunningTime.IsSet() && !readout.iLastTime.IsSet()) text.LoadFromResource(R_TIMER_WAITING);
    else text.Reset();
    iCurrent->SetText(CBigTextControl::ECentre, text);
    iDifference->ClearTexts();
    iCurrent->SetBackground(KRunningColour);
    iDifference->SetBackground(KRunningColour);
  }
  // While a lap runs the live delta takes the difference line's place; the line itself is
  // empty then, so it steps aside rather than repaint beneath the bar.
  const TDeltaReading* delta = ShownLiveDelta(*iModel);
  const bool bar = delta && !readout.iShowLast && readout.iRunningTime.IsSet();
  if (bar) iDeltaBar->SetReading(delta->iDelta, delta->iPredicted, delta->iStale, decimals);
  iDeltaBar->SetVisible(bar);
  iDifference->SetVisible(!bar);
  iComparison->SetBackground(KRunningColour);
  iPrevious->SetBackground(KRunningColour);
}
