#include "storage/plot_list.h"

#include <cmath>

#include "foundation/paths.h"
#include "storage/plot_list_loader.h"

namespace {

// Little-endian writers over a record being built.
class TRecordWriter {
 public:
  TRecordWriter(uint8_t* aBuffer, uint8_t aType, int32_t aPayloadLength) : iBuf(aBuffer) {
    iBuf[0] = static_cast<uint8_t>(aPayloadLength);
    iBuf[1] = aType;
    iPos = 2;
  }
  void Int32(int32_t aValue) {
    const uint32_t v = static_cast<uint32_t>(aValue);
    iBuf[iPos++] = static_cast<uint8_t>(v);
    iBuf[iPos++] = static_cast<uint8_t>(v >> 8);
    iBuf[iPos++] = static_cast<uint8_t>(v >> 16);
    iBuf[iPos++] = static_cast<uint8_t>(v >> 24);
  }
  void UInt16(uint16_t aValue) {
    iBuf[iPos++] = static_cast<uint8_t>(aValue);
    iBuf[iPos++] = static_cast<uint8_t>(aValue >> 8);
  }
  void UInt8(uint8_t aValue) { iBuf[iPos++] = aValue; }
  void Bytes(const uint8_t* aBytes, int32_t aCount) {
    for (int32_t i = 0; i < aCount; ++i) iBuf[iPos++] = aBytes[i];
  }
  int32_t Length() const { return iPos; }

 private:
  uint8_t* iBuf;
  int32_t iPos = 0;
};

// Degrees x 100 of a course as received, brought into [0, 360) first so that a receiver's
// negative or over-range course cannot wrap the 16-bit field.
uint16_t EncodeBearing(double aDegrees) {
  if (!std::isfinite(aDegrees)) return TPositionPlot::KInvalidWord;
  const double v = std::trunc(FlooredRemainder(aDegrees, 360.0) * 100.0 + 0.5);
  return static_cast<uint16_t>(v >= 36000.0 ? 0.0 : v);
}

}  // namespace

CPlotList* CPlotList::NewL(const CObdChannelList* aObdChannels) {
  std::unique_ptr<CPlotList> self(new CPlotList());
  self->ConstructL(aObdChannels);
  return self.release();
}

void CPlotList::ConstructL(const CObdChannelList* aObdChannels) {
  iFile.reset(new PwFileBuffered());
  iObd.reset(new CObdPlotList(aObdChannels));
  iLogger.reset(CDataLoggerPlotList::NewL());
}

CPlotList::~CPlotList() {
  // The loader reads into the lists, so it goes first; the file is flushed and closed by its
  // own destructor.
  iLoader.reset();
}

void CPlotList::SetPath(CPwStringC aBaseName, CPwStringC aStorageRoot) {
  MakeFilePath(EFilePlots, aStorageRoot, aBaseName, iPath);
  iFile->Close();
  iFile->SetPath(iPath);
}

void CPlotList::CreateFile(CPwStringC aBaseName, CPwStringC aStorageRoot) {
  SetPath(aBaseName, aStorageRoot);
  iFileEnd = -1;
  iFile->Replace(KHeaderBytes, 0);
  uint8_t header[KHeaderBytes] = {};
  header[0] = KCurrentVersion;  // version 3, then three reserved zeros
  iFile->Write(CPwByteArrayC(header, KHeaderBytes));
  iFile->Close();  // flushes to the medium
  const bool ok = !iFile->HasFailed();
  iHeader = TPlotFileHeader();
  iHeader.iVersion = KCurrentVersion;
  if (ok) iFileEnd = KHeaderBytes;
}

void CPlotList::OpenForAppend(int32_t aBufferBytes, int32_t aSyncIntervalBytes) {
  CloseFile();
  // Recording resumes here: its first dated sample ties the session to the calendar again,
  // which is how the loader finds where a resumed recording begins, however short the pause.
  iLastDate = PwTime::Unset();
  iResumed = iPositions.Count() > 0;
  if (iFileEnd < 0) return;
  iFile->OpenAppend(aBufferBytes, aSyncIntervalBytes);
  if (iFile->Size() != iFileEnd) {
    iFile->Close();
    iFileEnd = -1;
  }
}

void CPlotList::CloseFile() {
  if (!iFile->IsOpen()) return;
  iFile->Close();  // flushes to the medium
  if (iFile->HasFailed()) iFileEnd = -1;
}

void CPlotList::HandOverFile() {
  if (!iFile->IsOpen()) return;
  if (!iFile->HandOver()) iFileEnd = -1;
}

void CPlotList::SyncFile() {
  if (!iFile->IsOpen() || iFile->BytesSinceSync() == 0) return;
  // The recording must not wait for the medium; the closing flush still does.
  if (!iFile->FlushInBackground()) iFileEnd = -1;
}

void CPlotList::WriteRecord(const uint8_t* aRecord, int32_t aLength) {
  if (!iFile->IsOpen()) return;
  iFile->Write(CPwByteArrayC(aRecord, aLength));
  if (iFile->HasFailed())
    iFileEnd = -1;  // the file was closed; what reached it may end inside a record
  else
    iFileEnd += aLength;
}

CPlotListLoader* CPlotList::StartLoading(const PwTimeConverter* aConverter, CPwStringC aBaseName,
                                         CPwStringC aStorageRoot) {
  iLoader.reset();
  SetPath(aBaseName, aStorageRoot);
  ResetSamples();
  iComplete = false;
  iFileEnd = -1;
  iHeader = TPlotFileHeader();
  iLoader.reset(new CPlotListLoader(*this, aConverter, iPath));
  return iLoader.get();
}

void CPlotList::FinishLoading() {
  iComplete = iLoader && iLoader->State() == CPlotListLoader::EComplete;
  // Records of the current format must not be appended to a file of an older one.
  iFileEnd = iComplete && IsCurrentVersion() ? iLoader->EndOffset() : -1;
  iLoader.reset();
  iPositions.ContinueDistance();
  iSessionMax = PwTime(0);
  iPositions.ContinueTimeLine(iSessionMax);
  for (int32_t i = 0; i < iObd->ListCount(); ++i) iObd->ListAt(i).ContinueTimeLine(iSessionMax);
  iLogger->ContinueTimeLine(iSessionMax);
}

void CPlotList::ResetSamples() {
  iPositions.Reset();
  iObd->Reset();
  iLogger->Reset();
  iResume.Reset();
  iSessionMax = PwTime(0);
  iLastDate = PwTime::Unset();
  iLastTimeOfDay = PwTime::Unset();
  iResumed = false;
}

int32_t CPlotList::AddPosition(TCoordinate aLatitude, TCoordinate aLongitude, int32_t aTimeOfDay,
                               TDistance aAltitude, TSpeed aSpeed, double aBearingDegrees,
                               double aHdop, double aVdop, int32_t aSatellites,
                               int32_t aDifferential, int32_t aDiscontinuity, int32_t aDate,
                               int32_t aUtcTime, int32_t aFileOnly) {
  if (!aLatitude.IsValid() || !aLongitude.IsValid()) return 0;
  bool wrapped = false;
  const PwTime t = iPositions.NormaliseTime(aTimeOfDay, iSessionMax, wrapped);
  if (!t.IsSet()) return 0;

  const PwTime date(aDate);
  if (date.IsSet() && (wrapped || !iLastDate.IsSet() || date != iLastDate)) {
    iLastDate = date;
    iLastTimeOfDay = PwTime(aUtcTime);
    AddResumeItem(t, date, PwTime(aUtcTime));
    // The loader begins a trace segment at the resumed recording's calendar item: so does
    // live timing, so that a split bridging the pause counts neither live nor after reopening.
    if (iResumed && iLastTimeOfDay.IsSet()) aDiscontinuity = 1;
    iResumed = false;
  }

  TPositionPlot p;
  p.iTime = t.Milliseconds();
  p.iLatitude = aLatitude.iValue;
  p.iLongitude = aLongitude.iValue;
  p.iAltitude = TPositionPlot::EncodeDistance(aAltitude);
  p.iSpeed = TPositionPlot::EncodeSpeed(aSpeed);
  p.iBearing = EncodeBearing(aBearingDegrees);
  p.iHdop = TPositionPlot::EncodeHundredths(aHdop);
  p.iVdop = TPositionPlot::EncodeHundredths(aVdop);
  p.iFlags = TPositionPlot::EncodeFlags(aSatellites, aDifferential != 0, aDiscontinuity != 0);
  p.iDistance = TPositionPlot::EncodeDistance(iPositions.AppendJudged(p));
  if (!aFileOnly) iPositions.AppendStored(p);

  if (iFile->IsOpen()) {
    uint8_t record[2 + KPositionPayload];
    TRecordWriter w(record, EPlotRecordPosition, KPositionPayload);
    w.Int32(p.iTime);
    w.Int32(p.iLatitude);
    w.Int32(p.iLongitude);
    w.Int32(p.iSpeed);  // speed before altitude on disk
    w.Int32(p.iAltitude);
    w.Int32(p.iDistance);
    w.UInt16(p.iBearing);
    w.UInt16(p.iHdop);
    w.UInt16(p.iVdop);
    w.UInt8(static_cast<uint8_t>(p.iFlags & TPositionPlot::KSatellitesMask));
    WriteRecord(record, w.Length());
  }
  return 1;
}

int32_t CPlotList::AddObdValue(int32_t aTimeOfDay, int32_t aPid, uint32_t aRawValue, int32_t aFileOnly) {
  CObdChannelPlotList* list = iObd->ChannelList(aPid);
  if (!list) return 0;
  bool wrapped = false;
  const PwTime t = list->NormaliseTime(aTimeOfDay, iSessionMax, wrapped);
  if (!t.IsSet()) return 0;
  if (!aFileOnly) list->Append(t, aRawValue);

  if (iFile->IsOpen()) {
    uint8_t record[2 + KObdLongPayload];
    const bool wide = aRawValue > 0xFFFF;
    TRecordWriter w(record, wide ? EPlotRecordObdLong : EPlotRecordObd, wide ? KObdLongPayload : KObdPayload);
    w.Int32(t.Milliseconds());
    if (wide)
      w.Int32(static_cast<int32_t>(aRawValue));
    else
      w.UInt16(static_cast<uint16_t>(aRawValue));
    w.UInt8(static_cast<uint8_t>(aPid));
    WriteRecord(record, w.Length());
  }
  return 1;
}

int32_t CPlotList::AddLoggerRecord(int32_t aTimeOfDay, const TDataLoggerRecord& aRecord, int32_t aFileOnly) {
  bool wrapped = false;
  const PwTime t = iLogger->NormaliseTime(aTimeOfDay, iSessionMax, wrapped);
  if (!t.IsSet()) return 0;
  if (!aFileOnly) iLogger->Append(t, aRecord);

  if (iFile->IsOpen()) {
    uint8_t values[TDataLoggerRecord::KMaxSerialisedBytes];
    const int32_t n = aRecord.Serialise(values, sizeof values);
    uint8_t record[2 + 4 + TDataLoggerRecord::KMaxSerialisedBytes];
    TRecordWriter w(record, EPlotRecordLogger, 4 + n);
    w.Int32(t.Milliseconds());
    w.Bytes(values, n);
    WriteRecord(record, w.Length());
  }
  return 1;
}

void CPlotList::AddResumeItem(PwTime aSessionTime, PwTime aDate, PwTime aTime) {
  if (!aSessionTime.IsSet() || !aDate.IsSet() || !aTime.IsSet()) return;
  iResume.Add(aSessionTime, aDate, aTime);
  if (iFile->IsOpen()) {
    uint8_t record[2 + KResumePayload];
    TRecordWriter w(record, EPlotRecordResume, KResumePayload);
    w.Int32(aSessionTime.Milliseconds());
    w.Int32(aDate.Milliseconds());
    w.Int32(aTime.Milliseconds());
    WriteRecord(record, w.Length());
  }
}
