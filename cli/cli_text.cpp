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

namespace {

// Length of the well-formed UTF-8 sequence at aAt (of a code point that is not a control), or 0.
size_t PrintableSequence(std::string_view aBytes, size_t aAt) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(aBytes[i]); };
  const unsigned char lead = byte(aAt);
  if (lead >= 0x20 && lead < 0x7F) return 1;
  size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (aAt + length > aBytes.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(aAt + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(aAt + i) & 0x3F);
  }
  const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  if (code <= 0x9F) return 0;  // C1 controls
  return length;
}

}  // namespace

std::string Printable(std::string_view aBytes) {
  static const char KHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(aBytes.size());
  for (size_t i = 0; i < aBytes.size();) {
    const size_t length = PrintableSequence(aBytes, i);
    if (length > 0) {
      out.append(aBytes.substr(i, length));
      i += length;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(aBytes[i]);
    out += "\\x";
    out.push_back(KHex[c >> 4]);
    out.push_back(KHex[c & 15]);
    ++i;
  }
  return out;
}

std::string Printable(CPwStringC aText) { return Printable(PwToUtf8(aText)); }
