// The machine's clocks: wall-clock time in UTC, the local time zone (TZ respected, daylight
// saving by the rules in force at each instant), and a monotonic millisecond tick counter.
//
// Calendar times are carried as milliseconds since 1970-01-01 00:00:00 of their own time scale:
// a "local" value is the local wall-clock reading counted as if it were UTC, so that the same
// calendar arithmetic serves both.
#pragma once

#include <cstdint>

namespace pwplat {

// Current wall-clock time, milliseconds since 1970-01-01 00:00:00 UTC.
int64_t ClockUtcNowMs();

// Local wall-clock reading of a UTC instant. False when the platform cannot convert it.
bool ClockUtcToLocalMs(int64_t aUtcMs, int64_t* aLocalMs);

// UTC instant of a local wall-clock reading. A reading that occurs twice (when the clocks go
// back) gives the earlier instant; a reading that does not occur (when the clocks go forward)
// is taken with the offset in force before the change, so 02:30 in a gap from 02:00 to 03:00
// becomes the instant shown as 03:30. False when the platform cannot convert it.
bool ClockLocalToUtcMs(int64_t aLocalMs, int64_t* aUtcMs);

// Offset of local time from UTC at a UTC instant, in seconds (east positive).
bool ClockUtcOffsetSeconds(int64_t aUtcMs, int32_t* aOffset);

// Monotonic milliseconds, wrapping at 2^32; only differences are meaningful.
uint32_t ClockTickMs();

}  // namespace pwplat
