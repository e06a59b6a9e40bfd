// Lines and circles against cairo, antialiasing off and on. The two models
// differ (cairo strokes a one-pixel-wide path), so only throughput compares.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <random>
#include <vector>

#include "raster/lice.h"
#include "raster/lice_draw.h"

namespace {

const int kW = 512, kH = 512;

struct Seg {
  float x1, y1, x2, y2;
  LICE_PixelValue c;
};

const std::vector<Seg>& lines()
{
  static const std::vector<Seg> v = [] {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> p(-20.0f, kW + 20.0f);
    std::vector<Seg> s(10000);
    for (auto& l : s) l = {p(rng), p(rng), p(rng), p(rng), (LICE_PixelValue)rng() | 0xFF};
    return s;
  }();
  return v;
}

struct Disc {
  float x, y, r;
  LICE_PixelValue c;
};

const std::vector<Disc>& circles()
{
  static const std::vector<Disc> v = [] {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> p(0.0f, (float)kW), r(3.0f, 40.0f);
    std::vector<Disc> s(1000);
    for (auto& c : s) c = {p(rng), p(rng), r(rng), (LICE_PixelValue)rng() | 0xFF};
    return s;
  }();
  return v;
}

void setColor(cairo_t* cr, LICE_PixelValue c)
{
  cairo_set_source_rgb(cr, LICE_PixelR(c) / 255.0, LICE_PixelG(c) / 255.0, LICE_PixelB(c) / 255.0);
}

void BM_LiceLines(benchmark::State& state)
{
  const bool aa = state.range(0);
  LICE_MemBitmap bmp(kW, kH);
  for (auto _ : state)
    for (const Seg& s : lines())
      LICE_Line(&bmp, (int)s.x1, (int)s.y1, (int)s.x2, (int)s.y2, s.c, 1.0f, 0, aa);
  state.SetItemsProcessed(state.iterations() * lines().size());
}

void BM_CairoLines(benchmark::State& state)
{
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surf);
  cairo_set_antialias(cr, state.range(0) ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, 1.0);
  for (auto _ : state)
    for (const Seg& s : lines()) {
      setColor(cr, s.c);
      cairo_move_to(cr, (int)s.x1 + 0.5, (int)s.y1 + 0.5);
      cairo_line_to(cr, (int)s.x2 + 0.5, (int)s.y2 + 0.5);
      cairo_stroke(cr);
    }
  cairo_surface_flush(surf);
  state.SetItemsProcessed(state.iterations() * lines().size());
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
}

void BM_LiceCircles(benchmark::State& state)
{
  const bool aa = state.range(0), filled = state.range(1);
  LICE_MemBitmap bmp(kW, kH);
  for (auto _ : state)
    for (const Disc& d : circles()) {
      if (filled)
        LICE_FillCircle(&bmp, d.x, d.y, d.r, d.c, 1.0f, 0, aa);
      else
        LICE_Circle(&bmp, d.x, d.y, d.r, d.c, 1.0f, 0, aa);
    }
  state.SetItemsProcessed(state.iterations() * circles().size());
}

void BM_CairoCircles(benchmark::State& state)
{
  const bool filled = state.range(1);
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surf);
  cairo_set_antialias(cr, state.range(0) ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, 1.0);
  for (auto _ : state)
    for (const Disc& d : circles()) {
      setColor(cr, d.c);
      cairo_new_path(cr);
      cairo_arc(cr, d.x, d.y, d.r, 0, 6.283185307179586);
      if (filled)
        cairo_fill(cr);
      else
        cairo_stroke(cr);
    }
  cairo_surface_flush(surf);
  state.SetItemsProcessed(state.iterations() * circles().size());
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
}

}  // namespace

BENCHMARK(BM_LiceLines)->ArgName("aa")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CairoLines)->ArgName("aa")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiceCircles)->ArgNames({"aa", "filled"})->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CairoCircles)->ArgNames({"aa", "filled"})->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
