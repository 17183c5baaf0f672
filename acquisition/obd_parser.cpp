#include "acquisition/obd_parser.h"

#include <algorithm>

#include "acquisition/datavane_parser.h"
#include "acquisition/gps_client.h"
#include "acquisition/obd_channels.h"
#include "platform/clock.h"

namespace {

constexpr uint8_t KCr = '\r';
constexpr uint8_t KLf = '\n';
// Keeps the error counter from overflowing on a stream of error lines that never prompts.
constexpr int32_t KErrorCountCap = 1 << 20;

// Index of the first CR or LF at or after aFrom, or -1.
int32_t FindLineBreak(CPwByteArrayC aBytes, int32_t aFrom) {
  const uint8_t* p = aBytes.Ptr();
  for (int32_t i = aFrom; i < aBytes.Length(); ++i)
    if (p[i] == KCr || p[i] == KLf) return i;
  return -1;
}

// "<time>," with the time left out while the GPS clock is unknown.
void AppendTimeField(CPwByteArray& aTarget, PwTime aTime) {
  if (aTime.IsSet()) aTime.AppendNmeaTime(aTarget, 3);
  aTarget.AppendByte(',');
}

}  // namespace

CObdParser* CObdParser::NewL(TGpsClock& aClock) { return new CObdParser(aClock); }

CObdParser::CObdParser(TGpsClock& aClock) : iClock(&aClock), iTick(&pwplat::ClockTickMs) {}

CObdParser::~CObdParser() = default;

// --- Input and the dialogue ----------------------------------------------------------------

void CObdParser::AddInput(CPwByteArrayC aBytes) {
  if (aBytes.Length() >= KInputLimit)
    iInput.Copy(aBytes);
  else
    iInput.Append(aBytes);
}

void CObdParser::Process(CPwByteArray& aCommands, CPwByteArray& aReceived) {
  if (!iStarted) {
    // The engine calls right after opening the port: the first command goes out unasked.
    SendNext(aCommands);
    iStarted = true;
  }
  if (iHeld && MsUntil(iReleaseTick) <= 0) ReleaseCommand(aCommands);

  // Lines end at CR or LF; the empty lines between CR LF pairs cost nothing. The consumed bytes
  // are removed once at the end, so a long chunk of short lines stays linear.
  int32_t pos = 0;
  for (int32_t i; (i = FindLineBreak(iInput, pos)) >= 0; pos = i + 1) {
    if (i == pos) continue;
    iLine.Copy(iInput.Mid(pos, i - pos));
    if (HandleLine()) AnswerComplete(aCommands, aReceived);
  }
  if (pos > 0) iInput.Delete(0, pos);

  // The prompt is not followed by a line end.
  if (iInput.Length() == 1 && iInput.ByteAt(0) == '>') {
    iLine.Copy(CPwByteArrayC(">"));
    iInput.SetLength(0);
    if (HandleLine()) AnswerComplete(aCommands, aReceived);
  }
  // Noise without line ends would otherwise pile up for the whole connection.
  if (iInput.Length() >= KInputLimit) iInput.SetLength(0);

  if (iAwaiting && !iHeld && MsUntil(iSentTick + static_cast<uint32_t>(KAnswerTimeoutMs)) <= 0) {
    iErrorCount = std::min(iErrorCount + KAnswerTimeoutWeight, KErrorCountCap);
    AnswerComplete(aCommands, aReceived);
  }
  // A reader that talks without ever prompting must not grow the trace without bound either.
  if (iTrace.Length() >= KInputLimit) EmitTrace(aReceived, iClock->CurrentTime());
}

int32_t CObdParser::HandleLine() {
  iTrace.Append(CPwByteArrayC("IN,"));
  iTrace.Append(iLine);
  iTrace.Append(CPwByteArrayC("\r\n"));
  if (iLine.IsEmpty()) return 0;
  if (iLine == CPwByteArrayC("?")) {
    iRepeat = true;
    return 0;
  }
  if (iLine == CPwByteArrayC(">")) return 1;
  if (iLine == CPwByteArrayC("NO DATA"))
    iErrorCount = std::min(iErrorCount + KNoDataWeight, KErrorCountCap);
  else if (iLine == CPwByteArrayC("UNABLE TO CONNECT"))
    iErrorCount = std::min(iErrorCount + KUnableToConnectWeight, KErrorCountCap);
  else
    iErrorCount = 0;
  iLastResponse.Copy(iLine);
  return 0;
}

void CObdParser::AnswerComplete(CPwByteArray& aCommands, CPwByteArray& aReceived) {
  // A prompt while a command still waits for its pause cannot answer it; its lines stay in the
  // trace for the next answer.
  if (iHeld) return;
  iAwaiting = false;
  EmitSentences(aReceived);
  SendNext(aCommands);
}

void CObdParser::SendNext(CPwByteArray& aCommands) {
  if (iRepeat) {
    iRepeat = false;
  } else {
    switch (iState) {
      case ENotStarted:
        iState = EEchoOff;
        break;
      case EEchoOff:
        iState = ESupportedPids;
        break;
      case ESupportedPids:
        iState = EPolling;
        break;
      case EPolling:
        if (iErrorCount >= KErrorLimit) {
          iState = EResetting;
          iErrorCount = 0;
        }
        break;
      case EResetting:
        iState = EEchoOffAgain;
        break;
      default:
        iState = ESupportedPids;
        break;
    }
  }

  CPwByteArray command;
  switch (iState) {
    case EEchoOff:
      QueueCommand(aCommands, CPwByteArrayC("ATE0\r"), iEchoOffPauseMs);
      break;
    case ESupportedPids:
      iCurrentPid = 0;
      AppendPidCommand(iCurrentPid, command);
      QueueCommand(aCommands, command, 0);
      break;
    case EPolling:
      iCurrentPid = NextPid();
      AppendPidCommand(iCurrentPid, command);
      QueueCommand(aCommands, command, 0);
      break;
    case EResetting:
      QueueCommand(aCommands, CPwByteArrayC("ATZ\r"), 0);
      break;
    default:
      QueueCommand(aCommands, CPwByteArrayC("ATE0\r"), iResetPauseMs);
      break;
  }
}

void CObdParser::AppendPidCommand(uint8_t aPid, CPwByteArray& aCommand) const {
  aCommand.Append(CPwByteArrayC("01 "));
  aCommand.AppendHex(aPid, 2);
  aCommand.AppendByte(KCr);
}

void CObdParser::QueueCommand(CPwByteArray& aCommands, CPwByteArrayC aCommand, int32_t aPauseMs) {
  iHeldCommand.Copy(aCommand);
  iHeld = true;
  iReleaseTick = iTick() + static_cast<uint32_t>(std::max(aPauseMs, 0));
  if (aPauseMs <= 0) ReleaseCommand(aCommands);
}

void CObdParser::ReleaseCommand(CPwByteArray& aCommands) {
  aCommands.Append(iHeldCommand);
  iTrace.Append(CPwByteArrayC("OUT,"));
  iTrace.Append(iHeldCommand);
  iTrace.AppendByte(KLf);
  iHeldCommand.SetLength(0);
  iHeld = false;
  iAwaiting = true;
  iSentTick = iTick();
}

void CObdParser::EmitSentences(CPwByteArray& aReceived) {
  const PwTime t = iClock->CurrentTime();
  EmitTrace(aReceived, t);
  if ((iState == ESupportedPids || iState == EPolling) && !iLastResponse.IsEmpty()) {
    const int32_t start = aReceived.Length();
    aReceived.Append(CPwByteArrayC("$PWOBD,"));
    AppendTimeField(aReceived, t);
    aReceived.AppendHex(iCurrentPid, 2);
    aReceived.AppendByte(',');
    aReceived.Append(iLastResponse);
    iLastResponse.SetLength(0);
    uint8_t sum = 0;
    for (int32_t i = start + 1; i < aReceived.Length(); ++i) sum ^= aReceived.Ptr()[i];
    aReceived.AppendByte('*');
    aReceived.AppendHex(sum, 2);
    aReceived.Append(CPwByteArrayC("\r\n"));
  }
}

void CObdParser::EmitTrace(CPwByteArray& aReceived, PwTime aTime) {
  int32_t pos = 0;
  for (;;) {
    int32_t terminator = 0;
    const int32_t end = iTrace.Mid(pos).FindLineEnd(terminator);
    if (end < 0) break;
    if (end > 0) {
      aReceived.Append(CPwByteArrayC("$PWOBDD,"));
      AppendTimeField(aReceived, aTime);
      aReceived.Append(iTrace.Mid(pos, end));
      aReceived.Append(CPwByteArrayC("\r\n"));
    }
    pos += end + terminator;
  }
  if (pos > 0) iTrace.Delete(0, pos);
}

int32_t CObdParser::ProcessTimeoutMs() const {
  if (iHeld) return std::max(MsUntil(iReleaseTick), 0);
  if (iAwaiting) return std::max(MsUntil(iSentTick + static_cast<uint32_t>(KAnswerTimeoutMs)), 0);
  return -1;
}

int32_t CObdParser::MsUntil(uint32_t aTick) const { return static_cast<int32_t>(aTick - iTick()); }

void CObdParser::Reset() {
  iState = ENotStarted;
  iStarted = false;
  iRepeat = false;
  iErrorCount = 0;
  iCurrentPid = 0;
  iInput.SetLength(0);
  iTrace.SetLength(0);
  iLastResponse.SetLength(0);
  iHeldCommand.SetLength(0);
  iHeld = false;
  iAwaiting = false;
  ClearObdChannels();
}

// --- Polling lists -------------------------------------------------------------------------

void CObdParser::ClearObdChannels() {
  iHighCount = 0;
  iLowCount = 0;
  iHighIndex = 0;
  iLowIndex = 0;
  iPassCount = 0;
}

void CObdParser::AddObdChannel(int32_t aPid, int32_t aPriority) {
  if (aPid < 0 || aPid > 0xFF) return;
  if (aPriority == 2) {
    if (iHighCount < KMaxPids) iHigh[iHighCount++] = static_cast<uint8_t>(aPid);
  } else if (iLowCount < KMaxPids) {
    iLow[iLowCount++] = static_cast<uint8_t>(aPid);
  }
}

uint8_t CObdParser::HighPriorityPid(int32_t aIndex) const {
  if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iHighCount)) PanicCore(EPanicVectorIndex);
  return iHigh[aIndex];
}

uint8_t CObdParser::LowPriorityPid(int32_t aIndex) const {
  if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iLowCount)) PanicCore(EPanicVectorIndex);
  return iLow[aIndex];
}

uint8_t CObdParser::NextLowPid() {
  if (iLowIndex >= iLowCount) iLowIndex = 0;
  return iLow[iLowIndex++];
}

uint8_t CObdParser::NextPid() {
  if (iHighCount == 0) {
    if (iLowCount == 0) return 0;
    iPassCount = 0;
    return NextLowPid();
  }
  if (iHighIndex < iHighCount) return iHigh[iHighIndex++];
  // One pass over the high-priority list is complete.
  ++iPassCount;
  iHighIndex = 0;
  if (iPassCount >= KPassesPerLowPid) {
    iPassCount = 0;
    if (iLowCount > 0) return NextLowPid();
  }
  iHighIndex = 1;
  return iHigh[0];
}

// --- Application side ----------------------------------------------------------------------

namespace {

bool Contains(const TChannelId* aIds, int32_t aCount, TChannelId aId) {
  if (!aIds) return false;
  for (int32_t i = 0; i < aCount; ++i)
    if (aIds[i] == aId) return true;
  return false;
}

}  // namespace

void SetUpObdPolling(CObdChannelList& aChannels, CGpsClient& aClient, const TObdPollingChoice& aChoice) {
  aClient.ClearObdChannels();
  if (const uint8_t query = aChannels.PendingRangeQuery()) aClient.AddObdChannel(query, 2);
  if (aChoice.iSpeedOnly) {
    if (const CObdChannel* speed = aChannels.ChannelById(KChannelObdSpeed)) aClient.AddObdChannel(speed->Pid(), 2);
  } else {
    for (int32_t i = 0; i < aChannels.Count(); ++i) {
      const CObdChannel& channel = aChannels.At(i);
      if (channel.SupportState() != CObdChannel::ESupported) continue;
      if (Contains(aChoice.iHighPriority, aChoice.iHighPriorityCount, channel.Id()))
        aClient.AddObdChannel(channel.Pid(), 2);
      else if (Contains(aChoice.iLowPriority, aChoice.iLowPriorityCount, channel.Id()))
        aClient.AddObdChannel(channel.Pid(), 1);
    }
  }
  aChannels.ClearRebuildFlag();
}

CProtocolHandler* NewDeviceProtocolHandlerL(TDataKind aKind, TGpsClock& aClock) {
  switch (aKind) {
    case TDataKind::Obd:
      return CObdParser::NewL(aClock);
    case TDataKind::DataLogger:
      return CDatavaneParser::NewL(aClock);
    default:
      return nullptr;
  }
}
