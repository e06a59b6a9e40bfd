#pragma once
// Window handles of the layer: creation of window views, SendMessage and the
// default procedures, the window tree, long values, properties, dialog items,
// geometry, visibility, invalidation, focus, capture, painting entry and modal
// runs. An HWND is an object of the application kit: a view (a child window or
// control) or a window (top-level); a window and its content view stand for the
// same window. Main thread only.

#include "winsys/gdi.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/msgloop/timers.h"
#include "winsys/wnd/messages.h"

class NSEvent;
struct SWELL_DialogResourceIndex;

// ---- creation and messages ----
// A window view under parent (a view gets it as a subview, a window as its content
// view), hidden until shown. Without a resource proc is the window procedure and
// gets WM_CREATE (0, param); with one proc is the dialog procedure and gets
// WM_INITDIALOG. Null when the view cannot be made.
HWND SWELL_CreateWindowView(const SWELL_DialogResourceIndex* resource, HWND parent, DLGPROC proc, LPARAM param);
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void SWELL_BroadcastMessage(UINT msg, WPARAM wParam, LPARAM lParam);

// ---- the tree ----
enum
{
  GW_HWNDFIRST = 0,
  GW_HWNDLAST = 1,
  GW_HWNDNEXT = 2,
  GW_HWNDPREV = 3,
  GW_OWNER = 4,
  GW_CHILD = 5
};
HWND GetParent(HWND h);
HWND GetWindow(HWND h, int cmd);
bool IsChild(HWND parent, HWND child);
HWND SetParent(HWND h, HWND newParent);
HWND FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* windowName);
BOOL EnumChildWindows(HWND h, BOOL (*proc)(HWND, LPARAM), LPARAM lp);
HWND GetDlgItem(HWND h, int id);
bool IsWindow(HWND h);
void DestroyWindow(HWND h);

// ---- long values and properties ----
enum
{
  GWL_USERDATA = -21,
  GWL_EXSTYLE = -20,
  GWL_STYLE = -16,
  GWL_ID = -12,
  DWL_DLGPROC = -8,
  GWL_WNDPROC = -4
};
const LONG WS_CHILD = 0x40000000, WS_CAPTION = 0xC00000, WS_THICKFRAME = 0x40000, WS_GROUP = 0x20000;
LONG_PTR SetWindowLong(HWND h, int index, LONG_PTR value);
LONG_PTR GetWindowLong(HWND h, int index);
void* GetProp(HWND h, const char* name);
BOOL SetProp(HWND h, const char* name, void* data);
void* RemoveProp(HWND h, const char* name);
int EnumPropsEx(HWND h, BOOL (*proc)(HWND, const char*, void*, LPARAM), LPARAM lp);

// ---- dialog items ----
BOOL GetDlgItemText(HWND h, int id, char* buf, int bufsize);
BOOL SetDlgItemText(HWND h, int id, const char* text);
BOOL SetDlgItemInt(HWND h, int id, int value, int isSigned);
int GetDlgItemInt(HWND h, int id, BOOL* translated, int isSigned);
// A button's check: BST_INDETERMINATE (bit 1) makes it mixed, else bit 0 checks it.
void CheckDlgButton(HWND h, int id, int check);
// BST_CHECKED, BST_INDETERMINATE, or BST_UNCHECKED (also for what is no button).
int IsDlgButtonChecked(HWND h, int id);
// Whether the window is a group box, a button, or a text field of the layer.
bool SWELL_IsGroupBox(HWND h);
bool SWELL_IsButton(HWND h);
bool SWELL_IsStaticText(HWND h);
// The same window, or a text field and the text view that edits it.
bool IsEquivalentTextView(HWND a, HWND b);
inline BOOL SetWindowText(HWND h, const char* text) { return SetDlgItemText(h, 0, text); }
inline BOOL GetWindowText(HWND h, char* buf, int size) { return GetDlgItemText(h, 0, buf, size); }

// ---- geometry and visibility ----
enum
{
  SWP_NOMOVE = 1,
  SWP_NOSIZE = 2,
  SWP_NOZORDER = 4
};
#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)
enum
{
  SW_HIDE = 0,
  SW_SHOWNA = 1,
  SW_SHOW = 2,
  SW_SHOWMINIMIZED = 3
};
bool GetWindowRect(HWND h, RECT* r);
void GetWindowContentViewRect(HWND h, RECT* r);
void GetClientRect(HWND h, RECT* r);
void ClientToScreen(HWND h, POINT* pt);
void ScreenToClient(HWND h, POINT* pt);
HWND SWELL_NavigateUpScrollClipViews(HWND h);
void SetWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, int flags);
void ShowWindow(HWND h, int cmd);
bool IsWindowVisible(HWND h);
void EnableWindow(HWND h, int enable);
void CenterWindow(HWND h);
void InvalidateRect(HWND h, const RECT* r, int erase);
void UpdateWindow(HWND h);
BOOL ScrollWindow(HWND h, int dx, int dy, const RECT* rect, const RECT* clip);
enum
{
  SM_CXSCREEN = 0,
  SM_CYSCREEN = 1,
  SM_CXVSCROLL = 2,
  SM_CYHSCROLL = 3,
  SM_CYVSCROLL = 20,
  SM_CXHSCROLL = 21
};
int GetSystemMetrics(int index);
// The raise amount of a modeless window (or a view's); changing it moves the
// window's level by the difference.
int SWELL_GetWindowWantRaiseAmt(HWND h);
void SWELL_SetWindowWantRaiseAmt(HWND h, int amount);
// The file a window shows and whether it is edited, unless its content view has
// the property "SWELL_DisableWindowRepre".
void SWELL_SetWindowRepre(HWND h, const char* filename, bool edited);
// The id of the default button of the view's window; 0 without one (or, when
// asked, when it is disabled).
int SWELL_GetDefaultButtonID(HWND h, bool onlyEnabled);
// {0, 0, width, height} the control's text would have it, leaving it as it is.
void SWELL_GetDesiredControlSize(HWND h, RECT* r);
// ah <= 0: the presentation the application started with; 1 auto-hides the dock
// and menu bar, 2 hides the dock and auto-hides the menu bar. False when the
// system has no such options.
bool SWELL_SetAppAutoHideMenuAndDock(int ah);
void SWELL_HideApp();
HWND WindowFromPoint(POINT pt);
void SetOpaque(HWND h, bool opaque);
// The screen (or its work area) holding the centre of source, or the first screen.
void SWELL_GetViewPort(RECT* out, const RECT* source, bool wantWorkArea);
// The window's (or a view's window's) level before the call; 0 for other objects.
int SWELL_SetWindowLevel(HWND h, int level);
void SetTransparent(HWND h);
void SWELL_SetWindowShadow(HWND h, bool shadow);
void SWELL_FlushWindow(HWND h);

// ---- focus, capture, painting ----
HWND GetFocus();
void SetFocus(HWND h);
inline void SetForegroundWindow(HWND h) { SetFocus(h); }
HWND GetForegroundWindow();
HWND GetCapture();
HWND SetCapture(HWND h);
void ReleaseCapture();
// Lets a view claim a non-client part of itself (WM_NCHITTEST above 1) before the
// kit routes the mouse event; true when it did.
bool SWELL_HandleMouseEvent(NSEvent* event);
HDC BeginPaint(HWND h, PAINTSTRUCT* ps);
BOOL EndPaint(HWND h, PAINTSTRUCT* ps);
void* SWELL_ModalWindowStart(HWND h);
bool SWELL_ModalWindowRun(void* handle, int* result);
// Stops and ends the run. A run that keeps answering after the stop is stepped at
// most SWELL_MODAL_END_STEPS times (10 ms apart) before the session is ended anyway.
void SWELL_ModalWindowEnd(void* handle);
const int SWELL_MODAL_END_STEPS = 100;
void SWELL_CloseWindow(HWND h);
bool SWELL_GetGestureInfo(LPARAM lParam, GESTUREINFO* info);

// ---- input ----
// The one road of every mouse message of a window view: -1 when not delivered, 0
// for a null view.
LRESULT SWELL_SendMouseMessage(HWND view, UINT msg, NSEvent* event);

// ---- focus rectangle ----
void SWELL_DrawFocusRect(HWND hwndPar, RECT* rect, void** handle);

// ---- process-wide switches: g_swell_terminating (runloop_misc.h) and
// g_swell_only_timerhwnd (timers.h) ----
