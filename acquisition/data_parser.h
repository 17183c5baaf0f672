// The abstract input parser and the observer through which every parser delivers samples.
// The NMEA parser and the foreign-log parsers all present their data through these two, so the
// track session and the session importer never know which source they are fed from.
#pragma once

#include <cstdint>

#include "acquisition/channel_id.h"
#include "acquisition/geodesy.h"
#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_time.h"

class CSlowBearing;
class CObdChannelList;
class CChannelState;
class CPwString;
class TGpsClock;

// One (channel, value) pair of a ChannelsParsed report.
struct TChannelValue {
  TChannelId iChannel = 0;
  double iValue = 0.0;
};

// The values of one logger or accelerometer sentence; at most one per logger channel.
struct TChannelValueList {
  static constexpr int32_t KMaxValues = 12;

  int32_t iCount = 0;
  TChannelValue iValues[KMaxValues];

  // Ignored once the list is full.
  void Append(TChannelId aChannel, double aValue) {
    if (iCount < KMaxValues) iValues[iCount++] = TChannelValue{aChannel, aValue};
  }
  int32_t Count() const { return iCount; }
  const TChannelValue& At(int32_t aIndex) const {
    if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iCount)) PanicCore(EPanicVectorIndex);
    return iValues[aIndex];
  }
};

class MParsedDataObserver {
 public:
  // One epoch. aTime is the GPS time of day; aBearingDegrees is the course as received;
  // aHdop/aVdop are invalid doubles when not known; aDate (a date code) and aDateTime are
  // either both set or both unset. Returns nonzero when the sample produced a timing event.
  virtual int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime,
                                 TDistance aAltitude, TSpeed aSpeed, double aBearingDegrees,
                                 double aHdop, double aVdop, int32_t aSatellites,
                                 int32_t aDifferential, int32_t aDiscontinuity, PwTime aDate,
                                 PwTime aDateTime) = 0;
  // One decoded OBD-II value: time of day, PID, raw value.
  virtual void ObdValueParsed(PwTime aTime, int32_t aPid, uint32_t aRawValue) = 0;
  // One "$PWOBD" sentence has been handled.
  virtual void ObdSentenceDone() = 0;
  // The channel values of one data-logger or accelerometer sentence.
  virtual void ChannelsParsed(PwTime aTime, const TChannelValueList& aValues) = 0;
  // One complete input line including its CR LF; aFlag is 0 for live parsing.
  virtual void LineReceived(CPwByteArrayC aLine, int32_t aFlag) = 0;

 protected:
  ~MParsedDataObserver() = default;
};

class CDataParser : public CPwBase {
 public:
  // Results of Parse.
  enum : int32_t { ENothing = 0, EParsed = 1, ETimingEvent = 2 };

  ~CDataParser() override = default;
  // Feeds the next bytes of the stream. Every pointer may be null and is then skipped.
  // Returns ETimingEvent when the observer reported a timing event for a position, else
  // EParsed when an epoch or OBD sentence was processed, else ENothing.
  virtual int32_t Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing* aSlowBearing,
                        CObdChannelList* aObdChannels, CChannelState* aChannelState, TGpsClock* aClock) = 0;
  virtual void Reset() = 0;
  // Appends device configuration commands; the base version appends nothing.
  virtual void WriteCommands(CPwByteArray& aOutput) { (void)aOutput; }
  // True once the parser has given up on its input for good (a file it will not read any
  // further), with the reason for the user in aReason. Parsers that drop what they cannot use
  // and read on never give up.
  virtual bool Refusal(CPwString& aReason) const {
    (void)aReason;
    return false;
  }

  // Samples refused since construction for an impossible value (a position off the globe,
  // minutes of arc of 60 or more, a speed outside 0..150 m/s, a time of day that is none).
  // Reset keeps the count, so an import of several files adds them all up.
  int32_t DroppedCount() const { return iDroppedCount; }

 protected:
  void CountDropped() {
    if (iDroppedCount < INT32_MAX) ++iDroppedCount;
  }

 private:
  int32_t iDroppedCount = 0;
};
