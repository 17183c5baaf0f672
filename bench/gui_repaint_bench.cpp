// A full repaint of a 360x640 view: the start menu's kind of content (a two-line item list with
// icons), the panes and the toolbar with its softkeys, drawn into the double buffer.
#include <benchmark/benchmark.h>

#include "app/controls/item_list.h"
#include "app/gui/custom_view.h"
#include "app/gui/gui.h"
#include "bench/null_window.h"

namespace {

class ListView final : public CCustomView, public MItemListObserver {
 public:
  ~ListView() override { delete iList; }
  int32_t ViewNumber() override { return 14; }
  void Activate() override {
    iList = new CItemListControl(this, this);
    static const char* const KIcons[] = {"new_session", "sessions", "tracks", "tests", "settings"};
    for (int32_t i = 0; i < 12; ++i)
      iList->AddItemL(u"Previous sessions", u"128 sessions on My Documents", 4150, KIcons[i % 5]);
    ShowChrome(u"Start menu - Pacewright", 4153, 4105, 4098);
  }
  void Deactivate() override {}
  CCustomControl* ContentControl() override { return iList; }
  void ItemActivated(CItemListControl&, int32_t) override {}
  CItemListControl* iList = nullptr;
};

void BM_FullRepaint360x640(benchmark::State& aState) {
  pwbench::TNullWindow window;
  CGui* gui = CGui::NewL(nullptr);
  gui->SetGuiObserver(&window);
  gui->RegisterViewL(new ListView());
  gui->ActivateFirstView();
  gui->SetClientRect(TPwRect{0, 0, 360, 640});
  gui->FinishEvent();
  gui->DrawL();  // fonts, glyph caches and icons are made once
  for (auto _ : aState) {
    gui->Invalidate();
    gui->DrawL();
    benchmark::DoNotOptimize(gui->Surface()->Pixels());
  }
  delete gui;
}
BENCHMARK(BM_FullRepaint360x640)->Unit(benchmark::kMicrosecond);

}  // namespace
