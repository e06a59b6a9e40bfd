#include "librarian/view/BankChooserMenus.h"

#include "config/ParamIds.h"
#include "librarian/LibrarianViewHost.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/LibrarianViewControl.h"

#include <algorithm>

void MyMenuClass::addBank(PatchFile* bank)
{
  if (AddItem(bank->fileName.c_str())) itemBanks.push_back(bank);
}

void MyMenuClass::addFolder(const char* name, MyMenuClass* submenu)
{
  if (AddItem(name, submenu))
    itemBanks.push_back(nullptr);
  else
    delete submenu;
}

BankChooserMenu::BankChooserMenu(EKind kind, IPlugBase* plugBase, PatchLibrarian* lib, const IRECT& rect,
                                 LibrarianViewHost* host)
  : LibrarianMenuControl(plugBase, lib, rect, host), mKind(kind)
{
  const int c = column();
  refreshFolderStructure(librarian, plug, chosenFileIndex, plug ? plug->bankName(c) : std::string(),
                         plug ? plug->bankFolder(c) : std::string());
}

BankChooserMenu::~BankChooserMenu() { delete mainMenu; }

int BankChooserMenu::listParam() const
{
  return mKind == kUpperBanks ? kPatchSelectionListUpper : kPatchSelectionListLower;
}

std::string BankChooserMenu::caption() const
{
  if (!plug || !librarian) return std::string();
  // The bank the column shows, not the name last chosen: a search, a rescan or a
  // save to a file that is not listed leaves that name on a bank not shown.
  std::string folder, name;
  {
    WDL_MutexLock lock(&librarian->libraryMutex);
    const std::vector<PatchFile*>& list = banks();
    const int index = mKind == kUpperBanks ? librarian->upperFileIndex.load() : librarian->lowerFileIndex.load();
    if ((unsigned)index < list.size())
    {
      folder = list[(size_t)index]->folderName;
      name = list[(size_t)index]->fileName;
    }
  }
  std::string text = mKind == kUpperBanks ? "UPPER: " : mKind == kLowerBanks ? "LOWER: " : "FOUND: ";
  // A search's banks lie in no folder of their own.
  if (!folder.empty() && folder != name && mKind != kSearchBanks) text += folder + " / ";
  return text + (name.empty() ? std::string("(no bank)") : name);
}

const std::vector<PatchFile*>& BankChooserMenu::banks() const
{
  static const std::vector<PatchFile*> none;
  if (!librarian) return none;
  return mKind == kSearchBanks ? librarian->searchResultFiles : librarian->patchFiles;
}

bool BankChooserMenu::refreshFolderStructure(PatchLibrarian*, LibrarianViewHost*, int index, std::string fileName,
                                             std::string folderName)
{
  // The whole path of the bank last chosen tells apart banks of the same folder and
  // file name; it holds only while the caller names that same bank.
  std::string path;
  const int c = column();
  if (plug && plug->bankName(c) == fileName && plug->bankFolder(c) == folderName) path = plug->bankPath(c);

  // Deleting the top menu deletes every submenu with it (items own their submenus).
  MyMenuClass* fresh = new MyMenuClass;
  delete mainMenu;
  mainMenu = fresh;
  subFolderMenu = subFolderMenu2 = nullptr;
  menus.clear();
  menuFolderNames.clear();

  bool checked = false;
  buildTree(fileName, folderName, path, index, &checked);

  const std::vector<PatchFile*>& list = banks();
  int found = -1;
  for (size_t j = 0; j < list.size(); ++j)
  {
    const PatchFile* b = list[j];
    const bool match = path.empty() ? (b->folderName == folderName && b->fileName == fileName) : bankPathKey(b) == path;
    if (match) found = (int)j;
    // With a path the match is unique; without, the last one ends chosen.
    if (match && !path.empty()) break;
  }
  if (found >= 0)
  {
    applyChoice(found);
    checkMenuItemAlone(librarian, plug, found);
  }
  return true;
}

void BankChooserMenu::buildTree(const std::string& fileName, const std::string& folderName, const std::string& path,
                                int index, bool* checked)
{
  int running = 0;
  // Lists the bank and checks it when it is the one looked for.
  auto add = [&](MyMenuClass* menu, PatchFile* bank, const std::string& menuFolder) {
    menu->addBank(bank);
    const int position = menu->GetNItems() - 1;
    if (!*checked)
    {
      const bool byName = path.empty() ? (menuFolder == folderName && bank->fileName == fileName)
                                       : bankPathKey(bank) == path;
      if (byName || running == index)
      {
        menu->CheckItemAlone(position);
        *checked = true;
      }
    }
    ++running;
  };
  if (!librarian) return;
  const std::vector<FolderFiles*>& tree = mKind == kSearchBanks ? librarian->searchFolderTree : librarian->folderTree;
  for (size_t e = 0; e < tree.size(); ++e)
  {
    const FolderFiles* entry = tree[e];
    const bool last = e + 1 == tree.size();
    // The search's banks make one flat menu, whatever folders they came from.
    if (mKind != kSearchBanks && !entry->subFolders.empty())
    {
      for (const SubFolderFiles& sub : entry->subFolders)
      {
        subFolderMenu = new MyMenuClass;
        for (const SubFolderFiles2& sub2 : sub.subFolders)
        {
          subFolderMenu2 = new MyMenuClass;
          for (PatchFile* bank : sub2.files) add(subFolderMenu2, bank, bank->folderName);
          subFolderMenu->addFolder(sub2.name.c_str(), subFolderMenu2);
          menus.push_back(subFolderMenu2);
          menuFolderNames.push_back(sub2.name);
        }
        for (PatchFile* bank : sub.files) add(subFolderMenu, bank, bank->folderName);
        mainMenu->addFolder(sub.name.c_str(), subFolderMenu);
        menus.push_back(subFolderMenu);
        menuFolderNames.push_back(sub.name);
      }
      continue;
    }
    for (PatchFile* bank : entry->files) add(mainMenu, bank, "Patches");
    if (last)
    {
      menus.push_back(mainMenu);
      menuFolderNames.push_back("Patches");
    }
  }
  subFolderMenu = subFolderMenu2 = nullptr;
}

void BankChooserMenu::applyChoice(int j)
{
  if (plug)
  {
    plug->SetParamValue(listParam(), j);
    // The plain index goes to the list's controls as their normalized value.
    plug->SetParameterFromPlug(listParam(), j);
  }
  if (librarian) (mKind == kUpperBanks ? librarian->upperFileIndex : librarian->lowerFileIndex) = j;
}

void BankChooserMenu::checkMenuItemAlone(PatchLibrarian*, LibrarianViewHost*, int index)
{
  const std::vector<PatchFile*>& list = banks();
  if ((unsigned)index >= list.size()) return;
  const PatchFile* b = list[(size_t)index];
  bool found = false;
  for (MyMenuClass* menu : menus)
  {
    menu->CheckItemAlone(-1);
    if (found) continue;
    for (size_t k = 0; k < menu->itemBanks.size(); ++k)
      if (menu->itemBanks[k] == b)
      {
        menu->CheckItemAlone((int)k);
        found = true;
        break;
      }
  }
}

int BankChooserMenu::doPopupMenu(LibrarianViewHost* host, int& index)
{
  IPopupMenu* chosen = showMenu(host, mainMenu);
  if (!chosen) return 0;
  std::string folder, name, path;
  bool found = false;
  const std::vector<PatchFile*>& list = banks();
  for (size_t i = 0; i < menus.size(); ++i)
  {
    MyMenuClass* menu = menus[i];
    menu->CheckItemAlone(-1);
    if (found || menu != chosen) continue;
    found = true;
    const int position = menu->GetChosenItemIdx();
    menu->CheckItemAlone(position);
    name = menu->GetItemText(position);
    folder = menuFolderNames[i];
    const PatchFile* bank = (unsigned)position < menu->itemBanks.size() ? menu->itemBanks[(size_t)position] : nullptr;
    // The entry's own bank, found by identity: same-named banks elsewhere do not count.
    const auto it = bank ? std::find(list.begin(), list.end(), bank) : list.end();
    if (it != list.end())
    {
      index = (int)(it - list.begin());
      path = bankPathKey(bank);
    }
  }
  if (host) host->setBankChoice(column(), folder, name, path);
  return index;
}

void BankChooserMenu::openMenu(int, int)
{
  if (librarian) chosenFileIndex = mKind == kUpperBanks ? librarian->upperFileIndex.load() : librarian->lowerFileIndex.load();
  doPopupMenu(plug, chosenFileIndex);
  applyChoice(chosenFileIndex);
  if (LibrarianViewControl* grid = plug ? plug->librarianViewControl() : nullptr)
  {
    if (mKind == kUpperBanks)
      grid->patchSelectionUpperChanged();
    else
      grid->patchSelectionLowerChanged();
  }
}
