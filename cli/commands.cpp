#include "cli/commands.h"

#include <string>

#include "cli/cli_text.h"
#include "foundation/paths.h"
#include "strings/pw_strings.h"

CHeadlessModel& TCliContext::Model() {
  if (!iModel) iModel.reset(CHeadlessModel::NewL(iUseDocuments, iInteractive));
  return *iModel;
}

void TCliContext::Print(const std::string& aText) { std::fwrite(aText.data(), 1, aText.size(), stdout); }

void TCliContext::PrintJson(const CJsonWriter& aJson) {
  Print(aJson.Text());
  Print("\n");
}

void TCliContext::Note(const std::string& aText) {
  std::fflush(stdout);
  std::fputs((aText + "\n").c_str(), stderr);
}

void PrintNewSession(TCliContext& aContext, const TArgs& aArgs, CPwStringC aIdentifier, int32_t aPositions,
                     int32_t aDropped) {
  if (!aArgs.Has("json")) {
    aContext.Print(PwToUtf8(aIdentifier) + "\n");
    return;
  }
  CJsonWriter json;
  json.BeginObject();
  json.Member("session", aIdentifier);
  json.Member("positions", aPositions);
  if (aDropped >= 0) json.Member("dropped", aDropped);
  json.EndObject();
  aContext.PrintJson(json);
}

void ThrowWriteFailure(CPwStringC aRoot, const std::string& aOtherwise) {
  switch (MediumProblem(aRoot)) {
    case EMediumFull:
      throw TUserError(CliText(R_CLI_MEDIUM_FULL));
    case EMediumReadOnly:
      throw TUserError(CliText(R_CLI_READ_ONLY));
    default:
      throw TUserError(aOtherwise);
  }
}

const std::vector<TCommand>& Commands() {
  static const TOptionDef json{"json", false};
  static const std::vector<TCommand> commands = {
      {"tracks", R_CLI_USAGE_TRACKS, {json}, &RunTracks},
      {"track create", R_CLI_USAGE_TRACK_CREATE, {}, &RunTrackCreate},
      {"track add-trap",
       R_CLI_USAGE_TRACK_ADD_TRAP,
       {{"type", true}, {"lat", true}, {"lon", true}, {"bearing", true}, {"width", true}, {"bidirectional", false},
        {"trap-name", true}},
       &RunTrackAddTrap},
      {"track show", R_CLI_USAGE_TRACK_SHOW, {json}, &RunTrackShow},
      {"track lock", R_CLI_USAGE_TRACK_LOCK, {}, &RunTrackLock},
      {"track unlock", R_CLI_USAGE_TRACK_LOCK, {}, &RunTrackUnlock, true},
      {"track delete", R_CLI_USAGE_TRACK_DELETE, {}, &RunTrackDelete},
      {"import",
       R_CLI_USAGE_IMPORT,
       {{"format", true}, {"type", true}, {"track", true}, {"test", true}, {"title", true}, {"driver", true}, json},
       &RunImport},
      {"sessions", R_CLI_USAGE_SESSIONS, {json}, &RunSessions},
      {"laps", R_CLI_USAGE_LAPS, {json}, &RunLaps},
      {"delta", R_CLI_USAGE_DELTA, {{"lap", true}, {"against", true}, json}, &RunDelta},
      {"runs", R_CLI_USAGE_RUNS, {{"test", true}, json}, &RunRuns},
      {"export",
       R_CLI_USAGE_EXPORT,
       {{"format", true}, {"scope", true}, {"lap", true}, {"separators", true}, json},
       &RunExport},
      {"positions", R_CLI_USAGE_POSITIONS, {{"format", true}, json}, &RunPositions},
      {"detect", R_CLI_USAGE_DETECT, {{"format", true}, json}, &RunDetect},
      {"tests", R_CLI_USAGE_TESTS, {json}, &RunTests},
      {"download-tracks", R_CLI_USAGE_DOWNLOAD_TRACKS, {{"group", true}, json}, &RunDownloadTracks},
      {"download-track", R_CLI_USAGE_DOWNLOAD_TRACK, {{"overwrite", false}}, &RunDownloadTrack},
      {"upload-track", R_CLI_USAGE_UPLOAD_TRACK, {{"email", true}, {"description", true}}, &RunUploadTrack},
      {"record",
       R_CLI_USAGE_RECORD,
       {{"input", true}, {"track", true}, {"test", true}, {"log", false}, {"title", true}, {"driver", true},
        {"replay-delay", true}, json},
       &RunRecord},
      {"ports", R_CLI_USAGE_PORTS, {json}, &RunPorts},
      // Before "settings", which would take "set" for an argument.
      {"settings set", R_CLI_USAGE_SETTINGS_SET, {}, &RunSettingsSet},
      {"settings", R_CLI_USAGE_SETTINGS, {json}, &RunSettings},
      {"help", R_CLI_USAGE_HELP, {}, nullptr},
  };
  return commands;
}
