// A list of two-line items (a title and a status line, optionally an icon) with a selection:
// the start menu, the summary of the settings, the session list. Up and down move the
// selection, a tap selects an item and activates it; the view decides what activation does.
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CItemListControl;

class MItemListObserver {
 public:
  // The item was tapped (or the view asked for activation of the selected one).
  virtual void ItemActivated(CItemListControl& aList, int32_t aIndex) = 0;
  virtual void SelectionChanged(CItemListControl&, int32_t) {}

 protected:
  ~MItemListObserver() = default;
};

class CListItem : public CPwBase {
 public:
  CPwString iTitle;
  CPwString iStatus;
  int32_t iCommand = 0;
  const char* iIcon = nullptr;  // icon name, a literal; null for none
  bool iMarked = false;         // drawn with a check mark (choices)
};

class CItemListControl : public CCustomControl {
 public:
  CItemListControl(CCustomControl* aParent, MItemListObserver* aObserver);
  ~CItemListControl() override;

  // Appends an item (copies the texts) and returns it.
  CListItem& AddItemL(CPwStringC aTitle, CPwStringC aStatus, int32_t aCommand = 0, const char* aIcon = nullptr);
  void Reset();
  int32_t Count() const { return iItems.Count(); }
  CListItem& ItemAt(int32_t aIndex) const { return *iItems.At(aIndex); }

  // -1 for an empty list.
  int32_t Selected() const { return iItems.Count() > 0 ? iSelected : -1; }
  void SetSelected(int32_t aIndex);
  int32_t TopIndex() const { return iTop; }
  int32_t ItemHeight();
  // How many items fit; at least 1.
  int32_t VisibleCount();
  // The rectangle of item aIndex on screen (empty when scrolled out).
  TPwRect ItemRect(int32_t aIndex);
  // The item under a point, -1 for none.
  int32_t ItemAt(int32_t aX, int32_t aY);
  // Tells the observer to activate the selected item; 0 when there was one.
  int32_t ActivateSelected();
  // Items are drawn with one line only when every status line is empty.
  void SetSingleLine(bool aSingle) { iSingleLine = aSingle; }

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  void EnsureVisible();

  MItemListObserver* iObserver = nullptr;
  CPwVector<CListItem*> iItems{8};  // owned
  int32_t iSelected = 0;
  int32_t iTop = 0;
  int32_t iPressed = -1;
  bool iSingleLine = false;
};
