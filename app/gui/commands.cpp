#include "app/gui/commands.h"

#include "strings/pw_strings.h"

uint16_t SoftkeyLabelId(int32_t aCommand) {
  switch (aCommand) {
    case pwcmd::KExit: return R_SK_EXIT;
    case pwcmd::KStart: return R_SK_START;
    case pwcmd::KYes: return R_SK_YES;
    case pwcmd::KNo: return R_SK_NO;
    case pwcmd::KOptions: return R_SK_OPTIONS;
    case pwcmd::KOpen: return R_SK_OPEN;
    case pwcmd::KOk: return R_SK_OK;
    case pwcmd::KBack: return R_SK_BACK;
    case pwcmd::KCancel: return R_SK_CANCEL;
    case pwcmd::KToggle: return R_SK_TOGGLE;
    case pwcmd::KSelect: return R_SK_SELECT;
    case pwcmd::KAbout: return R_SK_ABOUT;
    case pwcmd::KPause: return R_SK_PAUSE;
    case pwcmd::KAddTrap: return R_SK_ADD_TRAP;
    default: return 0;
  }
}
