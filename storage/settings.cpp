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
  iTexts[ETextStorageRoot].Copy(aDefaultRoot);
  iTexts[ETextCurrentRoot].Copy(aDefaultRoot);
  iTexts[ETextGpsdHost].Copy(KDefaultGpsdHost);
  CChannelList& high = iLists[EListHighPriority];
  high.Add(KChannelObdSpeed);
  high.Add(KChannelObdRpm);
  CChannelList& low = iLists[EListLowPriority];
  low.Add(KChannelObdCoolantTemperature);
  low.Add(KChannelObdIntakeTemperature);
  CChannelList& lap = iLists[EListGraph + KGraphKindLap];
  lap.Add(KChannelGpsSpeed);
  lap.Add(KChannelObdSpeed);
  CChannelList& run = iLists[EListGraph + KGraphKindRun];
  run.Add(KChannelGpsSpeed);
  run.Add(KChannelDistanceDirect);
  run.Add(KChannelObdSpeed);
  CChannelList& span = iLists[EListGraph + KGraphKindSpan];
  span.Add(KChannelGpsSpeed);
  span.Add(KChannelObdSpeed);
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
  iValues.iFlagA = 0;
  aStream.ReadInt16();                                  // 1
  aStream.ReadText(iTexts[ETextA]);                     // 2
  iValues.iTimerBacklight = aStream.ReadInt32();        // 3
  iValues.iTimerDecimals = aStream.ReadInt32();         // 4
  iValues.iGps.iType = aStream.ReadInt32();             // 5
  iValues.iViewSelector = ReadSigned16(aStream);        // 6
  aStream.ReadBtAddr(iValues.iGps.iBtAddr);             // 7
  aStream.ReadBtAddr(iValues.iObd.iBtAddr);             // 8
  aStream.ReadBtAddr(iValues.iLogger.iBtAddr);          // 9
  iValues.iSaveNmea = ReadSigned16(aStream);            // 10
  iValues.iHiLoThreshold = aStream.ReadInt32();         // 11
  iValues.iObd.iType = aStream.ReadInt32();             // 12
  iValues.iGps.iBaudRate = aStream.ReadInt32();         // 13
  iValues.iObd.iBaudRate = aStream.ReadInt32();         // 14
  aStream.ReadInt16();                                  // 15
  ReadChannels(aStream, iLists[EListHighPriority]);     // 16
  ReadChannels(aStream, iLists[EListLowPriority]);      // 17
  iValues.iUnits = ReadSigned16(aStream);               // 18
  iValues.iTimerOrientation = aStream.ReadInt32();      // 19
  iValues.iStartupWarning = ReadSigned16(aStream);      // 20
  aStream.ReadUtf8Text(iTexts[ETextLastDriver]);        // 21
  aStream.ReadUtf8Text(iTexts[ETextLastTrack]);         // 22
  aStream.ReadUtf8Text(iTexts[ETextLastTest]);          // 23
  iValues.iLastSessionType = aStream.ReadInt32();       // 24
  aStream.ReadUtf8Text(iTexts[ETextGpsName]);           // 25
  aStream.ReadUtf8Text(iTexts[ETextObdName]);           // 26
  aStream.ReadUtf8Text(iTexts[ETextLoggerName]);        // 27
  iValues.iBrakingLimit = aStream.ReadInt32();          // 28
  iValues.iAccelerationLimit = aStream.ReadInt32();     // 29
  iValues.iLapListOption = ReadSigned16(aStream);       // 30
  iValues.iGps.iSerialPort = aStream.ReadInt32();       // 31
  iValues.iObd.iSerialPort = aStream.ReadInt32();       // 32
  aStream.ReadUtf8Text(iTexts[ETextStorageRoot]);       // 33
  iTexts[ETextCurrentRoot].Copy(iTexts[ETextStorageRoot]);
  aStream.ReadInt32();                                  // 34
  aStream.ReadUtf8Text(iTexts[ETextGpsInputFile]);      // 35
  iValues.iLogger.iType = aStream.ReadInt32();          // 36
  iValues.iLogger.iBaudRate = aStream.ReadInt32();      // 37
  iValues.iLogger.iSerialPort = aStream.ReadInt32();    // 38
  // Later items: each is written only when it or one after it differs from its default, so a
  // file of the defaults stays as earlier builds wrote it. A file that ends early keeps the
  // defaults of the items it lacks.
  iValues.iLiveDelta = 1;
  aStream.ReadUtf8Text(iTexts[ETextGpsdHost]);          // 39
  iValues.iGpsdPort = aStream.ReadInt32();              // 40
  iValues.iLiveDelta = ReadSigned16(aStream) != 0 ? 1 : 0;  // 41
  ReadSettingsExtras(aStream, *this);
}

int32_t CSettings::LaterItemCount() const {
  if (GpsReceiverRate() != 0 || GpsFoundBaudRate() != 0 || !iValues.iLiveDelta) return 3;
  if (iValues.iGpsdPort != KDefaultGpsdPort) return 2;
  if (!(iTexts[ETextGpsdHost] == KDefaultGpsdHost)) return 1;
  return 0;
}

void CSettings::WriteTo(PwFileStream& aStream) const {
  aStream.WriteInt16(iValues.iFlagA);                   // 1
  aStream.WriteText(iTexts[ETextA]);                    // 2
  aStream.WriteInt32(iValues.iTimerBacklight);          // 3
  aStream.WriteInt32(iValues.iTimerDecimals);           // 4
  aStream.WriteInt32(iValues.iGps.iType);               // 5
  aStream.WriteInt16(iValues.iViewSelector);            // 6
  aStream.WriteBtAddr(iValues.iGps.iBtAddr);            // 7
  aStream.WriteBtAddr(iValues.iObd.iBtAddr);            // 8
  aStream.WriteBtAddr(iValues.iLogger.iBtAddr);         // 9
  aStream.WriteInt16(iValues.iSaveNmea);                // 10
  aStream.WriteInt32(iValues.iHiLoThreshold);           // 11
  aStream.WriteInt32(iValues.iObd.iType);               // 12
  aStream.WriteInt32(iValues.iGps.iBaudRate);           // 13
  aStream.WriteInt32(iValues.iObd.iBaudRate);           // 14
  aStream.WriteInt16(0);                                // 15
  WriteChannels(aStream, iLists[EListHighPriority]);    // 16
  WriteChannels(aStream, iLists[EListLowPriority]);     // 17
  aStream.WriteInt16(iValues.iUnits);                   // 18
  aStream.WriteInt32(iValues.iTimerOrientation);        // 19
  aStream.WriteInt16(iValues.iStartupWarning);          // 20
  aStream.WriteUtf8Text(iTexts[ETextLastDriver]);       // 21
  aStream.WriteUtf8Text(iTexts[ETextLastTrack]);        // 22
  aStream.WriteUtf8Text(iTexts[ETextLastTest]);         // 23
  aStream.WriteInt32(iValues.iLastSessionType);         // 24
  aStream.WriteUtf8Text(iTexts[ETextGpsName]);          // 25
  aStream.WriteUtf8Text(iTexts[ETextObdName]);          // 26
  aStream.WriteUtf8Text(iTexts[ETextLoggerName]);       // 27
  aStream.WriteInt32(iValues.iBrakingLimit);            // 28
  aStream.WriteInt32(iValues.iAccelerationLimit);       // 29
  aStream.WriteInt16(iValues.iLapListOption);           // 30
  aStream.WriteInt32(iValues.iGps.iSerialPort);         // 31
  aStream.WriteInt32(iValues.iObd.iSerialPort);         // 32
  aStream.WriteUtf8Text(iTexts[ETextStorageRoot]);      // 33
  aStream.WriteInt32(0);                                // 34
  aStream.WriteUtf8Text(iTexts[ETextGpsInputFile]);     // 35
  aStream.WriteInt32(iValues.iLogger.iType);            // 36
  aStream.WriteInt32(iValues.iLogger.iBaudRate);        // 37
  aStream.WriteInt32(iValues.iLogger.iSerialPort);      // 38
  const int32_t later = LaterItemCount();
  if (later >= 1) aStream.WriteUtf8Text(iTexts[ETextGpsdHost]);  // 39
  if (later >= 2) aStream.WriteInt32(iValues.iGpsdPort);         // 40
  if (later >= 3) aStream.WriteInt16(iValues.iLiveDelta ? 1 : 0);  // 41
  WriteSettingsExtras(aStream, *this);                  // then the tagged items
}

// --- Copying ----------------------------------------------------------------------------------

void CSettings::CopyFrom(const CSettings& aOther) {
  if (&aOther == this) return;
  iValues = aOther.iValues;
  for (int32_t i = 0; i < ETextCount; ++i) iTexts[i].Copy(aOther.iTexts[i]);
  for (int32_t i = 0; i < EListCount; ++i) iLists[i].CopyFrom(aOther.iLists[i]);
}

// --- Graph view state -------------------------------------------------------------------------

int32_t CSettings::KindSlot(int32_t aKind) {
  if (aKind < KGraphKindLap || aKind > KGraphKindSpan) PanicCore(EPanicVectorIndex);
  return aKind;
}

int32_t CSettings::GraphFlags(int32_t aKind) const { return iValues.iGraphFlags[KindSlot(aKind)]; }

void CSettings::SetGraphFlags(int32_t aKind, int32_t aFlags) { iValues.iGraphFlags[KindSlot(aKind)] = aFlags; }

CChannelList& CSettings::GraphChannels(int32_t aKind) { return iLists[EListGraph + KindSlot(aKind)]; }

const CChannelList& CSettings::GraphChannels(int32_t aKind) const {
  return iLists[EListGraph + KindSlot(aKind)];
}

double CSettings::WidenGraphWindow(double aX) {
  if (!IsUsableFactor(iValues.iGraphWindowFactor)) iValues.iGraphWindowFactor = 1.0;
  while (iValues.iGraphWindowFactor < 10 && !(iValues.iGraphWindowFactor > aX)) iValues.iGraphWindowFactor *= 2;
  return iValues.iGraphWindowFactor;
}

double CSettings::NarrowGraphWindow(double aX) {
  if (!IsUsableFactor(iValues.iGraphWindowFactor)) iValues.iGraphWindowFactor = 1.0;
  while (iValues.iGraphWindowFactor > 0.0005 && !(iValues.iGraphWindowFactor < aX)) iValues.iGraphWindowFactor /= 2;
  return iValues.iGraphWindowFactor;
}

double CSettings::GraphMapZoomOut(double aX) {
  if (!IsUsableFactor(iValues.iGraphMapFactor)) iValues.iGraphMapFactor = 1.0;
  // An infinite or non-positive x would double the factor forever.
  if (!IsUsableFactor(aX)) return iValues.iGraphMapFactor;
  while (aX * 1.01 >= iValues.iGraphMapFactor) {
    const double next = iValues.iGraphMapFactor * 2;
    if (!std::isfinite(next)) break;
    iValues.iGraphMapFactor = next;
  }
  return iValues.iGraphMapFactor;
}

double CSettings::GraphMapZoomIn(double aX) {
  if (!IsUsableFactor(iValues.iGraphMapFactor)) iValues.iGraphMapFactor = 1.0;
  if (!IsUsableFactor(aX)) return iValues.iGraphMapFactor;
  while (aX * 0.99 <= iValues.iGraphMapFactor) iValues.iGraphMapFactor /= 2;
  return iValues.iGraphMapFactor;
}
