// Posted messages and window timers, the focus rectangle, files dropped on views
// and dragged out of them, and accessibility elements.

#include "wnd_test_util.h"

#include "TestFiles.h"

#include "platform/appkit/ModalScript.h"
#include "platform/appkit/NSDragging.h"
#include "winsys/msgloop/timers.h"
#include "winsys/shell/clipboard.h"
#include "winsys/wnd/dragdrop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>

namespace {

class Posting : public WndTest
{
protected:
  void SetUp() override
  {
    WndTest::SetUp();
    loop = NSRunLoop::currentRunLoop();
    loop->setVirtualClock(true);
    InstallPostDelegate();
  }
  // Until the queue's tick came round and emptied it. The tick lives for the
  // process: its next time may lie as far ahead as earlier tests moved the virtual
  // clock, which starts again at the real time in each test.
  void Flush()
  {
    EXPECT_TRUE(loop->runUntil([] { return SWELL_Internal_PMQ_QueuedCount() == 0; }, loop->now() + 60));
  }
  void TearDown() override
  {
    loop->runOnce();
    loop->setVirtualClock(false);
    WndTest::TearDown();
  }
  NSRunLoop* loop = nullptr;
};

TEST_F(Posting, PostedMessagesArriveInOrderUpToTheCap)
{
  const HWND top = Window(NSMakeRect(0, 0, 50, 50));
  const HWND a = Child(top, NSMakeRect(0, 0, 10, 10));
  log.msgs.clear();
  // From another thread, as a worker posts.
  std::thread t([a] {
    for (int i = 0; i < 3; ++i) PostMessage(a, 0x400 + i, i, -i);
  });
  t.join();
  EXPECT_FALSE(PostMessage(SWELL_HWND(windows.back()), 0x400, 0, 0)) << "a window that is no window view";
  // Drained here too: views of earlier tests waiting in the autorelease pool.
  Flush();
  std::vector<LoggedMsg> posts;
  for (const LoggedMsg& m : log.msgs)
    if (m.msg >= 0x400) posts.push_back(m);
  EXPECT_EQ(posts, (std::vector<LoggedMsg>{{a, 0x400, 0, 0}, {a, 0x401, 1, -1}, {a, 0x402, 2, -2}}));

  // 1024 waiting and none handed back yet: the next post fails until a flush.
  int posted = 0;
  while (posted < 2000 && PostMessage(a, 0x410, 0, 0)) ++posted;
  // Records handed back earlier are reused first; past them the queue stops at 1024.
  EXPECT_GE(posted, 1024);
  EXPECT_LT(posted, 2000);
  EXPECT_FALSE(PostMessage(a, 0x410, 0, 0));
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), posted);
  log.msgs.clear();
  Flush();
  EXPECT_EQ((int)log.only(0x410).size(), posted);
  EXPECT_TRUE(PostMessage(a, 0x411, 0, 0));
  Flush();
}

// A message that destroys another window drops what was posted to it, even in the
// flush already under way, and also when the message first runs a flush of its own
// (as a modal loop does).
TEST_F(Posting, DestroyedWindowsGetNothingMoreFromTheQueue)
{
  for (const bool nestedFlush : {false, true})
  {
    SCOPED_TRACE(nestedFlush ? "after a nested flush" : "in the flush under way");
    const HWND top = Window(NSMakeRect(0, 0, 50, 50));
    const HWND a = Child(top, NSMakeRect(0, 0, 10, 10));
    const HWND b = Child(top, NSMakeRect(10, 0, 10, 10));
    log.handlers[{a, 0x400}] = [a, b, nestedFlush](HWND, WPARAM, LPARAM) {
      if (nestedFlush)
      {
        PostMessage(a, 0x402, 0, 0);
        SWELL_MessageQueue_Flush();
      }
      DestroyWindow(b);
      return (LRESULT)0;
    };
    PostMessage(a, 0x400, 0, 0);
    PostMessage(b, 0x401, 0, 0);
    log.msgs.clear();
    Flush();
    EXPECT_EQ(log.only(0x402).size(), nestedFlush ? 1u : 0u);
    EXPECT_TRUE(log.only(0x401).empty());
    EXPECT_EQ(log.only(WM_DESTROY).size(), 1u);
    log.handlers.erase({a, 0x400});
    DestroyWindow(top);
  }
}

TEST_F(Posting, WindowTimersWithoutCallbackSendWmTimer)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 50, 50), 0, &w);
  const HWND a = Child(top, NSMakeRect(0, 0, 10, 10));
  EXPECT_EQ(SetTimer(a, 5, 40, nullptr), 5u);
  EXPECT_EQ(SetTimer(SWELL_HWND(w), 6, 100, nullptr), 6u) << "a window's timer goes to its content view";
  NSView* plain = new NSView(NSMakeRect(0, 0, 1, 1));
  EXPECT_EQ(SetTimer(SWELL_HWND(plain), 7, 40, nullptr), 0u);
  plain->release();
  log.msgs.clear();
  loop->runFor(0.1005);
  EXPECT_EQ(log.only(WM_TIMER),
            (std::vector<LoggedMsg>{{a, WM_TIMER, 5, 0}, {a, WM_TIMER, 5, 0}, {top, WM_TIMER, 6, 0}}));
  // Destruction stops them.
  DestroyWindow(a);
  log.msgs.clear();
  loop->runFor(0.1);
  EXPECT_EQ(log.only(WM_TIMER), (std::vector<LoggedMsg>{{top, WM_TIMER, 6, 0}}));
  KillTimer(top, 6);
}

TEST_F(Posting, FocusRectangleOverlay)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(100, 100, 200, 200), 0, &w);
  void* handle = nullptr;
  const size_t before = NSApp->windows().size();
  RECT r{10, 30, 50, 10};  // top below bottom
  SWELL_DrawFocusRect(top, &r, &handle);
  ASSERT_NE(handle, nullptr);
  NSWindow* overlay = (NSWindow*)handle;
  const NSRect first = overlay->frame();
  RECT ordered{10, 10, 50, 30};
  SWELL_DrawFocusRect(top, &ordered, &handle);
  EXPECT_EQ(handle, (void*)overlay) << "moved, not made again";
  EXPECT_TRUE(NSEqualRects(overlay->frame(), first)) << "the same overlay as the ordered rectangle";
  EXPECT_TRUE(NSEqualRects(first, NSMakeRect(110, 100 + 200 - 30, 40, 20)));
  EXPECT_EQ(overlay->parentWindow(), w);
  EXPECT_EQ(overlay->alphaValue(), 0.5);
  RECT moved{0, 0, 5, 5};
  SWELL_DrawFocusRect(top, &moved, &handle);
  EXPECT_EQ(NSApp->windows().size(), before + 1);
  SWELL_DrawFocusRect(top, nullptr, &handle);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(NSApp->windows().size(), before);
  SWELL_DrawFocusRect(top, &r, nullptr);  // no handle: nothing
  // A destroyed parent: nothing is shown, neither over it nor on its own.
  const HWND gone = Child(top, NSMakeRect(0, 0, 50, 50));
  DestroyWindow(gone);
  SWELL_DrawFocusRect(gone, &r, &handle);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(NSApp->windows().size(), before);
}

// ---- drag and drop ----

class DragDrop : public WndTest
{
protected:
  void SetUp() override
  {
    WndTest::SetUp();
    ASSERT_FALSE(folder.path().empty());
    dir = folder.path();
  }
  void TearDown() override
  {
    SWELL_FinishDragDrop();
    WndTest::TearDown();
  }
  void Touch(const std::string& name)
  {
    FILE* f = fopen((dir + "/" + name).c_str(), "w");
    if (f) fclose(f);
  }
  static void CreateAt(const char* path)
  {
    FILE* f = fopen(path, "w");
    if (f) fclose(f);
  }
  TempFolder folder{"davrel-drop"};
  std::string dir;
};

TEST_F(DragDrop, KeepBothFilesFindsAFreeNumberedName)
{
  struct Case
  {
    const char* source;
    std::vector<const char*> present;
    const char* want;
  };
  const Case cases[] = {
      {"song.syx", {"song.syx"}, "song 001.syx"},
      {"song.syx", {"song.syx", "song 001.syx"}, "song 002.syx"},
      {"take-07.syx", {"take-07.syx"}, "take-008.syx"},
      {"mix2.syx", {"mix2.syx"}, "mix2 001.syx"},
      {"bank", {"bank"}, "bank 001"},
      {"mix-.syx", {"mix-.syx"}, "mix-001.syx"},
      {".hidden", {".hidden"}, ".hidden 001"},
  };
  NSModalScript script;
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.source);
    system(("rm -rf '" + dir + "'/* '" + dir + "'/.hidden*").c_str());
    for (const char* p : c.present) Touch(p);
    SWELL_SetDragSource((std::string("/elsewhere/") + c.source).c_str(), CreateAt);
    script.pressAlertButton(0);  // "Keep Both Files"
    EXPECT_EQ(SWELL_DoDragDrop(dir.c_str()), c.want);
  }
  ASSERT_FALSE(script.alertsShown.empty());
  EXPECT_EQ(script.alertsShown[0].buttons, (std::vector<std::string>{"Keep Both Files", "Stop", "Replace"}));
  // "Stop" creates nothing; "Replace" writes over the file.
  Touch("song.syx");
  SWELL_SetDragSource("/x/song.syx", CreateAt);
  script.pressAlertButton(1);
  EXPECT_EQ(SWELL_DoDragDrop(dir.c_str()), "");
  struct stat st;
  EXPECT_NE(stat((dir + "/song 001.syx").c_str(), &st), 0);
  SWELL_SetDragSource("/x/song.syx", CreateAt);
  script.pressAlertButton(2);
  EXPECT_EQ(SWELL_DoDragDrop(dir.c_str()), "song.syx");
  EXPECT_EQ(SWELL_DoDragDrop(dir.c_str()), "") << "the drag-source state is gone";

  // A destination longer than a path may be, in a folder that is there: nothing is
  // made, neither under the name cut to fit nor under a numbered one.
  std::string deep = dir;
  while (deep.size() < 4088 - 201) deep += "/" + std::string(200, 'd');
  deep += "/" + std::string(4088 - deep.size() - 1, 'e');
  ASSERT_EQ(deep.size(), 4088u);
  std::filesystem::create_directories(deep);
  for (const char* name : {"song.syx", "so.syx"})
  {
    SCOPED_TRACE(name);
    if (!strcmp(name, "so.syx")) CreateAt((deep + "/so.syx").c_str());  // 4095 bytes: Keep Both would need more
    SWELL_SetDragSource((std::string("/x/") + name).c_str(), CreateAt);
    if (!strcmp(name, "so.syx")) script.pressAlertButton(0);
    EXPECT_EQ(SWELL_DoDragDrop(deep.c_str()), "");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(deep), std::filesystem::directory_iterator()), 1)
      << "only the file put there by the test";
}

struct DropSeen
{
  std::vector<unsigned char> block;
  int enters = 0, overs = 0, leaves = 0;
};
DropSeen g_drop;

TEST_F(DragDrop, DroppedFilesArriveAsOneBlock)
{
  g_drop = DropSeen{};
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 100, 100), 0, &w);
  const HWND a = Child(top, NSMakeRect(10, 10, 50, 50));
  SetWindowLong(a, GWL_EXSTYLE, WS_EX_ACCEPTFILES);
  log.handlers[{a, WM_DROPFILES}] = [](HWND, WPARAM wp, LPARAM) {
    const unsigned char* b = (const unsigned char*)wp;
    size_t n = 16;
    while (b[n] || b[n - 1]) ++n;  // to the second NUL in a row
    g_drop.block.assign(b, b + n + 1);
    return (LRESULT)0;
  };
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(a);
  // (20.4, 30.6) in the window's base: 100 - 30.6 = 69.4 from the top.
  NSDraggingInfo* info = new NSDraggingInfo(w, NSMakePoint(20.4, 30.6), nullptr);
  info->filenames = {"/a", "/b"};
  info->promisedTypes = {"txt"};
  EXPECT_TRUE(v->performDragOperation(info));
  ASSERT_EQ(g_drop.block.size(), 23u);
  const unsigned char want[23] = {16, 0, 0, 0, 10, 0, 0, 0, 59, 0, 0, 0, 0, 0, 0, 0, '/', 'a', 0, '/', 'b', 0, 0};
  EXPECT_EQ(memcmp(g_drop.block.data(), want, 23), 0) << "paths win over promises; the point in the view";
  // A path longer than a path may be is left out, not cut into another one.
  info->filenames = {"/" + std::string(4095, 'l'), "/a", "/b"};
  g_drop.block.clear();
  EXPECT_TRUE(v->performDragOperation(info));
  ASSERT_EQ(g_drop.block.size(), 23u);
  EXPECT_EQ(memcmp(g_drop.block.data(), want, 23), 0);
  info->filenames = {"/a", "/b"};

  // Text only: the view still answers "generic" and calls no hook.
  SWELL_DDrop_onDragEnter = [](HANDLE, POINT) { ++g_drop.enters; };
  SWELL_DDrop_onDragOver = [](POINT) { ++g_drop.overs; };
  SWELL_DDrop_onDragLeave = [] { ++g_drop.leaves; };
  NSDraggingInfo* text = new NSDraggingInfo(w, NSMakePoint(20, 30), nullptr);
  EXPECT_EQ(v->draggingEntered(text), (NSUInteger)NSDragOperationGeneric);
  EXPECT_EQ(g_drop.enters, 0);
  EXPECT_EQ(v->draggingEntered(info), (NSUInteger)NSDragOperationGeneric);
  EXPECT_EQ(g_drop.enters, 1);
  EXPECT_FALSE(v->performDragOperation(text)) << "nothing to drop";
  EXPECT_EQ(g_drop.leaves, 1);
  SetWindowLong(a, GWL_EXSTYLE, 0);
  EXPECT_EQ(v->draggingEntered(info), (NSUInteger)NSDragOperationNone);

  // Promised files need the target-path hook.
  SetWindowLong(a, GWL_EXSTYLE, WS_EX_ACCEPTFILES);
  info->filenames.clear();
  info->namesOfPromisedFilesDroppedAtDestination = [](const std::string&) {
    return std::vector<std::string>{"made.txt"};
  };
  EXPECT_FALSE(v->performDragOperation(info));
  SWELL_DDrop_getDroppedFileTargetPath = [](const char*) -> const char* { return "/drop"; };
  g_drop.block.clear();
  EXPECT_TRUE(v->performDragOperation(info));
  EXPECT_EQ(std::string((const char*)g_drop.block.data() + 16), "/drop/made.txt");
  SWELL_DDrop_onDragEnter = nullptr;
  SWELL_DDrop_onDragOver = nullptr;
  SWELL_DDrop_onDragLeave = nullptr;
  SWELL_DDrop_getDroppedFileTargetPath = nullptr;
  info->release();
  text->release();
}

// A window procedure reads the dropped block the way programs do.
TEST_F(DragDrop, DroppedBlockReadsThroughTheHandleFunctions)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 100, 100), 0, &w);
  const HWND a = Child(top, NSMakeRect(10, 10, 50, 50));
  SetWindowLong(a, GWL_EXSTYLE, WS_EX_ACCEPTFILES);
  std::vector<std::string> files;
  POINT pt{};
  log.handlers[{a, WM_DROPFILES}] = [&](HWND, WPARAM wp, LPARAM) {
    HDROP drop = (HDROP)wp;
    const UINT n = DragQueryFile(drop, 0xFFFFFFFFu, nullptr, 0);
    for (UINT i = 0; i < n; ++i)
    {
      char buf[64];
      DragQueryFile(drop, i, buf, sizeof buf);
      files.push_back(buf);
    }
    EXPECT_TRUE(DragQueryPoint(drop, &pt));
    return (LRESULT)0;
  };
  NSDraggingInfo* info = new NSDraggingInfo(w, NSMakePoint(20.4, 30.6), nullptr);
  info->filenames = {"/a.syx", "/b.mid"};
  EXPECT_TRUE(SWELL_WindowView(a)->performDragOperation(info));
  EXPECT_EQ(files, (std::vector<std::string>{"/a.syx", "/b.mid"}));
  EXPECT_EQ(pt.x, 10);
  EXPECT_EQ(pt.y, 59);
  info->release();
}

class Element : public NSObject, public SWELL_AccessibilityElement
{
public:
  NSObject* hitAnswer = nullptr;
  bool ignored = false;
  NSObject* accessibilityHitTest(NSPoint) override { return hitAnswer ? hitAnswer : this; }
  NSObject* accessibilityFocusedUIElement() override { return this; }
  bool accessibilityIsIgnored() override { return ignored; }
};

TEST_F(DragDrop, AccessibilityElementsOfTheWindowProcedure)
{
  const HWND top = Window(NSMakeRect(0, 0, 100, 100));
  const HWND a = Child(top, NSMakeRect(10, 10, 50, 50));
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(a);
  EXPECT_FALSE(v->accessibilityIsIgnored()) << "no element";
  Element* e = new Element;
  log.handlers[{a, WM_GETOBJECT}] = [e](HWND, WPARAM wp, LPARAM lp) {
    EXPECT_EQ(wp, 0x1001u);
    *(NSObject**)lp = e;
    return (LRESULT)0;
  };
  EXPECT_TRUE(v->accessibilityIsIgnored()) << "no subviews and an element";
  EXPECT_EQ(v->accessibilityHitTest(NSMakePoint(5, 5)), (NSObject*)e);
  e->ignored = true;
  EXPECT_EQ(v->accessibilityHitTest(NSMakePoint(5, 5)), (NSObject*)v) << "an ignored element answers as the view";
  EXPECT_EQ(v->accessibilityFocusedUIElement(), (NSObject*)v);
  log.handlers.clear();
  e->release();
}

}  // namespace
