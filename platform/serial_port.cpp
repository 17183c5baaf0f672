#include "platform/serial_port.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

struct TBaudEntry {
  int32_t iBaud;
  speed_t iSpeed;
};

constexpr TBaudEntry KBaudTable[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200},   {230400, B230400},   {460800, B460800},
    {500000, B500000}, {576000, B576000}, {921600, B921600},   {1000000, B1000000},
};

bool SpeedOf(int32_t aBaud, speed_t& aSpeed) {
  for (const TBaudEntry& e : KBaudTable) {
    if (e.iBaud == aBaud) {
      aSpeed = e.iSpeed;
      return true;
    }
  }
  return false;
}

int32_t BaudOf(speed_t aSpeed) {
  for (const TBaudEntry& e : KBaudTable)
    if (e.iSpeed == aSpeed) return e.iBaud;
  return 0;
}

int RetryClose(int aFd) {
  // A close interrupted by a signal has still released the descriptor on Linux; never retry.
  return ::close(aFd);
}

}  // namespace

PwSerialPort::PwSerialPort() { iWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

PwSerialPort::~PwSerialPort() {
  Close();
  if (iWakeFd >= 0) RetryClose(iWakeFd);
}

bool PwSerialPort::Open(const char* aPath) {
  Close();
  int fd;
  do {
    fd = ::open(aPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  if (!::isatty(fd)) {
    // A plain file or a pipe cannot be configured or hung up; refuse it like a missing port.
    RetryClose(fd);
    errno = ENOTTY;
    return false;
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    // Exclusive use is not offered by every driver; go on without it.
  }
  iFd = fd;
  return true;
}

void PwSerialPort::Close() {
  if (iFd >= 0) {
    ::ioctl(iFd, TIOCNXCL);
    RetryClose(iFd);
    iFd = -1;
  }
}

bool PwSerialPort::Configure(int32_t aBaudRate) {
  if (iFd < 0) return false;
  termios t{};
  if (::tcgetattr(iFd, &t) != 0) return false;
  // Raw bytes as the device sends them. Linux turns XON/XOFF on for every new tty, which
  // would swallow 0x11/0x13 in the data and let a stray XOFF block our commands; devices that
  // want hardware flow control keep CRTSCTS as the port had it.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                                      IMAXBEL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  t.c_cflag |= CS8 | CREAD;
  // With the descriptor non-blocking, VMIN 1 makes an empty read fail with EAGAIN, so that a
  // read of 0 bytes means a hang-up only.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  speed_t speed;
  if (aBaudRate > 0 && SpeedOf(aBaudRate, speed)) {
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
  }
  return ::tcsetattr(iFd, TCSANOW, &t) == 0;
}

int32_t PwSerialPort::CurrentBaudRate() const {
  if (iFd < 0) return 0;
  termios t{};
  if (::tcgetattr(iFd, &t) != 0) return 0;
  return BaudOf(::cfgetispeed(&t));
}

void PwSerialPort::DiscardInput() {
  if (iFd >= 0) ::tcflush(iFd, TCIFLUSH);
}

bool PwSerialPort::DrainOutput(int32_t aTimeoutMs) {
  if (iFd < 0) return true;
  // tcdrain has no time limit, and a device that takes nothing would hold the reader forever.
  for (int32_t waited = 0;; waited += 2) {
    int queued = 0;
    if (::ioctl(iFd, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
    if (waited >= aTimeoutMs) return false;
    ::usleep(2000);
  }
}

uint32_t PwSerialPort::Wait(bool aWantWrite, int32_t aTimeoutMs) {
  pollfd fds[2];
  nfds_t count = 0;
  if (iWakeFd >= 0) fds[count++] = pollfd{iWakeFd, POLLIN, 0};
  const nfds_t portIndex = count;
  if (iFd >= 0) fds[count++] = pollfd{iFd, static_cast<short>(POLLIN | (aWantWrite ? POLLOUT : 0)), 0};
  if (count == 0) return 0;
  int n = ::poll(fds, count, aTimeoutMs < 0 ? -1 : aTimeoutMs);
  if (n < 0) return 0;
  if (n == 0) return ETimeout;
  uint32_t result = 0;
  if (iWakeFd >= 0 && (fds[0].revents & POLLIN)) result |= EWoken;
  if (iFd >= 0) {
    const short r = fds[portIndex].revents;
    if (r & POLLIN) result |= EReceived;
    if (r & POLLOUT) result |= EWritable;
    if (r & (POLLHUP | POLLERR | POLLNVAL)) result |= EHangUp;
  }
  return result;
}

int32_t PwSerialPort::Read(uint8_t* aBuffer, int32_t aMax) {
  if (iFd < 0) return -1;
  for (;;) {
    ssize_t n = ::read(iFd, aBuffer, static_cast<size_t>(aMax));
    if (n > 0) return static_cast<int32_t>(n);
    if (n == 0) return aMax > 0 ? -2 : 0;  // see Configure: 0 bytes is the end of the line
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    if (errno == EIO || errno == ENXIO || errno == ENODEV) return -2;
    return -1;
  }
}

int32_t PwSerialPort::Write(const uint8_t* aBytes, int32_t aLength) {
  if (iFd < 0) return -1;
  int32_t done = 0;
  while (done < aLength) {
    ssize_t n = ::write(iFd, aBytes + done, static_cast<size_t>(aLength - done));
    if (n > 0) {
      done += static_cast<int32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) return done > 0 ? done : -2;
    return done > 0 ? done : -1;
  }
  return done;
}

int32_t PwSerialPort::DsrState() const {
  if (iFd < 0) return EDsrUnknown;
  int lines = 0;
  if (::ioctl(iFd, TIOCMGET, &lines) != 0) return EDsrUnknown;
  return (lines & TIOCM_DSR) ? EDsrOn : EDsrOff;
}

void PwSerialPort::Interrupt() {
  if (iWakeFd < 0) return;
  uint64_t one = 1;
  ssize_t n;
  do {
    n = ::write(iWakeFd, &one, sizeof one);
  } while (n < 0 && errno == EINTR);
}

void PwSerialPort::ClearInterrupt() {
  if (iWakeFd < 0) return;
  uint64_t value;
  ssize_t n;
  do {
    n = ::read(iWakeFd, &value, sizeof value);
  } while (n < 0 && errno == EINTR);
}

bool PwSerialPort::StableName(const char* aDevice, char* aOut, size_t aOutSize) {
  if (aOutSize > 0) aOut[0] = 0;
  char target[PATH_MAX];
  if (!aDevice || !::realpath(aDevice, target)) return false;
  const char* folder = ::getenv("PACEWRIGHT_SERIAL_BY_ID");
  if (!folder || !*folder) folder = "/dev/serial/by-id";
  DIR* dir = ::opendir(folder);
  if (!dir) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const std::string link = std::string(folder) + "/" + entry->d_name;
    char resolved[PATH_MAX];
    if (!::realpath(link.c_str(), resolved) || std::strcmp(resolved, target) != 0) continue;
    if (link.size() + 1 > aOutSize) break;
    std::memcpy(aOut, link.c_str(), link.size() + 1);
    found = true;
    break;
  }
  ::closedir(dir);
  return found;
}
