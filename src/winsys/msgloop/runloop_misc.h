#pragma once
// String conversion, child processes, threads, autorelease pools, event pumping,
// right-click emulation and the quit request of the window-system layer.

#include "platform/appkit/Foundation.h"
#include "platform/corefoundation/CFString.h"
#include "winsys/swell-types.h"

#include <atomic>

class NSTask;

// A new string from UTF-8, or from ASCII when that fails; null counts as empty.
CFStringRef SWELL_CStringToCFString(const char* s);
// Nothing for size <= 0; else buf gets the string's UTF-8 text, cut at a whole
// character when it does not fit, always NUL-terminated (empty for a null string).
void SWELL_CFStringToCString(CFStringRef str, char* buf, int size);
// s made a platform string and written back into buf as above: the text the
// layer hands out reads as the platform's strings would give it.
void SWELL_CStringThroughCFString(const char* s, char* buf, int size);

// Starts exe with its arguments (null ones count as empty) directly, never
// through a shell. A process handle (CloseHandle, WaitForSingleObject), or null
// when it cannot be started.
HANDLE SWELL_CreateProcess(const char* exe, int argc, const char* const* argv);
// 0 when the process has ended, 258 when it still runs after ms milliseconds of the
// layer's clock (0xFFFFFFFF: no limit; 0: a single check).
DWORD SWELL_WaitForNSTask(NSTask* task, DWORD ms);
void SWELL_ReleaseNSTask(NSTask* task);
// Main thread: brings a window of the process of a process handle to the front
// (raised and focused; on X11 the window manager is asked with _NET_ACTIVE_WINDOW).
// A process that shows no window yet is looked for again every 50 ms, 20 times in
// all. Nothing for other handles or where no other program's windows are shown.
void SWELL_MakeProcessFront(HANDLE h);

typedef void (*SWELL_ThreadProc)(void* param);

// What a thread of the layer runs: bla runs a(b) when a is set, then the thread
// ends. Made on the starting thread, then touched only by the thread it runs on.
class Swell_vDavrel_64_thread : public NSObject
{
public:
  void bla(NSObject* sender);

  SWELL_ThreadProc a = nullptr;
  void* b = nullptr;
};

// Starts a detached thread running proc(param); returns no handle. Nothing starts
// without proc, or when no thread can be made.
void CreateThreadNS(void* attrs, size_t stack, SWELL_ThreadProc proc, void* param, int flags, DWORD* tid);
// Once per process, unless a thread of the layer already ran: starts a thread that
// ends at once, the platform's way into multi-threaded mode.
void SWELL_EnsureMultithreadedCocoa();

// A new autorelease pool / drains and frees it (null ignored). Pools nest: quit
// them in the reverse order of making them, on the thread that made them.
void* SWELL_InitAutoRelease();
void SWELL_QuitAutoRelease(void* pool);

// Main thread: handles what is pending (posted work, due timers, events), at
// most 100 turns of the run loop, without waiting.
void SWELL_RunEvents();

// Main thread: adds delta to the count of callers that want the platform's power
// throttling of background programs (app nap) held off. While the count is
// positive one activity (latency critical, no idle sleep) is held; at 0 or below
// it is ended. Nothing once terminating. True while an activity is held.
bool SWELL_DisableAppNap(int delta);

void SWELL_EnableRightClickEmulate(BOOL on);
BOOL IsRightClickEmulateEnabled();

// Main thread: marks the layer as terminating and asks the application to stop.
void SWELL_PostQuitMessage(void* sender);
bool SWELL_IsTerminating();
// Set by the quit request; a host program may set it too. Atomic, as a host may
// ask to quit from a thread of its own.
extern std::atomic<bool> g_swell_terminating;
