#pragma once
// The tab control (a tab view of the layer's class, driven through TabCtrl_* and
// telling its notification window of selection changes) and the progress bar (a
// progress indicator taking the progress-bar messages itself). Main thread only.

#include "platform/appkit/NSTabView.h"
#include "winsys/msgloop/target.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/messages.h"

enum : UINT
{
  PBM_SETRANGE = 0x0401,
  PBM_SETPOS = 0x0402,
  PBM_DELTAPOS = 0x0403
};
const UINT TCIF_TEXT = 1;
const UINT TCN_SELCHANGE = (UINT)-551;

// The published layout; only mask and pszText are read.
struct TCITEM
{
  UINT mask;
  DWORD dwState;
  DWORD dwStateMask;
  char* pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
};

class Swell_vDavrel_64_tabview : public SWELL_Redrawn<NSTabView>, public NSTabViewDelegate
{
public:
  explicit Swell_vDavrel_64_tabview(NSRect frame);
  HWND getNotificationWindow() const { return m_dest; }
  void setNotificationWindow(HWND dest) { m_dest = dest; }  // not retained
  void tabViewDidSelectTabViewItem(NSTabView* view, NSTabViewItem* item) override;

private:
  HWND m_dest = nullptr;
};

class Swell_vDavrel_64_progind : public SWELL_Redrawn<NSProgressIndicator>, public SWELL_WindowTarget
{
public:
  explicit Swell_vDavrel_64_progind(NSRect frame) : SWELL_Redrawn<NSProgressIndicator>(frame) {}
  LRESULT onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool swellCanPostMessage() override { return true; }
  void SWELL_Timer(UINT_PTR) override {}
};

int TabCtrl_GetItemCount(HWND h);
// The index used (clamped to 0..count); -1 without a text or a tab control.
int TabCtrl_InsertItem(HWND h, int index, const TCITEM* item);
int TabCtrl_DeleteItem(HWND h, int index);
// The index selected before (0 when none), -1 for no tab control.
int TabCtrl_SetCurSel(HWND h, int index);
// 0 when nothing is selected.
int TabCtrl_GetCurSel(HWND h);
// The display area of a window rectangle (larger false) or the reverse.
BOOL TabCtrl_AdjustRect(HWND h, BOOL larger, RECT* r);
