// The librarian's page of text: 256 twelve-character program names at 13 pixels on the
// editor's 1500 x 667 surface, drawn through the cached font's two routes and, as the
// yardstick, by cairo's cairo_show_text with the same DejaVu Sans Mono face (cairo
// keeps its own glyph cache). Each route is timed warm: glyphs rendered once before.

#include "raster/cachedfont.h"
#include "raster/lice.h"
#include "winsys/text.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kWidth = 1500, kHeight = 667, kSize = 13;

const std::vector<std::string>& names()
{
  static std::vector<std::string> list = [] {
    std::vector<std::string> v;
    for (int i = 0; i < 256; ++i)
    {
      char name[16];
      snprintf(name, sizeof name, "Program %03d%c", i + 1, 'A' + i % 26);  // twelve characters
      v.push_back(name);
    }
    return v;
  }();
  return list;
}

void cellOf(int i, int* x, int* y)
{
  *x = 8 + (i % 16) * 92;
  *y = 8 + (i / 16) * 40;
}

// Wide enough for a whole name (twelve advances of about 8 pixels): both sides draw
// the same ink, cairo having no rectangle to clip to.
const int kCellWidth = 120;

// quality 3: without antialiasing (the editor's text); 4: antialiased.
// route 0: opaque text, native; route 1: translucent text from the glyph cache.
void BM_CachedFont(benchmark::State& state)
{
  const int quality = (int)state.range(0), route = (int)state.range(1);
  LICE_SysBitmap surface(kWidth, kHeight);
  LICE_Clear(&surface, LICE_MakePixel(30, 34, 40, 255));
  LICE_CachedFont font;
  font.SetFromHFont(CreateFont(kSize, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, (char)quality, 0, "NK57 Monospace"),
                    LICE_FONT_OWNSFONT | LICE_FONT_NATIVE);
  font.SetTextColor(LICE_MakePixel(240, 240, 240, route ? 0xC0 : 0xFF));
  const unsigned format = route ? LICE_TEXT_COLORALPHA : 0;
  const std::vector<std::string>& list = names();
  auto drawAll = [&] {
    for (int i = 0; i < 256; ++i)
    {
      int x, y;
      cellOf(i, &x, &y);
      RECT r = {x, y, x + kCellWidth, y + 20};
      font.DrawText(&surface, list[(size_t)i].c_str(), -1, &r, format);
    }
  };
  drawAll();
  for (auto _ : state)
  {
    drawAll();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_CachedFont)->ArgNames({"quality", "cached"})->Args({3, 0})->Args({3, 1})->Args({4, 0})->Args({4, 1});

// cairo with the same face and size; antialiasing off or on to match the quality, and
// an opaque or translucent source to match the route.
void BM_Cairo(benchmark::State& state)
{
  const int quality = (int)state.range(0), translucent = (int)state.range(1);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 30 / 255.0, 34 / 255.0, 40 / 255.0);
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kSize);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, quality == 3 ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  cairo_set_source_rgba(cr, 240 / 255.0, 240 / 255.0, 240 / 255.0, translucent ? 0xC0 / 255.0 : 1.0);
  const std::vector<std::string>& list = names();
  auto drawAll = [&] {
    for (int i = 0; i < 256; ++i)
    {
      int x, y;
      cellOf(i, &x, &y);
      cairo_move_to(cr, x, y + 12);
      cairo_show_text(cr, list[(size_t)i].c_str());
    }
    cairo_surface_flush(surface);
  };
  drawAll();
  for (auto _ : state)
  {
    drawAll();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 256);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}
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
    for (int i = 0; i < 256; ++i)
    {
      int x, y;
      cellOf(i, &x, &y);
      RECT r = {x, y, x + kCellWidth, y + 20};
      SWELL_DrawText(dc, list[(size_t)i].c_str(), -1, &r, DT_NOPREFIX);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 256);
  SelectObject(dc, (HGDIOBJ)(uintptr_t)SWELL_GDI_FONT);
  DeleteObject(font);
}
BENCHMARK(BM_SwellDrawText)->ArgName("quality")->Arg(3)->Arg(4);

}  // namespace
