// The text field of EditText: single-line, multi-line or numeric. Typed text comes from the
// application's text input (MTextEntryObserver) while the field takes typing; editing keys
// (arrows, backspace, return) arrive as GUI keys. On beginning, the whole text is selected, so
// typing replaces it.
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "app/gui_observer.h"
#include "foundation/pw_string.h"

class CTextEditorControl : public CCustomControl, public MTextEntryObserver {
 public:
  CTextEditorControl(CCustomControl* aParent, bool aMultiLine, bool aNumeric);
  ~CTextEditorControl() override;

  void SetTextL(CPwStringC aText);
  CPwStringC Text() const { return iText; }
  int32_t Caret() const { return iCaret; }
  bool AllSelected() const { return iAllSelected; }
  bool IsMultiLine() const { return iMultiLine; }
  bool IsNumeric() const { return iNumeric; }

  // Hands the field to the application's text input (and selects all) / takes it back.
  void BeginEntry();
  void EndEntry();
  bool TakingTyping() const { return iEntryActive; }

  // --- MTextEntryObserver: typed text goes in at the caret, replacing a selection.
  void TextEntryInput(CPwStringC aText) override;

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

  // Height that shows aLines lines of the field's font.
  int32_t HeightForLines(int32_t aLines);

 private:
  void InsertL(CPwStringC aText);
  void Changed();
  void FillEntryRecord();

  CPwString iText;
  int32_t iCaret = 0;
  bool iAllSelected = false;
  bool iMultiLine = false;
  bool iNumeric = false;
  bool iEntryActive = false;
  int32_t iScrollX = 0;  // single line: pixels scrolled to keep the caret in sight
  TTextEntry iEntry;
};
