#include "timing/track_session.h"

#include "acquisition/channel_id.h"
#include "acquisition/channel_state.h"
#include "acquisition/obd_channels.h"
#include "foundation/paths.h"
#include "foundation/periodic_timer.h"
#include "storage/plot_list_loader.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/performance_test.h"
#include "timing/session_model.h"
#include "timing/track_detector.h"
#include "timing/track_list.h"
#include "timing/trap_line.h"

CTrackSession* CTrackSession::NewL(MSessionModel& aModel) { return PwNewL<CTrackSession>(aModel); }

void CTrackSession::ConstructL(MSessionModel& aModel) {
  iModel = &aModel;
  iFilter.reset(new CSessionFilterList);
  iPlots.reset(CPlotList::NewL(&aModel.ObdChannels()));
  iCrossings.reset(new CIntersectionList);
  iInfo.reset(new CSessionInfo);
  iLaps.reset(CLapList::NewL(&iPlots->PositionList(), &aModel.Settings(), iInfo.get()));
  iRuns.reset(CRunList::NewL(*iPlots));
  iNmea.reset(new PwFileBuffered);
  iTrack.reset(new CTrackProfile);
  iAnnouncer.reset(new CSpeechHelper(*this));
  iTimer.reset(new CTimerHelper(aModel, *this));
  iSecureTimer.reset(new CPwPeriodicTimer(aModel.RecordingScheduler(), [this] { SecureRecording(false); }));
  iDelta.reset(new CLiveDelta);
}

CTrackSession::~CTrackSession() {
  // Both refer back to this session and must not outlive any part of it.
  iImporter.reset();
  iGraphGenerator.reset();
  if (iPlots && iNmea && iSecureTimer) StopRecording();
  if (iLaps && iRuns) DeleteComparison();
}

// --- MParsedDataObserver --------------------------------------------------------------------

int32_t CTrackSession::PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime,
                                      TDistance aAltitude, TSpeed aSpeed, double aBearingDegrees,
                                      double aHdop, double aVdop, int32_t aSatellites,
                                      int32_t aDifferential, int32_t aDiscontinuity, PwTime aDate,
                                      PwTime aDateTime) {
  if (!iRecording) return 0;
  if (!iPlots->AddPosition(aLatitude, aLongitude, aTime.Milliseconds(), aAltitude, aSpeed, aBearingDegrees,
                           aHdop, aVdop, aSatellites, aDifferential, aDiscontinuity, aDate.Milliseconds(),
                           aDateTime.Milliseconds(), 0))
    return 0;
  int32_t result = 0;
  switch (iInfo->SessionType()) {
    case ESessionLapTiming: {
      // The decision times every lap from the stored samples, this one included.
      if (DetectsTrack() && WatchForTrack()) {
        result = 1;
        break;
      }
      const CTrapLineList* traps = iTrack->Traps();
      if (traps && iCrossings->TestNewest(iPlots->PositionList(), traps)) {
        result = 1;
        // A finished lap goes into the session file at once, so a session whose program was
        // killed still opens with its laps in the catalogue.
        if (iLaps->ProcessCrossings(*traps, *iCrossings, iAnnouncer.get())) {
          (void)UpdateSummary();
          FollowTrackBest();
        }
      }
      if (traps) iDelta->Update(*iLaps);
      break;
    }
    case ESessionPerformance:
      result = iRuns->Process(iInfo->UseObdSpeed() != 0, iModel->PerformanceTests(), iAnnouncer.get(),
                              iCurrentTest);
      break;
    default:
      break;
  }
  HandOverAnnouncement();
  return result;
}

void CTrackSession::HandOverAnnouncement() {
  if (!iAnnouncer->HasText()) return;
  iModel->Announce(iAnnouncer->Text());
  iAnnouncer->Clear();
}

void CTrackSession::ObdValueParsed(PwTime aTime, int32_t aPid, uint32_t aRawValue) {
  if (iRecording) iPlots->AddObdValue(aTime.Milliseconds(), aPid, aRawValue, 0);
}

void CTrackSession::ObdSentenceDone() {
  CObdChannelList& channels = iModel->ObdChannels();
  if (!channels.RebuildFlag()) return;
  if (MObdPollingPlan* plan = iModel->ObdPollingPlan()) {
    plan->ClearObdChannels();
    if (const uint8_t query = channels.PendingRangeQuery()) plan->AddObdChannel(query, 2);
    if (IsPerformanceTesting() && iInfo->UseObdSpeed()) {
      if (const CObdChannel* speed = channels.ChannelById(KChannelObdSpeed)) plan->AddObdChannel(speed->Pid(), 2);
    } else {
      const CSettings& settings = iModel->Settings();
      for (int32_t i = 0; i < channels.Count(); ++i) {
        const CObdChannel& channel = channels.At(i);
        if (channel.SupportState() != CObdChannel::ESupported) continue;
        if (settings.HighPriorityChannels().Contains(channel.Id()))
          plan->AddObdChannel(channel.Pid(), 2);
        else if (settings.LowPriorityChannels().Contains(channel.Id()))
          plan->AddObdChannel(channel.Pid(), 1);
      }
    }
  }
  channels.ClearRebuildFlag();
}

void CTrackSession::ChannelsParsed(PwTime aTime, const TChannelValueList& aValues) {
  if (!iRecording) return;
  TDataLoggerRecord record;
  for (int32_t i = 0; i < aValues.Count(); ++i) record.SetValue(aValues.At(i).iChannel, aValues.At(i).iValue);
  iPlots->AddLoggerRecord(aTime.Milliseconds(), record, 0);
}

void CTrackSession::LineReceived(CPwByteArrayC aLine, int32_t aFlag) {
  if (iRecording && aFlag == 0 && iNmea->IsOpen()) iNmea->Write(aLine);
}

// --- Recording ------------------------------------------------------------------------------

void CTrackSession::SetNmeaPath() {
  CPwString path;
  MakeFilePath(EFileNmea, iInfo->StorageRoot(), iInfo->Identifier(), path);
  iNmea->Close();
  iNmea->SetPath(path);
}

int32_t CTrackSession::StartRecording() {
  if (iRecording || !iInfo->Recorded() || iInfo->IsReadOnly() || iPlots->Path().IsEmpty()) return 0;
  if (iInfo->SaveNmea()) {
    SetNmeaPath();
    iNmea->OpenAppend(KNmeaBufferBytes, KNmeaBufferBytes);
  }
  const int32_t code = Trap([&] {
    iPlots->OpenForAppend();
    iSecureTimer->Start(iHandOverMs);
  });
  if (code != KErrNone) {
    iPlots->CloseFile();
    iNmea->Close();
    Leave(code);
  }
  iSinceSync.Start();
  iRecording = true;
  return 1;
}

void CTrackSession::SecureRecording(bool aSync) {
  if (!iRecording) return;
  iPlots->HandOverFile();
  if (iNmea->IsOpen()) iNmea->HandOver();
  if (!aSync && iSinceSync.Elapsed().Milliseconds() < iSyncMs - iHandOverMs) return;
  iPlots->SyncFile();
  if (iNmea->IsOpen() && iNmea->BytesSinceSync() > 0) iNmea->FlushInBackground();
  iSinceSync.Start();
}

void CTrackSession::StopRecording() {
  if (!iRecording) return;
  iSecureTimer->Stop();
  iPlots->CloseFile();
  iNmea->Close();
  iRecording = false;
}

// --- Sessions -------------------------------------------------------------------------------

void CTrackSession::NewSession(const CSessionInfo& aChosen, CPwStringC aRoot) {
  StopRecording();
  EnsureFolders(aRoot);
  iInfo->Clear();
  iInfo->StartNew(aChosen, aRoot);
  PrepareFiles();
}

void CTrackSession::PrepareFiles() {
  iPlots->CreateFile(iInfo->Identifier(), iInfo->StorageRoot());
  if (iInfo->SaveNmea()) {
    SetNmeaPath();
    iNmea->Replace(KNmeaBufferBytes, 0);
    iNmea->Close();
  }
  Recompute();
}

bool CTrackSession::LoadTrack(CPwStringC aName) {
  // Edits of the old track are kept; a failed save must not keep the new one from opening.
  iTrack->SaveSafely();
  iTrack->Reset();
  if (aName.IsEmpty()) return false;
  return iModel->TrackList().LoadByName(aName, *iTrack) != 0;
}

int32_t CTrackSession::FindTest(CPwStringC aName) const {
  if (aName.IsEmpty()) return KNoTest;
  return iModel->PerformanceTests().IndexOfName(aName);
}

int32_t CTrackSession::OpenStoredSession(const CSessionInfo& aRecord) {
  StopRecording();
  DeleteComparison();
  iInfo->Clear();
  iInfo->SetIdentifier(aRecord.Identifier());
  iInfo->SetStorageRoot(aRecord.StorageRoot());
  iInfo->SetReadOnly(aRecord.IsReadOnly());
  if (!iInfo->Load(true, iConverter)) return 0;
  iCurrentTest = KNoTest;
  if (IsLapTiming())
    LoadTrack(iInfo->TrackName());
  else
    iTrack->Reset();
  if (IsPerformanceTesting()) iCurrentTest = FindTest(iInfo->TestName());
  iCrossings->Clear();
  iLaps->Clear();
  iRuns->Clear();
  iPlots->StartLoading(&iConverter, iInfo->Identifier(), iInfo->StorageRoot());
  return 1;
}

void CTrackSession::FinishLoading() {
  iPlots->FinishLoading();
  Recompute();
}

void CTrackSession::LoadSamplesL() {
  if (CPlotListLoader* loader = iPlots->Loader()) {
    const int32_t code = Trap([&] {
      while (loader->Step()) {
      }
    });
    if (code != KErrNone) {
      loader->Cancel();
      iPlots->FinishLoading();
      Leave(code);
    }
  }
  FinishLoading();
}

int32_t CTrackSession::StartTiming() {
  int32_t found = 1;
  if (IsLapTiming()) {
    // An automatic track is found from the route later on.
    found = LoadTrack(iInfo->TrackName()) || DetectsTrack() ? 1 : 0;
  } else if (IsPerformanceTesting()) {
    iCurrentTest = FindTest(iInfo->TestName());
    found = iCurrentTest != KNoTest ? 1 : 0;
  }
  Recompute();
  return found;
}

namespace {

// The properties the session editor may change on an existing session.
void CopyEditable(CSessionInfo& aTarget, const CSessionInfo& aSource) {
  aTarget.SetTitle(aSource.Title());
  aTarget.SetDriver(aSource.Driver());
  aTarget.SetNotes(aSource.Notes());
  aTarget.SetTrackName(aSource.TrackName());
  aTarget.SetTestName(aSource.TestName());
  aTarget.SetSessionType(aSource.SessionType());
  aTarget.SetSaveNmea(aSource.SaveNmea());
  aTarget.SetUseObdSpeed(aSource.UseObdSpeed());
}

}  // namespace

void CTrackSession::ApplySessionSettings(const CSessionInfo& aNew) {
  const int32_t oldType = iInfo->SessionType();
  const int32_t newType = aNew.SessionType();
  bool reload = false;
  if (newType != ESessionLapTiming) {
    iTrack->SaveSafely();
    iTrack->Reset();
    iCrossings->Clear();
    iDelta->Reset();
    iLaps->Clear();
  } else if (oldType != ESessionLapTiming || !aNew.TrackName().Equals(iInfo->TrackName())) {
    DeleteComparison();
    LoadTrack(aNew.TrackName());
    reload = true;
  }
  if (newType == ESessionPerformance) {
    if (oldType != newType || !aNew.TestName().Equals(iInfo->TestName())) {
      iCurrentTest = FindTest(aNew.TestName());
      reload = true;
    }
    if ((aNew.UseObdSpeed() != 0) != (iInfo->UseObdSpeed() != 0)) reload = true;
  } else {
    iRuns->Clear();
    iCurrentTest = KNoTest;
  }
  CopyEditable(*iInfo, aNew);
  if (reload) Recompute();
}

void CTrackSession::Recompute() {
  iDelta->Reset();
  if (DetectsTrack()) {
    // Detection starts over on every sample stored, so live and reopened sessions decide alike.
    iDetector.reset(new CTrackDetector);
    iDetector->SetTrackList(&iModel->TrackList());
    iCrossings->Clear();
    iLaps->Clear();
    if (WatchForTrack()) return;
  }
  if (IsLapTiming()) {
    const CTrapLineList* traps = iTrack->Traps();
    if (traps) {
      iCrossings->Rebuild(iPlots->PositionList(), *traps);
      iLaps->Rebuild(*traps, *iCrossings);
    } else {
      iCrossings->Clear();
      iLaps->Clear();
    }
  } else if (IsPerformanceTesting()) {
    iRuns->Rebuild(iInfo->UseObdSpeed() != 0, iModel->PerformanceTests(), iCurrentTest);
  }
}

int32_t CTrackSession::UpdateSummary() {
  if (IsLapTiming()) {
    int32_t finished = 0;
    for (int32_t i = 0; i < iLaps->LapCount(); ++i)
      if (iLaps->Lap(i)->IsFinished()) ++finished;
    const CLap* optimal = iLaps->OptimalLap();
    const CLap* best = iLaps->BestLap();
    iInfo->SetLapFigures(optimal ? optimal->LapTime() : PwTime::Unset(), best ? best->LapTime() : PwTime::Unset(),
                         iLaps->BestLapIndex(), finished);
  } else if (IsPerformanceTesting()) {
    const int32_t bestIndex = iRuns->BestRunIndex(iCurrentTest);
    const CPerformance* best = CRunList::Performance(iRuns->Run(bestIndex), iCurrentTest, true);
    iInfo->SetRunFigures(best ? best->ResultTime() : PwTime::Unset(), bestIndex,
                         iRuns->CompletedRunCount(iCurrentTest));
  }
  const CPositionPlotList& positions = iPlots->PositionList();
  iInfo->SetTrackFigures(TPositionPlot::EncodeDistance(positions.RunningDistance()), positions.MinimumSpeed());
  iInfo->SetGnssHealth(positions.Gnss().Health());
  iInfo->SetObdFlag(iPlots->ObdList().HasData() ? 1 : 0);
  return iInfo->SaveSafely();
}

int32_t CTrackSession::CloseSession() {
  StopRecording();
  DeleteComparison();
  (void)EndDetection();
  if (iInfo->IsReadOnly() || iInfo->Identifier().IsEmpty()) return KErrNone;
  return UpdateSummary();
}

TResumeCheck CTrackSession::CheckResume(bool aStorageAllows) const {
  return iInfo->CheckResume(!iPlots->Path().IsEmpty() && !iPlots->Loader(), iPlots->IsCurrentVersion(),
                            iPlots->IsComplete(), aStorageAllows);
}

void CTrackSession::RefreshSessionFilter() {
  const CSessionList* catalogue = iModel->SessionCatalogue();
  if (!catalogue) return;
  if (IsPerformanceTesting())
    iFilter->SetTestFilter(iInfo->TestName(), iInfo->Identifier(), iInfo->StorageRoot(), false, *catalogue);
  else
    iFilter->SetTrackFilter(iInfo->TrackName(), iInfo->Identifier(), iInfo->StorageRoot(), false, *catalogue);
}

// --- Automatic track ------------------------------------------------------------------------

bool CTrackSession::DetectsTrack() const { return IsLapTiming() && iInfo->TrackName().Equals(KAutomaticTrack); }

int32_t CTrackSession::WatchForTrack() {
  if (!iDetector) {
    iDetector.reset(new CTrackDetector);
    iDetector->SetTrackList(&iModel->TrackList());
  }
  if (!iDetector->AddAll(iPlots->PositionList())) return 0;
  TakeDetectedTrack();
  return 1;
}

namespace {

uint16_t WhyText(int32_t aMethod) {
  switch (aMethod) {
    case CTrackDetector::ELayout:
      return R_DETECT_WHY_LAYOUT;
    case CTrackDetector::EReverse:
      return R_DETECT_WHY_REVERSE;
    case CTrackDetector::ELoop:
      return R_DETECT_WHY_LOOP;
    default:
      return R_DETECT_WHY_NEAREST;
  }
}

// Adds a sentence to the session's notes, after what the driver wrote.
void AddToNotes(CSessionInfo& aInfo, CPwStringC aSentence) {
  CPwString notes(aInfo.Notes());
  if (!notes.IsEmpty()) notes.AppendChar(u' ');
  notes.Append(aSentence);
  aInfo.SetNotes(notes);
}

}  // namespace

void CTrackSession::TakeDetectedTrack() {
  CTrackProfile& chosen = *iDetector->Chosen();
  CTrackList& tracks = iModel->TrackList();
  if (iDetector->ChosenIsNew()) {
    if (iDetector->Method() == CTrackDetector::ELoop) {
      // Named after when the drive began (the log's first date, else the session's), local time.
      PwDateTime utc;
      if (SampleCount() > 0) utc = iPlots->ResumeList().DateTimeAt(PwTime(iPlots->PositionList().At(0).iTime));
      if (!utc.IsSet()) utc = iInfo->Created();
      PwDateTime local = iConverter.UtcToLocal(utc);
      if (!local.IsSet()) local = utc;
      CPwString name;
      CTrackDetector::LoopTrackName(local, name);
      CPwString unique;
      unique.Copy(name);
      for (int32_t n = 2; tracks.Exists(unique); ++n) {
        unique.Copy(name);
        unique.AppendChar(u' ');
        unique.AppendNum(n);
      }
      chosen.SetName(unique);
    }
    chosen.SetFolder(iModel->Settings().CurrentStorageRoot());
    // A track that cannot be stored is still used for this session's laps.
    if (!tracks.Exists(chosen.Name())) (void)tracks.Add(chosen);
  }
  iInfo->SetTrackName(chosen.Name());
  CPwString sentence;
  sentence.LoadFromResource(R_DETECT_FOUND);
  sentence.AppendChar(u' ');
  sentence.Append(chosen.Name());
  sentence.Append(u" (");
  CPwString why;
  why.LoadFromResource(WhyText(iDetector->Method()));
  sentence.Append(why);
  sentence.Append(u").");
  AddToNotes(*iInfo, sentence);
  iDetectionNote.Copy(sentence);
  if (!LoadTrack(chosen.Name())) {
    // Not stored (a full medium): time with the detector's copy all the same.
    iTrack->CopyFrom(chosen);
  }
  Recompute();
  if (!iInfo->IsReadOnly() && !iInfo->Identifier().IsEmpty()) (void)UpdateSummary();
}

int32_t CTrackSession::EndDetection() {
  if (!DetectsTrack() || SampleCount() == 0 || iInfo->IsReadOnly()) return 0;
  iInfo->SetSessionType(ESessionDataLogging);
  iInfo->SetTrackName(CPwStringC());
  CPwString sentence;
  sentence.LoadFromResource(R_DETECT_NONE);
  AddToNotes(*iInfo, sentence);
  iDetectionNote.Copy(sentence);
  iTrack->Reset();
  iCrossings->Clear();
  iLaps->Clear();
  return 1;
}

// --- Traps ----------------------------------------------------------------------------------

bool CTrackSession::TrapsEditable() const { return IsLapTiming() && iTrack->HasTraps() && !iTrack->IsLocked(); }

int32_t CTrackSession::AddTrap(const CTrapLine& aTrap) {
  if (!TrapsEditable() || !iTrack->AddTrap(aTrap)) return 0;
  Recompute();
  return 1;
}

int32_t CTrackSession::ReplaceCurrentTrap(const CTrapLine& aTrap) {
  if (!TrapsEditable() || !iTrack->ReplaceCurrentTrap(aTrap)) return 0;
  Recompute();
  return 1;
}

int32_t CTrackSession::RemoveCurrentTrap() {
  if (!TrapsEditable() || !iTrack->RemoveCurrentTrap()) return 0;
  Recompute();
  return 1;
}

CTrapLine* CTrackSession::CurrentTrap() const { return IsLapTiming() ? iTrack->CurrentTrap() : nullptr; }

CTrapLine* CTrackSession::TrapAt(int32_t aIndex) const {
  const CTrapLineList* traps = iTrack->Traps();
  return IsLapTiming() && traps ? traps->At(aIndex) : nullptr;
}

int32_t CTrackSession::AddPlacedTrap(int32_t aType, CPwStringC aName, const TPositionPlot& aCentre, TAngle aBearing) {
  if (!aBearing.IsValid()) return 0;
  CTrapLine trap;
  trap.Set(aType, aName, TCoordinate(aCentre.iLatitude), TCoordinate(aCentre.iLongitude), aBearing,
           TDistance::FromMetres(KPlacedTrapWidth), 1);
  return AddTrap(trap);
}

int32_t CTrackSession::AddTrapAtLivePosition(int32_t aType, CPwStringC aName) {
  if (!iRecording || SampleCount() < 2 || !TrapsEditable()) return 0;
  TAngle bearing;
  if (!iModel->SlowBearing().Bearing(bearing)) return 0;
  return AddPlacedTrap(aType, aName, iPlots->PositionList().Last(), bearing);
}

int32_t CTrackSession::AddTrapAtSample(int32_t aIndex, int32_t aType, CPwStringC aName) {
  const CPositionPlotList& positions = iPlots->PositionList();
  if (positions.Count() < 2 || aIndex < 0 || aIndex >= positions.Count() || !TrapsEditable()) return 0;
  return AddPlacedTrap(aType, aName, positions.At(aIndex), BearingAtSample(positions, aIndex));
}

TAngle CTrackSession::BearingAtSample(const CPositionPlotList& aList, int32_t aIndex) {
  if (aIndex < 0 || aIndex >= aList.Count()) return TAngle::Invalid();
  const double degrees = aList.At(aIndex).BearingDegrees();
  if (IsValidReal(degrees)) return TAngle::FromDegrees(degrees);
  // Without a course from the receiver the trace itself tells the direction.
  if (aList.Count() < 2) return TAngle::Invalid();
  const TPosition from = aList.At(aIndex > 0 ? aIndex - 1 : 0).Position();
  const TPosition to = aList.At(aIndex > 0 ? aIndex : 1).Position();
  return from == to ? TAngle::Invalid() : from.Bearing(to);
}

// --- Comparison -----------------------------------------------------------------------------

int32_t CTrackSession::LoadComparisonSession(const CSessionInfo& aRecord) {
  DeleteComparison();
  iTrackBest = false;
  std::unique_ptr<CTrackSession> other(NewL(*iModel));
  if (!other->OpenStoredSession(aRecord)) return 0;
  iComparison = std::move(other);
  iLaps->SetComparisonList(&iComparison->Laps());
  iRuns->SetComparisonList(&iComparison->Runs());
  return 1;
}

void CTrackSession::FinishComparisonLoading() {
  if (!iComparison) return;
  iComparison->FinishLoading();
  iLaps->RecomputeBestAndOptimal();
  iDelta->Reset();
}

void CTrackSession::DeleteComparison() {
  // Its laps may be the reference of the running difference.
  if (iDelta) iDelta->Reset();
  iLaps->SetComparisonList(nullptr);
  iRuns->SetComparisonList(nullptr);
  iComparison.reset();
}

int32_t CTrackSession::CompareToThisLap() {
  DeleteComparison();
  iTrackBest = false;
  if (IsLapTiming()) {
    iLaps->SelectComparison(iLaps->ViewedIndex());
    return 1;
  }
  if (IsPerformanceTesting()) {
    iRuns->SelectComparison(iRuns->Cursor());
    return 1;
  }
  return 0;
}

int32_t CTrackSession::CompareToBest() {
  DeleteComparison();
  iTrackBest = false;
  if (IsLapTiming()) {
    iLaps->SelectComparison(CLapList::KCompareBest);
    return 1;
  }
  if (IsPerformanceTesting()) {
    iRuns->SelectComparison(-1);
    return 1;
  }
  return 0;
}

int32_t CTrackSession::CompareToOptimal() {
  DeleteComparison();
  iTrackBest = false;
  if (!IsLapTiming()) return 0;
  iLaps->SelectComparison(CLapList::KCompareOptimal);
  return 1;
}

const CSessionInfo* CTrackSession::FindTrackBest() const {
  const CSessionList* catalogue = iModel->SessionCatalogue();
  if (!catalogue || !IsLapTiming() || iInfo->TrackName().IsEmpty()) return nullptr;
  const CLap* own = iLaps->BestLap();
  PwTime fastest = own ? own->LapTime() : PwTime::Unset();
  const CSessionInfo* found = nullptr;
  for (int32_t i = 0; i < catalogue->Count(); ++i) {
    const CSessionInfo* entry = catalogue->At(i);
    if (entry->SessionType() != ESessionLapTiming || !entry->TrackName().Equals(iInfo->TrackName())) continue;
    if (entry->Identifier().Equals(iInfo->Identifier()) && entry->StorageRoot().Equals(iInfo->StorageRoot())) continue;
    const PwTime best = entry->BestLapTime();
    if (!best.IsSet() || best.Milliseconds() <= 0 || entry->BestLapIndex() < 0) continue;
    if (!fastest.IsSet() || best < fastest) {
      fastest = best;
      found = entry;
    }
  }
  return found;
}

int32_t CTrackSession::CompareToTrackBest() {
  if (!IsLapTiming()) return 0;
  const CSessionInfo* other = FindTrackBest();
  if (other) {
    // The catalogue entry is copied: loading may refresh the catalogue.
    CSessionInfo record;
    record.SetIdentifier(other->Identifier());
    record.SetStorageRoot(other->StorageRoot());
    record.SetReadOnly(other->IsReadOnly());
    if (LoadComparisonSession(record)) {
      iTrackBest = true;
      return 2;
    }
  }
  if (!iLaps->BestLap()) return 0;
  CompareToBest();
  iTrackBest = true;
  return 1;
}

void CTrackSession::FollowTrackBest() {
  if (!iTrackBest || !iComparison) return;
  const CLap* own = iLaps->BestLap();
  const CLap* other = iComparison->Laps().BestLap();
  if (!own || (other && !(own->LapTime() < other->LapTime()))) return;
  DeleteComparison();
  iLaps->SelectComparison(CLapList::KCompareBest);
}

// --- Import and graphs ----------------------------------------------------------------------

void CTrackSession::StartImport(CPwBase* aImporter) { iImporter.reset(aImporter); }

void CTrackSession::EndImport() {
  iImporter.reset();
  StopRecording();
  iPlots->CloseFile();
  if (iPlots->Path().IsEmpty()) {
    Recompute();
    return;
  }
  // The importer wrote the samples to the file only: read them back so the laps, runs and
  // summary describe what was imported.
  iPlots->StartLoading(&iConverter, iInfo->Identifier(), iInfo->StorageRoot());
  LoadSamplesL();
  // The whole route is in: a track not found by now is not there.
  (void)EndDetection();
}

void CTrackSession::SetGraphGenerator(CPwBase* aGenerator) { iGraphGenerator.reset(aGenerator); }

// --- Queries --------------------------------------------------------------------------------

void CTrackSession::SessionTypeName(int32_t aType, CPwString& aText) {
  switch (aType) {
    case ESessionPerformance: aText.LoadFromResource(R_SESSION_TYPE_PERFORMANCE); break;
    case ESessionDataLogging: aText.LoadFromResource(R_SESSION_TYPE_DATA_LOGGING); break;
    default: aText.LoadFromResource(R_SESSION_TYPE_LAP_TIMING); break;
  }
}

bool CTrackSession::HasResults() const {
  if (IsLapTiming()) {
    for (int32_t i = 0; i < iLaps->LapCount(); ++i)
      if (iLaps->Lap(i)->IsFinished()) return true;
    return false;
  }
  if (IsPerformanceTesting()) return iRuns->BestRunIndex(iCurrentTest) >= 0;
  return false;
}

bool CTrackSession::HasTraps() const {
  const CTrapLineList* traps = iTrack->Traps();
  return traps && traps->Count() > 0;
}
