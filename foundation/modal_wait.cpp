#include "foundation/modal_wait.h"

CPwModalWait::~CPwModalWait() = default;

void CPwModalWait::Release() { iEvent.Set(); }
