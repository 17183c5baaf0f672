// The string table's texts as UTF-8 for the terminal, filled like the GUI fills them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/pw_string.h"

std::string CliText(uint16_t aId);
std::string CliText(uint16_t aId, std::string_view aU);
std::string CliText(uint16_t aId, std::string_view aU0, std::string_view aU1);
std::string CliText(uint16_t aId, std::string_view aU0, std::string_view aU1, std::string_view aU2);
std::string CliTextN(uint16_t aId, int64_t aN);
std::string CliTextUN(uint16_t aId, std::string_view aU, int64_t aN);

// UTF-8 of a wide text.
inline std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

// Bytes from outside (a server's index, a file name) made safe for the terminal: UTF-8 text
// stays as it is; control characters (C0, DEL, C1) and bytes that are not UTF-8 are written as
// \xHH, so that an escape sequence shows instead of acting.
std::string Printable(std::string_view aBytes);
// The same for a wide text.
std::string Printable(CPwStringC aText);
