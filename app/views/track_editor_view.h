// "Track properties": the name and the trap lock of the track list's current track, edited on
// a copy, and the way to its traps. "Back" accepts: a new name moves the track's file and the
// stored sessions recorded on the track follow it.
#pragma once

#include <cstdint>

#include "app/controls/settings_list.h"
#include "app/gui/custom_view.h"
#include "timing/track_profile.h"

class CModel;

class CTrackEditorView : public CCustomView, public MSettingsListObserver {
 public:
  enum TItem : int32_t { EItemName = 0, EItemLock = 1, EItemTraps = 2 };

  explicit CTrackEditorView(CModel& aModel) : iModel(&aModel) {}
  ~CTrackEditorView() override;

  // The copy being edited.
  const CTrackProfile& Track() const { return iTrack; }
  CSettingsListControl* Form() const { return iForm; }
  CSettingsItem* Item(int32_t aId) const { return iForm ? iForm->ItemById(aId) : nullptr; }

  int32_t ViewNumber() override { return 16; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iForm; }
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MSettingsListObserver
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override;
  int32_t EditCustom(CSettingsListControl& aList, CSettingsItem& aItem) override;

 private:
  void BuildFormL();
  // Applies the copy; false (after its note) when the editor stays open.
  bool Accept();

  CModel* iModel = nullptr;
  CSettingsListControl* iForm = nullptr;  // owned while active
  CTrackProfile iTrack;
  bool iEditing = false;  // from opening on a track until accepted
};
