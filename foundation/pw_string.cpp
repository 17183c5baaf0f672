#include "foundation/pw_string.h"

#include <cstdlib>
#include <ostream>

#include "foundation/growable_buffer.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_number_text.h"
#include "foundation/string_table.h"
#include "foundation/utf8.h"

namespace {

// Simple case folding for the scripts a user is likely to type: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic.
char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs are even/odd except in 0x139..0x148 and 0x179..0x17E, where they are odd/even.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
      return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return static_cast<char16_t>(c | 1);
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  return c;
}

constexpr int32_t KResourceMax = 2048;

}  // namespace

// ---- CPwStringC ----

int32_t CPwStringC::Find(CPwStringC aText) const {
  const int32_t n = aText.iLength;
  if (n == 0 || n > iLength) return -1;
  const char16_t first = aText.iPtr[0];
  const size_t rest = static_cast<size_t>(n - 1) * 2;
  for (int32_t i = 0, last = iLength - n; i <= last; ++i)
    if (iPtr[i] == first && std::memcmp(iPtr + i + 1, aText.iPtr + 1, rest) == 0) return i;
  return -1;
}

int32_t CPwStringC::Compare(CPwStringC aOther) const {
  const int32_t n = iLength < aOther.iLength ? iLength : aOther.iLength;
  for (int32_t i = 0; i < n; ++i)
    if (iPtr[i] != aOther.iPtr[i]) return static_cast<int32_t>(iPtr[i]) - aOther.iPtr[i];
  return iLength - aOther.iLength;
}

int32_t CPwStringC::CompareNoCase(CPwStringC aOther) const {
  const int32_t n = iLength < aOther.iLength ? iLength : aOther.iLength;
  for (int32_t i = 0; i < n; ++i) {
    const char16_t a = FoldCase(iPtr[i]);
    const char16_t b = FoldCase(aOther.iPtr[i]);
    if (a != b) return static_cast<int32_t>(a) - b;
  }
  return iLength - aOther.iLength;
}

bool CPwStringC::ParseInt(int32_t& aOut) const {
  int64_t v;
  if (!pwtext::ParseInt(iPtr, iLength, v)) return false;
  aOut = pwtext::SaturatedInt32(v);
  return true;
}

bool CPwStringC::ParseInt(int64_t& aOut) const { return pwtext::ParseInt(iPtr, iLength, aOut); }

bool CPwStringC::ParseReal(double& aOut, char16_t aSeparator) const {
  return pwtext::ParseReal(iPtr, iLength, aSeparator, aOut);
}

char16_t* CPwStringC::AllocZ() const {
  char16_t* p = static_cast<char16_t*>(std::malloc((static_cast<size_t>(iLength) + 1) * 2));
  if (!p) return nullptr;
  if (iLength) std::memcpy(p, iPtr, static_cast<size_t>(iLength) * 2);
  p[iLength] = 0;
  return p;
}

char16_t* CPwStringC::AllocZL() const {
  char16_t* p = AllocZ();
  if (!p) Leave(KErrNoMemory);
  return p;
}

bool CPwStringC::CopyToPath(char16_t* aBuffer) const {
  if (iLength >= KPwMaxPath) return false;
  if (iLength) std::memcpy(aBuffer, iPtr, static_cast<size_t>(iLength) * 2);
  aBuffer[iLength] = 0;
  return true;
}

void PrintTo(const CPwStringC& aText, std::ostream* aStream) {
  *aStream << '"' << PwToUtf8(aText) << '"';
}

std::string PwToUtf8(CPwStringC aText) {
  std::string out(static_cast<size_t>(Utf8EncodedLength(aText.Ptr(), aText.Length())), '\0');
  Utf8Encode(aText.Ptr(), aText.Length(), reinterpret_cast<uint8_t*>(out.data()));
  return out;
}

// ---- CPwString ----

CPwString::CPwString(CPwString&& aOther) noexcept : CPwBase(), CPwStringC(static_cast<const char16_t*>(nullptr), 0) {
  pwbuffer::TakeOver(iPtr, iLength, iCapacity, aOther.iPtr, aOther.iLength, aOther.iCapacity);
}

CPwString& CPwString::operator=(CPwString&& aOther) noexcept {
  if (this != &aOther) {
    FreeMem(Buffer());
    pwbuffer::TakeOver(iPtr, iLength, iCapacity, aOther.iPtr, aOther.iLength, aOther.iCapacity);
  }
  return *this;
}

CPwString::~CPwString() { FreeMem(Buffer()); }

CPwString* CPwString::NewL(CPwStringC aText) {
  CPwString* s = new CPwString;
  if (Trap([&] { s->Copy(aText); }) != KErrNone) {
    delete s;
    Leave(KErrNoMemory);
  }
  return s;
}

void CPwString::GrowTo(int32_t aCapacity) { iPtr = pwbuffer::GrowL(Buffer(), iLength, iCapacity, aCapacity); }

void CPwString::GrowForAppend(CPwStringC aText) {
  iPtr = pwbuffer::AppendGrowingL(Buffer(), iLength, iCapacity, aText.Ptr(), aText.Length(), KAppendSlack);
}

void CPwString::ReserveForNumber() {
  // Many numbers appended in a row should not reallocate each time, so growth adds the
  // usual append slack on top of the reserve.
  if (iCapacity - iLength < KNumberReserve) GrowTo(iLength + KNumberReserve + KAppendSlack);
}

void CPwString::CopyRaw(const char16_t* aText, int32_t aLength) {
  if (aLength < 0 || aLength > iCapacity) PanicCore(EPanicCapacity);
  if (aLength) std::memmove(Buffer(), aText, static_cast<size_t>(aLength) * 2);
  iLength = aLength;
}

void CPwString::Copy(CPwStringC aText) {
  if (aText.Length() <= iCapacity) {
    if (aText.Length() > 0) std::memmove(Buffer(), aText.Ptr(), static_cast<size_t>(aText.Length()) * 2);
    iLength = aText.Length();
    return;
  }
  CopyExact(aText);
}

void CPwString::CopyExact(CPwStringC aText) {
  // New buffer first: the old content survives a failure, and aText may point into it.
  iPtr = pwbuffer::CopyExactL(Buffer(), iLength, iCapacity, aText.Ptr(), aText.Length());
}

void CPwString::AppendNum(int64_t aValue, int32_t aWidth) {
  ReserveForNumber();
  pwtext::FormatNum(aValue, aWidth, [this](char c) { AppendChar(static_cast<char16_t>(c)); });
}

void CPwString::AppendReal(double aValue, int32_t aDecimals, char16_t aSeparator, int32_t aWidth,
                           bool aPlus) {
  ReserveForNumber();
  pwtext::FormatReal(aValue, aDecimals, aSeparator, aWidth, aPlus,
                     [this](char32_t c) { AppendChar(static_cast<char16_t>(c)); });
}

void CPwString::AppendHex(uint32_t aValue, int32_t aWidth) {
  ReserveForNumber();
  pwtext::FormatHex(aValue, aWidth, [this](char c) { AppendChar(static_cast<char16_t>(c)); });
}

void CPwString::AppendFromUtf8(const CPwByteArrayC& aBytes) {
  const int32_t n = Utf8DecodedLength(aBytes.Ptr(), aBytes.Length());
  if (n == 0) return;
  if (n > iCapacity - iLength) {
    if (static_cast<int64_t>(iLength) + n + KAppendSlack > INT32_MAX) Leave(KErrNoMemory);
    GrowTo(iLength + n + KAppendSlack);
  }
  iLength += Utf8Decode(aBytes.Ptr(), aBytes.Length(), Buffer() + iLength);
}

void CPwString::AppendFromUtf8(std::string_view aBytes) { AppendFromUtf8(CPwByteArrayC(aBytes)); }

void CPwString::Insert(int32_t aPos, CPwStringC aText) {
  if (aPos < 0 || aPos > iLength) PanicCore(EPanicStringRange);
  const int32_t n = aText.Length();
  if (n == 0) return;
  const char16_t* old = iPtr;
  if (old && aText.Ptr() >= old && aText.Ptr() < old + iCapacity) {
    // Inserting a part of this string: work from a copy.
    CPwString copy(aText);
    Insert(aPos, copy);
    return;
  }
  if (n > iCapacity - iLength) {
    if (static_cast<int64_t>(iLength) + n + KAppendSlack > INT32_MAX) Leave(KErrNoMemory);
    GrowTo(iLength + n + KAppendSlack);
  }
  char16_t* p = Buffer();
  std::memmove(p + aPos + n, p + aPos, static_cast<size_t>(iLength - aPos) * 2);
  std::memcpy(p + aPos, aText.Ptr(), static_cast<size_t>(n) * 2);
  iLength += n;
}

void CPwString::Delete(int32_t aPos, int32_t aCount) {
  if (aPos < 0 || aCount < 0 || aCount > iLength - aPos) PanicCore(EPanicStringRange);
  if (aCount == 0) return;
  char16_t* p = Buffer();
  std::memmove(p + aPos, p + aPos + aCount, static_cast<size_t>(iLength - aPos - aCount) * 2);
  iLength -= aCount;
}

void CPwString::Reset() {
  FreeMem(Buffer());
  iPtr = nullptr;
  iLength = 0;
  iCapacity = 0;
}

void CPwString::Replace(CPwStringC aPlaceholder, CPwStringC aText) {
  const int32_t pos = Find(aPlaceholder);
  if (pos < 0) PanicCore(EPanicPlaceholder);
  // The text may be a view of this string; copy it before the placeholder is cut out.
  if (iPtr && aText.Ptr() >= iPtr && aText.Ptr() < iPtr + iCapacity && aText.Length() > 0) {
    CPwString copy(aText);
    Delete(pos, aPlaceholder.Length());
    Insert(pos, copy);
    return;
  }
  Delete(pos, aPlaceholder.Length());
  Insert(pos, aText);
}

void CPwString::Replace(CPwStringC aPlaceholder, int64_t aNumber) {
  char16_t digits[24];
  int32_t n = 0;
  pwtext::FormatNum(aNumber, 0, [&](char c) { digits[n++] = static_cast<char16_t>(c); });
  Replace(aPlaceholder, CPwStringC(digits, n));
}

void CPwString::LoadFromResource(uint16_t aId) {
  int32_t length = 0;
  const char16_t* text = PwStringTableText(aId, &length);
  if (!text || length < 0) length = 0;
  if (length > KResourceMax) length = KResourceMax;
  Copy(CPwStringC(text, length));
}

void CPwString::FormatN(uint16_t aId, int64_t aN) {
  LoadFromResource(aId);
  Replace(u"%N", aN);
}

void CPwString::FormatNN(uint16_t aId, int64_t aA, int64_t aB) {
  LoadFromResource(aId);
  Replace(u"%0N", aA);
  Replace(u"%1N", aB);
}

void CPwString::FormatU(uint16_t aId, CPwStringC aText) {
  LoadFromResource(aId);
  Replace(u"%U", aText);
}

void CPwString::FormatUU(uint16_t aId, CPwStringC aT0, CPwStringC aT1) {
  LoadFromResource(aId);
  Replace(u"%0U", aT0);
  Replace(u"%1U", aT1);
}

void CPwString::FormatUUU(uint16_t aId, CPwStringC aT0, CPwStringC aT1, CPwStringC aT2) {
  LoadFromResource(aId);
  Replace(u"%0U", aT0);
  Replace(u"%1U", aT1);
  Replace(u"%2U", aT2);
}

void CPwString::FormatUN(uint16_t aId, CPwStringC aText, int64_t aN) {
  LoadFromResource(aId);
  Replace(u"%U", aText);
  Replace(u"%N", aN);
}

void CPwString::FlattenLines() {
  char16_t* p = Buffer();
  int32_t out = 0;
  for (int32_t i = 0; i < iLength; ++i) {
    const char16_t c = p[i];
    if (c == u'\r') continue;
    p[out++] = (c == u'\n' || c == 0x2028 || c == 0x2029) ? u' ' : c;
  }
  iLength = out;
}

CPwString PwStringFromUtf8(std::string_view aText) {
  CPwString s;
  s.AppendFromUtf8(aText);
  return s;
}
