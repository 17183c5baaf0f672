// export.
#include <memory>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "exchange/session_exporter.h"
#include "foundation/paths.h"
#include "storage/session_info.h"
#include "strings/pw_strings.h"
#include "timing/lap_list.h"
#include "timing/track_session.h"

namespace {

const std::vector<std::string> KFormats = {"kml", "csv", "vbo", "dat", "gpx", "overlay-csv", "vbo-laptiming"};
constexpr int32_t KFormatValues[] = {EExportKml, EExportCsv, EExportVbo,        EExportDat,
                                     EExportGpx, EExportOverlayCsv, EExportVboLapGates};
const std::vector<std::string> KScopes = {"best", "selected", "all", "route"};
constexpr int32_t KScopeValues[] = {EExportBestLap, EExportSelectedLap, EExportAllLaps, EExportRoute};
const std::vector<std::string> KSeparators = {"standard", "semicolon-comma", "semicolon-dot"};

}  // namespace

void RunExport(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  (void)aArgs.Required("format");
  (void)aArgs.Required("scope");
  TExportRequest request;
  request.iFormat = KFormatValues[*aArgs.Choice("format", KFormats)];
  request.iScope = KScopeValues[*aArgs.Choice("scope", KScopes)];
  request.iCsvSeparators = aArgs.Choice("separators", KSeparators).value_or(ECsvStandard);
  std::optional<int32_t> lap;
  bool optimal = false;
  if (const std::optional<std::string> text = aArgs.Value("lap")) {
    if (*text == "optimal")
      optimal = true;
    else
      lap = *aArgs.Integer("lap", 1, INT32_MAX);
  }

  CHeadlessModel& model = aContext.Model();
  const std::string id = aArgs.Positionals()[0];
  std::unique_ptr<CTrackSession> session = model.OpenSession(PwStringFromUtf8(id));
  // Laps come from the track's traps; the route needs none.
  if (request.iScope != EExportRoute) model.RequireTrack(*session);
  CLapList& laps = session->Laps();
  if (request.iScope == EExportSelectedLap) {
    if (optimal) {
      if (!laps.OptimalLap()) throw TUserError(CliText(R_CLI_NO_OPTIMAL_LAP));
      request.iSelectedLap = CLapList::KOptimalLap;
    } else if (lap) {
      if (*lap > laps.LapCount()) throw TUserError(CliTextN(R_CLI_NO_LAP, *lap));
      request.iSelectedLap = *lap - 1;
    } else {
      // The lap list would show the best lap first.
      if (laps.BestLapIndex() < 0) throw TUserError(CliText(R_CLI_NOTHING_TO_EXPORT));
      request.iSelectedLap = laps.BestLapIndex();
    }
  }
  PwTimeConverter converter;
  const CPwString root(model.StorageRoot());
  request.iInfo = &session->Info();
  request.iPlots = &session->PlotList();
  request.iLaps = session->IsLapTiming() ? &laps : nullptr;
  request.iTrack = session->IsLapTiming() && session->Track().HasTraps() ? &session->Track() : nullptr;
  request.iSettings = &model.Settings();
  request.iConverter = &converter;
  // Always the current medium: the shipped example lives in the installation folder.
  request.iStorageRoot = root;

  std::unique_ptr<CSessionExporter> exporter(CSessionExporter::NewL(request));
  const int32_t code = model.RunWorker(*exporter, R_EXPORT_PROGRESS);
  if (code != KErrNone && code != CSessionExporter::KErrNothingToExport && code != CSessionExporter::KErrNoSpace &&
      code != CSessionExporter::KErrExportsFolder) {
    // A file cut short is no export: it must not be taken for one later. (The refusals above
    // come before the file is touched, so an earlier export of the same name stays.)
    CPwString partial(exporter->FilePath());
    exporter.reset();
    if (!partial.IsEmpty()) DeleteFile(partial);
  }
  switch (code) {
    case KErrNone:
      break;
    case CHeadlessModel::KErrInterrupted:
      throw TUserError(CliText(R_CLI_INTERRUPTED));
    case CSessionExporter::KErrNothingToExport:
      throw TUserError(CliText(R_CLI_NOTHING_TO_EXPORT));
    case CSessionExporter::KErrNoSpace:
      throw TUserError(CliText(R_CLI_NO_EXPORT_SPACE));
    case CSessionExporter::KErrExportsFolder:
      ThrowWriteFailure(root, CliText(R_CLI_NO_EXPORTS_FOLDER));
    case KErrNoMemory:
      throw TUserError(CliText(R_MEMORY_FULL));
    default:
      ThrowWriteFailure(root, CliTextN(R_EXPORT_FAILED, code));
  }
  if (request.iScope != EExportRoute && exporter->SelectedLaps().Count() == 0) {
    // Only a header and a trailer: the lap asked for cannot be exported in this format
    // (unfinished, invalid for KML, or the optimal lap outside KML).
    CPwString empty(exporter->FilePath());
    exporter.reset();
    DeleteFile(empty);
    throw TUserError(CliText(R_CLI_NOTHING_TO_EXPORT));
  }
  const std::string path = Utf8(exporter->FilePath());
  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginObject();
    json.Member("session", session->Info().Identifier());
    json.Member("path", path);
    json.EndObject();
    aContext.PrintJson(json);
  } else {
    aContext.Print(path + "\n");
  }
}
