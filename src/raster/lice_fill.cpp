#include "raster/lice.h"
#include "raster/lice_fast.h"
#include "raster/lice_templates.h"

#include <climits>

namespace {

// The clipped rectangle of a fill; false when nothing of it is left.
struct FillArea
{
  LICE_PixelValue* first;  // top-left pixel
  int w, h, step;
};

bool clipFill(LICE_IBitmap* bmp, int x, int y, int w, int h, FillArea* out)
{
  LICE_PixelView v;
  if (!v.init(bmp)) return false;
  long long lx = x, ly = y, lw = w, lh = h;
  if (lx < 0)
  {
    lw += lx;
    lx = 0;
  }
  if (ly < 0)
  {
    lh += ly;
    ly = 0;
  }
  if (lx + lw > v.width) lw = v.width - lx;
  if (ly + lh > v.height) lh = v.height - ly;
  if (lw < 1 || lh < 1) return false;
  *out = {v.at((int)lx, (int)ly), (int)lw, (int)lh, v.step()};
  return true;
}

template <class RowFunc>
void eachRow(const FillArea& a, RowFunc f)
{
  LICE_PixelValue* row = a.first;
  for (int y = 0; y < a.h; ++y, row += a.step) f(row);
}

template <class COMBFUNC>
void solidFAST(const FillArea& a, LICE_PixelValue color)
{
  _LICE_Template_Blit0<COMBFUNC>::solidBlitFAST(a.first, a.w, a.h, COMBFUNC::prepare(color), a.step);
}

// Copy at the weights whose blend is whole shifts; false for any other weight.
bool wholeWordCopy(const FillArea& a, LICE_PixelValue color, int weight)
{
  switch (weight)
  {
    case 0: return true;
    case 64: solidFAST<_LICE_CombinePixelsQuarterMix2FAST>(a, color); return true;
    case 128: solidFAST<_LICE_CombinePixelsHalfMix2FAST>(a, color); return true;
    case 192: solidFAST<_LICE_CombinePixelsThreeQuarterMix2FAST>(a, color); return true;
    case 256:
      // Whole rows of a bitmap without padding are one run.
      if (LICE_FastPathsEnabled() && a.step == a.w && (long long)a.w * a.h <= INT_MAX)
        lice_fast::opaqueFillRow(a.first, a.w * a.h, color);
      else if (LICE_FastPathsEnabled())
        eachRow(a, [&](LICE_PixelValue* row) { lice_fast::opaqueFillRow(row, a.w, color); });
      else
        solidFAST<_LICE_CombinePixelsClobberFAST>(a, color);
      return true;
  }
  return false;
}

template <class COMBFUNC>
void solidWith(const FillArea& a, LICE_PixelValue color, int weight)
{
  _LICE_Template_Blit1<COMBFUNC>::solidBlit(a.first, a.w, a.h, LICE_PixelR(color), LICE_PixelG(color),
                                            LICE_PixelB(color), weight, a.step);
}

// The combiner of one pixel write, by mode & 0xFF; other modes draw nothing.
void putWith(unsigned char* d, LICE_PixelValue color, int weight, int mode)
{
  const int r = LICE_PixelR(color), g = LICE_PixelG(color), b = LICE_PixelB(color), a = LICE_PixelA(color);
  switch (mode & LICE_MODE_MASK)
  {
    case LICE_MODE_COPY:
      if (weight >= 1) _LICE_CombinePixelsCopyNoClamp::doPix(d, r, g, b, a, weight);
      break;
    case LICE_MODE_ADD: _LICE_CombinePixelsAdd::doPix(d, r, g, b, a, weight); break;
    case LICE_MODE_COLORDODGE: _LICE_CombinePixelsColorDodge::doPix(d, r, g, b, a, weight); break;
    case LICE_MODE_MULTIPLY: _LICE_CombinePixelsMulNoClamp::doPix(d, r, g, b, a, weight); break;
    case LICE_MODE_OVERLAY: _LICE_CombinePixelsOverlay::doPix(d, r, g, b, a, weight); break;
    case LICE_MODE_HSVADJUST: _LICE_CombinePixelsHSVAdjust::doPix(d, r, g, b, a, weight); break;
  }
}

int fixed8(float v)
{
  const double f = (double)v * 256.0;
  if (!(f == f)) return 0;
  const double limit = 1 << 20;  // far beyond any useful scale, and no product overflows
  return f > limit ? (int)limit : f < -limit ? -(int)limit : (int)f;
}

}  // namespace

void LICE_Clear(LICE_IBitmap* dest, LICE_PixelValue color)
{
  LICE_PixelView v;
  if (!v.init(dest)) return;
  for (int y = 0; y < v.height; ++y)
  {
    LICE_PixelValue* row = v.row(y);
    for (int x = 0; x < v.width; ++x) row[x] = color;
  }
}

void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelValue color, float alpha, int mode)
{
  if (!dest) return;
  if (mode & LICE_MODE_SOURCEALPHA) alpha *= LICE_PixelA(color) / 255.0f;
  FillArea a;
  if (!clipFill(dest, x, y, w, h, &a) || alpha == 0.0f) return;
  const int weight = LICE_WeightFromAlpha(alpha);

  if ((mode & LICE_MODE_MASK) == LICE_MODE_COPY && wholeWordCopy(a, color, weight)) return;
  if (weight == 0) return;
  switch (mode & LICE_MODE_MASK)
  {
    case LICE_MODE_COPY:
      if (weight >= 1 && weight < 256 && LICE_FastPathsEnabled())
        eachRow(a, [&](LICE_PixelValue* row) { lice_fast::fillCopyRow(row, a.w, color, weight); });
      else if (weight >= 1)
        solidWith<_LICE_CombinePixelsCopyNoClamp>(a, color, weight);
      break;
    case LICE_MODE_ADD: solidWith<_LICE_CombinePixelsAdd>(a, color, weight); break;
    case LICE_MODE_COLORDODGE: solidWith<_LICE_CombinePixelsColorDodge>(a, color, weight); break;
    case LICE_MODE_MULTIPLY: solidWith<_LICE_CombinePixelsMulNoClamp>(a, color, weight); break;
    case LICE_MODE_OVERLAY: solidWith<_LICE_CombinePixelsOverlay>(a, color, weight); break;
    case LICE_MODE_HSVADJUST: solidWith<_LICE_CombinePixelsHSVAdjust>(a, color, weight); break;
  }
}

void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelValue mask, LICE_PixelValue orbits)
{
  FillArea a;
  if (!clipFill(dest, x, y, w, h, &a)) return;
  eachRow(a, [&](LICE_PixelValue* row) {
    for (int i = 0; i < a.w; ++i) row[i] = (row[i] & mask) | orbits;
  });
}

void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc, float bsc,
                          float asc, float radd, float gadd, float badd, float aadd)
{
  FillArea a;
  if (!clipFill(dest, x, y, w, h, &a)) return;
  int sc[4], add[4];
  sc[LICE_PIXEL_R] = fixed8(rsc);
  sc[LICE_PIXEL_G] = fixed8(gsc);
  sc[LICE_PIXEL_B] = fixed8(bsc);
  sc[LICE_PIXEL_A] = fixed8(asc);
  add[LICE_PIXEL_R] = fixed8(radd);
  add[LICE_PIXEL_G] = fixed8(gadd);
  add[LICE_PIXEL_B] = fixed8(badd);
  add[LICE_PIXEL_A] = fixed8(aadd);
  eachRow(a, [&](LICE_PixelValue* row) {
    for (int i = 0; i < a.w; ++i)
    {
      unsigned char* p = (unsigned char*)(row + i);
      // The shift is arithmetic: negative sums round down before clamping.
      for (int c = 0; c < 4; ++c) p[c] = (unsigned char)LICE_Clamp255((p[c] * sc[c] + add[c]) >> 8);
    }
  });
}

void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h,
                      void (*procFunc)(LICE_PixelValue* pixel, void* parm), void* parm)
{
  FillArea a;
  if (!procFunc || !clipFill(dest, x, y, w, h, &a)) return;
  eachRow(a, [&](LICE_PixelValue* row) {
    for (int i = 0; i < a.w; ++i) procFunc(row + i, parm);
  });
}

LICE_PixelValue LICE_GetPixel(LICE_IBitmap* bmp, int x, int y)
{
  LICE_PixelView v;
  if (!v.init(bmp) || x < 0 || y < 0 || x >= v.width || y >= v.height) return 0;
  return *v.at(x, y);
}

void LICE_PutPixel(LICE_IBitmap* bmp, int x, int y, LICE_PixelValue color, float alpha, int mode)
{
  LICE_PixelView v;
  if (!v.init(bmp) || x < 0 || y < 0 || x >= v.width || y >= v.height) return;
  LICE_PixelValue* p = v.at(x, y);
  const int weight = LICE_WeightFromAlpha(alpha);
  if ((mode & LICE_MODE_MASK) == LICE_MODE_COPY && wholeWordCopy({p, 1, 1, 0}, color, weight)) return;
  if (weight == 0) return;
  putWith((unsigned char*)p, color, weight, mode);
}
