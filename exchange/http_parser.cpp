#include "exchange/http_parser.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

const CPwByteArrayC KCrLf("\r\n");
const CPwByteArrayC KEmptyLine("\r\n\r\n");

// First index of aNeedle in aBytes at or after aFrom, or -1.
int32_t FindFrom(CPwByteArrayC aBytes, CPwByteArrayC aNeedle, int32_t aFrom) {
  aFrom = std::max<int32_t>(0, aFrom);
  if (aFrom >= aBytes.Length()) return -1;
  const int32_t i = aBytes.Mid(aFrom).Find(aNeedle);
  return i < 0 ? -1 : aFrom + i;
}

// Appends with the capacity doubled when it runs out: a response arrives in thousands of small
// reads, and growing by the exact need each time would copy megabytes over and over.
void AppendGrowing(CPwByteArray& aBuffer, CPwByteArrayC aBytes) {
  const int64_t need = static_cast<int64_t>(aBuffer.Length()) + aBytes.Length();
  if (need > aBuffer.Capacity()) {
    const int64_t doubled = std::max<int64_t>(need, 2 * static_cast<int64_t>(aBuffer.Capacity()));
    aBuffer.Reserve(static_cast<int32_t>(std::min<int64_t>(doubled, CHttpParser::KMaxResponseBytes)));
  }
  aBuffer.Append(aBytes);
}

}  // namespace

CHttpParser::~CHttpParser() = default;

void CHttpParser::Reset() {
  iHost.Reset();
  iRequestLine.Reset();
  iRequestHeaders.Reset();
  iRequestBody.Reset();
  iLineSent = 0;
  iHeadersSent = 0;
  iBodySent = 0;
  iStatusLine.Reset();
  iResponseHeaders.Reset();
  iResponseBody.Reset();
  iStage = EStatusLine;
  iStatusCode = -1;
  iResponseLength = 0;
  iContentLength = -1;
  iResponseError = KErrNone;
}

void CHttpParser::ResetForm() {
  iRequestBody.Reset();
  iBodySent = 0;
}

void CHttpParser::AddHeader(CPwByteArrayC aName, CPwByteArrayC aValue) {
  iRequestHeaders.Append(aName);
  iRequestHeaders.Append(": ", 2);
  iRequestHeaders.Append(aValue);
  iRequestHeaders.Append(KCrLf);
}

void CHttpParser::AddHeader(CPwByteArrayC aName, int64_t aValue) {
  CPwByteArray value;
  value.AppendNum(aValue);
  AddHeader(aName, value);
}

void CHttpParser::AppendQuoted(CPwStringC aText) {
  iRequestBody.AppendByte('"');
  int32_t from = 0;
  for (int32_t i = 0; i <= aText.Length(); ++i) {
    const bool end = i == aText.Length();
    const char16_t c = end ? 0 : aText.CharAt(i);
    if (!end && c != u'"' && c != u'\r' && c != u'\n') continue;
    iRequestBody.AppendUtf8(aText.Mid(from, i - from));
    if (!end) {
      iRequestBody.Append("%", 1);
      iRequestBody.AppendHex(c, 2);
    }
    from = i + 1;
  }
  iRequestBody.AppendByte('"');
}

void CHttpParser::AppendPartStart(CPwStringC aName) {
  iRequestBody.Append("--", 2);
  iRequestBody.Append(CPwByteArrayC(KBoundary));
  iRequestBody.Append(KCrLf);
  iRequestBody.Append(CPwByteArrayC("Content-Disposition: form-data; name="));
  AppendQuoted(aName);
}

void CHttpParser::AddFormField(CPwStringC aName, CPwStringC aValue) {
  AppendPartStart(aName);
  iRequestBody.Append(KCrLf);
  iRequestBody.Append(KCrLf);
  iRequestBody.AppendUtf8(aValue);
  iRequestBody.Append(KCrLf);
}

void CHttpParser::AddFormFile(CPwStringC aName, CPwStringC aFileName, CPwByteArrayC aBytes) {
  AppendPartStart(aName);
  iRequestBody.Append(CPwByteArrayC("; filename="));
  AppendQuoted(aFileName);
  iRequestBody.Append(KCrLf);
  iRequestBody.Append(CPwByteArrayC("Content-Type: application/octet-stream\r\n"));
  iRequestBody.Append(CPwByteArrayC("Content-Transfer-Encoding: binary\r\n"));
  iRequestBody.Append(KCrLf);
  iRequestBody.Append(aBytes);
  iRequestBody.Append(KCrLf);
}

void CHttpParser::FinishForm() {
  iRequestBody.Append("--", 2);
  iRequestBody.Append(CPwByteArrayC(KBoundary));
  iRequestBody.Append("--", 2);
  iRequestBody.Append(KCrLf);
  AddHeader("Content-Type", CPwByteArrayC(KFormContentType));
}

bool CHttpParser::SetRequest(CPwByteArrayC aMethod, CPwByteArrayC aUrl) {
  const CPwByteArrayC scheme("http://");
  if (!aUrl.StartsWithNoCase(scheme)) return false;
  const CPwByteArrayC rest = aUrl.Mid(scheme.Length());
  const int32_t slash = rest.Find(static_cast<uint8_t>('/'));
  if (slash <= 0) return false;  // no path, or no host before it

  iHost.Copy(rest.Left(slash));
  iRequestLine.Reset();
  iRequestLine.Append(aMethod);
  iRequestLine.AppendByte(' ');
  iRequestLine.Append(rest.Mid(slash));
  iRequestLine.Append(CPwByteArrayC(" HTTP/1.0\r\n"));
  iLineSent = 0;
  AddHeader("Host", iHost);
  AddHeader("Content-Length", static_cast<int64_t>(iRequestBody.Length()));
  iRequestHeaders.Append(KCrLf);
  return true;
}

int32_t CHttpParser::NextRequestBytes(uint8_t* aBuffer, int32_t aMax) {
  if (aMax <= 0) return 0;
  struct {
    const CPwByteArray* iBytes;
    int32_t* iSent;
  } parts[] = {{&iRequestLine, &iLineSent}, {&iRequestHeaders, &iHeadersSent}, {&iRequestBody, &iBodySent}};
  for (auto& part : parts) {
    const int32_t left = part.iBytes->Length() - *part.iSent;
    if (left <= 0) continue;
    const int32_t count = std::min(left, aMax);
    std::memcpy(aBuffer, part.iBytes->Ptr() + *part.iSent, static_cast<size_t>(count));
    *part.iSent += count;
    return count;
  }
  return 0;
}

int32_t CHttpParser::AddResponseBytes(const uint8_t* aBytes, int32_t aCount) {
  if (iResponseError != KErrNone) return iResponseError;
  if (aCount <= 0) return KErrNone;
  if (aCount > KMaxResponseBytes - iResponseLength) {
    iResponseError = KErrTooLong;
    return iResponseError;
  }
  iResponseLength += aCount;
  const CPwByteArrayC bytes(aBytes, aCount);
  switch (iStage) {
    case EStatusLine: {
      // Only the new bytes (and the one before them, for a CR LF split across reads) are
      // searched, so junk without a line end costs linear time.
      const int32_t from = iStatusLine.Length() - 1;
      AppendGrowing(iStatusLine, bytes);
      CheckStatusLine(from);
      break;
    }
    case EHeaders: {
      const int32_t from = iResponseHeaders.Length() - 3;
      AppendGrowing(iResponseHeaders, bytes);
      CheckHeaders(from);
      break;
    }
    default:
      AppendBody(bytes);
      break;
  }
  return iResponseError;
}

void CHttpParser::AppendBody(CPwByteArrayC aBytes) {
  if (iContentLength >= 0) {
    const int64_t room = std::max<int64_t>(0, iContentLength - iResponseBody.Length());
    if (aBytes.Length() > room) aBytes = aBytes.Left(static_cast<int32_t>(room));
  }
  AppendGrowing(iResponseBody, aBytes);
}

bool CHttpParser::IsWholeResponse() const {
  if (iStage != EBody || iResponseError != KErrNone) return false;
  return iContentLength < 0 || iResponseBody.Length() == iContentLength;
}

int32_t CHttpParser::ParseContentLength() {
  const CPwByteArrayC name("Content-Length");
  CPwByteArrayC rest = iResponseHeaders;
  for (;;) {
    int32_t terminator = 0;
    const int32_t end = rest.FindLineEnd(terminator);
    if (end <= 0) break;  // the empty line that ends the headers
    const CPwByteArrayC line = rest.Left(end);
    rest = rest.Mid(end + terminator);
    const int32_t colon = line.Find(static_cast<uint8_t>(':'));
    if (colon != name.Length() || line.Left(colon).CompareNoCase(name) != 0) continue;

    CPwByteArrayC value = line.Mid(colon + 1);
    while (!value.IsEmpty() && (value.ByteAt(0) == ' ' || value.ByteAt(0) == '\t')) value = value.Mid(1);
    while (!value.IsEmpty() && (value.ByteAt(value.Length() - 1) == ' ' || value.ByteAt(value.Length() - 1) == '\t'))
      value = value.Left(value.Length() - 1);
    if (value.IsEmpty()) return KErrCorrupt;
    // Digits only; a count of more digits than the cap has is too long whatever it says, and
    // never overflows the sum.
    int64_t length = 0;
    for (int32_t i = 0; i < value.Length(); ++i) {
      const uint8_t c = value.ByteAt(i);
      if (c < '0' || c > '9') return KErrCorrupt;
      if (length <= KMaxResponseBytes) length = length * 10 + (c - '0');
    }
    if (iContentLength >= 0 && iContentLength != length) return KErrCorrupt;
    iContentLength = length;
  }
  if (iContentLength > KMaxResponseBytes - static_cast<int64_t>(iStatusLine.Length()) - iResponseHeaders.Length())
    return KErrTooLong;
  return KErrNone;
}

void CHttpParser::CheckStatusLine(int32_t aScanFrom) {
  const int32_t end = FindFrom(iStatusLine, KCrLf, aScanFrom);
  if (end < 0) return;
  const int32_t lineLength = end + KCrLf.Length();
  AppendGrowing(iResponseHeaders, CPwByteArrayC(iStatusLine).Mid(lineLength));
  iStatusLine.SetLength(lineLength);
  iStage = EHeaders;
  ParseStatusCode();
  CheckHeaders(0);
}

void CHttpParser::CheckHeaders(int32_t aScanFrom) {
  int32_t bodyStart;
  if (iResponseHeaders.Length() >= KCrLf.Length() && iResponseHeaders.Left(KCrLf.Length()) == KCrLf) {
    // No header fields at all: the empty line follows the status line at once.
    bodyStart = KCrLf.Length();
  } else {
    const int32_t end = FindFrom(iResponseHeaders, KEmptyLine, aScanFrom);
    if (end < 0) return;
    bodyStart = end + KEmptyLine.Length();
  }
  const CPwByteArray early{CPwByteArrayC(iResponseHeaders).Mid(bodyStart)};
  iResponseHeaders.SetLength(bodyStart);
  iStage = EBody;
  // A length the body cannot have fails the response before any of the body is taken.
  iResponseError = ParseContentLength();
  if (iResponseError != KErrNone) {
    iContentLength = -1;
    return;
  }
  AppendBody(early);
}

void CHttpParser::ParseStatusCode() {
  iStatusCode = -1;
  const CPwByteArrayC line = iStatusLine;
  const int32_t first = line.Find(static_cast<uint8_t>(' '));
  if (first < 0) return;
  const int32_t second = line.Find(static_cast<uint8_t>(' '), first + 1);
  if (second < 0) return;
  const CPwByteArrayC field = line.Mid(first + 1, second - first - 1);
  // Digits only, and few enough that the value cannot overflow.
  if (field.IsEmpty() || field.Length() > 9) return;
  int32_t code = 0;
  for (int32_t i = 0; i < field.Length(); ++i) {
    const uint8_t c = field.ByteAt(i);
    if (c < '0' || c > '9') return;
    code = code * 10 + (c - '0');
  }
  iStatusCode = code;
}

void CHttpParser::TakeResponseBody(CPwByteArray& aBody) {
  aBody = std::move(iResponseBody);
  iResponseBody.Reset();
}
