// The element walk: layers, per-timbre copies, parameter ids and the part rule.

#include "UiTestSupport.h"
#include "config/ParamIds.h"

#include <gtest/gtest.h>

namespace {

const char* const kCutoffKnob =
    "<knobcontrol type=\"ccKnob\" name=\"Cutoff\" imageId=\"KNOB_ID127\" paramId=\"kFilterCutoff\" "
    "paramGroup=\"Filter\" position=\"40,120,0,0\" valueBounds=\"0,0,127,1\" ccNumber=\"74\"%s/>";

std::string cutoffKnob(const std::string& extra = "")
{
  char text[512];
  snprintf(text, sizeof text, kCutoffKnob, extra.c_str());
  return text;
}

}  // namespace

TEST(ConfigWalkTest, MultilayerBuildsOneCopyPerTimbre)
{
  EditorConfig e(uiDocument("<multilayer create=\"2\" name=\"tb\">" + cutoffKnob() + "</multilayer>"), sysexDocument());
  ControlLayer* tb0 = e.layer("tb0");
  ControlLayer* tb1 = e.layer("tb1");
  ASSERT_TRUE(tb0 && tb1);
  EXPECT_EQ(tb0->id, 0);
  EXPECT_EQ(tb1->id, 1);
  EXPECT_EQ(e.graphics.NLayers(), 2);
  for (int t = 0; t < 2; ++t)
  {
    ControlAction* a = e.action(kFilterCutoff + t);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->part, t);
    EXPECT_EQ(a->channelKey, t + 1);
    ASSERT_EQ(a->controls.size(), 1u);
    EXPECT_EQ((t ? tb1 : tb0)->controls.Get(0), a->controls[0]);
    EXPECT_STREQ(e.param(kFilterCutoff + t)->GetNameForHost(), t ? "[2] Cutoff" : "[1] Cutoff");
    EXPECT_STREQ(e.param(kFilterCutoff + t)->GetParamGroupForHost(), t ? "Timbre 2:Filter" : "Timbre 1:Filter");
  }
  EXPECT_EQ(e.config.ccControls().findControl(2, 74, 0), e.control(kFilterCutoff + 1));
}

// For each case: the document's elements, and the part of parameter 24 (or no
// record at all), with how many layers and controls the window got.
TEST(ConfigWalkTest, PartRuleAndWhatBuildsNothing)
{
  const struct
  {
    const char* name;
    std::string elements;
    bool bound;
    int part;
    int layers, controls;
  } cases[] = {
    {"channel 2 at the top", cutoffKnob(" channel=\"2\""), true, 1, 0, 1},
    {"no channel at the top", cutoffKnob(), true, -1, 0, 1},
    {"channel 1", cutoffKnob(" channel=\"1\""), true, 0, 0, 1},
    {"create 0", "<multilayer create=\"0\" name=\"tb\">" + cutoffKnob() + "</multilayer>", false, 0, 0, 0},
    {"no create", "<multilayer name=\"tb\">" + cutoffKnob() + "</multilayer>", false, 0, 0, 0},
    {"comment first", "<!-- a comment -->" + cutoffKnob(), true, -1, 0, 1},
    {"no type", "<knobcontrol name=\"Cutoff\" imageId=\"KNOB_ID127\" paramId=\"kFilterCutoff\"/>", false, 0, 0, 0},
    {"unknown type",
     "<knobcontrol type=\"spinner\" name=\"Cutoff\" imageId=\"KNOB_ID127\" paramId=\"kFilterCutoff\"/>", false, 0,
     0, 0},
    {"unknown element", "<gadget paramId=\"kFilterCutoff\"/>", false, 0, 0, 0},
    {"a caption is no element", "<label text=\"Cutoff\" bounds=\"0,0,60,13\"/><field bounds=\"0,0,60,13\"/>", false,
     0, 0, 0},
    {"children of a control are not walked", "<background imageId=\"BG_ID_MAIN\" position=\"0,0\">" + cutoffKnob() +
                                                 "</background>",
     false, 0, 0, 1},
    {"layer without a name", "<layer id=\"3\">" + cutoffKnob() + "</layer>", false, 0, 0, 0},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    EditorConfig e(uiDocument(c.elements), sysexDocument());
    ControlAction* a = e.action(kFilterCutoff);
    EXPECT_EQ(a != nullptr, c.bound);
    if (a && c.bound) { EXPECT_EQ(a->part, c.part); }
    EXPECT_EQ(e.graphics.NLayers(), c.layers);
    EXPECT_EQ(e.graphics.NControls(), c.controls);
  }
}

TEST(ConfigWalkTest, ParameterReferences)
{
  const struct
  {
    const char* paramId;
    bool inSecondCopy;
    int bound;  // -1: nothing bound anywhere
  } cases[] = {
    {"kSeq1Step1+2", false, 149},
    {"kSeq1Step1+2", true, 150},
    {"kSeq1Step1", false, 147},
    {"kNoSuchParam", false, -1},
    {"kNoSuchParam+2", false, -1},
    {"kSeq1Step1+x", false, -1},
    {"kSeq1Step1+2147483647", false, -1},
    {"kSeq1Step1+-2147483648", true, -1},
    {"", false, -1},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(std::string(c.paramId) + (c.inSecondCopy ? " in copy 1" : ""));
    const std::string knob = std::string("<knobcontrol type=\"seKnob\" name=\"Step\" imageId=\"KNOB_ID127\" paramId=\"") +
                             c.paramId + "\" position=\"0,0,0,0\" valueBounds=\"0,0,127,1\" sysexIndex=\"0\" changingByte=\"7\"/>";
    EditorConfig e(uiDocument(c.inSecondCopy ? "<multilayer create=\"2\" name=\"m\">" + knob + "</multilayer>" : knob),
                   sysexDocument());
    int found = 0;
    for (int id = 0; id < 529; ++id)
      if (e.action(id)) ++found;
    if (c.bound < 0)
    {
      EXPECT_EQ(found, 0);
      continue;
    }
    ASSERT_NE(e.action(c.bound), nullptr);
    EXPECT_EQ(e.action(c.bound)->part, c.inSecondCopy ? 1 : -1);
  }
}

TEST(ConfigWalkTest, LayersNestAndTakeTheOverlayFlagOnlyFromTrue)
{
  EditorConfig e(uiDocument("<valueLists/>"
                            "<layer name=\"page\" id=\"2\" overlay=\"true\">"
                            "  <eg2layer name=\"zone\" id=\"50\">" +
                            cutoffKnob() +
                            "</eg2layer>"
                            "</layer>"
                            "<modseq1layer name=\"big\" id=\"3\" overlay=\"True\"/>"
                            "<voicelayer name=\"one\" id=\"4\" overlay=\"1\"/>"),
                 sysexDocument());
  ControlLayer* page = e.layer("page");
  ControlLayer* zone = e.layer("zone");
  ASSERT_TRUE(page && zone);
  EXPECT_EQ(e.graphics.NLayers(), 3);
  EXPECT_EQ(e.graphics.GetLayer(0), page);
  EXPECT_EQ(page->children.Get(0), zone);
  EXPECT_EQ(zone->id, 50);
  EXPECT_EQ(zone->controls.Get(0), e.control(kFilterCutoff));
  EXPECT_TRUE(page->ignoreHiddenWhenUpdatingScreen);
  EXPECT_TRUE(zone->ignoreHiddenWhenUpdatingScreen);
  EXPECT_FALSE(e.layer("big")->ignoreHiddenWhenUpdatingScreen);
  EXPECT_FALSE(e.layer("one")->ignoreHiddenWhenUpdatingScreen);
  EXPECT_EQ(e.layer("nothing"), nullptr);
}

TEST(ConfigWalkTest, BackgroundIsPlacedAtTheScaledPositionWithOneFrame)
{
  EditorConfig e(uiDocument("<background imageId=\"LAYER_LED_SET_ID\" position=\"10,20\"/>"), sysexDocument(), 1.25);
  ASSERT_EQ(e.graphics.NControls(), 1);
  const IRECT r = e.graphics.GetControl(0)->GetRECT();
  // LAYER_LED_SET_ID: 3 frames of 20 x 20, loaded at 1.25.
  EXPECT_EQ(r, IRECT(12, 25, 12 + 25, 25 + 75 / 3));
  EXPECT_EQ(e.graphics.GetControl(0)->ParamIdx(), -1);
}
