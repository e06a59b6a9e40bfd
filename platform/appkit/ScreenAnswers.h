#pragma once
// Modal interactions answered by a person at a screen: menus, alerts and file
// panels drawn in windows of the kit itself, each tracked in a nested turn of the
// run loop (the event-tracking mode for menus, the modal-panel mode for the rest)
// until it is answered. The X11 presenter answers through this.

#include "platform/appkit/NSApplication.h"

class NSPresenter;

class AKScreenAnswers : public NSModalAnswers
{
public:
  explicit AKScreenAnswers(NSPresenter* presenter) : mPresenter(presenter) {}
  NSMenuItem* menuChoice(NSMenu* menu, NSPoint location, NSView* view) override;
  NSInteger panelAnswer(NSSavePanel* panel, std::string* path) override;
  NSInteger alertAnswer(NSAlert* alert) override;

private:
  NSPresenter* mPresenter;
};
