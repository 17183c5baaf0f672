// The lap list view: every lap of the open session in one of five tables (sectors, splits,
// trap speeds, high/low speeds, information) against a comparison lap, as values or as
// differences. With the details open the table shrinks to the header and the selected lap at
// the bottom, and the lap map of the selected lap (or, in the information table, the lap's and
// the session's notes) fills the space above it.
//
// The session screen opens it with OpenView(CLapView::KViewNumber).
#pragma once

#include <cstdint>
#include <memory>

#include "app/gui/custom_control.h"
#include "app/gui/custom_view.h"
#include "app/gui/toolbar.h"
#include "app/map/map_drawer.h"

class CLapListControl;
class CModel;
class CPwFont;
class CSelectComparison;

namespace pwcmd {
// The submenus of the toolbar: display modes and comparisons.
constexpr int32_t KLapComparisonMenu = 4143;
constexpr int32_t KLapCompareSelected = 4144;
constexpr int32_t KLapCompareBest = 4145;
constexpr int32_t KLapCompareOptimal = 4146;
constexpr int32_t KLapCompareOther = 4147;
constexpr int32_t KLapDisplayMode = 4159;
constexpr int32_t KLapSettings = 4109;
constexpr int32_t KLapExport = 4110;
constexpr int32_t KLapMarkInvalid = 4184;
constexpr int32_t KLapMarkValid = 4185;
constexpr int32_t KLapHideInvalid = 4187;
constexpr int32_t KLapShowInvalid = 4188;
constexpr int32_t KLapAbsoluteMode = 4189;
constexpr int32_t KLapDifferenceMode = 4190;
constexpr int32_t KLapModeSectors = 4194;
constexpr int32_t KLapModeInformation = 4198;
constexpr int32_t KLapEditSessionNotes = 4200;
constexpr int32_t KLapOpenDetails = 4201;
constexpr int32_t KLapEditNotes = 4202;
constexpr int32_t KLapOpenGraph = 4203;
constexpr int32_t KLapSectorGraph = 4204;
}  // namespace pwcmd

// The lap map of the details: the selected lap against its comparison, coloured and labelled
// by the display mode, with the selected sector, trap or high/low point picked out.
class CLapMapControl : public CCustomControl {
 public:
  CLapMapControl(CCustomControl* aParent, CModel& aModel);
  ~CLapMapControl() override;

  void SetMode(int32_t aMode) { iMode = aMode; }
  void SetFonts(CPwFont* aLabels, CPwFont* aName) {
    iLabelFont = aLabels;
    iNameFont = aName;
  }
  CMapDrawer& Drawer() { return iDrawer; }
  void Draw() override;

 private:
  CModel* iModel;
  int32_t iMode = 0;
  CMapDrawer iDrawer;
  CPwFont* iLabelFont = nullptr;
  CPwFont* iNameFont = nullptr;
};

// The notes of the details: the selected lap's note (and whether it is marked invalid) above
// the session notes.
class CNoteControl : public CCustomControl {
 public:
  CNoteControl(CCustomControl* aParent, CModel& aModel);
  ~CNoteControl() override;

  void SetFonts(CPwFont* aText, CPwFont* aHeading) {
    iTextFont = aText;
    iHeadingFont = aHeading;
  }
  void Draw() override;

 private:
  CModel* iModel;
  CPwFont* iTextFont = nullptr;
  CPwFont* iHeadingFont = nullptr;
};

class CLapControl : public CContainerControl {
 public:
  static constexpr int32_t KModeCount = 5;
  static constexpr int32_t KMinFontScale = 70;
  static constexpr int32_t KMaxFontScale = 160;

  // The five tables, the map and the notes; the details closed. Leaves KErrNoMemory.
  CLapControl(CCustomControl* aParent, CModel& aModel);
  ~CLapControl() override;

  // The settings' display mode (0-4).
  int32_t DisplayMode() const;
  // Stores the mode in the settings and puts its table in place.
  void SetDisplayMode(int32_t aMode);
  CLapListControl& Table() const { return *iTables[DisplayMode()]; }
  CLapListControl& TableOf(int32_t aMode) const { return *iTables[aMode]; }
  CLapMapControl& Map() const { return *iMap; }
  CNoteControl& Notes() const { return *iNotes; }

  bool DetailsOpen() const { return iDetails; }
  // Opening needs a row to show; false when there is none.
  bool OpenDetails();
  void CloseDetails();

  // The laps, the comparison or the settings changed: rows, columns and fonts again.
  void Rebuild();
  // The settings' font scale changed by aStep (kept within 70-160); the fonts are made again.
  void StepFontScale(int32_t aStep);

  void SetRect(const TPwRect& aRect) override;
  void ChildChanged(CCustomControl* aControl) override;
  void Draw() override;

 private:
  void MakeFonts();
  void LayoutChildren();

  CModel* iModel;
  CLapListControl* iTables[KModeCount] = {};  // owned children
  CLapMapControl* iMap = nullptr;
  CNoteControl* iNotes = nullptr;
  bool iDetails = false;
  std::unique_ptr<CPwFont> iTableFont;
  std::unique_ptr<CPwFont> iLabelFont;
  std::unique_ptr<CPwFont> iHeadingFont;
  int32_t iFontScale = 0;  // the scale the fonts were made for
};

class CLapView : public CCustomView {
 public:
  static constexpr int32_t KViewNumber = 2;

  explicit CLapView(CModel& aModel);
  ~CLapView() override;

  int32_t ViewNumber() override { return KViewNumber; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override;
  CLapControl* LapControl() const { return iControl; }
  // What the last graph request asked for: 1 the whole lap, 0 the selected sector, -1 none.
  int32_t GraphRequest() const { return iGraphRequest; }

  // New laps or a new comparison arrive without an input event.
  void Invalidate() override;
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

 private:
  void ShowTitle();
  void Changed();
  void OpenSubmenu(int32_t aFirst, int32_t aLast, const uint16_t* aLabels);
  void OpenGraph(bool aWholeLap);
  bool OnRealLap() const;

  CModel* iModel;
  CLapControl* iControl = nullptr;  // owned while active
  std::unique_ptr<CToolbar> iToolbar;
  std::unique_ptr<CSelectComparison> iComparison;
  int32_t iGraphRequest = -1;
};
