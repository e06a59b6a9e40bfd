#pragma once
// Bitmaps: the interface every drawing operation writes through, a bitmap on the
// heap, and a bitmap whose pixels belong to a window-system memory context.
//
// Threads: none of them lock; a bitmap is drawn by one thread at a time.

#include "raster/lice_pixel.h"
#include "winsys/gdi.h"

#include <cstdint>

// Bitmaps whose pixels would take more bytes than this are refused: they come
// out empty, as if memory had run out.
const long long LICE_MAX_BITMAP_BYTES = 256LL * 1024 * 1024;

class LICE_IBitmap
{
public:
  virtual ~LICE_IBitmap() {}

  // First pixel of the top row; null when the bitmap has no pixels.
  virtual LICE_PixelValue* getBits() = 0;
  virtual int getWidth() = 0;
  virtual int getHeight() = 0;
  // Pixels from one row to the next; at least the width.
  virtual int getRowSpan() = 0;
  // Rows stored bottom-up.
  virtual bool isFlipped() { return false; }
  // False when the size is unchanged. Contents are unspecified afterwards; an
  // allocation failure leaves the bitmap empty and still returns true.
  virtual bool resize(int w, int h) = 0;
  // The window-system context holding the pixels, if any.
  virtual HDC getDC() { return nullptr; }
  virtual intptr_t Extended(int id, void* data)
  {
    (void)id;
    (void)data;
    return 0;
  }
};

class LICE_MemBitmap : public LICE_IBitmap
{
public:
  // Rows are rounded up by linealign (a power of two; 4 by default).
  LICE_MemBitmap(int w = 0, int h = 0, unsigned int linealign = 4);
  ~LICE_MemBitmap() override;
  LICE_MemBitmap(const LICE_MemBitmap&) = delete;
  LICE_MemBitmap& operator=(const LICE_MemBitmap&) = delete;

  LICE_PixelValue* getBits() override;
  int getWidth() override { return m_width; }
  int getHeight() override { return m_height; }
  int getRowSpan() override { return (m_width + m_linealign) & ~m_linealign; }
  bool resize(int w, int h) override;

protected:
  void* m_fb;         // the allocation; pixels start at its next 64-byte boundary
  int m_width, m_height;
  int m_allocsize;    // usable bytes of the allocation
  int m_linealign;    // row span rounding mask
};

class LICE_SysBitmap : public LICE_IBitmap
{
public:
  LICE_SysBitmap(int w = 0, int h = 0);
  ~LICE_SysBitmap() override;
  LICE_SysBitmap(const LICE_SysBitmap&) = delete;
  LICE_SysBitmap& operator=(const LICE_SysBitmap&) = delete;

  LICE_PixelValue* getBits() override { return m_bits; }
  int getWidth() override { return m_width; }
  int getHeight() override { return m_height; }
  int getRowSpan() override { return m_allocw; }
  // A smaller size keeps the context; only a larger one makes a new, zero-filled one.
  // Callers take getDC() and getBits() again after every resize.
  bool resize(int w, int h) override;
  HDC getDC() override { return m_dc; }

protected:
  int m_width, m_height;
  HDC m_dc;
  LICE_PixelValue* m_bits;
  int m_allocw, m_alloch;
};
