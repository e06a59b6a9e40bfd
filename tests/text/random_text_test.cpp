// Seeded random text through every route: malformed UTF-8, prefixes, line breaks and
// NULs in exactly sized buffers, rectangles in and out of small bitmaps, all font flags.
// The sanitizers catch any read past a buffer or write past a bitmap; the checks below
// catch measuring that disagrees with drawing.

#include "text_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

using namespace texttest;

namespace {

std::string randomText(std::mt19937& rng)
{
  static const unsigned char specials[] = {'&', '\r', '\n', '\t', 0, 0x80, 0xBF, 0xC2, 0xC3, 0xDF, 0xE0, 0xE2,
                                           0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0xA9, 0x82, 0xAC};
  std::uniform_int_distribution<int> len(0, 24), kind(0, 9), ascii(32, 126),
      special(0, (int)sizeof(specials) - 1);
  std::string s;
  const int n = len(rng);
  for (int i = 0; i < n; ++i)
  {
    const int k = kind(rng);
    s.push_back(k < 6 ? (char)ascii(rng) : (char)specials[special(rng)]);
  }
  return s;
}

TEST(RandomText, WindowSystemDrawingMeasuresWhatItDraws)
{
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int> coord(-40, 80), flagBits(0, 0x1FF), size(6, 30), quality(0, 4);
  LICE_SysBitmap bm(64, 32);
  for (int iter = 0; iter < 3000; ++iter)
  {
    const std::string text = randomText(rng);
    std::unique_ptr<char[]> buf(new char[text.size() + 1]);
    memcpy(buf.get(), text.data(), text.size());
    buf[text.size()] = 0;
    const bool terminated = iter % 3 == 0;
    const int length = terminated ? -1 : (int)text.size();

    HFONT font = makeFont(size(rng), quality(rng));
    SelectObject(bm.getDC(), font);
    SetBkMode(bm.getDC(), iter % 2);
    const int flags = flagBits(rng) & ~DT_CALCRECT;
    RECT m = {0, 0, 0, 0};
    const int measured = SWELL_DrawText(bm.getDC(), buf.get(), length, &m, flags | DT_CALCRECT);
    const int x = coord(rng), y = coord(rng);
    RECT r = {x, y, x + coord(rng), y + coord(rng)};
    EXPECT_EQ(measured, SWELL_DrawText(bm.getDC(), buf.get(), length, &r, flags)) << iter;
    SelectObject(bm.getDC(), (HGDIOBJ)(uintptr_t)SWELL_GDI_FONT);
    DeleteObject(font);
  }
}

TEST(RandomText, CachedFontRoutesStayInsideTheirBuffers)
{
  std::mt19937 rng(977);
  std::uniform_int_distribution<int> coord(-40, 80), size(6, 24), quality(0, 4), pick(0, 15);
  const int fontFlags[] = {0, LICE_FONT_NATIVE, LICE_FONT_MONO, LICE_FONT_SHADOW, LICE_FONT_OUTLINE,
                           LICE_FONT_VERTICAL, LICE_FONT_VERTICAL | LICE_FONT_BOTTOMUP, LICE_FONT_BLUR,
                           LICE_FONT_INVERT, LICE_FONT_PRECALC, LICE_FONT_NATIVE | LICE_FONT_MONO};
  const unsigned formats[] = {0, DT_CENTER, DT_RIGHT | DT_BOTTOM, DT_VCENTER, DT_SINGLELINE, DT_NOCLIP,
                              LICE_TEXT_COLORALPHA, LICE_TEXT_NOT_NATIVE | DT_CENTER};
  LICE_SysBitmap sys(48, 24);
  LICE_MemBitmap mem(48, 24);
  for (int iter = 0; iter < 1000; ++iter)
  {
    LICE_CachedFont font;
    font.SetFromHFont(makeFont(size(rng), quality(rng)),
                      LICE_FONT_OWNSFONT | fontFlags[rng() % (sizeof fontFlags / sizeof *fontFlags)]);
    font.SetTextColor(LICE_MakePixel(200, 100, 50, pick(rng) * 17));
    font.SetBkMode(iter % 2);
    font.SetCombineMode(pick(rng) % 7, pick(rng) / 15.0f);
    for (int k = 0; k < 4; ++k)
    {
      const std::string text = randomText(rng);
      std::unique_ptr<char[]> buf(new char[text.size() ? text.size() : 1]);
      memcpy(buf.get(), text.data(), text.size());
      const unsigned format = formats[rng() % (sizeof formats / sizeof *formats)];
      LICE_IBitmap* bm = k % 2 ? (LICE_IBitmap*)&sys : (LICE_IBitmap*)&mem;
      RECT m = {0, 0, 0, 0};
      font.DrawText(bm, buf.get(), (int)text.size(), &m, format | DT_CALCRECT);
      EXPECT_GE(m.right, 0);
      EXPECT_GE(m.bottom, 0);
      const int x = coord(rng), y = coord(rng);
      RECT r = {x, y, x + coord(rng), y + coord(rng)};
      const RECT before = r;
      font.DrawText(bm, buf.get(), (int)text.size(), &r, format);
      EXPECT_EQ(before.right, r.right);  // drawing leaves the caller's rectangle alone
      EXPECT_EQ(before.bottom, r.bottom);
    }
  }
}

}  // namespace
