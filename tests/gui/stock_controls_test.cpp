#include "GuiTestUtil.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace {

// A strip of n frames, each w x h (stacked, or side by side when horizontal), frame
// k (1-based) filled with red 10 k.
std::unique_ptr<LICE_MemBitmap> strip(int w, int h, int n, bool horizontal = false)
{
  std::unique_ptr<LICE_MemBitmap> b(new LICE_MemBitmap(horizontal ? w * n : w, horizontal ? h : h * n));
  for (int k = 0; k < n; ++k)
  {
    if (horizontal)
      LICE_FillRect(b.get(), k * w, 0, w, h, LICE_MakePixel(10 * (k + 1), 0, 0, 255), 1.0f, LICE_MODE_COPY);
    else
      LICE_FillRect(b.get(), 0, k * h, w, h, LICE_MakePixel(10 * (k + 1), 0, 0, 255), 1.0f, LICE_MODE_COPY);
  }
  return b;
}

class StockControlsTest : public ControlsOnWhiteTest
{
protected:
  // 3 and 4 are left for the tests to give a kind of their own.
  StockControlsTest() : ControlsOnWhiteTest({3, 4}) {}

  template <class C>
  C* add(C* control)
  {
    g->AttachControl(control);
    return control;
  }
};

}  // namespace

TEST_F(StockControlsTest, SwitchesStepThroughTheirFramesAndWrap)
{
  const struct
  {
    int frames;
    double start;
    std::vector<double> afterEachClick;
  } cases[] = {
    {3, 0.0, {0.5, 1.0, 0.0, 0.5}},
    {2, 1.0, {0.0, 1.0}},
    {1, 0.0, {1.0, 0.0}},
    {5, 0.75, {1.0, 0.0}},
  };
  int paramIdx = 0;
  for (const auto& tc : cases)
  {
    auto bitmap = strip(10, 10, tc.frames);
    IBitmap b(bitmap.get(), 10, 10 * tc.frames, tc.frames);
    plug->GetParam(paramIdx)->InitDouble("switch", tc.start, 0.0, 1.0, 0.0001);
    ISwitchControl* sw = addAt(new ISwitchControl(plug, 20, 20, paramIdx, &b), tc.start);
    for (size_t i = 0; i < tc.afterEachClick.size(); ++i)
    {
      // A double click steps like a single one.
      if (i % 2)
        sw->OnMouseDblClick(25, 25, &left);
      else
        g->OnMouseDown(25, 25, &left);
      g->OnMouseUp(25, 25, &left);
      EXPECT_NEAR(sw->GetValue(), tc.afterEachClick[i], 1e-12) << tc.frames << " frames, click " << i;
      EXPECT_NEAR(plug->GetParam(paramIdx)->Value(), tc.afterEachClick[i], 1e-4);
    }
    EXPECT_EQ(plug->routes().size(), tc.afterEachClick.size());
    for (const RouteCall& r : plug->routes()) EXPECT_EQ(r.route, '1');
    sw->GrayOut(true);
    const double before = sw->GetValue();
    sw->OnMouseDown(25, 25, &left);
    sw->OnMouseDblClick(25, 25, &left);
    EXPECT_EQ(sw->GetValue(), before);
    sw->Hide(true);
    ++paramIdx;
  }
}

TEST_F(StockControlsTest, ContactReleasesToZeroWhereverTheButtonGoesUp)
{
  auto bitmap = strip(10, 10, 2);
  IBitmap b(bitmap.get(), 10, 20, 2);
  IContactControl* contact = addAt(new IContactControl(plug, 20, 20, 2, &b), 0.0);
  g->OnMouseDown(25, 25, &left);
  EXPECT_EQ(contact->GetValue(), 1.0);
  g->OnMouseUp(150, 90, &left);  // the pointer left the control
  EXPECT_EQ(contact->GetValue(), 0.0);
  const std::vector<RouteCall> r = plug->routes();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].value, 1.0);
  EXPECT_EQ(r[1].value, 0.0);
}

TEST_F(StockControlsTest, FrameOfValueRoundsToTheNearestFrame)
{
  const struct
  {
    int frames;
    double value;
    int frame;
  } cases[] = {
    {10, 1.0, 10}, {10, 0.0, 1}, {10, 0.05, 1}, {10, 0.06, 2}, {10, 0.5, 6}, {10, -0.3, 1},
    {10, 1.7, 10}, {1, 0.9, 1},  {0, 0.9, 1},   {2, 0.49, 1},  {2, 0.5, 2},
  };
  for (const auto& tc : cases)
  {
    IBitmap b(nullptr, 10, 100, tc.frames);
    EXPECT_EQ(IBitmapControl::FrameOfValue(b, tc.value), tc.frame) << tc.frames << " " << tc.value;
  }
  // The multi-frame knob and the bitmap control draw that frame.
  auto bitmap = strip(10, 8, 10);
  IBitmap b(bitmap.get(), 10, 80, 10);
  IKnobMultiControl* knob = addAt(new IKnobMultiControl(plug, 20, 20, 3, &b), 0.0);
  IBitmapControl* plain = addAt(new IBitmapControl(plug, 40, 20, 4, &b), 0.0);
  EXPECT_EQ(knob->GetRECT(), IRECT(20, 20, 30, 28));
  for (const auto& tc : cases)
  {
    if (tc.frames != 10) continue;
    knob->SetValue(tc.value);
    plain->SetValue(tc.value);
    drawAll();
    EXPECT_EQ(redAt(20, 20), 10 * tc.frame) << tc.value;
    EXPECT_EQ(redAt(29, 27), 10 * tc.frame) << tc.value;
    EXPECT_EQ(redAt(40, 20), 10 * tc.frame) << tc.value;
    EXPECT_EQ(redAt(30, 20), 255);  // nothing beside the knob
  }
}

TEST_F(StockControlsTest, OverlayIsHitWhereItsLastDrawingLeftIt)
{
  auto bitmap = strip(60, 40, 2);
  IBitmap b(bitmap.get(), 60, 80, 2);
  IBitmapOverlayControl* overlay =
    addAt(new IBitmapOverlayControl(plug, 10, 10, 5, &b, IRECT(10, 10, 20, 20)), 0.0);
  drawAll();
  EXPECT_TRUE(overlay->IsHit(15, 15));
  EXPECT_FALSE(overlay->IsHit(50, 40));
  EXPECT_EQ(redAt(50, 40), 255);  // not drawn
  overlay->SetValue(1.0);
  drawAll();
  EXPECT_TRUE(overlay->IsHit(50, 40));
  EXPECT_EQ(redAt(50, 40), 20);
  // A click inside the target area toggles it like a switch.
  overlay->SetValue(0.0);
  drawAll();
  g->OnMouseDown(15, 15, &left);
  EXPECT_EQ(overlay->GetValue(), 1.0);
}

TEST_F(StockControlsTest, InvisibleSwitchTogglesAndDrawsNothing)
{
  IInvisibleSwitchControl* sw = addAt(new IInvisibleSwitchControl(plug, IRECT(10, 10, 30, 30), 6), 0.3);
  drawAll();
  EXPECT_EQ(g->GetPoint(15, 15), COLOR_WHITE);
  const double expected[] = {1.0, 0.0, 1.0};
  for (double e : expected)
  {
    g->OnMouseDown(15, 15, &left);
    EXPECT_EQ(sw->GetValue(), e);
  }
  EXPECT_EQ(plug->pushes(6), std::vector<double>({1.0, 0.0, 1.0}));
}

TEST_F(StockControlsTest, RadioButtonsAreSpreadOverTheRectangle)
{
  const struct
  {
    const char* what;
    IRECT rect;
    int n;
    EDirection dir;
    bool reverse;
    std::vector<IRECT> buttons;
  } cases[] = {
    {"vertical", IRECT(10, 10, 20, 70), 3, kVertical, false,
     {IRECT(10, 10, 20, 20), IRECT(10, 35, 20, 45), IRECT(10, 60, 20, 70)}},
    {"vertical reversed", IRECT(10, 10, 20, 70), 3, kVertical, true,
     {IRECT(10, 60, 20, 70), IRECT(10, 35, 20, 45), IRECT(10, 10, 20, 20)}},
    {"horizontal", IRECT(10, 10, 61, 20), 3, kHorizontal, false,
     {IRECT(10, 10, 20, 20), IRECT(30, 10, 40, 20), IRECT(50, 10, 60, 20)}},
    {"horizontal reversed", IRECT(10, 10, 61, 20), 3, kHorizontal, true,
     {IRECT(51, 10, 61, 20), IRECT(31, 10, 41, 20), IRECT(11, 10, 21, 20)}},
    {"one button", IRECT(10, 10, 20, 70), 1, kVertical, false, {IRECT(10, 10, 20, 20)}},
    {"one button reversed", IRECT(10, 10, 61, 20), 1, kHorizontal, true, {IRECT(51, 10, 61, 20)}},
    {"none", IRECT(10, 10, 20, 70), 0, kVertical, false, {}},
  };
  auto bitmap = strip(10, 10, 2);
  IBitmap b(bitmap.get(), 10, 20, 2);
  for (const auto& tc : cases)
  {
    IRadioButtonsControl radio(plug, tc.rect, 0, tc.n, &b, tc.dir, tc.reverse);
    ASSERT_EQ(radio.NButtons(), (int)tc.buttons.size()) << tc.what;
    for (int i = 0; i < radio.NButtons(); ++i) EXPECT_EQ(*radio.GetButtonRECT(i), tc.buttons[i]) << tc.what << i;
  }
}

TEST_F(StockControlsTest, RadioClicksChooseAButtonAndAlwaysPush)
{
  auto bitmap = strip(10, 10, 2);
  IBitmap b(bitmap.get(), 10, 20, 2);
  IParam* choice = plug->GetParam(4);
  choice->InitEnum("radio", 0, 3);
  for (int i = 0; i < 3; ++i) choice->SetDisplayText(i, i == 0 ? "A" : i == 1 ? "B" : "C");
  IRadioButtonsControl* radio = addAt(new IRadioButtonsControl(plug, IRECT(10, 10, 20, 70), 4, 3, &b), 0.0);
  IRadioButtonsControl* single = addAt(new IRadioButtonsControl(plug, IRECT(100, 10, 110, 70), 1, 1, &b), 0.0);
  const struct
  {
    IRadioButtonsControl* control;
    int x, y;
    double value;
  } clicks[] = {
    {radio, 15, 62, 1.0},   {radio, 15, 40, 0.5}, {radio, 15, 27, 0.5},  // between buttons: unchanged
    {radio, 15, 12, 0.0},   {single, 105, 15, 0.0},                      // one button holds 0
    {single, 105, 50, 0.0},
  };
  for (const auto& c : clicks)
  {
    plug->calls.clear();
    g->OnMouseDown(c.x, c.y, &left);
    EXPECT_EQ(c.control->GetValue(), c.value) << c.x << "," << c.y;
    EXPECT_EQ(plug->pushes(c.control->ParamIdx()), std::vector<double>({c.value})) << c.x << "," << c.y;
  }
  // Drawn: the active button in frame 2, the others in frame 1.
  radio->SetValue(0.5);
  drawAll();
  EXPECT_EQ(redAt(15, 12), 10);
  EXPECT_EQ(redAt(15, 37), 20);
  EXPECT_EQ(redAt(15, 62), 10);
  EXPECT_EQ(redAt(105, 12), 20);
  // A right click asks instead of choosing; a grey group takes nothing.
  EXPECT_EQ(choice->Value(), 0.0);  // the last click chose the first button
  radio->DisablePrompt(false);
  plug->calls.clear();
  radio->OnMouseDown(15, 62, &right);
  EXPECT_EQ(g->menusShown, 1);
  EXPECT_EQ(radio->GetValue(), 0.5);
  radio->GrayOut(true);
  radio->OnMouseDown(15, 62, &left);
  EXPECT_EQ(radio->GetValue(), 0.5);
  EXPECT_TRUE(plug->calls.empty());
}

TEST_F(StockControlsTest, FaderHandleFollowsTheValueAndTheMouse)
{
  // Handle 10 wide, 6 high; horizontal track 60 long: travel 50.
  auto handleBits = strip(10, 6, 1);
  IBitmap handle(handleBits.get(), 10, 6, 1);
  IFaderControl* h = addAt(new IFaderControl(plug, 20, 20, 60, 0, &handle, kHorizontal), 0.0);
  // Vertical: handle 10 x 6, track 46 long: travel 40.
  IFaderControl* v = addAt(new IFaderControl(plug, 120, 10, 46, 1, &handle, kVertical), 0.0);
  EXPECT_EQ(h->GetRECT(), IRECT(20, 20, 80, 26));
  EXPECT_EQ(v->GetRECT(), IRECT(120, 10, 130, 56));

  const struct
  {
    IFaderControl* fader;
    double value;
    IRECT handleRect;
  } positions[] = {
    {h, 0.0, IRECT(20, 20, 30, 26)},  {h, 1.0, IRECT(70, 20, 80, 26)},   {h, 0.5, IRECT(45, 20, 55, 26)},
    {h, 0.33, IRECT(36, 20, 46, 26)}, {v, 0.0, IRECT(120, 50, 130, 56)}, {v, 1.0, IRECT(120, 10, 130, 16)},
    {v, 0.25, IRECT(120, 40, 130, 46)},
  };
  for (const auto& p : positions)
  {
    p.fader->SetValue(p.value);
    EXPECT_EQ(p.fader->GetHandleRECT(), p.handleRect) << p.value;
    drawAll();
    const IRECT& r = p.handleRect;
    EXPECT_EQ(redAt(r.L, r.T), 10) << p.value;
    EXPECT_EQ(redAt(r.R - 1, r.B - 1), 10) << p.value;
    EXPECT_EQ(redAt(r.L - 1, r.T), 255) << p.value;
    EXPECT_EQ(redAt(r.R, r.B - 1), 255) << p.value;
  }

  // A click puts the handle's centre under the pointer; drags follow; the value is
  // clamped to the track.
  const struct
  {
    IFaderControl* fader;
    bool drag;
    int x, y;
    double value;
  } moves[] = {
    {h, false, 25, 23, 0.0},  {h, true, 75, 23, 1.0},  {h, true, 50, 23, 0.5},  {h, true, 10, 23, 0.0},
    {h, false, 79, 23, 1.0},  {v, false, 125, 13, 1.0}, {v, true, 125, 33, 0.5}, {v, true, 125, 99, 0.0},
  };
  for (const auto& m : moves)
  {
    plug->calls.clear();
    if (m.drag)
      g->OnMouseDrag(m.x, m.y, &left);
    else
      g->OnMouseDown(m.x, m.y, &left);
    EXPECT_DOUBLE_EQ(m.fader->GetValue(), m.value) << m.x << "," << m.y;
    const std::vector<double> pushed = plug->pushes(m.fader->ParamIdx());
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_DOUBLE_EQ(pushed[0], m.value);
  }
  g->OnMouseUp(0, 0, &left);

  // Only the handle is hit when asked; the whole track otherwise.
  IFaderControl handleOnly(plug, 20, 40, 60, 2, &handle, kHorizontal, true);
  handleOnly.SetValue(0.0);
  EXPECT_TRUE(handleOnly.IsHit(25, 42));
  EXPECT_FALSE(handleOnly.IsHit(60, 42));
  EXPECT_TRUE(h->IsHit(60, 22));

  // A handle as long as the track cannot move: the value stays a number.
  IFaderControl stuck(plug, 20, 60, 10, 5, &handle, kHorizontal);
  stuck.SetValue(0.4);
  stuck.OnMouseDown(22, 61, &left);
  EXPECT_EQ(stuck.GetValue(), 0.4);
}

TEST_F(StockControlsTest, KnobDragIsGearedAndClamped)
{
  // 40 x 50: four times the height covers the whole range.
  const struct
  {
    EDirection dir;
    double gearing;
    int dX, dY;
    IMouseMod mod;
    double start, value;
  } cases[] = {
    {kVertical, 4.0, 0, -20, IMouseMod(true), 0.0, 0.1},
    {kVertical, 4.0, 0, 20, IMouseMod(true), 0.5, 0.4},
    {kVertical, 4.0, 0, -20, IMouseMod(true, false, true), 0.0, 0.01},
    {kVertical, 4.0, 0, -20, IMouseMod(true, false, false, true), 0.0, 0.01},
    {kVertical, 4.0, 0, -400, IMouseMod(true), 0.5, 1.0},
    {kVertical, 4.0, 30, 0, IMouseMod(true), 0.5, 0.5},  // sideways does not turn it
    {kHorizontal, 4.0, 16, 0, IMouseMod(true), 0.0, 0.1},
    {kHorizontal, 1.0, -8, 0, IMouseMod(true), 0.5, 0.3},
    {kHorizontal, 4.0, -400, 0, IMouseMod(true), 0.5, 0.0},
  };
  for (const auto& tc : cases)
  {
    IKnobControl* knob = nullptr;
    auto bitmap = strip(40, 50, 3);
    IBitmap b(bitmap.get(), 40, 150, 3);
    knob = addAt(new IKnobMultiControl(plug, 10, 10, 0, &b, tc.dir, tc.gearing), tc.start);
    IMouseMod mod = tc.mod;
    g->OnMouseDown(20, 20, &left);
    g->OnMouseDrag(20 + tc.dX, 20 + tc.dY, &mod);
    g->OnMouseUp(20 + tc.dX, 20 + tc.dY, &mod);
    EXPECT_NEAR(knob->GetValue(), tc.value, 1e-12) << tc.dX << "," << tc.dY;
    EXPECT_NEAR(plug->GetParam(0)->Value(), tc.value, 1e-4);
    knob->GrayOut(true);
    knob->OnMouseDrag(0, 0, 0, -40, &left);
    EXPECT_NEAR(knob->GetValue(), tc.value, 1e-12);
    knob->Hide(true);
  }
}

TEST_F(StockControlsTest, LineRotaterAndMaskKnobsDrawAtTheirAngle)
{
  // Line knob from 0 (up) to half a turn (down): at value 0.5 it points right.
  const IColor blue(255, 0, 0, 255);
  IKnobLineControl* line =
    addAt(new IKnobLineControl(plug, IRECT(0, 0, 41, 41), 0, &blue, 5.0, 0.0, 0.0, M_PI, kVertical, 4.0), 0.5);
  drawAll();
  EXPECT_LT(redAt(35, 20), 128);
  EXPECT_EQ(g->GetPoint(20, 5), COLOR_WHITE);
  line->SetValue(0.0);
  drawAll();
  EXPECT_LT(redAt(20, 5), 128);
  EXPECT_EQ(g->GetPoint(35, 20), COLOR_WHITE);
  line->Hide(true);

  // An upward bar, turned a quarter turn by the rotater and by the mask knob at
  // value 1 (angles 0 .. pi / 2 in radians for both).
  std::unique_ptr<LICE_MemBitmap> bar(new LICE_MemBitmap(21, 21));
  LICE_Clear(bar.get(), LICE_MakePixel(0, 0, 0, 0));
  LICE_FillRect(bar.get(), 9, 0, 3, 9, LICE_MakePixel(0, 200, 0, 255), 1.0f, LICE_MODE_COPY);
  IBitmap barB(bar.get(), 21, 21);
  IKnobRotaterControl* rotater = addAt(new IKnobRotaterControl(plug, 50, 0, 1, &barB, 0.0, M_PI / 2), 1.0);
  std::unique_ptr<LICE_MemBitmap> base(new LICE_MemBitmap(21, 21)), top(new LICE_MemBitmap(21, 21));
  LICE_Clear(base.get(), LICE_MakePixel(0, 0, 0, 255));
  LICE_Clear(top.get(), LICE_MakePixel(0, 0, 0, 0));
  IBitmap baseB(base.get(), 21, 21), topB(top.get(), 21, 21);
  IKnobRotatingMaskControl* mask =
    addAt(new IKnobRotatingMaskControl(plug, 100, 0, 2, &baseB, &barB, &topB, 0.0, M_PI / 2), 1.0);
  for (double value : {0.0, 1.0})
  {
    rotater->SetValue(value);
    mask->SetValue(value);
    drawAll();
    const bool right = value == 1.0;
    for (int x0 : {50, 100})
    {
      // The bar is green on white: red is low only where it lies.
      EXPECT_EQ(redAt(x0 + 10, 3) < 100, !right) << x0 << " at " << value;
      EXPECT_EQ(redAt(x0 + 17, 10) < 100, right) << x0 << " at " << value;
    }
  }
}

TEST_F(StockControlsTest, CaptionShowsTheParametersOwnValueAndAsks)
{
  IParam* wave = plug->GetParam(4);
  wave->InitEnum("Wave", 1, 3, "", "");
  wave->SetDisplayText(0, "Saw");
  wave->SetDisplayText(1, "Square");
  // A display entry as long as the parameter holds, with a label after it.
  const std::string longText(IParam::kDisplayTextLen - 1, 'x');
  wave->SetDisplayText(2, longText.c_str());
  IParam* level = plug->GetParam(3);
  // A label as long as the parameter holds: with the number it is longer than any
  // one display entry, and still shown whole.
  const std::string label(IParam::kNameLen - 1, 'l');
  level->InitInt("Level", 7, 0, 100, label.c_str());

  ICaptionControl* wave1 = addAt(new ICaptionControl(plug, IRECT(0, 0, 60, 20), 4, nullptr, false), 0.0);
  ICaptionControl* level1 = addAt(new ICaptionControl(plug, IRECT(0, 20, 60, 40), 3, nullptr, true), 0.9);
  const struct
  {
    ICaptionControl* control;
    double paramValue;
    std::string text;
  } cases[] = {
    {wave1, 1.0, "Square"},
    {wave1, 2.0, longText},
    {level1, 7.0, "7 " + label},
    {level1, 63.0, "63 " + label},
  };
  for (const auto& tc : cases)
  {
    plug->GetParam(tc.control->ParamIdx())->Set(tc.paramValue);
    drawAll();
    EXPECT_EQ(tc.control->GetTextForPlug(), tc.text);
  }

  // Clicks ask only once prompting is enabled, and not while grey.
  g->OnMouseDown(10, 5, &left);
  EXPECT_EQ(g->menusShown, 0);
  wave1->DisablePrompt(false);
  g->chooseIndex = 1;
  const struct
  {
    bool dbl;
    IMouseMod mod;
    int menus;
  } clicks[] = {{false, IMouseMod(), 0}, {false, IMouseMod(true), 1}, {false, IMouseMod(false, true), 2},
                {true, IMouseMod(), 3}};
  for (const auto& c : clicks)
  {
    IMouseMod mod = c.mod;
    if (c.dbl)
      wave1->OnMouseDblClick(10, 5, &mod);
    else
      wave1->OnMouseDown(10, 5, &mod);
    EXPECT_EQ(g->menusShown, c.menus);
  }
  EXPECT_EQ(g->menuTexts, std::vector<std::string>({"Saw", "Square", longText}));
  EXPECT_EQ(wave->Value(), 1.0);
  wave1->GrayOut(true);
  wave1->OnMouseDown(10, 5, &left);
  wave1->OnMouseDblClick(10, 5, &left);
  EXPECT_EQ(g->menusShown, 3);
}

TEST_F(StockControlsTest, PopUpSwitchAsksThenPushes)
{
  IParam* mode = plug->GetParam(3);
  mode->InitEnum("Mode", 0, 3);
  mode->SetDisplayText(0, "Off");
  mode->SetDisplayText(1, "Once");
  mode->SetDisplayText(2, "Loop");
  auto bitmap = strip(10, 10, 3);
  IBitmap b(bitmap.get(), 10, 30, 3);
  ISwitchPopUpControl* sw = addAt(new ISwitchPopUpControl(plug, 20, 20, 3, &b), 0.0);
  g->chooseIndex = 2;
  g->OnMouseDown(25, 25, &left);
  EXPECT_EQ(g->menusShown, 1);
  EXPECT_EQ(sw->GetValue(), 1.0);
  EXPECT_EQ(mode->Value(), 2.0);
  // Cancelled: the value is pushed again unchanged.
  g->chooseIndex = -1;
  plug->calls.clear();
  g->OnMouseDown(25, 25, &left);
  EXPECT_EQ(sw->GetValue(), 1.0);
  EXPECT_EQ(plug->pushes(3), std::vector<double>({1.0}));
}

TEST_F(StockControlsTest, URLFallsBackToTheBackupAddress)
{
  const std::string longURL = "https://example.invalid/" + std::string(400, 'a');
  const struct
  {
    const char* url;
    std::string backup;
    std::vector<std::string> openable, tried;
  } cases[] = {
    {"https://a.invalid/", "https://b.invalid/", {"https://a.invalid/"}, {"https://a.invalid/"}},
    {"https://a.invalid/", "https://b.invalid/", {}, {"https://a.invalid/", "https://b.invalid/"}},
    {"https://a.invalid/", "", {}, {"https://a.invalid/"}},
    {"", "https://b.invalid/", {}, {"https://b.invalid/"}},
    {nullptr, longURL, {longURL}, {longURL}},  // kept whole, however long
  };
  for (const auto& tc : cases)
  {
    IURLControl* url = add(new IURLControl(plug, IRECT(0, 0, 30, 30), tc.url, tc.backup.c_str(), "No browser"));
    g->openableURLs = tc.openable;
    g->urlsTried.clear();
    g->OnMouseDown(5, 5, &left);
    std::vector<std::string> tried;
    for (const auto& t : g->urlsTried)
    {
      tried.push_back(t.url);
      EXPECT_EQ(t.title, "No browser");
      EXPECT_FALSE(t.extraTexts);
    }
    EXPECT_EQ(tried, tc.tried);
    url->GrayOut(true);
    g->urlsTried.clear();
    url->OnMouseDown(5, 5, &left);
    EXPECT_TRUE(g->urlsTried.empty());
    url->Hide(true);
  }
  EXPECT_TRUE(plug->routes().empty());
}

TEST_F(StockControlsTest, FileSelectorAsksTogglesAndStaysDirtyOnce)
{
  auto bitmap = strip(20, 20, 1);
  IBitmap b(bitmap.get(), 20, 20, 1);
  IFileSelectorControl* fs = addAt(
    new IFileSelectorControl(plug, IRECT(10, 10, 30, 30), 7, &b, kFileSave, "/tmp/banks", "syx bnk"), 0.0);
  drawAll();
  EXPECT_EQ(redAt(10, 10), 10);
  EXPECT_FALSE(fs->IsDirty());

  g->fileAnswers = {"/tmp/banks/one.syx", ""};
  fs->SetLastSelectedFileFromPlug("start.syx");
  const char* expectedFiles[] = {"/tmp/banks/one.syx", ""};
  const double expectedValues[] = {1.0, 0.0};
  for (int i = 0; i < 2; ++i)
  {
    g->OnMouseDown(15, 15, &left);
    EXPECT_EQ(fs->GetState(), IFileSelectorControl::kFSDone);
    WDL_String file;
    fs->GetLastSelectedFileForPlug(&file);
    EXPECT_STREQ(file.Get(), expectedFiles[i]);
    EXPECT_EQ(fs->GetValue(), expectedValues[i]);
    EXPECT_EQ(plug->pushes(7).back(), expectedValues[i]);
    // Cleaned by a drawing pass, it still reports dirty once for the ended selection.
    fs->SetClean();
    EXPECT_TRUE(fs->IsDirty());
    EXPECT_EQ(fs->GetState(), IFileSelectorControl::kFSNone);
    EXPECT_FALSE(fs->IsDirty());
  }
  ASSERT_EQ(g->filePrompts.size(), 2u);
  EXPECT_EQ(g->filePrompts[0].file, "start.syx");
  EXPECT_EQ(g->filePrompts[0].action, kFileSave);
  EXPECT_EQ(g->filePrompts[0].dir, "/tmp/banks");
  EXPECT_EQ(g->filePrompts[0].extensions, "syx bnk");
  fs->GrayOut(true);
  fs->OnMouseDown(15, 15, &left);
  EXPECT_EQ(g->filePrompts.size(), 2u);
}
