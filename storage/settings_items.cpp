#include "storage/settings_items.h"

#include <memory>

#include "acquisition/gps_client.h"
#include "acquisition/obd_channels.h"
#include "acquisition/port_map.h"
#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/pw_file.h"
#include "foundation/string_provider.h"
#include "storage/channel_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"

namespace {

constexpr TSettingChoice KDecimals[] = {
    {0, R_SET_DECIMALS_0}, {1, R_SET_DECIMALS_1}, {2, R_SET_DECIMALS_2}, {3, R_SET_DECIMALS_3}};
constexpr TSettingChoice KUnits[] = {{0, R_SET_UNITS_METRIC}, {1, R_SET_UNITS_ENGLISH}};
// This build offers serial ports, input files and gpsd; the other stored types still show.
constexpr TSettingChoice KGpsTypes[] = {{MDeviceSettings::EGpsSerial, R_GPS_TYPE_SERIAL},
                                        {MDeviceSettings::EGpsInputFile, R_GPS_TYPE_INPUT_FILE},
                                        {MDeviceSettings::EGpsGpsd, R_GPS_TYPE_GPSD}};
constexpr TSettingChoice KObdTypes[] = {{MDeviceSettings::EObdDisabled, R_OBD_TYPE_DISABLED},
                                        {MDeviceSettings::EObdSerial, R_OBD_TYPE_SERIAL}};
constexpr TSettingChoice KLoggerTypes[] = {{MDeviceSettings::ELoggerDisabled, R_LOGGER_TYPE_DISABLED},
                                           {MDeviceSettings::ELoggerDatavaneSerial, R_LOGGER_TYPE_DATAVANE_SERIAL}};
// Hundreds of baud; 0 keeps the port's rate.
constexpr TSettingChoice KBaudRates[] = {{0, R_BAUD_DEFAULT},    {24, R_BAUD_2400},    {48, R_BAUD_4800},
                                         {96, R_BAUD_9600},      {192, R_BAUD_19200},  {384, R_BAUD_38400},
                                         {576, R_BAUD_57600},    {1152, R_BAUD_115200}};
// Fixes per second a u-blox receiver is set to; 0 leaves every receiver at its own.
constexpr TSettingChoice KReceiverRates[] = {{0, R_SET_RATE_DEFAULT}, {5, R_SET_RATE_5},  {10, R_SET_RATE_10},
                                             {18, R_SET_RATE_18},     {25, R_SET_RATE_25}};
constexpr TSettingChoice KThresholds[] = {{1, R_SET_SPEED_1},   {2, R_SET_SPEED_2},   {5, R_SET_SPEED_5},
                                          {10, R_SET_SPEED_10}, {15, R_SET_SPEED_15}, {20, R_SET_SPEED_20}};
constexpr TSettingChoice KGForces[] = {{0, R_SET_G_005}, {1, R_SET_G_01}, {2, R_SET_G_02}, {3, R_SET_G_04},
                                       {4, R_SET_G_06},  {5, R_SET_G_08}, {6, R_SET_G_10}, {7, R_SET_G_15}};

template <size_t N>
constexpr int32_t CountOf(const TSettingChoice (&)[N]) {
  return static_cast<int32_t>(N);
}

#define PW_CHOICES(table) table, CountOf(table)

constexpr TSettingItem KItems[] = {
    {ESetStorage, "storage", ESettingsGeneral, ESettingStorage, R_SET_STORAGE, R_SET_STORAGE_HELP, nullptr, 0},
    {ESetTimerDecimals, "timer-decimals", ESettingsGeneral, ESettingChoice, R_SET_TIMER_DECIMALS, 0,
     PW_CHOICES(KDecimals)},
    {ESetUnits, "units", ESettingsGeneral, ESettingChoice, R_SET_UNITS, 0, PW_CHOICES(KUnits)},
    {ESetStartupWarning, "startup-warning", ESettingsGeneral, ESettingSwitch, R_SET_STARTUP_WARNING, 0, nullptr, 0},
    {ESetLiveDelta, "live-delta", ESettingsGeneral, ESettingSwitch, R_SET_LIVE_DELTA, R_SET_LIVE_DELTA_HELP, nullptr,
     0},
    {ESetGpsType, "gps-type", ESettingsGps, ESettingChoice, R_SET_GPS_TYPE, 0, PW_CHOICES(KGpsTypes)},
    {ESetGpsDevice, "gps-bluetooth-device", ESettingsGps, ESettingDevice, R_SET_BLUETOOTH_DEVICE, 0, nullptr, 0},
    {ESetGpsPort, "gps-serial-port", ESettingsGps, ESettingPort, R_SET_SERIAL_PORT, 0, nullptr, 0},
    {ESetGpsBaud, "gps-baudrate", ESettingsGps, ESettingChoice, R_SET_BAUDRATE, R_SET_GPS_BAUD_HELP,
     PW_CHOICES(KBaudRates)},
    {ESetGpsReceiverRate, "gps-receiver-rate", ESettingsGps, ESettingChoice, R_SET_RECEIVER_RATE,
     R_SET_RECEIVER_RATE_HELP, PW_CHOICES(KReceiverRates)},
    {ESetGpsFile, "gps-input-file", ESettingsGps, ESettingInput, R_SET_INPUT_FILE, 0, nullptr, 0},
    {ESetGpsdHost, "gpsd-host", ESettingsGps, ESettingHost, R_SET_GPSD_HOST, R_SET_GPSD_HOST_HELP, nullptr, 0},
    {ESetGpsdPort, "gpsd-port", ESettingsGps, ESettingNetPort, R_SET_GPSD_PORT, R_SET_GPSD_PORT_HELP, nullptr, 0},
    {ESetObdType, "obd-type", ESettingsObd, ESettingChoice, R_SET_OBD_TYPE, R_SET_OBD_TYPE_HELP,
     PW_CHOICES(KObdTypes)},
    {ESetObdDevice, "obd-bluetooth-device", ESettingsObd, ESettingDevice, R_SET_BLUETOOTH_DEVICE, 0, nullptr, 0},
    {ESetObdPort, "obd-serial-port", ESettingsObd, ESettingPort, R_SET_SERIAL_PORT, 0, nullptr, 0},
    {ESetObdBaud, "obd-baudrate", ESettingsObd, ESettingChoice, R_SET_BAUDRATE, R_SET_OBD_BAUD_HELP,
     PW_CHOICES(KBaudRates)},
    {ESetObdHigh, "obd-high-priority-channels", ESettingsObd, ESettingChannels, R_SET_HIGH_CHANNELS,
     R_SET_HIGH_CHANNELS_HELP, nullptr, 0},
    {ESetObdLow, "obd-low-priority-channels", ESettingsObd, ESettingChannels, R_SET_LOW_CHANNELS,
     R_SET_LOW_CHANNELS_HELP, nullptr, 0},
    {ESetLoggerType, "logger-type", ESettingsLogger, ESettingChoice, R_SET_LOGGER_TYPE, R_SET_LOGGER_TYPE_HELP,
     PW_CHOICES(KLoggerTypes)},
    {ESetLoggerDevice, "logger-bluetooth-device", ESettingsLogger, ESettingDevice, R_SET_BLUETOOTH_DEVICE, 0,
     nullptr, 0},
    {ESetLoggerPort, "logger-serial-port", ESettingsLogger, ESettingPort, R_SET_SERIAL_PORT, 0, nullptr, 0},
    {ESetLoggerBaud, "logger-baudrate", ESettingsLogger, ESettingChoice, R_SET_BAUDRATE, R_SET_LOGGER_BAUD_HELP,
     PW_CHOICES(KBaudRates)},
    {ESetHiLoThreshold, "hilo-threshold", ESettingsHiLo, ESettingChoice, R_SET_HILO_THRESHOLD,
     R_SET_HILO_THRESHOLD_HELP, PW_CHOICES(KThresholds)},
    {ESetAccelerationLimit, "acceleration-limit", ESettingsHiLo, ESettingChoice, R_SET_ACCELERATION_LIMIT,
     R_SET_ACCELERATION_HELP, PW_CHOICES(KGForces)},
    {ESetBrakingLimit, "braking-limit", ESettingsHiLo, ESettingChoice, R_SET_BRAKING_LIMIT, R_SET_BRAKING_HELP,
     PW_CHOICES(KGForces)},
};

#undef PW_CHOICES

constexpr int32_t KItemCount = static_cast<int32_t>(sizeof KItems / sizeof KItems[0]);

// The longest host name the resolver takes.
constexpr int32_t KMaxHostLength = 255;

// How much of an input file is looked at for NMEA sentences.
constexpr int32_t KNmeaProbeBytes = 64 * 1024;

// The device record of a device page (null for the other pages); const or not as aSettings.
template <class S>
auto DeviceOf(S& aSettings, int32_t aPage) -> decltype(&aSettings.Gps()) {
  switch (aPage) {
    case ESettingsGps: return &aSettings.Gps();
    case ESettingsObd: return &aSettings.Obd();
    case ESettingsLogger: return &aSettings.Logger();
    default: return nullptr;
  }
}

// The plain numbers of the device records (the others have accessors of their own).
template <class S>
auto NumberField(S& aSettings, int32_t aId) -> decltype(&aSettings.Gps().iType) {
  switch (aId) {
    case ESetGpsType: return &aSettings.Gps().iType;
    case ESetGpsPort: return &aSettings.Gps().iSerialPort;
    case ESetGpsBaud: return &aSettings.Gps().iBaudRate;
    case ESetGpsReceiverRate: return &aSettings.GpsReceiverRate();
    case ESetObdType: return &aSettings.Obd().iType;
    case ESetObdPort: return &aSettings.Obd().iSerialPort;
    case ESetObdBaud: return &aSettings.Obd().iBaudRate;
    case ESetLoggerType: return &aSettings.Logger().iType;
    case ESetLoggerPort: return &aSettings.Logger().iSerialPort;
    case ESetLoggerBaud: return &aSettings.Logger().iBaudRate;
    default: return nullptr;
  }
}

template <class S>
auto ChannelsOf(S& aSettings, int32_t aId) -> decltype(&aSettings.HighPriorityChannels()) {
  if (aId == ESetObdHigh) return &aSettings.HighPriorityChannels();
  if (aId == ESetObdLow) return &aSettings.LowPriorityChannels();
  return nullptr;
}

CPwStringC DeviceNameOf(const CSettings& aSettings, int32_t aPage) {
  switch (aPage) {
    case ESettingsGps: return aSettings.GpsDeviceName();
    case ESettingsObd: return aSettings.ObdDeviceName();
    default: return aSettings.LoggerDeviceName();
  }
}

CPwStringC Trimmed(CPwStringC aText) {
  int32_t begin = 0, end = aText.Length();
  while (begin < end && (aText.CharAt(begin) == u' ' || aText.CharAt(begin) == u'\t')) ++begin;
  while (end > begin && (aText.CharAt(end - 1) == u' ' || aText.CharAt(end - 1) == u'\t')) --end;
  return aText.Mid(begin, end - begin);
}

// A whole word of decimal digits (with a sign), nothing after it: "115200 baud" is a label.
bool ParseNumber(CPwStringC aText, int32_t& aValue) {
  for (int32_t i = 0; i < aText.Length(); ++i) {
    const char16_t c = aText.CharAt(i);
    if (!(c >= u'0' && c <= u'9') && !(i == 0 && aText.Length() > 1 && (c == u'-' || c == u'+'))) return false;
  }
  return aText.Length() > 0 && aText.ParseInt(aValue);
}

bool IsWord(CPwStringC aText, CPwStringC aWord) { return aText.CompareNoCase(aWord) == 0; }

void Refuse(CPwString& aReason, uint16_t aId, CPwStringC aValue) { aReason.FormatU(aId, aValue); }

// A sentence start: '$' or '!', two to six letters or digits (talker and type, or a
// proprietary "$PW1"), then a comma.
bool HoldsNmea(const uint8_t* aBytes, int32_t aCount) {
  for (int32_t i = 0; i < aCount; ++i) {
    if (aBytes[i] != '$' && aBytes[i] != '!') continue;
    int32_t n = 0;
    while (i + 1 + n < aCount && n <= 6) {
      const uint8_t c = aBytes[i + 1 + n];
      if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) break;
      ++n;
    }
    if (n >= 2 && n <= 6 && i + 1 + n < aCount && aBytes[i + 1 + n] == ',') return true;
  }
  return false;
}

bool ParseAddress(CPwStringC aText, TPwBtAddr& aAddress) {
  if (aText.Length() != 17) return false;
  for (int32_t i = 0; i < TPwBtAddr::KLength; ++i) {
    int32_t value = 0;
    for (int32_t k = 0; k < 2; ++k) {
      const char16_t c = aText.CharAt(i * 3 + k);
      int32_t digit = -1;
      if (c >= u'0' && c <= u'9') digit = c - u'0';
      else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
      else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    if (i < TPwBtAddr::KLength - 1 && aText.CharAt(i * 3 + 2) != u':') return false;
    aAddress.iBytes[i] = static_cast<uint8_t>(value);
  }
  return true;
}

}  // namespace

int32_t SettingItemCount() { return KItemCount; }

const TSettingItem& SettingItemAt(int32_t aIndex) {
  if (aIndex < 0 || aIndex >= KItemCount) PanicCore(EPanicVectorIndex);
  return KItems[aIndex];
}

const TSettingItem* FindSettingItem(int32_t aId) {
  for (const TSettingItem& item : KItems)
    if (item.iId == aId) return &item;
  return nullptr;
}

const TSettingItem* FindSettingItemByKey(std::string_view aKey) {
  for (const TSettingItem& item : KItems)
    if (aKey == item.iKey) return &item;
  return nullptr;
}

bool SettingVisible(const CSettings& aSettings, int32_t aId) {
  const int32_t gps = aSettings.Gps().iType, obd = aSettings.Obd().iType, logger = aSettings.Logger().iType;
  switch (aId) {
    case ESetGpsDevice: return gps == MDeviceSettings::EGpsBluetooth;
    case ESetGpsPort: return gps == MDeviceSettings::EGpsSerial;
    case ESetGpsBaud:
    case ESetGpsReceiverRate: return gps == MDeviceSettings::EGpsBluetooth || gps == MDeviceSettings::EGpsSerial;
    case ESetGpsFile: return gps == MDeviceSettings::EGpsInputFile;
    case ESetGpsdHost:
    case ESetGpsdPort: return gps == MDeviceSettings::EGpsGpsd;
    case ESetObdDevice: return obd == MDeviceSettings::EObdBluetooth;
    case ESetObdPort: return obd == MDeviceSettings::EObdSerial;
    case ESetObdBaud:
    case ESetObdHigh:
    case ESetObdLow: return obd == MDeviceSettings::EObdBluetooth || obd == MDeviceSettings::EObdSerial;
    case ESetLoggerDevice: return logger == MDeviceSettings::ELoggerDatavaneBluetooth;
    case ESetLoggerPort: return logger == MDeviceSettings::ELoggerDatavaneSerial;
    case ESetLoggerBaud:
      return logger == MDeviceSettings::ELoggerDatavaneBluetooth || logger == MDeviceSettings::ELoggerDatavaneSerial;
    default: return true;
  }
}

int32_t SettingNumber(const CSettings& aSettings, int32_t aId) {
  switch (aId) {
    case ESetTimerDecimals: return aSettings.TimerDecimals();
    case ESetUnits: return aSettings.Units();
    case ESetStartupWarning: return aSettings.StartupWarning() ? 1 : 0;
    case ESetLiveDelta: return aSettings.LiveDelta();
    case ESetHiLoThreshold: return aSettings.HiLoThreshold();
    case ESetAccelerationLimit: return aSettings.AccelerationLimit();
    case ESetBrakingLimit: return aSettings.BrakingLimit();
    case ESetGpsdPort: return aSettings.GpsdPort();
    default: {
      const int32_t* field = NumberField(aSettings, aId);
      return field ? *field : 0;
    }
  }
}

void SettingValueText(const CSettings& aSettings, const CPwDrives& aDrives, int32_t aId, CPwString& aText) {
  aText.Reset();
  const TSettingItem* item = FindSettingItem(aId);
  if (!item) return;
  switch (item->iEditor) {
    case ESettingChoice: {
      const int32_t value = SettingNumber(aSettings, aId);
      for (int32_t i = 0; i < item->iChoiceCount; ++i)
        if (item->iChoices[i].iValue == value) {
          aText.LoadFromResource(item->iChoices[i].iLabel);
          return;
        }
      aText.LoadFromResource(R_GUI_NOT_SELECTED);
      return;
    }
    case ESettingSwitch:
      aText.LoadFromResource(SettingNumber(aSettings, aId) ? R_GUI_ON : R_GUI_OFF);
      return;
    case ESettingStorage: {
      // A medium that is not there now cannot take new sessions.
      const CPwDriveInfo* drive = aDrives.DriveOfPath(aSettings.StorageRoot());
      if (drive && drive->IsPresent()) aText.Copy(drive->Name());
      else aText.LoadFromResource(R_GUI_NOT_SELECTED);
      return;
    }
    case ESettingDevice: {
      const TDeviceSetup* device = DeviceOf(aSettings, item->iPage);
      CPwStringC name = DeviceNameOf(aSettings, item->iPage);
      if (!name.IsEmpty()) aText.Copy(name);
      else aText.LoadFromResource(device->iBtAddr.IsSet() ? R_SET_DEVICE_UNKNOWN : R_GUI_NOT_SELECTED);
      return;
    }
    case ESettingPort:
      pwports::AppendPortLabel(SettingNumber(aSettings, aId), aText);
      return;
    case ESettingInput:
      if (aSettings.GpsInputFile().IsEmpty()) aText.LoadFromResource(R_GUI_NOT_SELECTED);
      else aText.Copy(FileNameOf(aSettings.GpsInputFile()));
      return;
    case ESettingHost:
      aText.Copy(aSettings.GpsdHost());
      return;
    case ESettingNetPort:
      aText.AppendNum(SettingNumber(aSettings, aId));
      return;
    case ESettingChannels: {
      const int32_t count = ChannelsOf(aSettings, aId)->Count();
      if (count == 0) aText.LoadFromResource(R_SET_NONE_SELECTED);
      else aText.FormatN(R_SET_CHANNELS_SELECTED, count);
      return;
    }
    default:
      return;
  }
}

void SettingValueWord(const CSettings& aSettings, int32_t aId, CPwString& aWord) {
  aWord.Reset();
  const TSettingItem* item = FindSettingItem(aId);
  if (!item) return;
  switch (item->iEditor) {
    case ESettingSwitch:
      aWord.Copy(SettingNumber(aSettings, aId) ? CPwStringC(u"on") : CPwStringC(u"off"));
      return;
    case ESettingStorage:
      aWord.Copy(aSettings.StorageRoot());
      return;
    case ESettingDevice: {
      const TDeviceSetup* device = DeviceOf(aSettings, item->iPage);
      if (device->iBtAddr.IsSet()) device->iBtAddr.AppendText(aWord);
      else aWord.Copy(u"none");
      return;
    }
    case ESettingInput:
      aWord.Copy(aSettings.GpsInputFile());
      return;
    case ESettingHost:
      aWord.Copy(aSettings.GpsdHost());
      return;
    case ESettingChannels: {
      const CChannelList& channels = *ChannelsOf(aSettings, aId);
      if (channels.Count() == 0) aWord.Copy(u"none");
      for (int32_t i = 0; i < channels.Count(); ++i) {
        if (i) aWord.AppendChar(u',');
        aWord.AppendNum(channels.At(i));
      }
      return;
    }
    default:
      aWord.AppendNum(SettingNumber(aSettings, aId));
      return;
  }
}

const CPwVector<int32_t>& OfferedObdChannels() {
  static const std::unique_ptr<CPwVector<int32_t>> offered = [] {
    std::unique_ptr<CPwVector<int32_t>> ids(new CPwVector<int32_t>(64));
    std::unique_ptr<CObdChannelList> table(CObdChannelList::NewL());
    for (int32_t i = 0; i < table->Count(); ++i) {
      const int32_t id = table->At(i).Id();
      bool seen = false;
      for (const int32_t other : *ids) seen = seen || other == id;
      if (!seen) ids->Append(id);
    }
    return ids;
  }();
  return *offered;
}

void OfferedPorts(int32_t aCurrent, CPwVector<int32_t>& aPorts) {
  aPorts.Reset();
  CPwByteArray path;
  for (int32_t port = pwports::KFirstPort; port <= pwports::KLastPort; ++port)
    if (port == aCurrent || pwports::DevicePath(port, path)) aPorts.Append(port);
}

bool LoadSettingsOfInstallation(CSettings& aSettings, const char* aDevRoot) {
  CPwString file;
  AppDataFolder(file);
  file.Append(CSettings::KFileName);
  const bool fresh = !FileExists(file);
  const bool damaged = aSettings.Load();
  if (fresh) {
    if (const int32_t port = pwports::FirstReceiverPort(aDevRoot)) aSettings.Gps().iSerialPort = port;
  }
  return damaged;
}

bool SetSettingNumber(CSettings& aSettings, int32_t aId, int32_t aValue, CPwString& aReason) {
  const TSettingItem* item = FindSettingItem(aId);
  if (!item) return false;
  CPwString word;
  word.AppendNum(aValue);
  switch (item->iEditor) {
    case ESettingChoice: {
      bool offered = false;
      for (int32_t i = 0; i < item->iChoiceCount; ++i) offered = offered || item->iChoices[i].iValue == aValue;
      if (!offered) {
        CPwString label;
        label.LoadFromResource(item->iLabel);
        aReason.FormatUU(R_SET_REFUSE_CHOICE, word, label);
        return false;
      }
      break;
    }
    case ESettingSwitch:
      if (aValue != 0 && aValue != 1) {
        Refuse(aReason, R_SET_REFUSE_ON_OFF, word);
        return false;
      }
      break;
    case ESettingPort:
      if (aValue < pwports::KFirstPort || aValue > pwports::KLastPort) {
        Refuse(aReason, R_SET_REFUSE_PORT, word);
        return false;
      }
      break;
    case ESettingNetPort:
      if (aValue < 1 || aValue > 65535) {
        Refuse(aReason, R_SET_REFUSE_NET_PORT, word);
        return false;
      }
      break;
    default:
      return false;
  }
  switch (aId) {
    case ESetTimerDecimals: aSettings.SetTimerDecimals(aValue); break;
    case ESetUnits: aSettings.SetUnits(aValue); break;
    case ESetStartupWarning: aSettings.SetStartupWarning(aValue); break;
    case ESetLiveDelta: aSettings.SetLiveDelta(aValue); break;
    case ESetHiLoThreshold: aSettings.SetHiLoThreshold(aValue); break;
    case ESetAccelerationLimit: aSettings.SetAccelerationLimit(aValue); break;
    case ESetBrakingLimit: aSettings.SetBrakingLimit(aValue); break;
    case ESetGpsdPort: aSettings.SetGpsdPort(aValue); break;
    default: *NumberField(aSettings, aId) = aValue; break;
  }
  return true;
}

bool SetSettingStorage(CSettings& aSettings, const CPwDrives& aDrives, CPwStringC aRoot, CPwString& aReason) {
  const CPwDriveInfo* drive = aDrives.DriveOfPath(aRoot);
  if (!drive || !drive->IsPresent()) {
    Refuse(aReason, R_SET_REFUSE_MEDIUM, aRoot);
    return false;
  }
  // New sessions and tracks go there from now on, not only after the next start.
  aSettings.SetStorageRoot(drive->RootPath());
  aSettings.SetCurrentStorageRoot(drive->RootPath());
  return true;
}

bool SetSettingHost(CSettings& aSettings, CPwStringC aHost, CPwString& aReason) {
  CPwStringC host = Trimmed(aHost);
  bool valid = host.Length() > 0 && host.Length() <= KMaxHostLength;
  for (int32_t i = 0; valid && i < host.Length(); ++i) {
    const char16_t c = host.CharAt(i);
    valid = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
            c == u'.' || c == u'_';
  }
  if (!valid) {
    Refuse(aReason, R_SET_REFUSE_HOST, aHost);
    return false;
  }
  aSettings.SetGpsdHost(host);
  return true;
}

bool SetSettingInputFile(CSettings& aSettings, CPwStringC aPath, CPwString& aReason) {
  CPwFile file;
  int32_t got = -1;
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[KNmeaProbeBytes]);
  if (!aPath.IsEmpty() && !FolderExists(aPath)) {
    file.SetPath(aPath);
    if (file.OpenRead()) got = file.Read(bytes.get(), KNmeaProbeBytes);
  }
  if (got < 0) {
    Refuse(aReason, R_SET_REFUSE_FILE, aPath);
    return false;
  }
  if (!HoldsNmea(bytes.get(), got)) {
    Refuse(aReason, R_SET_REFUSE_NOT_NMEA, aPath);
    return false;
  }
  aSettings.SetGpsInputFile(aPath);
  return true;
}

bool SetSettingChannels(CSettings& aSettings, int32_t aId, const CChannelList& aChannels, CPwString& aReason) {
  CChannelList* current = ChannelsOf(aSettings, aId);
  if (!current) return false;
  const CPwVector<int32_t>& offered = OfferedObdChannels();
  for (const int32_t id : aChannels) {
    bool known = false;
    for (const int32_t other : offered) known = known || other == id;
    if (!known) {
      CPwString word;
      word.AppendNum(id);
      Refuse(aReason, R_SET_REFUSE_CHANNEL, word);
      return false;
    }
  }
  current->CopyFrom(aChannels);
  return true;
}

void SetSettingDevice(CSettings& aSettings, int32_t aId, const TPwBtAddr& aAddress, CPwStringC aName) {
  const TSettingItem* item = FindSettingItem(aId);
  TDeviceSetup* device = item ? DeviceOf(aSettings, item->iPage) : nullptr;
  if (!device || item->iEditor != ESettingDevice) return;
  device->iBtAddr = aAddress;
  switch (item->iPage) {
    case ESettingsGps: aSettings.SetGpsDeviceName(aName); break;
    case ESettingsObd: aSettings.SetObdDeviceName(aName); break;
    default: aSettings.SetLoggerDeviceName(aName); break;
  }
}

bool SetSettingFromWord(CSettings& aSettings, const CPwDrives& aDrives, int32_t aId, CPwStringC aWord,
                        CPwString& aReason) {
  const TSettingItem* item = FindSettingItem(aId);
  if (!item) return false;
  CPwStringC word = Trimmed(aWord);
  int32_t number = 0;
  switch (item->iEditor) {
    case ESettingChoice: {
      if (ParseNumber(word, number)) return SetSettingNumber(aSettings, aId, number, aReason);
      CPwString label;
      for (int32_t i = 0; i < item->iChoiceCount; ++i) {
        label.LoadFromResource(item->iChoices[i].iLabel);
        if (IsWord(word, label)) return SetSettingNumber(aSettings, aId, item->iChoices[i].iValue, aReason);
      }
      label.LoadFromResource(item->iLabel);
      aReason.FormatUU(R_SET_REFUSE_CHOICE, word, label);
      return false;
    }
    case ESettingSwitch:
      if (IsWord(word, u"on") || word == CPwStringC(u"1")) return SetSettingNumber(aSettings, aId, 1, aReason);
      if (IsWord(word, u"off") || word == CPwStringC(u"0")) return SetSettingNumber(aSettings, aId, 0, aReason);
      Refuse(aReason, R_SET_REFUSE_ON_OFF, word);
      return false;
    case ESettingPort: {
      CPwStringC digits = word;
      if (digits.Length() >= 3 && IsWord(digits.Left(3), u"COM")) digits = digits.Mid(3);
      if (digits.Length() > 0 && digits.CharAt(digits.Length() - 1) == u':') digits = digits.Left(digits.Length() - 1);
      if (!ParseNumber(digits, number)) {
        Refuse(aReason, R_SET_REFUSE_PORT, word);
        return false;
      }
      // "COM0:" and "COM100" are refused with the text as given.
      if (number < pwports::KFirstPort || number > pwports::KLastPort) {
        Refuse(aReason, R_SET_REFUSE_PORT, word);
        return false;
      }
      return SetSettingNumber(aSettings, aId, number, aReason);
    }
    case ESettingStorage:
      for (int32_t i = 0; i < aDrives.Count(); ++i) {
        const CPwDriveInfo& drive = aDrives.At(i);
        if (IsWord(word, drive.Name()) && drive.IsPresent())
          return SetSettingStorage(aSettings, aDrives, drive.RootPath(), aReason);
      }
      // A root path may be given without its closing '/'.
      if (!word.IsEmpty() && word.CharAt(word.Length() - 1) != u'/') {
        CPwString slashed(word);
        slashed.AppendChar(u'/');
        if (aDrives.DriveOfPath(slashed)) return SetSettingStorage(aSettings, aDrives, slashed, aReason);
      }
      return SetSettingStorage(aSettings, aDrives, word, aReason);
    case ESettingInput:
      return SetSettingInputFile(aSettings, word, aReason);
    case ESettingHost:
      return SetSettingHost(aSettings, word, aReason);
    case ESettingNetPort:
      if (!ParseNumber(word, number)) {
        Refuse(aReason, R_SET_REFUSE_NET_PORT, word);
        return false;
      }
      return SetSettingNumber(aSettings, aId, number, aReason);
    case ESettingChannels: {
      CChannelList channels;
      if (!IsWord(word, u"none") && !word.IsEmpty()) {
        CPwStringC rest = word;
        for (;;) {
          const int32_t comma = rest.Find(u',');
          CPwStringC part = Trimmed(comma < 0 ? rest : rest.Left(comma));
          if (!ParseNumber(part, number)) {
            // A channel may be named instead of numbered.
            number = -1;
            CPwString name;
            for (const int32_t id : OfferedObdChannels()) {
              CStringProvider::ChannelName(id, name);
              if (IsWord(part, name)) number = id;
            }
            if (number < 0) {
              Refuse(aReason, R_SET_REFUSE_CHANNEL, part);
              return false;
            }
          }
          channels.Add(number);
          if (comma < 0) break;
          rest = rest.Mid(comma + 1);
        }
      }
      return SetSettingChannels(aSettings, aId, channels, aReason);
    }
    case ESettingDevice: {
      TPwBtAddr address;
      if (!IsWord(word, u"none") && !ParseAddress(word, address)) {
        Refuse(aReason, R_SET_REFUSE_ADDRESS, word);
        return false;
      }
      // The name found with the device stays while the address does.
      const TDeviceSetup* device = DeviceOf(aSettings, item->iPage);
      CPwString name;
      if (address.IsSet() && address == device->iBtAddr) name.Copy(DeviceNameOf(aSettings, item->iPage));
      SetSettingDevice(aSettings, aId, address, name);
      return true;
    }
    default:
      return false;
  }
}
