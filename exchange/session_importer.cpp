#include "exchange/session_importer.h"

#include "acquisition/nmea_parser.h"
#include "exchange/dl1_parser.h"
#include "exchange/gpx_parser.h"
#include "exchange/pbox_parser.h"
#include "exchange/vbox_parser.h"
#include "storage/plot_list.h"
#include "timing/track_session.h"

CSessionImporter* CSessionImporter::NewL(CTrackSession& aSession, CObdChannelList* aObdChannels,
                                         const CPwStringList& aFiles, int32_t aFormat) {
  return PwNewL<CSessionImporter>(&aSession, aSession.PlotList(), aObdChannels, aFiles, aFormat);
}

CSessionImporter* CSessionImporter::NewL(CPlotList& aPlots, CObdChannelList* aObdChannels,
                                         const CPwStringList& aFiles, int32_t aFormat) {
  return PwNewL<CSessionImporter>(static_cast<CTrackSession*>(nullptr), aPlots, aObdChannels,
                                  aFiles, aFormat);
}

CSessionImporter* CSessionImporter::StartL(CTrackSession& aSession, CObdChannelList* aObdChannels,
                                           const CPwStringList& aFiles, int32_t aFormat) {
  CSessionImporter* importer = NewL(aSession, aObdChannels, aFiles, aFormat);
  aSession.StartImport(importer);
  return importer;
}

CSessionImporter::~CSessionImporter() = default;

void CSessionImporter::ConstructL(CTrackSession* aSession, CPlotList& aPlots,
                                  CObdChannelList* aObdChannels, const CPwStringList& aFiles,
                                  int32_t aFormat) {
  iSession = aSession;
  iPlots = &aPlots;
  iObdChannels = aObdChannels;
  iFormat = aFormat;
  iFiles.CopyFrom(aFiles);
  iBuffer.Reserve(KBlockBytes);
  iParser.reset(NewParserL(aFormat));
}

CDataParser* CSessionImporter::NewParserL(int32_t aFormat) {
  switch (aFormat) {
    case EFormatNmea:
      return CNmeaParser::NewL(0);
    case EFormatPBox:
      return CPBoxParser::NewL();
    case EFormatVBox:
      return CVBoxParser::NewL();
    case EFormatDL1:
      return CDL1Parser::NewL();
    case EFormatGpx:
      return CGpxParser::NewL();
    default:
      Leave(KErrCorrupt);
  }
}

int32_t CSessionImporter::Step() {
  switch (iState) {
    case ENotStarted:
    case EBetweenFiles:
      if (iNextFile < iFiles.Count())
        OpenNextFile();
      else
        iState = EDone;
      return 1;
    case EReading:
      ReadBlock();
      return 1;
    default:
      iPlots->CloseFile();
      iInput.Close();
      return 0;
  }
}

void CSessionImporter::OpenNextFile() {
  // Nothing of one file's partial line or record may leak into the next.
  iParser->Reset();
  iInput.SetPath(iFiles.At(iNextFile));
  ++iNextFile;
  if (!iInput.OpenRead()) Leave(KErrOpen);
  iFileSize = iInput.Size();
  if (iFileSize < 0) Leave(KErrOpen);
  iReadPosition = 0;
  iState = EReading;
  iPlots->OpenForAppend(CPlotList::KImportBufferBytes, CPlotList::KSyncAtClose);
}

void CSessionImporter::ReadBlock() {
  // Only up to the size noted at opening: a file that grows meanwhile keeps the progress
  // scale, and a read that comes up empty before it can only be a failure (a directory, an
  // I/O error, a file cut short under us), which must not pass for a complete import.
  const int64_t left = iFileSize - iReadPosition;
  if (left > 0) {
    const int32_t want = left < KBlockBytes ? static_cast<int32_t>(left) : KBlockBytes;
    const int32_t got = iInput.Read(iBuffer.Buffer(), want);
    if (got <= 0) Leave(KErrOpen);
    iBuffer.SetLength(got);
    iReadPosition += got;
    iParser->Parse(iBuffer, this, nullptr, iObdChannels, nullptr, nullptr);
    // A file the parser will not trust ends the import; what it stored so far stays until the
    // owner drops the session.
    CPwString reason;
    if (iParser->Refusal(reason)) {
      iInput.Close();
      Leave(KErrRefused);
    }
  }
  if (iReadPosition >= iFileSize) {
    iInput.Close();
    iState = EBetweenFiles;
  }
}

void CSessionImporter::Cancel() {
  if (iState == ENotStarted || iState == EDone) {
    iState = EDone;
    return;
  }
  iInput.Close();
  iPlots->CloseFile();
  iState = EDone;
}

void CSessionImporter::Progress(int64_t& aValue, int64_t& aTotal) const {
  aTotal = static_cast<int64_t>(iFiles.Count()) * iFileSize;
  aValue = (iNextFile > 0 ? iNextFile - 1 : 0) * iFileSize + iReadPosition;
  while (aTotal > INT32_MAX) {
    aTotal >>= 1;
    aValue >>= 1;
  }
}

int32_t CSessionImporter::ProgressTotal() {
  int64_t value = 0, total = 0;
  Progress(value, total);
  return static_cast<int32_t>(total);
}

int32_t CSessionImporter::ProgressValue() {
  int64_t value = 0, total = 0;
  Progress(value, total);
  return static_cast<int32_t>(value);
}

int32_t CSessionImporter::PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime,
                                         TDistance aAltitude, TSpeed aSpeed, double aBearingDegrees,
                                         double aHdop, double aVdop, int32_t aSatellites,
                                         int32_t aDifferential, int32_t aDiscontinuity, PwTime aDate,
                                         PwTime aDateTime) {
  iStoredPositions += iPlots->AddPosition(aLatitude, aLongitude, aTime.Milliseconds(), aAltitude, aSpeed,
                                          aBearingDegrees, aHdop, aVdop, aSatellites, aDifferential,
                                          aDiscontinuity, aDate.Milliseconds(), aDateTime.Milliseconds(), 1);
  return 0;
}

void CSessionImporter::ObdValueParsed(PwTime aTime, int32_t aPid, uint32_t aRawValue) {
  iStoredObdValues += iPlots->AddObdValue(aTime.Milliseconds(), aPid, aRawValue, 1);
}

void CSessionImporter::ChannelsParsed(PwTime aTime, const TChannelValueList& aValues) {
  TDataLoggerRecord record;
  for (int32_t i = 0; i < aValues.Count(); ++i) record.SetValue(aValues.At(i).iChannel, aValues.At(i).iValue);
  iStoredLoggerRecords += iPlots->AddLoggerRecord(aTime.Milliseconds(), record, 1);
}
