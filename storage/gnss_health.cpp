#include "storage/gnss_health.h"

#include <algorithm>
#include <cmath>

#include "foundation/file_stream.h"
#include "foundation/pw_base.h"

namespace {

constexpr int32_t KHealthFields = TGnssHealth::KFieldCount;
constexpr int32_t KHdopBins = 9900;  // 0.00 .. 98.99: from 99 on a sample has no fix
// The usual interval is refreshed from the histogram after this many intervals.
constexpr int64_t KUsualRefresh = 256;

double MetresPerSecond(int32_t aStoredSpeed) {
  return aStoredSpeed == KInvalidInt ? InvalidReal() : aStoredSpeed / KArcUnitsPerRadian / 1000.0 * EarthRadius;
}

// The lower median of a histogram holding aCount values; KUnknown when empty.
template <typename T>
int32_t HistogramMedian(const T& aBins, int64_t aCount) {
  if (aCount <= 0) return TGnssHealth::KUnknown;
  const int64_t wanted = (aCount + 1) / 2;
  int64_t seen = 0;
  for (size_t i = 0; i < std::size(aBins); ++i) {
    seen += aBins[i];
    if (seen >= wanted) return static_cast<int32_t>(i);
  }
  return TGnssHealth::KUnknown;
}

}  // namespace

// --- TGnssHealth ------------------------------------------------------------------------------

void TGnssHealth::WriteTo(PwFileStream& aStream) const {
  aStream.WriteInt32(KHealthFields);
  for (int32_t v : {iSamples, iGlitches, iIntervalMs, iJitterUs, i3dPermille, iHdopMedian, iHdopMax,
                    iSatellitesMin, iSatellitesMedian})
    aStream.WriteInt32(v);
}

void TGnssHealth::ReadFrom(PwFileStream& aStream) {
  const int32_t count = aStream.ReadInt32();
  if (count < 0 || count > aStream.Remaining() / 4) Leave(KErrCorrupt);
  int32_t* const fields[KHealthFields] = {&iSamples,   &iGlitches,   &iIntervalMs,    &iJitterUs,        &i3dPermille,
                                          &iHdopMedian, &iHdopMax, &iSatellitesMin, &iSatellitesMedian};
  for (int32_t i = 0; i < count; ++i) {
    const int32_t v = aStream.ReadInt32();
    if (i < KHealthFields) *fields[i] = v;
  }
  if (iSamples < 0 || iGlitches < 0 || iGlitches > iSamples) Leave(KErrCorrupt);
}

// --- CGnssMeter -------------------------------------------------------------------------------

void CGnssMeter::Reset() {
  const bool rule = iRuleEnabled;
  *this = CGnssMeter();
  iRuleEnabled = rule;
}

CGnssMeter::TKept CGnssMeter::Kept(const TPositionPlot& aPlot, int32_t aIndex, double aDistance) {
  TKept k;
  k.iTime = aPlot.iTime;
  k.iPosition = aPlot.Position();
  k.iSpeed = MetresPerSecond(aPlot.iSpeed);
  k.iDistance = aDistance;
  k.iIndex = aIndex;
  return k;
}

bool CGnssMeter::Accelerates(const TKept& aFrom, const TKept& aTo) {
  const double dt = (static_cast<int64_t>(aTo.iTime) - aFrom.iTime) / 1000.0;
  if (!(dt > 0.0) || IsInvalidReal(aFrom.iSpeed) || IsInvalidReal(aTo.iSpeed)) return false;
  return std::fabs(aTo.iSpeed - aFrom.iSpeed) / dt > KMaxAcceleration;
}

bool CGnssMeter::Jumps(const TKept& aFrom, const TKept& aTo) {
  return Jumps(aFrom, aTo, aFrom.iPosition.Distance(aTo.iPosition));
}

bool CGnssMeter::Jumps(const TKept& aFrom, const TKept& aTo, TDistance aStep) {
  const double dt = (static_cast<int64_t>(aTo.iTime) - aFrom.iTime) / 1000.0;
  if (!(dt > 0.0)) return false;
  double speed = InvalidReal();
  if (IsValidReal(aFrom.iSpeed)) speed = aFrom.iSpeed;
  if (IsValidReal(aTo.iSpeed) && (IsInvalidReal(speed) || aTo.iSpeed > speed)) speed = aTo.iSpeed;
  // Without any speed there is nothing to measure the step against.
  if (IsInvalidReal(speed)) return false;
  return aStep.IsValid() && aStep.Metres() - speed * dt > KMaxJump;
}

void CGnssMeter::MarkGlitch(int32_t aIndex) {
  iGlitches.insert(std::upper_bound(iGlitches.begin(), iGlitches.end(), aIndex), aIndex);
}

bool CGnssMeter::IsGlitch(int32_t aIndex) const {
  return !iGlitches.empty() && std::binary_search(iGlitches.begin(), iGlitches.end(), aIndex);
}

double CGnssMeter::Take(const TPositionPlot& aPlot, bool aComputeDistance) {
  const int32_t index = iTaken++;
  Collect(aPlot);
  const double hdop = aPlot.Hdop();
  const bool noFix = iRuleEnabled && IsValidReal(hdop) && hdop >= KNoFixHdop;
  TKept sample = Kept(aPlot, index, 0.0);

  // The waiting sample is decided by this one, unless this one is no fix to go by.
  if (iPending && !noFix) {
    const bool glitch = (iPendingAccelerates && Accelerates(iPendingSample, sample)) ||
                        (iPendingJumps && Jumps(iPendingSample, sample));
    if (glitch) {
      MarkGlitch(iPendingIndex);
    } else {
      iUsable = iPendingSample;
      iHaveUsable = true;
    }
    iPending = false;
  }

  // One great-circle step from the last usable sample serves both the jump test and the
  // running distance.
  const TDistance step = iHaveUsable ? iUsable.iPosition.Distance(sample.iPosition) : TDistance::Invalid();
  bool accelerates = false, jumps = false;
  if (!noFix && iRuleEnabled && iHaveUsable) {
    accelerates = Accelerates(iUsable, sample);
    jumps = Jumps(iUsable, sample, step);
  }
  if (aComputeDistance) {
    // A jump no car makes is not distance driven, whether it turns out a glitch or a change of
    // place.
    sample.iDistance = iUsable.iDistance;
    if (!jumps && step.IsValid()) sample.iDistance += step.iValue;
  } else {
    sample.iDistance = aPlot.Distance().iValue;
  }

  if (noFix) {
    MarkGlitch(index);
    return sample.iDistance;
  }
  if (accelerates || jumps) {
    iPending = true;
    iPendingAccelerates = accelerates;
    iPendingJumps = jumps;
    iPendingIndex = index;
    iPendingSample = sample;
  } else {
    iUsable = sample;
    iHaveUsable = true;
  }
  return sample.iDistance;
}

void CGnssMeter::Collect(const TPositionPlot& aPlot) {
  if (iHaveTime) {
    const int64_t dt = static_cast<int64_t>(aPlot.iTime) - iLastTime;
    if (dt > 0 && dt <= KLongestInterval) {
      if (iIntervals.empty()) iIntervals.assign(KLongestInterval + 1, 0);
      ++iIntervals[static_cast<size_t>(dt)];
      ++iIntervalCount;
      iIntervalSum += dt;
      iIntervalSquares += dt * dt;
      if (iIntervalCount % KUsualRefresh == 1) iUsualIntervalMs = HistogramMedian(iIntervals, iIntervalCount);
    }
    if (dt > 0 && iUsualIntervalMs > 0 && dt > 2 * static_cast<int64_t>(iUsualIntervalMs)) {
      if (!iSlow) {
        iSlow = true;
        iSlowSince = iLastTime;
        iSlowSamples = 0;
      }
      ++iSlowSamples;
    } else if (dt > 0) {
      iSlow = false;
    }
  }
  iHaveTime = true;
  iLastTime = aPlot.iTime;

  const double vdop = aPlot.Vdop();
  if (IsValidReal(vdop)) {
    ++iVdopReported;
    if (vdop < KNoFixHdop && aPlot.iAltitude != KInvalidInt) ++i3dFixes;
  }
  const double hdop = aPlot.Hdop();
  iLatestHdop = hdop;
  if (IsValidReal(hdop) && hdop < KNoFixHdop) {
    if (iHdops.empty()) iHdops.assign(KHdopBins, 0);
    const int32_t hundredths = aPlot.iHdop;
    ++iHdops[static_cast<size_t>(std::min(hundredths, KHdopBins - 1))];
    ++iHdopCount;
    iHdopMax = std::max(iHdopMax, hundredths);
  }
  if (const int32_t satellites = aPlot.Satellites()) {
    ++iSatellites[satellites];
    ++iSatelliteCount;
  }

  if (IsValidReal(hdop) && hdop > KWeakHdop) {
    if (!iWeak) iWeakSince = aPlot.iTime;
    iWeak = true;
  } else {
    iWeak = false;
  }
}

TGnssHealth CGnssMeter::Health() const {
  TGnssHealth h;
  h.iSamples = iTaken;
  h.iGlitches = GlitchCount();
  if (iIntervalCount > 0) {
    h.iIntervalMs = HistogramMedian(iIntervals, iIntervalCount);
    const double n = static_cast<double>(iIntervalCount);
    const double mean = iIntervalSum / n;
    const double variance = std::max(0.0, iIntervalSquares / n - mean * mean);
    h.iJitterUs = static_cast<int32_t>(std::floor(std::sqrt(variance) * 1000.0 + 0.5));
  }
  if (iVdopReported > 0)
    h.i3dPermille = static_cast<int32_t>((static_cast<int64_t>(i3dFixes) * 1000 + iVdopReported / 2) / iVdopReported);
  if (iHdopCount > 0) {
    h.iHdopMedian = HistogramMedian(iHdops, iHdopCount);
    h.iHdopMax = iHdopMax;
  }
  if (iSatelliteCount > 0) {
    for (int32_t s = 1; s < 64; ++s)
      if (iSatellites[s]) {
        h.iSatellitesMin = s;
        break;
      }
    h.iSatellitesMedian = HistogramMedian(iSatellites, iSatelliteCount);
  }
  return h;
}

int32_t CGnssMeter::RecentRateHz() const {
  const int64_t span = static_cast<int64_t>(iLastTime) - iSlowSince;
  if (iSlow && span > 0) return static_cast<int32_t>(std::floor(iSlowSamples * 1000.0 / span + 0.5));
  return iUsualIntervalMs > 0 ? static_cast<int32_t>(std::floor(1000.0 / iUsualIntervalMs + 0.5)) : 0;
}

bool CGnssMeter::RateLow() const {
  return iSlow && static_cast<int64_t>(iLastTime) - iSlowSince >= KWarningHoldMs;
}

bool CGnssMeter::PrecisionWeak() const {
  return iWeak && static_cast<int64_t>(iLastTime) - iWeakSince >= KWarningHoldMs;
}
