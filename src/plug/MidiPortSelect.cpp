#include "plug/MidiPortSelect.h"

#include "base/log.h"

#include <RtMidi.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Opening results besides a port number.
const int kAbsent = -1, kOpenFailed = -2, kKeptMoving = -3;
// Ports come and go in bursts (a program starting its clients); three times in a
// row another port taking the number is a port that cannot be pinned down.
const int kOpenAttempts = 3;

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void SayPort(MidiPortAccess& port, const char* format, ...)
{
  // A JACK port's full name alone may take 320 bytes.
  va_list ap, again;
  va_start(ap, format);
  va_copy(again, ap);
  const int n = vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  std::string line(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0) vsnprintf(&line[0], (size_t)n + 1, format, again);
  va_end(again);
  port.LogPortLine(line);
}

const char* Side(MidiPortAccess& port) { return port.IsInput() ? "MIDI IN" : "MIDI OUT"; }

// The first port the library names so now; a name that cannot be read matches nothing.
int CurrentPortNumber(MidiPortAccess& port, const std::string& name)
{
  if (name.empty()) return -1;
  const std::vector<std::string> names = port.CurrentPortNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return (int)i;
  return -1;
}

// The one port of after that before lacks: the port an opening made. Empty when
// there is none, or more than one (another program's came at the same moment).
std::string NewPort(const std::vector<std::string>& before, const std::vector<std::string>& after)
{
  std::string found;
  for (const std::string& p : after)
  {
    bool old = false;
    for (const std::string& b : before) old = old || b == p;
    if (old) continue;
    if (!found.empty()) return std::string();
    found = p;
  }
  return found;
}

// The port of that name is there and, where the library can tell, ours is still
// connected to it: a port replaced by another of the same name between two looks
// keeps the name but not our connection.
bool ChosenPortThere(MidiPortAccess& port, const std::string& name, const std::string& ours)
{
  if (CurrentPortNumber(port, name) < 0) return false;
  return ours.empty() || port.Connected(ours, name) != 0;
}

// How often, and how far apart, an opening is checked again (a bound, not a wait:
// the first check that sees it ends it).
const int kJoinChecks = 20;
const std::chrono::milliseconds kJoinCheckApart(10);

// Opens the port named (the port object closed) and checks that it is the one
// connected: the library looks the number up again as it opens, so a port that
// comes or goes in between has it connect another port, or none. Returns the
// number opened, kAbsent, kOpenFailed (the library's error printed if say) or
// kKeptMoving; ours gets our own port where the library can tell it.

int OpenPortNamed(MidiPortAccess& port, const std::string& name, std::string* ours, bool say)
{
  ours->clear();
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt)
  {
    const int number = CurrentPortNumber(port, name);
    if (number < 0) return kAbsent;
    const std::vector<std::string> before = port.OwnPorts();
    try
    {
      port.OpenPort((unsigned)number);
    }
    catch (RtMidiError& e)
    {
      if (say && !e.getMessage().empty()) SayMidiError(e);
      return kOpenFailed;
    }
    if (port.OpensByName())
    {
      *ours = port.OurPort();
      return number;
    }
    const auto joinedNow = [&] {
      if (ours->empty()) *ours = port.OurPort();
      if (ours->empty()) *ours = NewPort(before, port.OwnPorts());
      const int j = ours->empty() ? -1 : port.Connected(*ours, name);
      if (j >= 0) return j;
      // The library cannot tell what it connected: the number must still be the
      // port's after the opening, as it was before.
      const std::vector<std::string> now = port.CurrentPortNames();
      return (int)((size_t)number < now.size() && now[(size_t)number] == name);
    };
    // The graph the server publishes shows a new port and its connection a moment
    // after the opening returns, later on a loaded machine: what is not seen yet is
    // asked again before the port counts as another's.
    int joined = joinedNow();
    for (int again = 0; !joined && again < kJoinChecks; ++again)
    {
      std::this_thread::sleep_for(kJoinCheckApart);
      joined = joinedNow();
    }
    if (joined) return number;
    ours->clear();
    port.ClosePort();
    if (say)
      SayPort(port, "%s Port: %s was not the port opened at number %d, another took its place: opening it again\n",
              Side(port), name.c_str(), number);
  }
  if (say) SayPort(port, "%s Port: %s could not be opened: other ports kept taking its place\n", Side(port), name.c_str());
  return kKeptMoving;
}

} // namespace

std::vector<std::string> MidiPortAccess::CurrentPortNames()
{
  std::vector<std::string> names;
  const unsigned n = PortCount();
  for (unsigned i = 0; i < n; ++i)
  {
    try
    {
      names.push_back(PortName(i));
    }
    catch (RtMidiError&)
    {
      names.push_back(std::string());
    }
  }
  return names;
}

void MidiPortAccess::LogPortLine(const std::string& line) { ConsoleLog("%s", line.c_str()); }

void SayMidiError(const RtMidiError& e) { ConsoleLog("\n%s\n\n", e.getMessage().c_str()); }

std::string JackClientName(const std::string& base) { return JackClientName(base, getenv("DAVREL_JACK_SERVER")); }

std::string JackClientName(const std::string& base, const char* server)
{
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
      SayMidiError(e);
    }
    names.push_back(last);
    ConsoleLog(input ? "MIDI IN Port: %s found and assigned!\n" : "MIDI OUT Port: %s found and assigned!\n", last.c_str());
  }
  return names;
}

int FindMidiPortName(const std::vector<std::string>& names, const char* name)
{
  if (!name) return -1;
  for (size_t k = 0; k < names.size(); ++k)
    if (names[k] == name) return (int)k;
  return -1;
}

int SelectMidiPort(MidiPortAccess& port, int& lastIndex, const std::vector<std::string>& names, int& index,
                   const char* name, std::string* ours)
{
  if (ours) ours->clear();
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
  if (input) ConsoleLog("RtMidiIn - number of midi input ports: %i\n", (int)port.PortCount());
  const int k = FindMidiPortName(names, name);
  if (k >= 0) ConsoleLog(input ? "Currently set input: %s\n" : "Currently set output: %s\n", names[k].c_str());
  if (input) ConsoleLog("RtMidiIn - port where we want to connect: %i\n", k);
  // A port that was open stays closed whatever follows.
  port.ClosePort();
  if (k < 0)
  {
    index = 0;
    return 0;
  }
  index = k;
  if (k == 0) return 0;

  std::string own;
  if (OpenChosenMidiPort(port, names[k], &own) < 0)
  {
    // Writing k back would show a port in the menu that takes or gives nothing.
    index = 0;
    return 0;
  }
  if (ours) *ours = own;
  return k;
}

int OpenChosenMidiPort(MidiPortAccess& port, const std::string& name, std::string* ours)
{
  // The name decides, not the list's old position: on JACK ports come and go, and
  // a new port may take the number of one that left after the list was built.
  const int number = OpenPortNamed(port, name, ours, true);
  if (number == kAbsent) SayPort(port, "%s Port: %s is gone!\n", Side(port), name.c_str());
  if (number == kOpenFailed && port.IsInput()) ConsoleLog("UNABLE TO OCCUBY MIDI INPUT PORT!!\n");
  if (number >= 0 && port.IsInput())
    ConsoleLog("RtMidiIn - Opened port: %s - at location: %i\n", name.c_str(), number);
  return number < 0 ? (number == kAbsent ? -1 : -2) : number;
}

namespace {

void LogSendsNotTaken(MidiPortAccess& port, MidiPortWatch& watch)
{
  if (port.IsInput()) return;
  SayPort(port, "MIDI OUT: %d messages not sent while %s was gone\n", watch.dropped.exchange(0), watch.name.c_str());
}

} // namespace

void WatchChosenMidiPort(MidiPortAccess& port, MidiPortWatch& watch, const std::string& name, const std::string& ours)
{
  if (watch.missing.load()) LogSendsNotTaken(port, watch);
  watch.name = name;
  watch.ours = ours;
  watch.missing.store(false);
  watch.reopenFailed = false;
}

void WatchMidiPort(MidiPortAccess& port, MidiPortWatch& watch)
{
  if (watch.name.empty() || !port.Exists()) return;
  if (!watch.missing.load())
  {
    if (ChosenPortThere(port, watch.name, watch.ours)) return;
    // Sends stop counting as sent before the port closes.
    watch.missing.store(true);
    port.ClosePort();
    SayPort(port, "%s Port: %s is gone!\n", Side(port), watch.name.c_str());
    return;
  }
  if (CurrentPortNumber(port, watch.name) < 0) return;
  // A failed opening may have left state in the port object: closing first lets go of it.
  port.ClosePort();
  std::string ours;
  // Tried again at every look, said once.
  const bool say = !watch.reopenFailed;
  const int number = OpenPortNamed(port, watch.name, &ours, say);
  if (number < 0)
  {
    if (number == kOpenFailed && say)
      SayPort(port, "%s Port: %s is back but could not be opened\n", Side(port), watch.name.c_str());
    if (number != kAbsent) watch.reopenFailed = true;
    return;
  }
  watch.ours = ours;
  watch.missing.store(false);
  watch.reopenFailed = false;
  SayPort(port, "%s Port: %s is back and opened again\n", Side(port), watch.name.c_str());
  LogSendsNotTaken(port, watch);
}

int FindMidiDevice(MidiPortAccess& port, const std::vector<std::string>& names, const char* name)
{
  if (!port.Exists()) return -1;
  const int k = FindMidiPortName(names, name);
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
  const int i = CurrentPortNumber(port, name);
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
