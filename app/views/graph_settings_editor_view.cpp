#include "app/views/graph_settings_editor_view.h"

#include "analysis/graph_channel.h"
#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/analyze_view.h"
#include "app/views/view_access.h"
#include "analysis/graph_generator.h"
#include "app/graph/graph_control.h"
#include "foundation/string_provider.h"
#include "storage/data_logger_plot_list.h"
#include "storage/obd_plot_list.h"
#include "storage/plot_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/track_session.h"

namespace {

void ChannelLabel(TChannelId aId, CPwString& aText) {
  if (aId == KChannelLapDelta) aText.LoadFromResource(R_GS_DELTA);
  else CStringProvider::ChannelName(aId, aText);
}

}  // namespace

CGraphSettingsEditorView::CGraphSettingsEditorView(CModel& aModel) : iModel(&aModel) {}

CGraphSettingsEditorView::~CGraphSettingsEditorView() {
  delete iForm;
  iForm = nullptr;
}

void CGraphSettingsEditorView::Activate() {
  const CGraphGenerator* generator = CGraphControl::DataOf(*iModel);
  iKind = generator ? generator->Kind() : CSettings::KGraphKindLap;
  iChannels.CopyFrom(iModel->Settings().GraphChannels(iKind));
  BuildFormL();
  CPwString title;
  title.LoadFromResource(R_GRAPH_SETTINGS);
  ShowChrome(title, pwcmd::KNone, pwcmd::KOpen, pwcmd::KBack);
  if (!iRect.IsEmpty()) iForm->SetRect(iRect);
}

void CGraphSettingsEditorView::Deactivate() {
  delete iForm;
  iForm = nullptr;
}

void CGraphSettingsEditorView::SetChannel(TChannelId aId, bool aVisible) {
  iChannels.Set(aId, aVisible);
  if (!iForm) return;
  for (int32_t item : {EItemGps, EItemObd, EItemLogger})
    if (CSettingsItem* setting = Item(item)) ValueText(item, setting->iText);
  iForm->RebuildL();
}

void CGraphSettingsEditorView::ValueText(int32_t aItem, CPwString& aText) const {
  aText.Reset();
  CPwString name;
  for (TChannelId id : iOffered[Slot(aItem)]) {
    if (!iChannels.Contains(id)) continue;
    if (!aText.IsEmpty()) aText.Append(u", ");
    ChannelLabel(id, name);
    aText.Append(name);
  }
}

void CGraphSettingsEditorView::BuildFormL() {
  delete iForm;
  iForm = new CSettingsListControl(this, this);
  for (CPwVector<TChannelId>& offered : iOffered) offered.Reset();
  for (TChannelId id : KGpsChannels) iOffered[0].Append(id);
  if (iKind == CSettings::KGraphKindLap) iOffered[0].Append(KChannelLapDelta);
  if (const CTrackSession* session = iModel->TrackSession()) {
    const CObdPlotList& obd = session->PlotList().ObdList();
    for (int32_t i = 0; i < obd.ListCount(); ++i) iOffered[1].Append(obd.ListAt(i).Channel().Id());
    const CDataLoggerPlotList& logger = session->PlotList().LoggerList();
    for (int32_t i = 0; i < KDataLoggerChannelCount; ++i)
      if (logger.Channel(i).HasData()) iOffered[2].Append(logger.Channel(i).Id());
  }

  const int32_t flags = iModel->Settings().GraphFlags(iKind);
  CPwString label, value;
  static const struct {
    int32_t iItem;
    uint16_t iLabel, iHelp;
  } KChannelItems[3] = {{EItemGps, R_GS_GPS_CHANNELS, R_GS_GPS_CHANNELS_HELP},
                        {EItemObd, R_GS_OBD_CHANNELS, R_GS_OBD_CHANNELS_HELP},
                        {EItemLogger, R_GS_LOGGER_CHANNELS, R_GS_LOGGER_CHANNELS_HELP}};
  for (const auto& item : KChannelItems) {
    label.LoadFromResource(item.iLabel);
    ValueText(item.iItem, value);
    iForm->AddCustomL(item.iItem, label, value).iHelp.LoadFromResource(item.iHelp);
  }

  CPwStringList axes;
  CPwVector<int32_t> values(2);
  label.LoadFromResource(R_GS_TIME);
  axes.AppendCopy(label);
  values.Append(1);
  label.LoadFromResource(R_GS_DISTANCE);
  axes.AppendCopy(label);
  values.Append(2);
  label.LoadFromResource(R_GS_X_AXIS);
  iForm->AddSelectionL(EItemXAxis, label, axes, flags & CSettings::KGraphDistanceAxis ? 2 : 1, &values)
      .iHelp.LoadFromResource(R_GS_X_AXIS_HELP);
  label.LoadFromResource(R_GS_SCALED);
  iForm->AddOnOffL(EItemScaled, label, flags & CSettings::KGraphScaledComparison ? 1 : 0)
      .iHelp.LoadFromResource(R_GS_SCALED_HELP);
  iForm->SetSelected(0);
}

void CGraphSettingsEditorView::SettingChanged(CSettingsListControl&, CSettingsItem&) {}

int32_t CGraphSettingsEditorView::EditCustom(CSettingsListControl&, CSettingsItem& aItem) {
  if (aItem.iId != EItemGps && aItem.iId != EItemObd && aItem.iId != EItemLogger) return 0;
  const CPwVector<TChannelId>& offered = iOffered[Slot(aItem.iId)];
  CPwStringList choices;
  CPwVector<int32_t> marks(8);
  CPwString name;
  for (TChannelId id : offered) {
    ChannelLabel(id, name);
    choices.AppendCopy(name);
    marks.Append(iChannels.Contains(id) ? 1 : 0);
  }
  if (!ViewObserver() || !ViewObserver()->Dialogs().SelectMultiple(aItem.iLabel, choices, marks)) return 0;
  for (int32_t i = 0; i < offered.Count() && i < marks.Count(); ++i) iChannels.Set(offered.At(i), marks.At(i) != 0);
  ValueText(aItem.iId, aItem.iText);
  return 1;
}

void CGraphSettingsEditorView::Accept() {
  CSettings& settings = iModel->Settings();
  if (iKind >= CSettings::KGraphKindLap && iKind <= CSettings::KGraphKindSpan) {
    int32_t flags = settings.GraphFlags(iKind) & ~(CSettings::KGraphDistanceAxis | CSettings::KGraphScaledComparison);
    if (Item(EItemXAxis)->iValue == 2) flags |= CSettings::KGraphDistanceAxis;
    if (Item(EItemScaled)->iValue) flags |= CSettings::KGraphScaledComparison;
    settings.SetGraphFlags(iKind, flags);
    settings.GraphChannels(iKind).CopyFrom(iChannels);
  }
  (void)settings.SaveSafely();
  CAnalyzeView* analysis = ViewOf<CAnalyzeView>(*iModel, CGui::EAnalyzeView);
  CModel* model = iModel;
  auto close = [this, model] {
    if (MCustomViewObserver* observer = ViewObserver()) observer->Back();
    FinishSwitch(*model);
  };
  // Without data there is nothing to calculate: the editor goes at once (inside its own key,
  // so the switch happens when the key is done).
  if (analysis && CGraphControl::DataOf(*iModel)) analysis->Reopen(close);
  else if (ViewObserver()) ViewObserver()->Back();
}

int32_t CGraphSettingsEditorView::HandleCommand(int32_t aCommand) {
  if (!ViewObserver() || !iForm) return 1;
  switch (aCommand) {
    case pwcmd::KOpen:
      (void)iForm->EditFocused();
      return 0;
    case pwcmd::KBack:
      Accept();
      return 0;
    default:
      return 1;
  }
}

int32_t CGraphSettingsEditorView::HandleKey(int32_t aKeyCode, int32_t) {
  return aKeyCode == KEscapeKey ? HandleCommand(pwcmd::KBack) : 1;
}
