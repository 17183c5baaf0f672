#include "app/views/trap_editor_view.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/trap_change.h"
#include "app/views/view_access.h"
#include "strings/pw_strings.h"
#include "timing/track_session.h"

namespace {

constexpr int64_t KUnitsPerDegree = 6000000;
constexpr int64_t KUnitsPerMinute = 100000;

// The line types in the order the editor offers them.
constexpr int32_t KTypeOrder[6] = {ETrapStartFinish, ETrapDisabled, ETrapStart, ETrapStandingStart, ETrapFinish,
                                   ETrapSplit};

// The text without blanks at either end, as UTF-8.
std::string Trimmed(CPwStringC aText) {
  std::string text = PwToUtf8(aText);
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

CTrapEditorView::~CTrapEditorView() {
  delete iForm;
  iForm = nullptr;
}

CTrackProfile* CTrapEditorView::Track() const {
  if (iTrack) return iTrack;
  CTrackSession* session = iModel->TrackSession();
  return session ? &session->Track() : nullptr;
}

bool CTrapEditorView::Editable() const {
  if (!iHasTrap) return false;
  CTrackSession* session = iModel->TrackSession();
  const CTrackProfile* track = Track();
  if (session && track == &session->Track()) return session->TrapsEditable();
  return track && track->HasTraps() && !track->IsLocked();
}

// --- Numbers ---------------------------------------------------------------------------------------

void CTrapEditorView::FormatDegreesMinutes(TCoordinate aValue, CPwString& aText) {
  aText.Reset();
  if (!aValue.IsValid()) return;
  const int64_t value = aValue.iValue;
  const int64_t units = value < 0 ? -value : value;
  const int64_t degrees = units / KUnitsPerDegree;
  const int64_t minutes = units % KUnitsPerDegree / KUnitsPerMinute;
  if (value < 0) aText.Append(u"-");
  aText.AppendNum(degrees * 100 + minutes);
  aText.Append(u".");
  aText.AppendNum(units % KUnitsPerMinute, 5);
}

bool CTrapEditorView::ParseDegreesMinutes(CPwStringC aText, int32_t aLimitDegrees, TCoordinate& aValue) {
  const std::string text = Trimmed(aText);
  size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  int64_t whole = 0, fraction = 0;
  int32_t wholeDigits = 0, fractionDigits = 0;
  bool roundUp = false;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++wholeDigits) {
    if (wholeDigits >= 8) return false;
    whole = whole * 10 + (text[at] - '0');
  }
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++fractionDigits) {
      // Five decimals of a minute are one coordinate unit; the sixth rounds.
      if (fractionDigits < 5) fraction = fraction * 10 + (text[at] - '0');
      else if (fractionDigits == 5) roundUp = text[at] >= '5';
    }
  }
  if (at != text.size() || wholeDigits + fractionDigits == 0) return false;
  for (int32_t k = fractionDigits; k < 5; ++k) fraction *= 10;
  const int64_t degrees = whole / 100;
  const int64_t minuteUnits = whole % 100 * KUnitsPerMinute + fraction + (roundUp ? 1 : 0);
  if (minuteUnits >= 60 * KUnitsPerMinute) return false;
  const int64_t units = degrees * KUnitsPerDegree + minuteUnits;
  if (units > aLimitDegrees * KUnitsPerDegree) return false;
  aValue = TCoordinate(static_cast<int32_t>(negative ? -units : units));
  return true;
}

bool CTrapEditorView::ParseNumber(CPwStringC aText, double& aValue) {
  std::string text = Trimmed(aText);
  for (char& c : text)
    if (c == ',') c = '.';
  if (text.empty() || text.find_first_not_of("+-.0123456789") != std::string::npos) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return false;
  aValue = value;
  return true;
}

// --- The form --------------------------------------------------------------------------------------

void CTrapEditorView::Activate() {
  BuildFormL();
  CPwString title;
  title.LoadFromResource(R_TPE_TITLE);
  ShowChrome(title, pwcmd::KNone, Editable() ? pwcmd::KOpen : pwcmd::KNone, pwcmd::KBack);
  if (!iRect.IsEmpty()) iForm->SetRect(iRect);
}

void CTrapEditorView::Deactivate() {
  delete iForm;
  iForm = nullptr;
  iTrack = nullptr;
}

void CTrapEditorView::BuildFormL() {
  delete iForm;
  iForm = nullptr;
  iForm = new CSettingsListControl(this, this);
  const CTrackProfile* track = Track();
  const CTrapLine* trap = track ? track->CurrentTrap() : nullptr;
  iHasTrap = trap != nullptr;
  iCopy.Reset();
  if (trap) iCopy.CopyFrom(*trap);
  iLatitude = iCopy.Centre().iLatitude;
  iLongitude = iCopy.Centre().iLongitude;
  iBearing = iCopy.Bearing();
  iWidth = iCopy.Width();

  CPwString label;
  label.LoadFromResource(R_TPE_NAME);
  iForm->AddTextL(EItemName, label, iCopy.Name());
  CPwStringList choices;
  CPwVector<int32_t> values(6);
  CPwString text;
  for (const int32_t type : KTypeOrder) {
    CTrapLine::TypeName(type, text);
    choices.AppendCopy(text);
    values.Append(type);
  }
  label.LoadFromResource(R_TPE_LINE_TYPE);
  iForm->AddSelectionL(EItemType, label, choices, iCopy.Type(), &values).iHelp.LoadFromResource(R_TPE_LINE_TYPE_HELP);
  static constexpr struct {
    int32_t iId;
    uint16_t iLabel, iHelp;
  } KNumbers[4] = {{EItemLatitude, R_TPE_LATITUDE, R_TPE_LATITUDE_HELP},
                   {EItemLongitude, R_TPE_LONGITUDE, R_TPE_LONGITUDE_HELP},
                   {EItemBearing, R_TPE_BEARING, R_TPE_BEARING_HELP},
                   {EItemWidth, R_TPE_WIDTH, R_TPE_WIDTH_HELP}};
  for (const auto& number : KNumbers) {
    label.LoadFromResource(number.iLabel);
    iForm->AddCustomL(number.iId, label, CPwStringC()).iHelp.LoadFromResource(number.iHelp);
  }
  label.LoadFromResource(R_TPE_UNIDIRECTIONAL);
  iForm->AddOnOffL(EItemUnidirectional, label, iCopy.Unidirectional()).iHelp.LoadFromResource(R_TPE_UNIDIRECTIONAL_HELP);
  // A locked track is shown, not edited.
  const bool editable = Editable();
  for (int32_t i = 0; i < iForm->ItemCount(); ++i) iForm->SettingAt(i).iEnabled = editable;
  UpdateValueTexts();
  iForm->SetSelected(0);
}

void CTrapEditorView::UpdateValueTexts() {
  if (!iForm) return;
  FormatDegreesMinutes(iLatitude, Item(EItemLatitude)->iText);
  FormatDegreesMinutes(iLongitude, Item(EItemLongitude)->iText);
  CPwString& bearing = Item(EItemBearing)->iText;
  bearing.Reset();
  if (iBearing.IsValid()) bearing.AppendReal(iBearing.CompassDegrees(), 2);
  CPwString& width = Item(EItemWidth)->iText;
  width.Reset();
  if (iWidth.IsValid()) width.AppendReal(iWidth.Metres(), 0);
  iForm->RebuildL();
}

void CTrapEditorView::ApplyToCopy() {
  CPwString name{CPwStringC(Item(EItemName)->iText)};
  iCopy.Set(Item(EItemType)->iValue, name, iLatitude, iLongitude, iBearing, iWidth,
            Item(EItemUnidirectional)->iValue);
}

void CTrapEditorView::SettingChanged(CSettingsListControl&, CSettingsItem&) { ApplyToCopy(); }

int32_t CTrapEditorView::EditCustom(CSettingsListControl&, CSettingsItem& aItem) {
  CDialogs& dialogs = ViewObserver()->Dialogs();
  CPwString text{CPwStringC(aItem.iText)};
  if (!dialogs.EditText(text, aItem.iLabel, false, true, aItem.iHelp)) return 0;
  // A refused entry leaves the item (and the copy) as it was.
  switch (aItem.iId) {
    case EItemLatitude:
    case EItemLongitude: {
      const bool latitude = aItem.iId == EItemLatitude;
      TCoordinate value;
      if (!ParseDegreesMinutes(text, latitude ? 90 : 180, value)) {
        dialogs.ShowNote(CDialogs::EConfirmedError, latitude ? R_TPE_BAD_LATITUDE : R_TPE_BAD_LONGITUDE);
        return 0;
      }
      (latitude ? iLatitude : iLongitude) = value;
      break;
    }
    case EItemBearing: {
      double degrees = 0.0;
      if (!ParseNumber(text, degrees) || degrees < 0.0 || degrees >= 360.0) {
        dialogs.ShowNote(CDialogs::EConfirmedError, R_TPE_BAD_BEARING);
        return 0;
      }
      iBearing = TAngle::FromDegrees(degrees);
      break;
    }
    case EItemWidth: {
      double metres = 0.0;
      if (!ParseNumber(text, metres) || std::round(metres) < KMinWidth || std::round(metres) > KMaxWidth) {
        dialogs.ShowNote(CDialogs::EConfirmedError, R_TPE_BAD_WIDTH);
        return 0;
      }
      iWidth = TDistance::FromMetres(std::round(metres));
      break;
    }
    default:
      return 0;
  }
  UpdateValueTexts();
  return 1;
}

// --- Commands ------------------------------------------------------------------------------------

int32_t CTrapEditorView::CommandState(int32_t aCommand) {
  if (aCommand == pwcmd::KOpen) return Editable() ? ECommandOffered : ECommandNotOffered;
  return CCustomView::CommandState(aCommand);
}

int32_t CTrapEditorView::HandleCommand(int32_t aCommand) {
  if (aCommand == pwcmd::KBack) {
    StoreAndClose();
    return 0;
  }
  return 1;
}

int32_t CTrapEditorView::HandleKey(int32_t aKeyCode, int32_t) {
  if (aKeyCode != KEscapeKey) return 1;
  StoreAndClose();
  return 0;
}

void CTrapEditorView::StoreAndClose() {
  MCustomViewObserver* observer = ViewObserver();
  if (!observer) return;
  CTrackProfile* track = Track();
  if (Editable() && track && iForm) {
    ApplyToCopy();
    CTrapChange change(*iModel, *track);
    CTrackSession* session = change.Session();
    const int32_t replaced = session ? session->ReplaceCurrentTrap(iCopy) : track->ReplaceCurrentTrap(iCopy);
    if (replaced) (void)change.Commit(observer->Dialogs());
  }
  observer->Back();
}
