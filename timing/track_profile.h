// A track profile: a named set of traps kept as one file per track ("Tracks/<name>-track.bin"
// below a storage root). It exists either as a header (name, folder, lock flag and trap count,
// as the catalogue lists it) or loaded with its traps (the session's track, the track being
// edited).
//
// Track file, little-endian:
//   Int32 version (2 is written; 1 is read as well)
//   Int16 locked
//   Int32 trap count, then per trap:
//     Text name | Int32 type | Int32 latitude | Int32 longitude (TCoordinate)
//     Int32 bearing | Int32 width (radians x 343,774,677.0785, rounded) | Int16 unidirectional
// Version 1 keeps latitude, longitude, bearing and width in units of 2^-29 radian.
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/geodesy.h"
#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "timing/trap_line.h"

class PwFileStream;

class CTrackProfile : public CPwBase {
 public:
  static constexpr int32_t KVersion = 2;
  static constexpr int32_t KOldVersion = 1;

  // Empty name and folder, not modified, no traps, locked.
  CTrackProfile() = default;
  ~CTrackProfile() override;

  // Back to the state after construction (locked, no traps).
  void Reset();

  CPwStringC Name() const { return iName; }
  void SetName(CPwStringC aName) { iName.Copy(aName); }
  // The root folder of the storage medium that holds the track (ends with '/').
  CPwStringC Folder() const { return iFolder; }
  void SetFolder(CPwStringC aFolder) { iFolder.Copy(aFolder); }
  // The track file: folder + "Pacewright/Tracks/" + name + "-track.bin".
  void FilePath(CPwString& aPath) const;

  bool IsModified() const { return iModified; }
  void SetModified() { iModified = true; }
  bool IsLocked() const { return iLocked != 0; }
  int32_t Locked() const { return iLocked; }
  // Marks the profile modified when the flag changes.
  void SetLock(int32_t aLocked);

  // The trap list's count when traps are loaded, otherwise the count read from the header.
  int32_t TrapCount() const;
  // The traps, or null when only the header was read.
  CTrapLineList* Traps() const { return iTraps.get(); }
  bool HasTraps() const { return iTraps != nullptr; }
  // A new empty trap list (replacing any); does not mark the profile modified.
  void CreateEmptyTrapList();
  // Forgets the traps, keeping the header (the count stays as it was).
  void DropTraps();

  // Each needs a trap list and an unlocked profile; 1 when the change was made (and the
  // profile marked modified), else 0. Replace changes nothing for an identical trap.
  int32_t AddTrap(const CTrapLine& aTrap);
  int32_t ReplaceCurrentTrap(const CTrapLine& aTrap);
  int32_t RemoveCurrentTrap();
  // The current trap (null without one) and the cycling cursor moves.
  CTrapLine* CurrentTrap() const;
  void NextTrap();
  void PreviousTrap();

  // Writes the file when the name is not empty, the profile is modified and traps are
  // loaded, then clears the modified flag; otherwise writes nothing. Leaves KErrCannotOpen
  // (or KErrTooLong for a trap name too long to store); the previous file is then kept.
  void Save();
  // Save, returning the leave code instead (0 on success).
  int32_t SaveSafely();
  // 1 at once for an empty name; otherwise reads the file: 0 when it cannot be opened or
  // read (the profile is then left locked with no traps and count 0). Without traps only the
  // lock flag and the trap count are read. Clears the modified flag.
  int32_t Load(bool aWithTraps);
  // Saves the current track when modified (a failure is ignored: the new track opens
  // anyway), drops the traps, takes name and folder, resets the flags and loads with traps.
  // Returns the load's result.
  int32_t Open(CPwStringC aName, CPwStringC aFolder);
  // Copies every field; the traps one by one when aOther has them.
  void CopyFrom(const CTrackProfile& aOther);
  // Saves, then replaces aBytes with the whole file. 1 on success, 0 when the file cannot be
  // read.
  int32_t FileBytes(CPwByteArray& aBytes);

  // The middle of the box around the trap centres: the first trap and every further trap
  // that is not disabled. Invalid without traps.
  TGeoPoint Centre() const;

  // The file format on an open stream (tests and the track exchange use them directly).
  void WriteTo(PwFileStream& aStream) const;
  // Leaves KErrCorrupt for data that end early, an unknown version (KErrSessionVersion) or a
  // negative count; the profile is only changed when the whole read succeeded.
  void ReadFrom(PwFileStream& aStream, bool aWithTraps);

  // Stored units of bearing and width (and version-2 coordinates) per radian, and version-1
  // units (2^29 per radian).
  static int32_t EncodeArc(double aRadians);
  static double DecodeOldArc(int32_t aValue) { return aValue / 536870912.0; }

 private:
  bool iModified = false;
  int32_t iCount = 0;
  CPwString iFolder;
  CPwString iName;
  std::unique_ptr<CTrapLineList> iTraps;
  int32_t iLocked = 1;
};
