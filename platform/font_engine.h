// Scalable fonts through FreeType: one face opened from a font file at a pixel size, its line
// metrics, and anti-aliased glyph images (8-bit coverage). Paths are zero-terminated UTF-8.
// Nothing here throws; a file that cannot be opened gives a null face.
#pragma once

#include <cstdint>

namespace pwplat {

// One rendered glyph. Coverage is Height rows of Width bytes, Pitch bytes apart, 0 (none) to
// 255 (full); it stays valid until the face renders the next glyph or is destroyed.
struct TGlyphImage {
  int32_t iWidth = 0;
  int32_t iHeight = 0;
  int32_t iLeft = 0;     // from the pen position to the image's first column
  int32_t iTop = 0;      // from the baseline up to the image's first row
  int32_t iAdvance = 0;  // pen movement in whole pixels
  int32_t iPitch = 0;
  const uint8_t* iCoverage = nullptr;
};

class FontFace {
 public:
  // Opens a face at an em size of aPixelSize pixels (clamped to 1..512). Null when the file is
  // missing, not a font FreeType knows, or not scalable.
  static FontFace* Open(const char* aPath, int32_t aPixelSize);
  ~FontFace();
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;

  // Whole pixels above and below the baseline, and the distance between baselines
  // (at least Ascent + Descent).
  int32_t Ascent() const { return iAscent; }
  int32_t Descent() const { return iDescent; }
  int32_t LineHeight() const { return iLineHeight; }

  // True when the face has a glyph of its own for the code point.
  bool HasGlyph(uint32_t aCodePoint) const;
  // Renders a code point; a code point without a glyph renders the face's missing-glyph
  // shape. False (image empty) when FreeType fails.
  bool Render(uint32_t aCodePoint, TGlyphImage& aImage);

 private:
  FontFace() = default;

  void* iFace = nullptr;  // FT_Face, kept opaque so that FreeType stays inside this file
  int32_t iAscent = 0;
  int32_t iDescent = 0;
  int32_t iLineHeight = 0;
};

}  // namespace pwplat
