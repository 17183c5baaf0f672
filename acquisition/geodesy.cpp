#include "acquisition/geodesy.h"

namespace {

// A double to int32 by truncation; anything outside the range (or NaN) is invalid, so hostile
// input can never reach the undefined float-to-int conversion.
int32_t TruncToInt(double aValue) {
  if (!(aValue > -2147483648.0 && aValue < 2147483647.0)) return KInvalidInt;
  return static_cast<int32_t>(aValue);
}

}  // namespace

int32_t RadiansToArcUnits(double aRadians) { return TruncToInt(aRadians * KArcUnitsPerRadian + 0.5); }

double FlooredRemainder(double aValue, double aDivisor) {
  if (aDivisor == 0.0) return 0.0;
  double r = std::fmod(aValue, aDivisor);
  if (r != 0.0 && ((r < 0.0) != (aDivisor < 0.0))) r += aDivisor;
  return r;
}

double SafeAsin(double aValue) {
  if (aValue > 1.0) aValue = 1.0;
  if (aValue < -1.0) aValue = -1.0;
  return std::asin(aValue);
}

double SafeAcos(double aValue) {
  if (aValue > 1.0) aValue = 1.0;
  if (aValue < -1.0) aValue = -1.0;
  return std::acos(aValue);
}

double SafeAtan2(double aY, double aX) {
  if (aY == 0.0 && aX == 0.0) return 0.0;
  return std::atan2(aY, aX);
}

double SafeDivide(double aNumerator, double aDivisor) {
  return aDivisor == 0.0 ? 0.0 : aNumerator / aDivisor;
}

// --- TCoordinate ---------------------------------------------------------------------------

TCoordinate TCoordinate::FromNmea(double aDdmm) {
  if (IsInvalidReal(aDdmm)) return TCoordinate();
  const double a = std::fabs(aDdmm);
  const double units = std::trunc(std::fmod(a, 100.0) * 100000.0 + 0.5) + std::trunc(a / 100.0) * 6000000.0;
  const int32_t v = TruncToInt(units);
  if (v == KInvalidInt) return TCoordinate();
  return TCoordinate(aDdmm < 0 ? -v : v);
}

double TCoordinate::ToNmea() const {
  if (!IsValid()) return InvalidReal();
  const int64_t m = iValue < 0 ? -static_cast<int64_t>(iValue) : iValue;
  const double v = static_cast<double>(m % 6000000) / 100000.0 + static_cast<double>(m / 6000000) * 100.0;
  return iValue < 0 ? -v : v;
}

double TCoordinate::ToRadians() const {
  if (!IsValid()) return InvalidReal();
  return iValue / KArcUnitsPerRadian;
}

TCoordinate TCoordinate::FromRadians(double aRadians) { return TCoordinate(RadiansToArcUnits(aRadians)); }

double TCoordinate::ToDegrees() const {
  if (!IsValid()) return InvalidReal();
  return iValue / 6000000.0;
}

TCoordinate TCoordinate::FromDegrees(double aDegrees) {
  // Rounded to the nearest unit in both hemispheres (decimal degrees from files and tests).
  const double units = std::round(aDegrees * 6000000.0);
  const int32_t v = TruncToInt(units);
  return TCoordinate(v);
}

// --- TAngle --------------------------------------------------------------------------------

double TAngle::CompassDegrees() const {
  double r = iValue;
  if (r < 0.0) r += KTwoPi;
  return TAngle(r).Degrees();
}

TAngle TAngle::Normalised() const {
  double r = FlooredRemainder(iValue, KTwoPi);
  if (r > KPi) r -= KTwoPi;
  return TAngle(r);
}

// --- TPosition -----------------------------------------------------------------------------

TDistance TPosition::Distance(const TPosition& aOther) const {
  if (*this == aOther) return TDistance(0.0);
  const double s1 = std::sin((aOther.iLatitude - iLatitude) / 2.0);
  const double s2 = std::sin((aOther.iLongitude - iLongitude) / 2.0);
  double e = std::cos(aOther.iLatitude) * std::cos(iLatitude) * s2 * s2 + s1 * s1;
  if (e > 1.0) e = 1.0;
  return TDistance(2.0 * SafeAtan2(std::sqrt(e), std::sqrt(1.0 - e)));
}

TDistance TPosition::NorthComponent(const TPosition& aOther) const {
  if (*this == aOther) return TDistance(0.0);
  const double s1 = std::sin((aOther.iLatitude - iLatitude) / 2.0);
  const double d = 2.0 * SafeAtan2(std::fabs(s1), std::sqrt(1.0 - s1 * s1));
  return TDistance(aOther.iLatitude < iLatitude ? d : -d);
}

TDistance TPosition::EastComponent(const TPosition& aOther) const {
  if (*this == aOther) return TDistance(0.0);
  const double s2 = std::sin((aOther.iLongitude - iLongitude) / 2.0);
  double e = std::cos(aOther.iLatitude) * std::cos(iLatitude) * s2 * s2;
  if (e > 1.0) e = 1.0;
  if (e < 0.0) e = 0.0;
  const double d = 2.0 * SafeAtan2(std::sqrt(e), std::sqrt(1.0 - e));
  return TDistance(aOther.iLongitude < iLongitude ? d : -d);
}

TAngle TPosition::Bearing(const TPosition& aOther) const {
  if (*this == aOther) return TAngle(0.0);
  const double dlon = aOther.iLongitude - iLongitude;
  const double y = std::sin(dlon) * std::cos(aOther.iLatitude);
  const double x = std::cos(iLatitude) * std::sin(aOther.iLatitude) -
                   std::sin(iLatitude) * std::cos(aOther.iLatitude) * std::cos(dlon);
  return TAngle(SafeAtan2(y, x));
}

TPosition TPosition::Destination(TAngle aBearing, TDistance aDistance) const {
  const double d = aDistance.iValue;
  const double t = aBearing.iValue;
  const double lat = SafeAsin(std::sin(iLatitude) * std::cos(d) + std::cos(iLatitude) * std::sin(d) * std::cos(t));
  const double lon = iLongitude + SafeAtan2(std::sin(t) * std::sin(d) * std::cos(iLatitude),
                                            std::cos(d) - std::sin(iLatitude) * std::sin(lat));
  return TPosition(lat, lon);
}
