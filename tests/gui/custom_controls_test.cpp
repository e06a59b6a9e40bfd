#include "GuiTestUtil.h"
#include "gui/ICustomControls.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A radio bitmap of n buttons, each bw x bh: off images red 10 (i + 1), on images
// red 100 + 10 (i + 1). Frames vertical: offs side by side on top, ons below;
// frames horizontal: offs stacked on the left, ons on the right.
std::unique_ptr<LICE_MemBitmap> radioBitmap(int n, int bw, int bh, bool framesHorizontal)
{
  std::unique_ptr<LICE_MemBitmap> b(
    new LICE_MemBitmap(framesHorizontal ? 2 * bw : n * bw, framesHorizontal ? n * bh : 2 * bh));
  for (int i = 0; i < n; ++i)
    for (int on = 0; on < 2; ++on)
    {
      const int x = framesHorizontal ? on * bw : i * bw, y = framesHorizontal ? i * bh : on * bh;
      LICE_FillRect(b.get(), x, y, bw, bh, LICE_MakePixel(100 * on + 10 * (i + 1), 0, 0, 255), 1.0f, LICE_MODE_COPY);
    }
  return b;
}

class CustomControlsTest : public ControlsOnWhiteTest
{
protected:
  int countNonWhite()
  {
    int n = 0;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x) n += g->GetPoint(x, y) != COLOR_WHITE;
    return n;
  }
};

}  // namespace

TEST_F(CustomControlsTest, RadioGroupDrawsTheSelectedButtonOn)
{
  const struct
  {
    int n;
    bool framesHorizontal;
    double value;
    int selected;
  } cases[] = {
    {5, false, 0.5, 2}, {5, false, 0.62, 2}, {5, false, 0.63, 3}, {5, false, 0.0, 0},
    {5, false, 1.0, 4}, {5, false, 1.5, 4},  {3, true, 0.5, 1},   {3, true, 0.24, 0},
    {3, true, 0.26, 1}, {1, false, 0.7, 0},
  };
  for (const auto& tc : cases)
  {
    auto bitmap = radioBitmap(tc.n, 12, 8, tc.framesHorizontal);
    IBitmap b(bitmap.get(), bitmap->getWidth(), bitmap->getHeight(), 2, tc.framesHorizontal);
    // As the factory builds it: half the bitmap, side by side for vertical frames.
    const IRECT rect = tc.framesHorizontal ? IRECT(10, 10, 10 + b.W / 2, 10 + b.H)
                                           : IRECT(10, 10, 10 + b.W, 10 + b.H / 2);
    ICustomRadioButtonsControl* radio = addAt(
      new ICustomRadioButtonsControl(plug, rect, 0, tc.n, &b, tc.framesHorizontal ? kVertical : kHorizontal),
      tc.value);
    ASSERT_EQ(radio->NButtons(), tc.n);
    for (bool grey : {false, true})
    {
      // A grey group is drawn at full strength all the same.
      radio->GrayOut(grey);
      drawAll();
      for (int i = 0; i < tc.n; ++i)
      {
        const IRECT& r = *radio->GetButtonRECT(i);
        EXPECT_EQ(r.W(), 12);
        EXPECT_EQ(r.H(), 8);
        EXPECT_EQ(tc.framesHorizontal ? r.T : r.L, 10 + i * (tc.framesHorizontal ? 8 : 12));
        const int expected = (i == tc.selected ? 100 : 0) + 10 * (i + 1);
        EXPECT_EQ(redAt(r.L, r.T), expected) << tc.n << " buttons at " << tc.value << ", button " << i;
        EXPECT_EQ(redAt(r.R - 1, r.B - 1), expected) << tc.n << " buttons at " << tc.value << ", button " << i;
      }
    }
    radio->Hide(true);
  }
}

TEST_F(CustomControlsTest, RadioGroupClicks)
{
  // Four buttons side by side, each 12 x 8, in a rectangle 4 pixels taller than
  // the buttons.
  auto bitmap = radioBitmap(4, 12, 8, false);
  IBitmap b(bitmap.get(), 48, 16, 2, false);
  ICustomRadioButtonsControl* radio =
    addAt(new ICustomRadioButtonsControl(plug, IRECT(10, 10, 58, 22), 1, 4, &b, kHorizontal), 0.0);
  auto oneBitmap = radioBitmap(1, 12, 8, false);
  IBitmap one(oneBitmap.get(), 12, 16, 2, false);
  ICustomRadioButtonsControl* single =
    addAt(new ICustomRadioButtonsControl(plug, IRECT(100, 10, 112, 18), 2, 1, &one, kHorizontal), 0.0);

  enum Kind
  {
    kDown,
    kDouble,
    kDownGrey
  };
  const struct
  {
    const char* what;
    ICustomRadioButtonsControl* control;
    Kind kind;
    IMouseMod mod;
    int x, y;
    double value;
    int pushes;
  } clicks[] = {
    {"third button", radio, kDown, IMouseMod(true), 35, 12, 2.0 / 3.0, 2},
    {"right click", radio, kDown, IMouseMod(false, true), 50, 12, 2.0 / 3.0, 1},
    {"command-click", radio, kDown, IMouseMod(true, true), 15, 12, 2.0 / 3.0, 1},
    {"below the buttons", radio, kDown, IMouseMod(true), 15, 20, 2.0 / 3.0, 2},
    {"double click", radio, kDouble, IMouseMod(true), 15, 12, 2.0 / 3.0, 0},
    {"last button", radio, kDown, IMouseMod(true), 57, 17, 1.0, 2},
    {"grey", radio, kDownGrey, IMouseMod(true), 15, 12, 1.0, 0},
    {"one button", single, kDown, IMouseMod(true), 105, 12, 0.0, 2},
  };
  for (const auto& c : clicks)
  {
    plug->calls.clear();
    IMouseMod mod = c.mod;
    switch (c.kind)
    {
      case kDown:
        g->OnMouseDown(c.x, c.y, &mod);
        g->OnMouseUp(c.x, c.y, &mod);
        break;
      case kDouble: g->OnMouseDblClick(c.x, c.y, &mod); break;
      case kDownGrey:
        // The hit search skips grey controls; the group must refuse the click too.
        c.control->GrayOut(true);
        c.control->OnMouseDown(c.x, c.y, &mod);
        c.control->GrayOut(false);
        break;
    }
    EXPECT_DOUBLE_EQ(c.control->GetValue(), c.value) << c.what;
    const std::vector<double> pushed = plug->pushes(c.control->ParamIdx());
    EXPECT_EQ((int)pushed.size(), c.pushes) << c.what;
    for (double p : pushed) EXPECT_DOUBLE_EQ(p, c.value) << c.what;
    EXPECT_NEAR(plug->GetParam(c.control->ParamIdx())->Value(), c.value, 1e-4) << c.what;
  }

  // Leaving the group redraws it without telling the plug-in.
  drawAll();
  plug->calls.clear();
  EXPECT_FALSE(radio->IsDirty());
  g->OnMouseOut();
  EXPECT_TRUE(radio->IsDirty());
  EXPECT_TRUE(plug->calls.empty());
}

TEST_F(CustomControlsTest, ProgressOverlaySwallowsClicksWhileShown)
{
  auto switchBits = radioBitmap(1, 20, 20, false);
  IBitmap sb(switchBits.get(), 20, 40, 2);
  ISwitchControl* beneath = addAt(new ISwitchControl(plug, 30, 30, 3, &sb), 0.0);

  // The overlay image: 150 x 80, red = column, green = row.
  std::unique_ptr<LICE_MemBitmap> image(new LICE_MemBitmap(150, 80));
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 150; ++x) image->getBits()[y * image->getRowSpan() + x] = LICE_MakePixel(x, y, 0, 255);
  IBitmap ib(image.get(), 150, 80, 1);
  ControlLayer* layer = new ControlLayer(900, "PROGRESS");
  g->AttachLayer(layer);
  ProgressIndicator* overlay = new ProgressIndicator(layer, plug, 10, 5, 100, 60, -1, &ib, IRECT(0, 0, 1, 1));
  ASSERT_EQ(layer->controls.GetSize(), 1);
  EXPECT_EQ(layer->controls.Get(0), overlay);
  EXPECT_TRUE(layer->ignoreHiddenWhenUpdatingScreen);
  EXPECT_TRUE(overlay->GetUpdateWhenHidden());
  EXPECT_EQ(overlay->GetRECT(), IRECT(10, 5, 160, 85));

  layer->Hide(false);
  drawAll();
  // The top-left 100 x 60 of the image at (10, 5), nothing of it beyond.
  EXPECT_EQ(g->GetPoint(10, 5), IColor(255, 0, 0, 0));
  EXPECT_EQ(g->GetPoint(109, 64), IColor(255, 99, 59, 0));
  EXPECT_EQ(g->GetPoint(110, 20), COLOR_WHITE);
  EXPECT_EQ(g->GetPoint(50, 65), COLOR_WHITE);

  const struct
  {
    bool shown;
    double value;
  } steps[] = {{true, 0.0}, {false, 1.0}, {true, 1.0}, {false, 0.0}};
  for (const auto& s : steps)
  {
    layer->Hide(!s.shown);
    plug->calls.clear();
    g->OnMouseDown(35, 35, &left);
    g->OnMouseUp(35, 35, &left);
    if (s.shown) g->OnMouseDblClick(35, 35, &left);  // swallowed the same way
    EXPECT_EQ(beneath->GetValue(), s.value) << s.shown;
    EXPECT_EQ(plug->routes().empty(), s.shown);
  }
}

TEST_F(CustomControlsTest, BitmapTextLaysCharactersIntoCells)
{
  // A font of 96 frames of 10 x 12, frame k red k: 'a' (97) is frame 66.
  const int cw = 10, ch = 12;
  std::unique_ptr<LICE_MemBitmap> fontBits(new LICE_MemBitmap(cw, 96 * ch));
  for (int k = 0; k < 96; ++k)
    LICE_FillRect(fontBits.get(), 0, k * ch, cw, ch, LICE_MakePixel(k + 1, 0, 0, 255), 1.0f, LICE_MODE_COPY);
  IBitmap font(fontBits.get(), cw, 96 * ch, 96);
  IBitmap shortFont(fontBits.get(), cw, 40 * ch, 40);  // up to code 71 ('G')

  struct Cell
  {
    int x, y, frame;
  };
  auto row = [](int x, int y, const char* text) {
    std::vector<Cell> cells;
    for (const char* p = text; *p; ++p, x += 10) cells.push_back({x, y, (int)(signed char)*p - 31});
    return cells;
  };
  auto join = [](std::vector<Cell> a, const std::vector<Cell>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const struct
  {
    const char* what;
    const char* text;
    IRECT area;
    int align;
    bool vCenter, wrap;
    IBitmap* font;
    int charWidth;
    std::vector<Cell> cells;
  } cases[] = {
    {"centred", "abc", IRECT(20, 10, 120, 40), IText::kAlignCenter, false, false, &font, cw, row(55, 10, "abc")},
    {"near", "abc", IRECT(20, 10, 120, 40), IText::kAlignNear, false, false, &font, cw, row(30, 10, "abc")},
    {"far aligns near", "abc", IRECT(20, 10, 120, 40), IText::kAlignFar, false, false, &font, cw, row(30, 10, "abc")},
    {"centred vertically", "abc", IRECT(20, 10, 120, 40), IText::kAlignNear, true, false, &font, cw,
     row(30, 19, "abc")},
    {"one more line without wrap", "ABCDEFGHIJKLMNOPQRST", IRECT(20, 10, 120, 40), IText::kAlignNear, false, false,
     &font, cw, join(row(30, 10, "ABCDEFGH"), row(30, 22, "IJKLMNOP"))},
    {"twelve without wrap", "ABCDEFGHIJKL", IRECT(20, 10, 120, 40), IText::kAlignNear, false, false, &font, cw,
     join(row(30, 10, "ABCDEFGH"), row(30, 22, "IJKL"))},
    {"wrapped", "ABCDEFGHIJKLMNOPQRST", IRECT(20, 10, 120, 40), IText::kAlignNear, false, true, &font, cw,
     join(join(row(30, 10, "ABCDEFGH"), row(30, 22, "IJKLMNOP")), row(30, 34, "QRST"))},
    {"wrap that fits", "abc", IRECT(20, 10, 120, 40), IText::kAlignNear, false, true, &font, cw,
     row(30, 10, "abc")},
    {"blank, control, high bytes", " \x01\x80~", IRECT(20, 10, 120, 40), IText::kAlignNear, false, false, &font,
     cw, {{30, 10, 1}, {40, 10, 1}, {50, 10, 1}, {60, 10, 95}}},
    {"beyond the last frame", "AZG", IRECT(20, 10, 120, 40), IText::kAlignNear, false, false, &shortFont, cw,
     {{30, 10, 34}, {50, 10, 40}}},
    {"no room, wrapped", "abc", IRECT(20, 10, 40, 40), IText::kAlignNear, false, true, &font, cw, {}},
    {"no room", "abc", IRECT(20, 10, 40, 40), IText::kAlignNear, false, false, &font, cw, {}},
    {"less than a character", "abc", IRECT(20, 10, 45, 40), IText::kAlignNear, false, true, &font, cw, {}},
    {"zero width characters", "abc", IRECT(20, 10, 120, 40), IText::kAlignNear, false, true, &font, 0, {}},
    {"empty", "", IRECT(20, 10, 120, 40), IText::kAlignNear, false, false, &font, cw, {}},
    {"none", nullptr, IRECT(20, 10, 120, 40), IText::kAlignNear, false, false, &font, cw, {}},
  };

  FnControl* pass = new FnControl;
  g->AttachControl(pass);
  for (const auto& tc : cases)
  {
    IText style;
    style.mAlign = tc.align;
    IRECT area = tc.area;
    pass->fn = [&](IGraphics* gr) {
      DrawBitmapedText(gr, tc.font, &area, &style, nullptr, tc.text, tc.vCenter, tc.wrap, tc.charWidth, ch);
    };
    drawAll();
    for (const Cell& c : tc.cells)
    {
      EXPECT_EQ(g->GetPoint(c.x, c.y), IColor(255, c.frame, 0, 0)) << tc.what << " at " << c.x << "," << c.y;
      EXPECT_EQ(g->GetPoint(c.x + cw - 1, c.y + ch - 1), IColor(255, c.frame, 0, 0)) << tc.what;
    }
    EXPECT_EQ(countNonWhite(), (int)tc.cells.size() * cw * ch) << tc.what;
  }
  pass->fn = nullptr;
}

TEST_F(CustomControlsTest, BitmapTextControlDrawsItsTextCentredVertically)
{
  std::unique_ptr<LICE_MemBitmap> fontBits(new LICE_MemBitmap(6, 96 * 8));
  for (int k = 0; k < 96; ++k)
    LICE_FillRect(fontBits.get(), 0, k * 8, 6, 8, LICE_MakePixel(k + 1, 0, 0, 255), 1.0f, LICE_MODE_COPY);
  IBitmap font(fontBits.get(), 6, 96 * 8, 96);
  IText nearStyle;
  nearStyle.mAlign = IText::kAlignNear;
  IBitmapTextControl* text =
    addAt(new IBitmapTextControl(plug, IRECT(10, 10, 70, 30), &font, "", &nearStyle, 6, 8), 0.0);
  drawAll();
  EXPECT_EQ(countNonWhite(), 0);
  EXPECT_FALSE(text->IsDirty());

  text->SetTextFromPlug("OK");
  EXPECT_TRUE(text->IsDirty());
  drawAll();
  // Line top 10 + (30 - 18) / 2 = 16; first column 10 + 6.
  EXPECT_EQ(g->GetPoint(16, 16), IColor(255, 'O' - 31, 0, 0));
  EXPECT_EQ(g->GetPoint(22, 23), IColor(255, 'K' - 31, 0, 0));
  EXPECT_EQ(countNonWhite(), 2 * 6 * 8);

  text->SetClean();
  text->SetTextFromPlug("OK");
  EXPECT_FALSE(text->IsDirty());
  EXPECT_STREQ(text->GetTextForPlug(), "OK");
  EXPECT_TRUE(plug->routes().empty());
}

// A port menu's field with a name too long for it: the name loses characters from
// its middle, whole characters only, for an ellipsis; the mark a missing port's
// entry ends with stays whole; and nothing is drawn outside the field, even where
// the mark alone does not fit.
TEST_F(CustomControlsTest, FittedCaptionShortensTheMiddleKeepsTheMarkAndStaysInside)
{
  IText style(15, IColor(255, 0, 174, 255), "NK57 Monospace");
  char one[] = "x";
  IRECT m(0, 0, 0, 0);
  g->MeasureIText(&style, one, &m);
  const int c = m.W();  // monospace: every character, the ellipsis too
  ASSERT_GT(c, 0);

  const struct
  {
    int chars;  // the field's width
    const char* entry;
    std::string shown;  // the label after it is empty: one blank
  } cases[] = {
    {18, "Rudu3@p12:MIDI In", "Rudu3@p12:MIDI In "},
    {18, "Rudu3@p12:MIDI Out", "Rudu3@p1\u2026MIDI Out "},
    {18, "Rudu3@p12:MIDI In (missing)", "Rud\u2026 In (missing) "},
    {18, "Ösen-Bühne ÜÄÖ Ausgang", "Ösen-Büh\u2026 Ausgang "},
    {18, "Ösen-Bühne ÜÄÖ Ausgang (missing)", "Öse\u2026ang (missing) "},
    // Two-byte characters on both sides of both cuts.
    {18, "Studioöäß-éÜbergäng", "Studioöä\u2026Übergäng "},
    {5, "Rudu3@p12:MIDI In (missing)", "\u2026 (missing) "},
  };
  IParam* port = plug->GetParam(4);
  port->InitEnum("Device Selection", 0, 2, "", "");
  port->SetDisplayText(0, "OFF");
  for (const auto& tc : cases)
  {
    SCOPED_TRACE(tc.entry);
    const IRECT field(10, 40, 10 + tc.chars * c, 55);
    IFittedCaptionControl* caption =
      addAt(new IFittedCaptionControl(plug, field, 4, &style, true, " (missing)"), 0.0);
    port->SetDisplayText(1, tc.entry);
    port->Set(1);
    drawAll();
    EXPECT_EQ(caption->GetTextForPlug(), tc.shown);
    int inside = 0, outside = 0;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x)
        (field.Contains(x, y) ? inside : outside) += g->GetPoint(x, y) != COLOR_WHITE;
    EXPECT_GT(inside, 0);
    EXPECT_EQ(outside, 0);
    caption->Hide(true);
  }
}
