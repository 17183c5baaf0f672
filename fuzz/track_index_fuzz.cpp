// The track server's index and the group browser over it.
#include "exchange/download_track_list.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  CDownloadTrackList list;
  list.ParseIndex(CPwByteArrayC(aData, static_cast<int32_t>(aSize)));
  if (list.Count() > CDownloadTrackList::KMaxTracks) pwfuzz::Finding("more tracks than the index may hold");
  // Every group of the top level, and back.
  const int32_t groups = list.ShownCount();
  for (int32_t g = 0; g < groups && g < 50; ++g) {
    list.Filter(CPwStringC());
    list.SetCurrentIndex(g);
    const CDownloadTrack* entry = list.Current();
    if (!entry) pwfuzz::Finding("a top-level entry is missing");
    const CPwString group(entry->Group());
    list.Filter(group);
    if (list.ShownCount() != list.CountInGroup(group) || list.ShownCount() == 0)
      pwfuzz::Finding("a group shows other tracks than it counts");
  }
  return 0;
}
