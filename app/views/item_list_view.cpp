#include "app/views/item_list_view.h"

#include "app/views/view_access.h"

CItemListView::~CItemListView() {
  delete iList;
  iList = nullptr;
}

void CItemListView::Activate() {
  if (!iList) iList = new CItemListControl(this, this);
  RefreshL();
}

void CItemListView::Deactivate() {
  delete iList;
  iList = nullptr;
}

int32_t CItemListView::HandleKey(int32_t aKeyCode, int32_t) {
  switch (aKeyCode) {
    case KDeleteKey:
      return HandleCommand(pwcmd::KDelete);
    case KEscapeKey:
      return HandleCommand(pwcmd::KBack);
    default:
      return 1;
  }
}

void CItemListView::ItemActivated(CItemListControl&, int32_t) { (void)HandleCommand(pwcmd::KOpen); }
