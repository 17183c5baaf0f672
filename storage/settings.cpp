#include "storage/settings.h"
#include "storage/settings_extras.h"

#include <cmath>

#include "foundation/drives.h"
#include "foundation/file_stream.h"
#include "foundation/paths.h"
#include "foundation/pw_file.h"

namespace {

// Int16 items of this file are signed (the view selector defaults to -1).
int32_t ReadSigned16(PwFileStream& aStream) { return static_cast<int16_t>(aStream.ReadInt16()); }

// The zoom loops below must end whatever a caller passes in.
bool IsUsableFactor(double aValue) { return std::isfinite(aValue) && aValue > 0; }

}  // namespace

CSettings::CSettings(const CPwDrives& aDrives) { SetDefaults(aDrives.DocumentsPath()); }

CSettings::CSettings(CPwStringC aDefaultRoot) { SetDefaults(aDefaultRoot); }

CSettings::~CSettings() = default;

void CSettings::SetDefaults(CPwStringC aDefaultRoot) {
  iStorageRoot.Copy(aDefaultRoot);
  iCurrentRoot.Copy(aDefaultRoot);
  iGps.iType = 3;
  iGps.iSerialPort = 4;
  iGpsdHost.Copy(KDefaultGpsdHost);
  iGpsdPort = KDefaultGpsdPort;
  iObd.iType = 0;
  iObd.iSerialPort = 5;
  iLogger.iType = 0;
  iLogger.iSerialPort = 6;
  iHighPriority.Add(KChannelObdSpeed);
  iHighPriority.Add(KChannelObdRpm);
  iLowPriority.Add(26);  // coolant temperature
  iLowPriority.Add(29);  // intake temperature
  CChannelList& lap = iGraphChannels[KGraphKindLap];
  lap.Add(KChannelGpsSpeed);
  lap.Add(KChannelObdSpeed);
  CChannelList& run = iGraphChannels[KGraphKindRun];
  run.Add(KChannelGpsSpeed);
  run.Add(KChannelDistanceDirect);
  run.Add(KChannelObdSpeed);
  CChannelList& span = iGraphChannels[KGraphKindSpan];
  span.Add(KChannelGpsSpeed);
  span.Add(KChannelObdSpeed);
  iGraphFlags[KGraphKindLap] = KGraphShowComparison | KGraphScaledComparison | KGraphDistanceAxis;
  iGraphFlags[KGraphKindRun] = KGraphShowComparison | KGraphMapHidden;
  iGraphFlags[KGraphKindSpan] = 0;
}

// --- File -------------------------------------------------------------------------------------

bool CSettings::Load() {
  PwFileStream stream;
  stream.SetAppDataPath(KFileName);
  if (!stream.OpenRead()) return false;
  // Reading stops at the first item that is not there; everything before it counts. A
  // failed read consumes nothing, so bytes left over mean an item that was there but broken.
  iImpossibleValue = false;
  const int32_t code = Trap([&] { ReadFrom(stream); });
  const bool damaged = code != KErrNone && (iImpossibleValue || stream.Remaining() > 0);
  stream.Close();
  if (damaged) KeepDamagedCopy();
  return damaged;
}

void CSettings::KeepDamagedCopy() {
  CPwString folder;
  AppDataFolder(folder);
  if (folder.IsEmpty()) return;
  CPwString from, to;
  from.Copy(folder);
  to.Copy(folder);
  from.Append(KFileName);
  to.Append(KDamagedCopyName);
  CPwFile source;
  source.SetPath(from);
  CPwByteArray bytes;
  const bool read = source.OpenRead() && source.ReadAll(bytes);
  source.Close();
  if (!read) return;
  // Best effort: a medium that takes no copy takes no new settings either.
  CPwFile copy;
  copy.SetPath(to);
  if (Trap([&] { copy.Replace(); }) != KErrNone) return;
  copy.Write(bytes);
  copy.Flush();
  copy.Close();
}

void CSettings::Save() const {
  PwFileStream stream;
  stream.SetAppDataPath(KFileName);
  stream.OpenWrite();
  WriteTo(stream);  // a leave discards the replacement and keeps the previous file
  LeaveIfError(stream.Close());
}

int32_t CSettings::SaveSafely() const {
  return Trap([&] { Save(); });
}

void CSettings::ReadChannels(PwFileStream& aStream, CChannelList& aList) {
  // Read completely before anything changes, so a list cut off by the end of the file
  // keeps its previous content instead of a part of the stored one.
  CChannelList list;
  const int32_t count = aStream.ReadInt32();
  if (count > aStream.Remaining() / 4) {  // cannot all be there
    iImpossibleValue = true;
    Leave(KErrCorrupt);
  }
  for (int32_t i = 0; i < count; ++i) list.Add(aStream.ReadInt32());
  aList.CopyFrom(list);
}

void CSettings::WriteChannels(PwFileStream& aStream, const CChannelList& aList) {
  aStream.WriteInt32(aList.Count());
  for (TChannelId id : aList) aStream.WriteInt32(id);
}

void CSettings::ReadFrom(PwFileStream& aStream) {
  iFlagA = 0;
  aStream.ReadInt16();                                 // 1
  aStream.ReadText(iTextA);                            // 2
  iTimerBacklight = aStream.ReadInt32();               // 3
  iTimerDecimals = aStream.ReadInt32();                // 4
  iGps.iType = aStream.ReadInt32();                    // 5
  iViewSelector = ReadSigned16(aStream);               // 6
  aStream.ReadBtAddr(iGps.iBtAddr);                    // 7
  aStream.ReadBtAddr(iObd.iBtAddr);                    // 8
  aStream.ReadBtAddr(iLogger.iBtAddr);                 // 9
  iSaveNmea = ReadSigned16(aStream);                   // 10
  iHiLoThreshold = aStream.ReadInt32();                // 11
  iObd.iType = aStream.ReadInt32();                    // 12
  iGps.iBaudRate = aStream.ReadInt32();                // 13
  iObd.iBaudRate = aStream.ReadInt32();                // 14
  aStream.ReadInt16();                                 // 15
  ReadChannels(aStream, iHighPriority);                // 16
  ReadChannels(aStream, iLowPriority);                 // 17
  iUnits = ReadSigned16(aStream);                      // 18
  iTimerOrientation = aStream.ReadInt32();             // 19
  iStartupWarning = ReadSigned16(aStream);             // 20
  aStream.ReadUtf8Text(iLastDriver);                   // 21
  aStream.ReadUtf8Text(iLastTrack);                    // 22
  aStream.ReadUtf8Text(iLastTest);                     // 23
  iLastSessionType = aStream.ReadInt32();              // 24
  aStream.ReadUtf8Text(iGpsName);                      // 25
  aStream.ReadUtf8Text(iObdName);                      // 26
  aStream.ReadUtf8Text(iLoggerName);                   // 27
  iBrakingLimit = aStream.ReadInt32();                 // 28
  iAccelerationLimit = aStream.ReadInt32();            // 29
  iLapListOption = ReadSigned16(aStream);              // 30
  iGps.iSerialPort = aStream.ReadInt32();              // 31
  iObd.iSerialPort = aStream.ReadInt32();              // 32
  aStream.ReadUtf8Text(iStorageRoot);                  // 33
  iCurrentRoot.Copy(iStorageRoot);
  aStream.ReadInt32();                                 // 34
  aStream.ReadUtf8Text(iGpsInputFile);                 // 35
  iLogger.iType = aStream.ReadInt32();                 // 36
  iLogger.iBaudRate = aStream.ReadInt32();             // 37
  iLogger.iSerialPort = aStream.ReadInt32();           // 38
  // Later items: each is written only when it or one after it differs from its default, so a
  // file of the defaults stays as earlier builds wrote it. A file that ends early keeps the
  // defaults of the items it lacks.
  iLiveDelta = 1;
  aStream.ReadUtf8Text(iGpsdHost);                     // 39
  iGpsdPort = aStream.ReadInt32();                     // 40
  iLiveDelta = ReadSigned16(aStream) != 0 ? 1 : 0;     // 41
  ReadSettingsExtras(aStream, *this);
}

int32_t CSettings::LaterItemCount() const {
  if (GpsReceiverRate() != 0 || GpsFoundBaudRate() != 0 || !iLiveDelta) return 3;
  if (iGpsdPort != KDefaultGpsdPort) return 2;
  if (!(iGpsdHost == KDefaultGpsdHost)) return 1;
  return 0;
}

void CSettings::WriteTo(PwFileStream& aStream) const {
  aStream.WriteInt16(iFlagA);                          // 1
  aStream.WriteText(iTextA);                           // 2
  aStream.WriteInt32(iTimerBacklight);                 // 3
  aStream.WriteInt32(iTimerDecimals);                  // 4
  aStream.WriteInt32(iGps.iType);                      // 5
  aStream.WriteInt16(iViewSelector);                   // 6
  aStream.WriteBtAddr(iGps.iBtAddr);                   // 7
  aStream.WriteBtAddr(iObd.iBtAddr);                   // 8
  aStream.WriteBtAddr(iLogger.iBtAddr);                // 9
  aStream.WriteInt16(iSaveNmea);                       // 10
  aStream.WriteInt32(iHiLoThreshold);                  // 11
  aStream.WriteInt32(iObd.iType);                      // 12
  aStream.WriteInt32(iGps.iBaudRate);                  // 13
  aStream.WriteInt32(iObd.iBaudRate);                  // 14
  aStream.WriteInt16(0);                               // 15
  WriteChannels(aStream, iHighPriority);               // 16
  WriteChannels(aStream, iLowPriority);                // 17
  aStream.WriteInt16(iUnits);                          // 18
  aStream.WriteInt32(iTimerOrientation);               // 19
  aStream.WriteInt16(iStartupWarning);                 // 20
  aStream.WriteUtf8Text(iLastDriver);                  // 21
  aStream.WriteUtf8Text(iLastTrack);                   // 22
  aStream.WriteUtf8Text(iLastTest);                    // 23
  aStream.WriteInt32(iLastSessionType);                // 24
  aStream.WriteUtf8Text(iGpsName);                     // 25
  aStream.WriteUtf8Text(iObdName);                     // 26
  aStream.WriteUtf8Text(iLoggerName);                  // 27
  aStream.WriteInt32(iBrakingLimit);                   // 28
  aStream.WriteInt32(iAccelerationLimit);              // 29
  aStream.WriteInt16(iLapListOption);                  // 30
  aStream.WriteInt32(iGps.iSerialPort);                // 31
  aStream.WriteInt32(iObd.iSerialPort);                // 32
  aStream.WriteUtf8Text(iStorageRoot);                 // 33
  aStream.WriteInt32(0);                               // 34
  aStream.WriteUtf8Text(iGpsInputFile);                // 35
  aStream.WriteInt32(iLogger.iType);                   // 36
  aStream.WriteInt32(iLogger.iBaudRate);               // 37
  aStream.WriteInt32(iLogger.iSerialPort);             // 38
  const int32_t later = LaterItemCount();
  if (later >= 1) aStream.WriteUtf8Text(iGpsdHost);    // 39
  if (later >= 2) aStream.WriteInt32(iGpsdPort);       // 40
  if (later >= 3) aStream.WriteInt16(iLiveDelta ? 1 : 0);  // 41
  WriteSettingsExtras(aStream, *this);               // then the tagged items
}

// --- Copying ----------------------------------------------------------------------------------

void CSettings::CopyFrom(const CSettings& aOther) {
  if (&aOther == this) return;
  iStorageRoot.Copy(aOther.iStorageRoot);
  iTimerBacklight = aOther.iTimerBacklight;
  iTimerOrientation = aOther.iTimerOrientation;
  iTimerDecimals = aOther.iTimerDecimals;
  iUnits = aOther.iUnits;
  iStartupWarning = aOther.iStartupWarning;
  iGps = aOther.iGps;
  iGpsReceiverRate = aOther.iGpsReceiverRate;
  iGpsFoundBaud = aOther.iGpsFoundBaud;
  iObd = aOther.iObd;
  iLogger = aOther.iLogger;
  iGpsName.Copy(aOther.iGpsName);
  iObdName.Copy(aOther.iObdName);
  iLoggerName.Copy(aOther.iLoggerName);
  iGpsInputFile.Copy(aOther.iGpsInputFile);
  iGpsdHost.Copy(aOther.iGpsdHost);
  iGpsdPort = aOther.iGpsdPort;
  iHighPriority.CopyFrom(aOther.iHighPriority);
  iLowPriority.CopyFrom(aOther.iLowPriority);
  iHiLoThreshold = aOther.iHiLoThreshold;
  iBrakingLimit = aOther.iBrakingLimit;
  iAccelerationLimit = aOther.iAccelerationLimit;
  iLastDriver.Copy(aOther.iLastDriver);
  iLastTrack.Copy(aOther.iLastTrack);
  iLastTest.Copy(aOther.iLastTest);
  iLastSessionType = aOther.iLastSessionType;
  iSaveNmea = aOther.iSaveNmea;
  iLiveDelta = aOther.iLiveDelta;
  iLapListOption = aOther.iLapListOption;
  iViewSelector = aOther.iViewSelector;
  iFlagA = aOther.iFlagA;
  iTextA.Copy(aOther.iTextA);
  iCurrentRoot.Copy(aOther.iCurrentRoot);
  iSessionListMode = aOther.iSessionListMode;
  iLapListMode = aOther.iLapListMode;
  iDifferenceMode = aOther.iDifferenceMode;
  iHideInvalid = aOther.iHideInvalid;
  iFontScale = aOther.iFontScale;
  iMapScale = aOther.iMapScale;
  iGraphWindowFactor = aOther.iGraphWindowFactor;
  iGraphMapFactor = aOther.iGraphMapFactor;
  iGraphScaled = aOther.iGraphScaled;
  iGraphZoomedY = aOther.iGraphZoomedY;
  for (int32_t kind = 0; kind < 4; ++kind) {
    iGraphFlags[kind] = aOther.iGraphFlags[kind];
    iGraphChannels[kind].CopyFrom(aOther.iGraphChannels[kind]);
  }
}

// --- Graph view state -------------------------------------------------------------------------

int32_t CSettings::KindSlot(int32_t aKind) {
  if (aKind < KGraphKindLap || aKind > KGraphKindSpan) PanicCore(EPanicVectorIndex);
  return aKind;
}

int32_t CSettings::GraphFlags(int32_t aKind) const { return iGraphFlags[KindSlot(aKind)]; }

void CSettings::SetGraphFlags(int32_t aKind, int32_t aFlags) { iGraphFlags[KindSlot(aKind)] = aFlags; }

CChannelList& CSettings::GraphChannels(int32_t aKind) { return iGraphChannels[KindSlot(aKind)]; }

const CChannelList& CSettings::GraphChannels(int32_t aKind) const {
  return iGraphChannels[KindSlot(aKind)];
}

double CSettings::WidenGraphWindow(double aX) {
  if (!IsUsableFactor(iGraphWindowFactor)) iGraphWindowFactor = 1.0;
  while (iGraphWindowFactor < 10 && !(iGraphWindowFactor > aX)) iGraphWindowFactor *= 2;
  return iGraphWindowFactor;
}

double CSettings::NarrowGraphWindow(double aX) {
  if (!IsUsableFactor(iGraphWindowFactor)) iGraphWindowFactor = 1.0;
  while (iGraphWindowFactor > 0.0005 && !(iGraphWindowFactor < aX)) iGraphWindowFactor /= 2;
  return iGraphWindowFactor;
}

double CSettings::GraphMapZoomOut(double aX) {
  if (!IsUsableFactor(iGraphMapFactor)) iGraphMapFactor = 1.0;
  // An infinite or non-positive x would double the factor forever.
  if (!IsUsableFactor(aX)) return iGraphMapFactor;
  while (aX * 1.01 >= iGraphMapFactor) {
    const double next = iGraphMapFactor * 2;
    if (!std::isfinite(next)) break;
    iGraphMapFactor = next;
  }
  return iGraphMapFactor;
}

double CSettings::GraphMapZoomIn(double aX) {
  if (!IsUsableFactor(iGraphMapFactor)) iGraphMapFactor = 1.0;
  if (!IsUsableFactor(aX)) return iGraphMapFactor;
  while (aX * 0.99 <= iGraphMapFactor) iGraphMapFactor /= 2;
  return iGraphMapFactor;
}
