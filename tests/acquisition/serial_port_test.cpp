// The tty layer under the device readers, against pseudo-terminals: what it refuses to open,
// raw 8-N-1 without echo or flow control, waking a blocked wait, and how a hang-up shows.
#include "platform/serial_port.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "acquisition/port_map.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "pty_device.h"
#include "support/test_support.h"

namespace {

using namespace std::chrono_literals;
using pwtest::TPtyDevice;

std::string ReadAll(PwSerialPort& aPort, size_t aWanted, int aTimeoutMs = 2000) {
  std::string out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs);
  uint8_t buffer[512];
  while (out.size() < aWanted && std::chrono::steady_clock::now() < end) {
    if (!(aPort.Wait(false, 100) & PwSerialPort::EReceived)) continue;
    const int32_t n = aPort.Read(buffer, sizeof buffer);
    if (n > 0) out.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
    if (n < 0) break;
  }
  return out;
}

TEST(SerialPortTest, OnlyExistingTerminalsOpen) {
  PwSerialPort port;
  EXPECT_FALSE(port.Open("/dev/pacewright-missing"));
  EXPECT_FALSE(port.IsOpen());
  pwtest::TempDir dir;
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "file", "x"));
  EXPECT_FALSE(port.Open((dir / "file").c_str()));  // a file is no device
  EXPECT_FALSE(port.Open(dir.Path().c_str()));
  EXPECT_FALSE(port.Configure(9600));
  EXPECT_EQ(port.Read(nullptr, 0), -1);
  EXPECT_EQ(port.DsrState(), PwSerialPort::EDsrUnknown);

  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  ASSERT_TRUE(port.Open(device.SlaveName().c_str()));
  EXPECT_TRUE(port.IsOpen());
  // Claimed exclusively: a second open fails (root may open it anyway).
  if (::geteuid() != 0) {
    PwSerialPort second;
    EXPECT_FALSE(second.Open(device.SlaveName().c_str()));
  }
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  PwSerialPort again;
  EXPECT_TRUE(again.Open(device.SlaveName().c_str()));  // released on close
}

TEST(SerialPortTest, RawEightNoneOnePassesEveryByteBothWaysWithoutEcho) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  PwSerialPort port;
  ASSERT_TRUE(port.Open(device.SlaveName().c_str()));
  ASSERT_TRUE(port.Configure(57600));
  EXPECT_EQ(port.CurrentBaudRate(), 57600);
  ASSERT_TRUE(port.Configure(0));
  EXPECT_EQ(port.CurrentBaudRate(), 57600);  // 0 keeps the rate

  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  all += "\r\n\x11\x13\x03\x04\x1a";  // CR LF untranslated, XON/XOFF, ^C, ^D, ^Z are data
  ASSERT_TRUE(device.Send(all));
  EXPECT_EQ(ReadAll(port, all.size()), all);

  // Output is not post-processed (LF stays LF) and input is not echoed back.
  device.StartReading();
  const std::string command = "$PMTK400*36\r\n\n";
  EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>(command.data()), static_cast<int32_t>(command.size())),
            static_cast<int32_t>(command.size()));
  ASSERT_TRUE(device.WaitForReceived(command, 2000));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(device.Received(), command);
  EXPECT_EQ(port.DsrState(), PwSerialPort::EDsrUnknown);  // no modem lines on a pseudo-terminal
}

TEST(SerialPortTest, InterruptWakesABlockedWaitFromAnotherThread) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  PwSerialPort port;
  ASSERT_TRUE(port.Open(device.SlaveName().c_str()));
  ASSERT_TRUE(port.Configure(9600));
  std::thread waker([&] {
    std::this_thread::sleep_for(50ms);
    port.Interrupt();
  });
  const uint32_t events = port.Wait(false, -1);
  waker.join();
  EXPECT_TRUE(events & PwSerialPort::EWoken);
  // Stays pending until cleared, also while the port is closed.
  EXPECT_TRUE(port.Wait(false, 0) & PwSerialPort::EWoken);
  port.ClearInterrupt();
  EXPECT_EQ(port.Wait(false, 10), PwSerialPort::ETimeout);
  port.Close();
  port.Interrupt();
  EXPECT_EQ(port.Wait(false, 10), PwSerialPort::EWoken);
  port.ClearInterrupt();
  uint8_t byte;
  EXPECT_EQ(port.Read(&byte, 1), -1);
}

TEST(SerialPortTest, ClosedMasterShowsAsHangUpAfterTheBytesAlreadyRead) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  PwSerialPort port;
  ASSERT_TRUE(port.Open(device.SlaveName().c_str()));
  ASSERT_TRUE(port.Configure(9600));
  device.CloseSlave();
  ASSERT_TRUE(device.Send("$GPGGA,1\r\n"));
  EXPECT_EQ(ReadAll(port, 10), "$GPGGA,1\r\n");
  device.CloseMaster();
  const uint32_t events = port.Wait(false, 2000);
  EXPECT_TRUE(events & PwSerialPort::EHangUp) << events;
  uint8_t buffer[16];
  EXPECT_EQ(port.Read(buffer, sizeof buffer), -2);
  const uint8_t x = 'x';
  EXPECT_LT(port.Write(&x, 1), 0);
  // The device is gone: it cannot be opened again.
  port.Close();
  EXPECT_FALSE(port.Open(device.SlaveName().c_str()));
}

TEST(SerialPortTest, WritesWhatFitsWhenTheDeviceDoesNotRead) {
  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  PwSerialPort port;
  ASSERT_TRUE(port.Open(device.SlaveName().c_str()));
  ASSERT_TRUE(port.Configure(9600));
  std::string big(1 << 20, 'A');
  const int32_t written = port.Write(reinterpret_cast<const uint8_t*>(big.data()), static_cast<int32_t>(big.size()));
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<int32_t>(big.size()));  // never blocks the reader
  // A full line is not reported writable. The kernel may still move some of what was written
  // across to the device's side after the write returned, so top up until nothing fits.
  bool full = false;
  for (int i = 0; i < 200 && !full; ++i) {
    EXPECT_GE(port.Write(reinterpret_cast<const uint8_t*>(big.data()), static_cast<int32_t>(big.size())), 0);
    full = !(port.Wait(true, 20) & PwSerialPort::EWritable);
  }
  EXPECT_TRUE(full);
}

// --- Port numbers ----------------------------------------------------------------------------

std::string PathOf(int32_t aPort) {
  CPwByteArray path;
  if (!pwports::DevicePath(aPort, path)) return "-";
  return std::string(path.View());
}

std::string LabelOf(int32_t aPort) {
  CPwString label;
  pwports::AppendPortLabel(aPort, label);
  CPwByteArray utf8;
  utf8.AppendUtf8(label);
  return std::string(utf8.View());
}

TEST(PortMapTest, NumbersPickDeviceFamiliesByTensAndTheEnvironmentOverrides) {
  for (int n = 1; n <= 99; ++n) TPtyDevice::UnmapPort(n);
  EXPECT_EQ(PathOf(1), "/dev/ttyUSB0");
  EXPECT_EQ(PathOf(9), "/dev/ttyUSB8");
  EXPECT_EQ(PathOf(10), "/dev/ttyACM0");
  EXPECT_EQ(PathOf(19), "/dev/ttyACM9");
  EXPECT_EQ(PathOf(20), "/dev/rfcomm0");
  EXPECT_EQ(PathOf(23), "/dev/rfcomm3");
  EXPECT_EQ(PathOf(30), "/dev/ttyS0");
  EXPECT_EQ(PathOf(41), "/dev/ttyAMA1");
  EXPECT_EQ(PathOf(50), "-");
  EXPECT_EQ(PathOf(99), "-");
  EXPECT_EQ(PathOf(0), "-");
  EXPECT_EQ(PathOf(100), "-");
  EXPECT_EQ(PathOf(-3), "-");

  EXPECT_EQ(LabelOf(3), "COM3: /dev/ttyUSB2");
  EXPECT_EQ(LabelOf(55), "COM55: (no device)");
  CPwString name;
  pwports::AppendPortName(12, name);
  EXPECT_TRUE(name == CPwStringC(u"COM12:"));

  TPtyDevice::MapPortTo(55, "/dev/serial/by-id/usb-gps");
  TPtyDevice::MapPortTo(3, "/dev/pts/7");
  EXPECT_EQ(PathOf(55), "/dev/serial/by-id/usb-gps");
  EXPECT_EQ(PathOf(3), "/dev/pts/7");
  EXPECT_EQ(LabelOf(55), "COM55: /dev/serial/by-id/usb-gps");
  TPtyDevice::MapPortTo(3, "");  // empty: the table again
  EXPECT_EQ(PathOf(3), "/dev/ttyUSB2");
  ::setenv("PACEWRIGHT_PORT_100", "/dev/null", 1);
  EXPECT_EQ(PathOf(100), "-");  // outside the settings' range
  ::unsetenv("PACEWRIGHT_PORT_100");

  TPtyDevice device;
  ASSERT_TRUE(device.IsOpen());
  device.MapPort(97);
  EXPECT_TRUE(pwports::DeviceExists(97));
  EXPECT_FALSE(pwports::DeviceExists(55));
  int32_t ports[99];
  const int32_t count = pwports::ExistingPorts(ports, 99);
  ASSERT_GE(count, 1);
  EXPECT_EQ(ports[count - 1], 97);
  EXPECT_EQ(pwports::ExistingPorts(ports, 0), 0);
  for (int n = 1; n <= 99; ++n) TPtyDevice::UnmapPort(n);
}

}  // namespace
