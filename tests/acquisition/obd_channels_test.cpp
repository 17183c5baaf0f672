#include "acquisition/obd_channels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

class ObdChannelsTest : public ::testing::Test {
 protected:
  void SetUp() override { iList.reset(CObdChannelList::NewL()); }
  bool Decode(std::vector<uint8_t> aBytes, uint32_t& aRaw) {
    return iList->Decode(aBytes.data(), static_cast<int32_t>(aBytes.size()), aBytes.size() > 1 ? aBytes[1] : 0, aRaw);
  }
  std::unique_ptr<CObdChannelList> iList;
};

TEST_F(ObdChannelsTest, TableInDefinitionOrder) {
  ASSERT_EQ(iList->Count(), 43);
  EXPECT_EQ(iList->At(0).Id(), 32);
  EXPECT_EQ(iList->At(0).Pid(), 0x04);
  EXPECT_EQ(iList->At(iList->Count() - 1).Id(), 31);
  EXPECT_EQ(iList->ChannelByPid(0x0C)->Id(), 24);
  EXPECT_EQ(iList->ChannelById(23)->Pid(), 0x0D);
  EXPECT_EQ(iList->ChannelByPid(0x20), nullptr);
  EXPECT_EQ(iList->ChannelById(8), nullptr);
  EXPECT_EQ(PwToUtf8(iList->ChannelByPid(0x0C)->Name()), "RPM");
  EXPECT_EQ(PwToUtf8(iList->ChannelByPid(0x1B)->Name()), "Oxygen sensor 4 B2");
  // Every channel identifier from 23 to 65 exactly once.
  std::vector<int> seen(66, 0);
  for (int32_t i = 0; i < iList->Count(); ++i) ++seen[iList->At(i).Id()];
  for (int id = 23; id <= 65; ++id) EXPECT_EQ(seen[id], 1) << id;
}

TEST_F(ObdChannelsTest, DecodeAndScale) {
  uint32_t raw = 0;
  ASSERT_TRUE(Decode({0x41, 0x0C, 0x1A, 0xF8}, raw));
  EXPECT_EQ(raw, 6904u);
  EXPECT_DOUBLE_EQ(iList->ScaledValue(0x0C, raw), 1726);
  ASSERT_TRUE(Decode({0x41, 0x0D, 0x64}, raw));
  EXPECT_NEAR(iList->ScaledValue(0x0D, raw), 27.78, 0.005);
  ASSERT_TRUE(Decode({0x41, 0x05, 0x5A}, raw));
  EXPECT_DOUBLE_EQ(iList->ScaledValue(0x05, raw), 50);
  // The oxygen sensors carry a trim byte after the value, which is dropped.
  ASSERT_TRUE(Decode({0x41, 0x14, 0x80, 0xFF}, raw));
  EXPECT_EQ(raw, 0x80FFu);
  EXPECT_DOUBLE_EQ(iList->ScaledValue(0x14, raw), 0.64);
  ASSERT_TRUE(Decode({0x41, 0x32, 0x00, 0x00}, raw));
  EXPECT_DOUBLE_EQ(iList->ScaledValue(0x32, raw), -8192);
  // Wrong mode, wrong PID, too short, or no such channel.
  EXPECT_FALSE(Decode({0x42, 0x0C, 0x1A, 0xF8}, raw));
  EXPECT_FALSE(iList->Decode(std::vector<uint8_t>{0x41, 0x0C, 0x1A, 0xF8}.data(), 4, 0x0D, raw));
  EXPECT_FALSE(Decode({0x41, 0x0C, 0x1A}, raw));
  EXPECT_FALSE(Decode({0x41, 0x14, 0x80}, raw));
  EXPECT_FALSE(Decode({0x41, 0x01, 0x00, 0x07, 0xE5, 0x00}, raw));
  EXPECT_FALSE(iList->Decode(nullptr, 0, 0x0C, raw));
  EXPECT_TRUE(std::isnan(iList->ScaledValue(0x01, 0)));
}

TEST_F(ObdChannelsTest, SupportedPidBitmaps) {
  uint32_t raw = 0;
  EXPECT_FALSE(Decode({0x41, 0x00, 0xBE, 0x3E, 0xB8, 0x11}, raw));
  EXPECT_EQ(iList->PendingRangeQuery(), 0x20);
  EXPECT_EQ(iList->RebuildFlag(), 1);
  for (int pid : {0x04, 0x05, 0x06, 0x07, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x11, 0x13, 0x14, 0x15, 0x1C})
    EXPECT_EQ(iList->ChannelByPid(static_cast<uint8_t>(pid))->SupportState(), CObdChannel::ESupported) << pid;
  for (int pid : {0x08, 0x09, 0x0A, 0x10, 0x12, 0x16, 0x1D, 0x1F})
    EXPECT_EQ(iList->ChannelByPid(static_cast<uint8_t>(pid))->SupportState(), CObdChannel::ESupportUnknown) << pid;

  // A second answer that drops RPM marks it unsupported; unknown ones stay unknown.
  iList->ClearRebuildFlag();
  EXPECT_FALSE(Decode({0x41, 0x00, 0xBE, 0x2E, 0xB8, 0x11}, raw));
  EXPECT_EQ(iList->ChannelByPid(0x0C)->SupportState(), CObdChannel::ENotSupported);
  EXPECT_EQ(iList->ChannelByPid(0x08)->SupportState(), CObdChannel::ESupportUnknown);
  EXPECT_EQ(iList->RebuildFlag(), 1);
  // The same answer again changes nothing.
  iList->ClearRebuildFlag();
  EXPECT_FALSE(Decode({0x41, 0x00, 0xBE, 0x2E, 0xB8, 0x11}, raw));
  EXPECT_EQ(iList->RebuildFlag(), 0);

  // The 0x40 range never asks for a further range.
  EXPECT_FALSE(Decode({0x41, 0x40, 0x40, 0x00, 0x00, 0x01}, raw));
  EXPECT_EQ(iList->PendingRangeQuery(), 0);
  EXPECT_EQ(iList->ChannelByPid(0x42)->SupportState(), CObdChannel::ESupported);

  iList->Forget();
  EXPECT_EQ(iList->RebuildFlag(), 0);
  EXPECT_EQ(iList->ChannelByPid(0x04)->SupportState(), CObdChannel::ESupportUnknown);
}

}  // namespace
