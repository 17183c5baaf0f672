// The application's string table: every user-visible text, addressed by a 16-bit number. The
// entries are compiled in from data/strings/*.txt; their names live in the generated header
// "strings/pw_strings.h" (enum TPwStringId).
#pragma once

#include <cstdint>

// The text of entry aId (not terminated; aLength receives its length in characters). A missing
// entry gives an empty text of length 0, never null. aLength may be null.
const char16_t* PwStringTableText(uint16_t aId, int32_t* aLength);

// One entry of the compiled table.
struct TPwStringEntry {
  const char16_t* iText;
  int32_t iLength;
};

// The entries of one data/strings/*.txt file. Entry i of block b has the number
// (b + 1) * KPwStringBlockSize + i, so each file numbers its entries on its own.
struct TPwStringBlock {
  const TPwStringEntry* iEntries;
  int32_t iCount;
};

constexpr int32_t KPwStringBlockSize = 1000;

// Provided by the generated table source.
extern const TPwStringBlock KPwStringBlocks[];
extern const int32_t KPwStringBlockCount;
