// The Perf.Box log parser (DBN): whatever the bytes, it must not crash, hang or trip a
// sanitizer, and cutting the stream into pieces must not change what it delivers.
#include <memory>

#include "acquisition/channel_state.h"
#include "acquisition/obd_channels.h"
#include "exchange/pbox_parser.h"
#include "fuzz/fuzz_support.h"

namespace {

pwfuzz::TRecorder Run(const uint8_t* aData, size_t aSize, size_t aPiece) {
  std::unique_ptr<CPBoxParser> parser(CPBoxParser::NewL());
  std::unique_ptr<CObdChannelList> obd(CObdChannelList::NewL());
  std::unique_ptr<CChannelState> state(CChannelState::NewL());
  std::unique_ptr<CSlowBearing> bearing(CSlowBearing::NewL());
  TGpsClock clock([]() -> uint32_t { return 1000; });
  pwfuzz::TRecorder recorder;
  recorder.iTimesOfDay = false;  // a running time, carried across restarts
  pwfuzz::FeedInPieces(aData, aSize, aPiece, [&](CPwByteArrayC aBytes) {
    parser->Parse(aBytes, &recorder, bearing.get(), obd.get(), state.get(), &clock);
  });
  return recorder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const pwfuzz::TRecorder whole = Run(aData, aSize, 0);
  // A piece size from the data itself, so that every split point gets its turn.
  const size_t piece = aSize ? 1 + aData[aSize / 2] % 97 : 1;
  if (!(Run(aData, aSize, piece) == whole)) pwfuzz::Finding("the pieces deliver other data than the whole");
  return 0;
}
