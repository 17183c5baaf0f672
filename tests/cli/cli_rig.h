// Rig of the end-to-end tests: runs the built pacewright-cli with its documents, application-
// data and installation folders in fresh temporary folders, reads back its JSON, and writes
// drives whose laps and runs are known exactly as the NMEA text a receiver sends.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace pwclitest {

// --- JSON, read back ------------------------------------------------------------------------

// A parsed JSON value. Numbers are doubles; a test that reads a missing member or indexes
// past an array's end gets the null value, and the expectations on it then fail readably.
class Json {
 public:
  enum TKind { ENull, EBool, ENumber, EString, EArray, EObject };

  TKind Kind() const { return iKind; }
  bool IsNull() const { return iKind == ENull; }
  bool Bool() const { return iBool; }
  double Number() const { return iNumber; }
  const std::string& String() const { return iString; }
  size_t Size() const { return iKind == EArray ? iItems.size() : iMembers.size(); }
  bool Has(const std::string& aKey) const { return iMembers.count(aKey) != 0; }
  const Json& operator[](const std::string& aKey) const {
    const auto it = iMembers.find(aKey);
    return it == iMembers.end() ? NullValue() : it->second;
  }
  const Json& operator[](size_t aIndex) const { return aIndex < iItems.size() ? iItems[aIndex] : NullValue(); }

  // Parses the whole text (surrounding white space allowed); false for anything that is not
  // exactly one JSON value.
  static bool Parse(const std::string& aText, Json& aValue) {
    size_t at = 0;
    if (!ParseValue(aText, at, aValue)) return false;
    SkipSpace(aText, at);
    return at == aText.size();
  }
  static Json Parsed(const std::string& aText) {
    Json value;
    EXPECT_TRUE(Parse(aText, value)) << "not JSON: " << aText.substr(0, 400);
    return value;
  }

 private:
  static const Json& NullValue() {
    static const Json null;
    return null;
  }
  static void SkipSpace(const std::string& aText, size_t& aAt) {
    while (aAt < aText.size() && (aText[aAt] == ' ' || aText[aAt] == '\n' || aText[aAt] == '\r' || aText[aAt] == '\t'))
      ++aAt;
  }
  static bool Literal(const std::string& aText, size_t& aAt, const char* aWord) {
    const size_t n = std::strlen(aWord);
    if (aText.compare(aAt, n, aWord) != 0) return false;
    aAt += n;
    return true;
  }
  static void AppendUtf8(std::string& aOut, uint32_t aCode) {
    if (aCode < 0x80) {
      aOut.push_back(static_cast<char>(aCode));
    } else if (aCode < 0x800) {
      aOut.push_back(static_cast<char>(0xC0 | (aCode >> 6)));
      aOut.push_back(static_cast<char>(0x80 | (aCode & 0x3F)));
    } else if (aCode < 0x10000) {
      aOut.push_back(static_cast<char>(0xE0 | (aCode >> 12)));
      aOut.push_back(static_cast<char>(0x80 | ((aCode >> 6) & 0x3F)));
      aOut.push_back(static_cast<char>(0x80 | (aCode & 0x3F)));
    } else {
      aOut.push_back(static_cast<char>(0xF0 | (aCode >> 18)));
      aOut.push_back(static_cast<char>(0x80 | ((aCode >> 12) & 0x3F)));
      aOut.push_back(static_cast<char>(0x80 | ((aCode >> 6) & 0x3F)));
      aOut.push_back(static_cast<char>(0x80 | (aCode & 0x3F)));
    }
  }
  static bool Hex4(const std::string& aText, size_t& aAt, uint32_t& aCode) {
    if (aAt + 4 > aText.size()) return false;
    aCode = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = aText[aAt++];
      aCode <<= 4;
      if (c >= '0' && c <= '9') aCode |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') aCode |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') aCode |= static_cast<uint32_t>(c - 'A' + 10);
      else return false;
    }
    return true;
  }
  static bool ParseString(const std::string& aText, size_t& aAt, std::string& aOut) {
    if (aAt >= aText.size() || aText[aAt] != '"') return false;
    ++aAt;
    while (aAt < aText.size()) {
      const char c = aText[aAt++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;  // raw control characters are not JSON
      if (c != '\\') {
        aOut.push_back(c);
        continue;
      }
      if (aAt >= aText.size()) return false;
      const char e = aText[aAt++];
      switch (e) {
        case '"': aOut.push_back('"'); break;
        case '\\': aOut.push_back('\\'); break;
        case '/': aOut.push_back('/'); break;
        case 'b': aOut.push_back('\b'); break;
        case 'f': aOut.push_back('\f'); break;
        case 'n': aOut.push_back('\n'); break;
        case 'r': aOut.push_back('\r'); break;
        case 't': aOut.push_back('\t'); break;
        case 'u': {
          uint32_t code = 0;
          if (!Hex4(aText, aAt, code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {
            uint32_t low = 0;
            if (!Literal(aText, aAt, "\\u") || !Hex4(aText, aAt, low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(aOut, code);
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  static bool ParseValue(const std::string& aText, size_t& aAt, Json& aValue) {
    SkipSpace(aText, aAt);
    if (aAt >= aText.size()) return false;
    const char c = aText[aAt];
    if (c == '{') {
      aValue.iKind = EObject;
      ++aAt;
      SkipSpace(aText, aAt);
      if (aAt < aText.size() && aText[aAt] == '}') return ++aAt, true;
      for (;;) {
        std::string key;
        SkipSpace(aText, aAt);
        if (!ParseString(aText, aAt, key)) return false;
        SkipSpace(aText, aAt);
        if (aAt >= aText.size() || aText[aAt++] != ':') return false;
        if (!ParseValue(aText, aAt, aValue.iMembers[key])) return false;
        SkipSpace(aText, aAt);
        if (aAt >= aText.size()) return false;
        if (aText[aAt] == ',') { ++aAt; continue; }
        if (aText[aAt] == '}') return ++aAt, true;
        return false;
      }
    }
    if (c == '[') {
      aValue.iKind = EArray;
      ++aAt;
      SkipSpace(aText, aAt);
      if (aAt < aText.size() && aText[aAt] == ']') return ++aAt, true;
      for (;;) {
        aValue.iItems.emplace_back();
        if (!ParseValue(aText, aAt, aValue.iItems.back())) return false;
        SkipSpace(aText, aAt);
        if (aAt >= aText.size()) return false;
        if (aText[aAt] == ',') { ++aAt; continue; }
        if (aText[aAt] == ']') return ++aAt, true;
        return false;
      }
    }
    if (c == '"') {
      aValue.iKind = EString;
      return ParseString(aText, aAt, aValue.iString);
    }
    if (Literal(aText, aAt, "null")) return aValue.iKind = ENull, true;
    if (Literal(aText, aAt, "true")) return aValue.iKind = EBool, aValue.iBool = true, true;
    if (Literal(aText, aAt, "false")) return aValue.iKind = EBool, aValue.iBool = false, true;
    // A number in JSON's grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    const size_t start = aAt;
    if (aText[aAt] == '-') ++aAt;
    auto digits = [&] {
      const size_t from = aAt;
      while (aAt < aText.size() && aText[aAt] >= '0' && aText[aAt] <= '9') ++aAt;
      return aAt - from;
    };
    if (aAt < aText.size() && aText[aAt] == '0') ++aAt;
    else if (digits() == 0) return false;
    if (aAt < aText.size() && aText[aAt] == '.') {
      ++aAt;
      if (digits() == 0) return false;
    }
    if (aAt < aText.size() && (aText[aAt] == 'e' || aText[aAt] == 'E')) {
      ++aAt;
      if (aAt < aText.size() && (aText[aAt] == '+' || aText[aAt] == '-')) ++aAt;
      if (digits() == 0) return false;
    }
    aValue.iKind = ENumber;
    aValue.iNumber = std::strtod(aText.substr(start, aAt - start).c_str(), nullptr);
    return true;
  }

  TKind iKind = ENull;
  bool iBool = false;
  double iNumber = 0.0;
  std::string iString;
  std::vector<Json> iItems;
  std::map<std::string, Json> iMembers;
};

// --- Running the program --------------------------------------------------------------------

struct RunResult {
  int iCode = -1;  // exit status; 128 + n when ended by signal n
  std::string iOut;
  std::string iErr;
  Json JsonOut() const { return Json::Parsed(iOut); }
  // The output without its last line end.
  std::string Line() const { return iOut.empty() || iOut.back() != '\n' ? iOut : iOut.substr(0, iOut.size() - 1); }
};

inline std::ostream& operator<<(std::ostream& aStream, const RunResult& aResult) {
  return aStream << "exit " << aResult.iCode << "\n--- stdout\n" << aResult.iOut.substr(0, 2000) << "\n--- stderr\n"
                 << aResult.iErr.substr(0, 2000);
}

// One run of the program in the background: its output is collected while it runs, so that
// a test can signal it (Ctrl-C) and then wait for the end.
class Process {
 public:
  // aStderr, when given, becomes the program's standard error (a terminal, for instance);
  // nothing is then collected from it.
  Process(const std::vector<std::string>& aArgs, const std::map<std::string, std::string>& aEnvironment,
          int aStderr = -1) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, aStderr >= 0 ? aStderr : err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> words{PW_CLI_BINARY};
    words.insert(words.end(), aArgs.begin(), aArgs.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const size_t equals = entry.find('=');
      if (equals != std::string::npos) env[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    // An empty value removes the variable.
    for (const auto& [name, value] : aEnvironment) {
      if (value.empty())
        env.erase(name);
      else
        env[name] = value;
    }
    std::vector<std::string> entries;
    for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    if (posix_spawn(&iPid, PW_CLI_BINARY, &actions, nullptr, argv.data(), envp.data()) != 0) iPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    iReader = std::thread([this, outFd = out[0], errFd = err[0]] { Collect(outFd, errFd); });
  }
  ~Process() {
    if (iPid > 0 && !iWaited) {
      ::kill(iPid, SIGKILL);
      Wait();
    }
    if (iReader.joinable()) iReader.join();
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Started() const { return iPid > 0; }
  pid_t Pid() const { return iPid; }
  void Signal(int aSignal) const {
    if (iPid > 0) ::kill(iPid, aSignal);
  }
  RunResult Wait() {
    if (!iWaited && iPid > 0) {
      int status = 0;
      while (::waitpid(iPid, &status, 0) < 0 && errno == EINTR) {
      }
      iWaited = true;
      iResult.iCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (iReader.joinable()) iReader.join();
    return iResult;
  }

 private:
  void Collect(int aOut, int aErr) {
    pollfd fds[2] = {{aOut, POLLIN, 0}, {aErr, POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          (i == 0 ? iResult.iOut : iResult.iErr).append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          ::close(fds[i].fd);
          fds[i].fd = -1;
          --open;
        }
      }
    }
  }

  pid_t iPid = -1;
  bool iWaited = false;
  RunResult iResult;
  std::thread iReader;
};

// The program's world: fresh documents, application-data and installation folders.
class Cli {
 public:
  Cli() {
    iEnvironment["PACEWRIGHT_DOCUMENTS"] = iDocuments.Path();
    iEnvironment["PACEWRIGHT_APPDATA"] = iAppData.Path();
    iEnvironment["PACEWRIGHT_INSTALL"] = iInstall.Path();
    // No receiver is plugged in unless a test makes one: the machine's own do not count.
    iEnvironment["PACEWRIGHT_DEVICES"] = iInstall.Path() + "/no-devices";
    // A server nobody runs: no test reaches the network by accident.
    iEnvironment["PACEWRIGHT_TRACK_SERVER"] = "http://127.0.0.1:9/automatic/tracks/";
  }

  RunResult Run(const std::vector<std::string>& aArgs, int aStderr = -1) {
    Process process(aArgs, iEnvironment, aStderr);
    EXPECT_TRUE(process.Started());
    return process.Wait();
  }
  std::unique_ptr<Process> Start(const std::vector<std::string>& aArgs) {
    return std::make_unique<Process>(aArgs, iEnvironment);
  }
  // Runs and expects success; returns the output.
  RunResult Ok(const std::vector<std::string>& aArgs) {
    RunResult result = Run(aArgs);
    EXPECT_EQ(result.iCode, 0) << Describe(aArgs) << "\n" << result;
    return result;
  }
  Json OkJson(std::vector<std::string> aArgs) {
    aArgs.push_back("--json");
    return Ok(aArgs).JsonOut();
  }

  // An empty value removes the variable from the program's environment.
  void SetEnv(const std::string& aName, const std::string& aValue) { iEnvironment[aName] = aValue; }
  // The installation folder of the source tree, with the shipped examples when they are built.
  void UseSourceInstall() { iEnvironment["PACEWRIGHT_INSTALL"] = PW_SOURCE_DATA_DIR; }

  const std::string& Documents() const { return iDocuments.Path(); }
  std::string Work(const std::string& aName) const { return iWork / aName; }
  std::string WriteWork(const std::string& aName, const std::string& aBytes) const {
    const std::string path = Work(aName);
    EXPECT_TRUE(pwtest::WriteFileBytes(path, aBytes));
    return path;
  }

  static std::string Describe(const std::vector<std::string>& aArgs) {
    std::string text = "pacewright-cli";
    for (const std::string& arg : aArgs) text += " '" + arg + "'";
    return text;
  }

 private:
  pwtest::TempDir iDocuments;
  pwtest::TempDir iAppData;
  pwtest::TempDir iInstall;
  pwtest::TempDir iWork;
  std::map<std::string, std::string> iEnvironment;
};

// --- Drives ---------------------------------------------------------------------------------

constexpr double KEarthRadius = 6371000.0;
constexpr double KCentreLat = 48.0;
constexpr double KCentreLon = 11.0;
constexpr int64_t KDriveStartMs = 10 * 3600 * 1000;  // 10:00:00 UTC, 8 May 2024

inline std::string Framed(const std::string& aBody) {
  unsigned sum = 0;
  for (unsigned char c : aBody) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + aBody + tail;
}

inline std::string NmeaAngle(double aDegrees, bool aLatitude) {
  const char hemisphere = aLatitude ? (aDegrees < 0 ? 'S' : 'N') : (aDegrees < 0 ? 'W' : 'E');
  const double a = std::fabs(aDegrees);
  const int whole = static_cast<int>(a);
  char text[40];
  std::snprintf(text, sizeof text, aLatitude ? "%02d%09.6f,%c" : "%03d%09.6f,%c", whole, (a - whole) * 60.0, hemisphere);
  return text;
}

// RMC and GGA of one epoch at aMs (UTC time of day).
inline std::string Epoch(int64_t aMs, double aLat, double aLon, double aSpeed, double aCourse) {
  char time[16];
  const int64_t s = aMs / 1000;
  std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(s / 3600 % 24), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60), static_cast<int>(aMs % 1000 / 10));
  char rest[96];
  std::snprintf(rest, sizeof rest, ",%.3f,%.2f,080524,,,A", aSpeed / 0.514444444444, aCourse);
  const std::string lat = NmeaAngle(aLat, true), lon = NmeaAngle(aLon, false);
  return Framed(std::string("GPRMC,") + time + ",A," + lat + "," + lon + rest) +
         Framed(std::string("GPGGA,") + time + "," + lat + "," + lon + ",1,09,0.9,250.0,M,47.0,M,,");
}

inline double NorthDegrees(double aMetres) { return aMetres / KEarthRadius * 180.0 / M_PI; }
inline double EastDegrees(double aMetres) {
  return aMetres / (KEarthRadius * std::cos(KCentreLat * M_PI / 180.0)) * 180.0 / M_PI;
}

// A car going clockwise round a circle of 200 m radius, its phase counted in laps from the
// north point. The speed is constant from one south point (phase k + 0.5) to the next, so a
// line at the north or the east point sees one speed on either side and every lap, split and
// sector time has a closed form.
class CircleDrive {
 public:
  static constexpr double KRadius = 200.0;

  // Starts at the south point before the first north crossing (phase -0.5); aSpeeds[i] is the
  // speed from phase i - 0.5 to i + 0.5; the drive ends at aEndPhase.
  CircleDrive(std::vector<double> aSpeeds, double aEndPhase) : iSpeeds(std::move(aSpeeds)), iEnd(aEndPhase) {}

  // Seconds from the start to phase aPhase.
  double TimeAt(double aPhase) const {
    double t = 0.0;
    for (size_t i = 0; i < iSpeeds.size(); ++i) {
      const double from = static_cast<double>(i) - 0.5, to = from + 1.0;
      const double upTo = std::min(aPhase, to);
      if (upTo > from) t += (upTo - from) * 2.0 * M_PI * KRadius / iSpeeds[i];
      if (aPhase <= to) break;
    }
    return t;
  }
  // Time from phase aFrom to phase aTo, in ms.
  double Ms(double aFrom, double aTo) const { return (TimeAt(aTo) - TimeAt(aFrom)) * 1000.0; }
  double SpeedAt(double aPhase) const {
    size_t i = static_cast<size_t>(std::floor(aPhase + 0.5));
    return iSpeeds[std::min(i, iSpeeds.size() - 1)];
  }

  std::string Nmea(int64_t aStartMs = KDriveStartMs) const {
    std::string text;
    const double end = TimeAt(iEnd);
    double phase = -0.5;
    for (int64_t ms = 0; ms <= end * 1000.0; ms += 100) {
      // The phase at this moment: walk the constant-speed stretches.
      const double t = ms / 1000.0;
      phase = PhaseAt(t);
      const double alpha = 2.0 * M_PI * phase;
      text += Epoch(aStartMs + ms, KCentreLat + NorthDegrees(KRadius * std::cos(alpha)),
                    KCentreLon + EastDegrees(KRadius * std::sin(alpha)), SpeedAt(phase),
                    std::fmod(alpha * 180.0 / M_PI + 90.0 + 720.0, 360.0));
    }
    return text;
  }

  // Where a trap across the circle at aPhase lies, and the direction of travel there.
  static void TrapAt(double aPhase, double& aLat, double& aLon, double& aBearing) {
    const double alpha = 2.0 * M_PI * aPhase;
    aLat = KCentreLat + NorthDegrees(KRadius * std::cos(alpha));
    aLon = KCentreLon + EastDegrees(KRadius * std::sin(alpha));
    aBearing = std::fmod(alpha * 180.0 / M_PI + 90.0 + 720.0, 360.0);
  }

 private:
  double PhaseAt(double aSeconds) const {
    double t = 0.0;
    for (size_t i = 0; i < iSpeeds.size(); ++i) {
      const double span = 2.0 * M_PI * KRadius / iSpeeds[i];
      if (aSeconds <= t + span || i + 1 == iSpeeds.size())
        return static_cast<double>(i) - 0.5 + (aSeconds - t) / span;
      t += span;
    }
    return iEnd;
  }

  std::vector<double> iSpeeds;
  double iEnd;
};

// A car on a straight road northwards: phases of constant acceleration.
class StraightDrive {
 public:
  StraightDrive& Phase(double aSeconds, double aAccel) {
    iPhases.push_back({aSeconds, aAccel});
    return *this;
  }
  std::string Nmea() const {
    double end = 0.0;
    for (const auto& p : iPhases) end += p.first;
    std::string text;
    for (int64_t ms = 0; ms <= end * 1000.0; ms += 100) {
      double s = 0, v = 0, t = ms / 1000.0;
      for (const auto& p : iPhases) {
        const double d = std::min(t, p.first);
        s += v * d + 0.5 * p.second * d * d;
        v += p.second * d;
        t -= d;
        if (t <= 0) break;
      }
      text += Epoch(KDriveStartMs + ms, KCentreLat + NorthDegrees(s), KCentreLon, v < 0 ? 0 : v, 0.0);
    }
    return text;
  }

 private:
  std::vector<std::pair<double, double>> iPhases;
};

}  // namespace pwclitest
