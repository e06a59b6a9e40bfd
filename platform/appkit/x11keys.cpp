#include "platform/appkit/X11Keys.h"

#include "platform/appkit/NSEvent.h"

namespace {

// The X key symbols this table names (from the X protocol's keysymdef), without Xlib.
enum : unsigned long
{
  XK_BackSpace = 0xff08, XK_Tab = 0xff09, XK_ISO_Left_Tab = 0xfe20, XK_Return = 0xff0d, XK_Escape = 0xff1b,
  XK_Delete = 0xffff, XK_Home = 0xff50, XK_Left = 0xff51, XK_Up = 0xff52, XK_Right = 0xff53, XK_Down = 0xff54,
  XK_Page_Up = 0xff55, XK_Page_Down = 0xff56, XK_End = 0xff57, XK_KP_Enter = 0xff8d, XK_KP_Home = 0xff95,
  XK_KP_Left = 0xff96, XK_KP_Up = 0xff97, XK_KP_Right = 0xff98, XK_KP_Down = 0xff99, XK_KP_Page_Up = 0xff9a,
  XK_KP_Page_Down = 0xff9b, XK_KP_End = 0xff9c, XK_KP_Delete = 0xff9f, XK_KP_Multiply = 0xffaa,
  XK_KP_Add = 0xffab, XK_KP_Subtract = 0xffad, XK_KP_Decimal = 0xffae, XK_KP_Divide = 0xffaf,
  XK_KP_0 = 0xffb0, XK_KP_9 = 0xffb9, XK_F1 = 0xffbe, XK_F12 = 0xffc9, XK_Shift_L = 0xffe1,
  XK_Hyper_R = 0xffee
};

}  // namespace

bool AKMacKeyForX11Keysym(unsigned long keysym, const std::string& text, unsigned short* keyCode,
                          std::u16string* characters)
{
  static const unsigned short keypad[10] = {kVK_ANSI_Keypad0, kVK_ANSI_Keypad1, kVK_ANSI_Keypad2, kVK_ANSI_Keypad3,
                                            kVK_ANSI_Keypad4, kVK_ANSI_Keypad5, kVK_ANSI_Keypad6, kVK_ANSI_Keypad7,
                                            kVK_ANSI_Keypad8, kVK_ANSI_Keypad9};
  static const unsigned short functions[12] = {kVK_F1, kVK_F2, kVK_F3, kVK_F4,  kVK_F5,  kVK_F6,
                                               kVK_F7, kVK_F8, kVK_F9, kVK_F10, kVK_F11, kVK_F12};
  auto give = [&](unsigned short code, char16_t c) {
    *keyCode = code;
    *characters = std::u16string(1, c);
    return true;
  };
  if ((keysym >= 'a' && keysym <= 'z') || (keysym >= 'A' && keysym <= 'Z') || (keysym >= '0' && keysym <= '9'))
    return give(AKKeyCodeForCharacter((char32_t)keysym), (char16_t)keysym);
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return give(keypad[keysym - XK_KP_0], (char16_t)('0' + keysym - XK_KP_0));
  if (keysym >= XK_F1 && keysym <= XK_F12) return give(functions[keysym - XK_F1], (char16_t)(NSF1FunctionKey + keysym - XK_F1));
  switch (keysym)
  {
    case ' ': return give(kVK_Space, u' ');
    case '-': return give(kVK_ANSI_Minus, u'-');
    case '_': return give(kVK_ANSI_Minus, u'_');
    case '=': return give(kVK_ANSI_Equal, u'=');
    case '+': return give(kVK_ANSI_Equal, u'+');
    case '.': return give(kVK_ANSI_Period, u'.');
    case ',': return give(kVK_ANSI_Comma, u',');
    case '/': return give(kVK_ANSI_Slash, u'/');
    case ';': return give(kVK_ANSI_Semicolon, u';');
    case '\'': return give(kVK_ANSI_Quote, u'\'');
    case '[': return give(kVK_ANSI_LeftBracket, u'[');
    case ']': return give(kVK_ANSI_RightBracket, u']');
    case '\\': return give(kVK_ANSI_Backslash, u'\\');
    case '`': return give(kVK_ANSI_Grave, u'`');
    case XK_Return: return give(kVK_Return, u'\r');
    case XK_KP_Enter: return give(kVK_ANSI_KeypadEnter, 0x03);
    case XK_Tab:
    case XK_ISO_Left_Tab: return give(kVK_Tab, u'\t');
    case XK_BackSpace: return give(kVK_Delete, 0x7F);
    case XK_Delete:
    case XK_KP_Delete: return give(kVK_ForwardDelete, NSDeleteFunctionKey);
    case XK_Escape: return give(kVK_Escape, 0x1B);
    case XK_Left:
    case XK_KP_Left: return give(kVK_LeftArrow, NSLeftArrowFunctionKey);
    case XK_Right:
    case XK_KP_Right: return give(kVK_RightArrow, NSRightArrowFunctionKey);
    case XK_Up:
    case XK_KP_Up: return give(kVK_UpArrow, NSUpArrowFunctionKey);
    case XK_Down:
    case XK_KP_Down: return give(kVK_DownArrow, NSDownArrowFunctionKey);
    case XK_Home:
    case XK_KP_Home: return give(kVK_Home, NSHomeFunctionKey);
    case XK_End:
    case XK_KP_End: return give(kVK_End, NSEndFunctionKey);
    case XK_Page_Up:
    case XK_KP_Page_Up: return give(kVK_PageUp, NSPageUpFunctionKey);
    case XK_Page_Down:
    case XK_KP_Page_Down: return give(kVK_PageDown, NSPageDownFunctionKey);
    case XK_KP_Multiply: return give(kVK_ANSI_KeypadMultiply, u'*');
    case XK_KP_Add: return give(kVK_ANSI_KeypadPlus, u'+');
    case XK_KP_Subtract: return give(kVK_ANSI_KeypadMinus, u'-');
    case XK_KP_Decimal: return give(kVK_ANSI_KeypadDecimal, u'.');
    case XK_KP_Divide: return give(kVK_ANSI_KeypadDivide, u'/');
    default: break;
  }
  if (keysym >= XK_Shift_L && keysym <= XK_Hyper_R) return false;  // modifiers alone
  // Any other key with a character: no key code of its own on the platform's keyboard.
  const std::u16string u = AKUTF16(text);
  if (u.empty() || u[0] < 0x20) return false;
  *keyCode = 0xFFFF;
  *characters = u;
  return true;
}
