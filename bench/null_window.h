// An application frame that draws nowhere and ignores every request, for benchmarks that drive
// the GUI themselves. A benchmark that wants to see repaints overrides RequestRedraw.
#pragma once

#include <cstdint>

#include "app/gui_observer.h"

namespace pwbench {

class TNullWindow : public MGuiObserver {
 public:
  void RequestRedraw() override {}
  void PlatformNotify(int32_t) override {}
  void ExitApplication() override {}
  void StartGuiTimer(int32_t) override {}
  void BeginTextEntry(TTextEntry&) override {}
  void SetTextEntryFont() override {}
  void PlatformNotifyNoArg() override {}
  void EndTextEntry() override {}
  void PlatformNotifyValue(int32_t) override {}
};

}  // namespace pwbench
