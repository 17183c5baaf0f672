// An owning list of wide strings (file names, device names, menu texts).
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CPwStringList : public CPwBase {
 public:
  CPwStringList();
  ~CPwStringList() override;
  CPwStringList(const CPwStringList&) = delete;
  CPwStringList& operator=(const CPwStringList&) = delete;

  int32_t Count() const { return iList.Count(); }
  // The owned string; panic 3 unless 0 <= aIndex < Count.
  CPwString& At(int32_t aIndex) { return *iList.At(aIndex); }
  const CPwString& At(int32_t aIndex) const { return *iList.At(aIndex); }
  // Appends a copy of aText as a new owned string and returns its index; leaves with
  // KErrNoMemory (the list is unchanged).
  int32_t AppendCopy(CPwStringC aText);
  // Deletes the string and closes the gap; panic 3 unless 0 <= aIndex < Count.
  void Remove(int32_t aIndex);
  // True when an entry equals aText exactly (case-sensitive).
  bool Contains(CPwStringC aText) const;
  // Clears, then appends copies of aOther's strings in order.
  void CopyFrom(const CPwStringList& aOther);
  // Deletes all strings.
  void Reset();
  // Heap sort: aFlag 1 sorts A to Z in code-unit order, 0 sorts Z to A.
  void Sort(int aFlag);

 private:
  // Compare(second, first): the list's order is the reverse of the plain comparison.
  static int CompareSwapped(CPwString* const& aFirst, CPwString* const& aSecond);

  CPwVector<CPwString*> iList{8, &CompareSwapped};
};
