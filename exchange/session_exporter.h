// Writing the open session to a foreign file format (Google Earth KML, spreadsheet CSV, VBox
// VBO, Danas DAT, GPX 1.0) as a background worker: the first step checks the request, the
// folder and the free space and writes the header; every further step writes 1024 samples of
// the route or one lap; the last one writes the trailer and closes the file.
//
// The request (export_formats.h) names the session's parts directly (properties, samples, laps, track), so the
// export dialog and the command-line front end start the same exporter from what they hold.
#pragma once

#include <cstdint>
#include <memory>

#include "exchange/export_formats.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_file.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"
#include "foundation/worker.h"

class CLap;
class CLapList;
class CPlotList;
class CSessionInfo;
class CSettings;
class CTrackProfile;
class PwTimeConverter;

class CSessionExporter : public CWorker {
 public:
  // Leave codes of the first step.
  static constexpr int32_t KErrBadRequest = 1;       // unknown format or scope, no session
  static constexpr int32_t KErrExportsFolder = 4;    // the exports folder cannot be created
  // No samples, no laps for a lap scope, or no lap of the best or selected lap scope that the
  // format can hold.
  static constexpr int32_t KErrNothingToExport = 5;
  static constexpr int32_t KErrNoSpace = 8;          // the estimate does not fit the medium

  enum TState : int32_t { ENotStarted = 0, EWriting = 1, EClosed = 2 };

  static constexpr int32_t KSamplesPerStep = 1024;
  static constexpr int32_t KFileBufferBytes = 10240;
  // Samples written before and after a lap in VBO and DAT files.
  static constexpr int32_t KLapMargin = 20;
  // Kept free beyond the estimate of the file's size.
  static constexpr int64_t KSpaceReserveBytes = 700000;
  // Added per lap to its sample span when counting items.
  static constexpr int32_t KItemsPerLapExtra = 10;

  // Leaves KErrBadRequest for a format other than 0, 1, 3, 4, 5, a scope outside 0-3 or a
  // request without session properties or samples; KErrNoMemory.
  static CSessionExporter* NewL(const TExportRequest& aRequest);
  // Closes the file (whatever was written stays).
  ~CSessionExporter() override;

  // CWorker.
  int32_t Step() override;
  void Cancel() override;
  int32_t ProgressTotal() override;
  int32_t ProgressValue() override;

  int32_t State() const { return iState; }
  // The file being written (set by the first step).
  CPwStringC FilePath() const { return iFilePath; }
  // Items counted by the first step and the laps selected for a lap scope (lap indices, -2
  // for the optimal lap).
  int32_t ItemCount() const { return iItemCount; }
  const CPwVector<int32_t>& SelectedLaps() const { return iLapList; }

  // Format table: file kind of the file name, bytes per item of the space estimate; -1 for
  // a value that is no format.
  static int32_t FileKindOf(int32_t aFormat);
  static int32_t BytesPerItemOf(int32_t aFormat);

  // Replaces the free-space query (KiB free on the medium holding a path) for tests.
  void SetFreeSpaceQueryForTest(int32_t (*aQuery)(CPwStringC aPath)) { iFreeSpaceKb = aQuery; }

 private:
  friend CSessionExporter* PwNewL<CSessionExporter>(const TExportRequest&);
  CSessionExporter();
  void ConstructL(const TExportRequest& aRequest);

  bool IsLapScope() const { return iRequest.iScope != EExportRoute; }
  // Fills the lap list for the scope and counts the items; returns the number of laps.
  void SelectLaps();
  bool LapQualifies(int32_t aIndex) const;
  // True when the lap list has an optimal lap for KML, building it when it was never built.
  bool HasOptimalLap();
  // The lap whose samples a lap of the list is written from (the trace for the optimal lap).
  const CLap* SampleLap(int32_t aIndex);

  void StartExport();
  void BuildBaseName(CPwString& aBaseName) const;
  void CheckSpace();
  void PrepareTexts();
  void WriteSamples();
  void WriteLap(int32_t aIndex);
  void FinishExport();
  // Hands the line buffer to the file and empties it; leaves KErrCannotOpen once a disk
  // write has failed (a full medium), so a short file is never reported as exported.
  void Flush();
  void CloseFile();

  TExportRequest iRequest;
  CPwString iStorageRoot;
  int32_t iState = ENotStarted;
  PwFileBuffered iFile;
  CPwByteArray iLine;
  CPwString iFilePath;
  CPwString iBaseName;
  CPwString iText1;  // formatted date
  CPwString iText2;  // formatted time
  CPwVector<int32_t> iLapList{8};
  TExportContext iContext;
  std::unique_ptr<CExportWriter> iWriter;

  int32_t iItemCount = 0;
  int32_t iLapCount = 0;
  int32_t iLastLap = -1;
  int32_t iProgressTotal = 0;
  int32_t iProgressCount = 0;
  bool iFinished = false;
  int32_t iNextUnwritten = 0;

  // Texts the writers put into headers, as UTF-8.
  CPwByteArray iScopeText;
  CPwByteArray iDateText;
  CPwByteArray iTimeText;

  int32_t (*iFreeSpaceKb)(CPwStringC aPath) = nullptr;
};
