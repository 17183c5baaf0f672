#include "app/map/map_drawer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/draw/pw_font.h"
#include "storage/position_plot_list.h"
#include "timing/lap.h"
#include "timing/trap_line.h"

namespace {

constexpr int64_t KMinimumZoom = static_cast<int64_t>(CMapDrawer::KMinimumViewMetres * KMapUnitsPerMetre);
constexpr int64_t KMaximumZoom = static_cast<int64_t>(CMapDrawer::KMaximumViewMetres * KMapUnitsPerMetre);
constexpr int64_t KClipMargin = static_cast<int64_t>(CMapDrawer::KClipMarginMetres * KMapUnitsPerMetre);
// One step of the speed colour scale: 100 km/h.
constexpr double KSpeedStep = 27.78;
// Segments are cut to the view widened by this much before they are rasterised.
constexpr int32_t KDrawMargin = 16;

enum TOutcome : int32_t { ENeutral = 0, EBetter = 1, EWorse = 2 };

int32_t Bits(int64_t aValue) {
  int32_t bits = 0;
  while (aValue > 0) {
    ++bits;
    aValue >>= 1;
  }
  return bits;
}

TPwColour Rgb(double aRed, double aGreen, double aBlue) {
  auto channel = [](double aValue) {
    const int32_t v = static_cast<int32_t>(aValue);
    return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  };
  return (channel(aRed) << 16) | (channel(aGreen) << 8) | channel(aBlue);
}

// Ground length of a longitude unit against a latitude unit at a latitude in coordinate
// units; kept away from zero so that polar data still give a finite box.
double GroundAspect(int64_t aLatitude) {
  const double k = std::cos(static_cast<double>(aLatitude) / 6000000.0 * KPi / 180.0);
  return std::max(0.01, std::fabs(k));
}

// Liang-Barsky against a rectangle; false when nothing of the segment is left.
bool ClipSegment(double& aX0, double& aY0, double& aX1, double& aY1, const TPwRect& aRect) {
  const double dx = aX1 - aX0, dy = aY1 - aY0;
  double t0 = 0.0, t1 = 1.0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {aX0 - aRect.iLeft, aRect.iRight - aX0, aY0 - aRect.iTop, aRect.iBottom - aY0};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0.0) {
      if (q[k] < 0.0) return false;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0.0) {
      if (t > t1) return false;
      t0 = std::max(t0, t);
    } else {
      if (t < t0) return false;
      t1 = std::min(t1, t);
    }
  }
  const double x0 = aX0, y0 = aY0;
  aX1 = x0 + t1 * dx;
  aY1 = y0 + t1 * dy;
  aX0 = x0 + t0 * dx;
  aY0 = y0 + t0 * dy;
  return true;
}

void DrawClippedLine(CPwBitmap& aBitmap, int64_t aX0, int64_t aY0, int64_t aX1, int64_t aY1) {
  const TPwRect area = aBitmap.ClipRect().Shrunk(-KDrawMargin);
  double x0 = static_cast<double>(aX0), y0 = static_cast<double>(aY0);
  double x1 = static_cast<double>(aX1), y1 = static_cast<double>(aY1);
  if (!ClipSegment(x0, y0, x1, y1, area)) return;
  aBitmap.DrawLine(static_cast<int32_t>(std::lround(x0)), static_cast<int32_t>(std::lround(y0)),
                   static_cast<int32_t>(std::lround(x1)), static_cast<int32_t>(std::lround(y1)));
}

int32_t ToInt(int64_t aValue) {
  return static_cast<int32_t>(std::clamp<int64_t>(aValue, -(int64_t(1) << 28), int64_t(1) << 28));
}

double MetresPerSecond(int32_t aStoredSpeed) {
  return aStoredSpeed == KInvalidInt ? InvalidReal() : aStoredSpeed / KArcUnitsPerRadian / 1000.0 * EarthRadius;
}

int32_t TimeOutcome(PwTime aValue, PwTime aComparison) {
  if (!aValue.IsSet() || !aComparison.IsSet()) return ENeutral;
  const int64_t d = static_cast<int64_t>(aValue.Milliseconds()) - aComparison.Milliseconds();
  return d < 0 ? EBetter : (d > 0 ? EWorse : ENeutral);
}

// "<time>" or "*", rounded to the decimals.
void AppendTime(CPwString& aText, PwTime aTime, int32_t aDecimals) {
  if (!aTime.IsSet()) {
    aText.Append(u"*");
    return;
  }
  CPwString part;
  aTime.FormatDuration(part, aDecimals, false, true);
  aText.Append(part);
}

// "+1.2" / "-0.3" or "*" for a difference that cannot be made.
void AppendDifference(CPwString& aText, PwTime aValue, PwTime aComparison, int32_t aDecimals) {
  if (!aValue.IsSet() || !aComparison.IsSet()) {
    aText.Append(u"*");
    return;
  }
  const int64_t d = static_cast<int64_t>(aValue.Milliseconds()) - aComparison.Milliseconds();
  CPwString part;
  TimeFromWide(d).FormatDuration(part, aDecimals, true, true);
  aText.Append(part);
}

}  // namespace

// --- Colours -------------------------------------------------------------------------------

double TMapColourLimits::LimitOfChoice(int32_t aChoice) {
  static constexpr double KLimits[8] = {0.5, 1.0, 2.0, 4.0, 6.0, 8.0, 10.0, 15.0};
  return KLimits[std::clamp(aChoice, 0, 7)];
}

TPwColour CMapDrawer::ResultBoxColour(int32_t aOutcome, bool aSelected) {
  switch (aOutcome) {
    case EBetter:
      return aSelected ? 0x00B000 : 0x69007400;
    case EWorse:
      return aSelected ? 0xC00000 : 0x69800000;
    default:
      return aSelected ? 0x606060 : 0x69606060;
  }
}

TPwColour CMapDrawer::TrapBoxColour(int32_t aType, bool aSelected) {
  if (aType == ETrapSplit) return aSelected ? 0x0000C0 : 0x7F0000FF;
  if (aType == ETrapDisabled) return aSelected ? 0x606060 : 0x7F606060;
  return aSelected ? 0xC00000 : 0x7FFF0000;
}

TPwColour CMapDrawer::SatelliteColour(int32_t aSatellites) {
  if (aSatellites < 4) return 0xFF0000;
  if (aSatellites < 6) return 0xFF8000;
  if (aSatellites < 8) return 0xFFFF00;
  return 0x00FF00;
}

TPwColour CMapDrawer::SpeedColour(double aMetresPerSecond) {
  const double c = std::max(0.0, aMetresPerSecond / KSpeedStep);
  if (c <= 1.0) return Rgb(255.0, 255.0 * c, 0.0);
  if (c <= 2.0) return Rgb(255.0 * (2.0 - c), 255.0, 0.0);
  if (c <= 3.0) return Rgb(0.0, 255.0, 255.0 * (c - 2.0));
  return 0x00FFFF;
}

TPwColour CMapDrawer::AccelerationColour(double aAcceleration, const TMapColourLimits& aLimits) {
  if (aAcceleration < 0.0) {
    const double c = aLimits.iBraking > 0.0 ? -aAcceleration / aLimits.iBraking : 2.0;
    if (c > 1.0) return 0xFF0000;
    return Rgb(96.0 + 160.0 * c, 96.0 * (1.0 - c), 96.0 * (1.0 - c));
  }
  const double c = aLimits.iAcceleration > 0.0 ? aAcceleration / aLimits.iAcceleration : 2.0;
  if (c > 1.0) return 0x00FF00;
  return Rgb(96.0 * (1.0 - c), 96.0 + 160.0 * c, 96.0 * (1.0 - c));
}

TPwColour CMapDrawer::SegmentColour(const TPositionPlot& aSample, const TPositionPlot* aBefore, TPwColour aColour,
                                    TMapColouring aMode, const TMapColourLimits& aLimits) {
  switch (aMode) {
    case EMapColourSpeed: {
      const double v = MetresPerSecond(aSample.iSpeed);
      return IsValidReal(v) ? SpeedColour(v) : aColour;
    }
    case EMapColourSatellites:
      return SatelliteColour(aSample.IsDiscontinuity() ? 0 : aSample.Satellites());
    case EMapColourAcceleration: {
      if (!aBefore) return aColour;
      const double va = MetresPerSecond(aBefore->iSpeed), vb = MetresPerSecond(aSample.iSpeed);
      const double dt = (static_cast<double>(aSample.iTime) - aBefore->iTime) / 1000.0;
      if (IsInvalidReal(va) || IsInvalidReal(vb) || dt <= 0.0) return aColour;
      return AccelerationColour((vb - va) / dt, aLimits);
    }
    default:
      return aColour;
  }
}

// --- Data and viewport ---------------------------------------------------------------------

CMapDrawer::~CMapDrawer() = default;

void CMapDrawer::Clear() {
  iMinLatitude = iMinLongitude = 1;
  iMaxLatitude = iMaxLongitude = 0;
  iBoundsList = nullptr;
  iHasCentre = false;
  iVisible = TGeoPoint();
  Invalidate();
}

void CMapDrawer::AddPoint(TGeoPoint aPoint) {
  if (!aPoint.IsValid()) return;
  const int64_t lat = aPoint.iLatitude.iValue, lon = aPoint.iLongitude.iValue;
  if (!HasData()) {
    iMinLatitude = iMaxLatitude = lat;
    iMinLongitude = iMaxLongitude = lon;
  } else {
    iMinLatitude = std::min(iMinLatitude, lat);
    iMaxLatitude = std::max(iMaxLatitude, lat);
    iMinLongitude = std::min(iMinLongitude, lon);
    iMaxLongitude = std::max(iMaxLongitude, lon);
  }
  Invalidate();
}

void CMapDrawer::AddRoute(const CPositionPlotList& aList, int32_t aFirst, int32_t aLast) {
  const int32_t first = std::max(0, aFirst);
  const int32_t last = std::min(aLast, aList.Count() - 1);
  if (last < first) return;
  // The bounds of the list so far are kept, so a growing recording is read once.
  if (iBoundsList != &aList || iBoundsFirst != first || iBoundsNext > last + 1) {
    iBoundsList = &aList;
    iBoundsFirst = first;
    iBoundsNext = first;
    iRouteBounds[0] = iRouteBounds[2] = 1;
    iRouteBounds[1] = iRouteBounds[3] = 0;
  }
  int64_t* b = iRouteBounds;
  for (int32_t i = iBoundsNext; i <= last; ++i) {
    const TPositionPlot& p = aList.At(i);
    if (p.iLatitude == KInvalidInt || p.iLongitude == KInvalidInt) continue;
    if (b[0] > b[1]) {
      b[0] = b[1] = p.iLatitude;
      b[2] = b[3] = p.iLongitude;
      continue;
    }
    b[0] = std::min<int64_t>(b[0], p.iLatitude);
    b[1] = std::max<int64_t>(b[1], p.iLatitude);
    b[2] = std::min<int64_t>(b[2], p.iLongitude);
    b[3] = std::max<int64_t>(b[3], p.iLongitude);
  }
  iBoundsNext = last + 1;
  if (b[0] > b[1]) return;
  AddPoint(TGeoPoint(TCoordinate(static_cast<int32_t>(b[0])), TCoordinate(static_cast<int32_t>(b[2]))));
  AddPoint(TGeoPoint(TCoordinate(static_cast<int32_t>(b[1])), TCoordinate(static_cast<int32_t>(b[3]))));
}

void CMapDrawer::AddTraps(const CTrapLineList& aTraps) {
  for (int32_t i = 0; i < aTraps.Count(); ++i) {
    const CTrapLine* trap = aTraps.At(i);
    AddPoint(trap->EndPoint1Geo());
    AddPoint(trap->EndPoint2Geo());
  }
}

void CMapDrawer::SetViewRect(const TPwRect& aRect) {
  if (aRect == iViewRect) return;
  iViewRect = aRect;
  Invalidate();
}

void CMapDrawer::SetCentre(TGeoPoint aCentre) {
  if (!aCentre.IsValid()) return;
  iCentre = aCentre;
  iHasCentre = true;
  Invalidate();
}

void CMapDrawer::ClearCentre() {
  iHasCentre = false;
  Invalidate();
}

void CMapDrawer::SetViewSize(double aMetres) {
  const double metres = IsValidReal(aMetres) ? aMetres : 0.0;
  if (metres == iViewMetres) return;
  iViewMetres = metres;
  Invalidate();
}

void CMapDrawer::SetScale(double aScale) {
  const double scale = IsValidReal(aScale) && aScale > 0.0 ? aScale : 1.0;
  if (scale == iScale) return;
  iScale = scale;
  Invalidate();
}

void CMapDrawer::SetVisiblePoint(TGeoPoint aPoint) {
  iVisible = aPoint;
  Invalidate();
}

bool CMapDrawer::Fit() {
  if (iFitted) return iHasView;
  iFitted = true;
  iHasView = false;
  if (!HasData() || iViewRect.IsEmpty()) return false;

  // A degenerate bound is widened by one unit.
  const int64_t minLat = iMinLatitude, minLon = iMinLongitude;
  const int64_t maxLat = std::max(iMaxLatitude, minLat + 1), maxLon = std::max(iMaxLongitude, minLon + 1);
  const int64_t dataLat = maxLat - minLat, dataLon = maxLon - minLon;

  // Aspects: a longitude unit's ground length against a latitude unit's, and the screen's.
  const int32_t pw = std::max(1, iViewRect.iRight - iViewRect.iLeft - 1);
  const int32_t ph = std::max(1, iViewRect.iBottom - iViewRect.iTop - 1);
  const double dataAspect = GroundAspect((minLat + maxLat) / 2);
  const double screenAspect = static_cast<double>(pw) / ph;

  // Without a zoom or a centre: the whole data, 10% larger, times the map scale.
  int64_t cLat = iCentre.iLatitude.iValue, cLon = iCentre.iLongitude.iValue;
  double zoom;
  if (!iHasCentre || iViewMetres <= 0.0) {
    cLat = minLat + dataLat / 2;
    cLon = minLon + dataLon / 2;
    int64_t fit = std::max<int64_t>(dataLat, static_cast<int64_t>(dataLon * dataAspect / screenAspect));
    fit = fit / 10 * 11;
    zoom = static_cast<double>(fit) * iScale;
  } else {
    zoom = iViewMetres * KMapUnitsPerMetre;
  }
  // The zoom stays between 3 m and 2000 km.
  const int64_t latExt = std::clamp<int64_t>(static_cast<int64_t>(zoom), KMinimumZoom, KMaximumZoom);
  // The box around the centre, as wide as the screen's aspect allows.
  const int64_t lonExt = std::max<int64_t>(1, static_cast<int64_t>(latExt * screenAspect / dataAspect));
  int64_t boxLat = cLat - latExt / 2, boxLon = cLon - lonExt / 2;

  // A point that must stay in view keeps 1/8 of the extent from every edge.
  if (iVisible.IsValid()) {
    const int64_t pLat = iVisible.iLatitude.iValue, pLon = iVisible.iLongitude.iValue;
    const int64_t mLat = latExt / 8, mLon = lonExt / 8;
    if (pLat < boxLat + mLat) boxLat = pLat - mLat;
    if (pLat > boxLat + latExt - mLat) boxLat = pLat + mLat - latExt;
    if (pLon < boxLon + mLon) boxLon = pLon - mLon;
    if (pLon > boxLon + lonExt - mLon) boxLon = pLon + mLon - lonExt;
  }
  // At most 3/5 of the view beyond the data on any side.
  const int64_t overLat = latExt * 3 / 5, overLon = lonExt * 3 / 5;
  if (boxLat + latExt > maxLat + overLat) boxLat = maxLat + overLat - latExt;
  if (boxLat < minLat - overLat) boxLat = minLat - overLat;
  if (boxLon + lonExt > maxLon + overLon) boxLon = maxLon + overLon - lonExt;
  if (boxLon < minLon - overLon) boxLon = minLon - overLon;

  // The centre follows the moves, so the next fit starts where this one ended.
  iCentre = TGeoPoint(TCoordinate(static_cast<int32_t>(std::clamp<int64_t>(boxLat + latExt / 2, -540000000, 540000000))),
                      TCoordinate(static_cast<int32_t>(std::clamp<int64_t>(boxLon + lonExt / 2, -1080000000, 1080000000))));

  TMapProjection& p = iProjection;
  p.iMinLatitude = boxLat;
  p.iMinLongitude = boxLon;
  p.iLatitudeExtent = latExt;
  p.iLongitudeExtent = lonExt;
  p.iLeft = iViewRect.iLeft;
  p.iBottom = iViewRect.iBottom;
  p.iPixelWidth = pw;
  p.iPixelHeight = ph;
  const int64_t clipLon = static_cast<int64_t>(KClipMargin / dataAspect);
  p.iClipMinLatitude = boxLat - KClipMargin;
  p.iClipMaxLatitude = boxLat + latExt + KClipMargin;
  p.iClipMinLongitude = boxLon - clipLon;
  p.iClipMaxLongitude = boxLon + lonExt + clipLon;
  // Differences shifted so the clip box's extents fit in 13 bits.
  const int64_t largest = std::max(latExt + 2 * KClipMargin, lonExt + 2 * clipLon);
  p.iShift = std::max(0, Bits(largest) - 13);
  iHasView = true;
  return true;
}

double CMapDrawer::ViewSizeMetres() {
  if (!Fit()) return 0.0;
  return static_cast<double>(iProjection.iLatitudeExtent) / KMapUnitsPerMetre;
}

bool CMapDrawer::ToPixel(TGeoPoint aPoint, TPwPoint& aPixel) {
  if (!aPoint.IsValid() || !Fit()) return false;
  aPixel.iX = ToInt(iProjection.X(aPoint.iLongitude.iValue));
  aPixel.iY = ToInt(iProjection.Y(aPoint.iLatitude.iValue));
  return true;
}

TGeoPoint CMapDrawer::FromPixel(int32_t aX, int32_t aY) {
  if (!Fit()) return TGeoPoint();
  const TMapProjection& p = iProjection;
  // The smallest shifted difference the forward formula takes to this pixel, so that a pixel
  // goes back to itself.
  const int64_t lonUnits = std::max<int64_t>(1, p.iLongitudeExtent >> p.iShift);
  const int64_t latUnits = std::max<int64_t>(1, p.iLatitudeExtent >> p.iShift);
  auto smallest = [](int64_t aPixels, int64_t aUnits, int64_t aSize) {
    const double m = std::ceil(static_cast<double>(aPixels) * aUnits / aSize);
    return static_cast<int64_t>(m);
  };
  const int64_t lon = p.iMinLongitude + smallest(aX - p.iLeft, lonUnits, p.iPixelWidth) * (int64_t(1) << p.iShift);
  const int64_t lat = p.iMinLatitude + smallest(p.iBottom - 1 - aY, latUnits, p.iPixelHeight) * (int64_t(1) << p.iShift);
  return TGeoPoint(TCoordinate(static_cast<int32_t>(std::clamp<int64_t>(lat, -540000000, 540000000))),
                   TCoordinate(static_cast<int32_t>(std::clamp<int64_t>(lon, -1080000000, 1080000000))));
}

void CMapDrawer::Drag(int32_t aDx, int32_t aDy) {
  if (!Fit()) return;
  const TMapProjection& p = iProjection;
  const int64_t dLon = static_cast<int64_t>(aDx) * p.iLongitudeExtent / p.iPixelWidth;
  const int64_t dLat = static_cast<int64_t>(aDy) * p.iLatitudeExtent / p.iPixelHeight;
  const double metres = ViewSizeMetres();
  TGeoPoint centre = iCentre;
  centre.iLatitude.iValue = static_cast<int32_t>(std::clamp<int64_t>(centre.iLatitude.iValue + dLat, -540000000, 540000000));
  centre.iLongitude.iValue =
      static_cast<int32_t>(std::clamp<int64_t>(centre.iLongitude.iValue - dLon, -1080000000, 1080000000));
  // A fitted map keeps its size once it has been moved by hand.
  if (iViewMetres <= 0.0) iViewMetres = metres;
  // The dragged view no longer follows a point.
  iVisible = TGeoPoint();
  SetCentre(centre);
}

// --- Drawing -------------------------------------------------------------------------------

void CMapDrawer::ScaleText(double aMetres, CPwString& aText) {
  aText.Reset();
  const double d = IsValidReal(aMetres) ? aMetres : 0.0;
  if (d >= 9500.0) {
    aText.AppendReal(d / 1000.0, 0);
    aText.Append(u" km");
  } else if (d >= 950.0) {
    aText.AppendReal(d / 1000.0, 1);
    aText.Append(u" km");
  } else if (d >= 9.5) {
    aText.AppendReal(d, 0);
    aText.Append(u" m");
  } else {
    aText.AppendReal(d, 1);
    aText.Append(u" m");
  }
}

void CMapDrawer::DrawScaleLabel(CPwBitmap& aBitmap, CPwFont& aFont) {
  if (!Fit()) return;
  CPwString text;
  ScaleText(ViewSizeMetres(), text);
  aBitmap.DrawTextAt(text, aFont, iViewRect.iLeft + 2, iViewRect.iTop + 2, KScaleText);
}

void CMapDrawer::StepRoute(CPwBitmap& aBitmap, const TMapProjection& aProjection, const TPositionPlot& aSample,
                           TPwColour aColour, int32_t aLineWidth, TMapRoutePen& aPen) {
  if (aSample.iLatitude == KInvalidInt || aSample.iLongitude == KInvalidInt) {
    aPen.iPendingDash = aPen.iPendingDash || aSample.IsDiscontinuity();
    return;
  }
  const int64_t lat = aSample.iLatitude, lon = aSample.iLongitude;
  const bool in = aProjection.InClip(lat, lon);
  if (!aPen.iHasPrevious || (!in && !aPen.iPreviousInClip)) {
    // Nothing drawn: this sample starts the next segment.
    if (aPen.iHasPrevious) aPen.iPendingDash = aPen.iPendingDash || aSample.IsDiscontinuity();
    aPen.iHasPrevious = true;
    aPen.iPreviousInClip = in;
    aPen.iProjected = false;
    aPen.iPreviousLatitude = lat;
    aPen.iPreviousLongitude = lon;
    return;
  }
  if (!aPen.iProjected) {
    aPen.iPreviousX = aProjection.X(aPen.iPreviousLongitude);
    aPen.iPreviousY = aProjection.Y(aPen.iPreviousLatitude);
    aPen.iProjected = true;
  }
  const int64_t x = aProjection.X(lon), y = aProjection.Y(lat);
  const bool dashed = aPen.iPendingDash || aSample.IsDiscontinuity();
  if (std::llabs(x - aPen.iPreviousX) <= 2 && std::llabs(y - aPen.iPreviousY) <= 2) {
    // A short hop is merged into the next segment.
    aPen.iPendingDash = dashed;
    return;
  }
  aBitmap.SetPen(aColour, aLineWidth, dashed ? EPenDashed : EPenSolid);
  if (dashed) aBitmap.ResetPenPattern();
  DrawClippedLine(aBitmap, aPen.iPreviousX, aPen.iPreviousY, x, y);
  aPen.iPendingDash = false;
  aPen.iPreviousInClip = in;
  aPen.iPreviousLatitude = lat;
  aPen.iPreviousLongitude = lon;
  aPen.iPreviousX = x;
  aPen.iPreviousY = y;
}

void CMapDrawer::WalkRoute(CPwBitmap& aBitmap, const TMapProjection& aProjection, const CPositionPlotList& aList,
                           int32_t aLast, TPwColour aColour, TMapColouring aMode, int32_t aLineWidth,
                           const TMapColourLimits& aLimits, TMapRoutePen& aPen) {
  const int32_t last = std::min(aLast, aList.Count() - 1);
  if (aPen.iNext < 0) aPen.iNext = 0;
  const TPositionPlot* before = aPen.iNext > 0 && aPen.iNext <= last ? &aList.At(aPen.iNext - 1) : nullptr;
  for (int32_t i = aPen.iNext; i <= last; ++i) {
    const TPositionPlot& p = aList.At(i);
    const TPwColour colour = aMode == EMapColourPlain ? aColour : SegmentColour(p, before, aColour, aMode, aLimits);
    StepRoute(aBitmap, aProjection, p, colour, aLineWidth, aPen);
    before = &p;
  }
  if (last + 1 > aPen.iNext) aPen.iNext = last + 1;
}

void CMapDrawer::DrawRoute(CPwBitmap& aBitmap, const CPositionPlotList& aList, int32_t aFirst, int32_t aLast,
                           TPwColour aColour, TMapColouring aMode, int32_t aLineWidth,
                           const TMapColourLimits& aLimits) {
  if (!Fit() || aList.Count() == 0) return;
  TMapRoutePen pen;
  pen.iNext = std::max(0, aFirst);
  WalkRoute(aBitmap, iProjection, aList, aLast, aColour, aMode, aLineWidth, aLimits, pen);
}

void CMapDrawer::DrawSector(CPwBitmap& aBitmap, const CPositionPlotList& aList, const TPositionPlot& aFrom,
                            int32_t aFirst, int32_t aLast, const TPositionPlot* aTo, TPwColour aColour,
                            TMapColouring aMode, int32_t aWidth, const TMapColourLimits& aLimits) {
  TMapRoutePen pen;
  StepRoute(aBitmap, iProjection, aFrom, aColour, aWidth, pen);
  const TPositionPlot* before = &aFrom;
  const int32_t last = std::min(aLast, aList.Count() - 1);
  for (int32_t i = std::max(0, aFirst); i <= last; ++i) {
    const TPositionPlot& p = aList.At(i);
    StepRoute(aBitmap, iProjection, p, SegmentColour(p, before, aColour, aMode, aLimits), aWidth, pen);
    before = &p;
  }
  // The crossing ends the sector (a hop of two pixels or less is merged into the next one).
  if (aTo) StepRoute(aBitmap, iProjection, *aTo, SegmentColour(*aTo, before, aColour, aMode, aLimits), aWidth, pen);
}

void CMapDrawer::RotatedArrowhead(int32_t aX, int32_t aY, double aRadians, TPwPoint aPoints[4]) {
  static constexpr int32_t KShape[4][2] = {{0, 7}, {5, -7}, {0, -2}, {-5, -7}};
  const double c = std::cos(aRadians), s = std::sin(aRadians);
  for (int k = 0; k < 4; ++k) {
    const double x = KShape[k][0], y = KShape[k][1];
    aPoints[k].iX = aX + static_cast<int32_t>(std::lround(x * c - y * s));
    aPoints[k].iY = aY + static_cast<int32_t>(std::lround(x * s + y * c));
  }
}

void CMapDrawer::RotatedTrapArrow(int32_t aX, int32_t aY, double aRadians, TPwPoint aPoints[5]) {
  // Stem bottom, stem top (the tip), left and right ends of the head.
  static constexpr int32_t KShape[5][2] = {{0, 15}, {0, -15}, {-5, -10}, {5, -10}, {0, -15}};
  const double c = std::cos(aRadians), s = std::sin(aRadians);
  for (int k = 0; k < 5; ++k) {
    const double x = KShape[k][0], y = KShape[k][1];
    aPoints[k].iX = aX + static_cast<int32_t>(std::lround(x * c - y * s));
    aPoints[k].iY = aY + static_cast<int32_t>(std::lround(x * s + y * c));
  }
}

void CMapDrawer::DrawTrap(CPwBitmap& aBitmap, const CTrapLine& aTrap, bool aSelected, bool aDetails, CPwFont* aFont,
                          bool aDirection) {
  if (!Fit()) return;
  const TGeoPoint e1 = aTrap.EndPoint1Geo(), e2 = aTrap.EndPoint2Geo();
  if (!iProjection.InClip(e1) && !iProjection.InClip(e2)) return;
  const TPwColour colour = aSelected ? KTrapSelected : KTrapNormal;
  TPwPoint a, b;
  (void)ToPixel(e1, a);
  (void)ToPixel(e2, b);
  if (aTrap.Type() == ETrapStandingStart) {
    const TPwRect area{std::min(a.iX, b.iX), std::min(a.iY, b.iY), std::max(a.iX, b.iX) + 1, std::max(a.iY, b.iY) + 1};
    aBitmap.SetPen(colour, 2, EPenSolid);
    aBitmap.SetFillColour(KPwNoColour);
    aBitmap.DrawRect(area);
  } else {
    aBitmap.SetPen(colour, 2, EPenSolid);
    DrawClippedLine(aBitmap, a.iX, a.iY, b.iX, b.iY);
    if (aDetails) {
      const int32_t size = aSelected ? 7 : 5;
      aBitmap.DrawMarker(EMarkerSquare, a.iX, a.iY, size, colour);
      aBitmap.DrawMarker(EMarkerSquare, b.iX, b.iY, size, colour);
    }
  }
  TPwPoint centre;
  if (!ToPixel(aTrap.Centre(), centre)) return;
  if (aDirection && aTrap.Bearing().IsValid()) {
    TPwPoint arrow[5];
    RotatedTrapArrow(centre.iX, centre.iY, aTrap.Bearing().iValue, arrow);
    aBitmap.SetPen(colour, 2, EPenSolid);
    aBitmap.DrawLine(arrow[0].iX, arrow[0].iY, arrow[1].iX, arrow[1].iY);
    aBitmap.DrawLine(arrow[2].iX, arrow[2].iY, arrow[4].iX, arrow[4].iY);
    aBitmap.DrawLine(arrow[3].iX, arrow[3].iY, arrow[4].iX, arrow[4].iY);
  }
  if (aFont && aTrap.Name().Length() > 0) {
    // The name box sits above the centre, inside the view.
    const int32_t w = aFont->TextWidth(aTrap.Name()) + 4, h = aFont->Height() + 4;
    TPwRect box{centre.iX - w / 2, centre.iY - 6 - h, centre.iX - w / 2 + w, centre.iY - 6};
    if (box.iRight > iViewRect.iRight) box = box.Moved(iViewRect.iRight - box.iRight, 0);
    if (box.iLeft < iViewRect.iLeft) box = box.Moved(iViewRect.iLeft - box.iLeft, 0);
    if (box.iBottom > iViewRect.iBottom) box = box.Moved(0, iViewRect.iBottom - box.iBottom);
    if (box.iTop < iViewRect.iTop) box = box.Moved(0, iViewRect.iTop - box.iTop);
    aBitmap.FillRect(box, TrapBoxColour(aTrap.Type(), aSelected));
    aBitmap.DrawTextAt(aTrap.Name(), *aFont, box.iLeft + 2, box.iTop + 2,
                       aSelected ? KLabelTextSelected : KLabelTextNormal);
  }
}

void CMapDrawer::DrawTraps(CPwBitmap& aBitmap, const CTrapLineList& aTraps, int32_t aSelected, bool aDetails,
                           CPwFont* aFont) {
  for (int32_t i = 0; i < aTraps.Count(); ++i)
    if (i != aSelected) DrawTrap(aBitmap, *aTraps.At(i), false, aDetails, aFont);
  if (const CTrapLine* selected = aTraps.At(aSelected)) DrawTrap(aBitmap, *selected, true, aDetails, aFont);
}

void CMapDrawer::DrawMarker(CPwBitmap& aBitmap, TGeoPoint aPoint, bool aSelected, TAngle aBearing) {
  TPwPoint at;
  if (!ToPixel(aPoint, at)) return;
  if (!iProjection.InClip(aPoint)) return;
  const TPwColour colour = aSelected ? KMarkerSelected : KMarkerNormal;
  if (aBearing.IsValid()) {
    TPwPoint shape[4];
    RotatedArrowhead(at.iX, at.iY, aBearing.iValue + KPi, shape);
    aBitmap.SetPen(colour, 1, EPenSolid);
    aBitmap.SetFillColour(colour);
    aBitmap.DrawPolygon(shape, 4);
    aBitmap.SetFillColour(KPwNoColour);
    return;
  }
  aBitmap.DrawMarker(EMarkerCircle, at.iX, at.iY, 9, colour);
}

void CMapDrawer::DrawCursor(CPwBitmap& aBitmap, const TPositionPlot& aSample) {
  const double bearing = aSample.BearingDegrees();
  // Without a bearing there is no direction to show: a round marker.
  DrawMarker(aBitmap, aSample.GeoPoint(), true, IsValidReal(bearing) ? TAngle::FromDegrees(bearing) : TAngle::Invalid());
}

void CMapDrawer::DrawLabel(CPwBitmap& aBitmap, CPwFont& aFont, TPwPoint aAnchor, CPwStringC aFirst,
                           CPwStringC aSecond, TPwColour aBox, TPwColour aText) {
  const int32_t lines = aSecond.Length() > 0 ? 2 : 1;
  const int32_t w = std::max(aFont.TextWidth(aFirst), lines > 1 ? aFont.TextWidth(aSecond) : 0) + 4;
  const int32_t h = aFont.Height() * lines + 4;
  // Above and to the right of the anchor, moved back inside the view where it would cross.
  TPwRect box{aAnchor.iX + 3, aAnchor.iY - 3 - h, aAnchor.iX + 3 + w, aAnchor.iY - 3};
  if (box.iRight > iViewRect.iRight) box = box.Moved(iViewRect.iRight - box.iRight, 0);
  if (box.iLeft < iViewRect.iLeft) box = box.Moved(iViewRect.iLeft - box.iLeft, 0);
  if (box.iBottom > iViewRect.iBottom) box = box.Moved(0, iViewRect.iBottom - box.iBottom);
  if (box.iTop < iViewRect.iTop) box = box.Moved(0, iViewRect.iTop - box.iTop);
  aBitmap.FillRect(box, aBox);
  aBitmap.DrawTextAt(aFirst, aFont, box.iLeft + 2, box.iTop + 2, aText);
  if (lines > 1) aBitmap.DrawTextAt(aSecond, aFont, box.iLeft + 2, box.iTop + 2 + aFont.Height(), aText);
}

void CMapDrawer::DrawLapMap(CPwBitmap& aBitmap, CPwFont& aLabelFont, CPwFont& aNameFont, const TLapMapInput& aInput) {
  const CLap* lap = aInput.iLap;
  if (!lap || !lap->Plots() || !lap->Start()) return;
  const CPositionPlotList& plots = *lap->Plots();
  const TLapSector* start = lap->Start();
  const int32_t lastIndex = lap->IsFinished() ? lap->Finish()->iSampleIndex - 1 : plots.Count() - 1;

  Clear();
  SetViewSize(0.0);
  AddRoute(plots, start->iSampleIndex, lastIndex);
  AddPoint(start->iSample.GeoPoint());
  if (lap->IsFinished()) AddPoint(lap->Finish()->iSample.GeoPoint());
  if (!Fit()) return;

  // Track name and scale label.
  TPwPoint centre;
  if (aInput.iTrackName.Length() > 0 && ToPixel(aInput.iTrackCentre, centre)) {
    const int32_t w = aNameFont.TextWidth(aInput.iTrackName), h = aNameFont.Height();
    aBitmap.DrawText(aInput.iTrackName, aNameFont, TPwRect{centre.iX - w / 2 - 1, centre.iY - h / 2, centre.iX + w / 2 + 2, centre.iY + h / 2 + 1},
                     EAlignCentre, KTrackNameText);
  }
  DrawScaleLabel(aBitmap, aLabelFont);

  // The keys bounding the selected sector (sector mode) or the selected trap.
  int32_t fromKey = -1, toKey = -1;
  if (aInput.iSelected >= 0 && aInput.iMode != ELapMapHighLow) {
    if (aInput.iMode == ELapMapSectors) lap->KeyPair(aInput.iSelected, fromKey, toKey);
    else toKey = lap->FindCrossing(aInput.iSelected) ? aInput.iSelected : -1;
  }

  // The route, sector by sector.
  TMapColouring mode = EMapColourSectors;
  if (aInput.iMode == ELapMapSplits) mode = EMapColourSatellites;
  if (aInput.iMode == ELapMapTrapSpeeds) mode = EMapColourSpeed;
  if (aInput.iMode == ELapMapHighLow) mode = EMapColourAcceleration;
  const TLapSector* from = start;
  for (int32_t k = 0; k < lap->CrossingCount(); ++k) {
    const TLapSector* to = lap->Crossing(k);
    TPwColour colour = KDefaultRoute;
    int32_t width = 1;
    if (mode == EMapColourSectors) {
      const bool selected = toKey >= 0 && to->iKey == toKey;
      const PwTime time = lap->SectorTime(from->iKey, to->iKey);
      const PwTime other = aInput.iComparison ? aInput.iComparison->SectorTime(from->iKey, to->iKey) : PwTime::Unset();
      colour = ResultBoxColour(TimeOutcome(time, other), selected);
      width = selected ? 2 : 1;
    }
    DrawSector(aBitmap, plots, from->iSample, from->iSampleIndex, to->iSampleIndex - 1, &to->iSample, colour,
               mode == EMapColourSectors ? EMapColourPlain : mode, width, aInput.iLimits);
    from = to;
  }
  if (!lap->IsFinished())
    DrawSector(aBitmap, plots, from->iSample, from->iSampleIndex, plots.Count() - 1, nullptr, KDefaultRoute,
               mode == EMapColourSectors ? EMapColourPlain : mode, 1, aInput.iLimits);

  // Other traps first, then the selected ones.
  if (aInput.iTraps) {
    const CTrapLineList& traps = *aInput.iTraps;
    for (int32_t i = 0; i < traps.Count(); ++i)
      if (i != fromKey && i != toKey) DrawTrap(aBitmap, *traps.At(i), false, true, nullptr);
    for (int32_t key : {fromKey, toKey})
      if (const CTrapLine* trap = traps.At(key)) DrawTrap(aBitmap, *trap, true, true, nullptr);
  }

  // Labels. Away from the selected one they are drawn only on small views.
  const double view = ViewSizeMetres();
  const bool smallView = view < (aInput.iMode == ELapMapHighLow ? 2500.0 : 1500.0);
  CPwString first, second;
  struct TPending {
    TPwPoint iAnchor;
    int32_t iOutcome;
    bool iValid;
  } selectedLabel{{0, 0}, ENeutral, false};
  CPwString selectedFirst, selectedSecond;
  auto place = [&](TPwPoint aAnchor, int32_t aOutcome, bool aSelected, bool aBoxWhenLarge) {
    if (aSelected) {
      selectedLabel = TPending{aAnchor, aOutcome, true};
      selectedFirst.Copy(first);
      selectedSecond.Copy(second);
      return;
    }
    if (smallView) {
      DrawLabel(aBitmap, aLabelFont, aAnchor, first, second, ResultBoxColour(aOutcome, false), KLabelTextNormal);
    } else if (aBoxWhenLarge) {
      aBitmap.FillRect(TPwRect{aAnchor.iX - 10, aAnchor.iY - 5, aAnchor.iX + 10, aAnchor.iY + 5},
                       ResultBoxColour(aOutcome, false));
    }
  };
  const int32_t decimals = aInput.iDecimals;
  const CLap* other = aInput.iComparison;
  if (aInput.iMode == ELapMapSectors) {
    from = start;
    for (int32_t k = 0; k < lap->CrossingCount(); ++k) {
      const TLapSector* to = lap->Crossing(k);
      const PwTime time = lap->SectorTime(from->iKey, to->iKey);
      const PwTime theirs = other ? other->SectorTime(from->iKey, to->iKey) : PwTime::Unset();
      first.Reset();
      first.Append(u"S");
      first.AppendNum(k + 1);
      first.Append(u": ");
      AppendTime(first, time, decimals);
      if (other) {
        first.Append(u" ");
        AppendDifference(first, time, theirs, decimals);
      }
      second.Reset();
      TPwPoint anchor;
      const int32_t middle = std::clamp((from->iSampleIndex + to->iSampleIndex) / 2, 0, plots.Count() - 1);
      if (plots.Count() > 0 && ToPixel(plots.At(middle).GeoPoint(), anchor))
        place(anchor, TimeOutcome(time, theirs), toKey >= 0 && to->iKey == toKey, false);
      from = to;
    }
    if (toKey >= 0 && lap->IsFinished()) {
      first.Reset();
      first.Append(u"Full: ");
      AppendTime(first, lap->LapTime(), decimals);
      if (other) {
        first.Append(u" ");
        AppendDifference(first, lap->LapTime(), other->LapTime(), decimals);
      }
      second.Reset();
      TPwPoint anchor;
      if (ToPixel(start->iSample.GeoPoint(), anchor) && smallView)
        DrawLabel(aBitmap, aLabelFont, anchor, first, second,
                  ResultBoxColour(TimeOutcome(lap->LapTime(), other ? other->LapTime() : PwTime::Unset()), false),
                  KLabelTextNormal);
    }
  } else if (aInput.iMode == ELapMapSplits || aInput.iMode == ELapMapTrapSpeeds) {
    const bool speeds = aInput.iMode == ELapMapTrapSpeeds;
    for (int32_t k = speeds ? -1 : 0; k < lap->CrossingCount(); ++k) {
      const TLapSector* crossing = k < 0 ? start : lap->Crossing(k);
      const int32_t key = k < 0 ? -1 : crossing->iKey;
      first.Reset();
      if (aInput.iTraps && aInput.iTraps->At(crossing->iKey)) first.Copy(aInput.iTraps->At(crossing->iKey)->Name());
      second.Reset();
      int32_t outcome = ENeutral;
      if (speeds) {
        const double factor = aInput.iEnglishUnits ? 2.23693629 : 3.6;
        const TSpeed v = lap->TrapSpeed(key);
        const TSpeed theirs = other ? other->TrapSpeed(key) : TSpeed::Invalid();
        if (v.IsValid()) second.AppendReal(v.MetresPerSecond() * factor, 0);
        else second.Append(u"*");
        if (other) {
          second.Append(u" ");
          if (v.IsValid() && theirs.IsValid()) {
            const double d = (v.MetresPerSecond() - theirs.MetresPerSecond()) * factor;
            second.AppendReal(d, 0, u'.', 0, true);
            outcome = d > 0.0 ? EBetter : (d < 0.0 ? EWorse : ENeutral);
          } else {
            second.Append(u"*");
          }
        }
        second.Append(u" ");
        second.Append(aInput.iSpeedUnit);
      } else {
        const PwTime time = lap->SplitTime(key);
        const PwTime theirs = other ? other->SplitTime(key) : PwTime::Unset();
        AppendTime(second, time, decimals);
        if (other) {
          second.Append(u" ");
          AppendDifference(second, time, theirs, decimals);
        }
        outcome = TimeOutcome(time, theirs);
      }
      TPwPoint anchor;
      if (ToPixel(crossing->iSample.GeoPoint(), anchor))
        place(anchor, outcome, k >= 0 && toKey >= 0 && key == toKey, true);
    }
  } else {
    const double factor = aInput.iEnglishUnits ? 2.23693629 : 3.6;
    for (int32_t k = 0; k < lap->HighLowCount(); ++k) {
      TPwPoint anchor;
      if (!ToPixel(lap->HighLowPosition(k), anchor)) continue;
      const bool high = lap->HighLowPoint(k).iHigh != 0;
      const bool selected = k == aInput.iSelected;
      aBitmap.DrawMarker(high ? EMarkerTriangle : EMarkerTriangleDown, anchor.iX, anchor.iY, selected ? 9 : 7,
                         selected ? KMarkerSelected : KMarkerNormal);
      first.Reset();
      const TSpeed v = lap->HighLowSpeed(k);
      if (v.IsValid()) first.AppendReal(v.MetresPerSecond() * factor, 0);
      else first.Append(u"*");
      first.Append(u" ");
      first.Append(aInput.iSpeedUnit);
      second.Reset();
      place(anchor, high ? EBetter : EWorse, selected, true);
    }
  }
  if (selectedLabel.iValid)
    DrawLabel(aBitmap, aLabelFont, selectedLabel.iAnchor, selectedFirst, selectedSecond,
              ResultBoxColour(selectedLabel.iOutcome, true), KLabelTextSelected);
}

// --- The route cache -----------------------------------------------------------------------

CMapRouteCache::~CMapRouteCache() = default;

void CMapRouteCache::Reset() {
  iList = nullptr;
  iPen = TMapRoutePen();
}

bool CMapRouteCache::Matches(const TMapProjection& aView, const CPositionPlotList& aList, int32_t aFirst,
                             TPwColour aColour, TMapColouring aMode, int32_t aLineWidth, TPwColour aBackground,
                             int32_t aWidth, int32_t aHeight) const {
  return iPixels && iList == &aList && iFirst == aFirst && iColour == aColour && iMode == aMode &&
         iLineWidth == aLineWidth && iBackground == aBackground && iWidth == aWidth && iHeight == aHeight &&
         iView.iLatitudeExtent == aView.iLatitudeExtent && iView.iLongitudeExtent == aView.iLongitudeExtent &&
         iView.iShift == aView.iShift && iView.iPixelWidth == aView.iPixelWidth &&
         iView.iPixelHeight == aView.iPixelHeight && aList.Count() >= iPen.iNext;
}

void CMapRouteCache::Draw(CPwBitmap& aBitmap, CMapDrawer& aDrawer, const CPositionPlotList& aList, int32_t aFirst,
                          TPwColour aColour, TMapColouring aMode, int32_t aLineWidth,
                          const TMapColourLimits& aLimits, TPwColour aBackground) {
  const TPwRect rect = aDrawer.ViewRect();
  if (!aDrawer.HasView()) {
    aBitmap.FillRect(rect, aBackground);
    return;
  }
  const TMapProjection view = aDrawer.Projection();
  const int32_t w = rect.Width(), h = rect.Height();
  const bool limitsChanged = aLimits.iBraking != iLimits.iBraking || aLimits.iAcceleration != iLimits.iAcceleration;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!Matches(view, aList, aFirst, aColour, aMode, aLineWidth, aBackground, w, h) ||
        (aMode == EMapColourAcceleration && limitsChanged) || attempt == 1) {
      // Drawn afresh around the current view, one view's size of margin on every side.
      const int32_t margin = std::min(std::max(w, h), 1024);
      const int32_t cw = w + 2 * margin, ch = h + 2 * margin;
      const int32_t code = Trap([&] {
        if (!iPixels) iPixels.reset(CPwBitmap::NewL(cw, ch));
        else if (iPixels->Width() != cw || iPixels->Height() != ch) iPixels->ResizeL(cw, ch);
      });
      if (code != KErrNone) {
        // Short of memory: draw straight into the view.
        iPixels.reset();
        aBitmap.FillRect(rect, aBackground);
        aDrawer.DrawRoute(aBitmap, aList, aFirst, KInvalidInt, aColour, aMode, aLineWidth, aLimits);
        return;
      }
      iMargin = margin;
      iView = view;
      iProjection = view;
      iProjection.iLeft = margin;
      iProjection.iBottom = margin + h;
      const int64_t padLat = view.iLatitudeExtent * margin / view.iPixelHeight + 1;
      const int64_t padLon = view.iLongitudeExtent * margin / view.iPixelWidth + 1;
      iProjection.iClipMinLatitude -= padLat;
      iProjection.iClipMaxLatitude += padLat;
      iProjection.iClipMinLongitude -= padLon;
      iProjection.iClipMaxLongitude += padLon;
      iList = &aList;
      iFirst = aFirst;
      iColour = aColour;
      iMode = aMode;
      iLineWidth = aLineWidth;
      iLimits = aLimits;
      iBackground = aBackground;
      iWidth = w;
      iHeight = h;
      iPen = TMapRoutePen();
      iPen.iNext = std::max(0, aFirst);
      iPixels->Clear(aBackground);
      ++iFullRenders;
    }
    // Samples appended since the last paint.
    CMapDrawer::WalkRoute(*iPixels, iProjection, aList, aList.Count() - 1, aColour, aMode, aLineWidth, aLimits, iPen);
    // Where the view lies in the cached pixels.
    const double dx = static_cast<double>(iProjection.iMinLongitude - view.iMinLongitude) * view.iPixelWidth /
                      static_cast<double>(view.iLongitudeExtent);
    const double dy = static_cast<double>(iProjection.iMinLatitude - view.iMinLatitude) * view.iPixelHeight /
                      static_cast<double>(view.iLatitudeExtent);
    const int64_t sx = iMargin - std::llround(dx), sy = iMargin + std::llround(dy);
    if (sx < 0 || sy < 0 || sx + w > iPixels->Width() || sy + h > iPixels->Height()) continue;
    aBitmap.CopyRect(*iPixels, TPwRect{static_cast<int32_t>(sx), static_cast<int32_t>(sy),
                                       static_cast<int32_t>(sx) + w, static_cast<int32_t>(sy) + h},
                     rect.iLeft, rect.iTop);
    return;
  }
}
