#include "winsys/gdi_draw.h"

#include "platform/coregraphics/cgdraw.h"
#include "raster/lice.h"

#include <cmath>
#include <cstdint>

namespace {

bool live(HDC ctx)
{
  return ctx && !ctx->freed && ctx->ctx;
}

bool usable(HGDIOBJ h, int type)
{
  return (uintptr_t)h >= 5 && !h->freed && h->type == type && h->wid >= 0;
}

void strokeWith(HDC ctx, HPEN pen, CGFloat width)
{
  CGContextSetStrokeColorWithColor(ctx->ctx, pen->color);
  CGContextSetLineWidth(ctx->ctx, width);
}

CGFloat penWidth(HPEN pen)
{
  return pen->wid > 0 ? pen->wid : 1;
}

// A bitmap over pixels someone else owns: a window into a context or a source.
class PixelView : public LICE_IBitmap
{
public:
  PixelView(LICE_PixelValue* bits, int w, int h, int span) : m_bits(bits), m_w(w), m_h(h), m_span(span) {}
  LICE_PixelValue* getBits() override { return m_bits; }
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  int getRowSpan() override { return m_span; }
  bool resize(int, int) override { return false; }

private:
  LICE_PixelValue* m_bits;
  int m_w, m_h, m_span;
};

// Composites the source over the destination rectangle (user space) by the source's
// first byte as straight alpha, scaled by nearest pixel, inside the clip.
void blendOver(HDC dst, int x, int y, int w, int h, LICE_PixelValue* src, int sw, int sh, int span)
{
  CGContextRef gc = dst->ctx;
  int l, t, r, b;
  DVCGContextGetPixelClip(gc, &l, &t, &r, &b);
  LICE_PixelValue* bits = (LICE_PixelValue*)CGBitmapContextGetData(gc);
  if (!bits || r <= l || b <= t || w < 1 || h < 1) return;
  const int rowSpan = (int)(CGBitmapContextGetBytesPerRow(gc) / 4);
  PixelView clip(bits + (size_t)t * rowSpan + l, r - l, b - t, rowSpan);
  PixelView from(src, sw, sh, span);
  const DVCGClipGuard keep(gc);
  CGFloat ax, ay, bx, by;
  DVCGContextUserToPixel(gc, x, y, &ax, &ay);
  DVCGContextUserToPixel(gc, x + w, y + h, &bx, &by);
  const int px = (int)std::lround(std::fmin(ax, bx)), py = (int)std::lround(std::fmin(ay, by));
  LICE_ScaledBlit(&clip, &from, px - l, py - t, w, h, 0, 0, (float)sw, (float)sh, 1.0f,
                  LICE_MODE_COPY | LICE_MODE_SOURCEALPHA);
}

}  // namespace

void MoveToEx(HDC ctx, int x, int y, POINT* old)
{
  if (!live(ctx)) return;
  if (old)
  {
    old->x = (int32_t)ctx->lastpos_x;
    old->y = (int32_t)ctx->lastpos_y;
  }
  ctx->lastpos_x = (float)x;
  ctx->lastpos_y = (float)y;
}

void SWELL_LineTo(HDC ctx, int x, int y)
{
  if (!live(ctx) || !usable(ctx->curpen, SWELL_GDI_PEN)) return;
  const CGFloat w = penWidth(ctx->curpen), off = w / 2;
  CGContextRef gc = ctx->ctx;
  strokeWith(ctx, ctx->curpen, w);
  CGContextBeginPath(gc);
  CGContextMoveToPoint(gc, ctx->lastpos_x + off, ctx->lastpos_y + off);
  CGContextAddLineToPoint(gc, x + off, y + off);
  CGContextStrokePath(gc);
  ctx->lastpos_x = (float)x;
  ctx->lastpos_y = (float)y;
}

void PolyPolyline(HDC ctx, const POINT* pts, const DWORD* counts, int n)
{
  if (!live(ctx) || !pts || !counts || n <= 0 || !usable(ctx->curpen, SWELL_GDI_PEN)) return;
  const CGFloat w = ctx->curpen->wid < 1 ? 1 : ctx->curpen->wid, off = w / 2;
  CGContextRef gc = ctx->ctx;
  strokeWith(ctx, ctx->curpen, w);
  CGContextBeginPath(gc);
  for (int i = 0; i < n; ++i)
  {
    const DWORD c = counts[i];
    if (!c) continue;
    if (c >= 2)
    {
      CGContextMoveToPoint(gc, pts[0].x + off, pts[0].y + off);
      for (DWORD k = 1; k < c; ++k) CGContextAddLineToPoint(gc, pts[k].x + off, pts[k].y + off);
    }
    pts += c;
  }
  CGContextStrokePath(gc);
}

void PolyBezierTo(HDC ctx, const POINT* pts, int n)
{
  if (!live(ctx) || !pts || n < 3 || !usable(ctx->curpen, SWELL_GDI_PEN)) return;
  CGContextRef gc = ctx->ctx;
  strokeWith(ctx, ctx->curpen, ctx->curpen->wid < 1 ? 1 : ctx->curpen->wid);
  CGContextBeginPath(gc);
  CGContextMoveToPoint(gc, ctx->lastpos_x, ctx->lastpos_y);
  for (int i = 0; i + 3 <= n; i += 3)
  {
    CGContextAddCurveToPoint(gc, pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y, pts[i + 2].x, pts[i + 2].y);
    ctx->lastpos_x = (float)pts[i + 2].x;
    ctx->lastpos_y = (float)pts[i + 2].y;
  }
  CGContextStrokePath(gc);
}

void SWELL_Polygon(HDC ctx, const POINT* pts, int n)
{
  if (!live(ctx) || !pts || n < 2) return;
  const bool pen = usable(ctx->curpen, SWELL_GDI_PEN), brush = usable(ctx->curbrush, SWELL_GDI_BRUSH);
  if (!pen && !brush) return;
  CGContextRef gc = ctx->ctx;
  if (brush) CGContextSetFillColorWithColor(gc, ctx->curbrush->color);
  if (pen) strokeWith(ctx, ctx->curpen, penWidth(ctx->curpen));
  CGContextBeginPath(gc);
  CGContextMoveToPoint(gc, pts[0].x, pts[0].y);
  for (int i = 1; i < n; ++i) CGContextAddLineToPoint(gc, pts[i].x, pts[i].y);
  CGContextDrawPath(gc, pen && brush ? kCGPathFillStroke : pen ? kCGPathStroke : kCGPathFill);
}

void RoundRect(HDC ctx, int l, int t, int r, int b, int ew, int eh)
{
  const int dx = ew / 3, dy = eh / 3;
  const POINT pts[10] = {{l, t + dy}, {l + dx, t}, {r - dx, t}, {r, t + dy}, {r, b - dy},
                         {r - dx, b}, {l + dx, b}, {l, b - dy}, {l, t + dy}, {l + dx, t}};
  SWELL_Polygon(ctx, pts, 10);
}

void Ellipse(HDC ctx, int l, int t, int r, int b)
{
  if (!live(ctx)) return;
  CGContextRef gc = ctx->ctx;
  const CGRect rect = CGRectMake(l, t, r - l, b - t);
  if (usable(ctx->curbrush, SWELL_GDI_BRUSH))
  {
    CGContextSetFillColorWithColor(gc, ctx->curbrush->color);
    CGContextFillEllipseInRect(gc, rect);
  }
  if (usable(ctx->curpen, SWELL_GDI_PEN))
  {
    CGContextSetStrokeColorWithColor(gc, ctx->curpen->color);
    CGContextStrokeEllipseInRect(gc, rect);
  }
}

void Rectangle(HDC ctx, int l, int t, int r, int b)
{
  if (!live(ctx)) return;
  CGContextRef gc = ctx->ctx;
  const CGRect rect = CGRectMake(l, t, r - l, b - t);
  if (usable(ctx->curbrush, SWELL_GDI_BRUSH))
  {
    CGContextSetFillColorWithColor(gc, ctx->curbrush->color);
    CGContextFillRect(gc, rect);
  }
  if (usable(ctx->curpen, SWELL_GDI_PEN))
  {
    CGContextSetStrokeColorWithColor(gc, ctx->curpen->color);
    CGContextStrokeRectWithWidth(gc, rect, ctx->curpen->wid <= 1 ? 1 : ctx->curpen->wid);
  }
}

void SWELL_FillRect(HDC ctx, const RECT* r, HBRUSH brush)
{
  if (!live(ctx) || !r || !usable(brush, SWELL_GDI_BRUSH)) return;
  CGContextSetFillColorWithColor(ctx->ctx, brush->color);
  CGContextFillRect(ctx->ctx, CGRectMake(r->left, r->top, r->right - r->left, r->bottom - r->top));
}

void SWELL_SetPixel(HDC ctx, int x, int y, COLORREF color)
{
  if (!live(ctx)) return;
  // The pixel itself: a diagonal line through its corners would touch its neighbours.
  CGContextRef gc = ctx->ctx;
  CGContextSaveGState(gc);
  CGContextSetRGBFillColor(gc, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, (color & 0xFF) / 255.0, 1);
  CGContextFillRect(gc, CGRectMake(x, y, 1, 1));
  CGContextRestoreGState(gc);
}

void SWELL_FillDialogBackground(HDC ctx, const RECT* r, int)
{
  if (!live(ctx) || !r) return;
  // The light grey of dialog backgrounds; there is no theme to ask here.
  const COLORREF face = 232 << 16 | 232 << 8 | 232;
  CGContextRef gc = ctx->ctx;
  CGContextSaveGState(gc);
  CGContextSetRGBFillColor(gc, ((face >> 16) & 0xFF) / 255.0, ((face >> 8) & 0xFF) / 255.0, (face & 0xFF) / 255.0, 1);
  CGContextFillRect(gc, CGRectMake(r->left, r->top, r->right - r->left, r->bottom - r->top));
  CGContextRestoreGState(gc);
}

void SWELL_PushClipRegion(HDC ctx)
{
  if (live(ctx)) CGContextSaveGState(ctx->ctx);
}

void SWELL_PopClipRegion(HDC ctx)
{
  if (live(ctx)) CGContextRestoreGState(ctx->ctx);
}

void SWELL_SetClipRegion(HDC ctx, const RECT* r)
{
  if (!live(ctx) || !r) return;
  CGContextClipToRect(ctx->ctx, CGRectMake(r->left, r->top, r->right - r->left, r->bottom - r->top));
}

void BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int xs, int ys, unsigned int rop)
{
  StretchBlt(dst, x, y, w, h, src, xs, ys, w, h, rop);
}

void StretchBlt(HDC dst, int x, int y, int w, int h, HDC src, int xs, int ys, int ws, int hs, unsigned int rop)
{
  if (!live(dst) || !live(src) || !src->ownedBuffer || ws <= 0 || hs <= 0) return;
  const int width = (int)CGBitmapContextGetWidth(src->ctx), height = (int)CGBitmapContextGetHeight(src->ctx);
  int sw = ws, sh = hs;
  // 64-bit products: a scaled offset must not overflow for large sizes.
  if (xs < 0)
  {
    x -= (int)((long long)xs * w / ws);
    sw = ws + xs;
    xs = 0;
  }
  if (ys < 0)
  {
    y -= (int)((long long)ys * h / hs);
    sh = hs + ys;
    ys = 0;
  }
  if (xs >= width || ys >= height) return;
  const int cw = sw < width - xs ? sw : width - xs, ch = sh < height - ys ? sh : height - ys;
  if (cw < 1 || ch < 1) return;
  const int dw = w == ws ? cw : cw == ws ? w : (int)((long long)w * cw / ws);
  const int dh = h == hs ? ch : ch == hs ? h : (int)((long long)h * ch / hs);
  unsigned char* fb = (unsigned char*)SWELL_GetCtxFrameBuffer(src);
  if (rop == SWELL_BLT_SOURCE_ALPHA)
  {
    blendOver(dst, x, y, dw, dh, (LICE_PixelValue*)fb + (size_t)ys * width + xs, cw, ch, width);
    return;
  }
  // A context over the source's pixels (no copy), cut to the source rectangle.
  static CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef view = CGBitmapContextCreate(fb + ((size_t)ys * width + xs) * 4, cw, ch, 8, (size_t)width * 4, space,
                                            kCGImageAlphaNoneSkipFirst);
  CGImageRef img = view ? CGBitmapContextCreateImage(view) : nullptr;
  if (img)
  {
    CGContextRef gc = dst->ctx;
    CGContextSaveGState(gc);
    CGContextScaleCTM(gc, 1, -1);
    CGContextDrawImage(gc, CGRectMake(x, -(y + dh), dw, dh), img);
    CGContextRestoreGState(gc);
    CGImageRelease(img);
  }
  CGContextRelease(view);
}
