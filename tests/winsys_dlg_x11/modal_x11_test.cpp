// Alerts over an owner window under a real X server: what they tell the window
// manager, the input they hold while they are up, their end when the owner goes,
// and the keyboard given back to the window that had it.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "winsys/shell/filedlg.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "X11Session.h"

#include <gtest/gtest.h>

namespace {

class CountingView : public NSView
{
public:
  using NSView::NSView;
  int presses = 0;
  void mouseDown(NSEvent*) override { ++presses; }
};

bool has(const std::vector<std::string>& names, const std::string& name)
{
  return std::find(names.begin(), names.end(), name) != names.end();
}

class ModalX11 : public X11SessionTest<>
{
protected:
  void SetUp() override
  {
    X11SessionTest<>::SetUp();
    if (HasFatalFailure()) return;
    owner = new NSWindow(NSMakeRect(200, 400, 300, 200), NSTitledWindowMask, NSBackingStoreBuffered, false);
    owner->setTitle("Owner window");
    view = new CountingView(NSMakeRect(0, 0, 300, 200));
    owner->setContentView(view);
    view->release();
    owner->makeKeyAndOrderFront(nullptr);
    NSRunLoop* loop = NSRunLoop::currentRunLoop();
    for (int i = 0; i < 500 && !(ownerXid && driver->viewable(ownerXid)); ++i)
    {
      loop->runUntilDate(loop->now() + 0.02);
      ownerXid = driver->findWindow("Owner window");
    }
    ASSERT_TRUE(ownerXid && driver->viewable(ownerXid));
  }
  void TearDown() override
  {
    if (owner)
    {
      owner->close();
      owner->release();
    }
  }

  // Runs MessageBox with the caption while step is called every tick of its modal
  // run (with the alert's window id once it is on the screen); a run past the bound
  // is answered with Return (OK), which no row expects.
  int alert(const std::string& caption, const std::function<void(unsigned long)>& step)
  {
    NSRunLoop* loop = NSRunLoop::currentRunLoop();
    const NSTimeInterval deadline = loop->now() + 20;
    NSTimer* t = NSTimer::timerWithAction(
        0.02, nullptr,
        [&](NSTimer*) {
          const unsigned long xid = driver->findWindow(caption);
          if (!xid || !driver->viewable(xid)) return;
          if (loop->now() > deadline) driver->key(xid, "Return");
          else step(xid);
        },
        nullptr, true);
    loop->addTimer(t, NSRunLoopCommonModes);
    const int answer = MessageBox(nullptr, "text", caption.c_str(), MB_OKCANCEL);
    t->invalidate();
    t->release();
    return answer;
  }

  NSWindow* owner = nullptr;
  CountingView* view = nullptr;
  unsigned long ownerXid = 0;
};

// Transient for the window that had the keyboard, a modal dialog of the program's
// class; a click into the owner meanwhile reaches nobody.
TEST_F(ModalX11, AnAlertBelongsToItsOwnerAndHoldsTheInput)
{
  unsigned long seen = 0;
  std::vector<std::string> type, state, ownerType;
  std::string cls, ownerCls;
  int fixedWidth = 0, fixedHeight = 0;
  bool maximisable = true;
  const int answer = alert("Held input", [&](unsigned long xid) {
    if (seen) return;
    seen = driver->transientFor(xid);
    type = driver->atoms(xid, "_NET_WM_WINDOW_TYPE");
    state = driver->atoms(xid, "_NET_WM_STATE");
    cls = driver->windowClass(xid);
    int x, y;
    driver->normalHints(xid, &x, &y, &fixedWidth, &fixedHeight);
    // A manager that reads it offers no maximising of a window that cannot resize.
    const std::vector<std::string> actions = driver->atoms(xid, "_NET_WM_ALLOWED_ACTIONS");
    maximisable = has(actions, "_NET_WM_ACTION_MAXIMIZE_HORZ") || has(actions, "_NET_WM_ACTION_RESIZE");
    ownerType = driver->atoms(ownerXid, "_NET_WM_WINDOW_TYPE");
    ownerCls = driver->windowClass(ownerXid);
    // In this order on the wire: the click is handled before the Escape ends the alert.
    driver->click(ownerXid, 50, 50);
    driver->key(xid, "Escape");
  });
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_EQ(seen, ownerXid);
  EXPECT_TRUE(has(type, "_NET_WM_WINDOW_TYPE_DIALOG"));
  EXPECT_TRUE(has(state, "_NET_WM_STATE_MODAL"));
  EXPECT_TRUE(has(ownerType, "_NET_WM_WINDOW_TYPE_NORMAL"));
  EXPECT_EQ(cls.substr(cls.find('.')), ".Davrel");
  EXPECT_EQ(ownerCls, cls);
  EXPECT_TRUE(fixedWidth > 0 && fixedHeight > 0) << "an alert's size is fixed";
  EXPECT_FALSE(maximisable && X11Session::server()->manager() == "openbox");
  EXPECT_EQ(view->presses, 0) << "the owner was clicked under a modal alert";
  // Afterwards the owner takes clicks again.
  driver->click(ownerXid, 50, 50);
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  for (int i = 0; i < 500 && !view->presses; ++i) loop->runUntilDate(loop->now() + 0.02);
  EXPECT_EQ(view->presses, 1);
}

// The owner closed under its alert (the editor's window closed by the host) ends
// the alert, answered as Cancel.
TEST_F(ModalX11, AnAlertWhoseOwnerGoesIsCancelled)
{
  const int answer = alert("Owner goes", [&](unsigned long) {
    if (owner->isVisible()) owner->close();
  });
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_EQ(NSApp->modalWindow(), nullptr);
}

// An alert over an alert: when the inner one is answered, the outer one (still up)
// has the keyboard again, in the kit and on the server, not the owner.
TEST_F(ModalX11, TheInnerAlertGivesTheKeyboardBackToTheOuterOne)
{
  NSWindow* outer = nullptr;
  bool innerDone = false;
  int innerAnswer = 0, ticks = 0;
  NSWindow* keyAfter = nullptr;
  unsigned long focusAfter = 0, outerXid = 0;
  const int answer = alert("Outer alert", [&](unsigned long xid) {
    if (!innerDone)
    {
      outer = NSApp->modalWindow();
      outerXid = xid;
      innerDone = true;
      innerAnswer = alert("Inner alert", [&](unsigned long inner) { driver->key(inner, "Escape"); });
      return;
    }
    // The server's focus may come a few turns later under a window manager.
    keyAfter = NSApp->keyWindow();
    focusAfter = driver->inputFocus();
    if ((keyAfter == outer && focusAfter == xid) || ++ticks > 250) driver->key(xid, "Escape");
  });
  EXPECT_EQ(innerAnswer, IDCANCEL);
  EXPECT_EQ(answer, IDCANCEL);
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(keyAfter, outer);
  EXPECT_EQ(focusAfter, outerXid);
}

// While the user types in another program, an alert that comes up by itself leaves the
// keyboard there (a Return typed there answers nothing) until the user's own click on
// it, after which a Return answers it; one that ends by itself, or by a key another
// program sends it, leaves the keyboard with that program too.
enum class Up { ByItselfClicked, EndsByItself, EndedByAnotherProgram };

void UserTypesInAnotherProgram(AKX11Driver* driver, unsigned long ownerXid, NSWindow* owner,
                               const std::function<int(const std::string&, const std::function<void(unsigned long)>&)>& alert,
                               const std::vector<Up>& rows, bool toOwner = false)
{
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  const unsigned long other = driver->programWindow("Another program", 1500, 60, 300, 200);
  const auto userGoesTo = [&](unsigned long xid, int x, int y) {  // the pointer too: a manager's focus may follow it
    driver->movePointer(x, y);
    driver->focus(xid);
  };
  const auto type = [&](const char* key) { driver->holdKey(key, true), driver->holdKey(key, false); };
  // Keys typed go to the window: it has the focus, or the focus follows the pointer
  // (PointerRoot) and the pointer is over it. twm, late at the pointer's move from
  // another program onto the alert, leaves the focus to the pointer after the click.
  const auto keysGoTo = [&](unsigned long xid) {
    const unsigned long focus = driver->inputFocus();
    int x = 0, y = 0;
    if (focus == 1) driver->pointer(&x, &y);
    return focus == xid || (focus == 1 && driver->windowAt(x, y) == xid);
  };
  for (int i = 0; i < 500 && !driver->viewable(other); ++i) loop->runUntilDate(loop->now() + 0.02);
  for (const Up row : rows)
  {
    const bool upByItself = row == Up::ByItselfClicked;
    SCOPED_TRACE(upByItself ? "comes up by itself" : row == Up::EndsByItself ? "ends by itself" : "ended by another program");
    const unsigned long first = upByItself ? other : ownerXid;
    userGoesTo(first, upByItself ? 1650 : 350, upByItself ? 160 : 580);
    for (int i = 0; i < 500 && !(driver->inputFocus() == first && (upByItself || NSApp->keyWindow() == owner)); ++i)
      loop->runUntilDate(loop->now() + 0.02);
    int ticks = 0;
    unsigned long focusWhileUp = other;
    bool typedInto = false;
    const int answer = alert("Up by itself", [&](unsigned long xid) {
      int x = 0, y = 0, w, h;
      if (upByItself && ++ticks == 3)  // some turns after it shows: a keyboard it took is its by then
      {
        focusWhileUp = driver->inputFocus();
        type("Return");
        driver->geometry(xid, &x, &y, &w, &h);  // then the user clicks it, away from its buttons
        driver->movePointer(x + 6, y + 6);
        driver->holdButton(1, true);
        driver->holdButton(1, false);
      }
      else if (upByItself && ticks > 3 && !typedInto && keysGoTo(xid) && (typedInto = true))
        type("Return");
      else if (!upByItself && ticks == 0 && driver->inputFocus() == xid && ++ticks)
        userGoesTo(other, 1650, 160);
      else if (!upByItself && ticks == 1 && driver->inputFocus() == other && !NSApp->keyWindow() && ++ticks)
      {
        if (row == Up::EndsByItself) NSApp->abortModal();
        else driver->key(xid, "Escape");  // sent by another program: not the user's
      }
    });
    EXPECT_EQ(answer, upByItself ? IDOK : IDCANCEL);
    EXPECT_TRUE(focusWhileUp == other || (toOwner && focusWhileUp == ownerXid)) << focusWhileUp;
    if (upByItself) EXPECT_TRUE(typedInto) << "the user's click gave it no keyboard";
    else EXPECT_EQ(driver->inputFocus(), other);
  }
  driver->unshield(other);
}

TEST_F(ModalX11, TheKeyboardStaysWithTheProgramTheUserTypesIn)
{
  UserTypesInAnotherProgram(driver.get(), ownerXid, owner, [&](auto& c, auto& s) { return alert(c, s); },
                            // Clicked last: twm then leaves the focus to the pointer's window (PointerRoot) when
                            // the user goes to another program, not to that program's window.
                            {Up::EndsByItself, Up::EndedByAnotherProgram, Up::ByItselfClicked});
}

// The same under a manager that gives every new window the keyboard, and the keyboard of
// one that takes none to the window it belongs to (keys typed there answer nothing).
TEST_F(ModalX11, AnAlertUpByItselfTakesNoKeyboardFromAManagerThatFocusesNewWindows)
{
  AKXvfb* server = X11Session::server();
  if (!server->manager().empty()) GTEST_SKIP() << "on a bare server, with a manager of its own";
  std::string error;
  ASSERT_TRUE(server->replaceManager(AKXvfb::kRefusingManager, &error)) << error;
  const std::unique_ptr<AKXvfb, void (*)(AKXvfb*)> bare(server, [](AKXvfb* s) { s->replaceManager("", nullptr); });
  UserTypesInAnotherProgram(driver.get(), ownerXid, owner, [&](auto& c, auto& s) { return alert(c, s); },
                            {Up::ByItselfClicked}, true);
}

// The owner raised over its alert by another program (unheard of by a manager whose
// frames take it): the alert is put back above it, asked of the manager again, or the
// owner put right below it where the manager leaves it.
TEST_F(ModalX11, AnAlertIsPutBackAboveItsOwnerRaisedByAnotherProgram)
{
  int raised = -1, ticks = 0;
  unsigned long onTop = 0, alertXid = 0;
  const int screenHeight = (int)NSApp->presenter()->screenSize().height;
  const int answer = alert("Kept above", [&](unsigned long xid) {
    int x = 0, y = 0, w = 0, h = 0, ox = 0, oy = 0, ow = 0, oh = 0;
    driver->geometry(xid, &x, &y, &w, &h);
    alertXid = xid;
    const bool covers = driver->geometry(ownerXid, &ox, &oy, &ow, &oh) && ox < x && oy < y && ox + ow > x + w &&
                        oy + oh > y + h;
    if (raised < 0 && !covers && !ticks++)  // the owner first goes where it covers the alert
      owner->setFrame(NSMakeRect(x - 40, screenHeight - (y + h) - 40, w + 80, h + 80), true);
    else if (raised < 0 && covers)
      raised = driver->raiseOver(ownerXid, xid);
    else if (raised >= 0 && ((onTop = driver->windowAt(x + w / 2, y + h / 2)) == xid || ++ticks > 500))
      driver->key(xid, "Escape");
  });
  EXPECT_EQ(answer, IDCANCEL);
  // Managers that keep a modal window over its owner themselves never put the owner over it.
  const std::string manager = X11Session::server()->manager();
  EXPECT_TRUE(raised > 0 || manager == "openbox" || manager == "fluxbox" || manager == "metacity");
  EXPECT_EQ(onTop, alertXid);
}

// A panel opened and closed while the window manager is stopped (busy or hung): once
// the manager goes on it is never left placing a window that is gone (twm then holds
// the whole display until a click), and the owner takes clicks again.
TEST_F(ModalX11, APanelClosedWhileTheManagerIsStoppedLeavesTheDisplayAnswering)
{
  AKXvfb* server = X11Session::server();
  if (server->manager().empty()) GTEST_SKIP() << "no window manager";
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  server->pauseManager(true);
  NSWindow* panel = new NSWindow(NSMakeRect(300, 300, 400, 250), NSTitledWindowMask, NSBackingStoreBuffered, false);
  panel->setTitle("Panel of a stalled manager");
  panel->makeKeyAndOrderFront(nullptr);
  loop->runUntilDate(loop->now() + 0.1);
  const unsigned long panelXid = AKX11WindowOf(panel);
  panel->close();
  panel->release();
  loop->runUntilDate(loop->now() + 0.1);
  server->pauseManager(false);
  // The kit's own turns go on meanwhile: what it left to the manager's answer is done then.
  bool answers = false;
  for (int i = 0; i < 3 && !answers; ++i)
  {
    loop->runUntilDate(loop->now() + 0.5);
    answers = server->managerAnswers(5);
  }
  if (!answers)
  {
    std::string error;
    ASSERT_TRUE(server->replaceManager(server->manager(), &error)) << error;  // lets the display go
  }
  EXPECT_TRUE(answers) << "the window manager holds the display";
  int x, y, w, h;  // and the panel's window is gone once the manager let it go
  for (int i = 0; i < 500 && driver->geometry(panelXid, &x, &y, &w, &h); ++i) loop->runUntilDate(loop->now() + 0.02);
  EXPECT_FALSE(driver->geometry(panelXid, &x, &y, &w, &h));
  driver->click(ownerXid, 50, 50);
  for (int i = 0; i < 500 && !view->presses; ++i) loop->runUntilDate(loop->now() + 0.02);
  EXPECT_EQ(view->presses, 1);
}

// Keys typed on the keyboard while an alert is up reach the alert, also where the
// window manager gives the focus only to the window under the pointer (twm), and the
// pointer is over no window of ours.
TEST_F(ModalX11, KeysTypedWhileAnAlertIsUpReachIt)
{
  driver->movePointer(1900, 1060);
  bool typed = false;
  const int answer = alert("Typed at", [&](unsigned long xid) {
    if (typed || driver->inputFocus() != xid) return;  // typed once it shows it has the keyboard
    typed = true;
    driver->holdKey("Escape", true);
    driver->holdKey("Escape", false);
  });
  EXPECT_TRUE(typed) << "the alert never had the keyboard";
  EXPECT_EQ(answer, IDCANCEL);
}

}  // namespace
