// The notes of the open session as the lap views use them: a lap's note and start time, the
// note editor for a lap's note and for the session notes, and the invalid mark a lap's note
// carries. Every confirmed change is stored in the session file at once, so it survives the
// program ending before the session is closed.
#pragma once

#include <cstdint>

#include "foundation/pw_string.h"
#include "foundation/pw_time.h"

class CDialogs;
class CLap;
class CSessionNote;
class CTrackSession;

// The longest note the editor keeps, in characters. The session file holds a note in at most
// 65535 UTF-8 bytes; a limit well inside that keeps every note writable.
constexpr int32_t KMaxNoteLength = 2000;

// The note covering the lap's samples, or null.
const CSessionNote* LapNote(const CTrackSession& aSession, const CLap& aLap);
// Local date and time of day of the lap's first sample; unset fields when unknown.
PwDateTime LapLocalStart(const CTrackSession& aSession, const CLap& aLap);

// Runs the note editor (multi-line) over aText with the title until the text is confirmed
// within KMaxNoteLength or cancelled; a text that is too long is refused with a note and
// offered again. Nonzero when confirmed, with the text in aText.
int32_t EditNoteText(CDialogs& aDialogs, CPwString& aText, CPwStringC aTitle);

// Edits the note of lap aIndex (not the optimal lap) and stores it; nonzero when stored.
int32_t EditLapNote(CDialogs& aDialogs, CTrackSession& aSession, int32_t aIndex);
// Edits the session notes ("Session notes") and stores them; nonzero when stored.
int32_t EditSessionNotes(CDialogs& aDialogs, CTrackSession& aSession);
// Marks lap aIndex invalid (or valid again) in its note and in the lap list, and stores it.
// Nonzero when changed.
int32_t SetLapInvalid(CDialogs* aDialogs, CTrackSession& aSession, int32_t aIndex, bool aInvalid);
