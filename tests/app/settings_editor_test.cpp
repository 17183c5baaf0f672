// The settings editor on the real model and storage, driven with keys from the start menu: the
// summary, the pages under their tabs, the items that come and go with the device types, a
// baud rate and a channel choice stored as numbers, a refused input file (with the reason the
// command line gives too), the high/low speed page opened alone, and what "Back" saves. The
// command line's "settings set" and the editor share one file: the window started afterwards
// shows what the command line stored.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "acquisition/gps_client.h"
#include "app/dialogs/dialog_controls.h"
#include "app/views/main_view.h"
#include "app/views/settings_editor_view.h"
#include "foundation/drives.h"
#include "gui_harness.h"
#include "storage/settings.h"
#include "storage/settings_items.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t KEnter = 0xF800, KArrowLeft = 0xF801, KArrowRight = 0xF802, KDown = 0xF804,
                  KLeftSoftkey = 0xF805, KEsc = 0x1B;

std::string Utf8(CPwStringC aText) { return PwToUtf8(aText); }

// Runs the built command line with the test's folders: its exit status and standard error.
int RunCli(const std::string& aArgs, std::string* aErr = nullptr) {
  const std::string errFile = fs::temp_directory_path() / ("pw-settings-cli-" + std::to_string(::getpid()));
  const std::string command = std::string("'") + PW_CLI_BINARY + "' " + aArgs + " >/dev/null 2>'" + errFile + "'";
  const int status = std::system(command.c_str());
  if (aErr) {
    std::ifstream in(errFile);
    aErr->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::remove(errFile);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string& aText) { return "'" + aText + "'"; }

class SettingsEditor : public ::testing::Test {
 protected:
  void Start() {
    iEnv.Create();
    ASSERT_TRUE(iEnv.StartToMainMenu());
    iEnv.iGui->Buffer()->Layout().SetIconFolder(u"/nonexistent/icons/");
  }
  // From the start menu's last row, with keys.
  CSettingsEditorView* OpenFromStartMenu() {
    auto* menu = dynamic_cast<CMainView*>(Gui().CurrentView());
    EXPECT_NE(menu, nullptr);
    if (!menu) return nullptr;
    while (menu->List()->Selected() != menu->List()->Count() - 1) Press(KDown);
    Press(KEnter);
    EXPECT_EQ(View(), CGui::ESettingsEditorView);
    return dynamic_cast<CSettingsEditorView*>(Gui().CurrentView());
  }

  CGui& Gui() { return *iEnv.iGui; }
  CModel& Model() { return *iEnv.iModel; }
  int32_t View() { return Gui().CurrentView() ? Gui().CurrentView()->ViewNumber() : 0; }
  CDialogControl* Modal() {
    CDialogControl* dialog = Gui().Dialogs().CurrentModal();
    return dialog && !dialog->IsClosed() ? dialog : nullptr;
  }
  void Press(int32_t aKey) { iEnv.iWindow.Press(aKey); }

  // Runs aAction; every modal dialog it opens goes to aAnswer (which must close it).
  bool Script(const std::function<void()>& aAction, const std::function<void(CDialogControl&)>& aAnswer) {
    bool done = false, busy = false;
    return iEnv.RunUntil([&] { return done && !busy && !Modal(); },
                         [&] {
                           if (CDialogControl* dialog = Modal()) {
                             if (auto* note = dynamic_cast<CNoteDialogControl*>(dialog)) iNotes.push_back(Utf8(note->Text()));
                             aAnswer(*dialog);
                             return;
                           }
                           if (iEnv.iWindow.TimerArmed()) {
                             iEnv.iWindow.FireTimer();
                             return;
                           }
                           if (done) return;
                           busy = true;
                           done = true;
                           aAction();
                           busy = false;
                         });
  }
  // Enter on the focused row, then in its choice: down aSteps times from the current entry,
  // and Enter.
  bool Choose(int32_t aSteps) {
    return Script([&] { Press(KEnter); },
                  [&](CDialogControl&) {
                    for (int32_t i = 0; i < aSteps; ++i) Press(KDown);
                    Press(KEnter);
                  });
  }
  // Focuses the row labelled aLabel (the n-th of that label) with the down key.
  bool Focus(CSettingsEditorView& aEditor, const std::string& aLabel) {
    CSettingsListControl* form = aEditor.Form();
    for (int32_t step = 0; step <= form->Count(); ++step) {
      if (form->Focused() && Utf8(form->Focused()->iLabel) == aLabel) return true;
      Press(KDown);
    }
    ADD_FAILURE() << "no row " << aLabel;
    return false;
  }
  // The rows of the shown page: label to value text.
  std::vector<std::pair<std::string, std::string>> Rows(CSettingsEditorView& aEditor) {
    std::vector<std::pair<std::string, std::string>> rows;
    CSettingsListControl* form = aEditor.Form();
    for (int32_t i = 0; i < form->Count(); ++i)
      rows.push_back({Utf8(form->ItemAt(i).iTitle), Utf8(form->ItemAt(i).iStatus)});
    return rows;
  }
  std::vector<std::string> Labels(CSettingsEditorView& aEditor) {
    std::vector<std::string> labels;
    for (const auto& row : Rows(aEditor)) labels.push_back(row.first);
    return labels;
  }
  std::string SettingsFile() const { return iEnv.iDir / "appdata/settings.dat"; }

  pwtest::ModelGui iEnv;
  std::vector<std::string> iNotes;
};

TEST_F(SettingsEditor, PagesShowTheItemsOfTheDeviceTypesAndBackSavesTheChoices) {
  Start();
  CSettingsEditorView* editor = OpenFromStartMenu();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(Utf8(Gui().Navi().Title()), "Settings");
  CItemListControl* summary = editor->Summary();
  ASSERT_NE(summary, nullptr);
  const std::vector<std::pair<std::string, std::string>> expected = {{"General settings", "My Documents"},
                                                                     {"GPS receiver", "Serial port GPS"},
                                                                     {"OBD-II reader", "Disabled"},
                                                                     {"Data Logger", "Disabled"},
                                                                     {"High/Low speeds", ""}};
  ASSERT_EQ(summary->Count(), 5);
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(Utf8(summary->ItemAt(i).iTitle), expected[i].first);
    EXPECT_EQ(Utf8(summary->ItemAt(i).iStatus), expected[i].second);
  }
  iEnv.iWindow.Paint();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "settings_summary.png");

  // The GPS page: a serial receiver shows its port (with the device it stands for) and rate.
  Press(KDown);
  Press(KEnter);
  ASSERT_EQ(editor->Page(), ESettingsGps);
  EXPECT_EQ(Labels(*editor), (std::vector<std::string>{"GPS type", "Serial port", "Baudrate", "Receiver rate"}));
  EXPECT_EQ(Rows(*editor)[1].second, "COM4: /dev/ttyUSB3");
  ASSERT_TRUE(Focus(*editor, "Baudrate"));
  ASSERT_TRUE(Choose(7));  // from "Default" down to "115200 baud"
  EXPECT_EQ(editor->Edited()->Gps().iBaudRate, 1152);
  EXPECT_EQ(Rows(*editor)[2].second, "115200 baud");
  EXPECT_EQ(Model().Settings().Gps().iBaudRate, 0) << "stored only on Back";
  // An input file instead: the port and the rate go, the file comes.
  ASSERT_TRUE(Focus(*editor, "GPS type"));
  ASSERT_TRUE(Choose(1));
  EXPECT_EQ(editor->Edited()->Gps().iType, MDeviceSettings::EGpsInputFile);
  EXPECT_EQ(Labels(*editor), (std::vector<std::string>{"GPS type", "Input file"}));
  EXPECT_EQ(Rows(*editor)[1].second, "Not selected");

  // The next tab: the OBD-II reader, disabled, shows its type alone until it is a serial one.
  Press(KArrowRight);
  ASSERT_EQ(editor->Page(), ESettingsObd);
  EXPECT_EQ(Labels(*editor), (std::vector<std::string>{"OBD-II type"}));
  ASSERT_TRUE(Choose(1));
  EXPECT_EQ(Labels(*editor), (std::vector<std::string>{"OBD-II type", "Serial port", "Baudrate",
                                                       "High priority channels", "Low priority channels"}));
  EXPECT_EQ(Rows(*editor)[3].second, "2 channels selected");
  // A third high-priority channel: the first of the list that is not marked yet.
  ASSERT_TRUE(Focus(*editor, "High priority channels"));
  int32_t added = -1;
  ASSERT_TRUE(Script([&] { Press(KEnter); },
                     [&](CDialogControl& aDialog) {
                       auto& choice = dynamic_cast<CSelectionDialogControl&>(aDialog);
                       CItemListControl& list = choice.List();
                       while (list.ItemAt(list.Selected()).iMarked) Press(KDown);
                       added = OfferedObdChannels().At(list.Selected());
                       Press(KEnter);         // "Toggle"
                       Press(KLeftSoftkey);   // "OK"
                     }));
  EXPECT_EQ(Rows(*editor)[3].second, "3 channels selected");
  const CChannelList& high = editor->Edited()->HighPriorityChannels();
  ASSERT_EQ(high.Count(), 3);
  EXPECT_EQ(high.At(0), 23);
  EXPECT_EQ(high.At(1), 24);
  EXPECT_EQ(high.At(2), added);
  iEnv.iWindow.Paint();
  pwtest::ExpectMatchesReference(*Gui().Surface(), "settings_obd_page.png");

  // A tap on the tab at the right edge, the data logger's; then round the tabs to the left to
  // the last one, the high/low speeds.
  iEnv.iWindow.Tap(350, editor->Form()->Rect().iTop - 8);
  ASSERT_EQ(editor->Page(), ESettingsLogger);
  EXPECT_EQ(Labels(*editor), (std::vector<std::string>{"Data Logger type"}));
  for (int32_t i = 0; i < 4; ++i) Press(KArrowLeft);
  ASSERT_EQ(editor->Page(), ESettingsHiLo);
  EXPECT_EQ(Labels(*editor), (std::vector<std::string>{"Hi/Lo speed threshold", "Acceleration limit", "Braking limit"}));

  // Back to the summary, which names the new choices, and Back again saves.
  Press(KEsc);
  ASSERT_EQ(editor->Page(), -1);
  EXPECT_EQ(Utf8(editor->Summary()->ItemAt(1).iStatus), "Input file");
  EXPECT_EQ(Utf8(editor->Summary()->ItemAt(2).iStatus), "Serial Port OBD-II reader");
  Press(KEsc);
  EXPECT_EQ(View(), CGui::EMainView);
  EXPECT_EQ(Model().Settings().Gps().iBaudRate, 1152);
  std::unique_ptr<CSettings> stored(new CSettings(Model().Drives()));
  stored->Load();
  EXPECT_EQ(stored->Gps().iBaudRate, 1152);
  EXPECT_EQ(stored->Gps().iType, MDeviceSettings::EGpsInputFile);
  EXPECT_EQ(stored->Obd().iType, MDeviceSettings::EObdSerial);
  EXPECT_EQ(stored->HighPriorityChannels().Count(), 3);
}

TEST_F(SettingsEditor, AnInputFileWithoutNmeaIsRefusedWithTheCommandLinesReason) {
  Start();
  const std::string notes = iEnv.iDocs + "/lap notes.txt";
  { std::ofstream(notes) << "Lap 3 felt slow in the hairpin.\n"; }
  const std::string drive = iEnv.iDocs + "/drive.nmea";
  { std::ofstream(drive) << "$GPRMC,120000.00,A,4800.0,N,01100.0,E,0.0,0.0,010107,,*00\r\n"; }
  CSettingsEditorView* editor = OpenFromStartMenu();
  ASSERT_NE(editor, nullptr);
  Press(KDown);
  Press(KEnter);
  ASSERT_TRUE(Choose(1));  // "Input file"
  ASSERT_TRUE(Focus(*editor, "Input file"));
  // The file browser: the documents medium, then the file.
  auto pick = [&](const std::string& aName) {
    return [this, aName](CDialogControl& aDialog) {
      if (dynamic_cast<CNoteDialogControl*>(&aDialog)) {
        Press(KEnter);
        return;
      }
      CItemListControl& rows = dynamic_cast<CSelectionDialogControl&>(aDialog).List();
      int32_t row = 0;
      for (int32_t i = 0; i < rows.Count(); ++i)
        if (Utf8(rows.ItemAt(i).iTitle).find(aName) != std::string::npos) row = i;
      rows.SetSelected(row);
      Press(KEnter);
    };
  };
  ASSERT_TRUE(Script([&] { Press(KEnter); }, pick("lap notes.txt")));
  const std::string reason = "The input file '" + notes + "' holds no NMEA 0183 sentences.";
  ASSERT_EQ(iNotes.size(), 1u);
  EXPECT_EQ(iNotes[0], reason);
  EXPECT_TRUE(editor->Edited()->GpsInputFile().IsEmpty());
  // The command line refuses it with the same words.
  const bool existed = fs::exists(SettingsFile());
  const std::string before = existed ? pwtest::ReadFileBytes(SettingsFile()) : std::string();
  std::string err;
  EXPECT_EQ(RunCli("settings set gps-input-file " + Quoted(notes), &err), 1);
  EXPECT_EQ(err, "pacewright-cli: gps-input-file: " + reason + "\n");
  EXPECT_EQ(fs::exists(SettingsFile()), existed);
  if (existed) {
    EXPECT_EQ(pwtest::ReadFileBytes(SettingsFile()), before);
  }

  ASSERT_TRUE(Script([&] { Press(KEnter); }, pick("drive.nmea")));
  EXPECT_EQ(Utf8(editor->Edited()->GpsInputFile()), drive);
  EXPECT_EQ(Utf8(editor->Form()->Focused()->iText), "drive.nmea");
}

TEST_F(SettingsEditor, TheHighLowSpeedPageOpensAloneAndSavesOnBack) {
  Start();
  OpenHiLoSpeedSettings(Model());
  iEnv.iWindow.Finish();  // the switch happens at the end of an event
  ASSERT_EQ(View(), CGui::ESettingsEditorView);
  auto* editor = dynamic_cast<CSettingsEditorView*>(Gui().CurrentView());
  EXPECT_TRUE(editor->HiLoOnly());
  EXPECT_EQ(Utf8(Gui().Navi().Title()), "Hi/Lo speeds");
  EXPECT_EQ(Labels(*editor), (std::vector<std::string>{"Hi/Lo speed threshold", "Acceleration limit", "Braking limit"}));
  EXPECT_EQ(Rows(*editor)[0].second, "5 m/s");
  EXPECT_EQ(Rows(*editor)[2].second, "0.6 G");
  // The help text comes with the choice.
  ASSERT_TRUE(Script([&] { Press(KEnter); },
                     [&](CDialogControl& aDialog) {
                       auto& choice = dynamic_cast<CSelectionDialogControl&>(aDialog);
                       (void)choice;
                       Press(KDown);
                       Press(KEnter);
                     }));
  EXPECT_EQ(Rows(*editor)[0].second, "10 m/s");
  Press(KArrowRight);  // no tabs here
  EXPECT_EQ(editor->Page(), ESettingsHiLo);
  Press(KEsc);
  EXPECT_EQ(View(), CGui::EMainView);
  EXPECT_EQ(Model().Settings().HiLoThreshold(), 10);
  std::unique_ptr<CSettings> stored(new CSettings(Model().Drives()));
  stored->Load();
  EXPECT_EQ(stored->HiLoThreshold(), 10);
  // The next opening from the start menu is the whole editor again.
  editor = OpenFromStartMenu();
  ASSERT_NE(editor, nullptr);
  EXPECT_FALSE(editor->HiLoOnly());
  EXPECT_NE(editor->Summary(), nullptr);
}

TEST_F(SettingsEditor, TheWindowShowsWhatTheCommandLineStored) {
  // Before the program starts: a receiver on the second USB CDC port at 38400 baud, an OBD-II
  // reader with three high-priority channels and none of low priority, English units.
  std::string err;
  for (const char* set : {"gps-serial-port COM11:", "gps-baudrate 384", "gps-receiver-rate 25", "obd-type 2", "obd-serial-port 21",
                          "obd-high-priority-channels 23,24,25", "obd-low-priority-channels none", "units English",
                          "timer-decimals 3", "live-delta off", "logger-type 3", "logger-baudrate '57600 baud'", "braking-limit 7"})
    ASSERT_EQ(RunCli(std::string("settings set ") + set, &err), 0) << set << ": " << err;
  Start();
  CSettingsEditorView* editor = OpenFromStartMenu();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(Utf8(editor->Summary()->ItemAt(2).iStatus), "Serial Port OBD-II reader");
  EXPECT_EQ(Utf8(editor->Summary()->ItemAt(3).iStatus), "Datavane Serial Port");
  const std::map<int32_t, std::vector<std::pair<std::string, std::string>>> pages = {
      {ESettingsGeneral,
       {{"Storage selection", "My Documents"}, {"Timer decimals", "1000ths"}, {"Units", "English"},
        {"Start-up warning", "On"}, {"Live delta", "Off"}}},
      {ESettingsGps,
       {{"GPS type", "Serial port GPS"},
        {"Serial port", "COM11: /dev/ttyACM1"},
        {"Baudrate", "38400 baud"},
        {"Receiver rate", "25 Hz"}}},
      {ESettingsObd,
       {{"OBD-II type", "Serial Port OBD-II reader"},
        {"Serial port", "COM21: /dev/rfcomm1"},
        {"Baudrate", "Default"},
        {"High priority channels", "3 channels selected"},
        {"Low priority channels", "None selected"}}},
      {ESettingsLogger,
       {{"Data Logger type", "Datavane Serial Port"}, {"Serial port", "COM6: /dev/ttyUSB5"}, {"Baudrate", "57600 baud"}}},
      {ESettingsHiLo, {{"Hi/Lo speed threshold", "5 m/s"}, {"Acceleration limit", "0.2 G"}, {"Braking limit", "1.5 G"}}},
  };
  for (const auto& [page, rows] : pages) {
    editor->ShowPage(page);
    EXPECT_EQ(Rows(*editor), rows) << "page " << page;
  }
}

TEST_F(SettingsEditor, GpsdShowsItsHostAndPortWhichAreTypedCheckedAndUsedForRecording) {
  Start();
  CSettingsEditorView* editor = OpenFromStartMenu();
  ASSERT_NE(editor, nullptr);
  Press(KDown);
  Press(KEnter);
  ASSERT_TRUE(Choose(2));  // "gpsd", below "Input file"
  EXPECT_EQ(editor->Edited()->Gps().iType, MDeviceSettings::EGpsGpsd);
  using TRows = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Rows(*editor), (TRows{{"GPS type", "gpsd"}, {"gpsd host", "localhost"}, {"gpsd port", "2947"}}));

  // Typed values; one the command line would refuse is refused here too, and nothing changes.
  auto type = [&](const char* aText) {
    return [this, aText](CDialogControl& aDialog) {
      if (!dynamic_cast<CNoteDialogControl*>(&aDialog)) iEnv.iWindow.Type(aText);
      Press(KEnter);
    };
  };
  ASSERT_TRUE(Focus(*editor, "gpsd host"));
  ASSERT_TRUE(Script([&] { Press(KEnter); }, type("pi-car.local")));
  ASSERT_TRUE(Focus(*editor, "gpsd port"));
  ASSERT_TRUE(Script([&] { Press(KEnter); }, type("70000")));
  ASSERT_EQ(iNotes.size(), 1u);
  EXPECT_EQ(iNotes[0], "The gpsd port must be a number from 1 to 65535, not '70000'.");
  EXPECT_EQ(editor->Edited()->GpsdPort(), 2947);
  ASSERT_TRUE(Script([&] { Press(KEnter); }, type("12947")));
  EXPECT_EQ(Rows(*editor), (TRows{{"GPS type", "gpsd"}, {"gpsd host", "pi-car.local"}, {"gpsd port", "12947"}}));

  Press(KEsc);
  EXPECT_EQ(Utf8(editor->Summary()->ItemAt(1).iStatus), "gpsd");
  Press(KEsc);
  EXPECT_EQ(View(), CGui::EMainView);
  // What the GPS client connects to from now on.
  const MDeviceSettings& devices = Model().DeviceSettings();
  EXPECT_EQ(devices.GpsType(), MDeviceSettings::EGpsGpsd);
  EXPECT_EQ(Utf8(devices.GpsdHost()), "pi-car.local");
  EXPECT_EQ(devices.GpsdPort(), 12947);
  std::unique_ptr<CSettings> stored(new CSettings(Model().Drives()));
  stored->Load();
  EXPECT_EQ(Utf8(stored->GpsdHost()), "pi-car.local");
  EXPECT_EQ(stored->GpsdPort(), 12947);
}

}  // namespace
