// The laps of one session, made from its trap crossings: built crossing by crossing while
// recording and rebuilt from scratch after loading or a track change. Keeps the best and the
// previous best lap, the optimal lap (the fastest sector of every sector, from any valid lap)
// with an on-demand continuous trace of it, and the selections the lap views work with.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "acquisition/geodesy.h"
#include "foundation/pw_base.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"
#include "timing/lap.h"

class CPositionPlotList;
class CSettings;
class CSessionInfo;
class CTrapLineList;
class CIntersectionList;

// Told when live processing finishes a lap (the announcer speaks the newest lap's time).
class MLapAnnouncer {
 public:
  virtual void AnnounceLapFinished() = 0;

 protected:
  ~MLapAnnouncer() = default;
};

class CLapList : public CPwBase {
 public:
  // Viewed-lap and comparison values that are not lap indices.
  static constexpr int32_t KOptimalLap = -2;
  static constexpr int32_t KCompareBest = -1;
  static constexpr int32_t KCompareOptimal = -2;
  // Crossings farther apart than this (ms), or between samples going back in time, neither
  // start nor finish a lap; splits use the second limit.
  static constexpr int32_t KLapIntervalLimit = 3000;
  static constexpr int32_t KSplitIntervalLimit = 2000;

  // Flags of ListLapIndices.
  enum TListFlags : int32_t {
    EListInvalid = 1,
    EListUnfinished = 2,
    EListOptimalFirst = 4,
    EListBuildTrace = 8,
    EListViewedOnly = 16,
    EListBestOnly = 32,
  };

  // None of the arguments is owned; settings and session information may be null (then the
  // high/low threshold is 5 m/s, invalid laps are shown and no notes are applied).
  CLapList(const CPositionPlotList* aPlots, const CSettings* aSettings, const CSessionInfo* aInfo);
  static CLapList* NewL(const CPositionPlotList* aPlots, const CSettings* aSettings,
                        const CSessionInfo* aInfo);
  ~CLapList() override;

  // The lap list of another session to compare with (not owned), or null.
  void SetComparisonList(CLapList* aList) { iComparisonList = aList; }
  CLapList* ComparisonList() const { return iComparisonList; }

  // --- Building.
  // Turns the crossings after the processed count into laps; 1 when a lap was finished.
  // Without an announcer (a rebuild), the notes are applied at the end and the best and
  // optimal laps recomputed when a lap was finished.
  int32_t ProcessCrossings(const CTrapLineList& aTraps, const CIntersectionList& aCrossings,
                           MLapAnnouncer* aAnnouncer);
  // Clear, then process every crossing without an announcer.
  int32_t Rebuild(const CTrapLineList& aTraps, const CIntersectionList& aCrossings);
  // Deletes every lap, the optimal lap and its trace; resets the processed count, cursors and
  // best laps, and reloads the high/low threshold from the settings.
  void Clear();
  int32_t ProcessedCount() const { return iProcessed; }

  // --- Laps. Index -2 is the optimal lap (or its trace with aTrace, built when needed).
  int32_t LapCount() const { return iLaps.Count(); }
  CLap* Lap(int32_t aIndex, bool aTrace = false);
  const CLap* Lap(int32_t aIndex) const;
  CLap* NewestLap() { return NthNewest(0); }
  CLap* SecondNewestLap() { return NthNewest(1); }
  CLap* ThirdNewestLap() { return NthNewest(2); }
  // Number of laps, less one when the newest is unfinished.
  int32_t DisplayLapCount() const;
  // Index of a lap of this list, -2 for the optimal lap or its trace, -1 otherwise.
  int32_t IndexOf(const CLap* aLap) const;

  // --- Best, previous best and optimal lap.
  int32_t BestLapIndex() const { return iBestIndex; }
  CLap* BestLap() const { return iBestLap; }
  int32_t PreviousBestIndex() const { return iPreviousBestIndex; }
  CLap* PreviousBestLap() const { return iPreviousBestLap; }
  CLap* OptimalLap() const { return iOptimal; }
  // The continuous trace of the optimal lap (built when needed), or null without one.
  CLap* OptimalTrace();
  const CPositionPlotList* OptimalTracePlots() const { return iTracePlots; }
  // Recomputes the best lap and rebuilds the optimal lap.
  void RecomputeBestAndOptimal();
  // Sets a lap's invalid marker and recomputes the best and optimal laps.
  void SetInvalidMarker(int32_t aIndex, int32_t aMarker);
  // Stores in every lap the marker of the session note covering its samples.
  void ApplyNotes();

  // --- Comparison.
  // The best lap, or the previous best when aIndex is the best lap itself; or null.
  CLap* CompareLapFor(int32_t aIndex) const;
  // The lap the viewed lap is compared with: from the linked comparison list by its own
  // selection, otherwise by this list's selection.
  CLap* ComparisonLap(bool aTrace = false) { return ComparisonLapFor(iViewed, aTrace); }
  // The same for any lap of this list (a table row, the newest lap of the live timer).
  CLap* ComparisonLapFor(int32_t aIndex, bool aTrace = false);
  int32_t ComparisonSelection() const { return iComparison; }
  // -2 (optimal), -1 (best) or a lap index; rebuilds the optimal lap.
  void SelectComparison(int32_t aSelection);

  // --- Viewed lap: a lap index or -2.
  int32_t ViewedIndex() const { return iViewed; }
  void SetViewedIndex(int32_t aIndex) { iViewed = aIndex; }
  CLap* ViewedLap(bool aTrace = false) { return Lap(iViewed, aTrace); }
  // Move on / back, skipping invalid laps while the settings hide them and visiting the
  // optimal lap after the last lap when there is one. Validate moves an unusable selection
  // to the nearest usable one.
  void ViewedNext();
  void ViewedPrevious();
  void ValidateViewed();

  // --- Selected trap key of the sector and split views (-1 = none), cycling through the
  // viewed lap's crossings.
  int32_t SelectedKey() const { return iSelectedKey; }
  void SetSelectedKey(int32_t aKey) { iSelectedKey = aKey; }
  void SelectedKeyNext();
  void SelectedKeyPrevious();
  // Crossing index of the selected key in the viewed lap, or -1.
  int32_t SelectedKeyIndex();

  // --- High/low cursor on the viewed lap's points.
  int32_t HighLowCursor() const { return iHighLowCursor; }
  void SetHighLowCursor(int32_t aIndex) { iHighLowCursor = aIndex; }
  void HighLowNext();
  void HighLowPrevious();
  void HighLowClamp();
  void HighLowNearest(TGeoPoint aPoint);
  // In stored speed units.
  int32_t HighLowThreshold() const { return iHighLowThreshold; }

  // --- The rows of a lap table: lap indices (-2 for the optimal lap) by the TListFlags.
  // Returns the row of the viewed lap, or -1 when it is not listed.
  int32_t ListLapIndices(CPwVector<int32_t>& aRows, int32_t aFlags);

 private:
  // Fastest time of one sector (from key, to key) and the lap it was driven in.
  struct TSectorBest {
    int32_t iTime;
    int32_t iLap;
  };

  CLap* NthNewest(int32_t aBack) const;
  bool HidesInvalid() const;
  bool IsViewable(int32_t aIndex) const;
  void DeleteOptimal();
  void DeleteTrace();
  void BuildTrace();
  // Best-lap and sector tables, kept up to date as crossings arrive and rebuilt in full when
  // the invalid markers change.
  void ResetTables(int32_t aKeyCount);
  void RebuildTables();
  void NoteFinished(int32_t aLapIndex);
  void NoteCrossing(int32_t aLapIndex, const TLapSector* aCrossing);
  void RebuildOptimal();
  // The lap the optimal lap takes its sectors' keys from.
  const CLap* OptimalTemplate();

  const CPositionPlotList* iPlots = nullptr;
  const CSettings* iSettings = nullptr;
  const CSessionInfo* iInfo = nullptr;
  CLapList* iComparisonList = nullptr;
  int32_t iProcessed = 0;
  CPwVector<CLap*> iLaps{8};
  int32_t iViewed = 0;
  int32_t iComparison = KCompareBest;
  int32_t iSelectedKey = -1;
  CLap* iOptimal = nullptr;
  CLap* iTrace = nullptr;
  CPositionPlotList* iTracePlots = nullptr;
  int32_t iBestIndex = -1;
  CLap* iBestLap = nullptr;
  int32_t iPreviousBestIndex = -1;
  CLap* iPreviousBestLap = nullptr;
  int32_t iHighLowCursor = 0;
  int32_t iHighLowThreshold = 0;

  // The fastest time of every sector (from key, to key) driven so far: a dense table of
  // iKeyCount x iKeyCount entries for ordinary tracks, a map for tracks with so many traps
  // that the table would not be small.
  static constexpr int32_t KDenseKeyLimit = 128;
  TSectorBest* SectorEntry(int32_t aFrom, int32_t aTo, bool aCreate);
  void ClearSectors();
  int32_t iKeyCount = 0;
  std::vector<TSectorBest> iSectors;
  std::unordered_map<int64_t, TSectorBest> iSparseSectors;
  bool iTablesDirty = false;
};
