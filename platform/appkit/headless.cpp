// The presenter without a screen: windows only draw into their backings. Waiting
// is a condition variable that wake (any thread) ends.

#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/Presenter.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace {

class HeadlessPresenter : public NSPresenter
{
public:
  const char* name() const override { return "headless"; }

  bool pollEvents() override { return false; }

  void waitForEvents(double seconds) override
  {
    std::unique_lock<std::mutex> lock(mLock);
    if (!mWoken)
    {
      if (seconds < 0)
        mWake.wait(lock, [this] { return mWoken; });
      else
        mWake.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return mWoken; });
    }
    mWoken = false;
  }

  void wake() override
  {
    {
      std::lock_guard<std::mutex> lock(mLock);
      mWoken = true;
    }
    mWake.notify_one();
  }

  NSMenuItem* menuChoice(NSMenu* menu, NSPoint, NSView*) override
  {
    fprintf(stderr, "appkit: no screen to show a menu of %ld items; dismissed\n", (long)menu->numberOfItems());
    return nullptr;
  }

  NSInteger panelAnswer(NSSavePanel*, std::string*) override
  {
    fprintf(stderr, "appkit: no screen to show a file panel; cancelled\n");
    return NSCancelButton;
  }

  NSInteger alertAnswer(NSAlert* alert) override
  {
    fprintf(stderr, "appkit: alert \"%s\" (%s) answered with its first button\n", alert->messageText().c_str(),
            alert->informativeText().c_str());
    return NSAlertFirstButtonReturn;
  }

  bool hideCursor() override { return true; }
  bool showCursor() override { return true; }

private:
  std::mutex mLock;
  std::condition_variable mWake;
  bool mWoken = false;
};

}  // namespace

std::unique_ptr<NSPresenter> AKMakeHeadlessPresenter() { return std::make_unique<HeadlessPresenter>(); }
