// Keeping the display awake: while held, the desktop's screen saver and display blanking stay
// off (SDL's screen-saver switch; without a video subsystem the call does nothing).
#pragma once

namespace pwplat {

void SetScreenKeptOn(bool aKeptOn);

}  // namespace pwplat
