// The choice of what the open session is compared with: this session or another stored session
// of the same track (or performance test), then one of its laps (or runs); for lap timing also
// the fastest lap of any stored session of the track, which then follows a new best. Loading the other
// session is background work, so the sequence is a small state machine that the end of the
// load resumes.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/worker.h"

class CDialogs;
class CModel;

class CSelectComparison : public CPwBase, public MWorkerObserver {
 public:
  enum TState : int32_t {
    EChooseSession = 0,
    EChooseInThisSession = 1,
    EChooseInOtherSession = 2,
    ELoadOtherSession = 3,
    EEnded = 4,
  };

  CSelectComparison(CModel& aModel, CDialogs& aDialogs) : iModel(&aModel), iDialogs(&aDialogs) {}
  ~CSelectComparison() override;

  // Runs the sequence (only with an open session; a lap-timing session needs a track name).
  void Start();
  // Gives up a load in progress (the session is about to close); nothing is compared.
  void Abandon();
  int32_t State() const { return iState; }
  bool Running() const { return iState != EEnded; }

  // --- MWorkerObserver: the other session was loaded.
  void WorkerDone(int32_t aCode) override;
  void WorkerCancelled() override;

 private:
  // Runs the states until the sequence ends or waits for the load.
  void Run();
  void ChooseSession();
  void LoadOther();
  void ChooseLapOrRun();
  // "Best lap on this track": loads the session that holds it, or ends at once.
  void ChooseTrackBest();
  void End();

  CModel* iModel = nullptr;
  CDialogs* iDialogs = nullptr;
  int32_t iState = EEnded;
  bool iWaiting = false;
  bool iTrackBestLoad = false;  // the load under way is the track's best lap: no lap choice follows
};
