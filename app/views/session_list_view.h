// "Previous sessions": the stored sessions of the catalogue, one two-line row each (the title,
// then what the display mode picks), with marks on several rows, deleting one or many, and the
// way into the import. Opening a row hands the session to the session screen, which loads it.
#pragma once

#include <cstdint>
#include <memory>

#include "app/controls/item_list.h"
#include "app/gui/custom_view.h"
#include "app/gui/toolbar.h"
#include "foundation/pw_string_list.h"

class CModel;
class CSessionInfo;

namespace pwcmd {
constexpr int32_t KImportNew = 4158;
constexpr int32_t KDisplayMode = 4159;
constexpr int32_t KModeStatistics = 4160;
constexpr int32_t KModeNote = 4163;
}  // namespace pwcmd

// The rows: shift with up or down marks every row passed, shift with Enter marks the focused
// row, and a tap on a row's mark box (its left square) marks it instead of opening it. Rows
// from the first damaged one on stand for session files that cannot be read: they are shown,
// never marked.
class CSessionRowsControl : public CItemListControl {
 public:
  using CItemListControl::CItemListControl;
  // Marks aIndex when unmarked and the other way round.
  void ToggleMark(int32_t aIndex);
  int32_t MarkedCount() const;
  // The square at the left of a row that a tap marks.
  TPwRect MarkBox(int32_t aIndex);
  bool Empty() const { return iEmpty; }
  void SetEmpty(bool aEmpty) { iEmpty = aEmpty; }
  // The first row of a damaged session file (Count() when there is none).
  int32_t FirstDamaged() const { return iFirstDamaged; }
  void SetFirstDamaged(int32_t aRow) { iFirstDamaged = aRow; }

  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;

 private:
  bool iEmpty = false;
  bool iMarkTap = false;
  int32_t iFirstDamaged = 0;
};

class CSessionListView : public CCustomView, public MItemListObserver {
 public:
  explicit CSessionListView(CModel& aModel);
  ~CSessionListView() override;

  CSessionRowsControl* List() const { return iList; }
  // Rebuilds the rows from the catalogue, keeping the focus and marks of the same sessions.
  void RefreshL();
  // The second line of an entry in a display mode.
  void SecondLine(const CSessionInfo& aEntry, int32_t aMode, CPwString& aText) const;

  int32_t ViewNumber() override { return 9; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iList; }
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MItemListObserver
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;
  void SelectionChanged(CItemListControl& aList, int32_t aIndex) override;

 private:
  void SetMode(int32_t aMode);
  void Delete();
  void OpenOptionsMenu();
  void OpenModeMenu();
  int32_t Mode() const;

  CModel* iModel = nullptr;
  CSessionRowsControl* iList = nullptr;  // owned while active
  CPwStringList iKeys;                   // identifier and root of each row's session
  std::unique_ptr<CToolbar> iToolbar;
};
