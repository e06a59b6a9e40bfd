#include "platform/appkit/NSEvent.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/Presenter.h"

NSEvent::~NSEvent() { AKRelease(mWindow); }

bool AKIsMouseEventType(NSEventType t)
{
  switch (t)
  {
    case NSLeftMouseDown: case NSLeftMouseUp: case NSRightMouseDown: case NSRightMouseUp: case NSMouseMoved:
    case NSLeftMouseDragged: case NSRightMouseDragged: case NSMouseEntered: case NSMouseExited: case NSScrollWheel:
    case NSOtherMouseDown: case NSOtherMouseUp: case NSOtherMouseDragged: case NSEventTypeMagnify:
    case NSEventTypeRotate: case NSEventTypeSwipe:
      return true;
    default:
      return false;
  }
}

unsigned short AKKeyCodeForCharacter(char32_t c)
{
  static const unsigned short letters[26] = {
      kVK_ANSI_A, kVK_ANSI_B, kVK_ANSI_C, kVK_ANSI_D, kVK_ANSI_E, kVK_ANSI_F, kVK_ANSI_G, kVK_ANSI_H, kVK_ANSI_I,
      kVK_ANSI_J, kVK_ANSI_K, kVK_ANSI_L, kVK_ANSI_M, kVK_ANSI_N, kVK_ANSI_O, kVK_ANSI_P, kVK_ANSI_Q, kVK_ANSI_R,
      kVK_ANSI_S, kVK_ANSI_T, kVK_ANSI_U, kVK_ANSI_V, kVK_ANSI_W, kVK_ANSI_X, kVK_ANSI_Y, kVK_ANSI_Z};
  static const unsigned short digits[10] = {kVK_ANSI_0, kVK_ANSI_1, kVK_ANSI_2, kVK_ANSI_3, kVK_ANSI_4,
                                            kVK_ANSI_5, kVK_ANSI_6, kVK_ANSI_7, kVK_ANSI_8, kVK_ANSI_9};
  if (c >= 'a' && c <= 'z') return letters[c - 'a'];
  if (c >= 'A' && c <= 'Z') return letters[c - 'A'];
  if (c >= '0' && c <= '9') return digits[c - '0'];
  switch (c)
  {
    case ' ': return kVK_Space;
    case '-': return kVK_ANSI_Minus;
    case '=': return kVK_ANSI_Equal;
    case '.': return kVK_ANSI_Period;
    case ',': return kVK_ANSI_Comma;
    case '/': return kVK_ANSI_Slash;
    default: return 0xFFFF;
  }
}

NSEvent* NSEvent::mouseEventWithType(NSEventType type, NSPoint location, NSUInteger modifierFlags,
                                     NSTimeInterval timestamp, NSWindow* window, NSInteger clickCount)
{
  NSEvent* e = new NSEvent;
  e->mType = type;
  e->mLocation = location;
  e->mFlags = modifierFlags;
  e->mTimestamp = timestamp;
  e->mWindow = AKRetain(window);
  e->mWindowNumber = window ? window->windowNumber() : 0;
  e->mClickCount = clickCount;
  e->autorelease();
  return e;
}

NSEvent* NSEvent::keyEventWithType(NSEventType type, NSPoint location, NSUInteger modifierFlags,
                                   NSTimeInterval timestamp, NSWindow* window, const std::string& characters,
                                   const std::string& charactersIgnoringModifiers, unsigned short keyCode)
{
  NSEvent* e = mouseEventWithType(type, location, modifierFlags, timestamp, window, 0);
  e->mCharacters = AKUTF16(characters);
  e->mCharactersIgnoringModifiers = AKUTF16(charactersIgnoringModifiers);
  e->mKeyCode = keyCode;
  return e;
}

NSEvent* NSEvent::keyEventWithType(NSEventType type, NSUInteger modifierFlags, NSWindow* window,
                                   const std::u16string& characters, const std::u16string& charactersIgnoringModifiers,
                                   unsigned short keyCode)
{
  NSEvent* e = mouseEventWithType(type, NSMakePoint(0, 0), modifierFlags, NSRunLoop::currentRunLoop()->now(), window, 0);
  e->mCharacters = characters;
  e->mCharactersIgnoringModifiers = charactersIgnoringModifiers;
  e->mKeyCode = keyCode;
  return e;
}

NSEvent* NSEvent::mouseEventWithDeltas(NSEventType type, NSPoint location, NSUInteger modifierFlags,
                                       NSTimeInterval timestamp, NSWindow* window, CGFloat deltaX, CGFloat deltaY)
{
  NSEvent* e = mouseEventWithType(type, location, modifierFlags, timestamp, window, 0);
  e->mDeltaX = deltaX;
  e->mDeltaY = deltaY;
  return e;
}

NSEvent* NSEvent::scrollEventWithDeltas(NSPoint location, NSUInteger modifierFlags, NSWindow* window, CGFloat deltaX,
                                        CGFloat deltaY)
{
  NSEvent* e =
      mouseEventWithType(NSScrollWheel, location, modifierFlags, NSRunLoop::currentRunLoop()->now(), window, 0);
  e->mDeltaX = deltaX;
  e->mDeltaY = deltaY;
  return e;
}

NSEvent* NSEvent::otherEventWithType(NSEventType type, NSPoint location, NSUInteger modifierFlags,
                                     NSTimeInterval timestamp, NSInteger windowNumber, void*, short subtype,
                                     NSInteger data1, NSInteger data2)
{
  NSWindow* w = NSApplication::exists() ? NSApp->windowWithNumber(windowNumber) : nullptr;
  NSEvent* e = mouseEventWithType(type, location, modifierFlags, timestamp, w, 0);
  e->mWindowNumber = windowNumber;
  e->mSubtype = subtype;
  e->mData1 = data1;
  e->mData2 = data2;
  return e;
}

NSEvent* NSEvent::enterExitEventWithType(NSEventType type, NSPoint location, NSWindow* window)
{
  return mouseEventWithType(type, location, 0, NSRunLoop::currentRunLoop()->now(), window, 0);
}

NSEvent* NSEvent::gestureEventWithType(NSEventType type, NSPoint location, NSWindow* window, CGFloat deltaX,
                                       CGFloat deltaY, CGFloat deltaZ, CGFloat rotation)
{
  NSEvent* e = mouseEventWithType(type, location, 0, NSRunLoop::currentRunLoop()->now(), window, 0);
  e->mDeltaX = deltaX;
  e->mDeltaY = deltaY;
  e->mDeltaZ = deltaZ;
  e->mRotation = rotation;
  return e;
}

NSEvent* NSEvent::eventForWindow(NSWindow* window, NSPoint location) const
{
  NSEvent* e = mouseEventWithType(mType, location, mFlags, mTimestamp, window, mClickCount);
  e->mDeltaX = mDeltaX;
  e->mDeltaY = mDeltaY;
  e->mDeltaZ = mDeltaZ;
  e->mRotation = mRotation;
  e->mKeyCode = mKeyCode;
  e->mCharacters = mCharacters;
  e->mCharactersIgnoringModifiers = mCharactersIgnoringModifiers;
  e->mSubtype = mSubtype;
  e->mData1 = mData1;
  e->mData2 = mData2;
  e->mFromAnotherProgram = mFromAnotherProgram;
  e->mScreen = mScreen;
  e->mHasScreen = mHasScreen;
  return e;
}

void NSEvent::placeInWindow()
{
  if (mPlacedHeight < 0) return;
  if (mWindow) mLocation.y += mWindow->frame().size.height - mPlacedHeight;
  mPlacedHeight = -1;
}

bool NSEvent::locationOnScreen(NSPoint* screen) const
{
  if (mHasScreen) *screen = mScreen;
  else if (!AKIsMouseEventType(mType)) return false;
  else *screen = mWindow ? mWindow->convertBaseToScreen(mLocation) : mLocation;
  return true;
}

NSPoint NSEvent::mouseLocation()
{
  return NSApp && NSApp->presenter() ? NSApp->presenter()->mouseLocation() : NSMakePoint(0, 0);
}

NSUInteger NSEvent::pressedMouseButtons()
{
  return NSApp && NSApp->presenter() ? NSApp->presenter()->pressedMouseButtons() : 0;
}
