// The port layer's steps on scripted ports: lists, selection by name, the
// failure table, port numbers, and the bytes each send operation puts out.
#include "ConsoleCapture.h"
#include "PollUntil.h"
#include "plug/MidiPortSelect.h"

#include <RtMidi.h>
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>


namespace {

struct FakePort : MidiPortAccess
{
  FakePort(bool in, std::vector<std::string> n) : input(in), names(std::move(n)) {}
  bool IsInput() const override { return input; }
  bool Exists() const override { return exists; }
  unsigned PortCount() override { return (unsigned)names.size(); }
  std::string PortName(unsigned port) override
  {
    if (unreadable.count(port)) throw RtMidiError("name cannot be read", RtMidiError::DRIVER_ERROR);
    return names.at(port);
  }
  void OpenPort(unsigned port) override
  {
    if (failOpen) throw RtMidiError("port is busy", RtMidiError::DRIVER_ERROR);
    if (whileOpening) whileOpening(*this);
    // As the library does: the number is looked up again, and an invalid one
    // connects nothing yet counts as open.
    open = (int)port;
    joined = port < names.size() ? names[port] : std::string();
    ++opens;
  }
  void ClosePort() override
  {
    open = -1;
    joined.clear();
  }
  // Where the library tells connections (tells), our port is "us:port" while open.
  std::vector<std::string> OwnPorts() override
  {
    if (!tells || open < 0) return {};
    if (twin) return {"them:port", "us:port"};
    return {"us:port"};
  }
  int Connected(const std::string& ours, const std::string& name) override
  {
    if (!tells) return -1;
    return ours == "us:port" && open >= 0 && joined == name;
  }

  bool input;
  std::vector<std::string> names;
  bool exists = true, failOpen = false, tells = false, twin = false;
  std::set<unsigned> unreadable;
  int open = -1, opens = 0;
  std::string joined;                               // the port ours is connected to
  std::function<void(FakePort&)> whileOpening;      // ports coming or going meanwhile
};

typedef std::vector<std::string> Names;

} // namespace

TEST(MidiPortList, OffThenEveryPortInLibraryOrder)
{
  FakePort out(false, {"A", "B"});
  CaptureConsole();
  EXPECT_EQ(ReadMidiPortNames(out), (Names{"OFF", "A", "B"}));
  EXPECT_EQ(CapturedConsole(), "MIDI OUT Port: A found and assigned!\nMIDI OUT Port: B found and assigned!\n");

  FakePort none(true, {});
  EXPECT_EQ(ReadMidiPortNames(none), (Names{"OFF"}));
}

TEST(MidiPortList, UnreadableNameKeepsItsPlace)
{
  FakePort in(true, {"A", "B", "C", "D"});
  in.unreadable = {0, 2};
  CaptureConsole();
  const Names names = ReadMidiPortNames(in);
  const std::string log = CapturedConsole();
  EXPECT_EQ(names, (Names{"OFF", "", "B", "B", "D"}));
  EXPECT_NE(log.find("Failed to get MIDI input port name!\n"), std::string::npos);
  // D is still port 3, list entry 4.
  int index = 1, last = 0;
  EXPECT_EQ(SelectMidiPort(in, last, names, index, "D"), 4);
  EXPECT_EQ(in.open, 3);
}

TEST(MidiPortSelect, NameDecidesAndIndexIsWrittenBack)
{
  FakePort out(false, {"A", "B"});
  const Names names = ReadMidiPortNames(out);
  int last = 0;
  struct Step { int index; const char* name; int result; int written; int open; };
  const Step steps[] = {
      {2, "B", 2, 2, 1},      // B opens port number 1
      {1, "A", 1, 1, 0},      // A closes that port and opens port number 0
      {1, "B", 2, 2, 1},      // index 1 with name B: the name decides
      {2, "OFF", 0, 0, -1},   // "OFF" closes
      {2, "B", 2, 2, 1},
      {1, "Z", 0, 0, -1},     // a name not in the list closes
      {0, "A", 0, 0, -1},     // index 0 means off whatever the name
  };
  for (const Step& s : steps)
  {
    int index = s.index;
    EXPECT_EQ(SelectMidiPort(out, last, names, index, s.name), s.result) << s.name;
    EXPECT_EQ(index, s.written) << s.name;
    EXPECT_EQ(out.open, s.open) << s.name;
  }
}

TEST(MidiPortSelect, DuplicateNamesOpenTheFirst)
{
  FakePort in(true, {"X", "Twin", "Twin"});
  const Names names = ReadMidiPortNames(in);
  int last = 0, index = 3;
  EXPECT_EQ(SelectMidiPort(in, last, names, index, "Twin"), 2);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(in.open, 1);
}

TEST(MidiPortSelect, PortThatLeftOrMovedSinceTheListWasBuilt)
{
  FakePort out(false, {"A", "B", "C"});
  const Names names = ReadMidiPortNames(out);
  int last = 0, index = 3;
  // C is entry 3 but a port came and went: it is port 0 now, and B is gone. An
  // entry beyond the ports there are now is still found by its name.
  out.names = {"C", "A"};
  EXPECT_EQ(SelectMidiPort(out, last, names, index, "C"), 3);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(out.open, 0);
  index = 1;
  EXPECT_EQ(SelectMidiPort(out, last, names, index, "A"), 1);
  EXPECT_EQ(out.open, 1);  // opened where A is now, not at its old number 0
  index = 2;
  EXPECT_EQ(SelectMidiPort(out, last, names, index, "B"), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(out.open, -1);
}

TEST(MidiPortSelect, FailureTable)
{
  // No object: index 0, result 0, nothing logged.
  FakePort gone(true, {"A"});
  gone.exists = false;
  int last = 0, index = 1;
  CaptureConsole();
  EXPECT_EQ(SelectMidiPort(gone, last, {"OFF", "A"}, index, "A"), 0);
  EXPECT_EQ(CapturedConsole(), "");
  EXPECT_EQ(index, 0);

  // Output port cannot be opened: index 0, result 0, port closed.
  FakePort out(false, {"A"});
  const Names outNames = ReadMidiPortNames(out);
  out.failOpen = true;
  last = 0;
  index = 1;
  EXPECT_EQ(SelectMidiPort(out, last, outNames, index, "A"), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(out.open, -1);

  // Input port cannot be opened: index 0 too, so the menu shows no dead port.
  FakePort in(true, {"A"});
  const Names inNames = ReadMidiPortNames(in);
  in.failOpen = true;
  last = 0;
  index = 1;
  CaptureConsole();
  EXPECT_EQ(SelectMidiPort(in, last, inNames, index, "A"), 0);
  const std::string log = CapturedConsole();
  EXPECT_EQ(index, 0);
  EXPECT_EQ(in.open, -1);
  EXPECT_EQ(log,
            "RtMidiIn - number of midi input ports: 1\n"
            "Currently set input: A\n"
            "RtMidiIn - port where we want to connect: 1\n"
            "\nport is busy\n\n"
            "UNABLE TO OCCUBY MIDI INPUT PORT!!\n");

  // A name not in the list, on the input side.
  in.failOpen = false;
  index = 1;
  CaptureConsole();
  EXPECT_EQ(SelectMidiPort(in, last, inNames, index, "Nowhere"), 0);
  EXPECT_EQ(CapturedConsole(),
            "RtMidiIn - number of midi input ports: 1\nRtMidiIn - port where we want to connect: -1\n");
  EXPECT_EQ(index, 0);
}

TEST(MidiPortSelect, InputOpensWithItsLog)
{
  FakePort in(true, {"Rudu:MIDI Out"});
  const Names names = ReadMidiPortNames(in);
  int last = 0, index = 1;
  CaptureConsole();
  EXPECT_EQ(SelectMidiPort(in, last, names, index, "Rudu:MIDI Out"), 1);
  EXPECT_EQ(CapturedConsole(),
            "RtMidiIn - number of midi input ports: 1\n"
            "Currently set input: Rudu:MIDI Out\n"
            "RtMidiIn - port where we want to connect: 1\n"
            "RtMidiIn - Opened port: Rudu:MIDI Out - at location: 0\n");
  EXPECT_EQ(last, 1);
}

TEST(MidiPortNumbers, AskedOfTheLibraryAfresh)
{
  FakePort out(false, {"A", "B"});
  FakePort in(true, {"A", "B"});
  EXPECT_EQ(MidiPortNumber(out, "OFF"), 0);
  EXPECT_EQ(MidiPortNumber(out, "virtual output"), 1);
  EXPECT_EQ(MidiPortNumber(in, "virtual input"), 1);
  EXPECT_EQ(MidiPortNumber(in, "virtual output"), -1);
  EXPECT_EQ(MidiPortNumber(out, "A"), 1);
  EXPECT_EQ(MidiPortNumber(in, "B"), 2);
  out.names = {"B", "A"};
  EXPECT_EQ(MidiPortNumber(out, "A"), 2);
  EXPECT_EQ(MidiPortNumber(out, "C"), -1);
  FakePort empty(false, {});
  EXPECT_EQ(MidiPortNumber(empty, "A"), -1);

  const Names names = ReadMidiPortNames(in);
  CaptureConsole();
  EXPECT_EQ(FindMidiDevice(in, names, "B"), 2);
  EXPECT_EQ(CapturedConsole(), "Currently set input: B\n");
  EXPECT_EQ(FindMidiDevice(in, names, "C"), -1);
  in.exists = false;
  EXPECT_EQ(FindMidiDevice(in, names, "B"), -1);
}

TEST(MidiWireBytes, ShortMessages)
{
  struct Case { IMidiMsg msg; std::vector<unsigned char> wire; };
  IMidiMsg pc, cc;
  pc.MakeProgramChangeMsg(5 / 127.0, 0);
  cc.MakeControlChangeMsg(IMidiMsg::kChannelVolume, 1.0, 2);
  const Case cases[] = {
      {pc, {0xC0, 0x05}},
      {IMidiMsg(0, 0x90, 0x3C, 0x64), {0x90, 0x3C, 0x64}},
      {IMidiMsg(0, 0xD3, 0x40, 0x11), {0xD3, 0x40}},
      {cc, {0xB2, 0x07, 0x7F}},
      {IMidiMsg(0, 0xE0, 0x00, 0x40), {0xE0, 0x00, 0x40}},
      {IMidiMsg(0, 0xA1, 0x3C, 0x20), {0xA1, 0x3C, 0x20}},
      {IMidiMsg(0, 0x8F, 0x7F, 0x7F), {0x8F, 0x7F, 0x7F}},
      // The unsent second byte of a one-byte kind may be anything (a program change holds FF).
      {IMidiMsg(0, 0xCF, 0x7F, 0xFF), {0xCF, 0x7F}},
      // Bytes that would break the stream are not sent at all: a data byte with bit 7
      // (90 3C C8 would be read as a program change on channel 9), a status without
      // it, a system status (F0 would open a message that never ends).
      {IMidiMsg(0, 0x90, 0x3C, 0xC8), {}},
      {IMidiMsg(0, 0xB0, 0x80, 0x00), {}},
      {IMidiMsg(0, 0xC0, 0x85, 0xFF), {}},
      {IMidiMsg(0, 0xD0, 0xFF, 0x00), {}},
      {IMidiMsg(0, 0x45, 0x3C, 0x64), {}},
      {IMidiMsg(0, 0x00, 0x00, 0x00), {}},
      {IMidiMsg(0, 0xF0, 0x7E, 0xF7), {}},
      {IMidiMsg(0, 0xF8, 0x00, 0x00), {}},
      {IMidiMsg(0, 0xFF, 0x00, 0x00), {}},
  };
  for (const Case& c : cases)
  {
    unsigned char bytes[3];
    const int n = MidiMsgWireBytes(c.msg, bytes);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + n), c.wire) << std::hex << (int)c.msg.mStatus;
  }
}

TEST(MidiWireBytes, SystemExclusiveFraming)
{
  WDL_TypedBuf<unsigned char> buf;
  const unsigned char body[] = {0x42, 0x30, 0x58, 0x10};
  MidiSysexWireBytes(body, 4, &buf);
  EXPECT_EQ(std::vector<unsigned char>(buf.Get(), buf.Get() + buf.GetSize()),
            (std::vector<unsigned char>{0xF0, 0x42, 0x30, 0x58, 0x10, 0xF7}));
  // Begins with F0: unchanged, no F7 added.
  const unsigned char whole[] = {0xF0, 0x42, 0x30, 0x58, 0x12};
  MidiSysexWireBytes(whole, 5, &buf);
  EXPECT_EQ(std::vector<unsigned char>(buf.Get(), buf.Get() + buf.GetSize()),
            std::vector<unsigned char>(whole, whole + 5));
  MidiSysexWireBytes(body, 0, &buf);
  EXPECT_EQ(buf.GetSize(), 0);
}

// Another port taking the chosen port's number between the look-up and the
// opening: the library opens the number, so the port connected is checked, by its
// connection where the library tells it, else by the number's name afterwards.
TEST(MidiPortSelect, APortThatLosesItsNumberWhileItOpensIsOpenedWhereItIsNow)
{
  struct Row { const char* what; bool tells; Names ports; int moves; int result; int opens; const char* log; bool twin = false; };
  const Row rows[] = {
      {"a port comes before it", true, {"A", "Rudu"}, 1, 2, 2, "was not the port opened at number 1"},
      {"the same, untold", false, {"A", "Rudu"}, 1, 2, 2, "was not the port opened at number 1"},
      {"the port before it leaves", true, {"A", "Rudu"}, -1, 2, 2, "was not the port opened at number 1"},
      {"the same, untold", false, {"A", "Rudu"}, -1, 2, 2, "was not the port opened at number 1"},
      {"ports keep coming", true, {"A", "Rudu"}, 99, 0, 3, "could not be opened: other ports kept taking its place"},
      {"nothing moves", true, {"A", "Rudu"}, 0, 2, 1, ""},
      // Another port of our kind came with ours: which one is ours cannot be told.
      {"two new ports of ours at once", true, {"A", "Rudu"}, 0, 2, 1, "", true},
  };
  for (const Row& r : rows)
  {
    FakePort out(false, r.ports);
    out.tells = r.tells;
    out.twin = r.twin;
    const Names names = ReadMidiPortNames(out);
    int moves = r.moves, last = 0, index = 2;
    out.whileOpening = [&moves](FakePort& p) {
      if (moves > 0) p.names.insert(p.names.begin(), "New" + std::to_string(moves--));
      if (moves < 0 && p.names.size() > 1) p.names.erase(p.names.begin()), ++moves;
    };
    std::string ours;
    CaptureConsole();
    EXPECT_EQ(SelectMidiPort(out, last, names, index, "Rudu", &ours), r.result) << r.what;
    const std::string log = CapturedConsole();
    EXPECT_EQ(index, r.result) << r.what;
    EXPECT_EQ(out.opens, r.opens) << r.what;
    EXPECT_EQ(out.joined, r.result ? "Rudu" : "") << r.what;
    EXPECT_EQ(ours, r.result && r.tells && !r.twin ? "us:port" : "") << r.what;
    // Nothing moving, nothing is said of the port.
    EXPECT_EQ(log.find(*r.log ? r.log : " Port: Rudu ") != std::string::npos, *r.log != 0) << r.what << "\n" << log;
  }
}

TEST(MidiPortWatch, AChosenPortThatGoesIsClosedSaidOnceAndOpenedAgainWhereItsNameIsBack)
{
  struct Look { Names ports; bool replaced; bool failOpen; int open; std::string outLog, inLog; };
  const std::string gone = " Port: Rudu is gone!\n", back = " Port: Rudu is back and opened again\n",
                    busy = " Port: Rudu is back but could not be opened\n";
  // The library's own message goes into the log with our line, once too.
  const std::string library = "\nport is busy\n\n";
  const Look looks[] = {
      {{"A", "Rudu"}, false, false, 1, "", ""},
      {{"Rudu"}, false, false, 1, "", ""},  // still there, now at number 0
      {{"A"}, false, false, -1, "MIDI OUT" + gone, "MIDI IN" + gone},
      {{"A"}, false, false, -1, "", ""},
      {{"Rudu", "A"}, false, true, -1, library + "MIDI OUT" + busy, library + "MIDI IN" + busy},  // tried again at every look,
      {{"Rudu", "A"}, false, true, -1, "", ""},                              // said once
      {{"Rudu", "A"}, false, false, 0, "MIDI OUT" + back + "MIDI OUT: 4 messages not sent while Rudu was gone\n",
       "MIDI IN" + back},
      // Replaced by a port of the same name between two looks: our connection went with it.
      {{"Rudu", "A"}, true, false, -1, "MIDI OUT" + gone, "MIDI IN" + gone},
      {{"Rudu", "A"}, false, false, 0, "MIDI OUT" + back + "MIDI OUT: 1 messages not sent while Rudu was gone\n",
       "MIDI IN" + back},
      {{"A", "Rudu2"}, false, false, -1, "MIDI OUT" + gone, "MIDI IN" + gone},
  };
  for (bool input : {false, true})
  {
    FakePort port(input, {"A", "Rudu"});
    port.tells = true;
    int last = 0, index = 2;
    std::string ours;
    ASSERT_EQ(SelectMidiPort(port, last, ReadMidiPortNames(port), index, "Rudu", &ours), 2);
    MidiPortWatch watch;
    WatchChosenMidiPort(port, watch, "Rudu", ours);
    for (const Look& l : looks)
    {
      if (watch.missing) ++watch.dropped;  // a send the missing port refused
      port.names = l.ports;
      if (l.replaced) port.joined.clear();
      port.failOpen = l.failOpen;
      const std::string& log = input ? l.inLog : l.outLog;
      CaptureConsole();
      WatchMidiPort(port, watch);
      EXPECT_EQ(CapturedConsole(), log);
      EXPECT_EQ(port.open, l.open);
      EXPECT_EQ(watch.missing.load(), l.open < 0);
    }
    // Another choice while missing: the count is said, and the new port is watched.
    ++watch.dropped;
    CaptureConsole();
    WatchChosenMidiPort(port, watch, "A");
    EXPECT_EQ(CapturedConsole(), input ? "" : "MIDI OUT: 1 messages not sent while Rudu was gone\n");
    EXPECT_FALSE(watch.missing.load());
  }
}

