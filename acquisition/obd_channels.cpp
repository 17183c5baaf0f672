#include "acquisition/obd_channels.h"

#include "acquisition/geodesy.h"
#include "strings/pw_strings.h"

CObdChannel::CObdChannel(TChannelId aId, uint8_t aPid, double aOffset, double aDivisor, int32_t aByteCount,
                         int32_t aExtraBytes)
    : iId(aId), iPid(aPid), iOffset(aOffset), iDivisor(aDivisor), iByteCount(aByteCount),
      iExtraBytes(aExtraBytes) {}

double CObdChannel::ScaledValue(uint32_t aRaw) const {
  const uint32_t value = iExtraBytes >= 4 ? 0 : (aRaw >> (8 * iExtraBytes));
  if (iDivisor == 0.0) return 0.0;
  return (iOffset + value) / iDivisor;
}

CObdChannelList* CObdChannelList::NewL() { return PwNewL<CObdChannelList>(); }

CObdChannelList::~CObdChannelList() {
  for (CObdChannel* channel : iChannels) delete channel;
  iChannels.Reset();
}

void CObdChannelList::ConstructL() {
  // Definition order matters: it is the order of polling-list set-up and of ChannelById.
  AddChannelL(KChannelObdEngineLoad, 0x04, 0, 2.55, 1, 0);
  AddChannelL(KChannelObdCoolantTemperature, 0x05, -40, 1, 1, 0);
  AddChannelL(KChannelObdShortFuelTrim1, 0x06, -128, 1.28, 1, 0);
  AddChannelL(KChannelObdLongFuelTrim1, 0x07, -128, 1.28, 1, 0);
  AddChannelL(KChannelObdShortFuelTrim2, 0x08, -128, 1.28, 1, 0);
  AddChannelL(KChannelObdLongFuelTrim2, 0x09, -128, 1.28, 1, 0);
  AddChannelL(KChannelObdFuelPressure, 0x0A, 0, 0.333, 1, 0);
  AddChannelL(KChannelObdManifoldPressure, 0x0B, 0, 1, 1, 0);
  AddChannelL(KChannelObdRpm, 0x0C, 0, 4, 2, 0);
  AddChannelL(KChannelObdSpeed, 0x0D, 0, 3.6, 1, 0);  // km/h to m/s
  AddChannelL(KChannelObdTimingAdvance, 0x0E, -128, 2, 1, 0);
  AddChannelL(KChannelObdIntakeTemperature, 0x0F, -40, 1, 1, 0);
  AddChannelL(KChannelObdAirflow, 0x10, 0, 100, 2, 0);
  AddChannelL(KChannelObdThrottle, 0x11, 0, 2.55, 1, 0);
  AddChannelL(KChannelObdSecondaryAirStatus, 0x12, 0, 1, 1, 0);
  AddChannelL(KChannelObdOxygenSensors, 0x13, 0, 1, 1, 0);
  for (int32_t i = 0; i < 8; ++i)  // the trim byte after each voltage is not used
    AddChannelL(KChannelObdOxygen1Bank1 + i, static_cast<uint8_t>(0x14 + i), 0, 200, 1, 1);
  AddChannelL(KChannelObdStandards, 0x1C, 0, 1, 1, 0);
  AddChannelL(KChannelObdOxygenSensors2, 0x1D, 0, 1, 1, 0);
  AddChannelL(KChannelObdAuxiliaryInput, 0x1E, 0, 1, 1, 0);
  AddChannelL(KChannelObdRunTime, 0x1F, 0, 1, 2, 0);
  AddChannelL(KChannelObdDistanceWithMil, 0x21, 0, 0.001, 2, 0);  // km to m
  AddChannelL(KChannelObdFuelRailPressure, 0x22, 0, 12.66, 2, 0);
  AddChannelL(KChannelObdDieselRailPressure, 0x23, 0, 0.1, 2, 0);
  AddChannelL(KChannelObdCommandedEgr, 0x2C, 0, 2.55, 1, 0);
  AddChannelL(KChannelObdEgrError, 0x2D, -128, 1.28, 1, 0);
  AddChannelL(KChannelObdEvaporativePurge, 0x2E, 0, 2.55, 1, 0);
  AddChannelL(KChannelObdFuelLevel, 0x2F, 0, 2.55, 1, 0);
  AddChannelL(KChannelObdWarmUps, 0x30, 0, 1, 1, 0);
  AddChannelL(KChannelObdDistanceSinceClear, 0x31, 0, 0.001, 2, 0);
  AddChannelL(KChannelObdEvaporativePressure, 0x32, -32768, 4, 2, 0);
  AddChannelL(KChannelObdBarometricPressure, 0x33, 0, 1, 1, 0);
  AddChannelL(KChannelObdEcuVoltage, 0x42, 0, 1000, 2, 0);
  AddChannelL(KChannelObdAbsoluteLoad, 0x43, 0, 2.55, 2, 0);
  AddChannelL(KChannelObdRelativeThrottle, 0x45, 0, 2.55, 1, 0);
  AddChannelL(KChannelObdAmbientTemperature, 0x46, -40, 1, 1, 0);
}

void CObdChannelList::AddChannelL(TChannelId aId, uint8_t aPid, double aOffset, double aDivisor, int32_t aBytes,
                                  int32_t aExtraBytes) {
  CObdChannel* channel = PwConstructL(new CObdChannel(aId, aPid, aOffset, aDivisor, aBytes, aExtraBytes),
                                      [aId](CObdChannel* aNew) { aNew->Name().LoadFromResource(ChannelNameEntry(aId)); });
  AppendOwnedL(iChannels, channel);
  if (!iByPid[aPid]) iByPid[aPid] = channel;
}

CObdChannel* CObdChannelList::ChannelById(TChannelId aId) const {
  for (CObdChannel* channel : iChannels)
    if (channel->Id() == aId) return channel;
  return nullptr;
}

bool CObdChannelList::Decode(const uint8_t* aBytes, int32_t aCount, uint8_t aPid, uint32_t& aRawValue) {
  if (!aBytes || aCount < 3 || aBytes[0] != 0x41 || aBytes[1] != aPid) return false;
  const bool bitmap = aPid == 0x00 || aPid == 0x20 || aPid == 0x40;
  const CObdChannel* channel = bitmap ? nullptr : iByPid[aPid];
  if (!bitmap && !channel) return false;
  const int32_t width = bitmap ? 4 : channel->ByteCount() + channel->ExtraBytes();
  if (width < 1 || width > 4 || aCount < width + 2) return false;
  uint32_t raw = 0;
  for (int32_t i = 0; i < width; ++i) raw = (raw << 8) | aBytes[2 + i];
  if (channel) {
    aRawValue = raw;
    return true;
  }
  ApplySupportBitmap(aPid, raw);
  return false;
}

void CObdChannelList::ApplySupportBitmap(uint8_t aQuery, uint32_t aBitmap) {
  // Bit 31 stands for PID q+1 and bit 0 for q+32, the next range query.
  const uint8_t pending = ((aBitmap & 1u) && (aQuery == 0x00 || aQuery == 0x20)) ? aQuery + 0x20 : 0;
  if (pending != iPendingRangeQuery) {
    iPendingRangeQuery = pending;
    iRebuild = 1;
  }
  for (int32_t offset = 1; offset <= 31; ++offset) {
    CObdChannel* channel = iByPid[aQuery + offset];
    if (!channel) continue;
    const bool supported = (aBitmap >> (32 - offset)) & 1u;
    if (supported) {
      if (channel->SupportState() != CObdChannel::ESupported) {
        channel->SetSupportState(CObdChannel::ESupported);
        iRebuild = 1;
      }
    } else if (channel->SupportState() == CObdChannel::ESupported) {
      channel->SetSupportState(CObdChannel::ENotSupported);
      iRebuild = 1;
    }
  }
}

double CObdChannelList::ScaledValue(uint8_t aPid, uint32_t aRawValue) const {
  const CObdChannel* channel = iByPid[aPid];
  return channel ? channel->ScaledValue(aRawValue) : InvalidReal();
}

void CObdChannelList::Forget() {
  iRebuild = 0;
  iPendingRangeQuery = 0;
  for (CObdChannel* channel : iChannels) channel->SetSupportState(CObdChannel::ESupportUnknown);
}
