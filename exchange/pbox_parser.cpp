#include "exchange/pbox_parser.h"

#include <cstring>

#include "foundation/byte_order.h"

namespace {

const CPwByteArrayC KHeaderLine("[HEADER]");
const CPwByteArrayC KDataLine("[DATA]");

// A record time more than this far behind the previous one starts a new time line.
constexpr int32_t KRestartJump = 600000;
// Where a record steps back in time, it is placed this long after the previous one.
constexpr int32_t KBackwardStep = 100;
// Header sizes beyond this cannot describe a record that fits the buffer.
constexpr int32_t KMaxRecordSize = 1 << 20;

struct TFieldName {
  CPwByteArrayC iName;
  int32_t iSize;
};
// In the order of CPBoxParser::TField.
const TFieldName KFields[] = {
    {CPwByteArrayC("SATS"), 1},     {CPwByteArrayC("TIME"), 3},      {CPwByteArrayC("LATITUDE"), 4},
    {CPwByteArrayC("LONGITUDE"), 4}, {CPwByteArrayC("VELOCITY"), 2}, {CPwByteArrayC("HEIGHT"), 4},
    {CPwByteArrayC("HEADING"), 2},
};

}  // namespace

CPBoxParser* CPBoxParser::NewL() { return PwNewL<CPBoxParser>(); }

void CPBoxParser::ConstructL() {
  iBuffer = static_cast<uint8_t*>(AllocL(KBufferSize));
  iHeaderLines.ConstructL();
  Reset();
}

CPBoxParser::~CPBoxParser() { FreeMem(iBuffer); }

void CPBoxParser::Reset() {
  iStart = 0;
  iLength = 0;
  iSection = EOutside;
  iRecordSize = 1;
  ResetFields();
  iHeaderLines.Reset();
  iHavePreviousTime = false;
  iPreviousTime = 0;
  iHaveTimeOffset = false;
  iTimeOffset = 0;
  iAnchor.Reset();
  iDiscontinuity = true;
  iAccepted = false;
  iProcessed = false;
}

void CPBoxParser::ResetFields() {
  for (int32_t& offset : iOffsets) offset = -1;
}

int32_t CPBoxParser::Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing*,
                           CObdChannelList*, CChannelState*, TGpsClock*) {
  iAccepted = false;
  iProcessed = false;
  const uint8_t* input = aBytes.Ptr();
  int32_t left = aBytes.Length();
  while (left > 0) {
    if (iSection != EData) {
      // Header text: lines end with CR LF. The records start after the "[DATA]" line.
      const int32_t used = iHeaderLines.Feed(input, left, [this](const uint8_t* aLine, int32_t aLength, bool) {
        HandleLine(CPwByteArrayC(aLine, aLength - 1));  // without the CR
        return iSection != EData;
      });
      input += used;
      left -= used;
      continue;
    }
    if (iStart > 0) {
      std::memmove(iBuffer, iBuffer + iStart, static_cast<size_t>(iLength - iStart));
      iLength -= iStart;
      iStart = 0;
    }
    // Nothing complete in a full buffer: drop it.
    if (iLength == KBufferSize) iLength = 0;
    const int32_t take = left < KBufferSize - iLength ? left : KBufferSize - iLength;
    std::memcpy(iBuffer + iLength, input, static_cast<size_t>(take));
    iLength += take;
    input += take;
    left -= take;
    Drain(aObserver);
  }
  return iAccepted ? ETimingEvent : iProcessed ? EParsed : ENothing;
}

void CPBoxParser::Drain(MParsedDataObserver* aObserver) {
  for (;;) {
    const int32_t size = iRecordSize + 2;
    if (iLength - iStart < size) return;
    if (HandleRecord(iBuffer + iStart, aObserver)) {
      iStart += size;
      continue;
    }
    // Out of step (a lost or extra byte): the next '$' may start a record again.
    const uint8_t* next = static_cast<const uint8_t*>(
        std::memchr(iBuffer + iStart + 1, '$', static_cast<size_t>(iLength - iStart - 1)));
    iStart = next ? static_cast<int32_t>(next - iBuffer) : iLength;
  }
}

void CPBoxParser::HandleLine(CPwByteArrayC aLine) {
  if (iSection == EHeader)
    HandleHeader(aLine);
  else
    HandleOutside(aLine);
}

void CPBoxParser::HandleOutside(CPwByteArrayC aLine) {
  if (aLine == KHeaderLine) {
    iSection = EHeader;
    iRecordSize = 1;
    ResetFields();
  } else if (aLine == KDataLine) {
    iSection = EData;
  } else {
    iAnchor.TakeHeaderLine(aLine);
  }
}

void CPBoxParser::HandleHeader(CPwByteArrayC aLine) {
  if (aLine.IsEmpty() || aLine.Ptr()[0] == '[') {
    iSection = EOutside;
    HandleOutside(aLine);
    return;
  }
  // NAME(n): n bytes of the record belong to the field.
  const int32_t open = aLine.Find(static_cast<uint8_t>('('));
  if (open < 0) return;
  const int32_t close = aLine.Find(static_cast<uint8_t>(')'), open + 1);
  if (close < 0 || close == open + 1) return;
  int32_t size = 0;
  for (int32_t i = open + 1; i < close; ++i) {
    const uint8_t c = aLine.Ptr()[i];
    if (c < '0' || c > '9') return;
    size = size * 10 + (c - '0');
    if (size > KMaxRecordSize) size = KMaxRecordSize;
  }
  const CPwByteArrayC name = aLine.Left(open);
  for (int32_t field = 0; field < EFieldCount; ++field) {
    if (KFields[field].iSize == size && name == KFields[field].iName) {
      iOffsets[field] = iRecordSize;
      break;
    }
  }
  iRecordSize += size;
  if (iRecordSize > KMaxRecordSize) iRecordSize = KMaxRecordSize;
}

bool CPBoxParser::HandleRecord(const uint8_t* aRecord, MParsedDataObserver* aObserver) {
  if (aRecord[0] != '$' || aRecord[iRecordSize] != '\r' || aRecord[iRecordSize + 1] != '\n')
    return false;
  for (int32_t field = 0; field < EFieldCount; ++field) {
    if (iOffsets[field] < 0 || iOffsets[field] + KFields[field].iSize > iRecordSize) return true;
  }
  iProcessed = true;

  int64_t time = static_cast<int64_t>(ReadBigEndian24(aRecord + iOffsets[ETime])) * 10;
  const int32_t latitude = ReadBigEndianSigned32(aRecord + iOffsets[ELatitude]);
  const int32_t longitude = ReadBigEndianSigned32(aRecord + iOffsets[ELongitude]);
  const int32_t height = ReadBigEndianSigned32(aRecord + iOffsets[EHeight]);
  const uint32_t velocity = ReadBigEndian16(aRecord + iOffsets[EVelocity]);
  const uint32_t heading = ReadBigEndian16(aRecord + iOffsets[EHeading]);
  const int32_t satellites = aRecord[iOffsets[ESats]];

  // Keep the time line moving forwards: a small step back is placed just after the previous
  // record; a jump back of more than ten minutes starts a new line.
  if (iHavePreviousTime) {
    const int64_t offset = iHaveTimeOffset ? iTimeOffset : 0;
    if (time + KRestartJump < iPreviousTime) {
      iTimeOffset = 0;
      iHaveTimeOffset = true;
    } else if (time + offset < iPreviousTime) {
      iTimeOffset = iPreviousTime - time + KBackwardStep;
      iHaveTimeOffset = true;
    }
  }
  if (iHaveTimeOffset) time += iTimeOffset;
  iPreviousTime = time;
  iHavePreviousTime = true;

  // A time pushed past the range of a time stamp cannot be stored.
  if (time >= KInvalidInt) return true;
  if (latitude == 0 || longitude == 0 || latitude == KInvalidInt || longitude == KInvalidInt) return true;
  const TSpeed speed = TSpeed::FromMetresPerSecond(velocity / 360.0);
  if (!IsPlausiblePoint(TGeoPoint(TCoordinate(latitude), TCoordinate(longitude))) || !IsPlausibleSpeed(speed)) {
    CountDropped();  // a damaged record, in step but not a position
    return true;
  }
  iAnchor.FixForPosition(static_cast<int32_t>(time));
  if (!aObserver) return true;
  const PwDateTime& anchor = iAnchor.DateTime();
  const bool anchorSet = anchor.IsSet();
  const int32_t result = aObserver->PositionParsed(
      TCoordinate(latitude), TCoordinate(longitude), PwTime(static_cast<int32_t>(time)), TDistance::FromMetres(height / 100.0),
      speed, heading / 100.0, InvalidReal(), InvalidReal(),
      satellites, 0, iDiscontinuity ? 1 : 0, anchorSet ? anchor.iDate : PwTime::Unset(),
      anchorSet ? anchor.iTime : PwTime::Unset());
  iDiscontinuity = false;
  if (result != 0) iAccepted = true;
  return true;
}
