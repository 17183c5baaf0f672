// "Track profiles": every track of the track list, one two-line row each (the name, then how
// many stored sessions were recorded on it and how many traps it has). Tracks are created,
// opened, deleted, downloaded and uploaded from here.
#pragma once

#include <cstdint>

#include "app/views/item_list_view.h"

class CModel;

namespace pwcmd {
constexpr int32_t KCreateTrack = 4176;
constexpr int32_t KDownloadTrack = 4178;
constexpr int32_t KUploadTrack = 4180;
}  // namespace pwcmd

class CTrackListView : public CItemListView {
 public:
  explicit CTrackListView(CModel& aModel) : CItemListView(aModel) {}

  // Rebuilds the rows; the focus is the track list's current track.
  void RefreshL() override;
  bool Empty() const;

  int32_t ViewNumber() override { return 10; }
  void Activate() override;
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;

  // --- MItemListObserver
  void SelectionChanged(CItemListControl& aList, int32_t aIndex) override;

 private:
  void Create();
  void Delete();
  void OpenOptionsMenu();

};
