#include "GuiTestUtil.h"

#include "raster/cachedfont.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

// The line height the window system gives a font of this request, measured
// without the graphics object.
int lineHeightOf(int height, const char* face, int weight, char quality)
{
  LICE_CachedFont f;
  f.SetFromHFont(CreateFont(height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, quality, 0, face),
                 LICE_FONT_OWNSFONT | LICE_FONT_NATIVE);
  return f.GetLineHeight();
}

bool samePixels(LICE_IBitmap* a, LICE_IBitmap* b)
{
  if (a->getWidth() != b->getWidth() || a->getHeight() != b->getHeight()) return false;
  for (int y = 0; y < a->getHeight(); ++y)
    if (memcmp(a->getBits() + y * a->getRowSpan(), b->getBits() + y * b->getRowSpan(),
               (size_t)a->getWidth() * sizeof(LICE_PixelValue)) != 0)
      return false;
  return true;
}

}  // namespace

TEST(FontStoreTest, StylesDifferingOnlyInColourAlignmentOrQualityShareAFont)
{
  HeadlessGraphics g(nullptr);
  IText a(17, COLOR_RED, "Arial");
  IText b = a;
  b.mColor = COLOR_BLUE;
  b.mAlign = IText::kAlignFar;
  b.mVAlign = IText::kVAlignTop;
  b.mQuality = IText::kQualityNonAntiAliased;
  LICE_IFont* fa = g.CacheFont(&a);
  ASSERT_NE(fa, nullptr);
  EXPECT_EQ(a.mCached, fa);
  EXPECT_EQ(g.CacheFont(&b), fa);
  EXPECT_EQ(b.mCached, fa);

  // Any of size, style, orientation or face makes another font.
  IText other[4] = {a, a, a, a};
  other[0].mSize = 18;
  other[1].mStyle = IText::kStyleBold;
  other[2].mOrientation = 90;
  other[3].SetFont("Courier");
  for (IText& t : other)
  {
    t.mCached = nullptr;
    LICE_IFont* f = g.CacheFont(&t);
    ASSERT_NE(f, nullptr);
    EXPECT_NE(f, fa);
  }
  // Another graphics object shares the store.
  HeadlessGraphics second(nullptr);
  IText c(17, COLOR_GREEN, "Arial");
  EXPECT_EQ(second.CacheFont(&c), fa);
}

TEST(FontStoreTest, FontRequest)
{
  HeadlessGraphics g(nullptr);
  IText bold(23, COLOR_BLACK, "Verdana", IText::kStyleBold);
  IText italic(23, COLOR_BLACK, "Verdana", IText::kStyleItalic);
  const HGDIOBJ__* b = g.CacheFont(&bold)->GetHFont();
  const HGDIOBJ__* i = g.CacheFont(&italic)->GetHFont();
  EXPECT_STREQ(b->faceName, "Verdana Bold");
  EXPECT_STREQ(i->faceName, "Verdana Italic");

  // Quality 0, 1, 2, 3 and above become the window system's 0, 3, 4, 4 and 3.
  const struct
  {
    int quality;
    char expected;
  } cases[] = {{0, 0}, {1, 3}, {2, 4}, {3, 4}, {9, 3}};
  int size = 31;
  for (const auto& c : cases)
  {
    IText t(size++, COLOR_BLACK, "Verdana", IText::kStyleNormal, IText::kAlignNear, 0, c.quality);
    EXPECT_EQ(g.CacheFont(&t)->GetHFont()->quality, c.expected) << c.quality;
  }
}

TEST(FontStoreTest, SizeIsCorrectedOnceToTheLineHeight)
{
  HeadlessGraphics g(nullptr);
  for (int size : {12, 20})
  {
    IText t(size, COLOR_BLACK, "Consolas");
    LICE_IFont* f = g.CacheFont(&t);
    ASSERT_NE(f, nullptr);
    const int first = lineHeightOf(size, "Consolas", 400, 4);
    const int expected = first == size ? size : (int)((double)size * size / first + 0.5);
    EXPECT_FLOAT_EQ(f->GetHFont()->fontSize, (float)expected) << size << " first line height " << first;
  }
  // Size 1 asks for height 2, and corrects with 2 x 2 as numerator, never below 2.
  IText tiny(1, COLOR_BLACK, "Consolas");
  LICE_IFont* f = g.CacheFont(&tiny);
  ASSERT_NE(f, nullptr);
  const int first = lineHeightOf(2, "Consolas", 400, 4);
  int expected = first == 2 ? 2 : (int)(4.0 / first + 0.5);
  if (expected < 2) expected = 2;
  EXPECT_FLOAT_EQ(f->GetHFont()->fontSize, (float)expected);
}

class TextDrawingTest : public ::testing::Test
{
protected:
  void SetUp() override { g.PrepDraw(); }
  HeadlessGraphics g{nullptr, 200, 100};
};

TEST_F(TextDrawingTest, MeasuringAdjustsTheRectangleByAlignment)
{
  IText t(14, COLOR_BLACK, "Consolas", IText::kStyleNormal, IText::kAlignNear);
  char str[] = "Cutoff 127";
  LICE_IFont* f = g.CacheFont(&t);
  ASSERT_NE(f, nullptr);
  RECT m = {0, 0, 0, 0};
  f->DrawText(nullptr, str, -1, &m, DT_NOCLIP | DT_CALCRECT | DT_VCENTER);
  const int w = m.right, h = m.bottom;
  ASSERT_GT(w, 0);

  IRECT near(5, 7, 100, 50);
  EXPECT_TRUE(g.MeasureIText(&t, str, &near));
  EXPECT_EQ(near, IRECT(5, 7, 5 + w, 7 + h));

  t.mAlign = IText::kAlignCenter;
  IRECT centre(10, 7, 111, 50);
  g.MeasureIText(&t, str, &centre);
  EXPECT_EQ(centre.L, 60 - w / 2);
  EXPECT_EQ(centre.R, centre.L + w);

  t.mAlign = IText::kAlignFar;
  IRECT far(10, 7, 111, 50);
  g.MeasureIText(&t, str, &far);
  EXPECT_EQ(far, IRECT(111 - w, 7, 111, 7 + h));

  char empty[] = "";
  IRECT untouched(1, 2, 3, 4);
  EXPECT_TRUE(g.MeasureIText(&t, empty, &untouched));
  EXPECT_EQ(untouched, IRECT(1, 2, 3, 4));
}

TEST_F(TextDrawingTest, OpaqueTextIsDrawnNativelyTranslucentTextFromTheGlyphCache)
{
  for (int alpha : {255, 254})
  {
    IRECT all(0, 0, 200, 100);
    g.FillIRect(&COLOR_WHITE, &all);
    IText t(16, IColor(alpha, 200, 30, 40), "Consolas");
    char str[] = "Level 42";
    IRECT r(10, 10, 190, 60);
    EXPECT_TRUE(g.DrawIText(&t, str, &r));

    LICE_SysBitmap expected(200, 100);
    LICE_Clear(&expected, LICE_MakePixel(255, 255, 255, 255));
    LICE_IFont* f = t.mCached;
    ASSERT_NE(f, nullptr);
    f->SetTextColor(LICE_MakePixel(200, 30, 40, alpha));
    RECT er = {10, 10, 190, 60};
    const unsigned int route = alpha < 255 ? LICE_TEXT_COLORALPHA : 0;
    f->DrawText(&expected, str, -1, &er, DT_NOCLIP | DT_CENTER | DT_VCENTER | route);
    EXPECT_TRUE(samePixels(g.GetDrawBitmap(), &expected)) << alpha;

    // Something was drawn at all.
    LICE_SysBitmap blank(200, 100);
    LICE_Clear(&blank, LICE_MakePixel(255, 255, 255, 255));
    EXPECT_FALSE(samePixels(g.GetDrawBitmap(), &blank)) << alpha;
  }
}

TEST_F(TextDrawingTest, TextControlDrawsItsTextOnlyWhenItHasOne)
{
  IRECT all(0, 0, 200, 100);
  g.FillIRect(&COLOR_WHITE, &all);
  IText style(14, COLOR_BLACK, "Consolas");
  ITextControl line(nullptr, IRECT(0, 0, 200, 30), &style, "");
  EXPECT_FALSE(line.Draw(&g));
  LICE_SysBitmap blank(200, 100);
  LICE_Clear(&blank, LICE_MakePixel(255, 255, 255, 255));
  EXPECT_TRUE(samePixels(g.GetDrawBitmap(), &blank));

  line.SetClean();
  line.SetTextFromPlug("Set MIDI I/O First!");
  EXPECT_TRUE(line.IsDirty());
  EXPECT_TRUE(line.Draw(&g));
  EXPECT_FALSE(samePixels(g.GetDrawBitmap(), &blank));
  line.SetClean();
  line.SetTextFromPlug("Set MIDI I/O First!");
  EXPECT_FALSE(line.IsDirty());
  line.SetTextFromPlug(nullptr);
  EXPECT_STREQ(line.GetTextForPlug(), "");
}
