// Time values: PwTime (milliseconds, or a calendar date code), PwDateTime (a date and a time of
// day), PwTimeConverter (local time <-> UTC) and PwStopwatch (elapsed time on the tick counter),
// with the parsing and formatting that decide how every time looks on screen, in files and in
// spoken announcements.
#pragma once

#include <compare>
#include <cstdint>

#include "foundation/pw_base.h"

class CPwString;
class CPwByteArray;
class CPwByteArrayC;

// A signed 32-bit count of milliseconds: a duration, a time stamp or a time of day; or a date
// code, year * 372 + month * 31 + day - 32 (codes order like dates but are not day counts).
// KUnset marks an absent time and must be tested before arithmetic.
class PwTime {
 public:
  static constexpr int32_t KUnset = 2147483647;
  static constexpr int32_t KSecond = 1000;
  static constexpr int32_t KMinute = 60000;
  static constexpr int32_t KHour = 3600000;
  static constexpr int32_t KDay = 86400000;

  constexpr PwTime() = default;
  // Implicit, so that a PwTime reads and compares like the integer it is.
  constexpr PwTime(int32_t aMilliseconds) : iValue(aMilliseconds) {}

  static constexpr PwTime Unset() { return PwTime(KUnset); }
  static constexpr PwTime FromSeconds(int32_t aSeconds) { return PwTime(aSeconds * KSecond); }
  static constexpr PwTime FromMinutes(int32_t aMinutes) { return PwTime(aMinutes * KMinute); }
  static constexpr PwTime FromDays(int32_t aDays) { return PwTime(aDays * KDay); }
  // Real seconds, rounded to the millisecond: (int)(seconds * 1000 + 0.5).
  static PwTime FromSecondsReal(double aSeconds);
  static constexpr PwTime FromTimeOfDay(int32_t aHour, int32_t aMinute, int32_t aSecond,
                                        int32_t aMillisecond) {
    return PwTime(aMillisecond + aMinute * KMinute + aHour * KHour + aSecond * KSecond);
  }
  // The date code of a calendar date (month 1-12, day 1-31).
  static constexpr PwTime FromDate(int32_t aYear, int32_t aMonth, int32_t aDay) {
    return PwTime(aYear * 372 + aMonth * 31 + aDay - 32);
  }

  constexpr int32_t Milliseconds() const { return iValue; }
  constexpr bool IsSet() const { return iValue != KUnset; }
  constexpr double SecondsReal() const { return iValue / 1000.0; }
  constexpr int32_t Days() const { return iValue / KDay; }
  constexpr int32_t Hour() const { return (iValue % KDay) / KHour; }
  constexpr int32_t Minute() const { return (iValue % KHour) / KMinute; }
  constexpr int32_t Second() const { return (iValue % KMinute) / KSecond; }
  constexpr int32_t Millisecond() const { return iValue % KSecond; }
  // Fields of a date code.
  constexpr int32_t Year() const { return iValue / 372; }
  constexpr int32_t Month() const { return (iValue % 372) / 31 + 1; }
  constexpr int32_t Day() const { return iValue % 31 + 1; }

  // Plain 32-bit arithmetic: unset values must be excluded by the caller.
  friend constexpr PwTime operator-(PwTime a, PwTime b) { return PwTime(a.iValue - b.iValue); }
  friend constexpr PwTime operator+(PwTime a, PwTime b) { return PwTime(a.iValue + b.iValue); }
  PwTime& operator+=(PwTime a) { iValue += a.iValue; return *this; }
  PwTime& operator-=(PwTime a) { iValue -= a.iValue; return *this; }
  friend constexpr bool operator==(PwTime a, PwTime b) = default;
  friend constexpr auto operator<=>(PwTime a, PwTime b) = default;
  // The value times aFactor, rounded: (int)(value * factor + 0.5).
  PwTime Scaled(double aFactor) const;

  // aQuantity per second of this duration (an average speed from a distance). Unset
  // (KUnset as a real) when either operand is unset or the duration is zero.
  double RatePerSecond(double aQuantity) const;

  // Parsing of 8-bit text; on failure both return false and leave the value unchanged.
  // hhmmss with an optional fraction after position 6 (1 to 3 digits).
  bool ParseTimeOfDay(const CPwByteArrayC& aText);
  // A date with '/', '.' or '-' separators, day-month-year (two-digit years 00-89 are
  // 2000-2089, 90-99 are 1990-1999) or, with a first field of 3 or more characters,
  // year-month-day. The value becomes the date code.
  bool ParseDate(const CPwByteArrayC& aText);

  // Formatting. Each replaces the target's content (AppendNmeaTime appends). Decimals are
  // taken from 0 to 3; other values are clamped.
  // [sign][H:][M:]S[.f...]: lap, sector, split and run times. Truncates unless aRound.
  void FormatDuration(CPwString& aTarget, int32_t aDecimals, bool aPlus = false,
                      bool aRound = false) const;
  // HH:MM of the time of day.
  void FormatHourMinute(CPwString& aTarget) const;
  // HH:MM:SS[.f...] of the time of day, fraction truncated.
  void FormatTimeOfDay(CPwString& aTarget, int32_t aDecimals) const;
  // DD/MM/YYYY of a date code (year unpadded) and DD/MM/YY (year mod 100).
  void FormatDate(CPwString& aTarget) const;
  void FormatDateShort(CPwString& aTarget) const;
  // hhmmss[.f...] of the time of day with no separators, for written NMEA sentences.
  void AppendNmeaTime(CPwByteArray& aTarget, int32_t aDecimals) const;
  // Sound-clip tokens joined by ';' ("1;minute;23;point;4;seconds").
  void FormatSpoken(CPwString& aTarget, int32_t aDecimals, bool aPlus = false) const;

 private:
  int32_t iValue = 0;
};

// A point in time: a date code and a time of day in milliseconds. Set only when neither field
// is unset; a new pair is unset.
struct PwDateTime {
  PwTime iDate = PwTime::Unset();
  PwTime iTime = PwTime::Unset();

  constexpr PwDateTime() = default;
  constexpr PwDateTime(PwTime aDate, PwTime aTime) : iDate(aDate), iTime(aTime) {}
  constexpr PwDateTime(int32_t aYear, int32_t aMonth, int32_t aDay, int32_t aHour,
                       int32_t aMinute, int32_t aSecond, int32_t aMillisecond)
      : iDate(PwTime::FromDate(aYear, aMonth, aDay)),
        iTime(PwTime::FromTimeOfDay(aHour, aMinute, aSecond, aMillisecond)) {}

  // The machine's clock read as local time and as UTC (unset if the clock cannot be read).
  static PwDateTime NowLocal();
  static PwDateTime NowUtc();

  constexpr bool IsSet() const { return iDate.IsSet() && iTime.IsSet(); }
  void Reset() { iDate = PwTime::Unset(); iTime = PwTime::Unset(); }

  // Moves the point by aMilliseconds (either sign) with carries across midnight, month and
  // year ends. Returns false and leaves the pair unchanged when it is unset or not a valid
  // calendar time (a month outside 1-12, 31 April, a time of day outside one day, a year
  // outside 1601-30827).
  bool AddMilliseconds(int32_t aMilliseconds);

  // Milliseconds since 1970-01-01 00:00:00 of the pair's own time scale; false when the pair
  // is not a valid calendar time (as above).
  bool ToEpochMs(int64_t* aMs) const;
  // The pair for milliseconds since 1970; false (pair unchanged) outside 1601-30827.
  bool FromEpochMs(int64_t aMs);

  friend constexpr bool operator==(const PwDateTime& a, const PwDateTime& b) = default;
};

// Converts pairs between the machine's local time (time zone and daylight saving, TZ
// respected) and UTC. Any failure gives an unset pair.
class PwTimeConverter : public CPwBase {
 public:
  PwDateTime LocalToUtc(const PwDateTime& aLocal) const;
  PwDateTime UtcToLocal(const PwDateTime& aUtc) const;
};

// Elapsed time on the system's millisecond tick counter; correct across the counter's wrap.
class PwStopwatch {
 public:
  void Start();
  // Time since Start (0 when never started).
  PwTime Elapsed() const;
  bool IsRunning() const { return iRunning; }
  void Stop() { iRunning = false; }

  // The same against a given tick value.
  void StartAt(uint32_t aTick) { iStartTick = aTick; iRunning = true; }
  PwTime ElapsedAt(uint32_t aTick) const;

 private:
  uint32_t iStartTick = 0;
  bool iRunning = false;
};
