#pragma once
// The records behind kernel HANDLEs and the registry of live ones. For the
// layer's own files (the process handles of the run-loop part, file handles)
// and tests; callers outside the layer use winsys/kernel.h only.
//
// A HANDLE is valid while it is in the registry: from registerHandle until the
// CloseHandle that drops its last reference. Calls pin the record while they
// use it, so a handle closed by one thread while another waits on it is freed
// only when that wait ends.

#include "winsys/kernel.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <pthread.h>
#include <time.h>

namespace swell_kernel {

enum KernelKind : uint32_t
{
  kKindThread = 0x1000002,
  kKindEvent = 0x1000003,
  kKindFile = 0x1000004,
  kKindExternalSocket = 0x1000005,
  kKindSocketEvent = 0x1000006,
  kKindProcess = 0x1000007,
};

// Every record begins with its kind code and reference count. The registry
// frees a record by its kind, once the last reference and the last pin are gone.
struct KernelHandle
{
  explicit KernelHandle(uint32_t k) : kind(k), refs(1) {}
  const uint32_t kind;
  std::atomic<int32_t> refs;  // open HANDLEs
  // Guarded by the registry's mutex:
  int pins = 0;           // calls in progress
  bool released = false;  // the last reference is gone; the last unpin frees it
};

struct ThreadHandle : KernelHandle
{
  ThreadHandle();
  ~ThreadHandle();
  LPTHREAD_START_ROUTINE threadProc = nullptr;
  LPVOID threadParm = nullptr;
  pthread_t pthr{};
  pthread_mutex_t mutex;  // guards the fields below
  pthread_cond_t cond;    // signalled when done or tid changes
  DWORD retv = 0;
  DWORD tid = 0;
  bool tidKnown = false;
  bool done = false;
  std::mutex joinMutex;  // held while joining; guards joined
  bool joined = false;
};

struct EventHandle : KernelHandle
{
  EventHandle(bool manualReset, bool initialState);
  ~EventHandle();
  pthread_mutex_t mutex;
  pthread_cond_t cond;  // on the monotonic clock
  bool signalled;
  bool manualReset;
};

struct FileHandle : KernelHandle
{
  explicit FileHandle(FILE* f) : KernelHandle(kKindFile), fp(f) {}
  ~FileHandle();
  FILE* fp;
};

// A descriptor owned by someone else; CloseHandle leaves it and the record alone.
struct ExternalSocketHandle : KernelHandle
{
  explicit ExternalSocketHandle(int f) : KernelHandle(kKindExternalSocket), fd(f) {}
  int fd;
};

struct SocketEventHandle : KernelHandle
{
  SocketEventHandle() : KernelHandle(kKindSocketEvent) {}
  ~SocketEventHandle();
  int fds[2] = {-1, -1};  // read end (non-blocking), write end
  bool autoReset = false;
};

// A child process; its maker supplies how to wait for and release the task.
struct ProcessHandle : KernelHandle
{
  ProcessHandle() : KernelHandle(kKindProcess) {}
  ~ProcessHandle();
  void* task = nullptr;
  DWORD (*waitTask)(void* task, DWORD ms) = nullptr;  // WAIT_OBJECT_0 or WAIT_TIMEOUT
  void (*releaseTask)(void* task) = nullptr;
};

// Adds a new record (reference count as constructed) and returns its HANDLE.
HANDLE registerHandle(KernelHandle* rec);
// Takes a record out of the registry without freeing it (external sockets,
// whose maker frees them once no call uses them). False when it was not there.
bool unregisterHandle(KernelHandle* rec);
// Records currently registered (tests check that handles are freed).
size_t liveHandleCount();

// Pins the record behind h when it is registered and of the given kind (0:
// any kind); null otherwise. unpin may free a record that was closed meanwhile.
KernelHandle* pin(HANDLE h, uint32_t kind);
void unpin(KernelHandle* rec);

template <class T>
class Pinned
{
public:
  Pinned(HANDLE h, uint32_t kind) : m_rec(static_cast<T*>(pin(h, kind))) {}
  explicit Pinned(KernelHandle* rec) : m_rec(static_cast<T*>(rec)) {}
  ~Pinned() { if (m_rec) unpin(m_rec); }
  Pinned(const Pinned&) = delete;
  Pinned& operator=(const Pinned&) = delete;
  T* operator->() const { return m_rec; }
  T* get() const { return m_rec; }
  explicit operator bool() const { return m_rec != nullptr; }

private:
  T* m_rec;
};

// The scaled clock, shared by the wait functions.
// Parses a DAVREL_TIME_SCALE value: the scale, or 0 when it is not a number
// within the limits.
double parseTimeScale(const char* text);
// The monotonic clock the deadlines below and the events' conditions use.
timespec monotonicNow();
// The monotonic time ms scaled milliseconds from now.
timespec deadlineAfter(DWORD ms);
// Time left until deadline, zero once it has passed.
timespec timeUntil(const timespec& deadline);
// Sleeps until the monotonic clock reaches deadline; signals do not cut it short.
void sleepUntil(const timespec& deadline);

}  // namespace swell_kernel
