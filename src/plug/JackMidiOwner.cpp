#include "plug/JackMidiOwner.h"

#include "base/log.h"
#include "plug/MidiPortSelect.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace jackbridge;

// ---- the slot's memory ----

SlotMemory* JackMidiSlot::Make(int* fd, size_t* size)
{
  *size = SlotMemorySize();
  *fd = memfd_create("davrel-midi-slot", MFD_CLOEXEC);
  void* at = MAP_FAILED;
  if (*fd >= 0 && ftruncate(*fd, (off_t)*size) == 0)
    at = mmap(nullptr, *size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, *fd, 0);
  if (at == MAP_FAILED)
  {
    // No bridge can have it: the instance gets no JACK ports, and says why.
    if (*fd >= 0) close(*fd);
    *fd = -1;
    at = mmap(nullptr, *size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ConsoleLog("MIDI: no shared memory for the JACK bridge (%s): no JACK ports\n", strerror(errno));
    if (at == MAP_FAILED) throw std::bad_alloc();
  }
  return new (at) SlotMemory;
}

JackMidiSlot::JackMidiSlot()
  : mem(Make(&fd, &size)), in(InRing(mem))
{
}

JackMidiSlot::~JackMidiSlot()
{
  mem->~SlotMemory();
  munmap(mem, size);
  if (fd >= 0) close(fd);
}

namespace {

using Clock = std::chrono::steady_clock;

// The live epoch (0: none) and the last one whose server was seen to go.
std::atomic<unsigned> gEpoch{0};
std::atomic<unsigned> gGone{0};
std::atomic<int> gOpened{0}, gClosed{0}, gBridgePid{0}, gBridges{0};
std::atomic<unsigned> gRefused{0};
// The last epoch that ended with its bridge (killed, stuck, crashed) while its
// server was not seen to go; whether the last try found no bridge program to start.
std::atomic<unsigned> gBridgeLost{0};
std::atomic<bool> gNoBridge{false};
// The last question's wait for the bridge's word was given up with no word.
std::atomic<bool> gUnanswered{false};

// A bridge that answers nothing, not even a ping its reader answers whatever JACK
// does, for this long is stuck (stopped, or worse): it is ended.
const std::chrono::milliseconds kPingAfter(1000), kStuckAfter(2000);
// How long a request that needs a server waits for a fresh bridge's first word.
const std::chrono::milliseconds kFirstWord(10000);
// How long a question waits for the next try of a bridge that has tried before.
const std::chrono::milliseconds kNextWord(1000);
// How long the process's end gives the bridge to close its clients.
const std::chrono::milliseconds kEndWait(500);

struct Job
{
  std::function<void(unsigned)> run;
  bool open = true;  // a bridge started first where none runs
  bool done = false;
  bool abandoned = false;  // its asker gave up before it ran: it never runs
};

// The environment last copied on an instance's maker's thread (TakeEnvironment).
std::mutex gEnvironmentLock;
std::vector<std::string> gEnvironment;

std::vector<std::string> CopyEnvironment()
{
  std::vector<std::string> vars;
  for (char** v = environ; v && *v; ++v) vars.push_back(*v);
  return vars;
}

// A copy of it, as the bridge gets it; the process's own where none was taken.
std::vector<std::string> BridgeEnvironment()
{
  {
    std::lock_guard<std::mutex> lock(gEnvironmentLock);
    if (!gEnvironment.empty()) return gEnvironment;
  }
  return CopyEnvironment();
}

const char* EnvironmentValue(const std::vector<std::string>& vars, const char* name)
{
  const size_t n = strlen(name);
  for (const std::string& v : vars)
    if (v.compare(0, n, name) == 0 && v.size() > n && v[n] == '=') return v.c_str() + n + 1;
  return nullptr;
}

// The bridge program: DAVREL_JACK_BRIDGE, else beside the library (the bundle), or
// beside the program the port layer is linked into (a test's). Nothing of the build
// machine's paths is compiled in.
std::string BridgePath(const char* env)
{
  if (env && *env && access(env, X_OK) == 0) return env;
  const auto beside = [](const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return std::string();
    const std::string path = file.substr(0, slash + 1) + "davrel-jack-bridge";
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
  };
  Dl_info info;
  if (!dladdr((void*)&BridgePath, &info) || !info.dli_fname) return std::string();
  // Linked into the program itself, whose name is only what it was started by.
  if (strcmp(info.dli_fname, program_invocation_name) != 0) return beside(info.dli_fname);
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  return n > 0 ? beside(std::string(exe, (size_t)n)) : std::string();
}

class Owner
{
public:
  Owner()
  {
    mMaker = getpid();
    mJobFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    mQuitFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }

  bool Ask(std::function<void(unsigned)> job, const std::atomic<bool>* giveUp, bool open = true,
           Clock::time_point deadline = Clock::time_point::max())
  {
    // A child the host forked (a crash reporter, a scanner, a failed exec) has no
    // owner's thread and shares our descriptors: it asks nothing.
    if (!Maker()) return false;
    auto j = std::make_shared<Job>();
    j->run = std::move(job);
    j->open = open;
    std::unique_lock<std::mutex> l(mLock);
    // An instance that closes asks nothing more: a question of its under way is
    // given up, and one not yet begun never runs, so its ports are not joined again
    // behind its release, nor the owner held up for it.
    if (mQuit || (giveUp && giveUp->load())) return false;
    Start();
    mJobs.push_back(j);
    Poke(mJobFd);
    if (!giveUp) return true;
    // Woken by the job's end, by WakeAskers (an asker gives up) and by the end.
    while (!j->done)
    {
      const Clock::time_point now = Clock::now();
      if (giveUp->load() || mQuit || now >= deadline)
      {
        j->abandoned = true;
        return false;
      }
      mDone.wait_until(l, std::min(deadline, now + std::chrono::seconds(1)));
    }
    return true;
  }

  void WakeAskers()
  {
    if (!Maker()) return;
    std::lock_guard<std::mutex> l(mLock);
    mDone.notify_all();
  }

  // The process's end. A forked child's exit runs it too: it does nothing there
  // (the quit's eventfd and the socket are the parent's as well), and takes no
  // lock, which another thread of the parent may have held as it forked.
  void End()
  {
    if (!Maker()) return;
    std::unique_lock<std::mutex> l(mLock);
    if (mQuit) return;
    mQuit = true;
    Poke(mQuitFd);
    mDone.notify_all();
    if (!mStarted) return;
    const bool ended = mDone.wait_for(l, std::chrono::milliseconds(250), [this] { return mEnded; });
    l.unlock();
    if (!ended)
    {
      // Never inside a call without bound: a thread this late is left to the
      // process's end, and the bridge sees the socket go with the process.
      mThread.detach();
      ConsoleLog("MIDI: the JACK bridge's owner has not ended within 250 ms: left to the process's end\n");
      return;
    }
    mThread.join();
    // The bridge sees the socket's end and closes its clients by itself, given a
    // short while for it: a host started right after this one then opens its
    // clients on a server that is not still closing these.
    if (mSock >= 0) close(mSock);
    mSock = -1;
    const Clock::time_point end = Clock::now() + kEndWait;
    while (mPid > 0 && waitpid(mPid, nullptr, WNOHANG) == 0 && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  // ---- the owner's thread ----

  bool Live() const { return mEpoch != 0 && gGone.load() != mEpoch && mSock >= 0; }

  std::vector<std::string> Ports(bool input)
  {
    std::vector<std::string> names;
    Header h;
    h.op = kPorts;
    h.dir = input ? 1 : 0;
    Header r;
    std::string text;
    if (!Live() || !Call(h, std::string(), -1, &r, &text) || r.value != 1) return names;
    for (size_t at = 0; at < text.size();)
    {
      const size_t end = text.find('\n', at);
      if (end == std::string::npos) break;
      names.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    return names;
  }

  bool Register(const std::shared_ptr<JackMidiSlot>& slot, bool input)
  {
    const int d = input ? 1 : 0;
    if (!Live() || !Hand(slot)) return false;
    if (!slot->name[d].empty()) return true;
    Header r;
    std::string text;
    if (!SlotCall(kRegister, slot, d, std::string(), &r, &text) || r.value != 1) return false;
    slot->name[d] = text;
    return true;
  }

  bool Connect(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
  {
    const int d = input ? 1 : 0;
    if (!Live() || !Hand(slot)) return false;
    Header r;
    std::string text;
    if (!SlotCall(kConnect, slot, d, name, &r, &text)) return false;
    if (!text.empty()) slot->name[d] = text;
    return r.value == 1;
  }

  void Disconnect(const std::shared_ptr<JackMidiSlot>& slot, bool input)
  {
    const int d = input ? 1 : 0;
    Header r;
    std::string text;
    if (Live() && slot->bridge == mBridgeNumber && !slot->name[d].empty())
      SlotCall(kDisconnect, slot, d, std::string(), &r, &text);
  }

  bool Rename(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& shortName)
  {
    const int d = input ? 1 : 0;
    if (!Live() || !Hand(slot)) return false;
    Header r;
    std::string text;
    if (!SlotCall(kRename, slot, d, shortName, &r, &text) || r.value != 1) return false;
    slot->name[d] = text;
    return true;
  }

  int Connected(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
  {
    const int d = input ? 1 : 0;
    if (!Live() || slot->bridge != mBridgeNumber || slot->name[d].empty()) return -1;
    Header r;
    std::string text;
    if (!SlotCall(kConnected, slot, d, name, &r, &text)) return -1;
    return (int)r.value;
  }

  void Release(const std::shared_ptr<JackMidiSlot>& slot)
  {
    long long left = 0;
    bool handed = false;
    if (Live() && slot->bridge == mBridgeNumber && slot->index >= 0)
    {
      Header r;
      std::string text;
      handed = SlotCall(kRelease, slot, 0, std::string(), &r, &text);
      if (handed) left = r.value;
    }
    // No bridge has its memory (none lives, or the one that had it ended, killed
    // if it did not answer): no callback reads its sends any more, and what they
    // still hold is not sent. A host that ends leaves it to its bridge, which
    // writes out what it holds as it ends.
    if (!handed && !QuitSet())
    {
      SendRing sends = SendRingOf(slot->mem);
      sends.Recover();
      left = sends.Clear();
    }
    if (slot->index >= 0 && mSlots[slot->index] == slot) mSlots[slot->index].reset();
    slot->index = -1;
    slot->bridge = 0;
    if (left > 0) ConsoleLog("MIDI OUT: %lld messages not sent: the plug-in closed before the server took them\n", left);
  }

private:
  bool Maker() const { return getpid() == mMaker; }

  static void Poke(int fd)
  {
    const uint64_t one = 1;
    if (write(fd, &one, sizeof one) < 0) {}
  }
  static void Drain(int fd)
  {
    uint64_t n;
    while (read(fd, &n, sizeof n) > 0) {}
  }

  void Start()
  {
    if (mStarted) return;
    mStarted = true;
    mThread = std::thread([this] { Run(); });
  }

  void Run()
  {
    // Named for a look at the process's threads (its idle wake-ups are counted so).
    pthread_setname_np(pthread_self(), "davrel jack own");
    std::unique_lock<std::mutex> l(mLock);
    while (!mQuit)
    {
      if (mJobs.empty())
      {
        l.unlock();
        Idle();
        l.lock();
        continue;
      }
      std::shared_ptr<Job> j = mJobs.front();
      mJobs.pop_front();
      if (j->abandoned) continue;
      l.unlock();
      if (j->open)
      {
        // What the bridge said meanwhile first: a server gone ends the epoch here,
        // and a fresh bridge is asked instead.
        Pump(0, 0, nullptr, nullptr);
        AwaitFirstWord();
      }
      j->run(Live() ? mEpoch : 0);
      l.lock();
      j->done = true;
      mDone.notify_all();
    }
    mEnded = true;
    mDone.notify_all();
  }

  // Nothing to do: waits for a job, the bridge's word, or the end. No time-out
  // while the bridge is well: an idle process's owner never wakes.
  void Idle()
  {
    pollfd fds[3] = {{mJobFd, POLLIN, 0}, {mQuitFd, POLLIN, 0}, {mSock, POLLIN, 0}};
    const int n = mSock >= 0 ? 3 : 2;
    if (poll(fds, (nfds_t)n, -1) <= 0) return;
    if (fds[0].revents) Drain(mJobFd);
    if (n == 3 && fds[2].revents) Pump(0, 0, nullptr, nullptr);
  }

  // Reads what the bridge says for up to ms (0: what is there now). A reply with id
  // (non-zero) goes to *reply: true when it came. Waiting without an id, it returns
  // as soon as a try of the bridge's is told (clients, or no server).
  bool Pump(int ms, uint32_t id, Header* reply, std::string* replyText)
  {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;)
    {
      if (mSock < 0) return false;
      pollfd fds[2] = {{mSock, POLLIN, 0}, {mQuitFd, POLLIN, 0}};
      const int left = (int)std::max<long long>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
      const int ready = poll(fds, 2, left);
      if (ready < 0 && errno != EINTR) return false;
      if (fds[1].revents) return false;
      if (ready <= 0 || !fds[0].revents)
      {
        if (Clock::now() >= end) return false;
        continue;
      }
      Header h;
      std::string text;
      int fd = -1;
      const int got = ReceiveMessage(mSock, &h, &text, &fd, true);
      if (fd >= 0) close(fd);
      if (got < 0 && errno == EPROTO)
      {
        // Its length words do not add up: nothing more of it is read.
        Kill("sent a malformed message");
        return false;
      }
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
      {
        Ended(false);
        return false;
      }
      if (got < 0) continue;
      mLastHeard = Clock::now();
      mPingAt = Clock::time_point();
      if (mHelloFrom != mBridgeNumber)
      {
        // Its first word says its build: one of another is not used at all.
        if (h.op != kHello || h.value != (int64_t)kVersion || h.value2 != (int64_t)SlotMemorySize())
        {
          OtherBuild(h);
          return false;
        }
        mHelloFrom = mBridgeNumber;
        continue;
      }
      switch (h.op)
      {
      case kReply:
        if (id && h.id == id)
        {
          *reply = h;
          *replyText = std::move(text);
          return true;
        }
        break;
      case kReady:
        if (h.value <= 0 || h.value > 65536 || h.value2 < 1000 || h.value2 > 1000000)
        {
          Kill("sent a malformed message");
          return false;
        }
        gUnanswered.store(false);
        mFirstWord = true;
        mLastWord = mLastHeard;
        mWasReady = true;
        mEpoch = ++mEpochs;
        gEpoch.store(mEpoch);
        gOpened.fetch_add(2);
        if (!id && ms > 0) return false;
        break;
      case kNoServer:
        gUnanswered.store(false);
        mFirstWord = true;
        mLastWord = mLastHeard;
        gRefused.store((unsigned)h.value);
        if (!id && ms > 0) return false;
        break;
      case kGone:
        mServerWent = true;
        EndEpoch();
        break;
      case kLog:
        ConsoleLog("%s", text.c_str());
        break;
      default:
        break;
      }
    }
  }

  // A request and its reply. Bounded: a bridge that answers nothing, not even a
  // ping, is ended (false).
  bool Call(Header h, const std::string& text, int fd, Header* reply, std::string* replyText)
  {
    if (mSock < 0) return false;
    h.id = ++mNextId;
    if (!SendMessage(mSock, h, text, fd, true))
    {
      // Its socket full: it has read nothing for a long while.
      Kill("took no request");
      return false;
    }
    const Clock::time_point asked = Clock::now();
    if (mLastHeard < asked) mLastHeard = asked;
    for (;;)
    {
      if (Pump(250, h.id, reply, replyText)) return true;
      if (mSock < 0 || QuitSet()) return false;
      const Clock::time_point now = Clock::now();
      if (mPingAt == Clock::time_point() && now - mLastHeard > kPingAfter)
      {
        Header ping;
        ping.op = kPing;
        mPingAt = now;
        if (!SendMessage(mSock, ping, std::string(), -1, true)) mPingAt = now - kStuckAfter;
      }
      else if (mPingAt != Clock::time_point() && now - mPingAt >= kStuckAfter)
      {
        Kill("did not answer for 3 s");
        return false;
      }
    }
  }

  bool SlotCall(Op op, const std::shared_ptr<JackMidiSlot>& slot, int d, const std::string& text, Header* r,
                std::string* replyText)
  {
    Header h;
    h.op = op;
    h.slot = slot->index;
    h.dir = d;
    return Call(h, text, -1, r, replyText);
  }

  bool QuitSet()
  {
    std::lock_guard<std::mutex> l(mLock);
    return mQuit;
  }

  // The slot in the table and its memory with the live bridge.
  bool Hand(const std::shared_ptr<JackMidiSlot>& slot)
  {
    if (!slot->Shared()) return false;
    if (slot->bridge == mBridgeNumber && slot->index >= 0) return true;
    if (slot->index < 0)
    {
      for (int i = 0; i < kSlots && slot->index < 0; ++i)
        if (!mSlots[i])
        {
          mSlots[i] = slot;
          slot->index = i;
        }
      if (slot->index < 0)
      {
        if (!mFullSaid) ConsoleLog("MIDI: more than %d instances use JACK ports at once: the next get none\n", kSlots);
        mFullSaid = true;
        return false;
      }
    }
    Header h, r;
    std::string text;
    h.op = kAddSlot;
    h.slot = slot->index;
    if (!Call(h, std::string(), slot->fd, &r, &text)) return false;
    if (r.value != 1)
    {
      if (mRefusalSaid != mBridgeNumber)
        ConsoleLog("MIDI: the JACK bridge (pid %d) refused an instance's memory (%s): the instance gets no JACK ports\n",
                   (int)mPid, text.empty() ? "no reason given" : text.c_str());
      mRefusalSaid = mBridgeNumber;
      return false;
    }
    slot->bridge = mBridgeNumber;
    slot->name[0].clear();
    slot->name[1].clear();
    return true;
  }

  // The bridge program, once none runs (not more often than its last end allows).
  void StartBridge()
  {
    if (mSock >= 0) return;
    const Clock::time_point now = Clock::now();
    if (now < mNextStart) return;
    std::vector<std::string> vars = BridgeEnvironment();
    const std::string path = BridgePath(EnvironmentValue(vars, "DAVREL_JACK_BRIDGE"));
    if (path.empty())
    {
      gNoBridge.store(true);
      if (!mNoProgramSaid)
        ConsoleLog("MIDI: the JACK bridge (davrel-jack-bridge) is not beside the plug-in's library: no JACK ports\n");
      mNoProgramSaid = true;
      mNextStart = now + std::chrono::seconds(5);
      return;
    }
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0)
    {
      mNextStart = now + std::chrono::seconds(1);
      return;
    }
    const char* server = EnvironmentValue(vars, "DAVREL_JACK_SERVER");
    const std::string names[2] = {JackClientName("RtMidi Output Client", server),
                                  JackClientName("RtMidi Input Client", server)};
    std::vector<char*> envp;
    for (std::string& v : vars) envp.push_back(&v[0]);
    envp.push_back(nullptr);
    // The host's process id: the bridge ends with it (it checks its parent is still
    // that process once it has asked the kernel to tell it of its parent's end).
    std::string host = std::to_string((long)getpid());
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(names[0].c_str()),
                    const_cast<char*>(names[1].c_str()), &host[0], nullptr};
    // Its own socket and nothing else of the host's: a descriptor a host left
    // without close-on-exec (a listening socket) is not held by the bridge.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, 4);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    // A group of its own: the host's terminal's signals are not its.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int e = posix_spawn(&pid, path.c_str(), &actions, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(sv[1]);
    if (e != 0)
    {
      gNoBridge.store(true);
      close(sv[0]);
      if (!mNoProgramSaid) ConsoleLog("MIDI: the JACK bridge %s could not be started: %s\n", path.c_str(), strerror(e));
      mNoProgramSaid = true;
      mNextStart = now + std::chrono::seconds(5);
      return;
    }
    gNoBridge.store(false);
    mSock = sv[0];
    mPid = pid;
    gBridgePid.store(pid);
    gBridges.fetch_add(1);
    ++mBridgeNumber;
    mFirstWord = mWasReady = mServerWent = false;
    mLastWord = mWaitGivenUp = Clock::time_point();
    mLastHeard = now;
    mPingAt = Clock::time_point();
  }

  // Without clients, the outcome of the bridge's next try after the question
  // (clients opened, or no server: it tries every 100 ms): an earlier word, however
  // fresh, cannot tell of a server that came back since. Within a bound (a fresh
  // bridge's first, longer); a bridge whose try waits in a server that stands still
  // is not waited for again for a second.
  void AwaitFirstWord()
  {
    const Clock::time_point asked = Clock::now();
    unsigned pinged = 0;
    for (;;)
    {
      // A bridge that ended meanwhile (its server went) is followed by a fresh one.
      StartBridge();
      const Clock::time_point now = Clock::now();
      if (mSock < 0 || Live() || QuitSet() || mLastWord >= asked) return;
      // A bridge that has said "no server" says it again only for a try begun after
      // a ping (a fresh one says its first try's outcome unasked).
      if (mFirstWord && pinged != mBridgeNumber)
      {
        Header ping;
        ping.op = kPing;
        SendMessage(mSock, ping, std::string(), -1, true);
        pinged = mBridgeNumber;
      }
      if (now - mWaitGivenUp < std::chrono::seconds(1)) return;
      if (now >= asked + (mFirstWord ? kNextWord : kFirstWord))
      {
        mWaitGivenUp = now;
        gUnanswered.store(true);
        return;
      }
      Pump(50, 0, nullptr, nullptr);
    }
  }

  // The bridge's first word was not its hello with this build's version: it is
  // let go of, said once for each version met, and started again only after a while
  // (the bundle may be mended meanwhile).
  void OtherBuild(const Header& h)
  {
    std::string theirs = "no version";
    if (h.op == kHello)
    {
      theirs = "version " + std::to_string(h.value);
      if (h.value == (int64_t)kVersion)
        theirs += " with instance memory of " + std::to_string(h.value2) + " bytes (the plug-in's " +
                  std::to_string(SlotMemorySize()) + ")";
    }
    if (mOtherBuildSaid != theirs)
    {
      const std::string path = BridgePath(EnvironmentValue(BridgeEnvironment(), "DAVREL_JACK_BRIDGE"));
      ConsoleLog("MIDI: the JACK bridge %s is of another build (it says %s, the plug-in is version %u): no JACK ports\n",
                 path.c_str(), theirs.c_str(), kVersion);
      mOtherBuildSaid = theirs;
    }
    // Not killed: it may be inside JACK's library, whose machine-wide locks (its
    // metadata database's) a killed process leaves held for every JACK client. Its
    // socket's end ends it by itself, within a second.
    shutdown(mSock, SHUT_RDWR);
    for (int i = 0; i < 750 && waitpid(mPid, nullptr, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Ended(true);
    mNextStart = Clock::now() + std::chrono::seconds(5);
  }

  // The live epoch ends: its clients went with their server, or with the bridge.
  void EndEpoch()
  {
    if (mEpoch) gGone.store(mEpoch);
    mEpoch = 0;
    gEpoch.store(0);
    for (auto& s : mSlots)
      if (s)
      {
        s->name[0].clear();
        s->name[1].clear();
        s->bridge = 0;
        // Its port thread looks at once: its ports went with the epoch.
        if (s->mem)
        {
          s->mem->graphChanges.fetch_add(1);
          jackbridge::Wake(s->mem->portWord, s->mem->portSleeping);
        }
      }
  }

  // Ends a bridge that does not answer: its clients are left to its server, which
  // drops them with the process.
  void Kill(const char* why)
  {
    if (mSock < 0) return;
    kill(mPid, SIGKILL);
    if (mEpoch) gClosed.fetch_add(2);
    ConsoleLog("MIDI: the JACK bridge (pid %d) %s: it is ended, and a fresh one started\n", (int)mPid, why);
    Ended(true);
  }

  // The socket's end: the bridge has ended (or been ended). Said once.
  void Ended(bool killed)
  {
    close(mSock);
    mSock = -1;
    gBridgePid.store(0);
    if (mEpoch && !mServerWent) gBridgeLost.store(mEpoch);
    EndEpoch();
    // Gone from the process table within moments once its socket closed.
    int status = 0;
    pid_t reaped = 0;
    for (int i = 0; i < 100 && reaped == 0; ++i)
    {
      reaped = waitpid(mPid, &status, WNOHANG);
      if (reaped == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!killed)
    {
      if (mServerWent)
        ConsoleLog("MIDI: the JACK server went, and with it the JACK bridge (pid %d)\n", (int)mPid);
      else if (reaped == mPid && WIFSIGNALED(status))
        ConsoleLog("MIDI: the JACK bridge (pid %d) was ended by signal %d: a fresh one is started\n", (int)mPid,
                   WTERMSIG(status));
      else if (reaped == mPid && WIFEXITED(status))
        ConsoleLog("MIDI: the JACK bridge (pid %d) ended with status %d: a fresh one is started\n", (int)mPid,
                   WEXITSTATUS(status));
      else
        // Every end of its own is said first (kGone): this one came from outside.
        // A host that ignores SIGCHLD has its children's ends dropped by the kernel
        // unread, so which signal is not known.
        ConsoleLog("MIDI: the JACK bridge (pid %d) was ended by a signal (killed or crashed; the host's process "
                   "reaps its children unread): a fresh one is started\n",
                   (int)mPid);
    }
    // A bridge that never had clients (a broken program, a server that kept going
    // as it opened) is not started again at once: no storm of processes.
    const Clock::time_point now = Clock::now();
    if (mWasReady || killed)
      mRestartDelay = std::chrono::milliseconds(0);
    else
      mRestartDelay = std::min<std::chrono::milliseconds>(std::max<std::chrono::milliseconds>(
                                                              mRestartDelay * 2, std::chrono::milliseconds(100)),
                                                          std::chrono::milliseconds(5000));
    mNextStart = now + mRestartDelay;
    mPid = -1;
  }

  std::mutex mLock;
  std::condition_variable mDone;
  std::deque<std::shared_ptr<Job>> mJobs;
  std::thread mThread;
  pid_t mMaker = 0;  // the process that made the owner (a forked child is not it)
  bool mStarted = false, mQuit = false, mEnded = false;
  int mJobFd = -1, mQuitFd = -1;
  // The owner's thread only.
  int mSock = -1;
  pid_t mPid = -1;
  unsigned mBridgeNumber = 0;
  uint32_t mNextId = 0;
  unsigned mEpoch = 0, mEpochs = 0;
  bool mFirstWord = false, mWasReady = false, mServerWent = false;
  Clock::time_point mLastHeard, mPingAt, mNextStart, mLastWord, mWaitGivenUp;
  std::chrono::milliseconds mRestartDelay{0};
  std::shared_ptr<JackMidiSlot> mSlots[kSlots];
  bool mFullSaid = false, mNoProgramSaid = false;
  // The bridge (its number) whose hello came, and the last whose refusal of an
  // instance's memory was said; what the last bridge of another build said it was.
  unsigned mHelloFrom = 0, mRefusalSaid = 0;
  std::string mOtherBuildSaid;
};

// Made at the first use, never destroyed: its end is EndJackMidiOwner's.
Owner& TheOwner()
{
  static Owner* owner = new Owner;
  return *owner;
}

std::atomic<bool> gUsed{false};

// The process's end: made at the first use, after the console's logger (a static
// made as the library loads), so ended before it: the owner's last lines are written.
struct AtExit
{
  ~AtExit() { EndJackMidiOwner(); }
};

Owner& Used()
{
  static AtExit atExit;
  gUsed.store(true);
  return TheOwner();
}

} // namespace

namespace JackMidiOwner
{
void TakeEnvironment()
{
  std::vector<std::string> vars = CopyEnvironment();
  std::lock_guard<std::mutex> lock(gEnvironmentLock);
  gEnvironment.swap(vars);
}

unsigned Epoch() { return gEpoch.load(); }
bool EpochLives(unsigned epoch) { return epoch != 0 && gEpoch.load() == epoch && gGone.load() != epoch; }
bool Ask(std::function<void(unsigned)> job, const std::atomic<bool>& giveUp) { return Used().Ask(std::move(job), &giveUp); }
bool AskWithin(std::function<void(unsigned)> job, std::chrono::milliseconds bound)
{
  static const std::atomic<bool> never{false};
  return Used().Ask(std::move(job), &never, false, Clock::now() + bound);
}
void Post(std::function<void(unsigned)> job) { Used().Ask(std::move(job), nullptr); }
void WakeAskers()
{
  if (gUsed.load()) TheOwner().WakeAskers();
}
std::vector<std::string> Ports(bool input) { return TheOwner().Ports(input); }
bool Register(const std::shared_ptr<JackMidiSlot>& slot, bool input) { return TheOwner().Register(slot, input); }
bool Connect(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
{
  return TheOwner().Connect(slot, input, name);
}
void Disconnect(const std::shared_ptr<JackMidiSlot>& slot, bool input) { TheOwner().Disconnect(slot, input); }
bool Rename(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& shortName)
{
  return TheOwner().Rename(slot, input, shortName);
}
int Connected(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
{
  return TheOwner().Connected(slot, input, name);
}
void Release(std::shared_ptr<JackMidiSlot> slot)
{
  if (!slot || !gUsed.load()) return;
  TheOwner().Ask([slot](unsigned) { TheOwner().Release(slot); }, nullptr, false);
}
unsigned LastRefusal() { return gRefused.load(); }
bool BridgeLost(unsigned epoch) { return epoch != 0 && gBridgeLost.load() == epoch; }
bool NoBridge() { return gNoBridge.load(); }
bool Unanswered() { return gUnanswered.load(); }
int ClientsOpened() { return gOpened.load(); }
int ClientsClosed() { return gClosed.load(); }
int BridgePid() { return gBridgePid.load(); }
int BridgesStarted() { return gBridges.load(); }
} // namespace JackMidiOwner

void EndJackMidiOwner()
{
  if (gUsed.load()) TheOwner().End();
}
