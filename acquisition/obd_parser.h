// The ELM327 dialogue of the OBD-II reader. One text command ending in CR goes out, the reader
// answers with lines and a ">" prompt, and only then does the next command go: echo off, the
// supported-PID bitmap, then the wanted PIDs in a high/low priority rotation. Each answer leaves
// the reader thread as a "$PWOBD" sentence (checksummed, parsed like NMEA on the application
// thread), together with a "$PWOBDD" trace of the raw dialogue for the NMEA log.
//
// The parser never sleeps on the reader thread: a command that must wait (the pauses after
// start and after a reset) is held back and released by the Process call the engine makes once
// ProcessTimeoutMs has passed, so the engine lock stays free for the application thread.
#pragma once

#include <cstdint>

#include "acquisition/channel_id.h"
#include "acquisition/channel_state.h"
#include "acquisition/data_engine.h"
#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"

class CGpsClient;
class CObdChannelList;

class CObdParser : public CProtocolHandler {
 public:
  // Dialogue states: what the command in flight asked for.
  enum TState : int32_t {
    ENotStarted = 0,
    EEchoOff = 1,         // ATE0
    ESupportedPids = 2,   // 01 00
    EPolling = 3,         // 01 <pid>
    EResetting = 4,       // ATZ
    EEchoOffAgain = 5,    // ATE0 after the reset
  };

  static constexpr int32_t KMaxPids = 256;
  // A chunk this long replaces the buffered input; buffered input without a line end that grows
  // this long is dropped.
  static constexpr int32_t KInputLimit = 102400;
  // Error weight that resets the reader: 20 "NO DATA" (weight 1) or 5 "UNABLE TO CONNECT"
  // (weight 4) without a good answer between them.
  static constexpr int32_t KErrorLimit = 20;
  static constexpr int32_t KNoDataWeight = 1;
  static constexpr int32_t KUnableToConnectWeight = 4;
  static constexpr int32_t KEchoOffPauseMs = 1000;
  static constexpr int32_t KResetPauseMs = 5000;
  // A reader sends its prompt within a second or two, even after a protocol search; a prompt
  // lost to line noise would otherwise stall the dialogue for the rest of the connection. A
  // missing prompt counts as an error of weight 4 and the dialogue goes on.
  static constexpr int32_t KAnswerTimeoutMs = 20000;
  static constexpr int32_t KAnswerTimeoutWeight = 4;
  // Low-priority PIDs get one slot after this many passes over the high-priority list.
  static constexpr int32_t KPassesPerLowPid = 5;

  // aClock (not owned) stamps the sentences and must outlive the parser. Leaves -2.
  static CObdParser* NewL(TGpsClock& aClock);
  ~CObdParser() override;

  // --- CProtocolHandler
  void AddInput(CPwByteArrayC aBytes) override;
  void Process(CPwByteArray& aCommands, CPwByteArray& aReceived) override;
  void Reset() override;
  void ClearObdChannels() override;
  // Priority 2 appends to the high-priority list, any other value to the low-priority list; a
  // full list (256 PIDs) or a PID outside 0-255 is ignored. Duplicates are kept.
  void AddObdChannel(int32_t aPid, int32_t aPriority) override;
  int32_t ProcessTimeoutMs() const override;

  // The next PID of the rotation (advances it): the high-priority list in turn, one
  // low-priority PID after every five complete passes; PID 0 when both lists are empty.
  uint8_t NextPid();

  // The tick counter the pauses and the answer time-out are measured on (tests pass their own);
  // the pause lengths (tests shorten them).
  void SetTickFunction(TGpsClock::TTickFunction aTick) { iTick = aTick; }
  void SetPauses(int32_t aEchoOffMs, int32_t aResetMs) {
    iEchoOffPauseMs = aEchoOffMs;
    iResetPauseMs = aResetMs;
  }

  int32_t State() const { return iState; }
  int32_t ErrorCount() const { return iErrorCount; }
  uint8_t CurrentPid() const { return iCurrentPid; }
  bool Started() const { return iStarted; }
  // A command is waiting for its pause to end.
  bool CommandHeld() const { return iHeld; }
  int32_t HighPriorityCount() const { return iHighCount; }
  int32_t LowPriorityCount() const { return iLowCount; }
  uint8_t HighPriorityPid(int32_t aIndex) const;
  uint8_t LowPriorityPid(int32_t aIndex) const;
  int32_t BufferedInput() const { return iInput.Length(); }

 private:
  explicit CObdParser(TGpsClock& aClock);

  // 1 when the line is the prompt (the reader is ready for the next command).
  int32_t HandleLine();
  void SendNext(CPwByteArray& aCommands);
  void EmitSentences(CPwByteArray& aReceived);
  // The complete trace lines as "$PWOBDD" sentences.
  void EmitTrace(CPwByteArray& aReceived, PwTime aTime);
  // The prompt arrived (or its time-out passed): the answer is complete.
  void AnswerComplete(CPwByteArray& aCommands, CPwByteArray& aReceived);
  // Queues aCommand at once or, with a pause, holds it until the pause has passed.
  void QueueCommand(CPwByteArray& aCommands, CPwByteArrayC aCommand, int32_t aPauseMs);
  void ReleaseCommand(CPwByteArray& aCommands);
  void AppendPidCommand(uint8_t aPid, CPwByteArray& aCommand) const;
  uint8_t NextLowPid();
  // Milliseconds from now to aTick (negative when it has passed).
  int32_t MsUntil(uint32_t aTick) const;

  TGpsClock* iClock = nullptr;
  TGpsClock::TTickFunction iTick = nullptr;
  int32_t iEchoOffPauseMs = KEchoOffPauseMs;
  int32_t iResetPauseMs = KResetPauseMs;

  CPwByteArray iInput;
  CPwByteArray iLine;
  CPwByteArray iLastResponse;
  CPwByteArray iTrace;

  int32_t iState = ENotStarted;
  bool iStarted = false;
  bool iRepeat = false;
  int32_t iErrorCount = 0;
  uint8_t iCurrentPid = 0;

  // The command waiting for its pause, and when it may go.
  CPwByteArray iHeldCommand;
  bool iHeld = false;
  uint32_t iReleaseTick = 0;
  // A command has gone out and its prompt has not arrived yet; since when.
  bool iAwaiting = false;
  uint32_t iSentTick = 0;

  uint8_t iHigh[KMaxPids] = {};
  uint8_t iLow[KMaxPids] = {};
  int32_t iHighCount = 0;
  int32_t iLowCount = 0;
  int32_t iHighIndex = 0;
  int32_t iLowIndex = 0;
  int32_t iPassCount = 0;
};

// What a session wants polled: "Performance testing" with "Use OBD speed" polls the OBD speed
// alone; otherwise the supported channels in the high- and low-priority sets of the settings.
struct TObdPollingChoice {
  bool iSpeedOnly = false;
  const TChannelId* iHighPriority = nullptr;
  int32_t iHighPriorityCount = 0;
  const TChannelId* iLowPriority = nullptr;
  int32_t iLowPriorityCount = 0;
};

// Rebuilds the OBD engine's polling lists through the GPS client from the channel list's
// support states (and its pending range query), then clears the rebuild flag. The track session
// calls it after a handled "$PWOBD" sentence whenever the rebuild flag is set.
void SetUpObdPolling(CObdChannelList& aChannels, CGpsClient& aClient, const TObdPollingChoice& aChoice);

// The protocol handlers of the device readers, for CDataEngine::SetProtocolHandlerFactory: the
// ELM327 dialogue for the OBD-II kind, the data logger's sentence rewriter for the logger kind,
// none for the others. Leaves -2.
CProtocolHandler* NewDeviceProtocolHandlerL(TDataKind aKind, TGpsClock& aClock);
