#include "foundation/utf8.h"

namespace {

// Decodes one sequence starting at aBytes[aPos]. Returns the code point, or -1 for an invalid
// sequence; aPos always advances past what was consumed. A sequence broken by a wrong byte
// consumes only its valid prefix, so the wrong byte starts the next sequence.
inline int32_t DecodeOne(const uint8_t* aBytes, int32_t aLength, int32_t& aPos) {
  const uint8_t lead = aBytes[aPos++];
  if (lead < 0x80) return lead;
  int32_t more;
  uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  int32_t cp;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;       // overlong
    else if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;        // overlong
    else if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return -1;  // continuation byte, C0/C1 or F5..FF
  }
  for (int32_t i = 0; i < more; ++i) {
    if (aPos >= aLength) return -1;
    const uint8_t b = aBytes[aPos];
    if (b < low || b > high) return -1;
    low = 0x80;
    high = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    ++aPos;
  }
  return cp;
}

}  // namespace

int32_t Utf8DecodedLength(const uint8_t* aBytes, int32_t aLength) {
  int32_t units = 0;
  int32_t pos = 0;
  while (pos < aLength) {
    if (aBytes[pos] < 0x80) {
      ++pos;
      ++units;
      continue;
    }
    const int32_t cp = DecodeOne(aBytes, aLength, pos);
    if (cp >= 0) units += cp > 0xFFFF ? 2 : 1;
  }
  return units;
}

int32_t Utf8Decode(const uint8_t* aBytes, int32_t aLength, char16_t* aOut) {
  char16_t* out = aOut;
  int32_t pos = 0;
  while (pos < aLength) {
    if (aBytes[pos] < 0x80) {
      *out++ = aBytes[pos++];
      continue;
    }
    const int32_t cp = DecodeOne(aBytes, aLength, pos);
    if (cp < 0) continue;
    if (cp > 0xFFFF) {
      *out++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      *out++ = static_cast<char16_t>(cp);
    }
  }
  return static_cast<int32_t>(out - aOut);
}

namespace {

// The code point at aText[aPos] (advancing aPos), or -1 for an unpaired surrogate.
inline int32_t NextCodePoint(const char16_t* aText, int32_t aLength, int32_t& aPos) {
  const char16_t c = aText[aPos++];
  if (c < 0xD800 || c > 0xDFFF) return c;
  if (c >= 0xDC00) return -1;
  if (aPos < aLength && aText[aPos] >= 0xDC00 && aText[aPos] <= 0xDFFF)
    return 0x10000 + ((c - 0xD800) << 10) + (aText[aPos++] - 0xDC00);
  return -1;
}

}  // namespace

int32_t Utf8EncodedLength(const char16_t* aText, int32_t aLength) {
  int32_t bytes = 0;
  int32_t pos = 0;
  while (pos < aLength) {
    const int32_t cp = NextCodePoint(aText, aLength, pos);
    if (cp < 0) continue;
    bytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  }
  return bytes;
}

int32_t Utf8Encode(const char16_t* aText, int32_t aLength, uint8_t* aOut) {
  uint8_t* out = aOut;
  int32_t pos = 0;
  while (pos < aLength) {
    const int32_t cp = NextCodePoint(aText, aLength, pos);
    if (cp < 0) continue;
    if (cp < 0x80) {
      *out++ = static_cast<uint8_t>(cp);
    } else if (cp < 0x800) {
      *out++ = static_cast<uint8_t>(0xC0 | (cp >> 6));
      *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *out++ = static_cast<uint8_t>(0xE0 | (cp >> 12));
      *out++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    } else {
      *out++ = static_cast<uint8_t>(0xF0 | (cp >> 18));
      *out++ = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
      *out++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    }
  }
  return static_cast<int32_t>(out - aOut);
}
