#include "tools/demo_drive.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace pwtools {

namespace {

constexpr double KPi = 3.14159265358979323846;
constexpr double KEarthRadius = 6371000.0;  // the sphere every position is measured on
constexpr double KG = 9.80665;

// Polygon corners (metres east, north) and the radius laid into each, clockwise from the end
// of the main straight. The straight runs from the last corner to the first.
struct Corner {
  double iEast, iNorth, iRadius;
};
constexpr Corner KCorners[] = {
    {705, 0, 45},    {778, -146, 80}, {955, -215, 55},  {937, -404, 28},
    {714, -361, 160}, {525, -447, 50}, {335, -335, 75},  {215, -482, 32},
    {0, -447, 50},   {-103, -327, 90}, {-52, -172, 70}, {-163, -34, 60},
};
constexpr int KCornerCount = sizeof(KCorners) / sizeof(KCorners[0]);
// The start/finish line lies this far along the main straight.
constexpr double KLineIntoStraight = 250.0;

double HeadingOf(double aEast, double aNorth) { return std::atan2(aEast, aNorth); }

// Into (-pi, pi].
double Wrapped(double aAngle) {
  while (aAngle > KPi) aAngle -= 2 * KPi;
  while (aAngle <= -KPi) aAngle += 2 * KPi;
  return aAngle;
}

double Floored(double aValue, double aModulus) {
  const double r = std::fmod(aValue, aModulus);
  return r < 0 ? r + aModulus : r;
}

// splitmix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(uint64_t aSeed) : iState(aSeed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  uint64_t Next() {
    uint64_t z = (iState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // [0, 1)
  double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  // Standard normal (Box-Muller, one value per call).
  double Gauss() {
    const double u1 = 1.0 - Uniform();
    const double u2 = Uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * KPi * u2);
  }

 private:
  uint64_t iState;
};

// A first-order Gauss-Markov error: a value that wanders with standard deviation aSigma and
// forgets itself over aTau seconds, as a receiver's position error does.
class Wander {
 public:
  Wander(double aSigma, double aTau, double aStep)
      : iPhi(std::exp(-aStep / aTau)), iDrive(aSigma * std::sqrt(1.0 - iPhi * iPhi)) {}
  double Step(Random& aRandom) { return iValue = iPhi * iValue + iDrive * aRandom.Gauss(); }

 private:
  double iPhi, iDrive, iValue = 0.0;
};

}  // namespace

// --- The circuit ----------------------------------------------------------------------------

DemoCircuit::DemoCircuit() {
  struct Fillet {
    double iInHeading, iOutHeading, iTurn, iTangent;
  };
  Fillet fillets[KCornerCount];
  for (int i = 0; i < KCornerCount; ++i) {
    const Corner& p = KCorners[(i + KCornerCount - 1) % KCornerCount];
    const Corner& c = KCorners[i];
    const Corner& n = KCorners[(i + 1) % KCornerCount];
    Fillet& f = fillets[i];
    f.iInHeading = HeadingOf(c.iEast - p.iEast, c.iNorth - p.iNorth);
    f.iOutHeading = HeadingOf(n.iEast - c.iEast, n.iNorth - c.iNorth);
    f.iTurn = Wrapped(f.iOutHeading - f.iInHeading);
    f.iTangent = c.iRadius * std::tan(std::fabs(f.iTurn) / 2.0);
  }
  // From the exit of the last corner: the main straight, then corner, straight, corner ...
  double at = 0.0;
  for (int i = 0; i < KCornerCount; ++i) {
    const int from = (i + KCornerCount - 1) % KCornerCount;
    const Corner& a = KCorners[from];
    const Corner& b = KCorners[i];
    const Fillet& fa = fillets[from];
    const Fillet& fb = fillets[i];
    Segment straight;
    straight.iStart = at;
    straight.iEast = a.iEast + std::sin(fa.iOutHeading) * fa.iTangent;
    straight.iNorth = a.iNorth + std::cos(fa.iOutHeading) * fa.iTangent;
    straight.iHeading = fa.iOutHeading;
    straight.iLength = std::hypot(b.iEast - a.iEast, b.iNorth - a.iNorth) - fa.iTangent - fb.iTangent;
    iSegments.push_back(straight);
    at += straight.iLength;
    Segment arc;
    arc.iStart = at;
    arc.iEast = b.iEast - std::sin(fb.iInHeading) * fb.iTangent;
    arc.iNorth = b.iNorth - std::cos(fb.iInHeading) * fb.iTangent;
    arc.iHeading = fb.iInHeading;
    arc.iLength = b.iRadius * std::fabs(fb.iTurn);
    arc.iCurvature = (fb.iTurn > 0 ? 1.0 : -1.0) / b.iRadius;
    iSegments.push_back(arc);
    at += arc.iLength;
  }
  iLength = at;
  iLineOffset = KLineIntoStraight;

  for (const Segment& s : iSegments)
    if (s.iCurvature != 0.0) iApexes.push_back(Floored(s.iStart + s.iLength / 2 - iLineOffset, iLength));

  // Smoothed curvature: a 20 m running mean around the lap.
  const int count = static_cast<int>(std::ceil(iLength / KGrid));
  std::vector<double> raw(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) raw[static_cast<size_t>(i)] = Evaluate(i * KGrid).iCurvature;
  const int half = static_cast<int>(10.0 / KGrid);
  iSmooth.resize(raw.size());
  double sum = 0.0;
  for (int k = -half; k <= half; ++k) sum += raw[static_cast<size_t>((k + count) % count)];
  for (int i = 0; i < count; ++i) {
    iSmooth[static_cast<size_t>(i)] = sum / (2 * half + 1);
    sum += raw[static_cast<size_t>((i + half + 1) % count)] - raw[static_cast<size_t>((i - half + count) % count)];
  }

  // Split lines in the middle of the straights nearest a third and two thirds of the lap.
  for (int k = 0; k < 2; ++k) {
    const double target = iLength * (k + 1) / 3.0;
    double best = 1e18;
    for (const Segment& s : iSegments) {
      if (s.iCurvature != 0.0 || s.iLength < 60.0) continue;
      const double middle = Floored(s.iStart + s.iLength / 2 - iLineOffset, iLength);
      if (std::fabs(middle - target) < best) {
        best = std::fabs(middle - target);
        iSplits[k] = middle;
      }
    }
  }
}

CircuitPoint DemoCircuit::Evaluate(double aDistance) const {
  const double d = Floored(aDistance, iLength);
  size_t lo = 0, hi = iSegments.size();
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    if (iSegments[mid].iStart <= d)
      lo = mid;
    else
      hi = mid;
  }
  const Segment& s = iSegments[lo];
  const double along = std::min(d - s.iStart, s.iLength);
  CircuitPoint p;
  if (s.iCurvature == 0.0) {
    p.iEast = s.iEast + std::sin(s.iHeading) * along;
    p.iNorth = s.iNorth + std::cos(s.iHeading) * along;
    p.iHeading = s.iHeading;
  } else {
    // The centre lies on the inside of the bend; the right-hand normal of heading h is
    // (cos h, -sin h) in (east, north).
    const double r = 1.0 / s.iCurvature;
    const double ce = s.iEast + r * std::cos(s.iHeading), cn = s.iNorth - r * std::sin(s.iHeading);
    const double h = s.iHeading + s.iCurvature * along;
    p.iEast = ce - r * std::cos(h);
    p.iNorth = cn + r * std::sin(h);
    p.iHeading = h;
    p.iCurvature = s.iCurvature;
  }
  p.iHeading = Floored(p.iHeading, 2 * KPi);
  const double x = d / iLength * 2 * KPi;
  p.iAltitude = 96.0 + 3.5 * std::sin(x) + 1.5 * std::sin(2 * x + 1.0);
  return p;
}

CircuitPoint DemoCircuit::At(double aDistance) const { return Evaluate(aDistance + iLineOffset); }

double DemoCircuit::SmoothCurvature(double aDistance) const {
  const double g = Floored(aDistance + iLineOffset, iLength) / KGrid;
  const size_t n = iSmooth.size();
  const size_t i = static_cast<size_t>(g) % n;
  const double f = g - std::floor(g);
  return iSmooth[i] * (1 - f) + iSmooth[(i + 1) % n] * f;
}

void DemoCircuit::ToDegrees(double aEast, double aNorth, double& aLatitude, double& aLongitude) {
  const double lat0 = KCircuitLatitude * KPi / 180.0;
  aLatitude = KCircuitLatitude + aNorth / KEarthRadius * 180.0 / KPi;
  aLongitude = KCircuitLongitude + aEast / (KEarthRadius * std::cos(lat0)) * 180.0 / KPi;
}

// --- The car ---------------------------------------------------------------------------------

namespace {

// A light rear-wheel-drive track car on sticky road tyres.
constexpr double KMass = 1250.0;            // kg with driver
constexpr double KPower = 165000.0;         // W at the wheels
constexpr double KDragFactor = 0.408;       // 1/2 rho Cd A, N per (m/s)^2
constexpr double KRolling = 0.013 * KG;     // m/s^2
constexpr double KLateralGrip = 1.25;       // g
constexpr double KBrakingGrip = 1.15;       // g
constexpr double KDriveGrip = 0.85;         // g
constexpr double KTopSpeed = 80.0;          // m/s, above what the power allows
constexpr double KGearRatios[] = {3.36, 2.07, 1.50, 1.18, 0.97, 0.81};
constexpr int KGears = 6;
constexpr double KRpmPerMps = 60.0 / (2 * KPi * 0.32) * 3.9;  // wheel radius, final drive
constexpr double KIdleRpm = 850.0;
constexpr double KWheelbase = 2.6, KSteeringRatio = 15.0;

constexpr double KStep = 0.01;              // s, the simulation step
constexpr int KStepsPerEpoch = 10;          // 10 Hz receiver
constexpr double KEnvelopeGrid = 0.5;       // m, the speed envelope's grid
constexpr double KStandBefore = 8.0;        // s standing at the pit exit before setting off
constexpr double KStandAfter = 6.0;         // s standing after stopping

// What the driver asks of the car over one stretch of the drive.
struct Pace {
  double iGrip = 1.0;   // share of the tyres' grip used
  double iPower = 1.0;  // share of the engine used
  double iCap = KTopSpeed;
};

// The envelope of the fastest speed at each point of the drive that still lets the car make
// every later bend and stop where it has to: corner speeds from the curvature and the grip,
// then a backward pass that brakes into each of them within the friction circle.
class Envelope {
 public:
  Envelope(const DemoCircuit& aCircuit, const DemoDriveOptions& aOptions, Random& aRandom, bool aStops,
           double aLength)
      : iCircuit(aCircuit), iStops(aStops) {
    const size_t count = static_cast<size_t>(aLength / KEnvelopeGrid) + 2;
    iLimit.resize(count);
    iGrip.resize(count);
    iBrake.resize(count);
    iPower.resize(count);
    const double lap = aCircuit.Length();
    const double outLap = DemoCircuit::KPitExitBeforeLine;
    const int laps = aOptions.iHours > 0 ? 1 << 20 : aOptions.iLaps;

    // Lap to lap: tyres warm on the first timed lap, then the driver varies by a few tenths,
    // with the odd moment in a corner.
    std::vector<Pace> paces;
    std::vector<double> moments;  // drive distances of corners where grip ran out
    const int lapsCovered = static_cast<int>(aLength / lap) + 2;
    for (int k = 0; k < lapsCovered; ++k) {
      Pace p;
      if (k >= laps) {
        p.iGrip = 0.55, p.iPower = 0.35, p.iCap = 30.0;  // in lap
      } else {
        p.iGrip = k == 0 ? 0.965 : 0.982 + 0.018 * aRandom.Uniform();
        const bool moment = aOptions.iHours > 0 ? aRandom.Uniform() < 0.12 : (k == 2 && laps >= 4);
        if (moment) {
          const int corner = aOptions.iHours > 0 ? static_cast<int>(aRandom.Uniform() * aCircuit.CornerCount()) : 3;
          moments.push_back(outLap + k * lap + aCircuit.ApexDistance(corner));
        }
      }
      paces.push_back(p);
    }
    // Slow variations along the lap: how well each corner went.
    constexpr double KKnot = 120.0;
    std::vector<double> wobble(static_cast<size_t>(aLength / KKnot) + 3);
    for (double& w : wobble) w = 1.0 + std::clamp(0.012 * aRandom.Gauss(), -0.03, 0.03);

    for (size_t i = 0; i < count; ++i) {
      const double u = i * KEnvelopeGrid;
      Pace p;
      if (u < outLap) {
        p.iGrip = 0.8, p.iPower = 0.6;
      } else {
        p = paces[std::min(paces.size() - 1, static_cast<size_t>((u - outLap) / lap))];
      }
      const double wk = u / KKnot;
      const size_t w0 = static_cast<size_t>(wk);
      double grip = p.iGrip * (wobble[w0] * (w0 + 1 - wk) + wobble[w0 + 1] * (wk - w0));
      for (double m : moments)
        if (std::fabs(u - m) < 30.0) grip *= 0.62;
      iGrip[i] = KLateralGrip * grip;
      iBrake[i] = KBrakingGrip * grip;
      iPower[i] = p.iPower;
      const double k = std::fabs(Curvature(u));
      iLimit[i] = std::min(p.iCap, k > 1e-6 ? std::sqrt(iGrip[i] * KG / k) : KTopSpeed);
    }
    if (iStops) iLimit[count - 1] = iLimit[count - 2] = 0.0;
    for (size_t i = count - 1; i-- > 0;) {
      const double vNext = iLimit[i + 1];
      const double lateral = vNext * vNext * std::fabs(Curvature(i * KEnvelopeGrid)) / (iGrip[i] * KG);
      const double share = std::sqrt(std::max(0.0, 1.0 - std::min(1.0, lateral * lateral)));
      const double decel = iBrake[i] * KG * share + KDragFactor * vNext * vNext / KMass + KRolling;
      iLimit[i] = std::min(iLimit[i], std::sqrt(vNext * vNext + 2.0 * decel * KEnvelopeGrid));
    }
  }

  // Lap distance of a drive distance.
  double LapDistance(double aU) const { return iCircuit.PitExitDistance() + aU; }
  double Curvature(double aU) const { return iCircuit.SmoothCurvature(LapDistance(aU)); }
  double Limit(double aU) const { return Interpolated(iLimit, aU); }
  double Grip(double aU) const { return Interpolated(iGrip, aU); }
  double Brake(double aU) const { return Interpolated(iBrake, aU); }
  double Power(double aU) const { return Interpolated(iPower, aU); }
  double End() const { return (iLimit.size() - 2) * KEnvelopeGrid; }

 private:
  static double Interpolated(const std::vector<double>& aValues, double aU) {
    const double g = std::clamp(aU / KEnvelopeGrid, 0.0, static_cast<double>(aValues.size() - 1));
    const size_t i = std::min(static_cast<size_t>(g), aValues.size() - 2);
    const double f = g - i;
    return aValues[i] * (1 - f) + aValues[i + 1] * f;
  }

  const DemoCircuit& iCircuit;
  bool iStops;
  std::vector<double> iLimit, iGrip, iBrake, iPower;
};

// The state of the car and what its sensors read.
struct CarState {
  double iU = 0.0;       // metres driven since the pit exit
  double iSpeed = 0.0;   // m/s
  double iLongG = 0.0, iLatG = 0.0;  // filtered accelerations, g
  double iThrottle = 0.0;            // 0..1
  double iBrake = 0.0;               // deceleration from the brakes, g
  int iGear = 1;
  double iRpm = KIdleRpm;
  double iCoolant = 81.0, iOil = 84.0, iGearbox = 62.0;  // degrees C
  double iFuel = 78.0;                                   // percent of the tank
  double iPowerUsed = 0.0;                               // W at the wheels
  bool iStopped = false;
};

// --- Sentences -------------------------------------------------------------------------------

void AppendSentence(std::string& aOut, const char* aBody) {
  unsigned sum = 0;
  for (const char* p = aBody; *p; ++p) sum ^= static_cast<unsigned char>(*p);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum & 0xFF);
  aOut += '$';
  aOut += aBody;
  aOut += tail;
}

// hhmmss.ss (aDecimals 2) or hhmmss.sss (3).
void FormatTime(char* aOut, size_t aSize, int64_t aMs, int aDecimals) {
  const int64_t s = aMs / 1000;
  const int h = static_cast<int>(s / 3600 % 24), m = static_cast<int>(s / 60 % 60), sec = static_cast<int>(s % 60);
  if (aDecimals == 3)
    std::snprintf(aOut, aSize, "%02d%02d%02d.%03d", h, m, sec, static_cast<int>(aMs % 1000));
  else
    std::snprintf(aOut, aSize, "%02d%02d%02d.%02d", h, m, sec, static_cast<int>(aMs % 1000 / 10));
}

// ddmm.mmmmm,N or dddmm.mmmmm,W: rounded once in 1/100000 minute so 60 minutes never shows.
void FormatAngle(char* aOut, size_t aSize, double aDegrees, bool aLatitude) {
  const char hemisphere = aLatitude ? (aDegrees < 0 ? 'S' : 'N') : (aDegrees < 0 ? 'W' : 'E');
  const long long units = std::llround(std::fabs(aDegrees) * 60.0 * 100000.0);
  const long long perDegree = 60LL * 100000;
  const int degrees = static_cast<int>(units / perDegree);
  const long long rest = units % perDegree;
  std::snprintf(aOut, aSize, aLatitude ? "%02d%02lld.%05lld,%c" : "%03d%02lld.%05lld,%c", degrees, rest / 100000,
                rest % 100000, hemisphere);
}

// The sky: satellites drifting slowly across it.
struct Satellite {
  int iPrn;
  double iElevation, iAzimuth;  // degrees at the first epoch
  double iRise, iTurn;          // degrees per hour
};
constexpr Satellite KSky[] = {
    {2, 62, 48, -9, 21},   {5, 27, 301, 14, 8},  {9, 71, 172, -12, 35}, {12, 18, 95, -16, 11},
    {15, 44, 232, 10, -14}, {17, 35, 130, 18, 6}, {21, 9, 345, 21, -5},  {24, 53, 280, -7, -18},
    {26, 22, 18, -11, 13}, {29, 14, 205, 12, 9}, {30, 39, 66, 6, 25},
};

struct SkyView {
  int iInView = 0;
  int iPrn[12] = {}, iElevation[12] = {}, iAzimuth[12] = {}, iSnr[12] = {};
  int iUsed = 0;
  int iUsedPrn[12] = {};
};

SkyView Sky(double aSeconds, Random& aRandom) {
  SkyView view;
  for (const Satellite& s : KSky) {
    const double el = s.iElevation + s.iRise * aSeconds / 3600.0;
    if (el < 2.0 || el > 88.0 || view.iInView == 12) continue;
    const int i = view.iInView++;
    view.iPrn[i] = s.iPrn;
    view.iElevation[i] = static_cast<int>(std::lround(el));
    view.iAzimuth[i] = static_cast<int>(std::lround(Floored(s.iAzimuth + s.iTurn * aSeconds / 3600.0, 360.0)));
    view.iSnr[i] = static_cast<int>(std::lround(21.0 + 25.0 * std::sin(el * KPi / 180.0) + aRandom.Gauss()));
    if (el > 10.0 && view.iSnr[i] > 28) view.iUsedPrn[view.iUsed++] = s.iPrn;
  }
  return view;
}

}  // namespace

// --- The drive --------------------------------------------------------------------------------

DemoDriveResult WriteDemoDrive(const DemoDriveOptions& aOptions, const std::function<void(const std::string&)>& aWrite) {
  DemoDriveResult result;
  const DemoCircuit circuit;
  Random random(aOptions.iSeed);
  Random noise(aOptions.iSeed ^ 0x5DEECE66Dull);
  const bool timed = aOptions.iHours > 0;
  const int64_t lastEpoch = timed ? static_cast<int64_t>(std::llround(aOptions.iHours * 36000.0)) - 1 : -1;
  // Out lap, the timed laps, and the in lap back to the pit exit; or, timed, further than the
  // car could go in that time.
  const double length = timed ? aOptions.iHours * 3600.0 * KTopSpeed + circuit.Length()
                              : (aOptions.iLaps + 1) * circuit.Length();
  const Envelope envelope(circuit, aOptions, random, !timed, length);

  Wander errorEast(0.35, 8.0, 0.1), errorNorth(0.35, 8.0, 0.1), errorUp(0.8, 20.0, 0.1);
  CarState car;
  std::string out;
  out.reserve(1024);
  char body[256], time[16], lat[32], lon[32];
  double lastCourse = circuit.At(circuit.PitExitDistance()).iHeading * 180.0 / KPi;
  SkyView sky = Sky(0.0, noise);
  uint32_t loggerCounter = 31000;
  int obdTurn = 0;
  int64_t standingSince = -1;  // step at which the car came to rest at the end

  for (int64_t step = 0;; ++step) {
    const double t = step * KStep;
    if (step % KStepsPerEpoch == 0) {
      const int64_t epoch = step / KStepsPerEpoch;
      const int64_t ms = epoch * 100;
      const CircuitPoint p = circuit.At(circuit.PitExitDistance() + car.iU);
      double latDeg, lonDeg;
      DemoCircuit::ToDegrees(p.iEast + errorEast.Step(noise) + 0.03 * noise.Gauss(),
                             p.iNorth + errorNorth.Step(noise) + 0.03 * noise.Gauss(), latDeg, lonDeg);
      const double altitude = p.iAltitude + errorUp.Step(noise);
      const double speed = std::max(0.0, car.iSpeed + 0.04 * noise.Gauss());
      // A receiver keeps its last course while standing.
      if (car.iSpeed > 0.5)
        lastCourse = Floored(p.iHeading * 180.0 / KPi + (0.2 + 1.5 / (car.iSpeed + 0.5)) * noise.Gauss(), 360.0);
      if (ms % 1000 == 0) sky = Sky(t, noise);
      const double hdop = 0.62 + 3.2 / std::max(sky.iUsed, 4), vdop = hdop * 1.45;

      out.clear();
      FormatTime(time, sizeof time, ms, 2);
      FormatAngle(lat, sizeof lat, latDeg, true);
      FormatAngle(lon, sizeof lon, lonDeg, false);
      std::snprintf(body, sizeof body, "GPRMC,%s,A,%s,%s,%.3f,%.2f,%02d%02d%02d,,,A", time, lat, lon,
                    speed / 0.514444444444, lastCourse, KDriveDay, KDriveMonth, KDriveYear % 100);
      AppendSentence(out, body);
      std::snprintf(body, sizeof body, "GPGGA,%s,%s,%s,1,%02d,%.1f,%.1f,M,47.0,M,,", time, lat, lon, sky.iUsed, hdop,
                    altitude);
      AppendSentence(out, body);
      if (ms % 1000 == 0) {
        int n = std::snprintf(body, sizeof body, "GPGSA,A,3");
        for (int i = 0; i < 12; ++i) {
          if (i < sky.iUsed)
            n += std::snprintf(body + n, sizeof body - n, ",%02d", sky.iUsedPrn[i]);
          else
            n += std::snprintf(body + n, sizeof body - n, ",");
        }
        std::snprintf(body + n, sizeof body - n, ",%.1f,%.1f,%.1f", std::hypot(hdop, vdop), hdop, vdop);
        AppendSentence(out, body);
        const int messages = (sky.iInView + 3) / 4;
        for (int m = 0; m < messages; ++m) {
          n = std::snprintf(body, sizeof body, "GPGSV,%d,%d,%02d", messages, m + 1, sky.iInView);
          for (int i = m * 4; i < std::min(sky.iInView, m * 4 + 4); ++i)
            n += std::snprintf(body + n, sizeof body - n, ",%02d,%02d,%03d,%02d", sky.iPrn[i], sky.iElevation[i],
                               sky.iAzimuth[i], sky.iSnr[i]);
          AppendSentence(out, body);
        }
      }

      // The OBD reader answers about twice per epoch: engine speed every time, then throttle,
      // road speed and (once a second) coolant in turn.
      const int rpmRaw = static_cast<int>(std::lround(car.iRpm * 4.0));
      FormatTime(time, sizeof time, ms + 25, 3);
      std::snprintf(body, sizeof body, "PWOBD,%s,0C,41 0C %02X %02X", time, (rpmRaw >> 8) & 0xFF, rpmRaw & 0xFF);
      AppendSentence(out, body);
      // The logger, already stamped with GPS time by its reader.
      FormatTime(time, sizeof time, ms + 50, 3);
      const double steer = std::atan(KWheelbase * envelope.Curvature(car.iU)) * KSteeringRatio * 180.0 / KPi;
      std::snprintf(body, sizeof body, "PW2,%s,%u,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d", time, loggerCounter % 65536,
                    static_cast<int>(std::lround((car.iLatG + 0.02 * noise.Gauss()) * 100)),
                    static_cast<int>(std::lround((car.iLongG + 0.02 * noise.Gauss()) * 100)),
                    static_cast<int>(std::lround((1.0 + 0.03 * noise.Gauss()) * 100)),
                    static_cast<int>(std::lround(car.iRpm)), car.iBrake > 0.05 ? 1 : 0,
                    static_cast<int>(std::lround(car.iThrottle * 100)),
                    static_cast<int>(std::lround(car.iBrake * 90.0)), static_cast<int>(std::lround(steer)),
                    static_cast<int>(std::lround(10.0 + 45.0 * car.iRpm / 7000.0)),
                    static_cast<int>(std::lround(car.iOil)), static_cast<int>(std::lround(car.iGearbox)),
                    static_cast<int>(std::lround(car.iFuel)),
                    static_cast<int>(std::lround(13900 + 40 * noise.Gauss())));
      AppendSentence(out, body);
      ++loggerCounter;
      FormatTime(time, sizeof time, ms + 75, 3);
      const int turn = obdTurn++ % 10;
      if (turn == 9) {
        std::snprintf(body, sizeof body, "PWOBD,%s,05,41 05 %02X", time,
                      std::clamp(static_cast<int>(std::lround(car.iCoolant)) + 40, 0, 255));
      } else if (turn % 2 == 0) {
        std::snprintf(body, sizeof body, "PWOBD,%s,11,41 11 %02X", time,
                      std::clamp(static_cast<int>(std::lround(car.iThrottle * 255)), 0, 255));
      } else {
        std::snprintf(body, sizeof body, "PWOBD,%s,0D,41 0D %02X", time,
                      std::clamp(static_cast<int>(std::lround(car.iSpeed * 3.6 * 1.01)), 0, 255));
      }
      AppendSentence(out, body);
      result.iObdSentences += 2;
      result.iLoggerSentences += 1;

      aWrite(out);
      result.iBytes += static_cast<int64_t>(out.size());
      result.iEpochs = epoch + 1;
      result.iDuration = ms / 1000.0;
      if (timed ? epoch >= lastEpoch : (standingSince >= 0 && step - standingSince >= KStandAfter / KStep)) break;
    }

    // --- One step of the car.
    const double v = car.iSpeed;
    double vNew = v;
    double brake = 0.0, throttle = 0.0, drive = 0.0;
    if (t >= KStandBefore && !car.iStopped) {
      const double curvature = envelope.Curvature(car.iU);
      const double lateral = v * v * std::fabs(curvature) / (envelope.Grip(car.iU) * KG);
      const double share = std::sqrt(std::max(0.0, 1.0 - std::min(1.0, lateral * lateral)));
      const double power = KPower * envelope.Power(car.iU);
      const double resist = KDragFactor * v * v / KMass + (v > 0.01 ? KRolling : 0.0);
      const double force = std::min(power / std::max(v, 1.0), KDriveGrip * KG * KMass) * share;
      const double vTry = v + (force / KMass - resist) * KStep;
      const double allowed = envelope.Limit(car.iU + v * KStep);
      if (vTry <= allowed) {
        vNew = vTry;
        drive = force;
        throttle = std::min(1.0, force * std::max(v, 1.0) / KPower + 0.05);
      } else {
        vNew = std::max(allowed, v - (envelope.Brake(car.iU) * KG + resist) * KStep);
        const double need = (vNew - v) / KStep + resist;  // what the tyres must give
        if (need >= 0) {
          drive = need * KMass;
          throttle = std::clamp(drive * std::max(v, 1.0) / KPower + 0.04, 0.0, 1.0);
        } else {
          brake = -need / KG;
        }
      }
      vNew = std::max(0.0, vNew);
      const double before = car.iU;
      car.iU += 0.5 * (v + vNew) * KStep;
      // A start/finish crossing: DemoCircuit::KPitExitBeforeLine + k laps into the drive.
      const double line0 = DemoCircuit::KPitExitBeforeLine;
      if (car.iU >= line0) {
        const double k = std::floor((car.iU - line0) / circuit.Length());
        const double at = line0 + k * circuit.Length();
        if (before < at)
          result.iLineCrossings.push_back(t + KStep * (at - before) / (car.iU - before));
      }
      if (!timed && car.iU >= envelope.End() - 0.5 && vNew < 1.0) {
        vNew = 0.0;
        car.iStopped = true;
        standingSince = step;
      }
    }
    const double longG = (vNew - v) / KStep / KG;
    car.iSpeed = vNew;
    const double filter = KStep / 0.06;
    car.iLongG += (longG - car.iLongG) * filter;
    car.iLatG += (vNew * vNew * envelope.Curvature(car.iU) / KG - car.iLatG) * filter;
    car.iThrottle += (throttle - car.iThrottle) * std::min(1.0, KStep / 0.08);
    car.iBrake += (brake - car.iBrake) * std::min(1.0, KStep / 0.05);
    car.iPowerUsed = drive * vNew;

    // Gears: up near the limiter, down when the engine would bog.
    if (vNew < 1.0) car.iGear = 1;
    while (car.iGear < KGears && vNew * KRpmPerMps * KGearRatios[car.iGear - 1] > 6900.0) ++car.iGear;
    while (car.iGear > 1 && vNew * KRpmPerMps * KGearRatios[car.iGear - 1] < 3000.0 &&
           vNew * KRpmPerMps * KGearRatios[car.iGear - 2] < 6600.0)
      --car.iGear;
    const double geared = vNew * KRpmPerMps * KGearRatios[car.iGear - 1];
    const double clutch = car.iGear == 1 && vNew < 5.0 ? KIdleRpm + car.iThrottle * 2600.0 : 0.0;
    car.iRpm = std::max({KIdleRpm, geared, clutch});

    // Temperatures follow the load; fuel goes at a third efficiency, 34 MJ per litre, 55 l tank.
    const double load = car.iPowerUsed / KPower;
    car.iCoolant += (88.0 + 7.0 * load - car.iCoolant) * KStep / 150.0;
    car.iOil += (96.0 + 22.0 * load - car.iOil) * KStep / 300.0;
    car.iGearbox += (80.0 + 25.0 * load - car.iGearbox) * KStep / 400.0;
    car.iFuel = std::max(2.0, car.iFuel - car.iPowerUsed * KStep / (0.3 * 34e6) / 55.0 * 100.0);
  }
  return result;
}

std::string DemoDriveText(const DemoDriveOptions& aOptions, DemoDriveResult* aResult) {
  std::string text;
  const DemoDriveResult result = WriteDemoDrive(aOptions, [&](const std::string& aChunk) { text += aChunk; });
  if (aResult) *aResult = result;
  return text;
}

}  // namespace pwtools
