// The device side of the model, without a window: the shared GPS clock, the three device
// connections (GPS receiver, OBD-II reader, data logger), one NMEA parser per connection kind,
// the OBD-II channel list, the live channel state, the slow-bearing estimator and the GPS
// client that starts and stops the devices. The command-line front end records through it
// directly; the GUI's model builds on it and adds the session, the storage and the views.
#pragma once

#include <cstdint>

#include "acquisition/channel_state.h"
#include "acquisition/data_engine.h"
#include "acquisition/gps_client.h"
#include "foundation/active.h"
#include "foundation/pw_base.h"
#include "foundation/pw_bt_addr.h"
#include "foundation/pw_string.h"

class CNmeaParser;
class CObdChannelList;
class MParsedDataObserver;

// A device picked by the selection sequence (Bluetooth devices only carry an address).
struct TDeviceRecord {
  TPwBtAddr iAddress;
  int32_t iChannel = 0;
};

class CCore : public CPwBase, public MDeviceModel {
 public:
  // The model's combined GPS state, as the status displays show it.
  enum TGpsState : int32_t {
    EGpsNotStarted = 0,
    EGpsNoConnection = 1,
    EGpsNoFix = 2,
    EGpsFixed = 3,
    EGpsFixedDgps = 4,
    EGpsFailed = 5,
  };

  // aScheduler is where the three connections register (null: they never run, tests of the
  // parsing side only). Leaves -2.
  static CCore* NewL(MActiveSchedulerObserver* aScheduler);
  // Stops every device, then deletes the connections, the GPS client and the parsing side.
  ~CCore() override;

  // --- MDeviceModel
  MDataEngineBase* DeviceConnection(int32_t aIndex) override;
  const MDeviceSettings& DeviceSettings() const override;
  void DeviceDataReceived(TDataKind aKind, CPwByteArrayC aBytes) override;
  void DeviceStatusChanged(TDataKind aKind) override;

  // --- Starting and stopping the devices
  // Starts recording and every device the settings name: a Bluetooth device type is skipped
  // when its record carries no address. Nothing happens when PrepareRecording refuses.
  void ConnectDevices(const TDeviceRecord& aGps, const TDeviceRecord& aObd, const TDeviceRecord& aLogger);
  // Disconnects every device and marks the recording paused.
  void PauseDevices();
  // Disconnects every device.
  void StopAllDevices();
  bool Paused() const { return iPaused; }

  // --- Status
  TGpsState GpsState() const;
  // The session view's device status line, first match wins (see the string table). aStorageLow
  // and aFreeSpace come from the storage watch. False (aText emptied) when there is nothing to
  // show: the GPS is not started and nothing else is wrong.
  bool DeviceStatusLine(CPwString& aText, bool aStorageLow, CPwStringC aFreeSpace) const;
  // What the GPS reader last said about the receiver (rate set, refused, baud rate found ...),
  // for KReceiverNoteMs after it was first seen; false (aText emptied) otherwise.
  static constexpr uint32_t KReceiverNoteMs = 10000;
  bool GpsReceiverNote(CPwString& aText) const;

  // --- Hooks for the layers above
  // Where parsed samples go (the open track session); null: parsed for the live state only.
  virtual MParsedDataObserver* ParsedDataObserver() const { return iParsedObserver; }
  void SetParsedDataObserver(MParsedDataObserver* aObserver) { iParsedObserver = aObserver; }
  // Told after every batch and state change: 0 nothing new, 1 the status displays, 2 the
  // position-dependent views as well.
  virtual void UpdateViews(int32_t aCode) { (void)aCode; }
  // Called first by ConnectDevices (a track session starts recording); false refuses the start
  // (no session open).
  virtual bool PrepareRecording() { return true; }
  // A started serial device lost its connection (its engine looks for it every second), and
  // came back after that; a reconnection between two runs of the loop is told as both.
  virtual void DeviceLost(TDataKind aKind) { (void)aKind; }
  virtual void DeviceBack(TDataKind aKind) { (void)aKind; }
  // Whether a started device is away now (lost and not back).
  bool DeviceAway(TDataKind aKind) const;
  // The settings read by the GPS client; the default reads the values set below.
  void SetDeviceSettings(const MDeviceSettings* aSettings) { iSettings = aSettings; }
  TDeviceSettings& DefaultDeviceSettings() { return iDefaultSettings; }

  // --- Members
  TGpsClock& GpsClock() { return iGpsClock; }
  CGpsClient& GpsClient() const { return *iGpsClient; }
  CDataEngine* Connection(int32_t aIndex) const;
  CNmeaParser& Parser(TDataKind aKind) const;
  CObdChannelList& ObdChannels() const { return *iObdChannels; }
  CChannelState& ChannelState() const { return *iChannelState; }
  CSlowBearing& SlowBearing() const { return *iSlowBearing; }

  // Replaces the protocol handlers of the connections (by default the ELM327 dialogue for the
  // OBD-II reader and the sentence rewriter for the data logger; tests install their own).
  void SetProtocolHandlerFactory(TProtocolHandlerFactory aFactory);
  // Pacing of input-file replays (tests shorten it).
  void SetFileReplayPacing(const TFileReplayPacing& aPacing);

 protected:
  CCore() = default;
  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);
  // The members, then the three device connections. Leaves.
  void ConstructL(MActiveSchedulerObserver* aScheduler);
  // The parts of ConstructL, for a derived class that registers other active objects with
  // the scheduler between them (the connections register when they are created). Leave.
  void ConstructMembersL();
  void CreateConnectionsL(MActiveSchedulerObserver* aScheduler);

 private:
  // The parser index of a kind: 0 GPS, 1 OBD-II, 2 data logger and accelerometer; -1 other.
  static int32_t ParserIndex(TDataKind aKind);

  TGpsClock iGpsClock;
  CObdChannelList* iObdChannels = nullptr;
  CNmeaParser* iParsers[3] = {nullptr, nullptr, nullptr};
  CChannelState* iChannelState = nullptr;
  CSlowBearing* iSlowBearing = nullptr;
  CGpsClient* iGpsClient = nullptr;
  CDataEngine* iConnections[3] = {nullptr, nullptr, nullptr};
  MParsedDataObserver* iParsedObserver = nullptr;
  // Per parser index: the device was connected since its start, is away now, and the
  // connections its engine had reported when last looked at.
  struct TLinkWatch {
    bool iConnected = false;
    bool iAway = false;
    uint32_t iConnects = 0;
  };
  TLinkWatch iLinks[3];
  void WatchLink(TDataKind aKind);
  const MDeviceSettings* iSettings = nullptr;
  TDeviceSettings iDefaultSettings;
  bool iPaused = true;
  // The receiver note last seen and since when (tick ms).
  mutable uint32_t iNoteCount = 0;
  mutable uint32_t iNoteSince = 0;
};
