// The travelled route: the whole recorded route of the open session on a map, with a cursor on
// one sample that the buttons and keys step along the route, and the facts of that sample on a
// line over the bottom of the map. From here the next 15 minutes from the cursor open as
// graphs, the route is exported, and a trap is added across the cursor sample.
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "app/gui/custom_view.h"

class CMapControl;
class CModel;
class CPlotInfoControl;

namespace pwcmd {
constexpr int32_t KAddTrapAtCursor = 4104;
constexpr int32_t KViewNextMinutes = 4105;
constexpr int32_t KExportRoute = 4110;
}  // namespace pwcmd

class CRouteControl : public CContainerControl {
 public:
  CRouteControl(CCustomControl* aParent, CModel& aModel);
  ~CRouteControl() override;

  CMapControl& Map() const { return *iMap; }
  CPlotInfoControl& Info() const { return *iInfo; }

  // The map takes the whole rectangle, the info line its bottom line over the map.
  void SetRect(const TPwRect& aRect) override;

 private:
  CMapControl* iMap = nullptr;  // owned children, in drawing order
  CPlotInfoControl* iInfo = nullptr;
};

class CRouteView : public CCustomView {
 public:
  static constexpr int32_t KViewNumber = 5;

  explicit CRouteView(CModel& aModel) : iModel(&aModel) {}
  ~CRouteView() override;

  CRouteControl* RouteControl() const { return iControl; }

  int32_t ViewNumber() override { return KViewNumber; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iControl; }
  // Adding a trap only while the session's track accepts trap edits.
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

 private:
  void OpenOptionsMenu();
  void ExportRoute();
  void AddTrapAtCursor();
  void SendCommand(int32_t aCommand);

  CModel* iModel;
  CRouteControl* iControl = nullptr;  // owned while active
};
