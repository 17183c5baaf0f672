#include "app/model.h"
#include "app/dialogs/dialogs.h"

#include "exchange/download_track_list.h"
#include "exchange/web_client_engine.h"
#include "foundation/drives.h"
#include "foundation/paths.h"
#include "platform/screen_saver.h"
#include "platform/sdl_audio.h"
#include "platform/serial_devices.h"
#include "storage/plot_list_loader.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "storage/settings_items.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"
#include "timing/track_session.h"
#include "timing/trap_line.h"

namespace {

// The string provider reads the units from the settings.
class TSettingsUnits final : public MUnitsSource {
 public:
  explicit TSettingsUnits(const CSettings& aSettings) : iSettings(&aSettings) {}
  int32_t Units() const override { return iSettings->Units(); }

 private:
  const CSettings* iSettings;
};

constexpr char KDeviceIdentity[] = "Pacewright-Linux";

}  // namespace

// --- CGuiCore ------------------------------------------------------------------------------

CGuiCore::~CGuiCore() { DestroyGui(); }

void CGuiCore::ConstructL(const TGuiFactory& aGuiFactory, CModel& aModel) {
  iDrives.reset(CPwDrives::NewL());
  iSessions.reset(new CSessionList(*iDrives));
  // The track list refers to the settings, so they exist first.
  iSettings.reset(new CSettings(*iDrives));
  iTracks.reset(new CTrackList(*iSettings, *iDrives));
  iDownloadTracks.reset(new CDownloadTrackList());
  iTests.reset(CPerformanceTestList::NewL());
  CCore::ConstructMembersL();
  iUnits.reset(new TSettingsUnits(*iSettings));
  iStrings.reset(CStringProvider::NewL(iUnits.get()));
  if (aGuiFactory) iGui.reset(aGuiFactory(aModel));
  iTests->AddDefaultTestsL();
}

void CGuiCore::DestroyGui() { iGui.reset(); }

void CGuiCore::UpdateViews(int32_t aCode) {
  if (iGui && aCode != 0) iGui->UpdateViews(aCode);
}

// --- CModel: construction ------------------------------------------------------------------

CModel* CModel::NewL(MActiveSchedulerObserver* aScheduler, const TGuiFactory& aGuiFactory) {
  return PwNewL<CModel>(aScheduler, aGuiFactory);
}

void CModel::ConstructL(MActiveSchedulerObserver* aScheduler, const TGuiFactory& aGuiFactory) {
  iScheduler = aScheduler;
  CGuiCore::ConstructL(aGuiFactory, *this);
  SetDeviceSettings(&iDeviceSettings);
  MProgressDisplay* progress = Gui() ? Gui()->ProgressDisplay() : nullptr;
  iWorkerEngine.reset(new CWorkerEngine(aScheduler, progress));
  iWebClient.reset(new CWebClientEngine(aScheduler, progress));
  // Linux receivers pair as rfcomm serial devices, so there is no Bluetooth stack to search.
  iInquiry.reset(new CInquireDevicesEngine(aScheduler, nullptr));
  iDiscovery.reset(new CDiscoverServiceEngine(aScheduler, nullptr));
  // The device connections register last: a worker step wins a tie against a device batch.
  CreateConnectionsL(aScheduler);
  iAudio.reset(new PwSdlAudio());
}

CModel::~CModel() {
  // What was recorded keeps its summary, also when the program ends with a session open.
  (void)Trap([&] { CloseSession(); });
  StopAllDevices();
  iWebClient.reset();
  iWorkerEngine.reset();
  iInquiry.reset();
  iDiscovery.reset();
  DestroySession();
  DestroyGui();
  iAudio.reset();
}

// --- Start-up ------------------------------------------------------------------------------

int32_t CModel::StartUp() {
  CSettings& settings = Settings();
  (void)LoadSettingsOfInstallation(settings, pwplat::ReceiverDeviceRoot());
  Tests().Load();

  CPwDrives& drives = Drives();
  drives.Refresh();
  auto available = [&] {
    const CPwDriveInfo* drive = drives.DriveOfPath(settings.CurrentStorageRoot());
    return drive && drive->IsPresent();
  };
  if (!available()) {
    int32_t picked = -1;
    if (MModelDialogs* dialogs = Dialogs()) {
      const CPwDriveInfo* missing = drives.DriveOfPath(settings.CurrentStorageRoot());
      picked = dialogs->SelectStorage(missing ? missing->Name() : settings.CurrentStorageRoot(), drives);
    }
    if (picked >= 0 && picked < drives.Count() && drives.At(picked).IsPresent()) {
      CPwString root;
      root.Copy(drives.At(picked).RootPath());
      settings.SetStorageRoot(root);
      settings.SetCurrentStorageRoot(root);
    } else {
      drives.Refresh();
      if (!available()) return 0;
    }
  }
  CPwString root;
  root.Copy(settings.CurrentStorageRoot());
  if (Gui()) Gui()->SetupScreenshots(root);
  if (!EnsureFolders(root)) {
    CPwString text;
    text.LoadFromResource(R_STORAGE_NOT_ENOUGH);
    ShowError(text);
    return 0;
  }
  Sessions().Refresh();
  Tracks().Refresh();
  if (settings.StartupWarning() != 0)
    if (MModelDialogs* dialogs = Dialogs()) dialogs->ShowStartupWarning();
  return 1;
}

// --- Free space ----------------------------------------------------------------------------

int32_t CModel::FreeSpaceKb(CPwStringC aFolder) const {
  if (iFreeSpaceQuery) return iFreeSpaceQuery(aFolder);
  return ::FreeSpaceKb(aFolder);
}

int32_t CModel::ComputeSpaceState(int32_t aFreeKb) const {
  if (aFreeKb <= iVeryLowKb) return ESpaceVeryLow;
  if (aFreeKb <= iLowKb) return ESpaceLow;
  return ESpaceEnough;
}

int32_t CModel::WatchFreeSpace(int32_t aVeryLowKb, int32_t aLowKb, CPwStringC aFolder) {
  iVeryLowKb = aVeryLowKb;
  iLowKb = aLowKb;
  iWatchFolder.Copy(aFolder);
  iWatching = true;
  iSpaceState = ComputeSpaceState(FreeSpaceKb(iWatchFolder));
  return iSpaceState;
}

void CModel::FormattedFreeSpace(CPwStringC aFolder, CPwString& aText) const {
  CStringProvider::FormatStorageSize(FreeSpaceKb(aFolder), aText);
}

int32_t CModel::CheckStorageBeforeSession(CPwStringC aFolder) {
  const int32_t state = WatchFreeSpace(KVeryLowSpaceKb, KLowSpaceKb, aFolder);
  if (state == ESpaceEnough) return 1;
  CPwString size, text;
  FormattedFreeSpace(aFolder, size);
  if (state == ESpaceVeryLow) {
    StopWatchingFreeSpace();
    text.FormatU(R_STORAGE_VERY_LOW_NOT_STARTED, size);
    ShowError(text);
    return 0;
  }
  text.FormatU(R_STORAGE_LOW_STARTED, size);
  ShowWarning(text);
  return 1;
}

void CModel::Housekeeping() {
  if (!iWatching) return;
  const int32_t state = ComputeSpaceState(FreeSpaceKb(iWatchFolder));
  if (state == iSpaceState) return;
  iSpaceState = state;
  if (state != ESpaceVeryLow) {
    UpdateViews(1);
    return;
  }
  PauseSession();
  StopWatchingFreeSpace();
  UpdateViews(1);
  CPwString folder, size, text;
  folder.Copy(iSession ? iSession->Info().StorageRoot() : Settings().CurrentStorageRoot());
  FormattedFreeSpace(folder, size);
  text.FormatU(R_STORAGE_VERY_LOW_PAUSED, size);
  ShowError(text);
}

void CModel::ShowError(CPwStringC aText) const {
  if (MModelDialogs* dialogs = Dialogs()) dialogs->ShowErrorNote(aText);
}

void CModel::ShowWarning(CPwStringC aText) const {
  if (MModelDialogs* dialogs = Dialogs()) dialogs->ShowWarningNote(aText);
}

// --- Session control -----------------------------------------------------------------------

void CModel::DestroySession() {
  if (!iSession) return;
  // The worker engine must not step a loader that goes with the session.
  if (iWorkerEngine && iWorkerEngine->Worker() && iWorkerEngine->Worker() == iSession->SamplesLoader())
    iWorkerEngine->Cancel();
  SetParsedDataObserver(nullptr);
  iSession.reset();
}

bool CModel::StartTimingOrChoose() {
  if (iSession->StartTiming()) return true;
  const int32_t chosen = iSession->IsLapTiming() ? ChooseAnotherTrack() : ChooseAnotherTest();
  return chosen != 0 && iSession->StartTiming() != 0;
}

int32_t CModel::NewSession(const CSessionInfo& aDescription) {
  CloseSession();
  CPwString root;
  root.Copy(Settings().CurrentStorageRoot());
  iSession.reset(CTrackSession::NewL(*this));
  const int32_t code = Trap([&] { iSession->NewSession(aDescription, root); });
  if (code != KErrNone) {
    DestroySession();
    return 0;
  }
  Sessions().Add(iSession->Info());
  SetParsedDataObserver(iSession.get());
  if (!StartTimingOrChoose()) {
    CloseSession();
    return 0;
  }
  UpdateViews(1);
  return 1;
}

int32_t CModel::OpenSession(const CSessionInfo& aRecord, MWorkerObserver* aObserver) {
  CloseSession();
  iSession.reset(CTrackSession::NewL(*this));
  if (!iSession->OpenStoredSession(aRecord)) {
    DestroySession();
    return 0;
  }
  SetParsedDataObserver(iSession.get());
  iLoadObserver.iNext = aObserver;
  CPlotListLoader* loader = iSession->SamplesLoader();
  if (!loader) {
    iSession->FinishLoading();
    if (aObserver) aObserver->WorkerDone(KErrNone);
    return 1;
  }
  const int32_t code = Trap([&] { RunWorker(loader, &iLoadObserver, R_SESSION_LOADING); });
  if (code != KErrNone) {
    // No progress dialog: load here instead, the session is still wanted.
    const int32_t failure = Trap([&] { iSession->LoadSamplesL(); });
    if (aObserver) aObserver->WorkerDone(failure);
  }
  return 1;
}

void CModel::TLoadObserver::WorkerDone(int32_t aCode) {
  CTrackSession* session = iModel->iSession.get();
  if (session && session->SamplesLoader()) {
    // A failed step leaves the loader open; what was read so far is kept.
    if (aCode != KErrNone) session->SamplesLoader()->Cancel();
    session->FinishLoading();
  }
  iModel->UpdateViews(2);
  MWorkerObserver* next = iNext;
  iNext = nullptr;
  if (next) next->WorkerDone(aCode);
}

void CModel::TLoadObserver::WorkerCancelled() {
  CTrackSession* session = iModel->iSession.get();
  if (session && session->SamplesLoader()) session->FinishLoading();
  MWorkerObserver* next = iNext;
  iNext = nullptr;
  if (next) next->WorkerCancelled();
}

bool CModel::PrepareRecording() {
  if (!iSession) return false;
  int32_t started = 0;
  const int32_t code = Trap([&] { started = iSession->StartRecording(); });
  (void)started;  // a stored session that cannot record is still shown live
  return code == KErrNone;
}

void CModel::DeviceBack(TDataKind aKind) {
  if (aKind == TDataKind::Gps && iSession) iSession->BeginTraceSegment();
}

void CModel::PauseSession() {
  if (!iSession) return;
  iSession->StopRecording();
  PauseDevices();
}

void CModel::CloseSession() {
  if (iSession) {
    if (iSession->SamplesLoader()) {
      // Closed while loading: the figures of a partial load must not replace the stored ones.
      if (iWorkerEngine && iWorkerEngine->Worker() == iSession->SamplesLoader()) iWorkerEngine->Cancel();
      // The one waiting for the load may have let the session go on hearing of the cancel.
      if (iSession) iSession->StopRecording();
    } else {
      iSession->CloseSession();
      const CSessionInfo& info = iSession->Info();
      if (!info.Identifier().IsEmpty() && !info.IsReadOnly() && !Sessions().Update(info)) Sessions().Add(info);
    }
    DestroySession();
  }
  StopAllDevices();
}

void CModel::DiscardSession() {
  if (iSession) {
    if (iWorkerEngine && iSession->SamplesLoader() && iWorkerEngine->Worker() == iSession->SamplesLoader())
      iWorkerEngine->Cancel();
    if (iSession) iSession->StopRecording();
    DestroySession();
  }
  StopAllDevices();
}

int32_t CModel::ChooseAnotherTrack() {
  MModelDialogs* dialogs = Dialogs();
  if (!dialogs || !iSession) return 0;
  const int32_t index = dialogs->SelectReplacementTrack();
  if (index < 0 || index >= Tracks().Count()) return 0;
  CSessionInfo& info = iSession->Info();
  info.SetTrackName(Tracks().At(index).Name());
  info.SaveSafely();
  Sessions().Update(info);
  return 1;
}

int32_t CModel::ChooseAnotherTest() {
  MModelDialogs* dialogs = Dialogs();
  if (!dialogs || !iSession) return 0;
  const int32_t index = dialogs->SelectReplacementTest();
  const CPerformanceTest* test = Tests().At(index);
  if (!test) return 0;
  CSessionInfo& info = iSession->Info();
  info.SetTestName(test->Name());
  info.SaveSafely();
  Sessions().Update(info);
  return 1;
}

// --- Live status ---------------------------------------------------------------------------

bool CModel::GpsConnectionMissing() const {
  // A replay counts as a started device: until its file is open there is no connection.
  const CGpsClient& client = GpsClient();
  return (client.GpsStarted() || client.Replaying()) && client.GpsStatus() == CGpsClient::ENotConnected;
}

bool CModel::ObdConnectionMissing() const {
  return GpsClient().ObdStarted() && GpsClient().ObdStatus() == CGpsClient::ENotConnected;
}

bool CModel::LoggerConnectionMissing() const {
  return GpsClient().LoggerStarted() && GpsClient().LoggerStatus() == CGpsClient::ENotConnected;
}

bool CModel::FixMissing() const { return GpsState() == EGpsNoFix; }

bool CModel::MemoryFull() const {
  const CGpsClient& client = GpsClient();
  return client.GpsStatus() == CGpsClient::EFailed || client.ObdStatus() == CGpsClient::EFailed ||
         client.LoggerStatus() == CGpsClient::EFailed;
}

void CModel::ClearObdChannels() { GpsClient().ClearObdChannels(); }

void CModel::AddObdChannel(int32_t aPid, int32_t aPriority) { GpsClient().AddObdChannel(aPid, aPriority); }

// --- Platform operations -------------------------------------------------------------------

int32_t CModel::DeviceIdentity(CPwByteArray& aIdentity) const {
  aIdentity.CopyRaw(KDeviceIdentity, static_cast<int32_t>(sizeof KDeviceIdentity - 1));
  return 1;
}

void CModel::ShowKeysLocked() {
  if (MModelDialogs* dialogs = Dialogs()) dialogs->ShowKeysLocked();
}

void CModel::RunWorker(CWorker* aWorker, MWorkerObserver* aObserver, uint16_t aTitleId) {
  iWorkerEngine->Start(aWorker, aObserver, aTitleId);
}

// --- Announcements -------------------------------------------------------------------------

void CModel::AnnouncementClips(CPwStringC aTokens, std::vector<std::string>& aPaths) const {
  aPaths.clear();
  CPwString install;
  InstallFolder(install);
  int32_t from = 0;
  while (from <= aTokens.Length()) {
    int32_t end = from;
    while (end < aTokens.Length() && aTokens.CharAt(end) != u';') ++end;
    const CPwStringC token = aTokens.Mid(from, end - from);
    from = end + 1;
    // A token is a file name, never a path.
    if (token.IsEmpty() || !IsValidFileName(token) || token.Equals(u"..") || token.Equals(u".")) continue;
    // The user's own recordings on the storage medium win over the installed clips.
    CPwString path;
    MakeFilePath(EFileSound, Settings().CurrentStorageRoot(), token, path);
    if (!FileExists(path) && !install.IsEmpty()) {
      path.Copy(install);
      path.Append(u"Sounds/");
      path.Append(token);
      path.Append(u".wav");
    }
    if (FileExists(path)) aPaths.push_back(PwToUtf8(path));
  }
}

void CModel::Announce(CPwStringC aTokens) {
  iLastAnnouncement.Copy(aTokens);
  ++iAnnouncements;
  // Queued, never waited for: a newer announcement replaces one still speaking.
  std::vector<std::string> paths;
  AnnouncementClips(aTokens, paths);
  iLastClips = paths.empty() ? 0 : iAudio->PlayClips(paths);
}

// --- Settings as the GPS client reads them ---------------------------------------------------

int32_t CModel::TSettingsDevices::GpsType() const { return iModel->Settings().Gps().iType; }
int32_t CModel::TSettingsDevices::GpsPort() const { return iModel->Settings().Gps().iSerialPort; }
int32_t CModel::TSettingsDevices::GpsBaudRate() const { return iModel->Settings().Gps().iBaudRate; }
int32_t CModel::TSettingsDevices::GpsReceiverRate() const { return iModel->Settings().GpsReceiverRate(); }
int32_t CModel::TSettingsDevices::GpsFoundBaudRate() const { return iModel->Settings().GpsFoundBaudRate(); }

void CModel::GpsBaudRateFound(int32_t aBaud) {
  CSettings& settings = CGuiCore::Settings();
  if (settings.GpsFoundBaudRate() == aBaud / 100) return;
  settings.GpsFoundBaudRate() = aBaud / 100;
  (void)settings.SaveSafely();  // a medium that takes nothing only costs the next search
}
CPwStringC CModel::TSettingsDevices::InputFile() const { return iModel->Settings().GpsInputFile(); }
CPwStringC CModel::TSettingsDevices::GpsdHost() const {
  const CPwStringC host = iModel->Settings().GpsdHost();
  return host.IsEmpty() ? MDeviceSettings::GpsdHost() : host;
}
int32_t CModel::TSettingsDevices::GpsdPort() const { return iModel->Settings().GpsdPort(); }
int32_t CModel::TSettingsDevices::ObdType() const { return iModel->Settings().Obd().iType; }
int32_t CModel::TSettingsDevices::ObdPort() const { return iModel->Settings().Obd().iSerialPort; }
int32_t CModel::TSettingsDevices::ObdBaudRate() const { return iModel->Settings().Obd().iBaudRate; }
int32_t CModel::TSettingsDevices::LoggerType() const { return iModel->Settings().Logger().iType; }
int32_t CModel::TSettingsDevices::LoggerPort() const { return iModel->Settings().Logger().iSerialPort; }
int32_t CModel::TSettingsDevices::LoggerBaudRate() const { return iModel->Settings().Logger().iBaudRate; }

// --- The live timer's requests ---------------------------------------------------------------------

void CModel::KeepBacklightOn(bool aKeep) {
  if (aKeep == iBacklightHeld) return;
  iBacklightHeld = aKeep;
  pwplat::SetScreenKeptOn(aKeep);
}

void CModel::TimerViewLeft() {
  iTimerView = false;
  KeepBacklightOn(false);
}

int32_t CModel::AddTrapAtLivePosition() {
  CTrackSession* session = iSession.get();
  CDialogs* dialogs = dynamic_cast<CDialogs*>(Dialogs());
  if (!session || !dialogs || !session->IsRecording() || !session->TrapsEditable()) return 0;
  bool start = false, finish = false;
  for (int32_t i = 0; const CTrapLine* trap = session->TrapAt(i); ++i) {
    start = start || CTrapLine::IsStartType(trap->Type());
    finish = finish || CTrapLine::IsFinishType(trap->Type());
  }
  const int32_t type = dialogs->SelectTrapType(start, finish);
  uint16_t name = 0;
  switch (type) {
    case ETrapStart: name = R_TRAP_SHORT_START; break;
    case ETrapFinish: name = R_TRAP_SHORT_FINISH; break;
    case ETrapStartFinish: name = R_TRAP_SHORT_START_FINISH; break;
    case ETrapSplit: name = R_TRAP_SHORT_SPLIT; break;
    case ETrapStandingStart: name = R_TRAP_SHORT_STANDING_START; break;
    default: return 0;
  }
  // The session may have been closed while the question was up.
  if (iSession.get() != session) return 0;
  CPwString text;
  text.LoadFromResource(name);
  if (!session->AddTrapAtLivePosition(type, text)) return 0;
  (void)session->Track().SaveSafely();
  UpdateViews(2);
  return 1;
}
