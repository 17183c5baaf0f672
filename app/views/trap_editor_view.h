// The trap editor ("Trap properties"): one trap's name, line type, centre (degrees and minutes,
// DDMM.mmmmm), bearing, line width and direction rule, on a copy. The copy takes every edit
// at once (its end points computed again) and replaces the track's current trap when the
// editor is left, unless the track is locked: then nothing can be edited or stored.
#pragma once

#include <cstdint>

#include "app/controls/settings_list.h"
#include "app/gui/custom_view.h"
#include "timing/trap_line.h"

class CModel;
class CTrackProfile;

class CTrapEditorView : public CCustomView, public MSettingsListObserver {
 public:
  enum TItem : int32_t {
    EItemName = 0,
    EItemType = 1,
    EItemLatitude = 2,
    EItemLongitude = 3,
    EItemBearing = 4,
    EItemWidth = 5,
    EItemUnidirectional = 6,
  };
  // Line widths the editor accepts, metres.
  static constexpr int32_t KMinWidth = 1;
  static constexpr int32_t KMaxWidth = 10000;

  explicit CTrapEditorView(CModel& aModel) : iModel(&aModel) {}
  ~CTrapEditorView() override;

  // The track whose current trap the next opening edits (not owned; null: the open
  // session's track, whose change recomputes the laps and is saved).
  void SetTrack(CTrackProfile* aTrack) { iTrack = aTrack; }
  CTrackProfile* Track() const;
  // The copy as edited so far.
  const CTrapLine& Copy() const { return iCopy; }
  // Whether the copy may be stored (the track is not locked).
  bool Editable() const;
  CSettingsListControl* Form() const { return iForm; }
  CSettingsItem* Item(int32_t aId) const { return iForm ? iForm->ItemById(aId) : nullptr; }

  // DDMM.mmmmm of a coordinate ("3015.82860", "-12018.93960") and back: false for text that
  // is no such number, lies beyond aLimitDegrees or has 60 minutes or more.
  static void FormatDegreesMinutes(TCoordinate aValue, CPwString& aText);
  static bool ParseDegreesMinutes(CPwStringC aText, int32_t aLimitDegrees, TCoordinate& aValue);
  // A decimal number ('.' or ',' as the separator); false for anything else.
  static bool ParseNumber(CPwStringC aText, double& aValue);

  int32_t ViewNumber() override { return 15; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iForm; }
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MSettingsListObserver
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override;
  int32_t EditCustom(CSettingsListControl& aList, CSettingsItem& aItem) override;

 private:
  void BuildFormL();
  void UpdateValueTexts();
  // The working values into the copy, whose end points follow.
  void ApplyToCopy();
  void StoreAndClose();

  CModel* iModel;
  CTrackProfile* iTrack = nullptr;
  CSettingsListControl* iForm = nullptr;  // owned while active
  CTrapLine iCopy;
  TCoordinate iLatitude;
  TCoordinate iLongitude;
  TAngle iBearing = TAngle::Invalid();
  TDistance iWidth = TDistance::Invalid();
  bool iHasTrap = false;
};
