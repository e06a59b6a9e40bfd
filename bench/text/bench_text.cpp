// The librarian's page of text: 256 twelve-character program names at 13 pixels on the
// editor's 1500 x 667 surface, drawn through the cached font's two routes and, as the
// yardstick, by cairo's cairo_show_text with the same DejaVu Sans Mono face (cairo
// keeps its own glyph cache). Each route is timed warm: glyphs rendered once before.
// Before timing, both sides must be seen to draw the same ink for every name.

#include "raster/cachedfont.h"
#include "raster/lice.h"
#include "winsys/text.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

const int kWidth = 1500, kHeight = 667, kSize = 13, kNames = 256;
const LICE_PixelValue kBackground = LICE_MakePixel(30, 34, 40, 255);
const int kInk = 240, kTranslucentAlpha = 0xC0;

const std::vector<std::string>& names()
{
  static std::vector<std::string> list = [] {
    std::vector<std::string> v;
    for (int i = 0; i < kNames; ++i)
    {
      char name[16];
      snprintf(name, sizeof name, "Program %03d%c", i + 1, 'A' + i % 26);  // twelve characters
      v.push_back(name);
    }
    return v;
  }();
  return list;
}

const int kColumns = 16, kPitchX = 92, kPitchY = 40;

void cellOf(int i, int* x, int* y)
{
  *x = 8 + (i % kColumns) * kPitchX;
  *y = 8 + (i / kColumns) * kPitchY;
}

// Wide enough for a whole name (twelve advances of about 8 pixels): both sides draw
// the same ink, cairo having no rectangle to clip to.
const int kCellWidth = 120;

// Our cached font on a system bitmap. quality 3: without antialiasing (the editor's
// text); 4: antialiased. Translucent text is the cached route, opaque text the native.
struct OurText
{
  LICE_SysBitmap surface{kWidth, kHeight};
  LICE_CachedFont font;
  unsigned format;

  OurText(int quality, bool translucent) : format(translucent ? LICE_TEXT_COLORALPHA : 0)
  {
    font.SetFromHFont(CreateFont(kSize, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, (char)quality, 0, "NK57 Monospace"),
                      LICE_FONT_OWNSFONT | LICE_FONT_NATIVE);
    font.SetTextColor(LICE_MakePixel(kInk, kInk, kInk, translucent ? kTranslucentAlpha : 0xFF));
    clear();
  }
  void clear() { LICE_Clear(&surface, kBackground); }
  void draw(int i)
  {
    int x, y;
    cellOf(i, &x, &y);
    RECT r = {x, y, x + kCellWidth, y + 20};
    font.DrawText(&surface, names()[(size_t)i].c_str(), -1, &r, format);
  }
  const uint32_t* pixels(int* stride)
  {
    *stride = surface.getRowSpan();
    return surface.getBits();
  }
};

// cairo with the same face and size; antialiasing off or on to match the quality, and
// an opaque or translucent source to match the route.
struct CairoText
{
  cairo_surface_t* surface;
  cairo_t* cr;

  CairoText(int quality, bool translucent)
  {
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cr = cairo_create(surface);
    cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kSize);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, quality == 3 ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    clear();
    cairo_set_source_rgba(cr, kInk / 255.0, kInk / 255.0, kInk / 255.0,
                          translucent ? kTranslucentAlpha / 255.0 : 1.0);
  }
  ~CairoText()
  {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  CairoText(const CairoText&) = delete;
  CairoText& operator=(const CairoText&) = delete;

  void clear()
  {
    cairo_save(cr);
    cairo_set_source_rgb(cr, LICE_PixelR(kBackground) / 255.0, LICE_PixelG(kBackground) / 255.0,
                         LICE_PixelB(kBackground) / 255.0);
    cairo_paint(cr);
    cairo_restore(cr);
  }
  void draw(int i)
  {
    int x, y;
    cellOf(i, &x, &y);
    cairo_move_to(cr, x, y + 12);
    cairo_show_text(cr, names()[(size_t)i].c_str());
  }
  const uint32_t* pixels(int* stride)
  {
    cairo_surface_flush(surface);
    *stride = cairo_image_surface_get_stride(surface) / 4;
    return (const uint32_t*)cairo_image_surface_get_data(surface);
  }
};

// What one name left on a surface, against the background (the corner pixel, which no
// name reaches): the box of every pixel changed around its cell, and the count of
// those changed by at least an eighth in some byte, so that the faint edges, where the
// two rasterisers differ most, weigh little.
struct Ink
{
  int count = 0, left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
};

int change(uint32_t p, uint32_t background)
{
  int d = 0;
  for (int shift = 0; shift < 32; shift += 8)
    d = std::max(d, abs((int)((p >> shift) & 255) - (int)((background >> shift) & 255)));
  return d;
}

Ink inkOf(const uint32_t* pixels, int stride, int i)
{
  int x, y;
  cellOf(i, &x, &y);
  const uint32_t background = pixels[0];
  Ink ink;
  for (int py = y - 6; py < y + 30; ++py)
    for (int px = x - 4; px < x + kCellWidth + 4; ++px)
      if (px < kWidth && py < kHeight && pixels[(long)py * stride + px] != background)
      {
        if (change(pixels[(long)py * stride + px], background) >= 32) ++ink.count;
        ink.left = std::min(ink.left, px);
        ink.right = std::max(ink.right, px + 1);
        ink.top = std::min(ink.top, py);
        ink.bottom = std::max(ink.bottom, py + 1);
      }
  return ink;
}

// The ink of every name, drawn in its own cell: every other column at a time, so that
// names, which reach a little into the next column, never touch each other's count.
template <class Side>
std::vector<Ink> inkOfEveryName(Side& side)
{
  std::vector<Ink> out((size_t)kNames);
  for (int parity = 0; parity < 2; ++parity)
  {
    side.clear();
    for (int i = 0; i < kNames; ++i)
      if (i % kColumns % 2 == parity) side.draw(i);
    int stride;
    const uint32_t* pixels = side.pixels(&stride);
    for (int i = 0; i < kNames; ++i)
      if (i % kColumns % 2 == parity) out[(size_t)i] = inkOf(pixels, stride, i);
  }
  side.clear();
  return out;
}

// Empty when both sides draw every glyph of every name: the inked boxes agree within
// a pixel at each edge (a last glyph cut off takes pixels off the right) and the counts
// within 4 % (one glyph is about a twelfth; antialiased names differ by up to 2.5 %).
// Else what differs.
std::string sameInk(int quality, bool translucent)
{
  OurText ours(quality, translucent);
  CairoText cairo(quality, translucent);
  const std::vector<Ink> a = inkOfEveryName(ours), b = inkOfEveryName(cairo);
  for (int i = 0; i < kNames; ++i)
  {
    const Ink &u = a[(size_t)i], &v = b[(size_t)i];
    const bool boxes = abs(u.left - v.left) <= 1 && abs(u.right - v.right) <= 1 && abs(u.top - v.top) <= 1 &&
                       abs(u.bottom - v.bottom) <= 1;
    if (!boxes || abs(u.count - v.count) * 25 > v.count)
    {
      char why[200];
      snprintf(why, sizeof why, "\"%s\": ours inks %d pixels in [%d,%d)x[%d,%d), cairo %d in [%d,%d)x[%d,%d)",
               names()[(size_t)i].c_str(), u.count, u.left, u.right, u.top, u.bottom, v.count, v.left, v.right,
               v.top, v.bottom);
      return why;
    }
  }
  return "";
}

// Checked once for each quality and colour, by whichever benchmark comes first.
const std::string& inkCheck(int quality, bool translucent)
{
  static std::map<std::pair<int, bool>, std::string> done;
  const auto key = std::make_pair(quality, translucent);
  auto it = done.find(key);
  if (it == done.end()) it = done.emplace(key, sameInk(quality, translucent)).first;
  return it->second;
}

template <class Side>
void timeAllNames(benchmark::State& state, Side& side, int quality, bool translucent)
{
  const std::string& differs = inkCheck(quality, translucent);
  if (!differs.empty())
  {
    state.SkipWithError(("not the same ink: " + differs).c_str());
    return;
  }
  for (int i = 0; i < kNames; ++i) side.draw(i);  // glyph caches warm
  for (auto _ : state)
  {
    for (int i = 0; i < kNames; ++i) side.draw(i);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

// Either side at (quality, translucent) over all the names.
template <class Side>
void timeSide(benchmark::State& state)
{
  const int quality = (int)state.range(0);
  const bool translucent = state.range(1) != 0;
  Side side(quality, translucent);
  timeAllNames(state, side, quality, translucent);
}

// route 0: opaque text, native; route 1: translucent text from the glyph cache.
void BM_CachedFont(benchmark::State& state) { timeSide<OurText>(state); }
BENCHMARK(BM_CachedFont)->ArgNames({"quality", "cached"})->Args({3, 0})->Args({3, 1})->Args({4, 0})->Args({4, 1});

void BM_Cairo(benchmark::State& state) { timeSide<CairoText>(state); }
BENCHMARK(BM_Cairo)->ArgNames({"quality", "translucent"})->Args({3, 0})->Args({3, 1})->Args({4, 0})->Args({4, 1});

// The window system's own text drawing, as the native route calls it.
void BM_SwellDrawText(benchmark::State& state)
{
  LICE_SysBitmap surface(kWidth, kHeight);
  HFONT font = CreateFont(kSize, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, (char)state.range(0), 0, "NK57 Monospace");
  HDC dc = surface.getDC();
  SelectObject(dc, font);
  SetTextColor(dc, 0xF0F0F0);
  const std::vector<std::string>& list = names();
  for (auto _ : state)
  {
    for (int i = 0; i < kNames; ++i)
    {
      int x, y;
      cellOf(i, &x, &y);
      RECT r = {x, y, x + kCellWidth, y + 20};
      SWELL_DrawText(dc, list[(size_t)i].c_str(), -1, &r, DT_NOPREFIX);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kNames);
  SelectObject(dc, (HGDIOBJ)(uintptr_t)SWELL_GDI_FONT);
  DeleteObject(font);
}
BENCHMARK(BM_SwellDrawText)->ArgName("quality")->Arg(3)->Arg(4);

}  // namespace
