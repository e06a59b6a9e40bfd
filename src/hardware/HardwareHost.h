#pragma once
// What the hardware side (router, parsers, worker jobs, short-message handler) asks
// of the editor controller. The controller derives from it beside its plug-in base;
// tests use a small fake. Every flag here is shared between the host's threads, the
// MIDI input thread and the worker threads, so each is atomic (relaxed order is
// enough: a job polls them between sleeps).
//
// Operations that share a name and signature with the plug-in base (SendMidiMsg,
// SendMidiSysex2, ProcessSysEx, OnParamChange, OnParamChange2) are meant to be
// satisfied by one override in the controller that forwards to the base.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class IControl;
struct IMidiMsg;
struct ISysEx;

// Slots of the hardware-side and host-side filter flag arrays (true = blocked).
enum EMidiFilterClass
{
  kFilterNotes = 0,
  kFilterPolyAftertouch,
  kFilterChannelAftertouch,
  kFilterPitchBend,
  kFilterControlChange,
  kFilterProgramChange,
  kFilterSysEx,
  kNumMidiFilterClasses
};

enum
{
  kGlobalDumpStoredSize = 235,  // the stored global bytes: one per raw byte, F0 and F7 included
};

class HardwareHost
{
public:
  virtual ~HardwareHost() {}

  // ---- flags -------------------------------------------------------------
  std::atomic<bool> midiOutSet{false};              // an output port is chosen; every send is refused while clear
  std::atomic<bool> patchLoadingInProcess{false};   // a program is being sent: incoming messages are dropped
  std::atomic<bool> partChangeActive{false};
  // The running job's request has its answer (MIDIMessageManager::openRequest).
  std::atomic<bool> incomingSysExProcessed{false};
  std::atomic<bool> sysExInitRequested{false};      // the device initialisation waits for a global dump
  std::atomic<bool> dataMismatch{false};
  std::atomic<bool> masterKeyboardOn{false};
  std::atomic<bool> editModeOn{false};
  std::atomic<bool> initDone{false};
  std::atomic<bool> pluginReady{false};
  std::atomic<bool> localControlOn{false};          // the hardware's Local Control is On
  std::atomic<bool> allProgramsRequestStarted{false};
  std::atomic<bool> sendGlobalWithProgram{false};
  std::atomic<bool> globalSettingsSent{true};
  std::atomic<bool> writeAfterSend{false};
  std::atomic<bool> sendMIDIClockInfo{false};
  std::atomic<bool> sendMIDIClockPointer{false};
  std::atomic<uint8_t> sysexChannelByte{0x30};      // 0x30 + global channel
  // The host's tempo as the audio callback last read it: the clock thread takes it
  // from here rather than calling into the host from a thread of its own.
  std::atomic<double> hostTempo{0.0};
  // The randomizer's bytes, one per raw byte of a program dump (0..255 once drawn);
  // written and read only on the thread that randomizes.
  std::vector<int> randomBytes = std::vector<int>(297, 0);

  // Librarian load options (each pair excludes itself).
  std::atomic<bool> readFromTimbre1{false}, readFromTimbre2{false};
  std::atomic<bool> loadToTimbre1{false}, loadToTimbre2{false};

  // Filters by EMidiFilterClass, true = blocked.
  std::atomic<bool> hardwareFilterBlock[kNumMidiFilterClasses] = {};
  std::atomic<bool> dawFilterBlock[kNumMidiFilterClasses] = {};
  std::atomic<bool> trackIncomingMidi{false};  // indicators show incoming messages
  std::atomic<bool> toDawBuffer{false};        // passed-on short messages go through the queue

  std::atomic<int> midiLedOn[2] = {};
  std::atomic<uint32_t> midiLedTime[2] = {};
  std::atomic<int> currentPart{0};
  std::atomic<int> librarianProgramNumber{0};   // the librarian view's current program number
  std::atomic<int> upperHighlightedSlot{0}, lowerHighlightedSlot{0};
  std::atomic<bool> librarianLowerSide{false};  // the librarian view works on the lower column

  // The stored global bytes of the last global dump received; globalBytesValid stays
  // false until one has been taken, and nothing is sent from them before.
  std::atomic<int> globalBytes[kGlobalDumpStoredSize] = {};
  std::atomic<bool> globalBytesValid{false};

  // ---- sending (any thread) ----------------------------------------------
  // A body without F0/F7 (or a whole message beginning F0) to the hardware output.
  // Refused with "Set MIDI I/O First!" while midiOutSet is clear; returns whether sent.
  virtual bool checksumCheckAndSend(const unsigned char* bytes, int length) = 0;
  virtual void sendMidiMsgAndLog(IMidiMsg* msg) = 0;
  virtual void MIDIOutRoutingSwitch(IMidiMsg* msg) = 0;
  virtual bool SendMidiMsg(IMidiMsg* msg) = 0;
  virtual bool SendMidiSysex2(std::vector<unsigned char> data) = 0;
  // Program change on the global channel; nothing while no port. The caller then
  // waits the half wait unit the hardware takes to switch (a job in its own wait,
  // without the editor's lock).
  virtual void SendProgramChangeCommand(int program, int part) = 0;
  virtual void SendBankChangeCommand(int, int) {}
  virtual void logSysExOutMessageByteInt(const std::vector<int>& message, int length) = 0;
  // The output's refusals, for a request that waits for its answer: a mark taken
  // before the request goes, then whether the output refused anything sent after it
  // (its port or server gone, its queue full): the request will not be answered.
  struct OutputMark
  {
    unsigned long long queued = 0, refusedAtCall = 0;
  };
  virtual OutputMark midiOutMark() { return {}; }
  virtual bool midiOutRefusedSince(const OutputMark& /*mark*/) { return false; }
  // The timing clock placed by the output itself at the times its ticks fall due
  // (over JACK: at their frames in the server's periods), tick 0 at firstNs on the
  // system clock and one every intervalNs: false where the output cannot, and the
  // clock thread sends each tick. The stop answers how many it placed.
  virtual bool startPlacedMidiClock(int64_t /*firstNs*/, int64_t /*intervalNs*/) { return false; }
  virtual unsigned long long stopPlacedMidiClock() { return 0; }
  // One line of the editor's log (why a request failed, what was refused); standard
  // output where the host keeps no log.
  virtual void logText(const std::string& line);

  // ---- the editor's lock ---------------------------------------------------
  // The lock under which the MIDI input thread and the main thread change editor
  // state (the plug-in's mutex in the controller). A transfer job holds it while it
  // runs and gives it up for each of its waits, so that the answer it waits for can
  // come in. Taking it gives up, returning false without it, only while it is busy
  // and closing is set: the thread that tears the manager down may hold the lock
  // while it joins the job.
  virtual bool enterEditorLock(const std::atomic<bool>& closing) = 0;
  virtual void leaveEditorLock() = 0;

  // ---- incoming path -----------------------------------------------------
  virtual void ProcessSysEx(ISysEx* msg, bool fromDevice) = 0;
  virtual void OnParamChange(int paramIdx) = 0;
  virtual void OnParamChange2(int paramIdx) = 0;
  // The shown timbre's page laid out again after a switch that decides which of
  // its controls show (the timbre tab's handling, OnParamChange2 of the tab); the
  // editor keeps its display lines through it.
  virtual void redrawTimbrePage() = 0;

  // ---- display -----------------------------------------------------------
  virtual void showStatusText(const char* text) = 0;       // the central display line
  virtual void showSecondLineText(const char* text) = 0;   // the second display line
  virtual void showProgramNameText(const char* text) = 0;  // the name line
  virtual void DisplayProcessingIndicator(bool show) = 0;
  virtual bool hasGraphics() { return true; }

  // ---- librarian ---------------------------------------------------------
  virtual void SetLibrarianRequestActive(bool toLibrarian) = 0;
  virtual void SetLibrarianStatusUnsaved(bool unsaved) = 0;
  virtual void updatePatchLibrarianView(int side) = 0;
  virtual void setLibrarianViewDirty() = 0;
  virtual void setLibrarianGridDirty() = 0;
  // Selects slot in the grid's upper column and makes it the current slot.
  virtual void selectLibrarianGridSlot(int slot) = 0;
  virtual int librarianActiveColumn() = 0;
  virtual void sendPatchToDeviceFromLibrarian(int slot, int side) = 0;
  // A program of the librarian's own (the init program, imports, pastes, renames)
  // for its selected slot: it is no MIDI input, so the controller lets it pass the
  // hardware-side gates, and it answers no request. True when the slot took it. The
  // default takes the ordinary entry.
  virtual bool feedSysExFromLibrarian(const uint8_t* msg, int size);
  // At least one section of either timbre or of the global sections is locked.
  virtual bool anySectionLocked() { return false; }

  // ---- configuration and layers ----------------------------------------------
  // Entry index of a named value list of the configuration; empty when there is none.
  virtual std::string valueListEntry(const char* /*list*/, int /*index*/) { return std::string(); }
  // Greys the timbre controls out (common mode 0 leaves only one timbre) or back.
  virtual void grayOutTimbreControls(bool /*gray*/) {}

  // ---- timing ------------------------------------------------------------
  virtual int getTimerValue() = 0;  // the wait unit in ms

  // ---- stored program bytes (raw index 0..296, bank key always 0) -------
  virtual int getProgramValueByParts(int part, int bank, int index) = 0;
  virtual void setProgramValueByParts(int part, int bank, int index, int value) = 0;

  // ---- parameters --------------------------------------------------------
  virtual int NParams() = 0;
  virtual double GetParamValue(int paramIdx) = 0;
  virtual double GetParamMin(int paramIdx) = 0;
  virtual double GetParamMax(int paramIdx) = 0;
  // A plain value from the hardware: the parameter and its controls follow, no dispatch.
  virtual void SetParameterFromPlug(int paramIdx, double value) = 0;
  // Writes the parameter's value (clamped to its range) without touching controls.
  virtual void SetParamValue(int paramIdx, double value) = 0;
  // Gives every control bound to the parameter the normalized value.
  virtual void SetControlsOfParam(int paramIdx, double normalized) = 0;
  virtual std::string GetParamDisplayText(int paramIdx) = 0;
  virtual void SetParamDisplayText(int paramIdx, const std::string& text) = 0;
  // The patch manager's current program name.
  virtual void setProgramName(const std::string& name) = 0;

  // ---- control lookups (null when none) ---------------------------------
  virtual IControl* getCCControls(int channelKey, int ccNumber, int subKey) = 0;
  virtual IControl* getMsbLsbControl(int channelKey, int msb, int valueOffset, int lsb, int subKey) = 0;
  virtual IControl* getSysexControl(int key1, int key2, int key3, int key4, int key5) = 0;
  virtual int controlParamIdx(IControl* control) = 0;
  virtual void SetValueFromHardware(IControl* control, double normalizedValue) = 0;
};
