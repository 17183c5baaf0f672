#include "cli/session_words.h"

#include "storage/session_info.h"

const char* SessionTypeWord(int32_t aType) {
  switch (aType) {
    case ESessionPerformance: return "perf";
    case ESessionDataLogging: return "log";
    default: return "lap";
  }
}

const std::vector<std::string>& SessionTypeChoices() {
  static const std::vector<std::string> choices = {"lap", "perf", "log"};
  return choices;
}

const std::vector<std::string>& ImportFormatChoices() {
  static const std::vector<std::string> choices = {"nmea", "pbox", "vbox", "dl1", "gpx"};
  return choices;
}

bool IsAutomaticTrack(const std::string& aValue) { return aValue == "auto"; }
