#pragma once
// Modal interactions answered by a person at a screen: menus, alerts and file
// panels drawn in windows of the kit itself, each tracked in a nested turn of the
// run loop (the event-tracking mode for menus, the modal-panel mode for the rest)
// until it is answered. The X11 presenter answers through this.

#include "platform/appkit/NSApplication.h"

#include <string>
#include <vector>

class NSAlert;
class NSPresenter;

// Where an alert drawn on the screen puts its texts and buttons, in its content (y
// down from the top): the message, then the informative text, each wrapped to one
// width, the buttons in a row below them with the first at the right. The width
// grows with the text up to a limit, then the alert grows taller; a word wider than
// the line is broken between its characters. Never taller than the screen: past its
// height the informative text (with the message, when even that leaves no room)
// scrolls in an area of its own, and the buttons stay on the screen.
struct AKAlertLayout
{
  struct Line
  {
    std::string text;
    NSRect rect;   // in the alert; for a line that scrolls, in what scrolls (unscrolled)
    bool message;  // a line of the message, else of the informative text
    bool scrolls = false;
  };
  NSSize size;
  std::vector<Line> lines;
  std::vector<NSRect> buttons;  // in the alert's order
  NSRect textArea{};            // where the text scrolls; empty when it all fits
  CGFloat textHeight = 0;       // the height of what scrolls there
};
AKAlertLayout AKLayoutAlert(const NSAlert* alert, NSSize screen);

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
