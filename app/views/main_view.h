// The start menu: the root of navigation. A list of two-line items (new session, previous
// sessions, track profiles, performance tests, settings) rebuilt on every activation, with
// "About", "Open" and "Exit".
#pragma once

#include <cstdint>

#include "app/controls/item_list.h"
#include "app/gui/custom_view.h"

class CModel;

class CMainView : public CCustomView, public MItemListObserver {
 public:
  explicit CMainView(CModel& aModel) : iModel(&aModel) {}
  ~CMainView() override;

  int32_t ViewNumber() override { return 8; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iList; }
  int32_t HandleCommand(int32_t aCommand) override;

  // Rebuilds the items from the model (their counts and the storage line).
  void RefreshL();
  CItemListControl* List() const { return iList; }

  // --- MItemListObserver
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;

 private:
  CModel* iModel = nullptr;
  CItemListControl* iList = nullptr;  // owned while active
};
