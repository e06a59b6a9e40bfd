#include "platform/appkit/NSOpenGL.h"

namespace {
NSOpenGLContext* gCurrent = nullptr;
}

NSOpenGLPixelFormat::NSOpenGLPixelFormat(const NSOpenGLPixelFormatAttribute* attributes)
{
  for (const NSOpenGLPixelFormatAttribute* a = attributes; a && *a; ++a) mAttributes.push_back(*a);
}

NSOpenGLContext::NSOpenGLContext(NSOpenGLPixelFormat* format, NSOpenGLContext*) : mFormat(AKRetain(format)) {}

NSOpenGLContext::~NSOpenGLContext() { AKRelease(mFormat); }

void NSOpenGLContext::makeCurrentContext() { AKAssign(gCurrent, this); }

NSOpenGLContext* NSOpenGLContext::currentContext() { return gCurrent; }

void NSOpenGLContext::clearCurrentContext() { AKRelease(gCurrent); }
