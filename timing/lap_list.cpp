#include "timing/lap_list.h"

#include "storage/position_plot_list.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/intersection.h"
#include "timing/trap_line.h"

namespace {

// Re-based trace values, kept inside 32 bits whatever a damaged file held.
int32_t Rebased(int32_t aBase, int32_t aValue, int32_t aOrigin, int32_t aAdjust = 0) {
  const int64_t v = static_cast<int64_t>(aBase) + (static_cast<int64_t>(aValue) - aOrigin) + aAdjust;
  return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX - 1 ? INT32_MAX - 1 : static_cast<int32_t>(v));
}

// A crossing times a lap only when the samples around it are close enough in time. One
// between samples whose time runs backwards (a damaged or foreign file) is interpolated across
// the jump and may lie before a sample known to precede the line: it is no moment of the pass.
bool CloseEnough(int32_t aInterval, int32_t aLimit) { return aInterval >= 0 && aInterval <= aLimit; }

// Time can also jump back between two crossings of a lap. A finish or split not later than the
// lap's last crossing would give the lap or a sector no time or a negative one, which would
// rank best and feed the optimal lap: it does not apply to the lap.
bool FollowsLastCrossing(const CLap& aLap, const TPositionPlot& aSample) {
  const TLapSector* last = aLap.LastCrossing();
  return last && aSample.iTime > last->iSample.iTime;
}

constexpr int32_t KDefaultThreshold = 5;  // m/s, when there are no settings
constexpr int32_t KNoLap = -1;

int32_t ThresholdUnits(int32_t aMetresPerSecond) {
  // A negative threshold (a damaged settings file) would make every sample an extreme.
  return TPositionPlot::EncodeSpeed(TSpeed::FromMetresPerSecond(aMetresPerSecond < 0 ? 0 : aMetresPerSecond));
}

}  // namespace

CLapList::CLapList(const CPositionPlotList* aPlots, const CSettings* aSettings, const CSessionInfo* aInfo)
    : iPlots(aPlots), iSettings(aSettings), iInfo(aInfo) {
  iHighLowThreshold = ThresholdUnits(iSettings ? iSettings->HiLoThreshold() : KDefaultThreshold);
}

CLapList* CLapList::NewL(const CPositionPlotList* aPlots, const CSettings* aSettings,
                         const CSessionInfo* aInfo) {
  return new CLapList(aPlots, aSettings, aInfo);
}

CLapList::~CLapList() { Clear(); }

void CLapList::DeleteTrace() {
  delete iTrace;
  iTrace = nullptr;
  delete iTracePlots;
  iTracePlots = nullptr;
}

void CLapList::DeleteOptimal() {
  // The trace is made from the optimal lap and goes with it.
  DeleteTrace();
  delete iOptimal;
  iOptimal = nullptr;
}

void CLapList::Clear() {
  // The optimal lap points into the laps: it goes first.
  DeleteOptimal();
  for (CLap* lap : iLaps) delete lap;
  iLaps.Reset();
  iProcessed = 0;
  iViewed = 0;
  iSelectedKey = -1;
  iHighLowCursor = 0;
  iBestIndex = iPreviousBestIndex = -1;
  iBestLap = iPreviousBestLap = nullptr;
  iKeyCount = 0;
  ClearSectors();
  iTablesDirty = false;
  iHighLowThreshold = ThresholdUnits(iSettings ? iSettings->HiLoThreshold() : KDefaultThreshold);
}

// --- Building ------------------------------------------------------------------------------

int32_t CLapList::ProcessCrossings(const CTrapLineList& aTraps, const CIntersectionList& aCrossings,
                                   MLapAnnouncer* aAnnouncer) {
  const int32_t trapCount = aTraps.Count();
  if (trapCount != iKeyCount) ResetTables(trapCount);
  int32_t result = 0;
  const int32_t count = aCrossings.Count();
  for (; iProcessed < count; ++iProcessed) {
    const TIntersection& x = aCrossings.At(iProcessed);
    if (x.iTrapIndex < 0 || x.iTrapIndex >= trapCount) continue;
    const int32_t type = aTraps.At(x.iTrapIndex)->Type();
    CLap* lap = NthNewest(0);
    const int32_t lapIndex = iLaps.Count() - 1;

    if (lap && CTrapLine::IsFinishType(type) && CloseEnough(x.iInterval, KLapIntervalLimit) &&
        FollowsLastCrossing(*lap, x.iSample) && lap->SetFinish(x.iTrapIndex, x.iSampleIndex, x.iSample)) {
      result = 1;
      NoteCrossing(lapIndex, lap->Finish());
      NoteFinished(lapIndex);
      lap->HighLowScan(iHighLowThreshold);
      if (aAnnouncer) {
        RebuildOptimal();
        aAnnouncer->AnnounceLapFinished();
      }
    }

    // A split whose sample begins a new stretch of trace (the receiver lost its fix) is a jump
    // across the line, not a pass through it. The interpolated sample never carries the bit,
    // so the sample the crossing was detected at is asked as well.
    if (lap && type == ETrapSplit && CloseEnough(x.iInterval, KSplitIntervalLimit) && !x.iSample.IsDiscontinuity() &&
        !(iPlots && x.iSampleIndex >= 0 && x.iSampleIndex < iPlots->Count() &&
          iPlots->At(x.iSampleIndex).IsDiscontinuity()) &&
        FollowsLastCrossing(*lap, x.iSample) && lap->AddSplit(x.iTrapIndex, x.iSampleIndex, x.iSample)) {
      NoteCrossing(lapIndex, lap->Split(lap->SplitCount() - 1));
      if (aAnnouncer) {
        lap->HighLowScan(iHighLowThreshold);
        RebuildOptimal();
      }
    }

    if (CTrapLine::IsStartType(type) && CloseEnough(x.iInterval, KLapIntervalLimit)) {
      lap = NthNewest(0);
      if (!lap || lap->IsFinished() || lap->SplitCount() > 0) {
        // A start sector that cannot be allocated frees the new lap with it.
        CLap* next = PwConstructL(CLap::NewL(iPlots, 0), [&](CLap* aLap) {
          aLap->SetStart(x.iTrapIndex, x.iSampleIndex, x.iSample);
        });
        AppendOwnedL(iLaps, next);
      } else {
        lap->SetStart(x.iTrapIndex, x.iSampleIndex, x.iSample);
      }
    }
  }
  if (!aAnnouncer && result) {
    ApplyNotes();
    RecomputeBestAndOptimal();
  }
  return result;
}

int32_t CLapList::Rebuild(const CTrapLineList& aTraps, const CIntersectionList& aCrossings) {
  Clear();
  return ProcessCrossings(aTraps, aCrossings, nullptr);
}

// --- Best lap and sector tables ---------------------------------------------------------------

void CLapList::ResetTables(int32_t aKeyCount) {
  iKeyCount = aKeyCount < 0 ? 0 : aKeyCount;
  ClearSectors();
  // Laps made under another trap count have to be entered again.
  iTablesDirty = iLaps.Count() > 0;
}

void CLapList::ClearSectors() {
  iSparseSectors.clear();
  if (iKeyCount <= KDenseKeyLimit)
    iSectors.assign(static_cast<size_t>(iKeyCount) * static_cast<size_t>(iKeyCount), TSectorBest{0, KNoLap});
  else
    iSectors.clear();
}

CLapList::TSectorBest* CLapList::SectorEntry(int32_t aFrom, int32_t aTo, bool aCreate) {
  if (aFrom < 0 || aFrom >= iKeyCount || aTo < 0 || aTo >= iKeyCount) return nullptr;
  if (iKeyCount <= KDenseKeyLimit) return &iSectors[static_cast<size_t>(aFrom) * iKeyCount + aTo];
  const int64_t key = static_cast<int64_t>(aFrom) * iKeyCount + aTo;
  if (aCreate) return &iSparseSectors.try_emplace(key, TSectorBest{0, KNoLap}).first->second;
  auto found = iSparseSectors.find(key);
  return found == iSparseSectors.end() ? nullptr : &found->second;
}

void CLapList::NoteFinished(int32_t aLapIndex) {
  if (iTablesDirty) return;  // the full rebuild will see this lap
  CLap* lap = iLaps.At(aLapIndex);
  if (lap->IsInvalid() || !lap->IsFinished()) return;
  const PwTime time = lap->LapTime();
  // Strictly faster replaces, so the earliest of equal times stays best.
  if (!iBestLap || time < iBestLap->LapTime()) {
    iPreviousBestLap = iBestLap;
    iPreviousBestIndex = iBestIndex;
    iBestLap = lap;
    iBestIndex = aLapIndex;
  }
}

void CLapList::NoteCrossing(int32_t aLapIndex, const TLapSector* aCrossing) {
  if (iTablesDirty || !aCrossing) return;
  if (iLaps.At(aLapIndex)->IsInvalid()) return;
  const int32_t to = aCrossing->iKey;
  if (to < 0 || to >= iKeyCount) return;
  // Every earlier crossing of the lap opens a sector ending here. A sector time is measured
  // from the nearest earlier crossing of its first key; a farther one of the same key could
  // only give a longer time, which never replaces.
  for (const TLapSector* from = aCrossing->iPrevious; from; from = from->iPrevious) {
    TSectorBest* best = SectorEntry(from->iKey, to, true);
    if (!best) continue;
    const PwTime time = TimeBetween(from->iSample.iTime, aCrossing->iSample.iTime);
    if (!time.IsSet()) continue;
    if (best->iLap == KNoLap || time.Milliseconds() < best->iTime)
      *best = TSectorBest{time.Milliseconds(), aLapIndex};
  }
}

void CLapList::RebuildTables() {
  ClearSectors();
  iBestIndex = iPreviousBestIndex = -1;
  iBestLap = iPreviousBestLap = nullptr;
  iTablesDirty = false;
  for (int32_t i = 0; i < iLaps.Count(); ++i) {
    const CLap* lap = iLaps.At(i);
    for (int32_t c = 0; c < lap->CrossingCount(); ++c) NoteCrossing(i, lap->Crossing(c));
    NoteFinished(i);
  }
}

void CLapList::RecomputeBestAndOptimal() {
  RebuildTables();
  RebuildOptimal();
}

void CLapList::SetInvalidMarker(int32_t aIndex, int32_t aMarker) {
  if (aIndex < 0 || aIndex >= iLaps.Count()) return;
  iLaps.At(aIndex)->SetInvalidMarker(aMarker);
  RecomputeBestAndOptimal();
}

void CLapList::ApplyNotes() {
  if (!iInfo) return;
  for (CLap* lap : iLaps) {
    PwTime start, end;
    int32_t marker = 0;
    if (lap->NoteRange(start, end)) {
      const CSessionNote* note = iInfo->NoteForLap(start, end);
      if (note) marker = note->Marker();
    }
    if (marker != lap->InvalidMarker()) {
      lap->SetInvalidMarker(marker);
      iTablesDirty = true;
    }
  }
}

// --- Optimal lap -------------------------------------------------------------------------------

const CLap* CLapList::OptimalTemplate() {
  const CLap* lap = nullptr;
  if (iComparisonList) {
    CLapList& other = *iComparisonList;
    const int32_t selection = other.iComparison;
    lap = selection < 0 ? other.iBestLap : other.Lap(selection);
  } else {
    lap = iComparison < 0 ? CompareLapFor(iViewed) : Lap(iComparison);
  }
  if (!lap) lap = Lap(iViewed);
  return lap;
}

void CLapList::RebuildOptimal() {
  if (iTablesDirty) RebuildTables();
  const CLap* pattern = OptimalTemplate();
  if (!pattern || !pattern->Start()) return;
  // The template may be the old optimal lap itself (when it is viewed): take its keys before
  // that lap goes.
  const int32_t count = pattern->CrossingCount();
  std::vector<int32_t> keys(static_cast<size_t>(count) + 1);
  keys[0] = pattern->Start()->iKey;
  for (int32_t i = 0; i < count; ++i) keys[static_cast<size_t>(i) + 1] = pattern->Crossing(i)->iKey;

  DeleteOptimal();
  if (count == 0) return;  // a lap with only a start has no sector to be fastest in
  CLap* optimal = CLap::NewL(iPlots, 1);
  bool missing = false;
  const int32_t code = Trap([&] {
    for (int32_t i = 0; i < count && !missing; ++i) {
      const int32_t from = keys[static_cast<size_t>(i)];
      const int32_t to = keys[static_cast<size_t>(i) + 1];
      const TSectorBest* best = SectorEntry(from, to, false);
      const CLap* source = !best || best->iLap == KNoLap ? nullptr : iLaps.At(best->iLap);
      const TLapSector* crossing = source ? source->FindCrossing(to) : nullptr;
      const TLapSector* previous = crossing ? crossing->iPrevious : nullptr;
      while (previous && previous->iKey != from) previous = previous->iPrevious;
      if (!previous) {
        missing = true;  // this sector was driven in no valid lap
        break;
      }
      TLapSector copy = *crossing;
      copy.iPrevious = previous;
      if (crossing == source->Finish())
        optimal->SetCopiedFinish(copy);
      else
        optimal->AddCopiedCrossing(copy);
    }
  });
  if (code != KErrNone || missing) {
    delete optimal;
    LeaveIfError(code);
    return;
  }
  optimal->HighLowScan(iHighLowThreshold);
  iOptimal = optimal;
}

CLap* CLapList::OptimalTrace() {
  if (!iOptimal) return nullptr;
  if (!iTrace) BuildTrace();
  return iTrace;
}

void CLapList::BuildTrace() {
  if (!iPlots) return;
  CPositionPlotList* plots = new CPositionPlotList;
  // The trace is made of checked samples joined at the crossings: nothing in it is received.
  plots->Gnss().SetRuleEnabled(false);
  CLap* trace = nullptr;
  bool broken = false;
  const int32_t code = Trap([&] {
    trace = CLap::NewL(plots, 0);
    // The sectors are laid end to end from a base of 1 s and 1 km, so that a graph drawn
    // against time or distance runs on without a jump where the source lap changes.
    int32_t baseTime = 1000;
    int32_t baseDistance = TPositionPlot::EncodeDistance(TDistance::FromMetres(1000.0));
    const int32_t sourceCount = iPlots->Count();
    for (int32_t i = 0; i < iOptimal->CrossingCount(); ++i) {
      const TLapSector* c = iOptimal->Crossing(i);
      const TLapSector* p = c->iPrevious;
      if (!p) {
        broken = true;
        return;
      }
      TPositionPlot sample = p->iSample;
      sample.iTime = baseTime;
      sample.iDistance = baseDistance;
      plots->AppendStored(sample);
      if (i == 0) trace->SetStart(p->iKey, 1, sample);
      const int32_t last = c->iSampleIndex - 1 < sourceCount - 1 ? c->iSampleIndex - 1 : sourceCount - 1;
      for (int32_t s = p->iSampleIndex < 0 ? 0 : p->iSampleIndex; s <= last; ++s) {
        TPositionPlot source = iPlots->At(s);
        source.iTime = Rebased(baseTime, source.iTime, p->iSample.iTime);
        source.iDistance = Rebased(baseDistance, source.iDistance, p->iSample.iDistance);
        plots->AppendStored(source);
      }
      // The crossing sample is placed 1 ms and one distance unit before the next sector's
      // first sample, so that times keep rising.
      sample = c->iSample;
      sample.iTime = Rebased(baseTime, c->iSample.iTime, p->iSample.iTime, -1);
      sample.iDistance = Rebased(baseDistance, c->iSample.iDistance, p->iSample.iDistance, -1);
      plots->AppendStored(sample);
      const int32_t index = plots->Count() - 1;
      baseTime = sample.iTime + 1;
      baseDistance = sample.iDistance + 1;
      // The crossing itself keeps the exact moment, so the trace times like the optimal lap.
      TPositionPlot crossing = sample;
      crossing.iTime = baseTime;
      crossing.iDistance = baseDistance;
      if (c == iOptimal->Finish())
        trace->SetFinish(c->iKey, index, crossing);
      else
        trace->AddSplit(c->iKey, index, crossing);
    }
    trace->HighLowScan(iHighLowThreshold);
  });
  if (code != KErrNone || broken) {
    delete trace;
    delete plots;
    LeaveIfError(code);
    return;
  }
  iTrace = trace;
  iTracePlots = plots;
}

// --- Laps and comparison -----------------------------------------------------------------------

CLap* CLapList::NthNewest(int32_t aBack) const {
  const int32_t index = iLaps.Count() - 1 - aBack;
  return index >= 0 ? iLaps.At(index) : nullptr;
}

CLap* CLapList::Lap(int32_t aIndex, bool aTrace) {
  if (aIndex == KOptimalLap) return aTrace ? OptimalTrace() : iOptimal;
  if (aIndex < 0 || aIndex >= iLaps.Count()) return nullptr;
  return iLaps.At(aIndex);
}

const CLap* CLapList::Lap(int32_t aIndex) const {
  if (aIndex == KOptimalLap) return iOptimal;
  if (aIndex < 0 || aIndex >= iLaps.Count()) return nullptr;
  return iLaps.At(aIndex);
}

int32_t CLapList::DisplayLapCount() const {
  const CLap* newest = NthNewest(0);
  return iLaps.Count() - (newest && !newest->IsFinished() ? 1 : 0);
}

int32_t CLapList::IndexOf(const CLap* aLap) const {
  if (!aLap) return -1;
  if (aLap == iOptimal || aLap == iTrace) return KOptimalLap;
  for (int32_t i = 0; i < iLaps.Count(); ++i)
    if (iLaps.At(i) == aLap) return i;
  return -1;
}

CLap* CLapList::CompareLapFor(int32_t aIndex) const {
  if (!iBestLap) return nullptr;
  return aIndex == iBestIndex ? iPreviousBestLap : iBestLap;
}

CLap* CLapList::ComparisonLapFor(int32_t aIndex, bool aTrace) {
  if (iComparisonList) {
    CLapList& other = *iComparisonList;
    // A lap of another session is never this session's best, so "best" is simply its best.
    if (other.iComparison == KCompareBest) return other.iBestLap;
    return other.Lap(other.iComparison, aTrace);
  }
  if (iComparison == KCompareBest) return CompareLapFor(aIndex);
  return Lap(iComparison, aTrace);
}

void CLapList::SelectComparison(int32_t aSelection) {
  iComparison = aSelection;
  RecomputeBestAndOptimal();
}

// --- Viewed lap ---------------------------------------------------------------------------------

bool CLapList::HidesInvalid() const { return iSettings && iSettings->HideInvalid(); }

bool CLapList::IsViewable(int32_t aIndex) const {
  if (aIndex == KOptimalLap) return iOptimal != nullptr;
  if (aIndex < 0 || aIndex >= iLaps.Count()) return false;
  return !(HidesInvalid() && iLaps.At(aIndex)->IsInvalid());
}

// The viewing order is lap 0 ... lap n-1, then the optimal lap; position n stands for it.
void CLapList::ViewedNext() {
  const int32_t n = iLaps.Count();
  const int32_t slots = n + 1;
  int32_t position = iViewed == KOptimalLap ? n : (iViewed >= 0 && iViewed < n ? iViewed : -1);
  for (int32_t step = 0; step < slots; ++step) {
    position = (position + 1) % slots;
    const int32_t index = position == n ? KOptimalLap : position;
    if (IsViewable(index)) {
      iViewed = index;
      return;
    }
  }
}

void CLapList::ViewedPrevious() {
  const int32_t n = iLaps.Count();
  const int32_t slots = n + 1;
  int32_t position = iViewed == KOptimalLap ? n : (iViewed >= 0 && iViewed < n ? iViewed : slots);
  for (int32_t step = 0; step < slots; ++step) {
    position = (position + slots - 1) % slots;
    const int32_t index = position == n ? KOptimalLap : position;
    if (IsViewable(index)) {
      iViewed = index;
      return;
    }
  }
}

void CLapList::ValidateViewed() {
  if (IsViewable(iViewed)) return;
  const int32_t n = iLaps.Count();
  int32_t from = iViewed >= n ? n - 1 : iViewed;
  if (from < 0) from = 0;
  for (int32_t i = from; i >= 0; --i)
    if (IsViewable(i)) {
      iViewed = i;
      return;
    }
  for (int32_t i = from + 1; i < n; ++i)
    if (IsViewable(i)) {
      iViewed = i;
      return;
    }
  iViewed = iOptimal ? KOptimalLap : 0;
}

// --- Selected key and high/low cursor ---------------------------------------------------------

void CLapList::SelectedKeyNext() {
  const CLap* lap = Lap(iViewed);
  iSelectedKey = lap ? lap->NextKey(iSelectedKey) : -1;
}

void CLapList::SelectedKeyPrevious() {
  const CLap* lap = Lap(iViewed);
  iSelectedKey = lap ? lap->PreviousKey(iSelectedKey) : -1;
}

int32_t CLapList::SelectedKeyIndex() {
  const CLap* lap = Lap(iViewed);
  return lap ? lap->CrossingIndexOf(iSelectedKey) : -1;
}

void CLapList::HighLowNext() {
  const CLap* lap = Lap(iViewed);
  const int32_t count = lap ? lap->HighLowCount() : 0;
  iHighLowCursor = count ? (iHighLowCursor + 1 >= count || iHighLowCursor < 0 ? 0 : iHighLowCursor + 1) : 0;
}

void CLapList::HighLowPrevious() {
  const CLap* lap = Lap(iViewed);
  const int32_t count = lap ? lap->HighLowCount() : 0;
  iHighLowCursor = count ? (iHighLowCursor <= 0 || iHighLowCursor >= count ? count - 1 : iHighLowCursor - 1) : 0;
}

void CLapList::HighLowClamp() {
  const CLap* lap = Lap(iViewed);
  const int32_t count = lap ? lap->HighLowCount() : 0;
  if (iHighLowCursor >= count) iHighLowCursor = count - 1;
  if (iHighLowCursor < 0) iHighLowCursor = 0;
}

void CLapList::HighLowNearest(TGeoPoint aPoint) {
  const CLap* lap = Lap(iViewed);
  if (!lap || !aPoint.IsValid()) return;
  int64_t bestDistance = -1;
  for (int32_t i = 0; i < lap->HighLowCount(); ++i) {
    const TGeoPoint p = lap->HighLowPosition(i);
    if (!p.IsValid()) continue;
    const int64_t dLat = static_cast<int64_t>(p.iLatitude.iValue) - aPoint.iLatitude.iValue;
    const int64_t dLon = static_cast<int64_t>(p.iLongitude.iValue) - aPoint.iLongitude.iValue;
    const int64_t d = dLat * dLat + dLon * dLon;
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      iHighLowCursor = i;
    }
  }
}

// --- Lap table rows ------------------------------------------------------------------------------

int32_t CLapList::ListLapIndices(CPwVector<int32_t>& aRows, int32_t aFlags) {
  aRows.Reset();
  if ((aFlags & EListBuildTrace) && iOptimal) OptimalTrace();
  auto qualifies = [aFlags](const CLap* aLap) {
    return aLap && ((aFlags & EListInvalid) || !aLap->IsInvalid()) &&
           ((aFlags & EListUnfinished) || aLap->IsFinished());
  };
  const bool optimalRow = (aFlags & EListOptimalFirst) && qualifies(iOptimal);
  if (aFlags & EListViewedOnly) {
    if (iViewed == KOptimalLap) {
      if (optimalRow) aRows.Append(KOptimalLap);
    } else if (qualifies(Lap(iViewed))) {
      aRows.Append(iViewed);
    }
  } else if (aFlags & EListBestOnly) {
    if (qualifies(iBestLap)) aRows.Append(iBestIndex);
  } else {
    if (optimalRow) aRows.Append(KOptimalLap);
    for (int32_t i = 0; i < iLaps.Count(); ++i)
      if (qualifies(iLaps.At(i))) aRows.Append(i);
  }
  for (int32_t row = 0; row < aRows.Count(); ++row)
    if (aRows.At(row) == iViewed) return row;
  return -1;
}
