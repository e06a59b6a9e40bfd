// The editor's project state chunk (Davrel::UnserializeState) on an editor built once
// per process, headless, on the bundle's configuration and a data folder of its own;
// worker jobs are recorded, not run (the test editor of the editor tests), and the
// MIDI port objects are gone (see PortlessEditor).
//
// Checks: a refused chunk (0) leaves the state as it was, byte for byte; a taken chunk
// ends within the input, and what the editor then saves reads back to the same save.
// After every input the editor goes back to the state it started with.
//
// Input: a state chunk.

#include "EditorTestSupport.h"

#include "plug/ByteChunk.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

std::vector<uint8_t> save(Davrel& e)
{
  ByteChunk c;
  if (!e.SerializeState(&c)) abort();
  return std::vector<uint8_t>(c.Data(), c.Data() + c.Size());
}

int restore(Davrel& e, const uint8_t* data, size_t size)
{
  ByteChunk c;
  c.PutBytes(data, (int)size);
  return e.UnserializeState(&c, 0);
}

// No JACK server of the machine (a test bed's, say) may be reached: the port lists
// stay empty and no stored port name opens anything.
struct NoServer
{
  NoServer() { setenv("JACK_DEFAULT_SERVER", "davrel-fuzz-no-server", 1); }
};

// The port layer's objects go once the editor is built: with no server, each recall's
// port count would open a JACK client, and every client opening takes the machine's
// shared JACK metadata lock. A fuzzer stopped while holding it (a timeout, the memory
// limit, an interrupt) would leave every JACK client of the machine waiting for good.
// Without the objects a recall finds no port by name, as it does with no server.
class PortlessEditor : public RecordingEditor
{
public:
  PortlessEditor() { CloseMidiPorts(); }
};

struct Fixture
{
  NoServer noServer;
  DataFolder data;
  UnderTest<PortlessEditor> editor;
  std::vector<uint8_t> start;
  Fixture() { start = save(editor); }
};

Fixture& fixture()
{
  // Lives for the process: the editor is built once.
  static Fixture* f = new Fixture;
  return *f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1u << 20)) return 0;
  Fixture& f = fixture();
  PortlessEditor& e = f.editor;

  const int pos = restore(e, data, size);
  if (pos == 0)
  {
    if (save(e) != f.start) abort();
  }
  else
  {
    if (pos < 0 || (size_t)pos > size) abort();
    const std::vector<uint8_t> saved = save(e);
    if (restore(e, saved.data(), saved.size()) != (int)saved.size()) abort();
    if (save(e) != saved) abort();
    if (restore(e, f.start.data(), f.start.size()) != (int)f.start.size()) abort();
    if (save(e) != f.start) abort();
  }
  e.jobs.clear();
  e.routed.clear();
  e.takeSent();
  return 0;
}
