#include "plug/MidiPortLook.h"

#include "plug/JackClientSettle.h"
#include "plug/JackServerEpoch.h"

#include <RtMidi.h>
#include <jack/jack.h>

#include <cstdint>
#include <memory>
#include <mutex>

namespace {

// Lists as RtMidi's JACK objects do: an output writes to the ports that take
// input, an input reads the ports that give output, MIDI ports only, in the
// server's order, by full name.
class JackLook : public MidiPortLook
{
public:
  JackLook(jack_client_t* client, unsigned epoch, const std::string& outPort, const std::string& inPort)
    : mClient(client), mEpoch(epoch), mOutSuffix(":" + outPort), mInSuffix(":" + inPort)
  {
    // The epoch rides in the callback's argument: nothing to outlive the look.
    jack_on_info_shutdown(mClient, &JackLook::Shutdown, (void*)(uintptr_t)mEpoch);
  }
  ~JackLook() override
  {
    jack_client_t* client = mClient;
    RetireJackClient(mEpoch, [client] { jack_client_close(client); }, [client] { KeepJackClientOfGoneServer(client); });
  }

  unsigned Epoch() const override { return mEpoch; }

  // Read from what the server publishes: no call waits for it.
  double PeriodSeconds() override
  {
    JackClientCall call;
    if (!JackServerEpochLives(mEpoch)) return 0.0;
    const jack_nframes_t rate = jack_get_sample_rate(mClient);
    return rate ? (double)jack_get_buffer_size(mClient) / rate : 0.0;
  }

  unsigned long CycleFrame() override
  {
    JackClientCall call;
    if (!JackServerEpochLives(mEpoch)) return 0;
    return jack_last_frame_time(mClient);
  }

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
    JackClientCall call;
    if (!JackServerEpochLives(mEpoch)) return -1;
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
    JackClientCall call;
    if (!JackServerEpochLives(mEpoch)) return names;
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

  // JACK's own thread, when the server stops or drops the client.
  static void Shutdown(jack_status_t, const char*, void* epoch) { NoteJackServerGone((unsigned)(uintptr_t)epoch); }

  jack_client_t* mClient;
  const unsigned mEpoch;
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
  try
  {
    return new T((RtMidi::Api)api, client);
  }
  catch (RtMidiError&)
  {
    return nullptr;
  }
}

class LibraryLook : public MidiPortLook
{
public:
  LibraryLook(RtMidiOut* out, RtMidiIn* in) : mOut(out), mIn(in) {}
  // Never made over JACK (a JackLook is): no client to close apart.
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
  unsigned epoch = kNoJackEpoch;
  {
    JackClientOpening opening;
    c = jack_client_open(client.c_str(), JackNoStartServer, &status);
    if (c) epoch = JackClientOpened();
  }
  if (!c) return nullptr;
  return new JackLook(c, epoch, outPort, inPort);
}

MidiPortLook* NewLibraryMidiPortLook(int api, const std::string& outClient, const std::string& inClient)
{
  RtMidiOut* out = MadeOrNull<RtMidiOut>(api, outClient);
  RtMidiIn* in = MadeOrNull<RtMidiIn>(api, inClient);
  if (!out && !in) return nullptr;
  return new LibraryLook(out, in);
}
