// Shared pieces of the fuzz targets: a scratch folder for the loaders that read files, an
// observer that records what a parser delivers and checks that it is possible, and the two ways of feeding a parser (all at
// once, and in small pieces) whose results must agree.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "acquisition/data_parser.h"
#include "acquisition/geodesy.h"
#include "foundation/paths.h"
#include "foundation/pw_string.h"

namespace pwfuzz {

// Ends the run as a finding: libFuzzer saves the input that got here.
[[noreturn]] inline void Finding(const char* aWhat) {
  std::fprintf(stderr, "fuzz finding: %s\n", aWhat);
  std::abort();
}

// A storage root of this process (on tmpfs when there is one), made once with the program's
// folders inside.
class TScratch {
 public:
  static TScratch& Get() {
    static TScratch scratch;
    return scratch;
  }
  const std::string& Native() const { return iNative; }
  CPwStringC Root() const { return iRoot; }
  // Replaces the file at aRelative (below the root) with the bytes.
  void Write(const std::string& aRelative, const uint8_t* aData, size_t aSize) const {
    const std::string path = iNative + aRelative;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) Finding("cannot write the scratch file");
    if (aSize && std::fwrite(aData, 1, aSize, f) != aSize) Finding("cannot write the scratch file");
    std::fclose(f);
  }

 private:
  TScratch() {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    iNative = std::string(base) + "/pw-fuzz-" + std::to_string(getpid()) + "/";
    SetFromNativePath(iRoot, iNative.c_str());
    if (CreateFolders(iRoot) < 0 || !EnsureFolders(iRoot)) Finding("cannot make the scratch folder");
  }
  ~TScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(iNative, ignored);
  }

  std::string iNative;
  CPwString iRoot;
};

// Sums up everything delivered, so that two feedings of the same bytes can be compared.
// Every position it hears must be one a receiver can truly report: the parsers refuse the rest
// where they read it.
class TRecorder final : public MParsedDataObserver {
 public:
  int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime, TDistance, TSpeed aSpeed,
                         double, double, double, int32_t aSatellites, int32_t, int32_t, PwTime aDate,
                         PwTime) override {
    if (!IsPlausiblePoint(TGeoPoint(aLatitude, aLongitude))) Finding("a position off the globe was delivered");
    if (aSpeed.IsValid() && !IsPlausibleSpeed(aSpeed)) Finding("a speed outside 0..150 m/s was delivered");
    // 23:59:60.999 at the most, for a leap second; logs that count time from their start may
    // run past a day, but never backwards past it.
    if (!aTime.IsSet() || aTime.Milliseconds() < 0) Finding("a position without a time was delivered");
    if (iTimesOfDay && aTime.Milliseconds() > PwTime::KDay + 999)
      Finding("a position without a time of day was delivered");
    ++iPositions;
    iDigest = iDigest * 31 + static_cast<uint32_t>(aLatitude.iValue) * 7 + static_cast<uint32_t>(aLongitude.iValue) +
              static_cast<uint32_t>(aTime.Milliseconds()) + static_cast<uint32_t>(aSatellites) + static_cast<uint32_t>(aDate.Milliseconds());
    return 0;
  }
  void ObdValueParsed(PwTime aTime, int32_t aPid, uint32_t aRawValue) override {
    ++iObd;
    iDigest = iDigest * 31 + static_cast<uint32_t>(aTime.Milliseconds()) + static_cast<uint32_t>(aPid) + aRawValue;
  }
  void ObdSentenceDone() override { ++iObdSentences; }
  void ChannelsParsed(PwTime aTime, const TChannelValueList& aValues) override {
    ++iChannels;
    iDigest = iDigest * 31 + static_cast<uint32_t>(aTime.Milliseconds()) + static_cast<uint32_t>(aValues.Count());
  }
  void LineReceived(CPwByteArrayC aLine, int32_t) override {
    ++iLines;
    iDigest = iDigest * 31 + static_cast<uint32_t>(aLine.Length());
  }

  bool operator==(const TRecorder& aOther) const {
    return iPositions == aOther.iPositions && iObd == aOther.iObd && iObdSentences == aOther.iObdSentences &&
           iChannels == aOther.iChannels && iLines == aOther.iLines && iDigest == aOther.iDigest;
  }

  // Whether the format's times are times of day (NMEA, VBox) rather than a running count.
  bool iTimesOfDay = true;
  int64_t iPositions = 0;
  int64_t iObd = 0;
  int64_t iObdSentences = 0;
  int64_t iChannels = 0;
  int64_t iLines = 0;
  uint64_t iDigest = 0;
};

// Feeds aData to aParser in pieces of aPiece bytes (all at once when aPiece is 0).
template <class TFeed>
void FeedInPieces(const uint8_t* aData, size_t aSize, size_t aPiece, TFeed&& aFeed) {
  if (aPiece == 0) aPiece = aSize ? aSize : 1;
  for (size_t at = 0; at < aSize; at += aPiece) {
    const size_t n = aSize - at < aPiece ? aSize - at : aPiece;
    aFeed(CPwByteArrayC(aData + at, static_cast<int32_t>(n)));
  }
}

}  // namespace pwfuzz
