// What a track session and its timer readout need of the program around them. The application
// model implements these for the live program and the command-line front end implements a
// headless version, so the timing engine never sees the GUI, the device engines or the
// platform, and tests can stand in for all of them.
#pragma once

#include <cstdint>

#include "foundation/pw_string.h"

class CObdChannelList;
class MActiveSchedulerObserver;
class CPerformanceTestList;
class CSessionList;
class CSettings;
class CSlowBearing;
class CTrackList;

// The OBD polling plan of the GPS client: which PIDs the OBD reader asks for and how often.
// Priority 2 is polled on every pass, priority 1 in the slower rotation.
class MObdPollingPlan {
 public:
  virtual void ClearObdChannels() = 0;
  virtual void AddObdChannel(int32_t aPid, int32_t aPriority) = 0;

 protected:
  ~MObdPollingPlan() = default;
};

// The state of the devices and resources the live timer reports on. How each is determined
// (connection status of the engines, fix quality, the free-space watch) is the model's.
class MLiveStatus {
 public:
  // A device that is in use but has no connection; an unused device never counts as missing.
  virtual bool GpsConnectionMissing() const = 0;
  virtual bool ObdConnectionMissing() const = 0;
  virtual bool LoggerConnectionMissing() const = 0;
  // The GPS is connected but reports no fix.
  virtual bool FixMissing() const = 0;
  // The free-space watch reports low (or very low) space.
  virtual bool StorageLow() const = 0;
  // A device or allocation failed for want of memory.
  virtual bool MemoryFull() const = 0;

 protected:
  ~MLiveStatus() = default;
};

class MSessionModel : public MLiveStatus {
 public:
  virtual const CSettings& Settings() const = 0;
  virtual CPerformanceTestList& PerformanceTests() = 0;
  virtual CTrackList& TrackList() = 0;
  virtual CObdChannelList& ObdChannels() = 0;
  // The stored sessions (for the filter that finds sessions of the same track or test); null
  // when the catalogue is not loaded.
  virtual const CSessionList* SessionCatalogue() const = 0;
  // The live direction-of-travel estimate (placing a trap at the live position).
  virtual const CSlowBearing& SlowBearing() const = 0;
  // The GPS client's OBD polling plan, or null when there is no client.
  virtual MObdPollingPlan* ObdPollingPlan() = 0;
  // Speaks an announcement: speech tokens separated by ';'.
  virtual void Announce(CPwStringC aTokens) = 0;
  // Where the recording's timer registers (the loop that runs the session); null: no timer,
  // the samples then reach the files only when the buffers fill or the files close.
  virtual MActiveSchedulerObserver* RecordingScheduler() const { return nullptr; }

 protected:
  ~MSessionModel() = default;
};
