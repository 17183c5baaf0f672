#include "foundation/string_provider.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class TUnits : public MUnitsSource {
 public:
  explicit TUnits(int32_t aUnits) : iUnits(aUnits) {}
  int32_t Units() const override { return iUnits; }
  int32_t iUnits;
};

std::string Unit(const CStringProvider& aProvider, int32_t aKind) {
  return PwToUtf8(aProvider.UnitText(aKind));
}

std::string Channel(int32_t aId) {
  CPwString s(u"previous");
  CStringProvider::ChannelName(aId, s);
  return PwToUtf8(s);
}

std::string Size(int64_t aKib) {
  CPwString s(u"previous");
  CStringProvider::FormatStorageSize(aKib, s);
  return PwToUtf8(s);
}

}  // namespace

TEST(StringProviderTest, UnitTextsFollowTheUnitsSetting) {
  const char* metric[] = {"",    "s",   "km", "m",     "kph", "m",   "%",  "°C",   "rpm", "m/rev",
                          "kPa", "°",   "g/s", "",     "V",   "DOP", "sats", "G",  "Hz"};
  const char* english[] = {"",    "s",   "mi", "ft",    "mph", "ft",  "%",  "°C",   "rpm", "m/rev",
                           "kPa", "°",   "g/s", "",     "V",   "DOP", "sats", "G",  "Hz"};
  TUnits units(0);
  std::unique_ptr<CStringProvider> provider(CStringProvider::NewL(&units));
  for (int32_t kind = 0; kind < CStringProvider::KUnitKindCount; ++kind)
    EXPECT_EQ(Unit(*provider, kind), metric[kind]) << kind;
  // The setting is read on every call, so a change shows at once.
  units.iUnits = 1;
  for (int32_t kind = 0; kind < CStringProvider::KUnitKindCount; ++kind)
    EXPECT_EQ(Unit(*provider, kind), english[kind]) << kind;
  // Unknown kinds are empty in both systems.
  for (int32_t kind : {-1, 19, 100}) EXPECT_EQ(Unit(*provider, kind), "") << kind;
  // Only the value 1 means English.
  units.iUnits = 2;
  EXPECT_EQ(Unit(*provider, 4), "kph");
  provider->SetUnitsSource(nullptr);
  EXPECT_EQ(Unit(*provider, 4), "kph");
  CStringProvider noSettings;
  EXPECT_EQ(Unit(noSettings, 2), "km");
}

TEST(StringProviderTest, ChannelNames) {
  EXPECT_EQ(Channel(1), "GPS Time");
  EXPECT_EQ(Channel(2), "Distance (direct)");
  EXPECT_EQ(Channel(3), "Distance");
  EXPECT_EQ(Channel(7), "Satellites");
  EXPECT_EQ(Channel(9), "Coordinate precision");
  EXPECT_EQ(Channel(11), "3D precision");
  EXPECT_EQ(Channel(13), "GPS longidutinal G");
  EXPECT_EQ(Channel(21), "OBD Time");
  EXPECT_EQ(Channel(23), "OBD speed");
  EXPECT_EQ(Channel(24), "RPM");
  EXPECT_EQ(Channel(25), "Throttle position");
  EXPECT_EQ(Channel(26), "Coolant temperature");
  EXPECT_EQ(Channel(31), "Ambient temperature");
  EXPECT_EQ(Channel(43), "Run time since start");
  EXPECT_EQ(Channel(44), "Oxygen sensor 1 B1");
  EXPECT_EQ(Channel(47), "Oxygen sensor 4 B1");
  EXPECT_EQ(Channel(48), "Oxygen sensor 1 B2");
  EXPECT_EQ(Channel(51), "Oxygen sensor 4 B2");
  EXPECT_EQ(Channel(52), "Distance with MIL");
  EXPECT_EQ(Channel(57), "Evoporative purge");
  EXPECT_EQ(Channel(65), "Relative throttle pos.");
  EXPECT_EQ(Channel(20000), "DataLogger Time");
  EXPECT_EQ(Channel(20002), "Digital 1/RPM");
  EXPECT_EQ(Channel(20003), "Analog 1");
  EXPECT_EQ(Channel(20007), "Analog 5");
  EXPECT_EQ(Channel(20008), "Longidutinal G");
  EXPECT_EQ(Channel(20009), "Lateral G");
  EXPECT_EQ(Channel(20010), "Digital 2");
  EXPECT_EQ(Channel(20011), "Analog 6");
  EXPECT_EQ(Channel(20013), "Analog 8");
  // Identifiers without a name of their own, derived axes included.
  for (int32_t id : {0, -1, 8, 14, 20, 22, 66, 19999, 20001, 20014, 1 << 30})
    EXPECT_EQ(Channel(id), "Unknown channel") << id;
}

TEST(StringProviderTest, TrapTypeNames) {
  const std::pair<int32_t, const char*> cases[] = {
      {1, "Start"}, {2, "Finish"}, {3, "Start/Finish"}, {5, "Standing start"},
      {0, "Split"}, {4, "Split"},  {6, "Split"},        {-1, "Split"}};
  for (const auto& [type, name] : cases) {
    CPwString s;
    CStringProvider::TrapTypeName(type, s);
    EXPECT_EQ(PwToUtf8(s), name) << type;
  }
}

TEST(StringProviderTest, FormatStorageSizeBoundaries) {
  EXPECT_EQ(Size(0), "0 kB");
  EXPECT_EQ(Size(999), "999 kB");
  EXPECT_EQ(Size(1000), "1.0 MB");
  EXPECT_EQ(Size(10187), "9.9 MB");
  EXPECT_EQ(Size(10188), "10 MB");
  EXPECT_EQ(Size(1023487), "999 MB");
  EXPECT_EQ(Size(1023488), "1.0 GB");
  EXPECT_EQ(Size(5 * 1048576LL + 524288), "5.5 GB");
  EXPECT_EQ(Size(4LL * 1024 * 1048576), "4096.0 GB");
}
