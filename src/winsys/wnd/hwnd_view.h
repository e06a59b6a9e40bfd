#pragma once
// The window view: every child window and dialog of the layer is one of these
// views, and the view itself is the HWND. It carries what a Win32 window carries
// and turns the kit's callbacks (showing, sizing, timers, painting, input) into
// messages to its window procedure. Main thread only.

#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSTableView.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSView.h"
#include "winsys/gdi.h"
#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/target.h"
#include "winsys/wnd/messages.h"

class NSArray;
class NSDraggingInfo;

// A dialog resource: the program's records are chained from
// SWELL_curmodule_dialogresource_head and found by id.
struct SWELL_DialogResourceIndex
{
  const char* resid;  // compared as a value: the program's ids are small integers
  const char* title;  // null for none
  int flags;          // SWELL_DLG_*
  void (*createFunc)(HWND view, int flags);
  int width, height;
  SWELL_DialogResourceIndex* _next;
};
enum
{
  SWELL_DLG_CHILD = 0x1,
  SWELL_DLG_RESIZABLE = 0x2,
  SWELL_DLG_FLIPPED = 0x4,
  SWELL_DLG_KEEPSIZE = 0x8,
  SWELL_DLG_OPAQUE = 0x10,
  SWELL_DLG_ACCEPTFILES = 0x20
};

struct WindowPropRec
{
  char* name;  // an atom below 0x10000 in the pointer itself, else an owned copy
  void* data;
  WindowPropRec* next;
};

const long WS_EX_ACCEPTFILES = 0x10;

// What an accessibility element a window procedure supplies answers.
class SWELL_AccessibilityElement
{
public:
  virtual ~SWELL_AccessibilityElement() = default;
  virtual NSObject* accessibilityHitTest(NSPoint p) = 0;
  virtual NSObject* accessibilityFocusedUIElement() = 0;
  virtual bool accessibilityIsIgnored() = 0;
};

class Swell_vDavrel_64_hwnd : public NSView,
                              public SWELL_WindowTarget,
                              public NSComboBoxDelegate,
                              public NSTableViewDelegate,
                              public NSMenuDelegate
{
public:
  // Slots of extra data (8 bytes of index each) every window of the layer keeps.
  static const int kExtraDataSlots = 32;
  // initChild:Parent:dlgProc:Param: — parent is a view, a window or null.
  static Swell_vDavrel_64_hwnd* initChild(const SWELL_DialogResourceIndex* resource, NSObject* parent,
                                          DLGPROC proc, LPARAM param);
  explicit Swell_vDavrel_64_hwnd(NSRect frame);

  // ---- the message entry ----
  LRESULT onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool swellCanPostMessage() override { return m_hashaddestroy == 0; }
  void SWELL_Timer(UINT_PTR id) override;
  bool swellHasBeenDestroyed() const { return m_hashaddestroy != 0; }
  int destroyState() const { return m_hashaddestroy; }

  // ---- accessors ----
  LONG_PTR getSwellUserData() const { return m_userdata; }
  void setSwellUserData(LONG_PTR v) { m_userdata = v; }
  // The index is a byte offset: slot = index >> 3, slots 0 to 31.
  LONG_PTR getSwellExtraData(int index) const;
  void setSwellExtraData(int index, LONG_PTR value);
  WNDPROC getSwellWindowProc() const { return m_wndproc; }
  void setSwellWindowProc(WNDPROC p) { m_wndproc = p; }
  DLGPROC getSwellDialogProc() const { return m_dlgproc; }
  void setSwellDialogProc(DLGPROC p) { m_dlgproc = p; }
  bool isFlipped() const override { return m_flip; }
  bool isOpaque() const override { return m_isopaque; }
  void setOpaque(bool on) { m_isopaque = on; }
  bool isEnabled() const { return m_enabled; }
  void setEnabled(bool on) { m_enabled = on; }
  NSMenu* swellGetMenu() const { return m_menu; }
  void swellSetMenu(NSMenu* menu);
  bool swellCapChangeNotify() const { return true; }
  unsigned swellCreateWindowFlags() const { return m_create_windowflags; }
  void setSwellCreateWindowFlags(unsigned f) { m_create_windowflags = f; }
  void swellSetExtendedStyle(LONG v) { m_supports_ddrop = (v & WS_EX_ACCEPTFILES) != 0; }
  LONG swellGetExtendedStyle() const { return m_supports_ddrop ? WS_EX_ACCEPTFILES : 0; }
  const char* onSwellGetText() const { return m_titlestr; }
  void onSwellSetText(const char* text);
  NSObject* lastTopLevelOwner() const { return m_lastTopLevelOwner; }
  void setLastTopLevelOwner(NSObject* o) { m_lastTopLevelOwner = o; }

  // ---- properties ----
  int swellSetProp(const char* name, void* data);
  void* swellGetProp(const char* name, bool wantRemove);
  int swellEnumProps(BOOL (*proc)(HWND, const char*, void*, LPARAM), LPARAM lp);

  // ---- painting ----
  void drawRect(NSRect dirtyRect) override;
  // The fast road for a content view (wnd_paint.cpp): one context for the window's
  // whole tree; window views marked dirty (or asked to draw) are painted, controls
  // that need it displayed inside the areas being drawn.
  bool _recursiveDisplayRectIfNeededIgnoringOpacity() override;
  // Fills ps while a paint is under way; false (ps untouched) otherwise.
  bool getSwellPaintInfo(PAINTSTRUCT* ps);
  HDC swellPaintContext() override { return m_paintctx_hdc; }
  void didAddSubview(NSView* view) override;
  void willRemoveSubview(NSView* view) override;
  unsigned char dirtyBits() const { return m_isdirty; }
  void setDirtyBits(unsigned char b) { m_isdirty = b; }

  // ---- controls inside the view ----
  // The action of every control made inside the view: what the control's kind
  // tells its owner (WM_HSCROLL for a slider, CBN_SELCHANGE for a pop-up, nothing
  // for a table, else WM_COMMAND with the tag).
  void onSwellCommand(NSObject* sender);
  // A table's (or any control's) double action: LBN_DBLCLK or NM_DBLCLK.
  void swellOnControlDoubleClick(NSObject* sender);
  // The controls' actions (SWELL_CONTROL_ACTION, SWELL_DOUBLE_ACTION) arrive here.
  bool performAction(SEL action, NSObject* sender) override;
  bool respondsToSelector(SEL action) const override;
  // As the delegate of its text fields and combo boxes: EN_CHANGE, or
  // CBN_EDITCHANGE, CBN_DROPDOWN and CBN_SELCHANGE for a combo box.
  void controlTextDidChange(NSNotification* n) override;
  void controlTextDidEndEditing(NSNotification* n) override;
  void comboBoxWillPopUp(NSNotification* n) override;
  void comboBoxSelectionDidChange(NSNotification* n) override;
  // As the delegate of its tables: LBN_SELCHANGE or LVN_ITEMCHANGED,
  // TVN_SELCHANGED, LVN_COLUMNCLICK.
  void tableViewSelectionDidChange(NSNotification* n) override;
  void outlineViewSelectionDidChange(NSNotification* n) override;
  void tableViewDidClickTableColumn(NSTableView* table, NSTableColumn* column) override;
  // As the delegate of its menus: WM_INITMENUPOPUP before one opens.
  void menuNeedsUpdate(NSMenu* menu) override;

  // ---- the kit's callbacks ----
  void setFrame(NSRect frame) override;
  void viewDidHide() override;
  void viewDidUnhide() override;

  // ---- input ----
  void mouseDown(NSEvent* e) override;
  void mouseUp(NSEvent* e) override;
  void mouseDragged(NSEvent* e) override;
  void mouseMoved(NSEvent* e) override;
  void rightMouseDown(NSEvent* e) override;
  void rightMouseUp(NSEvent* e) override;
  void rightMouseDragged(NSEvent* e) override;
  void otherMouseDown(NSEvent* e) override;
  void otherMouseUp(NSEvent* e) override;
  void otherMouseDragged(NSEvent* e) override;
  void scrollWheel(NSEvent* e) override;
  void keyDown(NSEvent* e) override;
  void keyUp(NSEvent* e) override;
  void magnifyWithEvent(NSEvent* e) override;
  void rotateWithEvent(NSEvent* e) override;
  void swipeWithEvent(NSEvent* e) override;
  bool acceptsFirstMouse(NSEvent* e) override;
  bool acceptsFirstResponder() override;

  // ---- drag and drop ----
  bool acceptsDrops() const override { return m_supports_ddrop; }
  NSUInteger draggingEntered(NSDraggingInfo* info) override;
  NSUInteger draggingUpdated(NSDraggingInfo* info) override;
  void draggingExited(NSDraggingInfo* info) override;
  bool wantsPeriodicDraggingUpdates() const { return false; }
  bool performDragOperation(NSDraggingInfo* info) override;
  // A DROPFILES block (forGlob: returned to the caller, who frees it), or, for the
  // drop itself, WM_DROPFILES delivered and a non-null token; null when refused.
  void* swellExtendedDragOp(NSDraggingInfo* info, bool forGlob);
  // The source of a promised-file drag: SWELL_DoDragDrop into the folder.
  std::vector<std::string> namesOfPromisedFilesDroppedAtDestination(const std::string& folder) override;

  // ---- OpenGL ----
  // The view's GL context (owned), or null.
  NSObject* swellGLContext() const { return m_glctx; }
  void swellSetGLContext(NSObject* ctx) { m_glctx = ctx; }

  // ---- accessibility ----
  // The element the window procedure supplies (WM_GETOBJECT 0x1001), or null.
  NSObject* accessibilityElement();
  NSObject* accessibilityHitTest(NSPoint p);
  NSObject* accessibilityFocusedUIElement();
  bool accessibilityIsIgnored();
  // NSAccessibilityChildrenAttribute or NSAccessibilityVisibleChildrenAttribute:
  // the view's subviews (the shown ones) with the procedure's element added,
  // unignored, kept while neither changes; other attributes: null. The list is the
  // view's (or autoreleased): retain it to keep it.
  NSArray* accessibilityAttributeValue(const char* attribute);

protected:
  ~Swell_vDavrel_64_hwnd() override;
  // The work of initChild on a view already made (of a subclass, too).
  static Swell_vDavrel_64_hwnd* initChildView(Swell_vDavrel_64_hwnd* v, const SWELL_DialogResourceIndex* resource,
                                              NSObject* parent, DLGPROC proc, LPARAM param);

private:
  friend LRESULT SwellDialogDefaultWindowProc(HWND, UINT, WPARAM, LPARAM);
  friend void DrawSwellViewRectImpl(Swell_vDavrel_64_hwnd* view, NSRect rect, HDC hdc);
  void sendShow(WPARAM shown);
  bool canNotify() const { return m_wndproc && !m_hashaddestroy; }
  void sendCommand(NSInteger tag, UINT code, NSObject* control);

  signed char m_enabled = 1;
  DLGPROC m_dlgproc = nullptr;
  WNDPROC m_wndproc;
  LONG_PTR m_userdata = 0;
  LONG_PTR m_extradata[kExtraDataSlots] = {};
  int m_isfakerightmouse = 0;
  unsigned char m_hashaddestroy = 0;
  NSMenu* m_menu = nullptr;
  bool m_flip = true;
  bool m_supports_ddrop = false;
  bool m_paintctx_used = false;
  HDC m_paintctx_hdc = nullptr;
  WindowPropRec* m_props = nullptr;
  NSRect m_paintctx_rect{{0, 0}, {0, 0}};
  bool m_isopaque = true;
  char m_titlestr[1024] = {};
  unsigned m_create_windowflags = 0;
  unsigned char m_isdirty = 3;
  NSObject* m_lastTopLevelOwner = nullptr;  // not retained
  NSObject* m_glctx = nullptr;
  // Two triples (children, visible children): the list answered, the view's list
  // it was built from, the element; each retained.
  NSObject* m_access_cacheptrs[6] = {};
};

extern const char* const NSAccessibilityChildrenAttribute;
extern const char* const NSAccessibilityVisibleChildrenAttribute;
// The objects of the list with ignored ones replaced by their own unignored
// children (a view's subviews); autoreleased.
NSArray* NSAccessibilityUnignoredChildren(NSArray* list);

// The window procedure every window view starts with.
LRESULT SwellDialogDefaultWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Points the menu, dialog and shell functions at this layer's windows; the first
// window view made calls it, later calls do nothing.
void SWELL_InstallWindowHooks();
// One view's WM_NCCALCSIZE, WM_NCPAINT and WM_PAINT into hdc.
void DrawSwellViewRectImpl(Swell_vDavrel_64_hwnd* view, NSRect rect, HDC hdc);
// Recolours the text of the view's buttons with images, labels and group boxes
// from the procedure's WM_CTLCOLORBTN and WM_CTLCOLORSTATIC answers (with
// fallback, the system text colour when it sets none).
void SWELL_DoDialogColorUpdates(HWND hwnd, DLGPROC proc, bool fallback);
// Paints view (forced: whole, and all below it) and the window views below it that
// are dirty or need display into hdc, which has the view's coordinates; other views
// that need display are left on the deferred list for the pass to display. rects:
// the areas being drawn in baseView's coordinates. Clears the view's dirty bits.
void swellRenderOptimizely(Swell_vDavrel_64_hwnd* view, HDC hdc, signed char force, const NSRect* rects, int n,
                           bool inContentCoordinates, NSView* baseView);
// The kit colour of a COLORREF of this layer (red in bits 16-23), opaque; not retained.
NSColor* SWELL_ColorOf(COLORREF c);

// The handle of a kit object and back (see winsys/msgloop/hwnd_table.h).
inline HWND SWELL_HWND(NSObject* o) { return SWELL_HandleOfObject(o); }
inline NSObject* SWELL_Object(HWND h) { return SWELL_ObjectOfHandle(h); }
inline Swell_vDavrel_64_hwnd* SWELL_WindowView(HWND h) { return dynamic_cast<Swell_vDavrel_64_hwnd*>(SWELL_Object(h)); }
