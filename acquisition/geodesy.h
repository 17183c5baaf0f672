// Geodesic value types shared by every subsystem: coordinates, positions, angles, distances,
// speeds and accelerations, all measured on a sphere of EarthRadius metres. Distances and
// speeds are kept as radians of great-circle arc (per second), so converting to metres is one
// multiplication and no code needs to know which unit a caller displays.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

constexpr double EarthRadius = 6371000.0;
constexpr double KPi = 3.14159265358979323846;
constexpr double KTwoPi = 2.0 * KPi;

// The invalid value of every 32-bit integer quantity.
constexpr int32_t KInvalidInt = 2147483647;

// The invalid double: the NaN whose bits are all ones except the sign bit.
inline double InvalidReal() {
  const uint64_t bits = 0x7FFFFFFFFFFFFFFFull;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
inline bool IsInvalidReal(double aValue) { return std::isnan(aValue); }
inline bool IsValidReal(double aValue) { return !std::isnan(aValue); }

// Integer arc units per radian: 6,000,000 units per degree (1/100,000 minute of arc).
constexpr double KArcUnitsPerRadian = 343774677.0785;

// Radians to integer arc units, rounded as trunc(r * units + 0.5); invalid (NaN or out of
// range) gives KInvalidInt.
int32_t RadiansToArcUnits(double aRadians);

// Numeric conventions shared by the geodesic and timing computations.
// Floored remainder: the result has the sign of the divisor (0 for a zero divisor).
double FlooredRemainder(double aValue, double aDivisor);
// asin/acos with the argument clamped to [-1, 1].
double SafeAsin(double aValue);
double SafeAcos(double aValue);
// atan2 that yields 0 for (0, 0).
double SafeAtan2(double aY, double aX);
// aNumerator / aDivisor, or 0 when the divisor is 0.
double SafeDivide(double aNumerator, double aDivisor);

// A latitude or longitude in 1/100,000 minute of arc; KInvalidInt when unknown.
struct TCoordinate {
  int32_t iValue = KInvalidInt;

  constexpr TCoordinate() = default;
  constexpr explicit TCoordinate(int32_t aValue) : iValue(aValue) {}

  bool IsValid() const { return iValue != KInvalidInt; }
  // From an NMEA ddmm.mmmm value (negative for south or west).
  static TCoordinate FromNmea(double aDdmm);
  // Back to ddmm.mmmm (invalid gives the invalid double).
  double ToNmea() const;
  double ToRadians() const;
  static TCoordinate FromRadians(double aRadians);
  double ToDegrees() const;
  static TCoordinate FromDegrees(double aDegrees);

  friend bool operator==(TCoordinate a, TCoordinate b) { return a.iValue == b.iValue; }
};

// An angle in radians.
struct TAngle {
  double iValue = 0.0;

  constexpr TAngle() = default;
  constexpr explicit TAngle(double aRadians) : iValue(aRadians) {}

  static TAngle Invalid() { return TAngle(InvalidReal()); }
  bool IsValid() const { return IsValidReal(iValue); }
  static TAngle FromDegrees(double aDegrees) { return TAngle(aDegrees * KPi / 180.0); }
  double Degrees() const { return iValue / 0.017453292519943295; }
  // Degrees in [0, 360): a negative angle has 2*pi added first.
  double CompassDegrees() const;
  // Remainder by 2*pi, then 2*pi subtracted when above pi: the result lies in (-pi, pi].
  TAngle Normalised() const;
};

// A great-circle distance in radians of arc.
struct TDistance {
  double iValue = 0.0;

  constexpr TDistance() = default;
  constexpr explicit TDistance(double aRadians) : iValue(aRadians) {}

  static TDistance Invalid() { return TDistance(InvalidReal()); }
  bool IsValid() const { return IsValidReal(iValue); }
  static TDistance FromMetres(double aMetres) { return TDistance(aMetres / EarthRadius); }
  double Metres() const { return iValue * EarthRadius; }
};

// A speed in radians of arc per second.
struct TSpeed {
  double iValue = 0.0;

  constexpr TSpeed() = default;
  constexpr explicit TSpeed(double aRadiansPerSecond) : iValue(aRadiansPerSecond) {}

  static TSpeed Invalid() { return TSpeed(InvalidReal()); }
  bool IsValid() const { return IsValidReal(iValue); }
  static TSpeed FromMetresPerSecond(double aValue) { return TSpeed(aValue / EarthRadius); }
  static TSpeed FromKnots(double aKnots) { return TSpeed(aKnots * 1.852 / 3.6 / EarthRadius); }
  static TSpeed FromKmh(double aKmh) { return TSpeed(aKmh / 3.6 / EarthRadius); }
  static TSpeed FromMph(double aMph) { return TSpeed(aMph * 1.609344 / 3.6 / EarthRadius); }
  double MetresPerSecond() const { return iValue * EarthRadius; }
  double Kmh() const { return MetresPerSecond() * 3.6; }
  double Mph() const { return Kmh() / 1.609344; }
  double Knots() const { return Kmh() / 1.852; }
};

// An acceleration in (m/s^2) / EarthRadius.
struct TAcceleration {
  double iValue = 0.0;

  constexpr TAcceleration() = default;
  constexpr explicit TAcceleration(double aValue) : iValue(aValue) {}

  static TAcceleration Invalid() { return TAcceleration(InvalidReal()); }
  bool IsValid() const { return IsValidReal(iValue); }
  static TAcceleration FromG(double aG) { return TAcceleration(aG * 9.80665 / EarthRadius); }
  double G() const { return iValue * EarthRadius / 9.80665; }
};

// A position as two coordinates, north and east positive.
struct TGeoPoint {
  TCoordinate iLatitude;
  TCoordinate iLongitude;

  constexpr TGeoPoint() = default;
  constexpr TGeoPoint(TCoordinate aLatitude, TCoordinate aLongitude)
      : iLatitude(aLatitude), iLongitude(aLongitude) {}

  bool IsValid() const { return iLatitude.IsValid() && iLongitude.IsValid(); }
  friend bool operator==(TGeoPoint a, TGeoPoint b) {
    return a.iLatitude == b.iLatitude && a.iLongitude == b.iLongitude;
  }
};

// What a receiver or a log can truly report: a latitude within 90 degrees, a longitude within
// 180 degrees and a ground speed of 0 to 150 m/s. Anything else is a damaged value; parsers
// refuse it where they read it, so it never reaches a session.
constexpr int32_t KMaxLatitudeUnits = 90 * 6000000;
constexpr int32_t KMaxLongitudeUnits = 180 * 6000000;
constexpr double KMaxPlausibleSpeed = 150.0;  // m/s

inline bool IsPlausiblePoint(TGeoPoint aPoint) {
  const int64_t lat = aPoint.iLatitude.iValue;
  const int64_t lon = aPoint.iLongitude.iValue;
  return aPoint.IsValid() && lat >= -KMaxLatitudeUnits && lat <= KMaxLatitudeUnits && lon >= -KMaxLongitudeUnits &&
         lon <= KMaxLongitudeUnits;
}
// A known speed within 0 to 150 m/s.
inline bool IsPlausibleSpeed(TSpeed aSpeed) {
  const double ms = aSpeed.MetresPerSecond();
  return ms >= 0.0 && ms <= KMaxPlausibleSpeed;  // false for the invalid value too
}

// A position in radians, the form the geodesic operations work on.
struct TPosition {
  double iLatitude = 0.0;
  double iLongitude = 0.0;

  constexpr TPosition() = default;
  constexpr TPosition(double aLatitude, double aLongitude)
      : iLatitude(aLatitude), iLongitude(aLongitude) {}
  explicit TPosition(TGeoPoint aPoint)
      : iLatitude(aPoint.iLatitude.ToRadians()), iLongitude(aPoint.iLongitude.ToRadians()) {}

  static TPosition Invalid() { return TPosition(InvalidReal(), InvalidReal()); }
  bool IsValid() const { return IsValidReal(iLatitude) && IsValidReal(iLongitude); }
  TGeoPoint ToGeoPoint() const {
    return TGeoPoint(TCoordinate::FromRadians(iLatitude), TCoordinate::FromRadians(iLongitude));
  }
  friend bool operator==(TPosition a, TPosition b) {
    return a.iLatitude == b.iLatitude && a.iLongitude == b.iLongitude;
  }

  // Operations from this position (A) to aOther (B); each is 0 for equal positions.
  // Haversine great-circle distance.
  TDistance Distance(const TPosition& aOther) const;
  // North-south part of the distance: positive when B lies south of A.
  TDistance NorthComponent(const TPosition& aOther) const;
  // East-west part of the distance: positive when B lies west of A (B.lon < A.lon).
  TDistance EastComponent(const TPosition& aOther) const;
  // Initial great-circle bearing from A to B, in (-pi, pi].
  TAngle Bearing(const TPosition& aOther) const;
  // The point reached from A along aBearing over aDistance.
  TPosition Destination(TAngle aBearing, TDistance aDistance) const;
};
