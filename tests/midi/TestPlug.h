#pragma once
// A plug-in for the MIDI tests: the five send operations as the Audio Unit
// adapter implements them (through the base's sending logic), and a record of
// every message that reaches ProcessMidiMsg and ProcessSysEx.

#include "tests/QuietPlug.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

struct GotMidi
{
  std::vector<unsigned char> bytes; // a short message as status, data1, data2
  bool sysex;
  bool fromDevice;
};

class TestPlug : public QuietPlug
{
public:
  TestPlug()
    : QuietPlug(0, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0x64767278, 0x51685331, 128, true,
                true, true, kAPIAU)
  {
  }
  // The editor's teardown: input stops before its own objects go.
  ~TestPlug() override { StopMidiInput(); }

  bool SendMidiMsg(IMidiMsg* pMsg) override { return SendMidiMsgToPort(pMsg); }
  // A port chosen by name, as a saved state or a menu does (the name decides, not
  // the index): the index taken, 0 for "OFF" or a name not listed.
  int ChooseIn(const std::string& name) { int i = 1; return setExternalMIDIIn(i, name.c_str()); }
  int ChooseOut(const std::string& name) { int i = 1; return setExternalMIDIOut(i, name.c_str()); }
  bool SendCc(unsigned char control, unsigned char value)
  {
    IMidiMsg cc(0, 0xB0, control, value);
    return SendMidiMsg(&cc);
  }
  bool SendMidiSysex(unsigned char* pData, int size) override { return SendMidiSysexToPort(pData, size); }
  bool SendPatchSysex(unsigned char* pData, int size) override { return SendBytesToPort(pData, size); }
  bool SendMidiSysex2(std::vector<unsigned char> data) override { return SendBytesToPort(data.data(), (int)data.size()); }

  void ProcessMidiMsg(IMidiMsg* pMsg, bool fromDevice) override
  {
    Record({{pMsg->mStatus, pMsg->mData1, pMsg->mData2}, false, fromDevice});
  }
  void ProcessSysEx(ISysEx* pSysEx, bool fromDevice) override
  {
    Record({std::vector<unsigned char>(pSysEx->mData, pSysEx->mData + pSysEx->mSize), true, fromDevice});
  }

  bool WaitFor(size_t count, int timeoutMs)
  {
    std::unique_lock<std::mutex> l(mLock);
    return mCv.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return mGot.size() >= count; });
  }
  // Waits until a system-exclusive message with these bytes has arrived.
  bool WaitForSysEx(const std::vector<unsigned char>& bytes, int timeoutMs)
  {
    std::unique_lock<std::mutex> l(mLock);
    return mCv.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] {
      for (const GotMidi& g : mGot)
        if (g.sysex && g.bytes == bytes) return true;
      return false;
    });
  }
  std::vector<GotMidi> Got()
  {
    std::lock_guard<std::mutex> l(mLock);
    return mGot;
  }
  size_t Count()
  {
    std::lock_guard<std::mutex> l(mLock);
    return mGot.size();
  }
  void Clear()
  {
    std::lock_guard<std::mutex> l(mLock);
    mGot.clear();
  }
  // Until the port thread has read the port lists.
  bool WaitForLists(int timeoutMs = 30000)
  {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    ReadMidiPortListsAhead();
    while (!MidiPortListsRead() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return MidiPortListsRead();
  }
  // Whether the input thread held the plug-in's mutex when it handed a message on.
  bool AllUnderMutex() const { return mAllUnderMutex; }

  // Whether the port thread has taken the input's last choice (it is being applied).
  bool MidiInChoiceTaken() { return !mMidiPorts.MidiInChoicePending(); }
  // Whether the port thread has taken every send queued (over JACK into the slot's ring).
  bool MidiOutQueueEmpty() const { return mMidiPorts.MidiOutQueueEmpty(); }
  // Whether a port object of either direction is kept.
  bool HasPortObjects() const { return mMidiPorts.HasPortObjects(); }
  // Over JACK the memory the instance shares with the bridge.
  jackbridge::SlotMemory* MidiSharedMemory() const { return mMidiPorts.MidiSharedMemory(); }
  int OutIndex() const { return mMidiPorts.OutIndex(); }
  int InIndex() const { return mMidiPorts.InIndex(); }

private:
  void Record(GotMidi g)
  {
    if (!mMutex.IsHeldByCaller()) mAllUnderMutex = false;
    {
      std::lock_guard<std::mutex> l(mLock);
      mGot.push_back(std::move(g));
    }
    mCv.notify_all();
  }

  std::mutex mLock;
  std::condition_variable mCv;
  std::vector<GotMidi> mGot;
  std::atomic<bool> mAllUnderMutex{true};
};
