// The club track server (tools/track_server.py) on a free port of 127.0.0.1 for the tests
// that exchange tracks with it; they skip when python3 is not there.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace pwhttptest {

inline bool HavePython() {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && ::access((dir + "/python3").c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

// tools/track_server.py on a free port of 127.0.0.1, stopped with the object.
class ClubTrackServer {
 public:
  ClubTrackServer(const std::string& aTracks, const std::string& aInbox) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    const std::string script = std::string(PW_SOURCE_DATA_DIR) + "/../tools/track_server.py";
    iPid = ::fork();
    if (iPid == 0) {
      ::dup2(out[1], 1);
      ::execlp("python3", "python3", script.c_str(), "--tracks", aTracks.c_str(), "--inbox", aInbox.c_str(),
               "--host", "127.0.0.1", "--port", "0", "--quiet", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    // The first line is the base url served.
    char c;
    pollfd fd{out[0], POLLIN, 0};
    while (::poll(&fd, 1, 20000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') iBase += c;
    ::close(out[0]);
  }
  ~ClubTrackServer() {
    if (iPid > 0) {
      ::kill(iPid, SIGTERM);
      ::waitpid(iPid, nullptr, 0);
    }
  }
  const std::string& Base() const { return iBase; }

 private:
  pid_t iPid = -1;
  std::string iBase;
};

}  // namespace pwhttptest
