#include "foundation/pw_time.h"

#include <cmath>

#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "platform/clock.h"

namespace {

constexpr int32_t KPow10[4] = {1, 10, 100, 1000};

int32_t ClampDecimals(int32_t aDecimals) {
  return aDecimals < 0 ? 0 : (aDecimals > 3 ? 3 : aDecimals);
}

int64_t FloorDiv(int64_t aValue, int64_t aDivisor) {
  int64_t q = aValue / aDivisor;
  if ((aValue % aDivisor) != 0 && ((aValue < 0) != (aDivisor < 0))) --q;
  return q;
}

// Time of day of any value, also of negative ones (which a plain % would turn into
// negative fields).
int32_t TimeOfDay(int32_t aValue) {
  return static_cast<int32_t>(aValue - FloorDiv(aValue, PwTime::KDay) * PwTime::KDay);
}

// Rounds a real to a PwTime the way the program always has, (int)(x + 0.5); values that do not
// fit (or are not numbers) give unset instead of undefined behaviour.
PwTime RoundToTime(double aMilliseconds) {
  const double r = aMilliseconds + 0.5;
  if (!(r > -2147483648.0 && r < 2147483647.0)) return PwTime::Unset();
  return PwTime(static_cast<int32_t>(r));
}

// Formatting is done in a small stack buffer and copied into the target once, so a reused
// target string never reallocates.
class TTextBuf {
 public:
  void Char(char ch) { iText[iLength++] = static_cast<char16_t>(ch); }
  void Ascii(const char* aText) {
    while (*aText) Char(*aText++);
  }
  // A non-negative number zero-padded to aWidth digits.
  void Num(int64_t aValue, int32_t aWidth = 0) {
    char digits[24];
    int32_t n = 0;
    uint64_t v = aValue < 0 ? 0 - static_cast<uint64_t>(aValue) : static_cast<uint64_t>(aValue);
    if (aValue < 0) Char('-');
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    for (int32_t i = n; i < aWidth; ++i) Char('0');
    while (n > 0) Char(digits[--n]);
  }
  CPwStringC View() const { return CPwStringC(iText, iLength); }
  const char16_t* Ptr() const { return iText; }
  int32_t Length() const { return iLength; }

 private:
  char16_t iText[96];
  int32_t iLength = 0;
};

void WriteTwo(TTextBuf& aBuf, int64_t aValue) { aBuf.Num(aValue, 2); }

// Proleptic Gregorian day number since 1970-01-01, and back.
int64_t DaysFromCivil(int64_t aYear, int32_t aMonth, int32_t aDay) {
  const int64_t y = aYear - (aMonth <= 2 ? 1 : 0);
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = (aMonth + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + aDay - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t aDays, int64_t& aYear, int32_t& aMonth, int32_t& aDay) {
  const int64_t z = aDays + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  aDay = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  aMonth = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  aYear = yoe + era * 400 + (aMonth <= 2 ? 1 : 0);
}

bool IsLeapYear(int64_t aYear) {
  return (aYear % 4 == 0 && aYear % 100 != 0) || aYear % 400 == 0;
}

int32_t DaysInMonth(int64_t aYear, int32_t aMonth) {
  static constexpr int32_t KDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return aMonth == 2 && IsLeapYear(aYear) ? 29 : KDays[aMonth - 1];
}

// The calendar range the platform's file time can hold.
constexpr int64_t KFirstYear = 1601;
constexpr int64_t KLastYear = 30827;

// Search order of the date separators.
int32_t FindDateSeparator(const CPwByteArrayC& aText, int32_t aFrom) {
  for (uint8_t sep : {uint8_t('/'), uint8_t('.'), uint8_t('-')}) {
    const int32_t i = aText.Find(sep, aFrom);
    if (i >= 0) return i;
  }
  return -1;
}

// A two-character field of hhmmss in 0..aMax.
bool ParseTimeField(const CPwByteArrayC& aText, int32_t aPos, int32_t aMax, int32_t& aOut) {
  int32_t v = 0;
  if (!aText.Mid(aPos, 2).ParseInt(v) || v < 0 || v > aMax) return false;
  aOut = v;
  return true;
}

}  // namespace

// ---- PwTime ----

PwTime PwTime::FromSecondsReal(double aSeconds) { return RoundToTime(aSeconds * 1000.0); }

PwTime PwTime::Scaled(double aFactor) const { return RoundToTime(iValue * aFactor); }

double PwTime::RatePerSecond(double aQuantity) const {
  if (!IsSet() || aQuantity == KUnset || iValue == 0) return KUnset;
  return aQuantity / (iValue / 1000.0);
}

bool PwTime::ParseTimeOfDay(const CPwByteArrayC& aText) {
  const int32_t length = aText.Length();
  if (length <= 5) return false;
  int32_t h = 0, m = 0, s = 0;
  if (!ParseTimeField(aText, 0, 23, h) || !ParseTimeField(aText, 2, 59, m) ||
      !ParseTimeField(aText, 4, 59, s))
    return false;
  int32_t ms = 0;
  if (length >= 8 && length <= 10) {
    // The fraction follows the point at position 6; its digit count gives its scale.
    const int32_t digits = length - 7;
    int32_t fraction = 0;
    if (!aText.Mid(7).ParseInt(fraction) || fraction < 0 || fraction >= KPow10[digits])
      return false;
    ms = fraction * KPow10[3 - digits];
  }
  iValue = FromTimeOfDay(h, m, s, ms).iValue;
  return true;
}

bool PwTime::ParseDate(const CPwByteArrayC& aText) {
  const int32_t first = FindDateSeparator(aText, 0);
  if (first < 0) return false;
  const int32_t second = FindDateSeparator(aText, first + 1);
  if (second < 0) return false;
  int32_t a = 0, b = 0, c = 0;
  if (!aText.Left(first).ParseInt(a) || !aText.Mid(first + 1, second - first - 1).ParseInt(b) ||
      !aText.Mid(second + 1).ParseInt(c))
    return false;
  int32_t year, month, day;
  if (first >= 3) {
    year = a, month = b, day = c;
  } else {
    day = a, month = b, year = c;
    if (year >= 0 && year < 90)
      year += 2000;
    else if (year >= 90 && year < 100)
      year += 1900;
  }
  // Out-of-range fields would make a code that belongs to another date.
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0 || year > 9999) return false;
  iValue = FromDate(year, month, day).iValue;
  return true;
}

void PwTime::FormatDuration(CPwString& aTarget, int32_t aDecimals, bool aPlus,
                            bool aRound) const {
  const int32_t d = ClampDecimals(aDecimals);
  const int64_t scale = KPow10[d];
  const int64_t unit = 1000 / scale;
  TTextBuf buf;
  // 64-bit so that the magnitude of the most negative value and rounding near the top of the
  // range cannot overflow.
  int64_t v = iValue;
  if (v < 0) {
    buf.Char('-');
    v = -v;
  } else if (aPlus) {
    buf.Char('+');
  }
  if (aRound) v += 500 / scale;
  int64_t n = v / unit;
  const int64_t hours = n / (3600 * scale);
  n %= 3600 * scale;
  const int64_t minutes = n / (60 * scale);
  n %= 60 * scale;
  const int64_t seconds = n / scale;
  const int64_t fraction = n % scale;
  if (hours > 0) {
    buf.Num(hours);
    buf.Char(':');
  }
  if (hours > 0 || minutes > 0) {
    buf.Num(minutes, hours > 0 ? 2 : 0);
    buf.Char(':');
  }
  buf.Num(seconds, hours > 0 || minutes > 0 ? 2 : 0);
  if (d > 0) {
    buf.Char('.');
    buf.Num(fraction, d);
  }
  aTarget.Copy(buf.View());
}

void PwTime::FormatHourMinute(CPwString& aTarget) const {
  const int32_t t = TimeOfDay(iValue);
  TTextBuf buf;
  WriteTwo(buf, t / KHour);
  buf.Char(':');
  WriteTwo(buf, t % KHour / KMinute);
  aTarget.Copy(buf.View());
}

void PwTime::FormatTimeOfDay(CPwString& aTarget, int32_t aDecimals) const {
  const int32_t d = ClampDecimals(aDecimals);
  const int32_t t = TimeOfDay(iValue);
  TTextBuf buf;
  WriteTwo(buf, t / KHour);
  buf.Char(':');
  WriteTwo(buf, t % KHour / KMinute);
  buf.Char(':');
  WriteTwo(buf, t % KMinute / KSecond);
  if (d > 0) {
    buf.Char('.');
    buf.Num(t % KSecond / KPow10[3 - d], d);
  }
  aTarget.Copy(buf.View());
}

void PwTime::FormatDate(CPwString& aTarget) const {
  TTextBuf buf;
  WriteTwo(buf, Day());
  buf.Char('/');
  WriteTwo(buf, Month());
  buf.Char('/');
  buf.Num(Year());
  aTarget.Copy(buf.View());
}

void PwTime::FormatDateShort(CPwString& aTarget) const {
  TTextBuf buf;
  WriteTwo(buf, Day());
  buf.Char('/');
  WriteTwo(buf, Month());
  buf.Char('/');
  WriteTwo(buf, (Year() % 100 + 100) % 100);
  aTarget.Copy(buf.View());
}

void PwTime::AppendNmeaTime(CPwByteArray& aTarget, int32_t aDecimals) const {
  const int32_t t = TimeOfDay(iValue);
  const int32_t ms = t % KSecond;
  TTextBuf buf;
  WriteTwo(buf, t / KHour);
  WriteTwo(buf, t % KHour / KMinute);
  WriteTwo(buf, t % KMinute / KSecond);
  // Other decimal counts write the whole seconds only.
  if (aDecimals >= 1 && aDecimals <= 3) {
    buf.Char('.');
    buf.Num(ms / KPow10[3 - aDecimals], aDecimals);
  }
  uint8_t bytes[sizeof(TTextBuf)];
  for (int32_t i = 0; i < buf.Length(); ++i) bytes[i] = static_cast<uint8_t>(buf.Ptr()[i]);
  aTarget.Append(CPwByteArrayC(bytes, buf.Length()));
}

void PwTime::FormatSpoken(CPwString& aTarget, int32_t aDecimals, bool aPlus) const {
  const int32_t d = ClampDecimals(aDecimals);
  const int64_t scale = KPow10[d];
  const int64_t unit = 1000 / scale;
  // Tenths and hundredths are rounded to the spoken digit; whole seconds and milliseconds are
  // truncated.
  const int64_t rounding = (d == 1 || d == 2) ? 500 / scale : 0;
  TTextBuf buf;
  int64_t v = iValue;
  if (v < 0) {
    buf.Ascii("minus;");
    v = -v;
  } else if (aPlus) {
    buf.Ascii("plus;");
  }
  int64_t n = (v + rounding) / unit;
  const int64_t hours = n / (3600 * scale);
  if (hours == 1) {
    buf.Ascii("1;hour;");
  } else if (hours > 1) {
    buf.Num(hours);
    buf.Ascii(";hours;");
  }
  n %= 3600 * scale;
  const int64_t minutes = n / (60 * scale);
  if (minutes == 1) {
    buf.Ascii("1;minute;");
  } else if (minutes > 1) {
    buf.Num(minutes);
    buf.Ascii(";minutes;");
  }
  n %= 60 * scale;
  const int64_t seconds = n / scale;
  if (seconds > 0) {
    buf.Num(seconds);
    buf.Char(';');
  }
  n %= scale;
  if (d > 0) {
    if (seconds == 0) buf.Ascii("0;");
    buf.Ascii("point;");
    for (int32_t k = d - 1; k >= 0; --k) {
      buf.Num(n / KPow10[k] % 10);
      buf.Char(';');
    }
    buf.Ascii("seconds");
  } else if (seconds == 1) {
    buf.Ascii("second");
  } else if (seconds >= 2) {
    buf.Ascii("seconds");
  }
  aTarget.Copy(buf.View());
}

// ---- PwDateTime ----

bool PwDateTime::ToEpochMs(int64_t* aMs) const {
  if (!IsSet()) return false;
  const int32_t code = iDate.Milliseconds();
  const int32_t t = iTime.Milliseconds();
  if (code < 0 || t < 0 || t >= PwTime::KDay) return false;
  const int64_t year = iDate.Year();
  const int32_t month = iDate.Month();
  const int32_t day = iDate.Day();
  if (year < KFirstYear || year > KLastYear || day > DaysInMonth(year, month)) return false;
  *aMs = DaysFromCivil(year, month, day) * PwTime::KDay + t;
  return true;
}

bool PwDateTime::FromEpochMs(int64_t aMs) {
  const int64_t days = FloorDiv(aMs, PwTime::KDay);
  int64_t year = 0;
  int32_t month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  if (year < KFirstYear || year > KLastYear) return false;
  iDate = PwTime::FromDate(static_cast<int32_t>(year), month, day);
  iTime = PwTime(static_cast<int32_t>(aMs - days * PwTime::KDay));
  return true;
}

bool PwDateTime::AddMilliseconds(int32_t aMilliseconds) {
  int64_t ms = 0;
  if (!ToEpochMs(&ms)) return false;
  PwDateTime moved;
  if (!moved.FromEpochMs(ms + aMilliseconds)) return false;
  *this = moved;
  return true;
}

PwDateTime PwDateTime::NowUtc() {
  PwDateTime now;
  now.FromEpochMs(pwplat::ClockUtcNowMs());
  return now;
}

PwDateTime PwDateTime::NowLocal() {
  PwDateTime now;
  int64_t local = 0;
  if (pwplat::ClockUtcToLocalMs(pwplat::ClockUtcNowMs(), &local)) now.FromEpochMs(local);
  return now;
}

// ---- PwTimeConverter ----

PwDateTime PwTimeConverter::LocalToUtc(const PwDateTime& aLocal) const {
  PwDateTime result;
  int64_t local = 0, utc = 0;
  if (aLocal.ToEpochMs(&local) && pwplat::ClockLocalToUtcMs(local, &utc) &&
      result.FromEpochMs(utc))
    return result;
  return PwDateTime();
}

PwDateTime PwTimeConverter::UtcToLocal(const PwDateTime& aUtc) const {
  PwDateTime result;
  int64_t utc = 0, local = 0;
  if (aUtc.ToEpochMs(&utc) && pwplat::ClockUtcToLocalMs(utc, &local) &&
      result.FromEpochMs(local))
    return result;
  return PwDateTime();
}

// ---- PwStopwatch ----

void PwStopwatch::Start() { StartAt(pwplat::ClockTickMs()); }

PwTime PwStopwatch::Elapsed() const { return ElapsedAt(pwplat::ClockTickMs()); }

PwTime PwStopwatch::ElapsedAt(uint32_t aTick) const {
  if (!iRunning) return PwTime(0);
  // Unsigned subtraction is exact across the wrap of the 32-bit counter.
  return PwTime(static_cast<int32_t>(aTick - iStartTick));
}
