#include "platform/appkit/X11Desktop.h"

#include "platform/appkit/NSDragging.h"
#include "platform/appkit/NSWindow.h"

#include <X11/Xatom.h>
#include <X11/Xcursor/Xcursor.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace {

size_t gPieceSize = 0;  // 0: what one request holds

int gTrappedError = 0;
int trapError(Display*, XErrorEvent* e)
{
  gTrappedError = e->error_code;
  return 0;
}

// Waits at most 100 ms for the server; false once the deadline has passed.
bool awaitInput(Display* d, std::chrono::steady_clock::time_point deadline)
{
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  if (XPending(d)) return true;
  pollfd fd{ConnectionNumber(d), POLLIN, 0};
  poll(&fd, 1, (int)std::min<long long>(left.count(), 100));
  return true;
}

const char kUnreserved[] = "-_.~/";

}  // namespace

AKX11Desktop::AKX11Desktop(Display* d, Host* host) : mDisplay(d), mHost(host)
{
  mRoot = DefaultRootWindow(d);
  mWindow = XCreateSimpleWindow(d, mRoot, -10, -10, 1, 1, 0, 0, 0);
  XSelectInput(d, mWindow, PropertyChangeMask);
  mTargets = XInternAtom(d, "TARGETS", False);
  mIncr = XInternAtom(d, "INCR", False);
  mUtf8 = XInternAtom(d, "UTF8_STRING", False);
  mAtomPair = XInternAtom(d, "ATOM_PAIR", False);
  mDndProperty = XInternAtom(d, "DAVREL_DROP", False);
  mXdndAware = XInternAtom(d, "XdndAware", False);
  mXdndEnter = XInternAtom(d, "XdndEnter", False);
  mXdndPosition = XInternAtom(d, "XdndPosition", False);
  mXdndStatus = XInternAtom(d, "XdndStatus", False);
  mXdndLeave = XInternAtom(d, "XdndLeave", False);
  mXdndDrop = XInternAtom(d, "XdndDrop", False);
  mXdndFinished = XInternAtom(d, "XdndFinished", False);
  mXdndSelection = XInternAtom(d, "XdndSelection", False);
  mXdndTypeList = XInternAtom(d, "XdndTypeList", False);
  mXdndActionCopy = XInternAtom(d, "XdndActionCopy", False);
  mUriList = XInternAtom(d, "text/uri-list", False);
}

AKX11Desktop::~AKX11Desktop()
{
  if (mImageCursor) XFreeCursor(mDisplay, mImageCursor);
  XDestroyWindow(mDisplay, mWindow);
}

void AKX11Desktop::setPieceSize(size_t bytes) { gPieceSize = bytes; }

size_t AKX11Desktop::pieceSize() const
{
  long maxBytes = XExtendedMaxRequestSize(mDisplay);
  if (maxBytes == 0) maxBytes = XMaxRequestSize(mDisplay);
  size_t most = (size_t)maxBytes * 4 - 1024;
  // Requestors read a property in one call; pieces far below the request limit
  // keep each within what every client reads at once.
  most = std::min<size_t>(most, 256 * 1024);
  return gPieceSize ? std::min(gPieceSize, most) : most;
}

bool AKX11Desktop::trapped(const std::function<void()>& f)
{
  XSync(mDisplay, False);
  gTrappedError = 0;
  XErrorHandler old = XSetErrorHandler(trapError);
  f();
  XSync(mDisplay, False);
  XSetErrorHandler(old);
  return gTrappedError == 0;
}

// ---- the selections we offer ----

void AKX11Desktop::clearOffer(Atom selection)
{
  mOffers.erase(selection);
  // Transfers under way keep their copy: the requestor asked before the change.
}

void AKX11Desktop::offer(Atom selection, Atom target, const std::vector<uint8_t>& bytes)
{
  auto& offer = mOffers[selection];
  for (auto& o : offer)
    if (o.first == target)
    {
      o.second = bytes;
      return;
    }
  offer.emplace_back(target, bytes);
}

void AKX11Desktop::reply(const XSelectionRequestEvent& r, Atom property)
{
  XSelectionEvent e{};
  e.type = SelectionNotify;
  e.display = mDisplay;
  e.requestor = r.requestor;
  e.selection = r.selection;
  e.target = r.target;
  e.time = r.time;
  e.property = property;
  trapped([&] { XSendEvent(mDisplay, r.requestor, False, NoEventMask, (XEvent*)&e); });
}

void AKX11Desktop::refuse(const XSelectionRequestEvent& r) { reply(r, None); }

void AKX11Desktop::answerClipboard(const XSelectionRequestEvent& r)
{
  // Old clients name no property: the target is the property then.
  const Atom property = r.property == None ? r.target : r.property;
  const auto& offer = mOffers[r.selection];
  if (r.target == mTargets)
  {
    std::vector<Atom> targets{mTargets};
    for (const auto& o : offer) targets.push_back(o.first);
    const bool ok = trapped([&] {
      XChangeProperty(mDisplay, r.requestor, property, XA_ATOM, 32, PropModeReplace, (unsigned char*)targets.data(),
                      (int)targets.size());
    });
    ok ? reply(r, property) : refuse(r);
    return;
  }
  auto it = std::find_if(offer.begin(), offer.end(), [&](const auto& o) { return o.first == r.target; });
  if (it == offer.end())
  {
    refuse(r);
    return;
  }
  const std::vector<uint8_t>& data = it->second;
  if (data.size() <= pieceSize())
  {
    const bool ok = trapped([&] {
      XChangeProperty(mDisplay, r.requestor, property, r.target, 8, PropModeReplace, data.data(), (int)data.size());
    });
    ok ? reply(r, property) : refuse(r);
    return;
  }
  // Too long for one piece: the INCR marker with the size, then a piece each time
  // the requestor deletes the property, then an empty piece.
  const long size = (long)std::min<size_t>(data.size(), 0x7FFFFFFF);
  const bool ok = trapped([&] {
    XSelectInput(mDisplay, r.requestor, PropertyChangeMask);
    XChangeProperty(mDisplay, r.requestor, property, mIncr, 32, PropModeReplace, (unsigned char*)&size, 1);
  });
  if (!ok)
  {
    refuse(r);
    return;
  }
  mTransfers.push_back(Transfer{r.requestor, property, r.target, data, 0, std::chrono::steady_clock::now()});
  reply(r, property);
}

void AKX11Desktop::sendPiece(Transfer& t)
{
  const size_t n = std::min(pieceSize(), t.data.size() - t.sent);
  const bool ok = trapped([&] {
    XChangeProperty(mDisplay, t.requestor, t.property, t.type, 8, PropModeReplace, t.data.data() + t.sent, (int)n);
  });
  t.last = std::chrono::steady_clock::now();
  if (!ok || n == 0) t.sent = SIZE_MAX;  // done, or the requestor went away
  else t.sent += n;
}

// ---- events ----

void AKX11Desktop::windowCreated(Window xid)
{
  const long version = 5;
  XChangeProperty(mDisplay, xid, mXdndAware, XA_ATOM, 32, PropModeReplace, (const unsigned char*)&version, 1);
}

bool AKX11Desktop::handle(XEvent& e)
{
  // Transfers whose requestor stopped asking for 10 s are given up.
  const auto now = std::chrono::steady_clock::now();
  mTransfers.erase(std::remove_if(mTransfers.begin(), mTransfers.end(),
                                  [&](const Transfer& t) {
                                    return t.sent == SIZE_MAX || now - t.last > std::chrono::seconds(10);
                                  }),
                   mTransfers.end());
  if (e.type == PropertyNotify && e.xproperty.state == PropertyDelete)
  {
    bool mine = false;
    for (Transfer& t : mTransfers)
      if (t.requestor == e.xproperty.window && t.property == e.xproperty.atom && t.sent != SIZE_MAX)
      {
        sendPiece(t);
        mine = true;
        break;
      }
    if (mine) return true;
  }
  if (e.type == SelectionRequest && e.xselectionrequest.selection == mXdndSelection &&
      e.xselectionrequest.owner == mWindow)
  {
    answerDrag(e.xselectionrequest);
    return true;
  }
  if (e.type == ClientMessage) return handleDndMessage(e.xclient);
  return e.xany.window == mWindow;
}

// ---- files dropped on our windows ----

void AKX11Desktop::sendClient(Window to, Atom type, long l0, long l1, long l2, long l3, long l4)
{
  XClientMessageEvent m{};
  m.type = ClientMessage;
  m.display = mDisplay;
  m.window = to;
  m.message_type = type;
  m.format = 32;
  m.data.l[0] = l0;
  m.data.l[1] = l1;
  m.data.l[2] = l2;
  m.data.l[3] = l3;
  m.data.l[4] = l4;
  trapped([&] { XSendEvent(mDisplay, to, False, NoEventMask, (XEvent*)&m); });
}

// Asks the drag's source for its files (text/uri-list); a bounded wait.
bool AKX11Desktop::fetchFiles(Time time)
{
  mIn.fetched = true;
  mIn.files.clear();
  if (XGetSelectionOwner(mDisplay, mXdndSelection) == mWindow)
  {
    mIn.files = pathsOfUriList(mDragOutList);  // our own drag over our own window
    return !mIn.files.empty();
  }
  XDeleteProperty(mDisplay, mWindow, mDndProperty);
  XConvertSelection(mDisplay, mXdndSelection, mUriList, mDndProperty, mWindow, time);
  XFlush(mDisplay);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  XEvent e;
  while (!XCheckTypedWindowEvent(mDisplay, mWindow, SelectionNotify, &e))
    if (!awaitInput(mDisplay, deadline)) return false;
  if (e.xselection.property == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(mDisplay, mWindow, mDndProperty, 0, 0x1000000, True, AnyPropertyType, &type, &format, &count,
                         &after, &data) != Success)
    return false;
  if (data && format == 8) mIn.files = pathsOfUriList(std::string((const char*)data, count));
  if (data) XFree(data);
  return !mIn.files.empty();
}

bool AKX11Desktop::handleDndMessage(const XClientMessageEvent& m)
{
  const Atom t = m.message_type;
  if (t != mXdndEnter && t != mXdndPosition && t != mXdndLeave && t != mXdndDrop && t != mXdndStatus &&
      t != mXdndFinished)
    return false;
  if (t == mXdndStatus || t == mXdndFinished) return true;  // for a drag of ours; its loop reads them
  NSWindow* w = mHost->windowOfX(m.window);
  const Window source = (Window)m.data.l[0];
  if (t == mXdndEnter)
  {
    AKDragLeftWindow();
    mIn = Incoming();
    mIn.source = source;
    mIn.target = m.window;
    std::vector<Atom> types;
    if (m.data.l[1] & 1)
    {
      Atom type;
      int format;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      trapped([&] {
        XGetWindowProperty(mDisplay, source, mXdndTypeList, 0, 1024, False, XA_ATOM, &type, &format, &count, &after,
                           &data);
      });
      if (data && format == 32) types.assign((Atom*)data, (Atom*)data + count);
      if (data) XFree(data);
    }
    else
      for (int i = 2; i < 5; ++i)
        if (m.data.l[i]) types.push_back((Atom)m.data.l[i]);
    mIn.hasFiles = std::find(types.begin(), types.end(), mUriList) != types.end();
    return true;
  }
  if (source != mIn.source || !w) return true;  // a message of a drag we were not told of
  if (t == mXdndPosition)
  {
    const int rootX = (int)((unsigned long)m.data.l[2] >> 16), rootY = (int)(m.data.l[2] & 0xFFFF);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(mDisplay, mRoot, m.window, rootX, rootY, &x, &y, &child);
    mIn.base = NSMakePoint(x, w->frame().size.height - y);
    mIn.window = w;
    if (mIn.hasFiles && !mIn.fetched) fetchFiles((Time)m.data.l[3]);
    NSUInteger op = NSDragOperationNone;
    if (!mIn.files.empty()) op = AKDragOverWindow(w, mIn.base, mIn.files, nullptr);
    mIn.accepted = op != NSDragOperationNone;
    // Bit 1: positions are wanted everywhere in the window (its views differ).
    sendClient(source, mXdndStatus, (long)m.window, (mIn.accepted ? 1 : 0) | 2, 0, 0,
               mIn.accepted ? (long)mXdndActionCopy : 0);
    return true;
  }
  if (t == mXdndLeave)
  {
    AKDragLeftWindow();
    mIn = Incoming();
    return true;
  }
  // XdndDrop
  bool taken = false;
  if (mIn.accepted && !mIn.files.empty() && mIn.window == w) taken = AKDropOnWindow(w, mIn.base, mIn.files, nullptr);
  else AKDragLeftWindow();
  sendClient(source, mXdndFinished, (long)m.window, taken ? 1 : 0, taken ? (long)mXdndActionCopy : 0, 0, 0);
  mIn = Incoming();
  return true;
}

// ---- URI lists ----

std::string AKX11Desktop::uriList(const std::vector<std::string>& paths)
{
  std::string out;
  for (const std::string& p : paths)
  {
    out += "file://";
    for (unsigned char c : p)
    {
      if (isalnum(c) || strchr(kUnreserved, c)) out += (char)c;
      else
      {
        char hex[4];
        snprintf(hex, sizeof hex, "%%%02X", c);
        out += hex;
      }
    }
    out += "\r\n";
  }
  return out;
}

std::vector<std::string> AKX11Desktop::pathsOfUriList(const std::string& list)
{
  std::vector<std::string> paths;
  size_t at = 0;
  while (at < list.size())
  {
    size_t end = list.find('\n', at);
    if (end == std::string::npos) end = list.size();
    std::string line = list.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#' || line.compare(0, 5, "file:") != 0) continue;
    std::string rest = line.substr(5);
    if (rest.compare(0, 2, "//") == 0)
    {
      // file://host/path: only this machine's files (no host, or localhost) are ours.
      const size_t slash = rest.find('/', 2);
      if (slash == std::string::npos) continue;
      const std::string host = rest.substr(2, slash - 2);
      if (!host.empty() && host != "localhost") continue;
      rest = rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') continue;
    std::string path;
    bool ok = true;
    for (size_t i = 0; i < rest.size(); ++i)
    {
      if (rest[i] != '%')
      {
        path += rest[i];
        continue;
      }
      if (i + 2 >= rest.size() || !isxdigit((unsigned char)rest[i + 1]) || !isxdigit((unsigned char)rest[i + 2]))
      {
        ok = false;
        break;
      }
      const char c = (char)std::stoi(rest.substr(i + 1, 2), nullptr, 16);
      if (c == 0)
      {
        ok = false;  // a NUL would cut the path short in the dropped-files block
        break;
      }
      path += c;
      i += 2;
    }
    if (ok) paths.push_back(path);
  }
  return paths;
}

// ---- image cursors ----

Cursor AKX11Desktop::imageCursor(int width, int height, const uint32_t* pixels, NSPoint hotSpot)
{
  if (width <= 0 || height <= 0 || !pixels) return None;
  const size_t n = (size_t)width * (size_t)height;
  // The same image again (a cursor set at each mouse move) keeps the cursor made.
  if (mImageCursor && width == mCursorW && height == mCursorH && hotSpot.x == mCursorHot.x &&
      hotSpot.y == mCursorHot.y && std::equal(pixels, pixels + n, mCursorPixels.begin()))
    return mImageCursor;
  XcursorImage* image = XcursorImageCreate(width, height);
  if (!image) return None;
  image->xhot = (XcursorDim)std::clamp((int)hotSpot.x, 0, width - 1);
  image->yhot = (XcursorDim)std::clamp((int)hotSpot.y, 0, height - 1);
  // Xcursor takes premultiplied ARGB.
  for (size_t i = 0; i < n; ++i)
  {
    const uint32_t p = pixels[i], a = p >> 24;
    const uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, b = (p & 0xFF) * a / 255;
    image->pixels[i] = (a << 24) | (r << 16) | (g << 8) | b;
  }
  const Cursor c = XcursorImageLoadCursor(mDisplay, image);
  XcursorImageDestroy(image);
  if (!c) return None;
  if (mImageCursor) XFreeCursor(mDisplay, mImageCursor);
  mImageCursor = c;
  mCursorW = width;
  mCursorH = height;
  mCursorHot = hotSpot;
  mCursorPixels.assign(pixels, pixels + n);
  return c;
}

// ---- drags leaving the process ----

void AKX11Desktop::answerDrag(const XSelectionRequestEvent& r)
{
  const Atom property = r.property == None ? r.target : r.property;
  bool ok = false;
  if (r.target == mTargets)
  {
    Atom targets[2] = {mTargets, mUriList};
    ok = trapped([&] {
      XChangeProperty(mDisplay, r.requestor, property, XA_ATOM, 32, PropModeReplace, (unsigned char*)targets, 2);
    });
  }
  else if (r.target == mUriList || r.target == mUtf8)
    ok = trapped([&] {
      XChangeProperty(mDisplay, r.requestor, property, r.target, 8, PropModeReplace,
                      (const unsigned char*)mDragOutList.data(), (int)mDragOutList.size());
    });
  ok ? reply(r, property) : refuse(r);
}

// The XDND-aware top-level window under the root point, descending through the
// window manager's frames; its protocol version in version.
Window AKX11Desktop::dropTargetAt(int rootX, int rootY, int* version)
{
  Window w = mRoot;
  for (int depth = 0; depth < 8; ++depth)
  {
    int x, y;
    Window child = None;
    if (!XTranslateCoordinates(mDisplay, mRoot, w, rootX, rootY, &x, &y, &child) || child == None) return None;
    w = child;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool ok = trapped([&] {
      XGetWindowProperty(mDisplay, w, mXdndAware, 0, 1, False, XA_ATOM, &type, &format, &count, &after, &data);
    });
    if (ok && data && count == 1 && format == 32)
    {
      *version = (int)*(long*)data;
      XFree(data);
      return *version >= 3 ? w : None;
    }
    if (data) XFree(data);
  }
  return None;
}

bool AKX11Desktop::dragOut(Window from, NSView* source, const std::vector<std::string>& paths,
                           const std::vector<std::string>& promisedTypes)
{
  {
    Window r, c;
    int rx, ry, wx, wy;
    unsigned mask = 0;
    XQueryPointer(mDisplay, mRoot, &r, &c, &rx, &ry, &wx, &wy, &mask);
    if (!(mask & (Button1Mask | Button2Mask | Button3Mask))) return false;
  }
  mDragOutList = uriList(paths);
  XSetSelectionOwner(mDisplay, mXdndSelection, mWindow, CurrentTime);
  if (XGetSelectionOwner(mDisplay, mXdndSelection) != mWindow) return false;
  XGrabPointer(mDisplay, from, False, ButtonReleaseMask | PointerMotionMask, GrabModeAsync, GrabModeAsync, None, None,
               CurrentTime);
  XFlush(mDisplay);

  Window target = None;
  NSWindow* ours = nullptr;  // the target when it is one of our windows
  int version = 5;
  bool accepted = false, taken = false, waitingStatus = false, movedSince = false;
  int lastX = -1, lastY = -1;
  Time lastTime = CurrentTime;
  {
    Window r, c;
    int wx, wy;
    unsigned mask;
    XQueryPointer(mDisplay, mRoot, &r, &c, &lastX, &lastY, &wx, &wy, &mask);
  }

  auto leave = [&] {
    if (ours) AKDragLeftWindow();
    else if (target) sendClient(target, mXdndLeave, (long)mWindow, 0, 0, 0, 0);
    target = None;
    ours = nullptr;
    accepted = false;
    waitingStatus = false;
  };
  auto baseIn = [&](NSWindow* w, Window xid) {
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(mDisplay, mRoot, xid, lastX, lastY, &x, &y, &child);
    return NSMakePoint(x, w->frame().size.height - y);
  };
  auto moved = [&] {
    int v = 5;
    const Window now = dropTargetAt(lastX, lastY, &v);
    if (now != target)
    {
      leave();
      target = now;
      version = std::min(v, 5);
      ours = now ? mHost->windowOfX(now) : nullptr;
      if (target && !ours) sendClient(target, mXdndEnter, (long)mWindow, (long)version << 24, (long)mUriList, 0, 0);
    }
    if (ours)
      accepted = AKDragOverWindow(ours, baseIn(ours, target), paths, source, promisedTypes) != NSDragOperationNone;
    else if (target)
    {
      if (waitingStatus)
      {
        movedSince = true;  // one position at a time: the next after the status
        return;
      }
      sendClient(target, mXdndPosition, (long)mWindow, 0, ((long)lastX << 16) | (lastY & 0xFFFF), (long)lastTime,
                 (long)mXdndActionCopy);
      waitingStatus = true;
      movedSince = false;
    }
  };
  moved();

  // Reads events until `done` or the deadline; those `take` leaves go where they
  // would have gone.
  auto pumpUntil = [&](std::chrono::steady_clock::time_point deadline, const auto& done, const auto& take) {
    while (!done() && awaitInput(mDisplay, deadline))
      while (XPending(mDisplay) && !done())
      {
        XEvent e;
        XNextEvent(mDisplay, &e);
        if (!take(e) && !handle(e)) mHost->dispatch(e);
      }
  };
  auto takeStatus = [&](const XEvent& e) {
    if (e.type != ClientMessage || e.xclient.message_type != mXdndStatus || (Window)e.xclient.data.l[0] != target)
      return false;
    accepted = (e.xclient.data.l[1] & 1) != 0;
    waitingStatus = false;
    return true;
  };

  bool released = false;
  pumpUntil(std::chrono::steady_clock::now() + std::chrono::seconds(60), [&] { return released; },
            [&](const XEvent& e) {
              if (e.type == MotionNotify)
              {
                lastX = e.xmotion.x_root;
                lastY = e.xmotion.y_root;
                lastTime = e.xmotion.time;
                moved();
              }
              else if (e.type == ButtonRelease)
              {
                lastX = e.xbutton.x_root;
                lastY = e.xbutton.y_root;
                lastTime = e.xbutton.time;
                released = true;
              }
              else if (takeStatus(e))
              {
                if (movedSince) moved();
              }
              else
                return false;
              return true;
            });
  XUngrabPointer(mDisplay, CurrentTime);
  XFlush(mDisplay);

  if (released && ours)
  {
    const NSPoint base = baseIn(ours, target);
    if (accepted) taken = AKDropOnWindow(ours, base, paths, source, promisedTypes);
    else AKDragLeftWindow();
  }
  else if (released && target)
  {
    // The last position's status decides: wait for it before dropping.
    pumpUntil(std::chrono::steady_clock::now() + std::chrono::seconds(2), [&] { return !waitingStatus; }, takeStatus);
    // Promised files are made now that a program takes them.
    if (accepted && !promisedTypes.empty())
    {
      const std::vector<std::string> made = AKMakePromisedFilesElsewhere(source);
      mDragOutList = uriList(made);
      accepted = !made.empty();
    }
    if (!accepted) leave();
    else
    {
      sendClient(target, mXdndDrop, (long)mWindow, 0, (long)lastTime, 0, 0);
      // The destination asks for the files, then says it is done.
      bool finished = false;
      pumpUntil(std::chrono::steady_clock::now() + std::chrono::seconds(10), [&] { return finished; },
                [&](const XEvent& e) {
                  if (e.type != ClientMessage || e.xclient.message_type != mXdndFinished ||
                      (Window)e.xclient.data.l[0] != target)
                    return false;
                  finished = true;
                  taken = version < 5 || (e.xclient.data.l[1] & 1) != 0;
                  return true;
                });
    }
  }
  else
    leave();
  target = None;
  XSetSelectionOwner(mDisplay, mXdndSelection, None, CurrentTime);
  XFlush(mDisplay);
  return taken;
}
