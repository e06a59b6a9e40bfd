#pragma once
// The input's way from the thread that receives (the port library's over the ALSA
// sequencer; over JACK the input thread itself, from the events the JACK bridge put
// into the slot's shared ring) to the plug-in's input thread. The receiving side
// only frames the bytes (MidiInputFramer), pushes whole messages into the ring and
// counts: no lock, no system call, no allocation, no console. The input thread says
// in the log what it counted.

#include "plug/MidiInputFramer.h"
#include "plug/MidiInputRing.h"

#include <atomic>

class MidiInStream
{
public:
  MidiInStream() { framer.Reserve(); }

  // The receiving thread (one at a time).
  void Feed(const unsigned char* bytes, int size);

  // What the receiving side counts for the input thread to say: the framer's drops
  // by kind (MidiInputFramer::DropKind) and their bytes, messages that met a
  // closing port, and empty runs.
  static const int kDropClosing = MidiInputFramer::kStrayBytes + 1, kDropKinds = kDropClosing + 1;
  std::atomic<long long> dropKinds[kDropKinds] = {}, dropBytes[kDropKinds] = {};
  std::atomic<long long> empty{0};

  MidiInputRing ring;
  // Used by the receiving side, and by a closing once closing is set and busy seen 0.
  MidiInputFramer framer{false, MidiInputRing::kDefaultCapacity - MidiInputRing::kHeaderSize};
  // A closing sets closing first: what arrives then is counted as dropped.
  std::atomic<int> closing{0}, busy{0};
  std::atomic<int> dropped{0};

private:
  void CountDrop(int kind, int size)
  {
    dropped.fetch_add(1);
    dropKinds[kind].fetch_add(1, std::memory_order_relaxed);
    dropBytes[kind].fetch_add(size, std::memory_order_relaxed);
  }
};

inline void MidiInStream::Feed(const unsigned char* bytes, int size)
{
  busy.fetch_add(1);
  if (size <= 0)
    empty.fetch_add(1, std::memory_order_relaxed);
  else if (closing.load() > 0)
    CountDrop(kDropClosing, size);
  else
    framer.Feed(
        bytes, size,
        [this](const unsigned char* m, int n) {
          // Timing messages and active sensing found inside a run meet the same filter as alone.
          if (m[0] == 0xF8 || m[0] == 0xFE || m[0] == 0xF1) return;
          // A drop is counted by the ring and said by the input thread.
          ring.Push(m, n);
        },
        [this](MidiInputFramer::DropKind kind, int n) { CountDrop((int)kind, n); });
  busy.fetch_sub(1);
}
