// The demo drive: a car lapping a made-up circuit, simulated step by step and written out as
// what a 10 Hz GPS receiver with the program's OBD-II reader and data logger attached would
// have recorded. The circuit and the drive feed the shipped example track and session, the
// demo input file and the benchmarks, so everything here is deterministic: the same options
// give the same bytes on every machine (own random numbers, no library distributions).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pwtools {

// The circuit's reference point, a field in the English Midlands (no real circuit is there).
inline constexpr double KCircuitLatitude = 52.1287;
inline constexpr double KCircuitLongitude = -0.9614;

// One point of the circuit's centre line.
struct CircuitPoint {
  double iEast = 0.0;       // metres east of the reference point
  double iNorth = 0.0;      // metres north of it
  double iHeading = 0.0;    // direction of travel, radians clockwise from north
  double iCurvature = 0.0;  // 1/m, positive in right-hand bends
  double iAltitude = 0.0;   // metres above sea level
};

// About 2.8 km, driven clockwise: a 720 m main straight, then twelve corners from a 28 m
// hairpin to a 160 m sweeper. Built as straights joined by circular arcs laid into the
// corners of a polygon, so the line closes exactly. Lap distances count from the
// start/finish line.
class DemoCircuit {
 public:
  DemoCircuit();

  double Length() const { return iLength; }
  // The centre line at a lap distance (any value; it wraps).
  CircuitPoint At(double aDistance) const;
  // Curvature averaged over 20 m, as a driver takes the bends (no steps at arc ends).
  double SmoothCurvature(double aDistance) const;

  // Lap distances of the two split lines, on straights near a third and two thirds of the
  // lap; the start/finish line is at 0.
  double SplitDistance(int aIndex) const { return iSplits[aIndex]; }
  // Lap distance where the drive sets off: the pit exit at the start of the main straight.
  double PitExitDistance() const { return iLength - KPitExitBeforeLine; }
  // The corners in lap order and the lap distance of each one's apex.
  int CornerCount() const { return static_cast<int>(iApexes.size()); }
  double ApexDistance(int aIndex) const { return iApexes[static_cast<size_t>(aIndex)]; }

  // Degrees of latitude and longitude of a point given in metres from the reference point.
  static void ToDegrees(double aEast, double aNorth, double& aLatitude, double& aLongitude);

  static constexpr double KPitExitBeforeLine = 240.0;

 private:
  struct Segment {
    double iStart = 0.0;  // lap distance from the first segment's start
    double iLength = 0.0;
    double iEast = 0.0, iNorth = 0.0, iHeading = 0.0;  // at its start
    double iCurvature = 0.0;                           // 0 for a straight
  };
  CircuitPoint Evaluate(double aDistance) const;  // from the first segment's start

  std::vector<Segment> iSegments;
  std::vector<double> iApexes;
  std::vector<double> iSmooth;  // smoothed curvature on a KGrid metre grid
  double iLength = 0.0;
  double iLineOffset = 0.0;     // where the start/finish line lies from the first segment
  double iSplits[2] = {0.0, 0.0};
  static constexpr double KGrid = 0.5;
};

struct DemoDriveOptions {
  int32_t iLaps = 5;     // timed laps between the out lap and the in lap
  double iHours = 0.0;   // when above 0: lap on without stopping for exactly this long
  uint64_t iSeed = 1;    // the driver's lap-to-lap variation and the receiver's noise
};

struct DemoDriveResult {
  int64_t iEpochs = 0;                   // GPS epochs written (10 per second)
  int64_t iBytes = 0;
  double iDuration = 0.0;                // seconds from the first epoch to the last
  std::vector<double> iLineCrossings;    // seconds after the first epoch the car crossed
                                         // the start/finish line (true, not as measured)
  int32_t iObdSentences = 0;
  int32_t iLoggerSentences = 0;
};

// The first epoch's time: 2007-01-01 00:00:00.00 UTC.
inline constexpr int32_t KDriveYear = 2007, KDriveMonth = 1, KDriveDay = 1;

// Simulates the drive and hands its NMEA text (CR LF line ends, checksums) to aWrite, one
// epoch's sentences at a time: "$GPRMC" and "$GPGGA" every 100 ms, "$GPGSA" and "$GPGSV" every
// second, engine speed, throttle, road speed and coolant as "$PWOBD" answers and the data
// logger's channels as "$PW2" sentences as the reader and the logger deliver them.
DemoDriveResult WriteDemoDrive(const DemoDriveOptions& aOptions,
                               const std::function<void(const std::string&)>& aWrite);

// The same into one string.
std::string DemoDriveText(const DemoDriveOptions& aOptions, DemoDriveResult* aResult = nullptr);

}  // namespace pwtools
