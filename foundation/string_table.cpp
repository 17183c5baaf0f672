#include "foundation/string_table.h"

const char16_t* PwStringTableText(uint16_t aId, int32_t* aLength) {
  static const char16_t KEmpty[1] = {0};
  const int32_t block = aId / KPwStringBlockSize - 1;
  const int32_t index = aId % KPwStringBlockSize;
  if (block >= 0 && block < KPwStringBlockCount && index < KPwStringBlocks[block].iCount) {
    const TPwStringEntry& entry = KPwStringBlocks[block].iEntries[index];
    if (aLength) *aLength = entry.iLength;
    return entry.iText;
  }
  if (aLength) *aLength = 0;
  return KEmpty;
}
