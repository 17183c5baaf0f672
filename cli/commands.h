// The commands of the front end: their names, usage texts, options and the functions that run
// them. Each family lives in its own file (commands_tracks.cpp, commands_sessions.cpp, ...).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/headless_model.h"
#include "cli/json_writer.h"

// What a command runs with: the output streams, the options given before the command, and
// the model, made on first use (not every command needs the storage side).
class TCliContext {
 public:
  TCliContext(bool aUseDocuments, bool aInteractive) : iUseDocuments(aUseDocuments), iInteractive(aInteractive) {}

  CHeadlessModel& Model();
  bool HasModel() const { return iModel != nullptr; }
  // Standard error is a terminal: progress bars and notes for a person.
  bool Interactive() const { return iInteractive; }

  void Print(const std::string& aText);
  // The JSON text and a line end.
  void PrintJson(const CJsonWriter& aJson);
  // A line on standard error.
  void Note(const std::string& aText);

 private:
  bool iUseDocuments;
  bool iInteractive;
  std::unique_ptr<CHeadlessModel> iModel;
};

// What import and record print: the new session's identifier, or with --json an object with
// it, the number of positions stored and, unless aDropped is negative, the number of samples
// refused for impossible values.
void PrintNewSession(TCliContext& aContext, const TArgs& aArgs, CPwStringC aIdentifier, int32_t aPositions,
                     int32_t aDropped = -1);

// Raises the user error of a write below aRoot that failed: a full or read-only medium is
// named as such (an error number says nothing there), anything else is aOtherwise.
[[noreturn]] void ThrowWriteFailure(CPwStringC aRoot, const std::string& aOtherwise);

using TCommandFunction = void (*)(TCliContext& aContext, const TArgs& aArgs);

struct TCommand {
  const char* iName;  // "tracks", "track create" ...
  uint16_t iUsage;    // string-table entry of its usage text
  std::vector<TOptionDef> iOptions;
  TCommandFunction iRun;
  bool iHidden = false;  // development commands, not in the usage
};

// Every command, in the order the usage lists them.
const std::vector<TCommand>& Commands();

// The families.
void RunTracks(TCliContext& aContext, const TArgs& aArgs);
void RunTrackCreate(TCliContext& aContext, const TArgs& aArgs);
void RunTrackAddTrap(TCliContext& aContext, const TArgs& aArgs);
void RunTrackShow(TCliContext& aContext, const TArgs& aArgs);
void RunTrackLock(TCliContext& aContext, const TArgs& aArgs);
void RunTrackUnlock(TCliContext& aContext, const TArgs& aArgs);
void RunTrackDelete(TCliContext& aContext, const TArgs& aArgs);
void RunImport(TCliContext& aContext, const TArgs& aArgs);
void RunSessions(TCliContext& aContext, const TArgs& aArgs);
void RunLaps(TCliContext& aContext, const TArgs& aArgs);
void RunDelta(TCliContext& aContext, const TArgs& aArgs);
void RunRuns(TCliContext& aContext, const TArgs& aArgs);
void RunExport(TCliContext& aContext, const TArgs& aArgs);
void RunPositions(TCliContext& aContext, const TArgs& aArgs);
void RunDetect(TCliContext& aContext, const TArgs& aArgs);
void RunTests(TCliContext& aContext, const TArgs& aArgs);
void RunDownloadTracks(TCliContext& aContext, const TArgs& aArgs);
void RunDownloadTrack(TCliContext& aContext, const TArgs& aArgs);
void RunUploadTrack(TCliContext& aContext, const TArgs& aArgs);
void RunRecord(TCliContext& aContext, const TArgs& aArgs);
void RunPorts(TCliContext& aContext, const TArgs& aArgs);
void RunSettings(TCliContext& aContext, const TArgs& aArgs);
void RunSettingsSet(TCliContext& aContext, const TArgs& aArgs);
