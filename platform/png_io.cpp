#include "platform/png_io.h"

#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pwplat {

namespace {

// The byte order in which a uint32_t 0xAARRGGBB lies in memory.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr png_uint_32 KFormatWithAlpha = PNG_FORMAT_ARGB;
#else
constexpr png_uint_32 KFormatWithAlpha = PNG_FORMAT_BGRA;
#endif
constexpr png_uint_32 KFormatOpaque = PNG_FORMAT_RGB;

// Finishes a read that png_image_begin_read_* started.
TPngResult FinishRead(png_image& aPng, TPngImage& aImage) {
  if (aPng.width == 0 || aPng.height == 0) {
    png_image_free(&aPng);
    return EPngCorrupt;
  }
  if (aPng.width > static_cast<png_uint_32>(KPngMaxSide) ||
      aPng.height > static_cast<png_uint_32>(KPngMaxSide)) {
    png_image_free(&aPng);
    return EPngTooLarge;
  }
  aPng.format = KFormatWithAlpha;
  const size_t count = static_cast<size_t>(aPng.width) * aPng.height;
  auto* pixels = static_cast<uint32_t*>(std::malloc(count * 4));
  if (!pixels) {
    png_image_free(&aPng);
    return EPngNoMemory;
  }
  // Finishing frees libpng's own state whether or not it succeeds.
  if (!png_image_finish_read(&aPng, nullptr, pixels, static_cast<png_int_32>(aPng.width * 4),
                             nullptr)) {
    std::free(pixels);
    return EPngCorrupt;
  }
  aImage.iWidth = static_cast<int32_t>(aPng.width);
  aImage.iHeight = static_cast<int32_t>(aPng.height);
  aImage.iPixels = pixels;
  return EPngOk;
}

}  // namespace

TPngResult PngRead(const char* aPath, TPngImage& aImage) {
  aImage = TPngImage();
  FILE* file = std::fopen(aPath, "rb");
  if (!file) return EPngCannotOpen;
  png_image png;
  std::memset(&png, 0, sizeof(png));
  png.version = PNG_IMAGE_VERSION;
  TPngResult result = EPngCorrupt;
  if (png_image_begin_read_from_stdio(&png, file)) result = FinishRead(png, aImage);
  std::fclose(file);
  return result;
}

TPngResult PngReadMemory(const void* aData, size_t aSize, TPngImage& aImage) {
  aImage = TPngImage();
  if (!aData || aSize == 0) return EPngCorrupt;
  png_image png;
  std::memset(&png, 0, sizeof(png));
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, aData, aSize)) return EPngCorrupt;
  return FinishRead(png, aImage);
}

void PngFree(TPngImage& aImage) {
  std::free(aImage.iPixels);
  aImage = TPngImage();
}

TPngResult PngWrite(const char* aPath, const uint32_t* aPixels, int32_t aWidth, int32_t aHeight,
                    int32_t aPitchBytes, bool aKeepAlpha) {
  if (!aPixels || aWidth <= 0 || aHeight <= 0 || aWidth > KPngMaxSide || aHeight > KPngMaxSide ||
      aPitchBytes < aWidth * 4)
    return EPngCorrupt;

  png_image png;
  std::memset(&png, 0, sizeof(png));
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(aWidth);
  png.height = static_cast<png_uint_32>(aHeight);
  png.flags = PNG_IMAGE_FLAG_FAST;

  // RGB output needs packed 3-byte pixels; the alpha form is written straight from the rows.
  const void* rows = aPixels;
  png_int_32 stride = aPitchBytes;
  uint8_t* packed = nullptr;
  if (aKeepAlpha) {
    png.format = KFormatWithAlpha;
  } else {
    png.format = KFormatOpaque;
    stride = aWidth * 3;
    packed = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(stride) * aHeight));
    if (!packed) return EPngNoMemory;
    for (int32_t y = 0; y < aHeight; ++y) {
      const uint32_t* src = reinterpret_cast<const uint32_t*>(
          reinterpret_cast<const uint8_t*>(aPixels) + static_cast<size_t>(y) * aPitchBytes);
      uint8_t* dst = packed + static_cast<size_t>(y) * stride;
      for (int32_t x = 0; x < aWidth; ++x) {
        const uint32_t p = src[x];
        *dst++ = static_cast<uint8_t>(p >> 16);
        *dst++ = static_cast<uint8_t>(p >> 8);
        *dst++ = static_cast<uint8_t>(p);
      }
    }
    rows = packed;
  }

  FILE* file = std::fopen(aPath, "wb");
  if (!file) {
    std::free(packed);
    return EPngCannotOpen;
  }
  const int written = png_image_write_to_stdio(&png, file, 0, rows, stride, nullptr);
  std::free(packed);
  png_image_free(&png);
  const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!written || !flushed || !closed) {
    // Only a regular file is ours to remove (never a device the path might name).
    struct stat info;
    if (::stat(aPath, &info) == 0 && S_ISREG(info.st_mode)) std::remove(aPath);
    return EPngWriteFailed;
  }
  return EPngOk;
}

}  // namespace pwplat
