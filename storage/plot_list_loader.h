// Reads a samples file into a CPlotList in short steps (64 KiB, or 2000 records of the older
// formats, per step), so that a worker can show progress and the program stays responsive.
// A torn or corrupt tail ends the load early without failing it: what precedes it is kept.
// A read error is not the end of the file: it fails the load.
#pragma once

#include <cstdint>

#include "foundation/pw_byte_array.h"
#include "foundation/pw_file.h"
#include "foundation/pw_string.h"
#include "foundation/worker.h"

class CPlotList;
class PwTimeConverter;

class CPlotListLoader : public CWorker {
 public:
  enum TState : int32_t { ENotStarted = 0, EReading = 1, EComplete = 2, EIncomplete = 3, EFailed = 4 };

  // Leave codes.
  static constexpr int32_t KErrOpen = 1;        // the file cannot be opened
  static constexpr int32_t KErrShort = 2;       // shorter than the 16-byte header
  static constexpr int32_t KErrVersion = 6;     // a version this program cannot read
  static constexpr int32_t KErrRead = 7;        // reading failed part way (state EFailed)

  static constexpr int32_t KPortionBytes = 65536;
  static constexpr int32_t KPortionRecords = 2000;
  static constexpr uint32_t KFirstNonVersion = 101;

  // Reads the file at aPath into aList (neither owned; the list owns the loader). aConverter
  // may be null: local times of older records are then kept as they are.
  CPlotListLoader(CPlotList& aList, const PwTimeConverter* aConverter, CPwStringC aPath);
  ~CPlotListLoader() override;

  // CWorker.
  int32_t Step() override;
  void Cancel() override;
  // The file size (version 3) or the number of records (older versions), and how far the load
  // has come in the same unit.
  int32_t ProgressTotal() override { return iTotal; }
  int32_t ProgressValue() override { return iProgress; }

  int32_t State() const { return iState; }
  // Version of the file, -1 before the first step.
  int32_t Version() const { return iVersion; }
  // File offset just after the last whole record read.
  int64_t EndOffset() const { return iOffset; }
  // The loaded part ended on a record that was cut off (as opposed to an invalid head).
  bool EndedTorn() const { return iTorn; }

  // Whether the samples file at aPath would load whole: it opens, has its header, and every
  // record of it is in step and complete. Walks the record heads only, so a catalogue can ask
  // it of every session without loading their samples.
  static bool IsWhole(CPwStringC aPath);

 private:
  void Open();
  // Ends the load as failed after a read error. Leaves KErrRead.
  [[noreturn]] void FailReadL();
  // One portion of each format; true while there is more.
  bool ReadPortion();
  bool ReadOldPortion();
  // Converts the records in iBuffer[0, aLength) and returns how many bytes they took;
  // sets iCorrupt on an invalid head.
  int32_t ConvertRecords(const uint8_t* aData, int32_t aLength);
  void ConvertRecord(uint8_t aType, const uint8_t* aPayload, int32_t aLength);
  // False when the record holds a position off the globe (the file is damaged).
  bool ConvertOldRecord(const uint8_t* aRecord);
  // A position from an older record: bearing from the previous loaded position, no HDOP or
  // VDOP; aComputeDistance recomputes the distance as when recording.
  void AppendOldPosition(int32_t aTime, int32_t aLatitude, int32_t aLongitude, int32_t aSpeed,
                         int32_t aAltitude, int32_t aDistance, int32_t aSatellites,
                         bool aZeroMarksGap, bool aComputeDistance);
  void Finish(int32_t aState);

  CPlotList& iList;
  const PwTimeConverter* iConverter = nullptr;
  CPwString iPath;
  CPwFile iFile;
  CPwByteArray iBuffer;
  int32_t iState = ENotStarted;
  int32_t iVersion = -1;
  int32_t iRecordSize = 0;  // older versions: 16 or 24 bytes
  int64_t iOffset = 0;      // file offset of the next unread byte
  int32_t iTotal = 0;
  int32_t iProgress = 0;
  bool iCorrupt = false;
  bool iTorn = false;
};
