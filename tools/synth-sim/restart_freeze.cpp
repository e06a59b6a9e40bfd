// restart-freeze: restarts the simulated synthesizer (the synth-sim program, a
// process of its own) again and again under a running port layer, and measures
// how long the JACK server stood still after each restart. Not a test: a driver
// for counting server freezes per N restarts before and after a change.
//
//   restart-freeze [--restarts N] [--gap MS] [--stop quit|term|kill] [--send MS]
//                  [--editor [--time-scale X] | --no-editor] [--overlap] [--external]
//                  [--freeze MS] [--server [--slow-start MS] [--probe] [--verbose]]
//
// --gap: the pause between the old synthesizer's end and the new one's start
// (default 50; -1 for one drawn from 0 to 100 each time). --stop: how the old one ends: "quit" on its standard input (it
// closes its client), SIGTERM or SIGKILL (its client is never closed). --send: the
// editor sends a message every MS (a request in flight when the synthesizer goes),
// 0 for none (default 20). By default the port layer is the MIDI tests' plug-in's
// and the synthesizer echoes. --editor: the editor itself, as its program runs it,
// against a synthesizer that answers as the hardware does (synth-sim --answer);
// once its ports are back it asks for the current program (the Request button)
// and sends the global settings (the global page left), and the reconnection
// counts once the program's dump has arrived; --time-scale runs the editor's own
// waits (between a request's steps, for an answer) X times as long, as the tests
// do (default 1). --no-editor: the synthesizer
// restarts alone.
// --overlap: the new synthesizer starts while the old one may still be closing
// (gap after the old one is told to end, not after it ended). An old one that has
// not ended 3 s after it was told is killed and counted.
// --external: use the server JACK_DEFAULT_SERVER names (jack-testbed.sh run, or a
// jackd started by hand with other flags) instead of starting the test bed's.
// --freeze: a stall at least this long counts as a freeze (default 1000): of the
// server's frame time, or of a request to the server.
//
// --server: the JACK server restarts too (stopped under the clients, as a user
// restarting it does, after the synthesizer quit), and the reconnection counts from
// the moment the new server took the new synthesizer's client; the summary says
// how many reconnected within a second of that. --slow-start: each new server stands
// still MS (stopped) once it listens. --verbose: jackd's verbose log in the test
// bed's log file (DAVREL_JACK_DIR/NAME.log). The server is not watched for freezes
// then: a reconnection that waits is one.
// The process's resident memory is said at the end, its growth a restart too.
//
// Both are watched through a JACK client of the driver's own that is never
// activated (the frame time is read from the server's shared memory; it takes no
// part in the graph). Prints one line a restart and a summary; exit status 0.

#include "JackTestServer.h"
#include "config/ParamIds.h"
#include "editor/Davrel.h"
#include "hardware/MIDIMessageManager.h"
#include "plug/IParam.h"
#include "plug/MidiPortSelect.h"
#include "tests/midi/TestPlug.h"
#include "winsys/kernel.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <sys/wait.h>

IPlugAU* MakePlug() { return nullptr; }

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

// What the restarts run under: a plug-in's port layer with the synthesizer's
// ports chosen, what it sends and what comes back.
class Side
{
public:
  virtual ~Side() {}
  virtual bool Choose(const std::string& out, const std::string& in) = 0;
  virtual void Send(int control) = 0;
  virtual long long Received() = 0;
  virtual bool PortsBack() = 0;
  // Called every 10 ms once the ports are back, until an answer came: what the
  // user does then.
  virtual void Back() {}
  virtual void Restarted() {}
  // Whatever Back does is done.
  virtual bool Done() { return true; }
};

class TestSide : public Side
{
public:
  bool Choose(const std::string& out, const std::string& in) override
  {
    plug.getExternalMIDIOutNames();
    plug.getExternalMIDIInNames();
    int o = 1, i = 1;
    return plug.setExternalMIDIOut(o, out.c_str()) == 1 && plug.setExternalMIDIIn(i, in.c_str()) == 1;
  }
  void Send(int control) override
  {
    IMidiMsg msg(0, 0xB0, control, 2);
    plug.SendMidiMsg(&msg);
  }
  long long Received() override { return plug.received.load(); }
  bool PortsBack() override { return !plug.MidiOutPortMissing() && !plug.MidiInPortMissing(); }

private:
  Plug plug;
};

// The editor, its parameters set as its host sets them (under the plug-in's mutex),
// counting the system-exclusive messages that reach it from the synthesizer.
class Editor : public Davrel
{
public:
  Editor() : Davrel(DavrelInstanceInfo()) {}
  ~Editor() override { stopThreads(); }
  void ProcessSysEx(ISysEx* m, bool fromDevice) override
  {
    if (fromDevice) dumps.fetch_add(1);
    Davrel::ProcessSysEx(m, fromDevice);
  }
  void Set(int param, double value)
  {
    WDL_MutexLock lock(&mMutex);
    GetParam(param)->Set(value);
    OnParamChange(param);
  }
  // The menu entry of that port name, as a user picks it.
  bool Pick(int param, const std::string& name)
  {
    int entry = -1;
    {
      WDL_MutexLock lock(&mMutex);
      IParam* p = GetParam(param);
      for (int i = 0; i < p->GetNDisplayTexts(); ++i)
        if (name == p->GetDisplayText(i)) entry = i;
    }
    if (entry <= 0) return false;
    Set(param, entry);
    return true;
  }
  void Move(int control)
  {
    WDL_MutexLock lock(&mMutex);
    IMidiMsg msg(0, 0xB0, control, 2);
    sendMidiMsgAndLog(&msg);
  }
  std::atomic<long long> dumps{0};
};

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

class EditorSide : public Side
{
public:
  EditorSide()
  {
    char dir[] = "/tmp/restart-freeze-XXXXXX";
    if (mkdtemp(dir)) mData = dir;
    // The editor's settings, banks and log stay in a folder of the run's own.
    setenv("DAVREL_DATA_DIR", mData.c_str(), 1);
    editor.reset(new Editor);
    editor->ReadMidiPortListsAhead();  // as the factory does, once the editor is whole
  }
  ~EditorSide() override
  {
    editor.reset();
    if (!mData.empty()) nftw(mData.c_str(), &RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
  bool Choose(const std::string& out, const std::string& in) override
  {
    // The menus as a user sees them: built again at an idle once the lists are read.
    for (int i = 0; i < 1000 && !editor->MidiPortListsRead(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    {
      WDL_MutexLock lock(&editor->mMutex);
      editor->OnIdle();
    }
    return editor->Pick(kDeviceOutSelection, out) && editor->Pick(kDeviceInSelection, in);
  }
  void Send(int control) override { editor->Move(control); }
  long long Received() override { return editor->dumps.load(); }
  bool PortsBack() override { return !editor->MidiOutPortMissing() && !editor->MidiInPortMissing(); }
  // Once the editor's jobs are idle: the Request button pressed and let go (pressed
  // again should no dump have come 2 s after), then, with the program's dump in,
  // the global page left (the global settings sent).
  void Back() override
  {
    if (mStep == 2 || !editor->midiMessageManager->waitIdle(kTransferThread, 0)) return;
    if (mStep == 1 && editor->dumps.load() > mDumpsAtPress)
    {
      editor->Set(kGlobalSettings, 1);
      editor->Set(kGlobalSettings, 0);
      mStep = 2;
    }
    else if (mStep == 0 || MsSince(mPressed) > 2000)
    {
      mDumpsAtPress = editor->dumps.load();
      editor->Set(kRequestTempData, 1);
      editor->Set(kRequestTempData, 0);
      mPressed = Clock::now();
      mStep = 1;
    }
  }
  bool Done() override { return mStep == 2; }
  void Restarted() override { mStep = 0; }


private:
  int mStep = 0;
  long long mDumpsAtPress = 0;
  Clock::time_point mPressed;
  std::string mData;
  std::unique_ptr<Editor> editor;
};

// One synth-sim process, echoing or answering as the hardware does, its output
// read on a thread of its own.
class Synth
{
public:
  explicit Synth(bool answer) : mAnswer(answer) {}
  ~Synth() { Reap(3000); }
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
      execl(program.c_str(), program.c_str(), "--name", "Rudu", mAnswer ? "--answer" : "--echo", (char*)nullptr);
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
    if (mPid <= 0 || mReaped) return;
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
    if (mPid <= 0 || mReaped) return true;
    mReaped = true;
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
  const bool mAnswer;
  bool mReaped = false;
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
    if (jack_client_t* c = mClient) jack_client_close(c);
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

// The process's resident memory in bytes.
long long Rss()
{
  long long pages = 0, resident = 0;
  if (FILE* f = fopen("/proc/self/statm", "r"))
  {
    if (fscanf(f, "%lld %lld", &pages, &resident) != 2) resident = 0;
    fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

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
  enum { kNone, kTestPlug, kEditor } plug = kTestPlug;
  bool external = false, overlap = false, restartServer = false, verbose = false, probe = false;
  int slowStartMs = 0;
  for (int i = 1; i < argc; ++i)
  {
    const std::string a = argv[i];
    if (a == "--restarts" && i + 1 < argc) restarts = atoi(argv[++i]);
    else if (a == "--gap" && i + 1 < argc) gapMs = atoi(argv[++i]);
    else if (a == "--send" && i + 1 < argc) sendMs = atoi(argv[++i]);
    else if (a == "--freeze" && i + 1 < argc) freezeMs = atoi(argv[++i]);
    else if (a == "--stop" && i + 1 < argc) stop = argv[++i];
    else if (a == "--no-editor") plug = kNone;
    else if (a == "--editor") plug = kEditor;
    else if (a == "--time-scale" && i + 1 < argc) SWELL_SetTimeScale(atof(argv[++i]));
    else if (a == "--overlap") overlap = true;
    else if (a == "--external") external = true;
    else if (a == "--server") restartServer = true;
    else if (a == "--slow-start" && i + 1 < argc) slowStartMs = atoi(argv[++i]);
    else if (a == "--verbose") verbose = true;
    else if (a == "--probe") probe = true;
    else
    {
      fprintf(stderr, "usage: restart-freeze [--restarts N] [--gap MS] [--stop quit|term|kill] [--send MS] "
                      "[--editor [--time-scale X] | --no-editor] [--overlap] [--external] [--freeze MS] "
                      "[--server [--slow-start MS] [--probe] [--verbose]]\n");
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  if (restartServer && (external || overlap))
  {
    fprintf(stderr, "restart-freeze: --server restarts the test bed's own server, one synthesizer at a time\n");
    return 2;
  }
  JackTestServer server;
  server.SetVerbose(verbose);
  std::string error;
  if (!external && !server.Start(&error))
  {
    fprintf(stderr, "restart-freeze: %s\n", error.c_str());
    return 1;
  }
  const std::string program = SynthProgram();
  const bool answer = plug == kEditor;
  std::unique_ptr<Synth> synth(new Synth(answer));
  if (!synth->Start(program))
  {
    fprintf(stderr, "restart-freeze: %s did not start\n", program.c_str());
    return 1;
  }
  // A server restarted takes this client with it: none then.
  std::unique_ptr<FrameWatch> watch(new FrameWatch);
  if (restartServer)
    watch.reset();
  else if (!watch->Start())
  {
    fprintf(stderr, "restart-freeze: no JACK server\n");
    return 1;
  }
  std::unique_ptr<Side> side;
  std::atomic<bool> quit{false};
  std::thread sender;
  if (plug != kNone)
  {
    side.reset(plug == kEditor ? (Side*)new EditorSide : new TestSide);
    const std::string client = JackClientName("Rudu");
    if (!side->Choose(client + ":MIDI In", client + ":MIDI Out"))
    {
      fprintf(stderr, "restart-freeze: the editor could not choose the synthesizer's ports\n");
      return 1;
    }
    if (sendMs > 0)
      sender = std::thread([&] {
        while (!quit.load())
        {
          side->Send(1);
          std::this_thread::sleep_for(std::chrono::milliseconds(sendMs));
        }
      });
  }

  int freezes = 0, unreconnected = 0;
  long long longestStill = 0, reconnectSum = 0, longestStop = 0;
  int slowStops = 0, hungStops = 0, withinSecond = 0;
  long long rssAtFifth = 0, rssNow = Rss();
  const Clock::time_point start = Clock::now();
  for (int r = 0; r < restarts; ++r)
  {
    Clock::time_point t0 = Clock::now();
    if (watch)
    {
      watch->Take();
      watch->TakeRequest();
    }
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
    if (restartServer)
    {
      server.SetStartStoppedMs(slowStartMs);
      if (!server.Restart(&error))
      {
        fprintf(stderr, "restart-freeze: restart %d: %s\n", r + 1, error.c_str());
        break;
      }
      while (probe && MsSince(t0) < 40000 && system("timeout 10 jack_lsp >/dev/null 2>&1") != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      // The new synthesizer's client is the first the new server takes: tried
      // until one is (an opening the server does not answer ends by itself).
      bool up = false;
      while (!up && MsSince(t0) < 40000)
      {
        synth.reset(new Synth(answer));
        up = synth->Start(program);
        if (!up) synth->Reap(3000);
      }
      if (!up)
      {
        fprintf(stderr, "restart-freeze: restart %d: no server took %s's client within 40 s\n", r + 1,
                program.c_str());
        break;
      }
      t0 = Clock::now();
    }
    else
      synth.reset(new Synth(answer));
    if (!restartServer && !synth->Start(program))
    {
      fprintf(stderr, "restart-freeze: restart %d: %s did not start\n", r + 1, program.c_str());
      break;
    }
    if (old && !old->Reap(3000)) ++hungStops;
    old.reset();
    // Reconnected once a message of the editor reaches the new synthesizer and its
    // answer comes back (with the editor: once its ports are back, the program's
    // dump it asked for); without an editor, once the new one is up.
    long long reconnectMs = MsSince(t0), portsBackMs = -1;
    bool back = true;
    if (side)
    {
      const long long before = side->Received();
      back = false;
      side->Restarted();
      portsBackMs = -1;
      while (MsSince(t0) < 40000)
      {
        if (plug == kEditor)
        {
          if (side->PortsBack())
          {
            if (portsBackMs < 0) portsBackMs = MsSince(t0);
            side->Back();
          }
        }
        else
          side->Send(3);
        if (synth->received.load() > 0 && side->Received() > before && side->Done())
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
    const long long still = watch ? std::max(watch->Take(), watch->TakeRequest()) : 0;
    if (back && reconnectMs <= 1000) ++withinSecond;
    rssNow = Rss();
    if (r == 4) rssAtFifth = rssNow;
    longestStill = std::max(longestStill, still);
    if (still >= freezeMs) ++freezes;
    if (!back) ++unreconnected;
    reconnectSum += reconnectMs;
    printf("restart %d: reconnected %s after %lld ms (ports back after %lld ms), server (frames or requests) still "
           "for at most %lld ms%s\n",
           r + 1, back ? "" : "NOT", reconnectMs, portsBackMs, still, still >= freezeMs ? "  FREEZE" : "");
    fflush(stdout);
  }
  const long long runSeconds = MsSince(start) / 1000;
  quit.store(true);
  if (sender.joinable()) sender.join();
  side.reset();
  synth->End("quit");
  synth->Reap(10000);
  watch.reset();
  printf("restarts %d, stop %s, gap %d ms, %s: %d freezes (>= %d ms), %d not reconnected, longest stall %lld ms, "
         "mean reconnection %lld ms, %lld s in all; the old synthesizer took %d times over 100 ms to end, at most "
         "%lld ms, and %d times had not ended after 3 s (killed)\n",
         restarts, stop.c_str(), gapMs,
         plug == kEditor ? "the editor" : plug == kTestPlug ? "the tests' plug-in" : "no plug-in", freezes, freezeMs,
         unreconnected, longestStill, restarts ? reconnectSum / restarts : 0, runSeconds, slowStops, longestStop,
         hungStops);
  if (restartServer) printf("%d of %d reconnected within 1 s of the new server taking the synthesizer\n", withinSecond, restarts);
  if (restarts > 5)
    printf("resident memory %lld kB, grown %lld bytes a restart after the fifth\n", rssNow / 1024,
           (rssNow - rssAtFifth) / (restarts - 5));
  return 0;
}
