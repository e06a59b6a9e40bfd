// Screenshots of every page and both timbres of the editor as it is drawn, compared
// with the reference images under tests/ui/reference with a small per-pixel
// tolerance. The references are made by hand: run this test with
// DAVREL_UPDATE_REFERENCES=1 and look at what it wrote before committing them.

#include "UiTestSupport.h"
#include "raster/lice_png.h"
#include "ui/TabSwitchFunctions.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Pixels whose channels differ by more than the tolerance.
int differingPixels(LICE_IBitmap* a, LICE_IBitmap* b, int tolerance)
{
  if (a->getWidth() != b->getWidth() || a->getHeight() != b->getHeight()) return -1;
  int n = 0;
  for (int y = 0; y < a->getHeight(); ++y)
    for (int x = 0; x < a->getWidth(); ++x)
    {
      const LICE_PixelValue p = a->getBits()[(size_t)y * a->getRowSpan() + x];
      const LICE_PixelValue q = b->getBits()[(size_t)y * b->getRowSpan() + x];
      if (abs(LICE_PixelR(p) - LICE_PixelR(q)) > tolerance || abs(LICE_PixelG(p) - LICE_PixelG(q)) > tolerance ||
          abs(LICE_PixelB(p) - LICE_PixelB(q)) > tolerance)
        ++n;
    }
  return n;
}

// The controller's part of a switch for the pictures: the configuration's own
// layers, and a hardware change under way with no output port, so nothing is sent.
struct ShotHost : RecordingPageHost
{
  explicit ShotHost(RealEditor* editor) : RecordingPageHost(editor, false)
  {
    hardwareChange = true;
    outSet = false;
  }
};

}  // namespace

TEST(ScreenshotTest, EveryPageAndTimbreMatchesItsReference)
{
  RealEditor editor(1.0);
  ShotHost host(&editor);
  editor.graphics.PrepDraw();
  // The values the plug-in pushes when the window opens.
  editor.plug.GetParam(kCommonMode)->Set(1.0);
  for (int i = 0; i < kNumParams; ++i)
    editor.graphics.SetParameterFromPlug(i, editor.plug.GetParam(i)->Value(), false);
  editor.config.getLayer("root")->Hide(false);
  // As the controller's start-up leaves it: the mixer page shows its -1 children.
  editor.config.getLayer("multiModeMixer")->selectedChildId = -1;
  editor.config.getLayer("splitPointLayer")->Hide(false);
  host.lines.displayText("FILTER CUTOFF", "127", "CC 74");
  host.lines.displayTimbre("[TIMBRE 1]");
  host.lines.displayBuild("2.0.8");

  const bool update = getenv("DAVREL_UPDATE_REFERENCES") != nullptr;
  for (int page = 0; page <= 4; ++page)
    for (int timbre = 0; timbre <= 1; ++timbre)
    {
      if (timbre == 1 && page != 2 && page != 3) continue;  // the other pages show no timbre
      TabSwitchFunctions().mainTabSwitch(&host, page, timbre);
      IRECT all(0, 0, editor.graphics.Width(), editor.graphics.Height());
      editor.graphics.Draw(&all);
      const std::string name = "page" + std::to_string(page) + "-timbre" + std::to_string(timbre + 1) + ".png";
      const std::string reference = std::string(DAVREL_TEST_SOURCE_DIR) + "/tests/ui/reference/" + name;
      const std::string shot = std::string(DAVREL_TEST_OUTPUT_DIR) + "/" + name;
      ASSERT_TRUE(LICE_WritePNG(shot.c_str(), editor.graphics.GetDrawBitmap(), false));
      if (update)
      {
        ASSERT_TRUE(LICE_WritePNG(reference.c_str(), editor.graphics.GetDrawBitmap(), false));
        continue;
      }
      std::unique_ptr<LICE_IBitmap> expected(LICE_LoadPNG(reference.c_str(), nullptr));
      ASSERT_NE(expected, nullptr) << reference;
      EXPECT_EQ(differingPixels(editor.graphics.GetDrawBitmap(), expected.get(), 12), 0) << name;
    }
}

// The small and large editor draw every page with the images scaled to them; the
// pictures are written beside the test for a look, and every pixel is painted.
TEST(ScreenshotTest, SmallAndLargeEditorsDrawEveryPage)
{
  for (double scale : {0.75, 1.25})
  {
    RealEditor editor(scale);
    ShotHost host(&editor);
    editor.graphics.PrepDraw();
    for (int i = 0; i < kNumParams; ++i)
      editor.graphics.SetParameterFromPlug(i, editor.plug.GetParam(i)->Value(), false);
    editor.config.getLayer("root")->Hide(false);
    for (int page = 0; page <= 4; ++page)
    {
      TabSwitchFunctions().mainTabSwitch(&host, page, 0);
      LICE_IBitmap* bmp = editor.graphics.GetDrawBitmap();
      LICE_Clear(bmp, LICE_MakePixel(255, 0, 255, 255));
      IRECT all(0, 0, editor.graphics.Width(), editor.graphics.Height());
      editor.graphics.Draw(&all);
      const std::string name = "page" + std::to_string(page) + "-scale" + std::to_string((int)(scale * 100)) + ".png";
      const std::string shot = std::string(DAVREL_TEST_OUTPUT_DIR) + "/" + name;
      ASSERT_TRUE(LICE_WritePNG(shot.c_str(), bmp, false));
      int unpainted = 0;
      for (int y = 0; y < bmp->getHeight(); ++y)
        for (int x = 0; x < bmp->getWidth(); ++x)
          unpainted += bmp->getBits()[(size_t)y * bmp->getRowSpan() + x] == LICE_MakePixel(255, 0, 255, 255);
      EXPECT_EQ(unpainted, 0) << name;
    }
  }
}
