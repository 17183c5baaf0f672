#include "exchange/session_exporter.h"

#include "foundation/paths.h"
#include "foundation/pw_time.h"
#include "storage/plot_list.h"
#include "storage/session_info.h"
#include "timing/lap.h"
#include "timing/lap_list.h"
#include "timing/track_profile.h"
#include "timing/trap_line.h"

namespace {

struct TFormatInfo {
  int32_t iFormat;
  int32_t iFileKind;
  int32_t iBytesPerItem;
};

constexpr TFormatInfo KFormats[] = {
    {EExportKml, EFileExportKml, 23},  {EExportCsv, EFileExportCsv, 120},
    {EExportVbo, EFileExportVbo, 65},  {EExportDat, EFileExportDat, 65},
    {EExportGpx, EFileExportGpx, 155},
    {EExportOverlayCsv, EFileExportOverlayCsv, 110}, {EExportVboLapGates, EFileExportVboLapGates, 65},
};

const TFormatInfo* FindFormat(int32_t aFormat) {
  for (const TFormatInfo& f : KFormats)
    if (f.iFormat == aFormat) return &f;
  return nullptr;
}

// The samples a lap spans: from the one before its start crossing to the one at which its
// last crossing was detected.
int32_t FirstSampleIndex(const CLap& aLap) { return aLap.Start()->iSampleIndex - 1; }
int32_t LastSampleIndex(const CLap& aLap) { return aLap.LastCrossing()->iSampleIndex; }

int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }
int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }

}  // namespace

int32_t CSessionExporter::FileKindOf(int32_t aFormat) {
  const TFormatInfo* f = FindFormat(aFormat);
  return f ? f->iFileKind : -1;
}

int32_t CSessionExporter::BytesPerItemOf(int32_t aFormat) {
  const TFormatInfo* f = FindFormat(aFormat);
  return f ? f->iBytesPerItem : -1;
}

CSessionExporter* CSessionExporter::NewL(const TExportRequest& aRequest) {
  return PwNewL<CSessionExporter>(aRequest);
}

CSessionExporter::CSessionExporter() : iFreeSpaceKb(&FreeSpaceKb) {}

void CSessionExporter::ConstructL(const TExportRequest& aRequest) {
  if (!FindFormat(aRequest.iFormat) || aRequest.iScope < EExportBestLap || aRequest.iScope > EExportRoute ||
      !aRequest.iInfo || !aRequest.iPlots)
    Leave(KErrBadRequest);
  iRequest = aRequest;
  iStorageRoot.Copy(aRequest.iStorageRoot.IsEmpty() ? aRequest.iInfo->StorageRoot() : aRequest.iStorageRoot);
  iRequest.iStorageRoot = CPwStringC();
  iContext.iRequest = &iRequest;
  if (iRequest.iFormat == EExportCsv) {
    switch (iRequest.iCsvSeparators) {
      case ECsvSemicolonComma:
        iContext.iFieldSeparator = ';';
        iContext.iDecimalSeparator = ',';
        break;
      case ECsvSemicolonDot:
        iContext.iFieldSeparator = ';';
        iContext.iDecimalSeparator = '.';
        break;
      default:
        break;
    }
  }
  iContext.iLaps = &iLapList;
}

CSessionExporter::~CSessionExporter() { CloseFile(); }

// --- CWorker ---------------------------------------------------------------------------------

int32_t CSessionExporter::Step() {
  if (iState == EClosed) return 0;
  try {
    if (iState == ENotStarted) {
      StartExport();
      return 1;
    }
    if (!iFinished) {
      if (IsLapScope()) {
        if (iProgressCount >= iLapList.Count()) {
          iFinished = true;
        } else {
          WriteLap(iLapList.At(iProgressCount));
          ++iProgressCount;
        }
      } else {
        WriteSamples();
      }
      Flush();
      return 1;
    }
    FinishExport();
    return 0;
  } catch (...) {
    // What was written stays in the file; the file is not left open behind a failed run.
    CloseFile();
    iState = EClosed;
    throw;
  }
}

void CSessionExporter::Cancel() {
  CloseFile();
  iState = EClosed;
}

int32_t CSessionExporter::ProgressTotal() { return iProgressTotal < 0 ? 1 : iProgressTotal; }

int32_t CSessionExporter::ProgressValue() {
  if (iProgressTotal < 0) return 0;
  if (iFinished || iProgressCount > iProgressTotal) return iProgressTotal;
  return iProgressCount;
}

// --- Lap selection ---------------------------------------------------------------------------

bool CSessionExporter::LapQualifies(int32_t aIndex) const {
  if (aIndex < 0 || !iRequest.iLaps) return false;
  const CLap* lap = static_cast<const CLapList*>(iRequest.iLaps)->Lap(aIndex);
  if (!lap || !lap->IsFinished() || !lap->Start()) return false;
  return !(iRequest.iFormat == EExportKml && lap->IsInvalid());
}

bool CSessionExporter::HasOptimalLap() {
  CLapList* laps = iRequest.iLaps;
  if (iRequest.iFormat != EExportKml || !laps) return false;
  if (!laps->OptimalLap() && laps->LapCount() > 0) laps->RecomputeBestAndOptimal();
  return laps->OptimalLap() != nullptr && SampleLap(CLapList::KOptimalLap) != nullptr;
}

const CLap* CSessionExporter::SampleLap(int32_t aIndex) {
  CLapList* laps = iRequest.iLaps;
  if (!laps) return nullptr;
  const CLap* lap = aIndex == CLapList::KOptimalLap ? laps->OptimalTrace() : laps->Lap(aIndex);
  return lap && lap->Start() && lap->Plots() ? lap : nullptr;
}

void CSessionExporter::SelectLaps() {
  iLapList.Reset();
  iLapCount = 0;
  iLastLap = -1;
  iItemCount = 0;
  if (!IsLapScope()) {
    iItemCount = iRequest.iPlots->PositionList().Count();
    return;
  }
  CLapList* laps = iRequest.iLaps;
  if (!laps) return;
  int64_t items = 0;
  auto add = [&](int32_t aIndex) {
    iLapList.Append(aIndex);
    iLastLap = aIndex;
    const CLap* lap = SampleLap(aIndex);
    if (lap) items += static_cast<int64_t>(LastSampleIndex(*lap)) - FirstSampleIndex(*lap) + KItemsPerLapExtra;
  };
  switch (iRequest.iScope) {
    case EExportBestLap:
      if (LapQualifies(laps->BestLapIndex())) add(laps->BestLapIndex());
      break;
    case EExportSelectedLap: {
      const int32_t selected =
          iRequest.iSelectedLap == TExportRequest::KViewedLap ? laps->ViewedIndex() : iRequest.iSelectedLap;
      if (selected == CLapList::KOptimalLap) {
        if (HasOptimalLap()) add(CLapList::KOptimalLap);
      } else if (LapQualifies(selected)) {
        add(selected);
      }
      break;
    }
    default:
      if (HasOptimalLap()) add(CLapList::KOptimalLap);
      for (int32_t i = 0; i < laps->LapCount(); ++i)
        if (LapQualifies(i)) add(i);
      break;
  }
  iLapCount = iLapList.Count();
  iItemCount = items > INT32_MAX ? INT32_MAX : static_cast<int32_t>(items);
}

// --- The first step --------------------------------------------------------------------------

void CSessionExporter::StartExport() {
  SelectLaps();
  iProgressTotal = IsLapScope() ? iLapCount - 1 : iItemCount - 1;
  iProgressCount = 0;
  if (!IsLapScope() && iRequest.iPlots->PositionList().Count() == 0) Leave(KErrNothingToExport);
  if (IsLapScope() && (!iRequest.iLaps || iRequest.iLaps->LapCount() == 0)) Leave(KErrNothingToExport);
  // The one lap asked for may not be one this format can hold (still running, or the optimal
  // lap outside KML): a file with only a header and a trailer would pass for an export.
  if ((iRequest.iScope == EExportBestLap || iRequest.iScope == EExportSelectedLap) && iLapCount == 0)
    Leave(KErrNothingToExport);

  // An empty root would put the folder below whatever the working folder happens to be.
  if (iStorageRoot.IsEmpty() || !EnsureExportsFolder(iStorageRoot)) Leave(KErrExportsFolder);
  BuildBaseName(iBaseName);
  MakeFilePath(FileKindOf(iRequest.iFormat), iStorageRoot, iBaseName, iFilePath);
  CheckSpace();

  iFile.SetPath(iFilePath);
  iFile.Replace(KFileBufferBytes, 0);
  PrepareTexts();
  iWriter.reset(CExportWriter::NewL(iRequest.iFormat, iContext));
  iWriter->Header(iLine);
  if (!IsLapScope()) iWriter->RouteBegin(iLine);
  Flush();
  if (IsLapScope()) SelectLaps();
  iState = EWriting;
}

void CSessionExporter::BuildBaseName(CPwString& aBaseName) const {
  aBaseName.Copy(iRequest.iInfo->Identifier());
  switch (iRequest.iScope) {
    case EExportBestLap:
      aBaseName.Append(u"-best-lap-");
      aBaseName.AppendNum(iLastLap + 1);
      break;
    case EExportSelectedLap:
      if (iLastLap == CLapList::KOptimalLap) {
        aBaseName.Append(u"-optimal-lap");
      } else {
        aBaseName.Append(u"-lap-");
        aBaseName.AppendNum(iLastLap + 1);
      }
      break;
    case EExportAllLaps:
      aBaseName.Append(u"-all-laps");
      break;
    default:
      aBaseName.Append(u"-route");
      break;
  }
}

void CSessionExporter::CheckSpace() {
  const int64_t estimate = static_cast<int64_t>(iItemCount) * BytesPerItemOf(iRequest.iFormat);
  const int64_t neededKb = (estimate + KSpaceReserveBytes) / 1024;
  if (neededKb >= iFreeSpaceKb(iStorageRoot)) Leave(KErrNoSpace);
}

void CSessionExporter::PrepareTexts() {
  iScopeText.SetLength(0);
  switch (iRequest.iScope) {
    case EExportBestLap:
      iScopeText.Append(CPwByteArrayC("Best lap (Lap #"));
      iScopeText.AppendNum(iLastLap + 1);
      iScopeText.AppendByte(')');
      break;
    case EExportSelectedLap:
      if (iLastLap == CLapList::KOptimalLap) {
        iScopeText.Append(CPwByteArrayC("Optimal lap"));
      } else {
        iScopeText.Append(CPwByteArrayC("Lap #"));
        iScopeText.AppendNum(iLastLap + 1);
      }
      break;
    case EExportAllLaps:
      iScopeText.Append(CPwByteArrayC("All laps"));
      break;
    default:
      iScopeText.Append(CPwByteArrayC("Traveled route"));
      break;
  }

  // The creation time as the session list shows it: local time when a converter is given.
  PwDateTime created = iRequest.iInfo->Created();
  if (iRequest.iConverter && created.IsSet()) {
    const PwDateTime local = iRequest.iConverter->UtcToLocal(created);
    if (local.IsSet()) created = local;
  }
  iDateText.SetLength(0);
  iTimeText.SetLength(0);
  iContext.iDateCode = PwTime::KUnset;
  if (created.IsSet()) {
    created.iDate.FormatDate(iText1);
    created.iTime.FormatHourMinute(iText2);
    iDateText.AppendUtf8(iText1);
    iTimeText.AppendUtf8(iText2);
    iContext.iDateCode = created.iDate.Milliseconds();
  }
  iContext.iScopeText = iScopeText;
  iContext.iDateText = iDateText;
  iContext.iTimeText = iTimeText;
}

// --- Writing steps ---------------------------------------------------------------------------

void CSessionExporter::WriteSamples() {
  const CPositionPlotList& plots = iRequest.iPlots->PositionList();
  const int32_t n = plots.Count();
  if (iProgressCount >= n) {
    iFinished = true;
    return;
  }
  const int32_t last = Min(iProgressCount + (KSamplesPerStep - 1), n - 1);
  for (int32_t i = iProgressCount; i <= last; ++i) iWriter->Row(iLine, plots.At(i), 0, nullptr);
  iProgressCount += KSamplesPerStep;
}

void CSessionExporter::WriteLap(int32_t aIndex) {
  CLapList* laps = iRequest.iLaps;
  const CLap* timed = laps ? static_cast<const CLapList*>(laps)->Lap(aIndex) : nullptr;
  const CLap* lap = SampleLap(aIndex);
  if (!timed || !lap) {
    iFinished = true;
    return;
  }
  const CTrapLineList* traps = iRequest.iTrack ? iRequest.iTrack->Traps() : nullptr;
  auto trapOf = [traps](const TLapSector* aSector) { return traps ? traps->At(aSector->iKey) : nullptr; };
  const CPositionPlotList& plots = *lap->Plots();
  const int32_t n = plots.Count();
  const int32_t number = aIndex + 1;
  const int32_t first = FirstSampleIndex(*lap);
  const int32_t last = LastSampleIndex(*lap);

  iWriter->LapBegin(iLine, aIndex, *timed);
  switch (iWriter->LapSamples()) {
    case CExportWriter::ELapRange:
      for (int32_t i = Max(first, 0); i <= Min(last, n - 1); ++i) iWriter->Row(iLine, plots.At(i), number, nullptr);
      break;
    case CExportWriter::ELapCrossings: {
      iWriter->Row(iLine, lap->Start()->iSample, number, trapOf(lap->Start()));
      const bool splitRows = iWriter->WritesSplitRows();
      int32_t split = 0;
      const int32_t from = Max(Max(first + 1, iNextUnwritten), 0);
      for (int32_t i = from; i <= Min(last - 1, n - 1); ++i) {
        if (splitRows) {
          // Splits come in crossing order, so their sample indices never decrease.
          while (split < lap->SplitCount() && lap->Split(split)->iSampleIndex < i) ++split;
          while (split < lap->SplitCount() && lap->Split(split)->iSampleIndex == i) {
            iWriter->Row(iLine, lap->Split(split)->iSample, number, trapOf(lap->Split(split)));
            ++split;
          }
        }
        iWriter->Row(iLine, plots.At(i), number, nullptr);
      }
      if (lap->Finish()) iWriter->Row(iLine, lap->Finish()->iSample, number, trapOf(lap->Finish()));
      iNextUnwritten = last;
      break;
    }
    case CExportWriter::ELapMargins: {
      const int32_t from = Max(Max(first - KLapMargin, iNextUnwritten), 0);
      for (int32_t i = from; i <= Min(last + KLapMargin, n - 1); ++i)
        iWriter->Row(iLine, plots.At(i), number, nullptr);
      iNextUnwritten = last + KLapMargin + 1;
      break;
    }
  }
  iWriter->LapEnd(iLine);
}

void CSessionExporter::FinishExport() {
  if (!IsLapScope()) iWriter->RouteEnd(iLine);
  iWriter->Trailer(iLine);
  Flush();
  // The last bytes and the medium's own buffers: a full medium shows up here at the latest.
  if (!iFile.Flush() || iFile.HasFailed()) Leave(KErrCannotOpen);
  CloseFile();
  iState = EClosed;
}

void CSessionExporter::Flush() {
  if (iLine.Length() > 0) iFile.Write(iLine);
  iLine.SetLength(0);
  if (iFile.HasFailed()) Leave(KErrCannotOpen);
}

void CSessionExporter::CloseFile() { iFile.Close(); }
