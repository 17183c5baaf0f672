#include "app/gui/layout.h"

#include <cmath>
#include <cstring>

#include "app/draw/pw_font.h"
#include "foundation/paths.h"

namespace {

struct TFontStyle {
  int32_t iPercent;
  bool iBold;
};

// The nine fonts derived from the base size.
constexpr TFontStyle KFontStyles[9] = {{100, false}, {120, true}, {100, false}, {140, true}, {120, true},
                                     {140, true},  {120, false}, {100, false}, {90, true}};

constexpr TLayoutResolution KResolutions[CLayout::KResolutionCount] = {
    {176, 220, 16, 16}, {240, 240, 16, 16}, {240, 320, 32, 32}, {320, 240, 32, 32}, {240, 400, 32, 32},
    {400, 240, 32, 32}, {320, 320, 48, 48}, {272, 480, 48, 48}, {480, 272, 48, 48}, {480, 480, 48, 48},
    {480, 640, 64, 64}, {640, 480, 64, 64}, {480, 800, 64, 64}, {800, 480, 64, 64}, {0, 0, 0, 0}};

// The sizes are line heights; a DejaVu line is about four thirds of its em.
int32_t EmOf(double aLineHeight) {
  const int32_t em = static_cast<int32_t>(std::lround(aLineHeight * 3.0 / 4.0));
  return em < 4 ? 4 : em;
}

}  // namespace

CLayout* CLayout::NewL() { return new CLayout(); }

CLayout::~CLayout() {
  for (CPwFont*& font : iFonts) {
    delete font;
    font = nullptr;
  }
  for (TIcon& icon : iIcons) delete icon.iBitmap;
  iIcons.Reset();
}

int32_t CLayout::FontPixelSize(int32_t aIndex) const {
  if (aIndex < 0 || aIndex >= KFontCount) aIndex = 0;
  double size = KBaseFontSize * iScale;
  if (aIndex < 9) return EmOf(size * KFontStyles[aIndex].iPercent / 100.0);
  const TFontStyle& from = KFontStyles[aIndex == 9 ? 5 : 7];
  return EmOf(size * from.iPercent / 100.0 * iFontPercent / 100.0);
}

void CLayout::CreateFontsL() {
  for (int32_t i = 0; i < KFontCount; ++i) {
    if (iFonts[i]) continue;
    const bool bold = i < 9 ? KFontStyles[i].iBold : KFontStyles[i == 9 ? 5 : 7].iBold;
    iFonts[i] = CPwFont::NewL(bold ? EPwFontBold : EPwFontSans, FontPixelSize(i));
  }
}

void CLayout::ChangeFontPercent(int32_t aPercent) {
  if (aPercent == iFontPercent) return;
  iFontPercent = aPercent;
  for (int32_t i = 9; i < KFontCount; ++i) {
    delete iFonts[i];
    iFonts[i] = nullptr;
  }
}

CPwFont& CLayout::Font(int32_t aIndex) {
  if (aIndex < 0 || aIndex >= KFontCount) aIndex = 0;
  if (!iFonts[aIndex]) CreateFontsL();
  return *iFonts[aIndex];
}

TPwColour CLayout::Colour(int32_t aNumber, bool aDimmed) {
  static constexpr TPwColour KTable[6] = {0xFFFF00, 0x00FF00, 0xFF00FF, 0xFF0000, 0x00FFFF, 0x0000FF};
  const TPwColour colour = aNumber >= 0 && aNumber < 6 ? KTable[aNumber] : 0xAAAAAA;
  if (!aDimmed) return colour;
  const uint32_t r = ((colour >> 16) & 0xFF) * 140 / 255;
  const uint32_t g = ((colour >> 8) & 0xFF) * 140 / 255;
  const uint32_t b = (colour & 0xFF) * 140 / 255;
  return (r << 16) | (g << 8) | b;
}

const TLayoutResolution& CLayout::ResolutionAt(int32_t aIndex) {
  if (aIndex < 0 || aIndex >= KResolutionCount - 1) return KResolutions[KResolutionCount - 1];
  return KResolutions[aIndex];
}

TLayoutResolution CLayout::NearestResolution(int32_t aWidth, int32_t aHeight) {
  // Squared distances in 64 bits: a surface may be as large as the bitmap allows.
  const int64_t own = static_cast<int64_t>(aWidth) * aWidth + static_cast<int64_t>(aHeight) * aHeight;
  int64_t best = own;
  TLayoutResolution result;  // zero size, 16 x 16 icons
  for (int32_t i = 0; i < KResolutionCount - 1; ++i) {
    const TLayoutResolution& entry = KResolutions[i];
    const int64_t dw = entry.iScreenWidth - aWidth;
    const int64_t dh = entry.iScreenHeight - aHeight;
    const int64_t distance = dw * dw + dh * dh;
    if (distance < best) {
      best = distance;
      result = entry;
    }
  }
  return result;
}

void CLayout::SurfaceChanged(int32_t aWidth, int32_t aHeight) {
  CreateFontsL();
  iWidth = aWidth;
  iHeight = aHeight;
  const TLayoutResolution nearest = NearestResolution(aWidth, aHeight);
  if (nearest.iIconWidth != iResolution.iIconWidth || nearest.iScreenWidth != iResolution.iScreenWidth ||
      nearest.iScreenHeight != iResolution.iScreenHeight) {
    // Icons of the default size were loaded for the old entry.
    for (int32_t i = iIcons.Count() - 1; i >= 0; --i) {
      delete iIcons.At(i).iBitmap;
      iIcons.Remove(i);
    }
  }
  iResolution = nearest;
  // The map's zoom buttons are on almost every map view: loaded with the size.
  (void)Icon("map_zoom_out");
  (void)Icon("map_zoom_in");
}

TToolbarSide CLayout::ToolbarSide() const {
  if (iWidth <= 0 || iHeight <= 0) return EBarNone;
  // Landscape screens keep their height for the content and put the bar on the right.
  return iWidth > iHeight ? EBarRight : EBarBottom;
}

int32_t CLayout::ToolbarThickness() const {
  const int32_t icon = iResolution.iIconHeight > 0 ? iResolution.iIconHeight : 16;
  const int32_t side = ToolbarSide() == EBarBottom ? iHeight : iWidth;
  int32_t thickness = icon + icon / 8;
  if (thickness > side / 6) thickness = side / 6;
  return thickness < 16 ? 16 : thickness;
}

int32_t CLayout::ToolbarSlots() const {
  const int32_t length = ToolbarSide() == EBarBottom ? iWidth : iHeight;
  const int32_t slots = length / (ToolbarThickness() + ToolbarThickness() / 8 + 1);
  return slots < 2 ? 2 : (slots > 6 ? 6 : slots);
}

void CLayout::SetIconFolder(CPwStringC aFolder) {
  iIconFolder.Copy(aFolder);
  for (int32_t i = iIcons.Count() - 1; i >= 0; --i) {
    delete iIcons.At(i).iBitmap;
    iIcons.Remove(i);
  }
}

const CPwBitmap* CLayout::Icon(const char* aName, int32_t aSize) {
  if (!aName || !*aName || std::strlen(aName) >= sizeof(TIcon::iName)) return nullptr;
  if (aSize <= 0) aSize = iResolution.iIconWidth > 0 ? iResolution.iIconWidth : 16;
  for (const TIcon& icon : iIcons)
    if (icon.iSize == aSize && std::strcmp(icon.iName, aName) == 0) return icon.iBitmap;
  CPwString path;
  if (iIconFolder.IsEmpty()) {
    InstallFolder(path);
    path.Append(u"icons/");
  } else {
    path.Copy(iIconFolder);
  }
  path.AppendFromUtf8(aName);
  path.Append(u".png");
  TIcon icon{};
  std::strcpy(icon.iName, aName);
  icon.iSize = aSize;
  icon.iBitmap = CPwBitmap::LoadPngL(path, aSize, aSize);
  if (Trap([&] { AppendOwnedL(iIcons, icon, icon.iBitmap); }) != KErrNone) return nullptr;
  return icon.iBitmap;
}
