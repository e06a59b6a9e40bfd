#pragma once
// What the librarian page's view (the grid, the bank choosers and the bank, slot edit
// and slot copy menus) asks of the editor controller. The controller implements it;
// every operation has a harmless default so the views also run with a small fake.
//
// Names shared with HardwareHost and LibrarianHost (same name, same signature) are
// meant to be satisfied by one override in the controller.
//
// Threads: every call comes from the main thread, in the window's event handling or
// the parameter dispatch, under the plug-in's mutex.

#include "hardware/MIDIMessageSender.h"
#include "librarian/LibrarianHost.h"

#include <string>

class IControl;
class IGraphics;
class LibrarianViewControl;

class LibrarianViewHost : public LibrarianHost
{
public:
  ~LibrarianViewHost() override {}

  // ---- the grid -----------------------------------------------------------------
  // The controller's grid (null before the configuration made one).
  virtual LibrarianViewControl* librarianViewControl() { return nullptr; }
  // Slot of the upper (column 0) or lower (column non-zero) bank to the hardware.
  virtual void sendPatchToDeviceFromLibrarian(int /*slot*/, int /*column*/) {}
  // True flags the upper bank changed (kBankEditUnsaved 1, the upper chooser hidden).
  virtual void SetLibrarianStatusUnsaved(bool /*unsaved*/) {}
  // The user acts in the grid: the display no longer speaks of the last control.
  virtual void dropControlLine() {}
  // The slot menus at a point of the editor (right click in the grid).
  virtual void showFileEditMenu(int /*x*/, int /*y*/) {}
  virtual void showFileCopyMenu(int /*x*/, int /*y*/) {}
  // Layers by name ("patchRename", "saveChangesLayer", "aboutWindow"); nothing for
  // a name the configuration lacks.
  virtual void hideLayerNamed(const char* /*name*/, bool /*hide*/) {}
  virtual void grayLayerNamed(const char* /*name*/, bool /*gray*/) {}
  // No rename box is open (the rename command is applied only while it is false).
  virtual void setRenameClosed(bool /*closed*/) {}
  // The lower column shows a search-results bank.
  virtual bool librarianSearchActive() { return false; }

  // ---- parameters ---------------------------------------------------------------
  virtual double GetParamValue(int /*paramIdx*/) { return 0.0; }
  // Writes the value clamped to the parameter's range; no control, no dispatch.
  virtual void SetParamValue(int /*paramIdx*/, double /*value*/) {}
  // A plain value to the parameter and every control bound to it; no dispatch.
  virtual void SetParameterFromPlug(int /*paramIdx*/, double /*value*/) {}
  // The display text of one entry of a parameter.
  virtual void setParamDisplayEntry(int /*paramIdx*/, int /*value*/, const std::string& /*text*/) {}
  // The first control bound to the parameter (kPatchSelectionListUpper/Lower), or null.
  virtual IControl* firstControlOf(int /*paramIdx*/) { return nullptr; }
  // The parameter dispatch, called directly (kRefreshFolders).
  virtual void OnParamChange(int /*paramIdx*/) {}
  // The drawing surface, which shows the popup menus (null: menus never open).
  virtual IGraphics* librarianGraphics() { return nullptr; }

  // ---- the bank chosen for a column (0 upper, 1 lower) ----------------------------
  // The folder name and the file name as the chooser menus compare them, and the
  // bank's whole path below "Patches" (bankPathKey), which tells apart banks of the
  // same folder and file name.
  virtual std::string bankFolder(int /*column*/) { return std::string(); }
  virtual std::string bankName(int /*column*/) { return std::string(); }
  virtual std::string bankPath(int /*column*/) { return std::string(); }
  virtual void setBankChoice(int /*column*/, const std::string& /*folder*/, const std::string& /*name*/,
                             const std::string& /*path*/)
  {
  }

  // ---- jobs and flags of the hardware side -------------------------------------
  virtual bool midiOutputChosen() { return false; }
  virtual int editedPart() { return 0; }  // the timbre being edited, 0 or 1
  // Starts the transfer job; false (nothing written) while the thread runs a job.
  virtual bool startSenderJob(const SenderJob& /*job*/) { return false; }
  virtual void setManagerPatchRequested(bool /*on*/) {}
  // A request whose answer goes to the editor: patchRequested goes up as it starts,
  // never before, so a request dropped while another waits leaves that one its answer.
  SenderJob editorRequest(int command, int partIndex = 0)
  {
    SenderJob job(command);
    job.partIndex = partIndex;
    job.requestTarget = true;
    job.atStart = [this] { setManagerPatchRequested(true); };
    return job;
  }
  virtual void setManagerTransferStarted(bool /*on*/) {}
  // patchLoadingInProcess, sendGlobalWithProgram and partChangeActive set before a push.
  virtual void prepareArrangementPush() {}
  // The single-program collector off; the all-programs collector emptied and armed;
  // dataProcessed cleared.
  virtual void prepareAllPatchesRequest() {}
  // The all-programs request, its collectors prepared as it starts: a request
  // dropped while another waits leaves that one's collector armed.
  SenderJob allPatchesRequest()
  {
    SenderJob job(kSendAllPatchRequest);
    job.atStart = [this] { prepareAllPatchesRequest(); };
    return job;
  }
  virtual bool sendSinglePatchRequestSysexFromLibrarian(bool /*skipProgramChange*/, int /*slot*/) { return false; }

  // ---- transfers, files, help ----------------------------------------------------
  virtual void SendSingleProgramFromLibrarian(bool /*store*/) {}
  virtual void SendAllProgramsFromLibrarian() {}
  virtual void saveImportedFile(bool /*isMid*/) {}
  virtual void ImportSinglePatches() {}
  virtual void OpenDataDirectory(bool /*manual*/) {}
  virtual void OpenHelpTopics(int /*page*/) {}
  // The bank root without a closing "/".
  virtual std::string patchesFolderPath() { return std::string(); }
  // The upper bank was written: by "Save" (asNewFile false) or "Save As..." (true).
  virtual void librarianBankSaved(bool /*asNewFile*/) {}
  // True when the upper column shows a bank; else says "Open a Bank First!".
  virtual bool upperBankOpenForRequest() { return true; }
};

// The whole path of a bank below the bank root: its pathFolders after "Patches"
// and its file name, joined by "/" (an empty text for null).
class PatchFile;
std::string bankPathKey(const PatchFile* bank);
