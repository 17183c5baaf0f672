#include "storage/channel_list.h"

int32_t CChannelList::IndexOf(TChannelId aId) const {
  for (int32_t i = 0; i < iIds.Count(); ++i)
    if (iIds.At(i) == aId) return i;
  return -1;
}

void CChannelList::Add(TChannelId aId) {
  if (!Contains(aId)) iIds.Append(aId);
}

void CChannelList::Remove(TChannelId aId) {
  const int32_t index = IndexOf(aId);
  if (index >= 0) iIds.Remove(index);
}

void CChannelList::Set(TChannelId aId, bool aOn) {
  if (aOn)
    Add(aId);
  else
    Remove(aId);
}

void CChannelList::CopyFrom(const CChannelList& aOther) {
  if (&aOther == this) return;
  iIds.Reset();
  for (TChannelId id : aOther) iIds.Append(id);
}

bool CChannelList::Equals(const CChannelList& aOther) const {
  if (Count() != aOther.Count()) return false;
  for (int32_t i = 0; i < Count(); ++i)
    if (At(i) != aOther.At(i)) return false;
  return true;
}
