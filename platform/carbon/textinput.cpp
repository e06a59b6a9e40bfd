#include "platform/carbon/TextInputSources.h"

#include <cstring>

const CFStringRef kTISPropertyUnicodeKeyLayoutData = CFSTR("TISPropertyUnicodeKeyLayoutData");

namespace {

// The US (ANSI) layout by key code 0 to 50, unshifted and shifted; code 10 has
// no key on it.
const char kPlain[] = "asdfhgzxcv\0bqweryt123465=97-80]ou[ip\rlj'k;\\,/nm.\t `";
const char kShifted[] = "ASDFHGZXCV\0BQWERYT!@#$^%+(&_*)}OU{IP\rLJ\"K:|<?NM>\t ~";
static_assert(sizeof kPlain == 52 && sizeof kShifted == 52, "one character a key code, 0 to 50");
const UInt8 kLayoutTag[] = {'U', 'S', 0, 0};
const UInt16 kEscapeKey = 0x35;

CFDataRef layoutData()
{
  static const CFDataRef data = CFDataCreate(nullptr, kLayoutTag, sizeof kLayoutTag);
  return data;
}

}  // namespace

TISInputSourceRef TISCopyCurrentKeyboardInputSource() { return CFRetain(layoutData()); }

void* TISGetInputSourceProperty(TISInputSourceRef source, CFStringRef key)
{
  if (source != layoutData() || !key || !CFEqual(key, kTISPropertyUnicodeKeyLayoutData)) return nullptr;
  return (void*)layoutData();
}

UInt8 LMGetKbdType() { return 40; }  // an ANSI keyboard

OSStatus UCKeyTranslate(const UCKeyboardLayout* layout, UInt16 virtualKeyCode, UInt16 keyAction,
                        UInt32 modifierKeyState, UInt32, OptionBits, UInt32* deadKeyState,
                        UniCharCount maxStringLength, UniCharCount* actualStringLength, UniChar unicodeString[])
{
  if (!layout || memcmp(layout, kLayoutTag, sizeof kLayoutTag) != 0 || !deadKeyState || !actualStringLength ||
      !unicodeString || keyAction != kUCKeyActionDown)
    return paramErr;
  *actualStringLength = 0;
  *deadKeyState = 0;
  UniChar c = 0;
  if (virtualKeyCode < sizeof kPlain - 1)
    c = (UInt8)((modifierKeyState & kUCShiftKeyState) ? kShifted : kPlain)[virtualKeyCode];
  else if (virtualKeyCode == kEscapeKey)
    c = 0x1B;
  if (!c) return noErr;
  if (maxStringLength < 1) return kUCOutputBufferTooSmall;
  unicodeString[0] = c;
  *actualStringLength = 1;
  return noErr;
}
