// The small map of the analysis view: the primary stretch and (when shown) the comparison
// stretch of the graph data, the track's traps, a selected marker at the primary's position at
// the graph cursor and a normal marker where the comparison was after the same time from its
// start. Two buttons zoom it; the pointer drags it.
#pragma once

#include <cstdint>

#include "acquisition/position_plot.h"
#include "app/gui/custom_control.h"
#include "app/map/map_drag.h"
#include "app/map/map_drawer.h"

class CBitmapButtonControl;
class CModel;

class CGraphMapControl : public CContainerControl {
 public:
  static constexpr double KBaseSize = 1000.0;
  static constexpr TPwColour KPrimaryColour = 0xFFFF00;
  static constexpr TPwColour KComparisonColour = 0x808000;
  static constexpr TPwColour KBackground = 0x000000;
  enum TButton : int32_t { EZoomIn = 0, EZoomOut = 1 };

  // Leaves KErrNoMemory.
  static CGraphMapControl* NewL(CCustomControl* aParent, CModel& aModel);
  ~CGraphMapControl() override;

  // Takes the cursor samples from the graph data and gives the drawer the stretches again.
  void UpdateCursorSamples();

  // The samples at the cursor; false when there is none.
  bool PrimarySample(TPositionPlot& aSample) const;
  bool ComparisonSample(TPositionPlot& aSample) const;
  // The comparison's position after as long from its start as the primary cursor sample is
  // from the primary's; false when there is none.
  bool AlignedComparison(TPositionPlot& aSample) const;
  double ActualViewSize() const { return iActualViewSize; }
  CMapDrawer& Drawer() { return iDrawer; }
  CBitmapButtonControl& Button(int32_t aIndex) const { return *iButtons[aIndex]; }

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  CGraphMapControl() = default;
  void ConstructL(CCustomControl* aParent, CModel& aModel);
  void Repaint();

  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);

  CModel* iModel = nullptr;
  CMapDrawer iDrawer;
  double iActualViewSize = 0.0;
  bool iHasPrimary = false;
  bool iHasComparison = false;
  bool iHasAligned = false;
  TPositionPlot iPrimary;
  TPositionPlot iComparison;
  TPositionPlot iAligned;
  TMapDrag iDrag;
  CBitmapButtonControl* iButtons[2] = {};  // owned
};
