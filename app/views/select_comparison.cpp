#include "app/views/select_comparison.h"

#include "app/dialogs/dialogs.h"
#include "app/model.h"
#include "storage/plot_list_loader.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/lap.h"
#include "timing/track_session.h"

namespace {

void AddRow(CPwStringList& aRows, uint16_t aId) {
  CPwString text;
  text.LoadFromResource(aId);
  aRows.AppendCopy(text);
}

// "%N. %U" with the time, or "%N. Not finished".
void AddTimedRow(CPwStringList& aRows, int32_t aNumber, PwTime aTime, bool aFinished, const CSettings& aSettings) {
  CPwString text;
  if (aFinished) {
    CPwString time;
    aTime.FormatDuration(time, aSettings.TimerDecimals(), false, true);
    text.FormatUN(R_SC_ROW, time, aNumber);
  } else {
    text.FormatN(R_SC_NOT_FINISHED, aNumber);
  }
  aRows.AppendCopy(text);
}

bool SameSession(const CSessionInfo& a, const CSessionInfo& b) {
  return a.Identifier().Equals(b.Identifier()) && a.StorageRoot().Equals(b.StorageRoot());
}

}  // namespace

CSelectComparison::~CSelectComparison() { Abandon(); }

void CSelectComparison::Abandon() {
  if (!iWaiting) return;
  iWaiting = false;
  iState = EEnded;
  CTrackSession* session = iModel->TrackSession();
  CWorkerEngine& engine = iModel->WorkerEngine();
  if (session && session->ComparisonSession() && engine.Worker() &&
      engine.Worker() == session->ComparisonSession()->SamplesLoader())
    engine.Cancel();
  if (session) session->DeleteComparison();
}

void CSelectComparison::Start() {
  CTrackSession* session = iModel->TrackSession();
  if (!session || iWaiting) return;
  if (session->IsLapTiming() && session->Info().TrackName().IsEmpty()) return;
  if (session->IsDataLogging()) return;
  iState = EChooseSession;
  Run();
}

void CSelectComparison::Run() {
  while (iState != EEnded && !iWaiting) {
    if (!iModel->TrackSession()) {
      iState = EEnded;
      break;
    }
    switch (iState) {
      case EChooseSession:
        ChooseSession();
        break;
      case ELoadOtherSession:
        LoadOther();
        break;
      default:
        ChooseLapOrRun();
        break;
    }
  }
  if (iState == EEnded) End();
}

void CSelectComparison::ChooseSession() {
  CTrackSession* session = iModel->TrackSession();
  session->RefreshSessionFilter();
  CSessionFilterList& filter = session->SessionFilter();
  CPwStringList rows;
  AddRow(rows, R_SC_THIS_SESSION);
  int32_t focus = 0;
  const CTrackSession* other = session->ComparisonSession();
  for (int32_t i = 0; i < filter.Count(); ++i) {
    rows.AppendCopy(filter.At(i)->Title());
    if (other && SameSession(*filter.At(i), other->Info())) focus = i + 1;
  }
  // Last, so that the rows before it stay where they always were.
  const int32_t trackBest = session->IsLapTiming() ? rows.Count() : -1;
  if (trackBest >= 0) {
    AddRow(rows, R_SC_TRACK_BEST);
    if (session->ComparesToTrackBest()) focus = trackBest;
  }
  CPwString title;
  title.LoadFromResource(R_SC_SELECT_SESSION);
  const int32_t chosen = iDialogs->SelectFromList(title, CPwStringC(), rows, focus);
  if (chosen < 0) {
    iState = EEnded;
  } else if (chosen == trackBest) {
    ChooseTrackBest();
  } else if (chosen == 0) {
    iState = EChooseInThisSession;
  } else {
    filter.SetSelectedIndex(chosen - 1);
    iState = ELoadOtherSession;
  }
}

void CSelectComparison::ChooseTrackBest() {
  CTrackSession* session = iModel->TrackSession();
  iState = EEnded;
  const int32_t found = session->CompareToTrackBest();
  if (found == 0) {
    iDialogs->ShowNote(CDialogs::EConfirmedError, R_SC_NO_TRACK_LAPS);
    return;
  }
  if (found == 1) {
    session->Laps().RecomputeBestAndOptimal();
    return;
  }
  CPlotListLoader* loader = session->ComparisonSession()->SamplesLoader();
  iTrackBestLoad = true;
  if (!loader) {
    WorkerDone(KErrNone);
    return;
  }
  iState = ELoadOtherSession;  // running until the load ends
  iWaiting = true;
  if (Trap([&] { iModel->RunWorker(loader, this, R_SESSION_LOADING); }) != KErrNone) {
    iWaiting = false;
    iTrackBestLoad = false;
    session->DeleteComparison();
    iState = EEnded;
  }
}

void CSelectComparison::LoadOther() {
  CTrackSession* session = iModel->TrackSession();
  CSessionInfo* record = session->SessionFilter().Selected();
  if (!record) {
    iState = EEnded;
    return;
  }
  if (session->ComparisonSession() && SameSession(session->ComparisonSession()->Info(), *record)) {
    iState = EChooseInOtherSession;
    return;
  }
  if (!session->LoadComparisonSession(*record)) {
    iState = EEnded;
    return;
  }
  CPlotListLoader* loader = session->ComparisonSession()->SamplesLoader();
  if (!loader) {
    WorkerDone(KErrNone);
    return;
  }
  iWaiting = true;
  if (Trap([&] { iModel->RunWorker(loader, this, R_SESSION_LOADING); }) != KErrNone) {
    iWaiting = false;
    session->DeleteComparison();
    iState = EEnded;
  }
}

void CSelectComparison::WorkerDone(int32_t aCode) {
  const bool resumed = iWaiting;
  const bool trackBest = iTrackBestLoad;
  iWaiting = false;
  iTrackBestLoad = false;
  CTrackSession* session = iModel->TrackSession();
  if (!session || !session->ComparisonSession()) {
    iState = EEnded;
  } else if (aCode != KErrNone) {
    if (session->ComparisonSession()->SamplesLoader()) session->ComparisonSession()->SamplesLoader()->Cancel();
    session->DeleteComparison();
    CPwString text;
    CSessionInfo::LoadFailureMessage(aCode, text);
    iDialogs->ShowNote(CDialogs::EConfirmedError, text);
    iState = EEnded;
  } else {
    session->FinishComparisonLoading();
    CTrackSession* other = session->ComparisonSession();
    if (session->IsLapTiming() && !other->HasResults()) {
      session->DeleteComparison();
      iDialogs->ShowNote(CDialogs::EConfirmedError, R_SC_NO_LAPS);
      iState = EEnded;
    } else if (session->IsPerformanceTesting() &&
               (session->CurrentTest() < 0 || other->Runs().BestRunIndex(session->CurrentTest()) < 0)) {
      session->DeleteComparison();
      iDialogs->ShowNote(CDialogs::EConfirmedError, R_SC_NO_RUNS);
      iState = EEnded;
    } else if (trackBest) {
      // Its best lap is the reference; nothing more to choose.
      session->Laps().RecomputeBestAndOptimal();
      iState = EEnded;
    } else {
      iState = EChooseInOtherSession;
    }
  }
  // Called from the worker engine: the sequence goes on from here.
  if (resumed) Run();
}

void CSelectComparison::WorkerCancelled() {
  iWaiting = false;
  iTrackBestLoad = false;
  if (CTrackSession* session = iModel->TrackSession()) session->DeleteComparison();
  iState = EEnded;
  End();
}

void CSelectComparison::ChooseLapOrRun() {
  CTrackSession* session = iModel->TrackSession();
  const bool own = iState == EChooseInThisSession;
  CTrackSession* source = own ? session : session->ComparisonSession();
  if (!source) {
    iState = EChooseSession;
    return;
  }
  CPwString title;
  if (own) title.LoadFromResource(R_SC_THIS_SESSION);
  else title.Copy(source->Info().Title());
  const CSettings& settings = iModel->Settings();
  CPwStringList rows;
  if (session->IsLapTiming()) {
    CLapList& laps = source->Laps();
    AddRow(rows, R_SC_BEST_LAP);
    AddRow(rows, R_SC_OPTIMAL_LAP);
    for (int32_t i = 0; i < laps.LapCount(); ++i) {
      const CLap* lap = laps.Lap(i);
      AddTimedRow(rows, i + 1, lap ? lap->LapTime() : PwTime::Unset(), lap && lap->IsFinished(), settings);
    }
    const int32_t current = laps.ComparisonSelection();
    const int32_t focus = current == -1 ? 0 : (current == -2 ? 1 : current + 2);
    const int32_t chosen = iDialogs->SelectFromList(title, CPwStringC(), rows, focus);
    if (chosen < 0) {
      iState = EChooseSession;
      return;
    }
    const int32_t selection = chosen == 0 ? -1 : (chosen == 1 ? -2 : chosen - 2);
    if (own) {
      // This session's own lap: no other session stays loaded.
      session->DeleteComparison();
      session->Laps().SelectComparison(selection);
    } else {
      laps.SelectComparison(selection);
      session->Laps().RecomputeBestAndOptimal();
    }
  } else {
    CRunList& runs = source->Runs();
    const int32_t test = session->CurrentTest();
    AddRow(rows, R_SC_BEST_RUN);
    for (int32_t i = 0; i < runs.Count(); ++i) {
      const CPerformance* result = test >= 0 ? CRunList::Performance(runs.Run(i), test, true) : nullptr;
      AddTimedRow(rows, i + 1, result ? result->ResultTime() : PwTime::Unset(), result != nullptr, settings);
    }
    const int32_t current = runs.ComparisonSelection();
    const int32_t chosen = iDialogs->SelectFromList(title, CPwStringC(), rows, current < 0 ? 0 : current + 1);
    if (chosen < 0) {
      iState = EChooseSession;
      return;
    }
    if (own) session->DeleteComparison();
    runs.SelectComparison(chosen == 0 ? -1 : chosen - 1);
  }
  iState = EEnded;
}

void CSelectComparison::End() {
  iState = EEnded;
  iModel->UpdateViews(2);
}
