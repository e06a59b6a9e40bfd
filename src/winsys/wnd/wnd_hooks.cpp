// The window layer's side of the hooks the menu, dialog and shell functions reach
// windows through: installed once, when the first window view is made.

#include "platform/appkit/NSMenu.h"
#include "winsys/shell/menus.h"
#include "winsys/shell/window_hooks.h"
#include "winsys/wnd/dialog.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/toplevel.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/wnd_views.h"

namespace {

// A top-level window stands for its content view; only window views keep a menu.
Swell_vDavrel_64_hwnd* menuHolder(HWND h) { return dynamic_cast<Swell_vDavrel_64_hwnd*>(viewOrContent(h)); }

HMENU hookGetMenu(HWND h)
{
  Swell_vDavrel_64_hwnd* v = menuHolder(h);
  return v ? SWELL_HMENUOf(v->swellGetMenu()) : nullptr;
}

bool hookSetMenu(HWND h, HMENU menu)
{
  Swell_vDavrel_64_hwnd* v = menuHolder(h);
  NSMenu* m = SWELL_MenuOf(menu);
  if (!v || (menu && !m)) return false;
  // The view releases the menu it held and keeps a reference to the new one.
  v->swellSetMenu(AKRetain(m));
  return true;
}

}  // namespace

void SWELL_InstallWindowHooks()
{
  static bool installed = false;
  if (installed) return;
  installed = true;
  SWELL_WindowHooks hooks;
  hooks.sendMessage = SendMessage;
  hooks.getMenu = hookGetMenu;
  hooks.setMenu = hookSetMenu;
  hooks.getFocus = GetFocus;
  hooks.createDialog = SWELL_CreateDialog;
  hooks.defaultModalWindowMenu = SWELL_GetDefaultModalWindowMenu;
  SWELL_SetWindowHooks(&hooks);
}
