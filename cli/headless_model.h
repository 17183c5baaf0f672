// The program around a track session when there is no window: the storage side (media,
// settings, track profiles, session catalogue, performance tests), the OBD channel list and the
// slow-bearing estimate, and the scheduler loop on a headless host with the worker engine, so
// that loading, import and export run as the same stepped workers as in the application, with
// a text progress bar on a terminal. Announcements have nowhere to go and are dropped; there
// is no GPS client behind the OBD polling plan unless a recording core is attached.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/scheduler.h"
#include "foundation/worker.h"
#include "platform/event.h"
#include "platform/loop_host.h"
#include "timing/session_model.h"

class CObdChannelList;
class CPwDrives;
class CSessionInfo;
class CSessionList;
class CSlowBearing;
class CTrackSession;

// The loop's scheduler: the quit message ends the loop it is noticed in instead of the process,
// so the command can close its session and report.
class CCliScheduler final : public CPwScheduler {
 public:
  using CPwScheduler::CPwScheduler;
  bool QuitRequested() const { return iQuit; }

 protected:
  void ExitSequence(int32_t aCode) override;

 private:
  bool iQuit = false;
};

class CHeadlessModel : public CPwBase, public MSessionModel, public MObdPollingPlan {
 public:
  // Leave code of a worker the user interrupted.
  static constexpr int32_t KErrInterrupted = -100;

  // Reads the settings and the user's performance tests and lists the track profiles. With
  // aUseDocuments new sessions and tracks go to the documents folder whatever the settings
  // say; otherwise to the settings' medium when it is present. aProgressBar shows workers'
  // progress on standard error.
  static CHeadlessModel* NewL(bool aUseDocuments, bool aProgressBar);
  ~CHeadlessModel() override;

  CPwDrives& Drives() const { return *iDrives; }
  CSettings& MutableSettings() { return *iSettings; }
  CTrackList& Tracks() { return *iTracks; }
  // The catalogue, scanned on first use.
  CSessionList& Sessions();
  CPerformanceTestList& Tests() { return *iTests; }
  // Where new sessions and tracks go (ends with '/').
  CPwStringC StorageRoot() const;

  // The catalogue entry of a session identifier, or null.
  CSessionInfo* FindSession(CPwStringC aIdentifier);
  // Opens a stored session and loads its samples as a worker, recomputing its laps or runs.
  // Raises TUserError when there is no such session or it cannot be read.
  std::unique_ptr<CTrackSession> OpenSession(CPwStringC aIdentifier);
  // The last OpenSession loaded only the head of a damaged samples file.
  bool LastLoadIncomplete() const { return iLastLoadIncomplete; }
  // Raises TUserError when a lap-timing session's track cannot be had: none of its name, or
  // its file is damaged.
  void RequireTrack(const CTrackSession& aSession);

  // Makes the device core's parsing state the one the track session sees (recording).
  void UseDeviceState(CObdChannelList& aObdChannels, const CSlowBearing& aBearing);
  // Back to the model's own (the core is about to go).
  void UseOwnDeviceState();
  // Where the OBD polling plan goes while recording (null: nowhere).
  void SetPollingPlan(MObdPollingPlan* aPlan) { iPlan = aPlan; }

  // --- The loop.
  PwHeadlessLoopHost& Host() { return iHost; }
  CCliScheduler& Scheduler() { return *iScheduler; }
  // Runs turns until StopLoop or a quit message.
  void RunLoop();
  // Ends RunLoop; from any thread.
  void StopLoop() { iStop.Set(); }
  // Runs aWorker to its end through the worker engine: 0, the leave code of the failed step,
  // or KErrInterrupted when Ctrl-C cancelled it.
  int32_t RunWorker(CWorker& aWorker, uint16_t aTextId);
  // Ctrl-C, on the loop's thread: cancels the running worker, else ends the loop.
  void Interrupt();
  bool WasInterrupted() const { return iInterrupted; }

  // --- MSessionModel
  const CSettings& Settings() const override { return *iSettings; }
  CPerformanceTestList& PerformanceTests() override { return *iTests; }
  CTrackList& TrackList() override { return *iTracks; }
  CObdChannelList& ObdChannels() override { return *iObdChannels; }
  const CSessionList* SessionCatalogue() const override { return iSessions.get(); }
  const CSlowBearing& SlowBearing() const override { return *iBearing; }
  MObdPollingPlan* ObdPollingPlan() override { return this; }
  void Announce(CPwStringC aTokens) override { (void)aTokens; }
  MActiveSchedulerObserver* RecordingScheduler() const override { return iScheduler.get(); }
  // --- MLiveStatus: nothing is missing without devices.
  bool GpsConnectionMissing() const override { return false; }
  bool ObdConnectionMissing() const override { return false; }
  bool LoggerConnectionMissing() const override { return false; }
  bool FixMissing() const override { return false; }
  bool StorageLow() const override { return false; }
  bool MemoryFull() const override { return false; }
  // --- MObdPollingPlan
  void ClearObdChannels() override;
  void AddObdChannel(int32_t aPid, int32_t aPriority) override;

 private:
  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);
  CHeadlessModel() = default;
  void ConstructL(bool aUseDocuments, bool aProgressBar);

  // Hears the end of the worker RunWorker started.
  class TWorkerWait final : public MWorkerObserver {
   public:
    explicit TWorkerWait(CHeadlessModel& aModel) : iModel(aModel) {}
    void WorkerDone(int32_t aCode) override;
    void WorkerCancelled() override;
    int32_t iCode = 0;
    bool iEnded = false;

   private:
    CHeadlessModel& iModel;
  };

  PwHeadlessLoopHost iHost;
  PwEvent iStop;
  std::unique_ptr<CCliScheduler> iScheduler;
  std::unique_ptr<CTextProgressBar> iProgress;
  std::unique_ptr<CWorkerEngine> iWorkers;
  std::unique_ptr<CPwDrives> iDrives;
  std::unique_ptr<CSettings> iSettings;
  std::unique_ptr<CTrackList> iTracks;
  std::unique_ptr<CSessionList> iSessions;
  std::unique_ptr<CPerformanceTestList> iTests;
  std::unique_ptr<CObdChannelList> iOwnObdChannels;
  std::unique_ptr<CSlowBearing> iOwnBearing;
  CObdChannelList* iObdChannels = nullptr;
  const CSlowBearing* iBearing = nullptr;
  MObdPollingPlan* iPlan = nullptr;
  bool iInterrupted = false;
  bool iLastLoadIncomplete = false;
};
