// The model over temporary documents, application-data and installation folders: start-up on
// empty, damaged and unusable storage, the default performance tests, the free-space watch,
// recording a replayed NMEA drive through the input-file device, connection events and the
// announcement clips.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>

#include "acquisition/data_parser.h"
#include "app/model.h"
#include "fake_gui.h"
#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "support/test_support.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"
#include "timing/track_session.h"

namespace {

using namespace std::chrono_literals;

std::string Framed(const std::string& aBody) {
  unsigned sum = 0;
  for (unsigned char c : aBody) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + aBody + tail;
}

// A straight drive north at 20 m/s, one RMC and GGA epoch per second.
std::string Drive(int aSeconds) {
  std::string text;
  for (int i = 0; i < aSeconds; ++i) {
    const int s = 12 * 3600 + i;
    char time[16];
    std::snprintf(time, sizeof time, "%02d%02d%02d.00", s / 3600, s / 60 % 60, s % 60);
    const double minutes = 30.0 + i * 20.0 / 1852.0;  // 20 m north per second
    char lat[32];
    std::snprintf(lat, sizeof lat, "48%09.6f,N", minutes);
    const std::string lon = "01130.000000,E";
    text += Framed(std::string("GPRMC,") + time + ",A," + lat + "," + lon + ",38.877,0.00,080524,,,A");
    text += Framed(std::string("GPGGA,") + time + "," + lat + "," + lon + ",1,09,0.9,500.0,M,47.0,M,,");
  }
  return text;
}

// A mono 16-bit clip of aSamples samples.
std::string Wav(int aSamples) {
  auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  const uint32_t bytes = static_cast<uint32_t>(aSamples) * 2;
  return "RIFF" + le32(36 + bytes) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(22050) + le32(44100) +
         le16(2) + le16(16) + "data" + le32(bytes) + std::string(bytes, '\0');
}

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pwtest::UseHeadlessSdl();
    iDocs = iDir / "docs";
    iAppData = iDir / "appdata";
    setenv("PACEWRIGHT_DOCUMENTS", iDocs.c_str(), 1);
    setenv("PACEWRIGHT_APPDATA", iAppData.c_str(), 1);
    setenv("PACEWRIGHT_INSTALL", (iDir / "install").c_str(), 1);
    ::mkdir((iDir / "install").c_str(), 0755);
  }
  void TearDown() override { iModel.reset(); }

  void Create() {
    iModel.reset(CModel::NewL(&iScheduler, [this](CModel&) {
      iGui = new pwtest::FakeGui();
      return iGui;
    }));
  }
  std::string Root() const { return iDocs + "/"; }

  // Runs the loop until aDone holds (checked on the loop's thread), at most 10 s.
  bool RunUntil(const std::function<bool()>& aDone) {
    PwEvent stop;
    bool met = false;
    std::atomic<bool> finished{false};
    std::thread ticker([&] {
      const auto end = std::chrono::steady_clock::now() + 10s;
      while (!finished && std::chrono::steady_clock::now() < end) {
        iHost.Post([&] {
          if (!met && aDone()) {
            met = true;
            stop.Set();
          }
        });
        std::this_thread::sleep_for(2ms);
      }
      stop.Set();
    });
    iScheduler.RunLoop(stop);
    finished = true;
    ticker.join();
    int32_t quit = 0;
    while (iHost.DispatchMessage(quit) == MLoopHost::EDispatched) {
    }
    return met;
  }

  pwtest::TempDir iDir;
  std::string iDocs;
  std::string iAppData;
  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  std::unique_ptr<CModel> iModel;
  pwtest::FakeGui* iGui = nullptr;  // owned by the model
};

TEST_F(ModelTest, RegistersTheTwelveDefaultPerformanceTests) {
  Create();
  const CPerformanceTestList& tests = iModel->Tests();
  ASSERT_EQ(tests.Count(), 12);
  struct TExpected {
    const char* iName;
    double iStart, iEnd, iDistance;
    bool iDistanceTest;
  };
  const TExpected expected[] = {
      {"60 feet", 0, 0, 18.288, true},         {"1/8 mile", 0, 0, 201.168, true},
      {"1/4 mile", 0, 0, 402.336, true},       {"1000 meters", 0, 0, 1000, true},
      {"1 mile", 0, 0, 1609.344, true},        {"0-60 mph", 0, 60 * 0.44704, 0, false},
      {"0-100 kph", 0, 100 / 3.6, 0, false},   {"0-100 mph", 0, 100 * 0.44704, 0, false},
      {"0-200 kph", 0, 200 / 3.6, 0, false},   {"80-120 kph", 80 / 3.6, 120 / 3.6, 0, false},
      {"60-160 kph", 60 / 3.6, 160 / 3.6, 0, false}, {"100-200 kph", 100 / 3.6, 200 / 3.6, 0, false},
  };
  for (int32_t i = 0; i < 12; ++i) {
    const CPerformanceTest& test = *tests.At(i);
    EXPECT_EQ(PwToUtf8(test.Name()), expected[i].iName);
    EXPECT_DOUBLE_EQ(test.StartSpeed(), expected[i].iStart) << expected[i].iName;
    EXPECT_DOUBLE_EQ(test.FinishSpeed(), expected[i].iEnd) << expected[i].iName;
    EXPECT_DOUBLE_EQ(test.Distance(), expected[i].iDistance) << expected[i].iName;
    EXPECT_EQ(test.IsDistanceTest(), expected[i].iDistanceTest) << expected[i].iName;
    EXPECT_TRUE(test.IsBuiltIn());
  }
  EXPECT_EQ(PwToUtf8(tests.SelectedTest()->Name()), "0-100 kph");
}

TEST_F(ModelTest, StartsUpOnAnEmptyDocumentsFolder) {
  Create();
  ASSERT_EQ(iModel->StartUp(), 1);
  for (const char* folder : {"Sessions", "Tracks", "Exports"})
    EXPECT_TRUE(FolderExists(PwStringFromUtf8(Root() + "Pacewright/" + folder + "/"))) << folder;
  EXPECT_EQ(iModel->Sessions().Count(), 0);
  EXPECT_EQ(iModel->Tracks().Count(), 0);
  EXPECT_EQ(iGui->iStartupWarnings, 1);
  EXPECT_TRUE(iGui->iErrors.empty());
  EXPECT_TRUE(iGui->iStorageAsked.empty());
  EXPECT_EQ(iGui->iScreenshotRoot, Root());
}

TEST_F(ModelTest, StartsUpWithADamagedSettingsFile) {
  ::mkdir(iAppData.c_str(), 0755);
  // Plausible first items, then garbage where a text length should be.
  std::string bytes = {'\x01', '\x00', '\x05'};
  bytes += std::string(64, '\xFF');
  for (const std::string& content : {bytes, std::string(), std::string(1, '\x7F')}) {
    ASSERT_TRUE(pwtest::WriteFileBytes(iAppData + "/settings.dat", content));
    Create();
    EXPECT_EQ(iModel->StartUp(), 1);
    EXPECT_TRUE(iGui->iErrors.empty());
    iModel.reset();
  }
}

TEST_F(ModelTest, AMissingStorageMediumIsReplacedOrEndsTheStartUp) {
  {
    CSettings stored(u"/tmp/");
    stored.SetStorageRoot(u"/media/pulled-card/");
    ::mkdir(iAppData.c_str(), 0755);
    stored.Save();
  }
  // Cancelled: the start-up fails after asking once.
  Create();
  iGui->iStorageAnswer = -1;
  EXPECT_EQ(iModel->StartUp(), 0);
  ASSERT_EQ(iGui->iStorageAsked.size(), 1u);
  EXPECT_EQ(iGui->iStorageAsked[0], "/media/pulled-card/");
  iModel.reset();

  // The documents folder picked instead: it becomes the storage.
  Create();
  iGui->iStorageAnswer = 0;
  EXPECT_EQ(iModel->StartUp(), 1);
  EXPECT_EQ(PwToUtf8(iModel->Settings().StorageRoot()), Root());
  EXPECT_EQ(PwToUtf8(iModel->Settings().CurrentStorageRoot()), Root());
}

TEST_F(ModelTest, AnUnwritableDocumentsFolderShowsNotEnoughSpaceAndEndsTheStartUp) {
  // A file where the program folder should be cannot be made a folder, even by root.
  ::mkdir(iDocs.c_str(), 0755);
  ASSERT_TRUE(pwtest::WriteFileBytes(iDocs + "/Pacewright", "not a folder"));
  Create();
  EXPECT_EQ(iModel->StartUp(), 0);
  ASSERT_EQ(iGui->iErrors.size(), 1u);
  EXPECT_EQ(iGui->iErrors[0], "Not enough storage space left!");
  iModel.reset();

  ASSERT_EQ(::unlink((iDocs + "/Pacewright").c_str()), 0);
  if (geteuid() != 0) {
    ASSERT_EQ(::chmod(iDocs.c_str(), 0555), 0);
    Create();
    EXPECT_EQ(iModel->StartUp(), 0);
    EXPECT_EQ(iGui->iErrors.size(), 1u);
    ::chmod(iDocs.c_str(), 0755);
  } else {
    // The superuser writes through permissions, not onto a read-only medium.
    pwtest::ReadOnlyMount medium(iDocs);
    if (medium.Mounted()) {
      Create();
      EXPECT_EQ(iModel->StartUp(), 0);
      ASSERT_EQ(iGui->iErrors.size(), 1u);
      EXPECT_EQ(iGui->iErrors[0], "Not enough storage space left!");
      iModel.reset();
    }
  }
}

TEST_F(ModelTest, TheStorageCheckRefusesWarnsOrPassesByFreeSpace) {
  Create();
  int32_t freeKb = 600;
  iModel->SetFreeSpaceQuery([&](CPwStringC) { return freeKb; });
  const CPwString root = PwStringFromUtf8(Root());

  EXPECT_EQ(iModel->CheckStorageBeforeSession(root), 0);
  ASSERT_EQ(iGui->iErrors.size(), 1u);
  EXPECT_EQ(iGui->iErrors[0], "Very low storage space! Session has not been started, because only 600 kB free space.");
  EXPECT_FALSE(iModel->WatchingFreeSpace());

  freeKb = 3000;
  EXPECT_EQ(iModel->CheckStorageBeforeSession(root), 1);
  ASSERT_EQ(iGui->iWarnings.size(), 1u);
  EXPECT_EQ(iGui->iWarnings[0], "Low storage space! You have only 2.9 MB of free space.");
  EXPECT_EQ(iModel->FreeSpaceState(), CModel::ESpaceLow);
  EXPECT_TRUE(iModel->StorageLow());

  // The thresholds themselves count as low and very low.
  freeKb = 5121;
  EXPECT_EQ(iModel->CheckStorageBeforeSession(root), 1);
  EXPECT_EQ(iModel->FreeSpaceState(), CModel::ESpaceEnough);
  EXPECT_EQ(iModel->WatchFreeSpace(700, 5120, root), 0);
  freeKb = 5120;
  EXPECT_EQ(iModel->WatchFreeSpace(700, 5120, root), 1);
  freeKb = 700;
  EXPECT_EQ(iModel->WatchFreeSpace(700, 5120, root), 2);
  EXPECT_EQ(iGui->iErrors.size(), 1u);
  EXPECT_EQ(iGui->iWarnings.size(), 1u);
  iModel->StopWatchingFreeSpace();
  EXPECT_EQ(iModel->FreeSpaceState(), 0);
}

class ModelRecordingTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    Create();
    ASSERT_EQ(iModel->StartUp(), 1);
    iDrivePath = iDir / "drive.nmea";
    ASSERT_TRUE(pwtest::WriteFileBytes(iDrivePath, Drive(60)));
    CSettings& settings = iModel->Settings();
    settings.Gps().iType = MDeviceSettings::EGpsInputFile;
    settings.SetGpsInputFile(PwStringFromUtf8(iDrivePath));
    settings.Obd().iType = MDeviceSettings::EObdDisabled;
    settings.Logger().iType = MDeviceSettings::ELoggerDisabled;
    iModel->SetFileReplayPacing(TFileReplayPacing{0, 0, 1});
  }

  std::unique_ptr<CSessionInfo> Description(int32_t aType) {
    auto owned = std::make_unique<CSessionInfo>();
    CSessionInfo& description = *owned;
    description.SetTitle(u"Morning run");
    description.SetDriver(u"Test driver");
    description.SetSessionType(aType);
    description.SetTestName(u"0-100 kph");
    description.SetSaveNmea(1);
    return owned;
  }

  std::string iDrivePath;
};

TEST_F(ModelRecordingTest, RecordsAReplayedDriveAndTheSessionEntersTheCatalogue) {
  ASSERT_EQ(iModel->NewSession(*Description(ESessionDataLogging)), 1);
  ASSERT_NE(iModel->TrackSession(), nullptr);
  const std::string id = PwToUtf8(iModel->TrackSession()->Info().Identifier());
  EXPECT_FALSE(id.empty());
  EXPECT_EQ(iModel->Sessions().Count(), 1);

  iModel->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  EXPECT_FALSE(iModel->Paused());
  EXPECT_TRUE(iModel->TrackSession()->IsRecording());
  ASSERT_TRUE(RunUntil([&] { return iModel->TrackSession()->SampleCount() >= 60; }))
      << iModel->TrackSession()->SampleCount();
  EXPECT_FALSE(iGui->iUpdates.empty());

  iModel->PauseSession();
  EXPECT_TRUE(iModel->Paused());
  EXPECT_FALSE(iModel->TrackSession()->IsRecording());
  iModel->CloseSession();
  EXPECT_EQ(iModel->TrackSession(), nullptr);

  // What is on the medium reads back as the same session with its distance.
  iModel->Sessions().Refresh();
  ASSERT_EQ(iModel->Sessions().Count(), 1);
  const CSessionInfo& entry = *iModel->Sessions().At(0);
  EXPECT_EQ(PwToUtf8(entry.Identifier()), id);
  EXPECT_EQ(PwToUtf8(entry.Title()), "Morning run");
  EXPECT_GT(entry.Distance(), 0);
  const std::string plots = pwtest::ReadFileBytes(Root() + "Pacewright/Sessions/" + id + "-plots.bin");
  EXPECT_GT(plots.size(), 60u * 8);
  const std::string nmea = pwtest::ReadFileBytes(Root() + "Pacewright/Sessions/" + id + "-nmea.txt");
  EXPECT_NE(nmea.find("$GPRMC,120000.00"), std::string::npos);

  // Opening it again loads its samples through the worker engine.
  CSessionInfo record;
  record.CopyFrom(entry);
  ASSERT_EQ(iModel->OpenSession(record, nullptr), 1);
  ASSERT_TRUE(RunUntil([&] { return !iModel->TrackSession()->SamplesLoader(); }));
  EXPECT_GE(iModel->TrackSession()->SampleCount(), 60);
  iModel->CloseSession();
}

TEST_F(ModelRecordingTest, VeryLowSpaceWhileRecordingPausesOnceAndStopsTheWatch) {
  int32_t freeKb = 100000;
  iModel->SetFreeSpaceQuery([&](CPwStringC) { return freeKb; });
  ASSERT_EQ(iModel->CheckStorageBeforeSession(PwStringFromUtf8(Root())), 1);
  ASSERT_EQ(iModel->NewSession(*Description(ESessionDataLogging)), 1);
  iModel->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  ASSERT_TRUE(iModel->TrackSession()->IsRecording());

  freeKb = 4000;
  iGui->iUpdates.clear();
  iModel->Housekeeping();
  EXPECT_TRUE(iModel->TrackSession()->IsRecording());
  EXPECT_EQ(iGui->iUpdates, std::vector<int32_t>{1});
  EXPECT_TRUE(iGui->iErrors.empty());

  freeKb = 650;
  iModel->Housekeeping();
  EXPECT_FALSE(iModel->TrackSession()->IsRecording());
  EXPECT_TRUE(iModel->Paused());
  EXPECT_FALSE(iModel->WatchingFreeSpace());
  ASSERT_EQ(iGui->iErrors.size(), 1u);
  EXPECT_EQ(iGui->iErrors[0], "Very low storage space! Session has been paused, because only 650 kB free space.");
  iModel->Housekeeping();
  EXPECT_EQ(iGui->iErrors.size(), 1u);
}

TEST_F(ModelRecordingTest, AMissingTestIsReplacedOrTheSessionIsNotStarted) {
  std::unique_ptr<CSessionInfo> owned = Description(ESessionPerformance);
  CSessionInfo& description = *owned;
  description.SetTestName(u"No such test");
  iGui->iTestAnswer = -1;
  EXPECT_EQ(iModel->NewSession(description), 0);
  EXPECT_EQ(iGui->iTestAsked, 1);
  EXPECT_EQ(iModel->TrackSession(), nullptr);

  iGui->iTestAnswer = 2;  // "1/4 mile"
  ASSERT_EQ(iModel->NewSession(description), 1);
  EXPECT_EQ(PwToUtf8(iModel->TrackSession()->Info().TestName()), "1/4 mile");
  EXPECT_EQ(iModel->TrackSession()->CurrentTest(), 2);

  // A lap-timing session without its track asks for another one.
  std::unique_ptr<CSessionInfo> lapping = Description(ESessionLapTiming);
  lapping->SetTrackName(u"Nowhere ring");
  EXPECT_EQ(iModel->NewSession(*lapping), 0);
  EXPECT_EQ(iGui->iTrackAsked, 1);
}

TEST_F(ModelTest, ConnectionEventsResetTheParserAndRefreshTheViews) {
  Create();
  iModel->DeviceStatusChanged(TDataKind::Obd);
  EXPECT_EQ(iGui->iUpdates, std::vector<int32_t>{1});
  const std::string epochs = Drive(2);
  iModel->DeviceDataReceived(TDataKind::Gps,
                             CPwByteArrayC(reinterpret_cast<const uint8_t*>(epochs.data()), int32_t(epochs.size())));
  ASSERT_GE(iGui->iUpdates.size(), 2u);
  EXPECT_NE(iGui->iUpdates.back(), 0);
  EXPECT_EQ(iModel->ChannelState().FixState() != CChannelState::ENoFix, true);
  // Without devices started nothing counts as missing.
  EXPECT_FALSE(iModel->GpsConnectionMissing());
  EXPECT_FALSE(iModel->MemoryFull());
  EXPECT_EQ(iModel->GpsStatus(), CCore::EGpsNotStarted);
}

TEST_F(ModelTest, AnnouncementsPlayTheClipsOfTheirTokensInOrder) {
  const std::string sounds = iDir / "install/Sounds";
  ::mkdir(sounds.c_str(), 0755);
  ASSERT_TRUE(pwtest::WriteFileBytes(sounds + "/1.wav", Wav(2205)));
  ASSERT_TRUE(pwtest::WriteFileBytes(sounds + "/23.wav", Wav(2205)));
  ASSERT_TRUE(pwtest::WriteFileBytes(sounds + "/broken.wav", "RIFF...."));
  ASSERT_TRUE(pwtest::WriteFileBytes(iDir / "install/evil.wav", Wav(10)));
  Create();
  std::vector<std::string> clips;
  iModel->AnnouncementClips(u"1;minute;23;;../evil;broken", clips);
  ASSERT_EQ(clips.size(), 3u);
  EXPECT_EQ(clips[0], sounds + "/1.wav");
  EXPECT_EQ(clips[1], sounds + "/23.wav");
  EXPECT_EQ(clips[2], sounds + "/broken.wav");

  // A clip that cannot be read is skipped; the rest still plays.
  iModel->Announce(u"1;minute;23;broken");
  EXPECT_EQ(iModel->LastAnnouncementClips(), 2);
  iModel->Announce(u"minute");
  EXPECT_EQ(iModel->LastAnnouncementClips(), 0);
}

}  // namespace

namespace {

TEST_F(ModelRecordingTest, AReplayShowsNoConnectionUntilItsFileIsOpen) {
  ASSERT_EQ(iModel->NewSession(*Description(ESessionDataLogging)), 1);
  // During the open wait, and for a file that cannot be opened, the replay has no connection.
  iModel->SetFileReplayPacing(TFileReplayPacing{400, 0, 1});
  iModel->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  EXPECT_TRUE(iModel->GpsConnectionMissing());
  ASSERT_TRUE(RunUntil([&] { return iModel->TrackSession()->SampleCount() > 0; }));
  iModel->PauseSession();
  EXPECT_FALSE(iModel->GpsConnectionMissing());  // not started

  iModel->Settings().SetGpsInputFile(PwStringFromUtf8(iDir / "missing.nmea"));
  iModel->SetFileReplayPacing(TFileReplayPacing{0, 0, 1});
  iModel->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
  ASSERT_TRUE(RunUntil([&] { return iModel->Connection(1)->LastReportedState() == TEngineState::Stopped; }));
  EXPECT_TRUE(iModel->GpsConnectionMissing());
  iModel->CloseSession();
}

}  // namespace
