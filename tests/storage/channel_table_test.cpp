// The channel table against the lists that produce channels: every channel a sample list or a
// device can deliver must have its row, or it would show as "Unknown channel" without unit.
#include "foundation/channel_table.h"

#include <gtest/gtest.h>

#include <memory>

#include "acquisition/obd_channels.h"
#include "foundation/string_provider.h"
#include "storage/data_logger_plot_list.h"
#include "storage/position_plot_list.h"
#include "strings/pw_strings.h"

namespace {

void ExpectNamedRow(TChannelId aId) {
  const TChannelRow* row = FindChannelRow(aId);
  ASSERT_NE(row, nullptr) << aId;
  EXPECT_EQ(row->iId, aId);
  EXPECT_NE(row->iClass, EQuantityNone) << aId;
  EXPECT_NE(ChannelNameEntry(aId), R_CHANNEL_UNKNOWN) << aId;
}

TEST(ChannelTable, EveryDeliveredChannelHasANamedRowWithAQuantity) {
  CPositionPlotList positions;
  for (int32_t i = 0; i < CPositionPlotList::KChannelCount; ++i) ExpectNamedRow(positions.ChannelId(i));
  for (int32_t i = 0; i < KDataLoggerChannelCount; ++i) ExpectNamedRow(KDataLoggerChannelIds[i]);
  std::unique_ptr<CObdChannelList> obd(CObdChannelList::NewL());
  ASSERT_GT(obd->Count(), 0);
  for (int32_t i = 0; i < obd->Count(); ++i) {
    const CObdChannel& channel = obd->At(i);
    ExpectNamedRow(channel.Id());
    // The OBD-II list names its channels from the same rows.
    CPwString name;
    CStringProvider::ChannelName(channel.Id(), name);
    EXPECT_TRUE(channel.Name().Equals(name)) << channel.Id();
  }
}

TEST(ChannelTable, UnknownIdentifiersAndClassesReadAsNothing) {
  for (TChannelId id : {0, 8, 15, 66, 19999, 20014, -1}) {
    EXPECT_EQ(FindChannelRow(id), nullptr) << id;
    EXPECT_EQ(ChannelQuantityClass(id), EQuantityNone) << id;
    EXPECT_EQ(ChannelNameEntry(id), R_CHANNEL_UNKNOWN) << id;
  }
  // Known channels without a name of their own (distances no device names).
  EXPECT_EQ(ChannelNameEntry(KChannelObdDistance), R_CHANNEL_UNKNOWN);
  EXPECT_EQ(ChannelQuantityClass(KChannelObdDistance), EQuantityDistance);
  for (int32_t kind : {-1, static_cast<int32_t>(EQuantityClassCount), 1000}) {
    const TQuantityRow& row = QuantityRow(kind);
    EXPECT_EQ(row.iClass, EQuantityNone);
    EXPECT_STREQ(row.iExportUnit, "");
    EXPECT_EQ(QuantityDecimals(kind), 0);
    EXPECT_EQ(QuantityFactor(kind, true), 1.0);
  }
  // The class without a quantity still heads its export column.
  EXPECT_STREQ(QuantityRow(EQuantityNone).iExportUnit, "N/A");
}

}  // namespace
