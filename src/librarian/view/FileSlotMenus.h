#pragma once
// The context menus of a grid slot, each made for one right click: the slot edit
// menu over the upper column ("Paste", "Rename", "Initialize", "Request") and the
// slot copy menu over the lower one ("Copy").
//
// Threads: main thread only, inside the grid's mouse handling.

#include "gui/IControl.h"
#include "gui/IPopupMenu.h"

class LibrarianViewHost;
class PatchLibrarian;

class FileEditPopupMenu : public IControl
{
public:
  FileEditPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug);
  ~FileEditPopupMenu() override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  void AddMenuItemsIn();
  // Shows the menu at the point (editor coordinates) and runs the chosen entry.
  void doPopupMenu(LibrarianViewHost* host, int x, int y);

  LibrarianViewHost* plug;    // not owned
  PatchLibrarian* librarian;  // not owned
  IPopupMenu mainMenu;
  IPopupMenu requestMenu;
};

class FileCopyPopupMenu : public IControl
{
public:
  FileCopyPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug);
  ~FileCopyPopupMenu() override;
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  void doPopupMenu(LibrarianViewHost* host, int x, int y);

  LibrarianViewHost* plug;    // not owned
  PatchLibrarian* librarian;  // not owned
  IPopupMenu mainMenu;
};

// The console line of a slot menu closed without a choice.
extern const char* const kNoItemSelectedLine;
