#pragma once
// What shows the kit's windows: a presenter turns windows into something seen
// (or nothing, headless), delivers the screen's events to the application, waits
// for them, and answers modal interactions when no script does.

#include "platform/appkit/NSApplication.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class NSView;

enum AKCursorKind
{
  AKCursorArrow = 0,
  AKCursorIBeam = 1,
  AKCursorHidden = 2,
  AKCursorImage = 3  // setImageCursor's
};

class NSPresenter : public NSModalAnswers
{
public:
  ~NSPresenter() override = default;
  virtual const char* name() const = 0;

  // ---- windows ----
  virtual void windowOrderedIn(NSWindow*) {}
  // A window already shown is ordered to the front: the screen's stacking follows,
  // so the window found under the pointer is the one shown there.
  virtual void windowRaised(NSWindow*) {}
  // A shown window's level changed: as for a raise, the screen's stacking follows the
  // application's order (NSApplication::orderedWindows).
  virtual void windowLevelChanged(NSWindow*) {}
  virtual void windowOrderedOut(NSWindow*) {}
  // The window is going away: drop everything kept for it.
  virtual void windowClosed(NSWindow*) {}
  // Gives the shown window the desktop's keyboard focus (a modal session's window,
  // and the window that had it when the session ends).
  virtual void focusWindow(NSWindow*) {}
  // True while another program's window has the desktop's keyboard (the user types
  // there); presenters that show no other program's windows answer false.
  virtual bool anotherProgramHasKeyboard() { return false; }
  // The window, shown now or about to be, asks for the user's attention instead of
  // taking the keyboard, until it gets the keyboard.
  virtual void requestAttention(NSWindow*) {}
  // The window is asked to take a frame. False: the frame is the one asked from now on
  // (the presenter has it shown there). True: the screen places the window in its own
  // time (a window manager may refuse or change the place), and the frame stays the
  // screen's until it tells the new one (NSWindow::takeScreenFrame).
  virtual bool windowFrameAsked(NSWindow*, NSRect) { return false; }
  // The frame asked of the screen and not yet told or given up; false for none.
  virtual bool askedFrame(const NSWindow*, NSRect*) const { return false; }
  virtual void windowTitleChanged(NSWindow*) {}
  // Its alpha value, whether it is opaque or whether it ignores mouse events changed.
  virtual void windowAppearanceChanged(NSWindow*) {}
  // Copies the pixel rectangles of the window's backing to the screen.
  virtual void present(NSWindow*, const std::vector<AKPixelRect>&) {}

  // ---- events ----
  // Posts the screen's pending events to the application; true when there were any.
  virtual bool pollEvents() = 0;
  // Waits until an event comes, wake is called or the time (seconds, below 0:
  // without end) passes.
  virtual void waitForEvents(double seconds) = 0;
  // Any thread: ends a wait.
  virtual void wake() = 0;

  // ---- the screen and the cursor ----
  virtual NSSize screenSize() const { return NSMakeSize(1920, 1080); }
  // Screen coordinates, y up.
  virtual NSPoint mouseLocation() const { return mMouse; }
  // The mouse buttons held (bit 0 left, 1 right, 2 middle) and the modifier keys held
  // (NSShiftKeyMask ...): the display's own where the presenter can ask it, else as
  // the presenter's events said them last.
  virtual NSUInteger pressedMouseButtons() const { return mButtons; }
  virtual NSUInteger modifierFlags() const { return mModifiers; }
  // True where modifierFlags is the display's own: then an event's flags may be older.
  virtual bool modifierFlagsAreTheDisplays() const { return false; }
  virtual bool hideCursor() { return true; }
  virtual bool showCursor() { return true; }
  // Screen pixels, y down.
  virtual bool moveCursor(NSPoint p)
  {
    mMouse = NSMakePoint(p.x, screenSize().height - p.y);
    return true;
  }
  virtual void setCursor(AKCursorKind) {}
  // Mouse and cursor uncoupled (false): the pointer is held where it is, and mouse
  // motions still arrive with how far they went (deltaX, deltaY); true couples them
  // again. Presenters whose pointer is only where events say do nothing.
  virtual bool associateMouse(bool /*connected*/) { return true; }
  // Raises and focuses a shown top-level window of the process pid (any program's):
  // 1 when done, 0 when the process shows no window (yet), -1 when this presenter
  // shows no other program's windows.
  virtual int activateProcess(long /*pid*/) { return -1; }
  // A cursor of an image: pixels 0xAARRGGBB, rows top-down, the hot spot in pixels
  // from the top left. Presenters without image cursors show the arrow.
  virtual void setImageCursor(int /*width*/, int /*height*/, const uint32_t* /*pixels*/, NSPoint /*hotSpot*/)
  {
    setCursor(AKCursorArrow);
  }

  // ---- the keyboard's own layout ----
  // True when the keyboard has a layout of its own (the platform's US layout stands
  // in otherwise).
  virtual bool hasKeyboardLayout() const { return false; }
  // What the layout gives the key at the place of a platform key code (codes 0 to
  // 53 of the ANSI keyboard), with shift or without modifiers: true with its
  // character in c, or for a dead key with dead set and c the character the dead key
  // gives before a space (0 when it gives none). False when the key gives nothing.
  virtual bool layoutCharacter(unsigned short /*keyCode*/, bool /*shift*/, char32_t* /*c*/, bool* /*dead*/)
  {
    return false;
  }

  // ---- the desktop's clipboard (text only) ----
  // True when the general pasteboard's text is shared with other programs.
  virtual bool sharesClipboard() const { return false; }
  // Takes the clipboard, offering the text (null: offering none); false when it
  // could not be taken.
  virtual bool setClipboardText(const std::string*) { return false; }
  // True while the clipboard is still ours (no other program took it since).
  virtual bool ownsClipboard() const { return true; }
  // The clipboard's text, from whichever program holds it; false when there is
  // none or it does not come within a bounded wait.
  virtual bool clipboardText(std::string*) { return false; }
  // Adds data of another type (its name is the type other programs ask for) to the
  // clipboard taken last with setClipboardText.
  virtual void setClipboardData(const std::string& /*type*/, const std::vector<uint8_t>& /*bytes*/) {}

  // ---- named pasteboards shared between processes ----
  // True when pasteboards made by name (other than the general and the drag one)
  // are shared with the program's other processes on the same desktop.
  virtual bool sharesNamedPasteboards() const { return false; }
  // Takes the pasteboard of the name, offering nothing yet; false when it could not
  // be taken.
  virtual bool takePasteboard(const std::string& /*name*/) { return false; }
  // Adds data of a type to what the pasteboard taken last offers.
  virtual void offerPasteboardData(const std::string& /*name*/, const std::string& /*type*/,
                                   const std::vector<uint8_t>& /*bytes*/)
  {
  }
  // True while the pasteboard is still ours (no other process took it since).
  virtual bool ownsPasteboard(const std::string& /*name*/) const { return true; }
  // What another process offers on the pasteboard: its types, in its order, and the
  // data of one. False when nobody offers it or the answer does not come within a
  // bounded wait.
  virtual bool pasteboardTypes(const std::string& /*name*/, std::vector<std::string>* /*types*/) { return false; }
  virtual bool pasteboardData(const std::string& /*name*/, const std::string& /*type*/,
                              std::vector<uint8_t>* /*bytes*/)
  {
    return false;
  }

  // ---- drags leaving the process ----
  // Carries the files to the window under the pointer (another program's, or one of
  // ours) until the mouse button is released; true when a window took the drop.
  // The drag starts in the view's window, the view being its source. With
  // promisedTypes the view promises files of those types (paths is empty then): a
  // window of ours names the folder it makes them in, another program gets them
  // made in a private folder; without a button held nothing happens.
  virtual bool dragFilesOut(NSView* /*source*/, const std::vector<std::string>& /*paths*/,
                            const std::vector<std::string>& /*promisedTypes*/ = {})
  {
    return false;
  }

  // Tests that drive the kit with synthetic events keep the mouse position here.
  void noteMouse(NSPoint screen, NSUInteger buttons)
  {
    mMouse = screen;
    mButtons = buttons;
  }
  void noteModifiers(NSUInteger flags) { mModifiers = flags; }

protected:
  NSPoint mMouse{0, 0};
  NSUInteger mButtons = 0;
  NSUInteger mModifiers = 0;
};

// Nothing shown; windows draw into their backings, which can be written as PNG.
// Modal interactions are answered as dismissed (menu none, panel cancel, alert
// its first button), with a line in the log.
std::unique_ptr<NSPresenter> AKMakeHeadlessPresenter();
// Windows on an X server (display name as XOpenDisplay takes it; empty: DISPLAY).
// Null, with the reason in error, when the display cannot be opened or its visual
// is not 24-bit true colour.
// allowShm false copies with XPutImage even where MIT-SHM is there (for comparing).
std::unique_ptr<NSPresenter> AKMakeX11Presenter(const std::string& display, std::string* error, bool allowShm = true);

// The X window showing a kit window under the X11 presenter; 0 otherwise.
unsigned long AKX11WindowOf(NSWindow* window);
// For tests: the most bytes a clipboard text the X11 presenter reads in pieces may
// reach (256 MB unless set); a longer one is refused whole.
void AKSetX11ClipboardPieceLimit(size_t bytes);
// For tests: the most bytes the X11 presenter sends another program in one piece
// (0: what one request holds); longer data goes in pieces (INCR).
void AKSetX11ClipboardPieceSize(size_t bytes);
