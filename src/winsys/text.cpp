#include "winsys/text.h"

#include "base/heapbuf.h"
#include "base/mutex.h"
#include "base/ptrlist.h"
#include "platform/coretext/coretext.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Text longer than this (less its NUL) is cut.
const int kTextBufferSize = 4096;

// Requested face name and size to the platform font that serves them. Entries are
// only added, so a platform font stays valid once handed out.
struct FontCacheEntry
{
  char* name;
  float size;
  CTFontRef font;
};

WDL_Mutex& s_fontnamecache_mutex()
{
  static WDL_Mutex* m = new WDL_Mutex;
  return *m;
}

// Kept sorted by name (strcmp), then size, for a binary search.
WDL_PtrList<FontCacheEntry>& s_fontnamecache()
{
  static WDL_PtrList<FontCacheEntry>* l = new WDL_PtrList<FontCacheEntry>;
  return *l;
}

int compareEntry(const FontCacheEntry* e, const char* name, float size)
{
  const int c = strcmp(e->name, name);
  if (c) return c;
  return e->size < size ? -1 : e->size > size ? 1 : 0;
}

CTFontRef platformFont(const char* name, float size)
{
  WDL_MutexLock lock(&s_fontnamecache_mutex());
  WDL_PtrList<FontCacheEntry>& cache = s_fontnamecache();
  int lo = 0, hi = cache.GetSize();
  while (lo < hi)
  {
    const int mid = (lo + hi) / 2;
    const int c = compareEntry(cache.Get(mid), name, size);
    if (c == 0) return cache.Get(mid)->font;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  CTFontRef font = CTFontCreateWithName(name, size);
  if (!font) font = CTFontCreateUIFontForLanguage(kCTFontUIFontLabel, size, nullptr);
  FontCacheEntry* e = (FontCacheEntry*)malloc(sizeof(FontCacheEntry));
  char* key = strdup(name);
  if (!e || !key || !cache.Insert(lo, e))
  {
    free(e);
    free(key);
    CTFontRelease(font);
    return nullptr;
  }
  *e = FontCacheEntry{key, size, font};
  return font;
}

CTFontRef defaultFont()
{
  static CTFontRef font = CTFontCreateUIFontForLanguage(kCTFontUIFontLabel, 10.0, nullptr);
  return font;
}

bool isLiveContext(HDC ctx)
{
  return ctx && !ctx->freed;
}

// The platform font of the context's selected font, else the default font; quality
// is the selected font's (0 with the default font).
CTFontRef contextFont(HDC ctx, int* quality)
{
  *quality = 0;
  HGDIOBJ h = ctx->curfont;
  if ((uintptr_t)h >= 5 && !h->freed && h->type == SWELL_GDI_FONT)
  {
    CTFontRef font = platformFont(h->faceName ? h->faceName : "", h->fontSize);
    if (font)
    {
      *quality = h->quality;
      return font;
    }
  }
  return defaultFont();
}

// The number of bytes of buf[0..n) that hold whole characters: a UTF-8 sequence the
// cut would split is left out rather than drawn as stray bytes.
int wholeCharacters(const unsigned char* buf, int n)
{
  int j = n - 1;
  while (j > 0 && j > n - 4 && (buf[j] & 0xC0) == 0x80) --j;
  if (j < 0) return n;
  const unsigned lead = buf[j];
  const int need = (lead >= 0xC2 && lead <= 0xDF) ? 2 : (lead >= 0xE0 && lead <= 0xEF) ? 3
                   : (lead >= 0xF0 && lead <= 0xF4)                                   ? 4
                                                                                      : 1;
  return need > n - j ? j : n;
}

// Fills a rectangle of the pixel target with an opaque colour, inside its clip.
void fillBox(const CTPixelTarget& t, int x, int y, int w, int h, COLORREF color)
{
  int x0 = x > t.clipLeft ? x : t.clipLeft, y0 = y > t.clipTop ? y : t.clipTop;
  int x1 = x + w < t.clipRight ? x + w : t.clipRight, y1 = y + h < t.clipBottom ? y + h : t.clipBottom;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > t.width) x1 = t.width;
  if (y1 > t.height) y1 = t.height;
  if (x0 >= x1 || y0 >= y1) return;
  const unsigned char px[4] = {255, (unsigned char)(color >> 16), (unsigned char)(color >> 8), (unsigned char)color};
  for (int row = y0; row < y1; ++row)
  {
    unsigned char* p = (unsigned char*)t.pixels + (ptrdiff_t)row * t.rowBytes + (ptrdiff_t)x0 * 4;
    for (int col = x0; col < x1; ++col, p += 4) memcpy(p, px, 4);
  }
}

struct TextLine
{
  CTLineRef line;
  int width;
};

}  // namespace

HFONT CreateFontIndirect(const LOGFONT* lf)
{
  if (!lf) return nullptr;
  char face[sizeof(lf->lfFaceName) + 1];
  memcpy(face, lf->lfFaceName, sizeof(lf->lfFaceName));
  face[sizeof(lf->lfFaceName)] = 0;
  return CreateFont(lf->lfHeight, lf->lfWidth, 0, lf->lfOrientation, lf->lfWeight, lf->lfItalic, 0, 0, 0, 0, 0,
                    lf->lfQuality, 0, face);
}

BOOL GetTextMetrics(HDC ctx, TEXTMETRIC* tm)
{
  if (tm)
  {
    tm->tmHeight = 16;
    tm->tmAscent = 12;
    tm->tmDescent = 4;
    tm->tmInternalLeading = 3;
    tm->tmAveCharWidth = 10;
  }
  if (!tm || !isLiveContext(ctx)) return FALSE;
  int quality;
  CTFontRef font = contextFont(ctx, &quality);
  if (!font) return TRUE;
  tm->tmInternalLeading = (int)CTFontGetLeading(font);
  tm->tmAscent = (int)CTFontGetAscent(font);
  tm->tmDescent = (int)CTFontGetDescent(font);
  tm->tmHeight = tm->tmAscent + tm->tmDescent + tm->tmInternalLeading;
  tm->tmAveCharWidth = tm->tmHeight * 2 / 3;
  if (tm->tmHeight) tm->tmHeight++;
  return TRUE;
}

int SWELL_DrawText(HDC ctx, const char* text, int length, RECT* rect, int flags)
{
  if (!isLiveContext(ctx) || !text || !rect) return 0;

  unsigned char buf[kTextBufferSize];
  int n = 0;
  bool multiline = false, cut = false;
  const unsigned char* src = (const unsigned char*)text;
  long i = 0;
  auto more = [&]() { return (length < 0 || i < length) && src[i]; };
  while (more())
  {
    if (n >= kTextBufferSize - 1)
    {
      cut = true;
      break;
    }
    unsigned char c = src[i++];
    if (c == '&' && !(flags & DT_NOPREFIX))
    {
      if (!more()) break;
      c = src[i++];
    }
    if (c == '\r') continue;
    if (c == '\n')
    {
      if (flags & DT_SINGLELINE)
        c = ' ';
      else
        multiline = true;
    }
    buf[n++] = c;
  }
  if (cut) n = wholeCharacters(buf, n);
  if (n == 0) return 0;

  int quality;
  CTFontRef font = contextFont(ctx, &quality);
  if (!font) return 0;
  const double ascent = CTFontGetAscent(font), descent = CTFontGetDescent(font), leading = CTFontGetLeading(font);
  // The measured height of a line (drawing advances by the rounded height).
  const int lineHeight = (int)floor(ascent + descent + leading + 1.5);

  // One line per line feed; a final line feed does not begin another line.
  WDL_TypedBuf<TextLine> lines;
  TextLine single;
  TextLine* list = &single;
  int count = 0;
  if (!multiline)
  {
    single.line = CTLineCreateWithUTF8(font, (const char*)buf, n);
    count = 1;
  }
  else
  {
    int nl = 1;
    for (int k = 0; k < n - 1; ++k) nl += buf[k] == '\n';
    list = lines.Resize(nl, false);
    if (!list || lines.GetSize() != nl) return 0;
    for (int start = 0; start < n;)
    {
      int end = start;
      while (end < n && buf[end] != '\n') ++end;
      list[count++].line = CTLineCreateWithUTF8(font, (const char*)buf + start, end - start);
      start = end + 1;
    }
  }

  int width = 0;
  for (int k = 0; k < count; ++k)
  {
    list[k].width = (int)floor(CTLineGetTypographicBounds(list[k].line, nullptr, nullptr, nullptr) + 0.5);
    if (list[k].width > width) width = list[k].width;
  }
  const int height = lineHeight * count;
  const int H = height ? height + 1 : 0;

  if (flags & DT_CALCRECT)
  {
    rect->right = rect->left + width;
    rect->bottom = rect->top + H;
  }
  else
  {
    int x = rect->left, y = rect->top;
    if (flags & DT_RIGHT)
      x += rect->right - (rect->left + width);
    else if (flags & DT_CENTER)
      x += (rect->right - rect->left) / 2 - width / 2;
    if (flags & DT_BOTTOM)
      y += rect->bottom - H - rect->top;
    else if (flags & DT_VCENTER)
      y += (rect->bottom - rect->top) / 2 - H / 2;

    // Positions are in the context's user space: through its transform to pixels,
    // and inside its clip, so a view's context draws where the view is.
    CGContextRef gc = ctx->ctx;
    CTPixelTarget target;
    target.pixels = CGBitmapContextGetData(gc);
    target.width = (int)CGBitmapContextGetWidth(gc);
    target.height = (int)CGBitmapContextGetHeight(gc);
    target.rowBytes = (int)CGBitmapContextGetBytesPerRow(gc);
    DVCGContextGetPixelClip(gc, &target.clipLeft, &target.clipTop, &target.clipRight, &target.clipBottom);
    // A box of user space as pixels (left, top inclusive; right, bottom exclusive).
    auto pixelBox = [gc](double l, double t, double r, double b, int* out) {
      CGFloat ax, ay, bx, by;
      DVCGContextUserToPixel(gc, l, t, &ax, &ay);
      DVCGContextUserToPixel(gc, r, b, &bx, &by);
      out[0] = (int)lround(std::fmin(ax, bx));
      out[1] = (int)lround(std::fmin(ay, by));
      out[2] = (int)lround(std::fmax(ax, bx));
      out[3] = (int)lround(std::fmax(ay, by));
    };
    if (!(flags & DT_NOCLIP))
    {
      int r[4];
      pixelBox(rect->left, rect->top, rect->right, rect->bottom, r);
      target.clipLeft = std::max(target.clipLeft, r[0]);
      target.clipTop = std::max(target.clipTop, r[1]);
      target.clipRight = std::min(target.clipRight, r[2]);
      target.clipBottom = std::min(target.clipBottom, r[3]);
    }
    const bool opaque = ctx->curbkmode == 1;
    const bool antialias = quality != NONANTIALIASED_QUALITY;
    const COLORREF tc = ctx->curtextcol;
    const int baselineOffset = (int)lround(ascent);
    // Each line's box is its typographic width by its unrounded height, and the
    // next line starts that height further down, rounded to the nearest pixel (the
    // measured height keeps its extra pixel a line, so the drawn lines fit inside
    // it). A single line's box is the whole measured height.
    const int lineAdvance = (int)floor(ascent + descent + leading + 0.5);
    const int lineBox = multiline ? (int)lround(ascent + descent + leading) : H;
    if (target.pixels && target.clipLeft < target.clipRight && target.clipTop < target.clipBottom)
      for (int k = 0; k < count; ++k, y += lineAdvance)
      {
        int box[4];
        pixelBox(x, y, x + list[k].width, y + lineBox, box);
        if (opaque) fillBox(target, box[0], box[1], box[2] - box[0], box[3] - box[1], ctx->curbkcol);
        CTLineDraw(list[k].line, &target, box[0], box[1] + baselineOffset, (tc >> 16) & 0xFF, (tc >> 8) & 0xFF,
                   tc & 0xFF, antialias);
      }
  }

  for (int k = 0; k < count; ++k) CTLineRelease(list[k].line);
  return H;
}
