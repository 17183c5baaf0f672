#include "timing/speech_helper.h"

#include "timing/track_session.h"

void CSpeechHelper::AnnounceLapFinished() {
  const CLap* lap = iSession->Laps().NewestLap();
  if (!lap) return;
  const PwTime time = lap->LapTime();
  if (!time.IsSet()) return;
  time.FormatSpoken(iText, 1, false);
}
