// The editor's display lines as they are drawn: each text written through the
// editor reaches its line's control and changes pixels inside that control's box
// only, and the sequence step texts of one sequence leave the others alone.

#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using Pixels = std::vector<LICE_PixelValue>;

Pixels drawn(Davrel& e)
{
  IRECT all(0, 0, e.graphics->Width(), e.graphics->Height());
  e.graphics->Draw(&all);
  LICE_IBitmap* bm = e.graphics->GetDrawBitmap();
  Pixels out;
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) out.push_back(bm->getBits()[(size_t)y * bm->getRowSpan() + x]);
  return out;
}

struct Change
{
  int count = 0, outside = 0;
};

// Pixels that differ, and those of them outside the box.
Change compare(const Pixels& a, const Pixels& b, int width, const IRECT& box)
{
  Change c;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i])
    {
      ++c.count;
      const int x = (int)(i % (size_t)width), y = (int)(i / (size_t)width);
      if (x < box.L || x >= box.R || y < box.T || y >= box.B) ++c.outside;
    }
  return c;
}

struct Blank
{
  explicit Blank(EditorUnderTest& e)
  {
    e.displayText("", "", "");
    e.displayTimbre("");
    e.displayBuild("");
  }
};

}  // namespace

TEST(EditorDisplayLines, EveryLineShowsItsTextInsideItsBox)
{
  DataFolder data;
  EditorUnderTest e;
  e.graphics->PrepDraw();
  const int width = e.graphics->Width();

  struct Line
  {
    const char* what;
    ITextControl* control;
    std::function<void()> write;
  };
  const std::vector<Line> lines = {
      {"name", e.displayLines.nameLine, [&] { e.showStatusText("CONNECTION TIMED OUT!"); }},
      {"value", e.displayLines.valueLine, [&] { e.showSecondLineText("DATA MISMATCH"); }},
      {"address", e.displayLines.ccLine, [&] { e.displayText("", "", "CC 74"); }},
      {"timbre", e.displayLines.timbreLine, [&] { e.displayTimbre("[TIMBRE 2]"); }},
      {"build", e.displayLines.buildLine, [&] { e.displayBuild("2.0.8"); }},
  };
  for (const Line& line : lines)
  {
    ASSERT_NE(line.control, nullptr) << line.what;
    EXPECT_FALSE(line.control->IsHidden()) << line.what;
    Blank blank(e);
    const Pixels before = drawn(e);
    line.write();
    const Pixels after = drawn(e);
    const Change c = compare(before, after, width, line.control->GetRECT());
    EXPECT_GT(c.count, 20) << line.what << ": no text drawn";
    EXPECT_EQ(c.outside, 0) << line.what;
    // An empty text clears the line again.
    Blank again(e);
    EXPECT_EQ(compare(before, drawn(e), width, line.control->GetRECT()).count, 0) << line.what;
  }
}

TEST(EditorDisplayLines, StepTextsOfOneSequenceAreDrawnAndTheOthersStay)
{
  DataFolder data;
  EditorUnderTest e;
  e.graphics->PrepDraw();
  const int width = e.graphics->Width();
  e.userSets(kShowModSequence, 1);

  DisplayLines::StepTexts blank, texts;
  for (size_t k = 0; k < 16; ++k) texts[k] = std::to_string(100 + (int)k);
  for (int seq = 0; seq < 3; ++seq)
  {
    e.displaySequence1Values(blank);
    e.displaySequence2Values(blank);
    e.displaySequence3Values(blank);
    const Pixels before = drawn(e);
    if (seq == 0) e.displaySequence1Values(texts);
    if (seq == 1) e.displaySequence2Values(texts);
    if (seq == 2) e.displaySequence3Values(texts);
    const Pixels after = drawn(e);
    int inBoxes = 0;
    for (int i = 0; i < 48; ++i)
    {
      ITextControl* t = e.displayLines.stepTexts[(size_t)i];
      ASSERT_NE(t, nullptr) << i;
      const int changed = compare(before, after, width, IRECT(0, 0, 0, 0)).count -
                          compare(before, after, width, t->GetRECT()).outside;
      if (i / 16 == seq)
      {
        EXPECT_GT(changed, 5) << "sequence " << seq + 1 << " step " << i % 16 + 1;
        inBoxes += changed;
      }
      else
        EXPECT_EQ(changed, 0) << "sequence " << seq + 1 << " wrote step text " << i;
    }
    EXPECT_EQ(inBoxes, compare(before, after, width, IRECT(0, 0, 0, 0)).count) << "pixels outside the step boxes";
  }
}

TEST(EditorDisplayLines, AMovedControlsNameAndValueAreDrawn)
{
  DataFolder data;
  EditorUnderTest e;
  e.graphics->PrepDraw();
  const int width = e.graphics->Width();
  e.displayText("", "", "");
  const Pixels before = drawn(e);
  e.userSets(kFilterCutoff, 100);
  const Pixels after = drawn(e);
  // What the editor keeps as its lines is what its controls show.
  EXPECT_FALSE(e.nameLine().empty());
  EXPECT_EQ(e.nameLine(), e.displayLines.nameLine->GetTextForPlug());
  EXPECT_EQ(e.valueLine(), e.displayLines.valueLine->GetTextForPlug());
  EXPECT_GT(compare(before, after, width, e.displayLines.nameLine->GetRECT()).count, 20);
}
