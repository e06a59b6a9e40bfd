#pragma once
// How the X11 presenter names keys as the platform does: an X key symbol becomes a
// virtual key code of the platform's keyboard and the character it gives. Plain
// computation (no Xlib), so tests check the table value by value.

#include <string>

// False for keys the kit does not pass on (modifier keys alone, unknown symbols
// without a character). text: the characters Xlib found for the key (UTF-8), used
// for keys without a fixed character.
bool AKMacKeyForX11Keysym(unsigned long keysym, const std::string& text, unsigned short* keyCode,
                          std::u16string* characters);
