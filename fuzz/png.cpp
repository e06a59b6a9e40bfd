// The PNG loader on bytes from memory: into a new bitmap, and (for every other
// input) into a bitmap the caller gives, which must come back at the image's size.

#include "raster/lice_png.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1u << 20)) return 0;
  if (size & 1)
  {
    LICE_MemBitmap given(3, 5);
    LICE_IBitmap* got = LICE_LoadPNGFromMemory(data, (int)size, &given);
    if (got && got != &given) abort();
    if (got && (!given.getBits() || given.getWidth() < 1 || given.getHeight() < 1)) abort();
    return 0;
  }
  LICE_IBitmap* bmp = LICE_LoadPNGFromMemory(data, (int)size, nullptr);
  if (bmp)
  {
    // Every pixel was written: touching them all lets the sanitizer check the rows.
    const LICE_PixelValue* bits = bmp->getBits();
    uint32_t sum = 0;
    for (int y = 0; y < bmp->getHeight(); ++y)
      for (int x = 0; x < bmp->getWidth(); ++x) sum += bits[(long long)y * bmp->getRowSpan() + x];
    if (sum == 0xFFFFFFFFu) __builtin_trap();  // keeps the loop
    delete bmp;
  }
  return 0;
}
