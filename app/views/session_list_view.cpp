#include "app/views/session_list_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/session_editor_view.h"
#include "app/views/session_view.h"
#include "app/views/view_access.h"
#include "acquisition/geodesy.h"
#include "foundation/string_provider.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"

namespace {

constexpr int32_t KModeCount = 4;
constexpr int32_t KEnter = 0xF800;
constexpr int32_t KUp = 0xF803;
constexpr int32_t KDown = 0xF804;
constexpr int32_t KLeft = 0xF801;
constexpr int32_t KRight = 0xF802;

constexpr uint16_t KModeLabels[KModeCount] = {R_SL_MODE_STATISTICS, R_SL_MODE_DATE, R_SL_MODE_DRIVER, R_SL_MODE_NOTE};

void AppendTime(PwTime aTime, const CSettings& aSettings, CPwString& aText) {
  CPwString time;
  aTime.FormatDuration(time, aSettings.TimerDecimals(), false, true);
  aText.Append(u", ");
  aText.Append(time);
}

// The local clock for creation times; one for the program's run.
const PwTimeConverter& Converter() {
  static PwTimeConverter converter;
  return converter;
}

}  // namespace

// --- The rows ------------------------------------------------------------------------------------

void CSessionRowsControl::ToggleMark(int32_t aIndex) {
  if (iEmpty || aIndex < 0 || aIndex >= Count() || aIndex >= iFirstDamaged) return;
  ItemAt(aIndex).iMarked = !ItemAt(aIndex).iMarked;
  Invalidate();
}

int32_t CSessionRowsControl::MarkedCount() const {
  int32_t marked = 0;
  for (int32_t i = 0; i < Count(); ++i)
    if (ItemAt(i).iMarked) ++marked;
  return marked;
}

TPwRect CSessionRowsControl::MarkBox(int32_t aIndex) {
  TPwRect row = ItemRect(aIndex);
  if (row.IsEmpty()) return row;
  row.iLeft = row.iRight - row.Height();
  return row;
}

int32_t CSessionRowsControl::HandleKey(int32_t aKeyCode, int32_t aShift) {
  if (iEmpty) return aKeyCode == KUp || aKeyCode == KDown ? 0 : 1;
  if (aShift && (aKeyCode == KUp || aKeyCode == KDown)) {
    // Every row passed is marked (or unmarked) on the way.
    const int32_t from = Selected();
    ToggleMark(from);
    const int32_t next = aKeyCode == KUp ? from - 1 : from + 1;
    if (next >= 0 && next < Count()) SetSelected(next);
    return 0;
  }
  if (aShift && aKeyCode == KEnter) {
    ToggleMark(Selected());
    return 0;
  }
  // Enter is the view's "Open".
  if (aKeyCode == KEnter) return 1;
  return CItemListControl::HandleKey(aKeyCode, aShift);
}

int32_t CSessionRowsControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (iEmpty) return 1;
  if (aKind == 0) {
    const int32_t at = ItemAt(aX, aY);
    if (at >= 0 && MarkBox(at).Contains(aX, aY)) {
      iMarkTap = true;
      SetSelected(at);
      return 0;
    }
    iMarkTap = false;
    return CItemListControl::HandlePointer(aKind, aX, aY);
  }
  if (iMarkTap) {
    if (aKind == 2) {
      iMarkTap = false;
      if (ItemAt(aX, aY) == Selected()) ToggleMark(Selected());
    }
    return 0;
  }
  return CItemListControl::HandlePointer(aKind, aX, aY);
}

// --- The view ------------------------------------------------------------------------------------

CSessionListView::CSessionListView(CModel& aModel) : iModel(&aModel) {}

CSessionListView::~CSessionListView() {
  delete iList;
  iList = nullptr;
}

int32_t CSessionListView::Mode() const {
  const int32_t mode = iModel->Settings().SessionListMode();
  return mode >= 0 && mode < KModeCount ? mode : 0;
}

void CSessionListView::Activate() {
  if (!iList) iList = new CSessionRowsControl(this, this);
  if (!iToolbar) {
    iToolbar.reset(new CToolbar);
    iToolbar->SetBackL(pwcmd::KBack, R_SK_BACK);
    CToolbarItem& modes = iToolbar->AddItemL(pwcmd::KDisplayMode, R_SL_DISPLAY_MODE);
    for (int32_t mode = 0; mode < KModeCount; ++mode)
      modes.AddSubItemL(pwcmd::KModeStatistics + mode, KModeLabels[mode]);
    iToolbar->AddItemL(pwcmd::KDelete, R_SL_DELETE);
    iToolbar->AddItemL(pwcmd::KImportNew, R_SL_IMPORT);
  }
  RefreshL();
  iList->SetSelected(iModel->Sessions().FocusIndex());
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return;
  CPwString title;
  title.LoadFromResource(R_MAIN_PREVIOUS_SESSIONS);
  observer->SetTitle(title);
  TSoftkey left, middle, right;
  left.iCommand = pwcmd::KOptions;
  middle.iCommand = pwcmd::KOpen;
  middle.iAltCommand = pwcmd::KToggle;
  right.iCommand = pwcmd::KBack;
  observer->SetToolbar(iToolbar.get());
  observer->SetSoftkeys(left, middle, right);
}

void CSessionListView::Deactivate() {
  delete iList;
  iList = nullptr;
}

namespace {

// A session's key across catalogue changes: its identifier and root.
void EntryKey(const CSessionInfo& aEntry, CPwString& aKey) {
  aKey.Copy(aEntry.Identifier());
  aKey.Append(u"|");
  aKey.Append(aEntry.StorageRoot());
}

}  // namespace

void CSessionListView::RefreshL() {
  if (!iList) return;
  const CSessionList& sessions = iModel->Sessions();
  // Marks and focus follow the sessions, not the row numbers.
  CPwStringList marked;
  CPwString key, focusKey;
  if (!iList->Empty()) {
    for (int32_t i = 0; i < iList->Count() && i < iKeys.Count(); ++i)
      if (iList->ItemAt(i).iMarked) marked.AppendCopy(iKeys.At(i));
    if (iList->Selected() >= 0 && iList->Selected() < iKeys.Count()) focusKey.Copy(iKeys.At(iList->Selected()));
  }
  const int32_t previousFocus = iList->Selected();
  iList->Reset();
  iKeys.Reset();
  const int32_t mode = Mode();
  CPwString line;
  int32_t focus = previousFocus < 0 ? 0 : previousFocus;
  for (int32_t i = 0; i < sessions.Count(); ++i) {
    const CSessionInfo& entry = *sessions.At(i);
    SecondLine(entry, mode, line);
    CListItem& row = iList->AddItemL(entry.Title(), line, 0);
    EntryKey(entry, key);
    iKeys.AppendCopy(key);
    row.iMarked = marked.Count() > 0 && marked.Contains(key);
    if (!focusKey.IsEmpty() && key == focusKey) focus = i;
  }
  // A session file that cannot be read still holds the user's data: it is listed with where it
  // is, below the readable ones.
  for (int32_t i = 0; i < sessions.DamagedCount(); ++i) {
    const CSessionInfo& entry = sessions.DamagedAt(i);
    CPwString title;
    title.FormatU(R_SL_DAMAGED, entry.Identifier());
    entry.FilePath(line);
    iList->AddItemL(title, line, 0);
    key.Copy(u"!");
    key.Append(entry.Identifier());
    key.Append(u"|");
    key.Append(entry.StorageRoot());
    iKeys.AppendCopy(key);
    if (!focusKey.IsEmpty() && key == focusKey) focus = sessions.Count() + i;
  }
  iList->SetFirstDamaged(sessions.Count());
  const bool empty = sessions.Count() == 0 && sessions.DamagedCount() == 0;
  iList->SetEmpty(empty);
  if (empty) {
    CPwString empty;
    empty.LoadFromResource(R_SL_EMPTY);
    iList->AddItemL(empty, CPwStringC());
  }
  iList->SetSelected(focus);
  if (!iRect.IsEmpty()) iList->SetRect(iRect);
}

void CSessionListView::SecondLine(const CSessionInfo& aEntry, int32_t aMode, CPwString& aText) const {
  const CSettings& settings = iModel->Settings();
  aText.Reset();
  switch (aMode) {
    case 1: {
      const PwDateTime local = Converter().UtcToLocal(aEntry.Created());
      if (!local.IsSet()) {
        aText.LoadFromResource(R_SL_UNKNOWN_DATE);
        break;
      }
      CPwString date;
      local.iTime.FormatHourMinute(aText);
      local.iDate.FormatDate(date);
      aText.Append(u" ");
      aText.Append(date);
      break;
    }
    case 2:
      if (aEntry.Driver().IsEmpty()) aText.LoadFromResource(R_SL_UNKNOWN_DRIVER);
      else aText.Copy(aEntry.Driver());
      break;
    case 3:
      if (aEntry.Notes().IsEmpty()) {
        aText.LoadFromResource(R_SL_EMPTY_NOTE);
      } else {
        aText.Copy(aEntry.Notes());
        aText.FlattenLines();
      }
      break;
    default: {
      CPwString count;
      switch (aEntry.SessionType()) {
        case ESessionLapTiming:
          if (aEntry.TrackName().IsEmpty()) aText.LoadFromResource(R_SV_NO_TRACK);
          else aText.Copy(aEntry.TrackName());
          if (aEntry.LapCount() >= 0) {
            count.FormatN(R_SL_LAPS, aEntry.LapCount());
            aText.Append(u", ");
            aText.Append(count);
          }
          if (aEntry.BestLapTime().IsSet()) AppendTime(aEntry.BestLapTime(), settings, aText);
          break;
        case ESessionPerformance:
          if (aEntry.TestName().IsEmpty()) aText.LoadFromResource(R_SV_NO_TEST);
          else aText.Copy(aEntry.TestName());
          if (aEntry.RunCount() >= 0) {
            count.FormatN(R_SL_RUNS, aEntry.RunCount());
            aText.Append(u", ");
            aText.Append(count);
          }
          if (aEntry.BestRunTime().IsSet()) AppendTime(aEntry.BestRunTime(), settings, aText);
          break;
        default:
          aText.LoadFromResource(R_SV_DATA_LOGGING);
          if (aEntry.Distance() != PwTime::KUnset) {
            const bool miles = settings.Units() == CStringProvider::KUnitsEnglish;
            const double metres = aEntry.Distance() / KArcUnitsPerRadian * EarthRadius;
            CPwString unit;
            unit.LoadFromResource(miles ? R_UNIT_MI : R_UNIT_KM);
            aText.Append(u", ");
            aText.AppendReal(miles ? metres / 1609.344 : metres / 1000.0, 2);
            aText.Append(u" ");
            aText.Append(unit);
          }
          break;
      }
      break;
    }
  }
}

// --- Commands ------------------------------------------------------------------------------------

int32_t CSessionListView::CommandState(int32_t aCommand) {
  const bool rows = iList && !iList->Empty() && iList->Count() > 0;
  if (aCommand == pwcmd::KDelete || aCommand == pwcmd::KOpen || aCommand == pwcmd::KToggle)
    return rows ? ECommandOffered : ECommandDisabled;
  if (aCommand >= pwcmd::KModeStatistics && aCommand <= pwcmd::KModeNote)
    return aCommand - pwcmd::KModeStatistics == Mode() ? ECommandChecked : ECommandOffered;
  return CCustomView::CommandState(aCommand);
}

int32_t CSessionListView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iList) return 1;
  if (aCommand >= pwcmd::KModeStatistics && aCommand <= pwcmd::KModeNote) {
    SetMode(aCommand - pwcmd::KModeStatistics);
    return 0;
  }
  switch (aCommand) {
    case pwcmd::KOpen: {
      if (iList->Empty() || iList->Selected() < 0) return 0;
      const CSessionList& sessions = iModel->Sessions();
      const int32_t row = iList->Selected();
      if (row >= sessions.Count()) {
        const int32_t damaged = row - sessions.Count();
        if (damaged < sessions.DamagedCount()) {
          CPwString path;
          sessions.DamagedAt(damaged).FilePath(path);
          observer->Dialogs().ShowNoteU(CDialogs::EConfirmedError, R_SL_DAMAGED_NOTE, path);
        }
        return 0;
      }
      iModel->Sessions().SetFocusIndex(row);
      if (auto* screen = ViewOf<CSessionView>(*iModel, CGui::ESessionView)) (void)screen->LoadSession(*sessions.At(row));
      return 0;
    }
    case pwcmd::KToggle:
      iList->ToggleMark(iList->Selected());
      return 0;
    case pwcmd::KOptions:
      OpenOptionsMenu();
      return 0;
    case pwcmd::KDisplayMode:
      OpenModeMenu();
      return 0;
    case pwcmd::KDelete:
      if (CommandState(pwcmd::KDelete) == ECommandOffered) Delete();
      return 0;
    case pwcmd::KImportNew:
      if (auto* editor = ViewOf<CSessionEditorView>(*iModel, CGui::ESessionEditorView)) {
        editor->SetNextMode(CSessionEditorView::EImport);
        observer->OpenView(CGui::ESessionEditorView);
      }
      return 0;
    case pwcmd::KBack:
      observer->Back();
      return 0;
    default:
      return 1;
  }
}

int32_t CSessionListView::HandleKey(int32_t aKeyCode, int32_t aShift) {
  switch (aKeyCode) {
    case KDeleteKey:
      return HandleCommand(pwcmd::KDelete);
    case KLeft:
      SetMode((Mode() + KModeCount - 1) % KModeCount);
      return 0;
    case KRight:
      SetMode((Mode() + 1) % KModeCount);
      return 0;
    case KEnter:
      return HandleCommand(aShift ? pwcmd::KToggle : pwcmd::KOpen);
    case KEscapeKey:
      return HandleCommand(pwcmd::KBack);
    default:
      return 1;
  }
}

void CSessionListView::ItemActivated(CItemListControl&, int32_t) { (void)HandleCommand(pwcmd::KOpen); }

void CSessionListView::SelectionChanged(CItemListControl&, int32_t aIndex) {
  if (iList && !iList->Empty()) iModel->Sessions().SetFocusIndex(aIndex);
}

void CSessionListView::SetMode(int32_t aMode) {
  iModel->Settings().SetSessionListMode(aMode);
  RefreshL();
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
}

void CSessionListView::Delete() {
  CSessionList& sessions = iModel->Sessions();
  CDialogs& dialogs = ViewObserver()->Dialogs();
  CPwVector<CSessionInfo*> doomed(8);
  const int32_t marked = iList->MarkedCount();
  for (int32_t i = 0; i < iList->Count() && i < sessions.Count(); ++i)
    if (iList->ItemAt(i).iMarked) doomed.Append(sessions.At(i));
  if (marked >= 2) {
    if (!dialogs.AskN(R_SL_DELETE_MANY, marked)) return;
  } else {
    if (marked == 0) {
      doomed.Reset();
      if (iList->Selected() >= 0 && iList->Selected() < sessions.Count()) doomed.Append(sessions.At(iList->Selected()));
    }
    if (doomed.Count() == 0 || !dialogs.AskU(R_SL_DELETE_ONE, doomed.At(0)->Title())) return;
  }
  // Remove deletes the entry, so each is looked up again by its identifier and root.
  CPwStringList ids, roots;
  for (CSessionInfo* entry : doomed) {
    ids.AppendCopy(entry->Identifier());
    roots.AppendCopy(entry->StorageRoot());
  }
  for (int32_t i = 0; i < ids.Count(); ++i) {
    const int32_t index = sessions.IndexOf(ids.At(i), roots.At(i));
    if (index >= 0) sessions.Remove(*sessions.At(index));
  }
  for (int32_t i = 0; i < iList->Count(); ++i) iList->ItemAt(i).iMarked = false;
  RefreshL();
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
}

void CSessionListView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(4);
  AppendOffered(entries, *this, pwcmd::KDisplayMode, R_SL_DISPLAY_MODE);
  AppendOffered(entries, *this, pwcmd::KDelete, R_SL_DELETE);
  AppendOffered(entries, *this, pwcmd::KImportNew, R_SL_IMPORT);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}

void CSessionListView::OpenModeMenu() {
  CPwVector<TMenuEntry> entries(4);
  for (int32_t mode = 0; mode < KModeCount; ++mode)
    AppendOffered(entries, *this, pwcmd::KModeStatistics + mode, KModeLabels[mode]);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}
