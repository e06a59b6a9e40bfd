#include "PortNames.h"

#include <RtMidi.h>

#include <memory>

namespace {

template <class T> std::vector<std::string> List(const char* client)
{
  std::vector<std::string> names{"OFF"};
  std::unique_ptr<T> port;
  try
  {
    port.reset(new T(RtMidi::LINUX_ALSA, client));
  }
  catch (RtMidiError&)
  {
    try
    {
      port.reset(new T(RtMidi::UNIX_JACK, client));
    }
    catch (RtMidiError&)
    {
      return names;
    }
  }
  port->setErrorCallback([](RtMidiError::Type, const std::string&, void*) {}, nullptr);
  const unsigned n = port->getPortCount();
  for (unsigned i = 0; i < n; ++i) names.push_back(port->getPortName(i));
  return names;
}

}  // namespace

std::vector<std::string> ListMidiOutputs() { return List<RtMidiOut>("davrel-host ports"); }
std::vector<std::string> ListMidiInputs() { return List<RtMidiIn>("davrel-host ports"); }

int FindPort(const std::vector<std::string>& list, const std::string& name)
{
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == name) return (int)i;
  return -1;
}
