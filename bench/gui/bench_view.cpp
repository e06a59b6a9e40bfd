// The editor's view on an X server (a private Xvfb): from a parameter change to the
// pixels on the X window (the redraw timer's tick and dirty walk, the drawing pass,
// the copy into the window's backing and the present), for one knob and for the
// whole 1500 x 667 frame; and the present alone, MIT-SHM against plain XPutImage.

#include "gui/IControls.h"
#include "gui/IGraphicsCocoa.h"
#include "gui/IGraphicsMac.h"
#include "plug/IPlugBase.h"
#include "platform/appkit/AppKit.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "raster/lice.h"

#include "BenchPlug.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

const int kW = 1500, kH = 667, kKnobs = 1000, kKnob = 30, kFrames = 101;

// One X server, application and editor for the whole run.
struct Screen
{
  Screen()
  {
    std::string error;
    if (!server.start(&error) || !(presenter = AKMakeX11Presenter(server.display(), &error)))
    {
      problem = error;
      return;
    }
    NSApplication::setPresenter(std::move(presenter));
    NSApplication::sharedApplication();
    plug = std::make_unique<BenchPlug>(kKnobs, true);
    g = new IGraphicsMac(plug.get(), kW, kH, 25);
    LICE_MemBitmap* bg = new LICE_MemBitmap(kW, kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) bg->getBits()[y * bg->getRowSpan() + x] = LICE_MakePixel(x & 255, y & 255, 90, 255);
    LICE_MemBitmap* strip = new LICE_MemBitmap(kKnob, kKnob * kFrames);
    for (int f = 0; f < kFrames; ++f)
      for (int y = 0; y < kKnob; ++y)
        for (int x = 0; x < kKnob; ++x)
        {
          const float dx = x + 0.5f - kKnob / 2.0f, dy = y + 0.5f - kKnob / 2.0f;
          strip->getBits()[(f * kKnob + y) * strip->getRowSpan() + x] =
              LICE_MakePixel(60 + f, 70, 80, dx * dx + dy * dy < 196 ? 255 : 0);
        }
    IBitmap background(bg, kW, kH), knob(strip, kKnob, kKnob * kFrames, kFrames);
    g->RetainBitmap(&background);
    g->RetainBitmap(&knob);
    g->AttachControl(new IBitmapControl(plug.get(), 0, 0, -1, &background, IChannelBlend::kBlendClobber));
    for (int i = 0; i < kKnobs; ++i)
    {
      IControl* c = new IBitmapControl(plug.get(), (i % 50) * kKnob, (i / 50) * 33, i, &knob);
      g->AttachControl(c);
      if (i == 500) oneKnob = c;
    }
    plug->AttachGraphics(g);
    window = new NSWindow(NSMakeRect(0, 0, kW, kH), NSTitledWindowMask, NSBackingStoreBuffered, false);
    view = static_cast<IGraphicsCocoa_vDavrel_64_au*>(g->OpenWindow(window->contentView()));
    window->makeKeyAndOrderFront(nullptr);
    NSRunLoop* loop = NSRunLoop::currentRunLoop();
    loop->runFor(0.3);
  }

  std::string problem;
  AKXvfb server;
  std::unique_ptr<NSPresenter> presenter;
  std::unique_ptr<BenchPlug> plug;
  IGraphicsMac* g = nullptr;
  IControl* oneKnob = nullptr;
  NSWindow* window = nullptr;
  IGraphicsCocoa_vDavrel_64_au* view = nullptr;
};

Screen* g_screen = nullptr;

Screen& screen()
{
  // Kept to the end of the process, as the kit is; only its X server is stopped at
  // exit, so no Xvfb outlives the run.
  if (!g_screen)
  {
    g_screen = new Screen;
    std::atexit([] { g_screen->server.stop(); });
  }
  return *g_screen;
}

// The timer's tick finds the moved knob; the window draws and presents its area.
void BM_X11_OneKnobChangeToScreen(benchmark::State& state)
{
  Screen& s = screen();
  if (!s.problem.empty()) return state.SkipWithError(s.problem.c_str());
  double v = 0;
  for (auto _ : state)
  {
    v = v > 0.9 ? 0.0 : v + 0.05;
    s.oneKnob->SetValueFromPlug(v);
    s.view->onTimer(s.view->timer());
    s.window->displayIfNeeded();
  }
}
BENCHMARK(BM_X11_OneKnobChangeToScreen)->Unit(benchmark::kMicrosecond);

void BM_X11_FullFrameToScreen(benchmark::State& state)
{
  Screen& s = screen();
  if (!s.problem.empty()) return state.SkipWithError(s.problem.c_str());
  for (auto _ : state)
  {
    s.g->SetAllControlsDirty();
    s.view->onTimer(s.view->timer());
    s.window->displayIfNeeded();
  }
}
BENCHMARK(BM_X11_FullFrameToScreen)->Unit(benchmark::kMillisecond);

// The present alone, of the whole window and of one knob's area.
void presentOnly(benchmark::State& state, bool shm, bool whole)
{
  Screen& s = screen();
  if (!s.problem.empty()) return state.SkipWithError(s.problem.c_str());
  std::string error;
  std::unique_ptr<NSPresenter> p = AKMakeX11Presenter(s.server.display(), &error, shm);
  if (!p) return state.SkipWithError(error.c_str());
  state.SetLabel(p->name());
  // A window of its own presenter, over the editor's backing.
  void* saved = s.window->presenterData;
  s.window->presenterData = nullptr;
  p->windowOrderedIn(s.window);
  const std::vector<AKPixelRect> area = {whole ? AKPixelRect{0, 0, kW, kH} : AKPixelRect{0, 330, 31, 361}};
  for (auto _ : state) p->present(s.window, area);
  p->windowClosed(s.window);
  s.window->presenterData = saved;
}

void BM_X11_PresentFrame_Shm(benchmark::State& state) { presentOnly(state, true, true); }
void BM_X11_PresentFrame_XPutImage(benchmark::State& state) { presentOnly(state, false, true); }
void BM_X11_PresentKnob_Shm(benchmark::State& state) { presentOnly(state, true, false); }
void BM_X11_PresentKnob_XPutImage(benchmark::State& state) { presentOnly(state, false, false); }
BENCHMARK(BM_X11_PresentFrame_Shm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_X11_PresentFrame_XPutImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_X11_PresentKnob_Shm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_X11_PresentKnob_XPutImage)->Unit(benchmark::kMicrosecond);

}  // namespace
