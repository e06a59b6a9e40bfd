#include "PortNames.h"

#include "plug/MidiPortSelect.h"

#include <RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

template <class T> std::vector<std::string> List(const char* client, std::string* why)
{
  std::vector<std::string> names{"OFF"};
  HeldStderr held;
  std::unique_ptr<T> port;
  try
  {
    port.reset(new T(RtMidi::LINUX_ALSA, client));
  }
  catch (RtMidiError&)
  {
    try
    {
      port.reset(new T(RtMidi::UNIX_JACK, JackClientName(client)));
    }
    catch (RtMidiError& e)
    {
      if (why) *why = e.getMessage();
      return names;
    }
  }
  port->setErrorCallback([](RtMidiError::Type, const std::string&, void*) {}, nullptr);
  const unsigned n = port->getPortCount();
  for (unsigned i = 0; i < n; ++i) names.push_back(port->getPortName(i));
  const bool jack = port->getCurrentApi() == RtMidi::UNIX_JACK;
  port.reset();
  if (why && names.size() == 1)
  {
    const std::string text = held.Release();
    *why = jack ? WhyNoPorts(text) : "the ALSA sequencer has no MIDI ports";
  }
  return names;
}

}  // namespace

std::vector<std::string> ListMidiOutputs(std::string* why) { return List<RtMidiOut>("davrel-host ports", why); }
std::vector<std::string> ListMidiInputs(std::string* why) { return List<RtMidiIn>("davrel-host ports", why); }

bool ListMidiPorts(MidiPortLists* lists, int withinMs)
{
  struct Reading
  {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    MidiPortLists lists;
  };
  // Shared with the reading thread, which may outlive the wait.
  auto reading = std::make_shared<Reading>();
  std::thread([reading] {
    MidiPortLists read;
    read.outputs = ListMidiOutputs(&read.whyNoOutputs);
    read.inputs = ListMidiInputs(&read.whyNoInputs);
    std::lock_guard<std::mutex> l(reading->lock);
    reading->lists = std::move(read);
    reading->finished = true;
    reading->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> l(reading->lock);
  if (!reading->done.wait_for(l, std::chrono::milliseconds(withinMs), [&] { return reading->finished; }))
    return false;
  *lists = reading->lists;
  return true;
}

HeldStderr::HeldStderr()
{
  fflush(stderr);
  mFile = tmpfile();
  if (!mFile) return;
  mSaved = dup(2);
  if (mSaved < 0 || dup2(fileno(mFile), 2) < 0)
  {
    if (mSaved >= 0) close(mSaved);
    mSaved = -1;
    fclose(mFile);
    mFile = nullptr;
  }
}

HeldStderr::~HeldStderr() { Release(); }

std::string HeldStderr::Release()
{
  if (!mFile) return std::string();
  fflush(stderr);
  dup2(mSaved, 2);
  close(mSaved);
  mSaved = -1;
  std::string text;
  rewind(mFile);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, mFile)) > 0) text.append(buf, n);
  fclose(mFile);
  mFile = nullptr;
  return text;
}

std::string ProbeNoiseLine(const std::string& held)
{
  std::vector<std::string> lines;
  for (size_t at = 0; at < held.size();)
  {
    size_t end = held.find('\n', at);
    if (end == std::string::npos) end = held.size();
    if (end > at) lines.push_back(held.substr(at, end - at));
    at = end + 1;
  }
  if (lines.empty()) return std::string();
  std::string line = "MIDI port probing: " + lines.front();
  if (lines.size() > 1) line += " (and " + std::to_string(lines.size() - 1) + " more lines of the ALSA and JACK libraries)";
  return line;
}

std::string WhyNoPorts(const std::string& held)
{
  const char* server = getenv("JACK_DEFAULT_SERVER");
  const std::string name = server && *server ? std::string("\"") + server + "\"" : "\"default\"";
  const bool noAlsa = held.find("ALSA sequencer") != std::string::npos || held.find("/dev/snd/seq") != std::string::npos;
  const std::string alsa = noAlsa ? "no ALSA sequencer (/dev/snd/seq cannot be opened)" : "no ALSA sequencer";
  if (held.find("server not running") != std::string::npos || held.find("Cannot connect to server") != std::string::npos)
    return alsa + ", and no JACK server " + name + " running (JACK_DEFAULT_SERVER names the server)";
  return alsa + "; the JACK server " + name + " runs but has no MIDI ports of this direction";
}
