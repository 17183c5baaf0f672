// How the live channel gauge draws one channel in its square: a sky plot of the satellites, a
// compass for the bearing, a needle dial for speeds, percentages and engine speed, and a text
// panel for everything else, with "No data" where the channel has no value.
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/channel_id.h"
#include "app/draw/pw_bitmap.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"

class CLayout;
class CModel;
class CPwFont;

class CAzimuthDrawer : public CPwBase {
 public:
  static constexpr TPwColour KBackground = 0x000000;
  static constexpr TPwColour KEmptyRing = 0xCF808080;
  static constexpr TPwColour KNeedle = 0x3FFF0000;
  static constexpr TPwColour KSatelliteText = 0xFFFFFF;
  static constexpr TPwColour KDialOutline = 0x808080;
  static constexpr TPwColour KDialFill = 0x7F303030;
  static constexpr TPwColour KCompassArrow = 0x3FFF0000;
  static constexpr TPwColour KValueText = 0xFFFFFF;
  static constexpr TPwColour KValueShadow = 0x3F000000;
  static constexpr TPwColour KLabelText = 0xC0C0C0;

  // aModel (not owned) gives the channel state, the slow bearing, the units and the texts.
  explicit CAzimuthDrawer(CModel& aModel);
  ~CAzimuthDrawer() override;

  // The control rectangle; the square is the largest one centred in it. The two fonts are
  // made again when it changes (leaves KErrNoMemory).
  void SetRect(const TPwRect& aRect);
  const TPwRect& Square() const { return iSquare; }
  int32_t Side() const { return iSide; }
  CPwFont* BigFont() const { return iBigFont.get(); }
  CPwFont* SmallFont() const { return iSmallFont.get(); }

  // Paints channel aChannel (0: none); nothing without an open session. Unless aDrawOver
  // the rectangle is filled with the background first.
  void Draw(CPwBitmap& aBitmap, CLayout& aLayout, TChannelId aChannel, bool aDrawOver);

  // --- Geometry and colours (also for tests).
  // Where a satellite at elevation / azimuth (degrees) lies in a square of side aSide.
  static TPwPoint SkyPosition(int32_t aCentreX, int32_t aCentreY, int32_t aSide, int32_t aElevation,
                              int32_t aAzimuth);
  // The fill of a satellite marker by its signal-to-noise ratio (below 0: none).
  static TPwColour SnrColour(int32_t aSnr);
  // The needle angle (radians clockwise from up) of a value of quantity class 4, 6 or 8.
  static double NeedleAngle(int32_t aClass, double aValue);

 private:
  void DrawFace(CPwBitmap& aBitmap, CLayout& aLayout, TChannelId aChannel, bool aDrawOver);
  void DrawDial(CPwBitmap& aBitmap);
  void DrawPanel(CPwBitmap& aBitmap);
  void DrawName(CPwBitmap& aBitmap, CPwFont& aFont, TChannelId aChannel);
  // A text centred on (aX, aY) in aColour.
  void DrawCentred(CPwBitmap& aBitmap, CPwFont& aFont, CPwStringC aText, int32_t aX, int32_t aY, TPwColour aColour);
  // A value text at the centre with its shadow.
  void DrawValue(CPwBitmap& aBitmap, CPwFont& aFont, CPwStringC aText);
  void DrawSatellites(CPwBitmap& aBitmap, CLayout& aLayout);
  void DrawCompass(CPwBitmap& aBitmap);
  void DrawTimeChannel(CPwBitmap& aBitmap, CLayout& aLayout, TChannelId aChannel);
  void DrawQuantity(CPwBitmap& aBitmap, CLayout& aLayout, TChannelId aChannel);

  CModel* iModel;
  TPwRect iRect;
  TPwRect iSquare;
  int32_t iSide = 0;
  int32_t iCentreX = 0;
  int32_t iCentreY = 0;
  std::unique_ptr<CPwFont> iBigFont;
  std::unique_ptr<CPwFont> iSmallFont;
  CPwString iText;
  CPwString iNoData;
};
