#pragma once
// Drawing on contexts: lines, shapes and polygons with the selected pen and brush,
// single pixels, clip state and blits between contexts. Coordinates are integers
// in the context's user space, y growing downward. Every operation does nothing
// on a null or freed context, and a shape without a usable pen or brush draws
// only what it has.
//
// Threads: as the context (one thread at a time).

#include "winsys/gdi.h"

// The raster operation that makes StretchBlt read the source's first byte as alpha.
const unsigned int SWELL_BLT_SOURCE_ALPHA = 0xDEADBEEF;

void MoveToEx(HDC ctx, int x, int y, POINT* old);
void SWELL_LineTo(HDC ctx, int x, int y);
void PolyPolyline(HDC ctx, const POINT* pts, const DWORD* counts, int n);
void PolyBezierTo(HDC ctx, const POINT* pts, int n);
void SWELL_Polygon(HDC ctx, const POINT* pts, int n);
void RoundRect(HDC ctx, int l, int t, int r, int b, int ew, int eh);
void Ellipse(HDC ctx, int l, int t, int r, int b);
void Rectangle(HDC ctx, int l, int t, int r, int b);
void SWELL_FillRect(HDC ctx, const RECT* r, HBRUSH brush);
void SWELL_SetPixel(HDC ctx, int x, int y, COLORREF color);
// Fills the rectangle with the dialog background colour; the level is not used.
void SWELL_FillDialogBackground(HDC ctx, const RECT* r, int level);

// Save and restore the graphics state, clip included; calls pair up.
void SWELL_PushClipRegion(HDC ctx);
void SWELL_PopClipRegion(HDC ctx);
// Intersects the clip with the rectangle.
void SWELL_SetClipRegion(HDC ctx, const RECT* r);

// Copies (and scales) pixels of a memory context; see StretchBlt. With
// SWELL_BLT_SOURCE_ALPHA the source is composited over by its first byte.
void BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int xs, int ys, unsigned int rop);
// A source left or above its bitmap moves the destination instead; a source past
// the bitmap's right or bottom edge is cut, and the destination shrinks with it.
void StretchBlt(HDC dst, int x, int y, int w, int h, HDC src, int xs, int ys, int ws, int hs, unsigned int rop);
