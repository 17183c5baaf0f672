// import, positions.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cli/cli_format.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/session_words.h"
#include "exchange/gpx_parser.h"
#include "exchange/session_importer.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"
#include "platform/file_io.h"
#include "storage/session_info.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"
#include "timing/track_session.h"

namespace {

// A user error naming the file unless it can be opened for reading as a file.
void CheckReadable(const std::string& aPath) {
  const pwplat::TInputProbe probe = pwplat::ProbeInput(aPath.c_str());
  if (probe.iReadError != 0) throw TUserError(CliText(R_CLI_CANNOT_READ, aPath, std::strerror(probe.iReadError)));
  if (probe.iKind == pwplat::EInputFolder) throw TUserError(CliText(R_CLI_CANNOT_READ, aPath, std::strerror(EISDIR)));
}

std::string AbsolutePath(const std::string& aPath) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(aPath, error);
  return error ? aPath : absolute.string();
}

// The files of a session that never came to be.
void DeleteSessionFiles(const CSessionInfo& aInfo) {
  for (const int32_t kind : {EFileSession, EFilePlots, EFileNmea}) {
    CPwString path;
    MakeFilePath(kind, aInfo.StorageRoot(), aInfo.Identifier(), path);
    DeleteFile(path);
  }
}

const uint16_t KFormatNames[] = {R_CLI_FORMAT_NMEA, R_CLI_FORMAT_PBOX, R_CLI_FORMAT_VBOX, R_CLI_FORMAT_DL1,
                                 R_CLI_FORMAT_GPX};

// What a GPX reading passed over: points without a time, route and waypoint points.
void NoteGpxSkips(TCliContext& aContext, const CDataParser* aParser) {
  const CGpxParser* gpx = dynamic_cast<const CGpxParser*>(aParser);
  if (!gpx) return;
  if (gpx->UntimedPoints() > 0) aContext.Note(CliTextN(R_CLI_UNTIMED, gpx->UntimedPoints()));
  const int64_t ignored = static_cast<int64_t>(gpx->IgnoredRoutePoints()) + gpx->IgnoredWaypoints();
  if (ignored > 0) aContext.Note(CliTextN(R_CLI_ROUTE_IGNORED, ignored));
}

// The user error of a file the parser refused, when it did.
void ThrowIfRefused(const CDataParser* aParser, const std::string& aPath) {
  CPwString reason;
  if (aParser && aParser->Refusal(reason)) throw TUserError(CliText(R_CLI_REFUSED, aPath, Utf8(reason)));
}

// "a.nmea" or "a.nmea, b.nmea": the files as the user named them.
std::string FileList(const std::vector<std::string>& aPaths) {
  std::string text;
  for (const std::string& path : aPaths) text += (text.empty() ? "" : ", ") + path;
  return text;
}

}  // namespace

void RunImport(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, SIZE_MAX);
  (void)aArgs.Required("format");
  const int32_t format = *aArgs.Choice("format", ImportFormatChoices());
  int32_t type = ESessionDataLogging;
  if (const std::optional<int32_t> given = aArgs.Choice("type", SessionTypeChoices()))
    type = *given;
  else if (aArgs.Has("track"))
    type = ESessionLapTiming;
  else if (aArgs.Has("test"))
    type = ESessionPerformance;
  if (type == ESessionLapTiming && !aArgs.Has("track")) aArgs.Fail(CliText(R_CLI_NEEDS_TRACK));
  if (type == ESessionPerformance && !aArgs.Has("test")) aArgs.Fail(CliText(R_CLI_NEEDS_TEST));
  for (const std::string& path : aArgs.Positionals()) CheckReadable(path);

  CHeadlessModel& model = aContext.Model();
  std::unique_ptr<CSessionInfo> chosen(new CSessionInfo);
  if (type == ESessionLapTiming && IsAutomaticTrack(*aArgs.Value("track"))) {
    chosen->SetTrackName(CTrackSession::KAutomaticTrack);
  } else if (type == ESessionLapTiming) {
    const int32_t index = model.Tracks().Find(PwStringFromUtf8(*aArgs.Value("track")));
    if (index < 0) throw TUserError(CliText(R_CLI_NO_TRACK, *aArgs.Value("track")));
    chosen->SetTrackName(model.Tracks().At(index).Name());
  } else if (type == ESessionPerformance) {
    const int32_t index = FindTestIndex(model.Tests(), *aArgs.Value("test"));
    chosen->SetTestName(model.Tests().At(index)->Name());
  }
  const std::string title =
      aArgs.ValueOr("title", std::filesystem::path(aArgs.Positionals()[0]).filename().string());
  chosen->SetTitle(PwStringFromUtf8(title));
  chosen->SetDriver(PwStringFromUtf8(aArgs.ValueOr("driver", "")));
  chosen->SetSessionType(type);
  chosen->SetSaveNmea(0);

  const CPwString root(model.StorageRoot());
  if (!EnsureFolders(root)) ThrowWriteFailure(root, CliText(R_CLI_NO_STORAGE, Utf8(root)));
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(model));
  if (Trap([&] { session->NewSession(*chosen, root); }) != KErrNone) {
    DeleteSessionFiles(session->Info());
    ThrowWriteFailure(root, CliText(R_CLI_NO_STORAGE, Utf8(root)));
  }
  // Imported, not recorded live: such a session is never resumed.
  session->Info().SetRecorded(0);
  session->StartTiming();

  CPwStringList files;
  for (const std::string& path : aArgs.Positionals()) files.AppendCopy(PwStringFromUtf8(AbsolutePath(path)));
  CSessionImporter* importer = CSessionImporter::NewL(*session, &model.ObdChannels(), files, format);
  session->StartImport(importer);
  const int32_t code = model.RunWorker(*importer, R_IMPORTING);
  const int32_t positions = importer->StoredPositions();
  const int32_t dropped = importer->DroppedSamples();
  const int32_t failedFile = importer->NextFileIndex() - 1;
  CPwString refusal;
  const bool refused = importer->Parser() && importer->Parser()->Refusal(refusal);
  NoteGpxSkips(aContext, importer->Parser());
  const int32_t endCode = Trap([&] { session->EndImport(); });
  if (code != KErrNone || endCode != KErrNone) {
    session->StopRecording();
    DeleteSessionFiles(session->Info());
    if (code == CHeadlessModel::KErrInterrupted) throw TUserError(CliText(R_CLI_INTERRUPTED));
    if (refused && failedFile >= 0 && failedFile < files.Count())
      throw TUserError(CliText(R_CLI_REFUSED, Utf8(files.At(failedFile)), Utf8(refusal)));
    if (code == CSessionImporter::KErrOpen && failedFile >= 0 && failedFile < files.Count())
      throw TUserError(CliText(R_CLI_CANNOT_READ, Utf8(files.At(failedFile)), std::strerror(EIO)));
    const int32_t failure = code != KErrNone ? code : endCode;
    if (failure == KErrNoMemory) throw TUserError(CliText(R_MEMORY_FULL));
    ThrowWriteFailure(root, CliTextN(R_IMPORT_FAILED, failure));
  }
  if (dropped > 0) aContext.Note(CliTextN(R_CLI_DROPPED, dropped));
  // A file of the wrong format, or one with nothing but damage in it, is no session.
  if (positions == 0) {
    session->StopRecording();
    DeleteSessionFiles(session->Info());
    throw TUserError(CliText(R_CLI_NO_POSITIONS, FileList(aArgs.Positionals()), CliText(KFormatNames[format])));
  }
  if (!session->DetectionNote().IsEmpty()) aContext.Note(Utf8(session->DetectionNote()));
  if (const int32_t saved = session->CloseSession(); saved != KErrNone) {
    DeleteSessionFiles(session->Info());
    ThrowWriteFailure(root, CliTextN(R_IMPORT_FAILED, saved));
  }
  PrintNewSession(aContext, aArgs, session->Info().Identifier(), positions, dropped);
}

namespace {

// Prints every position a parser reports, as JSON lines or as rows of fixed-width columns
// (written as they come, so a long log needs no memory).
class TPositionPrinter final : public MParsedDataObserver {
 public:
  TPositionPrinter(TCliContext& aContext, bool aJson) : iContext(aContext), iJson(aJson) {
    if (iJson) return;
    char line[160];
    std::snprintf(line, sizeof line, "%-12s  %12s  %13s  %9s  %8s  %9s  %4s  %s\n",
                  CliText(R_CLI_COL_TIME_OF_DAY).c_str(), CliText(R_CLI_COL_LATITUDE).c_str(),
                  CliText(R_CLI_COL_LONGITUDE).c_str(), CliText(R_CLI_COL_SPEED).c_str(),
                  CliText(R_CLI_COL_BEARING).c_str(), CliText(R_CLI_COL_ALTITUDE).c_str(),
                  CliText(R_CLI_COL_SATELLITES).c_str(), CliText(R_CLI_COL_DATE).c_str());
    iContext.Print(line);
  }

  int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime, TDistance aAltitude,
                         TSpeed aSpeed, double aBearingDegrees, double, double, int32_t aSatellites, int32_t,
                         int32_t, PwTime aDate, PwTime) override {
    const double lat = aLatitude.IsValid() ? aLatitude.ToDegrees() : NAN;
    const double lon = aLongitude.IsValid() ? aLongitude.ToDegrees() : NAN;
    const double speed = aSpeed.IsValid() ? aSpeed.MetresPerSecond() : NAN;
    const double alt = aAltitude.IsValid() ? aAltitude.Metres() : NAN;
    const bool satsKnown = aSatellites >= 0 && aSatellites != KInvalidInt;
    const std::string date = IsoDate(aDate);
    ++iCount;
    if (iJson) {
      iJsonLine.Clear();
      iJsonLine.BeginObject();
      iJsonLine.Key("tod_ms");
      if (aTime.IsSet())
        iJsonLine.Int(static_cast<int64_t>(aTime.Milliseconds()));
      else
        iJsonLine.Null();
      iJsonLine.Member("lat", lat);
      iJsonLine.Member("lon", lon);
      iJsonLine.Member("speed_mps", speed);
      iJsonLine.Member("bearing_deg", aBearingDegrees);
      iJsonLine.Member("alt_m", alt);
      iJsonLine.Key("sats");
      if (satsKnown)
        iJsonLine.Int(static_cast<int64_t>(aSatellites));
      else
        iJsonLine.Null();
      iJsonLine.Key("date");
      if (date.empty())
        iJsonLine.Null();
      else
        iJsonLine.String(date);
      iJsonLine.EndObject();
      iContext.PrintJson(iJsonLine);
      return 0;
    }
    CPwString tod;
    if (aTime.IsSet()) aTime.FormatTimeOfDay(tod, 3);
    char line[200];
    std::snprintf(line, sizeof line, "%-12s  %12s  %13s  %9s  %8s  %9s  %4s  %s\n",
                  aTime.IsSet() ? PwToUtf8(tod).c_str() : CliText(R_CLI_NO_VALUE).c_str(), RealText(lat, 7).c_str(),
                  RealText(lon, 7).c_str(), RealText(speed, 2).c_str(), RealText(aBearingDegrees, 1).c_str(),
                  RealText(alt, 1).c_str(), satsKnown ? std::to_string(aSatellites).c_str() : CliText(R_CLI_NO_VALUE).c_str(),
                  date.empty() ? CliText(R_CLI_NO_VALUE).c_str() : date.c_str());
    iContext.Print(line);
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}

  int64_t Count() const { return iCount; }

 private:
  TCliContext& iContext;
  bool iJson;
  CJsonWriter iJsonLine;
  int64_t iCount = 0;
};

}  // namespace

void RunPositions(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  (void)aArgs.Required("format");
  const int32_t format = *aArgs.Choice("format", ImportFormatChoices());
  const std::string& path = aArgs.Positionals()[0];
  CheckReadable(path);
  std::unique_ptr<CDataParser> parser(CSessionImporter::NewParserL(format));
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw TUserError(CliText(R_CLI_CANNOT_READ, path, std::strerror(errno)));
  TPositionPrinter printer(aContext, aArgs.Has("json"));
  std::vector<uint8_t> block(CSessionImporter::KBlockBytes);
  for (;;) {
    const size_t got = std::fread(block.data(), 1, block.size(), file);
    if (got > 0)
      parser->Parse(CPwByteArrayC(block.data(), static_cast<int32_t>(got)), &printer, nullptr, nullptr, nullptr,
                    nullptr);
    // A refused file is not read to its end (it may never end).
    CPwString reason;
    if (got < block.size() || parser->Refusal(reason)) break;
  }
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) throw TUserError(CliText(R_CLI_CANNOT_READ, path, std::strerror(error)));
  NoteGpxSkips(aContext, parser.get());
  ThrowIfRefused(parser.get(), path);
  // As for an import: what the parser refused is counted, so that a short list is explained.
  const int32_t dropped = parser->DroppedCount();
  if (dropped > 0) aContext.Note(CliTextN(R_CLI_DROPPED, dropped));
  if (aArgs.Has("json")) {
    // The last line sums up the lines before it.
    CJsonWriter summary;
    summary.BeginObject();
    summary.Member("positions", static_cast<int32_t>(std::min<int64_t>(printer.Count(), INT32_MAX)));
    summary.Member("dropped", dropped);
    summary.EndObject();
    aContext.PrintJson(summary);
  }
}
