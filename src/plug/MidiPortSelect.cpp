#include "plug/MidiPortSelect.h"

#include "base/log.h"

#include <RtMidi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The first port the library names so now; a name that cannot be read matches nothing.
int CurrentPortNumber(MidiPortAccess& port, const std::string& name, unsigned count)
{
  for (unsigned i = 0; i < count; ++i)
  {
    try
    {
      if (port.PortName(i) == name) return (int)i;
    }
    catch (RtMidiError&)
    {
    }
  }
  return -1;
}

} // namespace

std::string JackClientName(const std::string& base)
{
  const char* server = getenv("DAVREL_JACK_SERVER");
  return server && *server ? base + "@" + server : base;
}

std::vector<std::string> ReadMidiPortNames(MidiPortAccess& port) { return ReadMidiPortNames(port, port.PortCount()); }

std::vector<std::string> ReadMidiPortNames(MidiPortAccess& port, unsigned n)
{
  const bool input = port.IsInput();
  std::vector<std::string> names;
  names.push_back("OFF");
  std::string last;
  for (unsigned i = 0; i < n; ++i)
  {
    try
    {
      last = port.PortName(i);
    }
    catch (RtMidiError& e)
    {
      ConsoleLog(input ? "Failed to get MIDI input port name!\n" : "Failed to get MIDI output port name!\n");
      e.printMessage();
    }
    names.push_back(last);
    ConsoleLog(input ? "MIDI IN Port: %s found and assigned!\n" : "MIDI OUT Port: %s found and assigned!\n", last.c_str());
  }
  return names;
}

int FindMidiPortName(const std::vector<std::string>& names, const char* name, unsigned count)
{
  if (!name) return -1;
  for (size_t k = 0; k < names.size() && k <= count; ++k)
    if (names[k] == name) return (int)k;
  return -1;
}

int SelectMidiPort(MidiPortAccess& port, int& lastIndex, const std::vector<std::string>& names, int& index,
                   const char* name)
{
  const bool input = port.IsInput();
  if (lastIndex > 0 && port.Exists()) port.ClosePort();
  lastIndex = index;
  if (index == 0 || (!input && names.empty()))
  {
    if (port.Exists()) port.ClosePort();
    return 0;
  }
  if (!port.Exists())
  {
    index = 0;
    return 0;
  }
  const unsigned n = port.PortCount();
  if (input) ConsoleLog("RtMidiIn - number of midi input ports: %i\n", (int)n);
  const int k = FindMidiPortName(names, name, n);
  if (k >= 0) ConsoleLog(input ? "Currently set input: %s\n" : "Currently set output: %s\n", names[k].c_str());
  if (input) ConsoleLog("RtMidiIn - port where we want to connect: %i\n", k);
  // A port that was open stays closed whatever follows.
  port.ClosePort();
  if (k < 0 || k > (int)n)
  {
    index = 0;
    return 0;
  }
  index = k;
  if (k == 0) return 0;

  // The name decides, not the list's old position: on JACK ports come and go, and
  // a new port may take the number of one that left after the list was built.
  const int number = CurrentPortNumber(port, names[k], n);
  if (number < 0)
  {
    ConsoleLog(input ? "MIDI IN Port: %s is gone!\n" : "MIDI OUT Port: %s is gone!\n", names[k].c_str());
    index = 0;
    return 0;
  }
  try
  {
    port.OpenPort((unsigned)number);
  }
  catch (RtMidiError& e)
  {
    e.printMessage();
    if (input) ConsoleLog("UNABLE TO OCCUBY MIDI INPUT PORT!!\n");
    // Writing k back would show a port in the menu that receives nothing.
    index = 0;
    return 0;
  }
  if (input) ConsoleLog("RtMidiIn - Opened port: %s - at location: %i\n", name, number);
  return k;
}

namespace {

void LogSendsNotTaken(MidiPortAccess& port, MidiPortWatch& watch)
{
  if (port.IsInput()) return;
  ConsoleLog("MIDI OUT: %d messages not sent while %s was gone\n", watch.dropped.exchange(0), watch.name.c_str());
}

} // namespace

void WatchChosenMidiPort(MidiPortAccess& port, MidiPortWatch& watch, const std::string& name)
{
  if (watch.missing.load()) LogSendsNotTaken(port, watch);
  watch.name = name;
  watch.missing.store(false);
  watch.reopenFailed = false;
}

void WatchMidiPort(MidiPortAccess& port, MidiPortWatch& watch)
{
  if (watch.name.empty() || !port.Exists()) return;
  const bool input = port.IsInput();
  const int number = CurrentPortNumber(port, watch.name, port.PortCount());
  if (!watch.missing.load())
  {
    if (number >= 0) return;
    // Sends stop counting as sent before the port closes.
    watch.missing.store(true);
    port.ClosePort();
    ConsoleLog(input ? "MIDI IN Port: %s is gone!\n" : "MIDI OUT Port: %s is gone!\n", watch.name.c_str());
    return;
  }
  if (number < 0) return;
  try
  {
    // A failed opening may have left state in the port object: closing first lets go of it.
    port.ClosePort();
    port.OpenPort((unsigned)number);
  }
  catch (RtMidiError& e)
  {
    // Tried again at every look, said once.
    if (!watch.reopenFailed) e.printMessage();
    watch.reopenFailed = true;
    return;
  }
  watch.missing.store(false);
  watch.reopenFailed = false;
  ConsoleLog(input ? "MIDI IN Port: %s is back and opened again\n" : "MIDI OUT Port: %s is back and opened again\n",
             watch.name.c_str());
  LogSendsNotTaken(port, watch);
}

bool MidiPortWatchWouldChange(MidiPortAccess& port, const std::string& name, bool missing)
{
  return !name.empty() && (CurrentPortNumber(port, name, port.PortCount()) >= 0) == missing;
}

int FindMidiDevice(MidiPortAccess& port, const std::vector<std::string>& names, const char* name)
{
  if (!port.Exists()) return -1;
  const int k = FindMidiPortName(names, name, port.PortCount());
  if (k < 0) return -1;
  ConsoleLog(port.IsInput() ? "Currently set input: %s\n" : "Currently set output: %s\n", names[k].c_str());
  return k;
}

int MidiPortNumber(MidiPortAccess& port, const char* name)
{
  if (!name) return -1;
  if (!strcmp(name, "OFF")) return 0;
  if (!strcmp(name, port.IsInput() ? "virtual input" : "virtual output")) return 1;
  if (!port.Exists()) return -1;
  const int i = CurrentPortNumber(port, name, port.PortCount());
  return i < 0 ? -1 : i + 1;
}

int MidiMsgWireBytes(const IMidiMsg& msg, unsigned char bytes[3])
{
  const IMidiMsg::EStatusMsg kind = msg.StatusMsg();
  if (kind == IMidiMsg::kNone) return 0;
  const int n = kind == IMidiMsg::kProgramChange || kind == IMidiMsg::kChannelAftertouch ? 2 : 3;
  if ((msg.mData1 & 0x80) || (n == 3 && (msg.mData2 & 0x80))) return 0;
  bytes[0] = msg.mStatus;
  bytes[1] = msg.mData1;
  if (n == 3) bytes[2] = msg.mData2;
  return n;
}

void MidiSysexWireBytes(const unsigned char* data, int size, WDL_TypedBuf<unsigned char>* bytes)
{
  bytes->Resize(0, false);
  if (!data || size <= 0) return;
  if (data[0] == 0xF0)
  {
    bytes->Add(data, size);
    return;
  }
  bytes->Add(0xF0);
  bytes->Add(data, size);
  bytes->Add(0xF7);
}
