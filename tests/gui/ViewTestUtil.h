#pragma once
// The editor's real view in tests: the platform graphics object in a window of the
// window kit on the headless presenter, the run loop on its virtual clock, modal
// answers from a script, and events posted as the presenter would post them.

#include "GuiTestUtil.h"
#include "gui/IGraphicsCocoa.h"
#include "gui/IGraphicsMac.h"
#include "platform/appkit/AppKit.h"
#include "platform/appkit/ModalScript.h"
#include "platform/appkit/Presenter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Takes the value's opposite on a click.
class ToggleControl : public IControl
{
public:
  ToggleControl(IPlugBase* plug, const IRECT& rect, int paramIdx) : IControl(plug, rect, paramIdx) {}
  bool Draw(IGraphics* g) override
  {
    ++draws;
    IColor c = mValue > 0.5 ? COLOR_GREEN : COLOR_RED;
    return g->FillIRect(&c, &mRECT);
  }
  void OnMouseDown(int x, int y, IMouseMod* mod) override
  {
    IControl::OnMouseDown(x, y, mod);
    if (mod && mod->L && !mod->R) SetValueFromUserInput(mValue > 0.5 ? 0.0 : 1.0);
  }
  void TextFromTextEntry(const char* text) override
  {
    entered = text ? text : "(null)";
    enteredUnderMutex = mPlug && mPlug->mMutex.IsHeldByCaller();
  }
  bool OnKeyDown(int x, int y, int key) override
  {
    lastKey = key;
    keyX = x;
    keyY = y;
    return takesKeys;
  }
  int draws = 0, lastKey = -100, keyX = 0, keyY = 0;
  bool takesKeys = true;
  std::string entered;
  bool enteredUnderMutex = false;
};

// A plain filled area the wheel turns (the base control's wheel handling).
class WheelControl : public IControl
{
public:
  WheelControl(IPlugBase* plug, const IRECT& rect, int paramIdx) : IControl(plug, rect, paramIdx) {}
  bool Draw(IGraphics* g) override
  {
    ++draws;
    IColor c(255, (int)(mValue * 255), 80, 80);
    return g->FillIRect(&c, &mRECT);
  }
  // Values the user's route pushes are also written by the MIDI threads, under the
  // plug-in's mutex: counts the pushes made without it.
  void SetDirty(bool push) override
  {
    if (push && !(mPlug && mPlug->mMutex.IsHeldByCaller())) ++pushesWithoutMutex;
    IControl::SetDirty(push);
  }
  int draws = 0, pushesWithoutMutex = 0;
};

// The view's superview: records what the view passes on.
class RecordingContentView : public NSView
{
public:
  explicit RecordingContentView(NSRect frame) : NSView(frame) {}
  void keyDown(NSEvent*) override { ++keysPassedOn; }
  int keysPassedOn = 0;
};

class ViewFixture : public ::testing::Test
{
protected:
  static constexpr int kW = 200, kH = 100;

  void SetUp() override
  {
    if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
    NSApplication::sharedApplication();
    loop = NSRunLoop::currentRunLoop();
    loop->setVirtualClock(true);
    script = std::make_unique<NSModalScript>();
    script->onUnscripted = [](const std::string& what) { ADD_FAILURE() << what << " with no scripted answer"; };
    plug = new RecordingPlug(8);
    plug->GetParam(0)->InitBool("switch", false);
    plug->GetParam(1)->InitDouble("level", 0.5, 0.0, 1.0, 0.001);
    plug->GetParam(2)->InitInt("steps", 3, 0, 100);
    plug->GetParam(3)->InitDouble("gain", 0.0, -10.0, 10.0, 0.1);
    plug->GetParam(4)->InitEnum("mode", 0, 3);
    plug->GetParam(4)->SetDisplayText(0, "Sine");
    plug->GetParam(4)->SetDisplayText(1, "Saw");
    plug->GetParam(4)->SetDisplayText(2, "Square");
    g = new IGraphicsMac(plug, kW, kH, 25);
    const IColor grey(255, 40, 40, 40);
    g->AttachPanelBackground(&grey);
    toggle = new ToggleControl(plug, IRECT(10, 10, 40, 30), 0);
    knob = new WheelControl(plug, IRECT(60, 10, 90, 40), 1);
    other = new ToggleControl(plug, IRECT(100, 50, 150, 70), -1);
    steps = new WheelControl(plug, IRECT(10, 60, 60, 80), 2);
    g->AttachControl(toggle);
    g->AttachControl(knob);
    g->AttachControl(other);
    g->AttachControl(steps);
    plug->AttachGraphics(g);
    content = new RecordingContentView(NSMakeRect(0, 0, kW, kH));
    window = new NSWindow(NSMakeRect(50, 50, kW, kH), NSTitledWindowMask, NSBackingStoreBuffered, false);
    window->setContentView(content);
    content->release();
  }

  void TearDown() override
  {
    g->CloseWindow();
    window->close();
    AKRelease(window);
    delete plug;
    loop->runOnce();
    script.reset();
    loop->setVirtualClock(false);
  }

  void Open()
  {
    view = static_cast<IGraphicsCocoa_vDavrel_64_au*>(g->OpenWindow(content));
    window->makeKeyAndOrderFront(nullptr);
    loop->runOnce();
  }

  // The window point where the view's mouse mapping lands on graphics (x, y).
  NSPoint at(int x, int y) const { return NSMakePoint(x + 2, kH - 3 - y); }

  void post(NSEvent* e) { NSApp->postEvent(e, false); }
  void mouse(NSEventType type, int x, int y, NSUInteger flags = 0, int clicks = 1)
  {
    post(NSEvent::mouseEventWithType(type, at(x, y), flags, loop->now(), window, clicks));
    loop->runOnce();
  }
  void click(int x, int y, NSUInteger flags = 0)
  {
    mouse(NSLeftMouseDown, x, y, flags);
    mouse(NSLeftMouseUp, x, y, flags);
  }
  void wheel(int x, int y, CGFloat dy)
  {
    post(NSEvent::scrollEventWithDeltas(at(x, y), 0, window, 0, dy));
    loop->runOnce();
  }
  void key(unsigned short code, const std::u16string& chars)
  {
    post(NSEvent::keyEventWithType(NSKeyDown, 0, window, chars, chars, code));
    loop->runOnce();
  }
  void type(const std::string& text)
  {
    NSModalScript::type(text);
    loop->runOnce();
  }
  // One frame of the redraw timer.
  void frame() { loop->runFor(0.04); }

  NSRunLoop* loop = nullptr;
  std::unique_ptr<NSModalScript> script;
  RecordingPlug* plug = nullptr;
  IGraphicsMac* g = nullptr;
  ToggleControl* toggle = nullptr;
  WheelControl* knob = nullptr;
  ToggleControl* other = nullptr;
  WheelControl* steps = nullptr;
  RecordingContentView* content = nullptr;
  NSWindow* window = nullptr;
  IGraphicsCocoa_vDavrel_64_au* view = nullptr;
};
