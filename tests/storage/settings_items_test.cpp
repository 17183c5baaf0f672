// The shared settings items: which items show for every stored device type (also the Bluetooth
// and built-in types that files of handheld builds hold), what an input file must look like,
// and values typed as words that are refused without touching the settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string_view>

#include "acquisition/gps_client.h"
#include "foundation/drives.h"
#include "foundation/pw_string.h"
#include "storage/settings.h"
#include "storage/settings_items.h"
#include "support/test_support.h"

namespace {

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

std::set<int32_t> VisibleOn(const CSettings& aSettings, int32_t aPage) {
  std::set<int32_t> ids;
  for (int32_t i = 0; i < SettingItemCount(); ++i) {
    const TSettingItem& item = SettingItemAt(i);
    if (item.iPage == aPage && SettingVisible(aSettings, item.iId)) ids.insert(item.iId);
  }
  return ids;
}

TEST(SettingsItems, DeviceTypesShowTheirOwnItems) {
  CSettings settings(u"/media/docs/");
  const std::vector<std::pair<int32_t, std::set<int32_t>>> gps = {
      {MDeviceSettings::EGpsBluetooth, {ESetGpsType, ESetGpsDevice, ESetGpsBaud, ESetGpsReceiverRate}},
      {MDeviceSettings::EGpsInternal, {ESetGpsType}},
      {MDeviceSettings::EGpsInputFile, {ESetGpsType, ESetGpsFile}},
      {MDeviceSettings::EGpsSerial, {ESetGpsType, ESetGpsPort, ESetGpsBaud, ESetGpsReceiverRate}},
      {MDeviceSettings::EGpsGpsd, {ESetGpsType, ESetGpsdHost, ESetGpsdPort}}};
  for (const auto& [type, ids] : gps) {
    settings.Gps().iType = type;
    EXPECT_EQ(VisibleOn(settings, ESettingsGps), ids) << "GPS type " << type;
  }
  const std::vector<std::pair<int32_t, std::set<int32_t>>> obd = {
      {MDeviceSettings::EObdDisabled, {ESetObdType}},
      {MDeviceSettings::EObdBluetooth, {ESetObdType, ESetObdDevice, ESetObdBaud, ESetObdHigh, ESetObdLow}},
      {MDeviceSettings::EObdSerial, {ESetObdType, ESetObdPort, ESetObdBaud, ESetObdHigh, ESetObdLow}}};
  for (const auto& [type, ids] : obd) {
    settings.Obd().iType = type;
    EXPECT_EQ(VisibleOn(settings, ESettingsObd), ids) << "OBD-II type " << type;
  }
  const std::vector<std::pair<int32_t, std::set<int32_t>>> logger = {
      {MDeviceSettings::ELoggerDisabled, {ESetLoggerType}},
      {MDeviceSettings::ELoggerAccelerometer, {ESetLoggerType}},
      {MDeviceSettings::ELoggerDatavaneBluetooth, {ESetLoggerType, ESetLoggerDevice, ESetLoggerBaud}},
      {MDeviceSettings::ELoggerDatavaneSerial, {ESetLoggerType, ESetLoggerPort, ESetLoggerBaud}}};
  for (const auto& [type, ids] : logger) {
    settings.Logger().iType = type;
    EXPECT_EQ(VisibleOn(settings, ESettingsLogger), ids) << "logger type " << type;
  }
  // Keys are unique and every item is found by its key.
  std::set<std::string> keys;
  for (int32_t i = 0; i < SettingItemCount(); ++i) {
    keys.insert(SettingItemAt(i).iKey);
    EXPECT_EQ(FindSettingItemByKey(SettingItemAt(i).iKey), &SettingItemAt(i));
  }
  EXPECT_EQ(keys.size(), static_cast<size_t>(SettingItemCount()));
  EXPECT_EQ(FindSettingItemByKey("gps-baud"), nullptr);
}

TEST(SettingsItems, AnInputFileMustHoldSentencesAndRefusalsChangeNothing) {
  pwtest::TempDir dir;
  CSettings settings(u"/media/docs/");
  CPwString reason;
  const std::vector<std::pair<std::string, bool>> files = {
      {"$GPRMC,120000.00,A,4800.0,N,01100.0,E,0.0,0.0,010107,,*00\r\n", true},
      {"junk before\n$PW1,1,2,3\r\n", true},     // the logger's own sentence
      {"!AIVDM,1,1,,A,13aG?P,0*00\r\n", true},   // an encapsulated sentence
      {"$GP\n$ ,\n$GPRMC\n", false},             // starts of sentences, none complete
      {"", false},
      {"Lap 3 was slow, $5 for coffee\n", false}};
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string path = dir.Path() + "/f" + std::to_string(i) + ".nmea";
    ASSERT_TRUE(pwtest::WriteFileBytes(path, files[i].first));
    settings.SetGpsInputFile(u"/before.nmea");
    const bool taken = SetSettingInputFile(settings, PwStringFromUtf8(path), reason);
    EXPECT_EQ(taken, files[i].second) << files[i].first;
    EXPECT_EQ(Utf8(settings.GpsInputFile()), taken ? path : "/before.nmea");
  }
  // A folder is not a file.
  EXPECT_FALSE(SetSettingInputFile(settings, PwStringFromUtf8(dir.Path()), reason));
  EXPECT_EQ(Utf8(reason), "Cannot read the input file '" + dir.Path() + "'.");

  // Choices, ports and channels are checked; nothing moves on a refusal.
  settings.Gps().iBaudRate = 96;
  EXPECT_FALSE(SetSettingNumber(settings, ESetGpsBaud, 1151, reason));
  EXPECT_EQ(Utf8(reason), "'1151' is not a choice of 'Baudrate'.");
  EXPECT_TRUE(SetSettingNumber(settings, ESetGpsBaud, 1152, reason));
  EXPECT_EQ(settings.Gps().iBaudRate, 1152);
  EXPECT_FALSE(SetSettingNumber(settings, ESetLoggerPort, 100, reason));
  EXPECT_EQ(settings.Logger().iSerialPort, 6);
  CChannelList channels;
  channels.Add(KChannelObdRpm);
  channels.Add(KChannelLoggerDigital1);  // a logger channel is no OBD-II channel
  EXPECT_FALSE(SetSettingChannels(settings, ESetObdLow, channels, reason));
  EXPECT_EQ(Utf8(reason), "'20002' is not an OBD-II channel.");
  EXPECT_EQ(settings.LowPriorityChannels().Count(), 2);
}

TEST(SettingsItems, TheGpsdPlaceIsTypedAsWordsAndCheckedBeforeItIsStored) {
  pwtest::TempDir dir;
  ::setenv("PACEWRIGHT_DOCUMENTS", dir.Path().c_str(), 1);
  std::unique_ptr<CPwDrives> media(CPwDrives::NewL("/nonexistent"));
  ::unsetenv("PACEWRIGHT_DOCUMENTS");
  const CPwDrives& drives = *media;
  CSettings settings(u"/media/docs/");
  CPwString reason, word;
  ASSERT_TRUE(SetSettingFromWord(settings, drives, ESetGpsType, u"GPSD", reason)) << Utf8(reason);
  EXPECT_EQ(settings.Gps().iType, MDeviceSettings::EGpsGpsd);
  SettingValueWord(settings, ESetGpsdHost, word);
  EXPECT_EQ(Utf8(word), "localhost");
  SettingValueWord(settings, ESetGpsdPort, word);
  EXPECT_EQ(Utf8(word), "2947");

  EXPECT_TRUE(SetSettingFromWord(settings, drives, ESetGpsdHost, u"  pi-car.local ", reason));
  EXPECT_EQ(Utf8(settings.GpsdHost()), "pi-car.local");
  EXPECT_TRUE(SetSettingFromWord(settings, drives, ESetGpsdPort, u"12947", reason));
  EXPECT_EQ(settings.GpsdPort(), 12947);
  SettingValueText(settings, drives, ESetGpsdPort, word);
  EXPECT_EQ(Utf8(word), "12947");

  // Nothing that could not be a host or a port is kept.
  for (const std::u16string_view host : {u"", u"   ", u"bad host", u"host;rm", u"gpsd://pi"}) {
    EXPECT_FALSE(SetSettingFromWord(settings, drives, ESetGpsdHost, host, reason)) << Utf8(host);
    EXPECT_EQ(Utf8(settings.GpsdHost()), "pi-car.local");
  }
  const std::u16string longest(255, u'a'), longer(256, u'a');
  EXPECT_FALSE(SetSettingHost(settings, std::u16string_view(longer), reason));
  EXPECT_TRUE(SetSettingHost(settings, std::u16string_view(longest), reason));
  EXPECT_FALSE(SetSettingFromWord(settings, drives, ESetGpsdHost, u"a b", reason));
  EXPECT_EQ(Utf8(reason), "'a b' is not a host name or address.");
  for (const std::u16string_view port : {u"0", u"65536", u"-1", u"2947x", u"", u"COM3:"}) {
    EXPECT_FALSE(SetSettingFromWord(settings, drives, ESetGpsdPort, port, reason)) << Utf8(port);
    EXPECT_EQ(settings.GpsdPort(), 12947);
  }
  EXPECT_EQ(Utf8(reason), "The gpsd port must be a number from 1 to 65535, not 'COM3:'.");
  EXPECT_TRUE(SetSettingFromWord(settings, drives, ESetGpsdPort, u"65535", reason));
}

}  // namespace
