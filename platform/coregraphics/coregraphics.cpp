#include "platform/coregraphics/coregraphics.h"
#include "platform/coregraphics/cgdraw.h"
#include "platform/coregraphics/cgdraw_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

struct CGColorSpace
{
  int model;  // device RGB is the only one
};

struct CGColor
{
  CGFloat comp[4];
};

namespace {

// A clip in device pixels: x0 <= x < x1, y0 <= y < y1, y counted up from the bottom row.
struct DeviceClip
{
  long x0, y0, x1, y1;
};

// What a rectangle clipped under a turn leaves: a convex polygon in device space
// (every clip is an intersection of rectangles), and for each device row of the
// box, from y0 up, the columns whose pixel centres lie inside it. Empty while the
// clip is the box alone.
struct ClipShape
{
  std::vector<CGPoint> polygon;
  std::vector<long> spans;  // x0, x1 of each row
  bool any() const { return !polygon.empty(); }
};

struct GState
{
  CGAffineTransform ctm;
  DeviceClip clip;
  ClipShape shape;
  CGFloat fill[4];
  DVCGDrawState draw;
};

}  // namespace

struct CGContext
{
  unsigned char* data;
  size_t width, height, bytesPerRow;
  uint32_t bitmapInfo;
  CGAffineTransform ctm;
  DeviceClip clip;
  ClipShape shape;
  CGFloat fill[4];
  DVCGDrawState draw;
  DVCGPath path;
  std::vector<GState> saved;
};

DVCGDrawState* DVCGContextDrawState(CGContextRef ctx)
{
  return ctx ? &ctx->draw : nullptr;
}

DVCGPath* DVCGContextPath(CGContextRef ctx)
{
  return ctx ? &ctx->path : nullptr;
}

const CGFloat* DVCGContextFillColor(CGContextRef ctx)
{
  return ctx ? ctx->fill : nullptr;
}

struct CGImage
{
  const unsigned char* data;
  size_t width, height, bytesPerRow;
};

CGColorSpaceRef CGColorSpaceCreateDeviceRGB()
{
  return new (std::nothrow) CGColorSpace{0};
}

void CGColorSpaceRelease(CGColorSpaceRef space)
{
  delete space;
}

CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat* components)
{
  if (!space || !components) return nullptr;
  CGColor* c = new (std::nothrow) CGColor;
  if (!c) return nullptr;
  for (int i = 0; i < 4; ++i) c->comp[i] = components[i];
  return c;
}

void CGColorRelease(CGColorRef color)
{
  delete color;
}

const CGFloat* CGColorGetComponents(CGColorRef color)
{
  return color ? color->comp : nullptr;
}

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo)
{
  if (!data || !space || !width || !height) return nullptr;
  if (bitsPerComponent != 8 || bitmapInfo != kCGImageAlphaNoneSkipFirst) return nullptr;
  if (width > bytesPerRow / 4) return nullptr;
  CGContext* ctx = new (std::nothrow) CGContext;
  if (!ctx) return nullptr;
  ctx->data = (unsigned char*)data;
  ctx->width = width;
  ctx->height = height;
  ctx->bytesPerRow = bytesPerRow;
  ctx->bitmapInfo = bitmapInfo;
  ctx->ctm = CGAffineTransform{1, 0, 0, 1, 0, 0};
  ctx->clip = DeviceClip{0, 0, (long)width, (long)height};
  ctx->fill[0] = ctx->fill[1] = ctx->fill[2] = 0;
  ctx->fill[3] = 1;
  return ctx;
}

void CGContextRelease(CGContextRef ctx)
{
  delete ctx;
}

// Both transforms apply before the current one, as a user-space change does.
void CGContextTranslateCTM(CGContextRef ctx, CGFloat tx, CGFloat ty)
{
  if (!ctx) return;
  CGAffineTransform& m = ctx->ctm;
  m.tx += tx * m.a + ty * m.c;
  m.ty += tx * m.b + ty * m.d;
}

void CGContextScaleCTM(CGContextRef ctx, CGFloat sx, CGFloat sy)
{
  if (!ctx) return;
  CGAffineTransform& m = ctx->ctm;
  m.a *= sx;
  m.b *= sx;
  m.c *= sy;
  m.d *= sy;
}

void CGContextConcatCTM(CGContextRef ctx, CGAffineTransform t)
{
  if (!ctx) return;
  const CGAffineTransform m = ctx->ctm;
  ctx->ctm = CGAffineTransform{t.a * m.a + t.b * m.c,         t.a * m.b + t.b * m.d,
                               t.c * m.a + t.d * m.c,         t.c * m.b + t.d * m.d,
                               t.tx * m.a + t.ty * m.c + m.tx, t.tx * m.b + t.ty * m.d + m.ty};
}

CGAffineTransform CGContextGetCTM(CGContextRef ctx)
{
  return ctx ? ctx->ctm : CGAffineTransform{1, 0, 0, 1, 0, 0};
}

void* CGBitmapContextGetData(CGContextRef ctx)
{
  return ctx ? ctx->data : nullptr;
}

size_t CGBitmapContextGetWidth(CGContextRef ctx)
{
  return ctx ? ctx->width : 0;
}

size_t CGBitmapContextGetHeight(CGContextRef ctx)
{
  return ctx ? ctx->height : 0;
}

size_t CGBitmapContextGetBytesPerRow(CGContextRef ctx)
{
  return ctx ? ctx->bytesPerRow : 0;
}

uint32_t CGBitmapContextGetBitmapInfo(CGContextRef ctx)
{
  return ctx ? ctx->bitmapInfo : 0;
}

namespace {

bool turns(const CGAffineTransform& m) { return m.b != 0 || m.c != 0; }

// Quarter and half turns keep a rectangle's edges on the axes.
bool keepsAxes(const CGAffineTransform& m) { return (m.b == 0 && m.c == 0) || (m.a == 0 && m.d == 0); }

// The box around the user rectangle's corners in device pixels (rounded to the
// nearest pixel edges).
DeviceClip deviceRect(CGContextRef ctx, CGRect r)
{
  const CGAffineTransform& m = ctx->ctm;
  CGFloat x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (int i = 0; i < 4; ++i)
  {
    const CGFloat ux = r.origin.x + (i & 1 ? r.size.width : 0), uy = r.origin.y + (i & 2 ? r.size.height : 0);
    const CGFloat x = m.a * ux + m.c * uy + m.tx, y = m.b * ux + m.d * uy + m.ty;
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  }
  return DeviceClip{std::lround(x0), std::lround(y0), std::lround(x1), std::lround(y1)};
}

DeviceClip intersect(const DeviceClip& a, const DeviceClip& b)
{
  DeviceClip r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
  if (r.x1 < r.x0) r.x1 = r.x0;
  if (r.y1 < r.y0) r.y1 = r.y0;
  return r;
}

uint32_t* rowOf(CGContextRef ctx, long deviceY)
{
  // Device row y (counted up) is memory row height - 1 - y.
  return (uint32_t*)(ctx->data + (size_t)((long)ctx->height - 1 - deviceY) * ctx->bytesPerRow);
}

// The rectangle's corners in device space, in order around it.
std::vector<CGPoint> deviceCorners(const CGAffineTransform& m, CGRect r)
{
  const CGFloat xs[4] = {r.origin.x, r.origin.x + r.size.width, r.origin.x + r.size.width, r.origin.x};
  const CGFloat ys[4] = {r.origin.y, r.origin.y, r.origin.y + r.size.height, r.origin.y + r.size.height};
  std::vector<CGPoint> pts(4);
  for (int i = 0; i < 4; ++i) pts[i] = CGPoint{m.a * xs[i] + m.c * ys[i] + m.tx, m.b * xs[i] + m.d * ys[i] + m.ty};
  return pts;
}

std::vector<CGPoint> cornersOf(const DeviceClip& c)
{
  return {CGPoint{(CGFloat)c.x0, (CGFloat)c.y0}, CGPoint{(CGFloat)c.x1, (CGFloat)c.y0},
          CGPoint{(CGFloat)c.x1, (CGFloat)c.y1}, CGPoint{(CGFloat)c.x0, (CGFloat)c.y1}};
}

// The part of the convex polygon inside the convex polygon "by" (either winding).
std::vector<CGPoint> cutConvex(std::vector<CGPoint> poly, const std::vector<CGPoint>& by)
{
  double area = 0;
  for (size_t i = 0; i < by.size(); ++i)
  {
    const CGPoint& a = by[i];
    const CGPoint& b = by[(i + 1) % by.size()];
    area += a.x * b.y - b.x * a.y;
  }
  if (area == 0) return {};
  const double sign = area > 0 ? 1 : -1;
  for (size_t i = 0; i < by.size() && !poly.empty(); ++i)
  {
    const CGPoint a = by[i], b = by[(i + 1) % by.size()];
    auto side = [&](const CGPoint& p) { return sign * ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)); };
    std::vector<CGPoint> out;
    for (size_t j = 0; j < poly.size(); ++j)
    {
      const CGPoint p = poly[j], q = poly[(j + 1) % poly.size()];
      const double sp = side(p), sq = side(q);
      if (sp >= 0) out.push_back(p);
      if ((sp >= 0) != (sq >= 0))
      {
        const double t = sp / (sp - sq);
        out.push_back(CGPoint{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
      }
    }
    poly.swap(out);
  }
  if (poly.size() < 3) poly.clear();
  return poly;
}

// Cuts the clip to the polygon: the pixels whose centres lie inside both, as fills
// choose theirs.
void clipToPolygon(CGContextRef ctx, const std::vector<CGPoint>& by)
{
  ClipShape& s = ctx->shape;
  std::vector<CGPoint> poly = cutConvex(s.any() ? s.polygon : cornersOf(ctx->clip), by);
  s.spans.clear();
  DeviceClip box{0, 0, 0, 0};
  if (poly.empty())
  {
    // Nothing is left: a degenerate polygon keeps the shape set and the box empty.
    s.polygon.assign(1, CGPoint{0, 0});
    ctx->clip = box;
    return;
  }
  s.polygon = poly;
  double ymin = HUGE_VAL, ymax = -HUGE_VAL;
  for (const CGPoint& p : poly)
  {
    ymin = std::min(ymin, p.y);
    ymax = std::max(ymax, p.y);
  }
  const long r0 = std::max(ctx->clip.y0, (long)std::floor(ymin)), r1 = std::min(ctx->clip.y1, (long)std::ceil(ymax));
  bool found = false;
  for (long row = r0; row < r1; ++row)
  {
    const double yc = row + 0.5;
    double x0 = HUGE_VAL, x1 = -HUGE_VAL;
    for (size_t i = 0; i < poly.size(); ++i)
    {
      const CGPoint& a = poly[i];
      const CGPoint& b = poly[(i + 1) % poly.size()];
      const double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
      if (a.y == b.y || yc < lo || yc >= hi) continue;
      const double x = a.x + (yc - a.y) * (b.x - a.x) / (b.y - a.y);
      x0 = std::min(x0, x);
      x1 = std::max(x1, x);
    }
    // Columns whose centre c + 0.5 lies in [x0, x1), within the old box.
    long c0 = x0 <= x1 ? (long)std::ceil(x0 - 0.5) : 0, c1 = x0 <= x1 ? (long)std::ceil(x1 - 0.5) : 0;
    c0 = std::max(c0, ctx->clip.x0);
    c1 = std::min(c1, ctx->clip.x1);
    if (c1 <= c0)
    {
      if (found) s.spans.push_back(0), s.spans.push_back(0);
      continue;
    }
    if (!found) box = DeviceClip{c0, row, c1, row};
    found = true;
    box.x0 = std::min(box.x0, c0);
    box.x1 = std::max(box.x1, c1);
    box.y1 = row + 1;
    s.spans.push_back(c0);
    s.spans.push_back(c1);
  }
  // Empty rows after the last one with pixels were counted too; drop them.
  s.spans.resize((size_t)(box.y1 - box.y0) * 2);
  ctx->clip = box;
}

}  // namespace

DVCGClipGuard::DVCGClipGuard(CGContextRef ctx)
{
  if (!ctx || !ctx->shape.any() || ctx->clip.x1 <= ctx->clip.x0) return;
  mCtx = ctx;
  mClip[0] = ctx->clip.x0;
  mClip[1] = ctx->clip.y0;
  mClip[2] = ctx->clip.x1;
  mClip[3] = ctx->clip.y1;
  mSpans = ctx->shape.spans;
  forEachOutside([this](uint32_t* p, long n) { mKept.insert(mKept.end(), p, p + n); });
}

DVCGClipGuard::~DVCGClipGuard()
{
  if (!mCtx) return;
  size_t at = 0;
  forEachOutside([&](uint32_t* p, long n) {
    std::copy(mKept.begin() + (std::ptrdiff_t)at, mKept.begin() + (std::ptrdiff_t)(at + (size_t)n), p);
    at += (size_t)n;
  });
}

template <typename F>
void DVCGClipGuard::forEachOutside(F f)
{
  for (long y = mClip[1]; y < mClip[3]; ++y)
  {
    uint32_t* row = rowOf(mCtx, y);
    const long* s = &mSpans[(size_t)(y - mClip[1]) * 2];
    if (s[1] <= s[0])
    {
      f(row + mClip[0], mClip[2] - mClip[0]);
      continue;
    }
    if (s[0] > mClip[0]) f(row + mClip[0], s[0] - mClip[0]);
    if (mClip[2] > s[1]) f(row + s[1], mClip[2] - s[1]);
  }
}

namespace {

// The clip's columns on a device row: x0 <= x < x1 (empty where x1 <= x0).
void rowClip(CGContextRef ctx, long y, long* x0, long* x1)
{
  *x0 = ctx->clip.x0;
  *x1 = ctx->clip.x1;
  if (!ctx->shape.any() || y < ctx->clip.y0 || y >= ctx->clip.y1) return;
  const long* s = &ctx->shape.spans[(size_t)(y - ctx->clip.y0) * 2];
  *x0 = s[0];
  *x1 = s[1];
}

}  // namespace

void CGContextSaveGState(CGContextRef ctx)
{
  if (!ctx) return;
  GState g;
  g.ctm = ctx->ctm;
  g.clip = ctx->clip;
  g.shape = ctx->shape;
  memcpy(g.fill, ctx->fill, sizeof(g.fill));
  g.draw = ctx->draw;
  ctx->saved.push_back(std::move(g));
}

void CGContextRestoreGState(CGContextRef ctx)
{
  if (!ctx || ctx->saved.empty()) return;
  const GState& g = ctx->saved.back();
  ctx->ctm = g.ctm;
  ctx->clip = g.clip;
  ctx->shape = g.shape;
  memcpy(ctx->fill, g.fill, sizeof(g.fill));
  ctx->draw = g.draw;
  ctx->saved.pop_back();
}

void CGContextClipToRect(CGContextRef ctx, CGRect rect)
{
  if (!ctx) return;
  if (keepsAxes(ctx->ctm) && !ctx->shape.any())
    ctx->clip = intersect(ctx->clip, deviceRect(ctx, rect));
  else
    clipToPolygon(ctx, keepsAxes(ctx->ctm) ? cornersOf(deviceRect(ctx, rect)) : deviceCorners(ctx->ctm, rect));
}

CGRect CGContextGetClipBoundingBox(CGContextRef ctx)
{
  if (!ctx) return CGRectMake(0, 0, 0, 0);
  const CGAffineTransform& m = ctx->ctm;
  const DeviceClip& c = ctx->clip;
  const CGFloat det = m.a * m.d - m.b * m.c;
  if (det == 0) return CGRectMake(0, 0, 0, 0);
  // The box around the clip's corners taken back through the transform.
  CGFloat x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (int i = 0; i < 4; ++i)
  {
    const CGFloat dx = (CGFloat)(i & 1 ? c.x1 : c.x0) - m.tx, dy = (CGFloat)(i & 2 ? c.y1 : c.y0) - m.ty;
    const CGFloat x = (m.d * dx - m.c * dy) / det, y = (m.a * dy - m.b * dx) / det;
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  }
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

void CGContextSetRGBFillColor(CGContextRef ctx, CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
  if (!ctx) return;
  ctx->fill[0] = r;
  ctx->fill[1] = g;
  ctx->fill[2] = b;
  ctx->fill[3] = a;
}

void CGContextFillRect(CGContextRef ctx, CGRect rect)
{
  if (!ctx) return;
  if (turns(ctx->ctm))
  {
    // A turned rectangle is a polygon; the path being built is kept aside meanwhile.
    DVCGPath kept;
    std::swap(kept, ctx->path);
    CGContextAddRect(ctx, rect);
    CGContextFillPath(ctx);
    std::swap(kept, ctx->path);
    return;
  }
  const DeviceClip d = intersect(ctx->clip, deviceRect(ctx, rect));
  auto channel = [](CGFloat v) { return (uint32_t)std::lround(std::min(1.0, std::max(0.0, v)) * 255.0); };
  const uint32_t r = channel(ctx->fill[0]), g = channel(ctx->fill[1]), b = channel(ctx->fill[2]);
  const uint32_t a = channel(ctx->fill[3]);
  // Bytes X, R, G, B in memory.
  const uint32_t pixel = 0xFFu | r << 8 | g << 16 | b << 24;
  for (long y = d.y0; y < d.y1; ++y)
  {
    uint32_t* row = rowOf(ctx, y);
    long x0, x1;
    rowClip(ctx, y, &x0, &x1);
    x0 = std::max(x0, d.x0);
    x1 = std::min(x1, d.x1);
    if (a >= 255)
    {
      for (long x = x0; x < x1; ++x) row[x] = pixel;
      continue;
    }
    for (long x = x0; x < x1; ++x)
    {
      unsigned char* p = (unsigned char*)&row[x];
      p[1] = (unsigned char)((p[1] * (255 - a) + r * a + 127) / 255);
      p[2] = (unsigned char)((p[2] * (255 - a) + g * a + 127) / 255);
      p[3] = (unsigned char)((p[3] * (255 - a) + b * a + 127) / 255);
    }
  }
}

void DVCGContextGetPixelClip(CGContextRef ctx, int* left, int* top, int* right, int* bottom)
{
  const DeviceClip c = ctx ? ctx->clip : DeviceClip{0, 0, 0, 0};
  const long h = ctx ? (long)ctx->height : 0;
  if (left) *left = (int)c.x0;
  if (right) *right = (int)c.x1;
  if (top) *top = (int)(h - c.y1);
  if (bottom) *bottom = (int)(h - c.y0);
}

void DVCGContextUserToPixel(CGContextRef ctx, CGFloat x, CGFloat y, CGFloat* px, CGFloat* py)
{
  if (!ctx) return;
  const CGAffineTransform& m = ctx->ctm;
  if (px) *px = m.a * x + m.c * y + m.tx;
  if (py) *py = (CGFloat)ctx->height - (m.b * x + m.d * y + m.ty);
}

CGImageRef CGBitmapContextCreateImage(CGContextRef ctx)
{
  if (!ctx) return nullptr;
  return new (std::nothrow) CGImage{ctx->data, ctx->width, ctx->height, ctx->bytesPerRow};
}

void CGImageRelease(CGImageRef image)
{
  delete image;
}

size_t CGImageGetWidth(CGImageRef image)
{
  return image ? image->width : 0;
}

size_t CGImageGetHeight(CGImageRef image)
{
  return image ? image->height : 0;
}

void CGContextDrawImage(CGContextRef ctx, CGRect rect, CGImageRef image)
{
  if (!ctx || !image || !image->width || !image->height) return;
  const DeviceClip full = deviceRect(ctx, rect);
  const DeviceClip d = intersect(ctx->clip, full);
  const long w = full.x1 - full.x0, h = full.y1 - full.y0;
  if (w <= 0 || h <= 0 || d.x1 <= d.x0 || d.y1 <= d.y0) return;
  // With y pointing up in user space the image's first row lies at the top.
  const bool upright = ctx->ctm.d >= 0;
  const bool sameSize = (size_t)w == image->width && (size_t)h == image->height;
  for (long y = d.y0; y < d.y1; ++y)
  {
    const long fromTop = full.y1 - 1 - y;  // 0 for the rectangle's top device row
    long sy = sameSize ? fromTop : (long)((double)fromTop * (double)image->height / (double)h);
    if (!upright) sy = (long)image->height - 1 - sy;
    const uint32_t* src = (const uint32_t*)(image->data + (size_t)sy * image->bytesPerRow);
    uint32_t* dst = rowOf(ctx, y);
    long x0, x1;
    rowClip(ctx, y, &x0, &x1);
    x0 = std::max(x0, d.x0);
    x1 = std::min(x1, d.x1);
    if (x1 <= x0) continue;
    if (sameSize)
      memcpy(dst + x0, src + (x0 - full.x0), (size_t)(x1 - x0) * 4);
    else
      for (long x = x0; x < x1; ++x)
        dst[x] = src[(long)((double)(x - full.x0) * (double)image->width / (double)w)];
  }
}
