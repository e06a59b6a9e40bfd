#include "base/log.h"
#include "librarian/view/FileSlotMenus.h"

#include "hardware/MIDIMessageSender.h"
#include "librarian/LibrarianViewHost.h"
#include "librarian/view/LibrarianViewControl.h"

#include <cstdio>

const char* const kNoItemSelectedLine = "No item selected !!! ";

namespace {

void noItemSelected() { ConsoleLog("%s\n", kNoItemSelectedLine); }

}  // namespace

FileEditPopupMenu::FileEditPopupMenu(IPlugBase* plugBase, PatchLibrarian* lib, const IRECT& rect,
                                     LibrarianViewHost* host)
  : LibrarianMenuControl(plugBase, lib, rect, host)
{
  AddMenuItemsIn();
}

FileEditPopupMenu::~FileEditPopupMenu()
{
  mainMenu.Empty();
  requestMenu.Empty();
}

void FileEditPopupMenu::AddMenuItemsIn()
{
  mainMenu.Empty();
  requestMenu.Empty();
  mainMenu.AddItem("Paste");
  mainMenu.AddSeparator();
  mainMenu.AddItem("Rename");
  mainMenu.AddSeparator();
  mainMenu.AddItem("Initialize");
  requestMenu.AddItem("Temp from Hardware");
  requestMenu.AddItem("Program by Slot");
  mainMenu.AddItemBorrowing("Request", &requestMenu);
}

void FileEditPopupMenu::doPopupMenu(LibrarianViewHost* host, int x, int y)
{
  IPopupMenu* chosen = showMenu(host, &mainMenu);
  LibrarianViewControl* grid = host ? host->librarianViewControl() : nullptr;
  if (chosen == &mainMenu)
  {
    switch (chosen->GetChosenItemIdx())
    {
      case 0:
        if (grid) grid->PasteSlotData(x, y);
        break;
      case 2:
        if (grid) grid->renameSlot(x, y);
        break;
      case 4:
      {
        SenderJob job(kInitClassicPatch);
        job.initArg = false;
        job.atStart = [host] { host->setManagerPatchRequested(true); };
        host->startSenderJob(job);
        break;
      }
      default: break;
    }
  }
  else if (chosen == &requestMenu)
  {
    switch (chosen->GetChosenItemIdx())
    {
      case 0: host->sendSinglePatchRequestSysexFromLibrarian(true, 0); break;
      case 1: host->sendSinglePatchRequestSysexFromLibrarian(false, 0); break;
      default: break;
    }
  }
  else
    noItemSelected();
  mainMenu.CheckItemAlone(-1);
  requestMenu.CheckItemAlone(-1);
}

FileCopyPopupMenu::FileCopyPopupMenu(IPlugBase* plugBase, PatchLibrarian* lib, const IRECT& rect,
                                     LibrarianViewHost* host)
  : LibrarianMenuControl(plugBase, lib, rect, host)
{
  mainMenu.AddItem("Copy");
}

FileCopyPopupMenu::~FileCopyPopupMenu() { mainMenu.Empty(); }

void FileCopyPopupMenu::doPopupMenu(LibrarianViewHost* host, int x, int y)
{
  IPopupMenu* chosen = showMenu(host, &mainMenu);
  if (chosen == &mainMenu)
  {
    if (chosen->GetChosenItemIdx() == 0)
      if (LibrarianViewControl* grid = host ? host->librarianViewControl() : nullptr) grid->CopySlotData(x, y);
  }
  else
    noItemSelected();
  mainMenu.CheckItemAlone(-1);
}
