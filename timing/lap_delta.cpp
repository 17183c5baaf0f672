#include "timing/lap_delta.h"

#include <algorithm>
#include <cmath>

#include "storage/position_plot_list.h"
#include "timing/lap.h"

namespace {

// Arc units of a full turn and half a turn, for longitudes across the date line.
constexpr int64_t KHalfTurnUnits = static_cast<int64_t>(KPi * KArcUnitsPerRadian + 0.5);

double Metres(int64_t aArcUnits) { return static_cast<double>(aArcUnits) / KArcUnitsPerRadian * EarthRadius; }

// Among the basins of the offset along the window (where it falls and rises again), the
// earliest is taken unless a later one is nearer by more than this: on a hairpin the far leg
// may be a few metres nearer for a sample on the wide side of the near one.
constexpr double KLaterBasinMargin = 3.0;
// The offset must rise this much above a basin's bottom to close it.
constexpr double KBasinRise = 1.0;
// Below this speed (m/s) a receiver's speed says little about the time between samples.
constexpr double KMinPaceSpeed = 1.0;
// A segment whose ends' directions lean off it by less than this (sine) is taken as straight.
constexpr double KMinCurveLean = 0.05;
// Straight pieces a curved segment is measured in.
constexpr int32_t KCurvePieces = 16;
// How near the time the speeds give a segment must be to its own time for them to be taken as
// they are.
constexpr double KPaceAgreement = 0.1;

}  // namespace

// --- Reference ------------------------------------------------------------------------------

void CLapDelta::ClearReference() {
  iVertices.clear();
  iSplits.clear();
  iReferenceTime = 0;
  StartLap(iStart);
}

void CLapDelta::AddVertex(const TPositionPlot& aPlot, double aTime, int32_t aSplitKey) {
  if (!aPlot.GeoPoint().IsValid()) return;
  int64_t dLon = static_cast<int64_t>(aPlot.iLongitude) - iOriginLongitude;
  if (dLon > KHalfTurnUnits) dLon -= 2 * KHalfTurnUnits;
  if (dLon < -KHalfTurnUnits) dLon += 2 * KHalfTurnUnits;
  TVertex v;
  v.iX = static_cast<double>(dLon) * iMetresPerLongitudeUnit;
  v.iY = static_cast<double>(static_cast<int64_t>(aPlot.iLatitude) - iOriginLatitude) * iMetresPerLatitudeUnit;
  v.iTime = aTime;
  v.iLength = 0.0;
  v.iTx = v.iTy = 0.0;
  const TSpeed speed = aPlot.Speed();
  v.iPace = speed.IsValid() && speed.MetresPerSecond() > KMinPaceSpeed ? 1000.0 / speed.MetresPerSecond() : 0.0;
  if (!iVertices.empty()) {
    TVertex& last = iVertices.back();
    const double step = std::hypot(v.iX - last.iX, v.iY - last.iY);
    // Time never runs back along the trace, even where a damaged file says so.
    v.iTime = std::max(v.iTime, last.iTime);
    if (step < 0.01) {
      // A point on top of the last one adds no segment; a crossing there takes its place so
      // that the crossing's time is still found exactly.
      if (aSplitKey >= 0) {
        last.iTime = v.iTime;
        iSplits.push_back({aSplitKey, static_cast<int32_t>(iVertices.size()) - 1, static_cast<int32_t>(aTime)});
      }
      return;
    }
    v.iLength = last.iLength + step;
  }
  iVertices.push_back(v);
  if (aSplitKey >= 0) iSplits.push_back({aSplitKey, static_cast<int32_t>(iVertices.size()) - 1, static_cast<int32_t>(aTime)});
}

bool CLapDelta::SetReference(const CLap& aLap) {
  ClearReference();
  const CPositionPlotList* plots = aLap.Plots();
  const TLapSector* start = aLap.Start();
  const PwTime lapTime = aLap.LapTime();
  if (!plots || !start || !aLap.IsFinished() || !lapTime.IsSet() || !start->iSample.GeoPoint().IsValid()) return false;
  iOriginLatitude = start->iSample.iLatitude;
  iOriginLongitude = start->iSample.iLongitude;
  iMetresPerLatitudeUnit = EarthRadius / KArcUnitsPerRadian;
  iMetresPerLongitudeUnit = iMetresPerLatitudeUnit * std::cos(TCoordinate(iOriginLatitude).ToRadians());

  // Sector by sector, so that a lap made of sectors of different laps (the optimal lap) is laid
  // end to end just as its time is summed.
  AddVertex(start->iSample, 0.0, -1);
  const int32_t count = plots->Count();
  int64_t base = 0;
  for (int32_t i = 0; i < aLap.CrossingCount(); ++i) {
    const TLapSector* crossing = aLap.Crossing(i);
    const TLapSector* previous = crossing->iPrevious;
    if (!previous) {
      ClearReference();
      return false;
    }
    const int32_t last = std::min(crossing->iSampleIndex, count) - 1;
    for (int32_t s = std::max(previous->iSampleIndex, 0); s <= last; ++s) {
      const TPositionPlot& plot = plots->At(s);
      const double hdop = plot.Hdop();
      if (IsValidReal(hdop) && hdop > KMaxHdop) continue;
      AddVertex(plot, static_cast<double>(base + plot.iTime - previous->iSample.iTime), -1);
    }
    base += static_cast<int64_t>(crossing->iSample.iTime) - previous->iSample.iTime;
    AddVertex(crossing->iSample, static_cast<double>(base), crossing == aLap.Finish() ? -1 : crossing->iKey);
  }
  iReferenceTime = lapTime.Milliseconds();
  if (!HasReference()) {
    ClearReference();
    return false;
  }
  // The finish is the trace's end whatever was dropped before it.
  iVertices.back().iTime = iReferenceTime;
  // The direction at a point turns from the incoming chord's towards the outgoing one's by the
  // share of the incoming chord in the two (as on a circle through the three points).
  for (size_t i = 0; i < iVertices.size(); ++i) {
    TVertex& b = iVertices[i];
    const TVertex& a = iVertices[i > 0 ? i - 1 : i];
    const TVertex& c = iVertices[i + 1 < iVertices.size() ? i + 1 : i];
    const double inLength = std::hypot(b.iX - a.iX, b.iY - a.iY);
    const double outLength = std::hypot(c.iX - b.iX, c.iY - b.iY);
    const double inAngle = inLength > 0.0 ? std::atan2(b.iY - a.iY, b.iX - a.iX) : std::atan2(c.iY - b.iY, c.iX - b.iX);
    const double outAngle = outLength > 0.0 ? std::atan2(c.iY - b.iY, c.iX - b.iX) : inAngle;
    const double turn = std::remainder(outAngle - inAngle, 2.0 * KPi);
    const double angle = inAngle + turn * (inLength > 0.0 && outLength > 0.0 ? inLength / (inLength + outLength) : 0.0);
    b.iTx = std::cos(angle);
    b.iTy = std::sin(angle);
  }
  StartLap(iStart);
  return true;
}

// --- The running lap ------------------------------------------------------------------------

void CLapDelta::StartLap(const TPositionPlot& aStart) {
  iStart = aStart;
  iReading = TDeltaReading();
  iSegment = 0;
  iFraction = 0.0;
  iMatchedDriven = 0.0;
}

bool CLapDelta::Usable(const TPositionPlot& aSample) const {
  if (!aSample.GeoPoint().IsValid() || aSample.IsDiscontinuity()) return false;
  const double hdop = aSample.Hdop();
  return !(IsValidReal(hdop) && hdop > KMaxHdop);
}

void CLapDelta::Hold() {
  iReading.iStale = true;
  iReading.iCrossingKey = -1;
}

void CLapDelta::Project(double aX, double aY, double aWindow) {
  const int32_t n = static_cast<int32_t>(iVertices.size());
  const double limit = iVertices[static_cast<size_t>(iSegment)].iLength +
                       iFraction * (iVertices[static_cast<size_t>(std::min(iSegment + 1, n - 1))].iLength -
                                    iVertices[static_cast<size_t>(iSegment)].iLength) +
                       aWindow;
  // Basins of the offset: the one being walked and the chosen one.
  double basinOffset = INFINITY, bestOffset = INFINITY;
  int32_t basinSegment = iSegment, bestSegment = iSegment;
  double basinFraction = iFraction, bestFraction = iFraction;
  bool haveBest = false;
  auto closeBasin = [&]() {
    if (!haveBest || basinOffset < bestOffset - KLaterBasinMargin) {
      bestOffset = basinOffset;
      bestSegment = basinSegment;
      bestFraction = basinFraction;
      haveBest = true;
    }
    basinOffset = INFINITY;
  };
  int32_t looked = 0;
  for (int32_t j = iSegment; j + 1 < n && looked < KMaxSegmentsPerSample; ++j, ++looked) {
    const TVertex& a = iVertices[static_cast<size_t>(j)];
    if (a.iLength > limit) break;
    const TVertex& b = iVertices[static_cast<size_t>(j) + 1];
    const double ex = b.iX - a.iX, ey = b.iY - a.iY;
    const double length2 = ex * ex + ey * ey;
    double u = length2 > 0.0 ? ((aX - a.iX) * ex + (aY - a.iY) * ey) / length2 : 0.0;
    u = std::clamp(u, j == iSegment ? iFraction : 0.0, 1.0);
    const double px = a.iX + u * ex - aX, py = a.iY + u * ey - aY;
    const double offset = std::sqrt(px * px + py * py);
    if (offset < basinOffset) {
      basinOffset = offset;
      basinSegment = j;
      basinFraction = u;
    } else if (offset > basinOffset + KBasinRise) {
      closeBasin();
    }
  }
  if (basinOffset < INFINITY) closeBasin();
  iFoundSegment = bestSegment;
  const double along = CurveFraction(bestSegment, aX, aY, bestFraction, iFoundLength);
  iFoundFraction = bestSegment == iSegment ? std::max(iFraction, along) : along;
  iFoundOffset = bestOffset;
}

double CLapDelta::CurveFraction(int32_t aSegment, double aX, double aY, double aChord, double& aLength) const {
  const TVertex& a = iVertices[static_cast<size_t>(aSegment)];
  const TVertex& b = iVertices[static_cast<size_t>(aSegment) + 1];
  const double ex = b.iX - a.iX, ey = b.iY - a.iY;
  const double chord = std::hypot(ex, ey);
  aLength = chord;
  if (chord <= 0.0) return aChord;
  // How far each end's direction leans off the chord: little, and the chord is the curve.
  const double leanA = (a.iTx * ey - a.iTy * ex) / chord, leanB = (b.iTx * ey - b.iTy * ex) / chord;
  if (std::fabs(leanA) < KMinCurveLean && std::fabs(leanB) < KMinCurveLean) return aChord;
  // Directions running back against the chord say the trace is not a curve here.
  if (a.iTx * ex + a.iTy * ey <= 0.0 || b.iTx * ex + b.iTy * ey <= 0.0) return aChord;
  // The cubic from a to b with those directions, in KCurvePieces straight pieces: the point is
  // projected onto the nearest piece and its length along the pieces taken.
  double best = INFINITY, bestLength = 0.0, length = 0.0;
  double px = a.iX, py = a.iY;
  for (int32_t k = 1; k <= KCurvePieces; ++k) {
    const double u = static_cast<double>(k) / KCurvePieces, u2 = u * u, u3 = u2 * u;
    const double h0 = 2 * u3 - 3 * u2 + 1, h1 = (u3 - 2 * u2 + u) * chord, h2 = -2 * u3 + 3 * u2, h3 = (u3 - u2) * chord;
    const double qx = h0 * a.iX + h1 * a.iTx + h2 * b.iX + h3 * b.iTx;
    const double qy = h0 * a.iY + h1 * a.iTy + h2 * b.iY + h3 * b.iTy;
    const double sx = qx - px, sy = qy - py, piece2 = sx * sx + sy * sy;
    const double t = piece2 > 0.0 ? std::clamp(((aX - px) * sx + (aY - py) * sy) / piece2, 0.0, 1.0) : 0.0;
    const double dx = px + t * sx - aX, dy = py + t * sy - aY, d2 = dx * dx + dy * dy;
    const double piece = std::sqrt(piece2);
    if (d2 < best) {
      best = d2;
      bestLength = length + t * piece;
    }
    length += piece;
    px = qx;
    py = qy;
  }
  if (length <= 0.0) return aChord;
  aLength = length;
  return bestLength / length;
}

double CLapDelta::TimeOnSegment(int32_t aSegment, double aFraction, double aLength) const {
  const TVertex& a = iVertices[static_cast<size_t>(aSegment)];
  const TVertex& b = iVertices[static_cast<size_t>(aSegment) + 1];
  const double span = b.iTime - a.iTime;
  const double linear = a.iTime + aFraction * span;
  if (a.iPace <= 0.0 || b.iPace <= 0.0 || span <= 0.0) return linear;
  // Where the speeds and the segment's length tell its time to within KPaceAgreement, the
  // slopes are the speeds themselves; else (on a curve the length may be short of the path
  // driven, and the speeds would bend a long segment, a gap in the reference, into an S) only
  // their ratio is used, scaled to the segment's own time.
  const double mean = 0.5 * (a.iPace + b.iPace);
  const double scale = std::fabs(mean * aLength - span) <= KPaceAgreement * span ? aLength : span / mean;
  const double m0 = a.iPace * scale, m1 = b.iPace * scale;
  // Slopes of up to three times the mean keep the cubic rising; far off the mean the speeds do
  // not describe this segment (a stop in between) and the straight line is safer.
  if (m0 > 3.0 * span || m1 > 3.0 * span) return linear;
  const double u = aFraction, u2 = u * u, u3 = u2 * u;
  return (2 * u3 - 3 * u2 + 1) * a.iTime + (u3 - 2 * u2 + u) * m0 + (-2 * u3 + 3 * u2) * b.iTime + (u3 - u2) * m1;
}

const TDeltaReading& CLapDelta::AddSample(const TPositionPlot& aSample) {
  const double driven = Metres(static_cast<int64_t>(aSample.iDistance) - iStart.iDistance);
  iReading.iElapsed = static_cast<int32_t>(static_cast<int64_t>(aSample.iTime) - iStart.iTime);
  iReading.iDistance = driven;
  if (!HasReference() || !Usable(aSample)) {
    Hold();
    return iReading;
  }
  int64_t dLon = static_cast<int64_t>(aSample.iLongitude) - iOriginLongitude;
  if (dLon > KHalfTurnUnits) dLon -= 2 * KHalfTurnUnits;
  if (dLon < -KHalfTurnUnits) dLon += 2 * KHalfTurnUnits;
  const double x = static_cast<double>(dLon) * iMetresPerLongitudeUnit;
  const double y = static_cast<double>(static_cast<int64_t>(aSample.iLatitude) - iOriginLatitude) * iMetresPerLatitudeUnit;
  const double window = KWindowSlack + KWindowFactor * std::max(0.0, driven - iMatchedDriven);
  Project(x, y, window);
  if (!(iFoundOffset <= KMaxOffset)) {
    Hold();
    return iReading;
  }
  iSegment = iFoundSegment;
  iFraction = iFoundFraction;
  iMatchedDriven = driven;
  const TVertex& a = iVertices[static_cast<size_t>(iSegment)];
  const TVertex& b = iVertices[static_cast<size_t>(iSegment) + 1];
  const double referenceTime = TimeOnSegment(iSegment, iFraction, iFoundLength);
  iReading.iDelta = static_cast<int32_t>(std::lround(iReading.iElapsed - referenceTime));
  iReading.iPredicted = iReferenceTime + iReading.iDelta;
  iReading.iReferenceDistance = a.iLength + iFraction * (b.iLength - a.iLength);
  iReading.iCrossingKey = -1;
  iReading.iValid = true;
  iReading.iStale = false;
  return iReading;
}

const TDeltaReading& CLapDelta::AddCrossing(int32_t aKey, const TPositionPlot& aCrossing, bool aFinish) {
  if (!HasReference()) return iReading;
  int32_t referenceTime = 0;
  int32_t vertex = -1;
  if (aFinish) {
    referenceTime = iReferenceTime;
    vertex = static_cast<int32_t>(iVertices.size()) - 1;
  } else {
    for (const TSplitMark& mark : iSplits)
      if (mark.iKey == aKey) {
        referenceTime = mark.iTime;
        vertex = mark.iVertex;
        break;
      }
    if (vertex < 0) return iReading;
  }
  const int64_t elapsed = static_cast<int64_t>(aCrossing.iTime) - iStart.iTime;
  // The match continues from the reference's own crossing of the line.
  const int32_t last = static_cast<int32_t>(iVertices.size()) - 2;
  iSegment = std::min(vertex, last);
  iFraction = vertex > last ? 1.0 : 0.0;
  iMatchedDriven = Metres(static_cast<int64_t>(aCrossing.iDistance) - iStart.iDistance);
  iReading.iElapsed = static_cast<int32_t>(elapsed);
  iReading.iDistance = iMatchedDriven;
  iReading.iDelta = static_cast<int32_t>(elapsed - referenceTime);
  iReading.iPredicted = iReferenceTime + iReading.iDelta;
  iReading.iReferenceDistance = iVertices[static_cast<size_t>(vertex)].iLength;
  iReading.iCrossingKey = aKey;
  iReading.iValid = true;
  iReading.iStale = false;
  return iReading;
}

// --- Following a lap ------------------------------------------------------------------------

void CLapDelta::BeginLap(const CLap& aLap) {
  const TLapSector* start = aLap.Start();
  StartLap(start ? start->iSample : TPositionPlot());
  iNextSample = start ? std::max(start->iSampleIndex, 0) : 0;
  iNextCrossing = 0;
  iLapDone = start == nullptr;
}

void CLapDelta::Cross(int32_t aKey, const TPositionPlot& aCrossing, bool aFinish, MDeltaSink* aSink) {
  const TDeltaReading& reading = AddCrossing(aKey, aCrossing, aFinish);
  if (aSink && reading.iCrossingKey == aKey && reading.iValid) aSink->DeltaCrossing(reading);
}

void CLapDelta::Follow(const CLap& aLap, MDeltaSink* aSink) {
  const CPositionPlotList* plots = aLap.Plots();
  if (iLapDone || !plots) return;
  const TLapSector* finish = aLap.Finish();
  const int32_t end = finish ? std::min(finish->iSampleIndex, plots->Count()) : plots->Count();
  const int32_t splits = aLap.SplitCount();
  for (;;) {
    while (iNextCrossing < splits && aLap.Split(iNextCrossing)->iSampleIndex <= iNextSample) {
      const TLapSector* split = aLap.Split(iNextCrossing++);
      Cross(split->iKey, split->iSample, false, aSink);
    }
    if (iNextSample >= end) break;
    const TDeltaReading& reading = AddSample(plots->At(iNextSample));
    if (aSink) aSink->DeltaSample(iNextSample, reading);
    ++iNextSample;
  }
  if (!finish) return;
  while (iNextCrossing < splits) {
    const TLapSector* split = aLap.Split(iNextCrossing++);
    Cross(split->iKey, split->iSample, false, aSink);
  }
  Cross(finish->iKey, finish->iSample, true, aSink);
  iLapDone = true;
}

void CLapDelta::RunLap(const CLap& aLap, MDeltaSink* aSink) {
  BeginLap(aLap);
  Follow(aLap, aSink);
}
