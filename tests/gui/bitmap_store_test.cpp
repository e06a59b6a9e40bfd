#include "ConsoleCapture.h"
#include "GuiTestUtil.h"

#include "config/UIConfigManager.h"
#include "ui/ConfigGraphics.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

// The bitmap store is process-wide: every test here uses ids of its own.

namespace {

void writeBytes(const std::string& path, size_t n)
{
  std::ofstream f(path, std::ios::binary);
  for (size_t i = 0; i < n; ++i) f.put((char)(i * 7 + 1));
}

std::string stopCapture()
{
  fflush(stdout);
  return CapturedConsole();
}

}  // namespace

TEST(BitmapStoreTest, FirstLoadReturnsTheScaledStoredCopy)
{
  TempFolder bundle;
  ASSERT_TRUE(writeTestPNG(bundle.file("resources/img/a.png"), 40, 20));
  HeadlessGraphics g(nullptr);
  g.SetResourceRoot(bundle.path());

  const IBitmap first = g.LoadIBitmap(9001, "resources/img/a.png", 0.5, 2, false);
  ASSERT_NE(first.mData, nullptr);
  EXPECT_EQ(first.W, 20);
  EXPECT_EQ(first.H, 10);
  EXPECT_EQ(first.N, 2);
  EXPECT_EQ(first.mData->getWidth(), 20);
  const IBitmap byId = g.getImageById(9001, 4, true, 0.5);
  EXPECT_EQ(byId.mData, first.mData);
  EXPECT_EQ(byId.N, 4);
  EXPECT_TRUE(byId.mFramesAreHorizontal);

  // Later loads come from the store, without the file.
  unlink(bundle.file("resources/img/a.png").c_str());
  const IBitmap again = g.LoadIBitmap(9001, "resources/img/a.png", 0.5);
  EXPECT_EQ(again.mData, first.mData);
  EXPECT_EQ(again.W, 20);
}

TEST(BitmapStoreTest, EachScaleHasItsOwnCopy)
{
  TempFolder bundle;
  ASSERT_TRUE(writeTestPNG(bundle.file("resources/img/b.png"), 40, 20));
  HeadlessGraphics small(nullptr), large(nullptr);
  small.SetResourceRoot(bundle.path());
  large.SetResourceRoot(bundle.path());

  const IBitmap s = small.LoadIBitmap(9002, "resources/img/b.png", 0.75);
  const IBitmap l = large.LoadIBitmap(9002, "resources/img/b.png", 1.25);
  ASSERT_NE(s.mData, nullptr);
  ASSERT_NE(l.mData, nullptr);
  EXPECT_NE(s.mData, l.mData);
  EXPECT_EQ(s.W, 30);
  EXPECT_EQ(s.H, 15);
  EXPECT_EQ(l.W, 50);
  EXPECT_EQ(l.H, 25);
  EXPECT_EQ(small.getImageById(9002, 1, false, 0.75).mData->getWidth(), 30);
  EXPECT_EQ(large.getImageById(9002, 1, false, 1.25).mData->getWidth(), 50);
  // At scale 1 the pixels are the file's.
  const IBitmap one = large.LoadIBitmap(9002, "resources/img/b.png", 1.0);
  ASSERT_NE(one.mData, nullptr);
  EXPECT_EQ(LICE_GetPixel(one.mData, 13, 6), LICE_MakePixel(13, 6, 7, 255));
}

TEST(BitmapStoreTest, MissingOrBrokenImagesGiveAnEmptyBitmapAndALogLine)
{
  TempFolder bundle;
  writeBytes(bundle.file("resources/img/broken.png"), 300);
  ASSERT_TRUE(writeTestPNG(bundle.file("resources/img/good.jpg"), 4, 4));
  HeadlessGraphics g(nullptr);
  g.SetResourceRoot(bundle.path());
  const char* names[] = {"resources/img/missing.png", "resources/img/broken.png", "resources/img/good.jpg",
                         "../outside.png", nullptr};
  int id = 9010;
  for (const char* name : names)
  {
    CaptureConsole();
    const IBitmap b = g.LoadIBitmap(id, name, 1.0, 3, true);
    const std::string out = stopCapture();
    EXPECT_EQ(b.mData, nullptr) << (name ? name : "null");
    EXPECT_EQ(b.W, 0);
    EXPECT_EQ(b.H, 0);
    EXPECT_EQ(b.N, 3);
    EXPECT_NE(out.find("cannot be loaded"), std::string::npos) << out;
    EXPECT_EQ(g.getImageById(id, 1, false, 1.0).mData, nullptr);
    ++id;
  }

  // A background without its image draws nothing, and the editor goes on.
  g.AttachBackground(9010, "resources/img/missing.png", 1.0);
  g.PrepDraw();
  IRECT all(0, 0, 200, 100);
  EXPECT_TRUE(g.Draw(&all));
  EXPECT_EQ(g.GetControl(0)->GetRECT(), IRECT());
}

TEST(BitmapStoreTest, ReleaseTakesTheBitmapOutAndALaterLoadReadsTheFileAgain)
{
  TempFolder bundle;
  ASSERT_TRUE(writeTestPNG(bundle.file("resources/img/c.png"), 8, 8));
  HeadlessGraphics g(nullptr);
  g.SetResourceRoot(bundle.path());
  IBitmap b = g.LoadIBitmap(9020, "resources/img/c.png", 1.0);
  ASSERT_NE(b.mData, nullptr);
  g.ReleaseBitmap(&b);
  EXPECT_EQ(g.getImageById(9020, 1, false, 1.0).mData, nullptr);
  const IBitmap reloaded = g.LoadIBitmap(9020, "resources/img/c.png", 1.0);
  EXPECT_NE(reloaded.mData, nullptr);

  // A bitmap that is not in the store is left alone.
  std::unique_ptr<LICE_MemBitmap> own(new LICE_MemBitmap(2, 2));
  IBitmap outsider(own.get(), 2, 2);
  g.ReleaseBitmap(&outsider);
  IBitmap empty;
  g.ReleaseBitmap(&empty);
  EXPECT_NE(own->getBits(), nullptr);

  // A retained bitmap belongs to the store, which frees it on release.
  IBitmap retained(new LICE_MemBitmap(3, 3), 3, 3);
  g.RetainBitmap(&retained);
  g.ReleaseBitmap(&retained);
}

TEST(BitmapStoreTest, TwoThreadsLoadingOneImageKeepOneCopy)
{
  TempFolder bundle;
  ASSERT_TRUE(writeTestPNG(bundle.file("resources/img/d.png"), 64, 64));
  HeadlessGraphics a(nullptr), b(nullptr);
  a.SetResourceRoot(bundle.path());
  b.SetResourceRoot(bundle.path());
  for (int round = 0; round < 8; ++round)
  {
    const int id = 9030 + round;
    std::atomic<int> ready{0};
    LICE_IBitmap* got[2] = {nullptr, nullptr};
    auto load = [&](HeadlessGraphics* g, int slot) {
      ready.fetch_add(1);
      while (ready.load() < 2) {}
      got[slot] = g->LoadIBitmap(id, "resources/img/d.png", 0.5).mData;
    };
    std::thread t1(load, &a, 0), t2(load, &b, 1);
    t1.join();
    t2.join();
    ASSERT_NE(got[0], nullptr);
    EXPECT_EQ(got[0], got[1]) << round;
    EXPECT_EQ(a.getImageById(id, 1, false, 0.5).mData, got[0]);
  }
}

TEST(BitmapStoreTest, LoadFileKeepsTheLoadedSize)
{
  TempFolder bundle;
  writeBytes(bundle.file("resources/uiconfig.tea"), 803);
  HeadlessGraphics g(nullptr);
  g.SetResourceRoot(bundle.path());
  LoadedResource file = g.LoadFile(100, "resources/uiconfig.tea");
  ASSERT_NE(file.data, nullptr);
  EXPECT_EQ(file.size, 803);
  EXPECT_EQ(g.GetLoadedFileSize(), 803);
  EXPECT_EQ(file.data[802], (unsigned char)(802 * 7 + 1));
  EXPECT_EQ(file.data[803], 0);  // zero padding to the next 8 bytes

  LoadedResource missing = g.LoadFile(101, "resources/sysex.tea");
  EXPECT_EQ(missing.data, nullptr);
  EXPECT_EQ(g.GetLoadedFileSize(), 0);
  EXPECT_FALSE(missing.problem.empty());
}

TEST(ConfigWiringTest, ImagesLoadAtEachEditorsScaleAndMissingOnesAreEmpty)
{
  TempFolder bundle;
  ASSERT_TRUE(writeTestPNG(bundle.file("resources/img/knob-25.png"), 20, 500));
  ASSERT_TRUE(writeTestPNG(bundle.file("resources/img/main-bg.png"), 60, 40));
  writeBytes(bundle.file("resources/img/btn-black.png"), 100);
  writeBytes(bundle.file("resources/uiconfig.tea"), 803);

  HeadlessGraphics small(nullptr), large(nullptr);
  small.SetResourceRoot(bundle.path());
  large.SetResourceRoot(bundle.path());
  UIConfigManager smallConfig, largeConfig;
  connectConfigToGraphics(&smallConfig, &small);
  connectConfigToGraphics(&largeConfig, &large);

  CaptureConsole();
  smallConfig.readUIConfig(&small, nullptr, nullptr, 0, 0.75);
  largeConfig.readUIConfig(&large, nullptr, nullptr, 0, 1.25);
  const IBitmap unknown = smallConfig.getImageByName(&small, "knob_id25");
  const std::string out = stopCapture();

  // The resources came through the graphics object's LoadFile.
  EXPECT_EQ(small.GetLoadedFileSize(), 803);
  EXPECT_EQ(smallConfig.imageCount(), 58);

  const IBitmap knob = smallConfig.getImageByName(&small, "KNOB_ID25");
  ASSERT_NE(knob.mData, nullptr);
  EXPECT_EQ(knob.W, 15);
  EXPECT_EQ(knob.H, 375);
  EXPECT_EQ(knob.N, 25);
  EXPECT_FALSE(knob.mFramesAreHorizontal);
  const IBitmap bigKnob = largeConfig.getImageByName(&large, "KNOB_ID25");
  ASSERT_NE(bigKnob.mData, nullptr);
  EXPECT_EQ(bigKnob.W, 25);
  EXPECT_EQ(bigKnob.H, 625);

  const IBitmap bg = smallConfig.getImageByName(&small, "BG_ID_MAIN");
  ASSERT_NE(bg.mData, nullptr);
  EXPECT_EQ(bg.W, 45);
  EXPECT_EQ(bg.H, 30);
  EXPECT_TRUE(bg.mFramesAreHorizontal);

  const IBitmap broken = smallConfig.getImageByName(&small, "BUTTON_BLCK_ID");
  EXPECT_EQ(broken.mData, nullptr);
  EXPECT_EQ(broken.N, 2);
  EXPECT_EQ(smallConfig.getImageByName(&small, "BG_ID_PLAIN").mData, nullptr);

  EXPECT_EQ(unknown.mData, nullptr);
  EXPECT_EQ(unknown.N, 1);
  EXPECT_FALSE(unknown.mFramesAreHorizontal);
  EXPECT_NE(out.find("image 'knob_id25' NOT FOUND!!"), std::string::npos);
  EXPECT_NE(out.find("'resources/img/main-frame-bg.png' cannot be loaded"), std::string::npos);

  // Clearing one editor's images leaves the other's.
  CaptureConsole();
  smallConfig.ClearImageCache();
  stopCapture();
  EXPECT_EQ(small.getImageById(120, 25, false, 0.75).mData, nullptr);
  EXPECT_EQ(large.getImageById(120, 25, false, 1.25).mData, bigKnob.mData);
  EXPECT_EQ(smallConfig.imageCount(), 58);
}

// The batch load (several images decoded at once on several threads) stores what
// the decode and the bilinear scaled blit of each image give, byte for byte, at the
// image's own size (kept as decoded, not copied) and scaled; an image it cannot load
// is reported once, by the single load that follows, without reading it again.
TEST(BitmapStoreTest, BatchLoadStoresWhatEachImageDecodesAndScalesTo)
{
  TempFolder bundle;
  const int sizes[][2] = {{40, 20}, {2, 2}, {301, 7}, {64, 500}, {3, 90}, {257, 256}};
  std::vector<std::string> names;
  for (size_t i = 0; i < sizeof(sizes) / sizeof(sizes[0]); ++i)
  {
    names.push_back("resources/img/batch" + std::to_string(i) + ".png");
    ASSERT_TRUE(writeTestPNG(bundle.file(names.back()), sizes[i][0], sizes[i][1]));
  }
  const size_t good = names.size();
  writeBytes(bundle.file("resources/img/batch-broken.png"), 300);
  names.push_back("resources/img/batch-broken.png");
  names.push_back("resources/img/batch-missing.png");

  int base = 9100;
  for (double scale : {1.0, 0.75, 1.25})
  {
    base += 100;
    HeadlessGraphics g(nullptr);
    g.SetResourceRoot(bundle.path());
    std::vector<IGraphics::ImageRequest> requests;
    for (size_t i = 0; i < names.size(); ++i) requests.push_back({base + (int)i, names[i].c_str()});
    CaptureConsole();
    g.LoadIBitmaps(requests, scale);
    const std::string batchOut = stopCapture();
    EXPECT_EQ(batchOut.find("IGraphics:"), std::string::npos) << batchOut;

    for (size_t i = 0; i < names.size(); ++i)
    {
      SCOPED_TRACE(names[i] + " at " + std::to_string(scale));
      EXPECT_EQ(g.getImageById(base + (int)i, 1, false, scale).mData != nullptr, i < good);
      CaptureConsole();
      const IBitmap b = g.LoadIBitmap(base + (int)i, names[i].c_str(), scale);
      const std::string out = stopCapture();
      if (i >= good)
      {
        EXPECT_EQ(b.mData, nullptr);
        const std::string line = "image " + std::to_string(base + (int)i) + " '" + names[i] + "' cannot be loaded";
        EXPECT_NE(out.find(line), std::string::npos) << out;
        EXPECT_EQ(out.find(line, out.find(line) + 1), std::string::npos) << out;
        EXPECT_EQ(out.find("LICE: PNG"), std::string::npos) << out;  // not decoded again
        continue;
      }
      ASSERT_NE(b.mData, nullptr);
      EXPECT_EQ(out, "");
      LICE_IBitmap* decoded = LICE_LoadPNG(bundle.file(names[i]).c_str(), nullptr);
      ASSERT_NE(decoded, nullptr);
      const int w = decoded->getWidth(), h = decoded->getHeight();
      LICE_MemBitmap want((int)(w * scale), (int)(h * scale), 4);
      LICE_ScaledBlit(&want, decoded, 0, 0, want.getWidth(), want.getHeight(), 0.0f, 0.0f, (float)w, (float)h, 1.0f,
                      LICE_MODE_BILINEAR);
      delete decoded;
      ASSERT_EQ(b.W, want.getWidth());
      ASSERT_EQ(b.H, want.getHeight());
      for (int y = 0; y < b.H; ++y)
        ASSERT_EQ(memcmp(b.mData->getBits() + y * b.mData->getRowSpan(), want.getBits() + y * want.getRowSpan(),
                         (size_t)b.W * 4),
                  0)
            << "row " << y;
    }
  }
}
