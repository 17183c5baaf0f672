// The track profile (-track.bin) loader: the header as the track list reads it, then the
// whole file with its traps, and the map centre over them.
#include "fuzz/fuzz_support.h"
#include "timing/track_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const pwfuzz::TScratch& scratch = pwfuzz::TScratch::Get();
  scratch.Write("Pacewright/Tracks/t-track.bin", aData, aSize);

  CTrackProfile track;
  track.SetName(u"t");
  track.SetFolder(scratch.Root());
  track.Load(false);
  if (track.Load(true) == 1) (void)track.Centre();
  return 0;
}
