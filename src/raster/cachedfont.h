#pragma once
// The raster library's text renderer. A LICE_CachedFont wraps one window-system font
// and draws UTF-8 text into any bitmap, either natively (the whole string handed to
// the window system's text drawing) or from its glyph cache: each character is
// rendered once, white on black, into a shared temporary bitmap, kept as an 8-bit
// coverage mask, and afterwards blended with the font's colour, alpha and combine
// mode.
//
// Threads: none. Fonts and the two shared temporary bitmaps belong to the UI thread.

#include "base/heapbuf.h"
#include "raster/lice.h"
#include "winsys/text.h"

// Font flags, the second argument of SetFromHFont.
enum
{
  LICE_FONT_VERTICAL = 0x1,   // glyphs turned a quarter, text runs down the page
  LICE_FONT_BOTTOMUP = 0x2,   // with VERTICAL: the other way, text runs up
  LICE_FONT_PRECALC = 0x4,    // characters 0-127 rendered at binding; others never drawn
  LICE_FONT_BLUR = 0x10,
  LICE_FONT_INVERT = 0x20,
  LICE_FONT_MONO = 0x40,      // coverage cut to none or full
  LICE_FONT_SHADOW = 0x80,    // one-pixel shadow below and right, in the effect colour
  LICE_FONT_OUTLINE = 0x100,  // one-pixel outline, in the effect colour (SHADOW wins)
  LICE_FONT_OWNSFONT = 0x200, // the window-system font is deleted with the binding
  LICE_FONT_NATIVE = 0x400    // draw natively where the font and format allow
};

// Text-format flags of DrawText beyond the window system's DT_ flags.
const unsigned int LICE_TEXT_COLORALPHA = 0x40000000;  // cached drawing also uses the colour's alpha
const unsigned int LICE_TEXT_NOT_NATIVE = 0x80000000;  // never the font's native route

class LICE_IFont
{
public:
  virtual ~LICE_IFont() {}
  virtual void SetFromHFont(HGDIOBJ__* font, int flags = 0) = 0;
  // Each setter returns the value it replaces.
  virtual LICE_PixelValue SetTextColor(LICE_PixelValue color) = 0;
  virtual LICE_PixelValue SetBkColor(LICE_PixelValue color) = 0;
  virtual LICE_PixelValue SetEffectColor(LICE_PixelValue color) = 0;
  virtual int SetBkMode(int mode) = 0;
  virtual void SetCombineMode(int mode, float alpha = 1.0f) = 0;
  // Draws length bytes of text (negative: to the NUL; drawing also stops at a NUL)
  // in rect, or with DT_CALCRECT measures it into rect.right and rect.bottom. bitmap
  // may be null only when measuring. Returns the drawn height (the width for vertical
  // text), or what the window system's text drawing returned on the native route.
  virtual int DrawText(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect, unsigned int format) = 0;
  virtual LICE_PixelValue GetTextColor() = 0;
  virtual HGDIOBJ__* GetHFont() = 0;
  virtual int GetLineHeight() = 0;
};

class LICE_CachedFont : public LICE_IFont
{
public:
  LICE_CachedFont();
  ~LICE_CachedFont() override;
  LICE_CachedFont(const LICE_CachedFont&) = delete;
  LICE_CachedFont& operator=(const LICE_CachedFont&) = delete;

  // Binds a font (null allowed) and empties the glyph cache.
  void SetFromHFont(HGDIOBJ__* font, int flags = 0) override;
  LICE_PixelValue SetTextColor(LICE_PixelValue color) override;
  LICE_PixelValue SetBkColor(LICE_PixelValue color) override;
  LICE_PixelValue SetEffectColor(LICE_PixelValue color) override;
  int SetBkMode(int mode) override;
  void SetCombineMode(int mode, float alpha = 1.0f) override;
  int DrawText(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect, unsigned int format) override;
  LICE_PixelValue GetTextColor() override { return m_fg; }
  HGDIOBJ__* GetHFont() override { return m_font; }
  int GetLineHeight() override { return m_line_height; }

  // One glyph record. position: 0 not rendered, -1 failed or empty (skipped for
  // good), else 1 + the mask's byte offset in the coverage heap. A mask is width x
  // height coverage bytes, row by row from the top.
  struct charEnt
  {
    int position;
    int width, height;
    int advance;
    int charid;
  };

  // Renders one character into the cache; false only when it can never be cached
  // (line height above 1023, a character above 127 with LICE_FONT_PRECALC, no room
  // for its record). A failed rendering marks the record and returns true.
  bool RenderGlyph(unsigned short ch);
  // The record of a character, or null. The pointer is valid until the next
  // RenderGlyph, which may move the records.
  charEnt* findChar(unsigned short ch);
  // Blends a cached glyph with its top-left corner at (x, y), inside clip and the
  // bitmap; true when some part of it lies inside clip.
  bool DrawGlyph(LICE_IBitmap* bitmap, unsigned short ch, int x, int y, const RECT* clip);

protected:
  // What drawing glyphs needs of the bitmap and of the font's alpha, gathered once
  // for a whole text instead of for every glyph.
  struct GlyphTarget
  {
    LICE_IBitmap* bitmap;
    LICE_PixelValue* bits;
    int width, height, span;
    bool flipped;
    int weight;  // the font's alpha x 256, truncated
  };
  GlyphTarget glyphTarget(LICE_IBitmap* bitmap) const;
  bool drawGlyph(const GlyphTarget& target, const charEnt& rec, int x, int y, const RECT& clip);

  int DrawTextImpl(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect, unsigned int format);
  int DrawNative(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect, unsigned int format);
  int MeasureCached(const char* text, int length, RECT* rect, unsigned int format);
  int DrawCached(LICE_IBitmap* bitmap, const char* text, int length, RECT* rect, unsigned int format);
  // The rendered record of a character for measuring and drawing, rendering it when
  // needed; null when the character is to be skipped.
  const charEnt* glyphFor(unsigned short ch);
  void applyGlyphEffects(unsigned char* mask, int w, int h);
  static int _charSortFunc(const void* a, const void* b);

  LICE_PixelValue m_fg;
  LICE_PixelValue m_bg;
  LICE_PixelValue m_effectcol;
  int m_bgmode;
  int m_comb;
  float m_alpha;
  int m_flags;
  int m_line_height;
  charEnt m_lowchars[128];
  WDL_TypedBuf<charEnt> m_extracharlist;  // characters 128 and above, sorted by charid
  WDL_TypedBuf<unsigned char> m_cachestore;  // every mask, back to back
  HGDIOBJ__* m_font;
};
