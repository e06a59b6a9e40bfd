// restart-freeze: restarts the simulated synthesizer (the synth-sim program, a
// process of its own) again and again under a running port layer, and measures
// how long the JACK server stood still after each restart. Not a test: a driver
// for counting server freezes per N restarts before and after a change.
//
//   restart-freeze [--restarts N] [--gap MS] [--stop quit|term|kill] [--send MS]
//                  [--no-editor] [--overlap] [--external] [--freeze MS]
//
// --gap: the pause between the old synthesizer's end and the new one's start
// (default 50; -1 for one drawn from 0 to 100 each time). --stop: how the old one ends: "quit" on its standard input (it
// closes its client), SIGTERM or SIGKILL (its client is never closed). --send: the
// editor sends a message every MS (a request in flight when the synthesizer goes),
// 0 for none (default 20). --no-editor: the synthesizer restarts alone.
// --overlap: the new synthesizer starts while the old one may still be closing
// (gap after the old one is told to end, not after it ended). An old one that has
// not ended 3 s after it was told is killed and counted.
// --external: use the server JACK_DEFAULT_SERVER names (jack-testbed.sh run, or a
// jackd started by hand with other flags) instead of starting the test bed's.
// --freeze: a stall at least this long counts as a freeze (default 1000): of the
// server's frame time, or of a request to the server.
//
// Both are watched through a JACK client of the driver's own that is never
// activated (the frame time is read from the server's shared memory; it takes no
// part in the graph). Prints one line a restart and a summary; exit status 0.

#include "JackTestServer.h"
#include "plug/JackClientSettle.h"
#include "plug/MidiPortSelect.h"
#include "tests/midi/TestPlug.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <sys/wait.h>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// The MIDI tests' plug-in (the editor's port layer with the sends the adapter
// makes), counting what comes back instead of keeping it.
class Plug : public TestPlug
{
public:
  void ProcessMidiMsg(IMidiMsg*, bool) override { received.fetch_add(1); }
  std::atomic<long long> received{0};
};

// One synth-sim process, echoing, its output read on a thread of its own.
class Synth
{
public:
  bool Start(const std::string& program)
  {
    int in[2], out[2];
    if (pipe(in) || pipe(out)) return false;
    mPid = fork();
    if (mPid == 0)
    {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      execl(program.c_str(), program.c_str(), "--name", "Rudu", "--echo", (char*)nullptr);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    mStdin = in[1];
    mStdout = fdopen(out[0], "r");
    mReader = std::thread([this] { Read(); });
    const Clock::time_point t = Clock::now();
    while (!mReady.load() && !mEnded.load() && MsSince(t) < 30000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return mReady.load();
  }
  // Tells it to end; Reap waits.
  void End(const std::string& how)
  {
    if (how == "quit")
    {
      const char q[] = "quit\n";
      if (write(mStdin, q, sizeof q - 1) < 0) {}
    }
    else
      kill(mPid, how == "kill" ? SIGKILL : SIGTERM);
  }
  // False when it had not ended within boundMs: it is then killed (its JACK client
  // never closed, as a user's program that hangs in its closing and is killed).
  bool Reap(int boundMs)
  {
    int status;
    bool ended = false;
    const Clock::time_point t = Clock::now();
    while (!(ended = waitpid(mPid, &status, WNOHANG) == mPid) && MsSince(t) < boundMs)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!ended)
    {
      kill(mPid, SIGKILL);
      waitpid(mPid, &status, 0);
    }
    close(mStdin);
    if (mReader.joinable()) mReader.join();
    fclose(mStdout);
    return ended;
  }
  std::atomic<long long> received{0};

private:
  void Read()
  {
    char line[512];
    while (fgets(line, sizeof line, mStdout))
    {
      if (!strncmp(line, "ready ", 6)) mReady.store(true);
      if (!strncmp(line, "recv ", 5)) received.fetch_add(1);
    }
    mEnded.store(true);
  }
  pid_t mPid = -1;
  int mStdin = -1;
  FILE* mStdout = nullptr;
  std::thread mReader;
  std::atomic<bool> mReady{false}, mEnded{false};
};

// The longest time the server's frame counter stood still, and the longest a
// request to the server took (it asks for its own client's id, which the server's
// request thread answers under its engine lock), since the last Take.
class FrameWatch
{
public:
  bool Start()
  {
    jack_status_t status;
    JackClientOpening opening;
    mClient = jack_client_open(JackClientName("Freeze Watch").c_str(), JackNoStartServer, &status);
    if (!mClient) return false;
    mThread = std::thread([this] { Run(); });
    mAsker = std::thread([this] { Ask(); });
    return true;
  }
  ~FrameWatch()
  {
    mQuit.store(true);
    if (mThread.joinable()) mThread.join();
    if (mAsker.joinable()) mAsker.join();
    if (jack_client_t* c = mClient) CloseJackClientApart([c] { jack_client_close(c); });
  }
  long long Take() { return mLongest.exchange(0); }
  long long TakeRequest() { return mLongestRequest.exchange(0); }

private:
  static void Raise(std::atomic<long long>& longest, long long v)
  {
    long long l = longest.load();
    while (v > l && !longest.compare_exchange_weak(l, v)) {}
  }
  void Ask()
  {
    const std::string name = jack_get_client_name(mClient);
    while (!mQuit.load())
    {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const Clock::time_point t = Clock::now();
      mAsking.store(t.time_since_epoch().count());
      char* uuid = jack_get_uuid_for_client_name(mClient, name.c_str());
      mAsking.store(0);
      if (uuid) jack_free(uuid);
      Raise(mLongestRequest, MsSince(t));
    }
  }
  void Run()
  {
    jack_nframes_t last = jack_last_frame_time(mClient);
    Clock::time_point moved = Clock::now();
    while (!mQuit.load())
    {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const jack_nframes_t now = jack_last_frame_time(mClient);
      if (now != last)
      {
        last = now;
        moved = Clock::now();
      }
      Raise(mLongest, MsSince(moved));
      // A request still unanswered counts as it goes.
      const long long asking = mAsking.load();
      if (asking) Raise(mLongestRequest, MsSince(Clock::time_point(Clock::duration(asking))));
    }
  }
  jack_client_t* mClient = nullptr;
  std::thread mThread, mAsker;
  std::atomic<bool> mQuit{false};
  std::atomic<long long> mLongest{0}, mLongestRequest{0}, mAsking{0};
};

std::string SynthProgram()
{
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? (size_t)n : 0);
  return path.substr(0, path.rfind('/') + 1) + "synth-sim";
}

} // namespace

int main(int argc, char** argv)
{
  int restarts = 30, gapMs = 50, sendMs = 20, freezeMs = 1000;
  std::string stop = "quit";
  bool editor = true, external = false, overlap = false;
  for (int i = 1; i < argc; ++i)
  {
    const std::string a = argv[i];
    if (a == "--restarts" && i + 1 < argc) restarts = atoi(argv[++i]);
    else if (a == "--gap" && i + 1 < argc) gapMs = atoi(argv[++i]);
    else if (a == "--send" && i + 1 < argc) sendMs = atoi(argv[++i]);
    else if (a == "--freeze" && i + 1 < argc) freezeMs = atoi(argv[++i]);
    else if (a == "--stop" && i + 1 < argc) stop = argv[++i];
    else if (a == "--no-editor") editor = false;
    else if (a == "--overlap") overlap = true;
    else if (a == "--external") external = true;
    else
    {
      fprintf(stderr, "usage: restart-freeze [--restarts N] [--gap MS] [--stop quit|term|kill] [--send MS] "
                      "[--no-editor] [--overlap] [--external] [--freeze MS]\n");
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  JackTestServer server;
  std::string error;
  if (!external && !server.Start(&error))
  {
    fprintf(stderr, "restart-freeze: %s\n", error.c_str());
    return 1;
  }
  const std::string program = SynthProgram();
  std::unique_ptr<Synth> synth(new Synth);
  if (!synth->Start(program))
  {
    fprintf(stderr, "restart-freeze: %s did not start\n", program.c_str());
    return 1;
  }
  std::unique_ptr<FrameWatch> watch(new FrameWatch);
  if (!watch->Start())
  {
    fprintf(stderr, "restart-freeze: no JACK server\n");
    return 1;
  }
  std::unique_ptr<Plug> plug;
  std::atomic<bool> quit{false};
  std::atomic<long long> sent{0};
  std::thread sender;
  if (editor)
  {
    plug.reset(new Plug);
    plug->getExternalMIDIOutNames();
    plug->getExternalMIDIInNames();
    int out = 1, in = 1;
    const std::string server = JackClientName("Rudu");
    if (plug->setExternalMIDIOut(out, (server + ":MIDI In").c_str()) != 1 ||
        plug->setExternalMIDIIn(in, (server + ":MIDI Out").c_str()) != 1)
    {
      fprintf(stderr, "restart-freeze: the editor could not choose the synthesizer's ports\n");
      return 1;
    }
    if (sendMs > 0)
      sender = std::thread([&] {
        while (!quit.load())
        {
          IMidiMsg msg(0, 0xB0, 1, 2);
          if (plug->SendMidiMsg(&msg)) sent.fetch_add(1);
          std::this_thread::sleep_for(std::chrono::milliseconds(sendMs));
        }
      });
  }

  int freezes = 0, unreconnected = 0;
  long long longestStill = 0, reconnectSum = 0, longestStop = 0;
  int slowStops = 0, hungStops = 0;
  for (int r = 0; r < restarts; ++r)
  {
    const Clock::time_point t0 = Clock::now();
    watch->Take();
    watch->TakeRequest();
    synth->End(stop);
    std::unique_ptr<Synth> old;
    if (overlap)
      old = std::move(synth);
    else
    {
      if (!synth->Reap(3000)) ++hungStops;
      const long long stopMs = MsSince(t0);
      longestStop = std::max(longestStop, stopMs);
      if (stopMs > 100) ++slowStops;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(gapMs >= 0 ? gapMs : rand() % 101));
    synth.reset(new Synth);
    if (!synth->Start(program))
    {
      fprintf(stderr, "restart-freeze: restart %d: %s did not start\n", r + 1, program.c_str());
      break;
    }
    if (old && !old->Reap(3000)) ++hungStops;
    old.reset();
    // Reconnected once a message of the editor reaches the new synthesizer and its
    // echo comes back; without an editor, once the new one is up.
    long long reconnectMs = MsSince(t0);
    bool back = true;
    if (editor)
    {
      const long long before = plug->received.load();
      back = false;
      while (MsSince(t0) < 40000)
      {
        IMidiMsg msg(0, 0xB0, 3, 4);
        plug->SendMidiMsg(&msg);
        if (synth->received.load() > 0 && plug->received.load() > before)
        {
          back = true;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      reconnectMs = MsSince(t0);
    }
    // A freeze starts at or after the reconnection: look a while longer.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const long long still = std::max(watch->Take(), watch->TakeRequest());
    longestStill = std::max(longestStill, still);
    if (still >= freezeMs) ++freezes;
    if (!back) ++unreconnected;
    reconnectSum += reconnectMs;
    printf("restart %d: reconnected %s after %lld ms, server (frames or requests) still for at most "
           "%lld ms%s\n",
           r + 1, back ? "" : "NOT", reconnectMs, still, still >= freezeMs ? "  FREEZE" : "");
    fflush(stdout);
  }
  quit.store(true);
  if (sender.joinable()) sender.join();
  plug.reset();
  synth->End("quit");
  synth->Reap(10000);
  watch.reset();
  printf("restarts %d, stop %s, gap %d ms, editor %s: %d freezes (>= %d ms), %d not reconnected, longest stall %lld ms, "
         "mean reconnection %lld ms; the old synthesizer took %d times over 100 ms to end, at most %lld ms, and %d times "
         "had not ended after 3 s (killed)\n",
         restarts, stop.c_str(), gapMs, editor ? "yes" : "no", freezes, freezeMs, unreconnected, longestStill,
         restarts ? reconnectSum / restarts : 0, slowStops, longestStop, hungStops);
  WaitForJackClientClosings();
  return 0;
}
