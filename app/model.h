// The model: the root of every long-lived object of the program. Built in layers on the device
// core (connections, parsers, live state, GPS client):
//   CGuiCore adds the storage side (media, session catalogue, track list, settings, download
//            list, performance tests, string provider) and the GUI;
//   CModel   adds the active objects (worker engine, web client, Bluetooth engines), the open
//            track session with its control operations, the free-space watch and the spoken
//            announcements, and is what the track session sees as its model.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "acquisition/bluetooth.h"
#include "acquisition/core.h"
#include "app/gui_port.h"
#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "foundation/string_provider.h"
#include "foundation/worker.h"
#include "timing/session_model.h"

class CDownloadTrackList;
class CPerformanceTestList;
class CPwDrives;
class CSessionInfo;
class CSessionList;
class CSettings;
class CStringProvider;
class CTrackList;
class CTrackSession;
class CWebClientEngine;
class PwSdlAudio;
class CModel;

// Creates the GUI of a model; the GUI is owned by the model from then on. Leaves on failure.
using TGuiFactory = std::function<MGuiPort*(CModel& aModel)>;

class CGuiCore : public CCore {
 public:
  ~CGuiCore() override;

  CPwDrives& Drives() const { return *iDrives; }
  CSessionList& Sessions() const { return *iSessions; }
  CTrackList& Tracks() const { return *iTracks; }
  CSettings& Settings() { return *iSettings; }
  const CSettings& Settings() const { return *iSettings; }
  CDownloadTrackList& DownloadTracks() const { return *iDownloadTracks; }
  CPerformanceTestList& Tests() const { return *iTests; }
  CStringProvider& Strings() const { return *iStrings; }
  // Null when the model runs without a GUI (tests of the model alone).
  MGuiPort* Gui() const { return iGui.get(); }
  // The dialog service, or null without a GUI.
  MModelDialogs* Dialogs() const { return iGui ? &iGui->ModelDialogs() : nullptr; }

  // Tells the GUI to refresh its views: 1 the status displays, 2 the position views too.
  void UpdateViews(int32_t aCode) override;

 protected:
  CGuiCore() = default;
  // The storage side, then the device core's members (not its connections), then the GUI and
  // the default performance tests. Leaves.
  void ConstructL(const TGuiFactory& aGuiFactory, CModel& aModel);
  // Destroys the GUI before the objects its views look at.
  void DestroyGui();

 private:
  std::unique_ptr<CPwDrives> iDrives;
  std::unique_ptr<CSessionList> iSessions;
  std::unique_ptr<CTrackList> iTracks;
  std::unique_ptr<CSettings> iSettings;
  std::unique_ptr<CDownloadTrackList> iDownloadTracks;
  std::unique_ptr<CPerformanceTestList> iTests;
  std::unique_ptr<CStringProvider> iStrings;
  std::unique_ptr<MUnitsSource> iUnits;
  std::unique_ptr<MGuiPort> iGui;
};

class CModel : public CGuiCore, public MSessionModel, private MObdPollingPlan {
 public:
  // Free-space thresholds of a new session, in KiB.
  static constexpr int32_t KVeryLowSpaceKb = 700;
  static constexpr int32_t KLowSpaceKb = 5120;
  enum TSpaceState : int32_t { ESpaceEnough = 0, ESpaceLow = 1, ESpaceVeryLow = 2 };

  // aScheduler (not owned) is where every active object registers. aGuiFactory may be empty:
  // no GUI (dialogs are then answered as cancelled and notes dropped). Leaves.
  static CModel* NewL(MActiveSchedulerObserver* aScheduler, const TGuiFactory& aGuiFactory);
  // Closes the open session (its summary is saved), stops the devices, then destroys the
  // engines, the session, the GUI and the storage side.
  ~CModel() override;

  // --- Start-up (the start-up view's first timer). 0 ends the program.
  int32_t StartUp();
  // Before a new session on aFolder: 0 when the space is too low (after the error note).
  int32_t CheckStorageBeforeSession(CPwStringC aFolder);

  // --- Free space.
  int32_t WatchFreeSpace(int32_t aVeryLowKb, int32_t aLowKb, CPwStringC aFolder);
  void StopWatchingFreeSpace() { iWatching = false; }
  // The last state while watching, else 0.
  int32_t FreeSpaceState() const { return iWatching ? iSpaceState : ESpaceEnough; }
  bool WatchingFreeSpace() const { return iWatching; }
  // Free KiB for the caller on aFolder's medium; 0 when unknown. Tests replace it.
  virtual int32_t FreeSpaceKb(CPwStringC aFolder) const;
  void SetFreeSpaceQuery(std::function<int32_t(CPwStringC)> aQuery) { iFreeSpaceQuery = std::move(aQuery); }
  // The 5-second housekeeping step: the free-space watch is evaluated again.
  void Housekeeping();

  // --- Session control.
  CTrackSession* TrackSession() const { return iSession.get(); }
  // A new recorded session from the editor's properties on the settings' storage root, with
  // its track or test (another may be chosen when it is missing). 0 when it was not started.
  int32_t NewSession(const CSessionInfo& aDescription);
  // Opens a stored session from its catalogue record and loads its samples through the
  // worker engine; aObserver (may be null) hears the end of loading. 0 when its session file
  // cannot be read.
  int32_t OpenSession(const CSessionInfo& aRecord, MWorkerObserver* aObserver);
  // ConnectDevices (from the device core) starts recording and connects the devices the
  // settings name.
  // Stops recording and disconnects the devices.
  void PauseSession();
  // Saves the open session, gives its record back to the catalogue and destroys it; the
  // devices are disconnected in every case.
  void CloseSession();
  // Destroys the open session without saving anything into its files (a load that failed:
  // what little was read must not replace the stored figures); the devices are disconnected.
  void DiscardSession();
  // The GPS status of the status pane: 0 not started, 1 no connection, 2 no fix, 3 fix,
  // 4 differential fix, 5 failed.
  int32_t GpsStatus() const { return GpsState(); }

  // --- Choices when a session's track or test is missing (the dialog service): nonzero
  // when the user picked one, which is written into the session's properties.
  int32_t ChooseAnotherTrack();
  int32_t ChooseAnotherTest();

  // --- Platform operations.
  // A fixed identity text of this installation; returns 1.
  int32_t DeviceIdentity(CPwByteArray& aIdentity) const;
  void SpeakText(CPwStringC) {}
  int32_t PlatformQuery() const { return 0; }
  int32_t EnsureBluetoothOn() const { return 1; }
  void BacklightEvent() { iBacklightEvent = false; }
  // The live timer asks for the display to stay lit while its readout calls for emphasis;
  // leaving the timer lets it go.
  void KeepBacklightOn(bool aKeep);
  bool BacklightHeld() const { return iBacklightHeld; }
  void TimerViewShown() { iTimerView = true; }
  void TimerViewLeft();
  bool TimerViewActive() const { return iTimerView; }
  void ShowKeysLocked();
  // A trap across the live position: the type is asked for ("Add new trap:"), the trap takes
  // its type's short name, and the track is saved. 0 when nothing was added.
  int32_t AddTrapAtLivePosition();
  void RunWorker(CWorker* aWorker, MWorkerObserver* aObserver, uint16_t aTitleId);

  CWorkerEngine& WorkerEngine() const { return *iWorkerEngine; }
  CWebClientEngine& WebClient() const { return *iWebClient; }
  // Null once the model is being destroyed (the views go after the engines).
  CWebClientEngine* WebClientIfAny() const { return iWebClient.get(); }
  CInquireDevicesEngine& InquiryEngine() const { return *iInquiry; }
  CDiscoverServiceEngine& DiscoveryEngine() const { return *iDiscovery; }

  // --- Announcements: the clip of every token, in order.
  // Where the clips of aTokens would come from (tests); a token without a clip is left out.
  void AnnouncementClips(CPwStringC aTokens, std::vector<std::string>& aPaths) const;
  // Clips queued by the last announcement.
  int32_t LastAnnouncementClips() const { return iLastClips; }
  // The tokens of the last announcement and how many there have been.
  CPwStringC LastAnnouncement() const { return iLastAnnouncement; }
  int32_t AnnouncementCount() const { return iAnnouncements; }

  // --- MSessionModel
  const CSettings& Settings() const override { return CGuiCore::Settings(); }
  CSettings& Settings() { return CGuiCore::Settings(); }
  CPerformanceTestList& PerformanceTests() override { return Tests(); }
  CTrackList& TrackList() override { return Tracks(); }
  using CCore::ObdChannels;
  CObdChannelList& ObdChannels() override { return CCore::ObdChannels(); }
  const CSessionList* SessionCatalogue() const override { return &Sessions(); }
  const CSlowBearing& SlowBearing() const override { return CCore::SlowBearing(); }
  MObdPollingPlan* ObdPollingPlan() override { return this; }
  void Announce(CPwStringC aTokens) override;
  MActiveSchedulerObserver* RecordingScheduler() const override { return iScheduler; }
  // --- MLiveStatus
  bool GpsConnectionMissing() const override;
  bool ObdConnectionMissing() const override;
  bool LoggerConnectionMissing() const override;
  bool FixMissing() const override;
  bool StorageLow() const override { return FreeSpaceState() != ESpaceEnough; }
  bool MemoryFull() const override;

 protected:
  // The track session starts recording before the devices connect; false without a session
  // or when its files cannot be opened.
  bool PrepareRecording() override;
  // The GPS came back after a loss: its samples begin a new trace segment.
  void DeviceBack(TDataKind aKind) override;
  void GpsBaudRateFound(int32_t aBaud) override;

 private:
  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);
  CModel() = default;
  void ConstructL(MActiveSchedulerObserver* aScheduler, const TGuiFactory& aGuiFactory);

  // The settings as the GPS client reads them.
  class TSettingsDevices final : public MDeviceSettings {
   public:
    explicit TSettingsDevices(const CModel& aModel) : iModel(&aModel) {}
    int32_t GpsType() const override;
    int32_t GpsPort() const override;
    int32_t GpsBaudRate() const override;
    int32_t GpsReceiverRate() const override;
    int32_t GpsFoundBaudRate() const override;
    CPwStringC InputFile() const override;
    CPwStringC GpsdHost() const override;
    int32_t GpsdPort() const override;
    int32_t ObdType() const override;
    int32_t ObdPort() const override;
    int32_t ObdBaudRate() const override;
    int32_t LoggerType() const override;
    int32_t LoggerPort() const override;
    int32_t LoggerBaudRate() const override;

   private:
    const CModel* iModel;
  };

  // Ends the loading of an opened session and passes the end on.
  class TLoadObserver final : public MWorkerObserver {
   public:
    explicit TLoadObserver(CModel& aModel) : iModel(&aModel) {}
    void WorkerDone(int32_t aCode) override;
    void WorkerCancelled() override;
    MWorkerObserver* iNext = nullptr;

   private:
    CModel* iModel;
  };

  // --- MObdPollingPlan: the GPS client's plan.
  void ClearObdChannels() override;
  void AddObdChannel(int32_t aPid, int32_t aPriority) override;

  int32_t ComputeSpaceState(int32_t aFreeKb) const;
  void FormattedFreeSpace(CPwStringC aFolder, CPwString& aText) const;
  void ShowError(CPwStringC aText) const;
  void ShowWarning(CPwStringC aText) const;
  // Starts the session's timing; asks for another track or test once when it is missing.
  bool StartTimingOrChoose();
  void DestroySession();

  std::unique_ptr<CWorkerEngine> iWorkerEngine;
  std::unique_ptr<CWebClientEngine> iWebClient;
  std::unique_ptr<CInquireDevicesEngine> iInquiry;
  std::unique_ptr<CDiscoverServiceEngine> iDiscovery;
  std::unique_ptr<CTrackSession> iSession;
  std::unique_ptr<PwSdlAudio> iAudio;
  TSettingsDevices iDeviceSettings{*this};
  TLoadObserver iLoadObserver{*this};
  MActiveSchedulerObserver* iScheduler = nullptr;
  bool iTimerView = false;
  bool iBacklightEvent = false;
  bool iBacklightHeld = false;

  // Free-space watch.
  CPwString iWatchFolder;
  int32_t iVeryLowKb = 0;
  int32_t iLowKb = 0;
  bool iWatching = false;
  int32_t iSpaceState = ESpaceEnough;
  std::function<int32_t(CPwStringC)> iFreeSpaceQuery;

  int32_t iLastClips = 0;
  CPwString iLastAnnouncement;
  int32_t iAnnouncements = 0;
};
