// A Bluetooth device address: six bytes in stored order, copied by value.
#pragma once

#include <cstdint>
#include <cstring>

#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"

struct TPwBtAddr {
  static constexpr int32_t KLength = 6;

  TPwBtAddr() = default;
  // Panic 2 unless aBytes has exactly six bytes.
  explicit TPwBtAddr(CPwByteArrayC aBytes) {
    if (aBytes.Length() != KLength) PanicCore(EPanicBtAddrLength);
    std::memcpy(iBytes, aBytes.Ptr(), KLength);
  }

  // Panic 1 unless 0 <= aIndex <= 5.
  uint8_t& operator[](int32_t aIndex) {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(KLength)) PanicCore(EPanicBtAddrIndex);
    return iBytes[aIndex];
  }
  uint8_t operator[](int32_t aIndex) const {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(KLength)) PanicCore(EPanicBtAddrIndex);
    return iBytes[aIndex];
  }
  uint8_t At(int32_t aIndex) const { return (*this)[aIndex]; }

  // The six bytes as a view (for streams).
  CPwByteArrayC Des() const { return CPwByteArrayC(iBytes, KLength); }

  // An address is set when any byte is nonzero.
  bool IsSet() const {
    for (uint8_t b : iBytes)
      if (b) return true;
    return false;
  }
  void Reset() { std::memset(iBytes, 0, sizeof iBytes); }

  // Appends "XX:XX:XX:XX:XX:XX" (upper-case hexadecimal, stored order).
  void AppendText(CPwString& aText) const {
    for (int32_t i = 0; i < KLength; ++i) {
      if (i) aText.AppendChar(u':');
      aText.AppendHex(iBytes[i], 2);
    }
  }

  friend bool operator==(const TPwBtAddr& a, const TPwBtAddr& b) {
    return std::memcmp(a.iBytes, b.iBytes, KLength) == 0;
  }

  uint8_t iBytes[KLength] = {0, 0, 0, 0, 0, 0};
};
