// Construction, Reset and teardown of the editor controller, its data folder,
// settings file, log, display lines and the lookups of layers and controls.

#include "editor/Davrel.h"

#include "base/log.h"
#include "config/ParamIds.h"
#include "config/UIConfigManager.h"
#include "ui/EditorUIConfig.h"
#include "ui/TabSwitchFunctions.h"
#include "editor/DebuggerOutput.h"
#include "editor/PatchManager.h"
#include "gui/IControl.h"
#include "gui/IControls.h"
#include "gui/ICustomControls.h"
#include "gui/IGraphics.h"
#include "gui/IGraphicsMac.h"
#include "gui/IGraphicsMacMapping.h"
#include "hardware/DumpLayout.h"
#include "hardware/MIDIMessageManager.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/FileSlotMenus.h"
#include "ui/ConfigGraphics.h"
#include "ui/ControlLayer.h"
#include "winsys/kernel.h"

#include <algorithm>
#include <utility>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

const char* const kDataFolder = "/Library/Audio/Presets/Quiet Harbor Sound/Rudu Davrel Editor/";
const char* const kEditorName = "Davrel Editor";
// The line of the progress overlay's box (unscaled window pixels; the box is drawn
// by the overlay's image at 520,240 - 1040,384, its cancel button at 860,340).
const int kProgressTextRect[4] = {530, 298, 1030, 330};

void collectLayers(ControlLayer* layer, const char* name, ControlLayer** found)
{
  if (!layer || *found) return;
  if (layer->name == name)
  {
    *found = layer;
    return;
  }
  for (int i = 0; i < layer->children.GetSize(); ++i) collectLayers(layer->children.Get(i), name, found);
}

IControl* controlInLayer(ControlLayer* layer, int paramIdx)
{
  if (!layer) return nullptr;
  for (int i = 0; i < layer->controls.GetSize(); ++i)
    if (IControl* c = layer->controls.Get(i); c && c->ParamIdx() == paramIdx) return c;
  for (int i = 0; i < layer->children.GetSize(); ++i)
    if (IControl* c = controlInLayer(layer->children.Get(i), paramIdx)) return c;
  return nullptr;
}

}  // namespace

Davrel::Davrel(IPlugInstanceInfo instanceInfo)
  : IPlugAU(instanceInfo, 98, "2-2", 0, kEditorName, "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
            FourCC("QhS1"), 128, true, true, true, 0)
{
  localControlOn = true;
  // The port lists are read once the editor is whole (its maker starts the port
  // thread, which calls back into it at once); the menus are built again then.
  midiOutDue.reserve(1024);  // a full queue, so that the audio thread does not allocate
  srand((unsigned)time(nullptr));
  hostSampleRate = GetSampleRate();

  // Data folder, log and settings.
  logFilePath = getDataFolder() + kEditorName + " LOG.txt";
  debugLogEnabled = DebuggerOutput::openDebugFile(logFilePath);
  // A lost port shows in a log a user sends in. The path is held by value: the
  // port layer's last line comes when this object's own parts are gone.
  if (debugLogEnabled)
    SetMidiPortLog([path = logFilePath](const std::string& line) { DebuggerOutput::appendDebugLine(path, line); });
  settingsFilePath = getDataFolder() + kEditorName + " UI.txt";
  if (settings.read(settingsFilePath))
  {
    uiScale = settings.scale();
    skinIndex = settings.skin();
  }
  logLine("INITIALIZATION STARTED!");
  logLine("Data folder located at " + getDataFolder());

  // Latency and parameters: all 529 stay hidden from the host's automation.
  SetLatency(128);
  initialize(instanceInfo, 0, kNumParams, "2-2", 0, kEditorName, "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
             FourCC("QhS1"), 128, true, true, true, 0);
  addNonAutomateParamCount(kNumParams);
  GetParam(kQuickTab)->InitEnum("Quick Tab", 0, 2);
  // The main page, 0 (mixer) to 4 (global settings): the configuration binds no
  // control that would give it its range, and without one every page above the
  // librarian was kept as 1.
  GetParam(kMainPage)->InitInt("Main Page", 2, 0, 4);

  patchManager = new PatchManager(this);
  logLine("PATCH MANAGER INITIALIZED...");

  patchLibrarian = new PatchLibrarian(this);
  // The librarian writes to this instance's log; with none, its lines are not even
  // composed. Other instances keep theirs.
  if (debugLogEnabled)
    patchLibrarian->logTarget.set(
        [path = logFilePath](const char* line) { DebuggerOutput::printDebugInfo(path, line); });
  else
    patchLibrarian->logTarget.set(nullptr);
  logLine("PATCH LIBRARIAN INITIALIZED...");
  patchLibrarian->upperFileIndex = 0;
  patchLibrarian->lowerFileIndex = 0;
  {
    const std::string patches = getPatchesFolderStr();
    startUpScan = std::thread([this, patches] {
      try
      {
        // The constructor's thread configures the interface meanwhile, then helps
        // (finishStartUpScan).
        patchLibrarian->loadPatchesFromFilesystem(patches, 1);
      }
      catch (...)
      {
        startUpScanError = std::current_exception();
      }
    });
  }
  // Should the constructor end by an exception, the scan is waited for first.
  struct WaitOnUnwind
  {
    std::thread& scan;
    ~WaitOnUnwind()
    {
      if (scan.joinable()) scan.join();
    }
  } waitOnUnwind{startUpScan};

  const int w = (int)(1500 * uiScale), h = (int)(667 * uiScale);
  graphics = MakeGraphics(this, w, h, 0);
  logLine("STARTING USER INTERFACE CONFIGURATION...");

  uiConfigManager = makeLibrarianUIConfig();
  connectConfigToGraphics(uiConfigManager, graphics);
  if (debugLogEnabled)
    uiConfigManager->setLogSink([this](const std::string& line) { DebuggerOutput::printDebugInfo(logFilePath, line); });
  uiConfigManager->readUIConfig(graphics, this, patchLibrarian, skinIndex, uiScale);
  finishStartUpScan();
  logLine("USER INTERFACE CONFIGURATION COMPLETED... BUILDING UI");

  buildLayersAndControls();
  giveRawByteRanges();
  graphics->AttachBackground(102, "resources/img/main-frame-bg.png", uiScale);
  AttachGraphics(graphics);
  logLine("Layers attached...");

  // The progress overlay with its two cancel buttons; its layer is attached last
  // so that it lies above every other.
  progressLayer = new ControlLayer(0, "PROGRESS");
  {
    // Loaded at the editor's size, like every other image: it dims the whole window
    // and its box lies under the button the factory scales.
    IBitmap overlay = graphics->LoadIBitmap(118, "resources/img/overlayer.png", uiScale, 1);
    ProgressIndicator* indicator =
        new ProgressIndicator(progressLayer, this, 0, 0, w, h, -1, &overlay, IRECT(0, 0, w, h));
    indicator->setTextArea(scaledRect(kProgressTextRect[0], kProgressTextRect[1], kProgressTextRect[2],
                                      kProgressTextRect[3]));
    progressIndicator = indicator;
    // The first button serves the librarian page, the second the editor pages; the
    // overlay has one box for both, so both sit in it. The factory scales the positions.
    cancelButtons[0] = uiConfigManager->createAutoOffSwitchControl("Cancel Data Request", kCancelDataRequest, 860, 340,
                                                                   "BUTTON_LIB_CANCEL_ID", 0, progressLayer, "Global");
    cancelButtons[1] = uiConfigManager->createAutoOffSwitchControl("Cancel Data Request", kCancelDataRequest, 860,
                                                                   340, "BUTTON_LIB_CANCEL_ID", 0, progressLayer, "Global");
    progressIndicator->Hide(true);
    progressLayer->Hide(true);
  }

  midiMessageManager = new MIDIMessageManager(this, patchManager, patchLibrarian, graphics);

  MakeDefaultPreset("-", 64);
  patchManager->init();
  logLine("Control set 1 attached");

  buildBankListsAndMenus();
  // The program the step buttons and the librarian select; no control defines it.
  if (GetParam(kCurrentPatch)->GetMax() < 127) GetParam(kCurrentPatch)->InitInt("Current Patch", 0, 0, 127);

  applyStartValues();
  // Last: nothing after it throws, so a failed construction leaves no thread behind.
  if (tempoWake.sem) tempoThread = std::thread([this] { runTempoHandover(); });
  pluginReady = true;
}

void Davrel::finishStartUpScan()
{
  if (!startUpScan.joinable()) return;
  // This thread's own work is done: it reads bank files for the scan instead of waiting.
  patchLibrarian->helpScan();
  startUpScan.join();
  if (startUpScanError) std::rethrow_exception(std::exchange(startUpScanError, nullptr));
  logLine("PATCH LIBRARIAN COMPLETED LOADING SINGLES...");
}

void Davrel::buildLayersAndControls()
{
  struct Ref
  {
    const char* name;
    ControlLayer** layer;
  };
  const Ref refs[] = {{"root", &rootLayer},
                      {"multiModeMixer", &multiModeMixerLayer},
                      {"patchLibrarian", &patchLibrarianLayer},
                      {"mainOscLayer", &mainOscLayer},
                      {"modSequence", &modSequenceLayer},
                      {"globalSettings", &globalSettingsLayer},
                      {"aboutWindow", &aboutWindowLayer},
                      {"firstRunNotification", &firstRunNotificationLayer},
                      {"midiFilterSettings", &midiFilterSettingsLayer},
                      {"midiSettingsButton", &midiSettingsButtonLayer},
                      {"patchRename", &patchRenameLayer},
                      {"miniMixer", &miniMixerLayer},
                      {"timbreControlLayer", &timbreControlLayer},
                      {"delayKnobLayer", &delayKnobLayer},
                      {"delayMenuLayer", &delayMenuLayer},
                      {"velocityLevelLayer", &velocityLevelLayer},
                      {"splitPointLayer", &splitPointLayer},
                      {"saveChangesLayer", &saveChangesLayer},
                      {"releaseAllLocksLayer", &releaseAllLocksLayer},
                      {"discardChangesLayerRight", &discardChangesLayerRight},
                      {"keepBankOpenLayer", &keepBankOpenLayer},
                      {"searchField", &searchFieldLayer}};
  int missing = 0;
  for (const Ref& r : refs)
    if (!(*r.layer = findLayer(r.name))) ++missing;
  // A configuration without some layer still starts; the reactions on it are skipped.
  if (missing) logLine("CONFIG READER: " + std::to_string(missing) + " editor layers missing in the configuration");

  if (rootLayer) rootLayer->Hide(false);
  if (multiModeMixerLayer)
  {
    multiModeMixerLayer->selectedChildId = -1;
    for (int i = 0; i < multiModeMixerLayer->children.GetSize(); ++i)
      multiModeMixerLayer->children.Get(i)->Hide(multiModeMixerLayer->children.Get(i)->id != -1);
  }
  for (ControlLayer* l : {aboutWindowLayer, firstRunNotificationLayer, midiFilterSettingsLayer,
                          midiSettingsButtonLayer, patchRenameLayer})
    if (l) l->Hide(true);
  // Escape closes our panels, as it closes the file panels and alerts.
  if (graphics) graphics->SetEscapeAction([this] { return closeTopPanel(); });

  randomBytes.assign(297, 0);
  programBytes.assign(297, 0);
  timbre1LockParams = {353, 355, 357, 359, 361, 367, 363, 365, 369, 371, 373, 375, 377, 379, 381, 383, 385, 387, 389};
  timbre2LockParams.clear();
  for (int id : timbre1LockParams) timbre2LockParams.push_back(id + 1);

  randomizeControl = firstControl(kRandomize);
  if (randomizeControl) randomizeControl->GrayOut(true);
  if (splitPointLayer) splitPointLayer->Hide(false);
  for (ControlLayer* l : {patchRenameLayer, saveChangesLayer, releaseAllLocksLayer, discardChangesLayerRight,
                          keepBankOpenLayer, searchFieldLayer})
    if (l) l->Hide(true);

  // The mixer page's tab: the show switches choose pages 1 to 4, none page 0.
  if (graphics)
  {
    ICommandButton* tab = new ICommandButton(this, scaledRect(10, 32, 50, 50), "MIXER", [this] { showMixerPage(); });
    tab->setLit([this] { return paramInt(kMainPage) == 0; });
    mixerTab = tab;
    graphics->AttachControl(tab);
  }

  // The rename box's answers: OK renames the slot to the name in the field, Cancel
  // closes the box and leaves the slot as it was. A click on OK ends the field's
  // editing, which renames before the button acts; a click on Cancel drops the
  // field's text instead.
  if (patchRenameLayer)
  {
    renameButtons[0] = new ICommandButton(this, scaledRect(760, 240, 840, 262), "OK", [this] {
      OnParamChange(kPatchRename);
    });
    renameButtons[1] = new ICommandButton(this, scaledRect(856, 240, 956, 262), "CANCEL", [this] {
      if (patchRenameLayer) patchRenameLayer->Hide(true);
      renameClosed = true;
    });
    renameButtons[1]->SetCancelsTextEntry(true);
    for (IControl* b : renameButtons) patchRenameLayer->controls.Add(b);
    // The field refuses letters a program name cannot hold as they are typed ("Café"
    // keeps "Caf"): the box says which it holds, from the field's own set.
    std::string marks;
    for (char c : MacMapping::TextEntryCharacters(kTypeText))
      if (!isalnum((unsigned char)c) && c != ' ') marks += c;
    IText small(std::max(8, (int)(12 * uiScale)), IColor(255, 190, 194, 200), "DejaVu Sans", IText::kStyleNormal,
                IText::kAlignNear);
    renameHint = new ITextControl(this, scaledRect(540, 276, 960, 292), &small,
                                  ("A name holds A-Z a-z 0-9, space and " + marks).c_str());
    patchRenameLayer->controls.Add(renameHint);
    patchRenameLayer->Hide(true);
  }
}

// Parameters the program dump fills with the raw byte itself, and that no control
// of the configuration sets up, carry the byte's whole range: clamped to the default
// 0..1 they would send back another byte than the hardware sent.
void Davrel::giveRawByteRanges()
{
  auto widen = [this](int id) {
    IParam* p = GetParam(id);
    if (!p || p->Type() != kTypeNone) return;
    const std::string name = "Dummy " + std::to_string(id);
    p->InitInt(name.c_str(), 0, 0, 127);
  };
  for (int id = kDummyParam01; id < kDummyParam01 + 40; ++id) widen(id);
  for (int r = 0; r < kProgramDumpRowCount; ++r)
    if (kProgramDumpRows[r].codec == kCodecByte && kProgramDumpRows[r].offset == 0 && kProgramDumpRows[r].param >= 0)
      widen(kProgramDumpRows[r].param + kProgramDumpRows[r].part);
}

void Davrel::applyStartValues()
{
  // The configuration's text controls carry no parameter index of their own: each
  // line is the first control of its parameter's action record.
  if (uiConfigManager) displayLines.bind(*uiConfigManager);
  displayMIDIOutDelay = firstText(kControlDisplayMIDIOutDelay);
  deviceOutMenu = firstControl(kDeviceOutSelection);
  deviceInMenu = firstControl(kDeviceInSelection);

  for (int id : {kReadFromTimbre1, kReadFromTimbre2, kLoadToTimbre1, kLoadToTimbre2, kControlLibrary, kGlobalSettings,
                 kShowLibrarian, kShowModSequence})
    if (IControl* c = firstControl(id)) c->SetValueFromUserInput(0.0);
  setParamClamped(kShowLibrarian, 0);
  setParamClamped(kShowModSequence, 0);
  knownProgramName = GetParam(kPatchName)->GetDisplayText(0);

  if (IControl* c = firstControl(kMultiPartMIDICh)) c->SetValueFromPlug(GetParam(kMultiPartMIDICh)->GetNormalized(0));
  if (IControl* c = firstControl(kMultiPartMIDICh + 1))
    c->SetValueFromPlug(GetParam(kMultiPartMIDICh + 1)->GetNormalized(1));
  setParamClamped(kGlobalMidiChannel, 0);
  sysexChannelByte = 0x30 + paramInt(kGlobalMidiChannel);
  receivedChannelByte = 0x30;
  logLine("Control set 2 attached... Resetting");

  Reset();

  for (int id : {kPatchSelectionListUpper, kPatchSelectionListLower})
    if (IControl* c = firstControl(id)) c->SetValueFromPlug(0.0);
  setParamClamped(kOverrideTempo, 1.0);
  setParamClamped(kDataType, 0);
  if (IControl* c = firstControl(kDataType)) c->SetValueFromPlug(0.0);
  setParamClamped(kCommonMode, 2.0);
  setParamClamped(kCommonVoices, 1.0);
  setParamClamped(kQuickTab, 0);
  currentPart = paramInt(kQuickTab);
  pushToControls(kLibSyncTimer, 2.0);
  pushToControls(kMainPage, 2.0);
  currentPart = paramInt(kQuickTab);
  showStartPage();

  graphics->AttachLayer(progressLayer);

  if (settings.skinControlValue() >= 0) pushToControls(kUserInterfaceSkin, settings.skinControlValue());
  if (settings.sizeIndex() >= 0) pushToControls(kUserInterfaceSize, settings.sizeIndex());
  if (settings.showFirstRunNotice() && firstRunNotificationLayer) firstRunNotificationLayer->Hide(false);

  // Filter and clock switches.
  struct Start
  {
    int param;
    double value;
  };
  const Start starts[] = {{kMIDIFilterDAWCCPassThrough, 1}, {kMIDIFilterDAWCCPassThrough + 1, 0},
                          {kMIDIFilterDAWCCPassThrough + 2, 1}, {kMIDIFilterDAWCCPassThrough + 3, 1},
                          {kMIDIFilterDAWCCPassThrough + 4, 1}, {kMIDIFilterDAWCCPassThrough + 5, 1},
                          {kMIDIFilterDAWCCPassThrough + 6, 0}, {kMIDIFilterHWCCPassThrough, 1},
                          {kMIDIFilterHWCCPassThrough + 1, 0}, {kMIDIFilterHWCCPassThrough + 2, 1},
                          {kMIDIFilterHWCCPassThrough + 3, 1}, {kMIDIFilterHWCCPassThrough + 4, 1},
                          {kMIDIFilterHWCCPassThrough + 5, 1}, {kMIDIFilterHWCCPassThrough + 6, 1},
                          {kMIDIFilterTrackIncomingMIDI, 1}, {kMIDIFilterDirectToHardware, 1},
                          {kMIDIFilterToDAWBuffer, 0}, {kSendMIDIClockPointer, 0},
                          {kSendMIDIClockInfo, 0}};
  // The parameters hold the start values too: a project saved from a fresh editor,
  // or the state put back after a refused one, derives the flags from them.
  for (const Start& s : starts)
  {
    setParamClamped(s.param, s.value);
    if (IControl* c = firstControl(s.param)) c->SetValueFromPlug(s.value);
  }
  restoreFilterFlags();

  for (int id = 0; id < kNumParams; ++id)
  {
    const int v = (int)GetParam(id)->Value();
    if (v > 0) pushToControls(id, v);
  }
  if (paramValue(kGlobalLocalControl) == 0.0) localControlOn = false;
  refreshMidiPortMenus();
  logLine("Plug-in is ready to load!");
  showStartPage();
}

void Davrel::stopThreads()
{
  // Every send path refuses from here on, before anything stops or goes; then no
  // message reaches the editor once its objects start to go.
  midiOutSet = false;
  StopMidiInput();
  if (tempoThread.joinable())
  {
    tempoQuit = true;
    tempoWake.post();
    tempoThread.join();
  }
  // The manager cancels and joins the worker threads, whose jobs still write the
  // program name into the patch manager: it goes first.
  delete midiMessageManager;
  midiMessageManager = nullptr;
}

Davrel::~Davrel()
{
  stopThreads();
  delete patchManager;
  patchManager = nullptr;
  delete patchLibrarian;
  patchLibrarian = nullptr;
  delete uiConfigManager;
  uiConfigManager = nullptr;
}

void Davrel::Reset()
{
  WDL_MutexLock lock(&mMutex);
  if (GetSampleRate() != hostSampleRate) hostSampleRate = GetSampleRate();
  {
    std::lock_guard<std::mutex> q(midiOutQueueLock);
    midiOutQueue.Flush(0);
  }
  allSoundsOffPending = true;
  if (dawOffset == 0) dawOffset = GetBlockSize();
  char version[kVersionStrLen];
  GetEffectVersionStr(version);
  logLine("RESET: Host sample rate " + std::to_string(hostSampleRate) + "Hz");
  logLine(std::string("RESET: plug-in ") + version);
  if (!patchLoadingInProcess)
  {
    showNameLine("Rudu Davrel Plug-in");
    showValueLine(std::string(version) + (debugLogEnabled ? " 10-Oct-2020" : ""));
    showTimbreLine(paramInt(kQuickTab) ? "[TIMBRE 2]" : "[TIMBRE 1]");
    displayLines.displayBuild(version);
    if (displayLines.ccLine) displayLines.ccLine->SetTextFromPlug("---");
  }
}

// ---- data folder, log, settings ----

std::string Davrel::getDataFolder() const
{
  const char* env = getenv("DAVREL_DATA_DIR");
  if (!env || !*env) return kDataFolder;
  std::string folder = env;
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string Davrel::getPatchesFolderStr() const { return getDataFolder() + "Patches"; }

void Davrel::logLine(const std::string& text)
{
  if (debugLogEnabled) DebuggerOutput::printDebugInfo(logFilePath, text);
}

void Davrel::applySettingChange(int paramIdx, int v)
{
  if (paramIdx == kFirstRunExit && v == 0) return;
  // The file comes with the installation; the plug-in never makes it. Without it
  // the choice is refused, and said so, rather than shown as applied.
  if (access(settingsFilePath.c_str(), F_OK) != 0)
  {
    showNameLine(std::string(kEditorName) + " UI.txt MISSING!");
    showValueLine("Contact support");
    return;
  }
  static const char* const sizes[] = {"small", "normal", "large"};
  static const char* const skins[] = {"normal", "black"};
  if (paramIdx == kUserInterfaceSize && v >= 0 && v <= 2) settings.lines[1] = sizes[v];
  if (paramIdx == kUserInterfaceSkin && v >= 0 && v <= 1) settings.lines[0] = skins[v];
  if (paramIdx == kFirstRunExit && v == 1) settings.lines[2] = "yes";
  if (paramIdx == kUserInterfaceSize)
  {
    showNameLine("Size changes applied...");
    showValueLine("Reload project!");
  }
  else if (paramIdx == kUserInterfaceSkin)
  {
    showNameLine("Skin changes applied...");
    showValueLine("Reload project!");
  }
  // The notice's close asks for the ports only while one is still to be chosen.
  else if (!midiOutSet || midiInPortIndex < 1)
    showNameLine("Set MIDI In and MIDI Out");
  if (settings.write(settingsFilePath))
  {
    if (paramIdx == kUserInterfaceSize) ConsoleLog("Build LOG: \t Size changed to %s\n", settings.lines[1].c_str());
    if (paramIdx == kFirstRunExit)
      ConsoleLog("Build LOG: \t Is Notification seen? %s\n", settings.lines[2].c_str());
  }
  else
  {
    showNameLine("Davrel Editor UI.txt not written!");
    showValueLine("Check the data folder");
  }
  if (paramIdx == kFirstRunExit)
  {
    if (firstRunNotificationLayer) firstRunNotificationLayer->Hide(true);
    flashProcessingIndicator();
  }
}

// ---- display ----

void Davrel::showNameLine(const std::string& text) { showNameLine(text, std::string()); }

void Davrel::showNameLine(const std::string& words, const std::string& name)
{
  // A control's value under a line that is not the control's would read as its value
  // ("Open a Bank First!" over the button's 0): it goes with the control's name.
  if (controlLineShown.exchange(false)) showValueLine("");
  const std::string text = words + name;
  {
    std::lock_guard<std::mutex> lock(mDisplayLock);
    mNameLine = text;
  }
  if (displayLines.nameLine) displayLines.nameLine->SetTextFromPlug(text.c_str(), name.empty() ? -1 : (int)words.size());
  // The overlay hides the display during a transfer: its box repeats the line.
  if (progressIndicator) static_cast<ProgressIndicator*>(progressIndicator)->setText(text);
}

void Davrel::showValueLine(const std::string& text) { showValueLine(text, std::string()); }

void Davrel::showControlLine(const std::string& text)
{
  showNameLine(text);
  controlLineShown = true;
}

void Davrel::dropControlLine()
{
  if (!controlLineShown.exchange(false)) return;
  showNameLine("");
  showValueLine("");
}

void Davrel::showValueLine(const std::string& words, const std::string& name)
{
  const std::string text = words + name;
  {
    std::lock_guard<std::mutex> lock(mDisplayLock);
    mValueLine = text;
  }
  if (displayLines.valueLine)
    displayLines.valueLine->SetTextFromPlug(text.c_str(), name.empty() ? -1 : (int)words.size());
  // The overlay's box carries a job's progress under its line.
  if (progressIndicator) static_cast<ProgressIndicator*>(progressIndicator)->setSecondText(text);
}

void Davrel::displayText(std::string name, std::string value, std::string cc)
{
  showNameLine(name);
  showValueLine(value);
  if (displayLines.ccLine) displayLines.ccLine->SetTextFromPlug(cc.c_str());
}

std::string Davrel::nameLine() const
{
  std::lock_guard<std::mutex> lock(mDisplayLock);
  return mNameLine;
}

std::string Davrel::valueLine() const
{
  std::lock_guard<std::mutex> lock(mDisplayLock);
  return mValueLine;
}

bool Davrel::transferJobRunning() const
{
  return midiMessageManager && midiMessageManager->isRunning(kTransferThread);
}

void Davrel::flashProcessingIndicator()
{
  if (transferJobRunning()) return;
  showProcessingOverlay(true);
  showProcessingOverlay(false);
}

void Davrel::DisplayProcessingIndicator(bool show)
{
  // A job's lines, not the name and value of the button that started it, stand
  // behind the overlay and in its box.
  if (show && controlLineShown && progressIndicator && progressIndicator->IsHidden())
  {
    showNameLine("Data processing, please wait...");
    showValueLine("");
  }
  showProcessingOverlay(show);
  if (!show && midiMessageManager) midiMessageManager->patchRequested = false;
}

void Davrel::showProcessingOverlay(bool show)
{
  if (releaseAllLocksLayer) releaseAllLocksLayer->Hide(true);
  patchLoadingInProcess = false;
  // The box repeats the display's lines: those of the job, or of the transfer it
  // runs in steps (each hiding the overlay a moment), a control's name excepted.
  if (show && progressIndicator && progressIndicator->IsHidden())
  {
    ProgressIndicator* box = static_cast<ProgressIndicator*>(progressIndicator);
    box->setText(controlLineShown ? std::string("Data processing, please wait...") : nameLine());
    box->setSecondText(controlLineShown ? std::string() : valueLine());
  }
  if (progressLayer) progressLayer->Hide(!show);
  if (progressIndicator) progressIndicator->Hide(!show);
  // The next transfer starts without the last one's lines.
  if (!show && progressIndicator)
  {
    static_cast<ProgressIndicator*>(progressIndicator)->setText("");
    static_cast<ProgressIndicator*>(progressIndicator)->setSecondText("");
  }
  for (IControl* b : cancelButtons)
    if (b) b->Hide(true);
  const bool librarianPage = paramValue(kMainPage) == 1.0;
  IControl* searchText = firstControl(kPatchSearch);
  if (show)
  {
    if (IControl* b = cancelButtons[librarianPage ? 0 : 1]) b->Hide(false);
    if (librarianPage)
    {
      if (searchFieldLayer) searchFieldLayer->Hide(true);
      if (searchText) searchText->GrayOut(true);
    }
  }
  else
  {
    if (paramValue(kMainPage) > 3.0 && midiSettingsButtonLayer) midiSettingsButtonLayer->Hide(false);
    if (librarianPage)
    {
      if (paramValue(kPatchSearch) == 1.0 && searchFieldLayer) searchFieldLayer->Hide(false);
      if (searchText) searchText->GrayOut(false);
    }
  }
  if (!show && releaseAllLocksLayer &&
      ((timbre1LocksActive && currentPart == 0) || (timbre2LocksActive && currentPart == 1) || globalLocksActive))
    releaseAllLocksLayer->Hide(false);
}

bool Davrel::closeTopPanel()
{
  // Topmost first, as the configuration draws them; the rename box closes by its Cancel.
  const std::pair<ControlLayer*, IControl*> panels[] = {
      {firstRunNotificationLayer, controlInLayer(firstRunNotificationLayer, kFirstRunExit)},
      {aboutWindowLayer, controlInLayer(aboutWindowLayer, kExitAboutWindow)},
      {midiFilterSettingsLayer, controlInLayer(midiFilterSettingsLayer, kViewMIDIFilterSettings)},
      {patchRenameLayer, renameButtons[1]}};
  for (const auto& [layer, x] : panels)
  {
    if (!layer || !layer->visible || !x) continue;
    // The x's own click: what it does (and refuses) is what Escape does.
    const IRECT r = x->GetRECT();
    IMouseMod mod;
    x->OnMouseDown((r.L + r.R) / 2, (r.T + r.B) / 2, &mod);
    x->OnMouseUp((r.L + r.R) / 2, (r.T + r.B) / 2, &mod);
    return true;
  }
  return false;
}

// ---- lookups of layers, controls and values ----

ControlLayer* Davrel::findLayer(const char* name) const
{
  if (!graphics) return nullptr;
  ControlLayer* found = nullptr;
  for (int i = 0; i < graphics->NLayers() && !found; ++i) collectLayers(graphics->GetLayer(i), name, &found);
  return found;
}

IControl* Davrel::firstControl(int paramIdx) const
{
  if (!graphics) return nullptr;
  for (int i = 0; i < graphics->NControls(); ++i)
    if (IControl* c = graphics->GetControl(i); c && c->ParamIdx() == paramIdx) return c;
  for (int i = 0; i < graphics->NLayers(); ++i)
    if (IControl* c = controlInLayer(graphics->GetLayer(i), paramIdx)) return c;
  return nullptr;
}

ITextControl* Davrel::firstText(int paramIdx) const
{
  // Text controls are found through their parameter's action record, as the
  // display factories make them without a parameter index.
  if (uiConfigManager)
    if (ITextControl* t = DisplayLines::firstText(*uiConfigManager, paramIdx)) return t;
  return dynamic_cast<ITextControl*>(firstControl(paramIdx));
}

void Davrel::pushToControls(int paramIdx, double plainValue)
{
  if (graphics) graphics->SetParameterFromPlug(paramIdx, plainValue, false);
  else setParamClamped(paramIdx, plainValue);
}

void Davrel::setParamClamped(int paramIdx, double value)
{
  if (IParam* p = GetParam(paramIdx)) p->Set(value);
}

double Davrel::paramValue(int paramIdx) const
{
  const IParam* p = GetParam(paramIdx);
  return p ? p->Value() : 0.0;
}

int Davrel::paramInt(int paramIdx) const { return (int)paramValue(paramIdx); }

// ---- port menus ----

void Davrel::refreshMidiPortMenus()
{
  WDL_MutexLock lock(&mMutex);
  // Called by the constructor too: the port thread is not started from here.
  const std::vector<std::string> outs = KnownMidiPortNames(false);
  const std::vector<std::string> ins = KnownMidiPortNames(true);
  const std::pair<int, const std::vector<std::string>*> menus[2] = {{kDeviceOutSelection, &outs},
                                                                    {kDeviceInSelection, &ins}};
  for (const auto& m : menus)
  {
    // The entry chosen stays chosen by its name, wherever the new list has it.
    IParam* p = GetParam(m.first);
    const int side = m.first == kDeviceInSelection ? 1 : 0;
    const std::string chosen = p->Int() > 0 ? devicePortName(m.first, p->Int()) : std::string();
    markedPortEntry[side] = -1;
    // A chosen port the list lacks (gone, or not looked for yet) stays the choice,
    // an entry of its own: what is saved next still names it.
    portMenuLists[side] = *m.second;
    std::vector<std::string> names = *m.second;
    if (!chosen.empty() && std::find(names.begin() + 1, names.end(), chosen) == names.end()) names.push_back(chosen);
    p->InitEnum(m.first == kDeviceOutSelection ? "MIDI Out" : "MIDI In", 0, (int)names.size());
    p->ResetDisplayTexts();
    int entry = 0;
    for (size_t i = 0; i < names.size(); ++i)
    {
      p->SetDisplayText((int)i, names[i].c_str());
      if (i > 0 && names[i] == chosen) entry = (int)i;
    }
    p->Set(entry);
    (side ? midiInPortIndex : midiOutPortIndex) = entry;
    if (IControl* menu = side ? deviceInMenu : deviceOutMenu) menu->SetValueFromPlug(p->GetNormalized());
  }
}

std::string Davrel::devicePortName(int paramIdx, int entry) const
{
  const int side = paramIdx == kDeviceInSelection ? 1 : 0;
  if (entry >= 0 && entry == markedPortEntry[side]) return markedPortName[side];
  return GetParam(paramIdx)->GetDisplayText(entry);
}

void Davrel::markMissingPort(int paramIdx, int chosen, bool missing)
{
  const int side = paramIdx == kDeviceInSelection ? 1 : 0;
  const int entry = missing && chosen > 0 ? chosen : -1;
  int& marked = markedPortEntry[side];
  if (entry == marked) return;
  IParam* p = GetParam(paramIdx);
  if (marked >= 0) p->SetDisplayText(marked, markedPortName[side].c_str());
  marked = entry;
  if (entry >= 0)
  {
    // The entry keeps its check mark and its name; the name is what is saved and chosen.
    markedPortName[side] = p->GetDisplayText(entry);
    p->SetDisplayText(entry, (markedPortName[side] + kMissingPortMark).c_str());
  }
  if (IControl* menu = side ? deviceInMenu : deviceOutMenu) menu->SetDirty(false);
}

// ---- program-byte store and control lookups ----

IControl* Davrel::getCCControls(int channelKey, int cc, int subKey)
{
  return uiConfigManager ? uiConfigManager->ccControls().findControl(channelKey, cc, subKey) : nullptr;
}

IControl* Davrel::getMsbLsbControl(int channelKey, int msb, int valueOffset, int lsb, int subKey)
{
  return uiConfigManager ? uiConfigManager->nrpnControls().findControl(channelKey, msb, valueOffset, lsb, subKey)
                         : nullptr;
}

IControl* Davrel::getSysexControl(int key1, int key2, int key3, int key4, int key5)
{
  return uiConfigManager ? uiConfigManager->sysExControls().findControl(key1, key2, key3, key4, key5) : nullptr;
}

int Davrel::getProgramValueByParts(int part, int group, int index)
{
  if (part < 0 || group < 0 || index < 0 || (size_t)part >= mProgramStore.size()) return 0;
  const auto& groups = mProgramStore[(size_t)part];
  if ((size_t)group >= groups.size() || (size_t)index >= groups[(size_t)group].size()) return 0;
  return groups[(size_t)group][(size_t)index];
}

void Davrel::setProgramValueByParts(int part, int group, int index, int value)
{
  if (part < 0 || group < 0 || index < 0 || part > 1 || group > 0 || index >= 297) return;
  if (mProgramStore.size() <= (size_t)part) mProgramStore.resize((size_t)part + 1);
  auto& groups = mProgramStore[(size_t)part];
  if (groups.size() <= (size_t)group) groups.resize((size_t)group + 1);
  if (groups[(size_t)group].size() <= (size_t)index) groups[(size_t)group].resize(297, 0);
  groups[(size_t)group][(size_t)index] = value;
}

int Davrel::filterClassOf(int offset)
{
  // The parameters run CC, PC, Note, Pitch Bend, Poly and Channel Aftertouch, SysEx.
  static const int classes[kFilterClasses] = {kFilterControlChange, kFilterProgramChange, kFilterNotes,
                                              kFilterPitchBend, kFilterPolyAftertouch,
                                              kFilterChannelAftertouch, kFilterSysEx};
  return offset >= 0 && offset < kFilterClasses ? classes[offset] : kFilterSysEx;
}

// ---- parameters and controls as the hardware side reaches them ----

double Davrel::GetParamMin(int paramIdx)
{
  const IParam* p = GetParam(paramIdx);
  return p ? p->GetMin() : 0.0;
}

double Davrel::GetParamMax(int paramIdx)
{
  const IParam* p = GetParam(paramIdx);
  return p ? p->GetMax() : 0.0;
}

void Davrel::SetControlsOfParam(int paramIdx, double normalized)
{
  if (graphics) graphics->SetParameterFromPlug(paramIdx, normalized, true);
}

std::string Davrel::GetParamDisplayText(int paramIdx)
{
  const IParam* p = GetParam(paramIdx);
  return p ? p->GetDisplayText(p->Int()) : std::string();
}

void Davrel::SetParamDisplayText(int paramIdx, const std::string& text)
{
  if (IParam* p = GetParam(paramIdx)) p->SetDisplayText(p->Int(), text.c_str());
  if (paramIdx == kPatchName) knownProgramName = text;
}

void Davrel::setProgramName(const std::string& name)
{
  if (patchManager) patchManager->names[0] = name;
}

void Davrel::showProgramNameText(const char* text)
{
  if (ITextControl* t = firstText(kControlDisplayPatch)) t->SetTextFromPlug(text ? text : "");
}

int Davrel::controlParamIdx(IControl* control) { return control ? control->ParamIdx() : -1; }

void Davrel::SetValueFromHardware(IControl* control, double normalizedValue)
{
  if (control) control->SetValueFromHardware(normalizedValue);
}

void Davrel::SetLibrarianRequestActive(bool toLibrarian)
{
  MIDIMessageManager* m = midiMessageManager;
  if (!m) return;
  if (toLibrarian)
  {
    m->patchRequested = false;
    m->libraryPatchRequest.arm(patchLibrarian ? patchLibrarian->selectedSlot.load() : -1,
                               patchLibrarian ? patchLibrarian->upperBankKey() : std::string());
    ConsoleLog("patch request to library is on\n");
  }
  else
  {
    m->patchRequested = true;
    m->libraryPatchRequest.disarm();
    ConsoleLog("patch request to user interface is on\n");
  }
  // The flag a job polls is its request's (MIDIMessageManager::openRequest).
  m->dataProcessed = false;
}

// The bank's state only: a request, and what its answer goes into, is its job's.
void Davrel::SetLibrarianStatusUnsaved(bool unsaved)
{
  if (!unsaved) return;
  pushToControls(kBankEditUnsaved, 1.0);
  pushToControls(kDiscardBankData, 0.0);
  dropBankSavedLine();
  // The upper bank cannot be switched away before it is saved or discarded.
  if (discardChangesLayerRight) discardChangesLayerRight->Hide(false);
  if (keepBankOpenLayer) keepBankOpenLayer->Hide(true);
  if (ControlLayer* chooser = findLayer("LeftPatchPopupMenu")) chooser->Hide(true);
  if (saveChangesLayer) saveChangesLayer->Hide(true);
}

void Davrel::dropBankSavedLine()
{
  if (nameLine().compare(0, 12, "Bank saved: ") == 0) showNameLine("");
}

// ---- the hardware side ----

bool Davrel::midiMessageManagerValueFromIncoming() const
{
  return midiMessageManager && midiMessageManager->valueFromIncomingMessage;
}

bool Davrel::midiMessageManagerFromHost() const { return midiMessageManager && midiMessageManager->incomingFromHost; }

void Davrel::routeMidiFromDevice(IMidiMsg* msg)
{
  if (midiMessageManager) midiMessageManager->ProcessMidiMsgFromDevice(msg);
}

void Davrel::routeMidiFromDAW(IMidiMsg* msg, int part)
{
  if (midiMessageManager) midiMessageManager->ProcessMidiMsgFromDAW(msg, part);
}

void Davrel::routeSysEx(ISysEx* msg, bool fromDevice)
{
  if (midiMessageManager) midiMessageManager->ProcessSysEx(msg, fromDevice);
}

bool Davrel::startJob(const SenderJob& job) { return midiMessageManager && midiMessageManager->startJob(job); }

void Davrel::resetContinuousClock(bool stop)
{
  if (midiMessageManager) midiMessageManager->resetContinuousClock(stop);
}
