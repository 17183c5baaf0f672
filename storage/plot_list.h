// All samples of one session (positions, OBD values, data-logger records, the calendar time
// table) and their file "<id>-plots.bin". Every sample is appended to memory and written to
// the file at once, through a 10240-byte buffer that is forced to the medium at least every
// 20480 bytes; while recording, a timer of the track session also hands the buffer to the
// system every half second and forces it to the medium every few seconds, so a crash or a flat
// battery costs at most that much of a recording however slowly samples come.
//
// Samples file, version 3 (little-endian):
//   header, 16 bytes: Int32 version (3), three Int32 reserved (0)
//   records back to back: UInt8 payload length (1-127), UInt8 type (0-31), payload
//     type 1 (7 bytes)  OBD value: Int32 time, UInt16 raw value, UInt8 PID
//     type 2 (9 bytes)  OBD value above 65535: Int32 time, UInt32 raw value, UInt8 PID
//     type 3 (12 bytes) resume item, local time (older files): Int32 time, Int32 date,
//                       Int32 local time of day
//     type 4 (12 bytes) resume item: Int32 time, Int32 date code, Int32 UTC time of day
//     type 5 (31 bytes) position: Int32 time, latitude, longitude, speed, altitude,
//                       distance; UInt16 bearing, HDOP, VDOP; UInt8 satellites
//     type 8 (6 + 2n)   logger record: Int32 time, UInt16 channel mask, Int16 per channel
//     type 0 (25 bytes) position of earlier builds: Int32 time, latitude, longitude, speed,
//                       altitude, distance; UInt8 satellites
//   Unknown types are skipped by their length. Versions 0 to 2 are read by CPlotListLoader.
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/geodesy.h"
#include "foundation/pw_base.h"
#include "foundation/pw_file.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"
#include "storage/data_logger_plot_list.h"
#include "storage/obd_plot_list.h"
#include "storage/position_plot_list.h"
#include "storage/resume_list.h"

class CObdChannelList;
class CPlotListLoader;
class PwTimeConverter;

// The 16-byte header of a samples file.
struct TPlotFileHeader {
  int32_t iVersion = 0;
  int32_t iReserved[3] = {0, 0, 0};
};

// Record types of the samples file.
enum TPlotRecordType : uint8_t {
  EPlotRecordOldPosition = 0,
  EPlotRecordObd = 1,
  EPlotRecordObdLong = 2,
  EPlotRecordResumeLocal = 3,
  EPlotRecordResume = 4,
  EPlotRecordPosition = 5,
  EPlotRecordLogger = 8,
};

class CPlotList : public CPwBase {
 public:
  static constexpr int32_t KCurrentVersion = 3;
  static constexpr int32_t KHeaderBytes = 16;
  static constexpr int32_t KWriteBufferBytes = 10240;
  static constexpr int32_t KSyncIntervalBytes = 20480;
  // Payload lengths of the fixed-size records.
  static constexpr int32_t KObdPayload = 7;
  static constexpr int32_t KObdLongPayload = 9;
  static constexpr int32_t KResumePayload = 12;
  static constexpr int32_t KPositionPayload = 31;
  static constexpr int32_t KOldPositionPayload = 25;

  // aObdChannels (not owned, may be null) defines the OBD parameters that can be kept.
  static CPlotList* NewL(const CObdChannelList* aObdChannels);
  ~CPlotList() override;

  // --- The file ---
  // Sets the path to the session's samples file below aStorageRoot, creates it (replacing a
  // file of that name) with the version-3 header and closes it. Leaves KErrCannotOpen.
  void CreateFile(CPwStringC aBaseName, CPwStringC aStorageRoot);
  // (Re)opens the file for appending. The file is left closed (recording continues in memory
  // only) when it does not end where this list knows its last record ends: after a failed
  // write, or after a load that found a torn or corrupt tail, appending would bury every new
  // record behind the broken one. Leaves KErrCannotOpen.
  // Forgets the last calendar date, so the first dated sample after it writes a resume item.
  // A recording keeps the default sync interval, so a crash loses little. An import can be
  // run again from its source files, so it passes KSyncAtClose and a large buffer: one forced
  // flush when the file is closed instead of one every 20480 bytes.
  static constexpr int32_t KSyncAtClose = 0;
  static constexpr int32_t KImportBufferBytes = 256 * 1024;
  void OpenForAppend(int32_t aBufferBytes = KWriteBufferBytes,
                     int32_t aSyncIntervalBytes = KSyncIntervalBytes);
  // Flushes to the medium and closes.
  void CloseFile();
  // While recording, on a timer: HandOverFile gives what waits in the buffer to the operating
  // system (a killed process then loses none of it), SyncFile also forces everything written
  // so far to the medium (a power cut then loses none of it). Nothing happens when nothing is
  // waiting. A failed write closes the file as any failed write does.
  void HandOverFile();
  void SyncFile();
  // The next dated sample begins a trace segment tied to the calendar again, as after a
  // resume (the device came back after a loss of connection).
  void BeginSegment() {
    iLastDate = PwTime::Unset();
    iResumed = iPositions.Count() > 0;
  }
  bool IsFileOpen() const { return iFile->IsOpen(); }
  CPwStringC Path() const { return iPath; }
  // Bytes accepted since the last forced flush: what a crash could lose now.
  int32_t UnsyncedBytes() const { return iFile->BytesSinceSync(); }

  const TPlotFileHeader& Header() const { return iHeader; }
  void SetHeader(const TPlotFileHeader& aHeader) { iHeader = aHeader; }
  // The header's version is 3: only such sessions can be resumed.
  bool IsCurrentVersion() const { return iHeader.iVersion == KCurrentVersion; }
  // The last load read the whole file cleanly.
  bool IsComplete() const { return iComplete; }

  // --- Loading ---
  // Drops a previous loader and the samples in memory, sets the path and returns a loader for
  // the file (owned by this list until FinishLoading or destruction), to be run by a worker.
  // aConverter (not owned) turns local times of older records into UTC; it may be null.
  CPlotListLoader* StartLoading(const PwTimeConverter* aConverter, CPwStringC aBaseName,
                                CPwStringC aStorageRoot);
  CPlotListLoader* Loader() const { return iLoader.get(); }
  // Takes the loader's result and deletes it, and continues every time line and the running
  // distance after the loaded samples, so that appending carries on seamlessly.
  void FinishLoading();

  // --- Appending ---
  // A GPS epoch (the arguments of MParsedDataObserver::PositionParsed). Rejects a sample
  // without coordinates or whose time repeats; with aFileOnly set the sample is written but
  // not kept in memory. Returns 1 if stored.
  int32_t AddPosition(TCoordinate aLatitude, TCoordinate aLongitude, int32_t aTimeOfDay,
                      TDistance aAltitude, TSpeed aSpeed, double aBearingDegrees, double aHdop,
                      double aVdop, int32_t aSatellites, int32_t aDifferential,
                      int32_t aDiscontinuity, int32_t aDate, int32_t aUtcTime, int32_t aFileOnly);
  // An OBD value; 0 if the parameter is unknown or the time rejected.
  int32_t AddObdValue(int32_t aTimeOfDay, int32_t aPid, uint32_t aRawValue, int32_t aFileOnly);
  // A data-logger record; 0 if the time is rejected.
  int32_t AddLoggerRecord(int32_t aTimeOfDay, const TDataLoggerRecord& aRecord, int32_t aFileOnly);
  // Ties a session time to a UTC date and time; ignored if any of them is unset.
  void AddResumeItem(PwTime aSessionTime, PwTime aDate, PwTime aTime);

  // --- The lists ---
  CPositionPlotList& PositionList() { return iPositions; }
  const CPositionPlotList& PositionList() const { return iPositions; }
  CObdPlotList& ObdList() { return *iObd; }
  const CObdPlotList& ObdList() const { return *iObd; }
  CDataLoggerPlotList& LoggerList() { return *iLogger; }
  const CDataLoggerPlotList& LoggerList() const { return *iLogger; }
  CResumeList& ResumeList() { return iResume; }
  const CResumeList& ResumeList() const { return iResume; }
  // The largest session time of any list.
  PwTime SessionMax() const { return iSessionMax; }

  // Empties every list and time line (the file is not touched).
  void ResetSamples();

 private:
  CPlotList() = default;
  void ConstructL(const CObdChannelList* aObdChannels);
  void SetPath(CPwStringC aBaseName, CPwStringC aStorageRoot);
  // Writes one record (head and payload) when the file is open.
  void WriteRecord(const uint8_t* aRecord, int32_t aLength);

  CPwString iPath;
  std::unique_ptr<PwFileBuffered> iFile;
  TPlotFileHeader iHeader;
  CPositionPlotList iPositions;
  std::unique_ptr<CObdPlotList> iObd;
  std::unique_ptr<CDataLoggerPlotList> iLogger;
  CResumeList iResume;
  std::unique_ptr<CPlotListLoader> iLoader;
  bool iComplete = false;
  PwTime iSessionMax{0};
  PwTime iLastDate = PwTime::Unset();
  PwTime iLastTimeOfDay = PwTime::Unset();
  // Recording resumed on a list that holds samples; cleared by the next calendar item.
  bool iResumed = false;
  // Where the last whole record ends in the file as this list wrote or loaded it; -1 when
  // unknown (a write failed or the load ended early), which rules out appending.
  int64_t iFileEnd = -1;
};
