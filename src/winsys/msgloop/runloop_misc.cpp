#include "winsys/msgloop/runloop_misc.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSTask.h"
#include "platform/appkit/Presenter.h"
#include "winsys/kernel.h"
#include "winsys/kernel_handles.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

std::atomic<bool> g_swell_terminating{false};

namespace {

bool s_rightclickemulate = false;
// Set once the layer started a thread.
std::atomic<bool> s_multithreaded{false};
int s_appnap_count = 0;
NSObject* s_appnap_activity = nullptr;

// Detaches a thread on the object, which it releases when done; false when no
// thread could be made (the object is released then too).
bool detachThread(Swell_vDavrel_64_thread* t)
{
  try
  {
    std::thread([t] {
      t->bla(nullptr);
      t->release();
    }).detach();
    s_multithreaded = true;
    return true;
  }
  catch (const std::system_error&)
  {
    t->release();
    return false;
  }
}

// Length of the longest prefix of s (at most max bytes) that ends on a character boundary.
size_t wholeCharacters(const char* s, size_t len, size_t max)
{
  if (len <= max) return len;
  size_t n = max;
  // Back off continuation bytes so no character is cut in two.
  while (n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80) --n;
  return n;
}

DWORD waitTask(void* task, DWORD ms)
{
  return SWELL_WaitForNSTask((NSTask*)task, ms);
}

void releaseTask(void* task)
{
  SWELL_ReleaseNSTask((NSTask*)task);
}

}  // namespace

CFStringRef SWELL_CStringToCFString(const char* s)
{
  if (!s) s = "";
  CFStringRef str = CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8);
  return str ? str : CFStringCreateWithCString(nullptr, s, kCFStringEncodingASCII);
}

void SWELL_CFStringToCString(CFStringRef str, char* buf, int size)
{
  if (!buf || size <= 0) return;
  buf[0] = 0;
  if (!str || size == 1) return;
  if (CFStringGetCString(str, buf, size, kCFStringEncodingUTF8)) return;
  const char* text = CFStringGetCStringPtr(str, kCFStringEncodingUTF8);
  if (!text) return;
  const size_t n = wholeCharacters(text, strlen(text), (size_t)size - 1);
  memcpy(buf, text, n);
  buf[n] = 0;
}

void SWELL_CStringThroughCFString(const char* s, char* buf, int size)
{
  CFStringRef str = SWELL_CStringToCFString(s);
  SWELL_CFStringToCString(str, buf, size);
  if (str) CFRelease(str);
}

HANDLE SWELL_CreateProcess(const char* exe, int argc, const char* const* argv)
{
  if (!exe || !*exe) return nullptr;
  NSTask* task = new (std::nothrow) NSTask;
  if (!task) return nullptr;
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(argv && argv[i] ? argv[i] : "");
  task->setLaunchPath(exe);
  task->setArguments(args);
  if (!task->launch())
  {
    task->release();
    return nullptr;
  }
  swell_kernel::ProcessHandle* h = new (std::nothrow) swell_kernel::ProcessHandle;
  if (!h)
  {
    task->release();
    return nullptr;
  }
  h->task = task;
  h->waitTask = waitTask;
  h->releaseTask = releaseTask;
  return swell_kernel::registerHandle(h);
}

DWORD SWELL_WaitForNSTask(NSTask* task, DWORD ms)
{
  if (!task) return 0;
  if (ms == 0) return task->isRunning() ? WAIT_TIMEOUT : WAIT_OBJECT_0;
  const double seconds = ms == 0xFFFFFFFF ? -1.0 : ms * 0.001 * SWELL_GetTimeScale();
  return task->waitUntilExit(seconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void SWELL_ReleaseNSTask(NSTask* task)
{
  if (task) task->release();
}

void Swell_vDavrel_64_thread::bla(NSObject*)
{
  if (a) a(b);
}

void CreateThreadNS(void*, size_t, SWELL_ThreadProc proc, void* param, int, DWORD* tid)
{
  if (tid) *tid = 0;
  if (!proc) return;
  Swell_vDavrel_64_thread* t = new (std::nothrow) Swell_vDavrel_64_thread;
  if (!t) return;
  t->a = proc;
  t->b = param;
  // No thread could be started: the caller gets no handle either way.
  detachThread(t);
}

void SWELL_EnsureMultithreadedCocoa()
{
  static std::once_flag once;
  std::call_once(once, [] {
    if (s_multithreaded) return;
    if (Swell_vDavrel_64_thread* t = new (std::nothrow) Swell_vDavrel_64_thread) detachThread(t);
  });
}

void* SWELL_InitAutoRelease()
{
  return new (std::nothrow) NSAutoreleasePool;
}

void SWELL_QuitAutoRelease(void* pool)
{
  delete (NSAutoreleasePool*)pool;
}

void SWELL_RunEvents()
{
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  for (int i = 0; i < 100 && loop->runOnce(); ++i)
  {
  }
}

void SWELL_MakeProcessFront(HANDLE h)
{
  long pid = 0;
  {
    swell_kernel::Pinned<swell_kernel::ProcessHandle> p(h, swell_kernel::kKindProcess);
    if (!p || !p->task || p->waitTask != waitTask) return;
    pid = (long)((NSTask*)p->task)->processIdentifier();
  }
  if (pid <= 0 || !NSApplication::exists() || !NSApp->presenter()) return;
  for (int attempt = 0; attempt < 20; ++attempt)
  {
    if (NSApp->presenter()->activateProcess(pid) != 0) return;
    if (attempt < 19)
      std::this_thread::sleep_for(std::chrono::microseconds((long long)(50000 * SWELL_GetTimeScale())));
  }
}

bool SWELL_DisableAppNap(int delta)
{
  if (g_swell_terminating) return s_appnap_activity != nullptr;
  try
  {
    s_appnap_count += delta;
    NSProcessInfo* info = NSProcessInfo::processInfo();
    if (s_appnap_count <= 0 && s_appnap_activity)
    {
      info->endActivity(s_appnap_activity);
      AKRelease(s_appnap_activity);
    }
    else if (s_appnap_count > 0 && !s_appnap_activity)
      s_appnap_activity = info->beginActivityWithOptions(NSActivityLatencyCritical | NSActivityIdleSystemSleepDisabled,
                                                         "SWELL_DisableAppNap");
  }
  catch (const std::exception&)
  {
    // The platform refused the activity: the program runs on, throttled or not.
  }
  return s_appnap_activity != nullptr;
}

void SWELL_EnableRightClickEmulate(BOOL on)
{
  s_rightclickemulate = on != 0;
}

BOOL IsRightClickEmulateEnabled()
{
  return s_rightclickemulate;
}

void SWELL_PostQuitMessage(void* sender)
{
  g_swell_terminating = true;
  if (NSApplication::exists()) NSApp->stop((NSObject*)sender);
}

bool SWELL_IsTerminating()
{
  return g_swell_terminating;
}
