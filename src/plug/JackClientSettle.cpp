#include "plug/JackClientSettle.h"

#include "base/log.h"
#include "plug/JackServerEpoch.h"
#include "plug/MidiPortSelect.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Far more than a notification thread needs to take in one arrival or departure,
// even on a loaded machine or under a thread checker's slow-down.
const std::chrono::milliseconds kSettle(30);
// How long openings may put a closing off: its latest turn, fixed when it is
// handed over. A host closing instances and opening one right away (a project
// loaded again) meets no closing's turn in the new instance's start-up.
const std::chrono::milliseconds kPutOff(250);
// A closing that has had its turn this long is stuck (a server that no longer
// answers): no one waits for it any longer.
const std::chrono::milliseconds kStuck(1500);


// How long a closing waits for the process's clients to take in what
// their server told them: past it, it goes on.
const std::chrono::milliseconds kTakeInBound(500);
// Nothing left unread for this long: the last notification read is taken in too.
const std::chrono::milliseconds kTakenIn(5);

// This process's JACK notification sockets by descriptor: each is one the server
// connected to at the client's own path (/dev/shm/jack_CLIENT_...), which only
// that client's notification thread reads. The process's other sockets to a
// server (the request channels) are unnamed.
std::vector<int> JackNotificationSockets()
{
  std::map<unsigned long, int> sockets;  // inode -> descriptor
  if (DIR* d = opendir("/proc/self/fd"))
  {
    while (dirent* e = readdir(d))
    {
      char link[300], target[64];
      snprintf(link, sizeof link, "/proc/self/fd/%s", e->d_name);
      const ssize_t n = readlink(link, target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = 0;
      unsigned long inode = 0;
      if (sscanf(target, "socket:[%lu]", &inode) == 1) sockets[inode] = atoi(e->d_name);
    }
    closedir(d);
  }
  std::vector<int> found;
  FILE* f = sockets.empty() ? nullptr : fopen("/proc/net/unix", "r");
  if (!f) return found;
  char line[512];
  while (fgets(line, sizeof line, f))
  {
    unsigned long inode = 0;
    char path[400] = "";
    if (sscanf(line, "%*s %*s %*s %*s %*s %*s %lu %399[^\n]", &inode, path) != 2) continue;
    if (strncmp(path, "/dev/shm/jack_", 14) != 0) continue;
    const auto s = sockets.find(inode);
    if (s != sockets.end()) found.push_back(s->second);
  }
  fclose(f);
  return found;
}

// The bytes the servers sent to those sockets that no notification thread has read.
long UnreadJackNotifications(const std::vector<int>& sockets)
{
  long unread = 0;
  for (int fd : sockets)
  {
    int pending = 0;
    if (ioctl(fd, FIONREAD, &pending) == 0 && pending > 0) unread += pending;
  }
  return unread;
}

// Whether every one of those sockets has a thread of the process waiting in a read
// of it: its notification thread, done with what it took in (a thread that has read
// a notification and is still taking it in, held up by a loaded machine, holds the
// library's lock meanwhile). -1 where the system does not tell what its threads wait in.
int JackNotificationThreadsWaiting(const std::vector<int>& sockets)
{
  if (sockets.empty()) return 1;
  std::vector<int> reading;
  bool told = false;
  if (DIR* d = opendir("/proc/self/task"))
  {
    while (dirent* e = readdir(d))
    {
      if (e->d_name[0] == '.') continue;
      char path[300], line[256];
      snprintf(path, sizeof path, "/proc/self/task/%s/syscall", e->d_name);
      FILE* f = fopen(path, "r");
      if (!f) continue;
      const bool read = fgets(line, sizeof line, f) != nullptr;
      fclose(f);
      if (!read) continue;
      told = true;
      long call = -1;
      unsigned long fd = 0;
      if (sscanf(line, "%ld 0x%lx", &call, &fd) == 2 && (call == SYS_read || call == SYS_recvfrom))
        reading.push_back((int)fd);
    }
    closedir(d);
  }
  if (!told) return -1;
  for (int fd : sockets)
    if (std::find(reading.begin(), reading.end(), fd) == reading.end()) return 0;
  return 1;
}

// Waits, kTakeInBound at most, until the process's JACK clients have read every
// notification sent to them and taken it in, and a little longer. A closing
// cancels its own notification thread at once, and one cancelled while taking a
// notification in leaves a lock of the library held for ever: the spacing after
// the process's own openings and closings does not cover what the server tells the
// clients of its own accord (another program's client or port coming or going, the
// closing client's own port just unregistered), nor a notification thread that a
// loaded machine holds up longer than the spacing.
} // namespace

void WaitForJackNotificationsTakenIn()
{
  const Clock::time_point bound = Clock::now() + kTakeInBound;
  Clock::time_point quietSince = Clock::time_point::max();
  for (;;)
  {
    const Clock::time_point now = Clock::now();
    const std::vector<int> sockets = JackNotificationSockets();
    if (UnreadJackNotifications(sockets) > 0 || JackNotificationThreadsWaiting(sockets) == 0)
      quietSince = Clock::time_point::max();
    else if (quietSince == Clock::time_point::max())
      quietSince = now;
    else if (now >= quietSince + kTakenIn)
      return;
    if (now >= bound) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

namespace {

// Who opens or closes a JACK client of this process when. Openings and closings
// take turns through this state; its lock is never held across a call into JACK.
// Never destroyed: usable by objects that end after the closings' thread (a
// static of a test program, say), and what a stuck closing still uses stays.
class Turns
{
public:
  static Turns& Get()
  {
    static Turns* turns = new Turns;
    return *turns;
  }

  void NoteChange()
  {
    std::lock_guard<std::mutex> l(mLock);
    mLastChange = Clock::now();
    mChanged.notify_all();
  }

  // An opening starts once no closing runs and none has its turn, or once one
  // closing has run (openings and closings past their turn alternate), or once
  // the one that has it is stuck; it waits kStuck at most.
  void BeginOpening()
  {
    std::unique_lock<std::mutex> l(mLock);
    const Clock::time_point bound = Clock::now() + kStuck;
    const unsigned long long done = mDone;
    bool say = false;
    while ((mRunningClose || (ClosingsTurn(Clock::now()) && mDone == done)) && !Stuck(Clock::now()))
    {
      if (Clock::now() >= bound)
      {
        say = FirstToSayStuck();
        break;
      }
      mChanged.wait_until(l, mClosing ? std::min(bound, mTurnSince + kStuck) : bound);
    }
    ++mOpenings;
    l.unlock();
    if (say) SayStuck();
  }

  void EndOpening()
  {
    std::lock_guard<std::mutex> l(mLock);
    --mOpenings;
    mLastChange = Clock::now();
    mChanged.notify_all();
  }

  void Hand(std::function<void()> close)
  {
    std::unique_lock<std::mutex> l(mLock);
    if (mEnded)
    {
      // After the thread's end: a closing runs on its caller's thread, apart as
      // ever; once one was stuck, the rest are kept.
      if (mStuckAtEnd || !RunInTurn(l, close, true)) mQueue.push_back({std::move(close), Clock::now()});
      return;
    }
    mQueue.push_back({std::move(close), Clock::now() + kSettle + kPutOff});
    ++mHanded;
    if (!mThread.joinable())
    {
      // Destroyed, and so the thread ended, at exit or when the library is unloaded.
      static Ender ender;
      mRunning = true;
      mThread = std::thread([this] { Run(); });
    }
    mChanged.notify_all();
  }

  bool WaitForAll()
  {
    std::unique_lock<std::mutex> l(mLock);
    if (mEnded || mThread.get_id() == std::this_thread::get_id()) return !mStuckAtEnd;
    const unsigned long long target = mHanded;
    while (mDone < target)
    {
      if (Stuck(Clock::now()))
      {
        const bool say = FirstToSayStuck();
        l.unlock();
        if (say) SayStuck();
        return false;
      }
      mChanged.wait_until(l, mClosing ? mTurnSince + kStuck : Clock::now() + kStuck);
    }
    return true;
  }

private:
  struct Queued
  {
    std::function<void()> close;
    Clock::time_point latest;
  };

  // At exit or unload: what is queued is closed before the thread ends (a client
  // left open is one the server keeps for a while, and its threads run on), unless
  // a closing is stuck: then the thread is left to it and what is left is kept.
  struct Ender
  {
    ~Ender() { Get().End(); }
  };

  void End()
  {
    std::unique_lock<std::mutex> l(mLock);
    mQuit = true;
    mChanged.notify_all();
    while (mRunning && !Stuck(Clock::now()))
      mChanged.wait_until(l, mClosing ? mTurnSince + kStuck : Clock::now() + kStuck);
    std::thread thread;
    std::swap(thread, mThread);
    mEnded = true;
    if (mRunning)
    {
      mStuckAtEnd = true;
      const bool say = FirstToSayStuck();
      l.unlock();
      thread.detach();
      if (say) SayStuck();
      return;
    }
    l.unlock();
    thread.join();
  }

  void Run()
  {
    std::unique_lock<std::mutex> l(mLock);
    for (;;)
    {
      if (mQueue.empty())
      {
        if (mQuit) break;
        mChanged.wait(l);
        continue;
      }
      // The first closing runs once the process is quiet (no opening under way, the
      // last change settled), at its latest turn, or at once when the process ends.
      const Clock::time_point now = Clock::now();
      const bool quiet = mOpenings == 0 && now >= mLastChange + kSettle;
      if (!quiet && now < mQueue.front().latest && !mQuit)
      {
        mChanged.wait_until(l, mOpenings == 0 ? std::min(mQueue.front().latest, mLastChange + kSettle)
                                              : mQueue.front().latest);
        continue;
      }
      std::function<void()> close = std::move(mQueue.front().close);
      mQueue.pop_front();
      RunInTurn(l, close, false);
      close = nullptr;
      ++mDone;
      mChanged.notify_all();
      // Given up at the end: what is left is kept.
      if (mEnded) break;
    }
    mRunning = false;
    mChanged.notify_all();
  }

  // Takes the turn (no opening starts meanwhile), lets the openings under way end
  // and the last change settle, then closes without the lock. bounded: gives the
  // turn up, the closing not run, when that takes kStuck (a caller's own thread).
  bool RunInTurn(std::unique_lock<std::mutex>& l, const std::function<void()>& close, bool bounded)
  {
    const Clock::time_point bound = Clock::now() + kStuck;
    while (mClosing)
    {
      if (bounded && Clock::now() >= bound) return false;
      WaitBounded(l, bounded, bound);
    }
    mClosing = true;
    mTurnSince = Clock::now();
    for (;;)
    {
      const Clock::time_point now = Clock::now();
      if (bounded && now >= bound)
      {
        mClosing = false;
        mChanged.notify_all();
        return false;
      }
      if (mOpenings > 0) WaitBounded(l, bounded, bound);
      else if (now < mLastChange + kSettle) mChanged.wait_until(l, mLastChange + kSettle);
      else break;
    }
    mRunningClose = true;
    l.unlock();
    close();
    l.lock();
    mLastChange = Clock::now();
    mRunningClose = false;
    mClosing = false;
    mChanged.notify_all();
    return true;
  }

  // Whether openings wait: a closing has its turn, or the first one's latest turn came.
  bool ClosingsTurn(Clock::time_point now) const
  {
    return mClosing || (!mQueue.empty() && !mEnded && now >= mQueue.front().latest);
  }
  bool Stuck(Clock::time_point now) const { return mClosing && now >= mTurnSince + kStuck; }

  void WaitBounded(std::unique_lock<std::mutex>& l, bool bounded, Clock::time_point bound)
  {
    if (bounded) mChanged.wait_until(l, bound);
    else mChanged.wait(l);
  }

  // Said once, off the lock.
  bool FirstToSayStuck()
  {
    const bool first = !mStuckSaid;
    mStuckSaid = true;
    return first;
  }
  static void SayStuck()
  {
    ConsoleLog("MIDI: a JACK client has not closed within %d ms (the server does not answer); "
               "no one waits for it, and what it holds is kept\n",
               (int)kStuck.count());
  }

  std::mutex mLock;
  std::condition_variable mChanged;  // any change of the state below
  std::deque<Queued> mQueue;
  unsigned long long mHanded = 0, mDone = 0;
  int mOpenings = 0;  // under way
  bool mClosing = false;       // a closing has its turn
  bool mRunningClose = false;  // and runs
  Clock::time_point mTurnSince;
  Clock::time_point mLastChange;  // the end of the last opening or closing
  bool mQuit = false, mRunning = false, mEnded = false, mStuckAtEnd = false, mStuckSaid = false;
  std::thread mThread;
};

} // namespace

void NoteJackClientChange() { Turns::Get().NoteChange(); }

namespace {

// ---- wake-ups of departed clients ----
//
// JACK's library keeps one table of the clients' wake-ups for the whole process,
// filled and emptied as its clients hear other clients come and go. A client that
// is still opening ignores a departure (it cannot tell whether the name is its
// own yet): when another program's client leaves while the process's only client
// opens (a program checking that a server just started takes clients, say), the
// departed client's wake-up stays in the table. The next client to get its place
// in the server, ours or another program's, is then woken through the departed
// one's, that is never: a synchronous server stands still for good. The library
// only clears a place's entry when its own client closes, and it maps each
// wake-up from a file that the server removes as the client leaves; so a mapping
// of a removed file is a departed client's entry, and a client of ours that
// takes its place without a wake-up of its own sits on it: opened and closed at
// once, never activated, it clears the entry.

struct WakeUp
{
  unsigned long start = 0, inode = 0;
  std::string client;
};

std::string WakeUpPrefix()
{
  return "/dev/shm/jack_sem." + std::to_string(getuid()) + "_" + JackServerNameOfProcess() + "_";
}

// The process's mappings of the wake-ups of its server's clients: those whose file
// was removed, or the one of client, whose file is there.
std::vector<WakeUp> WakeUpMappings(bool removed, const std::string& client = std::string())
{
  std::vector<WakeUp> found;
  FILE* f = fopen("/proc/self/maps", "r");
  if (!f) return found;
  const std::string prefix = WakeUpPrefix();
  const std::string gone = " (deleted)";
  char line[1024];
  while (fgets(line, sizeof line, f))
  {
    std::string l(line);
    if (!l.empty() && l.back() == '\n') l.pop_back();
    const size_t at = l.find(prefix);
    if (at == std::string::npos) continue;
    std::string name = l.substr(at + prefix.size());
    const bool isGone = name.size() > gone.size() && name.compare(name.size() - gone.size(), gone.size(), gone) == 0;
    if (isGone) name.erase(name.size() - gone.size());
    if (isGone != removed || (!removed && name != client)) continue;
    WakeUp w;
    w.client = name;
    if (sscanf(line, "%lx-%*x %*s %*s %*s %lu", &w.start, &w.inode) == 2) found.push_back(w);
  }
  fclose(f);
  return found;
}

// Entries looked at once and left: the departed client's place is another's now
// (its departure clears it), or the entry is no longer in the table (a server gone).
std::set<std::pair<unsigned long, unsigned long>>& LeftWakeUps()
{
  static auto* left = new std::set<std::pair<unsigned long, unsigned long>>;
  return *left;
}

std::vector<WakeUp> StaleWakeUps()
{
  std::vector<WakeUp> stale;
  for (const WakeUp& w : WakeUpMappings(true))
    if (!LeftWakeUps().count({w.start, w.inode})) stale.push_back(w);
  return stale;
}

// Under the openings' hold and turn, before an opening: the departed clients'
// entries are cleared, so that the client about to open cannot get one's place.
void ClearStaleJackWakeUps()
{
  if (StaleWakeUps().empty()) return;
  // A departure on its way to the process's clients clears its entry itself.
  WaitForJackNotificationsTakenIn();
  const std::vector<WakeUp> stale = StaleWakeUps();
  if (stale.empty()) return;
  // The server gives the lowest free place: as many clients as there are entries,
  // a few more for places taken meanwhile.
  std::vector<std::pair<jack_client_t*, unsigned>> sitters;  // with their epochs
  size_t sitting = 0;
  for (size_t i = 0; i < stale.size() + 2 && sitting < stale.size(); ++i)
  {
    jack_status_t status;
    jack_client_t* c = jack_client_open(JackClientName("Davrel Wake-up Check").c_str(), JackNoStartServer, &status);
    NoteJackClientChange();
    if (!c) break;
    sitters.push_back({c, JackClientOpened()});
    if (WakeUpMappings(false, jack_get_client_name(c)).empty()) ++sitting;
  }
  // The other clients take each arrival in before it goes again (a closing cancels
  // its notification thread at once).
  std::this_thread::sleep_for(kSettle);
  WaitForJackNotificationsTakenIn();
  // One whose server went meanwhile is kept, never closed (JackServerEpoch.h): an
  // opening after it may have had the library free it.
  for (auto c = sitters.rbegin(); c != sitters.rend(); ++c)
  {
    if (!JackServerEpochLives(c->second))
    {
      KeepJackClientOfGoneServer(c->first);
      continue;
    }
    jack_client_close(c->first);
    NoteJackClientChange();
  }
  const std::vector<WakeUp> left = StaleWakeUps();
  for (const WakeUp& w : left) LeftWakeUps().insert({w.start, w.inode});
  static std::atomic<bool> said{false};
  if (sitting > 0 && !said.exchange(true))
    ConsoleLog("MIDI: JACK's library kept the wake-up of a client that left while ours opened; cleared "
               "before the next opening (%zu of %zu)\n",
               stale.size() - std::min(stale.size(), left.size()), stale.size());
}

} // namespace

JackClientOpening::JackClientOpening()
{
  // No call into an open client runs while the library may free it (JackServerEpoch.h).
  BeginJackClientOpening();
  Turns::Get().BeginOpening();
  ClearStaleJackWakeUps();
}

JackClientOpening::~JackClientOpening()
{
  Turns::Get().EndOpening();
  EndJackClientOpening();
}

void CloseJackClientApart(std::function<void()> close)
{
  if (!close) return;
  Turns::Get().Hand(std::move(close));
}

bool WaitForJackClientClosings() { return Turns::Get().WaitForAll(); }
