#include "plug/MidiPortLook.h"


#include <RtMidi.h>

#include <cstdint>
#include <memory>
#include <mutex>

namespace {

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

MidiPortLook* NewLibraryMidiPortLook(int api, const std::string& outClient, const std::string& inClient)
{
  RtMidiOut* out = MadeOrNull<RtMidiOut>(api, outClient);
  RtMidiIn* in = MadeOrNull<RtMidiIn>(api, inClient);
  if (!out && !in) return nullptr;
  return new LibraryLook(out, in);
}
