#include "acquisition/nmea_parser.h"

#include <cmath>
#include <cstring>

#include "acquisition/obd_channels.h"

namespace {

constexpr int32_t KDayMs = 86400000;
constexpr int32_t KDiscontinuityGap = 3000;  // ms between epochs that starts a new trace segment
// 150 m/s: no vehicle this program times goes faster; a higher value is a damaged field.
constexpr double KMaxKnots = KMaxPlausibleSpeed * 3.6 / 1.852;
constexpr double KDerivedSpeedMaxKnots = 20.0;  // derive a speed only after a slow parsed one
constexpr double KDerivedSpeedZero = 0.5;       // m/s
constexpr double KDerivedSpeedMax = 15.0;       // m/s

inline bool IsDigit(uint8_t c) { return static_cast<uint8_t>(c - '0') < 10; }

inline int32_t HexValue(uint8_t c) {
  if (IsDigit(c)) return c - '0';
  const uint8_t l = c | 0x20;
  if (l >= 'a' && l <= 'f') return l - 'a' + 10;
  return -1;
}

inline bool FieldEquals(const uint8_t* aPtr, int32_t aLength, const char* aText, int32_t aTextLength) {
  return aLength == aTextLength && std::memcmp(aPtr, aText, static_cast<size_t>(aLength)) == 0;
}

// Decimal integer: an optional sign in the first position, then digits up to the first other
// byte. Values beyond 32 bits saturate.
bool ParseIntField(const uint8_t* p, int32_t n, int32_t& aOut) {
  const uint8_t* end = p + n;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const uint8_t* digits = p;
  int64_t v = 0;
  for (; p != end && IsDigit(*p); ++p)
    if (v <= INT32_MAX) v = v * 10 + (*p - '0');
  if (p == digits) return false;
  if (v > INT32_MAX) v = INT32_MAX;
  aOut = static_cast<int32_t>(negative ? -v : v);
  return true;
}

constexpr double KPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                     1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Decimal number with one '.'; a second '.' or any other byte ends it. The digits are gathered
// as an integer and scaled once, which is exact (correctly rounded) for every value a receiver
// sends; absurdly long fields are approximated, and non-finite results fail.
bool ParseDecimalField(const uint8_t* p, int32_t n, double& aOut) {
  const uint8_t* end = p + n;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  uint64_t mantissa = 0;
  int32_t exponent = 0;
  bool anyDigit = false;
  bool point = false;
  for (; p != end; ++p) {
    const uint8_t c = *p;
    if (IsDigit(c)) {
      anyDigit = true;
      if (mantissa < 100000000000000000ull) {
        mantissa = mantissa * 10 + (c - '0');
        if (point) --exponent;
      } else if (!point) {
        ++exponent;  // integer digits beyond the mantissa's precision
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  double v;
  if (mantissa == 0) {
    v = 0.0;
  } else if (mantissa <= (1ull << 53) && exponent >= -22 && exponent <= 22) {
    v = exponent < 0 ? static_cast<double>(mantissa) / KPowersOfTen[-exponent]
                     : static_cast<double>(mantissa) * KPowersOfTen[exponent];
  } else {
    v = static_cast<double>(mantissa) * std::pow(10.0, exponent);
  }
  if (!std::isfinite(v)) return false;
  aOut = negative ? -v : v;
  return true;
}

// Hexadecimal: every byte a hex digit, at least one, value at most aMax.
bool ParseHexField(const uint8_t* p, int32_t n, uint32_t aMax, uint32_t& aOut) {
  if (n <= 0) return false;
  uint32_t v = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t d = HexValue(p[i]);
    if (d < 0) return false;
    if (v > (aMax >> 4)) return false;  // would pass aMax
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  if (v > aMax) return false;
  aOut = v;
  return true;
}

// Two decimal digits (no sign) in aMin..aMax.
bool ParsePair(const uint8_t* p, int32_t aMin, int32_t aMax, int32_t& aOut) {
  if (!IsDigit(p[0]) || !IsDigit(p[1])) return false;
  const int32_t v = (p[0] - '0') * 10 + (p[1] - '0');
  if (v < aMin || v > aMax) return false;
  aOut = v;
  return true;
}

// hhmmss[.f]: 8, 9 or 10 characters carry tenths, hundredths or thousandths; longer fractions
// are ignored. Anything but digits (a sign, a second point) or a time outside 00:00:00.000 to
// 23:59:60.999 (the leap second included) is no time of day.
bool ParseTimeField(const uint8_t* p, int32_t n, int32_t& aOut) {
  int32_t h, m, s;
  if (n < 6 || !ParsePair(p, 0, 23, h) || !ParsePair(p + 2, 0, 59, m) || !ParsePair(p + 4, 0, 60, s))
    return false;
  if (s == 60 && (h != 23 || m != 59)) return false;  // a leap second ends the UTC day only
  if (n > 6 && p[6] != '.') return false;
  int32_t ms = 0;
  for (int32_t i = 7; i < n; ++i) {
    if (!IsDigit(p[i])) return false;
    if (n <= 10) ms = ms * 10 + (p[i] - '0');
  }
  if (n == 8) ms *= 100;
  if (n == 9) ms *= 10;
  aOut = ms + s * 1000 + m * 60000 + h * 3600000;
  return true;
}

int32_t DateCode(int32_t aYear, int32_t aMonth, int32_t aDay) { return aYear * 372 + aMonth * 31 + aDay - 32; }

// ddmmyy, years 00-99 meaning 2000-2099.
bool ParseDateField(const uint8_t* p, int32_t n, int32_t& aOut) {
  int32_t d, m, y;
  if (n < 6 || !ParsePair(p, 1, 31, d) || !ParsePair(p + 2, 1, 12, m) || !ParsePair(p + 4, 0, 99, y))
    return false;
  aOut = DateCode(2000 + y, m, d);
  return true;
}

// Case-insensitive comparison of a field with an upper-case ASCII text.
bool EqualsNoCase(const uint8_t* p, int32_t n, const char* aText) {
  const int32_t len = static_cast<int32_t>(std::strlen(aText));
  if (n != len) return false;
  for (int32_t i = 0; i < n; ++i) {
    uint8_t c = p[i];
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 32);
    if (c != static_cast<uint8_t>(aText[i])) return false;
  }
  return true;
}

CNmeaParser::TSentence Identify(const uint8_t* p, int32_t n) {
  switch (n) {
    case 4:
      if (p[0] == '$' && p[1] == 'P' && p[2] == 'W') {
        if (p[3] == '1') return CNmeaParser::ESentencePw1;
        if (p[3] == '2') return CNmeaParser::ESentencePw2;
      }
      break;
    case 6:
      if (p[1] == 'G' && p[2] == 'P') {
        if (FieldEquals(p, n, "$GPRMC", 6)) return CNmeaParser::ESentenceRmc;
        if (FieldEquals(p, n, "$GPGGA", 6)) return CNmeaParser::ESentenceGga;
        if (FieldEquals(p, n, "$GPGSA", 6)) return CNmeaParser::ESentenceGsa;
        if (FieldEquals(p, n, "$GPGSV", 6)) return CNmeaParser::ESentenceGsv;
        if (FieldEquals(p, n, "$GPVTG", 6)) return CNmeaParser::ESentenceVtg;
        if (FieldEquals(p, n, "$GPZDA", 6)) return CNmeaParser::ESentenceZda;
      } else if (FieldEquals(p, n, "$PWOBD", 6)) {
        return CNmeaParser::ESentenceObd;
      } else if (FieldEquals(p, n, "$PWACC", 6)) {
        return CNmeaParser::ESentenceAcc;
      }
      break;
    case 8:
      if (FieldEquals(p, n, "$PMTK500", 8)) return CNmeaParser::ESentenceMtk500;
      break;
    default:
      break;
  }
  return CNmeaParser::ESentenceNone;
}

}  // namespace

// --- fields --------------------------------------------------------------------------------

CNmeaParser::TField CNmeaParser::TFieldCursor::Next() {
  if (iDone) return TField{iEnd, 0};
  const uint8_t* start = iPos;
  const void* comma = std::memchr(iPos, ',', static_cast<size_t>(iEnd - iPos));
  if (!comma) {
    iPos = iEnd;
    iDone = true;
    return TField{start, static_cast<int32_t>(iEnd - start)};
  }
  const uint8_t* c = static_cast<const uint8_t*>(comma);
  iPos = c + 1;
  return TField{start, static_cast<int32_t>(c - start)};
}

bool CNmeaParser::ReadCoordinate(TFieldCursor& aFields, uint8_t aPositive, uint8_t aNegative, double aMaxDdmm,
                                 double& aValue) {
  const TField value = aFields.Next();
  const TField hemisphere = aFields.Next();
  double v;
  if (!ParseDecimalField(value.iPtr, value.iLength, v) || hemisphere.iLength != 1) return false;
  // 52 degrees 99.99 minutes is no position (it is not 53 degrees 39.99 minutes either), and
  // neither is a latitude beyond a pole or a longitude beyond the date line.
  if (v < 0.0 || std::fmod(v, 100.0) >= 60.0 || v > aMaxDdmm) {
    iImpossible = true;
    return false;
  }
  if (hemisphere.iPtr[0] == aNegative)
    v = -v;
  else if (hemisphere.iPtr[0] != aPositive)
    return false;
  aValue = v;
  return true;
}

bool CNmeaParser::ReadSpeed(const TField& aField) {
  double knots;
  if (!ParseDecimalField(aField.iPtr, aField.iLength, knots)) return false;
  if (knots < 0.0 || knots > KMaxKnots) {
    iImpossible = true;
    return false;
  }
  iSpeedKnots = knots;
  return true;
}

bool CNmeaParser::ReadTime(const TField& aField, int32_t& aTime) {
  if (ParseTimeField(aField.iPtr, aField.iLength, aTime)) return true;
  aTime = KInvalidInt;
  return aField.iLength == 0;  // an empty field is merely unknown
}

// --- construction --------------------------------------------------------------------------

CNmeaParser::CNmeaParser(int32_t aMonitorOnly) : iMonitorOnly(aMonitorOnly ? 1 : 0) {}

CNmeaParser* CNmeaParser::NewL(int32_t aMonitorOnly) {
  return PwConstructL(new CNmeaParser(aMonitorOnly), [](CNmeaParser* aSelf) { aSelf->ConstructL(); });
}

void CNmeaParser::ConstructL() {
  iLines.ConstructL();
  iEcho = static_cast<uint8_t*>(AllocL(KLineBufferSize + 2));
  ResetState();
}

CNmeaParser::~CNmeaParser() { FreeMem(iEcho); }

void CNmeaParser::ResetState() {
  iLines.Reset();
  iEpochEmitted = false;
  iTimingEvent = false;
  iRmcSeen = iGgaSeen = iVtgSeen = false;
  iEpochTime = KInvalidInt;
  iEpochDate = KInvalidInt;
  iLatitudeValid = iLongitudeValid = false;
  iSpeedValid = iCourseValid = false;
  iRmcVoid = false;
  iImpossible = false;
  iFixQualityValid = iSatellitesValid = false;
  iAltitudeValid = iGeoidSeparationValid = false;
  iHdop = iVdop = iPdop = InvalidReal();
  iFixTypeValid = false;
  iUsedCount = 0;
  iGsvTotal = iGsvLast = 0;
  iSatellitesInView = 0;
  iInViewCount = 0;
  iPreviousPoint = TGeoPoint();
  iPreviousTime = KInvalidInt;
  iPreviousCourseValid = iPreviousSpeedValid = false;
  iPreviousNoFix = false;
  iFirstEpoch = true;
  iPmtk400Sent = false;
  iSeenMask = 0;
  iLineCount = 0;
  iObd = TObdSentence();
  iAcc = TAccSentence();
  iLogger = TLoggerSentence();
}

void CNmeaParser::Reset() { ResetState(); }

const TSatelliteInView& CNmeaParser::SatelliteInView(int32_t aIndex) const {
  if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iInViewCount)) PanicCore(EPanicVectorIndex);
  return iInView[aIndex];
}

// --- line assembly -------------------------------------------------------------------------

int32_t CNmeaParser::Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing* aSlowBearing,
                           CObdChannelList* aObdChannels, CChannelState* aChannelState, TGpsClock* aClock) {
  iEpochEmitted = false;
  iTimingEvent = false;
  iObserver = aObserver;
  iSlowBearing = aSlowBearing;
  iObdChannels = aObdChannels;
  iChannelState = aChannelState;
  iClock = aClock;

  iLines.Feed(aBytes.Ptr(), aBytes.Length(), [this](const uint8_t* aLine, int32_t aLength, bool aInBuffer) {
    HandleLine(aLine, aLength, aInBuffer);
    return true;
  });

  iObserver = nullptr;
  iSlowBearing = nullptr;
  iObdChannels = nullptr;
  iChannelState = nullptr;
  iClock = nullptr;
  if (iTimingEvent) return ETimingEvent;
  return iEpochEmitted ? EParsed : ENothing;
}

// aLine holds the bytes before the LF: either the line buffer (aInBuffer), which has two spare
// bytes for the CR LF, or the caller's bytes, which are never written to.
void CNmeaParser::HandleLine(const uint8_t* aLine, int32_t aLength, bool aInBuffer) {
  const bool crlf = aLength > 0 && aLine[aLength - 1] == '\r';
  const int32_t sentenceLength = crlf ? aLength - 1 : aLength;
  if (iObserver) {
    // The raw NMEA file always gets CR LF line ends, whatever the receiver sent.
    if (crlf && !aInBuffer) {
      iObserver->LineReceived(CPwByteArrayC(aLine, aLength + 1), 0);
    } else {
      uint8_t* out = aInBuffer ? iLines.Buffer() : iEcho;
      if (!aInBuffer) std::memcpy(out, aLine, static_cast<size_t>(sentenceLength));
      out[sentenceLength] = '\r';
      out[sentenceLength + 1] = '\n';
      iObserver->LineReceived(CPwByteArrayC(out, sentenceLength + 2), 0);
    }
  }
  ++iLineCount;
  ProcessSentence(aLine, sentenceLength);
}

// --- sentences -----------------------------------------------------------------------------

void CNmeaParser::ProcessSentence(const uint8_t* aSentence, int32_t aLength) {
  if (aLength < 5 || aSentence[0] != '$') return;
  if (aSentence[aLength - 3] == '*') {
    const int32_t hi = HexValue(aSentence[aLength - 2]);
    const int32_t lo = HexValue(aSentence[aLength - 1]);
    if (hi < 0 || lo < 0) return;
    aLength -= 3;
    if (aLength < 2) return;
    uint8_t sum = 0;
    for (int32_t i = 1; i < aLength; ++i) sum ^= aSentence[i];
    if (sum != static_cast<uint8_t>((hi << 4) | lo)) return;
  }

  TFieldCursor fields{aSentence, aSentence + aLength, false};
  const TField id = fields.Next();
  const TSentence kind = Identify(id.iPtr, id.iLength);
  if (kind == ESentenceNone) return;
  if (kind <= ESentenceZda) iSeenMask |= 1u << kind;

  switch (kind) {
    case ESentenceRmc:
      HandleRmc(fields);
      break;
    case ESentenceGga:
      HandleGga(fields);
      break;
    case ESentenceGsa:
      if (!iMonitorOnly) HandleGsa(fields);
      break;
    case ESentenceGsv:
      if (!iMonitorOnly) HandleGsv(fields);
      break;
    case ESentenceVtg:
      HandleVtg(fields);
      break;
    case ESentenceZda:
      if (!iMonitorOnly) HandleZda(fields);
      break;
    case ESentenceObd:
      if (!iMonitorOnly) HandleObd(fields);
      return;  // no position flush follows
    case ESentenceAcc:
      if (!iMonitorOnly) HandleAcc(fields);
      return;
    case ESentencePw1:
    case ESentencePw2:
      if (!iMonitorOnly) HandleLogger(fields, kind == ESentencePw2);
      return;
    case ESentenceMtk500:
      HandleMtk500(fields);
      return;
    default:
      return;
  }
  Flush(false);
}

void CNmeaParser::HandleRmc(TFieldCursor& aFields) {
  int32_t time = KInvalidInt;
  bool timeRefused = false;
  if (!iMonitorOnly) timeRefused = !ReadTime(aFields.Next(), time);
  if (iRmcSeen || (iGgaSeen && iEpochTime != KInvalidInt && iEpochTime != time)) Flush(true);
  if (timeRefused) iImpossible = true;

  if (!iMonitorOnly) {
    iEpochDate = KInvalidInt;
    iLatitudeValid = iLongitudeValid = iSpeedValid = iCourseValid = false;
    const TField status = aFields.Next();
    iRmcVoid = status.iLength == 1 && status.iPtr[0] == 'V';
    iLatitudeValid = ReadCoordinate(aFields, 'N', 'S', KMaxLatitudeDdmm, iLatitude);
    iLongitudeValid = ReadCoordinate(aFields, 'E', 'W', KMaxLongitudeDdmm, iLongitude);
    iSpeedValid = ReadSpeed(aFields.Next());
    TField f = aFields.Next();
    iCourseValid = ParseDecimalField(f.iPtr, f.iLength, iCourse);
    f = aFields.Next();
    ParseDateField(f.iPtr, f.iLength, iEpochDate);
  }

  iRmcSeen = true;
  iVtgSeen = false;
  if (time != KInvalidInt) {
    iGgaSeen = iGgaSeen && iEpochTime == time;
    iEpochTime = time;
  }
}

void CNmeaParser::HandleGga(TFieldCursor& aFields) {
  int32_t time = KInvalidInt;
  const bool timeRefused = !ReadTime(aFields.Next(), time);
  if (iGgaSeen || (iRmcSeen && iEpochTime != KInvalidInt && iEpochTime != time)) Flush(true);
  if (timeRefused) iImpossible = true;

  iLatitudeValid = iLongitudeValid = false;
  iFixQualityValid = iSatellitesValid = iAltitudeValid = iGeoidSeparationValid = false;
  iLatitudeValid = ReadCoordinate(aFields, 'N', 'S', KMaxLatitudeDdmm, iLatitude);
  iLongitudeValid = ReadCoordinate(aFields, 'E', 'W', KMaxLongitudeDdmm, iLongitude);
  TField f = aFields.Next();
  iFixQualityValid = ParseIntField(f.iPtr, f.iLength, iFixQuality);
  f = aFields.Next();
  iSatellitesValid = ParseIntField(f.iPtr, f.iLength, iSatellites);
  iHdop = InvalidReal();
  f = aFields.Next();
  ParseDecimalField(f.iPtr, f.iLength, iHdop);
  f = aFields.Next();
  iAltitudeValid = ParseDecimalField(f.iPtr, f.iLength, iAltitude);
  aFields.Skip(1);  // altitude unit
  f = aFields.Next();
  iGeoidSeparationValid = ParseDecimalField(f.iPtr, f.iLength, iGeoidSeparation);

  iGgaSeen = true;
  iVtgSeen = false;
  if (time != KInvalidInt) {
    iRmcSeen = iRmcSeen && iEpochTime == time;
    iEpochTime = time;
  }
  if (iClock && iEpochTime != KInvalidInt && iFixQualityValid && iFixQuality != 0) iClock->Synchronise(PwTime(iEpochTime));
}

void CNmeaParser::HandleGsa(TFieldCursor& aFields) {
  iHdop = iVdop = iPdop = InvalidReal();
  iUsedCount = 0;
  aFields.Skip(1);  // selection mode
  TField f = aFields.Next();
  iFixTypeValid = ParseIntField(f.iPtr, f.iLength, iFixType);
  if (iFixTypeValid) {
    for (int32_t i = 0; i < 12; ++i) {
      f = aFields.Next();
      int32_t number;
      if (f.iLength > 0 && ParseIntField(f.iPtr, f.iLength, number) && iUsedCount < KMaxSatellites)
        iUsedSatellites[iUsedCount++] = number;
    }
    f = aFields.Next();
    ParseDecimalField(f.iPtr, f.iLength, iPdop);
    f = aFields.Next();
    ParseDecimalField(f.iPtr, f.iLength, iHdop);
    f = aFields.Next();
    ParseDecimalField(f.iPtr, f.iLength, iVdop);
  }
  if (iChannelState) iChannelState->SetUsedSatellites(iUsedSatellites, iUsedCount);
}

void CNmeaParser::HandleGsv(TFieldCursor& aFields) {
  TField f = aFields.Next();
  int32_t total, number;
  if (!ParseIntField(f.iPtr, f.iLength, total)) return;
  f = aFields.Next();
  if (!ParseIntField(f.iPtr, f.iLength, number)) return;
  const bool accepted = number == 1 || (number == iGsvLast + 1 && total == iGsvTotal && number <= total);
  if (!accepted) return;
  if (number == 1) iInViewCount = 0;
  iGsvTotal = total;
  iGsvLast = number;
  f = aFields.Next();
  ParseIntField(f.iPtr, f.iLength, iSatellitesInView);
  for (int32_t block = 0; block < 4; ++block) {
    TSatelliteInView sat;
    const TField n = aFields.Next();
    const TField e = aFields.Next();
    const TField a = aFields.Next();
    if (!ParseIntField(n.iPtr, n.iLength, sat.iNumber) || !ParseIntField(e.iPtr, e.iLength, sat.iElevation) ||
        !ParseIntField(a.iPtr, a.iLength, sat.iAzimuth))
      break;
    f = aFields.Next();
    if (!ParseIntField(f.iPtr, f.iLength, sat.iSnr)) sat.iSnr = -1;
    if (iInViewCount < KMaxSatellites) iInView[iInViewCount++] = sat;
  }
  if (number == total && iChannelState) iChannelState->SetSatellitesInView(iInView, iInViewCount);
}

void CNmeaParser::HandleVtg(TFieldCursor& aFields) {
  if (!iMonitorOnly) {
    iSpeedValid = iCourseValid = false;
    TField f = aFields.Next();
    iCourseValid = ParseDecimalField(f.iPtr, f.iLength, iCourse);
    aFields.Skip(3);  // "T", magnetic course, "M"
    iSpeedValid = ReadSpeed(aFields.Next());
  }
  iVtgSeen = true;
}

void CNmeaParser::HandleZda(TFieldCursor& aFields) {
  TField f = aFields.Next();
  int32_t time;
  const bool timeValid = ParseTimeField(f.iPtr, f.iLength, time);
  int32_t day, month, year;
  f = aFields.Next();
  if (!ParseIntField(f.iPtr, f.iLength, day) || day < 1 || day > 31) return;
  f = aFields.Next();
  if (!ParseIntField(f.iPtr, f.iLength, month) || month < 1 || month > 12) return;
  f = aFields.Next();
  // The year is a full one; the bound keeps the date code inside 32 bits.
  if (!ParseIntField(f.iPtr, f.iLength, year) || year < 0 || year > 9999) return;
  if (timeValid) iEpochDate = DateCode(year, month, day);
}

void CNmeaParser::HandleObd(TFieldCursor& aFields) {
  iObd = TObdSentence();
  TField f = aFields.Next();
  ParseTimeField(f.iPtr, f.iLength, iObd.iTime);
  f = aFields.Next();
  iObd.iPidValid = ParseHexField(f.iPtr, f.iLength, 0xFF, iObd.iPid);
  const TField response = aFields.Next();
  if (!EqualsNoCase(response.iPtr, response.iLength, "NO DATA") &&
      !EqualsNoCase(response.iPtr, response.iLength, "UNABLE TO CONNECT")) {
    // Space-separated hex bytes; one that does not parse makes the answer empty.
    TFieldCursor bytes{response.iPtr, response.iPtr + response.iLength, response.iLength == 0};
    while (!bytes.iDone && iObd.iByteCount < KMaxObdBytes) {
      const uint8_t* start = bytes.iPos;
      const void* space = std::memchr(start, ' ', static_cast<size_t>(bytes.iEnd - start));
      const uint8_t* stop = space ? static_cast<const uint8_t*>(space) : bytes.iEnd;
      bytes.iPos = space ? stop + 1 : bytes.iEnd;
      bytes.iDone = bytes.iPos >= bytes.iEnd;
      uint32_t value;
      if (!ParseHexField(start, static_cast<int32_t>(stop - start), 0xFF, value)) {
        iObd.iByteCount = 0;
        break;
      }
      iObd.iBytes[iObd.iByteCount++] = static_cast<uint8_t>(value);
    }
  }

  if (!iObdChannels || !iObd.iPidValid) return;
  const uint8_t pid = static_cast<uint8_t>(iObd.iPid);
  if (iObd.iByteCount == 0) {
    if (iChannelState) {
      iChannelState->SetTime(KChannelObdTime, PwTime(iObd.iTime));
      if (const CObdChannel* channel = iObdChannels->ChannelByPid(pid)) iChannelState->ClearValue(channel->Id());
    }
  } else {
    uint32_t raw;
    if (iObdChannels->Decode(iObd.iBytes, iObd.iByteCount, pid, raw)) {
      if (iObserver && iObd.iTime != KInvalidInt) iObserver->ObdValueParsed(PwTime(iObd.iTime), pid, raw);
      const CObdChannel* channel = iObdChannels->ChannelByPid(pid);
      if (iChannelState && channel) {
        iChannelState->SetTime(KChannelObdTime, PwTime(iObd.iTime));
        iChannelState->SetValue(channel->Id(), channel->ScaledValue(raw));
      }
    }
  }
  if (iObserver) iObserver->ObdSentenceDone();
  iEpochEmitted = true;
}

void CNmeaParser::HandleAcc(TFieldCursor& aFields) {
  iAcc = TAccSentence();
  TField f = aFields.Next();
  ParseTimeField(f.iPtr, f.iLength, iAcc.iTime);
  const TField x = aFields.Next();
  const TField y = aFields.Next();
  const TField z = aFields.Next();
  iAcc.iValid = ParseIntField(x.iPtr, x.iLength, iAcc.iX) && ParseIntField(y.iPtr, y.iLength, iAcc.iY) &&
                ParseIntField(z.iPtr, z.iLength, iAcc.iZ);
  if (!iAcc.iValid || iAcc.iTime == KInvalidInt || !iObserver) return;
  // Hundredths of G; the fraction is kept, as for the logger sentences.
  TChannelValueList values;
  values.Append(KChannelLoggerLateralG, iAcc.iX / -100.0);
  values.Append(KChannelLoggerLongitudinalG, iAcc.iY / 100.0);
  iObserver->ChannelsParsed(PwTime(iAcc.iTime), values);
}

void CNmeaParser::HandleLogger(TFieldCursor& aFields, bool aExtended) {
  iLogger = TLoggerSentence();
  TField f = aFields.Next();
  ParseTimeField(f.iPtr, f.iLength, iLogger.iTime);
  aFields.Skip(1);  // the logger's sample counter
  auto read = [&](int32_t aIndex) {
    const TField v = aFields.Next();
    if (ParseIntField(v.iPtr, v.iLength, iLogger.iValues[aIndex])) iLogger.iValidMask |= 1u << aIndex;
  };
  read(TLoggerSentence::EX);
  read(TLoggerSentence::EY);
  read(TLoggerSentence::EZ);
  if (aExtended) {
    read(TLoggerSentence::EDigital1);
    read(TLoggerSentence::EDigital2);
    for (int32_t i = 0; i < 8; ++i) read(TLoggerSentence::EAnalog1 + i);
  } else {
    aFields.Skip(3);
    read(TLoggerSentence::EDigital1);
    for (int32_t i = 0; i < 5; ++i) read(TLoggerSentence::EAnalog1 + i);
  }
  if (iLogger.iTime == KInvalidInt) return;

  // The twelve logger channels in report order, with the value each one takes.
  struct TMapping {
    TChannelId iChannel;
    int32_t iIndex;
    bool iHundredths;  // acceleration in hundredths of G
  };
  static const TMapping KMappings[12] = {
      {KChannelLoggerDigital1, TLoggerSentence::EDigital1, false},
      {KChannelLoggerDigital2, TLoggerSentence::EDigital2, false},
      {KChannelLoggerAnalog1 + 0, TLoggerSentence::EAnalog1 + 0, false},
      {KChannelLoggerAnalog1 + 1, TLoggerSentence::EAnalog1 + 1, false},
      {KChannelLoggerAnalog1 + 2, TLoggerSentence::EAnalog1 + 2, false},
      {KChannelLoggerAnalog1 + 3, TLoggerSentence::EAnalog1 + 3, false},
      {KChannelLoggerAnalog1 + 4, TLoggerSentence::EAnalog1 + 4, false},
      {KChannelLoggerAnalog6 + 0, TLoggerSentence::EAnalog1 + 5, false},
      {KChannelLoggerAnalog6 + 1, TLoggerSentence::EAnalog1 + 6, false},
      {KChannelLoggerAnalog6 + 2, TLoggerSentence::EAnalog1 + 7, false},
      {KChannelLoggerLateralG, TLoggerSentence::EX, true},
      {KChannelLoggerLongitudinalG, TLoggerSentence::EY, true},
  };
  TChannelValueList values;
  if (iChannelState) iChannelState->SetTime(KChannelLoggerTime, PwTime(iLogger.iTime));
  for (const TMapping& m : KMappings) {
    const bool present = (iLogger.iValidMask >> m.iIndex) & 1u;
    const double value = m.iHundredths ? iLogger.iValues[m.iIndex] / 100.0 : iLogger.iValues[m.iIndex];
    if (present) values.Append(m.iChannel, value);
    if (iChannelState) {
      if (present)
        iChannelState->SetValue(m.iChannel, value);
      else
        iChannelState->ClearValue(m.iChannel);
    }
  }
  if (iObserver) iObserver->ChannelsParsed(PwTime(iLogger.iTime), values);
}

void CNmeaParser::HandleMtk500(TFieldCursor& aFields) {
  const TField f = aFields.Next();
  if (ParseIntField(f.iPtr, f.iLength, iMtkFixInterval)) iMtkReplyReceived = true;
}

// --- epochs --------------------------------------------------------------------------------

void CNmeaParser::Flush(bool aForce) {
  const bool ready = (iGgaSeen && (iRmcSeen || iVtgSeen)) || (iRmcSeen && iVtgSeen) || (aForce && (iGgaSeen || iRmcSeen));
  if (!ready) return;

  // A gap in time (or no time at all) starts a new trace segment.
  bool discontinuity;
  if (iEpochTime == KInvalidInt)
    discontinuity = true;
  else if (iPreviousTime != KInvalidInt && static_cast<int64_t>(iPreviousTime) + KDiscontinuityGap < iEpochTime)
    discontinuity = true;
  else
    discontinuity = iPreviousNoFix;

  // The position and the altitude (kept in earth radii), each only when it was sent.
  TGeoPoint point;
  if (iLatitudeValid && iLongitudeValid)
    point = TGeoPoint(TCoordinate::FromNmea(iLatitude), TCoordinate::FromNmea(iLongitude));
  const TDistance altitude = iAltitudeValid ? TDistance(iAltitude / EarthRadius) : TDistance::Invalid();

  // Speed as sent, or derived from the positions when the receiver sent nonsense while
  // moving slowly. A time that runs backwards gives no speed, like a zero interval.
  TSpeed speed = TSpeed::Invalid();
  if (iSpeedValid) {
    speed = TSpeed::FromKnots(iSpeedKnots);
  } else if (point.IsValid() && iPreviousPoint.IsValid() && iEpochTime != KInvalidInt &&
             iPreviousTime != KInvalidInt && iPreviousSpeedValid && iPreviousSpeed < KDerivedSpeedMaxKnots) {
    const int32_t elapsed = iEpochTime - iPreviousTime;
    if (elapsed > 0) {
      const TSpeed derived(TPosition(point).Distance(TPosition(iPreviousPoint)).iValue / (elapsed / 1000.0));
      const double ms = derived.MetresPerSecond();
      if (ms < KDerivedSpeedZero)
        speed = TSpeed(0.0);
      else if (ms < KDerivedSpeedMax)
        speed = derived;
    }
  }

  // Bearing: the course as sent, else the last one known.
  bool courseValid = iCourseValid;
  double course = iCourse;
  if (!courseValid && iPreviousCourseValid) {
    course = iPreviousCourse;
    courseValid = true;
  }

  // The date (only with a time of day), the satellites in use and the fix quality; without a
  // quality field the sentences seen tell whether there is a fix.
  const bool dated = iEpochDate != KInvalidInt && iEpochTime != KInvalidInt;
  const int32_t date = dated ? iEpochDate : KInvalidInt;
  const int32_t dateTime = dated ? iEpochTime : KInvalidInt;
  const int32_t satellites = iSatellitesValid ? iSatellites : 0;
  int32_t fixQuality;
  if (iFixQualityValid)
    fixQuality = iFixQuality;
  else if (iGgaSeen || (iRmcSeen && iRmcVoid) ||
           (iLatitudeValid && iLongitudeValid && std::fabs(iLatitude) == 9000.0 && iLongitude == 0.0))
    fixQuality = 0;  // a GGA without quality, an RMC marked void, or the "no fix yet" pole
  else
    fixQuality = 1;

  // An epoch with a fix, a time, a position, a bearing and a speed is a sample: it feeds the
  // slow-speed bearing filter and goes to the observer.
  const bool valid = fixQuality != 0 && satellites != -1 && iEpochTime != KInvalidInt && point.IsValid() &&
                     courseValid && speed.IsValid();
  if (valid && iSlowBearing)
    iSlowBearing->Update(TPosition(point), speed, PwTime(iEpochTime), TAngle::FromDegrees(course));
  // An epoch lost to a refused value is counted; one that merely lacked a fix is not.
  if (!valid && iImpossible) CountDropped();
  iImpossible = false;
  if (valid && iObserver) {
    const int32_t result = iObserver->PositionParsed(
        point.iLatitude, point.iLongitude, PwTime(iEpochTime), altitude, speed, course, iHdop, iVdop, satellites,
        fixQuality == 2 ? 1 : 0, (discontinuity || iFirstEpoch) ? 1 : 0, PwTime(date), PwTime(dateTime));
    if (result != 0) iTimingEvent = true;
    iFirstEpoch = false;
  }

  // The live picture is updated for every epoch, valid or not.
  if (iChannelState) {
    CChannelState& cs = *iChannelState;
    cs.SetTime(KChannelGpsTime, PwTime(iEpochTime));
    if (satellites == -1) {
      cs.ClearValue(KChannelSatellites);
      cs.SetSatellitesUsed(0);
    } else {
      cs.SetValue(KChannelSatellites, satellites);
      cs.SetSatellitesUsed(satellites);
    }
    cs.SetFixState(fixQuality <= 0 ? CChannelState::ENoFix
                                   : (fixQuality == 2 ? CChannelState::EDifferentialFix : CChannelState::EFix));
    if (courseValid)
      cs.SetValue(KChannelBearing, TAngle::FromDegrees(course).CompassDegrees());
    else
      cs.ClearValue(KChannelBearing);
    if (speed.IsValid())
      cs.SetValue(KChannelGpsSpeed, speed.MetresPerSecond());
    else
      cs.ClearValue(KChannelGpsSpeed);
    if (altitude.IsValid())
      cs.SetValue(KChannelAltitude, altitude.Metres());
    else
      cs.ClearValue(KChannelAltitude);
    cs.SetValue(KChannelCoordinatePrecision, iHdop);
    cs.SetValue(KChannelAltitudePrecision, iVdop);
  }

  // Ready for the next epoch: what this one sent becomes the previous values.
  iRmcSeen = iGgaSeen = iVtgSeen = false;
  iPreviousNoFix = fixQuality == 0;
  if (courseValid) {
    iPreviousCourse = course;
    iPreviousCourseValid = true;
  }
  if (iSpeedValid) {
    iPreviousSpeed = iSpeedKnots;
    iPreviousSpeedValid = true;
  }
  iPreviousPoint = point;
  if (iEpochTime != KInvalidInt) iPreviousTime = iEpochTime;
  // The next epoch brings its own time: one whose time field was refused must not pass with
  // this one's.
  iEpochTime = KInvalidInt;
  iEpochEmitted = true;
}

// --- MTK configuration ---------------------------------------------------------------------

void CNmeaParser::FrameCommand(CPwByteArrayC aCommand, CPwByteArray& aOutput) {
  static const char KHex[] = "0123456789ABCDEF";
  uint8_t sum = 0;
  for (int32_t i = 0; i < aCommand.Length(); ++i) sum ^= aCommand.Ptr()[i];
  aOutput.AppendByte('$');
  aOutput.Append(aCommand);
  aOutput.AppendByte('*');
  aOutput.AppendByte(static_cast<uint8_t>(KHex[sum >> 4]));
  aOutput.AppendByte(static_cast<uint8_t>(KHex[sum & 15]));
  aOutput.AppendByte('\r');
  aOutput.AppendByte('\n');
}

void CNmeaParser::WriteCommands(CPwByteArray& aOutput) {
  if (!iPmtk400Sent) {
    iPmtk400Sent = true;
    FrameCommand("PMTK400", aOutput);  // query the fix interval
  }
  if (iMtkReplyReceived && !iMtkConfigSent) {
    iMtkConfigSent = true;
    // VTG and GGA with every fix (enough for an epoch), GSA, GSV and ZDA every fifth.
    FrameCommand("PMTK314,0,0,1,1,5,5,0,0,0,0,0,0,0,0,0,0,0,5,0", aOutput);
    if (iMtkFixInterval > 200) {
      FrameCommand("PMTK300,200,0,0,0,0", aOutput);  // 5 Hz fixes
      FrameCommand("PMTK220,200", aOutput);          // 5 Hz output
    }
  }
}
