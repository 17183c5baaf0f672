#include "app/views/test_list_view.h"

#include "acquisition/channel_state.h"
#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/test_editor_view.h"
#include "app/views/view_access.h"
#include "foundation/string_provider.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"

namespace {

// Quantity classes: speed, and the short distances of class 3 (metres or feet).
constexpr int32_t KSpeedClass = EQuantitySpeed;
constexpr int32_t KDistanceClass = EQuantityShortDistance;
// Unit kinds of the string provider.
constexpr int32_t KSpeedUnitKind = EQuantitySpeed;
constexpr int32_t KDistanceUnitKind = EQuantityShortDistance;

}  // namespace

namespace testunits {
double SpeedFactor(bool aEnglish) { return QuantityFactor(KSpeedClass, aEnglish); }
double DistanceFactor(bool aEnglish) { return QuantityFactor(KDistanceClass, aEnglish); }
int32_t SpeedDecimals() { return QuantityDecimals(KSpeedClass); }
int32_t DistanceDecimals() { return QuantityDecimals(KDistanceClass); }
CPwStringC SpeedUnit(const CStringProvider& aStrings) { return aStrings.UnitText(KSpeedUnitKind); }
CPwStringC DistanceUnit(const CStringProvider& aStrings) { return aStrings.UnitText(KDistanceUnitKind); }
}  // namespace testunits

void CTestListView::Activate() {
  CItemListView::Activate();
  CPwString title;
  title.LoadFromResource(R_MAIN_PERFORMANCE_TESTS);
  ShowChrome(title, pwcmd::KOptions, pwcmd::KOpen, pwcmd::KBack);
}

void CTestListView::RefreshL() {
  if (!iList) return;
  const CPerformanceTestList& tests = iModel->Tests();
  iList->Reset();
  CPwString line;
  for (int32_t i = 0; i < tests.Count(); ++i) {
    SecondLine(*tests.At(i), line);
    iList->AddItemL(tests.At(i)->Name(), line);
  }
  iList->SetSelected(tests.SelectedIndex());
  if (!iRect.IsEmpty()) iList->SetRect(iRect);
}

void CTestListView::SecondLine(const CPerformanceTest& aTest, CPwString& aText) const {
  const CStringProvider& strings = iModel->Strings();
  const bool english = strings.EnglishUnits();
  CPwString a, b;
  if (aTest.IsDistanceTest()) {
    a.AppendReal(aTest.Distance() * testunits::DistanceFactor(english), testunits::DistanceDecimals());
    aText.FormatUU(R_TL_DISTANCE_ROW, a, testunits::DistanceUnit(strings));
    return;
  }
  const double factor = testunits::SpeedFactor(english);
  a.AppendReal(aTest.StartSpeed() * factor, testunits::SpeedDecimals());
  b.AppendReal(aTest.FinishSpeed() * factor, testunits::SpeedDecimals());
  aText.FormatUUU(R_TL_SPEED_ROW, a, b, testunits::SpeedUnit(strings));
}

int32_t CTestListView::CommandState(int32_t aCommand) {
  if (aCommand == pwcmd::KDelete) {
    const CPerformanceTest* test = iModel->Tests().SelectedTest();
    return test && !test->IsBuiltIn() ? ECommandOffered : ECommandDisabled;
  }
  if (aCommand == pwcmd::KOpen) return iModel->Tests().SelectedTest() ? ECommandOffered : ECommandDisabled;
  return CCustomView::CommandState(aCommand);
}

int32_t CTestListView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iList) return 1;
  switch (aCommand) {
    case pwcmd::KOptions:
      OpenOptionsMenu();
      return 0;
    case pwcmd::KOpen:
      if (CommandState(pwcmd::KOpen) == ECommandOffered) OpenEditor(false);
      return 0;
    case pwcmd::KCreateNew:
      OpenEditor(true);
      return 0;
    case pwcmd::KDelete:
      if (CommandState(pwcmd::KDelete) == ECommandOffered) Delete();
      return 0;
    case pwcmd::KBack:
      iModel->Tests().Save();
      observer->Back();
      return 0;
    default:
      return 1;
  }
}

void CTestListView::SelectionChanged(CItemListControl&, int32_t aIndex) {
  iModel->Tests().SetSelectedIndex(aIndex);
  if (MCustomViewObserver* observer = ViewObserver()) observer->CommandStatesChanged();
}

void CTestListView::OpenEditor(bool aNew) {
  auto* editor = ViewOf<CTestEditorView>(*iModel, CGui::ETestEditorView);
  if (!editor) return;
  editor->SetNextMode(aNew ? CTestEditorView::ENew : CTestEditorView::EProperties);
  ViewObserver()->OpenView(CGui::ETestEditorView);
}

void CTestListView::Delete() {
  CPerformanceTestList& tests = iModel->Tests();
  const CPerformanceTest* test = tests.SelectedTest();
  if (!test || !ViewObserver()->Dialogs().AskU(R_TL_DELETE_QUESTION, test->Name())) return;
  tests.DeleteSelected();
  RefreshL();
  ViewObserver()->CommandStatesChanged();
}

void CTestListView::OpenOptionsMenu() {
  CPwVector<TMenuEntry> entries(2);
  AppendOffered(entries, *this, pwcmd::KCreateNew, R_TL_CREATE_NEW);
  AppendOffered(entries, *this, pwcmd::KDelete, R_SL_DELETE);
  ViewObserver()->Dialogs().OpenMenuL(entries);
}
