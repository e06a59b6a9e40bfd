#pragma once
// The window handles and message types the menu, clipboard, shell and dialog
// functions share with the layer's windows, and the hooks through which they reach
// the windows. The window layer sets the hooks when it starts; until then a window
// has no menu and receives no message, and a dialog template builds nothing.
//
// A window handle (HWND) is an object of the kit: a view (a child window or a
// control) or a window (a top-level window, standing for its content view).

#include "winsys/msgloop/hwnd_table.h"
#include "winsys/swell-types.h"
#include "winsys/wnd/messages.h"

// The handle and message types come from swell-types.h and the message numbers
// from messages.h, so that the window layer can include this header beside its own.
struct HMENU__;
typedef HMENU__* HMENU;

struct SWELL_DialogResourceIndex;
class NSObject;

struct SWELL_WindowHooks
{
  // Delivers a message to a window's procedure and answers its result.
  LRESULT (*sendMessage)(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = nullptr;
  // The window's menu (a window stands for its content view); null without one.
  HMENU (*getMenu)(HWND hwnd) = nullptr;
  // Stores the window's menu; false when the handle is no window that keeps one.
  bool (*setMenu)(HWND hwnd, HMENU menu) = nullptr;
  // The window with the keyboard focus, or null.
  HWND (*getFocus)() = nullptr;
  // Builds the dialog resource id from the list as a child of parent with the
  // procedure; null when it cannot.
  HWND (*createDialog)(SWELL_DialogResourceIndex* head, const char* resid, HWND parent, DLGPROC proc,
                       LPARAM param) = nullptr;
  // The menu that modal windows show while they run, or null.
  HMENU (*defaultModalWindowMenu)() = nullptr;
};

// Main thread, once the window layer is up. The hooks are copied; null clears them.
void SWELL_SetWindowHooks(const SWELL_WindowHooks* hooks);
const SWELL_WindowHooks& SWELL_GetWindowHooks();

// Kit object <-> handle (see winsys/msgloop/hwnd_table.h).
inline NSObject* SWELL_ObjectOfHWND(HWND h) { return SWELL_ObjectOfHandle(h); }
inline HWND SWELL_HWNDOfObject(NSObject* o) { return SWELL_HandleOfObject(o); }

// Through the hooks: 0 / null / false while they are not set.
LRESULT SWELL_HookSendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
HMENU GetMenu(HWND hwnd);
HWND SWELL_HookGetFocus();
