// The control tree of the GUI: every visible thing is a CCustomControl with a rectangle, a
// dirty rectangle, a visible flag and a state value. Keys, commands and pointer events travel
// from the root (the GUI) down to the last-added children first; drawing goes the other way,
// parents before children. A control that changes invalidates its rectangle, which marks every
// ancestor (and every sibling it overlaps) dirty, so the root knows what to repaint.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "app/gui_observer.h"
#include "foundation/pw_base.h"
#include "foundation/pw_vector.h"

class CCustomControl;
class CDoubleBuffer;
class CLayout;
class MCustomViewObserver;

struct TPwSize {
  int32_t iWidth = 0;
  int32_t iHeight = 0;
};

// What a control asks of the GUI around it (the GUI implements it).
class MCustomControlObserver {
 public:
  // Sends a command through the whole tree, as if a softkey had issued it.
  virtual int32_t DispatchGuiCommand(int32_t aCommand) = 0;
  // aControl's TimerExpired runs once after aMs; replaces the control's pending timer.
  virtual void StartTimer(int32_t aMs, CCustomControl* aControl) = 0;
  virtual void CancelTimers(CCustomControl* aControl) = 0;
  virtual void ControlNotify(int32_t aValue) = 0;
  virtual void RequestRedraw() = 0;
  virtual void BeginTextEntry(TTextEntry& aEntry) = 0;
  virtual void SetTextEntryFont() = 0;
  virtual void ControlNotifyNoArg() = 0;
  virtual void EndTextEntry() = 0;
  virtual void ControlNotifyValue(int32_t aValue) = 0;

 protected:
  ~MCustomControlObserver() = default;
};

class CCustomControl : public CPwBase {
 public:
  // aParent may be null for a root or for a control that is put into a tree later (SetParent).
  explicit CCustomControl(CCustomControl* aParent = nullptr);
  // Cancels the control's timers; a root also destroys its drawing surface.
  ~CCustomControl() override;

  virtual TPwSize PreferredSize() { return TPwSize(); }
  // Stores the rectangle (a root also resizes its surface to it), then invalidates it.
  virtual void SetRect(const TPwRect& aRect);
  // Marks the whole rectangle dirty.
  virtual void Invalidate();
  // 0 not offered, 1 disabled, 2 offered, 3 offered and checked. The parent's by default.
  virtual int32_t CommandState(int32_t aCommand);
  // Passed on to the parent with this control.
  virtual void ChildChanged(CCustomControl* aControl);
  virtual void TimerExpired() {}
  // Whether the control takes part in key routing while hidden or without a rectangle.
  virtual int32_t TakesKeysWhenHidden() { return 0; }
  virtual int32_t ChildCount() { return 0; }
  virtual CCustomControl* ChildAt(int32_t) { return nullptr; }
  // The handlers return 0 when they consumed the event, nonzero otherwise.
  virtual int32_t HandleCommand(int32_t aCommand);
  virtual int32_t HandleKey(int32_t aKeyCode, int32_t aShift);
  // aKind 0 down, 1 move, 2 up.
  virtual int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY);
  // Draws the control into Bitmap(); the clip is already the control's visible part.
  virtual void Draw() {}

  // --- The tree.
  int32_t DispatchKey(int32_t aKeyCode, int32_t aShift);
  int32_t DispatchCommand(int32_t aCommand);
  int32_t DispatchPointer(int32_t aKind, int32_t aX, int32_t aY);
  // Draw, then the visible children with a rectangle; clears the dirty rectangle.
  void DrawTree();
  // Marks aRect dirty here and in every ancestor (see the file comment).
  void InvalidateRect(const TPwRect& aRect);

  void SetParent(CCustomControl* aParent) { iParent = aParent; }
  // Forgets every dirty rectangle of the subtree (tests start from a clean tree).
  void ClearDirtyTreeForTest() { ClearDirtyTree(); }
  CCustomControl* Parent() const { return iParent; }
  const TPwRect& Rect() const { return iRect; }
  const TPwRect& DirtyRect() const { return iDirty; }
  bool NeedsDrawing() const { return !iDirty.IsEmpty(); }
  // Asks the observer to repaint the window when something is dirty.
  void RequestRedraw();
  bool IsVisible() const { return iVisible; }
  void SetVisible(bool aVisible);
  int32_t State() const { return iState; }
  void SetState(int32_t aState) { iState = aState; }
  void StartTimer(int32_t aMs);
  void CancelTimer();

  // The surface of the tree (null before the root has a size), its bitmap and layout.
  CDoubleBuffer* DoubleBuffer() const;
  CPwBitmap* Bitmap() const;
  // The layout of the tree's surface; leaves with KErrNotReady-like -2 never: null before the
  // surface exists (callers draw only when it does).
  CLayout* Layout() const;
  MCustomControlObserver* ControlObserver() const;
  MCustomViewObserver* ViewObserver() const;

 protected:
  // A root names its observers (usually itself) and owns the surface it creates.
  void SetRootObservers(MCustomControlObserver* aControl, MCustomViewObserver* aView);
  // A root's surface was just created, before its first size.
  virtual void SurfaceCreated(CDoubleBuffer&) {}
  // Clears the dirty rectangles of this control and its children without drawing.
  void ClearDirtyTree();

  CCustomControl* iParent = nullptr;
  TPwRect iRect;
  TPwRect iDirty;
  bool iVisible = true;
  int32_t iState = 0;

 private:
  CDoubleBuffer* iOwnBuffer = nullptr;  // roots only
  MCustomControlObserver* iControlObserver = nullptr;
  MCustomViewObserver* iViewObserver = nullptr;
};

// A control whose children are kept in a list. The list does not own them: whoever adds a
// child deletes it, through DeleteChild or after RemoveChild.
class CContainerControl : public CCustomControl {
 public:
  explicit CContainerControl(CCustomControl* aParent = nullptr) : CCustomControl(aParent) {}
  ~CContainerControl() override;

  int32_t ChildCount() override { return iChildren.Count(); }
  CCustomControl* ChildAt(int32_t aIndex) override { return iChildren.At(aIndex); }

  // Appends aChild (which becomes its parent) as the last, first-served child.
  void AddChildL(CCustomControl* aChild);
  void RemoveChild(CCustomControl* aChild);
  // Removes and destroys aChild (null is allowed).
  void DeleteChild(CCustomControl* aChild);

 protected:
  CPwVector<CCustomControl*> iChildren{8};
};
