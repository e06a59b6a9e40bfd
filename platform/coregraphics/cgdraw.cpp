#include "platform/coregraphics/cgdraw.h"

#include "platform/coregraphics/cgdraw_state.h"
#include "raster/lice.h"
#include "raster/lice_draw.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The context's pixels inside its clip, as a raster bitmap: drawing through it can
// never leave the clip.
class ClipBitmap : public LICE_IBitmap
{
public:
  ClipBitmap(CGContextRef ctx)
  {
    DVCGContextGetPixelClip(ctx, &m_left, &m_top, &m_right, &m_bottom);
    m_span = (int)(CGBitmapContextGetBytesPerRow(ctx) / 4);
    LICE_PixelValue* data = (LICE_PixelValue*)CGBitmapContextGetData(ctx);
    m_bits = (data && m_right > m_left && m_bottom > m_top) ? data + (size_t)m_top * m_span + m_left : nullptr;
  }
  LICE_PixelValue* getBits() override { return m_bits; }
  int getWidth() override { return m_bits ? m_right - m_left : 0; }
  int getHeight() override { return m_bits ? m_bottom - m_top : 0; }
  int getRowSpan() override { return m_span; }
  bool resize(int, int) override { return false; }

  int m_left, m_top, m_right, m_bottom, m_span;
  LICE_PixelValue* m_bits;
};

struct Paint
{
  LICE_PixelValue color;
  float alpha;
};

Paint paintOf(const CGFloat* c)
{
  auto ch = [](CGFloat v) { return (int)std::lround(std::min(1.0, std::max(0.0, v)) * 255.0); };
  return Paint{LICE_MakePixel(ch(c[0]), ch(c[1]), ch(c[2]), 255), (float)std::min(1.0, std::max(0.0, c[3]))};
}

struct Span
{
  int x0, x1;  // pixel columns, x1 exclusive
};

// Per pixel row of the bitmap, the spans whose pixel centres lie inside the polygons.
void addSpans(const std::vector<std::vector<CGPoint>>& polys, bool evenOdd, int height,
              std::vector<std::vector<Span>>& rows)
{
  struct Crossing
  {
    double x;
    int dir;
  };
  std::vector<Crossing> xs;
  double ymin = 1e300, ymax = -1e300;
  for (const auto& p : polys)
    for (const CGPoint& q : p)
    {
      ymin = std::min(ymin, q.y);
      ymax = std::max(ymax, q.y);
    }
  if (ymin > ymax) return;
  const int r0 = std::max(0, (int)std::floor(ymin - 0.5));
  const int r1 = std::min(height - 1, (int)std::ceil(ymax));
  for (int row = r0; row <= r1; ++row)
  {
    const double yc = row + 0.5;
    xs.clear();
    for (const auto& p : polys)
    {
      const size_t n = p.size();
      for (size_t i = 0; i < n; ++i)
      {
        const CGPoint& a = p[i];
        const CGPoint& b = p[(i + 1) % n];
        if (a.y == b.y) continue;
        const bool down = a.y < b.y;
        const double lo = down ? a.y : b.y, hi = down ? b.y : a.y;
        if (yc < lo || yc >= hi) continue;
        xs.push_back(Crossing{a.x + (yc - a.y) * (b.x - a.x) / (b.y - a.y), down ? 1 : -1});
      }
    }
    std::sort(xs.begin(), xs.end(), [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
    int wind = 0;
    for (size_t i = 0; i + 1 < xs.size(); ++i)
    {
      wind += evenOdd ? 1 : xs[i].dir;
      const bool inside = evenOdd ? (wind & 1) != 0 : wind != 0;
      if (!inside) continue;
      // Columns whose centre c + 0.5 lies in [x_i, x_i+1).
      const int c0 = (int)std::ceil(xs[i].x - 0.5), c1 = (int)std::ceil(xs[i + 1].x - 0.5);
      if (c1 > c0) rows[row].push_back(Span{c0, c1});
    }
  }
}

// Fills the union of the spans once, so a translucent colour is applied once a pixel.
void fillSpans(CGContextRef ctx, std::vector<std::vector<Span>>& rows, const Paint& paint)
{
  ClipBitmap bm(ctx);
  if (!bm.getBits()) return;
  for (int row = 0; row < (int)rows.size(); ++row)
  {
    auto& spans = rows[row];
    if (spans.empty() || row < bm.m_top || row >= bm.m_bottom) continue;
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.x0 < b.x0; });
    Span cur = spans[0];
    auto flush = [&](Span s) {
      s.x0 = std::max(s.x0, bm.m_left);
      s.x1 = std::min(s.x1, bm.m_right);
      if (s.x1 > s.x0)
        LICE_FillRect(&bm, s.x0 - bm.m_left, row - bm.m_top, s.x1 - s.x0, 1, paint.color, paint.alpha, LICE_MODE_COPY);
    };
    for (size_t i = 1; i < spans.size(); ++i)
    {
      if (spans[i].x0 <= cur.x1)
        cur.x1 = std::max(cur.x1, spans[i].x1);
      else
      {
        flush(cur);
        cur = spans[i];
      }
    }
    flush(cur);
  }
}

CGPoint toPixel(CGContextRef ctx, CGFloat x, CGFloat y)
{
  CGPoint p;
  DVCGContextUserToPixel(ctx, x, y, &p.x, &p.y);
  return p;
}

void fillPath(CGContextRef ctx, const DVCGPath& path, bool evenOdd)
{
  std::vector<std::vector<CGPoint>> polys;
  for (const auto& s : path.subs)
    if (s.pts.size() >= 3) polys.push_back(s.pts);
  std::vector<std::vector<Span>> rows(CGBitmapContextGetHeight(ctx));
  addSpans(polys, evenOdd, (int)rows.size(), rows);
  fillSpans(ctx, rows, paintOf(DVCGContextFillColor(ctx)));
}

void strokePath(CGContextRef ctx, const DVCGPath& path)
{
  const DVCGDrawState& st = *DVCGContextDrawState(ctx);
  const Paint paint = paintOf(st.stroke);
  // Line width in pixels: the transform's scale along x.
  const CGAffineTransform m = CGContextGetCTM(ctx);
  const double w = st.lineWidth * std::hypot(m.a, m.b);
  if (w <= 1.0)
  {
    ClipBitmap bm(ctx);
    if (!bm.getBits()) return;
    auto line = [&](CGPoint a, CGPoint b) {
      LICE_Line(&bm, (int)std::floor(a.x) - bm.m_left, (int)std::floor(a.y) - bm.m_top, (int)std::floor(b.x) - bm.m_left,
                (int)std::floor(b.y) - bm.m_top, paint.color, paint.alpha, LICE_MODE_COPY, false);
    };
    for (const auto& s : path.subs)
    {
      for (size_t i = 0; i + 1 < s.pts.size(); ++i) line(s.pts[i], s.pts[i + 1]);
      if (s.closed && s.pts.size() > 2) line(s.pts.back(), s.pts.front());
    }
    return;
  }
  std::vector<std::vector<Span>> rows(CGBitmapContextGetHeight(ctx));
  auto segment = [&](CGPoint a, CGPoint b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    if (len <= 0) return;
    const double nx = -dy / len * w / 2, ny = dx / len * w / 2;
    addSpans({{CGPoint{a.x + nx, a.y + ny}, CGPoint{b.x + nx, b.y + ny}, CGPoint{b.x - nx, b.y - ny},
               CGPoint{a.x - nx, a.y - ny}}},
             false, (int)rows.size(), rows);
  };
  for (const auto& s : path.subs)
  {
    for (size_t i = 0; i + 1 < s.pts.size(); ++i) segment(s.pts[i], s.pts[i + 1]);
    if (s.closed && s.pts.size() > 2) segment(s.pts.back(), s.pts.front());
  }
  fillSpans(ctx, rows, paint);
}

void setColor(CGFloat* dst, CGColorRef color)
{
  const CGFloat* c = CGColorGetComponents(color);
  if (c) std::copy(c, c + 4, dst);
}

}  // namespace

void CGContextSetRGBStrokeColor(CGContextRef ctx, CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
  if (!ctx) return;
  CGFloat* s = DVCGContextDrawState(ctx)->stroke;
  s[0] = r;
  s[1] = g;
  s[2] = b;
  s[3] = a;
}

void CGContextSetStrokeColorWithColor(CGContextRef ctx, CGColorRef color)
{
  if (ctx) setColor(DVCGContextDrawState(ctx)->stroke, color);
}

void CGContextSetFillColorWithColor(CGContextRef ctx, CGColorRef color)
{
  const CGFloat* c = CGColorGetComponents(color);
  if (ctx && c) CGContextSetRGBFillColor(ctx, c[0], c[1], c[2], c[3]);
}

void CGContextSetLineWidth(CGContextRef ctx, CGFloat width)
{
  if (ctx && width >= 0) DVCGContextDrawState(ctx)->lineWidth = width;
}

void CGContextBeginPath(CGContextRef ctx)
{
  if (ctx) *DVCGContextPath(ctx) = DVCGPath();
}

void CGContextMoveToPoint(CGContextRef ctx, CGFloat x, CGFloat y)
{
  if (!ctx) return;
  DVCGPath& p = *DVCGContextPath(ctx);
  p.current = toPixel(ctx, x, y);
  p.hasCurrent = true;
  p.subs.push_back(DVCGPath::Sub());
  p.subs.back().pts.push_back(p.current);
}

void CGContextAddLineToPoint(CGContextRef ctx, CGFloat x, CGFloat y)
{
  if (!ctx) return;
  DVCGPath& p = *DVCGContextPath(ctx);
  if (!p.hasCurrent || p.subs.empty() || p.subs.back().closed)
  {
    const CGPoint start = p.hasCurrent ? p.current : toPixel(ctx, x, y);
    p.subs.push_back(DVCGPath::Sub());
    p.subs.back().pts.push_back(start);
    p.hasCurrent = true;
  }
  p.current = toPixel(ctx, x, y);
  p.subs.back().pts.push_back(p.current);
}

void CGContextAddCurveToPoint(CGContextRef ctx, CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x,
                              CGFloat y)
{
  if (!ctx) return;
  DVCGPath& p = *DVCGContextPath(ctx);
  if (!p.hasCurrent) CGContextMoveToPoint(ctx, c1x, c1y);
  const CGPoint p0 = p.current, p1 = toPixel(ctx, c1x, c1y), p2 = toPixel(ctx, c2x, c2y), p3 = toPixel(ctx, x, y);
  // Enough segments that none is longer than about two pixels.
  const double len = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                     std::hypot(p3.x - p2.x, p3.y - p2.y);
  const int n = std::max(1, std::min(1000, (int)std::ceil(len / 2)));
  for (int i = 1; i <= n; ++i)
  {
    const double t = (double)i / n, u = 1 - t;
    const CGPoint q{u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                    u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y};
    p.subs.back().pts.push_back(i == n ? p3 : q);
  }
  p.current = p3;
}

void CGContextClosePath(CGContextRef ctx)
{
  if (!ctx) return;
  DVCGPath& p = *DVCGContextPath(ctx);
  if (p.subs.empty() || p.subs.back().closed) return;
  p.subs.back().closed = true;
  p.current = p.subs.back().pts.front();
}

void CGContextAddRect(CGContextRef ctx, CGRect r)
{
  if (!ctx) return;
  CGContextMoveToPoint(ctx, r.origin.x, r.origin.y);
  CGContextAddLineToPoint(ctx, r.origin.x + r.size.width, r.origin.y);
  CGContextAddLineToPoint(ctx, r.origin.x + r.size.width, r.origin.y + r.size.height);
  CGContextAddLineToPoint(ctx, r.origin.x, r.origin.y + r.size.height);
  CGContextClosePath(ctx);
}

void CGContextAddEllipseInRect(CGContextRef ctx, CGRect r)
{
  if (!ctx) return;
  const double cx = r.origin.x + r.size.width / 2, cy = r.origin.y + r.size.height / 2;
  const double rx = r.size.width / 2, ry = r.size.height / 2;
  const int n = 64;
  CGContextMoveToPoint(ctx, cx + rx, cy);
  for (int i = 1; i < n; ++i)
  {
    const double a = 2 * M_PI * i / n;
    CGContextAddLineToPoint(ctx, cx + rx * std::cos(a), cy + ry * std::sin(a));
  }
  CGContextClosePath(ctx);
}

void CGContextDrawPath(CGContextRef ctx, CGPathDrawingMode mode)
{
  if (!ctx) return;
  DVCGPath path;
  std::swap(path, *DVCGContextPath(ctx));
  const DVCGClipGuard keep(ctx);
  if (mode != kCGPathStroke) fillPath(ctx, path, mode == kCGPathEOFill || mode == kCGPathEOFillStroke);
  if (mode == kCGPathStroke || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke) strokePath(ctx, path);
}

void CGContextStrokePath(CGContextRef ctx)
{
  CGContextDrawPath(ctx, kCGPathStroke);
}

void CGContextFillPath(CGContextRef ctx)
{
  CGContextDrawPath(ctx, kCGPathFill);
}

void CGContextStrokeRectWithWidth(CGContextRef ctx, CGRect rect, CGFloat width)
{
  if (!ctx) return;
  const CGFloat old = DVCGContextDrawState(ctx)->lineWidth;
  DVCGContextDrawState(ctx)->lineWidth = width;
  DVCGPath saved;
  std::swap(saved, *DVCGContextPath(ctx));
  CGContextAddRect(ctx, rect);
  CGContextStrokePath(ctx);
  std::swap(saved, *DVCGContextPath(ctx));
  DVCGContextDrawState(ctx)->lineWidth = old;
}

void CGContextFillEllipseInRect(CGContextRef ctx, CGRect r)
{
  if (!ctx) return;
  const CGPoint a = toPixel(ctx, r.origin.x, r.origin.y);
  const CGPoint b = toPixel(ctx, r.origin.x + r.size.width, r.origin.y + r.size.height);
  const double cx = (a.x + b.x) / 2, cy = (a.y + b.y) / 2, rx = std::fabs(b.x - a.x) / 2, ry = std::fabs(b.y - a.y) / 2;
  if (rx <= 0 || ry <= 0) return;
  std::vector<std::vector<Span>> rows(CGBitmapContextGetHeight(ctx));
  for (int row = std::max(0, (int)std::floor(cy - ry)); row < (int)rows.size() && row <= cy + ry; ++row)
  {
    const double v = (row + 0.5 - cy) / ry;
    if (v * v >= 1) continue;
    const double half = rx * std::sqrt(1 - v * v);
    const int c0 = (int)std::ceil(cx - half - 0.5), c1 = (int)std::ceil(cx + half - 0.5);
    if (c1 > c0) rows[row].push_back(Span{c0, c1});
  }
  const DVCGClipGuard keep(ctx);
  fillSpans(ctx, rows, paintOf(DVCGContextFillColor(ctx)));
}

void CGContextStrokeEllipseInRect(CGContextRef ctx, CGRect rect)
{
  if (!ctx) return;
  DVCGPath saved;
  std::swap(saved, *DVCGContextPath(ctx));
  CGContextAddEllipseInRect(ctx, rect);
  CGContextStrokePath(ctx);
  std::swap(saved, *DVCGContextPath(ctx));
}
