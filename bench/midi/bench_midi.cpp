// MIDI through JACK: round trips of a short message and of a program dump from
// the plug-in to the simulated synthesizer (which echoes) and back, and the
// delivery of a 37,163-byte dump paced like the hardware. Starts its own JACK
// server with 64-frame periods (1.33 ms at 48 kHz; --period_frames=N for another
// size), so that a round trip shows what the port layer adds beyond the periods.
//
// The send call is timed at its edges (it only queues the message, in memory the
// JACK bridge shares, whose process callback writes it into the period's buffer). Medians, 99th percentiles and maxima, and the CPU time of every thread
// of this process (the plug-in's and the simulated synthesizer's; the JACK
// server is another process) a message. Run it under timeout (a JACK client
// whose server dies can hang).

#include "JackTestServer.h"
#include "StdoutNobodyReads.h"
#include "SynthSim.h"
#include "TestPlug.h"
#include "base/log.h"
#include "plug/JackMidiOwner.h"
#include "plug/MidiPortSelect.h"

#include <jack/jack.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <map>
#include <memory>
#include <signal.h>
#include <string>
#include <thread>

#include <pthread.h>
#include <sched.h>

// The host's render thread as the plug-in knows it.
#define RENDER_MARK() gPlug->MarkMidiRenderThread()

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int gPeriodFrames = 64;

double micros(Clock::duration d)
{
  return std::chrono::duration<double, std::micro>(d).count();
}

// Where a message's time goes, one sample a message.
struct Samples
{
  std::vector<double> us;
  void reserve(size_t n) { us.reserve(n); }
  void add(double v) { us.push_back(v); }
  // q-quantile (nearest rank) of what was added.
  double quantile(double q)
  {
    if (us.empty()) return 0.0;
    std::sort(us.begin(), us.end());
    size_t rank = (size_t)(q * (double)us.size() + 0.999999);
    if (rank < 1) rank = 1;
    return us[std::min(rank, us.size()) - 1];
  }
  void report(benchmark::State& state, const std::string& name)
  {
    state.counters[name + " p50 us"] = quantile(0.5);
    state.counters[name + " p99 us"] = quantile(0.99);
    state.counters[name + " max us"] = quantile(1.0);
  }
};

// The test plug-in; the input's handler takes no time of its own here.
class TimedPlug : public TestPlug
{
};

JackTestServer gServer;
std::unique_ptr<SynthSim> gSim;
std::unique_ptr<TimedPlug> gPlug;

// Nanoseconds on the processor of every thread of this process, by thread name
// (threads of one name summed), from /proc/self/task/*/schedstat.
std::map<std::string, uint64_t> threadCpu()
{
  std::map<std::string, uint64_t> cpu;
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return cpu;
  while (dirent* e = readdir(tasks))
  {
    if (e->d_name[0] == '.') continue;
    const std::string base = std::string("/proc/self/task/") + e->d_name;
    std::ifstream comm(base + "/comm"), stat(base + "/schedstat");
    std::string name;
    uint64_t ns = 0;
    if (std::getline(comm, name) && (stat >> ns)) cpu[name] += ns;
  }
  closedir(tasks);
  return cpu;
}

// CPU microseconds a message, each thread name and all together, since before.
void reportCpu(benchmark::State& state, const std::map<std::string, uint64_t>& before, double messages)
{
  uint64_t all = 0;
  for (const auto& t : threadCpu())
  {
    const auto b = before.find(t.first);
    const uint64_t used = t.second - (b == before.end() ? 0 : b->second);
    all += used;
    if (used) state.counters["cpu us/msg " + t.first] = used / 1e3 / messages;
  }
  state.counters["cpu us/msg, all threads"] = all / 1e3 / messages;
}

// One message there and back per iteration: the send call timed at its edges,
// the whole round trip as the iteration's.
template <class Send, class Arrived> void RoundTrip(benchmark::State& state, Send send, Arrived arrived)
{
  Samples sendOwn;
  sendOwn.reserve((size_t)state.max_iterations);
  const auto cpu = threadCpu();
  for (auto _ : state)
  {
    gPlug->Clear();
    const Clock::time_point t0 = Clock::now();
    send();
    const Clock::time_point t1 = Clock::now();
    if (!arrived()) state.SkipWithError("no echo within 5 s");
    sendOwn.add(micros(t1 - t0));
  }
  reportCpu(state, cpu, (double)state.iterations());
  sendOwn.report(state, "out: the call");
}

void RoundTripShort(benchmark::State& state)
{
  IMidiMsg cc(0, 0xB0, 0x4A, 0x00);
  RoundTrip(
      state,
      [&] {
        cc.mData2 = (unsigned char)((cc.mData2 + 1) & 0x7F);
        gPlug->SendMidiMsg(&cc);
      },
      [] { return gPlug->WaitFor(1, 5000); });
}
BENCHMARK(RoundTripShort)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1000);

// No message: the JACK clients' own work over the two periods a round trip takes,
// to be taken off the round trips' CPU figures.
void IdleTwoPeriods(benchmark::State& state)
{
  const auto twoPeriods = std::chrono::microseconds(2 * gPeriodFrames * 1000000 / 48000);
  const auto cpu = threadCpu();
  for (auto _ : state) std::this_thread::sleep_for(twoPeriods);
  reportCpu(state, cpu, (double)state.iterations());
}
BENCHMARK(IdleTwoPeriods)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1000);

void RoundTripDump(benchmark::State& state)
{
  std::vector<unsigned char> dump = MakeSimDump(297, 1);
  RoundTrip(
      state, [&] { gPlug->SendPatchSysex(dump.data(), (int)dump.size()); },
      [&] { return gPlug->WaitForSysEx(dump, 5000); });
}
BENCHMARK(RoundTripDump)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1000);

// The input path with warm caches: a message of range(0) bytes (a control change,
// a program dump, the all-program dump) handed to the port layer's callback by
// this thread, over and over (nothing arrives from JACK meanwhile), to the
// handler and back. Against the round trips' figures, which are taken with a
// message every 2.7 ms and other processes on the core in between.
void InputPathWarm(benchmark::State& state)
{
  const int size = (int)state.range(0);
  std::vector<unsigned char> msg = size <= 3 ? std::vector<unsigned char>{0xB0, 0x4A, 0x00} : MakeSimDump(size, 4);
  msg.resize((size_t)std::min(size, (int)msg.size()));
  int n = 0;
  for (auto _ : state)
  {
    IPlugBase::MIDICallback(0.0, &msg, static_cast<IPlugBase*>(gPlug.get()));
    if (++n % 256 == 0)
    {
      state.PauseTiming();
      gPlug->Clear();
      state.ResumeTiming();
    }
  }
  gPlug->Clear();
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)msg.size());
}
BENCHMARK(InputPathWarm)->Arg(3)->Arg(297)->Arg(37163);

// A control change every 100 us, the whole send call timed, while the port watch
// looks at the ports ten times a second (range(0) 1) or is held off (0: this thread
// holds the plug-in's mutex, which the watch takes before every look). Every send
// goes through the output port's lock, which the clock thread, the audio callback
// and the editor's controls share: the slowest send with the watch must stay where
// it is without it. About 40 looks a run.
void SendBesideTheWatch(benchmark::State& state)
{
  const bool watching = state.range(0) != 0;
  gSim->SetEcho(false);
  std::unique_ptr<WDL_MutexLock> holdOff;
  if (!watching)
  {
    holdOff.reset(new WDL_MutexLock(&gPlug->mMutex));
    std::this_thread::sleep_for(std::chrono::milliseconds(250));  // a look under way ends
  }
  Samples call;
  call.reserve((size_t)state.max_iterations);
  IMidiMsg cc(0, 0xB0, 0x4A, 0x00);
  int over20 = 0;
  for (auto _ : state)
  {
    cc.mData2 = (unsigned char)((cc.mData2 + 1) & 0x7F);
    const Clock::time_point t0 = Clock::now();
    gPlug->SendMidiMsg(&cc);
    const double us = micros(Clock::now() - t0);
    call.add(us);
    if (us > 20.0) ++over20;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  holdOff.reset();
  gSim->SetEcho(true);
  state.counters["slowest send us"] = call.quantile(1.0);
  state.counters["send p99.9 us"] = call.quantile(0.999);
  state.counters["send p50 us"] = call.quantile(0.5);
  state.counters["sends over 20 us"] = over20;
}
BENCHMARK(SendBesideTheWatch)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(30000);

// Wake-ups of an idle instance, counted over every process and thread of the
// plug-in: a fresh instance with both ports connected, nothing sent or received,
// context switches (voluntary and not) over 2 s, a second. In the host: the
// instance's own threads (the port thread, the input thread) and the process's
// threads of the plug-in (the JACK owner's, the console's logger; the other
// instance of this program, idle meanwhile, is not counted); in the JACK bridge,
// its own threads and apart from them JACK's realtime ones, which run every cycle
// whatever the plug-in does.
struct TaskSwitches
{
  uint64_t switches = 0;
  std::string name;
  bool realtime = false;
};

std::map<int, TaskSwitches> taskSwitches(int pid)
{
  std::map<int, TaskSwitches> tasks;
  const std::string folder = pid ? "/proc/" + std::to_string(pid) + "/task" : std::string("/proc/self/task");
  DIR* dir = opendir(folder.c_str());
  if (!dir) return tasks;
  while (dirent* e = readdir(dir))
  {
    if (e->d_name[0] == '.') continue;
    const std::string base = folder + "/" + e->d_name;
    TaskSwitches t;
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line))
    {
      if (line.rfind("Name:", 0) == 0) t.name = line.substr(line.find_first_not_of(" \t", 5));
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        t.switches += strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
    }
    // The scheduling policy, the 41st field of stat (after the name in parentheses).
    std::ifstream stat(base + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    if (close != std::string::npos)
    {
      std::istringstream fields(all.substr(close + 2));
      std::string f;
      for (int i = 3; i <= 41 && fields >> f; ++i)
        if (i == 41) t.realtime = atoi(f.c_str()) != 0;
    }
    tasks[atoi(e->d_name)] = t;
  }
  closedir(dir);
  return tasks;
}

// The switches of the tasks in start still there in now, as the difference.
uint64_t switchesSince(const std::map<int, TaskSwitches>& start, const std::map<int, TaskSwitches>& now)
{
  uint64_t n = 0;
  for (const auto& t : start)
    if (now.count(t.first)) n += now.at(t.first).switches - t.second.switches;
  return n;
}

void IdleWakeUps(benchmark::State& state)
{
  Samples instance, host, bridge, cycle, all;
  for (auto _ : state)
  {
    const auto before = taskSwitches(0);
    TestPlug plug;
    plug.getExternalMIDIOutNames();
    int out = 1, in = 1;
    plug.setExternalMIDIOut(out, gSim->InputPortName().c_str());
    plug.setExternalMIDIIn(in, gSim->OutputPortName().c_str());
    if (!gSim->WaitForConnections(2, 2, 10000)) state.SkipWithError("ports not opened");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int bridgePid = JackMidiOwner::BridgePid();
    std::map<int, TaskSwitches> own, shared, bridgeOwn, bridgeCycle;
    for (const auto& t : taskSwitches(0))
      if (!before.count(t.first))
        own.insert(t);
      else if (t.second.name == "davrel jack own" || t.second.name == "davrel logger")
        shared.insert(t);
    for (const auto& t : taskSwitches(bridgePid))
      (t.second.realtime ? bridgeCycle : bridgeOwn).insert(t);
    if (!bridgePid || shared.empty()) state.SkipWithError("no bridge, or no owner's thread");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto hostNow = taskSwitches(0), bridgeNow = taskSwitches(bridgePid);
    const double a = switchesSince(own, hostNow) / 2.0, b = switchesSince(shared, hostNow) / 2.0;
    const double c = switchesSince(bridgeOwn, bridgeNow) / 2.0, d = switchesSince(bridgeCycle, bridgeNow) / 2.0;
    instance.add(a);
    host.add(b);
    bridge.add(c);
    cycle.add(d);
    all.add(a + b + c);
    state.SetIterationTime(2.0);
  }
  state.counters["instance's threads /s"] = instance.quantile(0.5);
  state.counters["owner+logger /s"] = host.quantile(0.5);
  state.counters["bridge's threads /s"] = bridge.quantile(0.5);
  state.counters["bridge's JACK cycle /s"] = cycle.quantile(0.5);
  state.counters["wake-ups a second, median"] = all.quantile(0.5);
  state.counters["wake-ups a second, max"] = all.quantile(1.0);
}
BENCHMARK(IdleWakeUps)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The host's render thread (realtime priority where allowed) sends a control change
// every 1.33 ms while another thread keeps the send queue full (a 1 KB dump as
// fast as it is taken): each render send timed, 3 s.
void RenderSendBesideAFullQueue(benchmark::State& state)
{
  gSim->SetEcho(false);
  const std::vector<unsigned char> piece = MakeSimDump(1024, 6);
  Samples render;
  long long refused = 0;
  for (auto _ : state)
  {
    std::atomic<bool> on{true};
    std::thread filler([&] {
      while (on.load())
        if (!gPlug->SendPatchSysex((unsigned char*)piece.data(), (int)piece.size())) std::this_thread::yield();
    });
    std::thread renderer([&] {
      sched_param p{};
      p.sched_priority = 20;
      pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
      RENDER_MARK();
      IMidiMsg cc(0, 0xB0, 0x4D, 0x00);
      const auto block = std::chrono::microseconds(64 * 1000000 / 48000);
      const Clock::time_point end = Clock::now() + std::chrono::seconds(3);
      for (Clock::time_point next = Clock::now(); next < end; next += block)
      {
        std::this_thread::sleep_until(next);
        const Clock::time_point t0 = Clock::now();
        if (!gPlug->SendMidiMsg(&cc)) ++refused;
        render.add(micros(Clock::now() - t0));
      }
    });
    renderer.join();
    on.store(false);
    filler.join();
    state.SetIterationTime(3.0);
  }
  gSim->SetEcho(true);
  state.counters["render send us, max"] = render.quantile(1.0);
  state.counters["render send us, p99.9"] = render.quantile(0.999);
  state.counters["render send us, p50"] = render.quantile(0.5);
  state.counters["render sends refused (queue full)"] = (double)refused;
}
BENCHMARK(RenderSendBesideAFullQueue)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// One of the port layer's log lines (two for each message coming in, none going out),
// handed to the logger thread as every log line is; here it writes to /dev/null.
void LogLine(benchmark::State& state)
{
  for (auto _ : state) ConsoleLog("processMIDIInput at IPlugBase detected Message..\n");
}
BENCHMARK(LogLine);

// Pieces of range(0) bytes at range(1) bytes a second (0: one piece a JACK period).
void DeliverLargeDump(benchmark::State& state)
{
  const std::vector<unsigned char> dump = MakeSimDump(37163, 2);
  const SimPacing pacing = SimPacing::Pieces((int)state.range(0), (double)state.range(1));
  gSim->SetEcho(false);
  for (auto _ : state)
  {
    gPlug->Clear();
    gSim->Send(dump, pacing);
    if (!gPlug->WaitForSysEx(dump, 60000)) state.SkipWithError("dump not whole within 60 s");
  }
  gSim->SetEcho(true);
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)dump.size());
}
BENCHMARK(DeliverLargeDump)
    ->Args({256, 3125})   // the synthesizer's cable
    ->Args({1024, 0})
    ->Args({8192, 0})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// What a host closing instances, or a user choosing the input twice in a row,
// waits for. range(0) instances, each with both ports chosen and connected,
// destroyed one after the other on this thread; the time is theirs alone. range(1)
// 1: beside a JACK client of this process whose process callback is busy for half
// of each period (a host that is a JACK client itself).
void CloseInstances(benchmark::State& state)
{
  const int n = (int)state.range(0);
  BusyJackClient busy(state.range(1) == 1);
  Samples each;
  for (auto _ : state)
  {
    // The last iteration's clients are gone: their closings are not this one's.
    std::vector<std::unique_ptr<TestPlug>> plugs;
    for (int i = 0; i < n; ++i)
    {
      plugs.emplace_back(new TestPlug);
      plugs.back()->getExternalMIDIOutNames();
      plugs.back()->getExternalMIDIInNames();
      int out = 1, in = 1;
      plugs.back()->setExternalMIDIOut(out, gSim->InputPortName().c_str());
      plugs.back()->setExternalMIDIIn(in, gSim->OutputPortName().c_str());
    }
    if (!gSim->WaitForConnections(1 + n, 1 + n, 10000)) state.SkipWithError("instances not connected");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // openings long past
    const Clock::time_point t0 = Clock::now();
    for (auto& p : plugs)
    {
      const Clock::time_point t = Clock::now();
      p.reset();
      each.add(micros(Clock::now() - t));
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    gSim->WaitForConnections(1, 1, 10000);
  }
  state.counters["one instance p50 ms"] = each.quantile(0.5) / 1000.0;
  state.counters["one instance max ms"] = each.quantile(1.0) / 1000.0;
}
BENCHMARK(CloseInstances)
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({4, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

// A host's quit: a process of its own (this program started again) opens four
// instances with both ports connected, closes them, and exits; the time from its
// exit call to its end, which holds the port layer's end (its JACK clients closed).
// range(0) 1: the host is a JACK client with a busy process callback. Afterwards the
// server is asked whether any client of that process is left for it to time out.
void HostQuit(benchmark::State& state)
{
  Samples quit;
  int left = 0;
  for (auto _ : state)
  {
    int report[2];
    if (pipe(report) != 0) state.SkipWithError("no pipe");
    const std::string self = "/proc/self/exe";
    std::vector<std::string> args = {self, "--quit-child=" + std::to_string(state.range(0)),
                                     gSim->InputPortName(), gSim->OutputPortName()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, report[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ) != 0)
      state.SkipWithError("no child");
    posix_spawn_file_actions_destroy(&actions);
    close(report[1]);
    char byte = 0;
    const bool exiting = read(report[0], &byte, 1) == 1;
    const Clock::time_point t0 = Clock::now();
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = micros(Clock::now() - t0) / 1000.0;
    close(report[0]);
    if (!exiting || byte != 'q') state.SkipWithError("the child did not reach its quit");
    quit.add(ms);
    state.SetIterationTime(ms / 1000.0);
    // Its clients (renamed by JACK: this process holds the names) gone from the
    // server's graph at once, none left to time out.
    if (!gSim->FindPorts(std::string("^") + JackClientName("RtMidi (Out|In)put Client") + "-[0-9]+:").empty()) ++left;
  }
  state.counters["quit ms, median"] = quit.quantile(0.5);
  state.counters["quit ms, max"] = quit.quantile(1.0);
  state.counters["quits that left a client"] = left;
}
BENCHMARK(HostQuit)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The input chosen again right after another choice of it (the menu picked twice):
// the second choice timed.
void ReChooseInput(benchmark::State& state)
{
  TestPlug plug;
  plug.getExternalMIDIOutNames();
  plug.getExternalMIDIInNames();
  const std::string name = gSim->OutputPortName();
  int in = 1;
  plug.setExternalMIDIIn(in, name.c_str());
  for (auto _ : state)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    in = 1;
    plug.setExternalMIDIIn(in, name.c_str());
    in = 1;
    const Clock::time_point t0 = Clock::now();
    const int k = plug.setExternalMIDIIn(in, name.c_str());
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    if (k != 1) state.SkipWithError("input not opened");
  }
}
BENCHMARK(ReChooseInput)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// A host's render calls beside the port watch while the JACK server misbehaves.
// The component entry takes the plug-in's mutex for every call, render included;
// a thread here does the same once a 64-frame block (1.33 ms) and the longest gap
// between two calls is the figure. range(0) 0: the synthesizer's ports go and come
// back, and the server is stopped (SIGSTOP) for 3 s right as they are back, so the
// watch's reopening meets a server that answers nothing; 1: the server stops and
// starts again while the synthesizer is 9 KB into a 37 KB dump. Each runs with an
// instance of its own; afterwards the other benchmarks' instance has lost its
// timed objects, so these run last.
class RenderCalls
{
public:
  explicit RenderCalls(IPlugBase* plug) : mPlug(plug), mThread([this] { Run(); }) {}
  ~RenderCalls() { Stop(); }
  double Stop()
  {
    mQuit.store(true);
    if (mThread.joinable()) mThread.join();
    return mLongest;
  }
  // The longest of the waits for the mutex alone (the gap also holds the
  // scheduler's delays: JACK's threads run at a realtime priority). After Stop.
  double LongestWait() const { return mLongestWait; }

private:
  void Run()
  {
    const auto block = std::chrono::microseconds(64 * 1000000 / 48000);
    Clock::time_point last = Clock::now();
    while (!mQuit.load())
    {
      const Clock::time_point asked = Clock::now();
      {
        WDL_MutexLock lock(&mPlug->mMutex);
        const Clock::time_point now = Clock::now();
        mLongestWait = std::max(mLongestWait, std::chrono::duration<double, std::milli>(now - asked).count());
        mLongest = std::max(mLongest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
      }
      std::this_thread::sleep_until(last + block);
    }
  }
  IPlugBase* mPlug;
  std::atomic<bool> mQuit{false};
  double mLongest = 0.0, mLongestWait = 0.0;  // ms; the render thread's own until it is joined
  std::thread mThread;
};

void RenderBesideAServerThatStops(benchmark::State& state)
{
  // 0: the watch reopens ports on a server stopped 3 s; 1: the server restarts
  // under a dump; 2: the host chooses a port (through the mutex, as the entry
  // does) while the server is stopped 3 s.
  const bool restart = state.range(0) == 1, choose = state.range(0) == 2;
  const std::vector<unsigned char> dump = MakeSimDump(37163, 3);
  Samples gaps, waits;
  int notConnected = 0;
  for (auto _ : state)
  {
    TestPlug plug;
    plug.getExternalMIDIOutNames();
    plug.getExternalMIDIInNames();
    int out = 1, in = 1;
    if (plug.setExternalMIDIOut(out, gSim->InputPortName().c_str()) <= 0 ||
        plug.setExternalMIDIIn(in, gSim->OutputPortName().c_str()) <= 0)
    {
      state.SkipWithError("ports not opened");
      break;
    }
    std::string error;
    RenderCalls render(&plug);
    if (choose)
    {
      kill(gServer.Pid(), SIGSTOP);
      std::thread host([&plug] {
        WDL_MutexLock lock(&plug.mMutex);
        int off = 0, on = 1;
        plug.setExternalMIDIIn(off, "OFF");
        plug.setExternalMIDIIn(on, gSim->OutputPortName().c_str());
      });
      std::this_thread::sleep_for(std::chrono::seconds(3));
      kill(gServer.Pid(), SIGCONT);
      host.join();
      // Counted, not an error: what is timed is the render beside the choice.
      if (!gSim->WaitForConnections(1, 1, 30000)) ++notConnected;
    }
    else if (!restart)
    {
      gSim->Close();
      while (!plug.MidiOutPortMissing() || !plug.MidiInPortMissing())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (!gSim->Open(&error)) state.SkipWithError(error.c_str());
      kill(gServer.Pid(), SIGSTOP);
      std::this_thread::sleep_for(std::chrono::seconds(3));
      kill(gServer.Pid(), SIGCONT);
    }
    else
    {
      gSim->SetEcho(false);
      gSim->Send(dump, SimPacing::Pieces(1024));
      while (gSim->BytesSent() < 9 * 1024) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      gSim->Close();
      gServer.Stop();
      if (!gServer.Start(&error) || !gSim->Open(&error)) state.SkipWithError(error.c_str());
      gSim->SetEcho(true);
    }
    // Back once the watch has opened both ports again (bounded: a run that never
    // reconnects is an error, not a figure).
    const Clock::time_point end = Clock::now() + std::chrono::seconds(30);
    while ((plug.MidiOutPortMissing() || plug.MidiInPortMissing()) && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double longest = render.Stop();
    gaps.add(longest);
    waits.add(render.LongestWait());
    state.SetIterationTime(longest / 1000.0);
    if (!choose && (plug.MidiOutPortMissing() || plug.MidiInPortMissing()))
      state.SkipWithError("ports not back within 30 s");
  }
  if (choose) state.counters["choices not connected within 30 s"] = notConnected;
  state.counters["longest gap ms, median"] = gaps.quantile(0.5);
  state.counters["longest gap ms, max"] = gaps.quantile(1.0);
  state.counters["longest mutex wait ms, max"] = waits.quantile(1.0);
}
BENCHMARK(RenderBesideAServerThatStops)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The server stopped (SIGSTOP, as a server that is busy or stuck is) and continued
// by a thread of the benchmark's own after 3 s; what a host call waits for then.
// range(0) 0: an instance with both ports open closed as the component's close
// does it (a port thread that must be given up leaves the instance kept, and its
// close under 2.5 s); 1: a worker sends a 24 KB dump in three messages, then the
// render thread sends a control change under the plug-in's mutex while another
// host call waits for the mutex: the render's send and that call timed.
void HostCallsBesideAStoppedServer(benchmark::State& state)
{
  const bool sends = state.range(0) == 1;
  const std::vector<unsigned char> piece = MakeSimDump(8000, 4);
  Samples close, render, host;
  int givenUp = 0;
  std::vector<TestPlug*> kept;  // closes that gave the port thread up: freed once it ended
  for (auto _ : state)
  {
    for (TestPlug* k : kept)
    {
      while (!k->StopMidiPortThreads()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      delete k;
    }
    kept.clear();
    TestPlug* plug = new TestPlug;
    plug->getExternalMIDIOutNames();
    plug->getExternalMIDIInNames();
    int out = 1, in = 1;
    plug->setExternalMIDIOut(out, gSim->InputPortName().c_str());
    plug->setExternalMIDIIn(in, gSim->OutputPortName().c_str());
    // This instance's ports open, not the last one's still closing.
    for (int i = 0; i < 10000 && (!plug->MidiPortListsRead() || plug->MidiPortChoiceUnderWay()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!gSim->WaitForConnections(2, 2, 10000))
    {
      state.SkipWithError("ports not opened");
      break;
    }
    kill(gServer.Pid(), SIGSTOP);
    std::thread cont([] {
      std::this_thread::sleep_for(std::chrono::seconds(3));
      kill(gServer.Pid(), SIGCONT);
    });
    const Clock::time_point t0 = Clock::now();
    if (!sends)
    {
      if (plug->StopMidiPortThreads())
        delete plug;
      else
        kept.push_back(plug);
      close.add(micros(Clock::now() - t0) / 1000.0);
      if (!kept.empty()) ++givenUp;
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
      cont.join();
      continue;
    }
    std::thread worker([&] {
      for (int i = 0; i < 3; ++i) plug->SendPatchSysex((unsigned char*)piece.data(), (int)piece.size());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::atomic<bool> rendering{false};
    std::thread renderThread([&] {
      WDL_MutexLock lock(&plug->mMutex);
      rendering.store(true);
      IMidiMsg cc(0, 0xB0, 0x4A, 0x01);
      const Clock::time_point r = Clock::now();
      plug->SendMidiMsg(&cc);
      render.add(micros(Clock::now() - r) / 1000.0);
    });
    while (!rendering.load()) std::this_thread::yield();
    const Clock::time_point h = Clock::now();
    {
      WDL_MutexLock lock(&plug->mMutex);
    }
    host.add(micros(Clock::now() - h) / 1000.0);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - h).count());
    renderThread.join();
    worker.join();
    cont.join();
    delete plug;
  }
  if (sends)
  {
    state.counters["render send ms, max"] = render.quantile(1.0);
    state.counters["host call ms, max"] = host.quantile(1.0);
  }
  else
  {
    state.counters["close ms, max"] = close.quantile(1.0);
    state.counters["close ms, median"] = close.quantile(0.5);
    state.counters["port threads given up"] = givenUp;
  }
  for (TestPlug* k : kept)
  {
    while (!k->StopMidiPortThreads()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    delete k;
  }
}
BENCHMARK(HostCallsBesideAStoppedServer)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The synthesizer floods the input (control changes and program dumps) for 2 s while
// standard output is a pipe nobody reads, as a paused terminal leaves a host's: the
// JACK server's longest stand-still (the simulated synthesizer's longest gap between
// two process cycles), the host's MIDI calls beside it (a send and its log line, as
// the editor makes them, every 10 ms) and the instance's close then, bounded at 10 s.
void FloodWithStandardOutputBlocked(benchmark::State& state)
{
  const std::vector<unsigned char> program = MakeSimDump(297);
  Samples stood, calls, closes;
  for (auto _ : state)
  {
    auto* plug = new TestPlug;
    plug->getExternalMIDIOutNames();
    plug->getExternalMIDIInNames();
    int out = 1, in = 1;
    if (plug->setExternalMIDIOut(out, gSim->InputPortName().c_str()) <= 0 ||
        plug->setExternalMIDIIn(in, gSim->OutputPortName().c_str()) <= 0 || !gSim->WaitForConnections(2, 2, 10000))
    {
      state.SkipWithError("ports not opened");
      delete plug;
      break;
    }
    gSim->SetEcho(false);
    gSim->ClearReceived();
    StdoutNobodyReads blocked;
    std::atomic<bool> flooding{true};
    double longestCall = 0.0;
    std::thread host([&] {
      for (int n = 0; flooding.load(); ++n)
      {
        IMidiMsg cc(0, 0xB0, 0x4C, n % 128);
        const Clock::time_point t = Clock::now();
        if (plug->SendMidiMsg(&cc)) ConsoleLog("Plug-in MIDI Out (cc | 1 | 76 | %d)\n", n % 128);
        longestCall = std::max(longestCall, micros(Clock::now() - t) / 1000.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    const Clock::time_point end = Clock::now() + std::chrono::seconds(2);
    for (int n = 0; Clock::now() < end; ++n)
    {
      for (int i = 0; i < 60; ++i) gSim->Send({0xB0, (unsigned char)(i % 120), (unsigned char)(n % 128)});
      gSim->Send(program);
      gSim->WaitUntilSent(1000);
    }
    flooding.store(false);
    host.join();
    std::atomic<bool> closed{false};
    const Clock::time_point c = Clock::now();
    std::thread closing([&] {
      delete plug;
      closed.store(true);
    });
    while (!closed.load() && Clock::now() - c < std::chrono::seconds(10))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    closes.add(micros(Clock::now() - c) / 1000.0);
    stood.add(gSim->LongestCycleGap() * 1000.0);
    calls.add(longestCall);
    blocked.Release();
    closing.join();
    gSim->SetEcho(true);
    state.SetIterationTime(gSim->LongestCycleGap());
  }
  state.counters["server stand-still ms, max"] = stood.quantile(1.0);
  state.counters["host MIDI call ms, max"] = calls.quantile(1.0);
  state.counters["close ms, max"] = closes.quantile(1.0);
  const ConsoleLogTally tally = ConsoleLogCounts();
  state.counters["console lines dropped"] = (double)tally.dropped;
}
BENCHMARK(FloodWithStandardOutputBlocked)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);


// The send call from an ordinary thread (the editor's): 10,000 control changes, one
// every 100 us, each call timed at its edges.
void SendCall(benchmark::State& state)
{
  gSim->SetEcho(false);
  Samples call;
  IMidiMsg cc(0, 0xB0, 0x4B, 0x00);
  for (auto _ : state)
  {
    cc.mData2 = (unsigned char)((cc.mData2 + 1) & 0x7F);
    const Clock::time_point t0 = Clock::now();
    gPlug->SendMidiMsg(&cc);
    call.add(micros(Clock::now() - t0));
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  gSim->SetEcho(true);
  state.counters["send p50 us"] = call.quantile(0.5);
  state.counters["send p99 us"] = call.quantile(0.99);
}
BENCHMARK(SendCall)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(10000);

// A busy loop on every processor the benchmark may use (none when not loaded),
// until Stop.
struct BusyLoops
{
  explicit BusyLoops(bool loaded)
  {
    cpu_set_t set;
    const int n = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 2;
    for (int i = 0; loaded && i < n; ++i)
      threads.emplace_back([this] {
        while (!stop.load(std::memory_order_relaxed))
        {
        }
      });
  }
  ~BusyLoops() { Stop(); }
  void Stop()
  {
    stop.store(true);
    for (std::thread& t : threads) t.join();
    threads.clear();
  }
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
};

// 2,000 notes sent from the host's render thread (marked as the plug-in's render
// thread, at a realtime priority where the system allows it), one every 2 ms:
// each note's lateness at the receiving port against its send, the least late one
// marking zero. range(0) 1: a busy loop on every processor (ordinary priority)
// meanwhile, as a loaded machine has.
void RenderNotesLateness(benchmark::State& state)
{
  const bool loaded = state.range(0) != 0;
  const int kNotes = 2000;
  Samples late;
  gSim->SetEcho(false);
  // Each iteration's notes on a channel of their own: one of the iteration before
  // that arrives after the clearing is not taken for this one's least late.
  int channel = 0;
  for (auto _ : state)
  {
    channel = (channel + 1) % 16;
    gSim->ClearReceived();
    BusyLoops busy(loaded);
    std::vector<Clock::time_point> sent((size_t)kNotes);
    const Clock::time_point t0 = Clock::now();
    std::thread render([&] {
      sched_param p;
      p.sched_priority = 10;
      pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
#ifdef RENDER_MARK
      RENDER_MARK();
#endif
      for (int i = 0; i < kNotes; ++i)
      {
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(2 * i));
        IMidiMsg note(0, (unsigned char)(0x90 | channel), (unsigned char)(i % 128), (unsigned char)(1 + i / 128));
        sent[(size_t)i] = Clock::now();
        gPlug->SendMidiMsg(&note);
      }
    });
    render.join();
    gSim->WaitForReceived((size_t)kNotes, 5000);
    busy.Stop();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    std::vector<double> offset;
    for (const SimMessage& m : gSim->Received())
      if (m.bytes.size() == 3 && m.bytes[0] == (0x90 | channel))
      {
        const int i = m.bytes[1] + 128 * (m.bytes[2] - 1);
        if (i < 0 || i >= kNotes) continue;
        offset.push_back(m.seconds * 1e6 - micros(sent[(size_t)i] - t0));
      }
    const double zero = offset.empty() ? 0.0 : *std::min_element(offset.begin(), offset.end());
    int over20 = 0;
    for (double o : offset)
    {
      late.add((o - zero) / 1000.0);
      if (o - zero > 20000.0) ++over20;
    }
    state.counters["notes arrived"] = (double)offset.size();
    state.counters["later than 20 ms"] = over20;
  }
  gSim->SetEcho(true);
  state.counters["late p50 ms"] = late.quantile(0.5);
  state.counters["late p99 ms"] = late.quantile(0.99);
  state.counters["late max ms"] = late.quantile(1.0);
}
BENCHMARK(RenderNotesLateness)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Both ports moved to another synthesizer by a choice of each, as the editor's
// menus make them: the time until the server's graph holds both connections, and
// until the port layer has taken both choices.
void ChoiceConnections(benchmark::State& state)
{
  SynthSim other("RuduC");
  std::string error;
  if (!other.Open(&error))
  {
    state.SkipWithError(error.c_str());
    return;
  }
  // An instance of its own, made once both synthesizers are there (its lists are read as it starts).
  TestPlug plug;
  TestPlug* p = &plug;
  if (!plug.WaitForLists())
  {
    state.SkipWithError("no lists");
    return;
  }
  Samples joined, taken;
  int k = 0;
  for (auto _ : state)
  {
    SynthSim& to = k++ % 2 ? *gSim : other;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Clock::time_point t0 = Clock::now();
    int out = 1, in = 1;
    p->setExternalMIDIOut(out, to.InputPortName().c_str());
    p->setExternalMIDIIn(in, to.OutputPortName().c_str());
    // The benchmarks' own instance stays joined to the first synthesizer.
    const int joins = &to == gSim.get() ? 2 : 1;
    if (!to.WaitForConnections(joins, joins, 10000)) state.SkipWithError("not connected");
    const Clock::time_point t1 = Clock::now();
    for (int i = 0; i < 10000 && p->MidiPortChoiceUnderWay(); ++i) std::this_thread::sleep_for(std::chrono::microseconds(200));
    const Clock::time_point t2 = Clock::now();
    joined.add(micros(t1 - t0) / 1000.0);
    taken.add(micros(t2 - t0) / 1000.0);
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  state.counters["connected p50 ms"] = joined.quantile(0.5);
  state.counters["connected max ms"] = joined.quantile(1.0);
  state.counters["choices taken p50 ms"] = taken.quantile(0.5);
}
BENCHMARK(ChoiceConnections)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// A process's first instance: from its making to its port lists read (the JACK
// bridge started and its clients opened for it), in a fresh process each time.
void FirstLists(benchmark::State& state)
{
  Samples ms;
  for (auto _ : state)
  {
    int fds[2];
    if (pipe(fds) != 0)
    {
      state.SkipWithError("no pipe");
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char arg0[] = "bench_midi", arg1[] = "--first-lists-child";
    char* argv[] = {arg0, arg1, nullptr};
    pid_t pid = -1;
    const int e = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    double got = -1;
    if (e == 0)
    {
      char text[64] = {};
      const ssize_t n = read(fds[0], text, sizeof text - 1);
      if (n > 0) got = atof(text);
      waitpid(pid, nullptr, 0);
    }
    close(fds[0]);
    if (got < 0) state.SkipWithError("the child said nothing");
    ms.add(got);
    state.SetIterationTime(got / 1000.0);
  }
  state.counters["first lists p50 ms"] = ms.quantile(0.5);
  state.counters["first lists max ms"] = ms.quantile(1.0);
}
BENCHMARK(FirstLists)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

int FirstListsChild()
{
  double ms = -1;
  {
    const Clock::time_point t0 = Clock::now();
    TestPlug plug;
    plug.ReadMidiPortListsAhead();
    for (int i = 0; i < 100000 && !plug.MidiPortListsRead(); ++i) std::this_thread::sleep_for(std::chrono::microseconds(100));
    if (plug.MidiPortListsRead()) ms = micros(Clock::now() - t0) / 1000.0;
  }
  char text[64];
  const int n = snprintf(text, sizeof text, "%.3f\n", ms);
  return write(3, text, (size_t)n) == n ? 0 : 1;
}
} // namespace

// The child of HostQuit: argv[2] and argv[3] the synthesizer's ports.
int QuitChild(int busyHost, const char* synthIn, const char* synthOut)
{
  {
    BusyJackClient busy(busyHost == 1);
    std::vector<std::unique_ptr<TestPlug>> plugs;
    for (int i = 0; i < 4; ++i)
    {
      plugs.emplace_back(new TestPlug);
      plugs.back()->getExternalMIDIOutNames();
      int out = 1, in = 1;
      plugs.back()->setExternalMIDIOut(out, synthIn);
      plugs.back()->setExternalMIDIIn(in, synthOut);
    }
    for (auto& p : plugs)
      for (int i = 0; i < 10000 && (!p->MidiPortListsRead() || p->MidiPortChoiceUnderWay() || p->MidiOutPortMissing());
           ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    plugs.clear();
    // The host's own client stays until the process ends, as a host's does.
    const char q = 'q';
    if (write(3, &q, 1) != 1) return 1;
    exit(0);
  }
}

// The timing clock at 120 BPM for 3 s with every processor busy (threads of
// ordinary priority): range(0) 0 places the ticks in the bridge's process callback
// at their frames (the port layer's clock over JACK); 1 sends each tick from a
// thread of realtime priority that wakes on its due time (the clock thread over
// ALSA, and over JACK before). Each tick's lateness against the timeline, read at
// the receiving port from JACK's time of the frame it came at (the first tick the
// origin, the least late one marking the timeline), and how far each gap in frames
// is from the tempo at the nominal rate.
void ClockTicksUnderLoad(benchmark::State& state)
{
  const int64_t interval = 20833333;  // 120 BPM
  const bool placed = state.range(0) == 0;
  Samples late, gapOff;
  for (auto _ : state)
  {
    gSim->ClearReceived();
    BusyLoops busy(true);
    const Clock::time_point t0 = Clock::now();
    const int64_t first = std::chrono::duration_cast<std::chrono::nanoseconds>(t0.time_since_epoch()).count();
    if (placed)
    {
      if (!gPlug->StartMidiClock(first, interval)) state.SkipWithError("the port layer places no clock");
      std::this_thread::sleep_for(std::chrono::seconds(3));
      gPlug->StopMidiClock();
    }
    else
    {
      std::thread ticker([&] {
        sched_param p;
        p.sched_priority = 10;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
        for (int k = 0; k < 144; ++k)
        {
          std::this_thread::sleep_until(t0 + std::chrono::nanoseconds(k * interval));
          gPlug->SendMidiSysex2(std::vector<unsigned char>(1, 0xF8));
        }
      });
      ticker.join();
    }
    busy.Stop();
    // The last ticks handed over arrive within a few periods.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    std::vector<double> at;
    std::vector<uint32_t> frames;
    for (const SimMessage& m : gSim->Received())
      if (m.bytes == SimBytes{0xF8})
      {
        at.push_back(m.jackMicros);
        frames.push_back(m.jackFrame);
      }
    double origin = at.empty() ? 0 : at[0];
    for (size_t i = 0; i < at.size(); ++i) origin = std::min(origin, at[i] - i * interval / 1e3);
    for (size_t i = 0; i < at.size(); ++i) late.add(at[i] - origin - i * interval / 1e3);
    const double ideal = interval * gSim->SampleRate() / 1e9;
    for (size_t i = 1; i < frames.size(); ++i) gapOff.add(std::fabs((double)(frames[i] - frames[i - 1]) - ideal));
    state.counters["ticks"] = (double)at.size();
  }
  late.report(state, "late");
  state.counters["gap off frames p50"] = gapOff.quantile(0.5);
  state.counters["gap off frames p99"] = gapOff.quantile(0.99);
  state.counters["gap off frames max"] = gapOff.quantile(1.0);
}
BENCHMARK(ClockTicksUnderLoad)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
  if (argc == 4 && strncmp(argv[1], "--quit-child=", 13) == 0) return QuitChild(atoi(argv[1] + 13), argv[2], argv[3]);
  if (argc == 2 && strcmp(argv[1], "--first-lists-child") == 0) return FirstListsChild();
  // Our own flag, taken out before the library reads the rest.
  int kept = 1;
  for (int i = 1; i < argc; ++i)
  {
    if (strncmp(argv[i], "--period_frames=", 16) == 0) gPeriodFrames = atoi(argv[i] + 16);
    else argv[kept++] = argv[i];
  }
  argc = kept;
  if (gPeriodFrames < 16)
  {
    fprintf(stderr, "bench_midi: --period_frames wants 16 or more\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  std::string error;
  gServer.SetPeriodFrames(gPeriodFrames);
  if (!gServer.Start(&error))
  {
    fprintf(stderr, "bench_midi: %s\n", error.c_str());
    return 1;
  }
  gSim.reset(new SynthSim("Rudu"));
  if (!gSim->Open(&error))
  {
    fprintf(stderr, "bench_midi: %s\n", error.c_str());
    return 1;
  }
  fprintf(stderr, "bench_midi: JACK periods of %u frames at %.0f Hz (%.2f ms)\n", gSim->PeriodFrames(),
          gSim->SampleRate(), gSim->PeriodFrames() * 1000.0 / gSim->SampleRate());
  gSim->SetEcho(true);
  gPlug.reset(new TimedPlug);
  gPlug->ReadMidiPortListsAhead();
  for (int i = 0; i < 1000 && !gPlug->MidiPortListsRead(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  int out = 1, in = 1;
  if (gPlug->setExternalMIDIOut(out, gSim->InputPortName().c_str()) != 1 ||
      gPlug->setExternalMIDIIn(in, gSim->OutputPortName().c_str()) != 1 || !gSim->WaitForConnections(1, 1, 10000))
  {
    fprintf(stderr, "bench_midi: cannot open the ports\n");
    return 1;
  }
  // The port layer logs every message to standard output: figures go to stderr.
  if (!freopen("/dev/null", "w", stdout)) return 1;
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  gPlug.reset();
  gSim.reset();
  gServer.Stop();
  return 0;
}
