#include "platform/appkit/NSOpenGL.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/Presenter.h"
#include "raster/lice_bitmap.h"
#include "raster/lice_pixel.h"

#include <GL/osmesa.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <type_traits>

// The renderer's library is loaded when the first context binds, not linked: it
// pulls in a compiler and some twenty other libraries, which cost every program that
// links the kit tens of milliseconds at start-up, while few ever draw with OpenGL.
struct AKSoftwareRenderer
{
  OSMesaContext (*createContextExt)(GLenum format, GLint depthBits, GLint stencilBits, GLint accumBits,
                                    OSMesaContext share);
  GLboolean (*makeCurrent)(OSMesaContext context, void* buffer, GLenum type, GLsizei width, GLsizei height);
  void (*destroyContext)(OSMesaContext context);
  void (*finish)();
};

namespace {
NSOpenGLContext* gCurrent = nullptr;
const AKSoftwareRenderer* gBound = nullptr;  // the renderer a context was last bound with

struct RendererLibraries
{
  std::string current = DAVREL_OSMESA_LIBRARY;
  // Every library asked for, loaded or not (null), never unloaded: contexts made by
  // one keep using it, and the renderer's own allocations stay attributable to it.
  std::map<std::string, std::unique_ptr<const AKSoftwareRenderer>> tried;
};

// Never destroyed: contexts released at exit may still need their renderer.
RendererLibraries& libraries()
{
  static RendererLibraries* l = new RendererLibraries;
  return *l;
}

std::unique_ptr<const AKSoftwareRenderer> loadRenderer(const std::string& name)
{
  void* lib = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!lib)
  {
    fprintf(stderr, "OpenGL: the software renderer %s could not be loaded (%s); OpenGL views stay empty\n",
            name.c_str(), dlerror());
    return nullptr;
  }
  const char* missing = "OSMesaGetProcAddress";
  AKSoftwareRenderer r{};
  if (auto getProc = (OSMESAproc(*)(const char*))dlsym(lib, missing))
  {
    missing = nullptr;
    auto resolve = [&](const char* function, auto& entry) {
      const OSMESAproc f = getProc(function);
      if (!f && !missing) missing = function;
      entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(f);
    };
    resolve("OSMesaCreateContextExt", r.createContextExt);
    resolve("OSMesaMakeCurrent", r.makeCurrent);
    resolve("OSMesaDestroyContext", r.destroyContext);
    resolve("glFinish", r.finish);
  }
  if (missing)
  {
    fprintf(stderr, "OpenGL: %s is not the software renderer (it has no %s); OpenGL views stay empty\n",
            name.c_str(), missing);
    dlclose(lib);
    return nullptr;
  }
  return std::make_unique<const AKSoftwareRenderer>(r);
}

// The renderer of the library in use, loaded at the first call; null when it cannot be had.
const AKSoftwareRenderer* renderer()
{
  RendererLibraries& l = libraries();
  auto found = l.tried.find(l.current);
  if (found == l.tried.end()) found = l.tried.emplace(l.current, loadRenderer(l.current)).first;
  return found->second.get();
}
}  // namespace

std::string AKSetOpenGLRendererLibrary(const std::string& name)
{
  std::string previous = libraries().current;
  libraries().current = name;
  return previous;
}

NSOpenGLPixelFormat::NSOpenGLPixelFormat(const NSOpenGLPixelFormatAttribute* attributes)
{
  for (const NSOpenGLPixelFormatAttribute* a = attributes; a && *a; ++a) mAttributes.push_back(*a);
}

NSOpenGLContext::NSOpenGLContext(NSOpenGLPixelFormat* format, NSOpenGLContext*) : mFormat(AKRetain(format)) {}

NSOpenGLContext::~NSOpenGLContext()
{
  if (mMesa) mRenderer->destroyContext((OSMesaContext)mMesa);
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
    mRenderer = renderer();
    if (!mRenderer) return false;
    // Depth buffer for 3-D drawing; the frame itself is RGBA bytes.
    mMesa = mRenderer->createContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
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
  if (mRenderer->makeCurrent((OSMesaContext)mMesa, mFrame.data(), GL_UNSIGNED_BYTE, w, h) != GL_TRUE) return false;
  gBound = mRenderer;
  return true;
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
  if (gCurrent == this && mMesa) mRenderer->finish();
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
  if (gBound) gBound->makeCurrent(nullptr, nullptr, 0, 0, 0);
  gBound = nullptr;
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
