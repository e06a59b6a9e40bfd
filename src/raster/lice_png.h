#pragma once
// PNG images into 32-bit bitmaps (bytes A, R, G, B; images without alpha get 255).
// With a bitmap the image goes into it, resized, and it is returned; with null a
// new LICE_MemBitmap is made and the caller owns it. Null on any failure, with a
// line in the log. Any thread; no shared state.

#include "raster/lice_bitmap.h"

#include <functional>

LICE_IBitmap* LICE_LoadPNG(const char* path, LICE_IBitmap* bitmap);
LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int size, LICE_IBitmap* bitmap);
// Numeric resource ids mean nothing on this platform: always null.
LICE_IBitmap* LICE_LoadPNGFromResource(void* module, int id, LICE_IBitmap* bitmap);
// A resource of the main bundle by its name inside the bundle
// ("resources/img/overlayer.png"). Null for a name longer than
// kMaxResourceNameLen, one that would leave the bundle, or when the bundle has no
// folder.
const int kMaxResourceNameLen = 400;
LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bitmap);

// PNG files, 8 bits a channel: RGB, or RGBA with alpha. Written beside the path and
// renamed, so no half-written file is ever left; false on any failure, with a line in
// the log. Unfiltered rows make a larger file that inflates faster. Any thread.
bool LICE_WritePNG(const char* path, LICE_IBitmap* bitmap, bool alpha, bool unfiltered = false);
// The same with each row's bytes made by fillRow(y, row): R, G, B (and A) a pixel.
using LICE_PNGRowFunc = std::function<void(int y, unsigned char* row)>;
bool LICE_WritePNGRows(const char* path, int width, int height, bool alpha, bool unfiltered,
                       const LICE_PNGRowFunc& fillRow);

// The raster library's image formats, a list threaded through its loaders.
class LICE_ImageLoader
{
public:
  LICE_ImageLoader* _next = nullptr;
  virtual ~LICE_ImageLoader() {}
  virtual LICE_IBitmap* loadfunc(const char* filename, bool checkFileName, LICE_IBitmap* bitmap) = 0;
  // File-dialog filter pairs, NUL-separated, ended by an empty string.
  virtual const char* get_extlist() = 0;
};
extern LICE_ImageLoader* LICE_ImageLoader_list;

class LICE_PNGLoader : public LICE_ImageLoader
{
public:
  LICE_PNGLoader();
  // With checkFileName only names ending in ".png" (any case) are tried.
  LICE_IBitmap* loadfunc(const char* filename, bool checkFileName, LICE_IBitmap* bitmap) override;
  const char* get_extlist() override;
};
extern LICE_PNGLoader LICE_pngldr;
