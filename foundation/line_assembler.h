// Cuts a byte stream that arrives in pieces of any size into lines. A line that lies wholly in
// the bytes of one call is handed on where it is; only a line split between calls is copied
// into the buffer, which never grows. A line that does not fit (capacity - 1 bytes before its
// end at the most) is dropped by the overflow policy.
#pragma once

#include <cstdint>
#include <cstring>

#include "foundation/pw_base.h"

class CLineAssembler : public CPwBase {
 public:
  // ELineFeed: every LF ends a line (a CR before it stays in the line). ECrLf: only CR LF ends
  // a line; a lone CR or LF is part of it.
  enum TLineEnd : int32_t { ELineFeed, ECrLf };
  // When the buffer fills without a line end: EDropPartial drops what is buffered and goes on
  // (the rest of the line becomes a line of its own); ESkipToLineEnd drops the whole line.
  enum TOverflow : int32_t { EDropPartial, ESkipToLineEnd };

  // aSpare bytes beyond the capacity stay free behind a buffered line for the caller's use.
  CLineAssembler(int32_t aCapacity, int32_t aSpare, TLineEnd aLineEnd, TOverflow aOverflow)
      : iCapacity(aCapacity), iSpare(aSpare), iLineEnd(aLineEnd), iOverflow(aOverflow) {}
  ~CLineAssembler() override { FreeMem(iBuffer); }
  // Allocates the buffer; leaves KErrNoMemory.
  void ConstructL() { iBuffer = static_cast<uint8_t*>(AllocL(iCapacity + iSpare)); }

  // Forgets the partial line.
  void Reset() {
    iLength = 0;
    iSkipping = false;
  }

  // Hands every complete line of aBytes to aOnLine(const uint8_t* aLine, int32_t aLength,
  // bool aInBuffer): the bytes before the final LF; aInBuffer when they are this object's
  // buffer (capacity + spare bytes, writable), else the caller's. aOnLine returns false to stop
  // after that line. Returns the count of bytes consumed (all of them unless stopped).
  template <class F>
  int32_t Feed(const uint8_t* aBytes, int32_t aCount, F&& aOnLine) {
    if (!aBytes || aCount <= 0) return 0;
    const uint8_t* p = aBytes;
    const uint8_t* const end = aBytes + aCount;
    while (p < end) {
      if (iLength == iCapacity) {
        iLength = 0;
        if (iOverflow == ESkipToLineEnd) iSkipping = true;
      }
      const int32_t room = iCapacity - iLength;
      const int32_t available = end - p > room ? room : static_cast<int32_t>(end - p);
      const uint8_t* lf = FindLineEnd(p, available);
      if (!lf) {
        // The bytes of a buffer that fills up are never read, so they need not be copied.
        if (iLength + available < iCapacity) std::memcpy(iBuffer + iLength, p, static_cast<size_t>(available));
        iLength += available;
        p += available;
        continue;
      }
      const int32_t part = static_cast<int32_t>(lf - p);
      bool more = true;
      if (iSkipping) {
        iSkipping = false;
        iLength = 0;
      } else if (iLength == 0) {
        more = aOnLine(p, part, false);
      } else {
        std::memcpy(iBuffer + iLength, p, static_cast<size_t>(part));
        const int32_t length = iLength + part;
        iLength = 0;
        more = aOnLine(static_cast<const uint8_t*>(iBuffer), length, true);
      }
      p = lf + 1;
      if (!more) break;
    }
    return static_cast<int32_t>(p - aBytes);
  }

  // The buffer, for a caller that rewrites a line handed on in it.
  uint8_t* Buffer() { return iBuffer; }

 private:
  // The LF that ends a line within the first aCount bytes at aFrom, or null.
  const uint8_t* FindLineEnd(const uint8_t* aFrom, int32_t aCount) const {
    const uint8_t* scan = aFrom;
    const uint8_t* const end = aFrom + aCount;
    while (const uint8_t* lf = static_cast<const uint8_t*>(std::memchr(scan, '\n', static_cast<size_t>(end - scan)))) {
      if (iLineEnd == ELineFeed) return lf;
      const bool afterCr = lf > aFrom ? lf[-1] == '\r' : iLength > 0 && iBuffer[iLength - 1] == '\r';
      if (afterCr) return lf;
      scan = lf + 1;
    }
    return nullptr;
  }

  const int32_t iCapacity;
  const int32_t iSpare;
  const TLineEnd iLineEnd;
  const TOverflow iOverflow;
  uint8_t* iBuffer = nullptr;
  int32_t iLength = 0;  // bytes of the partial line
  bool iSkipping = false;
};
