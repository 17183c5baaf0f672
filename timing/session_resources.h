// A session model with nothing around it but its own resources: settings of their defaults
// over one storage root, the default performance tests, a drive list without media, an OBD-II
// channel list, a slow bearing and the track list of the root. No device is missing, no
// catalogue is loaded, nothing is polled and nothing is spoken. The example maker, the
// benchmarks and the tests build their models on it and override what they watch.
#pragma once

#include <memory>

#include "foundation/pw_string.h"
#include "timing/session_model.h"

class CObdChannelList;
class CPerformanceTestList;
class CPwDrives;
class CSettings;
class CSlowBearing;
class CTrackList;

class CSessionResourcesModel : public MSessionModel {
 public:
  CSessionResourcesModel();
  // Same as the default constructor followed by CreateResourcesL(aRoot).
  explicit CSessionResourcesModel(CPwStringC aRoot);
  virtual ~CSessionResourcesModel();

  // Makes the resources over aRoot (ending in '/'), which becomes the storage root and the
  // current one. Leaves when one of them cannot be made. Separate from construction for
  // models that must set their folders up first.
  void CreateResourcesL(CPwStringC aRoot);

  // MLiveStatus: everything is there.
  bool GpsConnectionMissing() const override { return false; }
  bool ObdConnectionMissing() const override { return false; }
  bool LoggerConnectionMissing() const override { return false; }
  bool FixMissing() const override { return false; }
  bool StorageLow() const override { return false; }
  bool MemoryFull() const override { return false; }
  // MSessionModel
  const CSettings& Settings() const override { return *iSettings; }
  CPerformanceTestList& PerformanceTests() override { return *iTests; }
  CTrackList& TrackList() override { return *iTracks; }
  CObdChannelList& ObdChannels() override { return *iObd; }
  const CSessionList* SessionCatalogue() const override { return nullptr; }
  const CSlowBearing& SlowBearing() const override { return *iBearing; }
  MObdPollingPlan* ObdPollingPlan() override { return nullptr; }
  void Announce(CPwStringC) override {}

  // The track list refers to the settings and the drives, so it is declared after them.
  std::unique_ptr<CPwDrives> iDrives;
  std::unique_ptr<CSettings> iSettings;
  std::unique_ptr<CPerformanceTestList> iTests;
  std::unique_ptr<CObdChannelList> iObd;
  std::unique_ptr<CSlowBearing> iBearing;
  std::unique_ptr<CTrackList> iTracks;
};
