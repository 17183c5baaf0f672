// The catalogue of track profiles: every track found on the storage media plus the shipped
// "Example track", kept sorted by name (case ignored), then by folder. Creates, renames and
// deletes tracks and checks the names users give them.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"
#include "timing/track_profile.h"

class CPwDrives;
class CPwStringList;
class CSessionList;
class CSettings;

class CTrackList : public CPwBase {
 public:
  // Name of the track shipped in the installation folder's "examples/" root.
  static constexpr CPwStringC KExampleTrackName = u"Example track";

  // Neither is owned: the settings name the medium new tracks go to, the drives list the
  // media to scan.
  CTrackList(const CSettings& aSettings, const CPwDrives& aDrives);
  ~CTrackList() override;

  // Lists the tracks of the settings' storage root, then of every other medium, then the
  // example track, and sorts. A name already listed (case ignored) is not listed again.
  // Each file is read whole: one that cannot be (cut short, overwritten) goes to the damaged
  // list instead, where it neither passes for a track nor hides a healthy one of its name.
  void Refresh();
  // The same over explicit roots: aPrimary first, then each of aOthers that differs from it,
  // then aExampleRoot (empty: none).
  void RefreshRoots(CPwStringC aPrimary, const CPwStringList& aOthers, CPwStringC aExampleRoot);

  int32_t Count() const { return iTracks.Count(); }
  // Track files found by the last refresh that cannot be read: name and folder only.
  int32_t DamagedCount() const { return iDamaged.Count(); }
  const CTrackProfile& DamagedAt(int32_t aIndex) const { return *iDamaged.At(aIndex); }
  // Panic 3 unless 0 <= aIndex < Count.
  CTrackProfile& At(int32_t aIndex) const { return *iTracks.At(aIndex); }
  // The current track, or null when the cursor is out of range.
  CTrackProfile* Current() const;
  int32_t CurrentIndex() const { return iCurrent; }
  void SetCurrentIndex(int32_t aIndex) { iCurrent = aIndex; }
  // Selects the first track of exactly this name; 1 if found, else 0 (cursor unchanged).
  int32_t SelectByName(CPwStringC aName);
  // Whether a track of this name (case ignored) is listed.
  bool Exists(CPwStringC aName) const;
  // Index of the first track of this name (case ignored), or -1.
  int32_t Find(CPwStringC aName) const;

  // Gives aProfile the name and folder of the first track of this name (case ignored) and
  // loads it with traps; 0 when there is none (or it cannot be loaded).
  int32_t LoadByName(CPwStringC aName, CTrackProfile& aProfile);
  // A new unlocked track with no traps in aFolder, added as Add does. 0 for a name that is
  // not allowed or already exists, or when the file cannot be written.
  int32_t Create(CPwStringC aName, CPwStringC aFolder);
  // 0 when the name is not allowed or a track of that name (case ignored) exists; otherwise
  // marks the profile modified, saves it, drops its traps, adds a copy, sorts and selects it.
  // A failed save adds nothing and returns 0.
  int32_t Add(CTrackProfile& aProfile);
  // Applies an edited copy of the current track: a new name moves the file first (0 when the
  // name is not allowed, another track has it, or the move fails), the catalogue's sessions
  // follow the new name, the profile is saved, its traps dropped and copied over the current
  // entry, and the list is sorted and the entry reselected. aSessions may be null.
  int32_t RenameOrUpdateCurrent(CTrackProfile& aProfile, CSessionList* aSessions);
  // Copies aProfile over the entry with the same name and folder (its traps dropped); 0 when
  // there is none.
  int32_t UpdateEntry(const CTrackProfile& aProfile);
  // Deletes the current track's file and entry; 0 when there is none.
  int32_t DeleteCurrent();
  // Deletes every track of this name (case ignored) and its file; the number deleted.
  int32_t DeleteByName(CPwStringC aName);

  // The name rules, in the order they are checked: empty ("Please insert a name for the
  // track."), a character of \ / : * ? " < > | ("Name contains invalid characters."), the
  // name of another listed track or of a damaged track file (which a new track would
  // overwrite), case ignored ("Similarly named track already exists.").
  // aExcept (may be null) is the track being renamed, whose own name does not count. Returns
  // 0 for an acceptable name, else the string-table entry of the message.
  uint16_t CheckName(CPwStringC aName, const CTrackProfile* aExcept) const;
  // Only the characters: true when none of the forbidden ones occurs.
  static bool IsValidName(CPwStringC aName);

  // The catalogue order: name case ignored, then folder case-sensitive.
  static int Compare(CTrackProfile* const& a, CTrackProfile* const& b);

  // The root of the shipped example track: installation folder + "examples/" (empty when no
  // installation folder is known).
  static void ExampleRoot(CPwString& aRoot);

 private:
  void ResetTracks();
  void ScanRoot(CPwStringC aRoot);
  // Adds the track if no track of that name is listed and its header can be read.
  void AddHeader(CPwStringC aName, CPwStringC aRoot);
  // Removes entry aIndex and deletes its file (never the shipped example's).
  void RemoveAt(int32_t aIndex);
  void ClampCursor();
  bool IsExampleFolder(CPwStringC aFolder) const;

  const CSettings& iSettings;
  const CPwDrives& iDrives;
  CPwVector<CTrackProfile*> iTracks{8, &CTrackList::Compare};
  CPwVector<CTrackProfile*> iDamaged{4, &CTrackList::Compare};
  int32_t iCurrent = 0;
  CPwString iExampleRoot;  // as found by the last refresh
};
