#pragma once
// Our stand-in for the platform text engine: fonts opened by name and size, their
// metrics, and single lines of UTF-8 text measured and drawn into the pixel memory of
// the window system's memory contexts (32 bits a pixel, bytes X, R, G, B, rows
// top-down). FreeType rasterises and fontconfig finds the faces; neither shows
// outside this folder. Face names pass the project's own alias rules first, so
// "Consolas", "NK57 Monospace" and "Monaco" open DejaVu Sans Mono.
//
// Sizes are in pixels (one point is one pixel of a memory context).
//
// Threads: any thread may create, use and release fonts; each font keeps its own
// lock. A line belongs to the thread that made it.

#include <cstdint>

typedef double CGFloat;

typedef struct CTFontObject* CTFontRef;
typedef struct CTLineObject* CTLineRef;

enum CTFontUIFontType
{
  kCTFontUIFontLabel = 0
};

// Loads the system's font configuration and face list (some milliseconds of files
// in a new process) on a thread of its own, so that the first font made later waits
// for it less or not at all. Any thread; only the first call does anything.
void CTLoadFontEngineAhead();

// The face the name resolves to: a family name, a family name followed by " Bold"
// and/or " Italic", or the PostScript name of a face opened before. Sizes below 1 or
// not finite are refused. Null when no face at all can be opened.
CTFontRef CTFontCreateWithName(const char* name, CGFloat size);
// The engine's label font (sans serif) at the size; language is ignored.
CTFontRef CTFontCreateUIFontForLanguage(CTFontUIFontType type, CGFloat size, const char* language);
CTFontRef CTFontRetain(CTFontRef font);
void CTFontRelease(CTFontRef font);

CGFloat CTFontGetSize(CTFontRef font);
// Unrounded design metrics at the font's size; 0 for a null font.
CGFloat CTFontGetAscent(CTFontRef font);
CGFloat CTFontGetDescent(CTFontRef font);
CGFloat CTFontGetLeading(CTFontRef font);
// Writes the face's PostScript name, NUL-terminated and cut to fit, into buf;
// false (buf empty) when the face has none or the arguments are unusable.
bool CTFontCopyPostScriptName(CTFontRef font, char* buf, int bufSize);

// Lays out length bytes of text (a negative length reads to the NUL) as one line.
// Well-formed UTF-8 sequences are characters; any other byte stands for itself
// (Latin-1), so nothing is read past the given bytes and nothing makes the line
// fail. Control characters take no room; a tab is as wide as a space; a character
// the face lacks shows its missing-glyph box. Null only for a null font.
CTLineRef CTLineCreateWithUTF8(CTFontRef font, const char* text, int length);
void CTLineRelease(CTLineRef line);

// The line's width in pixels (a whole number: glyphs advance by whole pixels); the
// font's ascent, descent and leading go to the pointers given.
double CTLineGetTypographicBounds(CTLineRef line, CGFloat* ascent, CGFloat* descent, CGFloat* leading);

// Pixel memory to draw into and the rectangle (left and top inclusive, right and
// bottom exclusive) that drawing may touch; it is further cut to the memory's size.
struct CTPixelTarget
{
  void* pixels;
  int width, height;
  int rowBytes;
  int clipLeft, clipTop, clipRight, clipBottom;
};

// Draws the line with its pen starting at x on the baseline y. Each pixel of ink
// moves the pixel toward opaque (255, r, g, b) by its coverage. Without antialiasing
// coverage is either none or full.
void CTLineDraw(CTLineRef line, const CTPixelTarget* target, int x, int baseline, int r, int g, int b,
                bool antialias);

// A linear map of a line's own space (u along the baseline, v down) onto pixels:
// pixel x = xx u + xy v, pixel y = yx u + yy v (y down).
struct CTTextMatrix
{
  double xx, xy, yx, yy;
};

// Draws the line through the matrix, its pen starting at the pixel position (x,
// baseline) and moving by each advance through the matrix, each glyph's pen
// rounded to a whole pixel. The glyphs are rendered at the font's size times the
// matrix's scale (the square root of its determinant's size) and turned, sheared
// or mirrored by the rest of it, so under a plain scale they are the font's glyphs
// at the scaled size. A singular matrix, or one that would make glyphs over 8192
// pixels, draws nothing. Nothing drawn this way is cached.
void CTLineDrawTransformed(CTLineRef line, const CTPixelTarget* target, const CTTextMatrix& m, double x,
                           double baseline, int r, int g, int b, bool antialias);
