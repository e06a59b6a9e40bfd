// Timbre linking and the hardware echo: a linked change reaches the partner once
// and only once, a value from the hardware never goes back to it (also when the
// handling of one value runs the handling of another), and a link whose target
// cannot take the value does nothing.

#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "ui/ControlLayer.h"
#include "ui/ControlAction.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Bytes = std::vector<unsigned char>;

struct Probe : IControl
{
  Probe(IPlugBase* plug, int id) : IControl(plug, IRECT(0, 0, 10, 10), id) {}
  bool Draw(IGraphics*) override { return true; }
};

// Timbre 1 on channel 1, timbre 2 on channel 2; every bound parameter sends CC
// number = its id % 120 on its timbre's channel.
struct Linking : ::testing::Test
{
  DataFolder data;
  EditorUnderTest e;
  std::vector<std::unique_ptr<ControlAction>> actions;
  std::vector<std::unique_ptr<Probe>> probes;

  void SetUp() override
  {
    e.GetParam(kMultiPartMIDICh)->InitInt("ch1", 0, 0, 16);
    e.GetParam(kMultiPartMIDICh + 1)->InitInt("ch2", 0, 0, 16);
    e.GetParam(kMultiPartMIDICh + 1)->Set(1);
    e.GetParam(kLayerLinker)->InitInt("link", 0, 0, 1);
    e.GetParam(kLayerLinker)->Set(1);
    e.midiOutSet = true;
    e.takeSent();
  }

  ControlAction* bind(int id, int part, int max = 127, LinkInfo link = LinkInfo())
  {
    actions.emplace_back(new ControlAction(kActionCC));
    ControlAction* a = actions.back().get();
    a->part = part;
    a->ccNumber = id % 120;
    a->linkInfo = link;
    e.GetParam(id)->InitInt("p", 0, 0, max);
    e.GetParam(id)->SetControlAction(a);
    probes.emplace_back(new Probe(&e, id));
    a->controls.push_back(probes.back().get());
    return a;
  }
  Bytes cc(int id, int part, int value) { return {(unsigned char)(0xB0 | part), (unsigned char)(id % 120), (unsigned char)value}; }
  // A value as the hardware's control hands it on.
  void fromHardware(int id, double value)
  {
    e.GetParam(id)->Set(value);
    e.OnParamChange2(id);
  }
};

TEST_F(Linking, AChangeReachesThePartnerOnceFromTheUserAndFromTheHardware)
{
  bind(kFilterCutoff, 0);
  bind(kFilterCutoff + 1, 1, 63);  // a narrower range: the partner keeps its own
  ControlAction* t2 = actions.back().get();

  e.userSets(kFilterCutoff, 100);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{cc(kFilterCutoff + 1, 1, 63), cc(kFilterCutoff, 0, 100)}));
  EXPECT_EQ(e.GetParam(kFilterCutoff + 1)->Value(), 63);
  // The partner's control shows the partner's value, not the source's position.
  EXPECT_DOUBLE_EQ(t2->controls[0]->GetValue(), 1.0);

  // From the hardware: the source is not echoed, the partner is sent.
  fromHardware(kFilterCutoff, 40);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{cc(kFilterCutoff + 1, 1, 40)}));
  EXPECT_DOUBLE_EQ(t2->controls[0]->GetValue(), 40.0 / 63.0);
  EXPECT_FALSE(e.applyingHardwareValue);
  EXPECT_FALSE(e.linkingInProgress);

  // A timbre 2 parameter links only through its record, and back to timbre 1 once.
  actions.back()->linkInfo = LinkInfo{kFilterCutoff, kFilterCutoff + 1, -1};
  e.userSets(kFilterCutoff + 1, 20);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{cc(kFilterCutoff, 0, 20), cc(kFilterCutoff + 1, 1, 20)}));

  // Unlinked: only the parameter itself.
  e.GetParam(kLayerLinker)->Set(0);
  e.userSets(kFilterCutoff, 7);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{cc(kFilterCutoff, 0, 7)}));
}

TEST_F(Linking, LinksThatCannotBeFollowedDoNothing)
{
  // Target without a record (a parameter no control sends), target out of the
  // table, half a link, a self link.
  struct Case
  {
    int source;
    LinkInfo link;
  } cases[] = {{kLfo1Frequency + 1, {kDummyParam10, kDummyParam11, -1}},
               {kLfo1Frequency + 1, {600, kLfo1Frequency, -1}},
               {kLfo1Frequency + 1, {kFilterCutoff, -1, -1}},
               {kLfo1Frequency + 1, {kLfo1Frequency + 1, kLfo1Frequency, -1}}};
  bind(kFilterCutoff, 0);
  for (const Case& c : cases)
  {
    ControlAction* a = bind(c.source, 1, 127, c.link);
    a->lastValue = -1;
    e.GetParam(kFilterCutoff)->Set(3);
    fromHardware(c.source, 50);
    EXPECT_TRUE(e.takeSent().empty()) << c.link.param1;
    EXPECT_EQ(e.GetParam(kFilterCutoff)->Value(), 3);
  }
}

TEST_F(Linking, NestedHardwareHandlingNeverEchoes)
{
  // Each of these runs the timbre tab's handling inside its own; none may send.
  e.GetParam(kTimbreSelectTrigger)->InitInt("trig", 0, 0, 1);
  e.GetParam(kQuickTab)->Set(1);
  bind(kQuickTab, -1, 1);
  bind(kTimbreSelectTrigger, -1, 1);
  bind(kLayerLinker, -1, 1);
  bind(kCommonMode, -1, 3);
  bind(kTimbreLED, -1, 2);
  for (int id : {(int)kLayerLinker, (int)kCommonMode, (int)kTimbreSelectTrigger})
  {
    SCOPED_TRACE(id);
    for (auto& a : actions) a->lastValue = -1;
    fromHardware(id, id == kLayerLinker ? 1 : id == kCommonMode ? 0 : 1);
    EXPECT_TRUE(e.takeSent().empty());
    EXPECT_FALSE(e.applyingHardwareValue);
  }
  // The same handling from the user does send.
  for (auto& a : actions) a->lastValue = -1;
  e.userSets(kCommonMode, 2);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{cc(kCommonMode, 0, 2)}));
}

TEST_F(Linking, TimbreToggleFromTheHardware)
{
  e.GetParam(kTimbreSelectTrigger)->InitInt("trig", 0, 0, 1);
  // Pressed while timbre 2 shows: timbre 1 and the link cut; while timbre 1 shows: timbre 2, link kept.
  e.GetParam(kQuickTab)->Set(1);
  fromHardware(kTimbreSelectTrigger, 1);
  EXPECT_EQ(e.GetParam(kQuickTab)->Value(), 0);
  EXPECT_EQ(e.GetParam(kLayerLinker)->Value(), 0);
  e.GetParam(kLayerLinker)->Set(1);
  fromHardware(kTimbreSelectTrigger, 1);
  EXPECT_EQ(e.GetParam(kQuickTab)->Value(), 1);
  EXPECT_EQ(e.GetParam(kLayerLinker)->Value(), 1);
  // Released: nothing at all.
  const std::string before = e.nameLine();
  fromHardware(kTimbreSelectTrigger, 0);
  EXPECT_EQ(e.GetParam(kQuickTab)->Value(), 1);
  EXPECT_EQ(e.nameLine(), before);
  // The link switch from the hardware: timbre 1 tab and the link light.
  fromHardware(kLayerLinker, 1);
  EXPECT_EQ(e.GetParam(kQuickTab)->Value(), 0);
  EXPECT_EQ(e.timbreLine(), "[LAYER]");
  e.GetParam(kTimbreLED)->InitInt("led", 0, 0, 2);
  fromHardware(kLayerLinker, 0);
  EXPECT_EQ(e.GetParam(kTimbreLED)->Value(), 2);
  EXPECT_EQ(e.timbreLine(), "[TIMBRE 1]");
}

// A value from the hardware shows the child layer of that id and hides the others,
// and the common mode greys the timbre controls at 0 (forcing timbre 1) and
// un-greys them at any other value.
TEST_F(Linking, HardwareValuesMoveTheirLayers)
{
  e.GetParam(kQuickTab)->InitInt("tab", 0, 0, 1);
  e.GetParam(kCommonMode)->InitInt("mode", 0, 0, 3);
  ControlLayer zones(100, "zones"), timbre(101, "timbreControlLayer");
  for (int id = 0; id < 3; ++id) zones.children.Add(new ControlLayer(id, "zone"));
  Probe* knob = new Probe(&e, kFilterCutoff);  // the layer owns it
  timbre.controls.Add(knob);
  e.timbreControlLayer = &timbre;
  bind(kDelayFxType, 0, 3)->valueLayer = &zones;
  e.patchEditOn = true;  // the common mode's own record enters edit mode on its first use

  for (int n : {2, 0, 1})
  {
    fromHardware(kDelayFxType, n);
    EXPECT_EQ(zones.selectedChildId, n);
    for (int id = 0; id < 3; ++id) EXPECT_EQ(zones.children.Get(id)->visible, id == n) << n << " " << id;
  }

  e.GetParam(kQuickTab)->Set(1);
  fromHardware(kCommonMode, 0);
  EXPECT_EQ(e.nameLine() + " | " + e.timbreLine(), "Display Timbre 1 Parameters | [TIMBRE 1]");  // linked too
  EXPECT_TRUE(knob->IsGrayed());
  EXPECT_EQ(e.GetParam(kQuickTab)->Value(), 0);
  fromHardware(kCommonMode, 3);
  EXPECT_FALSE(knob->IsGrayed());
  EXPECT_TRUE(e.takeSent().empty());
  e.timbreControlLayer = nullptr;
}

}  // namespace
