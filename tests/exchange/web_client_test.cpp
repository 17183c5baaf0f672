// The web client engine against a real server on 127.0.0.1: the bytes it sends, responses in
// many pieces, failures of every kind, cancellation of a server that never answers, and
// servers that try to exhaust the client.
#include "exchange/web_client_engine.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/scheduler.h"
#include "http_test_server.h"
#include "platform/loop_host.h"
#include "platform/socket.h"

namespace {

using pwhttptest::TestServer;
using Clock = std::chrono::steady_clock;

CPwString Wide(const std::string& aText) { return PwStringFromUtf8(aText); }

class CRecorder : public MWebClientObserver {
 public:
  void RequestCompleted(CPwByteArrayC aBody) override {
    ++iCompleted;
    iBody.assign(aBody.View());
    Reported();
  }
  void RequestFailed() override {
    ++iFailed;
    Reported();
  }
  void RequestCancelled() override {
    ++iCancelled;
    Reported();
  }
  int Reports() const { return iCompleted + iFailed + iCancelled; }
  void Reported() {
    iAt = Clock::now();
    if (iOnReport) iOnReport();
  }

  int iCompleted = 0;
  int iFailed = 0;
  int iCancelled = 0;
  std::string iBody;
  Clock::time_point iAt;
  std::function<void()> iOnReport;
};

class CProgressLog : public MProgressDisplay {
 public:
  void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver, int32_t) override {
    ++iShown;
    iText = PwToUtf8(aText);
    iObserver = aObserver;
  }
  void UpdateProgress(int32_t, int32_t) override {}
  int32_t CloseProgress() override {
    if (iObserver) ++iClosed;
    iObserver = nullptr;
    return 0;
  }
  int iShown = 0;
  int iClosed = 0;
  std::string iText;
  MProgressDialogObserver* iObserver = nullptr;
};

class WebClientTest : public ::testing::Test {
 protected:
  WebClientTest() {
    iEngine.reset(new CWebClientEngine(&iScheduler, &iProgress));
    iObserver.iOnReport = [this] { iStop.Set(); };
  }

  // Runs the loop until the observer hears of the request (false after aLimitMs).
  bool RunUntilReported(int aLimitMs = 30000) {
    bool timedOut = false;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread watchdog([&] {
      std::unique_lock<std::mutex> lock(m);
      if (!cv.wait_for(lock, std::chrono::milliseconds(aLimitMs), [&] { return done; })) {
        iHost.Post([&] {
          timedOut = true;
          iStop.Set();
        });
      }
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

  // Opens the connection, gets aUrl and waits for the outcome.
  void GetAndWait(const std::string& aUrl) {
    iEngine->OpenConnection();
    ASSERT_EQ(iEngine->Get(Wide(aUrl), u"Fetching...", &iObserver), 1);
    ASSERT_TRUE(RunUntilReported());
  }

  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  PwEvent iStop;
  CProgressLog iProgress;
  CRecorder iObserver;
  std::unique_ptr<CWebClientEngine> iEngine;
};

TEST_F(WebClientTest, GetSendsExactBytesAndCollectsAResponseOfManyPieces) {
  std::string body;
  std::mt19937 random(7);
  for (int i = 0; i < 300000; ++i) body.push_back(static_cast<char>(random()));
  TestServer server([&](TestServer& s, int fd, const std::string&) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";
    // The head a byte at a time, so that status line and empty line arrive cut up.
    if (!s.SendSlowly(fd, head, 1, 1)) return;
    s.SendSlowly(fd, body, 4000, 0);
  });

  GetAndWait(server.Base() + "index.php");
  EXPECT_EQ(iObserver.iCompleted, 1);
  EXPECT_EQ(iObserver.iBody.size(), body.size());
  EXPECT_TRUE(iObserver.iBody == body);

  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0],
            "GET /automatic/tracks/index.php HTTP/1.0\r\n"
            "User-Agent: Pacewright/1.45/Desktop\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.Port()) +
                "\r\n"
                "Content-Length: 0\r\n"
                "\r\n");
  EXPECT_EQ(iProgress.iShown, 1);
  EXPECT_EQ(iProgress.iText, "Fetching...");
  EXPECT_EQ(iProgress.iClosed, 1);
  EXPECT_EQ(iEngine->State(), CWebClientEngine::EIdle);
  EXPECT_TRUE(iEngine->Parser().ResponseBody().IsEmpty());  // emptied after the report
}

TEST_F(WebClientTest, PostSendsTheWholeFormToAServerThatReadsSlowly) {
  std::string file;
  std::mt19937 random(11);
  for (int i = 0; i < 3 * 1024 * 1024; ++i) file.push_back(static_cast<char>(random()));
  TestServer server([&](TestServer& s, int fd, const std::string&) {
    s.Send(fd, TestServer::Response("HTTP/1.0 200 OK", "Success.\r\n"));
  });
  server.iSlowReader = true;

  iEngine->OpenConnection();
  iEngine->ResetForm();
  iEngine->AddFormField(u"email", u"a@b.c");
  iEngine->AddFormFile(u"attachment", u"Oval", CPwByteArrayC(file));
  ASSERT_EQ(iEngine->Post(Wide(server.Base() + "send.php"), u"Uploading...", &iObserver), 1);
  ASSERT_TRUE(RunUntilReported());
  EXPECT_EQ(iObserver.iCompleted, 1);
  EXPECT_EQ(iObserver.iBody, "Success.\r\n");

  const std::string body =
      "--PACEWRIGHT-MULTIPART-ID\r\n"
      "Content-Disposition: form-data; name=\"email\"\r\n\r\n"
      "a@b.c\r\n"
      "--PACEWRIGHT-MULTIPART-ID\r\n"
      "Content-Disposition: form-data; name=\"attachment\"; filename=\"Oval\"\r\n"
      "Content-Type: application/octet-stream\r\n"
      "Content-Transfer-Encoding: binary\r\n\r\n" +
      file + "\r\n--PACEWRIGHT-MULTIPART-ID--\r\n";
  const std::string expected =
      "POST /automatic/tracks/send.php HTTP/1.0\r\n"
      "Content-Type: multipart/form-data; boundary=PACEWRIGHT-MULTIPART-ID\r\n"
      "User-Agent: Pacewright/1.45/Desktop\r\n"
      "Host: 127.0.0.1:" +
      std::to_string(server.Port()) + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].size(), expected.size());
  EXPECT_TRUE(requests[0] == expected);
}

TEST_F(WebClientTest, StatusOtherThan200AndCutOffAnswersFail) {
  struct {
    const char* iName;
    std::function<void(TestServer&, int)> iAnswer;
  } cases[] = {
      {"404", [](TestServer& s, int fd) { s.Send(fd, TestServer::Response("HTTP/1.0 404 Not Found", "nothing here")); }},
      {"closes at once", [](TestServer&, int) {}},
      {"closes inside the headers", [](TestServer& s, int fd) { s.Send(fd, "HTTP/1.0 200 OK\r\nContent-Ty"); }},
      {"resets the connection",
       [](TestServer& s, int fd) {
         s.Send(fd, "HTTP/1.0 200 OK\r\n\r\npartial body");
         std::this_thread::sleep_for(std::chrono::milliseconds(50));
         linger hard{1, 0};
         ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
       }},
      {"malformed status line", [](TestServer& s, int fd) { s.Send(fd, TestServer::Response("HTTP/1.0 2x0 OK", "body")); }},
      {"no second space", [](TestServer& s, int fd) { s.Send(fd, TestServer::Response("HTTP/1.0 200", "body")); }},
      {"binary junk", [](TestServer& s, int fd) { s.Send(fd, std::string("\x00\xff\x13\x10\r\x7f junk", 11)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iName);
    TestServer server([&](TestServer& s, int fd, const std::string&) { c.iAnswer(s, fd); });
    iObserver = CRecorder();
    iObserver.iOnReport = [this] { iStop.Set(); };
    GetAndWait(server.Base() + "index.php");
    EXPECT_EQ(iObserver.iFailed, 1);
    EXPECT_EQ(iObserver.Reports(), 1);
    EXPECT_EQ(iEngine->State(), CWebClientEngine::EIdle);
  }
}

TEST_F(WebClientTest, UnreachableServersAndBadUrlsFail) {
  // Labels longer than 63 bytes are refused by the resolver itself: nothing leaves the machine.
  const std::string unresolvable = "http://" + std::string(70, 'a') + ".invalid/automatic/tracks/index.php";
  const std::string urls[] = {
      "http://127.0.0.1:" + std::to_string(pwhttptest::ClosedPort()) + "/automatic/tracks/index.php",
      unresolvable,
      "http://127.0.0.1:0/automatic/tracks/index.php",
      "http://127.0.0.1:99999/automatic/tracks/index.php",
      "http://127.0.0.1:80x/automatic/tracks/index.php",
      "ftp://127.0.0.1/automatic/tracks/index.php",
      "http://127.0.0.1",
  };
  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    iObserver = CRecorder();
    iObserver.iOnReport = [this] { iStop.Set(); };
    GetAndWait(url);
    EXPECT_EQ(iObserver.iFailed, 1);
    EXPECT_EQ(iObserver.Reports(), 1);
  }
  EXPECT_EQ(iProgress.iClosed, iProgress.iShown);
}

TEST_F(WebClientTest, CancelEndsARequestToAServerThatNeverAnswers) {
  TestServer server([](TestServer& s, int fd, const std::string&) { s.WaitForClientOrStop(fd); });
  iEngine->OpenConnection();
  ASSERT_EQ(iEngine->Get(Wide(server.Base() + "index.php"), u"Waiting...", &iObserver), 1);
  EXPECT_EQ(iEngine->State(), CWebClientEngine::ERunning);

  Clock::time_point cancelledAt;
  std::thread canceller([&] {
    server.WaitForRequests(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    iHost.Post([&] {
      cancelledAt = Clock::now();
      ASSERT_NE(iProgress.iObserver, nullptr);
      iProgress.iObserver->Cancel();  // as the progress dialog's Cancel does
    });
  });
  ASSERT_TRUE(RunUntilReported());
  canceller.join();
  EXPECT_EQ(iObserver.iCancelled, 1);
  EXPECT_EQ(iObserver.Reports(), 1);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(iObserver.iAt - cancelledAt).count(), 15000);
  EXPECT_EQ(iProgress.iShown, 1);
  EXPECT_EQ(iProgress.iClosed, 1);
  EXPECT_EQ(iEngine->State(), CWebClientEngine::EIdle);

  // The engine is ready for the next request.
  TestServer polite([](TestServer& s, int fd, const std::string&) {
    s.Send(fd, TestServer::Response("HTTP/1.0 200 OK", "again"));
  });
  ASSERT_EQ(iEngine->Get(Wide(polite.Base() + "index.php"), u"Again...", &iObserver), 1);
  ASSERT_TRUE(RunUntilReported());
  EXPECT_EQ(iObserver.iCompleted, 1);
  EXPECT_EQ(iObserver.iBody, "again");
}

TEST_F(WebClientTest, CancelEndsAConnectionThatIsNeverAccepted) {
  // A listener whose accept queue is full drops further connection attempts, so the client's
  // connect keeps retrying.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t len = sizeof(a);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    fillers.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  iEngine->OpenConnection();
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/automatic/tracks/index.php";
  ASSERT_EQ(iEngine->Get(Wide(url), u"x", &iObserver), 1);
  Clock::time_point cancelledAt;
  iHost.Post([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancelledAt = Clock::now();
    iEngine->Cancel();
  });
  ASSERT_TRUE(RunUntilReported());
  // Either the connect was still hanging (the usual case) or the system let it through and
  // the request then waited for an answer: both end as cancelled, at once.
  EXPECT_EQ(iObserver.iCancelled, 1);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(iObserver.iAt - cancelledAt).count(), 15000);
  for (int fd : fillers) ::close(fd);
  ::close(listener);
}

TEST_F(WebClientTest, HostileServersCannotExhaustTheClient) {
  struct {
    const char* iName;
    std::function<void(TestServer&, int)> iAnswer;
  } cases[] = {
      {"endless headers",
       [](TestServer& s, int fd) {
         if (!s.Send(fd, "HTTP/1.0 200 OK\r\n")) return;
         const std::string field = "X-Padding: " + std::string(1000, 'p') + "\r\n";
         std::string block;
         for (int i = 0; i < 64; ++i) block += field;
         while (!s.Stopping() && s.Send(fd, block)) {
         }
       }},
      {"a gigabyte body",
       [](TestServer& s, int fd) {
         if (!s.Send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 1073741824\r\n\r\n")) return;
         const std::string block(65536, 'b');
         for (int i = 0; i < 16384 && !s.Stopping(); ++i)
           if (!s.Send(fd, block)) return;
       }},
      {"endless junk without a line end",
       [](TestServer& s, int fd) {
         std::string block(65536, '\0');
         std::mt19937 random(3);
         for (char& c : block) c = static_cast<char>(random() % 10 + 0xF0);
         while (!s.Stopping() && s.Send(fd, block)) {
         }
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iName);
    TestServer server([&](TestServer& s, int fd, const std::string&) { c.iAnswer(s, fd); });
    iObserver = CRecorder();
    iObserver.iOnReport = [this] { iStop.Set(); };
    GetAndWait(server.Base() + "index.php");
    EXPECT_EQ(iObserver.iFailed, 1);
    EXPECT_EQ(iObserver.Reports(), 1);
    EXPECT_TRUE(iEngine->Parser().ResponseBody().IsEmpty());
    // The client stopped reading soon after the limit: what the server pushed out beyond it
    // is only what the socket buffers hold.
    EXPECT_LT(server.BytesSent(), 64u * 1024 * 1024);
  }
}

namespace {

// A listener that never accepts, its queue filled so that a further connection attempt hangs.
class TFullListener {
 public:
  TFullListener() {
    iListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(iListener, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(iListener, 0);
    socklen_t len = sizeof(a);
    ::getsockname(iListener, reinterpret_cast<sockaddr*>(&a), &len);
    iPort = ntohs(a.sin_port);
    for (int i = 0; i < 4; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
      iFillers.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ~TFullListener() {
    for (int fd : iFillers) ::close(fd);
    ::close(iListener);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(iPort) + "/automatic/tracks/index.php"; }

 private:
  int iListener = -1;
  uint16_t iPort = 0;
  std::vector<int> iFillers;
};

}  // namespace

TEST_F(WebClientTest, ServersThatStallOrDripRunOutOfTime) {
  // The limits a user waits for at most.
  const CWebClientEngine::TLimits defaults;
  EXPECT_EQ(defaults.iConnectMs, 10000);
  EXPECT_EQ(defaults.iIdleMs, 15000);
  EXPECT_EQ(defaults.iTotalMs, 60000);
  EXPECT_EQ(iEngine->Limits().iTotalMs, 60000);

  // Shortened here, so that every case ends long before any default limit could end it.
  CWebClientEngine::TLimits limits;
  limits.iConnectMs = 400;
  limits.iIdleMs = 400;
  limits.iTotalMs = 1500;
  iEngine->SetLimits(limits);
  std::atomic<bool> dripping{true};
  struct {
    const char* iName;
    std::function<void(TestServer&, int)> iAnswer;
  } cases[] = {
      {"accepts and never answers", [](TestServer& s, int fd) { s.WaitForClientOrStop(fd); }},
      {"stops inside the headers",
       [](TestServer& s, int fd) {
         s.Send(fd, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n");
         s.WaitForClientOrStop(fd);
       }},
      {"drips a byte every 50 ms for ever",
       [&](TestServer& s, int fd) {
         const std::string response = TestServer::Response("HTTP/1.0 200 OK", std::string(100000, 'd'));
         for (size_t i = 0; i < response.size() && dripping && !s.Stopping(); ++i) {
           if (!s.SendSlowly(fd, response.substr(i, 1), 1, 50)) return;
         }
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iName);
    TestServer server([&](TestServer& s, int fd, const std::string&) { c.iAnswer(s, fd); });
    iObserver = CRecorder();
    iObserver.iOnReport = [this] { iStop.Set(); };
    const Clock::time_point start = Clock::now();
    GetAndWait(server.Base() + "index.php");
    EXPECT_EQ(iObserver.iFailed, 1);
    EXPECT_EQ(iObserver.Reports(), 1);
    EXPECT_EQ(iProgress.iShown, iProgress.iClosed);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(iObserver.iAt - start).count(), 10000);
    dripping = false;
  }

  // A connection the server never accepts fails (rather than waiting for a cancel).
  TFullListener listener;
  iObserver = CRecorder();
  iObserver.iOnReport = [this] { iStop.Set(); };
  const Clock::time_point start = Clock::now();
  GetAndWait(listener.Url());
  EXPECT_EQ(iObserver.iFailed, 1);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(iObserver.iAt - start).count(), 10000);
}

// A name server that never answers: the lookup blocks until the test lets it go.
std::mutex gLookupMutex;
std::condition_variable gLookupRelease;
bool gLookupReleased = false;
std::atomic<int> gLookups{0};

bool NeverAnsweringLookup(const char*, TPwInetAddress&) {
  ++gLookups;
  std::unique_lock<std::mutex> lock(gLookupMutex);
  gLookupRelease.wait_for(lock, std::chrono::seconds(60), [] { return gLookupReleased; });
  return false;
}

TEST_F(WebClientTest, ANameServerThatNeverAnswersRunsOutOfTheConnectTime) {
  struct TRestore {
    ~TRestore() {
      {
        std::lock_guard<std::mutex> lock(gLookupMutex);
        gLookupReleased = true;
      }
      gLookupRelease.notify_all();
      PwSetHostLookupForTests(nullptr);
    }
  } restore;
  PwSetHostLookupForTests(&NeverAnsweringLookup);
  CWebClientEngine::TLimits limits;
  limits.iConnectMs = 400;
  limits.iIdleMs = 5000;
  limits.iTotalMs = 20000;
  iEngine->SetLimits(limits);

  // Given up after the connect limit, with the failure of an unreachable server.
  const Clock::time_point start = Clock::now();
  GetAndWait("http://tracks.example.com/automatic/tracks/index.php");
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(iObserver.iAt - start).count();
  EXPECT_EQ(iObserver.iFailed, 1);
  EXPECT_EQ(iObserver.Reports(), 1);
  EXPECT_GE(took, 350);
  EXPECT_LT(took, 5000);
  EXPECT_EQ(iProgress.iShown, iProgress.iClosed);

  // A cancel during the lookup ends it at once, as a cancel while connecting does.
  iObserver = CRecorder();
  iObserver.iOnReport = [this] { iStop.Set(); };
  limits.iConnectMs = 20000;
  iEngine->SetLimits(limits);
  const int before = gLookups.load();
  ASSERT_EQ(iEngine->Get(Wide("http://tracks.example.com/index.php"), u"Waiting...", &iObserver), 1);
  std::thread canceller([&] {
    while (gLookups.load() == before) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    iHost.Post([&] { iProgress.iObserver->Cancel(); });
  });
  ASSERT_TRUE(RunUntilReported(10000));
  canceller.join();
  EXPECT_EQ(iObserver.iCancelled, 1);
  EXPECT_EQ(iObserver.Reports(), 1);

  // A dotted address still needs no lookup at all.
  TestServer server([](TestServer& s, int fd, const std::string&) {
    s.Send(fd, TestServer::Response("HTTP/1.0 200 OK", "direct"));
  });
  iObserver = CRecorder();
  iObserver.iOnReport = [this] { iStop.Set(); };
  const int lookups = gLookups.load();
  ASSERT_EQ(iEngine->Get(Wide(server.Base() + "index.php"), u"Again...", &iObserver), 1);
  ASSERT_TRUE(RunUntilReported());
  EXPECT_EQ(iObserver.iCompleted, 1);
  EXPECT_EQ(gLookups.load(), lookups);
}

TEST_F(WebClientTest, TheBodyIsWhatContentLengthAnnounces) {
  struct {
    const char* iName;
    std::string iHead;
    std::string iBody;
    bool iKeepOpen;  // the server keeps the connection open after its answer
    const char* iDelivered;  // null: the request fails
  } cases[] = {
      {"exact", "Content-Length: 5\r\n", "hello", false, "hello"},
      {"exact, the server keeps the connection", "Content-Length: 5\r\n", "hello", true, "hello"},
      {"any case and spaces", "content-LENGTH:   5  \r\n", "hello", false, "hello"},
      {"zero", "Content-Length: 0\r\n", "", true, ""},
      {"a longer body is cut at the length", "Content-Length: 5\r\n", "hello" + std::string(3 << 20, '\0'), true,
       "hello"},
      {"the same length twice", "Content-Length: 5\r\nContent-Length: 5\r\n", "hello", false, "hello"},
      {"shorter than announced", "Content-Length: 10\r\n", "hello", false, nullptr},
      {"negative", "Content-Length: -1\r\n", "hello", true, nullptr},
      {"twenty digits", "Content-Length: 18446744073709551621\r\n", "hello", true, nullptr},
      {"over the cap", "Content-Length: 4194305\r\n", std::string(1 << 20, 'x'), true, nullptr},
      {"not a number", "Content-Length: 5x\r\n", "hello", false, nullptr},
      {"empty", "Content-Length:\r\n", "hello", false, nullptr},
      {"two that differ", "Content-Length: 5\r\nContent-Length: 6\r\n", "hello!", false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iName);
    TestServer server([&](TestServer& s, int fd, const std::string&) {
      if (!s.Send(fd, "HTTP/1.0 200 OK\r\n" + c.iHead + "\r\n")) return;
      if (!s.Send(fd, c.iBody)) return;
      if (c.iKeepOpen) s.WaitForClientOrStop(fd);
    });
    iObserver = CRecorder();
    iObserver.iOnReport = [this] { iStop.Set(); };
    // Nothing here may wait for a limit: a complete answer ends the request, a refused length
    // ends it at once.
    GetAndWait(server.Base() + "index.php");
    EXPECT_EQ(iObserver.Reports(), 1);
    if (c.iDelivered) {
      EXPECT_EQ(iObserver.iCompleted, 1);
      EXPECT_EQ(iObserver.iBody, c.iDelivered);
    } else {
      EXPECT_EQ(iObserver.iFailed, 1);
    }
  }
}

TEST_F(WebClientTest, RequestsAreRefusedWithoutConnectionOrWhileOneRuns) {
  TestServer server([](TestServer& s, int fd, const std::string&) { s.WaitForClientOrStop(fd); });
  const CPwString url = Wide(server.Base() + "index.php");
  EXPECT_EQ(iEngine->Get(url, u"x", &iObserver), 0);  // no connection yet
  EXPECT_EQ(iProgress.iShown, 0);

  iEngine->OpenConnection();
  ASSERT_EQ(iEngine->Get(url, u"x", &iObserver), 1);
  EXPECT_EQ(iEngine->Get(url, u"x", &iObserver), 0);
  EXPECT_EQ(iEngine->Post(url, u"x", &iObserver), 0);
  iEngine->AddFormField(u"ignored", u"while running");
  EXPECT_TRUE(iEngine->Parser().RequestBody().IsEmpty());
  ASSERT_TRUE(server.WaitForRequests(1));

  // Closing the connection ends the request without a report: its observer may be gone.
  const Clock::time_point before = Clock::now();
  iEngine->CloseConnection();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count(), 15000);
  EXPECT_EQ(iEngine->State(), CWebClientEngine::EIdle);
  EXPECT_FALSE(iEngine->IsConnectionOpen());
  EXPECT_EQ(iProgress.iClosed, 1);
  EXPECT_EQ(iEngine->Get(url, u"x", &iObserver), 0);

  // Nothing is delivered later either.
  iHost.Post([this] { iStop.Set(); });
  iScheduler.RunLoop(iStop);
  EXPECT_EQ(iObserver.Reports(), 0);
}

TEST_F(WebClientTest, TheNextRequestMayStartFromTheCompletion) {
  TestServer server([](TestServer& s, int fd, const std::string& aRequest) {
    const bool first = aRequest.find("GET /automatic/tracks/first ") == 0;
    s.Send(fd, TestServer::Response("HTTP/1.0 200 OK", first ? "one" : "two"));
  });
  std::vector<std::string> bodies;
  iObserver.iOnReport = [&] {
    bodies.push_back(iObserver.iBody);
    if (bodies.size() == 1) {
      ASSERT_EQ(iEngine->Get(Wide(server.Base() + "second"), u"2", &iObserver), 1);
    } else {
      iStop.Set();
    }
  };
  iEngine->OpenConnection();
  ASSERT_EQ(iEngine->Get(Wide(server.Base() + "first"), u"1", &iObserver), 1);
  ASSERT_TRUE(RunUntilReported());
  EXPECT_EQ(bodies, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(iObserver.iCompleted, 2);
}

TEST_F(WebClientTest, DestroyingTheEngineEndsAHangingRequest) {
  TestServer server([](TestServer& s, int fd, const std::string&) { s.WaitForClientOrStop(fd); });
  iEngine->OpenConnection();
  ASSERT_EQ(iEngine->Get(Wide(server.Base() + "index.php"), u"x", &iObserver), 1);
  ASSERT_TRUE(server.WaitForRequests(1));
  const Clock::time_point before = Clock::now();
  iEngine.reset();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count(), 15000);
  EXPECT_EQ(iObserver.Reports(), 0);
}

TEST(WebClientHost, SplitHostTakesAnOptionalPort) {
  CPwByteArray name;
  int32_t port = 0;
  ASSERT_TRUE(CWebClientEngine::SplitHost("tracks.example.org", name, port));
  EXPECT_EQ(name.View(), "tracks.example.org");
  EXPECT_EQ(port, 80);
  ASSERT_TRUE(CWebClientEngine::SplitHost("127.0.0.1:65535", name, port));
  EXPECT_EQ(name.View(), "127.0.0.1");
  EXPECT_EQ(port, 65535);
  for (const char* bad : {"", ":80", "h:", "h:0", "h:65536", "h:8o", "h:123456", "h:-1"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(CWebClientEngine::SplitHost(CPwByteArrayC(std::string_view(bad)), name, port));
  }
}

}  // namespace
