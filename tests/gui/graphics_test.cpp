#include "GuiTestUtil.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

class GraphicsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    plug = new RecordingPlug(8);
    plug->GetParam(0)->InitDouble("Cutoff", 0.0, 0.0, 1.0, 0.001);
    plug->GetParam(1)->InitEnum("Wave", 1, 3);
    plug->GetParam(1)->SetDisplayText(0, "Saw");
    plug->GetParam(1)->SetDisplayText(1, "Square");
    plug->GetParam(1)->SetDisplayText(2, "Triangle");
    plug->GetParam(2)->InitDouble("Level", 0.0, 0.0, 100.0, 1.0);
    plug->GetParam(3)->InitEnum("MIDI In", 0, 1);  // a port menu with nothing but "OFF"
    plug->GetParam(3)->SetDisplayText(0, "OFF");
    plug->GetParam(4)->InitInt("Transpose", 0, -24, 24);
    plug->GetParam(4)->SetNegateDisplay(true);
    plug->GetParam(5)->InitText();
    plug->GetParam(6)->InitBool("Lock", false);
    g = new HeadlessGraphics(plug, 200, 100);
  }
  void TearDown() override { delete plug; }

  // Attaches the graphics object to the plug-in, which pushes every value.
  void attach() { plug->AttachGraphics(g); }

  RecordingControl* control(int paramIdx, const IRECT& rect = IRECT(10, 10, 50, 30))
  {
    RecordingControl* c = new RecordingControl(plug, rect, paramIdx);
    g->AttachControl(c);
    return c;
  }

  RecordingPlug* plug;
  HeadlessGraphics* g;
};

}  // namespace

TEST(GraphicsConstructionTest, FrameRate)
{
  const struct
  {
    int fps, expected;
  } cases[] = {{0, 25}, {-3, 25}, {25, 25}, {30, 30}};
  for (const auto& c : cases)
  {
    HeadlessGraphics g(nullptr, 10, 10, c.fps);
    EXPECT_EQ(g.FPS(), c.expected) << c.fps;
  }
}

TEST_F(GraphicsTest, AttachingPushesEveryValueAndMakesTheBitmaps)
{
  RecordingControl* wave = control(1);
  attach();
  EXPECT_DOUBLE_EQ(wave->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(wave->GetDefaultValue(), 0.5);
  ASSERT_NE(g->GetDrawBitmap(), nullptr);
  EXPECT_NE(g->GetBits(), nullptr);
  EXPECT_TRUE(plug->routes().empty());
}

TEST_F(GraphicsTest, PlainValuesAreNormalisedAndStoredBack)
{
  RecordingControl* level = control(2);
  RecordingControl* port = control(3);
  attach();
  g->SetParameterFromPlug(2, 25.4, false);
  EXPECT_DOUBLE_EQ(plug->GetParam(2)->Value(), 25.4);
  EXPECT_DOUBLE_EQ(level->GetValue(), 0.254);
  // Normalized values reach the controls only.
  g->SetParameterFromPlug(2, 0.75, true);
  EXPECT_DOUBLE_EQ(level->GetValue(), 0.75);
  EXPECT_DOUBLE_EQ(plug->GetParam(2)->Value(), 25.4);
  // A one-entry enum normalises to 0, not to the NaN of 0 / 0.
  for (double plain : {0.0, 1.0, 5.0})
  {
    g->SetParameterFromPlug(3, plain, false);
    EXPECT_EQ(port->GetValue(), 0.0) << plain;
    EXPECT_EQ(plug->GetParam(3)->Value(), 0.0);
  }
  EXPECT_TRUE(plug->routes().empty());
}

TEST_F(GraphicsTest, ThreeRoutesStayApart)
{
  RecordingControl* plain = control(0);
  ControlLayer* layer = new ControlLayer(0, "page");
  RecordingControl* inLayer = new RecordingControl(plug, IRECT(0, 0, 5, 5), 0);
  RecordingControl* follower = new RecordingControl(plug, IRECT(0, 0, 5, 5), 2);
  follower->AddAuxParam(0);
  layer->controls.Add(inLayer);
  layer->controls.Add(follower);
  g->AttachLayer(layer);
  attach();
  plug->calls.clear();

  // From the plug-in: every control of the parameter, plain, in a layer or as aux,
  // and nothing goes back.
  g->SetParameterFromPlug(0, 0.3, false);
  EXPECT_DOUBLE_EQ(plain->GetValue(), 0.3);
  EXPECT_DOUBLE_EQ(inLayer->GetValue(), 0.3);
  EXPECT_DOUBLE_EQ(follower->GetAuxParam(0)->mValue, 0.3);
  EXPECT_TRUE(plug->routes().empty());

  // From the user.
  g->SetParameterFromGUI(0, 0.6);
  // From the hardware.
  plain->SetValueFromHardware(0.9);

  const std::vector<RouteCall> r = plug->routes();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].route, '1');
  EXPECT_DOUBLE_EQ(r[0].value, 0.6);
  EXPECT_EQ(r[1].route, '2');
  EXPECT_DOUBLE_EQ(r[1].value, 0.9);
}

TEST_F(GraphicsTest, SetControlFromPlugByIndex)
{
  RecordingControl* c = control(0);
  attach();
  g->SetControlFromPlug(0, 0.4);
  g->SetControlFromPlug(5, 0.4);
  g->SetControlFromPlug(-1, 0.4);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.4);
}

TEST_F(GraphicsTest, HideGreyAndClampByParameter)
{
  RecordingControl* a = control(2);
  RecordingControl* b = control(2);
  RecordingControl* other = control(0);
  attach();
  g->HideControl(2, true);
  g->GrayOutControl(2, true);
  EXPECT_TRUE(a->IsHidden() && b->IsHidden() && a->IsGrayed() && b->IsGrayed());
  EXPECT_FALSE(other->IsHidden() || other->IsGrayed());

  g->ClampControl(2, 20.0, 40.0, false);
  a->SetValueFromUserInput(0.9);
  EXPECT_DOUBLE_EQ(a->GetValue(), 0.4);
  g->ClampControl(2, 0.1, 0.2, true);
  b->SetValueFromUserInput(0.9);
  EXPECT_DOUBLE_EQ(b->GetValue(), 0.2);
}

TEST_F(GraphicsTest, StrictDrawingSwitchDirtiesEveryControl)
{
  RecordingControl* a = control(0);
  attach();
  a->SetClean();
  g->SetStrictDrawing(false);
  EXPECT_TRUE(a->IsDirty());
}

TEST_F(GraphicsTest, PromptShowsTheDisplayEntriesWithTheCurrentOneChecked)
{
  RecordingControl* wave = control(1);
  attach();
  IRECT rect(1, 2, 3, 4);
  g->PromptUserInput(wave, plug->GetParam(1), &rect);
  EXPECT_EQ(g->menusShown, 1);
  EXPECT_EQ(g->menuTexts, (std::vector<std::string>{"Saw", "Square", "Triangle"}));
  EXPECT_EQ(g->menuChecked, (std::vector<bool>{false, true, false}));
  EXPECT_TRUE(plug->routes().empty());  // cancelled

  g->chooseIndex = 2;
  g->PromptUserInput(wave, plug->GetParam(1), &rect);
  EXPECT_DOUBLE_EQ(wave->GetValue(), 1.0);
  ASSERT_EQ(plug->routes().size(), 1u);
  EXPECT_EQ(plug->routes()[0].route, '1');
  EXPECT_DOUBLE_EQ(plug->routes()[0].value, 2.0);
  EXPECT_EQ(g->entriesOpened, 0);
}

TEST_F(GraphicsTest, PromptOpensTextEntryForOtherKinds)
{
  RecordingControl* level = control(2);
  attach();
  g->SetParameterFromPlug(2, 42.0, false);
  IRECT rect(1, 2, 3, 4);
  g->PromptUserInput(level, plug->GetParam(2), &rect);
  EXPECT_EQ(g->entriesOpened, 1);
  EXPECT_EQ(g->entryText, "42");
  EXPECT_EQ(g->entryControl, level);
  EXPECT_EQ(g->entryParam, plug->GetParam(2));
  EXPECT_EQ(g->entryRect, rect);

  // A bool without display entries goes to the text entry too.
  plug->GetParam(6)->ResetDisplayTexts();
  g->PromptUserInput(level, plug->GetParam(6), &rect);
  EXPECT_EQ(g->entriesOpened, 2);
  // Missing arguments: nothing.
  g->PromptUserInput(nullptr, plug->GetParam(2), &rect);
  g->PromptUserInput(level, nullptr, &rect);
  g->PromptUserInput(level, plug->GetParam(2), nullptr);
  EXPECT_EQ(g->entriesOpened + g->menusShown, 2);
}

TEST_F(GraphicsTest, TextFromTheEntryBecomesTheValue)
{
  RecordingControl* wave = control(1);
  RecordingControl* level = control(2);
  RecordingControl* transpose = control(4);
  attach();
  const struct
  {
    RecordingControl* c;
    int param;
    const char* text;
    double normalized;
  } cases[] = {
    {wave, 1, "Triangle", 1.0}, {wave, 1, "Sine", 0.0},     {wave, 1, "Square", 0.5},
    {level, 2, "42", 0.42},     {level, 2, "junk", 0.0},    {transpose, 4, "12", 0.25},
    {transpose, 4, "-24", 1.0},
  };
  for (const auto& c : cases)
  {
    g->SetFromStringAfterPrompt(c.c, plug->GetParam(c.param), (char*)c.text);
    EXPECT_DOUBLE_EQ(c.c->GetValue(), c.normalized) << c.text;
  }
  g->SetFromStringAfterPrompt(level, nullptr, (char*)"10");
  EXPECT_DOUBLE_EQ(level->GetValue(), 0.0);
}

TEST_F(GraphicsTest, TextParameterTakesTheTextAndToggles)
{
  RecordingControl* name = control(5);
  attach();
  plug->calls.clear();
  g->SetFromStringAfterPrompt(name, plug->GetParam(5), (char*)"NEW BANK");
  EXPECT_STREQ(plug->GetParam(5)->GetDisplayText(0), "NEW BANK");
  // Toggled to 1 and back to 0: the plug-in hears of the edit each time.
  const std::vector<RouteCall> r = plug->routes();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].route, '1');
  EXPECT_EQ(r[1].route, '1');
  EXPECT_EQ(name->GetValue(), 0.0);
}

TEST_F(GraphicsTest, ResizeRemakesTheBitmapsAndTellsThePlugIn)
{
  RecordingControl* c = control(0);
  attach();
  IMouseMod mod(true);
  g->OnMouseDown(20, 20, &mod);
  EXPECT_EQ(g->GetCapture(), c);
  g->Resize(300, 150);
  EXPECT_EQ(g->GetCapture(), nullptr);
  EXPECT_EQ(g->Width(), 300);
  ASSERT_NE(g->GetDrawBitmap(), nullptr);
  EXPECT_EQ(g->GetDrawBitmap()->getWidth(), 300);
  EXPECT_EQ(g->GetDrawBitmap()->getHeight(), 150);
  ASSERT_EQ(plug->resized.size(), 1u);
  EXPECT_EQ(plug->resized[0], std::make_pair(300, 150));
  EXPECT_EQ(g->NControls(), 1);
}

TEST_F(GraphicsTest, PanelBackgroundGoesFirst)
{
  RecordingControl* a = control(0);
  EXPECT_EQ(g->AttachPanelBackground(&COLOR_RED), 0);
  EXPECT_EQ(g->GetControl(1), a);
  EXPECT_EQ(g->GetControl(0)->GetRECT(), IRECT(0, 0, 200, 100));
  attach();
  IRECT all(0, 0, 200, 100);
  g->Draw(&all);
  EXPECT_EQ(g->GetPoint(150, 80), COLOR_RED);
}

TEST(GraphicsLifetimeTest, DestructionDeletesKeyCatcherControlsLastFirstThenLayers)
{
  std::vector<std::string> journal;
  {
    HeadlessGraphics g(nullptr);
    g.AttachControl(new RecordingControl(nullptr, IRECT(), -1, "first", &journal));
    g.AttachControl(new RecordingControl(nullptr, IRECT(), -1, "second", &journal));
    ControlLayer* layer = new ControlLayer(0, "l");
    layer->controls.Add(new RecordingControl(nullptr, IRECT(), -1, "layered", &journal));
    g.AttachLayer(layer);
    g.AttachKeyCatcher(new RecordingControl(nullptr, IRECT(), -1, "catcher", &journal));
  }
  EXPECT_EQ(journal, (std::vector<std::string>{"catcher:deleted", "second:deleted", "first:deleted",
                                               "layered:deleted"}));
}
