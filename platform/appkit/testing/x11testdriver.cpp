#include "platform/appkit/testing/X11TestDriver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>
#include <vector>

extern char** environ;

bool AKXvfb::start(std::string* error, int width, int height)
{
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
  {
    *error = "no pipe";
    return false;
  }
  // The child's end as descriptor 3 (not close-on-exec), named on the command line.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-ac", nullptr};
  const int rc = posix_spawnp(&mPid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0)
  {
    close(fds[0]);
    mPid = -1;
    *error = std::string("cannot start Xvfb: ") + strerror(rc);
    return false;
  }
  std::string number;
  for (int waited = 0; waited < 15000;)
  {
    pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0)
    {
      waited += 100;
      int status;
      if (waitpid(mPid, &status, WNOHANG) == mPid)
      {
        mPid = -1;
        break;
      }
      continue;
    }
    char c;
    const ssize_t n = read(fds[0], &c, 1);
    if (n <= 0 || c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (number.empty())
  {
    stop();
    *error = "Xvfb gave no display";
    return false;
  }
  mDisplay = ":" + number;
  const char* wm = getenv("DAVREL_TEST_WM");
  if (wm && *wm && !startManager(wm, error))
  {
    stop();
    return false;
  }
  return true;
}

namespace {
void endChild(pid_t* pid, int signal = SIGTERM)
{
  if (*pid <= 0) return;
  kill(*pid, signal);
  kill(*pid, SIGCONT);  // a manager paused by a test that failed on the way
  int status;
  while (waitpid(*pid, &status, 0) < 0 && errno == EINTR)
  {
  }
  *pid = -1;
}
}  // namespace

bool AKXvfb::startManager(const std::string& name, std::string* error)
{
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (strncmp(*e, "DISPLAY=", 8) != 0) env.emplace_back(*e);
  env.push_back("DISPLAY=" + mDisplay);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {name.c_str(), nullptr};
  const int rc = posix_spawnp(&mManagerPid, name.c_str(), &actions, nullptr, const_cast<char**>(argv), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
  {
    mManagerPid = -1;
    *error = "cannot start the window manager " + name + ": " + strerror(rc);
    return false;
  }
  // A manager has taken the root's substructure redirection once the root's event
  // masks (every client's, or-ed) include it; asking for it ourselves would race the
  // manager's own request and make it give up.
  Display* d = XOpenDisplay(mDisplay.c_str());
  if (!d)
  {
    *error = "cannot open " + mDisplay + " to wait for the window manager";
    return false;
  }
  bool managed = false;
  const auto alive = [this]() {
    int status;
    if (waitpid(mManagerPid, &status, WNOHANG) != mManagerPid) return true;
    mManagerPid = -1;
    return false;
  };
  for (int waited = 0; waited < 15000 && !managed && alive(); waited += 20)
  {
    XWindowAttributes a;
    if (XGetWindowAttributes(d, DefaultRootWindow(d), &a) && (a.all_event_masks & SubstructureRedirectMask))
      managed = true;
    else
      usleep(20000);
  }
  // Taking the redirection comes early in a manager's start: a map asked for before
  // it is ready may be lost (openbox dropped a test's first window now and then).
  // Ready is when a window of ours shown now is managed (given WM_STATE); asked
  // again every 100 ms while it is still unmapped on the root (the request lost), as
  // a test per process waits for this.
  if (managed)
  {
    managed = false;
    XSetWindowAttributes wa{};
    const Window probe = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, CopyFromParent, InputOutput,
                                       (Visual*)CopyFromParent, 0, &wa);
    // Placed by us: a manager may otherwise ask the user to place it (twm does, the
    // whole server grabbed meanwhile).
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = USPosition | USSize;
    hints->width = hints->height = 1;
    XSetWMNormalHints(d, probe, hints);
    XFree(hints);
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    for (int waited = 0; waited < 15000 && !managed && alive(); waited += 20)
    {
      XWindowAttributes a;
      Window root, parent = 0, *children = nullptr;
      unsigned count = 0;
      if (waited % 100 == 0 && XGetWindowAttributes(d, probe, &a) && a.map_state == IsUnmapped &&
          XQueryTree(d, probe, &root, &parent, &children, &count) && parent == root)
        XMapWindow(d, probe);
      if (children) XFree(children);
      Atom type = None;
      int format = 0;
      unsigned long n = 0, rest = 0;
      unsigned char* data = nullptr;
      XGetWindowProperty(d, probe, wmState, 0, 1, False, AnyPropertyType, &type, &format, &n, &rest, &data);
      if (data) XFree(data);
      managed = type != None;
      if (!managed) usleep(20000);
    }
    XDestroyWindow(d, probe);
    XSync(d, False);
  }
  XCloseDisplay(d);
  if (!managed)
  {
    *error = "the window manager " + name + " did not take the display";
    return false;
  }
  mManager = name;
  return true;
}

const char* const AKXvfb::kRefusingManager = DAVREL_REFUSING_WM;

bool AKXvfb::replaceManager(const std::string& name, std::string* error)
{
  if (mManagerPid > 0)
  {
    kill(mManagerPid, SIGKILL);
    int status;
    while (waitpid(mManagerPid, &status, 0) < 0 && errno == EINTR)
    {
    }
    mManagerPid = -1;
  }
  mManager.clear();
  return name.empty() || startManager(name, error);
}

void AKXvfb::pauseManager(bool pause)
{
  if (mManagerPid > 0) kill(mManagerPid, pause ? SIGSTOP : SIGCONT);
}

bool AKXvfb::managerAnswers(double seconds)
{
  const pid_t child = fork();
  if (child == 0)
  {
    Display* d = XOpenDisplay(mDisplay.c_str());
    if (!d) _exit(2);
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 8, 8, 0, 0, 0);
    XSizeHints hints{};  // placed where it says: a manager may otherwise ask the user where
    hints.flags = USPosition;
    XSetWMNormalHints(d, w, &hints);
    XSelectInput(d, w, StructureNotifyMask);
    XMapWindow(d, w);
    for (XEvent e;;)
      if (XNextEvent(d, &e) == 0 && e.type == MapNotify) _exit(0);
  }
  if (child < 0) return false;
  int status = 0;
  for (int waited = 0; waited < (int)(seconds * 1000); waited += 20)
  {
    if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    usleep(20000);
  }
  kill(child, SIGKILL);
  while (waitpid(child, &status, 0) < 0 && errno == EINTR)
  {
  }
  return false;
}

void AKXvfb::stop()
{
  // Killed, as the server goes next and takes what it would tidy: fluxbox, told to end
  // while it still loads its style, hangs in its own handler of the signal.
  endChild(&mManagerPid, SIGKILL);
  mManager.clear();
  endChild(&mPid);
}

#define DPY ((Display*)mDisplay)

namespace {
// A window that went away meanwhile is an answer (not viewable), not the end of the process.
int ignoreXError(Display*, XErrorEvent*) { return 0; }
}  // namespace

AKX11Driver::AKX11Driver(const std::string& display)
{
  mDisplay = XOpenDisplay(display.c_str());
  XSetErrorHandler(ignoreXError);
}

AKX11Driver::~AKX11Driver()
{
  if (mDisplay) XCloseDisplay(DPY);
}

namespace {

void button(Display* d, Window w, int type, int x, int y, int b, unsigned state)
{
  XEvent e{};
  e.xbutton.type = type;
  e.xbutton.display = d;
  e.xbutton.window = w;
  e.xbutton.root = DefaultRootWindow(d);
  e.xbutton.x = x;
  e.xbutton.y = y;
  e.xbutton.state = state;
  e.xbutton.button = (unsigned)b;
  e.xbutton.same_screen = True;
  XSendEvent(d, w, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
}

}  // namespace

void AKX11Driver::press(unsigned long window, int x, int y, int b, unsigned state)
{
  button(DPY, window, ButtonPress, x, y, b, state);
  XFlush(DPY);
}

void AKX11Driver::release(unsigned long window, int x, int y, int b, unsigned state)
{
  const unsigned held = b == 1 ? Button1Mask : (b == 3 ? Button3Mask : 0);
  button(DPY, window, ButtonRelease, x, y, b, state | held);
  XFlush(DPY);
}

void AKX11Driver::click(unsigned long window, int x, int y, int b)
{
  press(window, x, y, b);
  release(window, x, y, b);
}

void AKX11Driver::motion(unsigned long window, int x, int y, unsigned state)
{
  XEvent e{};
  e.xmotion.type = MotionNotify;
  e.xmotion.display = DPY;
  e.xmotion.window = window;
  e.xmotion.root = DefaultRootWindow(DPY);
  e.xmotion.x = x;
  e.xmotion.y = y;
  e.xmotion.state = state;
  e.xmotion.same_screen = True;
  XSendEvent(DPY, window, False, PointerMotionMask, &e);
  XFlush(DPY);
}

void AKX11Driver::movePointer(int x, int y)
{
  XWarpPointer(DPY, None, DefaultRootWindow(DPY), 0, 0, 0, 0, x, y);
  // Synced: a caller that finds the pointer already there goes on at once, and a move
  // still on its way would land after whatever the program does next (a hold's warp).
  XSync(DPY, False);
}

void AKX11Driver::moveMouseBy(int dx, int dy)
{
  XTestFakeRelativeMotionEvent(DPY, dx, dy, CurrentTime);
  XSync(DPY, False);
}

void AKX11Driver::holdKey(const std::string& keysymName, bool down)
{
  XTestFakeKeyEvent(DPY, XKeysymToKeycode(DPY, XStringToKeysym(keysymName.c_str())), down, CurrentTime);
  XSync(DPY, False);
}

void AKX11Driver::holdButton(int b, bool down)
{
  XTestFakeButtonEvent(DPY, (unsigned)b, down, CurrentTime);
  XSync(DPY, False);
}

bool AKX11Driver::pointerGrabbed()
{
  const int r = XGrabPointer(DPY, DefaultRootWindow(DPY), False, 0, GrabModeAsync, GrabModeAsync, None, None,
                             CurrentTime);
  if (r == GrabSuccess) XUngrabPointer(DPY, CurrentTime);
  XSync(DPY, False);
  return r == AlreadyGrabbed;
}

void AKX11Driver::pointer(int* x, int* y)
{
  Window root, child;
  int wx, wy;
  unsigned mask;
  XQueryPointer(DPY, DefaultRootWindow(DPY), &root, &child, x, y, &wx, &wy, &mask);
}

namespace {

bool hasWmState(Display* d, Window w)
{
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(d, w, XInternAtom(d, "WM_STATE", False), 0, 0, False, AnyPropertyType, &type, &format, &n, &rest,
                     &data);
  if (data) XFree(data);
  return type != None;
}

// The first window below top, breadth first to a depth (a manager puts a program's
// window inside a frame: twm one level down, openbox two) that match takes; the
// children of each window from the top of its stacking down when topFirst. 0 for none.
Window firstBelow(Display* d, Window top, bool topFirst, const std::function<bool(Window)>& match)
{
  std::vector<Window> level{top};
  for (int depth = 0; depth < 4 && !level.empty(); ++depth)
  {
    std::vector<Window> next;
    for (Window w : level)
    {
      Window root, parent, *children = nullptr;
      unsigned n = 0;
      if (!XQueryTree(d, w, &root, &parent, &children, &n)) continue;
      for (unsigned k = 0; k < n; ++k)
      {
        const Window child = children[topFirst ? n - 1 - k : k];
        if (match(child))
        {
          XFree(children);
          return child;
        }
        next.push_back(child);
      }
      if (children) XFree(children);
    }
    level.swap(next);
  }
  return 0;
}

// The client window inside a manager's frame (the descendant that carries WM_STATE),
// or the window itself when it is no frame (no manager, or an override-redirect one).
Window clientOf(Display* d, Window top)
{
  if (hasWmState(d, top)) return top;
  const Window client = firstBelow(d, top, true, [d](Window w) { return hasWmState(d, w); });
  return client ? client : top;
}

}  // namespace

unsigned long AKX11Driver::windowAt(int x, int y)
{
  const Window root = DefaultRootWindow(DPY);
  Window child = 0;
  int cx, cy;
  XTranslateCoordinates(DPY, root, root, x, y, &cx, &cy, &child);
  return child ? clientOf(DPY, child) : 0;
}

void AKX11Driver::key(unsigned long window, const std::string& keysymName, unsigned state)
{
  const KeySym sym = XStringToKeysym(keysymName.c_str());
  XEvent e{};
  e.xkey.type = KeyPress;
  e.xkey.display = DPY;
  e.xkey.window = window;
  e.xkey.root = DefaultRootWindow(DPY);
  e.xkey.state = state;
  e.xkey.keycode = XKeysymToKeycode(DPY, sym);
  e.xkey.same_screen = True;
  XSendEvent(DPY, window, False, KeyPressMask, &e);
  e.xkey.type = KeyRelease;
  XSendEvent(DPY, window, False, KeyReleaseMask, &e);
  XFlush(DPY);
}

void AKX11Driver::requestClose(unsigned long window)
{
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(DPY, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(DPY, "WM_DELETE_WINDOW", False);
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(DPY, window, False, NoEventMask, &e);
  XFlush(DPY);
}

bool AKX11Driver::viewable(unsigned long window)
{
  XWindowAttributes a;
  return XGetWindowAttributes(DPY, window, &a) && a.map_state == IsViewable;
}

bool AKX11Driver::geometry(unsigned long window, int* x, int* y, int* width, int* height)
{
  Window root, child;
  int wx, wy;
  unsigned w, h, border, depth;
  if (!XGetGeometry(DPY, window, &root, &wx, &wy, &w, &h, &border, &depth) ||
      !XTranslateCoordinates(DPY, window, root, 0, 0, x, y, &child))
    return false;
  *width = (int)w;
  *height = (int)h;
  return true;
}

bool AKX11Driver::frame(unsigned long window, int* x, int* y)
{
  XWindowAttributes a;
  const auto holds = [&](Window w) { return clientOf(DPY, w) == window; };
  const Window top = firstBelow(DPY, DefaultRootWindow(DPY), true, holds);
  if (!top || !XGetWindowAttributes(DPY, top, &a)) return false;
  *x = a.x;  // the outer corner, its border included
  *y = a.y;
  return true;
}

bool AKX11Driver::raiseOver(unsigned long window, unsigned long over)
{
  const Window root = DefaultRootWindow(DPY);
  const auto topOf = [&](Window w) { return firstBelow(DPY, root, true, [&](Window t) { return clientOf(DPY, t) == w; }); };
  const Window top = topOf(window);
  if (!top) return false;
  XRaiseWindow(DPY, top);
  if (top != window) XRaiseWindow(DPY, window);
  for (int waited = 0; waited < 2000; waited += 20)
  {
    Window r, p, *children = nullptr;
    unsigned n = 0;
    XSync(DPY, False);
    const Window under = topOf(over);
    int at = -1, atUnder = -1;
    if (XQueryTree(DPY, root, &r, &p, &children, &n))
      for (unsigned k = 0; k < n; ++k)
      {
        if (children[k] == top) at = (int)k;
        if (children[k] == under) atUnder = (int)k;
      }
    if (children) XFree(children);
    if (at > atUnder && atUnder >= 0) return true;
    usleep(20000);
  }
  return false;
}

bool AKX11Driver::normalHints(unsigned long window, int* x, int* y, int* fixedWidth, int* fixedHeight)
{
  XSizeHints hints{};
  long supplied = 0;
  if (!XGetWMNormalHints(DPY, window, &hints, &supplied)) return false;
  const bool placed = hints.flags & (USPosition | PPosition);
  *x = placed ? hints.x : -1;
  *y = placed ? hints.y : -1;
  const bool fixed = (hints.flags & (PMinSize | PMaxSize)) == (PMinSize | PMaxSize) &&
                     hints.min_width == hints.max_width && hints.min_height == hints.max_height;
  *fixedWidth = fixed ? hints.min_width : 0;
  *fixedHeight = fixed ? hints.min_height : 0;
  return true;
}

unsigned long AKX11Driver::findWindow(const std::string& name)
{
  return firstBelow(DPY, DefaultRootWindow(DPY), false, [this, &name](Window w) {
    char* text = nullptr;
    const bool match = XFetchName(DPY, w, &text) && text && name == text;
    if (text) XFree(text);
    return match;
  });
}

unsigned long AKX11Driver::inputFocus()
{
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(DPY, &focus, &revert);
  return focus;
}

void AKX11Driver::move(unsigned long window, int x, int y)
{
  XMoveWindow(DPY, window, x, y);
  XSync(DPY, False);
}

void AKX11Driver::iconify(unsigned long window)
{
  XIconifyWindow(DPY, window, DefaultScreen(DPY));
  XSync(DPY, False);
}

void AKX11Driver::maximize(unsigned long window, bool on)
{
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(DPY, "_NET_WM_STATE", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = on ? 1 : 0;  // add, remove
  e.xclient.data.l[1] = (long)XInternAtom(DPY, "_NET_WM_STATE_MAXIMIZED_VERT", False);
  e.xclient.data.l[2] = (long)XInternAtom(DPY, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
  e.xclient.data.l[3] = 2;  // a pager, for the user
  XSendEvent(DPY, DefaultRootWindow(DPY), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XSync(DPY, False);
}

void AKX11Driver::watchParent(unsigned long window)
{
  XSelectInput(DPY, window, StructureNotifyMask);
  XSync(DPY, False);
  mLetGo[window] = 0;
}

int AKX11Driver::timesLetGo(unsigned long window)
{
  XSync(DPY, False);
  while (XPending(DPY))
  {
    XEvent e;
    XNextEvent(DPY, &e);
    if (e.type == ReparentNotify && e.xreparent.parent == DefaultRootWindow(DPY)) ++mLetGo[e.xreparent.window];
  }
  return mLetGo[window];
}

void AKX11Driver::focus(unsigned long window)
{
  XSetInputFocus(DPY, window, RevertToParent, CurrentTime);
  XSync(DPY, False);
}

void AKX11Driver::tellPlace(unsigned long window, int x, int y, int width, int height)
{
  XEvent e{};
  e.xconfigure.type = ConfigureNotify;
  e.xconfigure.event = window;
  e.xconfigure.window = window;
  e.xconfigure.x = x;
  e.xconfigure.y = y;
  e.xconfigure.width = width;
  e.xconfigure.height = height;
  XSendEvent(DPY, window, False, StructureNotifyMask, &e);
  XSync(DPY, False);
}

bool AKX11Driver::overrideRedirect(unsigned long window)
{
  XWindowAttributes a;
  return XGetWindowAttributes(DPY, window, &a) && a.override_redirect;
}

bool AKX11Driver::read(unsigned long window, int* width, int* height, std::vector<uint32_t>* pixels, bool alpha)
{
  XWindowAttributes a;
  if (!XGetWindowAttributes(DPY, window, &a)) return false;
  XImage* image = XGetImage(DPY, window, 0, 0, (unsigned)a.width, (unsigned)a.height, AllPlanes, ZPixmap);
  if (!image) return false;
  *width = a.width;
  *height = a.height;
  pixels->resize((size_t)a.width * (size_t)a.height);
  const uint32_t keep = alpha && a.depth == 32 ? 0xFFFFFFFFu : 0xFFFFFFu;
  const uint32_t add = alpha && a.depth != 32 ? 0xFF000000u : 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      (*pixels)[(size_t)y * a.width + x] = ((uint32_t)XGetPixel(image, x, y) & keep) | add;
  XDestroyImage(image);
  return true;
}

bool AKX11Driver::cardinal(unsigned long window, const std::string& property, unsigned long* value, int index)
{
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  const bool ok = XGetWindowProperty(DPY, window, XInternAtom(DPY, property.c_str(), False), index, 1, False, XA_CARDINAL,
                                     &type, &format, &n, &rest, &data) == Success &&
                  data && type == XA_CARDINAL && format == 32 && n == 1;
  if (ok) *value = *(const unsigned long*)data & 0xFFFFFFFFu;
  if (data) XFree(data);
  return ok;
}

unsigned long AKX11Driver::transientFor(unsigned long window)
{
  Window owner = 0;
  return XGetTransientForHint(DPY, window, &owner) ? owner : 0;
}

std::vector<std::string> AKX11Driver::atoms(unsigned long window, const std::string& property)
{
  std::vector<std::string> names;
  Atom type = None;
  int format = 0;
  unsigned long n = 0, rest = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(DPY, window, XInternAtom(DPY, property.c_str(), False), 0, 64, False, XA_ATOM, &type,
                         &format, &n, &rest, &data) == Success &&
      data && type == XA_ATOM && format == 32)
    for (unsigned long i = 0; i < n; ++i)
      if (char* name = XGetAtomName(DPY, ((const Atom*)data)[i]))
      {
        names.emplace_back(name);
        XFree(name);
      }
  if (data) XFree(data);
  return names;
}

std::string AKX11Driver::windowClass(unsigned long window)
{
  XClassHint hint{};
  if (!XGetClassHint(DPY, window, &hint)) return std::string();
  std::string both = std::string(hint.res_name ? hint.res_name : "") + "." + (hint.res_class ? hint.res_class : "");
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return both;
}

void AKX11Driver::sync() { XSync(DPY, False); }

void AKX11Driver::grabServer(bool on)
{
  if (on) XGrabServer(DPY);
  else XUngrabServer(DPY);
  XSync(DPY, False);
}

unsigned long AKX11Driver::shield(int x, int y, int width, int height)
{
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.do_not_propagate_mask = ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask;
  const Window w = XCreateWindow(DPY, DefaultRootWindow(DPY), x, y, (unsigned)width, (unsigned)height, 0, 0,
                                 InputOnly, CopyFromParent, CWOverrideRedirect | CWDontPropagate, &a);
  XMapRaised(DPY, w);
  XSync(DPY, False);
  return w;
}

void AKX11Driver::unshield(unsigned long window)
{
  XDestroyWindow(DPY, (Window)window);
  XSync(DPY, False);
}

unsigned long AKX11Driver::programWindow(const std::string& title, int x, int y, int width, int height)
{
  const Window w = XCreateSimpleWindow(DPY, DefaultRootWindow(DPY), x, y, (unsigned)width, (unsigned)height, 0, 0,
                                       0xFFFFFF);
  XStoreName(DPY, w, title.c_str());
  XSizeHints hints{};  // placed where it says: a manager may otherwise ask the user where
  hints.flags = USPosition;
  XSetWMNormalHints(DPY, w, &hints);
  XMapRaised(DPY, w);
  XSync(DPY, False);
  return w;
}
