// Command numbers of softkeys, toolbar items and menu entries, and the labels of the softkeys.
#pragma once

#include <cstdint>

namespace pwcmd {
constexpr int32_t KNone = 4097;  // the blank softkey
constexpr int32_t KExit = 4098;
constexpr int32_t KStart = 4099;
constexpr int32_t KYes = 4100;
constexpr int32_t KNo = 4101;
constexpr int32_t KOptions = 4102;
constexpr int32_t KDelete = 4103;
constexpr int32_t KOpen = 4105;
constexpr int32_t KOk = 4106;
constexpr int32_t KBack = 4107;
constexpr int32_t KCancel = 4108;
constexpr int32_t KToggle = 4111;
constexpr int32_t KSelect = 4112;
constexpr int32_t KMore = 4113;
constexpr int32_t KLockKeys = 4115;
// Map buttons and keys: step the cursor (the second pair 30 samples), zoom the map.
constexpr int32_t KMapNext = 4116;
constexpr int32_t KMapPrevious = 4117;
constexpr int32_t KMapNextLarge = 4118;
constexpr int32_t KMapPreviousLarge = 4119;
constexpr int32_t KZoomMapIn = 4120;
constexpr int32_t KZoomMapOut = 4121;
// The live channel gauge: next and previous channel.
constexpr int32_t KNextChannel = 4138;
constexpr int32_t KPreviousChannel = 4139;
constexpr int32_t KSwapTopLine = 4140;
constexpr int32_t KSwapTopLineBack = 4141;
constexpr int32_t KNewSession = 4148;
constexpr int32_t KSettings = 4149;
constexpr int32_t KPreviousSessions = 4150;
constexpr int32_t KTrackProfiles = 4151;
constexpr int32_t KPerformanceTests = 4152;
constexpr int32_t KAbout = 4153;
constexpr int32_t KPause = 4166;
constexpr int32_t KAddTrap = 4183;
}  // namespace pwcmd

// States of a command as a view reports them.
enum TCommandState : int32_t {
  ECommandNotOffered = 0,
  ECommandDisabled = 1,
  ECommandOffered = 2,
  ECommandChecked = 3,
};

// The string-table text of a softkey command's label; 0 for a command without one (blank).
uint16_t SoftkeyLabelId(int32_t aCommand);
// Whether a command is the blank softkey (or no command at all).
inline bool IsBlankCommand(int32_t aCommand) { return aCommand == pwcmd::KNone || aCommand == 0; }
