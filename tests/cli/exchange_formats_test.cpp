// Exchange with other tools from the command line, on the shipped example session and on
// logs converted by gpsbabel: logger channels in every exported row, GPX import, the overlay
// CSV export.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

std::vector<std::string> SplitLines(const std::string& aText) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < aText.size()) {
    size_t at = aText.find('\n', from);
    if (at == std::string::npos) at = aText.size();
    std::string line = aText.substr(from, at - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    from = at + 1;
  }
  return lines;
}

size_t FieldCount(const std::string& aRow, char aSeparator) {
  return static_cast<size_t>(std::count(aRow.begin(), aRow.end(), aSeparator)) + 1;
}

bool ExamplesBuilt() {
  return std::filesystem::exists(std::string(PW_SOURCE_DATA_DIR) +
                                 "/examples/Pacewright/Sessions/20070101-0000-example-plots.bin");
}

TEST(CliExchange, ExampleSessionExportsCarryTheLoggerInEveryRow) {
  if (!ExamplesBuilt()) GTEST_SKIP() << "the examples are not built";
  Cli cli;
  cli.UseSourceInstall();
  const std::string csvPath = cli.Ok({"export", "20070101-0000-example", "--format", "csv", "--scope", "route"}).Line();
  const std::vector<std::string> csv = SplitLines(pwtest::ReadFileBytes(csvPath));
  size_t header = 0;
  while (header < csv.size() && csv[header].rfind("Lap #", 0) != 0) ++header;
  ASSERT_LT(header, csv.size());
  const size_t columns = FieldCount(csv[header], ',');
  // 19 fixed columns, two OBD lists besides RPM and throttle, the 12 logger channels.
  EXPECT_EQ(columns, 33u);
  size_t rows = 0, full = 0;
  for (size_t i = header + 1; i < csv.size(); ++i) {
    if (csv[i].empty()) continue;
    ++rows;
    if (FieldCount(csv[i], ',') == columns) ++full;
  }
  EXPECT_GT(rows, 5000u);
  // The logger ran through the whole drive: at most its first moments miss it.
  EXPECT_GE(full, rows - 2) << full << " of " << rows;

  const std::string vboPath = cli.Ok({"export", "20070101-0000-example", "--format", "vbo", "--scope", "all"}).Line();
  const std::vector<std::string> vbo = SplitLines(pwtest::ReadFileBytes(vboPath));
  const auto data = std::find(vbo.begin(), vbo.end(), "[data]");
  ASSERT_NE(data, vbo.end());
  size_t vboRows = 0, vboFull = 0;
  for (auto it = data + 1; it != vbo.end(); ++it) {
    if (it->empty()) continue;
    ++vboRows;
    if (FieldCount(*it, ' ') >= 7 + 12) ++vboFull;
  }
  EXPECT_GT(vboRows, 1000u);
  EXPECT_GE(vboFull, vboRows - 2);
}

}  // namespace
}  // namespace pwclitest
