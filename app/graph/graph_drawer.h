// The line graph of the analysis view: what one painting needs to know about the graph kind's
// settings (TGraphSetup), the grid step rule, and CGraphDrawer, which prepares the generator's
// axes, window and y ranges for a painting and draws the plot: start and end lines, the x grid
// with its labels, at most two labelled y scales, the curves (comparison dimmed, under the
// primary) and the cursor line.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"

class CGraphGenerator;
class CPwFont;
class CStringProvider;
class CSettings;

// The settings of one painting, read from the settings of the graph kind shown.
struct TGraphSetup {
  int32_t iKind = 0;
  int32_t iAxis = 1;  // 1 time, 2 distance
  bool iScaled = false;
  bool iShowComparison = false;
  bool iZoomedY = false;
  bool iMapHidden = false;
  double iFactor = 1.0;  // the x-window factor

  // 60 s for a time axis, 1000 m for a distance axis.
  double Base() const;
  bool IsTimeAxis() const { return iAxis != 2; }
  static TGraphSetup FromSettings(const CSettings& aSettings, int32_t aKind);
};

// A grid step in data units and the decimals of its labels (in display units).
struct TGridStep {
  double iStep = 0.0;
  int32_t iDecimals = 0;
};

// The quantity class of the x axis.
int32_t AxisQuantityClass(int32_t aAxis);
// Formats v x factor with the decimals, "." and a space and the unit text.
void FormatGraphValue(CPwString& aText, double aValue, double aFactor, int32_t aDecimals, CPwStringC aUnit);

class CGraphDrawer : public CPwBase {
 public:
  static constexpr TPwColour KBackground = 0x000000;
  static constexpr TPwColour KCursorColour = 0xFF0000;
  static constexpr TPwColour KStartEndColour = 0x0000FF;
  static constexpr TPwColour KGridColour = 0x808080;
  // The largest grid step tried, in display units (5 x 10^9 / 1000).
  static constexpr double KLargestStep = 5000000.0;

  // aStrings (not owned) gives the unit texts and the units in use.
  explicit CGraphDrawer(const CStringProvider& aStrings) : iStrings(&aStrings) {}
  ~CGraphDrawer() override = default;

  // The grid step for a range r with unit factor u: the first of 0.001, 0.002, 0.005, 0.01
  // ... (display units, back in data units and rounded to 4 decimals) not smaller than r / 5
  // rounded to 4 decimals. False for a range that is invalid, not above 0, or needs a step
  // beyond KLargestStep.
  static bool GridStep(double aRange, double aUnitFactor, TGridStep& aStep);

  // Prepares the generator for a painting with aSetup: axes, window around the cursor, the y
  // ranges (zoomed, per quantity class, primary and comparison alike), the values under the
  // cursor and the colour order. False when it holds nothing to draw.
  static bool Prepare(CGraphGenerator& aGenerator, const TGraphSetup& aSetup);

  // The plot rectangle; W and H are its width and height less one pixel.
  void SetPlotRect(const TPwRect& aRect);
  const TPwRect& PlotRect() const { return iPlot; }

  // Paints the graph into aBitmap (the generator prepared with the same setup).
  void Draw(CPwBitmap& aBitmap, CPwFont& aFont, const CGraphGenerator& aGenerator, const TGraphSetup& aSetup);

  // Pixel of a value pair for a window [aStart, aStart + aRange] and a y range.
  int32_t PixelX(double aX, double aStart, double aRange) const;
  int32_t PixelY(double aY, double aMinimum, double aRange) const;

  // What the last painting labelled: the channel identifiers of the left and right y scale
  // (0 for none), and the number of x grid lines.
  int32_t LeftScaleChannel() const { return iLeftScale; }
  int32_t RightScaleChannel() const { return iRightScale; }
  int32_t XGridLines() const { return iXGridLines; }

 private:
  void DrawVertical(CPwBitmap& aBitmap, int32_t aX, TPwColour aColour, int32_t aStyle);
  void DrawXGrid(CPwBitmap& aBitmap, CPwFont& aFont, double aStart, double aRange, int32_t aAxis);
  void DrawYLabels(CPwBitmap& aBitmap, CPwFont& aFont, const CGraphGenerator& aGenerator, const TGraphSetup& aSetup);
  void DrawYScale(CPwBitmap& aBitmap, CPwFont& aFont, const CGraphGenerator& aGenerator, int32_t aList,
                  int32_t aChannel, bool aRight);
  void DrawCurve(CPwBitmap& aBitmap, const CGraphGenerator& aGenerator, int32_t aList, int32_t aChannel,
                 double aStart, double aRange);

  const CStringProvider* iStrings;
  TPwRect iPlot;
  double iW = 0.0;
  double iH = 0.0;
  CPwString iText;
  int32_t iLeftScale = 0;
  int32_t iRightScale = 0;
  int32_t iXGridLines = 0;
};
