#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const int kEdges[] = {0, 1, 127, 128, 254, 255};
const int kWeights[] = {1, 64, 127, 128, 255, 256};

// Every channel of the destination is d; the source colour channels are s, its alpha a.
struct Case
{
  int mode, w, d, s, a, rgb, alpha;
};

void expectCase(const Case& c)
{
  const LICE_PixelValue out =
    LICE_CombinePixels(LICE_MakePixel(c.d, c.d, c.d, c.d), LICE_MakePixel(c.s, c.s, c.s, c.a), c.w / 256.0f, c.mode);
  EXPECT_EQ(LICE_PixelR(out), c.rgb) << std::hex << "mode " << c.mode << std::dec << " w " << c.w << " d " << c.d
                                     << " s " << c.s << " a " << c.a;
  EXPECT_EQ(LICE_PixelG(out), c.rgb);
  EXPECT_EQ(LICE_PixelB(out), c.rgb);
  EXPECT_EQ(LICE_PixelA(out), c.alpha) << std::hex << "mode " << c.mode << std::dec << " w " << c.w << " d " << c.d
                                       << " s " << c.s << " a " << c.a;
}

}  // namespace

TEST(PixelValue, BytesInMemoryAreAlphaRedGreenBlue)
{
  const LICE_PixelValue p = LICE_MakePixel(0x11, 0x22, 0x33, 0x44);
  const unsigned char* b = (const unsigned char*)&p;
  EXPECT_EQ(b[LICE_PIXEL_A], 0x44);
  EXPECT_EQ(b[LICE_PIXEL_R], 0x11);
  EXPECT_EQ(b[LICE_PIXEL_G], 0x22);
  EXPECT_EQ(b[LICE_PIXEL_B], 0x33);
  EXPECT_EQ(p, 0x33221144u);
  EXPECT_EQ(LICE_PixelR(p), 0x11);
  EXPECT_EQ(LICE_PixelG(p), 0x22);
  EXPECT_EQ(LICE_PixelB(p), 0x33);
  EXPECT_EQ(LICE_PixelA(p), 0x44);
  EXPECT_EQ(LICE_MakePixel(0x111, -1, 0x2FF, 0x100), 0xFFFF1100u);  // only the low bytes count
}

TEST(Combine, HandCalculatedPlainModes)
{
  const Case cases[] = {
    // copy: s + ((d - s) x (256 - w)) / 256, truncating toward zero
    {0, 256, 10, 200, 200, 200, 200},
    {0, 1, 0, 255, 255, 1, 1},        // -65025 / 256 = -254
    {0, 1, 255, 0, 0, 254, 254},      // moves by one step at most
    {0, 128, 0, 255, 255, 128, 128},  // -32640 / 256 = -127
    {0, 128, 255, 0, 0, 127, 127},
    {0, 255, 0, 255, 255, 255, 255},  // -255 / 256 is 0, not -1 as a shift would give
    {0, 255, 254, 1, 1, 1, 1},
    {0, 64, 1, 254, 254, 65, 65},     // -48576 / 256 = -189
    {0, 127, 127, 128, 128, 128, 128},
    {0, 64, 128, 127, 127, 127, 127},
    // add: clamp(d + s x w / 256)
    {1, 256, 200, 100, 100, 255, 255},
    {1, 1, 0, 255, 255, 0, 0},
    {1, 255, 0, 255, 255, 254, 254},
    {1, 128, 1, 127, 127, 64, 64},
    {1, 64, 128, 128, 128, 160, 160},
    {1, 256, 254, 1, 1, 255, 255},
    {1, 127, 127, 254, 254, 253, 253},
    // colour dodge: k = 256 - s x w / 256, d x 256 / k when k >= 2
    {2, 256, 1, 255, 255, 255, 255},
    {2, 256, 0, 255, 255, 0, 0},
    {2, 256, 254, 255, 255, 255, 255},
    {2, 256, 128, 128, 128, 255, 255},
    {2, 256, 127, 128, 128, 254, 254},
    {2, 256, 1, 254, 254, 128, 128},
    {2, 256, 254, 1, 1, 254, 254},
    {2, 128, 128, 255, 255, 254, 254},  // k = 129
    {2, 64, 127, 254, 254, 168, 168},   // k = 193
    // multiply: (s x w + (256 - w) x 256) x d / 65536
    {3, 256, 255, 255, 255, 254, 254},
    {3, 256, 128, 0, 0, 0, 0},
    {3, 128, 255, 0, 0, 127, 127},
    {3, 64, 254, 127, 127, 222, 222},
    {3, 1, 1, 255, 255, 0, 0},
    {3, 1, 255, 0, 0, 254, 254},
    {3, 255, 128, 128, 128, 64, 64},
    // overlay: m = s x w + (256 - w) x 128
    {4, 256, 77, 128, 128, 77, 77},
    {4, 256, 255, 255, 255, 255, 255},
    {4, 256, 128, 0, 0, 64, 64},
    {4, 256, 128, 255, 255, 191, 191},
    {4, 256, 1, 0, 0, 0, 0},
    {4, 128, 254, 0, 0, 253, 253},
    {4, 64, 127, 254, 254, 142, 142},
    // bits outside the low byte and the source-alpha bit are ignored
    {0x101, 64, 128, 128, 128, 160, 160},
    {0x20003, 256, 255, 255, 255, 254, 254},
    {0x1004, 256, 128, 0, 0, 64, 64},
  };
  for (const Case& c : cases) expectCase(c);
}

TEST(Combine, HandCalculatedSourceAlphaModes)
{
  const Case cases[] = {
    // copy at 256: 255 - a keeps the destination; alpha adds a
    {0x10000, 256, 10, 200, 0, 10, 10},
    {0x10000, 256, 10, 200, 255, 200, 255},
    {0x10000, 256, 0, 255, 128, 129, 128},
    {0x10000, 256, 255, 0, 1, 253, 255},
    {0x10000, 256, 128, 128, 127, 128, 255},
    {0x10000, 256, 0, 255, 254, 255, 254},
    {0x10000, 256, 0, 255, 200, 201, 200},  // the ordinary rule would give alpha 201
    // copy below 256: w' = (a + 1) x w / 256
    {0x10000, 128, 0, 255, 255, 128, 128},
    {0x10000, 128, 0, 255, 127, 64, 64},
    {0x10000, 128, 50, 200, 0, 50, 50},
    {0x10000, 128, 0, 255, 1, 1, 1},
    {0x10000, 64, 255, 0, 254, 192, 255},
    // add
    {0x10001, 256, 100, 200, 128, 200, 164},
    {0x10001, 256, 100, 200, 0, 100, 100},
    {0x10001, 128, 1, 127, 255, 64, 128},
    // colour dodge (no test for a = 0: w' = 1 leaves these pixels alone)
    {0x10002, 256, 128, 128, 255, 255, 255},
    {0x10002, 256, 128, 128, 0, 128, 128},
    {0x10002, 256, 128, 255, 127, 254, 169},
    // multiply
    {0x10003, 256, 255, 255, 255, 254, 254},
    {0x10003, 256, 255, 255, 0, 255, 255},
    {0x10003, 256, 255, 0, 127, 127, 190},
    // overlay (no test for a = 0: alpha 128 still becomes 127)
    {0x10004, 256, 128, 255, 0, 128, 127},
    {0x10004, 256, 128, 0, 255, 64, 191},
  };
  for (const Case& c : cases) expectCase(c);
}

TEST(Combine, ZeroWeightAndInvalidModesLeaveTheDestination)
{
  const LICE_PixelValue d = LICE_MakePixel(10, 20, 30, 40), s = LICE_MakePixel(200, 100, 50, 255);
  for (int mode : {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10005})
  {
    EXPECT_EQ(LICE_CombinePixels(d, s, 0.003f, mode), d) << mode;  // weight 0
    EXPECT_EQ(LICE_CombinePixels(d, s, 0.0f, mode), d) << mode;
    EXPECT_EQ(LICE_CombinePixels(d, s, NAN, mode), d) << mode;
  }
  EXPECT_EQ(LICE_CombinePixels(d, s, -0.5f, LICE_MODE_COPY), d);
  for (int mode : {6, 0x7F, 0xEF, 0xF0, 0xF1, 0xFF, 0x10006, 0x100F0})
  {
    EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, mode), d) << mode;
    LICE_PixelValue p = d;
    LICE_CombinePixels2(&p, 200, 100, 50, 255, 256, mode);
    EXPECT_EQ(p, d) << mode;
  }
}

namespace {

// The rules again, in double precision with explicit truncation: an independent
// check of the integer arithmetic (signed division, no overflow, no shifts).
int tr(double v)
{
  return (int)std::trunc(v);
}
int cl(double v)
{
  return v < 0 ? 0 : v > 255 ? 255 : (int)v;
}
int copyRef(int d, int s, int w)
{
  return s + tr((d - s) * (256.0 - w) / 256);
}
int addRef(int d, int s, int w)
{
  return cl(d + tr(s * (double)w / 256));
}
int dodgeRef(int d, int s, int w)
{
  const int k = 256 - tr(s * (double)w / 256);
  double t = d * 256.0;
  if (k >= 2) t = std::floor(t / k);
  return t > 255 ? 255 : (int)t;
}
int mulRef(int d, int s, int w)
{
  return tr((s * (double)w + (256.0 - w) * 256) * d / 65536) & 0xFF;
}
int overlayRef(int d, int s, int w)
{
  const double m = s * (double)w + (256.0 - w) * 128;
  return cl(tr((tr((32768 - m) * d / 256) + m) * d / 32768));
}

// Expected channel c (0 alpha, 1..3 colours) of mode applied to d with source
// channel s and source alpha a at weight w.
int reference(int mode, int w, int d, int s, int a, int c)
{
  const bool isAlpha = c == 0;
  const int ws = tr((a + 1) * (double)w / 256);
  switch (mode)
  {
    case 0: return w == 256 ? s : copyRef(d, s, w);
    case 1: return addRef(d, s, w);
    case 2: return dodgeRef(d, s, w);
    case 3: return mulRef(d, s, w);
    case 4: return overlayRef(d, s, w);
    case 0x10000:
      if (a == 0) return d;
      if (w == 256)
      {
        if (a == 255) return isAlpha ? 255 : s;
        return isAlpha ? std::min(d + a, 255) : s + tr((d - s) * (255.0 - a) / 256);
      }
      return isAlpha ? std::min(d + ws, 255) : copyRef(d, s, ws);
    case 0x10001:
      if (a == 0) return d;
      return isAlpha ? cl(d + tr(ws * (double)a / 256)) : addRef(d, s, ws);
    case 0x10002: return dodgeRef(d, s, ws);
    case 0x10003: return a == 0 ? d : mulRef(d, s, ws);
    case 0x10004: return overlayRef(d, s, ws);
  }
  return -1;
}

}  // namespace

TEST(Combine, EdgeGridOfEveryChannelModeMatchesTheRules)
{
  const int modes[] = {0, 1, 2, 3, 4, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004};
  for (int mode : modes)
    for (int w : kWeights)
      for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j)
          for (int k = 0; k < 6; ++k)
          {
            // Each channel gets its own edge value so that mixed-up bytes show.
            const int d[4] = {kEdges[i], kEdges[(i + 1) % 6], kEdges[(i + 2) % 6], kEdges[(i + 3) % 6]};
            const int s[4] = {kEdges[k], kEdges[j], kEdges[(j + 4) % 6], kEdges[(j + 5) % 6]};
            const LICE_PixelValue dest = LICE_MakePixel(d[1], d[2], d[3], d[0]);
            const LICE_PixelValue src = LICE_MakePixel(s[1], s[2], s[3], s[0]);
            const LICE_PixelValue out = LICE_CombinePixels(dest, src, w / 256.0f, mode);
            const unsigned char* o = (const unsigned char*)&out;
            for (int c = 0; c < 4; ++c)
              ASSERT_EQ(o[c], reference(mode, w, d[c], s[c], s[0], c))
                << std::hex << "mode " << mode << std::dec << " w " << w << " channel " << c << " d " << d[c]
                << " s " << s[c] << " a " << s[0];
          }
}

TEST(Combine, InPlaceFormsTakeTheWeightDirectly)
{
  LICE_PixelValue p = LICE_MakePixel(200, 0, 0, 0);
  LICE_CombinePixels2(&p, 100, 255, 0, 255, 256, LICE_MODE_ADD);
  EXPECT_EQ(p, LICE_MakePixel(255, 255, 0, 255));
  LICE_CombinePixels2(&p, 0, 0, 0, 0, 0, LICE_MODE_COPY);  // weight 0 does nothing
  EXPECT_EQ(p, LICE_MakePixel(255, 255, 0, 255));

  // The clamping form takes channels outside 0..255.
  LICE_PixelValue q = LICE_MakePixel(10, 10, 10, 10);
  LICE_CombinePixels2Clamp(&q, 300, -20, 128, 255, 256, LICE_MODE_COPY);
  EXPECT_EQ(q, LICE_MakePixel(255, 0, 128, 255));
  q = LICE_MakePixel(100, 100, 100, 100);
  LICE_CombinePixels2Clamp(&q, 400, -100, 100, 100, 128, LICE_MODE_COPY);  // 400 + (-300 x 128) / 256 = 250
  EXPECT_EQ(q, LICE_MakePixel(250, 0, 100, 100));
  q = LICE_MakePixel(255, 255, 255, 255);
  LICE_CombinePixels2Clamp(&q, 600, -10, 255, 255, 256, LICE_MODE_MULTIPLY);  // 600 x 255 / 256 = 597 -> 255
  EXPECT_EQ(q, LICE_MakePixel(255, 0, 254, 254));
  // Absurd values are limited, never overflowing.
  q = LICE_MakePixel(1, 2, 3, 4);
  LICE_CombinePixels2Clamp(&q, 2000000000, -2000000000, 7, 9, 2000000000, LICE_MODE_OVERLAY);
  LICE_CombinePixels2(&q, 2000000000, -2000000000, 7, 9, -2000000000, LICE_MODE_MULTIPLY);
}

TEST(Combine, WholeWordCombinersTruncateEachChannelAlone)
{
  LICE_PixelValue d = LICE_MakePixel(0x01, 0x80, 0x7F, 0xFF);
  _LICE_CombinePixelsHalfMix2FAST::doPix(&d, _LICE_CombinePixelsHalfMix2FAST::prepare(LICE_MakePixel(0xFF, 0x7F, 0x80, 0x01)));
  EXPECT_EQ(d, LICE_MakePixel(0x7F, 0x7F, 0x7F, 0x7F));  // no carry crosses a byte

  d = 0x01010101;
  _LICE_CombinePixelsHalfMix2FAST::doPix(&d, _LICE_CombinePixelsHalfMix2FAST::prepare(0xFFFFFFFF));
  EXPECT_EQ(d, 0x7F7F7F7Fu);  // 0 + 127, where per-channel copy at 128 gives 128

  struct Mix
  {
    LICE_PixelValue (*prepare)(LICE_PixelValue);
    void (*doPix)(LICE_PixelValue*, LICE_PixelValue);
    int d, v, want;
  };
  const Mix mixes[] = {
    {_LICE_CombinePixelsQuarterMix2FAST::prepare, _LICE_CombinePixelsQuarterMix2FAST::doPix, 255, 255, 253},
    {_LICE_CombinePixelsQuarterMix2FAST::prepare, _LICE_CombinePixelsQuarterMix2FAST::doPix, 3, 3, 1},
    {_LICE_CombinePixelsQuarterMix2FAST::prepare, _LICE_CombinePixelsQuarterMix2FAST::doPix, 1, 255, 63},
    {_LICE_CombinePixelsThreeQuarterMix2FAST::prepare, _LICE_CombinePixelsThreeQuarterMix2FAST::doPix, 255, 255, 253},
    {_LICE_CombinePixelsThreeQuarterMix2FAST::prepare, _LICE_CombinePixelsThreeQuarterMix2FAST::doPix, 3, 3, 1},
    {_LICE_CombinePixelsThreeQuarterMix2FAST::prepare, _LICE_CombinePixelsThreeQuarterMix2FAST::doPix, 255, 1, 63},
    {_LICE_CombinePixelsHalfMixFAST::prepare, _LICE_CombinePixelsHalfMixFAST::doPix, 1, 1, 0},
    {_LICE_CombinePixelsHalfMixFAST::prepare, _LICE_CombinePixelsHalfMixFAST::doPix, 255, 3, 128},
    {_LICE_CombinePixelsClobberFAST::prepare, _LICE_CombinePixelsClobberFAST::doPix, 9, 77, 77},
  };
  for (const Mix& m : mixes)
  {
    LICE_PixelValue p = grey(m.d, m.d);
    m.doPix(&p, m.prepare(grey(m.v, m.v)));
    EXPECT_EQ(p, grey(m.want, m.want)) << m.d << " " << m.v;
  }
}

namespace {

LICE_PixelValue hsv(LICE_PixelValue dest, int r, int g, int b, int a, int w, int mode = LICE_MODE_HSVADJUST)
{
  return LICE_CombinePixels(dest, LICE_MakePixel(r, g, b, a), w / 256.0f, mode);
}

}  // namespace

TEST(Combine, HsvAdjustReencodesThroughTheHueCircle)
{
  EXPECT_EQ(LICE_RGB2HSV_invtab[0], 0);
  EXPECT_EQ(LICE_RGB2HSV_invtab[1], 65535);
  EXPECT_EQ(LICE_RGB2HSV_invtab[2], 32767);
  EXPECT_EQ(LICE_RGB2HSV_invtab[150], 435);
  EXPECT_EQ(LICE_RGB2HSV_invtab[255], 256);

  for (int w : kWeights)
  {
    // Offsets of 128 change nothing; the destination's alpha becomes the source's.
    for (int v : kEdges) EXPECT_EQ(hsv(grey(v, 10), 128, 128, 128, 99, w), grey(v, 99)) << v << " " << w;
    EXPECT_EQ(hsv(LICE_MakePixel(255, 0, 0, 0), 128, 128, 128, 255, w), LICE_MakePixel(255, 0, 0, 255));
    EXPECT_EQ(hsv(LICE_MakePixel(0, 255, 0, 0), 128, 128, 128, 255, w), LICE_MakePixel(0, 255, 0, 255));
    EXPECT_EQ(hsv(LICE_MakePixel(0, 0, 255, 0), 128, 128, 128, 255, w), LICE_MakePixel(0, 0, 255, 255));
  }
  // (200, 50, 100): hue 383 - 21 = 362, S 191, V 200; blue comes back as
  // (16384 - 42 x 191) x 200 / 16384 = 102.
  EXPECT_EQ(hsv(LICE_MakePixel(200, 50, 100, 0), 128, 128, 128, 7, 256), LICE_MakePixel(200, 50, 102, 7));
  // Red turned by (255 + 127 - 192) = 190 steps: hue 190 gives (p, V, q(2)) = (0, 255, 247).
  EXPECT_EQ(hsv(LICE_MakePixel(255, 0, 0, 255), 255, 128, 128, 255, 256), LICE_MakePixel(0, 255, 247, 255));
  // Turned by -192 the hue wraps to 192: cyan.
  EXPECT_EQ(hsv(LICE_MakePixel(255, 0, 0, 255), 0, 128, 128, 255, 256), LICE_MakePixel(0, 255, 255, 255));
  // No saturation: white; no value: black.
  EXPECT_EQ(hsv(LICE_MakePixel(255, 0, 0, 255), 128, 0, 128, 255, 256), LICE_MakePixel(255, 255, 255, 255));
  EXPECT_EQ(hsv(LICE_MakePixel(255, 0, 0, 255), 128, 128, 0, 255, 256), LICE_MakePixel(0, 0, 0, 255));
  // Value up by (127 x 128) / 128 at half weight.
  EXPECT_EQ(hsv(grey(100), 128, 128, 255, 255, 128), grey(227));

  // With source alpha the weight is (a + 1) x w / 256: alpha 0 turns by nothing.
  EXPECT_EQ(hsv(LICE_MakePixel(255, 0, 0, 255), 255, 128, 128, 0, 256, 0x10005), LICE_MakePixel(255, 0, 0, 0));
  EXPECT_EQ(hsv(LICE_MakePixel(255, 0, 0, 9), 255, 128, 128, 255, 256, 0x10005), LICE_MakePixel(0, 255, 247, 255));
}
