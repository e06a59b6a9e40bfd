// Values, texts and layer visibility written by a MIDI thread while the main thread
// draws and dispatches input. Run under ThreadSanitizer (-DDAVREL_TSAN=ON) as well as
// under the address sanitizer of the normal suite.

#include "GuiTestUtil.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

std::string statusText(int i) { return std::string((size_t)(1 + (i * 37) % 120), (char)('a' + i % 26)); }

}  // namespace

TEST(GuiThreadsTest, HardwareChangesNeverLandInsideADrawingPass)
{
  const int kParams = 16, kRounds = 1500;
  RecordingPlug* plug = new RecordingPlug(kParams);
  for (int i = 0; i < kParams; ++i) plug->GetParam(i)->InitDouble("p", 0.0, 0.0, 100.0, 1.0);
  HeadlessGraphics* g = new HeadlessGraphics(plug, 400, 200);

  // A strip of 10 frames, owned by the store.
  IBitmap strip(new LICE_MemBitmap(20, 200), 20, 200, 10);
  LICE_Clear(strip.mData, LICE_MakePixel(10, 200, 30, 255));
  g->RetainBitmap(&strip);

  g->AttachPanelBackground(&COLOR_BLACK);
  for (int i = 0; i < 40; ++i) g->AttachControl(new IBitmapControl(plug, (i % 20) * 20, (i / 20) * 20, i % 10, &strip));
  IText style(12, COLOR_WHITE, "Consolas");
  ITextControl* status = new ITextControl(plug, IRECT(0, 170, 400, 200), &style, "");
  g->AttachControl(status);

  // A page with one layer per timbre; the hardware's timbre switch shows one of them.
  ControlLayer* page = new ControlLayer(0, "page");
  ControlLayer* timbre[2];
  for (int t = 0; t < 2; ++t)
  {
    timbre[t] = new ControlLayer(t, "timbre" + std::to_string(t));
    for (int i = 0; i < 10; ++i)
      timbre[t]->controls.Add(new IBitmapControl(plug, i * 20, 60, 10 + (i % 6), &strip));
    page->children.Add(timbre[t]);
  }
  ControlLayer* overlay = new ControlLayer(5, "overlay");
  overlay->controls.Add(new IBitmapControl(plug, 100, 100, -1, &strip));
  g->AttachLayer(page);
  g->AttachLayer(overlay);
  page->Hide(false);
  RecordingControl* timbreSwitch = new RecordingControl(plug, IRECT(300, 100, 320, 120), 15);
  g->AttachControl(timbreSwitch);
  // What the editor does when the hardware switches timbres: under the plug-in's mutex.
  plug->onChange2 = [&](int idx) {
    if (idx != 15) return;
    page->selectedChildId = plug->GetParam(15)->Value() > 50.0 ? 1 : 0;
    for (int t = 0; t < 2; ++t) timbre[t]->Hide(timbre[t]->id != page->selectedChildId);
  };
  plug->AttachGraphics(g);

  std::atomic<bool> done{false}, drawing{false};
  std::thread midi([&] {
    // Starts once the main thread is drawing, however the threads are scheduled.
    while (!drawing.load()) std::this_thread::yield();
    for (int i = 0; i < kRounds; ++i)
    {
      g->SetParameterFromPlug(i % kParams, (double)(i % 101), false);
      status->SetTextFromPlug(statusText(i).c_str());
      timbreSwitch->SetValueFromHardware((i & 1) ? 1.0 : 0.0);
      {
        WDL_MutexLock lock(&plug->mMutex);
        overlay->Hide(i % 3 == 0);
      }
    }
    done.store(true);
  });

  IMouseMod left(true);
  int passes = 0;
  while (!done.load())
  {
    IRECT area;
    if (g->IsDirty(&area)) g->Draw(&area);
    drawing.store(true);
    g->OnMouseDown(30, 70, &left);
    g->OnMouseWheel(30, 70, &left, 1);
    g->OnMouseUp(30, 70, &left);
    ++passes;
  }
  midi.join();

  // The next pass shows the last state, and then nothing is dirty.
  IRECT area;
  g->IsDirty(&area);
  g->Draw(&area);
  area = IRECT();
  g->Draw(&area);
  EXPECT_FALSE(g->IsDirty(&area));
  EXPECT_EQ(std::string(status->GetTextForPlug()), statusText(kRounds - 1));
  EXPECT_TRUE(timbre[1]->visible);  // the last round switched to timbre 2
  EXPECT_FALSE(timbre[0]->visible);
  EXPECT_GT(passes, 0);

  // The hardware's changes took the hardware road, the wheel the user's, always
  // under the mutex.
  int hardware = 0;
  for (const RouteCall& c : plug->routes())
  {
    EXPECT_TRUE(c.mutexHeld);
    if (c.route == '2')
    {
      EXPECT_EQ(c.idx, 15);
      ++hardware;
    }
    else
    {
      EXPECT_NE(c.idx, 15);
    }
  }
  // Every round but those whose value the control already held.
  EXPECT_GE(hardware, kRounds / 2);
  delete plug;
}
