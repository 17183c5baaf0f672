#include "cli/args.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "cli/cli_text.h"
#include "strings/pw_strings.h"

TArgs TArgs::Parse(const std::string& aCommand, const std::vector<std::string>& aWords,
                   const std::vector<TOptionDef>& aOptions) {
  TArgs args;
  args.iCommand = aCommand;
  bool optionsEnded = false;
  for (size_t i = 0; i < aWords.size(); ++i) {
    const std::string& word = aWords[i];
    if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
      // A lone "-" is a positional (standard input is not read, but the word is the user's).
      if (!optionsEnded && word.size() >= 2 && word[0] == '-' && word != "-")
        args.Fail(CliText(R_CLI_UNKNOWN_OPTION, word));
      args.iPositionals.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = word.substr(2);
    std::optional<std::string> inlineValue;
    if (const size_t equals = name.find('='); equals != std::string::npos) {
      inlineValue = name.substr(equals + 1);
      name.resize(equals);
    }
    const TOptionDef* desc = nullptr;
    for (const TOptionDef& candidate : aOptions)
      if (name == candidate.iName) desc = &candidate;
    if (!desc) args.Fail(CliText(R_CLI_UNKNOWN_OPTION, "--" + name));
    std::string value;
    if (desc->iTakesValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < aWords.size()) {
        value = aWords[++i];
      } else {
        args.Fail(CliText(R_CLI_OPTION_NEEDS_VALUE, name));
      }
    } else if (inlineValue) {
      args.Fail(CliText(R_CLI_OPTION_TAKES_NO_VALUE, name));
    }
    std::vector<std::string>& values = args.iValues[name];
    if (!values.empty() && !desc->iRepeatable) args.Fail(CliText(R_CLI_OPTION_TWICE, name));
    values.push_back(value);
  }
  return args;
}

std::optional<std::string> TArgs::Value(const std::string& aName) const {
  const auto it = iValues.find(aName);
  if (it == iValues.end() || it->second.empty()) return std::nullopt;
  return it->second.front();
}

std::string TArgs::ValueOr(const std::string& aName, const std::string& aDefault) const {
  return Value(aName).value_or(aDefault);
}

std::vector<std::string> TArgs::Values(const std::string& aName) const {
  const auto it = iValues.find(aName);
  return it == iValues.end() ? std::vector<std::string>() : it->second;
}

void TArgs::Fail(const std::string& aMessage) const { throw TUsageError(iCommand, aMessage); }

void TArgs::ExpectPositionals(size_t aMin, size_t aMax) const {
  if (iPositionals.size() < aMin) Fail(CliText(R_CLI_MISSING_ARGUMENT));
  if (iPositionals.size() > aMax) Fail(CliText(R_CLI_UNEXPECTED_ARGUMENT, iPositionals[aMax]));
}

std::string TArgs::Required(const std::string& aName) const {
  const std::optional<std::string> value = Value(aName);
  if (!value) Fail(CliText(R_CLI_OPTION_REQUIRED, aName));
  return *value;
}

std::optional<double> TArgs::Real(const std::string& aName) const {
  const std::optional<std::string> text = Value(aName);
  if (!text) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text->c_str(), &end);
  if (text->empty() || end != text->c_str() + text->size() || errno == ERANGE || !std::isfinite(value))
    Fail(CliText(R_CLI_OPTION_NUMBER, aName, *text));
  return value;
}

double TArgs::RequiredReal(const std::string& aName) const {
  (void)Required(aName);
  return *Real(aName);
}

std::optional<int32_t> TArgs::Integer(const std::string& aName, int32_t aMin, int32_t aMax) const {
  const std::optional<std::string> text = Value(aName);
  if (!text) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text->c_str(), &end, 10);
  if (text->empty() || end != text->c_str() + text->size() || errno == ERANGE || value < aMin || value > aMax)
    Fail(CliText(R_CLI_OPTION_RANGE, aName, std::to_string(aMin) + "-" + std::to_string(aMax), *text));
  return static_cast<int32_t>(value);
}

std::optional<int32_t> TArgs::Choice(const std::string& aName, const std::vector<std::string>& aChoices) const {
  const std::optional<std::string> text = Value(aName);
  if (!text) return std::nullopt;
  std::string list;
  for (size_t i = 0; i < aChoices.size(); ++i) {
    if (*text == aChoices[i]) return static_cast<int32_t>(i);
    list += (i ? "|" : "") + aChoices[i];
  }
  Fail(CliText(R_CLI_OPTION_CHOICE, aName, list, *text));
}
