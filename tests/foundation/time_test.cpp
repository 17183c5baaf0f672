#include "foundation/pw_time.h"

#include <gtest/gtest.h>
#include <time.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"

namespace {

std::string Duration(int32_t aMs, int32_t aDecimals, bool aPlus = false, bool aRound = false) {
  CPwString s;
  PwTime(aMs).FormatDuration(s, aDecimals, aPlus, aRound);
  return PwToUtf8(s);
}

std::string Spoken(int32_t aMs, int32_t aDecimals, bool aPlus = false) {
  CPwString s;
  PwTime(aMs).FormatSpoken(s, aDecimals, aPlus);
  return PwToUtf8(s);
}

std::string TimeOfDay(int32_t aMs, int32_t aDecimals) {
  CPwString s;
  PwTime(aMs).FormatTimeOfDay(s, aDecimals);
  return PwToUtf8(s);
}

std::string Nmea(int32_t aMs, int32_t aDecimals) {
  CPwByteArray b;
  PwTime(aMs).AppendNmeaTime(b, aDecimals);
  return std::string(reinterpret_cast<const char*>(b.Ptr()), static_cast<size_t>(b.Length()));
}

// Parses aText; returns the value or -1 on failure (and checks that failure keeps the value).
int32_t ParsedTime(const char* aText) {
  PwTime t(-1);
  if (!t.ParseTimeOfDay(CPwByteArrayC(std::string_view(aText)))) {
    EXPECT_EQ(t.Milliseconds(), -1) << aText;
    return -1;
  }
  return t.Milliseconds();
}

PwTime ParsedDate(const char* aText) {
  PwTime t(-7);
  if (!t.ParseDate(CPwByteArrayC(std::string_view(aText)))) {
    EXPECT_EQ(t.Milliseconds(), -7) << aText;
    return PwTime::Unset();
  }
  return t;
}

std::string Fields(const PwDateTime& aPair) {
  if (!aPair.IsSet()) return "unset";
  char buf[64];
  const PwTime d = aPair.iDate, t = aPair.iTime;
  snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.Year(), d.Month(), d.Day(),
           t.Hour(), t.Minute(), t.Second(), t.Millisecond());
  return buf;
}

// Sets TZ for one test and puts the previous value back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* aZone) {
    const char* old = getenv("TZ");
    iHad = old != nullptr;
    if (iHad) iOld = old;
    setenv("TZ", aZone, 1);
    tzset();
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

constexpr const char* KCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* KUsEastern = "EST5EDT,M3.2.0,M11.1.0";

}  // namespace

TEST(PwTimeTest, DateCodesRoundTripAndOrderChronologically) {
  const PwTime newYear = PwTime::FromDate(2007, 1, 1);
  EXPECT_EQ(newYear.Year(), 2007);
  EXPECT_EQ(newYear.Month(), 1);
  EXPECT_EQ(newYear.Day(), 1);
  EXPECT_EQ(newYear.Milliseconds(), ((2007 * 12) + 0) * 31 + 0);
  EXPECT_LT(PwTime::FromDate(2006, 12, 31), newYear);
  EXPECT_LT(PwTime::FromDate(2007, 1, 31), PwTime::FromDate(2007, 2, 1));
  const PwTime last = PwTime::FromDate(2024, 12, 31);
  EXPECT_EQ(last.Year(), 2024);
  EXPECT_EQ(last.Month(), 12);
  EXPECT_EQ(last.Day(), 31);
}

TEST(PwTimeTest, ConstructionAndFields) {
  EXPECT_EQ(PwTime::FromSeconds(3).Milliseconds(), 3000);
  EXPECT_EQ(PwTime::FromMinutes(2).Milliseconds(), 120000);
  EXPECT_EQ(PwTime::FromDays(1).Milliseconds(), 86400000);
  const PwTime t = PwTime::FromTimeOfDay(13, 4, 5, 678);
  EXPECT_EQ(t.Milliseconds(), 47045678);
  EXPECT_EQ(t.Hour(), 13);
  EXPECT_EQ(t.Minute(), 4);
  EXPECT_EQ(t.Second(), 5);
  EXPECT_EQ(t.Millisecond(), 678);
  EXPECT_EQ((PwTime::FromDays(3) + t).Days(), 3);
  EXPECT_EQ((PwTime::FromDays(3) + t).Hour(), 13);
  EXPECT_DOUBLE_EQ(PwTime(1500).SecondsReal(), 1.5);
  EXPECT_EQ((PwTime(5000) - PwTime(7500)).Milliseconds(), -2500);
  EXPECT_FALSE(PwTime::Unset().IsSet());
  EXPECT_TRUE(PwTime(0).IsSet());
}

TEST(PwTimeTest, RealConversionsRoundHalfUpAndRejectOverflow) {
  EXPECT_EQ(PwTime::FromSecondsReal(1.2345).Milliseconds(), 1235);
  EXPECT_EQ(PwTime::FromSecondsReal(0.0004).Milliseconds(), 0);
  // (int)(x + 0.5) truncates towards zero, so negative halves move up.
  EXPECT_EQ(PwTime::FromSecondsReal(-1.5).Milliseconds(), -1499);
  EXPECT_EQ(PwTime(1001).Scaled(1.5).Milliseconds(), 1502);
  EXPECT_EQ(PwTime(3).Scaled(0.5).Milliseconds(), 2);
  // Values from a foreign log that do not fit become unset, never garbage.
  EXPECT_FALSE(PwTime::FromSecondsReal(1e12).IsSet());
  EXPECT_FALSE(PwTime::FromSecondsReal(-1e12).IsSet());
  EXPECT_FALSE(PwTime::FromSecondsReal(std::nan("")).IsSet());
  EXPECT_FALSE(PwTime(2000000000).Scaled(2.0).IsSet());
}

TEST(PwTimeTest, RatePerSecondIsUnsetForMissingOperands) {
  EXPECT_DOUBLE_EQ(PwTime(50000).RatePerSecond(1000.0), 20.0);
  EXPECT_EQ(PwTime::Unset().RatePerSecond(1000.0), PwTime::KUnset);
  EXPECT_EQ(PwTime(50000).RatePerSecond(PwTime::KUnset), PwTime::KUnset);
  EXPECT_EQ(PwTime(0).RatePerSecond(1000.0), PwTime::KUnset);
}

TEST(PwTimeTest, ParseTimeOfDay) {
  EXPECT_EQ(ParsedTime("235959"), 86399000);
  EXPECT_EQ(ParsedTime("000000"), 0);
  EXPECT_EQ(ParsedTime("123456.7"), 45296700);
  EXPECT_EQ(ParsedTime("123456.78"), 45296780);
  EXPECT_EQ(ParsedTime("123456.789"), 45296789);
  EXPECT_EQ(ParsedTime("123456.05"), 45296050);
  // Other lengths ignore the fraction.
  EXPECT_EQ(ParsedTime("123456."), 45296000);
  EXPECT_EQ(ParsedTime("123456.7891"), 45296000);
  // Out of range fields, short text, junk.
  EXPECT_EQ(ParsedTime("240000"), -1);
  EXPECT_EQ(ParsedTime("126000"), -1);
  EXPECT_EQ(ParsedTime("123460"), -1);
  EXPECT_EQ(ParsedTime("12345"), -1);
  EXPECT_EQ(ParsedTime(""), -1);
  EXPECT_EQ(ParsedTime("ab3456"), -1);
  EXPECT_EQ(ParsedTime("-13456"), -1);
  EXPECT_EQ(ParsedTime("123456.x"), -1);
  EXPECT_EQ(ParsedTime("123456.-5"), -1);
}

TEST(PwTimeTest, ParseDate) {
  EXPECT_EQ(ParsedDate("24/12/07"), PwTime::FromDate(2007, 12, 24));
  EXPECT_EQ(ParsedDate("24.12.95"), PwTime::FromDate(1995, 12, 24));
  EXPECT_EQ(ParsedDate("2007-12-24"), PwTime::FromDate(2007, 12, 24));
  EXPECT_EQ(ParsedDate("1/2/2010"), PwTime::FromDate(2010, 2, 1));
  EXPECT_EQ(ParsedDate("01/02/00"), PwTime::FromDate(2000, 2, 1));
  EXPECT_EQ(ParsedDate("01/02/89"), PwTime::FromDate(2089, 2, 1));
  EXPECT_EQ(ParsedDate("01/02/90"), PwTime::FromDate(1990, 2, 1));
  EXPECT_EQ(ParsedDate("01/02/99"), PwTime::FromDate(1999, 2, 1));
  EXPECT_EQ(ParsedDate("01/02/100"), PwTime::FromDate(100, 2, 1));
  // Year-month-day keeps short years as written.
  EXPECT_EQ(ParsedDate("007/12/24"), PwTime::FromDate(7, 12, 24));
  // '/' is looked for before '.', and '.' before '-', for each separator.
  EXPECT_EQ(ParsedDate("24/12-07"), PwTime::FromDate(2007, 12, 24));
  EXPECT_EQ(ParsedDate("24.12-07"), PwTime::FromDate(2007, 12, 24));
  EXPECT_FALSE(ParsedDate("24-12/07").IsSet());
  // The last field runs to the end; trailing text after its digits is ignored.
  EXPECT_EQ(ParsedDate("24/12/2007 @ 12:00"), PwTime::FromDate(2007, 12, 24));

  EXPECT_FALSE(ParsedDate("24122007").IsSet());
  EXPECT_FALSE(ParsedDate("24/12").IsSet());
  EXPECT_FALSE(ParsedDate("24//07").IsSet());
  EXPECT_FALSE(ParsedDate("x/12/07").IsSet());
  EXPECT_FALSE(ParsedDate("24/12/").IsSet());
  EXPECT_FALSE(ParsedDate("").IsSet());
  // Fields outside the calendar would encode some other date.
  EXPECT_FALSE(ParsedDate("24/13/07").IsSet());
  EXPECT_FALSE(ParsedDate("00/12/07").IsSet());
  EXPECT_FALSE(ParsedDate("32/12/07").IsSet());
  EXPECT_FALSE(ParsedDate("99999/12/24").IsSet());
}

TEST(PwTimeTest, FormatDuration) {
  EXPECT_EQ(Duration(83456, 3), "1:23.456");
  EXPECT_EQ(Duration(500, 1), "0.5");
  EXPECT_EQ(Duration(3723400, 1), "1:02:03.4");
  EXPECT_EQ(Duration(-1500, 1, true), "-1.5");
  EXPECT_EQ(Duration(1500, 1, true), "+1.5");
  EXPECT_EQ(Duration(0, 2, true), "+0.00");
  EXPECT_EQ(Duration(59999, 0), "59");
  EXPECT_EQ(Duration(59999, 0, false, true), "1:00");
  EXPECT_EQ(Duration(59999, 2, false, true), "1:00.00");
  EXPECT_EQ(Duration(59994, 2, false, true), "59.99");
  EXPECT_EQ(Duration(59999, 3, false, true), "59.999");
  EXPECT_EQ(Duration(0, 2), "0.00");
  EXPECT_EQ(Duration(65000, 0), "1:05");
  EXPECT_EQ(Duration(3600000, 0), "1:00:00");
  EXPECT_EQ(Duration(3605000, 1), "1:00:05.0");
  EXPECT_EQ(Duration(36000000 + 125000, 0), "10:02:05");
  EXPECT_EQ(Duration(7, 3), "0.007");
  EXPECT_EQ(Duration(70, 2), "0.07");
  EXPECT_EQ(Duration(-83456, 3), "-1:23.456");
  // Decimals outside 0..3 are clamped.
  EXPECT_EQ(Duration(1234, 9), "1.234");
  EXPECT_EQ(Duration(1234, -1), "1");
  // The extremes of the type neither overflow nor print garbage.
  EXPECT_EQ(Duration(INT_MIN, 3), "-596:31:23.648");
  EXPECT_EQ(Duration(INT_MAX, 0, false, true), "596:31:24");
}

TEST(PwTimeTest, FormatTimesOfDayAndDates) {
  const int32_t t = PwTime::FromTimeOfDay(9, 5, 7, 891).Milliseconds();
  EXPECT_EQ(TimeOfDay(t, 0), "09:05:07");
  EXPECT_EQ(TimeOfDay(t, 1), "09:05:07.8");
  EXPECT_EQ(TimeOfDay(t, 2), "09:05:07.89");
  EXPECT_EQ(TimeOfDay(t, 3), "09:05:07.891");
  // Only the time of day is shown.
  EXPECT_EQ(TimeOfDay(PwTime::KDay * 2 + t, 1), "09:05:07.8");
  EXPECT_EQ(TimeOfDay(-1000, 0), "23:59:59");

  CPwString s(u"old content");
  PwTime(t).FormatHourMinute(s);
  EXPECT_EQ(PwToUtf8(s), "09:05");
  PwTime::FromDate(2007, 3, 4).FormatDate(s);
  EXPECT_EQ(PwToUtf8(s), "04/03/2007");
  PwTime::FromDate(987, 11, 30).FormatDate(s);
  EXPECT_EQ(PwToUtf8(s), "30/11/987");
  PwTime::FromDate(2007, 3, 4).FormatDateShort(s);
  EXPECT_EQ(PwToUtf8(s), "04/03/07");
  PwTime::FromDate(2100, 12, 31).FormatDateShort(s);
  EXPECT_EQ(PwToUtf8(s), "31/12/00");
}

TEST(PwTimeTest, AppendNmeaTimeAppendsWithoutSeparators) {
  const int32_t t = PwTime::FromTimeOfDay(1, 2, 3, 45).Milliseconds();
  EXPECT_EQ(Nmea(t, 0), "010203");
  EXPECT_EQ(Nmea(t, 1), "010203.0");
  EXPECT_EQ(Nmea(t, 2), "010203.04");
  EXPECT_EQ(Nmea(t, 3), "010203.045");
  EXPECT_EQ(Nmea(t, 4), "010203");
  EXPECT_EQ(Nmea(t, -1), "010203");
  EXPECT_EQ(Nmea(PwTime::KDay + t, 3), "010203.045");

  CPwByteArray b(std::string_view("$PW1,"));
  PwTime(t).AppendNmeaTime(b, 3);
  b.AppendByte(',');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.Ptr()), b.Length()), "$PW1,010203.045,");
}

TEST(PwTimeTest, FormatSpokenTokens) {
  // One decimal, as the lap announcement uses it.
  EXPECT_EQ(Spoken(83400, 1), "1;minute;23;point;4;seconds");
  EXPECT_EQ(Spoken(83456, 1), "1;minute;23;point;5;seconds");
  EXPECT_EQ(Spoken(59960, 1), "1;minute;0;point;0;seconds");
  EXPECT_EQ(Spoken(949, 1), "0;point;9;seconds");
  EXPECT_EQ(Spoken(999, 1), "1;point;0;seconds");
  EXPECT_EQ(Spoken(0, 1), "0;point;0;seconds");
  EXPECT_EQ(Spoken(125300, 1), "2;minutes;5;point;3;seconds");
  EXPECT_EQ(Spoken(3600000, 1), "1;hour;0;point;0;seconds");
  EXPECT_EQ(Spoken(2 * 3600000 + 60000 + 1000, 1), "2;hours;1;minute;1;point;0;seconds");
  EXPECT_EQ(Spoken(-1500, 1), "minus;1;point;5;seconds");
  EXPECT_EQ(Spoken(1500, 1, true), "plus;1;point;5;seconds");
  EXPECT_EQ(Spoken(0, 1, true), "plus;0;point;0;seconds");
  // Two decimals round to the hundredth; three decimals truncate.
  EXPECT_EQ(Spoken(1234, 2), "1;point;2;3;seconds");
  EXPECT_EQ(Spoken(1235, 2), "1;point;2;4;seconds");
  EXPECT_EQ(Spoken(61005, 3), "1;minute;1;point;0;0;5;seconds");
  EXPECT_EQ(Spoken(999, 3), "0;point;9;9;9;seconds");
  // Whole seconds truncate and end with "second"/"seconds"; none at all ends after the minute.
  EXPECT_EQ(Spoken(1999, 0), "1;second");
  EXPECT_EQ(Spoken(2000, 0), "2;seconds");
  EXPECT_EQ(Spoken(59999, 0), "59;seconds");
  EXPECT_EQ(Spoken(60000, 0), "1;minute;");
  EXPECT_EQ(Spoken(999, 0), "");
  EXPECT_EQ(Spoken(-3000, 0), "minus;3;seconds");
  // Decimals beyond three are spoken as three.
  EXPECT_EQ(Spoken(1234, 6), "1;point;2;3;4;seconds");
  EXPECT_EQ(Spoken(INT_MIN, 3), "minus;596;hours;31;minutes;23;point;6;4;8;seconds");
}

TEST(PwDateTimeTest, SetAndReset) {
  PwDateTime pair;
  EXPECT_FALSE(pair.IsSet());
  pair = PwDateTime(2007, 12, 24, 18, 30, 15, 250);
  EXPECT_TRUE(pair.IsSet());
  EXPECT_EQ(Fields(pair), "2007-12-24 18:30:15.250");
  pair.iTime = PwTime::Unset();
  EXPECT_FALSE(pair.IsSet());
  pair = PwDateTime(2007, 12, 24, 0, 0, 0, 0);
  pair.Reset();
  EXPECT_EQ(pair.iDate.Milliseconds(), PwTime::KUnset);
  EXPECT_EQ(pair.iTime.Milliseconds(), PwTime::KUnset);
}

TEST(PwDateTimeTest, AddMillisecondsCarriesAcrossBoundaries) {
  PwDateTime pair(2006, 12, 31, 23, 59, 59, 500);
  ASSERT_TRUE(pair.AddMilliseconds(1000));
  EXPECT_EQ(Fields(pair), "2007-01-01 00:00:00.500");
  ASSERT_TRUE(pair.AddMilliseconds(-1000));
  EXPECT_EQ(Fields(pair), "2006-12-31 23:59:59.500");

  PwDateTime leap(2008, 2, 28, 23, 0, 0, 0);
  ASSERT_TRUE(leap.AddMilliseconds(PwTime::KHour));
  EXPECT_EQ(Fields(leap), "2008-02-29 00:00:00.000");
  PwDateTime common(2007, 2, 28, 23, 0, 0, 0);
  ASSERT_TRUE(common.AddMilliseconds(PwTime::KHour));
  EXPECT_EQ(Fields(common), "2007-03-01 00:00:00.000");
  PwDateTime century(2100, 2, 28, 12, 0, 0, 0);
  ASSERT_TRUE(century.AddMilliseconds(PwTime::KDay));
  EXPECT_EQ(Fields(century), "2100-03-01 12:00:00.000");

  // About 24 days forward in one step.
  PwDateTime far(2007, 1, 1, 0, 0, 0, 0);
  ASSERT_TRUE(far.AddMilliseconds(INT_MAX));
  EXPECT_EQ(Fields(far), "2007-01-25 20:31:23.647");
}

TEST(PwDateTimeTest, AddMillisecondsRefusesInvalidPairs) {
  PwDateTime unset;
  EXPECT_FALSE(unset.AddMilliseconds(1));
  EXPECT_FALSE(unset.IsSet());

  const PwDateTime bad[] = {
      PwDateTime(2007, 4, 31, 0, 0, 0, 0),   // 31 April
      PwDateTime(2007, 2, 29, 0, 0, 0, 0),   // not a leap year
      PwDateTime(1600, 12, 31, 0, 0, 0, 0),  // before the file-time epoch
      PwDateTime(PwTime::FromDate(2007, 1, 1), PwTime(PwTime::KDay)),
      PwDateTime(PwTime::FromDate(2007, 1, 1), PwTime(-1)),
      PwDateTime(PwTime(-5), PwTime(0)),
  };
  for (const PwDateTime& b : bad) {
    PwDateTime copy = b;
    EXPECT_FALSE(copy.AddMilliseconds(1000));
    EXPECT_EQ(copy, b);
  }
}

TEST(PwTimeConverterTest, UtcZoneIsIdentity) {
  ScopedTimeZone zone("UTC0");
  PwTimeConverter converter;
  const PwDateTime t(2007, 6, 1, 12, 0, 0, 123);
  EXPECT_EQ(converter.LocalToUtc(t), t);
  EXPECT_EQ(converter.UtcToLocal(t), t);
}

TEST(PwTimeConverterTest, CentralEuropeUsesTheRuleOfEachDate) {
  ScopedTimeZone zone(KCentralEurope);
  PwTimeConverter converter;
  // Winter and summer offsets, whatever the date of the machine.
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 1, 15, 12, 0, 0, 5))),
            "2007-01-15 13:00:00.005");
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 7, 15, 12, 0, 0, 5))),
            "2007-07-15 14:00:00.005");
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2007, 7, 15, 14, 0, 0, 5))),
            "2007-07-15 12:00:00.005");
  // Midnight local is the previous day in UTC.
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2007, 1, 1, 0, 30, 0, 0))),
            "2006-12-31 23:30:00.000");

  // Clocks go forward on 25 March 2007 at 01:00 UTC (02:00 -> 03:00 local).
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 3, 25, 0, 59, 59, 999))),
            "2007-03-25 01:59:59.999");
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 3, 25, 1, 0, 0, 0))),
            "2007-03-25 03:00:00.000");
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2007, 3, 25, 1, 59, 59, 999))),
            "2007-03-25 00:59:59.999");
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2007, 3, 25, 3, 0, 0, 0))),
            "2007-03-25 01:00:00.000");
  // 02:30 does not exist that day: taken with the winter offset, i.e. the instant shown 03:30.
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2007, 3, 25, 2, 30, 0, 0))),
            "2007-03-25 01:30:00.000");

  // Clocks go back on 28 October 2007 at 01:00 UTC (03:00 -> 02:00 local).
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 10, 28, 0, 30, 0, 0))),
            "2007-10-28 02:30:00.000");
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 10, 28, 1, 30, 0, 0))),
            "2007-10-28 02:30:00.000");
  // 02:30 happens twice: the earlier instant is taken.
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2007, 10, 28, 2, 30, 0, 0))),
            "2007-10-28 00:30:00.000");
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2007, 10, 28, 3, 0, 0, 0))),
            "2007-10-28 02:00:00.000");
}

TEST(PwTimeConverterTest, RoundTripsEveryQuarterHourAcrossTransitions) {
  for (const char* tz : {KCentralEurope, KUsEastern}) {
    ScopedTimeZone zone(tz);
    PwTimeConverter converter;
    for (const PwDateTime& start :
         {PwDateTime(2007, 3, 10, 0, 0, 0, 0), PwDateTime(2007, 3, 24, 0, 0, 0, 0),
          PwDateTime(2007, 10, 27, 0, 0, 0, 0), PwDateTime(2007, 11, 3, 0, 0, 0, 0)}) {
      PwDateTime utc = start;
      for (int i = 0; i < 4 * 72; ++i) {
        const PwDateTime local = converter.UtcToLocal(utc);
        ASSERT_TRUE(local.IsSet());
        const PwDateTime back = converter.LocalToUtc(local);
        // Only the second of two equal readings maps back to the earlier instant.
        if (back != utc) {
          PwDateTime later = back;
          ASSERT_TRUE(later.AddMilliseconds(PwTime::KHour));
          EXPECT_EQ(Fields(later), Fields(utc)) << tz;
        }
        ASSERT_TRUE(utc.AddMilliseconds(15 * PwTime::KMinute));
      }
    }
  }
}

TEST(PwTimeConverterTest, UsEasternCrossesMidnightAndDst) {
  ScopedTimeZone zone(KUsEastern);
  PwTimeConverter converter;
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 1, 1, 3, 0, 0, 0))),
            "2006-12-31 22:00:00.000");
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2006, 12, 31, 22, 0, 0, 0))),
            "2007-01-01 03:00:00.000");
  // Summer time from 11 March 2007, 02:00 local.
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 3, 11, 6, 59, 0, 0))),
            "2007-03-11 01:59:00.000");
  EXPECT_EQ(Fields(converter.UtcToLocal(PwDateTime(2007, 3, 11, 7, 0, 0, 0))),
            "2007-03-11 03:00:00.000");
  EXPECT_EQ(Fields(converter.LocalToUtc(PwDateTime(2007, 7, 4, 12, 0, 0, 0))),
            "2007-07-04 16:00:00.000");
}

TEST(PwTimeConverterTest, InvalidInputGivesUnset) {
  ScopedTimeZone zone(KCentralEurope);
  PwTimeConverter converter;
  EXPECT_FALSE(converter.LocalToUtc(PwDateTime()).IsSet());
  EXPECT_FALSE(converter.UtcToLocal(PwDateTime()).IsSet());
  EXPECT_FALSE(converter.LocalToUtc(PwDateTime(2007, 6, 31, 0, 0, 0, 0)).IsSet());
  EXPECT_FALSE(converter.UtcToLocal(PwDateTime(2007, 2, 30, 0, 0, 0, 0)).IsSet());
  EXPECT_FALSE(
      converter.UtcToLocal(PwDateTime(PwTime::FromDate(2007, 1, 1), PwTime(PwTime::KDay))).IsSet());
  // A conversion that would leave the calendar range fails too.
  EXPECT_FALSE(converter.UtcToLocal(PwDateTime(30827, 12, 31, 23, 30, 0, 0)).IsSet());
}

TEST(PwDateTimeTest, NowLocalFollowsTheZone) {
  ScopedTimeZone zone("XXX-5");  // a fixed offset of five hours east, no daylight saving
  // The local reading is bracketed by two UTC readings, so however long this thread waits
  // between the calls, the offset is checked to within the clock's resolution.
  const PwDateTime utc = PwDateTime::NowUtc();
  const PwDateTime local = PwDateTime::NowLocal();
  const PwDateTime utcAfter = PwDateTime::NowUtc();
  ASSERT_TRUE(utc.IsSet());
  ASSERT_TRUE(local.IsSet());
  ASSERT_TRUE(utcAfter.IsSet());
  EXPECT_GE(utc.iDate.Year(), 2020);
  int64_t u = 0, l = 0, uAfter = 0;
  ASSERT_TRUE(utc.ToEpochMs(&u));
  ASSERT_TRUE(local.ToEpochMs(&l));
  ASSERT_TRUE(utcAfter.ToEpochMs(&uAfter));
  const int64_t shifted = l - 5 * static_cast<int64_t>(PwTime::KHour);
  EXPECT_GE(shifted, u - 2000);
  EXPECT_LE(shifted, uAfter + 2000);
}

TEST(PwStopwatchTest, ElapsedWrapsWithTheTickCounter) {
  PwStopwatch watch;
  EXPECT_FALSE(watch.IsRunning());
  EXPECT_EQ(watch.Elapsed().Milliseconds(), 0);
  watch.StartAt(0xFFFFFF00u);
  EXPECT_TRUE(watch.IsRunning());
  EXPECT_EQ(watch.ElapsedAt(0x100u).Milliseconds(), 512);
  EXPECT_EQ(watch.ElapsedAt(0xFFFFFF00u).Milliseconds(), 0);
  watch.Stop();
  EXPECT_EQ(watch.ElapsedAt(0x100u).Milliseconds(), 0);

  watch.Start();
  const int32_t first = watch.Elapsed().Milliseconds();
  EXPECT_GE(first, 0);
  EXPECT_LT(first, 10000);
  EXPECT_GE(watch.Elapsed().Milliseconds(), first);
}
