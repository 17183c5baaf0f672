#include "cli/cli_text.h"

std::string CliText(uint16_t aId) {
  CPwString text;
  text.LoadFromResource(aId);
  return PwToUtf8(text);
}

std::string CliText(uint16_t aId, std::string_view aU) {
  CPwString text;
  text.FormatU(aId, PwStringFromUtf8(aU));
  return PwToUtf8(text);
}

std::string CliText(uint16_t aId, std::string_view aU0, std::string_view aU1) {
  CPwString text;
  text.FormatUU(aId, PwStringFromUtf8(aU0), PwStringFromUtf8(aU1));
  return PwToUtf8(text);
}

std::string CliText(uint16_t aId, std::string_view aU0, std::string_view aU1, std::string_view aU2) {
  CPwString text;
  text.FormatUUU(aId, PwStringFromUtf8(aU0), PwStringFromUtf8(aU1), PwStringFromUtf8(aU2));
  return PwToUtf8(text);
}

std::string CliTextN(uint16_t aId, int64_t aN) {
  CPwString text;
  text.FormatN(aId, aN);
  return PwToUtf8(text);
}

std::string CliTextUN(uint16_t aId, std::string_view aU, int64_t aN) {
  CPwString text;
  text.FormatUN(aId, PwStringFromUtf8(aU), aN);
  return PwToUtf8(text);
}
