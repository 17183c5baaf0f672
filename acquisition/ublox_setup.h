// Sets a u-blox receiver to the fix rate the user chose, on the reader thread next to the port.
// The receiver is recognised by its answer to MON-VER (polled at connection) or by its
// "$GPTXT ... u-blox" banner. Older chips are set with CFG-PRT, CFG-NMEA, CFG-MSG and
// CFG-RATE, each polled first so that a refusal can put back what was there; M9/M10 chips
// with CFG-VALSET. Multi-constellation chips talk as "GN" by default, which the parser does
// not read: they are set to talk as "GP".
// The baud rate is raised first when the rate needs it, and only when the port's rate is ours
// to choose. Every change waits up to 1 s for its ACK; a NAK or silence ends the set-up, puts
// back the changes made so far and leaves a note.
//
// No I/O here: the owner feeds frames, sentences and the clock, writes the commands it is
// given, and switches the port's rate when asked.
#pragma once

#include <cstdint>

#include "acquisition/ubx_frame.h"
#include "foundation/pw_byte_array.h"

class TUbloxSetup {
 public:
  enum TOutcome : int32_t {
    EOutcomeNone = 0,      // not asked, still working, or not a u-blox receiver
    EOutcomeDone = 1,      // set to the rate (value: Hz)
    EOutcomeRefused = 2,   // a NAK: the receiver was kept as it was
    EOutcomeNoAnswer = 3,  // no answer within 1 s: kept as it was
    EOutcomeNeedsBaud = 4, // the rate needs a higher baud rate than the one set (value: baud)
  };
  static constexpr int32_t KAnswerWaitMs = 1000;
  // How long the ACK of a poll is waited for after the poll's answer.
  static constexpr int32_t KPollAckGraceMs = 100;

  // The baud rate a rate needs with RMC, GGA and GSA each epoch and GSV once a second.
  static int32_t BaudFor(int32_t aRateHz);

  // aRateHz 0 leaves every receiver alone. aPortBaud is the line's rate now; aMayChangeBaud
  // whether the receiver's rate may be raised (the user left the baud rate at "Default").
  void Start(int32_t aRateHz, int32_t aPortBaud, bool aMayChangeBaud, int64_t aNowMs, CPwByteArray& aCommands);
  void Stop();

  void FrameReceived(const pwubx::TUbxFrame& aFrame, int64_t aNowMs, CPwByteArray& aCommands);
  // A sentence with a good checksum, without CR LF.
  void SentenceReceived(const uint8_t* aText, int32_t aLength, int64_t aNowMs, CPwByteArray& aCommands);
  // Time-outs; call when TimeoutMs has passed.
  void Tick(int64_t aNowMs, CPwByteArray& aCommands);
  // Ms until Tick is due, -1 when nothing waits.
  int32_t TimeoutMs(int64_t aNowMs) const;

  // A rate switch the owner must make once the commands queued so far are on the line.
  int32_t SwitchBaud() const { return iSwitchBaud; }
  void Switched(int64_t aNowMs);

  bool Busy() const { return iState != EIdle; }
  bool Recognised() const { return iRecognised; }
  bool ValsetChip() const { return iValset; }
  int32_t Outcome() const { return iOutcome; }
  int32_t OutcomeValue() const { return iOutcomeValue; }
  int32_t LineBaud() const { return iLineBaud; }

 private:
  enum TState : int32_t {
    EIdle,
    EProbing,   // MON-VER polled
    EPolling,   // the current change's old value polled (older chips)
    ESetting,   // the change sent, its ACK awaited
    EReverting, // a revert sent, its ACK awaited
  };
  enum TChangeKind : int32_t { EChangePort, EChangeMessage, EChangeRate, EValsetBaud, EValsetOutput, EChangeTalker };
  static uint8_t MessageOf(int32_t aKind);
  struct TChange {
    int32_t iKind = 0;
    uint8_t iMessage = 0;    // NMEA id (EChangeMessage)
    uint8_t iRate = 0;       // per epoch (EChangeMessage)
    uint8_t iOld[20] = {};   // the polled payload, put back on failure
    int32_t iOldLength = 0;
    int32_t iOldBaud = 0;    // the baud rate before (port changes)
    bool iApplied = false;
  };
  static constexpr int32_t KMaxChanges = 12;

  void Probe(int64_t aNowMs, CPwByteArray& aCommands);
  void Plan();
  void NextChange(int64_t aNowMs, CPwByteArray& aCommands);
  void SendSet(TChange& aChange, int64_t aNowMs, CPwByteArray& aCommands);
  void Fail(int32_t aOutcome, int64_t aNowMs, CPwByteArray& aCommands);
  void NextRevert(int64_t aNowMs, CPwByteArray& aCommands);
  void Finish(int32_t aOutcome, int32_t aValue);
  void Wait(int64_t aNowMs) { iDeadline = aNowMs + KAnswerWaitMs; }
  void AppendValsetBaud(CPwByteArray& aCommands, int32_t aBaud);

  int32_t iState = EIdle;
  int32_t iRateHz = 0;
  int32_t iLineBaud = 0;
  bool iMayChangeBaud = false;
  bool iRecognised = false;
  bool iBannerSeen = false;
  bool iValset = false;
  bool iProbedAgain = false;
  bool iAnswered = false;  // the poll of the current change was answered
  int64_t iDeadline = 0;
  int32_t iSwitchBaud = 0;
  bool iWaitingSwitch = false;  // the deadline starts once the port was switched
  TChange iChanges[KMaxChanges];
  int32_t iChangeCount = 0;
  int32_t iCurrent = 0;
  int32_t iOutcome = EOutcomeNone;
  int32_t iOutcomeValue = 0;
  int32_t iFailure = EOutcomeNone;  // kept while reverting
  uint8_t iPortId = 1;
};
