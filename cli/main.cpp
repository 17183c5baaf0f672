// The command-line front end: the core classes of the application driven from a shell, for
// batch work after a track day and for end-to-end tests. Exit status 0 on success, 1 when a
// request cannot be carried out (one line on standard error says why), 2 on wrong usage.
#include <unistd.h>

#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "foundation/pw_base.h"
#include "platform/folders.h"
#include "strings/pw_strings.h"

namespace {

constexpr int KExitUserError = 1;
constexpr int KExitUsage = 2;

// The usage texts of every command named aPrefix or starting with aPrefix and a space (all
// of them for "").
std::vector<std::string> UsageEntries(const std::string& aPrefix) {
  std::vector<std::string> entries;
  for (const TCommand& command : Commands()) {
    const std::string name = command.iName;
    if (command.iHidden && name != aPrefix) continue;
    if (!aPrefix.empty() && name != aPrefix && name.rfind(aPrefix + " ", 0) != 0) continue;
    entries.push_back(CliText(command.iUsage));
  }
  return entries;
}

// The list of the full usage.
std::string Usage(const std::string& aPrefix) {
  std::string text;
  for (const std::string& entry : UsageEntries(aPrefix)) text += "  " + entry + "\n";
  return text;
}

// "usage: pacewright-cli ..." for each entry.
std::string CommandUsage(const std::vector<std::string>& aEntries) {
  std::string text;
  for (const std::string& entry : aEntries) text += CliText(R_CLI_USAGE_LINE, entry) + "\n";
  return text;
}

std::string FullUsage() { return CliText(R_CLI_USAGE_HEAD) + Usage("") + CliText(R_CLI_USAGE_TAIL); }

void ErrorLine(const std::string& aMessage) {
  const std::string line = CliText(R_CLI_ERROR_LINE, aMessage) + "\n";
  std::fputs(line.c_str(), stderr);
}

int UsageError(const std::string& aMessage, const std::string& aCommand) {
  ErrorLine(aMessage);
  if (!aCommand.empty()) {
    const std::vector<std::string> entries = UsageEntries(aCommand);
    if (!entries.empty()) {
      std::fputs(("\n" + CommandUsage(entries)).c_str(), stderr);
      return KExitUsage;
    }
  }
  std::string names;
  std::string previous;
  for (const TCommand& command : Commands()) {
    const std::string name = command.iName;
    const std::string first = name.substr(0, name.find(' '));
    if (command.iHidden || first == previous) continue;
    names += (names.empty() ? "" : ", ") + first;
    previous = first;
  }
  std::fputs(("\n" + CliText(R_CLI_USAGE_SHORT, names) + "\n").c_str(), stderr);
  return KExitUsage;
}

// The command named by the first words (two for "track ..."); null when there is none.
const TCommand* FindCommand(const std::vector<std::string>& aWords, size_t& aUsed) {
  for (const TCommand& command : Commands()) {
    const std::string name = command.iName;
    const size_t space = name.find(' ');
    if (space == std::string::npos) {
      if (!aWords.empty() && aWords[0] == name) {
        aUsed = 1;
        return &command;
      }
    } else if (aWords.size() >= 2 && aWords[0] == name.substr(0, space) && aWords[1] == name.substr(space + 1)) {
      aUsed = 2;
      return &command;
    }
  }
  return nullptr;
}

bool IsCommandFamily(const std::string& aWord) {
  for (const TCommand& command : Commands()) {
    const std::string name = command.iName;
    if (name.rfind(aWord + " ", 0) == 0) return true;
  }
  return false;
}

// Takes --documents DIR, --appdata DIR and --help out of the words, wherever they stand
// before a "--". The folders go to the environment the platform layer reads them from.
int TakeGlobalOptions(std::vector<std::string>& aWords, bool& aHelp) {
  std::vector<std::string> rest;
  bool ended = false;
  for (size_t i = 0; i < aWords.size(); ++i) {
    const std::string& word = aWords[i];
    if (ended) {
      rest.push_back(word);
      continue;
    }
    if (word == "--") {
      ended = true;
      rest.push_back(word);
      continue;
    }
    if (word == "--help" || word == "-h") {
      aHelp = true;
      continue;
    }
    std::string option;
    std::string value;
    for (const char* name : {"--documents", "--appdata"}) {
      const std::string prefix = std::string(name) + "=";
      if (word == name) {
        if (i + 1 >= aWords.size()) return UsageError(CliText(R_CLI_OPTION_NEEDS_VALUE, name + 2), std::string());
        option = name;
        value = aWords[++i];
      } else if (word.rfind(prefix, 0) == 0) {
        option = name;
        value = word.substr(prefix.size());
      }
    }
    if (option.empty()) {
      rest.push_back(word);
      continue;
    }
    if (value.empty()) return UsageError(CliText(R_CLI_OPTION_NEEDS_VALUE, option.substr(2)), std::string());
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(value, error);
    const std::string folder = error ? value : absolute.string();
    if (option == "--documents") pwplat::SetDocumentsFolderOverride(folder.c_str());
    else pwplat::SetAppDataFolderOverride(folder.c_str());
  }
  aWords.swap(rest);
  return 0;
}

int Run(std::vector<std::string> aWords) {
  bool help = false;
  if (const int code = TakeGlobalOptions(aWords, help)) return code;
  if (!aWords.empty() && aWords[0] == "help") {
    aWords.erase(aWords.begin());
    help = true;
  }
  if (help) {
    std::string usage;
    if (!aWords.empty()) {
      const std::string prefix = aWords.size() >= 2 && IsCommandFamily(aWords[0]) ? aWords[0] + " " + aWords[1] : aWords[0];
      std::vector<std::string> entries = UsageEntries(prefix);
      if (entries.empty()) entries = UsageEntries(aWords[0]);
      if (entries.empty()) return UsageError(CliText(R_CLI_UNKNOWN_COMMAND, aWords[0]), std::string());
      usage = CommandUsage(entries);
    } else {
      usage = FullUsage();
    }
    std::fputs(usage.c_str(), stdout);
    return 0;
  }
  if (aWords.empty()) return UsageError(CliText(R_CLI_NO_COMMAND), std::string());

  size_t used = 0;
  const TCommand* command = FindCommand(aWords, used);
  if (!command) {
    if (IsCommandFamily(aWords[0]))
      return UsageError(aWords.size() < 2 ? CliText(R_CLI_MISSING_ARGUMENT) : CliText(R_CLI_UNKNOWN_COMMAND, aWords[0] + " " + aWords[1]),
                        aWords[0]);
    return UsageError(CliText(R_CLI_UNKNOWN_COMMAND, aWords[0]), std::string());
  }
  const std::vector<std::string> rest(aWords.begin() + static_cast<std::ptrdiff_t>(used), aWords.end());
  // An explicit documents folder is where the user wants the work done, whatever medium the
  // settings name.
  const bool useDocuments = pwplat::DocumentsFolderChosen();
  TCliContext context(useDocuments, ::isatty(STDERR_FILENO) == 1);
  try {
    const TArgs args = TArgs::Parse(command->iName, rest, command->iOptions);
    command->iRun(context, args);
  } catch (const TUsageError& error) {
    return UsageError(error.what(), error.Command());
  } catch (const TUserError& error) {
    ErrorLine(error.what());
    return KExitUserError;
  } catch (const PwLeaveClass& leave) {
    ErrorLine(leave.Code() == KErrNoMemory ? CliText(R_MEMORY_FULL) : CliTextN(R_CLI_INTERNAL_ERROR, leave.Code()));
    return KExitUserError;
  }
  // A full disk or a closed pipe behind standard output must not pass for success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    ErrorLine(CliText(R_CLI_CANNOT_WRITE, std::strerror(errno)));
    return KExitUserError;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
