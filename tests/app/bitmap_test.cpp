// Pixel-exact checks of the bitmap primitives: fills, translucency, pen patterns, lines of
// several widths, clipping at every edge, shapes, markers and bitmap copies.
#include "app/draw/pw_bitmap.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>
#include <string>

namespace {

constexpr uint32_t KBlack = 0xFF000000u;

std::unique_ptr<CPwBitmap> MakeBitmap(int32_t aW, int32_t aH, TPwColour aBackground = 0) {
  std::unique_ptr<CPwBitmap> bmp(CPwBitmap::NewL(aW, aH));
  bmp->Clear(aBackground);
  return bmp;
}

// The pixels of one row as a string: '#' where the pixel differs from the background.
std::string Row(const CPwBitmap& aBmp, int32_t aY, uint32_t aBackground = KBlack) {
  std::string s;
  for (int32_t x = 0; x < aBmp.Width(); ++x) s += aBmp.Pixel(x, aY) == aBackground ? '.' : '#';
  return s;
}
std::string Column(const CPwBitmap& aBmp, int32_t aX, uint32_t aBackground = KBlack) {
  std::string s;
  for (int32_t y = 0; y < aBmp.Height(); ++y) s += aBmp.Pixel(aX, y) == aBackground ? '.' : '#';
  return s;
}
int32_t CountSet(const CPwBitmap& aBmp, uint32_t aBackground = KBlack) {
  int32_t n = 0;
  for (int32_t y = 0; y < aBmp.Height(); ++y)
    for (int32_t x = 0; x < aBmp.Width(); ++x) n += aBmp.Pixel(x, y) != aBackground;
  return n;
}

// The blend the layer promises: the top byte is the part of the background showing through.
uint32_t Expected(uint32_t aBelow, TPwColour aColour) {
  const uint32_t a = 255 - (aColour >> 24);
  auto mix = [&](int shift) {
    return ((((aColour >> shift) & 0xFF) * a + ((aBelow >> shift) & 0xFF) * (255 - a) + 127) / 255)
           << shift;
  };
  return 0xFF000000u | mix(16) | mix(8) | mix(0);
}

TEST(Bitmap, CreatesOpaqueBlackAndRefusesImpossibleSizes) {
  std::unique_ptr<CPwBitmap> bmp(CPwBitmap::NewL(360, 640));
  EXPECT_EQ(bmp->Width(), 360);
  EXPECT_EQ(bmp->Height(), 640);
  EXPECT_EQ(bmp->PitchBytes(), 1440);
  EXPECT_EQ(bmp->Pixel(0, 0), KBlack);
  EXPECT_EQ(bmp->Pixel(359, 639), KBlack);
  EXPECT_EQ(bmp->Pixel(360, 0), 0u);  // outside
  EXPECT_EQ(bmp->ClipRect(), (TPwRect{0, 0, 360, 640}));

  bmp->FillRect(TPwRect{0, 0, 10, 10}, 0x123456);
  EXPECT_EQ(Trap([&] { bmp->ResizeL(100000, 10); }), KErrNoMemory);
  EXPECT_EQ(Trap([&] { bmp->ResizeL(-1, 10); }), KErrNoMemory);
  EXPECT_EQ(bmp->Width(), 360);  // a refused size keeps the old bitmap
  EXPECT_EQ(bmp->Pixel(5, 5), 0xFF123456u);

  bmp->SetClipRect(TPwRect{1, 1, 2, 2});
  bmp->ResizeL(240, 320);
  EXPECT_EQ(bmp->ClipRect(), (TPwRect{0, 0, 240, 320}));
  EXPECT_EQ(bmp->Pixel(5, 5), KBlack);

  // An empty bitmap draws nothing and does not crash.
  bmp->ResizeL(0, 7);
  EXPECT_EQ(bmp->Width(), 0);
  bmp->FillRect(TPwRect{0, 0, 10, 10}, 0xFFFFFF);
  bmp->DrawLine(-5, -5, 5, 5);
  bmp->DrawCircle(0, 0, 3);
  EXPECT_EQ(bmp->BlitRegion(TPwRect{0, 0, 5, 5}).iFirst, nullptr);
}

TEST(Bitmap, FillsExactlyTheRectangleAndBlendsTranslucentColours) {
  auto bmp = MakeBitmap(20, 10);
  bmp->FillRect(TPwRect{2, 3, 6, 5}, 0x00FF00);
  EXPECT_EQ(Row(*bmp, 2), "....................");
  EXPECT_EQ(Row(*bmp, 3), "..####..............");
  EXPECT_EQ(Row(*bmp, 4), "..####..............");
  EXPECT_EQ(Row(*bmp, 5), "....................");
  EXPECT_EQ(bmp->Pixel(2, 3), 0xFF00FF00u);

  // Every translucency the views use, over two backgrounds; the alpha channel stays opaque.
  for (uint32_t top : {0x3Fu, 0x5Bu, 0x69u, 0x7Fu}) {
    for (uint32_t below : {0x000000u, 0xFFFFFFu, 0x2040A0u}) {
      bmp->Clear(below);
      const TPwColour colour = (top << 24) | 0xFF8000u;
      bmp->FillRect(TPwRect{0, 0, 1, 1}, colour);
      EXPECT_EQ(bmp->Pixel(0, 0), Expected(0xFF000000u | below, colour))
          << std::hex << top << " over " << below;
    }
  }
  bmp->Clear(0);
  bmp->FillRect(TPwRect{0, 0, 1, 1}, 0x7FFFFFFF);
  EXPECT_EQ(bmp->Pixel(0, 0), 0xFF808080u);  // half of white over black
  bmp->FillRect(TPwRect{0, 0, 1, 1}, 0x7FFFFFFF);
  EXPECT_EQ(bmp->Pixel(0, 0), 0xFFC0C0C0u);  // blending accumulates
  bmp->FillRect(TPwRect{0, 0, 20, 10}, KPwNoColour);  // fully see-through: nothing
  EXPECT_EQ(bmp->Pixel(0, 0), 0xFFC0C0C0u);
  EXPECT_EQ(bmp->Pixel(5, 5), KBlack);

  // Reversed and empty rectangles draw nothing.
  bmp->FillRect(TPwRect{8, 8, 4, 4}, 0xFFFFFF);
  bmp->FillRect(TPwRect{4, 4, 4, 9}, 0xFFFFFF);
  EXPECT_EQ(CountSet(*bmp), 1);
}

TEST(Bitmap, ClipsFillsAtEveryEdge) {
  auto bmp = MakeBitmap(12, 12);
  bmp->SetClipRect(TPwRect{3, 4, 9, 10});
  bmp->FillRect(TPwRect{-5, -5, 50, 50}, 0xFFFFFF);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 12; ++x)
      EXPECT_EQ(bmp->Pixel(x, y) != KBlack, x >= 3 && x < 9 && y >= 4 && y < 10) << x << "," << y;

  // The clip is limited to the bitmap; Clear ignores it.
  bmp->SetClipRect(TPwRect{-10, -10, 100, 100});
  EXPECT_EQ(bmp->ClipRect(), (TPwRect{0, 0, 12, 12}));
  bmp->SetClipRect(TPwRect{20, 20, 30, 30});
  EXPECT_TRUE(bmp->ClipRect().IsEmpty());
  bmp->FillRect(TPwRect{0, 0, 12, 12}, 0x00FF00);
  bmp->DrawLine(0, 0, 11, 11);
  EXPECT_EQ(bmp->Pixel(0, 0), KBlack);
  bmp->Clear(0x0000FF);
  EXPECT_EQ(bmp->Pixel(0, 0), 0xFF0000FFu);
}

TEST(Bitmap, LinesIncludeBothEndsAndStepLikeBresenham) {
  auto bmp = MakeBitmap(12, 5);
  bmp->SetPen(0xFFFFFF);
  bmp->DrawLine(0, 0, 10, 3);
  // One pixel per column; the row is i * 3 / 10 rounded half up.
  EXPECT_EQ(Row(*bmp, 0), "##..........");
  EXPECT_EQ(Row(*bmp, 1), "..###.......");
  EXPECT_EQ(Row(*bmp, 2), ".....####...");
  EXPECT_EQ(Row(*bmp, 3), ".........##.");
  EXPECT_EQ(CountSet(*bmp), 11);

  // The same line drawn backwards covers the same number of pixels, ends included.
  auto back = MakeBitmap(12, 5);
  back->SetPen(0xFFFFFF);
  back->DrawLine(10, 3, 0, 0);
  EXPECT_EQ(CountSet(*back), 11);
  EXPECT_NE(back->Pixel(0, 0), KBlack);
  EXPECT_NE(back->Pixel(10, 3), KBlack);

  // Steep lines step along y; a single point is one pixel.
  auto steep = MakeBitmap(5, 12);
  steep->SetPen(0xFFFFFF);
  steep->DrawLine(1, 0, 3, 10);
  for (int32_t y = 0; y <= 10; ++y) EXPECT_EQ(Row(*steep, y).find('#') != std::string::npos, true);
  EXPECT_EQ(CountSet(*steep), 11);
  steep->Clear(0);
  steep->DrawLine(2, 2, 2, 2);
  EXPECT_EQ(CountSet(*steep), 1);
}

TEST(Bitmap, ThickLinesAreCentredAndKeepTheirWidthOnDiagonals) {
  auto bmp = MakeBitmap(16, 16);
  bmp->SetPen(0xFFFFFF, 3);
  bmp->DrawLine(2, 8, 12, 8);
  EXPECT_EQ(Column(*bmp, 5), ".......###......");
  EXPECT_EQ(Row(*bmp, 8), "..###########...");
  EXPECT_EQ(CountSet(*bmp), 33);

  bmp->Clear(0);
  bmp->DrawLine(8, 2, 8, 12);
  EXPECT_EQ(Row(*bmp, 5), ".......###......");
  EXPECT_EQ(CountSet(*bmp), 33);

  // On a 45 degree line the span across the minor axis grows to 3 × √2 ≈ 4 pixels, so the
  // width measured square to the line stays 3.
  bmp->Clear(0);
  bmp->DrawLine(4, 4, 10, 10);
  EXPECT_EQ(Column(*bmp, 7), "......####......");
  EXPECT_EQ(CountSet(*bmp), 7 * 4);

  // Width 2 puts the extra pixel below the line.
  bmp->Clear(0);
  bmp->SetPen(0xFFFFFF, 2);
  bmp->DrawLine(0, 5, 15, 5);
  EXPECT_EQ(Column(*bmp, 0), ".....##.........");

  // A pen size of 0 or less draws one pixel wide.
  bmp->Clear(0);
  bmp->SetPen(0xFFFFFF, 0);
  bmp->DrawLine(0, 5, 15, 5);
  EXPECT_EQ(CountSet(*bmp), 16);
}

TEST(Bitmap, DottedAndDashedPensRunOnAcrossLinesUntilReset) {
  auto bmp = MakeBitmap(24, 3);
  bmp->SetPen(0xFFFFFF, 1, EPenDotted);
  bmp->DrawLine(0, 0, 23, 0);
  EXPECT_EQ(Row(*bmp, 0), "#...#...#...#...#...#...");

  bmp->SetPenStyle(EPenDashed);
  bmp->ResetPenPattern();
  bmp->DrawLine(0, 1, 23, 1);
  EXPECT_EQ(Row(*bmp, 1), "###...###...###...###...");

  // Without a reset the pattern continues where the last line left it (24 steps on: the
  // dash pattern is back at its start after 24 = 4 × 6 steps, so start at 7 instead).
  bmp->Clear(0);
  bmp->ResetPenPattern();
  bmp->DrawLine(0, 0, 6, 0);   // steps 0..6
  bmp->DrawLine(7, 0, 23, 0);  // continues at step 7
  EXPECT_EQ(Row(*bmp, 0), "###...###...###...###...");
  bmp->DrawLine(0, 2, 23, 2);  // starts at step 24 = 0 mod 6
  EXPECT_EQ(Row(*bmp, 2), "###...###...###...###...");
  bmp->DrawLine(0, 1, 5, 1);   // steps 48..53
  bmp->DrawLine(0, 1, 5, 1);
  bmp->ResetPenPattern();
  bmp->Clear(0);
  bmp->DrawLine(2, 1, 23, 1);
  EXPECT_EQ(Row(*bmp, 1), "..###...###...###...###.");

  // A polyline keeps one pattern through its joints.
  bmp->Clear(0);
  bmp->ResetPenPattern();
  bmp->SetPenStyle(EPenDotted);
  const TPwPoint points[] = {{0, 0}, {5, 0}, {5, 2}, {23, 2}};
  bmp->DrawPolyline(points, 4);
  EXPECT_EQ(Row(*bmp, 0), "#...#...................");
  EXPECT_EQ(Column(*bmp, 5), "...");  // steps 5, 6 down the side, 7 at the joint
  EXPECT_EQ(Row(*bmp, 2), "......#...#...#...#...#.");

  // Style 0 draws no line.
  bmp->Clear(0);
  bmp->SetPenStyle(EPenNone);
  bmp->DrawLine(0, 0, 23, 2);
  EXPECT_EQ(CountSet(*bmp), 0);
}

TEST(Bitmap, PolylineJointsBlendOnce) {
  auto bmp = MakeBitmap(10, 10);
  bmp->SetPen(0x7FFFFFFF);
  const TPwPoint points[] = {{1, 1}, {8, 1}, {8, 8}, {1, 8}};
  bmp->DrawPolyline(points, 4);
  for (const TPwPoint& p : points) EXPECT_EQ(bmp->Pixel(p.iX, p.iY), 0xFF808080u) << p.iX << "," << p.iY;
  EXPECT_EQ(bmp->Pixel(4, 1), 0xFF808080u);
  EXPECT_EQ(CountSet(*bmp), 7 * 3 + 1);

  // A thick opaque corner is filled round, without a notch on the outside.
  bmp->Clear(0);
  bmp->SetPen(0xFFFFFF, 3);
  const TPwPoint corner[] = {{0, 5}, {5, 5}, {5, 9}};
  bmp->DrawPolyline(corner, 3);
  EXPECT_EQ(Row(*bmp, 4), "#######...");
  EXPECT_EQ(Row(*bmp, 6), "#######...");
  EXPECT_EQ(Column(*bmp, 6), "....######");
}

// Any line drawn under a clip rectangle gives exactly the pixels of the unclipped line inside
// it, with the same dash phase, and nothing outside.
TEST(Bitmap, ClippedLinesMatchUnclippedLinesAtEveryEdge) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int32_t> coord(-60, 100);
  const TPwRect clip{13, 7, 31, 29};
  for (int32_t width : {1, 3}) {
    for (int32_t style : {EPenSolid, EPenDashed}) {
      for (int round = 0; round < 300; ++round) {
        const int32_t x0 = coord(random), y0 = coord(random), x1 = coord(random), y1 = coord(random);
        auto full = MakeBitmap(48, 40);
        auto clipped = MakeBitmap(48, 40);
        full->SetPen(0xFFFFFF, width, style);
        clipped->SetPen(0xFFFFFF, width, style);
        clipped->SetClipRect(clip);
        full->DrawLine(x0, y0, x1, y1);
        clipped->DrawLine(x0, y0, x1, y1);
        for (int32_t y = 0; y < 40; ++y)
          for (int32_t x = 0; x < 48; ++x) {
            const uint32_t want = clip.Contains(x, y) ? full->Pixel(x, y) : KBlack;
            ASSERT_EQ(clipped->Pixel(x, y), want)
                << "line " << x0 << "," << y0 << " - " << x1 << "," << y1 << " width " << width
                << " style " << style << " at " << x << "," << y;
          }
      }
    }
  }
}

TEST(Bitmap, FarOffAndHugeLinesAreCutWithoutCost) {
  auto bmp = MakeBitmap(20, 20);
  bmp->SetPen(0xFFFFFF);
  bmp->DrawLine(-1000000, 5, 1000000, 5);
  EXPECT_EQ(Row(*bmp, 5), "####################");
  EXPECT_EQ(CountSet(*bmp), 20);
  bmp->Clear(0);
  bmp->DrawLine(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  bmp->DrawLine(INT_MAX, INT_MIN, INT_MIN, INT_MAX);
  bmp->DrawLine(INT_MIN, 10, INT_MAX, 10);
  EXPECT_EQ(Row(*bmp, 10), "####################");
  EXPECT_EQ(bmp->Pixel(3, 3), 0xFFFFFFFFu);  // the diagonal through the origin
  bmp->Clear(0);
  bmp->DrawLine(-5000, -5000, -10, -3);  // entirely outside
  bmp->SetPen(0xFFFFFF, 40);
  bmp->DrawLine(100, 100, 200, 300);
  EXPECT_EQ(CountSet(*bmp), 0);
}

TEST(Bitmap, RectanglesFillInsideTheirOutline) {
  auto bmp = MakeBitmap(10, 8);
  bmp->SetPen(0xFF0000, 2);
  bmp->SetFillColour(0x0000FF);
  bmp->DrawRect(TPwRect{1, 1, 9, 7});
  EXPECT_EQ(bmp->Pixel(1, 1), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(2, 2), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(3, 3), 0xFF0000FFu);
  EXPECT_EQ(bmp->Pixel(6, 4), 0xFF0000FFu);
  EXPECT_EQ(bmp->Pixel(7, 4), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(8, 6), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(9, 7), KBlack);
  EXPECT_EQ(bmp->Pixel(0, 0), KBlack);

  // A translucent outline blends once per pixel, corners included.
  bmp->Clear(0);
  bmp->SetPen(0x7FFFFFFF, 1);
  bmp->SetFillColour(KPwNoColour);
  bmp->DrawRect(TPwRect{0, 0, 10, 8});
  EXPECT_EQ(bmp->Pixel(0, 0), 0xFF808080u);
  EXPECT_EQ(bmp->Pixel(9, 7), 0xFF808080u);
  EXPECT_EQ(bmp->Pixel(5, 0), 0xFF808080u);
  EXPECT_EQ(bmp->Pixel(5, 4), KBlack);  // hollow
  EXPECT_EQ(CountSet(*bmp), 2 * 10 + 2 * 6);

  // Pen style 0: fill only, over the whole rectangle.
  bmp->Clear(0);
  bmp->SetPen(0xFFFFFF, 1, EPenNone);
  bmp->SetFillColour(0x00FF00);
  bmp->DrawRect(TPwRect{2, 2, 5, 4});
  EXPECT_EQ(CountSet(*bmp), 6);
  EXPECT_EQ(bmp->Pixel(2, 2), 0xFF00FF00u);

  // A dashed outline runs clockwise round the edge.
  bmp->Clear(0);
  bmp->SetPen(0xFFFFFF, 1, EPenDashed);
  bmp->SetFillColour(KPwNoColour);
  bmp->ResetPenPattern();
  bmp->DrawRect(TPwRect{0, 0, 10, 8});
  EXPECT_EQ(Row(*bmp, 0), "###...###.");
  EXPECT_EQ(Column(*bmp, 9), "...###..");  // steps 9..15 down the right side
}

TEST(Bitmap, CirclesEllipsesAndMarkers) {
  auto bmp = MakeBitmap(9, 9);
  bmp->SetPen(0xFFFFFF, 1, EPenNone);
  bmp->SetFillColour(0xFFFFFF);
  bmp->DrawCircle(4, 4, 2);
  EXPECT_EQ(Row(*bmp, 1), "........." );
  EXPECT_EQ(Row(*bmp, 2), "...###...");
  EXPECT_EQ(Row(*bmp, 3), "..#####..");
  EXPECT_EQ(Row(*bmp, 4), "..#####..");
  EXPECT_EQ(Row(*bmp, 5), "..#####..");
  EXPECT_EQ(Row(*bmp, 6), "...###...");

  // Outline and fill share no pixel.
  bmp->Clear(0);
  bmp->SetPen(0xFF0000, 1);
  bmp->SetFillColour(0x00FF00);
  bmp->DrawEllipse(TPwRect{0, 0, 9, 9});
  EXPECT_EQ(bmp->Pixel(4, 0), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(0, 4), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(8, 4), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(4, 4), 0xFF00FF00u);
  EXPECT_EQ(bmp->Pixel(0, 0), KBlack);
  // Symmetric in both axes.
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 9; ++x) {
      EXPECT_EQ(bmp->Pixel(x, y), bmp->Pixel(8 - x, y));
      EXPECT_EQ(bmp->Pixel(x, y), bmp->Pixel(x, 8 - y));
    }

  // Markers: size pixels across, centred, independent of the pen.
  bmp->Clear(0);
  bmp->SetPen(0, 1, EPenNone);
  bmp->DrawMarker(EMarkerSquare, 4, 4, 5, 0xFFFFFF);
  EXPECT_EQ(Row(*bmp, 2), "..#####..");
  EXPECT_EQ(Row(*bmp, 6), "..#####..");
  EXPECT_EQ(CountSet(*bmp), 25);

  bmp->Clear(0);
  bmp->DrawMarker(EMarkerTriangle, 4, 4, 5, 0xFFFFFF);
  EXPECT_EQ(Row(*bmp, 2), "....#....");
  EXPECT_EQ(Row(*bmp, 6), "..#####..");
  for (int32_t y = 0; y < 9; ++y) {
    const std::string row = Row(*bmp, y);
    EXPECT_EQ(row, std::string(row.rbegin(), row.rend()));
  }
  bmp->Clear(0);
  bmp->DrawMarker(EMarkerTriangleDown, 4, 4, 5, 0xFFFFFF);
  EXPECT_EQ(Row(*bmp, 2), "..#####..");
  EXPECT_EQ(Row(*bmp, 6), "....#....");

  bmp->Clear(0);
  bmp->DrawMarker(EMarkerDiamond, 4, 4, 5, 0xFFFFFF);
  EXPECT_EQ(Row(*bmp, 4), "..#####..");
  EXPECT_EQ(Row(*bmp, 2), "....#....");
  EXPECT_EQ(Row(*bmp, 6), "....#....");

  bmp->Clear(0);
  bmp->DrawMarker(EMarkerCircle, 4, 4, 5, 0xFFFFFF);
  EXPECT_EQ(Row(*bmp, 4), "..#####..");
  EXPECT_EQ(Row(*bmp, 2), "...###...");

  // Markers near the edges are clipped, not wrapped.
  bmp->Clear(0);
  bmp->DrawMarker(EMarkerCircle, 0, 0, 7, 0xFFFFFF);
  bmp->DrawMarker(EMarkerTriangle, 8, 8, 7, 0xFFFFFF);
  EXPECT_EQ(bmp->Pixel(8, 0), KBlack);
  EXPECT_EQ(bmp->Pixel(0, 8), KBlack);
}

TEST(Bitmap, PolygonsFillAndOutline) {
  auto bmp = MakeBitmap(12, 12);
  bmp->SetPen(0xFF0000, 1, EPenNone);
  bmp->SetFillColour(0xFFFFFF);
  const TPwPoint square[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
  bmp->DrawPolygon(square, 4);
  // Filling covers the pixels whose centres lie inside; the outline adds the far edges.
  EXPECT_EQ(CountSet(*bmp), 16);
  bmp->SetPenStyle(EPenSolid);
  bmp->DrawPolygon(square, 4);
  EXPECT_EQ(CountSet(*bmp), 25);
  EXPECT_EQ(bmp->Pixel(6, 6), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(4, 4), 0xFFFFFFFFu);

  // An arrowhead (concave): the notch stays empty.
  bmp->Clear(0);
  bmp->SetPenStyle(EPenNone);
  const TPwPoint arrow[] = {{6, 1}, {11, 11}, {6, 7}, {1, 11}};
  bmp->DrawPolygon(arrow, 4);
  EXPECT_NE(bmp->Pixel(6, 4), KBlack);
  EXPECT_EQ(bmp->Pixel(6, 10), KBlack);
  EXPECT_NE(bmp->Pixel(9, 9), KBlack);
  EXPECT_NE(bmp->Pixel(3, 9), KBlack);
  // Degenerate polygons do not crash.
  bmp->DrawPolygon(arrow, 2);
  bmp->DrawPolygon(arrow, 0);
  bmp->DrawPolygon(nullptr, 3);
}

TEST(Bitmap, GradientsRunFromColourToColour) {
  auto bmp = MakeBitmap(4, 5);
  bmp->FillGradient(TPwRect{0, 0, 4, 5}, 0x101010, 0x303030);
  EXPECT_EQ(bmp->Pixel(0, 0), 0xFF101010u);
  EXPECT_EQ(bmp->Pixel(3, 2), 0xFF202020u);
  EXPECT_EQ(bmp->Pixel(0, 4), 0xFF303030u);
  bmp->FillGradient(TPwRect{0, 0, 4, 5}, 0xFF0000, 0x0000FF, false);
  EXPECT_EQ(bmp->Pixel(0, 3), 0xFFFF0000u);
  EXPECT_EQ(bmp->Pixel(3, 3), 0xFF0000FFu);
}

TEST(Bitmap, BlitRegionGivesPixelsAndPitch) {
  auto bmp = MakeBitmap(30, 20);
  bmp->FillRect(TPwRect{5, 6, 7, 8}, 0xABCDEF);
  const TPwBlitRegion region = bmp->BlitRegion(TPwRect{5, 6, 100, 100});
  EXPECT_EQ(region.iRect, (TPwRect{5, 6, 30, 20}));
  EXPECT_EQ(region.iPitchBytes, 120);
  ASSERT_NE(region.iFirst, nullptr);
  EXPECT_EQ(region.iFirst[0], 0xFFABCDEFu);
  EXPECT_EQ(region.iFirst[region.iPitchBytes / 4 + 1], 0xFFABCDEFu);
  EXPECT_EQ(region.iFirst[2], KBlack);
  EXPECT_EQ(bmp->BlitRegion(TPwRect{40, 0, 50, 5}).iFirst, nullptr);
}

TEST(Bitmap, BitmapsCopyAndBlendThroughTheirAlpha) {
  auto src = MakeBitmap(4, 4);
  src->ResizeL(4, 4);
  // An icon-like source: left half opaque red, right half transparent.
  uint32_t* p = src->Pixels();
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) p[y * 4 + x] = x < 2 ? 0xFFFF0000u : 0x00FFFFFFu;
  p[0] = 0x80FFFFFFu;  // half-transparent white

  auto dst = MakeBitmap(8, 8, 0x000000);
  dst->DrawBitmap(*src, 2, 2);
  EXPECT_EQ(dst->Pixel(3, 3), 0xFFFF0000u);
  EXPECT_EQ(dst->Pixel(4, 3), KBlack);  // transparent part leaves the background
  EXPECT_EQ(dst->Pixel(2, 2), 0xFF808080u);

  dst->Clear(0);
  dst->DrawIcon(src.get(), TPwRect{0, 0, 8, 8}, false);
  EXPECT_EQ(dst->Pixel(2, 3), 0xFFFF0000u);
  EXPECT_EQ(dst->Pixel(1, 3), KBlack);
  dst->Clear(0);
  dst->DrawIcon(src.get(), TPwRect{0, 0, 8, 8}, true);  // pressed: darker, one pixel on
  EXPECT_EQ(dst->Pixel(2, 3), KBlack);
  const uint32_t pressed = dst->Pixel(3, 4);
  EXPECT_GT((pressed >> 16) & 0xFF, 0x60u);
  EXPECT_LT((pressed >> 16) & 0xFF, 0xFFu);
  dst->Clear(0);
  dst->DrawIcon(nullptr, TPwRect{0, 0, 8, 8}, false);
  EXPECT_EQ(CountSet(*dst), 0);

  // CopyRect copies unchanged (alpha too) and respects the clip.
  dst->SetClipRect(TPwRect{0, 0, 5, 8});
  dst->CopyRect(*src, TPwRect{-2, 0, 4, 4}, 2, 1);  // the part left of the source is skipped
  EXPECT_EQ(dst->Pixel(4, 1), 0x80FFFFFFu);
  EXPECT_EQ(dst->Pixel(5, 1), KBlack);  // clipped
  EXPECT_EQ(dst->Pixel(3, 1), KBlack);
}

}  // namespace
