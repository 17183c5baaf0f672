// The samples file (-plots.bin) loader, in every format version: a damaged file ends the load
// early or fails it, and what was loaded can be appended to.
#include <memory>

#include "acquisition/obd_channels.h"
#include "foundation/pw_time.h"
#include "fuzz/fuzz_support.h"
#include "storage/plot_list.h"
#include "storage/plot_list_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  static const PwTimeConverter converter;
  const pwfuzz::TScratch& scratch = pwfuzz::TScratch::Get();
  scratch.Write("Pacewright/Sessions/s-plots.bin", aData, aSize);

  std::unique_ptr<CObdChannelList> obd(CObdChannelList::NewL());
  std::unique_ptr<CPlotList> list(CPlotList::NewL(obd.get()));
  // Odd sizes read the older formats with the converter, even ones without.
  CPlotListLoader* loader = list->StartLoading(aSize % 2 ? &converter : nullptr, u"s", scratch.Root());
  const int32_t code = Trap([&] {
    for (int32_t steps = 0; loader->Step(); ++steps)
      if (steps > 100000) pwfuzz::Finding("the load does not end");
  });
  if (code != KErrNone) return 0;
  list->FinishLoading();
  // Recording continues after what was loaded.
  list->AddPosition(TCoordinate(3000000), TCoordinate(600000), 43200000, TDistance::FromMetres(100),
                    TSpeed::FromMetresPerSecond(20), 45, 1.0, 1.5, 8, 0, 0, PwTime::KUnset, 43200000, 1);
  return 0;
}
