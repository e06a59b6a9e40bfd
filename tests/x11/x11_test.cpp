// The editor under a real X server (Xvfb): windows shown by the X11 presenter,
// input sent by another X client, pixels read back with XGetImage.

#include "EditorWindow.h"
#include "TestHost.h"
#include "gui/ViewTestUtil.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "config/ParamIds.h"

#include "X11Session.h"

#include <X11/X.h>
#include <gtest/gtest.h>

namespace {


class X11Test : public X11SessionTest<>
{
protected:
  static constexpr int kW = 200, kH = 100;

  void SetUp() override
  {
    X11SessionTest::SetUp();
    loop = NSRunLoop::currentRunLoop();
  }

  // Runs the loop until the condition holds, at most 10 s.
  bool until(const std::function<bool()>& done) { return loop->runUntil(done, loop->now() + 10.0); }
  // While a menu tracks, a timer of the common modes finds its window on the server
  // and hands it to act, once.
  void whenMenuShown(const std::function<void(NSWindow*, unsigned long)>& act)
  {
    NSTimer* t = NSTimer::timerWithAction(0.2, nullptr, [this, act](NSTimer* timer) {
      for (NSWindow* w : NSApp->windows())
        if (w->level() == NSPopUpMenuWindowLevel && AKX11WindowOf(w))
        {
          const unsigned long m = AKX11WindowOf(w);
          if (!driver->viewable(m)) return;
          act(w, m);
          timer->invalidate();
          return;
        }
    }, nullptr, true);
    loop->addTimer(t, kCFRunLoopCommonModes);
    t->release();
  }

  // The real plug-in's editor in the host's window, shown and drawn, handed to
  // body(unit, editor, its X window); the unit closes after the window.
  template <class Body>
  void WithHostedEditor(Body body)
  {
    TestHost host;
    std::string error;
    ASSERT_TRUE(host.LoadBundle(DAVREL_PLUGIN_BUNDLE, &error)) << error;
    AudioUnit unit = host.Open(&error);
    ASSERT_NE(unit, nullptr) << error;
    {
      EditorWindow editor;
      ASSERT_TRUE(editor.Open(host, unit, "Davrel Editor", &error)) << error;
      const unsigned long x = AKX11WindowOf(editor.window());
      ASSERT_NE(x, 0u);
      ASSERT_TRUE(until([&] { return driver->viewable(x) && editor.window()->displayCount() > 0; }));
      body(unit, editor, x);
    }
    host.Close(unit);
  }

  // The editor of test controls in a window of its own, shown.
  void OpenEditor()
  {
    plug = new RecordingPlug(8);
    plug->GetParam(0)->InitBool("switch", false);
    plug->GetParam(1)->InitDouble("level", 0.5, 0.0, 1.0, 0.001);
    plug->GetParam(2)->InitInt("steps", 3, 0, 100);
    g = new IGraphicsMac(plug, kW, kH, 25);
    const IColor grey(255, 40, 40, 40);
    g->AttachPanelBackground(&grey);
    toggle = new ToggleControl(plug, IRECT(10, 10, 40, 30), 0);
    knob = new WheelControl(plug, IRECT(60, 10, 90, 40), 1);
    steps = new WheelControl(plug, IRECT(10, 60, 60, 80), 2);
    g->AttachControl(toggle);
    g->AttachControl(knob);
    g->AttachControl(steps);
    plug->AttachGraphics(g);
    window = new NSWindow(NSMakeRect(40, 400, kW, kH), NSTitledWindowMask, NSBackingStoreBuffered, false);
    window->setTitle("editor test");
    view = static_cast<IGraphicsCocoa_vDavrel_64_au*>(g->OpenWindow(window->contentView()));
    window->makeKeyAndOrderFront(nullptr);
    xid = AKX11WindowOf(window);
    ASSERT_NE(xid, 0u);
    ASSERT_TRUE(until([&] { return driver->viewable(xid) && window->displayCount() > 0; }));
  }

  void TearDown() override
  {
    if (g) g->CloseWindow();
    if (window)
    {
      window->close();
      AKRelease(window);
    }
    delete plug;
    if (loop) loop->runOnce();
  }

  // Pixel (px, py) of the window lands on graphics (px - 2, py - 3).
  void clickAt(int gx, int gy, int button = 1) { driver->click(xid, gx + 2, gy + 3, button); }

  // The window's pixels as the X server has them equal the backing's.
  int differingPixels(NSWindow* w, unsigned long x)
  {
    int width = 0, height = 0;
    std::vector<uint32_t> shown;
    if (!driver->read(x, &width, &height, &shown)) return -1;
    LICE_SysBitmap* b = w->backing();
    if (width != b->getWidth() || height != b->getHeight()) return -2;
    int differ = 0;
    for (int y = 0; y < height; ++y)
      for (int x0 = 0; x0 < width; ++x0)
      {
        const LICE_PixelValue p = b->getBits()[(size_t)y * b->getRowSpan() + x0];
        const uint32_t rgb = (uint32_t)LICE_PixelR(p) << 16 | (uint32_t)LICE_PixelG(p) << 8 | (uint32_t)LICE_PixelB(p);
        if (shown[(size_t)y * width + x0] != rgb) ++differ;
      }
    return differ;
  }

  NSRunLoop* loop = nullptr;
  RecordingPlug* plug = nullptr;
  IGraphicsMac* g = nullptr;
  ToggleControl* toggle = nullptr;
  WheelControl* knob = nullptr;
  WheelControl* steps = nullptr;
  NSWindow* window = nullptr;
  IGraphicsCocoa_vDavrel_64_au* view = nullptr;
  unsigned long xid = 0;
};

}  // namespace

TEST_F(X11Test, TheHostOpensTheEditorWindowShowingItsSurfaceAndClosesItOnRequest)
{
  WithHostedEditor([&](AudioUnit, EditorWindow& editor, unsigned long x) {
    loop->runFor(0.12);  // three frames of the redraw timer
    driver->sync();
    EXPECT_EQ(differingPixels(editor.window(), x), 0);
    // The window manager's close ends the host's run.
    driver->requestClose(x);
    EXPECT_TRUE(until([&] { return editor.closedByUser(); }));
    EXPECT_FALSE(editor.window()->isVisible());
  });
}

// The real plug-in in the host's window, driven by X events as the editor's own
// window is: a knob of its sound page turns up by the wheel and by a drag with the
// button held, and the page button shows the librarian.
TEST_F(X11Test, TheRealEditorsKnobAnswersTheWheelAndADragAndItsPageButtonAClick)
{
  WithHostedEditor([&](AudioUnit unit, EditorWindow& editor, unsigned long x) {
    auto param = [&](UInt32 id) {
      AudioUnitParameterValue v = -1;
      AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v);
      return v;
    };
    // Pixel (px, py) lands on graphics (px - 2, py - 3): the filter's resonance knob.
    const int kx = 782 + 2, ky = 198 + 3;
    float before = param(kFilterResonance);
    driver->press(x, kx, ky, 4);
    EXPECT_TRUE(until([&] { return param(kFilterResonance) > before; }));
    // The frames after show it: the window's pixels are the surface's.
    loop->runFor(0.1);
    driver->sync();
    EXPECT_EQ(differingPixels(editor.window(), x), 0);

    before = param(kFilterResonance);
    driver->press(x, kx, ky, 1);
    for (int step = 1; step <= 8; ++step) driver->motion(x, kx, ky - 5 * step, Button1Mask);
    driver->release(x, kx, ky - 40, 1, Button1Mask);
    EXPECT_TRUE(until([&] { return param(kFilterResonance) > before; })) << before;
    ASSERT_EQ(param(kShowLibrarian), 0.0f);
    driver->click(x, 94 + 2, 41 + 3);
    EXPECT_TRUE(until([&] { return param(kShowLibrarian) == 1.0f; }));
  });
}

TEST_F(X11Test, AClickOnASwitchChangesItsParameter)
{
  OpenEditor();
  clickAt(20, 20);
  ASSERT_TRUE(until([&] { return plug->GetParam(0)->Value() == 1.0; }));
  // The next frame shows it, on the X server too.
  ASSERT_TRUE(until([&] { return (LICE_GetPixel(window->backing(), 20, 20) | 0xFF) == LICE_MakePixel(0, 255, 0, 255); }));
  driver->sync();
  EXPECT_EQ(differingPixels(window, xid), 0);
}

TEST_F(X11Test, TheWheelTurnsAKnob)
{
  OpenEditor();
  const double before = plug->GetParam(1)->Value();
  driver->press(xid, 72, 23, 4);
  driver->press(xid, 72, 23, 4);
  ASSERT_TRUE(until([&] { return plug->GetParam(1)->Value() > before + 0.015; }));
  EXPECT_NEAR(plug->GetParam(1)->Value(), before + 0.02, 1e-9);
  driver->press(xid, 72, 23, 5);
  ASSERT_TRUE(until([&] { return plug->GetParam(1)->Value() < before + 0.015; }));
}

TEST_F(X11Test, AKeyReachesTheControlUnderTheMouse)
{
  OpenEditor();
  driver->motion(xid, 27, 18);
  driver->key(xid, "k");
  ASSERT_TRUE(until([&] { return toggle->lastKey != -100; }));
  EXPECT_EQ(toggle->lastKey, 25);
  EXPECT_EQ(toggle->keyX, 25);
  EXPECT_EQ(toggle->keyY, 15);
}

TEST_F(X11Test, APopupMenuIsAnOverrideRedirectWindowAnsweredByAClick)
{
  OpenEditor();
  IPopupMenu menu;
  menu.AddItem("Sine");
  menu.AddItem("Saw");
  menu.AddItem("Square");
  bool sawOverride = false;
  // Clicks the second item.
  whenMenuShown([&](NSWindow*, unsigned long m) {
    sawOverride = driver->overrideRedirect(m);
    driver->motion(m, 30, 4 + 20 + 10);
    driver->click(m, 30, 4 + 20 + 10);
  });
  IRECT r(10, 10, 40, 30);
  IPopupMenu* chosen = g->CreateIPopupMenu(&menu, &r);
  EXPECT_TRUE(sawOverride);
  ASSERT_EQ(chosen, &menu);
  EXPECT_EQ(menu.GetChosenItemIdx(), 1);
}

// A menu longer than the screen is tall (128 keys) is laid out in columns and kept
// on the screen, so that its last item is there to be clicked.
TEST_F(X11Test, AMenuLongerThanTheScreenStaysOnItAndItsLastItemCanBeClicked)
{
  OpenEditor();
  IPopupMenu menu;
  for (int i = 0; i < 128; ++i) menu.AddItem(("Key " + std::to_string(i)).c_str());
  const NSSize screen = NSApp->presenter()->screenSize();
  NSRect frame = NSMakeRect(0, 0, 0, 0);
  whenMenuShown([&](NSWindow* w, unsigned long m) {
    frame = w->frame();
    // Rows of 20 between paddings of 4; the columns share the width.
    const int rows = (int)(frame.size.height - 8) / 20, columns = (127 + rows) / rows;
    const int columnWidth = (int)frame.size.width / columns;
    const int x = (127 / rows) * columnWidth + columnWidth / 2, y = 4 + (127 % rows) * 20 + 10;
    driver->motion(m, x, y);
    driver->click(m, x, y);
  });
  IRECT r(10, 10, 40, 30);
  IPopupMenu* chosen = g->CreateIPopupMenu(&menu, &r);
  EXPECT_GE(frame.origin.x, 0);
  EXPECT_GE(frame.origin.y, 0);
  EXPECT_LE(NSMaxX(frame), screen.width);
  EXPECT_LE(NSMaxY(frame), screen.height);
  ASSERT_EQ(chosen, &menu);
  EXPECT_EQ(menu.GetChosenItemIdx(), 127);
}

// The menu holds the pointer and the keyboard: a press outside it arrives at its window, outside its area, and
// keys typed with the pointer and the focus elsewhere come to it (else a press ends it after 10 s).
TEST_F(X11Test, APressOutsideTheMenuOrItsKeysAnswerIt)
{
  OpenEditor();
  IPopupMenu menu;
  menu.AddItem("Sine");
  for (const std::vector<const char*>& keys : std::vector<std::vector<const char*>>{{}, {"Escape"}, {"Down", "Return"}})
  {
    menu.SetChosenItemIdx(-1);
    bool pressed = false, menuKey = false;
    NSTimeInterval typed = 0;
    NSTimer* t = NSTimer::timerWithAction(0.2, nullptr, [&](NSTimer*) {
      for (NSWindow* w : NSApp->windows())
        if (w->level() == NSPopUpMenuWindowLevel && AKX11WindowOf(w) && driver->viewable(AKX11WindowOf(w)))
        {
          menuKey |= NSApp->keyWindow() == w;  // the grab moves no focus
          if (!pressed && (keys.empty() || (typed && loop->now() > typed + 10)))
            driver->press(AKX11WindowOf(w), -40, 300, 1), pressed = true;
          else if (!typed && !keys.empty())
          {
            driver->movePointer(1900, 1060), driver->focus(PointerRoot), typed = loop->now();
            for (const char* k : keys) driver->holdKey(k, true), driver->holdKey(k, false);
          }
          return;
        }
    }, nullptr, true);
    loop->addTimer(t, kCFRunLoopCommonModes);
    IRECT r(10, 10, 40, 30);
    EXPECT_EQ(g->CreateIPopupMenu(&menu, &r), keys.size() == 2 ? &menu : nullptr) << keys.size();
    t->invalidate();
    t->release();
    EXPECT_EQ(pressed, keys.empty()) << keys.size() << ": the menu ended before the press, or only by it";
    EXPECT_EQ(menu.GetChosenItemIdx(), keys.size() == 2 ? 0 : -1);
    EXPECT_FALSE(menuKey);
  }
  EXPECT_EQ(plug->GetParam(0)->Value(), 0.0);
}

TEST_F(X11Test, TextIsTypedInPlace)
{
  OpenEditor();
  IRECT r(10, 60, 60, 80);
  g->CreateTextEntry(steps, steps->GetText(), &r, "3", plug->GetParam(2));
  ASSERT_NE(view->textField(), nullptr);
  driver->key(xid, "4");
  driver->key(xid, "period");  // refused: an int
  driver->key(xid, "2");
  driver->key(xid, "Return");
  ASSERT_TRUE(until([&] { return view->textField() == nullptr; }));
  EXPECT_EQ(plug->GetParam(2)->Int(), 42);
}
