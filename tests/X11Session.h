#pragma once
// A private X server with the kit's X11 presenter, shared by the tests of a suite:
// a suite starts it in SetUpTestSuite and stops it in TearDownTestSuite; each test
// checks it is up before driving it.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/X11TestDriver.h"

#include <memory>
#include <string>

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
