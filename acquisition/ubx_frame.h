// The binary protocol of u-blox receivers: frames of 0xB5 0x62, class, id, a little-endian
// payload length, the payload and an 8-bit Fletcher checksum over class..payload. The frame
// encoder and decoder, and a splitter that takes such frames out of a receiver's byte stream
// so that the NMEA text between them reaches the parser unchanged.
#pragma once

#include <cstdint>

#include "foundation/pw_byte_array.h"

namespace pwubx {

constexpr uint8_t KSync1 = 0xB5;
constexpr uint8_t KSync2 = 0x62;
// Sync, class, id, length before the payload, the checksum after it.
constexpr int32_t KHeaderBytes = 6;
constexpr int32_t KFrameOverhead = 8;
// Longer payloads are not taken for frames: the answers a lap timer asks for are far shorter,
// and a false sync in noise must not hold back the text behind it for long.
constexpr int32_t KMaxPayload = 1024;

enum : uint8_t { EClassNav = 0x01, EClassAck = 0x05, EClassCfg = 0x06, EClassMon = 0x0A };
enum : uint8_t { EAckNak = 0x00, EAckAck = 0x01 };
enum : uint8_t { ECfgPrt = 0x00, ECfgMsg = 0x01, ECfgRate = 0x08, ECfgNmea = 0x17, ECfgValset = 0x8A };
enum : uint8_t { EMonVer = 0x04 };
// The class of the NMEA sentences in CFG-MSG, and their ids.
enum : uint8_t {
  EClassNmea = 0xF0,
  ENmeaGga = 0x00,
  ENmeaGll = 0x01,
  ENmeaGsa = 0x02,
  ENmeaGsv = 0x03,
  ENmeaRmc = 0x04,
  ENmeaVtg = 0x05,
};

struct TUbxFrame {
  uint8_t iClass = 0;
  uint8_t iId = 0;
  const uint8_t* iPayload = nullptr;  // valid while the bytes it was decoded from are
  int32_t iLength = 0;
};

// The two checksum bytes over aLength bytes (class, id, length and payload).
void Checksum(const uint8_t* aBytes, int32_t aLength, uint8_t& aA, uint8_t& aB);
// Appends a whole frame; may leave -2.
void AppendFrame(CPwByteArray& aOut, uint8_t aClass, uint8_t aId, const uint8_t* aPayload, int32_t aLength);
// Decodes the frame that fills aBytes exactly; false when it is not one (sync, length or
// checksum wrong).
bool DecodeFrame(const uint8_t* aBytes, int32_t aLength, TUbxFrame& aFrame);

// Little-endian fields of payloads.
inline uint16_t Get16(const uint8_t* aP) { return static_cast<uint16_t>(aP[0] | (aP[1] << 8)); }
inline uint32_t Get32(const uint8_t* aP) {
  return static_cast<uint32_t>(aP[0]) | (static_cast<uint32_t>(aP[1]) << 8) | (static_cast<uint32_t>(aP[2]) << 16) |
         (static_cast<uint32_t>(aP[3]) << 24);
}
inline void Put16(uint8_t* aP, uint32_t aValue) {
  aP[0] = static_cast<uint8_t>(aValue);
  aP[1] = static_cast<uint8_t>(aValue >> 8);
}
inline void Put32(uint8_t* aP, uint32_t aValue) {
  Put16(aP, aValue);
  Put16(aP + 2, aValue >> 16);
}

class MUbxFrameObserver {
 public:
  // The frame is valid during the call only.
  virtual void UbxFrameReceived(const TUbxFrame& aFrame) = 0;

 protected:
  ~MUbxFrameObserver() = default;
};

// Takes UBX frames out of a byte stream cut anywhere. Bytes that turn out not to be a frame
// (a false sync, a bad checksum, an unknown class, a length beyond KMaxPayload) are passed on
// as text, in their place in the stream, so no NMEA is lost to noise.
class TUbxStreamSplitter {
 public:
  // The text goes to aText (appended), each frame to aObserver (may be null). May leave -2
  // while appending; the splitter stays consistent.
  void Split(const uint8_t* aBytes, int32_t aCount, CPwByteArray& aText, MUbxFrameObserver* aObserver);
  // Forgets a frame begun (the line was reopened).
  void Reset();
  // Bytes held back as the beginning of a frame.
  int32_t Pending() const { return iPendingLength; }

 private:
  void Step(uint8_t aByte, CPwByteArray& aText, MUbxFrameObserver* aObserver);
  // The held bytes were no frame: the first is text, the rest is looked at again.
  void Reject(CPwByteArray& aText);

  uint8_t iPending[KMaxPayload + KFrameOverhead] = {};
  int32_t iPendingLength = 0;
  // Bytes given back by Reject, read before the rest of the input. Held bytes plus these
  // never exceed one frame, so one frame's room is enough.
  uint8_t iReplay[KMaxPayload + KFrameOverhead] = {};
  int32_t iReplayStart = 0;
  int32_t iReplayEnd = 0;
};

}  // namespace pwubx
