// The settings editor: a summary list naming each group of settings with its current choice,
// and the groups as pages under a row of tabs ("General", "GPS receiver", "OBD-II reader",
// "Data Logger", "Hi/Lo speeds"). The items, their choices and their checks are the shared
// settings item table (storage/settings_items.h), the one the command line uses too. The editor
// works on a copy of the settings; "Back" from the summary (or from the high/low speed page
// opened alone) hands the copy to the model and saves it.
#pragma once

#include <cstdint>
#include <memory>

#include "app/controls/item_list.h"
#include "app/controls/settings_list.h"
#include "app/gui/custom_view.h"

class CModel;
class CSettings;
class CSettingsTabsControl;
class CSettingsEditorFrame;

class CSettingsEditorView : public CCustomView, public MItemListObserver, public MSettingsListObserver {
 public:
  explicit CSettingsEditorView(CModel& aModel);
  ~CSettingsEditorView() override;

  // The next opening shows the high/low speed page alone (the lap list's "Settings").
  void SetNextHiLoOnly() { iNextHiLoOnly = true; }
  bool HiLoOnly() const { return iHiLoOnly; }

  // -1 while the summary shows, else the page (TSettingPage).
  int32_t Page() const { return iPage; }
  void ShowPage(int32_t aPage);
  void ShowSummary();
  CItemListControl* Summary() const { return iPage < 0 ? iSummary : nullptr; }
  CSettingsListControl* Form() const { return iForm; }
  // The settings being edited (the model's are replaced by them on "Back").
  const CSettings* Edited() const { return iEdited.get(); }

  int32_t ViewNumber() override { return 11; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MItemListObserver: a summary row opens its page.
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;
  // --- MSettingsListObserver
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override;
  int32_t EditCustom(CSettingsListControl& aList, CSettingsItem& aItem) override;

 private:
  void BuildSummaryL();
  void BuildPageL(int32_t aPage);
  // Deletes the tabs and the page.
  void DropPage();
  // Every item's row text and visibility from the edited settings.
  void RefreshItems();
  void ShowTitle();
  // Hands the edited settings to the model, saves them and closes.
  void Accept();
  // Shows a refusal of the shared checks.
  void Refused(CPwStringC aReason);

  int32_t EditChoice(int32_t aId, const CSettingsItem& aItem);
  int32_t EditStorage(const CSettingsItem& aItem);
  int32_t EditDevice(int32_t aId, const CSettingsItem& aItem);
  int32_t EditPort(int32_t aId, const CSettingsItem& aItem);
  int32_t EditInputFile(const CSettingsItem& aItem);
  // A typed value (the gpsd host, a number), checked as the command line checks it.
  int32_t EditTyped(int32_t aId, const CSettingsItem& aItem, bool aNumeric);
  int32_t EditChannels(int32_t aId, const CSettingsItem& aItem);

  CModel* iModel = nullptr;
  std::unique_ptr<CSettings> iEdited;
  std::unique_ptr<CSettingsEditorFrame> iFrame;  // while active
  CItemListControl* iSummary = nullptr;          // owned by the view while active
  CSettingsTabsControl* iTabs = nullptr;
  CSettingsListControl* iForm = nullptr;
  int32_t iPage = -1;
  bool iHiLoOnly = false;
  bool iNextHiLoOnly = false;
};

// Opens the settings editor with the high/low speed page alone.
void OpenHiLoSpeedSettings(CModel& aModel);
