// While a session records, what waits in the file buffers is handed to the system on a timer
// and forced to the medium every few seconds, and a finished lap is saved in the session file
// at once: a killed program or a power cut costs only the last moments of a recording.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "foundation/periodic_timer.h"
#include "foundation/scheduler.h"
#include "platform/file_io.h"
#include "session_rig.h"

using namespace pwtest;

namespace {

// Size of each file at its last forced flush, by path.
std::mutex gSyncedLock;
std::map<std::string, int64_t> gSynced;

void NoteSync(int aFd) {
  char path[512] = {};
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(aFd)).c_str(), path, sizeof path - 1);
  struct stat st {};
  if (n <= 0 || ::fstat(aFd, &st) != 0) return;
  std::lock_guard<std::mutex> guard(gSyncedLock);
  gSynced[std::string(path, static_cast<size_t>(n))] = st.st_size;
}

int64_t Synced(const std::string& aPath) {
  std::lock_guard<std::mutex> guard(gSyncedLock);
  const auto it = gSynced.find(aPath);
  return it == gSynced.end() ? -1 : it->second;
}

int64_t SizeOnDisk(const std::string& aPath) {
  struct stat st {};
  return ::stat(aPath.c_str(), &st) == 0 ? st.st_size : -1;
}

class RecordingSecureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pwplat::SetSyncObserverForTest(&NoteSync);
    iModel.iScheduler = &iScheduler;
    const auto finish = CircleDrive::Trap(ETrapStartFinish, "Start/Finish", 0.0);
    iModel.AddTrack("Ring line", {finish.get()});
  }
  void TearDown() override { pwplat::SetSyncObserverForTest(nullptr); }

  // Runs the loop until aDone holds (checked from another thread) or 20 s have passed.
  bool RunUntil(const std::function<bool()>& aDone) {
    PwEvent stop;
    bool done = false;
    std::thread watch([&] {
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!(done = aDone()) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      stop.Set();
    });
    iScheduler.RunLoop(stop);
    watch.join();
    return done;
  }

  TestModel iModel;
  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
};

TEST_F(RecordingSecureTest, TheBuffersReachTheSystemOnTheTimerAndTheMediumEverySoOften) {
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
  session->NewSession(*Chosen(ESessionDataLogging, "", "", 1), iModel.iRoot);
  ASSERT_EQ(1, session->StartRecording());
  const std::string plots = PwToUtf8(session->PlotList().Path());
  const std::string nmea = PwToUtf8(session->NmeaPath());
  const std::string text = StraightDrive().Phase(2.0, 1.0).Nmea();
  Feed(*session, iModel, text);
  ASSERT_EQ(session->SampleCount(), 21);

  // Twenty-one samples are far from filling a buffer: nothing has reached the files yet.
  EXPECT_EQ(SizeOnDisk(plots), CPlotList::KHeaderBytes);
  EXPECT_EQ(SizeOnDisk(nmea), 0);
  const int32_t unsynced = session->PlotList().UnsyncedBytes();
  EXPECT_GT(unsynced, 21 * (2 + CPlotList::KPositionPayload));

  // The timer's step hands everything over without forcing it to the medium...
  session->SecureRecording(false);
  EXPECT_EQ(SizeOnDisk(plots), CPlotList::KHeaderBytes + unsynced);
  EXPECT_EQ(SizeOnDisk(nmea), static_cast<int64_t>(text.size()));
  EXPECT_EQ(Synced(plots), CPlotList::KHeaderBytes);  // only the empty file was forced when created
  EXPECT_EQ(session->PlotList().UnsyncedBytes(), unsynced);
  // ...and, when it is time, forces it too.
  session->SecureRecording(true);
  EXPECT_TRUE(RunUntil([&] { return Synced(plots) == CPlotList::KHeaderBytes + unsynced; })) << Synced(plots);
  EXPECT_TRUE(RunUntil([&] { return Synced(nmea) == static_cast<int64_t>(text.size()); })) << Synced(nmea);
  EXPECT_EQ(session->PlotList().UnsyncedBytes(), 0);

  // With the loop running, the timer does both on its own.
  session->StopRecording();
  session->SetSecureIntervals(20, 100);
  ASSERT_EQ(1, session->StartRecording());
  Feed(*session, iModel, StraightDrive().Phase(4.0, 1.0).Nmea().substr(text.size()));
  ASSERT_EQ(session->SampleCount(), 41);
  const int64_t full = CPlotList::KHeaderBytes + unsynced + session->PlotList().UnsyncedBytes();
  EXPECT_TRUE(RunUntil([&] { return SizeOnDisk(plots) == full; })) << SizeOnDisk(plots) << " of " << full;
  EXPECT_TRUE(RunUntil([&] { return Synced(plots) == full; })) << Synced(plots) << " of " << full;
  EXPECT_EQ(session->PlotList().UnsyncedBytes(), 0);

  // Not recording, the timer is gone: new samples are not even stored.
  session->StopRecording();
  Feed(*session, iModel, StraightDrive().Phase(6.0, 1.0).Nmea());
  EXPECT_EQ(session->SampleCount(), 41);
  EXPECT_EQ(SizeOnDisk(plots), full);
}

TEST_F(RecordingSecureTest, AFinishedLapIsInTheSessionFileAtOnce) {
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(iModel));
  session->NewSession(*Chosen(ESessionLapTiming, "Ring line"), iModel.iRoot);
  ASSERT_EQ(1, session->StartTiming());
  ASSERT_EQ(1, session->StartRecording());
  CircleDrive drive(-0.05);
  drive.To(0.0, 3.0).To(1.0, 60.0).To(2.0, 58.0).To(2.5, 30.0);
  Feeder feed(*session, iModel);
  auto storedLaps = [&] {
    CSessionInfo stored;
    stored.SetIdentifier(session->Info().Identifier());
    stored.SetStorageRoot(session->Info().StorageRoot());
    PwTimeConverter converter;
    EXPECT_EQ(1, stored.Load(false, converter));
    return stored.LapCount();
  };
  feed(drive.Nmea(0.0, drive.TimeAt(0.5)));
  EXPECT_LT(storedLaps(), 1);  // no summary yet
  feed(drive.Nmea(drive.TimeAt(0.5) + 0.05, drive.TimeAt(1.5)));
  EXPECT_EQ(storedLaps(), 1);
  feed(drive.Nmea(drive.TimeAt(1.5) + 0.05));
  EXPECT_EQ(storedLaps(), 2);
  EXPECT_EQ(session->Info().LapCount(), 2);
  const CLap* best = session->Laps().BestLap();
  ASSERT_NE(best, nullptr);
  EXPECT_NEAR(best->LapTime().Milliseconds(), 58000, 10);
}

}  // namespace
