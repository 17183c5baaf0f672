#include "timing/track_profile.h"

#include "foundation/file_stream.h"
#include "foundation/paths.h"
#include "foundation/pw_file.h"

namespace {

// The stored fields of one trap, read before the trap is built so that nothing changes on a
// read that fails halfway.
void ReadTrap(PwFileStream& aStream, int32_t aVersion, CTrapLine& aTrap) {
  CPwString name;
  aStream.ReadText(name);
  const int32_t type = aStream.ReadInt32();
  const int32_t latitude = aStream.ReadInt32();
  const int32_t longitude = aStream.ReadInt32();
  const int32_t bearing = aStream.ReadInt32();
  const int32_t width = aStream.ReadInt32();
  const int32_t unidirectional = aStream.ReadInt16();
  // A trap type no build writes makes the file a damaged one, not a trap that never counts.
  if (type < ETrapDisabled || type > ETrapStandingStart) Leave(KErrCorrupt);
  if (aVersion == CTrackProfile::KOldVersion) {
    aTrap.Set(type, name, TCoordinate::FromRadians(CTrackProfile::DecodeOldArc(latitude)),
              TCoordinate::FromRadians(CTrackProfile::DecodeOldArc(longitude)),
              TAngle(CTrackProfile::DecodeOldArc(bearing)), TDistance(CTrackProfile::DecodeOldArc(width)),
              unidirectional);
  } else {
    aTrap.Set(type, name, TCoordinate(latitude), TCoordinate(longitude), TAngle(bearing / KArcUnitsPerRadian),
              TDistance(width / KArcUnitsPerRadian), unidirectional);
  }
}

}  // namespace

CTrackProfile::~CTrackProfile() = default;

void CTrackProfile::Reset() {
  iTraps.reset();
  iModified = false;
  iCount = 0;
  iFolder.Copy(CPwStringC());
  iName.Copy(CPwStringC());
  iLocked = 1;
}

void CTrackProfile::FilePath(CPwString& aPath) const { MakeFilePath(EFileTrack, iFolder, iName, aPath); }

void CTrackProfile::SetLock(int32_t aLocked) {
  const int32_t locked = aLocked != 0 ? 1 : 0;
  if (locked != iLocked) iModified = true;
  iLocked = locked;
}

int32_t CTrackProfile::TrapCount() const { return iTraps ? iTraps->Count() : iCount; }

void CTrackProfile::CreateEmptyTrapList() {
  iTraps.reset(new CTrapLineList);
  iCount = 0;
}

void CTrackProfile::DropTraps() { iTraps.reset(); }

int32_t CTrackProfile::AddTrap(const CTrapLine& aTrap) {
  if (!iTraps || IsLocked()) return 0;
  iTraps->Add(aTrap);
  iCount = iTraps->Count();
  iModified = true;
  return 1;
}

int32_t CTrackProfile::ReplaceCurrentTrap(const CTrapLine& aTrap) {
  if (!iTraps || IsLocked()) return 0;
  if (!iTraps->ReplaceCurrent(aTrap)) return 0;
  iModified = true;
  return 1;
}

int32_t CTrackProfile::RemoveCurrentTrap() {
  if (!iTraps || IsLocked()) return 0;
  if (!iTraps->RemoveCurrent()) return 0;
  iCount = iTraps->Count();
  iModified = true;
  return 1;
}

CTrapLine* CTrackProfile::CurrentTrap() const { return iTraps ? iTraps->Current() : nullptr; }

void CTrackProfile::NextTrap() {
  if (iTraps) iTraps->Next();
}

void CTrackProfile::PreviousTrap() {
  if (iTraps) iTraps->Previous();
}

int32_t CTrackProfile::EncodeArc(double aRadians) { return RadiansToArcUnits(aRadians); }

void CTrackProfile::WriteTo(PwFileStream& aStream) const {
  aStream.WriteInt32(KVersion);
  aStream.WriteInt16(iLocked);
  const int32_t count = iTraps ? iTraps->Count() : 0;
  aStream.WriteInt32(count);
  for (int32_t i = 0; i < count; ++i) {
    const CTrapLine& trap = *iTraps->At(i);
    aStream.WriteText(trap.Name());
    aStream.WriteInt32(trap.Type());
    aStream.WriteInt32(trap.Centre().iLatitude.iValue);
    aStream.WriteInt32(trap.Centre().iLongitude.iValue);
    aStream.WriteInt32(EncodeArc(trap.Bearing().iValue));
    aStream.WriteInt32(EncodeArc(trap.Width().iValue));
    aStream.WriteInt16(trap.Unidirectional());
  }
}

void CTrackProfile::ReadFrom(PwFileStream& aStream, bool aWithTraps) {
  const int32_t version = aStream.ReadInt32();
  if (version != KVersion && version != KOldVersion) Leave(KErrSessionVersion);
  const int32_t locked = aStream.ReadInt16() != 0 ? 1 : 0;
  const int32_t count = aStream.ReadInt32();
  if (count < 0) Leave(KErrCorrupt);
  std::unique_ptr<CTrapLineList> traps;
  if (aWithTraps) {
    traps.reset(new CTrapLineList);
    CTrapLine trap;
    // A damaged count cannot make us allocate ahead: each trap is read before it is added.
    for (int32_t i = 0; i < count; ++i) {
      ReadTrap(aStream, version, trap);
      traps->Add(trap);
    }
  }
  iLocked = locked;
  iCount = count;
  iTraps = std::move(traps);
}

void CTrackProfile::Save() {
  if (iName.IsEmpty() || !iModified || !iTraps) return;
  CPwString path;
  FilePath(path);
  CreateFolders(ParentFolderOf(path));  // a first track on a medium needs its folder
  PwFileStream stream;
  stream.SetPath(path);
  stream.OpenWrite();
  WriteTo(stream);  // a leave here discards the partial write; the old file stays
  LeaveIfError(stream.Close());
  iModified = false;
}

int32_t CTrackProfile::SaveSafely() {
  return Trap([this] { Save(); });
}

int32_t CTrackProfile::Load(bool aWithTraps) {
  if (iName.IsEmpty()) return 1;
  iModified = false;
  CPwString path;
  FilePath(path);
  PwFileStream stream;
  stream.SetPath(path);
  int32_t code = KErrCannotOpen;
  if (stream.OpenRead()) code = Trap([&] { ReadFrom(stream, aWithTraps); });
  stream.Close();
  if (code == KErrNoMemory) Leave(code);
  if (code != KErrNone) {
    // Nothing of a broken or unknown file is kept, and without traps it is never saved over.
    iTraps.reset();
    iCount = 0;
    iLocked = 1;
    return 0;
  }
  return 1;
}

int32_t CTrackProfile::Open(CPwStringC aName, CPwStringC aFolder) {
  if (iModified) SaveSafely();
  iTraps.reset();
  iName.Copy(aName);
  iFolder.Copy(aFolder);
  iModified = false;
  iCount = 0;
  iLocked = 1;
  return Load(true);
}

void CTrackProfile::CopyFrom(const CTrackProfile& aOther) {
  if (&aOther == this) return;
  std::unique_ptr<CTrapLineList> traps;
  if (aOther.iTraps) {
    traps.reset(new CTrapLineList);
    for (int32_t i = 0; i < aOther.iTraps->Count(); ++i) traps->Add(*aOther.iTraps->At(i));
    traps->SetCurrent(aOther.iTraps->CurrentIndex());
  }
  iName.Copy(aOther.iName);
  iFolder.Copy(aOther.iFolder);
  iModified = aOther.iModified;
  iCount = aOther.iCount;
  iLocked = aOther.iLocked;
  iTraps = std::move(traps);
}

int32_t CTrackProfile::FileBytes(CPwByteArray& aBytes) {
  // Uploading the previous content after a failed save would look like success.
  if (SaveSafely() != KErrNone) return 0;
  CPwString path;
  FilePath(path);
  CPwFile file;
  file.SetPath(path);
  if (!file.OpenRead()) return 0;
  const int32_t ok = file.ReadAll(aBytes);
  file.Close();
  return ok;
}

TGeoPoint CTrackProfile::Centre() const {
  if (!iTraps || iTraps->Count() == 0) return TGeoPoint();
  int64_t north = 0, south = 0, east = 0, west = 0;
  bool any = false;
  for (int32_t i = 0; i < iTraps->Count(); ++i) {
    const CTrapLine& trap = *iTraps->At(i);
    if (i > 0 && trap.Type() == ETrapDisabled) continue;
    const TGeoPoint c = trap.Centre();
    if (!c.IsValid()) continue;
    const int64_t lat = c.iLatitude.iValue, lon = c.iLongitude.iValue;
    if (!any) {
      north = south = lat;
      east = west = lon;
      any = true;
      continue;
    }
    if (lat > north) north = lat;
    if (lat < south) south = lat;
    if (lon > east) east = lon;
    if (lon < west) west = lon;
  }
  if (!any) return TGeoPoint();
  return TGeoPoint(TCoordinate(static_cast<int32_t>((north + south) / 2)),
                   TCoordinate(static_cast<int32_t>((east + west) / 2)));
}
