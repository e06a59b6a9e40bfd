#pragma once
// The X keyboard's own layout (XKB) for the X11 presenter: the key at the place of a
// platform key code (the ANSI keyboard's typing keys, codes 0 to 50, and escape) and
// the character the layout gives it in the keyboard's current group. Dead keys give
// what the desktop's compose table makes of them before a space. The map is read
// from the server at each question, so a layout switched meanwhile is the one used.
// Internal to the kit.

#include <X11/Xlib.h>

#include <memory>
#include <string>

struct xkb_context;
struct xkb_compose_table;

// The character of an X key symbol (UTF-16), from its Unicode value; empty for a
// symbol without one or with a control character.
std::u16string AKX11KeysymCharacters(unsigned long keysym);

class AKX11Layout
{
public:
  explicit AKX11Layout(Display* display);
  ~AKX11Layout();
  AKX11Layout(const AKX11Layout&) = delete;
  AKX11Layout& operator=(const AKX11Layout&) = delete;

  // False when the server has no keyboard extension.
  bool usable() const { return mUsable; }
  // The platform key code at the place of the X key code; 0xFFFF when it is none of
  // the places above.
  unsigned short keyCodeAt(unsigned xKeyCode);
  // See NSPresenter::layoutCharacter.
  bool character(unsigned short keyCode, bool shift, char32_t* c, bool* dead);

private:
  char32_t deadCharacter(unsigned long keysym);

  Display* mDisplay;
  bool mUsable = false;
  xkb_context* mContext = nullptr;
  xkb_compose_table* mCompose = nullptr;
  bool mComposeTried = false;
};
