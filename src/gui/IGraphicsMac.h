#pragma once
// The platform graphics object: IGraphics with a window, on the window
// kit of platform/appkit. It owns the editor's view while the window is open: the
// view runs the redraw timer at the frame rate, turns the kit's events into the
// graphics object's input calls, copies the draw bitmap to the screen, and hosts
// popup menus and text entries. Panels, alerts, opening addresses and
// the cursor go through the kit too, so tests script them.
//
// Threads: main thread only, as the kit is.

#include "base/mutex.h"
#include "base/wdlstring.h"
#include "gui/IGraphics.h"

class IGraphicsCocoa_vDavrel_64_au;
class NSWindow;

class IGraphicsMac : public IGraphics
{
public:
  IGraphicsMac(IPlugBase* plug, int w, int h, int refreshFPS = 0);
  ~IGraphicsMac() override;

  void SetBundleID(const char* id) { mBundleID.Set(id ? id : ""); }
  const char* GetBundleID() const { return mBundleID.Get(); }

  bool DrawScreen(IRECT* rect) override;
  bool MeasureIText(IText* text, char* str, IRECT* destRect) override;
  void ForceEndUserEdit() override;
  void PrepareTextAhead() override;
  void Resize(int w, int h) override;
  bool WindowIsOpen() override { return mGraphicsCocoa != nullptr; }
  const char* GetGUIAPI() override { return "Cocoa gui"; }
  int ShowMessageBox(const char* text, const char* caption, int type) override;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* rect) override;
  void CreateTextEntry(IControl* control, IText* text, IRECT* rect, const char* str, IParam* param) override;
  void HostPath(WDL_String* path) override;
  void PluginPath(WDL_String* path) override;
  void DesktopPath(WDL_String* path) override;
  void PromptForFile(WDL_String* file, EFileAction action = kFileOpen, WDL_String* dir = nullptr,
                     char* extensions = nullptr) override;
  bool PromptForColor(IColor* color, char* prompt) override;
  // A text starting with "http://" or "https://" opens as a web address; anything
  // else is a file path. True when the desktop's opener started.
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  // Closes any view it had, makes a new one (owned by this object until
  // CloseWindow) and adds it to the parent view when one is given.
  void* OpenWindow(void* parentView) override;
  using IGraphics::OpenWindow;
  // The reference of a kit window (NSWindow::windowRef) to show the editor over.
  void AttachSubWindow(void* hostWindowRef) override;
  void RemoveSubWindow() override;
  void CloseWindow() override;
  void* GetWindow() override { return mGraphicsCocoa; }
  void HideMouseCursor() override;
  void ShowMouseCursor() override;

  void* OpenCocoaWindow(void* parentView) { return OpenWindow(parentView); }
  IGraphicsCocoa_vDavrel_64_au* GetView() const { return mGraphicsCocoa; }
  // The system version ('sysv'), 0x1068 for 10.6.8.
  static int GetUserOSVersion();

private:
  WDL_Mutex* ModalMutex() const;
  IGraphicsCocoa_vDavrel_64_au* mGraphicsCocoa = nullptr;
  WDL_String mBundleID;
  NSWindow* mHostNSWindow = nullptr;
};

// The plug-in's graphics object: an IGraphicsMac with the plug-in's bundle identifier.
IGraphics* MakeGraphics(IPlugBase* plug, int w, int h, int refreshFPS = 0);
