// The built window program on an X server of its own, driven the way a user drives it: an Xvfb
// started on a free display, the program started on the test's folders, real key presses,
// pointer taps and drags sent with xdotool, and what the server shows read back with xwd.
// Every tool runs with a time limit; the server and the program are always ended and reaped,
// also when a step fails (and they die with the test process). Screens are recognised by the
// texts they show, drawn with the program's own fonts and looked for in the screenshot.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/draw/pw_bitmap.h"
#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "foundation/pw_string.h"

namespace pwtest {

using XClock = std::chrono::steady_clock;

inline int64_t MsSince(XClock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(XClock::now() - aStart).count();
}

inline bool Executable(const char* aPath) { return ::access(aPath, X_OK) == 0; }

// Starts aArgv with stdout into a pipe (when aOut), stderr to /dev/null; the child dies with us.
inline pid_t Spawn(const std::vector<std::string>& aArgv, int* aOut, const std::string& aLog = "") {
  int out[2] = {-1, -1};
  if (aOut && ::pipe(out) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDWR);
    const int log = aLog.empty() ? null : ::open(aLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(null, 0);
    ::dup2(aOut ? out[1] : log, 1);
    ::dup2(log, 2);
    std::vector<char*> argv;
    for (const std::string& a : aArgv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    _exit(127);
  }
  if (aOut) {
    ::close(out[1]);
    *aOut = out[0];
  }
  return pid;
}

// Runs a tool to its end, at most aLimitMs: its exit status (-1 when it was killed for taking
// too long), its standard output in aOut.
inline int RunTool(const std::vector<std::string>& aArgv, std::string* aOut = nullptr, int aLimitMs = 10000) {
  int fd = -1;
  const pid_t pid = Spawn(aArgv, &fd);
  if (pid < 0) return -1;
  const auto start = XClock::now();
  std::string text;
  char buffer[65536];
  for (;;) {
    const int left = aLimitMs - static_cast<int>(MsSince(start));
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, left) <= 0) break;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (MsSince(start) > aLimitMs) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (aOut) *aOut = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An Xvfb of the given screen size on a display it picks itself.
class XServer {
 public:
  static bool Available() { return Executable("/usr/bin/Xvfb"); }
  XServer(int aWidth, int aHeight) {
    int fd = -1;
    const std::string screen = std::to_string(aWidth) + "x" + std::to_string(aHeight) + "x24";
    // The display number comes on the pipe the child's stdout is.
    iPid = Spawn({"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", screen}, &fd);
    if (iPid < 0) return;
    std::string text;
    char c = 0;
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 20000) == 1 && ::read(fd, &c, 1) == 1 && c != '\n') text += c;
    ::close(fd);
    if (text.empty()) {
      Kill();
      return;
    }
    iDisplay = ":" + text;
  }
  ~XServer() { Kill(); }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  bool Running() const { return iPid > 0 && !iDisplay.empty(); }
  const std::string& Display() const { return iDisplay; }
  void Kill() {
    if (iPid <= 0) return;
    ::kill(iPid, SIGKILL);
    ::waitpid(iPid, nullptr, 0);
    iPid = -1;
  }

 private:
  pid_t iPid = -1;
  std::string iDisplay;
};

// What the server shows of a window: 0xRRGGBB pixels.
struct XShot {
  int iWidth = 0;
  int iHeight = 0;
  std::vector<uint32_t> iPixels;
  uint32_t At(int aX, int aY) const { return iPixels[static_cast<size_t>(aY) * iWidth + aX]; }
  bool Empty() const { return iPixels.empty(); }
};

// Reads an xwd dump of a 24/32-bit TrueColor window.
inline XShot ParseXwd(const std::string& aData) {
  XShot shot;
  if (aData.size() < 100) return shot;
  auto field = [&](int aIndex) {
    const auto* b = reinterpret_cast<const unsigned char*>(aData.data()) + aIndex * 4;
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  };
  const uint32_t header = field(0), width = field(4), height = field(5), byteOrder = field(7);
  const uint32_t bits = field(11), bytesPerLine = field(12), colours = field(19);
  const size_t offset = header + size_t(colours) * 12;
  if (bits != 32 || aData.size() < offset + size_t(bytesPerLine) * height) return shot;
  shot.iWidth = static_cast<int>(width);
  shot.iHeight = static_cast<int>(height);
  shot.iPixels.resize(size_t(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const unsigned char*>(aData.data()) + offset + size_t(y) * bytesPerLine;
    for (uint32_t x = 0; x < width; ++x) {
      const unsigned char* p = row + x * 4;
      const uint32_t v = byteOrder == 0 ? (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0]
                                        : (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
      shot.iPixels[size_t(y) * width + x] = v;
    }
  }
  return shot;
}

// A text as the GUI's fonts draw it: the pixels fully covered and the ones left untouched
// inside its box.
struct XTextMask {
  std::vector<std::pair<int, int>> iInk;
  std::vector<std::pair<int, int>> iPaper;
  std::vector<uint8_t> iCoverage;  // of every pixel of the box, row by row
  int iWidth = 0;
  int iHeight = 0;
};

// Whether aText, in one of the GUI's fonts, shows somewhere in the picture (in any single
// colour on any background); its top-left corner in aX/aY.
class XTextFinder {
 public:
  XTextFinder() : iLayout(CLayout::NewL()) {}
  // Only inside [aLeft, aRight) x [aTop, aBottom) when those are given.
  bool Find(const XShot& aShot, const std::string& aText, int* aX = nullptr, int* aY = nullptr, int aLeft = 0,
            int aTop = 0, int aRight = -1, int aBottom = -1) {
    if (aRight < 0 || aRight > aShot.iWidth) aRight = aShot.iWidth;
    if (aBottom < 0 || aBottom > aShot.iHeight) aBottom = aShot.iHeight;
    std::vector<XTextMask>& masks = iMasks[aText];
    if (masks.empty())
      for (int32_t font = 0; font < CLayout::KFontCount + 6; ++font) masks.push_back(Mask(aText, font));
    for (const XTextMask& mask : masks) {
      if (mask.iInk.empty()) continue;
      for (int y = aTop; y + mask.iHeight <= aBottom; ++y)
        for (int x = aLeft; x + mask.iWidth <= aRight; ++x)
          if (Matches(aShot, mask, x, y)) {
            if (aX) *aX = x;
            if (aY) *aY = y;
            return true;
          }
    }
    return false;
  }

 private:
  // Ink and paper are tried in turn, so that a plain area is left at the first paper pixel.
  static bool Matches(const XShot& aShot, const XTextMask& aMask, int aX, int aY) {
    const uint32_t* row = aShot.iPixels.data() + static_cast<size_t>(aY) * aShot.iWidth + aX;
    const int pitch = aShot.iWidth;
    auto at = [&](const std::pair<int, int>& aPoint) { return row[aPoint.second * pitch + aPoint.first]; };
    const uint32_t ink = at(aMask.iInk[0]);
    const size_t inks = aMask.iInk.size(), papers = aMask.iPaper.size();
    for (size_t i = 0; i < inks || i < papers; ++i) {
      if (i < papers && at(aMask.iPaper[i]) == ink) return false;
      if (i < inks && at(aMask.iInk[i]) != ink) return false;
    }
    // The edges too: each pixel the blend of ink and its row's paper by the glyph's coverage,
    // so that a small text is not taken for another with the same full pixels.
    for (int y = 0; y < aMask.iHeight; ++y) {
      const uint8_t* cover = aMask.iCoverage.data() + static_cast<size_t>(y) * aMask.iWidth;
      int paperX = -1;
      for (int x = 0; x < aMask.iWidth && paperX < 0; ++x)
        if (cover[x] == 0) paperX = x;
      if (paperX < 0) continue;
      const uint32_t paper = row[y * pitch + paperX];
      for (int x = 0; x < aMask.iWidth; ++x) {
        const int a = cover[x];
        const uint32_t got = row[y * pitch + x];
        for (int shift = 0; shift < 24; shift += 8) {
          const int want = (int((ink >> shift) & 0xFF) * a + int((paper >> shift) & 0xFF) * (255 - a)) / 255;
          if (std::abs(int((got >> shift) & 0xFF) - want) > 40) return false;
        }
      }
    }
    return true;
  }
  // The layout's fonts, then the plain sizes the toolbar labels take on the usual screens.
  CPwFont& FontAt(int32_t aIndex) {
    if (aIndex < CLayout::KFontCount) return iLayout->Font(aIndex);
    std::unique_ptr<CPwFont>& font = iLabelFonts[aIndex];
    if (!font) font.reset(CPwFont::NewL(EPwFontSans, 11 + aIndex - CLayout::KFontCount));
    return *font;
  }
  XTextMask Mask(const std::string& aText, int32_t aFont) {
    CPwFont& font = FontAt(aFont);
    const CPwString text = PwStringFromUtf8(aText);
    const int32_t width = font.TextWidth(text) + 4;
    const int32_t height = font.Height() + 4;
    std::unique_ptr<CPwBitmap> bitmap(CPwBitmap::NewL(width, height));
    bitmap->FillRect(TPwRect{0, 0, width, height}, 0x000000);
    (void)bitmap->DrawTextAt(text, font, 2, 2, 0xFFFFFF);
    // Trimmed to the ink's box, so that the text may sit close to other things.
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if ((bitmap->Pixel(x, y) & 0xFFFFFF) != 0) {
          left = std::min(left, x);
          right = std::max(right, x);
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
    XTextMask mask;
    if (right < 0) return mask;
    for (int y = top; y <= bottom; ++y)
      for (int x = left; x <= right; ++x) {
        const uint32_t v = bitmap->Pixel(x, y) & 0xFFFFFF;
        if (v == 0xFFFFFF) mask.iInk.emplace_back(x - left, y - top);
        if (v == 0) mask.iPaper.emplace_back(x - left, y - top);
      }
    mask.iWidth = right - left + 1;
    mask.iHeight = bottom - top + 1;
    for (int y = top; y <= bottom; ++y)
      for (int x = left; x <= right; ++x) mask.iCoverage.push_back(static_cast<uint8_t>(bitmap->Pixel(x, y) & 0xFF));
    return mask;
  }
  std::unique_ptr<CLayout> iLayout;
  std::map<std::string, std::vector<XTextMask>> iMasks;
  std::map<int32_t, std::unique_ptr<CPwFont>> iLabelFonts;
};

// Writes a picture as PNG.
inline bool SavePng(const XShot& aShot, const std::string& aPath) {
  if (aShot.Empty()) return false;
  std::unique_ptr<CPwBitmap> bitmap(CPwBitmap::NewL(aShot.iWidth, aShot.iHeight));
  for (int y = 0; y < aShot.iHeight; ++y)
    for (int x = 0; x < aShot.iWidth; ++x) bitmap->Pixels()[size_t(y) * aShot.iWidth + x] = 0xFF000000 | aShot.At(x, y);
  return bitmap->WritePng(PwStringFromUtf8(aPath)) == 0;
}

// The window program on the server, with the test's environment (folders, display).
class XProgram {
 public:
  XProgram(const std::string& aBinary, const std::string& aLog) {
    iPid = Spawn({aBinary}, nullptr, aLog);
    iStart = XClock::now();
  }
  ~XProgram() { Kill(); }
  XProgram(const XProgram&) = delete;
  XProgram& operator=(const XProgram&) = delete;
  pid_t Pid() const { return iPid; }
  XClock::time_point Started() const { return iStart; }

  // Still running (false once it ended; its status in Status()).
  bool Running() {
    if (iPid <= 0) return false;
    int status = 0;
    if (::waitpid(iPid, &status, WNOHANG) != iPid) return true;
    iStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    iPid = -1;
    return false;
  }
  int Status() const { return iStatus; }
  // Waits for the end: its status, or -1 when it still runs after aLimitMs (then killed).
  int WaitForExit(int aLimitMs) {
    const auto start = XClock::now();
    while (Running()) {
      if (MsSince(start) > aLimitMs) {
        Kill();
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return iStatus;
  }
  void Kill() {
    if (iPid <= 0) return;
    ::kill(iPid, SIGKILL);
    ::waitpid(iPid, nullptr, 0);
    iPid = -1;
    iStatus = 128 + SIGKILL;
  }

  // The program's window id once it is mapped, "" after aLimitMs.
  std::string Window(int aLimitMs = 20000) {
    const auto start = XClock::now();
    while (MsSince(start) < aLimitMs && Running()) {
      std::string out;
      if (RunTool({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(iPid), "--name", "^Pacewright"}, &out,
                  5000) == 0 &&
          !out.empty()) {
        iWindow = out.substr(0, out.find('\n'));
        return iWindow;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
  }

  // --- Input, as the X server delivers it to the focused window -----------------------------
  bool Key(const std::string& aKeys) {
    std::vector<std::string> argv{"xdotool", "key", "--delay", "30"};
    size_t from = 0;
    while (from < aKeys.size()) {
      size_t to = aKeys.find(' ', from);
      if (to == std::string::npos) to = aKeys.size();
      if (to > from) argv.push_back(aKeys.substr(from, to - from));
      from = to + 1;
    }
    return RunTool(argv) == 0;
  }
  bool Focus() { return RunTool({"xdotool", "windowfocus", iWindow}) == 0; }
  bool Tap(int aX, int aY) {
    return RunTool({"xdotool", "mousemove", "--window", iWindow, std::to_string(aX), std::to_string(aY), "click",
                    "1"}) == 0;
  }
  // Presses at the first point, moves through aSteps points to the second, releases there.
  bool Drag(int aX0, int aY0, int aX1, int aY1, int aSteps = 8) {
    std::vector<std::string> argv{"xdotool",          "mousemove", "--window", iWindow, std::to_string(aX0),
                                  std::to_string(aY0), "mousedown", "1"};
    for (int i = 1; i <= aSteps; ++i) {
      argv.insert(argv.end(), {"sleep", "0.03", "mousemove", "--window", iWindow,
                               std::to_string(aX0 + (aX1 - aX0) * i / aSteps),
                               std::to_string(aY0 + (aY1 - aY0) * i / aSteps)});
    }
    argv.insert(argv.end(), {"sleep", "0.05", "mouseup", "1"});
    return RunTool(argv) == 0;
  }
  bool Resize(int aWidth, int aHeight) {
    // At the top-left corner, so that the whole window is on the screen.
    return RunTool({"xdotool", "windowmove", iWindow, "0", "0", "windowsize", iWindow, std::to_string(aWidth),
                    std::to_string(aHeight)}) == 0;
  }

  // --- What it shows --------------------------------------------------------------------------
  XShot Shot() {
    std::string data;
    if (RunTool({"xwd", "-silent", "-id", iWindow}, &data, 10000) != 0) return XShot();
    return ParseXwd(data);
  }

 private:
  pid_t iPid = -1;
  int iStatus = -1;
  std::string iWindow;
  XClock::time_point iStart;
};

}  // namespace pwtest
