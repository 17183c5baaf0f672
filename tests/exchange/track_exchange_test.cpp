// The track index and its browser, installing downloaded tracks, and the download and upload
// flows end to end: against a scripted server in this program and against the club track
// server (tools/track_server.py) when python3 is there.
#include "exchange/track_exchange.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exchange/download_track_list.h"
#include "exchange/web_client_engine.h"
#include "foundation/drives.h"
#include "foundation/pw_string_list.h"
#include "foundation/scheduler.h"
#include "club_track_server.h"
#include "http_test_server.h"
#include "platform/loop_host.h"
#include "storage/settings.h"
#include "support/test_support.h"
#include "timing/track_list.h"

namespace {

using pwhttptest::TestServer;
namespace fs = std::filesystem;

std::string U8(CPwStringC aText) { return PwToUtf8(aText); }
CPwString Wide(const std::string& aText) { return PwStringFromUtf8(aText); }

// A version-2 track file with one trap named aTrap (up to 15 ASCII characters).
std::string TrackFile(const std::string& aTrap, int aLatitude = 300000000) {
  std::string f("\x02\x00\x00\x00\x00\x00\x01\x00\x00\x00", 10);
  f.push_back(static_cast<char>(aTrap.size() * 4));
  f += aTrap;
  auto int32 = [&](int32_t v) {
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
  };
  int32(3);            // start/finish
  int32(aLatitude);    // latitude
  int32(42000000);     // longitude
  int32(100000000);    // bearing
  int32(20000000);     // width
  f += std::string("\x01\x00", 2);
  return f;
}

// --- The index --------------------------------------------------------------------------------

TEST(DownloadTrackList, IndexLinesGiveFileGroupNameAndDetail) {
  CDownloadTrackList list;
  list.ParseIndex(
      "a.bin;North/Oval;2.2 km\r\n"
      "b.bin;South/Ring\n"                   // two fields: skipped
      "c.bin;Oval;x\n"                       // no "/": all group, empty name
      "\r\n"                                 // empty line
      ";North/Nameless;1 km\n"               // no file
      "d.bin;;1 km\n"                        // no title
      "e.bin;North/Empty;\n"                 // empty detail
      "f.bin;/Orphan;1 km\n"                 // no group: unreachable
      "g\rh.bin;North/Cr;1 km\n"             // a control byte in the file
      "dir/N%C3%BC.bin;D\xc3\xbc/N\xc3\xbc/2;3 km;extra;fields\n"
      "last.bin;North/Unended;1 km");        // no line end
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.At(0).File().View(), "a.bin");
  EXPECT_EQ(U8(list.At(0).Group()), "North");
  EXPECT_EQ(U8(list.At(0).Name()), "Oval");
  EXPECT_EQ(U8(list.At(0).Detail()), "2.2 km");
  EXPECT_EQ(list.At(1).File().View(), "c.bin");
  EXPECT_EQ(U8(list.At(1).Group()), "Oval");
  EXPECT_EQ(U8(list.At(1).Name()), "");
  EXPECT_EQ(list.At(2).File().View(), "dir/N%C3%BC.bin");
  EXPECT_EQ(U8(list.At(2).Group()), "D\xc3\xbc");
  EXPECT_EQ(U8(list.At(2).Name()), "N\xc3\xbc/2");  // split at the first "/" only
  EXPECT_EQ(U8(list.At(2).Detail()), "3 km");

  list.ParseIndex("");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ShownCount(), 0);
  EXPECT_EQ(list.Current(), nullptr);
}

TEST(DownloadTrackList, ServerTextLosesWhatIsNotText) {
  CDownloadTrackList list;
  list.ParseIndex(
      "a.bin;No\x1b[31mrth/Ov\x07\x7f" "al\xc2\x9b;2.2\tkm\x1b[0m\r\n"  // ESC, BEL, DEL, C1, tab
      "b.bin;\xe2\x80\xaeSouth\xe2\x81\xa6/Line\xe2\x80\xa8two;a\xc2\x85" "b\x0b" "c\n"  // bidi marks, separators
      "c.bin;\x1b\x1b/Hidden;1 km\n"                                // no group once cleaned: unreachable
      "d.bin;D\xc3\xbcsseldorf/\xe2\x80\x8bZero width;\xf0\x9f\x8f\x81\n");  // text stays text
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(U8(list.At(0).Group()), "No[31mrth");
  EXPECT_EQ(U8(list.At(0).Name()), "Oval");
  EXPECT_EQ(U8(list.At(0).Detail()), "2.2 km[0m");
  EXPECT_EQ(U8(list.At(1).Group()), "South");
  EXPECT_EQ(U8(list.At(1).Name()), "Line two");
  EXPECT_EQ(U8(list.At(1).Detail()), "a b c");
  EXPECT_EQ(U8(list.At(2).Group()), "D\xc3\xbcsseldorf");
  EXPECT_EQ(U8(list.At(2).Name()), "\xe2\x80\x8bZero width");
  EXPECT_EQ(U8(list.At(2).Detail()), "\xf0\x9f\x8f\x81");
  // The browser and the counts work on the cleaned groups.
  EXPECT_EQ(list.CountInGroup(u"No[31mrth"), 1);
}

TEST(DownloadTrackList, TopLevelShowsEachGroupOnceAndReturnsToTheGroupLeft) {
  CDownloadTrackList list;
  list.ParseIndex("1;A/one;d\n2;B/two;d\n3;A/three;d\n4;C/four;d\n5;B/five;d\n6;a/six;d\n");
  ASSERT_TRUE(list.IsTopLevel());
  ASSERT_EQ(list.ShownCount(), 4);  // groups compare exactly: "a" is a group of its own
  EXPECT_EQ(U8(list.ShownAt(0).Name()), "one");
  EXPECT_EQ(U8(list.ShownAt(1).Group()), "B");
  EXPECT_EQ(U8(list.ShownAt(2).Group()), "C");
  EXPECT_EQ(list.CountInGroup(u"A"), 2);
  EXPECT_EQ(list.CountInGroup(u"B"), 2);
  EXPECT_EQ(list.CountInGroup(u"C"), 1);
  EXPECT_EQ(list.CountInGroup(u"D"), 0);

  list.SetCurrentIndex(1);
  list.Filter(list.Current()->Group());
  EXPECT_FALSE(list.IsTopLevel());
  EXPECT_EQ(U8(list.CurrentGroup()), "B");
  ASSERT_EQ(list.ShownCount(), 2);
  EXPECT_EQ(U8(list.ShownAt(0).Name()), "two");
  EXPECT_EQ(U8(list.ShownAt(1).Name()), "five");
  EXPECT_EQ(list.CurrentIndex(), 0);

  // A new index keeps the level; going back lands on the group that was open.
  list.ParseIndex("7;C/seven;d\n8;B/eight;d\n");
  ASSERT_EQ(list.ShownCount(), 1);
  EXPECT_EQ(U8(list.ShownAt(0).Name()), "eight");
  list.Filter(CPwStringC());
  EXPECT_EQ(list.ShownCount(), 2);
  EXPECT_EQ(list.CurrentIndex(), 1);
  list.Filter(CPwStringC());
  EXPECT_EQ(list.CurrentIndex(), 0);  // no group was open

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ShownCount(), 0);
}

TEST(DownloadTrackList, HugeHostileIndexesStayBounded) {
  // Every track in a group of its own: the top level must not compare each with each.
  std::string index;
  for (int i = 0; i < 30000; ++i) index += std::to_string(i) + ".bin;G" + std::to_string(i) + "/t;d\n";
  CDownloadTrackList list;
  list.ParseIndex(CPwByteArrayC(index));
  EXPECT_EQ(list.Count(), CDownloadTrackList::KMaxTracks);
  EXPECT_EQ(list.ShownCount(), CDownloadTrackList::KMaxTracks);
  EXPECT_EQ(list.At(CDownloadTrackList::KMaxTracks - 1).File().View(), "19999.bin");

  std::string junk(1 << 20, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 2654435761u) >> 13);
  list.ParseIndex(CPwByteArrayC(junk));  // whatever it makes of it, it must not crash
  for (int32_t i = 0; i < list.Count(); ++i) EXPECT_FALSE(list.At(i).File().IsEmpty());
}

// --- Urls and replies -------------------------------------------------------------------------

TEST(TrackExchangeUrls, IndexPathsAreEncodedForTheRequestLine) {
  CPwString url(u"http://h/automatic/tracks/");
  AppendUrlPath(url, CPwByteArrayC("Germany/Oval Nord-track.bin?x=%41#\"<>\\^`{|}\x7f\xc3\xbc"));
  EXPECT_EQ(U8(url),
            "http://h/automatic/tracks/Germany/Oval%20Nord-track.bin?x=%41%23%22%3C%3E%5C%5E%60%7B%7C%7D%7F%C3%BC");
}

TEST(TrackExchangeUrls, BaseUrlComesFromTheEnvironment) {
  const char* saved = std::getenv("PACEWRIGHT_TRACK_SERVER");
  const std::string keep = saved ? saved : "";
  CPwString url;
  setenv("PACEWRIGHT_TRACK_SERVER", "http://127.0.0.1:8080/automatic/tracks", 1);
  TrackServerBaseUrl(url);
  EXPECT_EQ(U8(url), "http://127.0.0.1:8080/automatic/tracks/");
  unsetenv("PACEWRIGHT_TRACK_SERVER");
  TrackServerBaseUrl(url);
  EXPECT_EQ(U8(url).rfind("http://", 0), 0u);
  EXPECT_NE(U8(url).find("/automatic/tracks/"), std::string::npos);
  if (saved) setenv("PACEWRIGHT_TRACK_SERVER", keep.c_str(), 1);
}

TEST(TrackUpload, OnlyAFirstLineOfSuccessAcceptsTheUpload) {
  EXPECT_TRUE(CTrackUpload::IsSuccessReply("Success.\r\n"));
  EXPECT_TRUE(CTrackUpload::IsSuccessReply("Success.\n<html>rest</html>"));
  EXPECT_TRUE(CTrackUpload::IsSuccessReply("\r\n\n\r\nSuccess.\r\n"));
  EXPECT_FALSE(CTrackUpload::IsSuccessReply("Success."));  // no line end
  EXPECT_FALSE(CTrackUpload::IsSuccessReply("\r\nSuccess."));
  EXPECT_FALSE(CTrackUpload::IsSuccessReply("success.\r\n"));
  EXPECT_FALSE(CTrackUpload::IsSuccessReply("Success. \r\n"));
  EXPECT_FALSE(CTrackUpload::IsSuccessReply(" Success.\r\n"));
  EXPECT_FALSE(CTrackUpload::IsSuccessReply("Failure.\r\nSuccess.\r\n"));
  EXPECT_FALSE(CTrackUpload::IsSuccessReply(""));
  EXPECT_FALSE(CTrackUpload::IsSuccessReply("\r\n\r\n"));
}

// --- Flows ------------------------------------------------------------------------------------

class CUiLog : public MTrackExchangeUi {
 public:
  void ShowNote(TNoteKind aKind, CPwStringC aText) override { iNotes.push_back({aKind, U8(aText)}); }
  bool AskQuestion(CPwStringC aText) override {
    iQuestions.push_back(U8(aText));
    if (iAnswers.empty()) return false;
    const bool answer = iAnswers.front();
    iAnswers.pop_front();
    return answer;
  }
  void ExchangeEvent(TEvent aEvent) override {
    iEvents.push_back(aEvent);
    if (iOnEvent) iOnEvent();
  }
  std::string LastNote() const { return iNotes.empty() ? "" : iNotes.back().second; }

  std::vector<std::pair<TNoteKind, std::string>> iNotes;
  std::vector<std::string> iQuestions;
  std::deque<bool> iAnswers;
  std::vector<TEvent> iEvents;
  std::function<void()> iOnEvent;
};

class TrackExchangeTest : public ::testing::Test {
 protected:
  TrackExchangeTest() {
    setenv("PACEWRIGHT_DOCUMENTS", (iDir / "docs").c_str(), 1);
    iRoot = iDir.Path() + "/medium/";
    fs::create_directories(iRoot);
    iSettings.reset(new CSettings(Wide(iRoot)));
    iDrives.reset(CPwDrives::NewL((iDir / "no-mounts").c_str()));
    iTracks.reset(new CTrackList(*iSettings, *iDrives));
    Refresh();
    iEngine.reset(new CWebClientEngine(&iScheduler, nullptr));
    iDownload.reset(new CTrackDownload(*iEngine, iList, *iTracks, *iSettings, iUi));
    iUpload.reset(new CTrackUpload(*iEngine, *iTracks, iUi));
    iUi.iOnEvent = [this] { iStop.Set(); };
  }

  void Refresh() { iTracks->RefreshRoots(Wide(iRoot), CPwStringList(), CPwStringC()); }
  std::string TrackPath(const std::string& aName) { return iRoot + "Pacewright/Tracks/" + aName + "-track.bin"; }
  void SetBase(const std::string& aBase) {
    iDownload->SetBaseUrl(Wide(aBase));
    iUpload->SetBaseUrl(Wide(aBase));
  }

  // Runs the loop until the flow reports an event (false after 30 s).
  bool RunUntilEvent() {
    bool timedOut = false;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread watchdog([&] {
      std::unique_lock<std::mutex> lock(m);
      if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return done; }))
        iHost.Post([&] {
          timedOut = true;
          iStop.Set();
        });
    });
    iScheduler.RunLoop(iStop);
    {
      std::lock_guard<std::mutex> lock(m);
      done = true;
    }
    cv.notify_all();
    watchdog.join();
    return !timedOut;
  }

  pwtest::TempDir iDir;
  std::string iRoot;
  std::unique_ptr<CSettings> iSettings;
  std::unique_ptr<CPwDrives> iDrives;
  std::unique_ptr<CTrackList> iTracks;
  CDownloadTrackList iList;
  CUiLog iUi;
  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  PwEvent iStop;
  std::unique_ptr<CWebClientEngine> iEngine;
  std::unique_ptr<CTrackDownload> iDownload;
  std::unique_ptr<CTrackUpload> iUpload;
};

TEST_F(TrackExchangeTest, InstallingANewTrackWritesItUnchangedAndListsIt) {
  const std::string bytes = TrackFile("Finish");
  EXPECT_EQ(iDownload->InstallTrack(u"Oval", CPwByteArrayC(bytes)), 1);
  EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("Oval")), bytes);
  EXPECT_FALSE(fs::exists(TrackPath("Oval") + ".download"));
  ASSERT_TRUE(iTracks->Exists(u"Oval"));
  ASSERT_NE(iTracks->Current(), nullptr);
  EXPECT_EQ(U8(iTracks->Current()->Name()), "Oval");
  EXPECT_EQ(iTracks->Current()->TrapCount(), 1);
  EXPECT_TRUE(iUi.iQuestions.empty());
  ASSERT_EQ(iUi.iNotes.size(), 1u);
  EXPECT_EQ(iUi.iNotes[0].first, MTrackExchangeUi::EInformationNote);
  EXPECT_EQ(iUi.iNotes[0].second, "Succesfully added 'Oval' to your track profiles.");
}

TEST_F(TrackExchangeTest, AnExistingTrackIsReplacedOnlyWhenTheUserAgrees) {
  ASSERT_EQ(iDownload->InstallTrack(u"oval", CPwByteArrayC(TrackFile("Old"))), 1);
  const std::string old = pwtest::ReadFileBytes(TrackPath("oval"));

  iUi.iAnswers = {false};
  EXPECT_EQ(iDownload->InstallTrack(u"Oval", CPwByteArrayC(TrackFile("New"))), 0);
  ASSERT_EQ(iUi.iQuestions.size(), 1u);
  EXPECT_EQ(iUi.iQuestions[0], "Do you want to overwrite existing 'Oval'?");
  EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("oval")), old);
  EXPECT_FALSE(fs::exists(TrackPath("Oval")));
  EXPECT_FALSE(fs::exists(TrackPath("Oval") + ".download"));
  EXPECT_EQ(iUi.iNotes.size(), 1u);  // declining shows nothing

  iUi.iAnswers = {true};
  EXPECT_EQ(iDownload->InstallTrack(u"Oval", CPwByteArrayC(TrackFile("New"))), 1);
  EXPECT_FALSE(fs::exists(TrackPath("oval")));
  EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("Oval")), TrackFile("New"));
  EXPECT_EQ(iTracks->Count(), 1);
  Refresh();
  EXPECT_EQ(iTracks->Count(), 1);
  EXPECT_EQ(U8(iTracks->At(0).Name()), "Oval");
}

TEST_F(TrackExchangeTest, DownloadsThatAreNotTracksOrHaveUnsafeNamesAreRefused) {
  ASSERT_EQ(iDownload->InstallTrack(u"Oval", CPwByteArrayC(TrackFile("Keep"))), 1);
  iUi.iNotes.clear();

  const std::string html = "<html><body>Temporarily unavailable</body></html>";
  const std::string cut = TrackFile("Cut").substr(0, 20);
  const std::string version("\x07\x00\x00\x00\x00\x00\x00\x00\x00\x00", 10);
  for (const std::string& junk : {cut, html, version, std::string()}) {
    iUi.iAnswers = {true};
    EXPECT_LT(iDownload->InstallTrack(u"Oval", CPwByteArrayC(junk)), 0);
    EXPECT_TRUE(iUi.iQuestions.empty());  // refused before anything is asked
    EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("Oval")), TrackFile("Keep"));
  }
  ASSERT_FALSE(iUi.iNotes.empty());
  EXPECT_EQ(iUi.iNotes[0].first, MTrackExchangeUi::EErrorNote);
  EXPECT_EQ(iUi.iNotes[0].second, "Could not save the track, error -5.");

  for (std::u16string_view name : {u"", u"../../escape", u"a/b", u"a\\b", u"x:y", u"q?"}) {
    SCOPED_TRACE(U8(name));
    EXPECT_EQ(iDownload->InstallTrack(CPwStringC(name), CPwByteArrayC(TrackFile("T"))), KErrCorrupt);
  }
  EXPECT_FALSE(fs::exists(iDir.Path() + "/escape-track.bin"));
  EXPECT_FALSE(fs::exists(iRoot + "Pacewright/escape-track.bin"));
  EXPECT_EQ(iTracks->Count(), 1);
}

TEST_F(TrackExchangeTest, DownloadFlowBrowsesTheIndexAndInstallsTheChosenTrack) {
  const std::string track = TrackFile("Line");
  TestServer server([&](TestServer& s, int fd, const std::string& aRequest) {
    if (aRequest.rfind("GET /automatic/tracks/index.php ", 0) == 0) {
      s.Send(fd, TestServer::Response("HTTP/1.0 200 OK",
                                      "de/oval-track.bin;Germany/Oval Nord;3.2 km\r\n"
                                      "fr/ring-track.bin;France/Ring;4 km\r\n"
                                      "de/kart%20hall.bin;Germany/Kart Hall;0.8 km\r\n"));
    } else if (aRequest.rfind("GET /automatic/tracks/de/oval-track.bin ", 0) == 0) {
      s.Send(fd, TestServer::Response("HTTP/1.0 200 OK", track));
    } else {
      s.Send(fd, TestServer::Response("HTTP/1.0 404 Not Found", "no"));
    }
  });
  SetBase(server.Base());

  ASSERT_EQ(iDownload->Open(), 1);
  EXPECT_TRUE(iDownload->IsRequestPending());
  ASSERT_TRUE(RunUntilEvent());
  ASSERT_EQ(iUi.iEvents.back(), MTrackExchangeUi::EIndexLoaded);
  ASSERT_EQ(iList.ShownCount(), 2);
  EXPECT_EQ(U8(iList.ShownAt(0).Group()), "Germany");
  EXPECT_EQ(iList.CountInGroup(u"Germany"), 2);

  iDownload->SelectCurrent();  // enters Germany
  ASSERT_FALSE(iList.IsTopLevel());
  ASSERT_EQ(iList.ShownCount(), 2);
  iUi.iAnswers = {true};
  iDownload->SelectCurrent();
  ASSERT_EQ(iUi.iQuestions.size(), 1u);
  EXPECT_EQ(iUi.iQuestions[0], "Do you want to download 'Oval Nord'?");
  ASSERT_TRUE(RunUntilEvent());
  EXPECT_EQ(iUi.iEvents.back(), MTrackExchangeUi::ETrackInstalled);
  EXPECT_EQ(iUi.LastNote(), "Succesfully added 'Oval Nord' to your track profiles.");
  EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("Oval Nord")), track);

  // The second track is not on the server.
  iList.SetCurrentIndex(1);
  iUi.iAnswers = {true};
  iDownload->SelectCurrent();
  ASSERT_TRUE(RunUntilEvent());
  EXPECT_EQ(iUi.iEvents.back(), MTrackExchangeUi::ETrackFailed);
  EXPECT_EQ(iUi.iNotes.back().first, MTrackExchangeUi::EWarningNote);
  EXPECT_EQ(iUi.LastNote(), "Could not download 'Kart Hall'.");
  EXPECT_NE(server.Requests().back().find("GET /automatic/tracks/de/kart%20hall.bin HTTP/1.0\r\n"),
            std::string::npos);

  EXPECT_TRUE(iDownload->Back());  // to the top level
  EXPECT_TRUE(iList.IsTopLevel());
  EXPECT_EQ(iList.CurrentIndex(), 0);
  EXPECT_TRUE(iEngine->IsConnectionOpen());
  EXPECT_FALSE(iDownload->Back());  // closes
  EXPECT_FALSE(iEngine->IsConnectionOpen());
  EXPECT_EQ(iList.Count(), 0);

  // Without a connection a download is refused at once and shown as failed.
  iDownload->DownloadTrack(CDownloadTrack());
  EXPECT_EQ(iUi.iEvents.back(), MTrackExchangeUi::ETrackFailed);
}

TEST_F(TrackExchangeTest, AFailedIndexClosesTheConnection) {
  TestServer server([](TestServer& s, int fd, const std::string&) {
    s.Send(fd, TestServer::Response("HTTP/1.0 500 Internal Server Error", "oops"));
  });
  SetBase(server.Base());
  ASSERT_EQ(iDownload->Open(), 1);
  ASSERT_TRUE(RunUntilEvent());
  EXPECT_EQ(iUi.iEvents.back(), MTrackExchangeUi::EIndexFailed);
  ASSERT_EQ(iUi.iNotes.size(), 1u);
  EXPECT_EQ(iUi.iNotes[0].first, MTrackExchangeUi::EWarningNote);
  EXPECT_EQ(iUi.iNotes[0].second, "Could not download tracks index.");
  EXPECT_FALSE(iEngine->IsConnectionOpen());
}

TEST_F(TrackExchangeTest, UploadFlowChecksTheFieldsAndTheServersAnswer) {
  ASSERT_EQ(iTracks->Create(u"Home Ring", Wide(iRoot)), 1);
  std::string reply;
  TestServer server([&](TestServer& s, int fd, const std::string&) {
    s.Send(fd, TestServer::Response("HTTP/1.0 200 OK", reply));
  });
  SetBase(server.Base());

  EXPECT_EQ(iUpload->Upload(u"", u"desc"), 0);
  EXPECT_EQ(iUi.LastNote(), "Please enter your email address!");
  EXPECT_EQ(iUpload->Upload(u"me@example.org", u""), 0);
  EXPECT_EQ(iUi.LastNote(), "Please enter description!");
  EXPECT_EQ(iUi.iNotes.back().first, MTrackExchangeUi::EErrorNote);
  EXPECT_TRUE(server.Requests().empty());

  reply = "Success.";  // no line end
  ASSERT_EQ(iUpload->Upload(u"me@example.org", u"Club track"), 1);
  ASSERT_TRUE(RunUntilEvent());
  EXPECT_EQ(iUi.iEvents.back(), MTrackExchangeUi::EUploadFailed);
  EXPECT_EQ(iUi.LastNote(), "Could not upload the track!");
  EXPECT_TRUE(iEngine->IsConnectionOpen());

  reply = "\r\nSuccess.\r\n";
  ASSERT_EQ(iUpload->Upload(u"me@example.org", u"Club track"), 1);
  ASSERT_TRUE(RunUntilEvent());
  EXPECT_EQ(iUi.iEvents.back(), MTrackExchangeUi::EUploadDone);
  EXPECT_EQ(iUi.iNotes.back().first, MTrackExchangeUi::EInformationNote);
  EXPECT_EQ(iUi.LastNote(), "Thank you for the track!");
  EXPECT_FALSE(iEngine->IsConnectionOpen());

  const std::string request = server.Requests().back();
  EXPECT_EQ(request.rfind("POST /automatic/tracks/send.php HTTP/1.0\r\n", 0), 0u);
  EXPECT_NE(request.find("name=\"email\"\r\n\r\nme@example.org\r\n"), std::string::npos);
  EXPECT_NE(request.find("name=\"description\"\r\n\r\nClub track\r\n"), std::string::npos);
  CPwByteArray file;
  ASSERT_TRUE(iTracks->Current()->FileBytes(file));
  EXPECT_NE(request.find("name=\"attachment\"; filename=\"Home Ring\"\r\n"
                         "Content-Type: application/octet-stream\r\n"
                         "Content-Transfer-Encoding: binary\r\n\r\n" +
                         std::string(file.View()) + "\r\n--PACEWRIGHT-MULTIPART-ID--\r\n"),
            std::string::npos);
}

// --- The club track server --------------------------------------------------------------------

TEST_F(TrackExchangeTest, RoundTripWithTheClubTrackServer) {
  if (!pwhttptest::HavePython()) GTEST_SKIP() << "python3 is not installed";
  const std::string tracks = iDir / "server-tracks";
  const std::string inbox = iDir / "server-inbox";
  fs::create_directories(tracks + "/Germany");
  const std::string oval = TrackFile("Start/Finish");
  ASSERT_TRUE(pwtest::WriteFileBytes(tracks + "/Germany/Oval Nord-track.bin", oval));
  ASSERT_TRUE(pwtest::WriteFileBytes(tracks + "/Germany/Oval Nord-track.txt", "3.2 km; fast\n"));
  ASSERT_TRUE(pwtest::WriteFileBytes(tracks + "/Hill-track.bin", TrackFile("Split 1")));
  ASSERT_TRUE(pwtest::WriteFileBytes(tracks + "/not-a-track.txt", "x"));

  pwhttptest::ClubTrackServer server(tracks, inbox);
  ASSERT_EQ(server.Base().rfind("http://127.0.0.1:", 0), 0u) << server.Base();
  SetBase(server.Base());

  ASSERT_EQ(iDownload->Open(), 1);
  ASSERT_TRUE(RunUntilEvent());
  ASSERT_EQ(iUi.iEvents.back(), MTrackExchangeUi::EIndexLoaded);
  ASSERT_EQ(iList.Count(), 2);
  EXPECT_EQ(U8(iList.At(0).Group()), "Germany");
  EXPECT_EQ(U8(iList.At(0).Name()), "Oval Nord");
  EXPECT_EQ(U8(iList.At(0).Detail()), "3.2 km, fast");
  EXPECT_EQ(U8(iList.At(1).Group()), "Other");
  EXPECT_EQ(U8(iList.At(1).Detail()), "1 traps");

  iDownload->DownloadTrack(iList.At(0));
  ASSERT_TRUE(RunUntilEvent());
  ASSERT_EQ(iUi.iEvents.back(), MTrackExchangeUi::ETrackInstalled) << iUi.LastNote();
  EXPECT_EQ(pwtest::ReadFileBytes(TrackPath("Oval Nord")), oval);

  // A path that climbs out of the tracks folder finds nothing.
  CDownloadTrack escape;
  escape.Set("../../../../../../etc/passwd", u"x", u"Passwords", u"d");
  iDownload->DownloadTrack(escape);
  ASSERT_TRUE(RunUntilEvent());
  EXPECT_EQ(iUi.iEvents.back(), MTrackExchangeUi::ETrackFailed);

  // Upload the track just installed (the current one).
  ASSERT_EQ(U8(iTracks->Current()->Name()), "Oval Nord");
  ASSERT_EQ(iUpload->Upload(u"me@example.org", u"Oval, \u00fcber fast"), 1);
  ASSERT_TRUE(RunUntilEvent());
  ASSERT_EQ(iUi.iEvents.back(), MTrackExchangeUi::EUploadDone) << iUi.LastNote();
  std::vector<std::string> received;
  for (const auto& entry : fs::directory_iterator(inbox)) received.push_back(entry.path().string());
  std::sort(received.begin(), received.end());
  ASSERT_EQ(received.size(), 2u);
  EXPECT_NE(received[0].find("Oval Nord-track.bin"), std::string::npos);
  EXPECT_EQ(pwtest::ReadFileBytes(received[0]), oval);
  EXPECT_EQ(pwtest::ReadFileBytes(received[1]), "me@example.org\nOval, \xc3\xbc" "ber fast\n");
}

}  // namespace
