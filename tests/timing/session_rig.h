// Test rig for the track session: a headless model over a temporary documents folder, and
// drives whose every moment is known, written out as the NMEA text a receiver would send.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/channel_state.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "support/test_support.h"
#include "timing/performance_test.h"
#include "timing/session_resources.h"
#include "timing/track_list.h"
#include "timing/track_session.h"
#include "timing/trap_line.h"

namespace pwtest {

inline CPwString Wide(const std::string& aText) { return PwStringFromUtf8(aText); }

// The model around a session, with every status and the announcements and polling plan it
// was given on record.
class TestModel : public CSessionResourcesModel, public MObdPollingPlan {
 public:
  TestModel() {
    setenv("PACEWRIGHT_DOCUMENTS", iDocuments.Path().c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", (iDocuments / "appdata").c_str(), 1);
    iRoot = Wide(iDocuments.Path() + "/");
    EnsureFolders(iRoot);
    CreateResourcesL(iRoot);
  }

  // A track of this name on the documents folder with the given traps (unlocked).
  void AddTrack(const std::string& aName, const std::vector<const CTrapLine*>& aTraps, bool aLocked = false) {
    CTrackProfile profile;
    profile.SetName(Wide(aName));
    profile.SetFolder(iRoot);
    profile.CreateEmptyTrapList();
    profile.SetLock(0);
    for (const CTrapLine* trap : aTraps) profile.AddTrap(*trap);
    profile.SetLock(aLocked ? 1 : 0);
    ASSERT_EQ(1, iTracks->Add(profile)) << aName;
  }

  // Closes aSession and opens its files again in a new session object, samples loaded.
  std::unique_ptr<CTrackSession> Reopened(CTrackSession& aSession) {
    EXPECT_EQ(KErrNone, aSession.CloseSession());
    CSessionInfo record;
    record.SetIdentifier(aSession.Info().Identifier());
    record.SetStorageRoot(aSession.Info().StorageRoot());
    std::unique_ptr<CTrackSession> reopened(CTrackSession::NewL(*this));
    EXPECT_EQ(1, reopened->OpenStoredSession(record));
    reopened->LoadSamplesL();
    return reopened;
  }

  // MLiveStatus
  bool GpsConnectionMissing() const override { return iNoGps; }
  bool ObdConnectionMissing() const override { return iNoObd; }
  bool LoggerConnectionMissing() const override { return iNoLogger; }
  bool FixMissing() const override { return iNoFix; }
  bool StorageLow() const override { return iLowStorage; }
  bool MemoryFull() const override { return iMemoryFull; }
  // MSessionModel
  MObdPollingPlan* ObdPollingPlan() override { return this; }
  void Announce(CPwStringC aTokens) override { iAnnouncements.push_back(PwToUtf8(aTokens)); }
  MActiveSchedulerObserver* RecordingScheduler() const override { return iScheduler; }
  // MObdPollingPlan
  void ClearObdChannels() override { iPlan.clear(); }
  void AddObdChannel(int32_t aPid, int32_t aPriority) override { iPlan.push_back({aPid, aPriority}); }

  TempDir iDocuments;
  CPwString iRoot;
  std::vector<std::string> iAnnouncements;
  MActiveSchedulerObserver* iScheduler = nullptr;  // the recording timer's loop, if any
  std::vector<std::pair<int32_t, int32_t>> iPlan;
  bool iNoGps = false, iNoObd = false, iNoLogger = false, iNoFix = false, iLowStorage = false,
       iMemoryFull = false;
};

// --- NMEA text ------------------------------------------------------------------------------

inline std::string Framed(const std::string& aBody) {
  unsigned sum = 0;
  for (unsigned char c : aBody) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + aBody + tail;
}

// ddmm.mmmmmm / dddmm.mmmmmm with the hemisphere letter.
inline std::string NmeaAngle(double aDegrees, bool aLatitude) {
  const char hemisphere = aLatitude ? (aDegrees < 0 ? 'S' : 'N') : (aDegrees < 0 ? 'W' : 'E');
  const double a = std::fabs(aDegrees);
  const int whole = static_cast<int>(a);
  char text[40];
  std::snprintf(text, sizeof text, aLatitude ? "%02d%09.6f,%c" : "%03d%09.6f,%c", whole, (a - whole) * 60.0,
                hemisphere);
  return text;
}

// One epoch as an RMC and a GGA sentence; aMs is the UTC time of day.
inline std::string NmeaEpoch(int64_t aMs, double aLatDeg, double aLonDeg, double aSpeed, double aCourse,
                             const char* aHdop = "0.9") {
  char time[16];
  const int64_t s = aMs / 1000;
  std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(s / 3600 % 24),
                static_cast<int>(s / 60 % 60), static_cast<int>(s % 60), static_cast<int>(aMs % 1000 / 10));
  char rest[96];
  std::snprintf(rest, sizeof rest, ",%.3f,%.2f,080524,,,A", aSpeed / 0.514444444444, aCourse);
  const std::string lat = NmeaAngle(aLatDeg, true), lon = NmeaAngle(aLonDeg, false);
  return Framed(std::string("GPRMC,") + time + ",A," + lat + "," + lon + rest) +
         Framed(std::string("GPGGA,") + time + "," + lat + "," + lon + ",1,10," + aHdop + ",250.0,M,47.0,M,,");
}

// Feeds NMEA text to the session through one parser in receiver-sized chunks, as the GPS
// client does, with the live state the model keeps.
class Feeder {
 public:
  Feeder(CTrackSession& aSession, TestModel& aModel)
      : iSession(aSession), iModel(aModel), iParser(CNmeaParser::NewL(0)), iState(CChannelState::NewL()) {}
  void operator()(const std::string& aText, size_t aChunk = 300) {
    for (size_t at = 0; at < aText.size(); at += aChunk) {
      const size_t n = std::min(aChunk, aText.size() - at);
      iParser->Parse(CPwByteArrayC(reinterpret_cast<const uint8_t*>(aText.data() + at), static_cast<int32_t>(n)),
                     &iSession, iModel.iBearing.get(), iModel.iObd.get(), iState.get(), nullptr);
    }
  }

 private:
  CTrackSession& iSession;
  TestModel& iModel;
  std::unique_ptr<CNmeaParser> iParser;
  std::unique_ptr<CChannelState> iState;
};

inline void Feed(CTrackSession& aSession, TestModel& aModel, const std::string& aText) {
  Feeder feed(aSession, aModel);
  feed(aText);
}

// --- Drives ---------------------------------------------------------------------------------

constexpr double KCentreLat = 48.0;
constexpr double KCentreLon = 11.0;
constexpr int64_t KDriveStart = 10 * 3600 * 1000;  // 10:00:00 UTC

// A car going clockwise round a circle of radius 200 m (from the north point eastwards). Its
// phase (laps, 0 at the north point) is linear in time between knots, so the moment it
// passes any point of the circle is known exactly.
class CircleDrive {
 public:
  static constexpr double KRadius = 200.0;

  // Starts at aPhase at time 0 and reaches aNextPhase after aSeconds.
  CircleDrive(double aPhase) { iKnots.push_back({0.0, aPhase}); }
  CircleDrive& To(double aPhase, double aSeconds) {
    iKnots.push_back({iKnots.back().iT + aSeconds, aPhase});
    return *this;
  }
  // From line aFrom to line aTo in aSeconds, keeping one speed around both lines so that the
  // samples either side of a crossing are evenly spaced: the speed changes well away from
  // the lines.
  CircleDrive& Sector(double aFrom, double aTo, double aSeconds) {
    constexpr double KMargin = 0.01, KMarginSeconds = 0.63;
    return To(aFrom + KMargin, KMarginSeconds).To(aTo - KMargin, aSeconds - 2 * KMarginSeconds).To(aTo, KMarginSeconds);
  }
  double End() const { return iKnots.back().iT; }
  // Seconds after the start at which the car reaches aPhase (the first time).
  double TimeAt(double aPhase) const {
    for (size_t i = 1; i < iKnots.size(); ++i) {
      const TKnot& a = iKnots[i - 1];
      const TKnot& b = iKnots[i];
      if (aPhase >= a.iPhase && aPhase <= b.iPhase && b.iPhase > a.iPhase)
        return a.iT + (aPhase - a.iPhase) / (b.iPhase - a.iPhase) * (b.iT - a.iT);
    }
    return NAN;
  }
  // Session time (ms, time of day) of reaching aPhase.
  double SessionMs(double aPhase) const { return KDriveStart + TimeAt(aPhase) * 1000.0; }

  void At(double aT, double& aLat, double& aLon, double& aSpeed, double& aCourse) const {
    double phase = iKnots.back().iPhase, rate = 0.0;
    for (size_t i = 1; i < iKnots.size(); ++i) {
      const TKnot& a = iKnots[i - 1];
      const TKnot& b = iKnots[i];
      if (aT <= b.iT) {
        rate = (b.iPhase - a.iPhase) / (b.iT - a.iT);
        phase = a.iPhase + (aT - a.iT) * rate;
        break;
      }
    }
    const double alpha = 2.0 * M_PI * phase;
    const double north = KRadius * std::cos(alpha), east = KRadius * std::sin(alpha);
    aLat = KCentreLat + north / EarthRadius * 180.0 / M_PI;
    aLon = KCentreLon + east / (EarthRadius * std::cos(KCentreLat * M_PI / 180.0)) * 180.0 / M_PI;
    aSpeed = 2.0 * M_PI * KRadius * rate;
    aCourse = std::fmod(alpha * 180.0 / M_PI + 90.0 + 720.0, 360.0);
  }

  // The receiver's output at 10 Hz over [aFrom, aTo] seconds (to the end of the drive).
  std::string Nmea(double aFrom = 0.0, double aTo = -1.0, int32_t aStepMs = 100) const {
    std::string text;
    const double to = aTo < 0 ? End() : aTo;
    for (int64_t ms = static_cast<int64_t>(std::ceil(aFrom * 1000.0 / aStepMs)) * aStepMs; ms <= to * 1000.0;
         ms += aStepMs) {
      double lat, lon, v, course;
      At(ms / 1000.0, lat, lon, v, course);
      text += NmeaEpoch(KDriveStart + ms, lat, lon, v, course);
    }
    return text;
  }

  // A trap across the circle at aPhase, counted in the direction of travel.
  static std::unique_ptr<CTrapLine> Trap(int32_t aType, const char* aName, double aPhase, double aWidth = 20.0) {
    const double alpha = 2.0 * M_PI * aPhase;
    const double lat = KCentreLat + KRadius * std::cos(alpha) / EarthRadius * 180.0 / M_PI;
    const double lon =
        KCentreLon + KRadius * std::sin(alpha) / (EarthRadius * std::cos(KCentreLat * M_PI / 180.0)) * 180.0 / M_PI;
    std::unique_ptr<CTrapLine> trap(CTrapLine::NewL());
    trap->Set(aType, Wide(aName), TCoordinate::FromDegrees(lat), TCoordinate::FromDegrees(lon),
              TAngle(alpha + M_PI / 2.0), TDistance::FromMetres(aWidth), 1);
    return trap;
  }

 private:
  struct TKnot {
    double iT;
    double iPhase;
  };
  std::vector<TKnot> iKnots;
};

// A car on a straight road northwards: standing, then phases of constant acceleration.
class StraightDrive {
 public:
  StraightDrive& Phase(double aSeconds, double aAccel) {
    iPhases.push_back({aSeconds, aAccel});
    return *this;
  }
  double End() const {
    double t = 0;
    for (const auto& p : iPhases) t += p.first;
    return t;
  }
  void At(double aT, double& aNorth, double& aSpeed) const {
    double s = 0, v = 0, t = aT;
    for (const auto& p : iPhases) {
      const double d = std::min(t, p.first);
      s += v * d + 0.5 * p.second * d * d;
      v += p.second * d;
      t -= d;
      if (t <= 0) break;
    }
    aNorth = s;
    aSpeed = v < 0 ? 0 : v;
  }
  std::string Nmea(int32_t aStepMs = 100) const {
    std::string text;
    for (int64_t ms = 0; ms <= End() * 1000.0; ms += aStepMs) {
      double north, v;
      At(ms / 1000.0, north, v);
      text += NmeaEpoch(KDriveStart + ms, KCentreLat + north / EarthRadius * 180.0 / M_PI, KCentreLon, v, 0.0);
    }
    return text;
  }

 private:
  std::vector<std::pair<double, double>> iPhases;
};

// Session properties as the session editor hands them over.
inline std::unique_ptr<CSessionInfo> Chosen(int32_t aType, const std::string& aTrack, const std::string& aTest = "",
                                            int32_t aSaveNmea = 0) {
  std::unique_ptr<CSessionInfo> info(new CSessionInfo);
  info->SetTitle(u"Test drive");
  info->SetSessionType(aType);
  info->SetTrackName(Wide(aTrack));
  info->SetTestName(Wide(aTest));
  info->SetSaveNmea(aSaveNmea);
  return info;
}

}  // namespace pwtest
