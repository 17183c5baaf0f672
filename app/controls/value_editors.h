// The modal editors a form control hands one value to: a choice from a list, a text, a file.
// The dialog service provides them; the controls see only this, so they need no dialogs.
#pragma once

#include <cstdint>

#include "foundation/pw_string.h"
#include "foundation/pw_string_list.h"

class MValueEditors {
 public:
  // Nonzero when confirmed, with the edited text in aText. aHelp (may be empty) is shown
  // above the field.
  virtual int32_t EditText(CPwString& aText, CPwStringC aTitle, bool aMultiLine, bool aNumeric,
                           CPwStringC aHelp = CPwStringC()) = 0;
  // The index chosen, -1 when cancelled.
  virtual int32_t SelectFromList(CPwStringC aTitle, CPwStringC aText, const CPwStringList& aChoices,
                                 int32_t aCurrent) = 0;
  // Nonzero with the full path in aPath when a file was chosen. aExtensions may be empty
  // (every file).
  virtual int32_t ChooseFile(CPwStringC aTitle, const CPwStringList& aExtensions, CPwString& aPath) = 0;

 protected:
  ~MValueEditors() = default;
};
