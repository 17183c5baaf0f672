// One stored GPS sample. The field order and widths are those of the samples file, so the
// record is copied to and from it field by field; integer arc units are radians of arc times
// KArcUnitsPerRadian, the same unit as a TCoordinate.
#pragma once

#include <cmath>
#include <cstdint>

#include "acquisition/geodesy.h"

struct TPositionPlot {
  static constexpr uint16_t KInvalidWord = 0xFFFF;
  static constexpr uint8_t KSatellitesMask = 0x3F;
  static constexpr uint8_t KDifferentialFlag = 0x40;
  static constexpr uint8_t KDiscontinuityFlag = 0x80;

  int32_t iTime = 0;                      // session time, ms
  int32_t iLatitude = KInvalidInt;        // TCoordinate
  int32_t iLongitude = KInvalidInt;       // TCoordinate
  int32_t iAltitude = KInvalidInt;        // TDistance in arc units
  int32_t iSpeed = KInvalidInt;           // TSpeed x 1000 in arc units
  int32_t iDistance = 0;                  // distance since the start of the list, arc units
  uint16_t iBearing = KInvalidWord;       // degrees x 100
  uint16_t iHdop = KInvalidWord;          // HDOP x 100
  uint16_t iVdop = KInvalidWord;          // VDOP x 100
  uint8_t iFlags = 0;                     // satellites, differential, discontinuity

  TGeoPoint GeoPoint() const { return TGeoPoint(TCoordinate(iLatitude), TCoordinate(iLongitude)); }
  TPosition Position() const { return TPosition(GeoPoint()); }
  TDistance Altitude() const {
    return iAltitude == KInvalidInt ? TDistance::Invalid() : TDistance(iAltitude / KArcUnitsPerRadian);
  }
  TSpeed Speed() const {
    return iSpeed == KInvalidInt ? TSpeed::Invalid() : TSpeed(iSpeed / KArcUnitsPerRadian / 1000.0);
  }
  TDistance Distance() const { return TDistance(iDistance / KArcUnitsPerRadian); }
  // Degrees, or the invalid double.
  double BearingDegrees() const { return iBearing == KInvalidWord ? InvalidReal() : iBearing / 100.0; }
  double Hdop() const { return iHdop == KInvalidWord ? InvalidReal() : iHdop / 100.0; }
  double Vdop() const { return iVdop == KInvalidWord ? InvalidReal() : iVdop / 100.0; }
  // sqrt(HDOP^2 + VDOP^2), invalid when either is.
  double Precision3D() const {
    if (iHdop == KInvalidWord || iVdop == KInvalidWord) return InvalidReal();
    const double h = Hdop(), v = Vdop();
    return std::sqrt(h * h + v * v);
  }
  int32_t Satellites() const { return iFlags & KSatellitesMask; }
  bool IsDifferential() const { return (iFlags & KDifferentialFlag) != 0; }
  bool IsDiscontinuity() const { return (iFlags & KDiscontinuityFlag) != 0; }

  // Encoders for the stored forms: arc units rounded as trunc(x + 0.5), invalid for NaN or
  // values beyond 32 bits.
  static int32_t EncodeDistance(TDistance aValue) { return RadiansToArcUnits(aValue.iValue); }
  static int32_t EncodeSpeed(TSpeed aValue) { return RadiansToArcUnits(aValue.iValue * 1000.0); }
  // x * 100 rounded; invalid (0xFFFF) for NaN and for values outside 0..65534.
  static uint16_t EncodeHundredths(double aValue) {
    const double v = std::trunc(aValue * 100.0 + 0.5);
    if (!(v >= 0.0 && v < 65535.0)) return KInvalidWord;
    return static_cast<uint16_t>(v);
  }
  static uint8_t EncodeFlags(int32_t aSatellites, bool aDifferential, bool aDiscontinuity) {
    uint8_t f = static_cast<uint8_t>((aSatellites < 0 ? 0 : (aSatellites > 63 ? 63 : aSatellites)));
    if (aDifferential) f |= KDifferentialFlag;
    if (aDiscontinuity) f |= KDiscontinuityFlag;
    return f;
  }
};
