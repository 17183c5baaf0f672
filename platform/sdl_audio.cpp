#include "platform/sdl_audio.h"

#include <SDL.h>

#include <cstring>

PwSdlAudio::~PwSdlAudio() {
  if (iDevice) SDL_CloseAudioDevice(iDevice);
  if (iSubsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool PwSdlAudio::EnsureDevice() {
  if (iDevice) return true;
  if (iFailed) return false;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    iFailed = true;
    return false;
  }
  iSubsystem = true;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = KRate;
  want.format = AUDIO_S16SYS;
  want.channels = 1;
  want.samples = 1024;
  // No changes allowed: SDL converts to the hardware, the clips are converted to this.
  iDevice = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (!iDevice) {
    iFailed = true;
    return false;
  }
  SDL_PauseAudioDevice(iDevice, 0);
  return true;
}

const std::vector<uint8_t>& PwSdlAudio::Clip(const std::string& aPath) {
  auto found = iClips.find(aPath);
  if (found != iClips.end()) return found->second;
  std::vector<uint8_t>& clip = iClips[aPath];
  SDL_AudioSpec desc;
  Uint8* data = nullptr;
  Uint32 length = 0;
  if (!SDL_LoadWAV(aPath.c_str(), &desc, &data, &length)) return clip;
  SDL_AudioCVT cvt;
  const int build = SDL_BuildAudioCVT(&cvt, desc.format, desc.channels, desc.freq, AUDIO_S16SYS, 1, KRate);
  if (build == 0) {
    clip.assign(data, data + length);
  } else if (build > 0 && length <= 0x7FFFFFFF / static_cast<Uint32>(cvt.len_mult)) {
    cvt.len = static_cast<int>(length);
    cvt.buf = static_cast<Uint8*>(SDL_malloc(static_cast<size_t>(length) * cvt.len_mult));
    if (cvt.buf) {
      std::memcpy(cvt.buf, data, length);
      if (SDL_ConvertAudio(&cvt) == 0) clip.assign(cvt.buf, cvt.buf + cvt.len_cvt);
      SDL_free(cvt.buf);
    }
  }
  SDL_FreeWAV(data);
  return clip;
}

bool PwSdlAudio::QueueClip(const std::string& aPath) {
  const std::vector<uint8_t>& clip = Clip(aPath);
  if (clip.empty()) return false;
  return SDL_QueueAudio(iDevice, clip.data(), static_cast<Uint32>(clip.size())) == 0;
}

int32_t PwSdlAudio::PlayClips(const std::vector<std::string>& aPaths) {
  if (aPaths.empty() || !EnsureDevice()) return 0;
  // A newer announcement replaces one still speaking: only the latest lap matters.
  SDL_ClearQueuedAudio(iDevice);
  int32_t count = 0;
  for (const std::string& path : aPaths)
    if (QueueClip(path)) ++count;
  return count;
}

void PwSdlAudio::Stop() {
  if (iDevice) SDL_ClearQueuedAudio(iDevice);
}

uint32_t PwSdlAudio::QueuedBytes() const { return iDevice ? SDL_GetQueuedAudioSize(iDevice) : 0; }
