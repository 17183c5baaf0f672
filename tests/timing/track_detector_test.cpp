// Finding the track from the route: layouts told apart by their traps, a layout driven the
// wrong way round, neighbouring circuits, a circuit nobody mapped (the loop rule) and a road
// drive that never comes back.
#include "timing/track_detector.h"

#include <gtest/gtest.h>

#include "session_rig.h"
#include "strings/pw_strings.h"

namespace pwtest {
namespace {

// A closed route of straight legs through corner points (metres east and north of the rig's
// centre, plus an offset), driven at one speed: where the car is at any route distance is
// known exactly.
class RouteDrive {
 public:
  RouteDrive(std::vector<std::pair<double, double>> aCorners, double aEast = 0.0, double aNorth = 0.0)
      : iCorners(std::move(aCorners)), iEast(aEast), iNorth(aNorth) {
    for (size_t i = 0; i < iCorners.size(); ++i) {
      const auto& a = iCorners[i];
      const auto& b = iCorners[(i + 1) % iCorners.size()];
      iLength += std::hypot(b.first - a.first, b.second - a.second);
    }
  }
  RouteDrive Reversed() const {
    std::vector<std::pair<double, double>> corners(iCorners.rbegin(), iCorners.rend());
    return RouteDrive(corners, iEast, iNorth);
  }
  double Length() const { return iLength; }

  // Position (metres) and heading (radians from north) at a route distance.
  void At(double aDistance, double& aX, double& aY, double& aHeading) const {
    double s = std::fmod(aDistance, iLength);
    for (size_t i = 0;; i = (i + 1) % iCorners.size()) {
      const auto& a = iCorners[i];
      const auto& b = iCorners[(i + 1) % iCorners.size()];
      const double leg = std::hypot(b.first - a.first, b.second - a.second);
      if (s <= leg) {
        aX = a.first + (b.first - a.first) * s / leg + iEast;
        aY = a.second + (b.second - a.second) * s / leg + iNorth;
        aHeading = std::atan2(b.first - a.first, b.second - a.second);
        return;
      }
      s -= leg;
    }
  }

  // The receiver's output at 10 Hz from route distance aFrom for aSeconds at aSpeed m/s.
  std::string Nmea(double aFrom, double aSeconds, double aSpeed, int64_t aStartMs = KDriveStart) const {
    std::string text;
    for (int64_t ms = 0; ms <= aSeconds * 1000.0; ms += 100) {
      double x, y, heading;
      At(aFrom + aSpeed * ms / 1000.0, x, y, heading);
      double lat, lon;
      ToDegrees(x, y, lat, lon);
      text += NmeaEpoch(aStartMs + ms, lat, lon, aSpeed, std::fmod(heading * 180.0 / M_PI + 360.0, 360.0));
    }
    return text;
  }

  // A trap across the route at a route distance, counted in the direction of travel.
  std::unique_ptr<CTrapLine> Trap(int32_t aType, const char* aName, double aDistance, double aWidth = 20.0) const {
    double x, y, heading;
    At(aDistance, x, y, heading);
    double lat, lon;
    ToDegrees(x, y, lat, lon);
    std::unique_ptr<CTrapLine> trap(CTrapLine::NewL());
    trap->Set(aType, Wide(aName), TCoordinate::FromDegrees(lat), TCoordinate::FromDegrees(lon), TAngle(heading),
              TDistance::FromMetres(aWidth), 1);
    return trap;
  }

  static void ToDegrees(double aX, double aY, double& aLat, double& aLon) {
    aLat = KCentreLat + aY / EarthRadius * 180.0 / M_PI;
    aLon = KCentreLon + aX / (EarthRadius * std::cos(KCentreLat * M_PI / 180.0)) * 180.0 / M_PI;
  }

 private:
  std::vector<std::pair<double, double>> iCorners;
  double iEast, iNorth;
  double iLength = 0.0;
};

// A short and a long layout sharing the bottom straight and its start/finish line.
const RouteDrive KShort({{0, 0}, {400, 0}, {400, 200}, {0, 200}});
const RouteDrive KLong({{0, 0}, {800, 0}, {800, 200}, {0, 200}});

class TrackDetectorTest : public ::testing::Test {
 protected:
  std::unique_ptr<CTrackSession> Recording(const std::string& aTrack = "<Automatic>") {
    std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
    session->NewSession(*Chosen(ESessionLapTiming, aTrack), iModel.iRoot);
    session->StartTiming();
    EXPECT_EQ(1, session->StartRecording());
    return session;
  }
  std::unique_ptr<CTrackSession> Reopened(CTrackSession& aSession) { return iModel.Reopened(aSession); }
  static int32_t FinishedLaps(const CTrackSession& aSession) {
    int32_t n = 0;
    for (int32_t i = 0; i < aSession.Laps().LapCount(); ++i)
      if (aSession.Laps().Lap(i)->IsFinished()) ++n;
    return n;
  }
  static std::vector<int32_t> LapTimes(const CTrackSession& aSession) {
    std::vector<int32_t> times;
    for (int32_t i = 0; i < aSession.Laps().LapCount(); ++i)
      if (aSession.Laps().Lap(i)->IsFinished()) times.push_back(aSession.Laps().Lap(i)->LapTime().Milliseconds());
    return times;
  }
  static std::string Why(const CTrackDetector& aDetector, const std::string& aName) {
    for (const CTrackDetector::TCandidateReport& c : aDetector.Candidates())
      if (PwToUtf8(c.iName) == aName) return c.iState == CTrackDetector::ERuledOut ? PwToUtf8(c.iWhy) : "open";
    return "missing";
  }

  TestModel iModel;
};

TEST_F(TrackDetectorTest, LayoutsSharingOneStartFinishLineAreToldApartByTheirTraps) {
  const auto line = KShort.Trap(ETrapStartFinish, "Start/finish", 100);
  const auto shortSplit = KShort.Trap(ETrapSplit, "Short bend", 500);   // (400, 100) northwards
  const auto longSplit = KLong.Trap(ETrapSplit, "Far bend", 900);       // (800, 100) northwards
  const auto shared = KShort.Trap(ETrapSplit, "Back straight", 800);    // (200, 200) westwards
  iModel.AddTrack("Circuit short", {line.get(), shortSplit.get(), shared.get()});
  iModel.AddTrack("Circuit long", {line.get(), longSplit.get(), shared.get()});
  // The long layout's traps in the wrong order: the route rules it out as soon as it passes.
  iModel.AddTrack("Circuit muddled", {line.get(), shared.get(), longSplit.get()});

  {
    std::unique_ptr<CTrackSession> session = Recording();
    EXPECT_TRUE(session->DetectsTrack());
    Feed(*session, iModel, KShort.Nmea(20, 3 * KShort.Length() / 25.0, 25.0));
    EXPECT_EQ(u"Circuit short", session->Info().TrackName());
    ASSERT_NE(nullptr, session->Detector());
    const CTrackDetector& detector = *session->Detector();
    EXPECT_EQ(CTrackDetector::ELayout, detector.Method());
    // The long layout meets its second split first; the muddled one takes the back straight
    // in its order but never sees the far bend.
    EXPECT_EQ("traps crossed out of order", Why(detector, "Circuit long"));
    EXPECT_EQ("a lap missed some of its traps", Why(detector, "Circuit muddled"));
    // Decided at the end of the first full lap, and that lap is timed all the same.
    EXPECT_NEAR(KDriveStart + (80 + KShort.Length()) / 25.0 * 1000.0, detector.DecidedTime(), 150);
    EXPECT_EQ(2, FinishedLaps(*session));
    for (const int32_t t : LapTimes(*session)) EXPECT_NEAR(KShort.Length() / 25.0 * 1000.0, t, 2);
    const std::string notes = PwToUtf8(session->Info().Notes());
    EXPECT_NE(std::string::npos, notes.find("Track found automatically: Circuit short")) << notes;
    // Reopened, the session is an ordinary one of that track with the same laps.
    const std::vector<int32_t> live = LapTimes(*session);
    std::unique_ptr<CTrackSession> reopened = Reopened(*session);
    EXPECT_EQ(u"Circuit short", reopened->Info().TrackName());
    EXPECT_EQ(live, LapTimes(*reopened));
  }
  {
    std::unique_ptr<CTrackSession> session = Recording();
    Feed(*session, iModel, KLong.Nmea(20, 2.5 * KLong.Length() / 25.0, 25.0));
    EXPECT_EQ(u"Circuit long", session->Info().TrackName());
    const CTrackDetector& detector = *session->Detector();
    EXPECT_EQ(CTrackDetector::ELayout, detector.Method());
    EXPECT_EQ("traps crossed out of order", Why(detector, "Circuit short"));
    EXPECT_EQ("traps crossed out of order", Why(detector, "Circuit muddled"));
    // Decided once the short layout met its traps out of order, before the lap ended.
    EXPECT_NEAR(KDriveStart + (1600 - 20) / 25.0 * 1000.0, detector.DecidedTime(), 150);
    EXPECT_EQ(2, FinishedLaps(*session));
  }
  // Nothing was made: three tracks stored as before.
  iModel.iTracks->Refresh();
  EXPECT_EQ(3, iModel.iTracks->Count() - (iModel.iTracks->Exists(CTrackList::KExampleTrackName) ? 1 : 0));
}

TEST_F(TrackDetectorTest, ALayoutDrivenTheOtherWayRoundIsItsReverse) {
  const auto line = KShort.Trap(ETrapStartFinish, "Start/finish", 100);
  const auto split = KShort.Trap(ETrapSplit, "Bend", 500);
  iModel.AddTrack("Ring", {line.get(), split.get()}, true);
  const RouteDrive backwards = KShort.Reversed();  // (0,0) north first, then round the other way
  {
    std::unique_ptr<CTrackSession> session = Recording();
    // Start on the bottom straight heading west, 200 m short of the line.
    Feed(*session, iModel, backwards.Nmea(700, 3 * KShort.Length() / 20.0, 20.0));
    EXPECT_EQ(u"Ring (reverse)", session->Info().TrackName());
    const CTrackDetector& detector = *session->Detector();
    EXPECT_EQ(CTrackDetector::EReverse, detector.Method());
    EXPECT_TRUE(detector.ChosenIsNew());
    EXPECT_EQ("start line crossed against its direction", Why(detector, "Ring"));
    // Decided on the first crossing of the line, which already starts the first lap.
    EXPECT_NEAR(KDriveStart + 200 / 20.0 * 1000.0, detector.DecidedTime(), 150);
    EXPECT_EQ(2, FinishedLaps(*session));
    for (const int32_t t : LapTimes(*session)) EXPECT_NEAR(KShort.Length() / 20.0 * 1000.0, t, 2);
    // Stored as a new unlocked track: the traps the other way round, the lines turned.
    iModel.iTracks->Refresh();
    CTrackProfile made;
    ASSERT_EQ(1, iModel.iTracks->LoadByName(u"Ring (reverse)", made));
    EXPECT_FALSE(made.IsLocked());
    ASSERT_EQ(2, made.TrapCount());
    EXPECT_EQ(ETrapStartFinish, made.Traps()->At(0)->Type());
    EXPECT_NEAR(std::remainder(line->Bearing().iValue + M_PI, 2 * M_PI),
                std::remainder(made.Traps()->At(0)->Bearing().iValue, 2 * M_PI), 1e-6);
    EXPECT_EQ(u"Bend", made.Traps()->At(1)->Name());
  }
  {
    // The stored reverse layout is a candidate of its own and is taken as it is.
    std::unique_ptr<CTrackSession> session = Recording();
    Feed(*session, iModel, backwards.Nmea(700, 2 * KShort.Length() / 20.0, 20.0));
    EXPECT_EQ(u"Ring (reverse)", session->Info().TrackName());
    EXPECT_EQ(CTrackDetector::EReverse, session->Detector()->Method());
    EXPECT_FALSE(session->Detector()->ChosenIsNew());
    EXPECT_EQ(1, FinishedLaps(*session));
  }
  {
    // Driven the right way, the layout itself is the track there.
    std::unique_ptr<CTrackSession> session = Recording();
    Feed(*session, iModel, KShort.Nmea(20, 2 * KShort.Length() / 20.0, 20.0));
    EXPECT_EQ(u"Ring", session->Info().TrackName());
    EXPECT_EQ(CTrackDetector::ENearest, session->Detector()->Method());
  }
}

TEST_F(TrackDetectorTest, OfTwoCircuitsTheOneWhoseStartLineIsCrossedIsChosen) {
  const RouteDrive east({{0, 0}, {400, 0}, {400, 200}, {0, 200}}, 2000.0, 0.0);
  const auto westLine = KShort.Trap(ETrapStartFinish, "Start/finish", 100);
  const auto eastLine = east.Trap(ETrapStartFinish, "Start/finish", 100);
  iModel.AddTrack("West", {westLine.get()});
  iModel.AddTrack("East", {eastLine.get()});
  // A circuit far away is no candidate at all.
  const RouteDrive far({{0, 0}, {400, 0}, {400, 200}, {0, 200}}, 0.0, 9000.0);
  const auto farLine = far.Trap(ETrapStartFinish, "Start/finish", 100);
  iModel.AddTrack("Far", {farLine.get()});

  // Both are candidates (2 km apart); the car laps East.
  std::unique_ptr<CTrackSession> session = Recording();
  Feed(*session, iModel, east.Nmea(20, 2 * east.Length() / 25.0, 25.0));
  EXPECT_EQ(u"East", session->Info().TrackName());
  const CTrackDetector& detector = *session->Detector();
  EXPECT_EQ(CTrackDetector::ENearest, detector.Method());
  EXPECT_EQ("the start line of another circuit was crossed", Why(detector, "West"));
  EXPECT_EQ("missing", Why(detector, "Far"));
  EXPECT_NEAR(KDriveStart + 80 / 25.0 * 1000.0, detector.DecidedTime(), 150);
  EXPECT_EQ(1, FinishedLaps(*session));
}

TEST_F(TrackDetectorTest, WithNoTrackTheFirstClosedLoopMakesOne) {
  // A stored circuit 2.5 km away is a candidate the route never visits.
  const RouteDrive away({{0, 0}, {400, 0}, {400, 200}, {0, 200}}, 0.0, 2500.0);
  const auto awayLine = away.Trap(ETrapStartFinish, "Start/finish", 100);
  iModel.AddTrack("Away", {awayLine.get()});
  const RouteDrive unmapped({{0, 0}, {300, 0}, {300, 150}, {150, 250}, {0, 150}});
  std::unique_ptr<CTrackSession> session = Recording();
  const double laps = 4.5;
  Feed(*session, iModel, unmapped.Nmea(30, laps * unmapped.Length() / 20.0, 20.0));
  ASSERT_NE(nullptr, session->Detector());
  const CTrackDetector& detector = *session->Detector();
  ASSERT_EQ(CTrackDetector::ELoop, detector.Method());
  EXPECT_EQ("the route closed a loop without crossing its start line", Why(detector, "Away"));
  const std::string name = PwToUtf8(session->Info().TrackName());
  EXPECT_EQ(0u, name.rfind("Auto ", 0)) << name;
  EXPECT_EQ(std::string::npos, name.find(':')) << name;
  // Every complete lap is timed, the first one (before the decision) too.
  EXPECT_EQ(4, FinishedLaps(*session));
  for (const int32_t t : LapTimes(*session)) EXPECT_NEAR(unmapped.Length() / 20.0 * 1000.0, t, 3);
  // The track is stored, unlocked, with one start/finish line 30 m wide.
  iModel.iTracks->Refresh();
  CTrackProfile made;
  ASSERT_EQ(1, iModel.iTracks->LoadByName(Wide(name), made));
  EXPECT_FALSE(made.IsLocked());
  ASSERT_EQ(1, made.TrapCount());
  EXPECT_EQ(ETrapStartFinish, made.Traps()->At(0)->Type());
  EXPECT_NEAR(30.0, made.Traps()->At(0)->Width().Metres(), 0.01);
  EXPECT_NE(std::string::npos, PwToUtf8(session->Info().Notes()).find(name));
  const std::vector<int32_t> live = LapTimes(*session);
  std::unique_ptr<CTrackSession> reopened = Reopened(*session);
  EXPECT_EQ(live, LapTimes(*reopened));
  EXPECT_EQ(nullptr, reopened->Detector());
}

TEST_F(TrackDetectorTest, ARoadDriveFindsNoTrackAndStaysDataLogging) {
  const auto line = KShort.Trap(ETrapStartFinish, "Start/finish", 100);
  iModel.AddTrack("Nearby", {line.get()});
  iModel.iTracks->Refresh();
  const int32_t tracks = iModel.iTracks->Count();
  // Four kilometres along a straight road past the circuit: the route never comes back.
  std::unique_ptr<CTrackSession> session = Recording();
  StraightDrive road;
  road.Phase(5, 4.0).Phase(200, 0.0);
  session->Info().SetNotes(u"Commute");
  Feed(*session, iModel, road.Nmea());
  EXPECT_TRUE(session->DetectsTrack());
  EXPECT_FALSE(session->Detector()->IsDecided());
  EXPECT_EQ(0, session->Laps().LapCount());
  std::unique_ptr<CTrackSession> reopened = Reopened(*session);
  EXPECT_EQ(ESessionDataLogging, reopened->Info().SessionType());
  EXPECT_TRUE(reopened->Info().TrackName().IsEmpty());
  CPwString none;
  none.LoadFromResource(R_DETECT_NONE);
  EXPECT_EQ("Commute " + PwToUtf8(none), PwToUtf8(reopened->Info().Notes()));
  iModel.iTracks->Refresh();
  EXPECT_EQ(tracks, iModel.iTracks->Count());
}

}  // namespace
}  // namespace pwtest
