#include "platform/clock.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <string>

namespace {

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* aZone) {
    const char* old = getenv("TZ");
    iHad = old != nullptr;
    if (iHad) iOld = old;
    setenv("TZ", aZone, 1);
  }
  ~ScopedTimeZone() {
    if (iHad)
      setenv("TZ", iOld.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  bool iHad = false;
  std::string iOld;
};

// 2007-07-15 12:00:00 UTC.
constexpr int64_t KSummerNoon = 1184500800000LL;

}  // namespace

TEST(ClockTest, WallClockAgreesWithTheSystemTime) {
  // Bracketed by the system's own clock, so a busy machine pausing this thread between the
  // calls cannot make them disagree.
  const time_t before = time(nullptr);
  const int64_t now = pwplat::ClockUtcNowMs();
  const time_t after = time(nullptr);
  EXPECT_GE(now / 1000, static_cast<int64_t>(before) - 1);
  EXPECT_LE(now / 1000, static_cast<int64_t>(after) + 1);
}

TEST(ClockTest, TickCounterDoesNotGoBack) {
  uint32_t last = pwplat::ClockTickMs();
  for (int i = 0; i < 1000; ++i) {
    const uint32_t tick = pwplat::ClockTickMs();
    // Unsigned: a step back would be huge. The bound allows for this thread losing the
    // processor for a while on a busy machine.
    EXPECT_LT(tick - last, 60000u);
    last = tick;
  }
}

TEST(ClockTest, ZoneChangesTakeEffectWithoutRestart) {
  int32_t offset = 0;
  {
    ScopedTimeZone zone("UTC0");
    ASSERT_TRUE(pwplat::ClockUtcOffsetSeconds(KSummerNoon, &offset));
    EXPECT_EQ(offset, 0);
  }
  {
    // Set without calling tzset: the clock notices by itself.
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    ASSERT_TRUE(pwplat::ClockUtcOffsetSeconds(KSummerNoon, &offset));
    EXPECT_EQ(offset, 7200);
    int64_t local = 0, utc = 0;
    ASSERT_TRUE(pwplat::ClockUtcToLocalMs(KSummerNoon + 7, &local));
    EXPECT_EQ(local, KSummerNoon + 7 + 7200000);
    ASSERT_TRUE(pwplat::ClockLocalToUtcMs(local, &utc));
    EXPECT_EQ(utc, KSummerNoon + 7);
  }
  {
    ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    ASSERT_TRUE(pwplat::ClockUtcOffsetSeconds(KSummerNoon, &offset));
    EXPECT_EQ(offset, -4 * 3600);
    // Before 1970 the millisecond part must still split the right way.
    int64_t local = 0;
    ASSERT_TRUE(pwplat::ClockUtcToLocalMs(-1, &local));
    EXPECT_EQ(local, -1 - 5 * 3600000LL);
  }
}
