// The X11 presenter: each shown window of the kit is a top-level X window whose
// contents are copied from the window's backing for the rectangles drawn (MIT-SHM
// where the server offers it, XPutImage otherwise); X events become the kit's
// events. Modal interactions are drawn in windows of the kit itself (AKScreenAnswers).

#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/ScreenAnswers.h"
#include "platform/appkit/X11Clipboard.h"
#include "platform/appkit/X11Desktop.h"
#include "platform/appkit/X11Keys.h"
#include "platform/appkit/X11Layout.h"
#include "platform/appkit/X11Pointer.h"
#include "platform/appkit/X11WindowState.h"
#include "raster/lice_bitmap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <map>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#include <vector>

namespace {

class X11Presenter;

// A window of ours on the server: its image, and its side of the manager's protocol,
// whose requests it sends through the presenter.
struct XWindowData final : AKX11WindowState::Requests
{
  XWindowData(X11Presenter* presenter, NSWindow* window, const AKX11WindowState::Place& at, bool overrideRedirect)
      : presenter(presenter), window(window), overrideRedirect(overrideRedirect), state(this, at, overrideRedirect)
  {
  }
  void map() override;
  void withdraw() override;
  void place(const AKX11WindowState::Place& p, bool moved, bool sized) override;
  void forgetState() override;
  void answered(bool mapsNow) override;

  X11Presenter* presenter;
  NSWindow* window;
  Window xid = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  bool shmAttached = false;
  int w = 0, h = 0;    // the image's
  bool argb = false;  // made with the visual that has alpha
  bool overrideRedirect = false;  // no manager's: a menu, a focus rectangle
  bool focusWanted = false;  // given the keyboard once it is viewable
  bool titleKept = false;    // its title bar put on the screen at its first placement
  bool takesNoKeyboard = false;  // mapped saying it takes no keyboard: it came up by itself
  Window parent = 0;         // the root or a manager's frame, as the server last said: the frame has the keyboard for us
  AKX11WindowState state;
};

int gXError = 0;
int recordXError(Display*, XErrorEvent* e)
{
  gXError = e->error_code;
  return 0;
}

class X11Presenter : public NSPresenter, public AKX11Desktop::Host, public AKX11Pointer::Host
{
public:
  X11Presenter(Display* d, bool allowShm) : mDisplay(d), mAnswers(this)
  {
    mScreen = DefaultScreen(d);
    mRoot = RootWindow(d, mScreen);
    mVisual = DefaultVisual(d, mScreen);
    mDepth = DefaultDepth(d, mScreen);
    // Windows that are not opaque show what lies behind them through a visual with
    // alpha, where the server offers one (a compositing manager then blends them).
    XVisualInfo argb;
    if (XMatchVisualInfo(d, mScreen, 32, TrueColor, &argb) && argb.red_mask == 0xFF0000 &&
        argb.green_mask == 0xFF00 && argb.blue_mask == 0xFF)
    {
      mArgbVisual = argb.visual;
      mArgbColormap = XCreateColormap(d, mRoot, mArgbVisual, AllocNone);
    }
    mOpacity = XInternAtom(d, "_NET_WM_WINDOW_OPACITY", False);
    mDeleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    mWmState = XInternAtom(d, "WM_STATE", False);
    mProtocols = XInternAtom(d, "WM_PROTOCOLS", False);
    mNetWmName = XInternAtom(d, "_NET_WM_NAME", False);
    mUtf8 = XInternAtom(d, "UTF8_STRING", False);
    int major, minor;
    Bool pixmaps;
    mShm = allowShm && XShmQueryVersion(d, &major, &minor, &pixmaps) && !getenv("DAVREL_X11_NO_SHM");
    mWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    // An empty cursor for hiding.
    char none[8] = {0};
    Pixmap blank = XCreateBitmapFromData(d, mRoot, none, 8, 8);
    XColor black{};
    mBlankCursor = XCreatePixmapCursor(d, blank, blank, &black, &black, 0, 0);
    XFreePixmap(d, blank);
    mArrow = XCreateFontCursor(d, XC_left_ptr);
    mIBeam = XCreateFontCursor(d, XC_xterm);
    mDesk = std::make_unique<AKX11Desktop>(d, this);
    mClip = std::make_unique<AKX11Clipboard>(d, mDesk.get());
    mLayout = std::make_unique<AKX11Layout>(d);
    mNetActiveWindow = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    mSupportingCheck = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    mFrameExtents = XInternAtom(d, "_NET_FRAME_EXTENTS", False);
    mNetSupported = XInternAtom(d, "_NET_SUPPORTED", False);
    mDemandsAttention = XInternAtom(d, "_NET_WM_STATE_DEMANDS_ATTENTION", False);
    mNetWmUserTime = XInternAtom(d, "_NET_WM_USER_TIME", False);
    XSelectInput(d, mRoot, PropertyChangeMask);  // a manager that comes or changes says so there
    learnManager();
    mPointer = std::make_unique<AKX11Pointer>(d, this, mBlankCursor);
  }

  ~X11Presenter() override
  {
    for (auto& kv : mWindows) destroy(kv.second);
    mWindows.clear();
    for (auto& kv : mClosing) destroy(kv.second.data);
    mClosing.clear();
    XFreeCursor(mDisplay, mBlankCursor);
    XFreeCursor(mDisplay, mArrow);
    XFreeCursor(mDisplay, mIBeam);
    mClip.reset();
    mDesk.reset();
    mLayout.reset();
    if (mArgbColormap) XFreeColormap(mDisplay, mArgbColormap);
    XCloseDisplay(mDisplay);
    if (mWake >= 0) close(mWake);
  }

  const char* name() const override { return mShm ? "x11 (MIT-SHM)" : "x11"; }
  bool usesShm() const { return mShm; }

  // ---- windows ----

  void windowOrderedIn(NSWindow* w) override
  {
    XWindowData* data = ensure(w);
    if (!data) return;
    keepTitleBarOnScreen(w, data, true);
    data->state.show(std::chrono::steady_clock::now());
    restack();
    if (w->level() >= NSPopUpMenuWindowLevel && !w->ignoresMouseEvents())
    {
      // A menu takes the pointer and the keyboard: a press anywhere else reaches it
      // (outside its area), which dismisses it, and its keys come wherever the
      // pointer is. Our own windows still get their events. A window
      // at that level the mouse goes through (a focus rectangle with no parent) is
      // no menu: it takes nothing, or no other program could be clicked while it shows.
      XSync(mDisplay, False);
      mPointer->menuShown(w);
    }
    else if (mPointer->waitsForAWindow() && viewable(data->xid))
      mPointer->takePointer();  // the held pointer had no window of ours to go to (none shown, or remade)
    // Synced, so another client told the window's id finds it on the server.
    XSync(mDisplay, False);
  }

  // On the screen now: a window manager maps the window only once it has framed it,
  // and the server refuses a grab of a window that is not viewable.
  bool viewable(Window xid)
  {
    XWindowAttributes a;
    XSync(mDisplay, False);
    return XGetWindowAttributes(mDisplay, xid, &a) && a.map_state == IsViewable;
  }

  void windowRaised(NSWindow*) override
  {
    restack();
    XSync(mDisplay, False);  // as for a window shown: the next pointer event sees it
    keepModalAbove(true);
  }

  // The window on the root that holds one of ours: a manager's frame, or itself.
  Window topOf(Window xid)
  {
    Window top = xid;
    for (Window up; (up = parentOf(top)) && up != mRoot;) top = up;
    return top;
  }

  // The modal window as the server stacks it against its owners: one that is under an
  // owner (another client raised the owner, and a manager that keeps its own picture of
  // the stacking never heard of it) is asked above again; where the manager leaves it
  // there, each owner over it goes right below it, directly. Looked at when the server
  // tells a window of ours is covered or uncovered, when the kit raises a window (asked
  // just now), and once the manager had time to answer. A few times a session at most:
  // a manager that puts the owner back each time is not fought for ever.
  void keepModalAbove(bool askedNow)
  {
    NSWindow* modal = NSApplication::exists() ? NSApp->modalWindow() : nullptr;
    XWindowData* data = modal && modal->isVisible() ? find(modal) : nullptr;
    const std::vector<Window> over =
        data && data->state.map() == AKX11WindowState::Map::Mapped ? ownersOver(modal, data) : std::vector<Window>();
    const auto now = std::chrono::steady_clock::now();
    if (data && data->xid != mModalKept)
    {
      mModalKept = data->xid;
      mModalTries = 0;
    }
    if (over.empty() || mModalTries >= kModalTries)
    {
      mModalAsked = false;
      return;
    }
    if (askedNow || !mModalAsked)
    {
      if (!askedNow) restack();  // asked again, through the manager
      XFlush(mDisplay);
      mModalAsked = true;
      mModalAskedAt = now;
      return;
    }
    if (now - mModalAskedAt < kModalAnswer) return;
    ++mModalTries;
    mModalAsked = false;
    for (Window o : over)
      mDesk->trapped([&] {
        XWindowChanges c{};
        c.sibling = topOf(data->xid);
        c.stack_mode = Below;
        XConfigureWindow(mDisplay, o, CWSibling | CWStackMode, &c);
      });
    XFlush(mDisplay);
  }

  // The windows on the root that hold the modal window's owners and lie above the one
  // that holds it, as the server stacks them now.
  std::vector<Window> ownersOver(NSWindow* modal, XWindowData* data)
  {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    std::vector<Window> over;
    if (!XQueryTree(mDisplay, mRoot, &root, &parent, &children, &n)) return over;
    const std::vector<Window> stack(children, children + n);  // bottom to top
    if (children) XFree(children);
    const auto at = [&](Window w) { return std::find(stack.begin(), stack.end(), w) - stack.begin(); };
    const auto top = at(topOf(data->xid));
    int chain = 0;  // bounded: an owner chain could be made to loop
    for (NSWindow* o = modal->ownerWindow(); o && chain < 32; o = o->ownerWindow(), ++chain)
      if (XWindowData* owner = o->isVisible() ? find(o) : nullptr)
        if (at(topOf(owner->xid)) > top) over.push_back(topOf(owner->xid));
    return over;
  }

  void windowLevelChanged(NSWindow*) override
  {
    restack();
    XSync(mDisplay, False);
  }

  // The server stacks our shown windows in the application's order (higher levels
  // first, child windows above their parents): the front one raised, each other one
  // right below the one before it, so the window shown at a point is the one the
  // layer finds there. Through the window manager where there is one (ICCCM 4.1.5).
  void restack()
  {
    if (!NSApplication::exists()) return;
    Window above = 0;
    for (NSWindow* w : NSApp->orderedWindows())
    {
      XWindowData* data = w->isVisible() ? find(w) : nullptr;
      // One whose map waits for the manager to let it go is stacked once it is mapped.
      if (!data || (data->state.map() != AKX11WindowState::Map::Asked &&
                    data->state.map() != AKX11WindowState::Map::Mapped))
        continue;
      XWindowChanges c{};
      c.sibling = above;
      c.stack_mode = above ? Below : Above;
      XReconfigureWMWindow(mDisplay, data->xid, mScreen, CWStackMode | (above ? CWSibling : 0u), &c);
      above = data->xid;
    }
  }

  void windowOrderedOut(NSWindow* w) override
  {
    if (XWindowData* data = find(w))
    {
      data->focusWanted = false;
      data->state.hide(std::chrono::steady_clock::now());
    }
    mPointer->ungrab(w);
  }

  // A window's WM_STATE (1 normal, 3 iconic, 0 withdrawn), -1 when it has none: the
  // window manager sets it on a window it manages.
  int wmState(Window xid)
  {
    const std::vector<long> v = longsOf(xid, mWmState, mWmState, 2);
    return v.empty() ? -1 : (int)v[0];
  }

  // The 32-bit items of a window's property of the type given, count at most; none when
  // it is missing, of another type or format, or the window went.
  std::vector<long> longsOf(Window on, Atom property, Atom type, long count)
  {
    Atom got = None;
    int format = 0;
    unsigned long n = 0, rest = 0;
    unsigned char* prop = nullptr;
    std::vector<long> items;
    if (XGetWindowProperty(mDisplay, on, property, 0, count, False, type, &got, &format, &n, &rest, &prop) ==
            Success &&
        prop && format == 32 && got == type)
      items.assign((long*)prop, (long*)prop + n);
    if (prop) XFree(prop);
    return items;
  }

  // Whether a window manager runs: it redirects the root's children's maps to itself.
  bool managerRuns()
  {
    XWindowAttributes a;
    return XGetWindowAttributes(mDisplay, mRoot, &a) && (a.all_event_masks & SubstructureRedirectMask);
  }

  void mapWindow(XWindowData* data)
  {
    describe(data->xid, data->window);
    // A window that comes up by itself while the user is in another program says it
    // takes no keyboard (ICCCM's input hint), so that no manager hands it the keys the
    // user types there (some give every new window the focus, whatever the time of its
    // user's last input says); the user's own press on it gives it the keyboard.
    if (!data->overrideRedirect) setInputHint(data, mAttention.count(data->xid) == 0);
    XMapRaised(mDisplay, data->xid);
    XFlush(mDisplay);
  }

  // Withdrawn as a window manager expects it (ICCCM 4.1.4).
  void withdrawWindow(XWindowData* data)
  {
    XWithdrawWindow(mDisplay, data->xid, mScreen);
    XFlush(mDisplay);
  }

  void forgetState(XWindowData* data) { XDeleteProperty(mDisplay, data->xid, mWmState); }

  // A map or withdrawal answered: a window mapped on it is stacked, and given the
  // keyboard if it waits for it.
  void answered(XWindowData* data, bool mapsNow)
  {
    mManagerSilent = false;
    if (mapsNow) restack();
    focusWhenViewable(data);
  }

  // What the server has of a window now: mapped, on the root, its WM_STATE, its place.
  AKX11WindowState::Server serverState(XWindowData* data)
  {
    data->parent = parentOf(data->xid);
    XWindowAttributes a{};
    const bool mapped = XGetWindowAttributes(mDisplay, data->xid, &a) && a.map_state != IsUnmapped;
    Window child;
    int x = 0, y = 0;
    XTranslateCoordinates(mDisplay, data->xid, mRoot, 0, 0, &x, &y, &child);
    return {mapped, data->parent == mRoot, wmState(data->xid), {x, y, a.width, a.height}};
  }

  // The manager went or another came: each window is brought to the kit's picture, and
  // what the old manager never answered is asked again. Nothing waits for the manager.
  void resync()
  {
    const bool runs = managerRuns();
    const auto now = std::chrono::steady_clock::now();
    const std::map<NSWindow*, XWindowData*> windows(mWindows);
    for (auto& kv : windows)
    {
      if (!mWindows.count(kv.first)) continue;
      const AKX11WindowState::Server s = serverState(kv.second);
      kv.second->state.resync(s, runs, now);
      if (mWindows.count(kv.first)) serverHas(kv.first, s.at);
    }
    for (auto& kv : std::map<Window, Closing>(mClosing))
    {
      kv.second.data->state.resync(serverState(kv.second.data), runs, now);
      letGo(kv.second.data, false);
    }
    XFlush(mDisplay);
  }

  // A manager that has not answered a window's map or withdrawal for a while is said
  // once; one that has gone (nothing redirects the root's maps) never will: the server
  // is asked directly then, so no window waits for it for ever. A place unanswered as
  // long (dropped, or refused without a word) is read from the server.
  void watchManager()
  {
    const auto now = std::chrono::steady_clock::now();
    if (mModalAsked && now - mModalAskedAt >= kModalAnswer) keepModalAbove(false);
    std::vector<XWindowData*> late;
    const std::map<NSWindow*, XWindowData*> windows(mWindows);
    for (auto& kv : windows)
    {
      if (!mWindows.count(kv.first)) continue;
      XWindowData* data = kv.second;
      if (data->state.overdue(now)) late.push_back(data);
      if (data->state.placeUnanswered(now)) placeFromServer(kv.first, data);
    }
    for (auto& kv : std::map<Window, Closing>(mClosing))
    {
      if (now - kv.second.since >= kClosingBound) letGo(kv.second.data, true);
      else if (kv.second.data->state.overdue(now)) late.push_back(kv.second.data);
    }
    if (late.empty()) return;
    if (!mManagerSilent)
      fprintf(stderr, "x11: the window manager has not answered for %lld s; windows are shown and hidden when it "
                      "does\n",
              (long long)std::chrono::duration_cast<std::chrono::seconds>(AKX11WindowState::kUnanswered).count());
    mManagerSilent = true;
    if (!managerRuns()) return resync();
    // A withdrawal whose window is unmapped on the root, no manager's frame around it, is
    // done: a state left on it is a gone manager's (another took over before we looked).
    for (XWindowData* data : late)
    {
      if (data->state.map() != AKX11WindowState::Map::WithdrawAsked) continue;
      const AKX11WindowState::Server s = serverState(data);
      if (s.onRoot && !s.mapped) data->state.resync(s, false, now);
      if (!data->window) letGo(data, false);
    }
    XFlush(mDisplay);
  }

  // How long until watchManager has something to look at; below 0 for nothing.
  double untilWatch() const
  {
    auto next = std::chrono::steady_clock::time_point::max();
    for (const auto& kv : mWindows) next = std::min(next, kv.second->state.due());
    for (const auto& kv : mClosing) next = std::min({next, kv.second.data->state.due(), kv.second.since + kClosingBound});
    if (mModalAsked) next = std::min(next, mModalAskedAt + kModalAnswer);
    if (next == std::chrono::steady_clock::time_point::max()) return -1;
    return std::max(0.0, std::chrono::duration<double>(next - std::chrono::steady_clock::now()).count());
  }

  void windowClosed(NSWindow* w) override
  {
    mPointer->ungrab(w);
    XWindowData* data = find(w);
    if (!data) return;
    mPointer->destroyed(data->xid);
    mAttention.erase(data->xid);
    mByXid.erase(data->xid);
    mWindows.erase(w);
    w->presenterData = nullptr;
    data->window = nullptr;
    data->focusWanted = false;
    // A map the manager has not taken yet: destroyed now, the window would be gone when
    // the manager gets to the request (twm then asks the user to place a window that is
    // not there, holding the whole display). It is withdrawn once the manager has mapped
    // it, as ICCCM asks, and destroyed once the manager let it go (or went).
    if (data->state.map() == AKX11WindowState::Map::Asked)
    {
      const auto now = std::chrono::steady_clock::now();
      freeImage(data);
      data->state.hide(now);
      mClosing[data->xid] = {data, now};
    }
    else
      destroy(data);
    XFlush(mDisplay);
  }

  // A closed window the manager owed an answer goes once it owes none; at the bound
  // (a manager stopped for good) all the same, said once.
  void letGo(XWindowData* data, bool bound)
  {
    if (data->state.map() != AKX11WindowState::Map::Withdrawn && !bound) return;
    if (bound && !mClosingBoundSaid)
      fprintf(stderr, "x11: the window manager has not let a closed window go for %lld s; it is destroyed\n",
              (long long)kClosingBound.count());
    mClosingBoundSaid |= bound;
    mClosing.erase(data->xid);
    destroy(data);
  }

  // What the server tells of a closed window the manager still holds.
  void closingEvent(XWindowData* data, const XEvent& e)
  {
    const auto now = std::chrono::steady_clock::now();
    if (e.type == MapNotify) data->state.mapped(e.xmap.send_event, now);
    else if (e.type == UnmapNotify) data->state.unmapped(e.xunmap.send_event);
    else if (e.type == ReparentNotify) data->state.reparented(e.xreparent.parent == mRoot, now);
    else if (e.type == PropertyNotify && e.xproperty.atom == mWmState) data->state.stateIs(wmState(data->xid), now);
    letGo(data, false);
    XFlush(mDisplay);
  }

  // The window is asked to go where the frame is. A shown one a manager may place is
  // there once the server tells it (takePlace): until then the kit lays it out and places
  // presses where the server has it, so a place refused costs nothing seen, however long
  // the manager takes. A hidden one, or one no manager places (a menu), is there at once;
  // what the server tells later corrects it.
  bool windowFrameAsked(NSWindow* w, NSRect f) override
  {
    XWindowData* data = find(w);
    if (!data) return false;  // made where its frame is when first shown
    int x, y, width, height;
    placement(f, &x, &y, &width, &height);
    data->state.moveTo({x, y, width, height}, std::chrono::steady_clock::now());
    return data->state.shown() && !data->overrideRedirect;
  }

  bool askedFrame(const NSWindow* w, NSRect* f) const override
  {
    const auto it = mWindows.find(const_cast<NSWindow*>(w));
    if (it == mWindows.end() || !it->second->state.placing()) return false;
    *f = frameAt(it->second->state.place());
    return true;
  }

  // A place on the root (y down) as the kit's frame (y up).
  NSRect frameAt(const AKX11WindowState::Place& p) const
  {
    return NSMakeRect(p[0], screenSize().height - p[1] - p[3], p[2], p[3]);
  }

  // Asks the server (through the manager, where there is one) for the window's place. A
  // change that keeps the place asks for the size alone: a window manager keeps its
  // frame where it is then, rather than placing the frame at the client's own corner.
  void sendPlace(XWindowData* data, const AKX11WindowState::Place& p, bool moved, bool sized)
  {
    const auto [x, y, width, height] = p;
    setNormalHints(data->xid, data->window, x, y, width, height);
    if (!moved) XResizeWindow(mDisplay, data->xid, (unsigned)width, (unsigned)height);
    else if (!sized) XMoveWindow(mDisplay, data->xid, x, y);
    else XMoveResizeWindow(mDisplay, data->xid, x, y, (unsigned)width, (unsigned)height);
    XFlush(mDisplay);
  }

  // The window's place as the server has it now (its corner on the root, and size),
  // taken as the kit's: a manager left a place unanswered, or refused it without a word.
  void placeFromServer(NSWindow* w, XWindowData* data)
  {
    XWindowAttributes a;
    Window child;
    int x, y;
    if (!XGetWindowAttributes(mDisplay, data->xid, &a) ||
        !XTranslateCoordinates(mDisplay, data->xid, mRoot, 0, 0, &x, &y, &child))
      return;
    takePlace(w, data, {x, y, a.width, a.height}, false, {x, y, a.width, a.height});
  }

  // A place the server or the manager told (what the kit asks next starts from it when
  // it is news), and where the server has the window: the kit's frame from now on.
  void takePlace(NSWindow* w, XWindowData* data, const AKX11WindowState::Place& told, bool sizeOnly,
                 const AKX11WindowState::Place& at)
  {
    data->state.told(told, sizeOnly, std::chrono::steady_clock::now());
    serverHas(w, at);
  }

  void serverHas(NSWindow* w, const AKX11WindowState::Place& at)
  {
    if (at[2] <= 0 || at[3] <= 0) return;  // not read: the window went
    if (!NSEqualRects(frameAt(at), w->frame())) w->takeScreenFrame(frameAt(at));
  }

  Window parentOf(Window xid)
  {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(mDisplay, xid, &root, &parent, &children, &n)) return 0;
    if (children) XFree(children);
    return parent;
  }

  // The room a manager's frame takes above a window (its title bar), as it publishes it
  // (asked for a window never shown when the manager was learnt); -1 when not told.
  int frameTop()
  {
    if (mFrameTop >= 0 || !mManagerAtoms.count(mFrameExtents)) return mFrameTop;
    const std::vector<long> extents = longsOf(mClip->window(), mFrameExtents, XA_CARDINAL, 4);
    if (extents.size() == 4) mFrameTop = (int)extents[2];
    return mFrameTop;
  }

  // A titled window keeps its title bar on the screen, as the platform keeps it: at its
  // first placement, a frame whose top lies above the screen's moves the window down by
  // as much. Before the map where the manager publishes its frame's room; else once the
  // manager has framed and shown it, by the room it publishes on the window once it
  // comes (a frame window may hold an invisible border above the title bar), or by the
  // frame itself, the window's ancestor on the root, where the manager publishes none. A
  // place the program or the user gives it later is kept.
  void keepTitleBarOnScreen(NSWindow* w, XWindowData* data, bool beforeMap)
  {
    if (data->titleKept || data->overrideRedirect || !(w->styleMask() & NSTitledWindowMask)) return;
    int x = data->state.place()[0], y = data->state.place()[1], down = 0;
    if (beforeMap)
    {
      const int room = data->state.map() == AKX11WindowState::Map::Withdrawn ? frameTop() : -1;
      if (room < 0) return;
      down = std::max(0, room - y);
    }
    else
    {
      const std::vector<long> extents = longsOf(data->xid, mFrameExtents, XA_CARDINAL, 4);
      if (extents.size() != 4 && mManagerAtoms.count(mFrameExtents)) return;  // looked at again when they come
      Window top = data->xid;
      for (Window up; (up = parentOf(top)) && up != mRoot;) top = up;
      XWindowAttributes frame;
      Window child;
      if (top == data->xid || !XGetWindowAttributes(mDisplay, top, &frame) ||
          !XTranslateCoordinates(mDisplay, data->xid, mRoot, 0, 0, &x, &y, &child))
        return;
      if (extents.size() == 4 && mFrameTop < 0) mFrameTop = (int)extents[2];  // for the next window's first show
      down = std::max(0, extents.size() == 4 ? (int)extents[2] - y : -frame.y);
    }
    data->titleKept = true;
    if (!down) return;
    const NSRect f = w->frameAsked();
    w->setFrame(NSMakeRect(x, screenSize().height - (y + down) - f.size.height, f.size.width, f.size.height), true);
  }

  // A frame of the kit (y up, its origin the bottom-left corner) as the server places a
  // window: its top-left corner on the root (y down) and a size of at least a pixel.
  void placement(const NSRect& f, int* x, int* y, int* width, int* height) const
  {
    *width = std::max(1, (int)std::ceil(f.size.width));
    *height = std::max(1, (int)std::ceil(f.size.height));
    *x = (int)f.origin.x;
    *y = (int)(screenSize().height - f.origin.y - f.size.height);
  }

  void windowTitleChanged(NSWindow* w) override
  {
    if (XWindowData* data = find(w)) setTitle(data->xid, w->title());
  }

  void windowAppearanceChanged(NSWindow* w) override
  {
    XWindowData* data = find(w);
    if (!data) return;
    if (data->argb != wantsAlpha(w))
    {
      // A window's visual is fixed when it is made: another X window takes its place.
      const bool shown = w->isVisible();
      windowClosed(w);
      if (shown) windowOrderedIn(w);
      return;
    }
    setOpacity(data->xid, w->alphaValue());
    setInputShape(data->xid, w->ignoresMouseEvents());
    XFlush(mDisplay);
  }

  void present(NSWindow* w, const std::vector<AKPixelRect>& rects) override
  {
    XWindowData* data = find(w);
    LICE_SysBitmap* backing = w->backing();
    if (!data || !backing || !backing->getBits()) return;
    if (!ensureImage(data, backing->getWidth(), backing->getHeight())) return;
    for (const AKPixelRect& r : rects) copyRect(data, backing, r);
    if (data->shmAttached) XSync(mDisplay, False);  // the segment is written again only when the server is done
    else XFlush(mDisplay);
  }

  // ---- events ----

  bool pollEvents() override
  {
    uint64_t n;
    while (read(mWake, &n, sizeof(n)) > 0)
    {
    }
    bool any = false;
    while (XPending(mDisplay))
    {
      XEvent e;
      XNextEvent(mDisplay, &e);
      handle(e);
      any = true;
    }
    watchManager();
    return any;
  }

  void waitForEvents(double seconds) override
  {
    if (XPending(mDisplay)) return;
    pollfd fds[2] = {{ConnectionNumber(mDisplay), POLLIN, 0}, {mWake, POLLIN, 0}};
    const double watch = untilWatch();  // a manager's answer overdue is looked at then
    if (watch >= 0 && (seconds < 0 || watch < seconds)) seconds = watch;
    const int ms = seconds < 0 ? -1 : (int)std::ceil(seconds * 1000.0);
    poll(fds, 2, ms);
  }

  void wake() override
  {
    const uint64_t one = 1;
    if (write(mWake, &one, sizeof(one)) < 0)
    {
    }
  }

  // ---- the screen and the cursor ----

  NSSize screenSize() const override
  {
    return NSMakeSize(DisplayWidth(mDisplay, mScreen), DisplayHeight(mDisplay, mScreen));
  }

  NSPoint mouseLocation() const override
  {
    int x = 0, y = 0;
    pointerState(&x, &y);
    return NSMakePoint(x, screenSize().height - y);
  }

  // The buttons and modifier keys held on the whole display, over any program's
  // window, as the server has them now.
  NSUInteger pressedMouseButtons() const override
  {
    const unsigned state = pointerState();
    return buttonsOf(state, 0, false) | ((state & Button2Mask) ? 4 : 0);
  }
  NSUInteger modifierFlags() const override { return flagsOf(pointerState()); }
  bool modifierFlagsAreTheDisplays() const override { return true; }

  // The pointer's place on the screen (pixels, y down) and the state of the keys and
  // buttons, from the server.
  unsigned pointerState(int* x = nullptr, int* y = nullptr) const
  {
    Window root, child;
    int rx = 0, ry = 0, wx, wy;
    unsigned mask = 0;
    XQueryPointer(mDisplay, mRoot, &root, &child, &rx, &ry, &wx, &wy, &mask);
    if (x) *x = rx;
    if (y) *y = ry;
    return mask;
  }

  bool hideCursor() override
  {
    for (auto& kv : mWindows) XDefineCursor(mDisplay, kv.second->xid, mBlankCursor);
    mPointer->setCursorHidden(true);
    XFlush(mDisplay);
    return true;
  }

  bool showCursor() override
  {
    for (auto& kv : mWindows) XDefineCursor(mDisplay, kv.second->xid, shownCursor());
    mPointer->setCursorHidden(false);
    XFlush(mDisplay);
    return true;
  }

  bool moveCursor(NSPoint p) override
  {
    mPointer->moveTo(NSMakePoint((int)p.x, screenSize().height - (int)p.y));
    return true;
  }

  // Uncoupled (false), the pointer is held where it is (AKX11Pointer::associate).
  bool associateMouse(bool connected) override
  {
    mPointer->associate(connected);
    return true;
  }

  // The window manager is asked to activate the window (as a pager asks, so it is not
  // refused as focus stealing); without one that can, the window is raised and focused
  // directly.
  int activateProcess(long pid) override
  {
    const Atom pidAtom = XInternAtom(mDisplay, "_NET_WM_PID", False);
    auto ownedBy = [&](Window win) {
      const std::vector<long> owner = longsOf(win, pidAtom, XA_CARDINAL, 1);
      const bool match = owner.size() == 1 && owner[0] == pid;
      XWindowAttributes a;
      return match && XGetWindowAttributes(mDisplay, win, &a) && a.map_state == IsViewable && !a.override_redirect;
    };
    // Another program's windows may go at any moment: errors are recorded, not fatal.
    XSync(mDisplay, False);
    XErrorHandler old = XSetErrorHandler(recordXError);
    struct Restore
    {
      Display* d;
      XErrorHandler old;
      ~Restore()
      {
        XSync(d, False);
        XSetErrorHandler(old);
      }
    } restore{mDisplay, old};
    // Top-level windows, and the clients inside a window manager's frames.
    Window found = 0, root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(mDisplay, mRoot, &root, &parent, &children, &n)) return 0;
    for (unsigned i = n; i-- > 0 && !found;)
    {
      if (ownedBy(children[i]))
      {
        found = children[i];
        break;
      }
      Window r2, p2, *inner = nullptr;
      unsigned m = 0;
      if (XQueryTree(mDisplay, children[i], &r2, &p2, &inner, &m))
        for (unsigned k = 0; k < m && !found; ++k)
          if (ownedBy(inner[k])) found = inner[k];
      if (inner) XFree(inner);
    }
    if (children) XFree(children);
    if (!found) return 0;
    if (!activate(found, 2, CurrentTime)) XRaiseWindow(mDisplay, found);
    XFlush(mDisplay);
    return 1;
  }

  void setCursor(AKCursorKind kind) override
  {
    mCursor = kind;
    if (!mPointer->cursorHidden()) showCursor();
  }

  void setImageCursor(int width, int height, const uint32_t* pixels, NSPoint hotSpot) override
  {
    mImageCursor = mDesk->imageCursor(width, height, pixels, hotSpot);
    setCursor(mImageCursor ? AKCursorImage : AKCursorArrow);
  }

  Cursor shownCursor() const
  {
    if (mCursor == AKCursorIBeam) return mIBeam;
    if (mCursor == AKCursorImage && mImageCursor) return mImageCursor;
    return mArrow;
  }

  // ---- the keyboard's own layout ----

  bool hasKeyboardLayout() const override { return mLayout->usable(); }
  bool layoutCharacter(unsigned short keyCode, bool shift, char32_t* c, bool* dead) override
  {
    return mLayout->character(keyCode, shift, c, dead);
  }

  // ---- modal interactions, drawn in windows of the kit ----

  NSMenuItem* menuChoice(NSMenu* menu, NSPoint location, NSView* view) override
  {
    return mAnswers.menuChoice(menu, location, view);
  }
  NSInteger panelAnswer(NSSavePanel* panel, std::string* path) override { return mAnswers.panelAnswer(panel, path); }
  NSInteger alertAnswer(NSAlert* alert) override { return mAnswers.alertAnswer(alert); }

  // ---- the CLIPBOARD selection ----

  bool sharesClipboard() const override { return true; }
  bool setClipboardText(const std::string* text) override { return mClip->setClipboardText(text); }
  bool ownsClipboard() const override { return mClip->ownsClipboard(); }
  void setClipboardData(const std::string& type, const std::vector<uint8_t>& bytes) override
  {
    mClip->setClipboardData(type, bytes);
  }
  bool clipboardText(std::string* text) override { return mClip->clipboardText(text); }

  // ---- named pasteboards: each a selection of its name ----

  bool sharesNamedPasteboards() const override { return true; }
  bool takePasteboard(const std::string& name) override { return mClip->takePasteboard(name); }
  void offerPasteboardData(const std::string& name, const std::string& type,
                           const std::vector<uint8_t>& bytes) override
  {
    mClip->offerPasteboardData(name, type, bytes);
  }
  bool ownsPasteboard(const std::string& name) const override { return mClip->ownsPasteboard(name); }
  bool pasteboardTypes(const std::string& name, std::vector<std::string>* types) override
  {
    return mClip->pasteboardTypes(name, types);
  }
  bool pasteboardData(const std::string& name, const std::string& type, std::vector<uint8_t>* bytes) override
  {
    return mClip->pasteboardData(name, type, bytes);
  }

  bool dragFilesOut(NSView* source, const std::vector<std::string>& paths,
                    const std::vector<std::string>& promisedTypes) override
  {
    XWindowData* data = source ? find(source->window()) : nullptr;
    return data && mDesk->dragOut(data->xid, source, paths, promisedTypes);
  }

  // The X window of a kit window, 0 for none.
  Window xidOf(NSWindow* w) override
  {
    XWindowData* data = find(w);
    return data ? data->xid : 0;
  }
  Display* display() const { return mDisplay; }

private:
  XWindowData* find(NSWindow* w)
  {
    auto it = mWindows.find(w);
    return it == mWindows.end() ? nullptr : it->second;
  }

  void setTitle(Window xid, const std::string& title)
  {
    XStoreName(mDisplay, xid, title.c_str());
    XChangeProperty(mDisplay, xid, mNetWmName, mUtf8, 8, PropModeReplace, (const unsigned char*)title.data(),
                    (int)title.size());
  }

  bool wantsAlpha(NSWindow* w) const { return mArgbVisual && !w->isOpaque(); }

  // The window's alpha as the desktop's compositing managers read it; none when opaque.
  void setOpacity(Window xid, CGFloat alpha)
  {
    if (alpha >= 1)
    {
      XDeleteProperty(mDisplay, xid, mOpacity);
      return;
    }
    const unsigned long value = (unsigned long)(std::max<CGFloat>(0, alpha) * 0xFFFFFFFFu);
    XChangeProperty(mDisplay, xid, mOpacity, XA_CARDINAL, 32, PropModeReplace, (const unsigned char*)&value, 1);
  }

  // A window the mouse goes through takes no pointer input on the server either (an
  // empty input shape): a press there lands in the window under it.
  void setInputShape(Window xid, bool passThrough)
  {
    if (mFixes < 0)
    {
      int event, error, major = 2, minor = 0;
      mFixes = XFixesQueryExtension(mDisplay, &event, &error) && XFixesQueryVersion(mDisplay, &major, &minor) &&
               major >= 2;
    }
    if (!mFixes) return;
    const XserverRegion none = passThrough ? XFixesCreateRegion(mDisplay, nullptr, 0) : None;
    XFixesSetWindowShapeRegion(mDisplay, xid, ShapeInput, 0, 0, none);
    if (none) XFixesDestroyRegion(mDisplay, none);
  }

  // What the window manager reads when the window is mapped: the window it belongs
  // to (kept above it and out of the task list), whether it is a dialog, and whether
  // it is modal (EWMH).
  void describe(Window xid, NSWindow* w)
  {
    NSWindow* owner = w->ownerWindow();
    XWindowData* ownerData = owner ? find(owner) : nullptr;
    if (ownerData) XSetTransientForHint(mDisplay, xid, ownerData->xid);
    else XDeleteProperty(mDisplay, xid, XA_WM_TRANSIENT_FOR);
    const bool modal = NSApp->modalWindow() == w;
    const Atom type = XInternAtom(mDisplay, w->isDialog() || modal ? "_NET_WM_WINDOW_TYPE_DIALOG"
                                                                    : "_NET_WM_WINDOW_TYPE_NORMAL", False);
    XChangeProperty(mDisplay, xid, XInternAtom(mDisplay, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, (const unsigned char*)&type, 1);
    const Atom state = XInternAtom(mDisplay, "_NET_WM_STATE", False);
    std::vector<Atom> states;
    if (modal) states.push_back(XInternAtom(mDisplay, "_NET_WM_STATE_MODAL", False));
    const bool attention = mAttention.count(xid) != 0;
    if (attention && mManagerAtoms.count(mDemandsAttention)) states.push_back(mDemandsAttention);
    if (!states.empty())
      XChangeProperty(mDisplay, xid, state, XA_ATOM, 32, PropModeReplace, (const unsigned char*)states.data(),
                      (int)states.size());
    else
      XDeleteProperty(mDisplay, xid, state);
    // The manager's rule against focus stealing reads it at the map: 0 for a window
    // that comes up by itself (never focused at its map), else the time of our last
    // input; none before the first (a program's first window, started by the user).
    if (attention || mUserTime != CurrentTime)
    {
      const long time = attention ? 0 : (long)mUserTime;
      XChangeProperty(mDisplay, xid, mNetWmUserTime, XA_CARDINAL, 32, PropModeReplace, (const unsigned char*)&time,
                      1);
    }
    else
      XDeleteProperty(mDisplay, xid, mNetWmUserTime);
  }

  void focusWindow(NSWindow* w) override
  {
    XWindowData* data = find(w);
    if (!data) return;
    data->focusWanted = true;
    if (data->takesNoKeyboard) setInputHint(data, true);  // the kit gives it the keyboard after all
    mFocusAskedOver = otherProgramsFocus();
    focusWhenViewable(data);
  }

  bool anotherProgramHasKeyboard() override { return otherProgramsFocus() != None; }

  // The server's focus (the window under the pointer where it follows the pointer) when
  // it is on a window that is neither ours, nor the frame of one, nor the root or the
  // manager's own (where it keeps the focus when no window has it); else None.
  Window otherProgramsFocus()
  {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(mDisplay, &focus, &revert);
    if (focus == PointerRoot)
    {
      Window root = 0;
      int rx, ry, wx, wy;
      unsigned state;
      focus = None;
      XQueryPointer(mDisplay, mRoot, &root, &focus, &rx, &ry, &wx, &wy, &state);
    }
    if (focus == mRoot || focus == mManagerCheck) return None;
    for (const auto& kv : mWindows)
      if (kv.second->xid == focus || kv.second->parent == focus) return None;
    return focus;
  }

  // A manager that lists it is told by _NET_WM_STATE (in the state read at the map,
  // or by a request once shown); one that does not by the ICCCM's urgency hint.
  void requestAttention(NSWindow* w) override
  {
    if (XWindowData* data = ensure(w)) askAttention(data, w->isVisible());
  }

  void askAttention(XWindowData* data, bool shown)
  {
    if (data->overrideRedirect) return;
    mAttention.insert(data->xid);
    if (!mManagerAtoms.count(mDemandsAttention)) setUrgency(data->xid, true);
    else if (shown)
    {
      // 1: add; the fourth item 1: an application asks.
      askManager(data->xid, XInternAtom(mDisplay, "_NET_WM_STATE", False), {1, (long)mDemandsAttention, 0, 1});
    }
    XFlush(mDisplay);
  }

  // The window has the keyboard: its asking ends (a manager drops its own state then;
  // the hint is ours to take back, also when another manager came meanwhile).
  void attentionAnswered(Window xid)
  {
    if (mAttention.erase(xid)) setUrgency(xid, false);
  }

  void setUrgency(Window xid, bool on)
  {
    changeHints(xid, on, [&](XWMHints* h) { h->flags = on ? (h->flags | XUrgencyHint) : (h->flags & ~XUrgencyHint); });
  }

  void setInputHint(XWindowData* data, bool takes)
  {
    data->takesNoKeyboard = !takes;
    changeHints(data->xid, true, [&](XWMHints* h) {
      h->flags |= InputHint;
      h->input = takes ? True : False;
    });
  }

  // The window's WM_HINTS changed in one field, the others kept; made when it has none
  // only if create.
  template <class Change> void changeHints(Window xid, bool create, const Change& change)
  {
    XWMHints* hints = XGetWMHints(mDisplay, xid);
    if (!hints && !create) return;
    if (!hints) hints = XAllocWMHints();
    if (!hints) return;
    change(hints);
    XSetWMHints(mDisplay, xid, hints);
    XFree(hints);
  }

  // The user pressed a window of ours that came up saying it takes no keyboard: it is
  // theirs now, and takes it from the server directly (ICCCM 4.1.7): the manager, told
  // it took none, gave it none at the press.
  void userActedOn(XWindowData* data)
  {
    if (!data->takesNoKeyboard || !data->window->isVisible()) return;
    setInputHint(data, true);
    activate(data->xid, 1, CurrentTime, false);
  }

  // A window that wants the keyboard gets it once it is on the screen: a manager maps
  // a window only once it has framed it, and one that does not give a new window the
  // focus itself (focus following the pointer) would leave an alert without it.
  void focusWhenViewable(XWindowData* data)
  {
    if (!data->focusWanted || data->state.map() != AKX11WindowState::Map::Mapped || !viewable(data->xid)) return;
    data->focusWanted = false;
    // The user went to another program while the manager framed it: then it asks.
    const Window other = otherProgramsFocus();
    if (other != None && other != mFocusAskedOver) return askAttention(data, true);
    activate(data->xid, 1, mUserTime, !data->overrideRedirect);
  }

  // A request of the manager's protocol about a window, sent to the root as the
  // protocol asks (the manager takes it by its redirection of the root).
  void askManager(Window about, Atom message, std::initializer_list<long> items)
  {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = about;
    e.xclient.message_type = message;
    e.xclient.format = 32;
    int i = 0;
    for (long item : items) e.xclient.data.l[i++] = item;
    XSendEvent(mDisplay, mRoot, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  }

  // The one way the keyboard is given to a window: the manager is asked where it lists
  // _NET_ACTIVE_WINDOW (source 1 an application, 2 a pager acting for the user; the
  // time of the user's event that asks it), else the server directly, as for a window
  // no manager handles. True when the manager was asked.
  bool activate(Window xid, long source, Time time, bool managed = true)
  {
    if (managed && mManagerAtoms.count(mNetActiveWindow))
    {
      const XWindowData* key = NSApp->keyWindow() ? find(NSApp->keyWindow()) : nullptr;
      askManager(xid, mNetActiveWindow, {source, (long)time, key && key->xid != xid ? (long)key->xid : 0});
      XFlush(mDisplay);
      return true;
    }
    // Checked viewable before, but a manager may unmap it meanwhile: then nothing.
    mDesk->trapped([&] { XSetInputFocus(mDisplay, xid, RevertToParent, CurrentTime); });
    return false;
  }

  // What the window manager supports, learnt when we start and again only when it
  // changes (another manager, or none): an EWMH manager names its check window on the
  // root and on itself, and lists its atoms in _NET_SUPPORTED.
  void learnManager()
  {
    const Window was = mManagerCheck;
    learnManagerAtoms();
    if (mManagerCheck == was) return;
    // Asked for a window never shown: the room its frames take, read at a first show.
    mFrameTop = -1;
    const Atom request = XInternAtom(mDisplay, "_NET_REQUEST_FRAME_EXTENTS", False);
    if (mManagerCheck && mManagerAtoms.count(request))
    {
      askManager(mClip->window(), request, {});
    }
    resync();  // another manager, or none: what the one before never answered is asked again
  }

  void learnManagerAtoms()
  {
    mManagerAtoms.clear();
    mManagerCheck = 0;
    const auto windowIn = [&](Window on) {
      const std::vector<long> found = longsOf(on, mSupportingCheck, XA_WINDOW, 1);
      return found.size() == 1 ? (Window)found[0] : (Window)0;
    };
    const Window check = windowIn(mRoot);
    // The check window may be gone already (a manager that ended).
    Window confirmed = 0;
    if (!check || !mDesk->trapped([&] {
          confirmed = windowIn(check);
          if (confirmed == check) XSelectInput(mDisplay, check, StructureNotifyMask);
        }) || confirmed != check)
      return;
    mManagerCheck = check;
    for (long atom : longsOf(mRoot, mNetSupported, XA_ATOM, 4096)) mManagerAtoms.insert((Atom)atom);
  }

  // The window manager's normal hints: the place asked for, and a fixed size for a
  // window that cannot be resized. One property holds both, so both go together.
  void setNormalHints(Window xid, NSWindow* w, int x, int y, int width, int height)
  {
    XSizeHints* hints = XAllocSizeHints();
    // The place is the client's own corner, not the frame's (ICCCM 4.1.2.3): a manager
    // puts its frame around the window where it stands.
    hints->flags = USPosition | PWinGravity;
    hints->x = x;
    hints->y = y;
    hints->win_gravity = StaticGravity;
    if (!(w->styleMask() & NSResizableWindowMask))
    {
      hints->flags |= PMinSize | PMaxSize;
      hints->min_width = hints->max_width = width;
      hints->min_height = hints->max_height = height;
    }
    XSetWMNormalHints(mDisplay, xid, hints);
    XFree(hints);
  }

  XWindowData* ensure(NSWindow* w)
  {
    if (XWindowData* data = find(w)) return data;
    int x, y, width, height;
    placement(w->frame(), &x, &y, &width, &height);
    XSetWindowAttributes a{};
    a.background_pixel = BlackPixel(mDisplay, mScreen);
    // Menus, and windows the mouse goes through (the focus rectangle, which follows the
    // window it is drawn over): no window manager frames, places or focuses them.
    a.override_redirect =
        w->level() >= NSPopUpMenuWindowLevel || (w->styleMask() == NSBorderlessWindowMask && w->ignoresMouseEvents())
            ? True
            : False;
    a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                   KeyReleaseMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask | StructureNotifyMask |
                   VisibilityChangeMask | PropertyChangeMask;
    a.cursor = mPointer->cursorHidden() ? mBlankCursor : shownCursor();
    unsigned long mask = CWBackPixel | CWOverrideRedirect | CWEventMask | CWCursor;
    const bool argb = wantsAlpha(w);
    if (argb)
    {
      a.background_pixel = 0;  // clear
      a.border_pixel = 0;
      a.colormap = mArgbColormap;
      mask |= CWBorderPixel | CWColormap;
    }
    Visual* visual = argb ? mArgbVisual : (Visual*)CopyFromParent;
    Window xid = XCreateWindow(mDisplay, mRoot, x, y, (unsigned)width, (unsigned)height, 0, argb ? 32 : CopyFromParent,
                               InputOutput, visual, mask, &a);
    if (!xid) return nullptr;
    setOpacity(xid, w->alphaValue());
    if (w->ignoresMouseEvents()) setInputShape(xid, true);
    XSetWMProtocols(mDisplay, xid, &mDeleteWindow, 1);
    // The process a window belongs to, so that another program can bring it forward.
    const long pid = (long)getpid();
    XChangeProperty(mDisplay, xid, XInternAtom(mDisplay, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    (const unsigned char*)&pid, 1);
    mDesk->windowCreated(xid);
    // Every window of ours carries the program's name and class, by which a desktop
    // groups them.
    XClassHint cls{};
    std::string resName = program_invocation_short_name, resClass = "Davrel";
    cls.res_name = &resName[0];
    cls.res_class = &resClass[0];
    XSetClassHint(mDisplay, xid, &cls);
    setTitle(xid, w->title());
    setNormalHints(xid, w, x, y, width, height);
    XWindowData* data = new XWindowData(this, w, {x, y, width, height}, a.override_redirect);
    data->xid = xid;
    data->argb = argb;
    data->gc = XCreateGC(mDisplay, xid, 0, nullptr);
    mWindows[w] = data;
    mByXid[xid] = w;
    w->presenterData = data;
    return data;
  }

  void freeImage(XWindowData* data)
  {
    if (!data->image) return;
    if (data->shmAttached)
    {
      XShmDetach(mDisplay, &data->shm);
      XSync(mDisplay, False);
      data->image->data = nullptr;
      XDestroyImage(data->image);
      shmdt(data->shm.shmaddr);
      data->shmAttached = false;
    }
    else
      XDestroyImage(data->image);  // frees the pixels too
    data->image = nullptr;
  }

  void destroy(XWindowData* data)
  {
    freeImage(data);
    if (data->gc) XFreeGC(mDisplay, data->gc);
    if (data->xid) XDestroyWindow(mDisplay, data->xid);
    delete data;
  }

  bool ensureImage(XWindowData* data, int w, int h)
  {
    if (data->image && data->w == w && data->h == h) return true;
    freeImage(data);
    data->w = w;
    data->h = h;
    if (w <= 0 || h <= 0) return false;
    Visual* visual = data->argb ? mArgbVisual : mVisual;
    const unsigned depth = data->argb ? 32u : (unsigned)mDepth;
    if (mShm)
    {
      data->image = XShmCreateImage(mDisplay, visual, depth, ZPixmap, nullptr, &data->shm, (unsigned)w, (unsigned)h);
      if (data->image)
      {
        data->shm.shmid = shmget(IPC_PRIVATE, (size_t)data->image->bytes_per_line * (size_t)h, IPC_CREAT | 0600);
        data->shm.shmaddr = data->shm.shmid >= 0 ? (char*)shmat(data->shm.shmid, nullptr, 0) : (char*)-1;
        if (data->shm.shmaddr != (char*)-1)
        {
          data->image->data = data->shm.shmaddr;
          data->shm.readOnly = False;
          gXError = 0;
          XErrorHandler old = XSetErrorHandler(recordXError);
          XShmAttach(mDisplay, &data->shm);
          XSync(mDisplay, False);
          XSetErrorHandler(old);
          // Marked for removal now: it goes when both sides detach.
          shmctl(data->shm.shmid, IPC_RMID, nullptr);
          if (!gXError)
          {
            data->shmAttached = true;
            return true;
          }
          shmdt(data->shm.shmaddr);
        }
        else if (data->shm.shmid >= 0)
          shmctl(data->shm.shmid, IPC_RMID, nullptr);
        data->image->data = nullptr;
        XDestroyImage(data->image);
        data->image = nullptr;
      }
      // A server that cannot share memory with us (another machine): plain images from now on.
      mShm = false;
    }
    char* pixels = (char*)malloc((size_t)w * (size_t)h * 4);
    if (!pixels) return false;
    data->image = XCreateImage(mDisplay, visual, depth, ZPixmap, 0, pixels, (unsigned)w, (unsigned)h, 32, 0);
    return data->image != nullptr;
  }

  void copyRect(XWindowData* data, LICE_SysBitmap* backing, const AKPixelRect& r)
  {
    const int l = std::max(0, r.left), t = std::max(0, r.top);
    const int rr = std::min(data->w, r.right), b = std::min(data->h, r.bottom);
    if (rr <= l || b <= t) return;
    const int span = backing->getRowSpan();
    const uint32_t* src = (const uint32_t*)backing->getBits();
    const int dstSpan = data->image->bytes_per_line / 4;
    uint32_t* dst = (uint32_t*)data->image->data;
    // Backing bytes X, R, G, B; a 24-bit true-colour pixel is 0x00RRGGBB in the
    // server's (little-endian) order: one byte swap a pixel.
    for (int y = t; y < b; ++y)
    {
      const uint32_t* s = src + (size_t)y * span;
      uint32_t* d = dst + (size_t)y * dstSpan;
      if (!data->argb)
        for (int x = l; x < rr; ++x) d[x] = __builtin_bswap32(s[x]) & 0x00FFFFFFu;
      else
        for (int x = l; x < rr; ++x) d[x] = premultiplied(__builtin_bswap32(s[x]));
    }
    if (data->shmAttached)
      XShmPutImage(mDisplay, data->xid, data->gc, data->image, l, t, l, t, (unsigned)(rr - l), (unsigned)(b - t), False);
    else
      XPutImage(mDisplay, data->xid, data->gc, data->image, l, t, l, t, (unsigned)(rr - l), (unsigned)(b - t));
  }

  // A pixel 0xAARRGGBB of a backing that is not opaque as the alpha visual takes
  // it, premultiplied: drawing blends over a clear background as over black, so
  // each colour is at most its alpha already, and is held to it.
  static uint32_t premultiplied(uint32_t p)
  {
    const uint32_t a = p >> 24;
    if (a == 0xFF) return p;
    uint32_t out = a << 24;
    for (int shift = 0; shift < 24; shift += 8) out |= std::min((p >> shift) & 0xFF, a) << shift;
    return out;
  }

  static unsigned modifierMaskOf(KeySym sym)
  {
    switch (sym)
    {
      case XK_Shift_L:
      case XK_Shift_R: return ShiftMask;
      case XK_Control_L:
      case XK_Control_R: return ControlMask;
      case XK_Alt_L:
      case XK_Alt_R:
      case XK_Meta_L:
      case XK_Meta_R: return Mod1Mask;
      case XK_Super_L:
      case XK_Super_R: return Mod4Mask;
      default: return 0;
    }
  }

  static NSUInteger flagsOf(unsigned state)
  {
    NSUInteger f = 0;
    if (state & ShiftMask) f |= NSShiftKeyMask;
    if (state & ControlMask) f |= NSControlKeyMask;
    if (state & Mod1Mask) f |= NSAlternateKeyMask;
    if (state & Mod4Mask) f |= NSCommandKeyMask;
    if (state & LockMask) f |= NSAlphaShiftKeyMask;
    return f;
  }

  NSPoint baseOf(NSWindow* w, int x, int y) { return NSMakePoint(x, w->frame().size.height - y); }

  // screen: where the event happened (y up), for an event that tells it.
  void post(NSEvent* e, bool fromAnother = false, const NSPoint* screen = nullptr)
  {
    e->setFromAnotherProgram(fromAnother);
    if (screen) e->setLocationOnScreen(*screen);
    // The server tells the pointer from the window's top-left corner: a resize it tells
    // after the event, read before the event is handled, leaves it there.
    if (e->window() && e->type() != NSKeyDown && e->type() != NSKeyUp)
      e->setPlacedFromTop(e->window()->frame().size.height);
    NSApp->postEvent(e, false);
  }

  // ---- what the desktop asks of us ----
  NSWindow* windowOfX(Window xid) override
  {
    auto it = mByXid.find(xid);
    return it == mByXid.end() ? nullptr : it->second;
  }
  void dispatch(XEvent& e) override { handle(e); }

  void handle(XEvent& e)
  {
    if (mDesk->handle(e)) return;
    if (e.type == MappingNotify)
    {
      XRefreshKeyboardMapping(&e.xmapping);  // XLookupString reads the keyboard as it is now
      return;
    }
    if (e.type == GenericEvent)
    {
      mPointer->takeRawMotion(e.xcookie);
      return;
    }
    if (mClip->handle(e)) return;
    if ((e.type == PropertyNotify && e.xproperty.window == mRoot &&
         (e.xproperty.atom == mSupportingCheck || e.xproperty.atom == mNetSupported)) ||
        (e.type == DestroyNotify && mManagerCheck && e.xdestroywindow.window == mManagerCheck))
    {
      learnManager();
      return;
    }
    const auto closing = mClosing.find(e.xany.window);
    if (closing != mClosing.end()) return closingEvent(closing->second.data, e);
    auto it = mByXid.find(e.xany.window);
    if (it == mByXid.end()) return;
    NSWindow* w = it->second;
    // Input another client sent (XSendEvent) is not the user's, nor is its time.
    const bool fromAnother = e.xany.send_event;
    if ((e.type == KeyPress || e.type == KeyRelease) && e.xkey.time != CurrentTime && !fromAnother)
      mUserTime = e.xkey.time;
    if ((e.type == ButtonPress || e.type == ButtonRelease) && e.xbutton.time != CurrentTime && !fromAnother)
      mUserTime = e.xbutton.time;
    const NSTimeInterval now = NSRunLoop::currentRunLoop()->now();
    switch (e.type)
    {
      case Expose:
      {
        // The backing holds the pixels: show them again without drawing.
        if (!w->backing()) break;
        XWindowData* data = find(w);
        if (!data || !ensureImage(data, w->backing()->getWidth(), w->backing()->getHeight())) break;
        copyRect(data, w->backing(),
                 AKPixelRect{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
        XFlush(mDisplay);
        break;
      }
      case ConfigureNotify:
      {
        XWindowData* data = find(w);
        if (!data) break;
        // Where the window is on the root: a manager's own answer (synthetic) and the
        // server's for a window on the root say so; the server's for a window in a
        // frame tells the place in the frame, and the frame's place is asked.
        const XConfigureEvent& c = e.xconfigure;
        int rx = c.x, ry = c.y;
        const bool inFrame = !c.send_event && !data->state.onRoot();
        Window child;
        if (inFrame) XTranslateCoordinates(mDisplay, c.window, mRoot, 0, 0, &rx, &ry, &child);
        // The frame is the server's word alone: the size its own reports give (a manager's
        // may be of an older place, or of one it refused), the place read unless the
        // server's report of a window on the root gives it.
        AKX11WindowState::Place at{rx, ry, c.width, c.height};
        if (c.send_event)
        {
          int fx, fy, fw, fh;
          placement(w->frame(), &fx, &fy, &fw, &fh);
          at = {fx, fy, fw, fh};
          XTranslateCoordinates(mDisplay, c.window, mRoot, 0, 0, &at[0], &at[1], &child);
        }
        takePlace(w, data, {rx, ry, c.width, c.height}, inFrame, at);
        break;
      }
      case VisibilityNotify:
        // Viewable at last (a window manager maps a window once it has framed it): the
        // held pointer that found no window of ours to go to takes this one. Another
        // window of ours holding it keeps it (a knob's drag stays with its knob).
        if (mPointer->waitsForAWindow()) mPointer->takePointer();
        if (XWindowData* data = find(w)) focusWhenViewable(data);
        keepModalAbove(false);  // covered or uncovered: maybe the modal window by its owner
        break;
      case MapNotify:
        if (XWindowData* data = find(w))
        {
          data->state.mapped(e.xmap.send_event, std::chrono::steady_clock::now());
          if ((data = find(w)) && data->state.map() == AKX11WindowState::Map::Mapped)
            keepTitleBarOnScreen(w, data, false);
        }
        break;
      case UnmapNotify:
        if (XWindowData* data = find(w)) data->state.unmapped(e.xunmap.send_event);
        break;
      case ReparentNotify:
        // A window the manager had, back on the root unasked (the manager went), or one
        // on the root framed while shown (another came): looked at as a whole.
        if (XWindowData* data = find(w))
        {
          data->parent = e.xreparent.parent;
          if (data->state.reparented(e.xreparent.parent == mRoot, std::chrono::steady_clock::now())) resync();
        }
        break;
      case PropertyNotify:
        if (e.xproperty.atom == mFrameExtents)
        {
          XWindowData* data = find(w);
          if (data && data->state.map() == AKX11WindowState::Map::Mapped) keepTitleBarOnScreen(w, data, false);
        }
        if (e.xproperty.atom != mWmState) break;
        if (XWindowData* data = find(w)) data->state.stateIs(wmState(data->xid), std::chrono::steady_clock::now());
        break;
      case ClientMessage:
        if ((Atom)e.xclient.message_type == mProtocols && (Atom)e.xclient.data.l[0] == mDeleteWindow)
          w->performClose(nullptr);
        break;
      case FocusIn:
      case FocusOut:
        // A menu's hold of the keyboard moves no focus: the window that had it keeps it.
        if (e.xfocus.mode == NotifyGrab || e.xfocus.mode == NotifyUngrab) break;
        if (e.type == FocusIn) attentionAnswered(e.xfocus.window);
        if (e.type == FocusIn) w->makeKeyWindow();
        else if (NSApp->keyWindow() == w) NSApp->setKeyWindow(nullptr);
        break;
      case ButtonPress:
      case ButtonRelease:
      {
        const XButtonEvent& b = e.xbutton;
        if (e.type == ButtonPress && !fromAnother)
          if (XWindowData* data = find(w)) userActedOn(data);
        noteModifiers(flagsOf(b.state));
        NSPoint p = baseOf(w, b.x, b.y);
        const NSPoint screen = screenPoint(w, b.send_event, b.x, b.y, b.x_root, b.y_root);
        NSPoint at = screen;  // where the press counts
        // While held, the pointer waits parked, maybe over another window or none: the
        // press or wheel is the holder's, at the held point, as a motion is.
        if (NSWindow* holder = mPointer->holder())
        {
          w = holder;
          at = mPointer->held();
          p = w->convertScreenToBase(at);
        }
        noteMouse(screen, buttonsOf(b.state, b.button, e.type == ButtonPress));
        mPointer->pressed(b, e.type == ButtonRelease, screen);
        if (b.button == 4 || b.button == 5 || b.button == 6 || b.button == 7)
        {
          if (e.type != ButtonPress) break;
          const CGFloat dy = b.button == 4 ? 1 : (b.button == 5 ? -1 : 0);
          const CGFloat dx = b.button == 6 ? 1 : (b.button == 7 ? -1 : 0);
          post(NSEvent::scrollEventWithDeltas(p, flagsOf(b.state), w, dx, dy), fromAnother, &at);
          break;
        }
        if (b.button != 1 && b.button != 3) break;
        NSEventType type;
        if (b.button == 1) type = e.type == ButtonPress ? NSLeftMouseDown : NSLeftMouseUp;
        else type = e.type == ButtonPress ? NSRightMouseDown : NSRightMouseUp;
        if (e.type == ButtonPress)
        {
          // Presses close in time and place on the screen count up, as the platform
          // counts clicks: in the time the server gave them, whenever we read them (a
          // press sent with no time of its own goes by when it was read).
          const double apart = b.time != CurrentTime && mLastPressTime != CurrentTime
                                   ? (uint32_t)((uint32_t)b.time - (uint32_t)mLastPressTime) / 1000.0
                                   : now - mLastPress;
          const bool again = (int)b.button == mLastButton && apart < 0.4 && std::abs(at.x - mLastAt.x) < 4 &&
                             std::abs(at.y - mLastAt.y) < 4;
          mClicks = again ? mClicks + 1 : 1;
          mLastButton = (int)b.button;
          mLastPress = now;
          mLastPressTime = b.time;
          mLastAt = at;
        }
        post(NSEvent::mouseEventWithType(type, p, flagsOf(b.state), now, w, mClicks), fromAnother, &at);
        break;
      }
      case MotionNotify:
      {
        const XMotionEvent& m = e.xmotion;
        noteModifiers(flagsOf(m.state));
        NSPoint p = baseOf(w, m.x, m.y);
        const NSPoint screen = screenPoint(w, m.send_event, m.x, m.y, m.x_root, m.y_root);
        noteMouse(screen, buttonsOf(m.state, 0, false));
        const NSEventType type = (m.state & Button1Mask)   ? NSLeftMouseDragged
                                 : (m.state & Button3Mask) ? NSRightMouseDragged
                                                           : NSMouseMoved;
        NSPoint d;
        if (!mPointer->moved(m, screen, &d)) break;
        NSPoint at = screen;
        // The cursor stays where it was held, over the window holding the pointer: the
        // motion is there, wherever the server had the pointer go.
        if (NSWindow* holder = mPointer->holder())
        {
          w = holder;
          at = mPointer->held();
          p = w->convertScreenToBase(at);
        }
        post(NSEvent::mouseEventWithDeltas(type, p, flagsOf(m.state), now, w, d.x, d.y), false, &at);
        break;
      }
      case EnterNotify:
      case LeaveNotify:
        post(NSEvent::enterExitEventWithType(e.type == EnterNotify ? NSMouseEntered : NSMouseExited,
                                             baseOf(w, e.xcrossing.x, e.xcrossing.y), w));
        break;
      case KeyPress:
      case KeyRelease:
      {
        char text[32] = {0};
        KeySym sym = 0;  // the characters of a symbol outside Latin-1 come from it
        const int n = XLookupString(&e.xkey, text, sizeof(text) - 1, &sym, nullptr);
        // The state is the one before the key: a modifier key pressed or let go
        // changes it (the key itself goes no further).
        unsigned state = e.xkey.state;
        if (const unsigned mask = modifierMaskOf(XLookupKeysym(&e.xkey, 0)))
          state = e.type == KeyPress ? (state | mask) : (state & ~mask);
        noteModifiers(flagsOf(state));
        // The characters without control and option, as the platform's
        // charactersIgnoringModifiers keeps only shift.
        XKeyEvent plain = e.xkey;
        plain.state &= ~(unsigned)(ControlMask | Mod1Mask | Mod4Mask);
        char plainText[32] = {0};
        KeySym plainSym = 0;
        const int pn = XLookupString(&plain, plainText, sizeof(plainText) - 1, &plainSym, nullptr);
        unsigned short code = 0;
        std::u16string chars, ignoring;
        if (!AKMacKeyForX11Keysym(plainSym, std::string(plainText, (size_t)std::max(0, pn)), &code, &ignoring))
        {
          // Xlib gives characters only inside Latin-1: one outside it (a Cyrillic
          // letter) comes from the key symbol. The key goes on by its place, where it
          // has one; the places the kit gives a meaning of their own do not count.
          if (plainSym == NoSymbol || IsModifierKey(plainSym)) break;
          ignoring = AKX11KeysymCharacters(plainSym);
          code = mLayout->keyCodeAt(e.xkey.keycode);
          if (code == kVK_Return || code == kVK_Tab || code == kVK_Space || code == kVK_Escape) code = 0xFFFF;
          if (code == 0xFFFF && ignoring.empty()) break;
          chars = n > 0 ? std::u16string() : AKX11KeysymCharacters(sym);
        }
        if (chars.empty()) chars = ignoring;
        // With control held a letter gives its control character, as on the platform.
        if ((e.xkey.state & ControlMask) && n == 1 && (unsigned char)text[0] < 0x20)
          chars = std::u16string(1, (char16_t)text[0]);
        post(NSEvent::keyEventWithType(e.type == KeyPress ? NSKeyDown : NSKeyUp, flagsOf(e.xkey.state), w, chars,
                                       ignoring, code),
             fromAnother);
        break;
      }
      default:
        break;
    }
  }

  // Where an event found the pointer (screen, y up): the server's root position, or
  // for an event another client made up (it carries none) its place in the window.
  NSPoint screenPoint(NSWindow* w, bool synthetic, int x, int y, int rootX, int rootY)
  {
    return synthetic ? w->convertBaseToScreen(baseOf(w, x, y)) : NSMakePoint(rootX, screenSize().height - rootY);
  }

  static NSUInteger buttonsOf(unsigned state, unsigned button, bool pressed)
  {
    NSUInteger b = 0;
    if (state & Button1Mask) b |= 1;
    if (state & Button3Mask) b |= 2;
    const NSUInteger bit = button == 1 ? 1 : (button == 3 ? 2 : 0);
    return pressed ? (b | bit) : (b & ~bit);
  }

  Display* mDisplay;
  int mScreen;
  Window mRoot;
  Visual* mVisual;
  int mDepth;
  Visual* mArgbVisual = nullptr;  // null when the server has none
  Colormap mArgbColormap = 0;
  Atom mOpacity;
  int mFixes = -1;  // XFixes 2 (input shapes): 1 there, 0 not, -1 not asked yet
  Atom mDeleteWindow, mProtocols, mNetWmName, mUtf8, mWmState;
  Atom mNetActiveWindow, mSupportingCheck, mNetSupported;
  // The window manager as learnt: its check window (0 for none that says so) and the
  // atoms it supports; whether it has been said not to answer; the time of the user's
  // last key or button, for asking it the focus.
  Window mManagerCheck = 0;
  std::set<Atom> mManagerAtoms;
  Atom mFrameExtents;
  int mFrameTop = -1;  // the room above a window its frames take, -1 not known
  bool mManagerSilent = false;
  Time mUserTime = CurrentTime;
  Atom mDemandsAttention, mNetWmUserTime;
  std::set<Window> mAttention;  // windows asking for attention, until they have the keyboard
  Window mFocusAskedOver = None;  // another program's window that had the keyboard when the focus was asked
  bool mShm = false;
  int mWake = -1;
  Cursor mBlankCursor, mArrow, mIBeam;
  AKCursorKind mCursor = AKCursorArrow;
  Cursor mImageCursor = 0;  // made and kept by mDesk
  std::unique_ptr<AKX11Desktop> mDesk;
  std::unique_ptr<AKX11Clipboard> mClip;  // made after mDesk, gone before it
  std::unique_ptr<AKX11Layout> mLayout;
  std::map<NSWindow*, XWindowData*> mWindows;
  // Windows closed while the manager had not taken their map, by X window, and since when.
  struct Closing
  {
    XWindowData* data;
    std::chrono::steady_clock::time_point since;
  };
  std::map<Window, Closing> mClosing;
  static constexpr std::chrono::seconds kClosingBound{60};
  bool mClosingBoundSaid = false;
  // The modal window kept above its owners: the one looked at last, how often its owners
  // were put below it, and whether (since when) the manager was asked to raise it.
  Window mModalKept = 0;
  int mModalTries = 0;
  bool mModalAsked = false;
  std::chrono::steady_clock::time_point mModalAskedAt;
  static constexpr int kModalTries = 4;
  static constexpr std::chrono::milliseconds kModalAnswer{500};
  std::map<Window, NSWindow*> mByXid;
  int mClicks = 0, mLastButton = 0;
  NSPoint mLastAt{0, 0};
  std::unique_ptr<AKX11Pointer> mPointer;
  NSTimeInterval mLastPress = -1;  // read then, by our clock
  Time mLastPressTime = CurrentTime;  // made then, by the server's
  AKScreenAnswers mAnswers;
};

void XWindowData::map()
{
  if (window) presenter->mapWindow(this);  // a closed one is never shown again
}
void XWindowData::withdraw() { presenter->withdrawWindow(this); }
void XWindowData::place(const AKX11WindowState::Place& p, bool moved, bool sized)
{
  if (window) presenter->sendPlace(this, p, moved, sized);
}
void XWindowData::forgetState() { presenter->forgetState(this); }
void XWindowData::answered(bool mapsNow) { presenter->answered(this, mapsNow); }

}  // namespace

std::unique_ptr<NSPresenter> AKMakeX11Presenter(const std::string& displayName, std::string* error, bool allowShm)
{
  Display* d = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (!d)
  {
    if (error) *error = "cannot open display " + (displayName.empty() ? std::string(getenv("DISPLAY") ? getenv("DISPLAY") : "") : displayName);
    return nullptr;
  }
  Visual* v = DefaultVisual(d, DefaultScreen(d));
  const int depth = DefaultDepth(d, DefaultScreen(d));
  if (v->c_class != TrueColor || (depth != 24 && depth != 32) || v->red_mask != 0xFF0000 || v->green_mask != 0xFF00 ||
      v->blue_mask != 0xFF || ImageByteOrder(d) != LSBFirst)
  {
    if (error) *error = "the display's visual is not 24-bit true colour";
    XCloseDisplay(d);
    return nullptr;
  }
  return std::make_unique<X11Presenter>(d, allowShm);
}

void AKSetX11ClipboardPieceLimit(size_t bytes) { AKX11Clipboard::setPieceLimit(bytes); }

void AKSetX11ClipboardPieceSize(size_t bytes) { AKX11Desktop::setPieceSize(bytes); }

unsigned long AKX11WindowOf(NSWindow* w)
{
  if (!NSApplication::exists() || !w || !w->presenterData) return 0;
  return ((XWindowData*)w->presenterData)->xid;
}
