#include "storage/resume_list.h"

PwDateTime CResumeList::DateTimeAt(PwTime aSessionTime) const {
  const TResumeItem* found = nullptr;
  for (const TResumeItem& item : iItems) {
    if (item.iSessionTime > aSessionTime) break;
    found = &item;
  }
  PwDateTime result;
  if (!found || !found->iDate.IsSet() || !found->iTime.IsSet()) return result;
  PwDateTime at(found->iDate, found->iTime);
  if (!at.AddMilliseconds((aSessionTime - found->iSessionTime).Milliseconds())) return result;
  return at;
}
