// Logger channels in the CSV and VBO rows: a logger samples at its own rate and phase, so each
// GPS row takes the latest logger record that is not older than one GPS sample interval.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export_rig.h"
#include "storage/data_logger_plot_list.h"

using namespace exportrig;

namespace {

// Rows after the CSV column header.
std::vector<std::string> CsvRows(const std::string& aBytes) {
  std::vector<std::string> lines = Lines(aBytes);
  size_t header = 0;
  while (header < lines.size() && lines[header].rfind("Lap #", 0) != 0) ++header;
  std::vector<std::string> rows(lines.begin() + static_cast<long>(header) + 1, lines.end());
  while (!rows.empty() && rows.back().empty()) rows.pop_back();
  return rows;
}

std::vector<std::string> VboRows(const std::string& aBytes) {
  std::vector<std::string> lines = Lines(aBytes);
  size_t data = 0;
  while (data < lines.size() && lines[data] != "[data]") ++data;
  std::vector<std::string> rows(lines.begin() + static_cast<long>(data) + 1, lines.end());
  while (!rows.empty() && rows.back().empty()) rows.pop_back();
  return rows;
}

std::string LastField(const std::string& aRow, char aSeparator) {
  return aRow.substr(aRow.find_last_of(aSeparator) + 1);
}

size_t Fields(const std::string& aRow, char aSeparator) {
  return static_cast<size_t>(std::count(aRow.begin(), aRow.end(), aSeparator)) + 1;
}

}  // namespace

TEST(ExportLogger, RowsTakeTheLatestRecordOfTheLastSampleInterval) {
  Session s;
  s.DriveCircuit(20);  // 10 Hz from 12:00:00.000 to 12:00:01.900
  // A 50 Hz logger, 7 ms behind the GPS phase, from 12:00:00.300 to 12:00:01.000; its value
  // is the record's own millisecond, so every row tells which record it took.
  for (int32_t t = 307; t <= 1007; t += 20) {
    TDataLoggerRecord record;
    record.SetValue(KChannelLoggerAnalog1, t);
    s.iPlots->AddLoggerRecord(KStartOfDay + t, record, 0);
  }

  const std::vector<std::string> csv = CsvRows(s.Export(EExportCsv, EExportRoute).iBytes);
  ASSERT_EQ(csv.size(), 20u);
  const size_t full = Fields(csv[0], ',') + 1;
  // Before the logger starts the row has no logger field.
  EXPECT_EQ(Fields(csv[3], ','), full - 1) << csv[3];
  // 0.4 s takes the record of 0.387, 1.0 s the one of 0.987 (not 1.007, which comes after).
  EXPECT_EQ(LastField(csv[4], ','), "387");
  EXPECT_EQ(LastField(csv[10], ','), "987");
  // 1.1 s still has the record of 1.007 within its interval; 1.2 s has none left.
  EXPECT_EQ(LastField(csv[11], ','), "1007");
  EXPECT_EQ(Fields(csv[11], ','), full);
  EXPECT_EQ(Fields(csv[12], ','), full - 1) << csv[12];

  const std::vector<std::string> vbo = VboRows(s.Export(EExportVbo, EExportRoute).iBytes);
  ASSERT_EQ(vbo.size(), 20u);
  // Width 6 counts as with the other VBO numbers: five digits for a whole number.
  EXPECT_EQ(LastField(vbo[4], ' '), "00387");
  EXPECT_EQ(LastField(vbo[11], ' '), "01007");
  EXPECT_EQ(Fields(vbo[12], ' '), 7u);
}
