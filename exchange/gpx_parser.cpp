#include "exchange/gpx_parser.h"

#include <expat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "strings/pw_strings.h"

namespace {

// The name after a namespace prefix: "gpxtpx:speed" is a "speed".
const char* LocalName(const char* aName) {
  const char* colon = std::strrchr(aName, ':');
  return colon ? colon + 1 : aName;
}

bool Is(const char* aName, const char* aWanted) { return std::strcmp(aName, aWanted) == 0; }

// A decimal number filling the whole text (surrounding blanks allowed); false otherwise.
// Plain decimals, which is what GPX writers put there, are read directly (strtod is the
// larger part of reading a track otherwise); anything else goes to strtod.
bool ParseNumber(const char* aText, double& aValue) {
  static constexpr double KPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                       1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};
  const char* p = aText;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  const char* start = p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  uint64_t mantissa = 0;
  int32_t digits = 0, decimals = 0;
  for (; *p >= '0' && *p <= '9'; ++p, ++digits) mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  if (*p == '.')
    for (++p; *p >= '0' && *p <= '9'; ++p, ++digits, ++decimals)
      mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  const char* end = p;
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
  if (digits > 0 && digits <= 17 && *end == '\0') {
    const double v = static_cast<double>(mantissa) / KPowers[decimals];
    aValue = negative ? -v : v;
    return true;
  }
  char* stop = nullptr;
  const double v = std::strtod(start, &stop);
  if (stop == start) return false;
  while (*stop == ' ' || *stop == '\t' || *stop == '\r' || *stop == '\n') ++stop;
  if (*stop != '\0' || !std::isfinite(v)) return false;
  aValue = v;
  return true;
}

bool Digits(const char*& aP, int32_t aCount, int32_t& aValue) {
  aValue = 0;
  for (int32_t i = 0; i < aCount; ++i, ++aP) {
    if (*aP < '0' || *aP > '9') return false;
    aValue = aValue * 10 + (*aP - '0');
  }
  return true;
}

// An XML Schema dateTime ("2024-05-08T10:00:00.125Z", "...+02:00", no zone counts as UTC) as
// milliseconds since 1970, the fraction rounded to the millisecond.
bool ParseDateTime(const char* aText, int64_t& aInstant) {
  const char* p = aText;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  int32_t year, month, day, hour, minute, second;
  if (!Digits(p, 4, year) || *p++ != '-' || !Digits(p, 2, month) || *p++ != '-' || !Digits(p, 2, day)) return false;
  if (*p != 'T' && *p != 't' && *p != ' ') return false;
  ++p;
  if (!Digits(p, 2, hour) || *p++ != ':' || !Digits(p, 2, minute) || *p++ != ':' || !Digits(p, 2, second))
    return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 24 || minute > 59 || second > 60) return false;
  int64_t fraction = 0;  // microseconds
  if (*p == '.' || *p == ',') {
    ++p;
    if (*p < '0' || *p > '9') return false;
    int64_t scale = 100000;
    for (; *p >= '0' && *p <= '9'; ++p, scale /= 10)
      if (scale > 0) fraction += (*p - '0') * scale;
  }
  int64_t offsetMinutes = 0;
  if (*p == 'Z' || *p == 'z') {
    ++p;
  } else if (*p == '+' || *p == '-') {
    const int64_t sign = *p++ == '-' ? -1 : 1;
    int32_t oh, om = 0;
    if (!Digits(p, 2, oh)) return false;
    if (*p == ':') ++p;
    if (*p >= '0' && *p <= '9' && !Digits(p, 2, om)) return false;
    if (oh > 23 || om > 59) return false;
    offsetMinutes = sign * (oh * 60 + om);
  }
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  if (*p != '\0') return false;
  int64_t midnight = 0;
  if (!PwDateTime(year, month, day, 0, 0, 0, 0).ToEpochMs(&midnight)) return false;
  const int64_t seconds = hour * 3600 + minute * 60 + second - offsetMinutes * 60;
  aInstant = midnight + seconds * 1000 + (fraction + 500) / 1000;
  return true;
}

double Normalised360(double aDegrees) {
  double d = std::fmod(aDegrees, 360.0);
  if (d < 0) d += 360.0;
  return d;
}

}  // namespace

void CGpxParser::TPoint::Clear() { *this = TPoint(); }

CGpxParser* CGpxParser::NewL() { return PwNewL<CGpxParser>(); }

void CGpxParser::ConstructL() {
  iXml = XML_ParserCreate(nullptr);
  if (!iXml) Leave(KErrNoMemory);
  StartDocument();
}

CGpxParser::~CGpxParser() {
  if (iXml) XML_ParserFree(iXml);
}

void CGpxParser::StartDocument() {
  XML_SetUserData(iXml, this);
  XML_SetElementHandler(iXml, &OnStart, &OnEnd);
  XML_SetCharacterDataHandler(iXml, &OnText);
  XML_SetEntityDeclHandler(iXml, &OnEntity);
  // No external DTD or parameter entity is ever read.
  XML_SetParamEntityParsing(iXml, XML_PARAM_ENTITY_PARSING_NEVER);
  iRefusal = ENotRefused;
  iRefusalLine = 0;
  iExpatError[0] = '\0';
  iLine = 1;
  iLineBytes = 0;
  iFedBytes = 0;
  iEventByte = 0;
  iStartLength = 0;
  iDepth = 0;
  iRootSeen = false;
  iPointDepth = 0;
  iNewSegment = true;
  iField = ENoField;
  iTextLength = 0;
  iTextOverflow = false;
  iPoint.Clear();
  iHasHeld = false;
  iHasBefore = false;
}

void CGpxParser::Reset() {
  XML_ParserReset(iXml, nullptr);
  StartDocument();
}

bool CGpxParser::Refusal(CPwString& aReason) const {
  switch (iRefusal) {
    case ENotRefused:
      return false;
    case EEntities:
      aReason.FormatN(R_GPX_REFUSED_ENTITIES, iRefusalLine);
      break;
    case ELineTooLong:
      aReason.FormatNN(R_GPX_REFUSED_LONG_LINE, iRefusalLine, KMaxLineBytes / (1024 * 1024));
      break;
    case ETokenTooLong:
      aReason.FormatNN(R_GPX_REFUSED_LONG_TOKEN, iRefusalLine, KMaxTokenBytes / (1024 * 1024));
      break;
    case ETooDeep:
      aReason.FormatNN(R_GPX_REFUSED_DEEP, iRefusalLine, KMaxDepth);
      break;
    case ENotWellFormed: {
      CPwString what;
      what.AppendFromUtf8(std::string_view(iExpatError));
      aReason.FormatUN(R_GPX_REFUSED_NOT_XML, what, iRefusalLine);
      break;
    }
    case ENotGpx:
      aReason.LoadFromResource(R_GPX_REFUSED_NOT_GPX);
      break;
  }
  return true;
}

void CGpxParser::Refuse(TRefusal aKind, int64_t aLine) {
  if (iRefusal != ENotRefused) return;
  iRefusal = aKind;
  iRefusalLine = aLine;
  XML_StopParser(iXml, XML_FALSE);
}

int32_t CGpxParser::Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing*, CObdChannelList*,
                          CChannelState*, TGpsClock*) {
  if (iRefusal != ENotRefused || aBytes.IsEmpty()) return ENothing;
  // Expat tells the encoding from the first bytes (a byte order mark, "<?xm", UTF-16 zeros):
  // it sees at least four at once, however the stream is cut.
  if (iFedBytes == 0 && iStartLength + aBytes.Length() < KStartBytes) {
    std::memcpy(iStart + iStartLength, aBytes.Ptr(), static_cast<size_t>(aBytes.Length()));
    iStartLength += aBytes.Length();
    return ENothing;
  }
  if (iStartLength > 0) {
    const int32_t start = iStartLength;
    iStartLength = 0;
    const int32_t first = Feed(CPwByteArrayC(iStart, start), aObserver);
    if (iRefusal != ENotRefused) return first;
    const int32_t rest = Feed(aBytes, aObserver);
    return first == ETimingEvent || rest == ETimingEvent ? ETimingEvent : first > rest ? first : rest;
  }
  return Feed(aBytes, aObserver);
}

int32_t CGpxParser::Feed(CPwByteArrayC aBytes, MParsedDataObserver* aObserver) {
  if (iRefusal != ENotRefused || aBytes.IsEmpty()) return ENothing;
  iObserver = aObserver;
  iResult = ENothing;
  // A line beyond the limit is refused before expat buffers it.
  const uint8_t* p = aBytes.Ptr();
  int32_t length = aBytes.Length();
  int64_t lineBytes = iLineBytes;
  int64_t lines = 0;
  for (int32_t at = 0; at < length;) {
    const void* found = std::memchr(p + at, '\n', static_cast<size_t>(length - at));
    const int32_t end = found ? static_cast<int32_t>(static_cast<const uint8_t*>(found) - p) : length;
    lineBytes += end - at;
    if (lineBytes > KMaxLineBytes) {
      // Feed what fits, so that the points before the limit still count; then stop.
      length = end - static_cast<int32_t>(lineBytes - KMaxLineBytes);
      break;
    }
    if (!found) break;
    ++lines;
    lineBytes = 0;
    at = end + 1;
  }
  const bool tooLong = lineBytes > KMaxLineBytes;

  if (XML_Parse(iXml, reinterpret_cast<const char*>(p), length, XML_FALSE) == XML_STATUS_ERROR &&
      iRefusal == ENotRefused) {
    std::strncpy(iExpatError, XML_ErrorString(XML_GetErrorCode(iXml)), sizeof iExpatError - 1);
    iRefusal = ENotWellFormed;
    iRefusalLine = static_cast<int64_t>(XML_GetCurrentLineNumber(iXml));
  }
  iFedBytes += length;
  iLine += lines;
  iLineBytes = tooLong ? KMaxLineBytes : lineBytes;
  if (iRefusal == ENotRefused && tooLong) Refuse(ELineTooLong, iLine);
  // Everything after the newest event is one token expat keeps whole until it ends.
  if (iRefusal == ENotRefused && iFedBytes - iEventByte > KMaxTokenBytes) Refuse(ETokenTooLong, iLine);
  iObserver = nullptr;
  return iResult;
}

void CGpxParser::NoteEvent() { iEventByte = static_cast<int64_t>(XML_GetCurrentByteIndex(iXml)); }

void CGpxParser::OnStart(void* aSelf, const char* aName, const char** aAttributes) {
  CGpxParser& self = *static_cast<CGpxParser*>(aSelf);
  if (self.iRefusal != ENotRefused) return;
  self.NoteEvent();
  self.Start(LocalName(aName), aAttributes);
}

void CGpxParser::OnEnd(void* aSelf, const char* aName) {
  CGpxParser& self = *static_cast<CGpxParser*>(aSelf);
  if (self.iRefusal != ENotRefused) return;
  self.NoteEvent();
  self.End(LocalName(aName));
}

void CGpxParser::OnText(void* aSelf, const char* aText, int aLength) {
  CGpxParser& self = *static_cast<CGpxParser*>(aSelf);
  if (self.iRefusal != ENotRefused) return;
  self.NoteEvent();
  if (self.iField == ENoField) return;
  if (self.iTextLength + aLength >= static_cast<int32_t>(sizeof self.iText)) {
    self.iTextOverflow = true;
    return;
  }
  std::memcpy(self.iText + self.iTextLength, aText, static_cast<size_t>(aLength));
  self.iTextLength += aLength;
}

void CGpxParser::OnEntity(void* aSelf, const char*, int, const char*, int, const char*, const char*, const char*,
                          const char*) {
  CGpxParser& self = *static_cast<CGpxParser*>(aSelf);
  self.Refuse(EEntities, static_cast<int64_t>(XML_GetCurrentLineNumber(self.iXml)));
}

void CGpxParser::Start(const char* aName, const char** aAttributes) {
  if (++iDepth > KMaxDepth) {
    Refuse(ETooDeep, static_cast<int64_t>(XML_GetCurrentLineNumber(iXml)));
    return;
  }
  if (!iRootSeen) {
    iRootSeen = true;
    if (!Is(aName, "gpx")) Refuse(ENotGpx, 1);
    return;
  }
  if (iPointDepth == 0) {
    if (Is(aName, "trkseg")) {
      FlushSegment();
      iNewSegment = true;
    } else if (Is(aName, "trkpt")) {
      iPointDepth = iDepth;
      iPoint.Clear();
      double lat = 0.0, lon = 0.0;
      bool haveLat = false, haveLon = false;
      for (const char** a = aAttributes; a[0]; a += 2) {
        if (Is(a[0], "lat")) haveLat = ParseNumber(a[1], lat);
        if (Is(a[0], "lon")) haveLon = ParseNumber(a[1], lon);
      }
      if (haveLat && haveLon && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0) {
        iPoint.iLatitude = TCoordinate::FromDegrees(lat).iValue;
        iPoint.iLongitude = TCoordinate::FromDegrees(lon).iValue;
        iPoint.iHasPosition = true;
      }
    } else if (Is(aName, "rtept")) {
      ++iRoutePoints;
    } else if (Is(aName, "wpt")) {
      ++iWaypoints;
    }
    return;
  }
  // Inside a point: the first element of a name counts, at any depth (extensions included).
  TField field = ENoField;
  switch (aName[0]) {
    case 't':
      if (Is(aName, "time")) field = ETime;
      break;
    case 'e':
      if (Is(aName, "ele")) field = EElevation;
      break;
    case 's':
      if (Is(aName, "speed"))
        field = ESpeed;
      else if (Is(aName, "sat"))
        field = ESatellites;
      break;
    case 'c':
      if (Is(aName, "course")) field = ECourse;
      break;
    case 'f':
      if (Is(aName, "fix")) field = EFix;
      break;
    case 'h':
      if (Is(aName, "hdop")) field = EHdop;
      break;
    case 'v':
      if (Is(aName, "vdop")) field = EVdop;
      break;
    default:
      break;
  }
  if (field != ENoField && iField == ENoField) {
    iField = field;
    iFieldDepth = iDepth;
    iTextLength = 0;
    iTextOverflow = false;
  }
}

void CGpxParser::End(const char* aName) {
  if (iField != ENoField && iDepth == iFieldDepth) {
    TakeField();
    iField = ENoField;
  }
  if (iPointDepth != 0 && iDepth == iPointDepth) {
    iPointDepth = 0;
    PointDone();
  } else if (iPointDepth == 0 && Is(aName, "trkseg")) {
    FlushSegment();
  } else if (iDepth == 1) {
    FlushSegment();  // the end of the document
  }
  --iDepth;
}

void CGpxParser::TakeField() {
  if (iTextOverflow) return;
  iText[iTextLength] = '\0';
  double v = 0.0;
  switch (iField) {
    case ETime: {
      int64_t instant = 0;
      PwDateTime moment;
      if (!iPoint.iHasTime && ParseDateTime(iText, instant) && moment.FromEpochMs(instant)) {
        if (moment.iDate.Year() < 1980 || moment.iDate.Year() > 2200) break;
        iPoint.iInstant = instant;
        iPoint.iTimeOfDay = moment.iTime.Milliseconds();
        iPoint.iDate = moment.iDate.Milliseconds();
        iPoint.iHasTime = true;
      }
      break;
    }
    case EElevation:
      if (ParseNumber(iText, v) && std::fabs(v) < 100000.0 && !IsValidReal(iPoint.iElevation)) iPoint.iElevation = v;
      break;
    case ESpeed:
      if (ParseNumber(iText, v) && !IsValidReal(iPoint.iSpeed)) iPoint.iSpeed = v;
      break;
    case ECourse:
      if (ParseNumber(iText, v) && !IsValidReal(iPoint.iCourse)) iPoint.iCourse = Normalised360(v);
      break;
    case ESatellites:
      if (ParseNumber(iText, v) && v >= 0 && v < 1000) iPoint.iSatellites = static_cast<int32_t>(v);
      break;
    case EFix:
      iPoint.iDifferential = std::strstr(iText, "dgps") != nullptr;
      break;
    case EHdop:
      if (ParseNumber(iText, v) && v >= 0 && v < 600) iPoint.iHdop = v;
      break;
    case EVdop:
      if (ParseNumber(iText, v) && v >= 0 && v < 600) iPoint.iVdop = v;
      break;
    case ENoField:
      break;
  }
}

void CGpxParser::PointDone() {
  if (!iPoint.iHasTime) {
    if (iUntimedPoints < INT32_MAX) ++iUntimedPoints;
    return;
  }
  const bool speedImpossible = IsValidReal(iPoint.iSpeed) && !(iPoint.iSpeed >= 0.0 && iPoint.iSpeed <= KMaxPlausibleSpeed);
  if (!iPoint.iHasPosition || speedImpossible) {
    CountDropped();
    return;
  }
  iPoint.iFirstOfSegment = iNewSegment;
  iNewSegment = false;
  if (iHasHeld) {
    Emit(iHeld, iHasBefore ? &iBefore : nullptr, &iPoint);
    iBefore = iHeld;
    iHasBefore = true;
  }
  iHeld = iPoint;
  iHasHeld = true;
}

void CGpxParser::FlushSegment() {
  if (iHasHeld) Emit(iHeld, iHasBefore ? &iBefore : nullptr, nullptr);
  iHasHeld = false;
  iHasBefore = false;
}

void CGpxParser::Emit(TPoint& aPoint, const TPoint* aBefore, const TPoint* aAfter) {
  // Speed and course the file does not give come from the neighbours in the segment: over
  // both when there are two, else over the one there is.
  if (!IsValidReal(aPoint.iSpeed) || !IsValidReal(aPoint.iCourse)) {
    const TPoint& from = aBefore ? *aBefore : aPoint;
    const TPoint& to = aAfter ? *aAfter : aPoint;
    const double seconds = (to.iInstant - from.iInstant) / 1000.0;
    if (&from != &to && seconds > 0.0) {
      const TPosition a(TGeoPoint(TCoordinate(from.iLatitude), TCoordinate(from.iLongitude)));
      const TPosition b(TGeoPoint(TCoordinate(to.iLatitude), TCoordinate(to.iLongitude)));
      const double metres = a.Distance(b).Metres();
      if (!IsValidReal(aPoint.iSpeed)) {
        const double speed = metres / seconds;
        if (speed <= KMaxPlausibleSpeed) aPoint.iSpeed = speed;
      }
      if (!IsValidReal(aPoint.iCourse) && metres > 0.0) aPoint.iCourse = a.Bearing(b).CompassDegrees();
    }
  }
  if (!iObserver) return;
  const int32_t timing = iObserver->PositionParsed(
      TCoordinate(aPoint.iLatitude), TCoordinate(aPoint.iLongitude), PwTime(aPoint.iTimeOfDay),
      IsValidReal(aPoint.iElevation) ? TDistance::FromMetres(aPoint.iElevation) : TDistance::Invalid(),
      IsValidReal(aPoint.iSpeed) ? TSpeed::FromMetresPerSecond(aPoint.iSpeed) : TSpeed::Invalid(), aPoint.iCourse,
      aPoint.iHdop, aPoint.iVdop, aPoint.iSatellites, aPoint.iDifferential ? 1 : 0, aPoint.iFirstOfSegment ? 1 : 0,
      PwTime(aPoint.iDate), PwTime(aPoint.iTimeOfDay));
  if (timing != 0)
    iResult = ETimingEvent;
  else if (iResult == ENothing)
    iResult = EParsed;
}
