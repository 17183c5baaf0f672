#include "acquisition/gps_receiver_control.h"

#include <chrono>
#include <thread>

#include "platform/serial_port.h"

namespace {

constexpr int32_t KSearchOrder[] = {9600, 38400, 57600, 115200, 4800, 19200};
// Longest wait for bytes on their way out before the line's rate changes.
constexpr int32_t KMaxSwitchDelayMs = 250;

int32_t HexDigit(uint8_t aChar) {
  if (aChar >= '0' && aChar <= '9') return aChar - '0';
  if (aChar >= 'A' && aChar <= 'F') return aChar - 'A' + 10;
  if (aChar >= 'a' && aChar <= 'f') return aChar - 'a' + 10;
  return -1;
}

// A sentence as the parser takes it: '$', then printable text, and either a good checksum or
// none at all (then at least an identifier of five characters and a comma).
bool GoodSentence(const uint8_t* aLine, int32_t aLength) {
  if (aLength < 7 || aLine[0] != '$') return false;
  for (int32_t i = 1; i < aLength; ++i)
    if (aLine[i] < 0x20 || aLine[i] > 0x7E) return false;
  if (aLine[aLength - 3] == '*') {
    const int32_t high = HexDigit(aLine[aLength - 2]), low = HexDigit(aLine[aLength - 1]);
    if (high < 0 || low < 0) return false;
    uint8_t sum = 0;
    for (int32_t i = 1; i < aLength - 3; ++i) sum ^= aLine[i];
    return sum == high * 16 + low;
  }
  return aLine[6] == ',';
}

bool Noise(uint8_t aByte) { return aByte > 0x7E || (aByte < 0x20 && aByte != '\r' && aByte != '\n' && aByte != '\t'); }

}  // namespace

TGpsReceiverControl::TGpsReceiverControl() = default;

void TGpsReceiverControl::SetUp(int32_t aRateHz, int32_t aKnownBaud) {
  iRateHz = aRateHz;
  iKnownBaud = aKnownBaud;
}

void TGpsReceiverControl::Connected(PwSerialPort* aPort, int32_t aRequestedBaud, int64_t aNowMs,
                                    CPwByteArray& aCommands) {
  iPort = aPort;
  iRequestedBaud = aRequestedBaud;
  iSplitter.Reset();
  iLineLength = 0;
  iLineOverflow = false;
  iHeld.SetLength(0);
  iConfirmed = false;
  iRemember = false;
  iSetupStarted = false;
  iSetupReported = false;
  iSetup.Stop();
  iQueuedBytes = 0;
  iSearch = ESearchOff;
  iWorkingBaud = 0;
  if (aRequestedBaud > 0) {
    iWorkingBaud = aRequestedBaud;
    // The user chose the rate: no search, the receiver is set up at once.
    iConfirmed = true;
    iSetupStarted = true;
    const int32_t before = aCommands.Length();
    iSetup.Start(iRateHz, aRequestedBaud, false, aNowMs, aCommands);
    iQueuedBytes += aCommands.Length() - before;
    return;
  }
  if (!iPort) return;
  // The rate that worked last time first: a receiver set faster earlier is still fast.
  if (iKnownBaud > 0) {
    if (iKnownBaud != iPort->CurrentBaudRate()) SetRate(iKnownBaud);
    iRemember = true;
  }
  iStartBaud = iPort->CurrentBaudRate();
  iSearch = ESearchListening;
  iNoise = 0;
}

void TGpsReceiverControl::Disconnected() {
  // A receiver that comes back is looked for at the rate it had.
  if (RememberBaud() > 0) iKnownBaud = RememberBaud();
  iPort = nullptr;
  iSplitter.Reset();
  iSearch = ESearchOff;
  iSetup.Stop();
  iHeld.SetLength(0);
}

void TGpsReceiverControl::SetRate(int32_t aBaud) {
  if (!iPort) return;
  (void)iPort->Configure(aBaud);
  // What came at the old rate is noise at the new one.
  iPort->DiscardInput();
}

void TGpsReceiverControl::Say(int32_t aNote, int32_t aValue) {
  iNote = aNote;
  iNoteValue = aValue;
  ++iNoteCount;
}

void TGpsReceiverControl::Input(const uint8_t* aBytes, int32_t aCount, int64_t aNowMs, CPwByteArray& aText,
                                CPwByteArray& aCommands) {
  iNow = aNowMs;
  iCommandsNow = &aCommands;
  const int32_t commandsBefore = aCommands.Length();
  // Until sentences proved the rate right, the text is held back.
  CPwByteArray& out = iSearch != ESearchOff ? iHeld : aText;
  const int32_t start = out.Length();
  iFrameSeen = false;
  if (aCount > 0) iTryHeard = true;
  iSplitter.Split(aBytes, aCount, out, this);
  iCommandsNow = nullptr;
  // The text is looked at line by line for good sentences and noise.
  for (int32_t i = start; i < out.Length(); ++i) {
    const uint8_t c = out.Ptr()[i];
    if (iSearch != ESearchOff && Noise(c)) ++iNoise;
    if (c == '\n') {
      if (!iLineOverflow) {
        int32_t length = iLineLength;
        if (length > 0 && iLine[length - 1] == '\r') --length;
        iLineLength = length;
        LineDone(aNowMs, aCommands);
      }
      iLineLength = 0;
      iLineOverflow = false;
      continue;
    }
    if (c == '$') {
      // A sentence begins: whatever was before it on the line was noise.
      iLineLength = 0;
      iLineOverflow = false;
    }
    if (iLineLength < static_cast<int32_t>(sizeof iLine)) iLine[iLineLength++] = c;
    else iLineOverflow = true;
  }
  if (iFrameSeen && !iConfirmed) Confirmed(aNowMs, aCommands);
  if (iSearch != ESearchOff && iConfirmed) {
    // The held text of the rate that proved right goes on; after a switch from its first
    // sentence, as what came before it is the tail of one cut by the switch.
    int32_t first = 0;
    while (iSearch == ESearchTrying && first < iHeld.Length() && iHeld.Ptr()[first] != '$') ++first;
    aText.Append(CPwByteArrayC(iHeld.Ptr() + first, iHeld.Length() - first));
    iHeld.SetLength(0);
    iSearch = ESearchOff;
  } else if (iSearch == ESearchListening && iHeld.Length() > KMaxHeld) {
    // Text without sentences at the port's own rate: a device of its own kind, passed on.
    aText.Append(iHeld);
    iHeld.SetLength(0);
    iSearch = ESearchOff;
  }
  if (!iConfirmed && iSearch == ESearchListening && iNoise >= KNoiseLimit) StartSearch(aNowMs);
  if (!iConfirmed && iSearch == ESearchTrying && iNoise >= KNoiseLimit) TryNext(aNowMs);
  CheckSetup();
  iQueuedBytes += aCommands.Length() - commandsBefore;
  // Time-outs fall due while input keeps coming too.
  Tick(aNowMs, aCommands);
}

void TGpsReceiverControl::LineDone(int64_t aNowMs, CPwByteArray& aCommands) {
  if (!GoodSentence(iLine, iLineLength)) return;
  if (!iConfirmed) Confirmed(aNowMs, aCommands);
  if (iSetupStarted) iSetup.SentenceReceived(iLine, iLineLength, aNowMs, aCommands);
}

void TGpsReceiverControl::Confirmed(int64_t aNowMs, CPwByteArray& aCommands) {
  iConfirmed = true;
  const int32_t baud = iPort ? iPort->CurrentBaudRate() : 0;
  if (iSearch == ESearchTrying) {
    Say(ENoteBaudFound, baud);
    iRemember = true;
  }
  iWorkingBaud = baud;
  if (!iSetupStarted) {
    iSetupStarted = true;
    iSetup.Start(iRateHz, baud, true, aNowMs, aCommands);
  }
}

void TGpsReceiverControl::UbxFrameReceived(const pwubx::TUbxFrame& aFrame) {
  iFrameSeen = true;
  if (iSetupStarted && iCommandsNow) iSetup.FrameReceived(aFrame, iNow, *iCommandsNow);
}

void TGpsReceiverControl::StartSearch(int64_t aNowMs) {
  iHeld.SetLength(0);
  iSearch = ESearchTrying;
  iSearchStart = aNowMs;
  iCandidateCount = 0;
  iNextCandidate = 0;
  auto add = [&](int32_t aBaud) {
    if (aBaud <= 0 || aBaud == iStartBaud) return;
    for (int32_t i = 0; i < iCandidateCount; ++i)
      if (iCandidates[i] == aBaud) return;
    iCandidates[iCandidateCount++] = aBaud;
  };
  for (const int32_t baud : KSearchOrder) add(baud);
  TryNext(aNowMs);
}

void TGpsReceiverControl::TryNext(int64_t aNowMs) {
  iHeld.SetLength(0);
  iNoise = 0;
  iLineLength = 0;
  iSplitter.Reset();
  if (iNextCandidate >= iCandidateCount || aNowMs - iSearchStart >= KSearchMs) {
    // Nothing worked: back to where the port began, and everything is passed on again.
    iSearch = ESearchOff;
    SetRate(iStartBaud);
    Say(ENoteNoSentences, 0);
    return;
  }
  iTryBaud = iCandidates[iNextCandidate++];
  iTryStart = aNowMs;
  iTryHeard = false;
  SetRate(iTryBaud);
}

void TGpsReceiverControl::Tick(int64_t aNowMs, CPwByteArray& aCommands) {
  const int32_t before = aCommands.Length();
  if (iSearch == ESearchTrying && aNowMs - iTryStart >= TryLimitMs()) TryNext(aNowMs);
  if (iSetupStarted) iSetup.Tick(aNowMs, aCommands);
  CheckSetup();
  iQueuedBytes += aCommands.Length() - before;
}

int32_t TGpsReceiverControl::TimeoutMs(int64_t aNowMs) const {
  int32_t wait = iSetupStarted ? iSetup.TimeoutMs(aNowMs) : -1;
  if (iSearch == ESearchTrying) {
    const int64_t left = iTryStart + TryLimitMs() - aNowMs;
    const int32_t tryWait = left < 0 ? 0 : static_cast<int32_t>(left);
    if (wait < 0 || tryWait < wait) wait = tryWait;
  }
  return wait;
}

void TGpsReceiverControl::AfterWrite(int64_t aNowMs) {
  const int32_t baud = iSetup.SwitchBaud();
  if (baud <= 0 || !iPort) return;
  // The command must be on the line at the old rate before the line changes: the bytes the
  // driver still holds, then the time the last of them takes.
  iPort->DrainOutput(KMaxSwitchDelayMs);
  const int32_t lineBaud = iPort->CurrentBaudRate() > 0 ? iPort->CurrentBaudRate() : 9600;
  int64_t delay = static_cast<int64_t>(iQueuedBytes) * 10 * 1000 / lineBaud + 5;
  if (delay > KMaxSwitchDelayMs) delay = KMaxSwitchDelayMs;
  std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  (void)iPort->Configure(baud);
  iQueuedBytes = 0;
  iSplitter.Reset();
  iLineLength = 0;
  iSetup.Switched(aNowMs + delay);
  iWorkingBaud = baud;
  iRemember = iRequestedBaud == 0;
}

void TGpsReceiverControl::CheckSetup() {
  if (!iSetupStarted || iSetupReported || iSetup.Busy()) return;
  const int32_t outcome = iSetup.Outcome();
  if (outcome == TUbloxSetup::EOutcomeNone) return;  // no u-blox receiver, or nothing asked
  iSetupReported = true;
  iWorkingBaud = iSetup.LineBaud() > 0 ? iSetup.LineBaud() : iWorkingBaud;
  switch (outcome) {
    case TUbloxSetup::EOutcomeDone: Say(ENoteRateSet, iSetup.OutcomeValue()); break;
    case TUbloxSetup::EOutcomeRefused: Say(ENoteRateRefused, 0); break;
    case TUbloxSetup::EOutcomeNoAnswer: Say(ENoteNoAnswer, 0); break;
    case TUbloxSetup::EOutcomeNeedsBaud: Say(ENoteNeedsBaud, iSetup.OutcomeValue()); break;
    default: break;
  }
}
