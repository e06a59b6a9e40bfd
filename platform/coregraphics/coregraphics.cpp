#include "platform/coregraphics/coregraphics.h"

#include <new>

struct CGColorSpace
{
  int model;  // device RGB is the only one
};

struct CGColor
{
  CGFloat comp[4];
};

struct CGContext
{
  unsigned char* data;
  size_t width, height, bytesPerRow;
  uint32_t bitmapInfo;
  CGAffineTransform ctm;
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
