// The editor's own pages: reading the configuration (value lists, images at the
// editor's size, the element walk with every factory), the first full drawing pass
// of the sound page, and a page switch with the redraw it causes.
// Goals: configuration plus first frame under 100 ms; a page switch under 5 ms.

#include "config/ParamIds.h"
#include "gui/IGraphics.h"
#include "plug/IPlugBase.h"
#include "ui/ConfigGraphics.h"
#include "ui/ControlLayer.h"
#include "ui/EditorUIConfig.h"
#include "ui/TabSwitchFunctions.h"

#include "BenchPlug.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The controller's side of a page switch, quiet.
class Host : public PageHost
{
public:
  Host(EditorUIConfig* c, BenchPlug* p) : config(c), plug(p) {}
  ControlLayer* layerNamed(const char* name) override { return config->getLayer(name); }
  IControl* firstControlOf(int) override { return nullptr; }
  double paramValue(int i) override { return plug->GetParam(i)->Value(); }
  bool timbre1LockActive() override { return false; }
  bool timbre2LockActive() override { return false; }
  bool sharedLockActive() override { return false; }
  bool patchSearchActive() override { return false; }
  bool hardwareChangeInProgress() override { return true; }
  bool midiOutSet() override { return false; }
  void setCurrentPart(int) override {}
  void sendMidiMsgAndLog(IMidiMsg*) override {}
  void displaySequenceValues(int, const DisplayLines::StepTexts&) override {}
  void allowLibrarianDrag() override {}
  void selectLibrarianProgram(int) override {}
  void runParamChange(int) override {}
  void hideProgress() override {}
  EditorUIConfig* config;
  BenchPlug* plug;
};

struct Editor
{
  Editor() : graphics(new IGraphics(&plug, 1500, 667, 25)), host(&config, &plug)
  {
    graphics->SetResourceRoot(DAVREL_BENCH_BUNDLE_DIR);
    connectConfigToGraphics(&config, graphics);
    config.readUIConfig(graphics, nullptr, nullptr, 0, 1.0);
    plug.AttachGraphics(graphics);
    config.getLayer("root")->Hide(false);
    TabSwitchFunctions().mainTabSwitch(&host, 2, 0);
  }
  ~Editor() { config.ClearImageCache(); }
  void drawAll()
  {
    IRECT all(0, 0, 1500, 667);
    graphics->Draw(&all);
  }

  BenchPlug plug{kNumParams, false};
  IGraphics* graphics;  // owned by the plug-in
  EditorUIConfig config;
  Host host;
};

// From nothing to the first frame, images decoded and scaled afresh each time.
void BM_ConfigurationAndFirstFrame(benchmark::State& state)
{
  for (auto _ : state)
  {
    Editor editor;
    editor.drawAll();
    benchmark::DoNotOptimize(editor.graphics->GetDrawBitmap());
  }
}
BENCHMARK(BM_ConfigurationAndFirstFrame)->Unit(benchmark::kMillisecond);

// The images alone: decoded and scaled into the store, no configuration.
void BM_ImagesOnly(benchmark::State& state)
{
  for (auto _ : state)
  {
    BenchPlug plug(kNumParams, false);
    IGraphics* graphics = new IGraphics(&plug, 1500, 667, 25);
    graphics->SetResourceRoot(DAVREL_BENCH_BUNDLE_DIR);
    EditorUIConfig config;
    connectConfigToGraphics(&config, graphics);
    config.setResourceLoader([](int, const char*) { return LoadedResource(); });
    config.readUIConfig(graphics, nullptr, nullptr, 0, 1.0);
    config.ClearImageCache();
    plug.AttachGraphics(graphics);
  }
}
BENCHMARK(BM_ImagesOnly)->Unit(benchmark::kMillisecond);

void BM_FirstFullDraw(benchmark::State& state)
{
  Editor editor;
  for (auto _ : state) editor.drawAll();
}
BENCHMARK(BM_FirstFullDraw)->Unit(benchmark::kMillisecond);

// Sound page to sequence page and back, each with the redraw of what changed.
void BM_PageSwitch(benchmark::State& state)
{
  Editor editor;
  editor.drawAll();
  int page = 3;
  for (auto _ : state)
  {
    TabSwitchFunctions().mainTabSwitch(&editor.host, page, 0);
    IRECT dirty;
    if (editor.graphics->IsDirty(&dirty)) editor.graphics->Draw(&dirty);
    page = page == 3 ? 2 : 3;
  }
}
BENCHMARK(BM_PageSwitch)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
