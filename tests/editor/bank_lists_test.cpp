// The bank lists of the librarian page on the real controller: the list entries
// after a rescan and a search, the display-name rule, the grid columns, the menus
// made at start-up and the librarian page's switch.

#include "EditorTestSupport.h"
#include "LibrarianTestSupport.h"
#include "config/ParamIds.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/BankChooserMenus.h"
#include "librarian/view/BankEditPopupMenu.h"
#include "librarian/view/LibrarianViewControl.h"
#include "ui/ControlLayer.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

void writeBank(const DataFolder& data, const std::string& rel, uint32_t seed)
{
  writeBankFile(data.file("Patches/" + rel), seed);
}

std::vector<std::string> entries(Davrel& d, int id)
{
  std::vector<std::string> r;
  IParam* p = d.GetParam(id);
  for (int i = 0; i < p->GetNDisplayTexts(); ++i) r.push_back(p->GetDisplayTextAtIdx(i));
  return r;
}

ControlLayer* layerByName(Davrel& d, const std::string& name)
{
  for (int i = 0; i < d.graphics->NLayers(); ++i)
    if (d.graphics->GetLayer(i)->name == name) return d.graphics->GetLayer(i);
  return nullptr;
}

TEST(BankLists, DisplayNamesOfLongFileNames)
{
  const std::string a47(47, 'a'), b47(47, 'b');
  struct Case
  {
    std::string name, shown;
  };
  // One run: only shortened names count, a new beginning restarts the counter.
  const Case run[] = {
      {std::string(48, 'x') + ".syx", std::string(48, 'x') + ".syx"},  // 52 characters
      {a47 + "12.SYX", a47 + "~1.syx"},                                 // 53
      {"short.dvl", "short.dvl"},
      {a47 + "345.Mid", a47 + "~2.mid"},
      {b47 + "000000", b47 + "~1." + b47 + "000000"},  // no point: the whole name in lower case
      {a47 + "9999.syx", a47 + "~1.syx"},
  };
  std::string previous;
  int counter = 0;
  for (const Case& c : run)
  {
    bool renamed = false;
    EXPECT_EQ(Davrel::bankDisplayName(c.name, &previous, &counter, &renamed), c.shown) << c.name;
    EXPECT_EQ(renamed, c.name != c.shown);
  }
}

// A bank name too long for the choosers' fields: each caption keeps its column's word
// and the name's start and end, and loses the middle, so that nothing runs under
// the bank menu's button or over the grid.
TEST(BankLists, ALongBankNameIsShortenedInTheChoosers)
{
  DataFolder data;
  const std::string name = "A Bank Whose Name Runs On Past The Bank Menu Button And Over The Grid To The About Box.syx";
  writeBank(data, "Live/" + name, 1);
  EditorUnderTest editor;
  editor.userSets(kMainPage, 1);
  editor.graphics->PrepDraw();
  IRECT all(0, 0, editor.graphics->Width(), editor.graphics->Height());
  editor.graphics->Draw(&all);
  const std::pair<const char*, const LibrarianMenuControl*> choosers[] = {
      {"UPPER: Live / A Bank", editor.leftPatchPopupMenu}, {"LOWER: Live / A Bank", editor.rightPatchPopupMenu}};
  for (const auto& [start, chooser] : choosers)
  {
    ASSERT_EQ(chooser->caption(), start + name.substr(6));
    const std::string shown = chooser->drawnCaption();
    EXPECT_EQ(shown.rfind(start, 0), 0u) << shown;
    EXPECT_NE(shown.find("\u2026"), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 7), "Box.syx") << shown;
  }
}

TEST(BankLists, RescanSearchAndRangesFollowTheBanks)
{
  DataFolder data;
  writeBank(data, "Group/one.syx", 1);
  writeBank(data, std::string(55, 'L') + ".SYX", 2);
  EditorUnderTest editor;
  PatchLibrarian* lib = editor.patchLibrarian;
  ASSERT_EQ(lib->patchFiles.size(), 2u);
  ASSERT_NE(editor.librarianView, nullptr);

  // Start-up: the start-up rule for the entries; the bank names stay the real ones.
  const std::vector<std::string> startup = entries(editor, kPatchSelectionListUpper);
  ASSERT_EQ(startup.size(), 2u);
  EXPECT_EQ(editor.upperBankName, lib->patchFiles[0]->fileName);
  EXPECT_EQ(editor.lowerBankName, lib->patchFiles[0]->fileName);
  // The long name's entry is cut to 44 characters and marked.
  EXPECT_EQ(std::count(startup.begin(), startup.end(), std::string(44, 'L') + "~.syx"), 1);

  // A third bank and a rescan: every list has three entries and a range to match.
  writeBank(data, "three.syx", 3);
  editor.patchTypeChanged(0, 0, true);
  ASSERT_EQ(lib->patchFiles.size(), 3u);
  for (int id : {kPatchSelectionListUpper, kPatchSelectionListLower, kCurrentOpenPatchBankL, kCurrentOpenPatchBankR,
                 kCurrentOpenPerfBankL, kCurrentOpenPerfBankR})
  {
    SCOPED_TRACE(id);
    const std::vector<std::string> e = entries(editor, id);
    ASSERT_EQ(e.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
    {
      const std::string& name = lib->patchFiles[i]->fileName;
      EXPECT_EQ(e[i], name.size() > 52 ? std::string(47, 'L') + "~1.syx" : name);
    }
    EXPECT_EQ(editor.GetParam(id)->GetMax(), 2.0);
    EXPECT_EQ(editor.GetParam(id)->Value(), 0.0);
  }
  EXPECT_EQ(lib->upperFileIndex, 0);
  ASSERT_NE(editor.librarianView, nullptr);
  EXPECT_EQ(std::string(editor.librarianView->slotText(0, 0)), lib->patchFiles[0]->patches[0].name);

  // A search (type 4): the lower lists take the results, the upper list stays.
  lib->createNewSearchPatchFiles("Prog");
  ASSERT_EQ(lib->searchResultFiles.size(), 3u);
  editor.searchActive = true;
  lib->upperFileIndex = 2;
  editor.patchTypeChanged(0, 4, false);
  EXPECT_EQ(entries(editor, kPatchSelectionListUpper).size(), 3u);
  EXPECT_EQ(entries(editor, kPatchSelectionListUpper)[0], lib->patchFiles[0]->fileName);
  EXPECT_EQ(entries(editor, kPatchSelectionListLower),
            (std::vector<std::string>{"Search Results 1", "Search Results 2", "Search Results 3"}));
  EXPECT_EQ(entries(editor, kCurrentOpenPerfBankR).size(), 3u);
  EXPECT_EQ(lib->upperFileIndex, 0);
  EXPECT_EQ(std::string(editor.librarianView->slotText(0, 5)), lib->patchFiles[0]->patches[5].name);
  EXPECT_EQ(std::string(editor.librarianView->slotText(1, 0)), lib->searchResultFiles[0]->patches[0].name);

  // One bank left: the range shrinks with it, so stepping cannot pass the list.
  editor.searchActive = false;
  std::filesystem::remove_all(data.folder.path() + "/Patches/Group");
  std::filesystem::remove(data.folder.path() + "/Patches/three.syx");
  editor.patchTypeChanged(0, 0, true);
  EXPECT_EQ(entries(editor, kPatchSelectionListUpper).size(), 1u);
  editor.GetParam(kPatchSelectionListUpper)->Set(2.0);
  EXPECT_LE(editor.GetParam(kPatchSelectionListUpper)->Value(), 1.0);

  // Any other list type only resets the columns.
  lib->upperFileIndex = 0;
  editor.patchTypeChanged(0, 2, false);
  EXPECT_EQ(entries(editor, kPatchSelectionListUpper).size(), 1u);
}

TEST(BankLists, GridColumnsReloadOnlyForKnownSides)
{
  DataFolder data;
  writeBank(data, "one.syx", 1);
  writeBank(data, "two.syx", 2);
  EditorUnderTest editor;
  // Two banks: a column on the bank of the other follows it (one bank, one list).
  editor.patchLibrarian->upperFileIndex = 0;
  editor.patchLibrarian->lowerFileIndex = 1;
  editor.updatePatchLibrarianView(2);
  PatchFile* bank = editor.patchLibrarian->patchFiles.at(0);
  ASSERT_NE(editor.librarianView, nullptr);
  const std::string shown = editor.librarianView->slotText(0, 4);
  bank->patches[4].name = "Renamed";
  editor.patchLibrarian->patchFiles.at(1)->patches[7].name = "Lower";
  editor.updatePatchLibrarianView(3);
  editor.updatePatchLibrarianView(-1);
  EXPECT_EQ(std::string(editor.librarianView->slotText(0, 4)), shown);
  editor.updatePatchLibrarianView(0);
  EXPECT_EQ(std::string(editor.librarianView->slotText(0, 4)), "Renamed");
  EXPECT_NE(std::string(editor.librarianView->slotText(1, 7)), "Lower");
  editor.updatePatchLibrarianView(2);
  EXPECT_EQ(std::string(editor.librarianView->slotText(1, 7)), "Lower");
}

TEST(BankLists, MenusInTheirLayersAndTheLibrarianPage)
{
  DataFolder data;
  writeBank(data, "one.syx", 1);
  EditorUnderTest editor;
  // Hidden until the librarian page opens, which shows all but the search chooser.
  struct Want
  {
    const char* name;
    int id;
    bool shownOnPage;
  };
  const Want wants[] = {{"LeftPatchPopupMenu", 70, true}, {"RightPatchPopupMenu", 71, true},
                        {"BANKEDITMENU", 74, true}, {"RightSearchPopupMenu", 78, false}};
  for (const Want& w : wants)
  {
    SCOPED_TRACE(w.name);
    ControlLayer* l = layerByName(editor, w.name);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->id, w.id);
    ASSERT_EQ(l->controls.GetSize(), 1);
    EXPECT_TRUE(l->controls.Get(0)->IsHidden());
  }
  ASSERT_NE(editor.librarianView, nullptr);
  EXPECT_FALSE(editor.librarianView->dragEnabled);
  editor.bankEditPopupMenu->mainMenu.Empty();
  editor.userSets(kMainPage, 1);
  EXPECT_TRUE(editor.librarianView->dragEnabled);
  EXPECT_EQ(editor.bankEditPopupMenu->mainMenu.GetNItems(), 15);
  for (const Want& w : wants)
    EXPECT_EQ(layerByName(editor, w.name)->controls.Get(0)->IsHidden(), !w.shownOnPage) << w.name;
  // Unsaved edits hide the upper chooser; the caption beneath it still names the
  // bank being edited, takes no click, and leaves with the page.
  IControl* caption = editor.upperBankCaption;
  ASSERT_NE(caption, nullptr);
  const IRECT r = caption->GetRECT();
  editor.SetLibrarianStatusUnsaved(true);
  EXPECT_TRUE(layerByName(editor, "LeftPatchPopupMenu")->controls.Get(0)->IsHidden());
  EXPECT_FALSE(caption->IsHidden());
  EXPECT_EQ(editor.upperBankCaption->caption(), "UPPER: Patches / one.syx");
  EXPECT_NE(editor.graphics->GetMouseControlIdx((r.L + r.R) / 2, (r.T + r.B) / 2), caption);
  editor.userSets(kMainPage, 2);
  EXPECT_TRUE(caption->IsHidden());
  // The grid's stand-ins of the hardware side.
  editor.selectLibrarianGridSlot(33);
  EXPECT_EQ(editor.librarianView->upperSelected, 33);
  EXPECT_EQ(editor.librarianView->currentSlot, 33);
  // A request "by slot" changes the hardware to the grid's current slot.
  editor.librarianView->currentSlot = 42;
  editor.sendSinglePatchRequestSysexFromLibrarian(false, 0);
  EXPECT_EQ(editor.librarianProgramNumber, 42);
}

}  // namespace
