// Export rows worked out by hand from the file layouts for a place south of the equator and
// west of Greenwich, below sea level: every sign, hemisphere letter, padding and rounding rule
// of the five formats at once; and the unit texts of the CSV columns of OBD-II channels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/export_rig.h"

using namespace exportrig;

namespace {

// 33 deg 52.128' S, 70 deg 39.5' W, 12.5 m below sea level (stored as -673 arc units, which
// read back as -12.472 m), 5 m/s heading 180.25 deg, HDOP 1.1, VDOP 2.0, 7 satellites; the
// second sample 155 ms later at the same place.
void SouthWest(Session& aSession) {
  TSampleFields a;
  a.iTimeOfDay = KStartOfDay;
  a.iPoint = TGeoPoint(TCoordinate(-(33 * 6000000 + 5212800)), TCoordinate(-(70 * 6000000 + 3950000)));
  a.iAltitude = -12.5;
  a.iSpeed = 5.0;
  a.iBearing = 180.25;
  a.iHdop = 1.1;
  a.iVdop = 2.0;
  a.iSatellites = 7;
  aSession.Add(a);
  a.iTimeOfDay += 155;
  aSession.Add(a);
}

std::vector<std::string> Rows(const std::string& aBytes, const std::string& aPrefix, const std::string& aEnd) {
  std::vector<std::string> rows;
  for (const std::string& line : Lines(aBytes, aEnd))
    if (line.rfind(aPrefix, 0) == 0) rows.push_back(line);
  return rows;
}

}  // namespace

TEST(ExportAudit, SouthWestBelowSeaLevelInEveryFormat) {
  Session s;
  SouthWest(s);

  const Session::TResult kml = s.Export(EExportKml, EExportRoute);
  ASSERT_EQ(kml.iCode, 0);
  EXPECT_EQ(Rows(kml.iBytes, "-70.", "\n"), (std::vector<std::string>(2, "-70.6583333,-33.8688000")));

  const Session::TResult csv = s.Export(EExportCsv, EExportRoute);
  ASSERT_EQ(csv.iCode, 0);
  EXPECT_EQ(Rows(csv.iBytes, "N/A,", "\r\n"),
            (std::vector<std::string>{
                "N/A,43200.000,0.000,0.000000,7,-33.8688000,-70.6583333,5.00,18.00,11.18,-12.47,180.25,"
                "0.00,0.00,0.00,0.00,0.00,0.00,",
                "N/A,43200.155,0.000,0.000000,7,-33.8688000,-70.6583333,5.00,18.00,11.18,-12.47,180.25,"
                "0.00,0.00,0.00,0.00,0.00,0.00,"}));

  // Minutes of arc with the sign always shown, longitude west positive; hundredths of a second
  // in the time are cut, not rounded.
  const Session::TResult vbo = s.Export(EExportVbo, EExportRoute);
  ASSERT_EQ(vbo.iCode, 0);
  EXPECT_EQ(Rows(vbo.iBytes, "007 ", "\r\n"),
            (std::vector<std::string>{"007 120000.00 -02032.12800 +04239.50000 018.00 180.25 -0012.47",
                                      "007 120000.15 -02032.12800 +04239.50000 018.00 180.25 -0012.47"}));
  EXPECT_EQ(vbo.iBytes.substr(vbo.iBytes.size() - 2), "\r\n");

  // Magnitudes with the hemisphere letters; 155 ms since the first row is 15.5 hundredths,
  // rounded half up.
  const Session::TResult dat = s.Export(EExportDat, EExportRoute);
  ASSERT_EQ(dat.iCode, 0);
  EXPECT_EQ(Rows(dat.iBytes, "$GPS,", "\r\n"),
            (std::vector<std::string>{"$GPS,0,A,03352.1280,S,7039.5000,W,9.72,120000.000,-12.5",
                                      "$GPS,16,A,03352.1280,S,7039.5000,W,9.72,120000.155,-12.5"}));

  const Session::TResult gpx = s.Export(EExportGpx, EExportRoute);
  ASSERT_EQ(gpx.iCode, 0);
  EXPECT_EQ(Rows(gpx.iBytes, "<trkpt ", "\r\n"),
            (std::vector<std::string>{
                "<trkpt lat=\"-33.8688000\" lon=\"-70.6583333\"><ele>-12.47</ele>"
                "<time>2024-06-01T12:00:00.000Z</time><course>180.25</course><speed>5.00</speed>"
                "<fix>3d</fix><sat>7</sat><hdop>1.10</hdop><vdop>2.00</vdop><pdop>2.28</pdop></trkpt>",
                "<trkpt lat=\"-33.8688000\" lon=\"-70.6583333\"><ele>-12.47</ele>"
                "<time>2024-06-01T12:00:00.155Z</time><course>180.25</course><speed>5.00</speed>"
                "<fix>3d</fix><sat>7</sat><hdop>1.10</hdop><vdop>2.00</vdop><pdop>2.28</pdop></trkpt>"}));
}

// The CSV column of an OBD-II channel names its unit by the channel's quantity class:
// pressure kPa, angle the Latin-1 degree sign, air flow g/s, class 13 nothing, class 14 V.
TEST(ExportAudit, CsvObdColumnsNameTheUnitOfTheirClass) {
  Session s;
  SouthWest(s);
  CPlotList& plots = *s.iPlots;
  for (int pid : {0x0B, 0x0E, 0x10, 0x12, 0x42}) ASSERT_EQ(plots.AddObdValue(KStartOfDay, pid, 1, 0), 1) << pid;
  const Session::TResult csv = s.Export(EExportCsv, EExportRoute);
  ASSERT_EQ(csv.iCode, 0);
  const std::vector<std::string> lines = Lines(csv.iBytes);
  ASSERT_GT(lines.size(), 10u);
  const std::string tail = ",Trap name,Manifold pressure (kPa),Timing advance (\xB0),Airflow rate (g/s),"
                           "Sec. air status (),ECU voltage (V)";
  ASSERT_GE(lines[10].size(), tail.size());
  EXPECT_EQ(lines[10].substr(lines[10].size() - tail.size()), tail);
}
