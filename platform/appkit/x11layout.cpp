#include "platform/appkit/X11Layout.h"

#include "platform/appkit/Foundation.h"

#include <X11/XKBlib.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <clocale>
#include <cstring>

namespace {

// The XKB names of the places of the platform's key codes 0 to 50, in code order
// (the ANSI keyboard; code 10 is the ISO keyboard's extra key beside left shift).
const char kPlaces[51][5] = {
    "AC01", "AC02", "AC03", "AC04", "AC06", "AC05", "AB01", "AB02", "AB03", "AB04", "LSGT", "AB05", "AD01",
    "AD02", "AD03", "AD04", "AD06", "AD05", "AE01", "AE02", "AE03", "AE04", "AE06", "AE05", "AE12", "AE09",
    "AE07", "AE11", "AE08", "AE10", "AD12", "AD09", "AD07", "AD11", "AD08", "AD10", "RTRN", "AC09", "AC07",
    "AC11", "AC08", "AC10", "BKSL", "AB08", "AB10", "AB06", "AB07", "AB09", "TAB", "SPCE", "TLDE"};
const unsigned short kEscapeCode = 0x35;

const char* placeOf(unsigned short code)
{
  if (code < sizeof kPlaces / sizeof kPlaces[0]) return kPlaces[code];
  return code == kEscapeCode ? "ESC" : nullptr;
}

bool sameName(const char* a, const char* place)
{
  return strncmp(a, place, XkbKeyNameLength) == 0;
}

// The keyboard's map with its key names, read now; freed by the holder.
struct Map
{
  explicit Map(Display* d) : desc(XkbGetMap(d, XkbAllClientInfoMask, XkbUseCoreKbd))
  {
    if (desc && XkbGetNames(d, XkbKeyNamesMask | XkbKeyAliasesMask, desc) != Success)
    {
      XkbFreeKeyboard(desc, 0, True);
      desc = nullptr;
    }
    if (desc && (!desc->names || !desc->names->keys))
    {
      XkbFreeKeyboard(desc, 0, True);
      desc = nullptr;
    }
  }
  ~Map()
  {
    if (desc) XkbFreeKeyboard(desc, 0, True);
  }
  Map(const Map&) = delete;
  Map& operator=(const Map&) = delete;

  // The X key code named place (directly or by an alias); 0 for none.
  unsigned keyCodeOf(const char* place) const
  {
    const char* real = place;
    for (int i = 0; desc->names->key_aliases && i < desc->names->num_key_aliases; ++i)
      if (sameName(desc->names->key_aliases[i].alias, place)) real = desc->names->key_aliases[i].real;
    for (unsigned k = desc->min_key_code; k <= desc->max_key_code; ++k)
      if (sameName(desc->names->keys[k].name, real)) return k;
    return 0;
  }

  XkbDescPtr desc;
};

bool isDeadKeysym(unsigned long sym) { return sym >= 0xfe50 && sym <= 0xfe93; }

}  // namespace

std::u16string AKX11KeysymCharacters(unsigned long keysym)
{
  const char32_t c = xkb_keysym_to_utf32((xkb_keysym_t)keysym);
  if (c < 0x20 || c == 0x7F) return {};
  return AKUTF16(c);
}

AKX11Layout::AKX11Layout(Display* display) : mDisplay(display)
{
  int opcode, event, error, major = XkbMajorVersion, minor = XkbMinorVersion;
  mUsable = XkbQueryExtension(display, &opcode, &event, &error, &major, &minor);
}

AKX11Layout::~AKX11Layout()
{
  if (mCompose) xkb_compose_table_unref(mCompose);
  if (mContext) xkb_context_unref(mContext);
}

unsigned short AKX11Layout::keyCodeAt(unsigned xKeyCode)
{
  if (!mUsable) return 0xFFFF;
  const Map map(mDisplay);
  if (!map.desc || xKeyCode < map.desc->min_key_code || xKeyCode > map.desc->max_key_code) return 0xFFFF;
  for (unsigned short code = 0; code <= kEscapeCode; ++code)
    if (const char* place = placeOf(code))
      if (map.keyCodeOf(place) == xKeyCode) return code;
  return 0xFFFF;
}

bool AKX11Layout::character(unsigned short keyCode, bool shift, char32_t* c, bool* dead)
{
  const char* place = placeOf(keyCode);
  if (!mUsable || !place) return false;
  const Map map(mDisplay);
  const unsigned x = map.desc ? map.keyCodeOf(place) : 0;
  XkbStateRec state;
  if (!x || XkbGetState(mDisplay, XkbUseCoreKbd, &state) != Success) return false;
  unsigned modsLeft = 0;
  KeySym sym = NoSymbol;
  if (!XkbTranslateKeyCode(map.desc, (KeyCode)x, XkbBuildCoreState(shift ? ShiftMask : 0, state.group), &modsLeft,
                           &sym) ||
      sym == NoSymbol)
    return false;
  *dead = isDeadKeysym(sym);
  *c = *dead ? deadCharacter(sym) : (char32_t)xkb_keysym_to_utf32((xkb_keysym_t)sym);
  return *dead || *c;
}

// The dead key followed by a space, by the compose table of the process's locale
// (the desktop's default one when that has none), loaded at the first dead key.
char32_t AKX11Layout::deadCharacter(unsigned long keysym)
{
  if (!mComposeTried)
  {
    mComposeTried = true;
    mContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const char* locale = setlocale(LC_CTYPE, nullptr);
    if (mContext && locale)
      mCompose = xkb_compose_table_new_from_locale(mContext, locale, XKB_COMPOSE_COMPILE_NO_FLAGS);
    if (mContext && !mCompose)
      mCompose = xkb_compose_table_new_from_locale(mContext, "C", XKB_COMPOSE_COMPILE_NO_FLAGS);
  }
  if (!mCompose) return 0;
  xkb_compose_state* s = xkb_compose_state_new(mCompose, XKB_COMPOSE_STATE_NO_FLAGS);
  if (!s) return 0;
  char32_t c = 0;
  if (xkb_compose_state_feed(s, (xkb_keysym_t)keysym) == XKB_COMPOSE_FEED_ACCEPTED &&
      xkb_compose_state_feed(s, XKB_KEY_space) == XKB_COMPOSE_FEED_ACCEPTED &&
      xkb_compose_state_get_status(s) == XKB_COMPOSE_COMPOSED)
    c = xkb_keysym_to_utf32(xkb_compose_state_get_one_sym(s));  // 0 when it makes more than one
  xkb_compose_state_unref(s);
  return c;
}
