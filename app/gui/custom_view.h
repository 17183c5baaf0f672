// Full-screen views: one is current at a time, as child 0 of the GUI. A view builds its content
// control when activated and may drop it when deactivated; it talks to the GUI (view switching,
// softkeys, toolbar, title, the panes) through its view observer.
#pragma once

#include <cstdint>

#include "app/gui/commands.h"
#include "app/gui/custom_control.h"
#include "foundation/pw_string.h"

class CDialogs;
class CModel;
class CToolbar;
class MValueEditors;

// A softkey: the command it issues and the command issued with shift (Enter only).
struct TSoftkey {
  int32_t iCommand = pwcmd::KNone;
  int32_t iAltCommand = pwcmd::KNone;
};

class MCustomViewObserver {
 public:
  // Makes the view with that number the next one (after the current event); pushes it on
  // the back stack. Unknown numbers change nothing.
  virtual void OpenView(int32_t aViewNumber) = 0;
  // Returns to the view below the top of the back stack (needs two views on the stack).
  virtual void Back() = 0;
  virtual void SetSoftkeys(const TSoftkey& aLeft, const TSoftkey& aMiddle, const TSoftkey& aRight) = 0;
  // The view's toolbar (not owned; null for none). It stays valid until replaced.
  virtual void SetToolbar(const CToolbar* aToolbar) = 0;
  // The navigation pane's title.
  virtual void SetTitle(CPwStringC aTitle) = 0;
  virtual void SetNaviVisible(bool aVisible) = 0;
  virtual void SetStatusPaneVisible(bool aVisible) = 0;
  virtual void SetToolbarVisible(bool aVisible) = 0;
  // The model (null for a GUI without one, in tests) and the dialog service.
  virtual CModel* Model() = 0;
  virtual CDialogs& Dialogs() = 0;
  // The same service as seen by the controls that edit one value (settings lists).
  virtual MValueEditors& ValueEditors() = 0;
  // Lets the GUI rebuild the toolbar buttons after command states changed.
  virtual void CommandStatesChanged() = 0;

 protected:
  ~MCustomViewObserver() = default;
};

class CCustomView : public CCustomControl {
 public:
  explicit CCustomView(CCustomControl* aParent = nullptr) : CCustomControl(aParent) {}
  ~CCustomView() override;

  // Also gives the content the view's rectangle.
  void SetRect(const TPwRect& aRect) override;
  // Passed to the content; a view without content has nothing to repaint.
  void Invalidate() override;
  // Views answer for their own commands: offered unless the view says otherwise.
  int32_t CommandState(int32_t aCommand) override;
  int32_t ChildCount() override { return ContentControl() ? 1 : 0; }
  CCustomControl* ChildAt(int32_t aIndex) override { return aIndex == 0 ? ContentControl() : nullptr; }

  virtual int32_t ViewNumber() = 0;
  virtual void Activate() = 0;
  virtual void Deactivate() = 0;
  virtual CCustomControl* ContentControl() = 0;

 protected:
  // The common chrome of an activation: title, softkeys, no toolbar.
  void ShowChrome(CPwStringC aTitle, int32_t aLeft, int32_t aMiddle, int32_t aRight);
};
