#include "winsys/shell/window_hooks.h"

namespace {
SWELL_WindowHooks gHooks;
}

void SWELL_SetWindowHooks(const SWELL_WindowHooks* hooks) { gHooks = hooks ? *hooks : SWELL_WindowHooks(); }

const SWELL_WindowHooks& SWELL_GetWindowHooks() { return gHooks; }

LRESULT SWELL_HookSendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  return hwnd && gHooks.sendMessage ? gHooks.sendMessage(hwnd, msg, wParam, lParam) : 0;
}

HMENU GetMenu(HWND hwnd) { return hwnd && gHooks.getMenu ? gHooks.getMenu(hwnd) : nullptr; }

HWND SWELL_HookGetFocus() { return gHooks.getFocus ? gHooks.getFocus() : nullptr; }
