// Reader of DL-1 run files (.run): a stream of binary messages, each an id byte, a payload of a
// length fixed by the id (or given by the second byte) and a checksum. Time, position, speed,
// heading, altitude and date messages make positions; acceleration and frequency messages make
// logger channels. A message that fails its checksum costs one byte, so the reader falls back
// into step after any garbage.
#pragma once

#include <cstdint>

#include "acquisition/data_parser.h"

class CDL1Parser : public CDataParser {
 public:
  // Bytes kept between calls: room for two of the longest messages.
  static constexpr int32_t KBufferSize = 510;
  // Table value of a message whose length is its second byte.
  static constexpr int32_t KVariableLength = 255;

  static CDL1Parser* NewL();
  ~CDL1Parser() override;

  int32_t Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing* aSlowBearing,
                CObdChannelList* aObdChannels, CChannelState* aChannelState, TGpsClock* aClock) override;
  void Reset() override;

  // Length of message aId, id byte and checksum included; 0 for an unknown id,
  // KVariableLength when the second byte holds it.
  static int32_t MessageLength(uint8_t aId);

 private:
  // The consumers of one Parse call.
  struct TSinks {
    MParsedDataObserver* iObserver;
    CSlowBearing* iSlowBearing;
    CChannelState* iChannelState;
    TGpsClock* iClock;
  };

  CDL1Parser() = default;
  template <class T, class... A>
  friend T* PwNewL(A&&...);
  void ConstructL();

  // Frames, checks and decodes every complete message among the unread bytes.
  void Drain(const TSinks& aSinks);
  // aMessage passed its checksum.
  void Decode(const uint8_t* aMessage, const TSinks& aSinks);
  void UpdateChannelState(CChannelState* aChannelState) const;
  // The current position had an impossible value (off the globe, faster than 150 m/s): it is
  // refused and counted.
  void DropPosition();
  // Offers the current position (when complete) and the logger values (when timed).
  void Report(const TSinks& aSinks);

  uint8_t* iBuffer = nullptr;  // KBufferSize bytes
  int32_t iWrite = 0;
  int32_t iRead = 0;
  int32_t iPendingId = -1;      // -1: no message pending
  int32_t iPendingLength = 0;

  int32_t iLatestTime = KInvalidInt;    // ms, from the time message
  int32_t iLoggerTime = KInvalidInt;    // time of the accelerations and frequency
  int32_t iPositionTime = KInvalidInt;
  int32_t iDate = KInvalidInt;          // date code
  TCoordinate iLatitude;
  TCoordinate iLongitude;
  // Metres, m/s and degrees; the invalid double when unknown.
  double iAltitude = 0.0;
  double iSpeed = 0.0;
  double iBearing = 0.0;
  double iLateralG = 0.0;
  double iLongitudinalG = 0.0;
  double iFrequency = 0.0;

  bool iDiscontinuity = true;
  bool iAccepted = false;
  bool iOffered = false;
};
