#include "acquisition/ublox_setup.h"

#include <cstring>

using namespace pwubx;

namespace {

// u-blox keys of the configuration items that CFG-VALSET sets (M9/M10).
constexpr uint32_t KKeyUart1Baud = 0x40520001;
constexpr uint32_t KKeyRateMeas = 0x30210001;
constexpr uint32_t KKeyRateNav = 0x30210002;
constexpr uint32_t KKeyGga = 0x209100bb;
constexpr uint32_t KKeyRmc = 0x209100ac;
constexpr uint32_t KKeyGsa = 0x209100c0;
constexpr uint32_t KKeyGsv = 0x209100c5;
constexpr uint32_t KKeyGll = 0x209100ca;
constexpr uint32_t KKeyVtg = 0x209100b1;
// Talker "GP" for every sentence, satellites in view included.
constexpr uint32_t KKeyMainTalker = 0x20930031;
constexpr uint32_t KKeyGsvTalker = 0x20930032;
constexpr uint8_t KTalkerGp = 1;
constexpr uint8_t KGsvTalkerMain = 1;
// Where CFG-NMEA (versions 0 and 1) keeps the two talker ids; shorter payloads (u-blox 6,
// GPS only) have none.
constexpr int32_t KNmeaMainTalkerAt = 9;
constexpr int32_t KNmeaGsvTalkerAt = 10;
// Layer of CFG-VALSET: RAM only, so a power cycle brings back what the receiver had.
constexpr uint8_t KLayerRam = 0x01;
// Bytes of one sentence set each epoch (RMC, GGA, GSA) and of a GSV group, with room.
constexpr int32_t KEpochBits = 230 * 10;
constexpr int32_t KGsvBits = 300 * 10;

constexpr int32_t KBaudSteps[] = {9600, 19200, 38400, 57600, 115200};

bool IsAck(const TUbxFrame& aFrame, uint8_t aClass, uint8_t aId, bool& aAcked) {
  if (aFrame.iClass != EClassAck || aFrame.iLength < 2 || aFrame.iPayload[0] != aClass || aFrame.iPayload[1] != aId)
    return false;
  if (aFrame.iId != EAckAck && aFrame.iId != EAckNak) return false;
  aAcked = aFrame.iId == EAckAck;
  return true;
}

bool ContainsNoCase(const uint8_t* aText, int32_t aLength, const char* aWord) {
  const int32_t n = static_cast<int32_t>(std::strlen(aWord));
  for (int32_t i = 0; i + n <= aLength; ++i) {
    int32_t k = 0;
    while (k < n) {
      uint8_t c = aText[i + k];
      if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
      if (c != static_cast<uint8_t>(aWord[k])) break;
      ++k;
    }
    if (k == n) return true;
  }
  return false;
}

void AppendKey(CPwByteArray& aOut, uint32_t aKey, uint32_t aValue) {
  uint8_t bytes[8];
  Put32(bytes, aKey);
  // Bits 28-30 of the key give the size of its value.
  const int32_t size = (aKey >> 28) & 7;
  const int32_t width = size == 4 ? 4 : size == 3 ? 2 : 1;
  Put32(bytes + 4, aValue);
  aOut.Append(bytes, 4 + width);
}

}  // namespace

uint8_t TUbloxSetup::MessageOf(int32_t aKind) {
  switch (aKind) {
    case EChangePort: return ECfgPrt;
    case EChangeMessage: return ECfgMsg;
    case EChangeRate: return ECfgRate;
    case EChangeTalker: return ECfgNmea;
    default: return ECfgValset;
  }
}

int32_t TUbloxSetup::BaudFor(int32_t aRateHz) {
  // A quarter spare, so that a late epoch does not push the next one out.
  const int64_t bits = (static_cast<int64_t>(aRateHz) * KEpochBits + KGsvBits) * 5 / 4;
  for (const int32_t baud : KBaudSteps)
    if (baud >= bits) return baud;
  return KBaudSteps[sizeof KBaudSteps / sizeof KBaudSteps[0] - 1];
}

void TUbloxSetup::Start(int32_t aRateHz, int32_t aPortBaud, bool aMayChangeBaud, int64_t aNowMs,
                        CPwByteArray& aCommands) {
  *this = TUbloxSetup();
  iRateHz = aRateHz;
  iLineBaud = aPortBaud;
  iMayChangeBaud = aMayChangeBaud;
  if (iRateHz > 0) Probe(aNowMs, aCommands);
}

void TUbloxSetup::Stop() { *this = TUbloxSetup(); }

void TUbloxSetup::Probe(int64_t aNowMs, CPwByteArray& aCommands) {
  AppendFrame(aCommands, EClassMon, EMonVer, nullptr, 0);
  iState = EProbing;
  Wait(aNowMs);
}

void TUbloxSetup::Plan() {
  iChangeCount = 0;
  iCurrent = 0;
  const bool raise = BaudFor(iRateHz) > iLineBaud;
  if (iValset) {
    if (raise) iChanges[iChangeCount++].iKind = EValsetBaud;
    iChanges[iChangeCount++].iKind = EValsetOutput;
    return;
  }
  if (raise) iChanges[iChangeCount++].iKind = EChangePort;
  iChanges[iChangeCount++].iKind = EChangeTalker;
  // Only what the parser reads; GSV (satellites in view) once a second.
  const uint8_t messages[][2] = {{ENmeaRmc, 1},
                                 {ENmeaGga, 1},
                                 {ENmeaGsa, 1},
                                 {ENmeaGsv, static_cast<uint8_t>(iRateHz)},
                                 {ENmeaGll, 0},
                                 {ENmeaVtg, 0}};
  for (const auto& m : messages) {
    TChange& change = iChanges[iChangeCount++];
    change.iKind = EChangeMessage;
    change.iMessage = m[0];
    change.iRate = m[1];
  }
  iChanges[iChangeCount++].iKind = EChangeRate;
}

void TUbloxSetup::NextChange(int64_t aNowMs, CPwByteArray& aCommands) {
  if (iCurrent >= iChangeCount) {
    Finish(EOutcomeDone, iRateHz);
    return;
  }
  TChange& change = iChanges[iCurrent];
  change.iOldBaud = iLineBaud;
  switch (change.iKind) {
    case EChangePort:
      AppendFrame(aCommands, EClassCfg, ECfgPrt, nullptr, 0);  // the port this line is on
      iState = EPolling;
      Wait(aNowMs);
      return;
    case EChangeMessage: {
      const uint8_t poll[2] = {EClassNmea, change.iMessage};
      AppendFrame(aCommands, EClassCfg, ECfgMsg, poll, 2);
      iState = EPolling;
      Wait(aNowMs);
      return;
    }
    case EChangeRate:
    case EChangeTalker:
      AppendFrame(aCommands, EClassCfg, MessageOf(change.iKind), nullptr, 0);
      iState = EPolling;
      Wait(aNowMs);
      return;
    default:
      SendSet(change, aNowMs, aCommands);
      return;
  }
}

void TUbloxSetup::SendSet(TChange& aChange, int64_t aNowMs, CPwByteArray& aCommands) {
  iAnswered = false;
  iState = ESetting;
  Wait(aNowMs);
  switch (aChange.iKind) {
    case EChangePort: {
      uint8_t payload[20];
      std::memcpy(payload, aChange.iOld, 20);
      Put32(payload + 8, static_cast<uint32_t>(BaudFor(iRateHz)));
      AppendFrame(aCommands, EClassCfg, ECfgPrt, payload, 20);
      iSwitchBaud = BaudFor(iRateHz);
      iWaitingSwitch = true;
      return;
    }
    case EChangeMessage: {
      // The short form sets the rate on the port the command came in on.
      const uint8_t payload[3] = {EClassNmea, aChange.iMessage, aChange.iRate};
      AppendFrame(aCommands, EClassCfg, ECfgMsg, payload, 3);
      return;
    }
    case EChangeRate: {
      uint8_t payload[6];
      std::memcpy(payload, aChange.iOld, 6);
      Put16(payload, static_cast<uint32_t>(1000 / iRateHz));
      Put16(payload + 2, 1);  // one navigation solution per measurement
      AppendFrame(aCommands, EClassCfg, ECfgRate, payload, 6);
      return;
    }
    case EChangeTalker: {
      uint8_t payload[20];
      std::memcpy(payload, aChange.iOld, static_cast<size_t>(aChange.iOldLength));
      payload[KNmeaMainTalkerAt] = KTalkerGp;
      payload[KNmeaGsvTalkerAt] = KGsvTalkerMain;
      AppendFrame(aCommands, EClassCfg, ECfgNmea, payload, aChange.iOldLength);
      return;
    }
    case EValsetBaud:
      AppendValsetBaud(aCommands, BaudFor(iRateHz));
      iSwitchBaud = BaudFor(iRateHz);
      iWaitingSwitch = true;
      return;
    default: {
      CPwByteArray payload;
      const uint8_t head[4] = {0, KLayerRam, 0, 0};
      payload.Append(head, 4);
      AppendKey(payload, KKeyRmc, 1);
      AppendKey(payload, KKeyGga, 1);
      AppendKey(payload, KKeyGsa, 1);
      AppendKey(payload, KKeyGsv, static_cast<uint32_t>(iRateHz));
      AppendKey(payload, KKeyGll, 0);
      AppendKey(payload, KKeyVtg, 0);
      AppendKey(payload, KKeyRateMeas, static_cast<uint32_t>(1000 / iRateHz));
      AppendKey(payload, KKeyRateNav, 1);
      AppendKey(payload, KKeyMainTalker, KTalkerGp);
      AppendKey(payload, KKeyGsvTalker, KGsvTalkerMain);
      AppendFrame(aCommands, EClassCfg, ECfgValset, payload.Ptr(), payload.Length());
      return;
    }
  }
}

void TUbloxSetup::AppendValsetBaud(CPwByteArray& aCommands, int32_t aBaud) {
  CPwByteArray payload;
  const uint8_t head[4] = {0, KLayerRam, 0, 0};
  payload.Append(head, 4);
  AppendKey(payload, KKeyUart1Baud, static_cast<uint32_t>(aBaud));
  AppendFrame(aCommands, EClassCfg, ECfgValset, payload.Ptr(), payload.Length());
}

void TUbloxSetup::Switched(int64_t aNowMs) {
  if (iSwitchBaud > 0) iLineBaud = iSwitchBaud;
  iSwitchBaud = 0;
  iWaitingSwitch = false;
  Wait(aNowMs);
}

void TUbloxSetup::FrameReceived(const TUbxFrame& aFrame, int64_t aNowMs, CPwByteArray& aCommands) {
  bool acked = false;
  switch (iState) {
    case EProbing: {
      if (aFrame.iClass != EClassMon || aFrame.iId != EMonVer || aFrame.iLength < 40) return;
      iRecognised = true;
      // hwVersion at 30; then extensions of 30 characters such as "PROTVER=34.10".
      const char* hw = reinterpret_cast<const char*>(aFrame.iPayload + 30);
      iValset = std::strncmp(hw, "00190000", 8) == 0 || std::strncmp(hw, "000A0000", 8) == 0;
      for (int32_t at = 40; at + 30 <= aFrame.iLength; at += 30) {
        const char* ext = reinterpret_cast<const char*>(aFrame.iPayload + at);
        if (std::strncmp(ext, "PROTVER=", 8) == 0 || std::strncmp(ext, "PROTVER ", 8) == 0) {
          int32_t major = 0;
          for (int32_t i = 8; i < 30 && ext[i] >= '0' && ext[i] <= '9'; ++i) major = major * 10 + (ext[i] - '0');
          // The configuration interface came with protocol 23 (M9 and later chips).
          if (major >= 23) iValset = true;
        }
      }
      const int32_t needed = BaudFor(iRateHz);
      if (needed > iLineBaud && !iMayChangeBaud) {
        Finish(EOutcomeNeedsBaud, needed);
        return;
      }
      Plan();
      NextChange(aNowMs, aCommands);
      return;
    }
    case EPolling: {
      TChange& change = iChanges[iCurrent];
      const uint8_t message = MessageOf(change.iKind);
      if (IsAck(aFrame, EClassCfg, message, acked)) {
        if (!acked) Fail(EOutcomeRefused, aNowMs, aCommands);
        // The ACK that follows a poll's answer: the change can go out without mistaking it
        // for the change's own.
        else if (iAnswered) SendSet(change, aNowMs, aCommands);
        return;
      }
      if (iAnswered || aFrame.iClass != EClassCfg || aFrame.iId != message) return;
      int32_t expected = change.iKind == EChangePort ? 20 : change.iKind == EChangeRate ? 6 : 8;
      if (change.iKind == EChangeTalker) expected = aFrame.iLength <= 20 ? aFrame.iLength : 20;
      if (aFrame.iLength < expected) return;
      if (change.iKind == EChangeMessage && (aFrame.iPayload[0] != EClassNmea || aFrame.iPayload[1] != change.iMessage))
        return;
      std::memcpy(change.iOld, aFrame.iPayload, static_cast<size_t>(expected));
      change.iOldLength = expected;
      if (change.iKind == EChangeTalker && (expected <= KNmeaGsvTalkerAt || aFrame.iLength > 20)) {
        // A GPS-only chip without talker ids (or a layout not known here): left as it is.
        ++iCurrent;
        NextChange(aNowMs, aCommands);
        return;
      }
      if (change.iKind == EChangePort) {
        iPortId = aFrame.iPayload[0];
        // USB and the other ports have no baud rate to raise.
        if (iPortId != 1 && iPortId != 2) {
          ++iCurrent;
          NextChange(aNowMs, aCommands);
          return;
        }
      }
      // Receivers follow the answer with an ACK of the poll; one that does not is given a
      // moment before the change goes out.
      iAnswered = true;
      iDeadline = aNowMs + KPollAckGraceMs;
      return;
    }
    case ESetting: {
      TChange& change = iChanges[iCurrent];
      if (!IsAck(aFrame, EClassCfg, MessageOf(change.iKind), acked)) return;
      if (!acked) {
        const bool port = change.iKind == EChangePort || change.iKind == EValsetBaud;
        if (port) {
          // Refused: the receiver stayed at its rate, so the line goes back to it.
          iSwitchBaud = change.iOldBaud;
          iWaitingSwitch = true;
        }
        Fail(EOutcomeRefused, aNowMs, aCommands);
        return;
      }
      change.iApplied = true;
      ++iCurrent;
      NextChange(aNowMs, aCommands);
      return;
    }
    case EReverting: {
      TChange& change = iChanges[iCurrent];
      if (!IsAck(aFrame, EClassCfg, MessageOf(change.iKind), acked)) return;
      NextRevert(aNowMs, aCommands);
      return;
    }
    default:
      return;
  }
}

void TUbloxSetup::SentenceReceived(const uint8_t* aText, int32_t aLength, int64_t aNowMs, CPwByteArray& aCommands) {
  const bool banner = aLength > 6 && aText[0] == '$' && aText[3] == 'T' && aText[4] == 'X' && aText[5] == 'T' &&
                      ContainsNoCase(aText, aLength, "u-blox");
  if (banner) {
    iBannerSeen = true;
    // A receiver switched on after the connection: asked once more.
    if (iState == EIdle && iRateHz > 0 && !iRecognised && iOutcome == EOutcomeNone && !iProbedAgain) {
      iProbedAgain = true;
      Probe(aNowMs, aCommands);
    }
    return;
  }
  if (iState == ESetting && !iWaitingSwitch && iCurrent < iChangeCount) {
    TChange& change = iChanges[iCurrent];
    // Text at the new rate shows the receiver took it, even when its ACK was lost in the
    // switch.
    if (change.iKind == EChangePort || change.iKind == EValsetBaud) {
      change.iApplied = true;
      ++iCurrent;
      NextChange(aNowMs, aCommands);
    }
  }
}

void TUbloxSetup::Tick(int64_t aNowMs, CPwByteArray& aCommands) {
  if (iState == EIdle || iWaitingSwitch || aNowMs < iDeadline) return;
  switch (iState) {
    case EProbing:
      // Silence from a receiver that showed its banner is a failure; from any other it only
      // means that this is no u-blox receiver.
      if (iBannerSeen) Finish(EOutcomeNoAnswer, 0);
      else Finish(EOutcomeNone, 0);
      return;
    case EPolling:
      if (iAnswered) SendSet(iChanges[iCurrent], aNowMs, aCommands);
      else Fail(EOutcomeNoAnswer, aNowMs, aCommands);
      return;
    case ESetting: {
      TChange& change = iChanges[iCurrent];
      if (change.iKind == EChangePort || change.iKind == EValsetBaud) {
        // Nothing at the new rate: the line goes back to where the receiver was.
        iSwitchBaud = change.iOldBaud;
        iWaitingSwitch = true;
      }
      Fail(EOutcomeNoAnswer, aNowMs, aCommands);
      return;
    }
    case EReverting:
      NextRevert(aNowMs, aCommands);
      return;
    default:
      return;
  }
}

int32_t TUbloxSetup::TimeoutMs(int64_t aNowMs) const {
  if (iState == EIdle || iWaitingSwitch) return -1;
  const int64_t left = iDeadline - aNowMs;
  return left < 0 ? 0 : static_cast<int32_t>(left);
}

void TUbloxSetup::Fail(int32_t aOutcome, int64_t aNowMs, CPwByteArray& aCommands) {
  iFailure = aOutcome;
  NextRevert(aNowMs, aCommands);
}

void TUbloxSetup::NextRevert(int64_t aNowMs, CPwByteArray& aCommands) {
  // Back to front over the changes that were applied.
  int32_t index = iState == EReverting ? iCurrent - 1 : iCurrent;
  if (iState != EReverting && (index >= iChangeCount || !iChanges[index].iApplied)) --index;
  while (index >= 0 && !iChanges[index].iApplied) --index;
  if (index < 0) {
    Finish(iFailure, 0);
    return;
  }
  TChange& change = iChanges[index];
  change.iApplied = false;
  iCurrent = index;
  iState = EReverting;
  Wait(aNowMs);
  switch (change.iKind) {
    case EChangePort:
      AppendFrame(aCommands, EClassCfg, ECfgPrt, change.iOld, change.iOldLength);
      iSwitchBaud = change.iOldBaud;
      iWaitingSwitch = true;
      return;
    case EValsetBaud:
      AppendValsetBaud(aCommands, change.iOldBaud);
      iSwitchBaud = change.iOldBaud;
      iWaitingSwitch = true;
      return;
    case EValsetOutput:
      NextRevert(aNowMs, aCommands);  // applied as a whole or not at all
      return;
    default:
      AppendFrame(aCommands, EClassCfg, MessageOf(change.iKind), change.iOld, change.iOldLength);
      return;
  }
}

void TUbloxSetup::Finish(int32_t aOutcome, int32_t aValue) {
  iState = EIdle;
  iOutcome = aOutcome;
  iOutcomeValue = aValue;
  iDeadline = 0;
}
