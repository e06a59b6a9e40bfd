// OpenGL contexts and the software renderer's library: no program loads it before a
// context binds; once bound, GL calls draw into the context's frame; a library that
// cannot be had fails the bind with a message, and nothing crashes.

#include "platform/appkit/AppKit.h"
#include "platform/appkit/NSOpenGL.h"
#include "platform/appkit/Presenter.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

bool loaded(const std::string& library) { return dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD) != nullptr; }

NSOpenGLContext* newContext(NSView* view)
{
  const NSOpenGLPixelFormatAttribute attrs[] = {NSOpenGLPFAAllowOfflineRenderers, 0};
  NSOpenGLPixelFormat* format = new NSOpenGLPixelFormat(attrs);
  NSOpenGLContext* context = new NSOpenGLContext(format, nullptr);
  format->release();
  context->setView(view);
  return context;
}

// Clears the current context's frame to a colour with the library's own entry points.
void clearTo(const std::string& library, float r, float g, float b)
{
  void* lib = dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  ASSERT_TRUE(lib);
  auto clearColor = (void (*)(float, float, float, float))dlsym(lib, "glClearColor");
  auto clear = (void (*)(unsigned))dlsym(lib, "glClear");
  auto finish = (void (*)())dlsym(lib, "glFinish");
  ASSERT_TRUE(clearColor && clear && finish);
  clearColor(r, g, b, 1);
  clear(0x4000);  // the colour buffer
  finish();
}

}  // namespace

TEST(OpenGLRenderer, LoadedAtTheFirstBindOrRefusedWithAMessage)
{
  if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
  NSApplication::sharedApplication();
  const long live = NSObject::liveObjects();
  const std::string library = AKSetOpenGLRendererLibrary("");
  AKSetOpenGLRendererLibrary(library);
  EXPECT_FALSE(loaded(library)) << "loaded before any context was bound";
  NSView* view = new NSView(NSMakeRect(0, 0, 8, 6));

  const struct
  {
    std::string name, message;
  } bad[] = {
      {"libdavrel-no-such-renderer.so.1",
       "OpenGL: the software renderer libdavrel-no-such-renderer.so.1 could not be loaded "
       "(libdavrel-no-such-renderer.so.1: cannot open shared object file: No such file or directory); "
       "OpenGL views stay empty\n"},
      {"libz.so.1",
       "OpenGL: libz.so.1 is not the software renderer (it has no OSMesaGetProcAddress); OpenGL views stay empty\n"},
  };
  for (const auto& b : bad)
  {
    SCOPED_TRACE(b.name);
    AKSetOpenGLRendererLibrary(b.name);
    NSOpenGLContext* context = newContext(view);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(context->makeCurrentContext());
    EXPECT_FALSE(context->makeCurrentContext());  // tried once a process: one message
    context->update();
    context->flushBuffer();
    NSOpenGLContext::clearCurrentContext();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), b.message);
    EXPECT_EQ(NSOpenGLContext::currentContext(), nullptr);
    int w = -1, h = -1;
    EXPECT_TRUE(context->framePixels(&w, &h).empty());
    context->release();
  }
  EXPECT_FALSE(loaded(library));

  AKSetOpenGLRendererLibrary(library);
  NSOpenGLContext* context = newContext(view);
  ASSERT_TRUE(context->makeCurrentContext());
  ASSERT_TRUE(loaded(library));
  clearTo(library, 1, 0, 0);
  int w = 0, h = 0;
  EXPECT_EQ(context->framePixels(&w, &h), std::vector<uint32_t>(48, 0xFFFF0000u));
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 6);

  // A context keeps the renderer that made it when another library is asked for;
  // a new one is refused.
  AKSetOpenGLRendererLibrary("libdavrel-no-such-renderer.so.1");
  view->setFrame(NSMakeRect(0, 0, 5, 4));
  context->update();
  clearTo(library, 0, 0, 1);
  EXPECT_EQ(context->framePixels(&w, &h), std::vector<uint32_t>(20, 0xFF0000FFu));
  NSOpenGLContext* refused = newContext(view);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(refused->makeCurrentContext());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // said once already
  NSOpenGLContext::clearCurrentContext();
  refused->release();
  AKSetOpenGLRendererLibrary(library);

  context->release();
  view->release();
  EXPECT_EQ(NSObject::liveObjects(), live);
}
