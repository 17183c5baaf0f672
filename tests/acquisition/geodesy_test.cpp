#include "acquisition/geodesy.h"

#include <gtest/gtest.h>

#include <cstring>

#include "acquisition/position_plot.h"

namespace {

TEST(GeodesyTest, InvalidDoubleHasTheAgreedBitPattern) {
  const double d = InvalidReal();
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  EXPECT_EQ(bits, 0x7FFFFFFFFFFFFFFFull);
  EXPECT_TRUE(IsInvalidReal(d));
  EXPECT_FALSE(TDistance::Invalid().IsValid());
  EXPECT_FALSE(TCoordinate().IsValid());
}

TEST(GeodesyTest, CoordinatesFromAndToNmea) {
  EXPECT_EQ(TCoordinate::FromNmea(4807.038).iValue, 288703800);
  EXPECT_EQ(TCoordinate::FromNmea(-4807.038).iValue, -288703800);
  EXPECT_EQ(TCoordinate::FromNmea(12118.8515).iValue, 121 * 6000000 + 1885150);
  EXPECT_EQ(TCoordinate::FromNmea(0.000004).iValue, 0);  // rounds to 1/100,000 minute
  EXPECT_EQ(TCoordinate::FromNmea(0.000005).iValue, 1);
  EXPECT_DOUBLE_EQ(TCoordinate(288703800).ToNmea(), 4807.038);
  EXPECT_DOUBLE_EQ(TCoordinate(-288703800).ToNmea(), -4807.038);
  // Values that cannot be held are invalid rather than wrapped.
  EXPECT_FALSE(TCoordinate::FromNmea(1e12).IsValid());
  EXPECT_FALSE(TCoordinate::FromNmea(InvalidReal()).IsValid());
  EXPECT_TRUE(std::isnan(TCoordinate().ToNmea()));
  // Radians: 6,000,000 units a degree.
  EXPECT_NEAR(TCoordinate(6000000).ToRadians(), KPi / 180, 1e-15);
  EXPECT_EQ(TCoordinate::FromRadians(KPi / 180).iValue, 6000000);
  EXPECT_EQ(TCoordinate::FromDegrees(-33.5).iValue, -201000000);
  EXPECT_FALSE(TCoordinate::FromRadians(InvalidReal()).IsValid());
}

TEST(GeodesyTest, UnitConversions) {
  EXPECT_DOUBLE_EQ(TSpeed::FromKnots(1).Kmh(), 1.852);
  EXPECT_NEAR(TSpeed::FromKmh(100).MetresPerSecond(), 27.777777777777, 1e-9);
  EXPECT_NEAR(TSpeed::FromMph(60).Kmh(), 96.56064, 1e-9);
  EXPECT_NEAR(TSpeed::FromKmh(1.852).Knots(), 1.0, 1e-12);
  EXPECT_NEAR(TAcceleration::FromG(1).iValue * EarthRadius, 9.80665, 1e-12);
  EXPECT_NEAR(TAcceleration::FromG(0.5).G(), 0.5, 1e-15);
  EXPECT_DOUBLE_EQ(TDistance::FromMetres(EarthRadius).iValue, 1.0);
  EXPECT_NEAR(TAngle::FromDegrees(-90).CompassDegrees(), 270, 1e-12);
  EXPECT_NEAR(TAngle(3 * KPi).Normalised().iValue, KPi, 1e-12);
  EXPECT_NEAR(TAngle(-KPi / 2).Normalised().iValue, -KPi / 2, 1e-12);
  EXPECT_NEAR(TAngle(1.5 * KPi).Normalised().iValue, -KPi / 2, 1e-12);
}

TEST(GeodesyTest, NumericConventions) {
  EXPECT_DOUBLE_EQ(FlooredRemainder(-1, 360), 359);
  EXPECT_DOUBLE_EQ(FlooredRemainder(725, 360), 5);
  EXPECT_DOUBLE_EQ(FlooredRemainder(1, -4), -3);
  EXPECT_DOUBLE_EQ(FlooredRemainder(3, 0), 0);
  EXPECT_DOUBLE_EQ(SafeAsin(1.0000001), KPi / 2);
  EXPECT_DOUBLE_EQ(SafeAcos(-2), KPi);
  EXPECT_EQ(SafeAtan2(0, 0), 0);
  EXPECT_EQ(SafeDivide(1, 0), 0);
}

TEST(GeodesyTest, GreatCircleOperations) {
  // One minute of latitude along a meridian.
  const TPosition a(TGeoPoint(TCoordinate::FromDegrees(48), TCoordinate::FromDegrees(11)));
  const TPosition north(TGeoPoint(TCoordinate::FromDegrees(48 + 1.0 / 60), TCoordinate::FromDegrees(11)));
  EXPECT_NEAR(a.Distance(north).Metres(), 1853.25, 0.01);
  EXPECT_NEAR(a.Bearing(north).Degrees(), 0, 1e-9);
  EXPECT_NEAR(north.Bearing(a).Degrees(), 180, 1e-9);
  // Signs: positive when the second lies south, and when it lies west.
  EXPECT_LT(a.NorthComponent(north).iValue, 0);
  EXPECT_GT(north.NorthComponent(a).iValue, 0);
  const TPosition east(TGeoPoint(TCoordinate::FromDegrees(48), TCoordinate::FromDegrees(11.01)));
  EXPECT_LT(a.EastComponent(east).iValue, 0);
  EXPECT_GT(east.EastComponent(a).iValue, 0);
  EXPECT_NEAR(a.EastComponent(east).Metres(), -a.Distance(east).Metres(), 0.01);
  EXPECT_NEAR(a.Bearing(east).Degrees(), 90, 0.01);
  // Equal positions give zero everywhere.
  EXPECT_EQ(a.Distance(a).iValue, 0);
  EXPECT_EQ(a.NorthComponent(a).iValue, 0);
  EXPECT_EQ(a.EastComponent(a).iValue, 0);
  EXPECT_EQ(a.Bearing(a).iValue, 0);
  // Destination inverts distance and bearing.
  const TPosition far(TGeoPoint(TCoordinate::FromDegrees(-33.9), TCoordinate::FromDegrees(151.2)));
  const TPosition back = a.Destination(a.Bearing(far), a.Distance(far));
  EXPECT_NEAR(back.iLatitude, far.iLatitude, 1e-9);
  EXPECT_NEAR(back.iLongitude, far.iLongitude, 1e-9);
  EXPECT_NEAR(a.Distance(far).Metres(), 16300e3, 100e3);
}

TEST(PositionPlotTest, StoredForms) {
  TPositionPlot p;
  EXPECT_FALSE(p.GeoPoint().IsValid());
  EXPECT_FALSE(p.Speed().IsValid());
  EXPECT_TRUE(std::isnan(p.Precision3D()));
  p.iHdop = TPositionPlot::EncodeHundredths(0.9);
  p.iVdop = TPositionPlot::EncodeHundredths(1.2);
  EXPECT_NEAR(p.Precision3D(), 1.5, 1e-12);
  EXPECT_EQ(TPositionPlot::EncodeHundredths(359.996), 36000);
  EXPECT_EQ(TPositionPlot::EncodeHundredths(InvalidReal()), 0xFFFF);
  EXPECT_EQ(TPositionPlot::EncodeHundredths(1000.0), 0xFFFF);
  p.iFlags = TPositionPlot::EncodeFlags(70, true, true);
  EXPECT_EQ(p.Satellites(), 63);
  EXPECT_TRUE(p.IsDifferential());
  EXPECT_TRUE(p.IsDiscontinuity());
  p.iSpeed = TPositionPlot::EncodeSpeed(TSpeed::FromKmh(100));
  EXPECT_NEAR(p.Speed().Kmh(), 100, 0.001);
  EXPECT_EQ(TPositionPlot::EncodeDistance(TDistance::Invalid()), KInvalidInt);
}

}  // namespace
