// The session importer: files in their order, block-by-block reading with its progress, the
// samples reaching the session's file (and only the file), failing and cancelled imports, and
// real logs of other devices.
#include "exchange/session_importer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "foundation/paths.h"
#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"
#include "strings/pw_strings.h"
#include "support/test_support.h"
#include "timing/session_rig.h"

namespace {

std::string Sentence(const std::string& aBody) {
  unsigned sum = 0;
  for (char c : aBody) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + aBody + tail;
}

// An NMEA log of aCount 10 Hz epochs starting at aStartTenths (tenths of a second of the day).
std::string NmeaLog(int aStartTenths, int aCount) {
  std::string s;
  char body[200];
  for (int i = 0; i < aCount; ++i) {
    const int t = aStartTenths + i;
    const int h = t / 36000, m = (t / 600) % 60, sec = (t / 10) % 60, f = t % 10;
    const double lat = 4807.0 + i * 0.0001;
    std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.%d00,%09.4f,N,01131.0000,E,1,09,0.9,500.0,M,46.9,M,,", h, m,
                  sec, f, lat);
    s += Sentence(body);
    std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.%d00,A,%09.4f,N,01131.0000,E,40.00,12.50,230324,,,A", h, m,
                  sec, f, lat);
    s += Sentence(body);
  }
  return s;
}

class SessionImporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFromNativePath(iRoot, (iDir.Path() + "/").c_str());
    ASSERT_TRUE(EnsureFolders(iRoot));
    iObd.reset(CObdChannelList::NewL());
    NewSession();
  }

  // A fresh session with an empty samples file.
  void NewSession() {
    iPlots.reset(CPlotList::NewL(iObd.get()));
    iPlots->CreateFile(u"imp", iRoot);
  }

  std::string Write(const std::string& aName, const std::string& aBytes) {
    const std::string path = iDir / aName;
    EXPECT_TRUE(pwtest::WriteFileBytes(path, aBytes));
    return path;
  }

  std::unique_ptr<CSessionImporter> Importer(const std::vector<std::string>& aPaths, int32_t aFormat) {
    CPwStringList files;
    for (const std::string& p : aPaths) {
      CPwString path;
      SetFromNativePath(path, p.c_str());
      files.AppendCopy(path);
    }
    return std::unique_ptr<CSessionImporter>(CSessionImporter::NewL(*iPlots, iObd.get(), files, aFormat));
  }

  // Steps to the end; the leave code (0 when it completed). aProgress collects (value, total)
  // after every step, as the worker engine would show it.
  static int32_t RunToEnd(CSessionImporter& aImporter, std::vector<std::pair<int32_t, int32_t>>* aProgress = nullptr) {
    return Trap([&] {
      for (int guard = 0; guard < 100000; ++guard) {
        const int32_t more = aImporter.Step();
        if (aProgress) aProgress->emplace_back(aImporter.ProgressValue(), aImporter.ProgressTotal());
        if (!more) return;
      }
      ADD_FAILURE() << "the import never ends";
    });
  }

  // What a session reads back from the samples file after the import.
  std::unique_ptr<CPlotList> Reload() {
    std::unique_ptr<CPlotList> list(CPlotList::NewL(iObd.get()));
    CPlotListLoader* loader = list->StartLoading(nullptr, u"imp", iRoot);
    while (loader->Step()) {
    }
    EXPECT_EQ(loader->State(), CPlotListLoader::EComplete);
    list->FinishLoading();
    return list;
  }

  pwtest::TempDir iDir;
  CPwString iRoot;
  std::unique_ptr<CObdChannelList> iObd;
  std::unique_ptr<CPlotList> iPlots;
};

TEST_F(SessionImporterTest, FilesAreReadInTheGivenOrderAndProgressRestartsWithEachFile) {
  // Given out of time order: the second file overlaps the first one's times, which the sample
  // store rejects, so only what follows on from what came before is kept: its last second.
  const std::string a = Write("b.nmea", NmeaLog(10 * 36000, 50));
  const std::string b = Write("a.nmea", NmeaLog(10 * 36000 + 10, 50));
  const std::string c = Write("c.nmea", NmeaLog(10 * 36000 + 100, 30));
  std::unique_ptr<CSessionImporter> importer = Importer({a, b, c}, CSessionImporter::EFormatNmea);
  EXPECT_EQ(importer->State(), CSessionImporter::ENotStarted);
  EXPECT_EQ(importer->ProgressTotal(), 0);

  std::vector<std::pair<int32_t, int32_t>> progress;
  ASSERT_EQ(RunToEnd(*importer, &progress), 0);
  // Per file: open, one block, and then the final "no file left" and closing steps.
  ASSERT_EQ(progress.size(), 8u);
  const int32_t sizeA = static_cast<int32_t>(NmeaLog(10 * 36000, 50).size());
  const int32_t sizeC = static_cast<int32_t>(NmeaLog(10 * 36000 + 100, 30).size());
  EXPECT_EQ(progress[0], std::make_pair(0, 3 * sizeA));
  EXPECT_EQ(progress[1], std::make_pair(sizeA, 3 * sizeA));
  EXPECT_EQ(progress[3], std::make_pair(2 * sizeA, 3 * sizeA));  // same size: both 50 epochs
  EXPECT_EQ(progress[4], std::make_pair(2 * sizeC, 3 * sizeC));  // the scale of file three
  EXPECT_EQ(progress[5], std::make_pair(3 * sizeC, 3 * sizeC));
  EXPECT_EQ(progress.back(), std::make_pair(3 * sizeC, 3 * sizeC));
  EXPECT_EQ(importer->State(), CSessionImporter::EDone);

  // File-only: nothing in memory, everything in the file.
  EXPECT_EQ(iPlots->PositionList().Count(), 0);
  EXPECT_FALSE(iPlots->IsFileOpen());
  EXPECT_EQ(importer->StoredPositions(), 90);
  std::unique_ptr<CPlotList> loaded = Reload();
  ASSERT_EQ(loaded->PositionList().Count(), 90);
  EXPECT_EQ(loaded->PositionList().At(0).iTime, 10 * 3600000);
  EXPECT_EQ(loaded->PositionList().At(50).iTime, 10 * 3600000 + 5000);
  EXPECT_EQ(loaded->PositionList().At(60).iTime, 10 * 3600000 + 10000);
  EXPECT_EQ(loaded->PositionList().Last().iTime, 10 * 3600000 + 12900);
}

TEST_F(SessionImporterTest, EmptyFileEndsInOneStepAndAddsNothing) {
  const std::string empty = Write("empty.nmea", "");
  std::unique_ptr<CSessionImporter> importer = Importer({empty}, CSessionImporter::EFormatNmea);
  EXPECT_EQ(importer->Step(), 1);
  EXPECT_EQ(importer->State(), CSessionImporter::EReading);
  EXPECT_EQ(importer->Step(), 1);
  EXPECT_EQ(importer->State(), CSessionImporter::EBetweenFiles);
  EXPECT_EQ(importer->ProgressValue(), 0);
  EXPECT_EQ(importer->ProgressTotal(), 0);
  EXPECT_EQ(importer->Step(), 1);
  EXPECT_EQ(importer->State(), CSessionImporter::EDone);
  EXPECT_EQ(importer->Step(), 0);
  EXPECT_EQ(Reload()->PositionList().Count(), 0);
}

TEST_F(SessionImporterTest, NoFilesFinishesWithoutTouchingAnything) {
  std::unique_ptr<CSessionImporter> importer = Importer({}, CSessionImporter::EFormatVBox);
  EXPECT_EQ(RunToEnd(*importer), 0);
  EXPECT_EQ(importer->ProgressTotal(), 0);
}

TEST_F(SessionImporterTest, LargeFileIsReadInFixedBlocksAcrossWhichNothingIsLost) {
  // About 1.4 MB: seven blocks, most of which cut a sentence in two.
  const std::string log = NmeaLog(8 * 36000, 10000);
  const std::string path = Write("long.txt", log);
  std::unique_ptr<CSessionImporter> importer = Importer({path}, CSessionImporter::EFormatNmea);
  std::vector<std::pair<int32_t, int32_t>> progress;
  ASSERT_EQ(RunToEnd(*importer, &progress), 0);
  const size_t blocks = (log.size() + CSessionImporter::KBlockBytes - 1) / CSessionImporter::KBlockBytes;
  ASSERT_EQ(progress.size(), blocks + 3);
  EXPECT_EQ(progress[1].first, CSessionImporter::KBlockBytes);
  EXPECT_EQ(progress[2].first, 2 * CSessionImporter::KBlockBytes);
  EXPECT_EQ(progress[blocks].first, static_cast<int32_t>(log.size()));
  std::unique_ptr<CPlotList> loaded = Reload();
  ASSERT_EQ(loaded->PositionList().Count(), 10000);
  for (int32_t i = 1; i < 10000; ++i) ASSERT_EQ(loaded->PositionList().At(i).iTime - loaded->PositionList().At(i - 1).iTime, 100);
}

TEST_F(SessionImporterTest, MissingOrUnreadableFileEndsTheImportWithCodeOne) {
  const std::string good = Write("good.nmea", NmeaLog(36000, 20));
  {
    std::unique_ptr<CSessionImporter> importer = Importer({good, iDir / "vanished.nmea"}, CSessionImporter::EFormatNmea);
    EXPECT_EQ(RunToEnd(*importer), CSessionImporter::KErrOpen);
    // What the first file gave is kept; the owner decides what to do with the session.
    importer.reset();
    iPlots->CloseFile();
    EXPECT_EQ(Reload()->PositionList().Count(), 20);
  }
  // A folder opens but cannot be read: it must not pass for an empty log.
  std::unique_ptr<CSessionImporter> importer = Importer({iDir.Path()}, CSessionImporter::EFormatNmea);
  EXPECT_EQ(RunToEnd(*importer), CSessionImporter::KErrOpen);
}

TEST_F(SessionImporterTest, UnknownFormatIsRefused) {
  CPwStringList files;
  CSessionImporter* importer = nullptr;
  // 4 is GPX; the first value past the formats is refused.
  const int32_t unknown = CSessionImporter::EFormatGpx + 1;
  EXPECT_EQ(Trap([&] { importer = CSessionImporter::NewL(*iPlots, iObd.get(), files, unknown); }), KErrCorrupt);
  EXPECT_EQ(importer, nullptr);
}

TEST_F(SessionImporterTest, ObdSentencesOfAnNmeaLogAreStoredAsObdValues) {
  std::string log = NmeaLog(12 * 36000, 2);
  log += Sentence("PWOBD,120000.150,0C,41 0C 1A F8");
  log += Sentence("PWOBD,120000.250,0D,41 0D 64");
  log += Sentence("PWOBD,120000.350,0C,NO DATA");
  const std::string path = Write("obd.nmea", log);
  std::unique_ptr<CSessionImporter> importer = Importer({path}, CSessionImporter::EFormatNmea);
  ASSERT_EQ(RunToEnd(*importer), 0);
  EXPECT_EQ(importer->StoredObdValues(), 2);
  std::unique_ptr<CPlotList> loaded = Reload();
  const CObdChannelPlotList* rpm = loaded->ObdList().FindList(0x0C);
  ASSERT_NE(rpm, nullptr);
  ASSERT_EQ(rpm->Count(), 1);
  EXPECT_EQ(rpm->At(0).iTime, 12 * 3600000 + 150);
  EXPECT_EQ(rpm->At(0).iRawValue, 0x1AF8u);
  const CObdChannelPlotList* speed = loaded->ObdList().FindList(0x0D);
  ASSERT_NE(speed, nullptr);
  EXPECT_EQ(speed->At(0).iRawValue, 100u);
}

TEST_F(SessionImporterTest, CancelBetweenBlocksClosesBothFilesAndKeepsWhatWasImported) {
  const std::string path = Write("long.nmea", NmeaLog(8 * 36000, 5000));
  std::unique_ptr<CSessionImporter> importer = Importer({path}, CSessionImporter::EFormatNmea);
  importer->Cancel();  // before the start: nothing to close, but finished
  EXPECT_EQ(importer->State(), CSessionImporter::EDone);

  importer = Importer({path}, CSessionImporter::EFormatNmea);
  ASSERT_EQ(importer->Step(), 1);
  ASSERT_EQ(importer->Step(), 1);
  EXPECT_TRUE(iPlots->IsFileOpen());
  const int32_t stored = importer->StoredPositions();
  EXPECT_GT(stored, 0);
  EXPECT_LT(stored, 5000);
  importer->Cancel();
  EXPECT_EQ(importer->State(), CSessionImporter::EDone);
  EXPECT_FALSE(iPlots->IsFileOpen());
  EXPECT_EQ(Reload()->PositionList().Count(), stored);
}

// Hostile input: none of it may crash or fail the import; what a parser cannot use is dropped.
TEST_F(SessionImporterTest, BinaryTruncatedAndWrongFormatFilesImportNothingUsable) {
  std::mt19937 rng(7);
  std::string noise(300000, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  const std::string binary = Write("noise.bin", noise);
  // A sentence cut in the middle at the end of the file, and one that is too long for a line.
  const std::string cut = Write("cut.nmea", NmeaLog(36000, 3).substr(0, 50));
  const std::string longLine = Write("long-line.nmea", "$GPGGA," + std::string(100000, '1') + "\r\n");
  for (int32_t format = CSessionImporter::EFormatNmea; format <= CSessionImporter::EFormatDL1; ++format) {
    SCOPED_TRACE(format);
    NewSession();
    std::unique_ptr<CSessionImporter> importer = Importer({binary, cut, longLine}, format);
    EXPECT_EQ(RunToEnd(*importer), 0);
    EXPECT_EQ(importer->State(), CSessionImporter::EDone);
    std::unique_ptr<CPlotList> loaded = Reload();
    // Random bytes may by chance form a short binary record; they never form a real drive.
    EXPECT_LT(loaded->PositionList().Count(), 20);
  }
  // A real NMEA log offered as VBox, Perf.Box or DL-1 gives nothing at all.
  const std::string nmea = Write("real.nmea", NmeaLog(36000, 100));
  for (int32_t format : {CSessionImporter::EFormatVBox, CSessionImporter::EFormatPBox}) {
    NewSession();
    std::unique_ptr<CSessionImporter> importer = Importer({nmea}, format);
    EXPECT_EQ(RunToEnd(*importer), 0);
    EXPECT_EQ(Reload()->PositionList().Count(), 0) << format;
  }
}

// The worker engine runs the import through the scheduler loop and shows its byte progress.
class CProgressLog : public MProgressDisplay, public MWorkerObserver {
 public:
  explicit CProgressLog(PwEvent& aStop) : iStop(aStop) {}
  void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver, int32_t) override {
    iText.Copy(aText);
    iDialog = aObserver;
  }
  void UpdateProgress(int32_t aValue, int32_t aTotal) override {
    iUpdates.emplace_back(aValue, aTotal);
    if (iCancelAfter && static_cast<int32_t>(iUpdates.size()) == iCancelAfter) iDialog->Cancel();
  }
  int32_t CloseProgress() override { return 0; }
  void WorkerDone(int32_t aCode) override {
    iDone = aCode;
    iStop.Set();
  }
  void WorkerCancelled() override {
    iCancelled = true;
    iStop.Set();
  }

  PwEvent& iStop;
  CPwString iText;
  MProgressDialogObserver* iDialog = nullptr;
  std::vector<std::pair<int32_t, int32_t>> iUpdates;
  int32_t iCancelAfter = 0;
  int32_t iDone = -100;
  bool iCancelled = false;
};

class CSilentNotes : public MErrorNoteDisplay {
 public:
  void ShowErrorNote(CPwStringC) override {}
};

TEST_F(SessionImporterTest, WorkerEngineShowsByteProgressAndCancelsBetweenBlocks) {
  const std::string log = NmeaLog(8 * 36000, 6000);
  const std::string path = Write("engine.nmea", log);
  PwHeadlessLoopHost host;
  CPwScheduler scheduler(host);
  CSilentNotes notes;
  scheduler.SetErrorNoteDisplay(&notes);
  {
    PwEvent stop;
    CProgressLog display(stop);
    CWorkerEngine engine(&scheduler, &display);
    std::unique_ptr<CSessionImporter> importer = Importer({path}, CSessionImporter::EFormatNmea);
    engine.Start(importer.get(), &display, R_IMPORTING);
    scheduler.RunLoop(stop);
    EXPECT_EQ(display.iText, CPwStringC(u"Importing..."));
    EXPECT_EQ(display.iDone, 0);
    ASSERT_FALSE(display.iUpdates.empty());
    EXPECT_EQ(display.iUpdates.back(), std::make_pair(static_cast<int32_t>(log.size()), static_cast<int32_t>(log.size())));
    for (size_t i = 1; i < display.iUpdates.size(); ++i) EXPECT_GE(display.iUpdates[i].first, display.iUpdates[i - 1].first);
  }
  {
    NewSession();
    PwEvent stop;
    CProgressLog display(stop);
    display.iCancelAfter = 2;  // after the first block
    CWorkerEngine engine(&scheduler, &display);
    std::unique_ptr<CSessionImporter> importer = Importer({path}, CSessionImporter::EFormatNmea);
    engine.Start(importer.get(), &display, R_IMPORTING);
    scheduler.RunLoop(stop);
    EXPECT_TRUE(display.iCancelled);
    EXPECT_EQ(display.iUpdates.size(), 2u);
    EXPECT_EQ(importer->ReadPosition(), CSessionImporter::KBlockBytes);
    EXPECT_FALSE(iPlots->IsFileOpen());
  }
  {
    PwEvent stop;
    CProgressLog display(stop);
    CWorkerEngine engine(&scheduler, &display);
    std::unique_ptr<CSessionImporter> importer = Importer({iDir / "gone.nmea"}, CSessionImporter::EFormatNmea);
    engine.Start(importer.get(), &display, R_IMPORTING);
    scheduler.RunLoop(stop);
    EXPECT_EQ(display.iDone, 1);
  }
}

// --- Real logs -------------------------------------------------------------------------------

std::string ReadAll(const std::string& aPath) { return pwtest::ReadFileBytes(aPath); }

// Rows of a VBO data section whose time moves on from the last kept one: what a session keeps
// (a repeated time stamp is not a new sample).
int32_t VboAdvancingRows(const std::string& aText) {
  std::istringstream in(aText);
  std::string line;
  bool data = false;
  double last = -1.0;
  int32_t rows = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "[data]") {
      data = true;
      continue;
    }
    if (!data || line.empty()) continue;
    std::istringstream fields(line);
    std::string sats, time;
    fields >> sats >> time;
    const double t = std::stod(time);
    if (t > last) {
      ++rows;
      last = t;
    }
  }
  return rows;
}

TEST_F(SessionImporterTest, RealVboLogsImportEveryPosition) {
  PW_REQUIRE_TESTDATA();
  for (const char* name : {"sports-logger-20hz.vbo", "karting-part.vbo"}) {
    SCOPED_TRACE(name);
    const std::string path = pwtest::TestDataDir() + "/vbo/" + name;
    NewSession();
    std::unique_ptr<CSessionImporter> importer = Importer({path}, CSessionImporter::EFormatVBox);
    ASSERT_EQ(RunToEnd(*importer), 0);
    const int32_t expected = VboAdvancingRows(ReadAll(path));
    std::unique_ptr<CPlotList> loaded = Reload();
    EXPECT_EQ(loaded->PositionList().Count(), expected);
    EXPECT_EQ(importer->StoredPositions(), expected);
  }
  // The karting log has more than three blocks; a stretch of it checked against its rows:
  // 008 125716.000 01815.81864 -07218.93083 046.510 ...
  std::unique_ptr<CPlotList> loaded = Reload();
  ASSERT_GT(loaded->PositionList().Count(), 8000);
  EXPECT_EQ(loaded->PositionList().At(0).iLatitude, 181581864);
  EXPECT_EQ(loaded->PositionList().At(0).iLongitude, 721893083);
  // Six minutes at about 25 Hz.
  EXPECT_NEAR(loaded->PositionList().Duration().Milliseconds() / 60000.0, 6.0, 0.5);
}

TEST_F(SessionImporterTest, RealReceiverLogsImportAsNmeaLikeALiveSession) {
  PW_REQUIRE_TESTDATA();
  const char* logs[] = {"ait250.log",        "bu353s4.log",    "bundg_zeus_9.log",  "ch-4701.log", "firefly-II.log",
                        "haicom-305N.log",   "iTrek.log",      "magellan-ec10.log", "motorola-t805.log",
                        "mt3339.log",        "pharos-360.log", "skytraq-dgps.log",  "telit-he910.log",
                        "tomtom-mkII.log"};
  int32_t withPositions = 0;
  for (const char* name : logs) {
    SCOPED_TRACE(name);
    const std::string path = pwtest::TestDataDir() + "/nmea-receivers/" + name;
    NewSession();
    std::unique_ptr<CSessionImporter> importer = Importer({path}, CSessionImporter::EFormatNmea);
    ASSERT_EQ(RunToEnd(*importer), 0);
    std::unique_ptr<CPlotList> loaded = Reload();

    // The same log parsed in one piece straight into a session in memory.
    std::unique_ptr<CPlotList> direct(CPlotList::NewL(iObd.get()));
    std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
    class TDirect : public MParsedDataObserver {
     public:
      explicit TDirect(CPlotList& aList) : iList(aList) {}
      int32_t PositionParsed(TCoordinate aLat, TCoordinate aLon, PwTime aTime, TDistance aAlt, TSpeed aSpeed,
                             double aBearing, double aHdop, double aVdop, int32_t aSats, int32_t aDiff, int32_t aDisc,
                             PwTime aDate, PwTime aDateTime) override {
        iList.AddPosition(aLat, aLon, aTime.Milliseconds(), aAlt, aSpeed, aBearing, aHdop, aVdop, aSats, aDiff, aDisc,
                          aDate.Milliseconds(), aDateTime.Milliseconds(), 0);
        return 0;
      }
      void ObdValueParsed(PwTime, int32_t, uint32_t) override {}
      void ObdSentenceDone() override {}
      void ChannelsParsed(PwTime, const TChannelValueList&) override {}
      void LineReceived(CPwByteArrayC, int32_t) override {}
      CPlotList& iList;
    } observer(*direct);
    const std::string bytes = ReadAll(path);
    parser->Parse(CPwByteArrayC(bytes.data(), static_cast<int32_t>(bytes.size())), &observer, nullptr, iObd.get(),
                  nullptr, nullptr);

    const CPositionPlotList& a = loaded->PositionList();
    const CPositionPlotList& b = direct->PositionList();
    ASSERT_EQ(a.Count(), b.Count());
    for (int32_t i = 0; i < a.Count(); ++i) {
      ASSERT_EQ(a.At(i).iTime, b.At(i).iTime) << i;
      ASSERT_EQ(a.At(i).iLatitude, b.At(i).iLatitude) << i;
      ASSERT_EQ(a.At(i).iLongitude, b.At(i).iLongitude) << i;
      ASSERT_EQ(a.At(i).iSpeed, b.At(i).iSpeed) << i;
      ASSERT_EQ(a.At(i).iDistance, b.At(i).iDistance) << i;
    }
    if (a.Count() > 0) ++withPositions;
  }
  // Some captures hold no valid fix at all; most do.
  EXPECT_GE(withPositions, 10);
}

// The whole road through a track session: it owns the importer while the worker runs and,
// when the import ends, reads the samples back and times them.
TEST(SessionImportThroughTrackSession, EndImportLoadsAndTimesTheImportedSamples) {
  PW_REQUIRE_TESTDATA();
  pwtest::TestModel model;
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(model));
  session->NewSession(*pwtest::Chosen(ESessionDataLogging, ""), model.iRoot);
  CPwStringList files;
  files.AppendCopy(pwtest::Wide(pwtest::TestDataDir() + "/vbo/karting-part.vbo"));
  CSessionImporter* importer =
      CSessionImporter::StartL(*session, &model.ObdChannels(), files, CSessionImporter::EFormatVBox);
  EXPECT_EQ(session->Importer(), importer);
  EXPECT_EQ(importer->Session(), session.get());

  PwHeadlessLoopHost host;
  CPwScheduler scheduler(host);
  CSilentNotes notes;
  scheduler.SetErrorNoteDisplay(&notes);
  PwEvent stop;
  CProgressLog display(stop);
  CWorkerEngine engine(&scheduler, &display);
  engine.Start(importer, &display, R_IMPORTING);
  scheduler.RunLoop(stop);
  ASSERT_EQ(display.iDone, 0);
  EXPECT_EQ(session->SampleCount(), 0);  // written, not kept
  const int32_t stored = importer->StoredPositions();
  session->EndImport();
  EXPECT_EQ(session->Importer(), nullptr);
  EXPECT_EQ(session->SampleCount(), stored);
  EXPECT_GT(stored, 8000);
}

}  // namespace
