// Leaks inside the JACK library are not ours: RtMidi's JACK objects leave two
// ring buffers behind when they find no server, and libjack's metadata store
// (Berkeley DB) keeps a few blocks for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:libjack.so\n"
         "leak:libdb-5.3.so\n";
}

// JACK's ring buffers are lock-free single-reader, single-writer queues in an
// uninstrumented library: ThreadSanitizer sees their copies as races. A race
// suppression applies only after the report's stacks are symbolised, which in
// JACK's realtime thread takes longer than the server waits for a client; the
// library suppressions keep the two libraries' calls from being checked at all.
extern "C" const char* __tsan_default_suppressions()
{
  return "called_from_lib:libjack.so\n"
         "called_from_lib:librtmidi.so\n"
         "race:jack_ringbuffer_\n"
         "race:libjack.so\n";
}
