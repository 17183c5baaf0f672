#include "acquisition/ubx_frame.h"

#include <cstring>

namespace pwubx {

namespace {

// The classes a receiver sends; a sync followed by anything else is noise.
bool KnownClass(uint8_t aClass) {
  switch (aClass) {
    case 0x01: case 0x02: case 0x04: case 0x05: case 0x06: case 0x09: case 0x0A: case 0x0B: case 0x0D:
    case 0x10: case 0x13: case 0x21: case 0x27: case 0x28:
      return true;
    default:
      return false;
  }
}

}  // namespace

void Checksum(const uint8_t* aBytes, int32_t aLength, uint8_t& aA, uint8_t& aB) {
  uint8_t a = 0, b = 0;
  for (int32_t i = 0; i < aLength; ++i) {
    a = static_cast<uint8_t>(a + aBytes[i]);
    b = static_cast<uint8_t>(b + a);
  }
  aA = a;
  aB = b;
}

void AppendFrame(CPwByteArray& aOut, uint8_t aClass, uint8_t aId, const uint8_t* aPayload, int32_t aLength) {
  uint8_t header[KHeaderBytes] = {KSync1, KSync2, aClass, aId, 0, 0};
  Put16(header + 4, static_cast<uint32_t>(aLength));
  uint8_t a = 0, b = 0;
  Checksum(header + 2, 4, a, b);
  for (int32_t i = 0; i < aLength; ++i) {
    a = static_cast<uint8_t>(a + aPayload[i]);
    b = static_cast<uint8_t>(b + a);
  }
  aOut.Append(header, KHeaderBytes);
  if (aLength > 0) aOut.Append(aPayload, aLength);
  const uint8_t sum[2] = {a, b};
  aOut.Append(sum, 2);
}

bool DecodeFrame(const uint8_t* aBytes, int32_t aLength, TUbxFrame& aFrame) {
  if (aLength < KFrameOverhead || aBytes[0] != KSync1 || aBytes[1] != KSync2) return false;
  const int32_t payload = Get16(aBytes + 4);
  if (payload + KFrameOverhead != aLength) return false;
  uint8_t a = 0, b = 0;
  Checksum(aBytes + 2, aLength - 4, a, b);
  if (a != aBytes[aLength - 2] || b != aBytes[aLength - 1]) return false;
  aFrame.iClass = aBytes[2];
  aFrame.iId = aBytes[3];
  aFrame.iPayload = aBytes + KHeaderBytes;
  aFrame.iLength = payload;
  return true;
}

void TUbxStreamSplitter::Reset() {
  iPendingLength = 0;
  iReplayStart = iReplayEnd = 0;
}

void TUbxStreamSplitter::Split(const uint8_t* aBytes, int32_t aCount, CPwByteArray& aText,
                               MUbxFrameObserver* aObserver) {
  int32_t next = 0;
  for (;;) {
    if (iReplayStart < iReplayEnd) {
      Step(iReplay[iReplayStart++], aText, aObserver);
      continue;
    }
    if (next >= aCount) break;
    if (iPendingLength == 0) {
      // Plain text up to the next sync byte goes on in one piece.
      const void* sync = std::memchr(aBytes + next, KSync1, static_cast<size_t>(aCount - next));
      const int32_t end = sync ? static_cast<int32_t>(static_cast<const uint8_t*>(sync) - aBytes) : aCount;
      if (end > next) {
        aText.Append(aBytes + next, end - next);
        next = end;
        continue;
      }
    }
    Step(aBytes[next++], aText, aObserver);
  }
}

void TUbxStreamSplitter::Step(uint8_t aByte, CPwByteArray& aText, MUbxFrameObserver* aObserver) {
  if (iPendingLength == 0) {
    if (aByte == KSync1) iPending[iPendingLength++] = aByte;
    else aText.AppendByte(aByte);
    return;
  }
  iPending[iPendingLength++] = aByte;
  switch (iPendingLength) {
    case 2:
      if (aByte != KSync2) Reject(aText);
      return;
    case 3:
      if (!KnownClass(aByte)) Reject(aText);
      return;
    case 4:
    case 5:
      return;
    case 6:
      if (Get16(iPending + 4) > KMaxPayload) Reject(aText);
      return;
    default:
      break;
  }
  if (iPendingLength < Get16(iPending + 4) + KFrameOverhead) return;
  TUbxFrame frame;
  if (!DecodeFrame(iPending, iPendingLength, frame)) {
    Reject(aText);
    return;
  }
  iPendingLength = 0;
  if (aObserver) aObserver->UbxFrameReceived(frame);
}

void TUbxStreamSplitter::Reject(CPwByteArray& aText) {
  // The held bytes came before the replay bytes still unread; they go in front of them.
  const int32_t back = iPendingLength - 1;
  const int32_t unread = iReplayEnd - iReplayStart;
  std::memmove(iReplay + back, iReplay + iReplayStart, static_cast<size_t>(unread));
  std::memcpy(iReplay, iPending + 1, static_cast<size_t>(back));
  iReplayStart = 0;
  iReplayEnd = back + unread;
  iPendingLength = 0;
  aText.AppendByte(KSync1);  // last: a leave here loses nothing but this byte
}

}  // namespace pwubx
