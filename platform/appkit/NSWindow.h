#pragma once
// Windows: a content view over a backing bitmap of the raster library, shown by
// the presenter. The frame is in screen coordinates (points, y up from the bottom
// of the main display); the content fills the frame but for a menu bar's strip at
// its top (there is no title bar of our own: the presenter's window manager draws
// one). The backing holds the frame's pixels, rows top-down, bytes X, R, G, B.

#include "platform/appkit/NSView.h"

#include <vector>

class LICE_SysBitmap;
class NSEvent;
class NSMenu;
class NSMenuItem;
class NSScreen;
class NSWindow;
typedef struct OpaqueWindowPtr* WindowRef;

enum : NSUInteger
{
  NSBorderlessWindowMask = 0,
  NSTitledWindowMask = 1 << 0,
  NSClosableWindowMask = 1 << 1,
  NSMiniaturizableWindowMask = 1 << 2,
  NSResizableWindowMask = 1 << 3
};

enum NSBackingStoreType
{
  NSBackingStoreRetained = 0,
  NSBackingStoreNonretained = 1,
  NSBackingStoreBuffered = 2
};

enum NSWindowOrderingMode
{
  NSWindowBelow = -1,
  NSWindowOut = 0,
  NSWindowAbove = 1
};

enum : NSInteger
{
  NSNormalWindowLevel = 0,
  NSFloatingWindowLevel = 3,
  NSModalPanelWindowLevel = 8,
  NSPopUpMenuWindowLevel = 101
};

// The window's own notifications, for whoever owns it.
class NSWindowDelegate
{
public:
  virtual ~NSWindowDelegate() = default;
  // Asked when the user closes the window; false keeps it open.
  virtual bool windowShouldClose(NSWindow*) { return true; }
  virtual void windowWillClose(NSWindow*) {}
};

// A pixel rectangle of the backing: left and top inclusive, right and bottom exclusive.
struct AKPixelRect
{
  int left, top, right, bottom;
};

class NSWindow : public NSResponder
{
public:
  NSWindow(NSRect contentRect, NSUInteger styleMask, NSBackingStoreType backing, bool defer);
  // The window a host's window reference stands for, retained (initWithWindowRef:);
  // null when the reference is of no window.
  static NSWindow* windowWithWindowRef(WindowRef ref);
  // The reference by which a host hands the window to code that wraps it.
  WindowRef windowRef() const { return (WindowRef)(uintptr_t)mNumber; }
  NSInteger windowNumber() const { return mNumber; }

  // ---- content and geometry ----
  NSView* contentView() const { return mContentView; }
  void setContentView(NSView* view);
  // Where the window is: on a screen that places it in its own time (a window manager
  // may refuse or change a place), the last place the screen told.
  NSRect frame() const { return mFrame; }
  virtual void setFrame(NSRect frame, bool display);
  // The frame last asked while the screen has not told it yet, else the frame: what a
  // change of part of the frame starts from.
  NSRect frameAsked() const;
  // For presenters: the screen tells where the window is, its frame from now on.
  void takeScreenFrame(NSRect frame);
  // The frame that gives the content this size, the menu bar's strip above it.
  void setContentSize(NSSize size);
  // Centred on the main screen.
  void center();
  // The frame moved (not resized) so that as much of it as fits lies on the screen:
  // what falls below or right of it is moved up or left, then what rises above or
  // left of it down or right.
  NSRect constrainFrameRect(NSRect frame, NSScreen* screen) const;
  // Limits a caller that sizes the window keeps to (the kit itself does not).
  virtual NSSize minSize() const { return mMinSize; }
  virtual NSSize maxSize() const { return mMaxSize; }
  void setMinSize(NSSize s) { mMinSize = s; }
  void setMaxSize(NSSize s) { mMaxSize = s; }
  // Out of sight, as in the dock.
  void miniaturize(NSObject* sender)
  {
    orderOut(sender);
    mMiniaturized = true;
  }
  bool isMiniaturized() const { return mMiniaturized; }
  NSPoint convertBaseToScreen(NSPoint p) const;
  NSPoint convertScreenToBase(NSPoint p) const;
  NSScreen* screen() const;
  const std::string& title() const { return mTitle; }
  void setTitle(const std::string& title);
  NSUInteger styleMask() const { return mStyleMask; }
  NSInteger level() const { return mLevel; }
  // A shown window changing level takes its place among the others on the screen too.
  void setLevel(NSInteger level);

  // ---- ordering, key state, closing ----
  void makeKeyAndOrderFront(NSObject* sender);
  void orderFront(NSObject* sender);
  void orderOut(NSObject* sender);
  bool isVisible() const { return mVisible; }
  void makeKeyWindow();
  bool isKeyWindow() const;
  virtual bool canBecomeKeyWindow() const { return (mStyleMask & NSTitledWindowMask) != 0; }
  // Told by the application after the window became key, and after it stopped being key.
  virtual void becomeKeyWindow() {}
  virtual void resignKeyWindow() {}
  // The button Return presses, before the first responder sees the key (unless
  // that is a text view, where Return breaks the line); not retained, and
  // forgotten when it is no longer in the window.
  void setDefaultButtonCell(NSView* button) { mDefaultButton = button; }
  NSView* defaultButtonCell() const;
  // The window's own menu, shown as a bar across the top of the window (retained;
  // null for none). The bar's strip is added to the frame below its top edge (and
  // taken off again when the bar goes), so the content view keeps its size. A press
  // on a title opens that item's submenu (or sends a plain item's action).
  NSMenu* menuBar() const { return mMenuBar; }
  void setMenuBar(NSMenu* menu);
  // On: while the window is key and has no menu of its own, the application's main
  // menu is its bar, as the desktop has no menu bar of its own to show it. While the
  // application has a main menu the window keeps the bar's strip, empty when it is
  // not key, so that nothing changes with the key window; the strip comes and goes
  // with the main menu as for the window's own menu. Off by default.
  void setShowsMainMenu(bool on);
  bool showsMainMenu() const { return mShowsMainMenu; }
  // The menu the bar shows now (its own, or the main menu as above); null for none.
  NSMenu* shownMenuBar() const { return mShownBar; }
  // The bar's strip in the window's base coordinates; empty without one.
  NSRect menuBarRect() const;
  // Kit internal: the key window or the main menu changed; the bar follows.
  void updateMenuBar();
  // A press on an enabled title of the bar: opens the item's submenu at `at` (base
  // coordinates, the title's lower left corner), or sends a plain item's action.
  // Windows that route the main menu's items their own way override it.
  virtual void openMenuBarItem(NSMenuItem* item, NSPoint at, NSEvent* press);
  // Escape that no responder took ends here; nothing by default.
  virtual void cancelOperation(NSObject*) {}
  void keyDown(NSEvent* e) override;
  // The document the window shows and whether it has unsaved changes; recorded
  // for callers that ask (the desktop shows only the title).
  void setRepresentedFilename(const std::string& path) { mRepresentedFilename = path; }
  const std::string& representedFilename() const { return mRepresentedFilename; }
  void setDocumentEdited(bool on) { mDocumentEdited = on; }
  bool isDocumentEdited() const { return mDocumentEdited; }
  void setCollectionBehavior(NSUInteger b) { mCollectionBehavior = b; }
  NSUInteger collectionBehavior() const { return mCollectionBehavior; }
  // The user's close: asks the delegate, then closes.
  void performClose(NSObject* sender);
  // Orders the window out for good, tells the delegate, and releases it when
  // released-when-closed is set (off by default here; callers that want it say so).
  virtual void close();
  bool isClosed() const { return mClosed; }
  void setReleasedWhenClosed(bool on) { mReleasedWhenClosed = on; }
  void setDelegate(NSWindowDelegate* delegate) { mDelegate = delegate; }
  NSWindowDelegate* delegate() const { return mDelegate; }

  void addChildWindow(NSWindow* child, NSWindowOrderingMode place);
  void removeChildWindow(NSWindow* child);
  const std::vector<NSWindow*>& childWindows() const { return mChildren; }
  NSWindow* parentWindow() const { return mParent; }

  // For the desktop's window manager, read when the window is shown: the window
  // this one belongs to (a child window's parent; else a dialog's, a panel's, an
  // alert's or an owned window's owner, kept by its number so that it never outlives
  // it: null once it is gone or when there is none); and whether it is a dialog
  // rather than a document window.
  void setOwnerWindow(NSWindow* owner) { mOwnerNumber = owner ? owner->windowNumber() : 0; }
  NSWindow* ownerWindow() const;
  // The windows whose ownerWindow is this one. They are ordered out with it, and those
  // so hidden come back when it is ordered in again.
  std::vector<NSWindow*> ownedWindows() const;
  void setIsDialog(bool on) { mDialog = on; }
  bool isDialog() const { return mDialog; }

  // The whole window's alpha (0 to 1), shown by the presenter where it can.
  void setAlphaValue(CGFloat a);
  CGFloat alphaValue() const { return mAlpha; }
  // On: the mouse goes through the window to the one under it (the application
  // finds no window of it at a point, and the presenter lets the screen's pointer
  // pass too).
  void setIgnoresMouseEvents(bool on);
  bool ignoresMouseEvents() const { return mIgnoresMouse; }
  // Not opaque: the first byte of each backing pixel is its alpha, colours
  // premultiplied by it, which the presenter shows where it can (the background
  // may be clear or translucent; what views draw is opaque).
  void setOpaque(bool on);
  bool isOpaque() const { return mOpaque; }
  void setHasShadow(bool on) { mHasShadow = on; }
  void setCanHide(bool on) { mCanHide = on; }
  void setAcceptsMouseMovedEvents(bool on) { mAcceptsMouseMoved = on; }
  bool acceptsMouseMovedEvents() const { return mAcceptsMouseMoved; }
  void setBackgroundColor(CGFloat r, CGFloat g, CGFloat b, CGFloat a = 1);
  void setBackgroundColor(NSColor* c);

  // ---- responders and events ----
  NSResponder* firstResponder() const { return mFirstResponder; }
  // The window itself when responder is null. False when the current one refuses
  // to resign or the new one to become.
  bool makeFirstResponder(NSResponder* responder);
  virtual void sendEvent(NSEvent* event);
  // The view that took the last mouse down, until the button goes up.
  NSView* mouseDownView() const { return mMouseDownView; }

  // ---- drawing ----
  // Area to draw, in base coordinates. byView: a view asked for it
  // (setNeedsDisplayInRect) and is marked as needing display; any other area (a
  // resize, a view added, moved or shown) is one no view was told of.
  void invalidateBaseRect(NSRect rect, bool byView = false);
  // During a display: the areas being drawn (base coordinates), and whether some of
  // them came without a view told of it, so every view under them must be drawn.
  const std::vector<NSRect>& rectsBeingDrawn() const { return mBeingDrawn; }
  bool drawingAreasNoViewAskedFor() const { return mBeingDrawnByKit; }
  // Draws the view and its subviews inside baseArea into the backing, through
  // drawRect, as the display does; presents nothing.
  void drawViewTree(NSView* view, NSRect baseArea);
  bool needsDisplay() const { return !mDirty.empty(); }
  // Draws the dirty areas when visible, then presents them.
  void displayIfNeeded();
  // Draws all of it and presents it, shown or not.
  void display();
  // Draws the dirty areas and presents them, shown or not.
  void displayDirty();
  // Shows again what was drawn last, when visible and nothing waits to be drawn.
  void flushWindow();
  LICE_SysBitmap* backing() const { return mBacking; }
  CGContextRef backingContext() const { return mBackingContext; }
  // Pixel rectangles drawn by the last display (for tests and presenters).
  const std::vector<AKPixelRect>& lastDrawn() const { return mLastDrawn; }
  long displayCount() const { return mDisplayCount; }
  // Writes the backing as an RGB PNG; false (with a log line) on failure.
  bool writePNG(const std::string& path) const;

  // Kit internal: the view's tree leaves the window; references into it are dropped
  // (the first responder becomes the window, without asking it to resign).
  void viewLeaving(NSView* view);

  // Presenter's data for the window.
  void* presenterData = nullptr;

protected:
  ~NSWindow() override;

private:
  void resizeBacking();
  void drawBaseRect(NSRect r);
  void fillBackground(NSRect r);
  void drawView(NSView* view, NSRect baseArea);
  void trackMouse(NSEvent* e, NSView* hit);

  NSInteger mNumber;
  NSRect mFrame;
  bool mScreenFrame = false;  // the next setFrame is the screen's word, not a request
  NSUInteger mStyleMask;
  NSInteger mLevel = NSNormalWindowLevel;
  std::string mTitle;
  NSView* mContentView = nullptr;  // retained
  NSResponder* mFirstResponder = nullptr;
  NSView* mMouseDownView = nullptr;  // retained while the button is down
  NSView* mMouseOverView = nullptr;  // retained
  NSView* mDefaultButton = nullptr;
  NSMenu* mMenuBar = nullptr;
  NSMenu* mShownBar = nullptr;  // retained
  bool mShowsMainMenu = false;
  bool mBarStrip = false;  // the top of the frame is kept for the bar
  NSRect contentFrame() const;
  void drawMenuBar(NSRect area);
  bool pressMenuBar(NSEvent* e);
  std::string mRepresentedFilename;
  bool mDocumentEdited = false;
  bool pressDefaultButton(NSEvent* e);
  NSUInteger mCollectionBehavior = 0;
  NSWindowDelegate* mDelegate = nullptr;
  NSWindow* mParent = nullptr;
  std::vector<NSWindow*> mChildren;  // retained
  NSInteger mOwnerNumber = 0;
  bool mDialog = false;
  bool mVisible = false, mClosed = false, mReleasedWhenClosed = false, mMiniaturized = false;
  bool mHiddenWithOwner = false;
  NSSize mMinSize{0, 0}, mMaxSize{1e6, 1e6};
  CGFloat mAlpha = 1;
  bool mIgnoresMouse = false;
  bool mOpaque = true, mHasShadow = true, mCanHide = true, mAcceptsMouseMoved = false;
  uint32_t mBackground;
  LICE_SysBitmap* mBacking = nullptr;
  CGContextRef mBackingContext = nullptr;
  std::vector<NSRect> mDirty;
  bool mDirtyByKit = false;
  std::vector<NSRect> mBeingDrawn;
  bool mBeingDrawnByKit = false;
  std::vector<AKPixelRect> mLastDrawn;
  long mDisplayCount = 0;
};

// A window that floats above the application's windows; here it differs from a
// window only by what callers set on it.
class NSPanel : public NSWindow
{
public:
  using NSWindow::NSWindow;
  void setHidesOnDeactivate(bool on) { mHidesOnDeactivate = on; }
  bool hidesOnDeactivate() const { return mHidesOnDeactivate; }

private:
  bool mHidesOnDeactivate = true;
};

class NSScreen : public NSObject
{
public:
  static NSScreen* mainScreen();
  NSRect frame() const;
  // The platform answers only from 10.7 on; the kit's screen answers 1.
  CGFloat backingScaleFactor() const { return 1.0; }
  bool respondsToBackingScaleFactor() const { return true; }
};
