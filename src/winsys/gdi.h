#pragma once
// Drawing contexts and GDI objects of the window-system layer: memory contexts
// whose pixels the raster library writes directly, pens, brushes, font handles,
// selection, reference counting, deletion and the system colours.
//
// Threads: records are taken from and returned to their pools under one recursive
// lock, so contexts and objects may be made and deleted on any thread; a single
// context or object is used by one thread at a time (the editor's UI thread).

#include "platform/coregraphics/coregraphics.h"
#include "winsys/swell-types.h"

// R<<16 | G<<8 | B; the top byte is ignored.
typedef int COLORREF;

struct HGDIOBJ__;
typedef HGDIOBJ__* HGDIOBJ;
typedef HGDIOBJ HPEN;
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HFONT;

// Object kinds; also the handle values that SelectObject reads as "deselect this kind".
enum
{
  SWELL_GDI_PEN = 1,
  SWELL_GDI_BRUSH = 2,
  SWELL_GDI_FONT = 3,
  SWELL_GDI_BITMAP = 4
};

struct HGDIOBJ__
{
  int type;          // SWELL_GDI_PEN .. SWELL_GDI_BITMAP
  int extraRefs;     // references beyond the first
  CGColorRef color;  // pen or brush colour
  int wid;           // pen width; 0 for brushes; -1 for the null pen and brush
  float rotation;    // font: orientation / 10, in degrees
  struct SWELL_Image* image;  // bitmap: its image, released with the object when wid is 1
  bool freed;
  // Font request, kept for the text engine: size in points, face name with its
  // " Bold" / " Italic" suffixes (owned), quality 0, 3 or 4.
  float fontSize;
  char* faceName;
  char quality;
};

struct HDC__
{
  CGContextRef ctx;    // the context drawn into
  void* ownedBuffer;   // allocation holding a memory context's pixels, else null
  HGDIOBJ curpen;
  HGDIOBJ curbrush;
  HGDIOBJ curfont;
  COLORREF curtextcol;
  COLORREF curbkcol;
  int curbkmode;       // 1 opaque, anything else transparent
  float lastpos_x, lastpos_y;
  bool freed;
  CGColorRef curtextcolor;
  void* GLgfxctx;      // set only by window painting
};
typedef HDC__* HDC;

// A zero-filled offscreen context of w x h pixels (bytes X, R, G, B; rows top-down,
// exactly w pixels apart, the first pixel 64-byte aligned). The template is ignored.
// Null for a size below 1 or too large, or when memory runs out.
HDC SWELL_CreateMemContext(HDC hdc, int w, int h);
void SWELL_DeleteGfxContext(HDC ctx);
// A context record drawing into a context owned by someone else (window painting);
// deleting the record leaves the port alone. Null for a null port.
HDC SWELL_WrapGfxPort(CGContextRef port);
void* SWELL_GetCtxFrameBuffer(HDC ctx);
CGContextRef SWELL_GetCtxGC(HDC ctx);

HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenAlpha(int style, int width, COLORREF color, float alpha);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateSolidBrushAlpha(COLORREF color, float alpha);
// A font handle; never null. The text engine opens the face when it first draws.
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, char italic,
                 char underline, char strikeOut, char charSet, char outPrecision, char clipPrecision,
                 char quality, char pitchAndFamily, const char* faceName);

HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj);
void DeleteObject(HGDIOBJ obj);
HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj);
HGDIOBJ GetStockObject(int index);
// Deleted records waiting in a pool for reuse (contexts when true, else objects);
// a diagnostic for tests of the reuse rule.
int SWELL_GdiFreeRecordCount(bool contexts);

void SetTextColor(HDC ctx, COLORREF color);
COLORREF GetTextColor(HDC ctx);
void SetBkColor(HDC ctx, COLORREF color);
void SetBkMode(HDC ctx, int mode);
COLORREF GetSysColor(int index);
