// The editor's drawing pass on its own surface: 1500 x 667 pixels holding a
// background and 1,000 knob strips, 200 in the plain list and 800 in a page layer
// with two shown children. A full redraw, the redraw after one knob moved, and the
// timer's dirty walk when nothing changed.

#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "plug/IPlugBase.h"
#include "raster/lice.h"
#include "ui/ControlLayer.h"

#include "BenchPlug.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const int kW = 1500, kH = 667, kKnobs = 1000, kKnobSize = 30, kFrames = 101;

// A knob strip of 101 frames: a disc with a soft edge and a pointer, transparent
// around it, as the editor's images are.
LICE_IBitmap* makeKnobStrip()
{
  LICE_MemBitmap* strip = new LICE_MemBitmap(kKnobSize, kKnobSize * kFrames);
  const float r = kKnobSize / 2.0f;
  for (int f = 0; f < kFrames; ++f)
    for (int y = 0; y < kKnobSize; ++y)
      for (int x = 0; x < kKnobSize; ++x)
      {
        const float dx = x + 0.5f - r, dy = y + 0.5f - r, d = dx * dx + dy * dy;
        int a = d < (r - 1) * (r - 1) ? 255 : (d < r * r ? 128 : 0);
        const bool pointer = dx > -1.5f && dx < 1.5f && dy < 0 && (f % 7) == (x + y) % 7;
        strip->getBits()[(f * kKnobSize + y) * strip->getRowSpan() + x] =
          LICE_MakePixel(pointer ? 255 : 60, 60 + f, 70, a);
      }
  return strip;
}

LICE_IBitmap* makeBackground()
{
  LICE_MemBitmap* bg = new LICE_MemBitmap(kW, kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) bg->getBits()[y * bg->getRowSpan() + x] = LICE_MakePixel(x & 255, y & 255, 90, 255);
  return bg;
}

struct Editor
{
  Editor() : plug(kKnobs, true)
  {
    g = new IGraphics(&plug, kW, kH, 25);
    IBitmap bg(makeBackground(), kW, kH);
    IBitmap knob(makeKnobStrip(), kKnobSize, kKnobSize * kFrames, kFrames);
    g->RetainBitmap(&bg);
    g->RetainBitmap(&knob);
    g->AttachControl(new IBitmapControl(&plug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber));

    ControlLayer* page = new ControlLayer(0, "page");
    ControlLayer* half[2] = {new ControlLayer(0, "left"), new ControlLayer(0, "right")};
    page->children.Add(half[0]);
    page->children.Add(half[1]);
    for (int i = 0; i < kKnobs; ++i)
    {
      IControl* c = new IBitmapControl(&plug, (i % 50) * kKnobSize, (i / 50) * 33, i, &knob);
      if (i < 200)
        g->AttachControl(c);
      else
        half[i % 2]->controls.Add(c);
      if (i == 500) oneKnob = c;
    }
    g->AttachLayer(page);
    page->Hide(false);
    plug.AttachGraphics(g);
    for (int i = 0; i < kKnobs; ++i) g->SetParameterFromPlug(i, (double)(i % 128), false);
    IRECT all(0, 0, kW, kH);
    g->Draw(&all);
  }

  BenchPlug plug;
  IGraphics* g = nullptr;  // owned by the plug-in
  IControl* oneKnob = nullptr;
};

void BM_FullRedraw(benchmark::State& state)
{
  Editor e;
  IRECT all(0, 0, kW, kH);
  for (auto _ : state) e.g->Draw(&all);
  state.SetItemsProcessed(state.iterations() * kKnobs);
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMillisecond);

// The timer finds one moved knob and the window system repaints its area.
void BM_OneKnobRedraw(benchmark::State& state)
{
  Editor e;
  double v = 0.0;
  for (auto _ : state)
  {
    v = v > 0.9 ? 0.0 : v + 0.05;
    e.oneKnob->SetValueFromPlug(v);
    IRECT area;
    if (e.g->IsDirty(&area)) e.g->Draw(&area);
  }
}
BENCHMARK(BM_OneKnobRedraw)->Unit(benchmark::kMicrosecond);

// The timer tick with nothing dirty: one walk over every control and layer.
void BM_IdleTick(benchmark::State& state)
{
  Editor e;
  for (auto _ : state)
  {
    IRECT area;
    benchmark::DoNotOptimize(e.g->IsDirty(&area));
  }
}
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
