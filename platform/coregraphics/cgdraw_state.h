#pragma once
// Internal to the stand-in: the drawing state a context carries for cgdraw.cpp.

#include "platform/coregraphics/coregraphics.h"

#include <vector>

struct DVCGDrawState
{
  CGFloat stroke[4] = {0, 0, 0, 1};
  CGFloat lineWidth = 1;
};

// A path in pixel coordinates of the bitmap (x right, y down from the top row).
struct DVCGPath
{
  struct Sub
  {
    std::vector<CGPoint> pts;
    bool closed = false;
  };
  std::vector<Sub> subs;
  bool hasCurrent = false;
  CGPoint current{0, 0};
};

// Defined beside the context in coregraphics.cpp; never null for a live context.
DVCGDrawState* DVCGContextDrawState(CGContextRef ctx);
DVCGPath* DVCGContextPath(CGContextRef ctx);
const CGFloat* DVCGContextFillColor(CGContextRef ctx);
