#pragma once
// Our stand-in for the few CoreGraphics names the window-system layer calls:
// bitmap contexts over caller-owned pixels, device-RGB colours and the
// context's transform. Plain memory underneath; no display is involved.

#include <cstddef>
#include <cstdint>

typedef double CGFloat;

struct CGAffineTransform
{
  CGFloat a, b, c, d, tx, ty;
};

typedef struct CGColorSpace* CGColorSpaceRef;
typedef struct CGColor* CGColorRef;
typedef struct CGContext* CGContextRef;

// Bitmap info of the window system's memory contexts: 32 bits a pixel, bytes
// X, R, G, B in memory, the first byte not used as alpha.
enum
{
  kCGImageAlphaNoneSkipFirst = 6
};

CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
void CGColorSpaceRelease(CGColorSpaceRef space);

// components: red, green, blue, alpha, each 0..1. Null for a null space or components.
CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat* components);
void CGColorRelease(CGColorRef color);
// The four components the colour was made with; null for a null colour.
const CGFloat* CGColorGetComponents(CGColorRef color);

// A context drawing into data (width x height pixels, bytesPerRow apart). Only 8 bits
// a component and kCGImageAlphaNoneSkipFirst are supported; null for anything else,
// for null data, an empty size or rows shorter than the width.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo);
void CGContextRelease(CGContextRef ctx);

void CGContextTranslateCTM(CGContextRef ctx, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(CGContextRef ctx, CGFloat sx, CGFloat sy);
CGAffineTransform CGContextGetCTM(CGContextRef ctx);

void* CGBitmapContextGetData(CGContextRef ctx);
size_t CGBitmapContextGetWidth(CGContextRef ctx);
size_t CGBitmapContextGetHeight(CGContextRef ctx);
size_t CGBitmapContextGetBytesPerRow(CGContextRef ctx);
uint32_t CGBitmapContextGetBitmapInfo(CGContextRef ctx);
