// The track server's index and the group browser over it: no text it keeps can hold a
// character that a terminal or the window would act on.
#include "exchange/download_track_list.h"
#include "fuzz/fuzz_support.h"

namespace {

bool IsDisplayable(CPwStringC aText) {
  for (int32_t i = 0; i < aText.Length(); ++i) {
    const char16_t c = aText.CharAt(i);
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 ||
        (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  CDownloadTrackList list;
  list.ParseIndex(CPwByteArrayC(aData, static_cast<int32_t>(aSize)));
  if (list.Count() > CDownloadTrackList::KMaxTracks) pwfuzz::Finding("more tracks than the index may hold");
  for (int32_t i = 0; i < list.Count(); ++i) {
    const CDownloadTrack& track = list.At(i);
    if (track.File().IsEmpty() || track.Group().IsEmpty()) pwfuzz::Finding("a track without file or group");
    if (!IsDisplayable(track.Group()) || !IsDisplayable(track.Name()) || !IsDisplayable(track.Detail()))
      pwfuzz::Finding("a text with a control character");
    for (int32_t b = 0; b < track.File().Length(); ++b)
      if (track.File().ByteAt(b) < 0x20 || track.File().ByteAt(b) == 0x7F) pwfuzz::Finding("a file with a control byte");
  }
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
