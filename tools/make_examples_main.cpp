// make_examples: builds the shipped examples into a folder (normally the data folder's
// "examples/"): the example track, the example session recorded on it and the demo drive.
//
//   make_examples --out DIR
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/pw_base.h"
#include "tools/make_examples.h"

int main(int argc, char** argv) {
  std::string out;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else {
      std::fprintf(stderr, "usage: make_examples --out DIR\n");
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: make_examples --out DIR\n");
    return 2;
  }
  std::error_code error;
  std::filesystem::create_directories(out, error);
  const std::string absolute = std::filesystem::absolute(out, error).string();
  // The storage classes look up the user's documents folder; keep the build away from it.
  setenv("PACEWRIGHT_DOCUMENTS", absolute.c_str(), 1);
  setenv("PACEWRIGHT_APPDATA", absolute.c_str(), 1);

  pwtools::ExampleSummary summary;
  const int32_t code = Trap([&] { summary = pwtools::MakeExamplesL(absolute); });
  if (code != KErrNone) {
    std::fprintf(stderr, "make_examples: could not write the examples to %s (error %d)\n", absolute.c_str(),
                 static_cast<int>(code));
    return 1;
  }
  std::printf("make_examples: %d laps (%d finished), %d positions, %d OBD and %d logger samples in %s\n",
              static_cast<int>(summary.iLaps), static_cast<int>(summary.iFinishedLaps),
              static_cast<int>(summary.iPositions), static_cast<int>(summary.iObdSamples),
              static_cast<int>(summary.iLoggerSamples), absolute.c_str());
  return 0;
}
