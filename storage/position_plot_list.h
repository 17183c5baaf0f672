// The GPS samples of a session in recording order, with the running distance along them, the
// interpolation used for trap crossings and the replay cursor that steps through a trace.
#pragma once

#include <cstdint>

#include "acquisition/position_plot.h"
#include "foundation/pw_vector.h"
#include "storage/gnss_health.h"
#include "storage/plot_list_base.h"

class CPositionPlotList : public CPlotListBase {
 public:
  static constexpr int32_t KSegmentSize = 2048;
  static constexpr int32_t KChannelCount = 12;

  CPositionPlotList() = default;
  ~CPositionPlotList() override = default;

  // CPlotListBase. Channels 0-11 are GPS time, distance, direct distance, speed, altitude,
  // satellites, bearing, HDOP, VDOP, 3D precision, lateral G and longitudinal G; values are in
  // seconds, metres, m/s, metres, count, degrees, the precision figures and G.
  int32_t Count() const override { return iPlots.Count(); }
  PwTime TimeAt(int32_t aIndex) const override;
  TDistance DistanceAt(int32_t aIndex) const override;
  double SpeedAt(int32_t aIndex) const override;
  int32_t ChannelCount() const override { return KChannelCount; }
  int32_t ChannelValue(int32_t aChannel, int32_t aIndex, PwTime aBaseTime,
                       double& aValue) const override;
  TChannelId ChannelId(int32_t aChannel) const override;

  // Sample i; panic 3 out of range.
  const TPositionPlot& At(int32_t aIndex) const { return iPlots.At(aIndex); }
  // The newest sample; panic 3 when empty.
  const TPositionPlot& Last() const { return iPlots.At(iPlots.Count() - 1); }

  // Adds the great-circle distance from the previous valid position to the running distance
  // and remembers this position (an invalid one is ignored). Returns the running distance.
  TDistance AppendComputed(TGeoPoint aPoint);
  // The running distance of a new sample (all but its distance filled in), measured from the
  // last usable sample so that a glitch adds nothing; the sample is judged here, and the
  // AppendStored that follows does not judge it again.
  TDistance AppendJudged(const TPositionPlot& aPlot);
  // Appends a finished sample and follows the smallest speed. Leaves KErrNoMemory.
  void AppendStored(const TPositionPlot& aPlot);

  // The receiver's health and the glitch rule's verdicts on the samples taken so far.
  const CGnssMeter& Gnss() const { return iGnss; }
  CGnssMeter& Gnss() { return iGnss; }
  // Sample i may be used for crossings, lap distances and high/low points: it is decided
  // (only the newest may wait for its successor) and not a glitch.
  bool IsUsable(int32_t aIndex) const { return iGnss.IsUsable(aIndex); }
  int32_t DecidedCount() const { return iGnss.DecidedCount() < Count() ? iGnss.DecidedCount() : Count(); }

  TDistance RunningDistance() const { return iRunningDistance; }
  // Continues the running distance after a load: from the newest sample's distance and place.
  void ContinueDistance();
  // The smallest valid speed stored so far, in TPositionPlot units; KInvalidInt before any.
  int32_t MinimumSpeed() const { return iMinimumSpeed; }

  // Time of the last minus the first sample; 0 with fewer than two.
  PwTime Duration() const;
  // Initial great-circle bearing from the newest sample to aPoint; invalid when the list is
  // empty or either point is invalid.
  TAngle BearingFromLast(TGeoPoint aPoint) const;

  // Interpolation between samples i - 1 and i at fraction f (0 gives i - 1, 1 gives i),
  // defined for 1 <= i < Count; otherwise the result is 0 (the invalid point for positions).
  // Speed and distance are in TPositionPlot units; speed is invalid if either side is.
  double InterpolateSpeed(int32_t aIndex, double aFraction) const;
  double InterpolateDistance(int32_t aIndex, double aFraction) const;
  TGeoPoint InterpolatePosition(int32_t aIndex, double aFraction) const;
  // Compass degrees in [0, 360), taking the short way across north; invalid if either is.
  double InterpolateBearing(int32_t aIndex, double aFraction) const;
  // A whole sample at the fraction: time t(i-1) + trunc((t(i) - t(i-1)) * f + 0.5), the
  // fields above, altitude likewise, precision and satellites of sample i (no discontinuity).
  // False (aPlot untouched) outside 1 <= i < Count.
  bool InterpolateSample(int32_t aIndex, double aFraction, TPositionPlot& aPlot) const;
  // The same between any two samples (aFrom before aTo), for crossings that step over a
  // glitch.
  static TPositionPlot InterpolateBetween(const TPositionPlot& aFrom, const TPositionPlot& aTo, double aFraction);

  // Replay cursor: a sample index, 0 initially.
  int32_t Cursor() const { return iCursor; }
  void SetCursor(int32_t aIndex) { iCursor = aIndex; }
  // Moves forward to the last sample within aMetres of the cursor's distance (at least one
  // sample; from the last sample it wraps to 0).
  void CursorForward(double aMetres);
  // Moves back to the first sample after one lying more than aMetres behind (at least one
  // sample; from 0 it wraps to the last).
  void CursorBack(double aMetres);
  // Steps aCount samples; beyond either end it wraps to the other.
  void CursorStep(int32_t aCount, bool aForward);

  // Empties the list, its distance, smallest speed, cursor and time line.
  void Reset();

  // Heap bytes held by the samples (segments and their index), for size checks.
  int64_t MemoryBytes() const;

 private:
  // Acceleration between the sample and its predecessor (the first sample uses the second).
  double LateralG(int32_t aIndex) const;
  double LongitudinalG(int32_t aIndex) const;
  // Sample the direct distance of channel 2 is measured from: the first at or after the base.
  int32_t ReferenceIndex(PwTime aBaseTime) const;

  CPwVectorSeg<TPositionPlot> iPlots{KSegmentSize};
  TDistance iRunningDistance{0.0};
  TPosition iPrevious = TPosition::Invalid();
  int32_t iMinimumSpeed = KInvalidInt;
  int32_t iCursor = 0;
  CGnssMeter iGnss;
  bool iJudgedAhead = false;
};
