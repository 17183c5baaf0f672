// A small JSON writer for the --json output: objects, arrays, strings escaped as JSON requires
// (quotes, backslashes and every control character), numbers in their shortest form that reads
// back to the same double, and null for values that are not known (NaN, infinity, or what the
// caller says is missing).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/pw_string.h"

class CJsonWriter {
 public:
  CJsonWriter() = default;

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The name of the next member of the open object.
  void Key(std::string_view aKey);

  void String(std::string_view aUtf8);
  void String(CPwStringC aText);
  void Int(int64_t aValue);
  // NaN and infinities are written as null.
  void Real(double aValue);
  void Bool(bool aValue);
  void Null();
  void Int(std::optional<int64_t> aValue) { aValue ? Int(*aValue) : Null(); }

  // Members of the open object: Key then the value.
  template <class T>
  void Member(std::string_view aKey, const T& aValue) {
    Key(aKey);
    Value(aValue);
  }
  void MemberNull(std::string_view aKey) {
    Key(aKey);
    Null();
  }

  const std::string& Text() const { return iText; }
  // Empties the text and forgets every open container.
  void Clear();

  // Appends aUtf8 to aOut as a quoted JSON string.
  static void AppendQuoted(std::string& aOut, std::string_view aUtf8);
  // Appends the shortest text that reads back as aValue ("null" for NaN and infinities).
  static void AppendNumber(std::string& aOut, double aValue);

 private:
  void Value(std::string_view aValue) { String(aValue); }
  void Value(const char* aValue) { String(std::string_view(aValue)); }
  void Value(const std::string& aValue) { String(std::string_view(aValue)); }
  void Value(CPwStringC aValue) { String(aValue); }
  void Value(const CPwString& aValue) { String(CPwStringC(aValue)); }
  void Value(bool aValue) { Bool(aValue); }
  void Value(int32_t aValue) { Int(static_cast<int64_t>(aValue)); }
  void Value(int64_t aValue) { Int(aValue); }
  void Value(double aValue) { Real(aValue); }
  void Value(std::optional<int64_t> aValue) { Int(aValue); }

  // Writes the comma before a value when the container already holds one.
  void Separate();

  std::string iText;
  // One entry per open container: true while it is still empty.
  std::vector<bool> iEmpty;
  bool iAfterKey = false;
};
