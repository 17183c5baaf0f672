// A popup menu over the toolbar: the "More" menu and the submenus of toolbar items. Choosing an
// entry closes the menu and issues its command through the GUI; a tap outside, Escape or the
// right softkey closes it without a command.
#pragma once

#include <cstdint>

#include "app/gui/dialog_manager.h"
#include "foundation/pw_vector.h"

struct TMenuEntry {
  int32_t iCommand = 0;
  uint16_t iLabel = 0;  // string-table text
  int32_t iState = 2;   // 1 shown disabled, 3 checked
};

class CMenuControl : public CDialogControl {
 public:
  static CMenuControl* NewL(const CPwVector<TMenuEntry>& aEntries);
  ~CMenuControl() override;

  int32_t Count() const { return iEntries.Count(); }
  int32_t Selected() const { return iSelected; }
  // Closes the menu and issues the entry's command (a disabled entry does nothing).
  void Choose(int32_t aIndex);
  // The rectangle of entry aIndex on screen.
  TPwRect EntryRect(int32_t aIndex) const;

  void Draw() override;

 protected:
  void LayoutBox(const TPwRect& aArea) override;
  int32_t HandleDialogKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandleDialogPointer(int32_t aKind, int32_t aX, int32_t aY) override;

 private:
  CMenuControl() = default;
  int32_t EntryAt(int32_t aX, int32_t aY) const;

  CPwVector<TMenuEntry> iEntries{8};
  int32_t iSelected = 0;
  int32_t iPressed = -1;
  int32_t iRowHeight = 0;
};
