// The words the command line uses for session types and formats, shared by the commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CPerformanceTestList;

// "lap", "perf", "log" by session type.
const char* SessionTypeWord(int32_t aType);
// The choices of --type, in session-type order.
const std::vector<std::string>& SessionTypeChoices();
// The choices of --format for import and positions, in import-format order.
const std::vector<std::string>& ImportFormatChoices();
// A performance test by exact name, else by name with case ignored; TUserError when none.
int32_t FindTestIndex(const CPerformanceTestList& aTests, const std::string& aName);

// "auto": the session's track is found from the route.
bool IsAutomaticTrack(const std::string& aValue);
