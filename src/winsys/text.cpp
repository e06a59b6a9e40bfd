#include "winsys/text.h"

#include "base/heapbuf.h"
#include "base/mutex.h"
#include "base/ptrlist.h"
#include "platform/coretext/coretext.h"

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

    // Positions are in the context's user space, drawn through its transform and
    // inside its clip, so a view's context draws where the view is and a scaled or
    // turned one scales or turns the text.
    CGContextRef gc = ctx->ctx;
    CGContextSaveGState(gc);
    if (!(flags & DT_NOCLIP))
      CGContextClipToRect(gc, CGRectMake(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top));
    const COLORREF bk = ctx->curbkcol;
    CGContextSetRGBFillColor(gc, ((bk >> 16) & 0xFF) / 255.0, ((bk >> 8) & 0xFF) / 255.0, (bk & 0xFF) / 255.0, 1);
    CTPixelTarget target;
    target.pixels = CGBitmapContextGetData(gc);
    target.width = (int)CGBitmapContextGetWidth(gc);
    target.height = (int)CGBitmapContextGetHeight(gc);
    target.rowBytes = (int)CGBitmapContextGetBytesPerRow(gc);
    DVCGContextGetPixelClip(gc, &target.clipLeft, &target.clipTop, &target.clipRight, &target.clipBottom);

    // User space to pixels (y down). Glyphs stand upright in a flipped context as
    // in the layer's own: where the transform mirrors, the text's own space is
    // mirrored back, its lines hanging from the bottom edge of their boxes.
    const CGAffineTransform m = CGContextGetCTM(gc);
    const bool mirrored = m.a * m.d - m.b * m.c > 0;
    const CTTextMatrix tm = mirrored ? CTTextMatrix{m.a, -m.c, -m.b, m.d} : CTTextMatrix{m.a, m.c, -m.b, -m.d};
    const bool plain = tm.xx == 1 && tm.xy == 0 && tm.yx == 0 && tm.yy == 1;

    const bool opaque = ctx->curbkmode == 1;
    const bool antialias = quality != NONANTIALIASED_QUALITY;
    const COLORREF tc = ctx->curtextcol;
    const int red = (tc >> 16) & 0xFF, green = (tc >> 8) & 0xFF, blue = tc & 0xFF;
    // Each line's box is its typographic width by its unrounded height, and the
    // next line starts that height further down, rounded to the nearest pixel (the
    // measured height keeps its extra pixel a line, so the drawn lines fit inside
    // it). A single line's box is the whole measured height.
    const int lineAdvance = (int)floor(ascent + descent + leading + 0.5);
    const int lineBox = multiline ? (int)lround(ascent + descent + leading) : H;
    if (target.pixels && target.clipLeft < target.clipRight && target.clipTop < target.clipBottom)
    {
      const DVCGClipGuard keep(gc);  // the engine knows the clip's box alone
      for (int k = 0; k < count; ++k, y += lineAdvance)
      {
        if (opaque) CGContextFillRect(gc, CGRectMake(x, y, list[k].width, lineBox));
        CGFloat top[2];
        DVCGContextUserToPixel(gc, x, mirrored ? y + lineBox : y, &top[0], &top[1]);
        if (plain)
          CTLineDraw(list[k].line, &target, (int)lround(top[0]), (int)lround(top[1]) + (int)lround(ascent), red, green,
                     blue, antialias);
        else
          CTLineDrawTransformed(list[k].line, &target, tm, top[0] + tm.xy * ascent, top[1] + tm.yy * ascent, red,
                                green, blue, antialias);
      }
    }
    CGContextRestoreGState(gc);
  }

  for (int k = 0; k < count; ++k) CTLineRelease(list[k].line);
  return H;
}
