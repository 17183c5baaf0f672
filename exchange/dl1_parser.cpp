#include "exchange/dl1_parser.h"

#include <array>
#include <cmath>
#include <cstring>

#include "acquisition/channel_state.h"
#include "foundation/byte_order.h"

namespace {

// Message ids the reader decodes.
enum : uint8_t {
  EMsgAccelerations = 8,
  EMsgTime = 9,
  EMsgPosition = 10,
  EMsgSpeed = 11,
  EMsgFrequency4 = 18,
  EMsgDate = 55,
  EMsgHeading = 56,
  EMsgAltitude = 57,
  EMsgSpeedCoarse = 64,
  EMsgLoggerInfo = 103,  // carries a 16-bit checksum
};

constexpr std::array<uint8_t, 256> MakeLengthTable() {
  std::array<uint8_t, 256> t{};
  const auto set = [&t](int aFirst, int aLast, uint8_t aLength) {
    for (int id = aFirst; id <= aLast; ++id) t[id] = aLength;
  };
  constexpr uint8_t V = CDL1Parser::KVariableLength;
  set(1, 1, 9);     set(2, 2, 11);    set(3, 3, V);     set(4, 4, 7);     set(5, 5, 21);
  set(6, 8, 6);     set(9, 9, 5);     set(10, 10, 14);  set(11, 11, 10);  set(12, 13, 3);
  set(14, 18, 5);   set(19, 19, V);   set(20, 51, 4);   set(52, 52, 67);  set(53, 53, 11);
  set(54, 54, 6);   set(55, 57, 10);  set(58, 62, 11);  set(63, 63, 3);   set(64, 64, 5);
  set(65, 65, 30);  set(66, 66, 11);  set(67, 68, 4);   set(69, 70, 42);  set(71, 71, 3);
  set(72, 74, 5);   set(75, 75, 6);   set(76, 76, 24);  set(77, 77, 3);   set(78, 78, 6);
  set(79, 80, 4);   set(81, 84, 5);   set(85, 85, 10);  set(86, 89, 5);   set(90, 90, 6);
  set(91, 91, 5);   set(92, 92, 4);   set(93, 93, 5);   set(94, 94, 6);   set(95, 95, 5);
  set(101, 101, 19); set(102, 102, V); set(103, 103, 18); set(104, 104, 6);
  set(208, 231, 6); set(240, 247, 6);
  return t;
}
constexpr std::array<uint8_t, 256> KLengths = MakeLengthTable();

// The shortest variable-length message: id, length and checksum.
constexpr int32_t KMinVariableLength = 3;

bool ChecksumValid(const uint8_t* aMessage, int32_t aLength) {
  if (aMessage[0] == EMsgLoggerInfo) {
    if (aMessage[1] != 0x13 || aMessage[2] != 0x01) return false;
    uint32_t sum = 0;
    for (int32_t i = 0; i <= aLength - 3; ++i) sum += aMessage[i];
    return (sum & 0xFFFF) == ReadBigEndian16(aMessage + aLength - 2);
  }
  uint32_t sum = 0;
  for (int32_t i = 0; i <= aLength - 2; ++i) sum += aMessage[i];
  return (sum & 0xFF) == aMessage[aLength - 1];
}

// 1e-7 degree steps to TCoordinate units (6,000,000 a degree), exactly rather than by way of
// radians; every 32-bit input fits.
TCoordinate DegreesE7ToCoordinate(int32_t aValue) {
  return TCoordinate(static_cast<int32_t>(std::llround(aValue * 0.6)));
}

// One acceleration: magnitude (byte & 0x7F) + next / 256, positive when bit 7 is set.
double Acceleration(const uint8_t* p) {
  const double magnitude = (p[0] & 0x7F) + p[1] / 256.0;
  return (p[0] & 0x80) ? magnitude : -magnitude;
}

}  // namespace

int32_t CDL1Parser::MessageLength(uint8_t aId) { return KLengths[aId]; }

CDL1Parser* CDL1Parser::NewL() { return PwNewL<CDL1Parser>(); }

void CDL1Parser::ConstructL() {
  iBuffer = static_cast<uint8_t*>(AllocL(KBufferSize));
  Reset();
}

CDL1Parser::~CDL1Parser() { FreeMem(iBuffer); }

void CDL1Parser::Reset() {
  iWrite = 0;
  iRead = 0;
  iPendingId = -1;
  iPendingLength = 0;
  iLatestTime = KInvalidInt;
  iLoggerTime = KInvalidInt;
  iPositionTime = KInvalidInt;
  iDate = KInvalidInt;
  iLatitude = TCoordinate();
  iLongitude = TCoordinate();
  iAltitude = InvalidReal();
  iSpeed = InvalidReal();
  iBearing = InvalidReal();
  iLateralG = 0.0;
  iLongitudinalG = 0.0;
  iFrequency = 0.0;
  iDiscontinuity = true;
  iAccepted = false;
  iOffered = false;
}

int32_t CDL1Parser::Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing* aSlowBearing,
                          CObdChannelList*, CChannelState* aChannelState, TGpsClock* aClock) {
  iAccepted = false;
  iOffered = false;
  const TSinks sinks{aObserver, aSlowBearing, aChannelState, aClock};
  const uint8_t* input = aBytes.Ptr();
  int32_t left = aBytes.Length();
  while (left > 0) {
    // The unread bytes never exceed one pending message (at most 255 bytes), so after moving
    // them to the front there is always room for more input.
    if (iRead > 0) {
      std::memmove(iBuffer, iBuffer + iRead, static_cast<size_t>(iWrite - iRead));
      iWrite -= iRead;
      iRead = 0;
    }
    if (iWrite == KBufferSize) {
      iWrite = 0;
      iPendingId = -1;
    }
    const int32_t take = left < KBufferSize - iWrite ? left : KBufferSize - iWrite;
    std::memcpy(iBuffer + iWrite, input, static_cast<size_t>(take));
    iWrite += take;
    input += take;
    left -= take;
    Drain(sinks);
  }
  return iAccepted ? ETimingEvent : iOffered ? EParsed : ENothing;
}

void CDL1Parser::Drain(const TSinks& aSinks) {
  while (iRead < iWrite) {
    if (iPendingId < 0) {
      const uint8_t id = iBuffer[iRead];
      const int32_t length = KLengths[id];
      if (length == 0) {
        ++iRead;  // not a message id
        continue;
      }
      iPendingId = id;
      iPendingLength = length;
    }
    const int32_t unread = iWrite - iRead;
    int32_t length = iPendingLength;
    if (length == KVariableLength) {
      if (unread < 2) return;
      length = iBuffer[iRead + 1];
    }
    if (length >= KMinVariableLength && unread < length) return;
    const uint8_t* message = iBuffer + iRead;
    iPendingId = -1;
    if (length >= KMinVariableLength && ChecksumValid(message, length)) {
      iRead += length;
      if (message[0] != EMsgLoggerInfo) Decode(message, aSinks);
    } else {
      ++iRead;  // out of step: try the next byte as an id
    }
  }
}

void CDL1Parser::Decode(const uint8_t* aMessage, const TSinks& aSinks) {
  switch (aMessage[0]) {
    case EMsgTime:
      iLatestTime = static_cast<int32_t>(ReadBigEndian24(aMessage + 1)) * 10;
      iLoggerTime = KInvalidInt;
      if (aSinks.iClock) aSinks.iClock->Synchronise(PwTime(iLatestTime));
      break;
    case EMsgAccelerations:
      iLateralG = Acceleration(aMessage + 1);
      iLongitudinalG = Acceleration(aMessage + 3);
      iLoggerTime = iLatestTime;
      break;
    case EMsgFrequency4: {
      const uint32_t count = ReadBigEndian24(aMessage + 1);
      iFrequency = count > 0 ? 1.0 / (count / 6000000.0) : 0.0;
      iLoggerTime = iLatestTime;
      break;
    }
    case EMsgPosition:
      // Starts a new position: what belonged to the previous one is gone.
      iPositionTime = iLatestTime;
      iAltitude = InvalidReal();
      iSpeed = InvalidReal();
      iBearing = InvalidReal();
      iLongitude = DegreesE7ToCoordinate(ReadBigEndianSigned32(aMessage + 1));
      iLatitude = DegreesE7ToCoordinate(ReadBigEndianSigned32(aMessage + 5));
      if (!IsPlausiblePoint(TGeoPoint(iLatitude, iLongitude))) DropPosition();
      UpdateChannelState(aSinks.iChannelState);
      break;
    case EMsgSpeed: {
      const double speed = ReadBigEndianSigned32(aMessage + 1) / 100.0;
      const double accuracy = ReadBigEndianSigned32(aMessage + 5) / 100.0;
      iSpeed = accuracy < 2.0 && speed > 0.0 ? speed : InvalidReal();
      if (speed > KMaxPlausibleSpeed) DropPosition();
      UpdateChannelState(aSinks.iChannelState);
      break;
    }
    case EMsgSpeedCoarse: {
      const double speed = ReadBigEndian24(aMessage + 1) * 0.001379060159;
      iSpeed = speed > 0.0 ? speed : InvalidReal();
      if (speed > KMaxPlausibleSpeed) DropPosition();
      UpdateChannelState(aSinks.iChannelState);
      break;
    }
    case EMsgHeading:
      iBearing = ReadBigEndianSigned32(aMessage + 1) * 1e-5;
      UpdateChannelState(aSinks.iChannelState);
      break;
    case EMsgAltitude:
      iAltitude = ReadBigEndianSigned32(aMessage + 1) / 1000.0;
      UpdateChannelState(aSinks.iChannelState);
      break;
    case EMsgDate: {
      const int32_t day = aMessage[3];
      const int32_t month = aMessage[4];
      const int32_t year = static_cast<int32_t>(ReadBigEndian16(aMessage + 5));
      // A date that is no calendar date would make a meaningless session date: keep the last.
      if (day >= 1 && day <= 31 && month >= 1 && month <= 12)
        iDate = PwTime::FromDate(year, month, day).Milliseconds();
      break;
    }
    default:
      // Analog and digital inputs, temperatures, pressures and status: not used here.
      break;
  }
  Report(aSinks);
}

void CDL1Parser::DropPosition() {
  iSpeed = InvalidReal();
  if (iPositionTime == KInvalidInt) return;
  iPositionTime = KInvalidInt;  // nothing of it is offered until the next position message
  CountDropped();
}

void CDL1Parser::UpdateChannelState(CChannelState* aChannelState) const {
  if (!aChannelState) return;
  const auto put = [aChannelState](TChannelId aChannel, double aValue) {
    if (IsValidReal(aValue))
      aChannelState->SetValue(aChannel, aValue);
    else
      aChannelState->ClearValue(aChannel);
  };
  put(KChannelGpsSpeed, iSpeed);
  put(KChannelAltitude, iAltitude);
  put(KChannelBearing, iBearing);
}

void CDL1Parser::Report(const TSinks& aSinks) {
  if (iPositionTime != KInvalidInt && iLatitude.IsValid() && iLongitude.IsValid() &&
      IsValidReal(iAltitude) && IsValidReal(iSpeed) && IsValidReal(iBearing)) {
    iOffered = true;
    const TCoordinate latitude = iLatitude;
    const TCoordinate longitude = iLongitude;
    const TSpeed speed = TSpeed::FromMetresPerSecond(iSpeed);
    if (aSinks.iSlowBearing)
      aSinks.iSlowBearing->Update(TPosition(TGeoPoint(latitude, longitude)), speed, PwTime(iPositionTime),
                                  TAngle::FromDegrees(iBearing));
    if (aSinks.iObserver) {
      // The date and time pair is known only together.
      const bool dated = iDate != KInvalidInt;
      const int32_t result = aSinks.iObserver->PositionParsed(
          latitude, longitude, PwTime(iPositionTime), TDistance::FromMetres(iAltitude), speed,
          iBearing, InvalidReal(), InvalidReal(), 10, 0, iDiscontinuity ? 1 : 0,
          dated ? PwTime(iDate) : PwTime::Unset(), dated ? PwTime(iPositionTime) : PwTime::Unset());
      iDiscontinuity = false;
      if (result != 0) iAccepted = true;
    }
  }
  if (iLoggerTime != KInvalidInt && aSinks.iObserver) {
    TChannelValueList values;
    values.Append(KChannelLoggerLateralG, iLateralG);
    values.Append(KChannelLoggerLongitudinalG, iLongitudinalG);
    values.Append(KChannelLoggerDigital1, iFrequency);
    aSinks.iObserver->ChannelsParsed(PwTime(iLoggerTime), values);
  }
}
