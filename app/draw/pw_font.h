// Fonts of the drawing layer: a DejaVu face at a pixel size with its line metrics and a cache
// of anti-aliased glyph images. A font never fails to exist: a face file that cannot be opened
// falls back to the other DejaVu files and finally to a built-in box font that measures like
// a real one, so layouts stay sensible on a machine without fonts.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

namespace pwplat {
class FontFace;
}

enum TPwFontFace : int32_t {
  EPwFontSans = 0,  // DejaVuSans.ttf
  EPwFontBold = 1,  // DejaVuSans-Bold.ttf
  EPwFontMono = 2,  // DejaVuSansMono.ttf
};

// One cached glyph: its coverage image (8-bit, rows packed) placed relative to the pen on the
// baseline, and its advance.
struct TPwGlyph {
  uint32_t iCodePoint;
  int16_t iWidth;
  int16_t iHeight;
  int16_t iLeft;  // pen to first column
  int16_t iTop;   // baseline up to first row
  int16_t iAdvance;
  const uint8_t* iCoverage;  // null for blanks; owned by the font
};

class CPwFont : public CPwBase {
 public:
  // A font of the given face at an em size of aPixelSize pixels (clamped to 1..512).
  static CPwFont* NewL(TPwFontFace aFace, int32_t aPixelSize);
  // A font from any font file; when it cannot be opened, the DejaVu faces of the font folder
  // (Sans first) and then the built-in font stand in.
  static CPwFont* NewL(CPwStringC aPath, int32_t aPixelSize);
  ~CPwFont() override;

  // The folder searched for the DejaVu files, first for the asked-for face and then for the
  // others before the built-in font is used; an empty text restores the system folder
  // (/usr/share/fonts/truetype/dejavu/). Affects fonts created afterwards.
  static void SetFontFolder(CPwStringC aFolder);
  // The folder searched now.
  static CPwString FontFolder();

  TPwFontFace Face() const { return iFace; }
  int32_t PixelSize() const { return iPixelSize; }
  // True when no font file could be opened and the built-in box font draws instead.
  bool IsBuiltIn() const { return iEngine == nullptr; }
  // The file the glyphs come from (empty for the built-in font).
  CPwStringC FilePath() const { return iFilePath; }

  // Pixels above / below the baseline; Height is the line height (baseline to baseline).
  int32_t Ascent() const { return iAscent; }
  int32_t Descent() const { return iDescent; }
  int32_t Height() const { return iHeight; }

  // The cached glyph of a code point, rendered on first use; never null. Leaves with
  // KErrNoMemory when the cache cannot grow.
  const TPwGlyph& Glyph(uint32_t aCodePoint);
  int32_t CharWidth(uint32_t aCodePoint) { return Glyph(aCodePoint).iAdvance; }
  // Advance width of a single line of UTF-16 text (surrogate pairs joined; unpaired halves
  // count as U+FFFD; line breaks count as nothing).
  int32_t TextWidth(CPwStringC aText);

  // Reads one code point of UTF-16 text at aPos and moves aPos past it.
  static uint32_t NextCodePoint(CPwStringC aText, int32_t& aPos);

 private:
  CPwFont() = default;
  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);
  void ConstructL(const char* aFirstChoice, TPwFontFace aFace, int32_t aPixelSize);
  bool TryOpen(const char* aPath);
  TPwGlyph& RenderL(uint32_t aCodePoint);
  TPwGlyph BuiltInGlyphL(uint32_t aCodePoint);

  TPwFontFace iFace = EPwFontSans;
  int32_t iPixelSize = 0;
  int32_t iAscent = 0;
  int32_t iDescent = 0;
  int32_t iHeight = 0;
  pwplat::FontFace* iEngine = nullptr;  // owned; null for the built-in font
  CPwString iFilePath;
  // Latin-1 glyphs by code point for speed; all others in iOther, sorted by code point.
  TPwGlyph* iLatin[256] = {};
  CPwVector<TPwGlyph*> iOther{16};
  CPwVector<TPwGlyph*> iAll{64};  // every glyph record, for freeing
};
