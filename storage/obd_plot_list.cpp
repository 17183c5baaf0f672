#include "storage/obd_plot_list.h"

#include <memory>

PwTime CObdChannelPlotList::TimeAt(int32_t aIndex) const {
  if (aIndex < 0 || aIndex >= iPlots.Count()) return PwTime(0);
  return PwTime(iPlots.At(aIndex).iTime);
}

double CObdChannelPlotList::SpeedAt(int32_t aIndex) const {
  if (iChannel->Id() != KChannelObdSpeed || aIndex < 0 || aIndex >= iPlots.Count())
    return InvalidReal();
  return iPlots.At(aIndex).iRawValue / 3.6;
}

int32_t CObdChannelPlotList::ChannelValue(int32_t aChannel, int32_t aIndex, PwTime aBaseTime,
                                          double& aValue) const {
  if (aIndex < 0 || aIndex >= iPlots.Count()) return 0;
  const TObdPlot& p = iPlots.At(aIndex);
  if (aChannel == 0)
    aValue = (p.iTime - aBaseTime.Milliseconds()) / 1000.0;
  else if (aChannel == 1)
    aValue = iChannel->ScaledValue(p.iRawValue);
  else
    return 0;
  return 1;
}

TChannelId CObdChannelPlotList::ChannelId(int32_t aChannel) const {
  if (aChannel == 0) return KChannelObdTime;
  if (aChannel == 1) return iChannel->Id();
  return 0;
}

double CObdChannelPlotList::ValueAtTime(PwTime aTime) const {
  int32_t lower, upper;
  FindByTime(aTime, lower, upper);
  if (lower < 0 || upper < 0) return InvalidReal();
  const TObdPlot& a = iPlots.At(lower);
  const double va = iChannel->ScaledValue(a.iRawValue);
  if (lower == upper) return va;
  const TObdPlot& b = iPlots.At(upper);
  const double vb = iChannel->ScaledValue(b.iRawValue);
  const double f = SafeDivide(aTime.Milliseconds() - a.iTime, static_cast<double>(b.iTime - a.iTime));
  return va + (vb - va) * f;
}

CObdPlotList::~CObdPlotList() { Reset(); }

CObdChannelPlotList* CObdPlotList::FindList(int32_t aPid) const {
  if (aPid < 0 || aPid > 255) return nullptr;
  return iByPid[aPid];
}

CObdChannelPlotList* CObdPlotList::FindListById(TChannelId aId) const {
  for (CObdChannelPlotList* list : iLists)
    if (list->Channel().Id() == aId) return list;
  return nullptr;
}

CObdChannelPlotList* CObdPlotList::ChannelList(int32_t aPid) {
  if (aPid < 0 || aPid > 255) return nullptr;
  if (iByPid[aPid]) return iByPid[aPid];
  const CObdChannel* channel = iChannels ? iChannels->ChannelByPid(static_cast<uint8_t>(aPid)) : nullptr;
  if (!channel) return nullptr;
  std::unique_ptr<CObdChannelPlotList> list(new CObdChannelPlotList(*channel));
  iLists.Append(list.get());
  iByPid[aPid] = list.get();
  return list.release();
}

bool CObdPlotList::HasData() const {
  for (const CObdChannelPlotList* list : iLists)
    if (list->Count() > 0) return true;
  return false;
}

void CObdPlotList::Reset() {
  for (CObdChannelPlotList* list : iLists) delete list;
  iLists.Reset();
  for (CObdChannelPlotList*& entry : iByPid) entry = nullptr;
}
