// The editor's display lines as they are drawn: each text written through the
// editor reaches its line's control and changes pixels inside that control's box
// only, and the sequence step texts of one sequence leave the others alone.

#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
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

// A fresh editor ready to draw, and its window's width for the pixel comparisons.
struct EditorDisplayLines : ::testing::Test
{
  DataFolder data;
  EditorUnderTest e;
  int width = 0;
  void SetUp() override
  {
    e.graphics->PrepDraw();
    width = e.graphics->Width();
  }
};

}  // namespace

TEST_F(EditorDisplayLines, EveryLineShowsItsTextInsideItsBox)
{
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

TEST_F(EditorDisplayLines, StepTextsOfOneSequenceAreDrawnAndTheOthersStay)
{
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

TEST_F(EditorDisplayLines, AMovedControlsNameAndValueAreDrawn)
{
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

// What the display shows after each control, in the order a user meets them: a
// switch that changes which controls a page shows keeps its own name on the name
// line (the page's redraw does not name the timbre over it), "Patch Randomized"
// stays after the request that follows it, a parameter without a name writes
// nothing, and the timbre line shows the link.
TEST_F(EditorDisplayLines, WhatTheDisplayShowsAfterEachControl)
{
  e.midiOutSet = true;
  const char* own = "<own name>";
  const char* kept = "-";
  struct Case
  {
    int id;
    double value;
    bool click;  // pressed and let go at its centre, as the mouse does
    const char *name, *value_, *timbre;
  } cases[] = {
      {kOsc1Waveform, 2, false, own, "Triangle [2]", "[TIMBRE 1]"},
      {kVoiceAssign, 2, false, own, "Unison [2]", "[TIMBRE 1]"},
      {kLfo1TempoSync, 1, false, own, "ON [1]", "[TIMBRE 1]"},
      {kLfo2TempoSync, 1, false, own, "ON [1]", "[TIMBRE 1]"},
      {kDelayFxTempoSync, 1, false, own, "ON [1]", "[TIMBRE 1]"},
      {kAmpGateSw, 1, false, own, "GATE [1]", "[TIMBRE 1]"},
      {kArpType, 3, false, own, "3", "[TIMBRE 1]"},
      {kCommonMode, 0, false, own, "Single [0]", "[TIMBRE 1]"},
      {kCommonMode, 2, false, own, "Layer [2]", "[TIMBRE 1]"},
      {kQuickTab, 1, false, "Display Timbre 2 Parameters", kept, "[TIMBRE 2]"},
      {kOsc1Waveform + 1, 3, false, own, "Sine [3]", "[TIMBRE 2]"},
      {kQuickTab, 0, false, "Display Timbre 1 Parameters", kept, "[TIMBRE 1]"},
      {kShowModSequence, 1, false, kept, kept, "[TIMBRE 1]"},
      {kSeq1Knob, 2, false, own, "Osc2 Pitch [2]", "[TIMBRE 1]"},
      {kShowModSequence, 0, false, kept, kept, "[TIMBRE 1]"},
      {kRequestTempData, 1, true, own, "0", "[TIMBRE 1]"},
      {kRequestTempData, 0, false, own, "0", "[TIMBRE 1]"},
      {kLockPartMIDIch, 1, false, own, "1", "[TIMBRE 1]"},
      {kMIDIFilterHWCCPassThrough, 0, false, own, "0", "[TIMBRE 1]"},
      {kRandomize, 1, false, "Patch Randomized", "", "[TIMBRE 1]"},  // not the button's value
      {kRandomize, 0, false, own, "0", "[TIMBRE 1]"},
      {kShowLibrarian, 1, false, kept, kept, "[TIMBRE 1]"},
      {kLibSyncTimer, 1, false, own, "1", "[TIMBRE 1]"},
      {kPatchUp, 1, false, "Main Page", "1", "[TIMBRE 1]"},  // the step shows the page again,
      {kMIDIFilterProgramChange, 0, false, own, "DISABLED [0]", "[TIMBRE 1]"},
      {kPatchUp, 1, false, "Program Change Disabled.", kept, "[TIMBRE 1]"},  // a refused one says so
      {kRefreshFolders, 0, false, kept, kept, "[TIMBRE 1]"},  // the bank menu's Refresh Folders
      {kShowLibrarian, 0, false, kept, kept, "[TIMBRE 1]"},
      {kLayerLinker, 1, false, "Timbres are Linked", kept, "[LAYER]"},
      {kVoiceAssign, 1, false, own, "Poly [1]", "[LAYER]"},
      {kDelayFxTempoSync, 0, false, own, "OFF [0]", "[LAYER]"},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::string(e.GetParam(c.id)->GetNameForHost()) + " (" + std::to_string(c.id) + ") to " +
                 std::to_string(c.value));
    e.displayText(kept, kept, kept);
    if (c.click)
      ASSERT_TRUE(clickCentre(e.graphics, e.firstControlOf(c.id)));
    else
      e.userSets(c.id, c.value);
    EXPECT_EQ(e.nameLine(), c.name == own ? std::string(e.GetParam(c.id)->GetNameForHost()) : std::string(c.name));
    EXPECT_EQ(e.valueLine(), c.value_);
    EXPECT_EQ(e.timbreLine(), c.timbre);
    // What the editor keeps is what its lines show.
    EXPECT_EQ(e.nameLine(), e.displayLines.nameLine->GetTextForPlug());
    EXPECT_EQ(e.timbreLine(), e.displayLines.timbreLine->GetTextForPlug());
  }
}

// The build line is drawn on every page, the librarian's too, whose background
// reaches down under it.
TEST_F(EditorDisplayLines, TheBuildLineIsSeenOnEveryPage)
{
  // The pixels the text changes on the sound page, where nothing lies over it.
  int whole = 0;
  for (int page : {2, 0, 1, 3, 4})
  {
    SCOPED_TRACE(page);
    if (page == 0)
      ASSERT_TRUE(clickCentre(e.graphics, e.mixerTab));
    else
      e.userSets(kMainPage, page);
    e.displayBuild("");
    const Pixels before = drawn(e);
    e.displayBuild("v2.0.8");
    const Change c = compare(before, drawn(e), width, e.displayLines.buildLine->GetRECT());
    EXPECT_GT(c.count, 20);
    EXPECT_EQ(c.outside, 0);
    // Not a glyph half covered: as many pixels as where it lies free.
    if (page == 2) whole = c.count;
    EXPECT_GE(c.count * 10, whole * 9);
  }
}

// A status line that names a bank, the name too long for the line, at each editor
// size: the words that say what happened stay whole and first, the name loses its
// middle (its end stays), and the line draws nothing outside its box.
TEST(EditorStatusLines, TheWordsStayWholeAndTheNameIsShortened)
{
  const std::string name = "A Much Longer Bank Name For The Readonly Test Of Two Lines.dvl";
  atEveryEditorSize<RecordingEditor>([](DataFolder&) {}, [&](UnderTest<RecordingEditor>& e, const EditorSize&, IRECT) {
    e.graphics->PrepDraw();
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"Bank not saved: ", [&] { e.bankWriteFailed("/no/such/folder/" + name, EACCES); }},
        {"Bank saved: ", [&] { e.upperBankName = name, e.librarianBankSaved(false); }},
    };
    for (const auto& [words, write] : rows)
    {
      SCOPED_TRACE(words);
      Blank blank(e);
      const Pixels before = drawn(e);
      write();
      ASSERT_EQ(e.nameLine(), words + name);  // the editor keeps the whole line
      // The value line below says why.
      const IRECT n = e.displayLines.nameLine->GetRECT(), v = e.displayLines.valueLine->GetRECT();
      const IRECT lines(std::min(n.L, v.L), std::min(n.T, v.T), std::max(n.R, v.R), std::max(n.B, v.B));
      EXPECT_EQ(compare(before, drawn(e), e.graphics->Width(), lines).outside, 0);
      const std::string shown = e.displayLines.nameLine->drawnText();
      EXPECT_EQ(shown.rfind(words, 0), 0u) << shown;
      EXPECT_NE(shown.find("\u2026"), std::string::npos) << shown;
      EXPECT_EQ(shown.substr(shown.size() - 5), "s.dvl") << shown;
    }
  });
}
