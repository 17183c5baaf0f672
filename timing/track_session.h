// One open session: the live or viewed recording (or a stored one loaded for comparison). The
// parsers deliver samples straight to it; it stores them in the sample lists and the raw NMEA
// file while recording, times laps against the session's track or runs against the
// performance tests, and rebuilds those whenever the track, its traps or the test change.
// Laps and runs are always derived data: what live timing produced equals what a rebuild from
// the stored samples produces.
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/data_parser.h"
#include "foundation/pw_base.h"
#include "foundation/pw_file.h"
#include "foundation/pw_string.h"
#include "foundation/pw_time.h"
#include "storage/plot_list.h"
#include "storage/session_info.h"
#include "storage/session_list.h"
#include "timing/intersection.h"
#include "timing/lap_list.h"
#include "timing/live_delta.h"
#include "timing/performance_run.h"
#include "timing/speech_helper.h"
#include "timing/timer_helper.h"
#include "timing/track_profile.h"

class CPlotListLoader;
class CPwPeriodicTimer;
class CTrackDetector;
class CTrapLine;
class MSessionModel;

class CTrackSession : public CPwBase, public MParsedDataObserver {
 public:
  // Performance-test index meaning that no test is selected.
  static constexpr int32_t KNoTest = -1;
  // Traps placed from the trace: 50 m wide, counted in the direction of travel only.
  static constexpr double KPlacedTrapWidth = 50.0;
  // The raw NMEA text goes through a buffer of this size.
  static constexpr int32_t KNmeaBufferBytes = 40960;
  // While recording, what waits in the file buffers goes to the system this often, and is
  // forced to the medium at least this often: a killed program loses at most the last half
  // second of a recording, a power cut at most the last five seconds.
  static constexpr int32_t KHandOverIntervalMs = 500;
  static constexpr int32_t KSyncIntervalMs = 5000;
  // The track name of a lap-timing session whose track is found from the route (no track
  // can have this name: '<' is not allowed in one).
  static constexpr CPwStringC KAutomaticTrack = u"<Automatic>";

  // aModel (not owned) outlives the session.
  static CTrackSession* NewL(MSessionModel& aModel);
  ~CTrackSession() override;

  // --- MParsedDataObserver. Nothing is stored while not recording.
  int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime,
                         TDistance aAltitude, TSpeed aSpeed, double aBearingDegrees, double aHdop,
                         double aVdop, int32_t aSatellites, int32_t aDifferential,
                         int32_t aDiscontinuity, PwTime aDate, PwTime aDateTime) override;
  void ObdValueParsed(PwTime aTime, int32_t aPid, uint32_t aRawValue) override;
  // Rebuilds the OBD polling plan when the OBD channel list reports a change.
  void ObdSentenceDone() override;
  void ChannelsParsed(PwTime aTime, const TChannelValueList& aValues) override;
  void LineReceived(CPwByteArrayC aLine, int32_t aFlag) override;

  // --- Recording.
  // Opens the sample files (and the raw NMEA file when the session saves NMEA) for appending
  // and sets the recording flag; 1 when recording started. Only a recordable session whose
  // sample files are set up can record. Leaves KErrCannotOpen when a file cannot be opened
  // (nothing is then left open).
  int32_t StartRecording();
  // Closes the files and clears the flag.
  void StopRecording();
  bool IsRecording() const { return iRecording; }
  // The recording timer's step (also for tests without a loop): hands the file buffers to the
  // system, and forces them to the medium when aSync is set or the last time was
  // KSyncIntervalMs ago.
  void SecureRecording(bool aSync);
  // The GPS came back after a loss of connection: the next sample begins a trace segment.
  void BeginTraceSegment() {
    if (iRecording) iPlots->BeginSegment();
  }
  // Replaces the two intervals (tests); takes effect at the next start of recording.
  void SetSecureIntervals(int32_t aHandOverMs, int32_t aSyncMs) {
    iHandOverMs = aHandOverMs;
    iSyncMs = aSyncMs;
  }

  // --- Sessions.
  // A new recorded session from the properties chosen in the editor, stored on aRoot (the
  // folders are created when missing): identifier, session file, empty samples file and,
  // with save NMEA, an empty raw NMEA file. Leaves KErrCannotOpen.
  void NewSession(const CSessionInfo& aChosen, CPwStringC aRoot);
  // Creates the samples file (and the raw NMEA file with save NMEA) for the session's
  // identifier and root, then recomputes.
  void PrepareFiles();
  // Takes a stored session: its properties (with notes), its track or test by name, and a
  // loader for its samples (SamplesLoader), which the caller runs as a worker and ends with
  // FinishLoading. 0 when the session file cannot be read.
  int32_t OpenStoredSession(const CSessionInfo& aRecord);
  CPlotListLoader* SamplesLoader() const { return iPlots->Loader(); }
  // Takes the loaded samples and recomputes the laps or runs.
  void FinishLoading();
  // Runs the loader to its end here and finishes; for the command line and tests. Leaves
  // with the loader's code.
  void LoadSamplesL();
  // Selects the session's track (lap timing) or test (performance testing) by the names in
  // its properties and recomputes: 0 when that track or test does not exist.
  int32_t StartTiming();
  // New properties from the session editor; reloads the track or test and recomputes when
  // they changed.
  void ApplySessionSettings(const CSessionInfo& aNew);
  // Rebuilds the crossings and laps, or the runs, from every stored sample.
  void Recompute();
  // Writes the summary figures into the session properties and saves them; the save's code.
  int32_t UpdateSummary();
  // Stops recording and saves the summary (the session is about to be destroyed).
  int32_t CloseSession();
  // Why recording may not continue into this stored session (the storage check is the
  // caller's and passed in).
  TResumeCheck CheckResume(bool aStorageAllows) const;

  // --- Traps of the current track (lap timing, unlocked track with traps loaded). Each
  // change recomputes; 0 when the change is not allowed or made nothing.
  bool TrapsEditable() const;
  int32_t AddTrap(const CTrapLine& aTrap);
  int32_t ReplaceCurrentTrap(const CTrapLine& aTrap);
  int32_t RemoveCurrentTrap();
  CTrapLine* CurrentTrap() const;
  CTrapLine* TrapAt(int32_t aIndex) const;
  // A trap across the newest sample along the slow bearing: only while recording with at
  // least two samples, an editable track and a bearing estimate.
  int32_t AddTrapAtLivePosition(int32_t aType, CPwStringC aName);
  // A trap across sample aIndex of the position list along the trace's bearing there; needs
  // at least two samples and an editable track.
  int32_t AddTrapAtSample(int32_t aIndex, int32_t aType, CPwStringC aName);
  // The direction of travel at sample aIndex: the receiver's course, or without one the
  // trace's bearing into the sample (out of the first one). Invalid out of range or when the
  // trace does not move there.
  static TAngle BearingAtSample(const CPositionPlotList& aList, int32_t aIndex);

  // --- Comparison with another stored session.
  // Creates the comparison session from a catalogue record (its samples loader is the
  // comparison's SamplesLoader; end with FinishComparisonLoading) and links its laps and runs
  // as this session's comparison lists. 0 when its session file cannot be read.
  int32_t LoadComparisonSession(const CSessionInfo& aRecord);
  void FinishComparisonLoading();
  CTrackSession* ComparisonSession() const { return iComparison.get(); }
  void DeleteComparison();
  // Compare with the viewed lap or run, the best, or (lap timing only) the optimal lap. Each
  // first deletes the comparison session; 0 when the choice does not apply.
  int32_t CompareToThisLap();
  int32_t CompareToBest();
  int32_t CompareToOptimal();
  // "Best lap on this track": the stored lap-timing session of this session's track whose best
  // lap is the fastest by the catalogue's summaries, or null when this session's own best is at
  // least as fast or no session of the track has a best lap.
  const CSessionInfo* FindTrackBest() const;
  // Compares with the fastest lap of the track: 2 when another session holds it (it is loaded
  // as the comparison session: run its SamplesLoader, then FinishComparisonLoading), 1 when
  // this session's best is the fastest, 0 when no lap of the track is known (or the session
  // is not lap timing) and nothing changed. While this choice stands, a new best of this
  // session that beats the other session's lap takes over as the reference.
  int32_t CompareToTrackBest();
  bool ComparesToTrackBest() const { return iTrackBest; }

  // --- Running difference of the lap in progress against its comparison lap, updated with
  // every position sample while recording a lap-timing session.
  const CLiveDelta& Delta() const { return *iDelta; }

  // --- Import. The importer (which lives above this library) fills this session's sample
  // files; the session owns it until the import ends. Ending reloads the samples from the
  // files (the importer writes them without keeping them in memory) and recomputes.
  void StartImport(CPwBase* aImporter);
  CPwBase* Importer() const { return iImporter.get(); }
  void EndImport();

  // The graph generator of the analysis view, owned from here on (it lives above this library).
  void SetGraphGenerator(CPwBase* aGenerator);
  CPwBase* GraphGenerator() const { return iGraphGenerator.get(); }

  // --- Automatic track. While a lap-timing session's track is KAutomaticTrack, every sample
  // goes to the detector; once it decides, the session takes the track (storing one it made),
  // notes the choice in its notes and times every lap from the first sample on.
  bool DetectsTrack() const;
  // The detector of the last detection (null when the session never detected).
  const CTrackDetector* Detector() const { return iDetector.get(); }
  // The whole route was seen and nothing was found: the session becomes data logging with a
  // note saying so. 1 when that happened.
  int32_t EndDetection();
  // What detection added to the notes (empty while undecided or without detection).
  CPwStringC DetectionNote() const { return iDetectionNote; }

  // --- Queries.
  // "Lap timing", "Performance testing" or "Data logging only".
  static void SessionTypeName(int32_t aType, CPwString& aText);
  int32_t SessionType() const { return iInfo->SessionType(); }
  bool IsLapTiming() const { return SessionType() == ESessionLapTiming; }
  bool IsPerformanceTesting() const { return SessionType() == ESessionPerformance; }
  bool IsDataLogging() const { return SessionType() == ESessionDataLogging; }
  // Finished laps (lap timing) or runs with a finished result of the current test.
  bool HasResults() const;
  bool HasTraps() const;
  int32_t SampleCount() const { return iPlots->PositionList().Count(); }
  int32_t CurrentTest() const { return iCurrentTest; }

  CSessionInfo& Info() { return *iInfo; }
  const CSessionInfo& Info() const { return *iInfo; }
  CPlotList& PlotList() { return *iPlots; }
  const CPlotList& PlotList() const { return *iPlots; }
  CIntersectionList& Crossings() { return *iCrossings; }
  CLapList& Laps() { return *iLaps; }
  const CLapList& Laps() const { return *iLaps; }
  CRunList& Runs() { return *iRuns; }
  const CRunList& Runs() const { return *iRuns; }
  CTrackProfile& Track() { return *iTrack; }
  const CTrackProfile& Track() const { return *iTrack; }
  CSpeechHelper& Announcer() { return *iAnnouncer; }
  CTimerHelper& Timer() { return *iTimer; }
  CSessionFilterList& SessionFilter() { return *iFilter; }
  MSessionModel& Model() const { return *iModel; }
  CPwStringC NmeaPath() const { return iNmea->Path(); }
  // Points the session filter at the stored sessions of this session's track or test.
  void RefreshSessionFilter();

 private:
  friend CTrackSession* PwNewL<CTrackSession>(MSessionModel&);
  CTrackSession() = default;
  void ConstructL(MSessionModel& aModel);

  // Empties the track profile and loads the named one; false when there is none.
  bool LoadTrack(CPwStringC aName);
  int32_t FindTest(CPwStringC aName) const;
  void SetNmeaPath();
  int32_t AddPlacedTrap(int32_t aType, CPwStringC aName, const TPositionPlot& aCentre, TAngle aBearing);
  void HandOverAnnouncement();
  // With "best lap on this track", this session's own best once it beats the other session's.
  void FollowTrackBest();
  // Watches the stored samples not yet seen; 1 when the track was decided (and taken).
  int32_t WatchForTrack();
  void TakeDetectedTrack();

  // The importer and graph generator refer back to this session and go first on destruction.
  std::unique_ptr<CTrackSession> iComparison;
  std::unique_ptr<CSessionFilterList> iFilter;
  std::unique_ptr<CPlotList> iPlots;
  std::unique_ptr<CIntersectionList> iCrossings;
  std::unique_ptr<CLapList> iLaps;
  std::unique_ptr<CRunList> iRuns;
  std::unique_ptr<CSessionInfo> iInfo;
  std::unique_ptr<PwFileBuffered> iNmea;
  std::unique_ptr<CTrackProfile> iTrack;
  std::unique_ptr<CSpeechHelper> iAnnouncer;
  std::unique_ptr<CPwBase> iGraphGenerator;
  std::unique_ptr<CPwBase> iImporter;
  std::unique_ptr<CTimerHelper> iTimer;
  std::unique_ptr<CPwPeriodicTimer> iSecureTimer;
  PwStopwatch iSinceSync;
  int32_t iHandOverMs = KHandOverIntervalMs;
  int32_t iSyncMs = KSyncIntervalMs;
  std::unique_ptr<CLiveDelta> iDelta;
  std::unique_ptr<CTrackDetector> iDetector;
  CPwString iDetectionNote;
  MSessionModel* iModel = nullptr;
  bool iRecording = false;
  bool iTrackBest = false;
  int32_t iCurrentTest = KNoTest;
  PwTimeConverter iConverter;
};
