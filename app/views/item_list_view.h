// A screen view whose content is one item list, made when the view is opened and dropped when
// it is left. Activating a row is "Open", the Delete key "Delete" and Escape "Back"; what the
// rows are and what the commands do is the view's own.
#pragma once

#include <cstdint>

#include "app/controls/item_list.h"
#include "app/gui/custom_view.h"

class CModel;

class CItemListView : public CCustomView, public MItemListObserver {
 public:
  explicit CItemListView(CModel& aModel) : iModel(&aModel) {}
  ~CItemListView() override;

  CItemListControl* List() const { return iList; }
  // Rebuilds the rows; nothing while the view is closed.
  virtual void RefreshL() = 0;

  // Makes the list and fills it; a view then shows its title, softkeys and toolbar.
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iList; }
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MItemListObserver
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;

 protected:
  CModel* iModel;
  CItemListControl* iList = nullptr;  // owned while open
};
