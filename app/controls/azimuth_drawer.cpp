#include "app/controls/azimuth_drawer.h"

#include <algorithm>
#include <cmath>

#include "acquisition/channel_state.h"
#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "foundation/string_provider.h"
#include "storage/settings.h"
#include "timing/lap.h"
#include "strings/pw_strings.h"

namespace {

constexpr int32_t KUnitClassRate = EQuantityRate;

TPwPoint Polar(int32_t aX, int32_t aY, double aRadius, double aRadians) {
  return TPwPoint{aX + static_cast<int32_t>(std::lround(aRadius * std::sin(aRadians))),
                  aY - static_cast<int32_t>(std::lround(aRadius * std::cos(aRadians)))};
}

}  // namespace

CAzimuthDrawer::CAzimuthDrawer(CModel& aModel) : iModel(&aModel) { iNoData.LoadFromResource(R_GAUGE_NO_DATA); }

CAzimuthDrawer::~CAzimuthDrawer() = default;

void CAzimuthDrawer::SetRect(const TPwRect& aRect) {
  if (aRect == iRect && iBigFont) return;
  iRect = aRect;
  iSide = std::max(0, std::min(aRect.Width(), aRect.Height()));
  const int32_t left = aRect.iLeft + (aRect.Width() - iSide) / 2;
  const int32_t top = aRect.iTop + (aRect.Height() - iSide) / 2;
  iSquare = TPwRect{left, top, left + iSide, top + iSide};
  iCentreX = left + iSide / 2;
  iCentreY = top + iSide / 2;
  iBigFont.reset(CPwFont::NewL(EPwFontBold, std::max(4, iSide / 3)));
  iSmallFont.reset(CPwFont::NewL(EPwFontBold, std::max(4, iSide / 5)));
}

TPwPoint CAzimuthDrawer::SkyPosition(int32_t aCentreX, int32_t aCentreY, int32_t aSide, int32_t aElevation,
                                     int32_t aAzimuth) {
  const double r = (aSide / 2.0) * (90.0 - std::clamp(aElevation, 0, 90)) / 90.0;
  return Polar(aCentreX, aCentreY, r, aAzimuth * KPi / 180.0);
}

TPwColour CAzimuthDrawer::SnrColour(int32_t aSnr) {
  if (aSnr < 0) return 0x3F808080;
  if (aSnr < 20) return 0x3FC00000;
  if (aSnr <= 41) return 0x3FC00000 | (static_cast<uint32_t>((aSnr - 20) * 192 / 22) << 8);
  if (aSnr <= 65) return 0x3F00C000 | (static_cast<uint32_t>((65 - aSnr) * 192 / 22) << 16);
  return 0x3F00C000;
}

double CAzimuthDrawer::NeedleAngle(int32_t aClass, double aValue) {
  const double full = aClass == 4 ? 83.3334 : (aClass == 6 ? 150.0 : 12000.0);
  return 2.0 * KPi * aValue / full - 3.0 * KPi / 4.0;
}

void CAzimuthDrawer::DrawCentred(CPwBitmap& aBitmap, CPwFont& aFont, CPwStringC aText, int32_t aX, int32_t aY,
                                 TPwColour aColour) {
  const int32_t h = aFont.Height();
  const int32_t w = std::max(aFont.TextWidth(aText), iSide) + 4;
  aBitmap.DrawText(aText, aFont, TPwRect{aX - w / 2, aY - h / 2, aX - w / 2 + w, aY - h / 2 + h}, EAlignCentre, aColour);
}

void CAzimuthDrawer::DrawValue(CPwBitmap& aBitmap, CPwFont& aFont, CPwStringC aText) {
  DrawCentred(aBitmap, aFont, aText, iCentreX + 2, iCentreY + 1, KValueShadow);
  DrawCentred(aBitmap, aFont, aText, iCentreX, iCentreY, KValueText);
}

void CAzimuthDrawer::DrawName(CPwBitmap& aBitmap, CPwFont& aFont, TChannelId aChannel) {
  CStringProvider::ChannelName(aChannel, iText);
  DrawCentred(aBitmap, aFont, iText, iCentreX, iCentreY - iSide / 4, KLabelText);
}

void CAzimuthDrawer::DrawDial(CPwBitmap& aBitmap) {
  aBitmap.SetPen(KDialOutline, 1, EPenSolid);
  aBitmap.SetFillColour(KDialFill);
  aBitmap.DrawEllipse(iSquare);
  aBitmap.SetFillColour(KPwNoColour);
  aBitmap.DrawEllipse(iSquare.Shrunk(iSide / 6));
  aBitmap.DrawEllipse(iSquare.Shrunk(2 * iSide / 6));
  aBitmap.FillRect(TPwRect{iCentreX - 2, iCentreY - 2, iCentreX + 2, iCentreY + 2}, KDialOutline);
  aBitmap.SetPen(KDialOutline, 1, EPenDashed);
  for (int32_t degrees : {0, 45, 90, 135}) {
    const double a = degrees * KPi / 180.0;
    const TPwPoint p0 = Polar(iCentreX, iCentreY, iSide / 2.0, a), p1 = Polar(iCentreX, iCentreY, iSide / 2.0, a + KPi);
    aBitmap.ResetPenPattern();
    aBitmap.DrawLine(p0.iX, p0.iY, p1.iX, p1.iY);
  }
  aBitmap.SetPen(KDialOutline, 1, EPenSolid);
}

void CAzimuthDrawer::DrawPanel(CPwBitmap& aBitmap) {
  const int32_t inset = static_cast<int32_t>(0.15 * iSide);
  aBitmap.SetPen(KDialOutline, 1, EPenSolid);
  aBitmap.SetFillColour(KDialFill);
  aBitmap.DrawRect(TPwRect{iSquare.iLeft + 2, iSquare.iTop + inset, iSquare.iRight - 2, iSquare.iBottom - inset});
  aBitmap.SetFillColour(KPwNoColour);
}

void CAzimuthDrawer::DrawSatellites(CPwBitmap& aBitmap, CLayout& aLayout) {
  CPwFont& label = aLayout.Font(CLayout::EFontLarge);
  const CChannelState& state = iModel->ChannelState();
  const int32_t size = std::max(iSide / 10, label.Height() * 3 / 2);
  const int32_t half = std::max(1, size / 2);
  for (int32_t i = 0; i < state.SatellitesInViewCount(); ++i) {
    const TSatelliteInView& sat = state.SatelliteInView(i);
    const TPwPoint at = SkyPosition(iCentreX, iCentreY, iSide, sat.iElevation, sat.iAzimuth);
    const TPwColour fill = SnrColour(sat.iSnr);
    bool used = false;
    for (int32_t k = 0; k < state.UsedSatelliteCount(); ++k) used = used || state.UsedSatellite(k) == sat.iNumber;
    aBitmap.SetPen(used ? 0xFFFFFF : fill, 1, EPenSolid);
    aBitmap.SetFillColour(fill);
    aBitmap.DrawCircle(at.iX, at.iY, half);
    aBitmap.SetFillColour(KPwNoColour);
    iText.Reset();
    iText.AppendNum(sat.iNumber);
    aBitmap.DrawText(iText, label, TPwRect{at.iX - size, at.iY - label.Height() / 2, at.iX + size, at.iY + label.Height() / 2 + 1},
                     EAlignCentre, KSatelliteText);
  }
}

void CAzimuthDrawer::DrawCompass(CPwBitmap& aBitmap) {
  TAngle bearing;
  if (!iModel->SlowBearing().Bearing(bearing) || !bearing.IsValid()) return;
  const double b = bearing.iValue;
  const double r = iSide / 2.0;
  const TPwPoint arrow[4] = {Polar(iCentreX, iCentreY, r, b), Polar(iCentreX, iCentreY, r, b + 144.0 * KPi / 180.0),
                             Polar(iCentreX, iCentreY, r / 2.0, b + KPi),
                             Polar(iCentreX, iCentreY, r, b + 216.0 * KPi / 180.0)};
  aBitmap.SetPen(KCompassArrow, 1, EPenSolid);
  aBitmap.SetFillColour(KCompassArrow);
  aBitmap.DrawPolygon(arrow, 4);
  aBitmap.SetFillColour(KPwNoColour);
  iText.Reset();
  iText.AppendReal(bearing.CompassDegrees(), 0);
  iText.Append(iModel->Strings().UnitText(EQuantityAngle));
  DrawValue(aBitmap, *iBigFont, iText);
}

void CAzimuthDrawer::DrawTimeChannel(CPwBitmap& aBitmap, CLayout& aLayout, TChannelId aChannel) {
  const CChannelState& state = iModel->ChannelState();
  CPwFont& label = aLayout.Font(CLayout::EFontLarge);
  DrawPanel(aBitmap);
  DrawName(aBitmap, label, aChannel);
  const double rate = state.UpdateRate(aChannel);
  if (IsValidReal(rate)) {
    iText.Reset();
    iText.AppendReal(rate, 1);
    iText.Append(u" ");
    iText.Append(iModel->Strings().UnitText(KUnitClassRate));
    DrawCentred(aBitmap, label, iText, iCentreX, iCentreY + iSide / 4, KLabelText);
  }
  const PwTime time = state.Time(aChannel);
  if (!time.IsSet()) {
    DrawValue(aBitmap, *iSmallFont, iNoData);
    return;
  }
  if (aChannel == KChannelGpsTime) {
    time.FormatTimeOfDay(iText, 1);
  } else {
    const PwTime gps = state.Time(KChannelGpsTime);
    if (!gps.IsSet()) {
      DrawValue(aBitmap, *iSmallFont, iNoData);
      return;
    }
    TimeFromWide(static_cast<int64_t>(time.Milliseconds()) - gps.Milliseconds()).FormatDuration(iText, 2, true, true);
  }
  DrawValue(aBitmap, *iSmallFont, iText);
}

void CAzimuthDrawer::DrawQuantity(CPwBitmap& aBitmap, CLayout& aLayout, TChannelId aChannel) {
  const int32_t q = ChannelQuantityClass(aChannel);
  if (q == 3 || q == 9 || q == 16 || q == 17 || q == 18 || q > 20) return;
  CPwFont& label = aLayout.Font(CLayout::EFontLarge);
  const double value = iModel->ChannelState().Value(aChannel);
  const CPwStringC unit = iModel->Strings().UnitText(q);
  if (q == 4 || q == 6 || q == 8) {
    aBitmap.SetPen(KDialOutline, 1, EPenSolid);
    aBitmap.SetFillColour(KDialFill);
    aBitmap.DrawEllipse(iSquare);
    aBitmap.SetFillColour(KPwNoColour);
    aBitmap.FillRect(TPwRect{iCentreX - 4, iCentreY - 4, iCentreX + 4, iCentreY + 4}, KNeedle);
    DrawName(aBitmap, label, aChannel);
    DrawCentred(aBitmap, label, unit, iCentreX, iCentreY + iSide / 4, KLabelText);
    if (IsValidReal(value)) {
      const TPwPoint tip = Polar(iCentreX, iCentreY, iSide / 2.0, NeedleAngle(q, value));
      aBitmap.SetPen(KNeedle, 3, EPenSolid);
      aBitmap.DrawLine(iCentreX, iCentreY, tip.iX, tip.iY);
      aBitmap.SetPen(KDialOutline, 1, EPenSolid);
    }
  } else {
    DrawPanel(aBitmap);
    DrawName(aBitmap, label, aChannel);
    if (q != 13) DrawCentred(aBitmap, label, unit, iCentreX, iCentreY + iSide / 4, KLabelText);
  }
  if (!IsValidReal(value)) {
    // The small font: the words would not fit the square in the large one.
    DrawValue(aBitmap, *iSmallFont, iNoData);
    return;
  }
  const bool english = iModel->Settings().Units() == CStringProvider::KUnitsEnglish;
  iText.Reset();
  iText.AppendReal(value * QuantityFactor(q, english), q == EQuantityCount ? 0 : QuantityDecimals(q));
  DrawValue(aBitmap, *iBigFont, iText);
}

void CAzimuthDrawer::Draw(CPwBitmap& aBitmap, CLayout& aLayout, TChannelId aChannel, bool aDrawOver) {
  if (!iModel->TrackSession() || !iBigFont || iSide <= 0) return;
  // Nothing of the gauge spills over its rectangle.
  const TPwRect clip = aBitmap.ClipRect();
  aBitmap.SetClipRect(clip.Intersection(iRect));
  DrawFace(aBitmap, aLayout, aChannel, aDrawOver);
  aBitmap.SetClipRect(clip);
}

void CAzimuthDrawer::DrawFace(CPwBitmap& aBitmap, CLayout& aLayout, TChannelId aChannel, bool aDrawOver) {
  if (!aDrawOver) aBitmap.FillRect(iRect, KBackground);
  const CChannelState& state = iModel->ChannelState();
  if (aChannel == 0 || (aChannel != KChannelSatellites && !state.Has(aChannel))) {
    aBitmap.SetPen(KEmptyRing, 1, EPenSolid);
    aBitmap.SetFillColour(KPwNoColour);
    aBitmap.DrawEllipse(iSquare);
    return;
  }
  CPwFont& label = aLayout.Font(CLayout::EFontLarge);
  if (ChannelQuantityClass(aChannel) == EQuantityTime) {
    DrawTimeChannel(aBitmap, aLayout, aChannel);
  } else if (aChannel == KChannelSatellites) {
    DrawDial(aBitmap);
    DrawName(aBitmap, label, aChannel);
    DrawSatellites(aBitmap, aLayout);
  } else if (aChannel == KChannelBearing) {
    DrawDial(aBitmap);
    DrawName(aBitmap, label, aChannel);
    DrawCompass(aBitmap);
  } else {
    DrawQuantity(aBitmap, aLayout, aChannel);
  }
}
