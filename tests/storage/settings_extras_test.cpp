// Settings kept after the 38 items of settings.dat: written only when not at their default,
// read back, skipped by tag when unknown, and offered as items like the others.
#include "storage/settings_extras.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <string>

#include "storage/settings.h"
#include "storage/settings_items.h"
#include "support/test_support.h"

namespace {

std::string ReadAll(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& aPath, const std::string& aBytes) {
  std::ofstream(aPath, std::ios::binary) << aBytes;
}

std::string Pair(int32_t aTag, int32_t aValue) {
  std::string s;
  for (int32_t v : {aTag, aValue})
    for (int k = 0; k < 4; ++k) s += static_cast<char>((v >> (8 * k)) & 0xFF);
  return s;
}

TEST(SettingsExtras, DefaultFileStaysAsItWasAndLaterItemsFollowItOnlyWhenSet) {
  pwtest::TempDir dir;
  ::setenv("PACEWRIGHT_APPDATA", dir.Path().c_str(), 1);
  const std::string file = dir / "settings.dat";

  CSettings defaults(u"/media/docs/");
  ASSERT_EQ(defaults.SaveSafely(), 0);
  const std::string plain = ReadAll(file);
  ASSERT_FALSE(plain.empty());
  // The tagged items follow the positional later items (gpsd place, live delta), written in
  // full before them: take their bytes from a file with the live delta off, and turn it on.
  CSettings off(u"/media/docs/");
  off.SetLiveDelta(0);
  ASSERT_EQ(off.SaveSafely(), 0);
  std::string positional = ReadAll(file);
  ASSERT_GT(positional.size(), plain.size() + 2);
  positional.replace(positional.size() - 2, 2, std::string("\x01\x00", 2));

  CSettings changed(u"/media/docs/");
  changed.GpsReceiverRate() = 25;
  changed.GpsFoundBaudRate() = 576;
  ASSERT_EQ(changed.SaveSafely(), 0);
  EXPECT_EQ(ReadAll(file), positional + Pair(ESettingsTagGpsReceiverRate, 25) + Pair(ESettingsTagGpsFoundBaud, 576));

  CSettings loaded(u"/media/docs/");
  EXPECT_FALSE(loaded.Load());
  EXPECT_EQ(loaded.GpsReceiverRate(), 25);
  EXPECT_EQ(loaded.GpsFoundBaudRate(), 576);
  CSettings copy(u"/media/docs/");
  copy.CopyFrom(loaded);
  EXPECT_EQ(copy.GpsReceiverRate(), 25);

  // A file of an earlier build, and one of a later build with a tag unknown here and a cut
  // pair: what is known is read, nothing counts as damage.
  WriteAll(file, plain);
  CSettings older(u"/media/docs/");
  EXPECT_FALSE(older.Load());
  EXPECT_EQ(older.GpsReceiverRate(), 0);
  WriteAll(file, positional + Pair(77, 5) + Pair(ESettingsTagGpsReceiverRate, 10) + std::string("\x01\x00", 2));
  CSettings later(u"/media/docs/");
  EXPECT_FALSE(later.Load());
  EXPECT_EQ(later.GpsReceiverRate(), 10);
  EXPECT_EQ(later.GpsFoundBaudRate(), 0);
  ::unsetenv("PACEWRIGHT_APPDATA");
}

TEST(SettingsExtras, ReceiverRateIsAChoiceOfTheGpsPage) {
  CSettings settings(u"/media/docs/");
  CPwString reason;
  EXPECT_TRUE(SetSettingNumber(settings, ESetGpsReceiverRate, 18, reason));
  EXPECT_EQ(settings.GpsReceiverRate(), 18);
  EXPECT_FALSE(SetSettingNumber(settings, ESetGpsReceiverRate, 20, reason));
  EXPECT_EQ(settings.GpsReceiverRate(), 18);
  const TSettingItem* item = FindSettingItemByKey("gps-receiver-rate");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->iPage, ESettingsGps);
  EXPECT_EQ(item->iChoiceCount, 5);
  settings.Gps().iType = 2;  // an input file has no receiver to set
  EXPECT_FALSE(SettingVisible(settings, ESetGpsReceiverRate));
}

}  // namespace
