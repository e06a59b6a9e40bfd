#pragma once
// The small value types every part of the GUI passes around: rectangles, colours,
// text styles, bitmaps with frames, blend settings, mouse modifiers and key codes.
// All are plain records, copied by value; none owns what it points to.

#include <cstring>

class LICE_IBitmap;
class LICE_IFont;

// Left and top inclusive, right and bottom exclusive. Only the all-zero rectangle
// is empty.
struct IRECT
{
  int L = 0, T = 0, R = 0, B = 0;

  IRECT() = default;
  IRECT(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}

  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  void Clear() { L = T = R = B = 0; }
  int W() const { return R - L; }
  int H() const { return B - T; }
  // Mid points, computed in single precision and truncated.
  int MW() const { return (int)((float)(L + R) * 0.5f); }
  int MH() const { return (int)((float)(T + B) * 0.5f); }

  bool Contains(int x, int y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }
  // Touching on the right or bottom edge counts as intersecting.
  bool Intersects(const IRECT& o) const
  {
    return !Empty() && !o.Empty() && R >= o.L && L < o.R && B >= o.T && T < o.B;
  }
  IRECT Union(const IRECT& o) const
  {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return IRECT(L < o.L ? L : o.L, T < o.T ? T : o.T, R > o.R ? R : o.R, B > o.B ? B : o.B);
  }

  bool operator==(const IRECT& o) const { return L == o.L && T == o.T && R == o.R && B == o.B; }
  bool operator!=(const IRECT& o) const { return !(*this == o); }
};

// Each component 0..255.
struct IColor
{
  int A = 255, R = 0, G = 0, B = 0;

  IColor() = default;
  IColor(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}

  bool operator==(const IColor& o) const { return A == o.A && R == o.R && G == o.G && B == o.B; }
  bool operator!=(const IColor& o) const { return !(*this == o); }
};

inline const IColor COLOR_TRANSPARENT(0, 0, 0, 0);
inline const IColor COLOR_BLACK(255, 0, 0, 0);
inline const IColor COLOR_GRAY(255, 127, 127, 127);
inline const IColor COLOR_WHITE(255, 255, 255, 255);
inline const IColor COLOR_RED(255, 255, 0, 0);
inline const IColor COLOR_GREEN(255, 0, 255, 0);
inline const IColor COLOR_BLUE(255, 0, 0, 255);
inline const IColor COLOR_YELLOW(255, 255, 255, 0);
inline const IColor COLOR_ORANGE(255, 255, 127, 0);

inline const IColor DEFAULT_TEXT_COLOR = COLOR_BLACK;
inline const IColor DEFAULT_TEXT_ENTRY_BGCOLOR = COLOR_WHITE;
inline const IColor DEFAULT_TEXT_ENTRY_FGCOLOR = COLOR_BLACK;

struct IText
{
  enum EStyle
  {
    kStyleNormal = 0,
    kStyleBold = 1,
    kStyleItalic = 2
  };
  enum EAlign
  {
    kAlignNear = 0,
    kAlignCenter = 1,
    kAlignFar = 2
  };
  // Any value other than top and bottom centres vertically.
  enum EVAlign
  {
    kVAlignTop = 0,
    kVAlignBottom = 1,
    kVAlignCenter = 2
  };
  enum EQuality
  {
    kQualityDefault = 0,
    kQualityNonAntiAliased = 1,
    kQualityAntiAliased = 2,
    kQualityClearType = 3
  };

  static const int kFontNameLen = 32;

  char mFont[kFontNameLen];
  int mSize = 12;
  IColor mColor = DEFAULT_TEXT_COLOR;
  IColor mTextEntryBGColor = DEFAULT_TEXT_ENTRY_BGCOLOR;
  IColor mTextEntryFGColor = DEFAULT_TEXT_ENTRY_FGCOLOR;
  int mStyle = kStyleNormal;
  int mAlign = kAlignCenter;
  int mVAlign = kVAlignCenter;
  int mOrientation = 0;  // degrees
  int mQuality = kQualityClearType;
  // Filled by IGraphics::CacheFont; the font store owns it.
  LICE_IFont* mCached = nullptr;

  IText() { SetFont("Consolas"); }
  IText(int size, const IColor& color, const char* font = nullptr, int style = kStyleNormal, int align = kAlignCenter,
        int orientation = 0, int quality = kQualityClearType)
    : mSize(size), mColor(color), mStyle(style), mAlign(align), mOrientation(orientation), mQuality(quality)
  {
    SetFont(font ? font : "Consolas");
  }

  // Longer names are cut to fit.
  void SetFont(const char* font)
  {
    if (!font) font = "";
    const size_t n = strnlen(font, kFontNameLen - 1);
    memcpy(mFont, font, n);
    mFont[n] = 0;
  }
};

// W and H are the whole bitmap's size; a frame is W x H/N, or W/N x H with the
// frames side by side. The bitmap store owns the pixels.
struct IBitmap
{
  LICE_IBitmap* mData = nullptr;
  int W = 0, H = 0, N = 1;
  bool mFramesAreHorizontal = false;

  IBitmap() = default;
  IBitmap(LICE_IBitmap* data, int w, int h, int n = 1, bool framesAreHorizontal = false)
    : mData(data), W(w), H(h), N(n), mFramesAreHorizontal(framesAreHorizontal)
  {
  }

  int FrameWidth() const { return mFramesAreHorizontal && N > 0 ? W / N : W; }
  int FrameHeight() const { return !mFramesAreHorizontal && N > 0 ? H / N : H; }
};

struct IChannelBlend
{
  enum EBlendMethod
  {
    kBlendNone = 0,
    kBlendClobber = 1,
    kBlendAdd = 2,
    kBlendColorDodge = 3
  };

  int mMethod = kBlendNone;
  float mWeight = 1.0f;

  IChannelBlend() = default;
  IChannelBlend(int method, float weight = 1.0f) : mMethod(method), mWeight(weight) {}
};

// Left and right button, shift, control, option.
struct IMouseMod
{
  bool L = false, R = false, S = false, C = false, A = false;

  IMouseMod() = default;
  IMouseMod(bool l, bool r = false, bool s = false, bool c = false, bool a = false) : L(l), R(r), S(s), C(c), A(a) {}
};

// Keys handed to IGraphics::OnKeyDown; the view maps every other key elsewhere.
enum EIPlugKeyCodes
{
  KEY_SPACE = 0,
  KEY_UPARROW = 1,
  KEY_DOWNARROW = 2,
  KEY_LEFTARROW = 3,
  KEY_RIGHTARROW = 4,
  KEY_DIGIT_0 = 5,
  KEY_DIGIT_9 = 14,
  KEY_ALPHA_A = 15,
  KEY_ALPHA_Z = 40
};
