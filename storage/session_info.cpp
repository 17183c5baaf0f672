#include "storage/session_info.h"

#include <memory>

#include "foundation/file_stream.h"
#include "foundation/paths.h"
#include "strings/pw_strings.h"

namespace {

// Reserved items are written as zero and skipped on reading.
constexpr int32_t KNoteReservedWords = 3;
constexpr int32_t KHeaderReservedWords = 3;
// Tags of the optional blocks behind the notes.
constexpr int32_t KBlockGnssHealth = 0x53534E47;  // "GNSS"

// Int16 items read back as 0..65535.
// Enumerated values are checked as they are read: a value no build writes is damage, and
// passing it on would show the session as something it is not.
int32_t ReadFlag(PwFileStream& aStream) {
  const int32_t flag = aStream.ReadInt16();
  if (flag != 0 && flag != 1) Leave(KErrCorrupt);
  return flag;
}

int32_t ReadSessionType(PwFileStream& aStream) {
  const int32_t type = aStream.ReadInt32();
  if (type != ESessionLapTiming && type != ESessionPerformance && type != ESessionDataLogging) Leave(KErrCorrupt);
  return type;
}

void WriteDateTime(PwFileStream& aStream, const PwDateTime& aTime) {
  aStream.WriteInt32(aTime.iTime.Milliseconds());
  aStream.WriteInt32(aTime.iDate.Milliseconds());
}

PwDateTime ReadDateTime(PwFileStream& aStream) {
  const int32_t time = aStream.ReadInt32();
  const int32_t date = aStream.ReadInt32();
  return PwDateTime(PwTime(date), PwTime(time));
}

// A two-digit (or four-digit) field of an identifier; false unless it is all digits.
bool ParseField(CPwStringC aText, int32_t aPos, int32_t aCount, int32_t& aOut) {
  for (int32_t i = 0; i < aCount; ++i) {
    const char16_t c = aText.CharAt(aPos + i);
    if (c < u'0' || c > u'9') return false;
  }
  return aText.Mid(aPos, aCount).ParseInt(aOut);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void CSessionNote::CopyFrom(const CSessionNote& aOther) {
  if (&aOther == this) return;
  iMarker = aOther.iMarker;
  iSessionTime = aOther.iSessionTime;
  iText.Copy(aOther.iText);
}

void CSessionNote::Clear() {
  iModified = 0;
  iMarker = 0;
  iSessionTime = PwTime(0);
  iText.Reset();
}

// ---------------------------------------------------------------------------------------------

CSessionInfo::CSessionInfo() = default;

CSessionInfo::~CSessionInfo() { DeleteNotes(); }

void CSessionInfo::DeleteNotes() {
  for (CSessionNote* note : iNoteList) delete note;
  iNoteList.Reset();
}

void CSessionInfo::Clear() {
  iReadOnly = 0;
  iIdentifier.Reset();
  iStorageRoot.Reset();
  for (CPwString& text : iTexts) text.Reset();
  iFields = TFields();
  DeleteNotes();
  iModified = 0;
  iNotesLoaded = 1;
}

void CSessionInfo::SetText(CPwString& aField, CPwStringC aText) {
  if (aField.Equals(aText)) return;
  aField.Copy(aText);
  iModified = 1;
}

void CSessionInfo::SetIdentifier(CPwStringC aIdentifier) { iIdentifier.Copy(aIdentifier); }

void CSessionInfo::SetStorageRoot(CPwStringC aRoot) { iStorageRoot.Copy(aRoot); }

void CSessionInfo::SetCreated(const PwDateTime& aTime) {
  if (iFields.iCreated == aTime) return;
  iFields.iCreated = aTime;
  iModified = 1;
}

void CSessionInfo::SetSecondTimeStamp(const PwDateTime& aTime) {
  if (iFields.iSecondStamp == aTime) return;
  iFields.iSecondStamp = aTime;
  iModified = 1;
}

void CSessionInfo::SetLapFigures(PwTime aOptimal, PwTime aBest, int32_t aBestIndex, int32_t aCount) {
  SetTime(iFields.iOptimalLapTime, aOptimal);
  SetTime(iFields.iBestLapTime, aBest);
  SetValue(iFields.iBestLapIndex, aBestIndex);
  SetValue(iFields.iLapCount, aCount);
}

void CSessionInfo::SetRunFigures(PwTime aBest, int32_t aBestIndex, int32_t aCount) {
  SetTime(iFields.iBestRunTime, aBest);
  SetValue(iFields.iBestRunIndex, aBestIndex);
  SetValue(iFields.iRunCount, aCount);
}

void CSessionInfo::SetTrackFigures(int32_t aDistance, int32_t aMinimumSpeed) {
  SetValue(iFields.iDistance, aDistance);
  SetValue(iFields.iMinimumSpeed, aMinimumSpeed);
}

bool CSessionInfo::IsModified() const {
  if (iModified) return true;
  for (const CSessionNote* note : iNoteList)
    if (note->IsModified()) return true;
  return false;
}

void CSessionInfo::DropNotes() {
  DeleteNotes();
  iNotesLoaded = 0;
}

void CSessionInfo::CopyFrom(const CSessionInfo& aOther) {
  if (&aOther == this) return;
  // Any difference marks the session modified.
  SetReadOnly(aOther.IsReadOnly());
  SetText(iIdentifier, aOther.iIdentifier);
  SetText(iStorageRoot, aOther.iStorageRoot);
  for (int32_t i = 0; i < ETextCount; ++i) SetText(iTexts[i], aOther.iTexts[i]);
  if (iFields != aOther.iFields) {
    iFields = aOther.iFields;
    iModified = 1;
  }
}

// --- Identifier and files ---------------------------------------------------------------------

void CSessionInfo::MakeIdentifier() { MakeIdentifier(PwDateTime::NowLocal()); }

void CSessionInfo::MakeIdentifier(const PwDateTime& aLocalNow) {
  CPwString base;
  base.AppendNum(aLocalNow.iDate.Year(), 4);
  base.AppendNum(aLocalNow.iDate.Month(), 2);
  base.AppendNum(aLocalNow.iDate.Day(), 2);
  base.AppendChar(u'-');
  base.AppendNum(aLocalNow.iTime.Hour(), 2);
  base.AppendNum(aLocalNow.iTime.Minute(), 2);
  iIdentifier.Copy(base);
  for (int32_t n = 1; FileExists(); ++n) {
    iIdentifier.Copy(base);
    iIdentifier.AppendChar(u'-');
    iIdentifier.AppendNum(n);
  }
}

void CSessionInfo::FilePath(CPwString& aTarget) const {
  aTarget.Reset();
  MakeFilePath(EFileSession, iStorageRoot, iIdentifier, aTarget);
}

bool CSessionInfo::FileExists() const {
  if (iIdentifier.IsEmpty()) return false;
  CPwString path;
  FilePath(path);
  return ::FileExists(path);
}

// --- Reading ----------------------------------------------------------------------------------

int32_t CSessionInfo::Load(bool aWithNotes, const PwTimeConverter& aConverter) {
  if (iIdentifier.IsEmpty()) return 0;
  int32_t loaded = 0;
  const int32_t code = Trap([&] {
    CPwString path;
    FilePath(path);
    PwFileStream stream;
    stream.SetPath(path);
    if (!stream.OpenRead()) return;
    // Parse into a scratch object so that a file that fails halfway changes nothing here.
    std::unique_ptr<CSessionInfo> scratch(new CSessionInfo);
    scratch->iIdentifier.Copy(iIdentifier);  // old versions take their time stamps from it
    scratch->ReadFrom(stream, aWithNotes, aConverter);
    stream.Close();
    TakeFrom(*scratch);
    loaded = 1;
  });
  if (code != KErrNone) loaded = 0;
  if (loaded) {
    iNotesLoaded = aWithNotes ? 1 : 0;
    iModified = 0;
  } else {
    // What is in memory does not reflect the file: never let it be written over the file.
    DropNotes();
  }
  return loaded;
}

void CSessionInfo::TakeFrom(CSessionInfo& aOther) {
  for (int32_t i = 0; i < ETextCount; ++i) iTexts[i].Copy(aOther.iTexts[i]);
  iFields = aOther.iFields;
  DeleteNotes();
  for (CSessionNote*& note : aOther.iNoteList) {
    iNoteList.Append(note);
    note = nullptr;  // owned here now
  }
  aOther.iNoteList.Reset();
}

void CSessionInfo::ReadFrom(PwFileStream& aStream, bool aWithNotes, const PwTimeConverter& aConverter) {
  const int32_t version = aStream.ReadInt32();
  if (version < 1 || version > KFileVersion) Leave(KErrSessionVersion);
  if (version <= 5) {
    ReadOldVersion(aStream, version, aConverter);
    return;
  }
  iFields.iSaveNmea = ReadFlag(aStream);
  aStream.ReadUtf8Text(iTexts[ETextTrackName]);
  aStream.ReadUtf8Text(iTexts[ETextTitle]);
  aStream.ReadUtf8Text(iTexts[ETextDriver]);
  iFields.iSessionType = ReadSessionType(aStream);
  aStream.ReadUtf8Text(iTexts[ETextTestName]);
  iFields.iRecorded = ReadFlag(aStream);
  iFields.iObdFlag = ReadFlag(aStream);
  iFields.iUseObdSpeed = ReadFlag(aStream);
  iFields.iCreated = ReadDateTime(aStream);
  iFields.iSecondStamp = ReadDateTime(aStream);
  if (version == 6) {
    // Earlier builds stored local time.
    iFields.iCreated = aConverter.LocalToUtc(iFields.iCreated);
    iFields.iSecondStamp = aConverter.LocalToUtc(iFields.iSecondStamp);
  }
  aStream.ReadInt16();
  aStream.ReadUtf8Text(iTexts[ETextNotes]);
  for (int32_t i = 0; i < KHeaderReservedWords; ++i) aStream.ReadInt32();
  if (version >= 8) {
    iFields.iOptimalLapTime = PwTime(aStream.ReadInt32());
    iFields.iBestLapTime = PwTime(aStream.ReadInt32());
    iFields.iBestLapIndex = aStream.ReadInt32();
    iFields.iLapCount = aStream.ReadInt32();
    iFields.iBestRunTime = PwTime(aStream.ReadInt32());
    iFields.iBestRunIndex = aStream.ReadInt32();
    iFields.iRunCount = aStream.ReadInt32();
    iFields.iDistance = aStream.ReadInt32();
    iFields.iMinimumSpeed = aStream.ReadInt32();
  }
  if (aWithNotes) {
    ReadNotes(aStream);
    if (version >= 8) ReadBlocks(aStream);
  } else if (version >= 8) {
    // The blocks lie behind the notes. What they hold is extra: damage there or in the notes,
    // which this reading would otherwise never look at, must not cost the session its entry.
    (void)Trap([&] {
      ReadNotes(aStream, false);
      ReadBlocks(aStream);
    });
  }
}

void CSessionInfo::ReadBlocks(PwFileStream& aStream) {
  // Builds before the blocks stopped after the notes, and so may a damaged file: neither
  // keeps the session from opening, it just has no health figures.
  const int32_t code = Trap([&] {
    while (aStream.Remaining() >= 8) {
      const int32_t tag = aStream.ReadInt32();
      const int32_t bytes = aStream.ReadInt32();
      if (bytes < 0 || bytes > aStream.Remaining()) Leave(KErrCorrupt);
      const int32_t end = aStream.ReadPosition() + bytes;
      if (tag == KBlockGnssHealth) {
        TGnssHealth health;
        health.ReadFrom(aStream);
        if (aStream.ReadPosition() > end) Leave(KErrCorrupt);
        iFields.iGnssHealth = health;
      }
      while (aStream.ReadPosition() < end) aStream.ReadInt8();
    }
  });
  if (code != KErrNone) iFields.iGnssHealth = TGnssHealth();
}

void CSessionInfo::ReadOldVersion(PwFileStream& aStream, int32_t aVersion,
                                  const PwTimeConverter& aConverter) {
  iFields.iSaveNmea = ReadFlag(aStream);
  aStream.ReadText(iTexts[ETextTrackName]);
  aStream.ReadText(iTexts[ETextTitle]);
  if (aVersion >= 2) aStream.ReadText(iTexts[ETextDriver]);
  if (aVersion >= 3) {
    iFields.iSessionType = ReadSessionType(aStream);
    aStream.ReadText(iTexts[ETextTestName]);
  }
  if (aVersion >= 4) iFields.iRecorded = ReadFlag(aStream);
  if (aVersion >= 5) {
    iFields.iObdFlag = ReadFlag(aStream);
    iFields.iUseObdSpeed = ReadFlag(aStream);
  }
  StampsFromIdentifier(aConverter);
}

void CSessionInfo::StampsFromIdentifier(const PwTimeConverter& aConverter) {
  if (iIdentifier.Length() <= 12) return;
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  if (!ParseField(iIdentifier, 0, 4, year) || !ParseField(iIdentifier, 4, 2, month) ||
      !ParseField(iIdentifier, 6, 2, day) || !ParseField(iIdentifier, 9, 2, hour) ||
      !ParseField(iIdentifier, 11, 2, minute))
    return;
  // A name that only looks like a date must not become a nonsense time stamp.
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59) return;
  const PwDateTime utc = aConverter.LocalToUtc(PwDateTime(year, month, day, hour, minute, 0, 0));
  iFields.iCreated = utc;
  iFields.iSecondStamp = utc;
}

void CSessionInfo::ReadNotes(PwFileStream& aStream, bool aKeep) {
  const int32_t count = aStream.ReadInt32();
  // Each note takes at least 20 bytes: a larger count than that is damage.
  if (count > aStream.Remaining() / 20) Leave(KErrCorrupt);
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<CSessionNote> note(new CSessionNote);
    note->SetSessionTime(PwTime(aStream.ReadInt32()));
    note->SetMarker(aStream.ReadInt16());
    aStream.ReadUtf8Text(note->iText);
    for (int32_t w = 0; w < KNoteReservedWords; ++w) aStream.ReadInt32();
    if (!aKeep || !note->IsInUse()) continue;  // empty notes are not kept
    iNoteList.Append(note.get());
    note.release();
  }
}

// --- Writing ----------------------------------------------------------------------------------

void CSessionInfo::WriteTo(PwFileStream& aStream) const {
  aStream.WriteInt32(KFileVersion);
  aStream.WriteInt16(iFields.iSaveNmea);
  aStream.WriteUtf8Text(iTexts[ETextTrackName]);
  aStream.WriteUtf8Text(iTexts[ETextTitle]);
  aStream.WriteUtf8Text(iTexts[ETextDriver]);
  aStream.WriteInt32(iFields.iSessionType);
  aStream.WriteUtf8Text(iTexts[ETextTestName]);
  aStream.WriteInt16(iFields.iRecorded);
  aStream.WriteInt16(iFields.iObdFlag);
  aStream.WriteInt16(iFields.iUseObdSpeed);
  WriteDateTime(aStream, iFields.iCreated);
  WriteDateTime(aStream, iFields.iSecondStamp);
  aStream.WriteInt16(0);
  aStream.WriteUtf8Text(iTexts[ETextNotes]);
  for (int32_t i = 0; i < KHeaderReservedWords; ++i) aStream.WriteInt32(0);
  aStream.WriteInt32(iFields.iOptimalLapTime.Milliseconds());
  aStream.WriteInt32(iFields.iBestLapTime.Milliseconds());
  aStream.WriteInt32(iFields.iBestLapIndex);
  aStream.WriteInt32(iFields.iLapCount);
  aStream.WriteInt32(iFields.iBestRunTime.Milliseconds());
  aStream.WriteInt32(iFields.iBestRunIndex);
  aStream.WriteInt32(iFields.iRunCount);
  aStream.WriteInt32(iFields.iDistance);
  aStream.WriteInt32(iFields.iMinimumSpeed);
  int32_t inUse = 0;
  for (const CSessionNote* note : iNoteList)
    if (note->IsInUse()) ++inUse;
  aStream.WriteInt32(inUse);
  for (const CSessionNote* note : iNoteList) {
    if (!note->IsInUse()) continue;
    aStream.WriteInt32(note->SessionTime().Milliseconds());
    aStream.WriteInt16(note->Marker());
    aStream.WriteUtf8Text(note->Text());
    for (int32_t w = 0; w < KNoteReservedWords; ++w) aStream.WriteInt32(0);
  }
  WriteBlocks(aStream);
}

void CSessionInfo::WriteBlocks(PwFileStream& aStream) const {
  // A session without samples keeps the file earlier builds wrote, byte for byte.
  if (!iFields.iGnssHealth.IsKnown()) return;
  aStream.WriteInt32(KBlockGnssHealth);
  aStream.WriteInt32(TGnssHealth::KStoredBytes);
  iFields.iGnssHealth.WriteTo(aStream);
}

void CSessionInfo::Save() {
  if (!iNotesLoaded || !IsModified()) return;
  // Without a name or a medium there is no file to write.
  if (iIdentifier.IsEmpty() || iStorageRoot.IsEmpty()) Leave(KErrCannotOpen);
  CPwString path;
  FilePath(path);
  PwFileStream stream;
  stream.SetPath(path);
  stream.OpenWrite();
  WriteTo(stream);  // a leave here discards the replacement; the old file stays
  LeaveIfError(stream.Close());
  iModified = 0;
  for (CSessionNote* note : iNoteList) note->SetModified(false);
}

int32_t CSessionInfo::SaveSafely() {
  return Trap([&] { Save(); });
}

void CSessionInfo::StartNew(const CSessionInfo& aChosen, CPwStringC aRoot, const PwDateTime& aUtcNow,
                            const PwDateTime& aLocalNow) {
  SetTitle(aChosen.Title());
  SetSessionType(aChosen.SessionType());
  SetTrackName(aChosen.TrackName());
  SetTestName(aChosen.TestName());
  SetDriver(aChosen.Driver());
  SetNotes(aChosen.Notes());
  SetSaveNmea(aChosen.SaveNmea());
  SetUseObdSpeed(aChosen.UseObdSpeed());
  SetRecorded(1);
  iFields.iCreated = aUtcNow;
  iFields.iSecondStamp = aUtcNow;
  iNotesLoaded = 1;
  MarkModified();
  SetStorageRoot(aRoot);
  MakeIdentifier(aLocalNow);
  Save();
}

void CSessionInfo::StartNew(const CSessionInfo& aChosen, CPwStringC aRoot) {
  StartNew(aChosen, aRoot, PwDateTime::NowUtc(), PwDateTime::NowLocal());
}

// --- Notes ------------------------------------------------------------------------------------

const CSessionNote* CSessionInfo::NoteForRange(PwTime aStart, PwTime aEnd) const {
  const int64_t start = aStart.Milliseconds();
  const int64_t end = aEnd.Milliseconds();
  const int64_t d = end - start > 1 ? 1 : 0;
  for (const CSessionNote* note : iNoteList) {
    const int64_t t = note->SessionTime().Milliseconds();
    if (start + d <= t && t <= end - d) return note;
  }
  return nullptr;
}

void CSessionInfo::EditNote(CSessionNote& aNote, PwTime aLapStart, PwTime aLapEnd) const {
  if (const CSessionNote* existing = NoteForRange(aLapStart, aLapEnd)) {
    aNote.CopyFrom(*existing);
    return;
  }
  aNote.Clear();
  const int64_t middle =
      (static_cast<int64_t>(aLapStart.Milliseconds()) + aLapEnd.Milliseconds() + 1) / 2;
  aNote.SetSessionTime(PwTime(static_cast<int32_t>(middle)));
}

void CSessionInfo::StoreNote(const CSessionNote& aNote) {
  for (int32_t i = 0; i < iNoteList.Count(); ++i) {
    CSessionNote* note = iNoteList.At(i);
    if (note->SessionTime() != aNote.SessionTime()) continue;
    if (!aNote.IsInUse()) {
      delete note;
      iNoteList.Remove(i);
      iModified = 1;
      return;
    }
    if (note->Marker() != aNote.Marker() || !note->Text().Equals(aNote.Text())) {
      note->SetMarker(aNote.Marker());
      note->SetText(aNote.Text());
      note->SetModified(true);
    }
    return;
  }
  if (!aNote.IsInUse()) return;
  std::unique_ptr<CSessionNote> copy(new CSessionNote);
  copy->CopyFrom(aNote);
  copy->SetModified(true);
  iNoteList.Append(copy.get());
  copy.release();
}

void CSessionInfo::SetLapMarker(int32_t aMarker, PwTime aLapStart, PwTime aLapEnd) {
  CSessionNote note;
  EditNote(note, aLapStart, aLapEnd);
  note.SetMarker(aMarker);
  StoreNote(note);
}

// --- Resuming ---------------------------------------------------------------------------------

TResumeCheck CSessionInfo::CheckResume(bool aLoaded, bool aCurrentSamplesVersion,
                                       bool aSamplesComplete, bool aStorageAllows) const {
  if (!aLoaded || IsReadOnly()) return EResumeNotPossible;
  if (!aCurrentSamplesVersion) return EResumeTooOld;
  if (!aSamplesComplete) return EResumeIncomplete;
  if (!aStorageAllows) return EResumeStorageRefused;
  return EResumeAllowed;
}

uint16_t CSessionInfo::ResumeMessage(TResumeCheck aCheck) {
  switch (aCheck) {
    case EResumeNotPossible: return R_SESSION_CANNOT_RESUME;
    case EResumeTooOld: return R_SESSION_FORMAT_TOO_OLD;
    case EResumeIncomplete: return R_SESSION_INCOMPLETE;
    default: return 0;
  }
}

void CSessionInfo::LoadFailureMessage(int32_t aCode, CPwString& aText) {
  if (aCode == KErrNoMemory)
    aText.LoadFromResource(R_MEMORY_FULL);
  else
    aText.FormatN(R_SESSION_LOAD_FAILED, aCode);
}
