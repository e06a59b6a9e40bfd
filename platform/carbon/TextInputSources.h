#pragma once
// The keyboard layout through the text input source and key-layout functions. Key
// codes are those of the platform's ANSI keyboard, by place. Where the kit's
// presenter reads a keyboard with a layout of its own (X11: the X keyboard's map),
// the current source is that layout, dead keys included; otherwise it is the
// platform's US layout, which has none. Main thread while the kit's application
// exists (the US layout: any thread).

#include "platform/corefoundation/CoreFoundation.h"

typedef CFTypeRef TISInputSourceRef;
typedef UInt16 UniChar;
typedef unsigned long UniCharCount;
typedef UInt32 OptionBits;
struct UCKeyboardLayout;

extern const CFStringRef kTISPropertyUnicodeKeyLayoutData;
enum : UInt16
{
  kUCKeyActionDown = 0,
  kUCKeyActionUp = 1
};
// Modifier key state bits as UCKeyTranslate takes them (the event modifiers >> 8).
enum : UInt32
{
  kUCShiftKeyState = 0x02
};
constexpr OSStatus kUCOutputBufferTooSmall = -25340;

// The current keyboard's input source; CFRelease it.
TISInputSourceRef TISCopyCurrentKeyboardInputSource();
// For kTISPropertyUnicodeKeyLayoutData the layout (a CFData whose bytes are the
// UCKeyboardLayout), owned by the source; null for other properties or sources.
void* TISGetInputSourceProperty(TISInputSourceRef source, CFStringRef key);
UInt8 LMGetKbdType();
// The characters of a key pressed (kUCKeyActionDown) with the modifier key state
// (shift only counts here). A key that gives none answers noErr with a length of
// 0. A dead key gives none and leaves a nonzero dead-key state; the next key then
// gives the dead key's own character, followed by its own unless it is the space
// (nothing is composed). The US layout leaves the state at 0. paramErr for a null
// layout or pointer, or another action; kUCOutputBufferTooSmall when the characters
// do not fit in maxStringLength.
OSStatus UCKeyTranslate(const UCKeyboardLayout* layout, UInt16 virtualKeyCode, UInt16 keyAction,
                        UInt32 modifierKeyState, UInt32 keyboardType, OptionBits keyTranslateOptions,
                        UInt32* deadKeyState, UniCharCount maxStringLength, UniCharCount* actualStringLength,
                        UniChar unicodeString[]);
