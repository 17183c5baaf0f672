// The GPS reader's splitter of u-blox frames and NMEA text, on any bytes: it must not crash,
// cutting the stream into pieces must not change what it gives, and text that went in between
// frames must come out whole, in order.
#include <string>
#include <vector>

#include "acquisition/ubx_frame.h"
#include "fuzz/fuzz_support.h"

namespace {

struct TCount final : pwubx::MUbxFrameObserver {
  void UbxFrameReceived(const pwubx::TUbxFrame& aFrame) override {
    frames.push_back(std::string(reinterpret_cast<const char*>(aFrame.iPayload), static_cast<size_t>(aFrame.iLength)));
  }
  std::vector<std::string> frames;
};

std::string Split(const std::string& aStream, size_t aPiece, TCount& aFrames) {
  pwubx::TUbxStreamSplitter splitter;
  CPwByteArray text;
  for (size_t at = 0; at < aStream.size(); at += aPiece) {
    const size_t n = std::min(aPiece, aStream.size() - at);
    splitter.Split(reinterpret_cast<const uint8_t*>(aStream.data() + at), static_cast<int32_t>(n), text, &aFrames);
  }
  return std::string(reinterpret_cast<const char*>(text.Ptr()), static_cast<size_t>(text.Length()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const std::string raw(reinterpret_cast<const char*>(aData), aSize);
  TCount wholeFrames, pieceFrames;
  const std::string whole = Split(raw, raw.size() ? raw.size() : 1, wholeFrames);
  const size_t piece = aSize ? 1 + aData[aSize / 2] % 61 : 1;
  if (Split(raw, piece, pieceFrames) != whole || pieceFrames.frames != wholeFrames.frames)
    pwfuzz::Finding("the pieces deliver other text or frames than the whole");
  if (whole.size() > raw.size()) pwfuzz::Finding("more text came out than went in");

  // The input as NMEA text (sync bytes taken out) with a valid frame built from it after every
  // line: the text must come out exactly, and every frame.
  std::string text;
  for (char c : raw)
    if (static_cast<uint8_t>(c) != pwubx::KSync1) text += c;
  std::string stream;
  size_t frames = 0;
  size_t start = 0;
  for (size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && text[at] != '\n') continue;
    const std::string line = text.substr(start, at - start + (at < text.size() ? 1 : 0));
    stream += line;
    CPwByteArray frame;
    const std::string payload = line.substr(0, std::min<size_t>(line.size(), 64));
    pwubx::AppendFrame(frame, pwubx::EClassAck, pwubx::EAckAck, reinterpret_cast<const uint8_t*>(payload.data()),
                       static_cast<int32_t>(payload.size()));
    stream.append(reinterpret_cast<const char*>(frame.Ptr()), static_cast<size_t>(frame.Length()));
    ++frames;
    start = at + 1;
  }
  TCount built;
  if (Split(stream, piece, built) != text) pwfuzz::Finding("text between frames was lost or changed");
  if (built.frames.size() != frames) pwfuzz::Finding("a valid frame was not taken out");
  return 0;
}
