#pragma once
// The standard controls of generated dialogs: buttons, check boxes and radio
// buttons, drop-down lists, editable combo boxes, labels and edit fields, group
// boxes and track bars, as the kit's controls of the layer's own classes, and the
// SWELL_CB_* and SWELL_TB_* operations the combo-box and track-bar calls reach
// them through. Each operation finds its control with GetDlgItem(parent, id); id 0
// names the parent handle itself. Main thread only.
//
// A control made with new is placed with addSubview in a window view; its action
// (SWELL_CONTROL_ACTION) reaches the view's onSwellCommand, which sends WM_COMMAND.

#include "platform/appkit/NSButton.h"
#include "winsys/gdi.h"
#include "winsys/msgloop/sdh.h"
#include "winsys/msgloop/target.h"
#include "winsys/wnd/messages.h"

#include <vector>

// The action every control of the layer sends to its window view.
#define SWELL_CONTROL_ACTION SEL("onSwellCommand:")
// The double action of the tables made in a window view.
#define SWELL_DOUBLE_ACTION SEL("swellOnControlDoubleClick:")

enum : UINT
{
  BM_GETCHECK = 0x00F0,
  BM_SETCHECK = 0x00F1,
  BM_GETIMAGE = 0x00F6,
  BM_SETIMAGE = 0x00F7,
  CB_ADDSTRING = 0x0143,
  CB_DELETESTRING = 0x0144,
  CB_DIR = 0x0145,
  CB_GETCOUNT = 0x0146,
  CB_GETCURSEL = 0x0147,
  CB_GETLBTEXT = 0x0148,
  CB_GETLBTEXTLEN = 0x0149,
  CB_INSERTSTRING = 0x014A,
  CB_RESETCONTENT = 0x014B,
  CB_FINDSTRING = 0x014C,
  CB_SELECTSTRING = 0x014D,
  CB_SETCURSEL = 0x014E,
  CB_SHOWDROPDOWN = 0x014F,
  CB_GETITEMDATA = 0x0150,
  CB_SETITEMDATA = 0x0151,
  CB_FINDSTRINGEXACT = 0x0158,
  CB_LAST = 0x0161,
  TBM_GETPOS = 0x0400,
  TBM_GETRANGEMIN = 0x0401,
  TBM_GETRANGEMAX = 0x0402,
  TBM_GETTIC = 0x0403,
  TBM_SETTIC = 0x0404,
  TBM_SETPOS = 0x0405,
  TBM_SETRANGE = 0x0406
};
// What the buffer of CB_GETLBTEXT is taken to hold, terminating zero included.
const int CB_GETLBTEXT_BUFSIZE = 1024;

// Button kinds in the low four bits of a button's style, and its text placement.
const int BS_AUTOCHECKBOX = 3, BS_AUTO3STATE = 6, BS_AUTORADIOBUTTON = 9, BS_OWNERDRAW = 11, BS_LEFTTEXT = 0x20;

enum
{
  BST_UNCHECKED = 0,
  BST_CHECKED = 1,
  BST_INDETERMINATE = 2,
  IMAGE_BITMAP = 0,
  IMAGE_ICON = 1,
  BN_CLICKED = 0,
  BN_DOUBLECLICKED = 1,
  CBS_SORT = 0x100,
  CB_ERR = -1
};

// Every control of the layer that is marked for drawing tells the window views
// above it that a child needs drawing (bit 2 of their dirty bits), up to the
// first that knows already.
void SWELL_MarkChildNeedsDisplay(NSView* control);
template <class Base>
class SWELL_Redrawn : public Base
{
public:
  using Base::Base;
  void didSetNeedsDisplay() override { SWELL_MarkChildNeedsDisplay(this); }
};

// Radio flags: bit 0 an auto radio button, bit 1 the first button of its group.
enum
{
  SWELL_RADIO_AUTO = 1,
  SWELL_RADIO_GROUPSTART = 2
};

class Swell_vDavrel_64_button : public SWELL_Redrawn<NSButton>
{
public:
  explicit Swell_vDavrel_64_button(NSRect frame);
  LONG_PTR getSwellUserData() const { return m_userdata; }
  void setSwellUserData(LONG_PTR v) { m_userdata = v; }
  // The GDI object of the shown image, not owned.
  HGDIOBJ getSwellGDIImage() const { return m_swellGDIimage; }
  void setSwellGDIImage(HGDIOBJ obj) { m_swellGDIimage = obj; }
  int swellGetRadioFlags() const { return m_radioflags; }
  void swellSetRadioFlags(int f) { m_radioflags = f; }
  LONG_PTR* swellUserDataSlot() { return &m_userdata; }

private:
  LONG_PTR m_userdata = 0;
  HGDIOBJ m_swellGDIimage = nullptr;
  int m_radioflags = 0;
};

class Swell_vDavrel_64_cbox : public SWELL_Redrawn<NSComboBox>
{
public:
  explicit Swell_vDavrel_64_cbox(NSRect frame);
  LONG getSwellStyle() const { return m_style; }
  void setSwellStyle(LONG s) { m_style = s; }
  LONG* swellStyleSlot() { return &m_style; }
  // One value an item, in item order.
  std::vector<LONG_PTR> m_ids;

private:
  LONG m_style = 0;
};

class Swell_vDavrel_64_pub : public SWELL_Redrawn<NSPopUpButton>
{
public:
  explicit Swell_vDavrel_64_pub(NSRect frame);
  LONG getSwellStyle() const { return m_style; }
  void setSwellStyle(LONG s) { m_style = s; }
  LONG* swellStyleSlot() { return &m_style; }

private:
  LONG m_style = 0;
};

// Single-line edit fields and labels.
class Swell_vDavrel_64_textfield : public SWELL_Redrawn<NSTextField>
{
public:
  explicit Swell_vDavrel_64_textfield(NSRect frame);
};

// Single-line fields that show bullets for what is typed (ES_PASSWORD).
class Swell_vDavrel_64_securefield : public SWELL_Redrawn<NSSecureTextField>
{
public:
  explicit Swell_vDavrel_64_securefield(NSRect frame);
};

// The cell of owner-drawn buttons (BS_OWNERDRAW): the button's parent draws it on
// WM_DRAWITEM; without a button to draw for it draws as a plain button.
class Swell_vDavrel_64_ODbuttoncell : public NSButtonCell
{
public:
  void drawWithFrame(NSRect frame, NSView* controlView) override;
  bool isTransparent() const override { return true; }
  bool isOpaque() const override { return false; }
};

// Multi-line edit fields; they take their messages themselves (WM_SETFONT and the
// selection and scrolling edit messages), always answering 0.
class Swell_vDavrel_64_textview : public SWELL_Redrawn<NSTextView>, public SWELL_WindowTarget
{
public:
  explicit Swell_vDavrel_64_textview(NSRect frame);
  LRESULT onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool swellCanPostMessage() override { return true; }
  void SWELL_Timer(UINT_PTR) override {}
};

// Group boxes.
class Swell_vDavrel_64_box : public SWELL_Redrawn<NSBox>
{
public:
  explicit Swell_vDavrel_64_box(NSRect frame) : SWELL_Redrawn<NSBox>(frame) {}
};

// A radio button of the view was clicked: the other auto radio buttons of its
// group among its siblings are cleared. The group runs back to the nearest button
// that starts one and on up to the next, and ends at any sibling that is no button.
void SWELL_ClearRadioGroup(NSView* clicked);

// The control messages SendMessage carries out on the kit's own controls (check
// state, button image, combo box, slider, text field selection). False when the
// message is not one of them for this control, so it goes on to its window.
bool SWELL_ControlMessage(NSObject* control, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

// ---- combo boxes and drop-down lists ----
int SWELL_CB_AddString(HWND hwnd, int idx, const char* text);
// pos -1000 appends (sorted into place with CBS_SORT); other positions are clamped
// to 0..count. The position used; 0 when the control is missing.
int SWELL_CB_InsertString(HWND hwnd, int idx, int pos, const char* text);
void SWELL_CB_DeleteString(HWND hwnd, int idx, int item);
int SWELL_CB_GetNumItems(HWND hwnd, int idx);
int SWELL_CB_GetCurSel(HWND hwnd, int idx);
void SWELL_CB_SetCurSel(HWND hwnd, int idx, int item);
// The item's text in UTF-8 cut to bufsz - 1 bytes (never inside a character);
// 1, or 0 with an empty buf when the control, the item or its text is missing.
int SWELL_CB_GetItemText(HWND hwnd, int idx, int item, char* buf, int bufsz);
// Bytes of the item's text in UTF-8 without the terminating zero; -1 when the
// control or the item is missing.
int SWELL_CB_GetItemTextLength(HWND hwnd, int idx, int item);
void SWELL_CB_Empty(HWND hwnd, int idx);
LONG_PTR SWELL_CB_GetItemData(HWND hwnd, int idx, int item);
void SWELL_CB_SetItemData(HWND hwnd, int idx, int item, LPARAM value);
// From after startAfter to the last item, ignoring ASCII case: the whole text
// (exact) or its start; -1 when none.
int SWELL_CB_FindString(HWND hwnd, int idx, int startAfter, const char* text, bool exact);

// ---- track bars ----
int SWELL_TB_GetPos(HWND hwnd, int idx);
void SWELL_TB_SetPos(HWND hwnd, int idx, int pos);
// A custom control gets TBM_SETRANGE with low in bits 0-15 and high from bit 16 up.
void SWELL_TB_SetRange(HWND hwnd, int idx, int low, int high);
void SWELL_TB_SetTic(HWND hwnd, int idx, int pos);
