#pragma once
// Our stand-in for the few CoreGraphics names the window-system layer calls:
// bitmap contexts over caller-owned pixels, device-RGB colours and the
// context's transform. Plain memory underneath; no display is involved.

#include <cstddef>
#include <cstdint>
#include <vector>

typedef double CGFloat;

struct CGAffineTransform
{
  CGFloat a, b, c, d, tx, ty;
};

struct CGPoint
{
  CGFloat x, y;
};
struct CGSize
{
  CGFloat width, height;
};
struct CGRect
{
  CGPoint origin;
  CGSize size;
};
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return CGRect{{x, y}, {w, h}}; }

typedef struct CGColorSpace* CGColorSpaceRef;
typedef struct CGColor* CGColorRef;
typedef struct CGContext* CGContextRef;
typedef struct CGImage* CGImageRef;

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
// Applies m before the current transform (user space turned, sheared or scaled by m).
void CGContextConcatCTM(CGContextRef ctx, CGAffineTransform m);
CGAffineTransform CGContextGetCTM(CGContextRef ctx);

void* CGBitmapContextGetData(CGContextRef ctx);
size_t CGBitmapContextGetWidth(CGContextRef ctx);
size_t CGBitmapContextGetHeight(CGContextRef ctx);
size_t CGBitmapContextGetBytesPerRow(CGContextRef ctx);
uint32_t CGBitmapContextGetBitmapInfo(CGContextRef ctx);

// ---- graphics state, clipping and fills ----
// A bitmap context's device space counts y upward from the bottom row of the
// bitmap, as on the platform; the transform maps user space onto it. Rectangle
// fills, paths and text follow any transform, and images and filled ellipses stay
// upright. The clip is the pixels whose centres lie inside every clip rectangle as
// it was turned when it was set; while no rectangle was set under a turn other than
// a quarter or half one, that is a rectangle of pixels, each edge rounded to the
// nearest pixel edge.

void CGContextSaveGState(CGContextRef ctx);
void CGContextRestoreGState(CGContextRef ctx);
// Intersects the clip with the rectangle (user space, through the transform).
void CGContextClipToRect(CGContextRef ctx, CGRect rect);
// The clip in user space.
CGRect CGContextGetClipBoundingBox(CGContextRef ctx);
void CGContextSetRGBFillColor(CGContextRef ctx, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
// Fills the pixels whose centres lie inside the rectangle and the clip; an alpha
// below 1 blends over what is there.
void CGContextFillRect(CGContextRef ctx, CGRect rect);

// Stand-in extension for the text engine and the presenters: the clip's box as
// pixels of the bitmap (left and top inclusive, right and bottom exclusive, rows
// top-down), and a user-space point as a pixel position (x right, y down from the
// top row).
void DVCGContextGetPixelClip(CGContextRef ctx, int* left, int* top, int* right, int* bottom);
void DVCGContextUserToPixel(CGContextRef ctx, CGFloat x, CGFloat y, CGFloat* px, CGFloat* py);

// Stand-in extension for code that draws inside the clip's box and knows no other
// shape: while the clip is not the whole box (a rectangle set under a turn), the
// guard keeps the box's pixels outside the clip, as it is when the guard is made,
// and puts them back when it goes. Otherwise it does nothing.
class DVCGClipGuard
{
public:
  explicit DVCGClipGuard(CGContextRef ctx);
  ~DVCGClipGuard();
  DVCGClipGuard(const DVCGClipGuard&) = delete;
  DVCGClipGuard& operator=(const DVCGClipGuard&) = delete;

private:
  template <typename F>
  void forEachOutside(F f);
  CGContextRef mCtx = nullptr;
  long mClip[4] = {0, 0, 0, 0};  // the box in device rows, as the context keeps it
  std::vector<long> mSpans;
  std::vector<uint32_t> mKept;
};

// ---- images ----
// An image of the context's pixels. The platform copies them lazily (copy on
// write); the stand-in cannot see the raster library write, so the image shares
// the pixels, and its owner must draw it before drawing into the context again
// and release it (every caller makes, draws and releases it in one go). Null for
// a null context.
CGImageRef CGBitmapContextCreateImage(CGContextRef ctx);
void CGImageRelease(CGImageRef image);
size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
// Draws the image into the rectangle (user space): its first row at the top of the
// rectangle as user space is oriented, so a flipped transform shows it upside
// down as on the platform. Scaled by nearest pixel when the sizes differ; cut by
// the clip. The pixels are copied as they are (the first byte is not alpha).
void CGContextDrawImage(CGContextRef ctx, CGRect rect, CGImageRef image);
