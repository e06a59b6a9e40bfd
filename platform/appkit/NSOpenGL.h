#pragma once
// OpenGL contexts: a pixel format from its attribute list and a context that can be
// made the current one. A context renders off-screen (Mesa's software renderer)
// into a frame the size of its view; flushBuffer, and clearing it while current,
// show the frame in the view's place of its window.

#include "platform/appkit/Foundation.h"

#include <cstdint>
#include <string>
#include <vector>

typedef uint32_t NSOpenGLPixelFormatAttribute;
enum : NSOpenGLPixelFormatAttribute
{
  NSOpenGLPFAAllowOfflineRenderers = 96
};

class NSOpenGLPixelFormat : public NSObject
{
public:
  // The list ends at its first 0.
  explicit NSOpenGLPixelFormat(const NSOpenGLPixelFormatAttribute* attributes);
  const std::vector<NSOpenGLPixelFormatAttribute>& attributes() const { return mAttributes; }

private:
  std::vector<NSOpenGLPixelFormatAttribute> mAttributes;
};

class NSView;
struct AKSoftwareRenderer;

class NSOpenGLContext : public NSObject
{
public:
  NSOpenGLContext(NSOpenGLPixelFormat* format, NSOpenGLContext* share);
  NSOpenGLPixelFormat* pixelFormat() const { return mFormat; }
  // The view drawn into (not retained: the view owns its context); null for none.
  void setView(NSView* view) { mView = view; }
  NSView* view() const { return mView; }
  // The current context is retained while it is current. GL calls draw into its
  // frame from then on; false when the renderer could not be had (its library is
  // loaded at the first bind in the process; a message on standard error says why
  // it could not).
  bool makeCurrentContext();
  // Follows the view's size: a new frame when it changed (the current one is bound again).
  void update();
  // Shows the frame in the view's place in its window.
  void flushBuffer();
  static NSOpenGLContext* currentContext();
  // Shows the current context's frame, then no context is current.
  static void clearCurrentContext();
  // The frame, 0xAARRGGBB rows top-down (for tests); empty before any drawing.
  std::vector<uint32_t> framePixels(int* width, int* height) const;

protected:
  ~NSOpenGLContext() override;

private:
  bool bind();
  NSOpenGLPixelFormat* mFormat;  // retained
  NSView* mView = nullptr;
  const AKSoftwareRenderer* mRenderer = nullptr;  // the one that made mMesa
  void* mMesa = nullptr;                          // the renderer's context
  std::vector<uint8_t> mFrame;  // RGBA, rows bottom-up as GL counts them
  int mWidth = 0, mHeight = 0;
};

// For tests: the shared library the software renderer is loaded from, at the next
// bind of a context that has none (contexts made before keep theirs); returns the
// name it replaces.
std::string AKSetOpenGLRendererLibrary(const std::string& name);
