// The live timer: the screen the driver looks at while a session records. CTimerControl lays out
// the normal timer over the live map and gauge (modes 0 and 1) or the simple timer alone
// (mode 2); CTimerView puts it on screen with "Add trap", "Toggle" and "Back".
//
// The session screen opens it with OpenView(CTimerView::KViewNumber).
#pragma once

#include <cstdint>
#include <memory>

#include "app/gui/custom_control.h"
#include "app/gui/custom_view.h"
#include "app/gui/toolbar.h"

class CModel;
class CNormalTimerControl;
class CSimpleTimerControl;

class CTimerControl : public CContainerControl {
 public:
  // aOrientation: the "Timer orientation" setting (0 by the window's shape, 1 portrait,
  // 2 landscape), which the simple timer follows.
  CTimerControl(CCustomControl* aParent, CModel& aModel, int32_t aOrientation);
  ~CTimerControl() override;

  // 0 timer over map and gauge, 1 timer over the gauge, 2 the simple timer.
  int32_t DisplayMode() const { return iMode; }
  // The next mode, as Toggle steps.
  void Toggle();
  // New data: the instruments over which the timer lies repaint, the timer's lines take the
  // readout and repaint only where it changed.
  void Refresh();

  CCustomControl& Map() const { return *iMap; }
  CCustomControl& Gauge() const { return *iGauge; }
  CNormalTimerControl& NormalTimer() const { return *iNormal; }
  CSimpleTimerControl& SimpleTimer() const { return *iSimple; }

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  void Draw() override;

 private:
  void Layout();

  CModel* iModel;
  bool iDataLogging = false;
  int32_t iMode = 0;
  CCustomControl* iMap = nullptr;  // owned children, in drawing order
  CCustomControl* iGauge = nullptr;
  CNormalTimerControl* iNormal = nullptr;
  CSimpleTimerControl* iSimple = nullptr;
};

class CTimerView : public CCustomView {
 public:
  static constexpr int32_t KViewNumber = 6;

  explicit CTimerView(CModel& aModel) : iModel(&aModel) {}
  ~CTimerView() override;

  int32_t ViewNumber() override { return KViewNumber; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iControl; }
  CTimerControl* TimerControl() const { return iControl; }
  // What the GUI asks of the views on new data: here a refresh of the readout, not a repaint
  // of the whole screen (the live delta changes with every sample).
  void Invalidate() override;

  // "Add trap" only while a lap-timing session records on a track whose traps may change.
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  void Draw() override;

 private:
  CModel* iModel;
  CTimerControl* iControl = nullptr;  // owned while active
  std::unique_ptr<CToolbar> iToolbar;
  int32_t iAddTrapState = -1;
};
