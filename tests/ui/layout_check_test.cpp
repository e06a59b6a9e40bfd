// A layout check over the shipped configuration and artwork at every editor size, on
// every page, timbre and switchable state: no two controls that take input overlap,
// a layer's background lies over no other layer's control, every control of a layer
// that comes and goes has a caption in that layer's own background (its page's
// artwork cannot carry it), every caption, the page artwork's own too, stays inside
// its panel, the port fields keep a device's long name inside, and every text is
// legible on what lies under it.

#include "UiTestSupport.h"
#include "gui/IControls.h"
#include "raster/lice.h"
#include "raster/lice_pixel.h"
#include "raster/lice_png.h"
#include "ui/TabSwitchFunctions.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace {

struct Shown
{
  IControl* control;
  ControlLayer* layer;  // null for a control of the window itself
};

// The controls on screen: those of shown layers whose ancestors are all shown.
void collectShown(ControlLayer* layer, std::vector<Shown>* out)
{
  if (!layer->visible) return;
  for (int i = 0; i < layer->controls.GetSize(); ++i)
    if (!layer->controls.Get(i)->IsHidden()) out->push_back({layer->controls.Get(i), layer});
  for (int i = 0; i < layer->children.GetSize(); ++i) collectShown(layer->children.Get(i), out);
}

bool isText(IControl* c) { return dynamic_cast<ITextControl*>(c) != nullptr; }
// Knobs, buttons, sliders, and the menus (a caption of a parameter's value).
bool takesInput(IControl* c)
{
  return c->ParamIdx() >= 0 && (!isText(c) || dynamic_cast<ICaptionControl*>(c));
}
bool isBackground(IControl* c) { return c->ParamIdx() < 0 && dynamic_cast<IBitmapControl*>(c); }

bool inSubtree(ControlLayer* top, ControlLayer* layer)
{
  if (top == layer) return true;
  for (int i = 0; i < top->children.GetSize(); ++i)
    if (inSubtree(top->children.Get(i), layer)) return true;
  return false;
}

// Whether a background of the layer has ink (a caption, a menu's field) in the area.
bool inkIn(ControlLayer* layer, const IRECT& area)
{
  for (int i = 0; i < layer->controls.GetSize(); ++i)
  {
    IControl* c = layer->controls.Get(i);
    if (!isBackground(c)) continue;
    const IRECT& r = c->GetRECT();
    LICE_IBitmap* bm = static_cast<IBitmapControl*>(c)->GetIBitmap().mData;
    for (int y = std::max(area.T, r.T); bm && y < std::min(area.B, r.B); ++y)
      for (int x = std::max(area.L, r.L); x < std::min(area.R, r.R); ++x)
        if (LICE_PixelA(LICE_GetPixel(bm, x - r.L, y - r.T)) > 128) return true;
  }
  return false;
}

// The colours of the page's artwork under the ink of a layer's background: one,
// the panel's fill, for captions that stay inside their panel.
std::set<LICE_PixelValue> artUnderInk(IControl* background, IControl* art)
{
  std::set<LICE_PixelValue> colours;
  const IRECT &r = background->GetRECT(), &a = art->GetRECT();
  LICE_IBitmap* bm = static_cast<IBitmapControl*>(background)->GetIBitmap().mData;
  LICE_IBitmap* page = static_cast<IBitmapControl*>(art)->GetIBitmap().mData;
  for (int y = r.T; bm && page && y < r.B; ++y)
    for (int x = r.L; x < r.R; ++x)
      if (LICE_PixelA(LICE_GetPixel(bm, x - r.L, y - r.T)) > 0)
        colours.insert(LICE_GetPixel(page, x - a.L, y - a.T));
  return colours;
}

const double kEditorScales[] = {0.75, 1.0, 1.25};

// The image brought to an editor size as the editor brings its images.
std::unique_ptr<LICE_IBitmap> scaledAs(LICE_IBitmap* image, double scale)
{
  const int w = (int)(image->getWidth() * scale), h = (int)(image->getHeight() * scale);
  std::unique_ptr<LICE_IBitmap> scaled(new LICE_MemBitmap(w, h, 4));
  LICE_ScaledBlit(scaled.get(), image, 0, 0, w, h, 0.0f, 0.0f, (float)image->getWidth(), (float)image->getHeight(),
                  1.0f, LICE_MODE_BILINEAR);
  return scaled;
}

// Whether two colours of the artwork differ by more than a gradient's step.
bool uneven(LICE_PixelValue a, LICE_PixelValue b)
{
  return abs(LICE_PixelR(a) - LICE_PixelR(b)) > 2 || abs(LICE_PixelG(a) - LICE_PixelG(b)) > 2 ||
         abs(LICE_PixelB(a) - LICE_PixelB(b)) > 2;
}

double luminance(int r, int g, int b)
{
  auto lin = [](int v) {
    const double c = v / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
}

double contrast(double a, double b) { return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05); }

}  // namespace

namespace {

void checkLayoutAt(double scale)
{
  RealEditor editor(scale);
  RecordingPageHost host(&editor);
  editor.graphics.PrepDraw();
  for (int i = 0; i < kNumParams; ++i)
    editor.graphics.SetParameterFromPlug(i, editor.plug.GetParam(i)->Value(), false);
  ControlLayer* root = editor.config.getLayer("root");
  ASSERT_NE(root, nullptr);
  root->Hide(false);
  // As the controller's start-up leaves it: the mixer page shows its -1 children.
  ControlLayer* mixer = editor.config.getLayer("multiModeMixer");
  ASSERT_NE(mixer, nullptr);
  mixer->selectedChildId = -1;

  // Layers seen hidden while their page was shown, and the controls that take
  // input in them.
  std::set<ControlLayer*> comeAndGo;
  for (int page = 0; page <= 4; ++page)
    for (int t = 0; t <= 1; ++t)
      for (int variant = 0; variant < 2; ++variant)
      {
        // The switches that choose the zones, both ways.
        host.set(kOsc1Waveform + t, variant ? 5 : 0);
        host.set(kLfo1TempoSync + t, variant);
        host.set(kLfo2TempoSync + t, 1 - variant);
        host.set(kDelayFxTempoSync, variant);
        host.set(kCommonMode, variant ? 1 : 2);
        host.search = variant;
        TabSwitchFunctions().mainTabSwitch(&host, page, t);
        SCOPED_TRACE(testing::Message() << "page " << page << " timbre " << t << " variant " << variant);

        std::vector<Shown> shown;
        for (int i = 0; i < editor.graphics.NControls(); ++i)
          if (!editor.graphics.GetControl(i)->IsHidden()) shown.push_back({editor.graphics.GetControl(i), nullptr});
        for (int i = 0; i < editor.graphics.NLayers(); ++i) collectShown(editor.graphics.GetLayer(i), &shown);

        // No two controls that take input overlap.
        for (size_t a = 0; a < shown.size(); ++a)
          for (size_t b = a + 1; b < shown.size(); ++b)
          {
            IControl *x = shown[a].control, *y = shown[b].control;
            if (!takesInput(x) || !takesInput(y)) continue;
            const IRECT &p = x->GetRECT(), &q = y->GetRECT();
            // Rectangles end before R and B: sharing an edge is no overlap.
            EXPECT_FALSE(p.L < q.R && q.L < p.R && p.T < q.B && q.T < p.B)
                << "params " << x->ParamIdx() << " and " << y->ParamIdx() << " at " << x->GetRECT().L << ","
                << x->GetRECT().T << " and " << y->GetRECT().L << "," << y->GetRECT().T;
          }

        // A layer's background lies over no control of another layer: it would take
        // that control's clicks, or hide under it.
        for (const Shown& b : shown)
          for (const Shown& s : shown)
            if (b.layer && isBackground(b.control) && takesInput(s.control) &&
                (!s.layer || !inSubtree(b.layer, s.layer)))
            {
              EXPECT_FALSE(b.control->GetRECT().Intersects(s.control->GetRECT()))
                  << "background of " << b.layer->name << " over param " << s.control->ParamIdx();
            }

        // A layer's captions stay inside their panel: its border, or the page
        // beyond it, under a caption would show it crossing.
        ControlLayer* pageLayer = root->children.Get(page);
        IControl* art = nullptr;
        for (int i = 0; pageLayer && !art && i < pageLayer->controls.GetSize(); ++i)
          if (isBackground(pageLayer->controls.Get(i))) art = pageLayer->controls.Get(i);
        for (const Shown& b : shown)
          if (art && b.layer && b.layer != pageLayer && isBackground(b.control) && inSubtree(pageLayer, b.layer))
          {
            EXPECT_EQ(artUnderInk(b.control, art).size(), 1u)
                << "background of " << b.layer->name << " at " << b.control->GetRECT().L << "," << b.control->GetRECT().T
                << " crosses its panel's border";
          }

        // Layers that the page's own state hides.
        std::function<void(ControlLayer*, bool)> walk = [&](ControlLayer* l, bool copy) {
          if (!copy && !l->visible) comeAndGo.insert(l);
          if (!l->visible) return;
          for (int i = 0; i < l->children.GetSize(); ++i)
          {
            ControlLayer* child = l->children.Get(i);
            // The timbre copies come and go as wholes: the artwork is drawn per page.
            walk(child, child->id == 0 || child->id == 1);
          }
        };
        for (int i = 0; pageLayer && i < pageLayer->children.GetSize(); ++i)
        {
          ControlLayer* child = pageLayer->children.Get(i);
          walk(child, child->id == 0 || child->id == 1);
        }

        // Text is legible on what is under it: the ground is read at the text
        // rectangle's corners after drawing the page.
        IRECT all(0, 0, editor.graphics.Width(), editor.graphics.Height());
        editor.graphics.Draw(&all);
        LICE_IBitmap* shot = editor.graphics.GetDrawBitmap();
        for (const Shown& s : shown)
        {
          if (!isText(s.control) || s.control->IsGrayed()) continue;
          ITextControl* text = static_cast<ITextControl*>(s.control);
          if (!text->GetTextForPlug() || !*text->GetTextForPlug()) continue;
          const IRECT& r = s.control->GetRECT();
          const IColor ink = s.control->GetText()->mColor;
          // The median of the four corners: one of them may be ink.
          std::vector<double> corners;
          for (int x : {r.L + 1, r.R - 2})
            for (int y : {r.T + 1, r.B - 2})
            {
              const LICE_PixelValue p = LICE_GetPixel(shot, x, y);
              corners.push_back(luminance(LICE_PixelR(p), LICE_PixelG(p), LICE_PixelB(p)));
            }
          std::sort(corners.begin(), corners.end());
          const double ratio = contrast(luminance(ink.R, ink.G, ink.B), (corners[1] + corners[2]) / 2);
          EXPECT_GE(ratio, 3.0) << "text \"" << text->GetTextForPlug() << "\" param " << s.control->ParamIdx()
                                << " at " << r.L << "," << r.T;
        }
      }
  // A layer that comes and goes carries in its own background a caption just
  // above or before each control it shows (clear of a menu's field), except
  // controls whose image is their caption.
  const std::set<int> selfCaptioned = {kPatchSearchString, kOverwriteBank, kDiscardBankData, kDelayFxTempoSync};
  for (ControlLayer* l : comeAndGo)
    for (int i = 0; i < l->controls.GetSize(); ++i)
    {
      IControl* c = l->controls.Get(i);
      if (!takesInput(c) || selfCaptioned.count(c->ParamIdx())) continue;
      const IRECT& r = c->GetRECT();
      EXPECT_TRUE(inkIn(l, IRECT(r.L - 10, r.T - 16, r.R + 10, r.T - 3)) || inkIn(l, IRECT(r.L - 90, r.T, r.L, r.B)))
          << l->name << ": no caption for param " << c->ParamIdx();
    }

  // The port fields with names as long as a device's and the mark of a missing port:
  // the text's ink stays inside its field, on the field's own fill, off the "MIDI
  // OUT" and "MIDI IN" captions; and after it a short name, drawn by a pass over the
  // dirty area as the view makes it, leaves the window as a fresh drawing does.
  std::vector<IControl*> fields;
  for (int id : {kDeviceOutSelection, kDeviceInSelection})
  {
    IParam* param = editor.plug.GetParam(id);
    param->InitEnum("Device Selection", 0, 2, "", "");
    param->SetDisplayText(0, "OFF");
    param->SetDisplayText(1, id == kDeviceInSelection ? "Rudu3@p12:MIDI In (missing)" : "Rudu3@p12:MIDI Out (missing)");
    fields.push_back(editor.action(id)->controls.at(0));
    fields.back()->Hide(true);
  }
  IRECT all(0, 0, editor.graphics.Width(), editor.graphics.Height());
  LICE_IBitmap* window = editor.graphics.GetDrawBitmap();
  editor.graphics.Draw(&all);
  LICE_MemBitmap art, redrawn;
  LICE_Copy(&art, window);
  for (IControl* f : fields)
  {
    f->Hide(false);
    editor.plug.GetParam(f->ParamIdx())->Set(1);
  }
  editor.graphics.Draw(&all);
  std::map<IControl*, std::set<LICE_PixelValue>> under;
  int strays = 0;
  for (int y = 0; y < window->getHeight(); ++y)
    for (int x = 0; x < window->getWidth(); ++x)
      if (LICE_GetPixel(window, x, y) != LICE_GetPixel(&art, x, y))
      {
        auto f = std::find_if(fields.begin(), fields.end(), [&](IControl* c) { return c->GetRECT().Contains(x, y); });
        if (f == fields.end())
          ++strays;
        else
          under[*f].insert(LICE_GetPixel(&art, x, y));
      }
  EXPECT_EQ(strays, 0);
  for (IControl* f : fields) EXPECT_EQ(under[f].size(), 1u) << "port field of param " << f->ParamIdx();
  for (IControl* f : fields)
  {
    editor.plug.GetParam(f->ParamIdx())->Set(0);
    f->SetDirty(false);
  }
  IRECT dirty;
  ASSERT_TRUE(editor.graphics.IsDirty(&dirty));
  editor.graphics.Draw(&dirty);
  LICE_Copy(&redrawn, window);
  editor.graphics.Draw(&all);
  int stale = 0;
  for (int y = 0; y < window->getHeight(); ++y)
    for (int x = 0; x < window->getWidth(); ++x) stale += LICE_GetPixel(window, x, y) != LICE_GetPixel(&redrawn, x, y);
  EXPECT_EQ(stale, 0);
}

}  // namespace

TEST(LayoutCheck, NoOverlapsEveryCaptionOverItsControlAndLegibleText)
{
  for (double scale : kEditorScales)
  {
    SCOPED_TRACE(scale);
    checkLayoutAt(scale);
  }
}

// The labels that the page artwork itself carries stay inside their panels at every
// editor size: under their ink and beside it, the page with its panels alone
// changes from one pixel to the next by no more than the top bar's gradient, so no
// panel's border, corner or title rule lies under or against a label.
TEST(LayoutCheck, ThePageArtworksOwnCaptionsStayInsideTheirPanels)
{
  std::set<std::string> pages;
  if (DIR* dir = opendir(DAVREL_TEST_CAPTION_CHECK_DIR))
  {
    while (dirent* entry = readdir(dir))
    {
      const std::string name = entry->d_name, suffix = "-captions.png";
      if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        pages.insert(name.substr(0, name.size() - suffix.size()));
    }
    closedir(dir);
  }
  // The window's artwork and a page's at least, so the check cannot pass on nothing.
  ASSERT_TRUE(pages.count("BG_ID_MAIN") && pages.count("BG_ID_EDIT")) << DAVREL_TEST_CAPTION_CHECK_DIR;

  for (const std::string& page : pages)
  {
    const std::string apart = std::string(DAVREL_TEST_CAPTION_CHECK_DIR) + "/" + page;
    std::unique_ptr<LICE_IBitmap> captions(LICE_LoadPNG((apart + "-captions.png").c_str(), nullptr));
    std::unique_ptr<LICE_IBitmap> panels(LICE_LoadPNG((apart + "-panels.png").c_str(), nullptr));
    ASSERT_TRUE(captions && panels) << apart;
    for (double scale : kEditorScales)
    {
      std::unique_ptr<LICE_IBitmap> ink = scaledAs(captions.get(), scale), art = scaledAs(panels.get(), scale);
      const int w = art->getWidth(), h = art->getHeight();
      std::set<std::pair<int, int>> crossings;  // unscaled, rounded to 20 pixels: one line a label
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
          if (LICE_PixelA(LICE_GetPixel(ink.get(), x, y)) == 0) continue;
          const LICE_PixelValue under = LICE_GetPixel(art.get(), x, y);
          for (const auto& d : {std::make_pair(1, 0), std::make_pair(-1, 0), std::make_pair(0, 1), std::make_pair(0, -1)})
          {
            const int nx = x + d.first, ny = y + d.second;
            if (nx >= 0 && ny >= 0 && nx < w && ny < h && uneven(under, LICE_GetPixel(art.get(), nx, ny)))
              crossings.insert({(int)(x / scale) / 20 * 20, (int)(y / scale) / 20 * 20});
          }
        }
      for (const auto& c : crossings)
        ADD_FAILURE() << page << " at " << scale << ": a label near " << c.first << "," << c.second
                      << " (in the unscaled image) lies on or against its panel's edge";
    }
  }
}
