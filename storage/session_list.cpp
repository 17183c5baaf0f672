#include "storage/session_list.h"

#include "foundation/drives.h"
#include "foundation/file_browser.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"

// --- Filter view ------------------------------------------------------------------------------

CSessionInfo* CSessionFilterList::Selected() const {
  if (iSelected < 0 || iSelected >= iEntries.Count()) return nullptr;
  return iEntries.At(iSelected);
}

void CSessionFilterList::ClampSelection() {
  if (iAllowNone) {
    if (iSelected < -1) iSelected = -1;
  } else if (iSelected < 0) {
    iSelected = 0;
  }
}

void CSessionFilterList::SetSelectedIndex(int32_t aIndex) {
  iSelected = aIndex;
  ClampSelection();
}

void CSessionFilterList::Forget() {
  iEntries.Reset();
}

void CSessionFilterList::SetTrackFilter(CPwStringC aTrackName, CPwStringC aExcludedId,
                                        CPwStringC aExcludedRoot, bool aAllowNone,
                                        const CSessionList& aCatalogue) {
  SetFilter(aTrackName, CPwStringC(), aExcludedId, aExcludedRoot, aAllowNone, aCatalogue);
}

void CSessionFilterList::SetTestFilter(CPwStringC aTestName, CPwStringC aExcludedId,
                                       CPwStringC aExcludedRoot, bool aAllowNone,
                                       const CSessionList& aCatalogue) {
  SetFilter(CPwStringC(), aTestName, aExcludedId, aExcludedRoot, aAllowNone, aCatalogue);
}

void CSessionFilterList::ClearFilter(const CSessionList& aCatalogue) {
  SetTrackFilter(CPwStringC(), CPwStringC(), CPwStringC(), false, aCatalogue);
}

void CSessionFilterList::SetFilter(CPwStringC aTrackName, CPwStringC aTestName,
                                   CPwStringC aExcludedId, CPwStringC aExcludedRoot,
                                   bool aAllowNone, const CSessionList& aCatalogue) {
  // The same filter again keeps the user's selection. The exclusion counts too: a filter for
  // the same track but another open session must not go on hiding the previous one.
  if (iActive && iTrackName.Equals(aTrackName) && iTestName.Equals(aTestName) &&
      iExcludedId.Equals(aExcludedId) && iExcludedRoot.Equals(aExcludedRoot) &&
      iAllowNone == aAllowNone)
    return;
  iTrackName.Copy(aTrackName);
  iTestName.Copy(aTestName);
  iExcludedId.Copy(aExcludedId);
  iExcludedRoot.Copy(aExcludedRoot);
  iAllowNone = aAllowNone;
  iActive = true;
  iSelected = aAllowNone ? -1 : 0;
  iEntries.Reset();  // nothing to remember: the selection starts afresh
  Rebuild(aCatalogue);
}

bool CSessionFilterList::Includes(const CSessionInfo& aEntry) const {
  const bool excluded = !iExcludedId.IsEmpty() && iExcludedId.Equals(aEntry.Identifier()) &&
                        !iExcludedRoot.IsEmpty() && iExcludedRoot.Equals(aEntry.StorageRoot());
  if (excluded) return false;
  if (iTrackName.IsEmpty() && iTestName.IsEmpty()) return true;
  if (aEntry.SessionType() == ESessionLapTiming && iTrackName.Equals(aEntry.TrackName()))
    return true;
  return aEntry.SessionType() == ESessionPerformance && iTestName.Equals(aEntry.TestName());
}

void CSessionFilterList::Rebuild(const CSessionList& aCatalogue) {
  const CSessionInfo* remembered = Selected();
  iEntries.Reset();
  int32_t position = -1;
  for (int32_t i = 0; i < aCatalogue.Count(); ++i) {
    CSessionInfo* entry = aCatalogue.At(i);
    if (!Includes(*entry)) continue;
    if (entry == remembered) position = iEntries.Count();
    iEntries.Append(entry);
  }
  // With nothing selected (allowed when none may be chosen) the view keeps no selection.
  if (remembered)
    iSelected = position >= 0 ? position : 0;
  else if (!(iAllowNone && iSelected == -1))
    iSelected = 0;
  ClampSelection();
}

// --- Catalogue --------------------------------------------------------------------------------

CSessionList::CSessionList(const CPwDrives& aDrives) : iDrives(aDrives) {}

CSessionList::~CSessionList() {
  iFilter.Forget();
  ResetEntries();
}

void CSessionList::ResetEntries() {
  iFilter.Forget();
  for (CSessionInfo* entry : iEntries) delete entry;
  iEntries.Reset();
  for (CSessionInfo* entry : iDamaged) delete entry;
  iDamaged.Reset();
}

int CSessionList::CompareEntries(CSessionInfo* const& a, CSessionInfo* const& b) {
  const int32_t byId = a->Identifier().Compare(b->Identifier());
  if (byId != 0) return byId;
  return b->StorageRoot().Compare(a->StorageRoot());
}

void CSessionList::ExampleRoot(CPwString& aRoot) {
  aRoot.Reset();
  InstallFolder(aRoot);
  if (aRoot.IsEmpty()) return;
  aRoot.Append(u"examples/");
}

void CSessionList::Refresh() {
  CPwStringList roots;
  for (int32_t i = 0; i < iDrives.Count(); ++i) {
    const CPwDriveInfo& drive = iDrives.At(i);
    if (drive.MediumId() != 0) roots.AppendCopy(drive.RootPath());
  }
  RefreshRoots(roots);
}

void CSessionList::RefreshRoots(const CPwStringList& aRoots) {
  ResetEntries();
  for (int32_t i = 0; i < aRoots.Count(); ++i) ScanRoot(aRoots.At(i));
  CPwString example;
  ExampleRoot(example);
  if (!example.IsEmpty()) AddLoaded(KExampleIdentifier, example, true);
  iEntries.Sort(1);
  iDamaged.Sort(1);
  iFilter.Rebuild(*this);
}

void CSessionList::ScanRoot(CPwStringC aRoot) {
  CPwFileBrowser browser;
  browser.ListKind(EFileSession, aRoot);
  CPwString identifier;
  bool isFolder = false;
  while (browser.Next(identifier, isFolder)) {
    if (identifier.IsEmpty()) continue;
    AddLoaded(identifier, aRoot, false);
  }
}

void CSessionList::AddLoaded(CPwStringC aIdentifier, CPwStringC aRoot, bool aReadOnly) {
  std::unique_ptr<CSessionInfo> entry(new CSessionInfo);
  entry->SetIdentifier(aIdentifier);
  entry->SetStorageRoot(aRoot);
  entry->SetReadOnly(aReadOnly);
  if (!entry->Load(false, iConverter)) {
    // A session file cut short or overwritten is still the user's data: it is kept in view.
    if (entry->FileExists()) {
      iDamaged.Append(entry.get());
      entry.release();
    }
    return;
  }
  iEntries.Append(entry.get());
  entry.release();
}

int32_t CSessionList::IndexOf(CPwStringC aIdentifier, CPwStringC aRoot) const {
  for (int32_t i = 0; i < iEntries.Count(); ++i) {
    const CSessionInfo* entry = iEntries.At(i);
    if (entry->Identifier().Equals(aIdentifier) && entry->StorageRoot().Equals(aRoot)) return i;
  }
  return -1;
}

void CSessionList::Add(const CSessionInfo& aSession) {
  std::unique_ptr<CSessionInfo> entry(new CSessionInfo);
  entry->CopyFrom(aSession);
  entry->DropNotes();  // catalogue entries are for listing only
  iEntries.Insert(entry.get(), 0);
  entry.release();
  iFilter.Rebuild(*this);
  iFilter.SetSelectedIndex(0);
}

int32_t CSessionList::Update(const CSessionInfo& aSession) {
  const int32_t index = IndexOf(aSession.Identifier(), aSession.StorageRoot());
  if (index < 0) return 0;
  iEntries.At(index)->CopyFrom(aSession);
  iFilter.Rebuild(*this);
  return 1;
}

void CSessionList::Remove(const CSessionInfo& aSession) {
  const int32_t index = IndexOf(aSession.Identifier(), aSession.StorageRoot());
  if (index < 0) return;
  CSessionInfo* entry = iEntries.At(index);
  // The shipped example is read-only: it disappears from the list but stays installed.
  if (!entry->IsReadOnly()) {
    CPwString path;
    for (int32_t kind : {EFileSession, EFilePlots, EFileNmea}) {
      path.Reset();
      MakeFilePath(kind, entry->StorageRoot(), entry->Identifier(), path);
      DeleteFile(path);
    }
  }
  // The view must not remember an entry that is about to be deleted.
  if (iFilter.Selected() == entry) iFilter.Forget();
  iEntries.Remove(index);
  delete entry;
  iFilter.Rebuild(*this);
}

int32_t CSessionList::CountTrackUses(CPwStringC aTrackName) const {
  int32_t count = 0;
  for (const CSessionInfo* entry : iEntries)
    if (entry->SessionType() == ESessionLapTiming && entry->TrackName().Equals(aTrackName)) ++count;
  return count;
}

void CSessionList::RenameTrack(CPwStringC aOldName, CPwStringC aNewName) {
  if (aOldName.Equals(aNewName)) return;
  // aOldName may be a view into an entry that is about to change.
  CPwString oldName(aOldName);
  CPwString newName(aNewName);
  for (CSessionInfo* entry : iEntries) {
    if (!entry->TrackName().Equals(oldName) || entry->IsReadOnly()) continue;
    // A session whose file cannot be read again is left alone (Load makes it unsavable), and
    // one that cannot be rewritten keeps showing the name its file still holds.
    if (entry->Load(true, iConverter)) {
      entry->SetTrackName(newName);
      entry->MarkModified();
      if (entry->SaveSafely() != KErrNone) entry->SetTrackName(oldName);
    }
    entry->DropNotes();
  }
  iFilter.Rebuild(*this);
}
