#pragma once
// A controller stand-in for the librarian page's view: it records every call the
// views make, feeds stored programs into the librarian as the hardware path would,
// and answers popup menus from a script.

#include "LibrarianTestSupport.h"
#include "gui/GuiTestUtil.h"
#include "hardware/MIDIMessageSender.h"
#include "librarian/LibrarianViewHost.h"
#include "librarian/view/LibrarianViewControl.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// Answers each popup with the script's choice: the menu in which an item is chosen
// (the top menu or one of its submenus) and its position, or null to dismiss.
class ScriptedGraphics : public HeadlessGraphics
{
public:
  using Script = std::function<IPopupMenu*(IPopupMenu* top)>;
  explicit ScriptedGraphics(IPlugBase* plug) : HeadlessGraphics(plug, 1500, 667) {}
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* rect) override
  {
    ++menusShown;
    menuRect = *rect;
    shownMenus.push_back(menu);
    if (scripts.empty())
    {
      ADD_FAILURE() << "a popup menu opened with no scripted answer";
      return nullptr;
    }
    Script s = scripts.front();
    scripts.erase(scripts.begin());
    return s(menu);
  }
  std::vector<Script> scripts;
  std::vector<IPopupMenu*> shownMenus;
};

// Chooses item `position` of the menu reached from the top through the submenu items
// at `path` positions.
inline ScriptedGraphics::Script choose(std::vector<int> path, int position)
{
  return [path, position](IPopupMenu* top) -> IPopupMenu* {
    IPopupMenu* m = top;
    for (int p : path)
    {
      IPopupMenuItem* item = m ? m->GetItem(p) : nullptr;
      m = item ? item->GetSubmenu() : nullptr;
    }
    if (!m) return nullptr;
    m->SetChosenItemIdx(position);
    return m;
  };
}
inline ScriptedGraphics::Script dismiss()
{
  return [](IPopupMenu*) -> IPopupMenu* { return nullptr; };
}

class FakeViewHost : public LibrarianViewHost
{
public:
  PatchLibrarian* lib = nullptr;
  IGraphics* graphics = nullptr;
  LibrarianViewControl* grid = nullptr;
  std::vector<std::string> calls;  // "name args" of every call that does something
  std::map<int, double> params;
  std::map<std::pair<int, int>, std::string> displayEntries;
  std::map<std::string, bool> hidden, grayed;
  bool renameClosed = true, searchActive = false;
  bool busy = false, outputChosen = true, busyAfterStart = true;
  int part = 0;
  std::string folder[2], name[2], path[2];
  std::string root;
  std::vector<SenderJob> jobs;

  void record(const std::string& s) { calls.push_back(s); }
  int count(const std::string& prefix) const
  {
    int n = 0;
    for (const std::string& c : calls)
      if (c.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
  }

  LibrarianViewControl* librarianViewControl() override { return grid; }
  void sendPatchToDeviceFromLibrarian(int slot, int column) override
  {
    record("send " + std::to_string(slot) + " " + std::to_string(column));
  }
  void SetLibrarianStatusUnsaved(bool on) override { record(std::string("unsaved ") + (on ? "1" : "0")); }
  // The librarian's own program lands in the selected slot of the upper bank, named
  // from the dump.
  bool feedSysExFromLibrarian(const uint8_t* msg, int size) override
  {
    record("feed " + std::to_string(size));
    if (!lib) return false;
    PatchFile tmp;
    lib->addSysexMessage(msg, size, &tmp);
    return !tmp.patches.empty() && lib->setSysexDatatoSelectedSlot(&tmp.patches[0]);
  }
  void showFileEditMenu(int x, int y) override { record("editMenu " + std::to_string(x) + " " + std::to_string(y)); }
  void showFileCopyMenu(int x, int y) override { record("copyMenu " + std::to_string(x) + " " + std::to_string(y)); }
  void hideLayerNamed(const char* n, bool h) override { hidden[n] = h; }
  void grayLayerNamed(const char* n, bool g) override { grayed[n] = g; }
  void setRenameClosed(bool c) override { renameClosed = c; }
  bool librarianSearchActive() override { return searchActive; }
  double GetParamValue(int idx) override { return params[idx]; }
  void SetParamValue(int idx, double v) override { params[idx] = v; }
  void SetParameterFromPlug(int idx, double v) override
  {
    params[idx] = v;
    record("fromPlug " + std::to_string(idx) + " " + std::to_string((int)v));
  }
  void setParamDisplayEntry(int idx, int v, const std::string& t) override { displayEntries[{idx, v}] = t; }
  void OnParamChange(int idx) override { record("paramChange " + std::to_string(idx)); }
  IGraphics* librarianGraphics() override { return graphics; }
  std::string bankFolder(int c) override { return folder[c ? 1 : 0]; }
  std::string bankName(int c) override { return name[c ? 1 : 0]; }
  std::string bankPath(int c) override { return path[c ? 1 : 0]; }
  void setBankChoice(int c, const std::string& f, const std::string& n, const std::string& p) override
  {
    folder[c ? 1 : 0] = f;
    name[c ? 1 : 0] = n;
    path[c ? 1 : 0] = p;
  }
  bool midiOutputChosen() override { return outputChosen; }
  int editedPart() override { return part; }
  bool startSenderJob(const SenderJob& job) override
  {
    if (busy) return false;
    if (job.atStart) job.atStart();
    jobs.push_back(job);
    record("job " + std::to_string(job.command) + " part " + std::to_string(job.partIndex) + " target " +
           std::to_string(job.requestTarget));
    busy = busyAfterStart;
    return true;
  }
  void setManagerPatchRequested(bool on) override { record(std::string("patchRequested ") + (on ? "1" : "0")); }
  void setManagerTransferStarted(bool on) override { record(std::string("transferStarted ") + (on ? "1" : "0")); }
  void prepareArrangementPush() override { record("preparePush"); }
  void prepareAllPatchesRequest() override { record("prepareAll"); }
  bool sendSinglePatchRequestSysexFromLibrarian(bool skip, int slot) override
  {
    record("singleRequest " + std::to_string(skip) + " " + std::to_string(slot));
    return true;
  }
  void SendSingleProgramFromLibrarian(bool store) override { record("sendSingle " + std::to_string(store)); }
  void SendAllProgramsFromLibrarian() override { record("sendAll"); }
  void saveImportedFile(bool mid) override { record("import " + std::to_string(mid)); }
  void ImportSinglePatches() override { record("importSingles"); }
  void OpenDataDirectory(bool manual) override { record("openData " + std::to_string(manual)); }
  void OpenHelpTopics(int page) override { record("help " + std::to_string(page)); }
  std::string patchesFolderPath() override { return root; }
  void librarianBankSaved(bool asNew) override { record("saved " + std::to_string(asNew)); }
  bool upperBankOpenForRequest() override
  {
    const bool open = lib && lib->bankAt(lib->upperFileIndex);
    if (!open) record("no bank");
    return open;
  }
  std::string promptForSavePath(const std::string& n, const std::string& f, const char* ext) override
  {
    record("prompt " + n + " | " + f + " | " + ext);
    return promptAnswer;
  }
  std::string promptAnswer;
};
