// detect: which track a log was driven on, found as a session with the automatic track would
// find it, without making a session or storing a track.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cli/cli_format.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/session_words.h"
#include "exchange/session_importer.h"
#include "storage/plot_list.h"
#include "strings/pw_strings.h"
#include "timing/track_detector.h"

namespace {

// Keeps the positions of a log in memory and shows each to the detector as it comes.
class TDetectingObserver final : public MParsedDataObserver {
 public:
  TDetectingObserver(CPlotList& aPlots, CTrackDetector& aDetector) : iPlots(aPlots), iDetector(aDetector) {}

  int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime, TDistance aAltitude,
                         TSpeed aSpeed, double aBearingDegrees, double aHdop, double aVdop, int32_t aSatellites,
                         int32_t aDifferential, int32_t aDiscontinuity, PwTime aDate, PwTime aDateTime) override {
    if (iDetector.IsDecided()) return 0;
    if (!iPlots.AddPosition(aLatitude, aLongitude, aTime.Milliseconds(), aAltitude, aSpeed, aBearingDegrees, aHdop,
                            aVdop, aSatellites, aDifferential, aDiscontinuity, aDate.Milliseconds(),
                            aDateTime.Milliseconds(), 0))
      return 0;
    if (!iFirst.IsSet() && aDate.IsSet() && aDateTime.IsSet()) iFirst = PwDateTime(aDate, aDateTime);
    iDetector.AddAll(iPlots.PositionList());
    return 0;
  }
  void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime, const TChannelValueList&) override {}
  void LineReceived(CPwByteArrayC, int32_t) override {}

  // The UTC date and time of the first fix that had both (unset without).
  const PwDateTime& First() const { return iFirst; }

 private:
  CPlotList& iPlots;
  CTrackDetector& iDetector;
  PwDateTime iFirst;
};

const char* StateWord(int32_t aState) {
  switch (aState) {
    case CTrackDetector::EChosen:
      return "chosen";
    case CTrackDetector::ERuledOut:
      return "ruled out";
    default:
      return "open";
  }
}

}  // namespace

void RunDetect(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  (void)aArgs.Required("format");
  const int32_t format = *aArgs.Choice("format", ImportFormatChoices());
  const std::string& path = aArgs.Positionals()[0];
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw TUserError(CliText(R_CLI_CANNOT_READ, path, std::strerror(errno)));

  CHeadlessModel& model = aContext.Model();
  std::unique_ptr<CDataParser> parser(CSessionImporter::NewParserL(format));
  std::unique_ptr<CPlotList> plots(CPlotList::NewL(&model.ObdChannels()));
  CTrackDetector detector;
  detector.SetTrackList(&model.Tracks());
  TDetectingObserver observer(*plots, detector);
  std::vector<uint8_t> block(CSessionImporter::KBlockBytes);
  for (;;) {
    const size_t got = std::fread(block.data(), 1, block.size(), file);
    if (got > 0)
      parser->Parse(CPwByteArrayC(block.data(), static_cast<int32_t>(got)), &observer, nullptr, nullptr, nullptr,
                    nullptr);
    CPwString reason;
    if (got < block.size() || parser->Refusal(reason) || detector.IsDecided()) break;
  }
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) throw TUserError(CliText(R_CLI_CANNOT_READ, path, std::strerror(error)));
  CPwString refusal;
  if (parser->Refusal(refusal)) throw TUserError(CliText(R_CLI_REFUSED, path, Utf8(refusal)));
  if (plots->PositionList().Count() == 0)
    throw TUserError(CliText(R_CLI_NO_POSITIONS, path, ImportFormatChoices()[static_cast<size_t>(format)]));
  if (!detector.IsDecided()) throw TUserError(CliText(R_CLI_DETECT_NONE, path));

  CPwString track;
  if (detector.Method() == CTrackDetector::ELoop) {
    PwTimeConverter converter;
    PwDateTime local = converter.UtcToLocal(observer.First());
    CTrackDetector::LoopTrackName(local.IsSet() ? local : observer.First(), track);
  } else {
    track.Copy(detector.Chosen()->Name());
  }
  const int32_t decidedMs = detector.DecidedTime() - detector.FirstTime();
  const std::vector<CTrackDetector::TCandidateReport> candidates = detector.Candidates();
  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginObject();
    json.Member("method", CTrackDetector::MethodWord(detector.Method()));
    json.Member("track", track);
    json.Member("distance_m", detector.ChosenDistance());
    json.Member("decided_at_ms", decidedMs);
    json.Key("candidates");
    json.BeginArray();
    for (const CTrackDetector::TCandidateReport& c : candidates) {
      json.BeginObject();
      json.Member("track", c.iName);
      json.Member("distance_m", c.iDistance);
      json.Member("state", StateWord(c.iState));
      json.Member("made", c.iMade);
      if (c.iState == CTrackDetector::ERuledOut) json.Member("why", c.iWhy);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    aContext.PrintJson(json);
    return;
  }
  std::string text = CliText(R_CLI_DETECT_TRACK, Utf8(track), CTrackDetector::MethodWord(detector.Method()),
                             RealText(detector.ChosenDistance(), 0)) +
                     CliText(R_CLI_DETECT_DECIDED, RealText(decidedMs / 1000.0, 1)) + "\n";
  for (const CTrackDetector::TCandidateReport& c : candidates) {
    char line[64];
    std::snprintf(line, sizeof line, "  %7.0f m  %-9s  ", c.iDistance, StateWord(c.iState));
    text += line + Utf8(c.iName);
    if (c.iState == CTrackDetector::ERuledOut) text += ": " + Utf8(c.iWhy);
    text += "\n";
  }
  aContext.Print(text);
}
