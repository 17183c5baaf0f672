// Samples of the external data logger: the fixed catalogue of its twelve channels, one logger
// record (the values of one logger sample), and the list that keeps the records of a session
// with one value column per channel.
#pragma once

#include <cstdint>

#include "acquisition/channel_id.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"
#include "storage/plot_list_base.h"

// The logger's channels; the index is the channel's bit in a record's presence mask.
constexpr int32_t KDataLoggerChannelCount = 12;
// Identifiers by index, ending with 0.
extern const TChannelId KDataLoggerChannelIds[KDataLoggerChannelCount + 1];
// The catalogue index of an identifier, or -1.
int32_t DataLoggerChannelIndex(TChannelId aId);
// The catalogue name of a channel index (-1 names the logger time), empty for others.
void DataLoggerChannelName(int32_t aIndex, CPwString& aName);

// One logger sample: a presence mask (bit i for channel i) and a 16-bit value per channel.
// Acceleration channels hold hundredths of G, every other channel the value itself.
struct TDataLoggerRecord {
  static constexpr int32_t KMaxSerialisedBytes = 2 + 2 * KDataLoggerChannelCount;
  // The longest record part a samples file may hold; bytes past the present values are
  // ignored.
  static constexpr int32_t KMaxStoredBytes = 34;
  static constexpr uint16_t KMaskAll = (1u << KDataLoggerChannelCount) - 1;

  uint16_t iMask = 0;
  int16_t iValues[KDataLoggerChannelCount] = {};

  bool HasValue(int32_t aIndex) const {
    return aIndex >= 0 && aIndex < KDataLoggerChannelCount && (iMask >> aIndex) & 1;
  }
  // Stored value of channel aIndex (meaningful only when present).
  int16_t RawValue(int32_t aIndex) const { return HasValue(aIndex) ? iValues[aIndex] : 0; }
  void SetRawValue(int32_t aIndex, int16_t aValue);
  // Decoded value of a stored value: G for acceleration channels, else the integer.
  static double Decode(int32_t aIndex, int16_t aRaw);
  // Encoded form of a value: round(value x 100) for acceleration channels, else round(value),
  // rounding by adding 0.5 and truncating, limited to 16 bits.
  static int16_t Encode(int32_t aIndex, double aValue);
  // Sets a channel by identifier; a value that is not a number or an identifier outside the
  // catalogue is ignored. Returns whether it was set.
  bool SetValue(TChannelId aId, double aValue);

  // The mask, then the present channels' values in index order, 16 bits each, little-endian.
  // Returns the byte count, or 0 when aSize is below KMaxSerialisedBytes.
  int32_t Serialise(uint8_t* aBuffer, int32_t aSize) const;
  // Reads a serialised record of 2 to 34 bytes, at most (aLength / 2 - 1) values; mask bits
  // without a value are cleared. False (record emptied) for other lengths.
  bool Deserialise(const uint8_t* aBytes, int32_t aLength);
};

// The values of one logger channel over the session's records: a run of values starting at
// the record where the channel first had one. Records inside the run without a value of this
// channel are held as gaps.
class CDataLoggerChannel : public CPwBase {
 public:
  static constexpr int32_t KSegmentSize = 2048;

  explicit CDataLoggerChannel(int32_t aIndex) : iIndex(aIndex) {}
  ~CDataLoggerChannel() override = default;

  int32_t Index() const { return iIndex; }
  TChannelId Id() const { return KDataLoggerChannelIds[iIndex]; }
  // Record index of the first value, -1 while there is none.
  int32_t StartIndex() const { return iStart; }
  // Record indices covered so far (values and gaps).
  int32_t ValueCount() const { return iValues.Count(); }
  bool HasData() const { return iHasData; }

  // Stores the value of record aRecord. The first value fixes the start; records since the
  // last value become gaps; a record already covered is ignored. Leaves KErrNoMemory.
  void Append(int32_t aRecord, int16_t aValue);
  // The stored value of record aRecord; false outside the run and in gaps.
  bool ValueAt(int32_t aRecord, int16_t& aValue) const;
  // The stored value, or 255 (the "no data" value) outside the run and in gaps.
  int32_t RawValueAt(int32_t aRecord) const;

  void Reset();

  // The in-memory mark of a gap: logger values (counts, RPM, hundredths of G) never reach it,
  // whereas 255, the "no data" of the readers, is an ordinary analog reading. A stored value
  // of -32768 is kept as -32767.
  static constexpr int16_t KGap = INT16_MIN;
  static constexpr int32_t KNoData = 255;

 private:
  int32_t iIndex = 0;
  int32_t iStart = -1;
  bool iHasData = false;
  CPwVectorSeg<int16_t> iValues{KSegmentSize};
};

class CDataLoggerPlotList : public CPlotListBase {
 public:
  static constexpr int32_t KSegmentSize = 2048;
  static constexpr int32_t KChannelCount = KDataLoggerChannelCount + 1;

  static CDataLoggerPlotList* NewL();
  ~CDataLoggerPlotList() override;

  // CPlotListBase. Channel 0 is the logger time (20000), channels 1-12 the logger channels
  // in catalogue order, decoded (G or the integer value); a record without a value for the
  // channel gives the invalid double.
  int32_t Count() const override { return iTimes.Count(); }
  PwTime TimeAt(int32_t aIndex) const override;
  int32_t ChannelCount() const override { return KChannelCount; }
  int32_t ChannelValue(int32_t aChannel, int32_t aIndex, PwTime aBaseTime,
                       double& aValue) const override;
  TChannelId ChannelId(int32_t aChannel) const override;
  // The name reported to exporters: "Data Logger Time" and the catalogue names.
  void ChannelName(int32_t aChannel, CPwString& aName) const;

  // Logger channel by catalogue index 0-11 (panic 3 otherwise).
  const CDataLoggerChannel& Channel(int32_t aIndex) const { return *iChannels.At(aIndex); }

  // Appends the record's time and each present value at this record's index. Leaves
  // KErrNoMemory.
  void Append(PwTime aTime, const TDataLoggerRecord& aRecord);
  // Of the two samples around aTime the closer one (the later on a tie); -1 when empty.
  int32_t NearestIndex(PwTime aTime) const;
  // The record at index aIndex, rebuilt from the channel columns; false out of range.
  bool RecordAt(int32_t aIndex, TDataLoggerRecord& aRecord) const;

  void Reset();

 private:
  CDataLoggerPlotList() = default;
  void ConstructL();

  CPwVectorSeg<PwTime> iTimes{KSegmentSize};
  CPwVector<CDataLoggerChannel*> iChannels{KDataLoggerChannelCount};
};
