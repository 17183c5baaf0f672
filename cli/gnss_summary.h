// The receiver's health as the command line shows it: a "gnss" member of the JSON output and
// two or three lines of text under a lap table.
#pragma once

#include <string>

#include "storage/gnss_health.h"

class CJsonWriter;

// Writes the member "gnss": an object with the figures, or null when they are not known (a
// session stored before they were kept).
void WriteGnssJson(CJsonWriter& aJson, const TGnssHealth& aHealth);
// The text lines, each ending in a newline; empty when nothing is known.
std::string GnssText(const TGnssHealth& aHealth);
