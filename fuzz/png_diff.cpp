// Our PNG loader against libpng's simplified reader on the same bytes. Where both
// take the file, every pixel must agree; a file libpng refuses must not be taken
// by ours. Comparison is left out where the two are meant to differ: 16-bit
// samples (libpng rounds, we drop the low byte) and colour-space chunks (libpng
// corrects gamma, we do not).

#include "raster/lice_png.h"

#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

uint32_t be32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

// True when the chunks as laid out ask for a conversion only libpng makes.
bool colourManaged(const uint8_t* data, size_t size)
{
  if (size < 33 || memcmp(data + 12, "IHDR", 4) != 0 || data[24] == 16) return true;
  for (size_t pos = 8; pos + 8 <= size;)
  {
    const uint8_t* t = data + pos + 4;
    if (!memcmp(t, "gAMA", 4) || !memcmp(t, "cHRM", 4) || !memcmp(t, "sRGB", 4) || !memcmp(t, "iCCP", 4) ||
        !memcmp(t, "sBIT", 4))
      return true;
    const uint64_t len = be32(data + pos);
    pos += 12 + len;
  }
  return false;
}

// True when a chunk states more bytes than the file holds: libpng's simplified
// reader would allocate that much before finding out (the png target covers ours).
bool claimsTooMuch(const uint8_t* data, size_t size)
{
  for (size_t pos = 8; pos + 8 <= size;)
  {
    const uint64_t len = be32(data + pos);
    if (len > size - pos - 8) return true;
    pos += 12 + len;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 8 || size > (1u << 20) || claimsTooMuch(data, size)) return 0;

  png_image image;
  memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  bool theirs = png_image_begin_read_from_memory(&image, data, size) != 0;
  std::vector<uint8_t> pixels;
  if (theirs)
  {
    image.format = PNG_FORMAT_ARGB;
    // Sizes our loader refuses are not compared; neither is memory spent on them.
    const uint64_t bytes = (uint64_t)image.width * image.height * 4;
    if (bytes > (1u << 24))
    {
      png_image_free(&image);
      return 0;
    }
    pixels.resize((size_t)bytes);
    theirs = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
  }
  png_image_free(&image);

  std::unique_ptr<LICE_IBitmap> ours(LICE_LoadPNGFromMemory(data, (int)size, nullptr));
  if (ours && !theirs) abort();  // we took a file libpng refuses
  if (!ours || !theirs || colourManaged(data, size)) return 0;

  if (ours->getWidth() != (int)image.width || ours->getHeight() != (int)image.height) abort();
  // Both lay a pixel out in memory as the bytes A, R, G, B.
  for (uint32_t y = 0; y < image.height; ++y)
  {
    const LICE_PixelValue* row = ours->getBits() + (size_t)y * ours->getRowSpan();
    if (memcmp(row, pixels.data() + (size_t)y * image.width * 4, (size_t)image.width * 4) != 0) abort();
  }
  return 0;
}
