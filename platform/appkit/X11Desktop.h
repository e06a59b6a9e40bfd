#pragma once
// The X11 presenter's exchanges with other programs, kept apart from its windows:
// the selections it offers (the CLIPBOARD and those of shared pasteboards, every
// type under its own target, long data in pieces by the INCR protocol), files
// dropped on its windows and drags it starts (XDND, version 5), and cursors made
// from images (Xcursor). Internal to the kit.

#include "platform/appkit/Foundation.h"

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class NSView;
class NSWindow;

class AKX11Desktop
{
public:
  // What the desktop needs of the presenter.
  struct Host
  {
    virtual ~Host() = default;
    virtual NSWindow* windowOfX(Window xid) = 0;
    // An event of the presenter's that came during a drag's own event loop.
    virtual void dispatch(XEvent& e) = 0;
  };

  AKX11Desktop(Display* d, Host* host);
  ~AKX11Desktop();

  // ---- the selections we offer ----
  // Clears what the selection offered (the presenter has just taken it).
  void clearOffer(Atom selection);
  void offer(Atom selection, Atom target, const std::vector<uint8_t>& bytes);
  // Answers a request for a selection we own.
  void answerClipboard(const XSelectionRequestEvent& r);
  static void setPieceSize(size_t bytes);
  // Runs f with X errors recorded instead of ending the process (a client may have
  // gone away, or named what does not exist): true when no error came.
  bool trapped(const std::function<void()>& f);

  // ---- windows ----
  // Marks a new top-level window as a drop target.
  void windowCreated(Window xid);
  // Takes the events that belong to the desktop (pieces of a transfer, XDND
  // messages, the drag selection); false for the presenter's own.
  bool handle(XEvent& e);

  // ---- image cursors ----
  // The cursor of the pixels (0xAARRGGBB, top-down), kept until the next one is
  // made; None when the server cannot make one.
  Cursor imageCursor(int width, int height, const uint32_t* pixels, NSPoint hotSpot);

  // ---- drags leaving the process ----
  // Runs the drag until the button is released (at most 60 s): true when another
  // program's window (or one of ours) took the files. Promised files (of the
  // types, from the source) are made when a window takes the drop: in the folder a
  // window of ours names, in a private one for another program. Nothing happens
  // unless a mouse button is held.
  bool dragOut(Window from, NSView* source, const std::vector<std::string>& paths,
               const std::vector<std::string>& promisedTypes);

  // file:// URIs of the paths and back (percent-encoded bytes outside the plain set).
  static std::string uriList(const std::vector<std::string>& paths);
  static std::vector<std::string> pathsOfUriList(const std::string& list);

  // Tells the requestor there is nothing of this selection for it.
  void refuse(const XSelectionRequestEvent& r);

private:
  struct Transfer
  {
    Window requestor;
    Atom property, type;
    std::vector<uint8_t> data;
    size_t sent;
    std::chrono::steady_clock::time_point last;
  };
  struct Incoming
  {
    Window source = 0, target = 0;
    bool hasFiles = false, fetched = false;
    std::vector<std::string> files;
    NSPoint base{0, 0};
    NSWindow* window = nullptr;
    bool accepted = false;
  };

  size_t pieceSize() const;
  void sendPiece(Transfer& t);
  void reply(const XSelectionRequestEvent& r, Atom property);
  void answerDrag(const XSelectionRequestEvent& r);
  bool handleDndMessage(const XClientMessageEvent& m);
  bool fetchFiles(Time time);
  void sendClient(Window to, Atom type, long l0, long l1, long l2, long l3, long l4);
  Window dropTargetAt(int rootX, int rootY, int* version);

  Display* mDisplay;
  Host* mHost;
  Window mRoot, mWindow;  // mWindow: never shown; receives what we ask for, owns the drag selection
  Atom mTargets, mIncr, mUtf8, mAtomPair, mDndProperty;
  Atom mXdndAware, mXdndEnter, mXdndPosition, mXdndStatus, mXdndLeave, mXdndDrop, mXdndFinished, mXdndSelection,
      mXdndTypeList, mXdndActionCopy, mUriList;
  std::map<Atom, std::vector<std::pair<Atom, std::vector<uint8_t>>>> mOffers;  // by selection
  std::vector<Transfer> mTransfers;
  Incoming mIn;
  std::string mDragOutList;  // the URI list of the drag we run, answered to its destination
  Cursor mImageCursor = 0;
  std::vector<uint32_t> mCursorPixels;
  int mCursorW = 0, mCursorH = 0;
  NSPoint mCursorHot{-1, -1};
};
