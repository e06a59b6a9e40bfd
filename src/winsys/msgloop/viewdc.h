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
// Takes back a context GetDC handed out: restores the state GetDC saved and deletes
// the context when GetDC made it (a paint's context stays with the paint). Any other
// context (a memory context, one released already) is left untouched; hwnd is not
// needed to tell them apart.
void ReleaseDC(HWND hwnd, HDC ctx);
