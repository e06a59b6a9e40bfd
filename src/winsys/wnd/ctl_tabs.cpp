#include "winsys/wnd/ctl_tabs.h"

#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"

#include <algorithm>

Swell_vDavrel_64_tabview::Swell_vDavrel_64_tabview(NSRect frame) : SWELL_Redrawn<NSTabView>(frame) { setDelegate(this); }

void Swell_vDavrel_64_tabview::tabViewDidSelectTabViewItem(NSTabView*, NSTabViewItem*)
{
  if (!m_dest) return;
  NMHDR hdr{SWELL_HWND(this), (UINT_PTR)tag(), TCN_SELCHANGE};
  SendMessage(m_dest, WM_NOTIFY, (WPARAM)tag(), (LPARAM)&hdr);
}

LRESULT Swell_vDavrel_64_progind::onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
  switch (msg)
  {
    case PBM_SETRANGE:
      setMinValue((double)((uint32_t)lParam & 0xFFFFu));
      setMaxValue((double)(((uint32_t)lParam >> 16) & 0xFFFFu));
      break;
    case PBM_SETPOS:
      setDoubleValue((double)wParam);
      stopAnimation(nullptr);
      break;
    case PBM_DELTAPOS:
      incrementBy((double)wParam);
      break;
    default:
      break;
  }
  return 0;
}

namespace {
Swell_vDavrel_64_tabview* tabs(HWND h) { return h ? dynamic_cast<Swell_vDavrel_64_tabview*>(SWELL_Object(h)) : nullptr; }
}  // namespace

int TabCtrl_GetItemCount(HWND h)
{
  Swell_vDavrel_64_tabview* t = tabs(h);
  return t ? (int)t->numberOfTabViewItems() : 0;
}

int TabCtrl_InsertItem(HWND h, int index, const TCITEM* item)
{
  Swell_vDavrel_64_tabview* t = tabs(h);
  if (!t || !item || !(item->mask & TCIF_TEXT) || !item->pszText) return -1;
  index = std::max(0, std::min(index, (int)t->numberOfTabViewItems()));
  NSTabViewItem* tab = new NSTabViewItem;
  tab->setLabel(item->pszText);
  // Inserting may select the new tab; that is no change the window asked to hear of.
  const HWND dest = t->getNotificationWindow();
  t->setNotificationWindow(nullptr);
  t->insertTabViewItem(tab, index);
  t->setNotificationWindow(dest);
  tab->release();
  return index;
}

int TabCtrl_DeleteItem(HWND h, int index)
{
  Swell_vDavrel_64_tabview* t = tabs(h);
  NSTabViewItem* tab = t ? t->tabViewItemAtIndex(index) : nullptr;
  if (!tab) return 0;
  t->removeTabViewItem(tab);
  return 1;
}

int TabCtrl_SetCurSel(HWND h, int index)
{
  Swell_vDavrel_64_tabview* t = tabs(h);
  if (!t) return -1;
  const int before = TabCtrl_GetCurSel(h);
  if (index >= 0 && index < t->numberOfTabViewItems()) t->selectTabViewItemAtIndex(index);
  return before;
}

int TabCtrl_GetCurSel(HWND h)
{
  Swell_vDavrel_64_tabview* t = tabs(h);
  NSTabViewItem* sel = t ? t->selectedTabViewItem() : nullptr;
  return sel ? (int)t->indexOfTabViewItem(sel) : 0;
}

BOOL TabCtrl_AdjustRect(HWND h, BOOL larger, RECT* r)
{
  if (!tabs(h) || !r) return 0;
  const int s = larger ? -1 : 1;
  r->left += 7 * s;
  r->right -= 7 * s;
  r->top += 26 * s;
  r->bottom -= 3 * s;
  return 1;
}
