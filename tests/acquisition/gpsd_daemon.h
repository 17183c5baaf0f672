// A real gpsd daemon for tests and benchmarks, serving a pseudo-terminal receiver on a free
// TCP port of 127.0.0.1. The daemon is killed and reaped when the object goes.
#pragma once

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace pwtest {

inline const char* GpsdBinary() {
  for (const char* path : {"/usr/sbin/gpsd", "/usr/bin/gpsd", "/usr/local/sbin/gpsd"})
    if (::access(path, X_OK) == 0) return path;
  return nullptr;
}

// A TCP port nobody listens on at the moment.
inline int FreeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

class TGpsdDaemon {
 public:
  TGpsdDaemon(const std::string& aDevice, int aPort) : iPort(aPort) { Start(aDevice); }
  ~TGpsdDaemon() { Kill(); }
  TGpsdDaemon(const TGpsdDaemon&) = delete;
  TGpsdDaemon& operator=(const TGpsdDaemon&) = delete;

  bool Start(const std::string& aDevice) {
    const char* binary = GpsdBinary();
    if (!binary || iPid > 0) return false;
    const std::string port = std::to_string(iPort);
    iPid = ::fork();
    if (iPid == 0) {
      // -b: never reconfigure the receiver; -n: read it without waiting for a client.
      ::execl(binary, "gpsd", "-N", "-n", "-b", "-S", port.c_str(), aDevice.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return iPid > 0 && WaitListening(5000);
  }
  void Kill() {
    if (iPid <= 0) return;
    ::kill(iPid, SIGKILL);
    ::waitpid(iPid, nullptr, 0);
    iPid = -1;
  }
  bool Running() const { return iPid > 0; }
  int Port() const { return iPort; }

 private:
  bool WaitListening(int aTimeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(iPort));
      const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      ::close(fd);
      if (up) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  int iPort = 0;
  pid_t iPid = -1;
};

}  // namespace pwtest
