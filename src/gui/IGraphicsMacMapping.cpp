#include "gui/IGraphicsMacMapping.h"

#include <strings.h>

namespace MacMapping
{

NSRect ViewRectOf(const IRECT& r, int height)
{
  return NSMakeRect(r.L, height - 1 - r.B, r.R - r.L + 1, r.B - r.T + 1);
}

IRECT GraphicsRectOf(const NSRect& r, int height)
{
  const int x = (int)r.origin.x, y = (int)r.origin.y, w = (int)r.size.width, h = (int)r.size.height;
  return IRECT(x, height - (y + h), x + w, height - y);
}

void MousePoint(CGFloat px, CGFloat py, int height, int* x, int* y)
{
  *x = (int)px - 2;
  *y = height - 3 - (int)py;
}

IMouseMod ModsOf(NSUInteger flags, bool rightButton)
{
  const bool shift = (flags & 0x20000) != 0, control = (flags & 0x40000) != 0;
  const bool option = (flags & 0x80000) != 0, command = (flags & 0x100000) != 0;
  if (rightButton) return IMouseMod(false, true, shift, control, option);
  return IMouseMod(true, command, shift, control, option);
}

int KeyOf(unsigned short keyCode, const std::u16string& chars)
{
  if (chars.size() != 1) return kKeyDropped;
  switch (keyCode)
  {
    case 126: return KEY_UPARROW;
    case 125: return KEY_DOWNARROW;
    case 123: return KEY_LEFTARROW;
    case 124: return KEY_RIGHTARROW;
    case 49: return KEY_SPACE;
    default: break;
  }
  const char16_t c = chars[0];
  if (c >= u'0' && c <= u'9') return (int)c - 43;
  if (c >= u'A' && c <= u'Z') return (int)c - 50;
  if (c >= u'a' && c <= u'z') return (int)c - 82;
  return kKeyNextResponder;
}

void MessageBoxButtons(int type, std::string buttons[3])
{
  buttons[0] = buttons[1] = buttons[2] = "";
  switch (type)
  {
    case 4:
      buttons[0] = "Yes";
      buttons[1] = "No";
      break;
    case 3:
      buttons[0] = "Yes";
      buttons[1] = "No";
      buttons[2] = "Cancel";
      break;
    case 1:
      buttons[0] = "OK";
      buttons[1] = "Cancel";
      break;
    default:
      buttons[0] = "OK";
      break;
  }
}

int MessageBoxAnswer(int type, int pressed)
{
  static const int kYesNo[3] = {6, 7, 0}, kYesNoCancel[3] = {6, 7, 2}, kOkCancel[3] = {1, 2, 0}, kOk[3] = {1, 0, 0};
  if (pressed < 0 || pressed > 2) return 0;
  switch (type)
  {
    case 4: return kYesNo[pressed];
    case 3: return kYesNoCancel[pressed];
    case 1: return kOkCancel[pressed];
    default: return kOk[pressed];
  }
}

std::string TextEntryCharacters(int kind)
{
  switch (kind)
  {
    case 1:
    case 2:
    case 3: return "0123456789-+";
    case 4: return "0123456789.-+";
    case 5:
      return "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !\"#$%&/'+-*()[],.";
    default: return "";
  }
}

int TextEntryAlignment(int styleAlign)
{
  switch (styleAlign)
  {
    case 0: return 0;
    case 1: return 2;
    case 2: return 1;
    default: return -1;
  }
}

int TextEntryFontSize(int styleSize) { return (int)((double)styleSize * 0.9); }

bool IsWebAddress(const char* text)
{
  return text && (strncasecmp(text, "http://", 7) == 0 || strncasecmp(text, "https://", 8) == 0);
}

}  // namespace MacMapping
