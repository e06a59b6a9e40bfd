#pragma once
// A recursive mutex that knows its owner and depth, so one thread may
// re-enter it and the last Leave releases it.

#include <atomic>
#include <pthread.h>

class WDL_Mutex
{
public:
  WDL_Mutex() { pthread_mutex_init(&m_mutex, nullptr); }
  ~WDL_Mutex() { pthread_mutex_destroy(&m_mutex); }
  WDL_Mutex(const WDL_Mutex&) = delete;
  WDL_Mutex& operator=(const WDL_Mutex&) = delete;

  void Enter()
  {
    m_entered.fetch_add(1);
    if (IsHeldByCaller())
    {
      ++m_depth;
      return;
    }
    pthread_mutex_lock(&m_mutex);
    m_owner.store(pthread_self(), std::memory_order_relaxed);
    m_depth = 1;
  }

  // Takes the mutex only when it is free or already ours.
  bool TryEnter()
  {
    if (IsHeldByCaller())
    {
      m_entered.fetch_add(1);
      ++m_depth;
      return true;
    }
    if (pthread_mutex_trylock(&m_mutex) != 0) return false;
    m_entered.fetch_add(1);
    m_owner.store(pthread_self(), std::memory_order_relaxed);
    m_depth = 1;
    return true;
  }

  void Leave()
  {
    if (--m_depth == 0)
    {
      m_owner.store(0, std::memory_order_relaxed);
      pthread_mutex_unlock(&m_mutex);
    }
    m_entered.fetch_sub(1);
  }

  // Lets go of every level the calling thread holds: the depth to give back to
  // EnterAgain, 0 when the caller held none.
  int LeaveAll()
  {
    if (!IsHeldByCaller()) return 0;
    const int depth = m_depth;
    m_depth = 0;
    m_owner.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&m_mutex);
    m_entered.fetch_sub(depth);
    return depth;
  }
  void EnterAgain(int depth)
  {
    if (depth <= 0) return;
    Enter();
    m_depth = depth;
    m_entered.fetch_add(depth - 1);
  }

  // Threads inside or waiting; a nested entry counts again.
  int GetEnterCount() const { return m_entered.load(); }
  int GetRecursionDepth() const { return IsHeldByCaller() ? m_depth : 0; }
  // Only the owner itself can see its own id here, so relaxed order suffices.
  bool IsHeldByCaller() const { return pthread_equal(m_owner.load(std::memory_order_relaxed), pthread_self()); }

private:
  std::atomic<int> m_entered{0};
  pthread_mutex_t m_mutex;
  std::atomic<pthread_t> m_owner{0};
  int m_depth = 0;
};

class WDL_MutexLock
{
public:
  explicit WDL_MutexLock(WDL_Mutex* m) : m_m(m) { if (m_m) m_m->Enter(); }
  ~WDL_MutexLock() { if (m_m) m_m->Leave(); }
  WDL_MutexLock(const WDL_MutexLock&) = delete;
  WDL_MutexLock& operator=(const WDL_MutexLock&) = delete;

private:
  WDL_Mutex* m_m;
};

// Lets go of the mutex for as long as it lives, however deep the caller holds
// it, and takes it back as deep after: what waits for a person (a menu, a panel,
// an alert) runs without it, so no other thread waits on that person.
class WDL_MutexReleased
{
public:
  explicit WDL_MutexReleased(WDL_Mutex* m) : m_m(m), m_depth(m ? m->LeaveAll() : 0) {}
  ~WDL_MutexReleased() { if (m_m) m_m->EnterAgain(m_depth); }
  WDL_MutexReleased(const WDL_MutexReleased&) = delete;
  WDL_MutexReleased& operator=(const WDL_MutexReleased&) = delete;

private:
  WDL_Mutex* m_m;
  int m_depth;
};
