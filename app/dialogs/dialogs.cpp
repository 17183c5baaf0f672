#include "app/dialogs/dialogs.h"

#include "app/dialogs/dialog_controls.h"
#include "app/gui/commands.h"
#include "app/gui/gui.h"
#include "app/model.h"
#include "foundation/drives.h"
#include "foundation/file_browser.h"
#include "foundation/modal_wait.h"
#include "foundation/scheduler.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"
#include "timing/track_profile.h"

CDialogs* CDialogs::NewL(CGui& aGui, CModel* aModel) { return new CDialogs(aGui, aModel); }

CDialogs::~CDialogs() {
  if (iProgress) iGui->DialogManager().DeleteLater(iProgress);
  iProgress = nullptr;
}

// --- The modal run -------------------------------------------------------------------------------

int32_t CDialogs::RunModal(CDialogControl& aDialog) {
  CPwScheduler* scheduler = iGui->Scheduler();
  if (!scheduler) return 0;
  CPwModalWait wait;
  aDialog.SetModalWait(&wait);
  iGui->DialogManager().PushL(&aDialog);
  CDialogControl* outer = iCurrentModal;
  iCurrentModal = &aDialog;
  if (auto* note = dynamic_cast<CNoteDialogControl*>(&aDialog)) note->Shown();
  if (auto* entry = dynamic_cast<CTextEntryDialogControl*>(&aDialog)) entry->Shown();
  iGui->RequestRedraw();
  const int32_t code = Trap([&] {
    if (!aDialog.IsClosed()) scheduler->RunLoop(wait.Event());
  });
  iCurrentModal = outer;
  aDialog.SetModalWait(nullptr);
  iGui->DialogManager().Remove(&aDialog);
  iGui->RequestRedraw();
  LeaveIfError(code);
  return aDialog.Result();
}

int32_t CDialogs::RunNote(CPwStringC aTitle, CPwStringC aText, int32_t aLeft, int32_t aMiddle, int32_t aRight,
                          bool aLargeFont, bool aConfirmByTap) {
  CNoteDialogControl* note = new CNoteDialogControl(aLargeFont, aConfirmByTap);
  int32_t result = 0;
  const int32_t code = Trap([&] {
    note->SetTextsL(aTitle, aText);
    note->SetSoftkeys(aLeft, aMiddle, aRight);
    result = RunModal(*note);
  });
  delete note;
  LeaveIfError(code);
  return result;
}

// --- Notes, questions, information ----------------------------------------------------------------

void CDialogs::ShowNote(int32_t aKind, CPwStringC aText) {
  if (aKind < EInformation || aKind > EConfirmedError) aKind = EInformation;
  static constexpr uint16_t KTitles[3] = {R_GUI_NOTE_INFORMATION, R_GUI_NOTE_WARNING, R_GUI_NOTE_ERROR};
  CPwString title;
  title.LoadFromResource(KTitles[aKind / 2]);
  const bool confirmed = aKind % 2 == 1;
  (void)RunNote(title, aText, confirmed ? pwcmd::KOk : pwcmd::KNone, pwcmd::KOk, pwcmd::KNone, true, true);
}

void CDialogs::ShowNote(int32_t aKind, uint16_t aTextId) {
  CPwString text;
  text.LoadFromResource(aTextId);
  ShowNote(aKind, text);
}

void CDialogs::ShowNoteN(int32_t aKind, uint16_t aTextId, int64_t aNumber) {
  CPwString text;
  text.FormatN(aTextId, aNumber);
  ShowNote(aKind, text);
}

void CDialogs::ShowNoteU(int32_t aKind, uint16_t aTextId, CPwStringC aText) {
  CPwString text;
  text.FormatU(aTextId, aText);
  ShowNote(aKind, text);
}

int32_t CDialogs::Ask(CPwStringC aText) {
  return RunNote(CPwStringC(), aText, pwcmd::KYes, pwcmd::KNone, pwcmd::KNo, true, false);
}

int32_t CDialogs::Ask(uint16_t aTextId) {
  CPwString text;
  text.LoadFromResource(aTextId);
  return Ask(text);
}

int32_t CDialogs::AskN(uint16_t aTextId, int64_t aNumber) {
  CPwString text;
  text.FormatN(aTextId, aNumber);
  return Ask(text);
}

int32_t CDialogs::AskU(uint16_t aTextId, CPwStringC aText) {
  CPwString text;
  text.FormatU(aTextId, aText);
  return Ask(text);
}

void CDialogs::ShowInformation(CPwStringC aTitle, CPwStringC aText) {
  (void)RunNote(aTitle, aText, pwcmd::KOk, pwcmd::KOk, pwcmd::KNone, false, true);
}

void CDialogs::ShowStartupWarning() {
  CPwString title, text;
  title.LoadFromResource(R_GUI_NOTE_WARNING);
  text.LoadFromResource(R_GUI_STARTUP_WARNING_TEXT);
  ShowInformation(title, text);
}

void CDialogs::ShowAbout() {
  CPwString title, text;
  title.LoadFromResource(R_GUI_ABOUT_TITLE);
  text.FormatU(R_GUI_ABOUT_TEXT, KVersion);
  ShowInformation(title, text);
}

// --- Text entry -----------------------------------------------------------------------------------

int32_t CDialogs::EditText(CPwString& aText, CPwStringC aTitle, bool aMultiLine, bool aNumeric, CPwStringC aHelp) {
  CTextEntryDialogControl* dialog = new CTextEntryDialogControl(aMultiLine, aNumeric);
  int32_t result = 0;
  const int32_t code = Trap([&] {
    dialog->SetContentL(aTitle, aText, aHelp);
    result = RunModal(*dialog);
    if (result) aText.Copy(dialog->Editor().Text());
  });
  delete dialog;
  LeaveIfError(code);
  return result;
}

// --- Choices --------------------------------------------------------------------------------------

int32_t CDialogs::SelectFromList(CPwStringC aTitle, CPwStringC aText, const CPwStringList& aChoices,
                                 int32_t aCurrent) {
  if (aChoices.Count() == 0) return -1;
  CSelectionDialogControl* dialog = new CSelectionDialogControl(false);
  int32_t chosen = -1;
  const int32_t code = Trap([&] {
    dialog->SetContentL(aTitle, aText, aChoices, aCurrent);
    if (RunModal(*dialog)) chosen = dialog->Chosen();
  });
  delete dialog;
  LeaveIfError(code);
  return chosen;
}

int32_t CDialogs::SelectMultiple(CPwStringC aTitle, const CPwStringList& aChoices, CPwVector<int32_t>& aMarks) {
  CSelectionDialogControl* dialog = new CSelectionDialogControl(true);
  int32_t result = 0;
  const int32_t code = Trap([&] {
    dialog->SetContentL(aTitle, CPwStringC(), aChoices, 0, &aMarks);
    result = RunModal(*dialog);
    if (result) dialog->Marks(aMarks);
  });
  delete dialog;
  LeaveIfError(code);
  return result;
}

int32_t CDialogs::SelectTrapType(bool aHasStart, bool aHasFinish) {
  struct TChoice {
    int32_t iType;
    uint16_t iLabel;
    bool iNeedsNoStart;
    bool iNeedsNoFinish;
  };
  static constexpr TChoice KChoices[5] = {{3, R_TRAP_TYPE_START_FINISH, true, true},
                                          {1, R_TRAP_TYPE_START, true, false},
                                          {5, R_TRAP_TYPE_STANDING_START, true, false},
                                          {2, R_TRAP_TYPE_FINISH, false, true},
                                          {4, R_TRAP_TYPE_SPLIT, false, false}};
  CPwStringList labels;
  int32_t types[5] = {};
  int32_t count = 0;
  for (const TChoice& choice : KChoices) {
    if ((choice.iNeedsNoStart && aHasStart) || (choice.iNeedsNoFinish && aHasFinish)) continue;
    CPwString label;
    label.LoadFromResource(choice.iLabel);
    labels.AppendCopy(label);
    types[count++] = choice.iType;
  }
  CPwString title;
  title.LoadFromResource(R_GUI_ADD_NEW_TRAP);
  const int32_t chosen = SelectFromList(title, CPwStringC(), labels, -1);
  return chosen >= 0 && chosen < count ? types[chosen] : 0;
}

int32_t CDialogs::SelectStorage(CPwStringC aMissingName, const CPwDrives& aDrives) {
  CPwStringList names;
  CPwVector<int32_t> indexes(4);
  for (int32_t i = 0; i < aDrives.Count(); ++i) {
    const CPwDriveInfo& drive = aDrives.At(i);
    if (!drive.IsPresent()) continue;
    names.AppendCopy(drive.Name());
    indexes.Append(i);
  }
  CPwString title, text;
  title.LoadFromResource(R_GUI_STORAGE_TITLE);
  text.FormatU(R_GUI_STORAGE_MISSING, aMissingName);
  if (names.Count() == 0) {
    ShowNote(EConfirmedError, text);
    return -1;
  }
  const int32_t chosen = SelectFromList(title, text, names, -1);
  return chosen >= 0 ? indexes.At(chosen) : -1;
}

int32_t CDialogs::SelectReplacementTrack() {
  if (!iModel) return -1;
  CPwStringList names;
  CTrackList& tracks = iModel->Tracks();
  for (int32_t i = 0; i < tracks.Count(); ++i) names.AppendCopy(tracks.At(i).Name());
  CPwString title, text;
  title.LoadFromResource(R_GUI_TRACK_TITLE);
  text.LoadFromResource(R_GUI_TRACK_MISSING);
  return SelectFromList(title, text, names, -1);
}

int32_t CDialogs::SelectReplacementTest() {
  if (!iModel) return -1;
  CPwStringList names;
  CPerformanceTestList& tests = iModel->Tests();
  for (int32_t i = 0; i < tests.Count(); ++i) names.AppendCopy(tests.At(i)->Name());
  CPwString title, text;
  title.LoadFromResource(R_GUI_TEST_TITLE);
  text.LoadFromResource(R_GUI_TEST_MISSING);
  return SelectFromList(title, text, names, -1);
}

int32_t CDialogs::SelectGpsType() {
  CPwStringList names;
  CPwString label;
  label.LoadFromResource(R_GPS_TYPE_SERIAL);
  names.AppendCopy(label);
  CPwString title, text;
  title.LoadFromResource(R_GUI_GPS_TYPE_TITLE);
  text.LoadFromResource(R_GUI_GPS_TYPE_TEXT);
  if (SelectFromList(title, text, names, 0) != 0 || !iModel) return 0;
  static constexpr int32_t KSerialPortGps = 3;
  iModel->Settings().Gps().iType = KSerialPortGps;
  (void)iModel->Settings().SaveSafely();
  return 1;
}

int32_t CDialogs::ChooseFile(CPwStringC aTitle, const CPwStringList& aExtensions, CPwString& aPath) {
  if (!iModel) return 0;
  CFileRecordList rows(16);
  int32_t result = 0;
  const int32_t code = Trap([&] {
    AppendMediaRecords(iModel->Drives(), rows);
    for (;;) {
      CPwStringList texts;
      for (CFileRecord* row : rows) texts.AppendCopy(row->DisplayText());
      const int32_t chosen = SelectFromList(aTitle, CPwStringC(), texts, -1);
      if (chosen < 0) break;
      CFileRecord& row = *rows.At(chosen);
      if (!row.IsFolder()) {
        aPath.Copy(row.Name());
        result = 1;
        break;
      }
      CPwString folder;
      folder.Copy(row.Name());
      ResetFileRecords(rows);
      AppendFolderRecords(folder, aExtensions, rows);
    }
  });
  ResetFileRecords(rows);
  LeaveIfError(code);
  return result;
}

void CDialogs::OpenMenuL(const CPwVector<TMenuEntry>& aEntries) {
  iGui->DialogManager().PushPopupL(CMenuControl::NewL(aEntries));
  iGui->RequestRedraw();
}

void CDialogs::ShowKeysLocked() {
  if (!iKeysLocked) return;
  CDialogControl* dialog = iKeysLocked();
  if (!dialog) return;
  const int32_t code = Trap([&] { (void)RunModal(*dialog); });
  delete dialog;
  LeaveIfError(code);
}

// --- Progress ------------------------------------------------------------------------------------

void CDialogs::ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver, int32_t aFlag) {
  if (iProgress) {
    iProgress->SetTextL(aText);
    return;
  }
  CProgressDialogControl* dialog = new CProgressDialogControl(aObserver, aFlag);
  const int32_t code = Trap([&] {
    dialog->SetTextL(aText);
    iGui->DialogManager().PushL(dialog);
  });
  if (code != KErrNone) {
    iGui->DialogManager().Remove(dialog);
    delete dialog;
    Leave(code);
  }
  iProgress = dialog;
  iProgress->Shown();
}

void CDialogs::UpdateProgress(int32_t aValue, int32_t aTotal) {
  if (!iProgress) return;
  iProgress->SetProgress(aValue, aTotal);
  // Worker steps are no input events: the window is asked to repaint here.
  iGui->RequestRedraw();
}

int32_t CDialogs::CloseProgress() {
  if (!iProgress) return 0;
  CProgressDialogControl* dialog = iProgress;
  iProgress = nullptr;
  const int32_t result = dialog->Result();
  // Closing may come from the dialog's own "Cancel" (through the observer).
  iGui->DialogManager().DeleteLater(dialog);
  iGui->RequestRedraw();
  return result;
}
