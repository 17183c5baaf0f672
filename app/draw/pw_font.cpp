#include "app/draw/pw_font.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/font_engine.h"

namespace {

const char* const KSystemFontFolder = "/usr/share/fonts/truetype/dejavu/";
const char* const KFaceFiles[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf"};

std::string& FolderSetting() {
  static std::string folder = KSystemFontFolder;
  return folder;
}

// Characters that take no room and draw nothing: controls, line and paragraph separators,
// zero-width marks. Without this a face would draw its missing-glyph box for them.
bool IsInvisible(uint32_t aCp) {
  return aCp < 0x20 || (aCp >= 0x7F && aCp < 0xA0) || aCp == 0x2028 || aCp == 0x2029 ||
         (aCp >= 0x200B && aCp <= 0x200F) || aCp == 0xFEFF;
}

int32_t Clamp16(int32_t aValue) { return std::clamp<int32_t>(aValue, -32000, 32000); }

}  // namespace

CPwFont* CPwFont::NewL(TPwFontFace aFace, int32_t aPixelSize) {
  if (aFace < EPwFontSans || aFace > EPwFontMono) aFace = EPwFontSans;
  const std::string path = FolderSetting() + KFaceFiles[aFace];
  return PwNewL<CPwFont>(path.c_str(), aFace, aPixelSize);
}

CPwFont* CPwFont::NewL(CPwStringC aPath, int32_t aPixelSize) {
  const std::string path = PwToUtf8(aPath);
  return PwNewL<CPwFont>(path.c_str(), EPwFontSans, aPixelSize);
}

CPwFont::~CPwFont() {
  for (TPwGlyph* glyph : iAll) {
    FreeMem(const_cast<uint8_t*>(glyph->iCoverage));
    FreeMem(glyph);
  }
  delete iEngine;
}

void CPwFont::SetFontFolder(CPwStringC aFolder) {
  std::string folder = aFolder.IsEmpty() ? std::string(KSystemFontFolder) : PwToUtf8(aFolder);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  FolderSetting() = folder;
}

CPwString CPwFont::FontFolder() { return PwStringFromUtf8(FolderSetting()); }

void CPwFont::ConstructL(const char* aFirstChoice, TPwFontFace aFace, int32_t aPixelSize) {
  iFace = aFace;
  iPixelSize = std::clamp<int32_t>(aPixelSize, 1, 512);
  // The wanted file, then the DejaVu faces of the font folder, the asked-for face first so
  // that a missing bold file still gives a bold font from elsewhere.
  bool open = TryOpen(aFirstChoice);
  const std::string& folder = FolderSetting();
  for (int face = 0; face < 3 && !open; ++face) {
    const int pick = face == 0 ? aFace : (face <= aFace ? face - 1 : face);
    open = TryOpen((folder + KFaceFiles[pick]).c_str());
  }
  if (open) {
    iAscent = iEngine->Ascent();
    iDescent = iEngine->Descent();
    iHeight = iEngine->LineHeight();
  } else {
    // DejaVu's proportions, so that layouts measured with the built-in font look alike.
    iAscent = (iPixelSize * 93 + 99) / 100;
    iDescent = (iPixelSize * 24 + 99) / 100;
    iHeight = iAscent + iDescent;
  }
}

bool CPwFont::TryOpen(const char* aPath) {
  pwplat::FontFace* engine = pwplat::FontFace::Open(aPath, iPixelSize);
  if (!engine) return false;
  iEngine = engine;
  iFilePath = PwStringFromUtf8(aPath);
  return true;
}

const TPwGlyph& CPwFont::Glyph(uint32_t aCodePoint) {
  if (aCodePoint < 256) {
    if (TPwGlyph* glyph = iLatin[aCodePoint]) return *glyph;
    return RenderL(aCodePoint);
  }
  // Binary search of the sorted other glyphs.
  int32_t low = 0, high = iOther.Count();
  while (low < high) {
    const int32_t mid = (low + high) / 2;
    const uint32_t cp = iOther[mid]->iCodePoint;
    if (cp == aCodePoint) return *iOther[mid];
    if (cp < aCodePoint)
      low = mid + 1;
    else
      high = mid;
  }
  return RenderL(aCodePoint);
}

TPwGlyph& CPwFont::RenderL(uint32_t aCodePoint) {
  TPwGlyph made{};
  made.iCodePoint = aCodePoint;
  if (IsInvisible(aCodePoint)) {
    // nothing to draw, no room taken
  } else if (iEngine) {
    pwplat::TGlyphImage image;
    if (iEngine->Render(aCodePoint, image)) {
      made.iAdvance = static_cast<int16_t>(Clamp16(image.iAdvance));
      if (image.iCoverage && image.iWidth > 0 && image.iHeight > 0) {
        const size_t size = static_cast<size_t>(image.iWidth) * image.iHeight;
        auto* coverage = static_cast<uint8_t*>(AllocL(size));
        for (int32_t row = 0; row < image.iHeight; ++row)
          std::memcpy(coverage + static_cast<size_t>(row) * image.iWidth,
                      image.iCoverage + static_cast<size_t>(row) * image.iPitch,
                      static_cast<size_t>(image.iWidth));
        made.iCoverage = coverage;
        made.iWidth = static_cast<int16_t>(Clamp16(image.iWidth));
        made.iHeight = static_cast<int16_t>(Clamp16(image.iHeight));
        made.iLeft = static_cast<int16_t>(Clamp16(image.iLeft));
        made.iTop = static_cast<int16_t>(Clamp16(image.iTop));
      }
    }
  } else {
    made = BuiltInGlyphL(aCodePoint);
  }

  TPwGlyph* glyph = nullptr;
  try {
    glyph = static_cast<TPwGlyph*>(AllocL(sizeof(TPwGlyph)));
    *glyph = made;
    iAll.Append(glyph);
  } catch (...) {
    FreeMem(glyph);
    FreeMem(const_cast<uint8_t*>(made.iCoverage));
    throw;
  }
  if (aCodePoint < 256) {
    iLatin[aCodePoint] = glyph;
  } else {
    int32_t pos = 0;
    while (pos < iOther.Count() && iOther[pos]->iCodePoint < aCodePoint) ++pos;
    iOther.Insert(glyph, pos);  // on a leave the record is still freed through iAll
  }
  return *glyph;
}

// The built-in font draws every visible character as an outlined box of DejaVu's average
// width: text stays visible, measurable and clickable without any font file.
TPwGlyph CPwFont::BuiltInGlyphL(uint32_t aCodePoint) {
  TPwGlyph glyph{};
  glyph.iCodePoint = aCodePoint;
  glyph.iAdvance = static_cast<int16_t>(std::max<int32_t>(1, (iPixelSize * 60 + 50) / 100));
  if (aCodePoint == u' ' || aCodePoint == 0xA0) {
    glyph.iAdvance = static_cast<int16_t>(std::max<int32_t>(1, (iPixelSize * 32 + 50) / 100));
    return glyph;
  }
  const int32_t w = std::max<int32_t>(1, glyph.iAdvance - 2);
  const int32_t h = std::max<int32_t>(1, (iPixelSize * 73 + 50) / 100);
  auto* coverage = static_cast<uint8_t*>(AllocL(static_cast<size_t>(w) * h));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      if (y == 0 || y == h - 1 || x == 0 || x == w - 1) coverage[y * w + x] = 255;
  glyph.iCoverage = coverage;
  glyph.iWidth = static_cast<int16_t>(w);
  glyph.iHeight = static_cast<int16_t>(h);
  glyph.iLeft = 1;
  glyph.iTop = static_cast<int16_t>(h);
  return glyph;
}

uint32_t CPwFont::NextCodePoint(CPwStringC aText, int32_t& aPos) {
  const char16_t* p = aText.Ptr();
  const uint32_t unit = p[aPos++];
  if (unit >= 0xD800 && unit < 0xDC00) {
    if (aPos < aText.Length()) {
      const uint32_t low = p[aPos];
      if (low >= 0xDC00 && low < 0xE000) {
        ++aPos;
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    return 0xFFFD;
  }
  if (unit >= 0xDC00 && unit < 0xE000) return 0xFFFD;
  return unit;
}

int32_t CPwFont::TextWidth(CPwStringC aText) {
  int32_t width = 0;
  for (int32_t pos = 0; pos < aText.Length();) width += Glyph(NextCodePoint(aText, pos)).iAdvance;
  return width;
}
