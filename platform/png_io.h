// PNG files through libpng: reading any PNG (palette, grey, 16-bit, with or without
// transparency) into 32-bit 0xAARRGGBB pixels, and writing such pixels back, opaque (RGB, for
// screenshots) or with their alpha channel. Paths are zero-terminated UTF-8. Nothing here
// throws; hostile files come back as an error code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pwplat {

enum TPngResult : int32_t {
  EPngOk = 0,
  EPngCannotOpen = 1,   // missing or unreadable file, or the output cannot be created
  EPngCorrupt = 2,      // not a PNG, truncated or damaged
  EPngTooLarge = 3,     // wider or higher than KPngMaxSide
  EPngNoMemory = 4,
  EPngWriteFailed = 5,  // writing stopped part way (medium full); the partial file is removed
};

// Larger images are refused before any pixel memory is taken.
constexpr int32_t KPngMaxSide = 8192;

// A decoded image: Width x Height pixels, rows packed (pitch = Width * 4 bytes), straight
// (not premultiplied) alpha in the top byte. Free the pixels with PngFree.
struct TPngImage {
  int32_t iWidth = 0;
  int32_t iHeight = 0;
  uint32_t* iPixels = nullptr;
};

// Reads a PNG file. On failure the image stays empty.
TPngResult PngRead(const char* aPath, TPngImage& aImage);
// As PngRead from bytes in memory.
TPngResult PngReadMemory(const void* aData, size_t aSize, TPngImage& aImage);
void PngFree(TPngImage& aImage);

// Writes aWidth x aHeight pixels whose rows are aPitchBytes apart. aKeepAlpha writes RGBA,
// otherwise RGB with the top byte ignored. Replaces an existing file.
TPngResult PngWrite(const char* aPath, const uint32_t* aPixels, int32_t aWidth, int32_t aHeight,
                    int32_t aPitchBytes, bool aKeepAlpha);

}  // namespace pwplat
