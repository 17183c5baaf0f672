#include "acquisition/channel_state.h"

#include "platform/clock.h"

// --- CChannelState -------------------------------------------------------------------------

CChannelState* CChannelState::NewL() { return new CChannelState(); }

TChannelStateItem* CChannelState::Find(TChannelId aChannel) {
  for (TChannelStateItem& item : iItems)
    if (item.iChannel == aChannel) return &item;
  return nullptr;
}

const TChannelStateItem* CChannelState::Find(TChannelId aChannel) const {
  for (const TChannelStateItem& item : iItems)
    if (item.iChannel == aChannel) return &item;
  return nullptr;
}

void CChannelState::SetValue(TChannelId aChannel, double aValue) {
  if (TChannelStateItem* item = Find(aChannel)) {
    item->iValue = aValue;
    return;
  }
  TChannelStateItem item;
  item.iChannel = aChannel;
  item.iValue = aValue;
  iItems.Append(item);
}

void CChannelState::ClearValue(TChannelId aChannel) {
  if (TChannelStateItem* item = Find(aChannel)) item->iValue = InvalidReal();
}

void CChannelState::SetTime(TChannelId aChannel, PwTime aTime) {
  const int32_t time = aTime.Milliseconds();
  TChannelStateItem* item = Find(aChannel);
  if (!item) {
    TChannelStateItem fresh;
    fresh.iChannel = aChannel;
    fresh.iValue = InvalidReal();
    fresh.iTime = time;
    iItems.Append(fresh);
    return;
  }
  if (time == item->iTime) return;
  if (time == KInvalidInt || item->iTime == KInvalidInt || item->iTime < time)
    item->iPreviousTime = item->iTime;
  else
    item->iPreviousTime = KInvalidInt;  // time went backwards: no rate until the next update
  item->iTime = time;
}

double CChannelState::Value(TChannelId aChannel) const {
  const TChannelStateItem* item = Find(aChannel);
  return item ? item->iValue : InvalidReal();
}

PwTime CChannelState::Time(TChannelId aChannel) const {
  const TChannelStateItem* item = Find(aChannel);
  return PwTime(item ? item->iTime : KInvalidInt);
}

bool CChannelState::Has(TChannelId aChannel) const { return Find(aChannel) != nullptr; }

double CChannelState::UpdateRate(TChannelId aChannel) const {
  const TChannelStateItem* item = Find(aChannel);
  if (!item || item->iTime == KInvalidInt || item->iPreviousTime == KInvalidInt ||
      !(item->iPreviousTime < item->iTime))
    return InvalidReal();
  const double seconds = (static_cast<double>(item->iTime) - item->iPreviousTime) / 1000.0;
  return 1.0 / seconds;
}

void CChannelState::SetSatellitesInView(const TSatelliteInView* aTable, int32_t aCount) {
  if (aCount > KMaxSatellites) aCount = KMaxSatellites;
  if (aCount < 0 || !aTable) aCount = 0;
  for (int32_t i = 0; i < aCount; ++i) iInView[i] = aTable[i];
  iInViewCount = aCount;
}

const TSatelliteInView& CChannelState::SatelliteInView(int32_t aIndex) const {
  if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iInViewCount)) PanicCore(EPanicVectorIndex);
  return iInView[aIndex];
}

void CChannelState::SetUsedSatellites(const int32_t* aNumbers, int32_t aCount) {
  if (aCount > KMaxSatellites) aCount = KMaxSatellites;
  if (aCount < 0 || !aNumbers) aCount = 0;
  for (int32_t i = 0; i < aCount; ++i) iUsed[i] = aNumbers[i];
  iUsedCount = aCount;
}

int32_t CChannelState::UsedSatellite(int32_t aIndex) const {
  if (static_cast<uint32_t>(aIndex) >= static_cast<uint32_t>(iUsedCount)) PanicCore(EPanicVectorIndex);
  return iUsed[aIndex];
}

void CChannelState::Reset() {
  iItems.Reset();
  iSatellitesUsed = 0;
  iFixState = ENoFix;
  iInViewCount = 0;
}

// --- TGpsClock -----------------------------------------------------------------------------

TGpsClock::TGpsClock() : iTick(&pwplat::ClockTickMs) {}

TGpsClock::TGpsClock(TTickFunction aTick) : iTick(aTick ? aTick : &pwplat::ClockTickMs) {}

void TGpsClock::Reset() {
  std::lock_guard<std::mutex> guard(iLock);
  iSynchronised = false;
  iOffset = KInvalidInt;
}

void TGpsClock::Synchronise(PwTime aTime) {
  if (!aTime.IsSet()) return;
  const int64_t gps = aTime.Milliseconds();
  const uint32_t tick = iTick();
  std::lock_guard<std::mutex> guard(iLock);
  if (iSynchronised && iOffset != KInvalidInt) {
    int64_t now = ElapsedLocked(tick) + iOffset;
    if (gps < now && now >= KDay) {
      // The clock ran past midnight; compare within the day the GPS time belongs to.
      const int64_t days = (now / KDay) * KDay;
      iOffset -= days;
      now -= days;
    }
    if (gps <= now && now <= gps + KMaxLag) return;
  }
  iBaseTick = tick;
  iSynchronised = true;
  iOffset = gps;
}

PwTime TGpsClock::CurrentTime() const {
  const uint32_t tick = iTick();
  std::lock_guard<std::mutex> guard(iLock);
  if (!iSynchronised || iOffset == KInvalidInt) return PwTime::Unset();
  int64_t t = (ElapsedLocked(tick) + iOffset) % KDay;
  if (t < 0) t += KDay;
  return PwTime(static_cast<int32_t>(t));
}

bool TGpsClock::IsSynchronised() const {
  std::lock_guard<std::mutex> guard(iLock);
  return iSynchronised;
}

// --- CSlowBearing --------------------------------------------------------------------------

CSlowBearing* CSlowBearing::NewL() { return new CSlowBearing(); }

void CSlowBearing::Reset() {
  iHasPrevious = false;
  iPreviousPosition = TPosition();
  iPreviousTime = KInvalidInt;
  iAnchorPosition = TPosition();
  iAnchorTime = KInvalidInt;
  iBearing = TAngle(0.0);
  iState = ENone;
  iSlowTime = 0;
}

void CSlowBearing::Update(TPosition aPosition, TSpeed aSpeed, PwTime aTime, TAngle aBearing) {
  const int32_t time = aTime.Milliseconds();
  if (!iHasPrevious) {
    iPreviousPosition = aPosition;
    iPreviousTime = time;
    // The anchor takes the position too, so the first computed bearing starts from a real
    // point rather than from (0, 0).
    iAnchorPosition = aPosition;
    iAnchorTime = time;
    iState = ENone;
    iHasPrevious = true;
    return;
  }
  const double v = aSpeed.MetresPerSecond();
  if (v > 5.0) {
    iAnchorPosition = aPosition;
    iAnchorTime = time;
    iBearing = aBearing;
    iState = EFromGps;
    iSlowTime = 0;
  } else if (v > 0.8) {
    int32_t step = time - iPreviousTime;
    if (step < -43200000) step += 86400000;  // across midnight
    if (step < 0) step = 0;                  // a step back adds no movement time
    iSlowTime += step;
    if (iSlowTime >= KSlowInterval) {
      iBearing = iAnchorPosition.Bearing(aPosition);
      iState = EComputed;
      iAnchorPosition = aPosition;
      iAnchorTime = time;
      iSlowTime = 0;
    }
  } else {
    iState = ESlow;
    iAnchorPosition = aPosition;
    iAnchorTime = time;
    iSlowTime = 0;
  }
  iPreviousPosition = aPosition;
  iPreviousTime = time;
}

int32_t CSlowBearing::Bearing(TAngle& aBearing) const {
  if (iState == ENone) return 0;
  aBearing = iBearing;
  return 1;
}
