#include "timing/track_detector.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "storage/position_plot_list.h"
#include "strings/pw_strings.h"
#include "timing/track_list.h"
#include "timing/trap_line.h"

namespace {

bool IsGoodFix(const TPositionPlot& aPlot) {
  if (!IsPlausiblePoint(aPlot.GeoPoint())) return false;
  const double hdop = aPlot.Hdop();
  return IsInvalidReal(hdop) || hdop <= CTrackDetector::KGoodHdop;
}

double Metres(TGeoPoint aA, TGeoPoint aB) { return TPosition(aA).Distance(TPosition(aB)).Metres(); }

constexpr double KSameCrossing = 1.0;  // metres

bool EndsWith(CPwStringC aText, CPwStringC aTail) {
  return aText.Length() >= aTail.Length() && aText.Mid(aText.Length() - aTail.Length()).Equals(aTail);
}

// Difference of two headings in radians, in [0, pi].
double HeadingGap(double aA, double aB) {
  const double d = std::fabs(std::remainder(aA - aB, KTwoPi));
  return d;
}

}  // namespace

// One candidate layout and how the route has treated it so far.
struct CTrackDetector::TCandidate {
  std::unique_ptr<CTrackProfile> iProfile;
  bool iMade = false;
  double iDistance = 0.0;
  int32_t iState = EOpen;
  CPwString iWhy;

  int32_t iStart = -1;   // the trap that starts a lap
  int32_t iFinish = -1;  // the trap that ends it (the same one for a start/finish line)
  std::vector<int32_t> iSplitPos;  // per trap: its place among the splits, or -1
  int32_t iSplitCount = 0;
  TGeoPoint iStartCentre;
  double iChain = 0.0;   // metres through the trap centres in lap order
  CTrapLine iBackStart;  // the start line turned round: crossing it means driving against it
  bool iHasBack = false;

  bool iStarted = false;
  bool iEverStarted = false;
  double iStartDistance = 0.0;
  int32_t iNextSplit = 0;
  bool iLapDone = false;
  int32_t iLapTraps = 0;
  int32_t iLastTrap = -1;  // the last crossing, to count a line met by a sample once
  double iLastDistance = 0.0;
};

CTrackDetector::CTrackDetector() = default;
CTrackDetector::~CTrackDetector() = default;

const char* CTrackDetector::MethodWord(int32_t aMethod) {
  switch (aMethod) {
    case ENearest:
      return "nearest";
    case ELayout:
      return "layout";
    case EReverse:
      return "reverse";
    case ELoop:
      return "loop";
    default:
      return "";
  }
}

void CTrackDetector::LoopTrackName(const PwDateTime& aWhen, CPwString& aName) {
  aName.LoadFromResource(R_DETECT_AUTO_NAME);
  if (!aWhen.IsSet()) return;
  const auto two = [&](char16_t aSeparator, int32_t aValue) {
    aName.AppendChar(aSeparator);
    aName.AppendNum(aValue, 2);
  };
  aName.AppendChar(u' ');
  aName.AppendNum(aWhen.iDate.Year(), 4);
  two(u'-', aWhen.iDate.Month());
  two(u'-', aWhen.iDate.Day());
  two(u' ', aWhen.iTime.Hour());
  two(u'.', aWhen.iTime.Minute());
  two(u'.', aWhen.iTime.Milliseconds() / 1000 % 60);
}

void CTrackDetector::AddCandidate(const CTrackProfile& aProfile) {
  std::unique_ptr<CTrackProfile> copy(new CTrackProfile);
  copy->CopyFrom(aProfile);
  iGiven.push_back(std::move(copy));
}

// --- Candidates -----------------------------------------------------------------------------

void CTrackDetector::TakeCandidates(const TPositionPlot& aFix) {
  if (iTracks) {
    for (int32_t i = 0; i < iTracks->Count(); ++i) {
      std::unique_ptr<CTrackProfile> profile(new CTrackProfile);
      if (iTracks->LoadByName(iTracks->At(i).Name(), *profile)) AddCandidateAt(std::move(profile), false, aFix);
    }
  }
  for (std::unique_ptr<CTrackProfile>& given : iGiven) AddCandidateAt(std::move(given), false, aFix);
  iGiven.clear();
  // A layout whose start line counts one way only may be driven the other way round.
  const size_t stored = iCandidates.size();
  for (size_t i = 0; i < stored; ++i) {
    const CTrackProfile& profile = *iCandidates[i]->iProfile;
    if (EndsWith(profile.Name(), KReverseSuffix)) continue;
    CPwString reverseName(profile.Name());
    reverseName.Append(KReverseSuffix);
    if (HasCandidateNamed(reverseName) || (iTracks && iTracks->Exists(reverseName))) continue;
    if (std::unique_ptr<CTrackProfile> reverse = MakeReverse(profile)) AddCandidateAt(std::move(reverse), true, aFix);
  }
}

bool CTrackDetector::HasCandidateNamed(CPwStringC aName) const {
  for (const std::unique_ptr<TCandidate>& c : iCandidates)
    if (c->iProfile->Name().CompareNoCase(aName) == 0) return true;
  return false;
}

void CTrackDetector::AddCandidateAt(std::unique_ptr<CTrackProfile> aProfile, bool aMade, const TPositionPlot& aFix) {
  const CTrapLineList* traps = aProfile->Traps();
  if (!traps) return;
  std::unique_ptr<TCandidate> candidate(new TCandidate);
  candidate->iProfile = std::move(aProfile);
  candidate->iMade = aMade;
  for (int32_t i = 0; i < traps->Count(); ++i) {
    const int32_t type = traps->At(i)->Type();
    if (candidate->iStart < 0 && (type == ETrapStart || type == ETrapStartFinish)) candidate->iStart = i;
    if (candidate->iFinish < 0 && CTrapLine::IsFinishType(type)) candidate->iFinish = i;
  }
  if (candidate->iStart < 0 || candidate->iFinish < 0) return;
  candidate->iStartCentre = traps->At(candidate->iStart)->Centre();
  candidate->iDistance = Metres(candidate->iStartCentre, aFix.GeoPoint());
  if (!(candidate->iDistance <= KCandidateRadius)) return;
  Prepare(*candidate, aFix);
  iCandidates.push_back(std::move(candidate));
}

void CTrackDetector::Prepare(TCandidate& aCandidate, const TPositionPlot&) {
  const CTrapLineList& traps = *aCandidate.iProfile->Traps();
  aCandidate.iSplitPos.assign(static_cast<size_t>(traps.Count()), -1);
  TGeoPoint last = aCandidate.iStartCentre;
  for (int32_t i = 0; i < traps.Count(); ++i) {
    const CTrapLine& trap = *traps.At(i);
    if (trap.Type() != ETrapSplit) continue;
    aCandidate.iSplitPos[static_cast<size_t>(i)] = aCandidate.iSplitCount++;
    aCandidate.iChain += Metres(last, trap.Centre());
    last = trap.Centre();
  }
  aCandidate.iChain += Metres(last, traps.At(aCandidate.iFinish)->Centre());
  const CTrapLine& start = *traps.At(aCandidate.iStart);
  if (start.Unidirectional()) {
    aCandidate.iBackStart.Set(ETrapSplit, CPwStringC(), start.Centre().iLatitude, start.Centre().iLongitude,
                              TAngle(start.Bearing().iValue + KPi).Normalised(), start.Width(), 1);
    aCandidate.iHasBack = true;
  }
}

std::unique_ptr<CTrackProfile> CTrackDetector::MakeReverse(const CTrackProfile& aProfile) const {
  const CTrapLineList* traps = aProfile.Traps();
  if (!traps) return nullptr;
  const CTrapLine* start = nullptr;
  for (int32_t i = 0; i < traps->Count() && !start; ++i)
    if (traps->At(i)->Type() == ETrapStart || traps->At(i)->Type() == ETrapStartFinish) start = traps->At(i);
  if (!start || !start->Unidirectional()) return nullptr;
  std::unique_ptr<CTrackProfile> reverse(new CTrackProfile);
  CPwString name(aProfile.Name());
  name.Append(KReverseSuffix);
  reverse->SetName(name);
  reverse->CreateEmptyTrapList();
  reverse->SetLock(0);
  // The lap runs the other way: traps in reverse order (a start/finish line stays first),
  // every line turned round, start and finish lines swapping roles.
  std::vector<const CTrapLine*> order;
  for (int32_t i = traps->Count() - 1; i >= 0; --i) order.push_back(traps->At(i));
  const auto first = std::find_if(order.begin(), order.end(),
                                  [](const CTrapLine* t) { return t->Type() == ETrapStartFinish; });
  if (first != order.end()) std::rotate(order.begin(), first, first + 1);
  for (const CTrapLine* trap : order) {
    int32_t type = trap->Type();
    if (type == ETrapStart)
      type = ETrapFinish;
    else if (type == ETrapFinish)
      type = ETrapStart;
    CTrapLine turned;
    turned.Set(type, trap->Name(), trap->Centre().iLatitude, trap->Centre().iLongitude,
               TAngle(trap->Bearing().iValue + KPi).Normalised(), trap->Width(), trap->Unidirectional());
    reverse->AddTrap(turned);
  }
  return reverse;
}

// --- Watching the route ---------------------------------------------------------------------

bool CTrackDetector::AddAll(const CPositionPlotList& aList) {
  while (!IsDecided() && iNext < aList.Count()) Add(aList, iNext);
  return IsDecided();
}

bool CTrackDetector::Add(const CPositionPlotList& aList, int32_t aIndex) {
  if (IsDecided() || aIndex != iNext || aIndex >= aList.Count()) return false;
  ++iNext;
  const TPositionPlot& current = aList.At(aIndex);
  if (iFirstTime == KInvalidInt) iFirstTime = current.iTime;
  if (!iHaveOrigin) {
    if (!IsGoodFix(current)) return false;
    iHaveOrigin = true;
    const TPosition origin = current.Position();
    iOriginLat = origin.iLatitude;
    iOriginLon = origin.iLongitude;
    iCosLat = std::cos(origin.iLatitude);
    TakeCandidates(current);
    iPrevious = current;
    return false;
  }
  if (!IsPlausiblePoint(current.GeoPoint())) return false;
  const TPositionPlot previous = iPrevious;
  iPrevious = current;
  if (current.IsDiscontinuity()) return false;  // no step across a gap in the trace
  WatchCandidates(previous, current);
  if (!iLoopClosed) {
    TLoopPoint point{};
    if (LoopPoint(previous, current, point)) {
      const int32_t closed = ClosesLoop(point);
      if (closed >= 0) {
        iLoopClosed = true;
        iClosureFrom = iLoop[static_cast<size_t>(closed)].iFrom;
        iClosureTo = iLoop[static_cast<size_t>(closed)].iTo;
      } else {
        RememberLoopPoint(point);
      }
    }
  }
  return TryDecide(aIndex, current.iTime);
}

void CTrackDetector::WatchCandidates(const TPositionPlot& aPrevious, const TPositionPlot& aCurrent) {
  const double fromDistance = aPrevious.iDistance / KArcUnitsPerRadian * EarthRadius;
  const double step = (aCurrent.iDistance - aPrevious.iDistance) / KArcUnitsPerRadian * EarthRadius;
  for (std::unique_ptr<TCandidate>& c : iCandidates) {
    if (c->iState != EOpen) continue;
    double fraction = 0.0;
    if (c->iHasBack && c->iBackStart.LineFraction(aPrevious, aCurrent, fraction)) {
      RuleOut(*c, u"start line crossed against its direction");
      continue;
    }
    // Crossings of this step in the order they happened.
    std::pair<double, int32_t> hits[8];
    int32_t hitCount = 0;
    const CTrapLineList& traps = *c->iProfile->Traps();
    for (int32_t i = 0; i < traps.Count(); ++i) {
      if (traps.At(i)->LineFraction(aPrevious, aCurrent, fraction) && hitCount < 8) hits[hitCount++] = {fraction, i};
    }
    std::sort(hits, hits + hitCount);
    for (int32_t h = 0; h < hitCount && c->iState == EOpen; ++h)
      Crossed(*c, hits[h].second, fromDistance + hits[h].first * step);
  }
}

void CTrackDetector::Crossed(TCandidate& aCandidate, int32_t aTrap, double aDistance) {
  // A sample right on a line ends one step across it and begins the next: one crossing.
  if (aTrap == aCandidate.iLastTrap && aDistance - aCandidate.iLastDistance < KSameCrossing) return;
  aCandidate.iLastTrap = aTrap;
  aCandidate.iLastDistance = aDistance;
  if (aTrap == aCandidate.iFinish && aCandidate.iStarted) {
    EndLap(aCandidate, aDistance);
    if (aCandidate.iState != EOpen) return;
    aCandidate.iStarted = false;
  }
  if (aTrap == aCandidate.iStart) {
    aCandidate.iStarted = true;
    aCandidate.iStartDistance = aDistance;
    aCandidate.iNextSplit = 0;
    if (!aCandidate.iEverStarted) {
      aCandidate.iEverStarted = true;
      Started(aCandidate);
    }
    return;
  }
  const int32_t place = aCandidate.iSplitPos[static_cast<size_t>(aTrap)];
  if (place < 0 || !aCandidate.iStarted) return;  // splits count only within a lap
  if (place == aCandidate.iNextSplit)
    ++aCandidate.iNextSplit;
  else
    RuleOut(aCandidate, u"traps crossed out of order");
}

void CTrackDetector::EndLap(TCandidate& aCandidate, double aDistance) {
  const double driven = aDistance - aCandidate.iStartDistance;
  if (aCandidate.iNextSplit < aCandidate.iSplitCount) {
    RuleOut(aCandidate, u"a lap missed some of its traps");
  } else if (driven < aCandidate.iChain * (1.0 - KLengthTolerance)) {
    RuleOut(aCandidate, u"the lap driven is shorter than its traps allow");
  } else {
    aCandidate.iLapDone = true;
    aCandidate.iLapTraps = aCandidate.iSplitCount + (aCandidate.iStart == aCandidate.iFinish ? 1 : 2);
  }
}

void CTrackDetector::RuleOut(TCandidate& aCandidate, const char16_t* aWhy) {
  aCandidate.iState = ERuledOut;
  aCandidate.iWhy.Copy(CPwStringC(aWhy, static_cast<int32_t>(std::char_traits<char16_t>::length(aWhy))));
}

void CTrackDetector::Started(const TCandidate& aCandidate) {
  for (std::unique_ptr<TCandidate>& other : iCandidates) {
    if (other.get() == &aCandidate || other->iState != EOpen || other->iEverStarted) continue;
    if (Metres(other->iStartCentre, aCandidate.iStartCentre) > KOtherCircuit)
      RuleOut(*other, u"the start line of another circuit was crossed");
  }
}

bool CTrackDetector::TryDecide(int32_t aIndex, int32_t aTime) {
  TCandidate* best = nullptr;
  TCandidate* onlyOpen = nullptr;
  int32_t open = 0;
  bool anyStarted = false;
  for (std::unique_ptr<TCandidate>& c : iCandidates) {
    if (c->iState != EOpen) continue;
    ++open;
    onlyOpen = c.get();
    anyStarted = anyStarted || c->iEverStarted;
    if (!c->iLapDone) continue;
    // Ties go to the layout with more traps, then to the longer one (the closer fit: every
    // chain is a lower bound of the lap driven).
    if (!best || c->iLapTraps > best->iLapTraps || (c->iLapTraps == best->iLapTraps && c->iChain > best->iChain))
      best = c.get();
  }
  if (best) {
    Choose(*best, aIndex, aTime);
  } else if (open == 1 && onlyOpen->iEverStarted) {
    Choose(*onlyOpen, aIndex, aTime);
  } else if (!anyStarted && iLoopClosed) {
    // A whole loop without a start line of any candidate: none of them is this track.
    for (std::unique_ptr<TCandidate>& c : iCandidates)
      if (c->iState == EOpen) RuleOut(*c, u"the route closed a loop without crossing its start line");
    ChooseLoop(aIndex, aTime);
  }
  return IsDecided();
}

void CTrackDetector::Choose(TCandidate& aCandidate, int32_t aIndex, int32_t aTime) {
  aCandidate.iState = EChosen;
  iChosen.reset(new CTrackProfile);
  iChosen->CopyFrom(*aCandidate.iProfile);
  iChosenNew = aCandidate.iMade;
  iChosenDistance = aCandidate.iDistance;
  iDecidedIndex = aIndex;
  iDecidedTime = aTime;
  if (aCandidate.iMade || EndsWith(aCandidate.iProfile->Name(), KReverseSuffix)) {
    iMethod = EReverse;
    return;
  }
  // Another layout at this circuit (not merely this one turned round) makes it a choice of
  // layout; otherwise it was simply the track there.
  CPwString reverseName(aCandidate.iProfile->Name());
  reverseName.Append(KReverseSuffix);
  iMethod = ENearest;
  for (const std::unique_ptr<TCandidate>& other : iCandidates) {
    if (other.get() == &aCandidate || other->iMade || other->iProfile->Name().CompareNoCase(reverseName) == 0)
      continue;
    if (Metres(other->iStartCentre, aCandidate.iStartCentre) <= KOtherCircuit) iMethod = ELayout;
  }
}

std::vector<CTrackDetector::TCandidateReport> CTrackDetector::Candidates() const {
  std::vector<TCandidateReport> reports;
  for (const std::unique_ptr<TCandidate>& c : iCandidates) {
    TCandidateReport report;
    report.iName.Copy(c->iProfile->Name());
    report.iDistance = c->iDistance;
    report.iState = c->iState;
    report.iMade = c->iMade;
    report.iWhy.Copy(c->iWhy);
    reports.push_back(std::move(report));
  }
  return reports;
}

// --- The loop rule --------------------------------------------------------------------------

namespace {
constexpr double KCellMetres = 40.0;  // at least the reach plus half the longest step looked at
constexpr double KLongestStep = 50.0;
constexpr double KShortestStep = 0.3;  // standing still or creeping: no heading to go by
}  // namespace

int64_t CTrackDetector::CellKey(double aX, double aY) {
  const int64_t cx = static_cast<int64_t>(std::floor(aX / KCellMetres));
  const int64_t cy = static_cast<int64_t>(std::floor(aY / KCellMetres));
  return (cx << 32) ^ (cy & 0xFFFFFFFF);
}

bool CTrackDetector::LoopPoint(const TPositionPlot& aPrevious, const TPositionPlot& aCurrent, TLoopPoint& aPoint) const {
  const TPosition from = aPrevious.Position();
  const TPosition to = aCurrent.Position();
  const double dx = (to.iLongitude - from.iLongitude) * iCosLat * EarthRadius;
  const double dy = (to.iLatitude - from.iLatitude) * EarthRadius;
  const double step = std::hypot(dx, dy);
  if (step < KShortestStep || step > KLongestStep) return false;
  aPoint.iX = (to.iLongitude - iOriginLon) * iCosLat * EarthRadius;
  aPoint.iY = (to.iLatitude - iOriginLat) * EarthRadius;
  aPoint.iDistance = aCurrent.iDistance / KArcUnitsPerRadian * EarthRadius;
  aPoint.iTime = aCurrent.iTime;
  aPoint.iHeading = std::atan2(dx, dy);
  aPoint.iFrom = aPrevious.GeoPoint();
  aPoint.iTo = aCurrent.GeoPoint();
  return true;
}

int32_t CTrackDetector::ClosesLoop(const TLoopPoint& aPoint) const {
  const double maxGap = KLoopHeading * KPi / 180.0;
  for (int32_t ix = -1; ix <= 1; ++ix) {
    for (int32_t iy = -1; iy <= 1; ++iy) {
      const auto cell = iCells.find(CellKey(aPoint.iX + ix * KCellMetres, aPoint.iY + iy * KCellMetres));
      if (cell == iCells.end()) continue;
      for (const int32_t j : cell->second) {
        const TLoopPoint& q = iLoop[static_cast<size_t>(j)];
        if (aPoint.iDistance - q.iDistance < KLoopDistance || aPoint.iTime - q.iTime < KLoopMs) continue;
        if (HeadingGap(aPoint.iHeading, q.iHeading) > maxGap) continue;
        // Distance from the point to the step that ended at q (or to q alone for the first).
        double ax = q.iX, ay = q.iY;
        if (j > 0) {
          const TLoopPoint& p = iLoop[static_cast<size_t>(j - 1)];
          const double sx = q.iX - p.iX, sy = q.iY - p.iY;
          const double length2 = sx * sx + sy * sy;
          double t = length2 > 0 ? ((aPoint.iX - p.iX) * sx + (aPoint.iY - p.iY) * sy) / length2 : 1.0;
          t = std::clamp(t, 0.0, 1.0);
          ax = p.iX + t * sx;
          ay = p.iY + t * sy;
        }
        if (std::hypot(aPoint.iX - ax, aPoint.iY - ay) <= KLoopReach) return j;
      }
    }
  }
  return -1;
}

void CTrackDetector::RememberLoopPoint(const TLoopPoint& aPoint) {
  const int32_t index = static_cast<int32_t>(iLoop.size());
  const int64_t key = CellKey(aPoint.iX, aPoint.iY);
  iCells[key].push_back(index);
  // The step into this point is found from the cell of either end.
  if (index > 0) {
    const TLoopPoint& p = iLoop.back();
    const int64_t previousKey = CellKey(p.iX, p.iY);
    if (previousKey != key) iCells[previousKey].push_back(index);
  }
  iLoop.push_back(aPoint);
}

void CTrackDetector::ChooseLoop(int32_t aIndex, int32_t aTime) {
  // A line across the route in the middle of the step the loop came back to, counted in the
  // direction the route ran there.
  const TPosition from(iClosureFrom);
  const TPosition to(iClosureTo);
  const TPosition centre((from.iLatitude + to.iLatitude) / 2.0, (from.iLongitude + to.iLongitude) / 2.0);
  const TGeoPoint centrePoint = centre.ToGeoPoint();
  iChosen.reset(new CTrackProfile);
  iChosen->CreateEmptyTrapList();
  iChosen->SetLock(0);
  CTrapLine line;
  line.Set(ETrapStartFinish, u"Start/finish", centrePoint.iLatitude, centrePoint.iLongitude, from.Bearing(to),
           TDistance::FromMetres(KLoopLineWidth), 1);
  iChosen->AddTrap(line);
  iChosenNew = true;
  iChosenDistance = std::hypot((centre.iLongitude - iOriginLon) * iCosLat, centre.iLatitude - iOriginLat) * EarthRadius;
  iMethod = ELoop;
  iDecidedIndex = aIndex;
  iDecidedTime = aTime;
  // The loop points are not needed any more.
  iLoop.clear();
  iCells.clear();
}
