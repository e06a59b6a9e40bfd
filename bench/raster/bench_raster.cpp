// The raster core against pixman on the same work, single thread: megapixels a
// second for each. pixman works in premultiplied a8r8g8b8, its own fastest format;
// where its operator differs from ours (source-alpha blits, translucent fills) the
// figures compare throughput only.
#include "raster/lice.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

const int kW = 1500, kH = 667;  // the editor's surface

void fillNoise(LICE_IBitmap* b, unsigned seed)
{
  std::mt19937 rng(seed);
  for (int y = 0; y < b->getHeight(); ++y)
    for (int x = 0; x < b->getWidth(); ++x) b->getBits()[y * b->getRowSpan() + x] = (LICE_PixelValue)rng() | 0xFF;
}

// A pixman image over the same memory as a bitmap (rows 4-aligned in both).
pixman_image_t* wrap(LICE_IBitmap* b)
{
  return pixman_image_create_bits(PIXMAN_a8r8g8b8, b->getWidth(), b->getHeight(), (uint32_t*)b->getBits(),
                                  b->getRowSpan() * 4);
}

void rate(benchmark::State& state, double pixelsPerIteration)
{
  state.counters["MPix/s"] =
    benchmark::Counter(pixelsPerIteration / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Opaque copy of the whole surface.

void BM_CopyOpaque_LICE(benchmark::State& state)
{
  LICE_MemBitmap src(kW, kH), dst(kW, kH);
  fillNoise(&src, 1);
  for (auto _ : state)
  {
    LICE_Blit(&dst, &src, 0, 0, nullptr, 1.0f, LICE_MODE_COPY);
    benchmark::ClobberMemory();
  }
  rate(state, (double)kW * kH);
}

void BM_CopyOpaque_pixman(benchmark::State& state)
{
  LICE_MemBitmap src(kW, kH), dst(kW, kH);
  fillNoise(&src, 1);
  pixman_image_t *s = wrap(&src), *d = wrap(&dst);
  for (auto _ : state)
  {
    pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  rate(state, (double)kW * kH);
}

// 1,000 source-alpha blits of a 64 x 64 round frame with soft edges.

const int kFrame = 64, kBlits = 1000;

void makeFrame(LICE_IBitmap* f, bool premultiplied)
{
  for (int y = 0; y < kFrame; ++y)
    for (int x = 0; x < kFrame; ++x)
    {
      const double r = std::hypot(x - 31.5, y - 31.5);
      const int a = r < 26 ? 255 : r > 31 ? 0 : (int)((31 - r) * 51);
      int red = (x * 4) & 255, green = (y * 4) & 255, blue = 128;
      if (premultiplied)
      {
        red = red * a / 255;
        green = green * a / 255;
        blue = blue * a / 255;
        f->getBits()[y * f->getRowSpan() + x] = (uint32_t)a << 24 | red << 16 | green << 8 | blue;
      }
      else
        f->getBits()[y * f->getRowSpan() + x] = LICE_MakePixel(red, green, blue, a);
    }
}

void positions(int* xy)
{
  std::mt19937 rng(5);
  for (int i = 0; i < kBlits; ++i)
  {
    xy[2 * i] = (int)(rng() % (kW - kFrame));
    xy[2 * i + 1] = (int)(rng() % (kH - kFrame));
  }
}

void BM_SourceAlphaBlits_LICE(benchmark::State& state)
{
  const float alpha = state.range(0) / 256.0f;
  LICE_MemBitmap frame(kFrame, kFrame), dst(kW, kH);
  makeFrame(&frame, false);
  fillNoise(&dst, 2);
  static int xy[2 * kBlits];
  positions(xy);
  for (auto _ : state)
  {
    for (int i = 0; i < kBlits; ++i)
      LICE_Blit(&dst, &frame, xy[2 * i], xy[2 * i + 1], nullptr, alpha, LICE_MODE_SOURCEALPHA);
    benchmark::ClobberMemory();
  }
  rate(state, (double)kBlits * kFrame * kFrame);
}

void BM_SourceAlphaBlits_pixman(benchmark::State& state)
{
  LICE_MemBitmap frame(kFrame, kFrame), dst(kW, kH);
  makeFrame(&frame, true);
  fillNoise(&dst, 2);
  static int xy[2 * kBlits];
  positions(xy);
  pixman_image_t *s = wrap(&frame), *d = wrap(&dst);
  pixman_image_t* mask = nullptr;
  if (state.range(0) != 256)
  {
    const pixman_color_t c = {0, 0, 0, (uint16_t)(state.range(0) * 256)};
    mask = pixman_image_create_solid_fill(&c);
  }
  for (auto _ : state)
  {
    for (int i = 0; i < kBlits; ++i)
      pixman_image_composite32(PIXMAN_OP_OVER, s, mask, d, 0, 0, 0, 0, xy[2 * i], xy[2 * i + 1], kFrame, kFrame);
    benchmark::ClobberMemory();
  }
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(s);
  pixman_image_unref(d);
  rate(state, (double)kBlits * kFrame * kFrame);
}

// Solid fills of the whole surface, alpha in hundredths: 1.0 (a plain store), 0.5
// (weight 128, which takes the half-mix shortcut: a shift and a mask a channel,
// no multiply), 0.49 and 0.3 (weights 125 and 76: the general weighted blend).

void BM_Fill_LICE(benchmark::State& state)
{
  LICE_MemBitmap dst(kW, kH);
  fillNoise(&dst, 3);
  const float alpha = state.range(0) / 100.0f;
  for (auto _ : state)
  {
    LICE_FillRect(&dst, 0, 0, kW, kH, LICE_MakePixel(40, 120, 200, 255), alpha, LICE_MODE_COPY);
    benchmark::ClobberMemory();
  }
  rate(state, (double)kW * kH);
}

void BM_Fill_pixman(benchmark::State& state)
{
  LICE_MemBitmap dst(kW, kH);
  fillNoise(&dst, 3);
  pixman_image_t* d = wrap(&dst);
  const double alpha = state.range(0) / 100.0;
  const pixman_color_t c = {(uint16_t)(40 * 257 * alpha), (uint16_t)(120 * 257 * alpha),
                            (uint16_t)(200 * 257 * alpha), (uint16_t)(65535 * alpha)};
  pixman_image_t* solid = pixman_image_create_solid_fill(&c);
  const uint32_t opaque = 0xFF000000u | 40 << 16 | 120 << 8 | 200;
  for (auto _ : state)
  {
    if (state.range(0) == 100)
      pixman_fill((uint32_t*)dst.getBits(), dst.getRowSpan(), 32, 0, 0, kW, kH, opaque);
    else
      pixman_image_composite32(PIXMAN_OP_OVER, solid, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(solid);
  pixman_image_unref(d);
  rate(state, (double)kW * kH);
}

// The surface scaled by 0.75 and 1.25, nearest and bilinear.

const int kSrcW = 1200, kSrcH = 534;

void BM_Scaled_LICE(benchmark::State& state)
{
  const double scale = state.range(0) / 100.0;
  const bool bilinear = state.range(1) != 0;
  const int w = (int)(kSrcW * scale), h = (int)(kSrcH * scale);
  LICE_MemBitmap src(kSrcW, kSrcH), dst(w, h);
  fillNoise(&src, 4);
  for (auto _ : state)
  {
    LICE_ScaledBlit(&dst, &src, 0, 0, w, h, 0, 0, kSrcW, kSrcH, 1.0f,
                    bilinear ? LICE_MODE_BILINEAR : LICE_MODE_COPY);
    benchmark::ClobberMemory();
  }
  rate(state, (double)w * h);
}

void BM_Scaled_pixman(benchmark::State& state)
{
  const double scale = state.range(0) / 100.0;
  const bool bilinear = state.range(1) != 0;
  const int w = (int)(kSrcW * scale), h = (int)(kSrcH * scale);
  LICE_MemBitmap src(kSrcW, kSrcH), dst(w, h);
  fillNoise(&src, 4);
  pixman_image_t *s = wrap(&src), *d = wrap(&dst);
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed((double)kSrcW / w), pixman_double_to_fixed((double)kSrcH / h));
  pixman_image_set_transform(s, &t);
  pixman_image_set_filter(s, bilinear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST, nullptr, 0);
  pixman_image_set_repeat(s, PIXMAN_REPEAT_PAD);
  for (auto _ : state)
  {
    pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, w, h);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  rate(state, (double)w * h);
}

// The opaque copies must agree before their speeds are compared.
bool copiesAgree()
{
  LICE_MemBitmap src(kW, kH), a(kW, kH), b(kW, kH);
  fillNoise(&src, 1);
  LICE_Blit(&a, &src, 0, 0, nullptr, 1.0f, LICE_MODE_COPY);
  pixman_image_t *s = wrap(&src), *d = wrap(&b);
  pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
  pixman_image_unref(s);
  pixman_image_unref(d);
  for (int y = 0; y < kH; ++y)
    if (memcmp(a.getBits() + y * a.getRowSpan(), b.getBits() + y * b.getRowSpan(), kW * 4)) return false;
  return true;
}

}  // namespace

BENCHMARK(BM_CopyOpaque_LICE)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyOpaque_pixman)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SourceAlphaBlits_LICE)->Arg(256)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SourceAlphaBlits_pixman)->Arg(256)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fill_LICE)->ArgName("alpha_pct")->Arg(100)->Arg(50)->Arg(49)->Arg(30)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fill_pixman)->ArgName("alpha_pct")->Arg(100)->Arg(50)->Arg(49)->Arg(30)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scaled_LICE)->Args({75, 0})->Args({125, 0})->Args({75, 1})->Args({125, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scaled_pixman)->Args({75, 0})->Args({125, 0})->Args({75, 1})->Args({125, 1})->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
  if (!copiesAgree())
  {
    fprintf(stderr, "the opaque copies differ\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
