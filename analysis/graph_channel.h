// The series of a graph: CGraphChannel is one channel's values over the samples of a stretch
// (one value per sample of the channel's own list, NaN where there is none) with its full
// range, window range and cursor value; CGraphChannelList holds the series of one sample list
// of one stretch, channel 0 and 1 being the time and distance axes, and the x window over them.
// Values are computed in bounded portions so that a long stretch never stalls the program.
#pragma once

#include <cstdint>
#include <vector>

#include "acquisition/channel_id.h"
#include "foundation/pw_base.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"

// KChannelLapDelta is a channel the graph derives from two laps: seconds behind (positive) or
// ahead of the comparison lap at the same place, against the distance driven.

class CDataLoggerPlotList;
class CObdPlotList;
class CPlotListBase;
class CPositionPlotList;

// The part of a session one graph shows: its sample lists and where it starts and ends.
struct TGraphStretch {
  bool iUsed = false;
  const CPositionPlotList* iPositions = nullptr;
  // The lists of the same session beside the positions; null when there are none (the trace
  // of an optimal lap has positions only).
  const CObdPlotList* iObd = nullptr;
  const CDataLoggerPlotList* iLogger = nullptr;
  // Index range of the stretch in the position list, inclusive.
  int32_t iFirst = -1;
  int32_t iLast = -1;
  PwTime iStartTime = PwTime::Unset();
  PwTime iEndTime = PwTime::Unset();
  // Metres along the position list; NaN when unknown.
  double iStartDistance = 0.0;
  double iEndDistance = 0.0;

  void Clear() { *this = TGraphStretch(); }
};

class CGraphChannel : public CPwBase {
 public:
  static constexpr int32_t KSegmentSize = 200;
  // The narrowest y range a window gets.
  static constexpr double KMinimumRange = 0.001;
  // Budgets: points a channel may compute per step (less one), from the number of points.
  static constexpr int32_t KDirectDivisor = 16;
  static constexpr int32_t KDerivedDivisor = 5;
  static constexpr int32_t KMinimumBudget = 50;

  // Source channel of a channel whose values are handed in (CGraphChannelList::AddTableChannel).
  static constexpr int32_t KTableSource = -2;

  // aSourceChannel is the channel number in the list's samples (CPlotListBase::ChannelValue),
  // -1 for a derived distance channel, or KTableSource.
  CGraphChannel(TChannelId aId, int32_t aSourceChannel, int32_t aQuantityClass);
  ~CGraphChannel() override = default;

  TChannelId Id() const { return iId; }
  int32_t QuantityClass() const { return iQuantityClass; }
  int32_t SourceChannel() const { return iSourceChannel; }
  bool IsDerived() const { return iSourceChannel < 0; }
  bool IsTable() const { return iSourceChannel == KTableSource; }

  // The values, one per x point; NaN where there is none.
  int32_t Count() const { return iValues.Count(); }
  double Value(int32_t aIndex) const { return iValues.At(aIndex); }

  // Over all values; invalid (NaN) while there is no value.
  double Minimum() const { return iMinimum; }
  double Maximum() const { return iMaximum; }
  double Range() const { return iRange; }
  // Over the values of the window (or all of them); at least KMinimumRange wide.
  double WindowMinimum() const { return iWindowMinimum; }
  double WindowMaximum() const { return iWindowMaximum; }
  double WindowRange() const { return iWindowRange; }
  double CursorValue() const { return iCursorValue; }

  // --- Ranges.
  // Minimum, maximum and range of every value.
  void ComputeFullRange();
  // The window range over values [aFirst, aEnd).
  void SetWindowFromValues(int32_t aFirst, int32_t aEnd);
  // The window range from explicit bounds (widened when narrower than KMinimumRange; all
  // invalid when aMaximum < aMinimum or either is invalid).
  void SetWindowRange(double aMinimum, double aMaximum);
  void TakeFullRange() { SetWindowRange(iMinimum, iMaximum); }
  void SetCursorValue(double aValue) { iCursorValue = aValue; }

  // --- Computation. Called by the channel list, which knows the samples.
  // Prepares for aPoints values with the budget of the channel's kind.
  void StartComputing(int32_t aPoints);
  int32_t Budget() const { return iBudget; }
  bool IsComplete() const { return iNext >= iPoints; }
  // Points computed so far.
  int32_t Done() const { return iNext; }
  // Stores the next value and follows the full range; the range is final when complete.
  void AppendValue(double aValue);
  // Stops computing: the values so far stay, the rest is never computed.
  void StopComputing() { iPoints = iNext; }

  // Running state of the computation, kept between steps.
  struct TRunState {
    int32_t iPreviousValid = -1;  // direct: last sample index with a value
    int32_t iNextValid = -1;      // direct: next sample index with a value (-2 = none)
    int32_t iSourceIndex = -1;    // derived: current sample of the GPS list
    bool iHadInvalid = false;     // derived: an invalid value has been written
  };
  TRunState& RunState() { return iRun; }

 private:
  TChannelId iId = 0;
  int32_t iSourceChannel = 0;
  int32_t iQuantityClass = 0;
  CPwVectorSeg<double> iValues{KSegmentSize};
  double iMinimum = 0.0;
  double iMaximum = 0.0;
  double iRange = 0.0;
  double iWindowMinimum = 0.0;
  double iWindowMaximum = 0.0;
  double iWindowRange = 0.0;
  double iCursorValue = 0.0;
  int32_t iPoints = 0;
  int32_t iNext = 0;
  int32_t iBudget = 0;
  TRunState iRun;
};

class CGraphChannelList : public CPwBase {
 public:
  static constexpr int32_t KGranularity = 8;
  // The index range reaches this far (ms) beyond either end of the stretch.
  static constexpr int32_t KMarginMs = 2000;

  // aSamples (not owned) is the list the series are read from; aComparison 0 for the primary
  // stretch, 1 for the comparison.
  CGraphChannelList(const CPlotListBase& aSamples, int32_t aComparison);
  ~CGraphChannelList() override;

  const CPlotListBase& Samples() const { return *iSamples; }
  bool IsComparison() const { return iComparison != 0; }

  // Takes the stretch and finds the sample index range for it; the values are cleared.
  // aGpsList (not owned, may be null) is the GPS list of the same side, which the derived
  // distance channels read; for the GPS list itself it is null.
  void SetStretch(const TGraphStretch& aStretch, const CGraphChannelList* aGpsList);
  const TGraphStretch& Stretch() const { return iStretch; }
  // Index range in the samples [First, End) and the number of x points.
  int32_t First() const { return iFirst; }
  int32_t End() const { return iEnd; }
  int32_t PointCount() const { return iEnd - iFirst; }

  // --- Channels. 0 and 1 are the axes; value channels follow.
  int32_t ChannelCount() const { return iChannels.Count(); }
  CGraphChannel& Channel(int32_t aIndex) const { return *iChannels.At(aIndex); }
  // Index of a channel with the identifier, searching from aFrom; -1 when absent.
  int32_t FindChannel(TChannelId aId, int32_t aFrom = 0) const;
  // Adds a channel read from the samples (the identifier must be one of the list's channels)
  // or, with aDerived, the derived distance. Only once per list (value channels are looked up
  // from index 2; axis channels from 0) and only when the range holds at least 2 samples.
  // Returns whether it was added. Leaves KErrNoMemory.
  bool AddChannel(TChannelId aId, bool aDerived = false);
  // Adds a value channel whose values are given, one per point of the list (NaN where there is
  // none), computed in portions like the others. The same rules as AddChannel.
  bool AddTableChannel(TChannelId aId, std::vector<double> aValues);
  // Deletes value channel aIndex (>= 2).
  void RemoveChannel(int32_t aIndex);
  // Value channels are the visible ones.
  static bool IsValueChannel(int32_t aIndex) { return aIndex >= 2; }

  // --- Computing.
  // One portion of every channel; true while points are left.
  bool Step();
  void Cancel();
  // Points of the list, and points done (the slowest channel's).
  int32_t ProgressTotal() const { return PointCount(); }
  int32_t ProgressValue() const;

  // --- X axis and window.
  // Makes the time (axis 1: 1, 21 or 20000) or distance axis channel (axis 2: 3, 22 or
  // 20001) the x channel and recomputes its full range; none when the list has neither.
  void SetXChannel(int32_t aAxis);
  int32_t XChannelIndex() const { return iXChannel; }
  CGraphChannel* XChannel() const { return iXChannel >= 0 ? iChannels.At(iXChannel) : nullptr; }
  int32_t CurrentChannel() const { return iCurrentChannel; }
  void SetCurrentChannel(int32_t aIndex) { iCurrentChannel = aIndex; }

  void SetScale(double aFactor, bool aScaled) {
    iScale = aFactor;
    iScaled = aScaled;
  }
  bool IsScaled() const { return iScaled; }
  double Scale() const { return iScaled ? iScale : 1.0; }

  // Full extent of the x values, multiplied by the scale with aScaled; NaN when none.
  double DataStart(bool aScaled) const;
  double DataEnd(bool aScaled) const;
  // The window bounds (the x channel's window range), optionally scaled.
  double XStart(bool aScaled) const;
  double XEnd(bool aScaled) const;
  double XRange(bool aScaled) const;

  // Sets the window in this list's own x units: the x channel's window range and the index
  // range of the points inside it.
  void SetWindow(double aStart, double aEnd);
  int32_t WindowFirst() const { return iWindowFirst; }
  int32_t WindowEnd() const { return iWindowEnd; }
  // Every value channel: the window range over the visible points, or the full range.
  void SetZoomedY(bool aZoomed);

  // Finds the x points around aX: (lo, hi) by the rules of the graph's binary search.
  void FindX(double aX, int32_t& aLower, int32_t& aUpper) const;
  // Sets every channel's cursor value at x (this list's own units).
  void SetCursorValues(double aX);

 private:
  void ComputeDirect(CGraphChannel& aChannel, int32_t aCount);
  void ComputeDerived(CGraphChannel& aChannel, int32_t aCount);
  void ComputeTable(CGraphChannel& aChannel, int32_t aCount);
  // Value of a channel at sample aIndex relative to the stretch (times from its start,
  // distances from its start distance), NaN when the sample holds none.
  double SampleValue(const CGraphChannel& aChannel, int32_t aIndex) const;
  // The samples' channel number of an identifier, -1 when the list has none.
  int32_t SourceChannelOf(TChannelId aId) const;

  const CPlotListBase* iSamples = nullptr;
  int32_t iComparison = 0;
  const CGraphChannelList* iGpsList = nullptr;
  CPwVector<CGraphChannel*> iChannels{KGranularity};
  // The values of the table channel (there is at most one per list).
  std::vector<double> iTable;
  TGraphStretch iStretch;
  int32_t iFirst = 0;
  int32_t iEnd = 0;
  int32_t iXChannel = -1;
  int32_t iCurrentChannel = -1;
  int32_t iWindowFirst = 0;
  int32_t iWindowEnd = 0;
  double iScale = 1.0;
  bool iScaled = false;
};
