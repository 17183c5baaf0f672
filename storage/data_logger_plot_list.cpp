#include "storage/data_logger_plot_list.h"

#include <cmath>
#include <memory>

#include "foundation/byte_order.h"
#include "strings/pw_strings.h"

const TChannelId KDataLoggerChannelIds[KDataLoggerChannelCount + 1] = {
    KChannelLoggerDigital1,      KChannelLoggerAnalog1,  KChannelLoggerAnalog1 + 1,
    KChannelLoggerAnalog1 + 2,   KChannelLoggerAnalog1 + 3, KChannelLoggerAnalog1 + 4,
    KChannelLoggerLongitudinalG, KChannelLoggerLateralG, KChannelLoggerAnalog6,
    KChannelLoggerAnalog6 + 1,   KChannelLoggerAnalog6 + 2, KChannelLoggerDigital2, 0};

namespace {

// Accelerations are stored in hundredths of a G.
bool InHundredths(int32_t aIndex) {
  return aIndex >= 0 && aIndex < KDataLoggerChannelCount &&
         ChannelQuantityClass(KDataLoggerChannelIds[aIndex]) == EQuantityAcceleration;
}

constexpr uint16_t KChannelNames[KDataLoggerChannelCount] = {
    R_SAMPLES_LOGGER_DIGITAL1, R_SAMPLES_LOGGER_ANALOG1,  R_SAMPLES_LOGGER_ANALOG2,
    R_SAMPLES_LOGGER_ANALOG3,  R_SAMPLES_LOGGER_ANALOG4,  R_SAMPLES_LOGGER_ANALOG5,
    R_SAMPLES_LOGGER_LATERAL_G, R_SAMPLES_LOGGER_LONGITUDINAL_G, R_SAMPLES_LOGGER_ANALOG6,
    R_SAMPLES_LOGGER_ANALOG7,  R_SAMPLES_LOGGER_ANALOG8,  R_SAMPLES_LOGGER_DIGITAL2};

}  // namespace

int32_t DataLoggerChannelIndex(TChannelId aId) {
  for (int32_t i = 0; i < KDataLoggerChannelCount; ++i)
    if (KDataLoggerChannelIds[i] == aId) return i;
  return -1;
}

void DataLoggerChannelName(int32_t aIndex, CPwString& aName) {
  if (aIndex == -1)
    aName.LoadFromResource(R_SAMPLES_LOGGER_TIME);
  else if (aIndex >= 0 && aIndex < KDataLoggerChannelCount)
    aName.LoadFromResource(KChannelNames[aIndex]);
  else
    aName.Copy(CPwStringC());
}

// --- TDataLoggerRecord ---------------------------------------------------------------------

void TDataLoggerRecord::SetRawValue(int32_t aIndex, int16_t aValue) {
  if (aIndex < 0 || aIndex >= KDataLoggerChannelCount) return;
  iMask = static_cast<uint16_t>(iMask | (1u << aIndex));
  iValues[aIndex] = aValue;
}

double TDataLoggerRecord::Decode(int32_t aIndex, int16_t aRaw) {
  if (InHundredths(aIndex)) return aRaw / 100.0;
  return aRaw;
}

int16_t TDataLoggerRecord::Encode(int32_t aIndex, double aValue) {
  const bool hundredths = InHundredths(aIndex);
  const double v = std::trunc((hundredths ? aValue * 100.0 : aValue) + 0.5);
  if (v >= 32767.0) return 32767;
  if (v <= -32767.0) return -32767;  // -32768 is the lists' gap mark
  return static_cast<int16_t>(v);
}

bool TDataLoggerRecord::SetValue(TChannelId aId, double aValue) {
  if (std::isnan(aValue)) return false;
  const int32_t index = DataLoggerChannelIndex(aId);
  if (index < 0) return false;
  SetRawValue(index, Encode(index, aValue));
  return true;
}

int32_t TDataLoggerRecord::Serialise(uint8_t* aBuffer, int32_t aSize) const {
  if (aSize < KMaxSerialisedBytes) return 0;
  const uint16_t mask = iMask & KMaskAll;
  aBuffer[0] = static_cast<uint8_t>(mask);
  aBuffer[1] = static_cast<uint8_t>(mask >> 8);
  int32_t n = 2;
  for (int32_t i = 0; i < KDataLoggerChannelCount; ++i) {
    if (!((mask >> i) & 1)) continue;
    const uint16_t v = static_cast<uint16_t>(iValues[i]);
    aBuffer[n++] = static_cast<uint8_t>(v);
    aBuffer[n++] = static_cast<uint8_t>(v >> 8);
  }
  return n;
}

bool TDataLoggerRecord::Deserialise(const uint8_t* aBytes, int32_t aLength) {
  *this = TDataLoggerRecord();
  if (aLength < 2 || aLength > KMaxStoredBytes) return false;
  const uint16_t mask = ReadLittleEndian16(aBytes) & KMaskAll;
  const int32_t available = aLength / 2 - 1;
  int32_t read = 0;
  for (int32_t i = 0; i < KDataLoggerChannelCount && read < available; ++i) {
    if (!((mask >> i) & 1)) continue;
    SetRawValue(i, static_cast<int16_t>(ReadLittleEndian16(aBytes + 2 + 2 * read)));
    ++read;
  }
  return true;
}

// --- CDataLoggerChannel --------------------------------------------------------------------

void CDataLoggerChannel::Append(int32_t aRecord, int16_t aValue) {
  if (aRecord < 0) return;
  if (aValue == KGap) aValue = KGap + 1;
  if (iStart < 0) {
    iValues.Append(aValue);
    iStart = aRecord;
    iHasData = true;
    return;
  }
  const int32_t next = iStart + iValues.Count();
  if (aRecord < next) return;
  for (int32_t i = next; i < aRecord; ++i) iValues.Append(KGap);
  iValues.Append(aValue);
}

bool CDataLoggerChannel::ValueAt(int32_t aRecord, int16_t& aValue) const {
  if (iStart < 0 || aRecord < iStart || aRecord - iStart >= iValues.Count()) return false;
  const int16_t v = iValues.At(aRecord - iStart);
  if (v == KGap) return false;
  aValue = v;
  return true;
}

int32_t CDataLoggerChannel::RawValueAt(int32_t aRecord) const {
  int16_t v;
  return ValueAt(aRecord, v) ? v : KNoData;
}

void CDataLoggerChannel::Reset() {
  iValues.Reset();
  iStart = -1;
  iHasData = false;
}

// --- CDataLoggerPlotList -------------------------------------------------------------------

CDataLoggerPlotList* CDataLoggerPlotList::NewL() {
  std::unique_ptr<CDataLoggerPlotList> self(new CDataLoggerPlotList());
  self->ConstructL();
  return self.release();
}

void CDataLoggerPlotList::ConstructL() {
  for (int32_t i = 0; i < KDataLoggerChannelCount; ++i) {
    std::unique_ptr<CDataLoggerChannel> channel(new CDataLoggerChannel(i));
    iChannels.Append(channel.get());
    channel.release();
  }
}

CDataLoggerPlotList::~CDataLoggerPlotList() {
  for (CDataLoggerChannel* channel : iChannels) delete channel;
  iChannels.Reset();
}

PwTime CDataLoggerPlotList::TimeAt(int32_t aIndex) const {
  if (aIndex < 0 || aIndex >= iTimes.Count()) return PwTime(0);
  return iTimes.At(aIndex);
}

int32_t CDataLoggerPlotList::ChannelValue(int32_t aChannel, int32_t aIndex, PwTime aBaseTime,
                                          double& aValue) const {
  if (aIndex < 0 || aIndex >= iTimes.Count() || aChannel < 0 || aChannel >= KChannelCount) return 0;
  if (aChannel == 0) {
    aValue = (iTimes.At(aIndex) - aBaseTime).Milliseconds() / 1000.0;
    return 1;
  }
  int16_t raw;
  aValue = Channel(aChannel - 1).ValueAt(aIndex, raw) ? TDataLoggerRecord::Decode(aChannel - 1, raw)
                                                       : InvalidReal();
  return 1;
}

TChannelId CDataLoggerPlotList::ChannelId(int32_t aChannel) const {
  if (aChannel == 0) return KChannelLoggerTime;
  if (aChannel < 1 || aChannel >= KChannelCount) return 0;
  return KDataLoggerChannelIds[aChannel - 1];
}

void CDataLoggerPlotList::ChannelName(int32_t aChannel, CPwString& aName) const {
  DataLoggerChannelName(aChannel - 1, aName);
}

void CDataLoggerPlotList::Append(PwTime aTime, const TDataLoggerRecord& aRecord) {
  const int32_t index = iTimes.Count();
  iTimes.Append(aTime);
  for (int32_t i = 0; i < KDataLoggerChannelCount; ++i)
    if (aRecord.HasValue(i)) iChannels.At(i)->Append(index, aRecord.iValues[i]);
}

int32_t CDataLoggerPlotList::NearestIndex(PwTime aTime) const {
  const int32_t n = iTimes.Count();
  if (n == 1) return 0;  // the bracketing search needs two samples, the answer does not
  int32_t lower, upper;
  FindByTime(aTime, lower, upper);
  if (lower < 0) return upper;
  if (upper < 0 || upper == lower) return lower;
  const int64_t before = static_cast<int64_t>(aTime.Milliseconds()) - iTimes.At(lower).Milliseconds();
  const int64_t after = static_cast<int64_t>(iTimes.At(upper).Milliseconds()) - aTime.Milliseconds();
  return after <= before ? upper : lower;
}

bool CDataLoggerPlotList::RecordAt(int32_t aIndex, TDataLoggerRecord& aRecord) const {
  if (aIndex < 0 || aIndex >= iTimes.Count()) return false;
  TDataLoggerRecord record;
  for (int32_t i = 0; i < KDataLoggerChannelCount; ++i) {
    int16_t v;
    if (iChannels.At(i)->ValueAt(aIndex, v)) record.SetRawValue(i, v);
  }
  aRecord = record;
  return true;
}

void CDataLoggerPlotList::Reset() {
  iTimes.Reset();
  for (CDataLoggerChannel* channel : iChannels) channel->Reset();
  ResetTimeLine();
}
