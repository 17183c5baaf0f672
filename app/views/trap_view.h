// The trap view ("Traps"): the session's recorded route on a map with the traps of its track,
// where traps are browsed, added on the route, moved, rotated, deleted, opened in the trap
// editor, and locked or unlocked. It is the on-track way of building a track profile: drive a
// lap, then place the start/finish and split lines on the recorded route. Every change is
// saved with the track at once and the laps are timed again.
#pragma once

#include <cstdint>
#include <memory>

#include "app/gui/custom_control.h"
#include "app/gui/custom_view.h"
#include "app/gui/toolbar.h"
#include "app/views/trap_map_control.h"

class CModel;

namespace pwcmd {
constexpr int32_t KAddNewTrap = 4104;
constexpr int32_t KAcceptEdit = 4130;
constexpr int32_t KLockTraps = 4217;
constexpr int32_t KUnlockTraps = 4218;
constexpr int32_t KRotateTrap = 4219;
constexpr int32_t KMoveTrap = 4220;
constexpr int32_t KCancelEdit = 4221;
constexpr int32_t KAcceptEditAlt = 4222;
// The trap list's way to the trap view.
constexpr int32_t KShowTrapMap = 4223;
}  // namespace pwcmd

// The content of the trap view: the map over the whole of it.
class CTrapControl : public CContainerControl {
 public:
  // Leaves KErrNoMemory.
  CTrapControl(CCustomControl* aParent, CModel& aModel);
  ~CTrapControl() override;

  CTrapMapControl& Map() const { return *iMap; }
  void SetRect(const TPwRect& aRect) override;

 private:
  CTrapMapControl* iMap = nullptr;  // owned child
};

class CTrapView : public CCustomView {
 public:
  explicit CTrapView(CModel& aModel);
  ~CTrapView() override;

  CTrapControl* Control() const { return iControl; }
  CTrapMapControl* Map() const { return iControl ? &iControl->Map() : nullptr; }

  int32_t ViewNumber() override { return 4; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iControl; }
  // The menu's availability (see the file comment of the source).
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

 private:
  // Title, softkeys and toolbar of the current mode.
  void ShowChromeOfMode();
  void OpenOptionsMenu();
  void Accept();
  void AddAtCursor();
  void Cancel();
  void DeleteSelected();
  void SetLock(bool aLocked);
  // The key's command in the current mode, 0 for a key without one.
  int32_t KeyCommand(int32_t aKeyCode, bool aShift) const;
  // "5" and "6": the scaled fonts 10 percent smaller or larger (70 to 160), then a new layout.
  void StepFontScale(int32_t aPercent);

  CModel* iModel;
  CTrapControl* iControl = nullptr;  // owned while active
  std::unique_ptr<CToolbar> iBrowseToolbar;
  std::unique_ptr<CToolbar> iEditToolbar;
};
