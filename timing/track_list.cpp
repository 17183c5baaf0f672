#include "timing/track_list.h"

#include <memory>

#include "foundation/drives.h"
#include "foundation/file_browser.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"

CTrackList::CTrackList(const CSettings& aSettings, const CPwDrives& aDrives)
    : iSettings(aSettings), iDrives(aDrives) {
  ExampleRoot(iExampleRoot);
}

CTrackList::~CTrackList() { ResetTracks(); }

void CTrackList::ResetTracks() {
  for (CTrackProfile* track : iTracks) delete track;
  iTracks.Reset();
  for (CTrackProfile* track : iDamaged) delete track;
  iDamaged.Reset();
}

void CTrackList::ExampleRoot(CPwString& aRoot) {
  CPwString install;
  InstallFolder(install);
  aRoot.Copy(install);
  if (!install.IsEmpty()) aRoot.Append(u"examples/");
}

int CTrackList::Compare(CTrackProfile* const& a, CTrackProfile* const& b) {
  const int32_t byName = a->Name().CompareNoCase(b->Name());
  if (byName != 0) return byName;
  return a->Folder().Compare(b->Folder());
}

// --- Listing -------------------------------------------------------------------------------

void CTrackList::Refresh() {
  CPwStringList others;
  for (int32_t i = 0; i < iDrives.Count(); ++i) {
    const CPwDriveInfo& drive = iDrives.At(i);
    if (drive.MediumId() != 0 && drive.IsPresent()) others.AppendCopy(drive.RootPath());
  }
  CPwString example;
  ExampleRoot(example);
  RefreshRoots(iSettings.CurrentStorageRoot(), others, example);
}

void CTrackList::RefreshRoots(CPwStringC aPrimary, const CPwStringList& aOthers, CPwStringC aExampleRoot) {
  ResetTracks();
  iExampleRoot.Copy(aExampleRoot);
  if (!aPrimary.IsEmpty()) ScanRoot(aPrimary);
  for (int32_t i = 0; i < aOthers.Count(); ++i)
    if (!aOthers.At(i).Equals(aPrimary)) ScanRoot(aOthers.At(i));
  // Media come first, so a user's own track of the example's name wins.
  if (!aExampleRoot.IsEmpty()) AddHeader(KExampleTrackName, aExampleRoot);
  iTracks.Sort();
  iDamaged.Sort();
  ClampCursor();
}

void CTrackList::ScanRoot(CPwStringC aRoot) {
  CPwFileBrowser browser;
  browser.ListKind(EFileTrack, aRoot);
  CPwString name;
  bool isFolder = false;
  while (browser.Next(name, isFolder))
    if (!name.IsEmpty()) AddHeader(name, aRoot);
}

void CTrackList::AddHeader(CPwStringC aName, CPwStringC aRoot) {
  std::unique_ptr<CTrackProfile> track(new CTrackProfile);
  track->SetName(aName);
  track->SetFolder(aRoot);
  // A header alone says nothing of the traps after it: a cut file would list its trap count
  // and then time nothing.
  if (!track->Load(true)) {
    // Only a file that is there is damaged; an example that was never installed is not.
    CPwString path;
    track->FilePath(path);
    if (!FileExists(path)) return;
    iDamaged.Append(track.get());
    track.release();
    return;
  }
  if (Exists(aName)) return;
  track->DropTraps();
  iTracks.Append(track.get());
  track.release();
}

// --- Lookup --------------------------------------------------------------------------------

CTrackProfile* CTrackList::Current() const {
  if (static_cast<uint32_t>(iCurrent) >= static_cast<uint32_t>(iTracks.Count())) return nullptr;
  return iTracks.At(iCurrent);
}

int32_t CTrackList::SelectByName(CPwStringC aName) {
  for (int32_t i = 0; i < iTracks.Count(); ++i) {
    if (iTracks.At(i)->Name().Equals(aName)) {
      iCurrent = i;
      return 1;
    }
  }
  return 0;
}

int32_t CTrackList::Find(CPwStringC aName) const {
  for (int32_t i = 0; i < iTracks.Count(); ++i)
    if (iTracks.At(i)->Name().CompareNoCase(aName) == 0) return i;
  return -1;
}

bool CTrackList::Exists(CPwStringC aName) const { return Find(aName) >= 0; }

int32_t CTrackList::LoadByName(CPwStringC aName, CTrackProfile& aProfile) {
  const int32_t i = Find(aName);
  if (i < 0) return 0;
  const CTrackProfile& entry = *iTracks.At(i);
  aProfile.DropTraps();
  aProfile.SetName(entry.Name());
  aProfile.SetFolder(entry.Folder());
  return aProfile.Load(true);
}

// --- Names ---------------------------------------------------------------------------------

bool CTrackList::IsValidName(CPwStringC aName) {
  for (int32_t i = 0; i < aName.Length(); ++i) {
    const char16_t c = aName.Ptr()[i];
    // Control characters (a zero above all) cannot be part of a file name either.
    if (c < 0x20) return false;
    switch (c) {
      case u'\\': case u'/': case u':': case u'*': case u'?': case u'"': case u'<': case u'>': case u'|':
        return false;
      default:
        break;
    }
  }
  return true;
}

uint16_t CTrackList::CheckName(CPwStringC aName, const CTrackProfile* aExcept) const {
  if (aName.IsEmpty()) return R_TRACK_NAME_EMPTY;
  if (!IsValidName(aName)) return R_TRACK_NAME_INVALID;
  for (const CTrackProfile* track : iTracks)
    if (track != aExcept && track->Name().CompareNoCase(aName) == 0) return R_TRACK_NAME_EXISTS;
  for (const CTrackProfile* track : iDamaged)
    if (track->Name().CompareNoCase(aName) == 0) return R_TRACK_NAME_EXISTS;
  return 0;
}

// --- Changes -------------------------------------------------------------------------------

int32_t CTrackList::Create(CPwStringC aName, CPwStringC aFolder) {
  CTrackProfile profile;
  profile.SetName(aName);
  profile.SetFolder(aFolder);
  profile.SetLock(0);
  profile.CreateEmptyTrapList();
  return Add(profile);
}

int32_t CTrackList::Add(CTrackProfile& aProfile) {
  if (CheckName(aProfile.Name(), nullptr) != 0) return 0;
  aProfile.SetModified();
  // Listing a track whose file could not be written would show a track that is not there.
  if (aProfile.SaveSafely() != KErrNone) return 0;
  aProfile.DropTraps();
  std::unique_ptr<CTrackProfile> copy(new CTrackProfile);
  copy->CopyFrom(aProfile);
  iTracks.Append(copy.get());
  copy.release();
  iTracks.Sort();
  SelectByName(aProfile.Name());
  return 1;
}

int32_t CTrackList::RenameOrUpdateCurrent(CTrackProfile& aProfile, CSessionList* aSessions) {
  CTrackProfile* current = Current();
  if (!current) return 0;
  if (!aProfile.Name().Equals(current->Name())) {
    if (CheckName(aProfile.Name(), current) != 0) return 0;
    // The shipped example stays where the installation put it.
    if (IsExampleFolder(current->Folder())) return 0;
    CPwString from, to;
    current->FilePath(from);
    MakeFilePath(EFileTrack, aProfile.Folder(), aProfile.Name(), to);
    // Moving onto an existing file would destroy another track. A change of letter case
    // alone may name the same file on media that ignore case, so it is let through.
    if (aProfile.Name().CompareNoCase(current->Name()) != 0 && FileExists(to)) return 0;
    if (!RenameFile(from, to)) return 0;
    if (aSessions) aSessions->RenameTrack(current->Name(), aProfile.Name());
  }
  if (aProfile.Locked() != current->Locked()) aProfile.SetModified();
  const int32_t saved = aProfile.SaveSafely();
  aProfile.DropTraps();
  current->CopyFrom(aProfile);
  iTracks.Sort();
  SelectByName(aProfile.Name());
  return saved == KErrNone ? 1 : 0;
}

int32_t CTrackList::UpdateEntry(const CTrackProfile& aProfile) {
  for (CTrackProfile* track : iTracks) {
    if (track->Name().Equals(aProfile.Name()) && track->Folder().Equals(aProfile.Folder())) {
      track->CopyFrom(aProfile);
      track->DropTraps();
      return 1;
    }
  }
  return 0;
}

bool CTrackList::IsExampleFolder(CPwStringC aFolder) const {
  return !iExampleRoot.IsEmpty() && aFolder.Equals(iExampleRoot);
}

void CTrackList::RemoveAt(int32_t aIndex) {
  CTrackProfile* track = iTracks.At(aIndex);
  if (!IsExampleFolder(track->Folder())) {
    CPwString path;
    track->FilePath(path);
    DeleteFile(path);
  }
  iTracks.Remove(aIndex);
  delete track;
}

void CTrackList::ClampCursor() {
  if (iCurrent >= iTracks.Count() && iTracks.Count() > 0) iCurrent = iTracks.Count() - 1;
}

int32_t CTrackList::DeleteCurrent() {
  if (!Current()) return 0;
  RemoveAt(iCurrent);
  ClampCursor();
  return 1;
}

int32_t CTrackList::DeleteByName(CPwStringC aName) {
  int32_t deleted = 0;
  for (int32_t i = iTracks.Count() - 1; i >= 0; --i) {
    if (iTracks.At(i)->Name().CompareNoCase(aName) == 0) {
      RemoveAt(i);
      ++deleted;
    }
  }
  ClampCursor();
  return deleted;
}
