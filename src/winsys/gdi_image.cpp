#include "winsys/gdi_image.h"

#include "raster/lice.h"
#include "raster/lice_png.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <new>
#include <string>

namespace {

bool usableBitmap(HGDIOBJ h)
{
  return (uintptr_t)h >= 5 && !h->freed && h->type == SWELL_GDI_BITMAP && h->image;
}

// The context's pixels inside its clip, for the raster library.
class ClipView : public LICE_IBitmap
{
public:
  explicit ClipView(CGContextRef gc)
  {
    DVCGContextGetPixelClip(gc, &left, &top, &right, &bottom);
    span = (int)(CGBitmapContextGetBytesPerRow(gc) / 4);
    LICE_PixelValue* data = (LICE_PixelValue*)CGBitmapContextGetData(gc);
    bits = data && right > left && bottom > top ? data + (size_t)top * span + left : nullptr;
  }
  LICE_PixelValue* getBits() override { return bits; }
  int getWidth() override { return bits ? right - left : 0; }
  int getHeight() override { return bits ? bottom - top : 0; }
  int getRowSpan() override { return span; }
  bool resize(int, int) override { return false; }
  int left, top, right, bottom, span;
  LICE_PixelValue* bits;
};

// The pixels of a PNG file, or null.
LICE_MemBitmap* loadPNGFile(const char* path)
{
  LICE_MemBitmap* bm = new (std::nothrow) LICE_MemBitmap(0, 0, 1);
  if (bm && (!LICE_LoadPNG(path, bm) || bm->getWidth() < 1 || bm->getHeight() < 1))
  {
    delete bm;
    bm = nullptr;
  }
  return bm;
}

// The application's named image: the file of that name in the resources folder of
// the bundle holding this code (the folder of its shared library or program), or
// with ".png" added to a name without an extension. Names that could leave the
// folder (absolute, or with a ".." component) name nothing.
LICE_MemBitmap* loadBundleImage(const std::string& name)
{
  if (name.empty() || name[0] == '/' || ("/" + name + "/").find("/../") != std::string::npos) return nullptr;
  Dl_info info;
  char self[PATH_MAX];
  if (!dladdr((void*)&LoadNamedImage, &info) || !info.dli_fname || !realpath(info.dli_fname, self)) return nullptr;
  std::string path(self);
  path = path.substr(0, path.rfind('/') + 1) + "resources/" + name;
  LICE_MemBitmap* bm = loadPNGFile(path.c_str());
  const size_t base = name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1;
  if (!bm && name.find('.', base) == std::string::npos) bm = loadPNGFile((path + ".png").c_str());
  return bm;
}

}  // namespace

SWELL_Image* SWELL_CreateImage(int w, int h)
{
  if (w < 1 || h < 1) return nullptr;
  LICE_MemBitmap* bm = new (std::nothrow) LICE_MemBitmap(w, h, 1);
  if (!bm || !bm->getBits() || bm->getWidth() != w)
  {
    delete bm;
    return nullptr;
  }
  for (int y = 0; y < h; ++y) memset(bm->getBits() + (size_t)y * bm->getRowSpan(), 0, (size_t)w * 4);
  SWELL_Image* img = new (std::nothrow) SWELL_Image{bm, (double)w, (double)h, false, 1};
  if (!img) delete bm;
  return img;
}

SWELL_Image* SWELL_RetainImage(SWELL_Image* image)
{
  if (image) ++image->refs;
  return image;
}

void SWELL_ReleaseImage(SWELL_Image* image)
{
  if (!image || --image->refs > 0) return;
  delete image->pixels;
  delete image;
}

HGDIOBJ CreateBitmap(int w, int h, int planes, int bitsPerPixel, const void* bits)
{
  // Only as many bytes as the depth says are read: a 24-bit source holds three a pixel.
  if (!bits || planes > 1 || (bitsPerPixel != 24 && bitsPerPixel != 32)) return nullptr;
  SWELL_Image* img = SWELL_CreateImage(w, h);
  if (!img) return nullptr;
  const int bpp = bitsPerPixel / 8;
  const unsigned char* src = (const unsigned char*)bits;
  for (int y = 0; y < h; ++y)
  {
    LICE_PixelValue* row = img->pixels->getBits() + (size_t)y * img->pixels->getRowSpan();
    for (int x = 0; x < w; ++x, src += bpp)
      row[x] = bpp == 4 ? LICE_MakePixel(src[1], src[2], src[3], src[0]) : LICE_MakePixel(src[0], src[1], src[2], 255);
  }
  img->flipped = true;
  return SWELL_MakeBitmapObject(img);
}

HGDIOBJ CreateIconIndirect(const ICONINFO* info)
{
  if (!info || !info->fIcon || !usableBitmap(info->hbmColor)) return nullptr;
  return SWELL_MakeBitmapObject(SWELL_RetainImage(info->hbmColor->image));
}

HGDIOBJ LoadNamedImage(const char* name, bool magentaIsTransparent)
{
  if (!name) name = "";
  // A path is a file; a bare name, or a file that does not load, is asked of the
  // bundle.
  LICE_MemBitmap* bm = strchr(name, '/') ? loadPNGFile(name) : nullptr;
  if (!bm) bm = loadBundleImage(name);
  if (!bm) return nullptr;
  if (magentaIsTransparent)
    for (int y = 0; y < bm->getHeight(); ++y)
    {
      LICE_PixelValue* row = bm->getBits() + (size_t)y * bm->getRowSpan();
      for (int x = 0; x < bm->getWidth(); ++x)
        if (LICE_PixelR(row[x]) == 255 && LICE_PixelG(row[x]) == 0 && LICE_PixelB(row[x]) == 255) row[x] = 0;
    }
  SWELL_Image* img = new (std::nothrow) SWELL_Image{bm, (double)bm->getWidth(), (double)bm->getHeight(), true, 1};
  if (!img)
  {
    delete bm;
    return nullptr;
  }
  return SWELL_MakeBitmapObject(img);
}

int GetObject(HGDIOBJ obj, int size, void* out)
{
  if (out && size > 0) memset(out, 0, (size_t)size);
  if (!out || size != (int)sizeof(BITMAP) || !usableBitmap(obj)) return 0;
  BITMAP* bm = (BITMAP*)out;
  bm->bmWidth = (int32_t)(obj->image->width + 0.5);
  bm->bmHeight = (int32_t)(obj->image->height + 0.5);
  return 1;
}

SWELL_Image* GetNSImageFromHICON(HGDIOBJ obj)
{
  return usableBitmap(obj) ? obj->image : nullptr;
}

void DrawImageInRect(HDC ctx, HGDIOBJ obj, const RECT* r)
{
  if (usableBitmap(obj)) SWELL_DrawImageInRect(ctx, obj->image, r);
}

void SWELL_DrawImageInRect(HDC ctx, SWELL_Image* image, const RECT* r)
{
  if (!ctx || ctx->freed || !ctx->ctx || !r || !image || !image->pixels) return;
  CGFloat ax, ay, bx, by;
  DVCGContextUserToPixel(ctx->ctx, r->left, r->top, &ax, &ay);
  DVCGContextUserToPixel(ctx->ctx, r->right, r->bottom, &bx, &by);
  const int x0 = (int)std::lround(std::fmin(ax, bx)), y0 = (int)std::lround(std::fmin(ay, by));
  const int w = (int)std::lround(std::fabs(bx - ax)), h = (int)std::lround(std::fabs(by - ay));
  ClipView dst(ctx->ctx);
  if (!dst.getBits() || w < 1 || h < 1) return;
  const DVCGClipGuard keep(ctx->ctx);
  LICE_IBitmap* src = image->pixels;
  LICE_ScaledBlit(&dst, src, x0 - dst.left, y0 - dst.top, w, h, 0, 0, (float)src->getWidth(), (float)src->getHeight(),
                  1.0f, LICE_MODE_COPY | LICE_MODE_SOURCEALPHA);
}

HIMAGELIST ImageList_CreateEx()
{
  return new (std::nothrow) WDL_PtrList<HGDIOBJ__>;
}

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HGDIOBJ icon)
{
  if (!list || !usableBitmap(icon)) return -1;
  HGDIOBJ obj = SWELL_MakeBitmapObject(SWELL_RetainImage(icon->image));
  if (!obj) return -1;
  if (index >= 0 && index < list->GetSize())
  {
    HGDIOBJ old = list->Get(index);
    list->Set(index, obj);
    if (old) DeleteObject(old);
    return index;
  }
  list->Add(obj);
  return list->GetSize() - 1;
}

int ImageList_Remove(HIMAGELIST list, int index)
{
  if (!list || index >= list->GetSize()) return 0;
  if (index < 0)
  {
    for (int i = 0; i < list->GetSize(); ++i)
      if (list->Get(i)) DeleteObject(list->Get(i));
    list->Empty();
    return 1;
  }
  HGDIOBJ old = list->Get(index);
  list->Set(index, nullptr);
  if (old) DeleteObject(old);
  return 1;
}

void ImageList_Destroy(HIMAGELIST list)
{
  if (!list) return;
  ImageList_Remove(list, -1);
  delete list;
}
