#include "timing/lap.h"

#include "storage/position_plot_list.h"

namespace {

TDistance DistanceFromUnits(int64_t aUnits) {
  return TDistance(static_cast<double>(aUnits) / KArcUnitsPerRadian);
}

}  // namespace

CLap::CLap(const CPositionPlotList* aPlots, int32_t aComposite)
    : iPlots(aPlots), iComposite(aComposite ? 1 : 0) {}

CLap* CLap::NewL(const CPositionPlotList* aPlots, int32_t aComposite) {
  return new CLap(aPlots, aComposite);
}

CLap::~CLap() {
  delete iFinish;
  for (TLapSector* split : iSplits) delete split;
  if (!iComposite) delete iStart;
}

TLapSector* CLap::NewSectorL(int32_t aKey, int32_t aSampleIndex, const TPositionPlot& aSample,
                            const TLapSector* aPrevious) {
  TLapSector* sector = new TLapSector;
  sector->iPrevious = aPrevious;
  sector->iKey = aKey;
  sector->iSampleIndex = aSampleIndex;
  sector->iSample = aSample;
  return sector;
}

void CLap::SetStart(int32_t aKey, int32_t aSampleIndex, const TPositionPlot& aSample) {
  if (iComposite) return;  // a composite lap's start belongs to the lap it was taken from
  if (!iStart) {
    iStart = NewSectorL(aKey, aSampleIndex, aSample, nullptr);
    return;
  }
  iStart->iKey = aKey;
  iStart->iSampleIndex = aSampleIndex;
  iStart->iSample = aSample;
  iStart->iPrevious = nullptr;
}

int32_t CLap::SetFinish(int32_t aKey, int32_t aSampleIndex, const TPositionPlot& aSample) {
  if (iFinish || !iStart || iComposite) return 0;
  const TLapSector* previous = iSplits.Count() ? iSplits.At(iSplits.Count() - 1) : iStart;
  iFinish = NewSectorL(aKey, aSampleIndex, aSample, previous);
  return 1;
}

int32_t CLap::AddSplit(int32_t aKey, int32_t aSampleIndex, const TPositionPlot& aSample) {
  if (iFinish || !iStart || iComposite) return 0;
  if (FindCrossing(aKey)) return 0;
  const TLapSector* previous = iSplits.Count() ? iSplits.At(iSplits.Count() - 1) : iStart;
  TLapSector* split = NewSectorL(aKey, aSampleIndex, aSample, previous);
  AppendOwnedL(iSplits, split);
  return 1;
}

void CLap::AddCopiedCrossing(const TLapSector& aSector) {
  TLapSector* copy = NewSectorL(aSector.iKey, aSector.iSampleIndex, aSector.iSample, aSector.iPrevious);
  AppendOwnedL(iSplits, copy);
  if (!iStart) iStart = const_cast<TLapSector*>(aSector.iPrevious);
}

int32_t CLap::SetCopiedFinish(const TLapSector& aSector) {
  if (iFinish) return 0;
  iFinish = NewSectorL(aSector.iKey, aSector.iSampleIndex, aSector.iSample, aSector.iPrevious);
  if (!iStart) iStart = const_cast<TLapSector*>(aSector.iPrevious);
  return 1;
}

const TLapSector* CLap::Split(int32_t aIndex) const {
  if (aIndex < 0 || aIndex >= iSplits.Count()) return nullptr;
  return iSplits.At(aIndex);
}

const TLapSector* CLap::Crossing(int32_t aIndex) const {
  if (aIndex < 0) return nullptr;
  if (aIndex < iSplits.Count()) return iSplits.At(aIndex);
  if (aIndex == iSplits.Count()) return iFinish;
  return nullptr;
}

const TLapSector* CLap::FindCrossing(int32_t aKey) const {
  if (iFinish && iFinish->iKey == aKey) return iFinish;
  for (const TLapSector* split : iSplits)
    if (split->iKey == aKey) return split;
  return nullptr;
}

int32_t CLap::CrossingIndexOf(int32_t aKey) const {
  if (aKey < 0) return -1;
  if (iFinish && iFinish->iKey == aKey) return iSplits.Count();
  for (int32_t i = 0; i < iSplits.Count(); ++i)
    if (iSplits.At(i)->iKey == aKey) return i;
  return -1;
}

const TLapSector* CLap::LastCrossing() const {
  if (iFinish) return iFinish;
  if (iSplits.Count()) return iSplits.At(iSplits.Count() - 1);
  return iStart;
}

int32_t CLap::NextKey(int32_t aKey) const {
  const int32_t count = CrossingCount();
  if (count == 0) return -1;
  if (aKey == -1) return Crossing(0)->iKey;
  const int32_t index = CrossingIndexOf(aKey);
  if (index < 0 || index + 1 >= count) return -1;
  return Crossing(index + 1)->iKey;
}

int32_t CLap::PreviousKey(int32_t aKey) const {
  const int32_t count = CrossingCount();
  if (count == 0) return -1;
  if (aKey == -1) return Crossing(count - 1)->iKey;
  const int32_t index = CrossingIndexOf(aKey);
  if (index <= 0) return -1;
  return Crossing(index - 1)->iKey;
}

void CLap::KeyPair(int32_t aKey, int32_t& aFromKey, int32_t& aToKey) const {
  aFromKey = aToKey = -1;
  if (!iStart) return;
  if (aKey == -1) {
    const TLapSector* last = LastCrossing();
    aFromKey = iStart->iKey;
    aToKey = last == iStart ? -1 : last->iKey;
    return;
  }
  const int32_t index = CrossingIndexOf(aKey);
  if (index < 0) return;
  aFromKey = index == 0 ? iStart->iKey : Crossing(index - 1)->iKey;
  aToKey = aKey;
}

PwTime CLap::LapTime() const {
  if (!iFinish || !iStart) return PwTime::Unset();
  if (!iComposite) return TimeBetween(iStart->iSample.iTime, iFinish->iSample.iTime);
  int64_t sum = 0;
  for (int32_t i = 0; i < CrossingCount(); ++i) {
    const TLapSector* c = Crossing(i);
    if (!c->iPrevious) return PwTime::Unset();
    sum += static_cast<int64_t>(c->iSample.iTime) - c->iPrevious->iSample.iTime;
  }
  return TimeFromWide(sum);
}

TDistance CLap::LapDistance() const {
  if (!iFinish || !iStart) return TDistance::Invalid();
  if (!iComposite)
    return DistanceFromUnits(static_cast<int64_t>(iFinish->iSample.iDistance) - iStart->iSample.iDistance);
  int64_t sum = 0;
  for (int32_t i = 0; i < CrossingCount(); ++i) {
    const TLapSector* c = Crossing(i);
    if (!c->iPrevious) return TDistance::Invalid();
    sum += static_cast<int64_t>(c->iSample.iDistance) - c->iPrevious->iSample.iDistance;
  }
  return DistanceFromUnits(sum);
}

PwTime CLap::SplitTime(int32_t aKey) const {
  if (!iStart) return PwTime::Unset();
  if (!iComposite) {
    const TLapSector* c = FindCrossing(aKey);
    if (!c) return PwTime::Unset();
    return TimeBetween(iStart->iSample.iTime, c->iSample.iTime);
  }
  int64_t sum = 0;
  for (int32_t i = 0; i < CrossingCount(); ++i) {
    const TLapSector* c = Crossing(i);
    if (!c->iPrevious) return PwTime::Unset();
    sum += static_cast<int64_t>(c->iSample.iTime) - c->iPrevious->iSample.iTime;
    if (c->iKey == aKey) return TimeFromWide(sum);
  }
  return PwTime::Unset();
}

TDistance CLap::SplitDistance(int32_t aKey) const {
  if (!iStart) return TDistance::Invalid();
  if (aKey == -1) return TDistance(0.0);
  if (!iComposite) {
    const TLapSector* c = FindCrossing(aKey);
    if (!c) return TDistance::Invalid();
    return DistanceFromUnits(static_cast<int64_t>(c->iSample.iDistance) - iStart->iSample.iDistance);
  }
  int64_t sum = 0;
  for (int32_t i = 0; i < CrossingCount(); ++i) {
    const TLapSector* c = Crossing(i);
    if (!c->iPrevious) return TDistance::Invalid();
    sum += static_cast<int64_t>(c->iSample.iDistance) - c->iPrevious->iSample.iDistance;
    if (c->iKey == aKey) return DistanceFromUnits(sum);
  }
  return TDistance::Invalid();
}

TSpeed CLap::TrapSpeed(int32_t aKey) const {
  const TLapSector* c = aKey == -1 ? iStart : FindCrossing(aKey);
  if (!c) return TSpeed::Invalid();
  return c->iSample.Speed();
}

PwTime CLap::SectorTime(int32_t aFromKey, int32_t aToKey) const {
  const TLapSector* to = FindCrossing(aToKey);
  if (!to) return PwTime::Unset();
  for (const TLapSector* from = to->iPrevious; from; from = from->iPrevious)
    if (from->iKey == aFromKey) return TimeBetween(from->iSample.iTime, to->iSample.iTime);
  return PwTime::Unset();
}

PwTime CLap::RelativeTime(PwTime aTime) const {
  if (!iStart || !aTime.IsSet()) return PwTime::Unset();
  const int32_t t = aTime.Milliseconds();
  if (!iComposite) return TimeBetween(iStart->iSample.iTime, t);
  int64_t sum = 0;
  for (int32_t i = 0; i < CrossingCount(); ++i) {
    const TLapSector* c = Crossing(i);
    if (!c->iPrevious) return PwTime::Unset();
    const int32_t from = c->iPrevious->iSample.iTime;
    if (from <= t && t <= c->iSample.iTime) return TimeFromWide(sum + (static_cast<int64_t>(t) - from));
    sum += static_cast<int64_t>(c->iSample.iTime) - from;
  }
  return TimeFromWide(sum);
}

TDistance CLap::RelativeDistance(int32_t aDistance) const {
  if (!iStart) return TDistance::Invalid();
  if (!iComposite) return DistanceFromUnits(static_cast<int64_t>(aDistance) - iStart->iSample.iDistance);
  int64_t sum = 0;
  for (int32_t i = 0; i < CrossingCount(); ++i) {
    const TLapSector* c = Crossing(i);
    if (!c->iPrevious) return TDistance::Invalid();
    const int32_t from = c->iPrevious->iSample.iDistance;
    if (from <= aDistance && aDistance <= c->iSample.iDistance)
      return DistanceFromUnits(sum + (static_cast<int64_t>(aDistance) - from));
    sum += static_cast<int64_t>(c->iSample.iDistance) - from;
  }
  return DistanceFromUnits(sum);
}

TSpeed CLap::AverageSpeed() const {
  const PwTime time = LapTime();
  const TDistance distance = LapDistance();
  if (!time.IsSet() || time.Milliseconds() <= 0 || !distance.IsValid()) return TSpeed::Invalid();
  return TSpeed(distance.iValue * 1000.0 / time.Milliseconds());
}

const TPositionPlot* CLap::PlotAt(int32_t aIndex) const {
  if (!iPlots || aIndex < 0 || aIndex >= iPlots->Count()) return nullptr;
  return &iPlots->At(aIndex);
}

bool CLap::NoteRange(PwTime& aStart, PwTime& aEnd) const {
  if (!iStart || !iPlots || iPlots->Count() == 0) return false;
  const int32_t last = iPlots->Count() - 1;
  int32_t first = iStart->iSampleIndex - 1;
  int32_t end = LastCrossing()->iSampleIndex;
  if (first < 0) first = 0;
  if (first > last) first = last;
  if (end < first) end = first;
  if (end > last) end = last;
  aStart = PwTime(iPlots->At(first).iTime);
  aEnd = PwTime(iPlots->At(end).iTime);
  return true;
}

void CLap::ScanRange(int32_t aFirst, int32_t aLast, int32_t aThreshold) {
  if (!iPlots) return;
  if (aFirst < 0) aFirst = 0;
  if (aLast >= iPlots->Count()) aLast = iPlots->Count() - 1;
  const int64_t threshold = aThreshold;
  bool haveExtreme = false;
  bool rising = false;
  int64_t extreme = 0;
  int32_t extremeIndex = -1;
  for (int32_t i = aFirst; i <= aLast; ++i) {
    // A glitch, or the newest sample while it waits for its successor, is left out.
    if (!iPlots->IsUsable(i)) continue;
    const int32_t speed = iPlots->At(i).iSpeed;
    if (speed == KInvalidInt) continue;  // a sample without speed says nothing about extremes
    if (iMinimumSpeed == KInvalidInt || speed < iMinimumSpeed) iMinimumSpeed = speed;
    if (iMaximumSpeed == KInvalidInt || speed > iMaximumSpeed) iMaximumSpeed = speed;
    const int64_t c = speed;
    if (!haveExtreme) {
      if (c > threshold) {
        haveExtreme = true;
        rising = true;
        extreme = c;
        extremeIndex = i;
      }
      continue;
    }
    if ((rising && c > extreme) || (!rising && c < extreme)) {
      extreme = c;
      extremeIndex = i;
    } else if (rising && c < extreme - threshold) {
      iHighLow.Append(TLapSpeed{extremeIndex, 1});
      rising = false;
      extreme = c;
      extremeIndex = i;
    } else if (!rising && c > extreme + threshold) {
      iHighLow.Append(TLapSpeed{extremeIndex, 0});
      rising = true;
      extreme = c;
      extremeIndex = i;
    }
  }
}

void CLap::HighLowScan(int32_t aThreshold) {
  iHighLow.Reset();
  iMinimumSpeed = KInvalidInt;
  iMaximumSpeed = KInvalidInt;
  if (!iStart) return;
  if (!iComposite) {
    ScanRange(iStart->iSampleIndex - 1, LastCrossing()->iSampleIndex, aThreshold);
    return;
  }
  for (int32_t i = 0; i < CrossingCount(); ++i) {
    const TLapSector* c = Crossing(i);
    if (!c->iPrevious) continue;
    ScanRange(c->iPrevious->iSampleIndex, c->iSampleIndex - 1, aThreshold);
  }
}

TSpeed CLap::HighLowSpeed(int32_t aIndex) const {
  const TPositionPlot* p = PlotAt(iHighLow.At(aIndex).iSampleIndex);
  return p ? p->Speed() : TSpeed::Invalid();
}

TGeoPoint CLap::HighLowPosition(int32_t aIndex) const {
  const TPositionPlot* p = PlotAt(iHighLow.At(aIndex).iSampleIndex);
  return p ? p->GeoPoint() : TGeoPoint();
}

PwTime CLap::HighLowTime(int32_t aIndex) const {
  const TPositionPlot* p = PlotAt(iHighLow.At(aIndex).iSampleIndex);
  return p ? RelativeTime(PwTime(p->iTime)) : PwTime::Unset();
}

TDistance CLap::HighLowDistance(int32_t aIndex) const {
  const TPositionPlot* p = PlotAt(iHighLow.At(aIndex).iSampleIndex);
  return p ? RelativeDistance(p->iDistance) : TDistance::Invalid();
}
