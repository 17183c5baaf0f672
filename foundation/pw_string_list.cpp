#include "foundation/pw_string_list.h"

CPwStringList::CPwStringList() = default;

CPwStringList::~CPwStringList() { Reset(); }

int CPwStringList::CompareSwapped(CPwString* const& aFirst, CPwString* const& aSecond) {
  return aSecond->Compare(*aFirst);
}

int32_t CPwStringList::AppendCopy(CPwStringC aText) {
  CPwString* s = CPwString::NewL(aText);
  int32_t index = -1;
  const int32_t code = Trap([&] { index = iList.Append(s); });
  if (code != KErrNone) {
    delete s;
    Leave(code);
  }
  return index;
}

void CPwStringList::Remove(int32_t aIndex) {
  CPwString* s = iList.At(aIndex);
  iList.Remove(aIndex);
  delete s;
}

bool CPwStringList::Contains(CPwStringC aText) const {
  for (const CPwString* s : iList)
    if (s->Equals(aText)) return true;
  return false;
}

void CPwStringList::CopyFrom(const CPwStringList& aOther) {
  if (&aOther == this) return;
  Reset();
  for (const CPwString* s : aOther.iList) AppendCopy(*s);
}

void CPwStringList::Reset() {
  for (CPwString* s : iList) delete s;
  iList.Reset();
}

void CPwStringList::Sort(int aFlag) {
  // The comparison is swapped, so the vector's descending order is A to Z.
  iList.Sort(aFlag ? 1 : 0);
}
