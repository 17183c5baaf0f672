// demo_drive: writes the simulated drive round the demo circuit as an NMEA log.
//
//   demo_drive [--laps N] [--hours H] [--seed S] [--out FILE]
//
// --laps N   timed laps between the out lap and the in lap (default 5)
// --hours H  lap on without stopping for exactly H hours instead (for benchmarks)
// --seed S   another driver's day and another receiver's noise (default 1)
// --out FILE write there instead of standard output
// --summary  tell on standard error how many epochs were written and the true lap times
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/demo_drive.h"

namespace {

int Usage(const char* aProblem) {
  std::fprintf(stderr, "demo_drive: %s\nusage: demo_drive [--laps N] [--hours H] [--seed S] [--out FILE]\n",
               aProblem);
  return 2;
}

bool ParseNumber(const char* aText, double aLow, double aHigh, double& aValue) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(aText, &end);
  if (errno != 0 || end == aText || *end != '\0' || !(v >= aLow && v <= aHigh)) return false;
  aValue = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  pwtools::DemoDriveOptions options;
  const char* outPath = nullptr;
  bool summary = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--summary") {
      summary = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      std::printf("usage: demo_drive [--laps N] [--hours H] [--seed S] [--out FILE] [--summary]\n"
                  "Writes a simulated 10 Hz NMEA drive round the demo circuit (with $PWOBD and $PW2\n"
                  "sentences): N timed laps (default 5), or H hours of lapping.\n");
      return 0;
    }
    if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
    const char* value = argv[++i];
    double number = 0;
    if (arg == "--laps") {
      if (!ParseNumber(value, 1, 1000, number) || number != static_cast<int>(number))
        return Usage("--laps takes a whole number from 1 to 1000");
      options.iLaps = static_cast<int32_t>(number);
    } else if (arg == "--hours") {
      // The drive is dated on one day: it must not run past midnight.
      if (!ParseNumber(value, 0.001, 23.9, number)) return Usage("--hours takes a number above 0 and up to 23.9");
      options.iHours = number;
    } else if (arg == "--seed") {
      if (!ParseNumber(value, 0, 4294967295.0, number) || number != static_cast<double>(static_cast<uint64_t>(number)))
        return Usage("--seed takes a whole number");
      options.iSeed = static_cast<uint64_t>(number);
    } else if (arg == "--out") {
      outPath = value;
    } else {
      return Usage(("unknown option " + arg).c_str());
    }
  }

  FILE* out = stdout;
  if (outPath) {
    out = std::fopen(outPath, "wb");
    if (!out) {
      std::fprintf(stderr, "demo_drive: cannot write %s: %s\n", outPath, std::strerror(errno));
      return 1;
    }
  }
  bool failed = false;
  const pwtools::DemoDriveResult result = pwtools::WriteDemoDrive(options, [&](const std::string& aChunk) {
    if (!failed && std::fwrite(aChunk.data(), 1, aChunk.size(), out) != aChunk.size()) failed = true;
  });
  if (std::fflush(out) != 0) failed = true;
  if (outPath && std::fclose(out) != 0) failed = true;
  if (failed) {
    std::fprintf(stderr, "demo_drive: writing %s failed\n", outPath ? outPath : "standard output");
    if (outPath) std::remove(outPath);
    return 1;
  }
  if (summary) {
    std::fprintf(stderr, "%lld epochs, %.1f s, %lld bytes\n", static_cast<long long>(result.iEpochs), result.iDuration,
                 static_cast<long long>(result.iBytes));
    for (size_t i = 1; i < result.iLineCrossings.size(); ++i)
      std::fprintf(stderr, "lap %zu: %.3f s\n", i, result.iLineCrossings[i] - result.iLineCrossings[i - 1]);
  }
  return 0;
}
