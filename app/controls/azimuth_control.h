// The live channel gauge: a square instrument showing one live channel at a time. The user
// steps through a fixed cycle of channels (GPS, then the OBD-II channels, then the data
// logger's, then none) with the gauge commands or by tapping it; channels without data are
// passed over.
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/channel_id.h"
#include "app/controls/azimuth_drawer.h"
#include "app/gui/custom_control.h"
#include "foundation/pw_vector.h"

class CModel;

class CAzimuthControl : public CCustomControl {
 public:
  // The cycle is built here from the model's OBD-II channel list; leaves KErrNoMemory.
  static CAzimuthControl* NewL(CCustomControl* aParent, CModel& aModel);
  ~CAzimuthControl() override;

  int32_t CycleCount() const { return iCycle.Count(); }
  TChannelId CycleAt(int32_t aIndex) const { return iCycle.At(aIndex); }
  int32_t CurrentIndex() const { return iCurrent; }
  TChannelId CurrentChannel() const { return iCycle.At(iCurrent); }
  // 0, 7 and every channel the channel state holds an item for.
  bool IsSelectable(TChannelId aChannel) const;
  // The next / previous selectable entry, wrapping round; false (nothing changes) when no
  // other entry is selectable.
  bool Next();
  bool Previous();

  // Over a map the gauge leaves its background alone.
  void SetDrawOver(bool aDrawOver);
  bool DrawOver() const { return iDrawOver; }
  CAzimuthDrawer& Drawer() const { return *iDrawer; }

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  CAzimuthControl() = default;
  void ConstructL(CCustomControl* aParent, CModel& aModel);
  void Repaint();

  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);

  CModel* iModel = nullptr;
  std::unique_ptr<CAzimuthDrawer> iDrawer;
  CPwVector<TChannelId> iCycle{16};
  int32_t iCurrent = 0;
  bool iPressed = false;
  bool iPressPending = false;
  bool iDrawOver = false;
};
