// The off-screen bitmap of the drawing layer: 32-bit pixels 0xAARRGGBB, a pen (colour, size,
// style) and a fill colour, a clipping rectangle, and the primitives every view draws with:
// rectangles, lines, polylines, polygons, ellipses, markers, gradients, text and icons.
//
// Colours are 0xRRGGBB. A non-zero top byte makes a shape translucent: it is the part of what
// lies beneath that shows through (0x00 opaque, 0x7F about half, 0xFF invisible), so plain
// 24-bit colours draw opaque and KPwNoColour draws nothing. Rectangles exclude their right
// and bottom edges.
#pragma once

#include <algorithm>
#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"

class CPwFont;

using TPwColour = uint32_t;
// Fully see-through: a fill or pen of this colour draws nothing.
constexpr TPwColour KPwNoColour = 0xFF000000u;

struct TPwPoint {
  int32_t iX = 0;
  int32_t iY = 0;
};

struct TPwRect {
  int32_t iLeft = 0;
  int32_t iTop = 0;
  int32_t iRight = 0;
  int32_t iBottom = 0;

  constexpr int32_t Width() const { return iRight - iLeft; }
  constexpr int32_t Height() const { return iBottom - iTop; }
  constexpr bool IsEmpty() const { return iRight <= iLeft || iBottom <= iTop; }
  constexpr bool Contains(int32_t aX, int32_t aY) const {
    return aX >= iLeft && aX < iRight && aY >= iTop && aY < iBottom;
  }
  constexpr bool Intersects(const TPwRect& aOther) const {
    return !IsEmpty() && !aOther.IsEmpty() && aOther.iLeft < iRight && iLeft < aOther.iRight &&
           aOther.iTop < iBottom && iTop < aOther.iBottom;
  }
  // The common part (empty rectangles give an empty result).
  constexpr TPwRect Intersection(const TPwRect& aOther) const {
    TPwRect r{std::max(iLeft, aOther.iLeft), std::max(iTop, aOther.iTop),
              std::min(iRight, aOther.iRight), std::min(iBottom, aOther.iBottom)};
    if (r.IsEmpty()) r = TPwRect();
    return r;
  }
  // The smallest rectangle holding both; an empty rectangle adds nothing.
  constexpr TPwRect Union(const TPwRect& aOther) const {
    if (aOther.IsEmpty()) return *this;
    if (IsEmpty()) return aOther;
    return TPwRect{std::min(iLeft, aOther.iLeft), std::min(iTop, aOther.iTop),
                   std::max(iRight, aOther.iRight), std::max(iBottom, aOther.iBottom)};
  }
  // Moved in by aAmount on every side (out for negative amounts).
  constexpr TPwRect Shrunk(int32_t aAmount) const {
    return TPwRect{iLeft + aAmount, iTop + aAmount, iRight - aAmount, iBottom - aAmount};
  }
  constexpr TPwRect Moved(int32_t aDx, int32_t aDy) const {
    return TPwRect{iLeft + aDx, iTop + aDy, iRight + aDx, iBottom + aDy};
  }
  friend constexpr bool operator==(const TPwRect& a, const TPwRect& b) {
    return a.iLeft == b.iLeft && a.iTop == b.iTop && a.iRight == b.iRight && a.iBottom == b.iBottom;
  }
};

enum TPwPenStyle : int32_t {
  EPenNone = 0,    // no outline
  EPenSolid = 1,
  EPenDotted = 2,  // every fourth pixel along a line
  EPenDashed = 3,  // three pixels drawn, three left out
};

enum TPwAlign : int32_t { EAlignLeft = 0, EAlignCentre = 1, EAlignRight = 2 };

enum TPwMarker : int32_t {
  EMarkerCircle = 0,
  EMarkerSquare = 1,
  EMarkerTriangle = 2,      // point up
  EMarkerTriangleDown = 3,  // point down
  EMarkerDiamond = 4,
};

// Where the pixels of a region are, for copying them to the window.
struct TPwBlitRegion {
  const uint32_t* iFirst = nullptr;  // pixel (iRect.iLeft, iRect.iTop); null when empty
  int32_t iPitchBytes = 0;           // from one row to the next
  TPwRect iRect;                     // the asked-for rectangle limited to the bitmap
};

class CPwBitmap : public CPwBase {
 public:
  // Largest width or height accepted.
  static constexpr int32_t KMaxSide = 8192;

  // An opaque black bitmap; leaves with KErrNoMemory when it cannot be made.
  static CPwBitmap* NewL(int32_t aWidth, int32_t aHeight);
  // An icon from a PNG file, scaled to fit aWidth x aHeight keeping its proportions (0 x 0:
  // its own size). Null when the file is missing or not a readable PNG; leaves only with
  // KErrNoMemory.
  static CPwBitmap* LoadPngL(CPwStringC aPath, int32_t aWidth = 0, int32_t aHeight = 0);
  ~CPwBitmap() override;

  // New size, content opaque black, clip reset to the whole bitmap; leaves with KErrNoMemory
  // (keeping the old content) when the size is refused or memory is short.
  void ResizeL(int32_t aWidth, int32_t aHeight);

  int32_t Width() const { return iWidth; }
  int32_t Height() const { return iHeight; }
  TPwRect Bounds() const { return TPwRect{0, 0, iWidth, iHeight}; }
  int32_t PitchBytes() const { return iWidth * 4; }
  uint32_t* Pixels() { return iPixels; }
  const uint32_t* Pixels() const { return iPixels; }
  // The pixel at (aX, aY); 0 outside the bitmap.
  uint32_t Pixel(int32_t aX, int32_t aY) const {
    return Bounds().Contains(aX, aY) ? iPixels[static_cast<size_t>(aY) * iWidth + aX] : 0;
  }
  TPwBlitRegion BlitRegion(const TPwRect& aRect) const;

  // Drawing is limited to the clip rectangle (itself limited to the bitmap).
  void SetClipRect(const TPwRect& aRect) { iClip = aRect.Intersection(Bounds()); }
  void ResetClipRect() { iClip = Bounds(); }
  TPwRect ClipRect() const { return iClip; }

  // The pen draws lines and outlines; a size below 1 counts as 1.
  void SetPen(TPwColour aColour, int32_t aSize = 1, int32_t aStyle = EPenSolid) {
    iPenColour = aColour;
    iPenSize = aSize < 1 ? 1 : aSize;
    iPenStyle = aStyle;
  }
  void SetPenColour(TPwColour aColour) { iPenColour = aColour; }
  void SetPenSize(int32_t aSize) { iPenSize = aSize < 1 ? 1 : aSize; }
  void SetPenStyle(int32_t aStyle) { iPenStyle = aStyle; }
  TPwColour PenColour() const { return iPenColour; }
  int32_t PenSize() const { return iPenSize; }
  int32_t PenStyle() const { return iPenStyle; }
  // The dotted and dashed patterns run on across lines (a polyline stays even); this starts
  // the pattern afresh at the next line.
  void ResetPenPattern() { iPatternCounter = 0; }
  // The fill of rectangles, polygons and ellipses; KPwNoColour leaves them hollow.
  void SetFillColour(TPwColour aColour) { iFillColour = aColour; }
  TPwColour FillColour() const { return iFillColour; }

  // Every pixel set to aColour, opaque, ignoring the clip rectangle.
  void Clear(TPwColour aColour);
  // A filled rectangle in aColour (translucent by its top byte), inside the clip rectangle.
  void FillRect(const TPwRect& aRect, TPwColour aColour);
  // A rectangle filled with the fill colour and outlined with the pen inside its edges.
  void DrawRect(const TPwRect& aRect);
  // Colours blended from aFrom to aTo across the rectangle, top to bottom (or left to right).
  void FillGradient(const TPwRect& aRect, TPwColour aFrom, TPwColour aTo, bool aVertical = true);
  // One pixel blended with aColour.
  void Plot(int32_t aX, int32_t aY, TPwColour aColour);

  // A line with the pen, both end points included. Thick lines are centred on the ideal line.
  void DrawLine(int32_t aX0, int32_t aY0, int32_t aX1, int32_t aY1);
  // Connected lines through the points; joints are drawn once (and rounded for opaque solid
  // pens of 3 pixels and more).
  void DrawPolyline(const TPwPoint* aPoints, int32_t aCount);
  // A closed polygon filled with the fill colour and outlined with the pen.
  void DrawPolygon(const TPwPoint* aPoints, int32_t aCount);
  // The ellipse inside a rectangle, filled with the fill colour and outlined with the pen
  // (the outline is always solid).
  void DrawEllipse(const TPwRect& aRect);
  // A circle of radius aRadius around the pixel (aX, aY): 2 x aRadius + 1 pixels across.
  void DrawCircle(int32_t aX, int32_t aY, int32_t aRadius);
  // A filled marker of aSize pixels across centred on (aX, aY), ignoring the pen.
  void DrawMarker(TPwMarker aKind, int32_t aX, int32_t aY, int32_t aSize, TPwColour aColour);

  // One line of text with its line box's top-left corner at (aX, aY). Returns the x after
  // the text.
  int32_t DrawTextAt(CPwStringC aText, CPwFont& aFont, int32_t aX, int32_t aY, TPwColour aColour);
  // One line of text aligned in the rectangle, centred vertically, clipped to the rectangle.
  void DrawText(CPwStringC aText, CPwFont& aFont, const TPwRect& aRect, TPwAlign aAlign,
                TPwColour aColour);
  // Text wrapped to the rectangle's width, lines from its top, each aligned; clipped to the
  // rectangle. Returns the height of all the lines (also those that did not fit).
  int32_t DrawTextWrapped(CPwStringC aText, CPwFont& aFont, const TPwRect& aRect, TPwAlign aAlign,
                          TPwColour aColour);

  // Another bitmap blended over this one through its alpha channel with its top-left corner
  // at (aX, aY); aShade (0..255) darkens it, 255 keeps its colours.
  void DrawBitmap(const CPwBitmap& aSource, int32_t aX, int32_t aY, int32_t aShade = 255);
  // An icon centred in the rectangle; pressed icons are darker and one pixel down and right.
  // A null icon draws nothing.
  void DrawIcon(const CPwBitmap* aIcon, const TPwRect& aRect, bool aPressed);
  // Pixels copied unchanged from a part of another bitmap to (aX, aY), inside the clip.
  void CopyRect(const CPwBitmap& aSource, const TPwRect& aSourceRect, int32_t aX, int32_t aY);

  // Writes the bitmap as a PNG file (RGB, or RGBA with aKeepAlpha): KErrNone, KErrNoMemory,
  // or KErrCannotOpen when the file cannot be created or written (no partial file remains).
  int32_t WritePng(CPwStringC aPath, bool aKeepAlpha = false) const;

 private:
  CPwBitmap() = default;
  void BlendSpan(int32_t aY, int32_t aX0, int32_t aX1, TPwColour aColour);
  void FillClipped(TPwRect aRect, TPwColour aColour);
  void Line(int64_t aX0, int64_t aY0, int64_t aX1, int64_t aY1, bool aLastPixel);
  bool PatternDraws(uint32_t aStep) const;
  void FillPolygon(const TPwPoint* aPoints, int32_t aCount, TPwColour aColour);
  void EllipseSpans(const TPwRect& aRect, int32_t aY, int32_t& aX0, int32_t& aX1) const;
  void DrawGlyphs(CPwStringC aText, CPwFont& aFont, int32_t aX, int32_t aBaseline,
                  TPwColour aColour);

  int32_t iWidth = 0;
  int32_t iHeight = 0;
  uint32_t* iPixels = nullptr;
  TPwRect iClip;
  TPwColour iPenColour = 0;
  int32_t iPenSize = 1;
  int32_t iPenStyle = EPenSolid;
  TPwColour iFillColour = KPwNoColour;
  uint32_t iPatternCounter = 0;
};
