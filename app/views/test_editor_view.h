// The performance test editor: shows a test ("Performance test properties") or makes a new one
// ("Create new performance test") on a copy of it. Speeds and the distance are edited in the
// display units and kept in m/s and metres from the moment an item is left; the speed items
// show for speed tests, the distance item for distance tests. Built-in tests are shown only.
#pragma once

#include <cstdint>

#include "app/controls/settings_list.h"
#include "app/gui/custom_view.h"
#include "timing/performance_test.h"

class CModel;

class CTestEditorView : public CCustomView, public MSettingsListObserver {
 public:
  enum TMode : int32_t { EProperties = 0, ENew = 1 };
  enum TItem : int32_t { EItemName = 0, EItemType = 1, EItemStartSpeed = 2, EItemFinishSpeed = 3, EItemDistance = 4 };

  explicit CTestEditorView(CModel& aModel) : iModel(&aModel) {}
  ~CTestEditorView() override;

  // What the next opening shows: the test list's selected test, or a new test.
  void SetNextMode(int32_t aMode) { iNextMode = aMode; }
  int32_t Mode() const { return iMode; }
  // The copy being edited.
  const CPerformanceTest& Test() const { return iTest; }
  bool ReadOnly() const { return iTest.IsBuiltIn(); }
  CSettingsListControl* Form() const { return iForm; }
  CSettingsItem* Item(int32_t aId) const { return iForm ? iForm->ItemById(aId) : nullptr; }

  int32_t ViewNumber() override { return 22; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iForm; }
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MSettingsListObserver: the item left goes into the copy.
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override;

 private:
  void BuildFormL();
  void UpdateVisibility();
  // A value in display units as the editor shows it (up to three decimals, no trailing zeros).
  static void ValueText(double aValue, CPwString& aText);
  // The typed text as a number ('.' or ',' as the separator); not a number when it is none.
  static double ParseValue(CPwStringC aText);
  void Accept();

  CModel* iModel = nullptr;
  CSettingsListControl* iForm = nullptr;  // owned while active
  CPerformanceTest iTest;
  int32_t iMode = EProperties;
  int32_t iNextMode = EProperties;
};
