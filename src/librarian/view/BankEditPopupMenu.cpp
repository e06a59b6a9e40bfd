#include "librarian/view/BankEditPopupMenu.h"

#include "config/ParamIds.h"
#include "hardware/MIDIMessageSender.h"
#include "librarian/LibrarianViewHost.h"
#include "librarian/PatchLibrarian.h"

#include <filesystem>
#include <system_error>

namespace {

std::string stemOf(const std::string& name)
{
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

BankEditPopupMenu::BankEditPopupMenu(IPlugBase* plugBase, PatchLibrarian* lib, const IRECT& rect,
                                     LibrarianViewHost* host)
  : LibrarianMenuControl(plugBase, lib, rect, host)
{
  AddMenuItemsIn(plug);
}

BankEditPopupMenu::~BankEditPopupMenu()
{
  // The main menu's items only borrow the submenus: empty it first.
  mainMenu.Empty();
  for (IPopupMenu* m : {&requestMenu, &storeMenu, &saveAsMenu, &importMenu, &otherMenu}) m->Empty();
}

void BankEditPopupMenu::AddMenuItemsIn(LibrarianViewHost*)
{
  mainMenu.Empty();
  for (IPopupMenu* m : {&requestMenu, &storeMenu, &saveAsMenu, &importMenu, &otherMenu}) m->Empty();

  requestMenu.AddItem("from Active Slot to Plug-in GUI");
  requestMenu.AddItem("from Active Slot to Librarian");
  requestMenu.AddItem("from Currently Selected Location");
  requestMenu.AddSeparator();
  requestMenu.AddItem("All Patches from Memory");
  mainMenu.AddItemBorrowing("Request Patch Data", &requestMenu);
  mainMenu.AddSeparator();

  storeMenu.AddItem("To Currently Selected Location");
  storeMenu.AddSeparator();
  storeMenu.AddItem("All Current Patches to Hardware");
  mainMenu.AddItemBorrowing("Store Patch Data", &storeMenu);
  mainMenu.AddSeparator();

  mainMenu.AddItem("Sync Current Data from HW");
  mainMenu.AddItem("Push Current Data to HW");
  mainMenu.AddSeparator();
  mainMenu.AddItem("Save (Overwrite current bank)");

  saveAsMenu.AddItem("Standard MIDI (*.mid)");
  saveAsMenu.AddItem("Davrel Format (*.dvl)");
  mainMenu.AddItemBorrowing("Save As...", &saveAsMenu);
  mainMenu.AddSeparator();

  importMenu.AddItem("Standard MIDI (*.mid)");
  importMenu.AddItem("SysEx (*.syx / *.dvl / *.wvb)");
  importMenu.AddItem("microRudu PRG (*.prg)", 2, IPopupMenuItem::kDisabled);
  mainMenu.AddItemBorrowing("Import...", &importMenu);
  mainMenu.AddItem("Refresh Folders");

  otherMenu.AddItem("Open Data Folder");
  otherMenu.AddItem("Open Support Ticket");
  otherMenu.AddItem("Check for Updates");
  otherMenu.AddItem("DAW Setup Guides");
  otherMenu.AddItem("Open User Manual", 1, IPopupMenuItem::kDisabled);
  mainMenu.AddItemBorrowing("Other Helpful things...", &otherMenu);
  mainMenu.AddSeparator();
  mainMenu.AddItem("About this Plug-in...");
}

void BankEditPopupMenu::doPopupMenu(LibrarianViewHost* host)
{
  IPopupMenu* chosen = showMenu(host, &mainMenu);
  if (chosen && host)
  {
    const int position = chosen->GetChosenItemIdx();
    const IPopupMenuItem* item = chosen->GetItem(position);
    // A disabled entry cannot be chosen, whatever the menu reports.
    if (item && item->GetEnabled() && !item->GetIsSeparator())
    {
      if (chosen == &mainMenu)
        runMain(position);
      else if (chosen == &requestMenu)
      {
        SenderJob job(kSendPartRequest);
        job.partIndex = host->editedPart();
        switch (position)
        {
          case 0: host->startSenderJob(host->editorRequest(kSendPartRequest, job.partIndex)); break;
          case 1: host->startSenderJob(job); break;  // requestTarget false: into the librarian
          case 2: host->sendSinglePatchRequestSysexFromLibrarian(false, 0); break;
          case 4: host->startSenderJob(host->allPatchesRequest()); break;
          default: break;
        }
      }
      else if (chosen == &storeMenu)
      {
        if (position == 0) host->SendSingleProgramFromLibrarian(true);
        if (position == 2) host->SendAllProgramsFromLibrarian();
      }
      else if (chosen == &saveAsMenu)
      {
        if (position == 0 || position == 1) saveUpperBankAs(position == 0);
      }
      else if (chosen == &importMenu)
      {
        if (position == 0 || position == 1)
        {
          host->saveImportedFile(position == 0);
          host->OnParamChange(kRefreshFolders);
        }
        else if (position == 2)
          host->ImportSinglePatches();
      }
      else if (chosen == &otherMenu)
      {
        switch (position)
        {
          case 0: host->OpenDataDirectory(false); break;
          case 1: host->OpenDataDirectory(true); break;
          case 2: host->OpenHelpTopics(0); break;
          case 3: host->OpenHelpTopics(1); break;
          case 4: host->OpenHelpTopics(2); break;
          default: break;
        }
      }
    }
  }
  for (IPopupMenu* m : {&mainMenu, &requestMenu, &storeMenu, &saveAsMenu, &importMenu, &otherMenu})
    m->CheckItemAlone(-1);
}

void BankEditPopupMenu::runMain(int position)
{
  LibrarianViewHost* host = plug;
  switch (position)
  {
    case 4: host->startSenderJob(host->editorRequest(kSendActiveArrangementRequest)); break;
    case 5:
    {
      if (!host->midiOutputChosen()) break;
      // The gates go up with the send only: a running request keeps its answer.
      SenderJob job(kSendArrangementToDevice);
      job.atStart = [host] {
        host->prepareArrangementPush();
        host->setManagerTransferStarted(true);
      };
      host->startSenderJob(job);
      break;
    }
    case 7: saveUpperBank(); break;
    case 11: host->OnParamChange(kRefreshFolders); break;
    case 14: host->hideLayerNamed("aboutWindow", false); break;
    default: break;
  }
}

void BankEditPopupMenu::saveUpperBank()
{
  if (!librarian) return;
  std::string path, name;
  {
    WDL_MutexLock lock(&librarian->libraryMutex);
    if (PatchFile* bank = librarian->bankAt(librarian->upperFileIndex))
    {
      name = bank->fileName;
      path = plug->patchesFolderPath() + "/" + bankPathKey(bank);
    }
  }
  // Nothing to save: said rather than silently passed over.
  if (path.empty()) return (void)plug->upperBankOpenForRequest();
  if (librarian->saveEditedPatch(path, name)) plug->librarianBankSaved(false);
}

void BankEditPopupMenu::saveUpperBankAs(bool isMid)
{
  if (!librarian) return;
  std::string suggested, folder = plug->patchesFolderPath();
  {
    WDL_MutexLock lock(&librarian->libraryMutex);
    PatchFile* bank = librarian->bankAt(librarian->upperFileIndex);
    if (bank)
    {
      // The bank's own name and folder: the user changes what differs.
      suggested = stemOf(bank->fileName) + (isMid ? ".mid" : ".dvl");
      const std::string key = bankPathKey(bank);
      const size_t sep = key.rfind('/');
      if (sep != std::string::npos) folder += "/" + key.substr(0, sep);
    }
    else
      suggested = std::string("New Bank") + (isMid ? ".mid" : ".dvl");
  }
  // No bank open (a first start with an empty data folder): Save As makes the first
  // bank, of initial programs, in the bank folder, which may not exist yet.
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  if (librarian->savePatchAs(suggested.c_str(), folder, isMid)) plug->librarianBankSaved(true);
}
