#include "acquisition/datavane_parser.h"

#include <cstdint>

namespace {

// The part of aText before the first comma (all of it without one) and what follows the comma.
void SplitField(CPwByteArrayC aText, CPwByteArrayC& aField, CPwByteArrayC& aRest) {
  const int32_t comma = aText.Find(static_cast<uint8_t>(','));
  if (comma < 0) {
    aField = aText;
    aRest = CPwByteArrayC();
  } else {
    aField = aText.Left(comma);
    aRest = aText.Mid(comma + 1);
  }
}

// aTime moved by whole days to within half a day of aReference: the GPS clock starts again at
// midnight, while the logger's time line runs on.
PwTime NearReference(PwTime aTime, PwTime aReference) {
  int64_t diff = (static_cast<int64_t>(aTime.Milliseconds()) - aReference.Milliseconds()) % PwTime::KDay;
  if (diff < 0) diff += PwTime::KDay;
  if (diff >= PwTime::KDay / 2) diff -= PwTime::KDay;
  const int64_t near = aReference.Milliseconds() + diff;
  if (near <= INT32_MIN || near >= PwTime::KUnset) return aTime;
  return PwTime(static_cast<int32_t>(near));
}

}  // namespace

CDatavaneParser* CDatavaneParser::NewL(TGpsClock& aClock) { return new CDatavaneParser(aClock); }

CDatavaneParser::CDatavaneParser(TGpsClock& aClock) : iClock(&aClock) {}

CDatavaneParser::~CDatavaneParser() = default;

void CDatavaneParser::AddInput(CPwByteArrayC aBytes) {
  if (aBytes.Length() >= KInputLimit)
    iInput.Copy(aBytes);
  else
    iInput.Append(aBytes);
}

void CDatavaneParser::Process(CPwByteArray& aCommands, CPwByteArray& aReceived) {
  (void)aCommands;
  int32_t pos = 0;
  for (;;) {
    const int32_t end = iInput.Mid(pos).Find(CPwByteArrayC("\r\n"));
    if (end < 0) break;
    iLine.Copy(iInput.Mid(pos, end));
    pos += end + 2;
    HandleLine();
    EmitSentence(aReceived);
  }
  if (pos > 0) iInput.Delete(0, pos);
  // Noise without CR LF (a wrong baud rate) would otherwise pile up for the whole connection.
  if (iInput.Length() >= KInputLimit) iInput.SetLength(0);
}

void CDatavaneParser::Reset() {
  iInput.SetLength(0);
  iLine.SetLength(0);
  iBody.SetLength(0);
  iCounter = 0;
  iType = ETypeNone;
  iSpanCount = 0;
  iSpanTime = PwTime::Unset();
  iReferenceTime = PwTime::Unset();
  iBaseTime = PwTime::Unset();
  iLastSampleTime = PwTime::Unset();
  iReferenceCounter = 0;
  iBaseCounter = 0;
  iInterval = KFirstInterval;
}

int32_t CDatavaneParser::Classify(CPwByteArrayC aLine, CPwByteArrayC& aRest) {
  aRest = CPwByteArrayC();
  if (aLine.Length() < 5 || aLine.ByteAt(0) != '$') return ETypeNone;
  if (aLine.ByteAt(aLine.Length() - 3) == '*') {
    uint32_t expected = 0;
    if (!aLine.Mid(aLine.Length() - 2).ParseHex(expected)) return ETypeNone;
    aLine = aLine.Left(aLine.Length() - 3);
    uint8_t sum = 0;
    for (int32_t i = 1; i < aLine.Length(); ++i) sum ^= aLine.Ptr()[i];
    if (sum != expected) return ETypeNone;
  }
  CPwByteArrayC name;
  SplitField(aLine, name, aRest);
  if (name == CPwByteArrayC("$PW1")) return ETypePw1;
  if (name == CPwByteArrayC("$PW2")) return ETypePw2;
  aRest = CPwByteArrayC();
  return ETypeNone;
}

void CDatavaneParser::HandleLine() {
  // Emptied first, so that a line that is not a logger sentence never re-emits the body of
  // the one before it.
  iBody.SetLength(0);
  CPwByteArrayC rest;
  iType = Classify(iLine, rest);
  if (iType != ETypePw1 && iType != ETypePw2) return;
  // A line break inside is line noise; passed on it would split the sentence in two.
  if (iLine.Find(static_cast<uint8_t>('\n')) >= 0 || iLine.Find(static_cast<uint8_t>('\r')) >= 0) return;

  CPwByteArrayC ownField, counterField, body;
  if (rest.IsEmpty()) return;
  SplitField(rest, ownField, rest);
  if (rest.IsEmpty()) return;
  SplitField(rest, counterField, body);
  int32_t counter = 0;
  if (!counterField.ParseInt(counter)) return;

  // The logger's counter is 16 bits; a smaller value than before means it wrapped.
  const uint32_t low = static_cast<uint32_t>(counter) & 0xFFFFu;
  uint32_t extended = (static_cast<uint32_t>(iCounter) & ~0xFFFFu) | low;
  if (low < (static_cast<uint32_t>(iCounter) & 0xFFFFu)) extended += 0x10000u;
  iCounter = static_cast<int32_t>(extended);

  iBody.Copy(body);
  Synchronise();
}

void CDatavaneParser::Synchronise() {
  if (!iReferenceTime.IsSet()) {
    const PwTime g = iClock->CurrentTime();
    if (!g.IsSet()) return;
    iInterval = KFirstInterval;
    iReferenceCounter = iCounter;
    iReferenceTime = g;
    return;
  }
  if (static_cast<int64_t>(iCounter) < static_cast<int64_t>(iReferenceCounter) + iInterval) return;
  PwTime g = iClock->CurrentTime();
  if (!g.IsSet()) return;
  g = NearReference(g, iReferenceTime);

  const int64_t dt = static_cast<int64_t>(g.Milliseconds()) - iReferenceTime.Milliseconds();
  const int64_t dc = static_cast<int64_t>(iCounter) - iReferenceCounter;
  if (dc > 0 && dt > 0) {
    // From the second measurement on, the base moves to where the previous rate puts this
    // counter, so the time line does not jump.
    const PwTime base = iBaseTime.IsSet() ? SampleTime(iCounter) : g;
    if (base.IsSet()) {
      iBaseTime = base;
      iSpanTime = PwTime(static_cast<int32_t>(dt));
      iSpanCount = static_cast<int32_t>(dc);
      iBaseCounter = iCounter;
    }
  }
  iReferenceCounter = iCounter;
  if (iBaseTime.IsSet()) {
    const double mid = (static_cast<double>(iBaseTime.Milliseconds()) + g.Milliseconds()) / 2.0;
    iReferenceTime = PwTime::FromSecondsReal(mid / 1000.0);
    if (!iReferenceTime.IsSet()) iReferenceTime = g;
  } else {
    iReferenceTime = g;
  }
  if (iInterval < KMaxInterval) iInterval += KIntervalStep;
}

PwTime CDatavaneParser::SampleTime(int32_t aCounter) const {
  if (!iBaseTime.IsSet() || !iSpanTime.IsSet() || iSpanCount <= 0) return PwTime::Unset();
  const double seconds = iBaseTime.SecondsReal() + iSpanTime.Milliseconds() / 1000.0 / iSpanCount *
                                                       (static_cast<double>(aCounter) - iBaseCounter);
  return PwTime::FromSecondsReal(seconds);
}

void CDatavaneParser::EmitSentence(CPwByteArray& aReceived) {
  const PwTime t = SampleTime(iCounter);
  iLastSampleTime = t;
  if (iBody.IsEmpty()) return;
  const int32_t start = aReceived.Length();
  aReceived.Append(iType == ETypePw2 ? CPwByteArrayC("$PW2,") : CPwByteArrayC("$PW1,"));
  if (t.IsSet()) t.AppendNmeaTime(aReceived, 3);
  aReceived.AppendByte(',');
  aReceived.AppendNum(static_cast<uint32_t>(iCounter) & 0xFFFFu);
  aReceived.AppendByte(',');
  aReceived.Append(iBody);
  uint8_t sum = 0;
  for (int32_t i = start + 1; i < aReceived.Length(); ++i) sum ^= aReceived.Ptr()[i];
  aReceived.AppendByte('*');
  aReceived.AppendHex(sum, 2);
  aReceived.Append(CPwByteArrayC("\r\n"));
}
