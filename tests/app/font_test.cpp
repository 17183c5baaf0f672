// Fonts and text: metrics, measuring, alignment by the drawn pixels, non-ASCII text, the
// fallbacks for missing font files, and line wrapping (on the built-in font, whose widths are
// known exactly, so the wrapping cases hold on any machine).
#include "app/draw/pw_font.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "app/draw/pw_bitmap.h"
#include "app/draw/text_layout.h"
#include "foundation/paths.h"
#include "support/test_support.h"

namespace {

const std::string KDejaVu = "/usr/share/fonts/truetype/dejavu/";

bool HaveDejaVu() {
  for (const char* name : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf"})
    if (access((KDejaVu + name).c_str(), R_OK) != 0) return false;
  return true;
}

#define REQUIRE_DEJAVU() \
  if (!HaveDejaVu()) GTEST_SKIP() << "DejaVu fonts not installed"

// Restores the system font folder when a test changed it.
struct FolderGuard {
  ~FolderGuard() { CPwFont::SetFontFolder(CPwStringC()); }
};

// The bounding box of all pixels that differ from the background.
TPwRect InkBox(const CPwBitmap& aBmp, uint32_t aBackground = 0xFF000000u) {
  TPwRect box{aBmp.Width(), aBmp.Height(), 0, 0};
  for (int32_t y = 0; y < aBmp.Height(); ++y)
    for (int32_t x = 0; x < aBmp.Width(); ++x)
      if (aBmp.Pixel(x, y) != aBackground) {
        box.iLeft = std::min(box.iLeft, x);
        box.iTop = std::min(box.iTop, y);
        box.iRight = std::max(box.iRight, x + 1);
        box.iBottom = std::max(box.iBottom, y + 1);
      }
  return box.IsEmpty() ? TPwRect() : box;
}

std::unique_ptr<CPwFont> BuiltIn(int32_t aSize, FolderGuard&) {
  pwtest::TempDir empty;  // a folder without fonts
  CPwFont::SetFontFolder(PwStringFromUtf8(empty.Path()));
  return std::unique_ptr<CPwFont>(CPwFont::NewL(EPwFontSans, aSize));
}

TEST(Font, DejaVuFacesHaveSensibleMetrics) {
  REQUIRE_DEJAVU();
  for (TPwFontFace face : {EPwFontSans, EPwFontBold, EPwFontMono}) {
    std::unique_ptr<CPwFont> font(CPwFont::NewL(face, 22));
    EXPECT_FALSE(font->IsBuiltIn());
    EXPECT_EQ(font->PixelSize(), 22);
    EXPECT_GE(font->Ascent(), 18);
    EXPECT_LE(font->Ascent(), 23);
    EXPECT_GE(font->Descent(), 4);
    EXPECT_GE(font->Height(), font->Ascent() + font->Descent());
    EXPECT_LE(font->Height(), 30);
  }
  std::unique_ptr<CPwFont> bold(CPwFont::NewL(EPwFontBold, 22));
  EXPECT_NE(PwToUtf8(bold->FilePath()).find("DejaVuSans-Bold.ttf"), std::string::npos);
  // Mono: every character the same width.
  std::unique_ptr<CPwFont> mono(CPwFont::NewL(EPwFontMono, 20));
  EXPECT_EQ(mono->TextWidth(u"iiii"), mono->TextWidth(u"WWWW"));
  // Sizes are clamped, never zero.
  std::unique_ptr<CPwFont> tiny(CPwFont::NewL(EPwFontSans, 0));
  EXPECT_EQ(tiny->PixelSize(), 1);
  EXPECT_GE(tiny->Height(), 1);
}

TEST(Font, WiderTextMeasuresWiderAndBiggerFontsMore) {
  REQUIRE_DEJAVU();
  std::unique_ptr<CPwFont> small(CPwFont::NewL(EPwFontSans, 14));
  std::unique_ptr<CPwFont> large(CPwFont::NewL(EPwFontSans, 28));
  std::unique_ptr<CPwFont> bold(CPwFont::NewL(EPwFontBold, 14));
  EXPECT_EQ(small->TextWidth(u""), 0);
  EXPECT_LT(small->TextWidth(u"1:23"), small->TextWidth(u"1:23.456"));
  EXPECT_LT(small->TextWidth(u"iii"), small->TextWidth(u"WWW"));
  EXPECT_GT(large->TextWidth(u"Best lap"), small->TextWidth(u"Best lap") * 3 / 2);
  EXPECT_GT(bold->TextWidth(u"Best lap"), small->TextWidth(u"Best lap"));
  // Width is the sum of the advances; line breaks take no room.
  EXPECT_EQ(small->TextWidth(u"ab"), small->CharWidth(u'a') + small->CharWidth(u'b'));
  EXPECT_EQ(small->TextWidth(u"a\nb\x2028"), small->TextWidth(u"ab"));
}

TEST(Font, NonAsciiTextMeasuresAndDraws) {
  REQUIRE_DEJAVU();
  std::unique_ptr<CPwFont> font(CPwFont::NewL(EPwFontSans, 20));
  EXPECT_GT(font->TextWidth(u"°C"), font->TextWidth(u"C"));
  EXPECT_GT(font->CharWidth(u'Ö'), 0);
  EXPECT_GT(font->CharWidth(0x20AC), 0);  // euro sign, outside Latin-1
  EXPECT_GT(font->CharWidth(0x0416), 0);  // Cyrillic Zhe

  // Ö reaches higher than O (the dots), both on the same baseline.
  std::unique_ptr<CPwBitmap> a(CPwBitmap::NewL(40, 40));
  std::unique_ptr<CPwBitmap> b(CPwBitmap::NewL(40, 40));
  a->DrawTextAt(u"O", *font, 5, 5, 0xFFFFFF);
  b->DrawTextAt(u"Ö", *font, 5, 5, 0xFFFFFF);
  const TPwRect ra = InkBox(*a), rb = InkBox(*b);
  ASSERT_FALSE(ra.IsEmpty());
  EXPECT_LT(rb.iTop, ra.iTop);
  EXPECT_EQ(rb.iBottom, ra.iBottom);

  // A pair of surrogates is one character; a lone half counts as U+FFFD.
  const char16_t pair[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(font->TextWidth(pair), font->CharWidth(0x1F600));
  const char16_t lone[] = {0xDC00, u'x', 0xD800, 0};
  EXPECT_EQ(font->TextWidth(lone), 2 * font->CharWidth(0xFFFD) + font->CharWidth(u'x'));

  // The cache hands out the same glyph again, also for code points beyond Latin-1 seen in
  // any order.
  const TPwGlyph* euro = &font->Glyph(0x20AC);
  font->Glyph(0x0416);
  font->Glyph(0x2126);
  font->Glyph(0x00B0);
  EXPECT_EQ(&font->Glyph(0x20AC), euro);
  EXPECT_EQ(font->Glyph(0x2126).iCodePoint, 0x2126u);
  EXPECT_EQ(font->Glyph(0x0416).iCodePoint, 0x0416u);
}

TEST(Font, AlignmentPutsTheTextWhereAsked) {
  REQUIRE_DEJAVU();
  std::unique_ptr<CPwFont> font(CPwFont::NewL(EPwFontSans, 22));
  const TPwRect box{20, 30, 300, 90};
  const CPwStringC text(u"Lap 12 1:23.456");
  const int32_t width = font->TextWidth(text);
  std::unique_ptr<CPwBitmap> bmp(CPwBitmap::NewL(320, 120));

  bmp->DrawText(text, *font, box, EAlignLeft, 0xFFFFFF);
  TPwRect ink = InkBox(*bmp);
  EXPECT_GE(ink.iLeft, box.iLeft);
  EXPECT_LE(ink.iLeft, box.iLeft + 3);  // only the first glyph's side bearing
  EXPECT_NEAR(ink.iRight, box.iLeft + width, 3);
  // Centred vertically: the ink's middle is near the box's, and inside it.
  EXPECT_GE(ink.iTop, box.iTop);
  EXPECT_LE(ink.iBottom, box.iBottom);
  EXPECT_NEAR((ink.iTop + ink.iBottom) / 2, (box.iTop + box.iBottom) / 2, 5);

  bmp->Clear(0);
  bmp->DrawText(text, *font, box, EAlignRight, 0xFFFFFF);
  ink = InkBox(*bmp);
  EXPECT_LE(ink.iRight, box.iRight);
  EXPECT_GE(ink.iRight, box.iRight - 3);

  bmp->Clear(0);
  bmp->DrawText(text, *font, box, EAlignCentre, 0xFFFFFF);
  ink = InkBox(*bmp);
  EXPECT_NEAR((ink.iLeft + ink.iRight) / 2, (box.iLeft + box.iRight) / 2, 3);

  // Text wider than its rectangle is cut at the rectangle.
  bmp->Clear(0);
  const TPwRect narrow{100, 40, 140, 70};
  bmp->DrawText(text, *font, narrow, EAlignCentre, 0xFFFFFF);
  ink = InkBox(*bmp);
  EXPECT_GE(ink.iLeft, narrow.iLeft);
  EXPECT_LE(ink.iRight, narrow.iRight);
  EXPECT_FALSE(ink.IsEmpty());

  // Anti-aliased: some edge pixels are between background and text colour.
  bmp->Clear(0);
  bmp->DrawTextAt(u"O", *font, 10, 10, 0xFFFFFF);
  bool partial = false;
  for (int32_t y = 0; y < 50; ++y)
    for (int32_t x = 0; x < 50; ++x) {
      const uint32_t g = bmp->Pixel(x, y) & 0xFF;
      partial |= g > 0 && g < 255;
    }
  EXPECT_TRUE(partial);
}

TEST(Font, TranslucentTextBlendsAndStaysInsideTheClip) {
  REQUIRE_DEJAVU();
  std::unique_ptr<CPwFont> font(CPwFont::NewL(EPwFontBold, 30));
  std::unique_ptr<CPwBitmap> bmp(CPwBitmap::NewL(100, 50));
  bmp->DrawTextAt(u"I", *font, 10, 5, 0x3FFFFFFF);
  // The stem of a bold I is fully covered: 0xC0 of white over black.
  uint32_t brightest = 0;
  for (int32_t y = 0; y < 50; ++y)
    for (int32_t x = 0; x < 100; ++x) brightest = std::max(brightest, bmp->Pixel(x, y) & 0xFF);
  EXPECT_EQ(brightest, 0xC0u);

  bmp->Clear(0);
  bmp->SetClipRect(TPwRect{0, 0, 30, 20});
  EXPECT_EQ(bmp->DrawTextAt(u"WWWW", *font, 5, 5, 0xFFFFFF), 5 + font->TextWidth(u"WWWW"));
  const TPwRect ink = InkBox(*bmp);
  EXPECT_LE(ink.iRight, 30);
  EXPECT_LE(ink.iBottom, 20);
}

TEST(Font, MissingFilesFallBackToDejaVuThenToTheBuiltInFont) {
  REQUIRE_DEJAVU();
  FolderGuard guard;
  std::unique_ptr<CPwFont> font(CPwFont::NewL(u"/no/such/font.ttf", 20));
  EXPECT_FALSE(font->IsBuiltIn());
  EXPECT_NE(PwToUtf8(font->FilePath()).find("DejaVuSans.ttf"), std::string::npos);

  // A folder holding only the regular face: bold falls back to it.
  pwtest::TempDir dir;
  ASSERT_EQ(symlink((KDejaVu + "DejaVuSans.ttf").c_str(), (dir / "DejaVuSans.ttf").c_str()), 0);
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "DejaVuSans-Bold.ttf", "not a font"));
  CPwFont::SetFontFolder(PwStringFromUtf8(dir.Path()));
  std::unique_ptr<CPwFont> bold(CPwFont::NewL(EPwFontBold, 20));
  EXPECT_FALSE(bold->IsBuiltIn());
  EXPECT_EQ(PwToUtf8(bold->FilePath()), dir / "DejaVuSans.ttf");
  EXPECT_EQ(PwToUtf8(CPwFont::FontFolder()), dir.Path() + "/");
}

TEST(Font, TheBuiltInFontMeasuresAndDrawsBoxes) {
  FolderGuard guard;
  std::unique_ptr<CPwFont> font = BuiltIn(20, guard);
  ASSERT_TRUE(font->IsBuiltIn());
  EXPECT_TRUE(font->FilePath().IsEmpty());
  EXPECT_EQ(font->Ascent(), 19);
  EXPECT_EQ(font->Descent(), 5);
  EXPECT_EQ(font->Height(), 24);
  EXPECT_EQ(font->CharWidth(u'a'), 12);
  EXPECT_EQ(font->CharWidth(u' '), 6);
  EXPECT_EQ(font->TextWidth(u"ab c"), 12 + 12 + 6 + 12);
  EXPECT_EQ(font->TextWidth(u"Ö°"), 24);

  std::unique_ptr<CPwBitmap> bmp(CPwBitmap::NewL(100, 40));
  bmp->DrawText(u"ab", *font, TPwRect{0, 0, 100, 40}, EAlignCentre, 0xFFFFFF);
  const TPwRect ink = InkBox(*bmp);
  EXPECT_FALSE(ink.IsEmpty());
  EXPECT_NEAR((ink.iLeft + ink.iRight) / 2, 50, 2);
}

// ---- wrapping -----------------------------------------------------------------------------
// Built-in font at size 10: visible characters 6 pixels, spaces 3.

std::string Lines(CPwFont& aFont, CPwStringC aText, int32_t aWidth) {
  CPwVector<TPwTextLine> lines;
  WrapText(aFont, aText, aWidth, lines);
  std::string out;
  for (const TPwTextLine& line : lines) {
    if (&line != lines.begin()) out += '|';
    out += PwToUtf8(aText.Mid(line.iStart, line.iLength));
  }
  return out;
}

TEST(TextLayout, WrapsAtSpacesAndBreaksLongWords) {
  FolderGuard guard;
  std::unique_ptr<CPwFont> font = BuiltIn(10, guard);
  ASSERT_EQ(font->CharWidth(u'a'), 6);
  ASSERT_EQ(font->CharWidth(u' '), 3);

  EXPECT_EQ(Lines(*font, u"aaa bbb ccc", 45), "aaa bbb|ccc");
  EXPECT_EQ(Lines(*font, u"aaa bbb ccc", 39), "aaa bbb|ccc");  // exactly fits
  EXPECT_EQ(Lines(*font, u"aaa bbb ccc", 38), "aaa|bbb|ccc");
  EXPECT_EQ(Lines(*font, u"aaa bbb ccc", 1000), "aaa bbb ccc");
  // Spaces at a break are dropped, also several; a paragraph's leading spaces stay.
  EXPECT_EQ(Lines(*font, u"aaa     bbb", 30), "aaa|bbb");
  EXPECT_EQ(Lines(*font, u"  aa bb", 30), "  aa|bb");
  // A word longer than the width is broken between characters.
  EXPECT_EQ(Lines(*font, u"abcdefghij", 20), "abc|def|ghi|j");
  EXPECT_EQ(Lines(*font, u"xy abcdefghij", 20), "xy|abc|def|ghi|j");
  // Even with no room at all every line holds a character, so wrapping ends.
  EXPECT_EQ(Lines(*font, u"abc", 0), "a|b|c");
  EXPECT_EQ(Lines(*font, u"abc", -5), "a|b|c");

  CPwVector<TPwTextLine> lines;
  WrapText(*font, u"aaa bbb   ccc", 40, lines);
  ASSERT_EQ(lines.Count(), 2);
  EXPECT_EQ(lines[0].iWidth, 39);  // trailing spaces excluded
  EXPECT_EQ(lines[1].iWidth, 18);
  const TPwTextExtent extent = MeasureWrapped(*font, u"aaa bbb   ccc", 40);
  EXPECT_EQ(extent.iLines, 2);
  EXPECT_EQ(extent.iWidth, 39);
}

TEST(TextLayout, HardBreaksAlwaysStartANewLine) {
  FolderGuard guard;
  std::unique_ptr<CPwFont> font = BuiltIn(10, guard);
  EXPECT_EQ(Lines(*font, u"", 100), "");
  EXPECT_EQ(Lines(*font, u"a\nb", 100), "a|b");
  EXPECT_EQ(Lines(*font, u"a\r\nb", 100), "a|b");
  EXPECT_EQ(Lines(*font, u"a\x2028" u"b\x2029" u"c", 100), "a|b|c");
  EXPECT_EQ(Lines(*font, u"a\n\nb", 100), "a||b");
  EXPECT_EQ(Lines(*font, u"a\n", 100), "a|");
  EXPECT_EQ(Lines(*font, u"\n", 100), "|");
  EXPECT_EQ(Lines(*font, u"aaa bbb\nccc ddd", 30), "aaa|bbb|ccc|ddd");
  EXPECT_EQ(MeasureWrapped(*font, u"Could not load the session.\nError #-5.", 1000).iLines, 2);
}

TEST(TextLayout, WrappedTextDrawsLineUnderLine) {
  FolderGuard guard;
  std::unique_ptr<CPwFont> font = BuiltIn(10, guard);
  std::unique_ptr<CPwBitmap> bmp(CPwBitmap::NewL(60, 60));
  const int32_t height =
      bmp->DrawTextWrapped(u"aaa bbb ccc ddd", *font, TPwRect{0, 0, 40, 30}, EAlignLeft, 0xFFFFFF);
  EXPECT_EQ(height, 2 * font->Height());
  const TPwRect ink = InkBox(*bmp);
  EXPECT_LE(ink.iRight, 40);
  EXPECT_LE(ink.iBottom, 30);  // lines past the rectangle's bottom are cut
  EXPECT_GT(ink.iBottom, font->Height());

  bmp->Clear(0);
  bmp->DrawTextWrapped(u"a\nbbbbb", *font, TPwRect{0, 0, 60, 60}, EAlignRight, 0xFFFFFF);
  // The short first line sits at the right edge too.
  bool right = false;
  for (int32_t y = 0; y < font->Height(); ++y) right |= bmp->Pixel(58, y) != 0xFF000000u;
  EXPECT_TRUE(right);
}

TEST(TextLayout, FittingLengthNeverSplitsACharacter) {
  FolderGuard guard;
  std::unique_ptr<CPwFont> font = BuiltIn(10, guard);
  EXPECT_EQ(FittingLength(*font, u"abcdef", 18), 3);
  EXPECT_EQ(FittingLength(*font, u"abcdef", 17), 2);
  EXPECT_EQ(FittingLength(*font, u"abcdef", 1000), 6);
  EXPECT_EQ(FittingLength(*font, u"abcdef", 0), 0);
  const char16_t pair[] = {u'a', 0xD83D, 0xDE00, u'b', 0};
  EXPECT_EQ(FittingLength(*font, pair, 11), 1);
  EXPECT_EQ(FittingLength(*font, pair, 12), 3);
}

TEST(TextLayout, LabelsSplitAtTheSpaceNearestTheMiddle) {
  EXPECT_EQ(MiddleSpace(u"Show map"), 4);
  EXPECT_EQ(MiddleSpace(u"Comparison"), -1);
  EXPECT_EQ(MiddleSpace(u""), -1);
  EXPECT_EQ(MiddleSpace(u"Lap times by sector"), 9);
  EXPECT_EQ(MiddleSpace(u"a b c"), 1);  // a tie keeps the earlier space
  EXPECT_EQ(MiddleSpace(u"Graph settings now"), 5);
}

}  // namespace
