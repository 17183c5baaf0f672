// The analysis view's costs on a synthetic 10 Hz drive with GPS, five OBD-II parameters and a
// data logger with all twelve channels: the graph data of an hour of route with every channel,
// a lap against a comparison lap, one painting of a 15-minute window of 8 channels with a
// comparison, and a dragging frame (a burst of pointer moves, then the one painting that
// follows them).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "acquisition/channel_state.h"
#include "acquisition/obd_channels.h"
#include "analysis/graph_generator.h"
#include "app/draw/pw_bitmap.h"
#include "app/draw/pw_font.h"
#include "app/graph/graph_drawer.h"
#include "app/gui/layout.h"
#include "app/map/map_drawer.h"
#include "foundation/string_provider.h"
#include "storage/data_logger_plot_list.h"
#include "storage/plot_list.h"
#include "storage/position_plot_list.h"

namespace {

constexpr double KMetresPerDegree = 6371000.0 * M_PI / 180.0;
constexpr int32_t KStartMs = 8 * 3600000;

// aSeconds of driving round a 2 km loop at 10 Hz with every kind of channel.
struct Drive {
  std::unique_ptr<CObdChannelList> iObd{CObdChannelList::NewL()};
  std::unique_ptr<CPlotList> iPlots{CPlotList::NewL(iObd.get())};

  explicit Drive(int32_t aSeconds) {
    const double radius = 2000.0 / (2 * M_PI);
    double s = 0.0;
    for (int32_t i = 0; i < aSeconds * 10; ++i) {
      const int32_t t = KStartMs + i * 100;
      const double phase = s / 2000.0;
      const double v = 30.0 + 12.0 * std::sin(phase * 6 * M_PI);
      const double a = phase * 2 * M_PI;
      const double lat = 48.0 + radius * std::cos(a) / KMetresPerDegree;
      const double lon = 11.0 + radius * std::sin(a) / (KMetresPerDegree * std::cos(48.0 * M_PI / 180.0));
      iPlots->AddPosition(TCoordinate::FromDegrees(lat), TCoordinate::FromDegrees(lon), t,
                          TDistance::FromMetres(500 + 5 * std::sin(a)), TSpeed::FromMetresPerSecond(v),
                          std::fmod(a * 180.0 / M_PI + 90.0, 360.0), 0.9, 1.2, 9, 0, 0, PwTime::KUnset,
                          PwTime::KUnset, 0);
      const uint32_t kmh = static_cast<uint32_t>(v * 3.6);
      iPlots->AddObdValue(t + 20, 0x0D, kmh, 0);
      iPlots->AddObdValue(t + 40, 0x0C, static_cast<uint32_t>(4 * (1500 + kmh * 30)), 0);
      iPlots->AddObdValue(t + 60, 0x11, static_cast<uint32_t>(100 + 100 * std::sin(phase * 6 * M_PI)), 0);
      if (i % 10 == 0) {
        iPlots->AddObdValue(t + 70, 0x05, 130, 0);
        iPlots->AddObdValue(t + 80, 0x0F, 70, 0);
      }
      TDataLoggerRecord record;
      for (int32_t c = 0; c < KDataLoggerChannelCount; ++c) record.SetRawValue(c, static_cast<int16_t>((i + c * 7) % 200));
      iPlots->AddLoggerRecord(t + 50, record, 0);
      s += v * 0.1;
    }
  }
  PwTime TimeAt(int32_t aIndex) const { return PwTime(iPlots->PositionList().At(aIndex).iTime); }
};

std::unique_ptr<CChannelList> Channels(std::initializer_list<TChannelId> aIds) {
  auto list = std::make_unique<CChannelList>();
  for (TChannelId id : aIds) list->Add(id);
  return list;
}

// Every channel a session can show.
std::unique_ptr<CChannelList> AllChannels() {
  auto list = Channels({4, 5, 6, 12, 13, 7, 9, 10, 11, 1, 3, 2, 23, 24, 25, 26, 29});
  for (int32_t c = 0; c < KDataLoggerChannelCount; ++c) list->Add(KDataLoggerChannelIds[c]);
  return list;
}

void Compute(CGraphGenerator& aGenerator) {
  while (aGenerator.Step()) {
  }
}

// The whole hour as one stretch (the route graph's work, at its largest).
void BM_GraphDataHourAllChannels(benchmark::State& aState) {
  Drive drive(3600);
  auto visible = AllChannels();
  const int32_t last = drive.iPlots->PositionList().Count() - 1;
  for (auto _ : aState) {
    std::unique_ptr<CGraphGenerator> generator(CGraphGenerator::NewL(nullptr));
    generator->SetKind(CGraphGenerator::EKindSpan);
    generator->SetTimeStretch(CGraphGenerator::EPrimary, *drive.iPlots, drive.TimeAt(0), drive.TimeAt(last));
    generator->BuildLists(*visible);
    Compute(*generator);
    benchmark::DoNotOptimize(generator->ListCount());
  }
}
BENCHMARK(BM_GraphDataHourAllChannels)->Unit(benchmark::kMillisecond);

// Two laps of about 70 s each with the lap graph's default channels and RPM.
void BM_GraphDataLapWithComparison(benchmark::State& aState) {
  Drive drive(300);
  auto visible = Channels({4, 23, 24});
  for (auto _ : aState) {
    std::unique_ptr<CGraphGenerator> generator(CGraphGenerator::NewL(nullptr));
    generator->SetTimeStretch(CGraphGenerator::EPrimary, *drive.iPlots, drive.TimeAt(700), drive.TimeAt(1400));
    generator->SetTimeStretch(CGraphGenerator::EComparison, *drive.iPlots, drive.TimeAt(1400), drive.TimeAt(2120));
    generator->BuildLists(*visible);
    Compute(*generator);
    benchmark::DoNotOptimize(generator->ListCount());
  }
}
BENCHMARK(BM_GraphDataLapWithComparison)->Unit(benchmark::kMillisecond);

// Two 15-minute stretches with 8 value channels, ready to paint.
struct Painting {
  Drive iDrive{1900};
  std::unique_ptr<CGraphGenerator> iGenerator{CGraphGenerator::NewL(nullptr)};
  std::unique_ptr<CLayout> iLayout{CLayout::NewL()};
  std::unique_ptr<CPwBitmap> iBitmap{CPwBitmap::NewL(360, 640)};
  CStringProvider iStrings;
  CGraphDrawer iDrawer{iStrings};
  TGraphSetup iSetup;

  Painting() {
    iGenerator->SetTimeStretch(CGraphGenerator::EPrimary, *iDrive.iPlots, iDrive.TimeAt(0), iDrive.TimeAt(9000));
    iGenerator->SetTimeStretch(CGraphGenerator::EComparison, *iDrive.iPlots, iDrive.TimeAt(9500),
                               iDrive.TimeAt(18500));
    auto visible = Channels({4, 5, 6, 12, 13, 23, 24, 25});
    iGenerator->BuildLists(*visible);
    Compute(*iGenerator);
    iLayout->SurfaceChanged(360, 640);
    iDrawer.SetPlotRect(TPwRect{0, 300, 360, 610});
    iSetup.iKind = CGraphGenerator::EKindSpan;
    iSetup.iAxis = 1;
    iSetup.iShowComparison = true;
    iSetup.iZoomedY = true;
    iSetup.iFactor = 15.0;  // 15 minutes of window
    iGenerator->SetCursor(450.0, 1);
  }
  void Paint() {
    (void)CGraphDrawer::Prepare(*iGenerator, iSetup);
    iDrawer.Draw(*iBitmap, iLayout->Font(CLayout::EFontSmall), *iGenerator, iSetup);
  }
};

void BM_PaintFifteenMinutesEightChannels(benchmark::State& aState) {
  Painting painting;
  for (auto _ : aState) {
    painting.Paint();
    benchmark::DoNotOptimize(painting.iBitmap->Pixel(180, 400));
  }
}
BENCHMARK(BM_PaintFifteenMinutesEightChannels)->Unit(benchmark::kMillisecond);

// One frame while dragging: the moves that arrived since the last frame only set the cursor
// (range(0) of them), then one painting of the graph and of the map of both stretches centred
// on the primary's cursor sample.
void BM_DragFrame(benchmark::State& aState) {
  Painting painting;
  const int32_t moves = static_cast<int32_t>(aState.range(0));
  const CPositionPlotList& positions = painting.iDrive.iPlots->PositionList();
  CMapDrawer map;
  double cursor = 100.0;
  TPositionPlot sample, other;
  for (auto _ : aState) {
    for (int32_t i = 0; i < moves; ++i) painting.iGenerator->SetCursor(cursor += 0.5, 1);
    if (cursor > 800.0) cursor = 100.0;
    painting.Paint();
    const bool here = painting.iGenerator->SampleAtCursor(1, CGraphGenerator::EPrimary, sample);
    (void)painting.iGenerator->SampleAtCursor(1, CGraphGenerator::EComparison, other);
    map.Clear();
    map.AddRoute(positions, 0, 9000);
    map.AddRoute(positions, 9500, 18500);
    if (here) map.SetCentre(sample.GeoPoint());
    map.SetViewRect(TPwRect{0, 20, 360, 300});
    map.SetViewSize(1000.0);
    map.DrawRoute(*painting.iBitmap, positions, 9500, 18500, 0x808000, EMapColourPlain, 2);
    map.DrawRoute(*painting.iBitmap, positions, 0, 9000, 0xFFFF00, EMapColourPlain, 2);
    if (here) map.DrawMarker(*painting.iBitmap, sample.GeoPoint(), true);
    benchmark::DoNotOptimize(painting.iBitmap->Pixel(180, 150));
  }
}
BENCHMARK(BM_DragFrame)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The part of a painting that readies the generator (axes, window, ranges, cursor values).
void BM_PrepareFifteenMinutesEightChannels(benchmark::State& aState) {
  Painting painting;
  for (auto _ : aState) benchmark::DoNotOptimize(CGraphDrawer::Prepare(*painting.iGenerator, painting.iSetup));
}
BENCHMARK(BM_PrepareFifteenMinutesEightChannels)->Unit(benchmark::kMillisecond);

}  // namespace
