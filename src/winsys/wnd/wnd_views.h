#pragma once
// The kit objects behind window handles, for the layer's own files.

#include "platform/appkit/NSWindow.h"
#include "winsys/wnd/hwnd_view.h"

inline NSView* asView(HWND h) { return dynamic_cast<NSView*>(SWELL_Object(h)); }
inline NSWindow* asWindow(HWND h) { return dynamic_cast<NSWindow*>(SWELL_Object(h)); }

// A window stands for its content view.
inline NSView* viewOrContent(HWND h)
{
  if (NSWindow* w = asWindow(h)) return w->contentView();
  return asView(h);
}

inline bool isContentView(NSView* v) { return v && v->window() && v->window()->contentView() == v; }
