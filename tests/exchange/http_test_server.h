// A small HTTP server on 127.0.0.1 for the web client tests: each connection's request (request
// line, headers and as many body bytes as Content-Length says) is read and recorded, then a
// handler chosen by the test writes whatever answer the case needs, from a polite response
// to endless junk.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pwhttptest {

class TestServer {
 public:
  // Writes the answer on aFd; aRequest is the request as received.
  using Handler = std::function<void(TestServer& aServer, int aFd, const std::string& aRequest)>;

  explicit TestServer(Handler aHandler) : iHandler(std::move(aHandler)) {
    iListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(iListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (::bind(iListen, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || ::listen(iListen, 8) != 0) std::abort();
    socklen_t len = sizeof(a);
    ::getsockname(iListen, reinterpret_cast<sockaddr*>(&a), &len);
    iPort = ntohs(a.sin_port);
    if (::pipe2(iStopPipe, O_CLOEXEC) != 0) std::abort();
    iThread = std::thread([this] { Serve(); });
  }

  ~TestServer() {
    iStopping = true;
    char c = 1;
    (void)!::write(iStopPipe[1], &c, 1);
    iThread.join();
    ::close(iListen);
    ::close(iStopPipe[0]);
    ::close(iStopPipe[1]);
  }

  uint16_t Port() const { return iPort; }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(iPort) + "/automatic/tracks/"; }

  // Requests received so far, in order.
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(iMutex);
    return iRequests;
  }
  // Waits until aCount requests have been read completely (false after aTimeoutMs).
  bool WaitForRequests(size_t aCount, int aTimeoutMs = 10000) {
    std::unique_lock<std::mutex> lock(iMutex);
    return iCond.wait_for(lock, std::chrono::milliseconds(aTimeoutMs), [&] { return iRequests.size() >= aCount; });
  }
  // How many answer bytes the handlers got rid of before the client went away.
  uint64_t BytesSent() const { return iBytesSent.load(); }

  // Handler helpers. Send writes everything (false once the client is gone).
  bool Send(int aFd, const std::string& aBytes) {
    size_t done = 0;
    while (done < aBytes.size()) {
      const ssize_t n = ::send(aFd, aBytes.data() + done, aBytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
      iBytesSent += static_cast<uint64_t>(n);
    }
    return true;
  }
  // Sends in pieces of aPiece bytes with a pause between, so that the client reads them
  // separately.
  bool SendSlowly(int aFd, const std::string& aBytes, size_t aPiece, int aPauseMs) {
    int one = 1;
    ::setsockopt(aFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    for (size_t i = 0; i < aBytes.size(); i += aPiece) {
      if (!Send(aFd, aBytes.substr(i, aPiece))) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(aPauseMs));
    }
    return true;
  }
  // Blocks until the client closes or the server stops.
  void WaitForClientOrStop(int aFd) {
    pollfd fds[2] = {{aFd, POLLIN, 0}, {iStopPipe[0], POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, -1) < 0) return;
      if (fds[1].revents) return;
      char buf[256];
      if (fds[0].revents && ::recv(aFd, buf, sizeof(buf), 0) <= 0) return;
    }
  }
  bool Stopping() const { return iStopping.load(); }

  // A whole response: status line, the given headers, the empty line, the body.
  static std::string Response(const std::string& aStatusLine, const std::string& aBody,
                              const std::string& aHeaders = "Content-Type: text/plain\r\n") {
    return aStatusLine + "\r\n" + aHeaders + "\r\n" + aBody;
  }

 private:
  void Serve() {
    pollfd fds[2] = {{iListen, POLLIN, 0}, {iStopPipe[0], POLLIN, 0}};
    while (!iStopping) {
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) break;
      if (!(fds[0].revents & POLLIN)) continue;
      const int fd = ::accept4(iListen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string request;
      if (ReadRequest(fd, request)) {
        {
          std::lock_guard<std::mutex> lock(iMutex);
          iRequests.push_back(request);
        }
        iCond.notify_all();
        iHandler(*this, fd, request);
      }
      ::close(fd);
    }
  }

  // Reads the head and Content-Length bytes of body; false when the client left first.
  bool ReadRequest(int aFd, std::string& aRequest) {
    size_t need = std::string::npos;
    char buf[4096];
    for (;;) {
      if (need == std::string::npos) {
        const size_t end = aRequest.find("\r\n\r\n");
        if (end != std::string::npos) {
          size_t length = 0;
          const size_t at = aRequest.find("Content-Length: ");
          if (at != std::string::npos && at < end) length = std::strtoul(aRequest.c_str() + at + 16, nullptr, 10);
          need = end + 4 + length;
        }
      }
      if (need != std::string::npos && aRequest.size() >= need) return true;
      pollfd fds[2] = {{aFd, POLLIN, 0}, {iStopPipe[0], POLLIN, 0}};
      if (::poll(fds, 2, 10000) <= 0 || fds[1].revents) return false;
      const ssize_t n = ::recv(aFd, buf, sizeof(buf), 0);
      if (n <= 0) return false;
      aRequest.append(buf, static_cast<size_t>(n));
      // A server that takes its time over reading lets the client's sends run partial.
      if (iSlowReader) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

 public:
  // Reads the request in small sips (set before the request arrives).
  std::atomic<bool> iSlowReader{false};

 private:
  Handler iHandler;
  int iListen = -1;
  int iStopPipe[2] = {-1, -1};
  uint16_t iPort = 0;
  std::atomic<bool> iStopping{false};
  std::atomic<uint64_t> iBytesSent{0};
  std::mutex iMutex;
  std::condition_variable iCond;
  std::vector<std::string> iRequests;
  std::thread iThread;
};

// A port on 127.0.0.1 that nothing listens on (bound, then released).
inline uint16_t ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

}  // namespace pwhttptest
