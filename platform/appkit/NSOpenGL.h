#pragma once
// OpenGL contexts as objects: a pixel format from its attribute list and a context
// that can be made the current one. The kit has no GL drawing: a context binds
// nothing and draws nothing, so code that manages contexts runs unchanged.

#include "platform/appkit/Foundation.h"

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

class NSOpenGLContext : public NSObject
{
public:
  NSOpenGLContext(NSOpenGLPixelFormat* format, NSOpenGLContext* share);
  NSOpenGLPixelFormat* pixelFormat() const { return mFormat; }
  // The current context is retained while it is current.
  void makeCurrentContext();
  static NSOpenGLContext* currentContext();
  static void clearCurrentContext();

protected:
  ~NSOpenGLContext() override;

private:
  NSOpenGLPixelFormat* mFormat;  // retained
};
