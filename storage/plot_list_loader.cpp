#include "storage/plot_list_loader.h"

#include <cmath>
#include <cstring>

#include "foundation/byte_order.h"
#include "foundation/pw_time.h"
#include "storage/plot_list.h"

namespace {


int32_t ClampToInt32(int64_t aValue) {
  return aValue > INT32_MAX ? INT32_MAX : (aValue < 0 ? 0 : static_cast<int32_t>(aValue));
}

// Version 0 keeps angles as radians x 2^29.
constexpr double KVersion0Scale = 536870912.0;
constexpr int32_t KVersion0RecordBytes = 16;
constexpr int32_t KVersion1RecordBytes = 24;
constexpr int32_t KOldFormatSatellites = 10;
// Time between fixes that starts a new trace segment, as the NMEA parser judges it.
constexpr int64_t KSegmentGap = 3000;

// Recording that starts again in a reopened session ties a new calendar item to its first
// sample although the item before already gives that date and time. Midnight writes a new
// date, and a receiver that keeps its date past midnight a time the item before does not lead
// to. True when the newest resume item is such a repeat made at aTime.
bool RestartsAt(const CResumeList& aResumes, int32_t aTime) {
  const int32_t n = aResumes.Count();
  if (n < 2) return false;
  const TResumeItem& item = aResumes.At(n - 1);
  const TResumeItem& before = aResumes.At(n - 2);
  if (item.iSessionTime.Milliseconds() != aTime || item.iDate != before.iDate) return false;
  if (!item.iDate.IsSet() || !item.iTime.IsSet() || !before.iDate.IsSet() || !before.iTime.IsSet()) return false;
  const int64_t elapsed = static_cast<int64_t>(aTime) - before.iSessionTime.Milliseconds();
  if (elapsed < 0 || elapsed > INT32_MAX) return false;
  PwDateTime expected(before.iDate, before.iTime);
  if (!expected.AddMilliseconds(static_cast<int32_t>(elapsed))) return false;
  return expected == PwDateTime(item.iDate, item.iTime);
}

// The file keeps no discontinuity bit, so it is inferred: the first sample, a sample more than
// KSegmentGap after the previous one, and the first sample of a resumed recording begin a new
// segment. A fix lost for less than KSegmentGap leaves no trace in the file and cannot be
// recovered; nor can a pause and resume within one opening of the session that short.
void AppendLoaded(CPlotList& aList, TPositionPlot& aPlot) {
  CPositionPlotList& positions = aList.PositionList();
  if (positions.Count() == 0 ||
      static_cast<int64_t>(aPlot.iTime) - positions.Last().iTime > KSegmentGap ||
      RestartsAt(aList.ResumeList(), aPlot.iTime))
    aPlot.iFlags |= TPositionPlot::KDiscontinuityFlag;
  positions.AppendStored(aPlot);
}

}  // namespace

bool CPlotListLoader::IsWhole(CPwStringC aPath) {
  CPwFile file;
  file.SetPath(aPath);
  if (!file.OpenRead()) return false;
  const int64_t size = file.Size();
  uint8_t head[CPlotList::KHeaderBytes];
  if (size < 0 || file.Read(head, CPlotList::KHeaderBytes) < CPlotList::KHeaderBytes) return false;
  const uint32_t first = ReadLittleEndian32(head);
  if (first >= KFirstNonVersion) return size % KVersion0RecordBytes == 0;
  if (first > static_cast<uint32_t>(CPlotList::KCurrentVersion)) return false;
  if (first != static_cast<uint32_t>(CPlotList::KCurrentVersion))
    return (size - CPlotList::KHeaderBytes) % (first == 0 ? KVersion0RecordBytes : KVersion1RecordBytes) == 0;
  // Records of the current version: a length byte, a type byte and the payload.
  CPwByteArray buffer;
  buffer.Reserve(KPortionBytes);
  uint8_t* data = buffer.Buffer();
  int64_t offset = CPlotList::KHeaderBytes;
  for (;;) {
    const int32_t got = file.Read(data, KPortionBytes);
    if (got < 0) return false;
    int32_t pos = 0;
    while (got - pos >= 2) {
      const uint8_t length = data[pos];
      if (length == 0 || length > 127 || data[pos + 1] > 31) return false;
      if (got - pos - 2 < length) break;
      pos += 2 + length;
    }
    offset += pos;
    if (got < KPortionBytes) return pos == got;
    if (pos < got && !file.Seek(offset)) return false;
  }
}

CPlotListLoader::CPlotListLoader(CPlotList& aList, const PwTimeConverter* aConverter, CPwStringC aPath)
    : iList(aList), iConverter(aConverter) {
  iPath.Copy(aPath);
}

CPlotListLoader::~CPlotListLoader() = default;

int32_t CPlotListLoader::Step() {
  switch (iState) {
    case ENotStarted:
      Open();
      return 1;
    case EReading:
      return (iVersion == CPlotList::KCurrentVersion ? ReadPortion() : ReadOldPortion()) ? 1 : 0;
    default:
      return 0;
  }
}

void CPlotListLoader::Cancel() {
  if (iState == EComplete || iState == EFailed) return;
  Finish(EIncomplete);
}

void CPlotListLoader::Finish(int32_t aState) {
  iState = aState;
  iFile.Close();
  iBuffer.Reset();
}

void CPlotListLoader::FailReadL() {
  Finish(EFailed);
  Leave(KErrRead);
}

void CPlotListLoader::Open() {
  iFile.SetPath(iPath);
  if (!iFile.OpenRead()) Leave(KErrOpen);
  const int64_t size = iFile.Size();
  uint8_t head[CPlotList::KHeaderBytes];
  const int32_t headBytes = iFile.Read(head, CPlotList::KHeaderBytes);
  if (headBytes < CPlotList::KHeaderBytes) {
    iFile.Close();
    Leave(headBytes < 0 ? KErrRead : KErrShort);
  }
  TPlotFileHeader header;
  const uint32_t first = ReadLittleEndian32(head);
  if (first < KFirstNonVersion) {
    if (first > static_cast<uint32_t>(CPlotList::KCurrentVersion)) {
      iFile.Close();
      Leave(KErrVersion);
    }
    header.iVersion = static_cast<int32_t>(first);
    for (int32_t i = 0; i < 3; ++i) header.iReserved[i] = ReadLittleEndianSigned32(head + 4 + 4 * i);
    iOffset = CPlotList::KHeaderBytes;
  } else {
    // No header: the first record starts at once.
    header.iVersion = 0;
    iOffset = 0;
    if (!iFile.Seek(0)) {
      iFile.Close();
      Leave(KErrOpen);
    }
  }
  iVersion = header.iVersion;
  iList.SetHeader(header);

  int32_t capacity;
  if (iVersion == CPlotList::KCurrentVersion) {
    iTotal = ClampToInt32(size);
    iProgress = ClampToInt32(iOffset);
    capacity = KPortionBytes;
  } else {
    iRecordSize = iVersion == 0 ? KVersion0RecordBytes : KVersion1RecordBytes;
    iTotal = ClampToInt32((size - iOffset) / iRecordSize);
    iProgress = 0;
    capacity = KPortionRecords * iRecordSize;
  }
  iBuffer.Reserve(capacity);
  iState = EReading;
}

bool CPlotListLoader::ReadPortion() {
  uint8_t* data = iBuffer.Buffer();
  const int32_t got = iFile.Read(data, KPortionBytes);
  if (got < 0) FailReadL();
  const int32_t used = ConvertRecords(data, got);
  iOffset += used;
  iProgress = ClampToInt32(iOffset);
  if (iCorrupt) {
    Finish(EIncomplete);
    return false;
  }
  if (got == KPortionBytes) {
    // A record cut by the portion's end is read whole by the next step.
    if (used < got && !iFile.Seek(iOffset)) {
      Finish(EIncomplete);
      return false;
    }
    return true;
  }
  iTorn = used < got;
  Finish(iTorn ? EIncomplete : EComplete);
  return false;
}

int32_t CPlotListLoader::ConvertRecords(const uint8_t* aData, int32_t aLength) {
  int32_t pos = 0;
  while (aLength - pos >= 2) {
    const uint8_t length = aData[pos];
    const uint8_t type = aData[pos + 1];
    if (length == 0 || length > 127 || type > 31) {
      iCorrupt = true;
      break;
    }
    if (aLength - pos - 2 < length) break;
    ConvertRecord(type, aData + pos + 2, length);
    pos += 2 + length;
  }
  return pos;
}

void CPlotListLoader::ConvertRecord(uint8_t aType, const uint8_t* p, int32_t aLength) {
  switch (aType) {
    case EPlotRecordPosition: {
      if (aLength < CPlotList::KPositionPayload) return;
      TPositionPlot plot;
      plot.iTime = ReadLittleEndianSigned32(p);
      plot.iLatitude = ReadLittleEndianSigned32(p + 4);
      plot.iLongitude = ReadLittleEndianSigned32(p + 8);
      plot.iSpeed = ReadLittleEndianSigned32(p + 12);
      plot.iAltitude = ReadLittleEndianSigned32(p + 16);
      plot.iDistance = ReadLittleEndianSigned32(p + 20);
      plot.iBearing = ReadLittleEndian16(p + 24);
      plot.iHdop = ReadLittleEndian16(p + 26);
      plot.iVdop = ReadLittleEndian16(p + 28);
      plot.iFlags = p[30] & TPositionPlot::KSatellitesMask;
      // A position without coordinates cannot be drawn or timed; no writer stores one.
      if (plot.iLatitude == KInvalidInt || plot.iLongitude == KInvalidInt) return;
      AppendLoaded(iList, plot);
      return;
    }
    case EPlotRecordObd:
    case EPlotRecordObdLong: {
      const bool wide = aType == EPlotRecordObdLong;
      if (aLength < (wide ? CPlotList::KObdLongPayload : CPlotList::KObdPayload)) return;
      const uint32_t raw = wide ? ReadLittleEndian32(p + 4) : ReadLittleEndian16(p + 4);
      CObdChannelPlotList* list = iList.ObdList().ChannelList(p[wide ? 8 : 6]);
      if (list) list->Append(PwTime(ReadLittleEndianSigned32(p)), raw);
      return;
    }
    case EPlotRecordResumeLocal:
    case EPlotRecordResume: {
      if (aLength < CPlotList::KResumePayload) return;
      PwDateTime at(PwTime(ReadLittleEndianSigned32(p + 4)), PwTime(ReadLittleEndianSigned32(p + 8)));
      if (aType == EPlotRecordResumeLocal && iConverter) at = iConverter->LocalToUtc(at);
      iList.ResumeList().Add(PwTime(ReadLittleEndianSigned32(p)), at.iDate, at.iTime);
      return;
    }
    case EPlotRecordLogger: {
      if (aLength < 4) return;
      TDataLoggerRecord record;
      const int32_t rest = aLength - 4;
      if (rest >= 2 && rest <= TDataLoggerRecord::KMaxStoredBytes) record.Deserialise(p + 4, rest);
      iList.LoggerList().Append(PwTime(ReadLittleEndianSigned32(p)), record);
      return;
    }
    case EPlotRecordOldPosition:
      if (aLength < CPlotList::KOldPositionPayload) return;
      AppendOldPosition(ReadLittleEndianSigned32(p), ReadLittleEndianSigned32(p + 4), ReadLittleEndianSigned32(p + 8), ReadLittleEndianSigned32(p + 12), ReadLittleEndianSigned32(p + 16),
                        ReadLittleEndianSigned32(p + 20), p[24], true, false);
      return;
    default:
      return;  // a type of a later build: skipped by its length
  }
}

bool CPlotListLoader::ReadOldPortion() {
  uint8_t* data = iBuffer.Buffer();
  const int32_t wanted = KPortionRecords * iRecordSize;
  const int32_t got = iFile.Read(data, wanted);
  if (got < 0) FailReadL();
  const int32_t records = got / iRecordSize;
  for (int32_t i = 0; i < records; ++i) {
    if (!ConvertOldRecord(data + i * iRecordSize)) {
      // A position off the globe is no sample of a receiver: the file is damaged from here.
      iOffset += static_cast<int64_t>(i) * iRecordSize;
      iProgress += i;
      iTorn = true;
      Finish(EIncomplete);
      return false;
    }
  }
  iOffset += static_cast<int64_t>(records) * iRecordSize;
  iProgress += records;
  if (got == wanted) return true;
  iTorn = got % iRecordSize != 0;
  Finish(iTorn ? EIncomplete : EComplete);
  return false;
}

bool CPlotListLoader::ConvertOldRecord(const uint8_t* p) {
  const int32_t time = ReadLittleEndianSigned32(p);
  if (iVersion == 0) {
    const double lat = ReadLittleEndianSigned32(p + 4) / KVersion0Scale;
    const double lon = ReadLittleEndianSigned32(p + 8) / KVersion0Scale;
    const double alt = ReadLittleEndianSigned32(p + 12) / KVersion0Scale;
    const int32_t latitude = TCoordinate::FromRadians(lat).iValue;
    const int32_t longitude = TCoordinate::FromRadians(lon).iValue;
    if (!IsPlausiblePoint(TGeoPoint{TCoordinate(latitude), TCoordinate(longitude)})) return false;
    AppendOldPosition(time, latitude, longitude, KInvalidInt, RadiansToArcUnits(alt), 0, KOldFormatSatellites,
                      false, true);
    return true;
  }
  const int32_t latitude = ReadLittleEndianSigned32(p + 4);
  const int32_t longitude = ReadLittleEndianSigned32(p + 8);
  // An unset position is a gap mark of these formats, not damage.
  if (latitude != KInvalidInt && longitude != KInvalidInt &&
      !IsPlausiblePoint(TGeoPoint{TCoordinate(latitude), TCoordinate(longitude)}))
    return false;
  const int32_t satellites = iVersion == 2 ? p[20] : KOldFormatSatellites;
  AppendOldPosition(time, latitude, longitude, ReadLittleEndianSigned32(p + 16), ReadLittleEndianSigned32(p + 12), 0, satellites, iVersion == 2, true);
  return true;
}

void CPlotListLoader::AppendOldPosition(int32_t aTime, int32_t aLatitude, int32_t aLongitude,
                                        int32_t aSpeed, int32_t aAltitude, int32_t aDistance,
                                        int32_t aSatellites, bool aZeroMarksGap, bool aComputeDistance) {
  if (aLatitude == KInvalidInt || aLongitude == KInvalidInt) return;
  CPositionPlotList& positions = iList.PositionList();
  const TGeoPoint point{TCoordinate(aLatitude), TCoordinate(aLongitude)};
  TPositionPlot plot;
  plot.iTime = aTime;
  plot.iLatitude = aLatitude;
  plot.iLongitude = aLongitude;
  plot.iSpeed = aSpeed;
  plot.iAltitude = aAltitude;
  const TAngle bearing = positions.BearingFromLast(point);
  if (bearing.IsValid()) {
    const double v = std::trunc(bearing.CompassDegrees() * 100.0 + 0.5);
    plot.iBearing = static_cast<uint16_t>(v >= 36000.0 ? 0.0 : v);
  }
  plot.iDistance = aComputeDistance ? TPositionPlot::EncodeDistance(positions.AppendComputed(point)) : aDistance;
  plot.iFlags = TPositionPlot::EncodeFlags(aSatellites, false, aZeroMarksGap && aSatellites == 0);
  AppendLoaded(iList, plot);
}
