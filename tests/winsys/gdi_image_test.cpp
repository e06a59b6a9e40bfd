#include "winsys/gdi_image.h"

#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

LICE_PixelValue pixelOf(HGDIOBJ obj, int x, int y)
{
  LICE_IBitmap* bm = GetNSImageFromHICON(obj)->pixels;
  return bm->getBits()[y * bm->getRowSpan() + x];
}

}  // namespace

TEST(GdiImage, CreateBitmapReadsExactlyItsDepth)
{
  // Sources sized exactly, on the heap: reading past them is caught by the sanitizer.
  struct Case
  {
    int bpp;
    std::vector<unsigned char> bytes;  // 2 x 2 pixels
    LICE_PixelValue want[4];
  };
  const std::vector<Case> cases = {
      {24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
       {LICE_MakePixel(1, 2, 3, 255), LICE_MakePixel(4, 5, 6, 255), LICE_MakePixel(7, 8, 9, 255),
        LICE_MakePixel(10, 11, 12, 255)}},
      {32, {0x80, 1, 2, 3, 0xFF, 4, 5, 6, 0, 7, 8, 9, 0x40, 10, 11, 12},
       {LICE_MakePixel(1, 2, 3, 0x80), LICE_MakePixel(4, 5, 6, 0xFF), LICE_MakePixel(7, 8, 9, 0),
        LICE_MakePixel(10, 11, 12, 0x40)}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.bpp);
    std::unique_ptr<unsigned char[]> exact(new unsigned char[c.bytes.size()]);
    memcpy(exact.get(), c.bytes.data(), c.bytes.size());
    HGDIOBJ bmp = CreateBitmap(2, 2, 1, c.bpp, exact.get());
    ASSERT_NE(bmp, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pixelOf(bmp, i % 2, i / 2), c.want[i]) << i;
    DeleteObject(bmp);
  }
  const unsigned char bytes[64] = {};
  struct Bad
  {
    int w, h, planes, bpp;
    const void* bits;
  };
  const Bad bad[] = {{2, 2, 1, 16, bytes}, {2, 2, 1, 8, bytes}, {2, 2, 2, 32, bytes},
                     {0, 2, 1, 32, bytes}, {2, -1, 1, 32, bytes}, {2, 2, 1, 32, nullptr}};
  for (const Bad& b : bad) EXPECT_EQ(CreateBitmap(b.w, b.h, b.planes, b.bpp, b.bits), nullptr) << b.bpp << " " << b.planes;
}

TEST(GdiImage, ObjectsSizesIconsAndSharing)
{
  const unsigned char px[16 * 16 * 4] = {};
  HGDIOBJ bmp = CreateBitmap(16, 16, 1, 32, px);
  ASSERT_NE(bmp, nullptr);
  GetNSImageFromHICON(bmp)->width = 15.6;
  GetNSImageFromHICON(bmp)->height = 16.2;
  HPEN pen = CreatePen(0, 1, 0);
  struct Case
  {
    HGDIOBJ obj;
    int size, result, w, h;
  };
  const Case cases[] = {{bmp, 8, 1, 16, 16}, {bmp, 4, 0, 0, -1}, {bmp, 12, 0, 0, 0}, {pen, 8, 0, 0, 0}, {nullptr, 8, 0, 0, 0}};
  for (const Case& c : cases)
  {
    int32_t out[3] = {-1, -1, -1};
    EXPECT_EQ(GetObject(c.obj, c.size, out), c.result);
    EXPECT_EQ(out[0], c.w);
    EXPECT_EQ(out[1], c.h);
    EXPECT_EQ(out[2], c.size > 8 ? 0 : -1) << "zeroes exactly size bytes";
  }
  EXPECT_EQ(GetNSImageFromHICON(pen), nullptr);

  ICONINFO info{FALSE, 0, 0, nullptr, bmp};
  EXPECT_EQ(CreateIconIndirect(&info), nullptr) << "not an icon";
  info.fIcon = TRUE;
  info.hbmColor = pen;
  EXPECT_EQ(CreateIconIndirect(&info), nullptr) << "colour bitmap is no bitmap";
  info.hbmColor = bmp;
  HGDIOBJ icon = CreateIconIndirect(&info);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(GetNSImageFromHICON(icon), GetNSImageFromHICON(bmp));
  // The icon keeps the shared image alive after the bitmap goes.
  DeleteObject(bmp);
  EXPECT_EQ(GetNSImageFromHICON(bmp), nullptr);
  ASSERT_NE(GetNSImageFromHICON(icon), nullptr);
  EXPECT_EQ(pixelOf(icon, 15, 15), 0u);
  DeleteObject(icon);
  DeleteObject(pen);
}

TEST(GdiImage, ImageListSlots)
{
  const unsigned char px[4] = {0xFF, 1, 2, 3};
  HGDIOBJ icon = CreateBitmap(1, 1, 1, 32, px);
  HIMAGELIST list = ImageList_CreateEx();
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, icon), 0);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 7, icon), 1);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 2, icon), 2);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 1, icon), 1) << "an index inside the list replaces";
  EXPECT_EQ(ImageList_ReplaceIcon(list, 0, nullptr), -1);
  ASSERT_EQ(list->GetSize(), 3);
  EXPECT_EQ(GetNSImageFromHICON(list->Get(1)), GetNSImageFromHICON(icon));
  EXPECT_NE(list->Get(1), icon) << "a new object sharing the image";
  EXPECT_EQ(ImageList_Remove(list, 3), 0);
  EXPECT_EQ(ImageList_Remove(list, 0), 1);
  ASSERT_EQ(list->GetSize(), 3);
  EXPECT_EQ(list->Get(0), nullptr);
  EXPECT_NE(list->Get(1), nullptr);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 0, icon), 0);
  EXPECT_EQ(ImageList_Remove(list, -1), 1);
  EXPECT_EQ(list->GetSize(), 0);
  ImageList_ReplaceIcon(list, 0, icon);
  ImageList_Destroy(list);
  EXPECT_EQ(pixelOf(icon, 0, 0), LICE_MakePixel(1, 2, 3, 255)) << "the icon's image outlives the list";
  DeleteObject(icon);
}

TEST(GdiImage, DrawImageInRectCompositesScaledOverTheContext)
{
  // 2 x 2: opaque red, transparent, half-transparent blue, opaque green.
  const unsigned char px[] = {0xFF, 200, 0, 0, 0, 9, 9, 9, 0x80, 0, 0, 200, 0xFF, 0, 200, 0};
  HGDIOBJ img = CreateBitmap(2, 2, 1, 32, px);
  HDC got = SWELL_CreateMemContext(nullptr, 8, 8), want = SWELL_CreateMemContext(nullptr, 8, 8);
  for (HDC dc : {got, want})
  {
    const RECT all{0, 0, 8, 8};
    HBRUSH br = CreateSolidBrush(0x404040);
    CGContextSetRGBFillColor(SWELL_GetCtxGC(dc), 0x40 / 255.0, 0x40 / 255.0, 0x40 / 255.0, 1);
    CGContextFillRect(SWELL_GetCtxGC(dc), CGRectMake(all.left, all.top, 8, 8));
    DeleteObject(br);
  }
  const RECT r{2, 1, 6, 5};
  DrawImageInRect(got, img, &r);
  struct View : LICE_IBitmap
  {
    HDC dc;
    LICE_PixelValue* getBits() override { return (LICE_PixelValue*)SWELL_GetCtxFrameBuffer(dc); }
    int getWidth() override { return 8; }
    int getHeight() override { return 8; }
    int getRowSpan() override { return 8; }
    bool resize(int, int) override { return false; }
  } view;
  view.dc = want;
  LICE_ScaledBlit(&view, GetNSImageFromHICON(img)->pixels, 2, 1, 4, 4, 0, 0, 2, 2, 1, LICE_MODE_COPY | LICE_MODE_SOURCEALPHA);
  EXPECT_EQ(0, memcmp(SWELL_GetCtxFrameBuffer(got), SWELL_GetCtxFrameBuffer(want), 8 * 8 * 4));
  const LICE_PixelValue* p = (const LICE_PixelValue*)SWELL_GetCtxFrameBuffer(got);
  EXPECT_EQ(LICE_PixelR(p[1 * 8 + 2]), 200);   // opaque red, top left quarter
  EXPECT_EQ(LICE_PixelR(p[1 * 8 + 5]), 0x40);  // the transparent pixel leaves the background
  EXPECT_EQ(LICE_PixelG(p[4 * 8 + 5]), 200);
  EXPECT_GT(LICE_PixelB(p[4 * 8 + 2]), 0x40);  // half blue over grey
  EXPECT_LT(LICE_PixelB(p[4 * 8 + 2]), 200);
  SWELL_DeleteGfxContext(got);
  SWELL_DeleteGfxContext(want);
  DeleteObject(img);
}
