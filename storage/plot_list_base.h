// The interface every sample list shares (positions, one OBD parameter, the data logger), so
// that graphs, exporters and lap computation read any list alike; and the time line rule that
// keeps session times increasing across midnight.
#pragma once

#include <cstdint>

#include "acquisition/channel_id.h"
#include "acquisition/geodesy.h"
#include "foundation/pw_base.h"
#include "foundation/pw_time.h"

class CPlotListBase : public CPwBase {
 public:
  ~CPlotListBase() override = default;

  // Number of samples.
  virtual int32_t Count() const = 0;
  // Session time of sample i; 0 for an index out of range.
  virtual PwTime TimeAt(int32_t aIndex) const = 0;
  // The time searches use; the same as TimeAt in every list.
  virtual PwTime KeyTimeAt(int32_t aIndex) const { return TimeAt(aIndex); }
  // Distance travelled at sample i; lists without positions have none.
  virtual TDistance DistanceAt(int32_t aIndex) const {
    (void)aIndex;
    return TDistance::Invalid();
  }
  // Speed at sample i in m/s; invalid where the list has no speed.
  virtual double SpeedAt(int32_t aIndex) const {
    (void)aIndex;
    return InvalidReal();
  }
  // Number of channels; channel 0 is always time.
  virtual int32_t ChannelCount() const = 0;
  // Writes the value of a channel at sample i and returns 1; 0 when the index is out of range
  // or the channel unknown. A sample that holds no value for the channel gives 1 and the
  // invalid double. Channel 0 is (session time - aBaseTime) in seconds.
  virtual int32_t ChannelValue(int32_t aChannel, int32_t aIndex, PwTime aBaseTime,
                               double& aValue) const = 0;
  // The channel's identifier, 0 for an unknown channel number.
  virtual TChannelId ChannelId(int32_t aChannel) const = 0;

  // The samples around a time: (-1, -1) with fewer than two samples; (0, 0) or (-1, 0) at or
  // before the first; (n-1, -1) after the last; (i, i) on an exact hit; else (i, i + 1).
  void FindByTime(PwTime aTime, int32_t& aLower, int32_t& aUpper) const {
    const int32_t target = aTime.Milliseconds();
    Bracket([this](int32_t i) { return static_cast<double>(KeyTimeAt(i).Milliseconds()); },
            static_cast<double>(target), aLower, aUpper);
  }
  // The same over DistanceAt; (-1, -1) for an invalid distance.
  void FindByDistance(TDistance aDistance, int32_t& aLower, int32_t& aUpper) const {
    if (!aDistance.IsValid()) {
      aLower = aUpper = -1;
      return;
    }
    Bracket([this](int32_t i) { return DistanceAt(i).iValue; }, aDistance.iValue, aLower, aUpper);
  }

  // The last session time placed on this list's time line and the list's day offset.
  PwTime LastTime() const { return iLastTime; }
  PwTime DayOffset() const { return iDayOffset; }

  // Places a GPS time of day on the list's time line (aSessionMax is the largest session time
  // of all lists of the session, updated here). Returns the session time, or unset when the
  // sample repeats or lies up to a minute before the last one; aWrapped tells that a day was
  // added on the way.
  PwTime NormaliseTime(int32_t aTimeOfDay, PwTime& aSessionMax, bool& aWrapped) {
    aWrapped = false;
    if (aTimeOfDay == PwTime::KUnset) return PwTime::Unset();
    const int64_t day = PwTime::KDay;
    const int64_t last = iLastTime.Milliseconds();
    int64_t offset = iDayOffset.Milliseconds();
    int64_t max = aSessionMax.Milliseconds();
    int64_t t = aTimeOfDay + offset;
    if (max < t) max = t;
    // The very first sample of a list cannot repeat anything, even at 00:00:00.000.
    if (iHasTime && last - 60000 < t && t <= last) return PwTime::Unset();
    if (t + 3600000 < max) {  // more than an hour behind the session: midnight passed
      offset += ((max - t - 3600000) / day + 1) * day;
      t = aTimeOfDay + offset;
      if (max < t) max = t;
      aWrapped = true;
    }
    if (iHasTime && t < last) {
      offset += ((last - t) / day + 1) * day;
      t = aTimeOfDay + offset;
      if (max < t) max = t;
      aWrapped = true;
    }
    // A time line longer than 32 bits of milliseconds (about 24 days) cannot be stored.
    if (t < INT32_MIN || t >= PwTime::KUnset || max >= PwTime::KUnset || offset > INT32_MAX) {
      aWrapped = false;
      return PwTime::Unset();
    }
    iDayOffset = PwTime(static_cast<int32_t>(offset));
    aSessionMax = PwTime(static_cast<int32_t>(max));
    iLastTime = PwTime(static_cast<int32_t>(t));
    iHasTime = true;
    return iLastTime;
  }

  // After loading: a non-empty list continues from max(its last time, session maximum) on the
  // day that time falls in, and raises the session maximum to it.
  void ContinueTimeLine(PwTime& aSessionMax) {
    const int32_t n = Count();
    if (n == 0) return;
    PwTime last = TimeAt(n - 1);
    if (last < aSessionMax) last = aSessionMax;
    iLastTime = last;
    aSessionMax = last;
    iDayOffset = PwTime((last.Milliseconds() / PwTime::KDay) * PwTime::KDay);
    iHasTime = true;
  }

  // Forgets the time line (the list is about to be filled anew).
  void ResetTimeLine() {
    iLastTime = PwTime(0);
    iDayOffset = PwTime(0);
    iHasTime = false;
  }

 private:
  // Binary search shared by both finders. A probe that does not compare (an invalid value)
  // counts as above the target, so the search always ends.
  template <class F>
  void Bracket(F aValue, double aTarget, int32_t& aLower, int32_t& aUpper) const {
    const int32_t n = Count();
    aLower = aUpper = -1;
    if (n < 2) return;
    const double first = aValue(0);
    if (aTarget <= first) {
      if (aTarget == first) aLower = 0;
      aUpper = 0;
      return;
    }
    if (aTarget > aValue(n - 1)) {
      aLower = n - 1;
      return;
    }
    int32_t lower = 0;
    int32_t upper = n - 1;
    while (upper - lower > 1) {
      const int32_t probe = upper - lower < 5 ? lower + 1 : lower + (upper - lower) / 2;
      const double v = aValue(probe);
      if (v == aTarget) {
        aLower = aUpper = probe;
        return;
      }
      if (v < aTarget)
        lower = probe;
      else
        upper = probe;
    }
    aLower = lower;
    aUpper = upper;
  }

  PwTime iLastTime{0};
  PwTime iDayOffset{0};
  bool iHasTime = false;
};
