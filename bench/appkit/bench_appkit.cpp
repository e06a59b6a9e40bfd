// The kit's X11 presenter with the window manager stopped (SIGSTOP, as a busy or hung
// manager is): how long the thread that runs the kit is held by showing, hiding and
// moving a window meanwhile, and by opening and closing a panel. The manager is the one DAVREL_TEST_WM names (openbox when
// unset). The time is that of the calls alone; the manager's answers once it goes on
// are awaited outside it.

#include "platform/appkit/AppKit.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/testing/X11TestDriver.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct Desktop
{
  Desktop()
  {
    if (!getenv("DAVREL_TEST_WM")) setenv("DAVREL_TEST_WM", "openbox", 1);
    if (!server.start(&problem)) return;
    std::unique_ptr<NSPresenter> x = AKMakeX11Presenter(server.display(), &problem);
    if (!x) return;
    NSApplication::setPresenter(std::move(x));
    NSApplication::sharedApplication();
    driver = std::make_unique<AKX11Driver>(server.display());
    window = new NSWindow(NSMakeRect(100, 300, 300, 200), NSTitledWindowMask, NSBackingStoreBuffered, false);
    window->setTitle("stopped manager");
    window->orderFront(nullptr);
    if (!settled(100)) problem = "the window never showed";
  }

  // Turns the run loop until the window is shown on the server where the kit has it.
  bool settled(int x)
  {
    NSRunLoop* loop = NSRunLoop::currentRunLoop();
    const unsigned long xid = AKX11WindowOf(window);
    return loop->runUntil(
        [&] {
          int gx = 0, gy = 0, gw = 0, gh = 0;
          return driver->viewable(xid) && driver->geometry(xid, &gx, &gy, &gw, &gh) && gx == x;
        },
        loop->now() + 20.0);
  }

  std::string problem;
  AKXvfb server;
  std::unique_ptr<AKX11Driver> driver;
  NSWindow* window = nullptr;
};

Desktop* g_desktop = nullptr;

Desktop& desktop()
{
  // Kept to the end of the process, as the kit is; only its X server is stopped at
  // exit, so no Xvfb outlives the run.
  if (!g_desktop)
  {
    g_desktop = new Desktop;
    std::atexit([] { g_desktop->server.stop(); });
  }
  return *g_desktop;
}

// Five hides and shows, a move, and a panel opened and closed while the manager is
// stopped. The counter is the longest single call over the run; the time is the
// sequence's.
void BM_X11_ShowHideMoveWithTheManagerStopped(benchmark::State& state)
{
  Desktop& d = desktop();
  if (!d.problem.empty()) return state.SkipWithError(d.problem.c_str());
  using Clock = std::chrono::steady_clock;
  double longest = 0;
  int x = 100, misplaced = 0, held = 0;
  for (auto _ : state)
  {
    d.server.pauseManager(true);
    const auto timed = [&](auto call) {
      const auto start = Clock::now();
      call();
      const double s = std::chrono::duration<double>(Clock::now() - start).count();
      longest = std::max(longest, s);
      return s;
    };
    double total = 0;
    for (int i = 0; i < 5; ++i)
    {
      total += timed([&] { d.window->orderOut(nullptr); });
      total += timed([&] { d.window->orderFront(nullptr); });
    }
    x = x == 100 ? 400 : 100;
    NSRect f = d.window->frame();
    f.origin.x = x;
    total += timed([&] { d.window->setFrame(f, false); });
    NSWindow* panel = nullptr;
    total += timed([&] {
      panel = new NSWindow(NSMakeRect(300, 300, 400, 250), NSTitledWindowMask, NSBackingStoreBuffered, false);
      panel->setTitle("panel");
      panel->makeKeyAndOrderFront(nullptr);
    });
    NSRunLoop::currentRunLoop()->runUntilDate(NSRunLoop::currentRunLoop()->now() + 0.1);  // as a user takes
    total += timed([&] { panel->close(); });
    panel->release();
    state.SetIterationTime(total);
    d.server.pauseManager(false);
    // The manager holds the display for nobody (asked from a process of its own: one
    // held would hold us too), then shows the window where it was put.
    if (!d.server.managerAnswers(20))
    {
      ++held;
      std::string error;
      d.server.replaceManager(d.server.manager(), &error);  // lets the display go
    }
    if (!d.settled(x)) ++misplaced;
    // The manager's own work on the probe's window, gone with its process, is done
    // before the manager is stopped again: one stopped inside its grab of the server
    // would hold us too.
    NSRunLoop::currentRunLoop()->runUntilDate(NSRunLoop::currentRunLoop()->now() + 0.3);
  }
  state.counters["longest_call_ms"] = longest * 1000;
  // Runs after which the window was not shown where it was put (within 20 s).
  state.counters["misplaced"] = misplaced;
  // Runs after which a new window of another client was not shown within 20 s.
  state.counters["display_held"] = held;
}
BENCHMARK(BM_X11_ShowHideMoveWithTheManagerStopped)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
