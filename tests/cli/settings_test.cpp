// The settings over a shell: every item is listed with its key, value and allowed values, a
// value set is what the next run lists, and a value the settings editor would refuse is refused
// with the editor's reason while settings.dat keeps every byte.
#include <sys/stat.h>

#include <set>

#include "cli/cli_rig.h"

namespace pwclitest {
namespace {

const char* const KKeys[] = {"storage",
                             "timer-decimals",
                             "units",
                             "startup-warning",
                             "live-delta",
                             "gps-type",
                             "gps-bluetooth-device",
                             "gps-serial-port",
                             "gps-baudrate",
                             "gps-receiver-rate",
                             "gps-input-file",
                             "gpsd-host",
                             "gpsd-port",
                             "obd-type",
                             "obd-bluetooth-device",
                             "obd-serial-port",
                             "obd-baudrate",
                             "obd-high-priority-channels",
                             "obd-low-priority-channels",
                             "logger-type",
                             "logger-bluetooth-device",
                             "logger-serial-port",
                             "logger-baudrate",
                             "hilo-threshold",
                             "acceleration-limit",
                             "braking-limit"};

const Json* Item(const Json& aList, const std::string& aKey) {
  for (size_t i = 0; i < aList.Size(); ++i)
    if (aList[i]["key"].String() == aKey) return &aList[i];
  return nullptr;
}

// A world whose settings file is where the test can read it.
struct SettingsCli {
  SettingsCli() {
    ::mkdir(iCli.Work("appdata").c_str(), 0755);
    iCli.SetEnv("PACEWRIGHT_APPDATA", iCli.Work("appdata"));
    iNmea = iCli.WriteWork("drive.nmea", Framed("GPRMC,120000.00,A,4800.0,N,01100.0,E,0.0,0.0,010107,,") +
                                             Framed("GPGGA,120000.00,4800.0,N,01100.0,E,1,08,1.0,500.0,M,,M,,"));
  }
  std::string File() const { return iCli.Work("appdata") + "/settings.dat"; }
  Cli iCli;
  std::string iNmea;
};

TEST(CliSettings, EverySettingSetIsListedBackByTheNextRun) {
  SettingsCli world;
  Cli& cli = world.iCli;
  const Json before = cli.OkJson({"settings"});
  ASSERT_EQ(before.Size(), std::size(KKeys));
  for (size_t i = 0; i < std::size(KKeys); ++i) EXPECT_EQ(before[i]["key"].String(), KKeys[i]);
  // Defaults as the editor shows them, with their help texts.
  EXPECT_EQ((*Item(before, "gps-type"))["text"].String(), "Serial port GPS");
  EXPECT_EQ((*Item(before, "gps-serial-port"))["text"].String(), "COM4: /dev/ttyUSB3");
  EXPECT_EQ((*Item(before, "obd-high-priority-channels"))["value"].String(), "23,24");
  EXPECT_FALSE((*Item(before, "gps-input-file"))["visible"].Bool());
  EXPECT_EQ((*Item(before, "logger-type"))["help"].String(), "Datavane is currenly only Data Logger supported.");
  EXPECT_EQ((*Item(before, "gps-baudrate"))["allowed"].Size(), 8u);

  // A value for every key other than the one it has, in the forms a user types.
  std::map<std::string, std::string> typed = {
      {"storage", "My Documents"},
      {"gps-bluetooth-device", "00:1b:dc:0f:aa:01"},
      {"gps-serial-port", "COM12:"},
      {"gps-baudrate", "115200 baud"},
      {"gps-receiver-rate", "18 Hz"},
      {"gps-input-file", world.iNmea},
      {"gps-type", "Input file"},
      {"gpsd-host", " pi-car.local "},
      {"gpsd-port", "12947"},
      {"obd-high-priority-channels", "23, RPM,26"},
      {"obd-low-priority-channels", "none"},
      {"startup-warning", "off"},
      {"live-delta", "Off"},
      {"obd-serial-port", "21"},
  };
  std::map<std::string, std::string> stored = {
      {"storage", cli.Documents() + "/"},
      {"gps-bluetooth-device", "00:1B:DC:0F:AA:01"},
      {"gps-serial-port", "12"},
      {"gps-baudrate", "1152"},
      {"gps-receiver-rate", "18"},
      {"gps-input-file", world.iNmea},
      {"gps-type", "2"},
      {"gpsd-host", "pi-car.local"},
      {"gpsd-port", "12947"},
      {"obd-high-priority-channels", "23,24,26"},
      {"obd-low-priority-channels", "none"},
      {"startup-warning", "off"},
      {"live-delta", "off"},
      {"obd-serial-port", "21"},
  };
  for (size_t i = 0; i < before.Size(); ++i) {
    const Json& item = before[i];
    const std::string key = item["key"].String();
    if (typed.count(key)) continue;
    if (item["allowed"].Kind() == Json::EArray && !item["multiple"].Bool()) {
      // The last choice that differs from the current one.
      const Json& allowed = item["allowed"];
      for (size_t k = allowed.Size(); k-- > 0;)
        if (allowed[k]["value"].String() != item["value"].String()) {
          typed[key] = stored[key] = allowed[k]["value"].String();
          break;
        }
    } else {
      typed[key] = stored[key] = "00:00:00:00:00:2A";  // the other two devices
    }
  }
  ASSERT_EQ(typed.size(), std::size(KKeys));
  for (const auto& [key, value] : typed) {
    const RunResult set = cli.Ok({"settings", "set", key, value});
    EXPECT_EQ(set.iOut.rfind(key + " = ", 0), 0u) << set.iOut;
  }

  const Json after = cli.OkJson({"settings"});
  for (const char* key : KKeys) {
    const Json* item = Item(after, key);
    ASSERT_NE(item, nullptr) << key;
    EXPECT_EQ((*item)["value"].String(), stored[key]) << key;
  }
  EXPECT_EQ((*Item(after, "gps-baudrate"))["text"].String(), "115200 baud");
  EXPECT_EQ((*Item(after, "obd-high-priority-channels"))["text"].String(), "3 channels selected");
  EXPECT_EQ((*Item(after, "obd-low-priority-channels"))["text"].String(), "None selected");
  EXPECT_EQ((*Item(after, "gps-bluetooth-device"))["text"].String(), "Unknown");
  EXPECT_EQ((*Item(after, "gps-serial-port"))["text"].String(), "COM12: /dev/ttyACM2");
  EXPECT_EQ((*Item(after, "gps-input-file"))["text"].String(), "drive.nmea");
  // GPS type 2 shows the file and hides the port.
  EXPECT_TRUE((*Item(after, "gps-input-file"))["visible"].Bool());
  EXPECT_FALSE((*Item(after, "gps-serial-port"))["visible"].Bool());
  EXPECT_FALSE((*Item(after, "gpsd-host"))["visible"].Bool());
  // gpsd by its name: its host and port show, nothing else of the receiver does.
  EXPECT_EQ(cli.Ok({"settings", "set", "gps-type", "gpsd"}).iOut, "gps-type = 4 (gpsd)\n");
  const Json gpsd = cli.OkJson({"settings"});
  for (const char* key : {"gps-bluetooth-device", "gps-serial-port", "gps-baudrate", "gps-input-file"})
    EXPECT_FALSE((*Item(gpsd, key))["visible"].Bool()) << key;
  EXPECT_TRUE((*Item(gpsd, "gpsd-host"))["visible"].Bool());
  EXPECT_EQ((*Item(gpsd, "gpsd-port"))["text"].String(), "12947");
  EXPECT_TRUE((*Item(gpsd, "gpsd-port"))["allowed"].IsNull());
  EXPECT_EQ((*Item(gpsd, "gpsd-port"))["format"].String(), "1-65535");

  // The readable list says the same.
  const RunResult table = cli.Ok({"settings"});
  EXPECT_NE(table.iOut.find("1152 (115200 baud)"), std::string::npos) << table.iOut;
  EXPECT_NE(table.iOut.find("Hi/Lo speed threshold"), std::string::npos);
}

TEST(CliSettings, RefusedValuesAndWrongUsageLeaveTheFileAsItWas) {
  SettingsCli world;
  Cli& cli = world.iCli;
  // Nothing is written by a refusal, not even a first file.
  RunResult refused = cli.Run({"settings", "set", "gps-baudrate", "1000"});
  EXPECT_EQ(refused.iCode, 1);
  EXPECT_EQ(refused.iErr, "pacewright-cli: gps-baudrate: '1000' is not a choice of 'Baudrate'.\n");
  struct stat info;
  EXPECT_NE(::stat(world.File().c_str(), &info), 0);

  cli.Ok({"settings", "set", "timer-decimals", "100ths"});
  const std::string bytes = pwtest::ReadFileBytes(world.File());
  ASSERT_FALSE(bytes.empty());

  const std::string notes = cli.WriteWork("notes.txt", "lap 3 felt slow\n$ 12,00\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
      {{"gps-input-file", notes}, "gps-input-file: The input file '" + notes + "' holds no NMEA 0183 sentences."},
      {{"gps-input-file", cli.Work("missing.nmea")},
       "gps-input-file: Cannot read the input file '" + cli.Work("missing.nmea") + "'."},
      {{"gps-input-file", cli.Work("")}, "gps-input-file: Cannot read the input file '" + cli.Work("") + "'."},
      {{"gps-serial-port", "COM100:"}, "gps-serial-port: The serial port must be a number from 1 to 99, not 'COM100:'."},
      {{"obd-serial-port", "0"}, "obd-serial-port: The serial port must be a number from 1 to 99, not '0'."},
      {{"obd-high-priority-channels", "23,Warp factor"}, "obd-high-priority-channels: 'Warp factor' is not an OBD-II channel."},
      {{"obd-low-priority-channels", "4"}, "obd-low-priority-channels: '4' is not an OBD-II channel."},
      {{"gps-type", "0"}, "gps-type: '0' is not a choice of 'GPS type'."},
      {{"gpsd-host", "pi car"}, "gpsd-host: 'pi car' is not a host name or address."},
      {{"gpsd-port", "70000"}, "gpsd-port: The gpsd port must be a number from 1 to 65535, not '70000'."},
      {{"units", "imperial"}, "units: 'imperial' is not a choice of 'Units'."},
      {{"startup-warning", "maybe"}, "startup-warning: 'maybe' is neither on nor off."},
      {{"storage", "/nowhere/"}, "storage: '/nowhere/' is not a storage medium that is present now."},
      {{"logger-bluetooth-device", "00:11:22:33:44"},
       "logger-bluetooth-device: '00:11:22:33:44' is not a Bluetooth address (XX:XX:XX:XX:XX:XX)."},
  };
  for (const auto& [words, reason] : refusals) {
    const RunResult result = cli.Run({"settings", "set", words[0], words[1]});
    EXPECT_EQ(result.iCode, 1) << words[0] << " " << words[1];
    EXPECT_EQ(result.iErr, "pacewright-cli: " + reason + "\n");
    EXPECT_EQ(pwtest::ReadFileBytes(world.File()), bytes) << words[0];
  }

  const RunResult unknown = cli.Run({"settings", "set", "gps-baud", "1152"});
  EXPECT_EQ(unknown.iCode, 1);
  EXPECT_NE(unknown.iErr.find("unknown setting 'gps-baud'"), std::string::npos) << unknown.iErr;

  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"settings", "set", "gps-type"},
           {"settings", "set", "gps-type", "2", "3"},
           {"settings", "set"},
           {"settings", "gps-type"},
           {"settings", "--all"},
           {"settings", "set", "--json", "units", "1"}}) {
    const RunResult usage = cli.Run(words);
    EXPECT_EQ(usage.iCode, 2) << Cli::Describe(words) << usage;
    EXPECT_NE(usage.iErr.find("usage: pacewright-cli settings"), std::string::npos) << usage.iErr;
  }
  EXPECT_EQ(pwtest::ReadFileBytes(world.File()), bytes);

  // The help names the command and its forms.
  const RunResult help = cli.Ok({"help", "settings"});
  EXPECT_NE(help.iOut.find("settings set KEY VALUE"), std::string::npos) << help.iOut;
  EXPECT_NE(help.iOut.find("settings [--json]"), std::string::npos);
}

}  // namespace
}  // namespace pwclitest
