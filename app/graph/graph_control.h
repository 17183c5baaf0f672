// The graph of the analysis view: the generator's data painted by a CGraphDrawer, with two
// buttons that narrow and widen the x window, the cursor moved by commands and dragged with
// the pointer. A cursor change is told to the parent (ChildChanged), so that the map and the
// value line can follow.
#pragma once

#include <cstdint>
#include <memory>

#include "app/graph/graph_drawer.h"
#include "app/gui/custom_control.h"

class CBitmapButtonControl;
class CGraphGenerator;
class CModel;

namespace pwcmd {
// Cursor forward and back by a fiftieth of the window, and by fifteen of them.
constexpr int32_t KCursorForward = 4131;
constexpr int32_t KCursorBack = 4132;
constexpr int32_t KCursorForwardLarge = 4133;
constexpr int32_t KCursorBackLarge = 4134;
// The graph's x window narrower and wider.
constexpr int32_t KGraphZoomIn = 4135;
constexpr int32_t KGraphZoomOut = 4136;
}  // namespace pwcmd

class CGraphControl : public CContainerControl {
 public:
  enum TButton : int32_t { EZoomIn = 0, EZoomOut = 1 };

  // Leaves KErrNoMemory.
  static CGraphControl* NewL(CCustomControl* aParent, CModel& aModel);
  ~CGraphControl() override;

  // The generator of the open session when it holds data, else null.
  static CGraphGenerator* DataOf(const CModel& aModel);
  // The settings of a painting of the generator's current kind.
  TGraphSetup Setup() const;

  CGraphDrawer& Drawer() { return *iDrawer; }
  CBitmapButtonControl& Button(int32_t aIndex) const { return *iButtons[aIndex]; }
  // The x-window factor of the last painting (the settings' until the first one).
  double PaintedFactor() const;
  bool Dragging() const { return iDragging; }
  // Times the cursor moved since the control was made (each one a report to the parent).
  int32_t CursorChanges() const { return iCursorChanges; }

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  CGraphControl() = default;
  void ConstructL(CCustomControl* aParent, CModel& aModel);
  void CursorChanged();

  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);

  CModel* iModel = nullptr;
  std::unique_ptr<CGraphDrawer> iDrawer;
  double iPaintedFactor = 0.0;  // 0 before the first painting
  bool iDragging = false;
  double iPressCursor = 0.0;
  int32_t iPressX = 0;
  int32_t iPressY = 0;
  int32_t iCursorChanges = 0;
  CBitmapButtonControl* iButtons[2] = {};  // owned
};

// Places a pair of buttons against the right edge of aRect: the first centred a quarter of
// the height below the top, the second a quarter above the bottom.
void PlaceEdgeButtons(const TPwRect& aRect, CBitmapButtonControl& aFirst, CBitmapButtonControl& aSecond);
