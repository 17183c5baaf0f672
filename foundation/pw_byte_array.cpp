#include "foundation/pw_byte_array.h"

#include <ostream>

#include "foundation/growable_buffer.h"
#include "foundation/pw_number_text.h"
#include "foundation/utf8.h"

namespace {

inline uint8_t AsciiLower(uint8_t c) { return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c; }

}  // namespace

// ---- CPwByteArrayC ----

int32_t CPwByteArrayC::Find(CPwByteArrayC aBytes) const {
  const int32_t n = aBytes.iLength;
  if (n == 0 || n > iLength) return -1;
  const uint8_t first = aBytes.iPtr[0];
  const uint8_t* p = iPtr;
  const uint8_t* last = iPtr + (iLength - n);
  while (p <= last) {
    p = static_cast<const uint8_t*>(std::memchr(p, first, static_cast<size_t>(last - p) + 1));
    if (!p) return -1;
    if (std::memcmp(p + 1, aBytes.iPtr + 1, static_cast<size_t>(n - 1)) == 0)
      return static_cast<int32_t>(p - iPtr);
    ++p;
  }
  return -1;
}

int32_t CPwByteArrayC::Compare(CPwByteArrayC aOther) const {
  const int32_t n = iLength < aOther.iLength ? iLength : aOther.iLength;
  if (n > 0) {
    const int c = std::memcmp(iPtr, aOther.iPtr, static_cast<size_t>(n));
    if (c) return c;
  }
  return iLength - aOther.iLength;
}

int32_t CPwByteArrayC::CompareNoCase(CPwByteArrayC aOther) const {
  const int32_t n = iLength < aOther.iLength ? iLength : aOther.iLength;
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t a = AsciiLower(iPtr[i]);
    const uint8_t b = AsciiLower(aOther.iPtr[i]);
    if (a != b) return static_cast<int32_t>(a) - b;
  }
  return iLength - aOther.iLength;
}

bool CPwByteArrayC::StartsWithNoCase(CPwByteArrayC aPrefix) const {
  if (aPrefix.iLength > iLength) return false;
  for (int32_t i = 0; i < aPrefix.iLength; ++i)
    if (AsciiLower(iPtr[i]) != AsciiLower(aPrefix.iPtr[i])) return false;
  return true;
}

bool CPwByteArrayC::ParseHex(uint32_t& aOut) const {
  if (iLength <= 0) return false;
  uint32_t v = 0;
  for (int32_t i = 0; i < iLength; ++i) {
    const uint8_t c = iPtr[i];
    uint32_t d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return false;
    if (v > 0x0FFFFFFFu) return false;
    v = (v << 4) | d;
  }
  aOut = v;
  return true;
}

void PrintTo(const CPwByteArrayC& aBytes, std::ostream* aStream) {
  static const char KHex[] = "0123456789ABCDEF";
  *aStream << '"';
  for (int32_t i = 0; i < aBytes.Length(); ++i) {
    const uint8_t c = aBytes.Ptr()[i];
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') *aStream << static_cast<char>(c);
    else *aStream << "\\x" << KHex[c >> 4] << KHex[c & 15];
  }
  *aStream << '"';
}

// ---- CPwByteArray ----

CPwByteArray::CPwByteArray(CPwByteArray&& aOther) noexcept : CPwBase(), CPwByteArrayC(static_cast<const uint8_t*>(nullptr), 0) {
  pwbuffer::TakeOver(iPtr, iLength, iCapacity, aOther.iPtr, aOther.iLength, aOther.iCapacity);
}

CPwByteArray& CPwByteArray::operator=(CPwByteArray&& aOther) noexcept {
  if (this != &aOther) {
    FreeMem(Buffer());
    pwbuffer::TakeOver(iPtr, iLength, iCapacity, aOther.iPtr, aOther.iLength, aOther.iCapacity);
  }
  return *this;
}

CPwByteArray::~CPwByteArray() { FreeMem(Buffer()); }

CPwByteArray* CPwByteArray::NewL(CPwByteArrayC aBytes) {
  CPwByteArray* a = new CPwByteArray;
  if (Trap([&] { a->Copy(aBytes); }) != KErrNone) {
    delete a;
    Leave(KErrNoMemory);
  }
  return a;
}

void CPwByteArray::GrowTo(int32_t aCapacity) { iPtr = pwbuffer::GrowL(Buffer(), iLength, iCapacity, aCapacity); }

void CPwByteArray::GrowForAppend(CPwByteArrayC aBytes) {
  iPtr = pwbuffer::AppendGrowingL(Buffer(), iLength, iCapacity, aBytes.Ptr(), aBytes.Length(), KAppendSlack);
}

void CPwByteArray::ReserveForNumber() {
  // Exports append numbers by the million; adding the append slack keeps them from
  // reallocating on every call.
  if (iCapacity - iLength < KNumberReserve) GrowTo(iLength + KNumberReserve + KAppendSlack);
}

void CPwByteArray::CopyRaw(const void* aBytes, int32_t aLength) {
  if (aLength < 0 || aLength > iCapacity) PanicCore(EPanicCapacity);
  if (aLength) std::memmove(Buffer(), aBytes, static_cast<size_t>(aLength));
  iLength = aLength;
}

void CPwByteArray::Copy(CPwByteArrayC aBytes) {
  const int32_t n = aBytes.Length();
  if (n <= iCapacity) {
    if (n > 0) std::memmove(Buffer(), aBytes.Ptr(), static_cast<size_t>(n));
    iLength = n;
    return;
  }
  iPtr = pwbuffer::CopyExactL(Buffer(), iLength, iCapacity, aBytes.Ptr(), n);
}

void CPwByteArray::AppendNum(int64_t aValue, int32_t aWidth) {
  ReserveForNumber();
  pwtext::FormatNum(aValue, aWidth, [this](char c) { AppendByte(static_cast<uint8_t>(c)); });
}

void CPwByteArray::AppendReal(double aValue, int32_t aDecimals, uint8_t aSeparator, int32_t aWidth,
                              bool aPlus) {
  ReserveForNumber();
  pwtext::FormatReal(aValue, aDecimals, aSeparator, aWidth, aPlus,
                     [this](char32_t c) { AppendByte(static_cast<uint8_t>(c)); });
}

void CPwByteArray::AppendHex(uint32_t aValue, int32_t aWidth) {
  ReserveForNumber();
  pwtext::FormatHex(aValue, aWidth, [this](char c) { AppendByte(static_cast<uint8_t>(c)); });
}

void CPwByteArray::AppendUtf8(CPwStringC aText) {
  const int32_t n = Utf8EncodedLength(aText.Ptr(), aText.Length());
  if (n == 0) return;
  if (n > iCapacity - iLength) {
    if (static_cast<int64_t>(iLength) + n + KAppendSlack > INT32_MAX) Leave(KErrNoMemory);
    GrowTo(iLength + n + KAppendSlack);
  }
  iLength += Utf8Encode(aText.Ptr(), aText.Length(), Buffer() + iLength);
}

void CPwByteArray::AppendCsvQuoted(CPwStringC aText) {
  int32_t quotes = 0;
  for (int32_t i = 0; i < aText.Length(); ++i)
    if (aText.Ptr()[i] == u'"') ++quotes;
  const int32_t start = iLength;
  AppendUtf8(aText);
  if (quotes == 0) return;
  if (quotes > iCapacity - iLength) GrowTo(iLength + quotes + KAppendSlack);
  // Double the quotes in place, from the end backwards.
  uint8_t* p = Buffer();
  int32_t from = iLength - 1;
  int32_t to = iLength + quotes - 1;
  while (from >= start && to > from) {
    p[to--] = p[from];
    if (p[from] == '"') p[to--] = '"';
    --from;
  }
  iLength += quotes;
}

void CPwByteArray::Delete(int32_t aPos, int32_t aCount) {
  if (aPos < 0 || aCount < 0 || aCount > iLength - aPos) PanicCore(EPanicStringRange);
  if (aCount == 0) return;
  uint8_t* p = Buffer();
  std::memmove(p + aPos, p + aPos + aCount, static_cast<size_t>(iLength - aPos - aCount));
  iLength -= aCount;
}

bool CPwByteArray::TakeToken(uint8_t aDelimiter, CPwByteArray& aOut) {
  if (iLength == 0) return false;
  const int32_t end = Find(aDelimiter);
  const int32_t tokenLength = end < 0 ? iLength : end;
  aOut.Copy(Left(tokenLength));
  Delete(0, end < 0 ? iLength : end + 1);
  return true;
}

void CPwByteArray::Reserve(int32_t aCapacity) {
  if (aCapacity > iCapacity) GrowTo(aCapacity);
}

void CPwByteArray::Reset() {
  FreeMem(Buffer());
  iPtr = nullptr;
  iLength = 0;
  iCapacity = 0;
}
