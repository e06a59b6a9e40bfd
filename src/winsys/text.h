#pragma once
// Fonts and text drawing of the window-system layer: font requests, font metrics,
// and UTF-8 text drawn or measured in a rectangle of a drawing context.
//
// A font handle (CreateFont in winsys/gdi.h) holds the request: size, face name with
// its " Bold" / " Italic" suffixes, quality. The face is opened on first use through
// a process-wide cache from (requested name, size) to the platform font, kept for the
// life of the process; a name that opens nothing gets the label font of that size.
//
// Threads: the font cache has its own recursive lock, so any thread may measure and
// draw; one context is drawn by one thread at a time (the editor's UI thread).

#include "winsys/gdi.h"
#include "winsys/swell-types.h"

struct TEXTMETRIC
{
  int tmHeight;
  int tmAscent;
  int tmDescent;
  int tmInternalLeading;
  int tmAveCharWidth;
};

struct LOGFONT
{
  int lfHeight;
  int lfWidth;
  int lfEscapement;
  int lfOrientation;
  int lfWeight;
  char lfItalic;
  char lfUnderline;
  char lfStrikeOut;
  char lfCharSet;
  char lfOutPrecision;
  char lfClipPrecision;
  char lfQuality;
  char lfPitchAndFamily;
  char lfFaceName[32];
};

// Font qualities the text drawing reads; others mean the context's default (smoothed).
enum
{
  NONANTIALIASED_QUALITY = 3,
  ANTIALIASED_QUALITY = 4
};

// SWELL_DrawText flags; other bits are ignored.
enum
{
  DT_CALCRECT = 0x1,    // measure only: set right and bottom, draw nothing
  DT_VCENTER = 0x2,     // ignored with DT_BOTTOM
  DT_CENTER = 0x4,      // ignored with DT_RIGHT
  DT_BOTTOM = 0x10,
  DT_RIGHT = 0x20,
  DT_SINGLELINE = 0x40, // a line feed is drawn as a space
  DT_NOPREFIX = 0x80,   // '&' is an ordinary character
  DT_NOCLIP = 0x100
};

// CreateFont with the record's height, width, orientation, weight, italic flag,
// quality and face name (all 32 bytes when not terminated). Null for a null record.
HFONT CreateFontIndirect(const LOGFONT* lf);

// Metrics of the context's font (the label font when none is selected). tm is first
// filled with the defaults 16, 12, 4, 3, 10; FALSE for a null or deleted context or a
// null tm.
BOOL GetTextMetrics(HDC ctx, TEXTMETRIC* tm);

// Draws length bytes of UTF-8 text (a negative length: up to the NUL; at most 4095
// bytes, cut before a character that would not fit whole) in rect, or measures it
// with DT_CALCRECT (rect.right = left + width, rect.bottom = top + height). Without
// DT_NOPREFIX "&x" draws x; carriage returns are dropped; each line feed starts a new
// line unless DT_SINGLELINE. All lines start at the same x: alignment moves the
// block. In background mode 1 every line's box is filled with the background colour
// first; the boxes together are exactly the measured rectangle. Returns the text
// height; 0, with rect unchanged, for a null or deleted context, null arguments,
// empty text or no font.
int SWELL_DrawText(HDC ctx, const char* text, int length, RECT* rect, int flags);
