// How values look in the readable tables: missing values as "-", times as the lap list shows
// them, reals with fixed decimals.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/pw_time.h"

// "1:23.456" (three decimals); "-" when unset.
std::string DurationText(PwTime aTime);
// Fixed decimals; "-" for NaN.
std::string RealText(double aValue, int aDecimals);
// "yes" or "no".
std::string YesNo(bool aValue);
// "DD/MM/YYYY HH:MM" of a stored UTC time in local time; "-" when unset.
std::string LocalDateTimeText(const PwDateTime& aUtc);
// "YYYY-MM-DD" of a date code; empty when unset.
std::string IsoDate(PwTime aDate);
// An "YYYY-MM-DDTHH:MM:SS.mmmZ" text of a UTC pair; empty when unset.
std::string IsoDateTime(const PwDateTime& aUtc);
