#include "app/views/exporter_editor_view.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "app/views/view_access.h"
#include "exchange/session_exporter.h"
#include "foundation/paths.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/track_session.h"

namespace {

void AddChoice(CPwStringList& aLabels, CPwVector<int32_t>& aValues, uint16_t aLabel, int32_t aValue) {
  CPwString text;
  text.LoadFromResource(aLabel);
  aLabels.AppendCopy(text);
  aValues.Append(aValue);
}

// The local time the files show; one for every export of the program's run.
const PwTimeConverter& Converter() {
  static PwTimeConverter converter;
  return converter;
}

}  // namespace

CExporterEditorView::CExporterEditorView(CModel& aModel) : iModel(&aModel) {}

CExporterEditorView::~CExporterEditorView() {
  if (iExporting && iModel->WorkerEngine().Worker() == iExporter.get()) iModel->WorkerEngine().Cancel();
  iExporter.reset();
  delete iForm;
  iForm = nullptr;
}

CPwStringC CExporterEditorView::LastFile() const { return iExporter ? iExporter->FilePath() : CPwStringC(); }

void CExporterEditorView::Activate() {
  BuildFormL();
  CPwString title;
  title.LoadFromResource(R_EXPORT_TITLE);
  ShowChrome(title, pwcmd::KStart, pwcmd::KOpen, pwcmd::KCancel);
  if (!iRect.IsEmpty()) iForm->SetRect(iRect);
}

void CExporterEditorView::Deactivate() {
  // The session's data goes with the screen below: an export still running stops here.
  if (iExporting && iModel->WorkerEngine().Worker() == iExporter.get()) iModel->WorkerEngine().Cancel();
  iExporting = false;
  delete iForm;
  iForm = nullptr;
  iInitialScope = EExportRoute;
}

void CExporterEditorView::BuildFormL() {
  delete iForm;
  iForm = new CSettingsListControl(this, this);
  const CTrackSession* session = iModel->TrackSession();
  const bool laps = session && session->IsLapTiming();
  CPwStringList labels;
  CPwVector<int32_t> values(8);
  CPwString label;

  AddChoice(labels, values, R_EXPORT_TYPE_KML, EExportKml);
  AddChoice(labels, values, R_EXPORT_TYPE_CSV, EExportCsv);
  AddChoice(labels, values, R_EXPORT_TYPE_VBO, EExportVbo);
  AddChoice(labels, values, R_EXPORT_TYPE_DAT, EExportDat);
  AddChoice(labels, values, R_EXPORT_TYPE_GPX, EExportGpx);
  AddChoice(labels, values, R_EXPORT_TYPE_OVERLAY, EExportOverlayCsv);
  AddChoice(labels, values, R_EXPORT_TYPE_VBO_GATES, EExportVboLapGates);
  label.LoadFromResource(R_EXPORT_TYPE);
  iForm->AddSelectionL(EItemType, label, labels, EExportKml, &values).iHelp.LoadFromResource(R_EXPORT_TYPE_HELP);

  labels.Reset();
  values.Reset();
  if (laps) {
    AddChoice(labels, values, R_EXPORT_SCOPE_BEST, EExportBestLap);
    AddChoice(labels, values, R_EXPORT_SCOPE_SELECTED, EExportSelectedLap);
    AddChoice(labels, values, R_EXPORT_SCOPE_ALL, EExportAllLaps);
  }
  AddChoice(labels, values, R_EXPORT_SCOPE_ROUTE, EExportRoute);
  const int32_t scope = laps || iInitialScope == EExportRoute ? iInitialScope : EExportRoute;
  label.LoadFromResource(R_EXPORT_SCOPE);
  iForm->AddSelectionL(EItemScope, label, labels, scope, &values).iHelp.LoadFromResource(R_EXPORT_SCOPE_HELP);

  labels.Reset();
  values.Reset();
  AddChoice(labels, values, R_EXPORT_SEPARATORS_STANDARD, ECsvStandard);
  AddChoice(labels, values, R_EXPORT_SEPARATORS_SEMICOLON_COMMA, ECsvSemicolonComma);
  AddChoice(labels, values, R_EXPORT_SEPARATORS_SEMICOLON_DOT, ECsvSemicolonDot);
  label.LoadFromResource(R_EXPORT_SEPARATORS);
  iForm->AddSelectionL(EItemSeparators, label, labels, ECsvStandard, &values)
      .iHelp.LoadFromResource(R_EXPORT_SEPARATORS_HELP);
  UpdateEnabled();
  iForm->SetSelected(0);
}

void CExporterEditorView::UpdateEnabled() {
  if (CSettingsItem* separators = Item(EItemSeparators)) separators->iEnabled = Item(EItemType)->iValue == EExportCsv;
}

void CExporterEditorView::SettingChanged(CSettingsListControl&, CSettingsItem&) { UpdateEnabled(); }

int32_t CExporterEditorView::HandleCommand(int32_t aCommand) {
  if (!ViewObserver() || !iForm) return 1;
  switch (aCommand) {
    case pwcmd::KStart:
      if (!iExporting) StartExport();
      return 0;
    case pwcmd::KOpen:
      if (!iExporting) {
        (void)iForm->EditFocused();
        UpdateEnabled();
      }
      return 0;
    case pwcmd::KCancel:
    case pwcmd::KBack:
      ViewObserver()->Back();
      return 0;
    default:
      return 1;
  }
}

int32_t CExporterEditorView::HandleKey(int32_t aKeyCode, int32_t) {
  return aKeyCode == KEscapeKey ? HandleCommand(pwcmd::KCancel) : 1;
}

void CExporterEditorView::StartExport() {
  CTrackSession* session = iModel->TrackSession();
  if (!session) return;
  iExporter.reset();
  TExportRequest request;
  request.iFormat = Item(EItemType)->iValue;
  request.iScope = Item(EItemScope)->iValue;
  request.iCsvSeparators = Item(EItemSeparators)->iValue;
  request.iInfo = &session->Info();
  request.iPlots = &session->PlotList();
  request.iLaps = session->IsLapTiming() ? &session->Laps() : nullptr;
  request.iTrack = session->IsLapTiming() && session->Track().HasTraps() ? &session->Track() : nullptr;
  request.iSettings = &iModel->Settings();
  request.iConverter = &Converter();
  // Exports go to the medium in use: the shipped example lives in the installation folder.
  CPwString root;
  root.Copy(iModel->Settings().CurrentStorageRoot());
  request.iStorageRoot = root;
  iExporter.reset(CSessionExporter::NewL(request));
  iExporting = true;
  const int32_t code = Trap([&] { iModel->RunWorker(iExporter.get(), this, R_EXPORT_PROGRESS); });
  if (code != KErrNone) WorkerDone(code);
}

void CExporterEditorView::WorkerDone(int32_t aCode) {
  iExporting = false;
  CDialogs& dialogs = ViewObserver()->Dialogs();
  if (aCode == KErrNone) {
    dialogs.ShowNote(CDialogs::EInformation, R_EXPORT_DONE);
    ViewObserver()->Back();
    FinishSwitch(*iModel);
    return;
  }
  // A file cut short by a write failure is no export; the refusals come before any file.
  if (aCode != CSessionExporter::KErrNothingToExport && aCode != CSessionExporter::KErrNoSpace &&
      aCode != CSessionExporter::KErrExportsFolder && iExporter) {
    CPwString partial(iExporter->FilePath());
    iExporter.reset();
    if (!partial.IsEmpty()) DeleteFile(partial);
  }
  if (aCode == KErrNoMemory) dialogs.ShowNote(CDialogs::EConfirmedError, R_MEMORY_FULL);
  else dialogs.ShowNoteN(CDialogs::EConfirmedError, R_EXPORT_FAILED, aCode);
}

void CExporterEditorView::WorkerCancelled() { iExporting = false; }
