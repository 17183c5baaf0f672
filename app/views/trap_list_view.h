// The trap list ("Traps"): the traps of a track profile in trap order, each as its name over
// its type name, or "No traps defined.". It lists the open session's track (from the session
// screen) or a track handed to it (the track editor's copy). Rows open in the trap editor and
// are deleted after a question; the session's track also leads to the trap view's map.
#pragma once

#include <cstdint>
#include <memory>

#include "app/gui/toolbar.h"
#include "app/views/item_list_view.h"

class CModel;
class CTrackProfile;

class CTrapListView : public CItemListView {
 public:
  explicit CTrapListView(CModel& aModel) : CItemListView(aModel) {}

  // The track the list shows from its next opening until it is left with "Back" (not owned;
  // null: the open session's track). Changes of a track other than the session's are not
  // saved here: whoever handed it over saves it.
  void SetTrack(CTrackProfile* aTrack) { iTrack = aTrack; }
  // The listed track, or null without one.
  CTrackProfile* Track() const;
  bool Empty() const { return iEmpty; }
  // Rebuilds the rows from the track, focusing its current trap.
  void RefreshL() override;

  int32_t ViewNumber() override { return 17; }
  void Activate() override;
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;

  // --- MItemListObserver
  void SelectionChanged(CItemListControl& aList, int32_t aIndex) override;

 private:
  bool IsSessionTrack() const;
  // Whether traps of the listed track may change.
  bool Editable() const;
  void Delete();

  CTrackProfile* iTrack = nullptr;
  bool iEmpty = true;
  std::unique_ptr<CToolbar> iToolbar;
};
