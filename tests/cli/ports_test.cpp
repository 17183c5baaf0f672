// The receiver a new installation starts on, as the command line shows it: 'ports' marks the
// first receiver-like device plugged in, and the settings of a new installation take it
// while stored settings keep theirs. Device nodes made in a folder of the test stand for /dev.
#include <sys/stat.h>

#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

std::vector<double> DefaultPorts(Cli& aCli) {
  const Json ports = aCli.OkJson({"ports"});
  std::vector<double> marked;
  for (size_t i = 0; i < ports.Size(); ++i)
    if (ports[i]["default"].Bool()) marked.push_back(ports[i]["port"].Number());
  return marked;
}

std::string SerialPortSetting(Cli& aCli) {
  const Json settings = aCli.OkJson({"settings"});
  for (size_t i = 0; i < settings.Size(); ++i)
    if (settings[i]["key"].String() == "gps-serial-port") return settings[i]["value"].String();
  return "";
}

TEST(CliPorts, TheFirstReceiverPluggedInIsMarkedAndANewInstallationTakesIt) {
  Cli cli;
  const std::string dev = cli.Work("dev");
  ASSERT_EQ(::mkdir(dev.c_str(), 0755), 0);
  cli.SetEnv("PACEWRIGHT_DEVICES", dev);
  EXPECT_EQ(DefaultPorts(cli), std::vector<double>{});
  EXPECT_EQ(SerialPortSetting(cli), "4");

  cli.WriteWork("dev/ttyS0", "");
  cli.WriteWork("dev/rfcomm0", "");
  cli.WriteWork("dev/ttyACM1", "");
  EXPECT_EQ(DefaultPorts(cli), std::vector<double>{11});
  const RunResult table = cli.Ok({"ports"});
  EXPECT_NE(table.iOut.find("COM11:  /dev/ttyACM1  no       yes"), std::string::npos) << table.iOut;
  EXPECT_EQ(SerialPortSetting(cli), "11");

  // Once something is stored, the stored port stays whatever is plugged in.
  cli.Ok({"settings", "set", "units", "English"});
  cli.WriteWork("dev/ttyUSB0", "");
  EXPECT_EQ(DefaultPorts(cli), std::vector<double>{1});
  EXPECT_EQ(SerialPortSetting(cli), "11");
}

}  // namespace
}  // namespace pwclitest
