// delta: the running difference of one lap against a reference lap, sample by sample.
#include <cmath>
#include <cstdlib>
#include <optional>

#include "cli/cli_format.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/text_table.h"
#include "storage/plot_list_loader.h"
#include "storage/session_info.h"
#include "strings/pw_strings.h"
#include "timing/lap.h"
#include "timing/lap_delta.h"
#include "timing/lap_list.h"
#include "timing/track_session.h"

namespace {

// "+0.123" / "-1.250": seconds with a sign, as a driver reads a difference.
std::string SignedSeconds(int64_t aMs) {
  char text[32];
  std::snprintf(text, sizeof text, "%c%lld.%03lld", aMs < 0 ? '-' : '+', static_cast<long long>(std::llabs(aMs) / 1000),
                static_cast<long long>(std::llabs(aMs) % 1000));
  return text;
}

std::string TypeName(const CTrackSession& aSession) {
  CPwString text;
  CTrackSession::SessionTypeName(aSession.SessionType(), text);
  return Utf8(text);
}

// The lap compared with and where it comes from.
struct TReference {
  const CLap* iLap = nullptr;
  std::string iSession;
  std::optional<int64_t> iNumber;  // 1-based; none for the optimal lap
  std::unique_ptr<CTrackSession> iOther;  // keeps a lap of another session alive
};

int32_t LapNumberIn(const CLapList& aLaps, const CLap* aLap) {
  for (int32_t i = 0; i < aLaps.LapCount(); ++i)
    if (aLaps.Lap(i) == aLap) return i + 1;
  return 0;
}

// A lap number of --against: a whole number from 1.
std::optional<int32_t> ParseNumber(const std::string& aText) {
  if (aText.empty() || aText.size() > 9 || aText.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int32_t n = std::atoi(aText.c_str());
  if (n < 1) return std::nullopt;
  return n;
}

const CLap* FinishedLap(CLapList& aLaps, int32_t aNumber) {
  if (aNumber > aLaps.LapCount()) throw TUserError(CliTextN(R_CLI_NO_LAP, aNumber));
  const CLap* lap = aLaps.Lap(aNumber - 1);
  if (!lap->IsFinished()) throw TUserError(CliTextN(R_CLI_LAP_UNFINISHED, aNumber));
  return lap;
}

TReference ChooseReference(TCliContext& aContext, const TArgs& aArgs, CTrackSession& aSession, int32_t aLap) {
  CLapList& laps = aSession.Laps();
  const std::string against = aArgs.ValueOr("against", "best");
  TReference reference;
  reference.iSession = Utf8(aSession.Info().Identifier());
  auto ownLap = [&](const CLap* aRefLap) {
    if (!aRefLap || !aRefLap->IsFinished()) throw TUserError(CliTextN(R_CLI_NO_REFERENCE_LAP, aLap));
    reference.iLap = aRefLap;
    reference.iNumber = LapNumberIn(laps, aRefLap);
  };
  if (against == "best") {
    ownLap(laps.ComparisonLapFor(aLap - 1));
  } else if (against == "optimal") {
    if (!laps.OptimalLap()) throw TUserError(CliText(R_CLI_NO_OPTIMAL_LAP));
    reference.iLap = laps.OptimalLap();
  } else if (against == "track") {
    aContext.Model().Sessions();  // the catalogue the track's sessions are found in
    const int32_t found = aSession.CompareToTrackBest();
    if (found == 2) {
      CTrackSession* other = aSession.ComparisonSession();
      if (CPlotListLoader* loader = other->SamplesLoader()) {
        const int32_t code = aContext.Model().RunWorker(*loader, R_SESSION_LOADING);
        if (code != KErrNone) {
          loader->Cancel();
          aSession.FinishComparisonLoading();
          throw TUserError(code == CHeadlessModel::KErrInterrupted
                               ? CliText(R_CLI_INTERRUPTED)
                               : CliTextUN(R_CLI_LOAD_FAILED, Utf8(other->Info().Identifier()), code));
        }
      }
      aSession.FinishComparisonLoading();
      const CLap* best = other->Laps().BestLap();
      if (!best) throw TUserError(CliTextN(R_CLI_NO_REFERENCE_LAP, aLap));
      reference.iLap = best;
      reference.iSession = Utf8(other->Info().Identifier());
      reference.iNumber = LapNumberIn(other->Laps(), best);
    } else {
      ownLap(laps.ComparisonLapFor(aLap - 1));
    }
  } else if (const size_t colon = against.rfind(':'); colon != std::string::npos) {
    const std::optional<int32_t> number = ParseNumber(against.substr(colon + 1));
    if (!number || colon == 0) aArgs.Fail(CliText(R_CLI_BAD_AGAINST));
    const std::string id = against.substr(0, colon);
    if (id == Utf8(aSession.Info().Identifier())) {
      ownLap(FinishedLap(laps, *number));
    } else {
      reference.iOther = aContext.Model().OpenSession(PwStringFromUtf8(id));
      if (!reference.iOther->IsLapTiming())
        throw TUserError(CliText(R_CLI_NOT_LAP_TIMING, id, TypeName(*reference.iOther)));
      if (!reference.iOther->Info().TrackName().Equals(aSession.Info().TrackName()))
        aContext.Note(CliText(R_CLI_NOT_SAME_TRACK, id, Utf8(reference.iOther->Info().TrackName())));
      reference.iLap = FinishedLap(reference.iOther->Laps(), *number);
      reference.iSession = id;
      reference.iNumber = *number;
    }
  } else if (const std::optional<int32_t> number = ParseNumber(against)) {
    ownLap(FinishedLap(laps, *number));
  } else {
    aArgs.Fail(CliText(R_CLI_BAD_AGAINST));
  }
  return reference;
}

// Every sample's reading, kept for printing.
struct TPoints final : MDeltaSink {
  std::vector<TDeltaReading> iReadings;
  void DeltaSample(int32_t aIndex, const TDeltaReading& aReading) override {
    (void)aIndex;
    iReadings.push_back(aReading);
  }
};

}  // namespace

void RunDelta(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  aArgs.Required("lap");
  const int32_t number = *aArgs.Integer("lap", 1, INT32_MAX);
  CHeadlessModel& model = aContext.Model();
  const std::string id = aArgs.Positionals()[0];
  std::unique_ptr<CTrackSession> session = model.OpenSession(PwStringFromUtf8(id));
  if (!session->IsLapTiming()) throw TUserError(CliText(R_CLI_NOT_LAP_TIMING, id, TypeName(*session)));
  if (!session->Track().HasTraps()) aContext.Note(CliText(R_CLI_NO_TRACK, Utf8(session->Info().TrackName())));
  CLapList& laps = session->Laps();
  if (number > laps.LapCount()) throw TUserError(CliTextN(R_CLI_NO_LAP, number));
  const CLap& lap = *laps.Lap(number - 1);
  const TReference reference = ChooseReference(aContext, aArgs, *session, number);

  CLapDelta delta;
  if (!delta.SetReference(*reference.iLap)) throw TUserError(CliTextN(R_CLI_NO_REFERENCE_LAP, number));
  TPoints points;
  delta.RunLap(lap, &points);
  std::optional<int64_t> finalDelta;
  if (lap.IsFinished() && delta.Current().iCrossingKey >= 0) finalDelta = delta.Current().iDelta;
  const int32_t referenceTime = delta.ReferenceTime();

  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginObject();
    json.Member("session", session->Info().Identifier());
    json.Member("lap", number);
    json.Key("against");
    json.BeginObject();
    json.Member("session", reference.iSession);
    json.Member("lap", reference.iNumber);
    json.Member("time_ms", referenceTime);
    json.EndObject();
    json.Key("points");
    json.BeginArray();
    for (const TDeltaReading& r : points.iReadings) {
      json.BeginObject();
      json.Member("t_ms", r.iElapsed);
      json.Member("distance_m", r.iDistance);
      json.Member("delta_ms", r.iValid ? std::optional<int64_t>(r.iDelta) : std::nullopt);
      json.Member("stale", r.iStale);
      json.EndObject();
    }
    json.EndArray();
    json.Member("final_delta_ms", finalDelta);
    json.EndObject();
    aContext.PrintJson(json);
    return;
  }

  const std::string time = DurationText(PwTime(referenceTime));
  const std::string against =
      reference.iNumber ? CliText(R_CLI_DELTA_LAP, std::to_string(*reference.iNumber), reference.iSession, time)
                        : CliText(R_CLI_DELTA_OPTIMAL, reference.iSession, time);
  CTextTable table;
  table.AddColumn(CliText(R_CLI_COL_TIME), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_DISTANCE), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_DELTA), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_STATE));
  for (const TDeltaReading& r : points.iReadings)
    table.AddRow({DurationText(PwTime(r.iElapsed)), RealText(r.iDistance, 1),
                  r.iValid ? SignedSeconds(r.iDelta) : CliText(R_CLI_NO_VALUE),
                  r.iStale ? CliText(R_CLI_FLAG_STALE) : std::string()});
  std::string text = CliText(R_CLI_DELTA_SUMMARY, std::to_string(number), id, against) + "\n" + table.Render();
  text += CliText(R_CLI_DELTA_FINAL, finalDelta ? SignedSeconds(*finalDelta) : CliText(R_CLI_NO_VALUE)) + "\n";
  aContext.Print(text);
}
