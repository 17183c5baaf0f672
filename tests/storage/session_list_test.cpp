#include "storage/session_list.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"
#include "support/test_support.h"

namespace {

CPwString W(const std::string& aUtf8) { return PwStringFromUtf8(aUtf8); }

// Points the installation folder (and with it the example session) at a folder of the test.
class ScopedEnv {
 public:
  ScopedEnv(const char* aName, const std::string& aValue) : iName(aName) {
    if (const char* old = std::getenv(aName)) {
      iHad = true;
      iOld = old;
    }
    setenv(aName, aValue.c_str(), 1);
  }
  ~ScopedEnv() {
    if (iHad)
      setenv(iName, iOld.c_str(), 1);
    else
      unsetenv(iName);
  }

 private:
  const char* iName;
  bool iHad = false;
  std::string iOld;
};

// A storage root of the test with its "Pacewright/Sessions/" folder.
struct Medium {
  pwtest::TempDir dir;
  CPwString root;
  Medium() : root(W(dir.Path() + "/")) { EnsureFolders(root); }
  std::string File(const std::string& aId, const char* aSuffix = "-session.bin") const {
    return dir.Path() + "/Pacewright/Sessions/" + aId + aSuffix;
  }
};

void SaveSession(CPwStringC aRoot, const std::string& aId, int32_t aType, const std::string& aTrack,
                 const std::string& aTest, const std::string& aTitle = "t") {
  CSessionInfo info;
  info.SetIdentifier(W(aId));
  info.SetStorageRoot(aRoot);
  info.SetSessionType(aType);
  info.SetTrackName(W(aTrack));
  info.SetTestName(W(aTest));
  info.SetTitle(W(aTitle));
  info.MarkModified();
  ASSERT_EQ(0, info.SaveSafely());
}

class SessionListTest : public ::testing::Test {
 protected:
  SessionListTest()
      : iInstallEnv("PACEWRIGHT_INSTALL", iInstall.Path()),
        iDocumentsEnv("PACEWRIGHT_DOCUMENTS", iA.dir.Path()) {}

  void SetUp() override {
    iDrives.reset(CPwDrives::NewL((iInstall.Path() + "/no-mounts").c_str()));
    iList.reset(new CSessionList(*iDrives));
  }
  void RefreshBoth() {
    CPwStringList roots;
    roots.AppendCopy(iA.root);
    roots.AppendCopy(iB.root);
    iList->RefreshRoots(roots);
  }
  std::vector<std::string> Listed() const {
    std::vector<std::string> out;
    for (int32_t i = 0; i < iList->Count(); ++i) {
      const CSessionInfo* e = iList->At(i);
      out.push_back(PwToUtf8(e->Identifier()) + (e->StorageRoot() == iA.root ? "@A" : "@B"));
    }
    return out;
  }
  std::vector<std::string> Viewed() const {
    std::vector<std::string> out;
    const CSessionFilterList& view = iList->Filter();
    for (int32_t i = 0; i < view.Count(); ++i) out.push_back(PwToUtf8(view.At(i)->Identifier()));
    return out;
  }
  void InstallExample() {
    CPwString root = W(iInstall.Path() + "/examples/");
    ASSERT_TRUE(EnsureFolders(root));
    SaveSession(root, "20070101-0000-example", ESessionLapTiming, "Ring", "", "Example");
  }

  pwtest::TempDir iInstall;
  Medium iA;
  Medium iB;
  ScopedEnv iInstallEnv;
  ScopedEnv iDocumentsEnv;
  std::unique_ptr<CPwDrives> iDrives;
  std::unique_ptr<CSessionList> iList;
};

TEST_F(SessionListTest, ListsNewestFirstAcrossMedia) {
  SaveSession(iA.root, "20070101-1200", ESessionLapTiming, "Ring", "");
  SaveSession(iA.root, "20070102-0900", ESessionLapTiming, "Ring", "");
  SaveSession(iB.root, "20070102-0900", ESessionLapTiming, "Ring", "");
  SaveSession(iB.root, "20070102-0900-1", ESessionLapTiming, "Ring", "");
  RefreshBoth();
  // Same identifier on two media: ascending by root (A's temporary folder is older).
  const bool aFirst = iA.root.Compare(iB.root) < 0;
  std::vector<std::string> expected = {"20070102-0900-1@B", aFirst ? "20070102-0900@A" : "20070102-0900@B",
                                       aFirst ? "20070102-0900@B" : "20070102-0900@A",
                                       "20070101-1200@A"};
  EXPECT_EQ(expected, Listed());
  EXPECT_EQ(4, iList->Filter().Count());
  for (int32_t i = 0; i < iList->Count(); ++i) {
    EXPECT_FALSE(iList->At(i)->NotesLoaded());
    EXPECT_FALSE(iList->At(i)->IsReadOnly());
  }
}

TEST_F(SessionListTest, RefreshUsesEveryMediumOfTheDrivesAndTheExample) {
  SaveSession(iA.root, "20070101-1200", ESessionLapTiming, "Ring", "");
  ASSERT_EQ(1, iDrives->Count());
  ASSERT_EQ(iA.root, iDrives->At(0).RootPath());
  iList->Refresh();
  EXPECT_EQ(std::vector<std::string>{"20070101-1200@A"}, Listed());

  // The shipped example joins the list, read-only, once it is installed.
  InstallExample();
  iList->Refresh();
  ASSERT_EQ(2, iList->Count());
  const CSessionInfo* example = iList->At(1);
  EXPECT_EQ(CSessionList::KExampleIdentifier, example->Identifier());
  EXPECT_EQ(W(iInstall.Path() + "/examples/"), example->StorageRoot());
  EXPECT_TRUE(example->IsReadOnly());
  EXPECT_EQ(W("Example"), example->Title());
}

TEST_F(SessionListTest, LeavesOutWhatCannotBeRead) {
  SaveSession(iA.root, "20070101-1200", ESessionLapTiming, "Ring", "");
  ASSERT_TRUE(pwtest::WriteFileBytes(iA.File("20070102-1200"), std::string("\x09\0\0\0", 4)));
  ASSERT_TRUE(pwtest::WriteFileBytes(iA.File("20070103-1200"), std::string("\x08\0\0", 3)));
  ASSERT_TRUE(pwtest::WriteFileBytes(iA.File(""), std::string("\x08\0\0\0", 4)));  // no name
  ASSERT_TRUE(pwtest::WriteFileBytes(iA.File("20070104-1200", "-plots.bin"), "x"));
  ASSERT_EQ(0, mkdir(iA.File("folder").c_str(), 0700));
  RefreshBoth();
  EXPECT_EQ(std::vector<std::string>{"20070101-1200@A"}, Listed());

  // A medium without a sessions folder, or a missing one, just has nothing.
  CPwStringList roots;
  roots.AppendCopy(W(iInstall.Path() + "/missing/"));
  iList->RefreshRoots(roots);
  EXPECT_EQ(0, iList->Count());
  EXPECT_EQ(nullptr, iList->Filter().Selected());
}

TEST_F(SessionListTest, FilterViewsPickComparisonSessions) {
  SaveSession(iA.root, "20070101-1000", ESessionLapTiming, "Ring", "");
  SaveSession(iA.root, "20070101-1100", ESessionLapTiming, "Ring", "");
  SaveSession(iA.root, "20070101-1200", ESessionLapTiming, "Ring", "");  // the open session
  SaveSession(iA.root, "20070101-1300", ESessionLapTiming, "Hill", "");
  SaveSession(iA.root, "20070101-1400", ESessionPerformance, "Ring", "0-100");
  SaveSession(iB.root, "20070101-1200", ESessionLapTiming, "Ring", "");  // same name elsewhere
  RefreshBoth();
  CSessionFilterList& view = iList->Filter();

  view.SetTrackFilter(W("Ring"), W("20070101-1200"), iA.root, false, *iList);
  EXPECT_EQ((std::vector<std::string>{"20070101-1200", "20070101-1100", "20070101-1000"}), Viewed());
  EXPECT_EQ(iB.root, view.At(0)->StorageRoot());
  EXPECT_EQ(0, view.SelectedIndex());

  // The same filter again keeps the user's choice.
  view.SetSelectedIndex(2);
  view.SetTrackFilter(W("Ring"), W("20070101-1200"), iA.root, false, *iList);
  EXPECT_EQ(W("20070101-1000"), view.Selected()->Identifier());
  // A rebuild after an edit keeps it too, at its new position.
  CSessionInfo edited;
  edited.CopyFrom(*iList->At(iList->IndexOf(W("20070101-1300"), iA.root)));
  edited.SetTrackName(W("Ring"));
  EXPECT_EQ(1, iList->Update(edited));
  EXPECT_EQ(4, view.Count());
  EXPECT_EQ(3, view.SelectedIndex());
  EXPECT_EQ(W("20070101-1000"), view.Selected()->Identifier());
  edited.SetTrackName(W("Hill"));
  EXPECT_EQ(1, iList->Update(edited));

  // Another open session of the same track: the previous exclusion must not stick.
  view.SetTrackFilter(W("Ring"), W("20070101-1100"), iA.root, false, *iList);
  EXPECT_EQ((std::vector<std::string>{"20070101-1200", "20070101-1200", "20070101-1000"}), Viewed());

  view.SetTestFilter(W("0-100"), CPwStringC(), CPwStringC(), true, *iList);
  EXPECT_EQ(std::vector<std::string>{"20070101-1400"}, Viewed());
  EXPECT_EQ(-1, view.SelectedIndex());
  EXPECT_EQ(nullptr, view.Selected());
  view.Rebuild(*iList);
  EXPECT_EQ(-1, view.SelectedIndex());
  view.SetSelectedIndex(-5);
  EXPECT_EQ(-1, view.SelectedIndex());

  view.SetTrackFilter(W("Nowhere"), CPwStringC(), CPwStringC(), false, *iList);
  EXPECT_EQ(0, view.Count());
  EXPECT_EQ(nullptr, view.Selected());

  view.ClearFilter(*iList);
  EXPECT_EQ(6, view.Count());
  EXPECT_EQ(0, view.SelectedIndex());
}

TEST_F(SessionListTest, AddUpdateAndRemoveKeepTheListCurrent) {
  SaveSession(iA.root, "20070101-1000", ESessionLapTiming, "Ring", "");
  SaveSession(iA.root, "20070101-1100", ESessionLapTiming, "Ring", "");
  RefreshBoth();

  CSessionInfo open;
  open.SetIdentifier(W("20070102-0800"));
  open.SetStorageRoot(iA.root);
  open.SetTitle(W("Fresh"));
  open.SetTrackName(W("Ring"));
  CSessionNote note;
  note.SetText(W("n"));
  open.StoreNote(note);
  iList->Add(open);
  ASSERT_EQ(3, iList->Count());
  EXPECT_EQ(W("Fresh"), iList->At(0)->Title());
  EXPECT_FALSE(iList->At(0)->NotesLoaded());
  EXPECT_EQ(0, iList->At(0)->NoteCount());
  EXPECT_EQ(iList->At(0), iList->Filter().Selected());

  open.SetTitle(W("Renamed"));
  EXPECT_EQ(1, iList->Update(open));
  EXPECT_EQ(W("Renamed"), iList->At(0)->Title());
  CSessionInfo stranger;
  stranger.SetIdentifier(W("20070102-0800"));
  stranger.SetStorageRoot(iB.root);
  EXPECT_EQ(0, iList->Update(stranger));
  iList->Remove(stranger);
  EXPECT_EQ(3, iList->Count());

  // Removing deletes all three files of that session only.
  ASSERT_TRUE(pwtest::WriteFileBytes(iA.File("20070101-1100", "-plots.bin"), "p"));
  ASSERT_TRUE(pwtest::WriteFileBytes(iA.File("20070101-1100", "-nmea.txt"), "n"));
  ASSERT_TRUE(pwtest::WriteFileBytes(iA.File("20070101-1000", "-plots.bin"), "p"));
  iList->Filter().SetSelectedIndex(1);
  CSessionInfo victim;
  victim.SetIdentifier(W("20070101-1100"));
  victim.SetStorageRoot(iA.root);
  iList->Remove(victim);
  EXPECT_EQ(2, iList->Count());
  EXPECT_FALSE(FileExists(W(iA.File("20070101-1100"))));
  EXPECT_FALSE(FileExists(W(iA.File("20070101-1100", "-plots.bin"))));
  EXPECT_FALSE(FileExists(W(iA.File("20070101-1100", "-nmea.txt"))));
  EXPECT_TRUE(FileExists(W(iA.File("20070101-1000"))));
  EXPECT_TRUE(FileExists(W(iA.File("20070101-1000", "-plots.bin"))));
  EXPECT_EQ(2, iList->Filter().Count());
  ASSERT_NE(nullptr, iList->Filter().Selected());

  // A session with only its session file goes without complaint.
  CSessionInfo last;
  last.SetIdentifier(W("20070101-1000"));
  last.SetStorageRoot(iA.root);
  iList->Remove(last);
  EXPECT_EQ(1, iList->Count());
  EXPECT_FALSE(FileExists(W(iA.File("20070101-1000"))));

  // The shipped example leaves the list but stays installed.
  InstallExample();
  RefreshBoth();
  const int32_t index = iList->IndexOf(CSessionList::KExampleIdentifier, W(iInstall.Path() + "/examples/"));
  ASSERT_GE(index, 0);
  iList->Remove(*iList->At(index));
  EXPECT_LT(iList->IndexOf(CSessionList::KExampleIdentifier, W(iInstall.Path() + "/examples/")), 0);
  CPwString exampleFile;
  MakeFilePath(EFileSession, W(iInstall.Path() + "/examples/"), CSessionList::KExampleIdentifier, exampleFile);
  EXPECT_TRUE(FileExists(exampleFile));
}

TEST_F(SessionListTest, TrackUsesAndRenamingRewriteOnlyMatchingSessions) {
  SaveSession(iA.root, "20070101-1000", ESessionLapTiming, "Ring", "");
  SaveSession(iA.root, "20070101-1100", ESessionLapTiming, "ring", "");
  SaveSession(iA.root, "20070101-1200", ESessionPerformance, "Ring", "0-100");
  SaveSession(iB.root, "20070101-1300", ESessionLapTiming, "Ring", "");
  // One of them has a note that renaming must keep.
  {
    CSessionInfo withNote;
    withNote.SetIdentifier(W("20070101-1300"));
    withNote.SetStorageRoot(iB.root);
    PwTimeConverter converter;
    ASSERT_EQ(1, withNote.Load(true, converter));
    CSessionNote note;
    note.SetSessionTime(PwTime(5000));
    note.SetText(W("keep me"));
    withNote.StoreNote(note);
    ASSERT_EQ(0, withNote.SaveSafely());
  }
  InstallExample();
  RefreshBoth();
  EXPECT_EQ(3, iList->CountTrackUses(W("Ring")));  // two here, the example
  EXPECT_EQ(1, iList->CountTrackUses(W("ring")));
  EXPECT_EQ(0, iList->CountTrackUses(W("Hill")));

  const std::string untouched = pwtest::ReadFileBytes(iA.File("20070101-1100"));
  const std::string before = pwtest::ReadFileBytes(iA.File("20070101-1000"));
  iList->RenameTrack(W("Ring"), W("Ring"));
  EXPECT_EQ(before, pwtest::ReadFileBytes(iA.File("20070101-1000")));

  iList->RenameTrack(W("Ring"), W("Grand Ring"));
  EXPECT_EQ(1, iList->CountTrackUses(W("Ring")));  // only the read-only example is left
  EXPECT_EQ(2, iList->CountTrackUses(W("Grand Ring")));
  EXPECT_EQ(untouched, pwtest::ReadFileBytes(iA.File("20070101-1100")));

  // The files say so too, and notes survive.
  RefreshBoth();
  EXPECT_EQ(2, iList->CountTrackUses(W("Grand Ring")));
  CSessionInfo check;
  check.SetIdentifier(W("20070101-1300"));
  check.SetStorageRoot(iB.root);
  PwTimeConverter converter;
  ASSERT_EQ(1, check.Load(true, converter));
  EXPECT_EQ(W("Grand Ring"), check.TrackName());
  ASSERT_EQ(1, check.NoteCount());
  EXPECT_EQ(W("keep me"), check.NoteAt(0).Text());
  // The performance session's track field is rewritten as well (it is a plain match).
  CSessionInfo perf;
  perf.SetIdentifier(W("20070101-1200"));
  perf.SetStorageRoot(iA.root);
  ASSERT_EQ(1, perf.Load(false, converter));
  EXPECT_EQ(W("Grand Ring"), perf.TrackName());
  for (int32_t i = 0; i < iList->Count(); ++i) EXPECT_FALSE(iList->At(i)->NotesLoaded());
}

TEST_F(SessionListTest, RenamingLeavesUnreadableSessionsAlone) {
  SaveSession(iA.root, "20070101-1000", ESessionLapTiming, "Ring", "");
  RefreshBoth();
  // The file is damaged after the listing was made.
  const std::string damaged("\x08\0\0\0\x01", 5);
  ASSERT_TRUE(pwtest::WriteFileBytes(iA.File("20070101-1000"), damaged));
  iList->RenameTrack(W("Ring"), W("Hill"));
  EXPECT_EQ(damaged, pwtest::ReadFileBytes(iA.File("20070101-1000")));
  EXPECT_EQ(1, iList->CountTrackUses(W("Ring")));
}

}  // namespace
