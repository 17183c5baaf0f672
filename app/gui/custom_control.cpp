#include "app/gui/custom_control.h"

#include "app/gui/double_buffer.h"

CCustomControl::CCustomControl(CCustomControl* aParent) : iParent(aParent) {}

CCustomControl::~CCustomControl() {
  if (MCustomControlObserver* observer = ControlObserver()) observer->CancelTimers(this);
  delete iOwnBuffer;
  iOwnBuffer = nullptr;
}

void CCustomControl::SetRootObservers(MCustomControlObserver* aControl, MCustomViewObserver* aView) {
  iControlObserver = aControl;
  iViewObserver = aView;
}

CDoubleBuffer* CCustomControl::DoubleBuffer() const {
  const CCustomControl* c = this;
  while (c->iParent) c = c->iParent;
  return c->iOwnBuffer;
}

CPwBitmap* CCustomControl::Bitmap() const {
  CDoubleBuffer* buffer = DoubleBuffer();
  return buffer ? buffer->Bitmap() : nullptr;
}

CLayout* CCustomControl::Layout() const {
  CDoubleBuffer* buffer = DoubleBuffer();
  return buffer ? &buffer->Layout() : nullptr;
}

MCustomControlObserver* CCustomControl::ControlObserver() const {
  const CCustomControl* c = this;
  while (c->iParent) c = c->iParent;
  return c->iControlObserver;
}

MCustomViewObserver* CCustomControl::ViewObserver() const {
  const CCustomControl* c = this;
  while (c->iParent) c = c->iParent;
  return c->iViewObserver;
}

void CCustomControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  if (!iParent) {
    if (!iOwnBuffer) {
      iOwnBuffer = CDoubleBuffer::NewL();
      SurfaceCreated(*iOwnBuffer);
    }
    iOwnBuffer->ResizeL(aRect.Width(), aRect.Height());
  }
  Invalidate();
}

void CCustomControl::Invalidate() { InvalidateRect(iRect); }

void CCustomControl::InvalidateRect(const TPwRect& aRect) {
  if (aRect.IsEmpty()) return;
  // Each level takes what the level below marked, and the whole of every other visible child
  // that overlaps it. The child on the way up is not taken whole: that would turn a change of a
  // small control into a repaint of the whole view around it.
  TPwRect marked = aRect;
  const CCustomControl* from = nullptr;
  for (CCustomControl* c = this; c; from = c, c = c->iParent) {
    c->iDirty = c->iDirty.Union(marked);
    for (int32_t i = c->ChildCount() - 1; i >= 0; --i) {
      CCustomControl* child = c->ChildAt(i);
      if (!child || child == from || !child->iVisible) continue;
      if (child->iRect.Intersects(c->iDirty)) c->iDirty = c->iDirty.Union(child->iRect);
    }
    marked = c->iDirty;
  }
}

int32_t CCustomControl::CommandState(int32_t aCommand) {
  return iParent ? iParent->CommandState(aCommand) : 0;
}

void CCustomControl::ChildChanged(CCustomControl*) {
  if (iParent) iParent->ChildChanged(this);
}

int32_t CCustomControl::HandleCommand(int32_t) { return 1; }
int32_t CCustomControl::HandleKey(int32_t, int32_t) { return 1; }
int32_t CCustomControl::HandlePointer(int32_t, int32_t, int32_t) { return 1; }

void CCustomControl::SetVisible(bool aVisible) {
  if (aVisible == iVisible) return;
  // Hiding must repaint what the control covered, so the rectangle is marked first.
  iVisible = aVisible;
  Invalidate();
}

void CCustomControl::RequestRedraw() {
  if (!NeedsDrawing()) return;
  if (MCustomControlObserver* observer = ControlObserver()) observer->RequestRedraw();
}

void CCustomControl::StartTimer(int32_t aMs) {
  if (MCustomControlObserver* observer = ControlObserver()) observer->StartTimer(aMs, this);
}

void CCustomControl::CancelTimer() {
  if (MCustomControlObserver* observer = ControlObserver()) observer->CancelTimers(this);
}

int32_t CCustomControl::DispatchKey(int32_t aKeyCode, int32_t aShift) {
  for (int32_t i = ChildCount() - 1; i >= 0; --i) {
    CCustomControl* child = ChildAt(i);
    if (!child) continue;
    const bool takesPart = (child->iVisible && !child->iRect.IsEmpty()) || child->TakesKeysWhenHidden();
    if (takesPart && child->DispatchKey(aKeyCode, aShift) == 0) return 0;
  }
  return HandleKey(aKeyCode, aShift);
}

int32_t CCustomControl::DispatchCommand(int32_t aCommand) {
  for (int32_t i = ChildCount() - 1; i >= 0; --i) {
    CCustomControl* child = ChildAt(i);
    if (child && child->iVisible && !child->iRect.IsEmpty() && child->DispatchCommand(aCommand) == 0) return 0;
  }
  return HandleCommand(aCommand);
}

int32_t CCustomControl::DispatchPointer(int32_t aKind, int32_t aX, int32_t aY) {
  for (int32_t i = ChildCount() - 1; i >= 0; --i) {
    CCustomControl* child = ChildAt(i);
    if (!child || !child->iVisible) continue;
    if (aKind == 0 && !child->iRect.Contains(aX, aY)) continue;
    if (child->DispatchPointer(aKind, aX, aY) == 0) return 0;
  }
  return HandlePointer(aKind, aX, aY);
}

void CCustomControl::DrawTree() {
  CPwBitmap* bitmap = Bitmap();
  if (bitmap) {
    const TPwRect clip = bitmap->ClipRect();
    const TPwRect mine = clip.Intersection(iRect);
    if (!mine.IsEmpty()) {
      bitmap->SetClipRect(mine);
      Draw();
      bitmap->SetClipRect(clip);
    }
    for (int32_t i = 0; i < ChildCount(); ++i) {
      CCustomControl* child = ChildAt(i);
      if (!child || !child->iVisible || child->iRect.IsEmpty()) continue;
      // Children outside the part being repainted keep their pixels.
      if (child->iRect.Intersects(clip)) child->DrawTree();
      else child->ClearDirtyTree();
    }
  }
  iDirty = TPwRect();
}

void CCustomControl::ClearDirtyTree() {
  iDirty = TPwRect();
  for (int32_t i = 0; i < ChildCount(); ++i)
    if (CCustomControl* child = ChildAt(i)) child->ClearDirtyTree();
}

// --- CContainerControl ---------------------------------------------------------------------

CContainerControl::~CContainerControl() = default;

void CContainerControl::DeleteChild(CCustomControl* aChild) {
  if (!aChild) return;
  // Removed first, so the list never holds a dead pointer, but still parented while it dies,
  // so its timers are cancelled with the GUI.
  for (int32_t i = iChildren.Count() - 1; i >= 0; --i)
    if (iChildren.At(i) == aChild) iChildren.Remove(i);
  delete aChild;
}

void CContainerControl::AddChildL(CCustomControl* aChild) {
  iChildren.Append(aChild);
  aChild->SetParent(this);
}

void CContainerControl::RemoveChild(CCustomControl* aChild) {
  for (int32_t i = iChildren.Count() - 1; i >= 0; --i)
    if (iChildren.At(i) == aChild) {
      iChildren.Remove(i);
      if (aChild->Parent() == this) aChild->SetParent(nullptr);
      return;
    }
}
