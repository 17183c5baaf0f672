// A small set of channel identifiers kept in insertion order: the OBD polling sets of the
// settings and the visible channels of each graph kind. The order matters because graph
// colours are handed out by position.
#pragma once

#include <cstdint>

#include "acquisition/channel_id.h"
#include "foundation/pw_base.h"
#include "foundation/pw_vector.h"

class CChannelList : public CPwBase {
 public:
  CChannelList() = default;

  int32_t Count() const { return iIds.Count(); }
  // Panic 3 unless 0 <= aIndex < Count.
  TChannelId At(int32_t aIndex) const { return iIds.At(aIndex); }
  // Position of the identifier, -1 when absent.
  int32_t IndexOf(TChannelId aId) const;
  bool Contains(TChannelId aId) const { return IndexOf(aId) >= 0; }

  // Adds the identifier at the end unless it is already present.
  void Add(TChannelId aId);
  // Removes the first occurrence (there is never more than one through Add).
  void Remove(TChannelId aId);
  // Adds (aOn) or removes the identifier.
  void Set(TChannelId aId, bool aOn);
  // Becomes a copy of aOther, in its order.
  void CopyFrom(const CChannelList& aOther);
  void Reset() { iIds.Reset(); }

  bool Equals(const CChannelList& aOther) const;

  const TChannelId* begin() const { return iIds.begin(); }
  const TChannelId* end() const { return iIds.end(); }

 private:
  CPwVector<TChannelId> iIds{8};
};
