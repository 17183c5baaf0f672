// The OBD-II parameters the program knows: how each mode 01 answer is decoded and scaled, and
// which of them the vehicle supports (learnt from the supported-PID bitmaps).
#pragma once

#include <cstdint>

#include "acquisition/channel_id.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CObdChannel : public CPwBase {
 public:
  enum : int32_t { ESupportUnknown = 0, ENotSupported = 1, ESupported = 2 };

  CObdChannel(TChannelId aId, uint8_t aPid, double aOffset, double aDivisor, int32_t aByteCount,
              int32_t aExtraBytes);
  ~CObdChannel() override = default;

  TChannelId Id() const { return iId; }
  uint8_t Pid() const { return iPid; }
  double Offset() const { return iOffset; }
  double Divisor() const { return iDivisor; }
  int32_t ByteCount() const { return iByteCount; }
  int32_t ExtraBytes() const { return iExtraBytes; }
  int32_t SupportState() const { return iSupportState; }
  void SetSupportState(int32_t aState) { iSupportState = aState; }
  const CPwString& Name() const { return iName; }
  CPwString& Name() { return iName; }

  // (offset + raw) / divisor in the channel's unit, after the extra bytes that trail the
  // value are shifted out of aRaw; 0 for a zero divisor.
  double ScaledValue(uint32_t aRaw) const;

 private:
  TChannelId iId = 0;
  uint8_t iPid = 0;
  double iOffset = 0.0;
  double iDivisor = 1.0;
  int32_t iByteCount = 1;
  int32_t iExtraBytes = 0;
  int32_t iSupportState = ESupportUnknown;
  CPwString iName;
};

class CObdChannelList : public CPwBase {
 public:
  // The list filled with the program's channel table.
  static CObdChannelList* NewL();
  ~CObdChannelList() override;

  int32_t Count() const { return iChannels.Count(); }
  CObdChannel& At(int32_t aIndex) const { return *iChannels.At(aIndex); }
  // Null when no channel has that PID.
  CObdChannel* ChannelByPid(uint8_t aPid) const { return iByPid[aPid]; }
  // The first channel in definition order with that identifier, or null.
  CObdChannel* ChannelById(TChannelId aId) const;

  // Decodes a mode 01 answer (b[0] = 0x41, b[1] = PID, then the value big-endian). Returns
  // true with the raw value for a known channel. A supported-PID bitmap (PIDs 0x00, 0x20,
  // 0x40) updates the support states and the pending range query and returns false.
  bool Decode(const uint8_t* aBytes, int32_t aCount, uint8_t aPid, uint32_t& aRawValue);
  // The scaled value of a raw value for the PID's channel; invalid without a channel.
  double ScaledValue(uint8_t aPid, uint32_t aRawValue) const;

  // Every support state unknown, no pending range query, rebuild flag clear.
  void Forget();
  uint8_t PendingRangeQuery() const { return iPendingRangeQuery; }
  int32_t RebuildFlag() const { return iRebuild; }
  void ClearRebuildFlag() { iRebuild = 0; }

 private:
  CObdChannelList() = default;
  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);
  void ConstructL();
  void AddChannelL(TChannelId aId, uint8_t aPid, double aOffset, double aDivisor, int32_t aBytes,
                   int32_t aExtraBytes);
  void ApplySupportBitmap(uint8_t aQuery, uint32_t aBitmap);

  CObdChannel* iByPid[256] = {};
  CPwVector<CObdChannel*> iChannels{8};
  uint8_t iPendingRangeQuery = 0;
  int32_t iRebuild = 0;
};
