#include "plug/MidiPortLook.h"

#include "plug/JackClientSettle.h"

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
  JackLook(jack_client_t* client, const std::string& outPort, const std::string& inPort)
    : mClient(client), mGone(new std::atomic<bool>(false)), mOutSuffix(":" + outPort), mInSuffix(":" + inPort)
  {
    jack_on_info_shutdown(mClient, &JackLook::Shutdown, mGone);
    NoteJackServerUp();
  }
  ~JackLook() override
  {
    // The flag outlives the look: JACK may still call Shutdown until the client is closed.
    jack_client_t* client = mClient;
    std::atomic<bool>* gone = mGone;
    CloseJackClientApart(
        [client, gone] {
          jack_client_close(client);
          delete gone;
        },
        [client, gone] {
          KeepJackClientOfGoneServer(client);
          KeepJackClientOfGoneServer(gone);
        });
  }

  const std::atomic<bool>* ServerGoneFlag() const override { return mGone; }

  std::vector<std::string> Names(bool input) override
  {
    return Ports(input ? JackPortIsOutput : JackPortIsInput, nullptr);
  }

  std::vector<std::string> OwnPorts(bool input) override
  {
    return Ports(input ? JackPortIsInput : JackPortIsOutput, input ? &mInSuffix : &mOutSuffix);
  }

  int Connected(const std::string& ours, const std::string& name) override
  {
    if (ServerGone()) return -1;
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
    if (ServerGone()) return names;
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

  // JACK's own thread, when the server stops or drops the client: the client is
  // of no use any more, and is only closed.
  static void Shutdown(jack_status_t, const char*, void* gone)
  {
    static_cast<std::atomic<bool>*>(gone)->store(true);
    NoteJackServerGone();
  }

  jack_client_t* mClient;
  std::atomic<bool>* mGone;
  const std::string mOutSuffix, mInSuffix;
};

template <class T> std::vector<std::string> ListedBy(T* object)
{
  std::vector<std::string> names;
  const unsigned n = object ? object->getPortCount() : 0;
  for (unsigned i = 0; i < n; ++i)
  {
    try
    {
      names.push_back(object->getPortName(i));
    }
    catch (RtMidiError&)
    {
      names.push_back(std::string());
    }
  }
  return names;
}

template <class T> T* MadeOrNull(int api, const std::string& client)
{
  JackClientOpening opening;
  try
  {
    return new T((RtMidi::Api)api, client);
  }
  catch (RtMidiError&)
  {
    return nullptr;
  }
}

// A port object that is a JACK client closes apart from the others.
template <class T> void CloseApart(std::unique_ptr<T>& object)
{
  if (!object || object->getCurrentApi() != RtMidi::UNIX_JACK) return;
  T* o = object.release();
  CloseJackClientApart([o] { delete o; }, [o] { KeepJackClientOfGoneServer(o); });
}

class LibraryLook : public MidiPortLook
{
public:
  LibraryLook(RtMidiOut* out, RtMidiIn* in) : mOut(out), mIn(in) {}
  ~LibraryLook() override
  {
    CloseApart(mIn);
    CloseApart(mOut);
  }
  std::vector<std::string> Names(bool input) override
  {
    // The watch and a selection may ask at once; a port object is not to be used
    // by two threads at a time.
    std::lock_guard<std::mutex> lock(mLock);
    return input ? ListedBy(mIn.get()) : ListedBy(mOut.get());
  }

private:
  std::mutex mLock;
  std::unique_ptr<RtMidiOut> mOut;
  std::unique_ptr<RtMidiIn> mIn;
};

} // namespace

MidiPortLook* NewJackMidiPortLook(const std::string& client, const std::string& outPort, const std::string& inPort)
{
  jack_status_t status;
  jack_client_t* c = nullptr;
  {
    JackClientOpening opening;
    c = jack_client_open(client.c_str(), JackNoStartServer, &status);
  }
  if (!c) return nullptr;
  return new JackLook(c, outPort, inPort);
}

MidiPortLook* NewLibraryMidiPortLook(int api, const std::string& outClient, const std::string& inClient)
{
  RtMidiOut* out = MadeOrNull<RtMidiOut>(api, outClient);
  RtMidiIn* in = MadeOrNull<RtMidiIn>(api, inClient);
  if (!out && !in) return nullptr;
  return new LibraryLook(out, in);
}
