#pragma once
// Top-level windows of the layer: modeless windows (and frames around a view that
// leaves its parent) and modal dialog boxes. Each turns the window's events into
// messages to its content view (WM_MOVE, WM_SIZE, WM_ACTIVATE, WM_CLOSE,
// WM_GETMINMAXINFO), keeps the windows it owns and tears them down with itself.
// Main thread only.

#include "platform/appkit/NSWindow.h"
#include "winsys/wnd/hwnd_view.h"

struct HMENU__;
typedef HMENU__* HMENU;

struct OwnedWindowListRec
{
  NSWindow* hwnd;
  OwnedWindowListRec* _next;
};

// The owner protocol, answered by both window classes.
class SWELL_OwnerWindow
{
public:
  virtual ~SWELL_OwnerWindow() = default;
  virtual void swellAddOwnedWindow(NSWindow* w) = 0;
  virtual void swellRemoveOwnedWindow(NSWindow* w) = 0;
  virtual OwnedWindowListRec** swellGetOwnerWindowHead() = 0;
  virtual void swellSetOwner(NSWindow* owner) = 0;
  virtual NSWindow* swellGetOwner() const = 0;
  virtual void swellResetOwnedWindowLevels() = 0;
  virtual void swellDestroyAllOwnedWindows() = 0;
  virtual void swellDoDestroyStuff() = 0;
};

// What the two classes share; Base is NSWindow or NSPanel.
template <class Base>
class SWELL_TopLevelWindow : public Base, public SWELL_OwnerWindow, public NSWindowDelegate
{
public:
  SWELL_TopLevelWindow(NSRect contentRect, NSUInteger styleMask);

  bool acceptsFirstResponder() override { return m_enabled != 0; }
  bool acceptsFirstMouse(NSEvent*) { return m_enabled != 0; }
  bool canBecomeKeyWindow() const override;
  void setFrame(NSRect frame, bool display) override;
  void windowDidMove();
  bool accessibilityIsIgnored() const;
  void resignKeyWindow() override;
  void becomeKeyWindow() override;
  bool windowShouldClose(NSWindow*) override;
  // Escape in a dialog: WM_COMMAND with IDCANCEL, as its Cancel button would send.
  void cancelOperation(NSObject*) override;
  // A title of the application's main menu, shown as the bar of this key window:
  // a menu without a destination of its own reaches the window as its pop-up menu
  // would (WM_INITMENUPOPUP, then the chosen item's WM_COMMAND).
  void openMenuBarItem(NSMenuItem* item, NSPoint at, NSEvent* press) override;
  NSSize minSize() const override;
  NSSize maxSize() const override;

  void swellAddOwnedWindow(NSWindow* w) override;
  void swellRemoveOwnedWindow(NSWindow* w) override;
  OwnedWindowListRec** swellGetOwnerWindowHead() override { return &m_ownedwnds; }
  void swellSetOwner(NSWindow* owner) override { m_owner = owner; }
  NSWindow* swellGetOwner() const override { return m_owner; }
  void swellResetOwnedWindowLevels() override;
  void swellDestroyAllOwnedWindows() override;
  void swellDoDestroyStuff() override;

  bool isEnabledForInput() const { return m_enabled != 0; }
  void setEnabledForInput(bool on) { m_enabled = on ? 1 : 0; }

protected:
  ~SWELL_TopLevelWindow() override;
  // Sends to the content view when it takes window messages; 0 otherwise.
  LRESULT sendToContent(UINT msg, WPARAM wParam, LPARAM lParam) const;
  // The menu a dialog box or a modeless window falls back to.
  virtual HMENU defaultMenu() const = 0;
  // Window set-up shared by both classes after the window exists.
  void commonSetUp();
  void doDestroyStuff(bool wasKey);

  NSSize lastFrameSize{0, 0};
  NSWindow* m_owner = nullptr;  // not retained
  OwnedWindowListRec* m_ownedwnds = nullptr;
  signed char m_enabled = 1;
};

class Swell_vDavrel_64_modelesswindow : public SWELL_TopLevelWindow<NSWindow>
{
public:
  // initModelessForChild:owner:styleMask: — a frame around child (or an empty one).
  static Swell_vDavrel_64_modelesswindow* initModelessForChild(NSView* child, NSObject* owner, unsigned styleMask);
  // initModeless:Parent:dlgProc:Param:outputHwnd:forceStyles: — a modeless dialog of
  // the resource (or a bare window), its content view stored through outputHwnd.
  static Swell_vDavrel_64_modelesswindow* initModeless(const SWELL_DialogResourceIndex* resource, NSObject* parent,
                                                       DLGPROC proc, LPARAM param, HWND* outputHwnd,
                                                       unsigned forceStyles);

  int m_wantraiseamt = 0;
  bool m_wantInitialKeyWindowOnShow = false;

protected:
  using SWELL_TopLevelWindow::SWELL_TopLevelWindow;
  HMENU defaultMenu() const override;
};

class Swell_vDavrel_64_dialogbox : public SWELL_TopLevelWindow<NSPanel>
{
public:
  // initDialogBox:Parent:dlgProc:Param: — resource must not be null.
  static Swell_vDavrel_64_dialogbox* initDialogBox(const SWELL_DialogResourceIndex* resource, NSObject* parent,
                                                   DLGPROC proc, LPARAM param);
  void swellSetModalRetVal(int r)
  {
    m_rv = r;
    m_hasrv = true;
  }
  int swellGetModalRetVal() const { return m_rv; }
  bool swellHasModalRetVal() const { return m_hasrv; }

protected:
  using SWELL_TopLevelWindow::SWELL_TopLevelWindow;
  HMENU defaultMenu() const override;

private:
  int m_rv = 0;
  bool m_hasrv = false;
};

HWND SWELL_CreateModelessFrameForWindow(HWND child, HWND owner, unsigned int styleMask);
// The workspace behaviour every top-level window of the layer gets.
void updateWindowCollection(NSWindow* w);

HMENU SWELL_GetDefaultWindowMenu();
void SWELL_SetDefaultWindowMenu(HMENU menu);
HMENU SWELL_GetDefaultModalWindowMenu();
void SWELL_SetDefaultModalWindowMenu(HMENU menu);

// Packs a point into a message parameter as (y << 16) | (x & 0xFFFF), sign-extended
// from 32 bits; negative coordinates keep their bits.
LPARAM SWELL_PackPointParam(int x, int y);

extern bool SWELL_owned_windows_levelincrease;
