// The growth rules that CPwByteArray and CPwString share: one heap block of elements of T,
// aLength of them in use out of aCapacity. Private to the two classes' implementations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "foundation/pw_base.h"

namespace pwbuffer {

// Moves the block of a buffer being moved from into a fresh one and empties the old.
template <class P>
void TakeOver(P& aPtr, int32_t& aLength, int32_t& aCapacity, P& aFromPtr, int32_t& aFromLength,
              int32_t& aFromCapacity) {
  aPtr = aFromPtr;
  aLength = aFromLength;
  aCapacity = aFromCapacity;
  aFromPtr = nullptr;
  aFromLength = 0;
  aFromCapacity = 0;
}

// Reallocates the block to aWanted elements, never fewer than aLength; the old block stays
// valid when it leaves. Returns the new block. Leaves -2.
template <class T>
T* GrowL(T* aBlock, int32_t aLength, int32_t& aCapacity, int32_t aWanted) {
  if (aWanted < aLength) aWanted = aLength;
  T* block = static_cast<T*>(ReAllocL(aBlock, static_cast<size_t>(aWanted) * sizeof(T)));
  aCapacity = aWanted;
  return block;
}

// Appends aCount elements from aSource, which may lie inside the block that the reallocation
// moves, growing the block with aSlack elements to spare. Returns the block. Leaves -2.
template <class T>
T* AppendGrowingL(T* aBlock, int32_t& aLength, int32_t& aCapacity, const T* aSource, int32_t aCount,
                  int32_t aSlack) {
  const int64_t required = static_cast<int64_t>(aLength) + aCount;
  if (required + aSlack > INT32_MAX) Leave(KErrNoMemory);
  const bool inside = aBlock && aSource >= aBlock && aSource < aBlock + aCapacity;
  const ptrdiff_t offset = inside ? aSource - aBlock : 0;
  aBlock = GrowL(aBlock, aLength, aCapacity, static_cast<int32_t>(required) + aSlack);
  const T* source = inside ? aBlock + offset : aSource;
  std::memcpy(aBlock + aLength, source, static_cast<size_t>(aCount) * sizeof(T));
  aLength = static_cast<int32_t>(required);
  return aBlock;
}

// Replaces the content by aCount elements of aSource in a block of exactly that size, made
// before the old one goes (the old content survives a failure, and aSource may point into it).
// Returns the block. Leaves -2.
template <class T>
T* CopyExactL(T* aBlock, int32_t& aLength, int32_t& aCapacity, const T* aSource, int32_t aCount) {
  T* block = static_cast<T*>(AllocL(static_cast<size_t>(aCount) * sizeof(T)));
  if (aCount) std::memcpy(block, aSource, static_cast<size_t>(aCount) * sizeof(T));
  FreeMem(aBlock);
  aLength = aCount;
  aCapacity = aCount;
  return block;
}

}  // namespace pwbuffer
