#include "app/views/lap_view.h"

#include <algorithm>

#include "app/dialogs/dialogs.h"
#include "app/draw/pw_font.h"
#include "app/gui/commands.h"
#include "app/gui/gui.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "app/views/analyze_view.h"
#include "app/views/exporter_editor_view.h"
#include "app/views/lap_list_controls.h"
#include "app/views/lap_notes.h"
#include "app/views/select_comparison.h"
#include "app/views/settings_editor_view.h"
#include "app/views/view_access.h"
#include "exchange/export_formats.h"
#include "foundation/string_provider.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/lap.h"
#include "timing/lap_list.h"
#include "timing/track_session.h"

namespace {

constexpr int32_t KBackground = 0x000000;
constexpr TPwColour KNoteHeading = 0xC0D0E0;
constexpr TPwColour KNoteText = 0xFFFFFF;
constexpr TPwColour KNoteEmpty = 0x808080;
constexpr int32_t KNotePadding = 6;

constexpr uint16_t KModeTitles[CLapControl::KModeCount] = {R_LV_TITLE_SECTORS, R_LV_TITLE_SPLITS,
                                                           R_LV_TITLE_TRAP_SPEEDS, R_LV_TITLE_HILO,
                                                           R_LV_TITLE_INFORMATION};
constexpr uint16_t KModeLabels[CLapControl::KModeCount] = {R_LV_MODE_SECTORS, R_LV_MODE_SPLITS,
                                                           R_LV_MODE_TRAP_SPEEDS, R_LV_MODE_HILO,
                                                           R_LV_MODE_INFORMATION};
constexpr uint16_t KComparisonLabels[4] = {R_LV_COMPARE_SELECTED, R_LV_COMPARE_BEST, R_LV_COMPARE_OPTIMAL,
                                           R_LV_COMPARE_OTHER};

// A font of the GUI's text size at the settings' scale.
CPwFont* ScaledFontL(CLayout& aLayout, int32_t aIndex, int32_t aPercent, TPwFontFace aFace) {
  return CPwFont::NewL(aFace, std::max(4, aLayout.FontPixelSize(aIndex) * aPercent / 100));
}

}  // namespace

// --- CLapMapControl ------------------------------------------------------------------------------------

CLapMapControl::CLapMapControl(CCustomControl* aParent, CModel& aModel) : CCustomControl(aParent), iModel(&aModel) {}

CLapMapControl::~CLapMapControl() = default;

void CLapMapControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  if (!bitmap) return;
  bitmap->FillRect(iRect, KBackground);
  CTrackSession* session = iModel->TrackSession();
  if (!session || !iLabelFont || !iNameFont) return;
  CLapList& laps = session->Laps();
  const CSettings& settings = iModel->Settings();
  TLapMapInput input;
  input.iLap = laps.ViewedLap();
  if (!input.iLap) return;
  input.iComparison = laps.ComparisonLap();
  input.iTraps = session->Track().Traps();
  input.iTrackName = session->Track().Name();
  input.iTrackCentre = session->Track().Centre();
  input.iMode = static_cast<TLapMapMode>(std::clamp(iMode, 0, 3));
  input.iSelected = iMode == ELapMapHighLow ? laps.HighLowCursor() : laps.SelectedKey();
  input.iDecimals = settings.TimerDecimals();
  input.iEnglishUnits = settings.Units() == CStringProvider::KUnitsEnglish;
  input.iSpeedUnit = iModel->Strings().UnitText(EQuantitySpeed);
  input.iLimits.iBraking = TMapColourLimits::LimitOfChoice(settings.BrakingLimit());
  input.iLimits.iAcceleration = TMapColourLimits::LimitOfChoice(settings.AccelerationLimit());
  iDrawer.SetViewRect(iRect);
  iDrawer.DrawLapMap(*bitmap, *iLabelFont, *iNameFont, input);
}

// --- CNoteControl --------------------------------------------------------------------------------------

CNoteControl::CNoteControl(CCustomControl* aParent, CModel& aModel) : CCustomControl(aParent), iModel(&aModel) {}

CNoteControl::~CNoteControl() = default;

void CNoteControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  if (!bitmap) return;
  bitmap->FillRect(iRect, KBackground);
  CTrackSession* session = iModel->TrackSession();
  if (!session || !iTextFont || !iHeadingFont) return;
  CLapList& laps = session->Laps();
  const TPwRect inner = iRect.Shrunk(KNotePadding);
  int32_t y = inner.iTop;
  CPwString heading, text;
  auto section = [&](CPwStringC aHeading, CPwStringC aText, uint16_t aEmpty, int32_t aBottom) {
    bitmap->DrawText(aHeading, *iHeadingFont, TPwRect{inner.iLeft, y, inner.iRight, y + iHeadingFont->Height()},
                     EAlignLeft, KNoteHeading);
    y += iHeadingFont->Height();
    CPwString empty;
    if (aText.IsEmpty()) empty.LoadFromResource(aEmpty);
    y += bitmap->DrawTextWrapped(aText.IsEmpty() ? CPwStringC(empty) : aText, *iTextFont,
                                 TPwRect{inner.iLeft, y, inner.iRight, aBottom}, EAlignLeft,
                                 aText.IsEmpty() ? KNoteEmpty : KNoteText);
    y += KNotePadding;
  };
  // The lap's note takes at most the upper half, so the session notes always show.
  const int32_t half = inner.iTop + inner.Height() / 2;
  const int32_t viewed = laps.ViewedIndex();
  const CLap* lap = laps.ViewedLap();
  if (lap) {
    if (viewed == CLapList::KOptimalLap) heading.LoadFromResource(R_LV_OPTIMAL_NOTES_HEADING);
    else heading.FormatN(R_LV_LAP_NOTES_HEADING, viewed + 1);
    if (const CSessionNote* note = LapNote(*session, *lap)) text.Copy(note->Text());
    if (lap->IsInvalid()) {
      CPwString mark;
      mark.LoadFromResource(R_LV_INVALID_LAP);
      if (!text.IsEmpty()) mark.Append(u"\n");
      text.Insert(0, mark);
    }
    section(heading, text, R_LV_NO_LAP_NOTE, half);
  }
  heading.LoadFromResource(R_LV_SESSION_NOTES);
  section(heading, session->Info().Notes(), R_LV_NO_SESSION_NOTE, inner.iBottom);
}

// --- CLapControl ---------------------------------------------------------------------------------------

CLapControl::CLapControl(CCustomControl* aParent, CModel& aModel) : CContainerControl(aParent), iModel(&aModel) {
  iMap = new CLapMapControl(this, aModel);
  AddChildL(iMap);
  iNotes = new CNoteControl(this, aModel);
  AddChildL(iNotes);
  iTables[0] = new CLapListSectorControl(this, aModel);
  iTables[1] = new CLapListSplitControl(this, aModel);
  iTables[2] = new CLapListTrapSpeedControl(this, aModel);
  iTables[3] = new CLapListHiLoSpeedControl(this, aModel);
  iTables[4] = new CLapListNoteControl(this, aModel);
  for (CLapListControl* table : iTables) AddChildL(table);
  Rebuild();
}

CLapControl::~CLapControl() {
  for (CLapListControl*& table : iTables) {
    DeleteChild(table);
    table = nullptr;
  }
  DeleteChild(iNotes);
  DeleteChild(iMap);
}

int32_t CLapControl::DisplayMode() const { return std::clamp(iModel->Settings().LapListMode(), 0, KModeCount - 1); }

void CLapControl::SetDisplayMode(int32_t aMode) {
  iModel->Settings().SetLapListMode(std::clamp(aMode, 0, KModeCount - 1));
  Table().Rebuild();
  LayoutChildren();
}

bool CLapControl::OpenDetails() {
  if (Table().RowCount() == 0) return false;
  iDetails = true;
  LayoutChildren();
  return true;
}

void CLapControl::CloseDetails() {
  iDetails = false;
  LayoutChildren();
}

void CLapControl::Rebuild() {
  for (CLapListControl* table : iTables) table->Rebuild();
  // Details of nothing close themselves.
  if (iDetails && Table().RowCount() == 0) iDetails = false;
  LayoutChildren();
}

void CLapControl::StepFontScale(int32_t aStep) {
  CSettings& settings = iModel->Settings();
  settings.SetFontScale(std::clamp(settings.FontScale() + aStep, KMinFontScale, KMaxFontScale));
  MakeFonts();
  LayoutChildren();
}

void CLapControl::MakeFonts() {
  CLayout* layout = Layout();
  if (!layout) return;
  const int32_t scale = std::clamp(iModel->Settings().FontScale(), KMinFontScale, KMaxFontScale);
  if (scale == iFontScale && iTableFont) return;
  iTableFont.reset(ScaledFontL(*layout, CLayout::EFontText, scale, EPwFontSans));
  iLabelFont.reset(ScaledFontL(*layout, CLayout::EFontTiny, scale, EPwFontSans));
  iHeadingFont.reset(ScaledFontL(*layout, CLayout::EFontHeading, scale, EPwFontBold));
  iFontScale = scale;
  for (CLapListControl* table : iTables) table->SetFont(iTableFont.get());
  iMap->SetFonts(iLabelFont.get(), iHeadingFont.get());
  iNotes->SetFonts(iTableFont.get(), iHeadingFont.get());
}

void CLapControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  MakeFonts();
  LayoutChildren();
}

void CLapControl::LayoutChildren() {
  const int32_t mode = DisplayMode();
  for (int32_t m = 0; m < KModeCount; ++m) iTables[m]->SetVisible(m == mode);
  CLapListControl& table = Table();
  iMap->SetMode(mode);
  if (!iDetails) {
    iMap->SetVisible(false);
    iNotes->SetVisible(false);
    table.SetRect(iRect);
  } else {
    // The table keeps its header and the selected lap at the bottom.
    table.SetRect(iRect);
    const int32_t height = std::min(iRect.Height(), table.TwoRowHeight());
    const TPwRect above{iRect.iLeft, iRect.iTop, iRect.iRight, iRect.iBottom - height};
    table.SetRect(TPwRect{iRect.iLeft, iRect.iBottom - height, iRect.iRight, iRect.iBottom});
    iMap->SetVisible(mode != 4);
    iNotes->SetVisible(mode == 4);
    if (mode == 4) iNotes->SetRect(above);
    else iMap->SetRect(above);
  }
  Invalidate();
  RequestRedraw();
}

void CLapControl::ChildChanged(CCustomControl* aControl) {
  // Another lap or sector selected: the details show it.
  if (iDetails) {
    iMap->Invalidate();
    iNotes->Invalidate();
  }
  CContainerControl::ChildChanged(aControl);
}

void CLapControl::Draw() {
  if (CPwBitmap* bitmap = Bitmap()) bitmap->FillRect(iRect, KBackground);
}

// --- CLapView ------------------------------------------------------------------------------------------

CLapView::CLapView(CModel& aModel) : iModel(&aModel) {}

CLapView::~CLapView() {
  iComparison.reset();
  delete iControl;
  iControl = nullptr;
}

CCustomControl* CLapView::ContentControl() { return iControl; }

void CLapView::Activate() {
  delete iControl;
  iControl = nullptr;
  iGraphRequest = -1;
  if (!iModel->TrackSession()) return;
  iControl = new CLapControl(this, *iModel);
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return;
  if (!iToolbar) {
    iToolbar.reset(new CToolbar);
    iToolbar->SetBackL(pwcmd::KBack, R_SK_BACK);
    iToolbar->AddItemL(pwcmd::KOpen, R_SK_OPEN, 0, 0, 13);
    iToolbar->AddItemL(pwcmd::KLapOpenDetails, R_LV_OPEN_DETAILS);
    iToolbar->AddItemL(pwcmd::KLapOpenGraph, R_LV_OPEN_GRAPH);
    iToolbar->AddItemL(pwcmd::KLapSectorGraph, R_LV_SECTOR_GRAPH);
    iToolbar->AddItemL(pwcmd::KLapEditNotes, R_LV_EDIT_LAP_NOTES);
    iToolbar->AddItemL(pwcmd::KLapEditSessionNotes, R_LV_EDIT_SESSION_NOTES);
    CToolbarItem& modes = iToolbar->AddItemL(pwcmd::KLapDisplayMode, R_LV_DISPLAY_MODE, 0, 0, '#');
    for (int32_t mode = 0; mode < CLapControl::KModeCount; ++mode)
      modes.AddSubItemL(pwcmd::KLapModeSectors + mode, KModeLabels[mode]);
    CToolbarItem& comparison = iToolbar->AddItemL(pwcmd::KLapComparisonMenu, R_LV_COMPARISON);
    for (int32_t k = 0; k < 4; ++k) comparison.AddSubItemL(pwcmd::KLapCompareSelected + k, KComparisonLabels[k]);
    iToolbar->AddItemL(pwcmd::KLapAbsoluteMode, R_LV_ABSOLUTE, pwcmd::KLapDifferenceMode, R_LV_DIFFERENCE, '*');
    iToolbar->AddItemL(pwcmd::KLapMarkInvalid, R_LV_MARK_INVALID, pwcmd::KLapMarkValid, R_LV_MARK_VALID, '0');
    iToolbar->AddItemL(pwcmd::KLapHideInvalid, R_LV_HIDE_INVALID, pwcmd::KLapShowInvalid, R_LV_SHOW_INVALID);
    iToolbar->AddItemL(pwcmd::KLapExport, R_LV_EXPORT);
    iToolbar->AddItemL(pwcmd::KLapSettings, R_LV_SETTINGS);
  }
  ShowTitle();
  TSoftkey left, middle, right;
  left.iCommand = pwcmd::KOpen;
  middle.iCommand = pwcmd::KOpen;
  right.iCommand = pwcmd::KBack;
  observer->SetToolbar(iToolbar.get());
  observer->SetSoftkeys(left, middle, right);
}

void CLapView::Deactivate() {
  delete iControl;
  iControl = nullptr;
}

void CLapView::ShowTitle() {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iControl) return;
  CPwString title;
  title.LoadFromResource(KModeTitles[iControl->DisplayMode()]);
  observer->SetTitle(title);
}

void CLapView::Invalidate() {
  if (!iControl) return;
  iControl->Rebuild();
  CCustomView::Invalidate();
}

// Rows, columns, title and menu after a change made here.
void CLapView::Changed() {
  if (!iControl) return;
  iControl->Rebuild();
  ShowTitle();
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
  iControl->RequestRedraw();
}

bool CLapView::OnRealLap() const {
  if (!iControl || iControl->Table().RowCount() == 0) return false;
  const CTrackSession* session = iModel->TrackSession();
  return session && session->Laps().ViewedIndex() >= 0 && session->Laps().Lap(session->Laps().ViewedIndex());
}

int32_t CLapView::CommandState(int32_t aCommand) {
  CTrackSession* session = iModel->TrackSession();
  if (!iControl || !session) return CCustomView::CommandState(aCommand);
  const bool details = iControl->DetailsOpen();
  const int32_t mode = iControl->DisplayMode();
  const CSettings& settings = iModel->Settings();
  auto shownWhen = [](bool aShown) { return aShown ? ECommandOffered : ECommandNotOffered; };
  if (aCommand >= pwcmd::KLapModeSectors && aCommand <= pwcmd::KLapModeInformation)
    return aCommand - pwcmd::KLapModeSectors == mode ? ECommandChecked : ECommandOffered;
  switch (aCommand) {
    case pwcmd::KLapOpenDetails:
      return shownWhen(!details);
    case pwcmd::KLapOpenGraph:
      return shownWhen(details && mode != 4);
    case pwcmd::KLapSectorGraph:
      if (!details || mode != 0) return ECommandNotOffered;
      return iControl->Table().SelectedColumn() >= 2 ? ECommandOffered : ECommandDisabled;
    case pwcmd::KLapEditNotes:
      return shownWhen(details && mode == 4 && OnRealLap());
    case pwcmd::KLapEditSessionNotes:
      return shownWhen(details && mode == 4);
    case pwcmd::KLapAbsoluteMode:
      return shownWhen(settings.DifferenceMode() == 1);
    case pwcmd::KLapDifferenceMode:
      return shownWhen(settings.DifferenceMode() != 1);
    case pwcmd::KLapMarkInvalid:
    case pwcmd::KLapMarkValid: {
      if (details || !OnRealLap()) return ECommandNotOffered;
      const bool invalid = session->Laps().ViewedLap()->IsInvalid();
      return shownWhen((aCommand == pwcmd::KLapMarkValid) == invalid);
    }
    case pwcmd::KLapHideInvalid:
      return shownWhen(!details && !settings.HideInvalid());
    case pwcmd::KLapShowInvalid:
      return shownWhen(!details && settings.HideInvalid());
    case pwcmd::KLapExport:
      return shownWhen(!details);
    case pwcmd::KLapSettings:
      return shownWhen(details && mode == 3);
    default:
      return CCustomView::CommandState(aCommand);
  }
}

void CLapView::OpenSubmenu(int32_t aFirst, int32_t aLast, const uint16_t* aLabels) {
  CPwVector<TMenuEntry> entries(8);
  for (int32_t command = aFirst; command <= aLast; ++command)
    AppendOffered(entries, *this, command, aLabels[command - aFirst]);
  if (entries.Count() > 0) ViewObserver()->Dialogs().OpenMenuL(entries);
}

void CLapView::OpenGraph(bool aWholeLap) {
  iGraphRequest = aWholeLap ? 1 : 0;
  // The analysis view calculates the graph as background work and opens itself when done.
  if (CAnalyzeView* analysis = ViewOf<CAnalyzeView>(*iModel, CGui::EAnalyzeView)) analysis->OpenLapGraph(iGraphRequest);
}

int32_t CLapView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  CTrackSession* session = iModel->TrackSession();
  if (!observer || !iControl || !session) return 1;
  const int32_t state = CommandState(aCommand);
  if (state == ECommandNotOffered || state == ECommandDisabled) {
    // Unavailable commands of this view do nothing; others are not ours.
    return aCommand >= pwcmd::KLapComparisonMenu && aCommand <= pwcmd::KLapSectorGraph ? 0 : 1;
  }
  CDialogs& dialogs = observer->Dialogs();
  CLapList& laps = session->Laps();
  CSettings& settings = iModel->Settings();
  if (aCommand >= pwcmd::KLapModeSectors && aCommand <= pwcmd::KLapModeInformation) {
    iControl->SetDisplayMode(aCommand - pwcmd::KLapModeSectors);
    Changed();
    return 0;
  }
  switch (aCommand) {
    case pwcmd::KOpen:
      if (!iControl->DetailsOpen()) return HandleCommand(pwcmd::KLapOpenDetails);
      return HandleCommand(iControl->DisplayMode() == 4 ? pwcmd::KLapEditNotes : pwcmd::KLapOpenGraph);
    case pwcmd::KBack:
      if (iControl->DetailsOpen()) {
        iControl->CloseDetails();
        Changed();
      } else {
        observer->Back();
      }
      return 0;
    case pwcmd::KLapOpenDetails:
      if (iControl->OpenDetails()) Changed();
      return 0;
    case pwcmd::KLapOpenGraph:
      OpenGraph(true);
      return 0;
    case pwcmd::KLapSectorGraph:
      OpenGraph(false);
      return 0;
    case pwcmd::KLapEditNotes:
      if (EditLapNote(dialogs, *session, laps.ViewedIndex())) Changed();
      return 0;
    case pwcmd::KLapEditSessionNotes:
      if (EditSessionNotes(dialogs, *session)) Changed();
      return 0;
    case pwcmd::KLapDisplayMode:
      OpenSubmenu(pwcmd::KLapModeSectors, pwcmd::KLapModeInformation, KModeLabels);
      return 0;
    case pwcmd::KLapComparisonMenu:
      OpenSubmenu(pwcmd::KLapCompareSelected, pwcmd::KLapCompareOther, KComparisonLabels);
      return 0;
    case pwcmd::KLapCompareSelected:
      (void)session->CompareToThisLap();
      Changed();
      return 0;
    case pwcmd::KLapCompareBest:
      (void)session->CompareToBest();
      Changed();
      return 0;
    case pwcmd::KLapCompareOptimal:
      (void)session->CompareToOptimal();
      Changed();
      return 0;
    case pwcmd::KLapCompareOther:
      // The choice ends with a refresh of the views, which rebuilds the tables.
      if (!iComparison) iComparison.reset(new CSelectComparison(*iModel, dialogs));
      iComparison->Start();
      return 0;
    case pwcmd::KLapAbsoluteMode:
    case pwcmd::KLapDifferenceMode:
      settings.SetDifferenceMode(aCommand == pwcmd::KLapDifferenceMode ? 1 : 0);
      Changed();
      return 0;
    case pwcmd::KLapMarkInvalid:
    case pwcmd::KLapMarkValid:
      if (SetLapInvalid(&dialogs, *session, laps.ViewedIndex(), aCommand == pwcmd::KLapMarkInvalid)) Changed();
      return 0;
    case pwcmd::KLapHideInvalid:
    case pwcmd::KLapShowInvalid:
      settings.SetHideInvalid(aCommand == pwcmd::KLapHideInvalid ? 1 : 0);
      laps.ValidateViewed();
      Changed();
      return 0;
    case pwcmd::KLapExport:
      if (auto* exporter = ViewOf<CExporterEditorView>(*iModel, CGui::EExporterEditorView))
        exporter->SetInitialScope(EExportSelectedLap);
      observer->OpenView(CGui::EExporterEditorView);
      return 0;
    case pwcmd::KLapSettings:
      // From the lap list the settings editor shows the high/low speed page alone.
      OpenHiLoSpeedSettings(*iModel);
      return 0;
    default:
      return 1;
  }
}

int32_t CLapView::HandleKey(int32_t aKeyCode, int32_t) {
  if (!iControl) return aKeyCode == KEscapeKey ? HandleCommand(pwcmd::KBack) : 1;
  CSettings& settings = iModel->Settings();
  switch (aKeyCode) {
    case '#':
      iControl->SetDisplayMode((iControl->DisplayMode() + 1) % CLapControl::KModeCount);
      Changed();
      return 0;
    case '*':
      settings.SetDifferenceMode(settings.DifferenceMode() == 1 ? 0 : 1);
      Changed();
      return 0;
    case KDeleteKey:
    case '0':
      if (!iControl->DetailsOpen() && OnRealLap()) {
        const CLap* lap = iModel->TrackSession()->Laps().ViewedLap();
        (void)HandleCommand(lap->IsInvalid() ? pwcmd::KLapMarkValid : pwcmd::KLapMarkInvalid);
      }
      return 0;
    case '5':
    case '6':
      iControl->StepFontScale(aKeyCode == '5' ? -10 : 10);
      Changed();
      return 0;
    case KEscapeKey:
      return HandleCommand(pwcmd::KBack);
    default:
      return 1;
  }
}
