#include "app/graph/graph_map_control.h"

#include <cmath>

#include "analysis/graph_generator.h"
#include "app/controls/bitmap_button.h"
#include "app/graph/graph_control.h"
#include "app/gui/commands.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "storage/position_plot_list.h"
#include "storage/settings.h"
#include "timing/track_session.h"

namespace {

// The position of a list at a time, interpolated between its samples.
bool PositionAtTime(const CPositionPlotList& aList, int64_t aTime, TPositionPlot& aSample) {
  if (aTime < INT32_MIN || aTime >= PwTime::KUnset) return false;
  int32_t lo = -1, hi = -1;
  aList.FindByTime(PwTime(static_cast<int32_t>(aTime)), lo, hi);
  if (lo < 0 || hi < 0) return false;
  if (lo == hi) {
    aSample = aList.At(lo);
    return true;
  }
  const double span = static_cast<double>(aList.At(hi).iTime) - aList.At(lo).iTime;
  const double f = span > 0.0 ? (aTime - aList.At(lo).iTime) / span : 0.0;
  return aList.InterpolateSample(hi, f, aSample);
}

}  // namespace

CGraphMapControl* CGraphMapControl::NewL(CCustomControl* aParent, CModel& aModel) {
  return PwNewL<CGraphMapControl>(aParent, aModel);
}

void CGraphMapControl::ConstructL(CCustomControl* aParent, CModel& aModel) {
  SetParent(aParent);
  iModel = &aModel;
  iButtons[EZoomIn] = new CBitmapButtonControl(this, pwcmd::KZoomMapIn, 0, "map_zoom_in");
  AddChildL(iButtons[EZoomIn]);
  iButtons[EZoomOut] = new CBitmapButtonControl(this, pwcmd::KZoomMapOut, 0, "map_zoom_out");
  AddChildL(iButtons[EZoomOut]);
}

CGraphMapControl::~CGraphMapControl() {
  for (CBitmapButtonControl*& button : iButtons) {
    RemoveChild(button);
    delete button;
    button = nullptr;
  }
}

bool CGraphMapControl::PrimarySample(TPositionPlot& aSample) const {
  if (iHasPrimary) aSample = iPrimary;
  return iHasPrimary;
}

bool CGraphMapControl::ComparisonSample(TPositionPlot& aSample) const {
  if (iHasComparison) aSample = iComparison;
  return iHasComparison;
}

bool CGraphMapControl::AlignedComparison(TPositionPlot& aSample) const {
  if (iHasAligned) aSample = iAligned;
  return iHasAligned;
}

void CGraphMapControl::UpdateCursorSamples() {
  iHasPrimary = iHasComparison = iHasAligned = false;
  iDrawer.Clear();
  CGraphGenerator* generator = CGraphControl::DataOf(*iModel);
  if (!generator) return;
  const TGraphSetup setup = TGraphSetup::FromSettings(iModel->Settings(), generator->Kind());
  const TGraphStretch& primary = generator->Stretch(CGraphGenerator::EPrimary);
  const TGraphStretch& comparison = generator->Stretch(CGraphGenerator::EComparison);
  const bool primaryEnds = std::isfinite(generator->PrimaryLength(setup.iAxis));
  const bool showComparison = generator->HasComparison() && setup.iShowComparison && comparison.iPositions;
  if (primaryEnds) iHasPrimary = generator->SampleAtCursor(setup.iAxis, CGraphGenerator::EPrimary, iPrimary);
  if (showComparison) {
    iHasComparison = generator->SampleAtCursor(setup.iAxis, CGraphGenerator::EComparison, iComparison);
    if (iHasPrimary && primary.iStartTime.IsSet() && comparison.iStartTime.IsSet()) {
      const int64_t since = static_cast<int64_t>(iPrimary.iTime) - primary.iStartTime.Milliseconds();
      iHasAligned =
          PositionAtTime(*comparison.iPositions, comparison.iStartTime.Milliseconds() + since, iAligned);
    }
  }
  if (primary.iPositions) iDrawer.AddRoute(*primary.iPositions, primary.iFirst, primary.iLast);
  if (showComparison) iDrawer.AddRoute(*comparison.iPositions, comparison.iFirst, comparison.iLast);
  const CTrackSession* session = iModel->TrackSession();
  if (session && session->Track().HasTraps()) iDrawer.AddTraps(*session->Track().Traps());
  if (iHasPrimary) iDrawer.SetCentre(iPrimary.GeoPoint());
}

void CGraphMapControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  iDrawer.SetViewRect(aRect);
  PlaceEdgeButtons(aRect, *iButtons[EZoomIn], *iButtons[EZoomOut]);
  Invalidate();
}

void CGraphMapControl::Repaint() {
  Invalidate();
  RequestRedraw();
}

int32_t CGraphMapControl::HandleCommand(int32_t aCommand) {
  if (aCommand != pwcmd::KZoomMapIn && aCommand != pwcmd::KZoomMapOut) return 1;
  CSettings& settings = iModel->Settings();
  const double shown = iActualViewSize > 0.0 ? iActualViewSize : KBaseSize * settings.GraphMapFactor();
  const double x = shown / KBaseSize;
  if (aCommand == pwcmd::KZoomMapIn) (void)settings.GraphMapZoomIn(x);
  else (void)settings.GraphMapZoomOut(x);
  Repaint();
  return 0;
}

int32_t CGraphMapControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  const TMapDrag::TStep step = iDrag.Pointer(aKind, aX, aY, iRect, iDrawer);
  if (step == TMapDrag::ENotTaken) return 1;
  if (step == TMapDrag::EMoved) Repaint();
  return 0;
}

void CGraphMapControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillRect(iRect, KBackground);
  CGraphGenerator* generator = CGraphControl::DataOf(*iModel);
  if (!generator) return;
  const TGraphSetup setup = TGraphSetup::FromSettings(iModel->Settings(), generator->Kind());
  const double factor = iModel->Settings().GraphMapFactor();
  iDrawer.SetViewRect(iRect);
  iDrawer.SetViewSize(KBaseSize * (std::isfinite(factor) && factor > 0.0 ? factor : 1.0));
  if (!iDrawer.HasView()) return;
  iActualViewSize = iDrawer.ViewSizeMetres();

  const TGraphStretch& primary = generator->Stretch(CGraphGenerator::EPrimary);
  const TGraphStretch& comparison = generator->Stretch(CGraphGenerator::EComparison);
  if (generator->HasComparison() && setup.iShowComparison && comparison.iPositions)
    iDrawer.DrawRoute(*bitmap, *comparison.iPositions, comparison.iFirst, comparison.iLast, KComparisonColour,
                      EMapColourPlain, 2);
  if (primary.iPositions && std::isfinite(generator->PrimaryLength(setup.iAxis)))
    iDrawer.DrawRoute(*bitmap, *primary.iPositions, primary.iFirst, primary.iLast, KPrimaryColour, EMapColourPlain,
                      2);
  const CTrackSession* session = iModel->TrackSession();
  if (session && session->Track().HasTraps())
    iDrawer.DrawTraps(*bitmap, *session->Track().Traps(), -1, false, &layout->Font(CLayout::EFontTiny));
  if (iHasAligned) iDrawer.DrawMarker(*bitmap, iAligned.GeoPoint(), false);
  if (iHasPrimary) iDrawer.DrawMarker(*bitmap, iPrimary.GeoPoint(), true);
}
