// The start-up screen: covers the screen while the model does its start-up work (settings,
// storage check, folders, catalogues), then hands over to the start menu.
#pragma once

#include <cstdint>

#include "app/gui/custom_view.h"

class CModel;

class CStartupControl : public CCustomControl {
 public:
  explicit CStartupControl(CCustomControl* aParent) : CCustomControl(aParent) {}
  void Draw() override;
};

class CStartupView : public CCustomView {
 public:
  static constexpr int32_t KHandOverDelayMs = 250;

  explicit CStartupView(CModel& aModel) : iModel(&aModel) {}
  ~CStartupView() override;

  int32_t ViewNumber() override { return 14; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iContent; }
  void TimerExpired() override;

  // 0 before the start-up step, 1 after it (waiting to hand over), 2 handed over.
  int32_t Step() const { return iStep; }

 private:
  CModel* iModel = nullptr;
  CStartupControl* iContent = nullptr;  // owned while active
  int32_t iStep = 0;
};
