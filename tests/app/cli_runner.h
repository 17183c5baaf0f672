// The built command line run from a window test with the test's folders (the environment the
// test set up), and the lap times it and the program report, for comparing the two. The test
// target defines PW_CLI_BINARY.
#pragma once

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "timing/lap.h"
#include "timing/lap_list.h"

namespace pwtest {

// Its standard output.
inline std::string RunCli(const std::string& aArgs) {
  const std::string command = std::string("'") + PW_CLI_BINARY + "' " + aArgs + " 2>/dev/null";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    ::pclose(pipe);
  }
  return out;
}

inline std::string Quoted(const std::string& aText) { return "'" + aText + "'"; }

// The lap times of `laps --json`, in order ("null" for an unfinished lap).
inline std::vector<std::string> CliLapTimes(const std::string& aSession) {
  const std::string json = RunCli("laps " + Quoted(aSession) + " --json");
  std::vector<std::string> times;
  const std::regex field("\"time_ms\":(null|-?[0-9]+)");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), field); it != std::sregex_iterator(); ++it)
    times.push_back((*it)[1]);
  return times;
}

// The same of a lap list.
inline std::vector<std::string> LapTimes(const CLapList& aLaps) {
  std::vector<std::string> times;
  for (int32_t i = 0; i < aLaps.LapCount(); ++i) {
    const CLap* lap = aLaps.Lap(i);
    times.push_back(lap->IsFinished() ? std::to_string(lap->LapTime().Milliseconds()) : "null");
  }
  return times;
}

}  // namespace pwtest
