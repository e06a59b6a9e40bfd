#pragma once
// The editor's view and the helpers of its popup menus and text
// entries, on the window kit.

#include "gui/IGraphicsStructs.h"
#include "platform/appkit/AppKit.h"

class IControl;
class IGraphicsMac;
class IParam;
class IPopupMenu;

class IGraphicsCocoa_vDavrel_64_au : public NSView, public NSTextFieldDelegate
{
public:
  // initWithIGraphics: the frame (0, 0, width, height) and a repeating timer of
  // 1 / frame rate seconds in the common modes.
  explicit IGraphicsCocoa_vDavrel_64_au(IGraphicsMac* graphics);
  // init: detached, no timer.
  IGraphicsCocoa_vDavrel_64_au();

  bool isOpaque() const override { return mGraphics != nullptr; }
  // Not while an entry is open: the click that ends it is the view's to handle
  // (mouseDown), knowing the control it lands on.
  bool acceptsFirstResponder() override { return !mTextFieldView; }
  bool acceptsFirstMouse(NSEvent*) override { return true; }
  void viewDidMoveToWindow() override;
  void drawRect(NSRect rect) override;
  void onTimer(NSTimer* timer);
  void killTimer();
  // Ends an entry, and detaches when still attached (the graphics object closes).
  void removeFromSuperview() override;

  void mouseDown(NSEvent* e) override;
  void mouseUp(NSEvent* e) override;
  void mouseDragged(NSEvent* e) override;
  void mouseMoved(NSEvent* e) override;
  void rightMouseDown(NSEvent* e) override;
  void rightMouseUp(NSEvent* e) override;
  void rightMouseDragged(NSEvent* e) override;
  void scrollWheel(NSEvent* e) override;
  void keyDown(NSEvent* e) override;

  // The chosen menu (the menu or a submenu) with its chosen index set, or null.
  IPopupMenu* createIPopupMenu(IPopupMenu* menu, NSRect rect);
  void createTextEntry(IControl* control, IParam* param, IText* text, const char* str, NSRect rect);
  // Closes the entry; its text is not applied.
  void endUserInput();
  void controlTextDidEndEditing(NSNotification* n) override;

  // Clears the link to the graphics object (CloseWindow).
  void detach() { mGraphics = nullptr; }
  IGraphicsMac* graphics() const { return mGraphics; }
  NSTimer* timer() const { return mTimer; }
  NSTextField* textField() const { return mTextFieldView; }
  IControl* editControl() const { return mEdControl; }
  IParam* editParam() const { return mEdParam; }
  int prevX() const { return mPrevX; }
  int prevY() const { return mPrevY; }

protected:
  ~IGraphicsCocoa_vDavrel_64_au() override;

private:
  bool getMouseXY(NSEvent* e, int* x, int* y);
  // A press at (x, y) while an entry is open ends the entry first; false when the
  // press is then to go no further.
  bool endEntryForPress(int x, int y);

  NSTimer* mTimer = nullptr;  // held by the run loop until killed
  NSTextField* mTextFieldView = nullptr;
  IControl* mEdControl = nullptr;
  IParam* mEdParam = nullptr;
  int mPrevX = 0, mPrevY = 0;
  IGraphicsMac* mGraphics = nullptr;
};

// The borderless child window AttachSubWindow shows the editor in.
class CustomCocoaWindow_vDavrel_64_au : public NSWindow
{
public:
  using NSWindow::NSWindow;
  bool canBecomeKeyWindow() const override { return true; }
};

// A kit menu built from an IPopupMenu tree, each entry one item of it.
class IGraphicsNSMenu_vDavrel_64_au : public NSMenu
{
public:
  IGraphicsNSMenu_vDavrel_64_au(IPopupMenu* menu, NSView* receiver);
  IPopupMenu* AssociatedIPopupMenu() const { return mIPopupMenu; }

private:
  IPopupMenu* mIPopupMenu;
};

// Catches the chosen item's action.
class IGraphicsMenuRcvr_vDavrel_64_au : public NSView
{
public:
  explicit IGraphicsMenuRcvr_vDavrel_64_au(NSRect frame) : NSView(frame) {}
  bool performAction(SEL action, NSObject* sender) override;
  NSMenuItem* MenuItem() const { return nsMenuItem; }

private:
  NSMenuItem* nsMenuItem = nullptr;  // not retained: the menu holds it
};

// Refuses edits with a character outside the set, longer than the length limit,
// or above the largest value.
class CocoaFormatter_vDavrel_64_au : public NSFormatter
{
public:
  bool isPartialStringValid(const std::string& partial, std::string* newEditingString, std::string* error) override;
  void setAcceptableCharacterSet(NSCharacterSet* set) { AKAssign(filterCharacterSet, set); }
  void setMaximumLength(int length) { maxLength = length; }
  void setMaximumValue(int value) { maxValue = value; }
  NSCharacterSet* acceptableCharacterSet() const { return filterCharacterSet; }
  int maximumLength() const { return maxLength; }

protected:
  ~CocoaFormatter_vDavrel_64_au() override { AKRelease(filterCharacterSet); }

private:
  NSCharacterSet* filterCharacterSet = nullptr;
  int maxLength = 0;
  int maxValue = 0;
};
