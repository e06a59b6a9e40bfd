#pragma once
// The application: its windows, the event queue, the presenter that shows the
// windows on a screen, and the one place every modal interaction asks for its
// answer.
//
// The presenter is chosen at the first use of the application: the one installed
// by setPresenter, else X11 when DISPLAY names a display that opens (and
// DAVREL_PRESENTER is not "headless"), else headless.

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class NSAlert;
class NSMenu;
class NSMenuItem;
class NSSavePanel;
class NSPresenter;
class NSTimer;
struct HWND__;

// The application's delegate. Every call is optional, as a delegate's methods are:
// a caller first asks respondsToSelector with the call's selector name, and a
// delegate answers for the calls it overrides. The window-system layer's posted
// messages go through the three swellPostMessage calls; a program that hosts the
// layer installs a delegate answering them (a plug-in's host has none).
class NSApplicationDelegate : public NSObject
{
public:
  virtual bool respondsToSelector(SEL) const { return false; }
  // "swellPostMessage:msg:wp:lp:": any thread; true when the message was queued.
  virtual bool swellPostMessage(HWND__*, unsigned, uintptr_t, intptr_t) { return false; }
  // "swellPostMessageClearQ:": drops what was queued for the window (all for null).
  virtual void swellPostMessageClearQ(HWND__*) {}
  // "swellPostMessageTick:": main thread, from the queue's repeating timer.
  virtual void swellPostMessageTick(NSTimer*) {}
};

// Where the answers of modal interactions come from: the presenter (a person at
// the screen) or a test's script.
class NSModalAnswers
{
public:
  virtual ~NSModalAnswers() = default;
  // The item chosen from the menu or one of its submenus; null when the menu was
  // dismissed. location: screen coordinates of the menu's top-left corner.
  virtual NSMenuItem* menuChoice(NSMenu* menu, NSPoint location, NSView* view) = 0;
  // 1 (NSOKButton) with the chosen path, or 0 (NSCancelButton).
  virtual NSInteger panelAnswer(NSSavePanel* panel, std::string* path) = 0;
  // The same for a panel that may return several paths; by default the one path.
  virtual NSInteger panelAnswers(NSSavePanel* panel, std::vector<std::string>* paths)
  {
    std::string path;
    const NSInteger answer = panelAnswer(panel, &path);
    if (paths) *paths = {path};
    return answer;
  }
  // NSAlertFirstButtonReturn + the index of the button pressed.
  virtual NSInteger alertAnswer(NSAlert* alert) = 0;
};

// A modal run of a window, stepped by the caller.
struct AKModalSession;
typedef AKModalSession* NSModalSession;
enum : NSInteger
{
  NSModalResponseStop = -1000,
  NSModalResponseAbort = -1001,
  NSModalResponseContinue = -1002
};

class NSApplication : public NSResponder
{
public:
  // Made (with its presenter) on first use; lives until the process ends or
  // shutdown is called.
  static NSApplication* sharedApplication();
  // Before first use: the presenter to use (the application owns it).
  static void setPresenter(std::unique_ptr<NSPresenter> presenter);
  // Ends the application and its presenter (tests that switch presenters).
  static void shutdown();
  static bool exists();

  NSPresenter* presenter() const { return mPresenter.get(); }

  // Not retained, as the platform keeps its delegate. Set on the main thread; read
  // from any thread (posting from a worker asks it).
  NSApplicationDelegate* delegate() const { return mDelegate.load(std::memory_order_acquire); }
  void setDelegate(NSApplicationDelegate* d) { mDelegate.store(d, std::memory_order_release); }

  // ---- windows ----
  const std::vector<NSWindow*>& windows() const { return mWindows; }
  // The windows front to back: higher levels first, and within a level the one
  // ordered front last first (a new window counts as ordered front when made).
  std::vector<NSWindow*> orderedWindows() const;
  // The front shown window whose frame holds the screen point, passing over windows
  // that ignore mouse events (the mouse goes through them); null for none.
  NSWindow* windowAtPoint(NSPoint screen) const;
  NSWindow* keyWindow() const { return mKeyWindow; }
  // The kit keeps no separate main window: the key window is it.
  NSWindow* mainWindow() const { return mKeyWindow; }
  // The kit has no activation of its own among the desktop's programs: the
  // application is active while one of its windows is key.
  bool isActive() const { return mKeyWindow != nullptr; }
  NSWindow* windowWithNumber(NSInteger number) const;

  // ---- presentation ----
  // Recorded for callers that ask; the desktop's dock and menu bar are its own.
  NSUInteger presentationOptions() const { return mPresentationOptions; }
  void setPresentationOptions(NSUInteger o) { mPresentationOptions = o; }
  // Orders out the visible windows until unhide shows them again.
  void hide(NSObject* sender);
  void unhide(NSObject* sender);
  bool isHidden() const { return mHidden; }

  // ---- the menu bar ----
  // The application's menu (retained); null before one is set.
  NSMenu* mainMenu() const { return mMainMenu; }
  void setMainMenu(NSMenu* menu);

  // ---- events ----
  // Queues the event (retained) for the next turn of the run loop.
  void postEvent(NSEvent* event, bool atStart);
  // Hands the event to its window (key events to the key window when it has none),
  // unless the event filter takes it. A mouse event of a window that ignores mouse
  // events goes to the window under it there, or nowhere.
  virtual void sendEvent(NSEvent* event);
  // A modal interaction in progress sees every event first; true keeps it from its
  // window. Null removes it.
  void setEventFilter(std::function<bool(NSEvent*)> filter) { mFilter = std::move(filter); }
  // Sends the queued events; true when there were any.
  bool dispatchQueuedEvents();
  // The event being sent, or null between events.
  NSEvent* currentEvent() const { return mCurrentEvent; }
  // True while a key or a mouse button of the user's own is being sent (not one another
  // program made up and sent to our window).
  bool handlingUserInput() const;
  // Whether a window of ours may take the desktop's keyboard now: the user's own
  // input asks for it (forUser), or no other program's window has the keyboard.
  // Otherwise a window that comes up asks for the user's attention instead.
  bool mayTakeKeyboard(bool forUser) const;
  size_t queuedEvents() const { return mQueue.size(); }

  // ---- running ----
  // Turns the run loop until stop or until no window is visible.
  void run();
  void stop(NSObject*) { mStopped = true; }
  bool isRunning() const { return mRunning; }

  // ---- modal sessions ----
  // Shows the window and makes it the modal one until its session ends.
  NSModalSession beginModalSessionForWindow(NSWindow* window);
  // One turn of the run loop in the modal mode; NSModalResponseContinue until the
  // session is stopped, then the code it was stopped with. NSModalResponseAbort once
  // its window is closed, or any window of its chain of owners open at the start is
  // closed or gone (hidden is not gone).
  NSInteger runModalSession(NSModalSession session);
  // Runs the window as the modal one until a session's turn ends it (above).
  NSInteger runModalForWindow(NSWindow* window);
  // The same, also ended with NSModalResponseStop as soon as answered() holds, looked
  // at before and after each turn: for the kit's own dialogs, whose controls record
  // their answer, and for a dialog ended while another ran over it.
  NSInteger runModalForWindow(NSWindow* window, const std::function<bool()>& answered);
  // Stops the innermost session.
  void stopModal() { stopModalWithCode(NSModalResponseStop); }
  void stopModalWithCode(NSInteger code);
  // Stops the innermost session with NSModalResponseAbort, whatever event is being sent.
  void abortModal() { stopModalWithCode(NSModalResponseAbort); }
  void endModalSession(NSModalSession session);
  // The window of the innermost session, or null.
  NSWindow* modalWindow() const;
  // True when no session runs, or the window is the innermost session's, one of its
  // child or owned windows, or a menu.
  bool belongsToModal(NSWindow* w) const;

  // ---- modal interactions ----
  // The current answer source: a test's script when one is set, else the presenter's.
  NSModalAnswers* modalAnswers() const;
  NSModalAnswers* scriptedAnswers() const { return mScript; }
  // Null gives the presenter's back. Not owned.
  void setModalAnswers(NSModalAnswers* answers) { mScript = answers; }

  // ---- kit internals ----
  void registerWindow(NSWindow* w);
  void unregisterWindow(NSWindow* w);
  void setKeyWindow(NSWindow* w);
  void windowOrderedFront(NSWindow* w);

protected:
  ~NSApplication() override;

private:
  NSApplication();

  std::unique_ptr<NSPresenter> mPresenter;
  std::atomic<NSApplicationDelegate*> mDelegate{nullptr};
  std::vector<NSWindow*> mWindows;
  std::vector<NSWindow*> mStack;  // back to front within each level
  NSWindow* mKeyWindow = nullptr;
  NSMenu* mMainMenu = nullptr;
  std::deque<NSEvent*> mQueue;
  NSModalAnswers* mScript = nullptr;
  std::function<bool(NSEvent*)> mFilter;
  std::vector<AKModalSession*> mSessions;
  NSEvent* mCurrentEvent = nullptr;
  uint64_t mUserInputs = 0;  // keys and mouse buttons of the user's sent so far
  bool mStopped = false, mRunning = false;
  NSUInteger mPresentationOptions = 0;
  bool mHidden = false;
  std::vector<NSWindow*> mHiddenWindows;  // not retained; checked against mWindows
};

extern NSApplication* NSApp;

// Prepares the kit inside a host that is not an application of it; true.
bool NSApplicationLoad();
