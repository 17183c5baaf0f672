// What the GPS reader does next to the port besides carrying the bytes: takes u-blox binary
// frames out of the stream, finds the baud rate of a receiver whose sentences do not come
// through at the port's rate, and sets a u-blox receiver to the chosen fix rate. Runs on the
// reader thread only.
//
// Baud-rate search: only when the user left the baud rate at "Default". The port starts at the
// rate that worked last time (else its own); when noise comes instead of sentences, 9600,
// 38400, 57600, 115200, 4800 and 19200 are tried, each until a sentence with a good checksum
// (or a whole UBX frame) arrives, noise shows, or 800 ms pass (1100 ms while nothing at all
// came, so that the gap between the bursts of a 1 Hz receiver is spanned), 5 s in all. What arrives during
// a try is held back and passed on only when the rate proved right, so noise of wrong rates
// never reaches the recording.
#pragma once

#include <cstdint>

#include "acquisition/ubx_frame.h"
#include "acquisition/ublox_setup.h"
#include "foundation/pw_byte_array.h"

class PwSerialPort;

class TGpsReceiverControl final : public pwubx::MUbxFrameObserver {
 public:
  // What the control last had to say (the owner shows it as a note).
  enum TNote : int32_t {
    ENoteNone = 0,
    ENoteRateSet = 1,        // value: Hz
    ENoteRateRefused = 2,    // the receiver refused its configuration
    ENoteNoAnswer = 3,       // the receiver did not answer its configuration
    ENoteNeedsBaud = 4,      // value: the baud rate the fix rate needs
    ENoteBaudFound = 5,      // value: baud
    ENoteNoSentences = 6,    // no rate brought sentences
  };
  static constexpr int32_t KTryMs = 800;
  static constexpr int32_t KSilentTryMs = 1100;
  static constexpr int32_t KSearchMs = 5000;
  // Noise bytes that show a rate is wrong.
  static constexpr int32_t KNoiseLimit = 16;
  // Text held back at the port's own rate while no sentence has come.
  static constexpr int32_t KMaxHeld = 4096;

  TGpsReceiverControl();

  // Before a start: the fix rate to set (0: leave the receiver alone) and the baud rate that
  // worked last time (0: none).
  void SetUp(int32_t aRateHz, int32_t aKnownBaud);
  // The port was opened and set up at aRequestedBaud (0: "Default", the port's own rate).
  void Connected(PwSerialPort* aPort, int32_t aRequestedBaud, int64_t aNowMs, CPwByteArray& aCommands);
  // The port went away; the splitter forgets a frame begun.
  void Disconnected();

  // Bytes read: the text the application must see is appended to aText, commands for the
  // receiver to aCommands. May leave -2 (the bytes are then lost, the control stays sound).
  void Input(const uint8_t* aBytes, int32_t aCount, int64_t aNowMs, CPwByteArray& aText, CPwByteArray& aCommands);
  // Time-outs; call when TimeoutMs has passed.
  void Tick(int64_t aNowMs, CPwByteArray& aCommands);
  // Ms until Tick is due, -1 when nothing waits.
  int32_t TimeoutMs(int64_t aNowMs) const;
  // Once the commands are written: switches the port's rate when the set-up asks for it.
  void AfterWrite(int64_t aNowMs);

  // The rate sentences come at (0: not known).
  int32_t WorkingBaud() const { return iWorkingBaud; }
  // The rate to look at first next time: the working rate when the search found it, the
  // set-up changed it or it was the one remembered; 0 when the port's own rate simply worked.
  int32_t RememberBaud() const { return iRemember ? iWorkingBaud : 0; }
  int32_t Note() const { return iNote; }
  int32_t NoteValue() const { return iNoteValue; }
  // Counts notes, so that the same note given twice is seen twice.
  uint32_t NoteCount() const { return iNoteCount; }
  const TUbloxSetup& Setup() const { return iSetup; }
  bool Searching() const { return iSearch == ESearchTrying; }

  // --- MUbxFrameObserver
  void UbxFrameReceived(const pwubx::TUbxFrame& aFrame) override;

 private:
  enum TSearch : int32_t { ESearchOff, ESearchListening, ESearchTrying };

  void LineDone(int64_t aNowMs, CPwByteArray& aCommands);
  void Confirmed(int64_t aNowMs, CPwByteArray& aCommands);
  void StartSearch(int64_t aNowMs);
  void TryNext(int64_t aNowMs);
  int32_t TryLimitMs() const { return iTryHeard ? KTryMs : KSilentTryMs; }
  void SetRate(int32_t aBaud);
  void Say(int32_t aNote, int32_t aValue);
  // Turns the set-up's outcome into a note, once.
  void CheckSetup();

  pwubx::TUbxStreamSplitter iSplitter;
  TUbloxSetup iSetup;
  PwSerialPort* iPort = nullptr;
  int32_t iRateHz = 0;
  int32_t iKnownBaud = 0;
  int32_t iRequestedBaud = 0;
  int32_t iWorkingBaud = 0;
  bool iConfirmed = false;
  bool iRemember = false;
  bool iSetupStarted = false;
  bool iSetupReported = false;

  int32_t iSearch = ESearchOff;
  int32_t iStartBaud = 0;
  int32_t iCandidates[8] = {};
  int32_t iCandidateCount = 0;
  int32_t iNextCandidate = 0;
  int32_t iTryBaud = 0;
  int64_t iTryStart = 0;
  int64_t iSearchStart = 0;
  int32_t iNoise = 0;
  bool iTryHeard = false;  // bytes came during the current try
  CPwByteArray iHeld;  // text of the current try

  // The line being assembled, to check sentences (longer ones are not NMEA).
  uint8_t iLine[128] = {};
  int32_t iLineLength = 0;
  bool iLineOverflow = false;
  // Frames and the clock of the Input call that is running.
  int64_t iNow = 0;
  CPwByteArray* iCommandsNow = nullptr;
  bool iFrameSeen = false;
  int32_t iQueuedBytes = 0;  // commands on their way since the last switch

  int32_t iNote = ENoteNone;
  int32_t iNoteValue = 0;
  uint32_t iNoteCount = 0;
};
