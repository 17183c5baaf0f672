// TCP client sockets for the web client: IPv4 name resolution, a non-blocking stream socket
// whose waits (connect, send, receive) all watch a cancel event too, so that a request can be
// ended from another thread whatever the server does.
#pragma once

#include <cstdint>

// An IPv4 address and port, both in host byte order.
struct TPwInetAddress {
  uint32_t iAddress = 0;
  uint16_t iPort = 0;
};

class PwCancelEvent;

// Resolve's results.
enum class TPwResolveResult : int32_t { EResolved, EFailed, ECancelled, ETimedOut };

// Resolves a host name or dotted address to its first IPv4 address (getaddrinfo; EFailed when
// the name does not resolve or has no IPv4 address), within a time limit (negative: none),
// watching aCancel: a resolver that never answers (an unreachable name server) cannot hold the
// caller longer than that. The lookup runs on a thread of its own, which is left to finish by
// itself when the caller stops waiting.
TPwResolveResult PwResolveHost(const char* aHost, uint16_t aPort, TPwInetAddress& aOut, PwCancelEvent& aCancel,
                               int32_t aTimeoutMs);

// Replaces the system's lookup of names for tests (null restores it): a name server that never
// answers cannot be had on demand.
using TPwHostLookup = bool (*)(const char* aHost, TPwInetAddress& aOut);
void PwSetHostLookupForTests(TPwHostLookup aLookup);

// Auto-reset event that a socket wait can watch (an eventfd): one Set ends the current or next
// wait of any socket given this event, which consumes it.
class PwCancelEvent {
 public:
  PwCancelEvent();
  ~PwCancelEvent();
  PwCancelEvent(const PwCancelEvent&) = delete;
  PwCancelEvent& operator=(const PwCancelEvent&) = delete;

  // False when the descriptor could not be created (Set and waits then do nothing useful).
  bool IsValid() const { return iFd >= 0; }
  // Safe from any thread.
  void Set();
  // Consumes a pending signal; true if there was one. Never blocks.
  bool TryConsume();
  int Descriptor() const { return iFd; }

 private:
  int iFd = -1;
};

class PwSocket {
 public:
  // Bits of Wait's result.
  enum : uint32_t {
    EReadable = 1u,   // bytes (or the end of the stream) can be read
    EWritable = 2u,   // a send would not block (only asked for with aWantWrite)
    EHangUp = 4u,     // the peer closed or the connection failed; read to learn which
    ECancelled = 8u,  // the cancel event was set (and is consumed)
    ETimeout = 16u,   // the time limit passed with nothing else
  };
  // Connect's results.
  enum TConnectResult : int32_t { EConnected = 0, EConnectFailed = 1, EConnectCancelled = 2 };
  // Receive's results besides a positive count.
  static constexpr int32_t KClosed = 0;       // the peer ended the stream normally
  static constexpr int32_t KWouldBlock = -1;  // nothing there yet
  static constexpr int32_t KFailed = -2;      // reset or other error

  PwSocket() = default;
  ~PwSocket();
  PwSocket(const PwSocket&) = delete;
  PwSocket& operator=(const PwSocket&) = delete;

  // Creates a non-blocking IPv4 stream socket (the previous one is closed). False on failure.
  bool Open();
  bool IsOpen() const { return iFd >= 0; }
  void Close();

  // Connects, waiting up to aTimeoutMs (negative: no limit) while watching aCancel.
  TConnectResult Connect(const TPwInetAddress& aAddress, PwCancelEvent& aCancel, int32_t aTimeoutMs = -1);
  // Waits for readable data or a hang-up (and, with aWantWrite, room to send), the cancel
  // event, or the time limit (negative: none). 0 when the wait itself failed.
  uint32_t Wait(PwCancelEvent& aCancel, bool aWantWrite, int32_t aTimeoutMs = -1);
  // Sends what the socket takes now: the count (0 when it would block), or -1 on failure. A
  // closed peer is a failure, never a signal.
  int32_t Send(const uint8_t* aBytes, int32_t aLength);
  // Receives at most aMax bytes: the count, KClosed, KWouldBlock or KFailed.
  int32_t Receive(uint8_t* aBuffer, int32_t aMax);

  int Descriptor() const { return iFd; }

 private:
  int iFd = -1;
};
