#include "platform/interrupt_watch.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

volatile std::sig_atomic_t gWriteFd = -1;

constexpr char KInterrupted = 'i';
constexpr char KFinish = 'q';

extern "C" void OnSignal(int) {
  const int saved = errno;
  const char byte = KInterrupted;
  if (gWriteFd >= 0) (void)!::write(gWriteFd, &byte, 1);
  errno = saved;
}

}  // namespace

CInterruptWatch::CInterruptWatch(std::function<void()> aOnInterrupt) : iOnInterrupt(std::move(aOnInterrupt)) {
  if (::pipe(iPipe) != 0) {
    iPipe[0] = iPipe[1] = -1;
    return;  // without a pipe the default handling (ending the program) stays
  }
  gWriteFd = iPipe[1];
  iThread = std::thread([this] { Watch(); });
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  // A closed terminal ends the recording the same way.
  std::signal(SIGHUP, OnSignal);
}

CInterruptWatch::~CInterruptWatch() {
  if (iPipe[1] < 0) return;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGHUP, SIG_DFL);
  const char byte = KFinish;
  (void)!::write(iPipe[1], &byte, 1);
  iThread.join();
  gWriteFd = -1;
  ::close(iPipe[0]);
  ::close(iPipe[1]);
}

void CInterruptWatch::Watch() {
  for (;;) {
    char byte = 0;
    const ssize_t n = ::read(iPipe[0], &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || byte == KFinish) return;
    if (iOnInterrupt) iOnInterrupt();
  }
}
