// The analysis view ("Logged data"): the channels of a lap, a performance run or the next
// fifteen minutes of the route as graphs against time or distance, with the map of the same
// stretch and the values at a movable cursor. The views that offer graphs call one of the
// openings; the data is calculated by the session's graph generator on the worker engine
// ("Calculating data...") and the view opens when it is complete.
#pragma once

#include <cstdint>
#include <functional>

#include "app/gui/custom_view.h"
#include "app/views/result_views.h"
#include "foundation/worker.h"

class CGraphControl;
class CGraphGenerator;
class CGraphInfoControl;
class CGraphMapControl;
class CModel;

namespace pwcmd {
constexpr int32_t KGraphSettings = 4109;
constexpr int32_t KToggleMap = 4208;
constexpr int32_t KShowMap = 4209;
constexpr int32_t KHideMap = 4210;
constexpr int32_t KToggleZoomedY = 4211;
constexpr int32_t KZoomedY = 4212;
constexpr int32_t KNormalY = 4213;
constexpr int32_t KToggleComparison = 4214;
constexpr int32_t KShowComparison = 4215;
constexpr int32_t KHideComparison = 4216;
}  // namespace pwcmd

// The content of the analysis view: the graph, the value line at the bottom and the map
// above the graph (or no map, by the kind's layout mode).
class CAnalyzeControl : public CContainerControl {
 public:
  static CAnalyzeControl* NewL(CCustomControl* aParent, CModel& aModel);
  ~CAnalyzeControl() override;

  CGraphControl& Graph() const { return *iGraph; }
  CGraphInfoControl& Info() const { return *iInfo; }
  CGraphMapControl& Map() const { return *iMap; }
  // Brings the map's cursor samples up to date now (else the next painting does it).
  void SyncMap();

  void SetRect(const TPwRect& aRect) override;
  // The graph's cursor moved: the map and the value line follow at the next painting.
  void ChildChanged(CCustomControl* aControl) override;
  void Draw() override;

 private:
  CAnalyzeControl() = default;
  void ConstructL(CCustomControl* aParent, CModel& aModel);

  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);

  CModel* iModel = nullptr;
  CGraphControl* iGraph = nullptr;     // owned
  CGraphInfoControl* iInfo = nullptr;  // owned
  CGraphMapControl* iMap = nullptr;    // owned
  bool iMapStale = true;
};

class CAnalyzeView : public CCustomView, public MWorkerObserver, public MGraphOpener {
 public:
  explicit CAnalyzeView(CModel& aModel);
  ~CAnalyzeView() override;

  // --- Openings. Each discards the previous graph data first; a request the generator
  // refuses (no session data, no lap or run) shows nothing.
  // The next fifteen minutes from the route's current sample.
  void OpenRouteGraph() override;
  // The lap list's viewed lap: aWholeLap 1 the whole lap ("Open graph"), 0 the selected sector
  // ("Sector graph"). Lap-timing sessions only.
  void OpenLapGraph(int32_t aWholeLap);
  // The selected run's result in test aTest (-1: the test list's selected test).
  // Performance-testing sessions only.
  void OpenRunGraph(int32_t aTest);
  void OpenRunGraph() override { OpenRunGraph(-1); }
  // The graph settings changed: calculates the same data again and calls aDone (which closes
  // the settings editor) when it is complete.
  void Reopen(std::function<void()> aDone);

  // The open session's graph generator (made on first use); null without a session.
  CGraphGenerator* Generator();
  CAnalyzeControl* Content() const { return iContent; }
  bool ReopenPending() const { return iReopenPending; }

  int32_t ViewNumber() override { return 1; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iContent; }
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MWorkerObserver
  void WorkerDone(int32_t aCode) override;
  void WorkerCancelled() override;

 private:
  // Builds the lists with the settings and starts the worker.
  void Calculate();
  // The kind's flags with aFlag set or cleared.
  void SetFlag(int32_t aFlag, bool aOn);
  bool Flag(int32_t aFlag) const;
  int32_t CurrentKind() const;
  void Relayout();
  void Repaint();
  // "Back" from a route graph: the route's current sample goes to the graph cursor.
  void MoveRouteCursor();
  void OpenOptionsMenu();
  void Dispatch(int32_t aCommand);

  CModel* iModel;
  bool iReopenPending = false;
  CAnalyzeControl* iContent = nullptr;  // owned while active
  std::function<void()> iReopenDone;
};
