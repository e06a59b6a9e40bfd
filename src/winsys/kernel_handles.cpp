// Kernel handles: the registry, threads, events, socket events, files and
// the wait functions.

#include "winsys/kernel_handles.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace swell_kernel {
namespace {

struct Registry
{
  std::mutex mutex;
  std::unordered_set<KernelHandle*> live;
};

// Never destroyed: detached threads may close their handles during exit.
Registry& registry()
{
  static Registry* const r = new Registry();
  return *r;
}

// The record of the thread the caller runs on, when CreateThread started it.
thread_local ThreadHandle* t_currentThread = nullptr;

void initMonotonicCond(pthread_cond_t* cond)
{
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  pthread_cond_init(cond, &attr);
  pthread_condattr_destroy(&attr);
}

// With mutex held, waits on cond until *flag is set or ms scaled milliseconds
// pass (INFINITE: no limit; 0: only looks). The deadline is fixed, so wake-ups
// without the flag do not extend the wait.
bool waitForFlag(pthread_cond_t* cond, pthread_mutex_t* mutex, const bool* flag, DWORD ms)
{
  if (*flag || ms == 0) return *flag;
  const timespec deadline = deadlineAfter(ms == INFINITE ? 0 : ms);
  while (!*flag)
  {
    if (ms == INFINITE)
      pthread_cond_wait(cond, mutex);
    else if (pthread_cond_timedwait(cond, mutex, &deadline) == ETIMEDOUT)
      break;
  }
  return *flag;
}

void destroyThread(ThreadHandle* t)
{
  if (t == t_currentThread)
  {
    // The thread dropped the last reference on its way out: it cannot join
    // itself, and nobody else holds the handle to join it.
    t_currentThread = nullptr;
    pthread_detach(pthread_self());
  }
  else
  {
    std::lock_guard<std::mutex> lock(t->joinMutex);
    if (!t->joined) pthread_join(t->pthr, nullptr);
    t->joined = true;
  }
  delete t;
}

void destroyHandle(KernelHandle* rec)
{
  switch (rec->kind)
  {
    case kKindThread: destroyThread(static_cast<ThreadHandle*>(rec)); break;
    case kKindEvent: delete static_cast<EventHandle*>(rec); break;
    case kKindFile: delete static_cast<FileHandle*>(rec); break;
    case kKindExternalSocket: break;  // its maker frees it
    case kKindSocketEvent: delete static_cast<SocketEventHandle*>(rec); break;
    case kKindProcess: delete static_cast<ProcessHandle*>(rec); break;
  }
}

// Pins every handle of a list for the length of one call.
class PinList
{
public:
  ~PinList()
  {
    for (KernelHandle* rec : m_recs) unpin(rec);
  }
  void add(KernelHandle* rec) { m_recs.push_back(rec); }

private:
  std::vector<KernelHandle*> m_recs;
};

void* threadMain(void* arg)
{
  ThreadHandle* t = static_cast<ThreadHandle*>(arg);
  t_currentThread = t;
  pthread_mutex_lock(&t->mutex);
  t->tid = GetCurrentThreadId();
  t->tidKnown = true;
  pthread_cond_broadcast(&t->cond);
  pthread_mutex_unlock(&t->mutex);

  const DWORD r = t->threadProc(t->threadParm);

  pthread_mutex_lock(&t->mutex);
  t->retv = r;
  t->done = true;
  pthread_cond_broadcast(&t->cond);
  pthread_mutex_unlock(&t->mutex);
  CloseHandle(static_cast<KernelHandle*>(t));  // the thread's own reference
  unpin(t);  // CreateThread pinned the record for this thread; may free it
  return nullptr;
}

// Waits until fds[] can be read; 1 when one can, 0 at the deadline (null: no
// limit), -1 on failure or a descriptor that is not open.
int waitReadable(std::vector<pollfd>& fds, const timespec* deadline)
{
  for (;;)
  {
    timespec left{0, 0};
    if (deadline) left = timeUntil(*deadline);
    const int n = ppoll(fds.data(), fds.size(), deadline ? &left : nullptr, nullptr);
    if (n < 0)
    {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return 0;
    for (const pollfd& p : fds)
      if (p.revents & POLLNVAL) return -1;
    return 1;
  }
}

bool isReady(const pollfd& p)
{
  return (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// Takes the signal of an auto-reset socket event; false when another waiter
// took it first.
bool consumeSocketSignal(int fd)
{
  char buf[128];
  bool got = false;
  for (;;)
  {
    const ssize_t n = read(fd, buf, sizeof(buf));
    if (n > 0)
    {
      got = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return got;
  }
}

int socketFd(KernelHandle* rec, bool* autoReset)
{
  *autoReset = false;
  if (rec->kind == kKindExternalSocket) return static_cast<ExternalSocketHandle*>(rec)->fd;
  if (rec->kind != kKindSocketEvent) return -1;
  SocketEventHandle* se = static_cast<SocketEventHandle*>(rec);
  *autoReset = se->autoReset;
  return se->fds[0];
}

// A failed socket wait still paces a caller that loops on it.
void sleepMs(DWORD ms)
{
  if (ms == 0)
    Sleep(0);
  else
    sleepUntil(deadlineAfter(ms));
}

DWORD waitSocket(KernelHandle* rec, DWORD ms)
{
  bool autoReset = false;
  const int fd = socketFd(rec, &autoReset);
  if (fd < 0)
  {
    sleepMs(ms == INFINITE ? 1 : ms);
    return WAIT_FAILED;
  }
  const timespec deadline = deadlineAfter(ms == INFINITE ? 0 : ms);
  std::vector<pollfd> fds{pollfd{fd, POLLIN, 0}};
  for (;;)
  {
    const int r = waitReadable(fds, ms == INFINITE ? nullptr : &deadline);
    if (r < 0) return WAIT_FAILED;
    if (r == 0) return WAIT_TIMEOUT;
    if (!autoReset || consumeSocketSignal(fd)) return WAIT_OBJECT_0;
  }
}

DWORD waitThread(ThreadHandle* t, DWORD ms)
{
  pthread_mutex_lock(&t->mutex);
  const bool done = waitForFlag(&t->cond, &t->mutex, &t->done, ms);
  pthread_mutex_unlock(&t->mutex);
  if (!done) return WAIT_TIMEOUT;

  std::lock_guard<std::mutex> lock(t->joinMutex);
  if (!t->joined)
  {
    if (pthread_join(t->pthr, nullptr) != 0) return WAIT_FAILED;
    t->joined = true;
  }
  return WAIT_OBJECT_0;
}

DWORD waitEvent(EventHandle* e, DWORD ms)
{
  pthread_mutex_lock(&e->mutex);
  const bool signalled = waitForFlag(&e->cond, &e->mutex, &e->signalled, ms);
  if (signalled && !e->manualReset) e->signalled = false;
  pthread_mutex_unlock(&e->mutex);
  return signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

}  // namespace

ThreadHandle::ThreadHandle() : KernelHandle(kKindThread)
{
  pthread_mutex_init(&mutex, nullptr);
  initMonotonicCond(&cond);
}

ThreadHandle::~ThreadHandle()
{
  pthread_cond_destroy(&cond);
  pthread_mutex_destroy(&mutex);
}

EventHandle::EventHandle(bool manual, bool initialState)
    : KernelHandle(kKindEvent), signalled(initialState), manualReset(manual)
{
  pthread_mutex_init(&mutex, nullptr);
  initMonotonicCond(&cond);
}

EventHandle::~EventHandle()
{
  pthread_cond_destroy(&cond);
  pthread_mutex_destroy(&mutex);
}

FileHandle::~FileHandle()
{
  if (fp) fclose(fp);
}

SocketEventHandle::~SocketEventHandle()
{
  for (int fd : fds)
    if (fd >= 0) close(fd);
}

ProcessHandle::~ProcessHandle()
{
  if (releaseTask && task) releaseTask(task);
}

HANDLE registerHandle(KernelHandle* rec)
{
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.live.insert(rec);
  return rec;
}

bool unregisterHandle(KernelHandle* rec)
{
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.live.erase(rec) > 0;
}

size_t liveHandleCount()
{
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.live.size();
}

KernelHandle* pin(HANDLE h, uint32_t kind)
{
  if (!h) return nullptr;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  // Looked up by address before the record is touched: a closed handle is
  // never dereferenced.
  auto it = r.live.find(static_cast<KernelHandle*>(h));
  if (it == r.live.end() || (kind && (*it)->kind != kind)) return nullptr;
  ++(*it)->pins;
  return *it;
}

void unpin(KernelHandle* rec)
{
  {
    std::lock_guard<std::mutex> lock(registry().mutex);
    if (--rec->pins > 0 || !rec->released) return;
  }
  destroyHandle(rec);
}

}  // namespace swell_kernel

using namespace swell_kernel;

BOOL CloseHandle(HANDLE h)
{
  if (!h) return FALSE;
  KernelHandle* rec = nullptr;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.live.find(static_cast<KernelHandle*>(h));
    if (it == r.live.end()) return FALSE;
    rec = *it;
    if (rec->kind == kKindExternalSocket) return FALSE;
    if (rec->refs.fetch_sub(1) > 1) return TRUE;
    r.live.erase(it);
    rec->released = true;
    if (rec->pins > 0) return TRUE;  // the call still using it frees it
  }
  destroyHandle(rec);
  return TRUE;
}

HANDLE CreateThread(void*, DWORD, LPTHREAD_START_ROUTINE proc, LPVOID param, DWORD, DWORD* tid)
{
  if (!proc) return nullptr;
  ThreadHandle* t = new ThreadHandle();
  t->threadProc = proc;
  t->threadParm = param;
  t->refs = 2;  // the caller's and the thread's own
  t->pins = 1;  // the thread's, dropped as it exits
  HANDLE h = registerHandle(t);
  if (pthread_create(&t->pthr, nullptr, threadMain, t) != 0)
  {
    unregisterHandle(t);
    delete t;
    return nullptr;
  }
  if (tid)
  {
    pthread_mutex_lock(&t->mutex);
    while (!t->tidKnown) pthread_cond_wait(&t->cond, &t->mutex);
    *tid = t->tid;
    pthread_mutex_unlock(&t->mutex);
  }
  return h;
}

BOOL SetThreadPriority(HANDLE h, int priority)
{
  Pinned<ThreadHandle> t(h, kKindThread);
  if (!t) return FALSE;
  pthread_mutex_lock(&t->mutex);
  const bool done = t->done;
  pthread_mutex_unlock(&t->mutex);
  if (done) return FALSE;

  std::lock_guard<std::mutex> lock(t->joinMutex);  // keeps pthr joinable meanwhile
  if (t->joined) return FALSE;
  int policy = 0;
  sched_param sp{};
  if (pthread_getschedparam(t->pthr, &policy, &sp) != 0) return FALSE;
  const int lo = sched_get_priority_min(policy), hi = sched_get_priority_max(policy);
  if (lo < 0 || hi < 0) return FALSE;
  const long want = long(priority) + 31;
  sp.sched_priority = want < lo ? lo : want > hi ? hi : int(want);
  return pthread_setschedparam(t->pthr, policy, &sp) == 0;
}

HANDLE CreateEvent(void*, BOOL manualReset, BOOL initialState, const char*)
{
  return registerHandle(new EventHandle(manualReset != 0, initialState != 0));
}

HANDLE CreateEventAsSocket(void*, BOOL manualReset, BOOL initialState, const char*)
{
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return nullptr;
  // Both ends non-blocking: a reader finds the pair empty at once, and
  // SetEvent never blocks on a full buffer (which already means signalled).
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  SocketEventHandle* se = new SocketEventHandle();
  se->fds[0] = fds[0];
  se->fds[1] = fds[1];
  se->autoReset = !manualReset;
  if (initialState) (void)send(fds[1], "", 1, MSG_NOSIGNAL);
  return registerHandle(se);
}

BOOL SetEvent(HANDLE h)
{
  Pinned<KernelHandle> rec(h, 0);
  if (!rec) return FALSE;
  if (rec->kind == kKindEvent)
  {
    EventHandle* e = static_cast<EventHandle*>(rec.get());
    pthread_mutex_lock(&e->mutex);
    if (!e->signalled)
    {
      e->signalled = true;
      if (e->manualReset)
        pthread_cond_broadcast(&e->cond);
      else
        pthread_cond_signal(&e->cond);
    }
    pthread_mutex_unlock(&e->mutex);
    return TRUE;
  }
  if (rec->kind == kKindSocketEvent)
  {
    SocketEventHandle* se = static_cast<SocketEventHandle*>(rec.get());
    pollfd p{se->fds[0], POLLIN, 0};
    if (poll(&p, 1, 0) == 1 && (p.revents & POLLIN)) return TRUE;  // already signalled
    const ssize_t n = send(se->fds[1], "", 1, MSG_NOSIGNAL);
    return n == 1 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
  }
  return FALSE;
}

BOOL ResetEvent(HANDLE h)
{
  Pinned<KernelHandle> rec(h, 0);
  if (!rec) return FALSE;
  if (rec->kind == kKindEvent)
  {
    EventHandle* e = static_cast<EventHandle*>(rec.get());
    pthread_mutex_lock(&e->mutex);
    e->signalled = false;
    pthread_mutex_unlock(&e->mutex);
    return TRUE;
  }
  if (rec->kind == kKindSocketEvent)
  {
    consumeSocketSignal(static_cast<SocketEventHandle*>(rec.get())->fds[0]);
    return TRUE;
  }
  return FALSE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD ms)
{
  Pinned<KernelHandle> rec(h, 0);
  if (!rec) return WAIT_FAILED;
  switch (rec->kind)
  {
    case kKindThread: return waitThread(static_cast<ThreadHandle*>(rec.get()), ms);
    case kKindEvent: return waitEvent(static_cast<EventHandle*>(rec.get()), ms);
    case kKindExternalSocket:
    case kKindSocketEvent: return waitSocket(rec.get(), ms);
    case kKindProcess:
    {
      ProcessHandle* p = static_cast<ProcessHandle*>(rec.get());
      return p->waitTask ? p->waitTask(p->task, ms) : WAIT_FAILED;
    }
  }
  return WAIT_FAILED;
}

DWORD WaitForAnySocketObject(int count, HANDLE* handles, DWORD ms)
{
  if (count < 1 || !handles) return WAIT_TIMEOUT;
  PinList pins;
  std::vector<pollfd> fds;
  std::vector<int> index;
  std::vector<bool> autoReset;
  for (int i = 0; i < count; ++i)
  {
    KernelHandle* rec = pin(handles[i], 0);
    if (!rec) continue;
    pins.add(rec);
    bool ar = false;
    const int fd = socketFd(rec, &ar);
    if (fd < 0) continue;
    fds.push_back(pollfd{fd, POLLIN, 0});
    index.push_back(i);
    autoReset.push_back(ar);
  }
  if (fds.empty()) return WAIT_TIMEOUT;

  const timespec deadline = deadlineAfter(ms == INFINITE ? 0 : ms);
  for (;;)
  {
    const int r = waitReadable(fds, ms == INFINITE ? nullptr : &deadline);
    if (r < 0) return WAIT_FAILED;
    if (r == 0) return WAIT_TIMEOUT;
    for (size_t k = 0; k < fds.size(); ++k)
    {
      if (!isReady(fds[k])) continue;
      if (!autoReset[k] || consumeSocketSignal(fds[k].fd)) return DWORD(index[k]);
    }
    // Every ready auto-reset event was taken by another waiter: wait on.
  }
}

HANDLE CreateFile(const char*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE)
{
  return nullptr;
}

namespace {

DWORD failPosition(DWORD* high)
{
  if (high) *high = 0xFFFFFFFFu;
  return 0xFFFFFFFFu;
}

}  // namespace

DWORD SetFilePointer(HANDLE h, LONG pos, LONG* high)
{
  Pinned<FileHandle> f(h, kKindFile);
  // With a high part the low part is unsigned, as the two make one position.
  const int64_t target = high ? int64_t(uint32_t(pos)) : int64_t(pos);
  if (!f || (high && *high != 0) || target < 0 || fseeko(f->fp, off_t(target), SEEK_SET) != 0)
  {
    if (high) *high = -1;
    return 0xFFFFFFFFu;
  }
  return DWORD(target);
}

DWORD GetFilePointer(HANDLE h, DWORD* high)
{
  Pinned<FileHandle> f(h, kKindFile);
  if (!f) return failPosition(high);
  const off_t pos = ftello(f->fp);
  if (pos < 0) return failPosition(high);
  if (high) *high = DWORD(uint64_t(pos) >> 32);
  return DWORD(pos);
}

DWORD GetFileSize(HANDLE h, DWORD* high)
{
  Pinned<FileHandle> f(h, kKindFile);
  if (!f) return failPosition(high);
  // One step for other threads using the stream: seek to the end and back.
  flockfile(f->fp);
  const off_t pos = ftello(f->fp);
  off_t size = -1;
  if (pos >= 0 && fseeko(f->fp, 0, SEEK_END) == 0)
  {
    size = ftello(f->fp);
    if (fseeko(f->fp, pos, SEEK_SET) != 0) size = -1;
  }
  funlockfile(f->fp);
  if (size < 0) return failPosition(high);
  if (high) *high = DWORD(uint64_t(size) >> 32);
  return DWORD(size);
}

BOOL ReadFile(HANDLE h, void* buf, DWORD n, DWORD* done)
{
  if (done) *done = 0;
  if (!buf || n == 0) return FALSE;
  Pinned<FileHandle> f(h, kKindFile);
  if (!f) return FALSE;
  const size_t got = fread(buf, 1, n, f->fp);
  if (done) *done = DWORD(got);
  return got > 0;
}

BOOL WriteFile(HANDLE h, const void* buf, DWORD n, DWORD* done)
{
  if (done) *done = 0;
  if (!buf || n == 0) return FALSE;
  Pinned<FileHandle> f(h, kKindFile);
  if (!f) return FALSE;
  const size_t put = fwrite(buf, 1, n, f->fp);
  if (done) *done = DWORD(put);
  return put > 0;
}
