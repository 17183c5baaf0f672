#include "app/views/lap_notes.h"

#include "app/dialogs/dialogs.h"
#include "storage/plot_list.h"
#include "storage/session_info.h"
#include "strings/pw_strings.h"
#include "timing/lap.h"
#include "timing/lap_list.h"
#include "timing/track_session.h"

namespace {

// Local times for the lap table; one converter for the program's run.
const PwTimeConverter& Converter() {
  static PwTimeConverter converter;
  return converter;
}

// Stores the session file at once; the shipped example is never written.
void SaveSession(CDialogs* aDialogs, CTrackSession& aSession) {
  CSessionInfo& info = aSession.Info();
  if (info.IsReadOnly()) return;
  const int32_t code = info.SaveSafely();
  if (code != KErrNone && aDialogs) aDialogs->ShowNoteN(CDialogs::EConfirmedError, R_LV_SAVE_FAILED, code);
}

}  // namespace

const CSessionNote* LapNote(const CTrackSession& aSession, const CLap& aLap) {
  PwTime start, end;
  if (aLap.IsComposite() || !aLap.NoteRange(start, end)) return nullptr;
  return aSession.Info().NoteForLap(start, end);
}

PwDateTime LapLocalStart(const CTrackSession& aSession, const CLap& aLap) {
  if (!aLap.Start()) return PwDateTime();
  const PwDateTime utc = aSession.PlotList().ResumeList().DateTimeAt(PwTime(aLap.Start()->iSample.iTime));
  if (!utc.iDate.IsSet() || !utc.iTime.IsSet()) return PwDateTime();
  return Converter().UtcToLocal(utc);
}

int32_t EditNoteText(CDialogs& aDialogs, CPwString& aText, CPwStringC aTitle) {
  CPwString text;
  text.Copy(aText);
  for (;;) {
    if (!aDialogs.EditText(text, aTitle, true, false)) return 0;
    if (text.Length() <= KMaxNoteLength) break;
    // Nothing typed is lost: the editor comes back with the text to shorten.
    CPwString message;
    message.FormatNN(R_LV_NOTE_TOO_LONG, text.Length(), KMaxNoteLength);
    aDialogs.ShowNote(CDialogs::EConfirmedError, message);
  }
  aText.Copy(text);
  return 1;
}

int32_t EditLapNote(CDialogs& aDialogs, CTrackSession& aSession, int32_t aIndex) {
  const CLap* lap = aSession.Laps().Lap(aIndex);
  PwTime start, end;
  if (aIndex < 0 || !lap || !lap->NoteRange(start, end)) return 0;
  CSessionNote note;
  aSession.Info().EditNote(note, start, end);
  CPwString text, title;
  text.Copy(note.Text());
  title.FormatN(R_LV_LAP_NOTES_TITLE, aIndex + 1);
  if (!EditNoteText(aDialogs, text, title)) return 0;
  note.SetText(text);
  aSession.Info().StoreNote(note);
  SaveSession(&aDialogs, aSession);
  return 1;
}

int32_t EditSessionNotes(CDialogs& aDialogs, CTrackSession& aSession) {
  CPwString text, title;
  text.Copy(aSession.Info().Notes());
  title.LoadFromResource(R_LV_SESSION_NOTES);
  if (!EditNoteText(aDialogs, text, title)) return 0;
  aSession.Info().SetNotes(text);
  SaveSession(&aDialogs, aSession);
  return 1;
}

int32_t SetLapInvalid(CDialogs* aDialogs, CTrackSession& aSession, int32_t aIndex, bool aInvalid) {
  CLapList& laps = aSession.Laps();
  const CLap* lap = laps.Lap(aIndex);
  PwTime start, end;
  if (aIndex < 0 || !lap || lap->IsInvalid() == aInvalid || !lap->NoteRange(start, end)) return 0;
  const int32_t marker = aInvalid ? 1 : 0;
  aSession.Info().SetLapMarker(marker, start, end);
  laps.SetInvalidMarker(aIndex, marker);
  SaveSession(aDialogs, aSession);
  return 1;
}
