#include "platform/socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <mutex>
#include <thread>

namespace {

std::atomic<TPwHostLookup> gLookupForTests{nullptr};

bool SystemLookup(const char* aHost, uint16_t aPort, TPwInetAddress& aOut) {
  addrinfo hints;
  std::memset(&hints, 0, sizeof(hints));
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(aHost, nullptr, &hints, &list) != 0 || !list) return false;
  bool found = false;
  for (addrinfo* a = list; a; a = a->ai_next) {
    if (a->ai_family != AF_INET || !a->ai_addr || a->ai_addrlen < sizeof(sockaddr_in)) continue;
    const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    aOut.iAddress = ntohl(in->sin_addr.s_addr);
    aOut.iPort = aPort;
    found = true;
    break;
  }
  ::freeaddrinfo(list);
  return found;
}

bool Lookup(const char* aHost, uint16_t aPort, TPwInetAddress& aOut) {
  if (const TPwHostLookup lookup = gLookupForTests.load()) {
    if (!lookup(aHost, aOut)) return false;
    aOut.iPort = aPort;
    return true;
  }
  return SystemLookup(aHost, aPort, aOut);
}

// What the lookup thread and the waiting caller share; the last of the two to let go of it
// frees it, so a caller that gave up leaves nothing behind for the thread to write into.
struct TLookupState {
  explicit TLookupState(const char* aHost, uint16_t aPort) : iHost(aHost), iPort(aPort) {
    iDone = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  }
  ~TLookupState() {
    if (iDone >= 0) ::close(iDone);
  }
  const std::string iHost;
  const uint16_t iPort;
  int iDone = -1;  // signalled once iFound and iAddress are written
  std::mutex iMutex;
  bool iFound = false;
  TPwInetAddress iAddress;
};

int64_t NowMs() {
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

void PwSetHostLookupForTests(TPwHostLookup aLookup) { gLookupForTests.store(aLookup); }

TPwResolveResult PwResolveHost(const char* aHost, uint16_t aPort, TPwInetAddress& aOut, PwCancelEvent& aCancel,
                               int32_t aTimeoutMs) {
  if (!aHost || !*aHost) return TPwResolveResult::EFailed;
  // A dotted address needs no resolver.
  in_addr dotted;
  if (::inet_pton(AF_INET, aHost, &dotted) == 1) {
    aOut.iAddress = ntohl(dotted.s_addr);
    aOut.iPort = aPort;
    return TPwResolveResult::EResolved;
  }
  std::shared_ptr<TLookupState> state = std::make_shared<TLookupState>(aHost, aPort);
  if (state->iDone < 0) return TPwResolveResult::EFailed;
  try {
    std::thread([state] {
      TPwInetAddress address;
      const bool found = Lookup(state->iHost.c_str(), state->iPort, address);
      {
        std::lock_guard<std::mutex> guard(state->iMutex);
        state->iAddress = address;
        state->iFound = found;
      }
      const uint64_t one = 1;
      ssize_t r;
      do {
        r = ::write(state->iDone, &one, sizeof(one));
      } while (r < 0 && errno == EINTR);
    }).detach();
  } catch (const std::system_error&) {
    return TPwResolveResult::EFailed;
  }
  const int64_t deadline = aTimeoutMs < 0 ? -1 : NowMs() + aTimeoutMs;
  for (;;) {
    pollfd fds[2] = {{state->iDone, POLLIN, 0}, {aCancel.Descriptor(), POLLIN, 0}};
    const nfds_t count = aCancel.Descriptor() >= 0 ? 2 : 1;
    int wait = -1;
    if (deadline >= 0) wait = static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
    const int ready = ::poll(fds, count, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return TPwResolveResult::EFailed;
    }
    if (ready == 0) return TPwResolveResult::ETimedOut;
    if (count == 2 && (fds[1].revents & POLLIN) && aCancel.TryConsume()) return TPwResolveResult::ECancelled;
    if (fds[0].revents & POLLIN) {
      uint64_t value = 0;
      if (::read(state->iDone, &value, sizeof(value)) != static_cast<ssize_t>(sizeof(value))) continue;
      std::lock_guard<std::mutex> guard(state->iMutex);
      if (!state->iFound) return TPwResolveResult::EFailed;
      aOut = state->iAddress;
      return TPwResolveResult::EResolved;
    }
  }
}

PwCancelEvent::PwCancelEvent() { iFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

PwCancelEvent::~PwCancelEvent() {
  if (iFd >= 0) ::close(iFd);
}

void PwCancelEvent::Set() {
  if (iFd < 0) return;
  const uint64_t one = 1;
  ssize_t r;
  do {
    r = ::write(iFd, &one, sizeof(one));
  } while (r < 0 && errno == EINTR);
}

bool PwCancelEvent::TryConsume() {
  if (iFd < 0) return false;
  uint64_t value = 0;
  ssize_t r;
  do {
    r = ::read(iFd, &value, sizeof(value));
  } while (r < 0 && errno == EINTR);
  return r == static_cast<ssize_t>(sizeof(value)) && value != 0;
}

PwSocket::~PwSocket() { Close(); }

bool PwSocket::Open() {
  Close();
  iFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  return iFd >= 0;
}

void PwSocket::Close() {
  if (iFd < 0) return;
  // Linux releases the descriptor even when close is interrupted; never retry.
  ::close(iFd);
  iFd = -1;
}

PwSocket::TConnectResult PwSocket::Connect(const TPwInetAddress& aAddress, PwCancelEvent& aCancel,
                                           int32_t aTimeoutMs) {
  if (iFd < 0) return EConnectFailed;
  sockaddr_in to;
  std::memset(&to, 0, sizeof(to));
  to.sin_family = AF_INET;
  to.sin_port = htons(aAddress.iPort);
  to.sin_addr.s_addr = htonl(aAddress.iAddress);
  int r;
  do {
    r = ::connect(iFd, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
  } while (r < 0 && errno == EINTR);
  if (r == 0) return EConnected;
  if (errno != EINPROGRESS && errno != EALREADY) return EConnectFailed;

  // The connection completes in the background; writable means it ended one way or the other.
  const uint32_t events = Wait(aCancel, true, aTimeoutMs);
  if (events & ECancelled) return EConnectCancelled;
  if (!(events & (EWritable | EHangUp))) return EConnectFailed;
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(iFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return EConnectFailed;
  return EConnected;
}

uint32_t PwSocket::Wait(PwCancelEvent& aCancel, bool aWantWrite, int32_t aTimeoutMs) {
  pollfd fds[2];
  fds[0].fd = iFd;
  fds[0].events = static_cast<short>(POLLIN | (aWantWrite ? POLLOUT : 0));
  fds[0].revents = 0;
  fds[1].fd = aCancel.Descriptor();
  fds[1].events = POLLIN;
  fds[1].revents = 0;
  const nfds_t count = aCancel.IsValid() ? 2 : 1;
  int r;
  do {
    r = ::poll(fds, count, aTimeoutMs < 0 ? -1 : aTimeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return 0;
  if (r == 0) return ETimeout;

  uint32_t result = 0;
  // Cancel wins: a request the user gave up must end even while the server keeps sending.
  if (count == 2 && (fds[1].revents & POLLIN) && aCancel.TryConsume()) result |= ECancelled;
  if (fds[0].revents & POLLIN) result |= EReadable;
  if (fds[0].revents & POLLOUT) result |= EWritable;
  if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) result |= EHangUp;
  return result;
}

int32_t PwSocket::Send(const uint8_t* aBytes, int32_t aLength) {
  if (iFd < 0 || aLength < 0) return -1;
  if (aLength == 0) return 0;
  ssize_t r;
  do {
    // MSG_NOSIGNAL: a peer that closed early must fail the request, not end the process.
    r = ::send(iFd, aBytes, static_cast<size_t>(aLength), MSG_NOSIGNAL);
  } while (r < 0 && errno == EINTR);
  if (r >= 0) return static_cast<int32_t>(r);
  if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  return -1;
}

int32_t PwSocket::Receive(uint8_t* aBuffer, int32_t aMax) {
  if (iFd < 0 || aMax <= 0) return KFailed;
  ssize_t r;
  do {
    r = ::recv(iFd, aBuffer, static_cast<size_t>(aMax), 0);
  } while (r < 0 && errno == EINTR);
  if (r > 0) return static_cast<int32_t>(r);
  if (r == 0) return KClosed;
  if (errno == EAGAIN || errno == EWOULDBLOCK) return KWouldBlock;
  return KFailed;
}
