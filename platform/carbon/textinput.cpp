#include "platform/carbon/TextInputSources.h"

#include "platform/appkit/Foundation.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/Presenter.h"

#include <algorithm>
#include <cstring>

const CFStringRef kTISPropertyUnicodeKeyLayoutData = CFSTR("TISPropertyUnicodeKeyLayoutData");

namespace {

// The US (ANSI) layout by key code 0 to 50, unshifted and shifted; code 10 has
// no key on it.
const char kPlain[] = "asdfhgzxcv\0bqweryt123465=97-80]ou[ip\rlj'k;\\,/nm.\t `";
const char kShifted[] = "ASDFHGZXCV\0BQWERYT!@#$^%+(&_*)}OU{IP\rLJ\"K:|<?NM>\t ~";
static_assert(sizeof kPlain == 52 && sizeof kShifted == 52, "one character a key code, 0 to 50");
const UInt8 kLayoutTag[] = {'U', 'S', 0, 0};
const UInt8 kPresenterTag[] = {'K', 'B', 'D', 0};  // the keyboard the kit's presenter reads
const UInt16 kEscapeKey = 0x35;

CFDataRef layoutData()
{
  static const CFDataRef data = CFDataCreate(nullptr, kLayoutTag, sizeof kLayoutTag);
  return data;
}

CFDataRef presenterData()
{
  static const CFDataRef data = CFDataCreate(nullptr, kPresenterTag, sizeof kPresenterTag);
  return data;
}

NSPresenter* layoutPresenter()
{
  NSPresenter* p = NSApplication::exists() ? NSApp->presenter() : nullptr;
  return p && p->hasKeyboardLayout() ? p : nullptr;
}

// A code point as UTF-16 into out (room for max units); the units written, 0 when
// they do not fit.
UniCharCount putUTF16(char32_t c, UniChar* out, UniCharCount max)
{
  const std::u16string units = AKUTF16(c);
  if (units.size() > max) return 0;
  std::copy(units.begin(), units.end(), out);
  return (UniCharCount)units.size();
}

// The presenter's keyboard. A dead key leaves its own character (plus a mark, so
// that one giving none still counts) as the state; the next key gives that
// character, and its own unless it is the space.
OSStatus translateByPresenter(UInt16 key, bool shift, UInt32* deadKeyState, UniCharCount max, UniCharCount* length,
                              UniChar* out)
{
  NSPresenter* p = layoutPresenter();
  char32_t c = 0;
  bool dead = false;
  const bool known = p && p->layoutCharacter(key, shift, &c, &dead);
  const UInt32 pending = *deadKeyState;
  *deadKeyState = 0;
  if (known && dead && !pending)
  {
    *deadKeyState = 0x80000000u | (UInt32)c;
    return noErr;
  }
  char32_t chars[2];
  int n = 0;
  if (pending && (pending & 0x7FFFFFFFu)) chars[n++] = pending & 0x7FFFFFFFu;
  if (known && c && !(pending && key == kVK_Space)) chars[n++] = c;
  UniCharCount written = 0;
  for (int i = 0; i < n; ++i)
  {
    const UniCharCount units = putUTF16(chars[i], out + written, max - written);
    if (!units) return kUCOutputBufferTooSmall;
    written += units;
  }
  *length = written;
  return noErr;
}

}  // namespace

TISInputSourceRef TISCopyCurrentKeyboardInputSource()
{
  return CFRetain(layoutPresenter() ? presenterData() : layoutData());
}

void* TISGetInputSourceProperty(TISInputSourceRef source, CFStringRef key)
{
  if ((source != layoutData() && source != presenterData()) || !key ||
      !CFEqual(key, kTISPropertyUnicodeKeyLayoutData))
    return nullptr;
  return (void*)source;
}

UInt8 LMGetKbdType() { return 40; }  // an ANSI keyboard

OSStatus UCKeyTranslate(const UCKeyboardLayout* layout, UInt16 virtualKeyCode, UInt16 keyAction,
                        UInt32 modifierKeyState, UInt32, OptionBits, UInt32* deadKeyState,
                        UniCharCount maxStringLength, UniCharCount* actualStringLength, UniChar unicodeString[])
{
  if (!layout || !deadKeyState || !actualStringLength || !unicodeString || keyAction != kUCKeyActionDown)
    return paramErr;
  const bool presenter = memcmp(layout, kPresenterTag, sizeof kPresenterTag) == 0;
  if (!presenter && memcmp(layout, kLayoutTag, sizeof kLayoutTag) != 0) return paramErr;
  *actualStringLength = 0;
  if (presenter)
    return translateByPresenter(virtualKeyCode, modifierKeyState & kUCShiftKeyState, deadKeyState, maxStringLength,
                                actualStringLength, unicodeString);
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
