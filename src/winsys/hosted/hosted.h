#pragma once
// Views hosted in window views: an Audio Unit's own editor view, the host view for
// a window of another toolkit (which this layer leaves empty), dragging files out
// of a window view, and OpenGL contexts bound to window views. Main thread only.

#include "platform/audiounit/AUCocoaUIView.h"
#include "winsys/gdi.h"
#include "winsys/wnd/hwnd_view.h"

typedef HGDIOBJ HICON;

// The host view. It hosts no window of its own: its hosted window is always null.
class Swell_vDavrel_64_hwndcarbonhost : public Swell_vDavrel_64_hwnd
{
public:
  // initCarbonChild:rect:composit: — the rectangle and the flag are not used.
  static Swell_vDavrel_64_hwndcarbonhost* initCarbonChild(NSObject* parent, const RECT* r, bool composit);
  bool swellIsCarbonHostingView() const { return true; }
  bool isOpaque() const override { return false; }
  void close();
  void swellDoRepos() {}
  void setFrame(NSRect frame) override;

  NSWindow* m_cwnd = nullptr;
  bool m_whileresizing = false;
  void* m_wndhandler = nullptr;
  void* m_ctlhandler = nullptr;
  bool m_wantallkeys = false;

protected:
  using Swell_vDavrel_64_hwnd::Swell_vDavrel_64_hwnd;
  ~Swell_vDavrel_64_hwndcarbonhost() override;
};

// The unit's editor view, added to parent; r becomes {0, 0, width, height} of it.
// Null (r unchanged) when the class, its bundle or its view cannot be had.
HWND SWELL_GetAudioUnitCocoaView(HWND parent, AudioUnit unit, AudioUnitCocoaViewInfo* info, RECT* r);
HWND SWELL_CreateCarbonWindowView(HWND parent, void** wndOut, RECT* r, bool composit);
void* SWELL_GetWindowFromCarbonWindowView(HWND host);
void SWELL_AddCarbonPaneToView(HWND, void*);

// Starts a drag of the file srcfn promises to create (callback creates it at the
// destination path). The type offered is the text after its last '.'.
void SWELL_InitiateDragDrop(HWND hwnd, RECT* srcrect, const char* srcfn, void (*callback)(const char* destination));
// Starts a drag of existing files, shown with the icon's image (or a plain one).
void SWELL_InitiateDragDropOfFileList(HWND hwnd, RECT* srcrect, const char** srclist, int srccount, HICON icon);

void SWELL_SetViewGL(HWND h, bool wantGL);
bool SWELL_GetViewGL(HWND h);
bool SWELL_SetGLContextToView(HWND h);
