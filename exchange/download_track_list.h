// The track server's index and the two-level browser over it (groups, then the tracks of one
// group) that the download view shows.
//
// Index: lines ended by CR LF or LF (a last line without an end is ignored), each
//   file;group/name;detail[;further fields ignored]
// file stays bytes (a path relative to the server's base url); group, name and detail are
// UTF-8. The title is split at its first "/" (no "/": all of it is the group, the name is
// empty). Lines without a file, a group or a detail are skipped, and so are lines whose file
// holds control bytes, which could not go into a request line. Group, name and detail are
// made displayable as they are read (see MakeDisplayable): the server's text reaches a
// terminal and the window, where a control character could rewrite what the user sees.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CDownloadTrack : public CPwBase {
 public:
  CDownloadTrack() = default;
  ~CDownloadTrack() override;

  CPwByteArrayC File() const { return iFile; }
  CPwStringC Group() const { return iGroup; }
  CPwStringC Name() const { return iName; }
  CPwStringC Detail() const { return iDetail; }

  void Set(CPwByteArrayC aFile, CPwStringC aGroup, CPwStringC aName, CPwStringC aDetail);

 private:
  CPwByteArray iFile;
  CPwString iGroup;
  CPwString iName;
  CPwString iDetail;
};

class CDownloadTrackList : public CPwBase {
 public:
  // Removes the characters that are not text from aText: C0 and C1 controls and DEL, and the
  // invisible marks that reorder or break lines (U+200E, U+200F, U+2028, U+2029, U+202A to
  // U+202E, U+2066 to U+2069). A tab, line end or other separating control becomes a space, so
  // that the words around it stay apart.
  static void MakeDisplayable(CPwString& aText);

  // Lines after this many tracks are ignored: real indexes hold a few thousand, and a hostile
  // one must not turn a few megabytes of body into hundreds of megabytes of entries.
  static constexpr int32_t KMaxTracks = 20000;

  CDownloadTrackList() = default;
  ~CDownloadTrackList() override;

  // Replaces the tracks with those of the index (at most KMaxTracks), then filters with the
  // current group.
  void ParseIndex(CPwByteArrayC aBytes);
  // Rebuilds the shown level. Empty group: the first track of each distinct group (exact
  // comparison) in index order, the cursor on the previously current group's entry or 0.
  // Otherwise every track of that group in index order, the cursor at 0.
  void Filter(CPwStringC aGroup);
  // Number of tracks whose group equals aGroup exactly.
  int32_t CountInGroup(CPwStringC aGroup) const;
  // Deletes all tracks (the shown level empties; the current group stays).
  void Clear();

  int32_t Count() const { return iTracks.Count(); }
  // Panic 3 unless 0 <= aIndex < Count.
  const CDownloadTrack& At(int32_t aIndex) const { return *iTracks.At(aIndex); }

  // The current level.
  int32_t ShownCount() const { return iShown.Count(); }
  const CDownloadTrack& ShownAt(int32_t aIndex) const { return *iShown.At(aIndex); }
  bool IsTopLevel() const { return iCurrentGroup.IsEmpty(); }
  CPwStringC CurrentGroup() const { return iCurrentGroup; }
  int32_t CurrentIndex() const { return iCurrentIndex; }
  void SetCurrentIndex(int32_t aIndex) { iCurrentIndex = aIndex; }
  // The shown entry under the cursor, or null when the cursor is outside the level.
  const CDownloadTrack* Current() const;

 private:
  // Adds the track of one index line, or nothing for a malformed line.
  void ParseLine(CPwByteArrayC aLine);
  void DeleteTracks();

  CPwVector<CDownloadTrack*> iTracks{8};
  CPwVector<CDownloadTrack*> iShown{8};
  CPwString iCurrentGroup;
  int32_t iCurrentIndex = 0;
};
