#pragma once
// Contexts on the kit's objects: a graphics context being drawn, and the contexts
// of views (GetDC / ReleaseDC). Main thread only, as the kit.

#include "winsys/gdi.h"
#include "winsys/msgloop/timers.h"

class NSGraphicsContext;

// A new context record on the graphics context's port (no pixels of its own); null
// for a null context.
HDC SWELL_CreateGfxContext(NSGraphicsContext* ctx);

// hwnd is a view or a window (its content view). While the window view paints, its
// paint context (state saved; ReleaseDC restores it and leaves the context to the
// paint). Otherwise a context drawing into the view
// in its window's backing, flipped views with y downward, clipped to the visible part
// of the view; null for a null handle, a view without a window or a hidden view.
// Pair each with ReleaseDC.
HDC GetDC(HWND hwnd);
// GetDC, then moved by the origin of the view's bounds.
HDC GetWindowDC(HWND hwnd);
void ReleaseDC(HWND hwnd, HDC ctx);
