// The map of the open session's route, shared by the live timer (live mode: the route so far
// with the current position kept in view) and the route view (route mode: a cursor sample
// stepped along the route, the map dragged by the pointer). Zoom buttons change the settings'
// map scale; the step buttons move the position list's cursor.
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "app/map/map_drag.h"
#include "app/map/map_drawer.h"

class CBitmapButtonControl;
class CModel;
class CSettings;
class CTrackSession;

class CMapControl : public CContainerControl {
 public:
  enum TMode : int32_t { ERouteMode = 0, ELiveMode = 1 };
  // The view size at map scale 1, metres.
  static constexpr double KBaseSize = 1000.0;
  static constexpr TPwColour KRouteColour = 0xFFFF00;
  static constexpr TPwColour KBackground = 0x000000;

  // The map with its four buttons; leaves KErrNoMemory.
  static CMapControl* NewL(CCustomControl* aParent, CModel& aModel, int32_t aMode);
  ~CMapControl() override;

  int32_t Mode() const { return iMode; }
  CMapDrawer& Drawer() { return iDrawer; }
  // The view size in metres at the last painting (0 before one).
  double ActualViewSize() const { return iActualViewSize; }
  CBitmapButtonControl& Button(int32_t aIndex) const { return *iButtons[aIndex]; }
  // The buttons in child order.
  enum TButton : int32_t { EZoomIn = 0, EZoomOut = 1, ENext = 2, EPrevious = 3 };

  // Clears the drawer and gives it the session's samples, its traps and the centre (the
  // cursor sample in route mode, the newest sample in live mode).
  void Recentre();

  // The settings' map scale stepped as the zoom buttons do, against the view size x metres
  // shown last: zooming in halves it while x / 1000 * 0.99 <= scale, out doubles it while
  // x / 1000 * 1.01 >= scale. Returns the new scale.
  static double ZoomedIn(double aScale, double aViewMetres);
  static double ZoomedOut(double aScale, double aViewMetres);
  // A zoom command on the settings' map scale, against the view size shown last (0 before a
  // painting: the size the scale asks for).
  static void StepZoom(CSettings& aSettings, bool aIn, double aShownMetres);

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  CMapControl() = default;
  void ConstructL(CCustomControl* aParent, CModel& aModel, int32_t aMode);
  void LayoutButtons();
  void Repaint();

  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);

  CModel* iModel = nullptr;
  int32_t iMode = ERouteMode;
  CMapDrawer iDrawer;
  CMapRouteCache iCache;
  const CTrackSession* iSession = nullptr;  // the session the cache was drawn for
  double iActualViewSize = 0.0;
  TMapDrag iDrag;
  CBitmapButtonControl* iButtons[4] = {};  // owned
};
