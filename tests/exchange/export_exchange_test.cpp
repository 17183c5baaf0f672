// The exports for other tools: the overlay CSV (the columns video-overlay tools import, one
// row per sample) and VBO with the track's lines in a "[laptiming]" section, which our own
// VBO reader finds again.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "exchange/vbox_parser.h"
#include "export_rig.h"
#include "storage/data_logger_plot_list.h"

using namespace exportrig;

TEST(ExportOverlayCsv, HeaderAndFirstRows) {
  Session s;
  s.DriveCircuit(80);
  s.AddTrackAndLaps();
  CPlotList& plots = *s.iPlots;
  plots.AddObdValue(KStartOfDay, 0x0C, 4 * 3000, 0);        // RPM 3000
  plots.AddObdValue(KStartOfDay + 200, 0x0C, 4 * 3200, 0);  // RPM 3200
  plots.AddObdValue(KStartOfDay, 0x0F, 40 + 25, 0);         // intake 25 degrees C
  TDataLoggerRecord record;
  record.SetValue(KChannelLoggerAnalog1, 812);
  plots.AddLoggerRecord(KStartOfDay + 150, record, 0);

  const Session::TResult r = s.Export(EExportOverlayCsv, EExportRoute);
  ASSERT_EQ(r.iCode, 0);
  EXPECT_NE(r.iPath.find("/Pacewright/Exports/"), std::string::npos);
  EXPECT_EQ(r.iPath.substr(r.iPath.size() - 12), "-overlay.csv");
  // Every row has every column: what the session lacks is an empty field. RPM between its
  // samples is interpolated, the logger value is the record of the last GPS interval, and
  // the lap number starts with the start/finish crossing after 1 s.
  const std::string golden =
      "Time,Lap,Latitude,Longitude,Altitude,GPS_Update,Speed (m/s),Heading,X,Y,RPM,Throttle,"
      "Intake temperature (\xB0" "C),Analog 1\r\n"
      "43200.000,0,48.0008813,10.9997330,498.01,1,18.87,78.54,,,3000.00,,,\r\n"
      "43200.100,0,48.0008848,10.9997593,498.21,1,18.97,79.69,0.10,0.39,3100.00,,,\r\n"
      "43200.200,0,48.0008878,10.9997858,498.41,1,19.08,80.83,0.11,0.39,3200.00,,,812\r\n"
      "43200.300,0,48.0008905,10.9998125,498.60,1,19.18,81.98,0.11,0.39,,,,\r\n";
  EXPECT_EQ(r.iBytes.substr(0, golden.size()), golden);
  const std::vector<std::string> lines = Lines(r.iBytes);
  ASSERT_EQ(lines.size(), 81u);
  EXPECT_EQ(lines[10].substr(0, 12), "43200.900,0,");
  EXPECT_EQ(lines[11].substr(0, 12), "43201.000,1,");
  for (const std::string& line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), ','), 13) << line;
}

TEST(ExportVboLapGates, TheTrackLinesReadBackThroughTheVboReader) {
  Session s;
  s.DriveCircuit(200);
  s.AddTrackAndLaps();
  const Session::TResult r = s.Export(EExportVboLapGates, EExportAllLaps);
  ASSERT_EQ(r.iCode, 0);
  EXPECT_EQ(r.iPath.substr(r.iPath.size() - 14), "-laptiming.vbo");
  // The section sits between the comments and the data; the rows are those of plain VBO.
  const size_t section = r.iBytes.find("\r\n\r\n[laptiming]\r\nStart ");
  ASSERT_NE(section, std::string::npos);
  EXPECT_LT(section, r.iBytes.find("[data]\r\n"));
  const std::string plain = s.Export(EExportVbo, EExportAllLaps).iBytes;
  EXPECT_EQ(r.iBytes.substr(r.iBytes.find("[data]")), plain.substr(plain.find("[data]")));
  EXPECT_EQ(plain.find("[laptiming]"), std::string::npos);

  std::unique_ptr<CVBoxParser> reader(CVBoxParser::NewL());
  reader->Parse(CPwByteArrayC(r.iBytes), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(reader->GateCount(), 2);
  const CTrapLineList& traps = *s.iTrack.Traps();
  const TVboGate::TKind kinds[] = {TVboGate::EStart, TVboGate::ESplit};
  for (int32_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const TVboGate& gate = reader->Gate(i);
    const CTrapLine& trap = *traps.At(i);
    EXPECT_EQ(gate.iKind, kinds[i]);
    EXPECT_EQ(std::string(gate.iName), PwToUtf8(trap.Name()));
    // Minutes of arc with 6 decimals: the ends agree to the unit of our coordinates.
    EXPECT_NEAR(gate.iEnd1.iLatitude.iValue, trap.EndPoint1Geo().iLatitude.iValue, 1);
    EXPECT_NEAR(gate.iEnd1.iLongitude.iValue, trap.EndPoint1Geo().iLongitude.iValue, 1);
    EXPECT_NEAR(gate.iEnd2.iLatitude.iValue, trap.EndPoint2Geo().iLatitude.iValue, 1);
    EXPECT_NEAR(gate.iEnd2.iLongitude.iValue, trap.EndPoint2Geo().iLongitude.iValue, 1);
  }

  // Gates in the form other writers use, a Latin-1 not sign among them, and lines that are
  // no gates.
  std::unique_ptr<CVBoxParser> other(CVBoxParser::NewL());
  const std::string foreign =
      "File created on 07/12/2014 @ 09:02:23\r\n\r\n[laptiming]\r\n"
      "Start +5773.465840 +1832.282700 +5773.468800 +1832.204030 \xC2\xAC StartFinish\r\n"
      "Split +5770.000000 +1830.000000 +5770.100000 +1830.100000 \xAC Turn 1\r\n"
      "Finish +5771.0 +1831.0 +5771.1 +1831.1\r\n"
      "Split +5770.0 +1830.0\r\n"
      "Gate +5770.0 +1830.0 +5770.1 +1830.1\r\n\r\n[data]\r\n";
  other->Parse(CPwByteArrayC(foreign), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(other->GateCount(), 3);
  EXPECT_EQ(std::string(other->Gate(0).iName), "StartFinish");
  EXPECT_NEAR(other->Gate(0).iEnd1.iLongitude.ToDegrees(), -5773.46584 / 60.0, 1e-7);
  EXPECT_NEAR(other->Gate(0).iEnd1.iLatitude.ToDegrees(), 1832.2827 / 60.0, 1e-7);
  EXPECT_EQ(std::string(other->Gate(1).iName), "Turn 1");
  EXPECT_EQ(other->Gate(2).iKind, TVboGate::EFinish);
  EXPECT_EQ(std::string(other->Gate(2).iName), "");
}
