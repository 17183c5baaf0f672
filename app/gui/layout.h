// The look shared by every control: the GUI's fonts, the colour table, the table of known
// screen sizes with the icon size for each, the toolbar's geometry, and the icon cache.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CPwFont;

struct TLayoutResolution {
  int32_t iScreenWidth = 0;
  int32_t iScreenHeight = 0;
  int32_t iIconWidth = 16;
  int32_t iIconHeight = 16;
};

// Where the toolbar sits.
enum TToolbarSide : int32_t { EBarBottom = 0, EBarLeft = 1, EBarRight = 2, EBarNone = 3 };

class CLayout : public CPwBase {
 public:
  static constexpr int32_t KFontCount = 11;
  // The base size of the fonts; every font is a percentage of it.
  static constexpr int32_t KBaseFontSize = 22;
  static constexpr int32_t KResolutionCount = 15;

  // Roles of the fonts as the controls use them.
  enum TFont : int32_t {
    EFontNormal = 0,
    EFontTitle = 1,      // 120 % bold
    EFontSmall = 2,
    EFontHuge = 3,       // 140 % bold
    EFontHeading = 4,    // 120 % bold
    EFontHugeBold = 5,   // 140 % bold
    EFontLarge = 6,      // 120 %
    EFontText = 7,
    EFontTiny = 8,       // 90 % bold
    EFontScaledHuge = 9, // font 5 at the percentage setting
    EFontScaledText = 10 // font 7 at the percentage setting
  };

  static CLayout* NewL();
  ~CLayout() override;

  // --- Fonts: created once, on first use (or when the surface first gets a size).
  CPwFont& Font(int32_t aIndex);
  // Scale factor of every font (1.0 unless changed) and percentage of fonts 9 and 10 (100).
  // Only fonts not yet created are affected.
  void SetScale(double aScale) { iScale = aScale; }
  void SetFontPercent(int32_t aPercent) { iFontPercent = aPercent; }
  // A new percentage for fonts 9 and 10 that made fonts follow too (they are made again).
  void ChangeFontPercent(int32_t aPercent);
  double Scale() const { return iScale; }
  // Pixel size of font aIndex.
  int32_t FontPixelSize(int32_t aIndex) const;

  // --- Colours: 0 yellow, 1 green, 2 magenta, 3 red, 4 cyan, 5 blue, others grey; dimmed
  // colours have every component scaled by 140 / 255.
  static TPwColour Colour(int32_t aNumber, bool aDimmed = false);

  // --- Screen sizes.
  static const TLayoutResolution& ResolutionAt(int32_t aIndex);
  // The entry nearest to the size (squared distance, closer than the size's own squared
  // length, first on ties); a zero size with 16 x 16 icons when none is near enough.
  static TLayoutResolution NearestResolution(int32_t aWidth, int32_t aHeight);
  // The surface got a new size: fonts exist from now on, the entry and icons follow it.
  void SurfaceChanged(int32_t aWidth, int32_t aHeight);
  const TLayoutResolution& Resolution() const { return iResolution; }
  int32_t SurfaceWidth() const { return iWidth; }
  int32_t SurfaceHeight() const { return iHeight; }

  // --- Toolbar geometry for the current surface.
  TToolbarSide ToolbarSide() const;
  // Height of a bottom bar, width of a side bar.
  int32_t ToolbarThickness() const;
  int32_t ToolbarSlots() const;

  // --- Icons: "<install>/icons/<name>.png" scaled into aSize x aSize (0: the entry's icon
  // size). Null when the file is missing or unreadable; the answer is remembered.
  const CPwBitmap* Icon(const char* aName, int32_t aSize = 0);
  // The folder icons come from (with a trailing '/'); empty: the installation's "icons/".
  void SetIconFolder(CPwStringC aFolder);

 private:
  struct TIcon {
    char iName[32];
    int32_t iSize;
    CPwBitmap* iBitmap;  // owned; null when missing
  };

  CLayout() = default;
  void CreateFontsL();

  double iScale = 1.0;
  int32_t iFontPercent = 100;
  CPwFont* iFonts[KFontCount] = {};
  int32_t iWidth = 0;
  int32_t iHeight = 0;
  TLayoutResolution iResolution;
  CPwString iIconFolder;
  CPwVector<TIcon> iIcons{16};
};
