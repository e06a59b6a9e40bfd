#pragma once
// The bank choosers over the two grid columns' captions: invisible controls whose
// click opens the bank tree as a popup menu; the chosen bank becomes the column's.
// LeftPatchPopupMenu chooses the upper bank among the scanned banks,
// RightPatchPopupMenu the lower one, RightSearchPopupMenu the lower one among the
// banks of the last search (a flat menu).
//
// Threads: main thread only.

#include "librarian/view/LibrarianMenuControl.h"

#include <string>
#include <vector>

class PatchFile;

// A menu of the chooser: beside each item, the bank it lists (null for a submenu
// item), so a choice is found again by identity, not by name.
class MyMenuClass : public IPopupMenu
{
public:
  std::vector<PatchFile*> itemBanks;
  void addBank(PatchFile* bank);
  void addFolder(const char* name, MyMenuClass* submenu);
};

class BankChooserMenu : public LibrarianMenuControl
{
public:
  enum EKind
  {
    kUpperBanks,   // LeftPatchPopupMenu
    kLowerBanks,   // RightPatchPopupMenu
    kSearchBanks,  // RightSearchPopupMenu
  };

  ~BankChooserMenu() override;

  // Rebuilds the menus from the tree, checks one entry and makes the bank found by
  // the remembered path (or, with none, by folderName and fileName) the column's.
  // The two pointers are not used. Returns true.
  bool refreshFolderStructure(PatchLibrarian* lib, LibrarianViewHost* host, int index, std::string fileName,
                              std::string folderName);
  // Moves the check to the entry of the bank at index of the chooser's list.
  void checkMenuItemAlone(PatchLibrarian* lib, LibrarianViewHost* host, int index);
  // Opens the menu; a chosen bank's folder and name go to the controller and index
  // becomes its position. Returns index, or 0 when dismissed (index unchanged).
  int doPopupMenu(LibrarianViewHost* host, int& index);

  int chosenFileIndex = 0;
  MyMenuClass* subFolderMenu = nullptr;
  MyMenuClass* subFolderMenu2 = nullptr;
  MyMenuClass* mainMenu = nullptr;  // owns the whole tree through its items
  std::vector<std::string> menuFolderNames;
  std::vector<MyMenuClass*> menus;

  EKind kind() const { return mKind; }
  int column() const { return mKind == kUpperBanks ? 0 : 1; }
  int listParam() const;
  // The bank the column shows: folder and name.
  std::string caption() const override;

protected:
  BankChooserMenu(EKind kind, IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect,
                  LibrarianViewHost* plug);

private:
  void openMenu(int x, int y) override;
  const std::vector<PatchFile*>& banks() const;
  void buildTree(const std::string& fileName, const std::string& folderName, const std::string& path, int index,
                 bool* checked);
  void applyChoice(int j);

  EKind mKind;
};

class LeftPatchPopupMenu : public BankChooserMenu
{
public:
  LeftPatchPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug)
    : BankChooserMenu(kUpperBanks, plugBase, librarian, rect, plug)
  {
  }
};

class RightPatchPopupMenu : public BankChooserMenu
{
public:
  RightPatchPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug)
    : BankChooserMenu(kLowerBanks, plugBase, librarian, rect, plug)
  {
  }
};

class RightSearchPopupMenu : public BankChooserMenu
{
public:
  RightSearchPopupMenu(IPlugBase* plugBase, PatchLibrarian* librarian, const IRECT& rect, LibrarianViewHost* plug)
    : BankChooserMenu(kSearchBanks, plugBase, librarian, rect, plug)
  {
  }
};

// The caption of a chooser, drawn beneath it: while unsaved edits hide the upper
// chooser, the column still says which bank is being edited (dimmed); it takes no
// click and opens nothing.
class BankCaption : public LibrarianMenuControl
{
public:
  BankCaption(IPlugBase* plugBase, const IRECT& rect, const BankChooserMenu* chooser)
    : LibrarianMenuControl(plugBase, nullptr, rect, nullptr), mChooser(chooser)
  {
    dimmed = true;
  }
  std::string caption() const override { return mChooser ? mChooser->caption() : std::string(); }
  bool IsHit(int, int) override { return false; }

private:
  void openMenu(int, int) override {}
  const BankChooserMenu* mChooser;  // not owned
};
