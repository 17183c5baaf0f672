// Track files as stored: golden bytes of the written format, the older format read back in
// today's units, hostile files (unknown version, cut short) that must never crash nor lead to
// the stored file being overwritten, and the lock and save rules.
#include "timing/track_profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "foundation/paths.h"
#include "support/test_support.h"

namespace {

std::string Hex(const std::string& aBytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : aBytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Unhex(const std::string& aHex) {
  std::string out;
  for (size_t i = 0; i + 1 < aHex.size(); i += 3) out += static_cast<char>(std::stoi(aHex.substr(i, 2), nullptr, 16));
  return out;
}

// A storage root in a temporary folder.
class TrackFolder {
 public:
  TrackFolder() { SetFromNativePath(iRoot, (iDir.Path() + "/").c_str()); }
  CPwStringC Root() const { return iRoot; }
  std::string TrackPath(const std::string& aName) const {
    return iDir.Path() + "/Pacewright/Tracks/" + aName + "-track.bin";
  }
  void Put(const std::string& aName, const std::string& aBytes) const {
    CreateFolders(PwStringFromUtf8(iDir.Path() + "/Pacewright/Tracks/"));
    ASSERT_TRUE(pwtest::WriteFileBytes(TrackPath(aName), aBytes));
  }

 private:
  pwtest::TempDir iDir;
  CPwString iRoot;
};

// Traps are not copyable; tests build them in helpers and move them out this way.
struct TestTrap : CTrapLine {
  TestTrap() = default;
  TestTrap(TestTrap&& aOther) noexcept : CTrapLine() { CopyFrom(aOther); }
};

TestTrap Trap(int32_t aType, const char16_t* aName, int32_t aLat, int32_t aLon, double aBearingDeg = 90.0,
               double aWidthM = 50.0, int32_t aUni = 1) {
  TestTrap t;
  t.Set(aType, CPwStringC(std::u16string_view(aName)), TCoordinate(aLat), TCoordinate(aLon),
        TAngle::FromDegrees(aBearingDeg), TDistance::FromMetres(aWidthM), aUni);
  return t;
}

// The file of an unlocked track with one Start/Finish line named "S/F" at 51.5 N, 1 W,
// bearing 90 degrees, 50 m wide, unidirectional.
const char* const KGolden =
    "02 00 00 00 00 00 01 00 00 00 0C 53 2F 46 03 00 00 00 40 F7 6A 12 80 72 A4 FF 00 BF 2F 20 8A 0A 00 00 01 00";

}  // namespace

TEST(TrackProfile, WritesVersionTwoByteForByte) {
  TrackFolder folder;
  CTrackProfile track;
  EXPECT_TRUE(track.IsLocked());  // a new profile is locked
  track.SetName(u"Golden");
  track.SetFolder(folder.Root());
  track.CreateEmptyTrapList();
  EXPECT_FALSE(track.IsModified());
  EXPECT_EQ(track.AddTrap(Trap(ETrapStartFinish, u"S/F", 309000000, -6000000)), 0);  // locked
  track.SetLock(0);
  EXPECT_TRUE(track.IsModified());
  ASSERT_EQ(track.AddTrap(Trap(ETrapStartFinish, u"S/F", 309000000, -6000000)), 1);
  ASSERT_EQ(track.SaveSafely(), 0);
  EXPECT_FALSE(track.IsModified());
  EXPECT_EQ(Hex(pwtest::ReadFileBytes(folder.TrackPath("Golden"))), KGolden);

  CPwByteArray bytes;
  ASSERT_EQ(track.FileBytes(bytes), 1);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<const char*>(bytes.Ptr()), bytes.Length())), KGolden);
}

TEST(TrackProfile, ReadsBothVersionsWithTheEndPointsRecomputed) {
  TrackFolder folder;
  folder.Put("Two", Unhex(KGolden));
  CTrackProfile two;
  ASSERT_EQ(two.Open(u"Two", folder.Root()), 1);
  EXPECT_FALSE(two.IsLocked());
  ASSERT_EQ(two.TrapCount(), 1);
  const CTrapLine& t = *two.Traps()->At(0);
  EXPECT_EQ(t.Name(), CPwStringC(u"S/F"));
  EXPECT_EQ(t.Type(), ETrapStartFinish);
  EXPECT_EQ(t.Centre(), TGeoPoint(TCoordinate(309000000), TCoordinate(-6000000)));
  EXPECT_NEAR(t.Bearing().Degrees(), 90.0, 1e-9);
  EXPECT_NEAR(t.Width().Metres(), 50.0, 0.01);
  EXPECT_EQ(t.Unidirectional(), 1);
  EXPECT_NEAR(TPosition(t.Centre()).Distance(t.EndPoint1()).Metres(), 25.0, 0.01);

  // The same trap in the older units of 2^-29 radian, and locked.
  auto le32 = [](int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
    return s;
  };
  const std::string one = Unhex("01 00 00 00 01 00 01 00 00 00 0C 53 2F 46 03 00 00 00") + le32(482563501) +
                          le32(-9370165) + le32(843314857) + le32(4213) + Unhex("01 00");
  folder.Put("One", one);
  CTrackProfile old;
  ASSERT_EQ(old.Open(u"One", folder.Root()), 1);
  EXPECT_TRUE(old.IsLocked());
  ASSERT_EQ(old.TrapCount(), 1);
  const CTrapLine& o = *old.Traps()->At(0);
  EXPECT_NEAR(o.Centre().iLatitude.iValue, 309000000, 1);
  EXPECT_NEAR(o.Centre().iLongitude.iValue, -6000000, 1);
  EXPECT_NEAR(o.Bearing().Degrees(), 90.0, 1e-6);
  EXPECT_NEAR(o.Width().Metres(), 50.0, 0.05);
  EXPECT_NEAR(TPosition(o.Centre()).Distance(o.EndPoint2()).Metres(), 25.0, 0.05);

  // Saved again, it is written in today's format.
  old.SetLock(0);
  ASSERT_EQ(old.SaveSafely(), 0);
  EXPECT_EQ(pwtest::ReadFileBytes(folder.TrackPath("One")).substr(0, 4), std::string("\x02\0\0\0", 4));
}

TEST(TrackProfile, HeaderOnlyLoadReadsLockAndCount) {
  TrackFolder folder;
  folder.Put("Head", Unhex("02 00 00 00 01 00 07 00 00 00"));  // seven traps announced, none there
  CTrackProfile track;
  track.SetName(u"Head");
  track.SetFolder(folder.Root());
  ASSERT_EQ(track.Load(false), 1);
  EXPECT_EQ(track.TrapCount(), 7);
  EXPECT_TRUE(track.IsLocked());
  EXPECT_FALSE(track.HasTraps());
  EXPECT_FALSE(track.Centre().IsValid());
  // With traps the same file is cut short.
  EXPECT_EQ(track.Load(true), 0);
  EXPECT_FALSE(track.HasTraps());
  EXPECT_EQ(track.TrapCount(), 0);
  // An empty name loads nothing and succeeds.
  CTrackProfile nameless;
  EXPECT_EQ(nameless.Load(true), 1);
}

TEST(TrackProfile, HostileFilesNeverLoadAndAreNeverOverwritten) {
  TrackFolder folder;
  const std::string golden = Unhex(KGolden);
  // Every cut of a good file, and files of unknown versions or a negative count.
  std::vector<std::string> files;
  std::vector<int32_t> headerReadable;  // the header alone (10 bytes) is complete
  for (size_t n = 0; n < golden.size(); ++n) {
    files.push_back(golden.substr(0, n));
    headerReadable.push_back(n >= 10 ? 1 : 0);
  }
  for (int32_t version : {0, 3, -1, 0x7FFFFFFF}) {
    std::string f = golden;
    for (int i = 0; i < 4; ++i) f[i] = static_cast<char>((static_cast<uint32_t>(version) >> (8 * i)) & 0xFF);
    files.push_back(f);
    headerReadable.push_back(0);
  }
  files.push_back(Unhex("02 00 00 00 00 00 FF FF FF FF"));
  headerReadable.push_back(0);
  // A trap name whose text header promises more than there is.
  files.push_back(Unhex("02 00 00 00 00 00 01 00 00 00 FD 7F 41"));
  headerReadable.push_back(1);

  for (size_t i = 0; i < files.size(); ++i) {
    folder.Put("Bad", files[i]);
    CTrackProfile track;
    const int32_t loaded = track.Open(u"Bad", folder.Root());
    EXPECT_EQ(loaded, 0) << i;
    EXPECT_FALSE(track.HasTraps()) << i;
    EXPECT_TRUE(track.IsLocked()) << i;
    EXPECT_EQ(track.AddTrap(Trap(ETrapSplit, u"x", 1, 1)), 0) << i;
    track.SetLock(0);  // even a modified profile has no traps to write over the file
    EXPECT_EQ(track.SaveSafely(), 0) << i;
    EXPECT_EQ(pwtest::ReadFileBytes(folder.TrackPath("Bad")), files[i]) << i;

    CTrackProfile header;
    header.SetName(u"Bad");
    header.SetFolder(folder.Root());
    EXPECT_EQ(header.Load(false), headerReadable[i]) << i;
  }

  // No file at all.
  CTrackProfile missing;
  EXPECT_EQ(missing.Open(u"Nowhere", folder.Root()), 0);
}

TEST(TrackProfile, TrapNamesAnyTextRoundTripsAndATooLongNameKeepsTheOldFile) {
  TrackFolder folder;
  CTrackProfile track;
  track.SetName(u"Names");
  track.SetFolder(folder.Root());
  track.SetLock(0);
  track.CreateEmptyTrapList();
  const char16_t* odd = u"a/b\\c:d*e?f\"g<h>i|j \u00e9\u4e2d\U0001F3C1";
  track.AddTrap(Trap(ETrapSplit, odd, 1000, 2000));
  track.AddTrap(Trap(ETrapSplit, u"", 3000, 4000));
  ASSERT_EQ(track.SaveSafely(), 0);
  const std::string stored = pwtest::ReadFileBytes(folder.TrackPath("Names"));

  CTrackProfile back;
  ASSERT_EQ(back.Open(u"Names", folder.Root()), 1);
  ASSERT_EQ(back.TrapCount(), 2);
  EXPECT_EQ(back.Traps()->At(0)->Name(), CPwStringC(std::u16string_view(odd)));
  EXPECT_TRUE(back.Traps()->At(1)->Name().IsEmpty());

  // A name longer than the stream can store fails the save; the file stays as it was.
  std::u16string huge(9000, u'x');
  ASSERT_EQ(back.AddTrap(Trap(ETrapSplit, huge.c_str(), 1, 1)), 1);
  EXPECT_EQ(back.SaveSafely(), KErrTooLong);
  EXPECT_TRUE(back.IsModified());
  EXPECT_EQ(pwtest::ReadFileBytes(folder.TrackPath("Names")), stored);
}

TEST(TrackProfile, LockRulesAndSavingOnlyWhatChanged) {
  TrackFolder folder;
  CTrackProfile track;
  track.SetName(u"Lock");
  track.SetFolder(folder.Root());
  track.CreateEmptyTrapList();
  track.SetLock(0);
  ASSERT_EQ(track.AddTrap(Trap(ETrapStart, u"a", 100, 100)), 1);
  ASSERT_EQ(track.AddTrap(Trap(ETrapSplit, u"b", 200, 200)), 1);
  ASSERT_EQ(track.SaveSafely(), 0);

  // Unchanged: saving writes nothing (the file removed behind its back does not come back).
  ASSERT_TRUE(DeleteFile(PwStringFromUtf8(folder.TrackPath("Lock"))));
  ASSERT_EQ(track.SaveSafely(), 0);
  EXPECT_FALSE(FileExists(PwStringFromUtf8(folder.TrackPath("Lock"))));

  // An identical replacement is no change; a real one is.
  EXPECT_EQ(track.ReplaceCurrentTrap(Trap(ETrapSplit, u"b", 200, 200)), 0);
  EXPECT_FALSE(track.IsModified());
  EXPECT_EQ(track.ReplaceCurrentTrap(Trap(ETrapSplit, u"b2", 200, 200)), 1);
  EXPECT_TRUE(track.IsModified());
  ASSERT_EQ(track.SaveSafely(), 0);

  // Locked: nothing can be added, replaced or removed, and the lock change is a change.
  track.SetLock(1);
  EXPECT_TRUE(track.IsModified());
  EXPECT_EQ(track.AddTrap(Trap(ETrapSplit, u"c", 1, 1)), 0);
  EXPECT_EQ(track.ReplaceCurrentTrap(Trap(ETrapSplit, u"c", 1, 1)), 0);
  EXPECT_EQ(track.RemoveCurrentTrap(), 0);
  EXPECT_EQ(track.TrapCount(), 2);
  ASSERT_EQ(track.SaveSafely(), 0);
  track.SetLock(1);
  EXPECT_FALSE(track.IsModified());  // no change of the flag
  track.SetLock(0);
  EXPECT_EQ(track.RemoveCurrentTrap(), 1);
  EXPECT_EQ(track.TrapCount(), 1);

  // Without a trap list nothing can be edited.
  CTrackProfile header;
  header.SetLock(0);
  EXPECT_EQ(header.AddTrap(Trap(ETrapSplit, u"c", 1, 1)), 0);

  // Open saves the modified track it leaves.
  CTrackProfile other;
  ASSERT_EQ(track.Open(u"Other", folder.Root()), 0);  // no such file
  CTrackProfile reread;
  ASSERT_EQ(reread.Open(u"Lock", folder.Root()), 1);
  EXPECT_EQ(reread.TrapCount(), 1);
  EXPECT_FALSE(reread.IsLocked());
}

TEST(TrackProfile, CursorCopyAndCentre) {
  CTrackProfile track;
  EXPECT_FALSE(track.Centre().IsValid());
  track.CreateEmptyTrapList();
  EXPECT_FALSE(track.Centre().IsValid());
  track.SetLock(0);
  track.AddTrap(Trap(ETrapDisabled, u"first", 1000, 1000));  // counts although disabled
  track.AddTrap(Trap(ETrapSplit, u"b", 3000, 5000));
  track.AddTrap(Trap(ETrapDisabled, u"far", 900000, 900000));  // ignored
  track.AddTrap(Trap(ETrapFinish, u"d", 2000, -1000));
  EXPECT_EQ(track.Centre(), TGeoPoint(TCoordinate(2000), TCoordinate(2000)));

  EXPECT_EQ(track.CurrentTrap()->Name(), CPwStringC(u"d"));
  track.NextTrap();
  EXPECT_EQ(track.CurrentTrap()->Name(), CPwStringC(u"first"));
  track.PreviousTrap();
  track.PreviousTrap();
  EXPECT_EQ(track.CurrentTrap()->Name(), CPwStringC(u"far"));

  CTrackProfile copy;
  copy.CopyFrom(track);
  ASSERT_TRUE(copy.HasTraps());
  EXPECT_EQ(copy.TrapCount(), 4);
  EXPECT_EQ(copy.CurrentTrap()->Name(), CPwStringC(u"far"));
  EXPECT_NE(copy.Traps()->At(0), track.Traps()->At(0));  // copies, not shared
  EXPECT_FALSE(copy.IsLocked());
  track.DropTraps();
  EXPECT_EQ(track.TrapCount(), 4);  // the header keeps the count
  copy.CopyFrom(track);
  EXPECT_FALSE(copy.HasTraps());
  copy.Reset();
  EXPECT_TRUE(copy.IsLocked());
  EXPECT_EQ(copy.TrapCount(), 0);
}
