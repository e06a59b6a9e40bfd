// Drag and drop and accessibility of window views.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSArray.h"
#include "platform/appkit/NSDragging.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSWindow.h"
#include "winsys/kernel.h"
#include "winsys/wnd/dragdrop.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

void (*SWELL_DDrop_onDragEnter)(HANDLE drop, POINT pt) = nullptr;
void (*SWELL_DDrop_onDragOver)(POINT pt) = nullptr;
void (*SWELL_DDrop_onDragLeave)() = nullptr;
const char* (*SWELL_DDrop_getDroppedFileTargetPath)(const char* firstType) = nullptr;

namespace {

const size_t kMaxPath = 4095;  // bytes of a path, without its NUL

char* s_dragdropsrcfn = nullptr;
void (*s_dragdropsrccallback)(const char*) = nullptr;

bool exists(const std::string& p)
{
  struct stat st;
  return stat(p.c_str(), &st) == 0;
}

// The path with one more component, one slash between them.
std::string stringByAppendingPathComponent(const std::string& path, const std::string& component)
{
  if (path.empty()) return component;
  return path + (path.back() == '/' ? "" : "/") + component;
}

POINT screenPoint(NSDraggingInfo* info)
{
  NSPoint p = info->draggingLocation();
  if (NSWindow* w = info->draggingDestinationWindow()) p = w->convertBaseToScreen(p);
  return POINT{(int)(p.x + 0.5), (int)(p.y + 0.5)};
}

// NSRunAlertPanel's answers.
enum
{
  kDefault = 1,
  kAlternate = 0,
  kOther = -1
};

int runAlertPanel(const std::string& title, const std::string& message, const char* def, const char* alt,
                  const char* other)
{
  NSAlert* a = new NSAlert;
  a->setMessageText(title);
  a->setInformativeText(message);
  a->addButtonWithTitle(def);
  a->addButtonWithTitle(alt);
  a->addButtonWithTitle(other);
  const NSInteger r = a->runModal() - 1000;  // NSAlertFirstButtonReturn
  a->release();
  return r == 0 ? kDefault : r == 1 ? kAlternate : kOther;
}

}  // namespace

void* SWELL_MakeDropFiles(const char* const* paths, int n, POINT pt)
{
  size_t size = 16 + 1;
  for (int i = 0; i < n; ++i) size += strnlen(paths[i], kMaxPath) + 1;
  // A movable-memory block: DragQueryFile and DragQueryPoint read its size.
  if (size > (size_t)INT_MAX) return nullptr;
  unsigned char* block = (unsigned char*)GlobalAlloc(0, (int)size);
  if (!block) return nullptr;
  memset(block, 0, size);
  const uint32_t off = 16;
  memcpy(block, &off, 4);
  memcpy(block + 4, &pt.x, 4);
  memcpy(block + 8, &pt.y, 4);
  char* p = (char*)block + 16;
  for (int i = 0; i < n; ++i)
  {
    const size_t len = strnlen(paths[i], kMaxPath);
    memcpy(p, paths[i], len);
    p += len + 1;
  }
  return block;
}

void SWELL_SetDragSource(const char* path, void (*createAt)(const char*))
{
  SWELL_FinishDragDrop();
  s_dragdropsrcfn = path ? strdup(path) : nullptr;
  s_dragdropsrccallback = createAt;
}

void SWELL_FinishDragDrop()
{
  free(s_dragdropsrcfn);
  s_dragdropsrcfn = nullptr;
  s_dragdropsrccallback = nullptr;
}

std::string SWELL_DoDragDrop(const char* folder)
{
  std::string result;
  if (folder && s_dragdropsrcfn && s_dragdropsrccallback)
  {
    const char* slash = strrchr(s_dragdropsrcfn, '/');
    const std::string name = slash ? slash + 1 : s_dragdropsrcfn;
    std::string dest = std::string(folder) + "/" + name;
    // A destination cut to fit would name another file: such a drop creates nothing.
    bool go = dest.size() <= kMaxPath;
    if (go && exists(dest))
    {
      const std::string msg = "An item named \"" + name +
                              "\" already exists in this location. Do you want to replace it with the one you're moving?";
      const int a = runAlertPanel("Copy", msg, "Keep Both Files", "Stop", "Replace");
      if (a == kAlternate) go = false;
      else if (a == kDefault)
      {
        const size_t dot = name.rfind('.');
        const std::string ext = dot != std::string::npos && dot > 0 ? name.substr(dot) : "";
        std::string base = dest.substr(0, dest.size() - ext.size());
        size_t digits = 0;
        while (digits < 3 && digits < base.size() && isdigit((unsigned char)base[base.size() - 1 - digits])) ++digits;
        const size_t sep = base.size() - digits;  // index just after the separator
        int n = 0;
        const size_t nameStart = dest.size() - name.size();
        if (sep >= 1 && sep - 1 > nameStart && strchr(" -_", base[sep - 1]))
        {
          n = digits ? atoi(base.c_str() + sep) : 0;
          base.resize(sep);
        }
        else
          base += " ";
        go = false;
        for (int i = n + 1; i <= 999; ++i)
        {
          char num[16];
          snprintf(num, sizeof num, "%03d", i);
          const std::string candidate = base + num + ext;
          if (candidate.size() > kMaxPath) break;
          if (!exists(candidate))
          {
            dest = candidate;
            go = true;
            break;
          }
        }
      }
    }
    if (go)
    {
      s_dragdropsrccallback(dest.c_str());
      if (exists(dest)) result = dest.substr(dest.rfind('/') + 1);
    }
  }
  SWELL_FinishDragDrop();
  return result;
}

std::vector<std::string> Swell_vDavrel_64_hwnd::namesOfPromisedFilesDroppedAtDestination(const std::string& folder)
{
  const std::string name = SWELL_DoDragDrop(folder.c_str());
  if (name.empty()) return {};
  return {name};
}

// ---- drop target ----

void* Swell_vDavrel_64_hwnd::swellExtendedDragOp(NSDraggingInfo* info, bool forGlob)
{
  if (!m_supports_ddrop || !info) return nullptr;
  const bool F = !info->filenames.empty(), P = !info->promisedTypes.empty();
  if (!F && !P) return nullptr;
  std::vector<std::string> list;
  if (F) list = info->propertyListForType(NSFilenamesPboardType);
  else if (forGlob)
    for (const std::string& t : info->promisedTypes) list.push_back("tmp." + t);
  else
  {
    if (!SWELL_DDrop_getDroppedFileTargetPath || !info->namesOfPromisedFilesDroppedAtDestination) return nullptr;
    std::string first = info->promisedTypes.empty() ? "" : info->promisedTypes[0].substr(0, 255);
    const char* dir = SWELL_DDrop_getDroppedFileTargetPath(first.c_str());
    const std::string folder = dir && *dir ? dir : "/tmp/";
    for (const std::string& n : info->namesOfPromisedFilesDroppedAtDestination(folder))
      list.push_back(stringByAppendingPathComponent(folder, n));
    if (list.empty()) return nullptr;
  }
  const NSPoint p = convertPoint(info->draggingLocation(), nullptr);
  // A path too long for the block is left out rather than cut into another one.
  std::vector<const char*> paths;
  for (const std::string& s : list)
    if (s.size() <= kMaxPath) paths.push_back(s.c_str());
  if (paths.empty()) return nullptr;
  void* block = SWELL_MakeDropFiles(paths.data(), (int)paths.size(), POINT{(int)(p.x + 0.5), (int)(p.y + 0.5)});
  if (!block || forGlob) return block;
  onSwellMessage(WM_DROPFILES, (WPARAM)block, 0);
  GlobalFree(block);
  return (void*)this;
}

NSUInteger Swell_vDavrel_64_hwnd::draggingEntered(NSDraggingInfo* info)
{
  if (!m_supports_ddrop) return NSDragOperationNone;
  if (SWELL_DDrop_onDragEnter)
    if (void* block = swellExtendedDragOp(info, true))
    {
      SWELL_DDrop_onDragEnter(block, screenPoint(info));
      GlobalFree(block);
    }
  return NSDragOperationGeneric;
}

NSUInteger Swell_vDavrel_64_hwnd::draggingUpdated(NSDraggingInfo* info)
{
  if (!m_supports_ddrop) return NSDragOperationNone;
  if (SWELL_DDrop_onDragOver) SWELL_DDrop_onDragOver(screenPoint(info));
  return NSDragOperationGeneric;
}

void Swell_vDavrel_64_hwnd::draggingExited(NSDraggingInfo*)
{
  if (m_supports_ddrop && SWELL_DDrop_onDragLeave) SWELL_DDrop_onDragLeave();
}

bool Swell_vDavrel_64_hwnd::performDragOperation(NSDraggingInfo* info)
{
  if (m_supports_ddrop && SWELL_DDrop_onDragLeave) SWELL_DDrop_onDragLeave();
  retain();
  HWND content = nullptr;
  NSView* src = dynamic_cast<NSView*>(info->draggingSource());
  if (src && window() && src->window() == window() && window()->contentView())
  {
    content = SWELL_HWND(window()->contentView());
    SetProp(content, "SWELL_DisableWindowRepre", (void*)1);
  }
  bool done = false;
  NSView* hit = superview() ? hitTest(superview()->convertPoint(info->draggingLocation(), nullptr))
                            : hitTest(info->draggingLocation());
  if (hit && hit != this && hit->isDescendantOf(this))
    for (NSView* v = hit; v && v != this && !done; v = v->superview())
      if (Swell_vDavrel_64_hwnd* wv = dynamic_cast<Swell_vDavrel_64_hwnd*>(v)) done = wv->swellExtendedDragOp(info, false);
  if (!done) done = swellExtendedDragOp(info, false) != nullptr;
  if (content) RemoveProp(content, "SWELL_DisableWindowRepre");
  release();
  return done;
}

// ---- accessibility ----

NSObject* Swell_vDavrel_64_hwnd::accessibilityElement()
{
  NSObject* element = nullptr;
  SendMessage(SWELL_HWND(this), WM_GETOBJECT, 0x1001, (LPARAM)&element);
  return element;
}

bool Swell_vDavrel_64_hwnd::accessibilityIsIgnored() { return subviews().empty() && accessibilityElement(); }

NSObject* Swell_vDavrel_64_hwnd::accessibilityHitTest(NSPoint p)
{
  NSObject* e = accessibilityElement();
  if (SWELL_AccessibilityElement* a = dynamic_cast<SWELL_AccessibilityElement*>(e))
  {
    NSObject* r = a->accessibilityHitTest(p);
    if (r == e)
    {
      if (!a->accessibilityIsIgnored()) return e;
    }
    else if (r)
      return r;
  }
  NSView* hit = superview() ? hitTest(superview()->convertPoint(p, nullptr)) : hitTest(p);
  return hit ? (NSObject*)hit : (NSObject*)this;
}

NSObject* Swell_vDavrel_64_hwnd::accessibilityFocusedUIElement()
{
  NSObject* e = accessibilityElement();
  if (SWELL_AccessibilityElement* a = dynamic_cast<SWELL_AccessibilityElement*>(e))
  {
    NSObject* f = a->accessibilityFocusedUIElement();
    if (f && f != e) return f;
  }
  return this;
}

// ---- accessibility children ----

const char* const NSAccessibilityChildrenAttribute = "children";
const char* const NSAccessibilityVisibleChildrenAttribute = "visibleChildren";

namespace {

bool ignoredElement(NSObject* o)
{
  if (SWELL_AccessibilityElement* a = dynamic_cast<SWELL_AccessibilityElement*>(o)) return a->accessibilityIsIgnored();
  if (Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(o)) return v->accessibilityIsIgnored();
  return false;
}

void addUnignored(NSObject* o, std::vector<NSObject*>* out, int depth)
{
  if (!o) return;
  if (!ignoredElement(o))
  {
    out->push_back(o);
    return;
  }
  if (depth > 64) return;
  if (NSView* v = dynamic_cast<NSView*>(o))
    for (NSView* c : v->subviews()) addUnignored(c, out, depth + 1);
}

}  // namespace

NSArray* NSAccessibilityUnignoredChildren(NSArray* list)
{
  std::vector<NSObject*> out;
  if (list)
    for (NSObject* o : list->objects()) addUnignored(o, &out, 0);
  return static_cast<NSArray*>((new NSArray(std::move(out)))->autorelease());
}

NSArray* Swell_vDavrel_64_hwnd::accessibilityAttributeValue(const char* attribute)
{
  const bool all = attribute && !strcmp(attribute, NSAccessibilityChildrenAttribute);
  const bool visible = attribute && !strcmp(attribute, NSAccessibilityVisibleChildrenAttribute);
  if (!all && !visible) return nullptr;
  // The view's own answer: its subviews, or the shown ones.
  std::vector<NSObject*> own;
  for (NSView* c : subviews())
    if (all || !c->isHidden()) own.push_back(c);
  NSArray* inheritedNow = static_cast<NSArray*>((new NSArray(std::move(own)))->autorelease());
  NSObject** triple = m_access_cacheptrs + (all ? 0 : 3);
  auto clear = [triple] {
    for (int i = 0; i < 3; ++i) AKRelease(triple[i]);
  };
  NSObject* element = accessibilityElement();
  if (!element)
  {
    clear();
    return inheritedNow;
  }
  NSArray* inherited = dynamic_cast<NSArray*>(triple[1]);
  if (triple[0] && inherited && triple[2] == element &&
      (inheritedNow == inherited || inheritedNow->isEqualToArray(inherited)))
    return static_cast<NSArray*>(triple[0]);
  std::vector<NSObject*> items = inheritedNow->objects();
  items.push_back(element);
  NSArray* built = new NSArray(std::move(items));
  NSArray* result = NSAccessibilityUnignoredChildren(built);
  built->release();
  clear();
  triple[0] = result->retain();
  triple[1] = inheritedNow->retain();
  triple[2] = element->retain();
  return result;
}
