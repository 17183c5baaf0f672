// Measuring and breaking text into lines for a font: dialog texts wrapped to a width, and
// two-line button labels.
#pragma once

#include <cstdint>

#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CPwFont;

// One laid-out line: a range of the text (trailing blanks excluded) and its width.
struct TPwTextLine {
  int32_t iStart = 0;
  int32_t iLength = 0;
  int32_t iWidth = 0;
};

// Breaks text into lines no wider than aWidth pixels, replacing aLines. Line feeds, U+2028
// and U+2029 always break (a carriage return before a line feed is dropped); otherwise lines
// break at spaces, which are dropped at the break; a word wider than aWidth is broken
// between characters. Every line holds at least one character, so even a width of 0 ends.
// Empty text gives no lines. Leaves with KErrNoMemory.
void WrapText(CPwFont& aFont, CPwStringC aText, int32_t aWidth, CPwVector<TPwTextLine>& aLines);

// The width of the widest line and the number of lines of the wrapped text.
struct TPwTextExtent {
  int32_t iWidth = 0;
  int32_t iLines = 0;
};
TPwTextExtent MeasureWrapped(CPwFont& aFont, CPwStringC aText, int32_t aWidth);

// How many UTF-16 units of the text fit in aWidth pixels on one line (a surrogate pair is
// never split); for cutting list entries short.
int32_t FittingLength(CPwFont& aFont, CPwStringC aText, int32_t aWidth);

// The index of the space nearest the middle of the text (the earlier one on a tie), where a
// label is split into two lines; -1 when the text has no space.
int32_t MiddleSpace(CPwStringC aText);
