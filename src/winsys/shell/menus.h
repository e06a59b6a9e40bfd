#pragma once
// Win32 menus on the kit's NSMenu: a menu handle is an NSMenu, items are
// NSMenuItems whose tag is the command id, and commands reach a window as
// WM_COMMAND through the window hooks. Main thread only.
//
// Reference counting: creation gives an owned reference, DestroyMenu gives it up,
// and attaching a submenu (SetMenuItemInfo, InsertMenuItem, SWELL_InsertMenu with
// MF_POPUP) takes over the caller's reference to the submenu.

#include "platform/appkit/NSMenu.h"
#include "winsys/msgloop/sdh.h"
#include "winsys/shell/window_hooks.h"

#include <cstdint>

class NSMenu;

// The layer's menus; no fields of their own.
class Swell_vDavrel_64_menu : public NSMenu
{
public:
  explicit Swell_vDavrel_64_menu(const std::string& title = "") : NSMenu(title) { setAutoenablesItems(false); }
};

// The destination of a menu's items while TrackPopupMenu shows it.
class Swell_vDavrel_64_trackpopupmenurecv : public NSResponder, public NSMenuDelegate
{
public:
  explicit Swell_vDavrel_64_trackpopupmenurecv(HWND wnd) : cbwnd(wnd) {}  // initWithWnd:
  bool respondsToSelector(SEL action) const override;
  bool performAction(SEL action, NSObject* sender) override;  // onSwellCommand:
  int isCommand() const { return m_act; }
  // Before a submenu opens: WM_INITMENUPOPUP to the window, then the submenu's
  // items (the handler may have added some) are routed here too.
  void menuNeedsUpdate(NSMenu* menu) override;

  HWND cbwnd;
  int m_act = 0;
};

// The selector every item with a command sends to its menu's destination.
extern const SEL kSwellCommand;  // "onSwellCommand:"

const UINT MIIM_ID = 0x1, MIIM_STATE = 0x2, MIIM_TYPE = 0x4, MIIM_SUBMENU = 0x8, MIIM_DATA = 0x10;
const UINT MFT_STRING = 0, MFT_BITMAP = 0x4, MFT_SEPARATOR = 0x800;
const UINT MFS_GRAYED = 0x3, MFS_CHECKED = 0x8;
const UINT MF_BYCOMMAND = 0, MF_BYPOSITION = 0x400, MF_GRAYED = 0x1, MF_DISABLED = 0x2, MF_ENABLED = 0,
           MF_CHECKED = 0x8, MF_UNCHECKED = 0, MF_POPUP = 0x10, MF_BITMAP = 0x4, MF_STRING = 0, MF_SEPARATOR = 0x800;
const UINT TPM_NONOTIFY = 0x80, TPM_RETURNCMD = 0x100;
// Accelerator flags (SetMenuItemModifier, and the keys of window messages).
enum
{
  FVIRTKEY = 1,
  FSHIFT = 4,
  FCONTROL = 8,
  FALT = 0x10,
  FLWIN = 0x20  // the control key, a flag of this layer's own
};

struct MENUITEMINFO
{
  UINT cbSize;
  UINT fMask;
  UINT fType;
  UINT fState;
  UINT wID;
  HMENU hSubMenu;
  void* hbmpChecked;
  void* hbmpUnchecked;
  uintptr_t dwItemData;
  char* dwTypeData;  // for a bitmap item: the icon handle
  UINT cch;
};

// One record of a static menu list: a null text is a separator, "EN%%%^:" ends the
// current submenu, "/.BO^O:" followed by a title opens a submenu; other texts are
// commands (id & 0xFFFF, greyed when id >= 0x10000).
struct SWELL_MenuGen_Entry
{
  const char* name;
  int32_t id;
};

struct SWELL_MenuResourceIndex
{
  const void* resid;  // compared by value
  void (*createFunc)(HMENU menu);
  SWELL_MenuResourceIndex* _next;
};
extern SWELL_MenuResourceIndex* SWELL_curmodule_menuresource_head;

// Menu handles come from the window handles' table: a handle names its menu while
// the menu lives and nothing after (a destroyed menu's handle answers as a bad
// one), and is never handed out again. Null for null, unknown and stale handles.
NSMenu* SWELL_MenuOf(HMENU m);
HMENU SWELL_HMENUOf(NSMenu* m);

HMENU CreatePopupMenu();
HMENU CreatePopupMenuEx(const char* title);
void DestroyMenu(HMENU m);
HMENU SWELL_DuplicateMenu(HMENU m);
int GetMenuItemCount(HMENU m);
HMENU GetSubMenu(HMENU m, int pos);
int GetMenuItemID(HMENU m, int pos);
bool SetMenuItemText(HMENU m, int item, int flag, const char* text);
bool EnableMenuItem(HMENU m, int item, int flag);
bool CheckMenuItem(HMENU m, int item, int flag);
bool SetMenuItemModifier(HMENU m, int item, int flag, int code, unsigned int flags);
bool DeleteMenu(HMENU m, int item, int flag);
int AddMenuItem(HMENU m, int pos, const char* name, int tag);
void SWELL_Menu_AddMenuItem(HMENU m, const char* name, int id, unsigned int flags);
void SWELL_InsertMenu(HMENU m, int pos, unsigned int flag, UINT_PTR idOrSub, const char* str);
void InsertMenuItem(HMENU m, int pos, BOOL byPos, const MENUITEMINFO* mii);
bool SetMenuItemInfo(HMENU m, int item, BOOL byPos, const MENUITEMINFO* mii);
bool GetMenuItemInfo(HMENU m, int item, BOOL byPos, MENUITEMINFO* mii);
// dest receives onSwellCommand: from every item with a command, in submenus too;
// a dest that does not take it is refused. Null clears.
void SWELL_SetMenuDestination(HMENU m, NSObject* dest);
// Shows the menu at (x, y) on the screen (y up) over hwnd, or over the main
// window's content. TPM_RETURNCMD: the chosen command, 0 when none; otherwise
// WM_COMMAND goes to hwnd and the answer is 1 (0 when nothing was chosen).
int TrackPopupMenu(HMENU m, int flags, int x, int y, int reserved, HWND hwnd, const RECT* r);
int SWELL_GenerateMenuFromList(HMENU m, const void* list, int count);
HMENU SWELL_LoadMenu(SWELL_MenuResourceIndex* head, const void* resid);
bool SetMenu(HWND hwnd, HMENU m);
void DrawMenuBar(HWND hwnd);
HMENU SWELL_GetCurrentMenu();
void SWELL_SetCurrentMenu(HMENU m);

// The item text as shown: up to a tab, '&' dropped before the byte it marks
// ("&&" gives '&'), at most 1023 bytes.
std::string SWELL_CleanMenuText(const char* text);
