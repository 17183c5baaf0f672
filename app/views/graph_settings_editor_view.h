// "Graph settings": the visible GPS, OBD-II and data-logger channels, the x axis and the
// scaled comparison of the graph kind the analysis view shows, edited on a copy. "Back" keeps
// the copy, saves the settings and lets the analysis view calculate its data again.
#pragma once

#include <cstdint>

#include "app/controls/settings_list.h"
#include "app/gui/custom_view.h"
#include "foundation/pw_vector.h"
#include "storage/channel_list.h"

class CModel;

class CGraphSettingsEditorView : public CCustomView, public MSettingsListObserver {
 public:
  enum TItem : int32_t { EItemGps = 0, EItemObd = 1, EItemLogger = 2, EItemXAxis = 3, EItemScaled = 4 };
  // The GPS channels offered, in order.
  static constexpr TChannelId KGpsChannels[12] = {4, 5, 6, 12, 13, 7, 9, 10, 11, 1, 3, 2};

  explicit CGraphSettingsEditorView(CModel& aModel);
  ~CGraphSettingsEditorView() override;

  CSettingsListControl* Form() const { return iForm; }
  CSettingsItem* Item(int32_t aId) const { return iForm ? iForm->ItemById(aId) : nullptr; }
  // The channels of an item's multiple choice, in the order offered.
  const CPwVector<TChannelId>& Offered(int32_t aItem) const { return iOffered[Slot(aItem)]; }
  // The copy being edited.
  const CChannelList& Channels() const { return iChannels; }
  // Marks or unmarks a channel in the copy, as a choice in the item's dialog does.
  void SetChannel(TChannelId aId, bool aVisible);

  int32_t ViewNumber() override { return 19; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iForm; }
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MSettingsListObserver
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override;
  int32_t EditCustom(CSettingsListControl& aList, CSettingsItem& aItem) override;

 private:
  static int32_t Slot(int32_t aItem) { return aItem == EItemObd ? 1 : aItem == EItemLogger ? 2 : 0; }
  void BuildFormL();
  void ValueText(int32_t aItem, CPwString& aText) const;
  void Accept();

  CModel* iModel;
  CSettingsListControl* iForm = nullptr;  // owned while active
  int32_t iKind = 0;
  CChannelList iChannels;
  CPwVector<TChannelId> iOffered[3] = {CPwVector<TChannelId>(8), CPwVector<TChannelId>(8), CPwVector<TChannelId>(8)};
};
