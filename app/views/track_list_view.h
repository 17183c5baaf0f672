// "Track profiles": every track of the track list, one two-line row each (the name, then how
// many stored sessions were recorded on it and how many traps it has). Tracks are created,
// opened, deleted, downloaded and uploaded from here.
#pragma once

#include <cstdint>

#include "app/controls/item_list.h"
#include "app/gui/custom_view.h"

class CModel;

namespace pwcmd {
constexpr int32_t KCreateTrack = 4176;
constexpr int32_t KDownloadTrack = 4178;
constexpr int32_t KUploadTrack = 4180;
}  // namespace pwcmd

class CTrackListView : public CCustomView, public MItemListObserver {
 public:
  explicit CTrackListView(CModel& aModel) : iModel(&aModel) {}
  ~CTrackListView() override;

  CItemListControl* List() const { return iList; }
  // Rebuilds the rows; the focus is the track list's current track.
  void RefreshL();
  bool Empty() const;

  int32_t ViewNumber() override { return 10; }
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
  void Create();
  void Delete();
  void OpenOptionsMenu();

  CModel* iModel = nullptr;
  CItemListControl* iList = nullptr;  // owned while active
};
