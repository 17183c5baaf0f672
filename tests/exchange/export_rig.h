// A session built in memory for the exporter tests: samples added as the GPS would deliver
// them (with a calendar anchor, OBD values and logger records when asked), an optional circuit
// with a start/finish line and a split, and the laps rebuilt from the crossings. Export runs
// the worker's steps to the end and hands back the code and the file.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/obd_channels.h"
#include "exchange/session_exporter.h"
#include "storage/plot_list.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "support/test_support.h"
#include "timing/intersection.h"
#include "timing/lap_list.h"
#include "timing/track_profile.h"
#include "timing/trap_line.h"

namespace exportrig {

// The circuit: a circle of 100 m radius around this centre (48 N, 11 E), driven clockwise at
// 20 m/s from just before its north point, where the start/finish line lies (first crossed
// after 1 s); the split is at the south.
constexpr int32_t KCentreLat = 288000000;
constexpr int32_t KCentreLon = 66000000;
constexpr double KRadius = 100.0;
constexpr double KSpeed = 20.0;
constexpr int32_t KStartOfDay = 12 * 3600000;  // 12:00:00 UTC

inline TGeoPoint CirclePoint(double aAngle) {
  const TPosition centre{TGeoPoint(TCoordinate(KCentreLat), TCoordinate(KCentreLon))};
  return centre.Destination(TAngle(aAngle), TDistance::FromMetres(KRadius)).ToGeoPoint();
}

struct TSampleFields {
  int32_t iTimeOfDay = 0;
  TGeoPoint iPoint;
  double iAltitude = InvalidReal();  // metres
  double iSpeed = InvalidReal();     // m/s
  double iBearing = InvalidReal();   // degrees
  double iHdop = InvalidReal();
  double iVdop = InvalidReal();
  int32_t iSatellites = 0;
  bool iDifferential = false;
  bool iDated = true;
};

class Session {
 public:
  explicit Session(int32_t aType = ESessionLapTiming) {
    iObdChannels.reset(CObdChannelList::NewL());
    iPlots.reset(CPlotList::NewL(iObdChannels.get()));
    iRoot = iDir.Path() + "/";
    iRootText = PwStringFromUtf8(iRoot);
    iInfo.SetIdentifier(u"20240601-1200");
    iInfo.SetStorageRoot(iRootText);
    iInfo.SetTitle(u"Club day");
    iInfo.SetDriver(u"Sam");
    iInfo.SetTrackName(u"Ring");
    iInfo.SetTestName(u"0-100 kph");
    iInfo.SetNotes(u"Dry");
    iInfo.SetSessionType(aType);
    iInfo.SetCreated(PwDateTime(2024, 6, 1, 12, 5, 0, 0));
  }

  void Add(const TSampleFields& aSample) {
    const PwTime date = aSample.iDated ? PwTime::FromDate(2024, 6, 1) : PwTime::Unset();
    iPlots->AddPosition(aSample.iPoint.iLatitude, aSample.iPoint.iLongitude, aSample.iTimeOfDay,
                        IsValidReal(aSample.iAltitude) ? TDistance::FromMetres(aSample.iAltitude) : TDistance::Invalid(),
                        IsValidReal(aSample.iSpeed) ? TSpeed::FromMetresPerSecond(aSample.iSpeed) : TSpeed::Invalid(),
                        aSample.iBearing, aSample.iHdop, aSample.iVdop, aSample.iSatellites, aSample.iDifferential, 0,
                        date.Milliseconds(), aSample.iDated ? aSample.iTimeOfDay : PwTime::KUnset, 0);
  }

  // aCount samples at 10 Hz around the circuit from 12:00:00.
  void DriveCircuit(int32_t aCount) {
    const double angularSpeed = KSpeed / KRadius;  // rad/s
    for (int32_t i = 0; i < aCount; ++i) {
      const double t = i / 10.0;
      const double angle = angularSpeed * t - 0.2;
      TSampleFields s;
      s.iTimeOfDay = KStartOfDay + i * 100;
      s.iPoint = CirclePoint(angle);
      s.iAltitude = 500.0 + 10.0 * std::sin(angle);
      s.iSpeed = KSpeed + 2.0 * std::sin(3.0 * angle);
      s.iBearing = std::fmod(angle * 180.0 / KPi + 450.0, 360.0);
      s.iHdop = 0.9;
      s.iVdop = 1.4;
      s.iSatellites = 9;
      Add(s);
    }
  }

  // The circuit's track: start/finish at the north point (travel east), split at the south
  // (travel west). Then the crossings and laps from the samples.
  void AddTrackAndLaps() {
    iTrack.SetName(u"Ring");
    iTrack.CreateEmptyTrapList();
    iTrack.SetLock(0);
    CTrapLine trap;
    trap.Set(ETrapStartFinish, u"Start/Finish", CirclePoint(0).iLatitude, CirclePoint(0).iLongitude,
             TAngle::FromDegrees(90.0), TDistance::FromMetres(30.0), 1);
    iTrack.AddTrap(trap);
    trap.Set(ETrapSplit, u"Hairpin", CirclePoint(KPi).iLatitude, CirclePoint(KPi).iLongitude,
             TAngle::FromDegrees(270.0), TDistance::FromMetres(30.0), 1);
    iTrack.AddTrap(trap);
    Rebuild();
  }
  void Rebuild() {
    iLaps.reset(CLapList::NewL(&iPlots->PositionList(), nullptr, nullptr));
    iCrossings.Rebuild(iPlots->PositionList(), *iTrack.Traps());
    iLaps->Rebuild(*iTrack.Traps(), iCrossings);
  }

  TExportRequest Request(int32_t aFormat, int32_t aScope) {
    TExportRequest r;
    r.iFormat = aFormat;
    r.iScope = aScope;
    r.iInfo = &iInfo;
    r.iPlots = iPlots.get();
    r.iLaps = iLaps.get();
    r.iTrack = iTrack.Traps() ? &iTrack : nullptr;
    return r;
  }

  struct TResult {
    int32_t iCode = 0;
    std::string iPath;
    std::string iBytes;
    int32_t iSteps = 0;
  };
  // Runs every step; the code of a leave ends the run.
  static TResult Run(CSessionExporter& aExporter) {
    TResult result;
    result.iCode = Trap([&] {
      for (int guard = 0; guard < 1000000; ++guard) {
        ++result.iSteps;
        if (aExporter.Step() == 0) return;
      }
      ADD_FAILURE() << "the export never ends";
    });
    result.iPath = PwToUtf8(aExporter.FilePath());
    if (!result.iPath.empty()) result.iBytes = pwtest::ReadFileBytes(result.iPath);
    return result;
  }
  TResult Export(const TExportRequest& aRequest) {
    std::unique_ptr<CSessionExporter> exporter(CSessionExporter::NewL(aRequest));
    return Run(*exporter);
  }
  TResult Export(int32_t aFormat, int32_t aScope) { return Export(Request(aFormat, aScope)); }

  pwtest::TempDir iDir;
  std::string iRoot;
  CPwString iRootText;
  std::unique_ptr<CObdChannelList> iObdChannels;
  std::unique_ptr<CPlotList> iPlots;
  CSessionInfo iInfo;
  CTrackProfile iTrack;
  CIntersectionList iCrossings;
  std::unique_ptr<CLapList> iLaps;
};

// The lines of a text, without their terminators.
inline std::vector<std::string> Lines(const std::string& aText, const std::string& aEnd = "\r\n") {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < aText.size()) {
    size_t at = aText.find(aEnd, from);
    if (at == std::string::npos) at = aText.size();
    lines.push_back(aText.substr(from, at - from));
    from = at + aEnd.size();
  }
  return lines;
}

inline size_t Count(const std::string& aText, const std::string& aNeedle) {
  size_t n = 0;
  for (size_t at = aText.find(aNeedle); at != std::string::npos; at = aText.find(aNeedle, at + 1)) ++n;
  return n;
}

}  // namespace exportrig
