#include "storage/session_info.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

#include "foundation/file_stream.h"
#include "foundation/paths.h"
#include "platform/file_io.h"
#include "strings/pw_strings.h"
#include "support/test_support.h"

namespace {

// Little-endian building blocks of the session file, for golden bytes and hand-made old files.
struct Bytes {
  std::string s;
  Bytes& i16(int v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
    return *this;
  }
  Bytes& i32(int64_t v) {
    for (int k = 0; k < 4; ++k) s += char((v >> (8 * k)) & 0xFF);
    return *this;
  }
  Bytes& utf8(const std::string& t) {
    i16(static_cast<int>(t.size()));
    s += t;
    return *this;
  }
  Bytes& text(const std::string& t) {  // compact Text, ASCII only, < 64 characters
    s += char(t.size() * 4);
    s += t;
    return *this;
  }
};

CPwString W(const char* aUtf8) { return PwStringFromUtf8(aUtf8); }

class SessionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iRoot = W((iDir.Path() + "/").c_str());
    ASSERT_TRUE(EnsureFolders(iRoot));
  }
  void TearDown() override { pwplat::SetWriteBudgetForTest(-1); }

  std::string PathOf(const std::string& aId) const {
    return iDir.Path() + "/Pacewright/Sessions/" + aId + "-session.bin";
  }
  // A session of this root that has not been read yet.
  std::unique_ptr<CSessionInfo> Entry(const char* aId) const {
    std::unique_ptr<CSessionInfo> info(new CSessionInfo);
    info->SetIdentifier(W(aId));
    info->SetStorageRoot(iRoot);
    return info;
  }

  pwtest::TempDir iDir;
  CPwString iRoot;
  PwTimeConverter iConverter;
};

// Fills every field with a distinct value.
void FillSession(CSessionInfo& aInfo) {
  aInfo.SetSaveNmea(1);
  aInfo.SetTrackName(W("Ring"));
  aInfo.SetTitle(W("Morning run"));
  aInfo.SetDriver(W("Kai"));
  aInfo.SetSessionType(ESessionPerformance);
  aInfo.SetTestName(W("0-100 kph"));
  aInfo.SetRecorded(0);
  aInfo.SetObdFlag(1);
  aInfo.SetUseObdSpeed(1);
  aInfo.SetCreated(PwDateTime(2007, 1, 1, 12, 0, 5, 250));
  aInfo.SetSecondTimeStamp(PwDateTime(2007, 1, 2, 8, 30, 0, 0));
  aInfo.SetNotes(W("Wet\nthen dry"));
  aInfo.SetLapFigures(PwTime(83456), PwTime(84000), 3, 7);
  aInfo.SetRunFigures(PwTime(5200), 1, 2);
  aInfo.SetTrackFigures(123456, 17);
}

TEST_F(SessionFileTest, WritesVersionEightByteForByte) {
  auto info = Entry("20070101-1200");
  FillSession(*info);
  CSessionNote note;
  note.SetSessionTime(PwTime(1500));
  note.SetMarker(1);
  note.SetText(W("Off"));
  info->StoreNote(note);
  CSessionNote later;
  later.SetSessionTime(PwTime(90000));
  later.SetText(W("\xC3\xA9"));  // e acute: two UTF-8 bytes
  info->StoreNote(later);
  ASSERT_EQ(0, info->SaveSafely());

  Bytes b;
  b.i32(8).i16(1).utf8("Ring").utf8("Morning run").utf8("Kai").i32(1).utf8("0-100 kph");
  b.i16(0).i16(1).i16(1);
  b.i32(12 * 3600000 + 5250).i32(2007 * 372 + 31 + 1 - 32);
  b.i32(8 * 3600000 + 30 * 60000).i32(2007 * 372 + 31 + 2 - 32);
  b.i16(0).utf8("Wet\nthen dry").i32(0).i32(0).i32(0);
  b.i32(83456).i32(84000).i32(3).i32(7).i32(5200).i32(1).i32(2).i32(123456).i32(17);
  b.i32(2);
  b.i32(1500).i16(1).utf8("Off").i32(0).i32(0).i32(0);
  b.i32(90000).i16(0).utf8("\xC3\xA9").i32(0).i32(0).i32(0);
  EXPECT_EQ(b.s, pwtest::ReadFileBytes(PathOf("20070101-1200")));
  EXPECT_FALSE(info->IsModified());
}

TEST_F(SessionFileTest, NewSessionHasTheInitialFiguresOnDisk) {
  auto info = Entry("x");
  info->MarkModified();
  ASSERT_EQ(0, info->SaveSafely());
  const std::string bytes = pwtest::ReadFileBytes(PathOf("x"));
  Bytes tail;  // unset times, indices -1, counts -1, unset distance and speed, no notes
  tail.i32(2147483647).i32(2147483647).i32(-1).i32(-1).i32(2147483647).i32(-1).i32(-1);
  tail.i32(2147483647).i32(2147483647).i32(0);
  ASSERT_GE(bytes.size(), tail.s.size());
  EXPECT_EQ(tail.s, bytes.substr(bytes.size() - tail.s.size()));
  // Unset time stamps are stored as 7FFFFFFF pairs; recorded defaults to 1.
  const std::string head = Bytes().i32(8).i16(0).utf8("").utf8("").utf8("").i32(0).utf8("")
                               .i16(1).i16(0).i16(0)
                               .i32(2147483647).i32(2147483647).i32(2147483647).i32(2147483647)
                               .s;
  EXPECT_EQ(head, bytes.substr(0, head.size()));
}

TEST_F(SessionFileTest, RoundTripsEveryFieldAndReadsNotesOnlyWhenAsked) {
  auto info = Entry("20070101-1200");
  FillSession(*info);
  CSessionNote note;
  note.SetSessionTime(PwTime(1500));
  note.SetMarker(1);
  note.SetText(W("Off"));
  info->StoreNote(note);
  ASSERT_EQ(0, info->SaveSafely());

  auto back = Entry("20070101-1200");
  ASSERT_EQ(1, back->Load(true, iConverter));
  EXPECT_TRUE(back->NotesLoaded());
  EXPECT_FALSE(back->IsModified());
  EXPECT_EQ(W("Ring"), back->TrackName());
  EXPECT_EQ(W("Morning run"), back->Title());
  EXPECT_EQ(W("Kai"), back->Driver());
  EXPECT_EQ(ESessionPerformance, back->SessionType());
  EXPECT_EQ(W("0-100 kph"), back->TestName());
  EXPECT_EQ(W("Wet\nthen dry"), back->Notes());
  EXPECT_EQ(1, back->SaveNmea());
  EXPECT_EQ(0, back->Recorded());
  EXPECT_EQ(1, back->ObdFlag());
  EXPECT_EQ(1, back->UseObdSpeed());
  EXPECT_EQ(PwDateTime(2007, 1, 1, 12, 0, 5, 250), back->Created());
  EXPECT_EQ(PwDateTime(2007, 1, 2, 8, 30, 0, 0), back->SecondTimeStamp());
  EXPECT_EQ(PwTime(83456), back->OptimalLapTime());
  EXPECT_EQ(PwTime(84000), back->BestLapTime());
  EXPECT_EQ(3, back->BestLapIndex());
  EXPECT_EQ(7, back->LapCount());
  EXPECT_EQ(PwTime(5200), back->BestRunTime());
  EXPECT_EQ(1, back->BestRunIndex());
  EXPECT_EQ(2, back->RunCount());
  EXPECT_EQ(123456, back->Distance());
  EXPECT_EQ(17, back->MinimumSpeed());
  ASSERT_EQ(1, back->NoteCount());
  EXPECT_EQ(PwTime(1500), back->NoteAt(0).SessionTime());
  EXPECT_EQ(1, back->NoteAt(0).Marker());
  EXPECT_EQ(W("Off"), back->NoteAt(0).Text());

  // A catalogue-style load has no notes and can never be saved.
  auto listing = Entry("20070101-1200");
  ASSERT_EQ(1, listing->Load(false, iConverter));
  EXPECT_FALSE(listing->NotesLoaded());
  EXPECT_EQ(0, listing->NoteCount());
  const std::string before = pwtest::ReadFileBytes(PathOf("20070101-1200"));
  listing->SetTitle(W("Changed"));
  EXPECT_TRUE(listing->IsModified());
  EXPECT_EQ(0, listing->SaveSafely());
  EXPECT_EQ(before, pwtest::ReadFileBytes(PathOf("20070101-1200")));
}

TEST_F(SessionFileTest, IdentifierGetsASuffixWhileTheNameIsTaken) {
  const PwDateTime noon(2007, 1, 1, 12, 0, 42, 0);
  auto first = Entry("");
  first->MakeIdentifier(noon);
  EXPECT_EQ(W("20070101-1200"), first->Identifier());
  first->MarkModified();
  ASSERT_EQ(0, first->SaveSafely());

  auto second = Entry("");
  second->MakeIdentifier(noon);
  EXPECT_EQ(W("20070101-1200-1"), second->Identifier());
  second->MarkModified();
  ASSERT_EQ(0, second->SaveSafely());

  auto third = Entry("");
  third->MakeIdentifier(noon);
  EXPECT_EQ(W("20070101-1200-2"), third->Identifier());

  auto early = Entry("");
  early->MakeIdentifier(PwDateTime(2009, 11, 5, 7, 3, 0, 0));
  EXPECT_EQ(W("20091105-0703"), early->Identifier());
}

TEST_F(SessionFileTest, StartNewCopiesTheChosenPropertiesAndSaves) {
  CSessionInfo chosen;
  chosen.SetTitle(W("Track day"));
  chosen.SetSessionType(ESessionLapTiming);
  chosen.SetTrackName(W("Ring"));
  chosen.SetDriver(W("Kai"));
  chosen.SetSaveNmea(1);
  chosen.SetRecorded(0);
  const PwDateTime utc(2007, 1, 1, 10, 0, 0, 0);
  const PwDateTime local(2007, 1, 1, 12, 0, 0, 0);

  CSessionInfo a;
  a.StartNew(chosen, iRoot, utc, local);
  CSessionInfo b;
  b.StartNew(chosen, iRoot, utc, local);
  EXPECT_EQ(W("20070101-1200"), a.Identifier());
  EXPECT_EQ(W("20070101-1200-1"), b.Identifier());
  EXPECT_TRUE(a.FileExists());
  EXPECT_TRUE(b.FileExists());
  EXPECT_EQ(1, b.Recorded());
  EXPECT_EQ(utc, b.Created());
  EXPECT_EQ(utc, b.SecondTimeStamp());
  EXPECT_FALSE(b.IsModified());
  EXPECT_EQ(W("Track day"), b.Title());
}

class TimeZoneTest : public SessionFileTest {
 protected:
  void SetUp() override {
    SessionFileTest::SetUp();
    const char* old = std::getenv("TZ");
    iHadTz = old != nullptr;
    if (old) iOldTz = old;
    setenv("TZ", "XYZ-2", 1);  // two hours ahead of UTC, no daylight saving
    tzset();
  }
  void TearDown() override {
    if (iHadTz)
      setenv("TZ", iOldTz.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
    SessionFileTest::TearDown();
  }
  bool iHadTz = false;
  std::string iOldTz;
};

Bytes VersionSixOrSeven(int aVersion, int aLocalTime, int aDate) {
  Bytes b;
  b.i32(aVersion).i16(0).utf8("Ring").utf8("Old").utf8("Kai").i32(0).utf8("").i16(1).i16(0).i16(0);
  b.i32(aLocalTime).i32(aDate).i32(aLocalTime).i32(aDate);
  b.i16(0).utf8("notes").i32(0).i32(0).i32(0);
  b.i32(1).i32(4000).i16(1).utf8("n").i32(0).i32(0).i32(0);
  return b;
}

TEST_F(TimeZoneTest, VersionSixStoresLocalTimeAndLoadsAsUtc) {
  const int jan1 = PwTime::FromDate(2007, 1, 1).Milliseconds();
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("v6"), VersionSixOrSeven(6, 12 * 3600000, jan1).s));
  auto info = Entry("v6");
  ASSERT_EQ(1, info->Load(true, iConverter));
  EXPECT_EQ(PwDateTime(2007, 1, 1, 10, 0, 0, 0), info->Created());
  EXPECT_EQ(PwDateTime(2007, 1, 1, 10, 0, 0, 0), info->SecondTimeStamp());
  EXPECT_EQ(W("notes"), info->Notes());
  ASSERT_EQ(1, info->NoteCount());  // versions 6 and 7 have notes but no figures
  EXPECT_EQ(PwTime(4000), info->NoteAt(0).SessionTime());
  EXPECT_EQ(-1, info->LapCount());

  // An hour after local midnight is the previous day in UTC.
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("v6b"), VersionSixOrSeven(6, 3600000, jan1).s));
  auto early = Entry("v6b");
  ASSERT_EQ(1, early->Load(false, iConverter));
  EXPECT_EQ(PwDateTime(2006, 12, 31, 23, 0, 0, 0), early->Created());

  // Version 7 already stores UTC.
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("v7"), VersionSixOrSeven(7, 12 * 3600000, jan1).s));
  auto v7 = Entry("v7");
  ASSERT_EQ(1, v7->Load(true, iConverter));
  EXPECT_EQ(PwDateTime(2007, 1, 1, 12, 0, 0, 0), v7->Created());
}

TEST_F(TimeZoneTest, OldVersionsTakeTheirTimeStampsFromTheName) {
  Bytes v5;
  v5.i32(5).i16(1).text("Ring").text("Old").text("Kai").i32(1).text("Launch").i16(0).i16(1).i16(1);
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("20070101-1200"), v5.s));
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("example"), v5.s));

  auto named = Entry("20070101-1200");
  ASSERT_EQ(1, named->Load(true, iConverter));
  EXPECT_EQ(PwDateTime(2007, 1, 1, 10, 0, 0, 0), named->Created());
  EXPECT_EQ(PwDateTime(2007, 1, 1, 10, 0, 0, 0), named->SecondTimeStamp());
  EXPECT_EQ(W("Ring"), named->TrackName());
  EXPECT_EQ(W("Old"), named->Title());
  EXPECT_EQ(W("Kai"), named->Driver());
  EXPECT_EQ(ESessionPerformance, named->SessionType());
  EXPECT_EQ(W("Launch"), named->TestName());
  EXPECT_EQ(0, named->Recorded());
  EXPECT_EQ(1, named->ObdFlag());
  EXPECT_EQ(1, named->UseObdSpeed());

  auto plain = Entry("example");
  ASSERT_EQ(1, plain->Load(true, iConverter));
  EXPECT_FALSE(plain->Created().IsSet());
  EXPECT_FALSE(plain->SecondTimeStamp().IsSet());

  // Version 1 holds only the flag, track and title; the rest keeps its initial value.
  Bytes v1;
  v1.i32(1).i16(0).text("Ring").text("First");
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("20080230-2500-x"), v1.s));
  auto first = Entry("20080230-2500-x");  // looks like a date but is none
  ASSERT_EQ(1, first->Load(true, iConverter));
  EXPECT_EQ(W("First"), first->Title());
  EXPECT_TRUE(first->Driver().IsEmpty());
  EXPECT_EQ(ESessionLapTiming, first->SessionType());
  EXPECT_EQ(1, first->Recorded());
  EXPECT_FALSE(first->Created().IsSet());
}

TEST_F(SessionFileTest, RefusesUnknownVersionsAndDamagedFiles) {
  for (int version : {0, -1, 9, 100, 0x7FFFFFFF}) {
    Bytes b;
    b.i32(version).i16(0).utf8("Ring").utf8("T").utf8("D");
    ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("bad"), b.s));
    auto info = Entry("bad");
    EXPECT_EQ(0, info->Load(false, iConverter)) << version;
  }
  auto missing = Entry("nothing-here");
  EXPECT_EQ(0, missing->Load(true, iConverter));
  auto unnamed = Entry("");
  EXPECT_EQ(0, unnamed->Load(true, iConverter));

  // Every cut of a good file fails cleanly, changes nothing and leaves the object unsavable.
  auto good = Entry("good");
  FillSession(*good);
  CSessionNote note;
  note.SetSessionTime(PwTime(1500));
  note.SetText(W("kept"));
  good->StoreNote(note);
  ASSERT_EQ(0, good->SaveSafely());
  const std::string whole = pwtest::ReadFileBytes(PathOf("good"));
  const size_t notesStart = whole.size() - (4 + 4 + 2 + 2 + 4 + 12);
  for (size_t n = 0; n < whole.size(); ++n) {
    ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("cut"), whole.substr(0, n)));
    auto cut = Entry("cut");
    cut->SetTitle(W("before"));
    const int32_t withoutNotes = cut->Load(false, iConverter);
    EXPECT_EQ(n >= notesStart ? 1 : 0, withoutNotes) << n;
    if (!withoutNotes) {
      EXPECT_EQ(W("before"), cut->Title()) << n;
    }
    auto cutWithNotes = Entry("cut");
    EXPECT_EQ(0, cutWithNotes->Load(true, iConverter)) << n;
    cutWithNotes->MarkModified();
    EXPECT_EQ(0, cutWithNotes->SaveSafely());
    EXPECT_EQ(whole.substr(0, n), pwtest::ReadFileBytes(PathOf("cut"))) << n;
  }

  // Garbage never crashes; a huge note count is refused instead of read.
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::string junk = whole;
    for (int k = 0; k < 6; ++k) junk[random() % junk.size()] = char(random());
    ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("junk"), junk));
    auto info = Entry("junk");
    info->Load(true, iConverter);
  }
  std::string hugeCount = whole.substr(0, notesStart);
  hugeCount += Bytes().i32(0x7FFFFFFF).s;
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("huge"), hugeCount));
  auto huge = Entry("huge");
  EXPECT_EQ(0, huge->Load(true, iConverter));
  EXPECT_EQ(1, huge->Load(false, iConverter));
}

TEST_F(SessionFileTest, FailedSaveKeepsThePreviousFileAndTheModifiedState) {
  auto info = Entry("20070101-1200");
  FillSession(*info);
  ASSERT_EQ(0, info->SaveSafely());
  const std::string good = pwtest::ReadFileBytes(PathOf("20070101-1200"));

  info->SetTitle(W("A much longer title that no longer fits on the full medium"));
  pwplat::SetWriteBudgetForTest(20);  // the medium fills up halfway through the write
  EXPECT_EQ(KErrCannotOpen, info->SaveSafely());
  pwplat::SetWriteBudgetForTest(-1);
  EXPECT_EQ(good, pwtest::ReadFileBytes(PathOf("20070101-1200")));
  EXPECT_TRUE(info->IsModified());
  // Nothing is left beside the session file.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(iDir.Path() + "/Pacewright/Sessions")) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(1, files);

  EXPECT_EQ(0, info->SaveSafely());
  auto back = Entry("20070101-1200");
  ASSERT_EQ(1, back->Load(false, iConverter));
  EXPECT_EQ(W("A much longer title that no longer fits on the full medium"), back->Title());

  // No medium or no name: no file to write.
  CSessionInfo nowhere;
  nowhere.MarkModified();
  EXPECT_EQ(KErrCannotOpen, nowhere.SaveSafely());
  EXPECT_TRUE(nowhere.IsModified());
}

TEST(SessionInfo, SettersAndCopyMarkModifiedOnlyOnChange) {
  CSessionInfo info;
  EXPECT_FALSE(info.IsModified());
  info.SetLapFigures(PwTime::Unset(), PwTime::Unset(), -1, -1);
  info.SetRunFigures(PwTime::Unset(), -1, -1);
  info.SetTrackFigures(PwTime::KUnset, PwTime::KUnset);
  info.SetObdFlag(0);
  EXPECT_FALSE(info.IsModified());
  info.SetTrackFigures(10, PwTime::KUnset);
  EXPECT_TRUE(info.IsModified());

  CSessionInfo copy;
  copy.CopyFrom(info);
  EXPECT_TRUE(copy.IsModified());
  EXPECT_EQ(10, copy.Distance());
  // Equal content copies without marking.
  CSessionInfo fresh;
  CSessionInfo initial;
  fresh.CopyFrom(initial);
  EXPECT_FALSE(fresh.IsModified());

  info.Clear();
  EXPECT_FALSE(info.IsModified());
  EXPECT_TRUE(info.NotesLoaded());
  EXPECT_EQ(PwTime::KUnset, info.Distance());
  EXPECT_EQ(-1, info.LapCount());
  EXPECT_EQ(1, info.Recorded());
}

TEST(SessionInfo, NotesFollowTheLapTimeRanges) {
  CSessionInfo info;
  CSessionNote at;
  at.SetText(W("x"));
  for (int t : {1000, 1001, 2000}) {
    at.SetSessionTime(PwTime(t));
    info.StoreNote(at);
  }
  ASSERT_EQ(3, info.NoteCount());
  // A span of one millisecond accepts both ends; a longer span only its inside.
  ASSERT_NE(nullptr, info.NoteForRange(PwTime(1000), PwTime(1001)));
  EXPECT_EQ(PwTime(1000), info.NoteForRange(PwTime(1000), PwTime(1001))->SessionTime());
  EXPECT_EQ(PwTime(1001), info.NoteForRange(PwTime(1001), PwTime(1001))->SessionTime());
  EXPECT_EQ(PwTime(1001), info.NoteForRange(PwTime(1000), PwTime(2000))->SessionTime());
  EXPECT_EQ(nullptr, info.NoteForRange(PwTime(1001), PwTime(1999)));
  EXPECT_EQ(nullptr, info.NoteForRange(PwTime(2000), PwTime(3000)));
  EXPECT_EQ(nullptr, info.NoteForRange(PwTime(3000), PwTime(1000)));

  // Editing a lap without a note starts a blank one in the middle of the lap.
  CSessionNote edit;
  edit.SetText(W("stale"));
  info.EditNote(edit, PwTime(5000), PwTime(6000));
  EXPECT_EQ(PwTime(5500), edit.SessionTime());
  EXPECT_TRUE(edit.Text().IsEmpty());
  EXPECT_EQ(0, edit.Marker());
  info.EditNote(edit, PwTime(1000), PwTime(2000));
  EXPECT_EQ(PwTime(1001), edit.SessionTime());
  EXPECT_EQ(W("x"), edit.Text());

  // Storing again for the same time replaces; a lap never gets a second note.
  edit.SetText(W("changed"));
  info.StoreNote(edit);
  EXPECT_EQ(3, info.NoteCount());
  EXPECT_EQ(W("changed"), info.NoteForRange(PwTime(1000), PwTime(2000))->Text());

  // Storing an empty note removes the lap's note and marks the session modified.
  CSessionInfo saved;
  at.SetSessionTime(PwTime(1500));
  saved.StoreNote(at);
  ASSERT_EQ(1, saved.NoteCount());
  CSessionNote empty;
  saved.EditNote(empty, PwTime(1000), PwTime(2000));
  empty.SetText(CPwStringC());
  saved.StoreNote(empty);
  EXPECT_EQ(0, saved.NoteCount());
  EXPECT_TRUE(saved.IsModified());
  // An empty note for a lap without one is not added.
  saved.StoreNote(empty);
  EXPECT_EQ(0, saved.NoteCount());

  // The quick mark keeps the text and adds or clears the marker.
  CSessionInfo marks;
  marks.SetLapMarker(1, PwTime(0), PwTime(10000));
  ASSERT_EQ(1, marks.NoteCount());
  EXPECT_EQ(PwTime(5000), marks.NoteAt(0).SessionTime());
  EXPECT_EQ(1, marks.NoteAt(0).Marker());
  marks.SetLapMarker(0, PwTime(0), PwTime(10000));
  EXPECT_EQ(0, marks.NoteCount());

  marks.SetLapMarker(1, PwTime(0), PwTime(10000));
  marks.DropNotes();
  EXPECT_EQ(0, marks.NoteCount());
  EXPECT_FALSE(marks.NotesLoaded());
}

TEST(SessionInfo, ResumeChecksComeInOrderWithTheirMessages) {
  CSessionInfo info;
  EXPECT_EQ(EResumeNotPossible, info.CheckResume(false, false, false, false));
  EXPECT_EQ(EResumeTooOld, info.CheckResume(true, false, false, false));
  EXPECT_EQ(EResumeIncomplete, info.CheckResume(true, true, false, false));
  EXPECT_EQ(EResumeStorageRefused, info.CheckResume(true, true, true, false));
  EXPECT_EQ(EResumeAllowed, info.CheckResume(true, true, true, true));
  info.SetReadOnly(true);
  EXPECT_EQ(EResumeNotPossible, info.CheckResume(true, true, true, true));

  auto text = [](TResumeCheck aCheck) {
    CPwString s;
    s.LoadFromResource(CSessionInfo::ResumeMessage(aCheck));
    return PwToUtf8(s);
  };
  EXPECT_EQ("Cannot resume this session!", text(EResumeNotPossible));
  EXPECT_EQ("File format is too old! Cannot resume this session.", text(EResumeTooOld));
  EXPECT_EQ("File incomplete or corrupt! Cannot the resume this session.", text(EResumeIncomplete));
  EXPECT_EQ(0, CSessionInfo::ResumeMessage(EResumeAllowed));
  EXPECT_EQ(0, CSessionInfo::ResumeMessage(EResumeStorageRefused));

  CPwString message;
  CSessionInfo::LoadFailureMessage(6, message);
  EXPECT_EQ("Could not load the session. Error #6.", PwToUtf8(message));
  CSessionInfo::LoadFailureMessage(KErrNoMemory, message);
  EXPECT_EQ("Memory full.", PwToUtf8(message));
}

}  // namespace

TEST_F(SessionFileTest, ReceiverHealthRidesInABlockBehindTheNotes) {
  TGnssHealth health;
  health.iSamples = 9000;
  health.iGlitches = 2;
  health.iIntervalMs = 40;
  health.iJitterUs = 1500;
  health.i3dPermille = 998;
  health.iHdopMedian = 80;
  health.iHdopMax = 310;
  health.iSatellitesMin = 6;
  health.iSatellitesMedian = 11;
  auto info = Entry("20070101-1200");
  FillSession(*info);
  info->SetGnssHealth(health);
  ASSERT_EQ(0, info->SaveSafely());

  Bytes b;
  b.i32(8).i16(1).utf8("Ring").utf8("Morning run").utf8("Kai").i32(1).utf8("0-100 kph");
  b.i16(0).i16(1).i16(1);
  b.i32(12 * 3600000 + 5250).i32(2007 * 372 + 31 + 1 - 32);
  b.i32(8 * 3600000 + 30 * 60000).i32(2007 * 372 + 31 + 2 - 32);
  b.i16(0).utf8("Wet\nthen dry").i32(0).i32(0).i32(0);
  b.i32(83456).i32(84000).i32(3).i32(7).i32(5200).i32(1).i32(2).i32(123456).i32(17);
  const std::string withoutBlock = b.i32(0).s;
  b.i32(0x53534E47).i32(40).i32(9).i32(9000).i32(2).i32(40).i32(1500).i32(998).i32(80).i32(310).i32(6).i32(11);
  EXPECT_EQ(b.s, pwtest::ReadFileBytes(PathOf("20070101-1200")));

  // Read back with notes and as the catalogue reads it (without).
  for (bool notes : {true, false}) {
    auto back = Entry("20070101-1200");
    ASSERT_EQ(1, back->Load(notes, iConverter));
    EXPECT_EQ(health, back->GnssHealth()) << notes;
  }

  // A later build's file: an unknown block first, then a longer health record. The known
  // fields are taken, the rest skipped.
  Bytes later;
  later.s = withoutBlock;
  later.i32(0x12345678).i32(3).s += "xyz";
  later.i32(0x53534E47).i32(48).i32(11).i32(9000).i32(2).i32(40).i32(1500).i32(998).i32(80).i32(310).i32(6).i32(11);
  later.i32(7).i32(7);
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("20070101-1200"), later.s));
  auto newer = Entry("20070101-1200");
  ASSERT_EQ(1, newer->Load(true, iConverter));
  EXPECT_EQ(health, newer->GnssHealth());

  // Without the block the file is byte for byte what it was, and reads as "not known".
  ASSERT_TRUE(pwtest::WriteFileBytes(PathOf("20070101-1200"), withoutBlock));
  auto older = Entry("20070101-1200");
  ASSERT_EQ(1, older->Load(true, iConverter));
  EXPECT_FALSE(older->GnssHealth().IsKnown());
  older->SetTitle(W("Evening run"));
  ASSERT_EQ(0, older->SaveSafely());
  EXPECT_EQ(pwtest::ReadFileBytes(PathOf("20070101-1200")).size(), withoutBlock.size()) << "no block added";
}
