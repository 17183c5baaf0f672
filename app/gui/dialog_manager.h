// Dialogs, notes and menus are controls stacked in the dialog manager, the GUI's last child, so
// they see keys and pointer events before anything else. A shown dialog covers the GUI's whole
// area (its backdrop dims what lies beneath) and swallows every event while it is visible.
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"

class CDialogManagerControl;
class CPwFont;
class CPwModalWait;

class CDialogControl : public CContainerControl {
 public:
  CDialogControl();
  ~CDialogControl() override;

  // The GUI's area: the dialog is laid out in it (LayoutBox) and covers it.
  void SetRect(const TPwRect& aRect) override;
  // Every event stops at a visible dialog.
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  // The backdrop and the box; subclasses draw their content after calling it.
  void Draw() override;

  // Ends the dialog with aResult: a modal run returns, a popup is removed.
  void Close(int32_t aResult);
  int32_t Result() const { return iResult; }
  bool IsClosed() const { return iClosed; }
  const TPwRect& Box() const { return iBox; }

  // --- Used by the dialog service and the manager.
  void SetModalWait(CPwModalWait* aWait) { iWait = aWait; }
  void SetManager(CDialogManagerControl* aManager) { iManager = aManager; }
  void SetPopup(bool aPopup) { iPopup = aPopup; }
  bool IsPopup() const { return iPopup; }

  // The softkeys shown at the bottom of the box (blank: 4097) and what they issue.
  void SetSoftkeys(int32_t aLeft, int32_t aMiddle, int32_t aRight);
  int32_t SoftkeyCommand(int32_t aIndex) const { return iSoftkeys[aIndex]; }
  bool ShowsSoftkeyLabels() const;

 protected:
  // Computes iBox inside aArea; by default the middle half of the area.
  virtual void LayoutBox(const TPwRect& aArea);
  // A softkey command arrived (from a key or a tap on its label).
  virtual void SoftkeyCommandIssued(int32_t aCommand) { (void)HandleDialogCommand(aCommand); }
  // The dialog's own command handling; 0 when consumed.
  virtual int32_t HandleDialogCommand(int32_t) { return 1; }
  virtual int32_t HandleDialogKey(int32_t, int32_t) { return 1; }
  virtual int32_t HandleDialogPointer(int32_t, int32_t, int32_t) { return 1; }
  // The strip of softkey labels at the bottom of the box (empty without labels).
  TPwRect SoftkeyStrip() const;
  // Height of the softkey strip for the box computation.
  int32_t SoftkeyStripHeight();
  void DrawSoftkeyStrip();

  TPwRect iBox;
  int32_t iSoftkeys[3] = {4097, 4097, 4097};

 private:
  friend class CDialogManagerControl;
  CDialogControl* iNextDead = nullptr;
  CDialogManagerControl* iManager = nullptr;
  CPwModalWait* iWait = nullptr;
  int32_t iResult = 0;
  bool iClosed = false;
  bool iPopup = false;
  int32_t iPressedSoftkey = -1;
};

class CDialogManagerControl : public CContainerControl {
 public:
  explicit CDialogManagerControl(CCustomControl* aParent);
  ~CDialogManagerControl() override;

  // The GUI's area. The manager's own rectangle is that area while a visible dialog is up and
  // empty otherwise, so that it neither takes events nor widens repaints without a dialog.
  void SetArea(const TPwRect& aArea);
  const TPwRect& Area() const { return iArea; }

  // Stacks a dialog (not owned) above the others.
  void PushL(CDialogControl* aDialog);
  // Takes a dialog off the stack; its area is repainted.
  void Remove(CDialogControl* aDialog);
  // Stacks a popup (owned) that goes away on its own when closed.
  void PushPopupL(CDialogControl* aPopup);
  // A closed popup leaves the stack at once and is destroyed by Sweep, after the event.
  void ClosePopup(CDialogControl* aPopup);
  // Takes aDialog (owned from now on) off the stack and destroys it after the event: its
  // own handler may be running.
  void DeleteLater(CDialogControl* aDialog);
  void Sweep();

  // The top dialog, null when none.
  CDialogControl* Top() const;
  int32_t DialogCount() const { return iChildren.Count(); }
  CDialogControl* DialogAt(int32_t aIndex) const { return static_cast<CDialogControl*>(iChildren.At(aIndex)); }

  // A dialog's visibility changed.
  void ChildChanged(CCustomControl* aControl) override;
  void UpdateRect();

 private:
  TPwRect iArea;
  CPwVector<CDialogControl*> iPopups{4};     // owned, still shown
  CDialogControl* iGraveyard = nullptr;      // owned, closed; chained through iNextDead
};
