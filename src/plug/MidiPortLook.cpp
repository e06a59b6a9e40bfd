#include "plug/MidiPortLook.h"

#include <RtMidi.h>
#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

// Lists as RtMidi's JACK objects do: an output writes to the ports that take
// input, an input reads the ports that give output, MIDI ports only, in the
// server's order, by full name.
class JackLook : public MidiPortLook
{
public:
  JackLook(jack_client_t* client, bool input, const std::string& ownPort)
    : mClient(client), mInput(input), mOwnSuffix(":" + ownPort)
  {
    jack_on_shutdown(mClient, &JackLook::ServerGone, this);
  }
  ~JackLook() override { jack_client_close(mClient); }

  std::vector<std::string> Names() override
  {
    return Ports(mInput ? JackPortIsOutput : JackPortIsInput, nullptr);
  }

  std::vector<std::string> OwnPorts() override
  {
    return Ports(mInput ? JackPortIsInput : JackPortIsOutput, &mOwnSuffix);
  }

  int Connected(const std::string& ours, const std::string& name) override
  {
    if (mGone.load()) return -1;
    jack_port_t* port = jack_port_by_name(mClient, ours.c_str());
    if (!port) return 0;
    // Read from the graph the server publishes, as the listing is; a port of
    // another client can be asked.
    const char** joined = jack_port_get_all_connections(mClient, port);
    int found = 0;
    for (int i = 0; joined && joined[i]; ++i)
      if (name == joined[i]) found = 1;
    if (joined) jack_free(joined);
    return found;
  }

private:
  std::vector<std::string> Ports(unsigned long flags, const std::string* suffix)
  {
    std::vector<std::string> names;
    if (mGone.load()) return names;
    const char** ports = jack_get_ports(mClient, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    for (int i = 0; ports && ports[i]; ++i)
    {
      const std::string name = ports[i];
      if (suffix && (name.size() < suffix->size() || name.compare(name.size() - suffix->size(), suffix->size(), *suffix)))
        continue;
      names.push_back(name);
    }
    if (ports) jack_free(ports);
    return names;
  }

  // JACK's own thread: the client is of no use any more, and is only closed.
  static void ServerGone(void* self) { static_cast<JackLook*>(self)->mGone.store(true); }

  jack_client_t* mClient;
  const bool mInput;
  const std::string mOwnSuffix;
  std::atomic<bool> mGone{false};
};

template <class T> class LibraryLook : public MidiPortLook
{
public:
  explicit LibraryLook(T* object) : mObject(object) {}
  std::vector<std::string> Names() override
  {
    // The watch and a selection may ask at once; a port object is not to be used
    // by two threads at a time.
    std::lock_guard<std::mutex> lock(mLock);
    std::vector<std::string> names;
    const unsigned n = mObject->getPortCount();
    for (unsigned i = 0; i < n; ++i)
    {
      try
      {
        names.push_back(mObject->getPortName(i));
      }
      catch (RtMidiError&)
      {
        names.push_back(std::string());
      }
    }
    return names;
  }

private:
  std::mutex mLock;
  std::unique_ptr<T> mObject;
};

} // namespace

MidiPortLook* NewJackMidiPortLook(bool input, const std::string& client, const std::string& ownPort)
{
  jack_status_t status;
  jack_client_t* c = jack_client_open(client.c_str(), JackNoStartServer, &status);
  if (!c) return nullptr;
  return new JackLook(c, input, ownPort);
}

MidiPortLook* NewLibraryMidiPortLook(bool input, int api, const std::string& client)
{
  try
  {
    if (input) return new LibraryLook<RtMidiIn>(new RtMidiIn((RtMidi::Api)api, client));
    return new LibraryLook<RtMidiOut>(new RtMidiOut((RtMidi::Api)api, client));
  }
  catch (RtMidiError&)
  {
    return nullptr;
  }
}
