#include "foundation/worker.h"

#include <string>

#include "foundation/utf8.h"

CWorker::~CWorker() = default;

// --- CWorkerEngine ---

CWorkerEngine::CWorkerEngine(MActiveSchedulerObserver* aScheduler, MProgressDisplay* aProgress)
    : CActive(aScheduler), iProgress(aProgress) {}

CWorkerEngine::~CWorkerEngine() = default;

void CWorkerEngine::Start(CWorker* aWorker, MWorkerObserver* aObserver, uint16_t aTextId) {
  CPwString text;
  text.LoadFromResource(aTextId);

  // One run at a time; the owner of an unfinished run would otherwise wait for ever.
  if (iState == ERunning) Cancel();

  const int32_t previousState = iState;
  iWorker = aWorker;
  iObserver = aObserver;
  iState = ERunning;
  if (iProgress) {
    int32_t code = Trap([&] { iProgress->ShowProgress(text, this, 0); });
    if (code != KErrNone) {
      iState = previousState;
      iWorker = nullptr;
      iObserver = nullptr;
      Leave(code);
    }
  }
  SignalRequest();
}

void CWorkerEngine::Run() {
  // A cancel between two steps leaves this completion with nothing to do.
  if (iState != ERunning) return;
  CWorker* worker = iWorker;
  const int32_t more = worker->Step();
  // A step may run a nested loop (a modal question) in which the run is cancelled or a new
  // one started: then this run is over and its outcome was already reported.
  if (iState != ERunning || iWorker != worker) return;
  if (more != 0) {
    if (iProgress) iProgress->UpdateProgress(worker->ProgressValue(), worker->ProgressTotal());
    SignalRequest();
    return;
  }
  MWorkerObserver* observer = Finish();
  if (iProgress) (void)Trap([&] { iProgress->CloseProgress(); });
  if (observer) (void)Trap([&] { observer->WorkerDone(KErrNone); });
}

int32_t CWorkerEngine::HandleRunFailure(int32_t aCode) {
  MWorkerObserver* observer = Finish();
  if (iProgress) (void)Trap([&] { iProgress->CloseProgress(); });
  if (observer) (void)Trap([&] { observer->WorkerDone(aCode); });
  // The observer reports the failure; the scheduler shows nothing more.
  return 0;
}

void CWorkerEngine::Cancel() {
  if (iState != ERunning) return;
  CWorker* worker = iWorker;
  MWorkerObserver* observer = Finish();
  if (iProgress) (void)Trap([&] { iProgress->CloseProgress(); });
  if (worker) (void)Trap([&] { worker->Cancel(); });
  if (observer) (void)Trap([&] { observer->WorkerCancelled(); });
}

MWorkerObserver* CWorkerEngine::Finish() {
  // Forgotten before the observer is told: it usually deletes the worker, and may start the
  // next one from inside the call.
  MWorkerObserver* observer = iObserver;
  iState = EFinished;
  iWorker = nullptr;
  iObserver = nullptr;
  return observer;
}

// --- CTextProgressBar ---

CTextProgressBar::CTextProgressBar(FILE* aOut, bool aInteractive) : iOut(aOut), iInteractive(aInteractive) {}

CTextProgressBar::~CTextProgressBar() = default;

void CTextProgressBar::ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver, int32_t) {
  iText.Copy(aText);
  if (iShown) return;  // only the text changes while one is up
  iShown = true;
  iObserver = aObserver;
  iLastPercent = -1;
  iLastValue = -1;
  Draw(0, 0);
}

void CTextProgressBar::UpdateProgress(int32_t aValue, int32_t aTotal) {
  if (!iShown) return;
  int32_t percent = -1;  // unknown total: show the count only
  if (aTotal > 0) {
    int64_t v = aValue < 0 ? 0 : aValue;
    if (v > aTotal) v = aTotal;
    percent = static_cast<int32_t>(v * 100 / aTotal);
  }
  if (percent >= 0) {
    if (percent == iLastPercent) return;
    if (!iInteractive && iLastPercent >= 0 && percent / 10 == iLastPercent / 10) return;
  } else if (!iInteractive || aValue == iLastValue) {
    return;
  }
  Draw(percent, aValue);
}

int32_t CTextProgressBar::CloseProgress() {
  if (!iShown) return 0;
  iShown = false;
  iObserver = nullptr;
  if (iOut && iInteractive) {
    std::fputc('\n', iOut);
    std::fflush(iOut);
  }
  return 0;
}

void CTextProgressBar::RequestCancel() {
  if (iShown && iObserver) iObserver->Cancel();
}

void CTextProgressBar::Draw(int32_t aPercent, int32_t aValue) {
  iLastPercent = aPercent;
  iLastValue = aValue;
  if (!iOut) return;
  std::string line;
  std::string text(static_cast<size_t>(Utf8EncodedLength(iText.Ptr(), iText.Length())), '\0');
  Utf8Encode(iText.Ptr(), iText.Length(), reinterpret_cast<uint8_t*>(text.data()));
  line += text;
  if (aPercent >= 0) {
    const int32_t filled = aPercent * KBarWidth / 100;
    line += " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(KBarWidth - filled), '-');
    line += "] ";
    char pct[16];
    std::snprintf(pct, sizeof pct, "%3d%%", static_cast<int>(aPercent));
    line += pct;
  } else {
    line += ' ';
    line += std::to_string(aValue);
  }
  if (iInteractive) {
    // Clear to the end of the line: the text may have become shorter.
    std::fprintf(iOut, "\r%s\x1b[K", line.c_str());
  } else {
    std::fprintf(iOut, "%s\n", line.c_str());
  }
  std::fflush(iOut);
}
