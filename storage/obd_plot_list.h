// OBD-II samples: one list per parameter (CObdChannelPlotList) holding the raw values as the
// vehicle sent them, and the set of those lists in order of first appearance (CObdPlotList).
// Raw values are kept so that the channel's scaling can be applied whenever they are read.
#pragma once

#include <cstdint>

#include "acquisition/obd_channels.h"
#include "foundation/pw_vector.h"
#include "storage/plot_list_base.h"

// One OBD sample: session time and raw value as received.
struct TObdPlot {
  int32_t iTime = 0;
  uint32_t iRawValue = 0;
};
static_assert(sizeof(TObdPlot) == 8, "TObdPlot is 8 bytes");

class CObdChannelPlotList : public CPlotListBase {
 public:
  static constexpr int32_t KSegmentSize = 2048;
  static constexpr int32_t KChannelCount = 2;

  // aChannel is not owned and must outlive the list.
  explicit CObdChannelPlotList(const CObdChannel& aChannel) : iChannel(&aChannel) {}
  ~CObdChannelPlotList() override = default;

  // CPlotListBase. Channel 0 is time (identifier 21), channel 1 the parameter scaled by its
  // channel definition.
  int32_t Count() const override { return iPlots.Count(); }
  PwTime TimeAt(int32_t aIndex) const override;
  // Only the vehicle-speed parameter has a speed: raw km/h as m/s.
  double SpeedAt(int32_t aIndex) const override;
  int32_t ChannelCount() const override { return KChannelCount; }
  int32_t ChannelValue(int32_t aChannel, int32_t aIndex, PwTime aBaseTime,
                       double& aValue) const override;
  TChannelId ChannelId(int32_t aChannel) const override;

  const CObdChannel& Channel() const { return *iChannel; }
  uint8_t Pid() const { return iChannel->Pid(); }
  const TObdPlot& At(int32_t aIndex) const { return iPlots.At(aIndex); }

  // Leaves KErrNoMemory.
  void Append(PwTime aTime, uint32_t aRawValue) { iPlots.Append(TObdPlot{aTime.Milliseconds(), aRawValue}); }
  // The scaled value at a session time, interpolated linearly between the samples around it;
  // invalid when a side is missing.
  double ValueAtTime(PwTime aTime) const;

 private:
  const CObdChannel* iChannel = nullptr;
  CPwVectorSeg<TObdPlot> iPlots{KSegmentSize};
};

class CObdPlotList : public CPwBase {
 public:
  static constexpr int32_t KGranularity = 8;

  // aChannels (not owned) may be null: then no parameter is known and nothing is kept.
  explicit CObdPlotList(const CObdChannelList* aChannels) : iChannels(aChannels) {}
  ~CObdPlotList() override;

  // The list of a parameter, created when the channel definitions know it; null otherwise.
  // Leaves KErrNoMemory.
  CObdChannelPlotList* ChannelList(int32_t aPid);
  // The existing list of a parameter, or null.
  CObdChannelPlotList* FindList(int32_t aPid) const;
  // The existing list of a channel identifier, or null.
  CObdChannelPlotList* FindListById(TChannelId aId) const;

  int32_t ListCount() const { return iLists.Count(); }
  CObdChannelPlotList& ListAt(int32_t aIndex) const { return *iLists.At(aIndex); }
  // True when any list holds a sample.
  bool HasData() const;

  // Deletes every list.
  void Reset();

 private:
  const CObdChannelList* iChannels = nullptr;
  CPwVector<CObdChannelPlotList*> iLists{KGranularity};
  CObdChannelPlotList* iByPid[256] = {};
};
