#include "cli/json_writer.h"

#include <charconv>
#include <cmath>

void CJsonWriter::Clear() {
  iText.clear();
  iEmpty.clear();
  iAfterKey = false;
}

void CJsonWriter::Separate() {
  if (iAfterKey) {
    iAfterKey = false;
    return;
  }
  if (!iEmpty.empty()) {
    if (!iEmpty.back()) iText.push_back(',');
    iEmpty.back() = false;
  }
}

void CJsonWriter::BeginObject() {
  Separate();
  iText.push_back('{');
  iEmpty.push_back(true);
}

void CJsonWriter::EndObject() {
  iText.push_back('}');
  if (!iEmpty.empty()) iEmpty.pop_back();
}

void CJsonWriter::BeginArray() {
  Separate();
  iText.push_back('[');
  iEmpty.push_back(true);
}

void CJsonWriter::EndArray() {
  iText.push_back(']');
  if (!iEmpty.empty()) iEmpty.pop_back();
}

void CJsonWriter::Key(std::string_view aKey) {
  Separate();
  AppendQuoted(iText, aKey);
  iText.push_back(':');
  iAfterKey = true;
}

void CJsonWriter::String(std::string_view aUtf8) {
  Separate();
  AppendQuoted(iText, aUtf8);
}

void CJsonWriter::String(CPwStringC aText) { String(PwToUtf8(aText)); }

void CJsonWriter::Int(int64_t aValue) {
  Separate();
  iText += std::to_string(aValue);
}

void CJsonWriter::Real(double aValue) {
  Separate();
  AppendNumber(iText, aValue);
}

void CJsonWriter::Bool(bool aValue) {
  Separate();
  iText += aValue ? "true" : "false";
}

void CJsonWriter::Null() {
  Separate();
  iText += "null";
}

void CJsonWriter::AppendQuoted(std::string& aOut, std::string_view aUtf8) {
  static const char KHex[] = "0123456789abcdef";
  aOut.push_back('"');
  for (const char c : aUtf8) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': aOut += "\\\""; break;
      case '\\': aOut += "\\\\"; break;
      case '\b': aOut += "\\b"; break;
      case '\f': aOut += "\\f"; break;
      case '\n': aOut += "\\n"; break;
      case '\r': aOut += "\\r"; break;
      case '\t': aOut += "\\t"; break;
      default:
        if (u < 0x20 || u == 0x7F) {
          aOut += "\\u00";
          aOut.push_back(KHex[u >> 4]);
          aOut.push_back(KHex[u & 15]);
        } else {
          aOut.push_back(c);
        }
    }
  }
  aOut.push_back('"');
}

void CJsonWriter::AppendNumber(std::string& aOut, double aValue) {
  if (!std::isfinite(aValue)) {
    aOut += "null";
    return;
  }
  if (aValue == 0.0) {
    aOut.push_back('0');  // also for -0, which some readers refuse
    return;
  }
  char buffer[32];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, aValue);
  aOut.append(buffer, result.ptr);
}
