#include "cli/headless_model.h"

#include "acquisition/channel_state.h"
#include "acquisition/obd_channels.h"
#include "cli/args.h"
#include "cli/cli_text.h"
#include "foundation/drives.h"
#include "foundation/paths.h"
#include "platform/interrupt_watch.h"
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

void CCliScheduler::ExitSequence(int32_t) { iQuit = true; }

CHeadlessModel* CHeadlessModel::NewL(bool aUseDocuments, bool aProgressBar) {
  return PwNewL<CHeadlessModel>(aUseDocuments, aProgressBar);
}

void CHeadlessModel::ConstructL(bool aUseDocuments, bool aProgressBar) {
  iScheduler.reset(new CCliScheduler(iHost));
  if (aProgressBar) iProgress.reset(new CTextProgressBar(stderr, true));
  iWorkers.reset(new CWorkerEngine(iScheduler.get(), iProgress.get()));

  iDrives.reset(CPwDrives::NewL());
  iSettings.reset(new CSettings(*iDrives));
  (void)LoadSettingsOfInstallation(*iSettings, pwplat::ReceiverDeviceRoot());
  // The documents folder stands in for a medium that is not there now, as when the
  // application starts without the medium it recorded to last.
  const CPwDriveInfo* drive = iDrives->DriveOfPath(iSettings->CurrentStorageRoot());
  if (aUseDocuments || !drive || !drive->IsPresent()) iSettings->SetCurrentStorageRoot(iDrives->DocumentsPath());

  iTests.reset(CPerformanceTestList::NewL());
  iTests->AddDefaultTestsL();
  iTests->Load();
  iOwnObdChannels.reset(CObdChannelList::NewL());
  iOwnBearing.reset(CSlowBearing::NewL());
  iObdChannels = iOwnObdChannels.get();
  iBearing = iOwnBearing.get();
  iTracks.reset(new CTrackList(*iSettings, *iDrives));
  iTracks->Refresh();
}

CHeadlessModel::~CHeadlessModel() {
  // The engine is registered with the scheduler and goes first.
  iWorkers.reset();
  iProgress.reset();
}

CSessionList& CHeadlessModel::Sessions() {
  if (!iSessions) {
    iSessions.reset(new CSessionList(*iDrives));
    iSessions->Refresh();
  }
  return *iSessions;
}

CPwStringC CHeadlessModel::StorageRoot() const { return iSettings->CurrentStorageRoot(); }

CSessionInfo* CHeadlessModel::FindSession(CPwStringC aIdentifier) {
  CSessionList& sessions = Sessions();
  for (int32_t i = 0; i < sessions.Count(); ++i)
    if (sessions.At(i)->Identifier().Equals(aIdentifier)) return sessions.At(i);
  return nullptr;
}

std::unique_ptr<CTrackSession> CHeadlessModel::OpenSession(CPwStringC aIdentifier) {
  iLastLoadIncomplete = false;
  const CSessionInfo* record = FindSession(aIdentifier);
  if (!record) {
    const CSessionList& sessions = Sessions();
    for (int32_t i = 0; i < sessions.DamagedCount(); ++i)
      if (sessions.DamagedAt(i).Identifier().Equals(aIdentifier))
        throw TUserError(CliText(R_CLI_CANNOT_READ_SESSION, Utf8(aIdentifier)));
    throw TUserError(CliText(R_CLI_NO_SESSION, Utf8(aIdentifier)));
  }
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(*this));
  if (!session->OpenStoredSession(*record)) throw TUserError(CliText(R_CLI_CANNOT_READ_SESSION, Utf8(aIdentifier)));
  if (CPlotListLoader* loader = session->SamplesLoader()) {
    const int32_t code = RunWorker(*loader, R_SESSION_LOADING);
    if (code == KErrInterrupted) throw TUserError(CliText(R_CLI_INTERRUPTED));
    if (code != KErrNone) {
      loader->Cancel();
      session->FinishLoading();
      throw TUserError(CliTextUN(R_CLI_LOAD_FAILED, Utf8(aIdentifier), code));
    }
    iLastLoadIncomplete = loader->State() == CPlotListLoader::EIncomplete;
  }
  session->FinishLoading();
  return session;
}

void CHeadlessModel::RequireTrack(const CTrackSession& aSession) {
  if (!aSession.IsLapTiming() || aSession.Track().HasTraps()) return;
  const CPwStringC name = aSession.Info().TrackName();
  for (int32_t i = 0; i < iTracks->DamagedCount(); ++i) {
    const CTrackProfile& damaged = iTracks->DamagedAt(i);
    if (damaged.Name().CompareNoCase(name) != 0) continue;
    CPwString path;
    damaged.FilePath(path);
    throw TUserError(CliText(R_CLI_TRACK_DAMAGED, Utf8(name), Utf8(path)));
  }
  throw TUserError(CliText(R_CLI_NO_TRACK, Utf8(name)));
}

void CHeadlessModel::UseDeviceState(CObdChannelList& aObdChannels, const CSlowBearing& aBearing) {
  iObdChannels = &aObdChannels;
  iBearing = &aBearing;
}

void CHeadlessModel::UseOwnDeviceState() {
  iObdChannels = iOwnObdChannels.get();
  iBearing = iOwnBearing.get();
  iPlan = nullptr;
}

// --- The loop -------------------------------------------------------------------------------

void CHeadlessModel::RunLoop() {
  if (iScheduler->QuitRequested()) return;
  iScheduler->RunLoop(iStop);
}

int32_t CHeadlessModel::RunWorker(CWorker& aWorker, uint16_t aTextId) {
  // Ctrl-C cancels the work as the progress dialog's cancel would.
  CInterruptWatch watch([this] { iHost.Post([this] { Interrupt(); }); });
  TWorkerWait wait(*this);
  iWorkers->Start(&aWorker, &wait, aTextId);
  while (!wait.iEnded) {
    RunLoop();
    if (iScheduler->QuitRequested() && !wait.iEnded) {
      // Only a quit posted by a handler ends the loop here; the worker must not outlive it.
      iWorkers->Cancel();
      break;
    }
  }
  return wait.iCode;
}

void CHeadlessModel::TWorkerWait::WorkerDone(int32_t aCode) {
  iCode = aCode;
  iEnded = true;
  iModel.StopLoop();
}

void CHeadlessModel::TWorkerWait::WorkerCancelled() {
  iCode = KErrInterrupted;
  iEnded = true;
  iModel.StopLoop();
}

void CHeadlessModel::Interrupt() {
  iInterrupted = true;
  if (iWorkers->State() == CWorkerEngine::ERunning) {
    // The progress bar passes the cancel on like the dialog's cancel softkey would.
    if (iProgress && iProgress->IsShown())
      iProgress->RequestCancel();
    else
      iWorkers->Cancel();
    return;
  }
  StopLoop();
}

// --- MObdPollingPlan ------------------------------------------------------------------------

void CHeadlessModel::ClearObdChannels() {
  if (iPlan) iPlan->ClearObdChannels();
}

void CHeadlessModel::AddObdChannel(int32_t aPid, int32_t aPriority) {
  if (iPlan) iPlan->AddObdChannel(aPid, aPriority);
}
