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

JackMidiSlot::JackMidiSlot(std::shared_ptr<JackMidiServer> s)
  : mem(Make(&fd, &size)), in(InRing(mem)), server(std::move(s))
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

std::atomic<int> gOpened{0}, gClosed{0}, gBridges{0}, gRunning{0};

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
  JackMidiOwner::Server server;
  bool open = true;  // a bridge started first where none runs
  bool done = false;
  bool abandoned = false;  // its asker gave up before it ran: it never runs
};

// The servers named so far, each with the environment last copied for it on an
// instance's maker's thread (TakeEnvironment). Made at the first use, never
// destroyed: instances and the owner's thread may still hold them at the end.
struct Named
{
  JackMidiOwner::Server server;
  std::vector<std::string> environment;
};
std::mutex gEnvironmentLock;
std::vector<Named>& Servers()
{
  static std::vector<Named>* servers = new std::vector<Named>;
  return *servers;
}

std::vector<std::string> CopyEnvironment()
{
  std::vector<std::string> vars;
  for (char** v = environ; v && *v; ++v) vars.push_back(*v);
  return vars;
}

const char* EnvironmentValue(const std::vector<std::string>& vars, const char* name)
{
  const size_t n = strlen(name);
  for (const std::string& v : vars)
    if (v.compare(0, n, name) == 0 && v.size() > n && v[n] == '=') return v.c_str() + n + 1;
  return nullptr;
}

// The server's environment as its bridge gets it.
std::vector<std::string> BridgeEnvironment(const JackMidiOwner::Server& server)
{
  std::lock_guard<std::mutex> lock(gEnvironmentLock);
  for (const Named& n : Servers())
    if (n.server == server) return n.environment;
  return std::vector<std::string>();
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

// One server's bridge and the owner's thread that serves it: each has its own life
// (start, version, epochs, death, restart, replacement when stuck), its own
// questions and its own table of the slots whose memory it has, so a server that
// stands still holds up only its own instances' questions.
struct Bridge
{
  explicit Bridge(JackMidiOwner::Server s) : server(std::move(s)), jobFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  const JackMidiOwner::Server server;
  // Under the owner's lock: its questions, its thread (started at the first, it
  // starts every bridge of the server, which so ends with it: the kernel's word).
  std::deque<std::shared_ptr<Job>> jobs;
  const int jobFd;
  std::thread thread;
  bool started = false, ended = false;
  // Its thread's only (End's once it has joined it).
  int sock = -1;
  pid_t pid = -1;
  unsigned number = 0;  // of the running one: the process's count, never reused
  unsigned epoch = 0;
  bool firstWord = false, wasReady = false, serverWent = false;
  Clock::time_point lastHeard, pingAt, nextStart, lastWord, waitGivenUp;
  std::chrono::milliseconds restartDelay{0};
  std::shared_ptr<JackMidiSlot> slots[kSlots];
  bool fullSaid = false, noProgramSaid = false;
  // The bridge (its number) whose hello came, and the last whose refusal of an
  // instance's memory was said; what the last bridge of another build said it was.
  unsigned helloFrom = 0, refusalSaid = 0;
  std::string otherBuildSaid;
};

class Owner
{
public:
  Owner()
  {
    mMaker = getpid();
    mQuitFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }

  bool Ask(const JackMidiOwner::Server& server, std::function<void(unsigned)> job, const std::atomic<bool>* giveUp,
           bool open = true, Clock::time_point deadline = Clock::time_point::max())
  {
    // A child the host forked (a crash reporter, a scanner, a failed exec) has no
    // owner's thread and shares our descriptors: it asks nothing.
    if (!Maker() || !server) return false;
    auto j = std::make_shared<Job>();
    j->run = std::move(job);
    j->server = server;
    j->open = open;
    std::unique_lock<std::mutex> l(mLock);
    // An instance that closes asks nothing more: a question of its under way is
    // given up, and one not yet begun never runs, so its ports are not joined again
    // behind its release, nor the owner held up for it.
    if (mQuit || (giveUp && giveUp->load())) return false;
    Bridge& b = For(server);
    Start(b);
    b.jobs.push_back(j);
    Poke(b.jobFd);
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
  // (the quit's eventfd and the sockets are the parent's as well), and takes no
  // lock, which another thread of the parent may have held as it forked.
  void End()
  {
    if (!Maker()) return;
    std::unique_lock<std::mutex> l(mLock);
    if (mQuit) return;
    mQuit = true;
    Poke(mQuitFd);
    mDone.notify_all();
    const auto allEnded = [this] {
      for (auto& b : mBridges)
        if (b->started && !b->ended) return false;
      return true;
    };
    mDone.wait_for(l, std::chrono::milliseconds(250), allEnded);
    std::vector<Bridge*> ended;
    for (auto& b : mBridges)
      if (b->started && !b->ended)
      {
        // Never inside a call without bound: a thread this late is left to the
        // process's end, and its bridge sees its socket go with the process.
        b->thread.detach();
        ConsoleLog("MIDI: the JACK bridge's owner on the server %s has not ended within 250 ms: left to the "
                   "process's end\n",
                   b->server->name.c_str());
      }
      else if (b->started)
        ended.push_back(b.get());
    l.unlock();
    // Each bridge sees its socket's end and closes its clients by itself, given a
    // short while in all for it: a host started right after this one then opens its
    // clients on a server that is not still closing these.
    for (Bridge* b : ended)
    {
      b->thread.join();
      if (b->sock >= 0)
      {
        close(b->sock);
        b->sock = -1;
        gRunning.fetch_sub(1);
      }
    }
    const Clock::time_point end = Clock::now() + kEndWait;
    for (Bridge* b : ended)
      while (b->pid > 0 && waitpid(b->pid, nullptr, WNOHANG) == 0 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  // ---- the owner's thread ----

  static bool Live(const Bridge& b) { return b.epoch != 0 && b.server->gone.load() != b.epoch && b.sock >= 0; }

  std::vector<std::string> Ports(bool input)
  {
    std::vector<std::string> names;
    if (!tCurrent) return names;
    Bridge& b = *tCurrent;
    Header h;
    h.op = kPorts;
    h.dir = input ? 1 : 0;
    Header r;
    std::string text;
    if (!Live(b) || !Call(b, h, std::string(), -1, &r, &text) || r.value != 1) return names;
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
    if (!Of(slot)) return false;
    Bridge& b = *tCurrent;
    if (!Live(b) || !Hand(b, slot)) return false;
    if (!slot->name[d].empty()) return true;
    Header r;
    std::string text;
    if (!SlotCall(b, kRegister, slot, d, std::string(), &r, &text) || r.value != 1) return false;
    slot->name[d] = text;
    return true;
  }

  bool Connect(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
  {
    const int d = input ? 1 : 0;
    if (!Of(slot)) return false;
    Bridge& b = *tCurrent;
    if (!Live(b) || !Hand(b, slot)) return false;
    Header r;
    std::string text;
    if (!SlotCall(b, kConnect, slot, d, name, &r, &text)) return false;
    if (!text.empty()) slot->name[d] = text;
    return r.value == 1;
  }

  void Disconnect(const std::shared_ptr<JackMidiSlot>& slot, bool input)
  {
    const int d = input ? 1 : 0;
    if (!Of(slot)) return;
    Bridge& b = *tCurrent;
    Header r;
    std::string text;
    if (Live(b) && slot->bridge == b.number && !slot->name[d].empty())
      SlotCall(b, kDisconnect, slot, d, std::string(), &r, &text);
  }

  bool Rename(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& shortName)
  {
    const int d = input ? 1 : 0;
    if (!Of(slot)) return false;
    Bridge& b = *tCurrent;
    if (!Live(b) || !Hand(b, slot)) return false;
    Header r;
    std::string text;
    if (!SlotCall(b, kRename, slot, d, shortName, &r, &text) || r.value != 1) return false;
    slot->name[d] = text;
    return true;
  }

  int Connected(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
  {
    const int d = input ? 1 : 0;
    if (!Of(slot)) return -1;
    Bridge& b = *tCurrent;
    if (!Live(b) || slot->bridge != b.number || slot->name[d].empty()) return -1;
    Header r;
    std::string text;
    if (!SlotCall(b, kConnected, slot, d, name, &r, &text)) return -1;
    return (int)r.value;
  }

  void Release(const std::shared_ptr<JackMidiSlot>& slot)
  {
    if (!Of(slot)) return;
    Bridge& b = *tCurrent;
    long long left = 0;
    unsigned long long lost = 0;
    bool handed = false;
    if (Live(b) && slot->bridge == b.number && slot->index >= 0)
    {
      Header r;
      std::string text;
      handed = SlotCall(b, kRelease, slot, 0, std::string(), &r, &text);
      if (handed) left = r.value;
    }
    // No bridge has its memory (none lives, or the one that had it ended, killed
    // if it did not answer): no callback reads its sends any more, and what they
    // still hold is not sent. A host that ends leaves it to its bridge, which
    // writes out what it holds as it ends. What the last bridge had put into a
    // period it ended inside went nowhere: counted and said here (the port thread
    // has ended).
    if (!handed && !QuitSet())
    {
      SendRing sends = SendRingOf(slot->mem);
      lost = CountLostInPeriod(slot->mem, sends.Recover());
      left = sends.Clear();
    }
    if (slot->index >= 0 && b.slots[slot->index] == slot) b.slots[slot->index].reset();
    slot->index = -1;
    slot->bridge = 0;
    if (lost > 0) ConsoleLog("MIDI OUT: %llu messages lost with the JACK bridge that ended inside a period\n", lost);
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

  // Under mLock.
  void Start(Bridge& b)
  {
    if (b.started) return;
    b.started = true;
    b.thread = std::thread([this, &b] { Run(b); });
  }

  // A job's slot is its server's, whose bridge's thread runs it.
  static bool Of(const std::shared_ptr<JackMidiSlot>& slot) { return tCurrent && tCurrent->server == slot->server; }

  // The server's bridge record, made at its first use (no thread, no bridge
  // started yet): a second server costs nothing until an instance uses it. Under mLock.
  Bridge& For(const JackMidiOwner::Server& server)
  {
    for (auto& b : mBridges)
      if (b->server == server) return *b;
    mBridges.push_back(std::make_unique<Bridge>(server));
    return *mBridges.back();
  }

  void Run(Bridge& b)
  {
    // Named for a look at the process's threads (its idle wake-ups are counted so).
    pthread_setname_np(pthread_self(), "davrel jack own");
    tCurrent = &b;
    std::unique_lock<std::mutex> l(mLock);
    while (!mQuit)
    {
      if (b.jobs.empty())
      {
        l.unlock();
        Idle(b);
        l.lock();
        continue;
      }
      std::shared_ptr<Job> j = b.jobs.front();
      b.jobs.pop_front();
      if (j->abandoned) continue;
      l.unlock();
      if (j->open)
      {
        // What the bridge said meanwhile first: a server gone ends the epoch here,
        // and a fresh bridge is asked instead.
        Pump(b, 0, 0, nullptr, nullptr);
        AwaitFirstWord(b);
      }
      j->run(Live(b) ? b.epoch : 0);
      l.lock();
      j->done = true;
      mDone.notify_all();
    }
    b.ended = true;
    mDone.notify_all();
  }

  // Nothing to do: waits for a job, the bridge's word, or the end. No time-out
  // while the bridge is well: an idle process's owner never wakes.
  void Idle(Bridge& b)
  {
    pollfd fds[3] = {{b.jobFd, POLLIN, 0}, {mQuitFd, POLLIN, 0}, {b.sock, POLLIN, 0}};
    const int n = b.sock >= 0 ? 3 : 2;
    if (poll(fds, (nfds_t)n, -1) <= 0) return;
    if (fds[0].revents) Drain(b.jobFd);
    if (n == 3 && fds[2].revents) Pump(b, 0, 0, nullptr, nullptr);
  }

  // Reads what the bridge says for up to ms (0: what is there now). A reply with id
  // (non-zero) goes to *reply: true when it came. Waiting without an id, it returns
  // as soon as a try of the bridge's is told (clients, or no server).
  bool Pump(Bridge& b, int ms, uint32_t id, Header* reply, std::string* replyText)
  {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;)
    {
      if (b.sock < 0) return false;
      pollfd fds[2] = {{b.sock, POLLIN, 0}, {mQuitFd, POLLIN, 0}};
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
      const int got = ReceiveMessage(b.sock, &h, &text, &fd, true);
      if (fd >= 0) close(fd);
      if (got < 0 && errno == EPROTO)
      {
        // Its length words do not add up: nothing more of it is read.
        Kill(b, "sent a malformed message");
        return false;
      }
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
      {
        Ended(b, false);
        return false;
      }
      if (got < 0) continue;
      b.lastHeard = Clock::now();
      b.pingAt = Clock::time_point();
      if (b.helloFrom != b.number)
      {
        // Its first word says its build: one of another is not used at all.
        if (h.op != kHello || h.value != (int64_t)kVersion || h.value2 != (int64_t)SlotMemorySize())
        {
          OtherBuild(b, h);
          return false;
        }
        b.helloFrom = b.number;
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
          Kill(b, "sent a malformed message");
          return false;
        }
        b.server->unanswered.store(false);
        b.firstWord = true;
        b.lastWord = b.lastHeard;
        b.wasReady = true;
        // Epochs are numbered for the process: one of another server's is never live here.
        b.epoch = ++mEpochs;
        b.server->epoch.store(b.epoch);
        gOpened.fetch_add(2);
        if (!id && ms > 0) return false;
        break;
      case kNoServer:
        b.server->unanswered.store(false);
        b.firstWord = true;
        b.lastWord = b.lastHeard;
        b.server->refused.store((unsigned)h.value);
        if (!id && ms > 0) return false;
        break;
      case kGone:
        b.serverWent = true;
        EndEpoch(b);
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
  bool Call(Bridge& b, Header h, const std::string& text, int fd, Header* reply, std::string* replyText)
  {
    if (b.sock < 0) return false;
    h.id = ++mNextId;
    if (!SendMessage(b.sock, h, text, fd, true))
    {
      // A bridge that ended (with its server, most often) is read to its end first:
      // that end is said as it was, and its clients were not ours to count as closed.
      if (errno != EAGAIN && errno != EWOULDBLOCK) Pump(b, 0, 0, nullptr, nullptr);
      // Its socket full: it has read nothing for a long while.
      Kill(b, "took no request");
      return false;
    }
    const Clock::time_point asked = Clock::now();
    if (b.lastHeard < asked) b.lastHeard = asked;
    for (;;)
    {
      if (Pump(b, 250, h.id, reply, replyText)) return true;
      if (b.sock < 0 || QuitSet()) return false;
      const Clock::time_point now = Clock::now();
      if (b.pingAt == Clock::time_point() && now - b.lastHeard > kPingAfter)
      {
        Header ping;
        ping.op = kPing;
        b.pingAt = now;
        if (!SendMessage(b.sock, ping, std::string(), -1, true)) b.pingAt = now - kStuckAfter;
      }
      else if (b.pingAt != Clock::time_point() && now - b.pingAt >= kStuckAfter)
      {
        Kill(b, "did not answer for 3 s");
        return false;
      }
    }
  }

  bool SlotCall(Bridge& b, Op op, const std::shared_ptr<JackMidiSlot>& slot, int d, const std::string& text, Header* r,
                std::string* replyText)
  {
    Header h;
    h.op = op;
    h.slot = slot->index;
    h.dir = d;
    return Call(b, h, text, -1, r, replyText);
  }

  bool QuitSet()
  {
    std::lock_guard<std::mutex> l(mLock);
    return mQuit;
  }

  // The slot in its bridge's table and its memory with the live bridge.
  bool Hand(Bridge& b, const std::shared_ptr<JackMidiSlot>& slot)
  {
    if (!slot->Shared()) return false;
    if (slot->bridge == b.number && slot->index >= 0) return true;
    if (slot->index < 0)
    {
      for (int i = 0; i < kSlots && slot->index < 0; ++i)
        if (!b.slots[i])
        {
          b.slots[i] = slot;
          slot->index = i;
        }
      if (slot->index < 0)
      {
        if (!b.fullSaid)
          ConsoleLog("MIDI: more than %d instances use JACK ports on the server %s at once: the next get none\n",
                     kSlots, b.server->name.c_str());
        b.fullSaid = true;
        return false;
      }
    }
    Header h, r;
    std::string text;
    h.op = kAddSlot;
    h.slot = slot->index;
    if (!Call(b, h, std::string(), slot->fd, &r, &text)) return false;
    if (r.value != 1)
    {
      if (b.refusalSaid != b.number)
        ConsoleLog("MIDI: the JACK bridge (pid %d) refused an instance's memory (%s): the instance gets no JACK ports\n",
                   (int)b.pid, text.empty() ? "no reason given" : text.c_str());
      b.refusalSaid = b.number;
      return false;
    }
    slot->bridge = b.number;
    slot->name[0].clear();
    slot->name[1].clear();
    return true;
  }

  // The server's bridge program, once none runs (not more often than its last end
  // allows), with the environment of the latest instance made on that server.
  void StartBridge(Bridge& b)
  {
    if (b.sock >= 0) return;
    const Clock::time_point now = Clock::now();
    if (now < b.nextStart) return;
    std::vector<std::string> vars = BridgeEnvironment(b.server);
    const std::string path = BridgePath(EnvironmentValue(vars, "DAVREL_JACK_BRIDGE"));
    if (path.empty())
    {
      b.server->noBridge.store(true);
      if (!b.noProgramSaid)
        ConsoleLog("MIDI: the JACK bridge (davrel-jack-bridge) is not beside the plug-in's library: no JACK ports\n");
      b.noProgramSaid = true;
      b.nextStart = now + std::chrono::seconds(5);
      return;
    }
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0)
    {
      b.nextStart = now + std::chrono::seconds(1);
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
    // without close-on-exec (a listening socket, another bridge's socket) is not
    // held by the bridge.
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
      b.server->noBridge.store(true);
      close(sv[0]);
      if (!b.noProgramSaid)
        ConsoleLog("MIDI: the JACK bridge %s could not be started: %s\n", path.c_str(), strerror(e));
      b.noProgramSaid = true;
      b.nextStart = now + std::chrono::seconds(5);
      return;
    }
    b.server->noBridge.store(false);
    b.sock = sv[0];
    b.pid = pid;
    b.server->bridgePid.store(pid);
    gBridges.fetch_add(1);
    gRunning.fetch_add(1);
    b.number = ++mBridgeNumbers;
    b.firstWord = b.wasReady = b.serverWent = false;
    b.lastWord = b.waitGivenUp = Clock::time_point();
    b.lastHeard = now;
    b.pingAt = Clock::time_point();
  }

  // Without clients, the outcome of the bridge's next try after the question
  // (clients opened, or no server: it tries every 100 ms): an earlier word, however
  // fresh, cannot tell of a server that came back since. Within a bound (a fresh
  // bridge's first, longer); a bridge whose try waits in a server that stands still
  // is not waited for again for a second.
  void AwaitFirstWord(Bridge& b)
  {
    const Clock::time_point asked = Clock::now();
    unsigned pinged = 0;
    for (;;)
    {
      // A bridge that ended meanwhile (its server went) is followed by a fresh one.
      StartBridge(b);
      const Clock::time_point now = Clock::now();
      if (b.sock < 0 || Live(b) || QuitSet() || b.lastWord >= asked) return;
      // A bridge that has said "no server" says it again only for a try begun after
      // a ping (a fresh one says its first try's outcome unasked).
      if (b.firstWord && pinged != b.number)
      {
        Header ping;
        ping.op = kPing;
        SendMessage(b.sock, ping, std::string(), -1, true);
        pinged = b.number;
      }
      if (now - b.waitGivenUp < std::chrono::seconds(1)) return;
      if (now >= asked + (b.firstWord ? kNextWord : kFirstWord))
      {
        b.waitGivenUp = now;
        b.server->unanswered.store(true);
        return;
      }
      Pump(b, 50, 0, nullptr, nullptr);
    }
  }

  // The bridge's first word was not its hello with this build's version: it is
  // let go of, said once for each version met, and started again only after a while
  // (the bundle may be mended meanwhile).
  void OtherBuild(Bridge& b, const Header& h)
  {
    std::string theirs = "no version";
    if (h.op == kHello)
    {
      theirs = "version " + std::to_string(h.value);
      if (h.value == (int64_t)kVersion)
        theirs += " with instance memory of " + std::to_string(h.value2) + " bytes (the plug-in's " +
                  std::to_string(SlotMemorySize()) + ")";
    }
    if (b.otherBuildSaid != theirs)
    {
      const std::string path = BridgePath(EnvironmentValue(BridgeEnvironment(b.server), "DAVREL_JACK_BRIDGE"));
      ConsoleLog("MIDI: the JACK bridge %s is of another build (it says %s, the plug-in is version %u): no JACK ports\n",
                 path.c_str(), theirs.c_str(), kVersion);
      b.otherBuildSaid = theirs;
    }
    // Not killed: it may be inside JACK's library, whose machine-wide locks (its
    // metadata database's) a killed process leaves held for every JACK client. Its
    // socket's end ends it by itself, within a second.
    shutdown(b.sock, SHUT_RDWR);
    for (int i = 0; i < 750 && waitpid(b.pid, nullptr, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Ended(b, true);
    b.nextStart = Clock::now() + std::chrono::seconds(5);
  }

  // The live epoch ends: its clients went with their server, or with the bridge.
  // Only this server's slots lose their ports.
  void EndEpoch(Bridge& b)
  {
    if (b.epoch) b.server->gone.store(b.epoch);
    b.epoch = 0;
    b.server->epoch.store(0);
    for (auto& s : b.slots)
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
  void Kill(Bridge& b, const char* why)
  {
    if (b.sock < 0) return;
    kill(b.pid, SIGKILL);
    if (b.epoch) gClosed.fetch_add(2);
    ConsoleLog("MIDI: the JACK bridge (pid %d) %s: it is ended, and a fresh one started\n", (int)b.pid, why);
    Ended(b, true);
  }

  // The socket's end: the bridge has ended (or been ended). Said once.
  void Ended(Bridge& b, bool killed)
  {
    close(b.sock);
    b.sock = -1;
    gRunning.fetch_sub(1);
    b.server->bridgePid.store(0);
    if (b.epoch && !b.serverWent) b.server->bridgeLost.store(b.epoch);
    EndEpoch(b);
    // Gone from the process table within moments once its socket closed.
    int status = 0;
    pid_t reaped = 0;
    for (int i = 0; i < 100 && reaped == 0; ++i)
    {
      reaped = waitpid(b.pid, &status, WNOHANG);
      if (reaped == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!killed)
    {
      if (b.serverWent)
        ConsoleLog("MIDI: the JACK server went, and with it the JACK bridge (pid %d)\n", (int)b.pid);
      else if (reaped == b.pid && WIFSIGNALED(status))
        ConsoleLog("MIDI: the JACK bridge (pid %d) was ended by signal %d: a fresh one is started\n", (int)b.pid,
                   WTERMSIG(status));
      else if (reaped == b.pid && WIFEXITED(status))
        ConsoleLog("MIDI: the JACK bridge (pid %d) ended with status %d: a fresh one is started\n", (int)b.pid,
                   WEXITSTATUS(status));
      else
        // Every end of its own is said first (kGone): this one came from outside.
        // A host that ignores SIGCHLD has its children's ends dropped by the kernel
        // unread, so which signal is not known.
        ConsoleLog("MIDI: the JACK bridge (pid %d) was ended by a signal (killed or crashed; the host's process "
                   "reaps its children unread): a fresh one is started\n",
                   (int)b.pid);
    }
    // A bridge that never had clients (a broken program, a server that kept going
    // as it opened) is not started again at once: no storm of processes.
    const Clock::time_point now = Clock::now();
    if (b.wasReady || killed)
      b.restartDelay = std::chrono::milliseconds(0);
    else
      b.restartDelay = std::min<std::chrono::milliseconds>(
          std::max<std::chrono::milliseconds>(b.restartDelay * 2, std::chrono::milliseconds(100)),
          std::chrono::milliseconds(5000));
    b.nextStart = now + b.restartDelay;
    b.pid = -1;
  }

  std::mutex mLock;
  std::condition_variable mDone;
  pid_t mMaker = 0;  // the process that made the owner (a forked child is not it)
  bool mQuit = false;
  int mQuitFd = -1;
  // A bridge per server used (under mLock; each record is its thread's), and the
  // bridge of the thread that runs.
  std::vector<std::unique_ptr<Bridge>> mBridges;
  static thread_local Bridge* tCurrent;
  // Numbered for the process: one of another server's is never taken for its own.
  std::atomic<unsigned> mBridgeNumbers{0}, mEpochs{0};
  std::atomic<uint32_t> mNextId{0};
};

thread_local Bridge* Owner::tCurrent = nullptr;

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
Server TakeEnvironment()
{
  std::vector<std::string> vars = CopyEnvironment();
  // As JACK's library reads it: unset is the server named "default".
  const char* named = EnvironmentValue(vars, "JACK_DEFAULT_SERVER");
  const std::string name = named ? named : "default";
  std::lock_guard<std::mutex> lock(gEnvironmentLock);
  for (Named& n : Servers())
    if (n.server->name == name)
    {
      n.environment.swap(vars);
      return n.server;
    }
  Servers().push_back(Named{std::make_shared<JackMidiServer>(name), std::move(vars)});
  return Servers().back().server;
}

namespace {
Server Or(const Server& server) { return server ? server : TakeEnvironment(); }
} // namespace

unsigned Epoch(const Server& server) { return Or(server)->epoch.load(); }
bool EpochLives(const Server& server, unsigned epoch)
{
  return server && epoch != 0 && server->epoch.load() == epoch && server->gone.load() != epoch;
}
bool Ask(const Server& server, std::function<void(unsigned)> job, const std::atomic<bool>& giveUp)
{
  return Used().Ask(server, std::move(job), &giveUp);
}
bool AskWithin(std::function<void(unsigned)> job, std::chrono::milliseconds bound, const Server& server)
{
  static const std::atomic<bool> never{false};
  return Used().Ask(Or(server), std::move(job), &never, false, Clock::now() + bound);
}
void Post(std::function<void(unsigned)> job, const Server& server) { Used().Ask(Or(server), std::move(job), nullptr); }
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
  const Server server = slot->server;
  TheOwner().Ask(server, [slot](unsigned) { TheOwner().Release(slot); }, nullptr, false);
}
unsigned LastRefusal(const Server& server) { return Or(server)->refused.load(); }
bool BridgeLost(const Server& server, unsigned epoch)
{
  return server && epoch != 0 && server->bridgeLost.load() == epoch;
}
bool NoBridge(const Server& server) { return server && server->noBridge.load(); }
bool Unanswered(const Server& server) { return server && server->unanswered.load(); }
int ClientsOpened() { return gOpened.load(); }
int ClientsClosed() { return gClosed.load(); }
int BridgePid(const Server& server) { return Or(server)->bridgePid.load(); }
int BridgesStarted() { return gBridges.load(); }
int BridgesRunning() { return gRunning.load(); }
} // namespace JackMidiOwner

void EndJackMidiOwner()
{
  if (gUsed.load()) TheOwner().End();
}
