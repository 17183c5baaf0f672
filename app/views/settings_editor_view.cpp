#include "app/views/settings_editor_view.h"

#include "acquisition/gps_client.h"
#include "acquisition/port_map.h"
#include "app/dialogs/dialogs.h"
#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "app/views/view_access.h"
#include "foundation/drives.h"
#include "foundation/string_provider.h"
#include "storage/settings.h"
#include "storage/settings_items.h"
#include "strings/pw_strings.h"

namespace {

constexpr uint16_t KTabLabels[ESettingsPageCount] = {R_SET_TAB_GENERAL, R_SET_TAB_GPS, R_SET_TAB_OBD,
                                                     R_SET_TAB_LOGGER, R_SET_TAB_HILO};
constexpr uint16_t KSummaryLabels[ESettingsPageCount] = {R_SET_SUMMARY_GENERAL, R_SET_SUMMARY_GPS,
                                                         R_SET_SUMMARY_OBD, R_SET_SUMMARY_LOGGER,
                                                         R_SET_SUMMARY_HILO};
// The summary names every stored device type, also those this build does not offer.
constexpr uint16_t KGpsTypeNames[] = {R_GPS_TYPE_BLUETOOTH, R_GPS_TYPE_INTERNAL, R_GPS_TYPE_INPUT_FILE,
                                      R_GPS_TYPE_SERIAL, R_GPS_TYPE_GPSD};
constexpr uint16_t KObdTypeNames[] = {R_OBD_TYPE_DISABLED, R_OBD_TYPE_BLUETOOTH, R_OBD_TYPE_SERIAL};
constexpr uint16_t KLoggerTypeNames[] = {R_LOGGER_TYPE_DISABLED, R_LOGGER_TYPE_ACCELEROMETER,
                                         R_LOGGER_TYPE_DATAVANE_BLUETOOTH, R_LOGGER_TYPE_DATAVANE_SERIAL};

template <size_t N>
void TypeName(const uint16_t (&aNames)[N], int32_t aType, CPwString& aText) {
  if (aType >= 0 && static_cast<size_t>(aType) < N) aText.LoadFromResource(aNames[aType]);
  else aText.LoadFromResource(R_GUI_NOT_SELECTED);
}

// The endings the input-file choice lists.
void InputExtensions(CPwStringList& aExtensions) {
  aExtensions.Reset();
  aExtensions.AppendCopy(u".nmea");
  aExtensions.AppendCopy(u".txt");
  aExtensions.AppendCopy(u".log");
}

constexpr TPwColour KTabBackground = 0x000000;
constexpr TPwColour KTabFrom = 0x2A4F8A;
constexpr TPwColour KTabTo = 0x15284A;
constexpr TPwColour KTabText = 0xFFFFFF;
constexpr TPwColour KTabDimText = 0x8090A0;
constexpr TPwColour KTabLine = 0x2A4F8A;

}  // namespace

// The row of page tabs: the current one highlighted and scrolled into view; a tap on a tab
// shows its page.
class CSettingsTabsControl : public CCustomControl {
 public:
  CSettingsTabsControl(CCustomControl* aParent, CSettingsEditorView& aView) : CCustomControl(aParent), iView(aView) {}

  int32_t Height() {
    CLayout* layout = Layout();
    return layout ? layout->Font(CLayout::EFontSmall).Height() + 14 : 28;
  }

  void Draw() override {
    CPwBitmap* bitmap = Bitmap();
    CLayout* layout = Layout();
    if (!bitmap || !layout) return;
    bitmap->FillRect(iRect, KTabBackground);
    TPwRect tabs[ESettingsPageCount];
    Place(tabs);
    CPwFont& font = layout->Font(CLayout::EFontSmall);
    CPwString label;
    for (int32_t i = 0; i < ESettingsPageCount; ++i) {
      label.LoadFromResource(KTabLabels[i]);
      const bool current = i == iView.Page();
      if (current) bitmap->FillGradient(tabs[i], KTabFrom, KTabTo);
      bitmap->DrawText(label, font, tabs[i], EAlignCentre, current ? KTabText : KTabDimText);
    }
    bitmap->FillRect(TPwRect{iRect.iLeft, iRect.iBottom - 2, iRect.iRight, iRect.iBottom}, KTabLine);
  }

  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override {
    if (!iRect.Contains(aX, aY)) return 1;
    if (aKind != 2) return 0;
    TPwRect tabs[ESettingsPageCount];
    Place(tabs);
    for (int32_t i = 0; i < ESettingsPageCount; ++i)
      if (tabs[i].Contains(aX, aY)) iView.ShowPage(i);
    return 0;
  }

 private:
  // The tabs side by side, each as wide as its label, shifted so that the current one shows
  // whole on a narrow screen.
  void Place(TPwRect (&aTabs)[ESettingsPageCount]) {
    CLayout* layout = Layout();
    CPwString label;
    int32_t x = 0;
    for (int32_t i = 0; i < ESettingsPageCount; ++i) {
      label.LoadFromResource(KTabLabels[i]);
      const int32_t width = (layout ? layout->Font(CLayout::EFontSmall).TextWidth(label) : 60) + 16;
      aTabs[i] = TPwRect{x, iRect.iTop, x + width, iRect.iBottom - 2};
      x += width;
    }
    const int32_t page = iView.Page() < 0 ? 0 : iView.Page();
    int32_t shift = iRect.iLeft;
    if (x > iRect.Width()) {
      // Centre the current tab, within the row's ends.
      const int32_t centre = (aTabs[page].iLeft + aTabs[page].iRight) / 2;
      int32_t offset = centre - iRect.Width() / 2;
      if (offset < 0) offset = 0;
      if (offset > x - iRect.Width()) offset = x - iRect.Width();
      shift -= offset;
    }
    for (TPwRect& tab : aTabs) {
      tab.iLeft += shift;
      tab.iRight += shift;
    }
  }

  CSettingsEditorView& iView;
};

// The view's content: the summary, or the tabs above a page.
class CSettingsEditorFrame : public CCustomControl {
 public:
  int32_t ChildCount() override { return 3; }
  CCustomControl* ChildAt(int32_t aIndex) override {
    switch (aIndex) {
      case 0: return iSummary;
      case 1: return iTabs;
      default: return iForm;
    }
  }
  void SetRect(const TPwRect& aRect) override {
    CCustomControl::SetRect(aRect);
    if (iSummary) iSummary->SetRect(aRect);
    TPwRect rest = aRect;
    if (iTabs) {
      const int32_t height = iTabs->Height();
      iTabs->SetRect(TPwRect{aRect.iLeft, aRect.iTop, aRect.iRight, aRect.iTop + height});
      rest.iTop += height;
    }
    if (iForm) iForm->SetRect(rest);
  }
  void Draw() override {
    if (CPwBitmap* bitmap = Bitmap()) bitmap->FillRect(iRect, 0x000000);
  }

  CItemListControl* iSummary = nullptr;
  CSettingsTabsControl* iTabs = nullptr;
  CSettingsListControl* iForm = nullptr;
};

CSettingsEditorView::CSettingsEditorView(CModel& aModel) : iModel(&aModel) {}

CSettingsEditorView::~CSettingsEditorView() { Deactivate(); }

CCustomControl* CSettingsEditorView::ContentControl() { return iFrame.get(); }

// --- Opening -------------------------------------------------------------------------------------

void CSettingsEditorView::Activate() {
  iHiLoOnly = iNextHiLoOnly;
  iNextHiLoOnly = false;
  iEdited.reset(new CSettings(iModel->Drives()));
  iEdited->CopyFrom(iModel->Settings());
  iFrame.reset(new CSettingsEditorFrame());
  iFrame->SetParent(this);
  if (iHiLoOnly) ShowPage(ESettingsHiLo);
  else ShowSummary();
}

void CSettingsEditorView::DropPage() {
  // Out of the frame first: a control going away repaints its siblings.
  if (iFrame) {
    iFrame->iTabs = nullptr;
    iFrame->iForm = nullptr;
  }
  delete iTabs;
  iTabs = nullptr;
  delete iForm;
  iForm = nullptr;
}

void CSettingsEditorView::Deactivate() {
  DropPage();
  if (iFrame) iFrame->iSummary = nullptr;
  delete iSummary;
  iSummary = nullptr;
  iFrame.reset();
  iEdited.reset();
  iPage = -1;
}

void CSettingsEditorView::ShowTitle() {
  CPwString title;
  title.LoadFromResource(iHiLoOnly ? R_SET_TITLE_HILO : R_SET_TITLE);
  ShowChrome(title, pwcmd::KNone, pwcmd::KOpen, pwcmd::KBack);
}

void CSettingsEditorView::ShowSummary() {
  if (!iFrame) return;
  DropPage();
  const int32_t row = iPage;
  iPage = -1;
  if (!iSummary) iSummary = new CItemListControl(iFrame.get(), this);
  BuildSummaryL();
  if (row >= 0) iSummary->SetSelected(row);
  iFrame->iSummary = iSummary;
  ShowTitle();
  if (!iRect.IsEmpty()) iFrame->SetRect(iRect);
  Invalidate();
}

void CSettingsEditorView::ShowPage(int32_t aPage) {
  if (!iFrame || aPage < 0 || aPage >= ESettingsPageCount) return;
  // The summary stays (out of the tree): a page is opened from inside its own handlers.
  iPage = aPage;
  if (!iHiLoOnly && !iTabs) iTabs = new CSettingsTabsControl(iFrame.get(), *this);
  BuildPageL(aPage);
  iFrame->iSummary = nullptr;
  iFrame->iTabs = iTabs;
  iFrame->iForm = iForm;
  ShowTitle();
  if (!iRect.IsEmpty()) iFrame->SetRect(iRect);
  Invalidate();
}

void CSettingsEditorView::BuildSummaryL() {
  iSummary->Reset();
  CPwString label, status;
  for (int32_t page = 0; page < ESettingsPageCount; ++page) {
    label.LoadFromResource(KSummaryLabels[page]);
    switch (page) {
      case ESettingsGeneral: SettingValueText(*iEdited, iModel->Drives(), ESetStorage, status); break;
      case ESettingsGps: TypeName(KGpsTypeNames, iEdited->Gps().iType, status); break;
      case ESettingsObd: TypeName(KObdTypeNames, iEdited->Obd().iType, status); break;
      case ESettingsLogger: TypeName(KLoggerTypeNames, iEdited->Logger().iType, status); break;
      default: status.Reset(); break;
    }
    iSummary->AddItemL(label, status, page);
  }
}

void CSettingsEditorView::BuildPageL(int32_t aPage) {
  iFrame->iForm = nullptr;
  delete iForm;
  iForm = nullptr;
  iForm = new CSettingsListControl(iFrame.get(), this);
  CPwString label;
  for (int32_t i = 0; i < SettingItemCount(); ++i) {
    const TSettingItem& item = SettingItemAt(i);
    if (item.iPage != aPage) continue;
    label.LoadFromResource(item.iLabel);
    CSettingsItem& row = iForm->AddCustomL(item.iId, label, CPwStringC());
    if (item.iHelp) row.iHelp.LoadFromResource(item.iHelp);
  }
  RefreshItems();
  iForm->SetSelected(0);
}

void CSettingsEditorView::RefreshItems() {
  if (!iForm) return;
  for (int32_t i = 0; i < iForm->ItemCount(); ++i) {
    CSettingsItem& row = iForm->SettingAt(i);
    SettingValueText(*iEdited, iModel->Drives(), row.iId, row.iText);
    row.iVisible = SettingVisible(*iEdited, row.iId);
  }
  iForm->RebuildL();
}

// --- Editing -------------------------------------------------------------------------------------

void CSettingsEditorView::SettingChanged(CSettingsListControl&, CSettingsItem&) {
  // A device type shows and hides the items of its page.
  RefreshItems();
}

int32_t CSettingsEditorView::EditCustom(CSettingsListControl&, CSettingsItem& aItem) {
  const TSettingItem* item = FindSettingItem(aItem.iId);
  if (!item || !iEdited) return 0;
  switch (item->iEditor) {
    case ESettingChoice: return EditChoice(aItem.iId, aItem);
    case ESettingSwitch: {
      CPwString reason;
      return SetSettingNumber(*iEdited, aItem.iId, SettingNumber(*iEdited, aItem.iId) ? 0 : 1, reason) ? 1 : 0;
    }
    case ESettingStorage: return EditStorage(aItem);
    case ESettingDevice: return EditDevice(aItem.iId, aItem);
    case ESettingPort: return EditPort(aItem.iId, aItem);
    case ESettingInput: return EditInputFile(aItem);
    case ESettingChannels: return EditChannels(aItem.iId, aItem);
    case ESettingHost:
    case ESettingNetPort: return EditTyped(aItem.iId, aItem, item->iEditor == ESettingNetPort);
    default: return 0;
  }
}

void CSettingsEditorView::Refused(CPwStringC aReason) {
  ViewObserver()->Dialogs().ShowNote(CDialogs::EConfirmedError, aReason);
}

int32_t CSettingsEditorView::EditChoice(int32_t aId, const CSettingsItem& aItem) {
  const TSettingItem* item = FindSettingItem(aId);
  CPwStringList choices;
  CPwString text;
  int32_t current = -1;
  const int32_t value = SettingNumber(*iEdited, aId);
  for (int32_t i = 0; i < item->iChoiceCount; ++i) {
    text.LoadFromResource(item->iChoices[i].iLabel);
    choices.AppendCopy(text);
    if (item->iChoices[i].iValue == value) current = i;
  }
  const int32_t chosen = ViewObserver()->Dialogs().SelectFromList(aItem.iLabel, aItem.iHelp, choices, current);
  if (chosen < 0 || chosen == current) return 0;
  CPwString reason;
  if (!SetSettingNumber(*iEdited, aId, item->iChoices[chosen].iValue, reason)) {
    Refused(reason);
    return 0;
  }
  return 1;
}

int32_t CSettingsEditorView::EditStorage(const CSettingsItem& aItem) {
  const CPwDrives& drives = iModel->Drives();
  CPwStringList names;
  CPwVector<int32_t> rows(4);
  int32_t current = -1;
  for (int32_t i = 0; i < drives.Count(); ++i) {
    if (!drives.At(i).IsPresent()) continue;
    if (drives.At(i).RootPath() == iEdited->StorageRoot()) current = names.Count();
    names.AppendCopy(drives.At(i).Name());
    rows.Append(i);
  }
  const int32_t chosen = ViewObserver()->Dialogs().SelectFromList(aItem.iLabel, aItem.iHelp, names, current);
  if (chosen < 0 || chosen == current) return 0;
  CPwString reason;
  if (!SetSettingStorage(*iEdited, drives, drives.At(rows.At(chosen)).RootPath(), reason)) {
    Refused(reason);
    return 0;
  }
  return 1;
}

int32_t CSettingsEditorView::EditDevice(int32_t aId, const CSettingsItem& aItem) {
  // Without a Bluetooth stack nothing can be searched for: the stored device can be kept or
  // let go.
  CPwStringList choices;
  CPwString text;
  SettingValueText(*iEdited, iModel->Drives(), aId, text);
  CPwString none;
  none.LoadFromResource(R_SET_DEVICE_CLEAR);
  const bool stored = !(text == none);
  if (stored) choices.AppendCopy(text);
  choices.AppendCopy(none);
  const int32_t chosen = ViewObserver()->Dialogs().SelectFromList(aItem.iLabel, aItem.iHelp, choices, 0);
  // Only letting a stored device go changes anything.
  if (!stored || chosen != 1) return 0;
  SetSettingDevice(*iEdited, aId, TPwBtAddr(), CPwStringC());
  return 1;
}

int32_t CSettingsEditorView::EditPort(int32_t aId, const CSettingsItem& aItem) {
  const int32_t current = SettingNumber(*iEdited, aId);
  CPwVector<int32_t> ports(16);
  OfferedPorts(current, ports);
  CPwStringList labels;
  int32_t currentRow = -1;
  for (int32_t i = 0; i < ports.Count(); ++i) {
    CPwString label;
    pwports::AppendPortLabel(ports.At(i), label);
    labels.AppendCopy(label);
    if (ports.At(i) == current) currentRow = i;
  }
  const int32_t chosen = ViewObserver()->Dialogs().SelectFromList(aItem.iLabel, aItem.iHelp, labels, currentRow);
  if (chosen < 0 || chosen == currentRow) return 0;
  CPwString reason;
  if (!SetSettingNumber(*iEdited, aId, ports.At(chosen), reason)) {
    Refused(reason);
    return 0;
  }
  return 1;
}

int32_t CSettingsEditorView::EditTyped(int32_t aId, const CSettingsItem& aItem, bool aNumeric) {
  CPwString before, text, reason;
  SettingValueWord(*iEdited, aId, before);
  text.Copy(before);
  if (!ViewObserver()->Dialogs().EditText(text, aItem.iLabel, false, aNumeric, aItem.iHelp)) return 0;
  if (!SetSettingFromWord(*iEdited, iModel->Drives(), aId, text, reason)) {
    Refused(reason);
    return 0;
  }
  SettingValueWord(*iEdited, aId, text);
  return text == before ? 0 : 1;
}

int32_t CSettingsEditorView::EditInputFile(const CSettingsItem& aItem) {
  CPwStringList extensions;
  InputExtensions(extensions);
  CPwString path;
  if (!ViewObserver()->Dialogs().ChooseFile(aItem.iLabel, extensions, path)) return 0;
  CPwString reason;
  if (!SetSettingInputFile(*iEdited, path, reason)) {
    Refused(reason);
    return 0;
  }
  return 1;
}

int32_t CSettingsEditorView::EditChannels(int32_t aId, const CSettingsItem& aItem) {
  const CPwVector<int32_t>& offered = OfferedObdChannels();
  const CChannelList& current =
      aId == ESetObdHigh ? iEdited->HighPriorityChannels() : iEdited->LowPriorityChannels();
  CPwStringList names;
  CPwVector<int32_t> marks(64);
  CPwString name;
  for (const int32_t id : offered) {
    CStringProvider::ChannelName(id, name);
    names.AppendCopy(name);
    marks.Append(current.Contains(id) ? 1 : 0);
  }
  if (!ViewObserver()->Dialogs().SelectMultiple(aItem.iLabel, names, marks)) return 0;
  // The channels keep their order: those kept first as they were, then the new ones.
  CChannelList chosen;
  for (const int32_t id : current)
    for (int32_t i = 0; i < offered.Count(); ++i)
      if (offered.At(i) == id && marks.At(i)) chosen.Add(id);
  for (int32_t i = 0; i < offered.Count(); ++i)
    if (marks.At(i)) chosen.Add(offered.At(i));
  if (chosen.Equals(current)) return 0;
  CPwString reason;
  if (!SetSettingChannels(*iEdited, aId, chosen, reason)) {
    Refused(reason);
    return 0;
  }
  return 1;
}

// --- Commands ------------------------------------------------------------------------------------

void CSettingsEditorView::ItemActivated(CItemListControl&, int32_t aIndex) { ShowPage(aIndex); }

int32_t CSettingsEditorView::HandleCommand(int32_t aCommand) {
  if (!ViewObserver() || !iFrame) return 1;
  switch (aCommand) {
    case pwcmd::KOpen:
      if (iPage < 0 && iSummary && iSummary->Selected() >= 0) ShowPage(iSummary->Selected());
      else if (iPage >= 0 && iForm) (void)iForm->EditFocused();
      return 0;
    case pwcmd::KBack:
      if (iPage >= 0 && !iHiLoOnly) ShowSummary();
      else Accept();
      return 0;
    default:
      return 1;
  }
}

int32_t CSettingsEditorView::HandleKey(int32_t aKeyCode, int32_t aShift) {
  (void)aShift;
  if (aKeyCode == KEscapeKey) return HandleCommand(pwcmd::KBack);
  // Left and right step through the tabs.
  if (iPage >= 0 && !iHiLoOnly && (aKeyCode == 0xF801 || aKeyCode == 0xF802)) {
    const int32_t step = aKeyCode == 0xF801 ? ESettingsPageCount - 1 : 1;
    ShowPage((iPage + step) % ESettingsPageCount);
    return 0;
  }
  return 1;
}

void CSettingsEditorView::Accept() {
  CSettings& settings = iModel->Settings();
  settings.CopyFrom(*iEdited);
  const int32_t code = settings.SaveSafely();
  MCustomViewObserver* views = ViewObserver();
  if (code != KErrNone) views->Dialogs().ShowNoteN(CDialogs::EConfirmedError, R_SET_NOT_SAVED, code);
  // Units, decimals and the storage medium show in the views below.
  iModel->UpdateViews(2);
  views->Back();
}

void OpenHiLoSpeedSettings(CModel& aModel) {
  CSettingsEditorView* view = ViewOf<CSettingsEditorView>(aModel, CGui::ESettingsEditorView);
  CGui* gui = GuiOf(aModel);
  if (!view || !gui) return;
  view->SetNextHiLoOnly();
  gui->OpenView(CGui::ESettingsEditorView);
}
