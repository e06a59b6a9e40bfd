#include "GuiTestUtil.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class DispatchTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    plug = new RecordingPlug(8);
    for (int i = 0; i < 8; ++i) plug->GetParam(i)->InitDouble("p", 0.5, 0.0, 1.0, 0.001);
    g = new HeadlessGraphics(plug, 200, 100);
    background = add("bg", IRECT(0, 0, 200, 100));
  }
  void TearDown() override
  {
    if (!plug->GetGUI()) delete g;
    delete plug;
  }

  RecordingControl* add(const char* name, const IRECT& rect, int paramIdx = -1)
  {
    RecordingControl* c = new RecordingControl(plug, rect, paramIdx, name, &journal);
    g->AttachControl(c);
    return c;
  }
  RecordingControl* addTo(ControlLayer* layer, const char* name, const IRECT& rect, int paramIdx = -1)
  {
    RecordingControl* c = new RecordingControl(plug, rect, paramIdx, name, &journal);
    layer->controls.Add(c);
    return c;
  }
  ControlLayer* layer(bool visible = true)
  {
    ControlLayer* l = new ControlLayer(0, "l");
    l->visible = visible;
    g->AttachLayer(l);
    return l;
  }
  void attach()
  {
    plug->AttachGraphics(g);
    journal.clear();
  }
  // The controls that got the event, in order.
  std::string got(const char* event)
  {
    std::string s;
    for (const std::string& j : journal)
      if (j.size() > strlen(event) && j.compare(j.size() - strlen(event), strlen(event), event) == 0)
        s += j.substr(0, j.size() - strlen(event) - 1) + " ";
    journal.clear();
    return s;
  }

  RecordingPlug* plug;
  HeadlessGraphics* g;
  RecordingControl* background;
  std::vector<std::string> journal;
  IMouseMod left{true};
};

}  // namespace

TEST_F(DispatchTest, TopmostControlGetsTheClick)
{
  add("low", IRECT(10, 10, 50, 50));
  add("high", IRECT(20, 20, 60, 60));
  ControlLayer* l = layer();
  addTo(l, "layered", IRECT(40, 40, 45, 45));
  add("latest", IRECT(40, 40, 45, 45));  // attached after the layer, still below it
  attach();
  const struct
  {
    int x, y;
    const char* who;
  } cases[] = {{15, 15, "low "}, {25, 25, "high "}, {42, 42, "layered "}, {100, 90, "bg "}};  // nothing: the background
  for (const auto& c : cases)
  {
    g->OnMouseDown(c.x, c.y, &left);
    EXPECT_EQ(g->GetCapture() == background, c.x == 100) << c.x << "," << c.y;
    g->OnMouseUp(c.x, c.y, &left);
    EXPECT_EQ(got("down"), c.who) << c.x << "," << c.y;
  }
}

TEST_F(DispatchTest, LaterLayersComeFirstAndHiddenLayersAreSkipped)
{
  ControlLayer* first = layer();
  ControlLayer* second = layer();
  addTo(first, "first", IRECT(0, 0, 50, 50));
  addTo(second, "second", IRECT(0, 0, 20, 20));
  attach();
  g->OnMouseDown(10, 10, &left);
  EXPECT_EQ(got("down"), "second ");
  g->OnMouseDown(30, 30, &left);
  EXPECT_EQ(got("down"), "first ");
  second->Hide(true);
  g->OnMouseDown(10, 10, &left);
  EXPECT_EQ(got("down"), "first ");
}

// A grey plain control is passed over and the control below it gets the event; a
// grey control of a layer still answers its point, takes the event and ignores it,
// so the control below does not react to a click on it.
TEST_F(DispatchTest, GreyPlainControlsArePassedOverGreyLayeredControlsSwallowInput)
{
  RecordingControl* under = add("under", IRECT(0, 0, 50, 50), 1);
  RecordingControl* plainGrey = add("plainGrey", IRECT(0, 0, 50, 50), 2);
  ControlLayer* l = layer();
  RecordingControl* layeredGrey = addTo(l, "layeredGrey", IRECT(0, 0, 20, 20), 3);
  layeredGrey->SetDefaultValue(0.0);
  under->SetDefaultValue(0.0);
  attach();
  plainGrey->GrayOut(true);
  l->GrayOut(true);
  ASSERT_TRUE(layeredGrey->IsGrayed());

  const struct
  {
    int x;
    const char* who;
    RecordingControl* control;
    int param;
  } cases[] = {{10, "layeredGrey ", layeredGrey, 3}, {30, "under ", under, 1}};
  for (const auto& k : cases)
  {
    SCOPED_TRACE(k.x);
    plug->calls.clear();
    g->OnMouseDown(k.x, 10, &left);
    EXPECT_EQ(g->GetCapture(), k.control);
    EXPECT_EQ(got("down"), k.who);
    g->OnMouseUp(k.x, 10, &left);
    EXPECT_EQ(got("up"), k.who);
    g->OnMouseWheel(k.x, 10, &left, 3);
    EXPECT_EQ(got("wheel"), k.who);
    g->OnMouseDblClick(k.x, 10, &left);
    EXPECT_EQ(got("dbl"), k.who);
    g->OnKeyDown(k.x, 10, KEY_SPACE);
    EXPECT_EQ(got("key"), k.who);
    EXPECT_EQ(g->GetMouseControlIdx(k.x, 10), k.control);
    EXPECT_EQ(g->GetParamIdxForPTAutomation(k.x, 10), k.param);
    // The press and the release tell the host of a gesture on the control found.
    std::string gesture;
    for (const RouteCall& c : plug->calls)
      if (c.route == 'B' || c.route == 'E') gesture += c.route + std::to_string(c.idx);
    EXPECT_EQ(gesture, "B" + std::to_string(k.param) + "E" + std::to_string(k.param));
  }
  // The grey controls kept their value: the wheel and the double click changed
  // only the one below (wheel up 0.03, then back to its default).
  EXPECT_EQ(layeredGrey->GetValue(), 0.5);
  EXPECT_EQ(plainGrey->GetValue(), 0.5);
  EXPECT_EQ(under->GetValue(), 0.0);
}

// Drags go to the captured control, outside it too, only when the mouse moved; greying
// it stops them, and the release still ends the gesture.
TEST_F(DispatchTest, DragsGoToTheCapturedControlOnlyWhenTheMouseMoved)
{
  RecordingControl* knob = add("knob", IRECT(0, 0, 50, 50), 1);
  attach();
  g->OnMouseDrag(10, 10, &left);  // nothing captured
  EXPECT_EQ(got("drag"), "");
  g->OnMouseDown(10, 10, &left);
  g->OnMouseDrag(10, 10, &left);
  EXPECT_EQ(got("drag"), "");
  g->OnMouseDrag(13, 8, &left);
  EXPECT_EQ(knob->lastDX, 3);
  EXPECT_EQ(knob->lastDY, -2);
  g->OnMouseDrag(150, 90, &left);  // outside the control: still its drag
  EXPECT_EQ(knob->lastDX, 137);
  EXPECT_EQ(got("drag"), "knob knob ");
  // Greyed during the drag it still gets the movement (and ignores it itself), so
  // that once un-greyed the next delta starts from the last position.
  knob->GrayOut(true);
  const double before = knob->GetValue();
  g->OnMouseDrag(14, 10, &left);
  g->OnMouseWheel(14, 10, &left, 1);
  EXPECT_EQ(got("drag"), "knob ");
  EXPECT_EQ(knob->GetValue(), before);
  knob->GrayOut(false);
  g->OnMouseDrag(16, 11, &left);
  EXPECT_EQ(knob->lastDX, 2);
  EXPECT_EQ(knob->lastDY, 1);
  journal.clear();
  g->OnMouseUp(14, 10, &left);
  EXPECT_EQ(got("up"), "knob ");
}

TEST_F(DispatchTest, ReleaseAndWheelGoToThePressedControlAndTheReleaseEndsTheGesture)
{
  add("a", IRECT(0, 0, 50, 50), 1);
  add("b", IRECT(100, 0, 150, 50), 2);
  attach();
  plug->calls.clear();
  g->OnMouseDown(10, 10, &left);
  g->OnMouseUp(120, 10, &left);
  EXPECT_EQ(got("up"), "a ");
  EXPECT_EQ(g->GetCapture(), nullptr);
  ASSERT_EQ(plug->calls.size(), 2u);
  EXPECT_EQ(plug->calls[0].route, 'B');
  EXPECT_EQ(plug->calls[0].idx, 1);
  EXPECT_EQ(plug->calls[1].route, 'E');
  EXPECT_EQ(plug->calls[1].idx, 1);
  EXPECT_TRUE(plug->calls[0].mutexHeld);
  // Without a capture the release goes to the control under the mouse.
  g->OnMouseUp(120, 10, &left);
  EXPECT_EQ(got("up"), "b ");
  // A control without a parameter tells the host nothing.
  plug->calls.clear();
  g->OnMouseDown(180, 90, &left);
  g->OnMouseUp(180, 90, &left);
  EXPECT_TRUE(plug->calls.empty());
  // The wheel goes to the captured control first, else to the one under the mouse.
  journal.clear();
  g->OnMouseWheel(120, 10, &left, 1);
  EXPECT_EQ(got("wheel"), "b ");
  g->OnMouseDown(10, 10, &left);
  g->OnMouseWheel(120, 10, &left, 1);
  EXPECT_EQ(got("wheel"), "a ");
}

TEST_F(DispatchTest, DoubleClicks)
{
  RecordingControl* plain = add("plain", IRECT(0, 0, 50, 50), 1);
  RecordingControl* single = add("single", IRECT(100, 0, 150, 50), 2);
  single->SetDblAsSingleClick(true);
  attach();
  plug->calls.clear();
  EXPECT_FALSE(g->OnMouseDblClick(10, 10, &left));
  EXPECT_EQ(got("dbl"), "plain ");
  EXPECT_EQ(g->GetCapture(), nullptr);
  EXPECT_TRUE(g->OnMouseDblClick(120, 10, &left));
  EXPECT_EQ(got("down"), "single ");
  EXPECT_EQ(g->GetCapture(), single);
  for (const RouteCall& c : plug->calls)  // no gesture for a double click taken as a click
    EXPECT_TRUE(c.route != 'B' && c.route != 'E') << c.route;
  (void)plain;
}

TEST_F(DispatchTest, MouseOver)
{
  RecordingControl* a = add("a", IRECT(0, 0, 50, 50));
  RecordingControl* grey = add("grey", IRECT(100, 0, 150, 50));
  grey->GrayOut(true);
  attach();
  EXPECT_FALSE(g->OnMouseOver(10, 10, &left));  // off until asked for
  EXPECT_EQ(got("over"), "");
  g->HandleMouseOver(true);
  EXPECT_TRUE(g->OnMouseOver(10, 10, &left));
  EXPECT_EQ(g->GetMouseOverControl(), a);
  EXPECT_TRUE(g->OnMouseOver(120, 10, &left));
  EXPECT_EQ(got("over"), "a bg ");  // the grey one is passed over
  grey->SetMOWhenGrayed(true);
  EXPECT_TRUE(g->OnMouseOver(120, 10, &left));
  EXPECT_EQ(g->GetMouseOverControl(), grey);
  EXPECT_EQ(got("out"), "bg ");
  g->OnMouseOut();
  EXPECT_EQ(g->GetMouseOverControl(), nullptr);
  EXPECT_EQ(got("out"), "bg a grey ");
}

TEST_F(DispatchTest, KeysGoToTheControlUnderTheMouseElseTheKeyCatcher)
{
  RecordingControl* a = add("a", IRECT(0, 0, 50, 50));
  ControlLayer* l = layer();
  RecordingControl* layered = addTo(l, "layered", IRECT(100, 0, 150, 50));
  RecordingControl* catcher = new RecordingControl(plug, IRECT(), -1, "catcher", &journal);
  catcher->takesKeys = true;
  g->AttachKeyCatcher(catcher);
  attach();
  layered->takesKeys = true;
  EXPECT_TRUE(g->OnKeyDown(120, 10, KEY_ALPHA_A));
  EXPECT_EQ(layered->lastKey, KEY_ALPHA_A);
  // A control under the mouse answers even when it does not take the key.
  EXPECT_FALSE(g->OnKeyDown(10, 10, KEY_UPARROW));
  EXPECT_EQ(got("key"), "layered a ");
  background->Hide(true);
  EXPECT_TRUE(g->OnKeyDown(180, 90, KEY_DIGIT_9));
  EXPECT_EQ(got("key"), "catcher ");
  // A captured control decides.
  g->OnMouseDown(10, 10, &left);
  EXPECT_FALSE(g->OnKeyDown(120, 10, KEY_SPACE));
  EXPECT_EQ(got("key"), "a ");
  (void)a;
}

TEST_F(DispatchTest, AutomationQueryRemembersTheLastParameter)
{
  add("a", IRECT(0, 0, 50, 50), 4);
  attach();
  EXPECT_EQ(g->GetParamIdxForPTAutomation(10, 10), 4);
  EXPECT_EQ(g->GetLastClickedParamForPTAutomation(), 4);
  EXPECT_EQ(g->GetLastClickedParamForPTAutomation(), -1);
  EXPECT_EQ(g->GetParamIdxForPTAutomation(150, 90), -1);  // the background has none
}

TEST_F(DispatchTest, StrictDrawingDrawsWhatMeetsTheAreaAndCleansEverything)
{
  RecordingControl* inside = add("inside", IRECT(10, 10, 20, 20));
  RecordingControl* outside = add("outside", IRECT(100, 50, 120, 70));
  RecordingControl* hidden = add("hidden", IRECT(10, 10, 20, 20));
  ControlLayer* l = layer();
  addTo(l, "layered", IRECT(15, 15, 25, 25));
  attach();
  hidden->Hide(true);
  hidden->SetClean();
  hidden->SetClean();
  IRECT area(0, 0, 50, 50);
  EXPECT_TRUE(g->Draw(&area));
  EXPECT_EQ(got("draw"), "bg inside layered ");
  EXPECT_FALSE(inside->IsDirty());
  EXPECT_FALSE(outside->IsDirty());
  ASSERT_EQ(g->screens.size(), 1u);
  EXPECT_EQ(g->screens[0], area);
  // The background draws whatever the area.
  IRECT far(150, 80, 160, 90);
  g->Draw(&far);
  EXPECT_EQ(got("draw"), "bg ");
}

TEST_F(DispatchTest, DirtyAreaCollection)
{
  RecordingControl* a = add("a", IRECT(10, 10, 20, 20));
  RecordingControl* hidden = add("hidden", IRECT(100, 50, 120, 70));
  ControlLayer* l = layer();
  RecordingControl* layered = addTo(l, "layered", IRECT(30, 5, 40, 15));
  attach();
  IRECT all(0, 0, 200, 100);
  g->Draw(&all);
  IRECT area;
  EXPECT_FALSE(g->IsDirty(&area));  // the background is never collected
  EXPECT_TRUE(area.Empty());

  a->SetDirty(false);
  layered->SetDirty(false);
  EXPECT_TRUE(g->IsDirty(&area));
  EXPECT_EQ(area, IRECT(10, 5, 40, 20));
  g->Draw(&area);

  // A hidden control counts only with its update-when-hidden flag, so the area it
  // leaves is repainted.
  hidden->Hide(true);
  area = IRECT();
  EXPECT_FALSE(g->IsDirty(&area));
  hidden->SetUpdateWhenHidden(true);
  EXPECT_TRUE(g->IsDirty(&area));
  EXPECT_EQ(area, IRECT(100, 50, 120, 70));
}

TEST_F(DispatchTest, DirtyControlsAreRedrawnInTheirOrder)
{
  RecordingControl* c[4];
  const char* names[] = {"c0", "c1", "c2", "c3"};
  for (int i = 0; i < 4; ++i) c[i] = add(names[i], IRECT(10 * i, 0, 10 * i + 10, 10));
  ControlLayer* l = layer();
  RecordingControl* l0 = addTo(l, "l0", IRECT(0, 20, 10, 30));
  attach();
  IRECT all(0, 0, 200, 100);
  g->Draw(&all);
  journal.clear();
  l0->SetDirty(false);
  c[3]->SetDirty(false);
  c[1]->SetDirty(false);
  IRECT area;
  ASSERT_TRUE(g->IsDirty(&area));
  g->Draw(&area);
  // Everything meeting the dirty area is drawn, plain controls first, in list order.
  EXPECT_EQ(got("draw"), "bg c0 c1 c2 c3 l0 ");
  area = IRECT();
  EXPECT_FALSE(g->IsDirty(&area));
}

TEST_F(DispatchTest, LooseDrawingRedrawsAroundEachDirtyControl)
{
  RecordingControl* a = add("a", IRECT(10, 10, 20, 20));
  add("neighbour", IRECT(15, 15, 30, 30));
  add("far", IRECT(100, 50, 120, 70));
  // Edges: a control meets the dirty one's rectangle when its own right or bottom
  // edge touches it, not when its left or top edge lies on the dirty one's right or
  // bottom edge.
  add("leftTouch", IRECT(0, 10, 10, 20));
  add("topTouch", IRECT(10, 0, 20, 10));
  add("rightTouch", IRECT(20, 10, 30, 20));
  add("belowTouch", IRECT(10, 20, 20, 30));
  attach();
  g->SetStrictDrawing(false);
  IRECT any(0, 0, 1, 1);
  g->Draw(&any);  // the background is dirty: everything
  EXPECT_EQ(got("draw"), "bg a neighbour far leftTouch topTouch rightTouch belowTouch ");
  a->SetDirty(false);
  g->Draw(&any);
  EXPECT_EQ(got("draw"), "bg a neighbour leftTouch topTouch ");
  EXPECT_EQ(g->GetDrawRECT(), IRECT(10, 10, 20, 20));
}

TEST_F(DispatchTest, LayersDrawEvenWithoutPlainControls)
{
  HeadlessGraphics bare(nullptr);
  ControlLayer* l = new ControlLayer(0, "l");
  l->visible = true;
  l->controls.Add(new RecordingControl(nullptr, IRECT(0, 0, 10, 10), -1, "only", &journal));
  bare.AttachLayer(l);
  bare.PrepDraw();
  IRECT area(0, 0, 50, 50);
  bare.Draw(&area);
  EXPECT_EQ(got("draw"), "only ");
  HeadlessGraphics empty(nullptr);
  EXPECT_TRUE(empty.Draw(&area));
  EXPECT_TRUE(empty.screens.empty());
}

TEST_F(DispatchTest, GreyLayerIsDrawnAtHalfWeightAndStillHit)
{
  add("under", IRECT(0, 0, 50, 50));
  ControlLayer* l = layer();
  RecordingControl* zone = addTo(l, "zone", IRECT(0, 0, 50, 50));
  attach();
  l->GrayOut(true);
  IRECT area;
  ASSERT_TRUE(g->IsDirty(&area));
  g->Draw(&area);
  EXPECT_EQ(got("draw"), "bg under zone ");
  EXPECT_FLOAT_EQ(zone->GetBlend().mWeight, 0.5f);
  g->OnMouseDown(10, 10, &left);
  EXPECT_EQ(got("down"), "zone ");
}
