#include "app/graph/graph_drawer.h"

#include <algorithm>
#include <cmath>

#include "acquisition/channel_state.h"
#include "analysis/graph_generator.h"
#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "foundation/string_provider.h"
#include "storage/settings.h"

namespace {

bool Finite(double aValue) { return std::isfinite(aValue); }

double Round4(double aValue) { return std::round(aValue * 10000.0) / 10000.0; }

// A pixel coordinate from a position that may lie far outside the plot.
int32_t ToPixel(double aValue) {
  constexpr double KFar = 1000000.0;
  return static_cast<int32_t>(std::clamp(std::trunc(aValue), -KFar, KFar));
}

// A bound on the lines of one grid: a step is at least a fifth of the range.
constexpr int32_t KMaxGridLines = 64;

}  // namespace

// --- TGraphSetup ------------------------------------------------------------------------------

double TGraphSetup::Base() const {
  return IsTimeAxis() ? CGraphGenerator::KTimeBase : CGraphGenerator::KDistanceBase;
}

TGraphSetup TGraphSetup::FromSettings(const CSettings& aSettings, int32_t aKind) {
  TGraphSetup setup;
  setup.iKind = aKind;
  setup.iZoomedY = aSettings.GraphZoomedY() != 0;
  const double factor = aSettings.GraphWindowFactor();
  setup.iFactor = Finite(factor) && factor > 0.0 ? factor : 1.0;
  if (aKind < CSettings::KGraphKindLap || aKind > CSettings::KGraphKindSpan) return setup;
  const int32_t flags = aSettings.GraphFlags(aKind);
  setup.iAxis = flags & CSettings::KGraphDistanceAxis ? 2 : 1;
  setup.iScaled = flags & CSettings::KGraphScaledComparison;
  setup.iShowComparison = flags & CSettings::KGraphShowComparison;
  setup.iMapHidden = flags & CSettings::KGraphMapHidden;
  return setup;
}

int32_t AxisQuantityClass(int32_t aAxis) {
  return ChannelQuantityClass(aAxis == 2 ? KChannelDistance : KChannelGpsTime);
}

void FormatGraphValue(CPwString& aText, double aValue, double aFactor, int32_t aDecimals, CPwStringC aUnit) {
  aText.Reset();
  if (!Finite(aValue)) return;
  double shown = aValue * aFactor;
  // No "-0" at a grid line that sits on zero within rounding.
  if (std::fabs(shown) < 0.5 * std::pow(10.0, -aDecimals)) shown = 0.0;
  aText.AppendReal(shown, aDecimals, u'.');
  aText.AppendChar(u' ');
  aText.Append(aUnit);
}

// --- Grid step --------------------------------------------------------------------------------

bool CGraphDrawer::GridStep(double aRange, double aUnitFactor, TGridStep& aStep) {
  if (!Finite(aRange) || aRange <= 0.0 || !Finite(aUnitFactor) || aUnitFactor <= 0.0) return false;
  const double target = Round4(aRange / 5.0);
  static const double KMantissas[3] = {1.0, 2.0, 5.0};
  double power = 0.001;
  int32_t decimals = 3;
  for (;;) {
    for (double mantissa : KMantissas) {
      const double candidate = mantissa * power;
      if (candidate > KLargestStep * 1.000001) return false;
      const double step = Round4(candidate / aUnitFactor);
      if (step > 0.0 && step >= target) {
        aStep.iStep = step;
        aStep.iDecimals = decimals;
        return true;
      }
    }
    power *= 10.0;
    if (decimals > 0) --decimals;
  }
}

// --- Preparing the generator ------------------------------------------------------------------

bool CGraphDrawer::Prepare(CGraphGenerator& aGenerator, const TGraphSetup& aSetup) {
  if (aGenerator.ListCount() == 0) return false;
  aGenerator.SetAxis(aSetup.iScaled, aSetup.iAxis);
  double cursor = aGenerator.CursorValue(aSetup.iAxis);
  if (!Finite(cursor)) cursor = 0.0;
  (void)aGenerator.SetWindow(cursor, aSetup.Base(), aSetup.iFactor);
  aGenerator.SetZoomedY(aSetup.iZoomedY);
  aGenerator.FitClass(2);
  aGenerator.FitClass(1);
  for (int32_t quantity = 4; quantity <= 17; ++quantity) aGenerator.FitClass(quantity);
  aGenerator.FitComparison();
  aGenerator.SetCursorValues(aSetup.iAxis);
  aGenerator.CollectVisible();
  return true;
}

// --- Mapping ----------------------------------------------------------------------------------

void CGraphDrawer::SetPlotRect(const TPwRect& aRect) {
  iPlot = aRect;
  iW = static_cast<double>(aRect.iRight - aRect.iLeft - 1);
  iH = static_cast<double>(aRect.iBottom - aRect.iTop - 1);
}

int32_t CGraphDrawer::PixelX(double aX, double aStart, double aRange) const {
  return ToPixel((aX - aStart) / aRange * iW) + iPlot.iLeft;
}

int32_t CGraphDrawer::PixelY(double aY, double aMinimum, double aRange) const {
  return iPlot.iBottom - ToPixel((aY - aMinimum) / aRange * iH) - 1;
}

// --- Painting ---------------------------------------------------------------------------------

void CGraphDrawer::Draw(CPwBitmap& aBitmap, CPwFont& aFont, const CGraphGenerator& aGenerator,
                        const TGraphSetup& aSetup) {
  iLeftScale = iRightScale = 0;
  iXGridLines = 0;
  const TPwRect clip = aBitmap.ClipRect();
  aBitmap.SetClipRect(clip.Intersection(iPlot));
  aBitmap.FillRect(iPlot, KBackground);
  if (iW < 1.0 || iH < 1.0 || aGenerator.ListCount() == 0) {
    aBitmap.SetClipRect(clip);
    return;
  }
  double cursor = aGenerator.CursorValue(aSetup.iAxis);
  if (!Finite(cursor)) cursor = 0.0;
  const double range = aSetup.Base() * aSetup.iFactor;
  const double start = cursor - range / 2.0;

  // Where the data starts and ends.
  DrawVertical(aBitmap, PixelX(0.0, start, range), KStartEndColour, EPenSolid);
  const double primaryLength = aGenerator.PrimaryLength(aSetup.iAxis);
  if (Finite(primaryLength)) DrawVertical(aBitmap, PixelX(primaryLength, start, range), KStartEndColour, EPenSolid);
  if (aGenerator.HasComparison() && aSetup.iShowComparison) {
    const double comparisonLength = aGenerator.ComparisonLength(aSetup.iScaled, aSetup.iAxis);
    if (Finite(comparisonLength))
      DrawVertical(aBitmap, PixelX(comparisonLength, start, range), KStartEndColour, EPenSolid);
  }

  DrawXGrid(aBitmap, aFont, start, range, aSetup.iAxis);
  DrawYLabels(aBitmap, aFont, aGenerator, aSetup);

  // The comparison first, so that the primary lies on top.
  for (int32_t l = aGenerator.ListCount() - 1; l >= 0; --l) {
    const CGraphChannelList& list = aGenerator.List(l);
    if (list.IsComparison() && !aSetup.iShowComparison) continue;
    for (int32_t c = list.ChannelCount() - 1; c >= 2; --c) DrawCurve(aBitmap, aGenerator, l, c, start, range);
  }

  DrawVertical(aBitmap, PixelX(cursor, start, range), KCursorColour, EPenSolid);
  aBitmap.SetClipRect(clip);
}

void CGraphDrawer::DrawVertical(CPwBitmap& aBitmap, int32_t aX, TPwColour aColour, int32_t aStyle) {
  if (aX < iPlot.iLeft || aX >= iPlot.iRight) return;
  aBitmap.SetPen(aColour, 1, aStyle);
  aBitmap.ResetPenPattern();
  aBitmap.DrawLine(aX, iPlot.iTop, aX, iPlot.iBottom - 1);
}

void CGraphDrawer::DrawXGrid(CPwBitmap& aBitmap, CPwFont& aFont, double aStart, double aRange, int32_t aAxis) {
  const int32_t quantity = AxisQuantityClass(aAxis);
  const CStringProvider& strings = *iStrings;
  const double factor = QuantityFactor(quantity, strings.EnglishUnits());
  TGridStep step;
  if (!GridStep(aRange, factor, step)) return;
  const double end = aStart + aRange;
  double value = std::floor(aStart / step.iStep) * step.iStep - step.iStep;
  const int32_t labelTop = iPlot.iBottom - aFont.Height();
  for (int32_t n = 0; value <= end && n < KMaxGridLines; ++n, value += step.iStep) {
    const int32_t x = PixelX(value, aStart, aRange);
    if (x < iPlot.iLeft || x >= iPlot.iRight) continue;
    DrawVertical(aBitmap, x, KGridColour, EPenDashed);
    ++iXGridLines;
    FormatGraphValue(iText, value, factor, step.iDecimals, strings.UnitText(quantity));
    (void)aBitmap.DrawTextAt(iText, aFont, x + 2, labelTop, KGridColour);
  }
}

void CGraphDrawer::DrawYLabels(CPwBitmap& aBitmap, CPwFont& aFont, const CGraphGenerator& aGenerator,
                               const TGraphSetup& aSetup) {
  int32_t leftClass = -1;
  for (int32_t l = 0; l < aGenerator.ListCount(); ++l) {
    const CGraphChannelList& list = aGenerator.List(l);
    if (list.IsComparison() && !aSetup.iShowComparison) continue;
    for (int32_t c = 2; c < list.ChannelCount(); ++c) {
      const CGraphChannel& channel = list.Channel(c);
      if (leftClass < 0) {
        leftClass = channel.QuantityClass();
        iLeftScale = channel.Id();
        DrawYScale(aBitmap, aFont, aGenerator, l, c, false);
      } else if (channel.QuantityClass() != leftClass) {
        iRightScale = channel.Id();
        DrawYScale(aBitmap, aFont, aGenerator, l, c, true);
        return;
      }
    }
  }
}

void CGraphDrawer::DrawYScale(CPwBitmap& aBitmap, CPwFont& aFont, const CGraphGenerator& aGenerator, int32_t aList,
                              int32_t aChannel, bool aRight) {
  const CGraphChannelList& list = aGenerator.List(aList);
  const CGraphChannel& channel = list.Channel(aChannel);
  const double minimum = channel.WindowMinimum(), maximum = channel.WindowMaximum(), range = channel.WindowRange();
  if (!Finite(minimum) || !Finite(maximum) || !Finite(range) || range <= 0.0) return;
  const int32_t quantity = channel.QuantityClass();
  const CStringProvider& strings = *iStrings;
  const double factor = QuantityFactor(quantity, strings.EnglishUnits());
  TGridStep step;
  if (!GridStep(range, factor, step)) return;
  const TPwColour colour = CLayout::Colour(aGenerator.ColourIndex(channel.Id()), list.IsComparison());
  double value = std::floor(minimum / step.iStep) * step.iStep;
  for (int32_t n = 0; value < maximum && n < KMaxGridLines; ++n, value += step.iStep) {
    const int32_t y = PixelY(value, minimum, range);
    if (value > minimum) {
      aBitmap.SetPen(colour, 1, EPenDotted);
      aBitmap.ResetPenPattern();
      aBitmap.DrawLine(iPlot.iLeft, y, iPlot.iRight - 1, y);
    }
    FormatGraphValue(iText, value, factor, step.iDecimals, strings.UnitText(quantity));
    const int32_t top = y - 1 - aFont.Height();
    const int32_t x = aRight ? iPlot.iRight - 1 - aFont.TextWidth(iText) : iPlot.iLeft + 1;
    (void)aBitmap.DrawTextAt(iText, aFont, x, top, colour);
  }
}

void CGraphDrawer::DrawCurve(CPwBitmap& aBitmap, const CGraphGenerator& aGenerator, int32_t aList, int32_t aChannel,
                             double aStart, double aRange) {
  const CGraphChannelList& list = aGenerator.List(aList);
  const CGraphChannel* xChannel = list.XChannel();
  const CGraphChannel& channel = list.Channel(aChannel);
  if (!xChannel || channel.Count() < 2) return;
  const double minimum = channel.WindowMinimum(), range = channel.WindowRange();
  if (!Finite(aStart) || !Finite(aRange) || aRange <= 0.0 || !Finite(minimum) || !Finite(range) || range <= 0.0)
    return;
  const TPwColour colour = CLayout::Colour(aGenerator.ColourIndex(channel.Id()), list.IsComparison());
  aBitmap.SetPen(colour, 1, EPenSolid);
  const double scale = list.Scale();
  const double skip = aRange / iW * 0.5;
  const int32_t end = std::min({list.WindowEnd(), channel.Count(), xChannel->Count()});
  bool remembered = false;
  double lastX = 0.0;
  int32_t lastPx = 0, lastPy = 0;
  for (int32_t i = std::max(0, list.WindowFirst()); i < end; ++i) {
    const double x = xChannel->Value(i) * scale, y = channel.Value(i);
    if (!Finite(x) || !Finite(y)) {
      remembered = false;
      continue;
    }
    if (remembered && x <= lastX + skip) continue;
    const int32_t px = PixelX(x, aStart, aRange), py = PixelY(y, minimum, range);
    if (remembered) aBitmap.DrawLine(lastPx, lastPy, px, py);
    remembered = true;
    lastX = x;
    lastPx = px;
    lastPy = py;
  }
  if (minimum < 0.0 && 0.0 < channel.WindowMaximum()) {
    const int32_t y = PixelY(0.0, minimum, range);
    aBitmap.SetPen(colour, 1, EPenDotted);
    aBitmap.ResetPenPattern();
    aBitmap.DrawLine(iPlot.iLeft, y, iPlot.iRight - 1, y);
  }
}
