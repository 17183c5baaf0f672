// The dialog controls of the dialog service: notes, questions and titled information (one
// control), single and multiple choices, text entry, and the non-modal progress dialog.
#pragma once

#include <cstdint>

#include "app/controls/item_list.h"
#include "app/controls/text_editor.h"
#include "app/gui/dialog_manager.h"
#include "foundation/pw_string.h"
#include "foundation/pw_string_list.h"
#include "foundation/worker.h"

// Notes, questions and titled information. "Yes" and "OK" close it with 1, "No" and "Cancel"
// with 0; with confirm-by-tap, Enter or a tap in the text closes it with 1. When both side
// softkeys are blank it closes itself with 1 after KSelfCloseMs.
class CNoteDialogControl : public CDialogControl {
 public:
  static constexpr int32_t KSelfCloseMs = 3000;

  CNoteDialogControl(bool aLargeFont, bool aConfirmByTap);
  ~CNoteDialogControl() override;

  void SetTextsL(CPwStringC aTitle, CPwStringC aText);
  CPwStringC Title() const { return iTitle; }
  CPwStringC Text() const { return iText; }
  bool ClosesItself() const { return !ShowsSoftkeyLabels(); }
  // Starts the self-closing timer where it applies; called once the dialog is up.
  void Shown();

  void TimerExpired() override;
  void Draw() override;

 protected:
  void LayoutBox(const TPwRect& aArea) override;
  int32_t HandleDialogCommand(int32_t aCommand) override;
  int32_t HandleDialogKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandleDialogPointer(int32_t aKind, int32_t aX, int32_t aY) override;

 private:
  int32_t FontIndex() const;

  bool iLargeFont = false;
  bool iConfirmByTap = false;
  CPwString iTitle;
  CPwString iText;
  TPwRect iTextBox;
  bool iTextPressed = false;
};

// One choice (or several) from a list, under a title and an optional explanation.
class CSelectionDialogControl : public CDialogControl, public MItemListObserver {
 public:
  CSelectionDialogControl(bool aMultiple);
  ~CSelectionDialogControl() override;

  // aMarks (multiple choice only) may be null: nothing marked at first.
  void SetContentL(CPwStringC aTitle, CPwStringC aText, const CPwStringList& aChoices, int32_t aCurrent,
                   const CPwVector<int32_t>* aMarks = nullptr);
  CItemListControl& List() { return *iList; }
  // The choice (single) or -1; the marks (multiple).
  int32_t Chosen() const { return iChosen; }
  void Marks(CPwVector<int32_t>& aMarks) const;

  // --- MItemListObserver
  void ItemActivated(CItemListControl& aList, int32_t aIndex) override;

  void Draw() override;

 protected:
  void LayoutBox(const TPwRect& aArea) override;
  int32_t HandleDialogCommand(int32_t aCommand) override;

 private:
  bool iMultiple = false;
  CItemListControl* iList = nullptr;  // owned child
  CPwString iTitle;
  CPwString iText;
  int32_t iTextHeight = 0;
  int32_t iChosen = -1;
};

// A titled text field with "OK" and "Cancel".
class CTextEntryDialogControl : public CDialogControl {
 public:
  CTextEntryDialogControl(bool aMultiLine, bool aNumeric);
  ~CTextEntryDialogControl() override;

  // aHelp (may be empty) explains what to enter; it is shown between the title and the field.
  void SetContentL(CPwStringC aTitle, CPwStringC aText, CPwStringC aHelp = CPwStringC());
  CPwStringC Help() const { return iHelp; }
  CTextEditorControl& Editor() { return *iEditor; }
  // Hands the field to the text input once the dialog is up.
  void Shown();

  void Draw() override;

 protected:
  void LayoutBox(const TPwRect& aArea) override;
  int32_t HandleDialogCommand(int32_t aCommand) override;

 private:
  CTextEditorControl* iEditor = nullptr;  // owned child
  CPwString iTitle;
  CPwString iHelp;
  int32_t iHelpHeight = 0;
};

// The progress dialog: hidden for its first KShowDelayMs, so that a short operation never
// shows it; then visible with "Cancel", which asks the observer to cancel.
class CProgressDialogControl : public CDialogControl {
 public:
  static constexpr int32_t KShowDelayMs = 500;

  CProgressDialogControl(MProgressDialogObserver* aObserver, int32_t aFlag);
  ~CProgressDialogControl() override;

  void SetTextL(CPwStringC aText);
  CPwStringC Text() const { return iText; }
  void SetProgress(int32_t aValue, int32_t aTotal);
  int32_t Value() const { return iValue; }
  int32_t Total() const { return iTotal; }
  int32_t Flag() const { return iFlag; }
  // Arms the delay; called once the dialog is stacked.
  void Shown();

  void TimerExpired() override;
  void Draw() override;

 protected:
  void LayoutBox(const TPwRect& aArea) override;
  int32_t HandleDialogCommand(int32_t aCommand) override;

 private:
  MProgressDialogObserver* iObserver = nullptr;
  int32_t iFlag = 0;
  CPwString iText;
  int32_t iValue = 0;
  int32_t iTotal = 0;
  TPwRect iTextBox;
};
