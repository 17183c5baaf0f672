// make_icons: draws the program's icons into a folder (normally the data folder's "icons/").
//
//   make_icons --out DIR [--sheet FILE]
//
// --sheet FILE also writes every icon side by side on the toolbar's dark background and on
// white, at 64 and 32 pixels, to look them over.
#include <cstdio>
#include <memory>
#include <string>

#include "app/draw/pw_bitmap.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "tools/make_icons.h"

namespace {

void WriteSheetL(const std::string& aPath) {
  const std::vector<std::string> names = pwtools::IconNames();
  constexpr int32_t KCell = pwtools::KIconSize + 8;
  const int32_t columns = 12;
  const int32_t rows = (static_cast<int32_t>(names.size()) + columns - 1) / columns;
  std::unique_ptr<CPwBitmap> sheet(CPwBitmap::NewL(columns * KCell, rows * KCell * 3));
  sheet->Clear(0x202020);
  sheet->FillRect(TPwRect{0, rows * KCell, columns * KCell, rows * KCell * 2}, 0xFFFFFF);
  sheet->FillGradient(TPwRect{0, rows * KCell * 2, columns * KCell, rows * KCell * 3}, 0x101010, 0x303030);
  for (size_t i = 0; i < names.size(); ++i) {
    std::unique_ptr<CPwBitmap> icon(pwtools::DrawIconL(names[i]));
    const int32_t x = static_cast<int32_t>(i % columns) * KCell + 4;
    const int32_t y = static_cast<int32_t>(i / columns) * KCell + 4;
    sheet->DrawBitmap(*icon, x, y);
    sheet->DrawBitmap(*icon, x, y + rows * KCell);
    // At 32 pixels, as a small screen's layout loads it.
    const CPwString scratch = PwStringFromUtf8(aPath + ".icon.png");
    icon->WritePng(scratch, true);
    std::unique_ptr<CPwBitmap> small(CPwBitmap::LoadPngL(scratch, 32, 32));
    if (small) sheet->DrawIcon(small.get(), TPwRect{x, y + 2 * rows * KCell, x + 64, y + 2 * rows * KCell + 64}, false);
    std::remove((aPath + ".icon.png").c_str());
  }
  if (sheet->WritePng(PwStringFromUtf8(aPath)) != KErrNone) Leave(KErrCannotOpen);
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, sheet;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (arg == "--sheet" && i + 1 < argc) {
      sheet = argv[++i];
    } else {
      out.clear();
      break;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: make_icons --out DIR [--sheet FILE]\n");
    return 2;
  }
  int32_t count = 0;
  const int32_t code = Trap([&] {
    count = pwtools::MakeIconsL(out);
    if (!sheet.empty()) WriteSheetL(sheet);
  });
  if (code != KErrNone) {
    std::fprintf(stderr, "make_icons: could not write the icons to %s (error %d)\n", out.c_str(),
                 static_cast<int>(code));
    return 1;
  }
  std::printf("make_icons: %d icons in %s\n", static_cast<int>(count), out.c_str());
  return 0;
}
