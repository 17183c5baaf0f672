// The running difference between the lap being driven and a reference lap, aligned by place
// rather than by time or rolling distance: every sample is projected onto the reference lap's
// trace (flattened onto a tangent plane at its start) and the reference's elapsed time is
// interpolated at the projected point. The match only moves forward, and only within a window
// a little longer than the distance driven since the last match, so a track that crosses itself
// or runs back beside itself cannot make it jump. At a split or the finish the difference is
// taken from the two laps' crossings, so it equals the split or lap time difference exactly.
#pragma once

#include <cstdint>
#include <vector>

#include "acquisition/position_plot.h"

class CLap;

// One value of the running difference.
struct TDeltaReading {
  int32_t iElapsed = 0;      // ms since the lap's start crossing
  double iDistance = 0.0;    // metres driven since the start crossing
  int32_t iDelta = 0;        // ms against the reference; negative is faster
  int32_t iPredicted = 0;    // reference lap time + delta, ms
  double iReferenceDistance = 0.0;  // metres along the reference where the lap was matched
  int32_t iCrossingKey = -1;  // trap key when the value comes from a crossing
  bool iValid = false;       // a difference has been found in this lap
  bool iStale = false;       // the newest sample could not be matched: the last value is held
};

// Hears the reading of every sample of a followed lap, and of every split and the finish.
class MDeltaSink {
 public:
  virtual void DeltaSample(int32_t aSampleIndex, const TDeltaReading& aReading) = 0;
  virtual void DeltaCrossing(const TDeltaReading& aReading) { (void)aReading; }

 protected:
  ~MDeltaSink() = default;
};

class CLapDelta {
 public:
  // Samples projecting farther than this from the reference, or with a worse HDOP, are not
  // matched.
  static constexpr double KMaxOffset = 25.0;
  static constexpr double KMaxHdop = 3.0;
  // The match may move ahead by this much more than the distance driven since the last match
  // (and by at most half as much again as that distance).
  static constexpr double KWindowSlack = 30.0;
  static constexpr double KWindowFactor = 1.5;
  // Segments looked at per sample, whatever the window: a reference lap that stood still for
  // a while must not make one sample expensive.
  static constexpr int32_t KMaxSegmentsPerSample = 256;

  CLapDelta() = default;

  // Takes a copy of a finished lap's trace as the reference (the lap may go away afterwards)
  // and begins a new lap; false, with no reference, when the lap is unfinished or has fewer
  // than two usable positions.
  bool SetReference(const CLap& aLap);
  void ClearReference();
  bool HasReference() const { return iVertices.size() >= 2; }
  // Lap time of the reference, ms.
  int32_t ReferenceTime() const { return iReferenceTime; }
  // Length of the reference trace, metres.
  double ReferenceLength() const { return iVertices.empty() ? 0.0 : iVertices.back().iLength; }

  // A new lap starts at this crossing: the match goes back to the reference's start.
  void StartLap(const TPositionPlot& aStart);
  // A sample of the running lap, after its start crossing.
  const TDeltaReading& AddSample(const TPositionPlot& aSample);
  // A split or the finish of the running lap. A key the reference lacks changes nothing.
  const TDeltaReading& AddCrossing(int32_t aKey, const TPositionPlot& aCrossing, bool aFinish);
  const TDeltaReading& Current() const { return iReading; }

  // --- Following a lap of a lap list, sample by sample as it grows.
  // Starts following aLap (which has a start) from its start crossing.
  void BeginLap(const CLap& aLap);
  // Feeds what aLap gained since the last call, in the order it happened: each split crossing
  // before the sample it was detected at, the samples up to the finish or the newest one, then
  // the finish. aSink (may be null) hears every sample's reading.
  void Follow(const CLap& aLap, MDeltaSink* aSink);
  // The whole lap from its start.
  void RunLap(const CLap& aLap, MDeltaSink* aSink);
  // The lap's finish has been fed.
  bool LapDone() const { return iLapDone; }

 private:
  struct TVertex {
    double iX;       // metres east of the reference's start
    double iY;       // metres north
    double iTime;    // ms since the reference's start crossing
    double iLength;  // metres along the trace from its start
    double iPace;    // ms per metre from the receiver's speed there, or 0 when unknown
    double iTx, iTy;  // direction of travel here (unit), from the trace either side
  };
  // Fraction of the way along segment aSegment (by length) at which the point aX, aY lies,
  // taking the segment as the curve leaving and reaching its ends in the directions of travel
  // there: between sparse samples a bend is cut short by the chord, and the straight
  // projection bunches the points near the bend's apex. aChord, the straight projection's
  // fraction, is kept where the trace hardly bends. aLength: the length the fraction is of.
  double CurveFraction(int32_t aSegment, double aX, double aY, double aChord, double& aLength) const;
  // The reference's elapsed time at fraction aFraction of segment aSegment, aLength metres
  // long: a cubic through the two ends with the slopes the speeds give, where they are known
  // and agree with the times (so the curve never runs back), else the straight line.
  double TimeOnSegment(int32_t aSegment, double aFraction, double aLength) const;
  struct TSplitMark {
    int32_t iKey;
    int32_t iVertex;
    int32_t iTime;  // the reference's split time, ms
  };

  void AddVertex(const TPositionPlot& aPlot, double aTime, int32_t aSplitKey);
  // The best match within aWindow metres ahead of the last one: iFound*.
  void Project(double aX, double aY, double aWindow);
  bool Usable(const TPositionPlot& aSample) const;
  void Hold();
  void Cross(int32_t aKey, const TPositionPlot& aCrossing, bool aFinish, MDeltaSink* aSink);

  std::vector<TVertex> iVertices;
  std::vector<TSplitMark> iSplits;
  int32_t iReferenceTime = 0;
  int32_t iOriginLatitude = 0;
  int32_t iOriginLongitude = 0;
  double iMetresPerLatitudeUnit = 0.0;
  double iMetresPerLongitudeUnit = 0.0;

  // The running lap.
  TPositionPlot iStart;
  TDeltaReading iReading;
  int32_t iSegment = 0;           // the match lies on vertices iSegment..iSegment + 1
  double iFraction = 0.0;         // at this fraction of that segment
  double iMatchedDriven = 0.0;    // metres driven at the last match
  // Found by Project.
  int32_t iFoundSegment = 0;
  double iFoundFraction = 0.0;
  double iFoundOffset = 0.0;
  double iFoundLength = 0.0;  // of the found segment, along its curve
  // Following: the next sample and crossing of the lap to feed.
  int32_t iNextSample = 0;
  int32_t iNextCrossing = 0;
  bool iLapDone = false;
};
