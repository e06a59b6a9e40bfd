#pragma once
// The kit objects behind window handles, for the layer's own files.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSTableView.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "platform/carbon/Gestalt.h"
#include "raster/lice_bitmap.h"
#include "winsys/wnd/hwnd_view.h"

#include <algorithm>
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

// Where a new item goes among count items kept in order; compareAt(i) compares it
// with item i as strcmp does. An equal item's place is taken, so it goes before it.
template <class CompareAt>
int sortedPosition(int count, CompareAt compareAt)
{
  int lim = count, base = 0;
  while (lim > 0)
  {
    const int p = base + lim / 2;
    const int c = compareAt(p);
    if (c == 0) return p;
    if (c > 0)
    {
      if (p + 1 >= count || compareAt(p + 1) <= 0) return p + 1;
      base = p + 1;
      --lim;
    }
    lim /= 2;
  }
  return 0;
}

// A text field proper. The kit's multi-line text view derives from its text field
// where the platform's does not; the layer answers for it as the platform would.
inline bool isTextField(NSObject* o) { return dynamic_cast<NSTextField*>(o) && !dynamic_cast<NSTextView*>(o); }

inline bool isContentView(NSView* v) { return v && v->window() && v->window()->contentView() == v; }

// The view that stands in the window tree for v: the scroll view of a list in its
// scroll view, else v itself.
inline NSView* frameViewOf(NSView* v)
{
  NSView* p = v ? v->superview() : nullptr;
  if (dynamic_cast<NSClipView*>(p) && dynamic_cast<NSScrollView*>(p->superview())) return p->superview();
  return v;
}

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
