// The transfer overlay on the editor built from the shipped configuration, at the
// three editor sizes: it dims the whole window, its box (with the progress line)
// holds its cancel button, and while it is shown no control under it takes input.

#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "gui/ICustomControls.h"
#include "gui/IGraphics.h"
#include "raster/lice.h"
#include "raster/lice_pixel.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class OverlayEditor : public RecordingEditor
{
public:
  ProgressIndicator* overlay() { return static_cast<ProgressIndicator*>(progressIndicator); }
  IControl* cancel(int i) { return cancelButtons[i]; }
};

int brightness(LICE_IBitmap* b, int x, int y)
{
  const LICE_PixelValue p = LICE_GetPixel(b, x, y);
  return LICE_PixelR(p) + LICE_PixelG(p) + LICE_PixelB(p);
}

}  // namespace

TEST(ProgressOverlay, CoversTheWindowAtEverySizeAndTakesEveryClick)
{
  atEveryEditorSize<OverlayEditor>(
      [](const DataFolder&) {},
      [](UnderTest<OverlayEditor>& e, const EditorSize& size, const IRECT& window) {
    e.midiOutSet = true;
    const double s = size.scale;
    const int w = window.R, h = window.B;
    // Points spread over the window, its far corner included.
    std::vector<std::pair<int, int>> points;
    for (int y = 2; y < h; y += h / 9) points.emplace_back(w - 3, y);
    for (int x = 2; x < w; x += w / 13)
      for (int y = 2; y < h; y += h / 7) points.emplace_back(x, y);
    points.emplace_back(w - 3, h - 3);

    e.graphics->PrepDraw();
    IRECT all = window;
    e.graphics->Draw(&all);
    std::vector<int> before;
    for (const auto& p : points) before.push_back(brightness(e.graphics->GetDrawBitmap(), p.first, p.second));

    for (int page : {1, 2})
    {
      SCOPED_TRACE(testing::Message() << "page " << page);
      e.userSets(kMainPage, page);
      const IRECT box((int)(520 * s), (int)(240 * s), (int)(1040 * s), (int)(384 * s));
      const int outX = box.R + (int)(12 * s), outY = box.B + (int)(12 * s);
      e.graphics->Draw(&all);
      const int outsideBefore = brightness(e.graphics->GetDrawBitmap(), outX, outY);
      // The job's lines, not the button's that started it, in the box and behind it.
      e.showControlLine("Request");
      e.showValueLine("0");
      e.DisplayProcessingIndicator(true);
      EXPECT_EQ(e.overlay()->text(), "Data processing, please wait...");
      EXPECT_EQ(e.valueLine(), "");
      e.showNameLine("Please wait! Writing.. 5 of 128");
      e.showValueLine("5 of 128 programs received");
      e.DisplayProcessingIndicator(false), e.DisplayProcessingIndicator(true);  // a step of a transfer
      EXPECT_EQ(e.overlay()->text(), "Please wait! Writing.. 5 of 128");
      EXPECT_EQ(e.overlay()->secondText(), "5 of 128 programs received");
      ASSERT_EQ(e.GetParam(kMainPage)->Value(), (double)page);
      IControl* button = e.cancel(page == 1 ? 0 : 1);
      ASSERT_TRUE(e.cancel(page == 1 ? 1 : 0)->IsHidden());
      ASSERT_FALSE(button->IsHidden());

      // The button lies inside the box the image draws, at the editor's scale.
      const IRECT& b = button->GetRECT();
      EXPECT_TRUE(b.L >= box.L && b.R <= box.R && b.T >= box.T && b.B <= box.B)
          << b.L << "," << b.T << "," << b.R << "," << b.B;

      // Every point reaches the overlay or its button, nothing under them.
      for (const auto& p : points)
      {
        IControl* hit = e.graphics->GetMouseControlIdx(p.first, p.second);
        ASSERT_TRUE(hit == e.overlay() || hit == button) << p.first << "," << p.second;
      }

      // A knob dragged on the right of the sound page sends nothing.
      e.takeSent();
      IMouseMod left(true);
      const int kx = (int)(1436 * s), ky = (int)(162 * s);
      e.graphics->OnMouseDown(kx, ky, &left);
      e.graphics->OnMouseDrag(kx, ky - 40, &left);
      e.graphics->OnMouseUp(kx, ky - 40, &left);
      EXPECT_TRUE(e.takeSent().empty());

      // Drawn: every point is darker than without the overlay, except inside the box.
      e.graphics->Draw(&all);
      LICE_IBitmap* shot = e.graphics->GetDrawBitmap();
      for (size_t i = 0; i < points.size(); ++i)
      {
        const auto& p = points[i];
        if (box.Contains(p.first, p.second) || before[i] < 30) continue;
        EXPECT_LT(brightness(shot, p.first, p.second), before[i]) << p.first << "," << p.second;
      }
      // The box's corners are drawn at the editor's scale: just inside its lower
      // right corner is the box's panel, just outside the dimmed page.
      EXPECT_GT(brightness(shot, box.R - (int)(12 * s), box.B - (int)(12 * s)), 150);
      EXPECT_LT(brightness(shot, outX, outY), outsideBefore / 2 + 10);
      // The progress line is drawn: light pixels in its band.
      int light = 0;
      for (int y = (int)(298 * s); y < (int)(330 * s); ++y)
        for (int x = (int)(530 * s); x < (int)(1030 * s); ++x) light += brightness(shot, x, y) > 450;
      EXPECT_GT(light, 30);

      e.DisplayProcessingIndicator(false);
      EXPECT_EQ(e.overlay()->text(), "");
      // Once it is gone the controls take clicks again.
      EXPECT_NE(e.graphics->GetMouseControlIdx(kx, ky), e.overlay());
    }
  });
}

