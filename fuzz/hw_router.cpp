// The hardware side's router (MIDIMessageManager) on a stream of messages as the MIDI
// input thread and the host hand them over, against the fake controller of the
// hardware tests, with controls at every address so the lookups find something.
// Between messages the stream may set the request flags the editor sets, so every
// branch of the router (library requests, the all-programs transfer, program and
// global parsers, channel search, parameter changes, short messages) is reached.
//
// Checks: program bytes and the program name are stored only from a whole program
// dump, the global bytes only from a whole global dump, the channel byte stays one of
// the sixteen and only a short message or the device enquiry's global dump moves it,
// and every slot the librarian keeps holds one whole program dump.
//
// Input: a set-up byte, a channel byte, then records: flags byte (bit 0: from the
// host), 16-bit length (little-endian), the message.

#include "FakeHost.h"

#include "config/ParamIds.h"
#include "hardware/DumpLayout.h"
#include "hardware/SysexPacking.h"
#include "librarian/LibrarianHost.h"
#include "librarian/PatchLibrarian.h"
#include "plug/IMidiMsg.h"
#include "winsys/kernel.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <memory>
#include <vector>

namespace {

// The editor hands every program cut out of an all-programs dump back to its own
// system-exclusive entry, as if the hardware had sent it.
struct FeedBack : LibrarianHost
{
  FakeHost* host = nullptr;
  bool feedSysExFromLibrarian(const uint8_t* msg, int size) override
  {
    if (!isProgramDump(msg, size)) abort();
    std::vector<uint8_t> copy(msg, msg + size);
    ISysEx s(0, copy.data(), size);
    host->ProcessSysEx(&s, true);
    return true;
  }
};

bool isGlobalDump(const std::vector<uint8_t>& m)
{
  if (m.size() != (size_t)kGlobalDumpSize || m[0] != 0xF0 || m[1] != kSysexManufacturerId || (m[2] & 0xF0) != 0x30 ||
      m[3] != kSysexModelId || m[4] != kSysexGlobalDumpFunction || m.back() != 0xF7)
    return false;
  for (size_t i = 1; i + 1 < m.size(); ++i)
    if (m[i] & 0x80) return false;
  return true;
}

std::vector<int> globalBytesOf(FakeHost& h)
{
  std::vector<int> v;
  for (auto& b : h.globalBytes) v.push_back(b.load());
  return v;
}

// A control at every address the router looks up (its parameter is only recorded).
struct Controls
{
  std::vector<std::unique_ptr<FakeControl>> pool;
  std::map<std::tuple<int, int, int>, FakeControl*> cc;
  std::map<std::tuple<int, int, int, int, int>, FakeControl*> nrpn;
  std::map<std::tuple<int, int, int, int>, FakeControl*> sysex;

  FakeControl* make(int param)
  {
    pool.emplace_back(new FakeControl{param % kNumParams});
    return pool.back().get();
  }
  Controls()
  {
    for (int key = 0; key < 3; ++key)
      for (int n = 0; n < 128; ++n) cc[{key, n, key == 0 ? 1 : 0}] = make(n * 3 + key);
    for (int msb = 0; msb < 5; ++msb)
      for (int lsb = 0; lsb < 64; ++lsb) nrpn[{1, msb, 0, lsb, 0}] = make(msb * 64 + lsb);
    for (int ph = 0; ph < 3; ++ph)
      for (int pl = 0; pl < 128; ++pl) sysex[{0x58, 0x41, pl, ph}] = make(ph * 128 + pl);
    cc[{1, 7, 0}]->paramIdx = kGlobalLocalControl;
  }
};

Controls& controls()
{
  static Controls* c = new Controls;
  return *c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const bool once = [] {
    // Every wait of the protocol (the librarian's 200 ms, the channel restore) passes at once.
    SWELL_SetTimeScale(SWELL_TIME_SCALE_MIN);
    return true;
  }();
  (void)once;
  if (size < 2) return 0;
  const uint8_t setup = data[0], channels = data[1];
  data += 2;
  size -= 2;

  FeedBack feedBack;
  FakeHost host;
  PatchLibrarian librarian(&feedBack);
  librarian.patchFiles.push_back(new PatchFile);
  MIDIMessageManager manager(&host, nullptr, &librarian, nullptr);
  host.manager = &manager;
  feedBack.host = &host;
  manager.patchRequested.store(false);

  // Program changes reach the librarian, never a worker job: a job would run on a
  // thread of its own and make the runs depend on timing.
  const bool libraryMode = setup & 0x01;
  host.params[kControlLibrary] = libraryMode ? 1.0 : 0.0;
  host.masterKeyboardOn.store(setup & 0x02);
  host.trackIncomingMidi.store(setup & 0x04);
  host.localControlOn.store(setup & 0x08);
  host.params[kCommonMode] = (setup & 0x10) ? 1.0 : 0.0;
  host.params[kOsc1Waveform] = (setup & 0x20) ? 5.0 : 0.0;
  host.params[kDelayFxTempoSync] = host.params[kLfo1TempoSync] = host.params[kLfo2TempoSync] = (setup & 0x40) ? 1.0 : 0.0;
  host.params[kPartLock] = (setup & 0x80) ? 1.0 : 0.0;
  host.params[kGlobalMidiChannel] = channels & 0x0F;
  host.sysexChannelByte.store((uint8_t)(0x30 + (channels & 0x0F)));
  host.params[kMultiPartMIDICh] = (channels >> 4) & 0x03;
  host.params[kMultiPartMIDICh + 1] = (channels >> 6) & 0x03;

  // The controls are built once; the host borrows them for the input.
  Controls& c = controls();
  host.ccControls.swap(c.cc);
  host.nrpnControls.swap(c.nrpn);
  host.sysexControls.swap(c.sysex);
  while (size >= 3)
  {
    const uint8_t flags = data[0];
    size_t len = (size_t)data[1] | (size_t)data[2] << 8;
    data += 3;
    size -= 3;
    if (len > size) len = size;
    // A copy of exactly the message's size, so reading past it is caught.
    std::vector<uint8_t> msg(data, data + len);
    data += len;
    size -= len;

    if (flags & 0x04) manager.patchRequested.store(true);
    if (flags & 0x08) manager.globalRequested.store(true);
    if (flags & 0x10) host.SetLibrarianRequestActive(true);
    if (flags & 0x20) librarian.allPatchesRequestActive.store(true);
    if (flags & 0x80) host.sysExInitRequested.store(true);
    const bool fromDevice = !(flags & 0x01);

    const auto programBefore = host.programBytes;
    const std::string nameBefore = host.programName + '\0' + host.patchNameText;
    const std::vector<int> globalBefore = globalBytesOf(host);
    const bool globalValidBefore = host.globalBytesValid.load();
    const uint8_t channelBefore = host.sysexChannelByte.load();
    const bool initBefore = host.sysExInitRequested.load();

    if (msg.size() >= 4)
    {
      ISysEx s(0, msg.data(), (int)msg.size());
      host.ProcessSysEx(&s, fromDevice);
    }
    else if (!msg.empty())
    {
      IMidiMsg m(0, msg[0], msg.size() > 1 ? msg[1] : 0, msg.size() > 2 ? msg[2] : 0);
      if ((m.mStatus & 0xF0) == 0xC0 && !libraryMode) continue;
      host.ProcessMidiMsg(&m, fromDevice);
    }

    // An all-programs dump feeds the programs it holds back in: only those may store.
    const bool bank = msg.size() == (size_t)kAllProgramDumpSize || msg.size() == (size_t)kAllDataDumpSize;
    const bool program = bank || isProgramDump(msg.data(), (int)msg.size());
    if ((host.programBytes != programBefore || host.programName + '\0' + host.patchNameText != nameBefore) && !program)
      abort();
    // A channel is adopted only from the synthesizer's own header.
    const uint8_t channel = host.sysexChannelByte.load();
    if (channel < 0x30 || channel > 0x3F) abort();
    // Only a short message or the device enquiry's global dump moves it, never a program dump.
    if (channel != channelBefore && msg.size() > 24 && !(initBefore && msg.size() >= 230)) abort();
    if ((globalBytesOf(host) != globalBefore || host.globalBytesValid.load() != globalValidBefore) && !isGlobalDump(msg))
      abort();
  }

  host.ccControls.swap(c.cc);
  host.nrpnControls.swap(c.nrpn);
  host.sysexControls.swap(c.sysex);

  for (PatchFile* f : librarian.patchFiles)
    for (const LibrarianPatch& slot : f->patches)
    {
      if (slot.messages.empty()) continue;
      if (slot.messages.size() != 1) abort();
      const std::vector<uint8_t>& m = slot.messages[0].bytes;
      if (!isProgramDump(m.data(), (int)m.size())) abort();
    }
  return 0;
}
