// Drawing a whole 360x640 screen as the views do: background, text lines, boxes (some
// translucent), a route polyline; plus the pieces alone and the screenshot writer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/draw/pw_bitmap.h"
#include "app/draw/pw_font.h"

namespace {

struct TScene {
  std::unique_ptr<CPwBitmap> iBitmap{CPwBitmap::NewL(360, 640)};
  std::unique_ptr<CPwFont> iFont{CPwFont::NewL(EPwFontSans, 22)};
  std::unique_ptr<CPwFont> iBold{CPwFont::NewL(EPwFontBold, 26)};
  TPwPoint iRoute[201];
  CPwString iLines[30];

  TScene() {
    for (int i = 0; i <= 200; ++i) {
      const double a = i * 2 * M_PI / 200;
      iRoute[i] = TPwPoint{static_cast<int32_t>(180 + 150 * std::cos(a) + 20 * std::sin(5 * a)),
                           static_cast<int32_t>(400 + 120 * std::sin(a) + 15 * std::cos(3 * a))};
    }
    for (int i = 0; i < 30; ++i) {
      iLines[i].Copy(u"Lap ");
      iLines[i].AppendNum(i + 1);
      iLines[i].Append(u"  1:");
      iLines[i].AppendNum(20 + i % 40, 2);
      iLines[i].Append(u".456  +0.");
      iLines[i].AppendNum(100 + i * 7);
      iLines[i].Append(u" 104°C");
    }
  }

  void Paint() {
    CPwBitmap& b = *iBitmap;
    b.FillGradient(TPwRect{0, 0, 360, 640}, 0x101010, 0x303030);
    for (int i = 0; i < 20; ++i) {
      b.SetPen(0x808080, 1 + i % 2, EPenSolid);
      b.SetFillColour(i % 3 == 0 ? 0x69007400u : 0x404040u);
      b.DrawRect(TPwRect{10 + (i % 4) * 85, 10 + (i / 4) * 60, 90 + (i % 4) * 85, 60 + (i / 4) * 60});
    }
    b.SetPen(0x00FF00, 2, EPenSolid);
    b.DrawPolyline(iRoute, 201);
    for (int i = 0; i < 30; ++i) {
      CPwFont& f = i % 5 == 0 ? *iBold : *iFont;
      b.DrawText(iLines[i], f, TPwRect{0, i * 21, 360, i * 21 + 24},
                 static_cast<TPwAlign>(i % 3), i % 2 ? 0xFFFFFFu : 0x3FDCDCDCu);
    }
  }
};

void BM_FullScreenRepaint(benchmark::State& state) {
  TScene scene;
  scene.Paint();  // fills the glyph caches, as the first frame on screen does
  for (auto _ : state) {
    scene.Paint();
    benchmark::DoNotOptimize(scene.iBitmap->Pixels());
  }
}
BENCHMARK(BM_FullScreenRepaint)->Unit(benchmark::kMicrosecond);

void BM_TextLines30(benchmark::State& state) {
  TScene scene;
  for (auto _ : state) {
    for (int i = 0; i < 30; ++i)
      scene.iBitmap->DrawText(scene.iLines[i], *scene.iFont, TPwRect{0, i * 21, 360, i * 21 + 24},
                              EAlignLeft, 0xFFFFFF);
    benchmark::DoNotOptimize(scene.iBitmap->Pixels());
  }
}
BENCHMARK(BM_TextLines30)->Unit(benchmark::kMicrosecond);

void BM_TranslucentFullScreenFill(benchmark::State& state) {
  TScene scene;
  for (auto _ : state) {
    scene.iBitmap->FillRect(TPwRect{0, 0, 360, 640}, 0x7F303030);
    benchmark::DoNotOptimize(scene.iBitmap->Pixels());
  }
}
BENCHMARK(BM_TranslucentFullScreenFill)->Unit(benchmark::kMicrosecond);

void BM_DashedRoute200(benchmark::State& state) {
  TScene scene;
  scene.iBitmap->SetPen(0xFF8000, static_cast<int32_t>(state.range(0)), EPenDashed);
  for (auto _ : state) {
    scene.iBitmap->ResetPenPattern();
    scene.iBitmap->DrawPolyline(scene.iRoute, 201);
    benchmark::DoNotOptimize(scene.iBitmap->Pixels());
  }
}
BENCHMARK(BM_DashedRoute200)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

void BM_ScreenshotPng(benchmark::State& state) {
  TScene scene;
  scene.Paint();
  const std::string path = "/tmp/pw_draw_bench_" + std::to_string(getpid()) + ".png";
  const CPwString wide = PwStringFromUtf8(path);
  for (auto _ : state) benchmark::DoNotOptimize(scene.iBitmap->WritePng(wide));
  unlink(path.c_str());
}
BENCHMARK(BM_ScreenshotPng)->Unit(benchmark::kMillisecond);

}  // namespace
