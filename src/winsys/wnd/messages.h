#pragma once
// Window messages and the records they carry, with their Win32 numbers.

#include "winsys/swell-types.h"
#include "winsys/wnd/vkeys.h"  // the key codes key messages and menu key equivalents name

enum : UINT
{
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_CLOSE = 0x0010,
  WM_PAINT = 0x000F,
  WM_ERASEBKGND = 0x0014,
  WM_SHOWWINDOW = 0x0018,
  WM_SETCURSOR = 0x0020,
  WM_MOUSEACTIVATE = 0x0021,
  WM_GETMINMAXINFO = 0x0024,
  WM_DRAWITEM = 0x002B,
  WM_SETFONT = 0x0030,
  WM_GETOBJECT = 0x003D,
  WM_NOTIFY = 0x004E,
  WM_CONTEXTMENU = 0x007B,
  WM_DISPLAYCHANGE = 0x007E,
  WM_NCCALCSIZE = 0x0083,
  WM_NCHITTEST = 0x0084,
  WM_NCPAINT = 0x0085,
  WM_NCMOUSEMOVE = 0x00A0,
  WM_NCLBUTTONDOWN = 0x00A1,
  WM_NCLBUTTONUP = 0x00A2,
  WM_NCLBUTTONDBLCLK = 0x00A3,
  WM_NCRBUTTONDOWN = 0x00A4,
  WM_NCRBUTTONUP = 0x00A5,
  WM_NCRBUTTONDBLCLK = 0x00A6,
  WM_NCMBUTTONDOWN = 0x00A7,
  WM_NCMBUTTONUP = 0x00A8,
  WM_NCMBUTTONDBLCLK = 0x00A9,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_HSCROLL = 0x0114,
  WM_VSCROLL = 0x0115,
  WM_INITMENUPOPUP = 0x0117,
  WM_GESTURE = 0x0119,
  WM_CTLCOLORBTN = 0x0135,
  WM_CTLCOLORDLG = 0x0136,
  WM_CTLCOLORSTATIC = 0x0138,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MBUTTONDBLCLK = 0x0209,
  WM_MOUSEWHEEL = 0x020A,
  WM_MOUSEHWHEEL = 0x020E,
  WM_CAPTURECHANGED = 0x0215,
  WM_DROPFILES = 0x0233,
  // Edit-control messages of this layer: the Win32 number plus 0xF000.
  EM_GETSEL = 0xF0B0,
  EM_SETSEL = 0xF0B1,
  EM_SCROLL = 0xF0B5,
  EM_SETPASSWORDCHAR = 0xF0CC
};

// What a control's owner is told in the high word of WM_COMMAND, and the codes of
// WM_NOTIFY, that the user's actions cause.
enum : UINT
{
  CBN_SELCHANGE = 1,
  CBN_EDITCHANGE = 5,
  CBN_DROPDOWN = 7,
  LBN_SELCHANGE = 1,
  LBN_DBLCLK = 2,
  EN_CHANGE = 0x0300,
  NM_DBLCLK = (UINT)-3,
  LVN_COLUMNCLICK = (UINT)-108,
  ODT_LISTBOX = 2,
  ODT_BUTTON = 4
};


// WM_ACTIVATE's WPARAM.
enum : WPARAM
{
  WA_INACTIVE = 0,
  WA_ACTIVE = 1
};

// Command ids of the standard buttons.
enum
{
  IDOK = 1,
  IDCANCEL = 2
};

// WM_GETMINMAXINFO's record.
struct MINMAXINFO
{
  POINT ptReserved, ptMaxSize, ptMaxPosition, ptMinTrackSize, ptMaxTrackSize;
};

// Hit-test answers.
enum : LRESULT
{
  HTNOWHERE = 0,
  HTCLIENT = 1
};

// WM_KEYDOWN / WM_KEYUP answered with this hand the key back to the kit's responders.
const LRESULT SWELL_KEY_PASS_ON = 69;
// WM_INITDIALOG answered with this makes the dialog view itself the first responder.
const LRESULT SWELL_INITDIALOG_FOCUS_SELF = 0xBEEF;

struct NCCALCSIZE_PARAMS
{
  RECT rgrc[3];
  void* lppos;
};

struct PAINTSTRUCT
{
  struct HDC__* hdc;
  BOOL fErase;
  RECT rcPaint;
};

struct NMHDR
{
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};

struct NMLISTVIEW
{
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState, uOldState, uChanged;
  POINT ptAction;
  LPARAM lParam;
};

struct DRAWITEMSTRUCT
{
  UINT CtlType, CtlID, itemID, itemAction, itemState;
  HWND hwndItem;
  struct HDC__* hDC;
  RECT rcItem;
  UINT_PTR itemData;
};

enum : DWORD
{
  GF_BEGIN = 1,
  GF_END = 4,
  GID_ZOOM = 3,
  GID_PAN = 4,
  GID_ROTATE = 5
};

struct POINTS
{
  int16_t x, y;
};

// 56 bytes, as the 64-bit Win32 record.
struct GESTUREINFO
{
  UINT cbSize;
  DWORD dwFlags;
  DWORD dwID;
  HWND hwndTarget;
  POINTS ptsLocation;
  DWORD dwInstanceID;
  DWORD dwSequenceID;
  uint64_t ullArguments;
  UINT cbExtraArgs;
};

// Packs a point as (y << 16) | (x & 0xFFFF) with the bits Win32 gives, negative
// coordinates included: the arithmetic is unsigned, so nothing negative is shifted.
inline LPARAM SWELL_PackPoint(int x, int y)
{
  const uint32_t v = ((uint32_t)y << 16) | ((uint32_t)x & 0xFFFFu);
  return (LPARAM)(int32_t)v;
}
// The high word of a WPARAM from a signed value, same bits as v << 16.
inline WPARAM SWELL_HighWordParam(int v) { return (WPARAM)(LPARAM)(int32_t)((uint32_t)v << 16); }

// EM_SCROLL's WPARAM: to the first or the last line.
enum : WPARAM
{
  SB_TOP = 6,
  SB_BOTTOM = 7
};
