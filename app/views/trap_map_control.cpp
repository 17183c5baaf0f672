#include "app/views/trap_map_control.h"

#include <algorithm>
#include <cmath>

#include "app/controls/bitmap_button.h"
#include "app/gui/commands.h"
#include "app/gui/layout.h"
#include "app/map/map_control.h"
#include "app/model.h"
#include "storage/position_plot_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/track_session.h"

namespace {

constexpr int64_t KMaxLatitude = 540000000;    // 90 degrees
constexpr int64_t KMaxLongitude = 1080000000;  // 180 degrees

bool UsableScale(double aScale) { return std::isfinite(aScale) && aScale > 0.0; }

TCoordinate Clamped(int64_t aValue, int64_t aLimit) {
  return TCoordinate(static_cast<int32_t>(std::clamp<int64_t>(aValue, -aLimit, aLimit)));
}

}  // namespace

CTrapMapControl* CTrapMapControl::NewL(CCustomControl* aParent, CModel& aModel) {
  return PwNewL<CTrapMapControl>(aParent, aModel);
}

void CTrapMapControl::ConstructL(CCustomControl* aParent, CModel& aModel) {
  SetParent(aParent);
  iModel = &aModel;
  static const struct {
    int32_t iCommand, iSecond;
    const char* iIcon;
  } KButtons[KButtonCount] = {{pwcmd::KZoomMapIn, 0, "map_zoom_in"},
                              {pwcmd::KZoomMapOut, 0, "map_zoom_out"},
                              {pwcmd::KMapNext, pwcmd::KMapNextLarge, "trap_next"},
                              {pwcmd::KMapPrevious, pwcmd::KMapPreviousLarge, "trap_previous"},
                              {pwcmd::KStepForward, pwcmd::KStepForwardLarge, "step_forward"},
                              {pwcmd::KStepBack, pwcmd::KStepBackLarge, "step_back"}};
  for (int32_t i = 0; i < KButtonCount; ++i) {
    iButtons[i] = new CBitmapButtonControl(this, KButtons[i].iCommand, KButtons[i].iSecond, KButtons[i].iIcon);
    AddChildL(iButtons[i]);
  }
  ShowButtons();
}

CTrapMapControl::~CTrapMapControl() {
  for (CBitmapButtonControl*& button : iButtons) {
    RemoveChild(button);
    delete button;
    button = nullptr;
  }
}

CTrackSession* CTrapMapControl::Session() const { return iModel->TrackSession(); }

// --- Modes ---------------------------------------------------------------------------------------

bool CTrapMapControl::StartAdding() {
  CTrackSession* session = Session();
  if (iMode != EBrowsing || !session) return false;
  const CPositionPlotList& list = session->PlotList().PositionList();
  if (list.Cursor() < 0 || list.Cursor() >= list.Count()) return false;
  iMode = EAdding;
  PlaceAtCursor();
  ShowButtons();
  Recentre();
  Repaint();
  return true;
}

bool CTrapMapControl::StartMoving() {
  CTrackSession* session = Session();
  const CTrapLine* selected = session ? session->CurrentTrap() : nullptr;
  if (iMode != EBrowsing || !selected) return false;
  iWorking.CopyFrom(*selected);
  iMode = EMoving;
  ShowButtons();
  Recentre();
  Repaint();
  return true;
}

bool CTrapMapControl::StartRotating() {
  CTrackSession* session = Session();
  const CTrapLine* selected = session ? session->CurrentTrap() : nullptr;
  if (iMode != EBrowsing || !selected) return false;
  iWorking.CopyFrom(*selected);
  iMode = ERotating;
  ShowButtons();
  Recentre();
  Repaint();
  return true;
}

void CTrapMapControl::EndEditing() {
  iMode = EBrowsing;
  iWorking.Reset();
  ShowButtons();
  Recentre();
  Repaint();
}

void CTrapMapControl::PlaceAtCursor() {
  const CPositionPlotList& list = Session()->PlotList().PositionList();
  const int32_t cursor = std::clamp(list.Cursor(), 0, std::max(0, list.Count() - 1));
  if (cursor >= list.Count()) return;
  const TPositionPlot& sample = list.At(cursor);
  CPwString name;
  name.LoadFromResource(R_TRAP_SHORT_SPLIT);
  iWorking.Reset();
  iWorking.Set(ETrapSplit, name, TCoordinate(sample.iLatitude), TCoordinate(sample.iLongitude),
               CTrackSession::BearingAtSample(list, cursor), TDistance::FromMetres(KNewTrapWidth), 1);
}

void CTrapMapControl::MoveWorking(int32_t aLatitude, int32_t aLongitude) {
  const TGeoPoint centre = iWorking.Centre();
  if (!centre.IsValid()) return;
  CPwString name{iWorking.Name()};
  iWorking.Set(iWorking.Type(), name, Clamped(int64_t(centre.iLatitude.iValue) + aLatitude, KMaxLatitude),
               Clamped(int64_t(centre.iLongitude.iValue) + aLongitude, KMaxLongitude), iWorking.Bearing(),
               iWorking.Width(), iWorking.Unidirectional());
}

void CTrapMapControl::RotateWorking(int32_t aDegrees) {
  // Whole degrees on a bearing kept in [0, 360): ten small steps land where one large does.
  double degrees = iWorking.Bearing().IsValid() ? iWorking.Bearing().iValue * 180.0 / KPi : 0.0;
  degrees = std::fmod(degrees + aDegrees, 360.0);
  if (degrees < 0.0) degrees += 360.0;
  CPwString name{iWorking.Name()};
  const TGeoPoint centre = iWorking.Centre();
  iWorking.Set(iWorking.Type(), name, centre.iLatitude, centre.iLongitude, TAngle::FromDegrees(degrees),
               iWorking.Width(), iWorking.Unidirectional());
}

void CTrapMapControl::StepCursor(int32_t aSamples) {
  CPositionPlotList& list = Session()->PlotList().PositionList();
  if (list.Count() == 0) return;
  // Clamped at both ends of the route, never wrapped.
  list.SetCursor(std::clamp<int64_t>(int64_t(list.Cursor()) + aSamples, 0, list.Count() - 1));
  PlaceAtCursor();
}

// --- Layout and the view's centre -----------------------------------------------------------------

void CTrapMapControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  iDrawer.SetViewRect(aRect);
  LayoutButtons();
  Recentre();
  Invalidate();
}

void CTrapMapControl::LayoutButtons() {
  const TPwSize size = iButtons[EZoomIn]->PreferredSize();
  const int32_t w = size.iWidth, h = size.iHeight;
  const int32_t height = iRect.Height();
  auto at = [&](int32_t aLeft, int32_t aCentreY) {
    return TPwRect{aLeft, aCentreY - h / 2, aLeft + w, aCentreY - h / 2 + h};
  };
  const int32_t right = iRect.iRight - w, middle = iRect.iTop + height / 2;
  iButtons[EZoomIn]->SetRect(at(right, iRect.iTop + height / 5));
  iButtons[EZoomOut]->SetRect(at(right, iRect.iBottom - height / 5));
  iButtons[EPrevious]->SetRect(at(right, middle));
  iButtons[EStepForward]->SetRect(at(right, middle));
  iButtons[ENext]->SetRect(at(iRect.iLeft, middle));
  iButtons[EStepBack]->SetRect(at(iRect.iLeft, middle));
}

void CTrapMapControl::ShowButtons() {
  const bool browsing = iMode == EBrowsing;
  const bool stepping = iMode == ERotating || iMode == EAdding;
  iButtons[EPrevious]->SetVisible(browsing);
  iButtons[ENext]->SetVisible(browsing);
  iButtons[EStepForward]->SetVisible(stepping);
  iButtons[EStepBack]->SetVisible(stepping);
}

void CTrapMapControl::LoadData() {
  iDrawer.Clear();
  CTrackSession* session = Session();
  if (!session) return;
  iDrawer.AddRoute(session->PlotList().PositionList());
  if (const CTrapLineList* traps = session->Track().Traps()) iDrawer.AddTraps(*traps);
  if (Editing()) {
    iDrawer.AddPoint(iWorking.EndPoint1Geo());
    iDrawer.AddPoint(iWorking.EndPoint2Geo());
  }
}

void CTrapMapControl::Recentre() {
  LoadData();
  CTrackSession* session = Session();
  if (!session) return;
  if (Editing()) {
    iDrawer.SetCentre(iWorking.Centre());
    return;
  }
  if (const CTrapLine* selected = session->CurrentTrap()) {
    iDrawer.SetCentre(selected->Centre());
    return;
  }
  const CPositionPlotList& list = session->PlotList().PositionList();
  if (list.Cursor() >= 0 && list.Cursor() < list.Count()) iDrawer.SetCentre(list.At(list.Cursor()).GeoPoint());
}

void CTrapMapControl::Repaint() {
  Invalidate();
  RequestRedraw();
}

// --- Commands and the pointer ----------------------------------------------------------------------

int32_t CTrapMapControl::HandleCommand(int32_t aCommand) {
  const bool zoom = aCommand == pwcmd::KZoomMapIn || aCommand == pwcmd::KZoomMapOut;
  const bool trapStep = aCommand >= pwcmd::KMapNext && aCommand <= pwcmd::KMapPreviousLarge;
  const bool editStep = aCommand >= pwcmd::KLatitudeUp && aCommand <= pwcmd::KStepForwardLarge;
  if (!zoom && !trapStep && !editStep) return 1;
  CTrackSession* session = Session();
  // Nothing happens on a map without an area.
  if (!session || iRect.IsEmpty() || !iDrawer.HasView()) return 0;
  if (zoom) {
    CMapControl::StepZoom(iModel->Settings(), aCommand == pwcmd::KZoomMapIn, iActualViewSize);
    Repaint();
    return 0;
  }
  if (trapStep) {
    if (iMode != EBrowsing) return 0;
    if (aCommand == pwcmd::KMapNext || aCommand == pwcmd::KMapNextLarge) session->Track().PreviousTrap();
    else session->Track().NextTrap();
    Recentre();
    Repaint();
    return 0;
  }
  const bool large = aCommand == pwcmd::KLatitudeUpLarge || aCommand == pwcmd::KLatitudeDownLarge ||
                     aCommand == pwcmd::KStepBackLarge || aCommand == pwcmd::KStepForwardLarge;
  const bool latitude = aCommand <= pwcmd::KLatitudeDownLarge;
  const bool up = aCommand == pwcmd::KLatitudeUp || aCommand == pwcmd::KLatitudeUpLarge ||
                  aCommand == pwcmd::KStepForward || aCommand == pwcmd::KStepForwardLarge;
  const int32_t sign = up ? 1 : -1;
  switch (iMode) {
    case EMoving: {
      const int32_t units = sign * (large ? KLargeMove : KSmallMove);
      MoveWorking(latitude ? units : 0, latitude ? 0 : units);
      break;
    }
    case ERotating:
      if (latitude) return 0;
      RotateWorking(sign * (large ? 10 : 1));
      break;
    case EAdding:
      if (latitude) return 0;
      StepCursor(sign * (large ? KLargeStep : KSmallStep));
      break;
    default:
      return 0;
  }
  iDrawer.SetCentre(iWorking.Centre());
  Repaint();
  return 0;
}

int32_t CTrapMapControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  const TMapDrag::TStep step = iDrag.Pointer(aKind, aX, aY, iRect, iDrawer);
  if (step == TMapDrag::ENotTaken) return 1;
  if (step == TMapDrag::EMoved) {
    if (iMode == EMoving) {
      // The trap stays under the middle of the map: it goes where the map is dragged to.
      const TGeoPoint centre = iDrawer.Centre();
      const TGeoPoint old = iWorking.Centre();
      if (centre.IsValid() && old.IsValid())
        MoveWorking(centre.iLatitude.iValue - old.iLatitude.iValue, centre.iLongitude.iValue - old.iLongitude.iValue);
    }
    Repaint();
  }
  return 0;
}

// --- Drawing ---------------------------------------------------------------------------------------

void CTrapMapControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  CTrackSession* session = Session();
  if (session != iSession) {
    iSession = session;
    iCache.Reset();
    Recentre();
  }
  if (!session) {
    bitmap->FillRect(iRect, CMapControl::KBackground);
    return;
  }
  const CPositionPlotList& list = session->PlotList().PositionList();
  const CSettings& settings = iModel->Settings();
  iDrawer.SetViewRect(iRect);
  iDrawer.SetViewSize(CMapControl::KBaseSize * (UsableScale(settings.MapScale()) ? settings.MapScale() : 1.0));
  iDrawer.AddRoute(list);
  if (!iDrawer.HasView()) {
    bitmap->FillRect(iRect, CMapControl::KBackground);
    return;
  }
  iActualViewSize = iDrawer.ViewSizeMetres();
  iCache.Draw(*bitmap, iDrawer, list, 0, KRouteColour, EMapColourPlain, KRouteWidth, TMapColourLimits(),
              CMapControl::KBackground);

  CPwFont* font = &layout->Font(CLayout::EFontScaledText);
  if (iMode == EAdding && list.Cursor() >= 0 && list.Cursor() < list.Count())
    iDrawer.DrawCursor(*bitmap, list.At(list.Cursor()));
  if (const CTrapLineList* traps = session->Track().Traps()) {
    const int32_t selected = traps->Current() ? traps->CurrentIndex() : -1;
    for (int32_t i = 0; i < traps->Count(); ++i) {
      if (i != selected) iDrawer.DrawTrap(*bitmap, *traps->At(i), false, true, font);
    }
    // The trap being moved or rotated is shown as its working copy alone.
    if (selected >= 0 && iMode == EBrowsing) iDrawer.DrawTrap(*bitmap, *traps->At(selected), true, true, font, true);
    else if (selected >= 0 && iMode == EAdding) iDrawer.DrawTrap(*bitmap, *traps->At(selected), false, true, font);
  }
  if (Editing()) iDrawer.DrawTrap(*bitmap, iWorking, true, true, font, true);
  iDrawer.DrawScaleLabel(*bitmap, layout->Font(CLayout::EFontSmall));
}
