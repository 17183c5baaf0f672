// The session catalogue: one entry (a CSessionInfo loaded without notes) per stored session on
// every storage medium, plus the example session shipped with the program, newest first; and
// the filtered view of it that offers comparison sessions of one track or performance test.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"
#include "storage/session_info.h"

class CPwDrives;
class CPwStringList;
class CSessionList;

class CSessionFilterList : public CPwBase {
 public:
  CSessionFilterList() = default;

  // Lap-timing sessions of the track, other than the excluded one. Keeps the view (and the
  // selection) when the same filter is already in effect.
  void SetTrackFilter(CPwStringC aTrackName, CPwStringC aExcludedId, CPwStringC aExcludedRoot,
                      bool aAllowNone, const CSessionList& aCatalogue);
  // Performance-testing sessions of the test, other than the excluded one.
  void SetTestFilter(CPwStringC aTestName, CPwStringC aExcludedId, CPwStringC aExcludedRoot,
                     bool aAllowNone, const CSessionList& aCatalogue);
  // Every session.
  void ClearFilter(const CSessionList& aCatalogue);
  // Rebuilds the view from the catalogue, keeping the selected entry when it is still shown.
  void Rebuild(const CSessionList& aCatalogue);

  int32_t Count() const { return iEntries.Count(); }
  CSessionInfo* At(int32_t aIndex) const { return iEntries.At(aIndex); }
  // The entry at the selected index, or null when the index is out of range.
  CSessionInfo* Selected() const;
  int32_t SelectedIndex() const { return iSelected; }
  // The index is clamped as after a rebuild (-1 allowed only with allow none).
  void SetSelectedIndex(int32_t aIndex);
  bool IsActive() const { return iActive; }
  bool AllowsNone() const { return iAllowNone; }
  CPwStringC TrackFilter() const { return iTrackName; }
  CPwStringC TestFilter() const { return iTestName; }

  // Forgets every entry (they are about to be deleted by the catalogue).
  void Forget();

 private:
  void SetFilter(CPwStringC aTrackName, CPwStringC aTestName, CPwStringC aExcludedId,
                 CPwStringC aExcludedRoot, bool aAllowNone, const CSessionList& aCatalogue);
  bool Includes(const CSessionInfo& aEntry) const;
  void ClampSelection();

  CPwString iTrackName;
  CPwString iTestName;
  CPwString iExcludedId;
  CPwString iExcludedRoot;
  CPwVector<CSessionInfo*> iEntries{8};  // not owned: they belong to the catalogue
  int32_t iSelected = 0;
  bool iActive = false;
  bool iAllowNone = false;
};

class CSessionList : public CPwBase {
 public:
  // Identifier of the session shipped in the installation folder's "examples/" root.
  static constexpr CPwStringC KExampleIdentifier = u"20070101-0000-example";

  // aDrives (not owned) names the storage media to scan.
  explicit CSessionList(const CPwDrives& aDrives);
  ~CSessionList() override;

  // Scans the "Sessions/" folder of every medium with a nonzero medium identifier and the
  // example root, sorts newest first and rebuilds the filter view. Session files that cannot
  // be read go to the damaged list, not into the catalogue.
  void Refresh();
  // The same over the given storage roots (each ending with '/'), in this order.
  void RefreshRoots(const CPwStringList& aRoots);

  // A copy of the session's properties becomes the first entry; the view selects its first.
  void Add(const CSessionInfo& aSession);
  // Copies the session's properties into the entry of the same identifier and root;
  // 0 when there is no such entry.
  int32_t Update(const CSessionInfo& aSession);
  // Deletes the session's files (session, samples and NMEA file; failures ignored) and its
  // entry. The shipped example's files are never deleted.
  void Remove(const CSessionInfo& aSession);

  // Lap-timing entries whose track name is exactly aTrackName.
  int32_t CountTrackUses(CPwStringC aTrackName) const;
  // Rewrites the track name in the session file of every entry that uses aOldName.
  void RenameTrack(CPwStringC aOldName, CPwStringC aNewName);

  int32_t Count() const { return iEntries.Count(); }
  CSessionInfo* At(int32_t aIndex) const { return iEntries.At(aIndex); }
  // Session files found by the last refresh that cannot be read, newest first: identifier
  // and storage root only. They are never offered for opening or comparison.
  int32_t DamagedCount() const { return iDamaged.Count(); }
  const CSessionInfo& DamagedAt(int32_t aIndex) const { return *iDamaged.At(aIndex); }
  // The entry of that identifier and root, or -1.
  int32_t IndexOf(CPwStringC aIdentifier, CPwStringC aRoot) const;

  CSessionFilterList& Filter() { return iFilter; }
  const CSessionFilterList& Filter() const { return iFilter; }
  // The row the session list had in focus, kept for its next opening (not stored).
  int32_t FocusIndex() const { return iFocus; }
  void SetFocusIndex(int32_t aIndex) { iFocus = aIndex; }

  // The catalogue order: identifiers descending (newest first), equal identifiers by root
  // ascending. Exposed for tests of the ordering.
  static int CompareEntries(CSessionInfo* const& a, CSessionInfo* const& b);

  // Where the example session lives: the installation folder + "examples/" (empty when no
  // installation folder is known).
  static void ExampleRoot(CPwString& aRoot);

 private:
  void ResetEntries();
  void ScanRoot(CPwStringC aRoot);
  // Loads one entry without notes and adds it; unreadable sessions are dropped.
  void AddLoaded(CPwStringC aIdentifier, CPwStringC aRoot, bool aReadOnly);

  const CPwDrives& iDrives;
  PwTimeConverter iConverter;
  CPwVector<CSessionInfo*> iEntries{8, &CSessionList::CompareEntries};
  CPwVector<CSessionInfo*> iDamaged{4, &CSessionList::CompareEntries};
  CSessionFilterList iFilter;
  int32_t iFocus = 0;
};
