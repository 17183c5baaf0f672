// Ctrl-C (SIGINT), SIGTERM and SIGHUP while a command runs: the signal handler only writes a byte to a
// pipe, and a watcher thread reading that pipe calls the command's handler, which posts the
// real work to the loop's thread. So nothing unsafe happens inside the signal handler and an
// interrupted recording is still closed and saved on the loop's thread.
#pragma once

#include <functional>
#include <thread>

class CInterruptWatch {
 public:
  // aOnInterrupt runs on the watcher thread, once per signal, until the watch is destroyed.
  // Only one watch may exist at a time.
  explicit CInterruptWatch(std::function<void()> aOnInterrupt);
  // Restores the default handling and ends the watcher thread.
  ~CInterruptWatch();
  CInterruptWatch(const CInterruptWatch&) = delete;
  CInterruptWatch& operator=(const CInterruptWatch&) = delete;

 private:
  void Watch();

  std::function<void()> iOnInterrupt;
  int iPipe[2] = {-1, -1};
  std::thread iThread;
};
