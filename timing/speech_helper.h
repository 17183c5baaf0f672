// The spoken lap announcement: when live timing finishes a lap, its time becomes a sequence of
// sound-clip tokens ("1;minute;23;point;5;seconds") that waits here until the track session
// hands it to the model after the sample that produced it.
#pragma once

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "timing/lap_list.h"

class CTrackSession;

class CSpeechHelper : public CPwBase, public MLapAnnouncer {
 public:
  // aSession (not owned) owns this announcer and its lap list.
  explicit CSpeechHelper(CTrackSession& aSession) : iSession(&aSession) {}
  ~CSpeechHelper() override = default;

  // MLapAnnouncer: the newest lap's time with one decimal, replacing any pending text. A lap
  // without a time announces nothing.
  void AnnounceLapFinished() override;

  // The pending announcement, empty when there is none.
  CPwStringC Text() const { return iText; }
  bool HasText() const { return !iText.IsEmpty(); }
  void Clear() { iText.SetLength(0); }

 private:
  CTrackSession* iSession = nullptr;
  CPwString iText;
};
