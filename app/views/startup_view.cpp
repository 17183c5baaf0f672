#include "app/views/startup_view.h"

#include "app/model.h"

void CStartupControl::Draw() {
  if (CPwBitmap* bitmap = Bitmap()) bitmap->FillRect(iRect, 0x303030);
}

CStartupView::~CStartupView() {
  delete iContent;
  iContent = nullptr;
}

void CStartupView::Activate() {
  if (!iContent) iContent = new CStartupControl(this);
  iStep = 0;
  if (MCustomViewObserver* observer = ViewObserver()) {
    // The start-up screen covers everything: no title, no status, blank softkeys.
    observer->SetNaviVisible(false);
    observer->SetStatusPaneVisible(false);
    observer->SetToolbar(nullptr);
    observer->SetSoftkeys(TSoftkey(), TSoftkey(), TSoftkey());
  }
  StartTimer(0);
}

void CStartupView::Deactivate() {
  CancelTimer();
  delete iContent;
  iContent = nullptr;
}

void CStartupView::TimerExpired() {
  MCustomViewObserver* observer = ViewObserver();
  if (iStep == 0) {
    iStep = 1;
    if (!iModel->StartUp()) {
      // Storage unavailable and not replaced, or no folders: the program ends.
      iStep = 2;
      if (MCustomControlObserver* control = ControlObserver()) (void)control->DispatchGuiCommand(pwcmd::KExit);
      return;
    }
    StartTimer(KHandOverDelayMs);
    return;
  }
  if (iStep == 1) {
    iStep = 2;
    if (observer) observer->OpenView(8);
  }
}
