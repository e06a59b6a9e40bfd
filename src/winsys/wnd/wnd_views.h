#pragma once
// The kit objects behind window handles, for the layer's own files.

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"
#include "platform/carbon/Gestalt.h"
#include "raster/lice_bitmap.h"
#include "winsys/wnd/hwnd_view.h"

#include <cstring>
#include <vector>

inline NSView* asView(HWND h) { return dynamic_cast<NSView*>(SWELL_Object(h)); }
inline NSWindow* asWindow(HWND h) { return dynamic_cast<NSWindow*>(SWELL_Object(h)); }

// A window stands for its content view.
inline NSView* viewOrContent(HWND h)
{
  if (NSWindow* w = asWindow(h)) return w->contentView();
  return asView(h);
}

inline bool isContentView(NSView* v) { return v && v->window() && v->window()->contentView() == v; }

// The system's version word (0x1068 for 10.6.8), read once; 10.4 when it cannot be read.
inline int swellSystemVersion()
{
  static const int version = [] {
    SInt32 v = 0;
    return Gestalt(gestaltSystemVersion, &v) == noErr && v ? (int)v : 0x1040;
  }();
  return version;
}

// A kit image of a raster bitmap's pixels, rows top-down whichever way the bitmap
// stores them.
inline NSImage* swellImageOfBitmap(LICE_IBitmap* b)
{
  const int w = b->getWidth(), h = b->getHeight();
  std::vector<uint32_t> px((size_t)w * (size_t)h);
  for (int y = 0; y < h; ++y)
  {
    const int row = b->isFlipped() ? h - 1 - y : y;
    memcpy(&px[(size_t)y * (size_t)w], b->getBits() + (size_t)row * (size_t)b->getRowSpan(), (size_t)w * 4);
  }
  return new NSImage(w, h, std::move(px));
}
