// "Performance tests": the built-in tests and the user's own, one two-line row each (the name,
// then the kind with its speeds or distance in the display units). Tests are opened, created
// and deleted here; the list is saved when the view is left.
#pragma once

#include <cstdint>

#include "app/views/item_list_view.h"

class CModel;
class CPerformanceTest;
class CStringProvider;

namespace pwcmd {
constexpr int32_t KCreateNew = 4104;
}  // namespace pwcmd

// The display units of performance tests: speeds in kph or mph, distances in metres or feet,
// each with the decimals of its quantity.
namespace testunits {
// Display value per stored value (m/s, metres).
double SpeedFactor(bool aEnglish);
double DistanceFactor(bool aEnglish);
int32_t SpeedDecimals();
int32_t DistanceDecimals();
CPwStringC SpeedUnit(const CStringProvider& aStrings);
CPwStringC DistanceUnit(const CStringProvider& aStrings);
}  // namespace testunits

class CTestListView : public CItemListView {
 public:
  explicit CTestListView(CModel& aModel) : CItemListView(aModel) {}

  // Rebuilds the rows from the test list; the focus is the list's selected test.
  void RefreshL() override;
  // The second line of a test's row.
  void SecondLine(const CPerformanceTest& aTest, CPwString& aText) const;

  int32_t ViewNumber() override { return 21; }
  void Activate() override;
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;

  // --- MItemListObserver
  void SelectionChanged(CItemListControl& aList, int32_t aIndex) override;

 private:
  void OpenEditor(bool aNew);
  void Delete();
  void OpenOptionsMenu();

};
