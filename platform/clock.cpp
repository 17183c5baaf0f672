#include "platform/clock.h"

#include <time.h>

namespace pwplat {

namespace {

// Floor division, so that instants before 1970 split into seconds and milliseconds correctly.
int64_t FloorDiv(int64_t aValue, int64_t aDivisor) {
  int64_t q = aValue / aDivisor;
  if ((aValue % aDivisor) != 0 && ((aValue < 0) != (aDivisor < 0))) --q;
  return q;
}

bool OffsetAt(int64_t aUtcSeconds, int64_t* aOffset) {
  time_t t = static_cast<time_t>(aUtcSeconds);
  if (static_cast<int64_t>(t) != aUtcSeconds) return false;
  struct tm parts;
  if (localtime_r(&t, &parts) == nullptr) return false;
  *aOffset = parts.tm_gmtoff;
  return true;
}

}  // namespace

int64_t ClockUtcNowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool ClockUtcOffsetSeconds(int64_t aUtcMs, int32_t* aOffset) {
  // localtime_r need not notice a changed TZ by itself; tzset makes it re-read the variable.
  tzset();
  int64_t offset = 0;
  if (!OffsetAt(FloorDiv(aUtcMs, 1000), &offset)) return false;
  *aOffset = static_cast<int32_t>(offset);
  return true;
}

bool ClockUtcToLocalMs(int64_t aUtcMs, int64_t* aLocalMs) {
  int32_t offset = 0;
  if (!ClockUtcOffsetSeconds(aUtcMs, &offset)) return false;
  *aLocalMs = aUtcMs + static_cast<int64_t>(offset) * 1000;
  return true;
}

bool ClockLocalToUtcMs(int64_t aLocalMs, int64_t* aUtcMs) {
  tzset();
  const int64_t seconds = FloorDiv(aLocalMs, 1000);
  const int64_t millis = aLocalMs - seconds * 1000;
  // Offsets stay well inside one day, so the offsets in force a day either side of the
  // reading (taken as UTC) include every offset that can map onto it.
  constexpr int64_t KDay = 86400;
  int64_t candidates[3];
  if (!OffsetAt(seconds - KDay, &candidates[0]) || !OffsetAt(seconds, &candidates[1]) ||
      !OffsetAt(seconds + KDay, &candidates[2]))
    return false;
  bool found = false;
  int64_t best = 0;
  for (int64_t offset : candidates) {
    const int64_t utc = seconds - offset;
    int64_t actual = 0;
    if (!OffsetAt(utc, &actual) || actual != offset) continue;
    if (!found || utc < best) best = utc;
    found = true;
  }
  if (!found) {
    // The reading falls into a gap: use the offset from before the change.
    best = seconds - candidates[0];
  }
  *aUtcMs = best * 1000 + millis;
  return true;
}

uint32_t ClockTickMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace pwplat
