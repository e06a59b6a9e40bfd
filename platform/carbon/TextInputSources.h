#pragma once
// The keyboard layout through the text input source and key-layout functions. The
// kit's one keyboard is the platform's US (ANSI) layout, the one whose key codes
// the presenters give; it has no dead keys. Any thread.

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
// 0; the dead-key state is left at 0. paramErr for a null layout or pointer, or
// another action; kUCOutputBufferTooSmall when maxStringLength is 0.
OSStatus UCKeyTranslate(const UCKeyboardLayout* layout, UInt16 virtualKeyCode, UInt16 keyAction,
                        UInt32 modifierKeyState, UInt32 keyboardType, OptionBits keyTranslateOptions,
                        UInt32* deadKeyState, UniCharCount maxStringLength, UniCharCount* actualStringLength,
                        UniChar unicodeString[]);
