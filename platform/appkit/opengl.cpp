#include "platform/appkit/NSOpenGL.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/Presenter.h"
#include "raster/lice_bitmap.h"
#include "raster/lice_pixel.h"

#include <GL/osmesa.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
NSOpenGLContext* gCurrent = nullptr;
}

NSOpenGLPixelFormat::NSOpenGLPixelFormat(const NSOpenGLPixelFormatAttribute* attributes)
{
  for (const NSOpenGLPixelFormatAttribute* a = attributes; a && *a; ++a) mAttributes.push_back(*a);
}

NSOpenGLContext::NSOpenGLContext(NSOpenGLPixelFormat* format, NSOpenGLContext*) : mFormat(AKRetain(format)) {}

NSOpenGLContext::~NSOpenGLContext()
{
  if (mMesa) OSMesaDestroyContext((OSMesaContext)mMesa);
  AKRelease(mFormat);
}

// Binds the renderer to a frame the view's size (1 x 1 without a view).
bool NSOpenGLContext::bind()
{
  int w = 1, h = 1;
  if (mView)
  {
    const NSRect b = mView->bounds();
    w = std::max(1, (int)std::ceil(b.size.width));
    h = std::max(1, (int)std::ceil(b.size.height));
  }
  if (!mMesa)
  {
    // Depth buffer for 3-D drawing; the frame itself is RGBA bytes.
    mMesa = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (!mMesa)
    {
      fprintf(stderr, "OpenGL: the software renderer could not make a context\n");
      return false;
    }
  }
  if (w != mWidth || h != mHeight)
  {
    mFrame.assign((size_t)w * (size_t)h * 4, 0);
    mWidth = w;
    mHeight = h;
  }
  return OSMesaMakeCurrent((OSMesaContext)mMesa, mFrame.data(), GL_UNSIGNED_BYTE, w, h) == GL_TRUE;
}

bool NSOpenGLContext::makeCurrentContext()
{
  AKAssign(gCurrent, this);
  return bind();
}

void NSOpenGLContext::update()
{
  if (gCurrent == this) bind();
}

void NSOpenGLContext::flushBuffer()
{
  if (gCurrent == this && mMesa) glFinish();
  NSWindow* window = mView ? mView->window() : nullptr;
  LICE_SysBitmap* backing = window ? window->backing() : nullptr;
  if (!backing || mFrame.empty() || mView->isHiddenOrHasHiddenAncestor()) return;
  // The view's place in the backing: base coordinates count y up, pixels down.
  const NSRect r = mView->convertRectToView(mView->bounds(), nullptr);
  const int left = (int)std::floor(r.origin.x);
  const int top = backing->getHeight() - (int)std::floor(r.origin.y) - mHeight;
  const int x0 = std::max(0, left), x1 = std::min(backing->getWidth(), left + mWidth);
  const int y0 = std::max(0, top), y1 = std::min(backing->getHeight(), top + mHeight);
  if (x1 <= x0 || y1 <= y0) return;
  LICE_PixelValue* bits = backing->getBits();
  for (int y = y0; y < y1; ++y)
  {
    const uint8_t* src = mFrame.data() + ((size_t)(mHeight - 1 - (y - top)) * mWidth + (x0 - left)) * 4;
    LICE_PixelValue* dst = bits + (size_t)y * backing->getRowSpan();
    for (int x = x0; x < x1; ++x, src += 4) dst[x] = LICE_MakePixel(src[0], src[1], src[2], 255);
  }
  // Outside a display pass the presenter is told now; inside, the pass presents it.
  if (!NSGraphicsContext::currentContext() && NSApplication::exists() && NSApp->presenter() && window->isVisible())
    NSApp->presenter()->present(window, {AKPixelRect{x0, y0, x1, y1}});
}

NSOpenGLContext* NSOpenGLContext::currentContext() { return gCurrent; }

void NSOpenGLContext::clearCurrentContext()
{
  if (!gCurrent) return;
  gCurrent->flushBuffer();
  OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
  AKRelease(gCurrent);
}

std::vector<uint32_t> NSOpenGLContext::framePixels(int* width, int* height) const
{
  *width = mWidth;
  *height = mHeight;
  std::vector<uint32_t> out((size_t)mWidth * mHeight);
  for (int y = 0; y < mHeight; ++y)
    for (int x = 0; x < mWidth; ++x)
    {
      const uint8_t* p = mFrame.data() + ((size_t)(mHeight - 1 - y) * mWidth + x) * 4;
      out[(size_t)y * mWidth + x] = (uint32_t)p[3] << 24 | (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
    }
  return out;
}
