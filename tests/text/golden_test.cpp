// "NK57 Monospace" text on the editor's 1500 x 667 surface, compared with a checked-in
// picture. Regenerate the picture only on purpose, after checking the new one by eye
// (see golden/README.md):
//   DAVREL_WRITE_TEXT_GOLDEN=1 build/dev/tests/text/test_text --gtest_filter=Golden.*

#include "text_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace texttest;

namespace {

const int kWidth = 1500, kHeight = 667;

LICE_CachedFont* editorFont(int size, int quality, int weight = 400, int flags = LICE_FONT_NATIVE)
{
  LICE_CachedFont* f = new LICE_CachedFont;
  f->SetFromHFont(makeFont(size, quality, kFace, weight), LICE_FONT_OWNSFONT | flags);
  return f;
}

void text(LICE_CachedFont* f, LICE_IBitmap* bm, const char* s, RECT r, unsigned format, LICE_PixelValue colour)
{
  f->SetTextColor(colour);
  f->DrawText(bm, s, -1, &r, format);
}

// The scene: sizes with and without antialiasing, the librarian's grid of 256 program
// names (alternately opaque and translucent), aligned text on opaque backgrounds, and
// the cache's effects.
void drawScene(LICE_SysBitmap* bm)
{
  LICE_Clear(bm, LICE_MakePixel(0x1E, 0x22, 0x28, 255));
  const LICE_PixelValue white = LICE_MakePixel(0xF0, 0xF0, 0xF0, 255);
  const LICE_PixelValue amber = LICE_MakePixel(0xFF, 0xB0, 0x30, 255);

  int y = 6;
  for (int size = 8; size <= 30; size += 2)
  {
    LICE_CachedFont* mono = editorFont(size, 3);
    LICE_CachedFont* smooth = editorFont(size, 4);
    text(mono, bm, "NK57 Monospace 01234", RECT{8, y, 430, y + 40}, 0, white);
    text(smooth, bm, "NK57 Monospace 01234", RECT{440, y, 870, y + 40}, 0, amber);
    y += mono->GetLineHeight() + 2;
    delete mono;
    delete smooth;
  }

  LICE_CachedFont* grid = editorFont(10, 3);
  for (int i = 0; i < 256; ++i)
  {
    char name[24];   // room for any int, which the format checker cannot rule out
    snprintf(name, sizeof name, "NK57 Mono%03d", i);
    const int col = i % 8, row = i / 8;
    const RECT cell = {880 + col * 77, 6 + row * 16, 880 + col * 77 + 75, 6 + row * 16 + 16};
    const bool translucent = (row + col) % 2 != 0;
    text(grid, bm, name, cell, DT_VCENTER | (translucent ? LICE_TEXT_COLORALPHA : 0),
         translucent ? LICE_MakePixel(0x90, 0xE0, 0xFF, 0xA0) : white);
  }
  delete grid;

  LICE_CachedFont* boxed = editorFont(16, 3, 700);
  boxed->SetBkMode(1);
  boxed->SetBkColor(LICE_MakePixel(0x40, 0x10, 0x10, 255));
  const unsigned aligns[] = {0, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM};
  for (int i = 0; i < 3; ++i)
  {
    const RECT box = {8 + i * 280, 540, 8 + i * 280 + 270, 600};
    LICE_FillRect(bm, box.left, box.top, box.right - box.left, box.bottom - box.top,
                  LICE_MakePixel(0x30, 0x30, 0x38, 255), 1.0f, LICE_MODE_COPY);
    text(boxed, bm, "NK57 Monospace", box, aligns[i], white);
  }
  delete boxed;

  const int effects[] = {LICE_FONT_SHADOW, LICE_FONT_OUTLINE, LICE_FONT_MONO | LICE_FONT_INVERT, LICE_FONT_BLUR};
  for (int i = 0; i < 4; ++i)
  {
    LICE_CachedFont* f = editorFont(20, 4, 400, effects[i]);
    f->SetEffectColor(LICE_MakePixel(0x10, 0x60, 0xC0, 255));
    text(f, bm, "NK57 Monospace", RECT{8 + i * 210, 610, 8 + i * 210 + 205, 660}, 0, white);
    delete f;
  }
  LICE_CachedFont* vertical = editorFont(14, 3, 400, LICE_FONT_VERTICAL);
  text(vertical, bm, "NK57 Monospace", RECT{880, 540, 910, 667}, 0, amber);
  delete vertical;
  LICE_CachedFont* upward = editorFont(14, 3, 400, LICE_FONT_VERTICAL | LICE_FONT_BOTTOMUP);
  text(upward, bm, "NK57 Monospace", RECT{920, 540, 950, 667}, 0, amber);
  delete upward;
}

TEST(Golden, NK57MonospaceOnTheEditorSurface)
{
  LICE_SysBitmap surface(kWidth, kHeight);
  drawScene(&surface);

  const std::string golden = std::string(DAVREL_TEXT_GOLDEN_DIR) + "/nk57_monospace.png";
  if (getenv("DAVREL_WRITE_TEXT_GOLDEN"))
  {
    ASSERT_TRUE(LICE_WritePNG(golden.c_str(), &surface, false));
    GTEST_SKIP() << "wrote " << golden;
  }

  LICE_IBitmap* expected = LICE_LoadPNG(golden.c_str(), nullptr);
  ASSERT_TRUE(expected) << golden;
  ASSERT_EQ(kWidth, expected->getWidth());
  ASSERT_EQ(kHeight, expected->getHeight());
  int differing = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if ((LICE_GetPixel(&surface, x, y) & 0xFFFFFF00u) != (LICE_GetPixel(expected, x, y) & 0xFFFFFF00u))
      {
        if (!differing++)
        {
          firstX = x;
          firstY = y;
        }
      }
  delete expected;
  if (differing)
  {
    const std::string actual = ::testing::TempDir() + "nk57_monospace_actual.png";
    LICE_WritePNG(actual.c_str(), &surface, false);
    ADD_FAILURE() << differing << " pixels differ, the first at " << firstX << "," << firstY << "; the picture drawn is "
                  << actual;
  }
}

}  // namespace
