#include "winsys/hosted/hosted.h"

#include "platform/appkit/NSDragging.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSOpenGL.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSWorkspace.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_image.h"
#include "winsys/wnd/wnd_views.h"
#include "winsys/msgloop/timers.h"
#include "winsys/wnd/dragdrop.h"
#include "winsys/wnd/wnd.h"

#include <cstring>

// ---- the host view ----

Swell_vDavrel_64_hwndcarbonhost* Swell_vDavrel_64_hwndcarbonhost::initCarbonChild(NSObject* parent, const RECT*, bool)
{
  // As a window view without resource or procedure: WM_CREATE through the default procedure.
  Swell_vDavrel_64_hwndcarbonhost* v = new Swell_vDavrel_64_hwndcarbonhost(NSMakeRect(0, 0, 300, 200));
  initChildView(v, nullptr, parent, nullptr, 0);
  v->m_wantallkeys = false;
  return v;
}

Swell_vDavrel_64_hwndcarbonhost::~Swell_vDavrel_64_hwndcarbonhost() { close(); }

void Swell_vDavrel_64_hwndcarbonhost::close() { KillTimer(SWELL_HWND(this), 1); }

void Swell_vDavrel_64_hwndcarbonhost::setFrame(NSRect frame)
{
  Swell_vDavrel_64_hwnd::setFrame(frame);
  swellDoRepos();
}

HWND SWELL_CreateCarbonWindowView(HWND parent, void** wndOut, RECT* r, bool composit)
{
  Swell_vDavrel_64_hwndcarbonhost* v = Swell_vDavrel_64_hwndcarbonhost::initCarbonChild(SWELL_Object(parent), r, composit);
  if (v && wndOut) *wndOut = v->m_cwnd;
  // A parent view or window holds the view; without one the caller's reference is the only one.
  if (v && (v->superview() || (v->window() && v->window()->contentView() == v))) v->release();
  return SWELL_HWND(v);
}

void* SWELL_GetWindowFromCarbonWindowView(HWND host)
{
  Swell_vDavrel_64_hwndcarbonhost* v = dynamic_cast<Swell_vDavrel_64_hwndcarbonhost*>(SWELL_Object(host));
  return v ? v->m_cwnd : nullptr;
}

void SWELL_AddCarbonPaneToView(HWND, void*) {}

// ---- the unit's own editor view ----

HWND SWELL_GetAudioUnitCocoaView(HWND parent, AudioUnit unit, AudioUnitCocoaViewInfo* info, RECT* r)
{
  if (!info || !info->mCocoaAUViewClass[0] || !info->mCocoaAUViewBundleLocation) return nullptr;
  CFBundleRef bundle = CFBundleCreate(nullptr, info->mCocoaAUViewBundleLocation);
  if (!bundle) return nullptr;
  const AUCocoaUIClass* cls = AUCocoaUIClassNamed(bundle, info->mCocoaAUViewClass[0]);
  CFRelease(bundle);
  if (!cls || !cls->make) return nullptr;
  AUCocoaUIBase* factory = cls->make();
  if (!factory) return nullptr;
  const double w = r ? r->right - r->left : 0, h = r ? r->bottom - r->top : 0;
  NSView* view = static_cast<NSView*>(factory->uiViewForAudioUnit(unit, w, h));
  NSView* p = dynamic_cast<NSView*>(SWELL_Object(parent));
  if (view)
  {
    if (p) p->addSubview(view);
    if (r)
    {
      const NSRect b = view->bounds();
      *r = RECT{0, 0, (int32_t)b.size.width, (int32_t)b.size.height};
    }
  }
  delete factory;
  return SWELL_HWND(view);
}

// ---- dragging out of a window view ----

void SWELL_InitiateDragDrop(HWND hwnd, RECT* srcrect, const char* srcfn, void (*callback)(const char*))
{
  SWELL_FinishDragDrop();
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(hwnd);
  if (!v || !srcfn) return;
  SWELL_SetDragSource(srcfn, callback);
  const char* dot = strrchr(srcfn, '.');
  const std::string type = dot ? dot + 1 : srcfn;
  const RECT r = srcrect ? *srcrect : RECT{0, 0, 0, 0};
  AKDragPromisedFiles(v, {type}, NSMakeRect(r.left, r.top, r.right - r.left, r.bottom - r.top), v, true,
                      NSApplication::exists() ? NSApp->currentEvent() : nullptr);
}

void SWELL_InitiateDragDropOfFileList(HWND hwnd, RECT* srcrect, const char** srclist, int srccount, HICON icon)
{
  SWELL_FinishDragDrop();
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(hwnd);
  if (!v) return;
  std::vector<std::string> files;
  for (int i = 0; srclist && i < srccount; ++i)
    if (srclist[i]) files.push_back(srclist[i]);
  // The drag pasteboard carries the paths as its one type's property list.
  NSPasteboard* pb = NSPasteboard::pasteboardWithName(NSDragPboard);
  pb->declareTypes({NSFilenamesPboardType}, v);
  pb->setPropertyList(files, NSFilenamesPboardType);
  NSImage* image = nullptr;
  SWELL_Image* si = icon ? GetNSImageFromHICON(icon) : nullptr;
  if (si && si->pixels)
  {
    image = swellImageOfBitmap(si->pixels);
    image->setFlipped(true);
  }
  else
    image = NSWorkspace::sharedWorkspace()->iconForFiles(files);
  const RECT r = srcrect ? *srcrect : RECT{0, 0, 0, 0};
  AKDragFiles(v, image, NSMakePoint(r.left, r.top), pb->propertyListForType(NSFilenamesPboardType).value_or(files), v,
              true, NSApplication::exists() ? NSApp->currentEvent() : nullptr);
  image->release();
}

// ---- OpenGL ----

namespace {
// The system version check, read once.
bool Is105Plus()
{
  static const bool yes = swellSystemVersion() >= 0x1050;
  return yes;
}
}  // namespace

void SWELL_SetViewGL(HWND h, bool wantGL)
{
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(h);
  if (!v || wantGL == (v->swellGLContext() != nullptr)) return;
  if (wantGL)
  {
    const NSOpenGLPixelFormatAttribute attrs[] = {NSOpenGLPFAAllowOfflineRenderers, 0};
    NSOpenGLPixelFormat* fmt = new NSOpenGLPixelFormat(Is105Plus() ? attrs : attrs + 1);
    NSOpenGLContext* ctx = new NSOpenGLContext(fmt, nullptr);
    ctx->setView(v);
    v->swellSetGLContext(ctx);
    fmt->release();
    return;
  }
  NSObject* ctx = v->swellGLContext();
  if (NSOpenGLContext::currentContext() == ctx) NSOpenGLContext::clearCurrentContext();
  if (NSOpenGLContext* gl = dynamic_cast<NSOpenGLContext*>(ctx)) gl->setView(nullptr);
  v->swellSetGLContext(nullptr);
  ctx->release();
}

bool SWELL_GetViewGL(HWND h)
{
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(h);
  return v && v->swellGLContext();
}

bool SWELL_SetGLContextToView(HWND h)
{
  if (!h)
  {
    NSOpenGLContext::clearCurrentContext();
    return false;
  }
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(h);
  NSOpenGLContext* ctx = v ? dynamic_cast<NSOpenGLContext*>(v->swellGLContext()) : nullptr;
  if (!ctx) return false;
  ctx->setView(v);
  ctx->makeCurrentContext();
  return true;
}
