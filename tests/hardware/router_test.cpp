// The router, the collectors and the short-message handler, fed byte arrays.
#include "ConsoleCapture.h"
#include "FakeHost.h"

#include "hardware/DumpLayout.h"
#include "hardware/SysexMessages.h"
#include "hardware/SysexPacking.h"
#include "librarian/PatchLibrarian.h"
#include "SynthModel.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace
{
class Router : public testing::Test
{
protected:
  void SetUp() override
  {
    host.manager = &manager;
    manager.patchRequested.store(false);
  }
  FakeControl* cc(int key, int number, int sub, int param)
  {
    controls.emplace_back(new FakeControl{param});
    host.ccControls[{key, number, sub}] = controls.back().get();
    return controls.back().get();
  }
  FakeControl* nrpn(int key, int msb, int off, int lsb, int sub, int param)
  {
    controls.emplace_back(new FakeControl{param});
    host.nrpnControls[{key, msb, off, lsb, sub}] = controls.back().get();
    return controls.back().get();
  }
  FakeControl* sysex(int pl, int ph, int param)
  {
    controls.emplace_back(new FakeControl{param});
    host.sysexControls[{0x58, 0x41, pl, ph}] = controls.back().get();
    return controls.back().get();
  }
  static Bytes paramChange(uint8_t ch, int pl, int ph, int vl, int vh)
  {
    return {0xF0, 0x42, ch, 0x58, 0x41, (uint8_t)pl, (uint8_t)ph, (uint8_t)vl, (uint8_t)vh, 0xF7};
  }

  FakeHost host;
  PatchLibrarian librarian;
  MIDIMessageManager manager{&host, nullptr, &librarian, nullptr};
  std::vector<std::unique_ptr<FakeControl>> controls;
};
}  // namespace

TEST_F(Router, ParameterChangeFromAnotherChannelAdoptsItFirst)
{
  FakeControl* c = sysex(20, 0, kFilterCutoff);
  host.FromHardware(paramChange(0x35, 20, 0, 64, 0));
  EXPECT_EQ(host.Param(kGlobalMidiChannel), 5);
  EXPECT_EQ(host.sysexChannelByte.load(), 0x35);
  EXPECT_DOUBLE_EQ(c->value, 64 / 127.0);
}

TEST_F(Router, DamagedShortMessagesChangeNothing)
{
  FakeControl* c = sysex(20, 0, kFilterCutoff);
  const Bytes good = paramChange(0x35, 20, 0, 64, 0);
  Bytes noEnd = good, statusInData = good, highValue = good, highPl = good;
  noEnd.back() = 0x00;
  statusInData[8] = 0xF8;
  highValue[7] = 0xC0;
  highPl[5] = 0x94;
  const struct
  {
    const char* name;
    Bytes bytes;
  } cases[] = {{"no end", noEnd}, {"status in the data", statusInData}, {"value with bit 7", highValue},
               {"address with bit 7", highPl}, {"short, address with bit 7", {0xF0, 0x42, 0x35, 0x58, 0x4E, 0x81, 0x00, 0xF7}}};
  for (const auto& bad : cases)
  {
    SCOPED_TRACE(bad.name);
    host.FromHardware(bad.bytes);
    EXPECT_EQ(host.sysexChannelByte.load(), 0x30);
    EXPECT_EQ(c->value, -1.0);
    EXPECT_FALSE(host.editModeOn.load());
  }
  host.FromHardware(good);
  EXPECT_EQ(host.sysexChannelByte.load(), 0x35);
  EXPECT_DOUBLE_EQ(c->value, 64 / 127.0);
}

TEST_F(Router, ProgramDumpRouting)
{
  struct Case
  {
    const char* what;
    uint8_t channelByte;
    bool patchRequested, initRequested;
    int size;
    bool parsed, mismatch;
    const char* status;
  };
  const Case cases[] = {
      {"own channel", 0x30, true, false, 297, true, false, ""},
      {"other channel", 0x31, true, false, 297, false, false, "Global Channel Mismatch!"},
      {"other channel, device initialisation too", 0x33, true, true, 297, false, false, "Global Channel Mismatch!"},
      {"not asked for, device initialisation", 0x30, false, true, 297, false, false, ""},
      {"overlong", 0x30, true, false, 300, false, true, ""},
      {"truncated", 0x30, true, false, 292, false, false, ""},
  };
  for (const Case& c : cases)
  {
    FakeHost h;
    MIDIMessageManager m(&h, nullptr, nullptr, nullptr);
    h.manager = &m;
    h.SetParam(kFilterCutoff, 1);
    m.patchRequested.store(c.patchRequested);
    h.sysExInitRequested.store(c.initRequested);
    Bytes dump = SynthModel::MakeProgram(7, c.channelByte);
    dump[72] = 99;  // timbre 1 cutoff
    if (c.size != 297)
    {
      dump.resize((size_t)c.size, 0x01);
      dump.back() = 0xF7;
    }
    h.FromHardware(dump);
    EXPECT_EQ(h.Param(kFilterCutoff), c.parsed ? 99 : 1) << c.what;
    EXPECT_EQ(m.dataProcessed.load(), c.parsed) << c.what;
    EXPECT_EQ(h.dataMismatch.load(), c.mismatch) << c.what;
    EXPECT_EQ(h.LastStatus(), c.status) << c.what;
    EXPECT_EQ(h.programBytes.empty(), !c.parsed) << c.what;  // nothing stored from a refused dump
    // Only the device enquiry's global dump moves the editor to another channel.
    EXPECT_EQ(h.sysexChannelByte.load(), 0x30) << c.what;
    EXPECT_EQ(h.Param(kGlobalMidiChannel), 0) << c.what;
  }
}

TEST_F(Router, GlobalDumpOnlyWhenAskedFor)
{
  const Bytes g = SynthModel::MakeGlobals(4, true);
  host.FromHardware(g);
  EXPECT_FALSE(host.globalBytesValid.load());
  EXPECT_EQ(host.Param(kGlobalMidiChannel), 0);

  // The current-data request asked on the editor's channel: another's globals are refused.
  manager.globalRequested.store(true);
  host.FromHardware(g);
  EXPECT_FALSE(host.globalBytesValid.load());
  EXPECT_EQ(host.LastStatus(), "Global Channel Mismatch!");
  EXPECT_EQ(host.sysexChannelByte.load(), 0x30);

  host.sysExInitRequested.store(true);
  host.FromHardware(g);
  EXPECT_TRUE(host.globalBytesValid.load());
  EXPECT_EQ(host.Param(kGlobalMidiChannel), 4);
  EXPECT_EQ(host.Param(kMIDIFilterWriteProtect), 1);
  EXPECT_EQ(host.sysexChannelByte.load(), 0x34);
  EXPECT_TRUE(manager.dataProcessed.load());

  // The same dump again changes no stored byte and says nothing of it.
  manager.globalRequested.store(true);
  CaptureConsole();
  host.FromHardware(g);
  const std::string said = CapturedConsole();
  EXPECT_TRUE(manager.dataProcessed.load());
  EXPECT_EQ(said.find("changed in SYSTEM"), std::string::npos) << said;

  // The answer flag tells of the message just routed only.
  host.FromHardware({0xF0, 0x42, 0x34, 0x58, 0x4E, 0x00, 0x00, 0xF7});
  EXPECT_FALSE(manager.dataProcessed.load());
}

TEST_F(Router, EditModeAndParameterValues)
{
  host.FromHardware({0xF0, 0x42, 0x30, 0x58, 0x4E, 0x01, 0x00, 0xF7});
  EXPECT_TRUE(manager.patchRequested.load());
  EXPECT_TRUE(host.editModeOn.load());
  // No job awaits the report's flag: it holds back no short message; a parameter change ends it.
  host.FromHardware({0xF0, 0x42, 0x30, 0x58, 0x4E, 0x00, 0x00, 0xF7});
  EXPECT_FALSE(host.editModeOn.load());
  EXPECT_TRUE(manager.patchRequested.load());

  struct Case
  {
    int param, pl, ph, vl, vh;
    double min, max, expectedPlain;
  };
  const Case cases[] = {
      {kArpTempo, 30, 0, 20, 1, 20, 300, 128},
      {kArpTempo, 30, 0, 20, 2, 20, 300, 256},
      {kArpSwing, 31, 0, 0x70, 0x7F, -100, 100, 84},
      {kTimbreTune, 52, 1, 10, 0, 0, 100, 60},
      {kFilterVeloSense, 53, 1, 0x7E, 0x7F, 0, 127, 62},
      {kFilterCutoff, 54, 1, 90, 0, 10, 110, 90},  // normalised against the minimum too
  };
  for (const Case& c : cases)
  {
    host.mins[(size_t)c.param] = c.min;
    host.maxs[(size_t)c.param] = c.max;
    FakeControl* ctl = sysex(c.pl, c.ph, c.param);
    host.FromHardware(paramChange(0x30, c.pl, c.ph, c.vl, c.vh));
    EXPECT_DOUBLE_EQ(ctl->value, (c.expectedPlain - c.min) / (c.max - c.min)) << c.param;
  }
  EXPECT_FALSE(manager.patchRequested.load());

  // Below 8 only the control found by its own address changes.
  FakeControl* own = sysex(5, 0, kPortamento);
  FakeControl* zero = cc(1, 0, 0, kModWheel);
  host.FromHardware(paramChange(0x30, 5, 0, 33, 0));
  EXPECT_DOUBLE_EQ(own->value, 33 / 127.0);
  EXPECT_EQ(zero->value, -1.0);

  // A translated NRPN row keys on its timbre's registration key, the MSB its
  // parameters are registered under and its own LSB: the NRPN address the hardware
  // announced last, and the timbres' channels, are no lookup keys.
  host.SetParam(kMultiPartMIDICh, 5);
  host.SetParam(kMultiPartMIDICh + 1, 1);
  FakeControl* step = nrpn(1, MIDIMessageManager::kTranslatedNrpnMsb, 0, 16, 0, kSeq1Step1);
  FakeControl* decoy = nrpn(2, 3, 7, 16, 0, kSeq1Step1 + 1);
  host.FromHardware({0xB1, 99, 3});
  host.FromHardware({0xB1, 98, 7});
  host.FromHardware(paramChange(0x30, 8, 1, 10, 0));
  EXPECT_DOUBLE_EQ(step->value, 74 / 127.0);
  EXPECT_EQ(decoy->value, -1.0);
  // Step 14 of the third sequence is a step with either sign, never CC 5.
  FakeControl* step14 = nrpn(1, MIDIMessageManager::kTranslatedNrpnMsb, 0, 61, 0, kSeq3Step14);
  FakeControl* porta = cc(1, 5, 0, kPortamento);
  host.FromHardware(paramChange(0x30, 57, 1, 10, 0));
  EXPECT_DOUBLE_EQ(step14->value, 74 / 127.0);
  EXPECT_EQ(porta->value, -1.0);

  // A translated row: parameter 71 of ph 0 is CC 5 of timbre 1, and the same row
  // 144 numbers up (ph 1) that of timbre 2, whatever channels the timbres are on.
  FakeControl* porta2 = cc(2, 5, 0, kPortamento + 1);
  host.FromHardware(paramChange(0x30, 71, 0, 40, 0));
  EXPECT_DOUBLE_EQ(porta->value, 40 / 127.0);
  FakeControl* cutoff2 = cc(2, 74, 0, kFilterCutoff + 1);
  host.FromHardware(paramChange(0x30, 85 + 16, 1, 41, 0));
  EXPECT_DOUBLE_EQ(cutoff2->value, 41 / 127.0);
  EXPECT_EQ(porta2->value, -1.0);
  // Timbre 2 has every row of timbre 1, also where its number has a pl below 8.
  FakeControl* amount2 = cc(2, 28, 0, kVPatchAmnt1 + 1);
  host.FromHardware(paramChange(0x30, 4, 2, 0x7E, 0x7F));
  EXPECT_DOUBLE_EQ(amount2->value, 62 / 127.0);
  host.FromHardware(paramChange(0x30, 87, 1, 42, 0));
  EXPECT_DOUBLE_EQ(porta2->value, 42 / 127.0);
  EXPECT_TRUE(host.editModeOn.load());
}

TEST_F(Router, CollectorsKeepOnlyWholePrograms)
{
  librarian.patchFiles.push_back(new PatchFile);
  librarian.patchFiles.back()->patches.resize(128);
  librarian.upperFileIndex.store(0);
  librarian.selectedSlot.store(5);
  const Bytes good = SynthModel::MakeProgram(42);
  Bytes truncated(good.begin(), good.begin() + 200);
  truncated.push_back(0xF7);
  Bytes malformed = good;
  malformed[100] |= 0x80;
  Bytes otherChannel = SynthModel::MakeProgram(42, 0x31);
  // No request runs: a collector stays armed after a request timed out, for a
  // late answer on the editor's channel 1. The all-programs one is armed alone by
  // the bank dump request.
  std::atomic<bool>& single = manager.libraryPatchRequest.libraryRequestActive;
  std::atomic<bool>& all = manager.libraryPatchRequestAll.libraryRequestAllActive;
  for (std::atomic<bool>* armed : {&single, &all})
    for (const Bytes* bad : {&truncated, &malformed, &otherChannel})
    {
      SCOPED_TRACE(armed == &all ? "all programs" : "one program");
      host.SetLibrarianRequestActive(true);
      single.store(armed == &single);
      all.store(armed == &all);
      host.showStatusText("");
      host.FromHardware(*bad);
      for (const LibrarianPatch& slot : librarian.patchFiles[0]->patches) EXPECT_TRUE(slot.messages.empty());
      EXPECT_FALSE(manager.dataProcessed.load());
      EXPECT_TRUE(armed->load());
      if (bad == &otherChannel) { EXPECT_EQ(host.LastStatus(), "Global Channel Mismatch!"); }
    }
  all.store(false);
  host.SetLibrarianRequestActive(true);
  // The librarian's own dump (a slot's program renamed) goes in whatever its channel,
  // and leaves the armed collector armed.
  EXPECT_TRUE(host.feedSysExFromLibrarian(otherChannel.data(), (int)otherChannel.size()));
  EXPECT_TRUE(single.load());
  ASSERT_EQ(librarian.patchFiles[0]->patches[5].messages.size(), 1u);
  librarian.patchFiles[0]->patches[5].messages.clear();
  host.SetLibrarianRequestActive(true);
  host.FromHardware(good);
  ASSERT_EQ(librarian.patchFiles[0]->patches[5].messages.size(), 1u);
  EXPECT_EQ(librarian.patchFiles[0]->patches[5].messages[0].bytes, good);
  EXPECT_EQ(librarian.patchFiles[0]->patches[5].name, "Prog 042    ");
  EXPECT_TRUE(manager.dataProcessed.load());
  EXPECT_FALSE(manager.libraryPatchRequest.libraryRequestActive.load());
}

TEST_F(Router, NameAndStoredBytesOfAParsedDump)
{
  Bytes dump = SynthModel::MakeProgram(1);
  for (int i = 6; i <= 18; ++i) dump[(size_t)i] = 0;
  dump[6] = 'W', dump[7] = 'i', dump[8] = 'n', dump[9] = 'd', dump[10] = 'o', dump[11] = 'w';
  manager.patchRequested.store(true);
  host.FromHardware(dump);
  EXPECT_EQ(host.patchNameText, "Window");
  EXPECT_EQ(host.programName, "Window");
  for (int i = 0; i < 296; ++i) EXPECT_EQ(host.getProgramValueByParts(i < 172 ? 0 : 1, 0, i), dump[(size_t)i]) << i;

  for (int i = 6; i <= 18; ++i) dump[(size_t)i] = 0;
  manager.patchRequested.store(true);
  host.FromHardware(dump);
  EXPECT_EQ(host.patchNameText, "");
  EXPECT_EQ(host.programName, "Set Name");
}

TEST_F(Router, ShortMessagesFromTheHardware)
{
  host.SetParam(kMultiPartMIDICh, 0);
  host.trackIncomingMidi.store(true);
  FakeControl* five = nrpn(1, 2, 0, 7, 0, kFilterType);
  FakeControl* lsbZero = nrpn(1, 2, 0, 0, 0, kFilterKBDTrack);
  host.FromHardware({0xB0, 99, 2});
  host.FromHardware({0xB0, 98, 7});
  host.FromHardware({0xB0, 6, 51});
  EXPECT_DOUBLE_EQ(five->value, 2 / 127.0);
  host.FromHardware({0xB0, 6, 64});
  EXPECT_DOUBLE_EQ(lsbZero->value, 64 / 127.0);

  FakeControl* eight = nrpn(1, 4, 0, 9, 0, kEG1Attack);
  FakeControl* plain = nrpn(1, 4, 0, 5, 0, kEG1Decay);
  const int before = host.paramChange2;
  host.FromHardware({0xB0, 99, 4});
  host.FromHardware({0xB0, 98, 9});
  host.FromHardware({0xB0, 6, 90});
  EXPECT_DOUBLE_EQ(eight->value, 5 / 127.0);
  EXPECT_EQ(host.paramChange2, before + 1);
  host.FromHardware({0xB0, 99, 4});
  host.FromHardware({0xB0, 98, 5});
  host.FromHardware({0xB0, 6, 90});
  EXPECT_DOUBLE_EQ(plain->value, 90 / 127.0);

  FakeControl* entry = cc(1, 6, 0, kAmpLevel);
  host.FromHardware({0xB0, 7, 1});
  host.FromHardware({0xB0, 6, 33});
  EXPECT_DOUBLE_EQ(entry->value, 33 / 127.0);

  FakeControl* lfoSync = sysex(0x6A, 0, kLfo1SyncNote);
  host.SetParam(kLfo1TempoSync, 1.0);
  host.FromHardware({0xB0, 27, 60});
  EXPECT_DOUBLE_EQ(lfoSync->value, 7 / 127.0);

  FakeControl* dwgs = cc(1, 15, 2, kOsc1DWGSWave);
  host.SetParam(kOsc1Waveform, 5.0);
  host.FromHardware({0xB0, 15, 101});
  EXPECT_DOUBLE_EQ(dwgs->value, 50 / 127.0);

  // On timbre 2's channel the sync and the waveform are timbre 2's, and so are the
  // sync note (16 numbers and one high byte up) and the DWGS knob.
  host.SetParam(kMultiPartMIDICh + 1, 3);
  FakeControl* lfoSync2 = sysex(0x6A + 16, 1, kLfo1SyncNote + 1);
  FakeControl* dwgs2 = cc(2, 15, 2, kOsc1DWGSWave + 1);
  host.FromHardware({0xB3, 27, 60});
  EXPECT_DOUBLE_EQ(lfoSync2->value, -1.0);  // timbre 2's sync is off: an ordinary CC 27
  host.SetParam(kLfo1TempoSync + 1, 1.0);
  host.SetParam(kOsc1Waveform + 1, 5.0);
  host.FromHardware({0xB3, 27, 9});
  host.FromHardware({0xB3, 15, 40});
  EXPECT_DOUBLE_EQ(lfoSync2->value, 1 / 127.0);
  EXPECT_DOUBLE_EQ(dwgs2->value, 20 / 127.0);
  EXPECT_DOUBLE_EQ(lfoSync->value, 7 / 127.0);
  EXPECT_DOUBLE_EQ(dwgs->value, 50 / 127.0);

  // Bank data is swallowed, and only as a pair.
  FakeControl* bankLsb = cc(1, 32, 0, kAmpPan);
  host.ClearSent();
  host.localControlOn.store(false);
  host.FromHardware({0xB0, 0, 0});
  host.FromHardware({0xB0, 32, 64});
  EXPECT_EQ(bankLsb->value, -1.0);
  EXPECT_TRUE(host.Sent().empty());
  host.FromHardware({0xB0, 32, 64});
  EXPECT_DOUBLE_EQ(bankLsb->value, 64 / 127.0);

  // Echo follows Local Control; indicators follow the incoming-activity flag.
  host.ClearSent();
  host.localControlOn.store(true);
  host.FromHardware({0x90, 60, 100});
  EXPECT_TRUE(host.Sent().empty());
  EXPECT_EQ(host.midiLedOn[0].load(), 1);
  host.localControlOn.store(false);
  host.FromHardware({0x90, 60, 100});
  EXPECT_EQ(host.Sent(), (std::vector<Bytes>{{0x90, 60, 100}}));
}

TEST_F(Router, ShortMessagesFromTheHost)
{
  host.SetParam(kMultiPartMIDICh, 2);
  host.dawFilterBlock[kFilterNotes].store(true);
  IMidiMsg on(0, 0x92, 60, 100), off(0, 0x82, 60, 0), onZero(0, 0x92, 61, 0);
  host.ProcessMidiMsg(&on, false);
  host.ProcessMidiMsg(&off, false);
  host.ProcessMidiMsg(&onZero, false);
  // A filter never leaves a note hanging: its end always goes through.
  EXPECT_EQ(host.Sent(), (std::vector<Bytes>{{0x82, 60, 0}, {0x92, 61, 0}}));

  host.ClearSent();
  IMidiMsg bankMsb(0, 0xB2, 0, 0), bankLsb(0, 0xB2, 32, 65);
  host.ProcessMidiMsg(&bankMsb, false);
  host.ProcessMidiMsg(&bankLsb, false);
  // The pair's MSB is dropped; an LSB outside the program-change codes passes on.
  EXPECT_EQ(host.Sent(), (std::vector<Bytes>{{0xB2, 32, 65}}));
  EXPECT_EQ(host.Param(kCurrentBank), 0);  // editor pages untouched

  // CC 15 is halved for the timbre on this channel that plays waveform 5 only; the
  // timbre on channel 3 has the lookup key 1 of timbre 1's controls.
  FakeControl* c15 = cc(1, 15, 0, kOsc1Control1);
  host.SetParam(kOsc1Waveform, 5.0);
  IMidiMsg fifteen(0, 0xB2, 15, 100);
  host.ProcessMidiMsg(&fifteen, false);
  EXPECT_DOUBLE_EQ(c15->value, 50 / 127.0);
  host.SetParam(kOsc1Waveform, 0.0);
  host.SetParam(kOsc1Waveform + 1, 5.0);
  host.ProcessMidiMsg(&fifteen, false);
  EXPECT_DOUBLE_EQ(c15->value, 100 / 127.0);

  // The effect knobs belong to no timbre: they are reached on any channel.
  FakeControl* speed = cc(0, 12, 0, kModFxSpeed);
  IMidiMsg twelve(0, 0xB7, 12, 33);
  host.ProcessMidiMsg(&twelve, false);
  EXPECT_DOUBLE_EQ(speed->value, 33 / 127.0);
}

TEST_F(Router, ProgramChangeLocksAndTheSysexSender)
{
  host.SetParam(kGlobalMidiChannel, 0);
  host.SetParam(kMultiPartMIDICh, 3);
  host.SetParam(kPartLock, 1.0);
  host.SetParam(kControlLibrary, 1.0);  // the librarian answers; no job is started
  host.FromHardware({0xC3, 9});
  EXPECT_TRUE(host.librarianSends.empty());
  manager.patchRequested.store(false);
  host.FromHardware({0xC0, 9});
  EXPECT_EQ(host.librarianSends, (std::vector<std::pair<int, int>>{{9, 0}}));
  EXPECT_EQ(librarian.selectedSlot.load(), 9);

  host.ClearSent();
  manager.sendSysexMessage({0x141, 0x30});
  EXPECT_EQ(host.Sent(), (std::vector<Bytes>{{0xF0, 0x41, 0x30, 0xF7}}));
  host.SetParam(kDeviceOutSelection, 0.0);
  manager.sendSysexMessage({0x42, 0x30});
  EXPECT_EQ(host.Sent().size(), 1u);
  EXPECT_EQ(host.nameLine.back(), "Set MIDI I/O First!");
}

TEST(TapPattern, DecodeInvertsEncode)
{
  std::mt19937 rng(3);
  for (int n = 0; n < 200; ++n)
  {
    char in[33], code[11], out[33];
    for (int k = 0; k < 30; k += 2) in[k] = (char)(rng() % 8), in[k + 1] = (char)(rng() % 3);
    in[30] = (char)(rng() % 8), in[31] = (char)(rng() % 3), in[32] = 0;
    MIDIMessageSender::GenTapPatternCode(code, in);
    MIDIMessageManager::decodeTapPatternCode((const unsigned char*)code, out);
    for (int k = 0; k < 31; ++k) ASSERT_EQ(out[k], in[k]) << n << " " << k;
  }
}

TEST_F(Router, ABankDumpCutShortOnTheRequestRoadFillsItsWholeProgramsAndSaysHowMany)
{
  // 128 programs packed as one stream, as the synthesizer sends them, cut at 20,000 bytes.
  std::vector<uint8_t> data;
  for (int p = 0; p < 128; ++p)
  {
    const Bytes program = SynthModel::MakeProgram(900 + p);
    for (int d = 0; d < 254; ++d) data.push_back(readDumpDataByte(program.data(), d));
  }
  Bytes dump = {0xF0, 0x42, 0x30, 0x58, 0x4C};
  std::vector<uint8_t> packed(data.size() + (data.size() + 6) / 7);
  packed.resize((size_t)sysexPack7(data.data(), (int)data.size(), packed.data()));
  dump.insert(dump.end(), packed.begin(), packed.end());
  dump.push_back(0xF7);
  ASSERT_EQ(dump.size(), (size_t)kAllProgramDumpSize);
  Bytes cut(dump.begin(), dump.begin() + 19999);
  cut.push_back(0xF7);

  librarian.allPatchesRequestActive.store(true);
  host.FromHardware(cut);
  ASSERT_FALSE(host.secondLine.empty());
  EXPECT_EQ(host.secondLine.back(), "68 of 128 programs received");
}
