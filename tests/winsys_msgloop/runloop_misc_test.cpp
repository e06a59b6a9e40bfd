#include "winsys/msgloop/runloop_misc.h"

#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSTask.h"
#include "winsys/kernel.h"
#include "winsys/kernel_handles.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

TEST(RunLoopMisc, StringConversionCutsOnlyAtWholeCharacters)
{
  struct Case
  {
    const char* text;  // null: a null string
    int size;
    const char* want;  // null: the buffer is left alone
  };
  const Case cases[] = {
      {"abc", 0, nullptr},
      {"abc", 1, ""},
      {nullptr, 8, ""},
      {"abc", 4, "abc"},
      {"abcdef", 4, "abc"},
      {"h\xC3\xA9llo", 3, "h"},             // é would be cut in two
      {"h\xC3\xA9llo", 4, "h\xC3\xA9"},
      {"\xE2\x82\xAC\xE2\x82\xAC", 6, "\xE2\x82\xAC"},  // two euro signs, room for one
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::string(c.text ? c.text : "(null)") + " " + std::to_string(c.size));
    CFStringRef s = c.text ? SWELL_CStringToCFString(c.text) : nullptr;
    char buf[16];
    memset(buf, 'x', sizeof(buf));
    SWELL_CFStringToCString(s, buf, c.size);
    if (c.want)
      EXPECT_STREQ(buf, c.want);
    else
      EXPECT_EQ(buf[0], 'x');
    if (s) CFRelease(s);
    // The one-call round trip meets the same table (a null text counts as empty).
    char through[16];
    memset(through, 'x', sizeof(through));
    SWELL_CStringThroughCFString(c.text, through, c.size);
    if (c.want)
      EXPECT_STREQ(through, c.want);
    else
      EXPECT_EQ(through[0], 'x');
  }
  CFStringRef empty = SWELL_CStringToCFString(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(CFStringGetLength(empty), 0);
  CFRelease(empty);
}

TEST(RunLoopMisc, ChildProcessesTakeTheirNamesLiterally)
{
  struct Case
  {
    const char* exe;
    std::vector<const char*> args;
    bool starts;
  };
  const Case cases[] = {
      {"/usr/bin/test", {"a;b", "=", "a;b"}, true},
      {"/usr/bin/true; touch /tmp/davrel-never", {}, false},  // a shell would have run this
      {"/nonexistent/program", {}, false},
      {"", {}, false},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.exe);
    HANDLE h = SWELL_CreateProcess(c.exe, (int)c.args.size(), c.args.data());
    EXPECT_EQ(h != nullptr, c.starts);
    if (!h) continue;
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    NSTask* task = (NSTask*)static_cast<swell_kernel::ProcessHandle*>((swell_kernel::KernelHandle*)h)->task;
    EXPECT_EQ(task->terminationStatus(), 0) << "the arguments arrived unparsed";
    CloseHandle(h);
  }
  EXPECT_NE(access("/tmp/davrel-never", F_OK), 0);

  // A running process times out at once for 0 ms and ends when stopped.
  const char* args[] = {"30"};
  HANDLE h = SWELL_CreateProcess("/usr/bin/sleep", 1, args);
  ASSERT_NE(h, nullptr);
  NSTask* task = (NSTask*)static_cast<swell_kernel::ProcessHandle*>((swell_kernel::KernelHandle*)h)->task;
  EXPECT_EQ(SWELL_WaitForNSTask(task, 0), WAIT_TIMEOUT);
  EXPECT_EQ(SWELL_WaitForNSTask(task, 1), WAIT_TIMEOUT);
  kill(task->processIdentifier(), SIGTERM);
  EXPECT_EQ(SWELL_WaitForNSTask(task, 0xFFFFFFFF), WAIT_OBJECT_0);
  EXPECT_EQ(SWELL_WaitForNSTask(task, 0), WAIT_OBJECT_0);
  CloseHandle(h);
}

namespace {
void setPromise(void* p)
{
  ((std::promise<std::thread::id>*)p)->set_value(std::this_thread::get_id());
}
}  // namespace

TEST(RunLoopMisc, ThreadsPoolsFlagsAndQuit)
{
  const long live = NSObject::liveObjects();
  std::promise<std::thread::id> ran;
  std::future<std::thread::id> f = ran.get_future();
  DWORD tid = 7;
  CreateThreadNS(nullptr, 0, setPromise, &ran, 0, &tid);
  ASSERT_EQ(f.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(f.get() != std::this_thread::get_id());
  EXPECT_EQ(tid, 0u);
  // The thread's object goes with the thread.
  for (int i = 0; i < 10000 && NSObject::liveObjects() != live; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(NSObject::liveObjects(), live);
  tid = 7;
  CreateThreadNS(nullptr, 0, nullptr, &ran, 0, &tid);
  EXPECT_EQ(tid, 0u);
  EXPECT_EQ(NSObject::liveObjects(), live) << "nothing starts without a procedure";

  void* pool = SWELL_InitAutoRelease();
  ASSERT_NE(pool, nullptr);
  (new NSObject)->autorelease();
  EXPECT_EQ(NSObject::liveObjects(), live + 1);
  SWELL_QuitAutoRelease(pool);
  EXPECT_EQ(NSObject::liveObjects(), live);
  SWELL_QuitAutoRelease(nullptr);

  for (BOOL on : {TRUE, FALSE, TRUE, FALSE})
  {
    SWELL_EnableRightClickEmulate(on);
    EXPECT_EQ(IsRightClickEmulateEnabled(), on);
  }

  // Pending work runs, without waiting, in one call.
  int ran2 = 0;
  NSRunLoop::postToMainThread([&] { ++ran2; });
  SWELL_RunEvents();
  EXPECT_EQ(ran2, 1);

  EXPECT_FALSE(SWELL_IsTerminating());
  SWELL_PostQuitMessage(nullptr);
  EXPECT_TRUE(SWELL_IsTerminating());
  // The flag a host program reads and sets is the one the layer keeps.
  EXPECT_TRUE(g_swell_terminating);
  g_swell_terminating = false;
  EXPECT_FALSE(SWELL_IsTerminating());
  g_swell_terminating = true;
  EXPECT_TRUE(SWELL_IsTerminating());
}

// One activity is held while more callers asked to hold off app nap than let it go.
TEST(RunLoopMisc, AppNapIsHeldOffWhileTheCountIsPositive)
{
  g_swell_terminating = false;
  NSProcessInfo* info = NSProcessInfo::processInfo();
  const int before = info->heldActivities();
  struct Step
  {
    int delta;
    bool held;
  };
  const Step steps[] = {{1, true}, {1, true}, {-1, true}, {-1, false}, {-1, false},
                        {1, false},  // the count is back at 0
                        {1, true},   {0, true}, {-1, false}};
  for (const Step& s : steps)
  {
    EXPECT_EQ(SWELL_DisableAppNap(s.delta), s.held) << s.delta;
    EXPECT_EQ(info->heldActivities() - before, s.held ? 1 : 0);
  }
  // Once terminating nothing changes.
  ASSERT_TRUE(SWELL_DisableAppNap(1));
  g_swell_terminating = true;
  EXPECT_TRUE(SWELL_DisableAppNap(-1));
  EXPECT_EQ(info->heldActivities() - before, 1);
  g_swell_terminating = false;
  EXPECT_FALSE(SWELL_DisableAppNap(-1));
  EXPECT_EQ(info->heldActivities(), before);
}
