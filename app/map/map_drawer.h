// The flat map every map on screen draws with: a viewport over position data in TCoordinate
// units (data bounds, centre, zoom, the box shown and the clip box 200 m around it), the
// projection to pixels and back, and the drawing of routes, traps, markers, labels, the scale
// label and whole lap maps into a bitmap.
//
// The projection works on coordinate differences shifted right by s bits so that every
// extent fits in 13 bits, which keeps the pixel arithmetic small and exact:
//   x = ((lon - box min lon) >> s) * pixel width / (lon extent >> s) + left
//   y = bottom - ((lat - box min lat) >> s) * pixel height / (lat extent >> s) - 1
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/geodesy.h"
#include "acquisition/position_plot.h"
#include "app/draw/pw_bitmap.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"

class CLap;
class CPositionPlotList;
class CPwFont;
class CTrapLine;
class CTrapLineList;

// Coordinate units per metre on the ground along a meridian.
constexpr double KMapUnitsPerMetre = 6000000.0 / (EarthRadius * KPi / 180.0);

// One fitted viewport: what the drawing code needs to turn coordinates into pixels.
struct TMapProjection {
  int64_t iMinLatitude = 0;
  int64_t iMinLongitude = 0;
  int64_t iLatitudeExtent = 1;
  int64_t iLongitudeExtent = 1;
  int32_t iShift = 0;
  int32_t iLeft = 0;
  int32_t iBottom = 1;
  int32_t iPixelWidth = 1;
  int32_t iPixelHeight = 1;
  // Anything outside this box is not drawn.
  int64_t iClipMinLatitude = 0;
  int64_t iClipMaxLatitude = 0;
  int64_t iClipMinLongitude = 0;
  int64_t iClipMaxLongitude = 0;

  int64_t X(int64_t aLongitude) const {
    const int64_t den = std::max<int64_t>(1, iLongitudeExtent >> iShift);
    return ((aLongitude - iMinLongitude) >> iShift) * iPixelWidth / den + iLeft;
  }
  int64_t Y(int64_t aLatitude) const {
    const int64_t den = std::max<int64_t>(1, iLatitudeExtent >> iShift);
    return iBottom - ((aLatitude - iMinLatitude) >> iShift) * iPixelHeight / den - 1;
  }
  bool InClip(int64_t aLatitude, int64_t aLongitude) const {
    return aLatitude >= iClipMinLatitude && aLatitude <= iClipMaxLatitude && aLongitude >= iClipMinLongitude &&
           aLongitude <= iClipMaxLongitude;
  }
  bool InClip(TGeoPoint aPoint) const {
    return aPoint.IsValid() && InClip(aPoint.iLatitude.iValue, aPoint.iLongitude.iValue);
  }
};

// How a route's segments are coloured (the number is what callers store).
enum TMapColouring : int32_t {
  EMapColourPlain = 0,         // the given colour
  EMapColourSpeed = 1,         // speed scale, red - yellow - green - cyan per 100 km/h
  EMapColourSatellites = 3,    // satellite count of the segment's end
  EMapColourAcceleration = 4,  // braking red, accelerating green, against the limits
  EMapColourSectors = 5,       // per sector by its result (lap maps)
};

// The limits the acceleration colours are measured against, m/s^2.
struct TMapColourLimits {
  double iBraking = 6.0;
  double iAcceleration = 2.0;
  // From the settings' choice indices 0-7 ("0.05 G" ... "1.5 G").
  static double LimitOfChoice(int32_t aChoice);
};

// Route drawing state that continues across calls: the last drawn end, whether it lay in
// the clip box, and a discontinuity met in a merged hop that the next segment shows.
struct TMapRoutePen {
  bool iHasPrevious = false;
  bool iPreviousInClip = false;
  bool iProjected = false;  // iPreviousX/Y hold the previous end's pixel
  int64_t iPreviousLatitude = 0;
  int64_t iPreviousLongitude = 0;
  int64_t iPreviousX = 0;
  int64_t iPreviousY = 0;
  bool iPendingDash = false;
  int32_t iNext = 0;  // the next sample index to walk
};

// What the lap map shows, from the lap list's display mode.
enum TLapMapMode : int32_t {
  ELapMapSectors = 0,
  ELapMapSplits = 1,
  ELapMapTrapSpeeds = 2,
  ELapMapHighLow = 3,
};

// Everything a lap map needs besides the drawer's viewport.
struct TLapMapInput {
  const CLap* iLap = nullptr;              // the viewed lap (required)
  const CLap* iComparison = nullptr;       // its comparison lap, or null
  const CTrapLineList* iTraps = nullptr;   // the track's traps, or null
  CPwStringC iTrackName;
  TGeoPoint iTrackCentre;
  TLapMapMode iMode = ELapMapSectors;
  // The selected crossing's trap key (-1 none): the sector ending there, the split or trap
  // speed there. For high/low speeds, the selected point's index (-1 none).
  int32_t iSelected = -1;
  int32_t iDecimals = 1;      // "Timer decimals"
  bool iEnglishUnits = false;
  CPwStringC iSpeedUnit;      // unit text shown after speeds
  TMapColourLimits iLimits;
};

class CMapDrawer : public CPwBase {
 public:
  // The drawing colours.
  static constexpr TPwColour KDefaultRoute = 0x808080;
  static constexpr TPwColour KScaleText = 0x808080;
  static constexpr TPwColour KTrackNameText = 0x242424;
  static constexpr TPwColour KMarkerSelected = 0xFF4040;
  static constexpr TPwColour KMarkerNormal = 0x4040FF;
  static constexpr TPwColour KTrapSelected = 0xFF4040;
  static constexpr TPwColour KTrapNormal = 0x4040FF;
  static constexpr TPwColour KLabelTextNormal = 0x3FDCDCDC;
  static constexpr TPwColour KLabelTextSelected = 0xFFFFFF;
  // Result label boxes by outcome: better, worse, neutral.
  static TPwColour ResultBoxColour(int32_t aOutcome, bool aSelected);
  // Trap name box by trap type.
  static TPwColour TrapBoxColour(int32_t aType, bool aSelected);
  // Satellite colours: below 4 (or no fix) red, 4-5 orange, 6-7 yellow, 8 and more green.
  static TPwColour SatelliteColour(int32_t aSatellites);
  // Speed scale in m/s (27.78 m/s per colour step).
  static TPwColour SpeedColour(double aMetresPerSecond);
  // Acceleration colour in m/s^2 against the limits.
  static TPwColour AccelerationColour(double aAcceleration, const TMapColourLimits& aLimits);

  // Zoom limits, metres of latitude extent.
  static constexpr double KMinimumViewMetres = 3.0;
  static constexpr double KMaximumViewMetres = 2000000.0;
  static constexpr double KClipMarginMetres = 200.0;

  CMapDrawer() = default;
  ~CMapDrawer() override;

  // --- Data: bounds grow point by point. Clear also forgets the centre and the point kept
  // in view (not the zoom, the scale or the view rectangle).
  void Clear();
  void AddPoint(TGeoPoint aPoint);
  // The bounds of samples aFirst..aLast (clamped to the list). Walking an appended list again
  // only reads the new samples.
  void AddRoute(const CPositionPlotList& aList, int32_t aFirst = 0, int32_t aLast = KInvalidInt);
  // Both end points of every trap.
  void AddTraps(const CTrapLineList& aTraps);
  bool HasData() const { return iMinLatitude <= iMaxLatitude && iMinLongitude <= iMaxLongitude; }

  // --- Viewport.
  void SetViewRect(const TPwRect& aRect);
  const TPwRect& ViewRect() const { return iViewRect; }
  void SetCentre(TGeoPoint aCentre);
  void ClearCentre();
  // The zoom as a latitude extent in metres; 0 or less: fit to the data.
  void SetViewSize(double aMetres);
  // Multiplies a fitted zoom (the settings' map scale).
  void SetScale(double aScale);
  // A point that must stay at least 1/8 of the view inside each edge; invalid for none.
  void SetVisiblePoint(TGeoPoint aPoint);

  // Fits the viewport when anything changed; false when nothing can be shown (no data or no
  // rectangle).
  bool Fit();
  bool HasView() { return Fit(); }
  const TMapProjection& Projection() { (void)Fit(); return iProjection; }
  // The latitude extent shown, in metres (0 without a view).
  double ViewSizeMetres();
  TGeoPoint Centre() { (void)Fit(); return iCentre; }

  // Coordinate to pixel (false without a view or for an invalid point) and back.
  bool ToPixel(TGeoPoint aPoint, TPwPoint& aPixel);
  TGeoPoint FromPixel(int32_t aX, int32_t aY);
  // Moves the centre against a pointer movement of (aDx, aDy) pixels, so the map follows it.
  void Drag(int32_t aDx, int32_t aDy);

  // --- Drawing (each draws nothing without a view).
  // "12 km", "2.0 km", "250 m", "5.0 m" for a view size in metres.
  static void ScaleText(double aMetres, CPwString& aText);
  void DrawScaleLabel(CPwBitmap& aBitmap, CPwFont& aFont);
  // Samples aFirst..aLast of the list as connected segments (short hops merged, segments
  // ending at a trace discontinuity dashed), coloured by aMode.
  void DrawRoute(CPwBitmap& aBitmap, const CPositionPlotList& aList, int32_t aFirst, int32_t aLast,
                 TPwColour aColour, TMapColouring aMode, int32_t aLineWidth = 1,
                 const TMapColourLimits& aLimits = TMapColourLimits());
  // The same, going on from where aPen stopped (up to aLast) in any projection: the route
  // cache draws new samples through it.
  static void WalkRoute(CPwBitmap& aBitmap, const TMapProjection& aProjection, const CPositionPlotList& aList,
                        int32_t aLast, TPwColour aColour, TMapColouring aMode, int32_t aLineWidth,
                        const TMapColourLimits& aLimits, TMapRoutePen& aPen);
  // One step of the walk to sample aSample (aBefore: the sample before it, for the
  // acceleration colours; may be null) with the segment colour already chosen.
  static void StepRoute(CPwBitmap& aBitmap, const TMapProjection& aProjection, const TPositionPlot& aSample,
                        TPwColour aColour, int32_t aLineWidth, TMapRoutePen& aPen);
  // The colour of a segment ending at aSample.
  static TPwColour SegmentColour(const TPositionPlot& aSample, const TPositionPlot* aBefore, TPwColour aColour,
                                 TMapColouring aMode, const TMapColourLimits& aLimits);
  // A trap line (or standing-start area) with end squares when aDetails, its name in a box
  // above the centre when aFont is given, and its direction arrow when aDirection.
  void DrawTrap(CPwBitmap& aBitmap, const CTrapLine& aTrap, bool aSelected, bool aDetails, CPwFont* aFont,
                bool aDirection = false);
  void DrawTraps(CPwBitmap& aBitmap, const CTrapLineList& aTraps, int32_t aSelected, bool aDetails, CPwFont* aFont);
  // A position marker: an arrowhead along a valid bearing, otherwise a round marker.
  void DrawMarker(CPwBitmap& aBitmap, TGeoPoint aPoint, bool aSelected, TAngle aBearing = TAngle::Invalid());
  // The route cursor: the arrowhead rotated to the sample's bearing plus 180 degrees.
  void DrawCursor(CPwBitmap& aBitmap, const TPositionPlot& aSample);
  // A label box (text width + 4 by font height + 4 per line) beside the anchor, kept inside
  // the view rectangle. aSecond may be empty (one line).
  void DrawLabel(CPwBitmap& aBitmap, CPwFont& aFont, TPwPoint aAnchor, CPwStringC aFirst, CPwStringC aSecond,
                 TPwColour aBox, TPwColour aText);
  // A whole lap map: track name, scale label, the route sector by sector, the traps and the
  // result labels. The data are added and the view fitted here (centre and zoom cleared).
  void DrawLapMap(CPwBitmap& aBitmap, CPwFont& aLabelFont, CPwFont& aNameFont, const TLapMapInput& aInput);

  // The arrowhead and trap arrow outlines rotated by aRadians (clockwise from up) around
  // (aX, aY), for tests and the drawing above.
  static void RotatedArrowhead(int32_t aX, int32_t aY, double aRadians, TPwPoint aPoints[4]);
  static void RotatedTrapArrow(int32_t aX, int32_t aY, double aRadians, TPwPoint aPoints[5]);

 private:
  void Invalidate() { iFitted = false; }
  void DrawSector(CPwBitmap& aBitmap, const CPositionPlotList& aList, const TPositionPlot& aFrom, int32_t aFirst,
                  int32_t aLast, const TPositionPlot* aTo, TPwColour aColour, TMapColouring aMode, int32_t aWidth,
                  const TMapColourLimits& aLimits);

  // Data bounds.
  int64_t iMinLatitude = 1;
  int64_t iMaxLatitude = 0;
  int64_t iMinLongitude = 1;
  int64_t iMaxLongitude = 0;
  // The last route whose bounds were read, so that appended samples are read alone.
  const CPositionPlotList* iBoundsList = nullptr;
  int32_t iBoundsFirst = 0;
  int32_t iBoundsNext = 0;
  int64_t iRouteBounds[4] = {1, 0, 1, 0};

  TPwRect iViewRect;
  bool iHasCentre = false;
  TGeoPoint iCentre;
  double iViewMetres = 0.0;
  double iScale = 1.0;
  TGeoPoint iVisible;

  bool iFitted = false;
  bool iHasView = false;
  TMapProjection iProjection;
};

// The route layer of a map kept as pixels: drawn once over a margin around the view, then
// only moved when the view moves and extended by the samples appended since. A repaint of a
// long recording costs a copy instead of a walk over every sample.
class CMapRouteCache : public CPwBase {
 public:
  CMapRouteCache() = default;
  ~CMapRouteCache() override;

  // Draws the route samples aFirst..end of aList as CMapDrawer::DrawRoute would, over the
  // opaque background aBackground, into aBitmap's view rectangle. Leaves KErrNoMemory only
  // when even the direct drawing cannot be done.
  void Draw(CPwBitmap& aBitmap, CMapDrawer& aDrawer, const CPositionPlotList& aList, int32_t aFirst,
            TPwColour aColour, TMapColouring aMode, int32_t aLineWidth, const TMapColourLimits& aLimits,
            TPwColour aBackground);
  // Forgets the pixels (the list was replaced or reloaded).
  void Reset();
  // How many times the layer was drawn from the first sample (tests and benchmarks).
  int32_t FullRenders() const { return iFullRenders; }

 private:
  bool Matches(const TMapProjection& aView, const CPositionPlotList& aList, int32_t aFirst, TPwColour aColour,
               TMapColouring aMode, int32_t aLineWidth, TPwColour aBackground, int32_t aWidth, int32_t aHeight) const;

  std::unique_ptr<CPwBitmap> iPixels;
  TMapProjection iProjection;  // the projection of the cache's pixels
  TMapProjection iView;        // the view it was made for
  const CPositionPlotList* iList = nullptr;
  int32_t iFirst = 0;
  TPwColour iColour = 0;
  TMapColouring iMode = EMapColourPlain;
  int32_t iLineWidth = 1;
  TMapColourLimits iLimits;
  TPwColour iBackground = 0;
  int32_t iWidth = 0;
  int32_t iHeight = 0;
  int32_t iMargin = 0;
  TMapRoutePen iPen;
  int32_t iFullRenders = 0;
};
