// Finds the track a drive is on without the driver choosing one. The stored track profiles
// near the first good fixes are candidates; the route rules them out one by one (a start line
// crossed the wrong way, traps out of order, a lap shorter than the trap chain, a start line
// of another circuit crossed) until one is left. A layout driven the wrong way round is a
// candidate of its own. With no candidate at all, the first closed loop of the route makes a
// provisional track whose start/finish line lies across the route where the loop closed.
//
// The detector only watches samples; storing a made track and timing laps with the chosen
// one is the track session's. It is fed the samples of a position list one at a time, live
// or from the stored list, and reaches the same decision both ways.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "acquisition/position_plot.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"
#include "timing/track_profile.h"

class CPositionPlotList;
class CTrackList;

class CTrackDetector : public CPwBase {
 public:
  // How the track was found.
  enum TMethod : int32_t {
    EUndecided = 0,
    ENearest,  // the only candidate of its circuit
    ELayout,   // one of several layouts of one circuit, by traps and lap length
    EReverse,  // a layout driven against the direction of its start line
    ELoop,     // no stored track: made from the first closed loop
  };
  // What became of a candidate.
  enum TState : int32_t { EOpen = 0, EChosen, ERuledOut };

  // Candidates lie within this distance of the first good fix; a fix is good with an HDOP of
  // at most KGoodHdop (or none reported).
  static constexpr double KCandidateRadius = 3000.0;
  static constexpr double KGoodHdop = 3.0;
  // A driven lap may be this much shorter than the chain of its traps (trap centres in lap
  // order), which is the shortest lap the layout allows.
  static constexpr double KLengthTolerance = 0.10;
  // Crossing the start line of one circuit rules out candidates whose start lines lie
  // farther away than this: the driver is at another circuit.
  static constexpr double KOtherCircuit = 500.0;
  // The loop rule: back within KLoopReach metres of a point passed at least KLoopDistance
  // metres and KLoopSeconds earlier, heading the same way within KLoopHeading degrees.
  static constexpr double KLoopReach = 15.0;
  static constexpr double KLoopDistance = 300.0;
  static constexpr int32_t KLoopMs = 20000;
  static constexpr double KLoopHeading = 30.0;
  // The made start/finish line is this wide, counted in the direction of travel only.
  static constexpr double KLoopLineWidth = 30.0;
  // A stored layout driven the other way round is named "<name>" + this.
  static constexpr CPwStringC KReverseSuffix = u" (reverse)";

  // One candidate as the detector reports it.
  struct TCandidateReport {
    CPwString iName;
    double iDistance = 0.0;  // metres from the first good fix to its start line
    int32_t iState = EOpen;
    bool iMade = false;      // a reversed layout made here, not stored yet
    CPwString iWhy;          // why it was ruled out (empty otherwise)
  };

  CTrackDetector();
  ~CTrackDetector() override;

  // "Auto 2026-12-08 23.10.05": the name of a track made by the loop rule, from the moment
  // given (just "Auto" when it is unset); only characters a track name may hold.
  static void LoopTrackName(const PwDateTime& aWhen, CPwString& aName);

  // The candidates come from aTracks (not owned; may be null: the loop rule alone) when the
  // first good fix arrives; the list must outlive that moment.
  void SetTrackList(CTrackList* aTracks) { iTracks = aTracks; }
  // A candidate given directly (tests, benchmarks): a copy with its traps, considered like
  // the listed ones.
  void AddCandidate(const CTrackProfile& aProfile);

  // Watches sample aIndex of aList; samples must come in order, each once. True when this
  // sample decided.
  bool Add(const CPositionPlotList& aList, int32_t aIndex);
  // Watches every sample from the next unseen one to the end of aList, stopping at the
  // decision. True when decided.
  bool AddAll(const CPositionPlotList& aList);

  bool IsDecided() const { return iMethod != EUndecided; }
  int32_t Method() const { return iMethod; }
  // "nearest", "layout", "reverse", "loop" (empty while undecided).
  static const char* MethodWord(int32_t aMethod);
  // The chosen track with its traps (null while undecided). A made one (reverse or loop) has
  // no folder and no name for a loop track; the caller names and stores it.
  const CTrackProfile* Chosen() const { return iChosen.get(); }
  CTrackProfile* Chosen() { return iChosen.get(); }
  // Whether the chosen track was made here (a reversed layout or a loop) and must be stored.
  bool ChosenIsNew() const { return iChosenNew; }
  // Metres from the first good fix to the chosen start line.
  double ChosenDistance() const { return iChosenDistance; }
  // The sample that decided: its index and session time.
  int32_t DecidedIndex() const { return iDecidedIndex; }
  int32_t DecidedTime() const { return iDecidedTime; }
  // Session time of the first sample watched (KInvalidInt before any).
  int32_t FirstTime() const { return iFirstTime; }
  // Samples watched so far and whether a good fix has come.
  int32_t SeenCount() const { return iNext; }
  bool HasGoodFix() const { return iHaveOrigin; }
  // Every candidate considered (made reverse layouts included), in the order they were found.
  std::vector<TCandidateReport> Candidates() const;
  int32_t CandidateCount() const { return static_cast<int32_t>(iCandidates.size()); }

 private:
  struct TCandidate;
  struct TLoopPoint {
    double iX, iY;       // metres east and north of the first good fix
    double iDistance;    // metres along the route
    int32_t iTime;       // session time, ms
    double iHeading;     // radians, clockwise from north
    TGeoPoint iFrom;     // the step that ended here
    TGeoPoint iTo;
  };

  void TakeCandidates(const TPositionPlot& aFix);
  void AddCandidateAt(std::unique_ptr<CTrackProfile> aProfile, bool aMade, const TPositionPlot& aFix);
  void Prepare(TCandidate& aCandidate, const TPositionPlot& aFix);
  // The reversed copy of a layout whose start line counts one way only, unless a stored
  // "<name> (reverse)" exists.
  std::unique_ptr<CTrackProfile> MakeReverse(const CTrackProfile& aProfile) const;
  bool HasCandidateNamed(CPwStringC aName) const;
  void WatchCandidates(const TPositionPlot& aPrevious, const TPositionPlot& aCurrent);
  void Crossed(TCandidate& aCandidate, int32_t aTrap, double aDistance);
  void EndLap(TCandidate& aCandidate, double aDistance);
  void RuleOut(TCandidate& aCandidate, const char16_t* aWhy);
  void Started(const TCandidate& aCandidate);
  // Decides when the candidates allow it; true when decided.
  bool TryDecide(int32_t aIndex, int32_t aTime);
  void Choose(TCandidate& aCandidate, int32_t aIndex, int32_t aTime);
  // The loop rule's point for a sample; false when it does not move.
  bool LoopPoint(const TPositionPlot& aPrevious, const TPositionPlot& aCurrent, TLoopPoint& aPoint) const;
  // The earlier point with which aPoint closes a loop, or -1.
  int32_t ClosesLoop(const TLoopPoint& aPoint) const;
  void RememberLoopPoint(const TLoopPoint& aPoint);
  void ChooseLoop(int32_t aIndex, int32_t aTime);
  static int64_t CellKey(double aX, double aY);

  CTrackList* iTracks = nullptr;
  std::vector<std::unique_ptr<CTrackProfile>> iGiven;
  std::vector<std::unique_ptr<TCandidate>> iCandidates;
  std::unique_ptr<CTrackProfile> iChosen;
  bool iChosenNew = false;
  double iChosenDistance = 0.0;
  int32_t iMethod = EUndecided;
  int32_t iNext = 0;
  int32_t iDecidedIndex = -1;
  int32_t iDecidedTime = KInvalidInt;
  int32_t iFirstTime = KInvalidInt;

  // The local plane of the loop rule, anchored at the first good fix.
  bool iHaveOrigin = false;
  double iOriginLat = 0.0, iOriginLon = 0.0, iCosLat = 1.0;
  // Past route points by grid cell, and the segment into each (the previous point).
  std::vector<TLoopPoint> iLoop;
  std::unordered_map<int64_t, std::vector<int32_t>> iCells;
  bool iLoopClosed = false;
  // The earlier step the first closed loop came back to: the made line goes across it, so
  // the first pass counts as the start of a lap.
  TGeoPoint iClosureFrom;
  TGeoPoint iClosureTo;
  TPositionPlot iPrevious;  // the last sample watched
};
