#pragma once
// The context menus of a grid slot, each made for one right click: the slot edit
// menu over the upper column ("Paste", "Rename", "Initialize", "Request") and the
// slot copy menu over the lower one ("Copy").
//
// Threads: main thread only, inside the grid's mouse handling.

#include "librarian/view/LibrarianMenuControl.h"

class FileEditPopupMenu : public LibrarianMenuControl
{
public:
  FileEditPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug);
  ~FileEditPopupMenu() override;

  void AddMenuItemsIn();
  // Shows the menu at the point (editor coordinates) and runs the chosen entry.
  void doPopupMenu(LibrarianViewHost* host, int x, int y);

  IPopupMenu mainMenu;
  IPopupMenu requestMenu;

private:
  void openMenu(int x, int y) override { doPopupMenu(plug, x, y); }
};

class FileCopyPopupMenu : public LibrarianMenuControl
{
public:
  FileCopyPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug);
  ~FileCopyPopupMenu() override;

  void doPopupMenu(LibrarianViewHost* host, int x, int y);

  IPopupMenu mainMenu;

private:
  void openMenu(int x, int y) override { doPopupMenu(plug, x, y); }
};

// The console line of a slot menu closed without a choice.
extern const char* const kNoItemSelectedLine;
