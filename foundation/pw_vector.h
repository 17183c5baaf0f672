// Containers with fixed growth rules: CPwVector<T>, a contiguous array grown by a granularity,
// and CPwVectorSeg<T>, values kept in fixed-size segments so that appending never moves
// earlier elements (long sample lists). Elements are plain values or non-owned pointers.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "foundation/pw_base.h"

template <class T>
class CPwVector : public CPwBase {
  // The array is moved with ReAllocL and memmove, which only plain records survive.
  static_assert(std::is_trivially_copyable_v<T>, "CPwVector holds trivially copyable values");

 public:
  // Orders two elements: <0, 0 or >0. Used only by Sort.
  using TCompare = int (*)(const T&, const T&);

  // A granularity of 0 or less becomes 1.
  explicit CPwVector(int32_t aGranularity = 8, TCompare aCompare = nullptr)
      : iGranularity(aGranularity > 0 ? aGranularity : 1), iCompare(aCompare) {}
  ~CPwVector() override { FreeMem(iArray); }
  CPwVector(const CPwVector&) = delete;
  CPwVector& operator=(const CPwVector&) = delete;

  int32_t Count() const { return iCount; }
  int32_t Capacity() const { return iCapacity; }
  int32_t Granularity() const { return iGranularity; }
  TCompare Comparison() const { return iCompare; }
  void SetComparison(TCompare aCompare) { iCompare = aCompare; }

  // Panic 3 unless 0 <= aIndex < Count.
  T& At(int32_t aIndex) {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iCount)) PanicCore(EPanicVectorIndex);
    return iArray[aIndex];
  }
  const T& At(int32_t aIndex) const {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iCount)) PanicCore(EPanicVectorIndex);
    return iArray[aIndex];
  }
  T& operator[](int32_t aIndex) { return At(aIndex); }
  const T& operator[](int32_t aIndex) const { return At(aIndex); }

  // Unchecked range access for loops.
  T* begin() { return iArray; }
  T* end() { return iArray + iCount; }
  const T* begin() const { return iArray; }
  const T* end() const { return iArray + iCount; }

  // Appends and returns the index; leaves with KErrNoMemory (the vector is unchanged).
  int32_t Append(const T& aItem) {
    if (iCount == iCapacity) {
      T item = aItem;  // aItem may live in the array that is about to move
      Grow();
      iArray[iCount] = item;
    } else {
      iArray[iCount] = aItem;
    }
    return iCount++;
  }
  // Inserts before aIndex; panic 3 unless 0 <= aIndex <= Count.
  void Insert(const T& aItem, int32_t aIndex) {
    if (aIndex < 0 || aIndex > iCount) PanicCore(EPanicVectorIndex);
    T item = aItem;
    if (iCount == iCapacity) Grow();
    std::memmove(static_cast<void*>(iArray + aIndex + 1), static_cast<const void*>(iArray + aIndex),
                 sizeof(T) * static_cast<size_t>(iCount - aIndex));
    iArray[aIndex] = item;
    ++iCount;
  }
  // Removes the element and closes the gap; panic 3 unless 0 <= aIndex < Count.
  void Remove(int32_t aIndex) {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iCount)) PanicCore(EPanicVectorIndex);
    std::memmove(static_cast<void*>(iArray + aIndex), static_cast<const void*>(iArray + aIndex + 1),
                 sizeof(T) * static_cast<size_t>(iCount - aIndex - 1));
    --iCount;
  }
  // Frees the array: count and capacity 0.
  void Reset() {
    FreeMem(iArray);
    iArray = nullptr;
    iCount = 0;
    iCapacity = 0;
  }

  // Heap sort (not stable). aFlag 0: ascending under the comparison, 1: descending.
  // Panic 4 without a comparison function.
  void Sort(int aFlag = 0) {
    if (!iCompare) PanicCore(EPanicNoCompare);
    if (iCount < 2) return;
    const bool descending = aFlag != 0;
    for (int32_t k = (iCount - 2) / 2; k >= 0; --k) SiftDown(k, iCount - 1, descending);
    for (int32_t i = iCount - 1; i >= 1; --i) {
      Swap(0, i);
      SiftDown(0, i - 1, descending);
    }
  }

 private:
  void Grow() {
    const int64_t capacity = static_cast<int64_t>(iCapacity) + iGranularity;
    if (capacity > INT32_MAX || static_cast<uint64_t>(capacity) > SIZE_MAX / sizeof(T))
      Leave(KErrNoMemory);
    iArray = static_cast<T*>(ReAllocL(iArray, sizeof(T) * static_cast<size_t>(capacity)));
    iCapacity = static_cast<int32_t>(capacity);
  }
  void Swap(int32_t a, int32_t b) {
    T t = iArray[a];
    iArray[a] = iArray[b];
    iArray[b] = t;
  }
  // Max-heap for ascending order, min-heap for descending, over 0..aLast.
  void SiftDown(int32_t aNode, int32_t aLast, bool aDescending) {
    for (;;) {
      int32_t child = 2 * aNode + 1;
      if (child > aLast) return;
      if (child + 1 <= aLast) {
        int c = iCompare(iArray[child + 1], iArray[child]);
        if (aDescending ? c < 0 : c > 0) ++child;
      }
      int c = iCompare(iArray[aNode], iArray[child]);
      if (!(aDescending ? c > 0 : c < 0)) return;
      Swap(aNode, child);
      aNode = child;
    }
  }

  T* iArray = nullptr;
  int32_t iCount = 0;
  int32_t iCapacity = 0;
  int32_t iGranularity = 1;
  TCompare iCompare = nullptr;
};

template <class T>
class CPwVectorSeg : public CPwBase {
  static_assert(std::is_trivially_copyable_v<T>, "CPwVectorSeg holds trivially copyable values");

 public:
  // Elements per segment (2048 for recorded samples, 200 for graph values); at least 1.
  explicit CPwVectorSeg(int32_t aSegmentSize) : iSegmentSize(aSegmentSize > 0 ? aSegmentSize : 1) {}
  ~CPwVectorSeg() override { Reset(); }
  CPwVectorSeg(const CPwVectorSeg&) = delete;
  CPwVectorSeg& operator=(const CPwVectorSeg&) = delete;

  int32_t SegmentSize() const { return iSegmentSize; }
  int32_t Count() const { return iSegments.Count() * iSegmentSize + iCurrentCount; }

  // Panic 3 unless 0 <= aIndex < Count.
  T& At(int32_t aIndex) { return *Locate(aIndex); }
  const T& At(int32_t aIndex) const { return *const_cast<CPwVectorSeg*>(this)->Locate(aIndex); }
  T& operator[](int32_t aIndex) { return At(aIndex); }
  const T& operator[](int32_t aIndex) const { return At(aIndex); }

  // Appends; leaves with KErrNoMemory (the list is unchanged).
  void Append(const T& aValue) {
    if (iCurrent && iCurrentCount == iSegmentSize) {
      iSegments.Append(iCurrent);
      iCurrent = nullptr;
      iCurrentCount = 0;
    }
    if (!iCurrent) {
      iCurrent = static_cast<T*>(AllocL(sizeof(T) * static_cast<size_t>(iSegmentSize)));
      iCurrentCount = 0;
    }
    iCurrent[iCurrentCount++] = aValue;
  }

  // Frees every segment.
  void Reset() {
    for (T* segment : iSegments) FreeMem(segment);
    iSegments.Reset();
    FreeMem(iCurrent);
    iCurrent = nullptr;
    iCurrentCount = 0;
  }

  // Number of segments in use (full ones and the current one) and their contents, for loops
  // that walk long lists without a division per element.
  int32_t SegmentCount() const { return iSegments.Count() + (iCurrent ? 1 : 0); }
  const T* Segment(int32_t aSegment, int32_t& aCount) const {
    if (aSegment == iSegments.Count() && iCurrent) {
      aCount = iCurrentCount;
      return iCurrent;
    }
    aCount = iSegmentSize;
    return iSegments.At(aSegment);
  }

 private:
  T* Locate(int32_t aIndex) {
    if (aIndex < 0 || aIndex >= Count()) PanicCore(EPanicVectorIndex);
    const int32_t segment = aIndex / iSegmentSize;
    const int32_t offset = aIndex % iSegmentSize;
    if (segment == iSegments.Count()) return iCurrent + offset;
    return iSegments.At(segment) + offset;
  }

  int32_t iSegmentSize = 1;
  int32_t iCurrentCount = 0;
  T* iCurrent = nullptr;
  CPwVector<T*> iSegments{32};
};
