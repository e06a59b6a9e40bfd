// Every function of the window layer's interface for views, controls, menus and
// the window tree, taken by address: a function that is declared but missing, or
// missing altogether, fails the build here rather than in a program that calls it.

#include "winsys/dlgbuild/builder.h"
#include "winsys/gdi_draw.h"
#include "winsys/hosted/hosted.h"
#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/msgloop/timers.h"
#include "winsys/shell/menus.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/ctl_treeview.h"
#include "winsys/wnd/dialog.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/keyboard.h"
#include "winsys/wnd/toplevel.h"
#include "winsys/wnd/wnd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

struct Entry
{
  const char* name;
  const void* address;
};
#define FN(f) Entry{#f, reinterpret_cast<const void*>(&f)}

const Entry kInterface[] = {
    // window views and their dispatch
    FN(SwellDialogDefaultWindowProc), FN(SWELL_DoDialogColorUpdates), FN(updateWindowCollection), FN(SendMessage),
    FN(DefWindowProc), FN(KillTimer),
    // list views and headers
    FN(ListView_DeleteAllItems), FN(ListView_DeleteColumn), FN(ListView_DeleteItem), FN(ListView_EnsureVisible),
    FN(ListView_GetColumnOrderArray), FN(ListView_GetColumnWidth), FN(ListView_GetCountPerPage),
    FN(ListView_GetHeader), FN(ListView_GetItem), FN(ListView_GetItemCount), FN(ListView_GetItemRect),
    FN(ListView_GetItemState), FN(ListView_GetItemText), FN(ListView_GetNextItem), FN(ListView_GetScroll),
    FN(ListView_GetSelectedCount), FN(ListView_GetSelectionMark), FN(ListView_GetSubItemRect),
    FN(ListView_GetTopIndex), FN(ListView_HitTest), FN(ListView_InsertColumn), FN(ListView_InsertItem),
    FN(ListView_RedrawItems), FN(ListView_Scroll), FN(ListView_SetBkColor), FN(ListView_SetColumn),
    FN(ListView_SetColumnOrderArray), FN(ListView_SetColumnWidth), FN(ListView_SetExtendedListViewStyleEx),
    FN(ListView_SetGridColor), FN(ListView_SetImageList), FN(ListView_SetItem), FN(ListView_SetItemCount),
    FN(ListView_SetItemState), FN(ListView_SetItemText), FN(ListView_SetSelColors), FN(ListView_SetTextBkColor),
    FN(ListView_SetTextColor), FN(ListView_SortItems), FN(ListView_SubItemHitTest), FN(ListViewGetRectImpl),
    FN(Header_GetItem), FN(Header_GetItemCount), FN(Header_SetItem),
    FN(SWELL_GetListViewHeaderHeight), FN(SWELL_SetListViewFastClickMask),
    // menus
    FN(AddMenuItem), FN(CheckMenuItem), FN(CreatePopupMenu), FN(CreatePopupMenuEx), FN(DeleteMenu), FN(DestroyMenu),
    FN(DrawMenuBar), FN(EnableMenuItem), FN(GetMenu), FN(GetMenuItemCount), FN(GetMenuItemID), FN(GetMenuItemInfo),
    FN(GetSubMenu), FN(InsertMenuItem), FN(SetMenu), FN(SetMenuItemInfo), FN(SetMenuItemModifier),
    FN(SetMenuItemText), FN(SWELL_DuplicateMenu), FN(SWELL_GenerateMenuFromList), FN(SWELL_GetCurrentMenu),
    FN(SWELL_InsertMenu), FN(SWELL_LoadMenu), FN(SWELL_Menu_AddMenuItem), FN(SWELL_SetCurrentMenu),
    FN(SWELL_SetMenuDestination), FN(TrackPopupMenu),
    // buttons, combo boxes and track bars
    FN(SWELL_CB_AddString), FN(SWELL_CB_DeleteString), FN(SWELL_CB_Empty), FN(SWELL_CB_FindString),
    FN(SWELL_CB_GetCurSel), FN(SWELL_CB_GetItemData), FN(SWELL_CB_GetItemText), FN(SWELL_CB_GetNumItems),
    FN(SWELL_CB_InsertString), FN(SWELL_CB_SetCurSel), FN(SWELL_CB_SetItemData), FN(SWELL_TB_GetPos),
    FN(SWELL_TB_SetPos), FN(SWELL_TB_SetRange), FN(SWELL_TB_SetTic),
    // tree views
    FN(TreeView_DeleteItem), FN(TreeView_Expand), FN(TreeView_GetChild), FN(TreeView_GetItem),
    FN(TreeView_GetNextSibling), FN(TreeView_GetRoot), FN(TreeView_GetSelection), FN(TreeView_HitTest),
    FN(TreeView_InsertItem), FN(TreeView_SelectItem), FN(TreeView_SetBkColor), FN(TreeView_SetIndent),
    FN(TreeView_SetItem), FN(TreeView_SetTextColor),
    // the dialog builder
    FN(MakeCoords), FN(SWELL_GenerateDialogFromList), FN(SWELL_MakeButton), FN(SWELL_MakeCheckBox),
    FN(SWELL_MakeCombo), FN(SWELL_MakeControl), FN(SWELL_MakeEditField), FN(SWELL_MakeGroupBox),
    FN(SWELL_MakeLabel), FN(SWELL_MakeListBox), FN(SWELL_MakeSetCurParms), FN(SWELL_RegisterCustomControlCreator),
    FN(SWELL_UnregisterCustomControlCreator),
    // the window tree, styles and properties
    FN(CheckDlgButton), FN(DestroyWindow), FN(EnumChildWindows), FN(EnumPropsEx), FN(FindWindowEx), FN(GetDlgItem),
    FN(GetDlgItemInt), FN(GetDlgItemText), FN(GetParent), FN(GetProp), FN(GetWindow), FN(GetWindowLong),
    FN(IsChild), FN(IsDlgButtonChecked), FN(IsEquivalentTextView), FN(IsWindow), FN(RemoveProp),
    FN(SetDlgItemInt), FN(SetDlgItemText), FN(SetParent), FN(SetProp), FN(SetWindowLong), FN(SWELL_IsButton),
    FN(SWELL_IsGroupBox), FN(SWELL_IsStaticText),
    // geometry, visibility and invalidation
    FN(CenterWindow), FN(ClientToScreen), FN(EnableWindow), FN(GetClientRect), FN(GetSystemMetrics),
    FN(GetWindowContentViewRect), FN(GetWindowRect), FN(InvalidateRect), FN(IsWindowVisible), FN(ScreenToClient),
    FN(ScrollWindow), FN(SetOpaque), FN(SetTransparent), FN(SetWindowPos), FN(ShowWindow), FN(UpdateWindow),
    FN(WindowFromPoint), FN(SWELL_FlushWindow), FN(SWELL_GetDefaultButtonID), FN(SWELL_GetDesiredControlSize),
    FN(SWELL_GetViewPort), FN(SWELL_GetWindowWantRaiseAmt), FN(SWELL_HideApp), FN(SWELL_NavigateUpScrollClipViews),
    FN(SWELL_SetAppAutoHideMenuAndDock), FN(SWELL_SetWindowLevel), FN(SWELL_SetWindowRepre),
    FN(SWELL_SetWindowShadow), FN(SWELL_SetWindowWantRaiseAmt), FN(SWELL_CreateModelessFrameForWindow),
    // focus, capture, painting entry and the default procedure
    FN(BeginPaint), FN(EndPaint), FN(GetAsyncKeyState), FN(GetCapture), FN(GetFocus), FN(GetForegroundWindow),
    FN(ReleaseCapture), FN(SetCapture), FN(SetFocus), FN(SetForegroundWindow), FN(SWELL_BroadcastMessage),
    FN(SWELL_CloseWindow), FN(SWELL_FillDialogBackground), FN(SWELL_GetGestureInfo), FN(SWELL_HandleMouseEvent),
    FN(SWELL_ModalWindowEnd), FN(SWELL_ModalWindowRun), FN(SWELL_ModalWindowStart),
    // handles, the paint pass, the run loop's switches and the process
    FN(SWELL_HandleOfObject), FN(SWELL_ObjectOfHandle), FN(SWELL_HandleCount), FN(swellRenderOptimizely),
    FN(DrawSwellViewRectImpl), FN(SWELL_RunRunLoopEx), FN(g_swell_only_timerhwnd), FN(g_swell_terminating),
    FN(SWELL_MakeProcessFront), FN(SWELL_DisableAppNap),
    // OpenGL views, accessibility and drags out
    FN(SWELL_SetViewGL), FN(SWELL_GetViewGL), FN(SWELL_SetGLContextToView), FN(NSAccessibilityUnignoredChildren),
    FN(SWELL_InitiateDragDrop), FN(SWELL_InitiateDragDropOfFileList),
};
#undef FN

TEST(Interface, EveryFunctionIsThereOnce)
{
  std::set<std::string> names;
  for (const Entry& e : kInterface)
  {
    EXPECT_NE(e.address, nullptr) << e.name;
    EXPECT_TRUE(names.insert(e.name).second) << e.name << " listed twice";
  }
  EXPECT_EQ(names.size(), sizeof kInterface / sizeof kInterface[0]);
}

// The constants code written against the interface names, with this layer's values.
TEST(Interface, ConstantsHaveTheLayersValues)
{
  const long values[][2] = {
      {CBN_SELCHANGE, 1}, {CBN_EDITCHANGE, 5}, {CBN_DROPDOWN, 7}, {LBN_SELCHANGE, 1}, {LBN_DBLCLK, 2},
      {EN_CHANGE, 0x300}, {(int)NM_CLICK, -2}, {(int)NM_DBLCLK, -3}, {(int)NM_RCLICK, -5},
      {(int)LVN_ITEMCHANGED, -101}, {(int)LVN_COLUMNCLICK, -108}, {(int)LVN_BEGINDRAG, -109},
      {(int)LVN_GETDISPINFO, -150}, {(int)TVN_SELCHANGED, -402}, {LVS_NOSORTHEADER, 0x8000}, {ODT_LISTBOX, 2},
      {ODT_BUTTON, 4}, {WM_DRAWITEM, 0x2B}, {WM_HSCROLL, 0x114}, {WM_VSCROLL, 0x115}, {SM_CXSCREEN, 0},
      {SM_CYSCREEN, 1}, {SM_CXVSCROLL, 2}, {SM_CYHSCROLL, 3}, {SM_CYVSCROLL, 20}, {SM_CXHSCROLL, 21},
      {LVCFMT_RIGHT, 1}, {LVCFMT_CENTER, 2}, {BS_OWNERDRAW, 11}, {ES_PASSWORD, 0x20}, {VK_BACK, 8},
      {VK_RETURN, 13}, {VK_ESCAPE, 27}, {VK_PRIOR, 33}, {VK_NEXT, 34}, {VK_END, 35}, {VK_HOME, 36},
      {VK_LEFT, 37}, {VK_UP, 38}, {VK_RIGHT, 39}, {VK_DOWN, 40}, {VK_INSERT, 45}, {VK_DELETE, 46},
      {VK_SUBTRACT, 109}, {VK_F1, 112}, {VK_F12, 123}, {VK_CONTROL, 17}, {VK_LBUTTON, 1}, {VK_RBUTTON, 2},
      {VK_MBUTTON, 4}, {VK_TAB, 9}, {VK_SHIFT, 16}, {VK_MENU, 18}, {VK_SPACE, 32}, {VK_NUMPAD0, 0x60},
      {VK_DIVIDE, 0x6F}, {VK_F5, 116}, {VK_SCROLL, 0x91}, {SB_TOP, 6}, {SB_BOTTOM, 7},
      {WM_NCLBUTTONDBLCLK, 0xA3}, {WM_NCMBUTTONDOWN, 0xA7}, {WM_NCMBUTTONDBLCLK, 0xA9},
      {CB_GETLBTEXT_BUFSIZE, 1024}, {LB_GETTEXT_BUFSIZE, 4096},
  };
  for (const auto& v : values) EXPECT_EQ(v[0], v[1]);
  // The key codes are macros, as code written against the interface tests them with #ifdef.
#if !defined(VK_BACK) || !defined(VK_RETURN) || !defined(VK_F12) || !defined(VK_NUMPAD9)
  ADD_FAILURE() << "the VK_ codes are not macros";
#endif
}

}  // namespace
