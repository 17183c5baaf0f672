// "settings" and "settings set": the settings editor's items over a shell, for a car computer
// without a keyboard. The items, their checks and the file are the editor's own.
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/port_map.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/text_table.h"
#include "foundation/drives.h"
#include "foundation/string_provider.h"
#include "storage/settings.h"
#include "storage/settings_items.h"
#include "strings/pw_strings.h"

namespace {

constexpr uint16_t KPageNames[ESettingsPageCount] = {R_SET_TAB_GENERAL, R_SET_TAB_GPS, R_SET_TAB_OBD,
                                                     R_SET_TAB_LOGGER, R_SET_TAB_HILO};

struct TAllowed {
  std::string iValue;
  std::string iLabel;
};

// The values an item takes, when they can be listed (not for a file or a device).
std::vector<TAllowed> AllowedValues(const TSettingItem& aItem, const CSettings& aSettings, const CPwDrives& aDrives) {
  std::vector<TAllowed> allowed;
  switch (aItem.iEditor) {
    case ESettingChoice:
      for (int32_t i = 0; i < aItem.iChoiceCount; ++i)
        allowed.push_back({std::to_string(aItem.iChoices[i].iValue), CliText(aItem.iChoices[i].iLabel)});
      break;
    case ESettingSwitch:
      allowed.push_back({"on", CliText(R_GUI_ON)});
      allowed.push_back({"off", CliText(R_GUI_OFF)});
      break;
    case ESettingStorage:
      for (int32_t i = 0; i < aDrives.Count(); ++i)
        if (aDrives.At(i).IsPresent()) allowed.push_back({Utf8(aDrives.At(i).RootPath()), Utf8(aDrives.At(i).Name())});
      break;
    case ESettingPort: {
      CPwVector<int32_t> ports(16);
      OfferedPorts(SettingNumber(aSettings, aItem.iId), ports);
      for (const int32_t port : ports) {
        CPwString label;
        pwports::AppendPortLabel(port, label);
        allowed.push_back({std::to_string(port), Utf8(label)});
      }
      break;
    }
    case ESettingChannels:
      for (const int32_t id : OfferedObdChannels()) {
        CPwString name;
        CStringProvider::ChannelName(id, name);
        allowed.push_back({std::to_string(id), Utf8(name)});
      }
      break;
    default:
      break;
  }
  return allowed;
}

// The readable form of the allowed values.
std::string AllowedText(const TSettingItem& aItem, const std::vector<TAllowed>& aAllowed) {
  std::string list;
  for (const TAllowed& value : aAllowed) {
    if (!list.empty()) list += ", ";
    list += value.iValue == value.iLabel || aItem.iEditor == ESettingSwitch ? value.iValue
                                                                             : value.iValue + " " + value.iLabel;
  }
  switch (aItem.iEditor) {
    case ESettingSwitch: return CliText(R_CLI_ALLOWED_SWITCH);
    case ESettingPort: return CliText(R_CLI_ALLOWED_PORT);
    case ESettingInput: return CliText(R_CLI_ALLOWED_FILE);
    case ESettingDevice: return CliText(R_CLI_ALLOWED_DEVICE);
    case ESettingChannels: return CliText(R_CLI_ALLOWED_CHANNELS, list);
    case ESettingHost: return CliText(R_CLI_ALLOWED_HOST);
    case ESettingNetPort: return CliText(R_CLI_ALLOWED_NET_PORT);
    default: return list;
  }
}

std::string ValueWord(const CSettings& aSettings, int32_t aId) {
  CPwString word;
  SettingValueWord(aSettings, aId, word);
  return Printable(word);
}

std::string ValueText(const CSettings& aSettings, const CPwDrives& aDrives, int32_t aId) {
  CPwString text;
  SettingValueText(aSettings, aDrives, aId, text);
  return Printable(text);
}

// "1152 (115200 baud)": the word and, when it says more, what the editor shows.
std::string ValueCell(const CSettings& aSettings, const CPwDrives& aDrives, const TSettingItem& aItem) {
  const std::string word = ValueWord(aSettings, aItem.iId);
  if (aItem.iEditor == ESettingSwitch || aItem.iEditor == ESettingInput) return word;
  const std::string text = ValueText(aSettings, aDrives, aItem.iId);
  return text == word ? word : word + " (" + text + ")";
}

}  // namespace

void RunSettings(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(0, 0);
  CHeadlessModel& model = aContext.Model();
  const CSettings& settings = model.Settings();
  const CPwDrives& drives = model.Drives();
  CJsonWriter json;
  CTextTable table;
  table.AddColumn(CliText(R_CLI_COL_KEY));
  table.AddColumn(CliText(R_CLI_COL_SETTING));
  table.AddColumn(CliText(R_CLI_COL_VALUE));
  table.AddColumn(CliText(R_CLI_COL_ALLOWED));
  json.BeginArray();
  for (int32_t i = 0; i < SettingItemCount(); ++i) {
    const TSettingItem& item = SettingItemAt(i);
    const std::vector<TAllowed> allowed = AllowedValues(item, settings, drives);
    const std::string label = CliText(item.iLabel);
    json.BeginObject();
    json.Member("key", item.iKey);
    json.Member("page", CliText(KPageNames[item.iPage]));
    json.Member("label", label);
    json.Member("value", ValueWord(settings, item.iId));
    json.Member("text", ValueText(settings, drives, item.iId));
    json.Member("visible", SettingVisible(settings, item.iId));
    if (item.iHelp) json.Member("help", CliText(item.iHelp));
    else json.MemberNull("help");
    json.Member("multiple", item.iEditor == ESettingChannels);
    json.Key("allowed");
    if (item.iEditor == ESettingInput || item.iEditor == ESettingDevice || item.iEditor == ESettingHost ||
        item.iEditor == ESettingNetPort) {
      json.Null();
    } else {
      json.BeginArray();
      for (const TAllowed& value : allowed) {
        json.BeginObject();
        json.Member("value", value.iValue);
        json.Member("label", value.iLabel);
        json.EndObject();
      }
      json.EndArray();
    }
    json.Member("format", AllowedText(item, allowed));
    json.EndObject();
    table.AddRow({item.iKey, label, ValueCell(settings, drives, item), AllowedText(item, allowed)});
  }
  json.EndArray();
  if (aArgs.Has("json")) aContext.PrintJson(json);
  else aContext.Print(table.Render());
}

void RunSettingsSet(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(2, 2);
  const std::string& key = aArgs.Positionals()[0];
  std::string value = aArgs.Positionals()[1];
  const TSettingItem* item = FindSettingItemByKey(key);
  if (!item) throw TUserError(CliText(R_CLI_UNKNOWN_SETTING, Printable(key)));
  // A file is named from where the command runs; the settings keep where it is.
  if (item->iEditor == ESettingInput && !value.empty()) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(value, error);
    if (!error) value = absolute.lexically_normal().string();
  }
  CHeadlessModel& model = aContext.Model();
  CSettings& settings = model.MutableSettings();
  CPwString reason;
  if (!SetSettingFromWord(settings, model.Drives(), item->iId, PwStringFromUtf8(value), reason))
    throw TUserError(CliText(R_CLI_SETTING_REFUSED, key, Printable(reason)));
  if (const int32_t code = settings.SaveSafely()) throw TUserError(CliTextN(R_CLI_SETTINGS_NOT_SAVED, code));
  aContext.Print(CliText(R_CLI_SETTING_STORED, key, ValueCell(settings, model.Drives(), *item)) + "\n");
}
