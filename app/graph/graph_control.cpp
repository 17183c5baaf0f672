#include "app/graph/graph_control.h"

#include <cmath>

#include "analysis/graph_generator.h"
#include "app/controls/bitmap_button.h"
#include "app/gui/commands.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "foundation/string_provider.h"
#include "storage/settings.h"
#include "timing/track_session.h"

void PlaceEdgeButtons(const TPwRect& aRect, CBitmapButtonControl& aFirst, CBitmapButtonControl& aSecond) {
  const TPwSize size = aFirst.PreferredSize();
  const int32_t w = size.iWidth, h = size.iHeight;
  const int32_t quarter = aRect.Height() / 4;
  auto at = [&](int32_t aCentreY) {
    return TPwRect{aRect.iRight - w, aCentreY - h / 2, aRect.iRight, aCentreY - h / 2 + h};
  };
  if (aRect.IsEmpty()) {
    aFirst.SetRect(TPwRect());
    aSecond.SetRect(TPwRect());
    return;
  }
  aFirst.SetRect(at(aRect.iTop + quarter));
  aSecond.SetRect(at(aRect.iBottom - quarter));
}

CGraphControl* CGraphControl::NewL(CCustomControl* aParent, CModel& aModel) {
  return PwNewL<CGraphControl>(aParent, aModel);
}

void CGraphControl::ConstructL(CCustomControl* aParent, CModel& aModel) {
  SetParent(aParent);
  iModel = &aModel;
  iDrawer = std::make_unique<CGraphDrawer>(aModel.Strings());
  iButtons[EZoomIn] = new CBitmapButtonControl(this, pwcmd::KGraphZoomIn, 0, "map_zoom_in");
  AddChildL(iButtons[EZoomIn]);
  iButtons[EZoomOut] = new CBitmapButtonControl(this, pwcmd::KGraphZoomOut, 0, "map_zoom_out");
  AddChildL(iButtons[EZoomOut]);
}

CGraphControl::~CGraphControl() {
  for (CBitmapButtonControl*& button : iButtons) {
    RemoveChild(button);
    delete button;
    button = nullptr;
  }
}

CGraphGenerator* CGraphControl::DataOf(const CModel& aModel) {
  CTrackSession* session = aModel.TrackSession();
  if (!session) return nullptr;
  auto* generator = dynamic_cast<CGraphGenerator*>(session->GraphGenerator());
  if (!generator || generator->Kind() == CGraphGenerator::EKindNone ||
      !generator->Stretch(CGraphGenerator::EPrimary).iUsed)
    return nullptr;
  return generator;
}

TGraphSetup CGraphControl::Setup() const {
  const CGraphGenerator* generator = DataOf(*iModel);
  return TGraphSetup::FromSettings(iModel->Settings(), generator ? generator->Kind() : 0);
}

double CGraphControl::PaintedFactor() const {
  if (iPaintedFactor > 0.0) return iPaintedFactor;
  return Setup().iFactor;
}

void CGraphControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  iDrawer->SetPlotRect(aRect);
  PlaceEdgeButtons(aRect, *iButtons[EZoomIn], *iButtons[EZoomOut]);
  Invalidate();
}

void CGraphControl::CursorChanged() {
  ++iCursorChanges;
  Invalidate();
  if (iParent) iParent->ChildChanged(this);
  RequestRedraw();
}

int32_t CGraphControl::HandleCommand(int32_t aCommand) {
  switch (aCommand) {
    case pwcmd::KCursorForward:
    case pwcmd::KCursorBack:
    case pwcmd::KCursorForwardLarge:
    case pwcmd::KCursorBackLarge: {
      CGraphGenerator* generator = DataOf(*iModel);
      if (!generator) return 0;
      const TGraphSetup setup = Setup();
      const bool forward = aCommand == pwcmd::KCursorForward || aCommand == pwcmd::KCursorForwardLarge;
      const bool large = aCommand == pwcmd::KCursorForwardLarge || aCommand == pwcmd::KCursorBackLarge;
      generator->MoveCursor(forward, large, setup.Base() * PaintedFactor(), setup.iScaled, setup.iAxis);
      CursorChanged();
      return 0;
    }
    case pwcmd::KGraphZoomIn:
    case pwcmd::KGraphZoomOut: {
      CSettings& settings = iModel->Settings();
      const double painted = PaintedFactor();
      if (aCommand == pwcmd::KGraphZoomIn) (void)settings.NarrowGraphWindow(painted);
      else (void)settings.WidenGraphWindow(painted);
      Invalidate();
      RequestRedraw();
      return 0;
    }
    default:
      return 1;
  }
}

int32_t CGraphControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  CGraphGenerator* generator = DataOf(*iModel);
  switch (aKind) {
    case 0:
      if (!generator || !iRect.Contains(aX, aY)) return 1;
      iDragging = true;
      iPressCursor = generator->CursorValue(Setup().iAxis);
      if (!std::isfinite(iPressCursor)) iPressCursor = 0.0;
      iPressX = aX;
      iPressY = aY;
      return 0;
    case 1: {
      if (!iDragging) return 1;
      const int32_t width = iRect.iRight - iRect.iLeft;
      if (!generator || width <= 0) return 0;
      // Only the cursor moves here; the painting that follows does the rest, once for every
      // move that arrived before it.
      const TGraphSetup setup = Setup();
      const double fraction = static_cast<double>(iPressX - aX) / width;
      generator->SetCursor(iPressCursor + PaintedFactor() * setup.Base() * fraction, setup.iAxis);
      CursorChanged();
      return 0;
    }
    default:
      if (!iDragging) return 1;
      iDragging = false;
      return 0;
  }
}

void CGraphControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  CGraphGenerator* generator = DataOf(*iModel);
  if (!generator) {
    bitmap->FillRect(iRect, CGraphDrawer::KBackground);
    return;
  }
  const TGraphSetup setup = Setup();
  iPaintedFactor = setup.iFactor;
  (void)CGraphDrawer::Prepare(*generator, setup);
  iDrawer->Draw(*bitmap, layout->Font(CLayout::EFontSmall), *generator, setup);
}
