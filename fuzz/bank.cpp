// The librarian's buffer reader: raw banks, system-exclusive files, all-program and
// all-data dumps and Standard MIDI Files, all known by content. Every slot it keeps
// must hold whole messages; an all-programs request must end with the buffer.

#include "librarian/LibrarianHost.h"
#include "librarian/LibrarianLog.h"
#include "librarian/PatchLibrarian.h"

#include "hardware/SysexPacking.h"
#include "plug/ByteChunk.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct CountingHost : LibrarianHost
{
  int fed = 0, finished = 0;
  bool feedSysExFromLibrarian(const uint8_t* msg, int size) override
  {
    if (!isProgramDump(msg, size)) abort();
    ++fed;
    return true;
  }
  void allPatchesDumpFinished() override { ++finished; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (1u << 20)) return 0;
  setLibrarianLogSink(nullptr);
  CountingHost host;
  PatchLibrarian lib(&host);
  // Every other input arrives as the answer to an all-programs request.
  const bool request = size & 1;
  lib.allPatchesRequestActive = request;

  ByteChunk chunk;
  chunk.PutBytes(data, (int)size);
  PatchFile bank;
  lib.loadFromChunk(&chunk, chunk.Size(), &bank, 0);

  for (const LibrarianPatch& slot : bank.patches)
  {
    if (slot.messages.size() != 1) abort();
    const std::vector<uint8_t>& m = slot.messages[0].bytes;
    if (!isProgramDump(m.data(), (int)m.size())) abort();
  }
  if (request && (host.finished != 1 || lib.allPatchesRequestActive || host.fed > 128)) abort();
  if (!request && (host.finished || host.fed)) abort();
  if (lib.headerMissing != bank.patches.empty()) abort();

  lib.fillUncompletedBankFiles(&bank);
  if (bank.patches.size() < 128) abort();
  return 0;
}
