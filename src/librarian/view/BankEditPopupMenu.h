#pragma once
// The librarian page's main menu button: requests from and stores into the
// hardware, sync and push of the current data, saving, importing, rescanning, help
// and the About panel.
//
// Threads: main thread only; the jobs it starts run on the transfer thread.

#include "gui/IControl.h"
#include "gui/IPopupMenu.h"

class LibrarianViewHost;
class PatchLibrarian;

class BankEditPopupMenu : public IControl
{
public:
  BankEditPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug);
  ~BankEditPopupMenu() override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  // Empties the six menus and fills them again (the argument is not used).
  void AddMenuItemsIn(LibrarianViewHost* host);
  void doPopupMenu(LibrarianViewHost* host);

  LibrarianViewHost* plug;    // not owned
  PatchLibrarian* librarian;  // not owned
  IPopupMenu mainMenu;
  IPopupMenu requestMenu;
  IPopupMenu storeMenu;
  IPopupMenu saveAsMenu;
  IPopupMenu importMenu;
  IPopupMenu otherMenu;

private:
  void runMain(int position);
  void saveUpperBank();
  void saveUpperBankAs(bool isMid);
};
