// Every drawing operation is checked by its pixels: what it draws into a memory
// context must equal the same shape drawn directly with the raster library into
// another one (or a small image written out by hand).
#include "winsys/gdi_draw.h"

#include "raster/lice.h"
#include "raster/lice_draw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// The raster library's view of a memory context's pixels.
class CtxBitmap : public LICE_IBitmap
{
public:
  explicit CtxBitmap(HDC dc) : m_dc(dc) {}
  LICE_PixelValue* getBits() override { return (LICE_PixelValue*)SWELL_GetCtxFrameBuffer(m_dc); }
  int getWidth() override { return (int)CGBitmapContextGetWidth(SWELL_GetCtxGC(m_dc)); }
  int getHeight() override { return (int)CGBitmapContextGetHeight(SWELL_GetCtxGC(m_dc)); }
  int getRowSpan() override { return getWidth(); }
  bool resize(int, int) override { return false; }

private:
  HDC m_dc;
};

const COLORREF kPen = 0x102030, kBrush = 0xC08040;
const LICE_PixelValue kPenPix = LICE_MakePixel(0x10, 0x20, 0x30, 255);
const LICE_PixelValue kBrushPix = LICE_MakePixel(0xC0, 0x80, 0x40, 255);

struct Ctx
{
  HDC dc;
  CtxBitmap bm;
  Ctx(int w, int h) : dc(SWELL_CreateMemContext(nullptr, w, h)), bm(dc) {}
  ~Ctx() { SWELL_DeleteGfxContext(dc); }
  const unsigned char* bytes() { return (const unsigned char*)SWELL_GetCtxFrameBuffer(dc); }
};

// The pixels as text, one character a pixel ('.' for untouched), for readable failures.
std::string picture(Ctx& c)
{
  std::string s;
  const LICE_PixelValue* p = c.bm.getBits();
  for (int y = 0; y < c.bm.getHeight(); ++y, s += '\n')
    for (int x = 0; x < c.bm.getWidth(); ++x)
    {
      const LICE_PixelValue v = p[y * c.bm.getWidth() + x];
      s += v == 0 ? '.' : v == kPenPix ? 'P' : v == kBrushPix ? 'B' : '?';
    }
  return s;
}

struct Selected
{
  HPEN pen = nullptr;
  HBRUSH brush = nullptr;
};

struct DrawCase
{
  const char* name;
  int penWidth;  // -1: the null pen selected
  bool brush;
  std::function<void(HDC)> gdi;
  std::function<void(LICE_IBitmap*)> reference;
};

POINT pt(int x, int y)
{
  return POINT{x, y};
}

}  // namespace

TEST(GdiDraw, EachOperationDrawsWhatTheRasterLibraryDraws)
{
  const LICE_PixelValue P = kPenPix, B = kBrushPix;
  auto line = [](LICE_IBitmap* b, int x1, int y1, int x2, int y2) {
    LICE_Line(b, x1, y1, x2, y2, kPenPix, 1, LICE_MODE_COPY, false);
  };
  const std::vector<DrawCase> cases = {
      {"zero-width pen: a one-pixel line along pixel centres", 0, false,
       [](HDC dc) {
         MoveToEx(dc, 2, 5, nullptr);
         SWELL_LineTo(dc, 15, 5);
         SWELL_LineTo(dc, 9, 17);
       },
       [&](LICE_IBitmap* b) {
         line(b, 2, 5, 15, 5);
         line(b, 15, 5, 9, 17);
       }},
      {"wide pen: a band the pen's width, shifted by half of it", 3, false,
       [](HDC dc) {
         MoveToEx(dc, 2, 5, nullptr);
         SWELL_LineTo(dc, 12, 5);
       },
       [&](LICE_IBitmap* b) { LICE_FillRect(b, 3, 5, 10, 3, P, 1, LICE_MODE_COPY); }},
      {"polylines with counts 0, 1, 3: one polyline through points 2 to 4", 1, false,
       [](HDC dc) {
         const POINT pts[] = {pt(1, 1), pt(3, 4), pt(14, 4), pt(14, 16), pt(0, 19)};
         const DWORD counts[] = {0, 1, 3};
         PolyPolyline(dc, pts, counts, 3);
       },
       [&](LICE_IBitmap* b) {
         line(b, 3, 4, 14, 4);
         line(b, 14, 4, 14, 16);
       }},
      {"polygon, null pen and a brush: filled, no outline", -1, true,
       [](HDC dc) {
         const POINT pts[] = {pt(2, 2), pt(10, 2), pt(10, 8), pt(2, 8)};
         SWELL_Polygon(dc, pts, 4);
       },
       [&](LICE_IBitmap* b) { LICE_FillRect(b, 2, 2, 8, 6, B, 1, LICE_MODE_COPY); }},
      {"polygon of one point draws nothing", 1, true,
       [](HDC dc) {
         const POINT pts[] = {pt(2, 2)};
         SWELL_Polygon(dc, pts, 1);
       },
       [](LICE_IBitmap*) {}},
      {"polygon, pen only: an open outline", 1, false,
       [](HDC dc) {
         const POINT pts[] = {pt(2, 2), pt(16, 2), pt(16, 12)};
         SWELL_Polygon(dc, pts, 3);
       },
       [&](LICE_IBitmap* b) {
         line(b, 2, 2, 16, 2);
         line(b, 16, 2, 16, 12);
       }},
      {"rectangle with brush only", -1, true, [](HDC dc) { Rectangle(dc, 3, 4, 11, 9); },
       [&](LICE_IBitmap* b) { LICE_FillRect(b, 3, 4, 8, 5, B, 1, LICE_MODE_COPY); }},
      {"rectangle with pen and brush: fill, then the outline along its edges", 0, true,
       [](HDC dc) { Rectangle(dc, 3, 4, 11, 9); },
       [&](LICE_IBitmap* b) {
         LICE_FillRect(b, 3, 4, 8, 5, B, 1, LICE_MODE_COPY);
         LICE_DrawRect(b, 3, 4, 8, 5, P, 1, LICE_MODE_COPY);  // covers x..x+w, y..y+h
       }},
      {"fill rectangle with the brush argument", -1, false,
       [](HDC dc) {
         HBRUSH br = CreateSolidBrush(kBrush);
         const RECT r{5, 1, 9, 19};
         SWELL_FillRect(dc, &r, br);
         SWELL_FillRect(dc, &r, nullptr);
         DeleteObject(br);
       },
       [&](LICE_IBitmap* b) { LICE_FillRect(b, 5, 1, 4, 18, B, 1, LICE_MODE_COPY); }},
      {"dialog background", -1, false,
       [](HDC dc) {
         const RECT r{1, 2, 4, 6};
         SWELL_FillDialogBackground(dc, &r, 3);
       },
       [&](LICE_IBitmap* b) { LICE_FillRect(b, 1, 2, 3, 4, LICE_MakePixel(232, 232, 232, 255), 1, LICE_MODE_COPY); }},
      {"one pixel", -1, false, [](HDC dc) { SWELL_SetPixel(dc, 7, 4, kPen); },
       [&](LICE_IBitmap* b) { LICE_PutPixel(b, 7, 4, P, 1, LICE_MODE_COPY); }},
      {"clip region: set inside a push, gone after the pop", -1, true,
       [](HDC dc) {
         SWELL_PushClipRegion(dc);
         const RECT clip{4, 4, 10, 10}, inner{6, 0, 20, 8};
         SWELL_SetClipRegion(dc, &clip);
         SWELL_SetClipRegion(dc, &inner);
         Rectangle(dc, 0, 0, 20, 20);
         SWELL_PopClipRegion(dc);
         Rectangle(dc, 0, 0, 2, 2);
       },
       [&](LICE_IBitmap* b) {
         LICE_FillRect(b, 6, 4, 4, 4, B, 1, LICE_MODE_COPY);
         LICE_FillRect(b, 0, 0, 2, 2, B, 1, LICE_MODE_COPY);
       }},
      {"clip cuts lines as well", 0, false,
       [](HDC dc) {
         const RECT clip{0, 0, 8, 20};
         SWELL_SetClipRegion(dc, &clip);
         MoveToEx(dc, 1, 3, nullptr);
         SWELL_LineTo(dc, 18, 3);
       },
       [&](LICE_IBitmap* b) { line(b, 1, 3, 7, 3); }},
  };
  for (const DrawCase& c : cases)
  {
    SCOPED_TRACE(c.name);
    Ctx got(20, 20), want(20, 20);
    HPEN pen = c.penWidth >= 0 ? CreatePen(0, c.penWidth, kPen) : GetStockObject(1) /* the null pen */;
    HBRUSH brush = c.brush ? CreateSolidBrush(kBrush) : nullptr;
    SelectObject(got.dc, pen);
    if (brush) SelectObject(got.dc, brush);
    c.gdi(got.dc);
    c.reference(&want.bm);
    EXPECT_EQ(picture(got), picture(want));
    EXPECT_EQ(0, memcmp(got.bytes(), want.bytes(), 20 * 20 * 4));
    SelectObject(got.dc, (HGDIOBJ)SWELL_GDI_PEN);
    SelectObject(got.dc, (HGDIOBJ)SWELL_GDI_BRUSH);
    if (c.penWidth >= 0) DeleteObject(pen);
    if (brush) DeleteObject(brush);
  }
}

TEST(GdiDraw, EllipseFillsThePixelsWhoseCentresLieInside)
{
  Ctx c(10, 8);
  HBRUSH br = CreateSolidBrush(kBrush);
  SelectObject(c.dc, br);
  Ellipse(c.dc, 1, 1, 9, 7);
  EXPECT_EQ(picture(c),
            "..........\n"
            "...BBBB...\n"
            "..BBBBBB..\n"
            ".BBBBBBBB.\n"
            ".BBBBBBBB.\n"
            "..BBBBBB..\n"
            "...BBBB...\n"
            "..........\n");
  SelectObject(c.dc, (HGDIOBJ)SWELL_GDI_BRUSH);
  DeleteObject(br);
}

TEST(GdiDraw, RoundRectIsAnOctagonWithCornersCutAThirdOfTheEllipseDeep)
{
  Ctx got(32, 32), want(32, 32);
  HPEN pen = CreatePen(0, 1, kPen);
  SelectObject(got.dc, pen);
  SelectObject(got.dc, GetStockObject(2));  // the null brush: outline only
  RoundRect(got.dc, 0, 0, 30, 30, 9, 9);
  const int xs[] = {0, 3, 27, 30, 30, 27, 3, 0, 0, 3}, ys[] = {3, 0, 0, 3, 27, 30, 30, 27, 3, 0};
  for (int i = 0; i < 9; ++i) LICE_Line(&want.bm, xs[i], ys[i], xs[i + 1], ys[i + 1], kPenPix, 1, LICE_MODE_COPY, false);
  EXPECT_EQ(picture(got), picture(want));
  const LICE_PixelValue* p = got.bm.getBits();
  EXPECT_EQ(p[0], 0u);                 // the corner itself is cut away
  EXPECT_EQ(p[3], kPenPix);            // the top edge starts 3 in
  EXPECT_EQ(p[3 * 32], kPenPix);       // and the left edge 3 down
  EXPECT_EQ(p[1 * 32 + 1], 0u);
  SelectObject(got.dc, (HGDIOBJ)SWELL_GDI_PEN);
  DeleteObject(pen);
}

TEST(GdiDraw, BezierUsesWholeGroupsOfThreeAndMovesTheCurrentPosition)
{
  Ctx four(24, 24), three(24, 24);
  HPEN pen = CreatePen(0, 0, kPen);
  const POINT pts[] = {pt(20, 2), pt(20, 20), pt(2, 20), pt(11, 11)};
  for (Ctx* c : {&four, &three})
  {
    SelectObject(c->dc, pen);
    MoveToEx(c->dc, 2, 2, nullptr);
    PolyBezierTo(c->dc, pts, c == &four ? 4 : 3);
    SelectObject(c->dc, (HGDIOBJ)SWELL_GDI_PEN);
  }
  EXPECT_EQ(picture(four), picture(three));
  const LICE_PixelValue* p = four.bm.getBits();
  EXPECT_EQ(p[2 * 24 + 2], kPenPix);    // starts at the current position
  EXPECT_EQ(p[20 * 24 + 2], kPenPix);   // ends at the third point
  EXPECT_EQ(p[11 * 24 + 11], 0u);       // the fourth point is not reached
  int drawn = 0;
  for (int i = 0; i < 24 * 24; ++i) drawn += p[i] == kPenPix;
  EXPECT_GT(drawn, 30);
  POINT pos{};
  MoveToEx(four.dc, 0, 0, &pos);
  EXPECT_EQ(pos.x, 2);
  EXPECT_EQ(pos.y, 20);
  // Fewer than three points draw nothing and leave the position.
  Ctx none(24, 24);
  SelectObject(none.dc, pen);
  MoveToEx(none.dc, 5, 6, nullptr);
  PolyBezierTo(none.dc, pts, 2);
  MoveToEx(none.dc, 0, 0, &pos);
  EXPECT_EQ(pos.x, 5);
  for (int i = 0; i < 24 * 24; ++i) EXPECT_EQ(none.bm.getBits()[i], 0u);
  SelectObject(none.dc, (HGDIOBJ)SWELL_GDI_PEN);
  DeleteObject(pen);
}

namespace {

// A source whose pixel at column x, row y is the word 0x01000000 * (y + 1) | x << 8 | 0xFF.
LICE_PixelValue sourcePixel(int x, int y)
{
  return (LICE_PixelValue)(y + 1) << 24 | (LICE_PixelValue)x << 8 | 0xFF;
}

}  // namespace

TEST(GdiDraw, StretchBltMapsSourceToDestination)
{
  struct BltCase
  {
    const char* name;
    int srcW, srcH;
    int x, y, w, h, xs, ys, ws, hs;
    // Destination pixel (dx, dy) comes from the source pixel returned, or is untouched.
    std::function<bool(int dx, int dy, int* sx, int* sy)> map;
  };
  const std::vector<BltCase> cases = {
      {"plain copy", 8, 4, 2, 1, 5, 2, 3, 1, 5, 2,
       [](int dx, int dy, int* sx, int* sy) {
         if (dx < 2 || dx >= 7 || dy < 1 || dy >= 3) return false;
         *sx = dx - 2 + 3;
         *sy = dy - 1 + 1;
         return true;
       }},
      {"source left of the bitmap moves the destination", 100, 4, 5, 0, 50, 4, -10, 0, 50, 4,
       [](int dx, int dy, int* sx, int* sy) {
         if (dx < 15 || dx >= 55 || dy >= 4) return false;
         *sx = dx - 15;
         *sy = dy;
         return true;
       }},
      {"source past the right edge is cut", 10, 4, 0, 0, 8, 4, 6, 0, 8, 4,
       [](int dx, int dy, int* sx, int* sy) {
         if (dx >= 4 || dy >= 4) return false;
         *sx = dx + 6;
         *sy = dy;
         return true;
       }},
      {"doubled by nearest pixel", 3, 2, 1, 1, 6, 4, 0, 0, 3, 2,
       [](int dx, int dy, int* sx, int* sy) {
         if (dx < 1 || dx >= 7 || dy < 1 || dy >= 5) return false;
         *sx = (dx - 1) / 2;
         *sy = (dy - 1) / 2;
         return true;
       }},
      {"empty source width draws nothing", 8, 4, 0, 0, 4, 4, 0, 0, 0, 4,
       [](int, int, int*, int*) { return false; }},
      {"source wholly left of the bitmap draws nothing", 8, 4, 0, 0, 4, 4, -4, 0, 4, 4,
       [](int, int, int*, int*) { return false; }},
  };
  for (const BltCase& c : cases)
  {
    SCOPED_TRACE(c.name);
    Ctx src(c.srcW, c.srcH), dst(100, 8);
    LICE_PixelValue* s = src.bm.getBits();
    for (int y = 0; y < c.srcH; ++y)
      for (int x = 0; x < c.srcW; ++x) s[y * c.srcW + x] = sourcePixel(x, y);
    if (c.w == c.ws && c.h == c.hs)
      BitBlt(dst.dc, c.x, c.y, c.w, c.h, src.dc, c.xs, c.ys, 0);
    else
      StretchBlt(dst.dc, c.x, c.y, c.w, c.h, src.dc, c.xs, c.ys, c.ws, c.hs, 0);
    const LICE_PixelValue* d = dst.bm.getBits();
    int mismatches = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 100; ++x)
      {
        int sx = 0, sy = 0;
        const LICE_PixelValue want = c.map(x, y, &sx, &sy) ? sourcePixel(sx, sy) : 0;
        if (d[y * 100 + x] != want && mismatches++ < 5)
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << d[y * 100 + x] << " want " << want;
      }
  }
}

TEST(GdiDraw, NothingHappensOnNullOrFreedContexts)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
  Ctx src(4, 4);
  SWELL_DeleteGfxContext(dc);
  for (HDC bad : {(HDC) nullptr, dc})
  {
    const POINT pts[] = {pt(0, 0), pt(3, 3), pt(0, 3)};
    const DWORD counts[] = {3};
    const RECT r{0, 0, 4, 4};
    POINT old{7, 7};
    MoveToEx(bad, 1, 1, &old);
    EXPECT_EQ(old.x, 7);
    SWELL_LineTo(bad, 2, 2);
    PolyPolyline(bad, pts, counts, 1);
    PolyBezierTo(bad, pts, 3);
    SWELL_Polygon(bad, pts, 3);
    RoundRect(bad, 0, 0, 3, 3, 1, 1);
    Ellipse(bad, 0, 0, 3, 3);
    Rectangle(bad, 0, 0, 3, 3);
    SWELL_SetPixel(bad, 1, 1, 0);
    SWELL_PushClipRegion(bad);
    SWELL_SetClipRegion(bad, &r);
    SWELL_PopClipRegion(bad);
    BitBlt(bad, 0, 0, 4, 4, src.dc, 0, 0, 0);
    BitBlt(src.dc, 0, 0, 4, 4, bad, 0, 0, 0);
  }
  for (int i = 0; i < 16; ++i) EXPECT_EQ(src.bm.getBits()[i], 0u);
}

TEST(GdiDraw, StretchBltWithSourceAlphaCompositesOver)
{
  Ctx src(2, 1), got(6, 3), want(6, 3);
  src.bm.getBits()[0] = LICE_MakePixel(250, 0, 0, 0);    // transparent: leaves the destination
  src.bm.getBits()[1] = LICE_MakePixel(0, 250, 0, 128);  // half over
  for (Ctx* c : {&got, &want})
    for (int i = 0; i < 18; ++i) c->bm.getBits()[i] = LICE_MakePixel(0, 0, 200, 255);
  StretchBlt(got.dc, 1, 1, 4, 2, src.dc, 0, 0, 2, 1, SWELL_BLT_SOURCE_ALPHA);
  LICE_ScaledBlit(&want.bm, &src.bm, 1, 1, 4, 2, 0, 0, 2, 1, 1, LICE_MODE_COPY | LICE_MODE_SOURCEALPHA);
  EXPECT_EQ(0, memcmp(got.bytes(), want.bytes(), 6 * 3 * 4));
  const LICE_PixelValue* p = got.bm.getBits();
  EXPECT_EQ(p[1 * 6 + 1], LICE_MakePixel(0, 0, 200, 255));
  EXPECT_GT(LICE_PixelG(p[2 * 6 + 4]), 100);
  EXPECT_LT(LICE_PixelB(p[2 * 6 + 4]), 150);
  EXPECT_EQ(p[0], LICE_MakePixel(0, 0, 200, 255));
}
