// Reading and writing fixed-width integers in a given byte order from / to raw bytes: the
// stored files are little-endian, some device logs big-endian. The caller checks that the
// bytes are there.
#pragma once

#include <cstdint>

inline uint16_t ReadLittleEndian16(const uint8_t* aBytes) {
  return static_cast<uint16_t>(aBytes[0] | (aBytes[1] << 8));
}

inline uint32_t ReadLittleEndian32(const uint8_t* aBytes) {
  return static_cast<uint32_t>(aBytes[0]) | (static_cast<uint32_t>(aBytes[1]) << 8) |
         (static_cast<uint32_t>(aBytes[2]) << 16) | (static_cast<uint32_t>(aBytes[3]) << 24);
}

inline uint32_t ReadBigEndian16(const uint8_t* aBytes) {
  return (static_cast<uint32_t>(aBytes[0]) << 8) | aBytes[1];
}

inline uint32_t ReadBigEndian24(const uint8_t* aBytes) {
  return (static_cast<uint32_t>(aBytes[0]) << 16) | (static_cast<uint32_t>(aBytes[1]) << 8) | aBytes[2];
}

inline uint32_t ReadBigEndian32(const uint8_t* aBytes) {
  return (static_cast<uint32_t>(aBytes[0]) << 24) | (static_cast<uint32_t>(aBytes[1]) << 16) |
         (static_cast<uint32_t>(aBytes[2]) << 8) | aBytes[3];
}

// The same read as two's-complement values.
inline int32_t ReadLittleEndianSigned32(const uint8_t* aBytes) {
  return static_cast<int32_t>(ReadLittleEndian32(aBytes));
}

inline int32_t ReadBigEndianSigned32(const uint8_t* aBytes) { return static_cast<int32_t>(ReadBigEndian32(aBytes)); }

// The low 16 / 32 bits of aValue into aBytes.
inline void WriteLittleEndian16(uint8_t* aBytes, uint32_t aValue) {
  aBytes[0] = static_cast<uint8_t>(aValue);
  aBytes[1] = static_cast<uint8_t>(aValue >> 8);
}

inline void WriteLittleEndian32(uint8_t* aBytes, uint32_t aValue) {
  WriteLittleEndian16(aBytes, aValue);
  WriteLittleEndian16(aBytes + 2, aValue >> 16);
}
