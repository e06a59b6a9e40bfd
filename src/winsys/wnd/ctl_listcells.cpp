// The list view's cells.

#include "winsys/wnd/ctl_listcells.h"

#include "winsys/msgloop/viewdc.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/ctl_treeview.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"

#include <algorithm>

namespace {

// A context for drawing into the view: inside a drawing pass the current context,
// already focused on it; otherwise one of the view's own. Null when there is none.
HDC cellDC(NSView* view, bool* own)
{
  NSGraphicsContext* current = NSGraphicsContext::currentContext();
  *own = !current;
  if (current) return SWELL_CreateGfxContext(current);
  return view ? GetDC(SWELL_HWND(view)) : nullptr;
}

void releaseCellDC(NSView* view, HDC hdc, bool own)
{
  if (own) ReleaseDC(SWELL_HWND(view), hdc);
  else SWELL_DeleteGfxContext(hdc);
}

bool listWithSelColors(NSView* v)
{
  auto* lv = dynamic_cast<Swell_vDavrel_64_listview*>(v);
  return lv && !lv->m_selColors.empty();
}

}  // namespace

NSColor* Swell_vDavrel_64_listviewcell::highlightColorWithFrame(NSRect frame, NSView* controlView)
{
  auto* tv = dynamic_cast<Swell_vDavrel_64_treeview*>(controlView);
  if (listWithSelColors(controlView) || (tv && !tv->m_selColors.empty())) return nullptr;
  return NSTextFieldCell::highlightColorWithFrame(frame, controlView);
}

NSColor* Swell_vDavrel_64_statuscell::highlightColorWithFrame(NSRect frame, NSView* controlView)
{
  if (listWithSelColors(controlView)) return nullptr;
  return NSTextFieldCell::highlightColorWithFrame(frame, controlView);
}

void Swell_vDavrel_64_statuscell::drawWithFrame(NSRect frame, NSView* controlView)
{
  // The text column always leaves the square, with or without an image.
  const CGFloat side = frame.size.height;
  NSRect text = frame;
  text.origin.x += side + 2;
  text.size.width = std::max<CGFloat>(0, text.size.width - (side + 2));
  NSTextFieldCell::drawWithFrame(text, controlView);
  // The image is the row's for this drawing only: never kept for a later one.
  SWELL_Image* image = status;
  status = nullptr;
  if (!image) return;
  bool own = false;
  HDC hdc = cellDC(controlView, &own);
  if (!hdc) return;
  const RECT square{(int32_t)frame.origin.x, (int32_t)frame.origin.y, (int32_t)(frame.origin.x + side),
                    (int32_t)(frame.origin.y + side)};
  SWELL_DrawImageInRect(hdc, image, &square);
  releaseCellDC(controlView, hdc, own);
}

void Swell_vDavrel_64_ODlistviewcell::drawInteriorWithFrame(NSRect frame, NSView* controlView)
{
  if (!m_ownctl)
  {
    NSTextFieldCell::drawInteriorWithFrame(frame, controlView);
    return;
  }
  bool own = false;
  HDC hdc = cellDC(controlView, &own);
  if (!hdc) return;
  Swell_vDavrel_64_listview* owner = m_ownctl;
  const SWELL_ListView_Row* row = owner->m_items.Get(m_lastidx);
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_LISTBOX;
  dis.CtlID = (UINT)owner->tag();
  dis.itemID = (UINT)m_lastidx;
  dis.hwndItem = SWELL_HWND(owner);
  dis.hDC = hdc;
  dis.rcItem.left = (int)(frame.origin.x + 0.5);
  dis.rcItem.top = (int)(frame.origin.y + 0.5);
  dis.rcItem.right = dis.rcItem.left + (int)(frame.size.width + 0.5);
  dis.rcItem.bottom = dis.rcItem.top + (int)(frame.size.height + 0.5);
  dis.itemData = row ? (UINT_PTR)row->m_lparam : 0;
  // The parent may drop the list box while it draws.
  owner->retain();
  SendMessage(GetParent(SWELL_HWND(owner)), WM_DRAWITEM, (WPARAM)owner->tag(), (LPARAM)&dis);
  owner->release();
  releaseCellDC(controlView, hdc, own);
}
