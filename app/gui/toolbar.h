// The toolbar: what a view offers as buttons (CToolbar with its items), and the bar that shows
// them together with the softkeys (CToolbarControl with its CToolbarButtonControl buttons).
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "app/gui/custom_view.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CPwFont;

// A toolbar item: a command with its label, optionally a second command with its label (a
// toggle pair such as "Show map"/"Hide map"), the key that gives the same command, an icon
// and optional sub-items (a submenu). Sub-items are owned.
class CToolbarItem : public CPwBase {
 public:
  static CToolbarItem* NewL(int32_t aCommand, uint16_t aLabel, int32_t aCommand2 = 0, uint16_t aLabel2 = 0,
                            int32_t aKeyHint = 0, const char* aIcon = nullptr);
  ~CToolbarItem() override;

  // Appends a sub-item (owned) and returns it.
  CToolbarItem& AddSubItemL(int32_t aCommand, uint16_t aLabel);

  int32_t iCommand = 0;
  uint16_t iLabel = 0;
  int32_t iCommand2 = 0;
  uint16_t iLabel2 = 0;
  int32_t iKeyHint = 0;
  const char* iIcon = nullptr;  // icon name, a literal
  CPwVector<CToolbarItem*> iSubItems{4};
};

// A view's toolbar: a back item and the other items, all owned.
class CToolbar : public CPwBase {
 public:
  ~CToolbar() override;
  // Replaces the back item.
  void SetBackL(int32_t aCommand, uint16_t aLabel, const char* aIcon = nullptr);
  CToolbarItem& AddItemL(int32_t aCommand, uint16_t aLabel, int32_t aCommand2 = 0, uint16_t aLabel2 = 0,
                         int32_t aKeyHint = 0, const char* aIcon = nullptr);

  CToolbarItem* iBack = nullptr;
  CPwVector<CToolbarItem*> iItems{8};
};

// What one button shows.
struct TToolbarButtonDesc {
  int32_t iCommand = 0;
  uint16_t iLabel = 0;
  const char* iIcon = nullptr;
  const CToolbarItem* iItem = nullptr;  // the item with sub-items, or null
  int32_t iState = 0;                   // command state; 0 for an empty slot
  bool iMore = false;
  friend bool operator==(const TToolbarButtonDesc& a, const TToolbarButtonDesc& b) {
    return a.iCommand == b.iCommand && a.iLabel == b.iLabel && a.iIcon == b.iIcon && a.iItem == b.iItem &&
           a.iState == b.iState && a.iMore == b.iMore;
  }
};

class CToolbarControl;

class CToolbarButtonControl : public CCustomControl {
 public:
  CToolbarButtonControl(CToolbarControl& aBar, const TToolbarButtonDesc& aDesc);
  ~CToolbarButtonControl() override;

  const TToolbarButtonDesc& Desc() const { return iDesc; }
  bool IsPressed() const { return iPressed; }
  bool Enabled() const;
  CPwStringC Label() const { return iLabelText; }

  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  CToolbarControl* iBar = nullptr;
  TToolbarButtonDesc iDesc;
  CPwString iLabelText;
  bool iTracking = false;
  bool iPressed = false;
};

class CToolbarControl : public CContainerControl {
 public:
  explicit CToolbarControl(CCustomControl* aParent);
  ~CToolbarControl() override;

  void SetSoftkeys(const TSoftkey& aLeft, const TSoftkey& aMiddle, const TSoftkey& aRight);
  void SetToolbar(const CToolbar* aToolbar);
  const TSoftkey& Softkey(int32_t aIndex) const { return iSoftkeys[aIndex < 0 ? 0 : (aIndex > 2 ? 2 : aIndex)]; }
  const CToolbar* Toolbar() const { return iToolbar; }

  // Takes the bar's part of aArea (nothing while hidden) and leaves the rest in aArea.
  void LayoutIn(TPwRect& aArea);
  // Rebuilds the buttons when the offered commands changed.
  void Refresh();
  // The buttons as shown, left to right (or top to bottom); empty slots are not counted.
  int32_t ButtonCount() const { return iButtons.Count(); }
  CToolbarButtonControl* ButtonAt(int32_t aIndex) const { return iButtons.At(aIndex); }

  // What a pressed button does: the command, a submenu, or the "More" menu.
  void ButtonActivated(CToolbarButtonControl& aButton);
  CPwFont* LabelFont();

  // The softkeys work also while the bar is hidden.
  int32_t TakesKeysWhenHidden() override { return 1; }
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  void Draw() override;

 private:
  // The command an item shows now (0 when none is offered) with its label.
  int32_t ShownCommand(const CToolbarItem& aItem, uint16_t& aLabel);
  void ComputeSlots(CPwVector<TToolbarButtonDesc>& aSlots);
  void RebuildL(const CPwVector<TToolbarButtonDesc>& aSlots);
  void DeleteButtons();
  int32_t IssueSoftkey(int32_t aCommand);

  TSoftkey iSoftkeys[3];
  const CToolbar* iToolbar = nullptr;
  CPwVector<TToolbarButtonDesc> iShown{8};  // per slot
  CPwVector<CToolbarButtonControl*> iButtons{8};
  int32_t iSlotCount = 0;
  CPwFont* iLabelFont = nullptr;
  int32_t iLabelFontHeight = 0;
  bool iDirtySlots = true;
};

// The icon of a command on a button, or null.
const char* CommandIcon(int32_t aCommand);
