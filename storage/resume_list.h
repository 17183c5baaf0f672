// The table that ties session time to calendar time: each item says which UTC date and time
// of day held at a session time (written when recording starts, resumes or crosses midnight).
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"

struct TResumeItem {
  PwTime iDate;         // date code
  PwTime iTime;         // UTC time of day, ms
  PwTime iSessionTime;  // session time at which that date and time held
};
static_assert(sizeof(TResumeItem) == 12, "TResumeItem is 12 bytes");

class CResumeList : public CPwBase {
 public:
  static constexpr int32_t KGranularity = 8;

  CResumeList() = default;
  ~CResumeList() override = default;

  // Leaves KErrNoMemory.
  void Add(PwTime aSessionTime, PwTime aDate, PwTime aTime) {
    iItems.Append(TResumeItem{aDate, aTime, aSessionTime});
  }
  int32_t Count() const { return iItems.Count(); }
  const TResumeItem& At(int32_t aIndex) const { return iItems.At(aIndex); }

  // UTC date and time at a session time, from the last item (in list order, up to the first
  // later one) that is not later; unset when there is none or its date and time are unset.
  PwDateTime DateTimeAt(PwTime aSessionTime) const;

  void Reset() { iItems.Reset(); }

 private:
  CPwVector<TResumeItem> iItems{KGranularity};
};
