// The window kit on the headless presenter: objects and pools, the run loop and its
// clock, the posted queue, views and windows, events, drawing, text fields, the
// CoreGraphics stand-in, URLs, the script, and the X11 key table.

#include "TestFiles.h"
#include "platform/appkit/AppKit.h"
#include "platform/appkit/ModalScript.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/ScreenAnswers.h"
#include "platform/appkit/X11Keys.h"
#include "raster/lice.h"
#include "raster/lice_png.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <cstdlib>
#include <thread>

namespace {

class Kit : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
    NSApplication::sharedApplication();
    loop = NSRunLoop::currentRunLoop();
    loop->setVirtualClock(true);
    live = NSObject::liveObjects();
  }
  void TearDown() override
  {
    loop->runOnce();
    loop->setVirtualClock(false);
    EXPECT_EQ(NSObject::liveObjects(), live) << "objects left alive";
  }
  NSRunLoop* loop = nullptr;
  long live = 0;
};

// Records what reaches it.
class Probe : public NSView
{
public:
  explicit Probe(NSRect f, bool flipped = false) : NSView(f), mFlipped(flipped) {}
  bool isFlipped() const override { return mFlipped; }
  bool acceptsFirstResponder() override { return takesFocus; }
  void mouseDown(NSEvent* e) override { log += "down@" + at(e) + " "; }
  void mouseDragged(NSEvent* e) override { log += "drag@" + at(e) + " "; }
  void mouseUp(NSEvent* e) override { log += "up@" + at(e) + " "; }
  void mouseEntered(NSEvent*) override { log += "enter "; }
  void mouseExited(NSEvent*) override { log += "exit "; }
  void keyDown(NSEvent* e) override { log += "key:" + AKUTF8(e->characters()) + " "; }
  void drawRect(NSRect r) override
  {
    drawn.push_back(r);
    if (color)
    {
      color->setFill();
      NSColor::fillRect(r);
    }
  }
  bool isOpaque() const override { return opaque; }
  std::string at(NSEvent* e)
  {
    const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
    return std::to_string((int)p.x) + "," + std::to_string((int)p.y);
  }
  std::string log;
  std::vector<NSRect> drawn;
  NSColor* color = nullptr;
  bool opaque = false, takesFocus = false, mFlipped;
};

}  // namespace

TEST_F(Kit, PoolsGiveBackWhatWasAutoreleased)
{
  {
    NSAutoreleasePool pool;
    NSColor* c = NSColor::colorWithCalibratedRed(1, 0, 0, 1);
    EXPECT_EQ(c->retainCount(), 1);
    EXPECT_EQ(NSObject::liveObjects(), live + 1);
  }
  EXPECT_EQ(NSObject::liveObjects(), live);
  NSView* parent = new NSView(NSMakeRect(0, 0, 10, 10));
  NSView* child = new NSView(NSMakeRect(0, 0, 5, 5));
  parent->addSubview(child);
  EXPECT_EQ(child->retainCount(), 2);
  child->release();
  parent->release();
}

TEST_F(Kit, TimersFireWhenTheVirtualClockSaysSo)
{
  int ticks = 0, once = 0, tracking = 0;
  NSTimer* t = NSTimer::timerWithAction(0.04, nullptr, [&](NSTimer*) { ++ticks; }, nullptr, true);
  loop->addTimer(t, kCFRunLoopCommonModes);
  t->release();
  NSTimer* o = NSTimer::timerWithAction(0.1, nullptr, [&](NSTimer*) { ++once; }, nullptr, false);
  loop->addTimer(o, NSDefaultRunLoopMode);
  o->release();
  NSTimer* m = NSTimer::timerWithAction(0.01, nullptr, [&](NSTimer*) { ++tracking; }, nullptr, true);
  loop->addTimer(m, NSEventTrackingRunLoopMode);
  m->release();
  loop->runFor(0.0399);
  EXPECT_EQ(ticks, 0);
  loop->runFor(0.0002);
  EXPECT_EQ(ticks, 1);
  loop->runFor(0.2);
  EXPECT_EQ(ticks, 6);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(tracking, 0);  // never run in its mode
  // The tracking timer is late when its mode first runs: it fires once for all it
  // missed, then every 10 ms.
  loop->runFor(0.05, NSEventTrackingRunLoopMode);
  EXPECT_EQ(tracking, 6);
  EXPECT_EQ(ticks, 7);
  t->invalidate();
  m->invalidate();
  loop->runFor(1);
  EXPECT_EQ(ticks, 7);
  EXPECT_EQ(loop->nextTimerDate(), 1e300);
}

TEST_F(Kit, ARepeatingTimerThatIsLateFiresOnceAndKeepsItsSchedule)
{
  int ticks = 0;
  NSTimer* t = NSTimer::timerWithAction(0.1, nullptr, [&](NSTimer* self) {
    if (++ticks == 2) self->invalidate();
  }, nullptr, true);
  loop->addTimer(t, NSDefaultRunLoopMode);
  const NSTimeInterval first = t->fireDate();
  t->release();
  loop->runFor(0.35, NSModalPanelRunLoopMode);  // time passes in a mode it does not fire in
  EXPECT_EQ(ticks, 0);
  loop->runOnce();
  EXPECT_EQ(ticks, 1);
  EXPECT_NEAR(loop->nextTimerDate(), first + 0.3, 1e-9);
  loop->runFor(0.1);
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(loop->nextTimerDate(), 1e300);
}

TEST_F(Kit, OtherThreadsHandWorkToTheMainThread)
{
  loop->setVirtualClock(false);
  std::atomic<int> done{0};
  int ranOnMain = 0;
  const std::thread::id main = std::this_thread::get_id();
  std::thread worker([&]() {
    for (int i = 0; i < 100; ++i)
      NSRunLoop::postToMainThread([&]() {
        if (std::this_thread::get_id() == main) ++ranOnMain;
        ++done;
      });
  });
  // The loop waits for the posts (the presenter's wake), not on a timer.
  EXPECT_TRUE(loop->runUntil([&] { return done == 100; }, loop->now() + 10));
  worker.join();
  EXPECT_EQ(ranOnMain, 100);
}

TEST_F(Kit, ViewsConvertPointsThroughFlippedAndUnflippedParents)
{
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 200, 100), NSTitledWindowMask, NSBackingStoreBuffered, false);
  Probe* flipped = new Probe(NSMakeRect(10, 20, 100, 60), true);
  Probe* inner = new Probe(NSMakeRect(5, 10, 20, 20));
  w->contentView()->addSubview(flipped);
  flipped->addSubview(inner);
  // The flipped view's top-left (0, 0) is base (10, 80); inner's frame counts down from there.
  EXPECT_EQ(flipped->convertPointToBase(NSMakePoint(0, 0)).y, 80);
  const NSRect ib = inner->baseRect();
  EXPECT_EQ(ib.origin.x, 15);
  EXPECT_EQ(ib.origin.y, 80 - 10 - 20);
  const NSPoint p = inner->convertPoint(NSMakePoint(16, 51), nullptr);
  EXPECT_EQ(p.x, 1);
  EXPECT_EQ(p.y, 1);
  EXPECT_EQ(inner->convertPointToView(NSMakePoint(1, 1), flipped).y, 10 + 20 - 1);
  // Hit testing: the unflipped view owns its top edge, not its bottom one.
  EXPECT_EQ(w->contentView()->hitTest(NSMakePoint(16, 70)), inner);
  EXPECT_EQ(w->contentView()->hitTest(NSMakePoint(16, 50)), flipped);
  EXPECT_EQ(w->contentView()->hitTest(NSMakePoint(1, 1)), w->contentView());
  inner->setHidden(true);
  EXPECT_EQ(w->contentView()->hitTest(NSMakePoint(16, 60)), flipped);
  inner->setTag(7);
  EXPECT_EQ(w->contentView()->viewWithTag(7), inner);
  inner->release();
  flipped->release();
  w->close();
  w->release();
}

TEST_F(Kit, DisplayDrawsOnlyTheDirtyAreasInViewOrder)
{
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 100, 50), NSTitledWindowMask, NSBackingStoreBuffered, false);
  Probe* back = new Probe(NSMakeRect(0, 0, 100, 50));
  Probe* front = new Probe(NSMakeRect(10, 10, 20, 20));
  back->color = AKRetain(NSColor::colorWithCalibratedRed(1, 0, 0, 1));
  front->color = AKRetain(NSColor::colorWithCalibratedRed(0, 0, 1, 1));
  back->opaque = true;
  w->contentView()->addSubview(back);
  w->contentView()->addSubview(front);
  w->orderFront(nullptr);
  loop->runOnce();
  EXPECT_EQ(w->displayCount(), 1);
  EXPECT_EQ(LICE_GetPixel(w->backing(), 15, 25) | 0xFF, LICE_MakePixel(0, 0, 255, 255));
  EXPECT_EQ(LICE_GetPixel(w->backing(), 50, 25) | 0xFF, LICE_MakePixel(255, 0, 0, 255));
  back->drawn.clear();
  front->drawn.clear();
  loop->runOnce();
  EXPECT_EQ(w->displayCount(), 1);  // nothing dirty, nothing drawn
  back->setNeedsDisplayInRect(NSMakeRect(60, 5, 10, 10));
  back->setNeedsDisplayInRect(NSMakeRect(65, 10, 10, 10));  // overlapping: merged
  loop->runOnce();
  ASSERT_EQ(back->drawn.size(), 1u);
  EXPECT_TRUE(NSEqualRects(back->drawn[0], NSMakeRect(60, 5, 15, 15)));
  EXPECT_TRUE(front->drawn.empty());
  ASSERT_EQ(w->lastDrawn().size(), 1u);
  EXPECT_EQ(w->lastDrawn()[0].left, 60);
  EXPECT_EQ(w->lastDrawn()[0].top, 50 - 20);
  EXPECT_EQ(w->lastDrawn()[0].right, 75);
  EXPECT_EQ(w->lastDrawn()[0].bottom, 50 - 5);
  NSColor* c1 = back->color;
  NSColor* c2 = front->color;
  back->release();
  front->release();
  w->close();
  w->release();
  c1->release();
  c2->release();
}

TEST_F(Kit, MouseEventsFollowThePressedViewAndKeysTheFirstResponder)
{
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 100, 50), NSTitledWindowMask, NSBackingStoreBuffered, false);
  Probe* a = new Probe(NSMakeRect(0, 0, 50, 50));
  Probe* b = new Probe(NSMakeRect(50, 0, 50, 50));
  a->takesFocus = true;
  w->contentView()->addSubview(a);
  w->contentView()->addSubview(b);
  w->setAcceptsMouseMovedEvents(true);
  auto send = [&](NSEventType t, CGFloat x, CGFloat y) {
    NSApp->postEvent(NSEvent::mouseEventWithType(t, NSMakePoint(x, y), 0, 0, w, 1), false);
    loop->runOnce();
  };
  send(NSMouseMoved, 10, 10);
  send(NSLeftMouseDown, 10, 10);
  send(NSLeftMouseDragged, 70, 10);  // still the pressed view's
  send(NSLeftMouseUp, 70, 10);
  send(NSMouseMoved, 70, 10);
  EXPECT_EQ(a->log, "enter down@10,10 drag@70,10 up@70,10 exit ");
  EXPECT_EQ(b->log, "enter ");
  EXPECT_EQ(w->firstResponder(), a);
  NSApp->postEvent(NSEvent::keyEventWithType(NSKeyDown, 0, w, u"x", u"x", kVK_ANSI_X), false);
  loop->runOnce();
  EXPECT_EQ(a->log.substr(a->log.size() - 6), "key:x ");
  a->release();
  b->release();
  w->close();
  w->release();
}

// A modal session's input goes to what belongs to it (child and owned windows at any depth, menus), keys at other
// windows or none to it; a press elsewhere brings it forward. Its chain outlives its root hidden, not closed.
TEST_F(Kit, AModalSessionKeepsTheInputForWhatBelongsToIt)
{
  static std::string log;
  struct Rec : NSWindow
  {
    explicit Rec(char n) : NSWindow(NSMakeRect(0, 0, 50, 50), 1, NSBackingStoreBuffered, false), name(n) {}
    void sendEvent(NSEvent*) override { log += name; }
    char name;
  };
  Rec *e = new Rec('E'), *m = new Rec('M'), *c = new Rec('C'), *o = new Rec('O'), *p = new Rec('P'), *a = new Rec('A');
  m->setOwnerWindow(e), m->addChildWindow(c, NSWindowAbove), o->setOwnerWindow(c), a->setOwnerWindow(m);
  p->setLevel(NSPopUpMenuWindowLevel), e->makeKeyAndOrderFront(nullptr), c->orderFront(nullptr);
  NSModalSession outer = NSApp->beginModalSessionForWindow(m);
  for (auto r : std::vector<std::pair<Rec*, NSEventType>>{{c, NSKeyDown}, {o, NSLeftMouseDown}, {p, NSLeftMouseDown},
                                                           {p, NSKeyUp}, {e, NSKeyDown}, {e, NSFlagsChanged},
                                                           {nullptr, NSKeyUp}, {e, NSMouseMoved},
                                                           {e, NSRightMouseDown}})
    e->makeKeyWindow(), NSApp->sendEvent(NSEvent::mouseEventWithType(r.second, {5, 5}, 0, 0, r.first, 1)), log += '|';
  EXPECT_EQ(log, "C|O|P|P|M|M|M|||");
  EXPECT_EQ(NSApp->keyWindow(), m);
  NSModalSession inner = NSApp->beginModalSessionForWindow(a);
  e->miniaturize(nullptr);
  EXPECT_FALSE(m->isVisible() || a->isVisible() || c->isVisible());
  EXPECT_EQ(NSApp->runModalSession(inner), NSModalResponseContinue);
  e->orderFront(nullptr);
  EXPECT_TRUE(m->isVisible() && a->isVisible() && c->isVisible());
  e->close();
  EXPECT_EQ(NSApp->runModalSession(inner) * 10000 + NSApp->runModalSession(outer), NSModalResponseAbort * 10001);
  NSApp->endModalSession(inner), NSApp->endModalSession(outer);
  for (Rec* w : {e, m, c, o, p, a}) w->close(), w->release();
}

TEST_F(Kit, ImagesDrawUprightInUnflippedSpaceAndCutByTheClip)
{
  std::vector<uint32_t> src(4 * 2), dst(6 * 4, 0);
  for (int i = 0; i < 8; ++i) src[i] = 0x01000000u * (uint32_t)(i + 1);
  CGColorSpaceRef cs = CGColorSpaceCreateDeviceRGB();
  CGContextRef s = CGBitmapContextCreate(src.data(), 4, 2, 8, 16, cs, kCGImageAlphaNoneSkipFirst);
  CGContextRef d = CGBitmapContextCreate(dst.data(), 6, 4, 8, 24, cs, kCGImageAlphaNoneSkipFirst);
  CGImageRef img = CGBitmapContextCreateImage(s);
  // At (1, 1) in y-up space: the image's top row lands on memory row 4 - 1 - 2 = 1.
  CGContextDrawImage(d, CGRectMake(1, 1, 4, 2), img);
  EXPECT_EQ(dst[1 * 6 + 1], src[0]);
  EXPECT_EQ(dst[2 * 6 + 4], src[7]);
  EXPECT_EQ(dst[0], 0u);
  // Flipped (y down) it comes out upside down, as on the platform; the clip cuts it.
  std::fill(dst.begin(), dst.end(), 0);
  CGContextSaveGState(d);
  CGContextTranslateCTM(d, 0, 4);
  CGContextScaleCTM(d, 1, -1);
  CGContextClipToRect(d, CGRectMake(0, 0, 3, 4));
  CGContextDrawImage(d, CGRectMake(0, 0, 4, 2), img);
  CGContextRestoreGState(d);
  EXPECT_EQ(dst[0 * 6 + 0], src[4]);
  EXPECT_EQ(dst[1 * 6 + 0], src[0]);
  EXPECT_EQ(dst[0 * 6 + 3], 0u);
  CGImageRelease(img);
  CGContextRelease(s);
  CGContextRelease(d);
  CGColorSpaceRelease(cs);
}

namespace {

class Digits : public NSFormatter
{
public:
  bool isPartialStringValid(const std::string& p, std::string*, std::string*) override
  {
    return p.find_first_not_of("0123456789") == std::string::npos && p.size() <= 4;
  }
};

struct EndCounter : NSTextFieldDelegate
{
  int ended = 0;
  std::string text;
  void controlTextDidEndEditing(NSNotification* n) override
  {
    ++ended;
    text = static_cast<NSTextField*>(n->object())->stringValue();
  }
};

}  // namespace

TEST_F(Kit, TextFieldsEditThroughTheirFormatter)
{
  NSModalScript script;
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 100, 40), NSTitledWindowMask, NSBackingStoreBuffered, false);
  NSTextField* f = new NSTextField(NSMakeRect(0, 0, 100, 20));
  Digits* digits = new Digits;
  f->setFormatter(digits);
  digits->release();
  EndCounter ends;
  f->setDelegate(&ends);
  f->setStringValue("12");
  w->contentView()->addSubview(f);
  w->makeKeyAndOrderFront(nullptr);
  ASSERT_TRUE(w->makeFirstResponder(f));
  EXPECT_TRUE(f->isEditing());
  NSModalScript::type("9a87");
  loop->runOnce();
  EXPECT_EQ(f->stringValue(), "987");
  NSModalScript::type("65");
  loop->runOnce();
  EXPECT_EQ(f->stringValue(), "9876");
  EXPECT_EQ(f->refusedEdits(), 2);
  NSModalScript::pressKey(kVK_LeftArrow, std::u16string(1, NSLeftArrowFunctionKey));
  NSModalScript::type("\b\n");
  loop->runOnce();
  EXPECT_EQ(f->stringValue(), "986");
  EXPECT_EQ(ends.ended, 1);
  EXPECT_EQ(ends.text, "986");
  w->makeFirstResponder(nullptr);
  EXPECT_EQ(ends.ended, 1);  // ended once only
  f->release();
  w->close();
  w->release();
}

TEST_F(Kit, AnUnscriptedInteractionFailsInsteadOfWaiting)
{
  NSModalScript script;
  std::vector<std::string> unscripted;
  script.onUnscripted = [&](const std::string& what) { unscripted.push_back(what); };
  NSAlert* a = new NSAlert;
  a->setMessageText("m");
  EXPECT_EQ(a->runModal(), NSAlertFirstButtonReturn);
  a->release();
  NSAutoreleasePool pool;
  EXPECT_EQ(NSOpenPanel::openPanel()->runModalForDirectory("/", "", {}), NSCancelButton);
  NSMenu* m = new NSMenu;
  m->addItemWithTitle("x", SEL("go:"), "");
  NSMenu::popUpContextMenu(m, nullptr, nullptr);
  m->release();
  EXPECT_EQ(unscripted, (std::vector<std::string>{"an alert", "a file panel", "a menu"}));
}

TEST_F(Kit, URLsKeepTheirSchemeAndFilePathsAreEncoded)
{
  NSAutoreleasePool pool;
  EXPECT_EQ(NSURL::URLWithString("https://x.org/a b"), nullptr);
  EXPECT_EQ(NSURL::URLWithString("no scheme"), nullptr);
  EXPECT_EQ(NSURL::URLWithString("-x:y"), nullptr);
  ASSERT_NE(NSURL::URLWithString("mailto:a@b.c"), nullptr);
  EXPECT_EQ(NSURL::URLWithString("mailto:a@b.c")->scheme(), "mailto");
  NSURL* f = NSURL::fileURLWithPath("/tmp/a b/€.txt");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->isFileURL());
  EXPECT_EQ(f->absoluteString(), "file:///tmp/a%20b/%E2%82%AC.txt");
  EXPECT_EQ(f->path(), "/tmp/a b/€.txt");
}

// A line of text sits in the middle of a tall text field and of a check box's
// label: the ink of "H" (a cap on the baseline) is centred within two pixels.
TEST_F(Kit, ControlTextIsCentredVertically)
{
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 200, 60), NSTitledWindowMask, NSBackingStoreBuffered, false);
  w->setBackgroundColor(1, 1, 1);
  NSTextField* field = new NSTextField(NSMakeRect(0, 0, 100, 60));
  field->setBordered(false);
  field->setDrawsBackground(false);
  field->setStringValue("HH");
  NSButton* box = new NSButton(NSMakeRect(100, 0, 100, 60));
  box->setButtonType(NSSwitchButton);
  box->setTitle("HH");
  for (NSView* v : {(NSView*)field, (NSView*)box})
  {
    w->contentView()->addSubview(v);
    v->release();
  }
  w->display();
  // Dark rows of the text only: the check box's own square lies left of x 120.
  for (const int left : {0, 120})
  {
    int top = -1, bottom = -1;
    for (int y = 0; y < 60; ++y)
      for (int x = left; x < left + 80; ++x)
        if (LICE_PixelR(LICE_GetPixel(w->backing(), x, y)) < 100)
        {
          if (top < 0) top = y;
          bottom = y;
        }
    SCOPED_TRACE(left);
    ASSERT_GE(top, 0);
    EXPECT_LE(std::abs(top + bottom + 1 - 60), 4) << top << ".." << bottom;
  }
  w->close();
  w->release();
}

TEST_F(Kit, AWindowWritesItsBackingAsPNG)
{
  TempFolder dir;
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 30, 20), NSTitledWindowMask, NSBackingStoreBuffered, false);
  w->setBackgroundColor(0, 1, 0);
  w->display();
  const std::string path = dir.file("w.png");
  ASSERT_TRUE(w->writePNG(path));
  LICE_IBitmap* back = LICE_LoadPNG(path.c_str(), nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getWidth(), 30);
  EXPECT_EQ(LICE_GetPixel(back, 29, 19), LICE_MakePixel(0, 255, 0, 255));
  delete back;
  EXPECT_FALSE(w->writePNG(dir.file("missing/folder/../x/y.png") + "/nope"));
  w->close();
  w->release();
}

// An alert drawn on the screen (the X11 presenter's): Return presses the default
// button; Escape and closing the alert's window press the one that backs out,
// never one that goes ahead; Tab moves the focus among the buttons and space presses
// the focused one; an alert hidden takes no keys until it is shown again.
TEST_F(Kit, AScreenAlertClosedOrEscapedAnswersTheButtonThatBacksOut)
{
  enum Act
  {
    Close,
    Escape,
    Return,
    Space,
    TabSpace,
    BackTabSpace,
    ReturnElsewhereWhileHidden
  };
  struct Case
  {
    std::vector<std::string> buttons;
    Act act;
    NSInteger want;  // index of the button answered
  } cases[] = {
      {{"Keep Both Files", "Stop", "Replace"}, Close, 1}, {{"Keep Both Files", "Stop", "Replace"}, Escape, 1},
      {{"Yes", "Cancel", "No"}, Close, 1},                {{"Yes", "Cancel", "No"}, Escape, 1},
      {{"Yes", "No", "Cancel"}, Escape, 2},               {{"Yes", "No"}, Close, 1},
      {{"OK", "Cancel"}, Close, 1},                       {{"OK"}, Close, 0},
      {{"Retry", "Cancel"}, Return, 0},                 {{"Yes", "No"}, Space, 0},
      {{"Cancel", "Replace"}, TabSpace, 1},             {{"Keep Both Files", "Stop", "Replace"}, BackTabSpace, 2},
      {{"Yes", "No"}, ReturnElsewhereWhileHidden, 1},
  };
  AKScreenAnswers answers(NSApp->presenter());
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.buttons.back() + " " + std::to_string(c.act));
    NSAlert* alert = new NSAlert;
    alert->setMessageText("Copy");
    for (const std::string& b : c.buttons) alert->addButtonWithTitle(b);
    const Act act = c.act;
    NSRunLoop::postToMainThread([act] {
      NSWindow* shown = NSApp->keyWindow();
      ASSERT_TRUE(shown);
      if (act == Close) shown->performClose(nullptr);
      else if (act == Escape) NSModalScript::pressKey(kVK_Escape, u"\x1b");
      else if (act == Return) NSModalScript::pressKey(kVK_Return, u"\r");
      else if (act == ReturnElsewhereWhileHidden)
      {
        shown->orderOut(nullptr);
        NSApp->sendEvent(NSEvent::keyEventWithType(NSKeyDown, 0, nullptr, u"\r", u"\r", kVK_Return));
        shown->orderFront(nullptr);
      }
      else
      {
        if (act != Space) NSModalScript::pressKey(kVK_Tab, u"\t", act == BackTabSpace ? (NSUInteger)NSShiftKeyMask : (NSUInteger)0);
        NSModalScript::pressKey(kVK_Space, u" ");
      }
      // Keys that did nothing leave it up: it is backed out of at the next turn.
      const NSInteger number = shown->windowNumber();
      NSRunLoop::postToMainThread([number] {
        if (NSApp->modalWindow() && NSApp->modalWindow()->windowNumber() == number)
          NSModalScript::pressKey(kVK_Escape, u"\x1b");
      });
    });
    EXPECT_EQ(answers.alertAnswer(alert), NSAlertFirstButtonReturn + c.want);
    alert->release();
  }
}

// An alert on the screen laid out for its text: each line within the window and apart
// from the buttons, no wider than its place, no character lost, the buttons in a row
// with the first at the right, the window on the screen.
TEST_F(Kit, AScreenAlertLaysItsTextOutApartFromItsButtons)
{
  const std::string name = "\"Evening Studio Bank Two.dvl\"", unbroken(150, 'W');
  const std::vector<std::string> cancel = {"Cancel", "Replace"};
  struct Row { std::string message, informative; std::vector<std::string> buttons; NSSize screen; } rows[] = {
      {name + " already exists.", "Do you want to replace it? Its contents will be lost.", cancel, {1920, 1080}},
      {"Import", "A bank named " + name + " is already in Patches. Replace it?", {"Yes", "No"}, {1920, 1080}},
      {"\"" + unbroken + ".dvl\" already exists.", "", cancel, {1920, 1080}},
      {"Copy", "An item named \"" + unbroken + "\" is here. Replace it?", {"Keep Both Files", "Stop"}, {640, 480}},
      {"", "One line\n\nA line after an empty one", {"OK"}, {1920, 1080}},
      {"Short", "", {"A rather long first choice", "An even longer second choice", "Third"}, {1280, 800}},
      {"Tall", std::string(600, 'W'), {"OK"}, {1280, 300}},  // wider than the limit before taller than the screen
      // Taller than the screen at its widest: the text scrolls, the buttons stay on it.
      {"Copy", std::string(2300, 'W'), {"Keep Both Files", "Stop", "Replace"}, {640, 480}},
      {"Tall", std::string(8500, 'W'), {"OK"}, {1280, 800}},
      {std::string(8500, 'W'), "", {"OK"}, {640, 480}},
  };
  for (const Row& r : rows)
  {
    SCOPED_TRACE(r.message + "|" + r.informative);
    NSAlert* alert = new NSAlert;
    alert->setMessageText(r.message);
    alert->setInformativeText(r.informative);
    for (const std::string& b : r.buttons) alert->addButtonWithTitle(b);
    const AKAlertLayout l = AKLayoutAlert(alert, r.screen);
    const NSRect all = NSMakeRect(0, 0, l.size.width, l.size.height);
    EXPECT_TRUE(l.size.width <= r.screen.width && l.size.height <= r.screen.height);
    std::string seen[2], want[2] = {r.message, r.informative};
    const NSRect area = l.textArea, scrolled = NSMakeRect(0, 0, area.size.width, l.textHeight);
    EXPECT_TRUE(NSIsEmptyRect(area) || (NSContainsRect(all, area) && l.textHeight > area.size.height));
    for (const AKAlertLayout::Line& line : l.lines)
    {
      EXPECT_LE(AKMeasureText(line.text, NSFont::systemFontOfSize(line.message ? 15 : 13)), line.rect.size.width);
      EXPECT_TRUE(NSContainsRect(line.scrolls ? scrolled : all, line.rect)) << line.text;
      for (const NSRect& b : l.buttons)
        EXPECT_TRUE(NSIsEmptyRect(NSIntersectionRect(b, line.scrolls ? area : line.rect))) << line.text;
      EXPECT_TRUE(line.scrolls || NSIsEmptyRect(NSIntersectionRect(area, line.rect))) << line.text;
      seen[line.message ? 0 : 1] += line.text;
    }
    for (size_t i = 0; i < l.buttons.size(); ++i)
      EXPECT_TRUE(NSContainsRect(all, l.buttons[i]) && (i == 0 || NSMaxX(l.buttons[i]) < NSMinX(l.buttons[i - 1])));
    for (std::string* t : {&seen[0], &seen[1], &want[0], &want[1]})
      t->erase(std::remove_if(t->begin(), t->end(), ::isspace), t->end());
    EXPECT_TRUE(seen[0] == want[0] && seen[1] == want[1]) << seen[0] << "|" << seen[1];
    alert->release();
  }
}

// Runs f on the main thread once the key window is titled so (bounded).
void WhenKeyWindowIs(const std::string& title, std::function<void(NSWindow*)> f, int turns = 200)
{
  NSRunLoop::postToMainThread([title, f, turns] {
    NSWindow* k = NSApp->keyWindow();
    if (k && k->title() == title) f(k);
    else if (turns > 0) WhenKeyWindowIs(title, f, turns - 1);
    else ADD_FAILURE() << "no window titled " << title;
  });
}

// A press and release at the middle of a view, as the presenter sends them.
void Click(NSView* v)
{
  const NSRect f = v->frame();
  const NSPoint p = v->superview()->convertPointToView(NSMakePoint(f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2), nullptr);
  NSApp->sendEvent(NSEvent::mouseEventWithType(NSLeftMouseDown, p, 0, 0, v->window(), 1));
  NSApp->sendEvent(NSEvent::mouseEventWithType(NSLeftMouseUp, p, 0, 0, v->window(), 1));
}

// The screen's own file panels over a folder holding a bank file and a sub-folder,
// answered on the presenter until the end of the test.
struct ScreenPanels
{
  explicit ScreenPanels(NSRunLoop* l) : loop(l), answers(NSApp->presenter()), previous(NSApp->scriptedAnswers())
  {
    fclose(fopen((dir.path() + "/bank.dvl").c_str(), "w"));
    mkdir((dir.path() + "/sub").c_str(), 0755);
    NSApp->setModalAnswers(&answers);
  }
  ~ScreenPanels()
  {
    NSApp->setModalAnswers(previous);
    loop->runOnce();
  }
  NSRunLoop* loop;
  TempFolder dir;
  AKScreenAnswers answers;
  NSModalAnswers* previous;
};

// The screen's save panel asks before it answers a file that is there: Return
// keeps the file (the panel stays open), "Replace" answers it; a folder typed is
// opened; a new name is answered at once.
TEST_F(Kit, AScreenSavePanelAsksBeforeReplacingAFile)
{
  NSAutoreleasePool pool;
  ScreenPanels panels(loop);
  const TempFolder& dir = panels.dir;
  struct Case
  {
    std::string file;
    bool replace;
    NSInteger want;
    std::string path;
    int questions;
    std::vector<std::string> types;
    bool othersToo;
  } cases[] = {
      {"bank.dvl", false, NSCancelButton, "", 1, {}, true},
      {"bank.dvl", true, NSOKButton, dir.path() + "/bank.dvl", 1, {}, true},
      {"new.dvl", false, NSOKButton, dir.path() + "/new.dvl", 0, {}, true},
      {"sub", false, NSCancelButton, "", 0, {}, true},
      // The panel's first type completes a name that has none of them.
      {"Night", false, NSOKButton, dir.path() + "/Night.dvl", 0, {"dvl", "mid"}, false},
      {"Night.MID", false, NSOKButton, dir.path() + "/Night.MID", 0, {"dvl", "mid"}, false},
      {"Night.txt", false, NSOKButton, dir.path() + "/Night.txt.dvl", 0, {"dvl"}, false},
      {"Night.txt", false, NSOKButton, dir.path() + "/Night.txt", 0, {"dvl"}, true},
      {"bank", false, NSCancelButton, "", 1, {"dvl"}, false},  // bank.dvl is there
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.file + (c.replace ? " replace" : ""));
    static int questions;
    questions = 0;
    const bool replace = c.replace;
    const bool folder = c.file == "sub";
    const bool asked = c.questions > 0;
    WhenKeyWindowIs("Save", [replace, folder, asked](NSWindow*) {
      NSModalScript::pressKey(kVK_Return, u"\r");
      if (!asked && !folder) return;
      if (folder)
      {
        // The folder opened: the field names it; Escape leaves the panel.
        WhenKeyWindowIs("Save", [](NSWindow* p) {
          const NSTextField* field = dynamic_cast<NSTextField*>(p->contentView()->subviews()[0]);
          EXPECT_EQ(field->stringValue().back(), '/');
          NSModalScript::pressKey(kVK_Escape, u"\x1b");
        });
        return;
      }
      WhenKeyWindowIs("\"bank.dvl\" already exists.", [replace](NSWindow* alert) {
        ++questions;
        if (replace)
        {
          Click(alert->contentView()->subviews()[1]);  // "Replace", left of "Cancel"
          return;
        }
        NSModalScript::pressKey(kVK_Return, u"\r");  // the default: Cancel
        WhenKeyWindowIs("Save", [](NSWindow*) { NSModalScript::pressKey(kVK_Escape, u"\x1b"); });
      });
    });
    NSSavePanel* panel = NSSavePanel::savePanel();
    panel->setAllowedFileTypes(c.types);
    panel->setAllowsOtherFileTypes(c.othersToo);
    EXPECT_EQ(panel->runModalForDirectory(dir.path(), c.file), c.want);
    EXPECT_EQ(panel->filename(), c.path);
    EXPECT_EQ(questions, c.questions);
  }
}

// The screen's open panel answers only a path that is there and of a kind it may
// choose: a folder it may not choose is opened, and the folder shown ("name/")
// is answered by a panel that chooses folders.
TEST_F(Kit, AScreenOpenPanelAnswersOnlyWhatItMayChoose)
{
  NSAutoreleasePool pool;
  ScreenPanels panels(loop);
  const TempFolder& dir = panels.dir;
  struct Case
  {
    bool folders;  // a folder chooser, else a file chooser
    std::string typed;
    std::string path;      // answered; empty: the panel stays and Escape cancels it
    std::string shownEnd;  // how the field ends after Return when it stays
  } cases[] = {
      {false, "bank.dvl", dir.path() + "/bank.dvl", ""},
      {false, "missing.syx", "", "missing.syx"},
      {false, "sub", "", "sub/"},
      {true, "sub/", dir.path() + "/sub", ""},
      {true, "bank.dvl", "", "bank.dvl"},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.typed + (c.folders ? " (folders)" : ""));
    const std::string shownEnd = c.shownEnd;
    WhenKeyWindowIs("Open", [shownEnd](NSWindow*) {
      NSModalScript::pressKey(kVK_Return, u"\r");
      if (shownEnd.empty()) return;
      WhenKeyWindowIs("Open", [shownEnd](NSWindow* p) {
        const NSTextField* field = dynamic_cast<NSTextField*>(p->contentView()->subviews()[0]);
        const std::string shown = field->stringValue();
        EXPECT_EQ(shown.substr(shown.size() - std::min(shown.size(), shownEnd.size())), shownEnd);
        NSModalScript::pressKey(kVK_Escape, u"\x1b");
      });
    });
    NSOpenPanel* panel = NSOpenPanel::openPanel();
    panel->setCanChooseFiles(!c.folders);
    panel->setCanChooseDirectories(c.folders);
    EXPECT_EQ(panel->runModalForDirectory(dir.path(), c.typed, {}), c.path.empty() ? NSCancelButton : NSOKButton);
    EXPECT_EQ(panel->filename(), c.path);
  }
}

// Every X key symbol the presenter names, value by value.
TEST(X11KeyTable, KeySymbolsBecomeThePlatformsKeyCodes)
{
  struct Row
  {
    unsigned long sym;
    unsigned short code;
    char16_t ch;
  };
  const Row rows[] = {
      {'a', kVK_ANSI_A, u'a'}, {'Q', kVK_ANSI_Q, u'Q'}, {'z', kVK_ANSI_Z, u'z'}, {'0', kVK_ANSI_0, u'0'},
      {'5', kVK_ANSI_5, u'5'}, {'9', kVK_ANSI_9, u'9'}, {' ', kVK_Space, u' '}, {'-', kVK_ANSI_Minus, u'-'},
      {'.', kVK_ANSI_Period, u'.'}, {'+', kVK_ANSI_Equal, u'+'}, {0xff0d, kVK_Return, u'\r'},
      {0xff8d, kVK_ANSI_KeypadEnter, 3}, {0xff09, kVK_Tab, u'\t'}, {0xff08, kVK_Delete, 0x7F},
      {0xffff, kVK_ForwardDelete, NSDeleteFunctionKey}, {0xff1b, kVK_Escape, 0x1B},
      {0xff51, kVK_LeftArrow, NSLeftArrowFunctionKey}, {0xff52, kVK_UpArrow, NSUpArrowFunctionKey},
      {0xff53, kVK_RightArrow, NSRightArrowFunctionKey}, {0xff54, kVK_DownArrow, NSDownArrowFunctionKey},
      {0xff50, kVK_Home, NSHomeFunctionKey}, {0xff57, kVK_End, NSEndFunctionKey},
      {0xff55, kVK_PageUp, NSPageUpFunctionKey}, {0xff56, kVK_PageDown, NSPageDownFunctionKey},
      {0xffb7, kVK_ANSI_Keypad7, u'7'}, {0xffae, kVK_ANSI_KeypadDecimal, u'.'}, {0xffbe, kVK_F1, NSF1FunctionKey},
  };
  for (const Row& r : rows)
  {
    unsigned short code = 0;
    std::u16string chars;
    ASSERT_TRUE(AKMacKeyForX11Keysym(r.sym, "", &code, &chars)) << std::hex << r.sym;
    EXPECT_EQ(code, r.code) << std::hex << r.sym;
    EXPECT_EQ(chars, std::u16string(1, r.ch)) << std::hex << r.sym;
  }
  unsigned short code = 0;
  std::u16string chars;
  EXPECT_FALSE(AKMacKeyForX11Keysym(0xffe1, "", &code, &chars));  // shift alone
  ASSERT_TRUE(AKMacKeyForX11Keysym(0xe9, "\xC3\xA9", &code, &chars));
  EXPECT_EQ(chars, u"\u00E9");
}
