#include "platform/font_engine.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <mutex>

namespace pwplat {

namespace {

// FreeType's library object is not safe for concurrent face creation; drawing happens on one
// thread, but a lock costs nothing at open time. The library lives until the process ends.
std::mutex& LibraryLock() {
  static std::mutex lock;
  return lock;
}

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) lib = nullptr;
    return lib;
  }();
  return library;
}

int32_t CeilPixels(FT_Pos a26d6) { return static_cast<int32_t>((a26d6 + 63) >> 6); }

}  // namespace

FontFace* FontFace::Open(const char* aPath, int32_t aPixelSize) {
  if (!aPath || !*aPath) return nullptr;
  if (aPixelSize < 1) aPixelSize = 1;
  if (aPixelSize > 512) aPixelSize = 512;

  std::lock_guard<std::mutex> guard(LibraryLock());
  FT_Library lib = Library();
  if (!lib) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(lib, aPath, 0, &face) != 0) return nullptr;
  if (!FT_IS_SCALABLE(face) || FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 ||
      FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(aPixelSize)) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  auto* result = new (std::nothrow) FontFace();
  if (!result) {
    FT_Done_Face(face);
    return nullptr;
  }
  result->iFace = face;
  const FT_Size_Metrics& m = face->size->metrics;
  result->iAscent = CeilPixels(m.ascender);
  result->iDescent = CeilPixels(-m.descender);
  if (result->iDescent < 0) result->iDescent = 0;
  result->iLineHeight = static_cast<int32_t>((m.height + 32) >> 6);
  if (result->iLineHeight < result->iAscent + result->iDescent)
    result->iLineHeight = result->iAscent + result->iDescent;
  return result;
}

FontFace::~FontFace() {
  std::lock_guard<std::mutex> guard(LibraryLock());
  if (iFace) FT_Done_Face(static_cast<FT_Face>(iFace));
}

bool FontFace::HasGlyph(uint32_t aCodePoint) const {
  return FT_Get_Char_Index(static_cast<FT_Face>(iFace), aCodePoint) != 0;
}

bool FontFace::Render(uint32_t aCodePoint, TGlyphImage& aImage) {
  aImage = TGlyphImage();
  FT_Face face = static_cast<FT_Face>(iFace);
  const FT_UInt index = FT_Get_Char_Index(face, aCodePoint);
  // Light hinting keeps the shapes smooth and snaps only vertically, so advances stay close
  // to the design widths.
  if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0) return false;
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  aImage.iAdvance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.rows == 0 || bitmap.width == 0 ||
      !bitmap.buffer) {
    return true;  // blanks (space) have an advance but no image
  }
  // The grey renderer writes top-down rows; a bottom-up or short pitch is not expected.
  if (bitmap.pitch < static_cast<int>(bitmap.width)) return true;
  aImage.iWidth = static_cast<int32_t>(bitmap.width);
  aImage.iHeight = static_cast<int32_t>(bitmap.rows);
  aImage.iLeft = slot->bitmap_left;
  aImage.iTop = slot->bitmap_top;
  aImage.iPitch = bitmap.pitch;
  aImage.iCoverage = bitmap.buffer;
  return true;
}

}  // namespace pwplat
