// Fonts and text drawing of the window-system layer: font requests, metrics, and
// SWELL_DrawText's flags, cuts and measuring form.
//
// Expected sizes come from DejaVu Sans Mono's design (2048 units an em, ascender
// 1901, descender 483, no line gap, advances rounding to 8 pixels at 13 pixels): at 13
// pixels ascent 12.07 and descent 3.07, so a line is floor(15.13 + 1.5) = 16 pixels and
// a single line measures 16 + 1 = 17.

#include "text_test_util.h"
#include "platform/coregraphics/cgdraw.h"
#include "winsys/gdi_draw.h"
#include "winsys/gdi_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace texttest;

namespace {

const LICE_PixelValue kBlack = LICE_MakePixel(0, 0, 0, 0);

// A system bitmap whose context has a font selected, white text on black.
struct Surface
{
  LICE_SysBitmap bm;
  HFONT font;
  explicit Surface(HFONT f, int w = 300, int h = 80) : bm(w, h), font(f)
  {
    LICE_Clear(&bm, kBlack);
    SelectObject(dc(), font);
    SetTextColor(dc(), 0xFFFFFF);
  }
  ~Surface()
  {
    SelectObject(dc(), (HGDIOBJ)(uintptr_t)SWELL_GDI_FONT);
    DeleteObject(font);
  }
  HDC dc() { return bm.getDC(); }
  int draw(const char* text, int length, RECT r, int flags) { return SWELL_DrawText(dc(), text, length, &r, flags); }
  RECT measure(const char* text, int length = -1, int flags = 0)
  {
    RECT r = {0, 0, 0, 0};
    SWELL_DrawText(dc(), text, length, &r, flags | DT_CALCRECT);
    return r;
  }
  std::string pixels() { return redPlane(&bm); }
  void clear() { LICE_Clear(&bm, kBlack); }
};

TEST(CreateFont, SizeComesFromHeightElseWidthWithinLimits)
{
  struct Case
  {
    int height, width;
    float size;
  } cases[] = {{-12, 0, 12}, {12, 0, 12}, {0, 0, 10}, {1, 0, 10}, {0, -14, 14}, {9000, 0, 10}, {8192, 0, 8192},
               {2, 0, 2}};
  for (const Case& c : cases)
  {
    HFONT f = CreateFont(c.height, c.width, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, kFace);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(c.size, f->fontSize) << c.height << " " << c.width;
    DeleteObject(f);
  }
}

TEST(CreateFont, MetricsFollowTheRequestedSize)
{
  struct Case
  {
    int height;
    TEXTMETRIC tm;
  } cases[] = {
    {13, {16, 12, 3, 0, 10}},          // 12.07 + 3.07: 15, average 10, then + 1
    {-12, {14, 11, 2, 0, 8}},          // 11.14 + 2.83
    {0, {12, 9, 2, 0, 7}},             // 10 pixels: 9.28 + 2.36
    {8192, {9537, 7604, 1932, 0, 6357}},
  };
  for (const Case& c : cases)
  {
    Surface s(makeFont(c.height));
    TEXTMETRIC tm;
    EXPECT_EQ(TRUE, GetTextMetrics(s.dc(), &tm));
    EXPECT_EQ(c.tm.tmHeight, tm.tmHeight) << c.height;
    EXPECT_EQ(c.tm.tmAscent, tm.tmAscent) << c.height;
    EXPECT_EQ(c.tm.tmDescent, tm.tmDescent) << c.height;
    EXPECT_EQ(c.tm.tmInternalLeading, tm.tmInternalLeading) << c.height;
    EXPECT_EQ(c.tm.tmAveCharWidth, tm.tmAveCharWidth) << c.height;
  }
}

TEST(CreateFont, BoldAndItalicAreAskedForByNameSuffixes)
{
  HFONT f = makeFont(13, 0, kFace, 700, 1);
  EXPECT_STREQ("NK57 Monospace Bold Italic", f->faceName);
  DeleteObject(f);

  Surface regular(makeFont(20)), bold(makeFont(20, 0, kFace, 700)), boldItalic(makeFont(20, 0, kFace, 700, 1));
  const RECT r = {2, 2, 300, 80};
  regular.draw("Monospace", -1, r, 0);
  bold.draw("Monospace", -1, r, 0);
  boldItalic.draw("Monospace", -1, r, 0);
  long inkRegular = 0, inkBold = 0;
  for (char c : regular.pixels()) inkRegular += (unsigned char)c;
  for (char c : bold.pixels()) inkBold += (unsigned char)c;
  EXPECT_GT(inkBold, inkRegular + inkRegular / 5);
  EXPECT_FALSE(samePixels(&bold.bm, &boldItalic.bm));
}

TEST(CreateFont, EmptyFaceNameStillDraws)
{
  Surface s(makeFont(13, 0, ""));
  EXPECT_EQ(17, s.draw("text", -1, RECT{0, 0, 300, 80}, 0));
  EXPECT_NE(0, inkBox(&s.bm, kBlack).right);
}

TEST(CreateFont, IndirectFormTakesTheRecordsFields)
{
  LOGFONT lf;
  memset(&lf, 0, sizeof lf);
  lf.lfHeight = -20;
  lf.lfWeight = 700;
  lf.lfQuality = 3;
  strcpy(lf.lfFaceName, "Monaco");
  HFONT f = CreateFontIndirect(&lf);
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(20.0f, f->fontSize);
  EXPECT_STREQ("Monaco Bold", f->faceName);
  EXPECT_EQ(3, f->quality);
  DeleteObject(f);

  memset(lf.lfFaceName, 'y', sizeof lf.lfFaceName);  // not terminated: all 32 bytes are the name
  f = CreateFontIndirect(&lf);
  EXPECT_EQ(std::string(32, 'y') + " Bold", f->faceName);
  DeleteObject(f);
  EXPECT_EQ(nullptr, CreateFontIndirect(nullptr));
}

TEST(CreateFont, QualityPicksAntialiasing)
{
  struct Case
  {
    int quality;
    int stored;
    bool smooth;
  } cases[] = {{3, 3, false}, {4, 4, true}, {0, 0, true}, {5, 0, true}, {1, 0, true}};
  for (const Case& c : cases)
  {
    Surface s(makeFont(15, c.quality));
    EXPECT_EQ(c.stored, s.font->quality);
    s.draw("NK57 Monospace", -1, RECT{0, 0, 300, 80}, 0);
    EXPECT_EQ(c.smooth, partlyCovered(&s.bm) > 0) << c.quality;
  }
}

TEST(GetTextMetrics, DefaultsForMissingArguments)
{
  TEXTMETRIC tm;
  memset(&tm, 0x55, sizeof tm);
  EXPECT_EQ(FALSE, GetTextMetrics(nullptr, &tm));
  EXPECT_EQ(16, tm.tmHeight);
  EXPECT_EQ(12, tm.tmAscent);
  EXPECT_EQ(4, tm.tmDescent);
  EXPECT_EQ(3, tm.tmInternalLeading);
  EXPECT_EQ(10, tm.tmAveCharWidth);

  LICE_SysBitmap bm(4, 4);
  EXPECT_EQ(FALSE, GetTextMetrics(bm.getDC(), nullptr));

  HDC gone = SWELL_CreateMemContext(nullptr, 4, 4);
  SWELL_DeleteGfxContext(gone);
  memset(&tm, 0x55, sizeof tm);
  EXPECT_EQ(FALSE, GetTextMetrics(gone, &tm));
  EXPECT_EQ(16, tm.tmHeight);
  RECT r = {1, 2, 3, 4};
  EXPECT_EQ(0, SWELL_DrawText(gone, "x", -1, &r, DT_CALCRECT));
  EXPECT_EQ(3, r.right);
  EXPECT_EQ(0, SWELL_DrawText(nullptr, "x", -1, &r, 0));
}

TEST(GetTextMetrics, WithoutAUsableFontTheLabelFontServes)
{
  LICE_SysBitmap bm(100, 30);
  TEXTMETRIC none, deleted;
  GetTextMetrics(bm.getDC(), &none);
  EXPECT_GE(none.tmHeight, 10);
  EXPECT_LE(none.tmHeight, 14);

  HFONT f = makeFont(30);
  SelectObject(bm.getDC(), f);
  DeleteObject(f);  // still selected, now freed: no font
  GetTextMetrics(bm.getDC(), &deleted);
  EXPECT_EQ(0, memcmp(&none, &deleted, sizeof none));
  RECT r = {0, 0, 100, 30};
  EXPECT_GT(SWELL_DrawText(bm.getDC(), "label", -1, &r, 0), none.tmHeight);
  SelectObject(bm.getDC(), (HGDIOBJ)(uintptr_t)SWELL_GDI_FONT);
}

TEST(DrawText, AmpersandPrefixes)
{
  Surface a(makeFont(13)), b(makeFont(13));
  const RECT r = {1, 1, 300, 80};
  struct Case
  {
    const char* text;
    int flags;
    const char* same;
  } cases[] = {
    {"a&b", 0, "ab"}, {"a&&b", 0, "a&b"}, {"a&", 0, "a"}, {"&", 0, ""}, {"a&b", DT_NOPREFIX, "a&b"},
  };
  for (const Case& c : cases)
  {
    a.clear();
    b.clear();
    a.draw(c.text, -1, r, c.flags);
    b.draw(c.same, -1, r, DT_NOPREFIX);
    EXPECT_TRUE(samePixels(&a.bm, &b.bm)) << c.text;
    EXPECT_EQ(b.measure(c.same, -1, DT_NOPREFIX).right, a.measure(c.text, -1, c.flags).right) << c.text;
  }
  EXPECT_EQ(24, a.measure("a&b", -1, DT_NOPREFIX).right);
}

TEST(DrawText, LineBreaks)
{
  Surface a(makeFont(13)), b(makeFont(13));
  // Measured: 16 a line and 1; drawn, the second line starts the rounded line
  // height further down: 15 at size 13, not 16.
  EXPECT_EQ(16 + 16 + 1, a.draw("one\r\ntwo", -1, RECT{3, 2, 300, 80}, 0));
  b.draw("one", -1, RECT{3, 2, 300, 80}, 0);
  b.draw("two", -1, RECT{3, 2 + 15, 300, 80}, 0);
  EXPECT_TRUE(samePixels(&b.bm, &a.bm));

  a.clear();
  b.clear();
  EXPECT_EQ(17, a.draw("one\r\ntwo", -1, RECT{3, 2, 300, 80}, DT_SINGLELINE));
  b.draw("one two", -1, RECT{3, 2, 300, 80}, 0);
  EXPECT_TRUE(samePixels(&b.bm, &a.bm));

  // A final line feed begins no line; an empty line in between counts.
  EXPECT_EQ(17, a.measure("one\n").bottom);
  EXPECT_EQ(49, a.measure("one\n\ntwo").bottom);
  EXPECT_EQ(48, a.measure("one\nlonger").right);
}

// Text is cut at 4095 bytes, given a length or not. Cutting at a fixed byte count used
// to split the last character; the cut now falls before it.
TEST(DrawText, LongTextIsCutAt4095BytesNeverInsideACharacter)
{
  Surface s(makeFont(13));
  const std::string text(5000, 'x');
  EXPECT_EQ(4095 * 8, s.measure(text.c_str()).right);
  EXPECT_EQ(4095 * 8, s.measure(text.c_str(), 5000).right);
  for (const char* tail : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"})
    for (int lead = 4092; lead <= 4095; ++lead)
    {
      const std::string text = std::string(lead, 'x') + tail;
      const int whole = lead + (int)strlen(tail) <= 4095 ? 1 : 0;
      EXPECT_EQ((lead + whole) * 8, s.measure(text.c_str()).right) << lead << " " << strlen(tail);
    }
}

TEST(DrawText, EmptyTextLeavesTheRectangleAlone)
{
  Surface s(makeFont(13));
  for (const char* text : {"", "\r", "&", "\r\r&"})
  {
    RECT r = {5, 6, 7, 8};
    EXPECT_EQ(0, SWELL_DrawText(s.dc(), text, -1, &r, DT_CALCRECT)) << text;
    EXPECT_EQ(7, r.right);
    EXPECT_EQ(8, r.bottom);
  }
  RECT r = {5, 6, 7, 8};
  EXPECT_EQ(0, SWELL_DrawText(s.dc(), "abc", 0, &r, DT_CALCRECT));
  EXPECT_EQ(0, SWELL_DrawText(s.dc(), nullptr, -1, &r, DT_CALCRECT));
  EXPECT_EQ(0, SWELL_DrawText(s.dc(), "abc", -1, nullptr, DT_CALCRECT));
  EXPECT_EQ(7, r.right);
}

TEST(DrawText, LengthCountsBytesAndStopsAtTheNul)
{
  Surface s(makeFont(13));
  EXPECT_EQ(16, s.measure("abc", 2).right);
  EXPECT_EQ(8, s.measure("a\0bc", 4).right);
  EXPECT_EQ(24, s.measure("abc", -7).right);
}

TEST(DrawText, RightBeatsCentreAndBottomBeatsVerticalCentre)
{
  Surface a(makeFont(13)), b(makeFont(13));
  const RECT r = {10, 10, 250, 70};
  a.draw("align", -1, r, DT_RIGHT | DT_CENTER | DT_BOTTOM | DT_VCENTER);
  b.draw("align", -1, r, DT_RIGHT | DT_BOTTOM);
  EXPECT_TRUE(samePixels(&b.bm, &a.bm));
  const RECT ink = inkBox(&a.bm, kBlack);
  EXPECT_LE(ink.right, 250);
  EXPECT_GT(ink.right, 250 - 8);
}

// The measuring form gives the size that drawing fills: with an opaque background the
// filled boxes are exactly the measured rectangle, placed by the alignment flags. (At
// these sizes no glyph's ink reaches past its advance; see the next test.)
TEST(DrawText, MeasuringGivesTheDrawnExtent)
{
  const char* texts[] = {"NK57 Monospace", "ab\ncdef\ngh", "x", "tab\there", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"};
  const int aligns[] = {0, DT_CENTER, DT_RIGHT, DT_VCENTER, DT_BOTTOM, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM};
  for (int size : {11, 13, 16})
    for (const char* text : texts)
      for (int align : aligns)
      {
        Surface s(makeFont(size, size == 13 ? 3 : 4), 400, 200);
        SetBkMode(s.dc(), 1);
        SetBkColor(s.dc(), 0x204060);
        const RECT area = {20, 15, 380, 190};
        const RECT m = s.measure(text, -1, align);
        const int w = m.right, h = m.bottom;
        const int H = s.draw(text, -1, area, align);
        EXPECT_EQ(h, H);
        int x = area.left, y = area.top;
        if (align & DT_RIGHT) x = area.right - w;
        else if (align & DT_CENTER) x = area.left + (area.right - area.left) / 2 - w / 2;
        if (align & DT_BOTTOM) y = area.bottom - h;
        else if (align & DT_VCENTER) y = area.top + (area.bottom - area.top) / 2 - h / 2;
        const RECT ink = inkBox(&s.bm, kBlack);
        EXPECT_EQ(x, ink.left) << text << " " << size << " " << align;
        EXPECT_EQ(y, ink.top) << text << " " << size << " " << align;
        EXPECT_EQ(x + w, ink.right) << text << " " << size << " " << align;
        // Several lines advance by the rounded line height, one pixel less than the
        // measured one, and their boxes are that high: the drawn block ends 1 + n
        // pixels above the measured bottom.
        int lines = 1;
        for (const char* c = text; *c; ++c) lines += *c == '\n';
        EXPECT_EQ(y + h - (lines > 1 ? 1 + lines : 0), ink.bottom) << text << " " << size << " " << align;
      }
}

// Glyphs advance by whole pixels, so where a face's advance rounds down a glyph's ink
// may reach one column past it (DejaVu Sans Mono's W at 14 pixels, R without
// antialiasing at 13); otherwise ink stays within the measured rectangle.
TEST(DrawText, InkLiesWithinTheMeasuredRectangle)
{
  for (int quality : {3, 4})
    for (int size : {8, 9, 12, 13, 14, 17, 24, 31})
    {
      Surface s(makeFont(size, quality), 900, 100);
      const char* text = "RWjg|_^ NK57 Monospace {}[] WR";
      const RECT m = s.measure(text);
      s.draw(text, -1, RECT{10, 10, 900, 100}, 0);
      const RECT ink = inkBox(&s.bm, kBlack);
      EXPECT_GE(ink.left, 10) << size;
      EXPECT_GE(ink.top, 10) << size;
      EXPECT_LE(ink.right, 10 + m.right + 1) << size;
      EXPECT_LE(ink.bottom, 10 + m.bottom) << size;
    }
}

TEST(DrawText, ClipsToTheRectangleUnlessAskedNotTo)
{
  Surface clipped(makeFont(20)), unclipped(makeFont(20));
  const RECT r = {10, 10, 40, 20};
  clipped.draw("WWWWWWWW", -1, r, 0);
  unclipped.draw("WWWWWWWW", -1, r, DT_NOCLIP);
  const RECT a = inkBox(&clipped.bm, kBlack), b = inkBox(&unclipped.bm, kBlack);
  EXPECT_GE(a.left, 10);
  EXPECT_GE(a.top, 10);
  EXPECT_LE(a.right, 40);
  EXPECT_LE(a.bottom, 20);
  EXPECT_GT(b.right, 40);
  EXPECT_GT(b.bottom, 20);
}

// A rectangle clipped under a turn keeps its shape: the clip holds exactly the
// pixels whose centres, taken back through the turn, lie inside the rectangle. Every
// way of drawing leaves those pixels as it draws them without a clip and the others
// untouched, after a save and restore around another clip, with an upright clip set
// after or before the turned one, at any turn; text clips to its own rectangle too.
TEST(DrawText, ClipsToTheTurnedRectangleUnderATurn)
{
  const int n = 200;
  const RECT r = {-40, -12, 40, 12};  // the text's rectangle
  const CGRect text = CGRectMake(r.left, r.top, r.right - r.left, r.bottom - r.top);
  const CGRect turned = CGRectMake(-30, -20, 80, 40);  // the clip set under the turn
  const CGRect inner = CGRectMake(-10, -40, 20, 80);    // another one, saved around
  const CGRect upright = CGRectMake(70, 60, 60, 70);    // in pixels, set unturned
  enum Setup { kTurned, kInnerRestored, kTurnedRestored, kUprightAfter, kUprightBefore };
  const char* const setups[] = {"turned", "inner turned clip restored", "turned clip restored off an upright one",
                                "upright clip after it", "upright clip before it"};
  enum Kind { kText, kOpaqueText, kFill, kUprightFill, kEllipse, kImage, kAlphaBlit, kImageInRect };
  const char* const kinds[] = {"text", "text on its background", "fill", "upright fill", "ellipse", "image blit",
                               "blit by alpha", "image in a rectangle"};
  // A white source for the images, drawn scaled over the whole context.
  HDC src = SWELL_CreateMemContext(nullptr, 8, 8);
  CGContextSetRGBFillColor(SWELL_GetCtxGC(src), 1, 1, 1, 1);
  CGContextFillRect(SWELL_GetCtxGC(src), CGRectMake(0, 0, 8, 8));
  const std::vector<unsigned char> white(8 * 8 * 4, 0xFF);
  HGDIOBJ icon = CreateBitmap(8, 8, 1, 32, white.data());
  for (int degrees : {30, 45, 90, 180, 330})
    for (Setup setup : {kTurned, kInnerRestored, kTurnedRestored, kUprightAfter, kUprightBefore})
      for (Kind kind : {kText, kOpaqueText, kFill, kUprightFill, kEllipse, kImage, kAlphaBlit, kImageInRect})
      {
        const bool quarter = degrees % 90 == 0;
        auto exact = [&](double v) { return quarter ? std::round(v) : v; };
        const double c = exact(std::cos(degrees * M_PI / 180)), s = exact(std::sin(degrees * M_PI / 180));
        // The turn about the middle, and back: the way back leaves no turn at all.
        const CGAffineTransform turn = {c, s, -s, c, n / 2, n / 2}, back = {c, -s, s, c, 0, 0};
        // The reference: pixel (x, y)'s centre, as is or taken back through the turn,
        // inside the rectangle (no centre lies on an edge at these turns).
        auto in = [](double u, double v, CGRect k) {
          return u > k.origin.x && u < k.origin.x + k.size.width && v > k.origin.y && v < k.origin.y + k.size.height;
        };
        auto inTurned = [&](int x, int y, CGRect k) {
          const double dx = x + 0.5 - n / 2, dy = y + 0.5 - n / 2;
          return in(c * dx + s * dy, -s * dx + c * dy, k);
        };
        auto inClip = [&](int x, int y) {
          if ((kind == kText || kind == kOpaqueText) && !inTurned(x, y, text)) return false;
          const bool byTurned = setup != kTurnedRestored, byUpright = setup >= kTurnedRestored;
          return (!byTurned || inTurned(x, y, turned)) && (!byUpright || in(x + 0.5, y + 0.5, upright));
        };
        // Drawn clipped, and as it is without a clip.
        Surface clipped(makeFont(30), n, n), whole(makeFont(30), n, n);
        for (Surface* f : {&clipped, &whole})
        {
          CGContextRef gc = SWELL_GetCtxGC(f->dc());
          const bool clip = f == &clipped;
          auto clipTurned = [&](CGRect k) {
            CGContextConcatCTM(gc, turn);
            CGContextClipToRect(gc, k);
            CGContextConcatCTM(gc, back);
            CGContextTranslateCTM(gc, -n / 2, -n / 2);
          };
          if (clip)
          {
            if (setup == kUprightBefore || setup == kTurnedRestored) CGContextClipToRect(gc, upright);
            if (setup == kTurnedRestored) CGContextSaveGState(gc);
            clipTurned(turned);
            if (setup == kTurnedRestored) CGContextRestoreGState(gc);
            if (setup == kInnerRestored) CGContextSaveGState(gc), clipTurned(inner), CGContextRestoreGState(gc);
            if (setup == kUprightAfter) CGContextClipToRect(gc, upright);
          }
          CGContextSetRGBFillColor(gc, 1, 1, 1, 1);
          const RECT all = {0, 0, n, n};
          switch (kind)
          {
            case kText:
            case kOpaqueText:
              CGContextConcatCTM(gc, turn);
              SetBkMode(f->dc(), kind == kOpaqueText ? 1 : 0);
              SetBkColor(f->dc(), 0x204060);
              f->draw("WWWWWWWW", -1, r, clip ? 0 : DT_NOCLIP);
              break;
            case kFill:
              CGContextConcatCTM(gc, turn);
              CGContextFillRect(gc, CGRectMake(-n, -n, 2 * n, 2 * n));
              break;
            case kUprightFill: CGContextFillRect(gc, CGRectMake(0, 0, n, n)); break;
            case kEllipse: CGContextFillEllipseInRect(gc, CGRectMake(-n / 4, -n / 4, 1.5 * n, 1.5 * n)); break;
            case kImage: StretchBlt(f->dc(), 0, 0, n, n, src, 0, 0, 8, 8, 0); break;
            case kAlphaBlit: StretchBlt(f->dc(), 0, 0, n, n, src, 0, 0, 8, 8, SWELL_BLT_SOURCE_ALPHA); break;
            case kImageInRect: DrawImageInRect(f->dc(), icon, &all); break;
          }
        }
        int inked = 0, wrong = 0, beyond = 0;
        for (int y = 0; y < n; ++y)
          for (int x = 0; x < n; ++x)
          {
            const LICE_PixelValue got = LICE_GetPixel(&clipped.bm, x, y), drawn = LICE_GetPixel(&whole.bm, x, y);
            inked += got != kBlack;
            wrong += got != (inClip(x, y) ? drawn : kBlack);
            beyond += drawn != kBlack && !inClip(x, y);
          }
        const std::string what = std::to_string(degrees) + " degrees, " + setups[setup] + ", " + kinds[kind];
        EXPECT_EQ(0, wrong) << what;
        EXPECT_GT(inked, kind == kText ? 200 : 1000) << what;
        EXPECT_GT(beyond, 200) << what << ": unclipped, it reaches past the clip";
      }
  DeleteObject(icon);
  SWELL_DeleteGfxContext(src);
}

TEST(DrawText, TextNeverLeavesTheContextsPixels)
{
  // Text placed across every edge of a small context: the sanitizer sees any stray write.
  Surface s(makeFont(40), 30, 20);
  SetBkMode(s.dc(), 1);
  for (int x : {-60, -5, 10, 25, 29, 100})
    for (int y : {-40, -3, 5, 19, 60})
      s.draw("Wg\nWg", -1, RECT{x, y, x + 200, y + 200}, DT_NOCLIP);
  EXPECT_NE(0, inkBox(&s.bm, kBlack).right);
}

// Text goes through the context's transform as fills do: under a scale of 2 the
// glyphs are the font's own at twice the size in twice the place; under a quarter
// or half turn every pixel of the plain picture, background box included, turns
// with the context (within a few levels: turned outlines round a little otherwise).
TEST(DrawText, FollowsTheContextsTransform)
{
  const int n = 240;
  const RECT area = {10, 10, 110, 40};
  // map: the plain picture's pixel (x, y) lands on (m0 x + m1 y + m2, m3 x + m4 y + m5); k: its scale.
  struct Case { const char* what; CGAffineTransform t; int k; int map[6]; } cases[] = {
      {"scale 2", {2, 0, 0, 2, 0, 0}, 2, {1, 0, 0, 0, 1, 0}},
      {"quarter turn", {0, 1, -1, 0, 120, 0}, 1, {0, -1, 119, 1, 0, 0}},
      {"half turn", {-1, 0, 0, -1, n, n}, 1, {-1, 0, n - 1, 0, -1, n - 1}},
      // x and y swapped: y points up, so the text's own space is mirrored back and the
      // upright picture is turned a quarter clockwise, its top at the box's bottom edge.
      {"flipped and turned", {0, 1, 1, 0, 0, 0}, 1, {0, -1, 2 * area.top + 17 /* the line measured */ - 1, 1, 0, 0}},
  };
  for (const Case& c : cases)
  {
    const int k = c.k;
    Surface plain(makeFont(13 * k), n, n), turned(makeFont(13), n, n);
    // The background box is the measured one, which does not scale with the font.
    for (Surface* s : {&plain, &turned})
      SetBkMode(s->dc(), k == 1 ? 1 : 0), SetBkColor(s->dc(), 0x204060);
    plain.draw("Rudu 57", -1, RECT{area.left * k, area.top * k, area.right * k, area.bottom * k}, DT_CENTER);
    CGContextConcatCTM(SWELL_GetCtxGC(turned.dc()), c.t);
    turned.draw("Rudu 57", -1, area, DT_CENTER);
    int differ = 0, ink = 0;
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x)
      {
        const LICE_PixelValue p = LICE_GetPixel(&plain.bm, x, y);
        ink += p != kBlack;
        const int tx = c.map[0] * x + c.map[1] * y + c.map[2], ty = c.map[3] * x + c.map[4] * y + c.map[5];
        differ += std::abs(LICE_PixelR(p) - LICE_PixelR(LICE_GetPixel(&turned.bm, tx, ty))) > 12;
      }
    EXPECT_GT(ink, 500) << c.what;
    EXPECT_EQ(0, differ) << c.what;
  }
}

TEST(DrawText, TextColourComesFromTheContext)
{
  Surface s(makeFont(13, 3));
  SetTextColor(s.dc(), 0x336699);
  s.draw("#", -1, RECT{0, 0, 50, 30}, 0);
  EXPECT_GT(countInk(&s.bm, kBlack, LICE_MakePixel(0x33, 0x66, 0x99, 255)), 10);
}

}  // namespace

namespace {

// The font cache is shared: threads that open and use fonts at once, each drawing on
// its own context, get the pictures a single thread gets.
TEST(DrawText, ThreadsShareTheFontCache)
{
  auto drawSet = [](int seed, LICE_SysBitmap* bm) {
    LICE_Clear(bm, kBlack);
    for (int k = 0; k < 12; ++k)
    {
      HFONT font = makeFont(9 + (seed + k) % 11, k % 2 ? 3 : 4, k % 3 ? kFace : "Monaco", k % 4 ? 400 : 700);
      SelectObject(bm->getDC(), font);
      SetTextColor(bm->getDC(), 0xFFFFFF);
      RECT r = {2, 2 + k * 10, 300, 200};
      SWELL_DrawText(bm->getDC(), "NK57 Monospace", -1, &r, 0);
      SelectObject(bm->getDC(), (HGDIOBJ)(uintptr_t)SWELL_GDI_FONT);
      DeleteObject(font);
    }
  };
  std::unique_ptr<LICE_SysBitmap> together[4], alone[4];
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
  {
    together[t].reset(new LICE_SysBitmap(300, 200));
    alone[t].reset(new LICE_SysBitmap(300, 200));
    threads.emplace_back([&, t] { drawSet(t * 5, together[t].get()); });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; ++t)
  {
    drawSet(t * 5, alone[t].get());
    EXPECT_TRUE(samePixels(together[t].get(), alone[t].get())) << t;
  }
}

}  // namespace
