// The graph data of the analysis view: picks the stretch to show (a lap or one of its sectors,
// a performance run, or a span of the recording) and its comparison, builds one channel list
// per sample list of each stretch with the channels the graph settings make visible, computes
// them as a worker in bounded steps, and then answers the view's questions: x axis, window,
// y ranges fitted per quantity, the cursor and the values under it.
#pragma once

#include <cstdint>

#include "analysis/graph_channel.h"
#include "foundation/pw_vector.h"
#include "foundation/worker.h"
#include "storage/channel_list.h"

class CLap;
class CLapList;
class CPlotList;
class CRunList;
class CSettings;
class CTrackSession;
struct TLapSector;
struct TPositionPlot;

class CGraphGenerator : public CWorker {
 public:
  enum TKind : int32_t { EKindNone = 0, EKindLap = 1, EKindRun = 2, EKindSpan = 3 };
  enum TAxis : int32_t { EAxisTime = 1, EAxisDistance = 2 };
  enum TSide : int32_t { EPrimary = 0, EComparison = 1 };
  // Lap-view modes that place the cursor (sectors, splits, trap speeds, high/low speeds).
  enum TLapMode : int32_t { EModeSectors = 0, EModeSplits = 1, EModeTrapSpeeds = 2, EModeHighLow = 3 };

  static constexpr int32_t KGranularity = 8;
  static constexpr int32_t KSpanMs = 900000;
  // Window bases: a minute of time, a kilometre of distance.
  static constexpr double KTimeBase = 60.0;
  static constexpr double KDistanceBase = 1000.0;
  // Cursor steps per window width, and steps of a large move.
  static constexpr double KCursorStepsPerWindow = 50.0;
  static constexpr int32_t KLargeMoveSteps = 15;

  // aSession (not owned, may be null for data handed in directly) owns the generator.
  static CGraphGenerator* NewL(CTrackSession* aSession);
  ~CGraphGenerator() override;

  // --- CWorker.
  int32_t Step() override;
  void Cancel() override;
  int32_t ProgressTotal() override;
  int32_t ProgressValue() override;

  // --- Preparation. Each returns 1 when a primary stretch with samples was found (the caller
  // calls Discard otherwise).
  void Discard();
  // From the route's current sample for 15 minutes; no comparison.
  int32_t PrepareSpan();
  int32_t PrepareSpan(const CPlotList& aPlots);
  // The lap list's viewed lap, or with aWholeLap 0 in the sectors mode its selected sector;
  // the comparison lap's matching stretch as comparison.
  int32_t PrepareLap(int32_t aMode, int32_t aWholeLap);
  // aComparisonPlots are the samples of the session the comparison lap may come from (null
  // when there is none).
  int32_t PrepareLap(CLapList& aLaps, const CPlotList& aPlots, const CPlotList* aComparisonPlots, int32_t aMode,
                     int32_t aWholeLap);
  // The selected run's result of test aTest, against the comparison run's.
  int32_t PrepareRun(int32_t aTest);
  int32_t PrepareRun(const CRunList& aRuns, int32_t aTest);
  // The underlying step: a stretch of a lap between two of its crossings (aFrom null: the
  // lap's start; aTo null: its finish, or its last sample while running). aSamples are the
  // lists of the lap's session, or null for a lap whose positions stand alone.
  bool SetLapStretch(int32_t aSide, const CLap& aLap, const TLapSector* aFrom, const TLapSector* aTo,
                     const CPlotList* aSamples);
  // A stretch between two session times of a session's samples.
  bool SetTimeStretch(int32_t aSide, const CPlotList& aSamples, PwTime aStart, PwTime aEnd);
  void SetKind(int32_t aKind) { iKind = aKind; }

  // Builds the channel lists of the primary and then the comparison stretch for the kind's
  // visible channels. Can be called again after the settings changed: lists and channels
  // that are no longer visible go, new ones are added and computed by the next steps.
  void BuildLists(const CSettings& aSettings);
  void BuildLists(const CChannelList& aVisible);

  // --- Reading.
  int32_t Kind() const { return iKind; }
  int32_t ListCount() const { return iLists.Count(); }
  CGraphChannelList& List(int32_t aIndex) const { return *iLists.At(aIndex); }
  const TGraphStretch& Stretch(int32_t aSide) const { return iStretches[aSide == EComparison ? 1 : 0]; }
  bool HasComparison() const { return iStretches[1].iUsed; }
  // The comparison's x factor; NaN when not scaled.
  double ScaleFactor() const { return iScaleFactor; }
  const CChannelList& VisibleChannels() const { return iVisible; }

  // --- Axis, window and ranges.
  void SetAxis(bool aScaled, int32_t aAxis);
  double SetWindow(double aCentre, double aBase, double aFactor);
  void SetZoomedY(bool aZoomed);
  void FitClass(int32_t aQuantityClass);
  void FitComparison();
  void CollectVisible();
  // The lap of each side's stretch, when it is one; null otherwise.
  const CLap* StretchLap(int32_t aSide) const { return iStretchLaps[aSide == EComparison ? 1 : 0]; }
  int32_t ColourIndex(TChannelId aId) const { return iVisible.IndexOf(aId); }

  // --- Cursor: milliseconds on a time axis, metres on a distance axis.
  int32_t CursorMs() const { return iCursorMs; }
  double CursorMetres() const { return iCursorMetres; }
  // Seconds or metres.
  double CursorValue(int32_t aAxis) const;
  double PrimaryLength(int32_t aAxis) const;
  double ComparisonLength(bool aScaled, int32_t aAxis) const;
  void SetCursorValues(int32_t aAxis);
  // A move by a fiftieth of the window (aBaseFactor = base x window factor), fifteen of them
  // with aLarge; wraps at either end.
  void MoveCursor(bool aForward, bool aLarge, double aBaseFactor, bool aScaled, int32_t aAxis);
  // Seconds or metres, clamped to [0, limit].
  void SetCursor(double aValue, int32_t aAxis);
  // The position of a stretch at the cursor, interpolated between its samples; false when
  // the stretch has none there.
  bool SampleAtCursor(int32_t aAxis, int32_t aSide, TPositionPlot& aSample) const;

 private:
  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);
  CGraphGenerator() = default;
  void ConstructL(CTrackSession* aSession);

  void ClearStretches();
  void DeleteLists();
  // Fills a stretch's lists and index range from its session; false when it has no samples.
  bool FinishStretch(TGraphStretch& aStretch, const CPlotList* aSamples);
  void BuildSide(int32_t aSide, const CChannelList& aVisible);
  CGraphChannelList* FindList(const CPlotListBase& aSamples, int32_t aSide, int32_t* aIndex = nullptr) const;
  void AppendList(CGraphChannelList* aList);
  void DeleteList(CGraphChannelList* aList);
  // Value channels no longer visible leave a reused list.
  static void DropInvisible(CGraphChannelList& aList, const CChannelList& aVisible);
  // The cursor's upper limit in seconds or metres.
  double CursorLimit(bool aScaled, int32_t aAxis) const;
  void SetCursorFromStretch(PwTime aTime, double aMetres);
  // The "Delta" channel of the primary positions: the primary lap's time difference to the
  // comparison lap at every sample, in seconds; nothing without two laps.
  void AddDeltaChannel(CGraphChannelList& aList) const;

  CTrackSession* iSession = nullptr;
  CPwVector<CGraphChannelList*> iLists{KGranularity};
  TGraphStretch iStretches[2];
  const CLap* iStretchLaps[2] = {nullptr, nullptr};
  int32_t iKind = EKindLap;
  int32_t iCursorMs = 0;
  double iCursorMetres = 0.0;
  bool iCursorValid = true;
  double iScaleFactor = 0.0;
  CChannelList iVisible;
};
