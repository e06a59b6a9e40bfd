#pragma once
// What the librarian's menu controls share: a control without a parameter over its
// rectangle that draws its caption (what the menu is about, or the bank it chose),
// keeps the librarian and the controller, and opens its menu on a click.
//
// Threads: main thread only.

#include "gui/IControl.h"
#include "gui/IPopupMenu.h"

#include <string>

class LibrarianViewHost;
class PatchLibrarian;

class LibrarianMenuControl : public IControl
{
public:
  // Opens the menu (openMenu) and marks the control dirty.
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  // A dark field with the caption; greyed, the caption is dimmed.
  bool Draw(IGraphics* graphics) override;
  // The text the control shows; none draws nothing.
  virtual std::string caption() const { return std::string(); }
  // The caption as the last drawing pass showed it: too long for the field, it loses
  // characters from the middle of what follows its "UPPER: " (its first ": ").
  const std::string& drawnCaption() const { return mDrawnCaption; }

  LibrarianViewHost* plug;    // not owned
  PatchLibrarian* librarian;  // not owned
  bool dimmed = false;        // drawn as when greyed

protected:
  std::string mDrawnCaption;
  LibrarianMenuControl(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug);
  // The click at (x, y), in editor coordinates.
  virtual void openMenu(int x, int y) = 0;
  // Shows the menu over the control through the host's graphics: the menu chosen
  // from, or null when it was dismissed or nothing can show it.
  IPopupMenu* showMenu(LibrarianViewHost* host, IPopupMenu* menu) const;
};
