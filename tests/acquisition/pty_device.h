// A simulated serial device for tests and benchmarks: a pseudo-terminal whose master side plays
// the device (writes what the device sends, reads what the program writes to it) and whose
// slave side is the port the program opens, reached through PACEWRIGHT_PORT_<N>.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "nmea_recorder.h"

namespace pwtest {

class TPtyDevice {
 public:
  TPtyDevice() {
    char name[256] = {};
    if (::openpty(&iMaster, &iSlave, name, nullptr, nullptr) != 0) return;
    iSlaveName = name;
    ::fcntl(iMaster, F_SETFD, FD_CLOEXEC);
    ::fcntl(iMaster, F_SETFL, ::fcntl(iMaster, F_GETFL) | O_NONBLOCK);
    ::fcntl(iSlave, F_SETFD, FD_CLOEXEC);
  }
  ~TPtyDevice() {
    StopReading();
    CloseMaster();
    CloseSlave();
  }
  TPtyDevice(const TPtyDevice&) = delete;
  TPtyDevice& operator=(const TPtyDevice&) = delete;

  bool IsOpen() const { return iMaster >= 0; }
  const std::string& SlaveName() const { return iSlaveName; }
  int Master() const { return iMaster; }
  // The test's own slave descriptor: keeps the pseudo-terminal alive while the program has
  // the port closed, and lets a test look at the line settings.
  int Slave() const { return iSlave; }

  // Points port aPort at this device.
  void MapPort(int aPort) const { MapPortTo(aPort, iSlaveName); }
  static void MapPortTo(int aPort, const std::string& aPath) {
    ::setenv(("PACEWRIGHT_PORT_" + std::to_string(aPort)).c_str(), aPath.c_str(), 1);
  }
  static void UnmapPort(int aPort) { ::unsetenv(("PACEWRIGHT_PORT_" + std::to_string(aPort)).c_str()); }

  // Writes everything (the device sending); false when the pseudo-terminal is gone or has
  // had no room for a second (nobody reads the port).
  bool Send(const std::string& aBytes) {
    size_t done = 0;
    while (done < aBytes.size()) {
      ssize_t n = ::write(iMaster, aBytes.data() + done, aBytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{iMaster, POLLOUT, 0};
        if (::poll(&p, 1, 1000) <= 0) return false;
      } else {
        return false;
      }
    }
    return true;
  }

  // Collects what the program writes to the device on a thread of its own.
  void StartReading() {
    iReading = true;
    iReader = std::thread([this] {
      char buffer[4096];
      while (iReading) {
        pollfd p{iMaster, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        if (p.revents & POLLIN) {
          ssize_t n = ::read(iMaster, buffer, sizeof buffer);
          if (n > 0) {
            std::lock_guard<std::mutex> guard(iLock);
            iReceived.append(buffer, static_cast<size_t>(n));
          } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
            break;
          }
        }
        // POLLHUP without data: no slave open at the moment (the program reopening); go on.
        if (!(p.revents & POLLIN)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }
  void StopReading() {
    iReading = false;
    if (iReader.joinable()) iReader.join();
  }
  std::string Received() {
    std::lock_guard<std::mutex> guard(iLock);
    return iReceived;
  }
  // Waits up to aTimeoutMs for aText among the bytes the program wrote.
  bool WaitForReceived(const std::string& aText, int aTimeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      if (Received().find(aText) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Received().find(aText) != std::string::npos;
  }

  // Closing the master is the cable being pulled: the slave side hangs up.
  void CloseMaster() {
    StopReading();
    if (iMaster >= 0) ::close(iMaster);
    iMaster = -1;
  }
  void CloseSlave() {
    if (iSlave >= 0) ::close(iSlave);
    iSlave = -1;
  }

 private:
  int iMaster = -1;
  int iSlave = -1;
  std::string iSlaveName;
  std::atomic<bool> iReading{false};
  std::thread iReader;
  std::mutex iLock;
  std::string iReceived;
};

// One epoch of a receiver: RMC and GGA at aCentiseconds after 12:00:00 (within the hour),
// moving slowly north, optionally with a GSV group.
inline std::string EpochAt(int aCentiseconds, bool aWithGsv = false) {
  const int cs = aCentiseconds % 360000;
  char time[32];
  std::snprintf(time, sizeof time, "12%02d%02d.%02d", cs / 6000, (cs / 100) % 60, cs % 100);
  char lat[32];
  std::snprintf(lat, sizeof lat, "48%07.4f", 7.0 + (aCentiseconds % 100000) * 0.00001);
  std::string out;
  out += Nmea(std::string("GPRMC,") + time + ",A," + lat + ",N,01135.0000,E,20.5,12.0,010624,,");
  out += Nmea(std::string("GPGGA,") + time + "," + lat + ",N,01135.0000,E,1,08,0.9,520.0,M,47.0,M,,");
  if (aWithGsv) {
    out += Nmea("GPGSV,3,1,12,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
    out += Nmea("GPGSV,3,2,12,15,40,083,46,17,17,308,41,19,07,344,39,22,22,228,45");
    out += Nmea("GPGSV,3,3,12,24,40,083,46,25,17,308,41,28,07,344,39,31,22,228,45");
  }
  return out;
}

// The same at aTenths tenths of a second (a 10 Hz receiver).
inline std::string Epoch(int aTenths, bool aWithGsv = false) { return EpochAt(aTenths * 10, aWithGsv); }

}  // namespace pwtest
