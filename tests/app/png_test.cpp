// PNG files: screenshots and icons round trip byte for byte, the file layout is what viewers
// expect, icons scale to the layout's size, and missing or hostile files never crash.
#include "app/draw/pw_bitmap.h"
#include "platform/png_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "support/test_support.h"

namespace {

CPwString Wide(const std::string& aText) { return PwStringFromUtf8(aText); }

uint32_t ReadBe32(const std::string& aBytes, size_t aPos) {
  return (uint32_t(uint8_t(aBytes[aPos])) << 24) | (uint32_t(uint8_t(aBytes[aPos + 1])) << 16) |
         (uint32_t(uint8_t(aBytes[aPos + 2])) << 8) | uint32_t(uint8_t(aBytes[aPos + 3]));
}
void WriteBe32(std::string& aBytes, size_t aPos, uint32_t aValue) {
  for (int i = 0; i < 4; ++i) aBytes[aPos + i] = char(aValue >> (24 - 8 * i));
}
uint32_t Crc32(const std::string& aBytes, size_t aPos, size_t aLength) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = aPos; i < aPos + aLength; ++i) {
    crc ^= uint8_t(aBytes[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A bitmap whose every pixel differs, with all kinds of alpha.
std::unique_ptr<CPwBitmap> Pattern(int32_t aW, int32_t aH) {
  std::unique_ptr<CPwBitmap> bmp(CPwBitmap::NewL(aW, aH));
  uint32_t* p = bmp->Pixels();
  for (int32_t y = 0; y < aH; ++y)
    for (int32_t x = 0; x < aW; ++x) {
      const uint32_t alpha = (x * 37 + y * 11) % 5 == 0 ? 0u : (x * 53 + y * 29) & 0xFF;
      p[y * aW + x] = (alpha << 24) | (uint32_t(x * 7 + y) & 0xFF) << 16 |
                      (uint32_t(y * 5 + x * 3) & 0xFF) << 8 | (uint32_t(x ^ y) & 0xFF);
    }
  return bmp;
}

TEST(Png, ScreenshotsAreRgbFilesThatReadBackExactly) {
  pwtest::TempDir dir;
  auto bmp = Pattern(37, 23);
  const std::string path = dir / "shot 1.png";
  ASSERT_EQ(bmp->WritePng(Wide(path)), KErrNone);

  // Signature, then IHDR: size, 8 bits, colour type 2 (RGB), no interlace, valid CRC.
  const std::string bytes = pwtest::ReadFileBytes(path);
  ASSERT_GT(bytes.size(), 33u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(ReadBe32(bytes, 8), 13u);
  EXPECT_EQ(bytes.substr(12, 4), "IHDR");
  EXPECT_EQ(ReadBe32(bytes, 16), 37u);
  EXPECT_EQ(ReadBe32(bytes, 20), 23u);
  EXPECT_EQ(uint8_t(bytes[24]), 8);
  EXPECT_EQ(uint8_t(bytes[25]), 2);
  EXPECT_EQ(uint8_t(bytes[28]), 0);
  EXPECT_EQ(ReadBe32(bytes, 29), Crc32(bytes, 12, 17));
  EXPECT_EQ(bytes.substr(bytes.size() - 8, 4), "IEND");

  // Colours survive; the alpha byte is not stored, so the read-back is opaque.
  std::unique_ptr<CPwBitmap> back(CPwBitmap::LoadPngL(Wide(path)));
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->Width(), 37);
  ASSERT_EQ(back->Height(), 23);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37; ++x)
      ASSERT_EQ(back->Pixel(x, y), bmp->Pixel(x, y) | 0xFF000000u) << x << "," << y;
}

TEST(Png, AlphaImagesRoundTripByteExact) {
  pwtest::TempDir dir;
  auto bmp = Pattern(64, 31);
  const std::string path = dir / "icon.png";
  ASSERT_EQ(bmp->WritePng(Wide(path), true), KErrNone);
  const std::string bytes = pwtest::ReadFileBytes(path);
  ASSERT_GT(bytes.size(), 26u);
  EXPECT_EQ(uint8_t(bytes[25]), 6);  // RGBA

  std::unique_ptr<CPwBitmap> back(CPwBitmap::LoadPngL(Wide(path)));
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->Width(), 64);
  ASSERT_EQ(back->Height(), 31);
  EXPECT_EQ(std::memcmp(back->Pixels(), bmp->Pixels(), 64 * 31 * 4), 0);

  // The same through the platform reader straight from memory.
  pwplat::TPngImage image;
  ASSERT_EQ(pwplat::PngReadMemory(bytes.data(), bytes.size(), image), pwplat::EPngOk);
  EXPECT_EQ(image.iWidth, 64);
  EXPECT_EQ(std::memcmp(image.iPixels, bmp->Pixels(), 64 * 31 * 4), 0);
  pwplat::PngFree(image);
  EXPECT_EQ(image.iPixels, nullptr);
}

TEST(Png, IconsScaleToTheAskedSizeKeepingProportionsAndAlpha) {
  pwtest::TempDir dir;
  std::unique_ptr<CPwBitmap> icon(CPwBitmap::NewL(64, 32));
  uint32_t* p = icon->Pixels();
  for (int32_t i = 0; i < 64 * 32; ++i) p[i] = 0x00000000u;  // transparent
  icon->FillRect(TPwRect{0, 0, 32, 32}, 0x20C040);              // opaque left half
  const std::string path = dir / "map_zoom_in.png";
  ASSERT_EQ(icon->WritePng(Wide(path), true), KErrNone);

  std::unique_ptr<CPwBitmap> small(CPwBitmap::LoadPngL(Wide(path), 32, 32));
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->Width(), 32);
  EXPECT_EQ(small->Height(), 16);
  EXPECT_EQ(small->Pixel(3, 3), 0xFF20C040u);    // no dark fringe from the transparent part
  EXPECT_EQ(small->Pixel(15, 8), 0xFF20C040u);
  EXPECT_EQ(small->Pixel(16, 8) >> 24, 0u);
  EXPECT_EQ(small->Pixel(31, 15) >> 24, 0u);

  std::unique_ptr<CPwBitmap> big(CPwBitmap::LoadPngL(Wide(path), 128, 128));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->Width(), 128);
  EXPECT_EQ(big->Height(), 64);
  EXPECT_EQ(big->Pixel(10, 10), 0xFF20C040u);

  // Drawn centred over a background, the transparent half shows the background.
  std::unique_ptr<CPwBitmap> screen(CPwBitmap::NewL(40, 20));
  screen->Clear(0x0000FF);
  screen->DrawIcon(small.get(), TPwRect{0, 0, 40, 20}, false);
  EXPECT_EQ(screen->Pixel(4, 2), 0xFF20C040u);
  EXPECT_EQ(screen->Pixel(3, 2), 0xFF0000FFu);
  EXPECT_EQ(screen->Pixel(30, 10), 0xFF0000FFu);
}

TEST(Png, MissingDamagedAndHostileFilesGiveNoIcon) {
  pwtest::TempDir dir;
  EXPECT_EQ(CPwBitmap::LoadPngL(Wide(dir / "absent.png")), nullptr);
  EXPECT_EQ(CPwBitmap::LoadPngL(Wide(dir.Path())), nullptr);  // a folder
  EXPECT_EQ(CPwBitmap::LoadPngL(CPwStringC()), nullptr);

  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "empty.png", ""));
  EXPECT_EQ(CPwBitmap::LoadPngL(Wide(dir / "empty.png")), nullptr);
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "text.png", "GIF89a this is not a PNG at all"));
  EXPECT_EQ(CPwBitmap::LoadPngL(Wide(dir / "text.png")), nullptr);

  auto bmp = Pattern(50, 40);
  ASSERT_EQ(bmp->WritePng(Wide(dir / "good.png"), true), KErrNone);
  const std::string good = pwtest::ReadFileBytes(dir / "good.png");

  // Cut short at many places: never a crash, never a half image.
  for (size_t cut : {size_t(8), size_t(20), size_t(33), size_t(40), good.size() / 2, good.size() - 13}) {
    ASSERT_TRUE(pwtest::WriteFileBytes(dir / "cut.png", good.substr(0, cut)));
    EXPECT_EQ(CPwBitmap::LoadPngL(Wide(dir / "cut.png")), nullptr) << cut;
  }
  // Flipped bytes in the image data fail their checksums.
  std::string damaged = good;
  for (size_t i = 60; i < damaged.size() - 20; i += 7) damaged[i] = char(damaged[i] ^ 0x5A);
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "damaged.png", damaged));
  EXPECT_EQ(CPwBitmap::LoadPngL(Wide(dir / "damaged.png")), nullptr);

  // A header claiming a huge image (with a correct CRC) is refused before any pixel memory.
  std::string huge = good;
  WriteBe32(huge, 16, 200000);
  WriteBe32(huge, 20, 150000);
  WriteBe32(huge, 29, Crc32(huge, 12, 17));
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "huge.png", huge));
  pwplat::TPngImage image;
  EXPECT_EQ(pwplat::PngRead((dir / "huge.png").c_str(), image), pwplat::EPngTooLarge);
  EXPECT_EQ(image.iPixels, nullptr);
  EXPECT_EQ(CPwBitmap::LoadPngL(Wide(dir / "huge.png")), nullptr);
  EXPECT_EQ(pwplat::PngRead((dir / "absent.png").c_str(), image), pwplat::EPngCannotOpen);
}

TEST(Png, UnwritableTargetsFailWithoutLeavingAFile) {
  pwtest::TempDir dir;
  auto bmp = Pattern(8, 8);
  EXPECT_EQ(bmp->WritePng(Wide(dir / "no such folder/shot.png")), KErrCannotOpen);
  EXPECT_EQ(bmp->WritePng(CPwStringC()), KErrCannotOpen);
  std::unique_ptr<CPwBitmap> empty(CPwBitmap::NewL(0, 0));
  EXPECT_NE(empty->WritePng(Wide(dir / "empty.png")), KErrNone);
  EXPECT_EQ(pwtest::ReadFileBytes(dir / "empty.png"), "");

  // An existing file is replaced.
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "old.png", std::string(100000, 'x')));
  ASSERT_EQ(bmp->WritePng(Wide(dir / "old.png")), KErrNone);
  std::unique_ptr<CPwBitmap> back(CPwBitmap::LoadPngL(Wide(dir / "old.png")));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Width(), 8);
}

}  // namespace
