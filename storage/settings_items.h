// The settings a user edits, item by item: labels, choices with their stored values, help
// texts, which items show for the chosen device types, and the checks a new value passes
// before it is stored. The window's settings editor and the command line's "settings" command
// both work through this table, so an item means, shows and refuses the same in either.
//
// Every item has a stable key for the command line ("gps-baudrate") and a word form of its
// value: the stored number of a choice or a port, "on"/"off", a path, channel numbers
// ("23,24" or "none"), or a Bluetooth address ("00:11:22:AA:BB:CC" or "none").
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/pw_bt_addr.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CChannelList;
class CPwDrives;
class CSettings;

enum TSettingPage : int32_t {
  ESettingsGeneral = 0,
  ESettingsGps = 1,
  ESettingsObd = 2,
  ESettingsLogger = 3,
  ESettingsHiLo = 4,
  ESettingsPageCount = 5,
};

// How an item is edited.
enum TSettingEditor : int32_t {
  ESettingChoice = 0,    // one of fixed choices (baud rates too)
  ESettingSwitch = 1,    // on/off
  ESettingStorage = 2,   // one of the present storage media
  ESettingDevice = 3,    // a Bluetooth device
  ESettingPort = 4,      // a serial port number 1-99
  ESettingInput = 5,     // a file to replay
  ESettingChannels = 6,  // several OBD-II channels
  ESettingHost = 7,      // a network host: a name or a dotted address
  ESettingNetPort = 8,   // a TCP port number 1-65535
};

enum TSettingId : int32_t {
  ESetStorage = 1,
  ESetTimerDecimals,
  ESetUnits,
  ESetStartupWarning,
  ESetGpsType,
  ESetGpsDevice,
  ESetGpsPort,
  ESetGpsBaud,
  ESetGpsFile,
  ESetObdType,
  ESetObdDevice,
  ESetObdPort,
  ESetObdBaud,
  ESetObdHigh,
  ESetObdLow,
  ESetLoggerType,
  ESetLoggerDevice,
  ESetLoggerPort,
  ESetLoggerBaud,
  ESetHiLoThreshold,
  ESetAccelerationLimit,
  ESetBrakingLimit,
  ESetGpsdHost,
  ESetGpsdPort,
  ESetLiveDelta,
  ESetGpsReceiverRate,
};

struct TSettingChoice {
  int32_t iValue;   // as stored
  uint16_t iLabel;  // string-table entry
};

struct TSettingItem {
  int32_t iId;
  const char* iKey;
  int32_t iPage;
  int32_t iEditor;
  uint16_t iLabel;
  uint16_t iHelp;  // 0: none
  const TSettingChoice* iChoices;
  int32_t iChoiceCount;
};

// The items in the editor's order, page by page.
int32_t SettingItemCount();
const TSettingItem& SettingItemAt(int32_t aIndex);
// Null when there is no such item.
const TSettingItem* FindSettingItem(int32_t aId);
const TSettingItem* FindSettingItemByKey(std::string_view aKey);

// Whether the item shows with the device types aSettings hold now.
bool SettingVisible(const CSettings& aSettings, int32_t aId);

// The stored number of a choice, switch or port item (0 for the others).
int32_t SettingNumber(const CSettings& aSettings, int32_t aId);
// The value as the editor's row shows it: a choice's label, "On"/"Off", a medium's name, a
// device's name, "COM4: /dev/ttyUSB3", a file's name, "2 channels selected", or "Not selected".
void SettingValueText(const CSettings& aSettings, const CPwDrives& aDrives, int32_t aId, CPwString& aText);
// The value's word form (see above); a file item gives its whole path.
void SettingValueWord(const CSettings& aSettings, int32_t aId, CPwString& aWord);

// The OBD-II channels a channel item offers, in the channel table's order.
const CPwVector<int32_t>& OfferedObdChannels();
// The serial ports the port choice offers: those that stand for a device on this machine
// (the device may be unplugged now), with aCurrent among them whatever it is.
void OfferedPorts(int32_t aCurrent, CPwVector<int32_t>& aPorts);

// Loads the settings (see CSettings::Load, whose result it returns). A new installation, with
// no settings file yet, starts the GPS on the first receiver-like device present under
// aDevRoot instead of the fixed default port, when a port number stands for one.
bool LoadSettingsOfInstallation(CSettings& aSettings, const char* aDevRoot);

// --- Checked changes. Each stores the value and returns true, or leaves aSettings unchanged
// and returns false with the reason in aReason.
// Choice, switch and port items.
bool SetSettingNumber(CSettings& aSettings, int32_t aId, int32_t aValue, CPwString& aReason);
// The storage medium, by its root path.
bool SetSettingStorage(CSettings& aSettings, const CPwDrives& aDrives, CPwStringC aRoot, CPwString& aReason);
// The gpsd host: a host name or dotted address (letters, digits, '-', '.', '_'), at most 255
// characters; blanks around it are dropped.
bool SetSettingHost(CSettings& aSettings, CPwStringC aHost, CPwString& aReason);
// The input file: an existing, readable file with NMEA 0183 sentences in its first 64 KiB.
bool SetSettingInputFile(CSettings& aSettings, CPwStringC aPath, CPwString& aReason);
// A channel item: OBD-II channels only, kept in the order given.
bool SetSettingChannels(CSettings& aSettings, int32_t aId, const CChannelList& aChannels, CPwString& aReason);
// A device item: the address and the name (an empty name shows as "Unknown").
void SetSettingDevice(CSettings& aSettings, int32_t aId, const TPwBtAddr& aAddress, CPwStringC aName);
// From the word form (a choice may also be named by its label, a port as "COM3:", a medium
// by its name), then the check of its kind.
bool SetSettingFromWord(CSettings& aSettings, const CPwDrives& aDrives, int32_t aId, CPwStringC aWord,
                        CPwString& aReason);
