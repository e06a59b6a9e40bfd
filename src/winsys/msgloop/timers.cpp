#include "winsys/msgloop/timers.h"

#include "winsys/msgloop/app_delegate.h"
#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/sdh.h"
#include "winsys/msgloop/target.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSWindow.h"
#include "winsys/kernel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

HWND g_swell_only_timerhwnd = nullptr;

namespace {

struct TimerRec
{
  UINT_PTR id;
  HWND hwnd;    // the window view the timer belongs to, or null
  HWND window;  // the top-level window whose content view hwnd is, else null
  NSTimer* timer;
  TimerRec* next;
};

std::recursive_mutex m_timermutex;
TimerRec* m_timer_list = nullptr;  // newest first
// The timers whose callbacks run now (main thread; nested runs may fire others),
// under m_timermutex: a kill from another thread waits for its timer to leave, so
// that no callback of it runs once KillTimer has answered.
std::vector<NSTimer*> m_firing;
std::condition_variable_any m_firedone;

// A timer request or a posted message handed to the main thread. Records are
// recycled, never freed.
struct PMQRec
{
  HWND hwnd;
  UINT interval;  // timer: KILL_REQUEST asks for KillTimer; message: the message
  UINT_PTR id;    // timer id, or the message's wParam
  TIMERPROC proc;
  LPARAM lParam;
  PMQRec* next;
  bool isTimer;
  bool dropped;  // cleared while its flush was under way
};
const UINT KILL_REQUEST = 0xFFFFFFFF;
const int kPostCap = 1024;

std::recursive_mutex m_pmq_mutex;
PMQRec* m_pmq = nullptr;
PMQRec* m_pmq_tail = nullptr;
PMQRec* m_pmq_empty = nullptr;
int m_pmq_size = 0;
// Set once by the init, on the main thread, before m_pmq_ready is.
std::thread::id m_pmq_mainthread;
NSTimer* m_pmq_timer = nullptr;  // the delegate's tick, which flushes
// Nothing is queued before the init: without the delegate's tick nothing would
// ever deliver it.
std::atomic<bool> m_pmq_ready{false};
bool s_flushing = false;  // main thread only
// The lists flushes are delivering: a message may run a nested flush (a modal loop),
// and a window destroyed then must lose its records in the outer lists as well.
std::vector<PMQRec*> m_pmq_inflight;

NSObject* objectOf(HWND h) { return SWELL_ObjectOfHandle(h); }
SWELL_WindowTarget* targetOf(HWND h) { return dynamic_cast<SWELL_WindowTarget*>(objectOf(h)); }

PMQRec* takeRecord()
{
  PMQRec* r = m_pmq_empty;
  if (r) m_pmq_empty = r->next;
  else r = new PMQRec;
  return r;
}

void append(PMQRec* r)
{
  r->next = nullptr;
  if (m_pmq_tail) m_pmq_tail->next = r;
  else m_pmq = r;
  m_pmq_tail = r;
  ++m_pmq_size;
}

// Queues (or updates in place) a request for the main thread's next flush.
void queueRequest(HWND hwnd, UINT_PTR id, UINT interval, TIMERPROC proc)
{
  {
    std::lock_guard<std::recursive_mutex> lock(m_pmq_mutex);
    PMQRec* r = nullptr;
    for (PMQRec* p = m_pmq; p; p = p->next)
      if (p->isTimer && p->hwnd == hwnd && p->id == id) r = p;
    if (r)
    {
      r->interval = interval;
      r->proc = proc;
    }
    else
    {
      r = takeRecord();
      *r = PMQRec{hwnd, interval, id, proc, 0, nullptr, true, false};
      append(r);
    }
  }
}

// The window view that takes the timers of hwnd: hwnd itself, or the content view
// of a top-level window; null for anything else, a stale handle included. *window
// gets the top-level window whose content view that is, else null.
HWND timerView(HWND hwnd, HWND* window)
{
  *window = nullptr;
  NSView* view = nullptr;
  if (targetOf(hwnd))
    view = dynamic_cast<NSView*>(objectOf(hwnd));
  else if (NSWindow* w = dynamic_cast<NSWindow*>(objectOf(hwnd)))
  {
    view = w->contentView();
    if (!view || !targetOf(SWELL_HandleOfObject(view))) return nullptr;
    hwnd = SWELL_HandleOfObject(view);
  }
  else
    return nullptr;
  NSWindow* w = view ? view->window() : nullptr;
  if (w && w->contentView() == view) *window = SWELL_HandleOfObject(w);
  return hwnd;
}

// A window and its content view stand for the same window: a timer answers to both.
bool belongsTo(const TimerRec* r, HWND hwnd)
{
  return r->hwnd == hwnd || (r->window && r->window == hwnd);
}

bool passedOver(HWND hwnd, HWND window)
{
  return g_swell_only_timerhwnd && g_swell_only_timerhwnd != hwnd && g_swell_only_timerhwnd != window;
}

// Runs a firing of the timer unless another thread killed it meanwhile: the kit
// stops it only at the main thread's next turn.
template <class Fire>
void fireUnlessKilled(NSTimer* timer, Fire fire)
{
  {
    std::lock_guard<std::recursive_mutex> lock(m_timermutex);
    bool live = false;
    for (TimerRec* r = m_timer_list; r && !live; r = r->next) live = r->timer == timer;
    if (!live) return;
    m_firing.push_back(timer);
  }
  fire();
  {
    std::lock_guard<std::recursive_mutex> lock(m_timermutex);
    m_firing.erase(std::find(m_firing.begin(), m_firing.end(), timer));
  }
  m_firedone.notify_all();
}

// A window's own timer: the id rides in the timer's user info.
void windowTimerFired(HWND hwnd, HWND window, NSTimer* timer)
{
  if (passedOver(hwnd, window)) return;
  Swell_vDavrel_64_sdh* holder = dynamic_cast<Swell_vDavrel_64_sdh*>(timer->userInfo());
  fireUnlessKilled(timer, [hwnd, holder] {
    if (SWELL_WindowTarget* t = targetOf(hwnd))
      if (holder) t->SWELL_Timer((UINT_PTR)holder->getValue());
  });
}

}  // namespace

Swell_vDavrel_64_tft* Swell_vDavrel_64_tft::initWithId(UINT_PTR id, HWND hwnd, TIMERPROC cb, HWND window)
{
  m_timerid = id;
  m_hwnd = hwnd;
  m_cb = cb;
  m_window = window;
  return this;
}

void Swell_vDavrel_64_tft::SWELL_Timer(NSTimer* timer)
{
  if (passedOver(m_hwnd, m_window) || !m_cb) return;
  fireUnlessKilled(timer, [this] { m_cb(m_hwnd, WM_TIMER, m_timerid, GetTickCount()); });
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc)
{
  if (!hwnd && !proc) return 0;
  if (hwnd && !id) return 0;
  std::lock_guard<std::recursive_mutex> lock(m_timermutex);
  if (!AKIsMainThread())
  {
    // Timers are made on the main thread only; without the queue (no delegate
    // ticks it) nothing would take the request there.
    if (id == SWELL_ALL_TIMERS || !m_pmq_ready) return 0;
    // A window-less timer's id is its record: made now, so that the caller can
    // kill it before or after the main thread starts it.
    if (!hwnd && !id)
    {
      TimerRec* rec = new TimerRec{0, nullptr, nullptr, nullptr, m_timer_list};
      rec->id = (UINT_PTR)rec;
      m_timer_list = rec;
      id = rec->id;
    }
    queueRequest(hwnd, id, ms < 0xFFFFFFFE ? ms : 0xFFFFFFFE, proc);
    return id;
  }
  // A window's timers, with a callback or without, belong to its window view (a
  // top-level window's content view); a handle that names none gets no timer.
  HWND window = nullptr;
  if (hwnd && !(hwnd = timerView(hwnd, &window))) return 0;

  TimerRec* rec = nullptr;
  if (hwnd || id)
    for (TimerRec* r = m_timer_list; r; r = r->next)
      if (r->id == id && r->hwnd == hwnd)
      {
        rec = r;
        if (r->timer)
        {
          r->timer->invalidate();
          r->timer->release();
          r->timer = nullptr;
        }
        break;
      }
  // A queued window-less timer killed before the flush starts nothing.
  if (!rec && !hwnd && s_flushing) return 0;
  const bool fresh = !rec;
  if (fresh) rec = new TimerRec{id, hwnd, nullptr, nullptr, nullptr};
  if (!hwnd) rec->id = (UINT_PTR)rec;
  rec->window = window;
  const UINT_PTR tid = rec->id;
  const NSTimeInterval interval = ms ? ms * 0.001 : 0.001;
  if (hwnd && !proc)
  {
    // A window's own timer keeps the window alive until the timer is stopped.
    Swell_vDavrel_64_sdh* holder = new Swell_vDavrel_64_sdh((intptr_t)tid);
    rec->timer = NSTimer::timerWithAction(
        interval, objectOf(hwnd), [hwnd, window](NSTimer* t) { windowTimerFired(hwnd, window, t); }, holder, true);
    holder->release();
  }
  else
  {
    Swell_vDavrel_64_tft* target = (new Swell_vDavrel_64_tft)->initWithId(tid, hwnd, proc, window);
    rec->timer = NSTimer::timerWithTimeInterval(interval, target, &Swell_vDavrel_64_tft::SWELL_Timer, nullptr, true);
    target->release();
  }
  NSRunLoop::currentRunLoop()->addTimer(rec->timer, NSRunLoopCommonModes);
  if (fresh)
  {
    rec->next = m_timer_list;
    m_timer_list = rec;
  }
  return tid;
}

bool KillTimer(HWND hwnd, UINT_PTR id)
{
  if (!hwnd && !id) return false;
  const bool mainThread = AKIsMainThread();
  std::unique_lock<std::recursive_mutex> lock(m_timermutex);
  if (id != SWELL_ALL_TIMERS && !mainThread && m_pmq_ready)
  {
    queueRequest(hwnd, id, KILL_REQUEST, nullptr);
    return true;
  }
  if (!hwnd && id == SWELL_ALL_TIMERS) return false;
  bool removed = false;
  std::vector<NSTimer*> stopped;
  for (TimerRec** pp = &m_timer_list; *pp;)
  {
    TimerRec* r = *pp;
    if (belongsTo(r, hwnd) && (id == SWELL_ALL_TIMERS || r->id == id))
    {
      *pp = r->next;
      // The kit's timers belong to the main thread; from elsewhere the stop is
      // handed over, and the record gone from the list keeps it from firing
      // until then.
      NSTimer* t = r->timer;
      if (t && mainThread)
      {
        t->invalidate();
        t->release();
      }
      else if (t)
      {
        stopped.push_back(t);
        NSRunLoop::postToMainThread([t] {
          t->invalidate();
          t->release();
        });
      }
      delete r;
      removed = true;
      if (id != SWELL_ALL_TIMERS) break;
    }
    else
      pp = &r->next;
  }
  // A callback of a removed timer already running on the main thread ends first.
  m_firedone.wait(lock, [&stopped] {
    for (NSTimer* t : stopped)
      if (std::find(m_firing.begin(), m_firing.end(), t) != m_firing.end()) return false;
    return true;
  });
  return removed;
}

void SWELL_Internal_PostMessage_Init()
{
  if (m_pmq_ready || !AKIsMainThread() || !NSApplication::exists()) return;
  NSApplicationDelegate* d = NSApp->delegate();
  if (!d || !d->respondsToSelector("swellPostMessageTick:")) return;
  m_pmq_mainthread = std::this_thread::get_id();
  // The timer keeps the delegate for the life of the process.
  m_pmq_timer = NSTimer::timerWithTimeInterval(0.05, d, &NSApplicationDelegate::swellPostMessageTick, nullptr, true);
  NSRunLoop::currentRunLoop()->addTimer(m_pmq_timer, NSRunLoopCommonModes);
  m_pmq_ready = true;
}

bool SWELL_Internal_PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (!hwnd || !m_pmq_ready) return false;
  const bool mainThread = std::this_thread::get_id() == m_pmq_mainthread;
  {
    std::lock_guard<std::recursive_mutex> lock(m_pmq_mutex);
    if (!m_pmq_empty && m_pmq_size >= kPostCap) return false;
    if (mainThread)
    {
      // Asked under the queue's lock, so a window whose destruction cleared the
      // queue cannot have a message slip in after the clear.
      SWELL_WindowTarget* t = targetOf(hwnd);
      if (!t || !t->swellCanPostMessage()) return false;
    }
    // Another thread must not touch the window: the main thread may be freeing
    // it this very moment. The handle table tells whether it still lives; the
    // flush asks the window itself, on the main thread.
    else if (!objectOf(hwnd))
      return false;
    PMQRec* r = takeRecord();
    *r = PMQRec{hwnd, msg, wParam, nullptr, lParam, nullptr, false, false};
    append(r);
  }
  return true;
}

namespace {
NSApplicationDelegate* delegateAnswering(SEL call)
{
  NSApplicationDelegate* d = NSApplication::exists() ? NSApp->delegate() : nullptr;
  return d && d->respondsToSelector(call) ? d : nullptr;
}
}  // namespace

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  NSApplicationDelegate* d = delegateAnswering("swellPostMessage:msg:wp:lp:");
  return d && d->swellPostMessage(hwnd, msg, wParam, lParam);
}

void SWELL_MessageQueue_Clear(HWND hwnd)
{
  if (NSApplicationDelegate* d = delegateAnswering("swellPostMessageClearQ:")) d->swellPostMessageClearQ(hwnd);
}

void SWELL_MessageQueue_Flush()
{
  // Messages and timers are delivered on the main thread only.
  if (!m_pmq_ready || std::this_thread::get_id() != m_pmq_mainthread) return;
  PMQRec* list;
  {
    std::lock_guard<std::recursive_mutex> lock(m_pmq_mutex);
    list = m_pmq;
    m_pmq = m_pmq_tail = nullptr;
    if (list) m_pmq_inflight.push_back(list);
  }
  if (!list) return;
  int n = 0;
  PMQRec* last = nullptr;
  const bool wasFlushing = s_flushing;
  s_flushing = true;
  for (PMQRec* r = list; r; r = r->next, ++n)
  {
    last = r;
    const HWND h = r->hwnd;
    {
      // A window destroyed by an earlier message of this flush had its records
      // dropped by its clear: they are skipped.
      std::lock_guard<std::recursive_mutex> lock(m_pmq_mutex);
      if (r->dropped) continue;
    }
    if (r->isTimer)
    {
      if (r->interval == KILL_REQUEST) KillTimer(h, r->id);
      else SetTimer(h, r->id, r->interval, r->proc);
    }
    else
    {
      NSObject* o = objectOf(h);
      SWELL_WindowTarget* t = targetOf(h);
      if (t && t->swellCanPostMessage())
      {
        o->retain();
        t->onSwellMessage(r->interval, r->id, r->lParam);
        o->release();
      }
    }
  }
  s_flushing = wasFlushing;
  std::lock_guard<std::recursive_mutex> lock(m_pmq_mutex);
  m_pmq_inflight.erase(std::find(m_pmq_inflight.begin(), m_pmq_inflight.end(), list));
  m_pmq_size -= n;
  last->next = m_pmq_empty;
  m_pmq_empty = list;
}

void SWELL_Internal_PMQ_ClearAllMessages(HWND hwnd)
{
  std::lock_guard<std::recursive_mutex> lock(m_pmq_mutex);
  for (PMQRec* list : m_pmq_inflight)
    for (PMQRec* r = list; r; r = r->next)
      if (!hwnd || r->hwnd == hwnd) r->dropped = true;
  PMQRec* prev = nullptr;
  for (PMQRec* r = m_pmq; r;)
  {
    PMQRec* next = r->next;
    if (!hwnd || r->hwnd == hwnd)
    {
      (prev ? prev->next : m_pmq) = next;
      if (m_pmq_tail == r) m_pmq_tail = prev;
      r->next = m_pmq_empty;
      m_pmq_empty = r;
      --m_pmq_size;
    }
    else
      prev = r;
    r = next;
  }
}

int SWELL_Internal_PMQ_QueuedCount()
{
  std::lock_guard<std::recursive_mutex> lock(m_pmq_mutex);
  return m_pmq_size;
}

void SWELL_RunRunLoop(int ms)
{
  SWELL_RunRunLoopEx(ms, nullptr);
}

void SWELL_RunRunLoopEx(int ms, HWND hwnd)
{
  HWND previous = g_swell_only_timerhwnd;
  g_swell_only_timerhwnd = hwnd;
  NSRunLoop::currentRunLoop()->runFor(ms * 0.001);
  if (g_swell_only_timerhwnd == hwnd) g_swell_only_timerhwnd = previous;
}

bool SWELL_PostMessageDelegate::respondsToSelector(SEL call) const
{
  return call == SEL("swellPostMessage:msg:wp:lp:") || call == SEL("swellPostMessageClearQ:") ||
         call == SEL("swellPostMessageTick:");
}

bool SWELL_PostMessageDelegate::swellPostMessage(HWND__* dest, unsigned msg, uintptr_t wp, intptr_t lp)
{
  return SWELL_Internal_PostMessage(dest, msg, wp, lp);
}

void SWELL_PostMessageDelegate::swellPostMessageClearQ(HWND__* h) { SWELL_Internal_PMQ_ClearAllMessages(h); }

void SWELL_PostMessageDelegate::swellPostMessageTick(NSTimer*) { SWELL_MessageQueue_Flush(); }
