#pragma once
// Input events: mouse buttons, moves and drags, the wheel, keys with modifiers,
// entering and leaving, and application-defined events. Positions are in the
// window's base coordinates (points, y up from the bottom of the content area).

#include "platform/appkit/Foundation.h"

#include <string>

class NSWindow;

enum NSEventType
{
  NSLeftMouseDown = 1,
  NSLeftMouseUp = 2,
  NSRightMouseDown = 3,
  NSRightMouseUp = 4,
  NSMouseMoved = 5,
  NSLeftMouseDragged = 6,
  NSRightMouseDragged = 7,
  NSMouseEntered = 8,
  NSMouseExited = 9,
  NSKeyDown = 10,
  NSKeyUp = 11,
  NSFlagsChanged = 12,
  NSAppKitDefined = 13,
  NSSystemDefined = 14,
  NSApplicationDefined = 15,
  NSEventTypeRotate = 18,
  NSScrollWheel = 22,
  NSOtherMouseDown = 25,
  NSOtherMouseUp = 26,
  NSOtherMouseDragged = 27,
  NSEventTypeMagnify = 30,
  NSEventTypeSwipe = 31
};

enum : NSUInteger
{
  NSAlphaShiftKeyMask = 1 << 16,
  NSShiftKeyMask = 1 << 17,      // 0x20000
  NSControlKeyMask = 1 << 18,    // 0x40000
  NSAlternateKeyMask = 1 << 19,  // 0x80000 (option)
  NSCommandKeyMask = 1 << 20,    // 0x100000
  NSDeviceIndependentModifierFlagsMask = 0xFFFF0000UL
};

// Virtual key codes of the platform's keyboard (ANSI layout).
enum : unsigned short
{
  kVK_ANSI_A = 0x00, kVK_ANSI_S = 0x01, kVK_ANSI_D = 0x02, kVK_ANSI_F = 0x03, kVK_ANSI_H = 0x04,
  kVK_ANSI_G = 0x05, kVK_ANSI_Z = 0x06, kVK_ANSI_X = 0x07, kVK_ANSI_C = 0x08, kVK_ANSI_V = 0x09,
  kVK_ANSI_B = 0x0B, kVK_ANSI_Q = 0x0C, kVK_ANSI_W = 0x0D, kVK_ANSI_E = 0x0E, kVK_ANSI_R = 0x0F,
  kVK_ANSI_Y = 0x10, kVK_ANSI_T = 0x11, kVK_ANSI_1 = 0x12, kVK_ANSI_2 = 0x13, kVK_ANSI_3 = 0x14,
  kVK_ANSI_4 = 0x15, kVK_ANSI_6 = 0x16, kVK_ANSI_5 = 0x17, kVK_ANSI_Equal = 0x18, kVK_ANSI_9 = 0x19,
  kVK_ANSI_7 = 0x1A, kVK_ANSI_Minus = 0x1B, kVK_ANSI_8 = 0x1C, kVK_ANSI_0 = 0x1D,
  kVK_ANSI_RightBracket = 0x1E, kVK_ANSI_O = 0x1F, kVK_ANSI_U = 0x20, kVK_ANSI_LeftBracket = 0x21,
  kVK_ANSI_I = 0x22, kVK_ANSI_P = 0x23, kVK_Return = 0x24, kVK_ANSI_L = 0x25, kVK_ANSI_J = 0x26,
  kVK_ANSI_Quote = 0x27, kVK_ANSI_K = 0x28, kVK_ANSI_Semicolon = 0x29, kVK_ANSI_Backslash = 0x2A,
  kVK_ANSI_Comma = 0x2B, kVK_ANSI_Slash = 0x2C, kVK_ANSI_N = 0x2D, kVK_ANSI_M = 0x2E,
  kVK_ANSI_Period = 0x2F, kVK_Tab = 0x30, kVK_Space = 0x31, kVK_ANSI_Grave = 0x32, kVK_Delete = 0x33,
  kVK_Escape = 0x35, kVK_Command = 0x37, kVK_Shift = 0x38, kVK_CapsLock = 0x39, kVK_Option = 0x3A,
  kVK_Control = 0x3B, kVK_ANSI_KeypadDecimal = 0x41, kVK_ANSI_KeypadMultiply = 0x43,
  kVK_ANSI_KeypadPlus = 0x45, kVK_ANSI_KeypadDivide = 0x4B, kVK_ANSI_KeypadEnter = 0x4C,
  kVK_ANSI_KeypadMinus = 0x4E, kVK_ANSI_Keypad0 = 0x52, kVK_ANSI_Keypad1 = 0x53, kVK_ANSI_Keypad2 = 0x54,
  kVK_ANSI_Keypad3 = 0x55, kVK_ANSI_Keypad4 = 0x56, kVK_ANSI_Keypad5 = 0x57, kVK_ANSI_Keypad6 = 0x58,
  kVK_ANSI_Keypad7 = 0x59, kVK_ANSI_Keypad8 = 0x5B, kVK_ANSI_Keypad9 = 0x5C, kVK_F5 = 0x60, kVK_F6 = 0x61,
  kVK_F7 = 0x62, kVK_F3 = 0x63, kVK_F8 = 0x64, kVK_F9 = 0x65, kVK_F11 = 0x67, kVK_F10 = 0x6D, kVK_F12 = 0x6F,
  kVK_Home = 0x73, kVK_PageUp = 0x74, kVK_ForwardDelete = 0x75, kVK_F4 = 0x76, kVK_End = 0x77, kVK_F2 = 0x78,
  kVK_PageDown = 0x79, kVK_F1 = 0x7A, kVK_LeftArrow = 0x7B, kVK_RightArrow = 0x7C, kVK_DownArrow = 0x7D,
  kVK_UpArrow = 0x7E
};

// Buttons, motions, crossings, the wheel and gestures.
bool AKIsMouseEventType(NSEventType t);

// The key a US keyboard types a letter, digit, space or one of "-=.,/" with; 0xFFFF
// for other characters.
unsigned short AKKeyCodeForCharacter(char32_t c);

// The characters the platform gives keys without a printable character.
enum : char16_t
{
  NSUpArrowFunctionKey = 0xF700,
  NSDownArrowFunctionKey = 0xF701,
  NSLeftArrowFunctionKey = 0xF702,
  NSRightArrowFunctionKey = 0xF703,
  NSF1FunctionKey = 0xF704,
  NSDeleteFunctionKey = 0xF728,
  NSHomeFunctionKey = 0xF729,
  NSEndFunctionKey = 0xF72B,
  NSPageUpFunctionKey = 0xF72C,
  NSPageDownFunctionKey = 0xF72D
};

class NSEvent : public NSObject
{
public:
  // Autoreleased events, as the platform's factories give them.
  static NSEvent* mouseEventWithType(NSEventType type, NSPoint location, NSUInteger modifierFlags,
                                     NSTimeInterval timestamp, NSWindow* window, NSInteger clickCount);
  // A move or drag with how far the mouse went since the last (deltaY positive
  // downward), as the platform reports it even where the cursor cannot follow.
  static NSEvent* mouseEventWithDeltas(NSEventType type, NSPoint location, NSUInteger modifierFlags,
                                       NSTimeInterval timestamp, NSWindow* window, CGFloat deltaX, CGFloat deltaY);
  // Characters are UTF-8 here and UTF-16 in the event.
  static NSEvent* keyEventWithType(NSEventType type, NSPoint location, NSUInteger modifierFlags,
                                   NSTimeInterval timestamp, NSWindow* window, const std::string& characters,
                                   const std::string& charactersIgnoringModifiers, unsigned short keyCode);
  static NSEvent* keyEventWithType(NSEventType type, NSUInteger modifierFlags, NSWindow* window,
                                   const std::u16string& characters, const std::u16string& charactersIgnoringModifiers,
                                   unsigned short keyCode);
  static NSEvent* scrollEventWithDeltas(NSPoint location, NSUInteger modifierFlags, NSWindow* window, CGFloat deltaX,
                                        CGFloat deltaY);
  static NSEvent* otherEventWithType(NSEventType type, NSPoint location, NSUInteger modifierFlags,
                                     NSTimeInterval timestamp, NSInteger windowNumber, void* context, short subtype,
                                     NSInteger data1, NSInteger data2);
  static NSEvent* enterExitEventWithType(NSEventType type, NSPoint location, NSWindow* window);
  // A trackpad gesture: magnification in deltaZ, rotation in degrees, swipe direction in the deltas.
  static NSEvent* gestureEventWithType(NSEventType type, NSPoint location, NSWindow* window, CGFloat deltaX,
                                       CGFloat deltaY, CGFloat deltaZ, CGFloat rotation);

  NSEventType type() const { return mType; }
  NSPoint locationInWindow() const { return mLocation; }
  NSUInteger modifierFlags() const { return mFlags; }
  NSTimeInterval timestamp() const { return mTimestamp; }
  NSWindow* window() const { return mWindow; }
  NSInteger windowNumber() const { return mWindowNumber; }
  NSInteger clickCount() const { return mClickCount; }
  CGFloat deltaX() const { return mDeltaX; }
  CGFloat deltaY() const { return mDeltaY; }
  CGFloat deltaZ() const { return mDeltaZ; }
  CGFloat rotation() const { return mRotation; }
  unsigned short keyCode() const { return mKeyCode; }
  const std::u16string& characters() const { return mCharacters; }
  const std::u16string& charactersIgnoringModifiers() const { return mCharactersIgnoringModifiers; }
  short subtype() const { return mSubtype; }
  NSInteger data1() const { return mData1; }
  NSInteger data2() const { return mData2; }

  // Kit internal: the same event for another window, at a point of that window's
  // base coordinates (autoreleased).
  NSEvent* eventForWindow(NSWindow* window, NSPoint location) const;
  // Kit internal: made up by another program (sent to our window), not the user's own
  // input from the keyboard or the mouse.
  bool fromAnotherProgram() const { return mFromAnotherProgram; }
  void setFromAnotherProgram(bool another) { mFromAnotherProgram = another; }
  // Kit internal: the location was read from the window's top-left corner, the window
  // this high (a screen that counts down from the top tells it so). A window whose
  // height the screen changed before the event is handled (a resize it told after the
  // event) has the event at the same distance from its top: where it was made on the
  // window as shown then. Placed once, when the application handles the event.
  void setPlacedFromTop(CGFloat windowHeight) { mPlacedHeight = windowHeight; }
  void placeInWindow();
  // Kit internal: where on the screen the event happened (y up), as the screen told it;
  // it stays there when the window moves before the event is handled.
  void setLocationOnScreen(NSPoint screen)
  {
    mScreen = screen;
    mHasScreen = true;
  }
  // Where on the screen the event happened: as the screen told it, else for a mouse
  // event made in the kit its place in its window. False for an event that tells no
  // place (a key made in the kit).
  bool locationOnScreen(NSPoint* screen) const;

  // The mouse position on the screen (y up from the bottom of the main display).
  static NSPoint mouseLocation();
  // Buttons held now (bit 0 left, bit 1 right), as the presenter saw them last.
  static NSUInteger pressedMouseButtons();

protected:
  ~NSEvent() override;

private:
  NSEvent() = default;
  NSEventType mType = NSApplicationDefined;
  NSPoint mLocation{0, 0};
  NSUInteger mFlags = 0;
  NSTimeInterval mTimestamp = 0;
  NSWindow* mWindow = nullptr;  // retained
  NSInteger mWindowNumber = 0;
  NSInteger mClickCount = 0;
  CGFloat mDeltaX = 0, mDeltaY = 0, mDeltaZ = 0, mRotation = 0;
  unsigned short mKeyCode = 0;
  std::u16string mCharacters, mCharactersIgnoringModifiers;
  short mSubtype = 0;
  NSInteger mData1 = 0, mData2 = 0;
  bool mFromAnotherProgram = false;
  CGFloat mPlacedHeight = -1;  // none: placed already
  NSPoint mScreen{0, 0};
  bool mHasScreen = false;
};
