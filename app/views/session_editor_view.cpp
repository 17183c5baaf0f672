#include "app/views/session_editor_view.h"

#include <memory>

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/session_view.h"
#include "app/views/view_access.h"
#include "exchange/session_importer.h"
#include "foundation/drives.h"
#include "foundation/file_browser.h"
#include "foundation/paths.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"
#include "timing/track_profile.h"
#include "timing/track_session.h"

namespace {

// The endings of the files each import format reads.
void FormatExtensions(int32_t aFormat, CPwStringList& aExtensions) {
  aExtensions.Reset();
  switch (aFormat) {
    case 0:
      aExtensions.AppendCopy(u".txt");
      aExtensions.AppendCopy(u".nmea");
      break;
    case 1:
      aExtensions.AppendCopy(u".dbn");
      break;
    case 2:
      aExtensions.AppendCopy(u".vbo");
      aExtensions.AppendCopy(u".cir");
      break;
    case 4:
      aExtensions.AppendCopy(u".gpx");
      break;
    default:
      aExtensions.AppendCopy(u".run");
      break;
  }
}

void Choices(std::initializer_list<uint16_t> aIds, CPwStringList& aChoices) {
  aChoices.Reset();
  CPwString text;
  for (const uint16_t id : aIds) {
    text.LoadFromResource(id);
    aChoices.AppendCopy(text);
  }
}

}  // namespace

CSessionEditorView::~CSessionEditorView() {
  delete iForm;
  iForm = nullptr;
}

void CSessionEditorView::SetImportFilesL(const CPwStringList& aFiles) {
  iFiles.CopyFrom(aFiles);
  UpdateValueTexts();
}

// --- Opening -------------------------------------------------------------------------------------

void CSessionEditorView::Activate() {
  CGui* gui = GuiOf(*iModel);
  // Back from the track download: the form is as it was, with the new tracks to choose from.
  const bool returning = iForm && gui && gui->LastChangeWasBack();
  if (!returning) {
    iMode = iNextMode;
    iNextMode = ENewSession;
    CTrackSession* session = iModel->TrackSession();
    if (iMode == EProperties && !session) iMode = ENewSession;
    BuildFormL();
  }
  static constexpr uint16_t KTitles[3] = {R_SE_TITLE_PROPERTIES, R_SE_TITLE_NEW, R_SE_TITLE_IMPORT};
  CPwString title;
  title.LoadFromResource(KTitles[iMode]);
  if (iMode == EProperties) ShowChrome(title, pwcmd::KNone, pwcmd::KOpen, pwcmd::KBack);
  else ShowChrome(title, pwcmd::KStart, pwcmd::KOpen, pwcmd::KCancel);
  if (!iRect.IsEmpty()) iForm->SetRect(iRect);
}

void CSessionEditorView::Deactivate() {
  // Kept while the track download is shown above it; dropped once the editor is closed.
  CGui* gui = GuiOf(*iModel);
  if (gui && gui->PendingView() && gui->PendingView()->ViewNumber() == CGui::EDownloadTrackView) return;
  delete iForm;
  iForm = nullptr;
}

void CSessionEditorView::BuildFormL() {
  delete iForm;
  iForm = nullptr;
  iForm = new CSettingsListControl(this, this);
  const CSettings& settings = iModel->Settings();
  CPwStringList choices;
  CPwString label, text;

  CSessionInfo description;
  iFiles.Reset();
  if (iMode == EProperties) {
    description.CopyFrom(iModel->TrackSession()->Info());
    iObdSpeedAvailable = description.ObdFlag() != 0 || description.UseObdSpeed() != 0;
  } else {
    const bool import = iMode == EImport;
    text.LoadFromResource(R_SESSION_NEW_TITLE);
    description.SetTitle(import ? CPwStringC() : CPwStringC(text));
    description.SetDriver(settings.LastDriver());
    description.SetSessionType(settings.LastSessionType());
    CTrackList& tracks = iModel->Tracks();
    if (settings.LastTrack().Equals(CTrackSession::KAutomaticTrack)) description.SetTrackName(CTrackSession::KAutomaticTrack);
    else if (tracks.Find(settings.LastTrack()) >= 0) description.SetTrackName(tracks.At(tracks.Find(settings.LastTrack())).Name());
    else if (tracks.Count() > 0) description.SetTrackName(tracks.At(0).Name());
    CPerformanceTestList& tests = iModel->Tests();
    if (tests.IndexOfName(settings.LastTest()) >= 0) description.SetTestName(settings.LastTest());
    else if (tests.Count() > 0) description.SetTestName(tests.At(0)->Name());
    const bool obd = settings.Obd().iType != MDeviceSettings::EObdDisabled;
    description.SetSaveNmea(import ? 0 : settings.SaveNmea());
    description.SetUseObdSpeed(!import && obd ? 1 : 0);
    iObdSpeedAvailable = !import && obd;
  }
  iTrackName.Copy(description.TrackName());
  iTestName.Copy(description.TestName());
  iDriver.Copy(description.Driver());

  Choices({R_SE_FORMAT_NMEA, R_SE_FORMAT_DBN, R_SE_FORMAT_VBO, R_SE_FORMAT_RUN, R_SE_FORMAT_GPX}, choices);
  label.LoadFromResource(R_SE_IMPORT_FORMAT);
  iForm->AddSelectionL(EItemImportFormat, label, choices, 0);
  label.LoadFromResource(R_SE_IMPORT_FILE);
  iForm->AddCustomL(EItemImportFiles, label, CPwStringC());
  label.LoadFromResource(R_SE_SESSION_TITLE);
  iForm->AddTextL(EItemTitle, label, description.Title());
  Choices({R_SESSION_TYPE_LAP_TIMING, R_SESSION_TYPE_PERFORMANCE, R_SESSION_TYPE_DATA_LOGGING}, choices);
  label.LoadFromResource(R_SE_SESSION_TYPE);
  int32_t type = description.SessionType();
  if (type < ESessionLapTiming || type > ESessionDataLogging) type = ESessionLapTiming;
  iForm->AddSelectionL(EItemType, label, choices, type);
  label.LoadFromResource(R_SE_TRACK);
  iForm->AddCustomL(EItemTrack, label, iTrackName);
  label.LoadFromResource(R_SE_TEST);
  iForm->AddCustomL(EItemTest, label, iTestName);
  label.LoadFromResource(R_SE_USE_OBD_SPEED);
  iForm->AddOnOffL(EItemUseObdSpeed, label, description.UseObdSpeed());
  label.LoadFromResource(R_SE_DRIVER);
  iForm->AddCustomL(EItemDriver, label, iDriver);
  label.LoadFromResource(R_SE_NOTES);
  iForm->AddTextL(EItemNotes, label, description.Notes(), true);
  label.LoadFromResource(R_SE_SAVE_NMEA);
  iForm->AddOnOffL(EItemSaveNmea, label, description.SaveNmea());
  UpdateValueTexts();
  UpdateVisibility();
  iForm->SetSelected(0);
}

// --- Form rules ----------------------------------------------------------------------------------

void CSessionEditorView::UpdateVisibility() {
  if (!iForm) return;
  const bool import = iMode == EImport;
  const int32_t type = Item(EItemType)->iValue;
  // One pass over the items, then one rebuild of the rows.
  Item(EItemImportFormat)->iVisible = import;
  Item(EItemImportFiles)->iVisible = import;
  Item(EItemTrack)->iVisible = type == ESessionLapTiming;
  Item(EItemTest)->iVisible = type == ESessionPerformance;
  Item(EItemUseObdSpeed)->iVisible = type == ESessionPerformance && iObdSpeedAvailable;
  Item(EItemSaveNmea)->iVisible = !import;
  iForm->RebuildL();
}

void CSessionEditorView::UpdateValueTexts() {
  if (!iForm) return;
  CSettingsItem* files = Item(EItemImportFiles);
  if (iFiles.Count() == 0) files->iText.LoadFromResource(R_GUI_NOT_SELECTED);
  else files->iText.FormatN(R_SE_FILE_COUNT, iFiles.Count());
  CSettingsItem* track = Item(EItemTrack);
  if (iTrackName.IsEmpty()) track->iText.LoadFromResource(R_GUI_NOT_SELECTED);
  else if (iTrackName.Equals(CTrackSession::KAutomaticTrack)) track->iText.LoadFromResource(R_DETECT_AUTOMATIC);
  else track->iText.Copy(iTrackName);
  CSettingsItem* test = Item(EItemTest);
  if (iTestName.IsEmpty()) test->iText.LoadFromResource(R_GUI_NOT_SELECTED);
  else test->iText.Copy(iTestName);
  Item(EItemDriver)->iText.Copy(iDriver);
  iForm->RebuildL();
}

void CSessionEditorView::SettingChanged(CSettingsListControl&, CSettingsItem& aItem) {
  // Files of another format cannot be read by the new one.
  if (aItem.iId == EItemImportFormat) {
    iFiles.Reset();
    UpdateValueTexts();
  }
  if (aItem.iId == EItemType) UpdateVisibility();
}

int32_t CSessionEditorView::EditCustom(CSettingsListControl&, CSettingsItem& aItem) {
  switch (aItem.iId) {
    case EItemImportFiles: return ChooseFiles();
    case EItemTrack: return ChooseTrack();
    case EItemTest: return ChooseTest();
    case EItemDriver: return ChooseDriver();
    default: return 0;
  }
}

int32_t CSessionEditorView::ChooseTrack() {
  CDialogs& dialogs = ViewObserver()->Dialogs();
  CTrackList& tracks = iModel->Tracks();
  // "Automatic" first: the track is then found from the route.
  CPwStringList choices;
  CPwString text;
  text.LoadFromResource(R_DETECT_AUTOMATIC);
  choices.AppendCopy(text);
  for (int32_t i = 0; i < tracks.Count(); ++i) choices.AppendCopy(tracks.At(i).Name());
  const int32_t createRow = choices.Count();
  text.LoadFromResource(R_SE_CREATE_TRACK);
  choices.AppendCopy(text);
  text.LoadFromResource(R_SE_DOWNLOAD_TRACK);
  choices.AppendCopy(text);
  CPwString title;
  title.LoadFromResource(R_SE_TRACK);
  const int32_t current = iTrackName.Equals(CTrackSession::KAutomaticTrack) ? 0 : tracks.Find(iTrackName) + 1;
  const int32_t chosen = dialogs.SelectFromList(title, CPwStringC(), choices, current > 0 || iTrackName.Equals(CTrackSession::KAutomaticTrack) ? current : -1);
  if (chosen < 0) return 0;
  if (chosen == 0) {
    iTrackName.Copy(CTrackSession::KAutomaticTrack);
  } else if (chosen < createRow) {
    iTrackName.Copy(tracks.At(chosen - 1).Name());
  } else if (chosen == createRow) {
    CPwString name;
    title.LoadFromResource(R_SE_NEW_TRACK_NAME);
    if (!dialogs.EditText(name, title, false, false)) return 0;
    if (const uint16_t problem = tracks.CheckName(name, nullptr)) {
      dialogs.ShowNote(CDialogs::EConfirmedError, problem);
      return 0;
    }
    CPwString root;
    root.Copy(iModel->Settings().CurrentStorageRoot());
    if (!EnsureFolders(root) || !tracks.Create(name, root)) {
      dialogs.ShowNote(CDialogs::EConfirmedError, R_STORAGE_NOT_ENOUGH);
      return 0;
    }
    iTrackName.Copy(name);
  } else {
    // The download view adds what it fetches to the track list; the form waits for it.
    ViewObserver()->OpenView(CGui::EDownloadTrackView);
    return 0;
  }
  UpdateValueTexts();
  return 1;
}

int32_t CSessionEditorView::ChooseTest() {
  CPerformanceTestList& tests = iModel->Tests();
  CPwStringList choices;
  for (int32_t i = 0; i < tests.Count(); ++i) choices.AppendCopy(tests.At(i)->Name());
  CPwString title;
  title.LoadFromResource(R_SE_TEST);
  const int32_t chosen =
      ViewObserver()->Dialogs().SelectFromList(title, CPwStringC(), choices, tests.IndexOfName(iTestName));
  if (chosen < 0) return 0;
  iTestName.Copy(tests.At(chosen)->Name());
  UpdateValueTexts();
  return 1;
}

int32_t CSessionEditorView::ChooseDriver() {
  CDialogs& dialogs = ViewObserver()->Dialogs();
  CPwStringList names;
  if (!iDriver.IsEmpty()) names.AppendCopy(iDriver);
  const CSessionList& sessions = iModel->Sessions();
  for (int32_t i = 0; i < sessions.Count(); ++i) {
    CPwStringC driver = sessions.At(i)->Driver();
    if (!driver.IsEmpty() && !names.Contains(driver)) names.AppendCopy(driver);
  }
  CPwString title;
  title.LoadFromResource(R_SE_DRIVER_NAME);
  bool typed = names.Count() == 0;
  if (!typed) {
    const int32_t otherRow = names.Count();
    CPwString other;
    other.LoadFromResource(R_SE_OTHER);
    names.AppendCopy(other);
    const int32_t chosen = dialogs.SelectFromList(title, CPwStringC(), names, iDriver.IsEmpty() ? -1 : 0);
    if (chosen < 0) return 0;
    if (chosen < otherRow) iDriver.Copy(names.At(chosen));
    typed = chosen == otherRow;
  }
  if (typed) {
    CPwString name{CPwStringC(iDriver)};
    if (!dialogs.EditText(name, title, false, false)) return 0;
    iDriver.Copy(name);
  }
  UpdateValueTexts();
  return 1;
}

int32_t CSessionEditorView::ChooseFiles() {
  CDialogs& dialogs = ViewObserver()->Dialogs();
  CPwStringList extensions;
  FormatExtensions(Item(EItemImportFormat)->iValue, extensions);
  CPwString title;
  title.LoadFromResource(R_SE_IMPORT_FILE);
  CFileRecordList rows(16);
  int32_t changed = 0;
  const int32_t code = Trap([&] {
    AppendMediaRecords(iModel->Drives(), rows);
    for (;;) {
      CPwStringList texts;
      CPwVector<int32_t> marks(16);
      bool files = false;
      for (CFileRecord* row : rows) {
        texts.AppendCopy(row->DisplayText());
        marks.Append(0);
        files = files || !row->IsFolder();
      }
      CPwString folder;
      if (!files) {
        // Media and folders only: one is opened.
        const int32_t chosen = dialogs.SelectFromList(title, CPwStringC(), texts, -1);
        if (chosen < 0) break;
        folder.Copy(rows.At(chosen)->Name());
      } else {
        // Files are marked; a folder marked alone is opened instead.
        if (!dialogs.SelectMultiple(title, texts, marks)) break;
        CPwStringList chosenFiles;
        int32_t folders = 0, openRow = -1;
        for (int32_t i = 0; i < rows.Count(); ++i) {
          if (!marks.At(i)) continue;
          if (rows.At(i)->IsFolder()) {
            ++folders;
            openRow = i;
          } else {
            chosenFiles.AppendCopy(rows.At(i)->Name());
          }
        }
        if (chosenFiles.Count() > 0) {
          iFiles.CopyFrom(chosenFiles);
          changed = 1;
          break;
        }
        if (folders != 1) break;
        folder.Copy(rows.At(openRow)->Name());
      }
      ResetFileRecords(rows);
      AppendFolderRecords(folder, extensions, rows);
    }
  });
  ResetFileRecords(rows);
  LeaveIfError(code);
  if (changed) UpdateValueTexts();
  return changed;
}

// --- Commands ------------------------------------------------------------------------------------

int32_t CSessionEditorView::CommandState(int32_t aCommand) {
  if (iImporting) return ECommandDisabled;
  return CCustomView::CommandState(aCommand);
}

int32_t CSessionEditorView::HandleCommand(int32_t aCommand) {
  if (!ViewObserver() || !iForm) return 1;
  if (iImporting) return 0;
  switch (aCommand) {
    case pwcmd::KOpen:
      (void)iForm->EditFocused();
      UpdateVisibility();
      return 0;
    case pwcmd::KStart:
    case pwcmd::KOk:
      if (iMode != EProperties) Accept();
      return 0;
    case pwcmd::KBack:
    case pwcmd::KCancel:
      Dismiss();
      return 0;
    default:
      return 1;
  }
}

int32_t CSessionEditorView::HandleKey(int32_t aKeyCode, int32_t aShift) {
  (void)aShift;
  if (aKeyCode != KEscapeKey) return 1;
  return HandleCommand(iMode == EProperties ? pwcmd::KBack : pwcmd::KCancel);
}

void CSessionEditorView::FillDescription(CSessionInfo& aTarget) const {
  aTarget.SetTitle(Item(EItemTitle)->iText);
  const int32_t type = Item(EItemType)->iValue;
  aTarget.SetSessionType(type);
  aTarget.SetTrackName(type == ESessionLapTiming ? CPwStringC(iTrackName) : CPwStringC());
  aTarget.SetTestName(type == ESessionPerformance ? CPwStringC(iTestName) : CPwStringC());
  aTarget.SetDriver(iDriver);
  aTarget.SetNotes(Item(EItemNotes)->iText);
  aTarget.SetSaveNmea(iMode == EImport ? 0 : Item(EItemSaveNmea)->iValue);
  aTarget.SetUseObdSpeed(type == ESessionPerformance && iObdSpeedAvailable ? Item(EItemUseObdSpeed)->iValue : 0);
}

void CSessionEditorView::Accept() {
  CDialogs& dialogs = ViewObserver()->Dialogs();
  CPwString title{CPwStringC(Item(EItemTitle)->iText)};
  if (title.IsEmpty()) {
    dialogs.ShowNote(CDialogs::EConfirmedError, R_SE_NEED_TITLE);
    return;
  }
  const int32_t type = Item(EItemType)->iValue;
  std::unique_ptr<CSessionInfo> description(new CSessionInfo);
  FillDescription(*description);
  if (iMode == EImport) {
    if (iFiles.Count() == 0) {
      dialogs.ShowNote(CDialogs::EConfirmedError, R_SE_NO_FILES);
      return;
    }
    StartImport(*description);
    return;
  }
  if (type == ESessionPerformance && iTestName.IsEmpty()) {
    dialogs.ShowNote(CDialogs::EConfirmedError, R_SE_NEED_TEST);
    return;
  }
  if (type == ESessionLapTiming && iTrackName.IsEmpty()) {
    dialogs.ShowNote(CDialogs::EConfirmedError, R_SE_NEED_TRACK);
    return;
  }
  CSessionView* sessionView = ViewOf<CSessionView>(*iModel, CGui::ESessionView);
  if (!sessionView || !sessionView->StartNewSession(*description)) return;
  CSettings& settings = iModel->Settings();
  settings.SetLastDriver(iDriver);
  settings.SetLastSessionType(type);
  settings.SetSaveNmea(description->SaveNmea());
  if (type == ESessionLapTiming) settings.SetLastTrack(iTrackName);
  if (type == ESessionPerformance) settings.SetLastTest(iTestName);
  (void)settings.SaveSafely();
  // The editor makes way for the session screen.
  MCustomViewObserver* views = ViewObserver();
  views->Back();
  views->OpenView(CGui::ESessionView);
}

void CSessionEditorView::Dismiss() {
  if (iMode == EProperties) {
    if (CTrackSession* session = iModel->TrackSession()) {
      std::unique_ptr<CSessionInfo> edited(new CSessionInfo);
      edited->CopyFrom(session->Info());
      FillDescription(*edited);
      session->ApplySessionSettings(*edited);
      (void)session->Info().SaveSafely();
      iModel->Sessions().Update(session->Info());
      iModel->UpdateViews(2);
    }
  }
  Close();
}

void CSessionEditorView::Close() { ViewObserver()->Back(); }

// --- Import --------------------------------------------------------------------------------------

void CSessionEditorView::StartImport(CSessionInfo& aDescription) {
  // The files are read in name order.
  iFiles.Sort(1);
  if (!iModel->NewSession(aDescription)) return;
  CTrackSession* session = iModel->TrackSession();
  // Imported, not recorded live: such a session is never resumed.
  session->Info().SetRecorded(0);
  CSessionImporter* importer = nullptr;
  int32_t code = Trap([&] {
    importer = CSessionImporter::NewL(*session, &iModel->ObdChannels(), iFiles, Item(EItemImportFormat)->iValue);
  });
  if (code == KErrNone) {
    session->StartImport(importer);
    iImporting = true;
    code = Trap([&] { iModel->RunWorker(importer, this, R_IMPORTING); });
  }
  if (code != KErrNone) {
    iImporting = false;
    DropImportedSession();
    ViewObserver()->Dialogs().ShowNote(CDialogs::EConfirmedError,
                                       [&] {
                                         CPwString text;
                                         CSessionInfo::LoadFailureMessage(code, text);
                                         return text;
                                       }());
  }
}

void CSessionEditorView::DropImportedSession() {
  CTrackSession* session = iModel->TrackSession();
  if (!session) return;
  std::unique_ptr<CSessionInfo> entry(new CSessionInfo);
  entry->CopyFrom(session->Info());
  session->StopRecording();
  iModel->CloseSession();
  iModel->Sessions().Remove(*entry);
}

void CSessionEditorView::WorkerDone(int32_t aCode) {
  iImporting = false;
  CTrackSession* session = iModel->TrackSession();
  int32_t code = aCode;
  if (session && code == KErrNone) code = Trap([&] { session->EndImport(); });
  CDialogs& dialogs = ViewObserver()->Dialogs();
  if (code != KErrNone || !session) {
    DropImportedSession();
    CPwString text;
    if (code == KErrNoMemory) text.LoadFromResource(R_MEMORY_FULL);
    else text.FormatN(R_IMPORT_FAILED, code);
    dialogs.ShowNote(CDialogs::EConfirmedError, text);
    return;
  }
  iModel->CloseSession();
  dialogs.ShowNote(CDialogs::EInformation, R_IMPORT_SUCCESSFUL);
  Close();
  FinishSwitch(*iModel);
}

void CSessionEditorView::WorkerCancelled() {
  iImporting = false;
  DropImportedSession();
}
