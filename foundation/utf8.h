// Strict UTF-8 <-> UTF-16 conversion. Decoding drops every invalid sequence (stray continuation
// bytes, overlong forms, encoded surrogates, values above U+10FFFF, truncated sequences) and
// produces surrogate pairs above U+FFFF; encoding drops unpaired surrogates.
#pragma once

#include <cstdint>

// Number of UTF-16 units the bytes decode to.
int32_t Utf8DecodedLength(const uint8_t* aBytes, int32_t aLength);
// Decodes into aOut (room for Utf8DecodedLength units); returns the units written.
int32_t Utf8Decode(const uint8_t* aBytes, int32_t aLength, char16_t* aOut);
// Number of bytes the UTF-16 text encodes to.
int32_t Utf8EncodedLength(const char16_t* aText, int32_t aLength);
// Encodes into aOut (room for Utf8EncodedLength bytes); returns the bytes written.
int32_t Utf8Encode(const char16_t* aText, int32_t aLength, uint8_t* aOut);
