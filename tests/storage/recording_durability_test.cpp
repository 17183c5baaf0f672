// What a recording survives: a process killed in the middle of writing, a file cut at any byte,
// a medium that fills up. Whatever reached the file before the damage must load, the damage
// itself must only mark the session incomplete, and nothing may be appended behind it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/obd_channels.h"
#include "foundation/paths.h"
#include "platform/file_io.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"
#include "support/test_support.h"

namespace {

constexpr int32_t KStart = 36000000;
const int32_t KDate = PwTime::FromDate(2024, 6, 1).Milliseconds();

// Sample i of the drive every process in these tests records: a position every 100 ms and an
// RPM value with every second one. The first position is dated, which writes a resume item.
void AddSample(CPlotList& aList, int32_t i) {
  const int32_t t = KStart + i * 100;
  aList.AddPosition(TCoordinate(3000000 + i * 11), TCoordinate(600000 + i * 7), t, TDistance::FromMetres(80),
                    TSpeed::FromMetresPerSecond(15 + i % 10), (i * 3) % 360, 0.9, 1.4, 9, 0, 0, KDate, t, 0);
  if (i % 2 == 0) aList.AddObdValue(t + 40, 0x0C, static_cast<uint32_t>(2000 + i % 5000), 0);
}

// Where each record of that drive ends in the file, in writing order.
struct TRecordEnd {
  int64_t iEnd;
  bool iPosition;
};

std::vector<TRecordEnd> Layout(int64_t aUpTo) {
  std::vector<TRecordEnd> ends;
  int64_t at = CPlotList::KHeaderBytes + 2 + CPlotList::KResumePayload;
  ends.push_back({at, false});
  for (int32_t i = 0; at < aUpTo; ++i) {
    at += 2 + CPlotList::KPositionPayload;
    ends.push_back({at, true});
    if (i % 2 == 0) {
      at += 2 + CPlotList::KObdPayload;
      ends.push_back({at, false});
    }
  }
  return ends;
}

// Whole records of the drive that fit in the first aSize bytes, and whether aSize ends on one.
struct TPrefix {
  int32_t iPositions = 0;
  int32_t iRecords = 0;
  bool iOnBoundary = false;
};

TPrefix PrefixOf(int64_t aSize) {
  TPrefix p;
  p.iOnBoundary = aSize == CPlotList::KHeaderBytes;
  for (const TRecordEnd& e : Layout(aSize)) {
    if (e.iEnd > aSize) break;
    ++p.iRecords;
    if (e.iPosition) ++p.iPositions;
    if (e.iEnd == aSize) p.iOnBoundary = true;
  }
  return p;
}

class SessionFolder {
 public:
  SessionFolder() {
    SetFromNativePath(iRoot, (iDir.Path() + "/").c_str());
    EXPECT_TRUE(EnsureFolders(iRoot));
  }
  CPwStringC Root() const { return iRoot; }
  std::string PlotsPath(const char* aBase) const {
    return iDir.Path() + "/Pacewright/Sessions/" + aBase + "-plots.bin";
  }

 private:
  pwtest::TempDir iDir;
  CPwString iRoot;
};

class DurabilityTest : public ::testing::Test {
 protected:
  void SetUp() override { iChannels.reset(CObdChannelList::NewL()); }
  void TearDown() override { pwplat::SetWriteBudgetForTest(-1); }

  std::unique_ptr<CPlotList> NewList() { return std::unique_ptr<CPlotList>(CPlotList::NewL(iChannels.get())); }

  // Loads a session; returns the loader's final state.
  int32_t LoadInto(CPlotList& aList, const char16_t* aBase) {
    CPlotListLoader* loader =
        aList.StartLoading(nullptr, CPwStringC(aBase, std::char_traits<char16_t>::length(aBase)), iFolder.Root());
    const int32_t code = Trap([&] {
      while (loader->Step()) {
      }
    });
    EXPECT_EQ(code, 0);
    const int32_t state = loader->State();
    aList.FinishLoading();
    return state;
  }

  // The loaded positions are exactly the first ones of the drive.
  void ExpectDrivePrefix(const CPlotList& aList, int32_t aPositions) {
    const CPositionPlotList& p = aList.PositionList();
    ASSERT_EQ(p.Count(), aPositions);
    for (int32_t i = 0; i < aPositions; ++i) {
      ASSERT_EQ(p.At(i).iTime, KStart + i * 100) << i;
      ASSERT_EQ(p.At(i).iLatitude, 3000000 + i * 11) << i;
      ASSERT_EQ(p.At(i).iLongitude, 600000 + i * 7) << i;
    }
  }

  std::unique_ptr<CObdChannelList> iChannels;
  SessionFolder iFolder;
};

}  // namespace

TEST_F(DurabilityTest, KilledWhileRecordingLosesNothingThatReachedTheFile) {
  const std::string path = iFolder.PlotsPath("drive");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The recording process: appends as fast as it can and tells how large the file has
    // grown each time the size changes, until it is killed.
    close(fds[0]);
    int32_t status = Trap([&] {
      std::unique_ptr<CPlotList> list(CPlotList::NewL(iChannels.get()));
      list->CreateFile(u"drive", iFolder.Root());
      list->OpenForAppend();
      int64_t reported = -1;
      for (int32_t i = 0; i < 400000; ++i) {
        AddSample(*list, i);
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && st.st_size != reported) {
          reported = st.st_size;
          if (write(fds[1], &reported, sizeof reported) != sizeof reported) _exit(3);
        }
      }
    });
    // Not killed in time: wait for it rather than finishing the file cleanly.
    if (status == 0)
      for (;;) pause();
    _exit(2);
  }
  close(fds[1]);
  // However this test ends, the recorder does not outlive it.
  struct TReaper {
    pid_t iPid;
    ~TReaper() {
      if (iPid > 0) {
        kill(iPid, SIGKILL);
        waitpid(iPid, nullptr, 0);
      }
    }
  } reaper{child};

  int64_t reported = 0;
  while (reported < 400000) {
    int64_t size;
    ASSERT_EQ(read(fds[0], &size, sizeof size), static_cast<ssize_t>(sizeof size)) << "recorder ended early";
    reported = size;
  }
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  reaper.iPid = -1;
  close(fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  const std::string bytes = pwtest::ReadFileBytes(path);
  const int64_t size = static_cast<int64_t>(bytes.size());
  ASSERT_GE(size, reported) << "data the recorder saw in the file is still there";
  const TPrefix expected = PrefixOf(size);
  ASSERT_GT(expected.iPositions, 10000);

  std::unique_ptr<CPlotList> loaded = NewList();
  const int32_t state = LoadInto(*loaded, u"drive");
  EXPECT_EQ(state, expected.iOnBoundary ? CPlotListLoader::EComplete : CPlotListLoader::EIncomplete);
  EXPECT_EQ(loaded->IsComplete(), expected.iOnBoundary);
  ExpectDrivePrefix(*loaded, expected.iPositions);
  EXPECT_EQ(loaded->ObdList().ListAt(0).Count(), expected.iRecords - 1 - expected.iPositions);
  EXPECT_EQ(loaded->ResumeList().Count(), 1);

  // Resuming after a clean crash continues the file; the next load sees both parts.
  if (expected.iOnBoundary) {
    loaded->OpenForAppend();
    ASSERT_TRUE(loaded->IsFileOpen());
    AddSample(*loaded, expected.iPositions + 100);
    loaded->CloseFile();
    std::unique_ptr<CPlotList> again = NewList();
    EXPECT_EQ(LoadInto(*again, u"drive"), CPlotListLoader::EComplete);
    EXPECT_EQ(again->PositionList().Count(), expected.iPositions + 1);
  }
}

TEST_F(DurabilityTest, AFileCutAtAnyByteLoadsEveryWholeRecordBeforeTheCut) {
  std::unique_ptr<CPlotList> list = NewList();
  list->CreateFile(u"drive", iFolder.Root());
  list->OpenForAppend();
  for (int32_t i = 0; i < 3000; ++i) AddSample(*list, i);
  list->CloseFile();
  const std::string bytes = pwtest::ReadFileBytes(iFolder.PlotsPath("drive"));

  // Every byte of the first records, every byte around a 64 KiB portion end, and the end.
  std::vector<int64_t> cuts;
  for (int64_t c = 16; c < 16 + 14 + 3 * 42; ++c) cuts.push_back(c);
  for (int64_t c = 65536 - 40; c < 65536 + 40; ++c) cuts.push_back(c);
  for (int64_t c = static_cast<int64_t>(bytes.size()) - 45; c <= static_cast<int64_t>(bytes.size()); ++c)
    cuts.push_back(c);
  for (int64_t cut : cuts) {
    ASSERT_TRUE(pwtest::WriteFileBytes(iFolder.PlotsPath("cut"), bytes.substr(0, static_cast<size_t>(cut))));
    const TPrefix expected = PrefixOf(cut);
    std::unique_ptr<CPlotList> loaded = NewList();
    const int32_t state = LoadInto(*loaded, u"cut");
    ASSERT_EQ(state, expected.iOnBoundary ? CPlotListLoader::EComplete : CPlotListLoader::EIncomplete) << cut;
    ExpectDrivePrefix(*loaded, expected.iPositions);
    // Appending is only allowed behind a whole record.
    loaded->OpenForAppend();
    ASSERT_EQ(loaded->IsFileOpen(), expected.iOnBoundary) << cut;
    loaded->CloseFile();
    ASSERT_EQ(static_cast<int64_t>(pwtest::ReadFileBytes(iFolder.PlotsPath("cut")).size()), cut)
        << "opening and closing leaves the file as it was";
  }
}

TEST_F(DurabilityTest, RecordingIsForcedToTheMediumEvery20480BytesAtMost) {
  std::unique_ptr<CPlotList> list = NewList();
  list->CreateFile(u"drive", iFolder.Root());
  list->OpenForAppend();
  int32_t syncs = 0;
  int32_t previous = 0;
  for (int32_t i = 0; i < 20000; ++i) {
    AddSample(*list, i);
    const int32_t unsynced = list->UnsyncedBytes();
    ASSERT_LT(unsynced, CPlotList::KSyncIntervalBytes) << i;
    if (unsynced < previous) ++syncs;
    previous = unsynced;
  }
  list->CloseFile();
  EXPECT_EQ(list->UnsyncedBytes(), 0);
  // No more than 20480 bytes between two forced flushes, so at least this many happened.
  const int64_t size = static_cast<int64_t>(pwtest::ReadFileBytes(iFolder.PlotsPath("drive")).size());
  EXPECT_GE(syncs, size / CPlotList::KSyncIntervalBytes - 1);
}

TEST_F(DurabilityTest, AFullMediumClosesTheFileAndRecordingGoesOnInMemory) {
  std::unique_ptr<CPlotList> list = NewList();
  list->CreateFile(u"drive", iFolder.Root());
  list->OpenForAppend();
  // The second buffer write runs out of space half way: a torn tail on the medium.
  pwplat::SetWriteBudgetForTest(15000);
  for (int32_t i = 0; i < 2000; ++i) AddSample(*list, i);
  pwplat::SetWriteBudgetForTest(-1);
  EXPECT_FALSE(list->IsFileOpen());
  EXPECT_EQ(list->PositionList().Count(), 2000) << "memory keeps every sample";

  const int64_t size = static_cast<int64_t>(pwtest::ReadFileBytes(iFolder.PlotsPath("drive")).size());
  EXPECT_EQ(size, 16 + 15000);
  // The list knows its file no longer ends on a record: it will not bury new ones behind it.
  list->OpenForAppend();
  EXPECT_FALSE(list->IsFileOpen());
  EXPECT_EQ(list->AddPosition(TCoordinate(1), TCoordinate(1), KStart + 900000, TDistance::Invalid(),
                              TSpeed::Invalid(), 0, 1, 1, 5, 0, 0, KInvalidInt, KInvalidInt, 0),
            1);
  EXPECT_EQ(static_cast<int64_t>(pwtest::ReadFileBytes(iFolder.PlotsPath("drive")).size()), size);

  std::unique_ptr<CPlotList> loaded = NewList();
  const TPrefix expected = PrefixOf(size);
  EXPECT_EQ(LoadInto(*loaded, u"drive"), expected.iOnBoundary ? CPlotListLoader::EComplete
                                                               : CPlotListLoader::EIncomplete);
  ExpectDrivePrefix(*loaded, expected.iPositions);
}
