// What the route view and the performance results view share. The graphs: the analysis view
// (view number 1) answers for the openings it offers through MGraphOpener; the result views ask
// through OpenGraph, so they do not depend on the analysis view's class, and while no
// registered view answers, asking opens nothing. And the font-size keys "5" and "6".
#pragma once

#include <cstdint>

#include "app/gui/gui.h"
#include "app/views/view_access.h"

class MGraphOpener {
 public:
  // The next 15 minutes of the route from the position list's cursor.
  virtual void OpenRouteGraph() = 0;
  // The selected run's result in the test list's selected test.
  virtual void OpenRunGraph() = 0;

 protected:
  ~MGraphOpener() = default;
};

enum TGraphOpening : int32_t { EOpenRouteGraph = 0, EOpenRunGraph = 1 };

// 1 when a view took the request, 0 when none answers for graphs.
inline int32_t OpenGraph(const CModel& aModel, int32_t aOpening) {
  MGraphOpener* opener = ViewOf<MGraphOpener>(aModel, CGui::EAnalyzeView);
  if (!opener) return 0;
  if (aOpening == EOpenRouteGraph) opener->OpenRouteGraph();
  else opener->OpenRunGraph();
  return 1;
}

// The font scale of the settings stepped by the "5" and "6" keys of the result views: tenths
// within 70 to 160 per cent. True when it changed.
bool StepFontScale(CModel& aModel, int32_t aDelta);
