#include "exchange/web_client_engine.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/socket.h"

// What the application thread and the request's thread share. The parser and the owner are
// reached only under the lock, and become null when the engine lets go of the thread.
struct CWebClientEngine::TRequest {
  PwLock iLock;
  CHttpParser* iParser = nullptr;
  CActive* iOwner = nullptr;
  int32_t iState = ERunning;
  PwCancelEvent iCancel;
  TLimits iLimits;
};

CWebClientEngine::CWebClientEngine(MActiveSchedulerObserver* aScheduler, MProgressDisplay* aProgress)
    : CActive(aScheduler), iProgress(aProgress), iParser(std::make_unique<CHttpParser>()) {}

CWebClientEngine::~CWebClientEngine() {
  CancelRequest();
  ReleaseWorker(true);
  iRequest.reset();
  iConnectionOpen = 0;
}

int32_t CWebClientEngine::OpenConnection() {
  iConnectionOpen = 1;
  return 1;
}

void CWebClientEngine::CloseConnection() {
  if (!iConnectionOpen) return;
  if (iRequest) {
    // The observer may be going away with its view: withdraw the report instead of
    // delivering a cancellation later.
    ReleaseWorker(true);
    CancelRequest();
    iRequest.reset();
    iObserver = nullptr;
    iParser->Reset();
    HideProgress();
  }
  iConnectionOpen = 0;
}

void CWebClientEngine::ResetForm() {
  if (iRequest) return;
  iParser->Reset();
  iParser->ResetForm();
}

void CWebClientEngine::AddFormField(CPwStringC aName, CPwStringC aValue) {
  if (iRequest) return;
  iParser->AddFormField(aName, aValue);
}

void CWebClientEngine::AddFormFile(CPwStringC aName, CPwStringC aFileName, CPwByteArrayC aBytes) {
  if (iRequest) return;
  iParser->AddFormFile(aName, aFileName, aBytes);
}

int32_t CWebClientEngine::Get(CPwStringC aUrl, CPwStringC aProgressText, MWebClientObserver* aObserver) {
  return Start("GET", aUrl, aProgressText, aObserver);
}

int32_t CWebClientEngine::Post(CPwStringC aUrl, CPwStringC aProgressText, MWebClientObserver* aObserver) {
  return Start("POST", aUrl, aProgressText, aObserver);
}

int32_t CWebClientEngine::Start(CPwByteArrayC aMethod, CPwStringC aUrl, CPwStringC aProgressText,
                                MWebClientObserver* aObserver) {
  if (!iConnectionOpen || iRequest) return 0;
  const bool post = aMethod == CPwByteArrayC("POST");

  iObserver = aObserver;
  bool urlAccepted = false;
  const int32_t prepared = Trap([&] {
    if (post) {
      iParser->FinishForm();
    } else {
      iParser->Reset();
    }
    iParser->AddHeader("User-Agent", CPwByteArrayC(KUserAgent));
    CPwByteArray url;
    url.AppendUtf8(aUrl);
    urlAccepted = iParser->SetRequest(aMethod, url);
    if (iProgress) iProgress->ShowProgress(aProgressText, this, 0);
  });
  if (prepared != KErrNone) {
    iObserver = nullptr;
    iParser->Reset();
    Leave(prepared);
  }

  auto request = std::make_shared<TRequest>();
  request->iParser = iParser.get();
  request->iOwner = this;
  request->iLimits = iLimits;
  if (!urlAccepted) {
    // Nothing to send: report the failure through Run like any other.
    request->iState = EFailed;
    iRequest = std::move(request);
    SignalRequest();
    return 1;
  }
  if (!request->iCancel.IsValid() || !iThread.Start([request] { WorkerBody(request); })) {
    HideProgress();
    iObserver = nullptr;
    iParser->Reset();
    Leave(KErrThread);
  }
  iRequest = std::move(request);
  return 1;
}

void CWebClientEngine::Cancel() {
  if (State() != ERunning) return;
  ReleaseWorker(true);
  if (iRequest) {
    // Whatever the thread managed before it saw the cancel, the user was told it is
    // cancelled.
    PwLockGuard guard(iRequest->iLock);
    iRequest->iState = ECancelled;
  }
  iParser->Reset();
  HideProgress();
}

void CWebClientEngine::Abort() { ReleaseWorker(true); }

bool CWebClientEngine::ReleaseWorker(bool aCancel) {
  if (!iThread.IsAttached()) return false;
  if (aCancel && iRequest) iRequest->iCancel.Set();
  if (iThread.Join(PwThread::KStopWaitMs)) return false;

  // Still inside a blocking call (name resolution has no way to be interrupted): cut it off
  // from the parser and from this object, and let its report be a cancellation.
  if (iRequest) {
    PwLockGuard guard(iRequest->iLock);
    iRequest->iParser = nullptr;
    iRequest->iOwner = nullptr;
  }
  auto replacement = std::make_shared<TRequest>();
  replacement->iState = ECancelled;
  iRequest = std::move(replacement);
  SignalRequest();
  return true;
}

int32_t CWebClientEngine::State() const {
  if (!iRequest) return EIdle;
  PwLockGuard guard(iRequest->iLock);
  return iRequest->iState;
}

void CWebClientEngine::HideProgress() {
  if (!iProgress) return;
  // The dialog may already be gone; failing to close it must not lose the report.
  Trap([this] { iProgress->CloseProgress(); });
}

void CWebClientEngine::Run() {
  if (!iRequest) return;
  if (State() == ERunning) return;  // not from the thread; its report is still to come
  // The thread signalled as its last act; only its return remains.
  ReleaseWorker(false);
  const int32_t state = State();
  iRequest.reset();

  // Reset before telling the observer, so that it may start the next request from its
  // callback.
  MWebClientObserver* observer = iObserver;
  iObserver = nullptr;
  const int32_t status = iParser->StatusCode();
  // A connection closed before the end of the headers, or before the end of the body the
  // headers announced, is a cut-off answer, not a short one.
  const bool complete = iParser->IsWholeResponse();
  CPwByteArray body;
  iParser->TakeResponseBody(body);
  iParser->Reset();
  HideProgress();
  if (!observer) return;

  switch (state) {
    case EFinished:
      if (status == 200 && complete) {
        observer->RequestCompleted(body);
      } else {
        observer->RequestFailed();
      }
      break;
    case ECancelled:
      observer->RequestCancelled();
      break;
    default:
      observer->RequestFailed();
      break;
  }
}

bool CWebClientEngine::SplitHost(CPwByteArrayC aHost, CPwByteArray& aName, int32_t& aPort) {
  const int32_t colon = aHost.Find(static_cast<uint8_t>(':'));
  const CPwByteArrayC name = colon < 0 ? aHost : aHost.Left(colon);
  if (name.IsEmpty() || name.Find(static_cast<uint8_t>(0)) >= 0) return false;
  int32_t port = KDefaultPort;
  if (colon >= 0) {
    const CPwByteArrayC digits = aHost.Mid(colon + 1);
    if (digits.IsEmpty() || digits.Length() > 5) return false;
    port = 0;
    for (int32_t i = 0; i < digits.Length(); ++i) {
      const uint8_t c = digits.ByteAt(i);
      if (c < '0' || c > '9') return false;
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return false;
  }
  aName.Copy(name);
  aPort = port;
  return true;
}

namespace {

// The time a request has left: each wait may last its own limit, but never past the end of
// the whole request.
class TRequestClock {
 public:
  explicit TRequestClock(int32_t aTotalMs) : iStart(pwplat::ClockTickMs()), iTotalMs(aTotalMs) {}
  int32_t LeftMs() const {
    const uint32_t elapsed = pwplat::ClockTickMs() - iStart;  // wraps correctly
    return elapsed >= static_cast<uint32_t>(iTotalMs) ? 0 : iTotalMs - static_cast<int32_t>(elapsed);
  }
  bool IsOver() const { return LeftMs() <= 0; }
  // How long the next wait may last with aLimitMs of its own.
  int32_t WaitMs(int32_t aLimitMs) const { return std::min(std::max(aLimitMs, 0), LeftMs()); }

 private:
  uint32_t iStart;
  int32_t iTotalMs;
};

// Sends the whole request, chunk by chunk; a partial send continues with the rest once the
// socket takes more. Returns 1 when everything went out, 0 when the request ended (aOutcome
// says how).
int32_t SendAll(PwSocket& aSocket, CWebClientEngine::TState& aOutcome, PwLock& aLock, CHttpParser*& aParser,
                PwCancelEvent& aCancel, const TRequestClock& aClock, int32_t aIdleMs) {
  uint8_t chunk[CWebClientEngine::KChunkBytes];
  for (;;) {
    int32_t count;
    {
      PwLockGuard guard(aLock);
      if (!aParser) {
        aOutcome = CWebClientEngine::ECancelled;
        return 0;
      }
      count = aParser->NextRequestBytes(chunk, sizeof(chunk));
    }
    if (count == 0) return 1;
    int32_t sent = 0;
    while (sent < count) {
      const int32_t n = aSocket.Send(chunk + sent, count - sent);
      if (n < 0) {
        aOutcome = CWebClientEngine::EFailed;
        return 0;
      }
      sent += n;
      if (sent == count) break;
      const uint32_t events = aSocket.Wait(aCancel, true, aClock.WaitMs(aIdleMs));
      if (events & PwSocket::ECancelled) {
        aOutcome = CWebClientEngine::ECancelled;
        return 0;
      }
      // A server that takes nothing for too long, or never all of it in time, has failed.
      if (events == 0 || (events & PwSocket::ETimeout) || aClock.IsOver()) {
        aOutcome = CWebClientEngine::EFailed;
        return 0;
      }
    }
  }
}

}  // namespace

void CWebClientEngine::WorkerBody(const std::shared_ptr<TRequest>& aRequest) {
  TRequest& r = *aRequest;
  TState outcome = EFailed;
  std::string host;
  int32_t port = KDefaultPort;
  bool hostValid = false;
  {
    PwLockGuard guard(r.iLock);
    if (!r.iParser) return;
    CPwByteArray name;
    hostValid = SplitHost(r.iParser->Host(), name, port);
    if (hostValid) host.assign(name.View());
  }

  TPwInetAddress address;
  PwSocket socket;
  const TRequestClock clock(r.iLimits.iTotalMs);
  // Looking the name up is part of connecting: both share the connect limit, so a name server
  // that never answers ends the request like a server that never accepts.
  const TRequestClock connecting(std::min(r.iLimits.iConnectMs, clock.LeftMs()));
  const TPwResolveResult resolved =
      hostValid ? PwResolveHost(host.c_str(), static_cast<uint16_t>(port), address, r.iCancel, connecting.LeftMs())
                : TPwResolveResult::EFailed;
  if (resolved == TPwResolveResult::ECancelled) {
    outcome = ECancelled;
  } else if (resolved != TPwResolveResult::EResolved) {
    outcome = EFailed;
  } else if (!socket.Open()) {
    outcome = EFailed;
  } else {
    const PwSocket::TConnectResult connected = socket.Connect(address, r.iCancel, connecting.LeftMs());
    if (connected == PwSocket::EConnectCancelled) {
      outcome = ECancelled;
    } else if (connected != PwSocket::EConnected) {
      outcome = EFailed;
    } else if (SendAll(socket, outcome, r.iLock, r.iParser, r.iCancel, clock, r.iLimits.iIdleMs)) {
      uint8_t chunk[KChunkBytes];
      for (;;) {
        // A slow drip keeps every wait short of the idle limit; the whole request still ends.
        if (clock.IsOver()) {
          outcome = EFailed;
          break;
        }
        const uint32_t events = socket.Wait(r.iCancel, false, clock.WaitMs(r.iLimits.iIdleMs));
        if (events & PwSocket::ECancelled) {
          outcome = ECancelled;
          break;
        }
        if (events == 0) {
          outcome = EFailed;  // the wait itself broke; never spin on it
          break;
        }
        if (events & PwSocket::ETimeout) {
          outcome = EFailed;  // silent for too long
          break;
        }
        if (!(events & (PwSocket::EReadable | PwSocket::EHangUp))) continue;
        const int32_t n = socket.Receive(chunk, sizeof(chunk));
        if (n == PwSocket::KWouldBlock) continue;
        if (n == PwSocket::KClosed) {
          outcome = EFinished;
          break;
        }
        if (n < 0) {
          outcome = EFailed;  // the connection was reset or broke
          break;
        }
        PwLockGuard guard(r.iLock);
        if (!r.iParser) {
          outcome = ECancelled;
          break;
        }
        if (r.iParser->AddResponseBytes(chunk, n) != KErrNone) {
          outcome = EFailed;  // longer than any answer of the track server can be
          break;
        }
        if (r.iParser->IsBodyComplete()) {
          outcome = EFinished;  // all the announced body is there; what may follow is not ours
          break;
        }
      }
    }
  }
  socket.Close();

  PwLockGuard guard(r.iLock);
  if (!r.iOwner) return;
  r.iState = outcome;
  r.iOwner->SignalRequest();
}
