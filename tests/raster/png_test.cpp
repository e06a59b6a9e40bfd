// PNG decoding. Test images come from independent writers: libpng's write side here
// and ImageMagick's convert.
#include "ConsoleCapture.h"
#include "TestFiles.h"
#include "raster/lice_png.h"
#include "raster/lice.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <string>
#include <unistd.h>

namespace {

typedef std::vector<unsigned char> Bytes;

struct PngImage
{
  int w = 0, h = 0, colorType = PNG_COLOR_TYPE_RGB, depth = 8;
  bool interlaced = false;
  std::vector<int> samples;          // w x h x channels, row by row
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;  // tRNS of a palette image
  bool colorKey = false;             // tRNS of a grey or RGB image
  png_color_16 key = {};
};

int channelsOf(int colorType)
{
  switch (colorType)
  {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
  }
  return 4;
}

void appendBytes(png_structp png, png_bytep data, png_size_t n)
{
  Bytes* out = (Bytes*)png_get_io_ptr(png);
  out->insert(out->end(), data, data + n);
}

void noFlush(png_structp)
{
}

// Packs the samples the way the format stores them and writes a complete file.
Bytes encode(const PngImage& s)
{
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const int ch = channelsOf(s.colorType);
  const size_t rowBytes = ((size_t)s.w * ch * s.depth + 7) / 8;
  std::vector<Bytes> rows(s.h, Bytes(rowBytes, 0));
  for (int y = 0; y < s.h; ++y)
    for (int i = 0; i < s.w * ch; ++i)
    {
      const int v = s.samples[(size_t)y * s.w * ch + i];
      Bytes& r = rows[y];
      if (s.depth == 16)
      {
        r[2 * i] = (unsigned char)(v >> 8);
        r[2 * i + 1] = (unsigned char)v;
      }
      else if (s.depth == 8)
        r[i] = (unsigned char)v;
      else
      {
        const int bit = i * s.depth;
        r[bit / 8] |= (unsigned char)(v << (8 - s.depth - bit % 8));
      }
    }
  std::vector<png_bytep> ptrs;
  for (Bytes& r : rows) ptrs.push_back(r.data());
  if (setjmp(png_jmpbuf(png)))
  {
    ADD_FAILURE() << "the test's PNG writer failed";
    png_destroy_write_struct(&png, &info);
    return Bytes();
  }
  png_set_write_fn(png, &out, appendBytes, noFlush);
  png_set_IHDR(png, info, s.w, s.h, s.depth, s.colorType, s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), (int)s.palette.size());
  if (!s.paletteAlpha.empty())
    png_set_tRNS(png, info, s.paletteAlpha.data(), (int)s.paletteAlpha.size(), nullptr);
  if (s.colorKey)
  {
    png_color_16 key = s.key;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  png_write_image(png, ptrs.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Samples of a w x h image whose values run through 0..max.
std::vector<int> ramp(int count, int max, int mul = 7)
{
  std::vector<int> v(count);
  for (int i = 0; i < count; ++i) v[i] = (i * mul) % (max + 1);
  return v;
}

void writeFile(const std::string& path, const Bytes& b) { ASSERT_TRUE(writeWholeFile(path, b)) << path; }

// Decodes from memory and from a file; both must give want, row by row.
void expectDecodes(const Bytes& png, int w, int h, const std::vector<LICE_PixelValue>& want, const char* what)
{
  LICE_IBitmap* mem = LICE_LoadPNGFromMemory(png.data(), (int)png.size(), nullptr);
  ASSERT_NE(mem, nullptr) << what;
  EXPECT_EQ(mem->getWidth(), w) << what;
  EXPECT_EQ(mem->getHeight(), h) << what;
  EXPECT_EQ(pixels(mem), want) << what;
  delete mem;

  TempFolder dir{"davrel-png"};
  const std::string path = dir.file("image.png");
  writeFile(path, png);
  // Into a given system bitmap, whose rows are wider than the image.
  LICE_SysBitmap sys(1, 1);
  EXPECT_EQ(LICE_LoadPNG(path.c_str(), &sys), &sys) << what;
  EXPECT_EQ(pixels(&sys), want) << what;
  FlippedBitmap flipped(2, 2);
  EXPECT_EQ(LICE_LoadPNG(path.c_str(), &flipped), &flipped) << what;
  EXPECT_EQ(pixels(&flipped), want) << what;
}

PngImage image(int w, int h, int colorType, int depth, bool interlaced = false)
{
  PngImage s;
  s.w = w;
  s.h = h;
  s.colorType = colorType;
  s.depth = depth;
  s.interlaced = interlaced;
  s.samples = ramp(w * h * channelsOf(colorType), (1 << depth) - 1);
  return s;
}

std::string captureLog(const std::function<void()>& f)
{
  CaptureConsole();
  f();
  return CapturedConsole();
}

}  // namespace

namespace {

// What the loader must make of an image's samples: 8 bits a channel (16-bit samples
// keep their high byte, smaller ones are scaled to 0..255: 1 bit to 0 and 255, 2 bits
// x 85, 4 bits x 17), grey spread over R, G and B, palette entries looked up; alpha
// from the samples, else from the palette's transparency (opaque past its end), else
// 0 where the colour key matches and 255 elsewhere.
std::vector<LICE_PixelValue> expected(const PngImage& s)
{
  const int ch = channelsOf(s.colorType);
  const bool grey = s.colorType == PNG_COLOR_TYPE_GRAY || s.colorType == PNG_COLOR_TYPE_GRAY_ALPHA;
  auto to8 = [&](int v) { return s.depth == 16 ? v >> 8 : v * 255 / ((1 << s.depth) - 1); };
  std::vector<LICE_PixelValue> want;
  for (size_t i = 0; i < s.samples.size(); i += ch)
  {
    const int* v = &s.samples[i];
    if (s.colorType == PNG_COLOR_TYPE_PALETTE)
    {
      const png_color c = s.palette[v[0]];
      const int a = v[0] < (int)s.paletteAlpha.size() ? s.paletteAlpha[v[0]] : 255;
      want.push_back(LICE_MakePixel(c.red, c.green, c.blue, a));
      continue;
    }
    int a = ch == 2 || ch == 4 ? to8(v[ch - 1]) : 255;
    if (s.colorKey && (grey ? v[0] == s.key.gray : v[0] == s.key.red && v[1] == s.key.green && v[2] == s.key.blue))
      a = 0;
    want.push_back(LICE_MakePixel(to8(v[0]), to8(v[grey ? 0 : 1]), to8(v[grey ? 0 : 2]), a));
  }
  return want;
}

}  // namespace

TEST(LoadPNG, EveryColourTypeAndDepthDecodesToEightBitRGBA)
{
  std::vector<PngImage> images;
  for (int depth : {1, 2, 4, 8, 16})
    for (bool interlaced : {false, true}) images.push_back(image(13, 11, PNG_COLOR_TYPE_GRAY, depth, interlaced));
  for (int depth : {8, 16}) images.push_back(image(5, 4, PNG_COLOR_TYPE_GRAY_ALPHA, depth, depth == 16));
  for (int depth : {8, 16})
    for (bool alpha : {false, true})
      for (bool interlaced : {false, true})
        images.push_back(image(11, 6, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, depth, interlaced));
  for (int depth : {1, 2, 4, 8})
    for (bool transparent : {false, true})
    {
      PngImage s = image(9, 7, PNG_COLOR_TYPE_PALETTE, depth, depth == 4);
      const int entries = 1 << depth;
      for (int i = 0; i < entries; ++i)
        s.palette.push_back(png_color{(png_byte)(i * 3), (png_byte)(255 - i), (png_byte)(i * 7 % 256)});
      // A transparency chunk shorter than the palette: the rest stays opaque.
      if (transparent)
        for (int i = 0; i < (entries + 1) / 2; ++i) s.paletteAlpha.push_back((png_byte)(i * 40 % 256));
      images.push_back(s);
    }
  // Colour keys: a grey level of 4 bits, and an RGB colour with a near miss.
  PngImage greyKey = image(4, 3, PNG_COLOR_TYPE_GRAY, 4);
  greyKey.colorKey = true;
  greyKey.key.gray = 14;
  images.push_back(greyKey);
  PngImage rgbKey = image(4, 3, PNG_COLOR_TYPE_RGB, 8);
  rgbKey.samples = {10, 20, 30, 1, 2, 3, 10, 20, 30, 4, 5, 6, 10, 20, 31, 0, 0, 0,
                    1, 2, 3, 9, 9, 9, 10, 20, 30, 7, 7, 7, 8, 8, 8, 9, 9, 9};
  rgbKey.colorKey = true;
  rgbKey.key.red = 10;
  rgbKey.key.green = 20;
  rgbKey.key.blue = 30;
  images.push_back(rgbKey);

  for (const PngImage& s : images)
  {
    const std::string what = "type " + std::to_string(s.colorType) + ", " + std::to_string(s.depth) + " bits" +
                             (s.interlaced ? ", interlaced" : "") + (s.paletteAlpha.empty() ? "" : ", tRNS") +
                             (s.colorKey ? ", key" : "");
    expectDecodes(encode(s), s.w, s.h, expected(s), what.c_str());
  }
}

TEST(LoadPNG, ImagesWrittenByImageMagick)
{
  if (access("/usr/bin/convert", X_OK) != 0) GTEST_SKIP() << "ImageMagick is not installed";
  TempFolder dir{"davrel-png"};
  // Raw RGBA input with few colours, so every output type holds it exactly.
  const int w = 6, h = 5;
  const LICE_PixelValue colours[] = {LICE_MakePixel(255, 0, 0, 255), LICE_MakePixel(0, 128, 255, 255),
                                     LICE_MakePixel(17, 34, 51, 255), LICE_MakePixel(250, 250, 0, 255)};
  Bytes raw;
  std::vector<LICE_PixelValue> want;
  for (int i = 0; i < w * h; ++i)
  {
    const LICE_PixelValue p = colours[(i * 5 + i / 7) % 4];
    raw.insert(raw.end(), {(unsigned char)LICE_PixelR(p), (unsigned char)LICE_PixelG(p),
                           (unsigned char)LICE_PixelB(p), (unsigned char)LICE_PixelA(p)});
    want.push_back(p);
  }
  const std::string in = dir.file("in.rgba");
  writeFile(in, raw);
  const char* outputs[] = {"PNG32:", "PNG24:", "PNG8:", "PNG48:", "PNG64:"};
  for (const char* type : outputs)
    for (const char* interlace : {"None", "PNG"})
    {
      const std::string out = dir.file("out.png");
      const std::string cmd = "/usr/bin/convert -size 6x5 -depth 8 rgba:'" + in + "' -interlace " + interlace +
                              " " + type + "'" + out + "' 2>/dev/null";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
      LICE_IBitmap* b = LICE_LoadPNG(out.c_str(), nullptr);
      ASSERT_NE(b, nullptr) << type;
      EXPECT_EQ(pixels(b), want) << type << " " << interlace;
      delete b;
    }

  // Grey levels that four bits hold exactly.
  Bytes greys;
  for (int i = 0; i < w * h; ++i) greys.push_back((unsigned char)(17 * (i % 16)));
  writeFile(in, greys);
  const std::string out = dir.file("grey.png");
  ASSERT_EQ(std::system(("/usr/bin/convert -size 6x5 -depth 8 gray:'" + in + "' -depth 4 '" + out + "'").c_str()), 0);
  LICE_IBitmap* g = LICE_LoadPNG(out.c_str(), nullptr);
  ASSERT_NE(g, nullptr);
  for (int i = 0; i < w * h; ++i) EXPECT_EQ(pixels(g)[i], grey(greys[i], 255));
  delete g;
}

TEST(LoadPNG, TruncatedInputIsRefusedAtEveryLength)
{
  const Bytes png = encode(image(12, 9, PNG_COLOR_TYPE_RGBA, 8, true));
  TempFolder dir{"davrel-png"};
  const std::string path = dir.file("cut.png");
  std::string log;
  for (size_t n = 0; n < png.size(); ++n)
  {
    log = captureLog([&] {
      LICE_IBitmap* b = LICE_LoadPNGFromMemory(png.data(), (int)n, nullptr);
      EXPECT_EQ(b, nullptr) << n;
      delete b;
    });
    EXPECT_NE(log.find("LICE: PNG"), std::string::npos) << n;
    if (n % 7 == 0)
    {
      writeFile(path, Bytes(png.begin(), png.begin() + n));
      log = captureLog([&] {
        LICE_IBitmap* b = LICE_LoadPNG(path.c_str(), nullptr);
        EXPECT_EQ(b, nullptr) << n;
        delete b;
      });
      EXPECT_NE(log.find(path), std::string::npos) << log;
    }
  }
}

TEST(LoadPNG, CorruptInputNeverCrashes)
{
  PngImage s = image(16, 16, PNG_COLOR_TYPE_PALETTE, 8, false);
  for (int i = 0; i < 256; ++i) s.palette.push_back(png_color{(png_byte)i, (png_byte)(i / 2), 9});
  s.paletteAlpha.assign(100, 128);
  const Bytes good = encode(s);
  ASSERT_FALSE(good.empty());
  std::mt19937 rng(99);
  CaptureConsole();
  for (int round = 0; round < 600; ++round)
  {
    Bytes b = good;
    const int flips = 1 + (int)(rng() % 4);
    for (int i = 0; i < flips; ++i) b[rng() % b.size()] ^= (unsigned char)(1 + rng() % 255);
    LICE_IBitmap* bmp = LICE_LoadPNGFromMemory(b.data(), (int)b.size(), nullptr);
    if (bmp)
    {
      EXPECT_EQ(bmp->getWidth(), 16);
      EXPECT_EQ(bmp->getHeight(), 16);
    }
    delete bmp;
  }
  CapturedConsole();
}

namespace {

void putU32(Bytes& b, size_t at, uint32_t v)
{
  b[at] = (unsigned char)(v >> 24);
  b[at + 1] = (unsigned char)(v >> 16);
  b[at + 2] = (unsigned char)(v >> 8);
  b[at + 3] = (unsigned char)v;
}

// A file whose header says width x height (and the given depth and colour type),
// with its checksum mended, followed by the small image data of the original.
Bytes withHeader(Bytes png, uint32_t width, uint32_t height, int depth = -1, int colorType = -1)
{
  // Signature 8 bytes, then length 4, "IHDR" 4, data 13, CRC 4.
  putU32(png, 16, width);
  putU32(png, 20, height);
  if (depth >= 0) png[24] = (unsigned char)depth;
  if (colorType >= 0) png[25] = (unsigned char)colorType;
  putU32(png, 29, (uint32_t)crc32(0, png.data() + 12, 17));
  return png;
}

}  // namespace

TEST(LoadPNG, CraftedHeadersAreRefusedBeforeAnythingIsAllocated)
{
  const Bytes small = encode(image(3, 3, PNG_COLOR_TYPE_RGBA, 8));
  struct Header
  {
    uint32_t w, h;
    int depth, colorType;
  };
  const Header headers[] = {
    {65536, 65537, -1, -1},  // the byte size wraps in 32 bits
    {70000, 70000, -1, -1},  // 19.6 GB
    {8193, 8192, -1, -1},    // just over 256 MiB
    {0x7FFFFFFF, 1, -1, -1}, {1, 0x7FFFFFFF, -1, -1}, {0, 3, -1, -1}, {0x80000000u, 1, -1, -1},
    {3, 3, 3, -1},   // no such depth
    {3, 3, -1, 5},   // no such colour type
    {3, 3, 16, 3},   // palette images stop at 8 bits
  };
  for (const Header& h : headers)
  {
    const Bytes png = withHeader(small, h.w, h.h, h.depth, h.colorType);
    LICE_MemBitmap given(2, 2);
    const std::string log = captureLog([&] {
      EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)png.size(), nullptr), nullptr) << h.w << "x" << h.h;
      EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)png.size(), &given), nullptr) << h.w << "x" << h.h;
    });
    EXPECT_NE(log.find("LICE: PNG"), std::string::npos) << log;
    EXPECT_EQ(given.getWidth(), 2);  // refused before the bitmap was resized
  }
  const std::string log = captureLog([&] {
    const Bytes png = withHeader(small, 65536, 65537);
    EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)png.size(), nullptr), nullptr);
  });
  EXPECT_NE(log.find("65536 x 65537 pixels is too large"), std::string::npos) << log;
}

namespace {

// A bitmap that cannot change its size.
class FixedBitmap : public LICE_MemBitmap
{
public:
  FixedBitmap() : LICE_MemBitmap(4, 4) {}
  bool resize(int, int) override { return false; }
};

}  // namespace

// Input that is no PNG, files and resources that are not there, and a given bitmap
// that cannot take the size: nothing comes back and the given bitmap is left alone.
TEST(LoadPNG, RefusedInputLeavesTheGivenBitmapAlone)
{
  const Bytes png = encode(image(3, 2, PNG_COLOR_TYPE_RGB, 8));
  Bytes wrong = png;
  wrong[1] = 'Q';
  LICE_MemBitmap b(5, 5);  // refused before it is resized
  FixedBitmap fixed;
  const std::string log = captureLog([&] {
    EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), 7, &b), nullptr);
    EXPECT_EQ(LICE_LoadPNGFromMemory(wrong.data(), (int)wrong.size(), &b), nullptr);
    EXPECT_EQ(LICE_LoadPNGFromMemory(nullptr, 100, &b), nullptr);
    EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), -5, &b), nullptr);
    EXPECT_EQ(LICE_LoadPNG("/nonexistent/x.png", &b), nullptr);
    EXPECT_EQ(LICE_LoadPNG(nullptr, &b), nullptr);
    EXPECT_EQ(LICE_LoadPNGFromResource(nullptr, 101, &b), nullptr);
    EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)png.size(), &fixed), nullptr);
  });
  EXPECT_EQ(b.getWidth(), 5);
  EXPECT_EQ(b.getHeight(), 5);
  EXPECT_NE(log.find("cannot take"), std::string::npos) << log;
  EXPECT_NE(log.find("/nonexistent/x.png"), std::string::npos) << log;
  // The same size needs no resizing.
  const Bytes same = encode(image(4, 4, PNG_COLOR_TYPE_RGB, 8));
  EXPECT_EQ(LICE_LoadPNGFromMemory(same.data(), (int)same.size(), &fixed), &fixed);
}

TEST(PNGLoader, ChecksTheExtensionOnlyWhenAsked)
{
  EXPECT_EQ(LICE_ImageLoader_list, &LICE_pngldr);
  const char* ext = LICE_pngldr.get_extlist();
  EXPECT_STREQ(ext, "PNG files (*.PNG)");
  EXPECT_STREQ(ext + strlen(ext) + 1, "*.PNG");
  EXPECT_EQ(ext[strlen(ext) + 1 + strlen("*.PNG") + 1], '\0');

  TempFolder dir{"davrel-png"};
  const Bytes png = encode(image(2, 2, PNG_COLOR_TYPE_RGB, 8));
  for (const char* name : {"a.PNG", "b.png", "c.jpg", "noext", "d.png.bak"}) writeFile(dir.file(name), png);
  auto load = [&](const char* name, bool check) {
    LICE_IBitmap* b = LICE_pngldr.loadfunc(dir.file(name).c_str(), check, nullptr);
    const bool ok = b != nullptr;
    delete b;
    return ok;
  };
  EXPECT_TRUE(load("a.PNG", true));
  EXPECT_TRUE(load("b.png", true));
  EXPECT_FALSE(load("c.jpg", true));
  EXPECT_FALSE(load("noext", true));
  EXPECT_FALSE(load("d.png.bak", true));
  EXPECT_TRUE(load("c.jpg", false));
  EXPECT_TRUE(load("noext", false));
}

TEST(LoadPNG, NamedResourcesComeFromTheMainBundlesFolder)
{
  // The main bundle of a test program is the folder it runs from.
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(n, 0);
  const std::string exe(self, (size_t)n);
  const std::string folder = exe.substr(0, exe.rfind('/'));
  const std::string sub = "named-png-" + std::to_string(getpid());
  ASSERT_EQ(mkdir((folder + "/" + sub).c_str(), 0700), 0);
  struct Remove
  {
    std::string dir;
    ~Remove()
    {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } remove{folder + "/" + sub};
  writeFile(folder + "/" + sub + "/knob.png", encode(image(3, 2, PNG_COLOR_TYPE_RGB, 8)));
  writeFile(folder + "/" + sub + "/broken.png", Bytes{0x89, 'P', 'N', 'G'});

  // Names of exactly the longest length and one longer, both present.
  const std::string deep = sub + "/" + std::string(200, 'd') + "/";
  const std::string longest = deep + std::string(kMaxResourceNameLen - deep.size() - 4, 'x') + ".png";
  const std::string tooLong = deep + std::string(kMaxResourceNameLen - deep.size() - 3, 'x') + ".png";
  ASSERT_EQ(mkdir((folder + "/" + deep).c_str(), 0700), 0);
  writeFile(folder + "/" + longest, encode(image(3, 2, PNG_COLOR_TYPE_RGB, 8)));
  writeFile(folder + "/" + tooLong, encode(image(3, 2, PNG_COLOR_TYPE_RGB, 8)));
  const struct
  {
    std::string name;
    bool loads;
  } cases[] = {
    {sub + "/knob.png", true},
    {"./" + sub + "/knob.png", true},
    {sub + "/missing.png", false},
    {sub + "/broken.png", false},
    {sub, false},  // a folder
    {"", false},
    {"../" + folder.substr(folder.rfind('/') + 1) + "/" + sub + "/knob.png", false},
    {folder + "/" + sub + "/knob.png", false},  // absolute
    {longest, true},
    {tooLong, false},
  };
  for (const auto& tc : cases)
  {
    // The log is kept out of the test's output; the checks stay outside it.
    LICE_IBitmap* made = nullptr;
    LICE_IBitmap* into = nullptr;
    LICE_MemBitmap given(1, 1);
    captureLog([&] {
      made = LICE_LoadPNGFromNamedResource(tc.name.c_str(), nullptr);
      into = LICE_LoadPNGFromNamedResource(tc.name.c_str(), &given);
    });
    EXPECT_EQ(made != nullptr, tc.loads) << tc.name;
    EXPECT_EQ(into == &given, tc.loads) << tc.name;
    if (tc.loads && made)
    {
      EXPECT_EQ(made->getWidth(), 3);
      EXPECT_EQ(made->getHeight(), 2);
      EXPECT_EQ(given.getWidth(), 3);
    }
    delete made;
  }
  LICE_IBitmap* none = nullptr;
  captureLog([&] { none = LICE_LoadPNGFromNamedResource(nullptr, nullptr); });
  EXPECT_EQ(none, nullptr);
}

// The writer's files read back through the loader: RGB comes back opaque, RGBA keeps
// its alpha, whatever the row filtering.
TEST(WritePNG, BitmapsReadBackWithOrWithoutAlpha)
{
  LICE_MemBitmap src(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      src.getBits()[y * src.getRowSpan() + x] = LICE_MakePixel(x * 30, y * 40, 200 - x * y, 10 + x + y);
  TempFolder dir;
  const struct
  {
    bool alpha, unfiltered;
  } cases[] = {{false, false}, {true, false}, {true, true}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "alpha " << c.alpha << ", unfiltered " << c.unfiltered);
    const std::string path = dir.file("out.png");
    ASSERT_TRUE(LICE_WritePNG(path.c_str(), &src, c.alpha, c.unfiltered));
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
    std::unique_ptr<LICE_IBitmap> back(LICE_LoadPNG(path.c_str(), nullptr));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->getWidth(), 7);
    ASSERT_EQ(back->getHeight(), 5);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x)
      {
        const LICE_PixelValue p = LICE_GetPixel(&src, x, y);
        const LICE_PixelValue opaque = LICE_MakePixel(LICE_PixelR(p), LICE_PixelG(p), LICE_PixelB(p), 255);
        EXPECT_EQ(LICE_GetPixel(back.get(), x, y), c.alpha ? p : opaque) << x << "," << y;
      }
  }
}

TEST(WritePNG, FailuresLeaveNoFileAndSaySo)
{
  TempFolder dir;
  LICE_MemBitmap empty;
  const std::string missing = dir.path() + "/no/such/folder/x.png";
  const std::string log = captureLog([&] {
    EXPECT_FALSE(LICE_WritePNG(missing.c_str(), &empty, false));
    EXPECT_FALSE(LICE_WritePNG(missing.c_str(), nullptr, false));
    EXPECT_FALSE(LICE_WritePNGRows(missing.c_str(), 2, 2, false, false, [](int, unsigned char* row) {
      for (int i = 0; i < 6; ++i) row[i] = 1;
    }));
  });
  EXPECT_NE(log.find("cannot open"), std::string::npos) << log;
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/no"));
}

// The compressed stream's own checksum is not verified; every image-data chunk's
// CRC still is, so a byte changed anywhere in the compressed data is refused.
TEST(LoadPNG, ChangedImageDataIsRefusedByTheChunkChecksum)
{
  const Bytes png = encode(image(40, 30, PNG_COLOR_TYPE_RGBA, 8, true));
  const std::string tag = "IDAT";
  const size_t at = std::string(png.begin(), png.end()).find(tag);
  ASSERT_NE(at, std::string::npos);
  const size_t length = (size_t)png[at - 4] << 24 | (size_t)png[at - 3] << 16 | (size_t)png[at - 2] << 8 | png[at - 1];
  ASSERT_GT(length, 8u);
  for (size_t k = 0; k < length; k += 1 + length / 13)
  {
    Bytes b = png;
    b[at + 4 + k] ^= 0x10;
    const std::string log = captureLog([&] {
      LICE_IBitmap* bmp = LICE_LoadPNGFromMemory(b.data(), (int)b.size(), nullptr);
      EXPECT_EQ(bmp, nullptr) << k;
      delete bmp;
    });
    EXPECT_NE(log.find("LICE: PNG"), std::string::npos) << k;
  }
  LICE_IBitmap* whole = LICE_LoadPNGFromMemory(png.data(), (int)png.size(), nullptr);
  EXPECT_NE(whole, nullptr);
  delete whole;
}
