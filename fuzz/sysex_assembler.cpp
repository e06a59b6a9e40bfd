// The reassembly of system-exclusive messages from the runs the MIDI input receives.
// Input: a byte choosing the size limit, a byte seeding how the stream is cut into
// runs, then the stream. What comes out must be whole: a system-exclusive message
// starts with F0, ends with its only F7, holds only data bytes between and keeps to
// the limit.

#include "plug/SysExAssembler.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 2 || size > (1u << 20)) return 0;
  static const int kLimits[] = {2, 3, 16, 297, 37163, SysExAssembler::kDefaultMaxSize};
  const int limit = kLimits[data[0] % 6];
  uint32_t cut = data[1] * 2654435761u + 1;
  const unsigned char* stream = data + 2;
  const int n = (int)size - 2;

  SysExAssembler assembler(limit);
  int whole = 0, lastDropped = 0;
  auto sink = [&](const unsigned char* bytes, int len) {
    if (len < 1 || !bytes) abort();
    if (bytes[0] == 0xF0)
    {
      if (len < 2 || len > limit || bytes[len - 1] != 0xF7) abort();
      for (int i = 1; i < len - 1; ++i)
        if (bytes[i] & 0x80) abort();
      ++whole;
    }
  };
  for (int pos = 0; pos < n;)
  {
    cut = cut * 1103515245u + 12345u;
    const int run = 1 + (int)((cut >> 16) % 24);
    const int len = run < n - pos ? run : n - pos;
    assembler.Feed(stream + pos, len, sink);
    pos += len;
    if (assembler.DroppedCount() < lastDropped) abort();
    lastDropped = assembler.DroppedCount();
  }
  assembler.Reset();
  if (assembler.InSysEx()) abort();
  // After a reset a message in one run comes through whole.
  const unsigned char ping[] = {0xF0, 0x7E, 0x00, 0xF7};
  int before = whole;
  assembler.Feed(ping, limit >= 4 ? 4 : 0, sink);
  if (limit >= 4 && whole != before + 1) abort();
  return 0;
}
