// The dialog service on the real GUI and the headless loop: notes that close themselves,
// softkeys per note kind, questions, stacked dialogs, text entry, choices, the progress
// dialog's delay and cancel, and a dialog's picture against the project's reference.
#include <gtest/gtest.h>

#include "app/dialogs/dialog_controls.h"
#include "app/dialogs/dialogs.h"
#include "foundation/worker.h"
#include "gui_harness.h"

namespace {

using pwtest::BareGui;

// Runs aCall (which shows a modal dialog) on the loop and aAnswer on the loop's later turns
// while the dialog is up; returns whether aCall came back.
bool RunModal(BareGui& aGui, const std::function<void()>& aCall, const std::function<void(CDialogControl&)>& aAnswer) {
  bool started = false, returned = false;
  const bool met = aGui.RunUntil([&] { return returned; },
                                 [&] {
                                   if (!started) {
                                     started = true;
                                     aCall();
                                     returned = true;
                                     return;
                                   }
                                   CDialogControl* dialog = aGui.iGui->Dialogs().CurrentModal();
                                   // A closed dialog may still be current until its loop takes the next turn.
                                   if (dialog && !dialog->IsClosed()) aAnswer(*dialog);
                                 });
  return met && returned;
}

TEST(NoteTest, AnInformationNoteClosesItselfAfterThreeSeconds) {
  BareGui g;
  int32_t shownAt = -1;
  bool openAt2999 = false;
  ASSERT_TRUE(RunModal(
      g, [&] { g.iGui->Dialogs().ShowNote(CDialogs::EInformation, u"Import successful."); },
      [&](CDialogControl& aDialog) {
        if (shownAt < 0) {
          shownAt = g.iWindow.iNow;
          auto& note = dynamic_cast<CNoteDialogControl&>(aDialog);
          EXPECT_EQ(note.Title(), CPwStringC(u"Information"));
          EXPECT_FALSE(note.ShowsSoftkeyLabels());
          EXPECT_FALSE(g.iGui->DialogManager().Rect().IsEmpty());
          g.iWindow.Advance(2999);
          openAt2999 = g.iGui->Dialogs().CurrentModal() == &aDialog;
          return;
        }
        g.iWindow.Advance(1);
      }));
  EXPECT_TRUE(openAt2999);
  EXPECT_EQ(g.iWindow.iNow - shownAt, CNoteDialogControl::KSelfCloseMs);
  EXPECT_EQ(g.iGui->DialogManager().DialogCount(), 0);
  EXPECT_TRUE(g.iGui->DialogManager().Rect().IsEmpty());
}

TEST(NoteTest, ErrorNotesCloseWithTheirSoftkeysOnly) {
  BareGui g;
  // Kind 5: the left softkey closes it (and so would the middle one).
  ASSERT_TRUE(RunModal(g, [&] { g.iGui->Dialogs().ShowNote(CDialogs::EConfirmedError, u"Could not load."); },
                       [&](CDialogControl& aDialog) {
                         EXPECT_TRUE(aDialog.ShowsSoftkeyLabels());
                         EXPECT_FALSE(g.iWindow.TimerArmed()) << "a confirmed note waits for the user";
                         g.iWindow.Press(0xF805);
                       }));
  // Kind 4: the left softkey does nothing, Enter (the middle one) closes it.
  int32_t presses = 0;
  bool survivedLeft = false;
  ASSERT_TRUE(RunModal(g, [&] { g.iGui->Dialogs().ShowNote(CDialogs::EError, u"Could not save."); },
                       [&](CDialogControl& aDialog) {
                         if (presses++ == 0) {
                           g.iWindow.Press(0xF805);
                           g.iWindow.Press(0xF806);
                           survivedLeft = !aDialog.IsClosed();
                         } else {
                           g.iWindow.Press(0xF800);
                         }
                       }));
  EXPECT_TRUE(survivedLeft);
}

TEST(QuestionTest, YesNoAndADialogOpenedAboveAnotherReturnsFirst) {
  BareGui g;
  int32_t answer = -1;
  ASSERT_TRUE(RunModal(g, [&] { answer = g.iGui->Dialogs().Ask(u"Delete the session?"); },
                       [&](CDialogControl&) { g.iWindow.Press(0xF805); }));
  EXPECT_EQ(answer, 1);
  ASSERT_TRUE(RunModal(g, [&] { answer = g.iGui->Dialogs().Ask(u"Delete the session?"); },
                       [&](CDialogControl&) { g.iWindow.Press(0xF806); }));
  EXPECT_EQ(answer, 0);
  // A tap on the "Yes" label answers too.
  ASSERT_TRUE(RunModal(g, [&] { answer = g.iGui->Dialogs().Ask(u"Overwrite?"); },
                       [&](CDialogControl& aDialog) {
                         const TPwRect box = aDialog.Box();
                         g.iWindow.Tap(box.iLeft + 20, box.iBottom - 5);
                       }));
  EXPECT_EQ(answer, 1);

  std::vector<std::string> order;
  ASSERT_TRUE(RunModal(
      g,
      [&] {
        answer = g.iGui->Dialogs().Ask(u"Outer?");
        order.push_back("outer");
      },
      [&](CDialogControl& aDialog) {
        if (g.iGui->DialogManager().DialogCount() == 1 && order.empty()) {
          g.iGui->Dialogs().ShowNote(CDialogs::EConfirmedInformation, u"Inner");
          order.push_back("inner");
          return;
        }
        (void)aDialog;
        g.iWindow.Press(0xF805);
      }));
  EXPECT_EQ(order, (std::vector<std::string>{"inner", "outer"}));
  EXPECT_EQ(answer, 1);
}

TEST(TextEntryTest, TypingReplacesTheSelectionAndCancelKeepsTheText) {
  BareGui g;
  CPwString text(u"Old name");
  int32_t result = -1;
  ASSERT_TRUE(RunModal(g, [&] { result = g.iGui->Dialogs().EditText(text, u"Session title", false, false); },
                       [&](CDialogControl&) {
                         ASSERT_NE(g.iWindow.iEntry, nullptr);
                         EXPECT_EQ(g.iWindow.iEntry->iMultiLine, 0);
                         g.iWindow.Type("Monza\nmorning");
                         g.iWindow.Press(0x7F);
                         g.iWindow.Press(0xF800);
                       }));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(text, CPwStringC(u"Monza mornin"));
  EXPECT_EQ(g.iWindow.iEntry, nullptr) << "typing goes back to the GUI";

  ASSERT_TRUE(RunModal(g, [&] { result = g.iGui->Dialogs().EditText(text, u"Session title", false, false); },
                       [&](CDialogControl&) {
                         g.iWindow.Type("Other");
                         g.iWindow.Press(0xF806);
                       }));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(text, CPwStringC(u"Monza mornin"));

  // Numbers keep only what a number can hold; a note keeps its line breaks.
  CPwString number(u"5");
  ASSERT_TRUE(RunModal(g, [&] { result = g.iGui->Dialogs().EditText(number, u"Width", false, true); },
                       [&](CDialogControl&) {
                         g.iWindow.Type("12a.5 m");
                         g.iWindow.Press(0xF805);
                       }));
  EXPECT_EQ(number, CPwStringC(u"12.5"));
  CPwString notes(u"");
  ASSERT_TRUE(RunModal(g, [&] { result = g.iGui->Dialogs().EditText(notes, u"Session notes", true, false); },
                       [&](CDialogControl&) {
                         g.iWindow.Type("Dry");
                         g.iWindow.Press(0xF800);
                         g.iWindow.Type("Cold");
                         g.iWindow.Press(0xF805);
                       }));
  EXPECT_EQ(notes, CPwStringC(u"Dry\nCold"));
}

TEST(SelectionTest, ChoicesByKeysAndTrapTypesFollowTheTrack) {
  BareGui g;
  CPwStringList choices;
  choices.AppendCopy(u"First");
  choices.AppendCopy(u"Second");
  choices.AppendCopy(u"Third");
  int32_t chosen = -2;
  ASSERT_TRUE(RunModal(g, [&] { chosen = g.iGui->Dialogs().SelectFromList(u"Pick", u"One of these", choices, 0); },
                       [&](CDialogControl&) {
                         g.iWindow.Press(0xF804);
                         g.iWindow.Press(0xF800);
                       }));
  EXPECT_EQ(chosen, 1);
  ASSERT_TRUE(RunModal(g, [&] { chosen = g.iGui->Dialogs().SelectFromList(u"Pick", u"", choices, 2); },
                       [&](CDialogControl&) { g.iWindow.Press(0xF806); }));
  EXPECT_EQ(chosen, -1);

  // With a start line, only finish and split lines are offered; with both, only a split.
  int32_t type = -1;
  int32_t offered = 0;
  ASSERT_TRUE(RunModal(g, [&] { type = g.iGui->Dialogs().SelectTrapType(true, false); },
                       [&](CDialogControl& aDialog) {
                         auto& selection = dynamic_cast<CSelectionDialogControl&>(aDialog);
                         offered = selection.List().Count();
                         EXPECT_EQ(selection.List().ItemAt(0).iTitle, CPwStringC(u"Finish line"));
                         g.iWindow.Press(0xF805);
                       }));
  EXPECT_EQ(offered, 2);
  EXPECT_EQ(type, 2);
  ASSERT_TRUE(RunModal(g, [&] { type = g.iGui->Dialogs().SelectTrapType(true, true); },
                       [&](CDialogControl& aDialog) {
                         offered = dynamic_cast<CSelectionDialogControl&>(aDialog).List().Count();
                         g.iWindow.Press(0xF800);
                       }));
  EXPECT_EQ(offered, 1);
  EXPECT_EQ(type, 4);
  ASSERT_TRUE(RunModal(g, [&] { type = g.iGui->Dialogs().SelectTrapType(false, false); },
                       [&](CDialogControl&) { g.iWindow.Press(0xF806); }));
  EXPECT_EQ(type, 0);

  // Several marks, toggled with Enter and confirmed with OK.
  CPwVector<int32_t> marks(4);
  for (int i = 0; i < 3; ++i) marks.Append(0);
  int32_t confirmed = 0;
  ASSERT_TRUE(RunModal(g, [&] { confirmed = g.iGui->Dialogs().SelectMultiple(u"Channels", choices, marks); },
                       [&](CDialogControl&) {
                         g.iWindow.Press(0xF800);
                         g.iWindow.Press(0xF804);
                         g.iWindow.Press(0xF804);
                         g.iWindow.Press(0xF800);
                         g.iWindow.Press(0xF805);
                       }));
  EXPECT_EQ(confirmed, 1);
  EXPECT_EQ(marks.At(0), 1);
  EXPECT_EQ(marks.At(1), 0);
  EXPECT_EQ(marks.At(2), 1);
}

// --- Progress ---------------------------------------------------------------------------------

// Each step takes aStepMs on the GUI's clock.
class TimedWorker final : public CWorker, public MWorkerObserver {
 public:
  TimedWorker(pwtest::FakeWindow& aWindow, CDialogs& aDialogs, int32_t aSteps, int32_t aStepMs)
      : iWindow(&aWindow), iDialogs(&aDialogs), iSteps(aSteps), iStepMs(aStepMs) {}
  int32_t Step() override {
    iWindow->Advance(iStepMs);
    if (iDialogs->Progress() && iDialogs->Progress()->IsVisible()) {
      if (iShownAtStep < 0) iShownAtStep = iDone;
    }
    // A real step takes its time; the user's key gets a turn.
    if (iPause) std::this_thread::sleep_for(std::chrono::microseconds(100));
    return ++iDone < iSteps;
  }
  void Cancel() override { iWorkerCancelled = true; }
  int32_t ProgressTotal() override { return iSteps; }
  int32_t ProgressValue() override { return iDone; }
  void WorkerDone(int32_t aCode) override {
    iEnded = true;
    iCode = aCode;
  }
  void WorkerCancelled() override { iEnded = iCancelled = true; }

  pwtest::FakeWindow* iWindow;
  CDialogs* iDialogs;
  int32_t iSteps, iStepMs;
  int32_t iDone = 0;
  int32_t iShownAtStep = -1;
  bool iPause = false;
  bool iEnded = false, iCancelled = false, iWorkerCancelled = false;
  int32_t iCode = -1;
};

TEST(ProgressTest, AShortWorkerNeverShowsTheDialogALongOneDoesAndCanBeCancelled) {
  BareGui g;
  CDialogs& dialogs = g.iGui->Dialogs();
  CWorkerEngine engine(&g.iLoop, &dialogs);

  TimedWorker quick(g.iWindow, dialogs, 4, 100);
  engine.Start(&quick, &quick, 0);
  ASSERT_NE(dialogs.Progress(), nullptr);
  EXPECT_FALSE(dialogs.Progress()->IsVisible());
  EXPECT_TRUE(g.iGui->DialogManager().Rect().IsEmpty()) << "a hidden progress dialog takes no events";
  ASSERT_TRUE(g.RunUntil([&] { return quick.iEnded; }));
  EXPECT_EQ(quick.iCode, KErrNone);
  EXPECT_EQ(quick.iShownAtStep, -1);
  EXPECT_EQ(dialogs.Progress(), nullptr);
  EXPECT_EQ(g.iGui->PendingTimerCount(), 0) << "closing cancels the delay";

  TimedWorker slow(g.iWindow, dialogs, 10, 100);
  engine.Start(&slow, &slow, 0);
  ASSERT_TRUE(g.RunUntil([&] { return slow.iEnded; }));
  EXPECT_EQ(slow.iShownAtStep, 4) << "visible once 500 ms have passed";
  EXPECT_EQ(slow.iCode, KErrNone);

  TimedWorker cancelled(g.iWindow, dialogs, 1000000, 100);
  cancelled.iPause = true;
  engine.Start(&cancelled, &cancelled, 0);
  // "Cancel" is pressed between two steps, as a key arrives between two turns of the loop.
  ASSERT_TRUE(g.RunUntil([&] { return cancelled.iEnded; },
                         [&] {
                           if (dialogs.Progress() && dialogs.Progress()->IsVisible()) g.iWindow.Press(0xF806);
                         }));
  EXPECT_TRUE(cancelled.iCancelled);
  EXPECT_TRUE(cancelled.iWorkerCancelled);
  EXPECT_LT(cancelled.iDone, 1000000);
  EXPECT_GE(cancelled.iDone, 5);
  EXPECT_EQ(dialogs.Progress(), nullptr);
  g.iWindow.Finish();
  EXPECT_EQ(g.iGui->DialogManager().DialogCount(), 0);
}

TEST(ProgressTest, ShowingAgainOnlyReplacesTheText) {
  BareGui g;
  CDialogs& dialogs = g.iGui->Dialogs();
  dialogs.ShowProgress(u"Loading...", nullptr, 0);
  CProgressDialogControl* first = dialogs.Progress();
  dialogs.ShowProgress(u"Importing...", nullptr, 1);
  EXPECT_EQ(dialogs.Progress(), first);
  EXPECT_EQ(first->Text(), CPwStringC(u"Importing..."));
  EXPECT_EQ(first->Flag(), 0);
  dialogs.UpdateProgress(3, 7);
  EXPECT_EQ(first->Value(), 3);
  EXPECT_EQ(first->Total(), 7);
  g.iWindow.Advance(500);
  EXPECT_TRUE(first->IsVisible());
  EXPECT_EQ(first->SoftkeyCommand(2), 4108);
  // Visible now: keys stop at it.
  EXPECT_FALSE(g.iGui->DialogManager().Rect().IsEmpty());
  (void)dialogs.CloseProgress();
  EXPECT_EQ(dialogs.Progress(), nullptr);
  EXPECT_EQ(dialogs.CloseProgress(), 0);
}

TEST(DialogPictureTest, AQuestionLooksLikeTheReference) {
  BareGui g;
  int32_t answer = -1;
  ASSERT_TRUE(RunModal(g, [&] { answer = g.iGui->Dialogs().Ask(u"Delete the session \"Morning run\"?"); },
                       [&](CDialogControl&) {
                         g.iWindow.Paint();
                         pwtest::ExpectMatchesReference(*g.iGui->Surface(), "question_dialog.png");
                         g.iWindow.Press(0xF806);
                       }));
  EXPECT_EQ(answer, 0);
}

}  // namespace
