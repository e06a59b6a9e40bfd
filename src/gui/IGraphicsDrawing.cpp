// The drawing operations of the graphics object: each turns the framework's value
// types into one or a few raster calls on the draw bitmap. Main thread, inside the
// drawing pass.

#include "gui/IGraphics.h"

#include "raster/cachedfont.h"
#include "raster/lice.h"
#include "raster/lice_draw.h"

#include <cmath>

namespace {

LICE_PixelValue pixelOf(const IColor* c) { return LICE_MakePixel(c->R, c->G, c->B, c->A); }

float weightOf(const IChannelBlend* blend) { return blend ? blend->mWeight : 1.0f; }

int modeOf(const IChannelBlend* blend)
{
  if (!blend) return LICE_MODE_COPY | LICE_MODE_SOURCEALPHA;
  switch (blend->mMethod)
  {
    case IChannelBlend::kBlendClobber: return LICE_MODE_COPY;
    case IChannelBlend::kBlendAdd: return LICE_MODE_ADD | LICE_MODE_SOURCEALPHA;
    case IChannelBlend::kBlendColorDodge: return LICE_MODE_COLORDODGE | LICE_MODE_SOURCEALPHA;
    default: return LICE_MODE_COPY | LICE_MODE_SOURCEALPHA;
  }
}

// Where frame k (1-based) of n starts along an axis of the given size.
int frameOffset(int frame, int size, int n)
{
  if (n < 2 || frame <= 1) return 0;
  return (int)((double)(frame - 1) * (double)size / (double)n + 0.5);
}

// The part of dest inside the drawing pass's area; empty when they do not meet.
IRECT clipToDrawArea(const IRECT& dest, const IRECT& area)
{
  if (!dest.Intersects(area)) return IRECT();
  return IRECT(dest.L > area.L ? dest.L : area.L, dest.T > area.T ? dest.T : area.T,
               dest.R < area.R ? dest.R : area.R, dest.B < area.B ? dest.B : area.B);
}

}  // namespace

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY, const IChannelBlend* blend)
{
  if (!bitmap || !dest) return true;
  const IRECT r = clipToDrawArea(*dest, mDrawRECT);
  LICE_Blit(mDrawBitmap, bitmap->mData, r.L, r.T, srcX + r.L - dest->L, srcY + r.T - dest->T, r.W(), r.H(),
            weightOf(blend), modeOf(blend));
  return true;
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int frame, const IChannelBlend* blend)
{
  return DrawBitmap(bitmap, dest, frame, 0, 0, blend);
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int frame, int srcX, int srcY, const IChannelBlend* blend)
{
  if (!bitmap) return true;
  if (bitmap->mFramesAreHorizontal)
    srcX = frameOffset(frame, bitmap->W, bitmap->N);
  else
    srcY = frameOffset(frame, bitmap->H, bitmap->N);
  return DrawBitmap(bitmap, dest, srcX, srcY, blend);
}

bool IGraphics::DrawRotatedBitmap(IBitmap* bitmap, int destCtrX, int destCtrY, double angle, int yOffsetZeroDeg,
                                  const IChannelBlend* blend)
{
  if (!bitmap) return true;
  const int w = bitmap->W, h = bitmap->H;
  LICE_RotatedBlit(mDrawBitmap, bitmap->mData, destCtrX - w / 2, destCtrY - h / 2, w, h, 0.0f, 0.0f, (float)w,
                   (float)h, (float)angle, false, weightOf(blend), modeOf(blend) | LICE_MODE_BILINEAR, 0.0f,
                   (float)yOffsetZeroDeg);
  return true;
}

bool IGraphics::DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y, double angle,
                                const IChannelBlend* blend)
{
  if (!base || !mask || !top) return true;
  if (!mTmpBitmap) mTmpBitmap = new LICE_MemBitmap(0, 0, 4);
  const float radians = (float)(angle * M_PI / 180.0);
  const int w = base->W, h = base->H;
  const float xCentre = (w & 1) ? -0.5f : 0.0f;

  LICE_Copy(mTmpBitmap, base->mData);
  // Colours kept, every alpha byte cleared: the mask then decides what shows.
  LICE_ClearRect(mTmpBitmap, 0, 0, w, h, 0xFFFFFF00, 0);
  LICE_RotatedBlit(mTmpBitmap, mask->mData, 0, 0, w, h, 0.0f, 0.0f, (float)w, (float)h, radians, true, 1.0f,
                   LICE_MODE_ADD | LICE_MODE_BILINEAR | LICE_MODE_SOURCEALPHA, xCentre, 0.0f);
  LICE_RotatedBlit(mTmpBitmap, top->mData, 0, 0, w, h, 0.0f, 0.0f, (float)w, (float)h, radians, true, 1.0f,
                   LICE_MODE_COPY | LICE_MODE_BILINEAR | LICE_MODE_SOURCEALPHA, xCentre, 0.0f);

  const IRECT r = clipToDrawArea(IRECT(x, y, x + w, y + h), mDrawRECT);
  LICE_Blit(mDrawBitmap, mTmpBitmap, r.L, r.T, r.L - x, r.T - y, r.W(), r.H(), weightOf(blend), modeOf(blend));
  return true;
}

bool IGraphics::DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend, bool)
{
  LICE_PutPixel(mDrawBitmap, (int)(x + 0.5f), (int)(y + 0.5f), pixelOf(color), weightOf(blend), modeOf(blend));
  return true;
}

bool IGraphics::ForcePixel(const IColor* color, int x, int y)
{
  LICE_PixelValue* bits = mDrawBitmap ? mDrawBitmap->getBits() : nullptr;
  if (bits && x >= 0 && y >= 0 && x < mDrawBitmap->getWidth() && y < mDrawBitmap->getHeight())
    bits[(long)y * mDrawBitmap->getRowSpan() + x] = pixelOf(color);
  return true;
}

IColor IGraphics::GetPoint(int x, int y)
{
  const LICE_PixelValue v = LICE_GetPixel(mDrawBitmap, x, y);
  return IColor(LICE_PixelA(v), LICE_PixelR(v), LICE_PixelG(v), LICE_PixelB(v));
}

void* IGraphics::GetBits() { return mDrawBitmap ? mDrawBitmap->getBits() : nullptr; }

bool IGraphics::DrawLine(const IColor* color, float x1, float y1, float x2, float y2, const IChannelBlend* blend,
                         bool aa)
{
  LICE_Line(mDrawBitmap, (int)x1, (int)y1, (int)x2, (int)y2, pixelOf(color), weightOf(blend), modeOf(blend), aa);
  return true;
}

bool IGraphics::DrawRadialLine(const IColor* color, float cx, float cy, float angle, float rMin, float rMax,
                               const IChannelBlend* blend, bool aa)
{
  const float s = (float)std::sin((double)angle), c = (float)std::cos((double)angle);
  LICE_Line(mDrawBitmap, (int)(cx + rMin * s), (int)(cy - rMin * c), (int)(cx + rMax * s), (int)(cy - rMax * c),
            pixelOf(color), weightOf(blend), modeOf(blend), aa);
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* color, int xi, int yLo, int yHi)
{
  LICE_Line(mDrawBitmap, xi, yLo, xi, yHi, pixelOf(color), 1.0f, LICE_MODE_COPY, false);
  return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* color, int yi, int xLo, int xHi)
{
  LICE_Line(mDrawBitmap, xLo, yi, xHi, yi, pixelOf(color), 1.0f, LICE_MODE_COPY, false);
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* color, IRECT* rect, float x)
{
  x = x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
  const int xi = rect->L + (int)((float)rect->W() * x);
  return DrawVerticalLine(color, xi, rect->T, rect->B);
}

bool IGraphics::DrawHorizontalLine(const IColor* color, IRECT* rect, float y)
{
  y = y < 0.0f ? 0.0f : (y > 1.0f ? 1.0f : y);
  const int yi = rect->B - (int)((float)rect->H() * y);
  return DrawHorizontalLine(color, yi, rect->L, rect->R);
}

bool IGraphics::DrawRect(const IColor* color, IRECT* rect)
{
  const LICE_PixelValue p = pixelOf(color);
  LICE_Line(mDrawBitmap, rect->L, rect->T, rect->R, rect->T, p, 1.0f, LICE_MODE_COPY, false);
  LICE_Line(mDrawBitmap, rect->L, rect->B, rect->R, rect->B, p, 1.0f, LICE_MODE_COPY, false);
  LICE_Line(mDrawBitmap, rect->L, rect->T, rect->L, rect->B, p, 1.0f, LICE_MODE_COPY, false);
  LICE_Line(mDrawBitmap, rect->R, rect->T, rect->R, rect->B, p, 1.0f, LICE_MODE_COPY, false);
  return true;
}

bool IGraphics::DrawArc(const IColor* color, float cx, float cy, float r, float minAngle, float maxAngle,
                        const IChannelBlend* blend, bool aa)
{
  LICE_Arc(mDrawBitmap, cx, cy, r, minAngle, maxAngle, pixelOf(color), weightOf(blend), modeOf(blend), aa);
  return true;
}

bool IGraphics::DrawCircle(const IColor* color, float cx, float cy, float r, const IChannelBlend* blend, bool aa)
{
  LICE_Circle(mDrawBitmap, cx, cy, r, pixelOf(color), weightOf(blend), modeOf(blend), aa);
  return true;
}

bool IGraphics::RoundRect(const IColor* color, IRECT* rect, const IChannelBlend* blend, int cornerRadius, bool aa)
{
  LICE_RoundRect(mDrawBitmap, (float)rect->L, (float)rect->T, (float)rect->W(), (float)rect->H(), cornerRadius,
                 pixelOf(color), weightOf(blend), modeOf(blend), aa);
  return true;
}

bool IGraphics::FillRoundRect(const IColor* color, IRECT* rect, const IChannelBlend* blend, int cornerRadius,
                              bool aa)
{
  const LICE_PixelValue p = pixelOf(color);
  const float a = weightOf(blend);
  const int mode = modeOf(blend);
  const int cr = cornerRadius;
  const int l = rect->L, t = rect->T, r = rect->R, b = rect->B;
  LICE_FillRect(mDrawBitmap, l + cr, t, (r - l) - 2 * cr, b - t, p, a, mode);
  LICE_FillRect(mDrawBitmap, l, t + cr, cr, (b - t) - 2 * cr, p, a, mode);
  LICE_FillRect(mDrawBitmap, r - cr, t + cr, cr, (b - t) - 2 * cr, p, a, mode);
  const float fcr = (float)cr;
  LICE_FillCircle(mDrawBitmap, (float)l + fcr, (float)t + fcr, fcr, p, a, mode, aa);
  LICE_FillCircle(mDrawBitmap, (float)r - fcr - 1.0f, (float)b - fcr - 1.0f, fcr, p, a, mode, aa);
  LICE_FillCircle(mDrawBitmap, (float)r - fcr - 1.0f, (float)t + fcr, fcr, p, a, mode, aa);
  LICE_FillCircle(mDrawBitmap, (float)l + fcr, (float)b - fcr - 1.0f, fcr, p, a, mode, aa);
  return true;
}

bool IGraphics::FillIRect(const IColor* color, IRECT* rect, const IChannelBlend* blend)
{
  LICE_FillRect(mDrawBitmap, rect->L, rect->T, rect->W(), rect->H(), pixelOf(color), weightOf(blend),
                modeOf(blend));
  return true;
}

bool IGraphics::FillCircle(const IColor* color, int cx, int cy, float r, const IChannelBlend* blend, bool aa)
{
  LICE_FillCircle(mDrawBitmap, (float)cx, (float)cy, r, pixelOf(color), weightOf(blend), modeOf(blend), aa);
  return true;
}

bool IGraphics::FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3,
                             const IChannelBlend* blend)
{
  LICE_FillTriangle(mDrawBitmap, x1, y1, x2, y2, x3, y3, pixelOf(color), weightOf(blend), modeOf(blend));
  return true;
}

bool IGraphics::FillIConvexPolygon(const IColor* color, int* x, int* y, int npoints, const IChannelBlend* blend)
{
  LICE_FillConvexPolygon(mDrawBitmap, x, y, npoints, pixelOf(color), weightOf(blend), modeOf(blend));
  return true;
}

IBitmap IGraphics::ScaleBitmap(IBitmap* bitmap, int w, int h)
{
  LICE_MemBitmap* scaled = new LICE_MemBitmap(w, h, 4);
  LICE_ScaledBlit(scaled, bitmap->mData, 0, 0, w, h, 0.0f, 0.0f, (float)bitmap->W, (float)bitmap->H, 1.0f,
                  LICE_MODE_BILINEAR);
  IBitmap result(scaled, w, h, bitmap->N, false);
  RetainBitmap(&result);
  return result;
}

IBitmap IGraphics::CropBitmap(IBitmap* bitmap, IRECT* rect)
{
  const int w = rect->W(), h = rect->H();
  LICE_MemBitmap* cropped = new LICE_MemBitmap(w, h, 4);
  LICE_Blit(cropped, bitmap->mData, 0, 0, rect->L, rect->T, w, h, 1.0f, LICE_MODE_COPY);
  IBitmap result(cropped, w, h, bitmap->N, false);
  RetainBitmap(&result);
  return result;
}

bool IGraphics::DrawIText(IText* text, char* str, IRECT* rect, bool measure)
{
  return drawText(text, str, rect, measure, false);
}

bool IGraphics::DrawITextInside(IText* text, char* str, IRECT* rect) { return drawText(text, str, rect, false, true); }

bool IGraphics::drawText(IText* text, char* str, IRECT* rect, bool measure, bool inside)
{
  if (!str || !*str) return true;
  if (!text || !rect) return false;
  LICE_IFont* font = text->mCached ? text->mCached : CacheFont(text);
  if (!font) return false;
  font->SetTextColor(pixelOf(&text->mColor));

  unsigned int format = inside ? 0 : DT_NOCLIP;
  if (text->mColor.A < 255) format |= LICE_TEXT_COLORALPHA;
  if (text->mAlign == IText::kAlignCenter)
    format |= DT_CENTER;
  else if (text->mAlign == IText::kAlignFar)
    format |= DT_RIGHT;
  unsigned int vertical = DT_VCENTER;
  if (text->mVAlign == IText::kVAlignBottom)
    vertical = DT_BOTTOM;
  else if (text->mVAlign == IText::kVAlignTop)
    vertical = 0;

  if (measure)
  {
    RECT r = {0, 0, 0, 0};
    font->DrawText(mDrawBitmap, str, -1, &r, format | DT_CALCRECT | vertical);
    const int width = r.right, height = r.bottom;
    if (text->mAlign == IText::kAlignCenter)
    {
      rect->L = rect->MW() - width / 2;
      rect->R = rect->L + width;
    }
    else if (text->mAlign == IText::kAlignFar)
      rect->L = rect->R - width;
    else
      rect->R = rect->L + width;
    rect->B = rect->T + height;
    return true;
  }

  if (!mDrawBitmap) return true;
  RECT r = {rect->L, rect->T, rect->R, rect->B};
  font->DrawText(mDrawBitmap, str, -1, &r, format | vertical);
  return true;
}
