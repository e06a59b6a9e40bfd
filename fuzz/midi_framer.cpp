// The MIDI input framing (MidiInputFramer) on a stream cut into runs. Input: a byte
// choosing the system-exclusive limit and running status, a byte seeding how the
// stream is cut, then the stream. What comes out must be whole: a system-exclusive
// message starts with F0, ends with its only F7, holds only data bytes between and
// keeps to the limit; a real-time byte comes alone; a short message is a status
// other than F0 and F7 and at most two data bytes.

#include "plug/MidiInputFramer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 2 || size > (1u << 20)) return 0;
  static const int kLimits[] = {2, 3, 16, 297, 37392, MidiInputFramer::kDefaultMaxSysExSize};
  const int limit = kLimits[data[0] % 6];
  const bool running = data[0] & 0x80;
  uint32_t cut = data[1] * 2654435761u + 1;
  const unsigned char* stream = data + 2;
  const int n = (int)size - 2;

  MidiInputFramer framer(running, limit);
  int sysex = 0, lastDropped = 0;
  auto onMessage = [&](const unsigned char* bytes, int len) {
    if (len < 1 || !bytes || !(bytes[0] & 0x80)) abort();
    if (bytes[0] == 0xF0)
    {
      if (len < 2 || len > limit || bytes[len - 1] != 0xF7) abort();
      for (int i = 1; i < len - 1; ++i)
        if (bytes[i] & 0x80) abort();
      ++sysex;
      return;
    }
    if (bytes[0] >= 0xF8 && len != 1) abort();
    if (bytes[0] == 0xF7 || len > 3) abort();
    for (int i = 1; i < len; ++i)
      if (bytes[i] & 0x80) abort();
  };
  auto onDrop = [](MidiInputFramer::DropKind, int dropped) {
    if (dropped < 1) abort();
  };
  for (int pos = 0; pos < n;)
  {
    cut = cut * 1103515245u + 12345u;
    const int run = 1 + (int)((cut >> 16) % 24);
    const int len = run < n - pos ? run : n - pos;
    framer.Feed(stream + pos, len, onMessage, onDrop);
    pos += len;
    if (framer.DroppedCount() < lastDropped) abort();
    lastDropped = framer.DroppedCount();
  }
  framer.End(onDrop);
  if (framer.InMessage() || framer.InSysEx()) abort();
  // After the end a message in one run comes through whole.
  const unsigned char ping[] = {0xF0, 0x7E, 0x00, 0xF7};
  const int before = sysex;
  if (limit >= 4)
  {
    framer.Feed(ping, 4, onMessage, onDrop);
    if (sysex != before + 1) abort();
  }
  return 0;
}
