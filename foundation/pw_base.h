// Failure conventions shared by every class: leaves (thrown PwLeaveClass), traps that turn a
// leave into its code, panics that end the process, and zero-filled allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

// Leave codes used across the program. Negative codes are program-wide; positive codes
// belong to the operation that raises them.
enum : int32_t {
  KErrNone = 0,
  KErrNoMemory = -2,
  KErrSessionVersion = -3,
  KErrTooLong = -4,
  KErrCorrupt = -5,
  KErrCannotOpen = -8,
  KErrThread = -9,
  KErrUnknown = -10,  // an exception that is neither a leave nor bad_alloc reached a trap
};

// The exception object of a leave.
class PwLeaveClass {
 public:
  explicit PwLeaveClass(int32_t aCode) : iCode(aCode) {}
  int32_t Code() const { return iCode; }

 private:
  int32_t iCode;
};

// Throws PwLeaveClass carrying the code. Never returns.
[[noreturn]] void Leave(int32_t aCode);

// Leaves with the code when it is not KErrNone.
inline void LeaveIfError(int32_t aCode) {
  if (aCode != KErrNone) Leave(aCode);
}

// Ends the process at once with a nonzero exit status after one line on stderr naming the
// category and number ("PwCore 3"). Used for broken invariants only.
[[noreturn]] void Panic(const char* aCategory, int aNumber);

// Panic in the "PwCore" category.
[[noreturn]] inline void PanicCore(int aNumber) { Panic("PwCore", aNumber); }

// Panic codes of the "PwCore" category.
enum {
  EPanicBtAddrIndex = 1,
  EPanicBtAddrLength = 2,
  EPanicVectorIndex = 3,
  EPanicNoCompare = 4,
  EPanicStringRange = 7,
  EPanicCapacity = 8,
  EPanicBrowserPattern = 9,
  EPanicPlaceholder = 11,
};

// Allocates aSize bytes filled with zero; leaves with KErrNoMemory when the heap is exhausted.
void* AllocL(size_t aSize);
// Resizes a block from AllocL/ReAllocL; leaves with KErrNoMemory (the old block stays valid).
void* ReAllocL(void* aPtr, size_t aSize);
// Frees a block from AllocL/ReAllocL (null is allowed).
void FreeMem(void* aPtr);

// Runs aFunc; returns the code of a leave it raised, KErrNone on success, KErrNoMemory for
// bad_alloc and KErrUnknown for any other exception (a trap catches everything, and never
// reports a failure as success).
template <class F>
int32_t Trap(F&& aFunc) {
  try {
    aFunc();
    return KErrNone;
  } catch (const PwLeaveClass& e) {
    return e.Code();
  } catch (const std::bad_alloc&) {
    return KErrNoMemory;
  } catch (...) {
    return KErrUnknown;
  }
}

// Root of every resource-owning class. Objects are created zero-filled through AllocL, so
// members start as 0 or null before the constructor runs; failing allocation leaves with -2.
class CPwBase {
 public:
  CPwBase() = default;
  virtual ~CPwBase();
  CPwBase(const CPwBase&) = delete;
  CPwBase& operator=(const CPwBase&) = delete;

  static void* operator new(size_t aSize) { return AllocL(aSize); }
  static void operator delete(void* aPtr) { FreeMem(aPtr); }
  static void* operator new[](size_t aSize) { return AllocL(aSize); }
  static void operator delete[](void* aPtr) { FreeMem(aPtr); }
};

// Second phase of a two-phase construction for an object whose constructor needs arguments:
// takes ownership of aObject (fresh from new), runs aSecondPhase(aObject) and frees the object
// when that leaves. Leaves.
template <class T, class F>
T* PwConstructL(T* aObject, F&& aSecondPhase) {
  try {
    aSecondPhase(aObject);
  } catch (...) {
    delete aObject;
    throw;
  }
  return aObject;
}

// Two-phase construction: allocates T (zero-filled, leaves -2), runs its non-failing
// constructor, then aObject->ConstructL(args...); a leave in the second phase frees the object.
// Typical use: `static CFoo* NewL(int a) { return PwNewL<CFoo>(a); }` with ConstructL(int).
template <class T, class... A>
T* PwNewL(A&&... aArgs) {
  return PwConstructL(new T(), [&](T* aSelf) { aSelf->ConstructL(std::forward<A>(aArgs)...); });
}

// Appends aItem to aList, which from then on owns aOwned (what aItem holds or is); when the
// append leaves, deletes aOwned and leaves with the same code. Leaves.
template <class L, class V, class O>
void AppendOwnedL(L& aList, const V& aItem, O* aOwned) {
  try {
    aList.Append(aItem);
  } catch (...) {
    delete aOwned;
    throw;
  }
}

// Appends the owned object aObject to aList or deletes it and leaves. Leaves.
template <class L, class O>
void AppendOwnedL(L& aList, O* aObject) {
  AppendOwnedL(aList, aObject, aObject);
}
