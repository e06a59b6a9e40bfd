#include "winsys/dlgbuild/builder.h"

#include "platform/appkit/NSTabView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSTableView.h"
#include "winsys/wnd/ctl_listcells.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/ctl_tabs.h"
#include "winsys/wnd/ctl_treeview.h"
#include "winsys/wnd/wnd.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

int g_swell_want_nice_style = 1;

namespace {

// The parameters of the dialog under construction.
NSView* m_make_owner = nullptr;  // not retained
float m_parent_h = 100;
double m_transform[4] = {0, 0, 1, 1};  // x offset, y offset, x scale, y scale
bool m_doautoright = false;
bool m_sizetofits = false;
double m_lastdoauto[3] = {0, -100, 0};  // right edge, vertical middle, shift for the next

struct CreatorRec
{
  SWELL_ControlCreatorProc proc;
  int refcnt;
  CreatorRec* _next;
};
CreatorRec* m_ccprocs = nullptr;

int toInt(double v) { return (int)(v + 0.5); }

// The system font by scale: 8 points below 1.0, 10 below 1.81, else the control's own.
void applyScaleFont(NSControl* c)
{
  const double xs = m_transform[2];
  if (xs < 1.81) c->setFont(NSFont::systemFontOfSize(xs < 1.0 ? 8 : 10));
}

// Remembers a placed control's right edge for the next one on its line.
void noteAutoShift(NSView* v)
{
  if (!m_doautoright) return;
  const NSRect f = v->frame();
  m_lastdoauto[2] = f.origin.x + f.size.width - m_lastdoauto[0];
}

void finish(NSView* v, int style)
{
  if (style & SWELL_NOT_WS_VISIBLE) v->setHidden(true);
  if (m_make_owner) m_make_owner->addSubview(v);
}

void targetOwner(NSControl* c)
{
  c->setTarget(m_make_owner);
  c->setAction("onSwellCommand:");
}

// A table tells the owner what the user did: selections and header clicks as its
// delegate, double clicks through its double action (the owner's command when the
// owner is no window view).
void tellOwner(NSTableView* t)
{
  t->setTarget(m_make_owner);
  t->setAction(SWELL_CONTROL_ACTION);
  t->setDelegate(dynamic_cast<NSTableViewDelegate*>(m_make_owner));
  t->setDoubleAction(dynamic_cast<Swell_vDavrel_64_hwnd*>(m_make_owner) ? SWELL_DOUBLE_ACTION : SWELL_CONTROL_ACTION);
}

}  // namespace

std::string SWELL_StripMnemonics(const char* text)
{
  if (!text) return std::string();
  const size_t n = strnlen(text, 1024);
  if (n >= 1024 || !memchr(text, '&', n)) return std::string(text);
  std::string out;
  for (size_t i = 0; i < n; ++i)
  {
    if (text[i] == '&')
    {
      if (++i >= n) break;
    }
    out += text[i];
  }
  return out;
}

// ---- parameters and mapping ----

void SWELL_MakeSetCurParms(float xscale, float yscale, float xtrans, float ytrans, HWND parent, bool doauto,
                           bool dosizetofit)
{
  m_sizetofits = dosizetofit;
  m_doautoright = doauto;
  m_lastdoauto[0] = 0;
  m_lastdoauto[1] = -100;
  m_lastdoauto[2] = 0;
  NSObject* p = SWELL_Object(parent);
  if (NSWindow* w = dynamic_cast<NSWindow*>(p)) p = w->contentView();
  m_make_owner = dynamic_cast<NSView*>(p);
  m_parent_h = 100;
  if (m_make_owner)
  {
    m_parent_h = (float)m_make_owner->bounds().size.height;
    // A window passed in counts as unflipped.
    NSView* asGiven = dynamic_cast<NSView*>(SWELL_Object(parent));
    if (yscale > 0 && asGiven && asGiven->isFlipped()) yscale = -yscale;
  }
  m_transform[0] = xtrans;
  m_transform[1] = ytrans;
  m_transform[2] = xscale;
  m_transform[3] = yscale;
}

NSRect MakeCoords(int x, int y, int w, int h, bool wantauto, bool ignorevscaleheight)
{
  if (w < 0 && h < 0) return NSMakeRect(-x, -y, -w, -h);
  const float ysc = (float)m_transform[3];
  const float hs = ignorevscaleheight ? 1.0f : ysc;
  const double xs = m_transform[2];
  int left = toInt((x + m_transform[0]) * xs);
  const int width = toInt(w * xs);
  const int height = toInt(std::fabs(hs) * h);
  int top;
  if (ysc < 0)
    top = toInt(-ysc * (y + m_transform[1]));
  else
    // Unflipped, the origin is the lower edge: the control's top sits at the
    // mapped y from the top of the parent, so its origin lies a height below it
    // (each part rounded as in a flipped parent, so both land on the same pixels).
    top = toInt(m_parent_h - toInt((y + m_transform[1]) * ysc) - height);
  if (m_doautoright && wantauto)
  {
    const int unshifted = left;
    if (left - m_lastdoauto[0] < 32 && m_lastdoauto[1] >= top && top + height > m_lastdoauto[1])
      left += (int)m_lastdoauto[2];
    m_lastdoauto[0] = unshifted + width;
    m_lastdoauto[1] = top + height * 0.5;
    m_lastdoauto[2] = 0;
  }
  return NSMakeRect(left, top, width, height);
}

// ---- factories ----

HWND SWELL_MakeButton(int def, const char* label, int id, int x, int y, int w, int h, int style)
{
  if ((uintptr_t)label < 0x10000) label = "ICONTEMP";
  NSRect f = MakeCoords(x, y, w, h, true);
  if (g_swell_want_nice_style != 1 && f.size.height >= 18 && f.size.height < 24) f.size.height = 24;
  Swell_vDavrel_64_button* b = new Swell_vDavrel_64_button(f);
  applyScaleFont(b);
  b->setTag(id);
  b->setBezelStyle(g_swell_want_nice_style == 1 ? NSShadowlessSquareBezelStyle : NSRoundedBezelStyle);
  b->setTitle(SWELL_StripMnemonics(label));
  targetOwner(b);
  finish(b, style);
  noteAutoShift(b);
  if (def && m_make_owner && m_make_owner->window()) m_make_owner->window()->setDefaultButtonCell(b);
  b->release();
  return SWELL_HWND(b);
}

HWND SWELL_MakeEditField(int id, int x, int y, int w, int h, int style)
{
  if (style & (WS_HSCROLL | WS_VSCROLL))
  {
    const NSRect frame = MakeCoords(x, y, w, h, true);
    Swell_vDavrel_64_textview* tv = new Swell_vDavrel_64_textview(frame);
    tv->setEditable(!(style & ES_READONLY));
    applyScaleFont(tv);
    tv->setTag(id);
    tv->setDelegate(dynamic_cast<NSTextFieldDelegate*>(m_make_owner));
    tv->setHorizontallyResizable(false);
    if (!(style & WS_VSCROLL))
    {
      // Without a vertical scroller it shows its lines from its own top line.
      tv->setVerticallyResizable(false);
      finish(tv, style);
      tv->release();
      return SWELL_HWND(tv);
    }
    // It grows with its lines inside a scroll view, which scrolls it and which is
    // what bit 31 hides; the id stays the text view's own.
    tv->setVerticallyResizable(true);
    NSScrollView* sv = new NSScrollView(frame);
    sv->setDocumentView(tv);
    sv->setHasVerticalScroller(true);
    sv->setHasHorizontalScroller((style & WS_HSCROLL) != 0);
    sv->setAutohidesScrollers(true);
    sv->setDrawsBackground(false);
    finish(sv, style);
    const NSSize content = sv->contentSize();
    tv->setFrame(NSMakeRect(0, 0, content.width, content.height));
    tv->release();
    sv->release();
    return SWELL_HWND(tv);
  }
  const NSRect frame = MakeCoords(x, y, w, h, true);
  NSTextField* f = (style & ES_PASSWORD) ? (NSTextField*)new Swell_vDavrel_64_securefield(frame)
                                         : (NSTextField*)new Swell_vDavrel_64_textfield(frame);
  f->setEditable(!(style & ES_READONLY));
  applyScaleFont(f);
  if (style & ES_CENTER) f->setAlignment(NSCenterTextAlignment);
  else if (style & ES_RIGHT) f->setAlignment(NSRightTextAlignment);
  if (std::abs(h) < 20) f->cell()->setLineBreakMode(NSLineBreakByClipping);
  f->setTag(id);
  targetOwner(f);
  f->setDelegate(dynamic_cast<NSTextFieldDelegate*>(m_make_owner));
  finish(f, style);
  noteAutoShift(f);
  f->release();
  return SWELL_HWND(f);
}

namespace {

Swell_vDavrel_64_textfield* newLabel(NSRect frame)
{
  Swell_vDavrel_64_textfield* t = new Swell_vDavrel_64_textfield(frame);
  t->setEditable(false);
  t->setBordered(false);
  t->setDrawsBackground(false);
  applyScaleFont(t);
  return t;
}

}  // namespace

HWND SWELL_MakeLabel(int align, const char* label, int id, int x, int y, int w, int h, int style)
{
  Swell_vDavrel_64_textfield* t = newLabel(MakeCoords(x, y, w, h, true));
  if (style & SS_NOTIFY) targetOwner(t);
  const std::string text = SWELL_StripMnemonics(label);
  t->setStringValue(text);
  t->setAlignment(align < 0 ? NSLeftTextAlignment : align > 0 ? NSRightTextAlignment : NSCenterTextAlignment);
  t->cell()->setLineBreakMode(h > 12 ? NSLineBreakByWordWrapping : NSLineBreakByClipping);
  t->setTag(id);
  finish(t, style);
  if (m_sizetofits && text.size() >= 2) t->sizeToFit();
  noteAutoShift(t);
  t->release();
  return SWELL_HWND(t);
}

HWND SWELL_MakeGroupBox(const char* name, int id, int x, int y, int w, int h, int style)
{
  Swell_vDavrel_64_box* b = new Swell_vDavrel_64_box(MakeCoords(x, y - 1, w, h + 3, false));
  b->setTitle(SWELL_StripMnemonics(name));
  if (style & 0x300) b->setTitleAlignment(NSCenterTextAlignment);
  b->setTag(id);
  if (style & SWELL_NOT_WS_VISIBLE) b->setHidden(true);
  // Below its siblings, so it never covers the controls inside it.
  if (m_make_owner) m_make_owner->addSubview(b, NSWindowBelow, nullptr);
  b->release();
  return SWELL_HWND(b);
}

HWND SWELL_MakeCheckBox(const char* label, int id, int x, int y, int w, int h, int style)
{
  return SWELL_MakeControl(label, id, "Button", style | BS_AUTOCHECKBOX, x, y, w, h, 0);
}

HWND SWELL_MakeListBox(int id, int x, int y, int w, int h, int style)
{
  return SWELL_MakeControl("", id, "SysListView32_LB", style, x, y, w, h, 0);
}

HWND SWELL_MakeCombo(int id, int x, int y, int w, int, int style)
{
  NSControl* c;
  if ((style & 3) == CBS_DROPDOWNLIST)
  {
    Swell_vDavrel_64_pub* p = new Swell_vDavrel_64_pub(MakeCoords(x, y, w, 18, true, true));
    p->setSwellStyle(style);
    c = p;
  }
  else
  {
    Swell_vDavrel_64_cbox* b = new Swell_vDavrel_64_cbox(MakeCoords(x, y - 1, w, 22, true, true));
    b->setFocusRingType(NSFocusRingTypeNone);
    b->setSwellStyle(style);
    b->setDelegate(dynamic_cast<NSTextFieldDelegate*>(m_make_owner));
    c = b;
  }
  c->setTag(id);
  c->setFont(NSFont::systemFontOfSize(10));
  targetOwner(c);
  finish(c, style);
  noteAutoShift(c);
  c->release();
  return SWELL_HWND(c);
}
namespace {

HWND makeStyledButton(const char* text, int id, int style, int x, int y, int w, int h)
{
  if (style & BS_GROUPBOX_SWELL) return SWELL_MakeGroupBox(text, id, x, y, w, h, style & ~BS_GROUPBOX_SWELL);
  if (style & BS_DEFPUSHBUTTON_SWELL) return SWELL_MakeButton(1, text, id, x, y, w, h, style & ~BS_DEFPUSHBUTTON_SWELL);
  if (style & BS_PUSHBUTTON_SWELL) return SWELL_MakeButton(0, text, id, x, y, w, h, style & ~BS_PUSHBUTTON_SWELL);
  Swell_vDavrel_64_button* b = new Swell_vDavrel_64_button(MakeCoords(x, y, w, h, true));
  b->setTag(id);
  const int kind = style & 0xF;
  if (kind == BS_AUTOCHECKBOX || kind == BS_AUTO3STATE)
  {
    b->setButtonType(NSSwitchButton);
    b->setAllowsMixedState(kind == BS_AUTO3STATE);
  }
  else if (kind == BS_AUTORADIOBUTTON)
  {
    b->setButtonType(NSRadioButton);
    b->swellSetRadioFlags(SWELL_RADIO_AUTO | ((style & WS_GROUP) ? SWELL_RADIO_GROUPSTART : 0));
  }
  else if (kind == BS_OWNERDRAW)
  {
    Swell_vDavrel_64_ODbuttoncell* cell = new Swell_vDavrel_64_ODbuttoncell;
    b->setCell(cell);
    cell->release();
  }
  applyScaleFont(b);
  b->setTitle(SWELL_StripMnemonics(text));
  if (style & BS_LEFTTEXT) b->setImagePosition(NSImageRight);
  targetOwner(b);
  finish(b, style);
  if (m_sizetofits && kind != BS_OWNERDRAW) b->sizeToFit();
  noteAutoShift(b);
  b->release();
  return SWELL_HWND(b);
}

HWND makeStatic(const char* text, int id, int style, int x, int y, int w, int h)
{
  Swell_vDavrel_64_textfield* t = newLabel(MakeCoords(x, y, w, h, true));
  if (text && *text) t->setStringValue(SWELL_StripMnemonics(text));
  const int a = style & 0x1F;
  if (a == SS_CENTER) t->setAlignment(NSCenterTextAlignment);
  else if (a == SS_RIGHT) t->setAlignment(NSRightTextAlignment);
  if (a == SS_LEFTNOWORDWRAP) t->cell()->setLineBreakMode(NSLineBreakByClipping);
  t->setTag(id);
  finish(t, style);
  if (a == SS_BLACKRECT) t->setHidden(true);
  t->release();
  return SWELL_HWND(t);
}

}  // namespace

HWND SWELL_MakeControl(const char* text, int id, const char* classname, int style, int x, int y, int w, int h,
                       int exstyle)
{
  if (m_ccprocs)
  {
    const NSRect r = MakeCoords(x, y, w, h, false);
    for (CreatorRec* p = m_ccprocs; p; p = p->_next)
    {
      HWND hh = p->proc(SWELL_HWND(m_make_owner), text, id, classname, style, (int)r.origin.x, (int)r.origin.y,
                        (int)r.size.width, (int)r.size.height);
      if (!hh) continue;
      if (exstyle)
      {
        if (Swell_vDavrel_64_hwnd* v = SWELL_WindowView(hh)) v->swellSetExtendedStyle(exstyle);
      }
      return hh;
    }
  }
  if (!classname) return nullptr;
  if (!strcasecmp(classname, "Edit")) return SWELL_MakeEditField(id, x, y, w, h, style);
  if (!strcasecmp(classname, "static")) return makeStatic(text, id, style, x, y, w, h);
  if (!strcasecmp(classname, "Button")) return makeStyledButton(text, id, style, x, y, w, h);
  NSView* made = nullptr;
  const bool listBox = !strcasecmp(classname, "SysListView32_LB");
  if (listBox || !strcasecmp(classname, "SysListView32") || !strcasecmp(classname, "SysTreeView32"))
  {
    // In a scroll view, which is what bit 31 hides; the id is the control's own.
    const NSRect f = MakeCoords(x, y, w, h, false);
    NSScrollView* sv = new NSScrollView(f);
    if (style & SWELL_NOT_WS_VISIBLE) sv->setHidden(true);
    if (m_make_owner) m_make_owner->addSubview(sv);
    NSView* doc;
    if (!strcasecmp(classname, "SysTreeView32"))
    {
      Swell_vDavrel_64_treeview* tv = new Swell_vDavrel_64_treeview(NSMakeRect(0, 0, f.size.width, 0));
      tv->style = style;
      tellOwner(tv);
      NSTableColumn* c = new NSTableColumn;
      NSCell* cell = new Swell_vDavrel_64_listviewcell;
      c->setDataCell(cell);
      cell->release();
      c->setWidth(std::max<CGFloat>(f.size.width, 300));
      tv->addTableColumn(c);
      c->release();
      tv->setHeaderView(nullptr);
      doc = tv;
    }
    else
    {
      Swell_vDavrel_64_listview* lv = new Swell_vDavrel_64_listview(NSMakeRect(0, 0, f.size.width, 0));
      lv->setSwellStyle(style);
      lv->setSwellNotificationMode(listBox ? 1 : 0);
      tellOwner(lv);
      if (listBox || (style & LVS_NOCOLUMNHEADER)) lv->setHeaderView(nullptr);
      doc = lv;
    }
    doc->setTag(id);
    sv->setDocumentView(doc);
    doc->release();
    sv->release();
    if (listBox)
    {
      // A list box has one column across its width.
      LVCOLUMN col{};
      col.cx = (int)f.size.width;
      ListView_InsertColumn(SWELL_HWND(doc), 0, &col);
    }
    return SWELL_HWND(doc);
  }
  if (!strcasecmp(classname, "SysTabControl32"))
  {
    Swell_vDavrel_64_tabview* t = new Swell_vDavrel_64_tabview(MakeCoords(x, y - 1, w, h + 6, false));
    t->setNotificationWindow(SWELL_HWND(m_make_owner));
    made = t;
  }
  else if (!strcasecmp(classname, "msctls_progress32"))
  {
    Swell_vDavrel_64_progind* p = new Swell_vDavrel_64_progind(MakeCoords(x, y, w, h, false));
    p->setIndeterminate(false);
    made = p;
  }
  else if (!strcasecmp(classname, "REAPERhfader") || !strcasecmp(classname, "msctls_trackbar32"))
  {
    NSSlider* sl = new NSSlider(MakeCoords(x, y, w, h, false));
    sl->setMinValue(0);
    sl->setMaxValue(1000);
    targetOwner(sl);
    made = sl;
  }
  if (!made) return nullptr;
  made->setTag(id);
  finish(made, style);
  made->release();
  return SWELL_HWND(made);
}

void SWELL_RegisterCustomControlCreator(SWELL_ControlCreatorProc creator)
{
  if (!creator) return;
  CreatorRec** pp = &m_ccprocs;
  for (; *pp; pp = &(*pp)->_next)
    if ((*pp)->proc == creator)
    {
      ++(*pp)->refcnt;
      return;
    }
  *pp = new CreatorRec{creator, 1, nullptr};
}

void SWELL_UnregisterCustomControlCreator(SWELL_ControlCreatorProc creator)
{
  for (CreatorRec** pp = &m_ccprocs; *pp; pp = &(*pp)->_next)
    if ((*pp)->proc == creator)
    {
      if (--(*pp)->refcnt <= 0)
      {
        CreatorRec* p = *pp;
        *pp = p->_next;
        delete p;
      }
      return;
    }
}

void SWELL_GenerateDialogFromList(const void* records, int count)
{
  const SWELL_DlgResourceControlRec* r = (const SWELL_DlgResourceControlRec*)records;
  for (int i = 0; r && i < count; ++i, ++r)
  {
    const char* kind = r->str1 ? r->str1 : "";
    if (!strcmp(kind, "__SWELL_BUTTON"))
      SWELL_MakeButton(r->flag1, r->str2, r->flag2, r->x, r->y, r->w, r->h, r->flag3);
    else if (!strcmp(kind, "__SWELL_EDIT"))
      SWELL_MakeEditField(r->flag2, r->x, r->y, r->w, r->h, r->flag3);
    else if (!strcmp(kind, "__SWELL_COMBO"))
      SWELL_MakeCombo(r->flag2, r->x, r->y, r->w, r->h, r->flag3);
    else if (!strcmp(kind, "__SWELL_LISTBOX"))
      SWELL_MakeControl("", r->flag2, "SysListView32_LB", r->flag3, r->x, r->y, r->w, r->h, 0);
    else if (!strcmp(kind, "__SWELL_GROUP"))
      SWELL_MakeGroupBox(r->str2, r->flag2, r->x, r->y, r->w, r->h, r->flag3);
    else if (!strcmp(kind, "__SWELL_CHECKBOX"))
      SWELL_MakeControl(r->str2, r->flag2, "Button", r->flag3 | BS_AUTOCHECKBOX, r->x, r->y, r->w, r->h, 0);
    else if (!strcmp(kind, "__SWELL_LABEL"))
      SWELL_MakeLabel(r->flag1, r->str2, r->flag2, r->x, r->y, r->w, r->h, r->flag3);
    else if (r->str2 && *r->str2)
      SWELL_MakeControl(r->str1, r->flag1, r->str2, r->flag2, r->x, r->y, r->w, r->h, r->flag3);
  }
}
