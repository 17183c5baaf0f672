#include "analysis/graph_generator.h"

#include <cmath>
#include <vector>

#include "acquisition/position_plot.h"
#include "storage/plot_list.h"
#include "storage/settings.h"
#include "timing/lap.h"
#include "timing/lap_delta.h"
#include "timing/lap_list.h"
#include "timing/performance_run.h"
#include "timing/track_session.h"

namespace {

// Distance in metres along the positions at a session time, interpolated between the samples
// around it and held at either end; NaN without samples.
double DistanceAtTime(const CPositionPlotList& aPositions, PwTime aTime) {
  const int32_t n = aPositions.Count();
  if (n == 0 || !aTime.IsSet()) return InvalidReal();
  if (n == 1) return aPositions.At(0).Distance().Metres();
  int32_t lo = -1, hi = -1;
  aPositions.FindByTime(aTime, lo, hi);
  if (lo < 0) return aPositions.At(0).Distance().Metres();
  if (hi < 0 || lo == hi) return aPositions.At(lo).Distance().Metres();
  const TPositionPlot& a = aPositions.At(lo);
  const TPositionPlot& b = aPositions.At(hi);
  const double f = b.iTime > a.iTime ? static_cast<double>(aTime.Milliseconds() - a.iTime) / (b.iTime - a.iTime) : 0.0;
  return (1.0 - f) * a.Distance().Metres() + f * b.Distance().Metres();
}

bool IsTimeAxis(int32_t aAxis) { return aAxis != CGraphGenerator::EAxisDistance; }

}  // namespace

CGraphGenerator* CGraphGenerator::NewL(CTrackSession* aSession) { return PwNewL<CGraphGenerator>(aSession); }

void CGraphGenerator::ConstructL(CTrackSession* aSession) {
  iSession = aSession;
  iKind = EKindLap;
  iScaleFactor = InvalidReal();
  ClearStretches();
}

CGraphGenerator::~CGraphGenerator() { DeleteLists(); }

// --- Worker ----------------------------------------------------------------------------------

int32_t CGraphGenerator::Step() {
  bool more = false;
  for (CGraphChannelList* list : iLists)
    if (list->Step()) more = true;
  return more ? 1 : 0;
}

void CGraphGenerator::Cancel() {
  for (CGraphChannelList* list : iLists) list->Cancel();
}

int32_t CGraphGenerator::ProgressTotal() {
  int64_t total = 0;
  for (const CGraphChannelList* list : iLists) total += list->ProgressTotal();
  return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}

int32_t CGraphGenerator::ProgressValue() {
  int64_t done = 0;
  for (const CGraphChannelList* list : iLists) done += list->ProgressValue();
  return done > INT32_MAX ? INT32_MAX : static_cast<int32_t>(done);
}

// --- Preparation -----------------------------------------------------------------------------

void CGraphGenerator::ClearStretches() {
  iStretches[0].Clear();
  iStretches[1].Clear();
  iStretchLaps[0] = iStretchLaps[1] = nullptr;
}

void CGraphGenerator::DeleteLists() {
  for (CGraphChannelList* list : iLists) delete list;
  iLists.Reset();
}

void CGraphGenerator::Discard() {
  iCursorValid = false;
  iCursorMs = 0;
  iCursorMetres = 0.0;
  iKind = EKindNone;
  iScaleFactor = InvalidReal();
  ClearStretches();
  iVisible.Reset();
  DeleteLists();
}

void CGraphGenerator::SetCursorFromStretch(PwTime aTime, double aMetres) {
  iCursorValid = true;
  iCursorMs = aTime.IsSet() && aTime.Milliseconds() > 0 ? aTime.Milliseconds() : 0;
  iCursorMetres = IsValidReal(aMetres) && aMetres > 0.0 ? aMetres : 0.0;
}

bool CGraphGenerator::FinishStretch(TGraphStretch& aStretch, const CPlotList* aSamples) {
  const CPositionPlotList& positions = *aStretch.iPositions;
  if (aSamples && &aSamples->PositionList() == &positions) {
    aStretch.iObd = &aSamples->ObdList();
    aStretch.iLogger = &aSamples->LoggerList();
  } else {
    aStretch.iObd = nullptr;
    aStretch.iLogger = nullptr;
  }
  // The positions of the stretch, with the same margin the channel lists take.
  CGraphChannelList probe(positions, 0);
  probe.SetStretch(aStretch, nullptr);
  aStretch.iFirst = probe.First();
  aStretch.iLast = probe.End() - 1;
  aStretch.iUsed = probe.PointCount() > 0;
  return aStretch.iUsed;
}

bool CGraphGenerator::SetTimeStretch(int32_t aSide, const CPlotList& aSamples, PwTime aStart, PwTime aEnd) {
  TGraphStretch& s = iStretches[aSide == EComparison ? 1 : 0];
  s.Clear();
  if (!aStart.IsSet()) return false;
  const CPositionPlotList& positions = aSamples.PositionList();
  if (!aEnd.IsSet() && positions.Count() > 0) aEnd = positions.Last().iTime;
  s.iPositions = &positions;
  s.iStartTime = aStart;
  s.iEndTime = aEnd;
  s.iStartDistance = DistanceAtTime(positions, aStart);
  s.iEndDistance = DistanceAtTime(positions, aEnd);
  if (!FinishStretch(s, &aSamples)) {
    s.Clear();
    return false;
  }
  return true;
}

bool CGraphGenerator::SetLapStretch(int32_t aSide, const CLap& aLap, const TLapSector* aFrom, const TLapSector* aTo,
                                    const CPlotList* aSamples) {
  TGraphStretch& s = iStretches[aSide == EComparison ? 1 : 0];
  s.Clear();
  iStretchLaps[aSide == EComparison ? 1 : 0] = nullptr;
  const TLapSector* from = aFrom ? aFrom : aLap.Start();
  const TLapSector* to = aTo ? aTo : aLap.Finish();
  if (!from || !aLap.Plots()) return false;
  const CPositionPlotList& positions = *aLap.Plots();
  s.iPositions = &positions;
  s.iStartTime = PwTime(from->iSample.iTime);
  s.iStartDistance = from->iSample.Distance().Metres();
  if (to) {
    s.iEndTime = PwTime(to->iSample.iTime);
    s.iEndDistance = to->iSample.Distance().Metres();
  } else if (positions.Count() > 0) {
    // A lap still running ends with the newest sample.
    s.iEndTime = PwTime(positions.Last().iTime);
    s.iEndDistance = positions.Last().Distance().Metres();
  } else {
    s.Clear();
    return false;
  }
  if (s.iEndTime < s.iStartTime || !FinishStretch(s, aSamples)) {
    s.Clear();
    return false;
  }
  iStretchLaps[aSide == EComparison ? 1 : 0] = &aLap;
  return true;
}

int32_t CGraphGenerator::PrepareSpan() { return iSession ? PrepareSpan(iSession->PlotList()) : 0; }

int32_t CGraphGenerator::PrepareSpan(const CPlotList& aPlots) {
  iKind = EKindSpan;
  ClearStretches();
  iScaleFactor = InvalidReal();
  SetCursorFromStretch(PwTime(0), 0.0);
  const CPositionPlotList& positions = aPlots.PositionList();
  const int32_t cursor = positions.Cursor();
  if (cursor < 0 || cursor >= positions.Count()) return 0;
  const int64_t start = positions.At(cursor).iTime;
  int64_t end = start + KSpanMs;
  if (end > positions.Last().iTime) end = positions.Last().iTime;
  return SetTimeStretch(EPrimary, aPlots, PwTime(static_cast<int32_t>(start)), PwTime(static_cast<int32_t>(end))) ? 1
                                                                                                                 : 0;
}

int32_t CGraphGenerator::PrepareLap(int32_t aMode, int32_t aWholeLap) {
  if (!iSession) return 0;
  CTrackSession* comparison = iSession->ComparisonSession();
  return PrepareLap(iSession->Laps(), iSession->PlotList(), comparison ? &comparison->PlotList() : nullptr, aMode,
                    aWholeLap);
}

int32_t CGraphGenerator::PrepareLap(CLapList& aLaps, const CPlotList& aPlots, const CPlotList* aComparisonPlots,
                                    int32_t aMode, int32_t aWholeLap) {
  iKind = EKindLap;
  ClearStretches();
  iScaleFactor = InvalidReal();
  SetCursorFromStretch(PwTime(0), 0.0);
  // The optimal lap is graphed through its continuous trace.
  CLap* lap = aLaps.ViewedLap(true);
  if (!lap) return 0;
  CLap* other = aLaps.ComparisonLap(true);
  auto samplesOf = [&](const CLap& aLap) -> const CPlotList* {
    if (aLap.Plots() == &aPlots.PositionList()) return &aPlots;
    if (aComparisonPlots && aLap.Plots() == &aComparisonPlots->PositionList()) return aComparisonPlots;
    return nullptr;
  };
  const int32_t key = aLaps.SelectedKey();
  const TLapSector* sectorEnd = aMode == EModeSectors && !aWholeLap && key >= 0 ? lap->FindCrossing(key) : nullptr;
  if (sectorEnd && sectorEnd->iPrevious) {
    if (!SetLapStretch(EPrimary, *lap, sectorEnd->iPrevious, sectorEnd, samplesOf(*lap))) return 0;
    if (other) {
      const TLapSector* otherEnd = other->FindCrossing(key);
      if (otherEnd && otherEnd->iPrevious)
        SetLapStretch(EComparison, *other, otherEnd->iPrevious, otherEnd, samplesOf(*other));
    }
    return 1;
  }
  if (!SetLapStretch(EPrimary, *lap, nullptr, nullptr, samplesOf(*lap))) return 0;
  if (other) SetLapStretch(EComparison, *other, nullptr, nullptr, samplesOf(*other));
  // The cursor starts where the lap view's selection is.
  const TGraphStretch& s = iStretches[0];
  if (aMode >= EModeSectors && aMode <= EModeTrapSpeeds && key >= 0) {
    if (const TLapSector* c = lap->FindCrossing(key))
      SetCursorFromStretch(PwTime(c->iSample.iTime - s.iStartTime.Milliseconds()),
                           c->iSample.Distance().Metres() - s.iStartDistance);
  } else if (aMode == EModeHighLow) {
    const int32_t h = aLaps.HighLowCursor();
    if (h >= 0 && h < lap->HighLowCount()) {
      const TDistance d = lap->HighLowDistance(h);
      SetCursorFromStretch(lap->HighLowTime(h), d.IsValid() ? d.Metres() : 0.0);
    }
  }
  return 1;
}

int32_t CGraphGenerator::PrepareRun(int32_t aTest) { return iSession ? PrepareRun(iSession->Runs(), aTest) : 0; }

int32_t CGraphGenerator::PrepareRun(const CRunList& aRuns, int32_t aTest) {
  iKind = EKindRun;
  ClearStretches();
  iScaleFactor = InvalidReal();
  SetCursorFromStretch(PwTime(0), 0.0);
  const CPerformanceRun* run = aRuns.CursorRun();
  const CPerformance* result = CRunList::Performance(run, aTest);
  if (!result || !result->IsStarted() || !result->PlotList()) return 0;
  if (!SetTimeStretch(EPrimary, *result->PlotList(), result->StartTime(), result->FinishTime())) return 0;
  const CPerformanceRun* other = aRuns.ComparisonRun(aTest);
  if (other && other != run) {
    const CPerformance* otherResult = CRunList::Performance(other, aTest);
    if (otherResult && otherResult->IsStarted() && otherResult->PlotList())
      SetTimeStretch(EComparison, *otherResult->PlotList(), otherResult->StartTime(), otherResult->FinishTime());
  }
  return 1;
}

// --- Building the lists ----------------------------------------------------------------------

CGraphChannelList* CGraphGenerator::FindList(const CPlotListBase& aSamples, int32_t aSide, int32_t* aIndex) const {
  for (int32_t i = 0; i < iLists.Count(); ++i) {
    CGraphChannelList* list = iLists.At(i);
    if (&list->Samples() == &aSamples && list->IsComparison() == (aSide == EComparison)) {
      if (aIndex) *aIndex = i;
      return list;
    }
  }
  return nullptr;
}

void CGraphGenerator::AppendList(CGraphChannelList* aList) {
  try {
    iLists.Append(aList);
  } catch (...) {
    delete aList;
    throw;
  }
}

void CGraphGenerator::DeleteList(CGraphChannelList* aList) {
  for (int32_t i = 0; i < iLists.Count(); ++i)
    if (iLists.At(i) == aList) {
      iLists.Remove(i);
      break;
    }
  delete aList;
}

namespace {

// Seconds of difference per point of a channel list, from the readings of its samples.
class TDeltaTable final : public MDeltaSink {
 public:
  TDeltaTable(int32_t aFirst, int32_t aEnd)
      : iFirst(aFirst), iValues(static_cast<size_t>(aEnd - aFirst), InvalidReal()) {}
  void DeltaSample(int32_t aIndex, const TDeltaReading& aReading) override {
    if (aIndex < iFirst || !aReading.iValid) return;
    const size_t at = static_cast<size_t>(aIndex - iFirst);
    if (at < iValues.size()) iValues[at] = aReading.iDelta / 1000.0;
  }
  std::vector<double>& Values() { return iValues; }

 private:
  int32_t iFirst;
  std::vector<double> iValues;
};

}  // namespace

void CGraphGenerator::AddDeltaChannel(CGraphChannelList& aList) const {
  const CLap* lap = iStretchLaps[0];
  const CLap* reference = iStretchLaps[1];
  // A lap made of other laps' sectors has no samples of its own to follow.
  if (!lap || !reference || !HasComparison() || lap->IsComposite() || !lap->Start()) return;
  // A reused list may show another stretch now: the values are made afresh.
  if (const int32_t old = aList.FindChannel(KChannelLapDelta, 2); old >= 0) aList.RemoveChannel(old);
  CLapDelta delta;
  if (!delta.SetReference(*reference)) return;
  TDeltaTable table(aList.First(), aList.End());
  delta.RunLap(*lap, &table);
  aList.AddTableChannel(KChannelLapDelta, std::move(table.Values()));
}

void CGraphGenerator::DropInvisible(CGraphChannelList& aList, const CChannelList& aVisible) {
  for (int32_t i = aList.ChannelCount() - 1; i >= 2; --i)
    if (!aVisible.Contains(aList.Channel(i).Id())) aList.RemoveChannel(i);
}

void CGraphGenerator::BuildLists(const CSettings& aSettings) {
  if (iKind < CSettings::KGraphKindLap || iKind > CSettings::KGraphKindSpan) return;
  BuildLists(aSettings.GraphChannels(iKind));
}

void CGraphGenerator::BuildLists(const CChannelList& aVisible) {
  BuildSide(EPrimary, aVisible);
  BuildSide(EComparison, aVisible);
}

void CGraphGenerator::BuildSide(int32_t aSide, const CChannelList& aVisible) {
  const TGraphStretch& stretch = iStretches[aSide == EComparison ? 1 : 0];
  if (!stretch.iUsed) return;
  const int32_t flag = aSide == EComparison ? 1 : 0;

  // Sets up a list (new or reused) and keeps it only when it got channels: a list of a single
  // sample gets none, and a list without axes could not be drawn.
  auto place = [this](CGraphChannelList* aList, bool aIsNew, auto&& aAddChannels) {
    if (aIsNew) AppendList(aList);
    aAddChannels(*aList);
    if (aList->ChannelCount() < 2) DeleteList(aList);
  };

  // The positions' list comes first.
  CGraphChannelList* gps = FindList(*stretch.iPositions, aSide);
  const bool newGps = gps == nullptr;
  if (newGps) gps = new CGraphChannelList(*stretch.iPositions, flag);
  gps->SetStretch(stretch, nullptr);
  place(gps, newGps, [&](CGraphChannelList& aList) {
    aList.AddChannel(KChannelGpsTime);
    aList.AddChannel(KChannelDistance);
    for (TChannelId id : aVisible) aList.AddChannel(id);
    if (aSide == EPrimary && aVisible.Contains(KChannelLapDelta)) AddDeltaChannel(aList);
    DropInvisible(aList, aVisible);
  });
  gps = FindList(*stretch.iPositions, aSide);

  // Then one list per visible OBD parameter, from the last to the first.
  if (stretch.iObd) {
    for (int32_t i = stretch.iObd->ListCount() - 1; i >= 0; --i) {
      const CObdChannelPlotList& samples = stretch.iObd->ListAt(i);
      const TChannelId id = samples.Channel().Id();
      CGraphChannelList* list = FindList(samples, aSide);
      if (!aVisible.Contains(id)) {
        if (list) DeleteList(list);
        continue;
      }
      const bool isNew = list == nullptr;
      if (isNew) list = new CGraphChannelList(samples, flag);
      list->SetStretch(stretch, gps);
      place(list, isNew, [&](CGraphChannelList& aList) {
        aList.AddChannel(KChannelObdTime);
        aList.AddChannel(KChannelObdDistance, true);
        aList.AddChannel(id);
      });
    }
  }

  // Last, the data logger's records.
  if (stretch.iLogger && stretch.iLogger->Count() > 0) {
    CGraphChannelList* list = FindList(*stretch.iLogger, aSide);
    const bool isNew = list == nullptr;
    if (isNew) list = new CGraphChannelList(*stretch.iLogger, flag);
    list->SetStretch(stretch, gps);
    place(list, isNew, [&](CGraphChannelList& aList) {
      aList.AddChannel(KChannelLoggerTime);
      aList.AddChannel(KChannelLoggerDistance, true);
      for (TChannelId id : aVisible)
        if (DataLoggerChannelIndex(id) >= 0) aList.AddChannel(id);
      DropInvisible(aList, aVisible);
    });
  }
}

// --- Axis, window and ranges -----------------------------------------------------------------

void CGraphGenerator::SetAxis(bool aScaled, int32_t aAxis) {
  for (CGraphChannelList* list : iLists) list->SetXChannel(aAxis);
  iScaleFactor = InvalidReal();
  if (aScaled && HasComparison()) {
    const double primary = PrimaryLength(aAxis);
    const double comparison = ComparisonLength(false, aAxis);
    if (IsValidReal(primary) && IsValidReal(comparison) && comparison > 0.0 && primary > 0.0)
      iScaleFactor = primary / comparison;
  }
  for (CGraphChannelList* list : iLists) {
    if (list->IsComparison() && IsValidReal(iScaleFactor))
      list->SetScale(iScaleFactor, true);
    else
      list->SetScale(1.0, false);
  }
}

double CGraphGenerator::SetWindow(double aCentre, double aBase, double aFactor) {
  const double width = aBase * aFactor;
  double start = InvalidReal(), end = InvalidReal();
  for (const CGraphChannelList* list : iLists) {
    const double s = list->DataStart(true), e = list->DataEnd(true);
    if (IsValidReal(s) && (!IsValidReal(start) || s < start)) start = s;
    if (IsValidReal(e) && (!IsValidReal(end) || e > end)) end = e;
  }
  if (!IsValidReal(start) || !IsValidReal(end) || end < start) return aFactor;
  for (CGraphChannelList* list : iLists) {
    double from = aCentre - width / 2.0, to = aCentre + width / 2.0;
    if (list->IsScaled()) {
      from /= list->Scale();
      to /= list->Scale();
    }
    list->SetWindow(from, to);
  }
  return aFactor;
}

void CGraphGenerator::SetZoomedY(bool aZoomed) {
  for (CGraphChannelList* list : iLists) list->SetZoomedY(aZoomed);
}

void CGraphGenerator::FitClass(int32_t aQuantityClass) {
  double minimum = InvalidReal(), maximum = InvalidReal();
  for (const CGraphChannelList* list : iLists)
    for (int32_t i = 2; i < list->ChannelCount(); ++i) {
      const CGraphChannel& c = list->Channel(i);
      if (c.QuantityClass() != aQuantityClass) continue;
      if (IsValidReal(c.WindowMinimum()) && (!IsValidReal(minimum) || c.WindowMinimum() < minimum))
        minimum = c.WindowMinimum();
      if (IsValidReal(c.WindowMaximum()) && (!IsValidReal(maximum) || c.WindowMaximum() > maximum))
        maximum = c.WindowMaximum();
    }
  if (!IsValidReal(minimum)) return;
  for (CGraphChannelList* list : iLists)
    for (int32_t i = 2; i < list->ChannelCount(); ++i)
      if (list->Channel(i).QuantityClass() == aQuantityClass) list->Channel(i).SetWindowRange(minimum, maximum);
}

void CGraphGenerator::FitComparison() {
  for (const CGraphChannelList* primary : iLists) {
    if (primary->IsComparison()) continue;
    for (int32_t i = 2; i < primary->ChannelCount(); ++i) {
      CGraphChannel& p = primary->Channel(i);
      for (const CGraphChannelList* comparison : iLists) {
        if (!comparison->IsComparison()) continue;
        const int32_t j = comparison->FindChannel(p.Id(), 2);
        if (j < 0) continue;
        CGraphChannel& c = comparison->Channel(j);
        double minimum = p.WindowMinimum(), maximum = p.WindowMaximum();
        if (IsValidReal(c.WindowMinimum()) && (!IsValidReal(minimum) || c.WindowMinimum() < minimum))
          minimum = c.WindowMinimum();
        if (IsValidReal(c.WindowMaximum()) && (!IsValidReal(maximum) || c.WindowMaximum() > maximum))
          maximum = c.WindowMaximum();
        p.SetWindowRange(minimum, maximum);
        c.SetWindowRange(minimum, maximum);
        break;
      }
    }
  }
}

void CGraphGenerator::CollectVisible() {
  iVisible.Reset();
  for (const CGraphChannelList* list : iLists)
    for (int32_t i = 2; i < list->ChannelCount(); ++i) iVisible.Add(list->Channel(i).Id());
}

// --- Cursor ----------------------------------------------------------------------------------

double CGraphGenerator::CursorValue(int32_t aAxis) const {
  if (!iCursorValid) return InvalidReal();
  return IsTimeAxis(aAxis) ? iCursorMs / 1000.0 : iCursorMetres;
}

double CGraphGenerator::PrimaryLength(int32_t aAxis) const {
  const TGraphStretch& s = iStretches[0];
  if (!s.iUsed) return InvalidReal();
  if (IsTimeAxis(aAxis))
    return s.iStartTime.IsSet() && s.iEndTime.IsSet()
               ? (static_cast<double>(s.iEndTime.Milliseconds()) - s.iStartTime.Milliseconds()) / 1000.0
               : InvalidReal();
  return s.iEndDistance - s.iStartDistance;
}

double CGraphGenerator::ComparisonLength(bool aScaled, int32_t aAxis) const {
  const TGraphStretch& s = iStretches[1];
  if (!s.iUsed) return InvalidReal();
  double length = IsTimeAxis(aAxis)
                      ? (static_cast<double>(s.iEndTime.Milliseconds()) - s.iStartTime.Milliseconds()) / 1000.0
                      : s.iEndDistance - s.iStartDistance;
  if (aScaled && IsValidReal(iScaleFactor)) length *= iScaleFactor;
  return length;
}

void CGraphGenerator::SetCursorValues(int32_t aAxis) {
  const double x = CursorValue(aAxis);
  for (CGraphChannelList* list : iLists) list->SetCursorValues(list->IsScaled() ? x / list->Scale() : x);
}

double CGraphGenerator::CursorLimit(bool aScaled, int32_t aAxis) const {
  double limit = PrimaryLength(aAxis);
  if ((!aScaled || !IsValidReal(iScaleFactor)) && HasComparison()) {
    const double other = ComparisonLength(false, aAxis);
    if (IsValidReal(other) && (!IsValidReal(limit) || other > limit)) limit = other;
  }
  return IsValidReal(limit) && limit > 0.0 ? limit : 0.0;
}

void CGraphGenerator::MoveCursor(bool aForward, bool aLarge, double aBaseFactor, bool aScaled, int32_t aAxis) {
  const double limit = CursorLimit(aScaled, aAxis);
  const int32_t steps = aLarge ? KLargeMoveSteps : 1;
  iCursorValid = true;
  if (IsTimeAxis(aAxis)) {
    const int64_t step = static_cast<int64_t>(std::trunc(aBaseFactor / KCursorStepsPerWindow * 1000.0 + 0.5)) * steps;
    const int64_t limitMs = static_cast<int64_t>(std::trunc(limit * 1000.0 + 0.5));
    int64_t c = static_cast<int64_t>(iCursorMs) + (aForward ? step : -step);
    if (aForward && c > limitMs) c = 0;
    if (!aForward && c < 0) c = limitMs;
    iCursorMs = static_cast<int32_t>(c);
  } else {
    const double step = aBaseFactor / KCursorStepsPerWindow * steps;
    double c = iCursorMetres + (aForward ? step : -step);
    if (aForward && c > limit) c = 0.0;
    if (!aForward && c < 0.0) c = limit;
    iCursorMetres = c;
  }
}

void CGraphGenerator::SetCursor(double aValue, int32_t aAxis) {
  const double limit = CursorLimit(IsValidReal(iScaleFactor), aAxis);
  if (!IsValidReal(aValue)) return;
  double v = aValue < 0.0 ? 0.0 : aValue;
  if (v > limit) v = limit;
  iCursorValid = true;
  if (IsTimeAxis(aAxis))
    iCursorMs = static_cast<int32_t>(std::trunc(v * 1000.0 + 0.5));
  else
    iCursorMetres = v;
}

bool CGraphGenerator::SampleAtCursor(int32_t aAxis, int32_t aSide, TPositionPlot& aSample) const {
  const TGraphStretch& s = iStretches[aSide == EComparison ? 1 : 0];
  if (!s.iUsed || !iCursorValid) return false;
  const CPositionPlotList& positions = *s.iPositions;
  const double scale = aSide == EComparison && IsValidReal(iScaleFactor) ? iScaleFactor : 1.0;
  int32_t lo = -1, hi = -1;
  double f = 0.0;
  if (IsTimeAxis(aAxis)) {
    const int64_t t = s.iStartTime.Milliseconds() + static_cast<int64_t>(std::trunc(iCursorMs / scale + 0.5));
    if (t < INT32_MIN || t >= PwTime::KUnset) return false;
    positions.FindByTime(PwTime(static_cast<int32_t>(t)), lo, hi);
    if (lo >= 0 && hi > lo) f = static_cast<double>(t - positions.At(lo).iTime) / (positions.At(hi).iTime - positions.At(lo).iTime);
  } else {
    const double d = s.iStartDistance + iCursorMetres / scale;
    positions.FindByDistance(TDistance::FromMetres(d), lo, hi);
    if (lo >= 0 && hi > lo) {
      const double a = positions.At(lo).Distance().Metres(), b = positions.At(hi).Distance().Metres();
      f = b > a ? (d - a) / (b - a) : 0.0;
    }
  }
  if (lo < 0 || hi < 0) return false;
  if (lo == hi) {
    aSample = positions.At(lo);
    return true;
  }
  return positions.InterpolateSample(hi, f, aSample);
}
