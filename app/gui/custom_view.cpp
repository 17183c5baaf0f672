#include "app/gui/custom_view.h"

CCustomView::~CCustomView() = default;

void CCustomView::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  if (CCustomControl* content = ContentControl()) content->SetRect(aRect);
  else InvalidateRect(aRect);
}

void CCustomView::Invalidate() {
  if (CCustomControl* content = ContentControl()) content->Invalidate();
}

int32_t CCustomView::CommandState(int32_t aCommand) {
  return IsBlankCommand(aCommand) ? ECommandNotOffered : ECommandOffered;
}

void CCustomView::ShowChrome(CPwStringC aTitle, int32_t aLeft, int32_t aMiddle, int32_t aRight) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return;
  observer->SetTitle(aTitle);
  TSoftkey left, middle, right;
  left.iCommand = aLeft;
  middle.iCommand = aMiddle;
  right.iCommand = aRight;
  observer->SetToolbar(nullptr);
  observer->SetSoftkeys(left, middle, right);
}
