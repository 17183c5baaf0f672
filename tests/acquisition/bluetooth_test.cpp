// Bluetooth discovery: the device selection sequence against a scripted host (dialogs,
// settings, Bluetooth power), and the inquiry and discovery engines with and without a stack,
// driven through the scheduler loop.
#include "acquisition/bluetooth.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/scheduler.h"
#include "platform/loop_host.h"
#include "support/run_until.h"

namespace {

using namespace std::chrono_literals;

TPwBtAddr Address(uint8_t aLast) {
  TPwBtAddr a;
  a[0] = 0x00;
  a[1] = 0x1B;
  a[2] = 0xDC;
  a[5] = aLast;
  return a;
}

std::string Text(CPwStringC aText) {
  std::string out;
  for (int32_t i = 0; i < aText.Length(); ++i) out += static_cast<char>(aText.Ptr()[i]);
  return out;
}

// --- A scripted host -------------------------------------------------------------------------

class CScriptedHost : public MBluetoothSelectionHost, public MSelectBluetoothDevicesObserver {
 public:
  explicit CScriptedHost(MActiveSchedulerObserver* aScheduler = nullptr, MBluetoothStack* aStack = nullptr)
      : iDiscovery(aScheduler, aStack) {
    iSettings.iGpsType = MDeviceSettings::EGpsSerial;
    iSettings.iObdType = MDeviceSettings::EObdSerial;
    iSettings.iLoggerType = MDeviceSettings::ELoggerDatavaneSerial;
  }

  const MDeviceSettings& DeviceSettings() const override { return iSettings; }
  void StoredBluetoothDevice(int32_t aDevice, TPwBtAddr& aAddress, CPwString& aName) const override {
    aAddress = iStored[aDevice - 1];
    aName.Copy(iStoredNames[aDevice - 1]);
  }
  void SetStoredBluetoothDevice(int32_t aDevice, const TPwBtAddr& aAddress, CPwStringC aName) override {
    iStored[aDevice - 1] = aAddress;
    iStoredNames[aDevice - 1].Copy(aName);
    iEvents.push_back("store " + std::to_string(aDevice) + " " + Text(aName));
  }
  int32_t EnsureBluetoothOn() override { return iBluetoothOn; }
  CDiscoverServiceEngine& DiscoverServiceEngine() override { return iDiscovery; }
  int32_t SelectBluetoothDevice(CPwStringC aTitle, TPwBtAddr& aAddress, CPwString& aName) override {
    iEvents.push_back("search " + Text(aTitle));
    if (iChoices.empty()) return 0;
    aAddress = iChoices.front().first;
    aName.Copy(PwStringFromUtf8(iChoices.front().second));
    iChoices.erase(iChoices.begin());
    return 1;
  }
  void ShowProgress(CPwStringC aText, MProgressDialogObserver* aObserver) override {
    iEvents.push_back("progress " + Text(aText));
    iCancel = aObserver;
  }
  void HideProgress() override {
    iEvents.push_back("hide");
    iCancel = nullptr;
  }
  int32_t AskQuestion(CPwStringC aText) override {
    iEvents.push_back("ask " + Text(aText));
    const int32_t answer = iAnswers.empty() ? 0 : iAnswers.front();
    if (!iAnswers.empty()) iAnswers.erase(iAnswers.begin());
    return answer;
  }
  void ShowErrorNote(CPwStringC aText) override { iEvents.push_back("note " + Text(aText)); }

  void DevicesSelected(const TDeviceRecord& aGps, const TDeviceRecord& aObd, const TDeviceRecord& aLogger) override {
    iEvents.push_back("selected");
    iRecords[0] = aGps;
    iRecords[1] = aObd;
    iRecords[2] = aLogger;
  }
  void SelectionCancelled() override { iEvents.push_back("cancelled"); }

  TDeviceSettings iSettings;
  TPwBtAddr iStored[3];
  CPwString iStoredNames[3];
  int32_t iBluetoothOn = 1;
  std::vector<std::pair<TPwBtAddr, std::string>> iChoices;
  std::vector<int32_t> iAnswers;
  std::vector<std::string> iEvents;
  TDeviceRecord iRecords[3];
  MProgressDialogObserver* iCancel = nullptr;
  CDiscoverServiceEngine iDiscovery;
};

using Events = std::vector<std::string>;

TEST(SelectBluetoothDevices, SerialAndFileDevicesPassStraightThroughToDevicesSelected) {
  CScriptedHost host;
  host.iSettings.iGpsType = MDeviceSettings::EGpsInputFile;
  host.iStored[0] = Address(1);  // a stored Bluetooth device of another type changes nothing
  CSelectBluetoothDevices selection(host);
  selection.Start(&host, true, true, true);
  EXPECT_EQ(host.iEvents, Events{"selected"});
  for (const TDeviceRecord& record : host.iRecords) {
    EXPECT_EQ(record.iChannel, -1);
    EXPECT_FALSE(record.iAddress.IsSet());
  }
  EXPECT_EQ(selection.State(), CSelectBluetoothDevices::EIdle);
}

TEST(SelectBluetoothDevices, StoredGpsIsConnectedWithoutASearchAndStoredAgainOnSuccess) {
  CScriptedHost host;
  host.iSettings.iGpsType = MDeviceSettings::EGpsBluetooth;
  host.iStored[0] = Address(7);
  host.iStoredNames[0].Copy(u"Qstarz");
  CSelectBluetoothDevices selection(host);
  selection.Start(&host, true, true, true);
  EXPECT_EQ(host.iEvents, Events{"progress Connecting to GPS receiver Qstarz..."});
  EXPECT_EQ(selection.State(), CSelectBluetoothDevices::EWaitingForDiscovery);
  EXPECT_TRUE(host.iDiscovery.IsRunning());  // without a stack it never reports by itself
  EXPECT_EQ(host.iDiscovery.Address(), Address(7));
  host.iDiscovery.StopDiscovery();
  selection.ServiceFound(3);
  EXPECT_EQ(host.iEvents, (Events{"progress Connecting to GPS receiver Qstarz...", "store 1 Qstarz", "hide", "selected"}));
  EXPECT_EQ(host.iRecords[0].iAddress, Address(7));
  EXPECT_EQ(host.iRecords[0].iChannel, 3);
  EXPECT_EQ(host.iRecords[1].iChannel, -1);
  EXPECT_EQ(host.iRecords[2].iChannel, -1);
}

TEST(SelectBluetoothDevices, DeviceWithoutSerialServiceLeadsToTheSearchForAnother) {
  CScriptedHost host;
  host.iSettings.iObdType = MDeviceSettings::EObdBluetooth;
  host.iStored[1] = Address(2);
  host.iChoices.push_back({Address(9), "OBDKey"});
  CSelectBluetoothDevices selection(host);
  selection.Start(&host, true, true, true);
  EXPECT_EQ(host.iEvents, Events{"progress Connecting to OBD-II reader..."});  // no stored name
  selection.ServiceFound(-1);
  EXPECT_EQ(host.iEvents, (Events{"progress Connecting to OBD-II reader...", "hide",
                                  "note Selected device is not a OBD-II reader.", "search Select OBD-II reader",
                                  "progress Connecting to OBD-II reader OBDKey..."}));
  EXPECT_EQ(selection.CurrentAddress(), Address(9));
  selection.ServiceFound(1);
  EXPECT_EQ(host.iEvents.back(), "selected");
  EXPECT_EQ(host.iRecords[1].iAddress, Address(9));
  EXPECT_EQ(host.iRecords[1].iChannel, 1);
  EXPECT_EQ(host.iStored[1], Address(9));
  EXPECT_EQ(Text(host.iStoredNames[1]), "OBDKey");
}

TEST(SelectBluetoothDevices, UnreachableDeviceAsksToRetryTheSameOrChooseAnother) {
  CScriptedHost host;
  host.iSettings.iLoggerType = MDeviceSettings::ELoggerDatavaneBluetooth;
  host.iStored[2] = Address(3);
  host.iStoredNames[2].Copy(u"DV");
  host.iAnswers = {1, 0};
  CSelectBluetoothDevices selection(host);
  selection.Start(&host, false, false, true);
  selection.DiscoveryFailed(-34);
  // "Yes": the same device again.
  EXPECT_EQ(host.iEvents, (Events{"progress Connecting to Data Logger DV...", "hide",
                                  "ask Could not reach the Data Logger. Try same device again?",
                                  "progress Connecting to Data Logger DV..."}));
  host.iEvents.clear();
  selection.DiscoveryFailed(-34);
  // "No": the search, which the user cancels.
  EXPECT_EQ(host.iEvents, (Events{"hide", "ask Could not reach the Data Logger. Try same device again?",
                                  "search Select Data Logger", "cancelled"}));
  EXPECT_EQ(selection.State(), CSelectBluetoothDevices::EIdle);
}

TEST(SelectBluetoothDevices, CancellingTheProgressEndsTheSequence) {
  CScriptedHost host;
  host.iSettings.iGpsType = MDeviceSettings::EGpsBluetooth;
  host.iStored[0] = Address(7);
  CSelectBluetoothDevices selection(host);
  selection.Start(&host, true, false, false);
  ASSERT_NE(host.iCancel, nullptr);
  host.iCancel->Cancel();
  EXPECT_EQ(host.iEvents, (Events{"progress Connecting to GPS receiver...", "hide", "cancelled"}));
  EXPECT_FALSE(host.iDiscovery.IsRunning());
  // Late results and a second cancel are ignored.
  selection.ServiceFound(4);
  selection.Cancel();
  EXPECT_EQ(host.iEvents.size(), 3u);
}

TEST(SelectBluetoothDevices, NoStoredDeviceSearchesAndBluetoothOffCancels) {
  {
    CScriptedHost host;
    host.iSettings.iGpsType = MDeviceSettings::EGpsBluetooth;
    CSelectBluetoothDevices selection(host);
    selection.Start(&host, true, true, true);
    EXPECT_EQ(host.iEvents, (Events{"search Select GPS receiver", "cancelled"}));
  }
  {
    CScriptedHost host;
    host.iSettings.iGpsType = MDeviceSettings::EGpsBluetooth;
    host.iStored[0] = Address(1);
    host.iBluetoothOn = 0;
    CSelectBluetoothDevices selection(host);
    selection.Start(&host, true, true, true);
    EXPECT_EQ(host.iEvents, Events{"cancelled"});
  }
  {
    // A Bluetooth device that is not needed (already running) is not asked for.
    CScriptedHost host;
    host.iSettings.iGpsType = MDeviceSettings::EGpsBluetooth;
    host.iSettings.iObdType = MDeviceSettings::EObdBluetooth;
    CSelectBluetoothDevices selection(host);
    selection.Start(&host, false, false, true);
    EXPECT_EQ(host.iEvents, Events{"selected"});
  }
}

TEST(SelectBluetoothDevices, StartingAgainForgetsTheEarlierRun) {
  CScriptedHost host;
  host.iSettings.iGpsType = MDeviceSettings::EGpsBluetooth;
  host.iStored[0] = Address(7);
  CSelectBluetoothDevices selection(host);
  selection.Start(&host, true, false, false);
  selection.ServiceFound(3);
  ASSERT_EQ(host.iRecords[0].iChannel, 3);
  host.iEvents.clear();
  selection.Start(&host, false, false, false);
  EXPECT_EQ(host.iEvents, Events{"selected"});
  EXPECT_EQ(host.iRecords[0].iChannel, -1);
  EXPECT_FALSE(host.iRecords[0].iAddress.IsSet());
}

// --- Engines with a stack -------------------------------------------------------------------

// A stack scripted by the test: devices to find, an end code, a channel or failure code for
// discoveries, and an optional hold that only CancelLookups releases.
class CFakeStack : public MBluetoothStack {
 public:
  int32_t InquireDevices(MBluetoothInquirySink& aSink) override {
    for (const auto& [address, name] : iDevices) {
      CPwString text = PwStringFromUtf8(name);
      aSink.DeviceFound(address, text);
    }
    WaitIfHeld();
    return iCancelled ? -3 : iInquiryEnd;
  }
  int32_t DiscoverSerialPort(const TPwBtAddr& aAddress, int32_t aParameter, int32_t& aChannel) override {
    iDiscovered = aAddress;
    iParameter = aParameter;
    WaitIfHeld();
    aChannel = iChannel;
    return iDiscoveryResult;
  }
  void CancelLookups() override {
    std::lock_guard<std::mutex> guard(iMutex);
    iCancelled = true;
    iCond.notify_all();
  }
  void WaitIfHeld() {
    std::unique_lock<std::mutex> lock(iMutex);
    if (iHold) iCond.wait_for(lock, 30s, [&] { return iCancelled.load(); });
  }

  std::vector<std::pair<TPwBtAddr, std::string>> iDevices;
  int32_t iInquiryEnd = KSearchEnded;
  int32_t iChannel = 3;
  int32_t iDiscoveryResult = 0;
  bool iHold = false;
  std::atomic<bool> iCancelled{false};
  TPwBtAddr iDiscovered;
  int32_t iParameter = -1;
  std::mutex iMutex;
  std::condition_variable iCond;
};

class CInquiryLog : public MInquireDevicesObserver {
 public:
  void DeviceFound(CPwStringC aName, const TPwBtAddr& aAddress) override {
    CPwString text;
    if (aName.IsEmpty())
      aAddress.AppendText(text);
    else
      text.Copy(aName);
    iEvents.push_back("found " + Text(text));
    if (iStopOnFirst && iEngine) iEngine->StopInquiry();
  }
  void InquiryFinished(int32_t aCode) override { iEvents.push_back("finished " + std::to_string(aCode)); }
  std::vector<std::string> iEvents;
  bool iStopOnFirst = false;
  CInquireDevicesEngine* iEngine = nullptr;
};

class CDiscoveryLog : public MDiscoverServiceObserver {
 public:
  void DiscoveryFailed(int32_t aCode) override { iEvents.push_back("failed " + std::to_string(aCode)); }
  void ServiceFound(int32_t aChannel) override { iEvents.push_back("channel " + std::to_string(aChannel)); }
  std::vector<std::string> iEvents;
};

class BluetoothEngineTest : public ::testing::Test {
 protected:
  // Runs the loop until aDone holds or the time passes.
  bool RunUntil(const std::function<bool()>& aDone, int aTimeoutMs) {
    return pwtest::RunLoopUntil(iHost, iScheduler, aDone, std::chrono::milliseconds(aTimeoutMs), {},
                                std::chrono::milliseconds(5));
  }

  PwHeadlessLoopHost iHost;
  CPwScheduler iScheduler{iHost};
  CFakeStack iStack;
};

TEST_F(BluetoothEngineTest, InquiryReportsEveryDeviceInOrderThenTheNormalEndAsZero) {
  iStack.iDevices = {{Address(1), "Qstarz BT-Q818"}, {Address(0xAB), ""}, {Address(3), "OBDKey"}};
  CInquireDevicesEngine engine(&iScheduler, &iStack);
  CInquiryLog log;
  engine.StartInquiry(&log);
  EXPECT_TRUE(engine.IsRunning());
  engine.StartInquiry(&log);  // ignored while running
  ASSERT_TRUE(RunUntil([&] { return !engine.IsRunning(); }, 5000));
  EXPECT_EQ(log.iEvents, (std::vector<std::string>{"found Qstarz BT-Q818", "found 00:1B:DC:00:00:AB",
                                                   "found OBDKey", "finished 0"}));
  // Searching again starts from an empty list; a platform failure is passed on as it is.
  iStack.iDevices.resize(1);
  iStack.iInquiryEnd = -18;
  log.iEvents.clear();
  engine.StartInquiry(&log);
  ASSERT_TRUE(RunUntil([&] { return !engine.IsRunning(); }, 5000));
  EXPECT_EQ(log.iEvents, (std::vector<std::string>{"found Qstarz BT-Q818", "finished -18"}));
}

TEST_F(BluetoothEngineTest, StoppingASearchEndsItPromptlyAndReportsNothingMore) {
  iStack.iDevices = {{Address(1), "A"}, {Address(2), "B"}};
  iStack.iHold = true;
  CInquireDevicesEngine engine(&iScheduler, &iStack);
  CInquiryLog log;
  log.iEngine = &engine;
  log.iStopOnFirst = true;  // the dialog's selection stops the search from its callback
  engine.StartInquiry(&log);
  ASSERT_TRUE(RunUntil([&] { return !log.iEvents.empty(); }, 5000));
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(engine.IsRunning());
  EXPECT_TRUE(iStack.iCancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  RunUntil([] { return false; }, 100);
  EXPECT_EQ(log.iEvents, std::vector<std::string>{"found A"});
}

TEST_F(BluetoothEngineTest, DiscoveryReportsTheChannelOrTheFailure) {
  CDiscoverServiceEngine engine(&iScheduler, &iStack);
  CDiscoveryLog log;
  engine.StartDiscovery(&log, 0, Address(5));
  ASSERT_TRUE(RunUntil([&] { return !log.iEvents.empty(); }, 5000));
  EXPECT_EQ(log.iEvents, std::vector<std::string>{"channel 3"});
  EXPECT_EQ(iStack.iDiscovered, Address(5));
  EXPECT_EQ(iStack.iParameter, 0);
  iStack.iChannel = -1;
  engine.StartDiscovery(&log, 0, Address(5));
  ASSERT_TRUE(RunUntil([&] { return log.iEvents.size() == 2; }, 5000));
  iStack.iDiscoveryResult = -6;
  engine.StartDiscovery(&log, 0, Address(5));
  ASSERT_TRUE(RunUntil([&] { return log.iEvents.size() == 3; }, 5000));
  EXPECT_EQ(log.iEvents, (std::vector<std::string>{"channel 3", "channel -1", "failed -6"}));
  EXPECT_FALSE(engine.IsRunning());
}

TEST_F(BluetoothEngineTest, WithoutAStackTheWorkersEndAtOnceWithoutReporting) {
  CInquireDevicesEngine inquiry(&iScheduler, nullptr);
  CDiscoverServiceEngine discovery(&iScheduler, nullptr);
  CInquiryLog inquiryLog;
  CDiscoveryLog discoveryLog;
  inquiry.StartInquiry(&inquiryLog);
  discovery.StartDiscovery(&discoveryLog, 0, Address(1));
  RunUntil([] { return false; }, 200);
  EXPECT_TRUE(inquiryLog.iEvents.empty());
  EXPECT_TRUE(discoveryLog.iEvents.empty());
  const auto before = std::chrono::steady_clock::now();
  inquiry.StopInquiry();
  discovery.StopDiscovery();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  // And they can be started again.
  inquiry.StartInquiry(&inquiryLog);
  EXPECT_TRUE(inquiry.IsRunning());
}

TEST_F(BluetoothEngineTest, WholeSequenceConnectsAStoredReaderThroughTheDiscoveryWorker) {
  iStack.iChannel = 5;
  CScriptedHost host(&iScheduler, &iStack);
  host.iSettings.iObdType = MDeviceSettings::EObdBluetooth;
  host.iStored[1] = Address(4);
  host.iStoredNames[1].Copy(u"CarPal");
  CSelectBluetoothDevices selection(host);
  selection.Start(&host, true, true, true);
  ASSERT_TRUE(RunUntil([&] { return !host.iEvents.empty() && host.iEvents.back() == "selected"; }, 5000));
  EXPECT_EQ(host.iEvents, (std::vector<std::string>{"progress Connecting to OBD-II reader CarPal...", "store 2 CarPal",
                                                    "hide", "selected"}));
  EXPECT_EQ(host.iRecords[1].iAddress, Address(4));
  EXPECT_EQ(host.iRecords[1].iChannel, 5);
}

TEST_F(BluetoothEngineTest, DestroyingTheSequenceWhileConnectingStopsTheDiscovery) {
  iStack.iHold = true;
  CScriptedHost host(&iScheduler, &iStack);
  host.iSettings.iGpsType = MDeviceSettings::EGpsBluetooth;
  host.iStored[0] = Address(4);
  auto before = std::chrono::steady_clock::now();
  {
    CSelectBluetoothDevices selection(host);
    selection.Start(&host, true, false, false);
    EXPECT_TRUE(host.iDiscovery.IsRunning());
    std::this_thread::sleep_for(20ms);  // the lookup is under way
    before = std::chrono::steady_clock::now();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  EXPECT_FALSE(host.iDiscovery.IsRunning());
  EXPECT_TRUE(iStack.iCancelled);
  RunUntil([] { return false; }, 100);
  EXPECT_EQ(host.iEvents, std::vector<std::string>{"progress Connecting to GPS receiver..."});
}

}  // namespace
