// How well the GPS receiver served a session, judged from the stored samples alone so that a
// live recording, a reopened one and an imported log give the same figures:
// - TGnssHealth, the summary kept in the session file: fix rate and its jitter from the
//   receiver's own time stamps, the share of 3D fixes, HDOP and satellites, and the number of
//   glitches;
// - CGnssMeter, which the position list feeds with every sample it takes. It decides which
//   samples are glitches (kept as received, but never used for crossings, lap distances or
//   high/low points), keeps the running distance past them, collects the summary and watches
//   the live rate and precision for the timer's status line.
//
// A sample is a glitch when it has no fix (the receivers' "no solution" HDOP of 99), or when
// it departs from the trace in a way no car can and the trace comes straight back: an
// acceleration of more than 30 m/s^2 both from the last usable sample and on to the next one,
// or a jump of more than 50 m beyond what the speeds allow both from the last usable sample
// and on to the next one. Looking at the next sample too keeps a true change of place (the
// car moved while the receiver was cold or the recording paused) from throwing away the rest
// of the session. Only a suspect sample waits for its successor; every other sample is
// decided as it arrives, so clean data is timed without delay.
#pragma once

#include <cstdint>
#include <vector>

#include "acquisition/position_plot.h"

class PwFileStream;

struct TGnssHealth {
  static constexpr int32_t KUnknown = 2147483647;
  static constexpr int32_t KFieldCount = 9;
  // Bytes of the stored form.
  static constexpr int32_t KStoredBytes = 4 + 4 * KFieldCount;

  int32_t iSamples = 0;               // position samples taken
  int32_t iGlitches = 0;              // of them, kept out of timing by the glitch rule
  int32_t iIntervalMs = KUnknown;     // median time between samples (gaps over 3 s left out)
  int32_t iJitterUs = KUnknown;       // standard deviation of that time, microseconds
  int32_t i3dPermille = KUnknown;     // samples with a 3D fix among those reporting VDOP
  int32_t iHdopMedian = KUnknown;     // HDOP x 100 (samples reporting one)
  int32_t iHdopMax = KUnknown;
  int32_t iSatellitesMin = KUnknown;  // satellites used (samples reporting any)
  int32_t iSatellitesMedian = KUnknown;

  bool IsKnown() const { return iSamples > 0; }
  // The fix rate the median interval gives, Hz; 0 when unknown.
  double RateHz() const { return iIntervalMs != KUnknown && iIntervalMs > 0 ? 1000.0 / iIntervalMs : 0.0; }
  bool operator==(const TGnssHealth&) const = default;

  // The stored form: Int32 field count, then the fields above in order as Int32. A reader
  // takes the fields it knows and skips the rest, so the record can grow.
  void WriteTo(PwFileStream& aStream) const;
  void ReadFrom(PwFileStream& aStream);
};

class CGnssMeter {
 public:
  static constexpr double KMaxAcceleration = 30.0;  // m/s^2
  static constexpr double KMaxJump = 50.0;          // metres beyond what the speed allows
  static constexpr double KNoFixHdop = 99.0;
  // Intervals longer than this are gaps (lost fix, pause), not the receiver's rate.
  static constexpr int32_t KLongestInterval = 3000;
  // The live warnings need their condition for this long (receiver time).
  static constexpr int32_t KWarningHoldMs = 5000;
  static constexpr double KWeakHdop = 3.0;

  CGnssMeter() = default;

  // Empties everything.
  void Reset();
  // Takes the next sample of the list (its index is the number taken before). With
  // aComputeDistance the sample's running distance is computed here (arc radians, from the
  // last usable sample, so a glitch adds nothing to it) and returned; otherwise the sample's
  // own stored distance is taken as the running distance and returned.
  double Take(const TPositionPlot& aPlot, bool aComputeDistance);

  // Samples below this index are decided. Only a suspect sample waits, for the next sample
  // that has a fix (normally its successor).
  int32_t DecidedCount() const { return iPending ? iPendingIndex : iTaken; }
  bool IsGlitch(int32_t aIndex) const;
  // Decided and not a glitch.
  bool IsUsable(int32_t aIndex) const { return aIndex >= 0 && aIndex < DecidedCount() && !IsGlitch(aIndex); }
  int32_t GlitchCount() const { return static_cast<int32_t>(iGlitches.size()); }

  // The summary of every sample taken so far.
  TGnssHealth Health() const;

  // Live warnings, as of the newest sample: every interval of the last 5 s or more has been
  // more than twice the usual one (the rate below half the session's usual rate), and the
  // HDOP has stayed above 3 for 5 s. The rate over that stretch in whole Hz and the newest
  // HDOP go with them.
  bool RateLow() const;
  int32_t RecentRateHz() const;
  bool PrecisionWeak() const;
  double LatestHdop() const { return iLatestHdop; }

  // Turns the glitch rule off (every sample is usable); for measuring what the rule changes.
  void SetRuleEnabled(bool aEnabled) { iRuleEnabled = aEnabled; }

 private:
  struct TKept {
    int32_t iTime = 0;
    TPosition iPosition;
    double iSpeed = 0.0;   // m/s, NaN when the sample has none
    double iDistance = 0.0;
    int32_t iIndex = 0;
  };
  static TKept Kept(const TPositionPlot& aPlot, int32_t aIndex, double aDistance);
  // Whether the step from aFrom to aTo is beyond a car: an acceleration above the limit, or
  // a jump beyond the speeds' reach.
  static bool Accelerates(const TKept& aFrom, const TKept& aTo);
  static bool Jumps(const TKept& aFrom, const TKept& aTo);
  static bool Jumps(const TKept& aFrom, const TKept& aTo, TDistance aStep);
  void MarkGlitch(int32_t aIndex);
  void Collect(const TPositionPlot& aPlot);

  bool iRuleEnabled = true;
  int32_t iTaken = 0;
  std::vector<int32_t> iGlitches;  // sorted
  bool iHaveUsable = false;
  TKept iUsable;                   // the newest usable sample
  bool iPending = false;
  bool iPendingAccelerates = false;
  bool iPendingJumps = false;
  int32_t iPendingIndex = 0;
  TKept iPendingSample;

  // Summary counts.
  bool iHaveTime = false;
  int32_t iLastTime = 0;
  std::vector<uint32_t> iIntervals;  // histogram, 1 ms bins up to KLongestInterval
  int64_t iIntervalCount = 0;
  int64_t iIntervalSum = 0;
  int64_t iIntervalSquares = 0;
  int32_t iVdopReported = 0;
  int32_t i3dFixes = 0;
  std::vector<uint32_t> iHdops;      // histogram, 0.01 bins below the no-fix HDOP
  int32_t iHdopCount = 0;
  int32_t iHdopMax = 0;
  uint32_t iSatellites[64] = {};
  int32_t iSatelliteCount = 0;

  // Live watch: the usual interval (the median, refreshed now and then), since when the
  // intervals are too long and how many samples came since, and since when the HDOP is weak.
  int32_t iUsualIntervalMs = 0;
  bool iSlow = false;
  int32_t iSlowSince = 0;
  int32_t iSlowSamples = 0;
  bool iWeak = false;
  int32_t iWeakSince = 0;
  double iLatestHdop = InvalidReal();
};
