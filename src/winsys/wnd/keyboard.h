#pragma once
// Keyboard translation and the mouse cursor of the layer. Main thread only.

#include "platform/coregraphics/coregraphics.h"
#include "winsys/shell/menus.h"
#include "winsys/swell-types.h"
#include "winsys/wnd/messages.h"
#include "winsys/wnd/vkeys.h"

class NSEvent;
class NSCursor;
class NSView;
typedef NSCursor* HCURSOR;

// The accelerator flags FVIRTKEY .. FLWIN are the menus' (winsys/shell/menus.h).

// The virtual key (with FVIRTKEY) or character of a key event, and its flags. A
// null event means the event being sent; mode 1 prefers the typed characters.
int SWELL_MacKeyToWindowsKeyEx(NSEvent* event, int* flags, int mode);
int SWELL_MacKeyToWindowsKey(NSEvent* event, int* flags);
// The US shifted digit of '0'..'9' with flags FVIRTKEY | FSHIFT; else 0.
int SWELL_KeyToASCII(int key, int flags, int* outFlags);
short GetAsyncKeyState(int vk);

// Built-in ids -1007 .. -999, IDC_HAND, or an id of the program's cursor resources.
const int IDC_HAND = 32649;
HCURSOR SWELL_LoadCursor(const char* id);
HCURSOR SWELL_LoadCursorFromFile(const char* path);
void SWELL_SetCursor(HCURSOR cursor);
HCURSOR SWELL_GetCursor();
HCURSOR SWELL_GetLastSetCursor();
int SWELL_ShowCursor(bool show);
bool SWELL_IsCursorVisible();
bool SWELL_SetCursorPos(int x, int y);
void GetCursorPos(POINT* pt);
// Where the event of the message being handled happened on the screen; the cursor's
// position between events and while the cursor is hidden (the program's own then).
DWORD GetMessagePos();
// A screen point (y up) rounded as GetCursorPos rounds it.
POINT SWELL_ScreenPoint(NSPoint p);
// The event's point in the view (the stored one while the cursor is hidden).
CGPoint swellProcessMouseEvent(int msg, NSView* view, NSEvent* event);

// The program's cursor resources (filled by its static initialisers).
struct SWELL_CursorResourceIndex
{
  const char* resid;
  const char* resname;
  POINT hotspot;
  HCURSOR cachedCursor;
  SWELL_CursorResourceIndex* _next;
};
extern SWELL_CursorResourceIndex* SWELL_curmodule_cursorresource_head;

// Where cursor names without a folder are looked for: the folder of the module
// that holds this layer. Tests point it elsewhere; null restores it.
void SWELL_SetCursorResourceFolder(const char* folder);
