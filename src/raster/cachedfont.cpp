#include "raster/cachedfont.h"

#include "raster/lice_combine.h"
#include "raster/lice_fast.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Glyphs are rendered into this, white on black.
LICE_SysBitmap* s_tempbitmap;
// Native drawing onto bitmaps without a drawing context goes through this.
LICE_SysBitmap* s_nativerender_tempbitmap;
int s_tempbitmap_refcnt;

// Font flags that keep text off the native route.
const int kCachedOnlyFlags = LICE_FONT_VERTICAL | LICE_FONT_BOTTOMUP | LICE_FONT_PRECALC | LICE_FONT_BLUR |
                             LICE_FONT_INVERT | LICE_FONT_MONO | LICE_FONT_SHADOW | LICE_FONT_OUTLINE;

COLORREF toColorRef(LICE_PixelValue v)
{
  return LICE_PixelR(v) << 16 | LICE_PixelG(v) << 8 | LICE_PixelB(v);
}

void whiteOnBlack(LICE_SysBitmap* bm)
{
  HDC dc = bm->getDC();
  ::SetTextColor(dc, 0xFFFFFF);
  ::SetBkMode(dc, 1);
  ::SetBkColor(dc, 0);
}

LICE_SysBitmap* glyphBitmap(int minSize)
{
  if (!s_tempbitmap) s_tempbitmap = new LICE_SysBitmap(0, 0);
  if (s_tempbitmap->getWidth() < minSize || s_tempbitmap->getHeight() < minSize)
  {
    s_tempbitmap->resize(minSize, minSize);
    whiteOnBlack(s_tempbitmap);
  }
  return s_tempbitmap;
}

// One character of text: a well-formed UTF-8 sequence of at most `left` bytes (a
// negative `left` reads to the NUL, which is never a continuation byte), else the
// single byte standing for itself. Never looks beyond `left` bytes. Characters beyond
// 16 bits come out as spaces.
int utf8char(const char* text, int left, unsigned short* out)
{
  const unsigned char* p = (const unsigned char*)text;
  const unsigned c = p[0];
  auto cont = [&](int i) { return (left < 0 || i < left) && (p[i] & 0xC0) == 0x80; };
  unsigned code = c;
  int len = 1;
  if (c >= 0xC2 && c <= 0xDF && cont(1))
  {
    code = ((c & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    len = 2;
  }
  else if (c >= 0xE0 && c <= 0xEF && cont(1) && cont(2))
  {
    code = (((c & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu)) & 0xFFFF;
    len = 3;
  }
  else if (c >= 0xF0 && c <= 0xF4 && cont(1) && cont(2) && cont(3))
  {
    code = ' ';
    len = 4;
  }
  if (out) *out = (unsigned short)code;
  return len;
}

// A walk over the characters of a text: length bytes (negative: to the NUL), and
// always stopping at a NUL. Carriage returns are skipped; a line feed moves the pen to
// the start of the next line (down, or right for vertical text), or is a space on a
// single line.
struct TextWalker
{
  const char* p;
  int left;
  bool singleLine, vertical;
  int lineHeight, startx, starty;

  bool next(unsigned short* ch, int* x, int* y)
  {
    while (left != 0 && *p)
    {
      const int n = utf8char(p, left, ch);
      p += n;
      if (left > 0) left = left > n ? left - n : 0;
      if (*ch == '\r') continue;
      if (*ch != '\n') return true;
      if (singleLine)
      {
        *ch = ' ';
        return true;
      }
      if (vertical)
      {
        *y = starty;
        *x += lineHeight;
      }
      else
      {
        *x = startx;
        *y += lineHeight;
      }
    }
    return false;
  }
};

// Calls f(x, coverage) for each inked byte of a mask row, skipping blank stretches
// eight bytes at a time: most of a glyph's box is blank.
template <class F>
inline void eachInked(const unsigned char* m, int w, F f)
{
  int x = 0;
  for (; x + 8 <= w; x += 8)
  {
    uint64_t v;
    memcpy(&v, m + x, 8);
    if (!v) continue;
    for (int k = x; k < x + 8; ++k)
      if (m[k]) f(k, m[k]);
  }
  for (; x < w; ++x)
    if (m[x]) f(x, m[x]);
}

// Glyph renderers, one instance per combiner: mask is the first coverage byte to
// draw, dest the first destination pixel; spans in bytes and pixels. Blank coverage
// leaves the destination alone.
template <class COMBFUNC>
class GlyphRenderer
{
public:
  static void Mono(const unsigned char* mask, LICE_PixelValue* dest, int mask_span, int dest_span, int w, int h,
                   int r, int g, int b, int alpha)
  {
    for (int y = 0; y < h; ++y, mask += mask_span, dest += dest_span)
      eachInked(mask, w, [&](int x, int) { COMBFUNC::doPix((unsigned char*)(dest + x), r, g, b, 255, alpha); });
  }

  static void Normal(const unsigned char* mask, LICE_PixelValue* dest, int mask_span, int dest_span, int w, int h,
                     int r, int g, int b, int alpha)
  {
    if (alpha == 256)
    {
      for (int y = 0; y < h; ++y, mask += mask_span, dest += dest_span)
        eachInked(mask, w,
                  [&](int x, int cov) { COMBFUNC::doPix((unsigned char*)(dest + x), r, g, b, 255, cov + 1); });
      return;
    }
    for (int y = 0; y < h; ++y, mask += mask_span, dest += dest_span)
      eachInked(mask, w, [&](int x, int cov) {
        int wt = cov * alpha / 256;
        if (wt > 256) wt = 256;
        COMBFUNC::doPix((unsigned char*)(dest + x), r, g, b, 255, wt);
      });
  }

  static void Effect(const unsigned char* mask, LICE_PixelValue* dest, int mask_span, int dest_span, int w, int h,
                     int r, int g, int b, int alpha, int er, int eg, int eb)
  {
    for (int y = 0; y < h; ++y, mask += mask_span, dest += dest_span)
      eachInked(mask, w, [&](int x, int cov) {
        if (cov == 255)
          COMBFUNC::doPix((unsigned char*)(dest + x), r, g, b, 255, alpha);
        else
          COMBFUNC::doPix((unsigned char*)(dest + x), er, eg, eb, 255, alpha);
      });
  }
};

// The copy combiner's Normal renderer, the editor's translucent text: a faster twin
// of GlyphRenderer's, the same bytes from whole-word arithmetic. A pixel's weight is
// cov + 1 at full alpha, else cov x alpha / 256 (at most 256); blank coverage leaves
// the pixel alone, which weight 0 does as well.
inline int copyWeight(int cov, int alpha)
{
  const int wt = alpha == 256 ? cov + 1 : cov * alpha / 256;
  return wt > 256 ? 256 : wt;
}

#if defined(__SSE2__)
// Four pixels at once, each channel in a 16-bit lane: per channel
// (d x (256 - wt) + s x wt + 255 where s > d) >> 8, blendWord's rule, which stays
// below 65536. Up to alpha 256, cov x alpha fits a lane too. Blank coverage gives
// weight 0 and so the destination unchanged, whatever the other three pixels are.
struct CopyFour
{
  __m128i s16, alphaV;
  bool full;  // alpha 256
  CopyFour(uint32_t s, int alpha)
    : s16(_mm_unpacklo_epi8(_mm_set1_epi32((int)s), _mm_setzero_si128())), alphaV(_mm_set1_epi16((short)alpha)),
      full(alpha == 256)
  {
  }

  __m128i half(__m128i d, __m128i wt) const
  {
    const __m128i t =
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(d, _mm_sub_epi16(_mm_set1_epi16(256), wt)), _mm_mullo_epi16(s16, wt)),
                      _mm_and_si128(_mm_cmpgt_epi16(s16, d), _mm_set1_epi16(255)));
    return _mm_srli_epi16(t, 8);
  }

  void blend(LICE_PixelValue* dest, uint32_t c4) const
  {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c = _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)c4), zero);
    const __m128i wt = full ? _mm_add_epi16(_mm_add_epi16(c, _mm_set1_epi16(1)), _mm_cmpeq_epi16(c, zero))
                            : _mm_srli_epi16(_mm_mullo_epi16(c, alphaV), 8);
    const __m128i pairs = _mm_unpacklo_epi16(wt, wt);  // w0 w0 w1 w1 w2 w2 w3 w3
    const __m128i d = _mm_loadu_si128((const __m128i*)dest);
    const __m128i lo = half(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi32(pairs, pairs));
    const __m128i hi = half(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi32(pairs, pairs));
    _mm_storeu_si128((__m128i*)dest, _mm_packus_epi16(lo, hi));
  }

  // The whole fours of a row, blank eights skipped; returns the pixels done.
  int row(const unsigned char* mask, LICE_PixelValue* dest, int w) const
  {
    int x = 0;
    for (; x + 8 <= w; x += 8)
    {
      uint64_t c8;
      memcpy(&c8, mask + x, 8);
      if (!c8) continue;
      blend(dest + x, (uint32_t)c8);
      blend(dest + x + 4, (uint32_t)(c8 >> 32));
    }
    if (x + 4 <= w)
    {
      uint32_t c4;
      memcpy(&c4, mask + x, 4);
      if (c4) blend(dest + x, c4);
      x += 4;
    }
    return x;
  }
};
#endif

void normalCopyFast(const unsigned char* mask, LICE_PixelValue* dest, int mask_span, int dest_span, int w, int h,
                    LICE_PixelValue colour, int alpha)
{
  const uint32_t s = colour | 0xFF;  // alpha channel 255
#if defined(__SSE2__)
  const CopyFour four(s, alpha);
  const bool inFours = alpha <= 256;
#endif
  for (int y = 0; y < h; ++y, mask += mask_span, dest += dest_span)
  {
    int x = 0;
#if defined(__SSE2__)
    if (inFours) x = four.row(mask, dest, w);
#endif
    for (; x < w; ++x)
      if (mask[x]) dest[x] = lice_fast::blendWord(dest[x], s, (uint32_t)(256 - copyWeight(mask[x], alpha)));
  }
}

enum GlyphStyle
{
  kStyleMono,
  kStyleNormal,
  kStyleEffect
};

template <class COMBFUNC>
void renderWith(GlyphStyle style, const unsigned char* mask, LICE_PixelValue* dest, int mask_span, int dest_span,
                int w, int h, LICE_PixelValue fg, LICE_PixelValue effect, int alpha)
{
  const int r = LICE_PixelR(fg), g = LICE_PixelG(fg), b = LICE_PixelB(fg);
  switch (style)
  {
    case kStyleMono: GlyphRenderer<COMBFUNC>::Mono(mask, dest, mask_span, dest_span, w, h, r, g, b, alpha); break;
    case kStyleNormal:
      GlyphRenderer<COMBFUNC>::Normal(mask, dest, mask_span, dest_span, w, h, r, g, b, alpha);
      break;
    case kStyleEffect:
      GlyphRenderer<COMBFUNC>::Effect(mask, dest, mask_span, dest_span, w, h, r, g, b, alpha, LICE_PixelR(effect),
                                      LICE_PixelG(effect), LICE_PixelB(effect));
      break;
  }
}

// Calls f with the combiner of the mode's low byte; nothing for a mode outside the table.
template <class F>
void withCombiner(int mode, F f)
{
  switch (mode & LICE_MODE_MASK)
  {
    case LICE_MODE_COPY: f(_LICE_CombinePixelsCopyNoClamp()); break;
    case LICE_MODE_ADD: f(_LICE_CombinePixelsAdd()); break;
    case LICE_MODE_COLORDODGE: f(_LICE_CombinePixelsColorDodge()); break;
    case LICE_MODE_MULTIPLY: f(_LICE_CombinePixelsMulNoClamp()); break;
    case LICE_MODE_OVERLAY: f(_LICE_CombinePixelsOverlay()); break;
    case LICE_MODE_HSVADJUST: f(_LICE_CombinePixelsHSVAdjust()); break;
  }
}

// The mode is resolved once per glyph, never per pixel.
void renderGlyphMask(int mode, GlyphStyle style, const unsigned char* mask, LICE_PixelValue* dest, int mask_span,
                     int dest_span, int w, int h, LICE_PixelValue fg, LICE_PixelValue effect, int alpha)
{
  if ((mode & LICE_MODE_MASK) == LICE_MODE_COPY && style == kStyleNormal && LICE_FastPathsEnabled())
  {
    normalCopyFast(mask, dest, mask_span, dest_span, w, h, fg, alpha);
    return;
  }
  withCombiner(mode, [&](auto combiner) {
    renderWith<decltype(combiner)>(style, mask, dest, mask_span, dest_span, w, h, fg, effect, alpha);
  });
}

}  // namespace

LICE_CachedFont::LICE_CachedFont()
  : m_fg(0), m_bg(0xFFFFFFFF), m_effectcol(0xFFFFFFFF), m_bgmode(0), m_comb(LICE_MODE_COPY), m_alpha(1.0f),
    m_flags(0), m_line_height(0), m_extracharlist(4096), m_cachestore(65536), m_font(nullptr)
{
  memset(m_lowchars, 0, sizeof(m_lowchars));
  ++s_tempbitmap_refcnt;
}

LICE_CachedFont::~LICE_CachedFont()
{
  if ((m_flags & LICE_FONT_OWNSFONT) && m_font) DeleteObject(m_font);
  if (--s_tempbitmap_refcnt == 0)
  {
    delete s_tempbitmap;
    delete s_nativerender_tempbitmap;
    s_tempbitmap = nullptr;
    s_nativerender_tempbitmap = nullptr;
  }
}

void LICE_CachedFont::SetFromHFont(HGDIOBJ__* font, int flags)
{
  if ((m_flags & LICE_FONT_OWNSFONT) && m_font && m_font != font) DeleteObject(m_font);
  m_flags = flags;
  m_font = font;
  if (font)
  {
    LICE_SysBitmap* bm = glyphBitmap(256);
    HDC dc = bm->getDC();
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRIC tm;
    GetTextMetrics(dc, &tm);
    if (old) SelectObject(dc, old);
    m_line_height = tm.tmHeight;
  }

  memset(m_lowchars, 0, sizeof(m_lowchars));
  m_extracharlist.Resize(0, false);
  m_cachestore.Resize(0);

  if (flags & LICE_FONT_PRECALC)
    for (int c = 0; c < 128; ++c) RenderGlyph((unsigned short)c);
}

LICE_PixelValue LICE_CachedFont::SetTextColor(LICE_PixelValue color)
{
  return std::exchange(m_fg, color);
}

LICE_PixelValue LICE_CachedFont::SetBkColor(LICE_PixelValue color)
{
  return std::exchange(m_bg, color);
}

LICE_PixelValue LICE_CachedFont::SetEffectColor(LICE_PixelValue color)
{
  return std::exchange(m_effectcol, color);
}

int LICE_CachedFont::SetBkMode(int mode)
{
  return std::exchange(m_bgmode, mode);
}

void LICE_CachedFont::SetCombineMode(int mode, float alpha)
{
  m_comb = mode;
  m_alpha = alpha;
}

int LICE_CachedFont::_charSortFunc(const void* a, const void* b)
{
  return ((const charEnt*)a)->charid - ((const charEnt*)b)->charid;
}

LICE_CachedFont::charEnt* LICE_CachedFont::findChar(unsigned short ch)
{
  if (ch < 128) return &m_lowchars[ch];
  charEnt* list = m_extracharlist.Get();
  int lo = 0, hi = m_extracharlist.GetSize();
  while (lo < hi)
  {
    const int mid = (lo + hi) / 2;
    const int d = (int)ch - list[mid].charid;
    if (d == 0) return &list[mid];
    if (d > 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return nullptr;
}

bool LICE_CachedFont::RenderGlyph(unsigned short ch)
{
  if (m_line_height > 1023) return false;

  bool added = false;
  charEnt* rec = findChar(ch);
  if (!rec)
  {
    if (m_flags & LICE_FONT_PRECALC) return false;
    const charEnt blank = {0, 0, 0, 0, ch};
    rec = m_extracharlist.Add(blank);
    if (!rec) return false;  // no room for the record: the character is skipped
    added = true;
  }

  const int lh = m_line_height > 1 ? m_line_height : 1;
  LICE_SysBitmap* bm = glyphBitmap(2 * lh + 8);
  HDC dc = bm->getDC();
  HGDIOBJ oldFont = m_font ? SelectObject(dc, m_font) : nullptr;

  char text[4];
  if (ch < 0x80)
  {
    text[0] = (char)ch;
    text[1] = 0;
  }
  else if (ch < 0x800)
  {
    text[0] = (char)(0xC0 | (ch >> 6));
    text[1] = (char)(0x80 | (ch & 0x3F));
    text[2] = 0;
  }
  else
  {
    text[0] = (char)(0xE0 | (ch >> 12));
    text[1] = (char)(0x80 | ((ch >> 6) & 0x3F));
    text[2] = (char)(0x80 | (ch & 0x3F));
    text[3] = 0;
  }

  RECT r = {0, 0, 0, 0};
  SWELL_DrawText(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  const int measuredWidth = r.right;
  const int margin = m_line_height <= 15 ? 2 : m_line_height / 16 + 2;
  r.right = measuredWidth + margin;
  LICE_FillRect(bm, 0, 0, r.right, r.bottom, 0, 1.0f, LICE_MODE_COPY);
  SWELL_DrawText(dc, text, -1, &r, DT_SINGLELINE | DT_NOPREFIX);

  const int bw = bm->getWidth(), bh = bm->getHeight();
  int advance = measuredWidth < bw ? measuredWidth : bw;
  const int boxw = r.right < bw ? r.right : bw;
  const int boxh = r.bottom < bh ? r.bottom : bh;
  if (oldFont) SelectObject(dc, oldFont);

  int maskw = 0, maskh = 0;
  bool failed = advance <= 0 || boxh <= 0 || boxw <= 0 || !bm->getBits();
  int start = 0;
  if (!failed)
  {
    if (m_flags & LICE_FONT_BLUR) LICE_Blur(bm, bm, 0, 0, 0, 0, boxw, boxh);
    start = m_cachestore.GetSize();
    const long long want = (long long)start + (long long)boxw * boxh;
    if (want > 0x7FFFFFFFLL || !m_cachestore.ResizeOK((int)want, false)) failed = true;
  }
  if (!failed)
  {
    unsigned char* mask = m_cachestore.Get() + start;
    const LICE_PixelValue* bits = bm->getBits();
    int span = bm->getRowSpan();
    if (bm->isFlipped())
    {
      bits += (ptrdiff_t)(bh - 1) * span;
      span = -span;
    }
    const bool invert = (m_flags & LICE_FONT_INVERT) != 0;
    int usedw = advance;
    for (int y = 0; y < boxh; ++y)
    {
      const unsigned char* row = (const unsigned char*)(bits + (ptrdiff_t)y * span);
      for (int x = 0; x < boxw; ++x)
      {
        const unsigned char v = row[x * 4 + LICE_PIXEL_R];
        if (v && x >= usedw) usedw = x + 1;
        mask[y * boxw + x] = invert ? (unsigned char)(255 - v) : v;
      }
    }
    if (usedw < boxw)
    {
      for (int y = 1; y < boxh; ++y) memmove(mask + y * usedw, mask + y * boxw, (size_t)usedw);
      m_cachestore.Resize(start + usedw * boxh, false);
      mask = m_cachestore.Get() + start;
    }
    maskw = usedw;
    maskh = boxh;

    if (m_flags & LICE_FONT_VERTICAL)
    {
      // The glyph bitmap's pixels serve as scratch: it holds at least maskw x maskh bytes.
      unsigned char* old = (unsigned char*)bm->getBits();
      memcpy(old, mask, (size_t)maskw * maskh);
      const int ow = maskw, oh = maskh;
      const bool up = (m_flags & LICE_FONT_BOTTOMUP) != 0;
      for (int i = 0; i < ow; ++i)
        for (int j = 0; j < oh; ++j)
          mask[i * oh + j] = up ? old[j * ow + (ow - 1 - i)] : old[(oh - 1 - j) * ow + i];
      maskw = oh;
      maskh = ow;
    }
    applyGlyphEffects(mask, maskw, maskh);
  }

  // Look the record up again: adding records may have moved the table.
  rec = added ? &m_extracharlist.Get()[m_extracharlist.GetSize() - 1] : findChar(ch);
  if (failed)
  {
    rec->position = -1;
    rec->width = rec->height = rec->advance = 0;
  }
  else
  {
    rec->position = start + 1;
    rec->advance = advance;
    rec->width = maskw;
    rec->height = maskh;
  }
  if (added && m_extracharlist.GetSize() > 1)
    qsort(m_extracharlist.Get(), (size_t)m_extracharlist.GetSize(), sizeof(charEnt), _charSortFunc);
  return true;
}

void LICE_CachedFont::applyGlyphEffects(unsigned char* mask, int w, int h)
{
  if (!(m_flags & (LICE_FONT_MONO | LICE_FONT_SHADOW | LICE_FONT_OUTLINE))) return;
  for (int i = 0; i < w * h; ++i) mask[i] = mask[i] > 130 ? 255 : 0;
  if (!(m_flags & (LICE_FONT_SHADOW | LICE_FONT_OUTLINE))) return;

  const bool shadow = (m_flags & LICE_FONT_SHADOW) != 0;
  auto ink = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && mask[y * w + x] == 255; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      unsigned char& v = mask[y * w + x];
      if (v) continue;
      const bool edge = shadow ? (ink(x - 1, y) || ink(x - 1, y - 1) || ink(x, y - 1))
                               : (ink(x, y - 1) || ink(x, y + 1) || ink(x - 1, y) || ink(x + 1, y));
      if (edge) v = 128;
    }
}

LICE_CachedFont::GlyphTarget LICE_CachedFont::glyphTarget(LICE_IBitmap* bitmap) const
{
  return GlyphTarget{bitmap,
                     bitmap->getBits(),
                     bitmap->getWidth(),
                     bitmap->getHeight(),
                     bitmap->getRowSpan(),
                     bitmap->isFlipped(),
                     LICE_WeightFromAlpha(m_alpha)};
}

bool LICE_CachedFont::DrawGlyph(LICE_IBitmap* bitmap, unsigned short ch, int x, int y, const RECT* clip)
{
  const charEnt* rec = findChar(ch);
  if (!rec || rec->position <= 0 || !bitmap || !clip) return false;
  return drawGlyph(glyphTarget(bitmap), *rec, x, y, *clip);
}

bool LICE_CachedFont::drawGlyph(const GlyphTarget& target, const charEnt& rec, int x, int y, const RECT& clip)
{
  const long long x1 = (long long)x + rec.width, y1 = (long long)y + rec.height;
  if (x1 <= clip.left || x >= clip.right || y1 <= clip.top || y >= clip.bottom) return false;
  if ((long long)rec.position - 1 + (long long)rec.width * rec.height > m_cachestore.GetSize()) return false;

  // The clip, further cut to the bitmap, so a caller's clip never leads outside it.
  const int cl = clip.left > 0 ? clip.left : 0, ct = clip.top > 0 ? clip.top : 0;
  const int cr = clip.right < target.width ? clip.right : target.width;
  const int cb = clip.bottom < target.height ? clip.bottom : target.height;
  int sx = 0, sy = 0, dx = x, dy = y;
  if (cl > dx)
  {
    sx = cl - dx;
    dx = cl;
  }
  if (ct > dy)
  {
    sy = ct - dy;
    dy = ct;
  }
  const long long w = (x1 < cr ? x1 : cr) - dx, h = (y1 < cb ? y1 : cb) - dy;
  if (w <= 0 || h <= 0 || !target.bits) return true;

  int span = target.span;
  LICE_PixelValue* dest;
  if (target.flipped)
  {
    dest = target.bits + (ptrdiff_t)(target.height - 1 - dy) * span + dx;
    span = -span;
  }
  else
    dest = target.bits + (ptrdiff_t)dy * span + dx;
  const unsigned char* mask = m_cachestore.Get() + (rec.position - 1) + sy * rec.width + sx;

  if (m_bgmode == 1)
    LICE_FillRect(target.bitmap, dx, dy, (int)w, (int)h, m_bg, m_alpha, m_comb & ~LICE_MODE_SOURCEALPHA);

  const int mode = m_comb & LICE_MODE_MASK;
  const bool opaqueCopy = m_alpha == 1.0f && mode == LICE_MODE_COPY;
  if (m_flags & LICE_FONT_MONO)
  {
    if (opaqueCopy)
    {
      for (int row = 0; row < h; ++row, mask += rec.width, dest += span)
        for (int col = 0; col < w; ++col)
          if (mask[col]) dest[col] = m_fg;
      return true;
    }
    const int alpha = target.weight > 256 ? 256 : target.weight;
    if (alpha == 0 || mode > LICE_MODE_HSVADJUST) return true;
    renderGlyphMask(mode, kStyleMono, mask, dest, rec.width, span, (int)w, (int)h, m_fg, m_effectcol, alpha);
  }
  else if (!(m_flags & (LICE_FONT_SHADOW | LICE_FONT_OUTLINE)))
  {
    const int alpha = target.weight;
    if (alpha == 0 || (mode == LICE_MODE_COPY && alpha < 1) || mode > LICE_MODE_HSVADJUST) return true;
    renderGlyphMask(mode, kStyleNormal, mask, dest, rec.width, span, (int)w, (int)h, m_fg, m_effectcol, alpha);
  }
  else
  {
    if (opaqueCopy)
    {
      for (int row = 0; row < h; ++row, mask += rec.width, dest += span)
        for (int col = 0; col < w; ++col)
          if (mask[col] == 255)
            dest[col] = m_fg;
          else if (mask[col])
            dest[col] = m_effectcol;
      return true;
    }
    const int alpha = target.weight > 256 ? 256 : target.weight;
    if (alpha == 0 || mode > LICE_MODE_HSVADJUST) return true;
    renderGlyphMask(mode, kStyleEffect, mask, dest, rec.width, span, (int)w, (int)h, m_fg, m_effectcol, alpha);
  }
  return true;
}

int LICE_CachedFont::DrawText(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect, unsigned int format)
{
  return DrawTextImpl(bitmap, text, length, rect, format);
}

int LICE_CachedFont::DrawTextImpl(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect,
                                  unsigned int format)
{
  if (!text || !rect) return 0;
  const bool measure = (format & DT_CALCRECT) != 0;
  if (!measure && !bitmap) return 0;

  const bool native = ((m_flags & LICE_FONT_NATIVE) && !(m_flags & kCachedOnlyFlags) && format <= 0x3FFFFFFF &&
                       m_font) ||
                      m_line_height >= 256;
  if (native) return DrawNative(bitmap, text, length, rect, format);
  if (measure) return MeasureCached(text, length, rect, format);
  return DrawCached(bitmap, text, length, rect, format);
}

int LICE_CachedFont::DrawNative(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect, unsigned int format)
{
  const bool measure = (format & DT_CALCRECT) != 0;
  HDC dc = bitmap ? bitmap->getDC() : nullptr;
  if (dc)
  {
    HGDIOBJ old = SelectObject(dc, m_font);
    ::SetTextColor(dc, toColorRef(m_fg));
    ::SetBkMode(dc, m_bgmode);
    if (m_bgmode == 1) ::SetBkColor(dc, toColorRef(m_bg));
    RECT r = *rect;
    const int ret = SWELL_DrawText(dc, text, length, &r, (int)((format & 0x7FFFFFFF) | DT_NOPREFIX));
    if (measure) *rect = r;
    if (old) SelectObject(dc, old);
    return ret;
  }

  if (!s_nativerender_tempbitmap) s_nativerender_tempbitmap = new LICE_SysBitmap(0, 0);
  LICE_SysBitmap* tmp = s_nativerender_tempbitmap;
  if (tmp->getWidth() < 4 || tmp->getHeight() < 4) tmp->resize(4, 4);
  dc = tmp->getDC();
  if (!dc) return 0;
  HGDIOBJ old = SelectObject(dc, m_font);
  RECT m = {0, 0, 0, 0};
  const int measured =
      SWELL_DrawText(dc, text, length, &m, (int)((format & 0x7FFFFF48) | DT_CALCRECT | DT_NOPREFIX));
  const int tw = m.right - m.left, th = m.bottom - m.top;
  if (measure)
  {
    rect->right = rect->left + tw;
    rect->bottom = rect->top + th;
    if (old) SelectObject(dc, old);
    return measured;
  }

  const int left = (format & DT_RIGHT) ? rect->right - tw : (format & DT_CENTER) ? (rect->left + rect->right - tw) / 2
                                                                                 : rect->left;
  const int top = (format & DT_BOTTOM) ? rect->bottom - th : (format & DT_VCENTER) ? (rect->top + rect->bottom - th) / 2
                                                                                   : rect->top;
  long long rl = left, rt = top, rr = (long long)left + tw, rb = (long long)top + th;
  if (rr > bitmap->getWidth()) rr = bitmap->getWidth();
  if (rb > bitmap->getHeight()) rb = bitmap->getHeight();
  const int minLeft = (format & DT_NOCLIP) ? 0 : (rect->left > 0 ? rect->left : 0);
  const int minTop = (format & DT_NOCLIP) ? 0 : (rect->top > 0 ? rect->top : 0);
  if (!(format & DT_NOCLIP))
  {
    if (rr > rect->right) rr = rect->right;
    if (rb > rect->bottom) rb = rect->bottom;
  }
  if (rl < minLeft) rl = minLeft;
  if (rt < minTop) rt = minTop;
  const int offx = (int)(left - rl), offy = (int)(top - rt);
  if (rr <= rl || rb <= rt)
  {
    if (old) SelectObject(dc, old);
    return measured;
  }

  const int rw = (int)(rr - rl), rh = (int)(rb - rt);
  if (tmp->getWidth() < rw || tmp->getHeight() < rh)
  {
    if (old) SelectObject(dc, old);
    tmp->resize(rw, rh);
    dc = tmp->getDC();
    if (!dc) return 0;
    old = SelectObject(dc, m_font);
  }
  LICE_Blit(tmp, bitmap, 0, 0, (int)rl, (int)rt, rw, rh, 1.0f, LICE_MODE_COPY);
  ::SetTextColor(dc, toColorRef(m_fg));
  ::SetBkMode(dc, m_bgmode);
  if (m_bgmode == 1) ::SetBkColor(dc, toColorRef(m_bg));
  RECT r = {offx, offy, rw, rh};
  const int ret = SWELL_DrawText(dc, text, length, &r, (int)((format & 0x7FFFFEC9) | DT_NOPREFIX));
  LICE_Blit(bitmap, tmp, (int)rl, (int)rt, 0, 0, rw, rh, m_alpha, LICE_MODE_COPY);
  if (old) SelectObject(dc, old);
  return ret;
}

const LICE_CachedFont::charEnt* LICE_CachedFont::glyphFor(unsigned short ch)
{
  const charEnt* rec = findChar(ch);
  if (!rec || rec->position == 0)
  {
    // Rendering may add and re-sort records: the record is looked up again after it.
    RenderGlyph(ch);
    rec = findChar(ch);
  }
  return rec && rec->position > 0 ? rec : nullptr;
}

int LICE_CachedFont::MeasureCached(const char* text, int length, RECT* rect, unsigned int format)
{
  const bool vertical = (m_flags & LICE_FONT_VERTICAL) != 0;
  int x = 0, y = 0, W = 0, H = 0;
  TextWalker walk = {text, length, (format & DT_SINGLELINE) != 0, vertical, m_line_height, 0, 0};
  unsigned short ch;
  while (walk.next(&ch, &x, &y))
  {
    const charEnt* rec = glyphFor(ch);
    if (!rec) continue;
    if (vertical)
    {
      if (x + rec->width > W) W = x + rec->width;
      const int oldy = y;
      y += rec->advance;
      if (y > H) H = y;
      if (oldy + rec->height > H) H = oldy + rec->height;
    }
    else
    {
      if (y + rec->height > H) H = y + rec->height;
      const int oldx = x;
      x += rec->advance;
      if (x > W) W = x;
      if (oldx + rec->width > W) W = oldx + rec->width;
    }
  }
  rect->right = rect->left + W;
  rect->bottom = rect->top + H;
  return vertical ? W : H;
}

int LICE_CachedFont::DrawCached(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect, unsigned int format)
{
  const float savedAlpha = m_alpha;
  if (format & LICE_TEXT_COLORALPHA)
  {
    m_alpha = (float)(m_alpha * (LICE_PixelA(m_fg) / 255.0));
    if (m_alpha == 0.0f)
    {
      m_alpha = savedAlpha;
      return 0;
    }
  }

  const bool vertical = (m_flags & LICE_FONT_VERTICAL) != 0;
  const bool bottomUp = vertical && (m_flags & LICE_FONT_BOTTOMUP);
  int x = rect->left, y = rect->top;
  if ((format & (DT_VCENTER | DT_CENTER | DT_BOTTOM | DT_RIGHT)) || bottomUp)
  {
    RECT m = {0, 0, 0, 0};
    DrawTextImpl(bitmap, text, length, &m, (format & (LICE_TEXT_NOT_NATIVE | DT_SINGLELINE)) | DT_CALCRECT);
    if (format & DT_CENTER)
      x = rect->left + (rect->right - rect->left - m.right) / 2;
    else if (format & DT_RIGHT)
      x = rect->right - m.right;
    if (format & DT_VCENTER)
      y = rect->top + (rect->bottom - rect->top - m.bottom) / 2;
    else if (format & DT_BOTTOM)
      y = rect->bottom - m.bottom;
    if (bottomUp) y += m.bottom;
  }

  RECT clip;
  if (format & DT_NOCLIP)
    clip = RECT{0, 0, bitmap->getWidth(), bitmap->getHeight()};
  else
  {
    clip.left = rect->left > 0 ? rect->left : 0;
    clip.top = rect->top > 0 ? rect->top : 0;
    clip.right = rect->right < bitmap->getWidth() ? rect->right : bitmap->getWidth();
    clip.bottom = rect->bottom < bitmap->getHeight() ? rect->bottom : bitmap->getHeight();
  }
  if (clip.right <= clip.left || clip.bottom <= clip.top)
  {
    m_alpha = savedAlpha;
    return 0;
  }

  const GlyphTarget target = glyphTarget(bitmap);
  const int startx = x, starty = y;
  int right = startx, bottom = starty;
  TextWalker walk = {text, length, (format & DT_SINGLELINE) != 0, vertical, m_line_height, startx, starty};
  unsigned short ch;
  while (walk.next(&ch, &x, &y))
  {
    const charEnt* rec = glyphFor(ch);
    if (!rec) continue;
    const charEnt g = *rec;
    if (bottomUp) y -= g.height;
    const bool drawn = drawGlyph(target, g, x, y, clip);
    if (vertical)
    {
      y += bottomUp ? g.height - g.advance : g.advance;
      if (drawn && x + g.width > right) right = x + g.width;
    }
    else
    {
      x += g.advance;
      if (drawn && y + g.height > bottom) bottom = y + g.height;
    }
  }
  m_alpha = savedAlpha;
  return vertical ? right - startx : bottom - starty;
}
