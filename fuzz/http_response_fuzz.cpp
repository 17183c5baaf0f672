// Responses of the track server as the web client collects them: status line, headers and
// body split at any point between reads.
#include "exchange/http_parser.h"
#include "fuzz/fuzz_support.h"

namespace {

struct TOutcome {
  int32_t iStatus = -1;
  int32_t iStage = 0;
  int32_t iResult = KErrNone;
  CPwByteArray iBody;
};

TOutcome Collect(const uint8_t* aData, size_t aSize, size_t aPiece) {
  CHttpParser parser;
  TOutcome outcome;
  pwfuzz::FeedInPieces(aData, aSize, aPiece, [&](CPwByteArrayC aBytes) {
    if (outcome.iResult == KErrNone) outcome.iResult = parser.AddResponseBytes(aBytes.Ptr(), aBytes.Length());
  });
  outcome.iStatus = parser.StatusCode();
  outcome.iStage = parser.ResponseStage();
  if (parser.ResponseLength() > CHttpParser::KMaxResponseBytes) pwfuzz::Finding("the response passed its cap");
  // An announced body is never exceeded, and a refused response is never whole.
  if (parser.ContentLength() >= 0 && parser.ResponseBody().Length() > parser.ContentLength())
    pwfuzz::Finding("the body outgrew its Content-Length");
  if (outcome.iResult != KErrNone && parser.IsWholeResponse()) pwfuzz::Finding("a refused response counts as whole");
  if (parser.IsBodyComplete() && !parser.IsWholeResponse()) pwfuzz::Finding("a complete body is not a whole response");
  parser.TakeResponseBody(outcome.iBody);
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const TOutcome whole = Collect(aData, aSize, 0);
  const size_t piece = aSize ? 1 + aData[aSize / 2] % 53 : 1;
  const TOutcome pieces = Collect(aData, aSize, piece);
  if (whole.iStatus != pieces.iStatus || whole.iStage != pieces.iStage || whole.iResult != pieces.iResult ||
      !(CPwByteArrayC(whole.iBody) == CPwByteArrayC(pieces.iBody)))
    pwfuzz::Finding("the pieces make another response than the whole");
  return 0;
}
