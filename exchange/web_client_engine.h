// The HTTP client of the track exchange: an active object that runs each request on a thread
// of its own (resolve, connect, send the whole request, collect the response until the server
// closes, or until the body its Content-Length announces is there) while the progress dialog
// offers cancellation, and reports the outcome on the application thread to the request's
// observer. One request at a time.
//
// A server that never answers cannot hold a request for ever: it fails when the connection is
// not made within 10 s, when no byte moves for 15 s, or when it is not over after 60 s in all.
//
// The host part of a url may name a port ("host:8080"); without one the port is 80.
#pragma once

#include <cstdint>
#include <memory>

#include "exchange/http_parser.h"
#include "foundation/active.h"
#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "foundation/version.h"
#include "foundation/worker.h"
#include "platform/thread.h"

// Told on the application thread how a request ended. Exactly one call per started request,
// unless the connection is closed while the request runs (then none).
class MWebClientObserver {
 public:
  // Status 200 and the whole body: everything after the headers once the server closed the
  // connection normally, or exactly the bytes its Content-Length announced.
  virtual void RequestCompleted(CPwByteArrayC aBody) = 0;
  // Resolution, connection or transfer failed or ran out of time, the response was too long,
  // ended before the end of its headers or of the body it announced, announced a length it
  // may not have, or the status was not 200.
  virtual void RequestFailed() = 0;
  // The user cancelled from the progress dialog.
  virtual void RequestCancelled() = 0;

 protected:
  ~MWebClientObserver() = default;
};

class CWebClientEngine : public CActive, public MProgressDialogObserver {
 public:
  enum TState : int32_t { EIdle = 0, ERunning = 1, EFinished = 2, EFailed = 3, ECancelled = 4 };

  static constexpr char KUserAgent[] = "Pacewright/" PW_VERSION "/Desktop";
  static constexpr int32_t KDefaultPort = 80;
  // Bytes moved per send and per receive.
  static constexpr int32_t KChunkBytes = 2048;

  // How long a request may take, in milliseconds: to connect, without a byte moving either
  // way, and from start to end (name resolution aside, which cannot be interrupted).
  struct TLimits {
    int32_t iConnectMs = 10000;
    int32_t iIdleMs = 15000;
    int32_t iTotalMs = 60000;
  };

  // Neither is owned; aProgress may be null (no progress dialog).
  CWebClientEngine(MActiveSchedulerObserver* aScheduler, MProgressDisplay* aProgress);
  // Aborts a running request (waiting up to 15 s for its thread) and closes the connection.
  ~CWebClientEngine() override;

  // Allows requests; always 1 (there is no connection set-up on this platform).
  int32_t OpenConnection();
  // Refuses further requests. A running request is aborted and its report withdrawn: the
  // observer hears nothing more.
  void CloseConnection();
  bool IsConnectionOpen() const { return iConnectionOpen != 0; }

  // The form of the next Post; each is ignored while a request runs.
  void ResetForm();
  void AddFormField(CPwStringC aName, CPwStringC aValue);
  void AddFormFile(CPwStringC aName, CPwStringC aFileName, CPwByteArrayC aBytes);

  // Start a request; 1 when started, 0 when refused (connection closed, or a request still
  // running or not yet reported). A url the parser refuses is reported as failed. Leaves with
  // KErrThread when the thread cannot be created, or with the progress dialog's leave.
  int32_t Get(CPwStringC aUrl, CPwStringC aProgressText, MWebClientObserver* aObserver);
  int32_t Post(CPwStringC aUrl, CPwStringC aProgressText, MWebClientObserver* aObserver);

  // The progress dialog's cancel: ends a running request, which is then reported as
  // cancelled.
  void Cancel() override;
  // Signals the running request's thread to stop and waits up to 15 s for it; a thread that
  // does not end in time is abandoned and the request counts as cancelled.
  void Abort();

  // The limits of the requests started from now on (tests shorten them).
  void SetLimits(const TLimits& aLimits) { iLimits = aLimits; }
  const TLimits& Limits() const { return iLimits; }

  // The state of the current request (EIdle when there is none).
  int32_t State() const;
  bool IsBusy() const { return iRequest != nullptr; }
  const CHttpParser& Parser() const { return *iParser; }

  // Splits "name[:port]" into the name and the port (KDefaultPort without one). False for an
  // empty name or a port that is not a number from 1 to 65535.
  static bool SplitHost(CPwByteArrayC aHost, CPwByteArray& aName, int32_t& aPort);

 private:
  struct TRequest;

  int32_t Start(CPwByteArrayC aMethod, CPwStringC aUrl, CPwStringC aProgressText, MWebClientObserver* aObserver);
  void Run() override;
  // Joins the thread (up to 15 s after signalling it when aCancel); an abandoned thread is cut
  // off from this engine. True when the thread was abandoned.
  bool ReleaseWorker(bool aCancel);
  void HideProgress();
  static void WorkerBody(const std::shared_ptr<TRequest>& aRequest);

  MProgressDisplay* iProgress = nullptr;
  MWebClientObserver* iObserver = nullptr;
  TLimits iLimits;
  int32_t iConnectionOpen = 0;
  std::unique_ptr<CHttpParser> iParser;
  // Shared with the request's thread, so that a thread abandoned after the stop limit never
  // touches a destroyed engine.
  std::shared_ptr<TRequest> iRequest;
  PwThread iThread;
};
