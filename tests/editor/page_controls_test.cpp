// The pages as the user reaches them on the editor built from the shipped
// configuration: which controls a click at their centre reaches after each page
// change, and what a page change sends.

#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "raster/lice.h"
#include "raster/lice_pixel.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

namespace {

struct Pages : ::testing::Test
{
  DataFolder data;
  EditorUnderTest e;

  void SetUp() override
  {
    e.midiOutSet = true;
    e.takeSent();
  }

  // The control a click at the centre of the first control of the parameter reaches.
  bool clickable(int paramIdx)
  {
    IControl* c = e.firstControlOf(paramIdx);
    if (!c) return false;
    const IRECT& r = c->GetTargetRECT();
    // A grey control still takes the click at its point, and ignores it.
    return e.graphics->GetMouseControlIdx((r.L + r.R) / 2, (r.T + r.B) / 2) == c && !c->IsGrayed();
  }

  // Timbre-select messages (CC 95 on any channel) sent since the last call.
  int timbreSelectsSent()
  {
    int n = 0;
    for (const auto& m : e.takeSent())
      if (m.size() == 3 && (m[0] & 0xF0) == 0xB0 && m[1] == 95) ++n;
    return n;
  }
};

}  // namespace

// Each page's own buttons are reachable whatever timbre was last chosen, and no
// page change, program step or page re-entry tells the synthesizer of a timbre
// change; choosing a timbre does.
TEST_F(Pages, PageButtonsReachableAfterEveryTimbreAndNoTimbreSelectOnPageChange)
{
  for (int timbre : {0, 1})
  {
    SCOPED_TRACE(testing::Message() << "timbre " << timbre);
    e.userSets(kShowLibrarian, 0);
    e.userSets(kQuickTab, timbre);
    EXPECT_EQ(timbreSelectsSent(), 1);

    e.userSets(kShowLibrarian, 1);
    EXPECT_TRUE(clickable(kOverwriteBank));
    EXPECT_TRUE(e.keepBankOpenLayer->visible);
    EXPECT_TRUE(clickable(kPatchSearch));
    EXPECT_FALSE(clickable(kDiscardBankData));  // no unsaved edits
    EXPECT_EQ(timbreSelectsSent(), 0);

    // The search field opens and stays while the page is shown again.
    e.userSets(kPatchSearch, 1);
    e.userSets(kMainPage, 1);
    EXPECT_TRUE(clickable(kPatchSearchString));
    e.userSets(kPatchSearch, 0);

    // Unsaved edits: Discard takes Keep Bank's place.
    e.GetParam(kBankEditUnsaved)->Set(1);
    e.userSets(kMainPage, 1);
    EXPECT_TRUE(clickable(kDiscardBankData));
    EXPECT_FALSE(e.keepBankOpenLayer->visible);
    e.GetParam(kBankEditUnsaved)->Set(0);

    // A program step redraws the page through the page change.
    e.userSets(kPatchUp, 1);
    EXPECT_TRUE(clickable(kOverwriteBank));

    // A timbre change from the hardware while the librarian is shown.
    e.GetParam(kQuickTab)->Set(1 - timbre);
    e.OnParamChange2(kQuickTab);
    EXPECT_TRUE(clickable(kOverwriteBank));
    EXPECT_TRUE(clickable(kPatchSearch));
    e.GetParam(kQuickTab)->Set(timbre);
    e.OnParamChange2(kQuickTab);
    EXPECT_EQ(timbreSelectsSent(), 0);

    e.userSets(kGlobalSettings, 1);
    EXPECT_TRUE(clickable(kViewMIDIFilterSettings));
    EXPECT_TRUE(clickable(kMasterVelocityValue));
    e.userSets(kGlobalSettings, 0);
    e.userSets(kShowLibrarian, 0);
    EXPECT_EQ(timbreSelectsSent(), 0);
  }
}

// TO T1 and TO T2 are held by a click (one at a time), so the librarian's next send
// loads into that timbre; a second click releases.
TEST_F(Pages, LoadToTimbreButtonsHoldTheirChoice)
{
  e.userSets(kShowLibrarian, 1);
  auto click = [&](int paramIdx) { ASSERT_TRUE(clickCentre(e.graphics, e.firstControlOf(paramIdx))) << paramIdx; };
  click(kLoadToTimbre1);
  EXPECT_TRUE(e.loadToTimbre1);
  EXPECT_EQ(e.GetParam(kLoadToTimbre1)->Value(), 1.0);
  click(kLoadToTimbre2);
  EXPECT_TRUE(e.loadToTimbre2);
  EXPECT_FALSE(e.loadToTimbre1);
  EXPECT_EQ(e.nameLine(), e.GetParam(kLoadToTimbre2)->GetNameForHost());  // not the released TO T1
  EXPECT_EQ(e.GetParam(kLoadToTimbre1)->Value(), 0.0);
  EXPECT_EQ(e.firstControlOf(kLoadToTimbre1)->GetValue(), 0.0);
  click(kLoadToTimbre2);
  EXPECT_FALSE(e.loadToTimbre2);
}

namespace {

// The contrast of a control as drawn: the summed distance of every pixel's
// brightness from the mean over its rectangle.
long long drawnContrast(EditorUnderTest& e, IControl* c)
{
  IRECT all(0, 0, e.graphics->Width(), e.graphics->Height());
  e.graphics->Draw(&all);
  LICE_IBitmap* b = e.graphics->GetDrawBitmap();
  const IRECT& r = c->GetRECT();
  std::vector<int> v;
  for (int y = r.T; y < r.B; ++y)
    for (int x = r.L; x < r.R; ++x)
    {
      const LICE_PixelValue p = LICE_GetPixel(b, x, y);
      v.push_back(LICE_PixelR(p) + LICE_PixelG(p) + LICE_PixelB(p));
    }
  long long mean = 0, contrast = 0;
  for (int x : v) mean += x;
  mean /= (long long)std::max<size_t>(v.size(), 1);
  for (int x : v) contrast += std::llabs(x - mean);
  return contrast;
}

}  // namespace

// A disabled tab and a disabled menu are drawn with clearly less contrast.
TEST_F(Pages, GreyedTabsAndMenusDrawDimmer)
{
  e.graphics->PrepDraw();
  for (int id : {kShowModSequence, kCommonSplitPoint, kGlobalSettings})
  {
    SCOPED_TRACE(id);
    IControl* c = e.firstControlOf(id);
    ASSERT_NE(c, nullptr);
    c->GrayOut(false);
    const long long enabled = drawnContrast(e, c);
    c->GrayOut(true);
    const long long greyed = drawnContrast(e, c);
    EXPECT_LT(greyed, enabled * 7 / 10) << enabled << " " << greyed;
  }
}

// The split point takes input exactly in the mode the mode menu calls "Split".
TEST_F(Pages, SplitPointFollowsTheSplitMode)
{
  int splitModes = 0;
  for (int mode = 0; mode < 4; ++mode)
  {
    const std::string name = e.GetParam(kCommonMode)->GetDisplayText(mode);
    SCOPED_TRACE(name);
    e.userSets(kCommonMode, mode);
    EXPECT_EQ(clickable(kCommonSplitPoint), name == "Split");
    splitModes += name == "Split";
  }
  EXPECT_EQ(splitModes, 1);
}

// The mixer page has its tab: it switches off the lit show switch, shows page 0
// with the timbres' channel controls, and a show switch leads away again.
TEST_F(Pages, MixerTabReachesTheMixerPage)
{
  EXPECT_FALSE(clickable(kMultiPartMIDICh));
  e.userSets(kShowLibrarian, 1);
  ASSERT_TRUE(clickCentre(e.graphics, e.mixerTab));
  EXPECT_EQ(e.GetParam(kMainPage)->Value(), 0.0);
  EXPECT_EQ(e.GetParam(kShowLibrarian)->Value(), 0.0);
  EXPECT_EQ(e.firstControlOf(kShowLibrarian)->GetValue(), 0.0);
  EXPECT_TRUE(clickable(kMultiPartMIDICh));
  EXPECT_TRUE(clickable(kMultiPartMIDICh + 1));
  EXPECT_TRUE(clickable(kLockPartMIDIch));
  EXPECT_FALSE(clickable(kFilterCutoff));
  EXPECT_FALSE(clickable(kRandomize));  // it does nothing here
  EXPECT_EQ(timbreSelectsSent(), 0);

  ASSERT_TRUE(clickCentre(e.graphics, e.firstControlOf(kShowLibrarian)));
  EXPECT_EQ(e.GetParam(kMainPage)->Value(), 1.0);
  EXPECT_FALSE(clickable(kMultiPartMIDICh));
  EXPECT_TRUE(clickable(kRandomize));

  // Clicked again on its own page, the tab leads back to the sound page, as the
  // other tabs do; no tab of its own leads there.
  ASSERT_TRUE(clickCentre(e.graphics, e.mixerTab));
  ASSERT_EQ(e.GetParam(kMainPage)->Value(), 0.0);
  ASSERT_TRUE(clickCentre(e.graphics, e.mixerTab));
  EXPECT_EQ(e.GetParam(kMainPage)->Value(), 2.0);
  EXPECT_TRUE(clickable(kFilterCutoff));
  EXPECT_FALSE(clickable(kMultiPartMIDICh));
  EXPECT_EQ(timbreSelectsSent(), 0);
}

// The global page's MIDI Filters button opens the filter page, which stays open
// after the click and takes clicks on its own switches until its Close is clicked;
// then the button opens it again. Like the other page switches it leaves the display alone.
TEST_F(Pages, MidiFilterPageStaysOpenUntilItsCloseIsClicked)
{
  e.userSets(kGlobalSettings, 1);
  ControlAction* a = static_cast<ControlAction*>(e.GetParam(kViewMIDIFilterSettings)->GetControlAction());
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->controls.size(), 2u);
  IControl *open = a->controls[0], *close = a->controls[1];
  for (int round = 0; round < 2; ++round)
  {
    SCOPED_TRACE(round);
    e.displayText("-", "-", "-");
    ASSERT_TRUE(clickCentre(e.graphics, open));
    EXPECT_TRUE(e.midiFilterSettingsLayer->visible);
    EXPECT_TRUE(clickable(kMIDIFilterHWCCPassThrough));
    ASSERT_TRUE(clickCentre(e.graphics, close));
    EXPECT_FALSE(e.midiFilterSettingsLayer->visible);
    EXPECT_TRUE(clickable(kMasterVelocityValue));
    EXPECT_EQ(e.nameLine() + " / " + e.valueLine(), "- / -");
  }
}

// The MIDI activity indicators show activity only: a click lights neither of them
// and writes nothing to the display.
TEST_F(Pages, ActivityIndicatorsTakeNoClick)
{
  for (int id : {(int)kMIDILed, (int)kMIDILed + 1})
  {
    SCOPED_TRACE(id);
    e.displayText("-", "-", "-");
    IControl* led = e.firstControlOf(id);
    ASSERT_NE(led, nullptr);
    clickCentre(e.graphics, led);
    EXPECT_EQ(e.GetParam(id)->Value(), 0.0);
    EXPECT_EQ(led->GetValue(), 0.0);
    EXPECT_EQ(e.nameLine(), "-");
    EXPECT_EQ(e.valueLine(), "-");
  }
}

namespace {
// The editor with the real router behind its gate, for parameter changes from the
// hardware.
struct RoutingEditor : RecordingEditor
{
  void fromHardware(int id, int value)
  {
    for (int ph = 0; ph < 3; ++ph)
      for (int pl = 0; pl < 128; ++pl)
        if (IControl* c = getSysexControl(0x58, 0x41, pl, ph, 0))
          if (c->ParamIdx() == id)
          {
            const unsigned char b[] = {0xF0, 0x42, sysexChannelByte.load(), 0x58, 0x41, (unsigned char)pl,
                                       (unsigned char)ph, (unsigned char)value, 0, 0xF7};
            ISysEx s(0, b, (int)sizeof b);
            Davrel::routeSysEx(&s, true);
            return;
          }
    ADD_FAILURE() << "no parameter-change address for " << id;
  }
  // Which layers are shown, and which of their controls are shown and greyed.
  std::vector<int> zones()
  {
    std::vector<int> z;
    walk(rootLayer, &z);
    return z;
  }
  static void walk(ControlLayer* layer, std::vector<int>* z)
  {
    z->push_back(layer->visible ? 4 : 0);
    for (int i = 0; i < layer->controls.GetSize(); ++i)
      z->push_back((layer->controls.Get(i)->IsHidden() ? 1 : 0) | (layer->controls.Get(i)->IsGrayed() ? 2 : 0));
    for (int i = 0; i < layer->children.GetSize(); ++i) walk(layer->children.Get(i), z);
  }
};
}  // namespace

// A switch that decides which knobs a page shows (the sound page's voice assign and
// syncs, the sequencer page's knob choices, the global page's velocity curve) leaves
// the page the same whether the user or the hardware changed it, on either timbre's
// page.
TEST(SoundZones, HardwareAndUserChangesShowTheSameZones)
{
  DataFolder data;
  UnderTest<RoutingEditor> e;
  e.midiOutSet = true;
  const struct
  {
    int base, page, timbres;
  } switches[] = {{kVoiceAssign, 2, 2}, {kLfo1TempoSync, 2, 2},    {kLfo2TempoSync, 2, 2},
                  {kSeq1Knob, 3, 2},    {kSeq2Knob, 3, 2},         {kSeq3Knob, 3, 2},
                  {kDelayFxTempoSync, 2, 1}, {kMasterVelocityArea, 4, 1}};
  int changed = 0;
  for (const auto& sw : switches)
    for (int t = 0; t < sw.timbres; ++t)
    {
      const int id = sw.base + t;
      e.userSets(kMainPage, sw.page);
      e.userSets(kQuickTab, t);
      const int hi = (int)e.GetParam(id)->GetMax();
      for (int from = 0; from <= hi; ++from)
        for (int to = 0; to <= hi; ++to)
        {
          if (from == to) continue;
          SCOPED_TRACE(std::string(e.GetParam(id)->GetNameForHost()) + " " + std::to_string(from) + " to " +
                       std::to_string(to));
          e.userSets(id, from);
          const std::vector<int> before = e.zones();
          e.userSets(id, to);
          const std::vector<int> byUser = e.zones();
          e.userSets(id, from);
          ASSERT_EQ(e.zones(), before);
          e.fromHardware(id, to);
          ASSERT_DOUBLE_EQ(e.GetParam(id)->Value(), to);
          EXPECT_EQ(e.zones(), byUser);
          changed += byUser != before;
        }
    }
  // Every change of voice assign and the syncs shows another zone; a sequencer knob
  // greys its steps when it goes to or from "off", the velocity curve its level
  // across 7 and 8.
  EXPECT_GE(changed, 8 + 3 * 2 * 2 * 7 + 2 + 2 * 8);
}
