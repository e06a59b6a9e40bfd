#pragma once
// For tests and benchmarks: a private X server (Xvfb) per process, and a second
// client of it that sends input to windows as another program would
// (XSendEvent), or as the server's own mouse and keyboard give it (XTest), and reads
// their pixels back (XGetImage). Xlib stays inside this
// folder; callers see plain types.

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

class AKXvfb
{
public:
  AKXvfb() = default;
  ~AKXvfb() { stop(); }
  AKXvfb(const AKXvfb&) = delete;
  AKXvfb& operator=(const AKXvfb&) = delete;

  // Starts "Xvfb -displayfd" on a free display of width x height x 24 and waits (at
  // most 15 s) until it is ready; false with the reason otherwise. When
  // DAVREL_TEST_WM names a window manager (openbox, twm), it is started on the
  // display too, and start returns once it manages the root window, so the tests
  // run on a desktop as users have one.
  bool start(std::string* error, int width = 1920, int height = 1080);
  // Stops the window manager's process (SIGSTOP) or lets it go on: what clients ask
  // of it meanwhile waits for it, in order. Nothing without a manager.
  void pauseManager(bool pause);
  // Kills the window manager (SIGKILL, stopped or not, as a crash ends it) and starts
  // another by name ("" for none; kRefusingManager for one that refuses every
  // configure request), returning once it manages the root.
  bool replaceManager(const std::string& name, std::string* error);
  // A manager of a few lines: it maps what is asked and answers every configure
  // request with a synthetic ConfigureNotify of the unchanged place (ICCCM 4.1.5).
  static const char* const kRefusingManager;
  // Whether a window another client maps now is shown within the time: the manager
  // takes maps, and nobody holds the server. The client is a process of its own, so a
  // server held for good holds none of ours.
  bool managerAnswers(double seconds);
  // SIGKILL to the manager, then SIGTERM to the server, waiting for each.
  void stop();
  const std::string& display() const { return mDisplay; }
  // The window manager running on the display ("" for none).
  const std::string& manager() const { return mManager; }

private:
  bool startManager(const std::string& name, std::string* error);

  pid_t mPid = -1;
  pid_t mManagerPid = -1;
  std::string mManager;
  std::string mDisplay;
};

// A client of the display that drives windows by their X window id.
class AKX11Driver
{
public:
  explicit AKX11Driver(const std::string& display);
  ~AKX11Driver();
  AKX11Driver(const AKX11Driver&) = delete;
  AKX11Driver& operator=(const AKX11Driver&) = delete;
  bool ok() const { return mDisplay != nullptr; }

  // Button 1 left, 3 right, 4 and 5 the wheel up and down; (x, y) in the window.
  void press(unsigned long window, int x, int y, int button, unsigned state = 0);
  void release(unsigned long window, int x, int y, int button, unsigned state = 0);
  void click(unsigned long window, int x, int y, int button = 1);
  void motion(unsigned long window, int x, int y, unsigned state = 0);
  // Moves the pointer to a point of the screen (pixels, y down) as a hand would:
  // the server reports the motion to the window under it.
  void movePointer(int x, int y);
  // Moves the pointer by (dx, dy) in one motion of the mouse itself (XTest): the
  // server stops the pointer at the screen's edge and tells raw-motion listeners how
  // far the mouse went.
  void moveMouseBy(int dx, int dy);
  // Presses (down) or lets go of a key by its X key symbol, or a mouse button, on the
  // server's own keyboard and mouse (XTest): its state for every program, and events
  // for the window that takes them.
  void holdKey(const std::string& keysymName, bool down);
  void holdButton(int button, bool down);
  // True while a client holds the pointer (a grab another client cannot take).
  bool pointerGrabbed();
  // Where the pointer is on the screen (pixels, y down).
  void pointer(int* x, int* y);
  // The top-level window the server shows at a point of the screen (pixels, y down);
  // 0 for none.
  unsigned long windowAt(int x, int y);
  // A key by its X key symbol (as XStringToKeysym names it: "k", "Return", "Up").
  void key(unsigned long window, const std::string& keysymName, unsigned state = 0);
  // The window manager's close request (WM_DELETE_WINDOW).
  void requestClose(unsigned long window);
  // Where the window is on the screen (its top-left corner, pixels, y down) and its
  // size; false when the server does not know it.
  bool geometry(unsigned long window, int* x, int* y, int* width, int* height);
  // The outer top-left corner on the screen of the top-level window that holds the
  // window: a window manager's frame, or the window itself.
  bool frame(unsigned long window, int* x, int* y);
  // The window manager's normal hints: the place asked for (x, y; -1 when none is) and
  // the fixed size (0 when the size is free); false when the window has none.
  bool normalHints(unsigned long window, int* x, int* y, int* fixedWidth, int* fixedHeight);
  // Viewable (mapped, with its parents).
  bool viewable(unsigned long window);
  bool overrideRedirect(unsigned long window);
  // A top-level window whose name is the text, inside a window manager's frame
  // too; 0 when there is none.
  unsigned long findWindow(const std::string& name);
  // The window that has the keyboard focus (0 for none, 1 for the pointer's root).
  unsigned long inputFocus();
  // Moves a top-level window's corner to a point of the screen (pixels, y down), as a
  // user would through the window manager, which is asked where there is one.
  void move(unsigned long window, int x, int y);
  // Raises the top-level window that holds the window as another program may: that
  // window directly (a manager whose frames are override-redirect never hears of it)
  // and through the manager; true once the server stacks it above the one holding
  // over (waited for at most 2 s).
  bool raiseOver(unsigned long window, unsigned long over);
  // Minimises the window as a user does, through the window manager (ICCCM 4.1.4).
  void iconify(unsigned long window);
  // Maximises the window (on) or gives it back its size (off), as a user does, through
  // the window manager (EWMH's _NET_WM_STATE, asked as a pager asks).
  void maximize(unsigned long window, bool on);
  // From watchParent on, how many times the window went back to the root from
  // another parent: a window manager let it go.
  void watchParent(unsigned long window);
  int timesLetGo(unsigned long window);
  // Gives the window the keyboard focus, as a window manager would.
  void focus(unsigned long window);
  // Tells the window where it is (its corner on the screen, pixels, y down, and size)
  // as a window manager tells it, by a synthetic ConfigureNotify.
  void tellPlace(unsigned long window, int x, int y, int width, int height);
  // The window's pixels as 0x00RRGGBB, rows top-down; with alpha, 0xAARRGGBB (alpha
  // 0xFF for a window without it). False when it cannot be read.
  bool read(unsigned long window, int* width, int* height, std::vector<uint32_t>* pixels, bool alpha = false);
  // What the window tells the window manager: the window it is transient for (0 for
  // none), the names of the atoms of an ATOM list property (_NET_WM_WINDOW_TYPE,
  // _NET_WM_STATE), and its class ("name.Class"; empty for none).
  unsigned long transientFor(unsigned long window);
  std::vector<std::string> atoms(unsigned long window, const std::string& property);
  std::string windowClass(unsigned long window);
  // A 32-bit CARDINAL property of the window (its item at index, of a list); false when
  // it has none.
  bool cardinal(unsigned long window, const std::string& property, unsigned long* value, int index = 0);
  void sync();
  // Holds every other client's requests until let go (XGrabServer): what they ask
  // meanwhile is done after what the driver asks.
  void grabServer(bool on);
  // A window of the driver's own over part of the screen (pixels, y down), above the
  // others and out of any window manager's hands, that keeps the presses and keys made
  // over it: neither the root's owner (a manager's menus) nor anyone else hears them.
  // Gone with unshield.
  unsigned long shield(int x, int y, int width, int height);
  void unshield(unsigned long window);
  // A titled window of the driver's own, as another program shows one (a window
  // manager frames it), mapped at a point of the screen (pixels, y down); gone with
  // unshield.
  unsigned long programWindow(const std::string& title, int x, int y, int width, int height);

private:
  void* mDisplay = nullptr;
  std::map<unsigned long, int> mLetGo;
};
