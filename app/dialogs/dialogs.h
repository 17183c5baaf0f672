// The dialog service: every modal exchange with the user (notes, questions, titled
// information, choices, text entry, the fixed dialogs of start-up and sessions) and the
// non-modal progress dialog. A modal call stacks its dialog in the dialog manager, runs the
// scheduler loop again until the dialog closes, and returns the answer.
#pragma once

#include <cstdint>
#include <functional>

#include "app/controls/value_editors.h"
#include "app/gui/menu.h"
#include "app/gui_port.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_string_list.h"
#include "foundation/version.h"
#include "foundation/worker.h"

class CDialogControl;
class CGui;
class CModel;
class CProgressDialogControl;
class CPwDrives;

class CDialogs : public CPwBase, public MModelDialogs, public MProgressDisplay, public MValueEditors {
 public:
  // Note kinds: the title and the softkeys.
  enum TNoteKind : int32_t {
    EInformation = 0,        // "Information", OK in the middle; closes itself
    EConfirmedInformation = 1,
    EWarning = 2,            // "Warning!"; closes itself
    EConfirmedWarning = 3,
    EError = 4,              // "Error!"; closes itself
    EConfirmedError = 5,
  };
  // The program's version as the about note shows it.
  static constexpr char16_t KVersion[] = u"" PW_VERSION;

  // aModel may be null (then the model's fixed dialogs answer as cancelled).
  static CDialogs* NewL(CGui& aGui, CModel* aModel);
  ~CDialogs() override;

  // --- Notes.
  void ShowNote(int32_t aKind, CPwStringC aText);
  void ShowNote(int32_t aKind, uint16_t aTextId);
  void ShowNoteN(int32_t aKind, uint16_t aTextId, int64_t aNumber);
  void ShowNoteU(int32_t aKind, uint16_t aTextId, CPwStringC aText);
  // --- Questions: nonzero for "Yes".
  int32_t Ask(CPwStringC aText);
  int32_t Ask(uint16_t aTextId);
  int32_t AskN(uint16_t aTextId, int64_t aNumber);
  int32_t AskU(uint16_t aTextId, CPwStringC aText);
  // --- Titled information, confirmed with "OK".
  void ShowInformation(CPwStringC aTitle, CPwStringC aText);
  void ShowAbout();
  // --- Text entry: nonzero when confirmed, with the edited text in aText.
  // aHelp (may be empty) is shown above the field.
  int32_t EditText(CPwString& aText, CPwStringC aTitle, bool aMultiLine, bool aNumeric,
                   CPwStringC aHelp = CPwStringC()) override;
  // --- Choices. The index chosen, -1 when cancelled.
  int32_t SelectFromList(CPwStringC aTitle, CPwStringC aText, const CPwStringList& aChoices,
                         int32_t aCurrent) override;
  // Several choices: aMarks holds 1 for every marked entry; nonzero when confirmed (aMarks is
  // unchanged when cancelled).
  int32_t SelectMultiple(CPwStringC aTitle, const CPwStringList& aChoices, CPwVector<int32_t>& aMarks);
  // "Add new trap:": the chosen trap type (1 start, 2 finish, 3 start/finish, 4 split,
  // 5 standing start), 0 when cancelled.
  int32_t SelectTrapType(bool aHasStart, bool aHasFinish);
  // "GPS type" on first use: the choice goes into the settings, which are saved. Nonzero
  // when confirmed.
  int32_t SelectGpsType();
  // A file (or folder with aFolders) under the media, browsing folders: nonzero with the
  // full path in aPath when one was chosen. aExtensions may be empty (every file).
  int32_t ChooseFile(CPwStringC aTitle, const CPwStringList& aExtensions, CPwString& aPath) override;
  // --- The "More" menu and submenus of the toolbar (not modal).
  void OpenMenuL(const CPwVector<TMenuEntry>& aEntries);

  // --- Modal runs: stacks aDialog (not owned), runs the loop until it closes, returns its
  // result. Without a loop to run (a GUI without a scheduler) the answer is 0.
  int32_t RunModal(CDialogControl& aDialog);
  // The dialog being run innermost, null when none (tests).
  CDialogControl* CurrentModal() const { return iCurrentModal; }
  CProgressDialogControl* Progress() const { return iProgress; }

  // The keys-locked screen (made by its own view's code); without one the call does nothing.
  void SetKeysLockedFactory(std::function<CDialogControl*()> aFactory) { iKeysLocked = std::move(aFactory); }

  // --- MModelDialogs
  void ShowErrorNote(CPwStringC aText) override { ShowNote(EConfirmedError, aText); }
  void ShowWarningNote(CPwStringC aText) override { ShowNote(EConfirmedWarning, aText); }
  void ShowStartupWarning() override;
  int32_t SelectStorage(CPwStringC aMissingName, const CPwDrives& aDrives) override;
  int32_t SelectReplacementTrack() override;
  int32_t SelectReplacementTest() override;
  void ShowKeysLocked() override;

  // --- MProgressDisplay
  void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver, int32_t aFlag) override;
  void UpdateProgress(int32_t aValue, int32_t aTotal) override;
  int32_t CloseProgress() override;

 private:
  CDialogs(CGui& aGui, CModel* aModel) : iGui(&aGui), iModel(aModel) {}
  int32_t RunNote(CPwStringC aTitle, CPwStringC aText, int32_t aLeft, int32_t aMiddle, int32_t aRight,
                  bool aLargeFont, bool aConfirmByTap);

  CGui* iGui = nullptr;
  CModel* iModel = nullptr;
  CDialogControl* iCurrentModal = nullptr;
  CProgressDialogControl* iProgress = nullptr;  // owned
  std::function<CDialogControl*()> iKeysLocked;
};
