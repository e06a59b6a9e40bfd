#pragma once
// The editor's plug-in class: builds the editor and tears it down, dispatches
// every parameter change, sends control actions to the synthesizer, gates the
// MIDI that comes in, runs the audio callback that follows the host's transport
// and tempo, and saves and recalls the editing state with the host's project.
//
// Threads: the host's dispatch thread and the main thread call under
// IPlugBase::mMutex; so do the MIDI input thread (ProcessMidiMsg, ProcessSysEx)
// and the transfer jobs (HardwareHost::enterEditorLock, given up for their
// waits); the audio thread calls ProcessDoubleReplacing without it. Every flag
// shared between them is atomic; the output queue has a lock of its own, which
// the audio thread only ever tries.

#include "editor/EditorSettings.h"
#include "gui/IGraphicsStructs.h"
#include "hardware/HardwareHost.h"
#include "librarian/LibrarianViewHost.h"
#include "plug/IMidiQueue.h"
#include "plug/IPlugAU.h"
#include "ui/DisplayLines.h"

#include <atomic>
#include <exception>
#include <memory>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define DAVREL_BUNDLE_ID "com.Quiet Harbor Sound.audiounit.Davrel Editor x64"
#define DAVREL_VIEW_CLASS "Davrel_View_64"

class BankCaption;
class BankEditPopupMenu;
class ByteChunk;
class ControlLayer;
class FileCopyPopupMenu;
class FileEditPopupMenu;
class IControl;
class LeftPatchPopupMenu;
class LibrarianViewControl;
class RightPatchPopupMenu;
class RightSearchPopupMenu;
class ITextControl;
class MIDIMessageManager;
class PageHost;
class PatchFile;
class PatchLibrarian;
class PatchManager;
class UIConfigManager;
struct ControlAction;
struct SenderJob;

// The instance information the plug-in's factory gives the editor: its bundle and
// view class.
inline IPlugInstanceInfo DavrelInstanceInfo()
{
  IPlugInstanceInfo info;
  info.mBundleID.Set(DAVREL_BUNDLE_ID);
  info.mCocoaViewFactoryClassName.Set(DAVREL_VIEW_CLASS);
  return info;
}

class Davrel : public IPlugAU, public HardwareHost, public LibrarianViewHost
{
public:
  static const int kNumParams = 529;
  static const int kStoredParams = 473;  // ids 0..472 travel in the state chunk
  static const int kFilterClasses = 7;
  // The filter class of a filter switch's offset from its first switch.
  static int filterClassOf(int offset);

  explicit Davrel(IPlugInstanceInfo instanceInfo);
  ~Davrel() override;

  // ---- plug-in hooks ----
  void Reset() override;
  void OnParamChange(int paramIdx) override;
  void OnParamChange2(int paramIdx) override;
  // OnParamChange2 of the timbre tab for a layout change: the name and value lines
  // keep the control that caused it, the timbre line shows the timbre or the link.
  // Like every OnParamChange2 it ends a request's wait (patchRequested): the hardware
  // side calls it for a value the hardware sent.
  void redrawTimbrePage() override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  void ProcessMidiMsg(IMidiMsg* pMsg, bool fromDevice) override;
  void ProcessSysEx(ISysEx* pSysEx, bool fromDevice) override;
  bool SerializeState(ByteChunk* pChunk) override;
  // The next position, or 0 when the chunk is refused (nothing of it applied).
  int UnserializeState(ByteChunk* pChunk, int startPos) override;

  // ---- project state ----
  // withPatchManager false writes the reduced chunk of the snapshot.
  bool SerializeState2(ByteChunk* chunk, bool withPatchManager);
  // Reads the whole chunk before applying any of it: a chunk that is cut short or
  // not of this layout is refused with -1 and changes nothing.
  int UnserializeState2(ByteChunk* chunk, int startPos, bool withPatchManager);

  // ---- data folder ----
  std::string getDataFolder() const;
  std::string getPatchesFolderStr() const;
  int getPatchesFolderLength() const { return (int)getPatchesFolderStr().size(); }

  // ---- sending (Main thread unless said otherwise) ----
  void processControlAction(ControlAction* action, int paramIdx, double value);
  // Main, MIDI input and audio threads.
  void MIDIOutRoutingSwitch(IMidiMsg* msg) override;
  void sendMidiMsgAndLog(IMidiMsg* msg) override;
  bool checksumCheckAndSend(const unsigned char* bytes, int size) override;
  // "Set MIDI I/O First!" on the name line, unless a message from the hardware is
  // being handled: a value from the synthesizer's panel is only followed, and the
  // echo left unsent for want of a port refuses nothing the user did.
  void showPortMissing();
  void SendProgramChangeCommand(int program, int part) override;
  void SendPatchEditOnCommand();
  void SendPatchEditOffCommand();
  void sendSysExInitialization();
  void SendBankChangeCommand(int, int) override {}
  void AllSoundsOff();
  int getTimerValue() override;
  bool SendMidiMsg(IMidiMsg* msg) override { return IPlugAU::SendMidiMsg(msg); }
  bool SendMidiSysex2(std::vector<unsigned char> data) override { return IPlugAU::SendMidiSysex2(data); }
  void logSysExOutMessageByteInt(const std::vector<int>& message, int length) override;
  // The MIDI channel (0..15) of a timbre: its channel parameter, or the global
  // channel for a value of 16 or more.
  int partChannel(int part) const;

  // ---- lookups for the hardware router ----
  IControl* getCCControls(int channelKey, int cc, int subKey) override;
  IControl* getMsbLsbControl(int channelKey, int msb, int valueOffset, int lsb, int subKey) override;
  IControl* getSysexControl(int key1, int key2, int key3, int key4, int key5) override;
  int getProgramValueByParts(int part, int group, int index) override;
  void setProgramValueByParts(int part, int group, int index, int value) override;
  int controlParamIdx(IControl* control) override;
  void SetValueFromHardware(IControl* control, double normalizedValue) override;

  // ---- parameters as the hardware side reaches them ----
  int NParams() override { return IPlugBase::NParams(); }
  double GetParamValue(int paramIdx) override { return paramValue(paramIdx); }
  double GetParamMin(int paramIdx) override;
  double GetParamMax(int paramIdx) override;
  void SetParameterFromPlug(int paramIdx, double value) override { pushToControls(paramIdx, value); }
  void SetParamValue(int paramIdx, double value) override { setParamClamped(paramIdx, value); }
  void SetControlsOfParam(int paramIdx, double normalized) override;
  std::string GetParamDisplayText(int paramIdx) override;
  void SetParamDisplayText(int paramIdx, const std::string& text) override;
  void setProgramName(const std::string& name) override;
  void logText(const std::string& line) override { logLine(line); }
  OutputMark midiOutMark() override
  {
    const MidiOutPlace m = MidiOutMark();
    return {m.queued, m.refusedAtCall};
  }
  bool midiOutRefusedSince(const OutputMark& m) override { return MidiOutRefusedSince({m.queued, m.refusedAtCall}); }
  bool startPlacedMidiClock(int64_t firstNs, int64_t intervalNs) override { return StartMidiClock(firstNs, intervalNs); }
  unsigned long long stopPlacedMidiClock() override { return StopMidiClock(); }
  // The plug-in's mutex, as the MIDI input takes it.
  bool enterEditorLock(const std::atomic<bool>& closing) override { return EnterMutexUnless(closing); }
  void leaveEditorLock() override { mMutex.Leave(); }

  // ---- display and processing indicator ----
  // The central display's lines; the texts are also kept for the host and tests.
  void showNameLine(const std::string& text);
  // "Bank saved: " + name on the name line: too long for it, the name is shortened in
  // its middle and the words that say what happened stay whole and first.
  void showNameLine(const std::string& words, const std::string& name);
  void showValueLine(const std::string& text);
  void showValueLine(const std::string& words, const std::string& name);  // as the name line's
  // A control's name and value, as the value display writes them: they stay until the
  // next line, or until the user acts where no control shows its own.
  void showControlLine(const std::string& text);
  void dropControlLine() override;
  std::string nameLine() const;
  std::string valueLine() const;
  // The display lines as the page switching and the value display write them.
  void displayText(std::string name, std::string value, std::string cc);
  void displayTimbre(std::string text) { showTimbreLine(text); }
  void displayBuild(std::string text) { displayLines.displayBuild(std::move(text)); }
  void displaySequence1Values(const DisplayLines::StepTexts& texts) { displayLines.displaySequence1Values(texts); }
  void displaySequence2Values(const DisplayLines::StepTexts& texts) { displayLines.displaySequence2Values(texts); }
  void displaySequence3Values(const DisplayLines::StepTexts& texts) { displayLines.displaySequence3Values(texts); }
  static std::string getValueString(double value) { return DisplayLines::getValueString(value); }
  void DisplayProcessingIndicator(bool show) override;
  void showStatusText(const char* text) override { showNameLine(text ? text : ""); }
  void showSecondLineText(const char* text) override { showValueLine(text ? text : ""); }
  void showProgramNameText(const char* text) override;
  bool hasGraphics() override { return graphics != nullptr; }

  // ---- the librarian's side (the librarian page's transfers come later) ----
  void SetLibrarianRequestActive(bool toLibrarian) override;
  void SetLibrarianStatusUnsaved(bool unsaved) override;
  // "Bank saved: ..." leaves the name line once the bank is edited again or its
  // edits are discarded: it would claim the bank on screen is the one on disk.
  void dropBankSavedLine();

  // ---- value display and timbre linking (DavrelLink.cpp) ----
  // The central display for a change of paramIdx to value; with
  // onlyDisplayedTimbre, only a parameter of the timbre shown is displayed.
  void displayParamChange(int paramIdx, double value, bool onlyDisplayedTimbre);
  // Repeats a change on the linked parameter of the other timbre.
  void linkTimbres(ControlAction* action, int paramIdx, int intValue, double value);
  void showTimbreLine(const std::string& text);
  std::string timbreLine() const;
  std::string valueListEntry(const char* list, int index) override;
  void grayOutTimbreControls(bool gray) override;

  // ---- port menus ----
  // Gives the two device parameters the port lists as their entries.
  void refreshMidiPortMenus();
  // Test and host hook: called with every short message or body this instance
  // sends, on the sending thread.
  std::function<void(const unsigned char* bytes, int size)> onMidiSent;


  // ==== Librarian page: commands, transfers, file import, help (DavrelLibrarian.cpp) ====
  // Main thread unless said otherwise.
  // Sends slot of the upper (column 0) or lower bank to the hardware; the waits run
  // on the transfer thread. Also on the MIDI input thread (program changes).
  void sendPatchToDeviceFromLibrarian(int slot, int column) override;
  void SendSingleProgramFromLibrarian(bool store) override;
  void SendAllProgramsFromLibrarian() override;
  void storeAllPatchesToDeviceFromLibrarian(int column, int second);
  // After a program step: the program goes back to the hardware when a section is
  // locked; queued behind the running request job, never waited for here.
  void sendPartDataBackToHardware(int);
  bool anySectionLocked() override { return globalLocksActive || timbre1LocksActive || timbre2LocksActive; }
  // Any thread: a program of the librarian's own (import, paste, drop, rename,
  // init) to the router for its selected slot, past the gates meant for MIDI input;
  // it answers no request. True when the slot took it.
  bool feedSysExFromLibrarian(const uint8_t* msg, int size) override;
  // Bank import into "Patches" (asks before replacing a bank of the same name).
  void saveImportedFile(bool mid) override;
  // After a rescan: names the banks an imported file was split into.
  void reportImportSplit();
  std::string importAwaitingSplit;  // the imported file the next rescan splits
  // Program import into consecutive slots of the upper bank from the selected one on.
  void ImportSinglePatches() override;
  // One program event of an imported file; the position to go on from, 0 or -1 at the end.
  int ReadSysExDataFromPackage(ByteChunk* data, int& position, std::string path);
  void OpenDataDirectory(bool manual) override;
  void OpenHelpTopics(int page) override;
  std::string promptForSavePath(const std::string& suggestedName, const std::string& folder,
                                const char* extension) override;
  std::string lastSavePath;  // the path the last save chooser answered

  int currentProgram = 0;
  // The program's name as the editor last received, recalled or sent it: a name
  // entered the same is no change of the program and sends nothing.
  std::string knownProgramName;
  std::string lastPromptFolder;  // the folder the last file prompt ended in
  int importStored = 0, importLost = 0;
  // ==== end of the librarian page's block ====

  // ==== bank lists, the librarian grid and its menus (DavrelBankLists.cpp) ====
  // Rebuilds the bank lists: type 0 both from the bank files, 4 the lower one from
  // the search results; rescan first scans the bank folder again. Any other type
  // only resets both columns to the first bank.
  void patchTypeChanged(int unused, int listType, bool rescan);
  // Rebuilds the chooser menus (upper, then search or lower) and reloads the grid.
  void refreshPopUpMenus();
  // Reloads grid columns: 0 upper, 1 lower, 2 both; other values nothing.
  void updatePatchLibrarianView(int side) override;
  void setLibrarianViewDirty() override;
  void setLibrarianGridDirty() override;
  void selectLibrarianGridSlot(int slot) override;
  int librarianActiveColumn() override;
  void showFileEditMenu(int x, int y) override;
  void showFileCopyMenu(int x, int y) override;
  // The bank list entry of a file name (the rule of the list rebuilds): names over
  // 52 characters are shortened, a counter telling apart those of one beginning.
  // previousBase and counter carry the run; renamed tells whether it was shortened.
  static std::string bankDisplayName(const std::string& name, std::string* previousBase, int* counter,
                                     bool* renamed);
  // Records the bank at index of the column's list (patchFiles, or the search
  // results for the lower column while searchActive) as the column's bank.
  void rememberBankChoice(int column, int index);
  // The page switch reached the librarian page: dragging on, the bank edit menu refilled.
  void librarianPageShown();
  // The start-up rule for a list entry: names of 50 characters or more shortened.
  static std::string startupBankName(const std::string& name, bool* renamed);
  // The configuration reader that builds the grid for this controller.
  UIConfigManager* makeLibrarianUIConfig();
  // Start-up: both bank lists, then the choosers and the bank edit menu in their layers.
  void buildBankListsAndMenus();
  IRECT scaledRect(int left, int top, int right, int bottom) const;

  LibrarianViewControl* librarianView = nullptr;  // owned by its layer
  LeftPatchPopupMenu* leftPatchPopupMenu = nullptr;    // each owned by its layer
  BankCaption* upperBankCaption = nullptr;             // owned by the librarian page's layer
  RightPatchPopupMenu* rightPatchPopupMenu = nullptr;
  RightSearchPopupMenu* rightSearchPopupMenu = nullptr;
  BankEditPopupMenu* bankEditPopupMenu = nullptr;
  std::unique_ptr<FileEditPopupMenu> fileEditPopupMenu;  // the latest of each kind
  std::unique_ptr<FileCopyPopupMenu> fileCopyPopupMenu;
  IControl* upperListControl = nullptr;  // the first controls of 519 and 520
  IControl* lowerListControl = nullptr;
  // Beside upperBankName/Folder: the bank's whole path below "Patches".
  std::string upperBankPath, lowerBankPath;
  bool renameClosed = true;  // no rename box is open

  // LibrarianViewHost
  LibrarianViewControl* librarianViewControl() override { return librarianView; }
  void hideLayerNamed(const char* name, bool hide) override;
  void grayLayerNamed(const char* name, bool gray) override;
  void setRenameClosed(bool closed) override { renameClosed = closed; }
  bool librarianSearchActive() override { return searchActive; }
  void setParamDisplayEntry(int paramIdx, int value, const std::string& text) override;
  IControl* firstControlOf(int paramIdx) override { return firstControl(paramIdx); }
  IGraphics* librarianGraphics() override { return graphics; }
  std::string bankFolder(int column) override { return column ? lowerBankFolder : upperBankFolder; }
  std::string bankName(int column) override { return column ? lowerBankName : upperBankName; }
  std::string bankPath(int column) override { return column ? lowerBankPath : upperBankPath; }
  void setBankChoice(int column, const std::string& folder, const std::string& name, const std::string& path) override;
  bool midiOutputChosen() override { return midiOutSet; }
  int editedPart() override { return currentPart; }
  bool startSenderJob(const SenderJob& job) override;
  // True when the librarian has an upper bank for answers to land in; otherwise
  // the display says so and the caller starts nothing.
  bool upperBankOpenForRequest() override;
  bool upperSlotChosenForRequest();
  void setManagerPatchRequested(bool on) override;
  void setManagerTransferStarted(bool on) override;
  void prepareArrangementPush() override;
  void prepareAllPatchesRequest() override;
  bool sendSinglePatchRequestSysexFromLibrarian(bool skipProgramChange, int slot) override;
  std::string patchesFolderPath() override { return getPatchesFolderStr(); }
  void librarianBankSaved(bool asNewFile) override;
  void setUpperBankFolder(const std::string& folder) override;
  void setUpperBankName(const std::string& name) override;
  void bankWriteFailed(const std::string& path, int errorNumber) override;
  // The choosers draw the banks' names: a change redraws them.
  void bankCaptionsChanged();
  // ==== end of bank lists ====

  // ---- members (plain fields of the controller; shared ones atomic) ----
  IMidiQueue midiOutQueue{1024};
  // Taken under mMutex, so never held while mMutex is taken: sending lights an
  // indicator, whose control takes mMutex, and the audio thread sends what is due
  // with this lock given back.
  std::mutex midiOutQueueLock;
  std::vector<IMidiMsg> midiOutDue;  // the audio thread's messages of one block
  PatchManager* patchManager = nullptr;
  PatchLibrarian* patchLibrarian = nullptr;
  // The constructor's scan runs beside the making of the user interface; whatever
  // reads the banks first waits for it here (the librarian grid, else the end of
  // the configuration). An exception of the scan is thrown again by the wait.
  void finishStartUpScan();
  std::thread startUpScan;
  std::exception_ptr startUpScanError;
  IGraphics* graphics = nullptr;
  UIConfigManager* uiConfigManager = nullptr;
  IControl* progressIndicator = nullptr;
  MIDIMessageManager* midiMessageManager = nullptr;
  ControlLayer* progressLayer = nullptr;
  IControl* cancelButtons[2] = {nullptr, nullptr};
  IControl* renameButtons[2] = {nullptr, nullptr};  // OK and Cancel of the rename box, owned by its layer
  IControl* renameHint = nullptr;  // the rename box's line on the letters a name holds, owned by its layer
  IControl* mixerTab = nullptr;                      // the mixer page's tab, owned by the graphics

  std::string logFilePath, settingsFilePath;
  EditorSettings settings;  // settingsLines: settings.lines
  double uiScale = 1.0;
  int skinIndex = 0;
  std::atomic<bool> debugLogEnabled{false};

  // Shared with the hardware side (HardwareHost holds midiOutSet, the transfer
  // flags, the filter flags, the indicators, currentPart, sysexChannelByte and
  // globalBytes); the names the controller's own code uses for its flags:
  std::atomic<bool>& patchEditOn = editModeOn;
  std::atomic<bool>& globalSent = globalSettingsSent;
  std::atomic<bool>& sendClockTicks = sendMIDIClockInfo;
  std::atomic<bool>& sendClockStartStop = sendMIDIClockPointer;
  std::atomic<bool>& ledTracksIncoming = trackIncomingMidi;
  std::atomic<bool>& bufferedMidiOut = toDawBuffer;
  std::atomic<bool>& storeLibrarianSend = writeAfterSend;

  std::vector<int> programBytes;  // randomBytes: the hardware side's HardwareHost::randomBytes
  std::vector<int> timbre1LockParams, timbre2LockParams;

  double hostSampleRate = 0.0;
  std::atomic<int> dawOffset{0};
  std::atomic<bool> allSoundsOffPending{false};
  std::atomic<int> receivedChannelByte{0x30};
  std::atomic<uint32_t> sysExInitTime{0};
  std::string upperBankName, upperBankFolder, lowerBankName, lowerBankFolder;

  std::atomic<bool> clockJobStarted{false};
  std::atomic<int> arpTempoIndex{0};
  std::atomic<bool> transportRunning{false}, clockStartSent{false}, tempoSyncLogged{false},
      partRequestPending{false};
  std::atomic<bool> applyingHardwareValue{false}, linkingInProgress{false};
  // The names the value display and the linking use for the two flags.
  std::atomic<bool>& hardwareChangeActive = applyingHardwareValue;
  std::atomic<bool>& linkingActive = linkingInProgress;
  bool timbre1LocksActive = false, timbre2LocksActive = false, globalLocksActive = false;
  std::atomic<bool> recalling{false};
  // Set while a message from the hardware input is routed (MIDI input thread, under mMutex).
  std::atomic<bool> handlingHardwareInput{false};
  bool redrawingTimbrePage = false;  // under mMutex: the tab's own display lines are not written
  bool userTabChange = false;        // under mMutex: the tab is handled for a change of the user's
  bool freshStart = true;
  int midiInPortIndex = 0, midiOutPortIndex = 0;
  int subPageValue = 0;
  bool searchActive = false;
  // The drawing pass's own: what it last put on the screen.
  int shownLed[2] = {-1, -1};
  int shownDelayMs = -1, shownDelayBlock = -1;
  // The device menu entry (out, in) that shows its port missing, and its own text.
  int markedPortEntry[2] = {-1, -1};
  // The port lists the menus were last built from (output, input), and whether the
  // lists the port thread read were seen by OnIdle.
  std::vector<std::string> portMenuLists[2];
  unsigned portMenusFromReads = 0;
  std::string markedPortName[2];

  // Layers of the configuration (null when the configuration lacks one).
  ControlLayer *rootLayer = nullptr, *multiModeMixerLayer = nullptr, *patchLibrarianLayer = nullptr,
               *mainOscLayer = nullptr, *modSequenceLayer = nullptr, *globalSettingsLayer = nullptr,
               *aboutWindowLayer = nullptr, *firstRunNotificationLayer = nullptr, *midiFilterSettingsLayer = nullptr,
               *midiSettingsButtonLayer = nullptr, *patchRenameLayer = nullptr, *miniMixerLayer = nullptr,
               *timbreControlLayer = nullptr, *delayKnobLayer = nullptr, *delayMenuLayer = nullptr,
               *velocityLevelLayer = nullptr, *splitPointLayer = nullptr, *saveChangesLayer = nullptr,
               *releaseAllLocksLayer = nullptr, *discardChangesLayerRight = nullptr, *keepBankOpenLayer = nullptr,
               *searchFieldLayer = nullptr;
  // Controls of the configuration (the first bound to each parameter; null when none).
  DisplayLines displayLines;
  ITextControl* displayMIDIOutDelay = nullptr;
  IControl *deviceOutMenu = nullptr, *deviceInMenu = nullptr, *randomizeControl = nullptr;

  // The page switching's view of the controller.
  std::unique_ptr<PageHost> pageHost;

  // What the audio callback shows, handed over with atomics and put on the screen
  // by the drawing pass (OnIdle, under mMutex): the audio callback never takes
  // mMutex. The tempo index waits there until taken; the delay text is its two
  // numbers, the indicators midiLedOn.
  static constexpr int kNoTempoHandover = -1000000;
  std::atomic<int> audioTempoIndex{kNoTempoHandover};
  std::atomic<int> audioDelayMs{-1}, audioDelayBlock{0};
  void OnIdle() override;
  // The host's close: the workers and the clock stop before the port thread is
  // asked to end, so that an instance kept for a stuck port thread sends nothing.
  void StopOwnSenders() override { stopThreads(); }
  void OnMidiPortListsRead() override;
  void portMenusFromListsRead();
  // The tempo is more than a picture: sends and saved projects read kArpTempo with
  // the window closed too. The audio callback posts tempoWake (it never waits on
  // it), and tempoThread takes the index over under mMutex, with or without a
  // drawing pass; whichever of the two comes first applies it.
  void applyHostTempo();
  void runTempoHandover();
  struct TempoWake
  {
    TempoWake();
    ~TempoWake();
    void post();  // no lock, no wait: the audio thread's side
    void wait();
    struct mach_semaphore* sem = nullptr;  // null when none could be made: no handover thread
  } tempoWake;
  std::atomic<bool> tempoQuit{false};
  std::thread tempoThread;

  // Counters of what the audio callback started, for tests and the host.
  std::atomic<int> clockStartJobs{0}, clockStopJobs{0}, clockLoopJobs{0}, partRequestJobs{0};

protected:
  // The first steps of teardown: the MIDI input stopped, then every worker job
  // cancelled and its thread joined, so that no thread reaches the editor once any
  // of its parts goes. Calling it again does nothing.
  void stopThreads();

  // Job starts of the hardware side; false when the job could not start (no
  // manager yet, or its thread busy) and the caller's request is dropped.
  virtual bool startJob(const SenderJob& job);
  virtual void resetContinuousClock(bool stop);

  // The hardware router's entries behind the gates (the MIDI message manager's).
  virtual void routeMidiFromDevice(IMidiMsg* msg);
  virtual void routeMidiFromDAW(IMidiMsg* msg, int part);
  virtual void routeSysEx(ISysEx* msg, bool fromDevice);

  // The librarian page's commands (DavrelLibrarian.cpp); true when the call ends there.
  virtual bool onLibrarianCommand(int paramIdx, int intValue);
  PatchFile* librarianBank(int column);  // under the librarian's lock
  // False when no send job was started.
  bool sendLibrarianSlot(int slot, int column);
  void stepBank(int column, bool next);
  // The search field's text; true when the call ends (no result).
  bool searchEntered();
  // The lower column, its lists and chooser showing the search's banks (none
  // before a search or after one that found nothing).
  void showSearchResults();
  void renameSelectedSlot();
  void discardBankEdits();
  // The path of a saved file below the bank root ("" outside it).
  std::string savedBankKey(const std::string& path) const;
  // The rescan of patchTypeChanged: the upper bank's unsaved edits stay, in the bank
  // of the same path (listed anew when its file is gone).
  void rescanKeepingUnsavedEdits();
  // Rescans the bank folder and shows the bank of that path in the upper column,
  // or else the bank of the second path.
  void rescanKeepingUpperBank(const std::string& key, const std::string& otherwise = std::string());
  // The editor's program to the hardware (only with an output chosen) or, with
  // toLibrarian, into the upper bank; false when no send started.
  bool startProgramSend(bool toLibrarian);
  void stepProgram(int step);
  void chooseCopyTimbre(int paramIdx, int v);
  std::string promptForOpenPath(const char* extensions);
  // The current-program request as the follow-up of the running transfer job;
  // false when no job runs.
  virtual bool queueRequestAfterTransfer();
  void randomizePatch();
  // Values changed behind the records' backs (a dump, a randomized or recalled
  // program): a control moved back to the value it last sent must send it again.
  void forgetSentValues();
  // Set while the randomize entry dispatches its program request: the request
  // follows the program send instead of being dropped while that runs.
  bool requestFollowsSend = false;

private:
  friend class DavrelPageHost;
  friend class DavrelDisplayHost;
  friend class DavrelLinkHost;
  // The timbre page of a value from the hardware (quick page switch).
  void quickTabFromHardware(int timbre);
  // The sound page's zones after a change of a switch that decides which knobs it
  // shows (kVoiceAssign, kLfo1TempoSync, kLfo2TempoSync; base is the timbre-1
  // id), whichever side changed it: the user's dispatch and the hardware's (whose
  // OnParamChange2 ends a request's wait as it returns).
  void soundZoneReaction(int base, int v);
  // The timbre tab's handling after a change of the user's: the layout redraw, or
  // (layoutOnly false) the tab's whole OnParamChange2. Nothing came from the
  // hardware, so a request that waits for its answer keeps its patchRequested.
  void quickTabForUser(bool layoutOnly);
  // The processing indicator shown and hidden at once, which redraws the window
  // after a page, lock or bank change of the user's. While a transfer job runs the
  // indicator is the job's: it stays. Request state is left alone.
  void flashProcessingIndicator();
  // Its x: true when the About box was open.
  bool closeAboutWindow();
  // Escape: a click on the x (the rename box's Cancel) of the topmost open panel; false
  // when none is open.
  bool closeTopPanel();
  // The indicator's overlay, its buttons and the layers it hides (DisplayProcessingIndicator
  // without ending patchRequested).
  void showProcessingOverlay(bool show);
  bool transferJobRunning() const;
  void construct();
  void buildLayersAndControls();
  void applyStartValues();
  void applySettingChange(int paramIdx, int v);
  bool dispatchSettings(int paramIdx, double value, int v);
  void dispatchLocks(int paramIdx, int v);
  void sendStage(int paramIdx, double value, int v);
  // Shows a main page (1 librarian, 2 editor, 3 with the sequences, 4 global)
  // and the current timbre's copy of it.
  void switchPages(int page);
  // The sound page with the current timbre selected, as start-up and recall show it.
  void showStartPage();
  // The mixer page (page 0), from its tab.
  void showMixerPage();
  void lightLed(int timbre);
  void restoreFilterFlags();
  // A recalled value put on its parameter's step.
  void snapToStep(int id);
  bool selectOutputPort(int index, const std::string& name);
  // The port name of a device menu entry, without the mark a missing port's entry carries.
  std::string devicePortName(int paramIdx, int entry) const;
  // Drawing pass: marks the chosen entry of a device menu while its port is missing.
  void markMissingPort(int paramIdx, int chosen, bool missing);
  bool selectInputPort(int index, const std::string& name);
  // Whether the port took the message.
  bool sendShortNow(IMidiMsg* msg);
  // The send of sendMidiMsgAndLog on an open output: lights the timbre's indicator,
  // sends and logs what the port took. Any thread, the audio thread too (no mutex, no status line).
  void sendLitAndLog(IMidiMsg* msg);
  bool sendSysexBody(const std::vector<int>& body);
  bool sendSysexBytes(const unsigned char* bytes, int size, bool trace);
  // The hardware side's flags of the message being applied.
  bool midiMessageManagerValueFromIncoming() const;
  bool midiMessageManagerFromHost() const;
  void logLine(const std::string& text);
  void giveRawByteRanges();
  ControlLayer* findLayer(const char* name) const;
  IControl* firstControl(int paramIdx) const;
  ITextControl* firstText(int paramIdx) const;
  void pushToControls(int paramIdx, double plainValue);
  void setParamClamped(int paramIdx, double value);
  double paramValue(int paramIdx) const;
  int paramInt(int paramIdx) const;

  mutable std::mutex mDisplayLock;
  std::string mNameLine, mValueLine, mTimbreLine;
  std::atomic<bool> controlLineShown{false};  // the name line is a control's
  std::vector<std::vector<std::vector<int>>> mProgramStore;  // part, group, index
};
