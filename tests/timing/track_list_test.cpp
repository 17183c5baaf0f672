// The track catalogue over real folders: which tracks a refresh lists and in what order, the
// shipped example, the name rules with their messages, and create / rename / delete with
// the files and the session catalogue following.
#include "timing/track_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "support/test_support.h"

namespace {

// Two media, the example root, settings and a media list that lives in temporary folders.
class TrackMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"/a/", "/b/", "/install/examples/", "/docs/"}) {
      CreateFolders(PwStringFromUtf8(iDir.Path() + sub));
    }
    SetFromNativePath(iA, (iDir.Path() + "/a/").c_str());
    SetFromNativePath(iB, (iDir.Path() + "/b/").c_str());
    SetFromNativePath(iExample, (iDir.Path() + "/install/examples/").c_str());
    setenv("PACEWRIGHT_DOCUMENTS", (iDir.Path() + "/docs").c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir.Path() + "/install").c_str(), 1);
    ASSERT_TRUE(pwtest::WriteFileBytes(iDir / "mounts", ""));
    iDrives.reset(CPwDrives::NewL((iDir / "mounts").c_str()));
    iSettings.reset(new CSettings(iA));
    iList.reset(new CTrackList(*iSettings, *iDrives));
  }

  std::string Path(CPwStringC aRoot, const std::string& aName) const {
    return PwToUtf8(aRoot) + "Pacewright/Tracks/" + aName + "-track.bin";
  }
  // A track file with aTraps split lines.
  void Put(CPwStringC aRoot, CPwStringC aName, int32_t aTraps, int32_t aLocked = 0) {
    CTrackProfile t;
    t.SetName(aName);
    t.SetFolder(aRoot);
    t.CreateEmptyTrapList();
    t.SetLock(0);
    for (int32_t i = 0; i < aTraps; ++i) {
      CTrapLine trap;
      trap.Set(ETrapSplit, u"s", TCoordinate(1000 * i), TCoordinate(0), TAngle(0.0), TDistance::FromMetres(30), 0);
      t.AddTrap(trap);
    }
    t.SetLock(aLocked);
    t.SetModified();
    ASSERT_EQ(t.SaveSafely(), 0);
  }
  void Refresh() {
    CPwStringList others;
    others.AppendCopy(iB);
    others.AppendCopy(iA);  // the primary again: scanned once
    iList->RefreshRoots(iA, others, iExample);
  }
  std::string Listing() const {
    std::string out;
    for (int32_t i = 0; i < iList->Count(); ++i) {
      const CTrackProfile& t = iList->At(i);
      if (!out.empty()) out += ", ";
      out += PwToUtf8(t.Name()) + "@" + (t.Folder().Equals(iA) ? "a" : t.Folder().Equals(iB) ? "b" : "x") +
             ":" + std::to_string(t.TrapCount());
    }
    return out;
  }
  static std::string Message(uint16_t aId) {
    CPwString text;
    text.LoadFromResource(aId);
    return PwToUtf8(text);
  }

  pwtest::TempDir iDir;
  CPwString iA, iB, iExample;
  std::unique_ptr<CPwDrives> iDrives;
  std::unique_ptr<CSettings> iSettings;
  std::unique_ptr<CTrackList> iList;
};

}  // namespace

TEST_F(TrackMedia, RefreshListsEachNameOnceSortedWithTheExampleLast) {
  Put(iA, u"Monza", 2);
  Put(iA, u"brands", 1);
  Put(iA, u"Zolder", 0);
  Put(iB, u"monza", 5);  // the primary medium's track of that name wins
  Put(iB, u"Anglesey", 3);
  Put(iExample, CTrackList::KExampleTrackName, 4, 1);
  ASSERT_TRUE(pwtest::WriteFileBytes(Path(iA, "Broken"), std::string("\x07\0\0\0", 4)));
  ASSERT_TRUE(pwtest::WriteFileBytes(Path(iB, "Empty"), ""));
  Refresh();
  EXPECT_EQ(Listing(), "Anglesey@b:3, brands@a:1, Example track@x:4, Monza@a:2, Zolder@a:0");
  EXPECT_TRUE(iList->Exists(u"MONZA"));
  EXPECT_TRUE(iList->Exists(u"example TRACK"));
  EXPECT_FALSE(iList->Exists(u"Broken"));
  EXPECT_EQ(iList->Find(u"zolder"), 4);
  EXPECT_TRUE(iList->At(2).IsLocked());
  EXPECT_FALSE(iList->At(2).HasTraps());  // the catalogue holds headers only

  // A user's track of the example's name wins over the shipped one.
  Put(iB, u"EXAMPLE TRACK", 1);
  Refresh();
  EXPECT_EQ(Listing(), "Anglesey@b:3, brands@a:1, EXAMPLE TRACK@b:1, Monza@a:2, Zolder@a:0");

  // The settings' storage root comes first: with b primary, b's "monza" wins.
  iSettings->SetCurrentStorageRoot(iB);
  iList->Refresh();  // the media list holds the documents folder only, so a is not scanned
  EXPECT_EQ(Listing(), "Anglesey@b:3, EXAMPLE TRACK@b:1, monza@b:5");
}

TEST_F(TrackMedia, OrderIsByNameIgnoringCaseThenByFolder) {
  CTrackProfile p1, p2, p3;
  p1.SetName(u"spa");
  p1.SetFolder(u"/m2/");
  p2.SetName(u"Spa");
  p2.SetFolder(u"/m1/");
  p3.SetName(u"Silverstone");
  p3.SetFolder(u"/m9/");
  CTrackProfile* a = &p1;
  CTrackProfile* b = &p2;
  CTrackProfile* c = &p3;
  EXPECT_GT(CTrackList::Compare(a, b), 0);  // same name but for case: /m1/ first
  EXPECT_LT(CTrackList::Compare(b, a), 0);
  EXPECT_LT(CTrackList::Compare(c, b), 0);
  EXPECT_EQ(CTrackList::Compare(a, a), 0);
}

TEST_F(TrackMedia, NameRulesAndTheirMessages) {
  Put(iA, u"Spa", 0);
  Refresh();
  EXPECT_EQ(Message(iList->CheckName(u"", nullptr)), "Please insert a name for the track.");
  for (const char16_t* bad : {u"a\\b", u"a/b", u"c:", u"*", u"why?", u"\"q\"", u"<x", u"x>", u"p|q", u"../up"}) {
    EXPECT_EQ(Message(iList->CheckName(CPwStringC(std::u16string_view(bad)), nullptr)),
              "Name contains invalid characters.")
        << PwToUtf8(CPwStringC(std::u16string_view(bad)));
    EXPECT_EQ(iList->Create(CPwStringC(std::u16string_view(bad)), iA), 0);
  }
  EXPECT_FALSE(CTrackList::IsValidName(CPwStringC(u"a\0b", 3)));
  EXPECT_EQ(Message(iList->CheckName(u"SPA", nullptr)), "Similarly named track already exists.");
  EXPECT_EQ(iList->CheckName(u"SPA", iList->Current()), 0);  // its own name, in another case
  EXPECT_EQ(iList->CheckName(u"N\u00fcrburgring (GP) #1", nullptr), 0);
  EXPECT_EQ(Message(R_TRACK_DELETE_QUESTION), "Delete track '%U'?");

  // Refused names leave nothing behind: no file anywhere, no entry.
  EXPECT_EQ(iList->Count(), 1);
  EXPECT_FALSE(FileExists(PwStringFromUtf8(iDir.Path() + "/a/Pacewright/up-track.bin")));
  EXPECT_EQ(iList->Create(u"", iA), 0);
  EXPECT_EQ(iList->Create(u"sPA", iB), 0);
  EXPECT_FALSE(FileExists(PwStringFromUtf8(Path(iB, "sPA"))));
}

TEST_F(TrackMedia, CreateAddsAnUnlockedEmptyTrackAndSelectsIt) {
  Put(iA, u"Monza", 2);
  Refresh();
  ASSERT_EQ(iList->Create(u"Imola", iB), 1);
  EXPECT_EQ(Listing(), "Imola@b:0, Monza@a:2");
  ASSERT_NE(iList->Current(), nullptr);
  EXPECT_EQ(iList->Current()->Name(), CPwStringC(u"Imola"));
  EXPECT_FALSE(iList->Current()->IsLocked());
  EXPECT_EQ(pwtest::ReadFileBytes(Path(iB, "Imola")), std::string("\x02\0\0\0\0\0\0\0\0\0", 10));

  CTrackProfile loaded;
  ASSERT_EQ(iList->LoadByName(u"imola", loaded), 1);
  EXPECT_TRUE(loaded.HasTraps());
  EXPECT_EQ(loaded.Name(), CPwStringC(u"Imola"));
  EXPECT_TRUE(loaded.Folder().Equals(iB));
  EXPECT_EQ(iList->LoadByName(u"Nowhere", loaded), 0);

  EXPECT_EQ(iList->SelectByName(u"Monza"), 1);
  EXPECT_EQ(iList->CurrentIndex(), 1);
  EXPECT_EQ(iList->SelectByName(u"monza"), 0);  // exact match only
  EXPECT_EQ(iList->CurrentIndex(), 1);

  // A medium that cannot be written to: nothing is listed.
  CPwString readOnly;
  SetFromNativePath(readOnly, "/proc/");
  EXPECT_EQ(iList->Create(u"Nope", readOnly), 0);
  EXPECT_FALSE(iList->Exists(u"Nope"));
}

TEST_F(TrackMedia, RenameMovesTheFileAndTheSessionsFollow) {
  Put(iA, u"Spa", 3);
  Put(iA, u"Monza", 1);
  Refresh();
  ASSERT_TRUE(EnsureFolders(iA));
  CSessionInfo session;
  session.SetIdentifier(u"20240601-1000");
  session.SetStorageRoot(iA);
  session.SetTrackName(u"Spa");
  ASSERT_EQ(session.SaveSafely(), 0);
  CSessionList sessions(*iDrives);
  CPwStringList roots;
  roots.AppendCopy(iA);
  sessions.RefreshRoots(roots);
  ASSERT_EQ(sessions.CountTrackUses(u"Spa"), 1);

  ASSERT_EQ(iList->SelectByName(u"Spa"), 1);
  CTrackProfile edit;
  ASSERT_EQ(iList->LoadByName(u"Spa", edit), 1);
  edit.SetName(u"Spa-Francorchamps");
  edit.SetLock(1);
  ASSERT_EQ(iList->RenameOrUpdateCurrent(edit, &sessions), 1);
  EXPECT_FALSE(FileExists(PwStringFromUtf8(Path(iA, "Spa"))));
  const std::string moved = pwtest::ReadFileBytes(Path(iA, "Spa-Francorchamps"));
  ASSERT_GE(moved.size(), 6u);
  EXPECT_EQ(moved[4], 1);  // the new lock was saved
  EXPECT_EQ(Listing(), "Monza@a:1, Spa-Francorchamps@a:3");
  EXPECT_EQ(iList->Current()->Name(), CPwStringC(u"Spa-Francorchamps"));
  EXPECT_TRUE(iList->Current()->IsLocked());
  EXPECT_FALSE(edit.HasTraps());
  EXPECT_EQ(sessions.CountTrackUses(u"Spa"), 0);
  EXPECT_EQ(sessions.CountTrackUses(u"Spa-Francorchamps"), 1);

  // Onto another track's name, an unlisted file, or a forbidden name: refused, files intact.
  const std::string monza = pwtest::ReadFileBytes(Path(iA, "Monza"));
  ASSERT_TRUE(pwtest::WriteFileBytes(Path(iA, "Hidden"), "keep"));
  for (const char16_t* name : {u"monza", u"Hidden", u"../../escape", u""}) {
    CTrackProfile again;
    ASSERT_EQ(iList->LoadByName(u"Spa-Francorchamps", again), 1);
    again.SetName(CPwStringC(std::u16string_view(name)));
    EXPECT_EQ(iList->RenameOrUpdateCurrent(again, &sessions), 0) << PwToUtf8(CPwStringC(std::u16string_view(name)));
  }
  EXPECT_EQ(pwtest::ReadFileBytes(Path(iA, "Monza")), monza);
  EXPECT_EQ(pwtest::ReadFileBytes(Path(iA, "Hidden")), "keep");
  EXPECT_EQ(pwtest::ReadFileBytes(Path(iA, "Spa-Francorchamps")), moved);
  EXPECT_EQ(Listing(), "Monza@a:1, Spa-Francorchamps@a:3");

  // A change of letter case alone is a rename too; without a session catalogue it still works.
  CTrackProfile cased;
  ASSERT_EQ(iList->LoadByName(u"Spa-Francorchamps", cased), 1);
  cased.SetName(u"SPA-Francorchamps");
  ASSERT_EQ(iList->RenameOrUpdateCurrent(cased, nullptr), 1);
  EXPECT_EQ(Listing(), "Monza@a:1, SPA-Francorchamps@a:3");

  // The same name: only an update of the stored track.
  CTrackProfile same;
  ASSERT_EQ(iList->LoadByName(u"SPA-Francorchamps", same), 1);
  same.SetLock(0);
  ASSERT_EQ(same.RemoveCurrentTrap(), 1);
  ASSERT_EQ(iList->RenameOrUpdateCurrent(same, nullptr), 1);
  EXPECT_EQ(Listing(), "Monza@a:1, SPA-Francorchamps@a:2");
  CTrackProfile check;
  ASSERT_EQ(check.Open(u"SPA-Francorchamps", iA), 1);
  EXPECT_EQ(check.TrapCount(), 2);
}

TEST_F(TrackMedia, UpdateEntryAndDeletion) {
  Put(iA, u"One", 1);
  Put(iA, u"Two", 2);
  Put(iB, u"Three", 3);
  Put(iExample, CTrackList::KExampleTrackName, 4, 1);
  Refresh();
  ASSERT_EQ(Listing(), "Example track@x:4, One@a:1, Three@b:3, Two@a:2");

  CTrackProfile two;
  ASSERT_EQ(two.Open(u"Two", iA), 1);
  two.SetLock(0);
  CTrapLine extra;
  extra.Set(ETrapSplit, u"x", TCoordinate(5), TCoordinate(5), TAngle(0.0), TDistance::FromMetres(30), 0);
  two.AddTrap(extra);
  EXPECT_EQ(iList->UpdateEntry(two), 1);
  EXPECT_EQ(iList->At(3).TrapCount(), 3);
  EXPECT_FALSE(iList->At(3).HasTraps());
  two.SetFolder(iB);
  EXPECT_EQ(iList->UpdateEntry(two), 0);  // no "Two" on b

  // Deleting the last entry moves the cursor to the new last one.
  iList->SetCurrentIndex(3);
  ASSERT_EQ(iList->DeleteCurrent(), 1);
  EXPECT_FALSE(FileExists(PwStringFromUtf8(Path(iA, "Two"))));
  EXPECT_EQ(iList->CurrentIndex(), 2);
  EXPECT_EQ(iList->DeleteByName(u"THREE"), 1);
  EXPECT_FALSE(FileExists(PwStringFromUtf8(Path(iB, "Three"))));
  EXPECT_EQ(Listing(), "Example track@x:4, One@a:1");
  EXPECT_EQ(iList->CurrentIndex(), 1);

  // The shipped example leaves the list but its file stays in the installation.
  EXPECT_EQ(iList->DeleteByName(CTrackList::KExampleTrackName), 1);
  EXPECT_TRUE(FileExists(PwStringFromUtf8(Path(iExample, "Example track"))));
  EXPECT_EQ(iList->DeleteByName(u"nothing"), 0);
  ASSERT_EQ(iList->DeleteCurrent(), 1);
  EXPECT_EQ(iList->Count(), 0);
  EXPECT_EQ(iList->DeleteCurrent(), 0);
  EXPECT_EQ(iList->Current(), nullptr);
}
