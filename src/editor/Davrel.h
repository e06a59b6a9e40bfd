#pragma once
// The editor's plug-in class: builds the editor and tears it down, dispatches
// every parameter change, sends control actions to the synthesizer, gates the
// MIDI that comes in, runs the audio callback that follows the host's transport
// and tempo, and saves and recalls the editing state with the host's project.
//
// Threads: the host's dispatch thread and the main thread call under
// IPlugBase::mMutex; the MIDI input thread calls ProcessMidiMsg and ProcessSysEx
// without it; the audio thread calls ProcessDoubleReplacing without it. Every
// flag shared between them is atomic; the output queue has a lock of its own,
// which the audio thread only ever tries.

#include "editor/EditorSettings.h"
#include "librarian/LibrarianHost.h"
#include "plug/IMidiQueue.h"
#include "plug/IPlugAU.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#define DAVREL_BUNDLE_ID "com.Quiet Harbor Sound.audiounit.Davrel Editor x64"
#define DAVREL_VIEW_CLASS "Davrel_View_64"

class ControlLayer;
class IControl;
class ITextControl;
class MIDIMessageManager;
class PatchLibrarian;
class PatchManager;
class UIConfigManager;
struct ControlAction;

class Davrel : public IPlugAU, public LibrarianHost
{
public:
  static const int kNumParams = 529;
  static const int kStoredParams = 473;  // ids 0..472 travel in the state chunk
  static const int kFilterClasses = 7;

  explicit Davrel(IPlugInstanceInfo instanceInfo);
  ~Davrel() override;

  // ---- plug-in hooks ----
  void Reset() override;
  void OnParamChange(int paramIdx) override;
  void OnParamChange2(int paramIdx) override;
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
  void MIDIOutRoutingSwitch(IMidiMsg* msg);
  void sendMidiMsgAndLog(IMidiMsg* msg);
  bool checksumCheckAndSend(unsigned char* bytes, int size);
  void SendProgramChangeCommand(int program, int part);
  void SendPatchEditOnCommand();
  void SendPatchEditOffCommand();
  void sendSysExInitialization();
  void SendBankChangeCommand(int, int) {}
  void AllSoundsOff();
  int getTimerValue() const;
  // The MIDI channel (0..15) of a timbre: its channel parameter, or the global
  // channel for a value of 16 or more.
  int partChannel(int part) const;

  // ---- lookups for the hardware router ----
  IControl* getCCControls(int channelKey, int cc, int subKey);
  IControl* getMsbLsbControl(int channelKey, int msb, int valueOffset, int lsb, int subKey);
  IControl* getSysexControl(int key1, int key2, int key3, int key4, int key5);
  int getProgramValueByParts(int part, int group, int index) const;
  void setProgramValueByParts(int part, int group, int index, int value);

  // ---- display and processing indicator ----
  // The central display's lines; the texts are also kept for the host and tests.
  void showNameLine(const std::string& text);
  void showValueLine(const std::string& text);
  std::string nameLine() const;
  std::string valueLine() const;
  void DisplayProcessingIndicator(bool show);
  void setLibrarianViewDirty() {}

  // ---- port menus ----
  // Gives the two device parameters the port lists as their entries.
  void refreshMidiPortMenus();
  // Test and host hook: called with every short message or body this instance
  // sends, on the sending thread.
  std::function<void(const unsigned char* bytes, int size)> onMidiSent;

  // ---- the librarian's side (the librarian page comes later) ----
  void feedSysExFromLibrarian(const uint8_t* msg, int size) override;

  // ---- members (plain fields of the controller; shared ones atomic) ----
  IMidiQueue midiOutQueue{1024};
  std::mutex midiOutQueueLock;
  PatchManager* patchManager = nullptr;
  PatchLibrarian* patchLibrarian = nullptr;
  IGraphics* graphics = nullptr;
  UIConfigManager* uiConfigManager = nullptr;
  IControl* progressIndicator = nullptr;
  MIDIMessageManager* midiMessageManager = nullptr;
  ControlLayer* progressLayer = nullptr;
  IControl* cancelButtons[2] = {nullptr, nullptr};

  std::string logFilePath, settingsFilePath;
  EditorSettings settings;  // settingsLines: settings.lines
  double uiScale = 1.0;
  int skinIndex = 0;
  std::atomic<bool> debugLogEnabled{false};

  std::vector<int> randomBytes, programBytes, globalBytes;
  std::atomic<int> midiLedOn[16];
  std::atomic<uint32_t> midiLedTime[16];
  std::vector<int> timbre1LockParams, timbre2LockParams;

  double hostSampleRate = 0.0;
  std::atomic<int> dawOffset{0};
  std::atomic<bool> allSoundsOffPending{false};
  std::atomic<bool> pluginReady{false};
  std::atomic<int> sysexChannelByte{0x30};
  std::atomic<int> receivedChannelByte{0x30};
  std::atomic<int> currentPart{0};
  std::atomic<bool> masterKeyboardOn{false}, partChangeActive{false}, patchLoadingInProcess{false},
      sysExInitRequested{false}, dataMismatch{false}, midiOutSet{false}, incomingSysExProcessed{false};
  std::atomic<uint32_t> sysExInitTime{0};
  std::atomic<bool> globalSent{true}, sendGlobalWithProgram{false};
  std::atomic<bool> localControlOn{true};
  std::string upperBankName, upperBankFolder, lowerBankName, lowerBankFolder;

  std::atomic<bool> dawFilterBlock[kFilterClasses];
  std::atomic<bool> hardwareFilterBlock[kFilterClasses];
  std::atomic<bool> ledTracksIncoming{true}, bufferedMidiOut{false}, sendClockStartStop{false},
      sendClockTicks{false}, clockJobStarted{false};
  std::atomic<int> arpTempoIndex{0};
  std::atomic<bool> transportRunning{false}, clockStartSent{false}, tempoSyncLogged{false},
      partRequestPending{false};
  std::atomic<bool> applyingHardwareValue{false}, linkingInProgress{false}, patchEditOn{false};
  bool timbre1LocksActive = false, timbre2LocksActive = false, globalLocksActive = false;
  std::atomic<bool> recalling{false};
  bool freshStart = true;
  int midiInPortIndex = 0, midiOutPortIndex = 0;
  int subPageValue = 0;
  bool searchActive = false;

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
  ITextControl *displayName = nullptr, *displayValue = nullptr, *displayTimbre = nullptr, *displayCC = nullptr,
               *displayBuild = nullptr, *displayMIDIOutDelay = nullptr;
  IControl *deviceOutMenu = nullptr, *deviceInMenu = nullptr, *randomizeControl = nullptr;

  // Set by the hardware side while it applies an incoming message.
  std::atomic<bool> valueFromIncomingMessage{false}, incomingFromHost{false}, patchRequested{false},
      dataProcessed{false};

  // Counters of what the audio callback started, for tests and the host.
  std::atomic<int> clockStartJobs{0}, clockStopJobs{0}, clockLoopJobs{0}, partRequestJobs{0};

protected:
  // Job starts of the hardware side; false when the job could not start (no
  // manager yet, or its thread busy) and the caller's request is dropped.
  virtual bool startTransferJob(int command, int intArg, bool boolArg);
  virtual bool startClockControlJob(int command);
  virtual bool startClockLoopJob(int tempo);
  virtual void resetContinuousClock(bool stop);

  // The hardware router's entries behind the gates (the MIDI message manager's).
  virtual void routeMidiFromDevice(IMidiMsg*) {}
  virtual void routeMidiFromDAW(IMidiMsg*, int /*part*/) {}
  virtual void routeSysEx(ISysEx*, bool /*fromDevice*/) {}

  // Empty hooks for the librarian page's commands and transfers, which come later.
  virtual void onLibrarianCommand(int /*paramIdx*/, int /*intValue*/) {}

private:
  void construct();
  void buildLayersAndControls();
  void applyStartValues();
  void applySettingChange(int paramIdx, int v);
  bool dispatchSettings(int paramIdx, double value, int v);
  void dispatchLocks(int paramIdx, int v);
  void sendStage(int paramIdx, double value, int v);
  void switchPages();
  void lightLed(int timbre);
  void restoreFilterFlags();
  bool selectOutputPort(int index, const std::string& name);
  bool selectInputPort(int index, const std::string& name);
  void sendShortNow(IMidiMsg* msg);
  bool sendSysexBody(const std::vector<int>& body);
  bool sendSysexBytes(unsigned char* bytes, int size, bool trace);
  // The hardware side's flags of the message being applied (false until it exists).
  bool midiMessageManagerValueFromIncoming() const { return valueFromIncomingMessage; }
  bool midiMessageManagerFromHost() const { return incomingFromHost; }
  void logLine(const std::string& text);
  ControlLayer* findLayer(const char* name) const;
  IControl* firstControl(int paramIdx) const;
  ITextControl* firstText(int paramIdx) const;
  void pushToControls(int paramIdx, double plainValue);
  void setParamClamped(int paramIdx, double value);
  double paramValue(int paramIdx) const;
  int paramInt(int paramIdx) const;

  mutable std::mutex mDisplayLock;
  std::string mNameLine, mValueLine;
  std::vector<std::vector<std::vector<int>>> mProgramStore;  // part, group, index
};
