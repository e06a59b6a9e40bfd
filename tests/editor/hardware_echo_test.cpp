// The configuration's hardware addresses against the editor's own input: every
// control's message, fed back the way the hardware sends it (a front-panel edit),
// moves that control and no other to the value sent, negative values included; a
// parameter change at any address moves at most one parameter, the one its own
// control or its translation row stands for; no two parameters share an address.
// Both timbres, on two channel settings, on the configuration users run.

#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "plug/IParam.h"
#include "ui/ControlAction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <tuple>

namespace {

using Bytes = std::vector<unsigned char>;

// The editor with its real hardware router behind the input gates.
class EchoEditor : public RecordingEditor
{
public:
  void routeMidiFromDevice(IMidiMsg* m) override { Davrel::routeMidiFromDevice(m); }
  void routeMidiFromDAW(IMidiMsg* m, int part) override { Davrel::routeMidiFromDAW(m, part); }
  void routeSysEx(ISysEx* s, bool fromDevice) override { Davrel::routeSysEx(s, fromDevice); }
};

struct ChannelSetting
{
  const char* name;
  int global, timbre1, timbre2;  // parameter values; 16 is the global channel
};

const ChannelSetting kSettings[] = {
    {"timbre 1 on channel 2, timbre 2 on channel 3", 0, 1, 2},
    {"timbre 1 on the global channel 10, timbre 2 on channel 1", 9, 16, 0},
};

// What a parameter change at (pl, ph) stands for under CC or NRPN, as the
// hardware's parameter numbering implies it: the parameter of timbre 1 or of the
// common part, timbre 2's (the next id) 144 numbers up, or -1 for none.
int impliedByRow(int pl, int ph)
{
  int n = ph * 128 + pl, timbre = 0;
  if (n >= 208) n -= 144, timbre = 1;
  if (n < 8) return -1;
  if (n >= 136 && n <= 187)  // the three sequences' steps, two settings between them
  {
    const int s = (n - 136) / 18, k = (n - 136) % 18;
    return k < 16 ? kSeq1Step1 + 32 * s + 2 * k + timbre : -1;
  }
  static const std::map<int, int> rows = {
      {22, kDelayFxTime}, {23, kDelayFxDepth}, {25, kModFxSpeed}, {26, kModFxDepth}, {28, kArpType},
      {29, kArpOnOff},  // the row's LSB is ours to give: the switch that goes on the arpeggiator
      {32, kArpGate}, {71, kPortamento}, {73, kOsc1Waveform}, {74, kOsc1Control1}, {75, kOsc1Control2},
      {76, kOsc1DWGSWave}, {77, kOsc2Waveform}, {78, kOsc2OscMod}, {79, kOsc2Semitone}, {80, kOsc2Tune},
      {81, kOsc1Level}, {82, kOsc2Level}, {83, kNoiseLevel}, {84, kFilterType}, {85, kFilterCutoff},
      {86, kFilterResonance}, {87, kFilterEGIntensity}, {88, kFilterKBDTrack}, {89, kAmpLevel}, {90, kAmpPan},
      {91, kAmpGateSw}, {94, kEG1Attack}, {95, kEG1Decay}, {96, kEG1Sustain}, {97, kEG1Release},
      {99, kEG2Attack}, {100, kEG2Decay}, {101, kEG2Sustain}, {102, kEG2Release}, {104, kLfo1Waveform},
      {105, kLfo1Frequency}, {109, kLfo2Waveform}, {110, kLfo2Frequency}, {116, kVPatchAmnt1},
      {119, kVPatchAmnt2}, {122, kVPatchAmnt3}, {125, kVPatchAmnt4}};
  const auto it = rows.find(n);
  if (it == rows.end()) return -1;
  return it->second + timbre;
}

// The plain value a translated row gives, from the row's own rule; -1: no value.
int rowValue(int pl, int ph, int vl, int vh)
{
  const int n = ph * 128 + pl, t1 = n >= 208 ? n - 144 : n;
  const bool centred = (t1 >= 136 && t1 <= 187) || t1 == 87 || t1 == 88 || t1 == 90 || t1 == 116 || t1 == 119 ||
                       t1 == 122 || t1 == 125;
  if (centred) return vh == 0 || vh == 0x7F ? (vl < 65 ? vl + 64 : vl - 64) : -1;
  if (vh != 0) return -1;
  return t1 == 32 ? (int)((vl + 1) * 1.27) : vl;
}

struct Fixture
{
  DataFolder data;
  std::unique_ptr<UnderTest<EchoEditor>> e{new UnderTest<EchoEditor>};
  std::vector<int> bound;               // parameters with a MIDI-sending control
  std::map<int, double> start;          // their values before each case
  double global = 0, ch1 = 0, ch2 = 0;  // the setting's channel parameters

  explicit Fixture(const ChannelSetting& s)
  {
    e->GetParam(kDeviceOutSelection)->InitInt("out", 0, 0, 8);
    e->GetParam(kDeviceOutSelection)->Set(1);
    e->midiOutSet = true;
    global = s.global, ch1 = s.timbre1, ch2 = s.timbre2;
    for (int id = 0; id < e->NParams(); ++id)
    {
      const auto* a = static_cast<const ControlAction*>(e->GetParam(id)->GetControlAction());
      if (a && !a->controls.empty() && a->actionType != 0 && a->actionType != 4) bound.push_back(id);
    }
    for (int id : bound) start[id] = e->GetParam(id)->Value();
    reset();
  }

  ControlAction* action(int id) { return static_cast<ControlAction*>(e->GetParam(id)->GetControlAction()); }

  // A parameter set without any MIDI: the controls follow, the next send is not skipped.
  void place(int id, double value)
  {
    IParam* p = e->GetParam(id);
    p->Set(value);
    for (IControl* c : action(id)->controls) c->SetValueFromPlug(p->GetNormalized());
    action(id)->lastValue = -1.0;
  }

  void reset()
  {
    for (const auto& s : start) place(s.first, s.second);
    place(kGlobalMidiChannel, global);
    place(kMultiPartMIDICh, ch1);
    place(kMultiPartMIDICh + 1, ch2);
    e->sysexChannelByte = (uint8_t)(0x30 + (int)global);
    // The tempo knob sends only while the host's tempo does not drive it.
    e->GetParam(kOverrideTempo)->Set(0.0);
    e->currentPart = 0;
    e->midiMessageManager->patchRequested = false;
    e->takeSent();
  }

  std::map<int, double> values()
  {
    std::map<int, double> v;
    for (int id : bound) v[id] = e->GetParam(id)->Value();
    return v;
  }

  void feed(const Bytes& b)
  {
    if (b[0] == 0xF0)
    {
      ISysEx s(0, b.data(), (int)b.size());
      e->ProcessSysEx(&s, true);
    }
    else
    {
      IMidiMsg m(0, b[0], b.size() > 1 ? b[1] : 0, b.size() > 2 ? b[2] : 0);
      e->ProcessMidiMsg(&m, true);
    }
  }

  // The parameters whose value differs from the one before.
  std::set<int> moved(const std::map<int, double>& before)
  {
    std::set<int> m;
    for (const auto& v : values())
      if (std::abs(v.second - before.at(v.first)) > 1e-9) m.insert(v.first);
    return m;
  }
};

// The values tried on a parameter: both ends, the ones beside them and the middle,
// so that a signed parameter goes out with its lowest, a negative and a positive value.
std::vector<int> valuesOf(const IParam* p)
{
  const int lo = (int)p->GetMin(), hi = (int)p->GetMax();
  std::set<int> v = {lo, lo + 1, (lo + hi) / 2, (lo + hi) / 2 + 1, hi - 1, hi};
  std::vector<int> out;
  for (int x : v)
    if (x >= lo && x <= hi) out.push_back(x);
  return out;
}

int sysexNumber(const std::vector<int>& m) { return m[5] * 128 + m[4]; }

// The timbre-2 member of a per-timbre pair (the timbre-1 member is the id before).
bool secondCopy(int id)
{
  if ((id >= 0 && id <= 63) || (id >= 76 && id <= 87)) return id % 2 == 1;
  return ((id >= 99 && id <= 266) || (id >= 315 && id <= 320)) && id % 2 == 0;
}

}  // namespace

TEST(HardwareEcho, EveryControlsOwnMessageComesBackOntoItAlone)
{
  for (const ChannelSetting& s : kSettings)
  {
    SCOPED_TRACE(s.name);
    Fixture f(s);
    ASSERT_GT(f.bound.size(), 200u) << "the editor was built without its configuration";
    int cases = 0, negatives = 0;
    for (int id : f.bound)
    {
      const IParam* p = f.e->GetParam(id);
      for (int v : valuesOf(p))
      {
        SCOPED_TRACE(std::string(p->GetNameForHost()) + " (" + std::to_string(id) + ") = " + std::to_string(v));
        f.reset();
        // The DWGS knob is on the page, and sends, while its oscillator plays DWGS.
        if (id == kOsc1DWGSWave || id == kOsc1DWGSWave + 1) f.place(kOsc1Waveform + id - kOsc1DWGSWave, 5);
        f.place(id, v == (int)p->GetMin() ? p->GetMax() : p->GetMin());
        f.e->userSets(id, v);
        std::vector<Bytes> own;
        for (const Bytes& b : f.e->takeSent())
          if (!(b.size() > 4 && b[0] == 0xF0 && b[4] == 0x4E)) own.push_back(b);  // edit mode is no echo
        ASSERT_FALSE(own.empty());
        for (const Bytes& b : own)
          if (b[0] == 0xF0 && b.size() == 10 && b[8] == 0x7F && b[5] != 0x43 && b[5] != 0x53) ++negatives;

        const int other = v == (int)p->GetMin() ? (int)p->GetMax() : (int)p->GetMin();
        f.place(id, other);
        const std::map<int, double> before = f.values();
        for (const Bytes& b : own) f.feed(b);
        EXPECT_DOUBLE_EQ(f.e->GetParam(id)->Value(), v);
        std::set<int> moved = f.moved(before);
        moved.erase(id);
        EXPECT_TRUE(moved.empty()) << "also moved parameter " << *moved.begin();
        ++cases;
      }
    }
    EXPECT_GT(negatives, 100) << "signed values must go out with vh = 7F";
    EXPECT_GT(cases, 1000);
  }
}

TEST(HardwareEcho, EveryParameterChangeMovesOneParameterAtMost)
{
  for (const ChannelSetting& s : kSettings)
  {
    SCOPED_TRACE(s.name);
    Fixture f(s);
    int reached = 0;
    for (int ph = 0; ph < 3; ++ph)
      for (int pl = 0; pl < 128; ++pl)
        for (int vh : {0, 0x7F})
        {
          const int vl = vh == 0 ? 3 : 0x7A;
          SCOPED_TRACE("pl " + std::to_string(pl) + " ph " + std::to_string(ph) + " vh " + std::to_string(vh));
          f.reset();
          const std::map<int, double> before = f.values();
          IControl* ownControl = f.e->getSysexControl(0x58, 0x41, pl, ph, 0);
          const int own = ownControl ? ownControl->ParamIdx() : -1;
          const int implied = impliedByRow(pl, ph);
          f.feed({0xF0, 0x42, f.e->sysexChannelByte.load(), 0x58, 0x41, (unsigned char)pl, (unsigned char)ph,
                  (unsigned char)vl, (unsigned char)vh, 0xF7});
          const std::set<int> moved = f.moved(before);
          EXPECT_LE(moved.size(), 1u);
          for (int m : moved) EXPECT_TRUE(m == own || m == implied) << "moved parameter " << m;
          if (own >= 0 && implied >= 0) { EXPECT_EQ(own, implied) << "an address of another parameter's row"; }
          const int value = rowValue(pl, ph, vl, vh);
          if (implied >= 0 && own < 0 && value >= 0)
          {
            const IParam* p = f.e->GetParam(implied);
            EXPECT_DOUBLE_EQ(p->Value(), std::min(std::max((double)value, p->GetMin()), p->GetMax()))
                << "the row does not reach parameter " << implied;
            ++reached;
          }
        }
    EXPECT_GT(reached, 80);
  }
}

TEST(HardwareEcho, NoTwoParametersShareAnAddress)
{
  Fixture f(kSettings[0]);
  std::map<std::vector<int>, int> owner;
  std::map<int, int> number;  // parameter -> its parameter-change number
  auto claim = [&](std::vector<int> address, int id) {
    const auto it = owner.emplace(address, id).first;
    EXPECT_EQ(it->second, id) << "parameters " << it->second << " and " << id << " share an address";
  };
  for (int id : f.bound)
  {
    const ControlAction* a = f.action(id);
    SCOPED_TRACE(f.e->GetParam(id)->GetNameForHost());
    if (a->actionType == 1 || a->actionType == 2) claim({1, a->channelKey, a->ccNumber, a->subKey}, id);
    else if (a->actionType == 3)
      claim({3, a->channelKey, a->msbValue, a->valueOffset, a->lsbValue, a->subKey}, id);
    else
    {
      ASSERT_FALSE(a->sysExMessage.messages.empty());
      const int n = sysexNumber(a->sysExMessage.messages[0]);
      for (const auto& m : a->sysExMessage.messages) EXPECT_EQ(sysexNumber(m), n);
      claim({6, n}, id);
      number[id] = n;
    }
  }
  // The configuration's own templates use only ph 0 and 1; a timbre's second copy
  // sits 144 numbers up, the velocity intensities' 128 (only their high byte moves).
  for (const auto& n : number)
  {
    if (!secondCopy(n.first) || n.first == kMultiPartMIDICh + 1)
    {
      EXPECT_LT(n.second, 256) << "parameter " << n.first;
      continue;
    }
    ASSERT_TRUE(number.count(n.first - 1)) << "parameter " << n.first;
    const int up = n.first == kFilterVeloSense + 1 || n.first == kAmpVeloSense + 1 ? 128 : 144;
    EXPECT_EQ(n.second - number[n.first - 1], up) << "parameter " << n.first;
  }
  EXPECT_EQ(number[kMultiPartMIDICh + 1] - number[kMultiPartMIDICh], 144);
}

// A change from the hardware shows the parameter's own name, and value, rather than
// the timbre tab's: a switch that decides which controls the page shows (voice
// assign, LFO 2's tempo sync) lays the page out again; a panel change's echo with
// no output port (local control off) is shown, not refused with "Set MIDI I/O First!".
TEST(HardwareEcho, AChangeFromTheHardwareKeepsItsNameOnTheDisplay)
{
  Fixture f(kSettings[0]);
  auto sysex = [&](unsigned char pl, unsigned char ph, unsigned char v) {
    return Bytes{0xF0, 0x42, f.e->sysexChannelByte.load(), 0x58, 0x41, pl, ph, v, 0, 0xF7};
  };
  struct Case
  {
    int id, value;
    Bytes msg;
    const char* valueLine;  // null: not looked at
    bool noPort;
  } cases[] = {{kVoiceAssign, 2, sysex(93, 0, 2), "Unison [2]", false},
               {kLfo2TempoSync, 1, sysex(60, 1, 1), "ON [1]", false},
               {kFilterCutoff, 20, {0xB1, 74, 20}, nullptr, true}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.id);
    f.reset();
    f.place(c.id, 0);
    f.e->midiOutSet = !c.noPort, f.e->localControlOn = !c.noPort;
    f.e->displayText("-", "-", "-");
    f.feed(c.msg);
    ASSERT_EQ(f.e->GetParam(c.id)->Value(), c.value);
    EXPECT_EQ(f.e->nameLine(), f.e->GetParam(c.id)->GetNameForHost());
    if (c.valueLine) { EXPECT_EQ(f.e->valueLine(), c.valueLine); }
    EXPECT_EQ(f.e->timbreLine(), "[TIMBRE 1]");
  }
}
