#include "exchange/vbox_parser.h"

#include <cmath>
#include <cstring>

namespace {

const CPwByteArrayC KCreatedPrefix("File created on ");
const CPwByteArrayC KHeaderLine("[header]");
const CPwByteArrayC KDataLine("[data]");
const CPwByteArrayC KLapTimingLine("[laptiming]");
const CPwByteArrayC KUtf8Bom("\xEF\xBB\xBF");

bool StartsWith(CPwByteArrayC aText, CPwByteArrayC aPrefix) {
  return aText.Length() >= aPrefix.Length() &&
         std::memcmp(aText.Ptr(), aPrefix.Ptr(), static_cast<size_t>(aPrefix.Length())) == 0;
}

// Minutes of arc scaled to TCoordinate units; false when the value cannot be one.
bool MinutesToCoordinate(double aMinutes, double aScale, int32_t& aOut) {
  const double units = std::round(aMinutes * aScale);
  if (!(std::fabs(units) < 2147483647.0)) return false;
  aOut = static_cast<int32_t>(units);
  return true;
}

}  // namespace

// --- TLogAnchor ----------------------------------------------------------------------------

bool TLogAnchor::TakeHeaderLine(CPwByteArrayC aLine) {
  if (!StartsWith(aLine, KCreatedPrefix)) return false;
  CPwByteArrayC rest = aLine.Mid(KCreatedPrefix.Length());
  const int32_t space = rest.Find(static_cast<uint8_t>(' '));
  if (space >= 0) rest = rest.Left(space);
  PwTime date;
  if (date.ParseDate(rest)) {
    iDateTime = PwDateTime(date, PwTime(0));
    iFromHeader = true;
  }
  return true;
}

void TLogAnchor::FixForPosition(int32_t aTime) {
  if (iFromHeader) {
    iFromHeader = false;
    // A header date that is no calendar date cannot carry the time; the clock stands in.
    if (iDateTime.AddMilliseconds(aTime)) return;
    iDateTime.Reset();
  }
  if (!iDateTime.IsSet()) iDateTime = PwDateTime::NowUtc();
}

// --- CVBoxParser ---------------------------------------------------------------------------

CVBoxParser* CVBoxParser::NewL() { return PwNewL<CVBoxParser>(); }

void CVBoxParser::ConstructL() {
  iLines.ConstructL();
  Reset();
}

CVBoxParser::~CVBoxParser() = default;

void CVBoxParser::Reset() {
  iLines.Reset();
  iAtStart = true;
  iSection = EOutside;
  iColumnCount = 0;
  ResetColumns();
  iGateCount = 0;
  iAnchor.Reset();
  iDiscontinuity = true;
  iAccepted = false;
  iProcessed = false;
}

void CVBoxParser::ResetColumns() {
  for (int32_t& column : iColumns) column = -1;
}

int32_t CVBoxParser::Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing*,
                           CObdChannelList*, CChannelState*, TGpsClock*) {
  iAccepted = false;
  iProcessed = false;
  // Lines end at LF; a CR before it belongs to the line end (CR LF and lone LF files).
  iLines.Feed(aBytes.Ptr(), aBytes.Length(), [&](const uint8_t* aLine, int32_t aLength, bool) {
    if (aLength > 0 && aLine[aLength - 1] == '\r') --aLength;
    HandleLine(CPwByteArrayC(aLine, aLength), aObserver);
    return true;
  });
  return iAccepted ? ETimingEvent : iProcessed ? EParsed : ENothing;
}

void CVBoxParser::HandleLine(CPwByteArrayC aLine, MParsedDataObserver* aObserver) {
  if (iAtStart) {
    iAtStart = false;
    if (StartsWith(aLine, KUtf8Bom)) aLine = aLine.Mid(KUtf8Bom.Length());
  }
  switch (iSection) {
    case EOutside:
      HandleOutside(aLine);
      break;
    case EHeader:
      HandleHeader(aLine);
      break;
    case EData:
      HandleData(aLine, aObserver);
      break;
    case ELapTiming:
      if (aLine.IsEmpty() || aLine.Ptr()[0] == '[') {
        iSection = EOutside;
        HandleOutside(aLine);
      } else {
        HandleGate(aLine);
      }
      break;
  }
}

void CVBoxParser::HandleOutside(CPwByteArrayC aLine) {
  if (aLine == KHeaderLine) {
    iSection = EHeader;
    iColumnCount = 0;
    ResetColumns();
  } else if (aLine == KDataLine) {
    iSection = EData;
  } else if (aLine == KLapTimingLine) {
    iSection = ELapTiming;
  } else {
    iAnchor.TakeHeaderLine(aLine);
  }
}

void CVBoxParser::HandleGate(CPwByteArrayC aLine) {
  if (iGateCount == KMaxGates) return;
  // The name follows the not sign (UTF-8 C2 AC, or the single Latin-1 byte AC).
  std::string_view text = aLine.View();
  std::string_view name;
  const size_t mark = text.find('\xAC');
  if (mark != std::string_view::npos) {
    name = text.substr(mark + 1);
    text = text.substr(0, mark > 0 && text[mark - 1] == '\xC2' ? mark - 1 : mark);
  }
  TVboGate gate;
  const size_t space = text.find(' ');
  const std::string_view kind = text.substr(0, space);
  if (kind == "Start")
    gate.iKind = TVboGate::EStart;
  else if (kind == "Finish")
    gate.iKind = TVboGate::EFinish;
  else if (kind == "Split")
    gate.iKind = TVboGate::ESplit;
  else
    return;
  double values[4];
  std::string_view rest = space == std::string_view::npos ? std::string_view() : text.substr(space);
  for (double& value : values) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    const size_t end = rest.find(' ');
    const CPwByteArrayC field(rest.substr(0, end));
    if (!field.ParseReal(value, '.')) return;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  int32_t lon1, lat1, lon2, lat2;
  if (!MinutesToCoordinate(values[0], -100000.0, lon1) || !MinutesToCoordinate(values[1], 100000.0, lat1) ||
      !MinutesToCoordinate(values[2], -100000.0, lon2) || !MinutesToCoordinate(values[3], 100000.0, lat2))
    return;
  gate.iEnd1 = TGeoPoint(TCoordinate(lat1), TCoordinate(lon1));
  gate.iEnd2 = TGeoPoint(TCoordinate(lat2), TCoordinate(lon2));
  if (!IsPlausiblePoint(gate.iEnd1) || !IsPlausiblePoint(gate.iEnd2)) return;
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  const size_t copied = name.size() < sizeof gate.iName - 1 ? name.size() : sizeof gate.iName - 1;
  if (copied > 0) std::memcpy(gate.iName, name.data(), copied);
  iGates[iGateCount++] = gate;
}

void CVBoxParser::HandleHeader(CPwByteArrayC aLine) {
  if (aLine.IsEmpty() || aLine.Ptr()[0] == '[') {
    iSection = EOutside;
    HandleOutside(aLine);
    return;
  }
  static const struct {
    CPwByteArrayC iName;
    TColumn iColumn;
  } KNames[] = {
      {CPwByteArrayC("satellites"), ESatellites},     {CPwByteArrayC("time"), ETime},
      {CPwByteArrayC("latitude"), ELatitude},         {CPwByteArrayC("longitude"), ELongitude},
      {CPwByteArrayC("velocity kmh"), EVelocityKmh},  {CPwByteArrayC("velocity knots"), EVelocityKnots},
      {CPwByteArrayC("velocity mph"), EVelocityMph},  {CPwByteArrayC("height"), EHeight},
      {CPwByteArrayC("heading"), EHeading},
  };
  for (const auto& name : KNames) {
    if (aLine == name.iName) {
      iColumns[name.iColumn] = iColumnCount;
      break;
    }
  }
  if (iColumnCount < INT32_MAX) ++iColumnCount;
}

void CVBoxParser::HandleData(CPwByteArrayC aLine, MParsedDataObserver* aObserver) {
  // Only fields up to the last known column need cutting.
  int32_t lastField = -1;
  for (int32_t column : iColumns)
    if (column > lastField) lastField = column;

  int32_t satellites = 0;
  int32_t time = 0;
  int32_t latitude = 0, longitude = 0;
  bool haveLatitude = false, haveLongitude = false;
  TSpeed speed(0.0);
  TDistance altitude(0.0);
  double heading = 0.0;

  const uint8_t* p = aLine.Ptr();
  const int32_t length = aLine.Length();
  int32_t pos = 0;
  for (int32_t index = 0; index <= lastField; ++index) {
    if (pos > length) break;  // the line has no more fields
    const uint8_t* space = static_cast<const uint8_t*>(
        pos < length ? std::memchr(p + pos, ' ', static_cast<size_t>(length - pos)) : nullptr);
    const int32_t fieldEnd = space ? static_cast<int32_t>(space - p) : length;
    const CPwByteArrayC field(p + pos, fieldEnd - pos);
    pos = fieldEnd + 1;

    int32_t column = 0;
    while (column < EColumnCount && iColumns[column] != index) ++column;
    if (column == EColumnCount) continue;
    double value = 0.0;
    if (column != ESatellites && column != ETime && !field.ParseReal(value, '.')) return;
    switch (column) {
      case ESatellites:
        if (!field.ParseInt(satellites)) return;
        break;
      case ETime: {
        PwTime t;
        if (!t.ParseTimeOfDay(field)) return;
        if (t.Milliseconds() > 0) time = t.Milliseconds();
        break;
      }
      case ELatitude:
        if (!MinutesToCoordinate(value, 100000.0, latitude)) latitude = KInvalidInt;  // refused below
        haveLatitude = true;
        break;
      case ELongitude:
        // The file counts west as positive.
        if (!MinutesToCoordinate(value, -100000.0, longitude)) longitude = KInvalidInt;
        haveLongitude = true;
        break;
      case EVelocityKmh:
        speed = TSpeed::FromKmh(value);
        break;
      case EVelocityKnots:
        speed = TSpeed::FromKnots(value);
        break;
      case EVelocityMph:
        speed = TSpeed::FromMph(value);
        break;
      case EHeight:
        altitude = TDistance::FromMetres(value);
        break;
      case EHeading:
        heading = value;
        break;
    }
  }
  iProcessed = true;

  if (time <= 0 || !haveLatitude || !haveLongitude || latitude == 0 || longitude == 0) return;
  // Minutes beyond a pole or the date line, or a speed no vehicle reaches: a damaged row.
  if (!IsPlausiblePoint(TGeoPoint(TCoordinate(latitude), TCoordinate(longitude))) || !IsPlausibleSpeed(speed)) {
    CountDropped();
    return;
  }
  iAnchor.FixForPosition(time);
  if (!aObserver) return;
  const PwDateTime& anchor = iAnchor.DateTime();
  const bool anchorSet = anchor.IsSet();
  const int32_t result = aObserver->PositionParsed(
      TCoordinate(latitude), TCoordinate(longitude), PwTime(time), altitude, speed, heading, InvalidReal(),
      InvalidReal(), satellites, 0, iDiscontinuity ? 1 : 0,
      anchorSet ? anchor.iDate : PwTime::Unset(),
      anchorSet ? anchor.iTime : PwTime::Unset());
  iDiscontinuity = false;
  if (result != 0) iAccepted = true;
}
