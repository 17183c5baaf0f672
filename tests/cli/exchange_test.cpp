// The track exchange from the command line against a track server on 127.0.0.1: browsing the
// index, installing a track (and not replacing one unasked), uploading, and a server that is
// not there.
#include <filesystem>

#include "cli/cli_rig.h"
#include "exchange/http_test_server.h"

namespace pwclitest {
namespace {

using pwhttptest::TestServer;

// The file of a track made by the program itself, with one start/finish line.
std::string TrackFile() {
  Cli maker;
  maker.Ok({"track", "create", "Ring"});
  maker.Ok({"track", "add-trap", "Ring", "--type", "start-finish", "--lat", "48.1", "--lon", "11.2", "--bearing", "45"});
  return pwtest::ReadFileBytes(maker.Documents() + "/Pacewright/Tracks/Ring-track.bin");
}

class CliExchange : public ::testing::Test {
 protected:
  CliExchange()
      : iTrack(TrackFile()),
        iServer([this](TestServer& aServer, int aFd, const std::string& aRequest) { Answer(aServer, aFd, aRequest); }) {
    iCli.SetEnv("PACEWRIGHT_TRACK_SERVER", iServer.Base());
  }

  void Answer(TestServer& aServer, int aFd, const std::string& aRequest) {
    const std::string ok = "HTTP/1.0 200 OK";
    const std::string padding(3 << 20, '\0');
    if (aRequest.rfind("GET /automatic/tracks/index.php ", 0) == 0) {
      aServer.Send(aFd, TestServer::Response(ok, iIndex));
    } else if (aRequest.rfind("GET /automatic/tracks/de/ring.bin ", 0) == 0) {
      aServer.Send(aFd, TestServer::Response(ok, iTrack, "Content-Type: application/octet-stream\r\n"));
    } else if (aRequest.rfind("GET /automatic/tracks/padded.bin ", 0) == 0) {
      // The length tells the track; the zeros after it are not part of the answer.
      aServer.Send(aFd, TestServer::Response(ok, iTrack + padding,
                                             "Content-Length: " + std::to_string(iTrack.size()) + "\r\n"));
    } else if (aRequest.rfind("GET /automatic/tracks/unannounced.bin ", 0) == 0) {
      aServer.Send(aFd, TestServer::Response(ok, iTrack + padding));
    } else if (aRequest.rfind("GET /automatic/tracks/short.bin ", 0) == 0) {
      aServer.Send(aFd, TestServer::Response(ok, iTrack.substr(0, 12),
                                             "Content-Length: " + std::to_string(iTrack.size()) + "\r\n"));
    } else if (aRequest.rfind("POST /automatic/tracks/send.php ", 0) == 0) {
      aServer.Send(aFd, TestServer::Response(ok, iUploadReply));
    } else {
      aServer.Send(aFd, TestServer::Response("HTTP/1.0 404 Not Found", "no"));
    }
  }

  std::string iTrack;
  std::string iIndex =
      "de/ring.bin;Germany/Ring;2.1 km\r\n"
      "de/oval.bin;Germany/Oval;1.0 km\r\n"
      "fr/piste.bin;France/Piste;3.3 km\r\n";
  std::string iUploadReply = "Success.\r\n";
  Cli iCli;
  TestServer iServer;
};

TEST_F(CliExchange, TheIndexIsBrowsedByGroupAndATrackIsInstalled) {
  const Json groups = iCli.OkJson({"download-tracks"});
  ASSERT_EQ(groups.Size(), 2u);
  EXPECT_EQ(groups[0]["group"].String(), "Germany");
  EXPECT_EQ(groups[0]["tracks"].Number(), 2);
  EXPECT_EQ(groups[1]["group"].String(), "France");
  const Json germany = iCli.OkJson({"download-tracks", "--group", "Germany"});
  ASSERT_EQ(germany.Size(), 2u);
  EXPECT_EQ(germany[0]["file"].String(), "de/ring.bin");
  EXPECT_EQ(germany[0]["name"].String(), "Ring");
  EXPECT_EQ(germany[0]["detail"].String(), "2.1 km");
  const RunResult table = iCli.Ok({"download-tracks", "--group", "Germany"});
  EXPECT_NE(table.iOut.find("Oval  1.0 km  de/oval.bin"), std::string::npos) << table.iOut;
  RunResult r = iCli.Run({"download-tracks", "--group", "Spain"});
  EXPECT_EQ(r.iCode, 1);
  EXPECT_EQ(r.iErr, "pacewright-cli: the track index has no group 'Spain'\n");

  EXPECT_EQ(iCli.Ok({"download-track", "de/ring.bin"}).Line(), "Ring");
  const Json installed = iCli.OkJson({"track", "show", "Ring"});
  ASSERT_EQ(installed["traps"].Size(), 1u);
  EXPECT_NEAR(installed["traps"][0]["lat"].Number(), 48.1, 1e-6);
  EXPECT_EQ(installed["folder"].String(), iCli.Documents() + "/");

  // A second download asks before replacing the track; only --overwrite says yes.
  iCli.Ok({"track", "lock", "Ring"});
  r = iCli.Run({"download-track", "de/ring.bin"});
  EXPECT_EQ(r.iCode, 1) << r;
  EXPECT_EQ(r.iErr, "pacewright-cli: a track of that name exists already; --overwrite replaces it\n");
  EXPECT_TRUE(iCli.OkJson({"track", "show", "Ring"})["locked"].Bool());
  iCli.Ok({"download-track", "de/ring.bin", "--overwrite"});
  EXPECT_FALSE(iCli.OkJson({"track", "show", "Ring"})["locked"].Bool());

  r = iCli.Run({"download-track", "de/none.bin"});
  EXPECT_EQ(r.iCode, 1);
  EXPECT_EQ(r.iErr, "pacewright-cli: the track index has no track file 'de/none.bin'\n");
  // In the index but not on the server.
  r = iCli.Run({"download-track", "de/oval.bin"});
  EXPECT_EQ(r.iCode, 1) << r;
  EXPECT_EQ(r.iErr, "pacewright-cli: Could not download 'Oval'.\n");
  EXPECT_EQ(iCli.OkJson({"tracks"}).Size(), 1u);
}

TEST_F(CliExchange, ATrackIsUploadedWithTheAddressAndDescription) {
  iCli.Ok({"track", "create", "Home"});
  iCli.Ok({"upload-track", "home", "--email", "ann@example.org", "--description", "My local ring"});
  const std::vector<std::string> requests = iServer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("POST /automatic/tracks/send.php ", 0), 0u);
  EXPECT_NE(requests[0].find("ann@example.org"), std::string::npos);
  EXPECT_NE(requests[0].find("My local ring"), std::string::npos);
  EXPECT_NE(requests[0].find("name=\"attachment\""), std::string::npos);

  iUploadReply = "Sorry.\r\n";
  const RunResult refused = iCli.Run({"upload-track", "Home", "--email", "a@b", "--description", "d"});
  EXPECT_EQ(refused.iCode, 1);
  EXPECT_EQ(refused.iErr, "pacewright-cli: Could not upload the track!\n");
  const RunResult unknown = iCli.Run({"upload-track", "Away", "--email", "a@b", "--description", "d"});
  EXPECT_EQ(unknown.iCode, 1);
  EXPECT_EQ(unknown.iErr, "pacewright-cli: no track named 'Away'\n");
  EXPECT_EQ(iCli.Run({"upload-track", "Home", "--email", "a@b"}).iCode, 2);
}

// No byte that a terminal acts on: ESC, the other C0 controls, DEL and C1 controls in UTF-8.
bool HasTerminalControls(const std::string& aText) {
  for (size_t i = 0; i < aText.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(aText[i]);
    if ((c < 0x20 && c != '\n') || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < aText.size() && static_cast<unsigned char>(aText[i + 1]) < 0xA0) return true;
    if (c >= 0x80 && c < 0xC0 && (i == 0 || static_cast<unsigned char>(aText[i - 1]) < 0x80)) return true;
  }
  return false;
}

TEST_F(CliExchange, ServerTextCannotControlTheTerminal) {
  iIndex =
      "de/ring.bin;Germ\x1b[2Jany/Ri\x1b[5m\x07ng;2.1\tkm\x1b[0m\r\n"
      "x\xc2\x9b" "31m.bin;Bad\xc2\x9b" "31m/Red\xe2\x80\xae" "evil;\x7f" "detail\xc2\x85" "end\r\n"
      "raw\x9b.bin;Raw/Bytes\x9b;\x9b" "1m\r\n";
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"download-tracks"}, {"download-tracks", "--json"},
        {"download-tracks", "--group", "Germ[2Jany"}, {"download-tracks", "--group", "Germ[2Jany", "--json"},
        {"download-tracks", "--group", "Bad31m", "--json"}, {"download-tracks", "--group", "Bad31m"},
        {"download-tracks", "--group", "Raw"}}) {
    const RunResult r = iCli.Ok(command);
    EXPECT_FALSE(HasTerminalControls(r.iOut)) << r;
    EXPECT_FALSE(HasTerminalControls(r.iErr)) << r;
  }
  const Json germany = iCli.OkJson({"download-tracks", "--group", "Germ[2Jany"});
  ASSERT_EQ(germany.Size(), 1u);
  EXPECT_EQ(germany[0]["name"].String(), "Ri[5mng");
  EXPECT_EQ(germany[0]["detail"].String(), "2.1 km[0m");
  const Json bad = iCli.OkJson({"download-tracks", "--group", "Bad31m"});
  ASSERT_EQ(bad.Size(), 1u);
  EXPECT_EQ(bad[0]["name"].String(), "Redevil");
  EXPECT_EQ(bad[0]["detail"].String(), "detail end");
  EXPECT_EQ(bad[0]["file"].String(), "x\\xC2\\x9B31m.bin");  // shown escaped, as it is not text
  // The track installs under its cleaned name.
  EXPECT_EQ(iCli.Ok({"download-track", "de/ring.bin"}).Line(), "Ri[5mng");
  EXPECT_EQ(iCli.OkJson({"tracks"})[0]["name"].String(), "Ri[5mng");
}

TEST_F(CliExchange, OnlyTheAnnouncedBodyIsATrack) {
  iIndex =
      "padded.bin;Padding/Padded;announced\r\n"
      "unannounced.bin;Padding/Unannounced;until close\r\n"
      "short.bin;Padding/Short;cut off\r\n";
  // The zeros after the announced length never reach the track file.
  EXPECT_EQ(iCli.Ok({"download-track", "padded.bin"}).Line(), "Padded");
  EXPECT_EQ(pwtest::ReadFileBytes(iCli.Documents() + "/Pacewright/Tracks/Padded-track.bin"), iTrack);
  // Without a length the zeros are part of the answer, which is then no track file.
  RunResult r = iCli.Run({"download-track", "unannounced.bin"});
  EXPECT_EQ(r.iCode, 1) << r;
  EXPECT_EQ(r.iErr, "pacewright-cli: Could not save the track, error -5.\n");
  // A body shorter than announced is a failed download.
  r = iCli.Run({"download-track", "short.bin"});
  EXPECT_EQ(r.iCode, 1) << r;
  EXPECT_EQ(r.iErr, "pacewright-cli: Could not download 'Short'.\n");
  const Json tracks = iCli.OkJson({"tracks"});
  ASSERT_EQ(tracks.Size(), 1u);
  EXPECT_EQ(tracks[0]["name"].String(), "Padded");
}

TEST(CliExchangeOffline, AServerThatIsNotThereEndsWithTheFlowsMessage) {
  Cli cli;
  cli.SetEnv("PACEWRIGHT_TRACK_SERVER",
             "http://127.0.0.1:" + std::to_string(pwhttptest::ClosedPort()) + "/automatic/tracks/");
  const RunResult r = cli.Run({"download-tracks"});
  EXPECT_EQ(r.iCode, 1) << r;
  EXPECT_EQ(r.iErr, "pacewright-cli: Could not download tracks index.\n");
}

}  // namespace
}  // namespace pwclitest
