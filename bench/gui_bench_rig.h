// The real model and GUI on the headless loop over fresh temporary folders, for benchmarks of
// the window program's views: a 360x640 window that draws nowhere, the shipped "Example track"
// copied into the folders, and a session recorded from a demo drive handed straight to the
// model (no device is started).
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "app/gui/gui.h"
#include "app/model.h"
#include "bench/null_window.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/session_info.h"
#include "storage/settings.h"

namespace pwbench {

struct TGuiBenchRig {
  // aTrackFile: where below the temporary folder the example track's file is copied to.
  TGuiBenchRig(const std::string& aName, const std::string& aTrackFile) {
    std::string pattern = "/tmp/" + aName + "-XXXXXX";
    iDir = ::mkdtemp(pattern.data()) ? pattern : "/tmp";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("PACEWRIGHT_DOCUMENTS", (iDir + "/docs").c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDir + "/appdata").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir + "/install").c_str(), 1);
    const std::filesystem::path track = std::filesystem::path(iDir) / aTrackFile;
    std::error_code error;
    std::filesystem::create_directories(track.parent_path(), error);
    std::filesystem::copy_file(std::string(PW_SOURCE_DATA_DIR) + "/examples/Pacewright/Tracks/Example track-track.bin",
                               track, error);
    iOk = !error;
    iModel.reset(CModel::NewL(&iLoop, [this](CModel& aModel) {
      iGui = CGui::NewL(&aModel);
      return iGui;
    }));
    iModel->Settings().SetStartupWarning(0);
    iModel->Settings().Save();
    iModel->SetFreeSpaceQuery([](CPwStringC) { return 2 * 1024 * 1024; });
    iGui->SetGuiObserver(&iWindow);
    iGui->ActivateFirstView();
    iGui->SetClientRect(TPwRect{0, 0, 360, 640});
    iOk = iOk && iModel->StartUp() == 1;
  }
  ~TGuiBenchRig() {
    iModel.reset();
    std::error_code error;
    std::filesystem::remove_all(iDir, error);
  }

  // Records aDrive (NMEA text) as a lap-timing session titled aTitle on aTrack. False when the
  // session cannot start.
  bool RecordSession(CPwStringC aTitle, CPwStringC aTrack, const std::string& aDrive) {
    CSettings& settings = iModel->Settings();
    settings.Gps().iType = MDeviceSettings::EGpsBluetooth;  // never started: the drive is handed over
    settings.Obd().iType = MDeviceSettings::EObdDisabled;
    settings.Logger().iType = MDeviceSettings::ELoggerDisabled;
    CSessionInfo description;
    description.SetTitle(aTitle);
    description.SetTrackName(aTrack);
    if (iModel->NewSession(description) != 1) return false;
    iModel->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
    Feed(aDrive);
    return true;
  }

  // Hands aBytes (NMEA text) to the model as the GPS device's data, in 64 KiB pieces.
  void Feed(const std::string& aBytes) {
    for (size_t at = 0; at < aBytes.size(); at += 65536) {
      const size_t n = std::min<size_t>(65536, aBytes.size() - at);
      iModel->DeviceDataReceived(TDataKind::Gps, CPwByteArrayC(reinterpret_cast<const uint8_t*>(aBytes.data() + at),
                                                               static_cast<int32_t>(n)));
    }
  }

  std::string iDir;
  bool iOk = false;
  PwHeadlessLoopHost iHost;
  CPwScheduler iLoop{iHost};
  TNullWindow iWindow;
  std::unique_ptr<CModel> iModel;
  CGui* iGui = nullptr;  // owned by the model
};

}  // namespace pwbench
