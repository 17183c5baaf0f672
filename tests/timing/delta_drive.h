// Drives for the running-difference tests: laps on one closed line at chosen paces, so that
// the moment each lap passes any point of the line is known in closed form. A lap's time to
// distance s along the line is s / v + A sin^3(2 pi s / L): the pace varies round the lap and
// not at all at the start/finish line, where the lap list interpolates its crossings.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "storage/position_plot_list.h"
#include "timing/intersection.h"
#include "timing/lap_list.h"
#include "timing/trap_line.h"

namespace pwdelta {

constexpr double KLat0 = 30.0 * KPi / 180.0;
constexpr double KLon0 = 120.0 * KPi / 180.0;

// A closed line in metres east/north, tabulated by distance along it.
class Line {
 public:
  // aCurve(u) for u in [0, 1) traces the line once.
  static Line FromCurve(const std::function<void(double, double&, double&)>& aCurve, int aSteps = 40000) {
    Line line;
    double x0, y0;
    aCurve(0.0, x0, y0);
    line.iX.push_back(x0);
    line.iY.push_back(y0);
    line.iS.push_back(0.0);
    for (int i = 1; i <= aSteps; ++i) {
      double x, y;
      aCurve(static_cast<double>(i) / aSteps, x, y);
      line.iS.push_back(line.iS.back() + std::hypot(x - line.iX.back(), y - line.iY.back()));
      line.iX.push_back(x);
      line.iY.push_back(y);
    }
    return line;
  }
  static Line Circle(double aRadius) {
    return FromCurve([aRadius](double u, double& x, double& y) {
      x = aRadius * std::sin(KTwoPi * u);
      y = aRadius * std::cos(KTwoPi * u);
    });
  }
  // A figure of eight crossing itself at right angles in its middle.
  static Line FigureEight(double aSize) {
    return FromCurve([aSize](double u, double& x, double& y) {
      const double t = KTwoPi * u, s = std::sin(t), c = std::cos(t);
      x = aSize * c / (1 + s * s);
      y = aSize * s * c / (1 + s * s);
    });
  }
  // Two straights of aLength, aGap apart, joined by hairpins: the line runs back beside itself.
  static Line Paperclip(double aLength, double aGap) {
    const double r = aGap / 2, arc = KPi * r, total = 2 * aLength + 2 * arc;
    return FromCurve([=](double u, double& x, double& y) {
      double s = u * total;
      if (s < aLength) {
        x = s;
        y = 0;
        return;
      }
      s -= aLength;
      if (s < arc) {
        x = aLength + r * std::sin(s / r);
        y = r - r * std::cos(s / r);
        return;
      }
      s -= arc;
      if (s < aLength) {
        x = aLength - s;
        y = aGap;
        return;
      }
      s -= aLength;
      x = -r * std::sin(s / r);
      y = r + r * std::cos(s / r);
    });
  }

  double Length() const { return iS.back(); }
  // The point at distance aS (taken round the line).
  void At(double aS, double& aX, double& aY) const {
    double s = std::fmod(aS, Length());
    if (s < 0) s += Length();
    size_t hi = static_cast<size_t>(std::upper_bound(iS.begin(), iS.end(), s) - iS.begin());
    if (hi >= iS.size()) hi = iS.size() - 1;
    if (hi == 0) hi = 1;
    const size_t lo = hi - 1;
    const double f = iS[hi] > iS[lo] ? (s - iS[lo]) / (iS[hi] - iS[lo]) : 0.0;
    aX = iX[lo] + f * (iX[hi] - iX[lo]);
    aY = iY[lo] + f * (iY[hi] - iY[lo]);
  }
  // Direction of travel at aS, radians from north.
  double Bearing(double aS) const {
    double x0, y0, x1, y1;
    At(aS - 0.5, x0, y0);
    At(aS + 0.5, x1, y1);
    return std::atan2(x1 - x0, y1 - y0);
  }

 private:
  std::vector<double> iX, iY, iS;
};

inline TCoordinate Lat(double aY) { return TCoordinate::FromRadians(KLat0 + aY / EarthRadius); }
inline TCoordinate Lon(double aX) { return TCoordinate::FromRadians(KLon0 + aX / (EarthRadius * std::cos(KLat0))); }

// One lap's pace: seconds to distance s are s / iSpeed + iWave sin^3(2 pi s / L).
struct Pace {
  double iSpeed;
  double iWave;
};

// Laps driven one after the other on a line, from a little before the start/finish line (at
// distance 0) to a little after the last lap's finish.
class Drive {
 public:
  static constexpr double KLeadIn = 40.0;

  Drive(const Line& aLine, std::vector<Pace> aLaps) : iLine(aLine), iLaps(std::move(aLaps)) {}

  const Line& Path() const { return iLine; }
  // Seconds from the start of lap aLap to distance aS into it.
  double LapSeconds(size_t aLap, double aS) const {
    const Pace& p = iLaps[aLap];
    const double w = std::sin(KTwoPi * aS / iLine.Length());
    return aS / p.iSpeed + p.iWave * w * w * w;
  }
  // Seconds from the drive's start to global distance aS (negative before the first line).
  double Seconds(double aS) const {
    const double l = iLine.Length();
    if (aS < 0) return (aS + KLeadIn) / iLaps.front().iSpeed;
    double t = KLeadIn / iLaps.front().iSpeed;
    size_t lap = 0;
    while (lap < iLaps.size() && aS >= l) {
      t += LapSeconds(lap, l);
      aS -= l;
      ++lap;
    }
    if (lap == iLaps.size()) return t + aS / iLaps.back().iSpeed;
    return t + LapSeconds(lap, aS);
  }
  double EndDistance() const { return iLine.Length() * static_cast<double>(iLaps.size()) + KLeadIn; }
  // Global distance reached after aSeconds.
  double DistanceAt(double aSeconds) const {
    double lo = -KLeadIn, hi = EndDistance();
    for (int i = 0; i < 80; ++i) {
      const double mid = (lo + hi) / 2;
      (Seconds(mid) < aSeconds ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
  }

  // Samples every aStepMs, session times from aBaseMs; aSkip(ms) drops a sample, aShift(ms) moves
  // one by so many metres north.
  void Samples(CPositionPlotList& aPlots, int32_t aStepMs, const std::function<bool(int32_t)>& aSkip = nullptr,
               const std::function<double(int32_t)>& aShift = nullptr, int32_t aBaseMs = 36000000) const {
    const double end = Seconds(EndDistance());
    for (int32_t ms = 0; ms <= end * 1000.0; ms += aStepMs) {
      if (aSkip && aSkip(ms)) continue;
      double x, y;
      const double here = DistanceAt(ms / 1000.0);
      iLine.At(here, x, y);
      if (aShift) y += aShift(ms);
      TPositionPlot p;
      p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(0.01 / (Seconds(here + 0.005) - Seconds(here - 0.005))));
      p.iTime = aBaseMs + ms;
      p.iLatitude = Lat(y).iValue;
      p.iLongitude = Lon(x).iValue;
      p.iHdop = TPositionPlot::EncodeHundredths(0.8);
      p.iFlags = TPositionPlot::EncodeFlags(10, false, false);
      p.iDistance = TPositionPlot::EncodeDistance(aPlots.AppendComputed(p.GeoPoint()));
      aPlots.AppendStored(p);
    }
  }
  // The true difference of lap aLap against lap aReference at aDistance into the lap, ms.
  double TrueDelta(size_t aLap, size_t aReference, double aDistance) const {
    return (LapSeconds(aLap, aDistance) - LapSeconds(aReference, aDistance)) * 1000.0;
  }
  // Session time (ms, aBaseMs as in Samples) at which lap aLap passes aDistance into it.
  double SessionMs(size_t aLap, double aDistance, int32_t aBaseMs = 36000000) const {
    return aBaseMs + Seconds(iLine.Length() * static_cast<double>(aLap) + aDistance) * 1000.0;
  }
  // The true distance into its lap of session time aMs (aBaseMs as in Samples).
  double LapDistanceAt(int32_t aMs, int32_t aBaseMs = 36000000) const {
    const double s = DistanceAt((aMs - aBaseMs) / 1000.0);
    return s - std::floor(s / iLine.Length()) * iLine.Length();
  }

  // A line across the path at aS, counted in the direction of travel.
  std::unique_ptr<CTrapLine> Trap(int32_t aType, double aS, double aWidth = 20.0) const {
    double x, y;
    iLine.At(aS, x, y);
    std::unique_ptr<CTrapLine> trap(CTrapLine::NewL());
    trap->Set(aType, u"Line", Lat(y), Lon(x), TAngle(iLine.Bearing(aS)), TDistance::FromMetres(aWidth), 1);
    return trap;
  }

 private:
  Line iLine;
  std::vector<Pace> iLaps;
};

// A session's samples timed on a start/finish line and splits at the given fractions of a lap.
struct Timed {
  CPositionPlotList iPlots;
  CTrapLineList iTraps;
  CIntersectionList iCrossings;
  std::unique_ptr<CLapList> iLaps;

  Timed(const Drive& aDrive, int32_t aStepMs, const std::vector<double>& aSplits = {},
        const std::function<bool(int32_t)>& aSkip = nullptr, const std::function<double(int32_t)>& aShift = nullptr) {
    aDrive.Samples(iPlots, aStepMs, aSkip, aShift);
    iTraps.Add(*aDrive.Trap(ETrapStartFinish, 0.0));
    for (double f : aSplits) iTraps.Add(*aDrive.Trap(ETrapSplit, f * aDrive.Path().Length()));
    iCrossings.Rebuild(iPlots, iTraps);
    iLaps.reset(CLapList::NewL(&iPlots, nullptr, nullptr));
    iLaps->Rebuild(iTraps, iCrossings);
  }
};

}  // namespace pwdelta
