// What the session views share: reaching another registered view (to hand it a session, a
// mode or a record before opening it), the options menu of a view, Escape as the way back and
// Delete as the key that deletes.
#pragma once

#include <cstdint>

#include "app/gui/gui.h"
#include "app/gui/menu.h"
#include "app/model.h"
#include "foundation/pw_vector.h"

// The GUI of the model, or null without one.
inline CGui* GuiOf(const CModel& aModel) { return dynamic_cast<CGui*>(aModel.Gui()); }

// The registered view of that number as its class, or null.
template <class T>
T* ViewOf(const CModel& aModel, int32_t aNumber) {
  CGui* gui = GuiOf(aModel);
  return gui ? dynamic_cast<T*>(gui->ViewByNumber(aNumber)) : nullptr;
}

// A view switch asked for outside an input event (at the end of background work) takes effect
// now instead of at the next key; never call it from inside a handler of the view that goes.
inline void FinishSwitch(const CModel& aModel) {
  if (CGui* gui = GuiOf(aModel)) gui->FinishEvent();
}

// The key that leaves a view or a form.
constexpr int32_t KEscapeKey = 0x1B;
// The key that deletes the focused item.
constexpr int32_t KDeleteKey = 0x7F;

// Appends a menu entry for aCommand when aControl offers it, with the state it reports.
inline void AppendOffered(CPwVector<TMenuEntry>& aEntries, CCustomControl& aControl, int32_t aCommand,
                          uint16_t aLabel) {
  const int32_t state = aControl.CommandState(aCommand);
  if (state != ECommandNotOffered) aEntries.Append(TMenuEntry{aCommand, aLabel, state});
}
