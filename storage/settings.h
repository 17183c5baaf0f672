// The user's settings: device configuration, display preferences, the values last used for a
// new session (kept in "settings.dat" in the application-data folder) and the view state of
// graphs and lists (kept only while the program runs).
//
// settings.dat, little-endian PwFileStream items in this order, no version number:
//   1 Int16 flag A | 2 Text text A | 3 Int32 timer backlight | 4 Int32 timer decimals
//   5 Int32 GPS type | 6 Int16 view selector | 7-9 BtAddr GPS, OBD-II, logger device
//   10 Int16 save NMEA | 11 Int32 hi/lo threshold | 12 Int32 OBD-II type
//   13 Int32 GPS baud | 14 Int32 OBD-II baud | 15 Int16 reserved 0
//   16 Int32 n + n x Int32 high-priority channels | 17 the same, low-priority channels
//   18 Int16 units | 19 Int32 timer orientation | 20 Int16 start-up warning
//   21-23 Utf8 last driver, last track, last test | 24 Int32 last session type
//   25-27 Utf8 GPS, OBD-II, logger device names | 28 Int32 braking limit
//   29 Int32 acceleration limit | 30 Int16 lap list option | 31 Int32 GPS port
//   32 Int32 OBD-II port | 33 Utf8 storage root | 34 Int32 reserved 0 | 35 Utf8 GPS input file
//   36 Int32 logger type | 37 Int32 logger baud | 38 Int32 logger port
//   39 Utf8 gpsd host | 40 Int32 gpsd port
//   41 Int16 live delta (0 off)
// then zero or more later items as Int32 tag + Int32 value pairs, each written only when its
// value is not the default (see settings_extras.h).
// Files from earlier builds end early: what is there is read, the rest keeps its default.
// Items from 39 on are written only as far as the last one that differs from its default, so
// settings at their defaults make the same file as before those items existed (and earlier
// builds, which stop reading after 38, take the file either way).
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_bt_addr.h"
#include "foundation/pw_string.h"
#include "storage/channel_list.h"

class CPwDrives;
class PwFileStream;

// One device's connection settings (GPS receiver, OBD-II reader, data logger).
struct TDeviceSetup {
  int32_t iType = 0;
  TPwBtAddr iBtAddr;
  int32_t iSerialPort = 0;
  int32_t iBaudRate = 0;  // the rate / 100; 0 keeps the port's rate
};

class CSettings : public CPwBase {
 public:
  // Graph kinds with a view state of their own (lap, performance run, span of the recording).
  static constexpr int32_t KGraphKindLap = 1;
  static constexpr int32_t KGraphKindRun = 2;
  static constexpr int32_t KGraphKindSpan = 3;
  // Bits of a graph kind's flags: comparison drawn, comparison x axis scaled to the primary's,
  // distance (not time) on the x axis, map hidden.
  static constexpr int32_t KGraphShowComparison = 1;
  static constexpr int32_t KGraphScaledComparison = 2;
  static constexpr int32_t KGraphDistanceAxis = 4;
  static constexpr int32_t KGraphMapHidden = 8;

  static constexpr CPwStringC KFileName = u"settings.dat";
  // Beside it: the last damaged settings file, as it was found.
  static constexpr CPwStringC KDamagedCopyName = u"settings.dat.damaged";

  // Every field at its default; the storage root defaults to aDrives' documents folder.
  explicit CSettings(const CPwDrives& aDrives);
  // The same with an explicit default storage root (no media list needed).
  explicit CSettings(CPwStringC aDefaultRoot);
  ~CSettings() override;

  // Reads settings.dat from the application-data folder. A missing file changes nothing; a
  // short or damaged one sets what was read before the damage. A file of an earlier build
  // ends between two items; one that fails inside an item is damaged, and is copied to
  // KDamagedCopyName before anything can write the settings over it. Returns whether the
  // file was damaged.
  bool Load();
  // Writes settings.dat anew; leaves KErrCannotOpen when it cannot be written (the previous
  // file is kept). SaveSafely returns the leave code, or 0.
  void Save() const;
  int32_t SaveSafely() const;
  // The same on a stream (tests, other locations).
  void ReadFrom(PwFileStream& aStream);
  void WriteTo(PwFileStream& aStream) const;

  // Copies every field, persistent or not.
  void CopyFrom(const CSettings& aOther);

  // --- General.
  CPwStringC StorageRoot() const { return iTexts[ETextStorageRoot]; }
  void SetStorageRoot(CPwStringC aRoot) { iTexts[ETextStorageRoot].Copy(aRoot); }
  // The root new sessions and tracks are written to in this run (starts as the stored one).
  CPwStringC CurrentStorageRoot() const { return iTexts[ETextCurrentRoot]; }
  void SetCurrentStorageRoot(CPwStringC aRoot) { iTexts[ETextCurrentRoot].Copy(aRoot); }
  int32_t TimerBacklight() const { return iValues.iTimerBacklight; }
  void SetTimerBacklight(int32_t aValue) { iValues.iTimerBacklight = aValue; }
  int32_t TimerOrientation() const { return iValues.iTimerOrientation; }
  void SetTimerOrientation(int32_t aValue) { iValues.iTimerOrientation = aValue; }
  int32_t TimerDecimals() const { return iValues.iTimerDecimals; }
  void SetTimerDecimals(int32_t aValue) { iValues.iTimerDecimals = aValue; }
  int32_t Units() const { return iValues.iUnits; }
  void SetUnits(int32_t aValue) { iValues.iUnits = aValue; }
  int32_t StartupWarning() const { return iValues.iStartupWarning; }
  void SetStartupWarning(int32_t aValue) { iValues.iStartupWarning = aValue; }

  // --- Devices.
  TDeviceSetup& Gps() { return iValues.iGps; }
  const TDeviceSetup& Gps() const { return iValues.iGps; }
  TDeviceSetup& Obd() { return iValues.iObd; }
  const TDeviceSetup& Obd() const { return iValues.iObd; }
  TDeviceSetup& Logger() { return iValues.iLogger; }
  const TDeviceSetup& Logger() const { return iValues.iLogger; }
  CPwStringC GpsDeviceName() const { return iTexts[ETextGpsName]; }
  void SetGpsDeviceName(CPwStringC aName) { iTexts[ETextGpsName].Copy(aName); }
  CPwStringC ObdDeviceName() const { return iTexts[ETextObdName]; }
  void SetObdDeviceName(CPwStringC aName) { iTexts[ETextObdName].Copy(aName); }
  CPwStringC LoggerDeviceName() const { return iTexts[ETextLoggerName]; }
  void SetLoggerDeviceName(CPwStringC aName) { iTexts[ETextLoggerName].Copy(aName); }
  CPwStringC GpsInputFile() const { return iTexts[ETextGpsInputFile]; }
  void SetGpsInputFile(CPwStringC aPath) { iTexts[ETextGpsInputFile].Copy(aPath); }
  // Where the gpsd daemon of GPS type gpsd listens.
  static constexpr CPwStringC KDefaultGpsdHost = u"localhost";
  static constexpr int32_t KDefaultGpsdPort = 2947;
  CPwStringC GpsdHost() const { return iTexts[ETextGpsdHost]; }
  void SetGpsdHost(CPwStringC aHost) { iTexts[ETextGpsdHost].Copy(aHost); }
  int32_t GpsdPort() const { return iValues.iGpsdPort; }
  void SetGpsdPort(int32_t aPort) { iValues.iGpsdPort = aPort; }
  // The fix rate u-blox receivers are set to (Hz, 0 the receiver's own), and the GPS baud
  // rate the last search found (the rate / 100, 0 none).
  int32_t& GpsReceiverRate() { return iValues.iGpsReceiverRate; }
  const int32_t& GpsReceiverRate() const { return iValues.iGpsReceiverRate; }
  int32_t& GpsFoundBaudRate() { return iValues.iGpsFoundBaud; }
  const int32_t& GpsFoundBaudRate() const { return iValues.iGpsFoundBaud; }
  CChannelList& HighPriorityChannels() { return iLists[EListHighPriority]; }
  const CChannelList& HighPriorityChannels() const { return iLists[EListHighPriority]; }
  CChannelList& LowPriorityChannels() { return iLists[EListLowPriority]; }
  const CChannelList& LowPriorityChannels() const { return iLists[EListLowPriority]; }

  // --- High/low speeds.
  int32_t HiLoThreshold() const { return iValues.iHiLoThreshold; }  // m/s
  void SetHiLoThreshold(int32_t aValue) { iValues.iHiLoThreshold = aValue; }
  int32_t BrakingLimit() const { return iValues.iBrakingLimit; }  // choice index 0-7
  void SetBrakingLimit(int32_t aValue) { iValues.iBrakingLimit = aValue; }
  int32_t AccelerationLimit() const { return iValues.iAccelerationLimit; }
  void SetAccelerationLimit(int32_t aValue) { iValues.iAccelerationLimit = aValue; }

  // --- Values last used for a new session.
  CPwStringC LastDriver() const { return iTexts[ETextLastDriver]; }
  void SetLastDriver(CPwStringC aText) { iTexts[ETextLastDriver].Copy(aText); }
  CPwStringC LastTrack() const { return iTexts[ETextLastTrack]; }
  void SetLastTrack(CPwStringC aText) { iTexts[ETextLastTrack].Copy(aText); }
  CPwStringC LastTest() const { return iTexts[ETextLastTest]; }
  void SetLastTest(CPwStringC aText) { iTexts[ETextLastTest].Copy(aText); }
  int32_t LastSessionType() const { return iValues.iLastSessionType; }
  void SetLastSessionType(int32_t aValue) { iValues.iLastSessionType = aValue; }
  int32_t SaveNmea() const { return iValues.iSaveNmea; }
  void SetSaveNmea(int32_t aValue) { iValues.iSaveNmea = aValue; }

  // --- The live timer's running difference to the comparison lap (1 shown, 0 not).
  int32_t LiveDelta() const { return iValues.iLiveDelta; }
  void SetLiveDelta(int32_t aValue) { iValues.iLiveDelta = aValue ? 1 : 0; }

  // --- Kept in the file without behaviour of their own.
  int32_t LapListOption() const { return iValues.iLapListOption; }
  void SetLapListOption(int32_t aValue) { iValues.iLapListOption = aValue; }
  int32_t ViewSelector() const { return iValues.iViewSelector; }
  void SetViewSelector(int32_t aValue) { iValues.iViewSelector = aValue; }
  int32_t FlagA() const { return iValues.iFlagA; }
  void SetFlagA(int32_t aValue) { iValues.iFlagA = aValue; }
  CPwStringC TextA() const { return iTexts[ETextA]; }
  void SetTextA(CPwStringC aText) { iTexts[ETextA].Copy(aText); }

  // --- View state of this run.
  // Session list second line: 0 statistics, 1 date created, 2 driver, 3 note.
  int32_t SessionListMode() const { return iValues.iSessionListMode; }
  void SetSessionListMode(int32_t aMode) { iValues.iSessionListMode = aMode; }
  // Lap list display mode 0-4, difference mode (0 absolute, 1 difference), hide invalid laps.
  int32_t LapListMode() const { return iValues.iLapListMode; }
  void SetLapListMode(int32_t aMode) { iValues.iLapListMode = aMode; }
  int32_t DifferenceMode() const { return iValues.iDifferenceMode; }
  void SetDifferenceMode(int32_t aMode) { iValues.iDifferenceMode = aMode; }
  int32_t HideInvalid() const { return iValues.iHideInvalid; }
  void SetHideInvalid(int32_t aFlag) { iValues.iHideInvalid = aFlag; }
  // Font scale in percent (70-160) and the map scale multiplying the fitted zoom.
  int32_t FontScale() const { return iValues.iFontScale; }
  void SetFontScale(int32_t aPercent) { iValues.iFontScale = aPercent; }
  double MapScale() const { return iValues.iMapScale; }
  void SetMapScale(double aScale) { iValues.iMapScale = aScale; }

  // Graphs: the x-window and map zoom factors, scaled comparison, and per graph kind 1-3 a
  // set of flags and the visible channels (panic 3 for another kind).
  double GraphWindowFactor() const { return iValues.iGraphWindowFactor; }
  void SetGraphWindowFactor(double aFactor) { iValues.iGraphWindowFactor = aFactor; }
  double GraphMapFactor() const { return iValues.iGraphMapFactor; }
  void SetGraphMapFactor(double aFactor) { iValues.iGraphMapFactor = aFactor; }
  int32_t GraphScaled() const { return iValues.iGraphScaled; }
  void SetGraphScaled(int32_t aFlag) { iValues.iGraphScaled = aFlag; }
  // The y axes fitted to the window instead of the whole stretch (all kinds).
  int32_t GraphZoomedY() const { return iValues.iGraphZoomedY; }
  void SetGraphZoomedY(int32_t aFlag) { iValues.iGraphZoomedY = aFlag; }
  int32_t GraphFlags(int32_t aKind) const;
  void SetGraphFlags(int32_t aKind, int32_t aFlags);
  CChannelList& GraphChannels(int32_t aKind);
  const CChannelList& GraphChannels(int32_t aKind) const;

  // Zoom steps; each returns the new factor.
  // Doubles the x-window factor while it is below 10 and not above aX.
  double WidenGraphWindow(double aX);
  // Halves it while it is above 0.0005 and not below aX.
  double NarrowGraphWindow(double aX);
  // Doubles the map factor while aX * 1.01 >= it (aX > 0).
  double GraphMapZoomOut(double aX);
  // Halves the map factor while aX * 0.99 <= it (aX > 0).
  double GraphMapZoomIn(double aX);

 private:
  void SetDefaults(CPwStringC aDefaultRoot);
  void KeepDamagedCopy();
  bool iImpossibleValue = false;  // the read in progress met a value no build writes
  static int32_t KindSlot(int32_t aKind);
  void ReadChannels(PwFileStream& aStream, CChannelList& aList);
  static void WriteChannels(PwFileStream& aStream, const CChannelList& aList);
  // How many of the items from 39 on WriteTo writes (see the file's description).
  int32_t LaterItemCount() const;

  // The plain fields with their defaults: copying is an assignment. Only ReadFrom and
  // WriteTo name them one by one.
  struct TValues {
    // Persistent.
    int32_t iTimerBacklight = 2;
    int32_t iTimerOrientation = 0;
    int32_t iTimerDecimals = 1;
    int32_t iUnits = 0;
    int32_t iStartupWarning = 1;
    TDeviceSetup iGps{.iType = 3, .iBtAddr = {}, .iSerialPort = 4, .iBaudRate = 0};
    TDeviceSetup iObd{.iType = 0, .iBtAddr = {}, .iSerialPort = 5, .iBaudRate = 0};
    TDeviceSetup iLogger{.iType = 0, .iBtAddr = {}, .iSerialPort = 6, .iBaudRate = 0};
    int32_t iHiLoThreshold = 5;
    int32_t iBrakingLimit = 4;
    int32_t iAccelerationLimit = 2;
    int32_t iLastSessionType = 0;
    int32_t iSaveNmea = 1;
    int32_t iLapListOption = 0;
    int32_t iViewSelector = -1;
    int32_t iFlagA = 0;
    int32_t iGpsdPort = KDefaultGpsdPort;
    int32_t iLiveDelta = 1;
    int32_t iGpsReceiverRate = 0;
    int32_t iGpsFoundBaud = 0;
    // This run only.
    int32_t iSessionListMode = 0;
    int32_t iLapListMode = 0;
    int32_t iDifferenceMode = 0;
    int32_t iHideInvalid = 0;
    int32_t iFontScale = 100;
    double iMapScale = 1.0;
    double iGraphWindowFactor = 1.0;
    double iGraphMapFactor = 1.0;
    int32_t iGraphScaled = 0;
    int32_t iGraphZoomedY = 0;
    int32_t iGraphFlags[4] = {0, KGraphShowComparison | KGraphScaledComparison | KGraphDistanceAxis,
                              KGraphShowComparison | KGraphMapHidden, 0};
  };
  // The texts and the channel lists, copied slot by slot.
  enum TText : int32_t {
    ETextStorageRoot,
    ETextGpsName,
    ETextObdName,
    ETextLoggerName,
    ETextGpsInputFile,
    ETextLastDriver,
    ETextLastTrack,
    ETextLastTest,
    ETextA,
    ETextGpsdHost,
    ETextCurrentRoot,  // this run only
    ETextCount
  };
  enum TList : int32_t {
    EListHighPriority,
    EListLowPriority,
    EListGraph,  // + graph kind; slot EListGraph + 0 unused (graph kind 0 is "none")
    EListCount = EListGraph + 4
  };

  TValues iValues;
  CPwString iTexts[ETextCount];
  CChannelList iLists[EListCount];
};
