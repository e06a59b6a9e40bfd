#pragma once
// Paths, strokes and fills of our CoreGraphics stand-in, drawn into the bitmap
// context's pixels by the raster library. Paths live in device space (the
// transform applies when a point is added, as on the platform); the stroke
// colour and line width belong to the graphics state, the path does not.
//
// Pixel rules, so that callers can predict every pixel: a fill covers the pixels
// whose centres lie inside the shape (non-zero or even-odd winding); a stroke of
// width 1 or less is a one-pixel line through the pixels that hold its end points;
// a wider stroke fills, for each segment, the rectangle of that width around it.
// Nothing is anti-aliased.

#include "platform/coregraphics/coregraphics.h"

enum CGPathDrawingMode
{
  kCGPathFill,
  kCGPathEOFill,
  kCGPathStroke,
  kCGPathFillStroke,
  kCGPathEOFillStroke
};

void CGContextSetRGBStrokeColor(CGContextRef ctx, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
void CGContextSetStrokeColorWithColor(CGContextRef ctx, CGColorRef color);
void CGContextSetFillColorWithColor(CGContextRef ctx, CGColorRef color);
void CGContextSetLineWidth(CGContextRef ctx, CGFloat width);

void CGContextBeginPath(CGContextRef ctx);
void CGContextMoveToPoint(CGContextRef ctx, CGFloat x, CGFloat y);
// Without a current point these start a subpath at the point, as on the platform.
void CGContextAddLineToPoint(CGContextRef ctx, CGFloat x, CGFloat y);
void CGContextAddCurveToPoint(CGContextRef ctx, CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x,
                              CGFloat y);
void CGContextClosePath(CGContextRef ctx);
void CGContextAddRect(CGContextRef ctx, CGRect rect);
void CGContextAddEllipseInRect(CGContextRef ctx, CGRect rect);
// Each of these draws the path and empties it.
void CGContextDrawPath(CGContextRef ctx, CGPathDrawingMode mode);
void CGContextStrokePath(CGContextRef ctx);
void CGContextFillPath(CGContextRef ctx);

void CGContextStrokeRectWithWidth(CGContextRef ctx, CGRect rect, CGFloat width);
// The ellipse's fill is exact (pixel centres inside the ellipse); outlines follow
// a polygon of many sides.
void CGContextFillEllipseInRect(CGContextRef ctx, CGRect rect);
void CGContextStrokeEllipseInRect(CGContextRef ctx, CGRect rect);
