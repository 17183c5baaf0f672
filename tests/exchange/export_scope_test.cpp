// The best and selected lap scopes when the lap asked for is not one the format can hold: the
// export fails with "nothing to export" before any file is made or replaced, in every format.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "exchange/export_rig.h"

using namespace exportrig;

namespace {

constexpr int32_t KFormats[] = {EExportKml, EExportCsv, EExportVbo, EExportDat, EExportGpx};

size_t ExportedFiles(const Session& aSession) {
  const std::filesystem::path folder = aSession.iRoot + "Pacewright/Exports";
  if (!std::filesystem::exists(folder)) return 0;
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

class ExportScope : public ::testing::Test {
 protected:
  void SetUp() override {
    iSession.DriveCircuit(1700);
    iSession.AddTrackAndLaps();
    ASSERT_EQ(iSession.iLaps->LapCount(), 6);  // five finished, the sixth running
    ASSERT_FALSE(iSession.iLaps->Lap(5)->IsFinished());
  }
  Session::TResult Export(int32_t aFormat, int32_t aScope, int32_t aSelected) {
    TExportRequest r = iSession.Request(aFormat, aScope);
    r.iSelectedLap = aSelected;
    return iSession.Export(r);
  }
  Session iSession;
};

}  // namespace

TEST_F(ExportScope, ALapTheFormatCannotHoldIsNothingToExport) {
  for (int32_t format : KFormats) {
    // The running lap, in every format.
    Session::TResult r = Export(format, EExportSelectedLap, 5);
    EXPECT_EQ(r.iCode, CSessionExporter::KErrNothingToExport) << format;
    EXPECT_TRUE(r.iPath.empty()) << r.iPath;
    // A lap past the end of the list.
    r = Export(format, EExportSelectedLap, 6);
    EXPECT_EQ(r.iCode, CSessionExporter::KErrNothingToExport) << format;
    // The optimal lap everywhere but KML.
    r = Export(format, EExportSelectedLap, CLapList::KOptimalLap);
    EXPECT_EQ(r.iCode, format == EExportKml ? 0 : CSessionExporter::KErrNothingToExport) << format;
  }
  // An invalid lap is left out of KML only.
  iSession.iLaps->SetInvalidMarker(2, 1);
  EXPECT_EQ(Export(EExportKml, EExportSelectedLap, 2).iCode, CSessionExporter::KErrNothingToExport);
  const Session::TResult csv = Export(EExportCsv, EExportSelectedLap, 2);
  EXPECT_EQ(csv.iCode, 0);
  EXPECT_NE(csv.iPath.find("-lap-3-export.csv"), std::string::npos) << csv.iPath;
  // Only the optimal KML and the invalid lap's CSV were written.
  EXPECT_EQ(ExportedFiles(iSession), 2u);
}

TEST_F(ExportScope, TheRefusalLeavesAnEarlierFileOfTheSameNameAlone) {
  // A lap that cannot be exported would be named lap 0 ("no lap selected").
  std::filesystem::create_directories(iSession.iRoot + "Pacewright/Exports");
  ASSERT_TRUE(pwtest::WriteFileBytes(iSession.iRoot + "Pacewright/Exports/20240601-1200-lap-0-export.gpx", "earlier"));
  EXPECT_EQ(Export(EExportGpx, EExportSelectedLap, CLapList::KOptimalLap).iCode, CSessionExporter::KErrNothingToExport);
  EXPECT_EQ(pwtest::ReadFileBytes(iSession.iRoot + "Pacewright/Exports/20240601-1200-lap-0-export.gpx"), "earlier");
}

TEST(ExportScopeWithoutFinishedLap, BestAndSelectedLapAreNothingToExportAllLapsAndRouteStillWrite) {
  Session s;
  s.DriveCircuit(100);  // the line is crossed once: one lap, still running
  s.AddTrackAndLaps();
  ASSERT_EQ(s.iLaps->LapCount(), 1);
  ASSERT_EQ(s.iLaps->BestLapIndex(), -1);
  for (int32_t format : KFormats) {
    EXPECT_EQ(s.Export(format, EExportBestLap).iCode, CSessionExporter::KErrNothingToExport) << format;
    // The viewed lap is the running one.
    EXPECT_EQ(s.Export(format, EExportSelectedLap).iCode, CSessionExporter::KErrNothingToExport) << format;
  }
  EXPECT_EQ(ExportedFiles(s), 0u);
  // All laps keeps writing its header and trailer for a list without a finished lap, and the
  // route goes out as before.
  const Session::TResult all = s.Export(EExportGpx, EExportAllLaps);
  EXPECT_EQ(all.iCode, 0);
  EXPECT_NE(all.iBytes.find("</author>\r\n</gpx>\r\n"), std::string::npos);
  const Session::TResult route = s.Export(EExportGpx, EExportRoute);
  EXPECT_EQ(route.iCode, 0);
  EXPECT_NE(route.iBytes.find("<trkpt "), std::string::npos);
}
