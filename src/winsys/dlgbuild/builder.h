#pragma once
// The dialog builder: a dialog resource's create function fixes the parent and the
// mapping from dialog units to points (SWELL_MakeSetCurParms) and then makes its
// controls one by one or from a list of records. One dialog is built at a time, on
// the main thread.

#include "winsys/wnd/controls.h"
#include "winsys/wnd/hwnd_view.h"

#include <string>

// ---- styles of the builder's own ----
const int SWELL_NOT_WS_VISIBLE = (int)0x80000000;
const int BS_GROUPBOX_SWELL = 0x20000000, BS_DEFPUSHBUTTON_SWELL = 0x10000000, BS_PUSHBUTTON_SWELL = 0x08000000;
const int SS_CENTER = 1, SS_RIGHT = 2, SS_BLACKRECT = 4, SS_LEFTNOWORDWRAP = 12, SS_NOTIFY = 0x100;
const int CBS_DROPDOWNLIST = 3;
const int ES_CENTER = 1, ES_RIGHT = 2, ES_PASSWORD = 0x20, ES_READONLY = 0x800;
const int WS_TABSTOP = 0x00010000, WS_HSCROLL = 0x00100000, WS_VSCROLL = 0x00200000;

// 1 (the initial value): push buttons keep the height they are given.
extern int g_swell_want_nice_style;

// ---- parameters and mapping ----
void SWELL_MakeSetCurParms(float xscale, float yscale, float xtrans, float ytrans, HWND parent, bool doauto,
                           bool dosizetofit);
NSRect MakeCoords(int x, int y, int w, int h, bool wantauto, bool ignorevscaleheight = false);

// ---- factories ----
HWND SWELL_MakeButton(int def, const char* label, int id, int x, int y, int w, int h, int style);
HWND SWELL_MakeEditField(int id, int x, int y, int w, int h, int style);
HWND SWELL_MakeLabel(int align, const char* label, int id, int x, int y, int w, int h, int style);
HWND SWELL_MakeGroupBox(const char* name, int id, int x, int y, int w, int h, int style);
HWND SWELL_MakeCheckBox(const char* label, int id, int x, int y, int w, int h, int style);
HWND SWELL_MakeListBox(int id, int x, int y, int w, int h, int style);
HWND SWELL_MakeCombo(int id, int x, int y, int w, int h, int style);
HWND SWELL_MakeControl(const char* text, int id, const char* classname, int style, int x, int y, int w, int h,
                       int exstyle);

typedef HWND (*SWELL_ControlCreatorProc)(HWND parent, const char* text, int id, const char* classname, int style,
                                         int x, int y, int w, int h);
void SWELL_RegisterCustomControlCreator(SWELL_ControlCreatorProc creator);
void SWELL_UnregisterCustomControlCreator(SWELL_ControlCreatorProc creator);

// One record of a control list. The first field names a built-in kind
// ("__SWELL_BUTTON", "__SWELL_EDIT", ...) with (flag, text, id, x, y, w, h, style),
// or is the text of a generic control with (id, class name, style, x, y, w, h,
// extended style).
struct SWELL_DlgResourceControlRec
{
  const char* str1;
  int flag1;
  const char* str2;
  int flag2;
  int x, y, w, h;
  int flag3;
};
void SWELL_GenerateDialogFromList(const void* records, int count);

// The text as shown: each '&' dropped and the byte after it kept ("&&" shows one),
// for texts shorter than 1024 bytes with an '&' in them; others as they are.
std::string SWELL_StripMnemonics(const char* text);
