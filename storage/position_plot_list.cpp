#include "storage/position_plot_list.h"

#include <cmath>

namespace {

constexpr double KStandardGravity = 9.80665;

// Channel numbers to identifiers; channel 1 is the cumulative distance (the distance axis).
constexpr TChannelId KChannelIds[CPositionPlotList::KChannelCount] = {
    KChannelGpsTime,      KChannelDistance,           KChannelDistanceDirect,
    KChannelGpsSpeed,     KChannelAltitude,           KChannelSatellites,
    KChannelBearing,      KChannelCoordinatePrecision, KChannelAltitudePrecision,
    KChannel3DPrecision,  KChannelGpsLateralG,        KChannelGpsLongitudinalG};

double MetresPerSecond(int32_t aStoredSpeed) {
  return aStoredSpeed == KInvalidInt ? InvalidReal()
                                     : aStoredSpeed / KArcUnitsPerRadian / 1000.0 * EarthRadius;
}

double Lerp(double aFrom, double aTo, double aFraction) {
  return (1.0 - aFraction) * aFrom + aFraction * aTo;
}

// Rounds half up for either sign, as the coordinates are meant to move smoothly.
int32_t RoundCoordinate(double aValue) { return static_cast<int32_t>(std::floor(aValue + 0.5)); }

}  // namespace

PwTime CPositionPlotList::TimeAt(int32_t aIndex) const {
  if (aIndex < 0 || aIndex >= iPlots.Count()) return PwTime(0);
  return PwTime(iPlots.At(aIndex).iTime);
}

TDistance CPositionPlotList::DistanceAt(int32_t aIndex) const {
  if (aIndex < 0 || aIndex >= iPlots.Count()) return TDistance(0.0);
  return iPlots.At(aIndex).Distance();
}

double CPositionPlotList::SpeedAt(int32_t aIndex) const {
  if (aIndex < 0 || aIndex >= iPlots.Count()) return InvalidReal();
  return MetresPerSecond(iPlots.At(aIndex).iSpeed);
}

TChannelId CPositionPlotList::ChannelId(int32_t aChannel) const {
  if (aChannel < 0 || aChannel >= KChannelCount) return 0;
  return KChannelIds[aChannel];
}

int32_t CPositionPlotList::ChannelValue(int32_t aChannel, int32_t aIndex, PwTime aBaseTime,
                                        double& aValue) const {
  if (aIndex < 0 || aIndex >= iPlots.Count() || aChannel < 0 || aChannel >= KChannelCount)
    return 0;
  const TPositionPlot& p = iPlots.At(aIndex);
  // By identifier, so the order of the channel numbers is set by KChannelIds alone.
  switch (KChannelIds[aChannel]) {
    case KChannelGpsTime:
      aValue = (p.iTime - aBaseTime.Milliseconds()) / 1000.0;
      break;
    case KChannelDistance:
      aValue = p.Distance().Metres();
      break;
    case KChannelDistanceDirect: {
      const TPositionPlot& from = iPlots.At(ReferenceIndex(aBaseTime));
      aValue = from.Position().Distance(p.Position()).Metres();
      break;
    }
    case KChannelGpsSpeed:
      aValue = MetresPerSecond(p.iSpeed);
      break;
    case KChannelAltitude:
      aValue = p.iAltitude == KInvalidInt ? InvalidReal() : p.Altitude().Metres();
      break;
    case KChannelSatellites:
      aValue = p.Satellites();
      break;
    case KChannelBearing:
      aValue = p.BearingDegrees();
      break;
    case KChannelCoordinatePrecision:
      aValue = p.Hdop();
      break;
    case KChannelAltitudePrecision:
      aValue = p.Vdop();
      break;
    case KChannel3DPrecision:
      aValue = p.Precision3D();
      break;
    case KChannelGpsLateralG:
      aValue = LateralG(aIndex);
      break;
    case KChannelGpsLongitudinalG:
      aValue = LongitudinalG(aIndex);
      break;
    default:
      return 0;
  }
  return 1;
}

int32_t CPositionPlotList::ReferenceIndex(PwTime aBaseTime) const {
  int32_t lower, upper;
  FindByTime(aBaseTime, lower, upper);
  if (upper >= 0) return upper;          // exact hit, or the first sample after the base
  return lower >= 0 ? lower : 0;         // the base lies after the last sample, or n < 2
}

double CPositionPlotList::LongitudinalG(int32_t aIndex) const {
  if (iPlots.Count() < 2) return InvalidReal();
  const int32_t i = aIndex == 0 ? 1 : aIndex;
  const TPositionPlot& a = iPlots.At(i - 1);
  const TPositionPlot& b = iPlots.At(i);
  const double va = MetresPerSecond(a.iSpeed), vb = MetresPerSecond(b.iSpeed);
  const double dt = (b.iTime - a.iTime) / 1000.0;
  if (IsInvalidReal(va) || IsInvalidReal(vb) || dt <= 0.0) return InvalidReal();
  return (vb - va) / dt / KStandardGravity;
}

double CPositionPlotList::LateralG(int32_t aIndex) const {
  if (iPlots.Count() < 2) return InvalidReal();
  const int32_t i = aIndex == 0 ? 1 : aIndex;
  const TPositionPlot& a = iPlots.At(i - 1);
  const TPositionPlot& b = iPlots.At(i);
  const double va = MetresPerSecond(a.iSpeed), vb = MetresPerSecond(b.iSpeed);
  const double dt = (b.iTime - a.iTime) / 1000.0;
  const double ba = a.BearingDegrees(), bb = b.BearingDegrees();
  if (IsInvalidReal(va) || IsInvalidReal(vb) || IsInvalidReal(ba) || IsInvalidReal(bb) || dt <= 0.0)
    return InvalidReal();
  // Turning clockwise (to the right) is positive.
  const double turn = TAngle::FromDegrees(bb - ba).Normalised().iValue;
  return (va + vb) / 2.0 * turn / dt / KStandardGravity;
}

TDistance CPositionPlotList::AppendComputed(TGeoPoint aPoint) {
  if (!aPoint.IsValid()) return iRunningDistance;
  const TPosition position(aPoint);
  if (iPrevious.IsValid()) {
    const TDistance step = iPrevious.Distance(position);
    if (step.IsValid()) iRunningDistance.iValue += step.iValue;
  }
  iPrevious = position;
  return iRunningDistance;
}

TDistance CPositionPlotList::AppendJudged(const TPositionPlot& aPlot) {
  iRunningDistance = TDistance(iGnss.Take(aPlot, true));
  iJudgedAhead = true;
  return iRunningDistance;
}

void CPositionPlotList::AppendStored(const TPositionPlot& aPlot) {
  iPlots.Append(aPlot);
  if (!iJudgedAhead) iGnss.Take(aPlot, false);
  iJudgedAhead = false;
  if (aPlot.iSpeed != KInvalidInt && (iMinimumSpeed == KInvalidInt || aPlot.iSpeed < iMinimumSpeed))
    iMinimumSpeed = aPlot.iSpeed;
}

void CPositionPlotList::ContinueDistance() {
  if (iPlots.Count() == 0) return;
  const TPositionPlot& last = Last();
  iRunningDistance = last.Distance();
  iPrevious = last.GeoPoint().IsValid() ? last.Position() : TPosition::Invalid();
}

PwTime CPositionPlotList::Duration() const {
  const int32_t n = iPlots.Count();
  if (n < 2) return PwTime(0);
  return PwTime(iPlots.At(n - 1).iTime - iPlots.At(0).iTime);
}

TAngle CPositionPlotList::BearingFromLast(TGeoPoint aPoint) const {
  if (iPlots.Count() == 0 || !aPoint.IsValid()) return TAngle::Invalid();
  const TGeoPoint from = Last().GeoPoint();
  if (!from.IsValid()) return TAngle::Invalid();
  return TPosition(from).Bearing(TPosition(aPoint));
}

namespace {

// Interpolation between two samples a (fraction 0) and b (fraction 1).
double SpeedBetween(const TPositionPlot& a, const TPositionPlot& b, double aFraction) {
  if (a.iSpeed == KInvalidInt || b.iSpeed == KInvalidInt) return InvalidReal();
  if (aFraction == 1.0) return b.iSpeed;
  return Lerp(a.iSpeed, b.iSpeed, aFraction);
}

double DistanceBetween(const TPositionPlot& a, const TPositionPlot& b, double aFraction) {
  if (aFraction == 1.0) return b.iDistance;
  return Lerp(a.iDistance, b.iDistance, aFraction);
}

TGeoPoint PositionBetween(const TPositionPlot& a, const TPositionPlot& b, double aFraction) {
  if (aFraction == 1.0) return b.GeoPoint();
  if (!a.GeoPoint().IsValid() || !b.GeoPoint().IsValid()) return TGeoPoint();
  return TGeoPoint(TCoordinate(RoundCoordinate(Lerp(a.iLatitude, b.iLatitude, aFraction))),
                   TCoordinate(RoundCoordinate(Lerp(a.iLongitude, b.iLongitude, aFraction))));
}

double BearingBetween(const TPositionPlot& a, const TPositionPlot& b, double aFraction) {
  double from = a.BearingDegrees();
  double to = b.BearingDegrees();
  if (IsInvalidReal(from) || IsInvalidReal(to)) return InvalidReal();
  if (aFraction == 1.0) return to;
  if (from - to > 180.0) from -= 360.0;
  if (to - from > 180.0) to -= 360.0;
  const double d = FlooredRemainder(Lerp(from, to, aFraction), 360.0);
  return d >= 360.0 ? 0.0 : d;
}

}  // namespace

double CPositionPlotList::InterpolateSpeed(int32_t aIndex, double aFraction) const {
  if (aIndex < 1 || aIndex >= iPlots.Count()) return 0.0;
  return SpeedBetween(iPlots.At(aIndex - 1), iPlots.At(aIndex), aFraction);
}

double CPositionPlotList::InterpolateDistance(int32_t aIndex, double aFraction) const {
  if (aIndex < 1 || aIndex >= iPlots.Count()) return 0.0;
  return DistanceBetween(iPlots.At(aIndex - 1), iPlots.At(aIndex), aFraction);
}

TGeoPoint CPositionPlotList::InterpolatePosition(int32_t aIndex, double aFraction) const {
  // An invalid point rather than (0, 0), which is a real place on any map.
  if (aIndex < 1 || aIndex >= iPlots.Count()) return TGeoPoint();
  return PositionBetween(iPlots.At(aIndex - 1), iPlots.At(aIndex), aFraction);
}

double CPositionPlotList::InterpolateBearing(int32_t aIndex, double aFraction) const {
  if (aIndex < 1 || aIndex >= iPlots.Count()) return 0.0;
  return BearingBetween(iPlots.At(aIndex - 1), iPlots.At(aIndex), aFraction);
}

bool CPositionPlotList::InterpolateSample(int32_t aIndex, double aFraction, TPositionPlot& aPlot) const {
  if (aIndex < 1 || aIndex >= iPlots.Count()) return false;
  aPlot = InterpolateBetween(iPlots.At(aIndex - 1), iPlots.At(aIndex), aFraction);
  return true;
}

TPositionPlot CPositionPlotList::InterpolateBetween(const TPositionPlot& a, const TPositionPlot& b, double aFraction) {
  TPositionPlot p = b;
  p.iTime = a.iTime + static_cast<int32_t>(std::trunc((b.iTime - a.iTime) * aFraction + 0.5));
  const TGeoPoint point = PositionBetween(a, b, aFraction);
  p.iLatitude = point.iLatitude.iValue;
  p.iLongitude = point.iLongitude.iValue;
  if (a.iAltitude == KInvalidInt || b.iAltitude == KInvalidInt)
    p.iAltitude = KInvalidInt;
  else if (aFraction != 1.0)
    p.iAltitude = RoundCoordinate(Lerp(a.iAltitude, b.iAltitude, aFraction));
  const double speed = SpeedBetween(a, b, aFraction);
  p.iSpeed = IsInvalidReal(speed) ? KInvalidInt : RoundCoordinate(speed);
  p.iDistance = RoundCoordinate(DistanceBetween(a, b, aFraction));
  const double bearing = BearingBetween(a, b, aFraction);
  if (IsInvalidReal(bearing)) {
    p.iBearing = TPositionPlot::KInvalidWord;
  } else {
    const double v = std::trunc(bearing * 100.0 + 0.5);
    p.iBearing = static_cast<uint16_t>(v >= 36000.0 ? 0.0 : v);
  }
  p.iFlags = static_cast<uint8_t>(b.iFlags & ~TPositionPlot::KDiscontinuityFlag);
  return p;
}

void CPositionPlotList::CursorForward(double aMetres) {
  const int32_t n = iPlots.Count();
  if (iCursor >= n - 1) {
    iCursor = 0;
    return;
  }
  if (iCursor < 0) iCursor = 0;
  const int64_t target = static_cast<int64_t>(iPlots.At(iCursor).iDistance) +
                         RadiansToArcUnits(TDistance::FromMetres(aMetres).iValue);
  int32_t next = iCursor + 1;
  while (next + 1 < n && iPlots.At(next + 1).iDistance <= target) ++next;
  iCursor = next;
}

void CPositionPlotList::CursorBack(double aMetres) {
  const int32_t n = iPlots.Count();
  if (iCursor <= 0) {
    iCursor = n > 0 ? n - 1 : 0;
    return;
  }
  if (iCursor >= n) iCursor = n - 1;
  const int64_t target = static_cast<int64_t>(iPlots.At(iCursor).iDistance) -
                         RadiansToArcUnits(TDistance::FromMetres(aMetres).iValue);
  for (int32_t k = iCursor - 1; k >= 0; --k) {
    if (iPlots.At(k).iDistance < target) {
      iCursor = k + 1 < iCursor - 1 ? k + 1 : iCursor - 1;
      return;
    }
  }
  iCursor = 0;
}

void CPositionPlotList::CursorStep(int32_t aCount, bool aForward) {
  const int32_t n = iPlots.Count();
  const int64_t next = static_cast<int64_t>(iCursor) + (aForward ? aCount : -static_cast<int64_t>(aCount));
  if (next > n - 1)
    iCursor = aForward ? 0 : (n > 0 ? n - 1 : 0);
  else if (next < 0)
    iCursor = n > 0 ? n - 1 : 0;
  else
    iCursor = static_cast<int32_t>(next);
}

void CPositionPlotList::Reset() {
  iPlots.Reset();
  iRunningDistance = TDistance(0.0);
  iPrevious = TPosition::Invalid();
  iMinimumSpeed = KInvalidInt;
  iCursor = 0;
  iGnss.Reset();
  iJudgedAhead = false;
  ResetTimeLine();
}

int64_t CPositionPlotList::MemoryBytes() const {
  const int32_t segments = iPlots.SegmentCount();
  // Full segments are indexed by a vector that grows 32 pointers at a time.
  const int64_t index = ((segments + 31) / 32) * 32 * static_cast<int64_t>(sizeof(void*));
  return static_cast<int64_t>(segments) * KSegmentSize * static_cast<int64_t>(sizeof(TPositionPlot)) +
         index;
}
