// The two panes above the views: the navigation pane with the current view's title, and the
// status pane with the GPS state and the storage warning.
#pragma once

#include <cstdint>

#include "app/gui/custom_control.h"
#include "foundation/pw_string.h"

class CModel;

class CNaviControl : public CCustomControl {
 public:
  explicit CNaviControl(CCustomControl* aParent) : CCustomControl(aParent) {}
  ~CNaviControl() override;

  void SetTitle(CPwStringC aTitle);
  CPwStringC Title() const { return iTitle; }
  // Back to an empty title (a view switch).
  void ResetContent();
  // Takes its strip at the top of aArea (nothing while hidden); leaves the rest.
  void LayoutIn(TPwRect& aArea);
  void Draw() override;

 private:
  CPwString iTitle;
};

class CStatusPaneControl : public CCustomControl {
 public:
  CStatusPaneControl(CCustomControl* aParent, CModel* aModel) : CCustomControl(aParent), iModel(aModel) {}
  ~CStatusPaneControl() override;

  void LayoutIn(TPwRect& aArea);
  void Draw() override;

 private:
  CModel* iModel = nullptr;
};
