#include "gui/IGraphicsMac.h"

#include "gui/IGraphicsCocoa.h"
#include "gui/IGraphicsMacMapping.h"
#include "plug/IPlugBase.h"
#include "platform/carbon/Gestalt.h"
#include "platform/coregraphics/CGDisplay.h"
#include "platform/coretext/coretext.h"
#include "raster/lice_bitmap.h"

#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

using namespace MacMapping;

IGraphicsMac::IGraphicsMac(IPlugBase* plug, int w, int h, int refreshFPS) : IGraphics(plug, w, h, refreshFPS)
{
  NSApplicationLoad();
}

IGraphicsMac::~IGraphicsMac() { CloseWindow(); }

IGraphics* MakeGraphics(IPlugBase* plug, int w, int h, int refreshFPS)
{
  IGraphicsMac* g = new IGraphicsMac(plug, w, h, refreshFPS);
  g->SetBundleID("com.Quiet Harbor Sound.audiounit.Davrel Editor x64");
  return g;
}

int IGraphicsMac::GetUserOSVersion()
{
  SInt32 v = 0;
  Gestalt(gestaltSystemVersion, &v);
  return (int)v;
}

// ---- the window ----

void* IGraphicsMac::OpenWindow(void* parentView)
{
  CloseWindow();
  mGraphicsCocoa = new IGraphicsCocoa_vDavrel_64_au(this);
  if (NSView* parent = static_cast<NSView*>(parentView)) parent->addSubview(mGraphicsCocoa);
  return mGraphicsCocoa;
}

void IGraphicsMac::CloseWindow()
{
  IGraphicsCocoa_vDavrel_64_au* view = mGraphicsCocoa;
  if (!view) return;
  view->retain();
  view->killTimer();
  mGraphicsCocoa = nullptr;
  if (view->graphics())
  {
    view->detach();
    view->removeFromSuperview();
  }
  // The reference OpenWindow kept, then the one taken here.
  view->release();
  view->release();
}

bool IGraphicsMac::DrawScreen(IRECT*)
{
  if (!mGraphicsCocoa || !mDrawBitmap) return false;
  NSGraphicsContext* ctx = NSGraphicsContext::currentContext();
  CGContextRef port = ctx ? ctx->graphicsPort() : nullptr;
  if (!port) return false;
  HDC dc = mDrawBitmap->getDC();
  CGImageRef image = dc ? CGBitmapContextCreateImage(SWELL_GetCtxGC(dc)) : nullptr;
  if (!image) return false;
  CGContextDrawImage(port, CGRectMake(0, 0, mDrawBitmap->getRowSpan(), Height()), image);
  CGImageRelease(image);
  return true;
}

bool IGraphicsMac::MeasureIText(IText* text, char* str, IRECT* destRect)
{
  NSAutoreleasePool pool;
  return IGraphics::DrawIText(text, str, destRect, true);
}

void IGraphicsMac::ForceEndUserEdit()
{
  if (mGraphicsCocoa) mGraphicsCocoa->endUserInput();
}

void IGraphicsMac::PrepareTextAhead() { CTLoadFontEngineAhead(); }

void IGraphicsMac::Resize(int w, int h)
{
  if (w == Width() && h == Height()) return;
  IGraphics::Resize(w, h);
  if (mGraphicsCocoa) mGraphicsCocoa->setFrameSize(NSMakeSize(w, h));
}

void IGraphicsMac::AttachSubWindow(void* hostWindowRef)
{
  NSAutoreleasePool pool;
  NSWindow* host = NSWindow::windowWithWindowRef((WindowRef)hostWindowRef);
  if (!host) return;
  host->setCanHide(true);
  // The reference taken here goes when the host window closes.
  host->setReleasedWhenClosed(true);
  const NSRect frame = host->frame();
  const CGFloat x =
      frame.size.width > Width() ? frame.origin.x + std::floor((frame.size.width - Width()) * 0.5) : frame.origin.x;
  CustomCocoaWindow_vDavrel_64_au* child = new CustomCocoaWindow_vDavrel_64_au(
      NSMakeRect(x, frame.origin.y, Width(), Height()), NSBorderlessWindowMask, NSBackingStoreBuffered, false);
  child->setOpaque(true);
  child->setCanHide(true);
  child->setHasShadow(false);
  child->setReleasedWhenClosed(true);
  OpenWindow(child->contentView());
  host->addChildWindow(child, NSWindowAbove);
  host->orderFront(nullptr);
  host->display();
  AKPerformAfterDelay(child, [child]() { child->orderFront(nullptr); }, 0.05);
  mHostNSWindow = host;
}

void IGraphicsMac::RemoveSubWindow()
{
  NSAutoreleasePool pool;
  NSWindow* host = mHostNSWindow;
  if (!host) return;
  mHostNSWindow = nullptr;
  NSWindow* child = host->childWindows().empty() ? nullptr : host->childWindows()[0];
  CloseWindow();
  if (child)
  {
    child->retain();
    child->orderOut(nullptr);
  }
  host->orderOut(nullptr);
  if (child)
  {
    child->close();
    host->removeChildWindow(child);
    child->release();
  }
  host->close();
}

// ---- menus, text entry, panels, alerts ----

// They run from input events, which hold the plug-in's mutex, and wait for a
// person: the MIDI input thread and the transfer jobs must not wait with them.
WDL_Mutex* IGraphicsMac::ModalMutex() const { return mPlug ? &mPlug->mMutex : nullptr; }

IPopupMenu* IGraphicsMac::CreateIPopupMenu(IPopupMenu* menu, IRECT* rect)
{
  ReleaseMouseCapture();
  if (!mGraphicsCocoa || !menu || !rect) return nullptr;
  WDL_MutexReleased unlocked(ModalMutex());
  return mGraphicsCocoa->createIPopupMenu(menu, ViewRectOf(*rect, Height()));
}

void IGraphicsMac::CreateTextEntry(IControl* control, IText* text, IRECT* rect, const char* str, IParam* param)
{
  if (!mGraphicsCocoa || !rect) return;
  mGraphicsCocoa->createTextEntry(control, param, text, str, ViewRectOf(*rect, Height()));
}

int IGraphicsMac::ShowMessageBox(const char* text, const char* caption, int type)
{
  NSAutoreleasePool pool;
  std::string buttons[3];
  MessageBoxButtons(type, buttons);
  NSAlert* alert = new NSAlert;
  alert->setMessageText(caption ? caption : "");
  alert->setInformativeText(text ? text : "");
  alert->setAlertStyle(NSInformationalAlertStyle);
  for (const std::string& b : buttons)
    if (!b.empty()) alert->addButtonWithTitle(b);
  NSInteger pressed;
  {
    WDL_MutexReleased unlocked(ModalMutex());
    pressed = alert->runModal() - NSAlertFirstButtonReturn;
  }
  alert->release();
  return MessageBoxAnswer(type, (int)pressed);
}

void IGraphicsMac::PromptForFile(WDL_String* file, EFileAction action, WDL_String* dir, char* extensions)
{
  if (!file) return;
  if (!WindowIsOpen())
  {
    file->Set("");
    return;
  }
  NSAutoreleasePool pool;
  WDL_String localDir;
  if (!dir) dir = &localDir;
  const std::string defaultFile = file->Get();
  if (!dir->GetLength()) dir->Set("~/Desktop");
  const std::string startDir = dir->Get();
  file->Set("");

  std::vector<std::string> types;
  const std::string exts = extensions ? extensions : "";
  for (size_t start = 0; start <= exts.size();)
  {
    size_t end = exts.find(' ', start);
    if (end == std::string::npos) end = exts.size();
    if (end > start) types.push_back(exts.substr(start, end - start));
    start = end + 1;
  }

  NSInteger answer;
  std::string chosen;
  WDL_MutexReleased unlocked(ModalMutex());
  if (action == kFileSave)
  {
    NSSavePanel* panel = NSSavePanel::savePanel();
    panel->setAllowedFileTypes(types);
    panel->setAllowsOtherFileTypes(false);
    answer = panel->runModalForDirectory(startDir, defaultFile);
    chosen = panel->filename();
  }
  else
  {
    NSOpenPanel* panel = NSOpenPanel::openPanel();
    panel->setCanChooseFiles(true);
    panel->setCanChooseDirectories(false);
    panel->setResolvesAliases(true);
    answer = panel->runModalForDirectory(startDir, defaultFile, types);
    chosen = panel->filename();
  }
  if (answer != NSOKButton || chosen.empty()) return;
  // A bare name typed into the panel names a file of the folder the panel showed,
  // not of the process's working folder.
  if (chosen[0] != '/' && chosen[0] != '~')
    chosen = startDir + (startDir.empty() || startDir.back() == '/' ? "" : "/") + chosen;
  file->Set(chosen.c_str());
  const size_t slash = chosen.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : chosen.substr(0, slash);
  dir->Set((folder + "/").c_str());
}

bool IGraphicsMac::PromptForColor(IColor*, char*) { return false; }

bool IGraphicsMac::OpenURL(const char* url, const char*, const char*, const char*)
{
  if (!url || !*url) return false;
  NSAutoreleasePool pool;
  NSURL* address = IsWebAddress(url) ? NSURL::URLWithString(url) : NSURL::fileURLWithPath(url);
  return address && NSWorkspace::sharedWorkspace()->openURL(address);
}

// ---- paths ----

namespace {
void anchor() {}
}  // namespace

void IGraphicsMac::HostPath(WDL_String* path)
{
  if (!path) return;
  Dl_info info;
  path->Set(dladdr((void*)&anchor, &info) && info.dli_fname ? info.dli_fname : "");
}

void IGraphicsMac::PluginPath(WDL_String* path)
{
  if (!path) return;
  std::string root = GetResourceRoot();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const size_t slash = root.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : root.substr(0, slash);
  path->Set((folder + "/").c_str());
}

void IGraphicsMac::DesktopPath(WDL_String* path)
{
  if (!path) return;
  const char* home = getenv("HOME");
  path->Set(home ? home : "");
  path->Append("/Desktop/");
}

// ---- the cursor ----

void IGraphicsMac::HideMouseCursor()
{
  if (!mCursorHidden && CGDisplayHideCursor(CGMainDisplayID()) == kCGErrorSuccess) mCursorHidden = true;
  const NSPoint p = NSEvent::mouseLocation();
  mHiddenMousePointX = (int)p.x;
  mHiddenMousePointY = (int)((double)CGDisplayPixelsHigh(CGMainDisplayID()) - p.y);
}

void IGraphicsMac::ShowMouseCursor()
{
  if (!mCursorHidden) return;
  CGDisplayMoveCursorToPoint(CGMainDisplayID(), CGPoint{(CGFloat)mHiddenMousePointX, (CGFloat)mHiddenMousePointY});
  if (CGDisplayShowCursor(CGMainDisplayID()) == kCGErrorSuccess) mCursorHidden = false;
}
