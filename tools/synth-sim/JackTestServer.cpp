#include "JackTestServer.h"

#include <atomic>

#include "plug/MidiPortSelect.h"

#include <jack/jack.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

// The server name: DAVREL_JACK_SERVER, else davrel-test-0. JACK names a client's
// notification socket after the client alone (/dev/shm/jack_CLIENT_UID_0), so two
// test processes whose clients share a name ("RtMidi Input Client") break each other
// even on different servers: the processes of one name take turns through its lock,
// and those of another name give their clients that name (JackClientName).
const char* const kDefaultName = "davrel-test-0";

// Letters, digits, '.', '_' and '-', at most 32: it goes into file and client names.
bool ValidServerName(const std::string& name)
{
  if (name.empty() || name.size() > 32) return false;
  for (char c : name)
    if (!isalnum((unsigned char)c) && c != '.' && c != '_' && c != '-') return false;
  return true;
}

typedef std::chrono::steady_clock Clock;

void SetError(std::string* error, const std::string& text)
{
  if (error) *error = text;
}

bool IsJackd(pid_t pid, const std::string& name)
{
  std::ifstream f("/proc/" + std::to_string(pid) + "/cmdline");
  std::string cmd((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  return cmd.find("jackd") != std::string::npos && cmd.find(name) != std::string::npos;
}

// Waits for our own child with a bound; true when it is gone.
bool Reap(pid_t pid, int ms)
{
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  for (;;)
  {
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// A server of this name left by a run that died (its pid file says which).
void StopStale(const std::string& pidPath, const std::string& name)
{
  std::ifstream f(pidPath);
  pid_t pid = 0;
  if (!(f >> pid) || pid <= 0 || !IsJackd(pid, name)) return;
  kill(pid, SIGTERM);
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (IsJackd(pid, name) && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (IsJackd(pid, name)) kill(pid, SIGKILL);
}

// Where jackd listens for clients (jack2 on Linux).
std::string JackServerSocket(const std::string& name)
{
  return "/dev/shm/jack_" + name + "_" + std::to_string(getuid()) + "_0";
}

} // namespace

std::string JackTestServer::ServerName()
{
  const char* name = getenv("DAVREL_JACK_SERVER");
  return name && *name ? name : kDefaultName;
}

std::string JackTestServer::SecondName()
{
  const char* name = getenv("DAVREL_JACK_SERVER2");
  return name && *name ? name : ServerName() + "-2";
}

std::string JackTestServer::StateDir()
{
  if (const char* d = getenv("DAVREL_JACK_DIR")) return d;
  const char* tmp = getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/davrel-jack";
}

bool JackTestServer::Start(std::string* error, int lockSeconds)
{
  if (Running()) return true;
  const std::string name = mWanted.empty() ? ServerName() : mWanted;
  if (!ValidServerName(name))
  {
    SetError(error, "DAVREL_JACK_SERVER \"" + name + "\" is no test server name (letters, digits, . _ -, at most 32)");
    return false;
  }
  const std::string dir = StateDir();
  mkdir(dir.c_str(), 0777);
  const int fd = open((dir + "/" + name + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
  {
    SetError(error, "cannot open lock file in " + dir + ": " + strerror(errno));
    return false;
  }
  const auto end = Clock::now() + std::chrono::seconds(lockSeconds);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0)
  {
    if (Clock::now() > end)
    {
      close(fd);
      SetError(error, "the JACK test server " + name + " stayed in use");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  mLockFd = fd;
  mName = name;
  if (!Launch(error))
  {
    Stop();
    return false;
  }
  return true;
}

bool JackTestServer::Launch(std::string* error)
{
  // A server of the same name that is still shutting down makes jackd refuse to
  // start ("server already active"): try again a few times.
  for (int attempt = 0; attempt < 5; ++attempt)
  {
    bool retry = false;
    if (LaunchOnce(error, &retry)) return true;
    if (!retry) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200 * (attempt + 1)));
  }
  return false;
}

bool JackTestServer::LaunchOnce(std::string* error, bool* retry, bool probe)
{
  const std::string dir = StateDir();
  const std::string pidPath = dir + "/" + mName + ".pid";
  const std::string logPath = dir + "/" + mName + ".log";
  StopStale(pidPath, mName);
  // The waker of a try whose server exited at its start (another one follows).
  if (mWaker.joinable()) mWaker.join();

  const pid_t parent = getpid();
  const std::string period = std::to_string(mPeriodFrames);  // no allocation after fork
  const bool verbose = mVerbose;
  const bool async = mAsynchronous;
  const pid_t pid = fork();
  if (pid < 0)
  {
    SetError(error, std::string("fork: ") + strerror(errno));
    return false;
  }
  if (pid == 0)
  {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    // A restarted server's log follows its forerunner's.
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | (probe ? O_TRUNC : O_APPEND), 0666);
    if (log >= 0)
    {
      dup2(log, 1);
      dup2(log, 2);
    }
    const int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    // A session of its own (jackd makes one anyway), whose scheduling group gets an
    // audio server's weight against the tests' and everything else's: its request
    // thread, which answers every client's call, was seen waiting 26 s for a
    // processor in 25 s on a machine whose every core was busy. Ignored where the
    // system has no such groups or forbids it.
    setsid();
    const int group = open("/proc/self/autogroup", O_WRONLY);
    if (group >= 0)
    {
      if (write(group, "-10\n", 4) < 0) {}
      close(group);
    }
    // Synchronous (-S), as a cable is: a client late in its period delays the next
    // period instead of having its input overwritten by it, which loses messages.
    // It waits 10 times the client time-out (-t, ms) for that, by default only
    // 20 periods.
    std::vector<const char*> argv = {"jackd"};
    if (verbose) argv.push_back("-v");
    if (!async) argv.push_back("-S");
    for (const char* a : {"-t", "2000", "-n", mName.c_str(), "-d", "dummy", "-r", "48000", "-p", period.c_str()})
      argv.push_back(a);
    argv.push_back(nullptr);
    execvp("jackd", const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  mPid = pid;
  {
    std::ofstream f(pidPath);
    f << pid << "\n";
  }
  setenv("JACK_DEFAULT_SERVER", mName.c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  if (mStartStoppedMs > 0)
  {
    // Stopped once its socket is there, so that clients reach a server that does
    // not answer yet; continued on a thread of its own.
    const std::string socket = JackServerSocket(mName);
    const auto listening = Clock::now() + std::chrono::seconds(5);
    struct stat st;
    while (stat(socket.c_str(), &st) != 0 && Clock::now() < listening)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    kill(pid, SIGSTOP);
    mWaker = std::thread([pid, ms = mStartStoppedMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      kill(pid, SIGCONT);
    });
  }
  if (!probe) return true;
  if (mListenOnly)
  {
    const std::string socket = JackServerSocket(mName);
    const auto end = Clock::now() + std::chrono::seconds(30);
    struct stat st;
    while (stat(socket.c_str(), &st) != 0)
    {
      const bool exited = waitpid(mPid, nullptr, WNOHANG) == mPid;
      if (exited || Clock::now() > end)
      {
        if (exited) mPid = -1;
        SetError(error, "jackd " + mName + " did not listen within 30 s (see " + logPath + ")");
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // Probing is safe only now, before any client of the test exists. The bound is
  // for a starved machine, where a server's first answers take seconds.
  const auto end = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < end)
  {
    if (waitpid(mPid, nullptr, WNOHANG) == mPid)
    {
      mPid = -1;
      unlink(pidPath.c_str());
      *retry = true;
      SetError(error, "jackd " + mName + " exited at start (see " + logPath + ")");
      return false;
    }
    jack_status_t js;
    jack_client_t* probe = jack_client_open(JackClientName("davrel-probe").c_str(),
                                            (jack_options_t)(JackNoStartServer | JackServerName), &js, mName.c_str());
    if (probe)
    {
      // The client must have reached our server, not one that was on its way out.
      if (waitpid(mPid, nullptr, WNOHANG) == mPid)
      {
        jack_client_close(probe);
        mPid = -1;
        unlink(pidPath.c_str());
        *retry = true;
        SetError(error, "jackd " + mName + " exited at start (see " + logPath + ")");
        return false;
      }
      mProbe = probe;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  SetError(error, "jackd " + mName + " did not take clients within 30 s");
  return false;
}

void JackTestServer::Halt()
{
  // Its server goes: JACK's library frees it at the next opening, so it is never
  // closed (nor called) again.
  mProbe = nullptr;
  StopServer();
}

bool JackTestServer::Restart(std::string* error)
{
  if (mLockFd < 0) return Start(error);
  Halt();
  bool retry = false;
  for (int attempt = 0; attempt < 5; ++attempt)
  {
    if (LaunchOnce(error, &retry, false)) return true;
    if (!retry) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200 * (attempt + 1)));
  }
  return false;
}

namespace {
std::atomic<unsigned> gGeneration{0};
}

unsigned JackTestServer::Generation() { return gGeneration.load(); }

void JackTestServer::StopServer()
{
  if (mPid > 0)
  {
    // A server no client of this process was on frees none of them.
    if (!mListenOnly) gGeneration.fetch_add(1);
    kill(mPid, SIGCONT);
    kill(mPid, SIGTERM);
    if (!Reap(mPid, 5000))
    {
      kill(mPid, SIGKILL);
      Reap(mPid, 5000);
    }
    mPid = -1;
    unlink((StateDir() + "/" + mName + ".pid").c_str());
  }
  if (mWaker.joinable()) mWaker.join();
}

void JackTestServer::Stop()
{
  if (mProbe)
  {
    jack_client_close(mProbe);
    mProbe = nullptr;
  }
  // The test's own clients close before the server stops. The port layer's JACK
  // owner keeps its clients until the process ends: the entry a server stopped
  // under them leaves in the registry is taken over by the next server of the name,
  // which finds the old one dead.
  StopServer();
  if (mLockFd >= 0)
  {
    close(mLockFd);
    mLockFd = -1;
  }
}
