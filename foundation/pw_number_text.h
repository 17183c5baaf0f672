// Number scanning and printing shared by the wide and the 8-bit text types, written once over
// the character type. Scanning is inline because the NMEA parser and the file loaders call it
// for every field.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace pwtext {

// Magnitude and sign to int64, saturating at the limits.
inline int64_t SaturatedSigned(uint64_t aMagnitude, bool aNegative, bool aOverflow) {
  if (aNegative) {
    if (aOverflow || aMagnitude > static_cast<uint64_t>(INT64_MAX) + 1) return INT64_MIN;
    return static_cast<int64_t>(0 - aMagnitude);
  }
  if (aOverflow || aMagnitude > static_cast<uint64_t>(INT64_MAX)) return INT64_MAX;
  return static_cast<int64_t>(aMagnitude);
}

inline int32_t SaturatedInt32(int64_t aValue) {
  return aValue > INT32_MAX ? INT32_MAX : aValue < INT32_MIN ? INT32_MIN : static_cast<int32_t>(aValue);
}

template <class C>
inline unsigned DigitValue(C aChar) {
  return static_cast<unsigned>(aChar) - '0';
}

// Optional sign as the first character, then decimal digits up to the first other character.
template <class C>
inline bool ParseInt(const C* aPtr, int32_t aLength, int64_t& aOut) {
  const C* p = aPtr;
  const C* end = aPtr + aLength;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const C* digits = p;
  uint64_t v = 0;
  bool overflow = false;
  for (; p != end && DigitValue(*p) < 10; ++p) {
    if (v > (UINT64_MAX - 9) / 10) overflow = true;
    v = v * 10 + DigitValue(*p);
  }
  if (p == digits) return false;
  aOut = SaturatedSigned(v, negative, overflow);
  return true;
}

// Exactly representable powers of ten for the exact fast path.
inline constexpr double KPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Correctly rounded conversion of digit text that the fast path could not do exactly.
template <class C>
double ParseRealSlow(const C* aDigits, const C* aEnd, C aSeparator) {
  // Significant digits (leading zeros dropped) followed by "e<exponent>"; past 800 digits the
  // rest cannot change the rounding, so they only move the exponent.
  constexpr int32_t KMaxDigits = 800;
  char buf[KMaxDigits + 16];
  int32_t n = 0;
  int64_t exponent = 0;
  bool afterSeparator = false;
  for (const C* p = aDigits; p != aEnd; ++p) {
    if (*p == aSeparator) {
      afterSeparator = true;
      continue;
    }
    const char digit = static_cast<char>('0' + DigitValue(*p));
    if (n == 0 && digit == '0') {
      if (afterSeparator) --exponent;
      continue;
    }
    if (n < KMaxDigits) {
      buf[n++] = digit;
      if (afterSeparator) --exponent;
    } else if (!afterSeparator) {
      ++exponent;
    }
  }
  if (n == 0) return 0.0;
  if (exponent + n > 400) return HUGE_VAL;
  if (exponent + n < -400) return 0.0;
  int len = std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), "e%lld",
                          static_cast<long long>(exponent));
  double v = 0.0;
  std::from_chars_result r = std::from_chars(buf, buf + n + len, v);
  if (r.ec == std::errc::result_out_of_range) return exponent > 0 ? HUGE_VAL : 0.0;
  return v;
}

// Optional sign, digits with at most one separator; succeeds when a digit was seen.
template <class C>
inline bool ParseReal(const C* aPtr, int32_t aLength, C aSeparator, double& aOut) {
  const C* p = aPtr;
  const C* end = aPtr + aLength;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const C* start = p;
  uint64_t mantissa = 0;
  int32_t exponent = 0;
  bool digit = false, separator = false, exact = true;
  for (; p != end; ++p) {
    const unsigned d = DigitValue(*p);
    if (d < 10) {
      digit = true;
      if (mantissa < 100000000000000000ull) {
        mantissa = mantissa * 10 + d;
        if (separator) --exponent;
      } else {
        exact = false;
      }
    } else if (*p == aSeparator && !separator) {
      separator = true;
    } else {
      break;
    }
  }
  if (!digit) return false;
  double v;
  if (exact && mantissa <= (1ull << 53) && exponent >= -22)
    v = static_cast<double>(mantissa) / KPow10[-exponent];
  else
    v = ParseRealSlow(start, p, aSeparator);
  aOut = negative ? -v : v;
  return true;
}

// Decimal with zero padding to aWidth characters, a minus sign counting towards the width.
template <class Put>
void FormatNum(int64_t aValue, int32_t aWidth, Put&& aPut) {
  char digits[24];
  int n = 0;
  uint64_t magnitude = aValue < 0 ? 0 - static_cast<uint64_t>(aValue) : static_cast<uint64_t>(aValue);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  int32_t used = n;
  if (aValue < 0) {
    aPut('-');
    ++used;
  }
  for (int32_t i = used; i < aWidth; ++i) aPut('0');
  while (n) aPut(digits[--n]);
}

// Upper-case hexadecimal zero-padded to aWidth.
template <class Put>
void FormatHex(uint32_t aValue, int32_t aWidth, Put&& aPut) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[aValue & 15];
    aValue >>= 4;
  } while (aValue);
  for (int32_t i = n; i < aWidth; ++i) aPut('0');
  while (n) aPut(digits[--n]);
}

// Fixed-point form: sign, rounding half up by adding half a unit of the last decimal, zero
// padding so that integer digits + separator + decimals reach aWidth, at least one integer digit.
template <class Put>
void FormatReal(double aValue, int32_t aDecimals, char32_t aSeparator, int32_t aWidth, bool aPlus,
                Put&& aPut) {
  auto putText = [&](const char* aText) {
    while (*aText) aPut(*aText++);
  };
  if (std::isnan(aValue)) {
    putText("NaN");
    return;
  }
  if (aDecimals < 0) aDecimals = 0;
  if (aValue < 0) {
    aPut('-');
    aValue = -aValue;
  } else if (aPlus) {
    aPut('+');
  }
  if (std::isinf(aValue)) {
    putText("Inf");
    return;
  }
  const double half = aDecimals < 23 ? 0.5 / KPow10[aDecimals] : 0.5 * std::pow(10.0, -aDecimals);
  aValue += half;

  const int32_t padBase = aWidth - aDecimals - 1;
  auto putPad = [&](int32_t aIntegerDigits) {
    int32_t pad = padBase - aIntegerDigits;
    if (pad < 0) pad = 0;
    if (aIntegerDigits == 0 && pad == 0) pad = 1;
    for (int32_t i = 0; i < pad; ++i) aPut('0');
  };

  // Exact fast path for the usual magnitudes: the digits are the truncated exact binary value,
  // which is what the 64-digit conversion below yields for them too (a double is never close
  // enough to a decimal boundary of at most 19 places for the 64th digit to carry into it).
  if (aDecimals <= 19 && aValue < 18446744073709551616.0) {
    const uint64_t integer = static_cast<uint64_t>(aValue);
    const double fraction = aValue - static_cast<double>(integer);  // exact
    uint64_t fractionDigits = 0;
    bool exact = true;
    if (fraction > 0 && aDecimals > 0) {
      int e;
      const double m = std::frexp(fraction, &e);
      const uint64_t f = static_cast<uint64_t>(std::ldexp(m, 53));
      const int k = 53 - e;  // fraction = f / 2^k
      if (k < 128) {
        uint64_t scale = 1;
        for (int32_t i = 0; i < aDecimals; ++i) scale *= 10;
        fractionDigits = static_cast<uint64_t>((static_cast<unsigned __int128>(f) * scale) >> k);
      } else {
        exact = false;
      }
    }
    if (exact) {
      char digits[24];
      int n = 0;
      for (uint64_t v = integer; v; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
      putPad(n);
      while (n) aPut(digits[--n]);
      if (aDecimals > 0) {
        aPut(aSeparator);
        for (int32_t i = 0; i < aDecimals; ++i) {
          digits[i] = static_cast<char>('0' + fractionDigits % 10);
          fractionDigits /= 10;
        }
        for (int32_t i = aDecimals - 1; i >= 0; --i) aPut(digits[i]);
      }
      return;
    }
  }

  // Up to 64 significant digits and the position of the decimal point (ecvt style).
  constexpr int KDigits = 64;
  char text[KDigits + 16];
  std::snprintf(text, sizeof text, "%.*e", KDigits - 1, aValue);
  char digits[KDigits];
  int count = 0;
  const char* p = text;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9' && count < KDigits) digits[count++] = *p;
  const int point = (*p == 'e' ? std::atoi(p + 1) : 0) + 1;
  auto digitAt = [&](int64_t aIndex) -> char {
    return aIndex >= 0 && aIndex < count ? digits[aIndex] : '0';
  };

  const int32_t integerDigits = point > 0 ? point : 0;
  putPad(integerDigits);
  for (int32_t i = 0; i < integerDigits; ++i) aPut(digitAt(i));
  if (aDecimals > 0) {
    aPut(aSeparator);
    for (int32_t i = 0; i < aDecimals; ++i) aPut(digitAt(static_cast<int64_t>(point) + i));
  }
}

}  // namespace pwtext
