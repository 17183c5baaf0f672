// A settings list: form items shown as two-line rows (label, then the value), each with its
// editor: a selection from fixed choices, an on/off switch, a text, a file choice, or an
// editor the view supplies. "Open" (or a tap) edits the focused item; hidden items keep their
// values and come back when shown again.
#pragma once

#include <cstdint>

#include "app/controls/item_list.h"
#include "foundation/pw_string.h"
#include "foundation/pw_string_list.h"
#include "foundation/pw_vector.h"

class CSettingsListControl;

enum TSettingsItemKind : int32_t {
  ESettingSelection = 0,
  ESettingOnOff = 1,
  ESettingText = 2,
  ESettingFile = 3,
  ESettingCustom = 4,  // the observer edits it and gives its value text
};

class CSettingsItem : public CPwBase {
 public:
  // The value as the row's second line.
  void ValueText(CPwString& aText) const;
  // The index of the current value among the choices, -1 when it is none of them.
  int32_t ChoiceIndex() const;

  int32_t iId = 0;
  TSettingsItemKind iKind = ESettingSelection;
  CPwString iLabel;
  CPwString iHelp;
  CPwStringList iChoices;          // selection: the labels
  CPwVector<int32_t> iValues{8};   // selection: the stored value of each choice
  int32_t iValue = 0;              // selection: a stored value; on/off: 0 or 1
  CPwString iText;                 // text and file: the value; custom: the value text
  CPwStringList iExtensions;       // file: the accepted endings
  bool iMultiLine = false;
  bool iNumeric = false;
  bool iVisible = true;
  bool iEnabled = true;  // a disabled item is shown but not edited
};

class MSettingsListObserver {
 public:
  // After every edit that changed an item (visibility may be recomputed here).
  virtual void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) = 0;
  // Edits a custom item; nonzero when it changed.
  virtual int32_t EditCustom(CSettingsListControl&, CSettingsItem&) { return 0; }

 protected:
  ~MSettingsListObserver() = default;
};

class CSettingsListControl : public CItemListControl, private MItemListObserver {
 public:
  CSettingsListControl(CCustomControl* aParent, MSettingsListObserver* aObserver);
  ~CSettingsListControl() override;

  // aValues may be null: the values are the indexes of the choices.
  CSettingsItem& AddSelectionL(int32_t aId, CPwStringC aLabel, const CPwStringList& aChoices, int32_t aValue,
                               const CPwVector<int32_t>* aValues = nullptr);
  CSettingsItem& AddOnOffL(int32_t aId, CPwStringC aLabel, int32_t aValue);
  CSettingsItem& AddTextL(int32_t aId, CPwStringC aLabel, CPwStringC aText, bool aMultiLine = false,
                          bool aNumeric = false);
  CSettingsItem& AddFileL(int32_t aId, CPwStringC aLabel, CPwStringC aPath, const CPwStringList& aExtensions);
  CSettingsItem& AddCustomL(int32_t aId, CPwStringC aLabel, CPwStringC aValueText);

  int32_t ItemCount() const { return iSettings.Count(); }
  CSettingsItem& SettingAt(int32_t aIndex) const { return *iSettings.At(aIndex); }
  CSettingsItem* ItemById(int32_t aId) const;
  // The item of the focused row, null for none.
  CSettingsItem* Focused() const;
  void SetItemVisible(int32_t aId, bool aVisible);
  // Rebuilds the rows from the items (after values or visibility changed), keeping the focus.
  void RebuildL();
  // Edits the focused item with its editor; nonzero when it changed.
  int32_t EditFocused();

  // "Open" edits the focused item.
  int32_t HandleCommand(int32_t aCommand) override;

 private:
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;
  CSettingsItem& AppendL(int32_t aId, TSettingsItemKind aKind, CPwStringC aLabel);

  MSettingsListObserver* iObserver = nullptr;
  CPwVector<CSettingsItem*> iSettings{8};  // owned
  CPwVector<CSettingsItem*> iRows{8};      // the visible items, row by row
};
