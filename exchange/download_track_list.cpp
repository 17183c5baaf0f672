#include "exchange/download_track_list.h"

#include <memory>
#include <string_view>
#include <unordered_set>

CDownloadTrack::~CDownloadTrack() = default;

void CDownloadTrack::Set(CPwByteArrayC aFile, CPwStringC aGroup, CPwStringC aName, CPwStringC aDetail) {
  iFile.Copy(aFile);
  iGroup.Copy(aGroup);
  iName.Copy(aName);
  iDetail.Copy(aDetail);
}

CDownloadTrackList::~CDownloadTrackList() { DeleteTracks(); }

void CDownloadTrackList::DeleteTracks() {
  iShown.Reset();
  for (CDownloadTrack* track : iTracks) delete track;
  iTracks.Reset();
}

void CDownloadTrackList::Clear() {
  DeleteTracks();
  iCurrentIndex = 0;
}

void CDownloadTrackList::MakeDisplayable(CPwString& aText) {
  CPwString shown;
  for (int32_t i = 0; i < aText.Length(); ++i) {
    const char16_t c = aText.CharAt(i);
    const bool separator = (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
    const bool invisible = c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F ||
                           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    if (separator) {
      shown.AppendChar(u' ');
    } else if (!invisible) {
      shown.AppendChar(c);
    }
  }
  aText.Copy(shown);
}

void CDownloadTrackList::ParseIndex(CPwByteArrayC aBytes) {
  DeleteTracks();
  CPwByteArrayC rest = aBytes;
  for (;;) {
    int32_t terminator = 0;
    const int32_t end = rest.FindLineEnd(terminator);
    if (end < 0 || iTracks.Count() >= KMaxTracks) break;  // a last line without an end does not count
    ParseLine(rest.Left(end));
    rest = rest.Mid(end + terminator);
  }
  Filter(iCurrentGroup);
}

void CDownloadTrackList::ParseLine(CPwByteArrayC aLine) {
  const uint8_t separator = ';';
  const int32_t first = aLine.Find(separator);
  const CPwByteArrayC file = first < 0 ? aLine : aLine.Left(first);
  if (file.IsEmpty() || first < 0) return;
  for (int32_t i = 0; i < file.Length(); ++i) {
    const uint8_t c = file.ByteAt(i);
    if (c < 0x20 || c == 0x7F) return;
  }

  const CPwByteArrayC afterFile = aLine.Mid(first + 1);
  const int32_t second = afterFile.Find(separator);
  const CPwByteArrayC title = second < 0 ? afterFile : afterFile.Left(second);
  if (title.IsEmpty() || second < 0) return;
  const CPwByteArrayC afterTitle = afterFile.Mid(second + 1);
  const int32_t third = afterTitle.Find(separator);
  const CPwByteArrayC detail = third < 0 ? afterTitle : afterTitle.Left(third);
  if (detail.IsEmpty()) return;

  const int32_t slash = title.Find(static_cast<uint8_t>('/'));
  CPwString group;
  CPwString name;
  CPwString detailText;
  group.AppendFromUtf8(slash < 0 ? title : title.Left(slash));
  if (slash >= 0) name.AppendFromUtf8(title.Mid(slash + 1));
  detailText.AppendFromUtf8(detail);
  MakeDisplayable(group);
  MakeDisplayable(name);
  MakeDisplayable(detailText);
  // A track without a group could never be reached: its top-level entry would lead back to
  // the top level.
  if (group.IsEmpty()) return;

  std::unique_ptr<CDownloadTrack> track(new CDownloadTrack);
  track->Set(file, group, name, detailText);
  iTracks.Append(track.get());
  track.release();
}

void CDownloadTrackList::Filter(CPwStringC aGroup) {
  // The group may be a view into a track about to be referenced again; copy it first.
  CPwString group(aGroup);
  CPwString previous{CPwStringC(iCurrentGroup)};
  iShown.Reset();
  iCurrentIndex = 0;
  if (group.IsEmpty()) {
    // A hostile index may hold hundreds of thousands of groups: no quadratic search.
    std::unordered_set<std::u16string_view> seen;
    for (CDownloadTrack* track : iTracks) {
      if (!seen.insert(track->Group().View()).second) continue;
      if (!previous.IsEmpty() && track->Group() == CPwStringC(previous)) iCurrentIndex = iShown.Count();
      iShown.Append(track);
    }
  } else {
    for (CDownloadTrack* track : iTracks)
      if (track->Group() == CPwStringC(group)) iShown.Append(track);
  }
  iCurrentGroup.Copy(group);
}

int32_t CDownloadTrackList::CountInGroup(CPwStringC aGroup) const {
  int32_t count = 0;
  for (const CDownloadTrack* track : iTracks)
    if (track->Group() == aGroup) ++count;
  return count;
}

const CDownloadTrack* CDownloadTrackList::Current() const {
  if (iCurrentIndex < 0 || iCurrentIndex >= iShown.Count()) return nullptr;
  return iShown.At(iCurrentIndex);
}
