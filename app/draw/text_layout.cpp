#include "app/draw/text_layout.h"

#include <cstdlib>

#include "app/draw/pw_font.h"

namespace {

bool IsHardBreak(char16_t aChar) { return aChar == u'\n' || aChar == 0x2028 || aChar == 0x2029; }

// Lays out one paragraph [aStart, aEnd) that holds no hard break.
void WrapParagraph(CPwFont& aFont, CPwStringC aText, int32_t aStart, int32_t aEnd, int32_t aWidth,
                   CPwVector<TPwTextLine>& aLines) {
  int32_t pos = aStart;
  do {
    const int32_t lineStart = pos;
    int32_t width = 0;
    int32_t breakAt = -1;  // a space after some content, where the line may end
    int32_t breakWidth = 0;
    int32_t contentEnd = lineStart;  // end of the last non-space character
    int32_t contentWidth = 0;
    bool wrapped = false;
    while (pos < aEnd) {
      const int32_t charStart = pos;
      const uint32_t cp = CPwFont::NextCodePoint(aText, pos);
      const int32_t advance = aFont.CharWidth(cp);
      if (cp == u' ') {
        // The first space after a word is where the line would end.
        if (contentEnd > lineStart && contentEnd == charStart) {
          breakAt = charStart;
          breakWidth = contentWidth;
        }
        width += advance;
        continue;
      }
      if (width + advance > aWidth && charStart > lineStart) {
        if (breakAt >= 0) {
          aLines.Append(TPwTextLine{lineStart, breakAt - lineStart, breakWidth});
          pos = breakAt;
        } else {
          // A word wider than the line: break it before this character.
          aLines.Append(TPwTextLine{lineStart, charStart - lineStart, width});
          pos = charStart;
        }
        // Spaces at the break are dropped.
        while (pos < aEnd && aText.Ptr()[pos] == u' ') ++pos;
        wrapped = true;
        break;
      }
      width += advance;
      contentEnd = pos;
      contentWidth = width;
    }
    if (!wrapped) {
      aLines.Append(TPwTextLine{lineStart, contentEnd - lineStart, contentWidth});
      break;
    }
  } while (pos < aEnd);
}

}  // namespace

void WrapText(CPwFont& aFont, CPwStringC aText, int32_t aWidth, CPwVector<TPwTextLine>& aLines) {
  aLines.Reset();
  const int32_t length = aText.Length();
  int32_t start = 0;
  while (start < length) {
    int32_t end = start;
    while (end < length && !IsHardBreak(aText.Ptr()[end])) ++end;
    int32_t textEnd = end;
    if (textEnd > start && aText.Ptr()[textEnd - 1] == u'\r') --textEnd;
    if (textEnd == start)
      aLines.Append(TPwTextLine{start, 0, 0});
    else
      WrapParagraph(aFont, aText, start, textEnd, aWidth, aLines);
    if (end == length) break;
    start = end + 1;
    // A break at the very end starts one more, empty line.
    if (start == length) aLines.Append(TPwTextLine{start, 0, 0});
  }
}

TPwTextExtent MeasureWrapped(CPwFont& aFont, CPwStringC aText, int32_t aWidth) {
  CPwVector<TPwTextLine> lines(16);
  WrapText(aFont, aText, aWidth, lines);
  TPwTextExtent extent;
  extent.iLines = lines.Count();
  for (const TPwTextLine& line : lines)
    if (line.iWidth > extent.iWidth) extent.iWidth = line.iWidth;
  return extent;
}

int32_t FittingLength(CPwFont& aFont, CPwStringC aText, int32_t aWidth) {
  int32_t width = 0;
  int32_t pos = 0;
  while (pos < aText.Length()) {
    int32_t next = pos;
    width += aFont.CharWidth(CPwFont::NextCodePoint(aText, next));
    if (width > aWidth) break;
    pos = next;
  }
  return pos;
}

int32_t MiddleSpace(CPwStringC aText) {
  const int32_t length = aText.Length();
  int32_t best = -1;
  int32_t bestDistance = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (aText.Ptr()[i] != u' ') continue;
    // Distance of the space's centre to the text's centre, in half characters.
    const int32_t distance = std::abs(2 * i + 1 - length);
    if (best < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}
