#pragma once
// A controller for the hardware tests: parameters in a table, controls as records,
// every send and status text recorded, and the gates of the controller's incoming
// path. A send goes to `wire` when one is set (the simulated synthesizer in-process,
// or the JACK port of a test plug-in).

#include "hardware/HardwareHost.h"
#include "hardware/MIDIMessageManager.h"

#include "config/ParamIds.h"
#include "librarian/PatchLibrarian.h"
#include "plug/IMidiMsg.h"
#include "winsys/kernel.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

typedef std::vector<uint8_t> Bytes;

struct FakeControl
{
  int paramIdx;
  double value = -1.0;  // last normalized value from the hardware
};

class FakeHost : public HardwareHost
{
public:
  FakeHost()
  {
    params.assign(kNumParams, 0.0);
    mins.assign(kNumParams, 0.0);
    maxs.assign(kNumParams, 127.0);
    midiOutSet.store(true);
    params[kDeviceOutSelection] = 1.0;
    params[kLibSyncTimer] = 7.0;  // the 100 ms unit
    params[kMultiPartMIDICh] = 0;
    params[kMultiPartMIDICh + 1] = 1;
  }

  MIDIMessageManager* manager = nullptr;
  std::function<void(const Bytes&)> wire;
  std::mutex lock;
  std::condition_variable cv;
  std::vector<double> params, mins, maxs;
  std::map<std::pair<int, int>, int> programBytes;
  std::vector<std::string> status, secondLine, nameLine;
  std::vector<Bytes> sent;  // every message on the wire, F0/F7 included
  std::vector<DWORD> sentAt;  // and when, on the scaled clock
  std::string patchNameText, programName;
  int indicatorShows = 0, indicatorHides = 0, paramChange2 = 0, unsavedCalls = 0;
  std::map<std::tuple<int, int, int>, FakeControl*> ccControls;
  std::map<std::tuple<int, int, int, int, int>, FakeControl*> nrpnControls;
  std::map<std::tuple<int, int, int, int>, FakeControl*> sysexControls;
  // The editor's lock: the jobs and the simulated input thread take it. A state
  // change on any other thread than the test's own without it is counted.
  std::recursive_mutex editorLock;
  std::atomic<std::thread::id> editorHolder{};
  int editorDepth = 0;  // under editorLock
  const std::thread::id testThread = std::this_thread::get_id();
  std::atomic<int> unlockedChanges{0};
  int gridSlot = -1;
  bool sectionLocked = false;
  // System-exclusive messages the output takes before it fails, as a port unplugged
  // mid-transfer would (-1: no end).
  std::atomic<int> sysexBeforeFailure{-1};
  bool anySectionLocked() override { return sectionLocked; }
  std::vector<std::pair<int, int>> librarianSends;

  std::vector<std::string> logLines;  // under lock
  void logText(const std::string& line) override
  {
    std::lock_guard<std::mutex> l(lock);
    logLines.push_back(line);
  }

  // ---- helpers for tests ----
  std::vector<std::string> Status()
  {
    std::lock_guard<std::mutex> l(lock);
    return status;
  }
  std::string LastStatus()
  {
    std::lock_guard<std::mutex> l(lock);
    return status.empty() ? std::string() : status.back();
  }
  std::vector<Bytes> Sent()
  {
    std::lock_guard<std::mutex> l(lock);
    return sent;
  }
  std::vector<DWORD> SentAt()
  {
    std::lock_guard<std::mutex> l(lock);
    return sentAt;
  }
  void ClearSent()
  {
    std::lock_guard<std::mutex> l(lock);
    sent.clear();
    sentAt.clear();
  }
  double Param(int id)
  {
    std::lock_guard<std::mutex> l(lock);
    return params[(size_t)id];
  }
  void SetParam(int id, double v)
  {
    NoteChange();
    std::lock_guard<std::mutex> l(lock);
    params[(size_t)id] = v;
  }
  // Bounded wait for a status text (scaled clock is not involved: real ms).
  bool WaitStatus(const std::string& text, int timeoutMs)
  {
    std::unique_lock<std::mutex> l(lock);
    return cv.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] {
      for (auto& s : status)
        if (s == text) return true;
      return false;
    });
  }
  // Feeds a message as the MIDI input thread would: under the editor's lock.
  void FromHardware(const Bytes& m)
  {
    static const std::atomic<bool> never{false};
    enterEditorLock(never);
    struct Leave
    {
      FakeHost* h;
      ~Leave() { h->leaveEditorLock(); }
    } leave{this};
    if (m.size() >= 4)
    {
      ISysEx s(0, m.data(), (int)m.size());
      ProcessSysEx(&s, true);
    }
    else if (!m.empty())
    {
      IMidiMsg msg(0, m[0], m.size() > 1 ? m[1] : 0, m.size() > 2 ? m[2] : 0);
      ProcessMidiMsg(&msg, true);
    }
  }
  // The controller's short-message gates.
  void ProcessMidiMsg(IMidiMsg* msg, bool fromDevice)
  {
    if (patchLoadingInProcess.load() || partChangeActive.load() || manager->programAwaited()) return;
    if (fromDevice && masterKeyboardOn.load()) return;
    if ((msg->mStatus & 0xF0) < 0x80 || (msg->mStatus & 0xF0) == 0xF0) return;
    if (fromDevice) manager->ProcessMidiMsgFromDevice(msg);
    else
    {
      const int ch = msg->Channel();
      const int part = (int)Param(kMultiPartMIDICh) == ch ? 0 : (int)Param(kMultiPartMIDICh + 1) == ch ? 1 : 0;
      manager->ProcessMidiMsgFromDAW(msg, part);
    }
  }

  // ---- HardwareHost ----
  bool enterEditorLock(const std::atomic<bool>& closing) override
  {
    while (!editorLock.try_lock())
    {
      if (closing.load()) return false;
      std::this_thread::yield();
    }
    if (editorDepth++ == 0) editorHolder.store(std::this_thread::get_id());
    return true;
  }
  void leaveEditorLock() override
  {
    if (--editorDepth == 0) editorHolder.store(std::thread::id());
    editorLock.unlock();
  }
  bool checksumCheckAndSend(const unsigned char* bytes, int length) override
  {
    if (!midiOutSet.load())
    {
      showStatusText("Set MIDI I/O First!");
      return false;
    }
    if (sysexBeforeFailure.load() == 0) return false;
    if (sysexBeforeFailure.load() > 0) --sysexBeforeFailure;
    Bytes m;
    if (length > 0 && bytes[0] == 0xF0) m.assign(bytes, bytes + length);
    else
    {
      m.push_back(0xF0);
      m.insert(m.end(), bytes, bytes + length);
      m.push_back(0xF7);
    }
    Record(m);
    return true;
  }
  void sendMidiMsgAndLog(IMidiMsg* msg) override
  {
    if (!midiOutSet.load())
    {
      showStatusText("Set MIDI I/O First!");
      return;
    }
    SendMidiMsg(msg);
  }
  void MIDIOutRoutingSwitch(IMidiMsg* msg) override { sendMidiMsgAndLog(msg); }
  bool SendMidiMsg(IMidiMsg* msg) override
  {
    const int kind = msg->mStatus & 0xF0;
    Bytes m{msg->mStatus};
    if (kind != 0xF0) m.push_back(msg->mData1);
    if (kind != 0xF0 && kind != 0xC0 && kind != 0xD0) m.push_back(msg->mData2);
    Record(m);
    return true;
  }
  bool SendMidiSysex2(std::vector<unsigned char> data) override
  {
    Record(data);
    return true;
  }
  void SendProgramChangeCommand(int program, int) override
  {
    if (!midiOutSet.load()) return;
    IMidiMsg m(0, (uint8_t)(0xC0 | ((int)Param(kGlobalMidiChannel) & 15)), (uint8_t)(program & 0x7F));
    sendMidiMsgAndLog(&m);
  }
  void logSysExOutMessageByteInt(const std::vector<int>&, int) override {}

  void ProcessSysEx(ISysEx* msg, bool fromDevice) override
  {
    NoteChange();
    if (patchLoadingInProcess.load() || partChangeActive.load()) return;
    if (fromDevice && hardwareFilterBlock[kFilterSysEx].load()) return;
    if (!fromDevice && dawFilterBlock[kFilterSysEx].load()) return;
    manager->ProcessSysEx(msg, fromDevice);
  }
  void OnParamChange(int) override {}
  void OnParamChange2(int) override
  {
    std::lock_guard<std::mutex> l(lock);
    ++paramChange2;
  }
  void redrawTimbrePage() override { OnParamChange2(kQuickTab); }

  void showStatusText(const char* text) override { Push(status, text); }
  void showSecondLineText(const char* text) override { Push(secondLine, text); }
  void showProgramNameText(const char* text) override { Push(nameLine, text); }
  void DisplayProcessingIndicator(bool show) override
  {
    NoteChange();
    patchLoadingInProcess.store(false);
    if (!show) manager->patchRequested.store(false);
    std::lock_guard<std::mutex> l(lock);
    (show ? indicatorShows : indicatorHides)++;
  }

  void SetLibrarianRequestActive(bool toLibrarian) override
  {
    NoteChange();
    if (toLibrarian)
    {
      manager->patchRequested.store(false);
      PatchLibrarian* lib = manager->librarian;
      manager->libraryPatchRequest.arm(lib ? lib->selectedSlot.load() : -1, lib ? lib->upperBankKey() : std::string());
    }
    else
    {
      manager->patchRequested.store(true);
      manager->libraryPatchRequest.libraryRequestActive.store(false);
    }
    manager->dataProcessed.store(false);
  }
  void SetLibrarianStatusUnsaved(bool unsaved) override
  {
    NoteChange();
    if (!unsaved) return;
    std::lock_guard<std::mutex> l(lock);
    ++unsavedCalls;
  }
  void updatePatchLibrarianView(int) override {}
  void setLibrarianViewDirty() override {}
  void setLibrarianGridDirty() override {}
  void selectLibrarianGridSlot(int slot) override { gridSlot = slot; }
  int librarianActiveColumn() override { return 0; }
  void sendPatchToDeviceFromLibrarian(int slot, int side) override
  {
    std::lock_guard<std::mutex> l(lock);
    librarianSends.push_back({slot, side});
  }

  int getTimerValue() override
  {
    const int v = (int)Param(kLibSyncTimer);
    return v >= 0 && v <= 3 ? 200 + 100 * v : 100;
  }

  int getProgramValueByParts(int part, int, int index) override
  {
    std::lock_guard<std::mutex> l(lock);
    auto it = programBytes.find({part, index});
    return it == programBytes.end() ? 0 : it->second;
  }
  void setProgramValueByParts(int part, int, int index, int value) override
  {
    NoteChange();
    std::lock_guard<std::mutex> l(lock);
    programBytes[{part, index}] = value;
  }

  int NParams() override { return kNumParams; }
  double GetParamValue(int id) override { return Param(id); }
  double GetParamMin(int id) override { return mins[(size_t)id]; }
  double GetParamMax(int id) override { return maxs[(size_t)id]; }
  void SetParameterFromPlug(int id, double v) override { SetParam(id, v); }
  void SetParamValue(int id, double v) override
  {
    SetParam(id, v < mins[(size_t)id] ? mins[(size_t)id] : v > maxs[(size_t)id] ? maxs[(size_t)id] : v);
  }
  void SetControlsOfParam(int id, double normalized) override { SetParam(id, mins[(size_t)id] + normalized * (maxs[(size_t)id] - mins[(size_t)id])); }
  std::string GetParamDisplayText(int id) override
  {
    std::lock_guard<std::mutex> l(lock);
    return id == kPatchName ? patchNameText : std::string();
  }
  void SetParamDisplayText(int id, const std::string& text) override
  {
    NoteChange();
    std::lock_guard<std::mutex> l(lock);
    if (id == kPatchName) patchNameText = text;
  }
  void setProgramName(const std::string& name) override
  {
    NoteChange();
    std::lock_guard<std::mutex> l(lock);
    programName = name;
  }

  IControl* getCCControls(int key, int cc, int sub) override
  {
    auto it = ccControls.find({key, cc, sub});
    return it == ccControls.end() ? nullptr : (IControl*)it->second;
  }
  IControl* getMsbLsbControl(int key, int msb, int off, int lsb, int sub) override
  {
    auto it = nrpnControls.find({key, msb, off, lsb, sub});
    return it == nrpnControls.end() ? nullptr : (IControl*)it->second;
  }
  IControl* getSysexControl(int k1, int k2, int k3, int k4, int) override
  {
    auto it = sysexControls.find({k1, k2, k3, k4});
    return it == sysexControls.end() ? nullptr : (IControl*)it->second;
  }
  int controlParamIdx(IControl* c) override { return ((FakeControl*)c)->paramIdx; }
  void SetValueFromHardware(IControl* c, double v) override
  {
    FakeControl* f = (FakeControl*)c;
    f->value = v;
    SetControlsOfParam(f->paramIdx, v);
  }

private:
  void Record(const Bytes& m)
  {
    {
      std::lock_guard<std::mutex> l(lock);
      sent.push_back(m);
      sentAt.push_back(GetTickCount());
    }
    if (wire) wire(m);
  }
  void NoteChange()
  {
    if (std::this_thread::get_id() != testThread && editorHolder.load() != std::this_thread::get_id())
      ++unlockedChanges;
  }
  void Push(std::vector<std::string>& list, const char* text)
  {
    NoteChange();
    {
      std::lock_guard<std::mutex> l(lock);
      list.push_back(text);
    }
    cv.notify_all();
  }
};
