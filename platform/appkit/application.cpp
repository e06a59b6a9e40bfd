#include "platform/appkit/NSApplication.h"

#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/Presenter.h"
#include "platform/coregraphics/CGDisplay.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

NSApplication* NSApp = nullptr;

namespace {

// What the user does (keys, mouse buttons), not what merely passes (motions, crossings),
// nor what another program made up and sent to our window.
bool isUserInput(const NSEvent* e)
{
  if (e->fromAnotherProgram()) return false;
  switch (e->type())
  {
    case NSKeyDown: case NSKeyUp: case NSLeftMouseDown: case NSLeftMouseUp: case NSRightMouseDown:
    case NSRightMouseUp: case NSOtherMouseDown: case NSOtherMouseUp:
      return true;
    default:
      return false;
  }
}

std::unique_ptr<NSPresenter>& pendingPresenter()
{
  static std::unique_ptr<NSPresenter>* p = new std::unique_ptr<NSPresenter>;
  return *p;
}

std::unique_ptr<NSPresenter> choosePresenter()
{
  if (pendingPresenter()) return std::move(pendingPresenter());
  const char* choice = getenv("DAVREL_PRESENTER");
  const char* display = getenv("DISPLAY");
  const bool wantHeadless = choice && strcmp(choice, "headless") == 0;
  if (!wantHeadless && display && *display)
  {
    std::string error;
    if (std::unique_ptr<NSPresenter> x = AKMakeX11Presenter("", &error)) return x;
    fprintf(stderr, "appkit: no X11 presenter (%s); running headless\n", error.c_str());
  }
  return AKMakeHeadlessPresenter();
}

// The display functions of CoreGraphics answer through the presenter.
DVCGDisplayServices displayServices(NSPresenter* p)
{
  DVCGDisplayServices s;
  s.owner = p;
  s.pixelsWide = [](void* o) { return (size_t)((NSPresenter*)o)->screenSize().width; };
  s.pixelsHigh = [](void* o) { return (size_t)((NSPresenter*)o)->screenSize().height; };
  s.hideCursor = [](void* o) -> CGError { return ((NSPresenter*)o)->hideCursor() ? kCGErrorSuccess : kCGErrorFailure; };
  s.showCursor = [](void* o) -> CGError { return ((NSPresenter*)o)->showCursor() ? kCGErrorSuccess : kCGErrorFailure; };
  s.moveCursor = [](void* o, CGPoint p) -> CGError {
    return ((NSPresenter*)o)->moveCursor(NSMakePoint(p.x, p.y)) ? kCGErrorSuccess : kCGErrorFailure;
  };
  s.associateMouse = [](void* o, bool connected) -> CGError {
    return ((NSPresenter*)o)->associateMouse(connected) ? kCGErrorSuccess : kCGErrorFailure;
  };
  // The kit's modifier masks are the platform's event flags.
  s.flagsState = [](void* o) { return (CGEventFlags)((NSPresenter*)o)->modifierFlags(); };
  return s;
}

}  // namespace

struct AKModalSession
{
  NSWindow* window;  // retained
  bool stopped;
  NSInteger code;
  NSInteger previousKey;  // the key window before, by number: it may go meanwhile
  bool byUser;            // stopped by the user's own input
  // Came up by itself (it took no keyboard), and the user has not acted on it yet.
  bool unseen;
  // The window's owner, its owner's owner and so on, by number: those open when the
  // session began.
  std::vector<NSInteger> owners;
};

NSApplication::NSApplication() : mPresenter(choosePresenter())
{
  const DVCGDisplayServices s = displayServices(mPresenter.get());
  DVCGSetDisplayServices(&s);
}

NSApplication::~NSApplication()
{
  for (NSEvent* e : mQueue) e->release();
  mQueue.clear();
  for (AKModalSession* s : std::vector<AKModalSession*>(mSessions)) endModalSession(s);
  AKRelease(mMainMenu);
  DVCGSetDisplayServices(nullptr);
}

void NSApplication::setMainMenu(NSMenu* menu)
{
  if (menu) menu->retain();
  if (mMainMenu) mMainMenu->release();
  mMainMenu = menu;
  // Every window that shows the main menu keeps a strip for it, key or not. A
  // window resized may have its owner close another one.
  for (NSWindow* w : std::vector<NSWindow*>(mWindows))
    if (std::find(mWindows.begin(), mWindows.end(), w) != mWindows.end()) w->updateMenuBar();
}

NSApplication* NSApplication::sharedApplication()
{
  AKAssertMainThread("NSApplication::sharedApplication");
  if (!NSApp) NSApp = new NSApplication;
  return NSApp;
}

bool NSApplication::exists() { return NSApp != nullptr; }

void NSApplication::setPresenter(std::unique_ptr<NSPresenter> presenter)
{
  pendingPresenter() = std::move(presenter);
}

void NSApplication::shutdown()
{
  if (!NSApp) return;
  NSApplication* app = NSApp;
  // Windows still alive are the callers'; they lose their presenter's resources now.
  for (NSWindow* w : app->mWindows)
    if (app->mPresenter) app->mPresenter->windowClosed(w);
  app->mPresenter.reset();
  NSApp = nullptr;
  app->mWindows.clear();
  app->mStack.clear();
  app->release();
}

bool NSApplication::belongsToModal(NSWindow* w) const
{
  NSWindow* modal = modalWindow();
  if (!modal || !w) return !modal;
  if (w->level() >= NSPopUpMenuWindowLevel) return true;  // a menu opened over it
  // Bounded: an owner chain could be made to loop.
  for (int i = 0; w && i < 32; ++i, w = w->ownerWindow())
    if (w == modal) return true;
  return false;
}

NSWindow* NSApplication::windowWithNumber(NSInteger number) const
{
  for (NSWindow* w : mWindows)
    if (w->windowNumber() == number) return w;
  return nullptr;
}

void NSApplication::registerWindow(NSWindow* w)
{
  if (std::find(mWindows.begin(), mWindows.end(), w) == mWindows.end())
  {
    mWindows.push_back(w);
    mStack.push_back(w);
  }
}

void NSApplication::windowOrderedFront(NSWindow* w)
{
  auto it = std::find(mStack.begin(), mStack.end(), w);
  if (it == mStack.end()) return;
  mStack.erase(it);
  mStack.push_back(w);
  // Child windows stay above their parent, as the platform keeps them.
  for (NSWindow* child : std::vector<NSWindow*>(w->childWindows())) windowOrderedFront(child);
}

std::vector<NSWindow*> NSApplication::orderedWindows() const
{
  std::vector<NSWindow*> order(mStack.rbegin(), mStack.rend());
  std::stable_sort(order.begin(), order.end(), [](NSWindow* a, NSWindow* b) { return a->level() > b->level(); });
  return order;
}

NSWindow* NSApplication::windowAtPoint(NSPoint screen) const
{
  for (NSWindow* w : orderedWindows())
    if (w->isVisible() && !w->ignoresMouseEvents() && NSPointInRect(screen, w->frame())) return w;
  return nullptr;
}

void NSApplication::unregisterWindow(NSWindow* w)
{
  mWindows.erase(std::remove(mWindows.begin(), mWindows.end(), w), mWindows.end());
  mStack.erase(std::remove(mStack.begin(), mStack.end(), w), mStack.end());
  if (mKeyWindow == w) mKeyWindow = nullptr;
  // Queued events for the window go with it.
  for (auto it = mQueue.begin(); it != mQueue.end();)
  {
    if ((*it)->window() == w)
    {
      (*it)->release();
      it = mQueue.erase(it);
    }
    else
      ++it;
  }
}

void NSApplication::setKeyWindow(NSWindow* w)
{
  if (w == mKeyWindow) return;
  NSWindow* old = mKeyWindow;
  mKeyWindow = w;
  // Either may be destroyed by what it is told: each lives until it was told.
  AKRetain(old);
  AKRetain(w);
  if (old) old->resignKeyWindow();
  if (w && mKeyWindow == w) w->becomeKeyWindow();
  // A window that shows the main menu shows it only while it is key.
  if (old) old->updateMenuBar();
  if (w) w->updateMenuBar();
  AKRelease(old);
  AKRelease(w);
}

void NSApplication::postEvent(NSEvent* event, bool atStart)
{
  AKAssertMainThread("NSApplication::postEvent");
  if (!event) return;
  event->retain();
  if (atStart) mQueue.push_front(event);
  else mQueue.push_back(event);
}

void NSApplication::sendEvent(NSEvent* event)
{
  if (!event) return;
  event->placeInWindow();
  NSWindow* w = event->window();
  if (w && w->ignoresMouseEvents() && AKIsMouseEventType(event->type()))
  {
    // The mouse goes through such a window: its crossings are none, and the rest
    // goes to the window under it there.
    if (event->type() == NSMouseEntered || event->type() == NSMouseExited) return;
    const NSPoint screen = w->convertBaseToScreen(event->locationInWindow());
    w = windowAtPoint(screen);
    if (!w) return;
    event = event->eventForWindow(w, w->convertScreenToBase(screen));
  }
  if (mFilter)
  {
    // The filter may end the interaction that set it.
    auto filter = mFilter;
    if (filter(event)) return;
  }
  const bool key = event->type() == NSKeyDown || event->type() == NSKeyUp || event->type() == NSFlagsChanged;
  if (NSWindow* modal = modalWindow())
  {
    // A modal session hands the mouse and the keys only to its window and what
    // belongs to it (its menus, child and owned windows). The keys go there from
    // whichever of our windows the desktop gave them to: to the key window when it
    // belongs to the session, else to the modal window. A press on another window
    // brings the modal one forward; the rest of the mouse there waits.
    AKModalSession* session = mSessions.back();
    if (isUserInput(event) && (belongsToModal(w) || AKIsMouseEventType(event->type()))) session->unseen = false;
    if (key && !belongsToModal(w))
    {
      // Keys typed at another window of ours reach a session that came up by itself
      // only once the user acted on it: the desktop may have given that window the
      // keyboard without the user (a manager that hands the keyboard of a new window
      // that takes none to the window it belongs to), while the user types for another
      // program.
      if (session->unseen) return;
      NSWindow* to = belongsToModal(mKeyWindow) ? mKeyWindow : modal;
      // A session whose window is hidden (with its owner, say) takes keys only once
      // it is shown again: a Return typed elsewhere never answers what nobody sees.
      if (!to->isVisible()) return;
      if (w) event = event->eventForWindow(to, event->locationInWindow());
      w = to;
    }
    else if (w && AKIsMouseEventType(event->type()) && !belongsToModal(w))
    {
      const NSEventType t = event->type();
      if (t == NSLeftMouseDown || t == NSRightMouseDown || t == NSOtherMouseDown)
      {
        modal->makeKeyAndOrderFront(nullptr);
        if (mPresenter && mayTakeKeyboard(isUserInput(event))) mPresenter->focusWindow(modal);
      }
      return;
    }
  }
  if (!w && key) w = mKeyWindow;
  NSEvent* previous = mCurrentEvent;
  mCurrentEvent = event;
  if (isUserInput(event)) ++mUserInputs;
  event->retain();
  // A key of the menu bar's items goes to its item before any window sees it.
  // Only keys no text field types: with a modifier, or a function key.
  const std::u16string& typed = event->type() == NSKeyDown ? event->charactersIgnoringModifiers() : std::u16string();
  const bool functionKey = typed.size() == 1 && typed[0] >= 0xF700 && typed[0] <= 0xF8FF;
  const bool equivalent =
      event->type() == NSKeyDown && mMainMenu &&
      ((event->modifierFlags() & (NSCommandKeyMask | NSControlKeyMask | NSAlternateKeyMask)) || functionKey) &&
      mMainMenu->performKeyEquivalent(event);
  if (w && !equivalent) w->sendEvent(event);
  mCurrentEvent = previous;
  event->release();
}

bool NSApplication::handlingUserInput() const { return mCurrentEvent && isUserInput(mCurrentEvent); }

bool NSApplication::mayTakeKeyboard(bool forUser) const
{
  return forUser || !mPresenter || !mPresenter->anotherProgramHasKeyboard();
}

bool NSApplication::dispatchQueuedEvents()
{
  bool any = false;
  // Events posted while these are handled wait for the next turn.
  size_t n = mQueue.size();
  while (n-- && !mQueue.empty())
  {
    NSEvent* e = mQueue.front();
    mQueue.pop_front();
    sendEvent(e);
    e->release();
    any = true;
  }
  return any;
}

void NSApplication::run()
{
  mStopped = false;
  mRunning = true;
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  auto anyVisible = [this]() {
    for (NSWindow* w : mWindows)
      if (w->isVisible()) return true;
    return false;
  };
  while (!mStopped && anyVisible()) loop->runMode(NSDefaultRunLoopMode, loop->now() + 1.0);
  mRunning = false;
}

NSModalAnswers* NSApplication::modalAnswers() const
{
  if (mScript) return mScript;
  return mPresenter.get();
}

bool NSApplicationLoad()
{
  NSApplication::sharedApplication();
  return true;
}

// ---- modal sessions ----

NSModalSession NSApplication::beginModalSessionForWindow(NSWindow* window)
{
  AKAssertMainThread("NSApplication::beginModalSessionForWindow");
  if (!window) return nullptr;
  std::vector<NSInteger> owners;
  // Bounded: an owner chain could be made to loop.
  for (NSWindow* o = window->ownerWindow(); o && owners.size() < 32; o = o->ownerWindow())
    if (!o->isClosed()) owners.push_back(o->windowNumber());
  const bool takes = mayTakeKeyboard(handlingUserInput());
  AKModalSession* s = new AKModalSession{AKRetain(window), false, NSModalResponseContinue,
                                         mKeyWindow && mKeyWindow != window ? mKeyWindow->windowNumber() : 0,
                                         false, !takes, std::move(owners)};
  // A session that comes up by itself (a job's end) while the user types in another
  // program asks for attention; it takes the keyboard only when shown for the user's
  // own input or from one of our windows. Asked before it shows: a manager reads it
  // at the map.
  if (!takes && mPresenter) mPresenter->requestAttention(window);
  mSessions.push_back(s);
  window->orderFront(nullptr);
  if (takes)
  {
    window->makeKeyWindow();
    if (mPresenter) mPresenter->focusWindow(window);
  }
  return s;
}

NSInteger NSApplication::runModalSession(NSModalSession session)
{
  if (!session) return NSModalResponseAbort;
  NSRunLoop::currentRunLoop()->runOnce(NSModalPanelRunLoopMode);
  if (session->stopped) return session->code;
  // Nothing could stop the run of a window that is gone, nor should a dialog stay on
  // once a window it belongs to closed: the editor's window closed under its Save
  // panel ends the panel and the alert over it. An owner only hidden (miniaturized)
  // is still there, and the dialog with it.
  if (session->window->isClosed()) return NSModalResponseAbort;
  for (NSInteger number : session->owners)
  {
    NSWindow* owner = windowWithNumber(number);
    if (!owner || owner->isClosed()) return NSModalResponseAbort;
  }
  return NSModalResponseContinue;
}

NSInteger NSApplication::runModalForWindow(NSWindow* window) { return runModalForWindow(window, nullptr); }

NSInteger NSApplication::runModalForWindow(NSWindow* window, const std::function<bool()>& answered)
{
  NSModalSession session = beginModalSessionForWindow(window);
  if (!session) return NSModalResponseAbort;
  AKRetain(window);
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  // The answer is looked at before each turn too: one recorded while a nested session
  // ran ends this one as soon as it has control again, before anything else is handled.
  uint64_t inputs = mUserInputs;
  const auto done = [&]() {
    if (!answered || !answered()) return false;
    session->byUser = mUserInputs != inputs;  // recorded in a turn that had the user's input
    return true;
  };
  NSInteger code;
  for (;;)
  {
    code = NSModalResponseStop;
    if (done()) break;
    inputs = mUserInputs;
    if ((code = runModalSession(session)) != NSModalResponseContinue) break;
    code = NSModalResponseStop;
    if (done()) break;
    inputs = mUserInputs;
    loop->runMode(NSModalPanelRunLoopMode, loop->now() + 0.25);
  }
  endModalSession(session);
  AKRelease(window);
  return code;
}

void NSApplication::stopModalWithCode(NSInteger code)
{
  if (mSessions.empty()) return;
  mSessions.back()->stopped = true;
  mSessions.back()->code = code;
  mSessions.back()->byUser = handlingUserInput();
}

void NSApplication::endModalSession(NSModalSession session)
{
  auto it = std::find(mSessions.begin(), mSessions.end(), session);
  if (it == mSessions.end()) return;
  mSessions.erase(it);
  // The keyboard goes back to the window that had it before the session (another
  // dialog still open, say), unless the user has chosen another one meanwhile: one
  // of ours, or another program's (a session ended by itself while the user types
  // there leaves the keyboard where it is).
  NSWindow* before = windowWithNumber(session->previousKey);
  NSWindow* now = mKeyWindow;
  if (before && before->isVisible() && (!now || now == session->window) && mayTakeKeyboard(session->byUser))
  {
    before->makeKeyWindow();
    if (mPresenter) mPresenter->focusWindow(before);
  }
  AKRelease(session->window);
  delete session;
}

NSWindow* NSApplication::modalWindow() const { return mSessions.empty() ? nullptr : mSessions.back()->window; }

void NSApplication::hide(NSObject*)
{
  if (mHidden) return;
  mHidden = true;
  mHiddenWindows.clear();
  const std::vector<NSWindow*> windows(mWindows);
  for (NSWindow* w : windows)
    if (w->isVisible())
    {
      mHiddenWindows.push_back(w);
      w->orderOut(nullptr);
    }
}

void NSApplication::unhide(NSObject*)
{
  if (!mHidden) return;
  mHidden = false;
  for (NSWindow* w : std::vector<NSWindow*>(mHiddenWindows))
    // Only windows still open come back.
    if (std::find(mWindows.begin(), mWindows.end(), w) != mWindows.end()) w->orderFront(nullptr);
  mHiddenWindows.clear();
}
