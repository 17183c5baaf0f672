#include "app/controls/settings_list.h"

#include "app/controls/value_editors.h"
#include "app/gui/commands.h"
#include "app/gui/custom_view.h"
#include "foundation/paths.h"
#include "strings/pw_strings.h"

void CSettingsItem::ValueText(CPwString& aText) const {
  aText.Reset();
  switch (iKind) {
    case ESettingSelection: {
      const int32_t index = ChoiceIndex();
      if (index >= 0) aText.Copy(iChoices.At(index));
      else aText.LoadFromResource(R_GUI_NOT_SELECTED);
      break;
    }
    case ESettingOnOff:
      aText.LoadFromResource(iValue ? R_GUI_ON : R_GUI_OFF);
      break;
    case ESettingFile:
      if (iText.IsEmpty()) aText.LoadFromResource(R_GUI_NOT_SELECTED);
      else aText.Copy(FileNameOf(iText));
      break;
    default:
      aText.Copy(iText);
      // A note shows as one line in its row.
      aText.FlattenLines();
      break;
  }
}

int32_t CSettingsItem::ChoiceIndex() const {
  for (int32_t i = 0; i < iChoices.Count(); ++i) {
    const int32_t value = i < iValues.Count() ? iValues.At(i) : i;
    if (value == iValue) return i;
  }
  return -1;
}

CSettingsListControl::CSettingsListControl(CCustomControl* aParent, MSettingsListObserver* aObserver)
    : CItemListControl(aParent, this), iObserver(aObserver) {}

CSettingsListControl::~CSettingsListControl() {
  for (CSettingsItem* item : iSettings) delete item;
  iSettings.Reset();
}

CSettingsItem& CSettingsListControl::AppendL(int32_t aId, TSettingsItemKind aKind, CPwStringC aLabel) {
  CSettingsItem* item = new CSettingsItem();
  const int32_t code = Trap([&] {
    item->iLabel.Copy(aLabel);
    iSettings.Append(item);
  });
  if (code != KErrNone) {
    delete item;
    Leave(code);
  }
  item->iId = aId;
  item->iKind = aKind;
  return *item;
}

CSettingsItem& CSettingsListControl::AddSelectionL(int32_t aId, CPwStringC aLabel, const CPwStringList& aChoices,
                                                   int32_t aValue, const CPwVector<int32_t>* aValues) {
  CSettingsItem& item = AppendL(aId, ESettingSelection, aLabel);
  item.iChoices.CopyFrom(aChoices);
  for (int32_t i = 0; i < aChoices.Count(); ++i) item.iValues.Append(aValues && i < aValues->Count() ? aValues->At(i) : i);
  item.iValue = aValue;
  RebuildL();
  return item;
}

CSettingsItem& CSettingsListControl::AddOnOffL(int32_t aId, CPwStringC aLabel, int32_t aValue) {
  CSettingsItem& item = AppendL(aId, ESettingOnOff, aLabel);
  item.iValue = aValue ? 1 : 0;
  RebuildL();
  return item;
}

CSettingsItem& CSettingsListControl::AddTextL(int32_t aId, CPwStringC aLabel, CPwStringC aText, bool aMultiLine,
                                              bool aNumeric) {
  CSettingsItem& item = AppendL(aId, ESettingText, aLabel);
  item.iText.Copy(aText);
  item.iMultiLine = aMultiLine;
  item.iNumeric = aNumeric;
  RebuildL();
  return item;
}

CSettingsItem& CSettingsListControl::AddFileL(int32_t aId, CPwStringC aLabel, CPwStringC aPath,
                                              const CPwStringList& aExtensions) {
  CSettingsItem& item = AppendL(aId, ESettingFile, aLabel);
  item.iText.Copy(aPath);
  item.iExtensions.CopyFrom(aExtensions);
  RebuildL();
  return item;
}

CSettingsItem& CSettingsListControl::AddCustomL(int32_t aId, CPwStringC aLabel, CPwStringC aValueText) {
  CSettingsItem& item = AppendL(aId, ESettingCustom, aLabel);
  item.iText.Copy(aValueText);
  RebuildL();
  return item;
}

CSettingsItem* CSettingsListControl::ItemById(int32_t aId) const {
  for (CSettingsItem* item : iSettings)
    if (item->iId == aId) return item;
  return nullptr;
}

CSettingsItem* CSettingsListControl::Focused() const {
  const int32_t row = Selected();
  return row >= 0 && row < iRows.Count() ? iRows.At(row) : nullptr;
}

void CSettingsListControl::SetItemVisible(int32_t aId, bool aVisible) {
  if (CSettingsItem* item = ItemById(aId); item && item->iVisible != aVisible) {
    item->iVisible = aVisible;
    RebuildL();
  }
}

void CSettingsListControl::RebuildL() {
  CSettingsItem* focused = Focused();
  Reset();
  iRows.Reset();
  int32_t focusRow = 0;
  CPwString value;
  for (CSettingsItem* item : iSettings) {
    if (!item->iVisible) continue;
    if (item == focused) focusRow = iRows.Count();
    item->ValueText(value);
    AddItemL(item->iLabel, value);
    iRows.Append(item);
  }
  SetSelected(focusRow);
}

int32_t CSettingsListControl::EditFocused() {
  CSettingsItem* item = Focused();
  MCustomViewObserver* views = ViewObserver();
  if (!item || !views || !item->iEnabled) return 0;
  MValueEditors& editors = views->ValueEditors();
  int32_t changed = 0;
  switch (item->iKind) {
    case ESettingSelection: {
      const int32_t index = editors.SelectFromList(item->iLabel, item->iHelp, item->iChoices, item->ChoiceIndex());
      if (index >= 0) {
        const int32_t value = index < item->iValues.Count() ? item->iValues.At(index) : index;
        changed = value != item->iValue;
        item->iValue = value;
      }
      break;
    }
    case ESettingOnOff:
      item->iValue = item->iValue ? 0 : 1;
      changed = 1;
      break;
    case ESettingText: {
      CPwString text{CPwStringC(item->iText)};
      if (editors.EditText(text, item->iLabel, item->iMultiLine, item->iNumeric, item->iHelp) && !(text == item->iText)) {
        item->iText.Copy(text);
        changed = 1;
      }
      break;
    }
    case ESettingFile: {
      CPwString path;
      if (editors.ChooseFile(item->iLabel, item->iExtensions, path) && !(path == item->iText)) {
        item->iText.Copy(path);
        changed = 1;
      }
      break;
    }
    case ESettingCustom:
      if (iObserver) changed = iObserver->EditCustom(*this, *item);
      break;
  }
  if (changed && iObserver) iObserver->SettingChanged(*this, *item);
  RebuildL();
  return changed;
}

void CSettingsListControl::ItemActivated(CItemListControl&, int32_t) { (void)EditFocused(); }

int32_t CSettingsListControl::HandleCommand(int32_t aCommand) {
  if (aCommand != pwcmd::KOpen) return 1;
  (void)EditFocused();
  return 0;
}
