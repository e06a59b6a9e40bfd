// The layer's windows among other X programs: a long clipboard text and a format
// of the program's own read by xclip; files dropped by an XDND client (written
// here, as a file manager speaks it) arriving as WM_DROPFILES; drags of files and
// of a promised file taken by an XDND client, and by a window of our own; a format
// of the program's own copied in one process and read in another; an image
// cursor as the server reports it; an OpenGL view's drawing in the window's pixels.

#include "../winsys_x11/wnd_x11_fixture.h"

#include "platform/appkit/NSDragging.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSWorkspace.h"
#include "raster/lice_bitmap.h"
#include "raster/lice_png.h"
#include "winsys/hosted/hosted.h"
#include "winsys/kernel.h"
#include "winsys/shell/clipboard.h"
#include "winsys/wnd/dragdrop.h"
#include "winsys/wnd/keyboard.h"

#include "platform/appkit/NSOpenGL.h"
#include "winsys/wnd/hwnd_view.h"

#include <GL/gl.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Another program on the display: its own connection, used by one thread.
struct Peer
{
  Display* d = nullptr;
  ::Window root = 0, win = 0;
  explicit Peer(const std::string& display)
  {
    d = XOpenDisplay(display.c_str());
    if (d) root = DefaultRootWindow(d);
  }
  // The program with a window of its own already made (see makeWindow), or no
  // display (d null) with why said.
  Peer(const std::string& display, int x, int y, int w, int h, bool dropTarget, std::string* why) : Peer(display)
  {
    if (d)
      makeWindow(x, y, w, h, dropTarget);
    else
      *why = "no display";
  }
  ~Peer()
  {
    if (!d) return;
    if (win) XDestroyWindow(d, win);
    XCloseDisplay(d);
  }
  Atom atom(const char* name) { return XInternAtom(d, name, False); }
  // A mapped window of its own at (x, y) of the screen, optionally a drop target.
  void makeWindow(int x, int y, int w, int h, bool dropTarget)
  {
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.event_mask = PropertyChangeMask;
    win = XCreateWindow(d, root, x, y, (unsigned)w, (unsigned)h, 0, CopyFromParent, InputOutput, CopyFromParent,
                        CWOverrideRedirect | CWEventMask, &a);
    if (dropTarget)
    {
      const long version = 5;
      XChangeProperty(d, win, atom("XdndAware"), XA_ATOM, 32, PropModeReplace, (const unsigned char*)&version, 1);
    }
    XMapRaised(d, win);
    XSync(d, False);
  }
  void client(::Window to, Atom type, long l0, long l1, long l2, long l3, long l4)
  {
    XClientMessageEvent m{};
    m.type = ClientMessage;
    m.window = to;
    m.message_type = type;
    m.format = 32;
    long l[5] = {l0, l1, l2, l3, l4};
    for (int i = 0; i < 5; ++i) m.data.l[i] = l[i];
    XSendEvent(d, to, False, NoEventMask, (XEvent*)&m);
    XFlush(d);
  }
  // The next event for which want answers true, within 10 s.
  bool next(XEvent* e, const std::function<bool(const XEvent&)>& want)
  {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end)
    {
      while (XPending(d))
      {
        XNextEvent(d, e);
        if (want(*e)) return true;
      }
      usleep(2000);
    }
    return false;
  }
  bool nextMessage(XEvent* e, Atom type)
  {
    return next(e, [&](const XEvent& x) { return x.type == ClientMessage && x.xclient.message_type == type; });
  }
  // A point of another client's window on the root.
  void toRoot(::Window w, int x, int y, int* rx, int* ry)
  {
    ::Window child;
    XTranslateCoordinates(d, w, root, x, y, rx, ry, &child);
  }
};

class Desktop : public WndX11Test
{
protected:
  void SetUp() override
  {
    WndX11Test::SetUp();
    if (HasFatalFailure()) return;
    display = X11Session::server()->display();
  }
  // As until, asking again every 20 ms: what another client sees of the screen
  // comes without an event of ours.
  bool polled(const std::function<bool()>& done)
  {
    for (int i = 0; i < 500; ++i)
    {
      if (done()) return true;
      loop->runUntilDate(loop->now() + 0.02);
    }
    return done();
  }

  // A shown top-level window view and its X window.
  HWND Shown(NSRect frame, const char* title, unsigned long* xid)
  {
    NSWindow* w = nullptr;
    const HWND top = Window(frame, 0, &w);
    w->setTitle(title);
    ShowWindow(top, SW_SHOW);
    *xid = AKX11WindowOf(w);
    EXPECT_NE(*xid, 0u);
    EXPECT_TRUE(until([&] { return driver->viewable(*xid) && w->displayCount() > 0; }));
    return top;
  }

  // Starts xclip on the test's display with stdout on the file; its exit status
  // while the run loop answers it, or -1 after 20 s.
  int xclipOut(const std::vector<std::string>& args, const std::string& out)
  {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argv{"/usr/bin/xclip", "-display", display, "-selection", "clipboard"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> a;
    for (std::string& s : argv) a.push_back(&s[0]);
    a.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, a[0], &fa, nullptr, a.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? RunLoopUntilChildExits(pid, 20) : -1;
  }

  static std::string slurp(const std::string& path)
  {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
  }

  // Turns the run loop until the future is ready (at most 20 s).
  template <class T>
  bool runUntilReady(std::future<T>& f)
  {
    for (int i = 0; i < 2000; ++i)
    {
      if (f.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready) return true;
      loop->runUntilDate(loop->now() + 0.01);
    }
    return false;
  }

  std::string display;
};

HANDLE Block(const std::string& bytes, bool terminate)
{
  HANDLE h = GlobalAlloc(0, (int)bytes.size() + (terminate ? 1 : 0));
  memcpy(GlobalLock(h), bytes.c_str(), bytes.size() + (terminate ? 1 : 0));
  GlobalUnlock(h);
  return h;
}

TEST_F(Desktop, LongTextAndAFormatOfOurOwnReachXclip)
{
  ASSERT_EQ(access("/usr/bin/xclip", X_OK), 0) << "xclip is missing (tools/packages.sh installs it)";
  // 64 KB pieces: the megabyte goes in sixteen of them and more (INCR).
  AKSetX11ClipboardPieceSize(64 * 1024);
  std::string text(1 << 20, 'x');
  for (size_t i = 0; i < text.size(); ++i) text[i] = (char)('a' + (i * 7 + i / 4096) % 26);
  std::string patch;
  for (int i = 0; i < 300; ++i) patch += (char)(i & 0xFF);  // NULs and high bytes too
  ASSERT_TRUE(OpenClipboard(nullptr));  // registers the text format first
  const UINT fmt = RegisterClipboardFormat("application/x-davrel-patch");
  ASSERT_NE(fmt, CF_TEXT);
  EmptyClipboard();
  SetClipboardData(CF_TEXT, Block(text, true));
  SetClipboardData(fmt, Block(patch, false));
  CloseClipboard();

  char dir[] = "/tmp/davrel-desk-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string out = std::string(dir) + "/out";
  ASSERT_EQ(xclipOut({"-o", "-t", "TARGETS"}, out), 0);
  const std::string targets = slurp(out);
  EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;
  EXPECT_NE(targets.find("application/x-davrel-patch"), std::string::npos) << targets;

  ASSERT_EQ(xclipOut({"-o", "-t", "UTF8_STRING"}, out), 0);
  const std::string gotText = slurp(out);
  EXPECT_EQ(gotText.size(), text.size());
  EXPECT_TRUE(gotText == text);

  ASSERT_EQ(xclipOut({"-o", "-t", "application/x-davrel-patch"}, out), 0);
  EXPECT_EQ(slurp(out), patch);

  // A target nobody offered is refused, not answered with something else.
  EXPECT_NE(xclipOut({"-o", "-t", "image/png"}, out), 0);

  AKSetX11ClipboardPieceSize(0);
  unlink(out.c_str());
  rmdir(dir);
}

// Formats of the program's own copied alone (to the private pasteboard); what the
// clipboard lists and holds of one of them, byte-exact.
const char* const kPatch = "application/x-davrel-patch";
const char* const kBank = "application/x-davrel-bank";  // more than a piece: sent by INCR
const char* const kReply = "application/x-davrel-reply";
const std::string kPatchBytes("F0\0\x7F\xFF patch", 10), kReplyBytes("re\0ply", 6), kBankBytes = [] {
  std::string b(200000, '\0');
  for (size_t i = 0; i < b.size(); ++i) b[i] = (char)(i * 31 + i / 977);
  return b;
}();
void CopyPrivate(const std::vector<std::pair<const char*, std::string>>& formats)
{
  ASSERT_TRUE(OpenClipboard(nullptr));
  for (const auto& f : formats) SetClipboardData(RegisterClipboardFormat(f.first), Block(f.second, false));
  CloseClipboard();
}
using Clip = std::pair<std::vector<UINT>, std::optional<std::string>>;
Clip Pasted(const char* name)
{
  OpenClipboard(nullptr);
  Clip got;
  for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) got.first.push_back(f);
  if (HANDLE h = GetClipboardData(RegisterClipboardFormat(name))) got.second.emplace((char*)GlobalLock(h), GlobalSize(h));
  CloseClipboard();
  return got;
}

// Run in a child process by the test below, a second process of the program on
// the same display: reads what the first copied, copies a format of its own, and
// ends once the first has copied again.
TEST(ClipboardHelper, ReadsWhatTheOtherProcessCopied)
{
  const char* display = getenv("DESKTOP_CLIP_DISPLAY");
  if (!display) GTEST_SKIP() << "runs as a child of Desktop.PrivateFormatsGoBetweenProcesses";  // not listed in CTest
  std::string problem;
  std::unique_ptr<NSPresenter> x = AKMakeX11Presenter(display, &problem);
  ASSERT_TRUE(x) << problem;
  NSApplication::setPresenter(std::move(x));
  NSApplication::sharedApplication();
  // Registered in another order than the first process did: formats go by name;
  // the first's "unread", never registered here, is passed over.
  RegisterClipboardFormat(kReply);
  const UINT bank = RegisterClipboardFormat(kBank), patch = RegisterClipboardFormat(kPatch);
  EXPECT_TRUE(Pasted(kPatch) == Clip({patch, bank}, kPatchBytes));
  EXPECT_TRUE(Pasted(kBank).second == kBankBytes);  // not printed: 200000 bytes

  CopyPrivate({{kReply, kReplyBytes}});
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  EXPECT_TRUE(loop->runUntil([&] { return Pasted(kPatch).second.has_value(); }, loop->now() + 30.0));
  NSApplication::shutdown();
}

TEST_F(Desktop, PrivateFormatsGoBetweenProcesses)
{
  AKSetX11ClipboardPieceSize(64 * 1024);
  const UINT reply = RegisterClipboardFormat(kReply);
  CopyPrivate({{kPatch, kPatchBytes}, {"application/x-davrel-unread", "x"}, {kBank, kBankBytes}});
  setenv("DESKTOP_CLIP_DISPLAY", display.c_str(), 1);
  const char* argv[] = {"/proc/self/exe", "--gtest_filter=ClipboardHelper.*", nullptr};
  pid_t child = -1;
  const int rc = posix_spawn(&child, argv[0], nullptr, nullptr, (char**)argv, environ);
  unsetenv("DESKTOP_CLIP_DISPLAY");
  ASSERT_EQ(rc, 0);
  // Once the child has copied, the pasteboard holds its format alone: ours is gone.
  EXPECT_TRUE(polled([&] { return Pasted(kReply) == Clip({reply}, kReplyBytes); }));
  CopyPrivate({{kPatch, "done"}});
  EXPECT_EQ(RunLoopUntilChildExits(child, 30), 0);
  AKSetX11ClipboardPieceSize(0);
}

// What a WM_DROPFILES handler saw: the block is the layer's and freed after.
struct Dropped
{
  std::vector<std::string> files;
  POINT pt{-1, -1};
  int count = 0;
};

TEST_F(Desktop, FilesDroppedByAnotherProgramArriveAsDropFiles)
{
  unsigned long xid = 0;
  const HWND top = Shown(NSMakeRect(100, 500, 300, 200), "drop here", &xid);
  const HWND target = Child(top, NSMakeRect(30, 40, 120, 100));
  const HWND refusing = Child(top, NSMakeRect(170, 40, 100, 100));
  SetWindowLong(target, GWL_EXSTYLE, WS_EX_ACCEPTFILES);
  Dropped dropped;
  log.handlers[{target, WM_DROPFILES}] = [&](HWND, WPARAM wp, LPARAM) -> LRESULT {
    ++dropped.count;
    HDROP drop = (HDROP)wp;
    const UINT n = DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i)
    {
      char buf[4096];
      DragQueryFile(drop, i, buf, sizeof buf);
      dropped.files.push_back(buf);
    }
    DragQueryPoint(drop, &dropped.pt);
    return 0;
  };
  loop->runOnce();

  // The other program: a source offering a URI list, as file managers do.
  const std::string list =
      "file:///tmp/Bank%20one.syx\r\n# a comment line\r\nfile://localhost/tmp/patch%25.txt\r\n"
      "http://example.invalid/not-a-file\r\nfile://otherhost/tmp/elsewhere\r\nfile:///tmp/caf%C3%A9\r\n"
      "file:///tmp/cut%00short\r\nfile:///tmp/bad%2\r\n";  // a NUL would cut the path; a broken escape
  struct Outcome
  {
    bool ok = false;
    long statusOver = -1, statusRefused = -1, finished = -1;
    std::string why;
  };
  auto drop = [&](int x, int y, int refusedX, int refusedY) {
    Outcome o;
    Peer p(display, 0, 0, 1, 1, false, &o.why);
    if (!p.d) return o;
    const Atom sel = p.atom("XdndSelection"), uri = p.atom("text/uri-list");
    XSetSelectionOwner(p.d, sel, p.win, CurrentTime);
    int rx, ry;
    XEvent e;
    p.client(xid, p.atom("XdndEnter"), (long)p.win, 5L << 24, (long)uri, 0, 0);
    // Over the window that refuses files first, then over the one that takes them.
    p.toRoot(xid, refusedX, refusedY, &rx, &ry);
    p.client(xid, p.atom("XdndPosition"), (long)p.win, 0, ((long)rx << 16) | ry, CurrentTime,
             (long)p.atom("XdndActionCopy"));
    // The target asks for the files while the drag is on: answer it.
    auto serve = [&](const XEvent& x) {
      if (x.type != SelectionRequest) return false;
      const XSelectionRequestEvent& r = x.xselectionrequest;
      XSelectionEvent n{};
      n.type = SelectionNotify;
      n.requestor = r.requestor;
      n.selection = r.selection;
      n.target = r.target;
      n.time = r.time;
      n.property = None;
      if (r.target == uri)
      {
        XChangeProperty(p.d, r.requestor, r.property, uri, 8, PropModeReplace, (const unsigned char*)list.data(),
                        (int)list.size());
        n.property = r.property;
      }
      XSendEvent(p.d, r.requestor, False, NoEventMask, (XEvent*)&n);
      XFlush(p.d);
      return false;
    };
    auto status = [&](const XEvent& x) {
      serve(x);
      return x.type == ClientMessage && x.xclient.message_type == p.atom("XdndStatus");
    };
    if (!p.next(&e, status))
    {
      o.why = "no status over the refusing view";
      return o;
    }
    o.statusRefused = e.xclient.data.l[1] & 1;
    p.toRoot(xid, x, y, &rx, &ry);
    p.client(xid, p.atom("XdndPosition"), (long)p.win, 0, ((long)rx << 16) | ry, CurrentTime,
             (long)p.atom("XdndActionCopy"));
    if (!p.next(&e, status))
    {
      o.why = "no status over the target";
      return o;
    }
    o.statusOver = e.xclient.data.l[1] & 1;
    p.client(xid, p.atom("XdndDrop"), (long)p.win, 0, CurrentTime, 0, 0);
    if (!p.next(&e, [&](const XEvent& x) {
          serve(x);
          return x.type == ClientMessage && x.xclient.message_type == p.atom("XdndFinished");
        }))
    {
      o.why = "no finish";
      return o;
    }
    o.finished = e.xclient.data.l[1] & 1;
    o.ok = true;
    return o;
  };

  // The child at (30, 40) of the window: (50, 70) of the window is (20, 30) in it.
  std::future<Outcome> f = std::async(std::launch::async, drop, 50, 70, 200, 90);
  ASSERT_TRUE(runUntilReady(f));
  const Outcome o = f.get();
  ASSERT_TRUE(o.ok) << o.why;
  EXPECT_EQ(o.statusRefused, 0);
  EXPECT_EQ(o.statusOver, 1);
  EXPECT_EQ(o.finished, 1);
  EXPECT_EQ(dropped.count, 1);
  EXPECT_EQ(dropped.files,
            (std::vector<std::string>{"/tmp/Bank one.syx", "/tmp/patch%.txt", "/tmp/caf\xC3\xA9"}));
  EXPECT_EQ(dropped.pt.x, 20);
  EXPECT_EQ(dropped.pt.y, 30);
  EXPECT_TRUE(log.only(WM_DROPFILES).size() == 1 && log.only(WM_DROPFILES)[0].hwnd == target);

  // Dropped on the view that takes no files: refused, nothing delivered.
  std::future<Outcome> g = std::async(std::launch::async, drop, 200, 90, 210, 95);
  ASSERT_TRUE(runUntilReady(g));
  const Outcome r = g.get();
  ASSERT_TRUE(r.ok) << r.why;
  EXPECT_EQ(r.statusOver, 0);
  EXPECT_EQ(r.finished, 0);
  EXPECT_EQ(dropped.count, 1);
  (void)refusing;
}

// What the other program saw of a drag it took.
struct Taken
{
  bool ok = false;
  std::string why, list;
  long action = 0;
};

// The other program's side of a drag: once the layer owns the drag selection it
// moves the pointer (XTest) over its own XDND-aware window at (1200, 100), or,
// when takes is false, to the root point (toX, toY); there it accepts the drag,
// releases the button and, taking it, asks for the files and says it is done.
Taken TakeDrag(const std::string& display, std::atomic<bool>* ready, bool takes, int toX, int toY)
{
  Taken t;
  Peer p(display, 1200, 100, 200, 200, true, &t.why);
  if (!p.d) return t;
  *ready = true;
  const Atom sel = p.atom("XdndSelection");
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (XGetSelectionOwner(p.d, sel) == None && Clock::now() < end) usleep(2000);
  if (XGetSelectionOwner(p.d, sel) == None)
  {
    t.why = "the drag never started";
    XTestFakeButtonEvent(p.d, 1, False, CurrentTime);
    XSync(p.d, False);
    return t;
  }
  if (takes) p.toRoot(p.win, 50, 60, &toX, &toY);
  XTestFakeMotionEvent(p.d, -1, toX, toY, CurrentTime);
  XSync(p.d, False);
  XEvent e;
  if (!takes)
  {
    usleep(50000);  // the layer's windows answer inside its own loop
    XTestFakeButtonEvent(p.d, 1, False, CurrentTime);
    XSync(p.d, False);
    t.ok = true;
    return t;
  }
  if (!p.nextMessage(&e, p.atom("XdndEnter")))
  {
    t.why = "no enter";
    XTestFakeButtonEvent(p.d, 1, False, CurrentTime);
    XSync(p.d, False);
    return t;
  }
  const ::Window src = (::Window)e.xclient.data.l[0];
  if (!p.nextMessage(&e, p.atom("XdndPosition")))
  {
    t.why = "no position";
    return t;
  }
  t.action = e.xclient.data.l[4];
  p.client(src, p.atom("XdndStatus"), (long)p.win, 1, 0, 0, (long)p.atom("XdndActionCopy"));
  XTestFakeButtonEvent(p.d, 1, False, CurrentTime);
  XSync(p.d, False);
  if (!p.nextMessage(&e, p.atom("XdndDrop")))
  {
    t.why = "no drop";
    return t;
  }
  const Atom uri = p.atom("text/uri-list"), prop = p.atom("GOT");
  XConvertSelection(p.d, sel, uri, prop, p.win, (Time)e.xclient.data.l[2]);
  XFlush(p.d);
  if (!p.next(&e, [](const XEvent& x) { return x.type == SelectionNotify; }) || e.xselection.property == None)
  {
    t.why = "the files were not given";
    return t;
  }
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  XGetWindowProperty(p.d, p.win, prop, 0, 1 << 20, True, AnyPropertyType, &type, &format, &n, &after, &data);
  if (data) t.list.assign((const char*)data, n);
  if (data) XFree(data);
  p.client(src, p.atom("XdndFinished"), (long)p.win, 1, (long)p.atom("XdndActionCopy"), 0, 0);
  t.ok = true;
  return t;
}

class DesktopDrag : public Desktop
{
protected:
  // Presses the button over the window (as a program starts a drag from a press),
  // runs start (which runs the drag) while the other program takes it.
  Taken Drag(unsigned long xid, const std::function<void()>& start, bool takes = true, int toX = 0, int toY = 0)
  {
    Peer p(display);
    EXPECT_NE(p.d, nullptr);
    if (!p.d) return Taken();
    XWarpPointer(p.d, None, xid, 0, 0, 0, 0, 40, 40);
    XTestFakeButtonEvent(p.d, 1, True, CurrentTime);
    XSync(p.d, False);
    loop->runUntilDate(loop->now() + 0.05);
    std::atomic<bool> ready{false};
    std::future<Taken> f = std::async(std::launch::async, TakeDrag, display, &ready, takes, toX, toY);
    while (!ready && f.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
    {
    }
    start();
    EXPECT_TRUE(runUntilReady(f));
    XTestFakeButtonEvent(p.d, 1, False, CurrentTime);  // in case the drag never ran
    XSync(p.d, False);
    return f.valid() ? f.get() : Taken();
  }
};

TEST_F(DesktopDrag, FileListIsTakenByAnotherProgram)
{
  unsigned long xid = 0;
  const HWND top = Shown(NSMakeRect(100, 500, 300, 200), "drag from here", &xid);
  const HWND source = Child(top, NSMakeRect(10, 10, 100, 100));
  loop->runOnce();
  const char* files[] = {"/tmp/Bank one.syx", "/tmp/caf\xC3\xA9 #2"};
  RECT r{10, 10, 42, 42};
  const Taken t = Drag(xid, [&] { SWELL_InitiateDragDropOfFileList(source, &r, files, 2, nullptr); });
  ASSERT_TRUE(t.ok) << t.why;
  EXPECT_EQ(t.list, "file:///tmp/Bank%20one.syx\r\nfile:///tmp/caf%C3%A9%20%232\r\n");
  EXPECT_NE(t.action, 0);
  EXPECT_EQ(AKLastDragStarted().filenames, (std::vector<std::string>{files[0], files[1]}));

  // Without a button held no drag runs: the call comes back at once.
  const auto before = AKLastDragStarted().count;
  SWELL_InitiateDragDropOfFileList(source, &r, files, 2, nullptr);
  EXPECT_EQ(AKLastDragStarted().count, before + 1);
}

std::string g_promisedAt;
void MakePromised(const char* dest)
{
  g_promisedAt = dest;
  std::ofstream(dest, std::ios::binary) << "F0 7D 01 F7";
}

TEST_F(DesktopDrag, PromisedFileIsMadeWhenAnotherProgramTakesIt)
{
  unsigned long xid = 0;
  const HWND top = Shown(NSMakeRect(100, 500, 300, 200), "promise", &xid);
  const HWND source = Child(top, NSMakeRect(10, 10, 100, 100));
  loop->runOnce();
  g_promisedAt.clear();
  RECT r{10, 10, 42, 42};
  const Taken t =
      Drag(xid, [&] { SWELL_InitiateDragDrop(source, &r, "/nowhere/Bank one.syx", MakePromised); });
  ASSERT_TRUE(t.ok) << t.why;
  ASSERT_FALSE(g_promisedAt.empty()) << "the callback made no file";
  const std::string folder = g_promisedAt.substr(0, g_promisedAt.rfind('/'));
  EXPECT_EQ(g_promisedAt, folder + "/Bank one.syx");
  EXPECT_EQ(t.list, "file://" + folder + "/Bank%20one.syx\r\n");
  EXPECT_EQ(slurp(g_promisedAt), "F0 7D 01 F7");
  unlink(g_promisedAt.c_str());
  rmdir(folder.c_str());
}

std::string g_dropFolder;

TEST_F(DesktopDrag, FilesDroppedOnAnotherWindowOfTheProcess)
{
  unsigned long from = 0, to = 0;
  const HWND a = Shown(NSMakeRect(100, 500, 200, 150), "from", &from);
  const HWND source = Child(a, NSMakeRect(10, 10, 100, 100));
  const HWND b = Shown(NSMakeRect(600, 500, 200, 150), "to", &to);
  const HWND target = Child(b, NSMakeRect(20, 20, 150, 100));
  SetWindowLong(target, GWL_EXSTYLE, WS_EX_ACCEPTFILES);
  std::vector<std::string> got;
  log.handlers[{target, WM_DROPFILES}] = [&](HWND, WPARAM wp, LPARAM) -> LRESULT {
    char buf[4096];
    for (UINT i = 0; i < DragQueryFile((HDROP)wp, 0xFFFFFFFF, nullptr, 0); ++i)
    {
      DragQueryFile((HDROP)wp, i, buf, sizeof buf);
      got.push_back(buf);
    }
    return 0;
  };
  loop->runOnce();
  Peer p(display);
  ASSERT_NE(p.d, nullptr);
  int rx = 0, ry = 0;
  p.toRoot(to, 60, 60, &rx, &ry);
  char dir[] = "/tmp/davrel-dropto-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  g_dropFolder = dir;
  // The target names the folder; the source makes the promised file there.
  SWELL_DDrop_getDroppedFileTargetPath = [](const char*) { return g_dropFolder.c_str(); };
  const char* files[] = {"/tmp/Bank two.syx"};
  RECT r{10, 10, 42, 42};
  const std::string promised = g_dropFolder + "/Bank two.syx";
  for (const bool isPromised : {false, true})
  {
    SCOPED_TRACE(isPromised ? "promised" : "file list");
    got.clear();
    const Taken t = Drag(from, [&] {
      if (isPromised) SWELL_InitiateDragDrop(source, &r, "/nowhere/Bank two.syx", MakePromised);
      else SWELL_InitiateDragDropOfFileList(source, &r, files, 1, nullptr);
    }, false, rx, ry);
    ASSERT_TRUE(t.ok) << t.why;
    EXPECT_EQ(got, std::vector<std::string>{isPromised ? promised : files[0]});
  }
  EXPECT_EQ(slurp(promised), "F0 7D 01 F7");  // made where the target asked
  SWELL_DDrop_getDroppedFileTargetPath = nullptr;
  unlink(promised.c_str());
  rmdir(dir);
}

TEST_F(Desktop, ImageCursorIsWhatTheServerShows)
{
  // A 24 x 20 image: opaque red, its top-left quarter blue, fully clear at the right.
  char dir[] = "/tmp/davrel-cur-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string png = std::string(dir) + "/pointer.png";
  const int W = 24, H = 20;
  ASSERT_TRUE(LICE_WritePNGRows(png.c_str(), W, H, true, false, [&](int y, unsigned char* row) {
    for (int x = 0; x < W; ++x)
    {
      unsigned char* p = row + x * 4;
      const bool blue = x < W / 2 && y < H / 2, clear = x >= W - 2;
      p[0] = blue ? 0 : 255;
      p[1] = 0;
      p[2] = blue ? 255 : 0;
      p[3] = clear ? 0 : 255;
    }
  }));
  HCURSOR c = SWELL_LoadCursorFromFile(png.c_str());
  unlink(png.c_str());
  rmdir(dir);
  ASSERT_NE(c, nullptr);
  struct Release
  {
    HCURSOR c;
    ~Release() { c->release(); }
  } keep{c};

  unsigned long xid = 0;
  Shown(NSMakeRect(300, 300, 200, 150), "cursor", &xid);
  Peer p(display);
  ASSERT_NE(p.d, nullptr);
  int ev, err;
  ASSERT_TRUE(XFixesQueryExtension(p.d, &ev, &err));
  XWarpPointer(p.d, None, xid, 0, 0, 0, 0, 60, 50);
  XSync(p.d, False);

  auto shown = [&](int* w, int* h, std::vector<unsigned long>* px) {
    driver->sync();
    XFixesCursorImage* img = XFixesGetCursorImage(p.d);
    if (!img) return false;
    *w = img->width;
    *h = img->height;
    px->assign(img->pixels, img->pixels + (size_t)img->width * img->height);
    XFree(img);
    return true;
  };
  int w = 0, h = 0;
  std::vector<unsigned long> px;
  ASSERT_TRUE(shown(&w, &h, &px));
  const int arrowW = w, arrowH = h;

  SWELL_SetCursor(c);
  // The server takes the change from the layer's connection, the question from ours.
  // Both sides: the arrow may be as wide as ours.
  polled([&] { return shown(&w, &h, &px) && w == W && h == H; });
  ASSERT_EQ(w, W);
  ASSERT_EQ(h, H);
  EXPECT_EQ(px[0] & 0xFFFFFFFFu, 0xFF0000FFu);                      // blue
  EXPECT_EQ(px[(size_t)(H - 1) * W] & 0xFFFFFFFFu, 0xFFFF0000u);    // red
  EXPECT_EQ(px[(size_t)W - 1] & 0xFF000000u, 0u);                   // clear

  // The arrow again.
  SWELL_SetCursor(SWELL_LoadCursor((const char*)(intptr_t)-999));
  polled([&] { return shown(&w, &h, &px) && w == arrowW && h == arrowH; });
  EXPECT_EQ(w, arrowW);
  EXPECT_EQ(h, arrowH);
}

}  // namespace

namespace {

// A view with an OpenGL context: blue cleared, a red triangle with its apex at the
// top middle and its base along the bottom.
LRESULT PaintTriangle(HWND, WPARAM, LPARAM)
{
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glColor3f(1, 0, 0);
  glBegin(GL_TRIANGLES);
  glVertex2f(-1, -1);
  glVertex2f(1, -1);
  glVertex2f(0, 1);
  glEnd();
  glFlush();
  return 0;
}

TEST_F(Desktop, OpenGLTriangleIsInTheWindowsPixels)
{
  unsigned long xid = 0;
  const HWND top = Shown(NSMakeRect(200, 400, 240, 180), "OpenGL", &xid);
  const HWND gl = Child(top, NSMakeRect(20, 30, 160, 120));
  SWELL_SetViewGL(gl, true);
  SWELL_SetViewGL(gl, true);  // a second wish for the same makes no second context
  NSObject* ctx = SWELL_WindowView(gl)->swellGLContext();
  ASSERT_NE(ctx, nullptr);
  log.handlers[{gl, WM_PAINT}] = PaintTriangle;
  InvalidateRect(gl, nullptr, FALSE);
  ASSERT_TRUE(until([&] { return !log.only(WM_PAINT).empty(); }));
  EXPECT_EQ(NSOpenGLContext::currentContext(), nullptr) << "painting unbinds the context";
  EXPECT_EQ(SWELL_WindowView(gl)->swellGLContext(), ctx);

  // What the server shows: the view at (20, 30) of the window, 160 x 120.
  auto colourAt = [&](const std::vector<uint32_t>& px, int w, int x, int y) { return px[(size_t)y * w + x]; };
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  ASSERT_TRUE(polled([&] {
    driver->sync();
    return driver->read(xid, &w, &h, &px) && colourAt(px, w, 100, 90) == 0xFF0000u;
  })) << "no red in the middle of the view";
  EXPECT_EQ(colourAt(px, w, 100, 120), 0xFF0000u);  // near the base, in the middle
  EXPECT_EQ(colourAt(px, w, 23, 33), 0x0000FFu);    // the view's top-left corner: cleared blue
  EXPECT_EQ(colourAt(px, w, 176, 33), 0x0000FFu);   // top right
  EXPECT_NE(colourAt(px, w, 10, 10), 0x0000FFu);    // outside the view: the window's own
  EXPECT_NE(colourAt(px, w, 200, 160), 0x0000FFu);
  EXPECT_NE(colourAt(px, w, 200, 160), 0xFF0000u);

  // Drawing outside painting: bound by hand, shown when unbound.
  ASSERT_TRUE(SWELL_SetGLContextToView(gl));
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_FALSE(SWELL_SetGLContextToView(nullptr));
  ASSERT_TRUE(polled([&] {
    driver->sync();
    return driver->read(xid, &w, &h, &px) && colourAt(px, w, 100, 90) == 0x00FF00u;
  }));
  EXPECT_EQ(colourAt(px, w, 23, 33), 0x00FF00u);

  SWELL_SetViewGL(gl, false);
  EXPECT_FALSE(SWELL_GetViewGL(gl));
  SWELL_SetViewGL(gl, false);  // nothing to switch off
}

}  // namespace
