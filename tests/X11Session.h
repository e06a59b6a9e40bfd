#pragma once
// A private X server with the kit's X11 presenter, shared by the tests of a suite:
// a suite starts it in SetUpTestSuite and stops it in TearDownTestSuite; each test
// checks it is up before driving it.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/X11TestDriver.h"

#include <memory>
#include <string>

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
