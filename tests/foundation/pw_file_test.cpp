#include "foundation/pw_file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/file_io.h"
#include "support/test_support.h"

namespace {

CPwString Wide(std::string_view aUtf8) { return PwStringFromUtf8(aUtf8); }

class PwFileTest : public ::testing::Test {
 protected:
  void TearDown() override { pwplat::SetWriteBudgetForTest(-1); }
  pwtest::TempDir iDir;
};

TEST_F(PwFileTest, OpenModesAndFailures) {
  CPwFile file;
  file.SetPath(Wide(iDir / "f.bin"));
  EXPECT_EQ(file.OpenRead(), 0);   // existing files only
  EXPECT_EQ(file.OpenWrite(), 0);
  EXPECT_EQ(file.Size(), -1);

  file.Replace();
  EXPECT_TRUE(file.IsWritable());
  EXPECT_EQ(file.Write(CPwByteArrayC("hello")), 1);
  EXPECT_EQ(file.Size(), 5);
  EXPECT_TRUE(file.Flush());
  file.Close();
  file.Close();  // idempotent

  // Read-only handles refuse writes.
  EXPECT_EQ(file.OpenRead(), 1);
  EXPECT_FALSE(file.IsWritable());
  EXPECT_EQ(file.Write(CPwByteArrayC("x")), 0);
  EXPECT_FALSE(file.Flush());
  uint8_t buf[8];
  EXPECT_TRUE(file.Seek(1));
  EXPECT_EQ(file.Read(buf, 8), 4);
  EXPECT_EQ(file.Tell(), 5);
  EXPECT_EQ(file.Read(buf, 8), 0);
  file.Close();

  file.OpenAppend();
  EXPECT_EQ(file.Tell(), 5);
  EXPECT_EQ(file.Write(CPwByteArrayC("!")), 1);
  file.Close();
  EXPECT_EQ(pwtest::ReadFileBytes(iDir / "f.bin"), "hello!");

  CPwFile bad;
  bad.SetPath(Wide(iDir / "missing/f.bin"));
  EXPECT_EQ(Trap([&] { bad.Replace(); }), KErrCannotOpen);
  EXPECT_EQ(Trap([&] { bad.OpenAppend(); }), KErrCannotOpen);
  bad.SetPath(Wide(iDir.Path()));  // a folder is no file
  EXPECT_EQ(bad.OpenRead(), 0);
  EXPECT_EQ(Trap([&] { bad.OpenAppend(); }), KErrCannotOpen);
}

TEST_F(PwFileTest, SizeOfAClosedFileIsCachedUntilReopened) {
  std::string path = iDir / "s.bin";
  ASSERT_TRUE(pwtest::WriteFileBytes(path, "1234"));
  CPwFile file;
  file.SetPath(Wide(path));
  EXPECT_EQ(file.Size(), 4);
  ASSERT_TRUE(pwtest::WriteFileBytes(path, "123456"));
  EXPECT_EQ(file.Size(), 4);  // taken once
  ASSERT_EQ(file.OpenRead(), 1);
  EXPECT_EQ(file.Size(), 6);
  CPwByteArray all;
  EXPECT_EQ(file.ReadAll(all), 1);
  EXPECT_EQ(all.View(), "123456");
  file.Close();
  EXPECT_EQ(file.Size(), 6);
}

TEST_F(PwFileTest, BufferedWritesReachTheFileInFewWrites) {
  std::string path = iDir / "b.bin";
  PwFileBuffered file;
  file.SetPath(Wide(path));
  file.Replace(16, 0);
  file.Write(CPwByteArrayC("0123456789"));
  file.Write(CPwByteArrayC("abcdef"));  // exactly fills the buffer
  EXPECT_EQ(pwtest::ReadFileBytes(path), "");
  file.Write(CPwByteArrayC("X"));  // does not fit: the 16 buffered bytes go out
  EXPECT_EQ(pwtest::ReadFileBytes(path), "0123456789abcdef");
  std::string big(40, 'B');
  file.Write(CPwByteArrayC(big));  // larger than the buffer: the buffer grows
  EXPECT_EQ(pwtest::ReadFileBytes(path), "0123456789abcdefX");
  EXPECT_EQ(file.BytesSinceSync(), 57);
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(pwtest::ReadFileBytes(path), "0123456789abcdefX" + big);

  // Append continues the same file; opening twice changes nothing.
  file.OpenAppend(16, 0);
  file.OpenAppend(16, 0);
  file.Write(CPwByteArrayC("end"));
  file.Close();
  EXPECT_EQ(pwtest::ReadFileBytes(path), "0123456789abcdefX" + big + "end");
}

TEST_F(PwFileTest, FlushThresholdBoundsWhatACrashCanLose) {
  // The recording's samples file: 10240-byte buffer, forced to the medium every 20480 bytes.
  std::string path = iDir / "plots.bin";
  PwFileBuffered file;
  file.SetPath(Wide(path));
  file.OpenAppend(10240, 20480);
  CPwByteArray record;
  for (int i = 0; i < 31; ++i) record.AppendByte(static_cast<uint8_t>(i));
  int32_t mostAtRisk = 0;
  for (int i = 0; i < 5000; ++i) {
    file.Write(record);
    mostAtRisk = std::max(mostAtRisk, file.BytesSinceSync());
  }
  EXPECT_LT(mostAtRisk, 20480);
  EXPECT_GT(mostAtRisk, 20480 - 31 - 1);
  // Everything but the bytes at risk is in the file already.
  EXPECT_GE(static_cast<int64_t>(pwtest::ReadFileBytes(path).size()), 5000 * 31 - file.BytesSinceSync());
  EXPECT_TRUE(file.Flush());
  EXPECT_EQ(file.BytesSinceSync(), 0);
  EXPECT_EQ(pwtest::ReadFileBytes(path).size(), 5000u * 31);
  file.Close();
}

TEST_F(PwFileTest, FailedDiskWriteClosesAndDropsLaterWrites) {
  std::string path = iDir / "full.bin";
  PwFileBuffered file;
  file.SetPath(Wide(path));
  file.Replace(8, 0);
  pwplat::SetWriteBudgetForTest(10);
  file.Write(CPwByteArrayC("aaaaaaaa"));
  file.Write(CPwByteArrayC("bbbbbbbb"));  // the first 8 go out
  file.Write(CPwByteArrayC("cccccccc"));  // the medium is full after 2 more bytes
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(file.HasFailed());
  file.Write(CPwByteArrayC("dddddddd"));  // silently dropped
  EXPECT_FALSE(file.Flush());
  file.Close();
  pwplat::SetWriteBudgetForTest(-1);
  EXPECT_EQ(pwtest::ReadFileBytes(path), "aaaaaaaabb");

  // A failing flush to the medium counts as a failed write too.
  file.Replace(8, 0);
  EXPECT_FALSE(file.HasFailed());
  file.Write(CPwByteArrayC("x"));
  pwplat::SetWriteBudgetForTest(1);
  EXPECT_FALSE(file.Flush());
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(PwFileTest, ReadErrorIsNotTheEndOfTheFile) {
  std::string path = iDir / "e.bin";
  ASSERT_TRUE(pwtest::WriteFileBytes(path, std::string(64, 'x')));
  CPwFile plain;
  plain.SetPath(Wide(path));
  ASSERT_EQ(plain.OpenRead(), 1);
  uint8_t buf[8];
  pwplat::SetReadBudgetForTest(0);
  EXPECT_EQ(plain.Read(buf, 8), -1);
  CPwByteArray all;
  EXPECT_EQ(plain.ReadAll(all), 0);
  EXPECT_EQ(all.Length(), 0);
  pwplat::SetReadBudgetForTest(-1);
  plain.Close();

  PwFileBuffered buffered;
  buffered.SetPath(Wide(path));
  ASSERT_EQ(buffered.OpenRead(16), 1);
  CPwByteArray chunk;
  ASSERT_TRUE(buffered.Read(8, chunk));
  EXPECT_FALSE(buffered.HasFailed());
  pwplat::SetReadBudgetForTest(0);
  EXPECT_TRUE(buffered.Read(8, chunk));  // what was buffered still comes
  EXPECT_FALSE(buffered.Read(8, chunk));
  EXPECT_TRUE(buffered.HasFailed());
  pwplat::SetReadBudgetForTest(-1);
  buffered.Close();
}

TEST_F(PwFileTest, BufferedReadsMoveExactSizes) {
  std::string path = iDir / "r.bin";
  std::string content;
  for (int i = 0; i < 300; ++i) content.push_back(static_cast<char>(i));
  ASSERT_TRUE(pwtest::WriteFileBytes(path, content));
  PwFileBuffered file;
  file.SetPath(Wide(path));
  EXPECT_EQ(file.OpenRead(16), 1);
  EXPECT_EQ(file.OpenRead(16), 0);  // already open
  CPwByteArray chunk;
  std::string back;
  ASSERT_TRUE(file.Read(2, chunk));
  EXPECT_EQ(chunk.Length(), 2);
  back += chunk.View();
  ASSERT_TRUE(file.Read(100, chunk));  // more than the buffer holds
  EXPECT_EQ(chunk.Length(), 100);
  back += chunk.View();
  while (file.Read(31, chunk)) back += chunk.View();
  EXPECT_EQ(back, content);
  EXPECT_EQ(chunk.Length(), 12);  // the last piece is what was left (198 = 6 * 31 + 12)
  EXPECT_FALSE(file.Read(1, chunk));
  file.Close();

  PwFileBuffered missing;
  missing.SetPath(Wide(iDir / "none"));
  EXPECT_EQ(missing.OpenRead(16), 0);
  EXPECT_FALSE(missing.Read(1, chunk));
}

}  // namespace
