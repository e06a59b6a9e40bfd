// The editor's view on the window kit: the redraw timer, input mapping, keys,
// lifecycle, paths, alerts, file panels, addresses and the cursor.

#include "ViewTestUtil.h"
#include "platform/coregraphics/CGDisplay.h"
#include "raster/lice.h"

#include <cstdlib>

namespace {

using ViewTest = ViewFixture;

IRECT pixelRect(const AKPixelRect& r) { return IRECT(r.left, r.top, r.right, r.bottom); }

}  // namespace

TEST_F(ViewTest, OpenWindowMakesTheViewWithItsTimer)
{
  EXPECT_FALSE(g->WindowIsOpen());
  Open();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(g->WindowIsOpen());
  EXPECT_EQ(g->GetWindow(), view);
  EXPECT_EQ(view->superview(), content);
  EXPECT_TRUE(NSEqualRects(view->frame(), NSMakeRect(0, 0, kW, kH)));
  ASSERT_NE(view->timer(), nullptr);  // its rate: the timer test below
  EXPECT_TRUE(view->isOpaque());
  EXPECT_EQ(window->firstResponder(), view);
  EXPECT_TRUE(window->acceptsMouseMovedEvents());
}

TEST_F(ViewTest, DrawScreenNeedsTheViewAndADrawingContext)
{
  IRECT all(0, 0, kW, kH);
  EXPECT_FALSE(g->DrawScreen(&all));  // no view
  Open();
  EXPECT_FALSE(g->DrawScreen(&all));  // not inside a drawing pass
  // The menu and entry calls need the view too.
  g->CloseWindow();
  IPopupMenu menu;
  menu.AddItem("x");
  EXPECT_EQ(g->CreateIPopupMenu(&menu, &all), nullptr);
  g->CreateTextEntry(toggle, toggle->GetText(), &all, "", nullptr);
  g->ForceEndUserEdit();
  EXPECT_TRUE(script->menusShown.empty());
}

TEST_F(ViewTest, TheFirstDisplayShowsTheDrawBitmap)
{
  Open();
  // Every pixel of the window is the draw bitmap's.
  LICE_IBitmap* backing = window->backing();
  LICE_SysBitmap* drawn = g->GetDrawBitmap();
  ASSERT_NE(backing, nullptr);
  int differ = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if ((LICE_GetPixel(backing, x, y) | 0xFF) != (LICE_GetPixel(drawn, x, y) | 0xFF)) ++differ;
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(LICE_GetPixel(backing, 20, 20) | 0xFF, LICE_MakePixel(255, 0, 0, 255));
}

TEST_F(ViewTest, TheTimerRedrawsOnlyWhatChanged)
{
  Open();
  frame();
  const long displays = window->displayCount();
  const int draws = toggle->draws;
  for (int i = 0; i < 5; ++i) frame();  // nothing dirty: nothing drawn
  EXPECT_EQ(window->displayCount(), displays);
  EXPECT_EQ(toggle->draws, draws);
  knob->SetValueFromPlug(0.9);
  // Nothing is drawn by the change itself, nor by the timer call: only the display.
  EXPECT_EQ(window->displayCount(), displays);
  frame();
  EXPECT_EQ(window->displayCount(), displays + 1);
  EXPECT_EQ(toggle->draws, draws);
  ASSERT_EQ(window->lastDrawn().size(), 1u);
  // The dirty area {60, 10, 90, 40} becomes the view rectangle (60, 59, 31, 31),
  // which covers the pixels {60, 10, 91, 41}.
  EXPECT_EQ(pixelRect(window->lastDrawn()[0]), IRECT(60, 10, 91, 41));
  EXPECT_EQ(LICE_GetPixel(window->backing(), 70, 20) | 0xFF, LICE_MakePixel(229, 80, 80, 255));
}

// The window system may draw a part of the view between two timer ticks (the area
// a closing menu uncovers); a control that changed elsewhere meanwhile still reaches
// the screen, whole. A text line is the case that was lost: a new text marks it
// dirty once, with no redraw pending behind it.
TEST_F(ViewTest, AControlChangedBeforeAPartialRedrawElsewhereIsStillShown)
{
  struct Line : ITextControl
  {
    using ITextControl::ITextControl;
    bool Draw(IGraphics* g) override
    {
      drawn = GetTextForPlug();
      return ITextControl::Draw(g);
    }
    std::string drawn;
  };
  Line* line = new Line(plug, IRECT(100, 10, 190, 30), nullptr, "one");
  g->AttachControl(line);
  Open();
  frame();
  ASSERT_EQ(line->drawn, "one");
  // Elsewhere: over the other toggle, graphics {100, 50, 150, 70}.
  line->SetTextFromPlug("two");
  view->setNeedsDisplayInRect(NSMakeRect(100, 30, 50, 20));
  window->displayIfNeeded();
  for (int i = 0; i < 3; ++i) frame();
  EXPECT_EQ(line->drawn, "two");
  // Half inside the part drawn, graphics {90, 10, 120, 20}: the rest is drawn too.
  line->SetTextFromPlug("three");
  view->setNeedsDisplayInRect(NSMakeRect(90, 80, 30, 10));
  window->displayIfNeeded();
  const std::vector<AKPixelRect> partial = window->lastDrawn();
  for (int i = 0; i < 3; ++i) frame();
  EXPECT_EQ(line->drawn, "three");
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_EQ(pixelRect(window->lastDrawn().back()).Union(pixelRect(partial[0])).Union(IRECT(100, 10, 190, 30)),
            pixelRect(window->lastDrawn().back()).Union(pixelRect(partial[0])));
}

TEST_F(ViewTest, TheTimerFiresAtTheFrameRateInEveryCommonMode)
{
  Open();
  NSTimer* t = view->timer();
  const NSTimeInterval due = t->fireDate();
  EXPECT_EQ(loop->nextTimerDate(NSEventTrackingRunLoopMode), due);
  EXPECT_EQ(loop->nextTimerDate(NSModalPanelRunLoopMode), due);
  const long fired = loop->timersFired();
  loop->runFor(0.039);
  EXPECT_EQ(loop->timersFired(), fired);
  loop->runFor(0.002);
  EXPECT_EQ(loop->timersFired(), fired + 1);
  loop->runFor(0.4, NSEventTrackingRunLoopMode);
  EXPECT_EQ(loop->timersFired(), fired + 11);
}

// Every way a view goes: closed by the graphics object, taken out of its superview,
// or replaced by a second view. The old view stops its timer and lets go of the
// graphics object; after that no tick draws and its handlers do nothing.
TEST_F(ViewTest, AViewThatGoesStopsItsTimerAndDetaches)
{
  enum How { kClose, kRemove, kReopen };
  for (How how : {kClose, kRemove, kReopen})
  {
    SCOPED_TRACE(how);
    Open();
    NSTimer* t = AKRetain(view->timer());
    IGraphicsCocoa_vDavrel_64_au* v = AKRetain(view);
    void* next = nullptr;
    if (how == kClose)
      g->CloseWindow();
    else if (how == kRemove)
      view->removeFromSuperview();
    else
      next = g->OpenWindow(content);
    EXPECT_FALSE(t->isValid());
    EXPECT_EQ(v->graphics(), nullptr);
    EXPECT_EQ(v->timer(), nullptr);
    EXPECT_EQ(v->superview(), nullptr);
    EXPECT_EQ(g->WindowIsOpen(), how == kReopen);
    if (how == kReopen)
    {
      EXPECT_NE(next, v);
      EXPECT_EQ(g->GetWindow(), next);
    }
    else
      EXPECT_EQ(loop->nextTimerDate(), 1e300);
    g->CloseWindow();  // again, or the second view: either way nothing is left open
    loop->runOnce();   // the window shows its background where the view was
    const long fired = loop->timersFired(), displays = window->displayCount();
    knob->SetValueFromPlug(0.1 + 0.2 * how);
    loop->runFor(0.2);
    EXPECT_EQ(loop->timersFired(), fired);
    EXPECT_EQ(window->displayCount(), displays);
    v->mouseDown(NSEvent::mouseEventWithType(NSLeftMouseDown, at(20, 20), 0, 0, window, 1));
    EXPECT_EQ(plug->GetParam(0)->Value(), 0.0);
    t->release();
    v->release();
  }
}

TEST_F(ViewTest, AClickOnASwitchChangesItsParameter)
{
  Open();
  click(20, 20);
  EXPECT_EQ(plug->GetParam(0)->Value(), 1.0);
  std::string routes;
  for (const RouteCall& c : plug->calls) routes += c.route;
  // The user's road (1) inside the press, then the gesture's begin and end.
  EXPECT_NE(routes.find('1'), std::string::npos) << routes;
  ASSERT_GE(routes.size(), 2u);
  EXPECT_EQ(routes.substr(routes.size() - 2), "BE") << routes;
  frame();
  EXPECT_EQ(LICE_GetPixel(window->backing(), 20, 20) | 0xFF, LICE_MakePixel(0, 255, 0, 255));
}

TEST_F(ViewTest, TheMouseOffsetAppliesToEveryEvent)
{
  Open();
  // The view's top-left pixel (view point 0, H) arrives at (-2, -3).
  post(NSEvent::mouseEventWithType(NSMouseMoved, NSMakePoint(0, kH), 0, 0, window, 0));
  loop->runOnce();
  EXPECT_EQ(view->prevX(), -2);
  EXPECT_EQ(view->prevY(), -3);
  // Keys go to the last mouse position.
  mouse(NSMouseMoved, 25, 15);
  EXPECT_EQ(view->prevX(), 25);
  EXPECT_EQ(view->prevY(), 15);
  key(kVK_ANSI_K, u"k");
  EXPECT_EQ(toggle->lastKey, 25);
  EXPECT_EQ(toggle->keyX, 25);
  EXPECT_EQ(toggle->keyY, 15);
}

TEST_F(ViewTest, KeysThatAreNotHandledGoToTheNextResponder)
{
  Open();
  mouse(NSMouseMoved, 20, 20);
  key(kVK_ANSI_5, u"%");
  EXPECT_EQ(content->keysPassedOn, 1);
  EXPECT_EQ(toggle->lastKey, -100);
  key(kVK_ANSI_A, u"");
  key(kVK_ANSI_A, u"ab");
  EXPECT_EQ(content->keysPassedOn, 1);
  toggle->takesKeys = false;
  key(kVK_UpArrow, std::u16string(1, NSUpArrowFunctionKey));
  EXPECT_EQ(toggle->lastKey, KEY_UPARROW);
  EXPECT_EQ(content->keysPassedOn, 2);
  toggle->takesKeys = true;
  key(kVK_Space, u" ");
  EXPECT_EQ(toggle->lastKey, KEY_SPACE);
  EXPECT_EQ(content->keysPassedOn, 2);
}

TEST_F(ViewTest, TheWheelTurnsAKnobByWholeSteps)
{
  Open();
  const double before = plug->GetParam(1)->Value();
  wheel(70, 20, 3.0);
  EXPECT_NEAR(plug->GetParam(1)->Value(), before + 0.03, 1e-9);
  wheel(70, 20, 0.6);  // less than one step: OnMouseWheel with 0
  EXPECT_NEAR(plug->GetParam(1)->Value(), before + 0.03, 1e-9);
  wheel(70, 20, -1.9);
  EXPECT_NEAR(plug->GetParam(1)->Value(), before + 0.02, 1e-9);
}

TEST_F(ViewTest, DoubleClicksAndTheRightButton)
{
  Open();
  mouse(NSLeftMouseDown, 20, 20, 0, 2);
  EXPECT_EQ(plug->GetParam(0)->Value(), 0.0);  // a double click is not a press
  // A right click prompts: a menu of the bool's display texts.
  toggle->DisablePrompt(false);
  script->cancelMenu();
  mouse(NSRightMouseDown, 20, 20);
  mouse(NSRightMouseUp, 20, 20);
  EXPECT_EQ(script->menusShown.size(), 1u);
  EXPECT_EQ(plug->GetParam(0)->Value(), 0.0);
}

TEST_F(ViewTest, MessageBoxesAnswerInWin32Codes)
{
  Open();
  script->pressAlertButton(2);
  EXPECT_EQ(g->ShowMessageBox("Really?", "Question", 3), 2);
  ASSERT_EQ(script->alertsShown.size(), 1u);
  EXPECT_EQ(script->alertsShown[0].message, "Question");
  EXPECT_EQ(script->alertsShown[0].informative, "Really?");
  EXPECT_EQ(script->alertsShown[0].buttons, (std::vector<std::string>{"Yes", "No", "Cancel"}));
  script->pressAlertButton(0);
  EXPECT_EQ(g->ShowMessageBox("Done", "Note", 0), 1);
  EXPECT_EQ(script->alertsShown[1].buttons, (std::vector<std::string>{"OK"}));
  // Every other kind and answer: the mapping's own table test.
}

TEST_F(ViewTest, FilePanelsStartOnTheDesktopAndGiveThePathAndItsFolder)
{
  WDL_String file("bank.syx"), dir;
  g->PromptForFile(&file, kFileOpen, &dir, (char*)"syx mid");
  EXPECT_STREQ(file.Get(), "");  // no window: nothing shown
  EXPECT_TRUE(script->panelsShown.empty());

  Open();
  file.Set("bank.syx");
  script->cancelPanel();
  g->PromptForFile(&file, kFileOpen, &dir, (char*)"syx mid");
  EXPECT_STREQ(file.Get(), "");
  EXPECT_STREQ(dir.Get(), "~/Desktop");
  ASSERT_EQ(script->panelsShown.size(), 1u);
  EXPECT_TRUE(script->panelsShown[0].open);
  EXPECT_EQ(script->panelsShown[0].directory, "~/Desktop");
  EXPECT_EQ(script->panelsShown[0].file, "bank.syx");
  EXPECT_EQ(script->panelsShown[0].types, (std::vector<std::string>{"syx", "mid"}));
  EXPECT_FALSE(script->panelsShown[0].canChooseDirectories);

  file.Set("new.syx");
  dir.Set("/data/banks/");
  script->answerPanel("/data/out/new.syx");
  g->PromptForFile(&file, kFileSave, &dir, (char*)"syx");
  EXPECT_STREQ(file.Get(), "/data/out/new.syx");
  EXPECT_STREQ(dir.Get(), "/data/out/");
  EXPECT_FALSE(script->panelsShown[1].open);
  EXPECT_FALSE(script->panelsShown[1].allowsOther);
  EXPECT_EQ(script->panelsShown[1].directory, "/data/banks/");
}

TEST_F(ViewTest, OpenURLDecidesByTheSchemeAndNeverUsesAShell)
{
  NSWorkspace* ws = NSWorkspace::sharedWorkspace();
  ws->setOpener([](const std::vector<std::string>&) { return true; });
  EXPECT_TRUE(g->OpenURL("https://example.com/manual"));
  EXPECT_TRUE(g->OpenURL("/tmp/http notes; rm -rf x.txt"));
  EXPECT_TRUE(g->OpenURL("relative/http.txt"));
  EXPECT_FALSE(g->OpenURL("http://bad address"));
  EXPECT_FALSE(g->OpenURL(""));
  ASSERT_EQ(ws->opened().size(), 3u);
  EXPECT_EQ(ws->opened()[0], (std::vector<std::string>{"xdg-open", "https://example.com/manual"}));
  EXPECT_EQ(ws->opened()[1], (std::vector<std::string>{"xdg-open", "file:///tmp/http%20notes%3B%20rm%20-rf%20x.txt"}));
  EXPECT_EQ(ws->opened()[2][1].rfind("file:///", 0), 0u);
  EXPECT_NE(ws->opened()[2][1].find("/relative/http.txt"), std::string::npos);
  ws->setOpener(nullptr);
}

TEST_F(ViewTest, PathsAndTheSystemVersion)
{
  WDL_String p;
  setenv("HOME", "/home/tester", 1);
  g->DesktopPath(&p);
  EXPECT_STREQ(p.Get(), "/home/tester/Desktop/");
  g->SetResourceRoot("/opt/plugins/Davrel Editor.component");
  g->PluginPath(&p);
  EXPECT_STREQ(p.Get(), "/opt/plugins/");
  g->HostPath(&p);
  EXPECT_GT(p.GetLength(), 0);
  EXPECT_EQ(IGraphicsMac::GetUserOSVersion(), 0x1068);
  IColor c;
  EXPECT_FALSE(g->PromptForColor(&c, (char*)"colour"));
}

TEST_F(ViewTest, TheCursorHidesOnceAndComesBackWhereItWas)
{
  const int before = DVCGCursorHideCount();
  NSApp->presenter()->noteMouse(NSMakePoint(300, 700), 0);
  g->HideMouseCursor();
  g->HideMouseCursor();
  EXPECT_EQ(DVCGCursorHideCount(), before + 1);
  g->ShowMouseCursor();
  EXPECT_EQ(DVCGCursorHideCount(), before);
  // Where it was: y counted down from the display's top (1080 high).
  EXPECT_EQ(NSEvent::mouseLocation().x, 300);
  EXPECT_EQ(NSEvent::mouseLocation().y, 700);
  g->ShowMouseCursor();
  EXPECT_EQ(DVCGCursorHideCount(), before);
}

TEST_F(ViewTest, ResizeChangesTheViewAndAnOpenDrawBitmap)
{
  Open();
  g->Resize(kW, kH);
  EXPECT_TRUE(plug->resized.empty());
  g->Resize(300, 120);
  EXPECT_EQ(view->frame().size.width, 300);
  EXPECT_EQ(view->frame().size.height, 120);
  EXPECT_EQ(g->GetDrawBitmap()->getWidth(), 300);
}

TEST_F(ViewTest, ASubWindowOverAHostWindow)
{
  NSWindow* host = new NSWindow(NSMakeRect(100, 100, 400, 300), NSTitledWindowMask, NSBackingStoreBuffered, false);
  g->AttachSubWindow(host->windowRef());
  ASSERT_EQ(host->childWindows().size(), 1u);
  NSWindow* child = host->childWindows()[0];
  EXPECT_TRUE(child->canBecomeKeyWindow());
  EXPECT_EQ(child->frame().origin.x, 200);  // centred: 100 + floor((400 - 200) / 2)
  EXPECT_EQ(child->frame().origin.y, 100);
  EXPECT_TRUE(g->WindowIsOpen());
  EXPECT_EQ(static_cast<NSView*>(g->GetWindow())->superview(), child->contentView());
  EXPECT_FALSE(child->isVisible());
  loop->runFor(0.06);
  EXPECT_TRUE(child->isVisible());
  g->RemoveSubWindow();
  EXPECT_FALSE(g->WindowIsOpen());
  EXPECT_TRUE(host->childWindows().empty());
  EXPECT_TRUE(host->isClosed());
  host->release();
}
