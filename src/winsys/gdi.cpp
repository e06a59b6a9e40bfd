#include "winsys/gdi.h"
#include "winsys/gdi_image.h"

#include "base/mutex.h"
#include "base/ptrlist.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Deleted records go to a free list and are reused only once more than this many
// newer ones wait behind them, so a stale handle stays readable (flagged freed).
const int kPoolReuseThreshold = 8192;

// Made on first use and never destroyed, so records parked in the pools stay
// reachable and the lock outlives every static destructor.
WDL_Mutex& poolMutex()
{
  static WDL_Mutex* const m_ctxpool_mutex = new WDL_Mutex;
  return *m_ctxpool_mutex;
}

WDL_PtrList<HDC__>& ctxPool()
{
  static WDL_PtrList<HDC__>* l = new WDL_PtrList<HDC__>;
  return *l;
}

WDL_PtrList<HGDIOBJ__>& objPool()
{
  static WDL_PtrList<HGDIOBJ__>* l = new WDL_PtrList<HGDIOBJ__>;
  return *l;
}

constexpr HGDIOBJ__ stockRecord(int type)
{
  HGDIOBJ__ r{};
  r.type = type;
  r.wid = -1;
  return r;
}

// The null pen and the null brush, made at compile time: ready before any thread
// asks for them.
HGDIOBJ__ s_stockObjects[2] = {stockRecord(SWELL_GDI_PEN), stockRecord(SWELL_GDI_BRUSH)};

template <class T>
T* takeRecord(WDL_PtrList<T>& pool)
{
  {
    WDL_MutexLock lock(&poolMutex());
    if (pool.GetSize() > kPoolReuseThreshold)
    {
      T* rec = pool.Get(0);
      pool.Delete(0);
      memset((void*)rec, 0, sizeof(T));
      return rec;
    }
  }
  return (T*)calloc(1, sizeof(T));
}

template <class T>
void returnRecord(WDL_PtrList<T>& pool, T* rec)
{
  WDL_MutexLock lock(&poolMutex());
  memset((void*)rec, 0, sizeof(T));
  rec->freed = true;
  pool.Add(rec);
}

bool isHandle(const void* h)
{
  return (uintptr_t)h >= 5;
}

bool isStock(HGDIOBJ h)
{
  return h >= s_stockObjects && h < s_stockObjects + 2;
}

// A handle of the wanted kind that is still alive; pens and brushes also must not
// be the null pen or brush.
bool isUsable(HGDIOBJ h, int type)
{
  if (!isHandle(h) || h->freed || h->type != type) return false;
  if ((type == SWELL_GDI_PEN || type == SWELL_GDI_BRUSH) && h->wid < 0) return false;
  return true;
}

bool isLiveContext(HDC ctx)
{
  return ctx && !ctx->freed;
}

CGColorSpaceRef objectColorSpace()
{
  static CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  return space;
}

CGColorSpaceRef textColorSpace()
{
  static CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  return space;
}

CGColorRef makeColor(CGColorSpaceRef space, COLORREF color, float alpha)
{
  const CGFloat comp[4] = {((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, (color & 0xFF) / 255.0,
                           alpha};
  return CGColorCreate(space, comp);
}

HGDIOBJ makePenOrBrush(int type, int wid, COLORREF color, float alpha)
{
  HGDIOBJ obj = takeRecord(objPool());
  if (!obj) return nullptr;
  obj->type = type;
  obj->wid = wid < 0 ? 0 : wid;
  obj->color = makeColor(objectColorSpace(), color, alpha);
  return obj;
}

HGDIOBJ* slotFor(HDC ctx, int type)
{
  switch (type)
  {
    case SWELL_GDI_PEN: return &ctx->curpen;
    case SWELL_GDI_BRUSH: return &ctx->curbrush;
    case SWELL_GDI_FONT: return &ctx->curfont;
  }
  return nullptr;
}

}  // namespace

int SWELL_GdiFreeRecordCount(bool contexts)
{
  WDL_MutexLock lock(&poolMutex());
  return contexts ? ctxPool().GetSize() : objPool().GetSize();
}

HDC SWELL_CreateMemContext(HDC, int w, int h)
{
  if (w < 1 || h < 1) return nullptr;
  // In 64 bits: a size whose buffer would pass 2 GiB is refused, never wrapped.
  const long long rowBytes = (long long)w * 4;
  if (rowBytes > (0x7fffffffLL - 63) / h) return nullptr;
  const long long bytes = rowBytes * h + 63;

  void* buf = calloc(1, (size_t)bytes);
  if (!buf) return nullptr;
  void* bits = (void*)(((uintptr_t)buf + 63) & ~(uintptr_t)63);
  CGContextRef gc = CGBitmapContextCreate(bits, (size_t)w, (size_t)h, 8, (size_t)rowBytes, objectColorSpace(),
                                          kCGImageAlphaNoneSkipFirst);
  if (!gc)
  {
    free(buf);
    return nullptr;
  }
  // y grows downward, so row 0 is the first row in memory.
  CGContextTranslateCTM(gc, 0, h);
  CGContextScaleCTM(gc, 1, -1);

  HDC ctx = takeRecord(ctxPool());
  if (!ctx)
  {
    CGContextRelease(gc);
    free(buf);
    return nullptr;
  }
  ctx->ctx = gc;
  ctx->ownedBuffer = buf;
  ctx->curtextcolor = makeColor(textColorSpace(), 0, 1.0f);
  return ctx;
}

void SWELL_DeleteGfxContext(HDC ctx)
{
  if (!isLiveContext(ctx)) return;
  if (ctx->ownedBuffer)
  {
    CGContextRelease(ctx->ctx);
    free(ctx->ownedBuffer);
  }
  CGColorRelease(ctx->curtextcolor);
  returnRecord(ctxPool(), ctx);
}

void* SWELL_GetCtxFrameBuffer(HDC ctx)
{
  if (!isLiveContext(ctx) || !ctx->ownedBuffer) return nullptr;
  return (void*)(((uintptr_t)ctx->ownedBuffer + 63) & ~(uintptr_t)63);
}

CGContextRef SWELL_GetCtxGC(HDC ctx)
{
  return isLiveContext(ctx) ? ctx->ctx : nullptr;
}

HPEN CreatePen(int, int width, COLORREF color)
{
  return makePenOrBrush(SWELL_GDI_PEN, width, color, 1.0f);
}

HPEN CreatePenAlpha(int, int width, COLORREF color, float alpha)
{
  return makePenOrBrush(SWELL_GDI_PEN, width, color, alpha);
}

HBRUSH CreateSolidBrush(COLORREF color)
{
  return makePenOrBrush(SWELL_GDI_BRUSH, 0, color, 1.0f);
}

HBRUSH CreateSolidBrushAlpha(COLORREF color, float alpha)
{
  return makePenOrBrush(SWELL_GDI_BRUSH, 0, color, alpha);
}

HFONT CreateFont(int height, int width, int, int orientation, int weight, char italic, char, char, char, char, char,
                 char quality, char, const char* faceName)
{
  HGDIOBJ font = takeRecord(objPool());
  if (!font) return nullptr;
  font->type = SWELL_GDI_FONT;

  const int request = height ? height : width;
  float size = request < 0 ? -(float)request : (float)request;
  if (size < 2.0f || size > 8192.0f) size = 10.0f;
  font->fontSize = size;
  font->rotation = orientation / 10.0f;

  char name[900 + 16];
  size_t n = 0;
  if (faceName)
    while (n < 899 && faceName[n]) ++n;
  memcpy(name, faceName ? faceName : "", n);
  name[n] = 0;
  if (weight >= 700) strcat(name, " Bold");
  if (italic) strcat(name, " Italic");
  font->faceName = strdup(name);

  font->quality = (quality == 3 || quality == 4) ? quality : 0;
  return font;
}

HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj)
{
  if (!isLiveContext(ctx)) return nullptr;

  const uintptr_t kind = (uintptr_t)obj;
  if (kind >= SWELL_GDI_PEN && kind <= SWELL_GDI_FONT)
  {
    HGDIOBJ* slot = slotFor(ctx, (int)kind);
    HGDIOBJ prev = *slot;
    *slot = nullptr;
    return isUsable(prev, (int)kind) ? prev : obj;
  }

  if (!isHandle(obj) || obj->freed) return nullptr;
  HGDIOBJ* slot = slotFor(ctx, obj->type);
  if (!slot) return nullptr;  // bitmaps cannot be selected
  if (*slot == obj) return obj;
  HGDIOBJ prev = *slot;
  *slot = obj;
  // Handing back the kind's number lets the caller deselect by selecting the result.
  return isUsable(prev, obj->type) ? prev : (HGDIOBJ)(uintptr_t)obj->type;
}

void DeleteObject(HGDIOBJ obj)
{
  if (!isHandle(obj) || isStock(obj) || obj->freed) return;
  if (obj->extraRefs-- > 0) return;
  if (obj->type < SWELL_GDI_PEN || obj->type > SWELL_GDI_BITMAP) return;
  if ((obj->type == SWELL_GDI_PEN || obj->type == SWELL_GDI_BRUSH) && obj->wid < 0) return;

  CGColorRelease(obj->color);
  free(obj->faceName);
  if (obj->type == SWELL_GDI_BITMAP && obj->wid && obj->image) SWELL_ReleaseImage(obj->image);
  returnRecord(objPool(), obj);
}

HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj)
{
  if (!isHandle(obj) || obj->freed) return nullptr;
  ++obj->extraRefs;
  return obj;
}

HGDIOBJ GetStockObject(int index)
{
  if (index != 1 && index != 2) return nullptr;
  HGDIOBJ obj = &s_stockObjects[index - 1];
  // Put right what a caller may have written over, but write nothing otherwise:
  // other threads may be reading the record.
  const int type = index == 1 ? SWELL_GDI_PEN : SWELL_GDI_BRUSH;
  if (obj->type != type) obj->type = type;
  if (obj->wid != -1) obj->wid = -1;
  return obj;
}

void SetTextColor(HDC ctx, COLORREF color)
{
  if (!isLiveContext(ctx)) return;
  ctx->curtextcol = color;
  CGColorRelease(ctx->curtextcolor);
  ctx->curtextcolor = makeColor(textColorSpace(), color, 1.0f);
}

COLORREF GetTextColor(HDC ctx)
{
  return isLiveContext(ctx) ? ctx->curtextcol : -1;
}

void SetBkColor(HDC ctx, COLORREF color)
{
  if (isLiveContext(ctx)) ctx->curbkcol = color;
}

void SetBkMode(HDC ctx, int mode)
{
  if (isLiveContext(ctx)) ctx->curbkmode = mode;
}

COLORREF GetSysColor(int index)
{
  static const COLORREF table[10] = {
    96 << 16 | 96 << 8 | 96,    224 << 16 | 224 << 8 | 224, 192 << 16 | 192 << 8 | 192, 0,
    192 << 16 | 192 << 8 | 192, 32 << 16 | 32 << 8 | 32,    48 << 16 | 48 << 8 | 48,    192 << 16 | 192 << 8 | 192,
    255 << 16 | 240 << 8 | 200, 0,
  };
  return index >= 0 && index < 10 ? table[index] : 0;
}

HGDIOBJ SWELL_MakeBitmapObject(SWELL_Image* image)
{
  if (!image) return nullptr;
  HGDIOBJ obj = takeRecord(objPool());
  if (!obj)
  {
    SWELL_ReleaseImage(image);
    return nullptr;
  }
  obj->type = SWELL_GDI_BITMAP;
  obj->wid = 1;
  obj->image = image;
  return obj;
}

HDC SWELL_WrapGfxPort(CGContextRef port)
{
  if (!port) return nullptr;
  HDC ctx = takeRecord(ctxPool());
  if (!ctx) return nullptr;
  ctx->ctx = port;
  ctx->curtextcolor = makeColor(textColorSpace(), 0, 1.0f);
  return ctx;
}
