// Command-line words split into the positional arguments and the options a command accepts.
// Options are "--name VALUE", "--name=VALUE" or flags "--name"; "--" ends the options. An
// option the command does not know, a missing value or a repeated single option is a usage
// error (TUsageError).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A mistake in how the program was called: exit code 2 with the command's usage.
class TUsageError : public std::runtime_error {
 public:
  TUsageError(const std::string& aCommand, const std::string& aMessage)
      : std::runtime_error(aMessage), iCommand(aCommand) {}
  const std::string& Command() const { return iCommand; }

 private:
  std::string iCommand;
};

// A request that cannot be carried out (no such session, an unreadable file ...): exit code 1
// with the message alone.
class TUserError : public std::runtime_error {
 public:
  explicit TUserError(const std::string& aMessage) : std::runtime_error(aMessage) {}
};

struct TOptionDef {
  const char* iName;  // without the leading "--"
  bool iTakesValue;
  bool iRepeatable = false;
};

class TArgs {
 public:
  // Splits aWords (the words after the command name) by aOptions. aCommand names the command
  // in usage errors.
  static TArgs Parse(const std::string& aCommand, const std::vector<std::string>& aWords,
                     const std::vector<TOptionDef>& aOptions);

  const std::string& Command() const { return iCommand; }
  const std::vector<std::string>& Positionals() const { return iPositionals; }
  bool Has(const std::string& aName) const { return iValues.count(aName) != 0; }
  // The value of a single option, or nothing.
  std::optional<std::string> Value(const std::string& aName) const;
  std::string ValueOr(const std::string& aName, const std::string& aDefault) const;
  // Every value of a repeatable option, in order.
  std::vector<std::string> Values(const std::string& aName) const;

  // Usage errors for the checks every command makes.
  void ExpectPositionals(size_t aMin, size_t aMax) const;
  [[noreturn]] void Fail(const std::string& aMessage) const;
  // A required option; a usage error when it is missing.
  std::string Required(const std::string& aName) const;
  // The value of a number option: a finite real, else a usage error.
  std::optional<double> Real(const std::string& aName) const;
  double RequiredReal(const std::string& aName) const;
  std::optional<int32_t> Integer(const std::string& aName, int32_t aMin, int32_t aMax) const;
  // One of aChoices (exact), as its index; a usage error otherwise.
  std::optional<int32_t> Choice(const std::string& aName, const std::vector<std::string>& aChoices) const;

 private:
  std::string iCommand;
  std::vector<std::string> iPositionals;
  std::map<std::string, std::vector<std::string>> iValues;
};
