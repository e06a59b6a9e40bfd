// Draws every image of the editor's image table into a folder, for both skins:
//   davrel-imagegen <uiconfig.xml> <output folder> [<check folder>]
// Shapes are drawn with per-pixel coverage in straight alpha; afterwards every
// fully transparent pixel takes its nearest opaque neighbour's colour, so bilinear
// scaling at 0.75 and 1.25 blends edges with the shape's own colour, not black.
// The page backgrounds take their section panels and control labels from the
// configuration, so the artwork follows the layout; a layer that comes and goes
// has a background of its own that carries its controls' labels instead. A label
// is kept inside the panel it lies in, clear of its border and title rule.
// With a check folder, each page image whose artwork carries labels is drawn there
// once more in two parts, for the layout check to read what lies under each label:
// NAME-panels.png the page and its panels alone, NAME-captions.png the labels alone.

#include "config/ImageTable.h"
#include "raster/cachedfont.h"
#include "raster/lice.h"
#include "raster/lice_bitmap.h"
#include "raster/lice_png.h"
#include "winsys/gdi.h"

#include <tinyxml2.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct RGB
{
  int r, g, b;
};

const double kPi = 3.14159265358979323846;

// Palette of the editor.
const RGB kPage = {44, 48, 54};
const RGB kPanel = {54, 59, 66};
const RGB kPanelEdge = {86, 93, 102};
const RGB kTitle = {255, 173, 0};
const RGB kLabel = {206, 211, 217};
const RGB kField = {22, 24, 28};
const RGB kOrange = {255, 150, 20};
const RGB kPink = {255, 64, 150};
const RGB kBlue = {0, 174, 255};
const RGB kKnobBody = {62, 66, 74};
const RGB kTrack = {34, 37, 42};

using Bitmap = std::unique_ptr<LICE_MemBitmap>;

Bitmap newBitmap(int w, int h)
{
  Bitmap b(new LICE_MemBitmap(w, h));
  LICE_Clear(b.get(), LICE_MakePixel(0, 0, 0, 0));
  return b;
}

// Straight-alpha "over" of one colour with the given opacity.
void blendPixel(LICE_IBitmap* bmp, int x, int y, RGB c, double a)
{
  if (a <= 0.0 || x < 0 || y < 0 || x >= bmp->getWidth() || y >= bmp->getHeight()) return;
  if (a > 1.0) a = 1.0;
  LICE_PixelValue* p = bmp->getBits() + (size_t)y * bmp->getRowSpan() + x;
  const double da = LICE_PixelA(*p) / 255.0;
  const double oa = a + da * (1.0 - a);
  auto mix = [&](int s, int d) { return (int)std::lround((s * a + d * da * (1.0 - a)) / oa); };
  *p = LICE_MakePixel(mix(c.r, LICE_PixelR(*p)), mix(c.g, LICE_PixelG(*p)), mix(c.b, LICE_PixelB(*p)),
                      (int)std::lround(oa * 255.0));
}

void fillRect(LICE_IBitmap* bmp, int x, int y, int w, int h, RGB c, double a = 1.0)
{
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) blendPixel(bmp, i, j, c, a);
}

// Vertical gradient from top to bottom colour.
void gradientRect(LICE_IBitmap* bmp, int x, int y, int w, int h, RGB top, RGB bottom)
{
  for (int j = 0; j < h; ++j)
  {
    const double t = h > 1 ? (double)j / (h - 1) : 0.0;
    const RGB c = {(int)(top.r + (bottom.r - top.r) * t), (int)(top.g + (bottom.g - top.g) * t),
                   (int)(top.b + (bottom.b - top.b) * t)};
    fillRect(bmp, x, y + j, w, 1, c);
  }
}

// Coverage of a pixel by a shape given by its signed distance (negative inside).
double coverage(double distance) { return std::clamp(0.5 - distance, 0.0, 1.0); }

double roundRectDistance(double px, double py, double x, double y, double w, double h, double r)
{
  const double cx = std::clamp(px, x + r, x + w - r), cy = std::clamp(py, y + r, y + h - r);
  const double dx = px - cx, dy = py - cy;
  return std::sqrt(dx * dx + dy * dy) - r;
}

void fillRoundRect(LICE_IBitmap* bmp, double x, double y, double w, double h, double r, RGB c, double a = 1.0)
{
  for (int j = (int)y - 1; j <= (int)(y + h) + 1; ++j)
    for (int i = (int)x - 1; i <= (int)(x + w) + 1; ++i)
      blendPixel(bmp, i, j, c, a * coverage(roundRectDistance(i + 0.5, j + 0.5, x, y, w, h, r)));
}

void strokeRoundRect(LICE_IBitmap* bmp, double x, double y, double w, double h, double r, RGB c, double width = 1.0)
{
  for (int j = (int)y - 2; j <= (int)(y + h) + 2; ++j)
    for (int i = (int)x - 2; i <= (int)(x + w) + 2; ++i)
    {
      const double d = roundRectDistance(i + 0.5, j + 0.5, x, y, w, h, r);
      blendPixel(bmp, i, j, c, coverage(std::fabs(d + width / 2) - width / 2));
    }
}

void fillCircle(LICE_IBitmap* bmp, double cx, double cy, double r, RGB c, double a = 1.0)
{
  for (int j = (int)(cy - r) - 1; j <= (int)(cy + r) + 1; ++j)
    for (int i = (int)(cx - r) - 1; i <= (int)(cx + r) + 1; ++i)
    {
      const double dx = i + 0.5 - cx, dy = j + 0.5 - cy;
      blendPixel(bmp, i, j, c, a * coverage(std::sqrt(dx * dx + dy * dy) - r));
    }
}

// A circle lit from above: lighter at the top, darker at the bottom.
void fillLitCircle(LICE_IBitmap* bmp, double cx, double cy, double r, RGB top, RGB bottom)
{
  for (int j = (int)(cy - r) - 1; j <= (int)(cy + r) + 1; ++j)
    for (int i = (int)(cx - r) - 1; i <= (int)(cx + r) + 1; ++i)
    {
      const double dx = i + 0.5 - cx, dy = j + 0.5 - cy;
      const double t = std::clamp((dy + r) / (2 * r), 0.0, 1.0);
      const RGB c = {(int)(top.r + (bottom.r - top.r) * t), (int)(top.g + (bottom.g - top.g) * t),
                     (int)(top.b + (bottom.b - top.b) * t)};
      blendPixel(bmp, i, j, c, coverage(std::sqrt(dx * dx + dy * dy) - r));
    }
}

// A ring between two radii over an angle range (radians, 0 up, clockwise).
void ring(LICE_IBitmap* bmp, double cx, double cy, double r0, double r1, double a0, double a1, RGB c)
{
  for (int j = (int)(cy - r1) - 1; j <= (int)(cy + r1) + 1; ++j)
    for (int i = (int)(cx - r1) - 1; i <= (int)(cx + r1) + 1; ++i)
    {
      const double dx = i + 0.5 - cx, dy = j + 0.5 - cy;
      const double d = std::sqrt(dx * dx + dy * dy);
      const double radial = coverage(std::max(r0 - d, d - r1));
      if (radial <= 0) continue;
      const double angle = std::atan2(dx, -dy);
      // Soft ends a pixel wide, measured along the arc.
      const double along = std::min(angle - a0, a1 - angle) * d;
      blendPixel(bmp, i, j, c, radial * std::clamp(along + 0.5, 0.0, 1.0));
    }
}

// A line of the given width with round ends.
void capsule(LICE_IBitmap* bmp, double x0, double y0, double x1, double y1, double width, RGB c)
{
  const double minx = std::min(x0, x1) - width, maxx = std::max(x0, x1) + width;
  const double miny = std::min(y0, y1) - width, maxy = std::max(y0, y1) + width;
  const double vx = x1 - x0, vy = y1 - y0, len2 = vx * vx + vy * vy;
  for (int j = (int)miny; j <= (int)maxy; ++j)
    for (int i = (int)minx; i <= (int)maxx; ++i)
    {
      const double px = i + 0.5 - x0, py = j + 0.5 - y0;
      const double t = len2 > 0 ? std::clamp((px * vx + py * vy) / len2, 0.0, 1.0) : 0.0;
      const double dx = px - t * vx, dy = py - t * vy;
      blendPixel(bmp, i, j, c, coverage(std::sqrt(dx * dx + dy * dy) - width / 2));
    }
}

// ---- text ----

struct Font
{
  Font(int size, bool bold)
  {
    font.SetFromHFont(CreateFont(size, 0, 0, 0, bold ? 700 : 400, 0, 0, 0, 0, 0, 0, ANTIALIASED_QUALITY, 0,
                                 "DejaVu Sans"),
                      LICE_FONT_OWNSFONT);
    font.SetBkMode(0);
  }
  void draw(LICE_IBitmap* bmp, const std::string& text, int x, int y, int w, int h, RGB c, unsigned int align)
  {
    font.SetTextColor(LICE_MakePixel(c.r, c.g, c.b, 255));
    RECT r = {x, y, x + w, y + h};
    font.DrawText(bmp, text.c_str(), -1, &r, align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  }
  // The same text for a bitmap that is transparent under it: the font blends its
  // ink into the pixel's alpha as into a colour, which would darken the glyphs'
  // edges a second time when the bitmap is laid over a page. The glyphs' coverage
  // is taken from white drawn on black and laid on with a straight-alpha "over".
  void drawOver(LICE_IBitmap* bmp, const std::string& text, int x, int y, int w, int h, RGB c, unsigned int align);
  // The box of the pixels the text covers (right and bottom exclusive); empty,
  // with left above right, for a text without ink.
  RECT ink(const std::string& text, int x, int y, int w, int h, unsigned int align);
  LICE_CachedFont font;
};

// The glyphs' coverage, white on black, in a mask around the box: it holds the box
// and the text's own size on every side, wherever the alignment puts the text.
struct TextMask
{
  TextMask(Font& f, const std::string& text, int x, int y, int w, int h, unsigned int align)
  {
    RECT r = {0, 0, 0, 0};
    f.font.DrawText(nullptr, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    mx = r.right + 2;
    my = h + 2;
    left = x - mx;
    top = y - my;
    mask.reset(new LICE_MemBitmap(w + 2 * mx, h + 2 * my));
    LICE_Clear(mask.get(), LICE_MakePixel(0, 0, 0, 255));
    f.draw(mask.get(), text, mx, my, w, h, {255, 255, 255}, align);
  }
  double coverage(int i, int j) const
  {
    return LICE_PixelR(mask->getBits()[(size_t)j * mask->getRowSpan() + i]) / 255.0;
  }
  std::unique_ptr<LICE_MemBitmap> mask;
  int mx, my, left, top;  // the mask's margins, and its place in the caller's coordinates
};

void Font::drawOver(LICE_IBitmap* bmp, const std::string& text, int x, int y, int w, int h, RGB c, unsigned int align)
{
  const TextMask m(*this, text, x, y, w, h, align);
  for (int j = 0; j < m.mask->getHeight(); ++j)
    for (int i = 0; i < m.mask->getWidth(); ++i) blendPixel(bmp, m.left + i, m.top + j, c, m.coverage(i, j));
}

RECT Font::ink(const std::string& text, int x, int y, int w, int h, unsigned int align)
{
  const TextMask m(*this, text, x, y, w, h, align);
  RECT r = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int j = 0; j < m.mask->getHeight(); ++j)
    for (int i = 0; i < m.mask->getWidth(); ++i)
      if (m.coverage(i, j) > 0)
      {
        r.left = std::min(r.left, m.left + i), r.top = std::min(r.top, m.top + j);
        r.right = std::max(r.right, m.left + i + 1), r.bottom = std::max(r.bottom, m.top + j + 1);
      }
  return r;
}

Font& labelFont()
{
  static Font f(11, false);
  return f;
}
// The grid's slot numbers: three digits fit the gutter with room on both sides.
Font& numberFont()
{
  static Font f(10, false);
  return f;
}
Font& titleFont()
{
  static Font f(12, true);
  return f;
}
Font& bigFont()
{
  static Font f(22, true);
  return f;
}

// ---- edges ----

// Every pixel with alpha 0 takes the colour of an opaque neighbour, spreading
// outwards ring by ring until all have one.
void bleedColours(LICE_IBitmap* bmp)
{
  const int w = bmp->getWidth(), h = bmp->getHeight(), span = bmp->getRowSpan();
  LICE_PixelValue* bits = bmp->getBits();
  std::vector<char> known((size_t)w * h, 0);
  std::vector<int> frontier;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (LICE_PixelA(bits[(size_t)y * span + x]) > 0)
      {
        known[(size_t)y * w + x] = 1;
        frontier.push_back(y * w + x);
      }
  if (frontier.empty()) return;
  while (!frontier.empty())
  {
    std::vector<int> next;
    for (int idx : frontier)
    {
      const int x = idx % w, y = idx / w;
      const LICE_PixelValue src = bits[(size_t)y * span + x];
      static const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
      for (int k = 0; k < 4; ++k)
      {
        const int nx = x + dx[k], ny = y + dy[k];
        if (nx < 0 || ny < 0 || nx >= w || ny >= h || known[(size_t)ny * w + nx]) continue;
        known[(size_t)ny * w + nx] = 1;
        bits[(size_t)ny * span + nx] = LICE_MakePixel(LICE_PixelR(src), LICE_PixelG(src), LICE_PixelB(src), 0);
        next.push_back(ny * w + nx);
      }
    }
    frontier.swap(next);
  }
}

// ---- controls ----

// One knob frame: a dark track over 270 degrees, the value arc from the minimum,
// a lit body and a pointer.
void drawKnob(LICE_IBitmap* bmp, int top, int size, double value)
{
  const double c = size / 2.0, cy = top + size / 2.0;
  const double outer = size * 0.47, inner = size * 0.38;
  const double a0 = -0.75 * kPi, a1 = 0.75 * kPi, av = a0 + (a1 - a0) * value;
  ring(bmp, c, cy, inner, outer, a0, a1, kTrack);
  if (value > 0) ring(bmp, c, cy, inner, outer, a0, av, kOrange);
  fillLitCircle(bmp, c, cy, size * 0.33, {96, 101, 110}, {44, 47, 53});
  fillCircle(bmp, c, cy, size * 0.27, kKnobBody);
  const double r0 = size * 0.08, r1 = size * 0.30;
  capsule(bmp, c + std::sin(av) * r0, cy - std::cos(av) * r0, c + std::sin(av) * r1, cy - std::cos(av) * r1,
          std::max(2.0, size * 0.06), {245, 245, 245});
}

Bitmap knobStrip(int frames, int size)
{
  Bitmap b = newBitmap(size, size * frames);
  for (int i = 0; i < frames; ++i) drawKnob(b.get(), i * size, size, frames > 1 ? (double)i / (frames - 1) : 0.0);
  return b;
}

// A button of two frames stacked: off, then on, with a light strip in the colour.
Bitmap ledButton(int w, int h, RGB led, const std::string& text = "")
{
  Bitmap b = newBitmap(w, h * 2);
  for (int f = 0; f < 2; ++f)
  {
    const int y = f * h;
    fillRoundRect(b.get(), 0.5, y + 0.5, w - 1, h - 1, 3, {30, 32, 36});
    fillRoundRect(b.get(), 1.5, y + 1.5, w - 3, h - 3, 2.5, f ? RGB{70, 74, 82} : RGB{58, 62, 69});
    const RGB lit = f ? led : RGB{led.r / 4 + 20, led.g / 4 + 20, led.b / 4 + 20};
    if (text.empty())
      fillRoundRect(b.get(), w * 0.25, y + h * 0.4, w * 0.5, std::max(3.0, h * 0.2), 1.5, lit);
    else
      titleFont().draw(b.get(), text, 0, y, w, h, f ? led : kLabel, DT_CENTER);
  }
  return b;
}

// A plain button of one frame with its text.
Bitmap textButton(int w, int h, const std::string& text, RGB ink = kLabel)
{
  Bitmap b = newBitmap(w, h);
  fillRoundRect(b.get(), 0.5, 0.5, w - 1, h - 1, 3, {30, 32, 36});
  fillRoundRect(b.get(), 1.5, 1.5, w - 3, h - 3, 2.5, {66, 70, 78});
  if (!text.empty()) titleFont().draw(b.get(), text, 0, 0, w, h, ink, DT_CENTER);
  return b;
}

void drawPadlock(LICE_IBitmap* bmp, int y, int s, RGB c)
{
  ring(bmp, s / 2.0, y + s * 0.42, s * 0.17, s * 0.28, -kPi / 2, kPi / 2, c);
  fillRoundRect(bmp, s * 0.18, y + s * 0.42, s * 0.64, s * 0.46, 1.5, c);
}

Bitmap lockButton(int s, RGB off, RGB on)
{
  Bitmap b = newBitmap(s, s * 2);
  drawPadlock(b.get(), 0, s, off);
  drawPadlock(b.get(), s, s, on);
  return b;
}

Bitmap checkbox(int s)
{
  Bitmap b = newBitmap(s, s * 2);
  for (int f = 0; f < 2; ++f)
  {
    fillRoundRect(b.get(), 0.5, f * s + 0.5, s - 1, s - 1, 2, {22, 24, 28});
    strokeRoundRect(b.get(), 0.5, f * s + 0.5, s - 1, s - 1, 2, kPanelEdge);
    if (f)
    {
      capsule(b.get(), s * 0.25, s + s * 0.5, s * 0.43, s + s * 0.7, 2.2, kOrange);
      capsule(b.get(), s * 0.43, s + s * 0.7, s * 0.77, s + s * 0.28, 2.2, kOrange);
    }
  }
  return b;
}

Bitmap led(int s, RGB on)
{
  Bitmap b = newBitmap(s, s * 2);
  fillCircle(b.get(), s / 2.0, s / 2.0, s * 0.42, {40, 44, 40});
  fillCircle(b.get(), s / 2.0, s + s / 2.0, s * 0.42, on);
  fillCircle(b.get(), s / 2.0 - s * 0.12, s + s * 0.38, s * 0.12, {255, 255, 255}, 0.5);
  return b;
}

// The timbre selector: two buttons side by side, frames off, on and pressed.
Bitmap timbreSelector(int bw, int h)
{
  Bitmap b = newBitmap(bw * 2, h * 3);
  for (int f = 0; f < 3; ++f)
    for (int i = 0; i < 2; ++i)
    {
      const double x = i * bw + 1.5, y = f * h + 1.5;
      fillRoundRect(b.get(), x, y, bw - 3, h - 3, 3, f == 1 ? RGB{96, 70, 30} : RGB{58, 62, 69});
      labelFont().draw(b.get(), std::string("TIMBRE ") + (i ? "2" : "1"), i * bw, f * h, bw, h,
                       f == 1 ? kTitle : kLabel, DT_CENTER);
    }
  return b;
}

Bitmap linker(int w, int h)
{
  Bitmap b = newBitmap(w, h * 2);
  for (int f = 0; f < 2; ++f)
  {
    const RGB c = f ? kOrange : RGB{120, 126, 134};
    const double y = f * h + h / 2.0;
    ring(b.get(), w * 0.36, y, h * 0.22, h * 0.34, -kPi, kPi, c);
    ring(b.get(), w * 0.64, y, h * 0.22, h * 0.34, -kPi, kPi, c);
  }
  return b;
}

// ---- backgrounds ----

Bitmap mainBackground(bool black)
{
  const RGB top = black ? RGB{14, 14, 16} : RGB{36, 40, 46};
  const RGB bottom = black ? RGB{6, 6, 7} : RGB{26, 29, 34};
  Bitmap b = newBitmap(1500, 667);
  gradientRect(b.get(), 0, 0, 1500, 667, top, bottom);
  gradientRect(b.get(), 0, 0, 1500, 68, black ? RGB{24, 24, 27} : RGB{58, 63, 71}, black ? RGB{12, 12, 14} : RGB{40, 44, 50});
  fillRect(b.get(), 0, 68, 1500, 1, black ? RGB{40, 40, 44} : kPanelEdge);
  fillRect(b.get(), 0, 602, 1500, 1, black ? RGB{40, 40, 44} : kPanelEdge);
  bigFont().draw(b.get(), "DAVREL", 1300, 600, 190, 50, kTitle, DT_RIGHT);
  return b;
}

Bitmap panelBackground(int w, int h, RGB fill, const std::string& title = "",
                       const std::vector<std::string>& body = {})
{
  Bitmap b = newBitmap(w, h);
  fillRoundRect(b.get(), 0.5, 0.5, w - 1, h - 1, 6, fill);
  strokeRoundRect(b.get(), 0.5, 0.5, w - 1, h - 1, 6, kPanelEdge);
  if (!title.empty()) bigFont().draw(b.get(), title, 0, 8, w, 34, kTitle, DT_CENTER);
  // The panel's text, a line each, below the title.
  for (size_t i = 0; i < body.size(); ++i)
    titleFont().draw(b.get(), body[i], 30, 70 + (int)i * 28, w - 60, 20, kLabel, DT_CENTER);
  return b;
}

Bitmap display()
{
  Bitmap b = newBitmap(400, 58);
  fillRoundRect(b.get(), 0.5, 0.5, 399, 57, 5, {20, 22, 25});
  gradientRect(b.get(), 4, 3, 392, 52, {176, 196, 186}, {150, 172, 162});
  return b;
}

// The grid's cells where the grid control puts its slots: 8 columns of 16 rows a
// bank, 97 x 16 cells, a 30-pixel gutter (with the program numbers) before each
// column, the upper bank from row 1, the lower from row 303; the band between them
// holds the lower bank's chooser.
const int kGridW = 1046, kGridH = 562;
Bitmap librarianGrid()
{
  Bitmap b = newBitmap(kGridW, kGridH);
  fillRect(b.get(), 0, 0, kGridW, kGridH, kField);
  for (int bank = 0; bank < 2; ++bank)
  {
    const int top = bank ? 303 : 1;
    for (int col = 0; col < 8; ++col)
      for (int row = 0; row < 16; ++row)
      {
        const int x = 30 + col * 127, y = top + row * 16;
        fillRect(b.get(), x, y, 97, 16, (row + col) % 2 ? RGB{36, 40, 46} : RGB{46, 50, 58});
        // The numbers end 6 pixels before the cell: at 0.75 the grid's columns step 95
        // pixels against the artwork's 95.25, so the last columns' names start up to 2
        // pixels left of their cells, and a gap must remain there too.
        numberFont().draw(b.get(), std::to_string(col * 16 + row + 1), x - 30, y, 24, 16, {120, 126, 134},
                         DT_RIGHT);
      }
  }
  fillRect(b.get(), 0, 290, kGridW, 1, kPanelEdge);
  return b;
}

Bitmap overlay()
{
  Bitmap b = newBitmap(1500, 667);
  fillRect(b.get(), 0, 0, 1500, 667, {10, 11, 13}, 0.72);
  // The box holds the title, the progress line the editor draws (530,298 - 1030,330)
  // and the cancel button (860,340, 160 x 28).
  fillRoundRect(b.get(), 520, 240, 520, 144, 8, kPanel);
  strokeRoundRect(b.get(), 520, 240, 520, 144, 8, kPanelEdge);
  bigFont().draw(b.get(), "TRANSFERRING DATA...", 520, 252, 520, 40, kTitle, DT_CENTER);
  return b;
}

// ---- labels from the configuration ----

struct Page
{
  std::string image;
  int x = 0, y = 0;
  // A layer's own background: transparent but for its captions, shown and hidden
  // with the layer.
  bool own = false;
  std::string layer;
  std::string art;  // the image whose panels lie under the labels: this one, or the page's under a layer's own
};

// A layer's own background is drawn on a canvas of the window's size plus this
// margin on the left and at the top, where no ink may fall: it would lie before
// the background's position. The canvas is cut to its ink afterwards.
const int kCanvasMargin = 64;

// The row of a section panel's rule under its title.
const int kTitleRule = 22;

// Clear pixels between a label's ink and its panel's border or title rule: the
// editor's scaling blurs each by a pixel.
const int kPanelClearance = 2;

class Labeller
{
public:
  // Layer canvases: the images of layers' own backgrounds, drawn with a margin.
  // Captions apart: the labels of the other images go there, into an image of the
  // same size each, instead of onto the page, and the controls' fields are left
  // out: what stays is the page and its panels.
  Labeller(std::map<std::string, Bitmap>& images, std::map<std::string, int>& frameWidths,
           std::set<std::string> layerCanvases = {}, std::map<std::string, Bitmap>* captionsApart = nullptr)
    : mImages(images), mFrameWidths(frameWidths), mLayerCanvases(std::move(layerCanvases)),
      mCaptionsApart(captionsApart)
  {
  }

  // Whatever went wrong: a layer canvas drawn differently by two layers.
  const std::vector<std::string>& problems() const { return mProblems; }

  void walk(const tinyxml2::XMLElement* parent, Page page)
  {
    // A layer with a background of its own carries its controls' captions in it,
    // so that they come and go with the layer; the page's artwork cannot.
    if (const tinyxml2::XMLElement* bg = parent->FirstChildElement("background"))
    {
      page.image = attr(bg, "imageId");
      const std::vector<int> p = numbers(bg, "position");
      page.x = p.size() > 0 ? p[0] : 0;
      page.y = p.size() > 1 ? p[1] : 0;
      page.own = mLayerCanvases.count(page.image) > 0;
      if (!page.own) page.art = page.image;
      if (page.own)
      {
        page.x -= kCanvasMargin;
        page.y -= kCanvasMargin;
        page.layer = attr(parent, "name");
        mCanvasOwner.emplace(page.image, page.layer);
      }
    }
    for (const tinyxml2::XMLNode* n = parent->FirstChild(); n; n = n->NextSibling())
    {
      if (const tinyxml2::XMLComment* c = n->ToComment())
      {
        fromComment(c->Value(), page);
        continue;
      }
      const tinyxml2::XMLElement* e = n->ToElement();
      if (!e) continue;
      const std::string name = e->Name();
      if (name == "valueLists" || name == "background") continue;
      if (name.find("layer") != std::string::npos)
        walk(e, page);
      else
        label(e, page);
    }
  }

private:
  static std::string attr(const tinyxml2::XMLElement* e, const char* a)
  {
    const char* t = e->Attribute(a);
    return t ? t : "";
  }
  static std::vector<int> numbers(const tinyxml2::XMLElement* e, const char* a)
  {
    std::vector<int> v;
    std::stringstream in(attr(e, a));
    std::string piece;
    while (std::getline(in, piece, ',')) v.push_back(atoi(piece.c_str()));
    return v;
  }

  LICE_IBitmap* canvas(const Page& page)
  {
    auto it = mImages.find(page.image);
    return it == mImages.end() ? nullptr : it->second.get();
  }

  // Whether the drawing is new to the page's image. Layers that share a canvas
  // (the same section of either LFO, say) must draw the same into it.
  bool once(const Page& page, const std::string& what, int x, int y)
  {
    const bool fresh =
        mDrawn.insert(page.image + "|" + what + "|" + std::to_string(x) + "," + std::to_string(y)).second;
    if (fresh && page.own && mCanvasOwner[page.image] != page.layer)
      mProblems.push_back("layers " + mCanvasOwner[page.image] + " and " + page.layer + " draw " + page.image +
                          " differently (" + what + ")");
    return fresh;
  }

  void text(LICE_IBitmap* bmp, const Page& page, const std::string& t, int x, int y, int w, int h,
            unsigned int align)
  {
    const std::pair<int, int> shift = intoPanel(bmp, page, t, x, y, w, h, align);
    x += shift.first;
    y += shift.second;
    if (page.own)
      labelFont().drawOver(bmp, t, x, y, w, h, kLabel, align);
    else if (mCaptionsApart)
    {
      Bitmap& apart = (*mCaptionsApart)[page.image];
      if (!apart) apart = newBitmap(bmp->getWidth(), bmp->getHeight());
      labelFont().drawOver(apart.get(), t, x, y, w, h, kLabel, align);
    }
    else
      labelFont().draw(bmp, t, x, y, w, h, kLabel, align);
  }

  // The shift that keeps a label's ink inside the panel its middle lies in, clear
  // of the panel's border and title rule; a label in no panel keeps inside its
  // image likewise (a layer's panel of its own). A label that cannot fit stays.
  std::pair<int, int> intoPanel(LICE_IBitmap* bmp, const Page& page, const std::string& t, int x, int y, int w,
                                int h, unsigned int align)
  {
    RECT ink = labelFont().ink(t, x, y, w, h, align);
    if (ink.left >= ink.right) return {0, 0};
    ink.left += page.x, ink.right += page.x, ink.top += page.y, ink.bottom += page.y;
    const int midX = (ink.left + ink.right) / 2, midY = (ink.top + ink.bottom) / 2;
    // The pixels the border takes: two half-covered ones at each edge, and the rule.
    RECT inside = {0, 0, 0, 0};
    for (const Panel& p : mPanels)
      if (p.art == page.art && midX >= p.x && midX < p.x + p.w && midY >= p.y && midY < p.y + p.h)
      {
        inside = {p.x + 2, p.y + kTitleRule + 1, p.x + p.w - 2, p.y + p.h - 2};
        break;
      }
    if (inside.right == 0)
    {
      if (page.own) return {0, 0};
      inside = {page.x + 2, page.y + 2, page.x + bmp->getWidth() - 2, page.y + bmp->getHeight() - 2};
    }
    inside.left += kPanelClearance, inside.top += kPanelClearance;
    inside.right -= kPanelClearance, inside.bottom -= kPanelClearance;
    auto into = [](int lo, int hi, int from, int to) {
      if (to - from > hi - lo) return 0;
      return from < lo ? lo - from : to > hi ? hi - to : 0;
    };
    return {into(inside.left, inside.right, ink.left, ink.right), into(inside.top, inside.bottom, ink.top, ink.bottom)};
  }

  // Comments that draw: a section panel, or a caption of a control the editor
  // makes itself ("caption", its text and the box it is centred in).
  void fromComment(const std::string& comment, const Page& page)
  {
    char title[64];
    int x, y, w, h;
    if (sscanf(comment.c_str(), " caption \"%63[^\"]\" %d,%d,%d,%d", title, &x, &y, &w, &h) == 5)
    {
      LICE_IBitmap* bmp = canvas(page);
      if (bmp && once(page, std::string("caption ") + title, x, y))
        text(bmp, page, title, x - page.x, y - page.y, w, h, DT_CENTER);
      return;
    }
    if (sscanf(comment.c_str(), " panel \"%63[^\"]\" %d,%d,%d,%d", title, &x, &y, &w, &h) != 5) return;
    mPanels.push_back({page.art, x, y, w, h});
    LICE_IBitmap* bmp = canvas(page);
    if (!bmp || !once(page, std::string("panel ") + title, x, y)) return;
    x -= page.x;
    y -= page.y;
    fillRoundRect(bmp, x + 0.5, y + 0.5, w - 1, h - 1, 5, kPanel);
    strokeRoundRect(bmp, x + 0.5, y + 0.5, w - 1, h - 1, 5, kPanelEdge);
    fillRect(bmp, x + 8, y + kTitleRule, w - 16, 1, kPanelEdge);
    titleFont().draw(bmp, title, x + 10, y + 4, w - 40, 18, kTitle, 0);
  }

  void label(const tinyxml2::XMLElement* e, const Page& page)
  {
    LICE_IBitmap* bmp = canvas(page);
    if (!bmp) return;
    const std::string element = e->Name(), type = attr(e, "type"), name = attr(e, "name");
    std::vector<int> p = numbers(e, element == "dropMenu" || element == "display" ? "bounds" : "position");
    if (p.size() < 2) return;
    const int x = p[0] - page.x, y = p[1] - page.y;
    if (!once(page, element + name + type, x, y)) return;
    const int fw = mFrameWidths.count(attr(e, "imageId")) ? mFrameWidths[attr(e, "imageId")] : 40;
    if (element == "display")
    {
      // Step texts sit on a dark field; the central lines have the display's glass.
      if (p.size() >= 4 && page.image != "BG_ID_MAIN" && !mCaptionsApart)
        fillRoundRect(bmp, x + 0.5, y + 0.5, p[2] - 1, p[3] - 1, 3, kField);
      return;
    }
    if (element == "menucontrol" || (element == "dropMenu" && type != "deviceSelection") ||
        (element == "multiFx" && type == "Menu"))
    {
      const int w = p.size() >= 3 ? p[2] : 60;
      const int h = element == "dropMenu" && p.size() >= 4 ? p[3] : 13;
      // The program name is written in the display's dark ink: its field is the display's glass.
      const bool glass = attr(e, "paramId") == "kPatchName";
      if (!mCaptionsApart)
      {
        fillRoundRect(bmp, x - 2.5, y - 1.5, w + 5, h + 3, 3, glass ? RGB{168, 188, 178} : kField);
        strokeRoundRect(bmp, x - 2.5, y - 1.5, w + 5, h + 3, 3, {70, 76, 84});
      }
      if (!name.empty() && type != "nameSelection")
        text(bmp, page, name, x - 2, y - 16, w + 40, 13, 0);
      return;
    }
    if (element == "dropMenu")  // the port menus
    {
      const int w = p.size() >= 3 ? p[2] : 100, h = p.size() >= 4 ? p[3] : 15;
      if (!mCaptionsApart) fillRoundRect(bmp, x - 2.5, y - 1.5, w + 5, h + 3, 3, kField);
      text(bmp, page, numbers(e, "inputDev").front() == 1 ? "MIDI IN" : "MIDI OUT", x - 64, y, 58, h, DT_RIGHT);
      return;
    }
    if (element == "slidercontrol")
    {
      const int length = atoi(attr(e, "length").c_str());
      const bool horizontal = type.find("Hor") != std::string::npos;
      if (!mCaptionsApart)
      {
        if (horizontal)
          fillRoundRect(bmp, x + 0.5, y + 7.5, length - 1, 4, 2, kField);
        else
          fillRoundRect(bmp, x + 7.5, y + 0.5, 4, length - 1, 2, kField);
      }
      text(bmp, page, name, x - 90, y, 84, 18, DT_RIGHT);
      return;
    }
    // Buttons whose image carries its own word need no label.
    static const std::set<std::string> kWorded = {
      "BUTTON_SYNC_ID", "BUTTON_LIB_LOAD_TO_T1_ID", "BUTTON_LIB_LOAD_TO_T2_ID", "BUTTON_LIB_DATATYPE_ID",
      "BUTTON_BANK_RECALL_ID", "BUTTON_LIB_LOAD_TO_ID", "BUTTON_BANK_SEARCH_ID", "BUTTON_LIB_DISCARD_ID",
      "BUTTON_BANK_OVERWRITE_ID", "BTN_RELEASE_ALL_LOCKS", "BTN_SEE_ABOUT_ID", "BTN_EXIT_ABOUT_ID",
      "BTN_EXIT_FIRST_RUN_ID", "LAYER_LED_SET_ID", "BUTTON_LIB_CANCEL_ID", "BTN_ID_TIMBRE_LINKER"};
    if (name.empty() || name == "Lock" || (element == "multiFx" && type == "Switch") || kWorded.count(attr(e, "imageId")))
      return;
    text(bmp, page, name, x + fw / 2 - 50, y - 15, 100, 13, DT_CENTER);
  }

  std::map<std::string, Bitmap>& mImages;
  std::map<std::string, int>& mFrameWidths;
  std::set<std::string> mLayerCanvases;
  std::map<std::string, Bitmap>* mCaptionsApart;
  struct Panel
  {
    std::string art;
    int x, y, w, h;  // in the editor's coordinates
  };
  std::vector<Panel> mPanels;
  std::map<std::string, std::string> mCanvasOwner;  // the first layer that drew each canvas
  std::set<std::string> mDrawn;
  std::vector<std::string> mProblems;
};

// Cuts a layer canvas to its ink, from the background's position on; false when
// it has no ink or ink lies before the position.
bool cutLayerCanvas(Bitmap& canvas)
{
  LICE_IBitmap* b = canvas.get();
  int minX = b->getWidth(), minY = b->getHeight(), maxX = -1, maxY = -1;
  for (int y = 0; y < b->getHeight(); ++y)
    for (int x = 0; x < b->getWidth(); ++x)
      if (LICE_PixelA(b->getBits()[(size_t)y * b->getRowSpan() + x]) > 0)
      {
        minX = std::min(minX, x), minY = std::min(minY, y);
        maxX = std::max(maxX, x), maxY = std::max(maxY, y);
      }
  if (maxX < 0 || minX < kCanvasMargin || minY < kCanvasMargin) return false;
  Bitmap cut = newBitmap(maxX + 1 - kCanvasMargin, maxY + 1 - kCanvasMargin);
  LICE_Blit(cut.get(), canvas.get(), 0, 0, kCanvasMargin, kCanvasMargin, cut->getWidth(), cut->getHeight(), 1.0f,
            LICE_MODE_COPY);
  canvas = std::move(cut);
  return true;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 3 && argc != 4)
  {
    fprintf(stderr, "usage: davrel-imagegen <uiconfig.xml> <output folder> [<check folder>]\n");
    return 2;
  }
  const std::string outDir = argv[2], checkDir = argc == 4 ? argv[3] : "";

  std::map<std::string, Bitmap> images;
  std::map<std::string, int> frameWidths;
  auto knob = [&](const char* name, int frames, int size) {
    images[name] = knobStrip(frames, size);
    frameWidths[name] = size;
  };
  knob("KNOB_ID25", 25, 44);
  knob("KNOB_ID49", 49, 44);
  knob("KNOB_ID64", 64, 44);
  knob("KNOB_ID101", 101, 44);
  knob("KNOB_ID127", 127, 44);
  knob("KNOB_ID127_SM", 127, 32);
  knob("KNOB_ID29_SM", 29, 32);
  knob("KNOB_ID201", 201, 44);
  knob("KNOB_ID280", 280, 44);

  auto add = [&](const char* name, Bitmap b) {
    frameWidths[name] = b->getWidth();
    images[name] = std::move(b);
  };
  add("BUTTON_BLCK_ID", ledButton(40, 18, kOrange));
  add("BUTTON_PINK_ID", ledButton(40, 18, kPink));
  add("BUTTON_BLCK_10_ID", ledButton(30, 14, kOrange));
  add("BUTTON_SYNC_ID", ledButton(40, 18, kBlue, "SYNC"));
  add("BUTTON_SYNC_SML_ID", ledButton(30, 14, kBlue));
  add("BUTTON_LOCK_WHITE_ID", lockButton(16, {110, 116, 124}, {240, 240, 240}));
  add("BUTTON_ID_SETTING_LOCK", lockButton(16, {96, 102, 110}, kOrange));
  add("BUTTON_LIB_LOAD_TO_T1_ID", ledButton(70, 28, kOrange, "TO T1"));
  add("BUTTON_LIB_LOAD_TO_T2_ID", ledButton(70, 28, kOrange, "TO T2"));
  add("BUTTON_LIB_DATATYPE_ID", ledButton(120, 24, kOrange, "PROGRAMS"));
  add("BUTTON_BANK_RECALL_ID", ledButton(120, 24, kOrange, "KEEP BANK"));
  add("BUTTON_LIB_LOAD_TO_ID", ledButton(150, 36, kOrange, "SEND TO RUDU"));
  add("BUTTON_BANK_SEARCH_ID", ledButton(40, 20, kOrange, "FIND"));
  add("BTN_CHECKBOX_ID", checkbox(16));
  add("LED_MIXER_MIDI_ID", led(12, {80, 240, 110}));
  add("BTN_ID_TIMBRE_LINKER", linker(30, 18));
  add("LAYER_LED_SET_ID", timbreSelector(64, 24));
  add("BTN_18x18_ID", textButton(18, 18, ""));
  add("BTN_127x18_ID", textButton(127, 18, ""));
  add("BUTTON_LIB_DISCARD_ID", textButton(120, 24, "DISCARD"));
  add("BUTTON_LIB_CANCEL_ID", textButton(160, 28, "CANCEL REQUEST", kTitle));
  add("BUTTON_BANK_OVERWRITE_ID", textButton(120, 24, "SOUND TO SLOT"));
  add("BTN_RELEASE_ALL_LOCKS", textButton(110, 18, "RELEASE LOCKS", kTitle));
  add("BTN_EXIT_ABOUT_ID", textButton(18, 18, "x"));
  add("BTN_EXIT_FIRST_RUN_ID", textButton(18, 18, "x"));
  add("BTN_SEE_ABOUT_ID", textButton(18, 18, "i"));

  {
    // The plain frame is the top bar alone: no page of the configuration uses it.
    Bitmap frame = newBitmap(1500, 68);
    gradientRect(frame.get(), 0, 0, 1500, 68, {58, 63, 71}, {40, 44, 50});
    add("BG_ID_PLAIN", std::move(frame));
  }
  add("BG_ID_DISPLAY", display());
  for (const char* page : {"BG_ID_EDIT", "BG_ID_BROWSER", "BG_ID_MOD", "BG_ID_GLOBAL"})
  {
    // The librarian page has no mini mixer: its two banks take the room down to the bottom.
    const int h = strcmp(page, "BG_ID_BROWSER") == 0 ? 585 : 528;
    Bitmap b = newBitmap(1480, h);
    fillRoundRect(b.get(), 0.5, 0.5, 1479, h - 1, 6, kPage);
    add(page, std::move(b));
  }
  add("BG_ID_KNOB", panelBackground(60, 60, kPanel));
  add("MANAGER_BG_ID2", librarianGrid());
  add("BG_RENAME_ID", panelBackground(460, 120, kPanel, "RENAME PROGRAM"));
  add("BG_ID_TIMBRE_PROTECTOR", panelBackground(200, 50, kPanel));
  add("BG_ABOUT_ID", panelBackground(600, 360, kPanel, "DAVREL EDITOR",
                                     {"Editor and librarian for the Rudu synthesizer", "by Quiet Harbor Sound", "",
                                      "Sound and Sequencer pages: both timbres of the program,",
                                      "sent to the synthesizer as you change them.",
                                      "Librarian: banks of 128 programs in the Patches folder",
                                      "of the editor's data folder.", "The build number is at the window's lower right."}));
  add("BG_FIRST_RUN_ID",
      panelBackground(600, 360, kPanel, "WELCOME",
                      {"1. Choose the synthesizer's ports under MIDI OUT and MIDI IN,",
                       "at the window's top right: where a screen is narrower than",
                       "the window, drag it left, or choose Editor Size Small on Global.",
                       "2. Press Request to read the program the synthesizer plays.",
                       "3. Librarian opens the banks; BANK MENU requests, stores", "and saves them.", "",
                       "Close this notice with x at its top right:", "it is not shown again."}));
  add("BG_ID_MIDI_FILTERS", panelBackground(700, 320, kPanel, "MIDI FILTERS"));
  add("BG_SEARCH_FIELD_ID", panelBackground(192, 28, kField));
  add("PROGRESS_INDICATOR_ID", overlay());
  Bitmap mainNormal = mainBackground(false), mainBlack = mainBackground(true);

  // Labels and panels from the configuration, drawn on both main backgrounds.
  tinyxml2::XMLDocument doc;
  if (doc.LoadFile(argv[1]) != tinyxml2::XML_SUCCESS || !doc.FirstChildElement("uiconfig"))
  {
    fprintf(stderr, "davrel-imagegen: cannot read %s\n", argv[1]);
    return 1;
  }
  // The backgrounds of the layers that come and go: their controls' captions and
  // menu fields, nothing else.
  const std::set<std::string> layerCanvases = {"BG_MINI_MIXER_ID",    "BG_OSC1_CONTROLS_ID", "BG_OSC1_DWGS_ID",
                                               "BG_LFO_FREQUENCY_ID", "BG_LFO_SYNC_NOTE_ID", "BG_DELAY_TIME_ID",
                                               "BG_DELAY_NOTE_ID"};
  for (const std::string& name : layerCanvases) images[name] = newBitmap(1500 + kCanvasMargin, 667 + kCanvasMargin);
  images["BG_ID_MAIN"] = std::move(mainNormal);
  // The check's two parts of each page image: its panels, and its labels apart.
  std::map<std::string, Bitmap> panels, captions;
  if (!checkDir.empty())
  {
    for (const auto& image : images)
      if (!layerCanvases.count(image.first))
      {
        Bitmap copy = newBitmap(image.second->getWidth(), image.second->getHeight());
        LICE_Copy(copy.get(), image.second.get());
        panels[image.first] = std::move(copy);
      }
    Labeller(panels, frameWidths, layerCanvases, &captions).walk(doc.FirstChildElement("uiconfig"), Page());
  }
  Labeller labeller(images, frameWidths, layerCanvases);
  labeller.walk(doc.FirstChildElement("uiconfig"), Page());
  mainNormal = std::move(images["BG_ID_MAIN"]);
  int failed = 0;
  for (const std::string& problem : labeller.problems())
  {
    fprintf(stderr, "davrel-imagegen: %s\n", problem.c_str());
    ++failed;
  }
  for (const std::string& name : layerCanvases)
    if (!cutLayerCanvas(images[name]))
    {
      fprintf(stderr, "davrel-imagegen: %s has no captions, or some before its background's position\n",
              name.c_str());
      ++failed;
    }
  images.erase("BG_ID_MAIN");
  // Only the main background differs by skin: the black one gets its labels alone.
  std::map<std::string, Bitmap> blackOnly;
  blackOnly["BG_ID_MAIN"] = std::move(mainBlack);
  Labeller(blackOnly, frameWidths).walk(doc.FirstChildElement("uiconfig"), Page());
  mainBlack = std::move(blackOnly["BG_ID_MAIN"]);

  int written = 0;
  auto save = [&](const std::string& path, LICE_IBitmap* bmp, const std::string& dir) {
    bleedColours(bmp);
    const std::string file = dir + "/" + path.substr(path.rfind('/') + 1);
    // Unfiltered rows inflate fastest, and start-up time is spent decoding these.
    if (LICE_WritePNG(file.c_str(), bmp, true, true))
      written += dir == outDir;
    else
    {
      fprintf(stderr, "davrel-imagegen: cannot write %s\n", file.c_str());
      ++failed;
    }
  };
  std::set<std::string> done;
  for (int skin = 0; skin < 2; ++skin)
    for (const ImageTableRow& row : editorImages(skin))
    {
      if (!done.insert(row.path).second) continue;
      if (strcmp(row.name, "BG_ID_MAIN") == 0)
      {
        save(row.path, skin ? mainBlack.get() : mainNormal.get(), outDir);
        continue;
      }
      auto it = images.find(row.name);
      if (it == images.end())
      {
        fprintf(stderr, "davrel-imagegen: no drawing for %s\n", row.name);
        ++failed;
        continue;
      }
      save(row.path, it->second.get(), outDir);
    }
  for (const auto& apart : captions)
  {
    save(apart.first + "-panels.png", panels[apart.first].get(), checkDir);
    save(apart.first + "-captions.png", apart.second.get(), checkDir);
  }
  printf("davrel-imagegen: %d images\n", written);
  return failed ? 1 : 0;
}
