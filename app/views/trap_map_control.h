// The map of the trap view: the session's recorded route in yellow, the traps of its track
// with the selected one highlighted, and, while a trap is being added, moved or rotated, the
// working copy of that trap. Six on-screen buttons: zoom in and out (always), the previous and
// next trap (while browsing), and the two steps (while rotating or adding). The map interprets
// the step commands by its mode; the view around it makes the changes to the track.
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "app/map/map_drag.h"
#include "app/map/map_drawer.h"
#include "timing/trap_line.h"

class CBitmapButtonControl;
class CModel;
class CTrackSession;

namespace pwcmd {
// Previous / next trap (4116 / 4117) are the map's step commands of commands.h.
constexpr int32_t KLatitudeUp = 4122;
constexpr int32_t KLatitudeUpLarge = 4123;
constexpr int32_t KLatitudeDown = 4124;
constexpr int32_t KLatitudeDownLarge = 4125;
constexpr int32_t KStepBack = 4126;
constexpr int32_t KStepBackLarge = 4127;
constexpr int32_t KStepForward = 4128;
constexpr int32_t KStepForwardLarge = 4129;
}  // namespace pwcmd

class CTrapMapControl : public CContainerControl {
 public:
  enum TMode : int32_t { EBrowsing = 0, EMoving = 1, ERotating = 2, EAdding = 3 };
  enum TButton : int32_t { EZoomIn = 0, EZoomOut = 1, EPrevious = 2, ENext = 3, EStepForward = 4, EStepBack = 5 };
  static constexpr int32_t KButtonCount = 6;
  static constexpr TPwColour KRouteColour = 0xFFFF00;
  static constexpr int32_t KRouteWidth = 3;
  // Coordinate units of the small and large moves (50 units are 0.0005 minute of arc).
  static constexpr int32_t KSmallMove = 50;
  static constexpr int32_t KLargeMove = 500;
  // Samples of the small and large steps of the route cursor.
  static constexpr int32_t KSmallStep = 2;
  static constexpr int32_t KLargeStep = 100;
  // Width of a trap placed on the route, metres.
  static constexpr double KNewTrapWidth = 50.0;

  // Leaves KErrNoMemory.
  static CTrapMapControl* NewL(CCustomControl* aParent, CModel& aModel);
  ~CTrapMapControl() override;

  TMode Mode() const { return iMode; }
  bool Editing() const { return iMode != EBrowsing; }
  // The copy of the trap being added, moved or rotated.
  const CTrapLine& Working() const { return iWorking; }
  CBitmapButtonControl& Button(int32_t aIndex) const { return *iButtons[aIndex]; }
  CMapDrawer& Drawer() { return iDrawer; }
  // The view size in metres at the last painting (0 before one).
  double ActualViewSize() const { return iActualViewSize; }

  // The editing modes, each entered only from browsing; false when it does not apply (no
  // cursor sample inside the route, no selected trap).
  bool StartAdding();
  bool StartMoving();
  bool StartRotating();
  // Back to browsing; the working trap is forgotten.
  void EndEditing();
  // The map follows the selected trap (or the working trap, or the cursor while adding).
  void Recentre();

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  CTrapMapControl() = default;
  void ConstructL(CCustomControl* aParent, CModel& aModel);
  void LayoutButtons();
  void ShowButtons();
  void Repaint();
  void LoadData();
  // The working trap across the cursor sample, along its bearing.
  void PlaceAtCursor();
  void MoveWorking(int32_t aLatitude, int32_t aLongitude);
  void RotateWorking(int32_t aDegrees);
  void StepCursor(int32_t aSamples);
  CTrackSession* Session() const;

  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);

  CModel* iModel = nullptr;
  TMode iMode = EBrowsing;
  CTrapLine iWorking;
  CMapDrawer iDrawer;
  CMapRouteCache iCache;
  const CTrackSession* iSession = nullptr;  // the session the cache was drawn for
  double iActualViewSize = 0.0;
  TMapDrag iDrag;
  CBitmapButtonControl* iButtons[KButtonCount] = {};  // owned
};
