#include "platform/screen_saver.h"

#include <SDL.h>

namespace pwplat {

void SetScreenKeptOn(bool aKeptOn) {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
  if (aKeptOn) SDL_DisableScreenSaver();
  else SDL_EnableScreenSaver();
}

}  // namespace pwplat
