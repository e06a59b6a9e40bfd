#pragma once
// A private X server with the kit's X11 presenter, shared by the tests of a suite:
// a suite starts it in SetUpTestSuite and stops it in TearDownTestSuite; each test
// checks it is up before driving it.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/testing/X11TestDriver.h"

#include <memory>
#include <string>

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

struct X11Session
{
  static AKXvfb*& server()
  {
    static AKXvfb* s = nullptr;
    return s;
  }
  // Why the server or the presenter could not be had, for the test's message.
  static std::string& problem()
  {
    static std::string p;
    return p;
  }
  static void start()
  {
    server() = new AKXvfb;
    if (!server()->start(&problem())) return;
    std::unique_ptr<NSPresenter> x = AKMakeX11Presenter(server()->display(), &problem());
    if (!x) return;
    NSApplication::setPresenter(std::move(x));
    NSApplication::sharedApplication();
  }
  static void stop()
  {
    NSApplication::shutdown();
    delete server();
    server() = nullptr;
  }
  static bool up()
  {
    return NSApplication::exists() && std::string(NSApp->presenter()->name()).rfind("x11", 0) == 0;
  }
};

// A fixture on the shared session: the suite starts and stops the server; each test
// checks it is up, runs the base's set-up and gets a driver (a second X client that
// sends input and reads the screen).
template <class Base = ::testing::Test>
class X11SessionTest : public Base
{
protected:
  static void SetUpTestSuite() { X11Session::start(); }
  static void TearDownTestSuite() { X11Session::stop(); }
  void SetUp() override
  {
    ASSERT_TRUE(X11Session::up()) << X11Session::problem();
    Base::SetUp();
    if (::testing::Test::HasFatalFailure()) return;
    driver = std::make_unique<AKX11Driver>(X11Session::server()->display());
    ASSERT_TRUE(driver->ok());
  }
  std::unique_ptr<AKX11Driver> driver;
};

// Turns the run loop (which answers the requests of another X client) until the
// child process ends, at most seconds; its exit status, or -1 (then it is killed).
inline int RunLoopUntilChildExits(pid_t pid, double seconds)
{
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  int status = 0;
  for (int i = 0; i < (int)(seconds / 0.02); ++i)
  {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    loop->runUntilDate(loop->now() + 0.02);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}
