// The live picture while a session runs: the latest value and time of every channel with the
// satellite view (CChannelState), the GPS time of day shared between reader threads
// (TGpsClock) and the direction of travel at low speed (CSlowBearing). The parsers feed them;
// the live views read them.
#pragma once

#include <cstdint>
#include <mutex>

#include "acquisition/channel_id.h"
#include "acquisition/geodesy.h"
#include "foundation/pw_base.h"
#include "foundation/pw_time.h"
#include "foundation/pw_vector.h"

// --- CChannelState -------------------------------------------------------------------------

struct TChannelStateItem {
  TChannelId iChannel = 0;
  double iValue = 0.0;              // invalid NaN when cleared
  int32_t iTime = KInvalidInt;      // ms
  int32_t iPreviousTime = KInvalidInt;
};

// One satellite in view; -1 marks a missing signal-to-noise ratio.
struct TSatelliteInView {
  int32_t iNumber = 0;
  int32_t iElevation = 0;
  int32_t iAzimuth = 0;
  int32_t iSnr = -1;
};

class CChannelState : public CPwBase {
 public:
  static constexpr int32_t KMaxSatellites = 12;
  enum : int32_t { ENoFix = 0, EFix = 1, EDifferentialFix = 2 };

  static CChannelState* NewL();
  ~CChannelState() override = default;

  // Updates the channel's value or appends an item (with unknown times).
  void SetValue(TChannelId aChannel, double aValue);
  // Sets the value to the invalid NaN (nothing when the channel has no item).
  void ClearValue(TChannelId aChannel);
  // Records a new time for the channel; the previous time follows the rules of UpdateRate.
  void SetTime(TChannelId aChannel, PwTime aTime);

  // The invalid NaN when there is no item.
  double Value(TChannelId aChannel) const;
  // Unset when there is no item.
  PwTime Time(TChannelId aChannel) const;
  bool Has(TChannelId aChannel) const;
  // Updates per second from the last two times; invalid when either is unknown or the
  // previous one is not before the last.
  double UpdateRate(TChannelId aChannel) const;

  void SetSatellitesUsed(int32_t aCount) { iSatellitesUsed = aCount; }
  int32_t SatellitesUsed() const { return iSatellitesUsed; }
  void SetFixState(int32_t aState) { iFixState = aState; }
  int32_t FixState() const { return iFixState; }
  // Counts above 12 are cut to 12 (and negative ones to 0).
  void SetSatellitesInView(const TSatelliteInView* aTable, int32_t aCount);
  int32_t SatellitesInViewCount() const { return iInViewCount; }
  const TSatelliteInView& SatelliteInView(int32_t aIndex) const;
  void SetUsedSatellites(const int32_t* aNumbers, int32_t aCount);
  int32_t UsedSatelliteCount() const { return iUsedCount; }
  int32_t UsedSatellite(int32_t aIndex) const;

  // Empties the items; satellites used, fix state and the in-view count become 0.
  void Reset();

  int32_t ItemCount() const { return iItems.Count(); }
  const TChannelStateItem& ItemAt(int32_t aIndex) const { return iItems.At(aIndex); }

 private:
  CChannelState() = default;
  TChannelStateItem* Find(TChannelId aChannel);
  const TChannelStateItem* Find(TChannelId aChannel) const;

  CPwVector<TChannelStateItem> iItems{8};
  int32_t iSatellitesUsed = 0;
  int32_t iFixState = ENoFix;
  TSatelliteInView iInView[KMaxSatellites];
  int32_t iInViewCount = 0;
  int32_t iUsed[KMaxSatellites] = {};
  int32_t iUsedCount = 0;
};

// --- TGpsClock -----------------------------------------------------------------------------

// GPS time of day following the millisecond tick counter between fixes. Written by the GPS
// reader thread and read by the OBD and logger readers, so every access takes its own lock.
class TGpsClock {
 public:
  // The tick source in ms; it may wrap at 32 bits. Tests pass their own.
  using TTickFunction = uint32_t (*)();

  TGpsClock();
  explicit TGpsClock(TTickFunction aTick);
  TGpsClock(const TGpsClock&) = delete;
  TGpsClock& operator=(const TGpsClock&) = delete;

  // Not synchronised, offset unknown.
  void Reset();
  // Follows a GPS time of day (ignored when unknown): only forwards, except after a jump back
  // of more than ten minutes.
  void Synchronise(PwTime aGpsTime);
  // Current GPS time of day, unset before the first synchronisation.
  PwTime CurrentTime() const;
  bool IsSynchronised() const;

 private:
  static constexpr int64_t KDay = 86400000;
  static constexpr int64_t KMaxLag = 600000;

  int64_t ElapsedLocked(uint32_t aNow) const { return static_cast<int64_t>(static_cast<uint32_t>(aNow - iBaseTick)); }

  mutable std::mutex iLock;
  TTickFunction iTick;
  uint32_t iBaseTick = 0;
  bool iSynchronised = false;
  int64_t iOffset = KInvalidInt;
};

// --- CSlowBearing --------------------------------------------------------------------------

// Estimates the direction of travel also at walking speed, where the GPS course is noise:
// below 5 m/s the bearing is taken from positions at least 3 s of movement apart.
class CSlowBearing : public CPwBase {
 public:
  enum : int32_t { ENone = 0, EFromGps = 1, EComputed = 2, ESlow = 3 };

  static CSlowBearing* NewL();
  ~CSlowBearing() override = default;

  void Reset();
  // Called for every valid epoch.
  void Update(TPosition aPosition, TSpeed aSpeed, PwTime aTime, TAngle aBearing);
  // 1 and the bearing when an estimate exists, else 0.
  int32_t Bearing(TAngle& aBearing) const;
  int32_t State() const { return iState; }

 private:
  CSlowBearing() = default;

  static constexpr int32_t KSlowInterval = 3000;

  bool iHasPrevious = false;
  TPosition iPreviousPosition;
  int32_t iPreviousTime = KInvalidInt;
  TPosition iAnchorPosition;
  int32_t iAnchorTime = KInvalidInt;
  TAngle iBearing;
  int32_t iState = ENone;
  int32_t iSlowTime = 0;
};
