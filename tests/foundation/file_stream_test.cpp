#include "foundation/file_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/paths.h"
#include "platform/file_io.h"
#include "support/test_support.h"

namespace {

CPwString Wide(std::string_view aUtf8) { return PwStringFromUtf8(aUtf8); }

std::string Bytes(std::initializer_list<int> aBytes) {
  std::string s;
  for (int b : aBytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Encoded(CPwStringC aText) {
  CPwByteArray out;
  PwFileStream::EncodeText(aText, out);
  return std::string(out.View());
}

// Writes through a stream into a file and returns the file's bytes.
template <class F>
std::string WriteFile(const std::string& aPath, F&& aWrite) {
  PwFileStream stream;
  stream.SetPath(Wide(aPath));
  stream.OpenWrite();
  aWrite(stream);
  EXPECT_EQ(stream.Close(), KErrNone);
  return pwtest::ReadFileBytes(aPath);
}

// Opens a stream on a file holding aBytes.
void OpenOn(PwFileStream& aStream, const pwtest::TempDir& aDir, const std::string& aBytes) {
  std::string path = aDir / "in.bin";
  ASSERT_TRUE(pwtest::WriteFileBytes(path, aBytes));
  aStream.SetPath(Wide(path));
  ASSERT_EQ(aStream.OpenRead(), 1);
}

class FileStreamTest : public ::testing::Test {
 protected:
  void TearDown() override { pwplat::SetWriteBudgetForTest(-1); }
  pwtest::TempDir iDir;
};

TEST(FileStreamEncoding, TextHeadersAndCharacters) {
  EXPECT_EQ(Encoded(u""), Bytes({0x00}));
  EXPECT_EQ(Encoded(u"Sessions/"), Bytes({0x24}) + "Sessions/");
  EXPECT_EQ(Encoded(CPwString(Wide(std::string(63, 'a')))).substr(0, 1), Bytes({0xFC}));
  EXPECT_EQ(Encoded(CPwString(Wide(std::string(64, 'a')))).substr(0, 2), Bytes({0x01, 0x02}));
  EXPECT_EQ(Encoded(CPwString(Wide(std::string(100, 'a')))).substr(0, 2), Bytes({0x21, 0x03}));
  std::string longest = Encoded(CPwString(Wide(std::string(8191, 'a'))));
  EXPECT_EQ(longest.substr(0, 2), Bytes({0xF9, 0xFF}));
  EXPECT_EQ(longest.size(), 8193u);

  EXPECT_EQ(Encoded(u"\u00E9"), Bytes({0x04, 0x0E, 0x00, 0xE9}));
  // U+000E must not read back as the start of a wide character.
  EXPECT_EQ(Encoded(u"\u000E"), Bytes({0x04, 0x0E, 0x00, 0x0E}));
  EXPECT_EQ(Encoded(u"\u007F\u0080\uFFFF"),
            Bytes({0x0C, 0x7F, 0x0E, 0x00, 0x80, 0x0E, 0xFF, 0xFF}));
}

TEST(FileStreamEncoding, TooLongTextIsRefusedWithoutOutput) {
  CPwString tooLong(Wide(std::string(8192, 'a')));
  CPwByteArray out;
  EXPECT_EQ(Trap([&] { PwFileStream::EncodeText(tooLong, out); }), KErrTooLong);
  EXPECT_EQ(out.Length(), 0);
}

TEST_F(FileStreamTest, IntegersBtAddrAndUtf8AreLittleEndianAndUntagged) {
  TPwBtAddr addr;
  for (int i = 0; i < 6; ++i) addr[i] = static_cast<uint8_t>(0xA0 + i);
  std::string bytes = WriteFile(iDir / "ints.bin", [&](PwFileStream& s) {
    s.WriteInt8(0x1FF);
    s.WriteInt16(0x12345);
    s.WriteInt32(-2);
    s.WriteInt32(0x01020304);
    s.WriteUtf8Text(u"\u00E9x");
    s.WriteBtAddr(addr);
    s.WriteText(u"ab");
  });
  EXPECT_EQ(bytes, Bytes({0xFF, 0x45, 0x23, 0xFE, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01,
                          0x03, 0x00, 0xC3, 0xA9, 'x', 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5,
                          0x08, 'a', 'b'}));
}

TEST_F(FileStreamTest, RoundTripOfEveryItem) {
  TPwBtAddr addr;
  addr[0] = 0x00;
  addr[5] = 0xFF;
  CPwString longText(Wide(std::string(8191, 'z')));
  longText.SetCharAt(100, u'\u20AC');
  CPwString utf8(Wide("Grüße \xF0\x9F\x8F\x81"));  // includes a surrogate pair
  const char16_t kOdd[] = {0x0E, 0x00, 0xFF};
  const CPwStringC odd(kOdd, 3);
  std::string path = iDir / "all.bin";
  WriteFile(path, [&](PwFileStream& s) {
    s.WriteInt8(200);
    s.WriteInt16(65535);
    s.WriteInt32(INT32_MIN);
    s.WriteInt32(INT32_MAX);
    s.WriteText(u"");
    s.WriteText(longText);
    s.WriteText(odd);
    s.WriteUtf8Text(utf8);
    s.WriteBtAddr(addr);
  });

  PwFileStream in;
  in.SetPath(Wide(path));
  ASSERT_EQ(in.OpenRead(), 1);
  EXPECT_EQ(in.ReadInt8(), 200);
  EXPECT_EQ(in.ReadInt16(), 65535);
  EXPECT_EQ(in.ReadInt32(), INT32_MIN);
  EXPECT_EQ(in.ReadInt32(), INT32_MAX);
  CPwString text(Wide("previous content"));
  in.ReadText(text);
  EXPECT_TRUE(text.IsEmpty());
  in.ReadText(text);
  EXPECT_EQ(CPwStringC(text), CPwStringC(longText));
  in.ReadText(text);
  EXPECT_EQ(CPwStringC(text), odd);
  in.ReadUtf8Text(text);
  EXPECT_EQ(CPwStringC(text), CPwStringC(utf8));
  TPwBtAddr back;
  in.ReadBtAddr(back);
  EXPECT_TRUE(back == addr);
  EXPECT_EQ(in.Remaining(), 0);
  EXPECT_EQ(Trap([&] { in.ReadInt8(); }), KErrCorrupt);
  in.Close();
  EXPECT_EQ(in.ReadPosition(), 0);
}

TEST_F(FileStreamTest, ShortReadsLeaveCorruptAndKeepThePosition) {
  PwFileStream s;
  OpenOn(s, iDir, Bytes({0x01, 0x02, 0x03, 0x04}));
  EXPECT_EQ(s.ReadInt8(), 1);
  EXPECT_EQ(Trap([&] { s.ReadInt32(); }), KErrCorrupt);
  EXPECT_EQ(s.ReadPosition(), 1);
  EXPECT_EQ(s.ReadInt16(), 0x0302);
  EXPECT_EQ(Trap([&] { s.ReadInt16(); }), KErrCorrupt);
  TPwBtAddr addr;
  EXPECT_EQ(Trap([&] { s.ReadBtAddr(addr); }), KErrCorrupt);
  CPwString t;
  EXPECT_EQ(Trap([&] { s.ReadUtf8Text(t); }), KErrCorrupt);
  EXPECT_EQ(s.ReadPosition(), 3);
  EXPECT_EQ(s.ReadInt8(), 4);
}

TEST_F(FileStreamTest, MalformedTextsLeaveCorruptAndKeepTarget) {
  struct TCase {
    const char* iWhy;
    std::string iBytes;
  } cases[] = {
      {"low bits 10", Bytes({0x06, 'a'})},
      {"low bits 11", Bytes({0x07, 'a'})},
      {"two-byte header cut off", Bytes({0x01})},
      {"wide character cut off after mark", Bytes({0x04, 0x0E})},
      {"wide character cut off after high byte", Bytes({0x04, 0x0E, 0x00})},
      {"utf8 count beyond the data", Bytes({0x05, 0x00, 'a', 'b'})},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.iWhy);
    PwFileStream s;
    OpenOn(s, iDir, c.iBytes);
    CPwString target(Wide("kept"));
    bool utf8 = std::string(c.iWhy).rfind("utf8", 0) == 0;
    EXPECT_EQ(Trap([&] { utf8 ? s.ReadUtf8Text(target) : s.ReadText(target); }), KErrCorrupt);
    EXPECT_EQ(s.ReadPosition(), 0);
    EXPECT_EQ(CPwStringC(target), CPwStringC(u"kept"));
  }
}

TEST_F(FileStreamTest, NonCanonicalTwoByteHeaderIsAccepted) {
  PwFileStream s;
  OpenOn(s, iDir, Bytes({0x11, 0x00, 'a', 'b'}));  // count 2 in the long form
  CPwString t;
  s.ReadText(t);
  EXPECT_EQ(CPwStringC(t), CPwStringC(u"ab"));
}

TEST_F(FileStreamTest, FileLargerThanTheBufferIsReadWhole) {
  std::string path = iDir / "big.bin";
  const int32_t kCount = 3 * PwFileStream::KBufferSize;  // Int32s: 12 buffers of data
  WriteFile(path, [&](PwFileStream& s) {
    for (int32_t i = 0; i < kCount; ++i) s.WriteInt32(i * 7);
  });
  EXPECT_EQ(pwtest::ReadFileBytes(path).size(), static_cast<size_t>(kCount) * 4);
  PwFileStream in;
  in.SetPath(Wide(path));
  ASSERT_EQ(in.OpenRead(), 1);
  EXPECT_EQ(in.Remaining(), kCount * 4);
  bool allMatch = true;
  for (int32_t i = 0; i < kCount; ++i) allMatch = allMatch && in.ReadInt32() == i * 7;
  EXPECT_TRUE(allMatch);
}

TEST_F(FileStreamTest, OpenFailures) {
  PwFileStream s;
  s.SetPath(Wide(iDir / "missing.bin"));
  EXPECT_EQ(s.OpenRead(), 0);
  EXPECT_EQ(Trap([&] { s.ReadInt8(); }), KErrCorrupt);

  s.SetPath(Wide(iDir / "no-such-folder/out.bin"));
  EXPECT_EQ(Trap([&] { s.OpenWrite(); }), KErrCannotOpen);
  s.SetPath(Wide(iDir.Path()));  // a folder
  EXPECT_EQ(Trap([&] { s.OpenWrite(); }), KErrCannotOpen);
  s.SetPath(u"");
  EXPECT_EQ(Trap([&] { s.OpenWrite(); }), KErrCannotOpen);
  EXPECT_EQ(s.OpenRead(), 0);

  // A read error part way is no shorter file: the open fails.
  const std::string path = iDir / "damaged.bin";
  WriteFile(path, [&](PwFileStream& out) {
    for (int32_t i = 0; i < 2 * PwFileStream::KBufferSize; ++i) out.WriteInt32(i);
  });
  s.SetPath(Wide(path));
  pwplat::SetReadBudgetForTest(PwFileStream::KBufferSize);
  EXPECT_EQ(s.OpenRead(), 0);
  pwplat::SetReadBudgetForTest(-1);
  EXPECT_EQ(Trap([&] { s.ReadInt8(); }), KErrCorrupt);
  EXPECT_EQ(s.OpenRead(), 1);
}

TEST_F(FileStreamTest, FailedSaveKeepsThePreviousFile) {
  std::string path = iDir / "settings.dat";
  ASSERT_TRUE(pwtest::WriteFileBytes(path, "good old content"));

  // The medium fills up after 100 bytes of a 30000-byte save.
  PwFileStream s;
  s.SetPath(Wide(path));
  s.OpenWrite();
  pwplat::SetWriteBudgetForTest(100);
  for (int i = 0; i < 7500; ++i) s.WriteInt32(i);
  EXPECT_EQ(s.Close(), KErrCannotOpen);
  pwplat::SetWriteBudgetForTest(-1);

  EXPECT_EQ(pwtest::ReadFileBytes(path), "good old content");
  EXPECT_FALSE(pwplat::PathExists((path + ".tmp").c_str()));

  // A failure in the very last write (inside Close) is caught too.
  s.OpenWrite();
  s.WriteText(u"short");
  pwplat::SetWriteBudgetForTest(3);
  EXPECT_EQ(s.Close(), KErrCannotOpen);
  pwplat::SetWriteBudgetForTest(-1);
  EXPECT_EQ(pwtest::ReadFileBytes(path), "good old content");

  // And a successful save replaces it.
  s.OpenWrite();
  s.WriteInt8('N');
  EXPECT_EQ(s.Close(), KErrNone);
  EXPECT_EQ(s.Close(), KErrNone);  // twice is harmless
  EXPECT_EQ(pwtest::ReadFileBytes(path), "N");
  EXPECT_FALSE(pwplat::PathExists((path + ".tmp").c_str()));
}

TEST_F(FileStreamTest, LeaveHalfwayThroughASaveKeepsThePreviousFile) {
  std::string path = iDir / "track-track.bin";
  ASSERT_TRUE(pwtest::WriteFileBytes(path, "previous"));
  CPwString tooLong(Wide(std::string(9000, 'a')));
  int32_t err = Trap([&] {
    PwFileStream s;
    s.SetPath(Wide(path));
    s.OpenWrite();
    s.WriteInt32(1);
    s.WriteText(tooLong);
    s.Close();
  });
  EXPECT_EQ(err, KErrTooLong);
  EXPECT_EQ(pwtest::ReadFileBytes(path), "previous");
  EXPECT_FALSE(pwplat::PathExists((path + ".tmp").c_str()));
}

TEST_F(FileStreamTest, ReadOnlyTargetIsRefused) {
  std::string path = iDir / "locked.bin";
  ASSERT_TRUE(pwtest::WriteFileBytes(path, "x"));
  chmod(path.c_str(), 0444);
  // Permissions do not bind the superuser; a read-only medium does.
  std::unique_ptr<pwtest::ReadOnlyMount> medium;
  if (geteuid() == 0) {
    medium = std::make_unique<pwtest::ReadOnlyMount>(iDir.Path());
    if (!medium->Mounted()) GTEST_SKIP() << "neither permissions nor a read-only mount bind the superuser here";
  }
  PwFileStream s;
  s.SetPath(Wide(path));
  EXPECT_EQ(Trap([&] { s.OpenWrite(); }), KErrCannotOpen);
  EXPECT_EQ(pwtest::ReadFileBytes(path), "x");
  // A new file on a read-only medium cannot be made either, and nothing is left behind.
  if (medium) {
    s.SetPath(Wide(iDir / "new.bin"));
    EXPECT_EQ(Trap([&] { s.OpenWrite(); }), KErrCannotOpen);
    EXPECT_FALSE(pwplat::PathExists((iDir / "new.bin").c_str()));
  }
}

TEST_F(FileStreamTest, SaveThroughALinkReplacesTheLinkedFile) {
  std::string real = iDir / "real.dat";
  std::string link = iDir / "link.dat";
  ASSERT_TRUE(pwtest::WriteFileBytes(real, "old"));
  ASSERT_EQ(symlink("real.dat", link.c_str()), 0);
  WriteFile(link, [](PwFileStream& s) { s.WriteInt8('n'); });
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(pwtest::ReadFileBytes(real), "n");
}

TEST_F(FileStreamTest, AppDataPathUsesTheOverrideFolder) {
  std::string appData = iDir / "appdata/Pacewright";
  setenv("PACEWRIGHT_APPDATA", appData.c_str(), 1);
  PwFileStream s;
  s.SetAppDataPath(u"settings.dat");
  EXPECT_EQ(std::string(PwToUtf8(s.Path())), appData + "/settings.dat");
  s.OpenWrite();
  s.WriteInt16(7);
  EXPECT_EQ(s.Close(), KErrNone);
  EXPECT_EQ(pwtest::ReadFileBytes(appData + "/settings.dat"), Bytes({7, 0}));
  unsetenv("PACEWRIGHT_APPDATA");
}

}  // namespace
