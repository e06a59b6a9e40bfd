#include "raster/lice_bitmap.h"

#include <cstdlib>

LICE_MemBitmap::LICE_MemBitmap(int w, int h, unsigned int linealign)
  : m_fb(nullptr), m_width(0), m_height(0), m_allocsize(0), m_linealign(0)
{
  if (linealign >= 2)
  {
    const unsigned int lowest = linealign & (0u - linealign);
    m_linealign = lowest - 1 > 16 ? 16 : (int)(lowest - 1);
  }
  if (w || h) resize(w, h);
}

LICE_MemBitmap::~LICE_MemBitmap()
{
  free(m_fb);
}

LICE_PixelValue* LICE_MemBitmap::getBits()
{
  if (!m_fb) return nullptr;
  return (LICE_PixelValue*)(((uintptr_t)m_fb + 63) & ~(uintptr_t)63);
}

bool LICE_MemBitmap::resize(int w, int h)
{
  if (w == m_width && h == m_height) return false;
  m_width = w;
  m_height = h;

  // In 64 bits, and negative sizes are empty: a product of two negative sizes
  // must not turn into a buffer.
  long long pixels = 0;
  if (w > 0 && h > 0) pixels = (((long long)w + m_linealign) & ~(long long)m_linealign) * h;
  if (pixels <= 0 || pixels > LICE_MAX_BITMAP_BYTES / 4)
  {
    free(m_fb);
    m_fb = nullptr;
    m_allocsize = 0;
    m_width = m_height = 0;
    return true;
  }
  const long long bytes = pixels * 4;
  if (m_fb && bytes <= m_allocsize) return true;

  if (m_fb)
  {
    const long long cap = bytes + bytes / 4;
    void* nb = realloc(m_fb, (size_t)(cap + 63));
    if (nb)
    {
      m_fb = nb;
      m_allocsize = (int)cap;
      return true;
    }
    free(m_fb);
    m_fb = nullptr;
  }

  m_allocsize = (int)bytes;
  m_fb = malloc((size_t)(bytes + 63));
  if (!m_fb)
  {
    m_allocsize = 0;
    m_width = m_height = 0;
  }
  return true;
}

LICE_SysBitmap::LICE_SysBitmap(int w, int h)
  : m_width(0), m_height(0), m_dc(nullptr), m_bits(nullptr), m_allocw(0), m_alloch(0)
{
  resize(w, h);
}

LICE_SysBitmap::~LICE_SysBitmap()
{
  if (m_dc) SWELL_DeleteGfxContext(m_dc);
}

bool LICE_SysBitmap::resize(int w, int h)
{
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  if (w == m_width && h == m_height) return false;
  m_width = w;
  m_height = h;

  if (w && h && m_allocw >= w && m_alloch >= h && m_bits) return true;

  const long long span = ((long long)w + 3) & ~3LL;
  if (m_dc) SWELL_DeleteGfxContext(m_dc);
  m_dc = nullptr;
  m_bits = nullptr;
  m_allocw = m_alloch = 0;
  if (span * h > LICE_MAX_BITMAP_BYTES / 4)
  {
    m_width = m_height = 0;
    return true;
  }
  m_allocw = (int)span;
  m_alloch = h;
  if (!h || !span) return false;  // the size changed, though nothing is allocated

  m_dc = SWELL_CreateMemContext(nullptr, m_allocw, h);
  if (m_dc) m_bits = (LICE_PixelValue*)SWELL_GetCtxFrameBuffer(m_dc);
  if (!m_bits)
  {
    if (m_dc) SWELL_DeleteGfxContext(m_dc);
    m_dc = nullptr;
    m_width = m_height = 0;
    m_allocw = m_alloch = 0;
  }
  return true;
}
