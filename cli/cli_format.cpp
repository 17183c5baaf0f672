#include "cli/cli_format.h"

#include <cmath>
#include <cstdio>

#include "cli/cli_text.h"
#include "foundation/pw_string.h"
#include "strings/pw_strings.h"

std::string DurationText(PwTime aTime) {
  if (!aTime.IsSet()) return CliText(R_CLI_NO_VALUE);
  CPwString text;
  aTime.FormatDuration(text, 3);
  return PwToUtf8(text);
}

std::string RealText(double aValue, int aDecimals) {
  if (!std::isfinite(aValue)) return CliText(R_CLI_NO_VALUE);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", aDecimals, aValue);
  return buffer;
}

std::string YesNo(bool aValue) { return CliText(aValue ? R_CLI_YES : R_CLI_NO); }

std::string LocalDateTimeText(const PwDateTime& aUtc) {
  if (!aUtc.IsSet()) return CliText(R_CLI_NO_VALUE);
  PwTimeConverter converter;
  const PwDateTime local = converter.UtcToLocal(aUtc);
  const PwDateTime& shown = local.IsSet() ? local : aUtc;
  CPwString date, time;
  shown.iDate.FormatDate(date);
  shown.iTime.FormatHourMinute(time);
  return PwToUtf8(date) + " " + PwToUtf8(time);
}

std::string IsoDate(PwTime aDate) {
  if (!aDate.IsSet()) return std::string();
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", aDate.Year(), aDate.Month(), aDate.Day());
  return buffer;
}

std::string IsoDateTime(const PwDateTime& aUtc) {
  if (!aUtc.IsSet()) return std::string();
  char buffer[48];
  const PwTime t = aUtc.iTime;
  std::snprintf(buffer, sizeof buffer, "%sT%02d:%02d:%02d.%03dZ", IsoDate(aUtc.iDate).c_str(), t.Hour(), t.Minute(),
                t.Second(), t.Millisecond());
  return buffer;
}
