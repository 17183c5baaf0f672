#include "app/application.h"
#include "app/gui/gui.h"

// The GUI core with every screen view and the dialog service.
TGuiFactory DefaultGuiFactory() {
  return [](CModel& aModel) -> MGuiPort* { return CGui::NewL(&aModel); };
}
