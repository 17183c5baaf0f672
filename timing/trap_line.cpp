#include "timing/trap_line.h"

#include <cmath>

#include "storage/position_plot_list.h"
#include "strings/pw_strings.h"

namespace {

constexpr double KHalfPi = KPi / 2.0;
// Tolerances of the exact test, in radians of arc (about 6 mm) and of the sine product.
constexpr double KOnSegmentSlack = 1e-9;
constexpr double KParallelLimit = 1e-11;
// Standing start: speeds in m/s below which the vehicle counts as standing.
constexpr double KStandingSpeed = 0.04;
constexpr double KRollingSpeed = 0.25;

double NormalisedLongitude(double aLongitude) {
  double r = FlooredRemainder(aLongitude, KTwoPi);
  if (r > KPi) r -= KTwoPi;
  return r;
}

TPosition Normalised(TPosition aPosition) {
  if (!aPosition.IsValid()) return aPosition;
  return TPosition(aPosition.iLatitude, NormalisedLongitude(aPosition.iLongitude));
}

bool HasCoordinates(const TPositionPlot& aPlot) {
  return aPlot.iLatitude != KInvalidInt && aPlot.iLongitude != KInvalidInt;
}

// Milliseconds from aFrom to aTo, false when the difference does not fit 32 bits.
bool TimeDifference(const TPositionPlot& aFrom, const TPositionPlot& aTo, int32_t& aDelta) {
  const int64_t d = static_cast<int64_t>(aTo.iTime) - aFrom.iTime;
  if (d < INT32_MIN || d > INT32_MAX) return false;
  aDelta = static_cast<int32_t>(d);
  return true;
}

}  // namespace

// --- CTrapLine -----------------------------------------------------------------------------

CTrapLine* CTrapLine::NewL() { return new CTrapLine; }

void CTrapLine::Reset() {
  iCentre = TGeoPoint();
  iUnidirectional = 0;
  iName.Copy(CPwStringC());
  iType = ETrapDisabled;
  iBearing = TAngle::Invalid();
  iWidth = TDistance::Invalid();
  Derive();
}

void CTrapLine::CopyFrom(const CTrapLine& aOther) {
  if (&aOther == this) return;
  iName.Copy(aOther.iName);  // first: the only step that can leave
  iCentre = aOther.iCentre;
  iEndPoint1 = aOther.iEndPoint1;
  iEndPoint2 = aOther.iEndPoint2;
  iEndGeo1 = aOther.iEndGeo1;
  iEndGeo2 = aOther.iEndGeo2;
  iUnidirectional = aOther.iUnidirectional;
  iType = aOther.iType;
  iBearing = aOther.iBearing;
  iWidth = aOther.iWidth;
  iBoxNorth = aOther.iBoxNorth;
  iBoxSouth = aOther.iBoxSouth;
  iBoxEast = aOther.iBoxEast;
  iBoxWest = aOther.iBoxWest;
  iUsable = aOther.iUsable;
  iLineBearing = aOther.iLineBearing;
  iLineLength = aOther.iLineLength;
  iOriginLat = aOther.iOriginLat;
  iOriginLon = aOther.iOriginLon;
  iCosLat = aOther.iCosLat;
  iDirLat = aOther.iDirLat;
  iDirLon = aOther.iDirLon;
  iSideMargin = aOther.iSideMargin;
}

void CTrapLine::Set(int32_t aType, CPwStringC aName, TCoordinate aLatitude, TCoordinate aLongitude,
                    TAngle aBearing, TDistance aWidth, int32_t aUnidirectional) {
  iName.Copy(aName);
  iType = aType;
  iCentre = TGeoPoint(aLatitude, aLongitude);
  iBearing = aBearing;
  iWidth = aWidth;
  iUnidirectional = aUnidirectional != 0 ? 1 : 0;
  Derive();
}

bool CTrapLine::Equals(const CTrapLine& aOther) const {
  // Bit-equal reals: an invalid bearing or width equals another invalid one.
  const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
  return iCentre == aOther.iCentre && iUnidirectional == aOther.iUnidirectional &&
         iType == aOther.iType && same(iBearing.iValue, aOther.iBearing.iValue) &&
         same(iWidth.iValue, aOther.iWidth.iValue) && iName.Equals(aOther.iName);
}

void CTrapLine::TypeName(int32_t aType, CPwString& aText) {
  uint16_t id = R_TRAP_TYPE_DISABLED;
  switch (aType) {
    case ETrapStart: id = R_TRAP_TYPE_START; break;
    case ETrapFinish: id = R_TRAP_TYPE_FINISH; break;
    case ETrapStartFinish: id = R_TRAP_TYPE_START_FINISH; break;
    case ETrapSplit: id = R_TRAP_TYPE_SPLIT; break;
    case ETrapStandingStart: id = R_TRAP_TYPE_STANDING_START; break;
    default: break;
  }
  aText.LoadFromResource(id);
}

void CTrapLine::Derive() {
  iUsable = false;
  iBoxNorth = INT32_MIN;
  iBoxSouth = INT32_MAX;
  iBoxEast = INT32_MIN;
  iBoxWest = INT32_MAX;
  iLineBearing = iLineLength = 0.0;
  iOriginLat = iOriginLon = iCosLat = iDirLat = iDirLon = iSideMargin = 0.0;

  const TPosition centre = iCentre.IsValid() ? TPosition(iCentre) : TPosition::Invalid();
  const TDistance half(iWidth.iValue / 2.0);
  if (iType == ETrapStandingStart) {
    iEndPoint1 = Normalised(centre.Destination(TAngle::FromDegrees(270.0), half)
                                .Destination(TAngle(0.0), half));
    iEndPoint2 = Normalised(centre.Destination(TAngle::FromDegrees(90.0), half)
                                .Destination(TAngle::FromDegrees(180.0), half));
  } else {
    iEndPoint1 = Normalised(centre.Destination(TAngle(iBearing.iValue + KHalfPi), half));
    iEndPoint2 = Normalised(centre.Destination(TAngle(iBearing.iValue - KHalfPi), half));
  }
  iEndGeo1 = iEndPoint1.IsValid() ? iEndPoint1.ToGeoPoint() : TGeoPoint();
  iEndGeo2 = iEndPoint2.IsValid() ? iEndPoint2.ToGeoPoint() : TGeoPoint();

  // A trap triggers only with a real extent; a line also needs its direction.
  if (!iEndGeo1.IsValid() || !iEndGeo2.IsValid() || !(iWidth.iValue > 0.0)) return;
  if (iType != ETrapStandingStart && !iBearing.IsValid()) return;
  const int32_t lat1 = iEndGeo1.iLatitude.iValue, lat2 = iEndGeo2.iLatitude.iValue;
  const int32_t lon1 = iEndGeo1.iLongitude.iValue, lon2 = iEndGeo2.iLongitude.iValue;
  iBoxNorth = lat1 > lat2 ? lat1 : lat2;
  iBoxSouth = lat1 > lat2 ? lat2 : lat1;
  iBoxEast = lon1 > lon2 ? lon1 : lon2;
  iBoxWest = lon1 > lon2 ? lon2 : lon1;
  iUsable = true;
  if (iType == ETrapStandingStart) return;

  iLineBearing = iEndPoint1.Bearing(iEndPoint2).iValue;
  iLineLength = iEndPoint1.Distance(iEndPoint2).iValue;

  // The side test works in a local plane of arc units with the longitude scaled to the
  // centre's latitude. Over the length of a trap the plane departs from the sphere by far
  // less than the margin, which also grows with the square of the length and towards the
  // poles, so it only ever rejects pairs that the exact test would reject too.
  iOriginLat = iEndPoint1.iLatitude * KArcUnitsPerRadian;
  iOriginLon = iEndPoint1.iLongitude * KArcUnitsPerRadian;
  iCosLat = std::cos(centre.iLatitude);
  const double dLat = (iEndPoint2.iLatitude - iEndPoint1.iLatitude) * KArcUnitsPerRadian;
  const double dLon = NormalisedLongitude(iEndPoint2.iLongitude - iEndPoint1.iLongitude) *
                      KArcUnitsPerRadian * iCosLat;
  const double length = std::sqrt(dLat * dLat + dLon * dLon);
  if (length > 0.0) {
    iDirLat = dLat / length;
    iDirLon = dLon / length;
    const double tanLat = std::fabs(std::tan(centre.iLatitude));
    iSideMargin = 16.0 + 8.0 * length * length * (1.0 + tanLat) / KArcUnitsPerRadian;
  } else {
    iSideMargin = INFINITY;  // no direction to test against: leave it to the exact test
  }
}

int32_t CTrapLine::LineFraction(const TPositionPlot& aA, const TPositionPlot& aB, double& aFraction) const {
  if (iType < ETrapStart || iType > ETrapSplit || !iUsable) return 0;
  if (aA.iLatitude == aB.iLatitude && aA.iLongitude == aB.iLongitude) return 0;  // no movement
  if (OutsideBox(aA, aB)) return 0;
  if (!HasCoordinates(aA) || !HasCoordinates(aB)) return 0;

  // Cheap rejection: both samples clearly on the same side of the line.
  const double sideA = iDirLon * (aA.iLatitude - iOriginLat) - iDirLat * (aA.iLongitude - iOriginLon) * iCosLat;
  const double sideB = iDirLon * (aB.iLatitude - iOriginLat) - iDirLat * (aB.iLongitude - iOriginLon) * iCosLat;
  if ((sideA > iSideMargin && sideB > iSideMargin) || (sideA < -iSideMargin && sideB < -iSideMargin))
    return 0;

  const TPosition a = aA.Position();
  const TPosition b = aB.Position();
  const double theta23 = a.Bearing(b).iValue;
  if (iUnidirectional) {
    const double diff = TAngle(theta23 - iBearing.iValue).Normalised().iValue;
    if (!(diff > -KHalfPi && diff < KHalfPi)) return 0;
  }

  // Intersection of the great circle along the line (from end point 1) with the one along
  // the movement (from A).
  const TPosition& p1 = iEndPoint1;
  const double delta12 = p1.Distance(a).iValue;
  const double theta12 = p1.Bearing(a).iValue;
  const double theta21 = a.Bearing(p1).iValue;
  const double theta13 = iLineBearing;
  double alpha1 = FlooredRemainder(theta13 - theta12 + KPi, KTwoPi) - KPi;
  double alpha2 = FlooredRemainder(theta21 - theta23 + KPi, KTwoPi) - KPi;
  const double sin1 = std::sin(alpha1), sin2 = std::sin(alpha2);
  if (!(sin1 * sin2 > KParallelLimit)) return 0;  // parallel, or crossing behind a start point
  alpha1 = std::fabs(alpha1);
  alpha2 = std::fabs(alpha2);
  const double cos1 = std::cos(alpha1), cos2 = std::cos(alpha2);
  const double alpha3 = SafeAcos(-cos1 * cos2 + std::fabs(sin1) * std::fabs(sin2) * std::cos(delta12));
  const double delta13 = SafeAtan2(std::sin(delta12) * std::fabs(sin1) * std::fabs(sin2), cos2 + cos1 * std::cos(alpha3));
  const TPosition x = Normalised(p1.Destination(TAngle(theta13), TDistance(delta13)));

  // The intersection must lie on both segments.
  if (!(p1.Distance(x).iValue + x.Distance(iEndPoint2).iValue <= iLineLength + KOnSegmentSlack)) return 0;
  const double ax = a.Distance(x).iValue;
  const double xb = x.Distance(b).iValue;
  if (!(ax + xb <= a.Distance(b).iValue + KOnSegmentSlack)) return 0;
  aFraction = SafeDivide(ax, ax + xb);
  return 1;
}

int32_t CTrapLine::CrossingTest(int32_t aIndex, const CPositionPlotList& aList, TPositionPlot& aSample,
                                int32_t& aInterval) const {
  if (aIndex < 1 || aIndex >= aList.Count()) return 0;
  const TPositionPlot* beforePrevious = aIndex >= 2 ? &aList.At(aIndex - 2) : nullptr;
  return CrossingTest(aIndex, aList, beforePrevious, aList.At(aIndex - 1), aList.At(aIndex), aSample, aInterval);
}

int32_t CTrapLine::CrossingTest(int32_t aIndex, const CPositionPlotList& aList, const TPositionPlot* aBeforePrevious,
                                const TPositionPlot& aPrevious, const TPositionPlot& aCurrent,
                                TPositionPlot& aSample, int32_t& aInterval) const {
  if (iType == ETrapStandingStart) {
    if (!aBeforePrevious) return 0;
    return StandingStartTest(aIndex, aList, *aBeforePrevious, aPrevious, aCurrent, aSample, aInterval);
  }
  double fraction = 0.0;
  if (!LineFraction(aPrevious, aCurrent, fraction)) return 0;
  int32_t interval = 0;
  if (!TimeDifference(aPrevious, aCurrent, interval)) return 0;
  if (aIndex < 1 || aIndex >= aList.Count()) return 0;
  // Between the two samples given, which need not be neighbours in the list: a glitch
  // between them is stepped over.
  TPositionPlot sample = CPositionPlotList::InterpolateBetween(aPrevious, aCurrent, fraction);
  // The crossing keeps the trace-segment mark of the sample that detected it, so that a
  // crossing bridging a gap in the recording can be told apart.
  sample.iFlags = aCurrent.iFlags;
  aSample = sample;
  aInterval = interval;
  return 1;
}

int32_t CTrapLine::StandingStartTest(int32_t aIndex, const CPositionPlotList& aList, const TPositionPlot& aS0,
                                     const TPositionPlot& aS1, const TPositionPlot& aS2,
                                     TPositionPlot& aSample, int32_t& aInterval) const {
  if (!iUsable || aIndex < 2) return 0;
  if (OutsideBox(aS0, aS1)) return 0;
  const double u = aS0.Speed().MetresPerSecond();
  const double s = aS1.Speed().MetresPerSecond();
  const double v = aS2.Speed().MetresPerSecond();
  if (!((u > KStandingSpeed && s <= KRollingSpeed && v > KRollingSpeed) ||
        (u <= KStandingSpeed && s > KStandingSpeed)))
    return 0;
  int32_t before = 0, after = 0;
  if (!TimeDifference(aS0, aS1, before) || !TimeDifference(aS1, aS2, after)) return 0;
  // The start is extrapolated back from S1 with the acceleration seen after it; without a
  // usable acceleration it is placed at S0. A zero time step gives no acceleration.
  const double accelBefore = SafeDivide(s, before / 1000.0);
  const double accelAfter = SafeDivide(v - s, after / 1000.0);
  const double fraction = (accelBefore > 0.0 && accelBefore < accelAfter) ? 1.0 - accelBefore / accelAfter : 0.0;
  if (aIndex - 1 >= aList.Count()) return 0;
  TPositionPlot sample = CPositionPlotList::InterpolateBetween(aS0, aS1, fraction);
  if (!sample.GeoPoint().IsValid()) return 0;
  if (!(TPosition(iCentre).Distance(sample.Position()).iValue <= iWidth.iValue)) return 0;
  sample.iFlags = aS1.iFlags;
  aSample = sample;
  aInterval = before;
  return 1;
}

// --- CTrapLineList -------------------------------------------------------------------------

CTrapLineList::~CTrapLineList() { Reset(); }

void CTrapLineList::Reset() {
  for (CTrapLine* trap : iTraps) delete trap;
  iTraps.Reset();
  iCurrent = 0;
}

void CTrapLineList::Add(const CTrapLine& aTrap) {
  CTrapLine* copy = CTrapLine::NewL();
  const int32_t code = Trap([&] {
    copy->CopyFrom(aTrap);
    iTraps.Append(copy);
  });
  if (code != KErrNone) {
    delete copy;
    Leave(code);
  }
  iCurrent = iTraps.Count() - 1;
}

int32_t CTrapLineList::RemoveCurrent() {
  if (static_cast<uint32_t>(iCurrent) >= static_cast<uint32_t>(iTraps.Count())) return 0;
  delete iTraps.At(iCurrent);
  iTraps.Remove(iCurrent);
  if (iCurrent >= iTraps.Count() && iTraps.Count() > 0) iCurrent = iTraps.Count() - 1;
  return 1;
}

CTrapLine* CTrapLineList::Current(int32_t& aIndex) const {
  CTrapLine* trap = At(iCurrent);
  if (trap) aIndex = iCurrent;
  return trap;
}

void CTrapLineList::Next() {
  const int32_t n = iTraps.Count();
  if (n == 0) return;
  iCurrent = (iCurrent < 0 || iCurrent >= n - 1) ? 0 : iCurrent + 1;
}

void CTrapLineList::Previous() {
  const int32_t n = iTraps.Count();
  if (n == 0) return;
  iCurrent = (iCurrent <= 0 || iCurrent >= n) ? n - 1 : iCurrent - 1;
}

int32_t CTrapLineList::ReplaceCurrent(const CTrapLine& aTrap) {
  CTrapLine* trap = At(iCurrent);
  if (!trap || trap->Equals(aTrap)) return 0;
  trap->CopyFrom(aTrap);
  return 1;
}

int32_t CTrapLineList::HasStart() const {
  for (const CTrapLine* trap : iTraps)
    if (CTrapLine::IsStartType(trap->Type())) return 1;
  return 0;
}

int32_t CTrapLineList::HasFinish() const {
  for (const CTrapLine* trap : iTraps)
    if (CTrapLine::IsFinishType(trap->Type())) return 1;
  return 0;
}
