// A u-blox receiver on a pseudo-terminal, for tests: it sends NMEA at its fix rate and baud
// rate (as talker "GN" until told otherwise), answers UBX polls and configuration (older chips:
// CFG-PRT, CFG-NMEA, CFG-MSG, CFG-RATE; M10:
// CFG-VALSET) with correct checksums and ACKs, and changes its output rate and baud rate as it
// is told. A pseudo-terminal carries bytes at any rate, so the simulator puts its bytes on the
// line at the pace of its baud rate, reads the line settings of the port (tcgetattr) and, as a
// mismatched UART would, turns what it sends into noise and ignores what it is sent while the
// port's rate differs from its own. An epoch that does not fit into its output buffer is lost.
#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/ubx_frame.h"
#include "pty_device.h"

namespace pwtest {

class TUbloxSimulator final : public pwubx::MUbxFrameObserver {
 public:
  enum TChip { ELegacy, EM10 };
  // ERefusingRate takes every change but the fix rate, so what it took must be put back.
  enum TBehaviour { ENormal, ERefusing, ESilent, ERefusingRate };
  using TClock = std::chrono::steady_clock;

  TUbloxSimulator(TChip aChip, TBehaviour aBehaviour, int aBaud) : iChip(aChip), iBehaviour(aBehaviour), iBaud(aBaud) {
    // A receiver's power-on output: every standard sentence once a second.
    for (uint8_t id : {pwubx::ENmeaGga, pwubx::ENmeaGll, pwubx::ENmeaGsa, pwubx::ENmeaGsv, pwubx::ENmeaRmc,
                       pwubx::ENmeaVtg})
      iMessageRates[id] = 1;
  }
  ~TUbloxSimulator() { Stop(); }

  TPtyDevice& Device() { return iDevice; }
  // Sets the port's own rate (a USB serial adapter starts at 9600) and starts sending.
  void Start(int aPortBaud, bool aBanner = true) {
    termios t{};
    ::tcgetattr(iDevice.Slave(), &t);
    ::cfsetispeed(&t, Speed(aPortBaud));
    ::cfsetospeed(&t, Speed(aPortBaud));
    ::tcsetattr(iDevice.Slave(), TCSANOW, &t);
    iBanner = aBanner;
    iRunning = true;
    iThread = std::thread([this] { Main(); });
  }
  void Stop() {
    iRunning = false;
    if (iThread.joinable()) iThread.join();
  }

  int Baud() const { return iBaud.load(); }
  int MeasMs() const { return iMeasMs.load(); }
  int MessageRate(uint8_t aId) {
    std::lock_guard<std::mutex> guard(iLock);
    return iMessageRates[aId];
  }
  // Configuration messages it took (ACKed) and refused.
  int Acked() const { return iAcked.load(); }
  int Refused() const { return iRefused.load(); }
  // Ms from Start until the receiver ran at aMeasMs and aBaud (-1: not yet).
  int64_t MsUntil(int aMeasMs, int aBaud) {
    std::lock_guard<std::mutex> guard(iLock);
    for (const auto& [ms, state] : iHistory)
      if (state.first == aMeasMs && state.second == aBaud) return ms;
    return -1;
  }
  int DroppedEpochs() const { return iDroppedEpochs.load(); }
  std::string Talker() {
    std::lock_guard<std::mutex> guard(iLock);
    return iTalker;
  }

  static std::string Nmea(const std::string& aBody) {
    uint8_t sum = 0;
    for (char c : aBody) sum ^= static_cast<uint8_t>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + aBody + tail;
  }

  // --- MUbxFrameObserver
  void UbxFrameReceived(const pwubx::TUbxFrame& aFrame) override {
    const std::string payload(reinterpret_cast<const char*>(aFrame.iPayload), static_cast<size_t>(aFrame.iLength));
    Handle(aFrame.iClass, aFrame.iId, payload);
  }

 private:
  static speed_t Speed(int aBaud) {
    switch (aBaud) {
      case 4800: return B4800;
      case 9600: return B9600;
      case 19200: return B19200;
      case 38400: return B38400;
      case 57600: return B57600;
      case 115200: return B115200;
      case 230400: return B230400;
      default: return B9600;
    }
  }
  int LineBaud() {
    termios t{};
    if (::tcgetattr(iDevice.Slave(), &t) != 0) return 0;
    const speed_t s = ::cfgetospeed(&t);
    for (int b : {4800, 9600, 19200, 38400, 57600, 115200, 230400})
      if (Speed(b) == s) return b;
    return 0;
  }
  int64_t Ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - iStart).count();
  }
  void Record() { iHistory.push_back({Ms(), {iMeasMs.load(), iBaud.load()}}); }

  // Queues bytes for the receiver's UART, which Pump puts on the line at its rate.
  void Send(const std::string& aBytes) { iQueue += aBytes; }
  // What the UART has sent since the last call, as a real one would at its baud rate: noise
  // while the port listens at another rate.
  void Pump() {
    const int64_t now = UsNow();
    if (iQueue.empty()) {
      iLinePumpUs = now;
      return;
    }
    const int64_t bytes = (now - iLinePumpUs) * iBaud / 10 / 1000000;
    if (bytes <= 0) return;
    iLinePumpUs += bytes * 10 * 1000000 / iBaud;
    const size_t n = std::min(static_cast<size_t>(bytes), iQueue.size());
    std::string out = iQueue.substr(0, n);
    iQueue.erase(0, n);
    if (LineBaud() != iBaud) {
      for (char& c : out) {
        iNoiseSeed = iNoiseSeed * 1103515245u + 12345u;
        c = static_cast<char>(0x80 | (iNoiseSeed >> 16));
      }
    }
    iDevice.Send(out);
  }
  int64_t UsNow() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(TClock::now() - iStart).count();
  }
  void SendFrame(uint8_t aClass, uint8_t aId, const std::string& aPayload) {
    CPwByteArray out;
    pwubx::AppendFrame(out, aClass, aId, reinterpret_cast<const uint8_t*>(aPayload.data()),
                       static_cast<int32_t>(aPayload.size()));
    Send(std::string(reinterpret_cast<const char*>(out.Ptr()), static_cast<size_t>(out.Length())));
  }
  void Ack(uint8_t aClass, uint8_t aId, bool aAck) {
    const std::string payload{static_cast<char>(aClass), static_cast<char>(aId)};
    SendFrame(pwubx::EClassAck, aAck ? pwubx::EAckAck : pwubx::EAckNak, payload);
    (aAck ? iAcked : iRefused)++;
  }
  // A port change: the receiver's UART takes the new rate, and the ACK follows at it once the
  // receiver has settled.
  void ChangeBaud(int aBaud, uint8_t aId) {
    iBaud = aBaud;
    {
      std::lock_guard<std::mutex> guard(iLock);
      Record();
    }
    iDelayedAck = aId;
    iDelayedAckAt = Ms() + 50;
  }

  void Handle(uint8_t aClass, uint8_t aId, const std::string& aPayload) {
    using namespace pwubx;
    if (iBehaviour == ESilent) return;
    if (aClass == EClassMon && aId == EMonVer && aPayload.empty()) {
      std::string ver(40, '\0');
      const std::string sw = iChip == EM10 ? "ROM SPG 5.10 (7b202e)" : "ROM CORE 3.01 (107888)";
      const std::string hw = iChip == EM10 ? "000A0000" : "00080000";
      ver.replace(0, sw.size(), sw);
      ver.replace(30, hw.size(), hw);
      for (const std::string ext : {iChip == EM10 ? "PROTVER=34.10" : "PROTVER=18.00", "GPS;GLO;GAL;BDS"}) {
        std::string field(30, '\0');
        field.replace(0, ext.size(), ext);
        ver += field;
      }
      SendFrame(EClassMon, EMonVer, ver);
      return;
    }
    if (aClass != EClassCfg) return;
    const bool legacyMessage = aId == ECfgPrt || aId == ECfgMsg || aId == ECfgRate || aId == ECfgNmea;
    if ((iChip == EM10 && legacyMessage) || (iChip == ELegacy && aId == ECfgValset)) {
      Ack(aClass, aId, false);  // not a message of this generation
      return;
    }
    const bool poll = (aId == ECfgPrt && aPayload.size() <= 1) || (aId == ECfgMsg && aPayload.size() == 2) ||
                      (aId == ECfgRate && aPayload.empty()) || (aId == ECfgNmea && aPayload.empty());
    if (poll) {
      std::string answer;
      if (aId == ECfgPrt) {
        answer.assign(20, '\0');
        uint8_t* p = reinterpret_cast<uint8_t*>(answer.data());
        p[0] = 1;
        Put32(p + 4, 0x08D0);
        Put32(p + 8, static_cast<uint32_t>(iBaud.load()));
        Put16(p + 12, 0x07);
        Put16(p + 14, 0x03);
      } else if (aId == ECfgNmea) {
        answer.assign(20, '\0');
        answer[1] = 0x41;  // NMEA 4.1
        answer[9] = iTalker == "GP" ? 1 : 0;
      } else if (aId == ECfgMsg) {
        answer.assign(8, '\0');
        answer[0] = aPayload[0];
        answer[1] = aPayload[1];
        answer[3] = static_cast<char>(MessageRate(static_cast<uint8_t>(aPayload[1])));  // UART1
      } else {
        answer.assign(6, '\0');
        uint8_t* p = reinterpret_cast<uint8_t*>(answer.data());
        Put16(p, static_cast<uint32_t>(iMeasMs.load()));
        Put16(p + 2, 1);
        Put16(p + 4, 1);
      }
      SendFrame(EClassCfg, aId, answer);
      Ack(aClass, aId, true);
      return;
    }
    if (iBehaviour == ERefusing || (iBehaviour == ERefusingRate && aId == ECfgRate)) {
      Ack(aClass, aId, false);
      return;
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(aPayload.data());
    if (aId == ECfgPrt && aPayload.size() == 20) {
      ChangeBaud(static_cast<int>(Get32(p + 8)), aId);
      return;
    }
    if (aId == ECfgMsg && (aPayload.size() == 3 || aPayload.size() == 8)) {
      std::lock_guard<std::mutex> guard(iLock);
      iMessageRates[p[1]] = aPayload.size() == 3 ? p[2] : p[3];
    } else if (aId == ECfgNmea && aPayload.size() == 20) {
      std::lock_guard<std::mutex> guard(iLock);
      iTalker = p[9] == 1 ? "GP" : "GN";
    } else if (aId == ECfgRate && aPayload.size() == 6) {
      iMeasMs = Get16(p);
      std::lock_guard<std::mutex> guard(iLock);
      Record();
    } else if (aId == ECfgValset && aPayload.size() >= 4) {
      int newBaud = 0;
      for (size_t at = 4; at + 4 <= aPayload.size();) {
        const uint32_t key = Get32(p + at);
        const int size = (key >> 28) & 7;
        const size_t width = size == 4 ? 4 : size == 3 ? 2 : 1;
        if (at + 4 + width > aPayload.size()) break;
        const uint32_t value = width == 4 ? Get32(p + at + 4) : width == 2 ? Get16(p + at + 4) : p[at + 4];
        at += 4 + width;
        std::lock_guard<std::mutex> guard(iLock);
        switch (key) {
          case 0x40520001: newBaud = static_cast<int>(value); break;
          case 0x30210001: iMeasMs = static_cast<int>(value); Record(); break;
          case 0x209100bb: iMessageRates[ENmeaGga] = static_cast<int>(value); break;
          case 0x209100ca: iMessageRates[ENmeaGll] = static_cast<int>(value); break;
          case 0x209100c0: iMessageRates[ENmeaGsa] = static_cast<int>(value); break;
          case 0x209100c5: iMessageRates[ENmeaGsv] = static_cast<int>(value); break;
          case 0x209100ac: iMessageRates[ENmeaRmc] = static_cast<int>(value); break;
          case 0x209100b1: iMessageRates[ENmeaVtg] = static_cast<int>(value); break;
          case 0x20930031: iTalker = value == 1 ? "GP" : "GN"; break;
          default: break;
        }
      }
      if (newBaud > 0) {
        ChangeBaud(newBaud, aId);
        return;
      }
    } else {
      Ack(aClass, aId, false);
      return;
    }
    Ack(aClass, aId, true);
  }

  std::string Epoch(int aNumber) {
    const int64_t ms = 12 * 3600000LL + static_cast<int64_t>(aNumber) * iMeasMs.load();
    char time[16];
    std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(ms / 3600000 % 24),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000 / 10));
    const std::string t = time;
    std::map<uint8_t, int> rates;
    std::string talker;
    {
      std::lock_guard<std::mutex> guard(iLock);
      rates = iMessageRates;
      talker = iTalker;
    }
    auto due = [&](uint8_t aId) { return rates[aId] > 0 && aNumber % rates[aId] == 0; };
    std::string out;
    if (due(pwubx::ENmeaRmc)) out += Nmea(talker + "RMC," + t + ",A,4807.0380,N,01131.0000,E,45.1,084.4,010624,,,A");
    if (due(pwubx::ENmeaVtg)) out += Nmea(talker + "VTG,084.4,T,,M,45.1,N,83.5,K,A");
    if (due(pwubx::ENmeaGga)) out += Nmea(talker + "GGA," + t + ",4807.0380,N,01131.0000,E,1,09,0.9,545.4,M,46.9,M,,");
    if (due(pwubx::ENmeaGsa)) out += Nmea(talker + "GSA,A,3,04,05,09,12,24,25,29,31,32,,,,1.8,0.9,1.5");
    if (due(pwubx::ENmeaGsv)) {
      out += Nmea("GPGSV,3,1,10,04,45,123,40,05,30,045,38,09,60,270,42,12,15,310,30");
      out += Nmea("GPGSV,3,2,10,24,50,080,41,25,20,200,35,29,70,150,44,31,10,020,28");
      out += Nmea("GPGSV,3,3,10,32,35,330,37,02,05,100,");
    }
    if (due(pwubx::ENmeaGll)) out += Nmea(talker + "GLL,4807.0380,N,01131.0000,E," + t + ",A,A");
    return out;
  }

  void Main() {
    iStart = TClock::now();
    {
      std::lock_guard<std::mutex> guard(iLock);
      Record();
    }
    if (iBanner) {
      Send(Nmea("GPTXT,01,01,02,u-blox ag - www.u-blox.com"));
      Send(Nmea(std::string("GPTXT,01,01,02,HW ") + (iChip == EM10 ? "UBX-M10050 000A0000" : "UBX-M8030 00080000")));
    }
    pwubx::TUbxStreamSplitter splitter;
    int64_t lastEpochMs = -100000;
    int number = 0;
    while (iRunning) {
      char buffer[1024];
      const ssize_t n = ::read(iDevice.Master(), buffer, sizeof buffer);
      if (n > 0 && LineBaud() == iBaud) {
        CPwByteArray text;
        splitter.Split(reinterpret_cast<const uint8_t*>(buffer), static_cast<int32_t>(n), text, this);
      } else if (n > 0) {
        splitter.Reset();  // a mismatched UART hears noise
      }
      if (iDelayedAck >= 0 && Ms() >= iDelayedAckAt) {
        const uint8_t id = static_cast<uint8_t>(iDelayedAck);
        iDelayedAck = -1;
        Ack(pwubx::EClassCfg, id, true);
      }
      const int64_t now = Ms();
      if (now >= lastEpochMs + iMeasMs.load()) {
        const std::string epoch = Epoch(number++);
        // An epoch the line has no time for is lost, as in a real receiver's output queue.
        if (iQueue.size() < KQueueLimit) Send(epoch);
        else ++iDroppedEpochs;
        lastEpochMs = now - lastEpochMs > 2 * iMeasMs.load() ? now : lastEpochMs + iMeasMs.load();
      }
      Pump();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  TPtyDevice iDevice;
  const TChip iChip;
  const TBehaviour iBehaviour;
  std::atomic<int> iBaud;
  std::atomic<int> iMeasMs{1000};
  std::mutex iLock;
  std::map<uint8_t, int> iMessageRates;
  // A multi-constellation receiver talks as "GN" until told otherwise.
  std::string iTalker = "GN";
  std::vector<std::pair<int64_t, std::pair<int, int>>> iHistory;
  std::atomic<int> iAcked{0};
  std::atomic<int> iRefused{0};
  std::atomic<int> iDroppedEpochs{0};
  std::atomic<bool> iRunning{false};
  bool iBanner = true;
  int iDelayedAck = -1;
  int64_t iDelayedAckAt = 0;
  static constexpr size_t KQueueLimit = 1024;  // the receiver's output buffer
  std::string iQueue;
  int64_t iLinePumpUs = 0;
  uint32_t iNoiseSeed = 99;
  TClock::time_point iStart;
  std::thread iThread;
};

}  // namespace pwtest
