// One change of a track's traps, made the way every trap screen makes it. The session's own
// track is changed through the session (which recomputes the laps); afterwards it is saved,
// its catalogue entry follows and the views are refreshed. When the file cannot be written the
// track goes back to what it was before the change (and the laps with it) and a note says why,
// so what is shown is always what is stored. Any other track (the copy the track editor holds)
// is changed alone: its owner saves it.
#pragma once

#include <cstdint>

#include "timing/track_profile.h"

class CDialogs;
class CModel;
class CTrackSession;

class CTrapChange {
 public:
  // Remembers aTrack as it is now.
  CTrapChange(CModel& aModel, CTrackProfile& aTrack);

  // The open session when aTrack is its track, else null.
  CTrackSession* Session() const;
  // After the change: true when it is kept, false when it had to be undone (after the note).
  bool Commit(CDialogs& aDialogs);

  // The note for a track that could not be saved with aCode.
  static void SaveFailureText(const CTrackProfile& aTrack, int32_t aCode, CPwString& aText);

 private:
  CModel* iModel;
  CTrackProfile* iTrack;
  CTrackProfile iBefore;
};
