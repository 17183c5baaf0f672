// sessions, laps, runs, tests.
#include <cmath>

#include "cli/cli_format.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/gnss_summary.h"
#include "cli/session_words.h"
#include "cli/text_table.h"
#include "foundation/paths.h"
#include "storage/plot_list_loader.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "strings/pw_strings.h"
#include "timing/lap.h"
#include "timing/lap_list.h"
#include "timing/performance_run.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"
#include "timing/track_session.h"

namespace {

std::optional<int64_t> Ms(PwTime aTime) {
  if (!aTime.IsSet()) return std::nullopt;
  return aTime.Milliseconds();
}

// A count or index the session file keeps as -1 when unknown.
std::optional<int64_t> Known(int32_t aValue) {
  if (aValue < 0) return std::nullopt;
  return aValue;
}

std::optional<int64_t> Number(int32_t aIndex) {
  if (aIndex < 0) return std::nullopt;
  return aIndex + 1;
}

double Mps(TSpeed aSpeed) { return aSpeed.IsValid() ? aSpeed.MetresPerSecond() : NAN; }

std::string KmhText(TSpeed aSpeed) { return RealText(aSpeed.IsValid() ? aSpeed.Kmh() : NAN, 1); }

std::string TypeName(int32_t aType) {
  CPwString text;
  CTrackSession::SessionTypeName(aType, text);
  return Utf8(text);
}

}  // namespace

void RunSessions(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(0, 0);
  CSessionList& sessions = aContext.Model().Sessions();
  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginArray();
    for (int32_t i = 0; i < sessions.Count(); ++i) {
      const CSessionInfo& info = *sessions.At(i);
      json.BeginObject();
      json.Member("session", info.Identifier());
      json.Member("title", info.Title());
      json.Member("type", SessionTypeWord(info.SessionType()));
      json.Member("track", info.TrackName());
      json.Member("test", info.TestName());
      json.Member("driver", info.Driver());
      const std::string created = IsoDateTime(info.Created());
      if (created.empty())
        json.MemberNull("created");
      else
        json.Member("created", created);
      json.Member("recorded", info.Recorded() != 0);
      json.Member("laps", Known(info.LapCount()));
      json.Member("best_lap", Number(info.BestLapIndex()));
      json.Member("best_lap_ms", Ms(info.BestLapTime()));
      json.Member("optimal_ms", Ms(info.OptimalLapTime()));
      json.Member("runs", Known(info.RunCount()));
      json.Member("best_run_ms", Ms(info.BestRunTime()));
      json.Member("read_only", info.IsReadOnly());
      json.Member("root", info.StorageRoot());
      json.Member("damaged", false);
      CPwString samples;
      MakeFilePath(EFilePlots, info.StorageRoot(), info.Identifier(), samples);
      json.Member("incomplete", !CPlotListLoader::IsWhole(samples));
      WriteGnssJson(json, info.GnssHealth());
      json.EndObject();
    }
    // A session file that cannot be read still holds the user's data: where it is matters.
    for (int32_t i = 0; i < sessions.DamagedCount(); ++i) {
      const CSessionInfo& info = sessions.DamagedAt(i);
      json.BeginObject();
      json.Member("session", info.Identifier());
      json.Member("read_only", info.IsReadOnly());
      json.Member("root", info.StorageRoot());
      json.Member("damaged", true);
      json.EndObject();
    }
    json.EndArray();
    aContext.PrintJson(json);
    return;
  }
  CTextTable table;
  table.AddColumn(CliText(R_CLI_COL_SESSION));
  table.AddColumn(CliText(R_CLI_COL_TITLE));
  table.AddColumn(CliText(R_CLI_COL_TYPE));
  table.AddColumn(CliText(R_CLI_COL_TRACK_TEST));
  table.AddColumn(CliText(R_CLI_COL_DRIVER));
  table.AddColumn(CliText(R_CLI_COL_CREATED));
  table.AddColumn(CliText(R_CLI_COL_LAPS), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_BEST), CTextTable::ERight);
  for (int32_t i = 0; i < sessions.Count(); ++i) {
    const CSessionInfo& info = *sessions.At(i);
    const bool perf = info.SessionType() == ESessionPerformance;
    const bool logging = info.SessionType() == ESessionDataLogging;
    const int32_t count = perf ? info.RunCount() : info.LapCount();
    table.AddRow({Utf8(info.Identifier()), Utf8(info.Title()), TypeName(info.SessionType()),
                  logging ? std::string() : Utf8(perf ? info.TestName() : info.TrackName()), Utf8(info.Driver()),
                  LocalDateTimeText(info.Created()),
                  logging || count < 0 ? CliText(R_CLI_NO_VALUE) : std::to_string(count),
                  logging ? CliText(R_CLI_NO_VALUE) : DurationText(perf ? info.BestRunTime() : info.BestLapTime())});
  }
  for (int32_t i = 0; i < sessions.DamagedCount(); ++i) {
    const CSessionInfo& info = sessions.DamagedAt(i);
    CPwString path;
    info.FilePath(path);
    table.AddRow({Utf8(info.Identifier()), Utf8(path), CliText(R_CLI_FLAG_DAMAGED), std::string(), std::string(),
                  std::string(), CliText(R_CLI_NO_VALUE), CliText(R_CLI_NO_VALUE)});
  }
  aContext.Print(table.Render());
}

void RunLaps(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  CHeadlessModel& model = aContext.Model();
  const std::string id = aArgs.Positionals()[0];
  std::unique_ptr<CTrackSession> session = model.OpenSession(PwStringFromUtf8(id));
  if (!session->IsLapTiming())
    throw TUserError(CliText(R_CLI_NOT_LAP_TIMING, id, TypeName(session->SessionType())));
  // Laps against no traps would be an empty table that looks like a session without laps.
  model.RequireTrack(*session);
  const bool incomplete = model.LastLoadIncomplete();

  CLapList& laps = session->Laps();
  const CLap* optimal = laps.OptimalLap();
  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginObject();
    json.Member("session", session->Info().Identifier());
    json.Member("track", session->Info().TrackName());
    json.Member("best", Number(laps.BestLapIndex()));
    json.Member("previous_best", Number(laps.PreviousBestIndex()));
    json.Member("optimal_ms", optimal ? Ms(optimal->LapTime()) : std::nullopt);
    json.Member("incomplete", incomplete);
    WriteGnssJson(json, session->PlotList().PositionList().Gnss().Health());
    json.Key("laps");
    json.BeginArray();
    for (int32_t i = 0; i < laps.LapCount(); ++i) {
      const CLap& lap = *laps.Lap(i);
      json.BeginObject();
      json.Member("number", i + 1);
      json.Member("finished", lap.IsFinished());
      json.Member("invalid", lap.IsInvalid());
      json.Member("time_ms", Ms(lap.LapTime()));
      json.Key("splits_ms");
      json.BeginArray();
      for (int32_t s = 0; s < lap.SplitCount(); ++s) json.Int(Ms(lap.SplitTime(lap.Split(s)->iKey)));
      json.EndArray();
      json.Key("sectors_ms");
      json.BeginArray();
      for (int32_t c = 0; c < lap.CrossingCount(); ++c) {
        const TLapSector* crossing = lap.Crossing(c);
        json.Int(crossing->iPrevious ? Ms(lap.SectorTime(crossing->iPrevious->iKey, crossing->iKey)) : std::nullopt);
      }
      json.EndArray();
      json.Key("trap_speeds_mps");
      json.BeginArray();
      json.Real(Mps(lap.TrapSpeed(-1)));
      for (int32_t c = 0; c < lap.CrossingCount(); ++c) json.Real(Mps(lap.Crossing(c)->iSample.Speed()));
      json.EndArray();
      const TDistance distance = lap.LapDistance();
      json.Member("distance_m", distance.IsValid() ? distance.Metres() : NAN);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    aContext.PrintJson(json);
    return;
  }

  CTextTable table;
  table.AddColumn(CliText(R_CLI_COL_LAP), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_TIME), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_SPLITS));
  table.AddColumn(CliText(R_CLI_COL_SECTORS));
  table.AddColumn(CliText(R_CLI_COL_SPEEDS));
  table.AddColumn(CliText(R_CLI_COL_DISTANCE), CTextTable::ERight);
  table.AddColumn(std::string());
  auto joined = [](const std::vector<std::string>& aParts) {
    std::string text;
    for (const std::string& part : aParts) text += (text.empty() ? "" : " ") + part;
    return text;
  };
  auto row = [&](const CLap& aLap, const std::string& aName, const std::string& aFlag) {
    std::vector<std::string> splits, sectors, speeds{KmhText(aLap.TrapSpeed(-1))};
    for (int32_t s = 0; s < aLap.SplitCount(); ++s) splits.push_back(DurationText(aLap.SplitTime(aLap.Split(s)->iKey)));
    for (int32_t c = 0; c < aLap.CrossingCount(); ++c) {
      const TLapSector* crossing = aLap.Crossing(c);
      sectors.push_back(crossing->iPrevious ? DurationText(aLap.SectorTime(crossing->iPrevious->iKey, crossing->iKey))
                                            : CliText(R_CLI_NO_VALUE));
      speeds.push_back(KmhText(crossing->iSample.Speed()));
    }
    const TDistance distance = aLap.LapDistance();
    table.AddRow({aName, DurationText(aLap.LapTime()), joined(splits), joined(sectors), joined(speeds),
                  RealText(distance.IsValid() ? distance.Metres() : NAN, 0), aFlag});
  };
  for (int32_t i = 0; i < laps.LapCount(); ++i) {
    const CLap& lap = *laps.Lap(i);
    std::string flag;
    if (!lap.IsFinished())
      flag = CliText(R_CLI_FLAG_UNFINISHED);
    else if (lap.IsInvalid())
      flag = CliText(R_CLI_FLAG_INVALID);
    else if (i == laps.BestLapIndex())
      flag = CliText(R_CLI_FLAG_BEST);
    row(lap, std::to_string(i + 1), flag);
  }
  if (optimal) row(*optimal, CliText(R_CLI_OPTIMAL), std::string());
  aContext.Print(CliText(R_CLI_SUMMARY, id, Utf8(session->Info().TrackName())) + "\n" + table.Render());
  if (const std::string gnss = GnssText(session->PlotList().PositionList().Gnss().Health()); !gnss.empty())
    aContext.Print(gnss);
  if (incomplete) aContext.Print(CliText(R_CLI_SAMPLES_INCOMPLETE) + "\n");
}

namespace {

// The test of --test (exact name first, then case ignored), or the session's own.
int32_t SelectTest(CHeadlessModel& aModel, const TArgs& aArgs, const CTrackSession& aSession) {
  CPerformanceTestList& tests = aModel.Tests();
  std::optional<std::string> given = aArgs.Value("test");
  if (!given) {
    if (aSession.CurrentTest() != CTrackSession::KNoTest) return aSession.CurrentTest();
    given = Utf8(aSession.Info().TestName());
  }
  return FindTestIndex(tests, *given);
}

}  // namespace

int32_t FindTestIndex(const CPerformanceTestList& aTests, const std::string& aName) {
  const CPwString name(PwStringFromUtf8(aName));
  const int32_t exact = aTests.IndexOfName(name);
  if (exact >= 0) return exact;
  for (int32_t i = 0; i < aTests.Count(); ++i)
    if (aTests.At(i)->Name().CompareNoCase(name) == 0) return i;
  throw TUserError(CliText(R_CLI_NO_TEST, aName));
}

void RunRuns(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  CHeadlessModel& model = aContext.Model();
  const std::string id = aArgs.Positionals()[0];
  std::unique_ptr<CTrackSession> session = model.OpenSession(PwStringFromUtf8(id));
  if (!session->IsPerformanceTesting())
    throw TUserError(CliText(R_CLI_NOT_PERFORMANCE, id, TypeName(session->SessionType())));
  const int32_t test = SelectTest(model, aArgs, *session);
  const CPerformanceTest& testInfo = *model.Tests().At(test);
  const CRunList& runs = session->Runs();
  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginObject();
    json.Member("session", session->Info().Identifier());
    json.Member("test", testInfo.Name());
    json.Member("best", Number(runs.BestRunIndex(test)));
    json.Key("runs");
    json.BeginArray();
    for (int32_t i = 0; i < runs.Count(); ++i) {
      const CPerformance* result = CRunList::Performance(runs.Run(i), test, true);
      json.BeginObject();
      json.Member("number", i + 1);
      json.Member("time_ms", result ? Ms(result->ResultTime()) : std::nullopt);
      TPositionPlot finish;
      finish.iSpeed = result ? result->FinishSpeed() : KInvalidInt;
      json.Member("finish_speed_mps", Mps(finish.Speed()));
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    aContext.PrintJson(json);
    return;
  }
  CTextTable table;
  table.AddColumn(CliText(R_CLI_COL_RUN), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_TIME), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_FINISH_SPEED), CTextTable::ERight);
  table.AddColumn(std::string());
  const int32_t best = runs.BestRunIndex(test);
  for (int32_t i = 0; i < runs.Count(); ++i) {
    const CPerformance* result = CRunList::Performance(runs.Run(i), test, true);
    TPositionPlot finish;
    finish.iSpeed = result ? result->FinishSpeed() : KInvalidInt;
    table.AddRow({std::to_string(i + 1), result ? DurationText(result->ResultTime()) : CliText(R_CLI_NO_VALUE),
                  KmhText(finish.Speed()), i == best ? CliText(R_CLI_FLAG_BEST) : std::string()});
  }
  aContext.Print(CliText(R_CLI_SUMMARY_TEST, id, Utf8(testInfo.Name())) + "\n" + table.Render());
}

void RunTests(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(0, 0);
  CPerformanceTestList& tests = aContext.Model().Tests();
  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginArray();
    for (int32_t i = 0; i < tests.Count(); ++i) {
      const CPerformanceTest& test = *tests.At(i);
      json.BeginObject();
      json.Member("name", test.Name());
      json.Member("kind", test.IsDistanceTest() ? "distance" : "speed");
      json.Member("start_speed_mps", test.IsSpeedTest() ? test.StartSpeed() : NAN);
      json.Member("finish_speed_mps", test.IsSpeedTest() ? test.FinishSpeed() : NAN);
      json.Member("distance_m", test.IsDistanceTest() ? test.Distance() : NAN);
      json.Member("built_in", test.IsBuiltIn());
      json.EndObject();
    }
    json.EndArray();
    aContext.PrintJson(json);
    return;
  }
  CTextTable table;
  table.AddColumn(CliText(R_CLI_COL_NAME));
  table.AddColumn(CliText(R_CLI_COL_KIND));
  table.AddColumn(CliText(R_CLI_COL_START_SPEED), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_END_SPEED), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_DISTANCE), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_BUILT_IN));
  for (int32_t i = 0; i < tests.Count(); ++i) {
    const CPerformanceTest& test = *tests.At(i);
    const bool speed = test.IsSpeedTest();
    table.AddRow({Utf8(test.Name()), CliText(speed ? R_CLI_SPEED_TEST : R_CLI_DISTANCE_TEST),
                  speed ? RealText(test.StartSpeed() * 3.6, 1) : CliText(R_CLI_NO_VALUE),
                  speed ? RealText(test.FinishSpeed() * 3.6, 1) : CliText(R_CLI_NO_VALUE),
                  speed ? CliText(R_CLI_NO_VALUE) : RealText(test.Distance(), 1), YesNo(test.IsBuiltIn())});
  }
  aContext.Print(table.Render());
}
