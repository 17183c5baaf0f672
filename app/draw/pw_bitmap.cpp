#include "app/draw/pw_bitmap.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/draw/pw_font.h"
#include "app/draw/text_layout.h"
#include "foundation/paths.h"
#include "platform/png_io.h"

namespace {

// Coordinates beyond this are cut off before rasterising, which keeps every product of the
// line stepping inside 64 bits. Far larger than any bitmap.
constexpr int64_t KCoordLimit = int64_t(1) << 24;

// How much of a colour covers what lies beneath, 0 (nothing) to 255 (all).
inline uint32_t Opacity(TPwColour aColour) { return 255u - (aColour >> 24); }

// aColour's red, green and blue over aDest with opacity aAlpha (1..254): each channel becomes
// (s × a + d × (255 − a)) / 255, rounded; the alpha channel gathers coverage the same way.
inline uint32_t Blend(uint32_t aDest, uint32_t aColour, uint32_t aAlpha) {
  const uint32_t inv = 255u - aAlpha;
  const uint32_t r = (((aColour >> 16) & 0xFF) * aAlpha + ((aDest >> 16) & 0xFF) * inv + 127) / 255;
  const uint32_t g = (((aColour >> 8) & 0xFF) * aAlpha + ((aDest >> 8) & 0xFF) * inv + 127) / 255;
  const uint32_t b = ((aColour & 0xFF) * aAlpha + (aDest & 0xFF) * inv + 127) / 255;
  const uint32_t a = aAlpha + ((aDest >> 24) * inv + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

inline void BlendPixel(uint32_t& aDest, uint32_t aColour, uint32_t aAlpha) {
  if (aAlpha >= 255)
    aDest = aColour | 0xFF000000u;
  else if (aAlpha > 0)
    aDest = Blend(aDest, aColour, aAlpha);
}

int64_t Clamp64(int64_t aValue, int64_t aLow, int64_t aHigh) {
  return aValue < aLow ? aLow : (aValue > aHigh ? aHigh : aValue);
}

// Cuts a line to the square of ±KCoordLimit (Liang–Barsky). False when nothing is left.
bool LimitLine(int64_t& aX0, int64_t& aY0, int64_t& aX1, int64_t& aY1) {
  const int64_t lim = KCoordLimit;
  auto inside = [lim](int64_t v) { return v >= -lim && v <= lim; };
  if (inside(aX0) && inside(aY0) && inside(aX1) && inside(aY1)) return true;
  const double x0 = static_cast<double>(aX0), y0 = static_cast<double>(aY0);
  const double dx = static_cast<double>(aX1) - x0, dy = static_cast<double>(aY1) - y0;
  double t0 = 0.0, t1 = 1.0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 + lim, lim - x0, y0 + lim, lim - y0};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0.0) {
      if (q[k] < 0.0) return false;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0.0) {
      if (t > t1) return false;
      if (t > t0) t0 = t;
    } else {
      if (t < t0) return false;
      if (t < t1) t1 = t;
    }
  }
  aX1 = Clamp64(std::llround(x0 + t1 * dx), -lim, lim);
  aY1 = Clamp64(std::llround(y0 + t1 * dy), -lim, lim);
  aX0 = Clamp64(std::llround(x0 + t0 * dx), -lim, lim);
  aY0 = Clamp64(std::llround(y0 + t0 * dy), -lim, lim);
  return true;
}

struct TPointF {
  double iX;
  double iY;
};

}  // namespace

CPwBitmap* CPwBitmap::NewL(int32_t aWidth, int32_t aHeight) {
  return PwConstructL(new CPwBitmap(), [&](CPwBitmap* aSelf) { aSelf->ResizeL(aWidth, aHeight); });
}

CPwBitmap::~CPwBitmap() { FreeMem(iPixels); }

void CPwBitmap::ResizeL(int32_t aWidth, int32_t aHeight) {
  if (aWidth < 0 || aHeight < 0 || aWidth > KMaxSide || aHeight > KMaxSide) Leave(KErrNoMemory);
  const size_t count = static_cast<size_t>(aWidth) * static_cast<size_t>(aHeight);
  uint32_t* pixels = count ? static_cast<uint32_t*>(AllocL(count * 4)) : nullptr;
  FreeMem(iPixels);
  iPixels = pixels;
  iWidth = count ? aWidth : 0;
  iHeight = count ? aHeight : 0;
  std::fill(iPixels, iPixels + count, 0xFF000000u);
  ResetClipRect();
}

TPwBlitRegion CPwBitmap::BlitRegion(const TPwRect& aRect) const {
  TPwBlitRegion region;
  region.iRect = aRect.Intersection(Bounds());
  region.iPitchBytes = PitchBytes();
  if (!region.iRect.IsEmpty())
    region.iFirst = iPixels + static_cast<size_t>(region.iRect.iTop) * iWidth + region.iRect.iLeft;
  return region;
}

// ---- fills ------------------------------------------------------------------------------

void CPwBitmap::BlendSpan(int32_t aY, int32_t aX0, int32_t aX1, TPwColour aColour) {
  if (aY < iClip.iTop || aY >= iClip.iBottom) return;
  if (aX0 < iClip.iLeft) aX0 = iClip.iLeft;
  if (aX1 > iClip.iRight) aX1 = iClip.iRight;
  if (aX0 >= aX1) return;
  uint32_t* row = iPixels + static_cast<size_t>(aY) * iWidth;
  const uint32_t alpha = Opacity(aColour);
  if (alpha == 255) {
    std::fill(row + aX0, row + aX1, aColour | 0xFF000000u);
  } else if (alpha > 0) {
    for (int32_t x = aX0; x < aX1; ++x) row[x] = Blend(row[x], aColour, alpha);
  }
}

void CPwBitmap::FillClipped(TPwRect aRect, TPwColour aColour) {
  aRect = aRect.Intersection(iClip);
  if (aRect.IsEmpty() || Opacity(aColour) == 0) return;
  for (int32_t y = aRect.iTop; y < aRect.iBottom; ++y)
    BlendSpan(y, aRect.iLeft, aRect.iRight, aColour);
}

void CPwBitmap::Clear(TPwColour aColour) {
  std::fill(iPixels, iPixels + static_cast<size_t>(iWidth) * iHeight, aColour | 0xFF000000u);
}

void CPwBitmap::FillRect(const TPwRect& aRect, TPwColour aColour) { FillClipped(aRect, aColour); }

void CPwBitmap::Plot(int32_t aX, int32_t aY, TPwColour aColour) {
  if (!iClip.Contains(aX, aY)) return;
  BlendPixel(iPixels[static_cast<size_t>(aY) * iWidth + aX], aColour, Opacity(aColour));
}

void CPwBitmap::DrawRect(const TPwRect& aRect) {
  if (aRect.IsEmpty()) return;
  TPwRect inner = aRect;
  const bool outline = iPenStyle != EPenNone && Opacity(iPenColour) > 0;
  if (outline && iPenStyle == EPenSolid) {
    // Four bands that do not overlap, so translucent outlines blend once per pixel.
    const int32_t w = std::min({iPenSize, (aRect.Width() + 1) / 2, (aRect.Height() + 1) / 2});
    const int32_t l = aRect.iLeft, t = aRect.iTop, r = aRect.iRight, b = aRect.iBottom;
    FillClipped(TPwRect{l, t, r, t + w}, iPenColour);
    FillClipped(TPwRect{l, std::max(t + w, b - w), r, b}, iPenColour);
    FillClipped(TPwRect{l, t + w, l + w, b - w}, iPenColour);
    FillClipped(TPwRect{std::max(l + w, r - w), t + w, r, b - w}, iPenColour);
    inner = aRect.Shrunk(w);
  } else if (outline) {
    // Dotted and dashed outlines run once round the edge, one pixel wide, clockwise.
    const int32_t size = iPenSize;
    iPenSize = 1;
    const int32_t l = aRect.iLeft, t = aRect.iTop, r = aRect.iRight - 1, b = aRect.iBottom - 1;
    if (l == r || t == b) {
      Line(l, t, r, b, true);
    } else {
      Line(l, t, r, t, false);
      Line(r, t, r, b, false);
      Line(r, b, l, b, false);
      Line(l, b, l, t, false);
    }
    iPenSize = size;
    inner = aRect.Shrunk(1);
  }
  FillClipped(inner, iFillColour);
}

void CPwBitmap::FillGradient(const TPwRect& aRect, TPwColour aFrom, TPwColour aTo, bool aVertical) {
  const TPwRect area = aRect.Intersection(iClip);
  if (area.IsEmpty()) return;
  const int32_t steps = (aVertical ? aRect.Height() : aRect.Width()) - 1;
  auto mix = [&](int32_t aStep) -> TPwColour {
    if (steps <= 0) return aFrom;
    TPwColour c = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const int32_t a = static_cast<int32_t>((aFrom >> shift) & 0xFF);
      const int32_t b = static_cast<int32_t>((aTo >> shift) & 0xFF);
      const int32_t v = a + ((b - a) * aStep * 2 + (b >= a ? steps : -steps)) / (2 * steps);
      c |= static_cast<uint32_t>(v & 0xFF) << shift;
    }
    return c;
  };
  if (aVertical) {
    for (int32_t y = area.iTop; y < area.iBottom; ++y)
      BlendSpan(y, area.iLeft, area.iRight, mix(y - aRect.iTop));
  } else {
    for (int32_t x = area.iLeft; x < area.iRight; ++x) {
      const TPwColour c = mix(x - aRect.iLeft);
      for (int32_t y = area.iTop; y < area.iBottom; ++y) BlendSpan(y, x, x + 1, c);
    }
  }
}

// ---- lines ------------------------------------------------------------------------------

bool CPwBitmap::PatternDraws(uint32_t aStep) const {
  switch (iPenStyle) {
    case EPenDotted:
      return aStep % 4 == 0;
    case EPenDashed:
      return aStep % 6 < 3;
    default:
      return true;
  }
}

void CPwBitmap::Line(int64_t aX0, int64_t aY0, int64_t aX1, int64_t aY1, bool aLastPixel) {
  if (iPenStyle == EPenNone) return;
  if (!LimitLine(aX0, aY0, aX1, aY1)) return;
  const int64_t dx = std::llabs(aX1 - aX0), dy = std::llabs(aY1 - aY0);
  const bool xMajor = dx >= dy;
  const int64_t major = xMajor ? dx : dy;
  const int64_t minor = xMajor ? dy : dx;
  const int64_t last = aLastPixel ? major : major - 1;  // index of the last step drawn
  if (last < 0) return;
  const uint32_t counter = iPatternCounter;
  iPatternCounter += static_cast<uint32_t>(last + 1);
  const uint32_t alpha = Opacity(iPenColour);
  if (alpha == 0 || iClip.IsEmpty()) return;

  // A thick line is a run of spans across its minor axis, long enough that the width measured
  // square to the line is the pen size.
  int64_t thickness = 1;
  if (iPenSize > 1) {
    thickness = iPenSize;
    if (major > 0) {
      const double len = std::sqrt(static_cast<double>(major) * major + static_cast<double>(minor) * minor);
      thickness = std::max<int64_t>(iPenSize, std::llround(iPenSize * len / static_cast<double>(major)));
    }
  }
  const int64_t below = (thickness - 1) / 2;  // span runs from m - below to m + above
  const int64_t above = thickness / 2;

  const int64_t a0 = xMajor ? aX0 : aY0;  // major axis start and direction
  const int64_t sa = (xMajor ? aX1 >= aX0 : aY1 >= aY0) ? 1 : -1;
  const int64_t b0 = xMajor ? aY0 : aX0;  // minor axis
  const int64_t sb = (xMajor ? aY1 >= aY0 : aX1 >= aX0) ? 1 : -1;
  const int64_t majorLow = xMajor ? iClip.iLeft : iClip.iTop;
  const int64_t majorHigh = (xMajor ? iClip.iRight : iClip.iBottom) - 1;
  const int64_t minorLow = xMajor ? iClip.iTop : iClip.iLeft;
  const int64_t minorHigh = (xMajor ? iClip.iBottom : iClip.iRight) - 1;

  // Only the steps whose major coordinate lies in the clip are visited, so far-off lines cost
  // no more than the clip is long.
  int64_t from = sa > 0 ? majorLow - a0 : a0 - majorHigh;
  int64_t to = sa > 0 ? majorHigh - a0 : a0 - majorLow;
  if (from < 0) from = 0;
  if (to > last) to = last;

  // The minor coordinate rounds i × minor / major half up: the Bresenham choice. The quotient
  // is carried from step to step instead of divided out at every pixel.
  const int64_t denominator = 2 * std::max<int64_t>(major, 1);
  int64_t quotient = 0, remainder = 0;
  if (major && from <= to) {
    const int64_t numerator = 2 * from * minor + major;
    quotient = numerator / denominator;
    remainder = numerator % denominator;
  }
  if (thickness == 1 && iPenStyle == EPenSolid && alpha >= 255) {
    // The common case of graphs and routes: one opaque pixel per step.
    const uint32_t colour = iPenColour | 0xFF000000u;
    const int64_t pitch = xMajor ? 1 : iWidth;        // one major step in pixels
    const int64_t across = xMajor ? iWidth : 1;       // one minor step in pixels
    for (int64_t i = from; i <= to; ++i) {
      const int64_t m = major ? b0 + sb * quotient : b0;
      remainder += 2 * minor;
      if (remainder >= denominator) {
        remainder -= denominator;
        ++quotient;
      }
      if (m < minorLow || m > minorHigh) continue;
      iPixels[static_cast<size_t>((a0 + sa * i) * pitch + m * across)] = colour;
    }
    return;
  }
  for (int64_t i = from; i <= to; ++i) {
    const int64_t step = quotient;
    remainder += 2 * minor;
    while (remainder >= denominator) {
      remainder -= denominator;
      ++quotient;
    }
    if (!PatternDraws(counter + static_cast<uint32_t>(i))) continue;
    const int64_t a = a0 + sa * i;
    const int64_t m = major ? b0 + sb * step : b0;
    const int64_t lo = std::max(m - below, minorLow);
    const int64_t hi = std::min(m + above, minorHigh);
    if (lo > hi) continue;
    if (xMajor) {
      uint32_t* p = iPixels + static_cast<size_t>(lo) * iWidth + a;
      for (int64_t y = lo; y <= hi; ++y, p += iWidth) BlendPixel(*p, iPenColour, alpha);
    } else {
      uint32_t* row = iPixels + static_cast<size_t>(a) * iWidth;
      for (int64_t x = lo; x <= hi; ++x) BlendPixel(row[x], iPenColour, alpha);
    }
  }
}

void CPwBitmap::DrawLine(int32_t aX0, int32_t aY0, int32_t aX1, int32_t aY1) {
  Line(aX0, aY0, aX1, aY1, true);
}

void CPwBitmap::DrawPolyline(const TPwPoint* aPoints, int32_t aCount) {
  if (!aPoints || aCount <= 0) return;
  if (aCount == 1) {
    Line(aPoints[0].iX, aPoints[0].iY, aPoints[0].iX, aPoints[0].iY, true);
    return;
  }
  for (int32_t i = 0; i + 1 < aCount; ++i)
    Line(aPoints[i].iX, aPoints[i].iY, aPoints[i + 1].iX, aPoints[i + 1].iY, i + 2 == aCount);
  // Thick solid lines get round joints so corners show no notch. Translucent pens go
  // without: the joint would blend twice.
  if (iPenSize >= 3 && iPenStyle == EPenSolid && Opacity(iPenColour) == 255) {
    for (int32_t i = 1; i + 1 < aCount; ++i)
      DrawMarker(EMarkerCircle, aPoints[i].iX, aPoints[i].iY, iPenSize | 1, iPenColour);
  }
}

// ---- polygons and ellipses ----------------------------------------------------------------

// Even-odd scan conversion sampled at pixel centres; vertices are pixel centres.
void CPwBitmap::FillPolygon(const TPwPoint* aPoints, int32_t aCount, TPwColour aColour) {
  if (aCount < 3 || Opacity(aColour) == 0 || iClip.IsEmpty()) return;
  int64_t minY = aPoints[0].iY, maxY = aPoints[0].iY;
  for (int32_t i = 1; i < aCount; ++i) {
    minY = std::min<int64_t>(minY, aPoints[i].iY);
    maxY = std::max<int64_t>(maxY, aPoints[i].iY);
  }
  const int32_t y0 = static_cast<int32_t>(std::max<int64_t>(minY, iClip.iTop));
  const int32_t y1 = static_cast<int32_t>(std::min<int64_t>(maxY, iClip.iBottom - 1));
  if (y0 > y1) return;
  // A row crosses at most every edge once; small polygons need no heap.
  int32_t local[64];
  int32_t* xs = aCount <= 64 ? local : static_cast<int32_t*>(AllocL(sizeof(int32_t) * aCount));
  for (int32_t y = y0; y <= y1; ++y) {
    int32_t n = 0;
    const double yc = y;  // the sample line through the pixel centres of row y
    for (int32_t i = 0; i < aCount; ++i) {
      const TPwPoint& p = aPoints[i];
      const TPwPoint& q = aPoints[(i + 1) % aCount];
      if (p.iY == q.iY) continue;
      const double ya = std::min(p.iY, q.iY), yb = std::max(p.iY, q.iY);
      // Half-open in y so a vertex shared by two edges is counted once.
      if (yc < ya || yc >= yb) continue;
      const double x = p.iX + (yc - p.iY) * (static_cast<double>(q.iX) - p.iX) / (q.iY - p.iY);
      // Pixels whose centre lies at or right of x start here.
      xs[n++] = static_cast<int32_t>(std::clamp(std::ceil(x), -1e9, 1e9));
    }
    std::sort(xs, xs + n);
    for (int32_t k = 0; k + 1 < n; k += 2) BlendSpan(y, xs[k], xs[k + 1], aColour);
  }
  if (xs != local) FreeMem(xs);
}

void CPwBitmap::DrawPolygon(const TPwPoint* aPoints, int32_t aCount) {
  if (!aPoints || aCount <= 0) return;
  FillPolygon(aPoints, aCount, iFillColour);
  if (iPenStyle == EPenNone) return;
  for (int32_t i = 0; i < aCount; ++i) {
    const TPwPoint& p = aPoints[i];
    const TPwPoint& q = aPoints[(i + 1) % aCount];
    Line(p.iX, p.iY, q.iX, q.iY, aCount == 1);
  }
}

// The pixels [aX0, aX1) of row aY whose centres lie inside the ellipse of the rectangle.
void CPwBitmap::EllipseSpans(const TPwRect& aRect, int32_t aY, int32_t& aX0, int32_t& aX1) const {
  aX0 = aX1 = 0;
  if (aRect.IsEmpty() || aY < aRect.iTop || aY >= aRect.iBottom) return;
  const double cx = (static_cast<double>(aRect.iLeft) + aRect.iRight) / 2.0;
  const double cy = (static_cast<double>(aRect.iTop) + aRect.iBottom) / 2.0;
  const double ra = aRect.Width() / 2.0, rb = aRect.Height() / 2.0;
  const double v = (aY + 0.5 - cy) / rb;
  const double half = ra * std::sqrt(std::max(0.0, 1.0 - v * v));
  aX0 = static_cast<int32_t>(std::ceil(cx - half - 0.5 - 1e-9));
  aX1 = static_cast<int32_t>(std::floor(cx + half - 0.5 + 1e-9)) + 1;
  if (aX1 < aX0) aX1 = aX0;
}

void CPwBitmap::DrawEllipse(const TPwRect& aRect) {
  const TPwRect rows = aRect.Intersection(TPwRect{aRect.iLeft, iClip.iTop, aRect.iRight, iClip.iBottom});
  if (rows.IsEmpty()) return;
  const bool outline = iPenStyle != EPenNone && Opacity(iPenColour) > 0;
  const int32_t w = outline ? iPenSize : 0;
  const TPwRect inner = aRect.Shrunk(w);
  for (int32_t y = rows.iTop; y < rows.iBottom; ++y) {
    int32_t ox0, ox1, ix0, ix1;
    EllipseSpans(aRect, y, ox0, ox1);
    EllipseSpans(inner, y, ix0, ix1);
    if (ix0 >= ix1) {
      // Above or below the inner ellipse the whole row is outline (or fill without one).
      BlendSpan(y, ox0, ox1, outline ? iPenColour : iFillColour);
      continue;
    }
    if (outline) {
      BlendSpan(y, ox0, ix0, iPenColour);
      BlendSpan(y, ix1, ox1, iPenColour);
    }
    BlendSpan(y, ix0, ix1, iFillColour);
  }
}

void CPwBitmap::DrawCircle(int32_t aX, int32_t aY, int32_t aRadius) {
  if (aRadius < 0) return;
  DrawEllipse(TPwRect{aX - aRadius, aY - aRadius, aX + aRadius + 1, aY + aRadius + 1});
}

void CPwBitmap::DrawMarker(TPwMarker aKind, int32_t aX, int32_t aY, int32_t aSize, TPwColour aColour) {
  if (aSize <= 0) return;
  const int32_t l = aX - aSize / 2, t = aY - aSize / 2;
  const TPwRect box{l, t, l + aSize, t + aSize};
  switch (aKind) {
    case EMarkerSquare:
      FillClipped(box, aColour);
      return;
    case EMarkerCircle: {
      for (int32_t y = std::max(box.iTop, iClip.iTop); y < std::min(box.iBottom, iClip.iBottom); ++y) {
        int32_t x0, x1;
        EllipseSpans(box, y, x0, x1);
        BlendSpan(y, x0, x1, aColour);
      }
      return;
    }
    default:
      break;
  }
  // Triangles and the diamond, in continuous coordinates where pixel (x, y) covers
  // [x, x + 1) × [y, y + 1); a pixel is inside when its centre is.
  const double L = l, T = t, S = aSize, M = l + S / 2, C = t + S / 2;
  TPointF shape[4];
  int32_t count = 3;
  if (aKind == EMarkerTriangle) {
    shape[0] = {M, T}, shape[1] = {L + S, T + S}, shape[2] = {L, T + S};
  } else if (aKind == EMarkerTriangleDown) {
    shape[0] = {L, T}, shape[1] = {L + S, T}, shape[2] = {M, T + S};
  } else {
    shape[0] = {M, T}, shape[1] = {L + S, C}, shape[2] = {M, T + S}, shape[3] = {L, C};
    count = 4;
  }
  for (int32_t y = std::max(box.iTop, iClip.iTop); y < std::min(box.iBottom, iClip.iBottom); ++y) {
    const double yc = y + 0.5;
    double xs[4];
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
      const TPointF& p = shape[i];
      const TPointF& q = shape[(i + 1) % count];
      if (p.iY == q.iY) continue;
      if (yc < std::min(p.iY, q.iY) || yc >= std::max(p.iY, q.iY)) continue;
      xs[n++] = p.iX + (yc - p.iY) * (q.iX - p.iX) / (q.iY - p.iY);
    }
    if (n < 2) continue;
    const double a = std::min(xs[0], xs[1]), b = std::max(xs[0], xs[1]);
    BlendSpan(y, static_cast<int32_t>(std::ceil(a - 0.5)), static_cast<int32_t>(std::ceil(b - 0.5)),
              aColour);
  }
}

// ---- text -------------------------------------------------------------------------------

void CPwBitmap::DrawGlyphs(CPwStringC aText, CPwFont& aFont, int32_t aX, int32_t aBaseline,
                           TPwColour aColour) {
  const uint32_t opacity = Opacity(aColour);
  for (int32_t pos = 0; pos < aText.Length();) {
    const TPwGlyph& glyph = aFont.Glyph(CPwFont::NextCodePoint(aText, pos));
    if (glyph.iCoverage && opacity > 0) {
      const int32_t gx = aX + glyph.iLeft, gy = aBaseline - glyph.iTop;
      const TPwRect area = TPwRect{gx, gy, gx + glyph.iWidth, gy + glyph.iHeight}.Intersection(iClip);
      for (int32_t y = area.iTop; y < area.iBottom; ++y) {
        const uint8_t* cov = glyph.iCoverage + static_cast<size_t>(y - gy) * glyph.iWidth;
        uint32_t* row = iPixels + static_cast<size_t>(y) * iWidth;
        for (int32_t x = area.iLeft; x < area.iRight; ++x) {
          const uint32_t c = cov[x - gx];
          if (c == 0) continue;
          BlendPixel(row[x], aColour, opacity == 255 ? c : (opacity * c + 127) / 255);
        }
      }
    }
    aX += glyph.iAdvance;
  }
}

int32_t CPwBitmap::DrawTextAt(CPwStringC aText, CPwFont& aFont, int32_t aX, int32_t aY,
                              TPwColour aColour) {
  DrawGlyphs(aText, aFont, aX, aY + aFont.Ascent(), aColour);
  return aX + aFont.TextWidth(aText);
}

void CPwBitmap::DrawText(CPwStringC aText, CPwFont& aFont, const TPwRect& aRect, TPwAlign aAlign,
                         TPwColour aColour) {
  if (aText.IsEmpty()) return;
  const TPwRect saved = iClip;
  iClip = iClip.Intersection(aRect);
  if (!iClip.IsEmpty()) {
    const int32_t width = aFont.TextWidth(aText);
    int32_t x = aRect.iLeft;
    if (aAlign == EAlignCentre)
      x += (aRect.Width() - width) / 2;
    else if (aAlign == EAlignRight)
      x = aRect.iRight - width;
    const int32_t y = aRect.iTop + (aRect.Height() - aFont.Height()) / 2;
    DrawGlyphs(aText, aFont, x, y + aFont.Ascent(), aColour);
  }
  iClip = saved;
}

int32_t CPwBitmap::DrawTextWrapped(CPwStringC aText, CPwFont& aFont, const TPwRect& aRect,
                                   TPwAlign aAlign, TPwColour aColour) {
  CPwVector<TPwTextLine> lines(16);
  WrapText(aFont, aText, aRect.Width(), lines);
  const int32_t height = aFont.Height();
  int32_t y = aRect.iTop;
  for (const TPwTextLine& line : lines) {
    if (y >= aRect.iBottom) break;
    const TPwRect box{aRect.iLeft, y, aRect.iRight, std::min(y + height, aRect.iBottom)};
    const TPwRect lineBox{aRect.iLeft, y, aRect.iRight, y + height};
    const TPwRect saved = iClip;
    iClip = iClip.Intersection(box);
    DrawText(aText.Mid(line.iStart, line.iLength), aFont, lineBox, aAlign, aColour);
    iClip = saved;
    y += height;
  }
  return lines.Count() * height;
}

// ---- bitmaps and icons ------------------------------------------------------------------

void CPwBitmap::DrawBitmap(const CPwBitmap& aSource, int32_t aX, int32_t aY, int32_t aShade) {
  const TPwRect area = TPwRect{aX, aY, aX + aSource.iWidth, aY + aSource.iHeight}.Intersection(iClip);
  const uint32_t shade = static_cast<uint32_t>(std::clamp(aShade, 0, 255));
  for (int32_t y = area.iTop; y < area.iBottom; ++y) {
    const uint32_t* src = aSource.iPixels + static_cast<size_t>(y - aY) * aSource.iWidth;
    uint32_t* row = iPixels + static_cast<size_t>(y) * iWidth;
    for (int32_t x = area.iLeft; x < area.iRight; ++x) {
      uint32_t s = src[x - aX];
      const uint32_t alpha = s >> 24;
      if (alpha == 0) continue;
      if (shade < 255) {
        const uint32_t r = (((s >> 16) & 0xFF) * shade + 127) / 255;
        const uint32_t g = (((s >> 8) & 0xFF) * shade + 127) / 255;
        const uint32_t b = ((s & 0xFF) * shade + 127) / 255;
        s = (r << 16) | (g << 8) | b;
      }
      BlendPixel(row[x], s & 0xFFFFFFu, alpha);
    }
  }
}

void CPwBitmap::DrawIcon(const CPwBitmap* aIcon, const TPwRect& aRect, bool aPressed) {
  if (!aIcon || aIcon->iWidth == 0) return;
  int32_t x = aRect.iLeft + (aRect.Width() - aIcon->iWidth) / 2;
  int32_t y = aRect.iTop + (aRect.Height() - aIcon->iHeight) / 2;
  if (aPressed) ++x, ++y;
  const TPwRect saved = iClip;
  iClip = iClip.Intersection(aRect);
  DrawBitmap(*aIcon, x, y, aPressed ? 176 : 255);
  iClip = saved;
}

void CPwBitmap::CopyRect(const CPwBitmap& aSource, const TPwRect& aSourceRect, int32_t aX, int32_t aY) {
  const TPwRect src = aSourceRect.Intersection(aSource.Bounds());
  if (src.IsEmpty()) return;
  const int32_t dx = aX + (src.iLeft - aSourceRect.iLeft), dy = aY + (src.iTop - aSourceRect.iTop);
  const TPwRect dst = TPwRect{dx, dy, dx + src.Width(), dy + src.Height()}.Intersection(iClip);
  for (int32_t y = dst.iTop; y < dst.iBottom; ++y) {
    const uint32_t* from = aSource.iPixels + static_cast<size_t>(src.iTop + y - dy) * aSource.iWidth +
                           (src.iLeft + dst.iLeft - dx);
    std::memmove(iPixels + static_cast<size_t>(y) * iWidth + dst.iLeft, from,
                 static_cast<size_t>(dst.Width()) * 4);
  }
}

// ---- PNG files --------------------------------------------------------------------------

namespace {

// Area-average resampling with premultiplied alpha, so transparent edges do not bleed dark.
// aSrc is aSw x aSh packed; aDst aDw x aDh packed.
void Resample(const uint32_t* aSrc, int32_t aSw, int32_t aSh, uint32_t* aDst, int32_t aDw, int32_t aDh) {
  // Horizontal pass into floats (premultiplied r, g, b, a per pixel).
  const size_t tmpCount = static_cast<size_t>(aDw) * aSh * 4;
  auto* tmp = static_cast<float*>(AllocL(tmpCount * sizeof(float)));
  const double sx = static_cast<double>(aSw) / aDw, sy = static_cast<double>(aSh) / aDh;
  for (int32_t y = 0; y < aSh; ++y) {
    for (int32_t j = 0; j < aDw; ++j) {
      const double f0 = j * sx, f1 = (j + 1) * sx;
      double acc[4] = {0, 0, 0, 0};
      for (int32_t k = static_cast<int32_t>(f0); k < aSw && k < f1; ++k) {
        const double w = std::min<double>(k + 1, f1) - std::max<double>(k, f0);
        if (w <= 0) continue;
        const uint32_t p = aSrc[static_cast<size_t>(y) * aSw + k];
        const double a = (p >> 24) / 255.0;
        acc[0] += w * a * ((p >> 16) & 0xFF);
        acc[1] += w * a * ((p >> 8) & 0xFF);
        acc[2] += w * a * (p & 0xFF);
        acc[3] += w * (p >> 24);
      }
      float* out = tmp + (static_cast<size_t>(y) * aDw + j) * 4;
      for (int c = 0; c < 4; ++c) out[c] = static_cast<float>(acc[c] / sx);
    }
  }
  for (int32_t i = 0; i < aDh; ++i) {
    const double f0 = i * sy, f1 = (i + 1) * sy;
    for (int32_t j = 0; j < aDw; ++j) {
      double acc[4] = {0, 0, 0, 0};
      for (int32_t k = static_cast<int32_t>(f0); k < aSh && k < f1; ++k) {
        const double w = std::min<double>(k + 1, f1) - std::max<double>(k, f0);
        if (w <= 0) continue;
        const float* in = tmp + (static_cast<size_t>(k) * aDw + j) * 4;
        for (int c = 0; c < 4; ++c) acc[c] += w * in[c];
      }
      const double alpha = acc[3] / sy;  // 0..255
      uint32_t px = 0;
      if (alpha >= 0.5) {
        // Back from premultiplied: the channel sum is alpha fraction × value.
        auto ch = [&](double v) {
          return static_cast<uint32_t>(std::clamp<long>(std::lround(v / sy * 255.0 / alpha), 0, 255));
        };
        px = (static_cast<uint32_t>(std::clamp<long>(std::lround(alpha), 0, 255)) << 24) |
             (ch(acc[0]) << 16) | (ch(acc[1]) << 8) | ch(acc[2]);
      }
      aDst[static_cast<size_t>(i) * aDw + j] = px;
    }
  }
  FreeMem(tmp);
}

}  // namespace

CPwBitmap* CPwBitmap::LoadPngL(CPwStringC aPath, int32_t aWidth, int32_t aHeight) {
  const TNativePath path(aPath);
  if (!path.IsValid()) return nullptr;
  pwplat::TPngImage image;
  const pwplat::TPngResult result = pwplat::PngRead(path.Get(), image);
  if (result == pwplat::EPngNoMemory) Leave(KErrNoMemory);
  if (result != pwplat::EPngOk) return nullptr;

  int32_t w = image.iWidth, h = image.iHeight;
  if (aWidth > 0 && aHeight > 0 && (w != aWidth || h != aHeight)) {
    // Fit inside the asked size, keeping the proportions.
    if (static_cast<int64_t>(w) * aHeight >= static_cast<int64_t>(h) * aWidth) {
      h = static_cast<int32_t>(std::max<int64_t>(1, (static_cast<int64_t>(h) * aWidth + w / 2) / w));
      w = aWidth;
    } else {
      w = static_cast<int32_t>(std::max<int64_t>(1, (static_cast<int64_t>(w) * aHeight + h / 2) / h));
      h = aHeight;
    }
  }
  CPwBitmap* self = nullptr;
  try {
    self = NewL(w, h);
    if (w == image.iWidth && h == image.iHeight)
      std::memcpy(self->iPixels, image.iPixels, static_cast<size_t>(w) * h * 4);
    else
      Resample(image.iPixels, image.iWidth, image.iHeight, self->iPixels, w, h);
  } catch (...) {
    delete self;
    pwplat::PngFree(image);
    throw;
  }
  pwplat::PngFree(image);
  return self;
}

int32_t CPwBitmap::WritePng(CPwStringC aPath, bool aKeepAlpha) const {
  const TNativePath path(aPath);
  if (!path.IsValid()) return KErrCannotOpen;
  switch (pwplat::PngWrite(path.Get(), iPixels, iWidth, iHeight, PitchBytes(), aKeepAlpha)) {
    case pwplat::EPngOk:
      return KErrNone;
    case pwplat::EPngNoMemory:
      return KErrNoMemory;
    default:
      return KErrCannotOpen;
  }
}
