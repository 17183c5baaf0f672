// record, ports.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "acquisition/core.h"
#include "acquisition/port_map.h"
#include "cli/cli_format.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/session_words.h"
#include "cli/text_table.h"
#include "foundation/paths.h"
#include "platform/file_io.h"
#include "platform/interrupt_watch.h"
#include "platform/serial_devices.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"
#include "timing/track_session.h"

namespace {

// Exit code the quit message of Ctrl-C carries (the shell's for SIGINT).
constexpr int32_t KInterruptQuitCode = 130;
// Ports an unnamed device is given when it needs a number: the range the fixed table leaves
// free, from the top.
constexpr int32_t KFirstSparePort = 50;

// The device core of a recording: starts the track session's recording when the devices
// connect, and notices the end of a replayed file.
class CRecordCore final : public CCore, public MObdPollingPlan {
 public:
  static CRecordCore* NewL(CHeadlessModel& aModel) {
    return PwConstructL(new CRecordCore(aModel), [&](CRecordCore* aSelf) { aSelf->ConstructL(&aModel.Scheduler()); });
  }

  // Where the loss and return of the device are told (standard error), under aLabel.
  void SetMessages(TCliContext* aContext, const std::string& aLabel) {
    iContext = aContext;
    iLabel = aLabel;
  }

  void DeviceLost(TDataKind aKind) override {
    if (aKind == TDataKind::Gps && iContext) iContext->Note(CliText(R_CLI_DEVICE_LOST, iLabel));
  }
  void DeviceBack(TDataKind aKind) override {
    if (aKind != TDataKind::Gps) return;
    if (iSession) iSession->BeginTraceSegment();
    if (iContext) iContext->Note(CliText(R_CLI_DEVICE_BACK, iLabel));
  }

  void SetSession(CTrackSession* aSession) {
    iSession = aSession;
    SetParsedDataObserver(aSession);
  }
  int32_t StartCode() const { return iStartCode; }
  bool Replaying() const { return DeviceSettings().GpsType() == MDeviceSettings::EGpsInputFile; }

  bool PrepareRecording() override {
    if (!iSession) return false;
    int32_t started = 0;
    iStartCode = Trap([&] { started = iSession->StartRecording(); });
    if (iStartCode == KErrNone && !started) iStartCode = KErrCannotOpen;
    return iStartCode == KErrNone;
  }

  // The rate the baud-rate search found is kept for the next recording, as the window does.
  void GpsBaudRateFound(int32_t aBaud) override {
    CSettings& settings = iModel.MutableSettings();
    if (settings.GpsFoundBaudRate() == aBaud / 100) return;
    settings.GpsFoundBaudRate() = aBaud / 100;
    (void)settings.SaveSafely();
  }

  void UpdateViews(int32_t) override {
    TellReceiverNote();
    // A replay ends with its file: the engine reports Connected, then Stopped after the last
    // bytes were handed over.
    const CDataEngine* gps = Connection(EGpsConnection);
    if (!gps || !Replaying()) return;
    if (gps->LastReportedState() == TEngineState::Connected) iReplayStarted = true;
    if (iReplayStarted && gps->LastReportedState() == TEngineState::Stopped) iModel.StopLoop();
  }

  // MObdPollingPlan: the track session's plan goes to the OBD reader through the client.
  void ClearObdChannels() override { GpsClient().ClearObdChannels(); }
  void AddObdChannel(int32_t aPid, int32_t aPriority) override { GpsClient().AddObdChannel(aPid, aPriority); }

 private:
  explicit CRecordCore(CHeadlessModel& aModel) : iModel(aModel) {}

  // What the reader did to the receiver (set to a rate, found its baud rate ...), once.
  void TellReceiverNote() {
    const CDataEngine* gps = Connection(EGpsConnection);
    if (!gps || !iContext || gps->GpsReceiverReport().iNoteCount == iNotesTold) return;
    CPwString text;
    if (!GpsReceiverNote(text)) return;
    iNotesTold = gps->GpsReceiverReport().iNoteCount;
    iContext->Note(iLabel + ": " + PwToUtf8(text));
  }

  CHeadlessModel& iModel;
  CTrackSession* iSession = nullptr;
  TCliContext* iContext = nullptr;
  std::string iLabel;
  int32_t iStartCode = KErrNone;
  bool iReplayStarted = false;
  uint32_t iNotesTold = 0;
};

// "7", "COM7" or "COM7:" as a port number, else 0.
int32_t PortNumberOf(const std::string& aText) {
  std::string digits = aText;
  if (digits.size() > 3 && (digits.compare(0, 3, "COM") == 0 || digits.compare(0, 3, "com") == 0)) {
    digits = digits.substr(3);
    if (!digits.empty() && digits.back() == ':') digits.pop_back();
  }
  if (digits.empty() || digits.size() > 2) return 0;
  for (const char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  const int32_t port = std::atoi(digits.c_str());
  return port >= pwports::KFirstPort && port <= pwports::KLastPort ? port : 0;
}

std::string DeviceOfPort(int32_t aPort) {
  CPwByteArray path;
  if (!pwports::DevicePath(aPort, path)) return std::string();
  return std::string(reinterpret_cast<const char*>(path.Ptr()), static_cast<size_t>(path.Length()));
}

// The port number that stands for a device path: one already mapped to it, else a spare
// number pointed at it through the environment, as a user would set it.
int32_t PortForDevice(const std::string& aDevice) {
  for (int32_t port = pwports::KFirstPort; port <= pwports::KLastPort; ++port)
    if (DeviceOfPort(port) == aDevice) return port;
  for (int32_t port = pwports::KLastPort; port >= KFirstSparePort; --port) {
    if (!DeviceOfPort(port).empty()) continue;
    CPwByteArray variable;
    pwports::OverrideVariable(port, variable);
    const std::string name(reinterpret_cast<const char*>(variable.Ptr()), static_cast<size_t>(variable.Length()));
    ::setenv(name.c_str(), aDevice.c_str(), 1);
    return port;
  }
  throw TUserError(CliText(R_CLI_NO_FREE_PORT, aDevice));
}

}  // namespace

void RunRecord(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(0, 0);
  const std::string input = aArgs.Required("input");
  const int kinds = (aArgs.Has("track") ? 1 : 0) + (aArgs.Has("test") ? 1 : 0) + (aArgs.Has("log") ? 1 : 0);
  if (kinds == 0) aArgs.Fail(CliText(R_CLI_RECORD_NEEDS_KIND));
  if (kinds > 1) aArgs.Fail(CliText(R_CLI_OPTIONS_EXCLUSIVE, "--track, --test, --log"));
  const int32_t delay = aArgs.Integer("replay-delay", 0, 10000).value_or(TFileReplayPacing().iReadWaitMs);

  // What the input is: a port number, a device, or a file to replay as the GPS.
  TDeviceSettings devices;
  devices.iObdType = MDeviceSettings::EObdDisabled;
  devices.iLoggerType = MDeviceSettings::ELoggerDisabled;
  std::string inputLabel = input;
  std::error_code error;
  if (input.rfind("gpsd://", 0) == 0) {
    // gpsd://HOST[:PORT]: the receiver a gpsd daemon serves.
    std::string host = input.substr(7);
    devices.iGpsdPort = 2947;
    if (const size_t colon = host.rfind(':'); colon != std::string::npos) {
      const std::string digits = host.substr(colon + 1);
      const int value = digits.empty() || digits.size() > 5 ? 0 : std::atoi(digits.c_str());
      if (value <= 0 || value > 65535 || digits.find_first_not_of("0123456789") != std::string::npos)
        throw TUserError(CliText(R_CLI_CANNOT_READ, input, std::strerror(EINVAL)));
      devices.iGpsdPort = value;
      host.resize(colon);
    }
    devices.iGpsType = MDeviceSettings::EGpsGpsd;
    devices.iGpsdHost.Copy(PwStringFromUtf8(host.empty() ? "localhost" : host));
  } else if (const int32_t port = PortNumberOf(input)) {
    devices.iGpsType = MDeviceSettings::EGpsSerial;
    devices.iGpsPort = port;
    devices.iGpsReceiverRate = aContext.Model().Settings().GpsReceiverRate();
    devices.iGpsFoundBaud = aContext.Model().Settings().GpsFoundBaudRate();
    CPwString label;
    pwports::AppendPortLabel(port, label);
    inputLabel = Utf8(label);
  } else if (const pwplat::TInputProbe probe = pwplat::ProbeInput(input.c_str()); probe.iKind == pwplat::EInputDevice) {
    devices.iGpsType = MDeviceSettings::EGpsSerial;
    devices.iGpsPort = PortForDevice(input);
    devices.iGpsReceiverRate = aContext.Model().Settings().GpsReceiverRate();
    devices.iGpsFoundBaud = aContext.Model().Settings().GpsFoundBaudRate();
  } else if (probe.iKind == pwplat::EInputFile) {
    if (probe.iReadError != 0) throw TUserError(CliText(R_CLI_CANNOT_READ, input, std::strerror(probe.iReadError)));
    devices.iGpsType = MDeviceSettings::EGpsInputFile;
    std::filesystem::path absolute = std::filesystem::absolute(input, error);
    devices.iInputFile.Copy(PwStringFromUtf8(error ? input : absolute.string()));
  } else if (input.rfind("/dev/", 0) == 0) {
    throw TUserError(CliText(R_CLI_NO_DEVICE, input));
  } else {
    throw TUserError(CliText(R_CLI_CANNOT_READ, input, std::strerror(ENOENT)));
  }

  CHeadlessModel& model = aContext.Model();
  std::unique_ptr<CSessionInfo> chosen(new CSessionInfo);
  int32_t type = ESessionDataLogging;
  if (const std::optional<std::string> track = aArgs.Value("track"); track && IsAutomaticTrack(*track)) {
    chosen->SetTrackName(CTrackSession::KAutomaticTrack);
    type = ESessionLapTiming;
  } else if (track) {
    const int32_t index = model.Tracks().Find(PwStringFromUtf8(*track));
    if (index < 0) throw TUserError(CliText(R_CLI_NO_TRACK, *track));
    chosen->SetTrackName(model.Tracks().At(index).Name());
    type = ESessionLapTiming;
  } else if (const std::optional<std::string> test = aArgs.Value("test")) {
    chosen->SetTestName(model.Tests().At(FindTestIndex(model.Tests(), *test))->Name());
    type = ESessionPerformance;
  }
  chosen->SetSessionType(type);
  chosen->SetTitle(PwStringFromUtf8(aArgs.ValueOr("title", std::filesystem::path(input).filename().string())));
  chosen->SetDriver(PwStringFromUtf8(aArgs.ValueOr("driver", "")));
  chosen->SetSaveNmea(model.Settings().SaveNmea());

  const CPwString root(model.StorageRoot());
  if (!EnsureFolders(root)) ThrowWriteFailure(root, CliText(R_CLI_NO_STORAGE, Utf8(root)));
  // Declared before the core, so the model lets go of the core's state after the core is gone
  // on every way out.
  struct TRestore {
    CHeadlessModel& iModel;
    ~TRestore() { iModel.UseOwnDeviceState(); }
  } restore{model};
  std::unique_ptr<CRecordCore> core(CRecordCore::NewL(model));
  core->SetDeviceSettings(&devices);
  TFileReplayPacing pacing;
  // A replay from the shell starts at once; the pauses of the application's replay stand for
  // a receiver warming up.
  pacing.iOpenWaitMs = 0;
  pacing.iFirstReadWaitMs = 0;
  pacing.iReadWaitMs = delay;
  core->SetFileReplayPacing(pacing);
  model.UseDeviceState(core->ObdChannels(), core->SlowBearing());
  model.SetPollingPlan(core.get());

  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(model));
  auto detach = [&] {
    core->StopAllDevices();
    core->SetSession(nullptr);
  };
  if (Trap([&] { session->NewSession(*chosen, root); }) != KErrNone)
    ThrowWriteFailure(root, CliText(R_CLI_NO_STORAGE, Utf8(root)));
  session->StartTiming();
  core->SetSession(session.get());

  core->SetMessages(&aContext, inputLabel);
  bool away = false;
  {
    CInterruptWatch watch([&model] { model.Host().PostQuit(KInterruptQuitCode); });
    core->ConnectDevices(TDeviceRecord(), TDeviceRecord(), TDeviceRecord());
    if (!session->IsRecording()) {
      detach();
      throw TUserError(CliTextN(R_CLI_NOT_RECORDED, core->StartCode()));
    }
    if (aContext.Interactive())
      aContext.Note(CliText(R_CLI_RECORDING, Utf8(session->Info().Identifier()), inputLabel));
    const int32_t failure = Trap([&] { model.RunLoop(); });
    away = core->DeviceAway(TDataKind::Gps);
    // Whatever ended the loop, what was recorded is kept: devices first, then the files.
    detach();
    const int32_t saved = session->CloseSession();
    if (failure != KErrNone || saved != KErrNone) {
      const int32_t code = failure != KErrNone ? failure : saved;
      if (code == KErrNoMemory) throw TUserError(CliText(R_MEMORY_FULL));
      ThrowWriteFailure(root, CliTextN(R_CLI_INTERNAL_ERROR, code));
    }
  }
  const int32_t positions = session->SampleCount();
  if (aContext.Interactive()) aContext.Note(CliTextN(R_CLI_RECORDED, positions));
  if (!session->DetectionNote().IsEmpty()) aContext.Note(Utf8(session->DetectionNote()));
  PrintNewSession(aContext, aArgs, session->Info().Identifier(), positions);
  // The session is saved either way, but a recording that ended without its device did not
  // end the way the user meant it to.
  if (away) throw TUserError(CliText(R_CLI_INTERRUPTED_AWAY, inputLabel));
}

void RunPorts(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(0, 0);
  const bool json = aArgs.Has("json");
  CJsonWriter writer;
  CTextTable table;
  writer.BeginArray();
  table.AddColumn(CliText(R_CLI_COL_PORT));
  table.AddColumn(CliText(R_CLI_COL_DEVICE));
  table.AddColumn(CliText(R_CLI_COL_PRESENT));
  table.AddColumn(CliText(R_CLI_COL_DEFAULT));
  // The port a new installation would start the GPS on.
  const int32_t first = pwports::FirstReceiverPort(pwplat::ReceiverDeviceRoot());
  for (int32_t port = pwports::KFirstPort; port <= pwports::KLastPort; ++port) {
    const std::string device = DeviceOfPort(port);
    if (device.empty()) continue;
    CPwString name;
    pwports::AppendPortName(port, name);
    const bool present = pwports::DeviceExists(port);
    writer.BeginObject();
    writer.Member("port", port);
    writer.Member("name", name);
    writer.Member("device", device);
    writer.Member("present", present);
    writer.Member("default", port == first);
    writer.EndObject();
    table.AddRow({Utf8(name), device, YesNo(present), port == first ? YesNo(true) : std::string()});
  }
  writer.EndArray();
  if (json)
    aContext.PrintJson(writer);
  else
    aContext.Print(table.Render());
}
