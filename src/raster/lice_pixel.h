#pragma once
// The 32-bit pixel of the raster library and the combine-mode word every drawing
// operation takes.
//
// In memory a pixel's bytes are alpha, red, green, blue (straight alpha), which
// is the layout of the window system's memory contexts: system bitmaps go on
// screen without conversion. Read as a little-endian word: A | R<<8 | G<<16 | B<<24.

#include <cstdint>

typedef uint32_t LICE_PixelValue;

// Byte indexes of the channels inside one pixel in memory.
enum
{
  LICE_PIXEL_A = 0,
  LICE_PIXEL_R = 1,
  LICE_PIXEL_G = 2,
  LICE_PIXEL_B = 3
};

inline constexpr LICE_PixelValue LICE_MakePixel(int r, int g, int b, int a)
{
  return (LICE_PixelValue)(a & 0xFF) | (LICE_PixelValue)(r & 0xFF) << 8 | (LICE_PixelValue)(g & 0xFF) << 16 |
         (LICE_PixelValue)(b & 0xFF) << 24;
}
inline constexpr int LICE_PixelA(LICE_PixelValue v) { return (int)(v & 0xFF); }
inline constexpr int LICE_PixelR(LICE_PixelValue v) { return (int)((v >> 8) & 0xFF); }
inline constexpr int LICE_PixelG(LICE_PixelValue v) { return (int)((v >> 16) & 0xFF); }
inline constexpr int LICE_PixelB(LICE_PixelValue v) { return (int)(v >> 24); }

// Combine modes: the low byte picks the combiner; the other bits modify it.
enum
{
  LICE_MODE_COPY = 0,
  LICE_MODE_ADD = 1,
  LICE_MODE_COLORDODGE = 2,
  LICE_MODE_MULTIPLY = 3,
  LICE_MODE_OVERLAY = 4,
  LICE_MODE_HSVADJUST = 5,
  // Plain blits only: source byte mode & 3 goes to destination byte (mode >> 2) & 3.
  LICE_MODE_CHANNELCOPY = 0xF0,
  LICE_MODE_MASK = 0xFF,
  // Read by scaled and rotated blits only.
  LICE_MODE_BILINEAR = 0x100,
  // Each source pixel is weighted by its own alpha.
  LICE_MODE_SOURCEALPHA = 0x10000
};
