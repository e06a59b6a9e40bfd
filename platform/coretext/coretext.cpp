#include "platform/coretext/coretext.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_BITMAP_H
#include FT_SYNTHESIS_H
#include <fontconfig/fontconfig.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern const char* const g_coretext_fonts_conf;

namespace {

// Where a name led: the face file and what fontconfig asks to synthesise.
struct FaceSpec
{
  std::string file;
  int index = 0;
  bool embolden = false;
  bool transformed = false;
  FT_Matrix matrix = {0x10000, 0, 0, 0x10000};
  std::string postScriptName;
};

// The engine: one FreeType library, our fontconfig configuration and what names
// resolved to. Face creation and the name maps go under its lock; FreeType's library
// object is not safe to share between threads that open faces.
struct Engine
{
  std::mutex lock;
  FT_Library library = nullptr;
  FcConfig* config = nullptr;
  std::map<std::string, FaceSpec> byName;        // requested names already resolved
  std::map<std::string, FaceSpec> byPostScript;  // PostScript names of faces seen

  Engine()
  {
    if (FT_Init_FreeType(&library) != 0)
    {
      library = nullptr;
      fprintf(stderr, "coretext: FreeType could not start\n");
    }
    // Our own configuration: the system's, then our aliases on top, so the host
    // process's default configuration is left alone.
    config = FcInitLoadConfigAndFonts();
    if (!config)
      fprintf(stderr, "coretext: no fontconfig configuration, no fonts\n");
    else if (!FcConfigParseAndLoadFromMemory(config, (const FcChar8*)g_coretext_fonts_conf, FcTrue))
      fprintf(stderr, "coretext: the face alias rules could not be loaded\n");
  }
  ~Engine()
  {
    if (config) FcConfigDestroy(config);
    if (library) FT_Done_FreeType(library);
  }
};

// The thread that builds the engine ahead of the first font. Its first user after
// it (or the end of the process) joins it.
struct EngineAhead
{
  std::mutex lock;
  std::thread thread;
  bool started = false;
  ~EngineAhead()
  {
    if (thread.joinable()) thread.join();
  }
};
std::atomic<bool> gEngineAheadToJoin{false};

EngineAhead& engineAhead()
{
  static EngineAhead a;
  return a;
}

Engine& builtEngine()
{
  static Engine e;  // a second thread asking waits while the first builds it
  return e;
}

Engine& engine()
{
  Engine& e = builtEngine();
  if (gEngineAheadToJoin.load(std::memory_order_acquire))
  {
    EngineAhead& a = engineAhead();
    std::lock_guard<std::mutex> g(a.lock);
    if (a.thread.joinable()) a.thread.join();  // it has built the engine: it is ending
    gEngineAheadToJoin.store(false, std::memory_order_release);
  }
  return e;
}

bool endsWith(std::string& s, const char* suffix)
{
  const size_t n = strlen(suffix);
  if (s.size() < n || s.compare(s.size() - n, n, suffix) != 0) return false;
  s.erase(s.size() - n);
  return true;
}

// Asks fontconfig for the best face for a family name with optional " Bold" and
// " Italic" suffixes (in that order, as font requests build them). Caller holds the
// engine lock.
bool matchFace(Engine& e, const char* family, bool isLabel, FaceSpec* out)
{
  if (!e.config) return false;
  std::string name = family ? family : "";
  const bool italic = !isLabel && endsWith(name, " Italic");
  const bool bold = !isLabel && endsWith(name, " Bold");

  FcPattern* pat = FcPatternCreate();
  if (!pat) return false;
  if (!name.empty()) FcPatternAddString(pat, FC_FAMILY, (const FcChar8*)name.c_str());
  if (bold) FcPatternAddInteger(pat, FC_WEIGHT, FC_WEIGHT_BOLD);
  if (italic) FcPatternAddInteger(pat, FC_SLANT, FC_SLANT_ITALIC);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(e.config, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(e.config, pat, &result);
  FcPatternDestroy(pat);
  if (!match) return false;

  FcChar8* file = nullptr;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok)
  {
    out->file = (const char*)file;
    int index = 0;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) out->index = index;
    FcBool embolden = FcFalse;
    if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch) out->embolden = embolden != FcFalse;
    FcMatrix* m = nullptr;
    if (FcPatternGetMatrix(match, FC_MATRIX, 0, &m) == FcResultMatch && m)
    {
      out->matrix.xx = (FT_Fixed)lround(m->xx * 65536.0);
      out->matrix.xy = (FT_Fixed)lround(m->xy * 65536.0);
      out->matrix.yx = (FT_Fixed)lround(m->yx * 65536.0);
      out->matrix.yy = (FT_Fixed)lround(m->yy * 65536.0);
      out->transformed = out->matrix.xx != 0x10000 || out->matrix.xy != 0 || out->matrix.yx != 0 ||
                         out->matrix.yy != 0x10000;
    }
    FcChar8* ps = nullptr;
    if (FcPatternGetString(match, FC_POSTSCRIPT_NAME, 0, &ps) == FcResultMatch && ps)
      out->postScriptName = (const char*)ps;
  }
  FcPatternDestroy(match);
  return ok;
}

// Sentinels in a line's glyph list for characters that draw nothing.
const uint32_t kBlankGlyph = 0xFFFFFFFFu;

// Glyphs of more coverage bytes than this are drawn but not kept.
const long kMaxCachedGlyphBytes = 1L << 20;

struct GlyphBitmap
{
  bool ready = false;
  int left = 0, top = 0, w = 0, h = 0;
  std::vector<uint8_t> coverage;
};

struct GlyphEntry
{
  bool haveAdvance = false;
  int advance = 0;
  GlyphBitmap bitmap[2];  // [0] without antialiasing, [1] with
};

struct LineItem
{
  uint32_t glyph;
  int advance;
};

}  // namespace

void CTLoadFontEngineAhead()
{
  EngineAhead& a = engineAhead();
  std::lock_guard<std::mutex> g(a.lock);
  if (a.started) return;
  a.started = true;
  gEngineAheadToJoin.store(true, std::memory_order_release);
  a.thread = std::thread([] { builtEngine(); });
}

struct CTFontObject
{
  std::atomic<int> refs{1};
  std::mutex lock;  // the face and the glyph cache
  FT_Face face = nullptr;
  FaceSpec spec;
  CGFloat size = 0;
  CGFloat ascent = 0, descent = 0, leading = 0;
  int spaceAdvance = 0;
  std::vector<std::unique_ptr<GlyphEntry>> glyphs;  // by glyph index
  int32_t latin1[256];                              // glyph index by character, -1 unknown
};

struct CTLineObject
{
  CTFontRef font = nullptr;
  std::vector<LineItem> items;
  long width = 0;
};

namespace {

GlyphEntry* entryFor(CTFontObject* f, uint32_t gi)
{
  if (gi >= f->glyphs.size()) return nullptr;
  std::unique_ptr<GlyphEntry>& e = f->glyphs[gi];
  if (!e) e.reset(new GlyphEntry);
  return e.get();
}

// Advances are the design advances rounded to whole pixels: the same with and
// without antialiasing and independent of hinting, so a line measures the same
// however it is drawn, and a string is as wide as its characters measured one by one.
int advanceOf(CTFontObject* f, uint32_t gi)
{
  GlyphEntry* e = entryFor(f, gi);
  if (!e) return 0;
  if (!e->haveAdvance)
  {
    FT_Fixed adv = 0;
    if (FT_Get_Advance(f->face, gi, FT_LOAD_NO_HINTING, &adv) != 0) adv = 0;
    e->advance = (int)((adv + 0x8000) >> 16);
    if (e->advance < 0) e->advance = 0;
    e->haveAdvance = true;
  }
  return e->advance;
}

uint32_t glyphOf(CTFontObject* f, uint32_t code)
{
  if (code < 256)
  {
    int32_t& g = f->latin1[code];
    if (g < 0) g = (int32_t)FT_Get_Char_Index(f->face, code);
    return (uint32_t)g;
  }
  return FT_Get_Char_Index(f->face, code);
}

// Loads one glyph through the face's transform as it is set and renders it into
// out; false when FreeType cannot.
bool rasterGlyph(CTFontObject* f, uint32_t gi, bool antialias, GlyphBitmap* out)
{
  const FT_Int32 load = antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO;
  if (FT_Load_Glyph(f->face, gi, load) != 0) return false;
  FT_GlyphSlot slot = f->face->glyph;
  if (f->spec.embolden) FT_GlyphSlot_Embolden(slot);
  if (slot->format != FT_GLYPH_FORMAT_BITMAP &&
      FT_Render_Glyph(slot, antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
    return false;

  const FT_Bitmap& bm = slot->bitmap;
  out->left = slot->bitmap_left;
  out->top = slot->bitmap_top;
  out->w = (int)bm.width;
  out->h = (int)bm.rows;
  out->coverage.assign((size_t)out->w * (size_t)out->h, 0);
  if (out->w > 0 && out->h > 0)
  {
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.num_grays == 256)
    {
      for (int y = 0; y < out->h; ++y)
        memcpy(&out->coverage[(size_t)y * out->w], bm.buffer + (ptrdiff_t)y * bm.pitch, (size_t)out->w);
    }
    else if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
    {
      for (int y = 0; y < out->h; ++y)
      {
        const unsigned char* row = bm.buffer + (ptrdiff_t)y * bm.pitch;
        for (int x = 0; x < out->w; ++x)
          out->coverage[(size_t)y * out->w + x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      }
    }
    else
    {
      // Other depths (2 and 4 bit grey, embedded strikes): converted to 8 bits.
      FT_Bitmap conv;
      FT_Bitmap_Init(&conv);
      bool converted;
      {
        std::lock_guard<std::mutex> g(engine().lock);
        converted = FT_Bitmap_Convert(engine().library, &bm, &conv, 1) == 0;
      }
      if (converted && conv.num_grays > 1)
      {
        const int maxv = conv.num_grays - 1;
        for (int y = 0; y < out->h && y < (int)conv.rows; ++y)
          for (int x = 0; x < out->w && x < (int)conv.width; ++x)
            out->coverage[(size_t)y * out->w + x] =
                (uint8_t)(conv.buffer[(ptrdiff_t)y * conv.pitch + x] * 255 / maxv);
      }
      std::lock_guard<std::mutex> g(engine().lock);
      FT_Bitmap_Done(engine().library, &conv);
    }
  }
  out->ready = true;
  return true;
}

void setFaceTransform(CTFontObject* f)
{
  FT_Set_Transform(f->face, f->spec.transformed ? &f->spec.matrix : nullptr, nullptr);
}

bool renderGlyph(CTFontObject* f, uint32_t gi, bool antialias, GlyphBitmap* out)
{
  setFaceTransform(f);
  return rasterGlyph(f, gi, antialias, out);
}

// The glyph's bitmap from the cache, rendering it on first use; very large glyphs
// go into scratch instead of the cache. Null when it cannot be rendered.
const GlyphBitmap* bitmapOf(CTFontObject* f, uint32_t gi, bool antialias, GlyphBitmap* scratch)
{
  GlyphEntry* e = entryFor(f, gi);
  if (!e) return nullptr;
  GlyphBitmap& b = e->bitmap[antialias ? 1 : 0];
  if (b.ready) return &b;
  if (!renderGlyph(f, gi, antialias, scratch)) return nullptr;
  if ((long)scratch->coverage.size() > kMaxCachedGlyphBytes) return scratch;
  b = std::move(*scratch);
  return &b;
}

inline uint8_t mix(int src, int dst, int cov)
{
  const int x = src * cov + dst * (255 - cov) + 128;
  return (uint8_t)((x + (x >> 8)) >> 8);
}

void drawBitmap(const GlyphBitmap& gb, const CTPixelTarget& t, int cl, int ct, int cr, int cb, int x0, int y0,
                int r, int g, int b)
{
  int sx = 0, sy = 0, w = gb.w, h = gb.h;
  if (x0 < cl)
  {
    sx = cl - x0;
    w -= sx;
    x0 = cl;
  }
  if (y0 < ct)
  {
    sy = ct - y0;
    h -= sy;
    y0 = ct;
  }
  if (x0 + w > cr) w = cr - x0;
  if (y0 + h > cb) h = cb - y0;
  if (w <= 0 || h <= 0) return;
  for (int y = 0; y < h; ++y)
  {
    const uint8_t* src = &gb.coverage[(size_t)(sy + y) * gb.w + sx];
    uint8_t* dst = (uint8_t*)t.pixels + (ptrdiff_t)(y0 + y) * t.rowBytes + (ptrdiff_t)x0 * 4;
    for (int x = 0; x < w; ++x, dst += 4)
    {
      const int c = src[x];
      if (!c) continue;
      if (c == 255)
      {
        dst[0] = 255;
        dst[1] = (uint8_t)r;
        dst[2] = (uint8_t)g;
        dst[3] = (uint8_t)b;
      }
      else
      {
        dst[0] = mix(255, dst[0], c);
        dst[1] = mix(r, dst[1], c);
        dst[2] = mix(g, dst[2], c);
        dst[3] = mix(b, dst[3], c);
      }
    }
  }
}

// The target's clip cut to its pixels; false when nothing is left.
bool clipOf(const CTPixelTarget& t, int* cl, int* ct, int* cr, int* cb)
{
  *cl = t.clipLeft > 0 ? t.clipLeft : 0;
  *ct = t.clipTop > 0 ? t.clipTop : 0;
  *cr = t.clipRight < t.width ? t.clipRight : t.width;
  *cb = t.clipBottom < t.height ? t.clipBottom : t.height;
  return *cl < *cr && *ct < *cb;
}

bool setPixelSize(FT_Face face, double size)
{
  return FT_Set_Char_Size(face, 0, (FT_F26Dot6)lround(size * 64.0), 72, 72) == 0;
}

CTFontRef openFont(const FaceSpec& spec, CGFloat size)
{
  Engine& e = engine();
  FT_Face face = nullptr;
  {
    std::lock_guard<std::mutex> g(e.lock);
    if (!e.library || FT_New_Face(e.library, spec.file.c_str(), spec.index, &face) != 0) return nullptr;
  }
  bool sized = setPixelSize(face, size);
  if (!sized && face->num_fixed_sizes > 0)
  {
    // A face of fixed strikes only: the strike nearest the size.
    int best = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i)
      if (fabs(face->available_sizes[i].y_ppem / 64.0 - size) < fabs(face->available_sizes[best].y_ppem / 64.0 - size))
        best = i;
    sized = FT_Select_Size(face, best) == 0;
  }
  if (!sized)
  {
    std::lock_guard<std::mutex> g(e.lock);
    FT_Done_Face(face);
    return nullptr;
  }

  CTFontObject* f = new CTFontObject;
  f->face = face;
  f->spec = spec;
  f->size = size;
  if (FT_IS_SCALABLE(face) && face->units_per_EM > 0)
  {
    const double k = size / face->units_per_EM;
    f->ascent = face->ascender * k;
    f->descent = -face->descender * k;
    const int gap = face->height - (face->ascender - face->descender);
    f->leading = gap > 0 ? gap * k : 0.0;
  }
  else
  {
    f->ascent = face->size->metrics.ascender / 64.0;
    f->descent = -face->size->metrics.descender / 64.0;
    const double gap = face->size->metrics.height / 64.0 - f->ascent - f->descent;
    f->leading = gap > 0 ? gap : 0.0;
  }
  f->glyphs.resize((size_t)(face->num_glyphs > 0 ? face->num_glyphs : 0));
  for (int32_t& g : f->latin1) g = -1;
  const uint32_t space = glyphOf(f, ' ');
  f->spaceAdvance = space ? advanceOf(f, space) : (int)lround(size / 3.0);
  return f;
}

CTFontRef createResolved(const char* name, bool isLabel, CGFloat size)
{
  if (!(size >= 1.0) || !std::isfinite(size)) return nullptr;
  Engine& e = engine();
  FaceSpec spec;
  {
    std::lock_guard<std::mutex> g(e.lock);
    const std::string key = isLabel ? std::string("\x01label") : std::string(name ? name : "");
    auto hit = e.byName.find(key);
    if (hit != e.byName.end())
      spec = hit->second;
    else if (!isLabel && (hit = e.byPostScript.find(key)) != e.byPostScript.end())
      spec = hit->second;
    else
    {
      if (!matchFace(e, isLabel ? "sans-serif" : name, isLabel, &spec)) return nullptr;
      e.byName[key] = spec;
      if (!spec.postScriptName.empty()) e.byPostScript.emplace(spec.postScriptName, spec);
    }
  }
  return openFont(spec, size);
}

// One character of at most `left` bytes: a well-formed UTF-8 sequence, or a single
// byte standing for itself. Never looks beyond `left` bytes.
int decodeChar(const unsigned char* p, long left, uint32_t* code)
{
  const unsigned c = p[0];
  auto cont = [&](int i) { return i < left && (p[i] & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF && cont(1))
  {
    *code = ((c & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    return 2;
  }
  if (c >= 0xE0 && c <= 0xEF && cont(1) && cont(2))
  {
    *code = ((c & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4 && cont(1) && cont(2) && cont(3))
  {
    *code = ((c & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    return 4;
  }
  *code = c;
  return 1;
}

}  // namespace

CTFontRef CTFontCreateWithName(const char* name, CGFloat size)
{
  return createResolved(name, false, size);
}

CTFontRef CTFontCreateUIFontForLanguage(CTFontUIFontType, CGFloat size, const char*)
{
  return createResolved(nullptr, true, size);
}

CTFontRef CTFontRetain(CTFontRef font)
{
  if (font) font->refs.fetch_add(1);
  return font;
}

void CTFontRelease(CTFontRef font)
{
  if (!font || font->refs.fetch_sub(1) != 1) return;
  {
    std::lock_guard<std::mutex> g(engine().lock);
    FT_Done_Face(font->face);
  }
  delete font;
}

CGFloat CTFontGetSize(CTFontRef font) { return font ? font->size : 0.0; }
CGFloat CTFontGetAscent(CTFontRef font) { return font ? font->ascent : 0.0; }
CGFloat CTFontGetDescent(CTFontRef font) { return font ? font->descent : 0.0; }
CGFloat CTFontGetLeading(CTFontRef font) { return font ? font->leading : 0.0; }

bool CTFontCopyPostScriptName(CTFontRef font, char* buf, int bufSize)
{
  if (!buf || bufSize < 1) return false;
  buf[0] = 0;
  if (!font || font->spec.postScriptName.empty()) return false;
  snprintf(buf, (size_t)bufSize, "%s", font->spec.postScriptName.c_str());
  return true;
}

CTLineRef CTLineCreateWithUTF8(CTFontRef font, const char* text, int length)
{
  if (!font) return nullptr;
  CTLineObject* line = new CTLineObject;
  line->font = CTFontRetain(font);
  if (!text) return line;
  const long n = length < 0 ? (long)strlen(text) : length;
  const unsigned char* p = (const unsigned char*)text;
  line->items.reserve((size_t)n);

  std::lock_guard<std::mutex> g(font->lock);
  for (long i = 0; i < n;)
  {
    uint32_t code = 0;
    i += decodeChar(p + i, n - i, &code);
    LineItem item;
    if (code == '\t')
      item = {kBlankGlyph, font->spaceAdvance};
    else if (code < 0x20 || (code >= 0x7F && code < 0xA0))
      continue;  // control characters take no room
    else
    {
      const uint32_t gi = glyphOf(font, code);
      item = {gi, advanceOf(font, gi)};
    }
    line->items.push_back(item);
    line->width += item.advance;
  }
  return line;
}

void CTLineRelease(CTLineRef line)
{
  if (!line) return;
  CTFontRelease(line->font);
  delete line;
}

double CTLineGetTypographicBounds(CTLineRef line, CGFloat* ascent, CGFloat* descent, CGFloat* leading)
{
  CTFontRef f = line ? line->font : nullptr;
  if (ascent) *ascent = CTFontGetAscent(f);
  if (descent) *descent = CTFontGetDescent(f);
  if (leading) *leading = CTFontGetLeading(f);
  return line ? (double)line->width : 0.0;
}

void CTLineDraw(CTLineRef line, const CTPixelTarget* target, int x, int baseline, int r, int g, int b,
                bool antialias)
{
  if (!line || !target || !target->pixels || line->items.empty()) return;
  const CTPixelTarget& t = *target;
  int cl, ct, cr, cb;
  if (!clipOf(t, &cl, &ct, &cr, &cb)) return;

  CTFontObject* f = line->font;
  std::lock_guard<std::mutex> lk(f->lock);
  GlyphBitmap scratch;
  long pen = x;
  for (const LineItem& it : line->items)
  {
    if (it.glyph != kBlankGlyph && pen < cr)
    {
      const GlyphBitmap* gb = bitmapOf(f, it.glyph, antialias, &scratch);
      if (gb && gb->w > 0 && gb->h > 0)
      {
        const long gx = pen + gb->left, gy = (long)baseline - gb->top;
        if (gx < cr && gy < cb && gx + gb->w > cl && gy + gb->h > ct)
          drawBitmap(*gb, t, cl, ct, cr, cb, (int)gx, (int)gy, r, g, b);
      }
    }
    pen += it.advance;
  }
}

void CTLineDrawTransformed(CTLineRef line, const CTPixelTarget* target, const CTTextMatrix& m, double x,
                           double baseline, int r, int g, int b, bool antialias)
{
  if (!line || !target || !target->pixels || line->items.empty()) return;
  int cl, ct, cr, cb;
  if (!clipOf(*target, &cl, &ct, &cr, &cb)) return;
  CTFontObject* f = line->font;
  const double s = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
  const double reach = f->size * std::max(std::fabs(m.xx) + std::fabs(m.xy), std::fabs(m.yx) + std::fabs(m.yy));
  if (!(s > 0) || !(reach <= 8192) || !std::isfinite(x) || !std::isfinite(baseline)) return;

  std::lock_guard<std::mutex> lk(f->lock);
  // At the scaled size where the face can be sized: hinted as a font of that size.
  const bool resized = s != 1 && FT_IS_SCALABLE(f->face) && f->size * s >= 1 && setPixelSize(f->face, f->size * s);
  const double k = resized ? 1 / s : 1;
  // What is left of the matrix in FreeType's terms (y up), after the face's own slant.
  const double q[4] = {m.xx * k, -m.xy * k, -m.yx * k, m.yy * k};
  const FT_Matrix& sm = f->spec.matrix;
  auto fixed = [&](int row, FT_Fixed a, FT_Fixed c) { return (FT_Fixed)lround(q[row] * a + q[row + 1] * c); };
  FT_Matrix turn = {fixed(0, sm.xx, sm.yx), fixed(0, sm.xy, sm.yy), fixed(2, sm.xx, sm.yx), fixed(2, sm.xy, sm.yy)};
  FT_Set_Transform(f->face, &turn, nullptr);
  GlyphBitmap gb;
  long u = 0;
  for (const LineItem& it : line->items)
  {
    const double px = x + m.xx * (double)u, py = baseline + m.yx * (double)u;
    u += it.advance;
    if (it.glyph == kBlankGlyph || !(std::fabs(px) < 1e9 && std::fabs(py) < 1e9)) continue;
    if (!rasterGlyph(f, it.glyph, antialias, &gb) || gb.w <= 0 || gb.h <= 0) continue;
    const long gx = lround(px) + gb.left, gy = lround(py) - gb.top;
    if (gx < cr && gy < cb && gx + gb.w > cl && gy + gb.h > ct)
      drawBitmap(gb, *target, cl, ct, cr, cb, (int)gx, (int)gy, r, g, b);
  }
  if (resized) setPixelSize(f->face, f->size);
  setFaceTransform(f);
}
