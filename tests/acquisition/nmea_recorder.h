// Test helpers for the NMEA parser: an observer that records everything it is given, and a
// builder of framed sentences.
#pragma once

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/data_parser.h"

namespace pwtest {

struct TRecordedEpoch {
  int32_t iLatitude = 0;
  int32_t iLongitude = 0;
  int32_t iTime = 0;
  double iAltitude = 0;  // metres
  double iSpeed = 0;     // m/s
  double iBearing = 0;
  double iHdop = 0;
  double iVdop = 0;
  int32_t iSatellites = 0;
  int32_t iDifferential = 0;
  int32_t iDiscontinuity = 0;
  int32_t iDate = 0;
  int32_t iDateTime = 0;
};

inline bool SameReal(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

inline bool operator==(const TRecordedEpoch& a, const TRecordedEpoch& b) {
  return a.iLatitude == b.iLatitude && a.iLongitude == b.iLongitude && a.iTime == b.iTime &&
         SameReal(a.iAltitude, b.iAltitude) && SameReal(a.iSpeed, b.iSpeed) && SameReal(a.iBearing, b.iBearing) &&
         SameReal(a.iHdop, b.iHdop) && SameReal(a.iVdop, b.iVdop) && a.iSatellites == b.iSatellites &&
         a.iDifferential == b.iDifferential && a.iDiscontinuity == b.iDiscontinuity && a.iDate == b.iDate &&
         a.iDateTime == b.iDateTime;
}

inline std::ostream& operator<<(std::ostream& s, const TRecordedEpoch& e) {
  return s << "{t=" << e.iTime << " lat=" << e.iLatitude << " lon=" << e.iLongitude << " v=" << e.iSpeed
           << " brg=" << e.iBearing << " sats=" << e.iSatellites << " disc=" << e.iDiscontinuity
           << " date=" << e.iDate << "}";
}

class TNmeaRecorder : public MParsedDataObserver {
 public:
  struct TObd {
    int32_t iTime;
    int32_t iPid;
    uint32_t iRaw;
  };
  struct TChannels {
    int32_t iTime;
    std::vector<std::pair<int32_t, double>> iValues;
  };

  int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime, TDistance aAltitude,
                         TSpeed aSpeed, double aBearingDegrees, double aHdop, double aVdop, int32_t aSatellites,
                         int32_t aDifferential, int32_t aDiscontinuity, PwTime aDate, PwTime aDateTime) override {
    TRecordedEpoch e;
    e.iLatitude = aLatitude.iValue;
    e.iLongitude = aLongitude.iValue;
    e.iTime = aTime.Milliseconds();
    e.iAltitude = aAltitude.Metres();
    e.iSpeed = aSpeed.MetresPerSecond();
    e.iBearing = aBearingDegrees;
    e.iHdop = aHdop;
    e.iVdop = aVdop;
    e.iSatellites = aSatellites;
    e.iDifferential = aDifferential;
    e.iDiscontinuity = aDiscontinuity;
    e.iDate = aDate.Milliseconds();
    e.iDateTime = aDateTime.Milliseconds();
    iEpochs.push_back(e);
    return iTimingResult;
  }
  void ObdValueParsed(PwTime aTime, int32_t aPid, uint32_t aRawValue) override {
    iObd.push_back(TObd{aTime.Milliseconds(), aPid, aRawValue});
  }
  void ObdSentenceDone() override { ++iObdDone; }
  void ChannelsParsed(PwTime aTime, const TChannelValueList& aValues) override {
    TChannels c{aTime.Milliseconds(), {}};
    for (int32_t i = 0; i < aValues.Count(); ++i) c.iValues.emplace_back(aValues.At(i).iChannel, aValues.At(i).iValue);
    iChannels.push_back(c);
  }
  void LineReceived(CPwByteArrayC aLine, int32_t aFlag) override {
    if (iKeepLines) iLines.emplace_back(aLine.View());
    iLineFlags |= aFlag;
  }

  std::vector<TRecordedEpoch> iEpochs;
  std::vector<TObd> iObd;
  int32_t iObdDone = 0;
  std::vector<TChannels> iChannels;
  std::vector<std::string> iLines;
  int32_t iLineFlags = 0;
  bool iKeepLines = true;
  int32_t iTimingResult = 0;
};

// "$" + aBody + "*hh" + CR LF, with the XOR checksum of aBody.
inline std::string Nmea(const std::string& aBody, const char* aEnd = "\r\n") {
  unsigned sum = 0;
  for (unsigned char c : aBody) sum ^= c;
  char hex[4];
  std::snprintf(hex, sizeof hex, "%02X", sum);
  return "$" + aBody + "*" + hex + aEnd;
}

}  // namespace pwtest
