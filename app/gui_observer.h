// What the GUI asks of the application frame around it (the window, its timer and text input),
// and the text-entry record the GUI hands over while one of its text fields takes typing.
//
// Text entry on this platform: the GUI draws and edits its own text-entry control. Between
// BeginTextEntry and EndTextEntry the window switches the system's text input on and hands
// every piece of typed (or pasted) text to the record's observer, already flattened to one
// line for a single-line record. Keys that edit rather than type (return, arrows, backspace,
// escape, the softkeys) still reach the GUI as key events; keys that type characters do not,
// so a letter never arrives twice. Selecting all text on begin is the control's own business.
#pragma once

#include <cstdint>

#include "foundation/pw_string.h"

class CPwFont;

// Told of text the user typed into the entry; the control inserts it at its caret.
class MTextEntryObserver {
 public:
  virtual void TextEntryInput(CPwStringC aText) = 0;

 protected:
  ~MTextEntryObserver() = default;
};

// Owned by the GUI; the application only reads it between BeginTextEntry and EndTextEntry.
struct TTextEntry {
  // Screen rectangle of the entry (the system's candidate window is placed there).
  int32_t iLeft = 0;
  int32_t iTop = 0;
  int32_t iRight = 0;
  int32_t iBottom = 0;
  // 0xRRGGBB.
  uint32_t iBackgroundColour = 0xFFFFFF;
  uint32_t iTextColour = 0x000000;
  const CPwFont* iFont = nullptr;  // not owned
  CPwString iText;
  MTextEntryObserver* iObserver = nullptr;
  int32_t iMultiLine = 0;  // 0 single line
};

class MGuiObserver {
 public:
  // Repaints the GUI's dirty rectangle in the window, when the GUI needs drawing.
  virtual void RequestRedraw() = 0;
  // A platform notification without effect here.
  virtual void PlatformNotify(int32_t aValue) = 0;
  // Closes the main window, which ends the program after the exit sequence.
  virtual void ExitApplication() = 0;
  // Arms the one-shot GUI timer, replacing a pending one.
  virtual void StartGuiTimer(int32_t aIntervalMs) = 0;
  // The record (not owned) takes typing until EndTextEntry.
  virtual void BeginTextEntry(TTextEntry& aEntry) = 0;
  // The record's font changed.
  virtual void SetTextEntryFont() = 0;
  // A platform notification without effect here.
  virtual void PlatformNotifyNoArg() = 0;
  // Typing goes back to the GUI's keys; the record is forgotten.
  virtual void EndTextEntry() = 0;
  // A platform notification without effect here.
  virtual void PlatformNotifyValue(int32_t aValue) = 0;
  virtual ~MGuiObserver() = default;
};
