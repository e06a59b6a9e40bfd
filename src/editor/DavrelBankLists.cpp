// The bank lists of the librarian page and what hangs on them: the grid made by
// the configuration, the bank choosers and the bank edit menu in their layers, the
// slot menus, and the lists rebuilt after a rescan or a search.

#include "editor/Davrel.h"

#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "hardware/MIDIMessageManager.h"
#include "librarian/BankFormats.h"
#include "librarian/LibrarianFiles.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/BankChooserMenus.h"
#include "librarian/view/BankEditPopupMenu.h"
#include "librarian/view/FileSlotMenus.h"
#include "librarian/view/LibrarianViewControl.h"
#include "ui/ControlLayer.h"
#include "ui/EditorUIConfig.h"

#include <algorithm>
#include <cctype>

namespace {

// Where the librarian page's menus sit, in unscaled editor pixels: the upper
// chooser and the bank menu above the grid's upper bank, the lower chooser in the
// band between the two banks (the grid's upper bank is rows 97-353, the lower
// 399-655), clear of the top bar's display and buttons.
struct MenuRect
{
  int l, t, r, b;
  IRECT scaled(const Davrel& d) const { return d.scaledRect(l, t, r, b); }
};
const MenuRect kUpperChooserRect{54, 76, 469, 94}, kLowerChooserRect{54, 360, 469, 378},
    kBankMenuRect{484, 75, 600, 95};

}  // namespace

namespace {

// The configuration reader of the editor with the librarian grid of this controller.
class DavrelUIConfig : public EditorUIConfig
{
public:
  explicit DavrelUIConfig(Davrel* plug) : d(plug) {}

protected:
  IControl* createLibrarianView(int x, int y, int paramIdx, IBitmap* bitmap, const IRECT& rect) override
  {
    // The first frame's fonts need no banks: they load while the scan ends.
    if (d->graphics) d->graphics->PrepareTextAhead();
    d->finishStartUpScan();  // the grid shows the scanned banks at once
    LibrarianViewControl* grid =
        new LibrarianViewControl(d, d, x, y, paramIdx, bitmap, rect, d->patchLibrarian, d->uiScale);
    // The last program browser of the configuration is the grid.
    d->librarianView = grid;
    return grid;
  }

private:
  Davrel* d;
};

std::string lowerCase(std::string s)
{
  for (char& c : s) c = (char)tolower((unsigned char)c);
  return s;
}

// A list parameter emptied, with its range following the new entry count.
void resetList(IParam* p, int count)
{
  if (!p) return;
  const std::string name = p->GetNameForHost(), label = p->GetLabelForHost(), group = p->GetParamGroupForHost();
  p->ResetDisplayTexts();
  p->InitEnum(name.c_str(), 0, count, label.c_str(), group.c_str(), p->GetTag1(), p->GetTag2());
  p->Set(0.0);
}

}  // namespace

UIConfigManager* Davrel::makeLibrarianUIConfig() { return new DavrelUIConfig(this); }

std::string Davrel::bankDisplayName(const std::string& name, std::string* previousBase, int* counter, bool* renamed)
{
  *renamed = false;
  if (name.size() <= 52) return name;
  *renamed = true;
  const std::string base = name.substr(0, 47);
  *counter = base == *previousBase ? *counter + 1 : 1;
  *previousBase = base;
  const size_t dot = name.rfind('.');
  const std::string ext = lowerCase(dot == std::string::npos ? name : name.substr(dot + 1));
  return base + "~" + std::to_string(*counter) + "." + ext;
}

void Davrel::buildBankListsAndMenus()
{
  const int listIds[2] = {kPatchSelectionListUpper, kPatchSelectionListLower};
  const char* listNames[2] = {"Bank Selection List 1", "Bank Selection List 2"};
  for (int side = 0; side < 2; ++side)
  {
    IParam* p = GetParam(listIds[side]);
    const int n = (int)patchLibrarian->patchFiles.size();
    p->InitEnum(listNames[side], 0, n, "", "", -1, -1);
    for (int i = 0; i < n; ++i)
    {
      const std::string full = patchLibrarian->patchFiles[(size_t)i]->fileName;
      bool renamed = false;
      const std::string shown = startupBankName(full, &renamed);
      p->SetDisplayText(i, shown.c_str());
      if (renamed)
        logLine("PATCH LIBRARIAN: Filename " + full + " RENAMED TO " + shown +
                " Because the filename was too long to fit in plug-in display!");
    }
    (side ? lowerListControl : upperListControl) = firstControl(listIds[side]);
    // The bank's real name and path, not the list's shortened text: the choosers
    // find the bank again by them.
    if (n > 0) rememberBankChoice(side, std::min(std::max(p->Int(), 0), n - 1));

    if (!graphics) continue;
    if (side == 0)
    {
      ControlLayer* layer = new ControlLayer(70, "LeftPatchPopupMenu");
      leftPatchPopupMenu = new LeftPatchPopupMenu(this, patchLibrarian, kUpperChooserRect.scaled(*this), this);
      // Beneath the chooser, on the librarian page: the caption that stays while
      // unsaved edits hide the chooser.
      if (ControlLayer* page = findLayer("patchLibrarian"))
      {
        upperBankCaption = new BankCaption(this, kUpperChooserRect.scaled(*this), leftPatchPopupMenu);
        upperBankCaption->Hide(!page->visible);
        page->controls.Add(upperBankCaption);
      }
      layer->controls.Add(leftPatchPopupMenu);
      graphics->AttachLayer(layer);
      layer->Hide(true);
    }
    else
    {
      ControlLayer* layer = new ControlLayer(71, "RightPatchPopupMenu");
      rightPatchPopupMenu = new RightPatchPopupMenu(this, patchLibrarian, kLowerChooserRect.scaled(*this), this);
      layer->controls.Add(rightPatchPopupMenu);
      graphics->AttachLayer(layer);
      layer->Hide(true);
    }
  }
  if (graphics)
  {
    ControlLayer* layer = new ControlLayer(74, "BANKEDITMENU");
    bankEditPopupMenu = new BankEditPopupMenu(this, patchLibrarian, kBankMenuRect.scaled(*this), this);
    layer->controls.Add(bankEditPopupMenu);
    graphics->AttachLayer(layer);
    layer->Hide(true);

    layer = new ControlLayer(78, "RightSearchPopupMenu");
    rightSearchPopupMenu = new RightSearchPopupMenu(this, patchLibrarian, kLowerChooserRect.scaled(*this), this);
    layer->controls.Add(rightSearchPopupMenu);
    graphics->AttachLayer(layer);
    layer->Hide(true);
  }
  logLine("Librarian menus attached");
}

IRECT Davrel::scaledRect(int l, int t, int r, int b) const
{
  return IRECT((int)(l * uiScale), (int)(t * uiScale), (int)(r * uiScale), (int)(b * uiScale));
}

void Davrel::rememberBankChoice(int column, int index)
{
  if (!patchLibrarian) return;
  const std::vector<PatchFile*>& list =
      column && searchActive ? patchLibrarian->searchResultFiles : patchLibrarian->patchFiles;
  if ((unsigned)index >= list.size()) return;
  const PatchFile* b = list[(size_t)index];
  setBankChoice(column, b->folderName, b->fileName, bankPathKey(b));
}

void Davrel::setBankChoice(int column, const std::string& folder, const std::string& name, const std::string& path)
{
  (column ? lowerBankFolder : upperBankFolder) = folder;
  (column ? lowerBankName : upperBankName) = name;
  (column ? lowerBankPath : upperBankPath) = path;
  bankCaptionsChanged();
}

void Davrel::bankCaptionsChanged()
{
  for (IControl* c : {(IControl*)leftPatchPopupMenu, (IControl*)rightPatchPopupMenu, (IControl*)rightSearchPopupMenu,
                      (IControl*)upperBankCaption})
    if (c) c->SetDirty(false);
}

void Davrel::bankWriteFailed(const std::string& path, int errorNumber)
{
  const size_t sep = path.find_last_of('/');
  showNameLine("Bank not saved: ", sep == std::string::npos ? path : path.substr(sep + 1));
  // A short reason, from the write's own error: a look at the folder's permission
  // bits cannot see a read-only disk or a full one. The system's words, with the
  // whole path, ran out of the display; they are in the log (the writer's line).
  showValueLine(writeFailureText(errorNumber, "The file could not be written"));
}

void Davrel::setUpperBankFolder(const std::string& folder)
{
  if (folder != upperBankFolder) upperBankPath.clear();
  upperBankFolder = folder;
  bankCaptionsChanged();
}

void Davrel::setUpperBankName(const std::string& name)
{
  if (name != upperBankName) upperBankPath.clear();
  bankCaptionsChanged();
  upperBankName = name;
}

void Davrel::patchTypeChanged(int, int listType, bool rescan)
{
  if (!patchLibrarian) return;
  if (rescan) rescanKeepingUnsavedEdits();
  patchLibrarian->upperFileIndex = 0;
  patchLibrarian->lowerFileIndex = 0;
  if (librarianView)
  {
    librarianView->patchSelectionUpperChanged();
    librarianView->patchSelectionLowerChanged();
  }
  if (listType != 0 && listType != 4) return;

  std::vector<std::string> names;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    const std::vector<PatchFile*>& source =
        listType == 0 ? patchLibrarian->patchFiles : patchLibrarian->searchResultFiles;
    for (const PatchFile* b : source) names.push_back(b->fileName);
  }
  const int n = (int)names.size();
  std::vector<int> lists;
  if (listType == 0)
    lists = {kPatchSelectionListUpper, kPatchSelectionListLower, kCurrentOpenPatchBankL, kCurrentOpenPatchBankR,
             kCurrentOpenPerfBankL, kCurrentOpenPerfBankR};
  else
    lists = {kPatchSelectionListLower, kCurrentOpenPatchBankR, kCurrentOpenPerfBankR};
  for (int id : lists) resetList(GetParam(id), n);

  if (upperListControl) upperListControl->SetValueFromUserInput(0.0);
  if (lowerListControl) lowerListControl->SetValueFromUserInput(0.0);

  std::string previousBase;
  int counter = 0;
  for (int i = 0; i < n; ++i)
  {
    bool renamed = false;
    const std::string shown = bankDisplayName(names[(size_t)i], &previousBase, &counter, &renamed);
    if (renamed && debugLogEnabled)
      logLine("PATCH LIBRARIAN: Filename " + names[(size_t)i] + " RENAMED TO " + shown +
              " Because the filename was too long to fit in plug-in display!");
    for (int id : lists)
      if (IParam* p = GetParam(id)) p->SetDisplayText(i, shown.c_str());
  }
  refreshPopUpMenus();
}

void Davrel::rescanKeepingUnsavedEdits()
{
  // The upper bank's edits live only in memory until saved: a rescan (Refresh
  // Folders, an import) must not swap them for the file's old programs. Discard
  // clears the unsaved state before its rescan, so it does drop them.
  std::unique_ptr<PatchFile> edited;
  if (paramValue(kBankEditUnsaved) == 1.0)
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    if (const PatchFile* b = patchLibrarian->bankAt(patchLibrarian->upperFileIndex))
    {
      edited.reset(b->clone());
      edited->folderName = b->folderName;
      edited->pathFolders = b->pathFolders;
    }
  }
  patchLibrarian->initBankFilesOnDiscard(getPatchesFolderStr());
  reportImportSplit();
  if (!edited) return;
  WDL_MutexLock lock(&patchLibrarian->libraryMutex);
  const std::string key = bankPathKey(edited.get());
  for (PatchFile* b : patchLibrarian->patchFiles)
    if (bankPathKey(b) == key)
    {
      b->patches = edited->patches;
      patchLibrarian->slotNamesChanged();
      return;
    }
  // Its file is gone from the folder: the bank stays listed, and a save writes it anew.
  PatchFile* kept = edited.release();
  patchLibrarian->patchFiles.push_back(kept);
  patchLibrarian->createFolderFilesStructure(kept);
  patchLibrarian->slotNamesChanged();
}

void Davrel::refreshPopUpMenus()
{
  if (leftPatchPopupMenu)
    leftPatchPopupMenu->refreshFolderStructure(patchLibrarian, this, 0, upperBankName, upperBankFolder);
  BankChooserMenu* lower = searchActive ? static_cast<BankChooserMenu*>(rightSearchPopupMenu)
                                        : static_cast<BankChooserMenu*>(rightPatchPopupMenu);
  if (lower) lower->refreshFolderStructure(patchLibrarian, this, 0, lowerBankName, lowerBankFolder);
  if (librarianView)
  {
    librarianView->SetDirty(false);
    librarianView->patchSelectionUpperChanged();
    librarianView->patchSelectionLowerChanged();
  }
  bankCaptionsChanged();  // the captions name the banks now shown
}

void Davrel::updatePatchLibrarianView(int side)
{
  if (!librarianView || side < 0 || side > 2) return;
  librarianView->SetDirty(false);
  if (side != 1) librarianView->patchSelectionUpperChanged();
  if (side != 0) librarianView->patchSelectionLowerChanged();
  bankCaptionsChanged();
}

void Davrel::setLibrarianViewDirty()
{
  if (librarianView) librarianView->SetDirty(false);
}

void Davrel::setLibrarianGridDirty() { setLibrarianViewDirty(); }

void Davrel::selectLibrarianGridSlot(int slot)
{
  if (!librarianView || slot < 0 || slot > 127) return;
  librarianView->upperSelected = slot;
  librarianView->currentSlot = slot;
  librarianView->SetDirty(false);
}

int Davrel::librarianActiveColumn() { return librarianView ? librarianView->activeColumn.load() : 0; }

void Davrel::showFileEditMenu(int x, int y)
{
  // The previous menu has closed by now: a right click opens one at a time.
  fileEditPopupMenu.reset(new FileEditPopupMenu(this, patchLibrarian, IRECT(x, y, x, y), this));
  fileEditPopupMenu->doPopupMenu(this, x, y);
}

void Davrel::showFileCopyMenu(int x, int y)
{
  fileCopyPopupMenu.reset(new FileCopyPopupMenu(this, patchLibrarian, IRECT(x, y, x, y), this));
  fileCopyPopupMenu->doPopupMenu(this, x, y);
}

void Davrel::librarianPageShown()
{
  if (librarianView) librarianView->dragEnabled = true;
  if (bankEditPopupMenu) bankEditPopupMenu->AddMenuItemsIn(this);
}

void Davrel::hideLayerNamed(const char* name, bool hide)
{
  if (ControlLayer* l = findLayer(name)) l->Hide(hide);
}

void Davrel::grayLayerNamed(const char* name, bool gray)
{
  if (ControlLayer* l = findLayer(name)) l->GrayOut(gray);
}

void Davrel::setParamDisplayEntry(int paramIdx, int value, const std::string& text)
{
  if (IParam* p = GetParam(paramIdx)) p->SetDisplayText(value, text.c_str());
}

void Davrel::setManagerPatchRequested(bool on)
{
  if (midiMessageManager) midiMessageManager->patchRequested = on;
}

void Davrel::setManagerTransferStarted(bool on)
{
  if (midiMessageManager) midiMessageManager->transferStarted = on;
}

void Davrel::prepareArrangementPush()
{
  patchLoadingInProcess = true;
  sendGlobalWithProgram = true;
  partChangeActive = true;
}

void Davrel::prepareAllPatchesRequest()
{
  MIDIMessageManager* m = midiMessageManager;
  if (!m) return;
  m->libraryPatchRequest.libraryRequestActive = false;
  m->libraryPatchRequestAll.clear();
  m->libraryPatchRequestAll.libraryRequestAllActive = true;
  m->dataProcessed = false;
}

bool Davrel::sendSinglePatchRequestSysexFromLibrarian(bool skipProgramChange, int slot)
{
  // The request's program change goes to the grid's current slot.
  if (librarianView && librarianView->currentSlot >= 0 && librarianView->currentSlot < 128)
    librarianProgramNumber = librarianView->currentSlot.load();
  if (!upperBankOpenForRequest() || !upperSlotChosenForRequest()) return false;
  return midiMessageManager && midiMessageManager->sendSinglePatchRequestSysexFromLibrarian(skipProgramChange, slot);
}

// A program asked for goes into the upper bank's selected slot: with none (the last
// click in the lower column, or beside the slots) its answer would have nowhere to go.
bool Davrel::upperSlotChosenForRequest()
{
  if (patchLibrarian && (uint32_t)patchLibrarian->selectedSlot.load() < (uint32_t)kBankSlots) return true;
  showNameLine("Select a Slot First!");
  logText("Request not sent: no slot of the upper bank is selected to take its answer");
  return false;
}

// Every answer of a request into the librarian goes to a slot of the upper bank;
// with none open the answers would be dropped one by one while the transfer
// reports success, so such a request is not started.
bool Davrel::upperBankOpenForRequest()
{
  if (patchLibrarian && patchLibrarian->bankAt(patchLibrarian->upperFileIndex)) return true;
  showNameLine("Open a Bank First!");
  return false;
}

bool Davrel::startSenderJob(const SenderJob& job)
{
  const bool intoLibrarian =
      job.command == kSendAllPatchRequest || (job.command == kSendPartRequest && !job.requestTarget);
  // A request refused here or dropped by its thread never armed a collector.
  if (intoLibrarian && !upperBankOpenForRequest()) return false;
  if (job.command == kSendPartRequest && !job.requestTarget && !upperSlotChosenForRequest()) return false;
  return startJob(job);
}

void Davrel::librarianBankSaved(bool asNewFile)
{
  const std::string saved = upperBankName;  // the file just written
  pushToControls(kBankEditUnsaved, 0.0);
  if (discardChangesLayerRight) discardChangesLayerRight->Hide(true);
  if (keepBankOpenLayer) keepBankOpenLayer->Hide(false);
  if (saveChangesLayer) saveChangesLayer->Hide(false);
  hideLayerNamed("LeftPatchPopupMenu", paramInt(kMainPage) != 1);
  // A new file is listed only after a rescan; the bank just saved stays shown, or,
  // saved outside the bank folder, the bank it was saved from.
  if (asNewFile)
  {
    std::string shown;
    if (patchLibrarian)
    {
      WDL_MutexLock lock(&patchLibrarian->libraryMutex);
      if (const PatchFile* b = patchLibrarian->bankAt(patchLibrarian->upperFileIndex)) shown = bankPathKey(b);
    }
    rescanKeepingUpperBank(savedBankKey(lastSavePath), shown);
  }
  // An earlier failure must not stay on the display over this success.
  showNameLine("Bank saved: ", saved);
  showValueLine("");
}

std::string Davrel::startupBankName(const std::string& name, bool* renamed)
{
  *renamed = false;
  if (name.size() < 50) return name;
  *renamed = true;
  const size_t dot = name.rfind('.');
  const std::string ext = lowerCase(dot == std::string::npos ? std::string() : name.substr(dot + 1));
  return name.substr(0, 44) + "~." + ext;
}
