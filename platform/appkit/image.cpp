#include "platform/appkit/NSImage.h"

#include "platform/appkit/NSView.h"

#include "raster/lice_bitmap.h"
#include "raster/lice_png.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

uint32_t le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint16_t le16(const unsigned char* p) { return (uint16_t)(p[0] | p[1] << 8); }

bool fromBitmap(LICE_IBitmap* b, int* w, int* h, std::vector<uint32_t>* px)
{
  if (!b || b->getWidth() <= 0 || b->getHeight() <= 0) return false;
  *w = b->getWidth();
  *h = b->getHeight();
  px->resize((size_t)*w * *h);
  for (int y = 0; y < *h; ++y)
    for (int x = 0; x < *w; ++x)
    {
      const LICE_PixelValue p = b->getBits()[(size_t)y * b->getRowSpan() + x];
      (*px)[(size_t)y * *w + x] = (uint32_t)LICE_PixelA(p) << 24 | (uint32_t)LICE_PixelR(p) << 16 |
                                  (uint32_t)LICE_PixelG(p) << 8 | (uint32_t)LICE_PixelB(p);
    }
  return true;
}

bool decodePNG(const unsigned char* data, size_t size, int* w, int* h, std::vector<uint32_t>* px)
{
  LICE_MemBitmap bm;
  if (size > 0x7FFFFFFF || !LICE_LoadPNGFromMemory(data, (int)size, &bm)) return false;
  return fromBitmap(&bm, w, h, px);
}

// The first image of an icon file.
bool decodeICO(const std::vector<unsigned char>& f, int* w, int* h, std::vector<uint32_t>* px)
{
  if (f.size() < 22 || le16(&f[0]) != 0 || (le16(&f[2]) != 1 && le16(&f[2]) != 2) || le16(&f[4]) < 1) return false;
  const uint32_t size = le32(&f[6 + 8]), offset = le32(&f[6 + 12]);
  if (offset > f.size() || size > f.size() - offset || size < 40) return false;
  const unsigned char* d = &f[offset];
  static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (memcmp(d, sig, 8) == 0) return decodePNG(d, size, w, h, px);
  const uint32_t hdr = le32(d);
  const int32_t bw = (int32_t)le32(d + 4), bh2 = (int32_t)le32(d + 8);
  const int bpp = le16(d + 14);
  // The bitmap's height counts the colour rows and the mask rows.
  if (hdr < 40 || hdr > size || bw <= 0 || bw > 1024 || bh2 <= 0 || bh2 > 2048 || le32(d + 16) != 0) return false;
  if (bpp != 32 && bpp != 24) return false;
  const int bh = bh2 / 2;
  const size_t rowBytes = ((size_t)bw * bpp / 8 + 3) & ~(size_t)3, maskRow = (((size_t)bw + 31) / 32) * 4;
  const size_t need = hdr + rowBytes * bh + (bpp == 24 ? maskRow * bh : 0);
  if (need > size) return false;
  *w = bw;
  *h = bh;
  px->assign((size_t)bw * bh, 0);
  const unsigned char* colours = d + hdr;
  const unsigned char* mask = colours + rowBytes * bh;
  for (int y = 0; y < bh; ++y)
  {
    const unsigned char* row = colours + rowBytes * (bh - 1 - y);  // bottom-up
    for (int x = 0; x < bw; ++x)
    {
      const unsigned char* p = row + (size_t)x * (bpp / 8);
      uint32_t a = bpp == 32 ? p[3] : 255;
      if (bpp == 24 && (mask[maskRow * (bh - 1 - y) + x / 8] >> (7 - x % 8) & 1)) a = 0;
      (*px)[(size_t)y * bw + x] = a << 24 | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
    }
  }
  return true;
}

}  // namespace

NSImage::NSImage(int width, int height, std::vector<uint32_t> pixels)
  : mWidth(width), mHeight(height), mPixels(std::move(pixels))
{
  mPixels.resize((size_t)(width > 0 ? width : 0) * (height > 0 ? height : 0));
}

NSImage* NSImage::imageWithContentsOfFile(const std::string& path)
{
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) return nullptr;
  std::vector<unsigned char> f;
  unsigned char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, fp)) > 0 && f.size() < (64u << 20)) f.insert(f.end(), buf, buf + n);
  fclose(fp);
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  if (!decodePNG(f.data(), f.size(), &w, &h, &px) && !decodeICO(f, &w, &h, &px)) return nullptr;
  return new NSImage(w, h, std::move(px));
}

NSImage* NSImage::imageNamed(const std::string&) { return nullptr; }

void NSImage::drawInRect(NSRect r) const
{
  if (mWidth <= 0 || mHeight <= 0 || r.size.width < 1 || r.size.height < 1) return;
  const int w = (int)r.size.width, h = (int)r.size.height;
  // Small images (icons) only: one fill a point, nearest pixel.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      const uint32_t p = mPixels[(size_t)(y * mHeight / h) * (size_t)mWidth + (size_t)(x * mWidth / w)];
      const unsigned a = p >> 24;
      if (!a) continue;
      NSColor::colorWithCalibratedRed(((p >> 16) & 0xFF) / 255.0, ((p >> 8) & 0xFF) / 255.0, (p & 0xFF) / 255.0,
                                      a / 255.0)
          ->setFill();
      NSColor::fillRect(NSMakeRect(r.origin.x + x, r.origin.y + y, 1, 1));
    }
}
