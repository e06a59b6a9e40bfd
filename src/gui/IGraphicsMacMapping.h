#pragma once
// The plain computations of the editor's view: coordinate
// conversions between the graphics object (y down, integer rectangles) and the
// view (y up, points), the mouse offset, the modifier and key tables, the message
// box's buttons and answers, and the text entry's character sets and style.
// Nothing here calls the window kit.

#include "gui/IGraphicsStructs.h"
#include "platform/appkit/Foundation.h"

#include <string>

namespace MacMapping
{

// {L, T, R, B} to the view rectangle (L, H - 1 - B, R - L + 1, B - T + 1).
NSRect ViewRectOf(const IRECT& r, int height);
// The view rectangle, each value truncated, to {x, H - (y + h), x + w, H - y}.
IRECT GraphicsRectOf(const NSRect& r, int height);
// A view point to the graphics point: ((int)px - 2, H - 3 - (int)py).
void MousePoint(CGFloat px, CGFloat py, int height, int* x, int* y);

// Shift 0x20000, control 0x40000, option 0x80000, command 0x100000. The left
// button's events carry L and, with command, R; the right button's carry R only.
IMouseMod ModsOf(NSUInteger modifierFlags, bool rightButton);

// What a key event becomes.
enum
{
  kKeyDropped = -2,    // not exactly one character: ignored entirely
  kKeyNextResponder = -1  // passed to the next responder
};
// The key value for IGraphics::OnKeyDown (0 to 40), or one of the two above. Key
// codes 123 to 126 and 49 come first; the character decides for other codes.
int KeyOf(unsigned short keyCode, const std::u16string& charactersIgnoringModifiers);

// The buttons of a message box of the type, in the order default, alternate,
// other (empty when absent), and the Win32 answer for the button pressed (0, 1,
// 2; anything else answers 0).
void MessageBoxButtons(int type, std::string buttons[3]);
int MessageBoxAnswer(int type, int buttonPressed);

// The characters a text entry accepts for a parameter of the kind (IParamKind).
std::string TextEntryCharacters(int paramKind);
// The field's alignment for the style's (0 left, 1 centre, 2 right) in the kit's
// values (0 left, 2 centre, 1 right); -1 keeps the field's default.
int TextEntryAlignment(int styleAlign);
// The field's font size for the style's: size x 0.9, truncated.
int TextEntryFontSize(int styleSize);

// A web address: the text starts with "http://" or "https://" (any case). Anything
// else OpenURL treats as a file path.
bool IsWebAddress(const char* text);

}  // namespace MacMapping
