// The bank choosers, the bank edit menu and the slot menus with a stand-in
// controller and scripted popup answers.

#include "ConsoleCapture.h"
#include "ViewTestSupport.h"

#include "config/ParamIds.h"
#include "librarian/view/BankChooserMenus.h"
#include "librarian/view/BankEditPopupMenu.h"
#include "librarian/view/FileSlotMenus.h"

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

std::vector<std::string> texts(const IPopupMenu* m)
{
  std::vector<std::string> r;
  for (int i = 0; i < m->GetNItems(); ++i) r.push_back(m->GetItemText(i));
  return r;
}

int checkedItem(const IPopupMenu* m)
{
  for (int i = 0; i < m->GetNItems(); ++i)
    if (m->IsItemChecked(i)) return i;
  return -1;
}

struct MenuFixture : ::testing::Test
{
  TempDataDir data;
  FakeViewHost host;
  RecordingPlug plug{16};
  ScriptedGraphics graphics{&plug};
  PatchLibrarian lib{&host};
  std::unique_ptr<LibrarianViewControl> grid;

  void SetUp() override
  {
    host.lib = &lib;
    host.graphics = &graphics;
    host.root = data.patches;
  }
  void bank(const std::string& rel, uint32_t seed) { writeBankFile(data.patches + "/" + rel, seed); }
  void scan()
  {
    lib.initBankFilesOnDiscard(data.patches);
    IBitmap none;
    grid.reset(new LibrarianViewControl(&plug, &host, 0, 0, -1, &none, IRECT(0, 0, 1200, 600), &lib, 1.0));
    host.grid = grid.get();
  }
  int indexOf(const std::string& pathKey) const
  {
    for (size_t i = 0; i < lib.patchFiles.size(); ++i)
      if (bankPathKey(lib.patchFiles[i]) == pathKey) return (int)i;
    return -1;
  }
};

TEST_F(MenuFixture, TreeListsThirdLevelFoldersBeforeAFoldersOwnBanks)
{
  bank("Alpha/Deep/d1.syx", 1);
  bank("Alpha/a1.syx", 2);
  bank("Beta/b1.syx", 3);
  bank("top.syx", 4);
  scan();
  LeftPatchPopupMenu chooser(&plug, &lib, IRECT(414, 39, 829, 55), &host);
  ASSERT_NE(chooser.mainMenu, nullptr);
  std::vector<std::string> top = texts(chooser.mainMenu);
  // The second-level folders (in scan order) as submenus, then the banks of "Patches".
  ASSERT_EQ(top.size(), 3u);
  EXPECT_EQ(top.back(), "top.syx");
  const int alpha = top[0] == "Alpha" ? 0 : 1;
  IPopupMenu* alphaMenu = chooser.mainMenu->GetItem(alpha)->GetSubmenu();
  ASSERT_NE(alphaMenu, nullptr);
  EXPECT_EQ(texts(alphaMenu), (std::vector<std::string>{"Deep", "a1.syx"}));
  EXPECT_EQ(texts(alphaMenu->GetItem(0)->GetSubmenu()), std::vector<std::string>{"d1.syx"});
  // Menus where a bank can be chosen: per folder the third-level one first, and the top last.
  EXPECT_EQ(chooser.menus.back(), chooser.mainMenu);
  EXPECT_EQ(chooser.menuFolderNames.back(), "Patches");
  EXPECT_EQ(chooser.menus.size(), 4u);

  // Choosing through the submenus makes the bank the upper column's.
  graphics.scripts = {choose({alpha, 0}, 0)};
  chooser.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(lib.upperFileIndex, indexOf("Alpha/Deep/d1.syx"));
  EXPECT_EQ(host.params[kPatchSelectionListUpper], indexOf("Alpha/Deep/d1.syx"));
  EXPECT_EQ(host.name[0], "d1.syx");
  EXPECT_EQ(host.folder[0], "Deep");
  EXPECT_EQ(host.path[0], "Alpha/Deep/d1.syx");
  EXPECT_EQ(checkedItem(alphaMenu->GetItem(0)->GetSubmenu()), 0);
  EXPECT_EQ(checkedItem(chooser.mainMenu), -1);
  EXPECT_EQ(std::string(grid->slotText(0, 0)), lib.patchFiles[(size_t)lib.upperFileIndex]->patches[0].name);
}

TEST_F(MenuFixture, RebuildFindsTheChosenBankAtItsNewIndex)
{
  bank("m.syx", 1);
  bank("n.syx", 2);
  scan();
  host.name[0] = "n.syx";
  host.folder[0] = "Patches";
  LeftPatchPopupMenu chooser(&plug, &lib, IRECT(414, 39, 829, 55), &host);
  const int before = indexOf("n.syx");
  EXPECT_EQ(lib.upperFileIndex, before);
  EXPECT_EQ(checkedItem(chooser.mainMenu), before);

  // More banks arrive; the scan order moves n.syx.
  for (int i = 0; i < 6; ++i) bank("extra" + std::to_string(i) + ".syx", 10 + (uint32_t)i);
  scan();
  const int after = indexOf("n.syx");
  chooser.refreshFolderStructure(&lib, &host, 0, host.name[0], host.folder[0]);
  EXPECT_EQ(lib.upperFileIndex, after);
  EXPECT_EQ(host.params[kPatchSelectionListUpper], after);
  EXPECT_EQ(std::string(chooser.mainMenu->GetItemText(checkedItem(chooser.mainMenu))), "n.syx");

  // The bank goes: the first entry carries the check, index and parameter stay.
  std::filesystem::remove(data.patches + "/n.syx");
  scan();
  lib.upperFileIndex = 3;
  host.params[kPatchSelectionListUpper] = 3;
  chooser.refreshFolderStructure(&lib, &host, 0, host.name[0], host.folder[0]);
  EXPECT_EQ(checkedItem(chooser.mainMenu), 0);
  EXPECT_EQ(lib.upperFileIndex, 3);
  EXPECT_EQ(host.params[kPatchSelectionListUpper], 3);

  // checkMenuItemAlone outside the list changes nothing.
  chooser.checkMenuItemAlone(&lib, &host, 99);
  EXPECT_EQ(checkedItem(chooser.mainMenu), 0);
  chooser.checkMenuItemAlone(&lib, &host, 2);
  EXPECT_EQ(checkedItem(chooser.mainMenu), 2);
}

TEST_F(MenuFixture, DismissedMenuKeepsTheBankAndReloadsTheColumn)
{
  bank("m.syx", 1);
  bank("n.syx", 2);
  scan();
  RightPatchPopupMenu chooser(&plug, &lib, IRECT(414, 342, 829, 360), &host);
  lib.lowerFileIndex = 1;
  host.name[1] = "kept";
  graphics.scripts = {dismiss()};
  host.calls.clear();
  chooser.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(lib.lowerFileIndex, 1);
  EXPECT_EQ(host.params[kPatchSelectionListLower], 1);
  EXPECT_EQ(host.name[1], "kept");
  EXPECT_EQ(std::string(grid->slotText(1, 0)), lib.patchFiles[1]->patches[0].name);
}

TEST_F(MenuFixture, SameNamedBanksInSameNamedFoldersStayApart)
{
  bank("One/Set/same.syx", 1);
  bank("Two/Set/same.syx", 2);
  scan();
  const int one = indexOf("One/Set/same.syx"), two = indexOf("Two/Set/same.syx");
  ASSERT_GE(one, 0);
  ASSERT_GE(two, 0);
  // The later of the two in the list: a lookup by folder and name would give the other.
  const bool wantTwo = two > one;
  const std::string folder = wantTwo ? "Two" : "One", key = folder + "/Set/same.syx";
  LeftPatchPopupMenu chooser(&plug, &lib, IRECT(414, 39, 829, 55), &host);
  const int pos = std::string(chooser.mainMenu->GetItemText(0)) == folder ? 0 : 1;
  graphics.scripts = {choose({pos, 0}, 0)};
  chooser.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(lib.upperFileIndex, std::max(one, two));
  EXPECT_EQ(host.path[0], key);
  // A rescan and rebuild find it again, checked in its own submenu only.
  scan();
  chooser.refreshFolderStructure(&lib, &host, 0, host.name[0], host.folder[0]);
  EXPECT_EQ(lib.upperFileIndex, indexOf(key));
  IPopupMenu* chosenSet = chooser.mainMenu->GetItem(pos)->GetSubmenu()->GetItem(0)->GetSubmenu();
  IPopupMenu* otherSet = chooser.mainMenu->GetItem(1 - pos)->GetSubmenu()->GetItem(0)->GetSubmenu();
  EXPECT_EQ(checkedItem(chosenSet), 0);
  EXPECT_EQ(checkedItem(otherSet), -1);
}

TEST_F(MenuFixture, SearchChooserIsFlat)
{
  bank("Alpha/a1.syx", 1);
  bank("b1.syx", 2);
  scan();
  lib.createNewSearchPatchFiles("Prog 00");
  ASSERT_FALSE(lib.searchResultFiles.empty());
  host.searchActive = true;
  RightSearchPopupMenu chooser(&plug, &lib, IRECT(414, 342, 829, 360), &host);
  for (int i = 0; i < chooser.mainMenu->GetNItems(); ++i) EXPECT_EQ(chooser.mainMenu->GetItem(i)->GetSubmenu(), nullptr);
  EXPECT_EQ(chooser.mainMenu->GetNItems(), (int)lib.searchResultFiles.size());
  graphics.scripts = {choose({}, 0)};
  chooser.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(lib.lowerFileIndex, 0);
  EXPECT_EQ(host.name[1], lib.searchResultFiles[0]->fileName);
}

// ---- the bank edit menu ----

struct EditMenuCase
{
  const char* what;
  int sub;  // -1 the main menu, else the main menu's item that opens the submenu
  int position;
  bool busy;
  std::vector<std::string> calls;
};

TEST_F(MenuFixture, BankEditMenuEntriesReachTheirOperations)
{
  bank("Folder/bank.syx", 1);
  scan();
  BankEditPopupMenu menu(&plug, &lib, IRECT(861, 39, 940, 59), &host);
  for (int round = 0; round < 2; ++round)
  {
    menu.AddMenuItemsIn(&host);  // as each entry to the librarian page does
    EXPECT_EQ(menu.mainMenu.GetNItems(), 15);
    EXPECT_EQ(menu.requestMenu.GetNItems(), 5);
    EXPECT_EQ(menu.storeMenu.GetNItems(), 3);
    EXPECT_EQ(menu.saveAsMenu.GetNItems(), 2);
    EXPECT_EQ(menu.importMenu.GetNItems(), 3);
    EXPECT_EQ(menu.otherMenu.GetNItems(), 5);
  }
  EXPECT_EQ(std::string(menu.otherMenu.GetItemText(1)), "Open User Manual");
  EXPECT_FALSE(menu.otherMenu.GetItem(1)->GetEnabled());
  EXPECT_FALSE(menu.importMenu.GetItem(2)->GetEnabled());

  host.part = 1;
  const EditMenuCase cases[] = {
      {"Sync", -1, 4, false, {"patchRequested 1", "job 4 part 0 target 1"}},
      {"Sync while busy", -1, 4, true, {}},
      {"Push", -1, 5, false, {"preparePush", "transferStarted 1", "job 0 part 0 target 0"}},
      {"Refresh", -1, 11, false, {"paramChange 349"}},
      {"separator", -1, 3, false, {}},
      {"submenu item", -1, 0, false, {}},
      {"to GUI", 0, 0, false, {"patchRequested 1", "job 5 part 1 target 1"}},
      {"to Librarian", 0, 1, false, {"job 5 part 1 target 0"}},
      {"selected location", 0, 2, false, {"singleRequest 0 0"}},
      {"all from memory", 0, 4, false, {"prepareAll", "job 7 part 0 target 0"}},
      {"store one", 2, 0, false, {"sendSingle 1"}},
      {"store all", 2, 2, false, {"sendAll"}},
      {"import mid", 10, 0, false, {"import 1", "paramChange 349"}},
      {"import syx", 10, 1, false, {"import 0", "paramChange 349"}},
      {"import prg (disabled)", 10, 2, false, {}},
      {"data folder", 12, 0, false, {"openData 0"}},
      {"manual (disabled)", 12, 1, false, {}},
      {"tickets", 12, 2, false, {"help 0"}},
      {"updates", 12, 3, false, {"help 1"}},
      {"guides", 12, 4, false, {"help 2"}},
  };
  for (const EditMenuCase& c : cases)
  {
    SCOPED_TRACE(c.what);
    host.calls.clear();
    host.busy = c.busy;
    graphics.scripts = {c.sub < 0 ? choose({}, c.position) : choose({c.sub}, c.position)};
    menu.OnMouseDown(0, 0, nullptr);
    EXPECT_EQ(host.calls, c.calls);
  }
  // Push without an output does nothing at all; About only shows its layer.
  host.busy = false;
  host.outputChosen = false;
  host.calls.clear();
  graphics.scripts = {choose({}, 5), choose({}, 14), dismiss()};
  menu.OnMouseDown(0, 0, nullptr);
  menu.OnMouseDown(0, 0, nullptr);
  menu.OnMouseDown(0, 0, nullptr);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_FALSE(host.hidden.at("aboutWindow"));
}

TEST_F(MenuFixture, BankEditMenuSavesTheUpperBank)
{
  bank("Folder/bank.syx", 1);
  scan();
  lib.upperFileIndex = 0;
  const std::string file = data.patches + "/Folder/bank.syx";
  const Bytes before = readFileBytes(file);
  lib.patchFiles[0]->patches[3] = lib.patchFiles[0]->patches[4];
  BankEditPopupMenu menu(&plug, &lib, IRECT(861, 39, 940, 59), &host);
  graphics.scripts = {choose({}, 7)};
  menu.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(host.count("saved 0"), 1);
  EXPECT_NE(readFileBytes(file), before);
  // With no bank shown, Save says so instead of doing nothing.
  lib.upperFileIndex = -1;
  host.calls.clear();
  graphics.scripts = {choose({}, 7)};
  menu.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(host.calls, std::vector<std::string>{"no bank"});
  lib.upperFileIndex = 0;

  // Save As: the chooser is asked with the bank's name and folder; a cancel saves nothing.
  host.calls.clear();
  host.promptAnswer.clear();
  graphics.scripts = {choose({8}, 0)};
  menu.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(host.calls, std::vector<std::string>{"prompt bank.mid | " + data.patches + "/Folder | mid"});
  host.calls.clear();
  host.promptAnswer = data.patches + "/Folder/copy.dvl";
  graphics.scripts = {choose({8}, 1)};
  menu.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(host.count("saved 1"), 1);
  EXPECT_TRUE(fileExists(host.promptAnswer));
}

// ---- the slot menus ----

TEST_F(MenuFixture, SlotMenusRunTheirEntries)
{
  bank("u.syx", 1);
  bank("l.syx", 2);
  scan();
  lib.upperFileIndex = 0;
  lib.lowerFileIndex = 1;
  grid->patchSelectionUpperChanged();
  grid->patchSelectionLowerChanged();
  const IRECT up = grid->slotRect(0, 6), low = grid->slotRect(1, 2);

  // Dismissed: the console line and nothing else.
  for (int kind = 0; kind < 2; ++kind)
  {
    graphics.scripts = {dismiss()};
    host.calls.clear();
    CaptureConsole();
    if (kind == 0)
      FileEditPopupMenu(&plug, &lib, IRECT(up.L, up.T, up.L, up.T), &host).doPopupMenu(&host, up.L, up.T);
    else
      FileCopyPopupMenu(&plug, &lib, IRECT(low.L, low.T, low.L, low.T), &host).doPopupMenu(&host, low.L, low.T);
    EXPECT_EQ(CapturedConsole(), "No item selected !!! \n");
    EXPECT_TRUE(host.calls.empty());
  }

  // Copy in the lower column, paste in the upper.
  FileCopyPopupMenu copy(&plug, &lib, IRECT(low.L, low.T, low.L, low.T), &host);
  graphics.scripts = {choose({}, 0)};
  copy.doPopupMenu(&host, low.L, low.T);
  EXPECT_EQ(grid->copySourceSlot, 2);
  FileEditPopupMenu edit(&plug, &lib, IRECT(up.L, up.T, up.L, up.T), &host);
  graphics.scripts = {choose({}, 0)};
  edit.doPopupMenu(&host, up.L, up.T);
  EXPECT_EQ(lib.patchFiles[0]->patches[6].messages[0].bytes, lib.patchFiles[1]->patches[2].messages[0].bytes);
  EXPECT_EQ(host.count("unsaved 1"), 1);

  // Initialize twice quickly: one job.
  host.calls.clear();
  host.busy = false;
  graphics.scripts = {choose({}, 4), choose({}, 4)};
  edit.doPopupMenu(&host, up.L, up.T);
  edit.doPopupMenu(&host, up.L, up.T);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"patchRequested 1", "job 8 part 0 target 0"}));

  // The two requests.
  host.calls.clear();
  graphics.scripts = {choose({5}, 0), choose({5}, 1)};
  edit.doPopupMenu(&host, up.L, up.T);
  edit.doPopupMenu(&host, up.L, up.T);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"singleRequest 1 0", "singleRequest 0 0"}));

  // Rename through the menu opens the box for the selected upper slot.
  IMouseMod left(true);
  grid->OnMouseDown(up.L, up.T, &left);
  graphics.scripts = {choose({}, 2)};
  edit.doPopupMenu(&host, up.L, up.T);
  EXPECT_TRUE(grid->renaming);
  EXPECT_FALSE(host.hidden["patchRename"]);
}

}  // namespace
