#include "exchange/export_formats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "acquisition/channel_state.h"
#include "foundation/pw_time.h"
#include "storage/plot_list.h"
#include "storage/session_info.h"
#include "storage/settings.h"
#include "timing/lap.h"
#include "timing/lap_list.h"
#include "timing/track_profile.h"
#include "timing/trap_line.h"

#ifndef PW_HOME_PAGE_URL
#define PW_HOME_PAGE_URL "https://pacewright.example.org/"
#endif

namespace {

constexpr std::string_view KHomePage(PW_HOME_PAGE_URL);
constexpr double KGravity = 9.80665;
constexpr uint8_t KQuote = '"';

void Put(CPwByteArray& aOut, CPwByteArrayC aBytes) { aOut.Append(aBytes); }
void Crlf(CPwByteArray& aOut) { aOut.Append(CPwByteArrayC("\r\n")); }
void Tabs(CPwByteArray& aOut, int32_t aCount) {
  for (int32_t i = 0; i < aCount; ++i) aOut.AppendByte('\t');
}
// One KML line: indentation, text, LF.
void KmlLine(CPwByteArray& aOut, int32_t aTabs, CPwByteArrayC aText) {
  Tabs(aOut, aTabs);
  aOut.Append(aText);
  aOut.AppendByte('\n');
}

double Degrees(int32_t aCoordinate) { return TCoordinate(aCoordinate).ToDegrees(); }

// Longitude "," latitude in degrees with 7 decimals, the coordinate order of KML.
void AppendLonLat(CPwByteArray& aOut, TGeoPoint aPoint) {
  aOut.AppendReal(aPoint.iLongitude.ToDegrees(), 7);
  aOut.AppendByte(',');
  aOut.AppendReal(aPoint.iLatitude.ToDegrees(), 7);
}

// The session type as the CSV and VBO headers name it.
CPwByteArrayC SessionTypeText(int32_t aType) {
  switch (aType) {
    case ESessionLapTiming:
      return "Lap timing";
    case ESessionPerformance:
      return "Performance testing";
    default:
      return "Data logging";
  }
}

// Unit texts of the quantity classes in CSV column headers (Latin-1).
CPwByteArrayC UnitText(int32_t aKind) { return CPwByteArrayC(std::string_view(QuantityRow(aKind).iExportUnit)); }

// The logger channels that have data (catalogue indices), and the record that belongs to a
// sample. A logger runs at its own rate and phase, so its records seldom share a time with a
// GPS sample: a sample takes the latest record at or before its time that is at most one GPS
// sample interval old.
class TLoggerColumns {
 public:
  void Init(const CDataLoggerPlotList& aList, const CPositionPlotList& aPositions) {
    iList = &aList;
    iCount = 0;
    for (int32_t i = 0; i < KDataLoggerChannelCount; ++i)
      if (aList.Channel(i).HasData()) iIndices[iCount++] = i;
    iMaxAge = SampleInterval(aPositions);
  }
  int32_t Count() const { return iCount; }
  // Channel number of the list (1-12) of column i.
  int32_t ChannelOf(int32_t aColumn) const { return iIndices[aColumn] + 1; }
  // Index of the latest record at or before aTime and no more than one sample interval
  // before it, or -1.
  int32_t RecordAt(PwTime aTime) const {
    if (iCount == 0) return -1;
    const int32_t n = iList->Count();
    int32_t record = -1;
    if (n == 1) {
      record = iList->TimeAt(0) <= aTime ? 0 : -1;
    } else {
      int32_t lower, upper;
      iList->FindByTime(aTime, lower, upper);
      record = lower;
    }
    if (record < 0) return -1;
    const int64_t age = static_cast<int64_t>(aTime.Milliseconds()) - iList->TimeAt(record).Milliseconds();
    return age >= 0 && age <= iMaxAge ? record : -1;
  }
  // Value of column i at record r with 0 decimals and the width; 0 without a value.
  void AppendValue(CPwByteArray& aOut, int32_t aColumn, int32_t aRecord, int32_t aWidth) const {
    double v = 0.0;
    if (!iList->ChannelValue(ChannelOf(aColumn), aRecord, PwTime(0), v) || IsInvalidReal(v)) v = 0.0;
    aOut.AppendReal(v, 0, '.', aWidth);
  }
  void AppendName(CPwByteArray& aOut, int32_t aColumn, bool aQuoted) const {
    CPwString name;
    iList->ChannelName(ChannelOf(aColumn), name);
    if (aQuoted)
      pwexport::AppendLineQuoted(aOut, name);
    else
      pwexport::AppendLine(aOut, name);
  }

 private:
  // The usual time between GPS samples: the median of the first gaps of the position list
  // (0 with fewer than two samples, so that only a record at the very time counts).
  static int32_t SampleInterval(const CPositionPlotList& aPositions) {
    constexpr int32_t KGaps = 64;
    int32_t gaps[KGaps];
    int32_t count = 0;
    for (int32_t i = 1; i < aPositions.Count() && count < KGaps; ++i) {
      const int64_t gap = static_cast<int64_t>(aPositions.TimeAt(i).Milliseconds()) - aPositions.TimeAt(i - 1).Milliseconds();
      if (gap > 0 && gap < INT32_MAX) gaps[count++] = static_cast<int32_t>(gap);
    }
    if (count == 0) return 0;
    std::nth_element(gaps, gaps + count / 2, gaps + count);
    return gaps[count / 2];
  }

  const CDataLoggerPlotList* iList = nullptr;
  int32_t iIndices[KDataLoggerChannelCount] = {};
  int32_t iCount = 0;
  int32_t iMaxAge = 0;  // ms
};

// G forces between two rows, as the position list derives its G channels; 0 where the
// samples give none (no speed, no bearing, no time between them).
void Accelerations(const TPositionPlot& aA, const TPositionPlot& aB, double& aLongitudinal,
                          double& aLateral) {
  aLongitudinal = aLateral = 0.0;
  const TSpeed sa = aA.Speed(), sb = aB.Speed();
  const double dt = (aB.iTime - aA.iTime) / 1000.0;
  if (!sa.IsValid() || !sb.IsValid() || dt <= 0.0) return;
  const double va = sa.MetresPerSecond(), vb = sb.MetresPerSecond();
  aLongitudinal = (vb - va) / dt / KGravity;
  const double ba = aA.BearingDegrees(), bb = aB.BearingDegrees();
  if (IsInvalidReal(ba) || IsInvalidReal(bb)) return;
  const double turn = TAngle::FromDegrees(bb - ba).Normalised().iValue;
  aLateral = (va + vb) / 2.0 * turn / dt / KGravity;
}


// --- KML -------------------------------------------------------------------------------------

class CKmlWriter : public CExportWriter {
 public:
  explicit CKmlWriter(const TExportContext& aContext) : CExportWriter(aContext) {}
  TLapSamples LapSamples() const override { return ELapRange; }

  void Header(CPwByteArray& aOut) override {
    const TExportRequest& r = *iContext.iRequest;
    KmlLine(aOut, 0, "<?xml version=\"1.0\" standalone=\"yes\"?>");
    Tabs(aOut, 1);
    Put(aOut, "<kml creator=\"Pacewright v");
    Put(aOut, KExportVersion);
    aOut.AppendByte(' ');
    Put(aOut, KHomePage);
    Put(aOut, "\" xmlns=\"http://earth.google.com/kml/2.0\">\n");
    KmlLine(aOut, 1, "<Document>");
    Tabs(aOut, 2);
    Put(aOut, "<name><![CDATA[");
    pwexport::AppendCdata(aOut, r.iInfo->Title());
    Put(aOut, " - ");
    Put(aOut, iContext.iScopeText);
    Put(aOut, "]]></name>\n");
    const CTrapLineList* traps = r.iTrack ? r.iTrack->Traps() : nullptr;
    if (r.iScope != EExportRoute && traps) {
      SessionInformation(aOut, *traps);
      TrackFolder(aOut, *traps);
    }
  }

  void RouteBegin(CPwByteArray& aOut) override {
    KmlLine(aOut, 2, "<Folder>");
    KmlLine(aOut, 3, "<name>Traveled route</name>");
    PlacemarkOpening(aOut);
  }
  void RouteEnd(CPwByteArray& aOut) override { PlacemarkClosing(aOut, "FF990000"); }

  void LapBegin(CPwByteArray& aOut, int32_t aIndex, const CLap& aLap) override {
    KmlLine(aOut, 2, "<Folder>");
    Tabs(aOut, 3);
    Put(aOut, "<name>");
    AppendLapName(aOut, aIndex);
    Put(aOut, ": ");
    AppendTime(aOut, aLap.LapTime());
    Put(aOut, "</name>\n");
    PlacemarkOpening(aOut);
  }
  void LapEnd(CPwByteArray& aOut) override { PlacemarkClosing(aOut, "FF000099"); }

  void Row(CPwByteArray& aOut, const TPositionPlot& aPlot, int32_t, const CTrapLine*) override {
    aOut.AppendReal(Degrees(aPlot.iLongitude), 7);
    aOut.AppendByte(',');
    aOut.AppendReal(Degrees(aPlot.iLatitude), 7);
    aOut.AppendByte('\n');
  }

  void Trailer(CPwByteArray& aOut) override {
    const CSessionInfo& info = *iContext.iRequest->iInfo;
    Tabs(aOut, 1);
    Put(aOut, "<Snippet><![CDATA[");
    Put(aOut, iContext.iDateText);
    aOut.AppendByte(' ');
    Put(aOut, iContext.iTimeText);
    if (!info.Notes().IsEmpty()) {
      Put(aOut, " - ");
      pwexport::AppendCdata(aOut, info.Notes());
    }
    Put(aOut, "<BR>Generated by <A href=\"");
    Put(aOut, KHomePage);
    Put(aOut, "\">Pacewright v");
    Put(aOut, KExportVersion);
    Put(aOut, "</A>]]></Snippet>\n");
    KmlLine(aOut, 1, "<open>1</open>");
    KmlLine(aOut, 1, "<visibility>1</visibility>");
    KmlLine(aOut, 1, "</Document>");
    KmlLine(aOut, 0, "</kml>");
  }

 private:
  int32_t TimeDecimals() const {
    const CSettings* s = iContext.iRequest->iSettings;
    return s ? s->TimerDecimals() : 1;
  }
  bool Imperial() const {
    const CSettings* s = iContext.iRequest->iSettings;
    return s && s->Units() == 1;
  }
  void AppendTime(CPwByteArray& aOut, PwTime aTime) {
    if (!aTime.IsSet()) {
      Put(aOut, "N/A");
      return;
    }
    CPwString text;
    aTime.FormatDuration(text, TimeDecimals(), false, true);
    aOut.AppendUtf8(text);
  }
  static void AppendLapName(CPwByteArray& aOut, int32_t aIndex) {
    if (aIndex == CLapList::KOptimalLap) {
      Put(aOut, "Optimal lap");
    } else {
      Put(aOut, "Lap #");
      aOut.AppendNum(aIndex + 1);
    }
  }

  void PlacemarkOpening(CPwByteArray& aOut) {
    KmlLine(aOut, 3, "<Placemark>");
    KmlLine(aOut, 4, "<LineString>");
    KmlLine(aOut, 5, "<altitudeMode>clampedToGround</altitudeMode>");
    KmlLine(aOut, 5, "<coordinates>");
  }
  void PlacemarkClosing(CPwByteArray& aOut, CPwByteArrayC aColour) {
    KmlLine(aOut, 5, "</coordinates>");
    KmlLine(aOut, 4, "</LineString>");
    Tabs(aOut, 4);
    Put(aOut, "<Style><LineStyle><color>");
    Put(aOut, aColour);
    Put(aOut, "</color><width>2</width></LineStyle></Style>\n");
    KmlLine(aOut, 3, "</Placemark>");
    KmlLine(aOut, 3, "<open>0</open>");
    KmlLine(aOut, 3, "<visibility>1</visibility>");
    KmlLine(aOut, 2, "</Folder>");
  }

  // The lap's time and speed at a trap: the split time at a split line, the full lap time at
  // any other trap the lap crossed. False when the lap did not cross it.
  static bool TimeAtTrap(const CLap& aLap, int32_t aKey, int32_t aType, PwTime& aTime, TSpeed& aSpeed) {
    if (aType == ETrapSplit) {
      if (!aLap.FindCrossing(aKey)) return false;
      aTime = aLap.SplitTime(aKey);
      aSpeed = aLap.TrapSpeed(aKey);
      return true;
    }
    const TLapSector* finish = aLap.Finish();
    if (finish && finish->iKey == aKey) {
      aTime = aLap.LapTime();
      aSpeed = aLap.TrapSpeed(aKey);
      return true;
    }
    const TLapSector* start = aLap.Start();
    if (start && start->iKey == aKey) {
      aTime = aLap.LapTime();
      aSpeed = aLap.TrapSpeed(-1);
      return true;
    }
    return false;
  }

  void LapTable(CPwByteArray& aOut, int32_t aKey, int32_t aType) {
    Put(aOut, "<table border=1><tr align=right><td><b>Lap</b></td>");
    Put(aOut, aType == ETrapSplit ? CPwByteArrayC("<td align=right><b>Split time</b></td>")
                                  : CPwByteArrayC("<td align=right><b>Full time</b></td>"));
    Put(aOut, "<td align=right><b>Trap speed</b></td>");
    const bool imperial = Imperial();
    const CPwByteArrayC unit = imperial ? CPwByteArrayC("mph") : CPwByteArrayC("kph");
    CLapList* laps = iContext.iRequest->iLaps;
    for (int32_t index : *iContext.iLaps) {
      const CLap* lap = laps ? laps->Lap(index) : nullptr;
      Put(aOut, "<tr><td align=right><b>");
      if (index == CLapList::KOptimalLap)
        Put(aOut, "Opt.");
      else
        aOut.AppendNum(index + 1);
      Put(aOut, "</b></td><td align=right>");
      PwTime time;
      TSpeed speed;
      const bool crossed = lap && TimeAtTrap(*lap, aKey, aType, time, speed);
      if (crossed)
        AppendTime(aOut, time);
      else
        Put(aOut, "N/A");
      Put(aOut, "</td><td align=right>");
      if (crossed && speed.IsValid())
        aOut.AppendReal(speed.MetresPerSecond() * QuantityFactor(EQuantitySpeed, imperial), QuantityDecimals(EQuantitySpeed));
      else
        Put(aOut, "N/A");
      aOut.AppendByte(' ');
      Put(aOut, unit);
      Put(aOut, "</td></tr>");
    }
    Put(aOut, "</table>");
  }

  void SessionInformation(CPwByteArray& aOut, const CTrapLineList& aTraps) {
    const CSessionInfo& info = *iContext.iRequest->iInfo;
    KmlLine(aOut, 2, "<Folder>");
    KmlLine(aOut, 3, "<name>Session information</name>");
    for (int32_t key = 0; key < aTraps.Count(); ++key) {
      const CTrapLine& trap = *aTraps.At(key);
      KmlLine(aOut, 3, "<Placemark>");
      Tabs(aOut, 4);
      Put(aOut, "<name><![CDATA[");
      pwexport::AppendCdata(aOut, trap.Name());
      Put(aOut, "]]></name>\n");
      KmlLine(aOut, 4, "<Snippet></Snippet>");
      Tabs(aOut, 4);
      Put(aOut, "<description><![CDATA[<table border=0>");
      Put(aOut, "<tr><td align=right><b>Track</b></td><td>");
      pwexport::AppendCdata(aOut, iContext.iRequest->iTrack->Name());
      Put(aOut, "</td></tr>");
      if (!info.Driver().IsEmpty()) {
        Put(aOut, "<tr><td align=right><b>Driver</b></td><td>");
        pwexport::AppendCdata(aOut, info.Driver());
        Put(aOut, "</td></tr>");
      }
      Put(aOut, "<tr><td align=right><b>Created on</b></td><td>");
      Put(aOut, iContext.iDateText);
      aOut.AppendByte(' ');
      Put(aOut, iContext.iTimeText);
      Put(aOut, "</td></tr>");
      if (!info.Notes().IsEmpty()) {
        Put(aOut, "<tr><td align=right><b>Session notes</b></td><td>");
        pwexport::AppendCdata(aOut, info.Notes());
        Put(aOut, "</td></tr>");
      }
      Put(aOut, "</table>");
      if (trap.Type() >= ETrapStart && trap.Type() <= ETrapStandingStart) LapTable(aOut, key, trap.Type());
      Put(aOut, "]]></description>\n");
      KmlLine(aOut, 4, "<MultiGeometry>");
      KmlLine(aOut, 5, "<Point>");
      KmlLine(aOut, 6, "<coordinates>");
      Tabs(aOut, 7);
      AppendLonLat(aOut, trap.Centre());
      aOut.AppendByte('\n');
      KmlLine(aOut, 6, "</coordinates>");
      KmlLine(aOut, 5, "</Point>");
      KmlLine(aOut, 4, "</MultiGeometry>");
      KmlLine(aOut, 3, "</Placemark>");
    }
    KmlLine(aOut, 2, "</Folder>");
  }

  void TrackFolder(CPwByteArray& aOut, const CTrapLineList& aTraps) {
    KmlLine(aOut, 2, "<Folder>");
    Tabs(aOut, 3);
    Put(aOut, "<name><![CDATA[");
    pwexport::AppendCdata(aOut, iContext.iRequest->iTrack->Name());
    Put(aOut, "]]></name>\n");
    for (int32_t key = 0; key < aTraps.Count(); ++key) {
      const CTrapLine& trap = *aTraps.At(key);
      if (trap.Type() == ETrapDisabled) continue;
      KmlLine(aOut, 3, "<Placemark>");
      KmlLine(aOut, 4, "<MultiGeometry>");
      KmlLine(aOut, 5, "<LineString>");
      KmlLine(aOut, 6, "<tessellate>1</tessellate>");
      KmlLine(aOut, 6, "<coordinates>");
      Tabs(aOut, 7);
      AppendLonLat(aOut, trap.EndPoint1Geo());
      aOut.AppendByte('\n');
      Tabs(aOut, 7);
      AppendLonLat(aOut, trap.EndPoint2Geo());
      aOut.AppendByte('\n');
      KmlLine(aOut, 6, "</coordinates>");
      KmlLine(aOut, 5, "</LineString>");
      KmlLine(aOut, 4, "</MultiGeometry>");
      Tabs(aOut, 4);
      Put(aOut, "<Style><LineStyle><color>");
      Put(aOut, trap.Type() == ETrapSplit ? CPwByteArrayC("FFCC0000") : CPwByteArrayC("FF0000CC"));
      Put(aOut, "</color><width>3</width></LineStyle></Style>\n");
      KmlLine(aOut, 3, "</Placemark>");
    }
    KmlLine(aOut, 2, "</Folder>");
  }
};

// --- CSV -------------------------------------------------------------------------------------

class CCsvWriter : public CExportWriter {
 public:
  explicit CCsvWriter(const TExportContext& aContext) : CExportWriter(aContext) {
    iF = aContext.iFieldSeparator;
    iD = aContext.iDecimalSeparator;
    const CPlotList& plots = *aContext.iRequest->iPlots;
    iLogger.Init(plots.LoggerList(), plots.PositionList());
    const CObdPlotList& obd = plots.ObdList();
    iRpm = obd.FindListById(KChannelObdRpm);
    iThrottle = obd.FindListById(KChannelObdRpm + 1);
  }
  TLapSamples LapSamples() const override { return ELapCrossings; }
  bool WritesSplitRows() const override { return true; }

  void Header(CPwByteArray& aOut) override {
    const CSessionInfo& info = *iContext.iRequest->iInfo;
    Put(aOut, "This file is created using Pacewright v");
    Put(aOut, KExportVersion);
    Put(aOut, " ( ");
    Put(aOut, KHomePage);
    Put(aOut, " ).");
    Crlf(aOut);
    Crlf(aOut);
    KeyRow(aOut, "Session title");
    pwexport::AppendLineQuoted(aOut, info.Title());
    Crlf(aOut);
    KeyRow(aOut, "Session type");
    Put(aOut, SessionTypeText(info.SessionType()));
    Crlf(aOut);
    if (info.SessionType() == ESessionLapTiming) {
      KeyRow(aOut, "Track name");
      pwexport::AppendLine(aOut, info.TrackName());
    } else if (info.SessionType() == ESessionPerformance) {
      KeyRow(aOut, "Test name");
      pwexport::AppendLine(aOut, info.TestName());
    } else {
      aOut.AppendByte(iF);
    }
    Crlf(aOut);
    KeyRow(aOut, "Driver name");
    pwexport::AppendLineQuoted(aOut, info.Driver());
    Crlf(aOut);
    KeyRow(aOut, "Export scope");
    Put(aOut, iContext.iScopeText);
    Crlf(aOut);
    KeyRow(aOut, "Created");
    Put(aOut, iContext.iDateText);
    aOut.AppendByte(iF);
    Put(aOut, iContext.iTimeText);
    Crlf(aOut);
    KeyRow(aOut, "Note");
    pwexport::AppendLineQuoted(aOut, info.Notes());
    Crlf(aOut);
    Crlf(aOut);

    static constexpr const char* KColumns[] = {
        "Lap #", "Timestamp (s)", "Distance (m)", "Distance (km)", "Locked satellites",
        "Latitude (deg)", "Longitude (deg)", "Speed (m/s)", "Speed (kph)", "Speed (mph)",
        "Altitude (m)", "Bearing (deg)", "Longitudinal Acceleration (G)",
        "Lateral Acceleration (G)", "X-position (m)", "Y-position (m)", "RPM (rpm)",
        "Throttle Position (%)", "Trap name"};
    bool first = true;
    for (const char* column : KColumns) {
      if (!first) aOut.AppendByte(iF);
      first = false;
      Put(aOut, std::string_view(column));
    }
    const CObdPlotList& obd = iContext.iRequest->iPlots->ObdList();
    iObdCount = 0;
    for (int32_t i = 0; i < obd.ListCount(); ++i) {
      const CObdChannelPlotList& list = obd.ListAt(i);
      const TChannelId id = list.Channel().Id();
      if (id == KChannelObdRpm || id == KChannelObdRpm + 1 || iObdCount == KMaxObdColumns) continue;
      iObd[iObdCount++] = &list;
      aOut.AppendByte(iF);
      pwexport::AppendLineQuoted(aOut, list.Channel().Name());
      Put(aOut, " (");
      Put(aOut, UnitText(ChannelQuantityClass(id)));
      Put(aOut, ")");
    }
    for (int32_t c = 0; c < iLogger.Count(); ++c) {
      aOut.AppendByte(iF);
      iLogger.AppendName(aOut, c, false);
    }
    Crlf(aOut);
  }

  void Row(CPwByteArray& aOut, const TPositionPlot& aPlot, int32_t aLapNumber,
           const CTrapLine* aTrap) override {
    if (aLapNumber > 0)
      aOut.AppendNum(aLapNumber);
    else
      Put(aOut, "N/A");
    Field(aOut);
    aOut.AppendReal(aPlot.iTime / 1000.0, 3, iD);
    Field(aOut);
    const double metres = aPlot.Distance().Metres();
    aOut.AppendReal(metres, 3, iD);
    Field(aOut);
    aOut.AppendReal(metres / 1000.0, 6, iD);
    Field(aOut);
    aOut.AppendNum(aPlot.Satellites());
    Field(aOut);
    aOut.AppendReal(Degrees(aPlot.iLatitude), 7, iD);
    Field(aOut);
    aOut.AppendReal(Degrees(aPlot.iLongitude), 7, iD);
    const TSpeed speed = aPlot.Speed();
    Field(aOut);
    if (speed.IsValid()) aOut.AppendReal(speed.MetresPerSecond(), 2, iD);
    Field(aOut);
    if (speed.IsValid()) aOut.AppendReal(speed.Kmh(), 2, iD);
    Field(aOut);
    if (speed.IsValid()) aOut.AppendReal(speed.Mph(), 2, iD);
    Field(aOut);
    const TDistance altitude = aPlot.Altitude();
    if (altitude.IsValid()) aOut.AppendReal(altitude.Metres(), 2, iD);
    Field(aOut);
    if (aPlot.iBearing != TPositionPlot::KInvalidWord) aOut.AppendReal(aPlot.BearingDegrees(), 2, iD);

    double longitudinal = 0.0, lateral = 0.0;
    const TPosition here = aPlot.Position();
    if (iHasPrevious) {
      Accelerations(iPrevious, aPlot, longitudinal, lateral);
    } else {
      iReference = here;
    }
    Field(aOut);
    aOut.AppendReal(longitudinal, 2, iD);
    Field(aOut);
    aOut.AppendReal(lateral, 2, iD);
    // East and north positive, from the first row's position.
    Field(aOut);
    aOut.AppendReal(-iReference.EastComponent(here).Metres(), 2, iD);
    Field(aOut);
    aOut.AppendReal(-iReference.NorthComponent(here).Metres(), 2, iD);

    const PwTime time(aPlot.iTime);
    Field(aOut);
    AppendObd(aOut, iRpm, time);
    Field(aOut);
    AppendObd(aOut, iThrottle, time);
    Field(aOut);
    if (aTrap) pwexport::AppendLine(aOut, aTrap->Name());
    for (int32_t i = 0; i < iObdCount; ++i) {
      Field(aOut);
      AppendObd(aOut, iObd[i], time);
    }
    const int32_t record = iLogger.RecordAt(time);
    if (record >= 0) {
      for (int32_t c = 0; c < iLogger.Count(); ++c) {
        Field(aOut);
        iLogger.AppendValue(aOut, c, record, 0);
      }
    }
    Crlf(aOut);
    iPrevious = aPlot;
    iHasPrevious = true;
  }

  void Trailer(CPwByteArray&) override {}

 private:
  static constexpr int32_t KMaxObdColumns = 64;

  void Field(CPwByteArray& aOut) const { aOut.AppendByte(iF); }
  void KeyRow(CPwByteArray& aOut, CPwByteArrayC aKey) const {
    Put(aOut, aKey);
    aOut.AppendByte(iF);
  }
  void AppendObd(CPwByteArray& aOut, const CObdChannelPlotList* aList, PwTime aTime) const {
    double v = aList ? aList->ValueAtTime(aTime) : 0.0;
    if (IsInvalidReal(v)) v = 0.0;
    aOut.AppendReal(v, 2, iD);
  }
  uint8_t iF = ',';
  uint8_t iD = '.';
  TLoggerColumns iLogger;
  const CObdChannelPlotList* iRpm = nullptr;
  const CObdChannelPlotList* iThrottle = nullptr;
  const CObdChannelPlotList* iObd[KMaxObdColumns] = {};
  int32_t iObdCount = 0;
  TPosition iReference;
  TPositionPlot iPrevious;
  bool iHasPrevious = false;
};

// --- VBO -------------------------------------------------------------------------------------

class CVboWriter : public CExportWriter {
 public:
  // aLapGates adds the track's lines as a "[laptiming]" section.
  CVboWriter(const TExportContext& aContext, bool aLapGates) : CExportWriter(aContext), iLapGates(aLapGates) {
    iLogger.Init(aContext.iRequest->iPlots->LoggerList(), aContext.iRequest->iPlots->PositionList());
  }
  TLapSamples LapSamples() const override { return ELapMargins; }

  void Header(CPwByteArray& aOut) override {
    const CSessionInfo& info = *iContext.iRequest->iInfo;
    Put(aOut, "File created on ");
    Put(aOut, iContext.iDateText);
    Put(aOut, " @ ");
    Put(aOut, iContext.iTimeText);
    Crlf(aOut);
    Crlf(aOut);
    Put(aOut, "[header]\r\nsatellites\r\ntime\r\nlatitude\r\nlongitude\r\nvelocity kmh\r\nheading\r\nheight\r\n");
    for (int32_t c = 0; c < iLogger.Count(); ++c) {
      iLogger.AppendName(aOut, c, true);
      Crlf(aOut);
    }
    Crlf(aOut);
    Put(aOut, "[comments]\r\nSession note: ");
    pwexport::AppendLine(aOut, info.Notes());
    Put(aOut, "\r\nGenerator: Pacewright v");
    Put(aOut, KExportVersion);
    aOut.AppendByte(' ');
    Put(aOut, KHomePage);
    Put(aOut, "\r\nTitle: ");
    pwexport::AppendLineQuoted(aOut, info.Title());
    Put(aOut, "\r\nSession type: ");
    Put(aOut, SessionTypeText(info.SessionType()));
    Crlf(aOut);
    if (info.SessionType() == ESessionLapTiming) {
      Put(aOut, "Track name: ");
      pwexport::AppendLine(aOut, info.TrackName());
      Crlf(aOut);
    } else if (info.SessionType() == ESessionPerformance) {
      Put(aOut, "Test name: ");
      pwexport::AppendLine(aOut, info.TestName());
      Crlf(aOut);
    }
    Put(aOut, "Driver name: ");
    pwexport::AppendLineQuoted(aOut, info.Driver());
    Put(aOut, "\r\nScope: ");
    Put(aOut, iContext.iScopeText);
    Put(aOut, "\r\n\r\n");
    if (iLapGates) LapTiming(aOut);
    Put(aOut, "[data]\r\n");
  }

  void Row(CPwByteArray& aOut, const TPositionPlot& aPlot, int32_t, const CTrapLine*) override {
    aOut.AppendNum(aPlot.Satellites(), 3);
    aOut.AppendByte(' ');
    PwTime(aPlot.iTime).AppendNmeaTime(aOut, 2);
    aOut.AppendByte(' ');
    aOut.AppendReal(aPlot.iLatitude / 100000.0, 5, '.', 11, true);
    aOut.AppendByte(' ');
    // West positive.
    aOut.AppendReal(-(aPlot.iLongitude / 100000.0), 5, '.', 11, true);
    aOut.AppendByte(' ');
    const TSpeed speed = aPlot.Speed();
    if (speed.IsValid())
      aOut.AppendReal(speed.Kmh(), 2, '.', 6);
    else
      Put(aOut, "000.00");
    aOut.AppendByte(' ');
    if (aPlot.iBearing != TPositionPlot::KInvalidWord)
      aOut.AppendReal(aPlot.BearingDegrees(), 2, '.', 6);
    else
      Put(aOut, "000.00");
    aOut.AppendByte(' ');
    const TDistance altitude = aPlot.Altitude();
    if (altitude.IsValid())
      aOut.AppendReal(altitude.Metres(), 2, '.', 7, true);
    else
      Put(aOut, "0000.00");
    const int32_t record = iLogger.RecordAt(PwTime(aPlot.iTime));
    if (record >= 0) {
      for (int32_t c = 0; c < iLogger.Count(); ++c) {
        aOut.AppendByte(' ');
        iLogger.AppendValue(aOut, c, record, 6);
      }
    }
    Crlf(aOut);
  }

  void Trailer(CPwByteArray&) override {}

 private:
  // One gate a line: "Start", "Finish" or "Split", the two ends of the line as longitude
  // (west positive) and latitude in minutes of arc, then the trap's name after "\xC2\xAC".
  // Standing-start areas are no lines and stay out.
  void LapTiming(CPwByteArray& aOut) const {
    const CTrackProfile* track = iContext.iRequest->iTrack;
    const CTrapLineList* traps = track ? track->Traps() : nullptr;
    Put(aOut, "[laptiming]\r\n");
    for (int32_t i = 0; traps && i < traps->Count(); ++i) {
      const CTrapLine& trap = *traps->At(i);
      switch (trap.Type()) {
        case ETrapStart:
        case ETrapStartFinish:
          Put(aOut, "Start");
          break;
        case ETrapFinish:
          Put(aOut, "Finish");
          break;
        case ETrapSplit:
          Put(aOut, "Split");
          break;
        default:
          continue;
      }
      for (const TGeoPoint& end : {trap.EndPoint1Geo(), trap.EndPoint2Geo()}) {
        aOut.AppendByte(' ');
        aOut.AppendReal(-(end.iLongitude.iValue / 100000.0), 6, '.', 0, true);
        aOut.AppendByte(' ');
        aOut.AppendReal(end.iLatitude.iValue / 100000.0, 6, '.', 0, true);
      }
      Put(aOut, " \xC2\xAC ");
      pwexport::AppendLine(aOut, trap.Name());
      Crlf(aOut);
    }
    Crlf(aOut);
  }

  bool iLapGates = false;
  TLoggerColumns iLogger;
};

// --- Overlay CSV -----------------------------------------------------------------------------

// The columns video-overlay tools read from a data file: "Time" (seconds) first, the lap
// number, the position, "GPS_Update" (1: every row is a GPS sample), speed, heading, the G
// forces "X" (longitudinal) and "Y" (lateral), "RPM" and "Throttle", then the other OBD-II
// channels and the logger channels under their own names. One row per stored sample; a value
// the session does not have is an empty field, so every row has every column.
class COverlayCsvWriter : public CExportWriter {
 public:
  explicit COverlayCsvWriter(const TExportContext& aContext) : CExportWriter(aContext) {
    const CPlotList& plots = *aContext.iRequest->iPlots;
    iLogger.Init(plots.LoggerList(), plots.PositionList());
    const CObdPlotList& obd = plots.ObdList();
    iRpm = obd.FindListById(KChannelObdRpm);
    iThrottle = obd.FindListById(KChannelObdRpm + 1);
    for (int32_t i = 0; i < obd.ListCount() && iObdCount < KMaxObdColumns; ++i) {
      const TChannelId id = obd.ListAt(i).Channel().Id();
      if (id != KChannelObdRpm && id != KChannelObdRpm + 1) iObd[iObdCount++] = &obd.ListAt(i);
    }
  }
  TLapSamples LapSamples() const override { return ELapRange; }

  void Header(CPwByteArray& aOut) override {
    Put(aOut, "Time,Lap,Latitude,Longitude,Altitude,GPS_Update,Speed (m/s),Heading,X,Y,RPM,Throttle");
    for (int32_t i = 0; i < iObdCount; ++i) {
      aOut.AppendByte(',');
      AppendName(aOut, iObd[i]->Channel().Name());
      Put(aOut, " (");
      Put(aOut, UnitText(ChannelQuantityClass(iObd[i]->Channel().Id())));
      Put(aOut, ")");
    }
    for (int32_t c = 0; c < iLogger.Count(); ++c) {
      aOut.AppendByte(',');
      CPwString name;
      iContext.iRequest->iPlots->LoggerList().ChannelName(iLogger.ChannelOf(c), name);
      AppendName(aOut, name);
    }
    Crlf(aOut);
  }

  void Row(CPwByteArray& aOut, const TPositionPlot& aPlot, int32_t aLapNumber, const CTrapLine*) override {
    const PwTime time(aPlot.iTime);
    aOut.AppendReal(aPlot.iTime / 1000.0, 3);
    aOut.AppendByte(',');
    aOut.AppendNum(aLapNumber > 0 ? aLapNumber : LapAt(aPlot.iTime));
    aOut.AppendByte(',');
    aOut.AppendReal(Degrees(aPlot.iLatitude), 7);
    aOut.AppendByte(',');
    aOut.AppendReal(Degrees(aPlot.iLongitude), 7);
    aOut.AppendByte(',');
    if (aPlot.Altitude().IsValid()) aOut.AppendReal(aPlot.Altitude().Metres(), 2);
    Put(aOut, ",1,");
    if (aPlot.Speed().IsValid()) aOut.AppendReal(aPlot.Speed().MetresPerSecond(), 2);
    aOut.AppendByte(',');
    if (aPlot.iBearing != TPositionPlot::KInvalidWord) aOut.AppendReal(aPlot.BearingDegrees(), 2);
    aOut.AppendByte(',');
    if (iHasPrevious) {
      double longitudinal = 0.0, lateral = 0.0;
      Accelerations(iPrevious, aPlot, longitudinal, lateral);
      aOut.AppendReal(longitudinal, 2);
      aOut.AppendByte(',');
      aOut.AppendReal(lateral, 2);
    } else {
      aOut.AppendByte(',');
    }
    aOut.AppendByte(',');
    AppendObd(aOut, iRpm, time);
    aOut.AppendByte(',');
    AppendObd(aOut, iThrottle, time);
    for (int32_t i = 0; i < iObdCount; ++i) {
      aOut.AppendByte(',');
      AppendObd(aOut, iObd[i], time);
    }
    const int32_t record = iLogger.RecordAt(time);
    for (int32_t c = 0; c < iLogger.Count(); ++c) {
      aOut.AppendByte(',');
      if (record >= 0) iLogger.AppendValue(aOut, c, record, 0);
    }
    Crlf(aOut);
    iPrevious = aPlot;
    iHasPrevious = true;
  }

  void Trailer(CPwByteArray&) override {}

 private:
  static constexpr int32_t KMaxObdColumns = 64;

  // A name as a CSV field: quoted when it holds a comma or a quote.
  static void AppendName(CPwByteArray& aOut, CPwStringC aName) {
    bool quote = false;
    for (int32_t i = 0; i < aName.Length(); ++i) quote = quote || aName.Ptr()[i] == u',' || aName.Ptr()[i] == u'"';
    if (quote) aOut.AppendByte('"');
    if (quote)
      pwexport::AppendLineQuoted(aOut, aName);
    else
      pwexport::AppendLine(aOut, aName);
    if (quote) aOut.AppendByte('"');
  }
  // The value at the time, empty when the list has none there.
  static void AppendObd(CPwByteArray& aOut, const CObdChannelPlotList* aList, PwTime aTime) {
    const double v = aList ? aList->ValueAtTime(aTime) : InvalidReal();
    if (IsValidReal(v)) aOut.AppendReal(v, 2);
  }
  // The lap a route sample lies in (from its start crossing to its last one), 0 outside
  // every lap. Rows come in time order, so the search goes on from the last lap found.
  int32_t LapAt(int32_t aTime) {
    const CLapList* laps = iContext.iRequest->iLaps;
    if (!laps) return 0;
    for (; iLapCursor < laps->LapCount(); ++iLapCursor) {
      const CLap* lap = laps->Lap(iLapCursor);
      if (!lap || !lap->Start()) continue;
      const TLapSector* last = lap->LastCrossing();
      if (aTime < lap->Start()->iSample.iTime) return 0;
      if (!lap->IsFinished() || (last && aTime < last->iSample.iTime)) return iLapCursor + 1;
    }
    return 0;
  }

  TLoggerColumns iLogger;
  const CObdChannelPlotList* iRpm = nullptr;
  const CObdChannelPlotList* iThrottle = nullptr;
  const CObdChannelPlotList* iObd[KMaxObdColumns] = {};
  int32_t iObdCount = 0;
  TPositionPlot iPrevious;
  bool iHasPrevious = false;
  int32_t iLapCursor = 0;
};

// --- DAT -------------------------------------------------------------------------------------

class CDatWriter : public CExportWriter {
 public:
  explicit CDatWriter(const TExportContext& aContext) : CExportWriter(aContext) {}
  TLapSamples LapSamples() const override { return ELapMargins; }

  void Header(CPwByteArray& aOut) override {
    Put(aOut, "$IMPOS,1000,5,4,4,1,1,17,0,0,\r\n$NEW SESSION\r\n$DATE,");
    const PwTime date(iContext.iDateCode);
    if (date.IsSet()) {
      aOut.AppendNum(date.Day(), 2);
      aOut.AppendNum(date.Month(), 2);
      aOut.AppendNum((date.Year() % 100 + 100) % 100, 2);
    } else {
      Put(aOut, "000000");
    }
    Put(aOut, ",\r\n");
  }

  void Row(CPwByteArray& aOut, const TPositionPlot& aPlot, int32_t, const CTrapLine*) override {
    if (!iFirstTime.IsSet()) iFirstTime = PwTime(aPlot.iTime);
    Put(aOut, "$GPS,");
    aOut.AppendReal((static_cast<int64_t>(aPlot.iTime) - iFirstTime.Milliseconds()) / 10.0, 0);
    Put(aOut, ",A,");
    aOut.AppendReal(Magnitude(aPlot.iLatitude), 4, '.', 10);
    Put(aOut, aPlot.iLatitude > 0 ? CPwByteArrayC(",N,") : CPwByteArrayC(",S,"));
    aOut.AppendReal(Magnitude(aPlot.iLongitude), 4, '.', 6);
    Put(aOut, aPlot.iLongitude > 0 ? CPwByteArrayC(",E,") : CPwByteArrayC(",W,"));
    const TSpeed speed = aPlot.Speed();
    if (speed.IsValid())
      aOut.AppendReal(speed.Knots(), 2, '.', 4);
    else
      Put(aOut, "0.00");
    aOut.AppendByte(',');
    PwTime(aPlot.iTime).AppendNmeaTime(aOut, 3);
    aOut.AppendByte(',');
    const TDistance altitude = aPlot.Altitude();
    if (altitude.IsValid())
      aOut.AppendReal(altitude.Metres(), 1, '.', 3);
    else
      Put(aOut, "0.0");
    Crlf(aOut);
  }

  void Trailer(CPwByteArray& aOut) override {
    Put(aOut, "$VALUE,0,0,0,65535,65535,65535,0.0,0.0,0.0,0.0,\r\n");
  }

 private:
  // NMEA ddmm.mmmm of the coordinate's magnitude.
  static double Magnitude(int32_t aCoordinate) {
    const double v = TCoordinate(aCoordinate).ToNmea();
    return v < 0 ? -v : v;
  }

  PwTime iFirstTime = PwTime::Unset();
};

// --- GPX -------------------------------------------------------------------------------------

class CGpxWriter : public CExportWriter {
 public:
  explicit CGpxWriter(const TExportContext& aContext) : CExportWriter(aContext) {}
  TLapSamples LapSamples() const override { return ELapCrossings; }

  void Header(CPwByteArray& aOut) override {
    const CSessionInfo& info = *iContext.iRequest->iInfo;
    Put(aOut, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<gpx\r\n");
    Put(aOut, "    version=\"1.0\"\r\n    creator=\"Pacewright v");
    Put(aOut, KExportVersion);
    Put(aOut, " - ");
    Put(aOut, KHomePage);
    Put(aOut,
        "\"\r\n"
        "    xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
        "    xmlns=\"http://www.topografix.com/GPX/1/0\"\r\n"
        "    xmlns:topografix=\"http://www.topografix.com/GPX/Private/TopoGrafix/0/1\"\r\n"
        "    xsi:schemaLocation=\"http://www.topografix.com/GPX/1/0 "
        "http://www.topografix.com/GPX/1/0/gpx.xsd "
        "http://www.topografix.com/GPX/Private/TopoGrafix/0/1 "
        "http://www.topografix.com/GPX/Private/TopoGrafix/0/1/topografix.xsd\">\r\n");
    Put(aOut, "    <name><![CDATA[");
    pwexport::AppendCdata(aOut, info.Title());
    Put(aOut, "]]></name>\r\n    <desc><![CDATA[");
    pwexport::AppendCdata(aOut, info.Notes());
    Put(aOut, "]]></desc>\r\n    <author><![CDATA[");
    pwexport::AppendCdata(aOut, info.Driver());
    Put(aOut, "]]></author>\r\n");
  }

  void RouteBegin(CPwByteArray& aOut) override {
    Put(aOut, "<trk>\r\n    <name><![CDATA[Traveled route]]></name>\r\n    <number>1</number>\r\n<trkseg>\r\n");
  }
  void RouteEnd(CPwByteArray& aOut) override { Put(aOut, "</trkseg>\r\n</trk>\r\n"); }
  void LapBegin(CPwByteArray& aOut, int32_t aIndex, const CLap&) override {
    Put(aOut, "<trk>\r\n    <name><![CDATA[Lap #");
    aOut.AppendNum(aIndex + 1);
    Put(aOut, "]]></name>\r\n    <number>");
    aOut.AppendNum(aIndex + 1);
    Put(aOut, "</number>\r\n<trkseg>\r\n");
  }
  void LapEnd(CPwByteArray& aOut) override { RouteEnd(aOut); }

  void Row(CPwByteArray& aOut, const TPositionPlot& aPlot, int32_t, const CTrapLine*) override {
    Put(aOut, "<trkpt lat=\"");
    aOut.AppendReal(Degrees(aPlot.iLatitude), 7);
    Put(aOut, "\" lon=\"");
    aOut.AppendReal(Degrees(aPlot.iLongitude), 7);
    Put(aOut, "\">");
    const TDistance altitude = aPlot.Altitude();
    if (altitude.IsValid()) {
      Put(aOut, "<ele>");
      aOut.AppendReal(altitude.Metres(), 2);
      Put(aOut, "</ele>");
    }
    // A sample the resume list cannot place in calendar time goes without a time element
    // (it is optional in GPX) rather than with an invented one.
    const PwDateTime at = iContext.iRequest->iPlots->ResumeList().DateTimeAt(PwTime(aPlot.iTime));
    if (at.IsSet()) {
      Put(aOut, "<time>");
      aOut.AppendNum(at.iDate.Year());
      aOut.AppendByte('-');
      aOut.AppendNum(at.iDate.Month(), 2);
      aOut.AppendByte('-');
      aOut.AppendNum(at.iDate.Day(), 2);
      aOut.AppendByte('T');
      aOut.AppendNum(at.iTime.Hour(), 2);
      aOut.AppendByte(':');
      aOut.AppendNum(at.iTime.Minute(), 2);
      aOut.AppendByte(':');
      aOut.AppendNum(at.iTime.Second(), 2);
      aOut.AppendByte('.');
      aOut.AppendNum(at.iTime.Millisecond(), 3);
      Put(aOut, "Z</time>");
    }
    if (aPlot.iBearing != TPositionPlot::KInvalidWord) {
      Put(aOut, "<course>");
      aOut.AppendReal(aPlot.BearingDegrees(), 2);
      Put(aOut, "</course>");
    }
    const TSpeed speed = aPlot.Speed();
    if (speed.IsValid()) {
      Put(aOut, "<speed>");
      aOut.AppendReal(speed.MetresPerSecond(), 2);
      Put(aOut, "</speed>");
    }
    Put(aOut, aPlot.IsDifferential() ? CPwByteArrayC("<fix>dgps</fix><sat>") : CPwByteArrayC("<fix>3d</fix><sat>"));
    aOut.AppendNum(aPlot.Satellites());
    Put(aOut, "</sat>");
    Dop(aOut, "<hdop>", "</hdop>", aPlot.Hdop());
    Dop(aOut, "<vdop>", "</vdop>", aPlot.Vdop());
    Dop(aOut, "<pdop>", "</pdop>", aPlot.Precision3D());
    Put(aOut, "</trkpt>\r\n");
  }

  void Trailer(CPwByteArray& aOut) override { Put(aOut, "</gpx>\r\n"); }

 private:
  static void Dop(CPwByteArray& aOut, CPwByteArrayC aOpen, CPwByteArrayC aClose, double aValue) {
    if (IsInvalidReal(aValue)) return;
    Put(aOut, aOpen);
    aOut.AppendReal(aValue, 2);
    Put(aOut, aClose);
  }
};

// Appends aText as UTF-8 with line breaks as spaces; aQuote doubles every '"'.
void AppendFlat(CPwByteArray& aOut, CPwStringC aText, bool aQuote) {
  int32_t from = 0;
  for (int32_t i = 0; i <= aText.Length(); ++i) {
    const char16_t c = i < aText.Length() ? aText.Ptr()[i] : u'\n';
    if (c != u'\n' && c != u'\r' && c != 0x2028 && c != 0x2029) continue;
    CPwStringC part = aText.Mid(from, i - from);
    if (aQuote)
      aOut.AppendCsvQuoted(part);
    else
      aOut.AppendUtf8(part);
    if (i < aText.Length()) {
      // A CR LF pair is one break.
      if (!(c == u'\r' && i + 1 < aText.Length() && aText.Ptr()[i + 1] == u'\n')) aOut.AppendByte(' ');
    }
    from = i + 1;
  }
}

}  // namespace

namespace pwexport {

void AppendLine(CPwByteArray& aOut, CPwStringC aText) { AppendFlat(aOut, aText, false); }
void AppendLineQuoted(CPwByteArray& aOut, CPwStringC aText) { AppendFlat(aOut, aText, true); }

void AppendCdata(CPwByteArray& aOut, CPwStringC aText) {
  int32_t from = 0;
  const int32_t n = aText.Length();
  for (int32_t i = 0; i < n; ++i) {
    const char16_t c = aText.Ptr()[i];
    const bool control = c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
    const bool forbidden = control || c == 0xFFFE || c == 0xFFFF;
    const bool terminator = c == u']' && i + 2 < n && aText.Ptr()[i + 1] == u']' && aText.Ptr()[i + 2] == u'>';
    if (!forbidden && !terminator) continue;
    aOut.AppendUtf8(aText.Mid(from, i - from));
    if (terminator) {
      // "]]" ends this section, ">" starts the next one.
      aOut.Append(CPwByteArrayC("]]]]><![CDATA[>"));
      i += 2;
    }
    from = i + 1;
  }
  aOut.AppendUtf8(aText.Mid(from, n - from));
}

}  // namespace pwexport

CExportWriter* CExportWriter::NewL(int32_t aFormat, const TExportContext& aContext) {
  switch (aFormat) {
    case EExportKml:
      return new CKmlWriter(aContext);
    case EExportCsv:
      return new CCsvWriter(aContext);
    case EExportVbo:
      return new CVboWriter(aContext, false);
    case EExportVboLapGates:
      return new CVboWriter(aContext, true);
    case EExportOverlayCsv:
      return new COverlayCsvWriter(aContext);
    case EExportDat:
      return new CDatWriter(aContext);
    case EExportGpx:
      return new CGpxWriter(aContext);
    default:
      return nullptr;
  }
}
