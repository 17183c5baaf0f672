// 8-bit data (file and wire bytes, UTF-8 text): CPwByteArrayC is a non-owning view,
// CPwByteArray the owning, growable buffer. The scanning and parsing operations sit under the
// NMEA parser and the file loaders, so the hot ones are inline.
#pragma once

#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string>
#include <string_view>

#include "foundation/pw_base.h"
#include "foundation/pw_number_text.h"
#include "foundation/pw_string.h"

// Non-owning view of bytes. A plain value, freely copied.
class CPwByteArrayC {
 public:
  constexpr CPwByteArrayC() = default;
  CPwByteArrayC(const void* aPtr, int32_t aLength)
      : iPtr(static_cast<const uint8_t*>(aPtr)), iLength(aLength) {}
  constexpr CPwByteArrayC(const uint8_t* aPtr, int32_t aLength) : iPtr(aPtr), iLength(aLength) {}
  // From a "..." literal: all its bytes but the terminator (embedded zeros included, so golden
  // bytes can be written as literals; pass a length for zero-terminated buffers).
  template <size_t N>
  CPwByteArrayC(const char (&aText)[N])
      : iPtr(reinterpret_cast<const uint8_t*>(aText)), iLength(static_cast<int32_t>(N - 1)) {}
  CPwByteArrayC(std::string_view aText)
      : iPtr(reinterpret_cast<const uint8_t*>(aText.data())), iLength(static_cast<int32_t>(aText.size())) {}

  int32_t Length() const { return iLength; }
  bool IsEmpty() const { return iLength == 0; }
  const uint8_t* Ptr() const { return iPtr; }
  std::string_view View() const {
    return std::string_view(reinterpret_cast<const char*>(iPtr), static_cast<size_t>(iLength));
  }

  // The byte at aIndex; panic 7 unless 0 <= aIndex < Length.
  uint8_t ByteAt(int32_t aIndex) const {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iLength)) PanicCore(EPanicStringRange);
    return iPtr[aIndex];
  }
  // Views into the same bytes; panic 7 when the range passes the end.
  CPwByteArrayC Left(int32_t aCount) const {
    if (aCount < 0 || aCount > iLength) PanicCore(EPanicStringRange);
    return CPwByteArrayC(iPtr, aCount);
  }
  CPwByteArrayC Mid(int32_t aPos, int32_t aCount) const {
    if (aPos < 0 || aCount < 0 || aCount > iLength - aPos) PanicCore(EPanicStringRange);
    return CPwByteArrayC(iPtr + aPos, aCount);
  }
  CPwByteArrayC Mid(int32_t aPos) const {
    if (aPos < 0 || aPos > iLength) PanicCore(EPanicStringRange);
    return CPwByteArrayC(iPtr + aPos, iLength - aPos);
  }

  // First index of a byte, or -1.
  int32_t Find(uint8_t aByte) const {
    if (iLength <= 0) return -1;
    const void* p = std::memchr(iPtr, aByte, static_cast<size_t>(iLength));
    return p ? static_cast<int32_t>(static_cast<const uint8_t*>(p) - iPtr) : -1;
  }
  // First index at or after aFrom, or -1; panic 7 unless 0 <= aFrom <= Length.
  int32_t Find(uint8_t aByte, int32_t aFrom) const {
    if (aFrom < 0 || aFrom > iLength) PanicCore(EPanicStringRange);
    if (aFrom == iLength) return -1;
    const void* p = std::memchr(iPtr + aFrom, aByte, static_cast<size_t>(iLength - aFrom));
    return p ? static_cast<int32_t>(static_cast<const uint8_t*>(p) - iPtr) : -1;
  }
  // First index of a byte sequence, or -1 (an empty needle gives -1).
  int32_t Find(CPwByteArrayC aBytes) const;

  // Byte order over the common prefix, then the shorter is smaller: <0, 0 or >0.
  int32_t Compare(CPwByteArrayC aOther) const;
  // As Compare with ASCII letters compared case-insensitively.
  int32_t CompareNoCase(CPwByteArrayC aOther) const;
  // True when the bytes start with aPrefix, ASCII case ignored (a shorter text never matches).
  bool StartsWithNoCase(CPwByteArrayC aPrefix) const;

  // Index of the first "\r\n" or lone "\n", whichever comes first, with aTerminatorLength 2 or
  // 1; -1 and 0 when there is none.
  int32_t FindLineEnd(int32_t& aTerminatorLength) const {
    int32_t i = Find(static_cast<uint8_t>('\n'));
    if (i < 0) {
      aTerminatorLength = 0;
      return -1;
    }
    if (i > 0 && iPtr[i - 1] == '\r') {
      aTerminatorLength = 2;
      return i - 1;
    }
    aTerminatorLength = 1;
    return i;
  }

  // Decimal integer with an optional leading sign; stops at the first other byte. Returns
  // false (aOut unchanged) when no digit was seen. Values beyond the output range saturate.
  bool ParseInt(int32_t& aOut) const {
    int64_t v;
    if (!pwtext::ParseInt(iPtr, iLength, v)) return false;
    aOut = pwtext::SaturatedInt32(v);
    return true;
  }
  bool ParseInt(int64_t& aOut) const { return pwtext::ParseInt(iPtr, iLength, aOut); }
  // As ParseInt with one decimal separator ('.' or ','); a second separator ends the scan.
  bool ParseReal(double& aOut, uint8_t aSeparator = '.') const {
    return pwtext::ParseReal(iPtr, iLength, aSeparator, aOut);
  }
  // Hexadecimal digits 0-9, A-F, a-f only; any other byte, empty text or a value beyond
  // 32 bits fails (aOut unchanged).
  bool ParseHex(uint32_t& aOut) const;

  bool Equals(CPwByteArrayC aOther) const {
    return iLength == aOther.iLength &&
           (iLength == 0 || std::memcmp(iPtr, aOther.iPtr, static_cast<size_t>(iLength)) == 0);
  }
  friend bool operator==(CPwByteArrayC a, CPwByteArrayC b) { return a.Equals(b); }

 protected:
  const uint8_t* iPtr = nullptr;
  int32_t iLength = 0;
};

// Lets GoogleTest show byte views (printable ASCII as is, other bytes as \xNN).
void PrintTo(const CPwByteArrayC& aBytes, std::ostream* aStream);

// Owning byte buffer; mirrors CPwString's growth rules.
class CPwByteArray : public CPwBase, public CPwByteArrayC {
 public:
  CPwByteArray() = default;
  // Copies aBytes; leaves with KErrNoMemory.
  explicit CPwByteArray(CPwByteArrayC aBytes) { Copy(aBytes); }
  CPwByteArray(CPwByteArray&& aOther) noexcept;
  CPwByteArray& operator=(CPwByteArray&& aOther) noexcept;
  CPwByteArray(const CPwByteArray&) = delete;
  CPwByteArray& operator=(const CPwByteArray&) = delete;
  ~CPwByteArray() override;

  static CPwByteArray* NewL(CPwByteArrayC aBytes = CPwByteArrayC());

  int32_t Capacity() const { return iCapacity; }
  // Writable buffer of Capacity bytes (null while there is none), e.g. to read a file into.
  uint8_t* Buffer() { return const_cast<uint8_t*>(iPtr); }
  // Sets the length after writing into Buffer(); panic 8 unless 0 <= aLength <= Capacity.
  void SetLength(int32_t aLength) {
    if (aLength < 0 || aLength > iCapacity) PanicCore(EPanicCapacity);
    iLength = aLength;
  }
  // Raw copy of aLength bytes into the existing buffer; panic 8 when it is too small.
  void CopyRaw(const void* aBytes, int32_t aLength);

  // Replaces the content; when the capacity is too small the buffer is replaced by one of
  // exactly the new length.
  void Copy(CPwByteArrayC aBytes);
  // Appends; when the result does not fit, the capacity becomes required length + 128.
  void Append(CPwByteArrayC aBytes) {
    if (aBytes.Length() > iCapacity - iLength) {
      GrowForAppend(aBytes);
      return;
    }
    if (aBytes.Length() > 0)
      std::memmove(Buffer() + iLength, aBytes.Ptr(), static_cast<size_t>(aBytes.Length()));
    iLength += aBytes.Length();
  }
  void Append(const void* aBytes, int32_t aLength) { Append(CPwByteArrayC(aBytes, aLength)); }
  void AppendByte(uint8_t aByte) {
    if (iLength == iCapacity) GrowTo(iLength + 1 + KAppendSlack);
    Buffer()[iLength++] = aByte;
  }
  // Decimal, zero-padded to aWidth bytes (a minus sign counts); width 0: no padding.
  void AppendNum(int64_t aValue, int32_t aWidth = 0);
  // Same rules as CPwString::AppendReal.
  void AppendReal(double aValue, int32_t aDecimals, uint8_t aSeparator = '.', int32_t aWidth = 0,
                  bool aPlus = false);
  // Upper-case hexadecimal ("%X"), zero-padded to aWidth.
  void AppendHex(uint32_t aValue, int32_t aWidth = 0);
  // Appends the UTF-8 form of wide text (unpaired surrogates are dropped).
  void AppendUtf8(CPwStringC aText);
  // Appends the UTF-8 form with every '"' doubled; the caller writes the surrounding quotes.
  void AppendCsvQuoted(CPwStringC aText);

  // Removes aCount bytes from aPos; panic 7 unless the range lies inside the bytes.
  void Delete(int32_t aPos, int32_t aCount);
  // Moves the bytes before the first aDelimiter into aOut (replacing its content) and removes
  // them and the delimiter from this array; without a delimiter everything moves. Returns
  // false (aOut untouched) when this array is empty.
  bool TakeToken(uint8_t aDelimiter, CPwByteArray& aOut);
  // Grows the buffer to exactly aCapacity bytes when it is smaller.
  void Reserve(int32_t aCapacity);
  // Frees the buffer: length and capacity 0.
  void Reset();

  static constexpr int32_t KAppendSlack = 128;
  static constexpr int32_t KNumberReserve = 64;

 private:
  void GrowTo(int32_t aCapacity);
  void GrowForAppend(CPwByteArrayC aBytes);
  void ReserveForNumber();

  int32_t iCapacity = 0;
};
