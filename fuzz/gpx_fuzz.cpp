// The GPX reader: whatever the bytes, it must not crash, hang, trip a sanitizer or expand an
// entity, and cutting the stream into pieces must change neither what it delivers nor whether
// and why it refuses the file.
#include <memory>

#include "exchange/gpx_parser.h"
#include "fuzz/fuzz_support.h"

namespace {

struct TRun {
  pwfuzz::TRecorder iRecorder;
  CGpxParser::TRefusal iRefusal = CGpxParser::ENotRefused;
};

TRun Run(const uint8_t* aData, size_t aSize, size_t aPiece) {
  std::unique_ptr<CGpxParser> parser(CGpxParser::NewL());
  TRun run;
  pwfuzz::FeedInPieces(aData, aSize, aPiece, [&](CPwByteArrayC aBytes) {
    parser->Parse(aBytes, &run.iRecorder, nullptr, nullptr, nullptr, nullptr);
  });
  run.iRefusal = parser->RefusalKind();
  CPwString reason;
  if (parser->Refusal(reason) != (run.iRefusal != CGpxParser::ENotRefused) || (run.iRefusal && reason.Length() == 0))
    pwfuzz::Finding("a refusal without a reason");
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const TRun whole = Run(aData, aSize, 0);
  const size_t piece = aSize ? 1 + aData[aSize / 2] % 97 : 1;
  const TRun pieces = Run(aData, aSize, piece);
  if (!(pieces.iRecorder == whole.iRecorder)) pwfuzz::Finding("the pieces deliver other data than the whole");
  if (pieces.iRefusal != whole.iRefusal) pwfuzz::Finding("the pieces are refused otherwise than the whole");
  return 0;
}
