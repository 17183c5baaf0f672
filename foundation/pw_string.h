// Wide (UTF-16) text: CPwStringC is a non-owning view (pointer + length, no terminator needed),
// CPwString the owning, growable string. Out-of-range access panics with PwCore 7; failed growth
// leaves with KErrNoMemory and keeps the previous content.
#pragma once

#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string>
#include <string_view>

#include "foundation/pw_base.h"

class CPwByteArrayC;

// Size of an operating-system path buffer in characters, terminator included.
constexpr int32_t KPwMaxPath = 260;

// Non-owning view of wide text. A plain value, freely copied.
class CPwStringC {
 public:
  constexpr CPwStringC() = default;
  constexpr CPwStringC(const char16_t* aPtr, int32_t aLength) : iPtr(aPtr), iLength(aLength) {}
  // From a u"..." literal (or a zero-terminated array): the text up to the first zero.
  template <size_t N>
  constexpr CPwStringC(const char16_t (&aText)[N]) : iPtr(aText), iLength(TerminatedLength(aText, N)) {}
  constexpr CPwStringC(std::u16string_view aText)
      : iPtr(aText.data()), iLength(static_cast<int32_t>(aText.size())) {}

  constexpr int32_t Length() const { return iLength; }
  constexpr bool IsEmpty() const { return iLength == 0; }
  constexpr const char16_t* Ptr() const { return iPtr; }
  constexpr std::u16string_view View() const {
    return std::u16string_view(iPtr, static_cast<size_t>(iLength));
  }

  // The character at aIndex; panic 7 unless 0 <= aIndex < Length.
  char16_t CharAt(int32_t aIndex) const {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iLength)) PanicCore(EPanicStringRange);
    return iPtr[aIndex];
  }
  // Views into the same text; panic 7 when the range passes the end.
  CPwStringC Left(int32_t aCount) const {
    if (aCount < 0 || aCount > iLength) PanicCore(EPanicStringRange);
    return CPwStringC(iPtr, aCount);
  }
  CPwStringC Mid(int32_t aPos, int32_t aCount) const {
    if (aPos < 0 || aCount < 0 || aCount > iLength - aPos) PanicCore(EPanicStringRange);
    return CPwStringC(iPtr + aPos, aCount);
  }
  CPwStringC Mid(int32_t aPos) const {
    if (aPos < 0 || aPos > iLength) PanicCore(EPanicStringRange);
    return CPwStringC(iPtr + aPos, iLength - aPos);
  }

  // First / last index of a character, or -1.
  int32_t Find(char16_t aChar) const {
    for (int32_t i = 0; i < iLength; ++i)
      if (iPtr[i] == aChar) return i;
    return -1;
  }
  int32_t FindLast(char16_t aChar) const {
    for (int32_t i = iLength - 1; i >= 0; --i)
      if (iPtr[i] == aChar) return i;
    return -1;
  }
  // First index of a substring, or -1 (an empty needle gives -1).
  int32_t Find(CPwStringC aText) const;

  // Code-unit order over the common prefix, then the shorter is smaller: <0, 0 or >0.
  int32_t Compare(CPwStringC aOther) const;
  // As Compare with the prefix compared case-insensitively.
  int32_t CompareNoCase(CPwStringC aOther) const;

  // Decimal integer with an optional leading sign; stops at the first other character.
  // Returns false (aOut unchanged) when no digit was seen. Values beyond the range of the
  // output saturate at its limit.
  bool ParseInt(int32_t& aOut) const;
  bool ParseInt(int64_t& aOut) const;
  // As ParseInt with one decimal separator (aSeparator, '.' or ',').
  bool ParseReal(double& aOut, char16_t aSeparator = u'.') const;

  // Heap copy with a terminating zero (free it with FreeMem); null when memory is short.
  char16_t* AllocZ() const;
  // As AllocZ, leaving with KErrNoMemory instead of returning null.
  char16_t* AllocZL() const;
  // Copies with terminator into a KPwMaxPath-character buffer when Length < KPwMaxPath;
  // otherwise leaves the buffer untouched and returns false.
  bool CopyToPath(char16_t* aBuffer) const;

  // Content equality (same length and code units).
  bool Equals(CPwStringC aOther) const {
    return iLength == aOther.iLength &&
           (iLength == 0 || std::memcmp(iPtr, aOther.iPtr, static_cast<size_t>(iLength) * 2) == 0);
  }
  friend bool operator==(CPwStringC a, CPwStringC b) { return a.Equals(b); }

 protected:
  static constexpr int32_t TerminatedLength(const char16_t* aText, size_t aMax) {
    size_t n = 0;
    while (n + 1 < aMax && aText[n] != 0) ++n;
    return static_cast<int32_t>(n);
  }

  const char16_t* iPtr = nullptr;
  int32_t iLength = 0;
};

// Lets GoogleTest and debug output show views as UTF-8.
void PrintTo(const CPwStringC& aText, std::ostream* aStream);

// The UTF-8 form of wide text (unpaired surrogates are dropped).
std::string PwToUtf8(CPwStringC aText);

// Owning wide string. Usable on the heap (two-phase, zero-filled) and by value as a member.
class CPwString : public CPwBase, public CPwStringC {
 public:
  CPwString() = default;
  // Copies aText; leaves with KErrNoMemory.
  explicit CPwString(CPwStringC aText) { Copy(aText); }
  CPwString(CPwString&& aOther) noexcept;
  CPwString& operator=(CPwString&& aOther) noexcept;
  CPwString(const CPwString&) = delete;
  CPwString& operator=(const CPwString&) = delete;
  ~CPwString() override;

  // A heap string holding a copy of aText.
  static CPwString* NewL(CPwStringC aText = CPwStringC());

  int32_t Capacity() const { return iCapacity; }
  // Writable buffer of Capacity characters (null while there is none).
  char16_t* Buffer() { return const_cast<char16_t*>(iPtr); }
  // Sets the length after writing into Buffer(); panic 8 unless 0 <= aLength <= Capacity.
  void SetLength(int32_t aLength) {
    if (aLength < 0 || aLength > iCapacity) PanicCore(EPanicCapacity);
    iLength = aLength;
  }
  // Raw copy of aLength characters into the existing buffer; panic 8 when it is too small.
  void CopyRaw(const char16_t* aText, int32_t aLength);

  // Replaces the content; when the capacity is too small the buffer is replaced by one of
  // exactly the new length. CopyExact always reallocates to exactly the new length.
  void Copy(CPwStringC aText);
  void CopyExact(CPwStringC aText);

  // Appends; when the result does not fit, the capacity becomes required length + 128.
  void Append(CPwStringC aText) {
    if (aText.Length() > iCapacity - iLength) {
      GrowForAppend(aText);
      return;
    }
    if (aText.Length() > 0)
      std::memmove(Buffer() + iLength, aText.Ptr(), static_cast<size_t>(aText.Length()) * 2);
    iLength += aText.Length();
  }
  void AppendChar(char16_t aChar) {
    if (iLength == iCapacity) GrowTo(iLength + 1 + KAppendSlack);
    Buffer()[iLength++] = aChar;
  }
  // Decimal, zero-padded to aWidth characters (a minus sign counts); width 0: no padding.
  void AppendNum(int64_t aValue, int32_t aWidth = 0);
  // Fixed-point form with aDecimals decimals, rounded half up; zero-padded so the whole
  // number reaches aWidth; '+' before non-negative values when aPlus; "NaN" for not-a-number.
  void AppendReal(double aValue, int32_t aDecimals, char16_t aSeparator = u'.', int32_t aWidth = 0,
                  bool aPlus = false);
  // Upper-case hexadecimal, zero-padded to aWidth.
  void AppendHex(uint32_t aValue, int32_t aWidth = 0);
  // Appends the decoded UTF-8 text; invalid sequences append nothing.
  void AppendFromUtf8(const CPwByteArrayC& aBytes);
  void AppendFromUtf8(std::string_view aBytes);

  // Inserts at aPos; panic 7 unless 0 <= aPos <= Length.
  void Insert(int32_t aPos, CPwStringC aText);
  // Removes aCount characters from aPos; panic 7 unless the range lies inside the text.
  void Delete(int32_t aPos, int32_t aCount);
  // Panic 7 unless 0 <= aIndex < Length.
  void SetCharAt(int32_t aIndex, char16_t aChar) {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iLength)) PanicCore(EPanicStringRange);
    Buffer()[aIndex] = aChar;
  }
  // Frees the buffer: length and capacity 0.
  void Reset();

  // Replaces the first occurrence of aPlaceholder by aText (or the decimal form of aNumber);
  // panic 11 when the placeholder is missing.
  void Replace(CPwStringC aPlaceholder, CPwStringC aText);
  void Replace(CPwStringC aPlaceholder, int64_t aNumber);

  // Replaces the content by string-table entry aId (cut at 2048 characters; a missing entry
  // gives the empty text).
  void LoadFromResource(uint16_t aId);
  // Load entry aId, then fill its placeholders in the order given.
  void FormatN(uint16_t aId, int64_t aN);                            // %N
  void FormatNN(uint16_t aId, int64_t aA, int64_t aB);               // %0N, %1N
  void FormatU(uint16_t aId, CPwStringC aText);                      // %U
  void FormatUU(uint16_t aId, CPwStringC aT0, CPwStringC aT1);       // %0U, %1U
  void FormatUUU(uint16_t aId, CPwStringC aT0, CPwStringC aT1, CPwStringC aT2);  // %0U..%2U
  void FormatUN(uint16_t aId, CPwStringC aText, int64_t aN);         // %U, %N

  // Line feeds, U+2028 and U+2029 become spaces; carriage returns are removed.
  void FlattenLines();

  // Slack added whenever an append has to grow the buffer.
  static constexpr int32_t KAppendSlack = 128;
  // Room reserved before a number is appended.
  static constexpr int32_t KNumberReserve = 64;

 private:
  // Reallocates to exactly aCapacity characters (never below the current length).
  void GrowTo(int32_t aCapacity);
  // Grows by the append rule, copes with aText pointing into this string, then appends.
  void GrowForAppend(CPwStringC aText);
  // Makes room for aCount more characters by the number-append rule.
  void ReserveForNumber();

  int32_t iCapacity = 0;
};

// A string holding the decoded UTF-8 text (tests, platform layer).
CPwString PwStringFromUtf8(std::string_view aText);
