// The scaled clock, Sleep, and the kernel services that need no handle.

#include "base/log.h"
#include "winsys/kernel.h"
#include "winsys/kernel_handles.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr double kTickModulus = 4294967296.0;  // GetTickCount wraps at 2^32
constexpr double kNsPerMs = 1e6;

int64_t toNs(const timespec& ts)
{
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

timespec addNs(timespec ts, double ns)
{
  if (!(ns > 0)) return ts;
  const double sec = std::floor(ns / 1e9);
  ts.tv_sec += time_t(sec);
  ts.tv_nsec += long(ns - sec * 1e9);
  if (ts.tv_nsec >= 1000000000)
  {
    ts.tv_sec += ts.tv_nsec / 1000000000;
    ts.tv_nsec %= 1000000000;
  }
  return ts;
}

// The scaled millisecond clock: scaled time = tickAnchorMs + (real time -
// realAnchorNs) / scale. Readers take no lock: a writer bumps seq to odd,
// changes the fields and bumps it to even; a reader retries when seq moved.
struct ScaledClock
{
  std::atomic<unsigned> seq{0};
  std::atomic<int64_t> realAnchorNs{0};
  std::atomic<double> tickAnchorMs{0.0};  // kept below 2^32
  std::atomic<double> scale{1.0};
  std::mutex writeMutex;  // writers only

  ScaledClock()
  {
    const char* env = getenv("DAVREL_TIME_SCALE");
    if (!env) return;
    const double s = swell_kernel::parseTimeScale(env);
    if (s > 0)
      scale.store(s);
    else
      ConsoleLog("winsys: DAVREL_TIME_SCALE \"%s\" is not a number from %g to %g; time runs at scale 1\n", env,
                 SWELL_TIME_SCALE_MIN, SWELL_TIME_SCALE_MAX);
  }

  static double scaledMs(int64_t nowNs, int64_t realAnchor, double tickAnchor, double s)
  {
    const int64_t elapsed = nowNs > realAnchor ? nowNs - realAnchor : 0;
    return std::fmod(tickAnchor + double(elapsed) / kNsPerMs / s, kTickModulus);
  }

  double nowMs()
  {
    for (;;)
    {
      const unsigned s1 = seq.load(std::memory_order_acquire);
      if (s1 & 1) continue;
      const int64_t nowNs = toNs(swell_kernel::monotonicNow());
      // Acquire loads keep the second look at seq after them.
      const int64_t ra = realAnchorNs.load(std::memory_order_acquire);
      const double ta = tickAnchorMs.load(std::memory_order_acquire);
      const double s = scale.load(std::memory_order_acquire);
      if (seq.load(std::memory_order_relaxed) == s1) return scaledMs(nowNs, ra, ta, s);
    }
  }

  // Re-anchors at the present; newTickMs < 0 keeps the current count.
  void reanchor(double newTickMs, double newScale)
  {
    std::lock_guard<std::mutex> lock(writeMutex);
    // The anchor time is read only once readers can see the update begin (a
    // full barrier): a reader that read the clock later must not finish with
    // the old anchor, or its count could run ahead of the new one.
    const unsigned s = seq.fetch_add(1, std::memory_order_seq_cst);
    const int64_t nowNs = toNs(swell_kernel::monotonicNow());
    if (newTickMs < 0)
      newTickMs = scaledMs(nowNs, realAnchorNs.load(std::memory_order_relaxed),
                           tickAnchorMs.load(std::memory_order_relaxed), scale.load(std::memory_order_relaxed));
    // Release stores: a reader that sees a new value also sees seq odd.
    realAnchorNs.store(nowNs, std::memory_order_release);
    tickAnchorMs.store(newTickMs, std::memory_order_release);
    scale.store(newScale, std::memory_order_release);
    seq.store(s + 2, std::memory_order_release);
  }
};

// Never destroyed: threads may still ask the time while the process exits.
ScaledClock& scaledClock()
{
  static ScaledClock* const clock = new ScaledClock();
  return *clock;
}

// Read DAVREL_TIME_SCALE when the process starts, not at the first call.
const bool s_clockReady = (scaledClock(), true);

void sleepRealNs(double ns)
{
  swell_kernel::sleepUntil(addNs(swell_kernel::monotonicNow(), ns));
}

struct GlobalHeader
{
  uint32_t size;
  uint32_t lockCount;
};

GlobalHeader* globalHeader(HANDLE mem)
{
  return mem ? reinterpret_cast<GlobalHeader*>(static_cast<char*>(mem) - sizeof(GlobalHeader)) : nullptr;
}

void toFileTime(time_t seconds, FILETIME* ft)
{
  if (!ft) return;
  const uint64_t v = uint64_t(int64_t(seconds) * 10000000 + 116444736000000000LL);
  ft->dwLowDateTime = DWORD(v);
  ft->dwHighDateTime = DWORD(v >> 32);
}

int32_t wrapAdd(int32_t a, int b)
{
  return int32_t(uint32_t(a) + uint32_t(b));
}

}  // namespace

namespace swell_kernel {

double parseTimeScale(const char* text)
{
  if (!text || !*text) return 0;
  char* end = nullptr;
  errno = 0;
  const double v = strtod(text, &end);
  if (errno || *end || !std::isfinite(v) || v < SWELL_TIME_SCALE_MIN || v > SWELL_TIME_SCALE_MAX) return 0;
  return v;
}

timespec monotonicNow()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts;
}

timespec deadlineAfter(DWORD ms)
{
  return addNs(monotonicNow(), double(ms) * scaledClock().scale.load(std::memory_order_relaxed) * kNsPerMs);
}

timespec timeUntil(const timespec& deadline)
{
  const timespec now = monotonicNow();
  timespec left{0, 0};
  if (deadline.tv_sec < now.tv_sec || (deadline.tv_sec == now.tv_sec && deadline.tv_nsec <= now.tv_nsec))
    return left;
  left.tv_sec = deadline.tv_sec - now.tv_sec;
  left.tv_nsec = deadline.tv_nsec - now.tv_nsec;
  if (left.tv_nsec < 0)
  {
    --left.tv_sec;
    left.tv_nsec += 1000000000;
  }
  return left;
}

void sleepUntil(const timespec& deadline)
{
  // An absolute deadline: a signal only restarts the same sleep.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR)
  {
  }
}

}  // namespace swell_kernel

void Sleep(int ms)
{
  if (ms <= 0)
    sleepRealNs(100000.0);  // a yield, not a scaled wait
  else
    sleepRealNs(double(ms) * scaledClock().scale.load(std::memory_order_relaxed) * kNsPerMs);
}

DWORD GetTickCount()
{
  return DWORD(uint64_t(scaledClock().nowMs()));
}

bool SWELL_SetTimeScale(double scale)
{
  if (!std::isfinite(scale) || scale < SWELL_TIME_SCALE_MIN || scale > SWELL_TIME_SCALE_MAX) return false;
  scaledClock().reanchor(-1, scale);
  return true;
}

double SWELL_GetTimeScale()
{
  return scaledClock().scale.load(std::memory_order_relaxed);
}

void SWELL_SetTickCount(DWORD ticks)
{
  ScaledClock& c = scaledClock();
  c.reanchor(double(ticks), c.scale.load(std::memory_order_relaxed));
}

DWORD GetCurrentThreadId()
{
  return DWORD(gettid());
}

int MulDiv(int a, int b, int c)
{
  if (c == 0) return 0;
  const double r = std::trunc(double(b) * double(a) / double(c));
  if (!(r >= double(INT_MIN) && r <= double(INT_MAX))) return -1;
  return int(r);
}

unsigned int _controlfp(unsigned int, unsigned int)
{
  return 0;
}

BOOL SWELL_PtInRect(const RECT* r, POINT p)
{
  if (!r || p.x < r->left || p.x >= r->right) return FALSE;
  const int32_t lo = r->top < r->bottom ? r->top : r->bottom;
  const int32_t hi = r->top < r->bottom ? r->bottom : r->top;
  return p.y >= lo && p.y < hi;
}

BOOL WinOffsetRect(RECT* r, int dx, int dy)
{
  if (!r) return FALSE;
  r->left = wrapAdd(r->left, dx);
  r->right = wrapAdd(r->right, dx);
  r->top = wrapAdd(r->top, dy);
  r->bottom = wrapAdd(r->bottom, dy);
  return TRUE;
}

BOOL WinSetRect(RECT* r, int left, int top, int right, int bottom)
{
  if (!r) return FALSE;
  *r = RECT{left, top, right, bottom};
  return TRUE;
}

BOOL WinIntersectRect(RECT* dst, const RECT* a, const RECT* b)
{
  if (!dst) return FALSE;
  // Copies first: dst may be a or b, as in WinIntersectRect(&r, &r, &clip).
  const RECT ra = a ? *a : RECT{0, 0, 0, 0};
  const RECT rb = b ? *b : RECT{0, 0, 0, 0};
  *dst = RECT{0, 0, 0, 0};
  if (ra.right <= ra.left || ra.bottom <= ra.top || rb.right <= rb.left || rb.bottom <= rb.top) return FALSE;
  const RECT r{ra.left > rb.left ? ra.left : rb.left, ra.top > rb.top ? ra.top : rb.top,
               ra.right < rb.right ? ra.right : rb.right, ra.bottom < rb.bottom ? ra.bottom : rb.bottom};
  if (r.right <= r.left || r.bottom <= r.top) return FALSE;  // dst stays all zero
  *dst = r;
  return TRUE;
}

void WinUnionRect(RECT* dst, const RECT* a, const RECT* b)
{
  if (!dst || !a || !b) return;
  const RECT ra = *a, rb = *b;
  dst->left = ra.left < rb.left ? ra.left : rb.left;
  dst->top = ra.top < rb.top ? ra.top : rb.top;
  dst->right = ra.right > rb.right ? ra.right : rb.right;
  dst->bottom = ra.bottom > rb.bottom ? ra.bottom : rb.bottom;
}

char* lstrcpyn(char* dst, const char* src, int n)
{
  if (!dst || n < 1) return dst;
  const size_t len = src ? strnlen(src, size_t(n) - 1) : 0;
  if (len) memmove(dst, src, len);
  dst[len] = 0;
  return dst;
}

HANDLE GlobalAlloc(int, int size)
{
  if (size < 0) return nullptr;
  char* p = static_cast<char*>(malloc(sizeof(GlobalHeader) + size_t(size)));
  if (!p) return nullptr;
  GlobalHeader* h = reinterpret_cast<GlobalHeader*>(p);
  h->size = uint32_t(size);
  h->lockCount = 0;
  return p + sizeof(GlobalHeader);
}

void* GlobalLock(HANDLE mem)
{
  GlobalHeader* h = globalHeader(mem);
  if (!h) return nullptr;
  ++h->lockCount;
  return mem;
}

void GlobalUnlock(HANDLE mem)
{
  GlobalHeader* h = globalHeader(mem);
  if (h && h->lockCount > 0) --h->lockCount;
}

int GlobalSize(HANDLE mem)
{
  GlobalHeader* h = globalHeader(mem);
  return h ? int(h->size) : 0;
}

void GlobalFree(HANDLE mem)
{
  free(globalHeader(mem));
}

BOOL GetFileTime(int fd, FILETIME* creation, FILETIME* access, FILETIME* write)
{
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return FALSE;
  toFileTime(st.st_ctime, creation);
  toFileTime(st.st_atime, access);
  toFileTime(st.st_mtime, write);
  return TRUE;
}

void SWELL_GenerateGUID(GUID* g)
{
  static_assert(sizeof(GUID) == 16, "a GUID is 16 bytes");
  if (!g) return;
  unsigned char b[16];
  size_t got = 0;
  while (got < sizeof(b))
  {
    const ssize_t n = getrandom(b + got, sizeof(b) - got, 0);
    if (n > 0)
      got += size_t(n);
    else if (n < 0 && errno != EINTR)
      break;
  }
  if (got < sizeof(b))
  {
    std::random_device rd;
    for (; got < sizeof(b); ++got) b[got] = static_cast<unsigned char>(rd());
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4: random
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  memcpy(g, b, sizeof(b));
}
