#include "GuiTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

class ControlTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    plug.GetParam(0)->InitDouble("Cutoff", 0.0, 0.0, 1.0, 0.001);
    plug.GetParam(1)->InitEnum("Wave", 0, 3);
    plug.GetParam(1)->SetDisplayText(0, "Saw");
    plug.GetParam(1)->SetDisplayText(1, "Square");
    plug.GetParam(1)->SetDisplayText(2, "Triangle");
    plug.GetParam(2)->InitDouble("Level", 0.0, 0.0, 100.0, 1.0);
    plug.GetParam(5)->InitDouble("Aux", 0.0, 0.0, 1.0, 0.001);
  }

  // A control bound to the parameter whose default is already set.
  RecordingControl* make(int paramIdx, double value = 0.25)
  {
    RecordingControl* c = new RecordingControl(&plug, IRECT(10, 10, 50, 30), paramIdx);
    owned.emplace_back(c);
    c->SetValueFromPlug(value);
    c->SetClean();
    return c;
  }

  RecordingPlug plug{8};
  std::vector<std::unique_ptr<IControl>> owned;
};

}  // namespace

TEST_F(ControlTest, FirstValueFromPlugBecomesTheDefaultWithoutAnotherRedraw)
{
  RecordingControl c(&plug, IRECT(0, 0, 10, 10), 0);
  EXPECT_TRUE(c.IsDirty());  // dirty from construction
  EXPECT_EQ(c.GetDefaultValue(), -1.0);
  c.SetValueFromPlug(0.3);
  EXPECT_EQ(c.GetValue(), 0.3);
  EXPECT_EQ(c.GetDefaultValue(), 0.3);
  EXPECT_FALSE(c.IsRedrawPending());
  c.SetClean();
  EXPECT_FALSE(c.IsDirty());

  c.SetValueFromPlug(0.3);
  EXPECT_FALSE(c.IsDirty());
  c.SetValueFromPlug(0.4);
  EXPECT_TRUE(c.IsDirty());
  EXPECT_TRUE(c.IsRedrawPending());
  // A redraw pending keeps it dirty for one more pass.
  c.SetClean();
  EXPECT_TRUE(c.IsDirty());
  c.SetClean();
  EXPECT_FALSE(c.IsDirty());
  EXPECT_TRUE(plug.routes().empty());
}

TEST_F(ControlTest, EachRouteReachesItsOwnPlugInEntry)
{
  RecordingControl* c = make(0);
  c->SetValueFromPlug(0.4);
  c->SetValueFromUserInput(0.5);
  c->SetValueFromHardware(0.75);
  c->SetValueFromHardware(0.75);  // unchanged: nothing
  c->SetValueFromPlug(0.9);
  const std::vector<RouteCall> r = plug.routes();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].route, '1');
  EXPECT_DOUBLE_EQ(r[0].value, 0.5);
  EXPECT_EQ(r[1].route, '2');
  EXPECT_DOUBLE_EQ(r[1].value, 0.75);
  for (const RouteCall& call : r) EXPECT_TRUE(call.mutexHeld);
}

// The first value a fresh control gets becomes its default; from the plug-in it is
// only shown, from the hardware it also reaches the parameter, or it would be lost.
TEST_F(ControlTest, AFirstValueFromTheHardwareStillReachesThePlugIn)
{
  for (double v : {0.0, 0.6})
  {
    SCOPED_TRACE(v);
    plug.GetParam(0)->Set(0.3);
    plug.calls.clear();
    RecordingControl fresh(&plug, IRECT(0, 0, 10, 10), 0);
    fresh.SetValueFromHardware(v);
    EXPECT_EQ(fresh.GetDefaultValue(), v);
    EXPECT_EQ(fresh.GetValue(), v);
    const std::vector<RouteCall> r = plug.routes();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].route, '2');
    EXPECT_DOUBLE_EQ(r[0].value, v);
    fresh.SetValueFromHardware(v);  // the same again: nothing
    EXPECT_EQ(plug.routes().size(), 1u);
  }
}

TEST_F(ControlTest, DoubleClickRestoresTheDefaultOnlyWhenThereIsOne)
{
  RecordingControl fresh(&plug, IRECT(0, 0, 10, 10), 0);
  fresh.SetValue(0.6);
  fresh.OnMouseDblClick(1, 1, nullptr);
  EXPECT_EQ(fresh.GetValue(), 0.6);
  EXPECT_TRUE(plug.routes().empty());

  RecordingControl* c = make(0, 0.2);
  c->SetValue(0.6);
  c->OnMouseDblClick(1, 1, nullptr);
  EXPECT_EQ(c->GetValue(), 0.2);
  ASSERT_EQ(plug.routes().size(), 1u);
  EXPECT_EQ(plug.routes()[0].route, '1');

  c->GrayOut(true);
  c->SetValue(0.6);
  c->OnMouseDblClick(1, 1, nullptr);
  EXPECT_EQ(c->GetValue(), 0.6);
}

TEST_F(ControlTest, WheelStepsAndClamps)
{
  const struct
  {
    double start;
    int d;
    IMouseMod mod;
    double expected;
  } cases[] = {
    {0.5, 1, IMouseMod(), 0.51},
    {0.5, 1, IMouseMod(false, false, true), 0.501},
    {0.5, 1, IMouseMod(false, false, false, true), 0.501},
    {0.5, -3, IMouseMod(), 0.47},
    {0.995, 1, IMouseMod(), 1.0},
    {0.0005, -1, IMouseMod(false, false, true), 0.0},
  };
  for (const auto& tc : cases)
  {
    RecordingControl* c = make(0, tc.start);
    IMouseMod mod = tc.mod;
    c->OnMouseWheel(0, 0, &mod, tc.d);
    EXPECT_NEAR(c->GetValue(), tc.expected, 1e-12) << tc.start << " " << tc.d;
    EXPECT_TRUE(c->IsDirty());
  }
}

// Grey: drawn at half weight, and the wheel neither moves nor dirties it.
TEST_F(ControlTest, GreyControlIsHalfWeightAndIgnoresTheWheel)
{
  RecordingControl* c = make(0, 0.5);
  c->GrayOut(true);
  c->GrayOut(true);
  EXPECT_TRUE(c->IsGrayed());
  EXPECT_FLOAT_EQ(c->GetBlend().mWeight, 0.5f);
  EXPECT_TRUE(c->IsDirty());
  c->SetClean();
  IMouseMod mod;
  c->OnMouseWheel(0, 0, &mod, 5);
  EXPECT_EQ(c->GetValue(), 0.5);
  EXPECT_FALSE(c->IsDirty());
  c->GrayOut(false);
  EXPECT_FLOAT_EQ(c->GetBlend().mWeight, 1.0f);
  EXPECT_TRUE(plug.routes().empty());
}

TEST_F(ControlTest, HideKeepsTheControlDirtyForOneMorePass)
{
  RecordingControl* c = make(0);
  c->Hide(true);
  EXPECT_TRUE(c->IsHidden());
  EXPECT_TRUE(c->IsDirty());
  c->SetClean();
  EXPECT_TRUE(c->IsDirty());
  c->SetClean();
  EXPECT_FALSE(c->IsDirty());
}

TEST_F(ControlTest, SetDirtyClampsIntoTheClampRange)
{
  RecordingControl* c = make(0);
  c->Clamp(0.2, 0.8);
  c->SetValueFromUserInput(0.9);
  EXPECT_EQ(c->GetValue(), 0.8);
  c->SetValueFromUserInput(0.1);
  EXPECT_EQ(c->GetValue(), 0.2);
  // A value that is no number never reaches the plug-in.
  c->SetValueFromUserInput(std::nan(""));
  EXPECT_EQ(c->GetValue(), 0.2);
  for (const RouteCall& r : plug.routes()) EXPECT_FALSE(std::isnan(r.value));
  // Values from the plug-in stay as given until the next SetDirty.
  c->SetValueFromPlug(0.95);
  EXPECT_EQ(c->GetValue(), 0.8);
}

TEST_F(ControlTest, DisplayControlsFollowUserChangesAndRedrawOnlyWhenChanged)
{
  // A display entry of 55 characters is shown whole.
  const std::string longText(55, 'x');
  plug.GetParam(1)->SetDisplayText(2, longText.c_str());
  ITextControl value(&plug, IRECT(0, 0, 100, 10), nullptr, "");
  ITextControl name(&plug, IRECT(0, 10, 100, 20), nullptr, "");
  RecordingControl* c = make(1, 0.0);
  c->SetValDisplayControl(&value);
  c->SetNameDisplayControl(&name);

  c->SetValueFromUserInput(0.5);
  EXPECT_STREQ(value.GetTextForPlug(), "Square");
  EXPECT_STREQ(name.GetTextForPlug(), "Wave");

  value.SetClean();
  name.SetClean();
  c->SetValueFromUserInput(0.6);  // still "Square"
  EXPECT_FALSE(value.IsDirty());
  EXPECT_FALSE(name.IsDirty());
  c->SetValueFromUserInput(1.0);
  EXPECT_EQ(std::string(value.GetTextForPlug()), longText);
  EXPECT_TRUE(value.IsDirty());
  EXPECT_FALSE(name.IsDirty());

  // The hardware route updates them as well.
  c->SetValueFromHardware(0.0);
  EXPECT_STREQ(value.GetTextForPlug(), "Saw");
}

TEST_F(ControlTest, AuxParams)
{
  RecordingControl* c = make(0);
  c->AddAuxParam(5);
  c->AddAuxParam(2);
  EXPECT_EQ(c->NAuxParams(), 2);
  EXPECT_EQ(c->AuxParamIdx(2), 1);
  EXPECT_EQ(c->AuxParamIdx(3), -1);
  EXPECT_EQ(c->GetAuxParam(2), nullptr);

  c->SetAuxParamValueFromPlug(0, 0.0);  // unchanged
  EXPECT_FALSE(c->IsDirty());
  c->SetAuxParamValueFromPlug(0, 0.5);
  EXPECT_TRUE(c->IsDirty());
  EXPECT_TRUE(c->IsRedrawPending());
  c->SetAuxParamValueFromPlug(7, 0.5);  // no such aux: ignored
  EXPECT_TRUE(plug.routes().empty());

  c->SetValueFromUserInput(0.9);
  ASSERT_EQ(plug.routes().size(), 1u);  // aux params are not pushed by SetDirty
  c->SetAllAuxParamsFromGUI();
  const std::vector<RouteCall> r = plug.routes();
  ASSERT_EQ(r.size(), 2u);  // parameter 2 stays at 0 and reports no change
  EXPECT_EQ(r[1].idx, 5);
  EXPECT_DOUBLE_EQ(r[1].value, 0.5);
}

TEST_F(ControlTest, PromptOpensATextEntryOrAMenuOverTheRightRectangle)
{
  HeadlessGraphics* g = new HeadlessGraphics(&plug);
  plug.AttachGraphics(g);
  RecordingControl* number = make(2);
  IMouseMod right(false, true);
  number->OnMouseDown(20, 20, &right);
  EXPECT_EQ(g->entriesOpened, 0);  // prompting is disabled until the creator allows it

  number->DisablePrompt(false);
  number->OnMouseDown(20, 20, &right);
  EXPECT_EQ(g->entriesOpened, 1);
  // A 30 x 16 box centred on (10, 10, 50, 30).
  EXPECT_EQ(g->entryRect, IRECT(15, 12, 45, 28));
  EXPECT_TRUE(number->IsRedrawPending());

  RecordingControl* menu = make(1);
  menu->DisablePrompt(false);
  menu->OnMouseDown(20, 20, &right);
  EXPECT_EQ(g->menusShown, 1);
  EXPECT_EQ(g->menuRect, IRECT(10, 10, 50, 30));

  menu->GrayOut(true);
  menu->OnMouseDown(20, 20, &right);
  EXPECT_EQ(g->menusShown, 1);

  RecordingControl unbound(&plug, IRECT(0, 0, 4, 4), -1);
  unbound.DisablePrompt(false);
  unbound.OnMouseDown(1, 1, &right);
  EXPECT_EQ(g->menusShown + g->entriesOpened, 2);
}
