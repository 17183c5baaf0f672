// The properties of one stored session (CSessionInfo), its lap and run notes (CSessionNote) and
// the session file "<id>-session.bin" that holds them below the storage root's "Sessions/".
//
// Session file, version 8 (little-endian, PwFileStream items):
//   Int32 version (8) | Int16 save NMEA | Utf8 track | Utf8 title | Utf8 driver
//   Int32 session type | Utf8 test | Int16 recorded | Int16 OBD | Int16 use OBD speed
//   Int32 created time of day, Int32 created date (UTC) | Int32, Int32 second time stamp
//   Int16 reserved 0 | Utf8 notes | 3 x Int32 reserved 0
//   9 x Int32 figures: optimal lap, best lap, best lap index, lap count, best run,
//     best run index, run count, distance, minimum speed
//   Int32 note count | per note: Int32 session time, Int16 marker, Utf8 text, 3 x Int32 0
//   then optional blocks that earlier builds never read: Int32 tag, Int32 byte count, bytes.
//   Tag "GNSS" (0x53534E47) holds the receiver's health (TGnssHealth); it is written only when
//   known, and an unknown tag is skipped.
// Versions 6 and 7 lack the figures; version 6 holds local time stamps. Versions 1 to 5 use
// compact Text strings, hold fewer fields and no time stamps (see ReadOldVersion).
//
// Laps and runs live in the timing library, which is built on top of this one, so the note
// operations take the time range of a lap (start, end) instead of the lap itself.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"
#include "storage/gnss_health.h"

class PwFileStream;

// Session types.
enum TSessionType : int32_t {
  ESessionLapTiming = 0,
  ESessionPerformance = 1,
  ESessionDataLogging = 2,
};

// A note of one lap or run: a marker (the lap list treats nonzero as "invalid lap") and a text.
class CSessionNote : public CPwBase {
 public:
  CSessionNote() = default;

  // A note is kept only while it says something.
  bool IsInUse() const { return iMarker != 0 || !iText.IsEmpty(); }

  int32_t Marker() const { return iMarker; }
  void SetMarker(int32_t aMarker) { iMarker = aMarker & 0xFFFF; }
  PwTime SessionTime() const { return iSessionTime; }
  void SetSessionTime(PwTime aTime) { iSessionTime = aTime; }
  CPwStringC Text() const { return iText; }
  void SetText(CPwStringC aText) { iText.Copy(aText); }
  bool IsModified() const { return iModified != 0; }
  void SetModified(bool aModified) { iModified = aModified ? 1 : 0; }

  // Marker, time and text (not the modified flag).
  void CopyFrom(const CSessionNote& aOther);
  // Marker 0, empty text, time 0, not modified.
  void Clear();

 private:
  friend class CSessionInfo;  // reads the text straight from the file
  int32_t iModified = 0;
  int32_t iMarker = 0;  // 16-bit on disk
  PwTime iSessionTime{0};
  CPwString iText;
};

// Why a stored session cannot be resumed, in the order the checks are made.
enum TResumeCheck : int32_t {
  EResumeAllowed = 0,
  EResumeNotPossible,    // not loaded, or read-only (the example session)
  EResumeTooOld,         // samples file older than the current format
  EResumeIncomplete,     // samples file did not load completely
  EResumeStorageRefused, // the storage check refused (it shows its own message)
};

class CSessionInfo : public CPwBase {
 public:
  static constexpr int32_t KFileVersion = 8;

  CSessionInfo();
  ~CSessionInfo() override;

  // Everything back to the initial values; notes deleted; notes-loaded flag set.
  void Clear();

  // --- Properties. Setters mark the session modified when the value changes.
  bool IsReadOnly() const { return iReadOnly != 0; }
  void SetReadOnly(bool aReadOnly) { iReadOnly = aReadOnly ? 1 : 0; }
  CPwStringC Identifier() const { return iIdentifier; }
  void SetIdentifier(CPwStringC aIdentifier);
  CPwStringC StorageRoot() const { return iStorageRoot; }
  void SetStorageRoot(CPwStringC aRoot);
  CPwStringC Title() const { return iTexts[ETextTitle]; }
  void SetTitle(CPwStringC aText) { SetText(iTexts[ETextTitle], aText); }
  CPwStringC Driver() const { return iTexts[ETextDriver]; }
  void SetDriver(CPwStringC aText) { SetText(iTexts[ETextDriver], aText); }
  CPwStringC TrackName() const { return iTexts[ETextTrackName]; }
  void SetTrackName(CPwStringC aText) { SetText(iTexts[ETextTrackName], aText); }
  CPwStringC TestName() const { return iTexts[ETextTestName]; }
  void SetTestName(CPwStringC aText) { SetText(iTexts[ETextTestName], aText); }
  CPwStringC Notes() const { return iTexts[ETextNotes]; }
  void SetNotes(CPwStringC aText) { SetText(iTexts[ETextNotes], aText); }
  int32_t SaveNmea() const { return iFields.iSaveNmea; }
  void SetSaveNmea(int32_t aFlag) { SetValue(iFields.iSaveNmea, aFlag & 0xFFFF); }
  int32_t SessionType() const { return iFields.iSessionType; }
  void SetSessionType(int32_t aType) { SetValue(iFields.iSessionType, aType); }
  int32_t Recorded() const { return iFields.iRecorded; }
  void SetRecorded(int32_t aFlag) { SetValue(iFields.iRecorded, aFlag & 0xFFFF); }
  int32_t ObdFlag() const { return iFields.iObdFlag; }
  void SetObdFlag(int32_t aFlag) { SetValue(iFields.iObdFlag, aFlag & 0xFFFF); }
  int32_t UseObdSpeed() const { return iFields.iUseObdSpeed; }
  void SetUseObdSpeed(int32_t aFlag) { SetValue(iFields.iUseObdSpeed, aFlag & 0xFFFF); }
  // UTC time stamps.
  const PwDateTime& Created() const { return iFields.iCreated; }
  void SetCreated(const PwDateTime& aTime);
  const PwDateTime& SecondTimeStamp() const { return iFields.iSecondStamp; }
  void SetSecondTimeStamp(const PwDateTime& aTime);

  // --- Summary figures.
  PwTime OptimalLapTime() const { return iFields.iOptimalLapTime; }
  PwTime BestLapTime() const { return iFields.iBestLapTime; }
  int32_t BestLapIndex() const { return iFields.iBestLapIndex; }
  int32_t LapCount() const { return iFields.iLapCount; }
  PwTime BestRunTime() const { return iFields.iBestRunTime; }
  int32_t BestRunIndex() const { return iFields.iBestRunIndex; }
  int32_t RunCount() const { return iFields.iRunCount; }
  // Arc units of TPositionPlot; KUnset when not known.
  int32_t Distance() const { return iFields.iDistance; }
  int32_t MinimumSpeed() const { return iFields.iMinimumSpeed; }
  void SetLapFigures(PwTime aOptimal, PwTime aBest, int32_t aBestIndex, int32_t aCount);
  void SetRunFigures(PwTime aBest, int32_t aBestIndex, int32_t aCount);
  void SetTrackFigures(int32_t aDistance, int32_t aMinimumSpeed);
  // How the GPS receiver did; not known for sessions stored before it was kept.
  const TGnssHealth& GnssHealth() const { return iFields.iGnssHealth; }
  void SetGnssHealth(const TGnssHealth& aHealth) {
    if (aHealth == iFields.iGnssHealth) return;
    iFields.iGnssHealth = aHealth;
    iModified = 1;
  }

  // --- Modification state.
  void MarkModified() { iModified = 1; }
  // The session's own flag or any note's.
  bool IsModified() const;
  bool NotesLoaded() const { return iNotesLoaded != 0; }
  // Deletes the notes and clears the notes-loaded flag: this object can no longer be saved.
  void DropNotes();

  // Copies every property, time stamp and figure (identifier, storage root and read-only
  // flag included; notes are not copied), marking the session modified when anything differs.
  void CopyFrom(const CSessionInfo& aOther);

  // --- Identifier and files.
  // Identifier from the local clock ("20070101-1200"), made unique on the storage root by
  // appending "-1", "-2" ... while a session file of that name exists.
  void MakeIdentifier();
  void MakeIdentifier(const PwDateTime& aLocalNow);
  // Path of the session file (kind 0) for the identifier on the storage root.
  void FilePath(CPwString& aTarget) const;
  bool FileExists() const;

  // Reads the session file. 0 when the identifier is empty or the file cannot be opened or
  // read (a version outside 1-8, a cut-off or damaged file); this object then keeps its
  // previous content but is no longer savable, so an unreadable file is never overwritten
  // by what little was understood of it. 1 on success; the notes are read only when asked
  // for, and the notes-loaded flag takes the value of aWithNotes.
  int32_t Load(bool aWithNotes, const PwTimeConverter& aConverter);
  // Writes the file (version 8) when the notes are loaded and something is modified; then
  // clears every modified flag. Leaves KErrCannotOpen when the file cannot be written (the
  // previous file is kept and the flags stay set, so a later save tries again).
  void Save();
  // Save under a trap: the leave code, or 0.
  int32_t SaveSafely();

  // Writes / reads the file content (tests and the loader share these).
  void WriteTo(PwFileStream& aStream) const;
  void ReadFrom(PwFileStream& aStream, bool aWithNotes, const PwTimeConverter& aConverter);

  // Creating a new recorded session from the properties chosen in the session editor: copies
  // title, type, track, test, driver, notes, save-NMEA and use-OBD-speed flags (recorded 1),
  // sets both time stamps to aUtcNow, marks modified, makes the identifier from aLocalNow on
  // aRoot and saves. The caller creates the samples file next.
  void StartNew(const CSessionInfo& aChosen, CPwStringC aRoot, const PwDateTime& aUtcNow,
                const PwDateTime& aLocalNow);
  // The same with the machine's clock.
  void StartNew(const CSessionInfo& aChosen, CPwStringC aRoot);

  // --- Notes.
  int32_t NoteCount() const { return iNoteList.Count(); }
  const CSessionNote& NoteAt(int32_t aIndex) const { return *iNoteList.At(aIndex); }
  // The first note whose session time t has aStart + d <= t <= aEnd - d, with d = 1 when
  // aEnd - aStart > 1, else 0. Null when there is none.
  const CSessionNote* NoteForRange(PwTime aStart, PwTime aEnd) const;
  // A lap's note is the one in its time range.
  const CSessionNote* NoteForLap(PwTime aLapStart, PwTime aLapEnd) const {
    return NoteForRange(aLapStart, aLapEnd);
  }
  // Fills aNote from the lap's note, or clears it and places it in the middle of the lap.
  void EditNote(CSessionNote& aNote, PwTime aLapStart, PwTime aLapEnd) const;
  // Replaces the note of the same session time (or deletes it when aNote is not in use),
  // or appends a copy of aNote when it is in use and new.
  void StoreNote(const CSessionNote& aNote);
  // Stores the lap's note with the marker (its text kept). The caller sets the same marker on
  // the lap itself.
  void SetLapMarker(int32_t aMarker, PwTime aLapStart, PwTime aLapEnd);

  // --- Resuming. Checks in order whether recording may continue into this stored session:
  // loaded and not read-only, samples file of the current format, samples file complete, and
  // the storage check (aStorageAllows). The confirmation question is the caller's.
  TResumeCheck CheckResume(bool aLoaded, bool aCurrentSamplesVersion, bool aSamplesComplete,
                           bool aStorageAllows) const;
  // The string-table entry telling the user why (0 for EResumeAllowed and for the storage
  // check, which shows its own message).
  static uint16_t ResumeMessage(TResumeCheck aCheck);
  // The message after a failed load: "Memory full." for KErrNoMemory, else the error number.
  static void LoadFailureMessage(int32_t aCode, CPwString& aText);

 private:
  void SetText(CPwString& aField, CPwStringC aText);
  void SetValue(int32_t& aField, int32_t aValue) {
    if (aField != aValue) {
      aField = aValue;
      iModified = 1;
    }
  }
  void SetTime(PwTime& aField, PwTime aValue) {
    if (aField != aValue) {
      aField = aValue;
      iModified = 1;
    }
  }
  void DeleteNotes();
  // Version 1-5 files carry no time stamps: they are taken from an identifier of the form
  // yyyymmdd-hhmm, read as local time.
  void StampsFromIdentifier(const PwTimeConverter& aConverter);
  void ReadOldVersion(PwFileStream& aStream, int32_t aVersion, const PwTimeConverter& aConverter);
  void ReadNotes(PwFileStream& aStream, bool aKeep = true);
  // The optional blocks after the notes.
  void ReadBlocks(PwFileStream& aStream);
  void WriteBlocks(PwFileStream& aStream) const;
  // Takes over the content and the notes of aOther (which is left without notes).
  void TakeFrom(CSessionInfo& aOther);

  // The stored plain fields with their initial values: copying is an assignment, clearing a
  // reset. Only ReadFrom, ReadOldVersion and WriteTo name them one by one.
  struct TFields {
    int32_t iSaveNmea = 0;
    int32_t iSessionType = ESessionLapTiming;
    int32_t iRecorded = 1;
    int32_t iObdFlag = 0;
    int32_t iUseObdSpeed = 0;
    PwDateTime iCreated;
    PwDateTime iSecondStamp;
    PwTime iOptimalLapTime = PwTime::Unset();
    PwTime iBestLapTime = PwTime::Unset();
    int32_t iBestLapIndex = -1;
    int32_t iLapCount = -1;
    PwTime iBestRunTime = PwTime::Unset();
    int32_t iBestRunIndex = -1;
    int32_t iRunCount = -1;
    int32_t iDistance = PwTime::KUnset;
    int32_t iMinimumSpeed = PwTime::KUnset;
    TGnssHealth iGnssHealth;
    friend bool operator==(const TFields&, const TFields&) = default;
  };
  // The stored texts, copied slot by slot.
  enum TText : int32_t { ETextTitle, ETextDriver, ETextTrackName, ETextTestName, ETextNotes, ETextCount };

  int32_t iReadOnly = 0;
  CPwString iIdentifier;
  CPwString iStorageRoot;
  CPwString iTexts[ETextCount];
  TFields iFields;
  CPwVector<CSessionNote*> iNoteList{8};
  int32_t iModified = 0;
  int32_t iNotesLoaded = 1;
};
