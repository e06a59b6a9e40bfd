// The cached font: choice of path, glyph rendering flags, renderers, walking UTF-8
// text, and the faults mended in it.

#include "text_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

using namespace texttest;

namespace {

const LICE_PixelValue kBlack = LICE_MakePixel(0, 0, 0, 0);
const LICE_PixelValue kWhite = LICE_MakePixel(255, 255, 255, 255);

// A bitmap cleared to black and a cached font bound to a 13-pixel face.
struct Fixture
{
  LICE_SysBitmap bm;
  LICE_CachedFont font;
  Fixture(int flags, int quality = 3, int w = 200, int h = 60, int size = 13) : bm(w, h)
  {
    LICE_Clear(&bm, kBlack);
    font.SetFromHFont(makeFont(size, quality), flags | LICE_FONT_OWNSFONT);
    font.SetTextColor(kWhite);
  }
  int draw(const char* text, int length, RECT r, unsigned format = 0)
  {
    return font.DrawText(&bm, text, length, &r, format);
  }
  RECT measure(const char* text, int length = -1, unsigned format = 0)
  {
    RECT r = {0, 0, 0, 0};
    font.DrawText(nullptr, text, length, &r, format | DT_CALCRECT);
    return r;
  }
  std::string pixels() { return redPlane(&bm); }
  void clear() { LICE_Clear(&bm, kBlack); }
};

// An exactly sized heap copy without a terminating NUL.
const char* heapCopy(const std::string& s, std::unique_ptr<char[]>* owner)
{
  owner->reset(new char[s.size() ? s.size() : 1]);
  memcpy(owner->get(), s.data(), s.size());
  return owner->get();
}

TEST(CachedFont, FreshFontDrawsFromTheCacheWithTheDefaultFont)
{
  LICE_SysBitmap bm(60, 30);
  LICE_Clear(&bm, kBlack);
  LICE_CachedFont font;
  EXPECT_EQ(0, font.GetLineHeight());
  EXPECT_EQ(nullptr, font.GetHFont());
  font.SetTextColor(kWhite);
  RECT r = {2, 2, 60, 30};
  EXPECT_GT(font.DrawText(&bm, "A", -1, &r, 0), 0);
  EXPECT_NE(0, inkBox(&bm, kBlack).right);
  // Without a line height glyphs render in a 10 x 10 bitmap.
  const LICE_CachedFont::charEnt* a = font.findChar('A');
  ASSERT_TRUE(a);
  EXPECT_GT(a->position, 0);
  EXPECT_LE(a->width, 10);
  EXPECT_LE(a->height, 10);
}

TEST(CachedFont, BindingReadsTheLineHeightAndEmptiesTheCache)
{
  Fixture f(0);
  EXPECT_EQ(16, f.font.GetLineHeight());
  f.measure("Az");
  EXPECT_GT(f.font.findChar('A')->position, 0);
  f.font.SetFromHFont(f.font.GetHFont(), LICE_FONT_OWNSFONT);  // the same font again: still emptied
  EXPECT_EQ(0, f.font.findChar('A')->position);
  f.font.SetFromHFont(nullptr, 0);  // keeps the line height; the owned font is deleted
  EXPECT_EQ(16, f.font.GetLineHeight());
  EXPECT_EQ(nullptr, f.font.GetHFont());
}

// The editor's fonts draw opaque text natively and translucent text from the cache,
// both centred by the native measure.
TEST(CachedFont, NativeRouteAndColourAlphaRoute)
{
  Fixture native(LICE_FONT_NATIVE), cached(LICE_FONT_NATIVE);
  native.font.SetCombineMode(LICE_MODE_COPY, 0.5f);
  cached.font.SetCombineMode(LICE_MODE_COPY, 0.5f);
  const RECT r = {0, 0, 200, 60};
  EXPECT_EQ(17, native.draw("W", -1, r, DT_NOCLIP | DT_CENTER));
  EXPECT_EQ(17, cached.draw("W", -1, r, DT_NOCLIP | DT_CENTER | LICE_TEXT_COLORALPHA));
  // The native route ignores the font's alpha, the cache applies it.
  int nativeMax = 0, cachedMax = 0;
  for (char c : native.pixels()) nativeMax = std::max(nativeMax, (int)(unsigned char)c);
  for (char c : cached.pixels()) cachedMax = std::max(cachedMax, (int)(unsigned char)c);
  EXPECT_EQ(255, nativeMax);
  // Weight 128, full coverage 255 x 128 / 256 = 127: 255 + (0 - 255) x 129 / 256 = 127.
  EXPECT_EQ(127, cachedMax);
  const RECT a = inkBox(&native.bm, kBlack), b = inkBox(&cached.bm, kBlack);
  EXPECT_EQ(a.left, b.left);
  EXPECT_EQ(a.right, b.right);
  EXPECT_EQ(a.top, b.top);
  EXPECT_EQ(a.bottom, b.bottom);
}

TEST(CachedFont, ColourAlphaScalesTheFontsAlpha)
{
  Fixture f(0);
  f.font.SetTextColor(LICE_MakePixel(255, 255, 255, 0x80));
  EXPECT_GT(f.draw("#", -1, RECT{2, 2, 200, 60}, LICE_TEXT_COLORALPHA), 0);
  // Weight 128/255 x 256 = 128.5, truncated 128; full coverage weighs 255 x 128 / 256 =
  // 127; copying 255 onto 0 with weight 127 gives 255 - 255 x 129 / 256 = 127.
  EXPECT_GT(countRedInk(&f.bm, 127), 10);

  f.clear();
  f.font.SetTextColor(LICE_MakePixel(255, 255, 255, 0));
  EXPECT_EQ(0, f.draw("#", -1, RECT{2, 2, 200, 60}, LICE_TEXT_COLORALPHA));
  EXPECT_EQ(0, inkBox(&f.bm, kBlack).right);
}

TEST(CachedFont, LineBreaksAndSingleLine)
{
  Fixture a(0), b(0);
  a.draw("A\r\nB", -1, RECT{5, 5, 200, 60});
  b.draw("A", -1, RECT{5, 5, 200, 60});
  b.draw("B", -1, RECT{5, 5 + 16, 200, 60});
  EXPECT_TRUE(samePixels(&b.bm, &a.bm));

  a.clear();
  b.clear();
  a.draw("A\r\nB", -1, RECT{5, 5, 200, 60}, DT_SINGLELINE);
  b.draw("A B", -1, RECT{5, 5, 200, 60});
  EXPECT_TRUE(samePixels(&b.bm, &a.bm));
}

TEST(CachedFont, LengthsAndUTF8)
{
  struct Case
  {
    std::string text;
    int length;
    const char* same;
  } cases[] = {
    {std::string("ab\0cd", 5), -1, "ab"},
    {std::string("ab\0cd", 5), 5, "ab"},
    {"abc", 2, "ab"},
    {"\xC3\xA9x", 1, "\xC3\x83"},            // a cut sequence: its lead byte stands for itself
    {"a\xF0\x9F\x98\x80" "b", -1, "a b"},  // beyond 16 bits: a space
    {"\xC3\xA9\xE2\x82\xAC", -1, "\xC3\xA9\xE2\x82\xAC"},
    {"caf\xE9!", -1, "caf\xC3\xA9!"},     // a stray byte stands for itself
  };
  for (const Case& c : cases)
  {
    Fixture a(0), b(0);
    std::unique_ptr<char[]> buf;
    a.draw(c.length < 0 ? c.text.c_str() : heapCopy(c.text, &buf), c.length, RECT{1, 1, 200, 60});
    b.draw(c.same, -1, RECT{1, 1, 200, 60});
    EXPECT_TRUE(samePixels(&b.bm, &a.bm)) << c.same;
  }
}

// The decoder used to read continuation bytes past the given length; exactly sized
// buffers let the sanitizer catch any such read, on both routes.
TEST(CachedFont, NeverReadsPastTheGivenBytes)
{
  const std::string texts[] = {"\xC3", "ab\xE2\x82", "\xF0\x9F\x98", "x\xF4", "\xE2\x82\xAC\xE2"};
  for (int flags : {0, (int)LICE_FONT_NATIVE})
    for (const std::string& t : texts)
    {
      Fixture f(flags);
      std::unique_ptr<char[]> buf;
      const char* text = heapCopy(t, &buf);
      RECT m = {0, 0, 0, 0};
      f.font.DrawText(&f.bm, text, (int)t.size(), &m, DT_CALCRECT);
      EXPECT_GT(m.right, 0);
      EXPECT_GT(f.draw(text, (int)t.size(), RECT{0, 0, 200, 60}), 0);
    }
}

TEST(CachedFont, EmptyTextMeasuresNothing)
{
  Fixture f(0);
  for (int length : {-1, 0})
  {
    RECT r = {7, 9, 100, 100};
    EXPECT_EQ(0, f.font.DrawText(nullptr, length ? "" : "abc", length, &r, DT_CALCRECT));
    EXPECT_EQ(7, r.right);
    EXPECT_EQ(9, r.bottom);
  }
  RECT r = {0, 0, 10, 10};
  EXPECT_EQ(0, f.font.DrawText(nullptr, "abc", -1, &r, 0));  // drawing needs a bitmap
}

TEST(CachedFont, RectangleOutsideTheBitmapDrawsNothing)
{
  for (RECT r : {RECT{300, 0, 400, 50}, RECT{0, 70, 100, 90}, RECT{-50, -50, -1, -1}, RECT{50, 10, 40, 30}})
  {
    Fixture f(0);
    EXPECT_EQ(0, f.draw("Text", -1, r));
    EXPECT_EQ(0, inkBox(&f.bm, kBlack).right);
  }
}

TEST(CachedFont, OpaqueBackgroundFillsEachGlyphsBox)
{
  Fixture f(0);
  f.font.SetBkMode(1);
  f.font.SetBkColor(LICE_MakePixel(0, 0, 200, 255));
  f.draw(".", -1, RECT{10, 5, 200, 60});
  const LICE_CachedFont::charEnt* dot = f.font.findChar('.');
  const RECT ink = inkBox(&f.bm, kBlack);
  EXPECT_EQ(10, ink.left);
  EXPECT_EQ(5, ink.top);
  EXPECT_EQ(10 + dot->width, ink.right);
  EXPECT_EQ(5 + dot->height, ink.bottom);
  EXPECT_EQ(LICE_MakePixel(0, 0, 200, 255), LICE_GetPixel(&f.bm, 10, 5));
}

// Measuring gives the drawn extent: with an opaque background the boxes drawn are the
// measured rectangle, in every alignment.
TEST(CachedFont, MeasuringGivesTheDrawnExtent)
{
  for (const char* text : {"NK57 Monospace", "R W", "ab\ncdef\ngh", "\xC3\xA9t\xC3\xA9"})
    for (unsigned align : {0u, (unsigned)DT_CENTER, (unsigned)DT_RIGHT, (unsigned)(DT_VCENTER | DT_BOTTOM)})
    {
      Fixture f(0, 3, 300, 100);
      f.font.SetBkMode(1);
      f.font.SetBkColor(LICE_MakePixel(0, 0, 200, 255));
      const RECT m = f.measure(text, -1, align);
      const RECT area = {10, 10, 290, 90};
      f.draw(text, -1, area, align);
      const RECT ink = inkBox(&f.bm, kBlack);
      EXPECT_EQ(m.right, ink.right - ink.left) << text << " " << align;
      EXPECT_EQ(m.bottom, ink.bottom - ink.top) << text << " " << align;
    }
}

TEST(CachedFont, MonoCopiesTheColourWordOrBlendsWithTheAlpha)
{
  Fixture f(LICE_FONT_MONO, 4);
  const LICE_PixelValue colour = LICE_MakePixel(10, 20, 30, 0x37);
  f.font.SetTextColor(colour);
  f.draw("#", -1, RECT{2, 2, 200, 60});
  EXPECT_GT(countInk(&f.bm, kBlack, colour), 10);

  f.clear();
  f.font.SetCombineMode(LICE_MODE_COPY, 0.5f);
  f.draw("#", -1, RECT{2, 2, 200, 60});
  // Weight 128 toward (10, 20, 30) with alpha 255: 10 - 10 x 128 / 256 = 5, ...
  EXPECT_GT(countInk(&f.bm, kBlack, LICE_MakePixel(5, 10, 15, 128)), 10);
}

TEST(CachedFont, DrawGlyphClipEdges)
{
  Fixture f(0);
  ASSERT_TRUE(f.font.RenderGlyph('A'));
  const LICE_CachedFont::charEnt* a = f.font.findChar('A');
  const RECT clip = {20, 10, 60, 40};
  EXPECT_FALSE(f.font.DrawGlyph(&f.bm, 'A', 60, 15, &clip));             // touches the right edge
  EXPECT_FALSE(f.font.DrawGlyph(&f.bm, 'A', 20 - a->width, 15, &clip));  // touches the left edge
  EXPECT_FALSE(f.font.DrawGlyph(&f.bm, 'A', 30, 40, &clip));
  EXPECT_FALSE(f.font.DrawGlyph(&f.bm, 'A', 30, 10 - a->height, &clip));
  EXPECT_EQ(0, inkBox(&f.bm, kBlack).right);
  EXPECT_TRUE(f.font.DrawGlyph(&f.bm, 'A', 59, 15, &clip));
  EXPECT_FALSE(f.font.DrawGlyph(&f.bm, 'B', 30, 15, &clip));  // not rendered yet
  // A clip larger than the bitmap is cut to it.
  const RECT huge = {-1000, -1000, 1000, 1000};
  EXPECT_TRUE(f.font.DrawGlyph(&f.bm, 'A', 195, 55, &huge));
  EXPECT_TRUE(f.font.DrawGlyph(&f.bm, 'A', -3, -4, &huge));
}

bool inkAt(LICE_IBitmap* bm, int x, int y, LICE_PixelValue ink)
{
  return x >= 0 && y >= 0 && x < bm->getWidth() && y < bm->getHeight() && LICE_GetPixel(bm, x, y) == ink;
}

TEST(CachedFont, ShadowWinsOverOutline)
{
  const LICE_PixelValue effect = LICE_MakePixel(0, 255, 0, 255);
  const int flags[3] = {LICE_FONT_SHADOW, LICE_FONT_SHADOW | LICE_FONT_OUTLINE, LICE_FONT_OUTLINE};
  std::unique_ptr<Fixture> drawn[3];
  for (int i = 0; i < 3; ++i)
  {
    drawn[i].reset(new Fixture(flags[i], 4));
    Fixture& f = *drawn[i];
    f.font.SetEffectColor(effect);
    f.draw("N K 5", -1, RECT{3, 3, 200, 60});
    int edges = 0;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 200; ++x)
      {
        if (LICE_GetPixel(&f.bm, x, y) != effect) continue;
        ++edges;
        const bool shadowEdge = inkAt(&f.bm, x - 1, y, kWhite) || inkAt(&f.bm, x - 1, y - 1, kWhite) ||
                                inkAt(&f.bm, x, y - 1, kWhite);
        const bool outlineEdge = inkAt(&f.bm, x, y - 1, kWhite) || inkAt(&f.bm, x, y + 1, kWhite) ||
                                 inkAt(&f.bm, x - 1, y, kWhite) || inkAt(&f.bm, x + 1, y, kWhite);
        EXPECT_TRUE(flags[i] & LICE_FONT_SHADOW ? shadowEdge : outlineEdge) << x << "," << y;
      }
    EXPECT_GT(edges, 20);
  }
  EXPECT_TRUE(samePixels(&drawn[0]->bm, &drawn[1]->bm));
  EXPECT_FALSE(samePixels(&drawn[0]->bm, &drawn[2]->bm));
}

TEST(CachedFont, PrecalcRendersLowCharactersOnlyAndSkipsTheRest)
{
  Fixture a(LICE_FONT_PRECALC), b(LICE_FONT_PRECALC);
  for (int c = 32; c < 127; ++c) EXPECT_GT(a.font.findChar((unsigned short)c)->position, 0) << c;
  EXPECT_EQ(-1, a.font.findChar(1)->position);  // control characters take no room: failed for good
  EXPECT_FALSE(a.font.RenderGlyph(0xE9));
  a.draw("a\xC3\xA9z", -1, RECT{2, 2, 200, 60});
  b.draw("az", -1, RECT{2, 2, 200, 60});
  EXPECT_TRUE(samePixels(&b.bm, &a.bm));
  EXPECT_EQ(nullptr, a.font.findChar(0xE9));
}

TEST(CachedFont, InvertedMonoMaskIsTheComplement)
{
  Fixture plain(LICE_FONT_MONO), inverted(LICE_FONT_MONO | LICE_FONT_INVERT);
  plain.draw("x", -1, RECT{4, 4, 200, 60});
  inverted.draw("x", -1, RECT{4, 4, 200, 60});
  const LICE_CachedFont::charEnt* g = inverted.font.findChar('x');
  for (int y = 4; y < 4 + g->height; ++y)
    for (int x = 4; x < 4 + g->width; ++x)
      EXPECT_NE(inkAt(&plain.bm, x, y, kWhite), inkAt(&inverted.bm, x, y, kWhite)) << x << "," << y;
}

TEST(CachedFont, VerticalGlyphsAreTurnedAQuarter)
{
  for (bool bottomUp : {false, true})
  {
    Fixture h(LICE_FONT_MONO, 3, 100, 100), v(LICE_FONT_MONO | LICE_FONT_VERTICAL | (bottomUp ? LICE_FONT_BOTTOMUP : 0),
                                           3, 100, 100);
    h.draw("L", -1, RECT{0, 0, 100, 100});
    v.draw("L", -1, RECT{0, 0, 100, 100});
    const LICE_CachedFont::charEnt* hg = h.font.findChar('L');
    const LICE_CachedFont::charEnt* vg = v.font.findChar('L');
    ASSERT_EQ(hg->width, vg->height);
    ASSERT_EQ(hg->height, vg->width);
    const int ow = hg->width, oh = hg->height;
    int inked = 0;
    for (int i = 0; i < ow; ++i)
      for (int j = 0; j < oh; ++j)
      {
        const bool want = bottomUp ? inkAt(&h.bm, ow - 1 - i, j, kWhite) : inkAt(&h.bm, i, oh - 1 - j, kWhite);
        EXPECT_EQ(want, inkAt(&v.bm, j, i, kWhite)) << bottomUp << " " << i << "," << j;
        inked += want;
      }
    EXPECT_GT(inked, 5);
    RECT m = v.measure("LL");
    EXPECT_EQ(vg->width, m.right);
    EXPECT_EQ(vg->advance + vg->height, m.bottom);
  }
}

// Blurred glyphs: the golden picture holds them pixel for pixel.

TEST(CachedFont, HugeFontsDrawNativelyAndRenderNoGlyphs)
{
  LICE_CachedFont font;
  font.SetFromHFont(makeFont(1100), LICE_FONT_OWNSFONT | LICE_FONT_MONO);
  EXPECT_EQ(1281, font.GetLineHeight());  // 1021 + 259 + 1
  EXPECT_FALSE(font.RenderGlyph('A'));
  RECT r = {0, 0, 0, 0};
  EXPECT_EQ(1282, font.DrawText(nullptr, "A", -1, &r, DT_CALCRECT));  // measured natively
  EXPECT_EQ(662, r.right);  // 1233 x 1100 / 2048 = 662.2
}

// Each new character used to be rendered while a record pointer was held; the record
// table then grew and was re-sorted under it. Characters given in falling order make
// every insertion move the records, and enough of them make the table reallocate.
TEST(CachedFont, RecordsAreLookedUpAgainAfterRendering)
{
  std::string text;
  for (int c = 0x44F; c >= 0x410; --c) text += (char)(0xC0 | (c >> 6)), text += (char)(0x80 | (c & 0x3F));  // Cyrillic
  for (int c = 0x3A9; c >= 0x391; --c)
    if (c != 0x3A2) text += (char)(0xC0 | (c >> 6)), text += (char)(0x80 | (c & 0x3F));  // Greek capitals
  for (int c = 0x17F; c >= 0xA1; --c) text += (char)(0xC0 | (c >> 6)), text += (char)(0x80 | (c & 0x3F));
  Fixture cached(0, 3, 2600, 30), native(LICE_FONT_NATIVE, 3, 2600, 30);
  cached.draw(text.c_str(), -1, RECT{0, 0, 2600, 30});
  native.draw(text.c_str(), -1, RECT{0, 0, 2600, 30});
  EXPECT_TRUE(samePixels(&native.bm, &cached.bm));
  EXPECT_EQ(native.measure(text.c_str()).right, cached.measure(text.c_str()).right);
}

}  // namespace

namespace {

// The translucent text's faster renderer gives the bytes of the plain one: seeded
// strings, colours, alphas and backgrounds, drawn both ways.
TEST(CachedFont, FastRendererMatchesThePlainOne)
{
  std::mt19937 rng(4242);
  std::uniform_int_distribution<int> byte(0, 255), size(8, 26), coord(-6, 40);
  const char* texts[] = {"NK57 Monospace", "Program 001A", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", "WWW|||jjj", "a\nb"};
  for (int iter = 0; iter < 200; ++iter)
  {
    LICE_SysBitmap fast(120, 50), plain(120, 50);
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 120; ++x)
      {
        const LICE_PixelValue p = LICE_MakePixel(byte(rng), byte(rng), byte(rng), byte(rng));
        LICE_PutPixel(&fast, x, y, p, 1.0f, LICE_MODE_COPY);
        LICE_PutPixel(&plain, x, y, p, 1.0f, LICE_MODE_COPY);
      }
    LICE_CachedFont font;
    font.SetFromHFont(makeFont(size(rng), byte(rng) % 2 ? 3 : 4), LICE_FONT_OWNSFONT);
    font.SetTextColor(LICE_MakePixel(byte(rng), byte(rng), byte(rng), byte(rng)));
    font.SetCombineMode(LICE_MODE_COPY, iter % 4 == 0 ? 1.0f : byte(rng) / 200.0f);
    const char* text = texts[iter % 5];
    const unsigned format = iter % 3 ? LICE_TEXT_COLORALPHA : 0;
    const int x = coord(rng), y = coord(rng);
    RECT r = {x, y, 120, 50};
    font.DrawText(&fast, text, -1, &r, format);
    LICE_SetFastPaths(false);
    r = RECT{x, y, 120, 50};
    font.DrawText(&plain, text, -1, &r, format);
    LICE_SetFastPaths(true);
    ASSERT_TRUE(samePixels(&fast, &plain)) << iter;
  }
}

}  // namespace
