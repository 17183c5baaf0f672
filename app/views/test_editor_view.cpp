#include "app/views/test_editor_view.h"

#include <cmath>
#include <limits>

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/test_list_view.h"
#include "app/views/view_access.h"
#include "foundation/string_provider.h"
#include "strings/pw_strings.h"

CTestEditorView::~CTestEditorView() {
  delete iForm;
  iForm = nullptr;
}

void CTestEditorView::Activate() {
  iMode = iNextMode;
  iNextMode = EProperties;
  const CPerformanceTest* selected = iModel->Tests().SelectedTest();
  if (iMode == EProperties && selected) {
    iTest.CopyFrom(*selected);
  } else {
    iMode = ENew;
    iTest.Set(CPwStringC(), 0.0, 0.0, 0.0, CPerformanceTest::ESpeedTest, 0);
  }
  BuildFormL();
  CPwString title;
  title.LoadFromResource(iMode == ENew ? R_TE_TITLE_NEW : R_TE_TITLE_PROPERTIES);
  if (ReadOnly()) ShowChrome(title, pwcmd::KNone, pwcmd::KNone, pwcmd::KBack);
  else ShowChrome(title, pwcmd::KOk, pwcmd::KOpen, pwcmd::KCancel);
  if (!iRect.IsEmpty()) iForm->SetRect(iRect);
}

void CTestEditorView::Deactivate() {
  delete iForm;
  iForm = nullptr;
}

void CTestEditorView::BuildFormL() {
  delete iForm;
  iForm = new CSettingsListControl(this, this);
  const CStringProvider& strings = iModel->Strings();
  const bool english = strings.EnglishUnits();
  CPwString label, value;

  label.LoadFromResource(R_TE_NAME);
  iForm->AddTextL(EItemName, label, iTest.Name());

  CPwStringList kinds;
  label.LoadFromResource(R_TE_TYPE_SPEED);
  kinds.AppendCopy(label);
  label.LoadFromResource(R_TE_TYPE_DISTANCE);
  kinds.AppendCopy(label);
  label.LoadFromResource(R_TE_TYPE);
  iForm->AddSelectionL(EItemType, label, kinds, iTest.Kind());

  const double speed = testunits::SpeedFactor(english);
  label.FormatU(R_TE_START_SPEED, testunits::SpeedUnit(strings));
  ValueText(iTest.StartSpeed() * speed, value);
  iForm->AddTextL(EItemStartSpeed, label, value, false, true);
  label.FormatU(R_TE_FINISH_SPEED, testunits::SpeedUnit(strings));
  ValueText(iTest.FinishSpeed() * speed, value);
  iForm->AddTextL(EItemFinishSpeed, label, value, false, true);
  label.FormatU(R_TE_DISTANCE, testunits::DistanceUnit(strings));
  ValueText(iTest.Distance() * testunits::DistanceFactor(english), value);
  iForm->AddTextL(EItemDistance, label, value, false, true);

  if (ReadOnly())
    for (int32_t i = 0; i < iForm->ItemCount(); ++i) iForm->SettingAt(i).iEnabled = false;
  UpdateVisibility();
  iForm->SetSelected(0);
}

void CTestEditorView::UpdateVisibility() {
  const bool speed = iTest.IsSpeedTest();
  iForm->SetItemVisible(EItemStartSpeed, speed);
  iForm->SetItemVisible(EItemFinishSpeed, speed);
  iForm->SetItemVisible(EItemDistance, !speed);
}

void CTestEditorView::ValueText(double aValue, CPwString& aText) {
  aText.Reset();
  if (!std::isfinite(aValue)) return;
  aText.AppendReal(aValue, 3);
  // "100.000" reads as "100", "0.250" as "0.25".
  while (aText.Length() > 0 && aText.CharAt(aText.Length() - 1) == u'0') aText.Delete(aText.Length() - 1, 1);
  if (aText.Length() > 0 && aText.CharAt(aText.Length() - 1) == u'.') aText.Delete(aText.Length() - 1, 1);
  if (aText == CPwStringC(u"-0")) aText.Copy(u"0");
}

double CTestEditorView::ParseValue(CPwStringC aText) {
  double value = 0.0;
  const char16_t separator = aText.Find(u",") >= 0 ? u',' : u'.';
  if (!aText.ParseReal(value, separator)) return std::numeric_limits<double>::quiet_NaN();
  return value;
}

void CTestEditorView::SettingChanged(CSettingsListControl&, CSettingsItem& aItem) {
  const bool english = iModel->Strings().EnglishUnits();
  const double speed = testunits::SpeedFactor(english);
  switch (aItem.iId) {
    case EItemName:
      iTest.Name().Copy(aItem.iText);
      break;
    case EItemType:
      iTest.SetKind(aItem.iValue);
      UpdateVisibility();
      break;
    case EItemStartSpeed:
      iTest.SetStartSpeed(ParseValue(aItem.iText) / speed);
      break;
    case EItemFinishSpeed:
      iTest.SetFinishSpeed(ParseValue(aItem.iText) / speed);
      break;
    case EItemDistance:
      iTest.SetDistance(ParseValue(aItem.iText) / testunits::DistanceFactor(english));
      break;
    default:
      break;
  }
}

int32_t CTestEditorView::HandleCommand(int32_t aCommand) {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer || !iForm) return 1;
  switch (aCommand) {
    case pwcmd::KOpen:
      if (!ReadOnly()) (void)iForm->EditFocused();
      return 0;
    case pwcmd::KOk:
      if (!ReadOnly()) Accept();
      return 0;
    case pwcmd::KBack:
    case pwcmd::KCancel:
      observer->Back();
      return 0;
    default:
      return 1;
  }
}

int32_t CTestEditorView::HandleKey(int32_t aKeyCode, int32_t) {
  return aKeyCode == KEscapeKey ? HandleCommand(ReadOnly() ? pwcmd::KBack : pwcmd::KCancel) : 1;
}

void CTestEditorView::Accept() {
  // Values of the other kind stay behind in hidden items (and come back if the type is
  // switched again); the test keeps only its own. A distance test with a start speed left
  // from typing would never start timing, as runs start at standstill.
  CPerformanceTest test;
  test.CopyFrom(iTest);
  if (test.IsDistanceTest()) {
    test.SetStartSpeed(0.0);
    test.SetFinishSpeed(0.0);
  } else {
    test.SetDistance(0.0);
  }
  CPwString message;
  if (!test.Validate(message)) {
    ViewObserver()->Dialogs().ShowNote(CDialogs::EConfirmedError, message);
    return;
  }
  CPerformanceTestList& tests = iModel->Tests();
  if (iMode == ENew) tests.AddL(test);
  else (void)tests.ReplaceSelectedL(test);
  ViewObserver()->Back();
}
