// The pacewright program: the GPS lap timer's window.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/application.h"
#include "foundation/pw_string.h"
#include "strings/pw_strings.h"

namespace {

void Print(CPwStringC aText) {
  const std::string text = PwToUtf8(aText);
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // Only the two informational options: everything else is set in the program itself.
  if (argc > 1) {
    CPwString text;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
      text.LoadFromResource(R_APP_USAGE);
      Print(text);
      return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
      text.FormatU(R_APP_VERSION, PwStringFromUtf8(PW_VERSION));
      Print(text);
      return 0;
    }
    text.LoadFromResource(R_APP_USAGE);
    std::fprintf(stderr, "pacewright: unknown option '%s'\n\n", argv[1]);
    const std::string usage = PwToUtf8(text);
    std::fwrite(usage.data(), 1, usage.find('\n') + 1, stderr);
    return 2;
  }
  return RunApplication(DefaultGuiFactory());
}
