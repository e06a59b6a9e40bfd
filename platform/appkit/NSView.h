#pragma once
// Responders, views and the drawing context.
//
// A view's frame is in its superview's coordinates; its bounds start at (0, 0).
// Views count y upward unless isFlipped answers true. Subviews are retained and
// drawn in order, later ones over earlier ones; hit testing goes the other way.
// setNeedsDisplayInRect marks an area of the window dirty; the run loop draws it
// (display), each view through its drawRect with the origin and clip set on the
// current graphics context.

#include "platform/appkit/Foundation.h"
#include "platform/coretext/coretext.h"

#include <string>
#include <vector>

class NSDraggingInfo;
class NSEvent;
class NSScrollView;
class NSView;
class NSWindow;

class NSResponder : public NSObject
{
public:
  NSResponder* nextResponder() const { return mNextResponder; }
  void setNextResponder(NSResponder* r) { mNextResponder = r; }

  // Each passes the event to the next responder by default.
  virtual void mouseDown(NSEvent* e);
  virtual void mouseUp(NSEvent* e);
  virtual void mouseDragged(NSEvent* e);
  virtual void mouseMoved(NSEvent* e);
  virtual void mouseEntered(NSEvent* e);
  virtual void mouseExited(NSEvent* e);
  virtual void rightMouseDown(NSEvent* e);
  virtual void rightMouseUp(NSEvent* e);
  virtual void rightMouseDragged(NSEvent* e);
  virtual void scrollWheel(NSEvent* e);
  virtual void otherMouseDown(NSEvent* e);
  virtual void otherMouseUp(NSEvent* e);
  virtual void otherMouseDragged(NSEvent* e);
  virtual void magnifyWithEvent(NSEvent* e);
  virtual void rotateWithEvent(NSEvent* e);
  virtual void swipeWithEvent(NSEvent* e);
  virtual void keyDown(NSEvent* e);
  virtual void keyUp(NSEvent* e);

  virtual bool acceptsFirstResponder() { return false; }
  virtual bool becomeFirstResponder() { return true; }
  virtual bool resignFirstResponder() { return true; }

  // Performs the action when this responder handles it; true when it did.
  virtual bool performAction(SEL action, NSObject* sender);
  // True when performAction handles the action (the kit's respondsToSelector:);
  // a responder that handles actions answers for them here.
  virtual bool respondsToSelector(SEL) const { return false; }
  // Tries this responder, then the next ones.
  bool tryToPerform(SEL action, NSObject* sender);

private:
  NSResponder* mNextResponder = nullptr;  // not retained
};

class NSGraphicsContext : public NSObject
{
public:
  // The context of the view being drawn; null outside drawing.
  static NSGraphicsContext* currentContext();
  static void setCurrentContext(NSGraphicsContext* context);
  CGContextRef graphicsPort() const { return mPort; }

  explicit NSGraphicsContext(CGContextRef port) : mPort(port) {}

private:
  CGContextRef mPort;
};

// Calibrated RGB with alpha, each 0..1.
class NSColor : public NSObject
{
public:
  static NSColor* colorWithCalibratedRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
  // The text colour of enabled controls.
  static NSColor* controlTextColor();
  // No colour at all: alpha 0.
  static NSColor* clearColor();
  CGFloat redComponent() const { return mC[0]; }
  CGFloat greenComponent() const { return mC[1]; }
  CGFloat blueComponent() const { return mC[2]; }
  CGFloat alphaComponent() const { return mC[3]; }
  // Fills the rectangle on the current context.
  void setFill() const;
  static void fillRect(NSRect r);  // NSRectFill with the colour last set

private:
  CGFloat mC[4] = {0, 0, 0, 1};
};

// The kit's own views draw in opaque greys (0 black, 1 white) and frame boxes with a
// line one point wide just inside the rectangle; the frame's colour stays set.
NSColor* AKGray(CGFloat v);
void AKFrameRect(NSRect r, const NSColor* c);
// Saves gc's state, clips it to baseClip (window base coordinates) and sets it up in
// the view's own coordinates; the caller restores the state.
void AKFocusView(CGContextRef gc, const NSView* view, NSRect baseClip);

class NSFont : public NSObject
{
public:
  // Null when no face can be opened at all.
  static NSFont* fontWithName(const std::string& name, CGFloat size);
  static NSFont* systemFontOfSize(CGFloat size);
  const std::string& fontName() const { return mName; }
  CGFloat pointSize() const { return mSize; }
  CTFontRef ctFont() const { return mFont; }

protected:
  ~NSFont() override;

private:
  NSFont() = default;
  std::string mName;
  CGFloat mSize = 0;
  CTFontRef mFont = nullptr;
};

// Draws one line of UTF-8 text on the current context with its baseline at y of
// the point (user space), or with its first ascent below the top of rect when
// flipped; the width of the line in points is returned. Used by the kit's own
// views (text fields, menus, panels).
CGFloat AKDrawTextLine(const std::string& text, NSFont* font, NSPoint baseline, const NSColor* color);
CGFloat AKMeasureText(const std::string& text, NSFont* font);
// The baseline that centres a line of the font in a view of height h (y upward);
// 0 without a font.
CGFloat AKCentredBaseline(NSFont* font, CGFloat h);

class NSView : public NSResponder
{
public:
  explicit NSView(NSRect frame = NSMakeRect(0, 0, 0, 0));

  // ---- geometry ----
  NSRect frame() const { return mFrame; }
  NSRect bounds() const { return NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height); }
  virtual void setFrame(NSRect frame);
  void setFrameSize(NSSize size);
  void setFrameOrigin(NSPoint origin);
  virtual bool isFlipped() const { return false; }
  // From the view's coordinates to those of another view of the same window, or
  // of the window's base when the other view is null; and back.
  NSPoint convertPoint(NSPoint p, NSView* fromView) const;  // convertPoint:fromView:
  NSPoint convertPointToView(NSPoint p, NSView* toView) const;
  NSRect convertRect(NSRect r, NSView* fromView) const;
  NSRect convertRectToView(NSRect r, NSView* toView) const;
  NSPoint convertPointToBase(NSPoint p) const { return convertPointToView(p, nullptr); }
  // The view's area in the window's base coordinates.
  NSRect baseRect() const;
  // The part of the view not cut away by its ancestors' bounds, in base coordinates.
  NSRect visibleBaseRect() const;

  // ---- the tree ----
  NSView* superview() const { return mSuperview; }
  // The nearest scroll view among the superviews, or null.
  NSScrollView* enclosingScrollView() const;
  const std::vector<NSView*>& subviews() const { return mSubviews; }
  NSWindow* window() const { return mWindow; }
  // Retains the subview and puts it above the others.
  void addSubview(NSView* view);
  // Above (NSWindowAbove, 1) or below (-1) the sibling, or above or below all of
  // them when relativeTo is null or not a subview.
  void addSubview(NSView* view, int place, NSView* relativeTo);
  // Leaves the superview, which releases the view.
  virtual void removeFromSuperview();
  void removeFromSuperviewWithoutNeedingDisplay() { removeFromSuperview(); }
  // Told after a subview joined and before one leaves.
  virtual void didAddSubview(NSView*) {}
  virtual void willRemoveSubview(NSView*) {}
  bool isDescendantOf(const NSView* view) const;
  virtual void viewWillMoveToWindow(NSWindow*) {}
  virtual void viewDidMoveToWindow() {}
  // The deepest shown view under the point (superview coordinates), or null.
  virtual NSView* hitTest(NSPoint p);

  bool isHidden() const { return mHidden; }
  void setHidden(bool hidden);
  // Told after the view itself was hidden or shown again.
  virtual void viewDidHide() {}
  virtual void viewDidUnhide() {}
  // Hidden itself or inside a hidden view.
  bool isHiddenOrHasHiddenAncestor() const;
  NSInteger tag() const { return mTag; }
  void setTag(NSInteger tag) { mTag = tag; }
  NSView* viewWithTag(NSInteger tag);

  // ---- drawing ----
  virtual void drawRect(NSRect dirtyRect);
  // True when drawRect covers every pixel of its area, so nothing behind shows.
  virtual bool isOpaque() const { return false; }
  void setNeedsDisplay(bool flag);
  void setNeedsDisplayInRect(NSRect rect);
  bool needsDisplay() const { return mNeedsDisplay; }
  // Told after part or all of the view was marked for drawing.
  virtual void didSetNeedsDisplay() {}
  // Draws the view and its subviews now (and presents the window).
  void display();
  // The window's display reaches the content view here first, with the graphics
  // context current (the window's backing, base coordinates); a view that draws its
  // tree itself does so and answers true, otherwise the kit draws each view under
  // the areas through drawRect.
  virtual bool _recursiveDisplayRectIfNeededIgnoringOpacity();
  // The areas the display under way draws, cut to the view, in its coordinates.
  std::vector<NSRect> getRectsBeingDrawn() const;
  // Draws the view and its subviews inside rect (its coordinates) into the window
  // now, through drawRect; presents nothing.
  void displayRectIgnoringOpacity(NSRect rect);
  // The current graphics context takes the view's coordinates (origin, flip) and
  // is clipped to its visible part, until unlockFocus; false without a window or
  // context (then no unlockFocus).
  bool lockFocus();
  void unlockFocus();

  // ---- mouse ----
  virtual bool acceptsFirstMouse(NSEvent*) { return false; }

  // ---- the destination side of a drag (NSDraggingDestination; AKDragOverWindow
  // and its kin deliver it) ----
  // True for a view that takes dragged files; the deepest such view under the drag
  // is its destination.
  virtual bool acceptsDrops() const { return false; }
  virtual NSUInteger draggingEntered(NSDraggingInfo*) { return 0; }
  virtual NSUInteger draggingUpdated(NSDraggingInfo*) { return 0; }
  virtual void draggingExited(NSDraggingInfo*) {}
  virtual bool performDragOperation(NSDraggingInfo*) { return false; }
  // The source side of a drag of promised files: creates them in the folder and
  // names them (none made: empty).
  virtual std::vector<std::string> namesOfPromisedFilesDroppedAtDestination(const std::string& /*folder*/)
  {
    return {};
  }

  // Internal to the kit: the window the tree belongs to.
  void setWindowForTree(NSWindow* window);

protected:
  ~NSView() override;

private:
  NSRect mFrame;
  NSView* mSuperview = nullptr;  // not retained
  NSWindow* mWindow = nullptr;   // not retained
  std::vector<NSView*> mSubviews;
  bool mHidden = false;
  bool mNeedsDisplay = false;
  NSInteger mTag = 0;
};
