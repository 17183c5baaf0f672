// Traps: short lines laid across the track (or, for a standing start, a small square area)
// and the test that finds the moment the recorded trace passes one. CTrapLineList holds the
// traps of one track with a cursor for editing.
#pragma once

#include <cstdint>

#include "acquisition/geodesy.h"
#include "acquisition/position_plot.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CPositionPlotList;

// Trap types as stored in track files.
enum TTrapType : int32_t {
  ETrapDisabled = 0,
  ETrapStart = 1,
  ETrapFinish = 2,
  ETrapStartFinish = 3,
  ETrapSplit = 4,
  ETrapStandingStart = 5,
};

class CTrapLine : public CPwBase {
 public:
  CTrapLine() = default;
  ~CTrapLine() override = default;
  // A new heap trap in its initial state.
  static CTrapLine* NewL();

  // All fields back to their initial values, name emptied.
  void Reset();
  // Copies every field, the name and the derived end points included.
  void CopyFrom(const CTrapLine& aOther);
  // Stores the values and recomputes the end points. A nonzero unidirectional flag is kept
  // as 1.
  void Set(int32_t aType, CPwStringC aName, TCoordinate aLatitude, TCoordinate aLongitude,
           TAngle aBearing, TDistance aWidth, int32_t aUnidirectional);

  // 1 when the trace crosses the trap at sample aIndex of the list (between aIndex - 1 and
  // aIndex for lines, at the start from aIndex - 1 for a standing start), with the sample
  // interpolated at the crossing moment and the milliseconds between the bracketing samples;
  // 0 otherwise (outputs untouched). Never fails: an index out of range, unmoving samples or
  // a trap without a usable position simply give 0.
  int32_t CrossingTest(int32_t aIndex, const CPositionPlotList& aList, TPositionPlot& aSample,
                       int32_t& aInterval) const;
  // The same with samples aIndex - 2 (null when aIndex < 2), aIndex - 1 and aIndex already
  // fetched from the list, for loops that walk the list once for all traps.
  int32_t CrossingTest(int32_t aIndex, const CPositionPlotList& aList, const TPositionPlot* aBeforePrevious,
                       const TPositionPlot& aPrevious, const TPositionPlot& aCurrent,
                       TPositionPlot& aSample, int32_t& aInterval) const;

  // The line test on two samples alone: 1 with the crossing fraction between them (0 at A,
  // 1 at B) when the movement from A to B passes the line in an accepted direction. Lines
  // only: a standing-start area or a disabled trap gives 0.
  int32_t LineFraction(const TPositionPlot& aA, const TPositionPlot& aB, double& aFraction) const;

  // Same centre, unidirectional flag, type, bearing, width and name.
  bool Equals(const CTrapLine& aOther) const;

  TGeoPoint Centre() const { return iCentre; }
  // Line types: the ends of the line (1 to the right of the direction of travel). Standing
  // start: the north-west and south-east corners.
  TPosition EndPoint1() const { return iEndPoint1; }
  TPosition EndPoint2() const { return iEndPoint2; }
  TGeoPoint EndPoint1Geo() const { return iEndGeo1; }
  TGeoPoint EndPoint2Geo() const { return iEndGeo2; }
  int32_t Unidirectional() const { return iUnidirectional; }
  CPwStringC Name() const { return iName; }
  int32_t Type() const { return iType; }
  TAngle Bearing() const { return iBearing; }
  TDistance Width() const { return iWidth; }

  // Type classes used by laps and the track checks.
  static bool IsStartType(int32_t aType) {
    return aType == ETrapStart || aType == ETrapStartFinish || aType == ETrapStandingStart;
  }
  static bool IsFinishType(int32_t aType) { return aType == ETrapFinish || aType == ETrapStartFinish; }
  // The display name of a type ("Start line" ...); an unknown type gives "Disabled".
  static void TypeName(int32_t aType, CPwString& aText);

 private:
  // End points and the per-trap constants of the crossing test.
  void Derive();
  int32_t StandingStartTest(int32_t aIndex, const CPositionPlotList& aList, const TPositionPlot& aS0,
                            const TPositionPlot& aS1, const TPositionPlot& aS2, TPositionPlot& aSample,
                            int32_t& aInterval) const;
  // True when both points lie strictly beyond the trap's box on one side.
  bool OutsideBox(const TPositionPlot& aA, const TPositionPlot& aB) const {
    const int32_t latLo = aA.iLatitude < aB.iLatitude ? aA.iLatitude : aB.iLatitude;
    const int32_t latHi = aA.iLatitude < aB.iLatitude ? aB.iLatitude : aA.iLatitude;
    const int32_t lonLo = aA.iLongitude < aB.iLongitude ? aA.iLongitude : aB.iLongitude;
    const int32_t lonHi = aA.iLongitude < aB.iLongitude ? aB.iLongitude : aA.iLongitude;
    return latLo > iBoxNorth || latHi < iBoxSouth || lonLo > iBoxEast || lonHi < iBoxWest;
  }

  TGeoPoint iCentre;
  TPosition iEndPoint1 = TPosition::Invalid();
  TPosition iEndPoint2 = TPosition::Invalid();
  TGeoPoint iEndGeo1;
  TGeoPoint iEndGeo2;
  int32_t iUnidirectional = 0;
  CPwString iName;
  int32_t iType = ETrapDisabled;
  TAngle iBearing = TAngle::Invalid();
  TDistance iWidth = TDistance::Invalid();

  // Derived once per Set so that the per-sample test is a few integer comparisons for
  // samples away from the trap. The box starts empty (north below south): nothing is inside
  // until the trap has a usable position.
  int32_t iBoxNorth = INT32_MIN;
  int32_t iBoxSouth = INT32_MAX;
  int32_t iBoxEast = INT32_MIN;
  int32_t iBoxWest = INT32_MAX;
  bool iUsable = false;
  double iLineBearing = 0.0;   // initial bearing from end point 1 towards end point 2
  double iLineLength = 0.0;    // arc from end point 1 to end point 2
  // The local plane of the side test: end point 1 in arc units, the longitude scale, the
  // unit direction of the line and the distance from it (arc units) that is surely off it.
  double iOriginLat = 0.0;
  double iOriginLon = 0.0;
  double iCosLat = 0.0;
  double iDirLat = 0.0;
  double iDirLon = 0.0;
  double iSideMargin = 0.0;
};

class CTrapLineList : public CPwBase {
 public:
  CTrapLineList() = default;
  // Deletes the traps.
  ~CTrapLineList() override;

  int32_t Count() const { return iTraps.Count(); }
  // Appends a copy; the new trap becomes current. Leaves KErrNoMemory (list unchanged).
  void Add(const CTrapLine& aTrap);
  // Deletes the current trap: 0 when there is none, else 1. A cursor then past the end of a
  // non-empty list moves to the last trap.
  int32_t RemoveCurrent();
  // The current trap and its index, or null (index unchanged) when the cursor is out of range.
  CTrapLine* Current(int32_t& aIndex) const;
  CTrapLine* Current() const {
    int32_t index = 0;
    return Current(index);
  }
  int32_t CurrentIndex() const { return iCurrent; }
  void SetCurrent(int32_t aIndex) { iCurrent = aIndex; }
  // Cycling moves of the cursor (nothing happens on an empty list).
  void Next();
  void Previous();
  // The trap at aIndex, or null out of range.
  CTrapLine* At(int32_t aIndex) const {
    return static_cast<uint32_t>(aIndex) < static_cast<uint32_t>(iTraps.Count()) ? iTraps.At(aIndex) : nullptr;
  }
  // 0 when the current trap already equals aTrap (or there is no current trap), else
  // copies it over and returns 1.
  int32_t ReplaceCurrent(const CTrapLine& aTrap);
  // Deletes every trap; the cursor goes to 0.
  void Reset();
  // Any trap of type 1, 3 or 5 / of type 2 or 3.
  int32_t HasStart() const;
  int32_t HasFinish() const;

  static constexpr int32_t KGranularity = 8;

 private:
  CPwVector<CTrapLine*> iTraps{KGranularity};
  int32_t iCurrent = 0;
};
