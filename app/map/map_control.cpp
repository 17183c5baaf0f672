#include "app/map/map_control.h"

#include <cmath>

#include "app/controls/bitmap_button.h"
#include "app/draw/pw_font.h"
#include "app/gui/commands.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "storage/position_plot_list.h"
#include "storage/settings.h"
#include "timing/track_session.h"

namespace {

bool UsableScale(double aScale) { return std::isfinite(aScale) && aScale > 0.0; }

}  // namespace

CMapControl* CMapControl::NewL(CCustomControl* aParent, CModel& aModel, int32_t aMode) {
  return PwNewL<CMapControl>(aParent, aModel, aMode);
}

void CMapControl::ConstructL(CCustomControl* aParent, CModel& aModel, int32_t aMode) {
  SetParent(aParent);
  iModel = &aModel;
  iMode = aMode == ELiveMode ? ELiveMode : ERouteMode;
  static const struct {
    int32_t iCommand, iSecond;
    const char* iIcon;
  } KButtons[4] = {{pwcmd::KZoomMapIn, 0, "map_zoom_in"},
                   {pwcmd::KZoomMapOut, 0, "map_zoom_out"},
                   {pwcmd::KMapNext, pwcmd::KMapNextLarge, "step_forward"},
                   {pwcmd::KMapPrevious, pwcmd::KMapPreviousLarge, "step_back"}};
  for (int32_t i = 0; i < 4; ++i) {
    iButtons[i] = new CBitmapButtonControl(this, KButtons[i].iCommand, KButtons[i].iSecond, KButtons[i].iIcon);
    AddChildL(iButtons[i]);
  }
  // The step buttons belong to the route.
  iButtons[ENext]->SetVisible(iMode == ERouteMode);
  iButtons[EPrevious]->SetVisible(iMode == ERouteMode);
}

CMapControl::~CMapControl() {
  for (CBitmapButtonControl*& button : iButtons) {
    RemoveChild(button);
    delete button;
    button = nullptr;
  }
}

double CMapControl::ZoomedIn(double aScale, double aViewMetres) {
  double scale = UsableScale(aScale) ? aScale : 1.0;
  const double x = aViewMetres / KBaseSize;
  if (!UsableScale(x)) return scale;
  while (x * 0.99 <= scale) scale /= 2;
  return scale;
}

double CMapControl::ZoomedOut(double aScale, double aViewMetres) {
  double scale = UsableScale(aScale) ? aScale : 1.0;
  const double x = aViewMetres / KBaseSize;
  if (!UsableScale(x)) return scale;
  while (x * 1.01 >= scale && std::isfinite(scale * 2)) scale *= 2;
  return scale;
}

void CMapControl::StepZoom(CSettings& aSettings, bool aIn, double aShownMetres) {
  const double shown = aShownMetres > 0.0 ? aShownMetres : KBaseSize * aSettings.MapScale();
  aSettings.SetMapScale(aIn ? ZoomedIn(aSettings.MapScale(), shown) : ZoomedOut(aSettings.MapScale(), shown));
}

void CMapControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  iDrawer.SetViewRect(aRect);
  LayoutButtons();
  Recentre();
  Invalidate();
}

void CMapControl::LayoutButtons() {
  const TPwSize size = iButtons[EZoomIn]->PreferredSize();
  const int32_t w = size.iWidth, h = size.iHeight;
  const int32_t height = iRect.Height();
  const int32_t right = iRect.iRight, left = iRect.iLeft;
  auto at = [&](int32_t aLeft, int32_t aCentreY) { return TPwRect{aLeft, aCentreY - h / 2, aLeft + w, aCentreY - h / 2 + h}; };
  iButtons[EZoomIn]->SetRect(at(right - w, iRect.iTop + height / 5));
  iButtons[EZoomOut]->SetRect(at(right - w, iRect.iBottom - height / 5));
  iButtons[ENext]->SetRect(at(right - w, iRect.iTop + height / 2));
  iButtons[EPrevious]->SetRect(at(left, iRect.iTop + height / 2));
}

void CMapControl::Recentre() {
  iDrawer.Clear();
  CTrackSession* session = iModel->TrackSession();
  if (!session) return;
  const CPositionPlotList& list = session->PlotList().PositionList();
  iDrawer.AddRoute(list);
  if (session->Track().HasTraps()) iDrawer.AddTraps(*session->Track().Traps());
  if (list.Count() == 0) return;
  if (iMode == ELiveMode) {
    iDrawer.SetCentre(list.Last().GeoPoint());
  } else if (list.Cursor() >= 0 && list.Cursor() < list.Count()) {
    iDrawer.SetCentre(list.At(list.Cursor()).GeoPoint());
  }
}

void CMapControl::Repaint() {
  Invalidate();
  RequestRedraw();
}

int32_t CMapControl::HandleCommand(int32_t aCommand) {
  CTrackSession* session = iModel->TrackSession();
  switch (aCommand) {
    case pwcmd::KMapNext:
    case pwcmd::KMapPrevious:
    case pwcmd::KMapNextLarge:
    case pwcmd::KMapPreviousLarge:
      if (session && iMode == ERouteMode) {
        const bool forward = aCommand == pwcmd::KMapNext || aCommand == pwcmd::KMapNextLarge;
        const bool large = aCommand == pwcmd::KMapNextLarge || aCommand == pwcmd::KMapPreviousLarge;
        session->PlotList().PositionList().CursorStep(large ? 30 : 1, forward);
      }
      Recentre();
      Repaint();
      return 0;
    case pwcmd::KZoomMapIn:
    case pwcmd::KZoomMapOut:
      StepZoom(iModel->Settings(), aCommand == pwcmd::KZoomMapIn, iActualViewSize);
      Repaint();
      return 0;
    default:
      return 1;
  }
}

int32_t CMapControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (iMode != ERouteMode) return 1;
  const TMapDrag::TStep step = iDrag.Pointer(aKind, aX, aY, iRect, iDrawer);
  if (step == TMapDrag::ENotTaken) return 1;
  if (step == TMapDrag::EMoved) Repaint();
  return 0;
}

void CMapControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  CTrackSession* session = iModel->TrackSession();
  if (session != iSession) {
    // Another session: its samples are not the ones cached.
    iSession = session;
    iCache.Reset();
    Recentre();
  }
  if (!session) {
    bitmap->FillRect(iRect, KBackground);
    return;
  }
  const CPositionPlotList& list = session->PlotList().PositionList();
  const CSettings& settings = iModel->Settings();
  const double scale = UsableScale(settings.MapScale()) ? settings.MapScale() : 1.0;
  iDrawer.SetViewRect(iRect);
  iDrawer.SetViewSize(KBaseSize * scale);
  iDrawer.AddRoute(list);
  if (iMode == ELiveMode && list.Count() > 0) iDrawer.SetVisiblePoint(list.Last().GeoPoint());
  if (!iDrawer.HasView()) {
    bitmap->FillRect(iRect, KBackground);
    return;
  }
  iActualViewSize = iDrawer.ViewSizeMetres();

  TMapColourLimits limits;
  limits.iBraking = TMapColourLimits::LimitOfChoice(settings.BrakingLimit());
  limits.iAcceleration = TMapColourLimits::LimitOfChoice(settings.AccelerationLimit());
  iCache.Draw(*bitmap, iDrawer, list, 0, KRouteColour, iMode == ERouteMode ? EMapColourSatellites : EMapColourPlain,
              2, limits, KBackground);

  if (iMode == ERouteMode && list.Cursor() >= 0 && list.Cursor() < list.Count())
    iDrawer.DrawCursor(*bitmap, list.At(list.Cursor()));
  if (session->Track().HasTraps())
    iDrawer.DrawTraps(*bitmap, *session->Track().Traps(), -1, false, &layout->Font(CLayout::EFontTiny));
  if (list.Count() > 0) {
    TAngle bearing;
    if (!iModel->SlowBearing().Bearing(bearing)) bearing = TAngle::Invalid();
    iDrawer.DrawMarker(*bitmap, list.Last().GeoPoint(), false, bearing);
  }
  iDrawer.DrawScaleLabel(*bitmap, layout->Font(CLayout::EFontSmall));
}
