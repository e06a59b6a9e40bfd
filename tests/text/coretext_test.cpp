// The text engine stand-in: face aliases, metrics, layout of UTF-8 lines and drawing
// into pixel memory.

#include "platform/coretext/coretext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// DejaVu Sans Mono's design: 2048 units an em, ascender 1901, descender 483, no line
// gap, every advance 1233 units (7.83 pixels at 13 pixels, rounded to 8).
const double kUnitsPerEm = 2048, kAscender = 1901, kDescender = 483;

struct FontHolder
{
  CTFontRef f;
  explicit FontHolder(CTFontRef font) : f(font) {}
  ~FontHolder() { CTFontRelease(f); }
};

struct LineHolder
{
  CTLineRef l;
  explicit LineHolder(CTLineRef line) : l(line) {}
  ~LineHolder() { CTLineRelease(l); }
  double width() const { return CTLineGetTypographicBounds(l, nullptr, nullptr, nullptr); }
};

std::string postScriptName(CTFontRef f)
{
  char buf[128];
  CTFontCopyPostScriptName(f, buf, sizeof buf);
  return buf;
}

struct Canvas
{
  int w, h;
  std::vector<unsigned char> px;
  Canvas(int width, int height) : w(width), h(height), px((size_t)width * height * 4, 0) {}
  CTPixelTarget target(int l, int t, int r, int b) { return CTPixelTarget{px.data(), w, h, w * 4, l, t, r, b}; }
  const unsigned char* at(int x, int y) const { return &px[((size_t)y * w + x) * 4]; }
  int inkCount() const
  {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) n += at(x, y)[1] != 0;
    return n;
  }
};

// The editor's face names open DejaVu Sans Mono, also when asked for on several threads
// while the engine is still loading ahead (in a process of its own, as CTest runs each
// case).
TEST(CoreTextFaces, EditorFaceNamesOpenDejaVuSansMonoWhileTheEngineLoadsAhead)
{
  CTLoadFontEngineAhead();
  CTLoadFontEngineAhead();  // started once
  const char* asked[] = {"Monaco", "Consolas Bold", "Consolas", "NK57 Monospace", "DejaVu Sans Mono"};
  std::vector<std::string> names(5);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < names.size(); ++i)
    threads.emplace_back([&, i] {
      FontHolder f(CTFontCreateWithName(asked[i], 13));
      names[i] = f.f ? postScriptName(f.f) : "(none)";
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(names, (std::vector<std::string>{"DejaVuSansMono", "DejaVuSansMono-Bold", "DejaVuSansMono",
                                             "DejaVuSansMono", "DejaVuSansMono"}));
}

TEST(CoreTextFaces, PostScriptNameOfAFaceSeenOpensItAgain)
{
  FontHolder a(CTFontCreateWithName("NK57 Monospace Bold", 20));
  const std::string ps = postScriptName(a.f);
  FontHolder b(CTFontCreateWithName(ps.c_str(), 20));
  ASSERT_TRUE(b.f);
  EXPECT_EQ(ps, postScriptName(b.f));
}

TEST(CoreTextFaces, LabelFontAndEmptyNameOpenSomething)
{
  FontHolder label(CTFontCreateUIFontForLanguage(kCTFontUIFontLabel, 10, nullptr));
  FontHolder empty(CTFontCreateWithName("", 10));
  ASSERT_TRUE(label.f);
  ASSERT_TRUE(empty.f);
  EXPECT_GT(CTFontGetAscent(label.f), 0);
  EXPECT_EQ(10.0, CTFontGetSize(empty.f));
}

TEST(CoreTextFaces, UnusableSizesAreRefused)
{
  EXPECT_EQ(nullptr, CTFontCreateWithName("Monaco", 0));
  EXPECT_EQ(nullptr, CTFontCreateWithName("Monaco", -3));
  EXPECT_EQ(nullptr, CTFontCreateWithName("Monaco", NAN));
  EXPECT_EQ(nullptr, CTFontCreateWithName("Monaco", INFINITY));
}

TEST(CoreTextFaces, NullArgumentsAreHarmless)
{
  EXPECT_EQ(0.0, CTFontGetSize(nullptr));
  EXPECT_EQ(0.0, CTFontGetAscent(nullptr));
  EXPECT_EQ(nullptr, CTLineCreateWithUTF8(nullptr, "x", 1));
  char buf[4] = "zz";
  EXPECT_FALSE(CTFontCopyPostScriptName(nullptr, buf, sizeof buf));
  EXPECT_EQ(0, buf[0]);
  CTFontRelease(nullptr);
  CTLineRelease(nullptr);
  CTLineDraw(nullptr, nullptr, 0, 0, 0, 0, 0, true);
}

TEST(CoreTextMetrics, DesignMetricsScaleWithTheSize)
{
  for (double size : {10.0, 13.0, 24.5})
  {
    FontHolder f(CTFontCreateWithName("Monaco", size));
    EXPECT_NEAR(kAscender * size / kUnitsPerEm, CTFontGetAscent(f.f), 1e-9) << size;
    EXPECT_NEAR(kDescender * size / kUnitsPerEm, CTFontGetDescent(f.f), 1e-9) << size;
    EXPECT_EQ(0.0, CTFontGetLeading(f.f)) << size;
  }
}

TEST(CoreTextLines, WidthIsTheSumOfWholePixelAdvances)
{
  FontHolder f(CTFontCreateWithName("Monaco", 13));
  struct Case
  {
    const char* text;
    int length;
    double width;
  } cases[] = {
    {"Hello", -1, 40},
    {"Hello", 2, 16},
    {"", -1, 0},
    {"a\tb", -1, 24},                 // a tab is as wide as a space
    {"a\x01\x7f" "b", -1, 16},        // control characters take no room
    {"\xC3\xA9t\xC3\xA9", -1, 24},    // two-byte sequences are one character each
    {"\xE2\x82\xAC", -1, 8},          // three bytes, one character
    {"caf\xE9", -1, 32},              // a stray byte stands for itself
    {"\xC3", 1, 8},                   // a lead byte cut off by the length
    {"x\xE2\x82", 3, 16},             // the same with two bytes of three: a visible lead, a control
    {"\xF0\x9F\x98\x80", -1, 8},      // four bytes, one character (a missing glyph's box)
  };
  for (const Case& c : cases)
  {
    LineHolder l(CTLineCreateWithUTF8(f.f, c.text, c.length));
    EXPECT_EQ(c.width, l.width()) << c.text;
  }
}

TEST(CoreTextLines, NeverReadsBeyondTheGivenBytes)
{
  FontHolder f(CTFontCreateWithName("Monaco", 13));
  // Exactly sized heap copies, so reading one byte more is caught by the sanitizer.
  const std::string texts[] = {"\xC3", "ab\xE2\x82", "\xF0\x9F\x98", "\xE2", "\xF4\x8F\xBF"};
  for (const std::string& t : texts)
  {
    std::unique_ptr<char[]> buf(new char[t.size()]);
    memcpy(buf.get(), t.data(), t.size());
    LineHolder l(CTLineCreateWithUTF8(f.f, buf.get(), (int)t.size()));
    EXPECT_GT(l.width(), 0) << t.size();
  }
}

TEST(CoreTextDraw, InkStaysInsideTheClipAndTheMemory)
{
  FontHolder f(CTFontCreateWithName("Monaco", 13));
  LineHolder l(CTLineCreateWithUTF8(f.f, "WWWWWWWWWW", -1));
  Canvas all(40, 20), clipped(40, 20), outside(40, 20);
  CTPixelTarget t = all.target(-100, -100, 1000, 1000);
  CTLineDraw(l.l, &t, -5, 12, 255, 255, 255, true);
  t = clipped.target(8, 4, 16, 10);
  CTLineDraw(l.l, &t, -5, 12, 255, 255, 255, true);
  t = outside.target(50, 0, 60, 20);
  CTLineDraw(l.l, &t, -5, 12, 255, 255, 255, true);

  EXPECT_GT(all.inkCount(), 0);
  EXPECT_EQ(0, outside.inkCount());
  int inside = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
    {
      const bool in = x >= 8 && x < 16 && y >= 4 && y < 10;
      if (in)
        EXPECT_EQ(0, memcmp(all.at(x, y), clipped.at(x, y), 4)) << x << "," << y;
      else
        EXPECT_EQ(0, clipped.at(x, y)[1]) << x << "," << y;
      inside += in && clipped.at(x, y)[1];
    }
  EXPECT_GT(inside, 0);
}

TEST(CoreTextDraw, WithoutAntialiasingInkIsAllOrNothing)
{
  FontHolder f(CTFontCreateWithName("Monaco", 13));
  LineHolder l(CTLineCreateWithUTF8(f.f, "NK57 Monospace", -1));
  for (bool aa : {false, true})
  {
    Canvas c(130, 20);
    CTPixelTarget t = c.target(0, 0, 130, 20);
    CTLineDraw(l.l, &t, 2, 13, 200, 100, 50, aa);
    int partial = 0, full = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 130; ++x)
      {
        const unsigned char* p = c.at(x, y);
        if (p[1] == 200 && p[2] == 100 && p[3] == 50 && p[0] == 255)
          ++full;
        else if (p[1] || p[2] || p[3] || p[0])
          ++partial;
      }
    EXPECT_GT(full, 20) << aa;
    if (aa)
      EXPECT_GT(partial, 50);
    else
      EXPECT_EQ(0, partial);
  }
}

TEST(CoreTextDraw, PartialCoverageBlendsAllFourBytes)
{
  FontHolder f(CTFontCreateWithName("Monaco", 13));
  LineHolder l(CTLineCreateWithUTF8(f.f, "o", -1));
  Canvas c(12, 20);
  for (size_t i = 0; i < c.px.size(); i += 4)
  {
    c.px[i] = 10;
    c.px[i + 1] = 20;
    c.px[i + 2] = 30;
    c.px[i + 3] = 40;
  }
  Canvas white = c;
  CTPixelTarget t = c.target(0, 0, 12, 20);
  CTLineDraw(l.l, &t, 2, 13, 250, 250, 250, true);
  // A pixel moves toward (255, r, g, b) by its coverage: every channel by the same share.
  int checked = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 12; ++x)
    {
      const unsigned char* p = c.at(x, y);
      if (p[1] == 20) continue;
      const double share = (p[1] - 20) / 230.0;
      EXPECT_NEAR(10 + share * 245, p[0], 1.01);
      EXPECT_NEAR(30 + share * 220, p[2], 1.01);
      EXPECT_NEAR(40 + share * 210, p[3], 1.01);
      ++checked;
    }
  EXPECT_GT(checked, 5);
}

TEST(CoreTextDraw, GlyphsOfAFontMayBeDrawnFromSeveralThreads)
{
  FontHolder f(CTFontCreateWithName("Monaco", 17));
  std::vector<std::unique_ptr<Canvas>> canvases;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) canvases.emplace_back(new Canvas(200, 24));
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i]() {
      std::string text;
      for (int k = 0; k < 20; ++k) text += (char)('A' + (k * 7 + i) % 26);
      for (int rep = 0; rep < 10; ++rep)
      {
        LineHolder l(CTLineCreateWithUTF8(f.f, text.c_str(), -1));
        CTPixelTarget t = canvases[i]->target(0, 0, 200, 24);
        CTLineDraw(l.l, &t, 0, 17, 255, 255, 255, rep % 2 == 0);
      }
    });
  for (std::thread& t : threads) t.join();
  for (auto& c : canvases) EXPECT_GT(c->inkCount(), 100);
}

}  // namespace
