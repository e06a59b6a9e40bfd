// The control classes, radio groups, the SWELL_CB_* and SWELL_TB_* operations and
// the control messages of SendMessage.

#include "winsys/wnd/controls.h"

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_image.h"
#include "winsys/wnd/wnd_views.h"
#include "winsys/msgloop/target.h"
#include "winsys/msgloop/viewdc.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <strings.h>

Swell_vDavrel_64_button::Swell_vDavrel_64_button(NSRect frame) : SWELL_Redrawn<NSButton>(frame) { setAction(SWELL_CONTROL_ACTION); }

Swell_vDavrel_64_cbox::Swell_vDavrel_64_cbox(NSRect frame) : SWELL_Redrawn<NSComboBox>(frame) { setAction(SWELL_CONTROL_ACTION); }

Swell_vDavrel_64_pub::Swell_vDavrel_64_pub(NSRect frame) : SWELL_Redrawn<NSPopUpButton>(frame) { setAction(SWELL_CONTROL_ACTION); }

Swell_vDavrel_64_textfield::Swell_vDavrel_64_textfield(NSRect frame) : SWELL_Redrawn<NSTextField>(frame)
{
  setAction(SWELL_CONTROL_ACTION);
}

Swell_vDavrel_64_securefield::Swell_vDavrel_64_securefield(NSRect frame)
    : SWELL_Redrawn<NSSecureTextField>(frame)
{
  setAction(SWELL_CONTROL_ACTION);
}

void Swell_vDavrel_64_ODbuttoncell::drawWithFrame(NSRect frame, NSView* controlView)
{
  if (!controlView)
  {
    NSButtonCell::drawWithFrame(frame, controlView);
    return;
  }
  const HWND control = SWELL_HWND(controlView);
  // Inside the button's drawing the current context is already focused on it;
  // otherwise a context of the view's own.
  NSGraphicsContext* current = NSGraphicsContext::currentContext();
  HDC hdc = current ? SWELL_CreateGfxContext(current) : GetDC(control);
  if (!hdc) return;
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_BUTTON;
  dis.CtlID = (UINT)controlView->tag();
  dis.hwndItem = control;
  dis.hDC = hdc;
  dis.rcItem.left = (int)(frame.origin.x + 0.5);
  dis.rcItem.top = (int)(frame.origin.y + 0.5);
  dis.rcItem.right = dis.rcItem.left + (int)(frame.size.width + 0.5);
  dis.rcItem.bottom = dis.rcItem.top + (int)(frame.size.height + 0.5);
  SendMessage(GetParent(control), WM_DRAWITEM, (WPARAM)controlView->tag(), (LPARAM)&dis);
  if (current) SWELL_DeleteGfxContext(hdc);
  else ReleaseDC(control, hdc);
}

Swell_vDavrel_64_textview::Swell_vDavrel_64_textview(NSRect frame) : SWELL_Redrawn<NSTextView>(frame)
{
  setAction(SWELL_CONTROL_ACTION);
}

LRESULT Swell_vDavrel_64_textview::onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
  const long len = (long)AKUTF16(stringValue()).size();
  switch (msg)
  {
    case WM_SETFONT:
    {
      // Handle values below 5 are never objects.
      HGDIOBJ f = (HGDIOBJ)wParam;
      if ((uintptr_t)f >= 5 && f->type == SWELL_GDI_FONT && !f->freed && f->faceName)
        if (NSFont* font = NSFont::fontWithName(f->faceName, f->fontSize > 0 ? f->fontSize : 12)) setFont(font);
      break;
    }
    case EM_GETSEL:
      if (wParam) *(int32_t*)wParam = (int32_t)selectionStart();
      if (lParam) *(int32_t*)lParam = (int32_t)(selectionStart() + selectionLength());
      break;
    case EM_SETSEL:
    {
      long start = (long)(int32_t)wParam, end = (long)(int32_t)lParam;
      if (start == -1) start = end = 0;
      else if (end == -1) end = len;
      if (start < 0 || start > len) start = len;
      end = std::min(end, len);
      // An end before the start selects nothing, at the start, as in a field.
      setSelectedRange((NSUInteger)start, (NSUInteger)std::max(0L, end - start));
      break;
    }
    case EM_SCROLL:
      if (wParam == 7) scrollRangeToVisible((NSUInteger)len, 0);
      else if (wParam == 6) scrollRangeToVisible(0, 0);
      break;
    default:
      break;
  }
  return 0;
}

void SWELL_MarkChildNeedsDisplay(NSView* control)
{
  for (NSView* a = control ? control->superview() : nullptr; a; a = a->superview())
    if (Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(a))
    {
      if (v->dirtyBits() & 2) break;
      v->setDirtyBits(v->dirtyBits() | 2);
    }
}

void SWELL_ClearRadioGroup(NSView* clicked)
{
  Swell_vDavrel_64_button* own = dynamic_cast<Swell_vDavrel_64_button*>(clicked);
  NSView* parent = clicked ? clicked->superview() : nullptr;
  if (!own || !own->swellGetRadioFlags() || !parent) return;
  const std::vector<NSView*> sibs = parent->subviews();
  const auto at = std::find(sibs.begin(), sibs.end(), clicked);
  if (at == sibs.end()) return;
  const size_t i = (size_t)(at - sibs.begin());
  auto clear = [](Swell_vDavrel_64_button* b) {
    if ((b->swellGetRadioFlags() & SWELL_RADIO_AUTO) && b->state() != NSOffState) b->setState(NSOffState);
  };
  // Any other view ends the group on either side, as a button that starts one does.
  if (!(own->swellGetRadioFlags() & SWELL_RADIO_GROUPSTART))
    for (size_t j = i; j-- > 0;)
    {
      Swell_vDavrel_64_button* b = dynamic_cast<Swell_vDavrel_64_button*>(sibs[j]);
      if (!b) break;
      clear(b);
      if (b->swellGetRadioFlags() & SWELL_RADIO_GROUPSTART) break;
    }
  for (size_t j = i + 1; j < sibs.size(); ++j)
  {
    Swell_vDavrel_64_button* b = dynamic_cast<Swell_vDavrel_64_button*>(sibs[j]);
    if (!b || (b->swellGetRadioFlags() & SWELL_RADIO_GROUPSTART)) break;
    clear(b);
  }
}

// ---- combo boxes ----

namespace {

NSObject* control(HWND hwnd, int idx) { return SWELL_Object(idx ? GetDlgItem(hwnd, idx) : hwnd); }

// Texts of a combo box's items or of a pop-up button's menu.
std::vector<std::string> itemTexts(NSObject* o)
{
  if (NSComboBox* c = dynamic_cast<NSComboBox*>(o)) return c->objectValues();
  std::vector<std::string> r;
  if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o))
    for (NSMenuItem* item : p->menu()->itemArray()) r.push_back(item->title());
  return r;
}

bool itemText(NSObject* o, int item, std::string* out)
{
  if (NSComboBox* c = dynamic_cast<NSComboBox*>(o))
  {
    if (item < 0 || item >= c->numberOfItems()) return false;
    *out = c->itemObjectValueAtIndex(item);
    return true;
  }
  if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o))
    if (NSMenuItem* m = p->itemAtIndex(item))
    {
      *out = m->title();
      return true;
    }
  return false;
}

// Where text goes in a list kept in byte order.
int sortedPosition(const std::vector<std::string>& items, const std::string& text)
{
  return ::sortedPosition((int)items.size(), [&](int i) { return text.compare(items[(size_t)i]); });
}

}  // namespace

int SWELL_CB_AddString(HWND hwnd, int idx, const char* text) { return SWELL_CB_InsertString(hwnd, idx, -1000, text); }

int SWELL_CB_InsertString(HWND hwnd, int idx, int pos, const char* text)
{
  const std::string s = text ? text : "";
  NSObject* o = control(hwnd, idx);
  NSComboBox* combo = dynamic_cast<NSComboBox*>(o);
  NSPopUpButton* pub = dynamic_cast<NSPopUpButton*>(o);
  if (!combo && !pub) return 0;
  const int n = combo ? (int)combo->numberOfItems() : (int)pub->numberOfItems();
  const bool append = pos == -1000;
  pos = append ? n : std::max(0, std::min(pos, n));
  if (combo)
  {
    Swell_vDavrel_64_cbox* own = dynamic_cast<Swell_vDavrel_64_cbox*>(combo);
    if (own && append && (own->getSwellStyle() & CBS_SORT)) pos = sortedPosition(combo->objectValues(), s);
    if (pos == n) combo->addItemWithObjectValue(s);
    else combo->insertItemWithObjectValue(s, pos);
    if (own) own->m_ids.insert(own->m_ids.begin() + std::min<size_t>((size_t)pos, own->m_ids.size()), 0);
    combo->setNumberOfVisibleItems(n + 1);
    return pos;
  }
  Swell_vDavrel_64_pub* own = dynamic_cast<Swell_vDavrel_64_pub*>(pub);
  if (own && append && (own->getSwellStyle() & CBS_SORT)) pos = sortedPosition(itemTexts(pub), s);
  pub->menu()->insertItemWithTitle(s, SEL(), "", pos)->setEnabled(true);
  // A pop-up always shows an item.
  if (!pub->selectedItem()) pub->selectItemAtIndex(0);
  return pos;
}

void SWELL_CB_DeleteString(HWND hwnd, int idx, int item)
{
  NSObject* o = control(hwnd, idx);
  if (NSComboBox* c = dynamic_cast<NSComboBox*>(o))
  {
    if (item < 0 || item >= c->numberOfItems()) return;
    c->removeItemAtIndex(item);
    if (Swell_vDavrel_64_cbox* own = dynamic_cast<Swell_vDavrel_64_cbox*>(c))
      if ((size_t)item < own->m_ids.size()) own->m_ids.erase(own->m_ids.begin() + item);
  }
  else if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o))
    p->removeItemAtIndex(item);
}

int SWELL_CB_GetNumItems(HWND hwnd, int idx)
{
  NSObject* o = control(hwnd, idx);
  if (NSComboBox* c = dynamic_cast<NSComboBox*>(o)) return (int)c->numberOfItems();
  if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o)) return (int)p->numberOfItems();
  return 0;
}

int SWELL_CB_GetCurSel(HWND hwnd, int idx)
{
  NSObject* o = control(hwnd, idx);
  if (NSComboBox* c = dynamic_cast<NSComboBox*>(o)) return (int)c->indexOfSelectedItem();
  if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o)) return (int)p->indexOfSelectedItem();
  return -1;
}

void SWELL_CB_SetCurSel(HWND hwnd, int idx, int item)
{
  NSObject* o = control(hwnd, idx);
  if (item < 0 || item >= SWELL_CB_GetNumItems(hwnd, idx)) return;
  if (NSComboBox* c = dynamic_cast<NSComboBox*>(o)) c->selectItemAtIndex(item);
  else if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o)) p->selectItemAtIndex(item);
}

int SWELL_CB_GetItemText(HWND hwnd, int idx, int item, char* buf, int bufsz)
{
  if (!buf || bufsz <= 0) return 0;
  buf[0] = 0;
  std::string s;
  if (!itemText(control(hwnd, idx), item, &s)) return 0;
  size_t n = std::min(s.size(), (size_t)bufsz - 1);
  // A cut never leaves half a character behind.
  while (n < s.size() && n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80) --n;
  memcpy(buf, s.data(), n);
  buf[n] = 0;
  return 1;
}

int SWELL_CB_GetItemTextLength(HWND hwnd, int idx, int item)
{
  std::string s;
  return itemText(control(hwnd, idx), item, &s) ? (int)s.size() : -1;
}

void SWELL_CB_Empty(HWND hwnd, int idx)
{
  NSObject* o = control(hwnd, idx);
  if (NSComboBox* c = dynamic_cast<NSComboBox*>(o))
  {
    c->removeAllItems();
    if (Swell_vDavrel_64_cbox* own = dynamic_cast<Swell_vDavrel_64_cbox*>(c)) own->m_ids.clear();
  }
  else if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o))
    p->removeAllItems();
}

LONG_PTR SWELL_CB_GetItemData(HWND hwnd, int idx, int item)
{
  NSObject* o = control(hwnd, idx);
  if (Swell_vDavrel_64_cbox* c = dynamic_cast<Swell_vDavrel_64_cbox*>(o))
    return item >= 0 && (size_t)item < c->m_ids.size() ? c->m_ids[(size_t)item] : 0;
  if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o))
    if (NSMenuItem* m = p->itemAtIndex(item))
      if (Swell_vDavrel_64_sdh* h = dynamic_cast<Swell_vDavrel_64_sdh*>(m->representedObject())) return h->getValue();
  return 0;
}

void SWELL_CB_SetItemData(HWND hwnd, int idx, int item, LPARAM value)
{
  NSObject* o = control(hwnd, idx);
  if (Swell_vDavrel_64_cbox* c = dynamic_cast<Swell_vDavrel_64_cbox*>(o))
  {
    if (item >= 0 && (size_t)item < c->m_ids.size()) c->m_ids[(size_t)item] = value;
  }
  else if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(o))
    if (NSMenuItem* m = p->itemAtIndex(item))
    {
      Swell_vDavrel_64_sdh* h = new Swell_vDavrel_64_sdh(value);
      m->setRepresentedObject(h);
      h->release();
    }
}

int SWELL_CB_FindString(HWND hwnd, int idx, int startAfter, const char* text, bool exact)
{
  if (!text) return -1;
  const std::vector<std::string> items = itemTexts(control(hwnd, idx));
  const size_t start = startAfter < 0 ? 0 : (size_t)startAfter + 1;
  const size_t len = strlen(text);
  // Whole texts are compared, however long.
  for (size_t i = start; i < items.size(); ++i)
    if (exact ? strcasecmp(items[i].c_str(), text) == 0 : strncasecmp(items[i].c_str(), text, len) == 0)
      return (int)i;
  return -1;
}

// ---- track bars ----

namespace {
LRESULT ask(NSObject* o, UINT msg, WPARAM wp, LPARAM lp)
{
  SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(o);
  return t ? t->onSwellMessage(msg, wp, lp) : 0;
}
int sliderPos(NSSlider* s) { return (int)(s->doubleValue() + 0.5); }
}  // namespace

int SWELL_TB_GetPos(HWND hwnd, int idx)
{
  NSObject* o = control(hwnd, idx);
  if (NSSlider* s = dynamic_cast<NSSlider*>(o)) return sliderPos(s);
  return (int)ask(o, TBM_GETPOS, 0, 0);
}

void SWELL_TB_SetPos(HWND hwnd, int idx, int pos)
{
  NSObject* o = control(hwnd, idx);
  if (NSSlider* s = dynamic_cast<NSSlider*>(o)) s->setDoubleValue(pos);
  else ask(o, TBM_SETPOS, 1, pos);
}

void SWELL_TB_SetRange(HWND hwnd, int idx, int low, int high)
{
  NSObject* o = control(hwnd, idx);
  if (NSSlider* s = dynamic_cast<NSSlider*>(o))
  {
    s->setMinValue(low);
    s->setMaxValue(high);
  }
  // The low word is masked, so a negative low cannot spill into the high word.
  else
    ask(o, TBM_SETRANGE, 1, (LPARAM)(int32_t)(((uint32_t)low & 0xFFFFu) | ((uint32_t)high << 16)));
}

void SWELL_TB_SetTic(HWND hwnd, int idx, int pos) { ask(control(hwnd, idx), TBM_SETTIC, 0, pos); }

// ---- control messages ----

namespace {

NSImage* imageOf(HGDIOBJ obj)
{
  SWELL_Image* im = GetNSImageFromHICON(obj);
  if (!im || !im->pixels) return nullptr;
  return swellImageOfBitmap(im->pixels);
}

}  // namespace

bool SWELL_ControlMessage(NSObject* o, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
  *result = 0;
  if (NSButton* b = dynamic_cast<NSButton*>(o))
  {
    if (msg == BM_GETCHECK)
    {
      *result = b->state() == NSMixedState ? BST_INDETERMINATE : (b->state() ? BST_CHECKED : BST_UNCHECKED);
      return true;
    }
    if (msg == BM_SETCHECK)
    {
      b->setState((wParam & 2) ? NSMixedState : (NSInteger)(wParam & 1));
      return true;
    }
    Swell_vDavrel_64_button* own = dynamic_cast<Swell_vDavrel_64_button*>(b);
    if (own && (msg == BM_GETIMAGE || msg == BM_SETIMAGE))
    {
      if (wParam > IMAGE_ICON) return true;
      *result = (LRESULT)own->getSwellGDIImage();
      if (msg == BM_SETIMAGE)
      {
        HGDIOBJ obj = (HGDIOBJ)lParam;
        NSImage* image = imageOf(obj);
        own->setImage(image);
        own->setSwellGDIImage(image ? obj : nullptr);
        AKRelease(image);
      }
      return true;
    }
    return false;
  }
  const bool combo = dynamic_cast<NSComboBox*>(o) || dynamic_cast<NSPopUpButton*>(o);
  if (combo && msg >= CB_ADDSTRING && msg <= CB_LAST)
  {
    const HWND h = SWELL_HWND(o);
    const int item = (int)wParam;
    switch (msg)
    {
      case CB_ADDSTRING:
        *result = SWELL_CB_AddString(h, 0, (const char*)lParam);
        break;
      case CB_DELETESTRING:
        SWELL_CB_DeleteString(h, 0, item);
        *result = 1;
        break;
      case CB_GETCOUNT:
        *result = SWELL_CB_GetNumItems(h, 0);
        break;
      case CB_GETCURSEL:
        *result = SWELL_CB_GetCurSel(h, 0);
        break;
      case CB_GETLBTEXTLEN:
        *result = SWELL_CB_GetItemTextLength(h, 0, item);
        break;
      case CB_GETLBTEXT:
        // The caller's buffer is taken to hold CB_GETLBTEXT_BUFSIZE bytes; a longer
        // item is cut (CB_GETLBTEXTLEN tells its whole length).
        *result = lParam ? SWELL_CB_GetItemText(h, 0, item, (char*)lParam, CB_GETLBTEXT_BUFSIZE) : 0;
        break;
      case CB_INSERTSTRING:
      {
        // A negative position is the first; one past every int is the end.
        const LPARAM at = (LPARAM)wParam;
        *result = SWELL_CB_InsertString(h, 0, at < 0 ? 0 : (int)std::min<LPARAM>(at, INT_MAX), (const char*)lParam);
        break;
      }
      case CB_RESETCONTENT:
        SWELL_CB_Empty(h, 0);
        break;
      case CB_FINDSTRING:
      case CB_FINDSTRINGEXACT:
        *result = SWELL_CB_FindString(h, 0, item, (const char*)lParam, msg == CB_FINDSTRINGEXACT);
        break;
      case CB_SETCURSEL:
        SWELL_CB_SetCurSel(h, 0, item);
        break;
      case CB_GETITEMDATA:
        *result = SWELL_CB_GetItemData(h, 0, item);
        break;
      case CB_SETITEMDATA:
        SWELL_CB_SetItemData(h, 0, item, lParam);
        break;
      default:
        break;
    }
    return true;
  }
  if (NSSlider* s = dynamic_cast<NSSlider*>(o))
    if (msg >= TBM_GETPOS && msg <= TBM_SETRANGE)
    {
      switch (msg)
      {
        case TBM_GETPOS:
          *result = sliderPos(s);
          break;
        case TBM_SETTIC:
          *result = 1;
          break;
        case TBM_SETPOS:
          s->setDoubleValue((int32_t)lParam);
          *result = 1;
          break;
        case TBM_SETRANGE:
          s->setMinValue((double)((uint32_t)lParam & 0xFFFFu));
          s->setMaxValue((double)(((uint32_t)lParam >> 16) & 0xFFFFu));
          *result = 1;
          break;
        default:
          break;
      }
      return true;
    }
  return false;
}
