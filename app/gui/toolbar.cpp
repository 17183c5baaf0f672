#include "app/gui/toolbar.h"

#include <cstring>

#include "app/dialogs/dialogs.h"
#include "app/draw/pw_font.h"
#include "app/draw/text_layout.h"
#include "app/gui/layout.h"
#include "app/gui/menu.h"
#include "strings/pw_strings.h"

namespace {

constexpr TPwColour KBarFrom = 0x101010;
constexpr TPwColour KBarTo = 0x303030;
constexpr TPwColour KTextDisabled = 0x606060;
constexpr TPwColour KTextPressed = 0xC0C0C0;
constexpr TPwColour KTextNormal = 0xFFFFFF;
constexpr TPwColour KPressedUnderlay = 0x7F000000;

}  // namespace

const char* CommandIcon(int32_t aCommand) {
  switch (aCommand) {
    case pwcmd::KExit: return "exit";
    case pwcmd::KStart: return "play";
    case pwcmd::KYes:
    case pwcmd::KOk:
    case pwcmd::KSelect: return "ok";
    case pwcmd::KNo:
    case pwcmd::KCancel:
    case pwcmd::KBack: return "back";
    case pwcmd::KOpen: return "ok";
    case pwcmd::KMore:
    case pwcmd::KOptions: return "more";
    case pwcmd::KAbout: return "about";
    case pwcmd::KPause: return "pause";
    case pwcmd::KAddTrap: return "traps";
    case pwcmd::KNewSession: return "new_session";
    case pwcmd::KSettings: return "settings";
    case pwcmd::KPreviousSessions: return "sessions";
    case pwcmd::KTrackProfiles: return "tracks";
    case pwcmd::KPerformanceTests: return "tests";
    default: return nullptr;
  }
}

// --- CToolbarItem / CToolbar -------------------------------------------------------------------

CToolbarItem* CToolbarItem::NewL(int32_t aCommand, uint16_t aLabel, int32_t aCommand2, uint16_t aLabel2,
                                 int32_t aKeyHint, const char* aIcon) {
  CToolbarItem* item = new CToolbarItem();
  item->iCommand = aCommand;
  item->iLabel = aLabel;
  item->iCommand2 = aCommand2;
  item->iLabel2 = aLabel2;
  item->iKeyHint = aKeyHint;
  item->iIcon = aIcon;
  return item;
}

CToolbarItem::~CToolbarItem() {
  for (CToolbarItem* sub : iSubItems) delete sub;
  iSubItems.Reset();
}

CToolbarItem& CToolbarItem::AddSubItemL(int32_t aCommand, uint16_t aLabel) {
  CToolbarItem* sub = NewL(aCommand, aLabel);
  if (Trap([&] { iSubItems.Append(sub); }) != KErrNone) {
    delete sub;
    Leave(KErrNoMemory);
  }
  return *sub;
}

CToolbar::~CToolbar() {
  delete iBack;
  iBack = nullptr;
  for (CToolbarItem* item : iItems) delete item;
  iItems.Reset();
}

void CToolbar::SetBackL(int32_t aCommand, uint16_t aLabel, const char* aIcon) {
  CToolbarItem* back = CToolbarItem::NewL(aCommand, aLabel, 0, 0, 0, aIcon);
  delete iBack;
  iBack = back;
}

CToolbarItem& CToolbar::AddItemL(int32_t aCommand, uint16_t aLabel, int32_t aCommand2, uint16_t aLabel2,
                                 int32_t aKeyHint, const char* aIcon) {
  CToolbarItem* item = CToolbarItem::NewL(aCommand, aLabel, aCommand2, aLabel2, aKeyHint, aIcon);
  if (Trap([&] { iItems.Append(item); }) != KErrNone) {
    delete item;
    Leave(KErrNoMemory);
  }
  return *item;
}

// --- CToolbarButtonControl -------------------------------------------------------------------

CToolbarButtonControl::CToolbarButtonControl(CToolbarControl& aBar, const TToolbarButtonDesc& aDesc)
    : CCustomControl(&aBar), iBar(&aBar), iDesc(aDesc) {
  if (iDesc.iLabel != 0) iLabelText.LoadFromResource(iDesc.iLabel);
}

CToolbarButtonControl::~CToolbarButtonControl() = default;

bool CToolbarButtonControl::Enabled() const {
  return !IsBlankCommand(iDesc.iCommand) && iDesc.iState >= ECommandOffered;
}

int32_t CToolbarButtonControl::HandlePointer(int32_t aKind, int32_t aX, int32_t aY) {
  const bool inside = iRect.Contains(aX, aY);
  if (aKind == 0) {
    if (!inside || !Enabled()) return inside ? 0 : 1;
    iTracking = true;
    iPressed = true;
    Invalidate();
    return 0;
  }
  if (!iTracking) return 1;
  if (aKind == 1) {
    if (inside != iPressed) {
      iPressed = inside;
      Invalidate();
    }
    return 0;
  }
  // Released: a press that ended inside activates the button.
  iTracking = false;
  const bool activate = iPressed && inside;
  iPressed = false;
  Invalidate();
  if (activate) iBar->ButtonActivated(*this);
  return 0;
}

void CToolbarButtonControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  if (iPressed) bitmap->FillRect(iRect, KPressedUnderlay);
  CPwFont* font = iBar->LabelFont();
  const int32_t lineHeight = font ? font->Height() : 0;
  const int32_t labelTop = iRect.iBottom - 2 * lineHeight - 2;
  const TPwRect iconArea{iRect.iLeft, iRect.iTop + 2, iRect.iRight, labelTop};
  if (iDesc.iIcon) {
    const int32_t size = iconArea.Height() < iconArea.Width() ? iconArea.Height() : iconArea.Width();
    bitmap->DrawIcon(layout->Icon(iDesc.iIcon, size), iconArea, iPressed);
  }
  if (!font || iLabelText.IsEmpty()) return;
  const TPwColour colour = !Enabled() ? KTextDisabled : (iPressed ? KTextPressed : KTextNormal);
  // Two lines, split at the space nearest the middle.
  const int32_t split = MiddleSpace(iLabelText);
  CPwStringC first = split < 0 ? CPwStringC(iLabelText) : iLabelText.Left(split);
  CPwStringC second = split < 0 ? CPwStringC() : iLabelText.Mid(split + 1);
  if (second.IsEmpty()) {
    bitmap->DrawText(first, *font, TPwRect{iRect.iLeft, labelTop + lineHeight / 2, iRect.iRight,
                                           labelTop + lineHeight / 2 + lineHeight}, EAlignCentre, colour);
  } else {
    bitmap->DrawText(first, *font, TPwRect{iRect.iLeft, labelTop, iRect.iRight, labelTop + lineHeight}, EAlignCentre,
                     colour);
    bitmap->DrawText(second, *font,
                     TPwRect{iRect.iLeft, labelTop + lineHeight, iRect.iRight, labelTop + 2 * lineHeight},
                     EAlignCentre, colour);
  }
}

// --- CToolbarControl -------------------------------------------------------------------------

CToolbarControl::CToolbarControl(CCustomControl* aParent) : CContainerControl(aParent) {}

CToolbarControl::~CToolbarControl() {
  DeleteButtons();
  delete iLabelFont;
  iLabelFont = nullptr;
}

void CToolbarControl::DeleteButtons() {
  for (CToolbarButtonControl* button : iButtons) DeleteChild(button);
  iButtons.Reset();
}

void CToolbarControl::SetSoftkeys(const TSoftkey& aLeft, const TSoftkey& aMiddle, const TSoftkey& aRight) {
  iSoftkeys[0] = aLeft;
  iSoftkeys[1] = aMiddle;
  iSoftkeys[2] = aRight;
  iDirtySlots = true;
  Refresh();
}

void CToolbarControl::SetToolbar(const CToolbar* aToolbar) {
  iToolbar = aToolbar;
  iDirtySlots = true;
  Refresh();
}

CPwFont* CToolbarControl::LabelFont() {
  CLayout* layout = Layout();
  if (!layout) return nullptr;
  int32_t height = layout->ToolbarThickness() / 4;
  if (height < 4) height = 4;
  if (!iLabelFont || iLabelFontHeight != height) {
    // The bar's font is a quarter of its thickness high: a line height, the em a bit less.
    CPwFont* font = CPwFont::NewL(EPwFontSans, height * 4 / 5 < 4 ? 4 : height * 4 / 5);
    delete iLabelFont;
    iLabelFont = font;
    iLabelFontHeight = height;
  }
  return iLabelFont;
}

void CToolbarControl::LayoutIn(TPwRect& aArea) {
  CLayout* layout = Layout();
  if (!iVisible || !layout || layout->ToolbarSide() == EBarNone) {
    iRect = TPwRect();
    DeleteButtons();
    iShown.Reset();
    return;
  }
  const int32_t thickness = layout->ToolbarThickness();
  TPwRect bar = aArea;
  switch (layout->ToolbarSide()) {
    case EBarLeft:
      bar.iRight = bar.iLeft + thickness;
      aArea.iLeft = bar.iRight;
      break;
    case EBarRight:
      bar.iLeft = bar.iRight - thickness;
      aArea.iRight = bar.iLeft;
      break;
    default:
      bar.iTop = bar.iBottom - thickness;
      aArea.iBottom = bar.iTop;
      break;
  }
  iRect = bar;
  Invalidate();
  iDirtySlots = true;
  Refresh();
}

int32_t CToolbarControl::ShownCommand(const CToolbarItem& aItem, uint16_t& aLabel) {
  if (aItem.iCommand != 0 && CommandState(aItem.iCommand) != ECommandNotOffered) {
    aLabel = aItem.iLabel;
    return aItem.iCommand;
  }
  if (aItem.iCommand2 != 0 && CommandState(aItem.iCommand2) != ECommandNotOffered) {
    aLabel = aItem.iLabel2;
    return aItem.iCommand2;
  }
  return 0;
}

void CToolbarControl::ComputeSlots(CPwVector<TToolbarButtonDesc>& aSlots) {
  CLayout* layout = Layout();
  const int32_t count = layout ? layout->ToolbarSlots() : 0;
  for (int32_t i = 0; i < count; ++i) aSlots.Append(TToolbarButtonDesc());
  if (count < 2) return;
  auto buttonDesc = [&](int32_t aCommand, uint16_t aLabel, const char* aIcon, const CToolbarItem* aItem) {
    TToolbarButtonDesc desc;
    desc.iCommand = aCommand;
    desc.iLabel = aLabel;
    desc.iIcon = aIcon ? aIcon : CommandIcon(aCommand);
    desc.iItem = aItem && aItem->iSubItems.Count() > 0 ? aItem : nullptr;
    desc.iState = CommandState(aCommand);
    return desc;
  };
  if (!iToolbar) {
    for (int32_t side = 0; side < 2; ++side) {
      const int32_t command = iSoftkeys[side == 0 ? 0 : 2].iCommand;
      if (IsBlankCommand(command)) continue;
      aSlots.At(side == 0 ? 0 : count - 1) = buttonDesc(command, SoftkeyLabelId(command), nullptr, nullptr);
    }
    return;
  }
  uint16_t label = 0;
  if (iToolbar->iBack) {
    const int32_t command = ShownCommand(*iToolbar->iBack, label);
    if (command != 0) aSlots.At(count - 1) = buttonDesc(command, label, iToolbar->iBack->iIcon, iToolbar->iBack);
  }
  CPwVector<const CToolbarItem*> offered(8);
  for (const CToolbarItem* item : iToolbar->iItems)
    if (ShownCommand(*item, label) != 0) offered.Append(item);
  if (offered.Count() == 0) return;
  const CToolbarItem* first = offered.At(0);
  int32_t command = ShownCommand(*first, label);
  aSlots.At(0) = buttonDesc(command, label, first->iIcon, first);
  const int32_t free = count - 2;
  const int32_t rest = offered.Count() - 1;
  const bool more = rest > free;
  const int32_t direct = more ? free - 1 : rest;
  for (int32_t i = 0; i < direct; ++i) {
    const CToolbarItem* item = offered.At(1 + i);
    command = ShownCommand(*item, label);
    aSlots.At(1 + i) = buttonDesc(command, label, item->iIcon, item);
  }
  if (more) {
    TToolbarButtonDesc desc = buttonDesc(pwcmd::KMore, R_GUI_MORE, "more", nullptr);
    desc.iState = ECommandOffered;
    desc.iMore = true;
    aSlots.At(count - 2 > 0 ? count - 2 : 0) = desc;
  }
}

void CToolbarControl::Refresh() {
  if (iRect.IsEmpty()) return;
  CPwVector<TToolbarButtonDesc> slots(8);
  ComputeSlots(slots);
  bool same = !iDirtySlots && slots.Count() == iShown.Count();
  for (int32_t i = 0; same && i < slots.Count(); ++i) same = slots.At(i) == iShown.At(i);
  if (same) return;
  RebuildL(slots);
}

void CToolbarControl::RebuildL(const CPwVector<TToolbarButtonDesc>& aSlots) {
  DeleteButtons();
  iShown.Reset();
  iDirtySlots = false;
  CLayout* layout = Layout();
  const bool vertical = layout && layout->ToolbarSide() != EBarBottom;
  const int32_t count = aSlots.Count();
  const int32_t length = vertical ? iRect.Height() : iRect.Width();
  for (int32_t i = 0; i < count; ++i) {
    iShown.Append(aSlots.At(i));
    const TToolbarButtonDesc& desc = aSlots.At(i);
    if (desc.iCommand == 0) continue;
    const int32_t from = length * i / count;
    const int32_t to = length * (i + 1) / count;
    const TPwRect rect = vertical ? TPwRect{iRect.iLeft, iRect.iTop + from, iRect.iRight, iRect.iTop + to}
                                  : TPwRect{iRect.iLeft + from, iRect.iTop, iRect.iLeft + to, iRect.iBottom};
    CToolbarButtonControl* button = new CToolbarButtonControl(*this, desc);
    if (Trap([&] { iButtons.Append(button); }) != KErrNone) {
      delete button;
      Leave(KErrNoMemory);
    }
    AddChildL(button);
    button->SetRect(rect);
  }
  Invalidate();
}

void CToolbarControl::ButtonActivated(CToolbarButtonControl& aButton) {
  const TToolbarButtonDesc desc = aButton.Desc();
  MCustomViewObserver* views = ViewObserver();
  if (desc.iMore || desc.iItem) {
    if (!views) return;
    CPwVector<TMenuEntry> entries(8);
    uint16_t label = 0;
    if (desc.iMore && iToolbar) {
      for (const CToolbarItem* item : iToolbar->iItems) {
        const int32_t command = ShownCommand(*item, label);
        if (command != 0) entries.Append(TMenuEntry{command, label, CommandState(command)});
      }
    } else if (desc.iItem) {
      for (const CToolbarItem* sub : desc.iItem->iSubItems) {
        const int32_t state = CommandState(sub->iCommand);
        if (state != ECommandNotOffered) entries.Append(TMenuEntry{sub->iCommand, sub->iLabel, state});
      }
    }
    if (entries.Count() > 0) views->Dialogs().OpenMenuL(entries);
    return;
  }
  if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(desc.iCommand);
}

int32_t CToolbarControl::IssueSoftkey(int32_t aCommand) {
  if (IsBlankCommand(aCommand)) return 1;
  const int32_t state = CommandState(aCommand);
  if (state == ECommandNotOffered || state == ECommandDisabled) return 0;
  if (MCustomControlObserver* observer = ControlObserver()) (void)observer->DispatchGuiCommand(aCommand);
  return 0;
}

int32_t CToolbarControl::HandleKey(int32_t aKeyCode, int32_t aShift) {
  switch (aKeyCode) {
    case 0xF800:
      return IssueSoftkey(aShift ? iSoftkeys[1].iAltCommand : iSoftkeys[1].iCommand);
    case 0xF805:
      return IssueSoftkey(iSoftkeys[0].iCommand);
    case 0xF806:
      return IssueSoftkey(iSoftkeys[2].iCommand);
    default:
      return 1;
  }
}

void CToolbarControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillGradient(iRect, KBarFrom, KBarTo, layout->ToolbarSide() == EBarBottom);
}
