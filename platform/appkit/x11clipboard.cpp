#include "platform/appkit/X11Clipboard.h"

#include "platform/appkit/X11Desktop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace {
// The most bytes a clipboard text sent in pieces may grow to; a larger one is refused
// whole, so a peer that never ends cannot make us hold without bound.
size_t gPieceLimit = (size_t)256 << 20;
}  // namespace

void AKX11Clipboard::setPieceLimit(size_t bytes) { gPieceLimit = bytes; }

AKX11Clipboard::AKX11Clipboard(Display* d, AKX11Desktop* desk) : mDisplay(d), mDesk(desk)
{
  mUtf8 = XInternAtom(d, "UTF8_STRING", False);
  mClipboard = XInternAtom(d, "CLIPBOARD", False);
  mIncr = XInternAtom(d, "INCR", False);
  mTargets = XInternAtom(d, "TARGETS", False);
  mClipProperty = XInternAtom(d, "DAVREL_CLIPBOARD", False);
  // Never shown: it owns the clipboard and the shared pasteboards, and receives
  // what other clients convert for us.
  mClipWindow = XCreateSimpleWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, 0);
  XSelectInput(d, mClipWindow, PropertyChangeMask);
}

AKX11Clipboard::~AKX11Clipboard() { XDestroyWindow(mDisplay, mClipWindow); }

bool AKX11Clipboard::handle(const XEvent& e)
{
  if (e.xany.window != mClipWindow && !(e.type == SelectionRequest && e.xselectionrequest.owner == mClipWindow))
    return false;
  if (e.type == SelectionRequest) answerSelection(e.xselectionrequest);
  else if (e.type == SelectionClear && e.xselectionclear.selection == mClipboard) mOwnClipboard = false;
  else if (e.type == SelectionClear) mOwnBoards.erase(e.xselectionclear.selection);
  return true;
}

// Another client asks for a selection we own (the clipboard or a shared pasteboard).
void AKX11Clipboard::answerSelection(const XSelectionRequestEvent& r)
{
  if ((r.selection == mClipboard && mOwnClipboard) || mOwnBoards.count(r.selection))
  {
    mDesk->answerClipboard(r);
    return;
  }
  mDesk->refuse(r);
  XFlush(mDisplay);
}

bool AKX11Clipboard::setClipboardText(const std::string* text)
{
  mClipText = text ? *text : std::string();
  mClipHasText = text != nullptr;
  // Declaring the types (no text yet) starts a new offer; the text joins it.
  if (!text) mDesk->clearOffer(mClipboard);
  else mDesk->offer(mClipboard, mUtf8, std::vector<uint8_t>(text->begin(), text->end()));
  mOwnClipboard = takeSelection(mClipboard);
  return mOwnClipboard;
}

void AKX11Clipboard::setClipboardData(const std::string& type, const std::vector<uint8_t>& bytes)
{
  if (mOwnClipboard) mDesk->offer(mClipboard, atom(type), bytes);
}

// ---- named pasteboards: each a selection of its name ----

bool AKX11Clipboard::takePasteboard(const std::string& name)
{
  const Atom selection = atom(name);
  mDesk->clearOffer(selection);
  if (!takeSelection(selection))
  {
    mOwnBoards.erase(selection);
    return false;
  }
  mOwnBoards.insert(selection);
  return true;
}

void AKX11Clipboard::offerPasteboardData(const std::string& name, const std::string& type,
                                         const std::vector<uint8_t>& bytes)
{
  const Atom selection = atom(name);
  if (mOwnBoards.count(selection)) mDesk->offer(selection, atom(type), bytes);
}

bool AKX11Clipboard::pasteboardTypes(const std::string& name, std::vector<std::string>* types)
{
  std::string list;
  if (!readSelection(atom(name), mTargets, 32, &list)) return false;
  // The targets every owner answers are not types of the pasteboard.
  const Atom meta[] = {mTargets, atom("MULTIPLE"), atom("TIMESTAMP")};
  std::vector<Atom> targets;
  for (size_t at = 0; at + sizeof(long) <= list.size(); at += sizeof(long))
  {
    long a;
    memcpy(&a, list.data() + at, sizeof a);
    if (std::find(std::begin(meta), std::end(meta), (Atom)a) == std::end(meta)) targets.push_back((Atom)a);
  }
  if (targets.empty()) return true;
  std::vector<char*> names(targets.size(), nullptr);
  // The owner may name atoms that do not exist: then it offers nothing we can read.
  const bool ok = mDesk->trapped([&] { XGetAtomNames(mDisplay, targets.data(), (int)targets.size(), names.data()); });
  for (char* n : names)
  {
    if (ok && n && types) types->push_back(n);
    if (n) XFree(n);
  }
  return ok;
}

bool AKX11Clipboard::pasteboardData(const std::string& name, const std::string& type, std::vector<uint8_t>* bytes)
{
  std::string data;
  if (!readSelection(atom(name), atom(type), 8, &data)) return false;
  if (bytes) bytes->assign(data.begin(), data.end());
  return true;
}

bool AKX11Clipboard::clipboardText(std::string* text)
{
  if (mOwnClipboard)
  {
    if (mClipHasText && text) *text = mClipText;
    return mClipHasText;
  }
  std::string got;
  if (!readSelection(mClipboard, mUtf8, 8, &got)) return false;
  if (text) *text = std::move(got);
  return true;
}

// ---- reading another client's selection ----

// Makes the hidden window the selection's owner; true when it is.
bool AKX11Clipboard::takeSelection(Atom selection)
{
  XSetSelectionOwner(mDisplay, selection, mClipWindow, CurrentTime);
  const bool ours = XGetSelectionOwner(mDisplay, selection) == mClipWindow;
  XFlush(mDisplay);
  return ours;
}

// The selection's data as the target, of the format (8: bytes; 32: the items as
// Xlib gives them, longs, one after the other); false when nobody owns it, the
// owner refuses, or the answer does not come within a bounded wait.
bool AKX11Clipboard::readSelection(Atom selection, Atom target, int format, std::string* out)
{
  if (XGetSelectionOwner(mDisplay, selection) == None) return false;
  XDeleteProperty(mDisplay, mClipWindow, mClipProperty);
  XConvertSelection(mDisplay, selection, target, mClipProperty, mClipWindow, CurrentTime);
  XFlush(mDisplay);
  // The owner answers with SelectionNotify; a client that never does must not hang us.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  XEvent e;
  while (!XCheckTypedWindowEvent(mDisplay, mClipWindow, SelectionNotify, &e))
    if (!awaitInput(deadline)) return false;
  if (e.xselection.property == None) return false;
  // Property changes seen so far came before the answer (the owner writing it):
  // only those after our first deletion announce pieces.
  XEvent stale;
  while (XCheckTypedWindowEvent(mDisplay, mClipWindow, PropertyNotify, &stale))
  {
  }
  Atom type = None;
  std::string got;
  if (!takeProperty(format, &type, &got)) return false;
  if (type == mIncr)
  {
    // Sent in pieces: each deletion of the property asks for the next one, an
    // empty piece ends the text.
    got.clear();
    for (;;)
    {
      for (;;)
      {
        // Drain what is queued before waiting: the next piece may already be in.
        bool next = false;
        XEvent p;
        while (!next && XCheckTypedWindowEvent(mDisplay, mClipWindow, PropertyNotify, &p))
          next = p.xproperty.atom == mClipProperty && p.xproperty.state == PropertyNewValue;
        if (next) break;
        if (!awaitInput(deadline)) return false;
      }
      std::string piece;
      if (!takeProperty(format, &type, &piece)) return false;
      if (piece.empty()) break;
      if (piece.size() > gPieceLimit - got.size())
      {
        fprintf(stderr, "clipboard: data sent in pieces is over %zu bytes, not taken\n", gPieceLimit);
        return false;
      }
      got += piece;
      deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);  // 2 s without a piece ends it
    }
  }
  *out = std::move(got);
  return true;
}

// Waits (at most 100 ms at a time) for the server to send something; false once the
// deadline has passed.
bool AKX11Clipboard::awaitInput(std::chrono::steady_clock::time_point deadline)
{
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  pollfd fd{ConnectionNumber(mDisplay), POLLIN, 0};
  poll(&fd, 1, (int)std::min<long long>(left.count(), 100));
  return true;
}

// Reads and deletes our clipboard property: data of the format, or the INCR marker.
bool AKX11Clipboard::takeProperty(int want, Atom* type, std::string* bytes)
{
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(mDisplay, mClipWindow, mClipProperty, 0, 0x7FFFFFF, True, AnyPropertyType, type, &format,
                         &count, &after, &data) != Success)
    return false;
  const bool ok = *type == mIncr || (format == want && after == 0) || *type == None;
  if (ok && *type != mIncr && data) bytes->assign((const char*)data, count * (format == 32 ? sizeof(long) : 1));
  if (data) XFree(data);
  XFlush(mDisplay);
  return ok;
}
