#include "app/controls/text_editor.h"

#include "app/draw/pw_font.h"
#include "app/draw/text_layout.h"
#include "app/gui/layout.h"

namespace {

constexpr TPwColour KFieldBackground = 0xFFFFFF;
constexpr TPwColour KFieldText = 0x000000;
constexpr TPwColour KFieldBorder = 0x4070C0;
constexpr TPwColour KSelection = 0x3060C0;
constexpr int32_t KPadding = 6;

bool NumericChar(char16_t aChar) {
  return (aChar >= u'0' && aChar <= u'9') || aChar == u'-' || aChar == u'+' || aChar == u'.' || aChar == u',';
}

}  // namespace

CTextEditorControl::CTextEditorControl(CCustomControl* aParent, bool aMultiLine, bool aNumeric)
    : CCustomControl(aParent), iMultiLine(aMultiLine), iNumeric(aNumeric) {}

CTextEditorControl::~CTextEditorControl() {
  if (iEntryActive) EndEntry();
}

void CTextEditorControl::SetTextL(CPwStringC aText) {
  iText.Copy(aText);
  if (!iMultiLine) iText.FlattenLines();
  iCaret = iText.Length();
  iAllSelected = false;
  Invalidate();
}

void CTextEditorControl::FillEntryRecord() {
  iEntry.iLeft = iRect.iLeft;
  iEntry.iTop = iRect.iTop;
  iEntry.iRight = iRect.iRight;
  iEntry.iBottom = iRect.iBottom;
  iEntry.iBackgroundColour = KFieldBackground;
  iEntry.iTextColour = KFieldText;
  CLayout* layout = Layout();
  iEntry.iFont = layout ? &layout->Font(CLayout::EFontNormal) : nullptr;
  iEntry.iObserver = this;
  iEntry.iMultiLine = iMultiLine ? 1 : 0;
}

void CTextEditorControl::BeginEntry() {
  FillEntryRecord();
  iEntry.iText.Copy(iText);
  iAllSelected = iText.Length() > 0;
  iCaret = iText.Length();
  iEntryActive = true;
  if (MCustomControlObserver* observer = ControlObserver()) {
    observer->BeginTextEntry(iEntry);
    observer->SetTextEntryFont();
  }
  Invalidate();
}

void CTextEditorControl::EndEntry() {
  if (!iEntryActive) return;
  iEntryActive = false;
  iAllSelected = false;
  iEntry.iText.Copy(iText);
  if (MCustomControlObserver* observer = ControlObserver()) observer->EndTextEntry();
  Invalidate();
}

void CTextEditorControl::SetRect(const TPwRect& aRect) {
  iRect = aRect;
  if (iEntryActive) FillEntryRecord();
  Invalidate();
}

void CTextEditorControl::Changed() {
  iEntry.iText.Copy(iText);
  Invalidate();
  if (iParent) iParent->ChildChanged(this);
}

void CTextEditorControl::InsertL(CPwStringC aText) {
  CPwString accepted;
  for (int32_t i = 0; i < aText.Length(); ++i) {
    char16_t c = aText.CharAt(i);
    if (c == u'\r') continue;
    if (!iMultiLine && (c == u'\n' || c == 0x2028 || c == 0x2029)) c = u' ';
    if (iNumeric && !NumericChar(c)) continue;
    if (c < 0x20 && c != u'\n' && c != u'\t') continue;
    accepted.AppendChar(c);
  }
  if (iAllSelected) {
    iText.Reset();
    iCaret = 0;
    iAllSelected = false;
  }
  if (accepted.IsEmpty()) {
    Invalidate();
    return;
  }
  iText.Insert(iCaret, accepted);
  iCaret += accepted.Length();
  Changed();
}

void CTextEditorControl::TextEntryInput(CPwStringC aText) { InsertL(aText); }

int32_t CTextEditorControl::HandleKey(int32_t aKeyCode, int32_t aShift) {
  switch (aKeyCode) {
    case 0xF801:
      iAllSelected = false;
      if (iCaret > 0) --iCaret;
      Invalidate();
      return 0;
    case 0xF802:
      iAllSelected = false;
      if (iCaret < iText.Length()) ++iCaret;
      Invalidate();
      return 0;
    case 0xF803:
    case 0xF804: {
      if (!iMultiLine) return 1;
      iAllSelected = false;
      // Up and down keep the column within the neighbouring line of the text.
      int32_t lineStart = iCaret;
      while (lineStart > 0 && iText.CharAt(lineStart - 1) != u'\n') --lineStart;
      const int32_t column = iCaret - lineStart;
      if (aKeyCode == 0xF803) {
        if (lineStart == 0) iCaret = 0;
        else {
          int32_t prevStart = lineStart - 1;
          while (prevStart > 0 && iText.CharAt(prevStart - 1) != u'\n') --prevStart;
          const int32_t prevLength = lineStart - 1 - prevStart;
          iCaret = prevStart + (column < prevLength ? column : prevLength);
        }
      } else {
        int32_t lineEnd = iCaret;
        while (lineEnd < iText.Length() && iText.CharAt(lineEnd) != u'\n') ++lineEnd;
        if (lineEnd >= iText.Length()) iCaret = iText.Length();
        else {
          const int32_t nextStart = lineEnd + 1;
          int32_t nextEnd = nextStart;
          while (nextEnd < iText.Length() && iText.CharAt(nextEnd) != u'\n') ++nextEnd;
          iCaret = nextStart + (column < nextEnd - nextStart ? column : nextEnd - nextStart);
        }
      }
      Invalidate();
      return 0;
    }
    case 0x7F:
      if (iAllSelected) {
        iText.Reset();
        iCaret = 0;
        iAllSelected = false;
      } else if (iCaret > 0) {
        iText.Delete(iCaret - 1, 1);
        --iCaret;
      } else {
        return 0;
      }
      Changed();
      return 0;
    case 0xF800:
      // Return breaks the line of a note; a single-line field leaves it to the dialog.
      if (!iMultiLine) return 1;
      InsertL(u"\n");
      return 0;
    default:
      break;
  }
  // Keypad and keyboard keys that reach the GUI as keys (no text input on this host).
  char16_t c = 0;
  if (aKeyCode >= '0' && aKeyCode <= '9') c = static_cast<char16_t>(aKeyCode);
  else if (aKeyCode >= 'A' && aKeyCode <= 'Z' && !iNumeric)
    c = static_cast<char16_t>(aShift ? aKeyCode : aKeyCode - 'A' + 'a');
  else if ((aKeyCode == '*' || aKeyCode == '#') && !iNumeric) c = static_cast<char16_t>(aKeyCode);
  if (c == 0) return 1;
  const char16_t text[2] = {c, 0};
  InsertL(CPwStringC(text, 1));
  return 0;
}

int32_t CTextEditorControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  if (aKind != 0 || !iRect.Contains(aX, aY)) return 1;
  // A tap in the field ends the selection and puts the caret at the end.
  iAllSelected = false;
  iCaret = iText.Length();
  Invalidate();
  return 0;
}

int32_t CTextEditorControl::HeightForLines(int32_t aLines) {
  CLayout* layout = Layout();
  const int32_t line = layout ? layout->Font(CLayout::EFontNormal).Height() : 16;
  return line * (aLines < 1 ? 1 : aLines) + 2 * KPadding;
}

void CTextEditorControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->SetFillColour(KFieldBackground);
  bitmap->SetPen(KFieldBorder, 2, EPenSolid);
  bitmap->DrawRect(iRect);
  CPwFont& font = layout->Font(CLayout::EFontNormal);
  const TPwRect inner = iRect.Shrunk(KPadding);
  const TPwRect clip = bitmap->ClipRect();
  bitmap->SetClipRect(clip.Intersection(inner));
  const TPwColour textColour = iAllSelected ? 0xFFFFFF : KFieldText;
  if (!iMultiLine) {
    const int32_t caretX = font.TextWidth(iText.Left(iCaret));
    const int32_t width = inner.Width() - 2;
    if (caretX - iScrollX > width) iScrollX = caretX - width;
    if (caretX < iScrollX) iScrollX = caretX;
    const int32_t x = inner.iLeft - iScrollX;
    const int32_t y = inner.iTop + (inner.Height() - font.Height()) / 2;
    if (iAllSelected)
      bitmap->FillRect(TPwRect{x, y, x + font.TextWidth(iText), y + font.Height()}, KSelection);
    bitmap->DrawTextAt(iText, font, x, y, textColour);
    if (iEntryActive && !iAllSelected)
      bitmap->FillRect(TPwRect{x + caretX, y, x + caretX + 2, y + font.Height()}, KFieldText);
  } else {
    CPwVector<TPwTextLine> lines(8);
    WrapText(font, iText, inner.Width(), lines);
    // The caret's line is the last one starting at or before it.
    int32_t caretLine = 0;
    for (int32_t i = 0; i < lines.Count(); ++i)
      if (lines.At(i).iStart <= iCaret) caretLine = i;
    const int32_t visible = inner.Height() / font.Height() < 1 ? 1 : inner.Height() / font.Height();
    const int32_t first = caretLine >= visible ? caretLine - visible + 1 : 0;
    for (int32_t i = first; i < lines.Count() && i < first + visible; ++i) {
      const TPwTextLine& line = lines.At(i);
      const int32_t y = inner.iTop + (i - first) * font.Height();
      const CPwStringC part = iText.Mid(line.iStart, line.iLength);
      if (iAllSelected) bitmap->FillRect(TPwRect{inner.iLeft, y, inner.iLeft + line.iWidth, y + font.Height()}, KSelection);
      bitmap->DrawTextAt(part, font, inner.iLeft, y, textColour);
    }
    if (iEntryActive && !iAllSelected) {
      int32_t x = inner.iLeft, y = inner.iTop;
      if (lines.Count() > 0) {
        const TPwTextLine& line = lines.At(caretLine);
        int32_t upTo = iCaret - line.iStart;
        if (upTo > line.iLength) upTo = line.iLength;
        // A caret just after a line feed sits at the start of the next line.
        const bool afterBreak = iCaret > 0 && iText.CharAt(iCaret - 1) == u'\n' && iCaret > line.iStart + line.iLength;
        x += afterBreak ? 0 : font.TextWidth(iText.Mid(line.iStart, upTo));
        y += (caretLine - first + (afterBreak ? 1 : 0)) * font.Height();
      }
      bitmap->FillRect(TPwRect{x, y, x + 2, y + font.Height()}, KFieldText);
    }
  }
  bitmap->SetClipRect(clip);
}
