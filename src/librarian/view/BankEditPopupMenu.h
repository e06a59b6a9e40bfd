#pragma once
// The librarian page's main menu button: requests from and stores into the
// hardware, sync and push of the current data, saving, importing, rescanning, help
// and the About panel.
//
// Threads: main thread only; the jobs it starts run on the transfer thread.

#include "librarian/view/LibrarianMenuControl.h"

class BankEditPopupMenu : public LibrarianMenuControl
{
public:
  BankEditPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug);
  ~BankEditPopupMenu() override;

  // Empties the six menus and fills them again (the argument is not used).
  void AddMenuItemsIn(LibrarianViewHost* host);
  void doPopupMenu(LibrarianViewHost* host);
  std::string caption() const override { return "BANK MENU"; }

  IPopupMenu mainMenu;
  IPopupMenu requestMenu;
  IPopupMenu storeMenu;
  IPopupMenu saveAsMenu;
  IPopupMenu importMenu;
  IPopupMenu otherMenu;

private:
  void openMenu(int, int) override { doPopupMenu(plug); }
  void runMain(int position);
  void saveUpperBank();
  void saveUpperBankAs(bool isMid);
};
