// The GUI core without a model: the control tree's invalidation and routing, view switching
// after the event, the GUI timers on one window timer, the toolbar with its softkeys and
// "More" menu, the layout tables, and drawing without icons or fonts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "app/gui/menu.h"
#include "gui_harness.h"
#include "strings/pw_strings.h"

namespace {

using pwtest::BareGui;

// A control that records what reaches it and consumes what it is told to.
class Probe final : public CCustomControl {
 public:
  Probe(CCustomControl* aParent, std::string aName, std::vector<std::string>& aLog)
      : CCustomControl(aParent), iName(std::move(aName)), iLog(&aLog) {}
  int32_t HandleKey(int32_t, int32_t) override {
    iLog->push_back(iName + ":key");
    return iConsume ? 0 : 1;
  }
  int32_t HandlePointer(int32_t aKind, int32_t, int32_t) override {
    iLog->push_back(iName + ":ptr" + std::to_string(aKind));
    return iConsume ? 0 : 1;
  }
  int32_t HandleCommand(int32_t aCommand) override {
    iLog->push_back(iName + ":cmd" + std::to_string(aCommand));
    return iConsume ? 0 : 1;
  }
  int32_t TakesKeysWhenHidden() override { return iKeysWhenHidden; }
  void TimerExpired() override { iLog->push_back(iName + ":timer"); }
  void Draw() override { ++iDraws; }
  std::string iName;
  std::vector<std::string>* iLog;
  bool iConsume = false;
  int32_t iKeysWhenHidden = 0;
  int32_t iDraws = 0;
};

class ProbeContainer final : public CContainerControl {
 public:
  ProbeContainer(std::vector<std::string>& aLog) : iLog(&aLog) {}
  int32_t HandleKey(int32_t, int32_t) override {
    iLog->push_back("parent:key");
    return 1;
  }
  int32_t HandlePointer(int32_t aKind, int32_t, int32_t) override {
    iLog->push_back("parent:ptr" + std::to_string(aKind));
    return 1;
  }
  std::vector<std::string>* iLog;
};

TEST(ControlTreeTest, InvalidatingAControlMarksItsAncestorsAndTheSiblingsItOverlaps) {
  std::vector<std::string> log;
  ProbeContainer root(log);
  Probe a(nullptr, "a", log), b(nullptr, "b", log), c(nullptr, "c", log);
  root.AddChildL(&a);
  root.AddChildL(&b);
  root.AddChildL(&c);
  a.SetRect(TPwRect{0, 0, 100, 100});
  b.SetRect(TPwRect{50, 50, 200, 150});  // overlaps a
  c.SetRect(TPwRect{300, 300, 320, 320});
  root.ClearDirtyTreeForTest();
  EXPECT_FALSE(root.NeedsDrawing());

  a.Invalidate();
  EXPECT_EQ(a.DirtyRect(), (TPwRect{0, 0, 100, 100}));
  EXPECT_EQ(root.DirtyRect(), (TPwRect{0, 0, 200, 150})) << "the overlapped sibling is repainted too";
  root.ClearDirtyTreeForTest();
  // An empty rectangle marks nothing.
  a.InvalidateRect(TPwRect{10, 10, 10, 20});
  EXPECT_FALSE(root.NeedsDrawing());
  // Hiding repaints what the control covered; showing it again too.
  c.SetVisible(false);
  EXPECT_EQ(root.DirtyRect(), (TPwRect{300, 300, 320, 320}));
  root.RemoveChild(&a);
  root.RemoveChild(&b);
  root.RemoveChild(&c);
}

TEST(ControlTreeTest, KeysReachTheLastChildFirstAndPointerDownsOnlyTheChildUnderThePoint) {
  std::vector<std::string> log;
  ProbeContainer root(log);
  Probe a(nullptr, "a", log), b(nullptr, "b", log), hidden(nullptr, "hidden", log);
  root.AddChildL(&a);
  root.AddChildL(&b);
  root.AddChildL(&hidden);
  a.SetRect(TPwRect{0, 0, 100, 100});
  b.SetRect(TPwRect{100, 0, 200, 100});
  hidden.SetRect(TPwRect{0, 0, 200, 100});
  hidden.SetVisible(false);

  EXPECT_EQ(root.DispatchKey(0xF800, 0), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"b:key", "a:key", "parent:key"}));
  log.clear();
  hidden.iKeysWhenHidden = 1;
  b.iConsume = true;
  EXPECT_EQ(root.DispatchKey(0xF800, 0), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"hidden:key", "b:key"})) << "consumed: a and the parent never see it";
  b.iConsume = false;

  log.clear();
  (void)root.DispatchPointer(0, 500, 500);
  EXPECT_EQ(log, (std::vector<std::string>{"parent:ptr0"})) << "a down outside every child";
  log.clear();
  (void)root.DispatchPointer(0, 50, 50);
  EXPECT_EQ(log, (std::vector<std::string>{"a:ptr0", "parent:ptr0"}));
  log.clear();
  (void)root.DispatchPointer(1, 50, 50);
  EXPECT_EQ(log, (std::vector<std::string>{"b:ptr1", "a:ptr1", "parent:ptr1"})) << "moves reach every visible child";
  root.RemoveChild(&a);
  root.RemoveChild(&b);
  root.RemoveChild(&hidden);
}

// --- Timers ---------------------------------------------------------------------------------------

TEST(GuiTimerTest, TwoTimersShareTheWindowTimerAndFireOneEventEach) {
  BareGui bare;
  std::vector<std::string> log;
  Probe slow(bare.iGui.get(), "slow", log), fast(bare.iGui.get(), "fast", log);
  slow.StartTimer(100);
  fast.StartTimer(50);
  EXPECT_EQ(bare.iWindow.iTimerRequests, (std::vector<int32_t>{100, 50}));
  EXPECT_EQ(bare.iGui->PendingTimerCount(), 2);

  bare.iWindow.Advance(50);
  EXPECT_EQ(log, (std::vector<std::string>{"fast:timer"}));
  EXPECT_EQ(bare.iWindow.iTimerRequests.back(), 50) << "re-armed for the remaining 50 ms";
  bare.iWindow.Advance(49);
  EXPECT_EQ(log.size(), 1u);
  bare.iWindow.Advance(1);
  EXPECT_EQ(log, (std::vector<std::string>{"fast:timer", "slow:timer"}));
  EXPECT_FALSE(bare.iWindow.TimerArmed());

  // Starting again replaces the pending timer; an early wake fires nothing.
  slow.StartTimer(100);
  slow.StartTimer(300);
  EXPECT_EQ(bare.iGui->PendingTimerCount(), 1);
  bare.iWindow.iNow += 100;
  bare.iGui->TimerDue();
  EXPECT_EQ(log.size(), 2u);
  EXPECT_EQ(bare.iWindow.iTimerRequests.back(), 200);
  bare.iWindow.Advance(200);
  EXPECT_EQ(log.back(), "slow:timer");

  // Two records due at once fire on two window-timer events, the second armed with delay 0.
  slow.StartTimer(10);
  fast.StartTimer(10);
  bare.iWindow.iNow += 20;
  bare.iGui->TimerDue();
  EXPECT_EQ(log.back(), "slow:timer");
  EXPECT_EQ(bare.iWindow.iTimerRequests.back(), 0);
  bare.iGui->TimerDue();
  EXPECT_EQ(log.back(), "fast:timer");
}

TEST(GuiTimerTest, DestroyingAControlCancelsItsTimer) {
  BareGui bare;
  std::vector<std::string> log;
  {
    Probe gone(bare.iGui.get(), "gone", log);
    gone.StartTimer(10);
    EXPECT_EQ(bare.iGui->PendingTimerCount(), 1);
  }
  EXPECT_EQ(bare.iGui->PendingTimerCount(), 0);
  bare.iWindow.Advance(100);
  EXPECT_TRUE(log.empty());
}

// --- Views -------------------------------------------------------------------------------------------

class TestView final : public CCustomView {
 public:
  TestView(int32_t aNumber, std::vector<std::string>& aLog) : iNumber(aNumber), iLog(&aLog) {}
  ~TestView() override { delete iContent; }
  int32_t ViewNumber() override { return iNumber; }
  void Activate() override {
    iLog->push_back("activate " + std::to_string(iNumber));
    if (!iContent) iContent = new Probe(this, "content" + std::to_string(iNumber), *iLog);
    ShowChrome(u"Test view", iLeft, pwcmd::KOpen, pwcmd::KBack);
    if (iToolbar) ViewObserver()->SetToolbar(iToolbar);
  }
  void Deactivate() override {
    iLog->push_back("deactivate " + std::to_string(iNumber));
    delete iContent;
    iContent = nullptr;
  }
  CCustomControl* ContentControl() override { return iContent; }
  int32_t HandleKey(int32_t aKey, int32_t) override {
    if (aKey == 'O') {
      ViewObserver()->OpenView(iOpenOnKey);
      // Still the current view while the key is handled.
      iLog->push_back(std::string("during key current ") +
                      std::to_string(static_cast<CGui*>(Parent())->CurrentView()->ViewNumber()));
      return 0;
    }
    return 1;
  }
  int32_t HandleCommand(int32_t aCommand) override {
    iLog->push_back("view cmd " + std::to_string(aCommand));
    if (aCommand == pwcmd::KBack) ViewObserver()->Back();
    return aCommand == pwcmd::KExit ? 1 : 0;
  }
  int32_t CommandState(int32_t aCommand) override {
    if (aCommand == iDisabled) return ECommandDisabled;
    if (aCommand == iHidden) return ECommandNotOffered;
    return CCustomView::CommandState(aCommand);
  }
  int32_t iNumber;
  std::vector<std::string>* iLog;
  Probe* iContent = nullptr;
  int32_t iOpenOnKey = 8;
  int32_t iLeft = pwcmd::KExit;
  int32_t iDisabled = 0;
  int32_t iHidden = 0;
  CToolbar* iToolbar = nullptr;
};

struct ViewsGui : BareGui {
  ViewsGui() {
    start = new TestView(CGui::EStartupView, log);
    menu = new TestView(CGui::EMainView, log);
    list = new TestView(CGui::ESessionListView, log);
    iGui->RegisterViewL(start);
    iGui->RegisterViewL(menu);
    iGui->RegisterViewL(list);
    iGui->ActivateFirstView();
  }
  // The views log into this object, so the GUI goes first.
  ~ViewsGui() { iGui.reset(); }
  std::vector<std::string> log;
  TestView* start;
  TestView* menu;
  TestView* list;
};

TEST(GuiViewsTest, OpeningAViewWhileHandlingAKeySwitchesOnlyAfterTheEvent) {
  ViewsGui g;
  EXPECT_EQ(g.iGui->CurrentView(), g.start);
  g.log.clear();
  g.iGui->Key('O', false);
  EXPECT_EQ(g.log, (std::vector<std::string>{"content14:key", "during key current 14"}));
  EXPECT_EQ(g.iGui->CurrentView(), g.start);
  EXPECT_EQ(g.iGui->PendingView(), g.menu);
  g.iWindow.Finish();
  EXPECT_EQ(g.iGui->CurrentView(), g.menu);
  EXPECT_EQ(g.iGui->PendingView(), nullptr);
  EXPECT_EQ(g.log[2], "deactivate 14");
  EXPECT_EQ(g.log[3], "activate 8");
  EXPECT_EQ(g.menu->Rect(), g.iGui->ViewRect());
  EXPECT_FALSE(g.iGui->ViewRect().IsEmpty());
  EXPECT_EQ(g.iGui->Navi().Title(), CPwStringC(u"Test view"));

  // Unknown numbers change nothing; Back needs two views on the stack.
  g.iGui->OpenView(99);
  EXPECT_EQ(g.iGui->PendingView(), nullptr);
  g.iGui->Back();
  EXPECT_EQ(g.iGui->PendingView(), nullptr);
  g.menu->iOpenOnKey = CGui::ESessionListView;
  g.iWindow.Press('O');
  EXPECT_EQ(g.iGui->CurrentView(), g.list);
  EXPECT_EQ(g.iGui->BackStackCount(), 2);
  // "Back" (the right softkey) returns to the start menu.
  g.iWindow.Press(0xF806);
  EXPECT_EQ(g.iGui->CurrentView(), g.menu);
  EXPECT_TRUE(g.iGui->LastChangeWasBack());
  EXPECT_EQ(g.iGui->BackStackCount(), 1);
}

TEST(GuiViewsTest, AnUnconsumedExitEndsTheProgramAndSoftkeysFollowTheCommandStates) {
  ViewsGui g;
  g.iGui->OpenView(CGui::EMainView);
  g.iWindow.Finish();
  g.log.clear();
  // Enter issues the middle softkey, the left softkey key the left command.
  g.iWindow.Press(0xF800);
  EXPECT_EQ(g.log, (std::vector<std::string>{"content8:cmd4105", "view cmd 4105"}));
  g.log.clear();
  g.iWindow.Press(0xF805);
  EXPECT_EQ(g.iWindow.iExits, 1) << "4098 that no control consumes exits";
  // A disabled command consumes its key and does nothing.
  g.menu->iDisabled = pwcmd::KOpen;
  g.log.clear();
  g.iWindow.Press(0xF800);
  EXPECT_TRUE(g.log.empty());
  // A blank middle softkey leaves Enter to the view.
  g.iGui->SetSoftkeys(TSoftkey(), TSoftkey(), TSoftkey());
  g.iWindow.Press(0xF800);
  EXPECT_EQ(g.log, (std::vector<std::string>{"content8:key"}));
}

TEST(GuiToolbarTest, SoftkeyButtonsAreTappedAndExtraItemsGoIntoTheMoreMenu) {
  ViewsGui g;
  g.iGui->OpenView(CGui::EMainView);
  g.iWindow.Finish();
  CToolbarControl& bar = g.iGui->ToolbarControl();
  ASSERT_FALSE(bar.Rect().IsEmpty());
  EXPECT_EQ(bar.Rect().iBottom, 640);
  ASSERT_EQ(bar.ButtonCount(), 2);
  EXPECT_EQ(bar.ButtonAt(0)->Desc().iCommand, pwcmd::KExit);
  EXPECT_EQ(bar.ButtonAt(1)->Desc().iCommand, pwcmd::KBack);
  EXPECT_EQ(bar.ButtonAt(1)->Label(), CPwStringC(u"Back"));
  EXPECT_EQ(bar.ButtonAt(0)->Rect().iLeft, 0);
  EXPECT_EQ(bar.ButtonAt(1)->Rect().iRight, 360);

  // Pressing, sliding out and releasing outside issues nothing.
  const TPwRect back = bar.ButtonAt(1)->Rect();
  const int32_t cx = (back.iLeft + back.iRight) / 2, cy = (back.iTop + back.iBottom) / 2;
  g.iGui->Pointer(0, cx, cy);
  EXPECT_TRUE(bar.ButtonAt(1)->IsPressed());
  g.iGui->Pointer(1, 10, 10);
  EXPECT_FALSE(bar.ButtonAt(1)->IsPressed());
  g.iGui->Pointer(2, 10, 10);
  g.iWindow.Finish();
  g.log.clear();
  g.iWindow.Tap(cx, cy);
  EXPECT_EQ(g.log, (std::vector<std::string>{"content8:cmd4107", "view cmd 4107"}));

  // A toolbar with more items than slots: first item left, back right, "More" before it.
  CToolbar toolbar;
  toolbar.SetBackL(pwcmd::KBack, R_SK_BACK);
  for (int32_t command : {5001, 5002, 5003, 5004, 5005}) toolbar.AddItemL(command, R_SK_OK);
  toolbar.AddItemL(5006, R_SK_START, 5007, R_SK_PAUSE);  // a toggle pair
  g.list->iToolbar = &toolbar;
  g.list->iHidden = 5006;
  g.iGui->OpenView(CGui::ESessionListView);
  g.iWindow.Finish();
  const int32_t slots = g.iGui->Buffer()->Layout().ToolbarSlots();
  ASSERT_GE(slots, 3);
  ASSERT_EQ(bar.ButtonCount(), slots);
  EXPECT_EQ(bar.ButtonAt(0)->Desc().iCommand, 5001);
  EXPECT_EQ(bar.ButtonAt(slots - 1)->Desc().iCommand, pwcmd::KBack);
  CToolbarButtonControl* more = bar.ButtonAt(slots - 2);
  EXPECT_TRUE(more->Desc().iMore);
  EXPECT_EQ(more->Label(), CPwStringC(u"More"));

  const TPwRect m = more->Rect();
  g.iWindow.Tap((m.iLeft + m.iRight) / 2, (m.iTop + m.iBottom) / 2);
  auto* menu = dynamic_cast<CMenuControl*>(g.iGui->DialogManager().Top());
  ASSERT_NE(menu, nullptr);
  // Every offered item, the toggle pair showing its second command.
  ASSERT_EQ(menu->Count(), 6);
  g.log.clear();
  const TPwRect last = menu->EntryRect(5);
  g.iWindow.Tap((last.iLeft + last.iRight) / 2, (last.iTop + last.iBottom) / 2);
  EXPECT_EQ(g.log, (std::vector<std::string>{"content9:cmd5007", "view cmd 5007"}));
  EXPECT_EQ(g.iGui->DialogManager().DialogCount(), 0);
  EXPECT_TRUE(g.iGui->DialogManager().Rect().IsEmpty());
  g.list->iToolbar = nullptr;
  g.iGui->SetToolbar(nullptr);
}

// --- Layout ---------------------------------------------------------------------------------------

TEST(LayoutTest, NearestResolutionColoursAndFonts) {
  TLayoutResolution r = CLayout::NearestResolution(360, 640);
  EXPECT_EQ(r.iScreenWidth, 480);
  EXPECT_EQ(r.iScreenHeight, 640);
  EXPECT_EQ(r.iIconWidth, 64);
  r = CLayout::NearestResolution(240, 320);
  EXPECT_EQ(r.iIconWidth, 32);
  r = CLayout::NearestResolution(176, 220);
  EXPECT_EQ(r.iIconWidth, 16);
  // Ties keep the first entry: 240x280 is as near to 240x240 as to 240x320.
  r = CLayout::NearestResolution(240, 280);
  EXPECT_EQ(r.iScreenHeight, 240);
  // A tiny surface is nearer to nothing than to any entry.
  r = CLayout::NearestResolution(1, 1);
  EXPECT_EQ(r.iScreenWidth, 0);
  EXPECT_EQ(r.iIconWidth, 16);

  EXPECT_EQ(CLayout::Colour(0), 0xFFFF00u);
  EXPECT_EQ(CLayout::Colour(3), 0xFF0000u);
  EXPECT_EQ(CLayout::Colour(5), 0x0000FFu);
  EXPECT_EQ(CLayout::Colour(6), 0xAAAAAAu);
  EXPECT_EQ(CLayout::Colour(-1), 0xAAAAAAu);
  EXPECT_EQ(CLayout::Colour(0, true), 0x8C8C00u);
  EXPECT_EQ(CLayout::Colour(6, true), 0x5D5D5Du);

  std::unique_ptr<CLayout> layout(CLayout::NewL());
  EXPECT_EQ(layout->Font(CLayout::EFontTitle).Face(), EPwFontBold);
  EXPECT_EQ(layout->Font(CLayout::EFontNormal).Face(), EPwFontSans);
  EXPECT_GT(layout->FontPixelSize(CLayout::EFontHuge), layout->FontPixelSize(CLayout::EFontTitle));
  EXPECT_EQ(layout->FontPixelSize(CLayout::EFontScaledText), layout->FontPixelSize(CLayout::EFontText));
  std::unique_ptr<CLayout> scaled(CLayout::NewL());
  scaled->SetFontPercent(200);
  EXPECT_NEAR(scaled->FontPixelSize(CLayout::EFontScaledText), 2 * layout->FontPixelSize(CLayout::EFontText), 1);
}

TEST(GuiDrawingTest, DrawsWithoutIconsOrFontsAndCopesWithOddSizes) {
  CPwFont::SetFontFolder(u"/nonexistent/fonts/");
  {
    ViewsGui g;
    g.iGui->Buffer()->Layout().SetIconFolder(u"/nonexistent/icons/");
    g.iGui->OpenView(CGui::EMainView);
    g.iWindow.Finish();
    EXPECT_TRUE(g.iGui->Buffer()->Layout().Font(0).IsBuiltIn());
    EXPECT_EQ(g.iGui->Buffer()->Layout().Icon("exit"), nullptr);
    EXPECT_FALSE(g.iGui->NeedsDrawing());
    // A window shrunk to nothing and grown again.
    for (TPwRect size : {TPwRect{0, 0, 0, 0}, TPwRect{0, 0, 1, 1}, TPwRect{0, 0, 800, 480}, TPwRect{0, 0, 360, 640}}) {
      g.iGui->SetClientRect(size);
      g.iWindow.Paint();
      EXPECT_FALSE(g.iGui->NeedsDrawing());
    }
    EXPECT_EQ(g.iGui->Surface()->Width(), 360);
  }
  CPwFont::SetFontFolder(CPwStringC());
}

TEST(GuiDrawingTest, RepaintsOnlyWhatIsDirty) {
  ViewsGui g;
  g.iGui->OpenView(CGui::EMainView);
  g.iWindow.Finish();
  EXPECT_FALSE(g.iGui->NeedsDrawing());
  Probe* content = g.menu->iContent;
  ASSERT_NE(content, nullptr);
  const int32_t before = content->iDraws;
  g.iGui->Navi().SetTitle(u"Other title");
  EXPECT_EQ(g.iGui->DirtyRect(), g.iGui->Navi().Rect());
  g.iWindow.Paint();
  EXPECT_EQ(content->iDraws, before) << "the view outside the dirty part is not drawn";
  content->Invalidate();
  g.iWindow.Paint();
  EXPECT_EQ(content->iDraws, before + 1);
}

}  // namespace
