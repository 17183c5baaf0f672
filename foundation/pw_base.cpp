#include "foundation/pw_base.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

void Leave(int32_t aCode) { throw PwLeaveClass(aCode); }

void Panic(const char* aCategory, int aNumber) {
  // One line on stderr, then end at once: no unwinding, no destructors, no atexit handlers.
  char line[96];
  int n = std::snprintf(line, sizeof line, "%s %d\n", aCategory ? aCategory : "?", aNumber);
  if (n > 0) {
    ssize_t ignored = write(STDERR_FILENO, line, static_cast<size_t>(n) < sizeof line ? n : sizeof line - 1);
    (void)ignored;
  }
  _exit(70);
}

void* AllocL(size_t aSize) {
  void* p = std::calloc(1, aSize ? aSize : 1);
  if (!p) Leave(KErrNoMemory);
  return p;
}

void* ReAllocL(void* aPtr, size_t aSize) {
  void* p = std::realloc(aPtr, aSize ? aSize : 1);
  if (!p) Leave(KErrNoMemory);
  return p;
}

void FreeMem(void* aPtr) { std::free(aPtr); }

CPwBase::~CPwBase() = default;
