// Plays short sound clips (".wav" files) one after the other through SDL's audio output. The
// device is opened on first use; when there is none, or a clip is missing or unreadable, that
// part is silently skipped, since a spoken lap time is never worth an error message.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class PwSdlAudio {
 public:
  // Output format every clip is converted to.
  static constexpr int32_t KRate = 22050;

  PwSdlAudio() = default;
  // Closes the device (what is still queued is dropped).
  ~PwSdlAudio();
  PwSdlAudio(const PwSdlAudio&) = delete;
  PwSdlAudio& operator=(const PwSdlAudio&) = delete;

  // Drops what is still playing and queues the clips (UTF-8 paths) in order. Returns how many
  // were queued; 0 when nothing will sound.
  int32_t PlayClips(const std::vector<std::string>& aPaths);
  // Drops what is still playing.
  void Stop();
  // Bytes still waiting to be played.
  uint32_t QueuedBytes() const;
  // False once opening the device has failed (no further attempts are made).
  bool DeviceUsable() const { return !iFailed; }

 private:
  bool EnsureDevice();
  // Appends one clip converted to the output format; false when it cannot be read. A clip is
  // read and converted once and kept, so announcing a lap does no file work on the loop.
  bool QueueClip(const std::string& aPath);
  // The clip in the output format (empty when it cannot be read), read on first use.
  const std::vector<uint8_t>& Clip(const std::string& aPath);

  std::map<std::string, std::vector<uint8_t>> iClips;

  uint32_t iDevice = 0;
  bool iSubsystem = false;
  bool iFailed = false;
};
