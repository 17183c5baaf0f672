// A new installation starts the GPS on the receiver that is plugged in: device nodes made in a
// folder of the test stand for /dev, so every family, the by-id links and the order among
// them can be had on any machine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "acquisition/port_map.h"
#include "platform/serial_devices.h"
#include "storage/settings.h"
#include "storage/settings_items.h"
#include "support/test_support.h"

namespace {

struct TFakeDev {
  TFakeDev() {
    ::mkdir((iDir.Path() + "/serial").c_str(), 0755);
    ::mkdir(By().c_str(), 0755);
  }
  std::string Root() const { return iDir.Path(); }
  std::string By() const { return iDir.Path() + "/serial/by-id"; }
  void Node(const std::string& aName) const { ASSERT_TRUE(pwtest::WriteFileBytes(Root() + "/" + aName, "")); }
  void Link(const std::string& aName, const std::string& aTarget) const {
    ASSERT_EQ(::symlink(aTarget.c_str(), (By() + "/" + aName).c_str()), 0);
  }
  std::vector<std::string> Visited() const {
    std::vector<std::string> paths;
    pwplat::ForEachReceiverDevice(
        Root().c_str(),
        [](void* aPaths, const char* aPath) {
          static_cast<std::vector<std::string>*>(aPaths)->push_back(aPath);
          return true;
        },
        &paths);
    return paths;
  }
  pwtest::TempDir iDir;
};

TEST(NewInstallation, TheFirstReceiverLikeDeviceIsPickedByFamilyThenNumberThenLink) {
  TFakeDev dev;
  EXPECT_EQ(pwports::FirstReceiverPort(dev.Root().c_str()), 0);
  EXPECT_EQ(pwports::FirstReceiverPort((dev.Root() + "/missing").c_str()), 0);
  // Built-in UARTs, consoles and look-alikes are no receivers.
  for (const char* name : {"ttyS0", "ttyAMA0", "tty1", "ttyUSB", "ttyUSBx", "rfcomm-1", ".ttyUSB0"}) dev.Node(name);
  EXPECT_EQ(dev.Visited(), std::vector<std::string>{});
  EXPECT_EQ(pwports::FirstReceiverPort(dev.Root().c_str()), 0);

  // A by-id link alone: the port of the device it leads to; a link to nothing is passed over.
  pwtest::TempDir elsewhere;
  ASSERT_TRUE(pwtest::WriteFileBytes(elsewhere.Path() + "/ttyUSB5", ""));
  dev.Link("usb-0000-gone", dev.Root() + "/ttyUSB7");
  dev.Link("usb-Prolific_GPS-if00-port0", elsewhere.Path() + "/ttyUSB5");
  EXPECT_EQ(pwports::FirstReceiverPort(dev.Root().c_str()), 6);

  dev.Node("rfcomm1");
  EXPECT_EQ(pwports::FirstReceiverPort(dev.Root().c_str()), 21);
  dev.Node("ttyACM3");
  dev.Node("ttyACM10");  // no port number stands for it
  EXPECT_EQ(pwports::FirstReceiverPort(dev.Root().c_str()), 13);
  dev.Node("ttyUSB10");
  dev.Node("ttyUSB2");
  EXPECT_EQ(pwports::FirstReceiverPort(dev.Root().c_str()), 3);
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath((elsewhere.Path() + "/ttyUSB5").c_str(), resolved), nullptr);
  const std::string root = dev.Root();
  EXPECT_EQ(dev.Visited(), (std::vector<std::string>{root + "/ttyUSB2", root + "/ttyUSB10", root + "/ttyACM3",
                                                     root + "/ttyACM10", root + "/rfcomm1", resolved}));

  EXPECT_EQ(pwports::PortOfDeviceName("ttyUSB0"), 1);
  EXPECT_EQ(pwports::PortOfDeviceName("ttyUSB8"), 9);
  EXPECT_EQ(pwports::PortOfDeviceName("ttyUSB9"), 0);
  EXPECT_EQ(pwports::PortOfDeviceName("rfcomm9"), 29);
  EXPECT_EQ(pwports::PortOfDeviceName("ttyS2"), 32);
  EXPECT_EQ(pwports::PortOfDeviceName("ttyUSB1a"), 0);
}

TEST(NewInstallation, OnlyASettingsFileThatIsNotThereYetTakesThePluggedInReceiver) {
  pwtest::TempDir appData;
  ::setenv("PACEWRIGHT_APPDATA", appData.Path().c_str(), 1);
  TFakeDev dev;
  dev.Node("ttyACM0");
  CSettings fresh(u"/docs/");
  EXPECT_FALSE(LoadSettingsOfInstallation(fresh, dev.Root().c_str()));
  EXPECT_EQ(fresh.Gps().iSerialPort, 10);
  EXPECT_EQ(fresh.Obd().iSerialPort, 5);
  ASSERT_EQ(fresh.SaveSafely(), 0);

  // Once there are settings, the port in them stays whatever is plugged in.
  dev.Node("ttyUSB0");
  CSettings later(u"/docs/");
  EXPECT_FALSE(LoadSettingsOfInstallation(later, dev.Root().c_str()));
  EXPECT_EQ(later.Gps().iSerialPort, 10);

  // Nothing plugged in: the fixed default.
  pwtest::TempDir otherData;
  ::setenv("PACEWRIGHT_APPDATA", otherData.Path().c_str(), 1);
  TFakeDev empty;
  CSettings none(u"/docs/");
  EXPECT_FALSE(LoadSettingsOfInstallation(none, empty.Root().c_str()));
  EXPECT_EQ(none.Gps().iSerialPort, 4);
  ::unsetenv("PACEWRIGHT_APPDATA");
}

}  // namespace
