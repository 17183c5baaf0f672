#include "analysis/graph_channel.h"

#include <cmath>

#include "acquisition/channel_state.h"
#include "storage/plot_list_base.h"
#include "storage/position_plot_list.h"

namespace {

// First index in [0, n) whose key exceeds aKey (n when none); the keys must not decrease.
template <class F>
int32_t UpperBound(int32_t aCount, double aKey, F aValueAt) {
  int32_t lo = 0, hi = aCount;
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (aValueAt(mid) <= aKey)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

}  // namespace

// --- CGraphChannel ---------------------------------------------------------------------------

CGraphChannel::CGraphChannel(TChannelId aId, int32_t aSourceChannel, int32_t aQuantityClass)
    : iId(aId), iSourceChannel(aSourceChannel), iQuantityClass(aQuantityClass) {
  iMinimum = iMaximum = iRange = InvalidReal();
  iWindowMinimum = iWindowMaximum = iWindowRange = InvalidReal();
  iCursorValue = InvalidReal();
}

void CGraphChannel::StartComputing(int32_t aPoints) {
  iValues.Reset();
  iPoints = aPoints;
  iNext = 0;
  const int32_t divisor = IsDerived() ? KDerivedDivisor : KDirectDivisor;
  iBudget = aPoints / divisor;
  if (iBudget < KMinimumBudget) iBudget = KMinimumBudget;
  iMinimum = iMaximum = iRange = InvalidReal();
  iRun = TRunState();
}

void CGraphChannel::AppendValue(double aValue) {
  iValues.Append(aValue);
  ++iNext;
  if (IsValidReal(aValue)) {
    if (!IsValidReal(iMinimum) || aValue < iMinimum) iMinimum = aValue;
    if (!IsValidReal(iMaximum) || aValue > iMaximum) iMaximum = aValue;
  }
  iRange = IsValidReal(iMinimum) && IsValidReal(iMaximum) ? iMaximum - iMinimum : InvalidReal();
}

void CGraphChannel::ComputeFullRange() {
  iMinimum = iMaximum = InvalidReal();
  for (int32_t i = 0; i < iValues.Count(); ++i) {
    const double v = iValues.At(i);
    if (!IsValidReal(v)) continue;
    if (!IsValidReal(iMinimum) || v < iMinimum) iMinimum = v;
    if (!IsValidReal(iMaximum) || v > iMaximum) iMaximum = v;
  }
  iRange = IsValidReal(iMinimum) && IsValidReal(iMaximum) ? iMaximum - iMinimum : InvalidReal();
}

void CGraphChannel::SetWindowFromValues(int32_t aFirst, int32_t aEnd) {
  double minimum = InvalidReal(), maximum = InvalidReal();
  if (aFirst < 0) aFirst = 0;
  if (aEnd > iValues.Count()) aEnd = iValues.Count();
  for (int32_t i = aFirst; i < aEnd; ++i) {
    const double v = iValues.At(i);
    if (!IsValidReal(v)) continue;
    if (!IsValidReal(minimum) || v < minimum) minimum = v;
    if (!IsValidReal(maximum) || v > maximum) maximum = v;
  }
  SetWindowRange(minimum, maximum);
}

void CGraphChannel::SetWindowRange(double aMinimum, double aMaximum) {
  if (!IsValidReal(aMinimum) || !IsValidReal(aMaximum) || aMaximum < aMinimum) {
    iWindowMinimum = iWindowMaximum = iWindowRange = InvalidReal();
    return;
  }
  if (aMaximum - aMinimum < KMinimumRange) {
    // A flat line still needs a scale to be drawn on.
    const double middle = (aMinimum + aMaximum) / 2.0;
    iWindowMinimum = middle - KMinimumRange / 2.0;
    iWindowMaximum = middle + KMinimumRange / 2.0;
    iWindowRange = KMinimumRange;
    return;
  }
  iWindowMinimum = aMinimum;
  iWindowMaximum = aMaximum;
  iWindowRange = aMaximum - aMinimum;
}

// --- CGraphChannelList -----------------------------------------------------------------------

CGraphChannelList::CGraphChannelList(const CPlotListBase& aSamples, int32_t aComparison)
    : iSamples(&aSamples), iComparison(aComparison) {}

CGraphChannelList::~CGraphChannelList() {
  for (CGraphChannel* channel : iChannels) delete channel;
}

void CGraphChannelList::SetStretch(const TGraphStretch& aStretch, const CGraphChannelList* aGpsList) {
  iStretch = aStretch;
  iGpsList = aGpsList;
  const int32_t n = iSamples->Count();
  auto timeAt = [this](int32_t i) { return static_cast<double>(iSamples->KeyTimeAt(i).Milliseconds()); };
  iFirst = 0;
  iEnd = 0;
  if (n == 0 || !aStretch.iStartTime.IsSet()) return;
  const int64_t start = static_cast<int64_t>(aStretch.iStartTime.Milliseconds()) - KMarginMs;
  // First sample at or after the start (the keys are whole milliseconds).
  iFirst = UpperBound(n, static_cast<double>(start) - 0.5, timeAt);
  if (aStretch.iEndTime.IsSet()) {
    const int64_t end = static_cast<int64_t>(aStretch.iEndTime.Milliseconds()) + KMarginMs;
    iEnd = UpperBound(n, static_cast<double>(end), timeAt);
  } else {
    iEnd = n;
  }
  if (iEnd < iFirst) iEnd = iFirst;
  for (CGraphChannel* channel : iChannels) channel->StartComputing(PointCount());
  iWindowFirst = iWindowEnd = 0;
}

int32_t CGraphChannelList::FindChannel(TChannelId aId, int32_t aFrom) const {
  for (int32_t i = aFrom < 0 ? 0 : aFrom; i < iChannels.Count(); ++i)
    if (iChannels.At(i)->Id() == aId) return i;
  return -1;
}

int32_t CGraphChannelList::SourceChannelOf(TChannelId aId) const {
  for (int32_t c = 0; c < iSamples->ChannelCount(); ++c)
    if (iSamples->ChannelId(c) == aId) return c;
  return -1;
}

bool CGraphChannelList::AddChannel(TChannelId aId, bool aDerived) {
  if (PointCount() < 2) return false;
  const int32_t from = iChannels.Count() < 2 ? 0 : 2;
  if (FindChannel(aId, from) >= 0) return false;
  const int32_t source = aDerived ? -1 : SourceChannelOf(aId);
  if (!aDerived && source < 0) return false;
  CGraphChannel* channel = new CGraphChannel(aId, source, ChannelQuantityClass(aId));
  channel->StartComputing(PointCount());
  try {
    iChannels.Append(channel);
  } catch (...) {
    delete channel;
    throw;
  }
  return true;
}

bool CGraphChannelList::AddTableChannel(TChannelId aId, std::vector<double> aValues) {
  if (PointCount() < 2 || FindChannel(aId, 2) >= 0 || iChannels.Count() < 2) return false;
  CGraphChannel* channel = new CGraphChannel(aId, CGraphChannel::KTableSource, ChannelQuantityClass(aId));
  channel->StartComputing(PointCount());
  try {
    iChannels.Append(channel);
  } catch (...) {
    delete channel;
    throw;
  }
  iTable = std::move(aValues);
  return true;
}

void CGraphChannelList::ComputeTable(CGraphChannel& aChannel, int32_t aCount) {
  for (int32_t k = 0; k < aCount && !aChannel.IsComplete(); ++k) {
    const size_t i = static_cast<size_t>(aChannel.Done());
    aChannel.AppendValue(i < iTable.size() ? iTable[i] : InvalidReal());
  }
}

void CGraphChannelList::RemoveChannel(int32_t aIndex) {
  if (!IsValueChannel(aIndex)) return;
  delete iChannels.At(aIndex);
  iChannels.Remove(aIndex);
  if (iCurrentChannel == aIndex) iCurrentChannel = -1;
  if (iCurrentChannel > aIndex) --iCurrentChannel;
}

double CGraphChannelList::SampleValue(const CGraphChannel& aChannel, int32_t aIndex) const {
  double v = InvalidReal();
  if (!iSamples->ChannelValue(aChannel.SourceChannel(), aIndex, iStretch.iStartTime, v)) return InvalidReal();
  // The cumulative distance counts from the start of the stretch, like the time.
  if (aChannel.Id() == KChannelDistance && IsValidReal(v)) v -= iStretch.iStartDistance;
  return v;
}

bool CGraphChannelList::Step() {
  bool more = false;
  for (CGraphChannel* channel : iChannels) {
    if (channel->IsComplete()) continue;
    const int32_t count = channel->Budget() - 1;
    if (channel->IsTable())
      ComputeTable(*channel, count);
    else if (channel->IsDerived())
      ComputeDerived(*channel, count);
    else
      ComputeDirect(*channel, count);
    if (!channel->IsComplete()) more = true;
  }
  return more;
}

void CGraphChannelList::Cancel() {
  for (CGraphChannel* channel : iChannels) channel->StopComputing();
}

int32_t CGraphChannelList::ProgressValue() const {
  int32_t done = PointCount();
  for (const CGraphChannel* channel : iChannels)
    if (channel->Done() < done) done = channel->Done();
  return done;
}

void CGraphChannelList::ComputeDirect(CGraphChannel& aChannel, int32_t aCount) {
  CGraphChannel::TRunState& run = aChannel.RunState();
  const int32_t n = iSamples->Count();
  for (int32_t k = 0; k < aCount && !aChannel.IsComplete(); ++k) {
    const int32_t i = iFirst + aChannel.Done();
    double v = SampleValue(aChannel, i);
    if (IsValidReal(v)) {
      run.iPreviousValid = i;
      aChannel.AppendValue(v);
      continue;
    }
    // A sample without a value: interpolate in time between the nearest samples that have
    // one. Both searches move only forward over the whole computation.
    if (aChannel.Done() == 0) {
      for (int32_t j = i - 1; j >= 0; --j)
        if (IsValidReal(SampleValue(aChannel, j))) {
          run.iPreviousValid = j;
          break;
        }
    }
    if (run.iNextValid != -2 && run.iNextValid <= i) {
      run.iNextValid = -2;
      for (int32_t j = i + 1; j < n; ++j)
        if (IsValidReal(SampleValue(aChannel, j))) {
          run.iNextValid = j;
          break;
        }
    }
    if (run.iPreviousValid >= 0 && run.iNextValid >= 0) {
      const double ta = iSamples->TimeAt(run.iPreviousValid).Milliseconds();
      const double tb = iSamples->TimeAt(run.iNextValid).Milliseconds();
      const double t = iSamples->TimeAt(i).Milliseconds();
      const double va = SampleValue(aChannel, run.iPreviousValid);
      const double vb = SampleValue(aChannel, run.iNextValid);
      v = tb > ta ? va + (t - ta) / (tb - ta) * (vb - va) : va;
    }
    aChannel.AppendValue(v);
  }
}

void CGraphChannelList::ComputeDerived(CGraphChannel& aChannel, int32_t aCount) {
  CGraphChannel::TRunState& run = aChannel.RunState();
  const CGraphChannelList* gps = iGpsList;
  const CPlotListBase* gpsSamples = gps ? &gps->Samples() : nullptr;
  auto distanceAt = [gps, gpsSamples](int32_t aIndex) {
    const TDistance d = gpsSamples->DistanceAt(aIndex);
    return d.IsValid() ? d.Metres() - gps->Stretch().iStartDistance : InvalidReal();
  };
  for (int32_t k = 0; k < aCount && !aChannel.IsComplete(); ++k) {
    if (!gps || gps->PointCount() == 0) {
      aChannel.AppendValue(InvalidReal());
      continue;
    }
    const int64_t t = iSamples->TimeAt(iFirst + aChannel.Done()).Milliseconds();
    if (run.iSourceIndex < gps->First()) run.iSourceIndex = gps->First();
    while (run.iSourceIndex + 1 < gps->End() && gpsSamples->TimeAt(run.iSourceIndex + 1).Milliseconds() <= t)
      ++run.iSourceIndex;
    const int32_t j = run.iSourceIndex;
    const int64_t tj = gpsSamples->TimeAt(j).Milliseconds();
    double v;
    if (t < tj) {
      // Before the first GPS sample of the stretch: no distance travelled yet, unless the
      // distance has already been lost once (a restart after a gap is no new start).
      v = run.iHadInvalid ? InvalidReal() : 0.0;
    } else if (t == tj) {
      v = distanceAt(j);
    } else if (j + 1 >= gps->End()) {
      v = InvalidReal();  // the GPS list has run out
    } else {
      const int64_t tk = gpsSamples->TimeAt(j + 1).Milliseconds();
      const double f = static_cast<double>(t - tj) / static_cast<double>(tk - tj);
      v = (1.0 - f) * distanceAt(j) + f * distanceAt(j + 1);
    }
    if (!IsValidReal(v)) run.iHadInvalid = true;
    aChannel.AppendValue(v);
  }
}

void CGraphChannelList::SetXChannel(int32_t aAxis) {
  iXChannel = -1;
  for (int32_t i = 0; i < 2 && i < iChannels.Count(); ++i) {
    const TChannelId id = iChannels.At(i)->Id();
    const bool time = id == KChannelGpsTime || id == KChannelObdTime || id == KChannelLoggerTime;
    const bool distance = id == KChannelDistance || id == KChannelObdDistance || id == KChannelLoggerDistance;
    if (aAxis == 2 ? distance : time) iXChannel = i;
  }
  if (iXChannel < 0) return;
  CGraphChannel& x = *iChannels.At(iXChannel);
  x.ComputeFullRange();
  x.TakeFullRange();
}

double CGraphChannelList::DataStart(bool aScaled) const {
  const CGraphChannel* x = XChannel();
  return x ? x->Minimum() * (aScaled ? Scale() : 1.0) : InvalidReal();
}

double CGraphChannelList::DataEnd(bool aScaled) const {
  const CGraphChannel* x = XChannel();
  return x ? x->Maximum() * (aScaled ? Scale() : 1.0) : InvalidReal();
}

double CGraphChannelList::XStart(bool aScaled) const {
  const CGraphChannel* x = XChannel();
  return x ? x->WindowMinimum() * (aScaled ? Scale() : 1.0) : InvalidReal();
}

double CGraphChannelList::XEnd(bool aScaled) const {
  const CGraphChannel* x = XChannel();
  return x ? x->WindowMaximum() * (aScaled ? Scale() : 1.0) : InvalidReal();
}

double CGraphChannelList::XRange(bool aScaled) const {
  const CGraphChannel* x = XChannel();
  return x ? x->WindowRange() * (aScaled ? Scale() : 1.0) : InvalidReal();
}

void CGraphChannelList::SetWindow(double aStart, double aEnd) {
  CGraphChannel* x = XChannel();
  iWindowFirst = iWindowEnd = 0;
  if (!x) return;
  x->SetWindowRange(aStart, aEnd);
  const int32_t n = x->Count();
  auto valueAt = [x](int32_t i) { return x->Value(i); };
  const int32_t beyondStart = UpperBound(n, aStart, valueAt);
  if (beyondStart >= n) return;  // nothing lies beyond the window start
  iWindowFirst = beyondStart > 0 ? beyondStart - 1 : 0;
  const int32_t beyondEnd = UpperBound(n, aEnd, valueAt);
  iWindowEnd = beyondEnd < n ? beyondEnd + 1 : n;
}

void CGraphChannelList::SetZoomedY(bool aZoomed) {
  for (int32_t i = 0; i < iChannels.Count(); ++i) {
    if (i == iXChannel || !IsValueChannel(i)) continue;
    CGraphChannel& channel = *iChannels.At(i);
    if (aZoomed)
      channel.SetWindowFromValues(iWindowFirst, iWindowEnd);
    else
      channel.TakeFullRange();
  }
}

void CGraphChannelList::FindX(double aX, int32_t& aLower, int32_t& aUpper) const {
  aLower = aUpper = -1;
  const CGraphChannel* x = XChannel();
  const int32_t n = x ? x->Count() : 0;
  if (n == 0) return;
  const double first = x->Value(0);
  if (aX <= first) {
    aLower = aX == first ? 0 : -1;
    aUpper = 0;
    return;
  }
  const double last = x->Value(n - 1);
  if (aX >= last) {
    aLower = n - 1;
    aUpper = aX == last ? n - 1 : -1;
    return;
  }
  int32_t lo = 0, hi = n - 1;
  while (hi - lo > 1) {
    const int32_t probe = hi - lo < 5 ? lo + 1 : lo + (hi - lo) / 2;
    const double v = x->Value(probe);
    if (v == aX) {
      aLower = aUpper = probe;
      return;
    }
    // A probe that does not compare (NaN) counts as above, so the search always ends.
    if (v < aX)
      lo = probe;
    else
      hi = probe;
  }
  aLower = lo;
  aUpper = hi;
}

void CGraphChannelList::SetCursorValues(double aX) {
  int32_t lo = -1, hi = -1;
  FindX(aX, lo, hi);
  const CGraphChannel* x = XChannel();
  double f = 0.0;
  if (x && lo >= 0 && hi >= 0 && lo != hi) {
    const double xl = x->Value(lo), xh = x->Value(hi);
    f = xh != xl ? (aX - xl) / (xh - xl) : 0.0;
  }
  for (CGraphChannel* channel : iChannels) {
    double v = InvalidReal();
    if (lo >= 0 && hi >= 0 && hi < channel->Count()) {
      if (lo == hi) {
        v = channel->Value(lo);
      } else {
        const double a = channel->Value(lo), b = channel->Value(hi);
        if (IsValidReal(a) && IsValidReal(b)) v = (1.0 - f) * a + f * b;
      }
    }
    channel->SetCursorValue(v);
  }
}
