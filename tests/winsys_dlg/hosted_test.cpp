// Hosted views, drags started from window views, and GL contexts of window views.

#include "../winsys_wnd/wnd_test_util.h"

#include "platform/appkit/NSDragging.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSOpenGL.h"
#include "winsys/hosted/hosted.h"
#include "winsys/wnd/dragdrop.h"
#include "winsys/wnd/toplevel.h"
#include "winsys/wnd/dialog.h"

#include "TestFiles.h"

#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

// A unit's view factory, found by name in this program's own code.
int gFactories = 0;
class HostedTestUnitView : public AUCocoaUIBase
{
public:
  HostedTestUnitView() { ++gFactories; }
  ~HostedTestUnitView() override { --gFactories; }
  void* uiViewForAudioUnit(AudioUnit, double w, double h) override
  {
    // Not the size asked for: the caller learns the view's own.
    NSView* v = new NSView(NSMakeRect(0, 0, w + 10, h + 20));
    v->autorelease();
    return v;
  }
  unsigned interfaceVersion() override { return 0; }
  CFStringRef description() override { return nullptr; }
};
AU_COCOA_UI_EXPORT_CLASS(HostedTestUnitView);

namespace {

class Hosted : public WndTest
{
};

std::string gCreatedAt;
void CreateAt(const char* path)
{
  gCreatedAt = path;
  if (FILE* f = fopen(path, "w")) fclose(f);
}

TEST_F(Hosted, PromisedAndFileListDrags)
{
  HWND v = Window(NSMakeRect(0, 0, 100, 100));
  struct Case
  {
    const char* file;
    std::string type;
  } cases[] = {{"/tmp/take.one.wav", "wav"}, {"noextension", "noextension"}, {"/a.b/c", "b/c"}, {"end.", ""}};
  for (const Case& c : cases)
  {
    RECT r{5, 6, 25, 46};
    SWELL_InitiateDragDrop(v, &r, c.file, CreateAt);
    const AKDragStart& d = AKLastDragStarted();
    ASSERT_EQ(d.promisedTypes.size(), 1u);
    EXPECT_EQ(d.promisedTypes[0], c.type) << c.file;
    EXPECT_EQ(d.view, (NSView*)SWELL_WindowView(v));
    EXPECT_EQ(d.rect.size.width, 20);
    EXPECT_EQ(d.rect.size.height, 40);
    EXPECT_TRUE(d.filenames.empty());
  }
  // A file-list drag drops the promised file's path and callback.
  TempFolder folder{"davrel-drag"};
  ASSERT_FALSE(folder.path().empty());
  const char* dir = folder.path().c_str();
  const char* files[] = {"/x/one.dvl", "/x/two.dvl"};
  const long before = AKLastDragStarted().count;
  SWELL_InitiateDragDropOfFileList(v, nullptr, files, 2, nullptr);
  const AKDragStart& d = AKLastDragStarted();
  EXPECT_EQ(d.count, before + 1);
  EXPECT_EQ(d.filenames, std::vector<std::string>({"/x/one.dvl", "/x/two.dvl"}));
  ASSERT_TRUE(d.image);
  EXPECT_EQ(d.image->width(), 32);
  gCreatedAt.clear();
  EXPECT_EQ(SWELL_DoDragDrop(dir), "");
  EXPECT_EQ(gCreatedAt, "");
  // Nothing starts from what is not a window view, and a count of 0 drags no file.
  SWELL_InitiateDragDropOfFileList(nullptr, nullptr, files, 2, nullptr);
  SWELL_InitiateDragDrop(SWELL_HWND(windows[0]), nullptr, "x.wav", CreateAt);
  EXPECT_EQ(AKLastDragStarted().count, before + 1);
  SWELL_InitiateDragDropOfFileList(v, nullptr, files, 0, nullptr);
  EXPECT_TRUE(AKLastDragStarted().filenames.empty());
}

TEST_F(Hosted, GLContextsOfWindowViews)
{
  HWND v = Window(NSMakeRect(0, 0, 100, 100));
  SWELL_SetViewGL(v, false);  // none to remove
  EXPECT_FALSE(SWELL_GetViewGL(v));
  SWELL_SetViewGL(v, true);
  NSObject* first = SWELL_WindowView(v)->swellGLContext();
  SWELL_SetViewGL(v, true);
  EXPECT_EQ(SWELL_WindowView(v)->swellGLContext(), first);
  ASSERT_TRUE(dynamic_cast<NSOpenGLContext*>(first));
  EXPECT_EQ(dynamic_cast<NSOpenGLContext*>(first)->pixelFormat()->attributes(),
            std::vector<NSOpenGLPixelFormatAttribute>{NSOpenGLPFAAllowOfflineRenderers});
  EXPECT_TRUE(SWELL_SetGLContextToView(v));
  EXPECT_EQ(NSOpenGLContext::currentContext(), first);
  // Switching off the current one clears the current context.
  SWELL_SetViewGL(v, false);
  EXPECT_EQ(NSOpenGLContext::currentContext(), nullptr);
  EXPECT_FALSE(SWELL_SetGLContextToView(v));
  EXPECT_FALSE(SWELL_SetGLContextToView(SWELL_HWND(windows[0])));
  SWELL_SetViewGL(v, true);
  EXPECT_TRUE(SWELL_SetGLContextToView(v));
  EXPECT_FALSE(SWELL_SetGLContextToView(nullptr));
  EXPECT_EQ(NSOpenGLContext::currentContext(), nullptr);
}

// A handle kept past its window names nothing to the dialog, drag, GL and host
// functions: each answers as for no window, and nothing reaches a procedure.
TEST_F(Hosted, StaleHandlesNameNothing)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 200));
  const HWND stale = Child(top, NSMakeRect(0, 0, 50, 50));
  SWELL_SetViewGL(stale, true);
  DestroyWindow(stale);
  ASSERT_FALSE(IsWindow(stale));
  log.msgs.clear();
  EXPECT_FALSE(SWELL_GetViewGL(stale));
  SWELL_SetViewGL(stale, true);
  EXPECT_FALSE(SWELL_SetGLContextToView(stale));
  EndDialog(stale, 3);
  SWELL_SetDragSource("/x/a.syx", CreateAt);
  SWELL_InitiateDragDrop(stale, nullptr, "/x/b.syx", CreateAt);
  EXPECT_EQ(SWELL_DoDragDrop("/tmp"), "") << "the earlier drag was cleared, no new one begun";
  EXPECT_EQ(SWELL_GetWindowFromCarbonWindowView(stale), nullptr);
  // A dialog or host view under a parent that is gone stands alone.
  HWND host = SWELL_CreateCarbonWindowView(stale, nullptr, nullptr, false);
  ASSERT_TRUE(host);
  EXPECT_EQ(SWELL_WindowView(host)->superview(), nullptr);
  DestroyWindow(host);
  static SWELL_DialogResourceIndex res{(const char*)1, nullptr, SWELL_DLG_CHILD, nullptr, 30, 20, nullptr};
  HWND dlg = SWELL_CreateDialog(&res, (const char*)1, stale, RecordingProc, 0);
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(dynamic_cast<Swell_vDavrel_64_modelesswindow*>(SWELL_WindowView(dlg)->window()));
  DestroyWindow(dlg);
  for (const LoggedMsg& m : log.msgs) EXPECT_NE(m.hwnd, stale) << m;
  DestroyWindow(top);
}

TEST_F(Hosted, HostViewsAndUnitViewsThatCannotBeHad)
{
  HWND parent = Window(NSMakeRect(0, 0, 400, 400));
  for (RECT r : {RECT{0, 0, 10, 10}, RECT{5, 5, 900, 700}})
  {
    void* wnd = (void*)1;
    HWND h = SWELL_CreateCarbonWindowView(parent, &wnd, &r, true);
    ASSERT_TRUE(h);
    EXPECT_EQ(wnd, nullptr);
    EXPECT_EQ(SWELL_WindowView(h)->frame().size.width, 300);
    EXPECT_EQ(SWELL_WindowView(h)->frame().size.height, 200);
    EXPECT_EQ(SWELL_WindowView(h)->superview(), (NSView*)SWELL_WindowView(parent));
    EXPECT_EQ(SWELL_GetWindowFromCarbonWindowView(h), nullptr);
    DestroyWindow(h);
  }
  EXPECT_EQ(SWELL_GetWindowFromCarbonWindowView(nullptr), nullptr);
  // A window as the parent takes the host view as its content.
  NSWindow* w = SWELL_WindowView(parent)->window();
  HWND content = SWELL_CreateCarbonWindowView(SWELL_HWND(w), nullptr, nullptr, false);
  ASSERT_TRUE(content);
  EXPECT_EQ(w->contentView(), (NSView*)SWELL_WindowView(content));
  DestroyWindow(content);
  parent = Window(NSMakeRect(0, 0, 400, 400));

  AudioUnitCocoaViewInfo info{};
  RECT r{1, 2, 3, 4};
  EXPECT_EQ(SWELL_GetAudioUnitCocoaView(parent, nullptr, &info, &r), nullptr);
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.bottom, 4);
  EXPECT_TRUE(SWELL_WindowView(parent)->subviews().empty());

  // A class this program's bundle holds: its view goes into the parent at the
  // view's own size; the factory is made for the call and freed after it.
  NSAutoreleasePool pool;
  info.mCocoaAUViewBundleLocation = CFBundleCopyBundleURL(CFBundleGetMainBundle());
  ASSERT_TRUE(info.mCocoaAUViewBundleLocation);
  info.mCocoaAUViewClass[0] = CFStringCreateWithCString(nullptr, "NoSuchView", kCFStringEncodingUTF8);
  EXPECT_EQ(SWELL_GetAudioUnitCocoaView(parent, nullptr, &info, &r), nullptr);
  EXPECT_EQ(r.right, 3);
  CFRelease(info.mCocoaAUViewClass[0]);
  info.mCocoaAUViewClass[0] = CFStringCreateWithCString(nullptr, "HostedTestUnitView", kCFStringEncodingUTF8);
  r = RECT{5, 5, 125, 85};
  HWND unitView = SWELL_GetAudioUnitCocoaView(parent, nullptr, &info, &r);
  ASSERT_TRUE(unitView);
  NSView* uv = dynamic_cast<NSView*>(SWELL_Object(unitView));
  ASSERT_TRUE(uv);
  EXPECT_EQ(uv->superview(), (NSView*)SWELL_WindowView(parent));
  EXPECT_EQ((std::vector<double>{uv->frame().size.width, uv->frame().size.height}), (std::vector<double>{130, 100}));
  EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{0, 0, 130, 100}));
  EXPECT_EQ(gFactories, 0);
  CFRelease(info.mCocoaAUViewClass[0]);
  CFRelease(info.mCocoaAUViewBundleLocation);
}

}  // namespace
